// The question before paper, offscreen: what the dialog lists and copies,
// its two answers, and when the main window's Print and Preview ask it
// (tests/data/check/check.xls: row 7 clean, row 9 with a post cut short).
#include "app/core/printrun.h"
#include "app/ui/VdCheckDialog.h"
#include "app/ui/VdMainUnit.h"
#include "app/ui/VdPaperPrint.h"
#include "app/ui/VdRunReport.h"
#include "mainwindow_access.h"
#include "platform/gbtext.h"
#include "preview/TzPreview.h"
#include "report/ui/printbackend.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "fake_dialogs.h"
#include "file_helpers.h"
#include "run_helpers.h"

using namespace vdmq;

namespace {

const std::string kCheckRoster = VDMQ_TESTDATA "/check/check.xls";

// The check of rows 7 to 21, as a run makes it.
TCheckReport checkedRoster(const std::string& width = "78", int first = 7, int last = 21)
{
    TVdcs vdcs;
    vdcs.DocNo = gb("澜人发(2007)71号");
    vdcs.PrintDate = QDate(2009, 7, 1);
    TRosterRows rows;
    TRunFillSource source(vdcs, rows, [width] { return QString::fromStdString(width); });
    rows.Open(gb(kCheckRoster));
    rows.FirstSheet();
    TFormCheck check(source);
    TCheckReport report = check.CheckRows(first, last);
    rows.Close();
    return report;
}

QString cell(const TCheckDialog& d, int row, int column) { return d.tblProblems->item(row, column)->text(); }

}  // namespace

TEST(CheckDialog, ListsRowNameAndProblemAndCopiesThem)
{
    const TCheckReport report = checkedRoster();
    TCheckDialog dialog(report, TRunMode::Print);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("打印前检查"));
    EXPECT_TRUE(dialog.lbSummary->text().contains(QString::fromUtf8("标记打印的 14 人中，有 12 人")))
        << dialog.lbSummary->text().toStdString();
    ASSERT_EQ(dialog.tblProblems->rowCount(), 14);
    EXPECT_EQ(dialog.tblProblems->horizontalHeaderItem(2)->text(), QString::fromUtf8("问题"));
    EXPECT_EQ(cell(dialog, 0, 0), "9");
    EXPECT_EQ(cell(dialog, 0, 1), QString::fromUtf8("王秀兰"));
    EXPECT_EQ(cell(dialog, 0, 2),
              QString::fromUtf8("职务(岗位)（G列）印不下：只印出“第一中学中学高级”，少印 2 个字“教师”"));
    EXPECT_EQ(dialog.btnContinue->text(), QString::fromUtf8("继续打印"));
    EXPECT_EQ(dialog.btnBack->text(), QString::fromUtf8("返回修改"));
    EXPECT_TRUE(dialog.btnBack->isDefault()) << "Enter must not print by accident";
    EXPECT_EQ(dialog.tblProblems->editTriggers(), QAbstractItemView::NoEditTriggers);

    // 复制全部: a heading and one tab-separated line per problem.
    dialog.btnCopy->click();
    QStringList copied = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(copied.size(), 15);
    EXPECT_EQ(copied[0], QString::fromUtf8("行号\t姓名\t问题"));
    EXPECT_EQ(copied[2], QString::fromUtf8("10\t\t姓名（B列）为空"));

    // Ctrl+C copies the selected rows.
    QAction* copy = nullptr;
    for (QAction* a : dialog.tblProblems->actions())
        if (a->shortcut() == QKeySequence(QKeySequence::Copy))
            copy = a;
    ASSERT_TRUE(copy);
    dialog.tblProblems->selectRow(3);
    copy->trigger();
    copied = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(copied.size(), 2);
    EXPECT_TRUE(copied[1].startsWith(QString::fromUtf8("11\t赵海\t这一行填表出错"))) << copied[1].toStdString();

    // The two answers.
    struct Answer {
        QPushButton* button;
        int result;
    } answers[] = {{dialog.btnContinue, QDialog::Accepted}, {dialog.btnBack, QDialog::Rejected}};
    for (const Answer& a : answers) {
        dialog.open();
        a.button->click();
        EXPECT_EQ(dialog.result(), a.result);
        EXPECT_FALSE(dialog.isVisible());
    }

    TCheckDialog before(report, TRunMode::Preview);
    EXPECT_EQ(before.windowTitle(), QString::fromUtf8("预览前检查"));
    EXPECT_EQ(before.btnContinue->text(), QString::fromUtf8("继续预览"));
}

