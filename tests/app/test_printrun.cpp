// The print run's steps, with a scripted reader and host, and over the real
// reader on generated rosters.
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

struct FakeReader : TRunReader {
    Log& log;
    std::map<int, std::string> flags;  // row -> flag cell text
    bool failConnect = false, failOpen = false, failAttach = false;
    int failCellRow = 0;
    explicit FakeReader(Log& l) : log(l) {}
    void Connect() override
    {
        log.add("connect");
        if (failConnect)
            throw std::runtime_error("no reader");
    }
    void Open(const std::string& p) override
    {
        log.add("open " + p);
        if (failOpen)
            throw std::runtime_error("missing");
    }
    void AttachFirstSheet() override
    {
        log.add("attach");
        if (failAttach)
            throw std::runtime_error("chart");
    }
    std::string CellText(int row, int col) const override
    {
        log.add("cell " + std::to_string(row) + "," + std::to_string(col));
        if (row == failCellRow)
            throw std::runtime_error("bad cell");
        auto it = flags.find(row);
        return it == flags.end() ? std::string() : it->second;
    }
    void Disconnect() override { log.add("disconnect"); }
};

struct FakeHost : TPrintRunHost {
    Log& log;
    TRunEntries entries;
    bool previewWindowThere = false;
    bool keepGoing = false;
    int failOutputRow = 0;
    std::function<void(int row)> duringOutput;
    std::vector<QPointer<TVdPrnForm>> forms;
    explicit FakeHost(Log& l) : log(l)
    {
        entries = {"7", "7", gb("澜人发(2009)1号"), gb("人事局"), QDateTime(QDate(2010, 3, 4), QTime(0, 0))};
    }
    TRunEntries ReadEntries() override { return entries; }
    std::string OpinionWidthText() override { return "78"; }
    bool RaisePreviewWindow() override
    {
        log.add("raise");
        return previewWindowThere;
    }
    void OutputForm(TVdPrnForm& form, int mode, int row) override
    {
        forms.emplace_back(&form);
        log.add("output " + std::to_string(row) + " mode " + std::to_string(mode) + " cur " +
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
    FakeReader reader{log};
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
        TRunResult r = f.run.Run(1);
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
        f.host.entries.edStart = c.start;
        f.host.entries.edEnd = c.end;
        TRunResult r = f.run.Run(1);
        EXPECT_EQ(r.status, TRunStatus::Done);
        EXPECT_EQ(f.log.count("cell"), c.reads) << c.start << ".." << c.end;
        EXPECT_EQ(r.forms, c.forms);
        // Started, opened, attached and released even when no cell is read.
        EXPECT_EQ(f.log.events.front(), "running");
        EXPECT_LT(f.log.indexOf("connect"), f.log.indexOf("open r.xls"));
        EXPECT_LT(f.log.indexOf("open"), f.log.indexOf("attach"));
        EXPECT_EQ(f.log.events[f.log.events.size() - 2], "disconnect");
        EXPECT_EQ(f.log.events.back(), "idle");
        for (auto& form : f.host.forms)
            EXPECT_TRUE(form.isNull()) << "holder kept after its form went out";
    }
    Fixture f;
    f.reader.flags = {{7, "1"}, {9, "1"}};
    f.host.entries.edEnd = "9";
    f.run.Run(0);
    EXPECT_GE(f.log.indexOf("output 7 mode 0 cur 7"), 0);
    EXPECT_LT(f.log.indexOf("output 7 mode 0 cur 7"), f.log.indexOf("output 9 mode 0 cur 9"));
    EXPECT_EQ(f.run.CurRow(), 9);
}

TEST(PrintRun, EntriesTakenAtTheStart)
{
    Fixture f;
    f.run.Run(1);
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
        f.host.entries.edStart = c.start;
        f.host.entries.edEnd = c.end;
        TRunResult r = f.run.Run(0);
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
        {"connect", [](Fixture& f) { f.reader.failConnect = true; }, TRunStatus::ExcelFailed,
         "box " + gb("Excel文件打开失败！") + "|no reader", 0},
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
        f.host.entries.edEnd = "10";
        c.setup(f);
        TRunResult r = f.run.Run(1);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.forms, c.forms) << c.name;
        ASSERT_GE(f.log.indexOf(c.shown), 0) << c.name;
        EXPECT_EQ(f.log.indexOf("disconnect"), f.log.indexOf(c.shown) - 1) << c.name;
        EXPECT_EQ(f.log.count("cell 10"), 0) << c.name << ": went on after the error";
        EXPECT_EQ(f.log.count("open"), c.status == TRunStatus::ExcelFailed ? 0 : 1);
    }
}

