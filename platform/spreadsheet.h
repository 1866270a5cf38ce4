#pragma once
// The spreadsheet operations the print run and the filler use, over the
// native roster reader: connect and disconnect are the reader's life, Open
// reads the workbook at a path, the first sheet is attached, and Cells gives
// a cell by 1-based row and column.  Texts are GB18030 bytes, and so are the
// what() texts of the errors these operations throw: the reader's errors
// again, as GbEncodedError<...> (platform/gbtext.h), caught by their reader
// type and read with errorText / errorTextGb.
#include "platform/roster.h"
#include <memory>
#include <string>

namespace vdmq {

class TExcelWorksheet {
public:
    TExcelWorksheet() = default;
    bool Attached() const { return sheet() != nullptr; }
    // The cell's value as text (GB18030).  Throws roster::CellConversionError
    // for an error cell, std::logic_error when nothing is attached.
    std::string CellText(int row, int col) const;
    // The attached sheet; nullptr when none, or when the workbook it
    // belongs to has been closed (TExcelApplication::Disconnect).
    const roster::Sheet* sheet() const { return (tracked_ && owner_.expired()) ? nullptr : sheet_; }
    bool dates1904() const { return dates1904_; }
    // Attaches a sheet the caller keeps alive (tests, fakes).
    void Attach(const roster::Sheet* sheet, bool dates1904)
    {
        sheet_ = sheet;
        dates1904_ = dates1904;
        owner_.reset();
        tracked_ = false;
    }
    // Attaches a sheet of `owner`; released as soon as `owner` goes.
    void Attach(const roster::Sheet* sheet, bool dates1904, std::weak_ptr<const roster::Workbook> owner)
    {
        sheet_ = sheet;
        dates1904_ = dates1904;
        owner_ = std::move(owner);
        tracked_ = true;
    }
    void Release()
    {
        sheet_ = nullptr;
        owner_.reset();
        tracked_ = false;
    }
private:
    const roster::Sheet* sheet_ = nullptr;
    bool dates1904_ = false;
    bool tracked_ = false;
    std::weak_ptr<const roster::Workbook> owner_;
};

class TExcelApplication {
public:
    // Starts the reader; no effect when already connected.
    void Connect();
    // Releases the workbook; worksheets attached to it are released too
    // (they must not be used afterwards).
    void Disconnect();
    bool Connected() const { return connected_; }
    // Opens the workbook at `path` (GB18030 text, as the settings hold it).
    // Throws roster::RosterError with the reason; roster::OpenCancelled
    // when the user declined to give the password of an encrypted workbook.
    void WorkbooksOpen(const std::string& pathGb);
    // Where the password of an encrypted roster comes from (the caller
    // keeps it alive); without one such a roster fails with the reason.
    void SetPasswordPrompt(roster::PasswordPrompt* prompt) { prompt_ = prompt; }
    // Attaches the open workbook's first sheet.  Throws
    // roster::RosterError for a chart or macro sheet.
    void AttachFirstSheet(TExcelWorksheet& sheet);
private:
    bool connected_ = false;
    std::shared_ptr<const roster::Workbook> book_;
    roster::PasswordPrompt* prompt_ = nullptr;
};

}  // namespace vdmq
