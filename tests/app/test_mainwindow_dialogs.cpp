// The main window's dialogs and keys: where the roster dialog starts and
// which files it lists, the error box's title, the window captions as an
// X11 desktop shows them, and the keys a user tries.
#include "app/ui/VdApplication.h"
#include "app/ui/VdMainUnit.h"
#include "mainwindow_access.h"
#include "platform/gbtext.h"
#include "preview/TzPreview.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

#include "fake_dialogs.h"

using namespace vdmq;

// Qt's own entry to the shortcut map, which its test library uses too.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace {

void pump()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// HOME pointed at a folder of the test's own for the life of the object.
struct FakeHome {
    QTemporaryDir dir;
    QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    FakeHome()
    {
        qputenv("HOME", dir.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
    }
    ~FakeHome()
    {
        qputenv("HOME", oldHome);
        if (!oldConfig.isEmpty())
            qputenv("XDG_CONFIG_HOME", oldConfig);
    }
    QString path(const QString& sub = {}) const { return sub.isEmpty() ? dir.path() : dir.filePath(sub); }
};

}  // namespace

TEST(MainWindowDialogs, RosterDialogStartsWhereTheRostersAre)
{
    FakeHome home;
    QTemporaryDir portable, rosters;
    struct Case {
        const char* what;
        QString appDir;
        QString roster;
        bool documents;
        QString expected;
    };
    const Case cases[] = {
        {"the recorded roster's folder", portable.path(), rosters.filePath("r.xls"), true, rosters.path()},
        {"roster folder gone: the program's own", portable.path(), home.path("gone/r.xls"), true, portable.path()},
        {"installed: documents", "/usr/bin", QString(), true, home.path("Documents")},
        {"installed, no documents: home", "/usr/bin", QString(), false, home.path()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(home.path()).mkpath("Documents");
        if (!c.documents)
            QDir(home.path("Documents")).removeRecursively();
        Vdcs = TVdcs{};
        auto dialogs = std::make_shared<FakeDialogs>();
        TMainWindow w(c.appDir, dialogs);
        Vdcs.RosterPath = toGb(c.roster);
        ui(w).ReadButton->click();
        ASSERT_EQ(dialogs->opens, 1);
        EXPECT_EQ(dialogs->dir, QDir::toNativeSeparators(c.expected));
    }
}

TEST(MainWindowDialogs, FirstFilterListsEveryRosterInAnyLetterCase)
{
    QTemporaryDir folder;
    const QStringList rosters = {"a.XLS", "b.Xlsx", "c.et", "d.xls", "E.ET"};  // in sorted order
    const QStringList others = {"e.txt", "f.xlsm", "g.xls.bak"};
    for (const QString& name : rosters + others) {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    Vdcs = TVdcs{};
    TMainWindow w(folder.path(), std::make_shared<FakeDialogs>());
    QFileDialog dialog;
    ConfigureFileDialog(dialog, true, folder.path(), w.RosterDialog.Filters, QString());
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("花名册(xls、xlsx、et)"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("excel文件(xls)"));
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QModelIndex root = model->index(folder.path());
    QStringList listed;
    // The folder is read by a thread of the model's: wait for it, up to 10 s.
    QElapsedTimer clock;
    clock.start();
    while (listed.size() < rosters.size() && clock.elapsed() < 10000) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
        listed.clear();
        for (int r = 0; r < model->rowCount(root); ++r) {
            const QModelIndex index = model->index(r, 0, root);
            if (model->flags(index) & Qt::ItemIsEnabled)
                listed << model->fileName(index);
        }
    }
    listed.sort(Qt::CaseInsensitive);
    EXPECT_EQ(listed.join(' ').toStdString(), rosters.join(' ').toStdString());
}

TEST(MainWindowDialogs, ErrorBoxCarriesTheApplicationTitle)
{
    SetUpApplication();
    QString title;
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                title = box->windowTitle();
                box->close();
            }
    });
    TQtDialogs().Error(nullptr, QStringLiteral("'x' is not a valid integer value"));
    EXPECT_EQ(title, TMainWindow::ApplicationTitle());
}

