#pragma once
// The print run: walks the roster rows StartRow..EndRow, and every row whose
// flag column holds "1" becomes one declaration form that is printed,
// previewed or written out.  The steps are the same for the main window and
// for the batch tool; what differs (where the entries come from, how a form
// is output, how messages reach the user) sits behind TPrintRunHost, so the
// run itself needs no widgets.  Texts are GB18030.
#include "app/core/settings.h"
#include "form/RosterColumns.h"
#include "form/VdPrnCheck.h"
#include "form/VdPrnUnit.h"
#include "platform/rowsource.h"
#include <QDate>
#include <climits>
#include <exception>
#include <functional>
#include <string>

namespace vdmq {

// What a run does with its forms: shows each in a preview window, prints
// each, or writes them all into one PDF file.
enum class TRunMode { Preview, Print, Pdf };

// The message box of a roster that cannot be opened.
std::string MsgChooseRoster();  // "请选择EXCEL数据表格！"

// The main window's entries that a run takes at its start.
struct TRunEntries {
    std::string start;  // the row fields' texts, converted by the run
    std::string end;
    std::string docNo;     // -> DocNo
    std::string issuedBy;  // -> IssuedBy
    QDate printDate;       // -> PrintDate; invalid leaves it as it is
};

// What the filler reads during a run: the current row's cells through the
// run's row source, the opinion width text at every call (the user may change
// the field while a preview waits), and the settings record.
class TRunFillSource : public TFillSource {
public:
    TRunFillSource(const TVdcs& vdcs, const TRowSource& rows, std::function<std::string()> widthText)
        : vdcs_(vdcs), rows_(rows), widthText_(std::move(widthText))
    {
    }
    int CurRow() const override { return row_; }
    void SetCurRow(int row) { row_ = row; }
    std::string CellText(int row, int col) const override { return rows_.CellText(row, col); }
    std::string OpinionWidthText() const override { return widthText_ ? widthText_() : std::string(); }
    std::string DocNo() const override { return vdcs_.DocNo; }
    QDate PrintDate() const override { return vdcs_.PrintDate; }
    std::string IssuedBy() const override { return vdcs_.IssuedBy; }
private:
    const TVdcs& vdcs_;
    const TRowSource& rows_;
    std::function<std::string()> widthText_;
    int row_ = 0;
};

struct TRunProgress {
    int row = 0;              // the row just taken (the row going out, when outputting)
    int rowsDone = 0;         // rows taken so far
    int rowsTotal = 0;        // rows of the range (after the sheet's end is cut off)
    int formsDone = 0;        // forms output so far
    int formsTotal = 0;       // forms the range gives, when the host asked for the count; else 0
    bool outputting = false;  // reported just before form formsDone + 1 goes out
};

class TPrintRun;

// The run's surroundings.  Everything runs on the caller's thread.
class TPrintRunHost {
public:
    virtual ~TPrintRunHost() = default;
    virtual TRunEntries ReadEntries() = 0;
    // Read by the filler at every call.
    virtual std::string OpinionWidthText() = 0;
    // Preview mode, before anything is read: when a preview window is
    // already there, bring it to the front and return true (the run ends).
    virtual bool RaisePreviewWindow() { return false; }
    // Outputs one filled holder as `mode` says; returns when the form has
    // gone out or its preview window has been closed.  The run releases
    // the holder right after.  Errors propagate.
    virtual void OutputForm(TVdPrnForm& form, TRunMode mode, int row) = 0;
    // The main window's current-row field.
    virtual void SetCurRow(int /*row*/) {}
    // A message box of the run's own: text and an optional detail.
    virtual void MessageBox(const std::string& textGb, const std::string& detailGb) = 0;
    // The standard error box; `row` is the roster row it happened in, or 0.
    virtual void ShowError(const std::string& messageGb, int row) = 0;
    // A row failed.  Return true to report it at once and go on with the
    // next row; false ends the loop and the error is shown after the roster
    // has been let go.
    virtual bool RowFailed(int /*row*/, const std::string& /*messageGb*/) { return false; }
    // Before the first form, with the roster open: whether the flagged rows
    // of the range are checked first (TFormCheck), and, when they were,
    // whether the run goes on (false ends it before any form).
    virtual bool WantsCheck(TRunMode /*mode*/) { return false; }
    virtual bool ConfirmCheck(TRunMode /*mode*/, const TCheckReport& /*report*/) { return true; }
    // The sheet the forms of this run will go on, for the check: the paper,
    // the form's place and offsets, and the printer's unprintable border
    // (default: the form's own paper at its design position).
    virtual TCheckSheet CheckSheet(TRunMode /*mode*/) { return {}; }
    virtual void RunStateChanged(bool /*running*/) {}
    // Before each form goes out (outputting) and after each row is taken.
    virtual void Progress(const TRunProgress& /*progress*/) {}
    // True when the host wants to know how many forms the range gives before
    // the first goes out (one more read of each flag cell).
    virtual bool CountsForms() const { return false; }
    // With the count, before the first form: false ends the run with nothing
    // output (NotBegun).  Not called when the range gives no form.
    virtual bool BeginOutput(int /*formsTotal*/) { return true; }
};

enum class TRunStatus {
    Done,           // the loop ran to its end (rows may have been skipped)
    Busy,           // a run is going; nothing done (Preview: window raised)
    PreviewRaised,  // a preview window was there and came to the front
    ConvertError,   // a row field is not a whole number
    OpenFailed,     // the roster could not be opened
    Failed,         // attaching the sheet or a row failed
    Stopped,        // stopped on request after a form
    Abandoned,      // the check found problems and the user went back
    Cancelled,      // the user declined to give the roster's password
    NotBegun,       // the host declined to begin the output (BeginOutput)
};

struct TRunResult {
    TRunStatus status = TRunStatus::Done;
    int forms = 0;        // forms output
    int rowsRead = 0;     // flag cells read
    int failedRows = 0;   // rows reported and skipped, or the row that ended the run
    int errorRow = 0;     // the row of the error that ended the run, 0 for none
    int formsTotal = 0;   // forms the range gives, when counted (CountsForms)
    int lastRow = 0;      // the last row taken to its end, 0 for none
    int lastFormRow = 0;  // the row of the last form output, 0 for none
    std::string message;  // GB18030: the error or message box text
    std::string detail;   // the row source's reason for OpenFailed
};

class TPrintRun {
public:
    TPrintRun(TVdcs& vdcs, TRowSource& rows, TPrintRunHost& host);
    ~TPrintRun();

