// The main window without a display: entry fields, the digit filter, the
// settings it loads and saves, the help pane, the notes and the tab order.
#include "app/core/settings.h"
#include "app/ui/VdMainUnit.h"
#include "app/ui/VdRosterPane.h"
#include "mainwindow_access.h"
#include "platform/gbtext.h"
#include "platform/profile.h"
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

#include "clock_helpers.h"
#include "fake_dialogs.h"

using namespace vdmq;

namespace {


void pump(int ms = 0)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
}

void typeKey(QWidget* w, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &release);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Vdcs = TVdcs{};
        dialogs = std::make_shared<FakeDialogs>();
    }
    std::unique_ptr<TMainWindow> make()
    {
        auto w = std::make_unique<TMainWindow>(dir.path(), dialogs);
        w->QuitApplication = [this] { ++quits; };
        return w;
    }
    QString ini() const { return dir.filePath(QStringLiteral("vdmq.ini")); }
    // The key lines of the settings file, in file order.
    QStringList iniLines() const
    {
        QFile f(ini());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = f.readAll();
        QStringList out;
        for (const QString& line : fromGb(std::string_view(bytes.constData(), bytes.size())).split('\n')) {
            const QString l = line.trimmed();
            if (!l.isEmpty() && !l.startsWith('['))
                out << l;
        }
        return out;
    }
    QTemporaryDir dir;
    std::shared_ptr<FakeDialogs> dialogs;
    int quits = 0;
};

TEST_F(MainWindowTest, ControlsSitWhereTheLayoutPutsThem)
{
    auto w = make();
    struct Row {
        const char* name;
        QRect geometry;
        const char* text;
        const char* hint;
    };
    const Row rows[] = {
        {"edFile", {56, 40, 120, 23}, nullptr, nullptr},
        {"edArea", {217, 40, 133, 23}, nullptr, nullptr},
        {"edStart", {410, 40, 36, 23}, nullptr, "职务工资变动表除标题行外欲打印的开始行号，不小于7"},
        {"dtPrint", {56, 77, 120, 20}, nullptr, nullptr},
        {"edWidth", {254, 77, 48, 23}, nullptr, nullptr},
        {"edEnd", {409, 77, 38, 23}, nullptr, "职务工资变动表除标题行外欲打印的结束行号，不小于7"},
        {"btnClear", {474, 39, 46, 25}, "关闭", "清空上表显示以关闭调资表。"},
        {"btnRead", {474, 76, 46, 25}, "调阅", "从磁盘内调阅职务工资变动表花名册，仅显示，不提供保存功能。"},
        {"btnPre", {531, 39, 46, 25}, "预览", "逐张预览所选各行的审批表（回车键、Alt+V）"},
        {"btnPrn", {531, 76, 46, 25}, "打印", "把所选各行的审批表送往打印机（Ctrl+P、Alt+P）"},
        {"btnPaper", {591, 39, 46, 25}, "纸张", "纸张（B5 或 A4）、打印位置的偏移和校准页（Alt+Z）"},
        {"btnExit", {591, 77, 46, 24}, "退出", "保存填写的内容并退出（Alt+X）"},
        {"btnPdf", {565, 3, 72, 25}, "导出PDF", "把所选各行的审批表导出为一个 PDF 文件，每人一页（Alt+D）"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto* c = ui(*w).EntryPanel->findChild<QWidget*>(QString::fromUtf8(r.name));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->geometry(), r.geometry);
        EXPECT_EQ(c->toolTip(), r.hint ? QString::fromUtf8(r.hint) : QString());
        if (auto* b = qobject_cast<QPushButton*>(c)) {
            // The caption fits its button.
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 6, b->width());
        }
        if (r.text) {
            EXPECT_EQ(qobject_cast<QPushButton*>(c)->text(), QString::fromUtf8(r.text));
        }
    }
    struct LabelRow {
        QPoint at;
        const char* text;
        int fieldLeft;
    };
    const LabelRow labels[] = {
        {{28, 40}, "文件\n依据", 56}, {{189, 40}, "制表\n机构", 217},           {{365, 40}, "开始打\n印行号", 410},
        {{28, 77}, "打印\n日期", 56}, {{189, 77}, "申报意见栏\n每行宽度", 254}, {{366, 77}, "结束打\n印行号", 409},
    };
    for (const LabelRow& l : labels) {
        SCOPED_TRACE(l.text);
        auto* label = qobject_cast<QLabel*>(ui(*w).EntryPanel->childAt(l.at + QPoint(1, 1)));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromUtf8(l.text));
        EXPECT_EQ(label->pos(), l.at);
        // Both lines fit before the field beside the label.
        EXPECT_LT(label->geometry().right(), l.fieldLeft);
    }
    EXPECT_EQ(ui(*w).EntryPanel->width(), 656);
    EXPECT_EQ(ui(*w).BottomPanel->height(), 118);
    EXPECT_EQ(ui(*w).NoticeBar->text(), QStringLiteral("☆☆☆注意：如果上表有数据修改，请务必按 Ctrl+S 保存数据！☆☆☆"));
    EXPECT_EQ(ui(*w).HelpButton->text(), QStringLiteral("在线帮助"));
    EXPECT_EQ(ui(*w).HelpButton->parentWidget(), ui(*w).NoticeBar);
    EXPECT_EQ(w->RosterDialog.Title, QStringLiteral("打开职务变动工资调整花名册"));
    // The design font resolves to the CJK sans face.
    EXPECT_EQ(QFontInfo(ui(*w).DocNoEdit->font()).family(), QStringLiteral("Noto Sans CJK SC"));
}

