// The main window's Preview and Print runs, offscreen: one preview window
// per form in turn, the buttons while a run waits, the message boxes, a
// close during a run, and three jobs in row order on the real CUPS queue.
#include "app/core/printrun.h"
#include "app/core/settings.h"
#include "app/ui/VdMainUnit.h"
#include "mainwindow_access.h"
#include "platform/gbtext.h"
#include "platform/profile.h"
#include "preview/TzPreview.h"
#include "report/ui/printbackend.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "fake_dialogs.h"
#include "run_helpers.h"
#include <functional>

using namespace vdmq;

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}


struct Window {
    QTemporaryDir dir;
    std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    std::unique_ptr<TMainWindow> form;
    Window(const char* roster, const char* start, const char* end)
    {
        form = std::make_unique<TMainWindow>(dir.path(), dialogs);
        Vdcs.RosterPath = gb(std::string(VDMQ_TESTDATA "/printrun/") + roster);
        ui(*form).StartRowEdit->setText(start);
        ui(*form).EndRowEdit->setText(end);
    }
    QList<TPreviewWindow*> previews() const
    {
        QList<TPreviewWindow*> open;
        for (auto* w : form->findChildren<TPreviewWindow*>(QString(), Qt::FindDirectChildrenOnly))
            if (w->isVisible())
                open << w;
        return open;
    }
};

// Calls `step` whenever a preview window is open, from the event loop the
// run goes on from (RunToEnd).
void whilePreviewing(Window& w, const std::function<void(TPreviewWindow*)>& step)
{
    auto* timer = new QTimer(w.form.get());
    QObject::connect(timer, &QTimer::timeout, [&w, step, timer] {
        const auto open = w.previews();
        if (open.size() == 1 && open[0]->PageView->QRPrinter() && open[0]->PageView->QRPrinter()->PageCount() == 1)
            step(open[0]);
        (void)timer;
    });
    timer->start(20);
}

}  // namespace

TEST(PrintRunGui, PreviewShowsEachFormInAWindowOfItsOwn)
{
    Window w("three.xls", "7", "11");
    std::vector<int> rows;
    std::vector<TPreviewWindow*> windows;
    bool blocked = true;
    whilePreviewing(w, [&](TPreviewWindow* p) {
        if (!windows.empty() && windows.back() == p)
            return;
        windows.push_back(p);
        rows.push_back(w.form->CurRow);
        blocked = blocked && !ui(*w.form).PrintButton->isEnabled() && !ui(*w.form).ReadButton->isEnabled() &&
                  !ui(*w.form).ClearButton->isEnabled() && ui(*w.form).PreviewButton->isEnabled();
        if (rows.size() == 1) {
            // Presses while the run waits: Preview only raises the window,
            // Print starts nothing.
            w.form->PreviewButtonClick();
            w.form->PrintRun(TRunMode::Print);
            EXPECT_EQ(w.previews().size(), 1);
        }
        p->CloseButtonClick();
    });
    w.form->PreviewButtonClick();
    RunToEnd(*w.form);
    EXPECT_EQ(rows, (std::vector<int>{7, 9, 11}));
    EXPECT_TRUE(blocked) << "Print, Read or Clear usable while a preview waited";
    EXPECT_TRUE(ui(*w.form).PrintButton->isEnabled());
    EXPECT_TRUE(w.previews().isEmpty());
    EXPECT_TRUE(w.dialogs->errors.isEmpty()) << w.dialogs->errors.join('\n').toStdString();
    EXPECT_FALSE(w.form->Roster.IsOpen());
}