// In the process the test below starts on an X server (VDMQ_CAPTION_PROBE
// set): prints the captions as the window manager sees them, and ends the
// process before any test runs.
class CaptionProbe : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariable("VDMQ_CAPTION_PROBE") != QLatin1String("1"))
            return;
        SetUpApplication();
        QTemporaryDir dir;
        Vdcs = TVdcs{};
        TMainWindow main(dir.path(), std::make_shared<FakeDialogs>());
        main.setWindowTitle(TMainWindow::WindowCaption());
        TPreviewWindow preview;
        main.show();
        preview.show();
        pump();
        for (QWidget* w : {static_cast<QWidget*>(&main), static_cast<QWidget*>(&preview)}) {
            QProcess xdotool;
            xdotool.start("xdotool", {"getwindowname", QString::number(w->winId())});
            xdotool.waitForFinished(10000);
            std::printf("caption: %s\n", xdotool.readAllStandardOutput().trimmed().constData());
        }
        std::fflush(stdout);
        std::_Exit(0);
    }
};
const auto* const captionProbe = ::testing::AddGlobalTestEnvironment(new CaptionProbe);

TEST(MainWindowDialogs, CaptionsOnX11AreExact)
{
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "needs xvfb-run and xdotool (scripts/setup)";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VDMQ_CAPTION_PROBE", "1");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("LD_PRELOAD");  // no faked clock for the X server
    child.setProcessEnvironment(env);
    child.start("xvfb-run", {"-a", QCoreApplication::applicationFilePath()});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    QStringList captions;
    for (const QString& line : out.split('\n'))
        if (line.startsWith("caption: "))
            captions << line.mid(9);
    EXPECT_EQ(captions.join(" | ").toStdString(),
              (TMainWindow::WindowCaption() + QStringLiteral(" | 打印预览...")).toStdString())
        << out.toStdString() << child.readAllStandardError().toStdString();
}

TEST(MainWindowDialogs, KeysAUserTries)
{
    QTemporaryDir dir;
    Vdcs = TVdcs{};
    auto dialogs = std::make_shared<FakeDialogs>();
    TMainWindow w(dir.path(), dialogs);
    w.QuitApplication = [] {};
    w.show();
    pump();
    std::map<QString, int> clicks;
    for (QPushButton* b : {ui(w).PreviewButton, ui(w).PrintButton, ui(w).PdfButton, ui(w).PaperButton, ui(w).ExitButton,
                           ui(w).ReadButton, ui(w).ClearButton, ui(w).HelpButton})
        QObject::connect(b, &QPushButton::clicked, [&clicks, b] { ++clicks[b->objectName()]; });
    // 纸张 opens its dialog modally: closed again as soon as it shows.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(20);
    struct Case {
        QWidget* target;
        int key;
        Qt::KeyboardModifiers mods;
        const char* button;
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier, alt = Qt::AltModifier;
    const Case cases[] = {
        {ui(w).DocNoEdit, Qt::Key_Return, none, "btnPre"},
        {ui(w).IssuedByEdit, Qt::Key_Enter, none, "btnPre"},
        {ui(w).StartRowEdit, Qt::Key_Return, none, "btnPre"},
        {ui(w).EndRowEdit, Qt::Key_Return, none, "btnPre"},
        {ui(w).OpinionWidthEdit, Qt::Key_Return, none, "btnPre"},
        {ui(w).PrintDateEdit, Qt::Key_Return, none, "btnPre"},
        {ui(w).DocNoEdit, Qt::Key_P, ctrl, "btnPrn"},
        {ui(w).StartRowEdit, Qt::Key_P, alt, "btnPrn"},
        {ui(w).DocNoEdit, Qt::Key_V, alt, "btnPre"},
        {ui(w).DocNoEdit, Qt::Key_D, alt, "btnPdf"},
        {ui(w).DocNoEdit, Qt::Key_X, alt, "btnExit"},
        {ui(w).DocNoEdit, Qt::Key_O, alt, "btnRead"},
        {ui(w).DocNoEdit, Qt::Key_C, alt, "btnClear"},
        {ui(w).DocNoEdit, Qt::Key_F1, none, "btnHelp"},
        {ui(w).EndRowEdit, Qt::Key_Z, alt, "btnPaper"},
    };
    for (const Case& c : cases) {
        const std::string what =
            c.target->objectName().toStdString() + " " + QKeySequence(c.key | c.mods).toString().toStdString();
        clicks.clear();
        const QString text = c.key == Qt::Key_Return || c.key == Qt::Key_Enter ? QStringLiteral("\r") : QString();
        if (!qt_sendShortcutOverrideEvent(c.target, 0, c.key, c.mods, text, false, 1)) {
            QKeyEvent press(QEvent::KeyPress, c.key, c.mods, text);
            QApplication::sendEvent(c.target, &press);
        }
        pump();
        EXPECT_EQ(clicks.size(), 1u) << what;
        EXPECT_EQ(clicks[QString::fromUtf8(c.button)], 1) << what;
    }
}
