// libFuzzer harness: any bytes are either a workbook or a RosterError;
// every cell of the first sheet converts to text or a CellConversionError.
#include "platform/roster.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vdmq::roster;
    try {
        auto book = openWorkbookFromMemory(data, size);
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
    return 0;
}
