#include "app/core/printrun.h"
#include "form/PubFunc.h"
#include "platform/atomicfile.h"
#include "platform/gbtext.h"
#include <algorithm>
#include <memory>
#include <stdexcept>

namespace vdmq {

std::string MsgChooseRoster() { return gb("请选择EXCEL数据表格！"); }

TPrintRun::TPrintRun(TVdcs& vdcs, TRowSource& rows, TPrintRunHost& host)
    : vdcs_(vdcs), rows_(rows), host_(host), source_(vdcs, rows, [this] { return host_.OpinionWidthText(); })
{
}

TPrintRun::~TPrintRun()
{
    if (running_)
        rows_.Close();
}

bool TPrintRun::Start(TRunMode mode) { return Open(mode, nullptr); }

TRunResult TPrintRun::Run(TRunMode mode)
{
    if (Start(mode)) {
        while (std::unique_ptr<TVdPrnForm> form = NextForm()) {
            std::exception_ptr failure;
            try {
                host_.OutputForm(*form, mode, CurRow());
            } catch (...) {
                failure = std::current_exception();
            }
            form.reset();  // released once its form is out
            if (failure)
                FormFailed(failure);
            else
                FormDone();
        }
    }
    return result_;
}

TRunResult TPrintRun::Check(TCheckReport& report)
{
    Open(TRunMode::Print, &report);
    return result_;
}

bool TPrintRun::Open(TRunMode mode, TCheckReport* checkOnly)
{
    if (running_)
        throw std::logic_error("a print run is open already");
    mode_ = mode;
    result_ = {};
    progress_ = {};
    position_ = 0;
    if (!TakeEntries())
        return false;
    running_ = true;
    stop_ = false;
    host_.RunStateChanged(true);
    return OpenRoster() && TakeSheet(checkOnly) && TakeRange();
}

bool TPrintRun::TakeEntries()
{
    // The row range, start first, so that a bad end leaves the new start in
    // the record.
    const TRunEntries entries = host_.ReadEntries();
    try {
        vdcs_.StartRow = StrToInt(entries.start);
        vdcs_.EndRow = StrToInt(entries.end);
    } catch (const std::exception& e) {
        result_.status = TRunStatus::ConvertError;
        result_.message = errorTextGb(e);
        host_.ShowError(result_.message, 0);
        return false;
    }
    // A corrected document number, issuing body or date shows on the very
    // next form, not only after a restart.
    vdcs_.DocNo = entries.docNo;
    vdcs_.IssuedBy = entries.issuedBy;
    if (entries.printDate.isValid())
        vdcs_.PrintDate = entries.printDate;
    return true;
}

bool TPrintRun::OpenRoster()
{
    // The roster being read is no place for an output of this run.
    ProtectFromOutput(QStringLiteral("花名册"), {fromGb(vdcs_.RosterPath)});
    try {
        rows_.Open(vdcs_.RosterPath);
    } catch (const roster::OpenCancelled&) {
        // No password given: the user knows; the run ends without a box.
        End(TRunStatus::Cancelled);
        return false;
    } catch (const std::exception& e) {
        // The one failure the run expects: its own message, with the
        // reason as detail.
        result_.message = MsgChooseRoster();
        result_.detail = errorTextGb(e);
        End(TRunStatus::OpenFailed);
        return false;
    }
    return true;
}

bool TPrintRun::TakeSheet(TCheckReport* checkOnly)
{
    // Rows are numbered from 1; those below hold nothing and are never
    // flagged, so the walk starts at 1 however low the start row is (a
    // start of -2147483648 would otherwise read two billion empty rows).
    first_ = std::max(vdcs_.StartRow, 1);
    try {
        // A first sheet that cannot be read (a chart) ends the run like any
        // other error.
        rows_.FirstSheet();
        // The check before paper: every flagged row prepared as it will
        // print, the problems shown before any form goes out (or instead of
        // the forms).
        if (checkOnly || (vdcs_.EndRow >= first_ && host_.WantsCheck(mode_)))
            return CheckFirst(int(first_), vdcs_.EndRow, checkOnly);
    } catch (...) {
        End(TRunStatus::Failed, std::current_exception());
        return false;
    }
    return true;
}

bool TPrintRun::TakeRange()
{
    // Cells below the sheet's used area are empty, so none of those rows is
    // flagged; a range typed as 7..99999999 stops at the sheet's end.
    next_ = first_;
    last_ = std::min<long long>(vdcs_.EndRow, std::max<long long>(rows_.LastRow(), first_ - 1));
    progress_.rowsTotal = int(std::max(0LL, last_ - first_ + 1));
    if (host_.CountsForms()) {
        result_.formsTotal = progress_.formsTotal = CountForms();
        if (result_.formsTotal > 0 && !host_.BeginOutput(result_.formsTotal)) {
            End(TRunStatus::NotBegun);
            return false;
        }
    }
    return true;
}

bool TPrintRun::CheckFirst(int startRow, int endRow, TCheckReport* checkOnly)
{
    const int last = endRow < startRow ? endRow : std::min(endRow, std::max(rows_.LastRow(), startRow - 1));
    TFormCheck check(source_);
    check.SetSheet(host_.CheckSheet(mode_));
    TCheckReport report = check.CheckRows(startRow, last);
    report.lastRow = endRow;
    if (checkOnly) {
        result_.rowsRead = report.rowsRead;
        *checkOnly = std::move(report);
        End(TRunStatus::Done);
        return false;
    }
    if (!host_.ConfirmCheck(mode_, report)) {
        End(TRunStatus::Abandoned);
        return false;
    }
    return true;
}

int TPrintRun::CountForms() const
{
    // A flag cell that cannot be read counts as no form here; the walk reads
    // it again and reports it.
    int forms = 0;
    for (long long r = first_; r <= last_; ++r) {
        try {
            if (col::IsPrintFlag(rows_.CellText(int(r), col::PrintFlag)))
                ++forms;
        } catch (...) {
        }
    }
    return forms;
}

std::unique_ptr<TVdPrnForm> TPrintRun::NextForm()
{
    while (running_ && next_ <= last_) {
        if (stop_) {
            End(TRunStatus::Stopped);
            return nullptr;
        }
        const int row = int(next_++);
        ++result_.rowsRead;
        bool flagged = false;
        try {
            flagged = col::IsPrintFlag(rows_.CellText(row, col::PrintFlag));
        } catch (...) {
            if (!RowFailed(row, std::current_exception()))
                return nullptr;
            continue;
        }
        if (!flagged) {
            RowTaken(row, true);
            continue;
        }
        source_.SetCurRow(row);
        host_.SetCurRow(row);
        ++position_;
        progress_.row = row;
        progress_.formsDone = result_.forms;
        progress_.outputting = true;
        host_.Progress(progress_);
        progress_.outputting = false;
        auto form = std::make_unique<TVdPrnForm>();
        form->Source = &source_;
        return form;
    }
    if (running_)
        End(TRunStatus::Done);
    return nullptr;
}

void TPrintRun::FormDone()
{
    ++result_.forms;
    result_.lastFormRow = CurRow();
    RowTaken(CurRow(), true);
}

void TPrintRun::FormFailed(const std::exception_ptr& error) { RowFailed(CurRow(), error); }

void TPrintRun::RowTaken(int row, bool done)
{
    if (done)
        result_.lastRow = row;
    progress_.row = row;
    progress_.rowsDone = int(row - first_ + 1);
    progress_.formsDone = result_.forms;
    host_.Progress(progress_);
}

bool TPrintRun::RowFailed(int row, const std::exception_ptr& error)
{
    ++result_.failedRows;
    if (host_.RowFailed(row, errorTextGb(error))) {
        RowTaken(row, false);
        return true;
    }
    result_.errorRow = row;
    End(TRunStatus::Failed, error);
    return false;
}

void TPrintRun::End(TRunStatus status, const std::exception_ptr& failure)
{
    // The roster first, whatever ended the run; then what is to be said.
    rows_.Close();
    result_.status = status;
    if (failure) {
        result_.message = errorTextGb(failure);
        host_.ShowError(result_.message, result_.errorRow);
    } else if (status == TRunStatus::OpenFailed) {
        host_.MessageBox(result_.message, result_.detail);
    }
    running_ = false;
    stop_ = false;
    host_.RunStateChanged(false);
}

}  // namespace vdmq
