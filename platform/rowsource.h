#pragma once
// The roster as the program reads it: a workbook opened by path, its first
// sheet, the text of a cell by 1-based row and column.  The print run, the
// check before paper and the roster pane read through it; tests give fakes
// of it.  Cell texts are Unicode; the what() texts of the errors are
// GB18030 bytes: the reader's own types again, as GbEncodedError<...>
// (platform/gbtext.h), caught by their reader type and read with errorText /
// errorTextGb.
#include "platform/roster.h"
#include <QString>
#include <climits>
#include <memory>
#include <string>

namespace vdmq {

class TRowSource {
public:
    virtual ~TRowSource() = default;
    // Opens the workbook at `pathGb` (GB18030, as the settings hold it) in
    // place of any open before; a failed open leaves none.  Throws
    // roster::OpenCancelled when the user declined to give the password of an
    // encrypted workbook, roster::PasswordError for a wrong one and
    // roster::RosterError with the reason for anything else.
    virtual void Open(const std::string& pathGb) = 0;
    // Takes the open workbook's first sheet for CellText.  Throws
    // roster::RosterError for a chart or macro sheet, or when no workbook is
    // open.
    virtual void FirstSheet() = 0;
    // The cell's value as text.  Throws roster::CellConversionError for an
    // error cell, std::logic_error when no sheet has been taken.
    virtual QString CellText(int row, int col) const = 0;
    // The last row that can hold anything; rows after it read as empty.
    virtual int LastRow() const { return INT_MAX; }
    // Lets go of the workbook and its sheet; safe when none is open.
    virtual void Close() = 0;
};

// The row source over the program's own roster reader.
class TRosterRows : public TRowSource {
public:
    void Open(const std::string& pathGb) override;
    void FirstSheet() override;
    QString CellText(int row, int col) const override;
    int LastRow() const override;
    void Close() override;

    bool IsOpen() const { return book_ != nullptr; }
    // Where the password of an encrypted roster comes from (the caller keeps
    // it alive); without one such a roster fails with the reason.
    void SetPasswordPrompt(roster::PasswordPrompt* prompt) { prompt_ = prompt; }
    // The sheet taken by FirstSheet, for a view of the whole sheet; nullptr
    // when none.
    const roster::Sheet* Sheet() const { return sheet_; }
    bool Dates1904() const { return book_ && book_->dates1904(); }

private:
    std::unique_ptr<const roster::Workbook> book_;
    const roster::Sheet* sheet_ = nullptr;
    roster::PasswordPrompt* prompt_ = nullptr;
};

}  // namespace vdmq
