#pragma once
// Shared pieces of the roster reader: the cell store every format fills,
// the workbook object, number-format classification and the reasons
// shown to the user.
#include "platform/roster.h"
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vdmq::roster::detail {

// Reasons, in the words the user reads (UTF-8 here).
std::string reasonCorrupt();                 // "不是Excel工作簿（文件已损坏或格式不对）"
[[noreturn]] void throwCorrupt(const char* what = nullptr);

// Strings, stored back to back so that a table of a million tiny strings
// costs a few bytes each, not a std::string each.
class StringPool {
public:
    std::uint32_t add(std::string_view s);
    std::string_view get(std::uint32_t i) const;
    std::uint32_t size() const { return static_cast<std::uint32_t>(starts_.size()); }
    void reserveBytes(std::size_t n) { blob_.reserve(n); }
private:
    std::string blob_;
    std::vector<std::uint32_t> starts_;  // start of string i; end = start of i+1 or blob end
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
    void reserveCells(std::size_t n) { cells_.reserve(std::min<std::size_t>(n, 1u << 24)); }
    // Sorts, drops overwritten cells and works out the used area.
    void finish();

private:
    void push(const StoredCell& c);
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

// Format readers.  `data` stays valid for the call only.
std::unique_ptr<Workbook> readOle(const std::uint8_t* data, std::size_t size);
std::unique_ptr<Workbook> readXlsx(const std::uint8_t* data, std::size_t size);
// A bare BIFF stream (the Workbook stream of an OLE file).
std::unique_ptr<Workbook> readBiff(std::span<const std::uint8_t> stream);

// libgsf set up once, its complaints about damaged files kept off stderr.
void initGsf();

// Text in a Windows code page (BIFF5) to UTF-8; unknown code pages are
// read as 1252.
std::string codepageToUtf8(std::string_view bytes, int codepage);
void appendUtf8(std::string& out, std::uint32_t cp);

}  // namespace vdmq::roster::detail
