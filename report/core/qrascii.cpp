// Plain-text export: every text lands in a grid of square character cells.
#include "report/core/qr.h"

#include "platform/atomicfile.h"
#include "platform/gbtext.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cmath>

namespace qr {

namespace {
constexpr int kBufferLines = 201;                 // lines 0..200
constexpr double kTenthsPerPoint = 254.0 / 72.0;  // 3.5277...
}  // namespace

struct TQRAsciiExportFilter::Impl {
    explicit Impl(const QString& name) : file(name) {}
    vdmq::TAtomicFile file;
    bool started = false;  // the first Start has created the file
    bool hold = false;     // HoldUntilCommit
    double cell = 10 * kTenthsPerPoint;
    int lineCount = 0;
    std::array<std::string, kBufferLines> lines;

    QString broken;  // the failure that ended the file
    [[noreturn]] void fail(const QString& what, const QString& reason)
    {
        file.Discard();
        broken = reason;
        throw EInOutError(QStringLiteral("%1“%2”：%3").arg(what, file.Target(), reason).toStdString());
    }
    [[noreturn]] void fail(const QString& what) { fail(what, file.ErrorText()); }

    // A preparation after the file was put in place adds its pages: the
    // new temporary starts with what the file holds.
    void reopen()
    {
        if (!file.Open())
            fail(QStringLiteral("无法打开文件"));
        QFile old(file.Target());
        if (!old.open(QIODevice::ReadOnly))
            fail(QStringLiteral("无法打开文件"), old.errorString());
        while (!old.atEnd()) {
            const QByteArray chunk = old.read(1 << 16);
            if (old.error() != QFileDevice::NoError)
                fail(QStringLiteral("无法读取文件"), old.errorString());
            if (!file.Write(chunk.constData(), std::size_t(chunk.size())))
                fail(QStringLiteral("无法写入文件"));
        }
    }
};

TQRAsciiExportFilter::TQRAsciiExportFilter(QString fileName)
    : d_(std::make_unique<Impl>(fileName)), fileName_(std::move(fileName))
{
}

TQRAsciiExportFilter::~TQRAsciiExportFilter() = default;  // an uncommitted file is discarded

void TQRAsciiExportFilter::Start(double /*paperWidth*/, double paperLength, const TQRFont& font)
{
    if (!d_->broken.isEmpty())
        d_->fail(QStringLiteral("无法写入文件"), d_->broken);  // the pages before are gone
    if (!d_->started) {
        // Created, or emptied when it exists, on the first Start only
        // (as a temporary file until it is complete); a later run through
        // the same filter adds its pages.
        if (!d_->file.Open())
            d_->fail(QStringLiteral("无法创建文件"));
        d_->started = true;
    } else if (!d_->file.IsOpen()) {
        d_->reopen();
    }
    // The cell is the font's whole-point size (a 13-pixel font at 96 dpi,
    // 9.75 pt, counts as 10) in tenths of a millimetre, square.
    const double points = double(std::lround(font.Size > 0 ? font.Size : 10));
    d_->cell = (points > 0 ? points : 10) * kTenthsPerPoint;
    d_->lineCount = int(std::nearbyint(paperLength / d_->cell));
}

void TQRAsciiExportFilter::NewPage()
{
    for (auto& l : d_->lines)
        l.clear();
}

// An overwrite counts bytes, so it can start or end inside a two- or
// four-byte character of an earlier text.  The cut character's remaining
// bytes become blanks: the line keeps its columns and never carries half a
// character, which would garble the rest of it in any reader.
static void blankCutCharacters(std::string& line, std::size_t from, std::size_t to)
{
    std::size_t i = 0;
    while (i < line.size() && i < to) {
        const std::size_t end = i + vdmq::gbCharLength(line, i);
        if ((i < from && end > from) || (i < to && end > to))
            std::fill(line.begin() + std::ptrdiff_t(i), line.begin() + std::ptrdiff_t(end), ' ');
        i = end;
    }
}

void TQRAsciiExportFilter::TextOut(double x, double y, const TQRFont& /*font*/, QColor /*background*/,
                                   TAlignment alignment, const QString& unicodeText)
{
    // The file is GB18030 and its columns count bytes: a Chinese character
    // takes two columns, as the form's own byte rules have it.
    const std::string text = vdmq::toGb(unicodeText);
    const double row = std::floor(y / d_->cell + 0.5);
    if (!(row >= 0 && row < kBufferLines))
        return;  // beyond the line buffer: dropped, never written out of bounds
    double col = x / d_->cell * 1.7;
    if (alignment == taRightJustify)
        col -= double(text.size());
    const long c = std::lround(std::nearbyint(col));
    std::string& line = d_->lines[std::size_t(row)];
    if (c > long(line.size()))
        line.append(std::size_t(c) - line.size(), ' ');
    // Positions count from 1: remove as many bytes as the text has from
    // position c on, then insert the text there.  A position before the
    // start removes nothing and inserts at the start.
    if (c >= 1) {
        blankCutCharacters(line, std::size_t(c - 1), std::size_t(c - 1) + text.size());
        line.erase(std::size_t(c - 1), text.size());
        line.insert(std::size_t(c - 1), text);
    } else {
        line.insert(0, text);
    }
}

void TQRAsciiExportFilter::EndPage()
{
    if (!d_->file.IsOpen())
        return;
    std::string out;
    const int n = std::min(d_->lineCount, kBufferLines);
    for (int i = 0; i < n; ++i) {
        const std::string& l = d_->lines[std::size_t(i)];
        if (l.empty())
            continue;
        out += l;
        out += "\r\n";
    }
    if (!out.empty() && !d_->file.Write(out.data(), out.size()))
        d_->fail(QStringLiteral("无法写入文件"));
}

void TQRAsciiExportFilter::Finish()
{
    if (!d_->file.IsOpen())
        return;
    if (d_->file.Failed())
        d_->fail(QStringLiteral("无法写入文件"));
    if (!d_->hold && !d_->file.Commit())
        d_->fail(QStringLiteral("无法写入文件"));
}

void TQRAsciiExportFilter::HoldUntilCommit() { d_->hold = true; }

void TQRAsciiExportFilter::Commit()
{
    if (!d_->broken.isEmpty())
        d_->fail(QStringLiteral("无法写入文件"), d_->broken);  // nothing to put in place
    d_->hold = false;
    if (d_->file.IsOpen() && !d_->file.Commit())
        d_->fail(QStringLiteral("无法写入文件"));
}

void TQRAsciiExportFilter::Discard() { d_->file.Discard(); }

}  // namespace qr
