// libFuzzer harness: any bytes are either a workbook or a RosterError;
// every cell converts to text or a CellConversionError.  An opened sheet is
// read the way a print run reads it: the flag column of every row, and
// every column of the form for each flagged row (as the filler converts
// them), plus a corner of the sheet and its far edge for coverage.
// scripts/fuzz runs it with the reader's goal as its limits (time and
// memory per input) and seeds it with the hostile-file set as well.
// An input that wants a password is read again with the one the encrypted
// seeds were made with, so mutated encryption headers, keys and packages
// go through the decryption too.
#include "form/RosterColumns.h"
#include "platform/roster.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

void text(const vdmq::roster::Workbook& book, const vdmq::roster::Sheet& sh, int r, int c, std::size_t& bytes)
{
    try {
        bytes += vdmq::roster::cellText(sh.cell(r, c), book.dates1904(), r, c).size();
    } catch (const vdmq::roster::CellConversionError&) {
    }
}

// False when the workbook wants a password it was not given.
bool readAll(const std::uint8_t* data, std::size_t size, const vdmq::roster::Password* password)
{
    using namespace vdmq::roster;
    try {
        auto book = openWorkbookFromMemory(data, size, password);
        const Sheet& sh = book->firstSheet();
        (void)sh.name();
        (void)sh.merges();
        std::size_t bytes = 0;
        for (int r = 1; r <= sh.rowCount(); ++r) {
            try {
                // The run's own rule; it reads the same in UTF-8 as in GB18030.
                if (!vdmq::col::IsPrintFlag(
                        cellText(sh.cell(r, vdmq::col::PrintFlag), book->dates1904(), r, vdmq::col::PrintFlag)))
                    continue;
            } catch (const CellConversionError&) {
                continue;
            }
            for (int c = 1; c <= vdmq::col::LastRead; ++c)
                text(*book, sh, r, c, bytes);
        }
        int rows = std::min(sh.rowCount(), 300), cols = std::min(sh.columnCount(), 64);
        for (int r = 0; r <= rows + 1; ++r)
            for (int c = 0; c <= cols + 1; ++c)
                text(*book, sh, r, c, bytes);
        text(*book, sh, sh.rowCount(), sh.columnCount(), bytes);
    } catch (const PasswordError&) {
        return false;
    } catch (const RosterError&) {
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Without a password (Excel's built-in one is tried), and with the one
    // the encrypted seeds have: the decryption of mutated keys, salts,
    // verifiers and packages runs with the key that once fitted.
    static const vdmq::roster::Password password("vdmq2009");
    if (!readAll(data, size, nullptr))
        readAll(data, size, &password);
    return 0;
}
