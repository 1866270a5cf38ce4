// The "纸张" dialog and the desktop print backend, offscreen: the dialog
// reads and writes the [vdmq] keys, prints the calibration page with what it
// shows, says what the printer cannot reach; the backend puts pages on the
// remembered paper, keeps offsets out of PDF files unless asked, and asks
// before printing what a printer would cut, once per combination.
#include "app/core/paper.h"
#include "app/core/settings.h"
#include "app/ui/VdMainUnit.h"
#include "app/ui/VdPaperDialog.h"
#include "app/ui/VdPaperPrint.h"
#include "form/VdCalibration.h"
#include "platform/gbtext.h"
#include "platform/profile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "fake_dialogs.h"
#include "file_helpers.h"
#include "page_helpers.h"

using namespace vdmq;

namespace {

// The boxes the program shows, taken before any test replaces them.
const TPaperPrompt kOwnPrompt = PaperPrompt();
const TPaperNote kOwnNote = PaperNote();
const TPrinterNames kOwnPrinters = PrinterNames();

void pump() { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }

// Pages handed to the printer, with the settings they came with.
struct RecordingBackend : qr::TQRPrintBackend {
    std::vector<std::pair<qr::QRPageImage, qr::TQRPrinterSettings>> jobs;
    QString title;
    bool HasPrinter() const override { return true; }
    void PrintPages(const qr::TQRPrinter& store, const qr::TQRPrinterSettings& s) override
    {
        jobs.emplace_back(store.Page(1), s);
        title = store.Title;
    }
    bool PrintSetup(qr::TQRPrinterSettings&, int) override { return false; }
    void WithProgress(const QString&, const std::function<void()>& work) override { work(); }
};

qr::TQRPaperSupport border(double mm)
{
    qr::TQRPaperSupport s;
    s.known = s.listed = true;
    s.borderMm = QMarginsF(mm, mm, mm, mm);
    return s;
}

class PaperUi : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeDialogs dialogs;
    qr::TQRPaperSupport support = border(0);
    int prompts = 0;
    bool answer = false;
    QString ini() const { return dir.filePath("vdmq.ini"); }

    void SetUp() override
    {
        Vdcs.AppDir = toGb(dir.path());
        // The dialog lists these printers, whether a CUPS scheduler runs
        // here or not; the tests that print replace the backend as well.
        PrinterNames() = [] { return QStringList{"PDF"}; };
        PaperSupportProvider() = [this](const QString&, const QSizeF&) { return support; };
        PaperPrompt() = [this](QWidget*, const QString&) {
            ++prompts;
            return answer;
        };
        ForgetPaperConfirmations();
    }
    void TearDown() override
    {
        PaperSupportProvider() = [](const QString& p, const QSizeF& s) { return qr::PrinterPaperSupport(p, s); };
        PrinterNames() = kOwnPrinters;
        PaperPrompt() = kOwnPrompt;
        PaperNote() = kOwnNote;
        qr::SetPrintBackend(nullptr);
    }
    void writeIni(const std::string& text) { testfiles::writeAll(ini(), text); }
};

TEST_F(PaperUi, DialogShowsSavesAndPrintsWhatItShows)
{
    writeIni("[xtcs]\r\nFile=A\r\n[vdmq]\r\nPaper=A4\r\nA4Position=Centre\r\nOffsetX=1.5\r\n");
    TPaperDialog d(ini(), dialogs);
    EXPECT_TRUE(d.rbA4->isChecked() && d.rbCentre->isChecked() && d.rbCentre->isEnabled());
    EXPECT_DOUBLE_EQ(d.spOffsetX->value(), 1.5);
    d.rbB5->setChecked(true);
    EXPECT_FALSE(d.rbCentre->isEnabled());  // centring is for A4
    d.spOffsetX->setValue(-2.34);           // the box keeps one decimal
    d.spOffsetY->setValue(25);              // and the range
    d.cbPdfOffsets->setChecked(true);
    TPaperSettings shown = d.Settings();
    EXPECT_EQ(shown.Paper, TPaper::B5);
    EXPECT_DOUBLE_EQ(shown.OffsetXmm, -2.3);
    EXPECT_DOUBLE_EQ(shown.OffsetYmm, 20.0);

    // The calibration page goes out with what the dialog shows, saved or not.
    RecordingBackend rec;
    qr::SetPrintBackend(&rec);
    d.btnCalibrate->click();
    ASSERT_EQ(rec.jobs.size(), 1u);
    EXPECT_EQ(rec.jobs[0].second.Placement, PlacementFor(shown, true));
    EXPECT_EQ(rec.title, QStringLiteral("vdmq 校准页"));
    EXPECT_EQ(LoadPaperSettings(ini()).Paper, TPaper::A4);

    d.btnOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(LoadPaperSettings(ini(), d.Printer()), shown);
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "File", ""), "A");
}