// The question speaks of the run it stands before: 导出PDF exports, it
// does not print.
TEST(CheckDialog, TitleAndAnswerNameTheRun)
{
    const TCheckReport report = checkedRoster();
    const struct {
        TRunMode mode;
        const char *title, *go;
    } runs[] = {{TRunMode::Preview, "预览前检查", "继续预览"},
                {TRunMode::Print, "打印前检查", "继续打印"},
                {TRunMode::Pdf, "导出前检查", "继续导出"}};
    for (const auto& r : runs) {
        TCheckDialog dialog(report, r.mode);
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(r.title));
        EXPECT_EQ(dialog.btnContinue->text(), QString::fromUtf8(r.go));
        EXPECT_TRUE(dialog.lbSummary->text().contains(QString::fromUtf8(r.go + 6)))  // the verb alone
            << dialog.lbSummary->text().toStdString();
    }
}

// An entry that spoils every form comes first, once, without a row; the
// new kinds read as the roster's cells and what prints.
TEST(CheckDialog, ListsTheEntriesFirstAndTheNewKinds)
{
    TCheckReport report = checkedRoster("", 22, 31);
    report.sheet = QStringLiteral("A4（210×297 mm），左上角");
    TCheckDialog dialog(report, TRunMode::Print);
    const QString summary = dialog.lbSummary->text();
    EXPECT_TRUE(summary.contains(QString::fromUtf8("另有 1 处是主窗口输入项的问题"))) << summary.toStdString();
    EXPECT_TRUE(summary.contains(QString::fromUtf8("按A4（210×297 mm），左上角排版检查"))) << summary.toStdString();
    ASSERT_GT(dialog.tblProblems->rowCount(), 2);
    EXPECT_EQ(cell(dialog, 0, 0), QString());
    EXPECT_TRUE(cell(dialog, 0, 2).startsWith(QString::fromUtf8("申报意见栏每行宽度“”不是整数")));
    EXPECT_EQ(cell(dialog, 1, 0), "22");
    EXPECT_TRUE(cell(dialog, 1, 2).contains(QString::fromUtf8("印作“2009.-7”"))) << cell(dialog, 1, 2).toStdString();
    // No row is blamed for the width: the rows' own problems only.
    for (int r = 1; r < dialog.tblProblems->rowCount(); ++r)
        EXPECT_FALSE(cell(dialog, r, 2).contains(QString::fromUtf8("'' is not a valid"))) << r;
}

namespace {

struct AnsweringDialogs : FakeDialogs {
    bool goOn = false;
    int asked = 0;
    int askedProblems = 0;
    TCheckReport report;
    bool ConfirmCheck(QWidget*, const TCheckReport& r, TRunMode) override
    {
        ++asked;
        askedProblems = int(r.problems.size());
        report = r;
        return goOn;
    }
};

struct CountingPrinter : qr::TQRPrintBackend {
    int jobs = 0;
    bool HasPrinter() const override { return true; }
    void PrintPages(const qr::TQRPrinter&, const qr::TQRPrinterSettings&) override { ++jobs; }
    bool PrintSetup(qr::TQRPrinterSettings&, int) override { return false; }
    void WithProgress(const QString&, const std::function<void()>& work) override { work(); }
};

}  // namespace

