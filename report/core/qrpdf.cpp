// PDF output: the display lists of any number of pages in one document.
#include "report/core/qr.h"
#include "report/core/qrpdffix.h"
#include "report/core/qrrender.h"

#include "platform/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <exception>
#include <malloc.h>
#include <zlib.h>

namespace qr {

namespace {
constexpr int kPdfDpi = 1200;

// Each PDF page compresses its content through a fresh zlib stream (a few
// hundred kilobytes) between two buffers of 16 MB that Qt allocates and
// frees for every page.  The C library maps blocks that large on their own
// and unmaps them when freed, and hands free heap beyond its trim threshold
// back to the system: every page mapped and faulted its buffers in again (a
// 16 MB threshold missed Qt's buffers by their header).  So blocks up to
// 32 MB, the most the library allows, come from the heap, and 40 MB of free
// heap stay with the process, enough for both buffers: under a third of the
// page faults in a 1,500-form run, for about 7 MB more resident memory
// (bounded by those 40 MB, whatever the number of forms).
void keepHeapForPdfPages()
{
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 40 << 20);
        mallopt(M_TOP_PAD, 1 << 20);
        return true;
    }();
    (void)done;
}

// Qt compresses each page of a PDF at zlib's default level and offers no
// setting for it.  For the form's pages (about 46 KB of drawing commands)
// level 3 takes two fifths of the time of the default for streams a sixth
// larger: 0.35 s less in a 1,500-form run, 15 % more bytes.  The pages are
// written by newPage() and, for the last one and the fonts, by end(): while
// a writer of ours is in either, the deflateInit_ below asks for level 3.
int writingPdfPages = 0;
constexpr int kPdfPageCompression = 3;

struct WritingPdfPages {
    WritingPdfPages() { ++writingPdfPages; }
    ~WritingPdfPages() { --writingPdfPages; }
    WritingPdfPages(const WritingPdfPages&) = delete;
    WritingPdfPages& operator=(const WritingPdfPages&) = delete;
};
}  // namespace

namespace {
// Where QPdfWriter's bytes go: through the text-map mending into the
// atomic file.  QPdfWriter does not look at the results of its writes, so
// the device keeps the first failure for Finish to report.
class AtomicPdfDevice : public QIODevice {
public:
    explicit AtomicPdfDevice(const QString& fileName)
        : file(fileName), mend([this](const char* d, qsizetype n) { return file.Write(d, std::size_t(n)); }, &glyphs)
    {
    }
    bool isSequential() const override { return true; }
    vdmq::TAtomicFile file;
    detail::PdfGlyphLog glyphs;  // what the glyphs of the pages stand for: the text maps
    detail::PdfTextMapFilter mend;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (file.Failed() || !mend.Write(data, qsizetype(size)))
            return -1;
        return size;
    }
};
}  // namespace

struct TQRPdfWriter::Impl {
    QString fileName;
    QString title;
    std::unique_ptr<AtomicPdfDevice> device;
    std::unique_ptr<QPdfWriter> writer;
    QPainter painter;
    int pages = 0;
    bool finished = false;
    int unwinding = 0;    // exceptions in flight when the writer was made
    std::string failure;  // the error that ended the document, said again by Finish

    [[noreturn]] void fail(const QString& what, const QString& reason)
    {
        failure = QStringLiteral("%1“%2”：%3").arg(what, fileName, reason).toStdString();
        throw EInOutError(failure);
    }
    void discard()
    {
        finished = true;
        if (painter.isActive())
            painter.end();
        writer.reset();
        if (device)
            device->file.Discard();
    }
};

TQRPdfWriter::TQRPdfWriter(const QString& fileName, const QString& title) : d_(std::make_unique<Impl>())
{
    keepHeapForPdfPages();
    d_->fileName = fileName;
    d_->title = title;
    d_->unwinding = std::uncaught_exceptions();
    // The pages go to a temporary file beside the target, which replaces
    // it only once the document is complete: a failed run, a full disk or
    // a second run writing the same file never leave a broken PDF, and the
    // file that stood there before stays until the new one is whole.
    d_->device = std::make_unique<AtomicPdfDevice>(fileName);
    if (!d_->device->file.Open())
        d_->fail(QStringLiteral("无法创建文件"), d_->device->file.ErrorText());
    d_->device->open(QIODevice::WriteOnly);
    d_->writer = std::make_unique<QPdfWriter>(d_->device.get());
    d_->writer->setResolution(kPdfDpi);
    d_->writer->setCreator(QStringLiteral("vdmq"));
    if (!title.isEmpty())
        d_->writer->setTitle(title);
    d_->writer->setPageMargins(QMarginsF(0, 0, 0, 0));
}

