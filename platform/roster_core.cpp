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
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vdmq::roster {
namespace detail {

std::string reasonCorrupt() { return "不是Excel工作簿（文件已损坏或格式不对）"; }

void throwCorrupt(const char* what)
{
    std::string r = reasonCorrupt();
    if (what && *what)
        r += std::string("：") + what;
    throw RosterError(r);
}

// ---- limits ----------------------------------------------------------------

Limits Limits::forInput(std::size_t bytes)
{
    const std::uint64_t b = bytes;
    Limits l;
    // A cell costs an .xls six bytes at least (MULRK); a compressed .xlsx
    // rarely less than two.  Three million cells (an .xls sheet full to
    // its last row, 45 columns wide) are 72 MB in memory and a second or
    // so of XML.
    l.cells = static_cast<std::size_t>(std::min<std::uint64_t>(3000000, 65536 + 4 * b));
    l.merges = static_cast<std::size_t>(std::min<std::uint64_t>(1000000, 65536 + b / 4));
    l.strings = static_cast<std::size_t>(std::min<std::uint64_t>(8000000, 65536 + b));
    l.poolBytes = std::min<std::uint64_t>(256u << 20, (16u << 20) + 8 * b);
    l.textBytes = std::min<std::uint64_t>(512u << 20, (64u << 20) + 16 * b);
    // Real packages compress their XML some ten times.
    l.xmlBytes = static_cast<std::size_t>(std::min<std::uint64_t>(256u << 20, (16u << 20) + 40 * b));
    return l;
}

void throwTooMuch(const char* what, std::uint64_t limit, const char* unit)
{
    throw RosterError(std::string(what) + "太多（超过 " + std::to_string(limit) + " " + unit +
                      "），不像人员名册（文件可能已损坏）");
}

// ---- strings ---------------------------------------------------------------

std::uint32_t StringPool::add(std::string_view s)
{
    if (starts_.size() >= maxStrings_)
        throwTooMuch("工作簿的字符串", maxStrings_, "个");
    if (blob_.size() + s.size() > maxBytes_)
        throwTooMuch("工作簿中的文字", maxBytes_ >> 20, "MB");
    if (blob_.size() + s.size() > 0xFFFFFFFFu)
        throw std::bad_alloc();
    starts_.push_back(static_cast<std::uint32_t>(blob_.size()));
    blob_.append(s);
    return static_cast<std::uint32_t>(starts_.size() - 1);
}

std::string_view StringPool::get(std::uint32_t i) const
{
    if (i >= starts_.size())
        return {};
    std::size_t b = starts_[i];
    std::size_t e = i + 1 < starts_.size() ? starts_[i + 1] : blob_.size();
    return std::string_view(blob_).substr(b, e - b);
}

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
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
    for (unsigned char c : bytes)
        appendUtf8(out, c);
    return out;
}

const char* Codepage::iconvName(int codepage, char (&buf)[24])
{
    switch (codepage) {
    case 936: return "GB18030";  // a superset: nothing GBK wrote is lost
    case 932: return "CP932";
    case 949: return "CP949";
    case 950: return "CP950";
    case 874: return "CP874";
    case 1361: return "JOHAB";
    case 367:
    case 20127: return "CP1252";  // US-ASCII; anything above it as Windows does
    case 65000: return "UTF-7";
    case 65001: return "UTF-8";
    // Macintosh code pages, as far as the system's converter knows them;
    // the others as Mac Roman, which they share below 0x80.
    case 10000:
    case 32768: return "MACINTOSH";
    case 10001: return "SHIFT_JIS";
    case 10002: return "BIG5";
    case 10003: return "EUC-KR";
    case 10007: return "MAC-CYRILLIC";
    case 10008: return "GB2312";
    case 10017: return "MAC-UK";
    case 10029: return "MAC-CENTRALEUROPE";
    case 10079: return "MAC-IS";
    case 10004:
    case 10005:
    case 10006:
    case 10010:
    case 10021:
    case 10081:
    case 10082: return "MACINTOSH";
    case 32769: return "CP1252";
    case 1200:
    case 21010: return nullptr;  // UTF-16: not a byte code page
    default: break;
    }
    if ((codepage >= 1250 && codepage <= 1258) || (codepage >= 437 && codepage <= 869)) {
        std::snprintf(buf, sizeof buf, "CP%d", codepage);
        return buf;
    }
    return nullptr;
}

Codepage::Codepage(int codepage) : number_(codepage) {}

Codepage::~Codepage()
{
    if (cd_)
        iconv_close(static_cast<iconv_t>(cd_));
}

void Codepage::set(int codepage)
{
    // The converter is opened when the first non-ASCII text needs it:
    // BIFF8 files, whose text is UTF-16, never do.
    if (codepage == number_)
        return;
    if (cd_)
        iconv_close(static_cast<iconv_t>(cd_));
    cd_ = nullptr;
    utf8_ = false;
    opened_ = false;
    number_ = codepage;
}

void Codepage::open()
{
    opened_ = true;
    char buf[24];
    const char* name = iconvName(number_, buf);
    if (name && std::strcmp(name, "UTF-8") == 0) {
        utf8_ = true;
        return;
    }
    for (const char* n : {name, "CP1252"}) {
        if (!n)
            continue;
        iconv_t cd = iconv_open("UTF-8", n);
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            cd_ = cd;
            return;
        }
    }
}

