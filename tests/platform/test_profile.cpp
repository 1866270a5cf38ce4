#include <gtest/gtest.h>

#include "platform/gbtext.h"
#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "file_helpers.h"

using namespace vdmq;

namespace {

using testfiles::readAll;
using testfiles::writeAll;

class Profile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString ini() const { return dir.filePath("vdmq.ini"); }
};

TEST_F(Profile, NewFileGetsSectionAndCrlf)
{
    EXPECT_FALSE(ReadProfileString(ini(), "xtcs", "File").has_value());
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "File", "def"), "def");
    WriteProfileString(ini(), "xtcs", "File", QStringLiteral("澜人发(2007)71号"));
    WriteProfileString(ini(), "xtcs", "Start", "7");
    EXPECT_EQ(readAll(ini()), "[xtcs]\r\nFile=" + gb("澜人发(2007)71号") + "\r\nStart=7\r\n");
    EXPECT_EQ(ReadProfileString(ini(), "XTCS", "file", ""), QStringLiteral("澜人发(2007)71号"));
}

// A file as a Windows machine writes it: CRLF, GBK bytes, other sections,
// comments, keys in another case.  Reading finds the values; a write
// changes exactly its own line.
TEST_F(Profile, WindowsFileKeepsEverythingElse)
{
    const std::string before = "; written by hand\r\n"
                               "[Other]\r\n"
                               "File=not this one\r\n"
                               "\r\n"
                               "[XTCS]\r\n"
                               "  FILE = " +
                               gb("澜人发(2007)71号") +
                               "  \r\n"
                               "; the area\r\n"
                               "Area=" +
                               gb("澜坪市人事局工资处制") +
                               "\r\n"
                               "Start=\r\n"
                               "\r\n"
                               "[tail]\r\n"
                               "x=1";  // no final line ending
    writeAll(ini(), before);

    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "File", ""), QStringLiteral("澜人发(2007)71号"));
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "area", ""), QStringLiteral("澜坪市人事局工资处制"));
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "Start", "d"), "");    // present, empty
    EXPECT_FALSE(ReadProfileString(ini(), "xtcs", "x").has_value());  // other section
    EXPECT_EQ(ReadProfileString(ini(), "Tail", "X", ""), "1");

    WriteProfileString(ini(), "xtcs", "file", QStringLiteral("新文号"));
    WriteProfileString(ini(), "xtcs", "End", "9");  // new key: end of its section
    WriteProfileString(ini(), "new", "k", "v");     // new section: end of file
    const std::string after = "; written by hand\r\n"
                              "[Other]\r\n"
                              "File=not this one\r\n"
                              "\r\n"
                              "[XTCS]\r\n"
                              "FILE=" +
                              gb("新文号") +
                              "\r\n"
                              "; the area\r\n"
                              "Area=" +
                              gb("澜坪市人事局工资处制") +
                              "\r\n"
                              "Start=\r\n"
                              "End=9\r\n"
                              "\r\n"
                              "[tail]\r\n"
                              "x=1\r\n"
                              "[new]\r\n"
                              "k=v\r\n";
    EXPECT_EQ(readAll(ini()), after);
}

TEST_F(Profile, ValuesVerbatimAndLineEndingsKept)
{
    writeAll(ini(), "[xtcs]\nA=1\n");
    const std::string values[] = {
        "\"quoted\"", "a=b;c", gb("王㐀 [x]"),
        "  ",         "",      std::string("\x81\x5D", 2),  // a GBK character whose second byte is ']'
    };
    for (const std::string& v : values) {
        WriteProfileString(ini(), "xtcs", "B", fromGb(v));
        std::string expect(v);
        while (!expect.empty() && expect.back() == ' ')
            expect.pop_back();
        while (!expect.empty() && expect.front() == ' ')
            expect.erase(0, 1);
        EXPECT_EQ(ReadProfileString(ini(), "xtcs", "B", "?"), fromGb(expect));
    }
    EXPECT_EQ(readAll(ini()).find('\r'), std::string::npos);  // stays LF
    // A line break in a value must not inject a key.
    WriteProfileString(ini(), "xtcs", "B", "x\r\nA=2");
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "A", ""), "1");
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "B", ""), "x  A=2");
    // A section name holding a GBK ']' trail byte is still found.
    const std::string sec = std::string("\x81\x5D", 2);
    WriteProfileString(ini(), sec, "k", "1");
    EXPECT_EQ(ReadProfileString(ini(), sec, "k", ""), "1");
}

