#include <gtest/gtest.h>

#include "app/core/settings.h"
#include "platform/gbtext.h"
#include "platform/profile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <clocale>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

#include "clock_helpers.h"
#include "file_helpers.h"

using namespace vdmq;

namespace {

using testfiles::readAll;
using testfiles::writeAll;

std::string key(const QString& ini, const char* name) { return toGb(ReadProfileString(ini, "xtcs", name, "<none>")); }

class Settings : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string appDir() const { return toGb(dir.path()); }
    QString ini() const { return dir.filePath("vdmq.ini"); }

    TVdcs load(TEntryFields& fields) const
    {
        TVdcs v;
        LoadSettings(v, fields, appDir());
        return v;
    }
};

TEST_F(Settings, FirstStartShowsDefaults)
{
    const QDateTime now(QDate(2026, 12, 9), QTime(7, 30, 5));
    testclock::ScopedClock clock(now);
    TEntryFields fields;
    EXPECT_EQ(fields.width, "80");                                   // before loading
    fields.printDate = QDateTime(QDate(2020, 1, 2), QTime(16, 45));  // the picker's own time of day
    const TVdcs v = load(fields);

    EXPECT_EQ(v.AppDir, appDir());
    EXPECT_EQ(v.DocNo, gb("澜人发(2007)71号"));
    EXPECT_EQ(v.IssuedBy, gb("澜坪市人事局工资处制"));
    EXPECT_EQ(v.StartRow, 7);
    EXPECT_EQ(v.EndRow, 7);
    EXPECT_EQ(v.OpinionWidth, 78);
    EXPECT_EQ(v.RosterPath, "");
    EXPECT_EQ(v.PrintDate, now.date());
    EXPECT_EQ(fields.docNo, v.DocNo);
    EXPECT_EQ(fields.issuedBy, v.IssuedBy);
    EXPECT_EQ(fields.start, "7");
    EXPECT_EQ(fields.end, "7");
    EXPECT_EQ(fields.width, "78");
    EXPECT_EQ(fields.printDate, QDateTime(QDate(2026, 12, 9), QTime(16, 45)));
    EXPECT_FALSE(QFile::exists(ini()));  // loading writes nothing
}

TEST_F(Settings, AppDirLosesTrailingSeparator)
{
    TEntryFields fields;
    TVdcs v;
    LoadSettings(v, fields, appDir() + "/");
    EXPECT_EQ(v.AppDir, appDir());
    LoadSettings(v, fields, "/");
    EXPECT_EQ(v.AppDir, "/");
}