TEST(PrintRun, KeepGoingSkipsFailedRows)
{
    Fixture f;
    f.reader.flags = {{7, "1"}, {9, "1"}, {10, "1"}};
    f.reader.failCellRow = 8;
    f.host.failOutputRow = 9;
    f.host.keepGoing = true;
    f.host.entries.edEnd = "10";
    TRunResult r = f.run.Run(1);
    EXPECT_EQ(r.status, TRunStatus::Done);
    EXPECT_EQ(r.forms, 2);
    EXPECT_EQ(r.failedRows, 2);
    EXPECT_EQ(f.log.count("failed"), 2);
    EXPECT_EQ(f.log.count("error"), 0);
}

TEST(PrintRun, ReentryAndStop)
{
    // A preview window already there: raised, nothing read.
    {
        Fixture f;
        f.host.previewWindowThere = true;
        EXPECT_EQ(f.run.Run(0).status, TRunStatus::PreviewRaised);
        EXPECT_EQ(f.log.count("connect"), 0);
        EXPECT_EQ(f.run.Run(1).status, TRunStatus::Done);  // Print does not look for it
    }
    // Presses during a run start nothing; Preview raises the window.
    {
        Fixture f;
        f.reader.flags = {{7, "1"}, {8, "1"}, {9, "1"}};
        f.host.entries.edEnd = "9";
        std::vector<TRunStatus> inner;
        f.host.duringOutput = [&](int row) {
            if (row != 7)
                return;
            inner.push_back(f.run.Run(1).status);
            inner.push_back(f.run.Run(0).status);
            f.run.RequestStop();
        };
        TRunResult r = f.run.Run(0);
        EXPECT_EQ(inner, (std::vector<TRunStatus>{TRunStatus::Busy, TRunStatus::Busy}));
        EXPECT_EQ(f.log.count("connect"), 1);
        EXPECT_EQ(f.log.count("raise"), 2);
        EXPECT_EQ(r.status, TRunStatus::Stopped);
        EXPECT_EQ(r.forms, 1);
        EXPECT_EQ(f.log.count("disconnect"), 1);
        EXPECT_FALSE(f.run.Running());
        f.host.duringOutput = nullptr;
        EXPECT_EQ(f.run.Run(1).forms, 3);  // a stop does not carry over
    }
}

// A host that asks for the count learns it before the first form, may
// decline to begin, and sees each form announced as k of n with its row.
TEST(PrintRun, FormsCountedBeforeTheFirstGoesOut)
{
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
        Log log;
        FakeReader reader(log);
        CountingHost host(log);
        TVdcs vdcs;
        TPrintRun run(vdcs, reader, host);
        reader.flags = {{7, "1"}, {9, "1"}, {10, "1"}};
        reader.failCellRow = c.failCell;
        host.entries.edEnd = "12";
        host.begin = c.begin;
        const TRunResult r = run.Run(1);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.formsTotal, c.begun[0]);
        EXPECT_EQ(host.begun, c.begun);
        EXPECT_EQ(host.announced, c.announced);
        EXPECT_EQ(r.lastRow, c.lastRow);
        EXPECT_EQ(r.lastFormRow, c.lastFormRow);
        EXPECT_EQ(log.count("disconnect"), 1);
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
        host.entries.edStart = c.start;
        host.entries.edEnd = c.end;
        TExcelApplication app;
        TExcelWorksheet sheet;
        TExcelRunReader reader(app, sheet);
        TVdcs vdcs;
        vdcs.RosterPath = gb(std::string(VDMQ_TESTDATA "/printrun/") + c.file);
        TPrintRun run(vdcs, reader, host);
        TRunResult r = run.Run(1);
        EXPECT_EQ(r.status, c.status) << c.file;
        std::vector<int> rows;
        for (auto& e : log.events)
            if (e.rfind("output ", 0) == 0)
                rows.push_back(std::stoi(e.substr(7)));
        EXPECT_EQ(rows, c.rows) << c.file;
        EXPECT_EQ(r.errorRow, c.errorRow) << c.file;
        EXPECT_FALSE(app.Connected()) << c.file;
        EXPECT_FALSE(sheet.Attached()) << c.file;
        if (c.status == TRunStatus::OpenFailed) {
            EXPECT_FALSE(r.detail.empty()) << "no reason given for " << c.file;
        }
    }
}
