// The roster reader's common part: opening by path or bytes, the cell
// store, number formats and the conversion of a cell to text.
#include "platform/roster_internal.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace vdmq::roster {
namespace detail {

std::string reasonCorrupt() { return "不是Excel工作簿（文件已损坏或格式不对）"; }

void throwCorrupt(const char* what)
{
    std::string r = reasonCorrupt();
    if (what && *what) r += std::string("：") + what;
    throw RosterError(r);
}

// ---- strings ---------------------------------------------------------------

std::uint32_t StringPool::add(std::string_view s)
{
    if (blob_.size() + s.size() > 0xFFFFFFFFu) throw std::bad_alloc();
    starts_.push_back(static_cast<std::uint32_t>(blob_.size()));
    blob_.append(s);
    return static_cast<std::uint32_t>(starts_.size() - 1);
}

std::string_view StringPool::get(std::uint32_t i) const
{
    if (i >= starts_.size()) return {};
    std::size_t b = starts_[i];
    std::size_t e = i + 1 < starts_.size() ? starts_[i + 1] : blob_.size();
    return std::string_view(blob_).substr(b, e - b);
}

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

static std::string latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) appendUtf8(out, c);
    return out;
}

std::string codepageToUtf8(std::string_view bytes, int codepage)
{
    bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return std::string(bytes);
    const char* name = nullptr;
    char buf[16];
    switch (codepage) {
    case 936: name = "GB18030"; break;  // a superset: nothing GBK wrote is lost
    case 950: name = "BIG5"; break;
    case 932: name = "CP932"; break;
    case 949: name = "CP949"; break;
    case 10000: name = "MACINTOSH"; break;
    case 65001: return std::string(bytes);
    case 1200: case 367: case 20127: case 21010: break;
    case 32768: name = "MACINTOSH"; break;
    case 32769: name = "CP1252"; break;
    default:
        if (codepage >= 1250 && codepage <= 1258) {
            std::snprintf(buf, sizeof buf, "CP%d", codepage);
            name = buf;
        } else if (codepage == 437 || codepage == 850 || codepage == 852 || codepage == 866 || codepage == 874) {
            std::snprintf(buf, sizeof buf, "CP%d", codepage);
            name = buf;
        }
    }
    if (!name) name = "CP1252";
    iconv_t cd = iconv_open("UTF-8", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return latin1ToUtf8(bytes);
    std::string out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* o = out.data();
    std::size_t oLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &o, &oLeft) == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) break;  // cannot happen: 4 bytes per input byte suffice
            // A byte that is not valid in the code page: U+FFFD, go on.
            if (oLeft < 3) break;
            std::memcpy(o, "\xEF\xBF\xBD", 3);
            o += 3;
            oLeft -= 3;
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - oLeft);
    return out;
}

// ---- the cell store --------------------------------------------------------

void SheetData::push(const StoredCell& c)
{
    if (c.row == 0 || c.col == 0) return;
    if (!cells_.empty()) {
        const StoredCell& b = cells_.back();
        if (b.row > c.row || (b.row == c.row && b.col >= c.col)) sorted_ = false;
    }
    cells_.push_back(c);
}

void SheetData::addNumber(std::uint32_t row, std::uint32_t col, double v, bool isDate)
{
    push(StoredCell{row, col, v, 0, static_cast<std::uint8_t>(CellType::Number), isDate, 0});
}

void SheetData::addString(std::uint32_t row, std::uint32_t col, std::string_view s)
{
    if (row == 0 || col == 0) return;
    push(StoredCell{row, col, 0, pool_.add(s), static_cast<std::uint8_t>(CellType::String), 0, 0});
}

void SheetData::addPooledString(std::uint32_t row, std::uint32_t col, std::uint32_t poolIndex)
{
    push(StoredCell{row, col, 0, poolIndex, static_cast<std::uint8_t>(CellType::String), 0, 0});
}

void SheetData::addBoolean(std::uint32_t row, std::uint32_t col, bool v)
{
    push(StoredCell{row, col, 0, 0, static_cast<std::uint8_t>(CellType::Boolean), 0, v});
}