TEST_F(Settings, IntegerKeys)
{
    struct Case {
        const char* text;  // nullptr: key missing
        bool valid;
        int value;
    };
    const Case cases[] = {
        {nullptr, false, 0}, {"", false, 0},   {"abc", false, 0}, {"12", true, 12},          {"  12  ", true, 12},
        {"-3", true, -3},    {"$A", true, 10}, {"7.5", false, 0}, {"99999999999", false, 0}, {"1 2", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(missing)");
        QFile::remove(ini());
        if (c.text) {
            writeAll(ini(),
                     std::string("[xtcs]\r\nStart=") + c.text + "\r\nEnd=" + c.text + "\r\nyjkd=" + c.text + "\r\n");
        }
        TEntryFields fields;
        const TVdcs v = load(fields);
        EXPECT_EQ(v.StartRow, c.valid ? c.value : 7);
        EXPECT_EQ(v.EndRow, c.valid ? c.value : 7);
        EXPECT_EQ(v.OpinionWidth, c.valid ? c.value : 78);
        EXPECT_EQ(fields.width, std::to_string(v.OpinionWidth));
    }
}

TEST_F(Settings, SaveThenLoadRoundTrip)
{
    TEntryFields fields;
    TVdcs v = load(fields);
    fields.docNo = gb("澜人发(2009)8号 王㐀");
    fields.issuedBy = gb("澜坪市人事局");
    fields.start = "";  // cleared by the user: written empty, read as 7
    fields.end = "x9";  // written unchecked
    fields.width = "60";
    fields.printDate = QDateTime(QDate(2009, 7, 1), QTime(14, 5, 9));
    SaveSettings(v, fields);
    EXPECT_EQ(key(ini(), "Start"), "");
    EXPECT_EQ(key(ini(), "End"), "x9");
    EXPECT_EQ(key(ini(), "excelFileName"), "<none>");  // not written by a save
    EXPECT_EQ(readAll(ini()).rfind("[xtcs]\r\nFile=" + fields.docNo + "\r\nArea=" + fields.issuedBy + "\r\nDate=", 0),
              0u);

    TEntryFields again;
    const TVdcs w = load(again);
    EXPECT_EQ(w.DocNo, fields.docNo);
    EXPECT_EQ(w.IssuedBy, fields.issuedBy);
    EXPECT_EQ(w.StartRow, 7);
    EXPECT_EQ(w.EndRow, 0x9);  // "x9" is hexadecimal 9
    EXPECT_EQ(w.OpinionWidth, 60);
    EXPECT_EQ(w.PrintDate, fields.printDate.date());
    EXPECT_EQ(DateFromKeyText(fromGb(key(ini(), "Date"))), fields.printDate);
}

// The same round trip under each regional setting, run in a child process
// because the system locale is fixed when a program starts.
TEST_F(Settings, DateRoundTripInTheSystemFormat)
{
    const QDateTime cases[] = {
        QDateTime(QDate(2009, 7, 1), QTime(14, 5, 9)),
        QDateTime(QDate(2009, 12, 31), QTime(0, 0)),   // midnight: no time written
        QDateTime(QDate(1999, 1, 2), QTime(9, 0, 1)),  // two-digit years would lose this
        QDateTime(QDate(2031, 3, 4), QTime(23, 59, 59)),
    };
    for (const QDateTime& dt : cases) {
        SCOPED_TRACE(dt.toString(Qt::ISODate).toStdString());
        TEntryFields fields;
        TVdcs v = load(fields);
        fields.printDate = dt;
        SaveSettings(v, fields);
        const std::string text = key(ini(), "Date");
        EXPECT_EQ(text.find(':') == std::string::npos, dt.time() == QTime(0, 0)) << text;
        EXPECT_EQ(DateFromKeyText(fromGb(text)), dt) << text;
        TEntryFields again;
        EXPECT_EQ(load(again).PrintDate, dt.date()) << text;
    }
}

// What a Chinese desktop writes: Qt's regional short date and long time for
// zh_CN, taken from the real system locale.  Runs where the process starts
// under zh_CN.UTF-8 (the Chinese test environment, and the child below).
TEST_F(Settings, DateTextOnAChineseDesktop)
{
    if (QLocale::system().name() != QLatin1String("zh_CN")) {
        if (qEnvironmentVariable("VDMQ_SETTINGS_CHILD") == QLatin1String("zh_CN.UTF-8"))
            FAIL() << "zh_CN.UTF-8 asked for but not in effect";
        GTEST_SKIP() << "not a Chinese desktop";
    }
    // The C library's locale too: a locale that is not generated would
    // leave it at "C" while Qt still reads the name from the environment.
    EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "zh_CN.UTF-8");
    const struct {
        QDateTime dt;
        const char* text;
    } cases[] = {
        {{QDate(2009, 7, 1), QTime(14, 5, 9)}, "2009/7/1 14:05:09"},
        {{QDate(2009, 8, 20), QTime(7, 30)}, "2009/8/20 07:30:00"},
        {{QDate(2009, 12, 31), QTime(0, 0)}, "2009/12/31"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TEntryFields fields;
        TVdcs v = load(fields);
        fields.printDate = c.dt;
        SaveSettings(v, fields);
        EXPECT_EQ(key(ini(), "Date"), c.text);
        EXPECT_EQ(DateFromKeyText(QString::fromUtf8(c.text)), c.dt);
        TEntryFields again;
        EXPECT_EQ(load(again).PrintDate, c.dt.date());
    }
}

TEST(SettingsLocales, DateRoundTripUnderOtherRegionalSettings)
{
    if (qEnvironmentVariableIsSet("VDMQ_SETTINGS_CHILD"))
        GTEST_SKIP();
    for (const char* locale : {"zh_CN.UTF-8", "en_US.UTF-8", "de_DE.UTF-8", "C"}) {
        SCOPED_TRACE(locale);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", locale);
        env.insert("LANG", locale);
        env.insert("VDMQ_SETTINGS_CHILD", locale);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=Settings.DateRoundTripInTheSystemFormat:Settings.DateForms:"
                     "Settings.DateTextOnAChineseDesktop"});
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    }
}