// Two printers, two pairs of offsets: the dialog says whose it shows, keeps
// what was typed for each while the user switches between them, and OK
// writes each as that printer's own; the keys of before stay for printers
// without a pair.  The calibration page goes to the printer shown, and the
// dialog says that it went.
TEST_F(PaperUi, OffsetsBelongToThePrinterShown)
{
    PrinterNames() = [] { return QStringList{"PDF", "A4Only"}; };
    writeIni("[vdmq]\r\nOffsetX=1.5\r\nOffsetY=-0.5\r\nOffsetX.A4Only=2.0\r\n");
    TPaperDialog d(ini(), dialogs);
    auto* offsets = qobject_cast<QGroupBox*>(d.spOffsetX->parentWidget());
    ASSERT_TRUE(offsets);
    EXPECT_EQ(d.Printer(), "PDF");
    EXPECT_TRUE(offsets->title().contains("“PDF”")) << offsets->title().toStdString();
    EXPECT_DOUBLE_EQ(d.spOffsetX->value(), 1.5);
    d.spOffsetX->setValue(0.8);

    d.cbPrinter->setCurrentIndex(1);
    EXPECT_TRUE(offsets->title().contains("“A4Only”")) << offsets->title().toStdString();
    EXPECT_TRUE(d.lbPrinter->text().contains("A4Only"));
    EXPECT_DOUBLE_EQ(d.spOffsetX->value(), 2.0);
    EXPECT_DOUBLE_EQ(d.spOffsetY->value(), -0.5);
    d.spOffsetY->setValue(1.0);

    RecordingBackend rec;
    qr::SetPrintBackend(&rec);
    d.btnCalibrate->click();
    ASSERT_EQ(rec.jobs.size(), 1u);
    EXPECT_EQ(rec.jobs[0].second.PrinterName, "A4Only");
    EXPECT_EQ(rec.jobs[0].second.Placement, PlacementFor(TPaperSettings{TPaper::B5, false, 2.0, 1.0}, true));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith("校准页已送往打印机“A4Only”")) << dialogs.messages[0].toStdString();

    d.cbPrinter->setCurrentIndex(0);
    EXPECT_DOUBLE_EQ(d.spOffsetX->value(), 0.8);  // what was typed for it
    d.btnOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(LoadPaperSettings(ini(), "PDF"), (TPaperSettings{TPaper::B5, false, 0.8, -0.5}));
    EXPECT_EQ(LoadPaperSettings(ini(), "A4Only"), (TPaperSettings{TPaper::B5, false, 2.0, 1.0}));
    EXPECT_EQ(LoadPaperSettings(ini(), "Other"), (TPaperSettings{TPaper::B5, false, 1.5, -0.5}));

    // Forms go out with the offsets of the printer they go to; a PDF file
    // from the print dialog (PdfOffsets) with those of the printer chosen
    // there.
    writeIni("[vdmq]\nOffsetX.A4Only=5.0\nOffsetY.A4Only=-4.0\nPdfOffsets=1\n");
    TVdPrintBackend backend;
    qr::TQRPrinter store;
    store.AddPage(FormLayoutPage());
    store.SetStatus(qr::mpFinished);
    for (const char* printer : {"A4Only", "PDF"}) {
        qr::TQRPrinterSettings ps;
        ps.PrinterName = printer;
        ps.OutputFileName = dir.filePath(QStringLiteral("%1.pdf").arg(printer));
        backend.PrintPages(store, ps);
        const QRectF frame = testpages::frameInPdf(ps.OutputFileName);
        const QPointF shift = QString(printer) == "A4Only" ? QPointF(5, -4) : QPointF();
        EXPECT_NEAR(frame.left(), FormFrameMm().left() + shift.x(), 0.3) << printer;
        EXPECT_NEAR(frame.top(), FormFrameMm().top() + shift.y(), 0.3) << printer;
    }
}

