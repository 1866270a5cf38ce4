#pragma once
// Shared pieces of the roster reader: the cell store every format fills,
// the workbook object, number-format classification and the reasons
// shown to the user.
#include "platform/roster.h"
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vdmq::roster::detail {

// The BIFF record codes the reader and the decryption know, one list.
enum : std::uint16_t {
    rFORMULA = 0x0006,
    rEOF = 0x000A,
    rFILEPASS = 0x002F,
    rDATEMODE = 0x0022,
    rCONTINUE = 0x003C,
    rCODEPAGE = 0x0042,
    rBOUNDSHEET = 0x0085,
    rMULRK = 0x00BD,
    rMULBLANK = 0x00BE,
    rRSTRING = 0x00D6,
    rXF = 0x00E0,
    rMERGEDCELLS = 0x00E5,
    rSST = 0x00FC,
    rLABELSST = 0x00FD,
    rBLANK = 0x0201,
    rNUMBER = 0x0203,
    rLABEL = 0x0204,
    rBOOLERR = 0x0205,
    rSTRING = 0x0207,
    rRK = 0x027E,
    rFORMAT = 0x041E,
    rBOF = 0x0809,
    rFORMULA3 = 0x0206,
    rFORMULA4 = 0x0406,
    // kept plain in an encrypted stream, besides BOF, FILEPASS and BOUNDSHEET
    rUSREXCL = 0x0194,
    rFILELOCK = 0x0195,
    rINTERFACEHDR = 0x00E1,
    rRRDINFO = 0x0196,
    rRRDHEAD = 0x0138,
    // Excel 2-4 only (read by readOldSheet)
    rBOF2 = 0x0009,
    rBOF3 = 0x0209,
    rBOF4 = 0x0409,
    rBLANK2 = 0x0001,
    rINTEGER2 = 0x0002,
    rNUMBER2 = 0x0003,
    rLABEL2 = 0x0004,
    rBOOLERR2 = 0x0005,
    rSTRING2 = 0x0007,
    rIXFE2 = 0x0044,
    rFORMAT2 = 0x001E,
    rXF2 = 0x0043,
    rXF3 = 0x0243,
    rXF4 = 0x0443,
};

// Reasons, in the words the user reads (UTF-8 here).
std::string reasonCorrupt();  // "不是Excel工作簿（文件已损坏或格式不对）"
[[noreturn]] void throwCorrupt(const char* what = nullptr);

// What a workbook may hold, worked out from the number of its bytes: far
// more than any roster of that size holds, and far less than what would
// take more than a second or two and a few hundred megabytes to read.  A
// workbook beyond them is refused with a message that says which.
struct Limits {
    std::size_t cells;        // cells stored for the first sheet
    std::size_t merges;       // merged ranges of the first sheet
    std::size_t strings;      // entries of the string table
    std::uint64_t poolBytes;  // bytes of the strings stored
    std::uint64_t textBytes;  // text of the sheet's cells, a shared string counted at every use
    std::size_t xmlBytes;     // .xlsx: what its parts may inflate to, all together
    static Limits forInput(std::size_t bytes);
};
// The message for a limit passed: "工作表的单元格太多（超过 N 个）…".
[[noreturn]] void throwTooMuch(const char* what, std::uint64_t limit, const char* unit);

// Strings, stored back to back so that a table of a million tiny strings
// costs a few bytes each, not a std::string each.
class StringPool {
public:
    std::uint32_t add(std::string_view s);
    std::string_view get(std::uint32_t i) const;
    std::uint32_t size() const { return static_cast<std::uint32_t>(starts_.size()); }
    void reserveBytes(std::size_t n) { blob_.reserve(std::min<std::uint64_t>(n, maxBytes_)); }
    void setLimits(const Limits& l)
    {
        maxStrings_ = l.strings;
        maxBytes_ = l.poolBytes;
    }
private:
    std::string blob_;
    std::vector<std::uint32_t> starts_;  // start of string i; end = start of i+1 or blob end
    std::size_t maxStrings_ = 0xFFFFFFFFu;
    std::uint64_t maxBytes_ = 0xFFFFFFFFu;
};

// One stored cell: 24 bytes.  Empty cells are not stored.
struct StoredCell {
    std::uint32_t row;  // 1-based
    std::uint32_t col;  // 1-based
    double number;
    std::uint32_t str;  // String / Error: index in the sheet's pool
    std::uint8_t type;  // CellType
    std::uint8_t isDate;
    std::uint8_t boolean;
};

class SheetData final : public Sheet {
public:
    std::string name() const override { return name_; }
    Cell cell(int row, int col) const override;
    int rowCount() const override { return rows_; }
    int columnCount() const override { return cols_; }
    std::vector<Range> merges() const override { return merges_; }

    // Filling, in any order; a later cell at the same place wins.
    void setName(std::string n) { name_ = std::move(n); }
    void addNumber(std::uint32_t row, std::uint32_t col, double v, bool isDate);
    void addString(std::uint32_t row, std::uint32_t col, std::string_view s);
    void addPooledString(std::uint32_t row, std::uint32_t col, std::uint32_t poolIndex);
    void addBoolean(std::uint32_t row, std::uint32_t col, bool v);
    void addError(std::uint32_t row, std::uint32_t col, std::string_view text);
    void addMerge(Range r);
    StringPool& pool() { return pool_; }
    void setLimits(const Limits& l)
    {
        limits_ = l;
        pool_.setLimits(l);
    }
    void reserveCells(std::size_t n) { cells_.reserve(std::min<std::size_t>(n, limits_.cells)); }
    // Sorts, drops overwritten cells and works out the used area.
    void finish();

private:
    void push(const StoredCell& c);
    void countText(std::size_t n);
    Limits limits_ = Limits::forInput(0);
    std::uint64_t textBytes_ = 0;
    std::string name_;
    StringPool pool_;
    std::vector<StoredCell> cells_;
    std::vector<Range> merges_;
    // rowStart_[r] = index of the first cell of row r or later (1..rows_+1)
    std::vector<std::uint32_t> rowStart_;
    bool sorted_ = true;
    int rows_ = 0, cols_ = 0;
};

class BookData final : public Workbook {
public:
    const Sheet& firstSheet() const override;
    bool dates1904() const override { return dates1904_; }

    bool dates1904_ = false;
    // Set when the first sheet in tab order is not a worksheet, or there
    // is none: firstSheet() then throws this reason.
    std::string firstSheetProblem_;
    SheetData sheet_;
};

// Number formats: which style shows its number as a date or time.
bool isBuiltinDateFormat(int id);
bool isDateFormatCode(std::string_view code);

// Format readers.  `data` stays valid for the call only.  `password` is
// the one the caller gives for an encrypted workbook (may be null).
std::unique_ptr<Workbook> readOle(const std::uint8_t* data, std::size_t size, const Password* password);
std::unique_ptr<Workbook> readXlsx(const std::uint8_t* data, std::size_t size);
// A bare BIFF stream (the Workbook stream of an OLE file, or a whole
// Excel 2-4 file).
std::unique_ptr<Workbook> readBiff(std::span<const std::uint8_t> stream, const Password* password);

// libgsf set up once, its complaints about damaged files kept off stderr
// while a ReaderQuiet lives on the thread.
void initGsf();
struct ReaderQuiet {
    ReaderQuiet();
    ~ReaderQuiet();
    ReaderQuiet(const ReaderQuiet&) = delete;
    ReaderQuiet& operator=(const ReaderQuiet&) = delete;
};

// Bytes that are wiped before their memory is given back (decrypted
// workbooks, keys).
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&)
    {
    }
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n);
    template <class U>
    bool operator==(const WipingAllocator<U>&) const
    {
        return true;
    }
};
void wipe(void* p, std::size_t n);
template <class T>
void WipingAllocator<T>::deallocate(T* p, std::size_t n)
{
    wipe(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
}
using SecretBytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

// Encrypted workbooks.  Both try Excel's built-in password first, then
// `password`; they throw PasswordError when neither fits and RosterError
// for a scheme that is not supported or a damaged encryption header.
// The records of a BIFF5/BIFF8 stream whose globals hold FILEPASS at
// `filePass` (offset of its header), decrypted.
SecretBytes decryptBiff(std::span<const std::uint8_t> stream, std::size_t filePass, bool biff8,
                        const Password* password);
// The package of an ECMA-376 encrypted .xlsx, from its EncryptionInfo and
// EncryptedPackage streams.
SecretBytes decryptPackage(std::span<const std::uint8_t> info, std::span<const std::uint8_t> package,
                           const Password* password);
// Reasons.
std::string reasonPasswordNeeded();  // "工作簿设置了打开密码…"
std::string reasonPasswordWrong();   // "密码不正确…"

// Text in a Windows or Macintosh code page (BIFF2-5) to UTF-8.  The
// converter is opened once per workbook; unknown code pages are read as
// 1252.
class Codepage {
public:
    explicit Codepage(int codepage = 1252);
    ~Codepage();
    Codepage(const Codepage&) = delete;
    Codepage& operator=(const Codepage&) = delete;
    void set(int codepage);
    int number() const { return number_; }
    std::string toUtf8(std::string_view bytes);
    // The iconv name used for a code page; nullptr when it is UTF-16 or
    // unknown.
    static const char* iconvName(int codepage, char (&buf)[24]);
private:
    void open();
    int number_ = 0;
    void* cd_ = nullptr;  // iconv_t
    bool utf8_ = false;
    bool opened_ = false;
};
std::string codepageToUtf8(std::string_view bytes, int codepage);
void appendUtf8(std::string& out, std::uint32_t cp);

}  // namespace vdmq::roster::detail
