// The roster pane of the main window: showing the recorded roster, asking
// for a new one when it has gone, blanking, following the file on disk, and
// a large sheet.
#include "app/core/settings.h"
#include "app/ui/VdMainUnit.h"
#include "app/ui/VdRosterPane.h"
#include "mainwindow_access.h"
#include "platform/gbtext.h"
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "fake_dialogs.h"
#include <functional>

using namespace vdmq;

namespace {

const QString kData = QStringLiteral(VDMQ_TESTDATA "/roster/");


bool waitFor(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return done();
}

class RosterPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Vdcs = TVdcs{};
        dialogs = std::make_shared<FakeDialogs>();
    }
    QString copy(const QString& fixture, const QString& name)
    {
        QString to = dir.filePath(name);
        QFile::remove(to);
        EXPECT_TRUE(QFile::copy(kData + fixture, to)) << fixture.toStdString();
        return to;
    }
    void recordRoster(const QString& path)
    {
        QFile f(dir.filePath(QStringLiteral("vdmq.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(toGb(QStringLiteral("[xtcs]\r\nexcelFileName=%1\r\n").arg(path))));
    }
    std::unique_ptr<TMainWindow> start()
    {
        auto w = std::make_unique<TMainWindow>(dir.path(), dialogs);
        w->QuitApplication = [] {};
        w->resize(900, 600);
        w->show();
        QCoreApplication::processEvents();
        return w;
    }
    QString cell(TMainWindow& w, int row, int col, int role = Qt::DisplayRole)
    {
        return ui(w).RosterPane->Model()->index(row - 1, col - 1).data(role).toString();
    }
    QTemporaryDir dir;
    std::shared_ptr<FakeDialogs> dialogs;
};

TEST_F(RosterPaneTest, ShowsTheRecordedRosterAsASheet)
{
    recordRoster(copy(QStringLiteral("roster.xls"), QStringLiteral("花名册.xls")));
    auto w = start();
    EXPECT_EQ(dialogs->opens, 0);
    ASSERT_TRUE(ui(*w).RosterPane->Loaded()) << ui(*w).RosterPane->Message().toStdString();
    TRosterModel* m = ui(*w).RosterPane->Model();
    EXPECT_EQ(m->rowCount(), 51);
    EXPECT_EQ(m->columnCount(), 32);
    EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("A"));
    EXPECT_EQ(m->headerData(27, Qt::Horizontal).toString(), QStringLiteral("AB"));
    EXPECT_EQ(m->headerData(6, Qt::Vertical).toString(), QStringLiteral("7"));
    // The title spans A1:AB1; the heads of rows 4-5 are merged downwards.
    EXPECT_EQ(ui(*w).RosterPane->View()->columnSpan(0, 0), 28);
    EXPECT_EQ(ui(*w).RosterPane->View()->rowSpan(3, 1), 2);
    EXPECT_EQ(cell(*w, 1, 1), QStringLiteral("国家机关事业单位工作人员工资变动花名册"));
    EXPECT_EQ(cell(*w, 7, 2), QStringLiteral("王伟"));
    EXPECT_EQ(cell(*w, 7, 4), QStringLiteral("196001"));
    const auto align = [&](int r, int c) {
        return Qt::Alignment(m->index(r - 1, c - 1).data(Qt::TextAlignmentRole).toInt()) & Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(align(7, 4), Qt::AlignRight);  // a number
    EXPECT_EQ(align(7, 2), Qt::AlignLeft);   // text

    struct Flag {
        int row;
        bool flagged;
    };
    const Flag flags[] = {{6, false},  {7, true},   {8, false},  {10, true},
                          {11, false}, {12, false}, {14, false}, {15, true}};
    for (const Flag& f : flags) {
        SCOPED_TRACE(f.row);
        EXPECT_EQ(m->Flagged(f.row), f.flagged);
        EXPECT_EQ(m->index(f.row - 1, 1).data(Qt::BackgroundRole).isValid(), f.flagged);
    }
}

TEST_F(RosterPaneTest, DeletedRosterAsksOnceAndShowsTheNewChoice)
{
    const QString gone = copy(QStringLiteral("roster.xls"), QStringLiteral("gone.xls"));
    recordRoster(gone);
    QFile::remove(gone);
    const QString fresh = copy(QStringLiteral("basic.xls"), QStringLiteral("fresh.xls"));
    dialogs->answers << fresh;
    auto w = start();
    EXPECT_EQ(dialogs->opens, 1);
    EXPECT_EQ(fromGb(Vdcs.RosterPath), fresh);
    EXPECT_EQ(ui(*w).RosterPane->LocationURL(), fresh);
    EXPECT_TRUE(ui(*w).RosterPane->Loaded());

    // The choice is on disk: the next start shows it without asking.
    w.reset();
    Vdcs = TVdcs{};
    auto again = start();
    EXPECT_EQ(dialogs->opens, 1);
    EXPECT_EQ(ui(*again).RosterPane->LocationURL(), fresh);
}

TEST_F(RosterPaneTest, CancelKeepsTheRecordedRoster)
{
    const QString gone = dir.filePath(QStringLiteral("gone.xls"));
    recordRoster(gone);
    auto w = start();
    EXPECT_EQ(dialogs->opens, 1);
    EXPECT_EQ(fromGb(Vdcs.RosterPath), gone);
    // The pane says why it is empty instead of showing nothing.
    EXPECT_FALSE(ui(*w).RosterPane->Loaded());
    EXPECT_TRUE(ui(*w).RosterPane->Message().contains(QStringLiteral("gone.xls")));

    // "调阅" cancelled later brings the shown roster back.
    const QString shown = copy(QStringLiteral("roster.xls"), QStringLiteral("shown.xls"));
    dialogs->answers << shown;
    ui(*w).ReadButton->click();
    ASSERT_TRUE(ui(*w).RosterPane->Loaded());
    ui(*w).ReadButton->click();
    EXPECT_EQ(dialogs->opens, 3);
    EXPECT_EQ(fromGb(Vdcs.RosterPath), shown);
    EXPECT_TRUE(ui(*w).RosterPane->Loaded());
}

TEST_F(RosterPaneTest, ClearBlanksThePane)
{
    recordRoster(copy(QStringLiteral("roster.xls"), QStringLiteral("r.xls")));
    auto w = start();
    ASSERT_TRUE(ui(*w).RosterPane->Loaded());
    ui(*w).ClearButton->click();
    EXPECT_TRUE(ui(*w).RosterPane->IsBlank());
    EXPECT_EQ(ui(*w).RosterPane->LocationURL(), QStringLiteral("about:blank"));
    EXPECT_EQ(ui(*w).RosterPane->Model()->rowCount(), 0);
    EXPECT_FALSE(ui(*w).RosterPane->OpenButton()->isVisible());
    EXPECT_FALSE(Vdcs.RosterPath.empty());  // only the view goes
}

TEST_F(RosterPaneTest, UnreadableRostersShowTheReason)
{
    const char* bad[] = {"bad-garbage.xls", "bad-truncated.xls", "bad-chartfirst.xls", "bad-empty.xls"};
    for (const char* name : bad) {
        SCOPED_TRACE(name);
        const QString path = copy(QString::fromUtf8(name), QString::fromUtf8(name));
        TRosterPane pane;
        pane.Navigate(path);
        EXPECT_FALSE(pane.Loaded());
        EXPECT_TRUE(pane.Message().contains(QString::fromUtf8(name)));
        EXPECT_GT(pane.Message().size(), QString::fromUtf8(name).size() + 20);
    }
}

TEST_F(RosterPaneTest, FollowsTheFileOnDisk)
{
    // A program saving in place, and one writing a new file and renaming it
    // over the old (the watch on the file itself ends there).
    enum Save { InPlace, Replace };
    const Save saves[] = {InPlace, Replace, InPlace, Replace};
    const QString path = copy(QStringLiteral("roster.xls"), QStringLiteral("live.xls"));
    TRosterPane pane;
    pane.Navigate(path);
    ASSERT_TRUE(pane.Loaded());
    int rows = pane.Model()->rowCount();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const QString fixture = (i % 2 == 0) ? QStringLiteral("basic.xls") : QStringLiteral("roster.xls");
        QFile src(kData + fixture);
        ASSERT_TRUE(src.open(QIODevice::ReadOnly));
        const QByteArray bytes = src.readAll();
        const int loads = pane.LoadCount();
        QThread::msleep(20);
        if (saves[i] == InPlace) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        } else {
            const QString tmp = dir.filePath(QStringLiteral("live.tmp"));
            QFile f(tmp);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.close();
            ASSERT_EQ(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()), 0);
        }
        ASSERT_TRUE(waitFor([&] { return pane.LoadCount() > loads; }));
        EXPECT_TRUE(pane.Loaded());
        EXPECT_NE(pane.Model()->rowCount(), rows);
        rows = pane.Model()->rowCount();
    }
    // A blank pane forgets the file.
    pane.Navigate(QStringLiteral("about:blank"));
    const int loads = pane.LoadCount();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("x");
    f.close();
    waitFor([] { return false; }, 600);
    EXPECT_EQ(pane.LoadCount(), loads);
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

