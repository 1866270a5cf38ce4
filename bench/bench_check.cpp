// The check before paper over a long roster: the roster opened, then every
// row of the range checked as the run checks it before its first form
// (flag read, flagged rows prepared and measured).  Wall and CPU time; the
// goal is 3,000 rows with 1,500 flagged in under a second.  End-to-end
// figures of vdmq-print --check come from scripts/bench-batch, which also
// runs this.
//
//   bench_check ROSTER.xls [FIRST LAST [ROUNDS]]
#include "bench/bench_run.h"
#include "form/VdPrnCheck.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace vdmq;

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    const bench::Program program(argc, argv, "bench_check ROSTER.xls [FIRST LAST [ROUNDS]]");
    if (!program.hasRoster)
        return program.Usage();
    const int first = program.first, last = program.last;
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    bench::RosterRun run;
    run.Open(argv[1]);
    TRunFillSource& source = run.Source();
    QElapsedTimer t;

    // Each round as a run does it: a fresh check (one holder), every row.
    std::vector<double> wall, cpu;
    TCheckReport report;
    for (int i = 0; i < rounds; ++i) {
        t.restart();
        const double c0 = cpuSeconds();
        TFormCheck check(source);
        report = check.CheckRows(first, last);
        wall.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back((cpuSeconds() - c0) * 1000);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("rows %d-%d: %d read, %d flagged, %d problems in %d rows\n", first, last, report.rowsRead,
                report.flaggedRows, int(report.problems.size()), report.RowsWithProblems());
    std::printf("check, %d rounds             wall: best %.1f ms, median %.1f ms;  cpu: best %.1f ms, median %.1f ms"
                "  (goal < 1000 ms)\n",
                rounds, wall.front(), wall[wall.size() / 2], cpu.front(), cpu[cpu.size() / 2]);
    std::printf("per flagged row              %.3f ms wall (median)\n",
                report.flaggedRows ? wall[wall.size() / 2] / report.flaggedRows : 0.0);
    return wall[wall.size() / 2] < 1000 ? 0 : 1;
}
