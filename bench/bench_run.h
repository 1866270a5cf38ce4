#pragma once
// What the benchmarks of the print run share: the program started without a
// display, the row range from the command line, the settings record as a
// first start fills it (with a fixed print date), and the roster opened
// through the run's own row source.
#include "app/core/printrun.h"
#include "app/core/settings.h"
#include "form/RosterColumns.h"
#include "platform/gbtext.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vdmq::bench {

// The forms are laid out with the real fonts, with or without a display.
inline bool UseOffscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

// The program: the application, and the rows to take -- FIRST and LAST
// after the roster (argv[2], argv[3]), else the first data row to the
// 3,000th row after it (scripts/bench-batch's roster).  `usage` is said when
// there is no roster (Usage()).
struct Program {
    Program(int& argc, char** argv, const char* usage)
        : offscreen(UseOffscreenWithoutDisplay()), app(argc, argv), hasRoster(argc >= 2), usage(usage)
    {
        if (argc > 3) {
            first = std::atoi(argv[2]);
            last = std::atoi(argv[3]);
        }
    }
    int Usage() const
    {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    bool offscreen;
    QGuiApplication app;
    bool hasRoster;
    const char* usage;
    int first = col::FirstDataRow;
    int last = col::FirstDataRow + 2999;
};

class RosterRun {
public:
    RosterRun() : vdcs_(DefaultVdcs()), source_(vdcs_, rows_, [] { return QString::number(kDefaultOpinionWidth); })
    {
        vdcs_.PrintDate = QDate(2009, 7, 1);
    }
    // Opens the roster at `path` (a command-line argument); says how long it took.
    void Open(const char* path)
    {
        QElapsedTimer t;
        t.start();
        rows_.Open(toGb(QString::fromLocal8Bit(path)));
        rows_.FirstSheet();
        std::printf("roster open                  %8.1f ms\n", double(t.nsecsElapsed()) / 1e6);
    }
    ~RosterRun() { rows_.Close(); }
    RosterRun(const RosterRun&) = delete;
    RosterRun& operator=(const RosterRun&) = delete;

    TRosterRows& Rows() { return rows_; }
    TRunFillSource& Source() { return source_; }

private:
    TVdcs vdcs_;
    TRosterRows rows_;
    TRunFillSource source_;
};

}  // namespace vdmq::bench