std::string Codepage::toUtf8(std::string_view bytes)
{
    bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return std::string(bytes);
    if (!opened_)
        open();
    if (utf8_)
        return std::string(bytes);
    if (!cd_)
        return latin1ToUtf8(bytes);
    auto cd = static_cast<iconv_t>(cd_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state for every string
    std::string out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* o = out.data();
    std::size_t oLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &o, &oLeft) == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                break;  // cannot happen: 4 bytes per input byte suffice
            // A byte that is not valid in the code page (or a character cut
            // off at the end): U+FFFD, go on.
            if (oLeft < 3)
                break;
            std::copy_n("\xEF\xBF\xBD", 3, o);
            o += 3;
            oLeft -= 3;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    out.resize(out.size() - oLeft);
    return out;
}

std::string codepageToUtf8(std::string_view bytes, int codepage)
{
    Codepage cp(codepage);
    return cp.toUtf8(bytes);
}

// ---- secrets -----------------------------------------------------------------

void wipe(void* p, std::size_t n)
{
    if (p && n)
        explicit_bzero(p, n);
}

}  // namespace detail

Password& Password::operator=(Password&& o) noexcept
{
    if (this != &o) {
        clear();
        p_ = o.p_;
        n_ = o.n_;
        cap_ = o.cap_;
        o.p_ = nullptr;
        o.n_ = o.cap_ = 0;
    }
    return *this;
}

void Password::assign(std::string_view utf8)
{
    if (utf8.size() > kMaxBytes)
        utf8 = utf8.substr(0, kMaxBytes);
    if (!p_) {
        // A page of its own: locked so that it is never swapped out, and
        // left out of a core dump.
        std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        std::size_t cap = (kMaxBytes + page) / page * page;
        void* m = ::mmap(nullptr, cap, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED)
            throw std::bad_alloc();
        ::madvise(m, cap, MADV_DONTDUMP);
        (void)::mlock(m, cap);  // best effort: the limit of locked memory may be 0
        p_ = static_cast<char*>(m);
        cap_ = cap;
    }
    detail::wipe(p_, n_);
    std::memcpy(p_, utf8.data(), utf8.size());
    n_ = utf8.size();
}

void Password::clear()
{
    if (!p_)
        return;
    detail::wipe(p_, cap_);
    ::munlock(p_, cap_);
    ::munmap(p_, cap_);
    p_ = nullptr;
    n_ = cap_ = 0;
}

