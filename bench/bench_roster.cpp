// Reads generated rosters (scripts/bench-roster writes them: 10,000 rows x
// 40 columns, .xls and .xlsx) and prints the time of a whole read, rows per
// second and peak memory.
//   bench_roster FILE... [--repeat N]
#include "platform/roster.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace vdmq::roster;
    std::vector<std::string> files;
    int repeat = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            files.emplace_back(argv[i]);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: bench_roster FILE... [--repeat N]  (scripts/bench-roster makes the files)\n");
        return 2;
    }
    for (const std::string& f : files) {
        double bestOpen = 1e9, bestAll = 1e9;
        int rows = 0, cols = 0;
        std::size_t bytes = 0;
        for (int k = 0; k < repeat; ++k) {
            auto t0 = std::chrono::steady_clock::now();
            std::unique_ptr<Workbook> book;
            try {
                book = openWorkbook(f);
            } catch (const RosterError& e) {
                std::fprintf(stderr, "%s: %s\n", f.c_str(), e.what());
                return 1;
            }
            const Sheet& sh = book->firstSheet();
            auto t1 = std::chrono::steady_clock::now();
            // and every cell as text, as a print run over all rows would
            rows = sh.rowCount();
            cols = sh.columnCount();
            bytes = 0;
            for (int r = 1; r <= rows; ++r)
                for (int c = 1; c <= cols; ++c) {
                    try {
                        bytes += cellText(sh.cell(r, c), book->dates1904(), r, c).size();
                    } catch (const CellConversionError&) {
                    }
                }
            auto t2 = std::chrono::steady_clock::now();
            bestOpen = std::min(bestOpen, std::chrono::duration<double>(t1 - t0).count());
            bestAll = std::min(bestAll, std::chrono::duration<double>(t2 - t0).count());
        }
        struct rusage ru {};
        getrusage(RUSAGE_SELF, &ru);
        std::printf("%s: %d rows x %d columns, %zu bytes of text\n", f.c_str(), rows, cols, bytes);
        std::printf("  open+parse  %8.1f ms  %10.0f rows/s\n", bestOpen * 1e3, rows / bestOpen);
        std::printf("  +every cell %8.1f ms  %10.0f rows/s\n", bestAll * 1e3, rows / bestAll);
        std::printf("  peak RSS so far %ld KiB\n", ru.ru_maxrss);
        std::printf("RESULT %s open_ms=%.3f all_ms=%.3f\n", f.c_str(), bestOpen * 1e3, bestAll * 1e3);
    }
    return 0;
}