void SheetData::addError(std::uint32_t row, std::uint32_t col, std::string_view text)
{
    if (row == 0 || col == 0) return;
    push(StoredCell{row, col, 0, pool_.add(text), static_cast<std::uint8_t>(CellType::Error), 0, 0});
}

void SheetData::addMerge(Range r)
{
    if (r.firstRow < 1 || r.firstCol < 1 || r.lastRow < r.firstRow || r.lastCol < r.firstCol) return;
    if (r.firstRow == r.lastRow && r.firstCol == r.lastCol) return;
    merges_.push_back(r);
}

void SheetData::finish()
{
    if (!sorted_) {
        std::stable_sort(cells_.begin(), cells_.end(), [](const StoredCell& a, const StoredCell& b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        });
        // Keep the last of equal places: it came later in the file.
        std::vector<StoredCell> out;
        out.reserve(cells_.size());
        for (const StoredCell& c : cells_) {
            if (!out.empty() && out.back().row == c.row && out.back().col == c.col)
                out.back() = c;
            else
                out.push_back(c);
        }
        cells_.swap(out);
        sorted_ = true;
    }
    if (cells_.capacity() > cells_.size() + cells_.size() / 2 + 1024) cells_.shrink_to_fit();
    rows_ = cols_ = 0;
    for (const StoredCell& c : cells_) {
        // An empty string is still a cell that was written, as the
        // spreadsheet shows it; count it like any other.
        rows_ = std::max<int>(rows_, static_cast<int>(std::min<std::uint32_t>(c.row, 0x7FFFFFFF)));
        cols_ = std::max<int>(cols_, static_cast<int>(std::min<std::uint32_t>(c.col, 0x7FFFFFFF)));
    }
    // Rows are at most 1,048,576 (both formats), so the row index stays
    // within 4 MB whatever the file claims.
    rowStart_.assign(static_cast<std::size_t>(rows_) + 2, 0);
    std::size_t i = 0;
    for (std::uint32_t r = 1; r <= static_cast<std::uint32_t>(rows_) + 1; ++r) {
        while (i < cells_.size() && cells_[i].row < r) ++i;
        rowStart_[r] = static_cast<std::uint32_t>(i);
    }
}

Cell SheetData::cell(int row, int col) const
{
    Cell out;
    if (row < 1 || col < 1) return out;
    if (row > rows_) return out;
    auto c = static_cast<std::uint32_t>(col);
    auto first = cells_.begin() + rowStart_[static_cast<std::size_t>(row)];
    auto last = cells_.begin() + rowStart_[static_cast<std::size_t>(row) + 1];
    auto it = std::lower_bound(first, last, c, [](const StoredCell& s, std::uint32_t k) { return s.col < k; });
    if (it == last || it->col != c) return out;
    out.type = static_cast<CellType>(it->type);
    switch (out.type) {
    case CellType::Number:
        out.number = it->number;
        out.isDate = it->isDate != 0;
        break;
    case CellType::Boolean:
        out.boolean = it->boolean != 0;
        break;
    case CellType::String:
    case CellType::Error:
        out.text = std::string(pool_.get(it->str));
        break;
    case CellType::Empty:
        break;
    }
    return out;
}

const Sheet& BookData::firstSheet() const
{
    if (!firstSheetProblem_.empty()) throw RosterError(firstSheetProblem_);
    return sheet_;
}

// ---- number formats ----------------------------------------------------------