TEST_F(RosterPaneTest, OpensTheRosterInTheDesktopProgram)
{
    const QString path = copy(QStringLiteral("roster.xls"), QStringLiteral("r.xls"));
    TRosterPane pane;
    pane.Navigate(path);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    pane.OpenButton()->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(path));
}

TEST_F(RosterPaneTest, TenThousandRowsScrollQuickly)
{
    const QString path = dir.filePath(QStringLiteral("big.xls"));
    const QString script =
        QStringLiteral("import sys, xlwt\n"
                       "wb = xlwt.Workbook(encoding='utf-8'); ws = wb.add_sheet('s')\n"
                       "ws.write_merge(0, 0, 0, 27, '工资变动花名册')\n"
                       "for r in range(1, 10000):\n"
                       "    ws.write(r, 0, r); ws.write(r, 1, '姓名%d' % r); ws.write(r, 8, 930.5 + r)\n"
                       "    ws.write(r, 27, '1' if r % 3 == 0 else '')\n"
                       "wb.save(sys.argv[1])\n");
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    ASSERT_TRUE(py.waitForFinished(60000));
    if (py.exitCode() != 0)
        GTEST_SKIP() << "xlwt not available: " << py.readAllStandardError().toStdString();

    TRosterPane pane;
    pane.resize(900, 500);
    pane.show();
    QElapsedTimer t;
    t.start();
    pane.Navigate(path);
    const qint64 loadMs = t.elapsed();
    ASSERT_TRUE(pane.Loaded()) << pane.Message().toStdString();
    EXPECT_EQ(pane.Model()->rowCount(), 10000);
    QScrollBar* bar = pane.View()->verticalScrollBar();
    t.restart();
    const int steps = 100;
    for (int i = 0; i <= steps; ++i) {
        bar->setValue(bar->maximum() * i / steps);
        (void)pane.View()->viewport()->grab();  // paints the visible rows
    }
    const double perStepMs = t.nsecsElapsed() / 1e6 / steps;
    std::printf("10,000 rows: load %lld ms, %.2f ms per scrolled and repainted screen\n",
                static_cast<long long>(loadMs), perStepMs);
    EXPECT_LT(perStepMs, 50.0);
    EXPECT_TRUE(pane.Model()->Flagged(10000));  // 1-based
    EXPECT_EQ(pane.Model()->index(9999, 1).data().toString(), QStringLiteral("姓名9999"));
}

}  // namespace

