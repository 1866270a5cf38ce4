// The print date in the user's own zone.  The date picker, the settings file
// and the printed form must agree on the local date at any hour: a picker
// that holds UTC shows the day before early in the morning east of UTC, and
// a day picked there prints as the next day.  Every case pins the zone and
// the clock, so it means the same on any machine.
#include "app/core/settings.h"
#include "app/ui/VdMainUnit.h"
#include "mainwindow_access.h"
#include "platform/gbtext.h"
#include "platform/profile.h"
#include "preview/TzPreview.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "clock_helpers.h"
#include "fake_dialogs.h"
#include "file_helpers.h"
#include "run_helpers.h"

using namespace vdmq;
using testclock::ScopedClock;
using testclock::ScopedZone;

namespace {

struct Moment {
    const char* zone;
    QTime local;  // wall-clock time of day on kToday in that zone
};

const QDate kToday(2026, 12, 9);

// East and west of UTC, and UTC itself, early, at noon and late.
const Moment kMoments[] = {
    {"Asia/Shanghai", {7, 30}},
    {"Asia/Shanghai", {12, 0}},
    {"Asia/Shanghai", {23, 30}},
    {"America/Los_Angeles", {7, 30}},
    {"America/Los_Angeles", {12, 0}},
    {"America/Los_Angeles", {23, 30}},
    {"UTC", {0, 30}},
    {"UTC", {12, 0}},
};

std::string describe(const Moment& m) { return std::string(m.zone) + " " + m.local.toString("HH:mm").toStdString(); }

class PrintDate : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Vdcs = TVdcs{};
    }
    std::unique_ptr<TMainWindow> start()
    {
        auto w = std::make_unique<TMainWindow>(dir.path(), std::make_shared<FakeDialogs>());
        w->QuitApplication = [] {};
        return w;
    }
    QString ini() const { return dir.filePath(QStringLiteral("vdmq.ini")); }
    // The stored "Date" as the next start reads it: the day and the time
    // of day kept with it.
    QDateTime storedDate() const
    {
        TVdcs v;
        TEntryFields f;
        LoadSettings(v, f, toGb(dir.path()));
        const QDateTime stored = DateFromKeyText(ReadProfileString(ini(), "xtcs", "Date", ""));
        return stored.date() == v.PrintDate ? stored : QDateTime();
    }
    QTemporaryDir dir;
};

// The date line of the form previewed from the main window for row 7.
QString printedDate(TMainWindow& w)
{
    Vdcs.RosterPath = gb(VDMQ_TESTDATA "/printrun/three.xls");
    ui(w).StartRowEdit->setText(QStringLiteral("7"));
    ui(w).EndRowEdit->setText(QStringLiteral("7"));
    QString found;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (auto* p : w.findChildren<TPreviewWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
            const auto store = p->PageView->QRPrinter();
            if (!p->isVisible() || !store || store->PageCount() != 1)
                continue;
            for (const qr::QRItem& item : store->Page(1).items) {
                const QString text = item.text;
                if (item.kind == qr::QRItem::Text && text.contains(QStringLiteral("日")) &&
                    text.contains(QStringLiteral("年")))
                    found = text;
            }
            p->CloseButtonClick();
        }
    });
    timer.start(20);
    w.PreviewButtonClick();
    RunToEnd(w);
    return found.simplified();
}

}  // namespace

TEST_F(PrintDate, FirstStartPickerShowsToday)
{
    for (const Moment& m : kMoments) {
        SCOPED_TRACE(describe(m));
        ScopedZone zone(m.zone);
        ScopedClock clock(QDateTime(kToday, m.local));
        QFile::remove(ini());
        auto w = start();
        EXPECT_EQ(ui(*w).PrintDateEdit->date(), kToday);
        EXPECT_EQ(w->EntryFields().printDate.toLocalTime().date(), kToday);
    }
}

TEST_F(PrintDate, PickerShowsTheStoredDate)
{
    const struct {
        const char* stored;
        QDate expected;
    } stored[] = {
        {"2009/8/20 20:00:00", {2009, 8, 20}},
        {"2009/8/20 7:59:00", {2009, 8, 20}},
        {"2009/8/20", {2009, 8, 20}},
        {"2009-12-31 23:59:59", {2009, 12, 31}},
    };
    for (const Moment& m : kMoments) {
        ScopedZone zone(m.zone);
        ScopedClock clock(QDateTime(kToday, m.local));
        for (const auto& s : stored) {
            SCOPED_TRACE(describe(m) + " Date=" + s.stored);
            testfiles::writeAll(ini(), std::string("[xtcs]\r\nDate=") + s.stored + "\r\n");
            auto w = start();
            EXPECT_EQ(ui(*w).PrintDateEdit->date(), s.expected);
        }
    }
}

