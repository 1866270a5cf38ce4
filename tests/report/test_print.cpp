// Printing: page range and paper through the printer's file output, and a
// real CUPS queue ("PDF", cups-pdf) checked with pdftotext -bbox.
#include "cups_helpers.h"
#include "file_helpers.h"
#include "report/ui/printbackend.h"
#include "report_helpers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace qrtest;

namespace {

// Page sizes in points, from pdfinfo.
std::vector<QSizeF> pageSizes(const QString& pdf)
{
    std::vector<QSizeF> out;
    const QString info = run("pdfinfo", {"-f", "1", "-l", "99", pdf});
    static const QRegularExpression re(R"(Page\s+\d+ size:\s+([\d.]+) x ([\d.]+) pts)");
    for (auto it = re.globalMatch(info); it.hasNext();) {
        auto m = it.next();
        out.emplace_back(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return out;
}

struct Word {
    QString text;
    double xMin, yMin, xMax, yMax;  // points from the top-left corner
};

std::vector<Word> words(const QString& pdf)
{
    std::vector<Word> out;
    const QString html = run("pdftotext", {"-bbox", pdf, "-"});
    static const QRegularExpression re(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    for (auto it = re.globalMatch(html); it.hasNext();) {
        auto m = it.next();
        out.push_back({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                       m.captured(4).toDouble()});
    }
    return out;
}

constexpr double kPt = 72 / 25.4;  // points per millimetre

// The form's paper with texts at known places (band at the paper's corner).
std::unique_ptr<qr::TQuickRep> testForm()
{
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    rep->Page.SetValue(qr::TQRPage::Width, 182);
    rep->Page.SetValue(qr::TQRPage::Length, 257);
    auto add = [&](const char* caption, double x, double y, qr::TAlignment a, double w) {
        qr::TQRLabel* l = band->AddLabel(caption, x, y, w, 3.7, int(band->Labels.size()) + 10);
        l->Caption = QString::fromUtf8(caption);
        l->Font.Size = 10;
        l->Alignment = a;
    };
    add("LEFTMARK", 30, 40, qr::taLeftJustify, 40);
    add("RIGHTMARK", 100, 120, qr::taRightJustify, 50);  // ends at 150 mm
    add("工资变动审批表", 20, 200, qr::taLeftJustify, 60);
    band->AddShape("rule", 20, 100, 140, 0.26, 1);
    return rep;
}

// Three pages of the test form in `store`, finished as after a preparation.
void addThreePages(qr::TQRPrinter& store, qr::TQuickRep& rep)
{
    for (int i = 0; i < 3; ++i)
        store.AddPage(rep.PrepareNew()->Page(1));
    store.SetStatus(qr::mpFinished);
}

void expectWordsInPlace(const QString& pdf)
{
    const auto ws = words(pdf);
    auto find = [&](const QString& t) -> const Word* {
        for (const auto& w : ws)
            if (w.text == t)
                return &w;
        return nullptr;
    };
    const Word* left = find("LEFTMARK");
    const Word* right = find("RIGHTMARK");
    const Word* zh = find(QStringLiteral("工资变动审批表"));
    ASSERT_TRUE(left && right && zh) << run("pdftotext", {"-bbox", pdf, "-"}).toStdString();
    EXPECT_NEAR(left->xMin, 30 * kPt, 1.0);
    EXPECT_NEAR(right->xMax, 150 * kPt, 1.0);
    EXPECT_NEAR(zh->xMin, 20 * kPt, 1.0);
    // The glyph boxes lie within their 3.7 mm label boxes (top at 40/120/200 mm).
    for (auto [w, top] : {std::pair{left, 40.0}, {right, 120.0}, {zh, 200.0}}) {
        EXPECT_GT(w->yMin, (top - 1.0) * kPt) << w->text.toStdString();
        EXPECT_LT(w->yMax, (top + 4.8) * kPt) << w->text.toStdString();
    }
}

TEST(PrintToFile, PageRangeAndCustomPaper)
{
    auto rep = testForm();
    qr::TQRPrinter store(rep.get());
    addThreePages(store, *rep);

    QTemporaryDir dir;
    qr::TQRPrinterSettings s;
    s.OutputFileName = dir.filePath("range.pdf");
    s.FirstPage = 2;
    s.LastPage = 3;
    qr::TQRQtPrintBackend backend(false);
    backend.PrintPages(store, s);
    const auto sizes = pageSizes(s.OutputFileName);
    ASSERT_EQ(sizes.size(), 2u);
    for (const auto& sz : sizes) {
        EXPECT_NEAR(sz.width(), 182 * kPt, 0.5) << "custom 182 x 257 mm, not ISO B5";
        EXPECT_NEAR(sz.height(), 257 * kPt, 0.5);
    }
    expectWordsInPlace(s.OutputFileName);
}

// The print dialog's "print to file" writes like the PDF export: a file
// cut short by a full disk or a file-size limit (Qt does not say when its
// writes fail) is reported, and the file that was there stays.
TEST(PrintToFile, CutShortIsReportedAndTheEarlierFileStays)
{
    auto rep = testForm();
    qr::TQRPrinter store(rep.get());
    addThreePages(store, *rep);
    QTemporaryDir dir;
    qr::TQRPrinterSettings s;
    s.OutputFileName = dir.filePath("forms.pdf");
    testfiles::writeAll(s.OutputFileName, "yesterday's forms");
    qr::TQRQtPrintBackend backend(false);
    std::string what;
    {
        testfiles::ScopedFileSizeLimit limit(4000);
        try {
            backend.PrintPages(store, s);
        } catch (const qr::EInOutError& e) {
            what = e.what();
        }
    }
    EXPECT_NE(what.find(s.OutputFileName.toStdString()), std::string::npos) << what;
    EXPECT_EQ(testfiles::readAll(s.OutputFileName), "yesterday's forms");
    EXPECT_EQ(testfiles::entries(dir.path()), QStringList{"forms.pdf"});
    backend.PrintPages(store, s);
    EXPECT_EQ(pageSizes(s.OutputFileName).size(), 3u);
    EXPECT_EQ(testfiles::entries(dir.path()), QStringList{"forms.pdf"});
}

TEST(PrintBackend, NoPrinterMeansNothingPrepared)
{
    struct NoPrinter : qr::TQRPrintBackend {
        bool HasPrinter() const override { return false; }
        void PrintPages(const qr::TQRPrinter&, const qr::TQRPrinterSettings&) override { ++printed; }
        bool PrintSetup(qr::TQRPrinterSettings&, int) override { return false; }
        void WithProgress(const QString&, const std::function<void()>& w) override { w(); }
        int printed = 0;
    } none;
    auto rep = testForm();
    int calls = 0;
    rep->OnNeedData = [&](qr::TCustomQuickRep&, bool&) { ++calls; };
    for (qr::TQRPrintBackend* b :
         {static_cast<qr::TQRPrintBackend*>(nullptr), static_cast<qr::TQRPrintBackend*>(&none)}) {
        qr::SetPrintBackend(b);
        EXPECT_NO_THROW(rep->Print());
        auto store = rep->PrepareNew();
        calls = 0;
        EXPECT_NO_THROW(store->Print());
    }
    qr::SetPrintBackend(nullptr);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(none.printed, 0);
}

TEST(CupsQueue, PrintedPageCarriesTextsInPlace)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "not run as root: the CUPS test needs scripts/start-cups (root) and the cups-pdf queue";
    if (!QPrinterInfo::availablePrinterNames().contains("PDF"))
        GTEST_SKIP() << "no CUPS queue \"PDF\": run scripts/start-cups first";

    auto rep = testForm();
    rep->ReportTitle = QStringLiteral("vdmqcups%1").arg(QDateTime::currentMSecsSinceEpoch());
    rep->PrinterSettings.PrinterName = "PDF";
    rep->OnNeedData = [](qr::TCustomQuickRep&, bool&) {};
    qr::InstallQuietPrintBackend();
    rep->Print();
    qr::SetPrintBackend(nullptr);
    ASSERT_EQ(rep->QRPrinter()->PageCount(), 1);

    // The same store printed to a file: its texts are checked by name.
    QTemporaryDir dir;
    qr::TQRPrinterSettings toFile;
    toFile.OutputFileName = dir.filePath("reference.pdf");
    qr::TQRQtPrintBackend(false).PrintPages(*rep->QRPrinter(), toFile);
    expectWordsInPlace(toFile.OutputFileName);
    const auto reference = words(toFile.OutputFileName);
    ASSERT_EQ(reference.size(), 3u);

    const QString title = rep->ReportTitle;
    const QString produced = testcups::waitForJobs({title}, 60)[title];
    ASSERT_FALSE(produced.isEmpty()) << "no PDF from the queue in " << testcups::outDir().toStdString();
    const auto sizes = pageSizes(produced);
    ASSERT_EQ(sizes.size(), 1u);
    // The queue's driver lists JIS B5 rounded to whole points (518 x 727);
    // ISO B5 would be 499 x 709.
    EXPECT_NEAR(sizes[0].width(), 182 * kPt, kPt);
    EXPECT_NEAR(sizes[0].height(), 257 * kPt, kPt);
    // cups-pdf distils the job again and its text loses the character
    // mapping, so its words are matched by place: each text ends, and sits,
    // within 1 mm of where the reference has it.
    const auto printed = words(produced);
    EXPECT_EQ(printed.size(), reference.size());
    for (const auto& ref : reference) {
        bool found = false;
        for (const auto& w : printed)
            found = found || (std::abs(w.xMax - ref.xMax) < kPt && std::abs(w.yMax - ref.yMax) < kPt &&
                              std::abs(w.yMin - ref.yMin) < kPt);
        EXPECT_TRUE(found) << ref.text.toStdString() << " not in place in " << produced.toStdString();
    }
    QFile::remove(produced);
}

}  // namespace
