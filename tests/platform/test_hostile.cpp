// The hostile-workbook set (hostile_files.h), made afresh and read the way
// a print run reads a roster.  Every one must open or be refused with its
// reason -- never crash, never run away.  Each is read in a child process
// with limits far above the reader's goal (2 s, 300 MB) and far below what
// these files cost before they were bounded (31 s for the style table,
// minutes for the attributes, 1.6 GB for the zip bomb, a crash for the
// directory chain), so a regression shows as a failure here rather than
// as a slow suite.  The figures themselves come from bench/bench_hostile.
#include <gtest/gtest.h>

#include "hostile_files.h"
#include "platform/roster.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vdmq::roster;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct Outcome {
    bool opened = false;
    std::string text;  // the refusal, or "rows N"
    int rows = 0;
    std::string cell72, cell71;  // B7 and A7 as text
    bool date72 = false;
};

Outcome readAsARun(const std::vector<std::uint8_t>& bytes)
{
    Outcome o;
    try {
        auto book = openWorkbookFromMemory(bytes.data(), bytes.size());
        const Sheet& sh = book->firstSheet();
        o.opened = true;
        o.rows = sh.rowCount();
        for (int r = 1; r <= sh.rowCount(); ++r) {
            try {
                if (cellText(sh.cell(r, 28), book->dates1904(), r, 28) == "1")
                    for (int c = 1; c <= 33; ++c)
                        (void)cellText(sh.cell(r, c), book->dates1904(), r, c);
            } catch (const CellConversionError&) {
            }
        }
        o.cell71 = cellText(sh.cell(7, 1), book->dates1904(), 7, 1);
        o.cell72 = cellText(sh.cell(7, 2), book->dates1904(), 7, 2);
        o.date72 = sh.cell(7, 2).isDate;
    } catch (const RosterError& e) {
        o.text = e.what();
    }
    return o;
}

// The data segment of this process (VmData), in bytes.
rlim_t dataNow()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmData: %ld kB", &kb) == 1)
            break;
    if (f)
        std::fclose(f);
    return rlim_t(kb) * 1024;
}

// Runs `name` in a child with a processor-time limit and (without the
// sanitizers, whose shadow memory counts) a data-size limit.
Outcome inChild(const std::string& name, int& status)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::vector<std::uint8_t> bytes = hostile::Make(name);
        // The reading may take 256 MB beyond what the process holds now
        // (the file's bytes among it): the goal is 300 MB in all.
        const rlim_t cpu = kSanitized ? 90 : 10;
        const rlim_t data = dataNow() + (256ull << 20);
        const struct rlimit cpuLimit {
            cpu, cpu + 5
        }, dataLimit{data, data};
        setrlimit(RLIMIT_CPU, &cpuLimit);
        if (!kSanitized)
            setrlimit(RLIMIT_DATA, &dataLimit);
        Outcome o;
        try {
            o = readAsARun(bytes);
        } catch (const std::exception& e) {
            o.text = std::string("escaped the reader: ") + e.what();  // std::bad_alloc: over the limit
        }
        const std::string msg = std::string(o.opened ? "1" : "0") + (o.date72 ? "1" : "0") + "\n" +
                                std::to_string(o.rows) + "\n" + o.cell71 + "\n" + o.cell72 + "\n" + o.text;
        if (write(fds[1], msg.data(), msg.size()) < 0)
            _exit(3);
        _exit(0);
    }
    close(fds[1]);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        got.append(buf, std::size_t(n));
    close(fds[0]);
    waitpid(pid, &status, 0);
    Outcome o;
    if (got.size() < 3)
        return o;
    o.opened = got[0] == '1';
    o.date72 = got[1] == '1';
    std::size_t at = 3;
    auto line = [&] {
        const std::size_t e = got.find('\n', at);
        std::string l = got.substr(at, e == std::string::npos ? std::string::npos : e - at);
        at = e == std::string::npos ? got.size() : e + 1;
        return l;
    };
    o.rows = std::atoi(line().c_str());
    o.cell71 = line();
    o.cell72 = line();
    o.text = got.substr(at);
    return o;
}

}  // namespace

TEST(Hostile, EveryShapeOpensOrIsRefusedWithItsReason)
{
    for (const hostile::Case& c : hostile::Cases()) {
        SCOPED_TRACE(c.name + ": " + c.what);
        int status = 0;
        const Outcome o = inChild(c.name, status);
        const bool ended = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        EXPECT_TRUE(ended) << (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU ? "ran out of processor time"
                               : WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                                     : "exit " + std::to_string(WEXITSTATUS(status)));
        if (!ended)
            continue;
        EXPECT_EQ(o.opened, c.opens) << o.text;
        if (!c.opens) {
            EXPECT_NE(o.text.find(c.phrase), std::string::npos) << o.text;
        }
        // Where the file opens, what it holds came through as it was.
        if (c.name == "xls-xf-format") {
            // Style 0 shows format 164, "0.0"; style 1 format 8083, "yyyy-mm".
            EXPECT_EQ(o.cell71, "600");
            EXPECT_TRUE(o.date72);
        }
        if (c.name == "xls-continue-flood") {
            EXPECT_EQ(o.cell72, "x");
        }
        if (c.name == "xlsx-member-flood") {
            EXPECT_EQ(o.cell71, "1");
        }
        if (c.name == "xlsx-row-numbers") {
            // Rows past the sheet's end do not land in the rows before.
            EXPECT_EQ(o.rows, 7);
            EXPECT_EQ(o.cell71, "");
            EXPECT_EQ(o.cell72, "ok");
        }
    }
}

// libgsf writes some complaints about damaged files straight to stderr
// (g_printerr: "Header is 0x… Expected 0x…"), and GLib adds criticals; the
// user is to see the reader's reason only.
TEST(Hostile, LibgsfAndGlibSayNothingOnStderr)
{
    std::vector<std::vector<std::uint8_t>> damaged;
    {
        // A zip whose sheet's local header does not start with its signature.
        auto z = hostile::Zip(hostile::XlsxParts({"xl/worksheets/sheet1.xml", "<worksheet/>", {}, 0, {}}));
        const std::string sheetName = "xl/worksheets/sheet1.xml";
        for (std::size_t i = 0; i + 30 < z.size(); ++i)
            if (z[i] == 'P' && z[i + 1] == 'K' && z[i + 2] == 3 && z[i + 3] == 4 &&
                std::string(z.begin() + std::ptrdiff_t(i) + 30,
                            z.begin() + std::ptrdiff_t(i + 30 + sheetName.size())) == sheetName)
                z[i + 2] = 9;
        damaged.push_back(z);
        // A compound file cut in the middle of its directory.
        auto ole = hostile::OleWrap(std::vector<std::uint8_t>(5000, 0));
        ole.resize(ole.size() - 2048);
        damaged.push_back(ole);
    }
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    ASSERT_NE(capture, nullptr);
    const int saved = dup(2);
    dup2(fileno(capture), 2);
    std::vector<std::string> reasons;
    for (const auto& bytes : damaged) {
        try {
            openWorkbookFromMemory(bytes.data(), bytes.size());
            reasons.emplace_back("opened");
        } catch (const RosterError& e) {
            reasons.emplace_back(e.what());
        }
    }
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string said;
    std::rewind(capture);
    for (int ch; (ch = std::fgetc(capture)) != EOF;)
        said += char(ch);
    std::fclose(capture);
    EXPECT_EQ(said, "");
    for (const std::string& r : reasons)
        EXPECT_NE(r.find("不是Excel工作簿"), std::string::npos) << r;
}
