#pragma once
// The check before paper: every flagged row of a range is prepared exactly
// as printing prepares it (the same filler, the same layout, the same text
// measurement of the engine), and what would not come out right on paper is
// reported per row: a row that stops the run, a required cell that prints
// nothing, a data text cut off in its box, a text that runs over a rule of
// the form or off the paper, an opinion that needs more than four lines, a
// year-month that prints as no real year and month, a number column whose
// text is no number.  An entry of the run that spoils every form (the
// opinion width, the issuing body) is reported once, before the rows.
// Nothing is printed and nothing is written.
#include "form/VdPrnUnit.h"
#include "report/core/qr.h"

#include <QMarginsF>
#include <memory>
#include <string>
#include <vector>

namespace vdmq {

enum class TCheckKind {
    FillError,       // the row cannot be filled: the run would stop here
    EmptyRequired,   // a cell the form cannot do without prints nothing
    TextCut,         // a box shows only part of its text
    PastLine,        // a text runs over a rule of the form, or off the paper
    OpinionTooLong,  // the opinion needs more than four lines
    BadYearMonth,    // a year-month prints as no real year and month; or the opinion's month prints empty
    NotANumber,      // a number column holds something else: the box and the opinion's words show it
    EntryField,      // an entry of the run (not a roster cell) fails every form
    NoGlyph,         // a character no face on this machine has: it prints as an empty box
};

// "fill-error", "empty", "cut", "past-line", "opinion-too-long",
// "year-month", "number", "entry", "no-glyph".
const char* CheckKindName(TCheckKind kind);

// An overlap smaller than this is no problem: no printer shows it (under two
// dots at 600 dpi, and under half the width of the form's 0.26 mm rules).
inline constexpr double kVisibleOverlapMm = 0.1;

struct TCheckProblem {
    int row = 0;   // 0: an entry of the run, not a roster row
    QString name;  // the name column as read; empty when it cannot be read
    TCheckKind kind = TCheckKind::FillError;
    std::string label;       // the data label ("zw0"); empty when none
    QString field;           // the field in plain words ("职务(岗位)")
    int column = 0;          // the roster column the text comes from; 0 when none
    QString cellText;        // the cell (or the entry) as read, when the problem is its text
    QString printed;         // BadYearMonth, NotANumber: what prints (the box, or the opinion's words)
    int cutChars = 0;        // TextCut: characters that do not print
    QString shownText;       // TextCut: what prints (one line)
    QString cutText;         // TextCut: what is lost, when it is one piece
    double pastMm = 0;       // PastLine, OpinionTooLong: how far past the rule or edge
    double offPaperMm = 0;   // ... of which beyond what the printer reaches (does not print)
    bool blankOnly = false;  // PastLine: only the white ground of trailing blanks passes, covering the rule
    int extraBytes = 0;      // OpinionTooLong: bytes (GB18030) of line 4 beyond a line's width
    QString message;         // the whole problem as one sentence

    char32_t codePoint = 0;  // NoGlyph: the character that prints as a box
};

// Where the forms will land: the sheet and the form's place on it, and the
// border the printer cannot print on.
struct TCheckSheet {
    qr::TQRPlacement placement;  // an empty sheet: the form's own paper at its design position
    QMarginsF borderMm;          // unprintable width at each edge of the sheet
    QString description;         // the sheet in words, for the report; may be empty
};

struct TCheckReport {
    int firstRow = 0, lastRow = 0;  // the rows walked (lastRow < firstRow: none)
    int rowsRead = 0;
    int flaggedRows = 0;                  // rows the run takes up: flagged, or with an unreadable flag
    QString sheet;                        // the sheet measured on, in words (TCheckSheet::description)
    std::vector<TCheckProblem> problems;  // the entries' (row 0) first, then row by row
    // Distinct roster rows with at least one problem.
    int RowsWithProblems() const;
    // Problems of the run's entries (row 0).
    int EntryProblems() const;
};

class TFormCheck {
public:
    // `source` gives the cells, the opinion width and the settings, as it
    // does for printing; the row comes from the check.  Not owned.
    explicit TFormCheck(const TFillSource& source);
    ~TFormCheck();
    TFormCheck(const TFormCheck&) = delete;
    TFormCheck& operator=(const TFormCheck&) = delete;

    // The sheet the run prints on (default: the form's own paper at the
    // design position, nothing unprintable).
    void SetSheet(const TCheckSheet& sheet);

    // The problems of one row, which is taken as flagged.  A fault of the
    // run's entries is not the row's: CheckEntries and CheckRows say it.
    std::vector<TCheckProblem> CheckRow(int row);
    // The entries of the run that fail every form (row 0).
    std::vector<TCheckProblem> CheckEntries();
    // The entries, then every row from first to last whose print flag is
    // set.  A flag cell that cannot be read is a problem of its row (the run
    // would stop there); a problem of a text that no row gives (the issuing
    // body, the print date) is said once, with the entries.
    TCheckReport CheckRows(int first, int last);

    // The holder the rows are prepared in; after CheckRow it holds that
    // row's captions.
    const TApprovalForm& Form() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace vdmq
