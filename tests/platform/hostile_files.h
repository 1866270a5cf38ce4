#pragma once
// Hostile workbooks, made on demand: the shapes that once cost the reader
// minutes or gigabytes (a style table of 300,000 formats, an .xlsx row of
// 200,000 attributes, zip bombs, ten million CONTINUE records, one long
// string referenced by every row, floods of cells, strings and merges),
// and the container tricks around them.  Each comes with what the reader
// must do with it: open it, or refuse it with a message that says why.
// Used by the regression test (tests/platform/test_hostile.cpp) and the
// benchmark (bench/bench_hostile.cpp), which times each and measures its
// peak memory.
#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

struct Case {
    std::string name;
    std::string what;    // the shape, in a few words
    bool opens = false;  // true: the workbook opens; false: it is refused
    std::string phrase;  // part of the refusal's message (UTF-8)
};

// Every case of the set, without its bytes.
const std::vector<Case>& Cases();
// The bytes of one case (a few to some tens of megabytes); `scale` < 1
// makes the same shape with fewer of everything (fuzzing seeds).
std::vector<std::uint8_t> Make(const std::string& name, double scale = 1.0);

// Building blocks, also for hand-made tests.
std::vector<std::uint8_t> OleWrap(const std::vector<std::uint8_t>& workbookStream);
struct ZipMember {
    std::string name;
    std::string data;  // stored (or deflated, below) as is
    // Deflated as `data` followed by `repeat` copies of `repeated`, then
    // `tail`: the copies are compressed once and repeated, so gigabytes
    // cost a few megabytes and no time.
    std::string repeated;
    std::uint64_t repeat = 0;
    std::string tail;
};
std::vector<std::uint8_t> Zip(const std::vector<ZipMember>& members);
// A minimal .xlsx around a sheet's XML (and an optional shared-string part).
std::vector<ZipMember> XlsxParts(ZipMember sheet, const ZipMember* sharedStrings = nullptr);

}  // namespace hostile