TEST_F(Profile, Utf8FileWithBomStaysUtf8)
{
    writeAll(ini(), "\xEF\xBB\xBF[xtcs]\r\nArea=澜坪\r\n");
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "Area", ""), QStringLiteral("澜坪"));
    WriteProfileString(ini(), "xtcs", "Area", QStringLiteral("人事局"));
    EXPECT_EQ(readAll(ini()), "\xEF\xBB\xBF[xtcs]\r\nArea=人事局\r\n");
}

// UTF-16 with its byte-order mark (Notepad's "Unicode"), either byte order,
// and lines ended by CR alone: read, and a write keeps the encoding and the
// line ends, a new key taking the file's own.
TEST_F(Profile, Utf16AndCrOnlyFilesReadAndKept)
{
    auto utf16 = [](const char* utf8, bool be) {
        std::string out = be ? "\xFE\xFF" : "\xFF\xFE";
        for (const char16_t u : QString::fromUtf8(utf8).toStdU16String()) {
            const char hi = char(u >> 8), lo = char(u & 0xFF);
            out += be ? std::string{hi, lo} : std::string{lo, hi};
        }
        return out;
    };
    struct Case {
        std::string before, after;
    } cases[] = {
        {utf16("[xtcs]\r\nArea=澜坪\r\n", false), utf16("[xtcs]\r\nArea=人事局\r\nEnd=9\r\n", false)},
        {utf16("[xtcs]\r\nArea=澜坪\r\n", true), utf16("[xtcs]\r\nArea=人事局\r\nEnd=9\r\n", true)},
        {"[xtcs]\rArea=" + gb("澜坪") + "\r", "[xtcs]\rArea=" + gb("人事局") + "\rEnd=9\r"},
        // Mixed endings: each line keeps its own.
        {"[xtcs]\rArea=" + gb("澜坪") + "\nX=1\r\n", "[xtcs]\rArea=" + gb("人事局") + "\nX=1\r\nEnd=9\r"},
    };
    for (const Case& c : cases) {
        writeAll(ini(), c.before);
        EXPECT_EQ(ReadProfileString(ini(), "xtcs", "Area", "?"), QStringLiteral("澜坪"));
        WriteProfileString(ini(), "xtcs", "Area", QStringLiteral("人事局"));
        WriteProfileString(ini(), "xtcs", "End", "9");
        EXPECT_EQ(readAll(ini()), c.after);
        EXPECT_EQ(ReadProfileString(ini(), "xtcs", "End", "?"), "9");
    }
}

// An operation that reads many keys reads the file once; a file over
// 1 MB is neither read nor rewritten.
TEST_F(Profile, SnapshotAndSizeLimit)
{
    writeAll(ini(), "[xtcs]\r\nA=1\r\n");
    const TProfileSnapshot snap = TProfileSnapshot::Load(ini());
    writeAll(ini(), "[xtcs]\r\nA=2\r\n");
    EXPECT_EQ(snap.Read("xtcs", "A", "?"), "1");
    EXPECT_TRUE(snap.Exists());
    EXPECT_FALSE(TProfileSnapshot::Load(dir.filePath("none.ini")).Exists());

    const std::string big = std::string(kMaxProfileBytes, '\n') + "[xtcs]\nA=3\n";
    writeAll(ini(), big);
    EXPECT_THROW(TProfileSnapshot::Load(ini()), EProfileTooLarge);
    EXPECT_FALSE(ReadProfileString(ini(), "xtcs", "A").has_value());
    EXPECT_THROW(WriteProfileString(ini(), "xtcs", "A", "4"), EProfileWriteError);
    EXPECT_EQ(readAll(ini()), big);
}