// Each window names its person, row and place in the run, and opens at the
// zoom the window before was left at.
TEST(PrintRunGui, PreviewWindowsNameTheFormAndKeepTheZoom)
{
    Window w("three.xls", "7", "11");
    std::vector<QString> titles, labels;
    std::vector<int> zooms;
    TPreviewWindow* last = nullptr;
    whilePreviewing(w, [&](TPreviewWindow* p) {
        if (p == last)
            return;
        last = p;
        titles.push_back(p->windowTitle());
        labels.push_back(p->LabelRunPosition->text());
        zooms.push_back(p->PageView->Zoom());
        EXPECT_TRUE(p->ButtonStopRun->isVisibleTo(p));
        if (titles.size() == 1)
            p->ZoomBox->setValue(150);  // chosen in the zoom box
        else if (titles.size() == 2)
            p->ZoomBox->stepDown();
        p->CloseButtonClick();
    });
    w.form->PreviewButtonClick();
    RunToEnd(*w.form);
    const std::vector<QString> expected = {QStringLiteral("甲一 — 第 7 行，第 1 张/共 3 张"),
                                           QStringLiteral("乙二 — 第 9 行，第 2 张/共 3 张"),
                                           QStringLiteral("丙三 — 第 11 行，第 3 张/共 3 张")};
    EXPECT_EQ(labels, expected);
    ASSERT_EQ(titles.size(), 3u);
    for (std::size_t i = 0; i < titles.size(); ++i)
        EXPECT_TRUE(titles[i].startsWith(expected[i])) << titles[i].toStdString();
    EXPECT_EQ(zooms, (std::vector<int>{100, 150, 140}));

    // A new run starts afresh at 100 %.
    zooms.clear();
    last = nullptr;
    w.form->PreviewButtonClick();
    RunToEnd(*w.form);
    EXPECT_EQ(zooms, (std::vector<int>{100, 100, 100}));
}

// The stop button (and Shift+Esc) ends the run at once: no further window,
// no message, the roster released and the buttons usable again.
TEST(PrintRunGui, StopButtonEndsAPreviewRun)
{
    for (bool byKey : {false, true}) {
        Window w("three.xls", "7", "11");
        std::vector<int> rows;
        TPreviewWindow* last = nullptr;
        int waits = 0;
        whilePreviewing(w, [&](TPreviewWindow* p) {
            if (p == last) {
                p->close();  // the stop did nothing: go on, and fail below
                return;
            }
            // A window's keys reach it once it is the active window.
            if (byKey && QApplication::activeWindow() != p && ++waits < 100) {
                p->activateWindow();
                return;
            }
            last = p;
            rows.push_back(w.form->CurRow);
            if (byKey) {
                QKeyEvent press(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::ShiftModifier);
                QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::ShiftModifier);
                QApplication::sendEvent(p->PageView, &press);
                QApplication::sendEvent(p->PageView, &key);
            } else {
                p->ButtonStopRun->click();
            }
        });
        w.form->PreviewButtonClick();
        RunToEnd(*w.form);
        EXPECT_EQ(rows, std::vector<int>{7}) << (byKey ? "Shift+Esc" : "button");
        EXPECT_TRUE(w.previews().isEmpty());
        EXPECT_TRUE(w.dialogs->messages.isEmpty());
        EXPECT_TRUE(w.dialogs->errors.isEmpty());
        EXPECT_FALSE(w.form->Roster.IsOpen());
        EXPECT_TRUE(ui(*w.form).PrintButton->isEnabled());
    }
}

TEST(PrintRunGui, ClosingTheMainWindowEndsTheRun)
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    Window w("three.xls", "7", "11");
    w.form->show();
    int shown = 0;
    whilePreviewing(w, [&](TPreviewWindow*) {
        if (++shown == 1)
            w.form->close();
    });
    // The rows typed into the window are new: the close, once the run is
    // over, asks whether to keep them.
    w.dialogs->choices = {1};  // 不保存
    w.form->PrintRun(TRunMode::Preview);
    RunToEnd(*w.form);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(w.form->Roster.IsOpen());
    wait(50);  // the held-back close
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_TRUE(w.previews().isEmpty());
    EXPECT_EQ(w.dialogs->questions.size(), 1u);
}

