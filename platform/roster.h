#pragma once
// Native roster reader: .xls (BIFF8, BIFF5, the worksheets of Excel 2-4;
// also WPS .et with BIFF8 inside) and .xlsx, password-protected ones
// included.  Pure C++ over libgsf, libxml2 and Nettle; no Qt, so it can be
// fuzzed on its own.
// Strings are UTF-8 here; conversion to the system's GB18030 text happens
// in the row source over it (rowsource.h).
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vdmq::roster {

// Opening failed; what() is a reason in plain words (Chinese), e.g.
// "文件不存在：/path" or "不是Excel工作簿（文件已损坏或格式不对）".
class RosterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The workbook is encrypted and no password tried opens it.  wrong() tells
// a password that was given and does not fit ("密码不正确") from none given
// at all.
class PasswordError : public RosterError {
public:
    PasswordError(const std::string& what, bool wrong) : RosterError(what), wrong_(wrong) {}
    bool wrong() const { return wrong_; }
private:
    bool wrong_;
};

// The user declined to give the password: the open ends without a message.
class OpenCancelled : public RosterError {
public:
    using RosterError::RosterError;
};

// A password, held in memory that is locked where the system allows it,
// left out of core dumps and wiped when freed.  Not copyable by accident.
class Password {
public:
    Password() = default;
    explicit Password(std::string_view utf8) { assign(utf8); }
    ~Password() { clear(); }
    Password(Password&& o) noexcept : p_(o.p_), n_(o.n_), cap_(o.cap_)
    {
        o.p_ = nullptr;
        o.n_ = o.cap_ = 0;
    }
    Password& operator=(Password&& o) noexcept;
    Password(const Password&) = delete;
    Password& operator=(const Password&) = delete;
    Password clone() const { return Password(utf8()); }

    void assign(std::string_view utf8);
    void clear();
    std::string_view utf8() const { return {p_ ? p_ : "", n_}; }
    bool empty() const { return n_ == 0; }
    // The longest password kept (Excel takes 255 characters).
    static constexpr std::size_t kMaxBytes = 1024;

private:
    char* p_ = nullptr;
    std::size_t n_ = 0, cap_ = 0;
};

// Where a password comes from when the workbook needs one: a dialog, a file,
// the terminal.
class PasswordPrompt {
public:
    enum class Answer { Given, Cancelled, None };
    virtual ~PasswordPrompt() = default;
    // The password to try for the workbook at `path` (UTF-8).  `wrong`: the
    // one given before did not open it.  Cancelled: the user declined (the
    // open throws OpenCancelled); None: no password to be had (the open
    // throws the PasswordError).
    virtual Answer Ask(const std::string& path, bool wrong, Password& out) = 0;
    // The workbook at `path` opened with `password`, which Ask gave.
    virtual void Opened(const std::string& /*path*/, const Password& /*password*/) {}
};

enum class CellType { Empty, Number, String, Boolean, Error };

struct Cell {
    CellType type = CellType::Empty;
    double number = 0;     // Number (a date is a number with isDate set)
    bool isDate = false;   // the cell's number format is a date/time format
    bool boolean = false;  // Boolean
    std::string text;      // String: UTF-8; Error: "#N/A", "#DIV/0!", ...
};

struct Range {  // 1-based, inclusive
    int firstRow, firstCol, lastRow, lastCol;
};

class Sheet {
public:
    virtual ~Sheet() = default;
    virtual std::string name() const = 0;  // UTF-8
    // 1-based row and column; anything outside the used area is Empty.
    virtual Cell cell(int row, int col) const = 0;
    virtual int rowCount() const = 0;     // last used row (1-based), 0 if none
    virtual int columnCount() const = 0;  // last used column
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
// not the extension.  Throws RosterError with the reason.  An encrypted
// workbook is tried with Excel's built-in password first (what a workbook
// saved "protected" without an open password has), then with `password`;
// PasswordError when neither opens it.  Decrypted bytes stay in memory.
std::unique_ptr<Workbook> openWorkbook(const std::string& path, const Password* password = nullptr);
// The same, asking `prompt` for passwords until one opens the workbook or
// the prompt has none.  The file is read once.
std::unique_ptr<Workbook> openWorkbook(const std::string& path, PasswordPrompt& prompt);
// The same from bytes in memory (tests, fuzzing).
std::unique_ptr<Workbook> openWorkbookFromMemory(const std::uint8_t* data, std::size_t size,
                                                 const Password* password = nullptr);

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
