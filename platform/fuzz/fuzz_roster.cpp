// libFuzzer harness: any bytes are either a workbook or a RosterError;
// every cell of the first sheet converts to text or a CellConversionError.
// Each input is read twice: without a password and with the one the
// encrypted seeds were made with, so mutated encryption headers, keys and
// packages go through the decryption too.
#include "platform/roster.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

void readAll(const std::uint8_t* data, std::size_t size, const vdmq::roster::Password* password)
{
    using namespace vdmq::roster;
    try {
        auto book = openWorkbookFromMemory(data, size, password);
        const Sheet& sh = book->firstSheet();
        (void)sh.name();
        (void)sh.merges();
        // The used area may be a million rows; look at a bounded corner of
        // it and at its far edge.
        int rows = std::min(sh.rowCount(), 300), cols = std::min(sh.columnCount(), 64);
        for (int r = 0; r <= rows + 1; ++r)
            for (int c = 0; c <= cols + 1; ++c) {
                try {
                    (void)cellText(sh.cell(r, c), book->dates1904(), r, c);
                } catch (const CellConversionError&) {
                }
            }
        (void)sh.cell(sh.rowCount(), sh.columnCount());
    } catch (const RosterError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Without a password (Excel's built-in one is tried), and with the one
    // the encrypted seeds have: the decryption of mutated keys, salts,
    // verifiers and packages runs with the key that once fitted.
    static const vdmq::roster::Password password("vdmq2009");
    readAll(data, size, nullptr);
    readAll(data, size, &password);
    return 0;
}