bool isBuiltinDateFormat(int id)
{
    // 14-22 and 45-47 everywhere; 27-36 and 50-58 are the date formats of
    // the East Asian editions (年月日 forms), which Chinese rosters use.
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

bool isDateFormatCode(std::string_view code)
{
    // Only the first section decides (positive numbers); literal text,
    // escapes, fill and padding characters and [colour]/[condition]/[$-804]
    // brackets do not count, but elapsed time [h], [mm], [ss] does.
    bool date = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        char ch = code[i];
        if (ch == ';') break;
        if (ch == '"') {
            std::size_t e = code.find('"', i + 1);
            if (e == std::string_view::npos) break;
            i = e;
        } else if (ch == '\\' || ch == '_' || ch == '*') {
            ++i;
        } else if (ch == '[') {
            std::size_t e = code.find(']', i + 1);
            if (e == std::string_view::npos) break;
            std::string_view in = code.substr(i + 1, e - i - 1);
            if (!in.empty() && std::all_of(in.begin(), in.end(), [](char c) {
                    return c == 'h' || c == 'H' || c == 'm' || c == 'M' || c == 's' || c == 'S';
                }))
                date = true;
            i = e;
        } else {
            switch (ch) {
            case 'y': case 'Y': case 'm': case 'M': case 'd': case 'D':
            case 'h': case 'H': case 's': case 'S': case 'e': case 'E':
                date = true;
                break;
            case '0': case '#': case '?':
                // a digit placeholder outside a time (e.g. "0.0 yuan") makes it a number,
                // except fractions of a second after s ("ss.000")
                if (!date) return false;
                break;
            default:
                break;
            }
        }
    }
    // "General" has an 'e' and must stay a number.
    if (code.size() >= 7) {
        std::string low(code.substr(0, 7));
        std::transform(low.begin(), low.end(), low.begin(), [](unsigned char c) { return std::tolower(c); });
        if (low == "general") return false;
    }
    return date;
}

}  // namespace detail

// ---- opening -------------------------------------------------------------------

using namespace detail;

namespace {

bool looksLikeText(const std::uint8_t* data, std::size_t size)
{
    std::size_t n = std::min<std::size_t>(size, 4096);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t c = data[i];
        if (c == 0) return false;
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') return false;
    }
    return true;
}

std::unique_ptr<Workbook> openChecked(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) throw RosterError("文件是空的，不是Excel工作簿");
    static const std::uint8_t ole[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (size >= 8 && std::memcmp(data, ole, 8) == 0) return readOle(data, size);
    if (size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0) return readXlsx(data, size);
    // A bare BIFF stream without the compound-file wrapper (some old
    // exporters): BOF record of BIFF5 or BIFF8.
    if (size >= 8 && data[0] == 0x09 && data[1] == 0x08)
        return readBiff(std::span<const std::uint8_t>(data, size));
    if (looksLikeText(data, size))
        throw RosterError("这是一个文本文件，不是Excel工作簿（请在Excel中另存为.xls或.xlsx）");
    throw RosterError(reasonCorrupt());
}

}  // namespace

std::unique_ptr<Workbook> openWorkbookFromMemory(const std::uint8_t* data, std::size_t size)
{
    try {
        return openChecked(data, size);
    } catch (const RosterError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw RosterError("内存不足，无法读取工作簿");
    } catch (const std::exception&) {
        throw RosterError(reasonCorrupt());
    }
}

std::unique_ptr<Workbook> openWorkbook(const std::string& path)
{
    if (path.empty()) throw RosterError("没有选择Excel工作簿");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw RosterError("文件不存在：" + path);
        throw RosterError("无法读取文件：" + path + "（" + std::strerror(errno) + "）");
    }
    if (S_ISDIR(st.st_mode)) throw RosterError("这是一个文件夹，不是Excel工作簿：" + path);
    if (!S_ISREG(st.st_mode)) throw RosterError("这不是普通文件，不是Excel工作簿：" + path);
    // Rosters are a few megabytes; a file this size is not one, and reading
    // it whole would only exhaust memory.
    constexpr std::uint64_t maxSize = 1024ull * 1024 * 1024;
    if (static_cast<std::uint64_t>(st.st_size) > maxSize) throw RosterError("文件太大，不是人员名册工作簿：" + path);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw RosterError("无法读取文件：" + path + "（" + std::strerror(errno) + "）");
    if (::fstat(fd, &st) != 0 || st.st_size == 0) {
        ::close(fd);
        throw RosterError("文件是空的，不是Excel工作簿：" + path);
    }
    // Read into memory not zeroed first (the file is read once, whole).
    // Not mapped: another program saving the roster meanwhile could shrink
    // the file under the mapping, and that is a crash, not an error.
    auto size = static_cast<std::size_t>(st.st_size);
    std::unique_ptr<std::uint8_t[]> bytes;
    try {
        bytes.reset(new std::uint8_t[size]);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        throw RosterError("内存不足，无法读取工作簿：" + path);
    }
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, bytes.get() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            throw RosterError("无法读取文件：" + path + "（" + std::strerror(e) + "）");
        }
        if (n == 0) break;  // shrank while we read
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    size = got;
    const std::uint8_t* data = bytes.get();
    if (size == 0) throw RosterError("文件是空的，不是Excel工作簿：" + path);
    try {
        return openWorkbookFromMemory(data, size);
    } catch (const RosterError& e) {
        throw RosterError(std::string(e.what()) + "：" + path);
    }
}

