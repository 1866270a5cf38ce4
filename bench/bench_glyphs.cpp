// Every ideograph a name may hold, printed to PDF through the engine's own
// path, and read back.  The repertoire is that of GB 18030-2022's highest
// level: the CJK Unified Ideographs, Extensions A to F and both
// compatibility blocks (Unicode 14, 88,928 characters), in 宋体 and in 黑体,
// one label a line as on the form.  Counts the characters the measured
// glyph runs draw with no glyph (an empty box), and the characters the
// PDF's text layer does not give back (pdftotext); both must be 0.
//
//   bench_glyphs [OUT.pdf]     (default: a temporary file, removed)
#include "report/core/qr.h"
#include "report/core/qrtext.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QProcess>
#include <QRawFont>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Block {
    const char* name;
    char32_t first, last;
};

// Assigned ideographs of each block (Unicode 14).  The compatibility block
// has a gap (U+FA6E, U+FA6F).
const Block kBlocks[] = {
    {"CJK Unified Ideographs", 0x4E00, 0x9FFF},
    {"Extension A", 0x3400, 0x4DBF},
    {"Extension B", 0x20000, 0x2A6DF},
    {"Extension C", 0x2A700, 0x2B738},
    {"Extension D", 0x2B740, 0x2B81D},
    {"Extension E", 0x2B820, 0x2CEA1},
    {"Extension F", 0x2CEB0, 0x2EBE0},
    {"Compatibility Ideographs", 0xF900, 0xFA6D},
    {"Compatibility Ideographs", 0xFA70, 0xFAD9},
    {"Compatibility Supplement", 0x2F800, 0x2FA1D},
};

constexpr int kPerLine = 24;  // 24 ideographs of 10 points: 85 mm
constexpr int kLines = 32;    // a line every 8 mm

struct Line {
    std::u32string chars;
    int page = 0;
};

QString utf16(const std::u32string& s) { return QString::fromUcs4(s.data(), qsizetype(s.size())); }

// The pages of one design font, laid out by the engine.
std::vector<qr::QRPageImage> layOut(const QString& face, const std::vector<Line>& lines, std::size_t from,
                                    std::size_t to)
{
    std::vector<qr::QRPageImage> pages;
    for (std::size_t first = from; first < to; first += kLines) {
        qr::TQuickRep rep;
        for (int i :
             {qr::TQRPage::LeftMargin, qr::TQRPage::TopMargin, qr::TQRPage::RightMargin, qr::TQRPage::BottomMargin})
            rep.Page.SetValue(i, 0);
        rep.Page.SetValue(qr::TQRPage::Width, 182);
        rep.Page.SetValue(qr::TQRPage::Length, 257);
        qr::TQRBand* band = rep.AddBand("band", qr::rbColumnHeader, 257);
        for (std::size_t i = first; i < std::min(first + kLines, to); ++i) {
            qr::TQRLabel* l =
                band->AddLabel("l" + std::to_string(i - first), 10, 8 + 7.5 * double(i - first), 160, 3.7, 1);
            l->Caption = utf16(lines[i].chars);
            l->Font.Name = face;
            l->Font.Size = 10;
        }
        pages.push_back(rep.PrepareNew()->Page(1));
    }
    return pages;
}

QString withoutSpace(QString s)
{
    s.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QChar(0x3000));
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString pdf = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("glyphs.pdf"));

    std::vector<char32_t> all;
    std::map<std::string, int> perBlock;
    for (const Block& b : kBlocks)
        for (char32_t c = b.first; c <= b.last; ++c) {
            all.push_back(c);
            ++perBlock[b.name];
        }
    const QString faces[] = {QStringLiteral("宋体"), QStringLiteral("黑体")};
    std::vector<Line> lines;
    for (std::size_t f = 0; f < 2; ++f)
        for (std::size_t i = 0; i < all.size(); i += kPerLine)
            lines.push_back(
                {std::u32string(all.begin() + long(i), all.begin() + long(std::min(i + kPerLine, all.size())))});
    const std::size_t perFace = lines.size() / 2;

    QElapsedTimer timer;
    timer.start();
    // The measured glyphs: the chain every device draws from.
    long noGlyph = 0;
    std::map<QString, long> drawnBy;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        qr::TQRFont font;
        font.Name = faces[i / perFace];
        font.Size = 10;
        const QString text = utf16(lines[i].chars);
        const std::vector<char32_t> missing = qr::MissingGlyphs(font, text);
        noGlyph += long(missing.size());
        for (char32_t c : missing)
            std::printf("no glyph: U+%04X in %s\n", unsigned(c), font.Name.toUtf8().constData());
        for (const QGlyphRun& r : qr::detail::measured(font).glyphRuns(text))
            drawnBy[r.rawFont().familyName() + QLatin1Char(' ') + r.rawFont().styleName()] +=
                long(r.glyphIndexes().size());
    }
    const qint64 measureMs = timer.restart();

    int pages = 0;
    {
        qr::TQRPdfWriter writer(pdf, QStringLiteral("生僻字"));
        for (std::size_t f = 0; f < 2; ++f)
            for (const qr::QRPageImage& page : layOut(faces[f], lines, f * perFace, (f + 1) * perFace)) {
                writer.AddPage(page);
                ++pages;
            }
        writer.Finish();
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
        lines[i].page = int(i / perFace) * int((perFace + kLines - 1) / kLines) + int((i % perFace) / kLines);
    const qint64 pdfMs = timer.restart();

    // The text layer, page by page (pdftotext ends each page with a form feed).
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    p.waitForFinished(-1);
    const QStringList pageTexts = QString::fromUtf8(p.readAllStandardOutput()).split(QChar(0x0C));
    long mismatches = 0;
    std::vector<QString> expected(static_cast<std::size_t>(pages));
    for (const Line& l : lines)
        expected[std::size_t(l.page)] += utf16(l.chars);
    for (int i = 0; i < pages; ++i) {
        const QList<uint> want = expected[std::size_t(i)].toUcs4();
        const QList<uint> got =
            withoutSpace(i < pageTexts.size() ? pageTexts[i] : QString()).remove(QLatin1Char('\n')).toUcs4();
        for (qsizetype k = 0; k < std::max(want.size(), got.size()); ++k) {
            const uint w = k < want.size() ? want[k] : 0, g = k < got.size() ? got[k] : 0;
            if (w == g)
                continue;
            if (++mismatches <= 20)
                std::printf("text layer, page %d: U+%04X came back as U+%04X\n", i + 1, w, g);
        }
    }
    const qint64 readMs = timer.elapsed();

    std::printf("== every ideograph of GB 18030-2022's highest level, in 宋体 and 黑体 ==\n");
    for (const auto& [name, n] : perBlock)
        std::printf("  %-26s %6d\n", name.c_str(), n);
    std::printf("characters printed  %ld (%zu a face)\n", long(all.size()) * 2, all.size());
    std::printf("pages               %d\n", pages);
    std::printf("PDF size            %.1f MB\n", double(QFile(pdf).size()) / 1e6);
    std::printf("glyphs drawn from:\n");
    for (const auto& [face, n] : drawnBy)
        std::printf("  %-30s %6ld\n", face.toUtf8().constData(), n);
    std::printf("no glyph (box)      %ld\n", noGlyph);
    std::printf("text-layer mismatch %ld\n", mismatches);
    std::printf("time: measuring %.1f s, laying out and writing the PDF %.1f s, pdftotext %.1f s\n",
                double(measureMs) / 1000, double(pdfMs) / 1000, double(readMs) / 1000);
    return noGlyph == 0 && mismatches == 0 ? 0 : 1;
}