TEST_F(MainWindowTest, DigitFilterPassesOnlyDigitsAndBackspace)
{
    auto w = make();
    struct Key {
        int key;
        const char* text;
        bool passes;
    };
    const Key keys[] = {
        {Qt::Key_5, "5", true},
        {Qt::Key_0, "0", true},
        {Qt::Key_A, "a", false},
        {Qt::Key_Minus, "-", false},
        {Qt::Key_Period, ".", false},
        {Qt::Key_Space, " ", false},
        {Qt::Key_Plus, "+", false},
        {0, "１", false},
        {0, "七", false},
        {Qt::Key_Backspace, "\b", true},
    };
    for (QLineEdit* ed : {ui(*w).StartRowEdit, ui(*w).EndRowEdit, ui(*w).OpinionWidthEdit}) {
        for (const Key& k : keys) {
            SCOPED_TRACE(ed->objectName().toStdString() + " " + k.text);
            ed->setText(QStringLiteral("80"));
            ed->setCursorPosition(2);
            typeKey(ed, k.key, QString::fromUtf8(k.text));
            const QString expected = !k.passes                    ? QStringLiteral("80")
                                     : k.key == Qt::Key_Backspace ? QStringLiteral("8")
                                                                  : QStringLiteral("80") + k.text;
            EXPECT_EQ(ed->text(), expected);
            EXPECT_EQ(TMainWindow::IsDigitKey(QString::fromUtf8(k.text).at(0)), k.passes);
        }
    }
    // Text entered through an input method is held to the same rule.
    ui(*w).OpinionWidthEdit->setText(QStringLiteral("80"));
    ui(*w).OpinionWidthEdit->setCursorPosition(2);
    QInputMethodEvent im;
    im.setCommitString(QStringLiteral("七十"));
    QApplication::sendEvent(ui(*w).OpinionWidthEdit, &im);
    EXPECT_EQ(ui(*w).OpinionWidthEdit->text(), QStringLiteral("80"));
    // Other fields take anything.
    ui(*w).DocNoEdit->clear();
    typeKey(ui(*w).DocNoEdit, Qt::Key_A, QStringLiteral("a"));
    EXPECT_EQ(ui(*w).DocNoEdit->text(), QStringLiteral("a"));
}

