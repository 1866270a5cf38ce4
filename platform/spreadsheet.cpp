// The spreadsheet operations over the native roster reader.
#include "platform/spreadsheet.h"
#include "platform/gbtext.h"

#include <stdexcept>

namespace vdmq {

std::string TExcelWorksheet::CellText(int row, int col) const
{
    const roster::Sheet* sh = sheet();
    if (!sh)
        throw std::logic_error("worksheet not attached");
    // Holding the workbook for the read keeps a sheet of a tracked
    // workbook alive even if the application lets it go meanwhile.
    auto hold = owner_.lock();
    roster::Cell c = sh->cell(row, col);
    if (c.type == roster::CellType::Empty)
        return {};
    try {
        return gbFromUtf8(roster::cellText(c, dates1904_, row, col));
    } catch (const roster::CellConversionError& e) {
        throw GbEncodedError<roster::CellConversionError>(gbFromUtf8(e.what()));
    }
}

void TExcelApplication::Connect() { connected_ = true; }

void TExcelApplication::Disconnect()
{
    book_.reset();
    connected_ = false;
}

void TExcelApplication::WorkbooksOpen(const std::string& pathGb)
{
    // Opening replaces the workbook opened before; a failed open leaves
    // none, so nothing stale is read afterwards.
    book_.reset();
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

void TExcelApplication::AttachFirstSheet(TExcelWorksheet& sheet)
{
    if (!book_)
        throw GbEncodedError<roster::RosterError>(gb("没有打开的工作簿"));
    try {
        sheet.Attach(&book_->firstSheet(), book_->dates1904(), book_);
    } catch (const roster::RosterError& e) {
        sheet.Release();
        throw GbEncodedError<roster::RosterError>(gbFromUtf8(e.what()));
    }
}

}  // namespace vdmq