// A warning of many lines makes the dialog taller; the offset boxes it
// tells the user to change keep their height.
TEST_F(PaperUi, DialogGrowsWithItsWarning)
{
    PrinterNames() = [] { return QStringList{"A4Only"}; };
    TPaperDialog d(ini(), dialogs);
    d.show();
    pump();
    const int boxHeight = d.spOffsetX->height();
    support = border(4.23);
    d.rbA4->setChecked(true);
    pump();
    ASSERT_TRUE(d.lbCheck->text().contains("把偏移改为")) << d.lbCheck->text().toStdString();
    EXPECT_GE(d.spOffsetX->height(), std::max(boxHeight, d.spOffsetX->minimumSizeHint().height()));
    EXPECT_GE(d.spOffsetY->height(), d.spOffsetY->minimumSizeHint().height());
    EXPECT_GE(d.lbCheck->height(), d.lbCheck->heightForWidth(d.lbCheck->width()));

    // Opened with the warning already there.
    writeIni("[vdmq]\nPaper=A4\n");
    TPaperDialog again(ini(), dialogs);
    again.show();
    pump();
    EXPECT_GE(again.spOffsetX->height(), again.spOffsetX->minimumSizeHint().height());
    EXPECT_GE(again.lbCheck->height(), again.lbCheck->heightForWidth(again.lbCheck->width()));
}

// Every box the paper check shows carries the program's title.
TEST_F(PaperUi, BoxesCarryTheApplicationTitle)
{
    QStringList titles;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&titles] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                titles << box->windowTitle();
                box->reject();
            }
    });
    closer.start(20);
    kOwnPrompt(nullptr, "?");
    kOwnNote(nullptr, "!");
    EXPECT_EQ(titles, QStringList({TVdMainForm::ApplicationTitle(), TVdMainForm::ApplicationTitle()}));
}

TEST_F(PaperUi, DialogKeepsItsChoicesWhenTheFileCannotBeWritten)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("blocked.ini"));
    TPaperDialog d(dir.filePath("blocked.ini"), dialogs);
    d.show();
    d.rbA4->setChecked(true);
    d.btnOk->click();
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Unable to write to ")) << dialogs.errors[0].toStdString();
    EXPECT_TRUE(d.rbA4->isChecked());
}

