// The print run's steps, with a scripted row source and host, and over the
// real roster reader on generated rosters.
#include "app/core/printrun.h"
#include "form/PubFunc.h"
#include "platform/gbtext.h"
#include <QPointer>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <vector>

using namespace vdmq;

namespace {

// Every call goes into one log, so the order of the steps can be checked.
struct Log {
    std::vector<std::string> events;
    void add(std::string e) { events.push_back(std::move(e)); }
    int count(const std::string& prefix) const
    {
        int n = 0;
        for (auto& e : events)
            n += e.rfind(prefix, 0) == 0;
        return n;
    }
    int indexOf(const std::string& prefix) const
    {
        for (size_t i = 0; i < events.size(); ++i)
            if (events[i].rfind(prefix, 0) == 0)
                return int(i);
        return -1;
    }
};

struct FakeRows : TRowSource {
    Log& log;
    std::map<int, std::string> flags;  // row -> flag cell text
    bool failOpen = false, failAttach = false;
    int failCellRow = 0;
    explicit FakeRows(Log& l) : log(l) {}
    void Open(const std::string& p) override
    {
        log.add("open " + p);
        if (failOpen)
            throw std::runtime_error("missing");
    }
    void FirstSheet() override
    {
        log.add("attach");
        if (failAttach)
            throw std::runtime_error("chart");
    }
    QString CellText(int row, int col) const override
    {
        log.add("cell " + std::to_string(row) + "," + std::to_string(col));
        if (row == failCellRow)
            throw std::runtime_error("bad cell");
        auto it = flags.find(row);
        return it == flags.end() ? QString() : QString::fromStdString(it->second);
    }
    void Close() override { log.add("close"); }
};

struct FakeHost : TPrintRunHost {
    Log& log;
    TRunEntries entries;
    bool keepGoing = false;
    int failOutputRow = 0;
    std::function<void(int row)> duringOutput;
    std::vector<QPointer<TApprovalForm>> forms;
    explicit FakeHost(Log& l) : log(l) { entries = {"7", "7", gb("澜人发(2009)1号"), gb("人事局"), QDate(2010, 3, 4)}; }
    TRunEntries ReadEntries() override { return entries; }
    QString OpinionWidthText() override { return QStringLiteral("78"); }
    void OutputForm(TApprovalForm& form, TRunMode mode, int row) override
    {
        forms.emplace_back(&form);
        log.add("output " + std::to_string(row) + " mode " + std::to_string(int(mode)) + " cur " +
                std::to_string(form.Source->CurRow()));
        if (duringOutput)
            duringOutput(row);
        if (row == failOutputRow)
            throw EConvertError(QStringLiteral("x"));
    }
    void MessageBox(const std::string& t, const std::string& d) override { log.add("box " + t + "|" + d); }
    void ShowError(const std::string& m, int row) override { log.add("error " + m + " row " + std::to_string(row)); }
    bool RowFailed(int row, const std::string&) override
    {
        log.add("failed " + std::to_string(row));
        return keepGoing;
    }
    void RunStateChanged(bool r) override { log.add(r ? "running" : "idle"); }
};

struct Fixture {
    Log log;
    FakeRows reader{log};
    FakeHost host{log};
    TVdcs vdcs;
    TPrintRun run{vdcs, reader, host};
    Fixture()
    {
        vdcs.RosterPath = "r.xls";
        vdcs.StartRow = 1;
        vdcs.EndRow = 1;
    }
};

// A host that asks for the count of forms, notes what it is told, and may
// decline to begin.
struct CountingHost : FakeHost {
    using FakeHost::FakeHost;
    bool begin = true;
    std::vector<int> begun;
    std::vector<std::string> announced;
    bool CountsForms() const override { return true; }
    bool BeginOutput(int total) override
    {
        begun.push_back(total);
        return begin;
    }
    void Progress(const TRunProgress& p) override
    {
        if (p.outputting)
            announced.push_back(std::to_string(p.formsDone + 1) + "/" + std::to_string(p.formsTotal) + " row " +
                                std::to_string(p.row));
    }
};

// Rows 7, 9 and 10 of 7..12 flagged, for a counting host.
struct CountedRun {
    Log log;
    FakeRows reader{log};
    CountingHost host{log};
    TVdcs vdcs;
    TPrintRun run{vdcs, reader, host};
    CountedRun()
    {
        reader.flags = {{7, "1"}, {9, "1"}, {10, "1"}};
        host.entries.end = "12";
    }
};

}  // namespace