// Temporaries of ours that no writer holds are what killed writers left:
// the next write removes them.  Anything else stays.
TEST_F(Profile, StaleTemporariesOfOursAreRemoved)
{
    writeAll(ini(), "[xtcs]\r\nA=1\r\n");
    const char* stale[] = {"vdmq.ini.tmp00ab12", "vdmq.ini.tmpf", "vdmq.ini.tmp3c9e01"};
    const char* kept[] = {"vdmq.ini.tmp1234567", "vdmq.ini.tmpzz0000", "vdmq.ini.tmp",
                          "other.ini.tmp00ab12", "vdmq.ini.bak",       "vdmq.ini.tmp00AB12"};
    for (const char* n : stale)
        writeAll(dir.filePath(n), "x");
    for (const char* n : kept)
        writeAll(dir.filePath(n), "x");
    // One held by a writer that is still at work.
    writeAll(dir.filePath("vdmq.ini.tmp0000ff"), "x");
    const int held = ::open(QFile::encodeName(dir.filePath("vdmq.ini.tmp0000ff")).constData(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    WriteProfileString(ini(), "xtcs", "A", "2");
    for (const char* n : stale)
        EXPECT_FALSE(QFile::exists(dir.filePath(n))) << n;
    for (const char* n : kept)
        EXPECT_TRUE(QFile::exists(dir.filePath(n))) << n;
    EXPECT_TRUE(QFile::exists(dir.filePath("vdmq.ini.tmp0000ff")));
    ::close(held);
    WriteProfileString(ini(), "xtcs", "A", "3");
    EXPECT_FALSE(QFile::exists(dir.filePath("vdmq.ini.tmp0000ff")));
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "A", ""), "3");
}

TEST_F(Profile, RefusedWritesThrowAndLeaveTheFolderClean)
{
    // Root may write anywhere, so refuse by kind: the path is a folder, or
    // its parent is a file.
    QDir(dir.path()).mkdir("vdmq.ini");
    EXPECT_THROW(WriteProfileString(ini(), "xtcs", "File", "x"), EProfileWriteError);
    writeAll(dir.filePath("plain"), "x");
    try {
        WriteProfileString(dir.filePath("plain/vdmq.ini"), "xtcs", "File", "x");
        ADD_FAILURE();
    } catch (const EProfileWriteError& e) {
        EXPECT_EQ(e.path(), dir.filePath("plain/vdmq.ini"));
    }
    // No temporary file (nor a lock file) is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 2);
}

TEST_F(Profile, WriteKeepsModeAndFollowsSymlink)
{
    writeAll(ini(), "[xtcs]\r\nA=1\r\n");
    ASSERT_EQ(chmod(QFile::encodeName(ini()).constData(), 0640), 0);
    const QString link = dir.filePath("link.ini");
    ASSERT_TRUE(QFile::link(ini(), link));
    WriteProfileString(link, "xtcs", "A", "2");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "A", ""), "2");
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(ini()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A writer killed at any moment leaves the old file or the new one, never
// a mixture: readers in the parent see only the two complete versions.
TEST_F(Profile, AtomicUnderConcurrentReadsAndKills)
{
    const std::string big(4000, 'x');
    writeAll(ini(), "[xtcs]\r\nA=old\r\nPad=" + big + "\r\n");
    for (int round = 0; round < 20; ++round) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // The writer never returns into the test framework: a failed
            // write ends it with its reason, which the parent reports.
            try {
                for (int i = 0;; ++i)
                    WriteProfileString(ini(), "xtcs", "A", i % 2 ? "old" : "new");
            } catch (const std::exception& e) {
                fprintf(stderr, "writer: %s\n", e.what());
            }
            _exit(3);
        }
        // Whatever the parent finds, the writer does not outlive the round.
        struct Reap {
            pid_t pid;
            ~Reap()
            {
                if (pid > 0) {
                    kill(pid, SIGKILL);
                    waitpid(pid, nullptr, 0);
                }
            }
        } reap{pid};
        for (int i = 0; i < 50; ++i) {
            const QString a = ReadProfileString(ini(), "xtcs", "A", "<none>");
            const QString pad = ReadProfileString(ini(), "xtcs", "Pad", "<none>");
            ASSERT_TRUE(a == "old" || a == "new") << a.toStdString();
            ASSERT_EQ(pad, QString::fromStdString(big));
        }
        int status = 0;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        reap.pid = -1;
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
        const QString a = ReadProfileString(ini(), "xtcs", "A", "<none>");
        ASSERT_TRUE(a == "old" || a == "new") << a.toStdString();
    }
    // The killed writers' temporaries go with the next write; nothing else
    // but the settings file's lock file is left in the folder.
    WriteProfileString(ini(), "xtcs", "A", "last");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              (QStringList{"vdmq.ini", "vdmq.ini.lock"}));
}