TEST(PrintRunGui, QuittingTheApplicationEndsAPreviewRun)
{
    Window w("three.xls", "7", "11");
    int shown = 0;
    whilePreviewing(w, [&](TPreviewWindow*) {
        if (++shown == 1)
            QCoreApplication::exit(0);
    });
    w.form->PrintRun(TRunMode::Preview);
    RunToEnd(*w.form);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(w.form->Roster.IsOpen());
    EXPECT_TRUE(w.previews().isEmpty());
    // An exit outside exec() keeps every later event loop from running;
    // one short exec() clears it for the tests that follow.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST(PrintRunGui, MessageBoxes)
{
    struct Case {
        const char *roster, *start, *end;
        QString message, error;
    } cases[] = {
        {"missing.xls", "7", "7", QString::fromUtf8("请选择EXCEL数据表格！\n\n文件不存在"), {}},
        {"not_a_roster.xls", "7", "7", QString::fromUtf8("请选择EXCEL数据表格！"), {}},
        // The converter's own text stays whole, under a line naming the field or row.
        {"three.xls",
         "abc",
         "7",
         {},
         QString::fromUtf8("“开始打印行号”不是整数：\n'abc' is not a valid integer value")},
        {"three.xls", "7", "7x", {}, QString::fromUtf8("“结束打印行号”不是整数：\n'7x' is not a valid integer value")},
        {"errors.xls", "8", "8", {}, QString::fromUtf8("第 8 行填表时出错：\n'' is not a valid integer value")},
    };
    for (const Case& c : cases) {
        Window w(c.roster, c.start, c.end);
        whilePreviewing(w, [](TPreviewWindow* p) { p->close(); });
        w.form->PreviewButtonClick();
        RunToEnd(*w.form);
        if (!c.message.isEmpty()) {
            ASSERT_EQ(w.dialogs->messages.size(), 1) << c.roster;
            EXPECT_TRUE(w.dialogs->messages[0].startsWith(c.message)) << w.dialogs->messages[0].toStdString();
        }
        if (!c.error.isEmpty()) {
            ASSERT_EQ(w.dialogs->errors.size(), 1) << c.roster;
            EXPECT_EQ(w.dialogs->errors[0], c.error);
        }
        EXPECT_TRUE(w.previews().isEmpty()) << c.roster << ": a failed form left its window";
        EXPECT_FALSE(w.form->Roster.IsOpen());
    }
}

namespace {

// A printer that keeps the name on each job and lets a test act during one.
struct RecordingBackend : qr::TQRPrintBackend {
    std::vector<std::string> jobs;
    std::function<void()> duringJob;
    bool printer = true;
    bool HasPrinter() const override { return printer; }
    QString PrinterFor(const qr::TQRPrinterSettings&) const override { return QString::fromUtf8("办公室打印机"); }
    void PrintPages(const qr::TQRPrinter& store, const qr::TQRPrinterSettings&) override
    {
        for (const qr::QRItem& item : store.Page(1).items)
            if (item.kind == qr::QRItem::Text && (item.text == u"甲一" || item.text == u"乙二" || item.text == u"丙三"))
                jobs.push_back(item.text.toStdString());
        if (duringJob)
            duringJob();
    }
    bool PrintSetup(qr::TQRPrinterSettings&, int) override { return false; }
    void WithProgress(const QString&, const std::function<void()>& work) override { work(); }
};

}  // namespace

// The end of a print run says what went where; a stop names the last row
// printed and offers to go on from the next.
TEST(PrintRunGui, PrintRunEndsWithASummary)
{
    struct Case {
        const char* what;
        bool stop;
        int choice;
        std::vector<std::string> jobs;
        const char* startAfter;
        const char* lastMessage;
    };
    const Case cases[] = {
        {"to the end", false, -1, {"甲一", "乙二", "丙三"}, "7", "已将 3 份审批表送往打印机“办公室打印机”。"},
        {"stop, go on", true, 0, {"甲一", "乙二", "丙三"}, "8", "已将 2 份审批表送往打印机“办公室打印机”。"},
        {"stop, only fill in", true, 1, {"甲一"}, "8", nullptr},
        {"stop, close", true, 2, {"甲一"}, "7", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingBackend backend;
        qr::SetPrintBackend(&backend);
        Window w("three.xls", "7", "11");
        w.dialogs->choices = {c.choice};
        QString label;
        bool stopped = false;
        backend.duringJob = [&] {
            for (auto* d : w.form->findChildren<QProgressDialog*>())
                if (d->isVisible() && d->windowTitle() == "Printing progress" && label.isEmpty()) {
                    label = d->labelText();
                    if (c.stop && !stopped) {
                        stopped = true;
                        d->cancel();
                    }
                }
        };
        w.form->PrintButtonClick();
        RunToEnd(*w.form);  // a run that goes on starts from the event loop
        EXPECT_EQ(label.toStdString(), "第 1 份/共 3 份（第 7 行）");
        EXPECT_EQ(backend.jobs, c.jobs);
        EXPECT_EQ(ui(*w.form).StartRowEdit->text().toStdString(), c.startAfter);
        ASSERT_EQ(w.dialogs->questions.size(), c.stop ? 1u : 0u);
        if (c.stop) {
            const QString& q = w.dialogs->questions[0].text;
            EXPECT_TRUE(q.contains(QString::fromUtf8("已将 1 份审批表送往打印机“办公室打印机”，最后一份是第 7 行")))
                << q.toStdString();
            EXPECT_TRUE(q.contains(QString::fromUtf8("要从第 8 行继续打印吗"))) << q.toStdString();
            EXPECT_EQ(w.dialogs->questions[0].buttons,
                      (QStringList{QString::fromUtf8("继续打印"), QString::fromUtf8("填入开始行号"),
                                   QString::fromUtf8("关闭")}));
        }
        if (c.lastMessage) {
            ASSERT_FALSE(w.dialogs->messages.isEmpty());
            EXPECT_EQ(w.dialogs->messages.last().toStdString(), c.lastMessage);
        } else {
            EXPECT_TRUE(w.dialogs->messages.isEmpty());
        }
        EXPECT_TRUE(ui(*w.form).PrintButton->isEnabled());
        EXPECT_FALSE(w.form->Roster.IsOpen());
        qr::SetPrintBackend(nullptr);
    }
}

// Closing the main window during a print run ends the run after the form
// going out, without a summary, and the window closes after it.
TEST(PrintRunGui, ClosingTheMainWindowEndsAPrintRun)
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    RecordingBackend backend;
    qr::SetPrintBackend(&backend);
    Window w("three.xls", "7", "11");
    w.form->show();
    backend.duringJob = [&] {
        if (backend.jobs.size() == 1)
            w.form->close();
    };
    w.dialogs->choices = {1};  // 不保存, asked by the close once the run is over
    w.form->PrintButtonClick();
    RunToEnd(*w.form);
    wait(50);  // the held-back close
    EXPECT_EQ(backend.jobs, std::vector<std::string>{"甲一"});
    EXPECT_TRUE(w.dialogs->messages.isEmpty());
    EXPECT_EQ(w.dialogs->questions.size(), 1u);
    EXPECT_FALSE(w.form->Roster.IsOpen());
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_FALSE(w.form->RunActive());
    qr::SetPrintBackend(nullptr);
}

// A run that gives no form says why, in every mode; without a printer a
// print run says that nothing was printed and reads nothing.
TEST(PrintRunGui, RunsThatGiveNothingSaySo)
{
    using M = TRunMode;
    struct Case {
        TRunMode mode;
        const char *start, *end;
        bool printer;
        const char* message;
    };
    const Case cases[] = {
        {M::Preview, "11", "7", true, "开始行号大于结束行号"},
        {M::Print, "11", "7", true, "开始行号大于结束行号"},
        {M::Pdf, "11", "7", true, "开始行号大于结束行号"},
        {M::Preview, "8", "8", true, "第 8 至 8 行中没有打印标志为 1 的人员"},
        {M::Print, "10", "10", true, "第 10 至 10 行中没有打印标志为 1 的人员"},
        {M::Pdf, "8", "8", false, "第 8 至 8 行中没有打印标志为 1 的人员"},
        {M::Print, "7", "11", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(int(c.mode)) + " " + c.start + ".." + c.end);
        RecordingBackend backend;
        backend.printer = c.printer;
        qr::SetPrintBackend(&backend);
        Window w("three.xls", c.start, c.end);
        w.form->PrintRun(c.mode);
        RunToEnd(*w.form);
        ASSERT_EQ(w.dialogs->messages.size(), 1);
        if (c.message) {
            EXPECT_EQ(w.dialogs->messages[0].toStdString(), c.message);
        } else {
            EXPECT_TRUE(
                w.dialogs->messages[0].startsWith(QString::fromUtf8("没有打印任何审批表：本机没有可用的打印机")))
                << w.dialogs->messages[0].toStdString();
            EXPECT_EQ(w.form->CurRow, 0) << "the roster was read";
        }
        EXPECT_TRUE(backend.jobs.empty());
        EXPECT_EQ(w.dialogs->saves, 0) << "asked for a PDF file with nothing to put in it";
        EXPECT_TRUE(w.dialogs->errors.isEmpty());
        EXPECT_TRUE(w.previews().isEmpty());
        qr::SetPrintBackend(nullptr);
    }
}

namespace {

int pdfPages(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return int(QString::fromLatin1(f.readAll()).count(QRegularExpression("/Type\\s*/Page[^s]")));
}

}  // namespace

// 导出PDF: the selected rows into one file, one page each, from the folder
// last exported to, asking before an existing file is replaced.
TEST(PrintRunGui, WholeRunIntoOnePdf)
{
    struct Case {
        const char* what;
        bool existing;
        QStringList typed;
        std::vector<int> choices;
        const char* written;
        int pages;
        int saves;
    };
    const Case cases[] = {
        {"new file", false, {"out.pdf"}, {}, "out.pdf", 3, 1},
        {"no extension typed", false, {"out"}, {}, "out.pdf", 3, 1},
        {"replace", true, {"out.pdf"}, {0}, "out.pdf", 3, 1},
        {"keep, then cancel", true, {"out.pdf"}, {1}, nullptr, 0, 2},
        {"keep, then another name", true, {"out.pdf", "new.pdf"}, {1}, "new.pdf", 3, 2},
        {"folder missing", false, {"缺少的文件夹/out.pdf"}, {}, nullptr, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingBackend backend;
        backend.printer = false;  // no printer needed
        qr::SetPrintBackend(&backend);
        QTemporaryDir exports;
        Window w("three.xls", "7", "11");
        WriteProfileString(w.dir.filePath("vdmq.ini"), "vdmq", "ExportDir", exports.path());
        if (c.existing) {
            QFile old(exports.filePath("out.pdf"));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        for (const QString& t : c.typed)
            w.dialogs->saveAnswers << exports.filePath(t);
        w.dialogs->choices = c.choices;
        ui(*w.form).PdfButton->click();
        RunToEnd(*w.form);
        EXPECT_EQ(w.dialogs->saves, c.saves);
        EXPECT_EQ(w.dialogs->saveTitle, QString::fromUtf8("导出PDF"));
        EXPECT_EQ(w.dialogs->saveFilters, QStringList{QString::fromUtf8("PDF文件 (*.pdf)")});
        if (c.saves == 1) {
            EXPECT_EQ(w.dialogs->saveSelected, exports.filePath(QString::fromUtf8("审批表_第7至11行.pdf")));
        }
        EXPECT_EQ(w.dialogs->questions.size(), c.existing ? 1u : 0u);
        if (c.typed[0].contains('/')) {
            // The writer's reason names the file, its Chinese folder intact.
            ASSERT_EQ(w.dialogs->errors.size(), 1);
            EXPECT_TRUE(w.dialogs->errors[0].contains(exports.filePath(c.typed[0])))
                << w.dialogs->errors[0].toStdString();
        } else {
            EXPECT_TRUE(w.dialogs->errors.isEmpty()) << w.dialogs->errors.join('\n').toStdString();
        }
        if (c.existing) {
            EXPECT_EQ(pdfPages(exports.filePath("out.pdf")), c.choices[0] == 0 ? 3 : 0);
        }
        if (c.written) {
            const QString file = exports.filePath(c.written);
            EXPECT_EQ(pdfPages(file), c.pages);
            ASSERT_EQ(w.dialogs->messages.size(), 1);
            EXPECT_EQ(w.dialogs->messages[0],
                      QString::fromUtf8("已将 3 份审批表导出到 PDF 文件：\n") + QDir::toNativeSeparators(file) + "。");
        } else {
            EXPECT_TRUE(w.dialogs->messages.isEmpty());
        }
        EXPECT_TRUE(backend.jobs.empty());
        EXPECT_FALSE(w.form->Roster.IsOpen());
        qr::SetPrintBackend(nullptr);
    }
}

// 导出PDF onto the roster itself (or a link to it) is refused with the
// reason and the dialog comes back; the roster is not touched.
TEST(PrintRunGui, WholeRunPdfNeverReplacesTheRoster)
{
    RecordingBackend backend;
    backend.printer = false;
    qr::SetPrintBackend(&backend);
    QTemporaryDir exports;
    const QString roster = exports.filePath(QString::fromUtf8("名单.xls"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VDMQ_TESTDATA "/printrun/three.xls"), roster));
    ASSERT_TRUE(QFile::link(roster, exports.filePath("link.pdf")));
    QFile f(roster);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    for (const QString& typed : {roster, exports.filePath("link.pdf")}) {
        SCOPED_TRACE(typed.toStdString());
        Window w("three.xls", "7", "11");
        Vdcs.RosterPath = toGb(roster);   // however it was chosen, the run keeps it
        w.dialogs->saveAnswers << typed;  // then cancelled
        ui(*w.form).PdfButton->click();
        RunToEnd(*w.form);
        EXPECT_EQ(w.dialogs->saves, 2);
        ASSERT_EQ(w.dialogs->errors.size(), 1);
        EXPECT_TRUE(w.dialogs->errors[0].contains(QString::fromUtf8("花名册"))) << w.dialogs->errors[0].toStdString();
        EXPECT_TRUE(w.dialogs->questions.empty());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
        f.close();
    }
    qr::SetPrintBackend(nullptr);
}

// Both PDF exports put the form on the paper chosen in 纸张, as printing does.
TEST(PrintRunGui, PdfExportsUseTheRememberedPaper)
{
    QTemporaryDir exports;
    Window w("three.xls", "9", "9");
    const QString ini = w.dir.filePath("vdmq.ini");
    WriteProfileString(ini, "vdmq", "ExportDir", exports.path());
    WriteProfileString(ini, "vdmq", "Paper", "A4");
    w.dialogs->saveAnswers << exports.filePath("run.pdf") << exports.filePath("form.pdf");
    ui(*w.form).PdfButton->click();
    RunToEnd(*w.form);
    whilePreviewing(w, [&](TPreviewWindow* p) {
        if (w.dialogs->saves == 1)
            p->PdfButton->click();
        p->close();
    });
    w.form->PreviewButtonClick();
    RunToEnd(*w.form);
    for (const char* name : {"run.pdf", "form.pdf"}) {
        QFile f(exports.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        const auto m =
            QRegularExpression("/MediaBox \\[0 0 ([\\d.]+) ([\\d.]+)").match(QString::fromLatin1(f.readAll()));
        ASSERT_TRUE(m.hasMatch()) << name;
        EXPECT_NEAR(m.captured(1).toDouble(), 595.3, 1) << name;  // A4, not the form's 182 mm
        EXPECT_NEAR(m.captured(2).toDouble(), 841.9, 1) << name;
    }
}

// The preview window of a run asks through the main window: its save dialog
// suggests the row and the person, and its errors carry the application's
// title.
TEST(PrintRunGui, PreviewExportsAskThroughTheMainWindow)
{
    QTemporaryDir exports;
    Window w("three.xls", "9", "9");
    WriteProfileString(w.dir.filePath("vdmq.ini"), "vdmq", "ExportDir", exports.path());
    w.dialogs->saveAnswers << exports.filePath("missing/form.TXT");
    whilePreviewing(w, [&](TPreviewWindow* p) {
        if (w.dialogs->saves == 0)
            p->SaveButton->click();
        p->close();
    });
    w.form->PreviewButtonClick();
    RunToEnd(*w.form);
    EXPECT_EQ(w.dialogs->saves, 1);
    EXPECT_EQ(w.dialogs->saveSelected, exports.filePath(QString::fromUtf8("第9行_乙二.TXT")));
    ASSERT_EQ(w.dialogs->errors.size(), 1);
    EXPECT_TRUE(w.dialogs->errors[0].contains("missing")) << w.dialogs->errors[0].toStdString();
    EXPECT_TRUE(w.dialogs->messages.isEmpty());
}

namespace {

QStringList pdfJobs(const QString& dir)
{
    QStringList files = QDir(dir).entryList({"*.pdf"}, QDir::Files);
    // cups-pdf names its files after the job: "<title>-job_<id>.pdf".
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        auto id = [](const QString& f) { return f.section("job_", -1).section('.', 0, 0).toInt(); };
        return id(a) < id(b);
    });
    return files;
}

// How much a printed page inks, at a low resolution.
int ink(const QString& pdf)
{
    QTemporaryDir tmp;
    QProcess render;
    render.setStandardErrorFile(QProcess::nullDevice());
    render.start("pdftoppm", {"-gray", "-r", "50", "-f", "1", "-l", "1", pdf, tmp.filePath("p")});
    render.waitForFinished(60000);
    const QStringList out = QDir(tmp.path()).entryList({"p*"});
    if (out.isEmpty())
        return -1;
    const QImage img(tmp.filePath(out[0]));
    long long dark = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            dark += 255 - qGray(img.pixel(x, y));
    return int(dark / 100);
}

}  // namespace

TEST(PrintRunGui, PrintRunGivesThreeJobsInRowOrder)
{
    const QString outDir = QDir::homePath() + "/PDF";
    if (QProcess::execute("lpstat", {"-p", "PDF"}) != 0)
        GTEST_SKIP() << "no CUPS queue \"PDF\"; run scripts/start-cups as root first";
    qputenv("PRINTER", "PDF");  // the default printer for this process
    qr::InstallQuietPrintBackend();
    const QStringList before = pdfJobs(outDir);

    Window w("three.xls", "7", "11");
    w.form->PrintButtonClick();
    RunToEnd(*w.form);
    EXPECT_TRUE(w.dialogs->errors.isEmpty()) << w.dialogs->errors.join('\n').toStdString();
    EXPECT_EQ(w.form->CurRow, 11);

    QStringList mine;
    for (int i = 0; i < 150 && mine.size() < 3; ++i) {
        wait(200);
        mine.clear();
        for (const QString& f : pdfJobs(outDir))
            if (!before.contains(f) && f.startsWith("vdmq"))
                mine << f;
    }
    ASSERT_EQ(mine.size(), 3) << "cups-pdf wrote " << mine.join(' ').toStdString() << " in " << outDir.toStdString();
    wait(500);  // the last file complete
    // Row 7 carries a four-line opinion, row 9 one word, row 11 three lines.
    const int a = ink(outDir + '/' + mine[0]), b = ink(outDir + '/' + mine[1]), c = ink(outDir + '/' + mine[2]);
    std::printf("ink of the three jobs: %d %d %d\n", a, b, c);
    EXPECT_GT(a, c) << a << " " << b << " " << c;
    EXPECT_GT(c, b) << a << " " << b << " " << c;
    qr::SetPrintBackend(nullptr);
}

// A window's caption is drawn by the desktop in its title bar, beside the
// window's icon and its buttons, in a bold face: a progress window only as
// wide as its label showed "Printing progress" as "Printin... gress".
TEST(PrintRunGui, ProgressWindowsAreWideEnoughForTheirCaption)
{
    const auto needed = [](const QString& caption) {
        QFont bold = QApplication::font();
        bold.setBold(true);
        // Three title-bar buttons and the icon, about 30 pixels each.
        return QFontMetrics(bold).horizontalAdvance(caption) + 4 * 30;
    };
    // Window title -> width, of every progress window seen.
    std::vector<std::pair<QString, int>> seen;
    const auto measure = [&seen] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->isVisible())
                seen.emplace_back(d->windowTitle(), d->width());
    };
    // The print run's own window.
    RecordingBackend backend;
    backend.duringJob = measure;
    qr::SetPrintBackend(&backend);
    {
        Window w("three.xls", "7", "11");
        w.form->PrintButtonClick();
        RunToEnd(*w.form);
    }
    qr::SetPrintBackend(nullptr);
    ASSERT_FALSE(seen.empty());
    // The engine's, when a preview window prints or exports.
    qr::TQRQtPrintBackend engine(true);
    for (const char* caption : {"Printing progress", "Exporting Progress"})
        engine.WithProgress(QString::fromUtf8(caption), measure);
    ASSERT_GE(seen.size(), 3u);
    for (const auto& [caption, width] : seen)
        EXPECT_GE(width, needed(caption)) << caption.toStdString();
}