TEST_F(Settings, DateForms)
{
    struct Case {
        const char* text;
        QDateTime expected;  // invalid: now
    };
    const Case cases[] = {
        {"2009/7/1 10:20:30", {QDate(2009, 7, 1), QTime(10, 20, 30)}},
        {"2009/07/01 9:05:03", {QDate(2009, 7, 1), QTime(9, 5, 3)}},
        {"2009/7/1", {QDate(2009, 7, 1), QTime(0, 0)}},
        {"2009-7-1", {QDate(2009, 7, 1), QTime(0, 0)}},
        {"2009-07-01 10:20", {QDate(2009, 7, 1), QTime(10, 20)}},
        {"2009-07-01T10:20:30", {QDate(2009, 7, 1), QTime(10, 20, 30)}},
        {"2009-07-01", {QDate(2009, 7, 1), QTime(0, 0)}},
        {"  2009/7/1  ", {QDate(2009, 7, 1), QTime(0, 0)}},
        {"garbage", {}},
        {"", {}},
        {"2009/13/1", {}},
        {"2009/2/30 10:00:00", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeAll(ini(), std::string("[xtcs]\r\nDate=") + c.text + "\r\n");
        const QDateTime now(QDate(2026, 12, 9), QTime(23, 30));
        testclock::ScopedClock clock(now);
        TEntryFields fields;
        EXPECT_EQ(DateFromKeyText(QString::fromUtf8(c.text)), c.expected);
        EXPECT_EQ(load(fields).PrintDate, c.expected.isValid() ? c.expected.date() : now.date());
    }
}

// A file as an office's Windows machine leaves it: GBK bytes, CRLF, another
// section, comments.  Every value is read; a save keeps the rest.
TEST_F(Settings, WindowsFileReadAndKeptBySave)
{
    const std::string roster = gb("D:\\工资\\2009年.xls");
    const std::string file = "; 工资变动审批表\r\n"
                             "[Window]\r\n"
                             "Left=10\r\n"
                             "\r\n"
                             "[XTCS]\r\n"
                             "File=" +
                             gb("澜人发(2009)8号") +
                             "\r\n"
                             "Area=" +
                             gb("澜坪市人事局") +
                             "\r\n"
                             "; print date\r\n"
                             "Date=2009/7/1 10:20:30\r\n"
                             "Start=12\r\n"
                             "End=30\r\n"
                             "excelFileName=" +
                             roster +
                             "\r\n"
                             "yjkd=70\r\n";
    writeAll(ini(), file);
    TEntryFields fields;
    TVdcs v = load(fields);
    EXPECT_EQ(v.DocNo, gb("澜人发(2009)8号"));
    EXPECT_EQ(v.IssuedBy, gb("澜坪市人事局"));
    EXPECT_EQ(v.PrintDate, QDate(2009, 7, 1));
    EXPECT_EQ(v.StartRow, 12);
    EXPECT_EQ(v.EndRow, 30);
    EXPECT_EQ(v.RosterPath, roster);
    EXPECT_EQ(v.OpinionWidth, 70);

    SaveSettings(v, fields);
    const std::string after = readAll(ini());
    EXPECT_EQ(after.substr(0, after.find("[XTCS]")), file.substr(0, file.find("[XTCS]")));
    EXPECT_NE(after.find("; print date\r\n"), std::string::npos);
    EXPECT_NE(after.find("excelFileName=" + roster + "\r\n"), std::string::npos);
    EXPECT_EQ(after.find("\n\n"), std::string::npos);  // no bare LF crept in
    TEntryFields again;
    EXPECT_EQ(load(again).RosterPath, roster);

    SaveRosterPath(v, gb("E:\\新.xls"));
    EXPECT_EQ(v.RosterPath, gb("E:\\新.xls"));
    EXPECT_EQ(key(ini(), "excelFileName"), gb("E:\\新.xls"));
}

bool isUtf8(const std::string& bytes)
{
    QStringDecoder decode(QStringConverter::Utf8);
    (void)decode(QByteArray::fromStdString(bytes));
    return !decode.hasError();
}

// vdmq.ini as Windows and Linux editors save it
// (tests/data/settings/make_settings.py): Notepad's "Unicode" and "UTF-8"
// (with a byte-order mark before Windows 10 1903, without one since), CR
// alone at the line ends, and gedit's and vim's UTF-8 without a mark.  Each
// was once misread (taken for an empty file, or UTF-8 read as GBK so that
// every form printed "根据婢滀汉鍙…"), and the next save left the file half
// UTF-8, half GBK.  A save keeps the file's encoding and line ends.
TEST_F(Settings, FilesSavedByEditorsAreReadAndKeptInTheirEncoding)
{
    using namespace std::string_literals;
    struct Case {
        const char* fixture;
        std::string head, lineEnd;
        bool utf8;  // the file stays UTF-8 throughout
    } cases[] = {
        {"notepad-unicode.ini", "\xFF\xFE", "1\0\r\0\n\0"s, false},  // the new start row, 11, then CRLF
        {"notepad-unicode-be.ini", "\xFE\xFF", "\0001\0\r\0\n"s, false},
        {"notepad-utf8.ini", "\xEF\xBB\xBF", "11\r\n", true},
        {"classic-mac.ini", ";", "11\rEnd", false},
        {"gedit-utf8.ini", "; 工资", "11\nEnd", true},
        {"vim-utf8.ini", "; 工资", "11\nEnd", true},
        {"notepad10-utf8.ini", "; 工资", "11\r\nEnd", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        QFile::remove(ini());
        ASSERT_TRUE(QFile::copy(QStringLiteral(VDMQ_TESTDATA "/settings/") + c.fixture, ini()));
        QFile::setPermissions(ini(), QFile::ReadOwner | QFile::WriteOwner);
        TEntryFields fields;
        TVdcs v = load(fields);
        EXPECT_EQ(v.DocNo, gb("澜人发(2009)12号"));
        EXPECT_EQ(v.IssuedBy, gb("澜坪县人事局"));
        EXPECT_EQ(v.PrintDate, QDate(2009, 7, 1));
        EXPECT_EQ(v.StartRow, 9);
        EXPECT_EQ(v.EndRow, 120);
        EXPECT_EQ(v.OpinionWidth, 70);
        EXPECT_EQ(v.RosterPath, gb("D:\\名册\\2009年调资.xls"));

        fields.issuedBy = gb("澜坪市人事局");
        fields.start = "11";
        SaveSettings(v, fields);
        SaveRosterPath(v, gb("E:\\新名册.xls"));
        const std::string after = readAll(ini());
        EXPECT_EQ(after.substr(0, c.head.size()), c.head);
        EXPECT_NE(after.find(c.lineEnd), std::string::npos);
        if (c.utf8) {
            EXPECT_TRUE(isUtf8(after)) << after;
            EXPECT_NE(after.find("Area=澜坪市人事局"), std::string::npos) << after;
        }
        TEntryFields again;
        const TVdcs w = load(again);
        EXPECT_EQ(w.IssuedBy, gb("澜坪市人事局"));
        EXPECT_EQ(w.StartRow, 11);
        EXPECT_EQ(w.DocNo, gb("澜人发(2009)12号"));
        EXPECT_EQ(w.RosterPath, gb("E:\\新名册.xls"));
    }
}

// Files that are no settings file this program can read are not read: the
// defaults show, the user is told which file and why, and a save leaves the
// file alone.  A "settings file" of 50 MB of line ends was read once per
// key, 76 s and 4 GB; UTF-16 without its byte-order mark was silently taken
// for a file without keys.
TEST_F(Settings, FileThatIsNoSettingsFileGivesTheDefaultsAndSaysSo)
{
    QFile utf16(QStringLiteral(VDMQ_TESTDATA "/settings/utf16-nobom.ini"));
    ASSERT_TRUE(utf16.open(QIODevice::ReadOnly));
    const struct Case {
        std::string bytes;
        const char* said;
    } cases[] = {
        {std::string(kMaxProfileBytes, '\n') + "[xtcs]\r\nStart=9\r\n", "太大"},
        {utf16.readAll().toStdString(), "UTF-16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        writeAll(ini(), c.bytes);
        TEntryFields fields;
        TVdcs v;
        try {
            LoadSettings(v, fields, appDir());
            ADD_FAILURE() << "no error";
        } catch (const ESettingsReadError& e) {
            EXPECT_TRUE(errorText(e).contains(QString::fromUtf8(c.said))) << e.what();
            EXPECT_TRUE(errorText(e).contains(ini())) << e.what();
        }
        EXPECT_EQ(v.StartRow, 7);
        EXPECT_EQ(fields.start, "7");
        EXPECT_EQ(fields.width, "78");
        fields.start = "8";
        EXPECT_THROW(SaveSettings(v, fields), ESettingsWriteError);
        EXPECT_EQ(readAll(ini()), c.bytes);
    }
    TEntryFields fields;
    // At the limit it is still a settings file.
    writeAll(ini(), std::string(kMaxProfileBytes - 17, '\n') + "[xtcs]\r\nStart=9\r\n");
    EXPECT_EQ(load(fields).StartRow, 9);
}

TEST_F(Settings, RefusedWriteNamesTheFileAndStopsAtThatKey)
{
    TEntryFields fields;
    TVdcs v = load(fields);
    SaveSettings(v, fields);  // a complete file to start from
    const std::string old = readAll(ini());

    // Root writes anywhere, so refuse through the file-size limit: the file
    // with a long "Start" value no longer fits, the keys before it do.
    fields.docNo = "F2";
    fields.issuedBy = "A2";
    fields.start = std::string(8192, '1');
    fields.end = "E2";
    fields.width = "W2";
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string message;
    try {
        SaveSettings(v, fields);
    } catch (const ESettingsWriteError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Unable to write to " + toGb(ini()));
    EXPECT_EQ(key(ini(), "File"), "F2");
    EXPECT_EQ(key(ini(), "Area"), "A2");
    EXPECT_EQ(key(ini(), "Start"), "7");
    EXPECT_EQ(key(ini(), "End"), "7");
    EXPECT_EQ(key(ini(), "yjkd"), "78");
    EXPECT_EQ(QDir(dir.path()).entryList({"*.tmp*"}, QDir::Files), QStringList());  // no temporary left

    // The settings file path is a folder: every write is refused, and the
    // roster path stays as it was.
    QFile::remove(ini());
    QDir(dir.path()).mkdir("vdmq.ini");
    v.RosterPath = "old.xls";
    try {
        SaveRosterPath(v, "new.xls");
        ADD_FAILURE() << "no error";
    } catch (const ESettingsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + toGb(ini()));
    }
    EXPECT_EQ(v.RosterPath, "old.xls");
    EXPECT_THROW(SaveSettings(v, fields), ESettingsWriteError);
}

TEST_F(Settings, FileLocation)
{
    // A writable program folder holds the file (a portable copy).
    EXPECT_EQ(SettingsFilePath(appDir()), ini());
    // An existing file is used wherever it is.
    writeAll(ini(), "[xtcs]\r\n");
    EXPECT_EQ(SettingsFilePath(appDir() + "/"), ini());
    // A folder the program cannot write into (here: one that is gone) and
    // without a file: the per-user configuration folder, created on the
    // first write.
    QTemporaryDir config;
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const std::string gone = appDir() + "/not-there";
    const QString path = SettingsFilePath(gone);
    EXPECT_TRUE(path.startsWith(config.path() + "/")) << path.toStdString();
    EXPECT_TRUE(path.endsWith("/vdmq.ini"));
    TEntryFields fields;
    TVdcs v;
    LoadSettings(v, fields, gone);
    SaveRosterPath(v, "r.xls");
    EXPECT_EQ(ReadProfileString(path, "xtcs", "excelFileName", ""), "r.xls");
    if (savedXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", savedXdg);
}

}  // namespace