#include "test_mainwindow_roster.moc"

// ---- an encrypted roster -------------------------------------------------------------

#include "app/ui/VdPasswordDialog.h"
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace {

// Answers the password dialogs as they come: each answer is typed and
// confirmed ("" cancels); records whether the dialog said the password was
// wrong.
struct DialogTyper {
    QStringList answers;
    QList<bool> saidWrong;
    QTimer timer;
    DialogTyper()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* d = qobject_cast<TPasswordDialog*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible())
                return;
            EXPECT_EQ(d->edPassword->echoMode(), QLineEdit::Password);
            saidWrong << d->lbWrong->isVisibleTo(d);
            const QString a = answers.isEmpty() ? QString() : answers.takeFirst();
            if (a.isEmpty()) {
                d->reject();
                return;
            }
            d->edPassword->setText(a);
            d->accept();
        });
        timer.start(20);
    }
};

}  // namespace

TEST_F(RosterPaneTest, EncryptedRosterAsksOnceAndThePrintRunReadsIt)
{
    for (const char* name : {"enc-cryptoapi.xls", "enc-agile.xlsx"}) {
        SCOPED_TRACE(name);
        const QString path = copy(QString::fromLatin1(name), QString::fromLatin1(name));
        recordRoster(path);
        DialogTyper typer;
        typer.answers = {QStringLiteral("wrong"), QStringLiteral("vdmq2009")};
        auto w = start();
        ASSERT_TRUE(waitFor([&] { return ui(*w).RosterPane->Loaded(); }));
        EXPECT_EQ(typer.saidWrong, (QList<bool>{false, true}));
        EXPECT_TRUE(dialogs->errors.isEmpty());

        // The print run opens the same roster without a question.
        w->Roster.Open(toGb(path));
        w->Roster.FirstSheet();
        EXPECT_FALSE(cell(*w, 7, 2).isEmpty());
        EXPECT_EQ(w->Roster.CellText(7, 2), cell(*w, 7, 2));
        w->Roster.Close();
        EXPECT_EQ(static_cast<TPasswordDialogPrompt*>(w->Passwords.get())->DialogsShown(), 2);
    }
}

