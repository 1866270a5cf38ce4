#pragma once
// The check before paper: every flagged row of a range is prepared exactly
// as printing prepares it (the same filler, the same layout, the same text
// measurement of the engine), and what would not come out right on paper is
// reported per row: a row that stops the run, a required cell left empty, a
// data text cut off in its box, a text that runs over a rule of the form or
// off the paper, an opinion that needs more than four lines.  Nothing is
// printed and nothing is written.  Texts are GB18030.
#include "form/VdPrnUnit.h"

#include <memory>
#include <string>
#include <vector>

namespace vdmq {

enum class TCheckKind {
    FillError,       // the row cannot be filled: the run would stop here
    EmptyRequired,   // a cell the form cannot do without is blank
    TextCut,         // a box shows only part of its text
    PastLine,        // a text runs over a rule of the form, or off the paper
    OpinionTooLong,  // the opinion needs more than four lines
    NoGlyph,         // a character no face on this machine has: it prints as an empty box
};

// "fill-error", "empty", "cut", "past-line", "opinion-too-long", "no-glyph".
const char* CheckKindName(TCheckKind kind);

struct TCheckProblem {
    int row = 0;
    std::string name;  // column B as read; empty when it cannot be read
    TCheckKind kind = TCheckKind::FillError;
    std::string label;      // the data label ("zw0"); empty when none
    std::string field;      // the field in plain words ("职务(岗位)")
    int column = 0;         // the roster column the text comes from; 0 when none
    int cutChars = 0;       // TextCut: characters that do not print
    std::string shownText;  // TextCut: what prints (one line)
    std::string cutText;    // TextCut: what is lost, when it is one piece
    double pastMm = 0;      // PastLine, OpinionTooLong: how far past the rule or edge
    double offPaperMm = 0;  // ... of which beyond the paper's edge (does not print)
    int extraBytes = 0;     // OpinionTooLong: bytes of line 4 beyond a line's width
    std::string message;    // the whole problem as one sentence

    char32_t codePoint = 0;  // NoGlyph: the character that prints as a box
};

struct TCheckReport {
    int firstRow = 0, lastRow = 0;  // the rows walked (lastRow < firstRow: none)
    int rowsRead = 0;
    int flaggedRows = 0;  // rows the run takes up: flagged, or with an unreadable flag
    std::vector<TCheckProblem> problems;
    // Distinct rows with at least one problem.
    int RowsWithProblems() const;
};

class TFormCheck {
public:
    // `source` gives the cells, the opinion width and the settings, as it
    // does for printing; the row comes from the check.  Not owned.
    explicit TFormCheck(const TFillSource& source);
    ~TFormCheck();
    TFormCheck(const TFormCheck&) = delete;
    TFormCheck& operator=(const TFormCheck&) = delete;

    // The problems of one row, which is taken as flagged.
    std::vector<TCheckProblem> CheckRow(int row);
    // Every row from first to last whose print flag is set.  A flag cell
    // that cannot be read is a problem of its row (the run would stop there).
    TCheckReport CheckRows(int first, int last);

    // The holder the rows are prepared in; after CheckRow it holds that
    // row's captions.
    const TVdPrnForm& Form() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace vdmq