TEST(PrintRun, FlagIsTheTrimmedTextOne)
{
    struct Case {
        std::string flag;
        bool selected;
    } cases[] = {
        {"1", true},  {" 1 ", true}, {"\t1\r\n", true}, {"01", false}, {"1.0", false},
        {"2", false}, {"", false},   {"1 1", false},    {"l", false},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.reader.flags[7] = c.flag;
        TRunResult r = f.run.Run(TRunMode::Print);
        EXPECT_EQ(r.forms, c.selected ? 1 : 0) << "flag '" << c.flag << "'";
        EXPECT_EQ(f.log.count("box") + f.log.count("error"), 0) << c.flag;
    }
}

TEST(PrintRun, RangeStepsAndOrder)
{
    struct Case {
        const char *start, *end;
        int reads, forms;
    } cases[] = {
        {"7", "7", 1, 1},
        {"7", "9", 3, 2},
        {"10", "8", 0, 0},
        // Rows below 1 hold nothing: the walk starts at row 1, however low
        // the start (the lowest one walked two billion rows).
        {"-3", "-3", 0, 0},
        {"-2147483648", "7", 7, 1},
        {"0", "2", 2, 0},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.reader.flags = {{7, "1"}, {9, "1"}};
        f.host.entries.start = c.start;
        f.host.entries.end = c.end;
        TRunResult r = f.run.Run(TRunMode::Print);
        EXPECT_EQ(r.status, TRunStatus::Done);
        EXPECT_EQ(f.log.count("cell"), c.reads) << c.start << ".." << c.end;
        EXPECT_EQ(r.forms, c.forms);
        // Started, opened, attached and released even when no cell is read.
        EXPECT_EQ(f.log.events.front(), "running");
        EXPECT_EQ(f.log.events[1], "open r.xls");
        EXPECT_LT(f.log.indexOf("open"), f.log.indexOf("attach"));
        EXPECT_EQ(f.log.events[f.log.events.size() - 2], "close");
        EXPECT_EQ(f.log.events.back(), "idle");
        for (auto& form : f.host.forms)
            EXPECT_TRUE(form.isNull()) << "holder kept after its form went out";
    }
    Fixture f;
    f.reader.flags = {{7, "1"}, {9, "1"}};
    f.host.entries.end = "9";
    f.run.Run(TRunMode::Preview);
    EXPECT_GE(f.log.indexOf("output 7 mode 0 cur 7"), 0);
    EXPECT_LT(f.log.indexOf("output 7 mode 0 cur 7"), f.log.indexOf("output 9 mode 0 cur 9"));
    EXPECT_EQ(f.run.CurRow(), 9);
}

TEST(PrintRun, EntriesTakenAtTheStart)
{
    Fixture f;
    f.run.Run(TRunMode::Print);
    EXPECT_EQ(f.vdcs.DocNo, gb("澜人发(2009)1号"));
    EXPECT_EQ(f.vdcs.IssuedBy, gb("人事局"));
    EXPECT_EQ(f.run.FillSource().PrintDate(), QDate(2010, 3, 4));
    EXPECT_EQ(f.vdcs.StartRow, 7);
}

TEST(PrintRun, BadRowFieldsStopBeforeAnythingElse)
{
    struct Case {
        const char *start, *end;
        int startAfter, endAfter;
        std::string msg;
    } cases[] = {
        {"abc", "9", 1, 1, "'abc' is not a valid integer value"},
        {"8", "", 8, 1, "'' is not a valid integer value"},
        {"8", "9x", 8, 1, "'9x' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.host.entries.start = c.start;
        f.host.entries.end = c.end;
        TRunResult r = f.run.Run(TRunMode::Preview);
        EXPECT_EQ(r.status, TRunStatus::ConvertError);
        EXPECT_EQ(f.log.events, std::vector<std::string>{"error " + c.msg + " row 0"});
        EXPECT_EQ(f.vdcs.StartRow, c.startAfter);
        EXPECT_EQ(f.vdcs.EndRow, c.endAfter);
    }
}

TEST(PrintRun, FailuresReleaseTheReaderBeforeTheMessage)
{
    struct Case {
        const char* name;
        std::function<void(Fixture&)> setup;
        TRunStatus status;
        std::string shown;
        int forms;
    } cases[] = {
        {"open", [](Fixture& f) { f.reader.failOpen = true; }, TRunStatus::OpenFailed,
         "box " + gb("请选择EXCEL数据表格！") + "|missing", 0},
        {"attach", [](Fixture& f) { f.reader.failAttach = true; }, TRunStatus::Failed, "error chart row 0", 0},
        {"cell", [](Fixture& f) { f.reader.failCellRow = 8; }, TRunStatus::Failed, "error bad cell row 8", 1},
        {"form", [](Fixture& f) { f.host.failOutputRow = 9; }, TRunStatus::Failed,
         "error 'x' is not a valid integer value row 9", 1},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.reader.flags = {{7, "1"}, {9, "1"}, {10, "1"}};
        f.host.entries.end = "10";
        c.setup(f);
        TRunResult r = f.run.Run(TRunMode::Print);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.forms, c.forms) << c.name;
        ASSERT_GE(f.log.indexOf(c.shown), 0) << c.name;
        EXPECT_EQ(f.log.indexOf("close"), f.log.indexOf(c.shown) - 1) << c.name;
        EXPECT_EQ(f.log.count("cell 10"), 0) << c.name << ": went on after the error";
        EXPECT_EQ(f.log.count("open"), 1);
    }
}