TEST_F(MainWindowTest, PasteKeysAreFilteredTheContextMenuIsNot)
{
    auto w = make();
    struct Case {
        const char* clip;
        int key;
        Qt::KeyboardModifiers mods;
        const char* result;
    };
    const Case cases[] = {
        {"-3x", 0, Qt::NoModifier, "8-3x"},  // the context menu's Paste
        {"-3x", Qt::Key_V, Qt::ControlModifier, "8"},
        {"-3x", Qt::Key_Insert, Qt::ShiftModifier, "8"},
        {"12\n", Qt::Key_V, Qt::ControlModifier, "812"},  // a cell copied from a sheet
        {"１２", Qt::Key_V, Qt::ControlModifier, "8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.clip) + " " + std::to_string(c.key));
        QApplication::clipboard()->setText(QString::fromUtf8(c.clip));
        if (QApplication::clipboard()->text() != QString::fromUtf8(c.clip))
            GTEST_SKIP() << "no clipboard on this platform";
        ui(*w).OpinionWidthEdit->setText(QStringLiteral("8"));
        ui(*w).OpinionWidthEdit->setCursorPosition(1);
        if (c.key == 0)
            ui(*w).OpinionWidthEdit->paste();
        else
            typeKey(ui(*w).OpinionWidthEdit, c.key, c.key == Qt::Key_V ? QStringLiteral("\x16") : QString(), c.mods);
        EXPECT_EQ(ui(*w).OpinionWidthEdit->text(), QString::fromUtf8(c.result));
    }
    // Copying out of the field still works.
    ui(*w).StartRowEdit->setText(QStringLiteral("15"));
    ui(*w).StartRowEdit->selectAll();
    typeKey(ui(*w).StartRowEdit, Qt::Key_C, QStringLiteral("\x03"), Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("15"));
}

TEST_F(MainWindowTest, FirstStartShowsDefaultsAndAsksForARosterOnce)
{
    testclock::ScopedClock clock(QDateTime(QDate(2026, 12, 9), QTime(7, 30)));
    auto w = make();
    EXPECT_EQ(ui(*w).DocNoEdit->text(), QStringLiteral("澜人发(2007)71号"));
    EXPECT_EQ(ui(*w).IssuedByEdit->text(), QStringLiteral("澜坪市人事局工资处制"));
    EXPECT_EQ(ui(*w).PrintDateEdit->date(), QDate(2026, 12, 9));
    EXPECT_EQ(ui(*w).StartRowEdit->text(), QStringLiteral("7"));
    EXPECT_EQ(ui(*w).EndRowEdit->text(), QStringLiteral("7"));
    EXPECT_EQ(ui(*w).OpinionWidthEdit->text(), QStringLiteral("78"));
    EXPECT_EQ(dialogs->opens, 0);  // nothing asked before the window is up

    w->show();
    pump();
    EXPECT_EQ(w->windowTitle(), TMainWindow::WindowCaption());
    EXPECT_EQ(dialogs->opens, 1);
    EXPECT_EQ(dialogs->title, QStringLiteral("打开职务变动工资调整花名册"));
    EXPECT_EQ(dialogs->dir, QDir::toNativeSeparators(dir.path()));
    EXPECT_TRUE(Vdcs.RosterPath.empty());
    EXPECT_TRUE(ui(*w).RosterPane->IsBlank());
    EXPECT_TRUE(ui(*w).RosterPane->Message().contains(QStringLiteral("调阅")));
    EXPECT_TRUE(dialogs->errors.isEmpty());
    EXPECT_FALSE(QFile::exists(ini()));  // a cancel records nothing
}

TEST_F(MainWindowTest, ExitWritesTheSixKeysInOrder)
{
    auto w = make();
    ui(*w).DocNoEdit->setText(QStringLiteral("澜人发(2024)5号"));
    ui(*w).IssuedByEdit->setText(QStringLiteral("某某局"));
    ui(*w).PrintDateEdit->setDate(QDate(2024, 3, 9));
    ui(*w).StartRowEdit->setText(QStringLiteral("9"));
    ui(*w).EndRowEdit->clear();
    ui(*w).OpinionWidthEdit->setText(QStringLiteral("x1"));  // written as it stands
    w->ExitButtonClick();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(dialogs->errors.isEmpty());
    const QStringList lines = iniLines();
    QStringList keys;
    for (const QString& l : lines)
        keys << l.section('=', 0, 0);
    EXPECT_EQ(keys, (QStringList{"File", "Area", "Date", "Start", "End", "yjkd"}));
    EXPECT_TRUE(lines.contains(QStringLiteral("File=澜人发(2024)5号")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Area=某某局")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Start=9")));
    EXPECT_TRUE(lines.contains(QStringLiteral("End=")));
    EXPECT_TRUE(lines.contains(QStringLiteral("yjkd=x1")));

    // The next start reads them back; the empty end row falls back to 7.
    w.reset();
    auto again = make();
    EXPECT_EQ(ui(*again).DocNoEdit->text(), QStringLiteral("澜人发(2024)5号"));
    EXPECT_EQ(ui(*again).PrintDateEdit->date(), QDate(2024, 3, 9));
    EXPECT_EQ(ui(*again).StartRowEdit->text(), QStringLiteral("9"));
    EXPECT_EQ(ui(*again).EndRowEdit->text(), QStringLiteral("7"));
}

