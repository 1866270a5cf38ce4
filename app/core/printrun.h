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
// the field while a preview window is open), and the settings record.
class TRunFillSource : public TFillSource {
public:
    TRunFillSource(const TVdcs& vdcs, const TRowSource& rows, std::function<QString()> widthText)
        : vdcs_(vdcs), rows_(rows), widthText_(std::move(widthText))
    {
    }
    int CurRow() const override { return row_; }
    void SetCurRow(int row) { row_ = row; }
    QString CellText(int row, int col) const override { return rows_.CellText(row, col); }
    QString OpinionWidthText() const override { return widthText_ ? widthText_() : QString(); }
    QString DocNo() const override { return fromGb(vdcs_.DocNo); }
    QDate PrintDate() const override { return vdcs_.PrintDate; }
    QString IssuedBy() const override { return fromGb(vdcs_.IssuedBy); }
private:
    const TVdcs& vdcs_;
    const TRowSource& rows_;
    std::function<QString()> widthText_;
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

// The run's surroundings.  Everything runs on the caller's thread.
class TPrintRunHost {
public:
    virtual ~TPrintRunHost() = default;
    virtual TRunEntries ReadEntries() = 0;
    // Read by the filler at every call.
    virtual QString OpinionWidthText() = 0;
    // TPrintRun::Run's output of one filled holder, as `mode` says; the run
    // releases the holder right after.  Errors propagate.
    virtual void OutputForm(TApprovalForm& form, TRunMode mode, int row) = 0;
    // The main window's current-row field.
    virtual void SetCurRow(int /*row*/) {}
    // A message box of the run's own: text and an optional detail.
    virtual void MessageBox(const std::string& textGb, const std::string& detailGb) = 0;
    // The standard error box; `row` is the roster row it happened in, or 0.
    virtual void ShowError(const std::string& messageGb, int row) = 0;
    // A row failed.  Return true to report it at once and go on with the
    // next row; false ends the run and the error is shown after the roster
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
    // A run opens (true) or is over (false).
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
    Done,          // the range was walked to its end (rows may have been skipped)
    ConvertError,  // a row field is not a whole number
    OpenFailed,    // the roster could not be opened
    Failed,        // taking the first sheet or a row failed
    Stopped,       // stopped on request after a form
    Abandoned,     // the check found problems and the user went back
    Cancelled,     // the user declined to give the roster's password
    NotBegun,      // the host declined to begin the output (BeginOutput)
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

// A run is a cursor over the flagged rows of its range: Start opens it,
// NextForm gives the holder of each flagged row in turn, FormDone or
// FormFailed says how that form went, and Stop ends the run before its next
// form.  Whoever outputs the forms drives it: the main window a form at a
// time from its event loop (a preview window pulls the next form when it
// closes), the batch tool and the tests all at once through Run.
class TPrintRun {
public:
    TPrintRun(TVdcs& vdcs, TRowSource& rows, TPrintRunHost& host);
    // A run still open lets go of the roster, without a word to the host.
    ~TPrintRun();
    TPrintRun(const TPrintRun&) = delete;
    TPrintRun& operator=(const TPrintRun&) = delete;

    // Opens a run: the row fields (the start first, so that a bad end leaves
    // the new start in the record) and the other entries go into the record,
    // the roster is opened and its first sheet taken, the flagged rows are
    // checked when the host wants it and counted when it asks.  True when
    // the run is open and NextForm gives its forms; false when it is over
    // already (Result says why).  Throws std::logic_error while a run is open.
    bool Start(TRunMode mode);
    // The holder of the next flagged row, which the filler fills from that
    // row when its report is prepared; nullptr when the run is over: the
    // range walked, a stop asked for, or a row failed that ends it.  A run
    // that is over has let go of the roster, then shown the error that ended
    // it (if one did), then told the host.  Called again once the form given
    // last is done or failed.
    std::unique_ptr<TApprovalForm> NextForm();
    // The form given last went out.
    void FormDone();
    // The form given last failed: reported at once and the run goes on when
    // the host's RowFailed says so; otherwise the run ends here.
    void FormFailed(const std::exception_ptr& error);
    // No further form: the next NextForm ends the run (nothing when idle).
    void Stop()
    {
        if (running_)
            stop_ = true;
    }

    bool Running() const { return running_; }
    bool StopRequested() const { return stop_; }
    TRunMode Mode() const { return mode_; }
    // The roster row of the form given last (the main window's CurRow).
    int CurRow() const { return source_.CurRow(); }
    // That form's place in the run, from 1.
    int Position() const { return position_; }
    // How the run went so far; final once it is over.
    const TRunResult& Result() const { return result_; }
    const TRunFillSource& FillSource() const { return source_; }

    // The whole run at once: Start, then every form to the host's
    // OutputForm in row order.
    TRunResult Run(TRunMode mode);
    // The rows of a run checked instead of output (nothing is printed):
    // the range, the roster and its failures as for Run; `report` gets the
    // check of every flagged row.
    TRunResult Check(TCheckReport& report);

private:
    bool Open(TRunMode mode, TCheckReport* checkOnly);
    // The parts of Open.  False: the run is over (or, for TakeEntries, never
    // began), Result says why.
    bool TakeEntries();
    bool OpenRoster();
    bool TakeSheet(TCheckReport* checkOnly);
    bool TakeRange();
    bool CheckFirst(int startRow, int endRow, TCheckReport* checkOnly);
    int CountForms() const;
    // A row taken to its end (done) or reported and skipped.
    void RowTaken(int row, bool done);
    // A row failed; false when that ends the run (and it has ended).
    bool RowFailed(int row, const std::exception_ptr& error);
    // Ends the run: the roster let go, the error or the open failure said,
    // the host told.
    void End(TRunStatus status, const std::exception_ptr& failure = nullptr);

    TVdcs& vdcs_;
    TRowSource& rows_;
    TPrintRunHost& host_;
    TRunFillSource source_;
    TRunMode mode_ = TRunMode::Print;
    TRunResult result_;
    TRunProgress progress_;
    long long first_ = 1, next_ = 1, last_ = 0;  // the range's first and last row, the next to take
    int position_ = 0;
    bool running_ = false;
    bool stop_ = false;
};

}  // namespace vdmq
