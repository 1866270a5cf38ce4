#include "app/core/printrun.h"
#include "form/PubFunc.h"
#include "platform/atomicfile.h"
#include "platform/gbtext.h"
#include <algorithm>
#include <memory>

namespace vdmq {

std::string MsgChooseRoster() { return gb("请选择EXCEL数据表格！"); }

// ---- the run -------------------------------------------------------------------

namespace {

// Sets a flag for the life of a scope and tells the host when it changes.
class RunningScope {
public:
    RunningScope(bool& running, bool& stop, TPrintRunHost& host) : running_(running), stop_(stop), host_(host)
    {
        running_ = true;
        stop_ = false;
        host_.RunStateChanged(true);
    }
    ~RunningScope()
    {
        running_ = false;
        stop_ = false;
        host_.RunStateChanged(false);
    }
private:
    bool& running_;
    bool& stop_;
    TPrintRunHost& host_;
};

}  // namespace

TPrintRun::TPrintRun(TVdcs& vdcs, TRowSource& rows, TPrintRunHost& host)
    : vdcs_(vdcs), rows_(rows), host_(host), source_(vdcs, rows, [this] { return host_.OpinionWidthText(); })
{
}

TPrintRun::~TPrintRun() = default;

TRunResult TPrintRun::Run(TRunMode mode) { return Start(mode, nullptr); }

TRunResult TPrintRun::Check(TCheckReport& report) { return Start(TRunMode::Print, &report); }

TRunResult TPrintRun::Start(TRunMode mode, TCheckReport* checkOnly)
{
    TRunResult result;
    if (running_) {
        // The roster is in use by the run that is waiting; a second run
        // would pull it away.  A Preview press only raises the window.
        if (mode == TRunMode::Preview)
            host_.RaisePreviewWindow();
        result.status = TRunStatus::Busy;
        return result;
    }

    // Step 1: the row range, start first, so that a bad end leaves the new
    // start in the record.
    const TRunEntries entries = host_.ReadEntries();
    try {
        vdcs_.StartRow = StrToInt(entries.start);
        vdcs_.EndRow = StrToInt(entries.end);
    } catch (const std::exception& e) {
        result.status = TRunStatus::ConvertError;
        result.message = errorTextGb(e);
        host_.ShowError(result.message, 0);
        return result;
    }
    // A corrected document number, issuing body or date shows on the very
    // next form, not only after a restart.
    vdcs_.DocNo = entries.docNo;
    vdcs_.IssuedBy = entries.issuedBy;
    if (entries.printDate.isValid())
        vdcs_.PrintDate = entries.printDate;

    // Step 2.
    if (mode == TRunMode::Preview && !checkOnly && host_.RaisePreviewWindow()) {
        result.status = TRunStatus::PreviewRaised;
        return result;
    }

    RunningScope scope(running_, stop_, host_);
    return RunLoop(mode, vdcs_.StartRow, vdcs_.EndRow, checkOnly);
}

TRunResult TPrintRun::RunLoop(TRunMode mode, int startRow, int endRow, TCheckReport* checkOnly)
{
    TRunResult result;
    if (!OpenRoster(result))
        return result;

    // Rows are numbered from 1; those below hold nothing and are never
    // flagged, so the walk starts at 1 however low the start row is (a
    // start of -2147483648 would otherwise read two billion empty rows).
    startRow = std::max(startRow, 1);

    std::exception_ptr failure;
    try {
        // Step 6.  A first sheet that cannot be read (a chart) ends the run;
        // the roster is let go like after any other error.
        rows_.FirstSheet();
    } catch (...) {
        failure = std::current_exception();
    }

    // The check before paper: every flagged row prepared as it will print,
    // the problems shown before any form goes out (or instead of the forms).
    if (!failure && (checkOnly || (endRow >= startRow && host_.WantsCheck(mode)))) {
        try {
            if (!CheckFirst(mode, startRow, endRow, checkOnly, result)) {
                rows_.Close();
                return result;
            }
        } catch (...) {
            failure = std::current_exception();
        }
    }

    // Step 7.
    if (!failure && endRow >= startRow)
        failure = OutputRows(mode, startRow, endRow, result);

    // Step 8, whatever step 7 came to; then the error.
    rows_.Close();
    if (failure) {
        result.status = TRunStatus::Failed;
        result.message = errorTextGb(failure);
        host_.ShowError(result.message, result.errorRow);
    }
    return result;
}

bool TPrintRun::OpenRoster(TRunResult& result)
{
    // The roster being read is no place for an output of this run.
    ProtectFromOutput(QStringLiteral("花名册"), {fromGb(vdcs_.RosterPath)});
    try {
        rows_.Open(vdcs_.RosterPath);
    } catch (const roster::OpenCancelled&) {
        // No password given: the user knows; the run ends without a box.
        rows_.Close();
        result.status = TRunStatus::Cancelled;
        return false;
    } catch (const std::exception& e) {
        // The one failure the run expects: its own message, with the
        // reason as detail, once the roster is let go.
        rows_.Close();
        result.status = TRunStatus::OpenFailed;
        result.message = MsgChooseRoster();
        result.detail = errorTextGb(e);
        host_.MessageBox(result.message, result.detail);
        return false;
    }
    return true;
}

bool TPrintRun::CheckFirst(TRunMode mode, int startRow, int endRow, TCheckReport* checkOnly, TRunResult& result)
{
    const int last = endRow < startRow ? endRow : std::min(endRow, std::max(rows_.LastRow(), startRow - 1));
    TFormCheck check(source_);
    check.SetSheet(host_.CheckSheet(mode));
    TCheckReport report = check.CheckRows(startRow, last);
    report.lastRow = endRow;
    if (checkOnly) {
        result.rowsRead = report.rowsRead;
        *checkOnly = std::move(report);
        return false;
    }
    if (!host_.ConfirmCheck(mode, report)) {
        result.status = TRunStatus::Abandoned;
        return false;
    }
    return true;
}

int TPrintRun::CountForms(long long first, long long last)
{
    // A flag cell that cannot be read counts as no form here; the walk reads
    // it again and reports it.
    int forms = 0;
    for (long long r = first; r <= last; ++r) {
        try {
            if (col::IsPrintFlag(rows_.CellText(int(r), col::PrintFlag)))
                ++forms;
        } catch (...) {
        }
    }
    return forms;
}

std::exception_ptr TPrintRun::OutputRows(TRunMode mode, int startRow, int endRow, TRunResult& result)
{
    const long long first = startRow;
    const long long last = std::min<long long>(endRow, std::max<long long>(rows_.LastRow(), first - 1));
    TRunProgress progress;
    progress.rowsTotal = int(std::max(0LL, last - first + 1));
    if (host_.CountsForms()) {
        result.formsTotal = CountForms(first, last);
        progress.formsTotal = result.formsTotal;
        if (result.formsTotal > 0 && !host_.BeginOutput(result.formsTotal)) {
            result.status = TRunStatus::NotBegun;
            return nullptr;
        }
    }
    for (long long r = first; r <= last; ++r) {
        if (stop_) {
            result.status = TRunStatus::Stopped;
            break;
        }
        const int row = int(r);
        try {
            ++result.rowsRead;
            if (col::IsPrintFlag(rows_.CellText(row, col::PrintFlag)))
                OutputForm(mode, row, progress, result);
            result.lastRow = row;
        } catch (...) {
            std::exception_ptr e = std::current_exception();
            ++result.failedRows;
            if (!host_.RowFailed(row, errorTextGb(e))) {
                result.errorRow = row;
                return e;
            }
        }
        progress.row = row;
        progress.rowsDone = int(r - first + 1);
        progress.formsDone = result.forms;
        host_.Progress(progress);
    }
    return nullptr;
}

void TPrintRun::OutputForm(TRunMode mode, int row, TRunProgress& progress, TRunResult& result)
{
    source_.SetCurRow(row);
    host_.SetCurRow(row);
    progress.row = row;
    progress.formsDone = result.forms;
    progress.outputting = true;
    host_.Progress(progress);
    progress.outputting = false;
    auto form = std::make_unique<TVdPrnForm>();
    form->Source = &source_;
    host_.OutputForm(*form, mode, row);
    ++result.forms;
    result.lastFormRow = row;
}

}  // namespace vdmq
