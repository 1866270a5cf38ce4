// The row source over the roster reader.
#include "platform/rowsource.h"
#include "platform/gbtext.h"

#include <algorithm>
#include <stdexcept>

namespace vdmq {

void TRosterRows::Open(const std::string& pathGb)
{
    // Nothing stale is read after a failed open.
    Close();
    const std::string path = utf8FromGb(pathGb);
    try {
        book_ = prompt_ ? roster::openWorkbook(path, *prompt_) : roster::openWorkbook(path);
    } catch (const roster::OpenCancelled& e) {
        throw GbEncodedError<roster::OpenCancelled>(gbFromUtf8(e.what()));
    } catch (const roster::PasswordError& e) {
        throw GbEncodedError<roster::PasswordError>(gbFromUtf8(e.what()), e.wrong());
    } catch (const roster::RosterError& e) {
        throw GbEncodedError<roster::RosterError>(gbFromUtf8(e.what()));
    }
}

void TRosterRows::FirstSheet()
{
    sheet_ = nullptr;
    if (!book_)
        throw GbEncodedError<roster::RosterError>(gb("没有打开的工作簿"));
    try {
        sheet_ = &book_->firstSheet();
    } catch (const roster::RosterError& e) {
        throw GbEncodedError<roster::RosterError>(gbFromUtf8(e.what()));
    }
}

QString TRosterRows::CellText(int row, int col) const
{
    if (!sheet_)
        throw std::logic_error("no sheet taken");
    const roster::Cell c = sheet_->cell(row, col);
    if (c.type == roster::CellType::Empty)
        return {};
    try {
        return QString::fromStdString(roster::cellText(c, book_->dates1904(), row, col));
    } catch (const roster::CellConversionError& e) {
        throw GbEncodedError<roster::CellConversionError>(gbFromUtf8(e.what()));
    }
}

int TRosterRows::LastRow() const
{
    // Cells below the sheet's used area are empty, so none of those rows is
    // flagged; a range typed as 7..99999999 need not read them one by one.
    return sheet_ ? std::max(0, sheet_->rowCount()) : INT_MAX;
}

void TRosterRows::Close()
{
    sheet_ = nullptr;
    book_.reset();
}

}  // namespace vdmq
