#include "app/core/printrun.h"
#include "form/PubFunc.h"
#include "platform/atomicfile.h"
#include "platform/gbtext.h"
#include <algorithm>
#include <memory>

namespace vdmq {

std::string MsgExcelStartFailed() { return gb("Excel文件打开失败！"); }
std::string MsgChooseRoster() { return gb("请选择EXCEL数据表格！"); }

// ---- the reader over the spreadsheet operations ------------------------------

void TExcelRunReader::Connect() { app_.Connect(); }

void TExcelRunReader::Open(const std::string& pathGb) { app_.WorkbooksOpen(pathGb); }

void TExcelRunReader::AttachFirstSheet() { app_.AttachFirstSheet(sheet_); }

std::string TExcelRunReader::CellText(int row, int col) const { return sheet_.CellText(row, col); }

int TExcelRunReader::LastRow() const
{
    // Cells below the sheet's used area are empty, so none of those rows is
    // flagged; a range typed as 7..99999999 need not read them one by one.
    if (const roster::Sheet* s = sheet_.sheet())
        return std::max(0, s->rowCount());
    return INT_MAX;
}

void TExcelRunReader::Disconnect()
{
    sheet_.Release();
    app_.Disconnect();
}

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

TPrintRun::TPrintRun(TVdcs& vdcs, TRunReader& reader, TPrintRunHost& host)
    : vdcs_(vdcs), reader_(reader), host_(host), source_(vdcs, reader, [this] { return host_.OpinionWidthText(); })
{
}

TPrintRun::~TPrintRun() = default;

TRunResult TPrintRun::Run(int mode) { return Start(mode, nullptr); }

TRunResult TPrintRun::Check(TCheckReport& report) { return Start(1, &report); }

TRunResult TPrintRun::Start(int mode, TCheckReport* checkOnly)
{
    TRunResult result;
    if (running_) {
        // The reader is in use by the run that is waiting; a second run
        // would pull it away.  A Preview press only raises the window.
        if (mode == 0)
            host_.RaisePreviewWindow();
        result.status = TRunStatus::Busy;
        return result;
    }

    // The row range, start first, so that a bad end leaves the new start in
    // the record.
    const TRunEntries entries = host_.ReadEntries();
    try {
        vdcs_.StartRow = StrToInt(entries.edStart);
        vdcs_.EndRow = StrToInt(entries.edEnd);
    } catch (const std::exception& e) {
        result.status = TRunStatus::ConvertError;
        result.message = errorTextGb(e);
        host_.ShowError(result.message, 0);
        return result;
    }
    // A corrected document number, issuing body or date shows on the very
    // next form, not only after a restart.
    vdcs_.DocNo = entries.edFile;
    vdcs_.IssuedBy = entries.edArea;
    if (entries.dtPrint.isValid())
        vdcs_.PrintDate = ToDateTime(entries.dtPrint);

    // Preview while a preview window is still open: that window comes to the
    // front and no second run starts.
    if (mode == 0 && !checkOnly && host_.RaisePreviewWindow()) {
        result.status = TRunStatus::PreviewRaised;
        return result;
    }

    RunningScope scope(running_, stop_, host_);
    return RunLoop(mode, vdcs_.StartRow, vdcs_.EndRow, checkOnly);
}

TRunResult TPrintRun::RunLoop(int mode, int startRow, int endRow, TCheckReport* checkOnly)
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
        // The first sheet holds the roster.  One that cannot be read (a chart)
        // ends the run; the reader is released like after any other error.
        reader_.AttachFirstSheet();
    } catch (...) {
        failure = std::current_exception();
    }

    // The check before paper: every flagged row prepared as it will print,
    // the problems shown before any form goes out (or instead of the forms).
    if (!failure && (checkOnly || (endRow >= startRow && host_.WantsCheck(mode)))) {
        try {
            if (!CheckFirst(mode, startRow, endRow, checkOnly, result)) {
                reader_.Disconnect();
                return result;
            }
        } catch (...) {
            failure = std::current_exception();
        }
    }

    // The forms: one per flagged row from the start row to the end row.
    if (!failure && endRow >= startRow)
        failure = OutputRows(mode, startRow, endRow, result);

    // The reader is released however the output ended; then the error shows.
    reader_.Disconnect();
    if (failure) {
        result.status = TRunStatus::Failed;
        result.message = errorTextGb(failure);
        host_.ShowError(result.message, result.errorRow);
    }
    return result;
}

bool TPrintRun::OpenRoster(TRunResult& result)
{
    // Starting the reader and opening the roster are the two failures the
    // run expects: each releases the reader and shows the run's own message,
    // with the reader's reason as detail.
    const auto expected = [&](TRunStatus status, std::string message, const std::exception& e) {
        reader_.Disconnect();
        result.status = status;
        result.message = std::move(message);
        result.detail = errorTextGb(e);
        host_.MessageBox(result.message, result.detail);
        return false;
    };
    try {
        reader_.Connect();
    } catch (const std::exception& e) {
        return expected(TRunStatus::ExcelFailed, MsgExcelStartFailed(), e);
    }
    // The roster being read is no place for an output of this run.
    ProtectFromOutput(QStringLiteral("花名册"), {fromGb(vdcs_.RosterPath)});
    try {
        reader_.Open(vdcs_.RosterPath);
    } catch (const roster::OpenCancelled&) {
        // No password given: the user knows; the run ends without a box.
        reader_.Disconnect();
        result.status = TRunStatus::Cancelled;
        return false;
    } catch (const std::exception& e) {
        return expected(TRunStatus::OpenFailed, MsgChooseRoster(), e);
    }
    return true;
}

bool TPrintRun::CheckFirst(int mode, int startRow, int endRow, TCheckReport* checkOnly, TRunResult& result)
{
    const int last = endRow < startRow ? endRow : std::min(endRow, std::max(reader_.LastRow(), startRow - 1));
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
            if (col::IsPrintFlag(reader_.CellText(int(r), col::PrintFlag)))
                ++forms;
        } catch (...) {
        }
    }
    return forms;
}

std::exception_ptr TPrintRun::OutputRows(int mode, int startRow, int endRow, TRunResult& result)
{
    const long long first = startRow;
    const long long last = std::min<long long>(endRow, std::max<long long>(reader_.LastRow(), first - 1));
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
            if (col::IsPrintFlag(reader_.CellText(row, col::PrintFlag)))
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

void TPrintRun::OutputForm(int mode, int row, TRunProgress& progress, TRunResult& result)
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
