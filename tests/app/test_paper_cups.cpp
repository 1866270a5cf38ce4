// Paper and position on real CUPS queues (scripts/start-cups): "PDF", the
// cups-pdf driver, and "A4Only", CUPS's generic PostScript PPD cut down to A4
// and Letter with a 4.2 mm unprintable border.  Both end in cups-pdf, so each
// job comes back as a PDF; its page size is read with pdfinfo and the form's
// frame is found in a 0.1 mm raster of it.  Every figure must match within
// 0.3 mm.
#include "app/core/paper.h"
#include "form/VdCalibration.h"
#include "report/ui/printbackend.h"

#include "cups_helpers.h"
#include "page_helpers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QPageSize>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace vdmq;

namespace {

constexpr double kTolerance = 0.3;  // mm
using testpages::frameInPdf;
using testpages::kPtMm;
using testpages::pageSizeMm;
using testpages::run;

// The paper size a queue's PPD gives for the paper the job asked for.
QSizeF ppdPaperMm(const QString& queue, const QSizeF& sheetMm)
{
    QFile ppd("/etc/cups/ppd/" + queue + ".ppd");
    if (!ppd.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression re(R"re(^\*PaperDimension [^:]*:\s*"([\d.]+) ([\d.]+)")re",
                                       QRegularExpression::MultilineOption);
    for (auto it = re.globalMatch(QString::fromLatin1(ppd.readAll())); it.hasNext();) {
        const auto m = it.next();
        const QSizeF mm = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) * kPtMm;
        if (std::abs(mm.width() - sheetMm.width()) <= 1.0 && std::abs(mm.height() - sheetMm.height()) <= 1.0)
            return mm;
    }
    return {};
}

class CupsPaper : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "not run as root: the CUPS tests need scripts/start-cups (root)";
        const QStringList queues = QPrinterInfo::availablePrinterNames();
        if (!queues.contains("PDF") || !queues.contains("A4Only"))
            GTEST_SKIP() << "CUPS queues \"PDF\" and \"A4Only\" missing: run scripts/start-cups first";
    }
};

TEST_F(CupsPaper, EachPaperAndOffsetLandsWhereAsked)
{
    struct Case {
        const char* queue;
        TPaperSettings s;
        QString title;
    } cases[] = {
        {"PDF", TPaperSettings{TPaper::B5, false, 0, 0}, {}},
        {"PDF", TPaperSettings{TPaper::B5, false, 2.5, -1.5}, {}},
        {"PDF", TPaperSettings{TPaper::A4, false, 0, 0}, {}},
        {"PDF", TPaperSettings{TPaper::A4, true, -3.0, 4.2}, {}},
        {"A4Only", TPaperSettings{TPaper::A4, false, 0, 0}, {}},
        {"A4Only", TPaperSettings{TPaper::A4, false, 1.0, 2.0}, {}},
        {"A4Only", TPaperSettings{TPaper::A4, true, 0, 0}, {}},
    };
    // All jobs go out first; CUPS works on them meanwhile.
    qr::TQRQtPrintBackend backend(false);
    const QString stamp = QString::number(QCoreApplication::applicationPid()) + "-" +
                          QString::number(QDateTime::currentMSecsSinceEpoch() % 100000000);
    QStringList titles;
    int n = 0;
    for (Case& c : cases) {
        c.title = QStringLiteral("paperjob%1-%2").arg(stamp).arg(++n);
        titles << c.title;
        qr::TQRPrinter store;
        store.AddPage(FormLayoutPage());
        store.SetStatus(qr::mpFinished);
        store.Title = c.title;
        qr::TQRPrinterSettings settings;
        settings.PrinterName = QString::fromLatin1(c.queue);
        settings.Placement = PlacementFor(c.s, true);
        ASSERT_NO_THROW(backend.PrintPages(store, settings)) << c.title.toStdString();
    }
    const auto files = testcups::waitForJobs(titles);

    for (const Case& c : cases) {
        const std::string what =
            std::string(c.queue) + " " + PaperText(c.s).toStdString() + " " + OffsetText(c.s).toStdString();
        SCOPED_TRACE(what);
        ASSERT_TRUE(files.count(c.title)) << "no PDF from the queue in " << testcups::outDir().toStdString();
        const QString& pdf = files.at(c.title);
        const qr::TQRPlacement placement = PlacementFor(c.s, true);
        // The job's paper is the queue's own paper of that size.
        const QSizeF media = ppdPaperMm(c.queue, placement.SheetMm);
        ASSERT_TRUE(media.isValid());
        const QSizeF got = pageSizeMm(pdf);
        EXPECT_NEAR(got.width(), media.width(), kTolerance);
        EXPECT_NEAR(got.height(), media.height(), kTolerance);
        EXPECT_NEAR(got.width(), placement.SheetMm.width(), 1.0);
        EXPECT_NEAR(got.height(), placement.SheetMm.height(), 1.0);
        // The frame where the layout puts it, moved by the placement.  CUPS
        // centres the job's page on the queue's paper; cups-pdf's PPD lists
        // JIS B5 as 518 x 727 pt where the job's page is 516 x 729, which
        // moves everything 0.35 mm right and up (offsets absorb that on a
        // real printer as they absorb its own error).
        const QSizeF sent = qr::PageSizeForMm(placement.SheetMm).size(QPageSize::Millimeter);
        const QPointF centring((media.width() - sent.width()) / 2, (media.height() - sent.height()) / 2);
        const QRectF expected = FormFrameMm().translated(placement.ShiftMm + centring);
        const QRectF frame = frameInPdf(pdf);
        ASSERT_FALSE(frame.isNull());
        std::printf("%-6s %-28s page %.2f x %.2f mm, frame off by %+.2f %+.2f %+.2f %+.2f mm\n", c.queue,
                    qPrintable(PaperText(c.s) + " " + OffsetText(c.s)), got.width(), got.height(),
                    frame.left() - expected.left(), frame.top() - expected.top(), frame.right() - expected.right(),
                    frame.bottom() - expected.bottom());
        EXPECT_NEAR(frame.left(), expected.left(), kTolerance);
        EXPECT_NEAR(frame.top(), expected.top(), kTolerance);
        EXPECT_NEAR(frame.right(), expected.right(), kTolerance);
        EXPECT_NEAR(frame.bottom(), expected.bottom(), kTolerance);
        QFile::remove(pdf);
    }
}

TEST_F(CupsPaper, DriversSayWhatTheyCannotPrint)
{
    // The A4-only queue has no B5 and takes no custom size; its A4 has the
    // generic driver's 12-point border.
    const qr::TQRPaperSupport b5 = qr::PrinterPaperSupport("A4Only", PaperSizeMm(TPaper::B5));
    EXPECT_TRUE(b5.known);
    EXPECT_FALSE(b5.hasPaper());
    const qr::TQRPaperSupport a4 = qr::PrinterPaperSupport("A4Only", PaperSizeMm(TPaper::A4));
    EXPECT_TRUE(a4.listed);
    EXPECT_NEAR(a4.borderMm.left(), 12 * kPtMm, 0.05);
    EXPECT_NEAR(a4.borderMm.bottom(), 12 * kPtMm, 0.05);

    // cups-pdf takes any size and prints to the edge.
    const qr::TQRPaperSupport pdf = qr::PrinterPaperSupport("PDF", PaperSizeMm(TPaper::B5));
    EXPECT_TRUE(pdf.hasPaper());
    EXPECT_EQ(pdf.borderMm, QMarginsF());
    EXPECT_FALSE(qr::PrinterPaperSupport("no-such-queue", PaperSizeMm(TPaper::A4)).known);
}

}  // namespace
