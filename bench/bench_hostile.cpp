// The hostile-workbook set (tests/platform/hostile_files.h): writes each
// file, reads it in a fresh process the way a print run does (open, the
// flag column of every row, every column of a flagged row as text), and
// prints the wall time, the peak memory and what the reader said.  Goal:
// a clear message (or the workbook) within 2 s and 300 MB for every one.
//   bench_hostile [CASE...]          all cases, or the ones named
//   bench_hostile --keep DIR [CASE...]  also keep the files in DIR
//   bench_hostile --seeds DIR        every shape a hundred times smaller (fuzzing seeds)
#include "platform/roster.h"
#include "tests/platform/hostile_files.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The child: one file, as the print run reads it.
int readOne(const char* path, const char* resultFile)
{
    using namespace vdmq::roster;
    std::string outcome;
    try {
        auto book = openWorkbook(path);
        const Sheet& sh = book->firstSheet();
        std::size_t bytes = 0, flagged = 0;
        for (int r = 1; r <= sh.rowCount(); ++r) {
            try {
                if (cellText(sh.cell(r, 28), book->dates1904(), r, 28) != "1")
                    continue;
                ++flagged;
                for (int c = 1; c <= 33; ++c)
                    bytes += cellText(sh.cell(r, c), book->dates1904(), r, c).size();
            } catch (const CellConversionError&) {
            }
        }
        outcome = "opened: " + std::to_string(sh.rowCount()) + " rows, " + std::to_string(flagged) + " flagged";
    } catch (const std::exception& e) {
        outcome = e.what();
    }
    // The child's own high-water mark (what wait4 reports would include
    // the parent's memory at the fork).
    long peakKb = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            peakKb = std::atol(line.c_str() + 6);
    std::ofstream(resultFile) << peakKb << "\n" << outcome;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--one") == 0)
        return readOne(argv[2], argv[3]);

    if (argc == 3 && std::strcmp(argv[1], "--seeds") == 0) {
        // Every shape a hundred times smaller, as fuzzing seeds.
        for (const hostile::Case& c : hostile::Cases()) {
            const std::vector<std::uint8_t> bytes = hostile::Make(c.name, 0.01);
            std::ofstream(std::string(argv[2]) + "/" + c.name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        return 0;
    }
    std::string keep;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc)
            keep = argv[++i];
        else
            names.emplace_back(argv[i]);
    }
    if (names.empty())
        for (const hostile::Case& c : hostile::Cases())
            names.push_back(c.name);

    char tmpl[] = "/tmp/vdmq-hostile-XXXXXX";
    const std::string dir = keep.empty() ? std::string(mkdtemp(tmpl)) : keep;
    const std::string resultFile = dir + "/result.txt";
    std::printf("%-26s %10s %9s %9s  %s\n", "input", "bytes", "time", "peak", "what the reader said");
    int missed = 0;
    for (const std::string& name : names) {
        const std::string file = dir + "/" + name + (name.rfind("xlsx", 0) == 0 ? ".xlsx" : ".xls");
        std::size_t size = 0;
        {
            const std::vector<std::uint8_t> bytes = hostile::Make(name);
            size = bytes.size();
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        std::remove(resultFile.c_str());
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            // A runaway input must not take the machine: one minute of
            // processor time and 3 GB at most.
            const struct rlimit cpu {
                60, 65
            }, mem{3ull << 30, 3ull << 30};
            setrlimit(RLIMIT_CPU, &cpu);
            setrlimit(RLIMIT_AS, &mem);
            execl("/proc/self/exe", argv[0], "--one", file.c_str(), resultFile.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::string said, peak;
        {
            std::ifstream result(resultFile);
            std::getline(result, peak);
            std::getline(result, said);
        }
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)
            said = "STOPPED after a minute of processor time";
        else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            said = "CRASHED (status " + std::to_string(status) + ")";
        const double peakMb = std::atol(peak.c_str()) / 1024.0;
        const bool met = seconds < 2 && peakMb < 300 && said.rfind("CRASHED", 0) != 0 && said.rfind("STOPPED", 0) != 0;
        missed += !met;
        std::printf("%-26s %10zu %7.2f s %6.0f MB  %s%s\n", name.c_str(), size, seconds, peakMb, said.c_str(),
                    met ? "" : "   <-- GOAL MISSED");
        std::fflush(stdout);
        if (keep.empty())
            std::remove(file.c_str());
    }
    std::remove(resultFile.c_str());
    if (keep.empty())
        rmdir(dir.c_str());
    std::printf(missed ? "%d input(s) missed the goal of 2 s and 300 MB\n"
                       : "goal met: every input within 2 s and 300 MB\n",
                missed);
    return missed ? 1 : 0;
}