namespace detail {

// ---- the cell store --------------------------------------------------------

void SheetData::push(const StoredCell& c)
{
    if (c.row == 0 || c.col == 0)
        return;
    if (cells_.size() >= limits_.cells)
        throwTooMuch("工作表的单元格", limits_.cells, "个");
    if (!cells_.empty()) {
        const StoredCell& b = cells_.back();
        if (b.row > c.row || (b.row == c.row && b.col >= c.col))
            sorted_ = false;
    }
    cells_.push_back(c);
}

void SheetData::addNumber(std::uint32_t row, std::uint32_t col, double v, bool isDate)
{
    push(StoredCell{row, col, v, 0, static_cast<std::uint8_t>(CellType::Number), isDate, 0});
}

void SheetData::countText(std::size_t n)
{
    // Each use of a shared string counts: a 9 MB string in every row
    // would make every form that shows it take seconds.
    textBytes_ += n;
    if (textBytes_ > limits_.textBytes)
        throwTooMuch("工作表中的文字", limits_.textBytes >> 20, "MB");
}

void SheetData::addString(std::uint32_t row, std::uint32_t col, std::string_view s)
{
    if (row == 0 || col == 0)
        return;
    countText(s.size());
    push(StoredCell{row, col, 0, pool_.add(s), static_cast<std::uint8_t>(CellType::String), 0, 0});
}

void SheetData::addPooledString(std::uint32_t row, std::uint32_t col, std::uint32_t poolIndex)
{
    if (row == 0 || col == 0)
        return;
    countText(pool_.get(poolIndex).size());
    push(StoredCell{row, col, 0, poolIndex, static_cast<std::uint8_t>(CellType::String), 0, 0});
}

void SheetData::addBoolean(std::uint32_t row, std::uint32_t col, bool v)
{
    push(StoredCell{row, col, 0, 0, static_cast<std::uint8_t>(CellType::Boolean), 0, v});
}

void SheetData::addError(std::uint32_t row, std::uint32_t col, std::string_view text)
{
    if (row == 0 || col == 0)
        return;
    push(StoredCell{row, col, 0, pool_.add(text), static_cast<std::uint8_t>(CellType::Error), 0, 0});
}

void SheetData::addMerge(Range r)
{
    if (r.firstRow < 1 || r.firstCol < 1 || r.lastRow < r.firstRow || r.lastCol < r.firstCol)
        return;
    if (r.firstRow == r.lastRow && r.firstCol == r.lastCol)
        return;
    if (merges_.size() >= limits_.merges)
        throwTooMuch("工作表的合并单元格", limits_.merges, "个");
    merges_.push_back(r);
}

void SheetData::finish()
{
    if (!sorted_) {
        std::stable_sort(cells_.begin(), cells_.end(), [](const StoredCell& a, const StoredCell& b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        });
        // Keep the last of equal places: it came later in the file.  In
        // place: a second copy of millions of cells is memory for nothing.
        std::size_t w = 0;
        for (std::size_t i = 0; i < cells_.size(); ++i) {
            if (w > 0 && cells_[w - 1].row == cells_[i].row && cells_[w - 1].col == cells_[i].col)
                cells_[w - 1] = cells_[i];
            else
                cells_[w++] = cells_[i];
        }
        cells_.resize(w);
        sorted_ = true;
    }
    if (cells_.capacity() > cells_.size() + cells_.size() / 2 + 1024)
        cells_.shrink_to_fit();
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
        while (i < cells_.size() && cells_[i].row < r)
            ++i;
        rowStart_[r] = static_cast<std::uint32_t>(i);
    }
}

Cell SheetData::cell(int row, int col) const
{
    Cell out;
    if (row < 1 || col < 1)
        return out;
    if (row > rows_)
        return out;
    auto c = static_cast<std::uint32_t>(col);
    auto first = cells_.begin() + rowStart_[static_cast<std::size_t>(row)];
    auto last = cells_.begin() + rowStart_[static_cast<std::size_t>(row) + 1];
    auto it = std::lower_bound(first, last, c, [](const StoredCell& s, std::uint32_t k) { return s.col < k; });
    if (it == last || it->col != c)
        return out;
    out.type = static_cast<CellType>(it->type);
    switch (out.type) {
    case CellType::Number:
        out.number = it->number;
        out.isDate = it->isDate != 0;
        break;
    case CellType::Boolean: out.boolean = it->boolean != 0; break;
    case CellType::String:
    case CellType::Error: out.text = std::string(pool_.get(it->str)); break;
    case CellType::Empty: break;
    }
    return out;
}

const Sheet& BookData::firstSheet() const
{
    if (!firstSheetProblem_.empty())
        throw RosterError(firstSheetProblem_);
    return sheet_;
}

// ---- number formats ----------------------------------------------------------