TEST(PrintRun, KeepGoingSkipsFailedRows)
{
    Fixture f;
    f.reader.flags = {{7, "1"}, {9, "1"}, {10, "1"}};
    f.reader.failCellRow = 8;
    f.host.failOutputRow = 9;
    f.host.keepGoing = true;
    f.host.entries.end = "10";
    TRunResult r = f.run.Run(TRunMode::Print);
    EXPECT_EQ(r.status, TRunStatus::Done);
    EXPECT_EQ(r.forms, 2);
    EXPECT_EQ(r.failedRows, 2);
    EXPECT_EQ(f.log.count("failed"), 2);
    EXPECT_EQ(f.log.count("error"), 0);
}

// Start while a run is open is refused; a stop ends the run before its next
// form and does not carry over to the next run.
TEST(PrintRun, ReentryAndStop)
{
    Fixture f;
    f.reader.flags = {{7, "1"}, {8, "1"}, {9, "1"}};
    f.host.entries.end = "9";
    f.host.duringOutput = [&](int row) {
        if (row != 7)
            return;
        EXPECT_THROW(f.run.Start(TRunMode::Print), std::logic_error);
        f.run.Stop();
    };
    TRunResult r = f.run.Run(TRunMode::Preview);
    EXPECT_EQ(f.log.count("open"), 1);
    EXPECT_EQ(r.status, TRunStatus::Stopped);
    EXPECT_EQ(r.forms, 1);
    EXPECT_EQ(r.lastRow, 7);
    EXPECT_EQ(f.log.count("close"), 1);
    EXPECT_FALSE(f.run.Running());
    f.host.duringOutput = nullptr;
    EXPECT_EQ(f.run.Run(TRunMode::Print).forms, 3);
}

// The run as a cursor, as the main window drives it: the holder of each
// flagged row in turn with its place in the run, the roster held until the
// run is over, a stop after the range's last row no stop, and a failed form
// the end of the run at once.
TEST(PrintRun, CursorGivesTheFlaggedRowsInTurn)
{
    enum class At9 { Done, Stop, Fail };
    struct Case {
        const char* what;
        const char* end;
        At9 at9;
        std::vector<std::string> given;
        TRunStatus status;
        int lastRow;
    };
    const Case cases[] = {
        {"to the end", "12", At9::Done, {"7 1/3", "9 2/3", "10 3/3"}, TRunStatus::Done, 12},
        {"stopped", "12", At9::Stop, {"7 1/3", "9 2/3"}, TRunStatus::Stopped, 9},
        {"stopped at the last row", "9", At9::Stop, {"7 1/2", "9 2/2"}, TRunStatus::Done, 9},
        {"failed", "12", At9::Fail, {"7 1/3", "9 2/3"}, TRunStatus::Failed, 8},
    };
    for (const Case& c : cases) {
        CountedRun f;
        f.host.entries.end = c.end;
        TPrintRun& run = f.run;
        const Log& log = f.log;
        ASSERT_TRUE(run.Start(TRunMode::Preview)) << c.what;
        std::vector<std::string> given;
        while (std::unique_ptr<TApprovalForm> form = run.NextForm()) {
            EXPECT_EQ(form->Source->CurRow(), run.CurRow());
            given.push_back(std::to_string(run.CurRow()) + " " + std::to_string(run.Position()) + "/" +
                            std::to_string(run.Result().formsTotal));
            EXPECT_EQ(log.count("close"), 0) << c.what << ": the roster let go while a form was out";
            if (run.CurRow() == 9 && c.at9 == At9::Fail) {
                run.FormFailed(std::make_exception_ptr(std::runtime_error("bad form")));
                continue;
            }
            run.FormDone();
            if (run.CurRow() == 9 && c.at9 == At9::Stop)
                run.Stop();
        }
        EXPECT_EQ(given, c.given) << c.what;
        EXPECT_EQ(run.Result().status, c.status) << c.what;
        EXPECT_EQ(run.Result().lastRow, c.lastRow) << c.what;
        EXPECT_FALSE(run.Running()) << c.what;
        EXPECT_EQ(log.count("close"), 1) << c.what;
        EXPECT_EQ(log.events.back(), "idle") << c.what;
        EXPECT_EQ(run.NextForm(), nullptr) << c.what;
    }
}