    TRunResult Run(TRunMode mode);
    // The rows of a run checked instead of output (nothing is printed):
    // the range, the roster and its failures as for Run; `report` gets the
    // check of every flagged row.
    TRunResult Check(TCheckReport& report);

    bool Running() const { return running_; }
    // Ends the run after the form now being output (nothing when idle).
    void RequestStop()
    {
        if (running_)
            stop_ = true;
    }
    bool StopRequested() const { return stop_; }
    // The last selected row (the main window's CurRow).
    int CurRow() const { return source_.CurRow(); }
    const TRunFillSource& FillSource() const { return source_; }

private:
    TRunResult RunLoop(TRunMode mode, int startRow, int endRow, TCheckReport* checkOnly = nullptr);
    TRunResult Start(TRunMode mode, TCheckReport* checkOnly);
    // The parts of the loop.  False: the run ends here, `result` says why.
    bool OpenRoster(TRunResult& result);
    bool CheckFirst(TRunMode mode, int startRow, int endRow, TCheckReport* checkOnly, TRunResult& result);
    int CountForms(long long first, long long last);
    // The error that ended the walk, or none.
    std::exception_ptr OutputRows(TRunMode mode, int startRow, int endRow, TRunResult& result);
    void OutputForm(TRunMode mode, int row, TRunProgress& progress, TRunResult& result);

    TVdcs& vdcs_;
    TRowSource& rows_;
    TPrintRunHost& host_;
    TRunFillSource source_;
    bool running_ = false;
    bool stop_ = false;
};

}  // namespace vdmq