bool isBuiltinDateFormat(int id)
{
    // 14-22 and 45-47 everywhere; 27-36 and 50-58 are the date formats of
    // the East Asian editions (年月日 forms), which Chinese rosters use.
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

bool isDateFormatCode(std::string_view code)
{
    // Only the first section decides (positive numbers).  Literal text,
    // escapes, fill and padding characters, "General" and every bracketed
    // prefix ([Red], [$-804], [DBNum1], [>=100], [$-F800]) do not count,
    // wherever they stand; elapsed time [h], [mm], [ss] does.
    auto isGeneral = [&](std::size_t i) {
        static const char g[] = "general";
        if (code.size() - i < 7)
            return false;
        for (std::size_t k = 0; k < 7; ++k)
            if (std::tolower(static_cast<unsigned char>(code[i + k])) != g[k])
                return false;
        return true;
    };
    bool date = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        char ch = code[i];
        if (ch == ';')
            break;
        if (ch == '"') {
            std::size_t e = code.find('"', i + 1);
            if (e == std::string_view::npos)
                break;
            i = e;
        } else if (ch == '\\' || ch == '_' || ch == '*') {
            ++i;
        } else if (ch == '[') {
            std::size_t e = code.find(']', i + 1);
            if (e == std::string_view::npos)
                break;
            std::string_view in = code.substr(i + 1, e - i - 1);
            if (!in.empty() && std::all_of(in.begin(), in.end(), [](char c) {
                    return c == 'h' || c == 'H' || c == 'm' || c == 'M' || c == 's' || c == 'S';
                }))
                date = true;
            i = e;
        } else if ((ch == 'g' || ch == 'G') && isGeneral(i)) {
            i += 6;
        } else {
            switch (ch) {
            case 'y':
            case 'Y':
            case 'm':
            case 'M':
            case 'd':
            case 'D':
            case 'h':
            case 'H':
            case 's':
            case 'S':
            case 'e':
            case 'E': date = true; break;
            case 'a':
            case 'A':
                // aaa / aaaa: the day of the week in East Asian formats
                if (i + 2 < code.size() && (code[i + 1] | 0x20) == 'a' && (code[i + 2] | 0x20) == 'a')
                    date = true;
                break;
            case '0':
            case '#':
            case '?':
                // a digit placeholder outside a time (e.g. "0.0 yuan") makes it a number,
                // except fractions of a second after s ("ss.000")
                if (!date)
                    return false;
                break;
            default: break;
            }
        }
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
        if (c == 0)
            return false;
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f')
            return false;
    }
    return true;
}

std::unique_ptr<Workbook> openChecked(const std::uint8_t* data, std::size_t size, const Password* password)
{
    if (size == 0)
        throw RosterError("文件是空的，不是Excel工作簿");
    static const std::uint8_t ole[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (size >= 8 && std::memcmp(data, ole, 8) == 0)
        return readOle(data, size, password);
    if (size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0)
        return readXlsx(data, size);
    // A bare BIFF stream without the compound-file wrapper: the files of
    // Excel 2, 3 and 4 (BOF 0x0009, 0x0209, 0x0409; fixtures excel2-4.xls),
    // and BIFF5/BIFF8 streams written without it by old exporters (writer
    // not identified; fixture bare-biff8.xls).
    if (size >= 8 && data[0] == 0x09 && (data[1] == 0x08 || data[1] == 0x00 || data[1] == 0x02 || data[1] == 0x04))
        return readBiff(std::span<const std::uint8_t>(data, size), password);
    if (looksLikeText(data, size))
        throw RosterError("这是一个文本文件，不是Excel工作簿（请在Excel中另存为.xls或.xlsx）");
    throw RosterError(reasonCorrupt());
}

// The whole file, read once.
struct FileBytes {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
};

FileBytes readWhole(const std::string& path)
{
    if (path.empty())
        throw RosterError("没有选择Excel工作簿");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw RosterError("文件不存在：" + path);
        throw RosterError("无法读取文件：" + path + "（" + std::strerror(errno) + "）");
    }
    if (S_ISDIR(st.st_mode))
        throw RosterError("这是一个文件夹，不是Excel工作簿：" + path);
    if (!S_ISREG(st.st_mode))
        throw RosterError("这不是普通文件，不是Excel工作簿：" + path);
    // Rosters are a few megabytes (a few dozen with photographs); a file
    // this size is not one, and reading it whole would only exhaust memory.
    constexpr std::uint64_t maxSize = 200ull * 1024 * 1024;
    if (static_cast<std::uint64_t>(st.st_size) > maxSize)
        throw RosterError("文件太大（超过 200 MB），不是人员名册工作簿：" + path);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw RosterError("无法读取文件：" + path + "（" + std::strerror(errno) + "）");
    if (::fstat(fd, &st) != 0 || st.st_size == 0) {
        ::close(fd);
        throw RosterError("文件是空的，不是Excel工作簿：" + path);
    }
    // Read into memory not zeroed first (the file is read once, whole).
    // Not mapped: another program saving the roster meanwhile could shrink
    // the file under the mapping, and that is a crash, not an error.
    FileBytes f;
    auto size = static_cast<std::size_t>(st.st_size);
    try {
        f.bytes.reset(new std::uint8_t[size]);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        throw RosterError("内存不足，无法读取工作簿：" + path);
    }
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, f.bytes.get() + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            throw RosterError("无法读取文件：" + path + "（" + std::strerror(e) + "）");
        }
        if (n == 0)
            break;  // shrank while we read
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    f.size = got;
    if (f.size == 0)
        throw RosterError("文件是空的，不是Excel工作簿：" + path);
    return f;
}