TEST_F(RosterPaneTest, CancelledPasswordEndsTheOpenQuietly)
{
    const QString path = copy(QStringLiteral("enc-xor.xls"), QStringLiteral("名册.xls"));
    recordRoster(path);
    DialogTyper typer;  // no answers: cancel
    auto w = start();
    ASSERT_TRUE(waitFor([&] { return !ui(*w).RosterPane->Message().isEmpty(); }));
    EXPECT_FALSE(ui(*w).RosterPane->Loaded());
    EXPECT_TRUE(ui(*w).RosterPane->Message().contains(QStringLiteral("没有输入密码")));
    EXPECT_TRUE(dialogs->errors.isEmpty());
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

// The pane that went without a password shows the roster as soon as 预览
// (or 打印) is given one: the run's password opens the pane too, without a
// second question.
TEST_F(RosterPaneTest, PasswordGivenLaterThroughPreviewOpensThePane)
{
    const QString path = copy(QStringLiteral("enc-xor.xls"), QStringLiteral("名册.xls"));
    recordRoster(path);
    DialogTyper typer;
    typer.answers = {QString(), QStringLiteral("vdmq2009")};  // cancelled at start, given to 预览
    auto w = start();
    ASSERT_TRUE(waitFor([&] { return ui(*w).RosterPane->Message().contains(QStringLiteral("没有输入密码")); }));
    // A range without flagged rows: the run opens the roster, asks for its
    // password and ends with a message.
    ui(*w).StartRowEdit->setText(QStringLiteral("1"));
    ui(*w).EndRowEdit->setText(QStringLiteral("1"));
    ui(*w).PreviewButton->click();
    EXPECT_TRUE(waitFor([&] { return ui(*w).RosterPane->Loaded(); }, 3000))
        << ui(*w).RosterPane->Message().toStdString();
    EXPECT_TRUE(ui(*w).RosterPane->Message().isEmpty());
    EXPECT_EQ(static_cast<TPasswordDialogPrompt*>(w->Passwords.get())->DialogsShown(), 2);
    EXPECT_TRUE(dialogs->errors.isEmpty()) << dialogs->errors.join('\n').toStdString();
}

// 调阅 with a settings file that cannot be written (here a folder stands in
// its place, which stops root too): the roster chosen is shown all the same,
// and the error box says, in Chinese too, that only remembering it failed.
TEST_F(RosterPaneTest, ReadWithASettingsFileThatCannotBeWrittenStillOpens)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("vdmq.ini")));
    const QString chosen = copy(QStringLiteral("roster.xls"), QStringLiteral("chosen.xls"));
    dialogs->answers << chosen << chosen;
    auto w = start();  // the first start asks for a roster too
    for (int press = 0; press < 2; ++press) {
        SCOPED_TRACE(press == 0 ? "at the first start" : "调阅");
        if (press == 1) {
            dialogs->errors.clear();
            ui(*w).ReadButton->click();
        }
        EXPECT_EQ(ui(*w).RosterPane->LocationURL(), chosen);
        EXPECT_TRUE(ui(*w).RosterPane->Loaded());
        EXPECT_EQ(fromGb(Vdcs.RosterPath), chosen);
        ASSERT_EQ(dialogs->errors.size(), 1);
        EXPECT_TRUE(dialogs->errors[0].startsWith(QStringLiteral("Unable to write to ")))
            << dialogs->errors[0].toStdString();
        EXPECT_TRUE(dialogs->errors[0].contains(QStringLiteral("下次启动时不会自动打开这个花名册")))
            << dialogs->errors[0].toStdString();
    }
}