TEST_F(MainWindowTest, RefusedWriteKeepsTheProgramOpen)
{
    struct Case {
        const char* what;
        bool readOnlyFolder;
    };
    const Case cases[] = {{"a folder in the file's place", false}, {"a read-only settings folder", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir settings;
        if (c.readOnlyFolder) {
            QFile ini(QDir(settings.path()).filePath(QStringLiteral("vdmq.ini")));
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write("[xtcs]\r\nStart=9\r\n");
            ini.close();
            QFile::setPermissions(settings.path(), QFile::ReadOwner | QFile::ExeOwner);
            if (QFileInfo(settings.path()).isWritable()) {
                QFile::setPermissions(settings.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                std::printf("skipped \"%s\": the folder stays writable for this user (root)\n", c.what);
                continue;
            }
        } else {
            ASSERT_TRUE(QDir(settings.path()).mkdir(QStringLiteral("vdmq.ini")));
        }
        dialogs = std::make_shared<FakeDialogs>();
        TMainWindow w(settings.path(), dialogs);
        w.QuitApplication = [this] { ++quits; };
        w.show();
        pump();
        ui(w).ExitButton->click();
        QFile::setPermissions(settings.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(quits, 0);
        EXPECT_TRUE(w.isVisible());
        ASSERT_EQ(dialogs->errors.size(), 1);
        const QString& error = dialogs->errors[0];
        EXPECT_TRUE(error.startsWith(QStringLiteral("Unable to write to ") +
                                     QDir::toNativeSeparators(QDir(settings.path()).filePath("vdmq.ini"))))
            << error.toStdString();
        // And in Chinese: nothing saved, and what closing the window does.
        EXPECT_TRUE(error.contains(QStringLiteral("填写的内容没有保存"))) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("关闭窗口时选“不保存”")));
    }
}

// A vdmq.ini over 1 MB is not a settings file: the window shows the
// defaults and says which file it left alone, and leaves it alone.
TEST_F(MainWindowTest, TooLargeSettingsFileShowsTheDefaultsAndSaysSo)
{
    {
        QFile f(ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2 << 20, '\n') + "[xtcs]\r\nStart=9\r\n");
    }
    auto w = make();
    EXPECT_EQ(ui(*w).StartRowEdit->text(), QStringLiteral("7"));
    EXPECT_EQ(ui(*w).OpinionWidthEdit->text(), QStringLiteral("78"));
    EXPECT_EQ(ui(*w).DocNoEdit->text(), QStringLiteral("澜人发(2007)71号"));
    ASSERT_EQ(dialogs->errors.size(), 1);
    EXPECT_TRUE(dialogs->errors[0].contains(QStringLiteral("太大"))) << dialogs->errors[0].toStdString();
    EXPECT_TRUE(dialogs->errors[0].contains(ini())) << dialogs->errors[0].toStdString();
    EXPECT_EQ(QFileInfo(ini()).size(), (2 << 20) + 17);
}

// Closing with × dropped typed entries without a word.  Only 退出 saves;
// × after a change asks 保存 / 不保存 / 取消, and without a change says
// nothing.
TEST_F(MainWindowTest, ClosingAfterAChangeAsksWhetherToSave)
{
    const QString saved = QStringLiteral("[xtcs]\r\nFile=old\r\nStart=9\r\n");
    struct Case {
        const char* what;
        std::function<void(TMainWindow&)> change;
        std::vector<int> choices;  // none: the box closed without a button
        bool asked, closed;
        const char* file;  // "File" afterwards
    } cases[] = {
        {"nothing changed", [](TMainWindow&) {}, {}, false, true, "old"},
        {"changed and changed back",
         [](TMainWindow& w) {
             ui(w).DocNoEdit->setText(QStringLiteral("new"));
             ui(w).DocNoEdit->setText(QStringLiteral("old"));
         },
         {},
         false,
         true,
         "old"},
        {"保存", [](TMainWindow& w) { ui(w).DocNoEdit->setText(QStringLiteral("new")); }, {0}, true, true, "new"},
        {"不保存", [](TMainWindow& w) { ui(w).DocNoEdit->setText(QStringLiteral("new")); }, {1}, true, true, "old"},
        {"取消", [](TMainWindow& w) { ui(w).DocNoEdit->setText(QStringLiteral("new")); }, {2}, true, false, "old"},
        {"box closed",
         [](TMainWindow& w) { ui(w).StartRowEdit->setText(QStringLiteral("10")); },
         {},
         true,
         false,
         "old"},
        {"date changed, 保存",
         [](TMainWindow& w) { ui(w).PrintDateEdit->setDate(ui(w).PrintDateEdit->date().addDays(1)); },
         {0},
         true,
         true,
         "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            QFile f(ini());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(saved.toUtf8());
        }
        dialogs = std::make_shared<FakeDialogs>();
        dialogs->choices = c.choices;
        auto w = make();
        w->show();
        pump();
        c.change(*w);
        EXPECT_EQ(w->close(), c.closed);
        ASSERT_EQ(dialogs->questions.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            const FakeDialogs::Question& q = dialogs->questions[0];
            EXPECT_EQ(q.title, TMainWindow::ApplicationTitle());
            EXPECT_EQ(q.buttons, (QStringList{"保存", "不保存", "取消"}));
            EXPECT_EQ(q.defaultButton, 0);
            EXPECT_TRUE(q.text.contains(QStringLiteral("要保存吗"))) << q.text.toStdString();
        }
        EXPECT_EQ(ReadProfileString(ini(), "xtcs", "File", ""), c.file);
        EXPECT_EQ(quits, 0);
        EXPECT_TRUE(dialogs->errors.isEmpty());
    }
}

