#include <gtest/gtest.h>

#include "platform/gbtext.h"
#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
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
    WriteProfileString(ini(), "xtcs", "File", gb("澜人发(2007)71号"));
    WriteProfileString(ini(), "xtcs", "Start", "7");
    EXPECT_EQ(readAll(ini()), "[xtcs]\r\nFile=" + gb("澜人发(2007)71号") + "\r\nStart=7\r\n");
    EXPECT_EQ(ReadProfileString(ini(), "XTCS", "file", ""), gb("澜人发(2007)71号"));
}

// A file as a Windows machine writes it: CRLF, GBK bytes, other sections,
// comments, keys in another case.  Reading finds the values; a write
// changes exactly its own line.
TEST_F(Profile, WindowsFileKeepsEverythingElse)
{
    const std::string before =
        "; written by hand\r\n"
        "[Other]\r\n"
        "File=not this one\r\n"
        "\r\n"
        "[XTCS]\r\n"
        "  FILE = " + gb("澜人发(2007)71号") + "  \r\n"
        "; the area\r\n"
        "Area=" + gb("澜坪市人事局工资处制") + "\r\n"
        "Start=\r\n"
        "\r\n"
        "[tail]\r\n"
        "x=1";   // no final line ending
    writeAll(ini(), before);

    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "File", ""), gb("澜人发(2007)71号"));
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "area", ""), gb("澜坪市人事局工资处制"));
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "Start", "d"), "");   // present, empty
    EXPECT_FALSE(ReadProfileString(ini(), "xtcs", "x").has_value());  // other section
    EXPECT_EQ(ReadProfileString(ini(), "Tail", "X", ""), "1");

    WriteProfileString(ini(), "xtcs", "file", gb("新文号"));
    WriteProfileString(ini(), "xtcs", "End", "9");          // new key: end of its section
    WriteProfileString(ini(), "new", "k", "v");             // new section: end of file
    const std::string after =
        "; written by hand\r\n"
        "[Other]\r\n"
        "File=not this one\r\n"
        "\r\n"
        "[XTCS]\r\n"
        "FILE=" + gb("新文号") + "\r\n"
        "; the area\r\n"
        "Area=" + gb("澜坪市人事局工资处制") + "\r\n"
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
        "\"quoted\"", "a=b;c", gb("王㐀 [x]"), "  ", "",
        std::string("\x81\x5D", 2),   // a GBK character whose second byte is ']'
    };
    for (const std::string& v : values) {
        WriteProfileString(ini(), "xtcs", "B", v);
        std::string expect(v);
        while (!expect.empty() && expect.back() == ' ') expect.pop_back();
        while (!expect.empty() && expect.front() == ' ') expect.erase(0, 1);
        EXPECT_EQ(ReadProfileString(ini(), "xtcs", "B", "?"), expect);
    }
    EXPECT_EQ(readAll(ini()).find('\r'), std::string::npos);   // stays LF
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
    EXPECT_EQ(ReadProfileString(ini(), "xtcs", "Area", ""), gb("澜坪"));
    WriteProfileString(ini(), "xtcs", "Area", gb("人事局"));
    EXPECT_EQ(readAll(ini()), "\xEF\xBB\xBF[xtcs]\r\nArea=人事局\r\n");
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
    // No temporary file is left behind.
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
            ~Reap() { if (pid > 0) { kill(pid, SIGKILL); waitpid(pid, nullptr, 0); } }
        } reap{pid};
        for (int i = 0; i < 50; ++i) {
            const std::string a = ReadProfileString(ini(), "xtcs", "A", "<none>");
            const std::string pad = ReadProfileString(ini(), "xtcs", "Pad", "<none>");
            ASSERT_TRUE(a == "old" || a == "new") << a;
            ASSERT_EQ(pad, big);
        }
        int status = 0;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        reap.pid = -1;
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
        const std::string a = ReadProfileString(ini(), "xtcs", "A", "<none>");
        ASSERT_TRUE(a == "old" || a == "new") << a;
    }
}

}  // namespace