TEST(CheckDialog, PrintAndPreviewAskWhenThereIsSomethingToSay)
{
    CountingPrinter printer;
    qr::SetPrintBackend(&printer);
    struct Case {
        const char* what;
        const char *start, *end;
        TRunMode mode;
        const char* ini;  // vdmq.ini beside the program; empty: none
        bool goOn;
        int asked, forms;
    } cases[] = {
        {"back to the roster", "7", "9", TRunMode::Print, "", false, 1, 0},
        {"printed anyway", "7", "9", TRunMode::Print, "", true, 1, 2},
        {"question turned off", "7", "9", TRunMode::Print, "[vdmq]\r\nCheckBeforePrint=0\r\n", false, 0, 2},
        {"question left on", "7", "9", TRunMode::Print, "[vdmq]\r\nCheckBeforePrint=1\r\n", false, 1, 0},
        {"nothing found", "7", "7", TRunMode::Print, "", false, 0, 1},
        {"one form to preview", "9", "9", TRunMode::Preview, "", false, 0, 1},
        {"several forms to preview", "7", "9", TRunMode::Preview, "", false, 1, 0},
    };
    for (const Case& c : cases) {
        printer.jobs = 0;
        QTemporaryDir dir;
        if (*c.ini) {
            QFile ini(dir.filePath("vdmq.ini"));
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write(c.ini);
        }
        auto dialogs = std::make_shared<AnsweringDialogs>();
        dialogs->goOn = c.goOn;
        TMainWindow form(dir.path(), dialogs);
        Vdcs.RosterPath = gb(kCheckRoster);
        ui(form).StartRowEdit->setText(c.start);
        ui(form).EndRowEdit->setText(c.end);
        int previews = 0;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            for (auto* w : form.findChildren<TPreviewWindow*>())
                if (w->isVisible() && w->PageView->QRPrinter() && w->PageView->QRPrinter()->PageCount() == 1) {
                    ++previews;
                    w->close();
                }
        });
        closer.start(20);
        form.PrintRun(c.mode);
        RunToEnd(form);
        closer.stop();
        EXPECT_EQ(dialogs->asked, c.asked) << c.what;
        EXPECT_EQ(c.mode == TRunMode::Preview ? previews : printer.jobs, c.forms) << c.what;
        if (c.asked) {
            EXPECT_EQ(dialogs->askedProblems, 1) << c.what;
        }
        EXPECT_TRUE(dialogs->errors.isEmpty()) << c.what << ": " << dialogs->errors.join('\n').toStdString();
        EXPECT_FALSE(form.Roster.IsOpen()) << c.what;
        EXPECT_TRUE(ui(form).PrintButton->isEnabled()) << c.what;
    }
    qr::SetPrintBackend(nullptr);
}

// The check measures where the forms will go: the paper and position of
// "纸张", and the border of the printer they go to.  An issuing body too long
// for B5 fits A4; a little longer, it reaches the printer's border.
TEST(CheckDialog, MeasuresOnThePaperAndPrinterOfTheRun)
{
    CountingPrinter printer;
    qr::SetPrintBackend(&printer);
    qr::TQRPaperSupport support;
    support.known = support.listed = true;
    PaperSupportProvider() = [&support](const QString&, const QSizeF&) { return support; };
    const QString area =
        QString::fromUtf8("澜坪市人力资源和社会保障局事业单位工作人员工资福利与退休管理科（工资处）制表");
    struct Case {
        const char* what;
        const char* ini;
        QString area;
        double border;
        const char* says;  // in the one problem; null: not asked
    } cases[] = {
        {"B5", "", area, 0, "超出纸边"},
        {"A4", "[vdmq]\r\nPaper=A4\r\n", area, 0, nullptr},
        {"A4 and a printer's border", "[vdmq]\r\nPaper=A4\r\n", area + QString::fromUtf8("（一）"), 4.2,
         "超出打印机能印到的范围"},
    };
    for (const Case& c : cases) {
        if (c.border > 0 && DefaultPrinterName().isEmpty()) {
            std::printf("no printer: the border case is skipped\n");
            continue;
        }
        support.borderMm = QMarginsF(c.border, c.border, c.border, c.border);
        QTemporaryDir dir;
        if (*c.ini)
            testfiles::writeAll(dir.filePath("vdmq.ini"), c.ini);
        auto dialogs = std::make_shared<AnsweringDialogs>();
        TMainWindow form(dir.path(), dialogs);
        Vdcs.RosterPath = gb(kCheckRoster);
        ui(form).StartRowEdit->setText("7");
        ui(form).EndRowEdit->setText("7");
        ui(form).IssuedByEdit->setText(c.area);
        form.PrintRun(TRunMode::Print);
        RunToEnd(form);
        EXPECT_EQ(dialogs->asked, c.says ? 1 : 0) << c.what;
        if (c.says && dialogs->asked) {
            ASSERT_EQ(dialogs->report.problems.size(), 1u) << c.what;
            const TCheckProblem& p = dialogs->report.problems[0];
            EXPECT_EQ(p.row, 0) << c.what;
            EXPECT_EQ(p.label, "lb_area") << c.what;
            EXPECT_TRUE(p.message.contains(QString::fromUtf8(c.says))) << p.message.toStdString();
        }
    }
    PaperSupportProvider() = [](const QString& p, const QSizeF& s) { return qr::PrinterPaperSupport(p, s); };
    qr::SetPrintBackend(nullptr);
}