TQRPdfWriter::~TQRPdfWriter()
{
    if (d_->finished)
        return;
    // Left by an exception: nothing half-written reaches the target.
    // Otherwise the document is completed as Finish would, for callers
    // that let the writer go out of scope (a failure then leaves the
    // earlier file as it was).
    if (std::uncaught_exceptions() > d_->unwinding) {
        d_->discard();
        return;
    }
    try {
        Finish();
    } catch (...) {
    }
}

void TQRPdfWriter::AddPage(const QRPageImage& page, const TQRPlacement& placement)
{
    const WritingPdfPages writing;
    if (d_->finished)
        d_->fail(QStringLiteral("无法写入文件"), QStringLiteral("文档已经结束"));
    const QPageSize size(SheetSizeMm(page, placement), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    d_->writer->setPageSize(size);
    d_->writer->setPageMargins(QMarginsF(0, 0, 0, 0));
    if (d_->pages == 0) {
        if (!d_->painter.begin(d_->writer.get()))
            d_->fail(QStringLiteral("无法创建文件"), QStringLiteral("PDF 无法开始"));
    } else if (!d_->writer->newPage()) {
        d_->fail(QStringLiteral("无法写入文件"), QStringLiteral("无法添加一页"));
    }
    ++d_->pages;
    detail::RenderOptions opt;
    opt.pixelsPerTenth = kPdfDpi / 254.0;
    opt.penPixel = kPdfDpi / 96.0;
    opt.snap = false;
    opt.offset = placement.ShiftMm * (kPdfDpi / 25.4);
    opt.glyphLog = &d_->device->glyphs;
    detail::renderPage(d_->painter, page, opt);
    // A disk that filled up ends the document at once, not after every
    // further page has been drawn for nothing.
    if (d_->device->file.Failed()) {
        const QString reason = d_->device->file.ErrorText();
        d_->discard();
        d_->fail(QStringLiteral("无法写入文件"), reason);
    }
}

void TQRPdfWriter::Finish()
{
    // A document that failed stays failed: a caller that goes on to
    // Finish after a page could not be written is told again.
    if (!d_->failure.empty())
        throw EInOutError(d_->failure);
    if (d_->finished)
        return;
    d_->finished = true;
    const WritingPdfPages writing;
    vdmq::TAtomicFile& file = d_->device->file;
    if (d_->pages == 0) {
        // No page, no document: whatever stood at the path stays.
        d_->writer.reset();
        file.Discard();
        return;
    }
    const bool ended = d_->painter.end();
    d_->writer.reset();
    d_->device->mend.Finish();
    d_->device->close();
    if (file.Failed()) {
        const QString reason = file.ErrorText();
        file.Discard();
        d_->fail(QStringLiteral("无法写入文件"), reason);
    }
    if (!ended || (file.IsOpen() && !file.WorkingPath().isEmpty() && QFileInfo(file.WorkingPath()).isFile() &&
                   !detail::pdfLooksComplete(file.WorkingPath()))) {
        file.Discard();
        d_->fail(QStringLiteral("无法写入文件"), QStringLiteral("PDF 没有写完整"));
    }
    if (!file.Commit())
        d_->fail(QStringLiteral("无法写入文件"), file.ErrorText());
}

void TQRPdfWriter::Discard()
{
    if (!d_->finished)
        d_->discard();
}

}  // namespace qr

// zlib's deflateInit_ as zlib defines it (deflateInit2_ with the standard
// window and memory), with the default level lowered while our writers
// write pages.  A program's own definition comes before the library's, so
// Qt's calls arrive here; everything else keeps zlib's own behaviour.
extern "C" int deflateInit_(z_streamp strm, int level, const char* version, int streamSize)
{
    if (level == Z_DEFAULT_COMPRESSION && qr::writingPdfPages > 0)
        level = qr::kPdfPageCompression;
    return deflateInit2_(strm, level, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY, version, streamSize);
}