// Two windows on one vdmq.ini: what the first one saved is not put back by
// the second one's 退出, which writes only the entries it changed.
TEST_F(MainWindowTest, SecondInstanceKeepsTheFirstOnesSettings)
{
    {
        QFile f(ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[xtcs]\r\nFile=old\r\nArea=old\r\nStart=9\r\nEnd=9\r\nyjkd=78\r\nDate=2024/3/9\r\n");
    }
    auto first = make();
    auto second = make();
    ui(*first).DocNoEdit->setText(QStringLiteral("first"));
    first->ExitButtonClick();
    WriteProfileString(ini(), "vdmq", "Paper", "A4");  // as the first one's 纸张 writes it
    ui(*second).StartRowEdit->setText(QStringLiteral("12"));
    second->ExitButtonClick();
    EXPECT_EQ(quits, 2);
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "File", ""), "first");
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "Start", ""), "12");
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "Area", ""), "old");
    EXPECT_EQ(ReadProfileString(ini(), "vdmq", "Paper", ""), "A4");
    EXPECT_TRUE(dialogs->errors.isEmpty());
}

// The help opens readable (a dozen lines and more, not three), says where
// the settings file is, and a second press hides it again.
TEST_F(MainWindowTest, HelpButtonTogglesThePane)
{
    auto w = make();
    w->resize(817, 604);  // the window's design size, the smallest it is shown at
    w->show();
    pump();
    EXPECT_EQ(w->HelpPaneHeight(), 0);
    EXPECT_EQ(ui(*w).HelpPane->height(), 0);
    EXPECT_EQ(ui(*w).HelpPane->source(), QUrl(TMainWindow::HelpPageUrl()));
    EXPECT_TRUE(ui(*w).HelpPane->toPlainText().contains(QStringLiteral("工资变动审批表打印")));
    const QString settings = QDir::toNativeSeparators(QDir(dir.path()).filePath("vdmq.ini"));
    EXPECT_TRUE(ui(*w).HelpPane->toPlainText().contains(settings)) << ui(*w).HelpPane->toPlainText().toStdString();

    const bool before = ui(*w).HelpPane->isVisible();
    const int lines = QFontMetrics(ui(*w).HelpPane->font()).lineSpacing();
    for (bool shown : {!before, before}) {
        ui(*w).HelpButton->click();
        pump();
        EXPECT_EQ(ui(*w).HelpPane->isVisible(), shown);
        if (shown) {
            EXPECT_GE(ui(*w).HelpPane->viewport()->height(), 12 * lines);
            EXPECT_EQ(ui(*w).HelpPane->height(), w->HelpPaneHeight());
            // The roster keeps some rows above it.
            EXPECT_GE(ui(*w).RosterPane->height(), 4 * lines);
        } else {
            EXPECT_EQ(w->HelpPaneHeight(), 0);
        }
    }
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

TEST_F(MainWindowTest, HelpLinksStayInThePaneExceptExternalOnes)
{
    auto w = make();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    ui(*w).HelpPane->setHtml(QStringLiteral("x"));
    ui(*w).HelpPane->setSource(QUrl(TMainWindow::HelpPageUrl()));
    emit ui(*w).HelpPane->anchorClicked(QUrl(QStringLiteral("https://example.org/a")));
    emit ui(*w).HelpPane->anchorClicked(QUrl(QStringLiteral("mailto:someone@example.org")));
    EXPECT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(ui(*w).HelpPane->source(), QUrl(TMainWindow::HelpPageUrl()));
    emit ui(*w).HelpPane->anchorClicked(QUrl(QStringLiteral("#top")));
    EXPECT_EQ(ui(*w).HelpPane->source().path(), QUrl(TMainWindow::HelpPageUrl()).path());
    EXPECT_EQ(catcher.urls.size(), 2);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
}

TEST_F(MainWindowTest, UsageNotesInUtf8OrGb18030)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        bool shown;
    };
    const QString text = QStringLiteral("使用说明：先调阅花名册。");
    const Case cases[] = {
        {"none", QByteArray(), false},
        {"utf8", text.toUtf8(), true},
        {"utf8 bom", QByteArray("\xEF\xBB\xBF") + text.toUtf8(), true},
        {"gb18030", QByteArray::fromStdString(toGb(text)), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir d;
        if (c.shown) {
            QFile f(QDir(d.path()).filePath(TMainWindow::NotesFileName()));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.bytes);
        }
        Vdcs = TVdcs{};
        TMainWindow w(d.path(), dialogs);
        w.show();
        pump();
        EXPECT_EQ(ui(w).NotesPane->isVisible(), c.shown);
        if (c.shown) {
            EXPECT_EQ(ui(w).NotesPane->toPlainText(), text);
        }
    }
}