// A host that asks for the count learns it before the first form, may
// decline to begin, and sees each form announced as k of n with its row.
TEST(PrintRun, FormsCountedBeforeTheFirstGoesOut)
{
    struct Case {
        bool begin;
        int failCell;
        TRunStatus status;
        std::vector<int> begun;
        std::vector<std::string> announced;
        int lastRow, lastFormRow;
    };
    const Case cases[] = {
        {true, 0, TRunStatus::Done, {3}, {"1/3 row 7", "2/3 row 9", "3/3 row 10"}, 12, 10},
        {false, 0, TRunStatus::NotBegun, {3}, {}, 0, 0},
        // An unreadable flag counts as no form; the loop reports it.
        {true, 9, TRunStatus::Failed, {2}, {"1/2 row 7"}, 8, 7},
    };
    for (const Case& c : cases) {
        CountedRun f;
        f.reader.failCellRow = c.failCell;
        f.host.begin = c.begin;
        const TRunResult r = f.run.Run(TRunMode::Print);
        const CountingHost& host = f.host;
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.formsTotal, c.begun[0]);
        EXPECT_EQ(host.begun, c.begun);
        EXPECT_EQ(host.announced, c.announced);
        EXPECT_EQ(r.lastRow, c.lastRow);
        EXPECT_EQ(r.lastFormRow, c.lastFormRow);
        EXPECT_EQ(f.log.count("close"), 1);
    }
}

// Over the real reader: the flag cells as a spreadsheet stores them.
TEST(PrintRun, RealRosters)
{
    struct Case {
        const char* file;
        const char *start, *end;
        TRunStatus status;
        std::vector<int> rows;
        int errorRow;
    } cases[] = {
        {"flags.xls", "7", "15", TRunStatus::Done, {7, 11, 13, 15}, 0},
        {"flags.xls", "1", "99999999", TRunStatus::Done, {7, 11, 13, 15}, 0},
        {"three.xls", "11", "7", TRunStatus::Done, {}, 0},
        {"errors.xls", "7", "12", TRunStatus::Failed, {7, 8}, 9},
        {"not_a_roster.xls", "7", "7", TRunStatus::OpenFailed, {}, 0},
        {"missing.xls", "7", "7", TRunStatus::OpenFailed, {}, 0},
    };
    for (const Case& c : cases) {
        Log log;
        FakeHost host(log);
        host.entries.start = c.start;
        host.entries.end = c.end;
        TRosterRows roster;
        TVdcs vdcs;
        vdcs.RosterPath = gb(std::string(VDMQ_TESTDATA "/printrun/") + c.file);
        TPrintRun run(vdcs, roster, host);
        TRunResult r = run.Run(TRunMode::Print);
        EXPECT_EQ(r.status, c.status) << c.file;
        std::vector<int> rows;
        for (auto& e : log.events)
            if (e.rfind("output ", 0) == 0)
                rows.push_back(std::stoi(e.substr(7)));
        EXPECT_EQ(rows, c.rows) << c.file;
        EXPECT_EQ(r.errorRow, c.errorRow) << c.file;
        EXPECT_FALSE(roster.IsOpen()) << c.file;
        EXPECT_FALSE(roster.Sheet()) << c.file;
        if (c.status == TRunStatus::OpenFailed) {
            EXPECT_FALSE(r.detail.empty()) << "no reason given for " << c.file;
        }
    }
}
