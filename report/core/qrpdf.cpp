// PDF output: the display lists of any number of pages in one document.
#include "report/core/qr.h"
#include "report/core/qrpdffix.h"
#include "report/core/qrrender.h"

#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <malloc.h>

namespace qr {

namespace {
constexpr int kPdfDpi = 1200;

// Each PDF page compresses its content through a fresh zlib stream, a few
// hundred kilobytes allocated, cleared and freed per page.  With the C
// library's default thresholds every page hands that memory back to the
// system and faults it in again, which costs more than drawing the page.
// Keeping up to 16 MB in the heap makes a batch of forms twice as fast.
void keepHeapForPdfPages()
{
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 16 << 20);
        mallopt(M_TRIM_THRESHOLD, 16 << 20);
        mallopt(M_TOP_PAD, 1 << 20);
        return true;
    }();
    (void)done;
}
}  // namespace

struct TQRPdfWriter::Impl {
    QString fileName;
    QString title;
    std::unique_ptr<QPdfWriter> writer;
    QPainter painter;
    int pages = 0;
    bool finished = false;

    [[noreturn]] void fail(const QString& what, const QString& reason) const
    {
        throw EInOutError(
            QStringLiteral("%1 \"%2\": %3").arg(what, fileName, reason).toStdString());
    }
};

TQRPdfWriter::TQRPdfWriter(const QString& fileName, const QString& title)
    : d_(std::make_unique<Impl>())
{
    keepHeapForPdfPages();
    d_->fileName = fileName;
    d_->title = title;
    // Find out now, with the system's reason, whether the file can be made.
    QFile probe(fileName);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate))
        d_->fail(QStringLiteral("Cannot create file"), probe.errorString());
    probe.close();
    d_->writer = std::make_unique<QPdfWriter>(fileName);
    d_->writer->setResolution(kPdfDpi);
    d_->writer->setCreator(QStringLiteral("vdmq"));
    if (!title.isEmpty())
        d_->writer->setTitle(title);
    d_->writer->setPageMargins(QMarginsF(0, 0, 0, 0));
}

TQRPdfWriter::~TQRPdfWriter()
{
    if (!d_->finished) {
        try {
            Finish();
        } catch (...) {
        }
    }
}

void TQRPdfWriter::AddPage(const QRPageImage& page, const TQRPlacement& placement)
{
    if (d_->finished)
        d_->fail(QStringLiteral("Cannot write file"), QStringLiteral("the document is closed"));
    const QPageSize size(SheetSizeMm(page, placement), QPageSize::Millimeter, QString(),
                         QPageSize::ExactMatch);
    d_->writer->setPageSize(size);
    d_->writer->setPageMargins(QMarginsF(0, 0, 0, 0));
    if (d_->pages == 0) {
        if (!d_->painter.begin(d_->writer.get()))
            d_->fail(QStringLiteral("Cannot create file"), QStringLiteral("the PDF cannot be started"));
    } else if (!d_->writer->newPage()) {
        d_->fail(QStringLiteral("Cannot write file"), QStringLiteral("a page cannot be added"));
    }
    ++d_->pages;
    detail::RenderOptions opt;
    opt.pixelsPerTenth = kPdfDpi / 254.0;
    opt.penPixel = kPdfDpi / 96.0;
    opt.snap = false;
    opt.offset = placement.ShiftMm * (kPdfDpi / 25.4);
    detail::renderPage(d_->painter, page, opt);
}

void TQRPdfWriter::Finish()
{
    if (d_->finished)
        return;
    d_->finished = true;
    bool ok = true;
    if (d_->pages > 0)
        ok = d_->painter.end();
    d_->writer.reset();
    if (!ok)
        d_->fail(QStringLiteral("Cannot write file"), QStringLiteral("the PDF could not be completed"));
    if (d_->pages > 0 && QFileInfo(d_->fileName).size() == 0)
        d_->fail(QStringLiteral("Cannot write file"), QStringLiteral("nothing was written (disk full?)"));
    if (d_->pages > 0 && !detail::mendPdfTextMapping(d_->fileName))
        d_->fail(QStringLiteral("Cannot write file"), QStringLiteral("the text map could not be written"));
}

}  // namespace qr