// Two programs writing keys at once: each write reads the file, changes one
// line and renames the result over it, so without a lock over the whole of
// it one writer's rename dropped the keys the other had just added (two
// writers of 300 keys each kept 152 and 159).  One writes through a
// symbolic link: the lock is the file's, not the name's.
TEST_F(Profile, TwoWritersKeepEachOthersKeys)
{
    constexpr int kKeys = 300;
    writeAll(ini(), "[xtcs]\r\nFile=x\r\n");
    const QString link = dir.filePath("link.ini");
    ASSERT_TRUE(QFile::link(ini(), link));
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            char c;
            close(go[1]);
            (void)!read(go[0], &c, 1);  // both start together
            try {
                for (int i = 0; i < kKeys; ++i)
                    WriteProfileString(w ? link : ini(), "vdmq", (w ? "B" : "A") + std::to_string(i),
                                       QString::number(i));
            } catch (const std::exception& e) {
                fprintf(stderr, "writer %d: %s\n", w, e.what());
                _exit(3);
            }
            _exit(0);
        }
    }
    close(go[0]);
    close(go[1]);  // end of file: go
    for (const pid_t pid : writers) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const TProfileSnapshot file = TProfileSnapshot::Load(ini());
    int kept = 0;
    for (const char* w : {"A", "B"})
        for (int i = 0; i < kKeys; ++i)
            kept += file.Read("vdmq", w + std::to_string(i), "") == QString::number(i);
    EXPECT_EQ(kept, 2 * kKeys);
    EXPECT_EQ(file.Read("xtcs", "File", ""), "x");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

// UTF-8 is taken for UTF-8 only when every byte sequence is valid: text in
// the system's code page that merely looks like it, overlong forms and
// encoded surrogates are GBK bytes, read and written back as they are.
TEST_F(Profile, Utf8WithoutBomOnlyWhenStrictlyValid)
{
    struct Case {
        std::string value;  // as it stands in the file
        std::string read;   // what ReadProfileString gives, in GB18030
        bool utf8;
    } cases[] = {
        {"人事局", gb("人事局"), true},
        {gb("人事局"), gb("人事局"), false},
        {"\xC0\xAF", "\xC0\xAF", false},            // overlong "/"
        {"\xED\xA0\x80x", "\xED\xA0\x80x", false},  // a surrogate
        {"\xE4\xBA", "\xE4\xBA", false},            // cut short
        {"abc", "abc", false},                      // ASCII: either; written in the system's code page
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.read);
        writeAll(ini(), "[xtcs]\nArea=" + c.value + "\n");
        EXPECT_EQ(ReadProfileString(ini(), "xtcs", "Area", "?"), fromGb(c.read));
        WriteProfileString(ini(), "xtcs", "File", QStringLiteral("澜坪"));
        EXPECT_EQ(readAll(ini()),
                  "[xtcs]\nArea=" + c.value + "\nFile=" + (c.utf8 ? std::string("澜坪") : gb("澜坪")) + "\n");
    }
}

}  // namespace