TEST_F(PrintDate, PickedDayIsTheDayPrinted)
{
    for (const Moment& m : kMoments) {
        SCOPED_TRACE(describe(m));
        ScopedZone zone(m.zone);
        ScopedClock clock(QDateTime(kToday, m.local));
        QFile::remove(ini());
        auto w = start();
        EXPECT_EQ(printedDate(*w), QStringLiteral("2026 年 12 月 9 日"));
        ui(*w).PrintDateEdit->setDate(QDate(2009, 8, 20));  // as the calendar or the keys set it
        EXPECT_EQ(printedDate(*w), QStringLiteral("2009 年 8 月 20 日"));
    }
}

TEST_F(PrintDate, StoredDateSurvivesStartsAndExits)
{
    for (const Moment& m : kMoments) {
        SCOPED_TRACE(describe(m));
        ScopedZone zone(m.zone);
        ScopedClock clock(QDateTime(kToday, m.local));
        testfiles::writeAll(ini(), "[xtcs]\r\nDate=2009/8/20 20:00:00\r\n");
        QDate day(2009, 8, 20);
        for (int round = 1; round <= 4; ++round) {
            SCOPED_TRACE(round);
            auto w = start();
            EXPECT_EQ(ui(*w).PrintDateEdit->date(), day);
            if (round == 2) {
                day = QDate(2009, 8, 21);
                ui(*w).PrintDateEdit->setDate(day);
            }
            w->ExitButtonClick();
            // A date not changed in the window is left as the file has it;
            // a changed one is written with the picker's own time of day,
            // the local time of the start, as wall-clock time.
            EXPECT_EQ(storedDate(), QDateTime(day, round == 1 ? QTime(20, 0) : m.local));
        }
    }
}

namespace {

void mouse(QWidget* w, QEvent::Type type, QPoint at)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

// A year typed over the one shown replaces it, however the user came to the
// year: by Tab (the year selected), by a click into it (the cursor inside a
// full year) or by a double click on it (which a plain line edit makes a
// selection of the whole date).  The day typed is the day printed, in the
// user's zone, at any hour.
TEST_F(PrintDate, TypingOverTheYearReplacesIt)
{
    enum class Way { Tab, Click, DoubleClick };
    const struct {
        const char* what;
        Way way;
    } ways[] = {{"Tab", Way::Tab}, {"click", Way::Click}, {"double click", Way::DoubleClick}};
    for (const Moment& m : {kMoments[0], kMoments[5], kMoments[6]}) {
        ScopedZone zone(m.zone);
        ScopedClock clock(QDateTime(kToday, m.local));
        for (const auto& way : ways) {
            SCOPED_TRACE(describe(m) + ", " + way.what);
            QFile::remove(ini());
            auto w = start();
            w->show();
            w->activateWindow();
            QCoreApplication::processEvents();
            auto* edit = ui(*w).PrintDateEdit->findChild<QLineEdit*>();
            ASSERT_TRUE(edit);
            const QPoint year(edit->fontMetrics().horizontalAdvance(QStringLiteral("20")) + 3, edit->height() / 2);
            switch (way.way) {
            case Way::Tab:
                // As Tab gives it focus: the year selected.
                ui(*w).PrintDateEdit->setFocus(Qt::TabFocusReason);
                break;
            case Way::Click:
            case Way::DoubleClick:
                ui(*w).PrintDateEdit->setFocus(Qt::MouseFocusReason);
                mouse(edit, QEvent::MouseButtonPress, year);
                mouse(edit, QEvent::MouseButtonRelease, year);
                if (way.way == Way::DoubleClick) {
                    mouse(edit, QEvent::MouseButtonDblClick, year);
                    mouse(edit, QEvent::MouseButtonRelease, year);
                }
                break;
            }
            QCoreApplication::processEvents();
            ASSERT_EQ(QApplication::focusWidget(), ui(*w).PrintDateEdit);
            for (const QChar c : QStringLiteral("2009")) {
                const int key = Qt::Key_0 + (c.unicode() - u'0');
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
                QApplication::sendEvent(ui(*w).PrintDateEdit, &press);
                QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
                QApplication::sendEvent(ui(*w).PrintDateEdit, &release);
            }
            EXPECT_EQ(ui(*w).PrintDateEdit->date(), QDate(2009, 12, 9)) << edit->text().toStdString();
            EXPECT_EQ(w->EntryFields().printDate.toLocalTime().date(), QDate(2009, 12, 9));
        }
    }
}