// ---- cell to text --------------------------------------------------------------

namespace {

std::string numberText(double v)
{
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
    if (v == 0) return "0";  // also -0
    // As printf's %.15g, without its cost.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, res.ptr);
    // %g writes "1e+15"; the regional conversion writes "1E+15".
    std::size_t e = s.find('e');
    if (e != std::string::npos) s[e] = 'E';
    return s;
}

void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d)
{
    // Days since 1970-01-01 to a proleptic Gregorian date.
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}

std::string dateText(double serial, bool dates1904)
{
    // Beyond 9999-12-31 or before the epoch the spreadsheet shows no date;
    // give the number.
    if (!(serial >= 0) || serial >= 2958466.0) return numberText(serial);
    auto seconds = static_cast<std::int64_t>(std::llround(serial * 86400.0));
    std::int64_t days = seconds / 86400;
    std::int64_t secs = seconds % 86400;
    // Day numbers to days since 1970-01-01.  The 1900 system counts a
    // 29 February 1900 that never was: serial 60; serials before it are one
    // day later than a plain count from 1899-12-30 would give.
    // Day 0 of the 1900 system is no day: the value is a time of day only.
    bool timeOnly = !dates1904 && days == 0;
    std::int64_t unixDays;
    int y;
    unsigned m, d;
    if (dates1904) {
        unixDays = days - 24107;  // 1904-01-01 is day 0
        civilFromDays(unixDays, y, m, d);
    } else if (days == 60) {
        y = 1900; m = 2; d = 29;
    } else {
        if (days < 60) ++days;
        unixDays = days - 25569;  // 1899-12-30 is day 0
        civilFromDays(unixDays, y, m, d);
    }
    std::string out;
    char buf[64];
    if (!timeOnly) {
        std::snprintf(buf, sizeof buf, "%d/%u/%u", y, m, d);
        out = buf;
    }
    if (secs != 0 || timeOnly) {
        std::snprintf(buf, sizeof buf, "%s%d:%02d:%02d", timeOnly ? "" : " ", static_cast<int>(secs / 3600),
                      static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60));
        out += buf;
    }
    return out;
}

std::string columnName(int col)
{
    std::string s;
    while (col > 0) {
        int r = (col - 1) % 26;
        s.insert(s.begin(), static_cast<char>('A' + r));
        col = (col - 1) / 26;
    }
    return s;
}

}  // namespace

std::string cellText(const Cell& cell, bool dates1904, int row, int col)
{
    switch (cell.type) {
    case CellType::Empty:
        return {};
    case CellType::String:
        return cell.text;
    case CellType::Boolean:
        return cell.boolean ? "True" : "False";
    case CellType::Number:
        return cell.isDate ? dateText(cell.number, dates1904) : numberText(cell.number);
    case CellType::Error:
        break;
    }
    throw CellConversionError("第" + std::to_string(row) + "行第" + std::to_string(col) + "列（" + columnName(col) +
                              std::to_string(row) + "）的单元格是错误值" + cell.text + "，不能转换为文本");
}

}  // namespace vdmq::roster