// Tab follows the window's reading order: the rows of fields and buttons
// from the left, then the notice bar above them, and round again.  The
// order expected is read from where the controls stand.
TEST_F(MainWindowTest, TabFollowsTheReadingOrder)
{
    auto w = make();
    w->show();
    w->activateWindow();
    pump();
    ui(*w).DocNoEdit->setFocus();
    pump();
    if (QApplication::focusWidget() != ui(*w).DocNoEdit)
        GTEST_SKIP() << "the platform gives no keyboard focus";
    struct Place {
        int row, x;
        QString name;
        bool operator<(const Place& o) const { return std::tie(row, x) < std::tie(o.row, o.x); }
    };
    std::vector<Place> places;
    for (QWidget* c : ui(*w).EntryPanel->findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QLineEdit*>(c) || qobject_cast<QAbstractButton*>(c) || qobject_cast<QDateEdit*>(c);
        if (!control || !c->isVisible() || !(c->focusPolicy() & Qt::TabFocus) || qobject_cast<QDateEdit*>(c->parent()))
            continue;
        const QPoint at = c->mapTo(ui(*w).EntryPanel, QPoint(0, 0));
        places.push_back({(at.y() + c->height() / 2) / 37, at.x(), c->objectName()});  // bar, first row, second row
    }
    std::sort(places.begin(), places.end());
    QStringList expected;
    for (const Place& p : places)
        expected << p.name;
    ASSERT_EQ(expected.size(), 14) << expected.join(' ').toStdString();
    // From the first field round to it again.
    while (expected.front() != "edFile")
        expected.push_back(expected.takeFirst());
    expected.push_back(expected.takeFirst());
    QStringList got;
    for (int i = 0; i < expected.size(); ++i) {
        typeKey(QApplication::focusWidget(), Qt::Key_Tab, QStringLiteral("\t"));
        QWidget* f = QApplication::focusWidget();
        // The date picker's inner editor stands for the picker.
        while (f && f->parentWidget() != ui(*w).EntryPanel && f->parentWidget() != ui(*w).NoticeBar)
            f = f->parentWidget();
        got << (f ? f->objectName() : QStringLiteral("(none)"));
    }
    EXPECT_EQ(got.join(' ').toStdString(), expected.join(' ').toStdString());
}

TEST_F(MainWindowTest, RunButtonsCanBeBlocked)
{
    auto w = make();
    w->SetRunButtonsEnabled(false);
    EXPECT_FALSE(ui(*w).PrintButton->isEnabled() || ui(*w).PaperButton->isEnabled() || ui(*w).ReadButton->isEnabled() ||
                 ui(*w).ClearButton->isEnabled());
    EXPECT_TRUE(ui(*w).ExitButton->isEnabled());
    w->SetRunButtonsEnabled(true);
    EXPECT_TRUE(ui(*w).PrintButton->isEnabled() && ui(*w).PaperButton->isEnabled() && ui(*w).ReadButton->isEnabled() &&
                ui(*w).ClearButton->isEnabled());
}

}  // namespace

#include "test_mainwindow.moc"
