#pragma once
// Native roster reader: .xls (BIFF8, BIFF5; also WPS .et with BIFF8 inside)
// and .xlsx.  Pure C++ over libgsf; no Qt, so it can be fuzzed on its own.
// Strings are UTF-8 here; conversion to the system's GB18030 text happens
// in the spreadsheet adapter (spreadsheet.h).
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vdmq::roster {

// Opening failed; what() is a reason in plain words (Chinese), e.g.
// "文件不存在：/path" or "不是Excel工作簿（文件已损坏或格式不对）".
class RosterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class CellType { Empty, Number, String, Boolean, Error };

struct Cell {
    CellType type = CellType::Empty;
    double number = 0;      // Number (a date is a number with isDate set)
    bool isDate = false;    // the cell's number format is a date/time format
    bool boolean = false;   // Boolean
    std::string text;       // String: UTF-8; Error: "#N/A", "#DIV/0!", ...
};

struct Range {  // 1-based, inclusive
    int firstRow, firstCol, lastRow, lastCol;
};

class Sheet {
public:
    virtual ~Sheet() = default;
    virtual std::string name() const = 0;          // UTF-8
    // 1-based row and column; anything outside the used area is Empty.
    virtual Cell cell(int row, int col) const = 0;
    virtual int rowCount() const = 0;              // last used row (1-based), 0 if none
    virtual int columnCount() const = 0;           // last used column
    virtual std::vector<Range> merges() const = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;
    // The first sheet in tab order.  Throws RosterError when that is a chart
    // or macro sheet, or when the workbook has no sheet.
    virtual const Sheet& firstSheet() const = 0;
    virtual bool dates1904() const = 0;
};

// Opens by path (UTF-8 file name); the format is found from the content,
// not the extension.  Throws RosterError with the reason.
std::unique_ptr<Workbook> openWorkbook(const std::string& path);
// The same from bytes in memory (tests, fuzzing).
std::unique_ptr<Workbook> openWorkbookFromMemory(const std::uint8_t* data, std::size_t size);

// Cell to text as the spreadsheet's own conversion gives it, in UTF-8:
// empty -> "", text unchanged, number -> shortest form at 15 significant
// digits ("1", "930.5", "89.9"), date -> "yyyy/M/d" (with " H:mm:ss" when it
// has a time of day), boolean -> "True"/"False".  An error cell throws
// CellConversionError.
class CellConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
std::string cellText(const Cell& cell, bool dates1904, int row, int col);

}  // namespace vdmq::roster