// The calibration page that does not print says why in readable Chinese,
// whichever layer refused it: the print backend's own error (as the desktop
// backend throws for a printer that has gone) or no printer at all.
TEST_F(PaperUi, CalibrationPageFailureIsShownAsWritten)
{
    struct FailingBackend : RecordingBackend {
        bool printer = true;
        bool HasPrinter() const override { return printer; }
        void PrintPages(const qr::TQRPrinter&, const qr::TQRPrinterSettings&) override
        {
            throw std::runtime_error("打印机“办公室”没有安装");
        }
    };
    const struct {
        bool printer;
        const char* shown;
    } cases[] = {{true, "打印机“办公室”没有安装"}, {false, "没有可用的打印机，校准页无法打印。"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        FakeDialogs seen;
        TPaperDialog d(ini(), seen);
        FailingBackend backend;
        backend.printer = c.printer;
        qr::SetPrintBackend(&backend);
        d.btnCalibrate->click();
        EXPECT_EQ(seen.errors, QStringList{QString::fromUtf8(c.shown)});
    }
}

TEST_F(PaperUi, DialogSaysWhatThePrinterCannotReach)
{
    TPaperDialog d(ini(), dialogs);
    EXPECT_TRUE(d.lbCheck->text().contains(QStringLiteral("左 3.6、上 15.3、右 21.5、下 29.2 mm")))
        << d.lbCheck->text().toStdString();
    support = border(4.23);
    d.rbA4->setChecked(true);
    EXPECT_TRUE(d.lbCheck->text().contains(QStringLiteral("左框线（离纸边 3.6 mm）整条印不出")))
        << d.lbCheck->text().toStdString();
    d.spOffsetX->setValue(0.7);
    EXPECT_FALSE(d.lbCheck->text().contains(QStringLiteral("印不出")));
}

// A PDF written through the printer dialog gets the paper, and the offsets
// only when PdfOffsets says so.
TEST_F(PaperUi, BackendPutsPagesOnTheRememberedPaper)
{
    TVdPrintBackend backend;
    qr::TQRPrinter store;
    store.AddPage(FormLayoutPage());
    store.SetStatus(qr::mpFinished);
    for (bool pdfOffsets : {false, true}) {
        writeIni(std::string("[vdmq]\nPaper=A4\nOffsetX=5.0\nOffsetY=-4.0\nPdfOffsets=") + (pdfOffsets ? "1" : "0") +
                 "\n");
        qr::TQRPrinterSettings s;
        s.OutputFileName = dir.filePath("out.pdf");
        backend.PrintPages(store, s);
        const QSizeF size = testpages::pageSizeMm(s.OutputFileName);
        EXPECT_NEAR(size.width(), 210, 0.3);
        const QRectF frame = testpages::frameInPdf(s.OutputFileName);
        const QRectF expected = FormFrameMm().translated(pdfOffsets ? QPointF(5, -4) : QPointF());
        EXPECT_NEAR(frame.left(), expected.left(), 0.3) << pdfOffsets;
        EXPECT_NEAR(frame.top(), expected.top(), 0.3) << pdfOffsets;
        EXPECT_EQ(prompts, 0);  // nothing to ask about a file
    }
}

TEST_F(PaperUi, AskedOnceForEachPrinterPaperAndPosition)
{
    support = border(4.23);
    writeIni("[vdmq]\nPaper=A4\n");
    TVdPrintBackend backend;
    qr::TQRPrinter store;
    store.AddPage(FormLayoutPage());
    store.SetStatus(qr::mpFinished);
    qr::TQRPrinterSettings s;
    s.PrinterName = QStringLiteral("no-such-queue");
    // Declined: nothing goes to the printer (which, not being there, would
    // have thrown).
    EXPECT_NO_THROW(backend.PrintPages(store, s));
    EXPECT_EQ(prompts, 1);

    answer = true;
    EXPECT_TRUE(ConfirmPaper(nullptr, "Q"));
    EXPECT_TRUE(ConfirmPaper(nullptr, "Q"));  // confirmed: not asked again
    EXPECT_EQ(prompts, 2);
    writeIni("[vdmq]\nPaper=A4\nOffsetX=0.2\n");  // still cut, but elsewhere: asked
    EXPECT_TRUE(ConfirmPaper(nullptr, "Q"));
    EXPECT_EQ(prompts, 3);
    writeIni("[vdmq]\nPaper=A4\nA4Position=Centre\n");  // nothing cut: nothing asked
    EXPECT_TRUE(ConfirmPaper(nullptr, "Q"));
    EXPECT_EQ(prompts, 3);
}

TEST_F(PaperUi, DecliningStopsThePrintRunBeforeItStarts)
{
    // The print run asks the system's printers itself.
    PrinterNames() = kOwnPrinters;
    if (DefaultPrinterName().isEmpty())
        GTEST_SKIP() << "no printer installed";
    support = border(4.23);
    writeIni("[vdmq]\nPaper=A4\n");
    InstallVdPrintBackend();
    TVdMainForm w(dir.path(), std::make_shared<FakeDialogs>());
    Vdcs.RosterPath = gb(VDMQ_TESTDATA "/printrun/three.xls");
    w.edStart->setText("7");
    w.edEnd->setText("11");
    w.btnPrnClick();
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(w.CurRow, 0);  // no row was taken
}

}  // namespace