// The reason with the file's path after it, keeping the kind of error.
[[noreturn]] void rethrowWithPath(const std::string& path)
{
    try {
        throw;
    } catch (const PasswordError& e) {
        throw PasswordError(std::string(e.what()) + "：" + path, e.wrong());
    } catch (const OpenCancelled&) {
        throw;
    } catch (const RosterError& e) {
        throw RosterError(std::string(e.what()) + "：" + path);
    }
}

}  // namespace

std::unique_ptr<Workbook> openWorkbookFromMemory(const std::uint8_t* data, std::size_t size, const Password* password)
{
    const ReaderQuiet quiet;
    try {
        return openChecked(data, size, password);
    } catch (const RosterError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw RosterError("内存不足，无法读取工作簿");
    } catch (const std::exception&) {
        throw RosterError(reasonCorrupt());
    }
}

std::unique_ptr<Workbook> openWorkbook(const std::string& path, const Password* password)
{
    FileBytes f = readWhole(path);
    try {
        return openWorkbookFromMemory(f.bytes.get(), f.size, password);
    } catch (const RosterError&) {
        rethrowWithPath(path);
    }
}

std::unique_ptr<Workbook> openWorkbook(const std::string& path, PasswordPrompt& prompt)
{
    FileBytes f = readWhole(path);
    Password given;
    bool haveGiven = false;
    for (;;) {
        try {
            auto book = openWorkbookFromMemory(f.bytes.get(), f.size, haveGiven ? &given : nullptr);
            if (haveGiven)
                prompt.Opened(path, given);
            return book;
        } catch (const PasswordError&) {
            const bool wrong = haveGiven;
            switch (prompt.Ask(path, wrong, given)) {
            case PasswordPrompt::Answer::Given: haveGiven = true; continue;
            case PasswordPrompt::Answer::Cancelled: throw OpenCancelled("没有输入密码，工作簿未打开：" + path);
            case PasswordPrompt::Answer::None: break;
            }
            rethrowWithPath(path);
        } catch (const RosterError&) {
            rethrowWithPath(path);
        }
    }
}

// ---- cell to text --------------------------------------------------------------

namespace {

std::string numberText(double v)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v < 0 ? "-Infinity" : "Infinity";
    if (v == 0)
        return "0";  // also -0
    // As printf's %.15g, without its cost.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, res.ptr);
    // %g writes "1e+15"; the regional conversion writes "1E+15".
    std::size_t e = s.find('e');
    if (e != std::string::npos)
        s[e] = 'E';
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
    if (!(serial >= 0) || serial >= 2958466.0)
        return numberText(serial);
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
        y = 1900;
        m = 2;
        d = 29;
    } else {
        if (days < 60)
            ++days;
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
    case CellType::Empty: return {};
    case CellType::String: return cell.text;
    case CellType::Boolean: return cell.boolean ? "True" : "False";
    case CellType::Number: return cell.isDate ? dateText(cell.number, dates1904) : numberText(cell.number);
    case CellType::Error: break;
    }
    throw CellConversionError("第" + std::to_string(row) + "行第" + std::to_string(col) + "列（" + columnName(col) +
                              std::to_string(row) + "）的单元格是错误值" + cell.text + "，不能转换为文本");
}

}  // namespace vdmq::roster
