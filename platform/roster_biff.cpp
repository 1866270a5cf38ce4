// .xls: the OLE2 compound file (through libgsf) and the BIFF5/BIFF8 record
// stream inside it.  Every length and count read from the file is checked
// against the bytes actually there before it is used.
#include "platform/roster_gobject.h"
#include "platform/roster_internal.h"

#include <gsf/gsf.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace vdmq::roster::detail {

namespace {

struct Record {
    std::uint16_t type = 0;
    std::span<const std::uint8_t> data;
    std::size_t offset = 0;  // of the header in the stream
};

class RecordStream {
public:
    explicit RecordStream(std::span<const std::uint8_t> s) : s_(s) {}
    void seek(std::size_t pos) { pos_ = pos; }
    std::size_t pos() const { return pos_; }
    bool atEnd() const { return pos_ + 4 > s_.size(); }
    // The next record; std::nullopt at the end of the stream.  A record
    // whose length runs past the end of the stream is a truncated file.
    std::optional<Record> next()
    {
        if (pos_ + 4 > s_.size())
            return std::nullopt;
        Record r;
        r.offset = pos_;
        r.type = static_cast<std::uint16_t>(s_[pos_] | (s_[pos_ + 1] << 8));
        std::size_t len = static_cast<std::size_t>(s_[pos_ + 2] | (s_[pos_ + 3] << 8));
        if (len > s_.size() - pos_ - 4)
            throwCorrupt("记录超出文件末尾，文件不完整");
        r.data = s_.subspan(pos_ + 4, len);
        pos_ += 4 + len;
        return r;
    }
    // Type of the record at the current position without taking it.
    int peekType() const
    {
        if (pos_ + 4 > s_.size())
            return -1;
        return s_[pos_] | (s_[pos_ + 1] << 8);
    }

private:
    std::span<const std::uint8_t> s_;
    std::size_t pos_ = 0;
};

// Reads a record together with the CONTINUE records that follow it, as one
// sequence of segments.  Strings that cross a segment boundary re-read the
// compression flag at the start of the next segment.  The CONTINUE records
// are taken from the stream one at a time as the reading reaches them, so
// ten million of them cost no memory.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> one) : cur_(one) {}
    // The record `first` and the CONTINUE records after it in `rs`.
    Reader(std::span<const std::uint8_t> first, RecordStream& rs) : cur_(first), rs_(&rs) {}

    bool exhausted()
    {
        normalize();
        return pos_ >= cur_.size();
    }
    std::uint8_t u8()
    {
        normalize();
        if (pos_ >= cur_.size())
            throwCorrupt("记录数据不完整");
        return cur_[pos_++];
    }
    std::uint16_t u16()
    {
        std::uint16_t a = u8();
        return static_cast<std::uint16_t>(a | (u8() << 8));
    }
    std::uint32_t u32()
    {
        std::uint32_t a = u16();
        return a | (static_cast<std::uint32_t>(u16()) << 16);
    }
    void skip(std::uint64_t n)
    {
        while (n > 0) {
            normalize();
            if (pos_ >= cur_.size())
                throwCorrupt("记录数据不完整");
            std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, cur_.size() - pos_));
            pos_ += take;
            n -= take;
        }
    }
    // Bytes of the current segment only (for 8-bit text of BIFF5).
    std::string_view bytes(std::size_t n)
    {
        normalize();
        if (cur_.size() - std::min(pos_, cur_.size()) < n) {
            if (n == 0)
                return {};
            throwCorrupt("记录数据不完整");
        }
        std::string_view v(reinterpret_cast<const char*>(cur_.data() + pos_), n);
        pos_ += n;
        return v;
    }
    // `cch` characters, 8-bit (low byte of UTF-16) or UTF-16LE, appended as
    // UTF-8.  At a continuation the first byte gives the form of the rest.
    void chars(std::string& out, std::uint32_t cch, bool high)
    {
        std::uint32_t pendingHigh = 0;
        while (cch > 0) {
            if (pos_ >= cur_.size()) {
                if (!advance())
                    throwCorrupt("字符串数据不完整");
                if (cur_.empty())
                    continue;
                high = (cur_[pos_++] & 1) != 0;
                continue;
            }
            const std::span<const std::uint8_t> s = cur_;
            if (!high) {
                std::size_t n = std::min<std::size_t>(cch, s.size() - pos_);
                for (std::size_t i = 0; i < n; ++i)
                    appendUtf8(out, s[pos_ + i]);
                pos_ += n;
                cch -= static_cast<std::uint32_t>(n);
            } else {
                if (s.size() - pos_ < 2)
                    throwCorrupt("字符串数据不完整");
                std::uint32_t u = s[pos_] | (s[pos_ + 1] << 8);
                pos_ += 2;
                --cch;
                if (pendingHigh) {
                    if (u >= 0xDC00 && u <= 0xDFFF) {
                        appendUtf8(out, 0x10000 + ((pendingHigh - 0xD800) << 10) + (u - 0xDC00));
                        pendingHigh = 0;
                        continue;
                    }
                    appendUtf8(out, 0xFFFD);
                    pendingHigh = 0;
                }
                if (u >= 0xD800 && u <= 0xDBFF)
                    pendingHigh = u;
                else
                    appendUtf8(out, u);
            }
        }
        if (pendingHigh)
            appendUtf8(out, 0xFFFD);
    }
    // Passes the CONTINUE records not read, so that the stream stands at
    // the next record of its own.
    void finish()
    {
        while (advance()) {
        }
    }

private:
    // The next CONTINUE record as the current segment; false when the
    // record has no more.
    bool advance()
    {
        if (!rs_ || rs_->peekType() != rCONTINUE) {
            pos_ = cur_.size();
            return false;
        }
        cur_ = rs_->next()->data;
        pos_ = 0;
        return true;
    }
    // Moves past finished segments (for raw bytes, which carry no flag).
    void normalize()
    {
        while (pos_ >= cur_.size() && advance()) {
        }
    }
    std::span<const std::uint8_t> cur_;
    RecordStream* rs_ = nullptr;
    std::size_t pos_ = 0;
};

// The bytes of the CONTINUE records after the current position, without
// taking them (what the string table will hold, for one allocation).
std::size_t continuedBytes(RecordStream rs)
{
    std::size_t n = 0;
    while (rs.peekType() == rCONTINUE)
        n += rs.next()->data.size();
    return n;
}

std::uint16_t le16(std::span<const std::uint8_t> d, std::size_t i)
{
    return static_cast<std::uint16_t>(d[i] | (d[i + 1] << 8));
}
std::uint32_t le32(std::span<const std::uint8_t> d, std::size_t i)
{
    return d[i] | (d[i + 1] << 8) | (d[i + 2] << 16) | (static_cast<std::uint32_t>(d[i + 3]) << 24);
}
double leDouble(std::span<const std::uint8_t> d, std::size_t i)
{
    std::uint64_t b = 0;
    for (int k = 7; k >= 0; --k)
        b = (b << 8) | d[i + k];
    double v;
    std::memcpy(&v, &b, 8);
    return v;
}

double rkValue(std::uint32_t rk)
{
    double v;
    if (rk & 2) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        std::uint64_t b = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &b, 8);
    }
    return (rk & 1) ? v / 100.0 : v;
}

const char* errorText(std::uint8_t code)
{
    switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    case 0x2B: return "#GETTING_DATA";
    default: return "#ERR!";
    }
}

// The row and column of a cell record (0-based in the file).
std::uint32_t cellRow(std::span<const std::uint8_t> d) { return static_cast<std::uint32_t>(le16(d, 0)) + 1; }
std::uint32_t cellCol(std::span<const std::uint8_t> d) { return static_cast<std::uint32_t>(le16(d, 2)) + 1; }

// A record shorter than its fixed part is a damaged file.
void need(std::span<const std::uint8_t> d, std::size_t bytes, const char* what)
{
    if (d.size() < bytes)
        throwCorrupt(what);
}

// What a sheet's cell records put in it.  A formula with a text result
// leaves its place here until the STRING record after it; any other cell
// record first stores it as empty text.
class SheetCells {
public:
    explicit SheetCells(SheetData& sh) : sh_(sh) {}
    void number(std::uint32_t r, std::uint32_t c, double v, bool isDate)
    {
        flush();
        sh_.addNumber(r, c, v, isDate);
    }
    void text(std::uint32_t r, std::uint32_t c, std::string_view s)
    {
        flush();
        sh_.addString(r, c, s);
    }
    void pooled(std::uint32_t r, std::uint32_t c, std::uint32_t index)
    {
        flush();
        sh_.addPooledString(r, c, index);
    }
    void boolOrError(std::uint32_t r, std::uint32_t c, std::uint8_t value, bool isError)
    {
        flush();
        if (isError)
            sh_.addError(r, c, errorText(value));
        else
            sh_.addBoolean(r, c, value != 0);
    }
    void blank() { flush(); }
    // A formula's cached result, its 8 value bytes.
    void formula(std::uint32_t r, std::uint32_t c, std::span<const std::uint8_t> v, bool isDate)
    {
        flush();
        if (v[6] != 0xFF || v[7] != 0xFF) {
            sh_.addNumber(r, c, leDouble(v, 0), isDate);
            return;
        }
        switch (v[0]) {
        case 0: pending_ = {r, c}; break;  // the value follows in a STRING record
        case 1: sh_.addBoolean(r, c, v[2] != 0); break;
        case 2: sh_.addError(r, c, errorText(v[2])); break;
        case 3: sh_.addString(r, c, ""); break;
        default: break;
        }
    }
    // A STRING record belongs to the formula before it; without one it is
    // passed over.
    bool awaitsText() const { return pending_.has_value(); }
    void formulaText(std::string_view s)
    {
        sh_.addString(pending_->first, pending_->second, s);
        pending_.reset();
    }
    void merge(Range r) { sh_.addMerge(r); }
    void flush()
    {
        if (pending_)
            sh_.addString(pending_->first, pending_->second, "");
        pending_.reset();
    }

private:
    SheetData& sh_;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> pending_;
};

// The number formats of an Excel 2-4 sheet, as its records give them.
struct OldStyles {
    int version = 4;
    std::vector<bool> formatDate;  // by the order of FORMAT records
    std::vector<std::uint8_t> xfFormat;
    std::optional<std::uint16_t> ixfe;  // Excel 2: the style of the next cell
    bool fmtDate(std::size_t f) const { return f < formatDate.size() && formatDate[f]; }
    // Excel 3 and 4 cells name an XF.
    bool xfDate(std::size_t xf) const { return xf < xfFormat.size() && fmtDate(xfFormat[xf]); }
    // Excel 2 cells carry their format in their attribute bytes, or name an
    // XF when the file has them.
    bool attrDate(std::span<const std::uint8_t> d)
    {
        std::size_t xf = d[4] & 0x3F;
        if (xf == 0x3F && ixfe)
            xf = *ixfe;
        ixfe.reset();
        return xfFormat.empty() ? fmtDate(d[5] & 0x3F) : xfDate(xf);
    }
};

// ---- the workbook -------------------------------------------------------------

struct SheetEntry {
    std::uint32_t offset;
    std::uint8_t kind;  // 0 worksheet, 1 macro sheet, 2 chart, 6 VBA module
    std::string name;
};

class BiffReader {
public:
    // `decrypted`: the stream has been decrypted; its FILEPASS record is
    // left where it was and passed over.
    BiffReader(std::span<const std::uint8_t> s, bool decrypted) : s_(s), rs_(s), decrypted_(decrypted) {}

    std::unique_ptr<Workbook> read()
    {
        auto book = std::make_unique<BookData>();
        const Limits limits = Limits::forInput(s_.size());
        book->sheet_.setLimits(limits);
        pool_.setLimits(limits);
        // About one cell per 14 bytes of stream (a NUMBER record has 18,
        // a LABELSST 14, a MULRK 6 per cell): one allocation, not dozens.
        book->sheet_.reserveCells(s_.size() / 14);
        if (int t = rs_.peekType(); t == rBOF2 || t == rBOF3 || t == rBOF4) {
            readOldSheet(*book);
            book->sheet_.finish();
            return book;
        }
        readGlobals(*book);
        if (stopAfterSheet_) {
        } else if (sheets_.empty()) {
            book->firstSheetProblem_ = "工作簿中没有工作表";
        } else {
            const SheetEntry& first = sheets_.front();
            book->sheet_.setName(first.name);
            if (first.kind == 2)
                book->firstSheetProblem_ = "工作簿的第一张表“" + first.name + "”是图表，不是工作表";
            else if (first.kind == 1)
                book->firstSheetProblem_ = "工作簿的第一张表“" + first.name + "”是宏表，不是工作表";
            else if (first.kind != 0)
                book->firstSheetProblem_ = "工作簿的第一张表“" + first.name + "”不是工作表";
            else
                readSheet(first, *book);
        }
        book->sheet_.finish();
        return book;
    }

private:
    std::string text8(std::string_view bytes) { return cp_.toUtf8(bytes); }
    std::string text8(std::span<const std::uint8_t> d, std::size_t at, std::size_t n)
    {
        return text8(std::string_view(reinterpret_cast<const char*>(d.data() + at), n));
    }

    // A BIFF8 string's option byte, then, where it says so, the number of
    // rich-text runs and of phonetic bytes that follow the characters.
    struct StringHeader {
        std::uint8_t flags = 0;
        std::uint16_t runs = 0;
        std::uint32_t ext = 0;
    };
    static StringHeader stringHeader(Reader& rd)
    {
        StringHeader h;
        h.flags = rd.u8();
        if (h.flags & 0x08)
            h.runs = rd.u16();
        if (h.flags & 0x04)
            h.ext = rd.u32();
        return h;
    }

    // XLUnicodeString (cch of 1 or 2 bytes, flags, characters) in BIFF8; a
    // byte string in the code page in BIFF5.
    std::string unicodeString(Reader& rd, int cchBytes)
    {
        std::uint32_t cch = cchBytes == 1 ? rd.u8() : rd.u16();
        std::string out;
        if (!biff8_)
            return text8(rd.bytes(cch));
        // An empty string without its option byte: a LABEL record of length
        // 0, seen in public workbooks (writer not identified; fixture
        // label-empty.xls).
        if (cch == 0 && rd.exhausted())
            return out;
        // The formatting after the characters is not needed.
        rd.chars(out, cch, stringHeader(rd).flags & 1);
        return out;
    }

    // ---- workbook globals (BIFF5, BIFF8) ------------------------------------

    // What the globals say about number formats, until the styles are known.
    struct GlobalFormats {
        std::vector<std::uint16_t> xfFormat;
        // By format number; a later FORMAT record of the same number wins.
        std::unordered_map<std::uint16_t, bool> formatIsDate;
    };

    void readGlobals(BookData& book)
    {
        auto bof = rs_.next();
        if (!bof || bof->type != rBOF || bof->data.size() < 4)
            throwCorrupt();
        std::uint16_t vers = le16(bof->data, 0), dt = le16(bof->data, 2);
        biff8_ = vers == 0x0600;
        if (!biff8_ && vers != 0x0500) {
            // A version the format does not define (0 and others), which
            // third-party writers leave in BIFF8 files (xlrd calls them
            // "dodgy"; writer not identified; fixture bof-version0.xls): the
            // BOF's length tells them apart (a BIFF8 BOF has 16 bytes).
            biff8_ = bof->data.size() >= 16;
        }
        // Without a CODEPAGE record, text is in the code page of the system
        // that wrote it: here, a Chinese Windows (fixture cp-none.xls).
        cp_.set(biff8_ ? 1200 : 936);
        if (dt == 0x0010) {
            // A BIFF5 stream that is one worksheet without workbook globals
            // (writer not identified; fixture biff5-sheet.xls).
            rs_.seek(0);
            SheetEntry e{0, 0, std::string()};
            book.sheet_.setName("Sheet1");
            readSheet(e, book);
            stopAfterSheet_ = true;
            return;
        }
        if (dt != 0x0005)
            throwCorrupt("缺少工作簿全局数据");

        GlobalFormats formats;
        bool sawEof = false;
        while (auto r = rs_.next()) {
            if (r->type == rEOF) {
                sawEof = true;
                break;
            }
            globalsRecord(*r, book, formats);
        }
        if (!sawEof)
            throwCorrupt("文件不完整");

        // Which styles show dates: a FORMAT record of the workbook decides
        // for its number; otherwise the built-in table.
        xfDate_.resize(formats.xfFormat.size());
        for (std::size_t i = 0; i < formats.xfFormat.size(); ++i) {
            std::uint16_t id = formats.xfFormat[i];
            const auto custom = formats.formatIsDate.find(id);
            xfDate_[i] = custom != formats.formatIsDate.end() ? custom->second : isBuiltinDateFormat(id);
        }
    }

    // One record of the workbook globals.
    void globalsRecord(const Record& r, BookData& book, GlobalFormats& formats)
    {
        const auto& d = r.data;
        switch (r.type) {
        case rFILEPASS:
            if (decrypted_)
                break;
            throw RosterError("工作簿设置了打开密码（已加密），不能读取；请在Excel中取消密码后另存");
        case rCODEPAGE:
            if (d.size() >= 2 && !biff8_)
                cp_.set(le16(d, 0));
            break;
        case rDATEMODE:
            if (d.size() >= 2)
                book.dates1904_ = le16(d, 0) == 1;
            break;
        case rFORMAT: formatRecord(d, formats); break;
        case rXF:
            if (d.size() >= 4)
                formats.xfFormat.push_back(le16(d, 2));
            break;
        case rSST: {
            Reader rd(r.data, rs_);
            readSst(rd, r.data.size() + continuedBytes(rs_));
            rd.finish();
            break;
        }
        case rBOUNDSHEET: sheets_.push_back(boundSheet(d)); break;
        default: break;
        }
    }

    void formatRecord(std::span<const std::uint8_t> d, GlobalFormats& formats)
    {
        if (d.size() < 3)
            return;
        Reader rd(d);
        std::uint16_t id = rd.u16();
        std::string code;
        try {
            code = unicodeString(rd, biff8_ ? 2 : 1);
        } catch (const RosterError&) {
            return;  // a damaged format only loses its date flag
        }
        formats.formatIsDate[id] = isDateFormatCode(code);
    }

    SheetEntry boundSheet(std::span<const std::uint8_t> d)
    {
        if (d.size() < 7)
            throwCorrupt("工作表目录记录不完整");
        SheetEntry e;
        e.offset = le32(d, 0);
        e.kind = d[5];
        Reader rd(d.subspan(6));
        try {
            e.name = unicodeString(rd, 1);
        } catch (const RosterError&) {
            e.name.clear();  // a damaged name only loses the name
        }
        return e;
    }

    void readSst(Reader& rd, std::size_t bytes)
    {
        if (!biff8_)
            return;
        pool_.reserveBytes(bytes + bytes / 2);
        rd.u32();  // total references
        std::uint32_t unique = rd.u32();
        // The count is a claim: strings are read while data is there, so a
        // huge count in a small file costs nothing.
        std::string s;
        for (std::uint32_t i = 0; i < unique && !rd.exhausted(); ++i) {
            std::uint16_t cch = rd.u16();
            const StringHeader h = stringHeader(rd);
            s.clear();
            rd.chars(s, cch, h.flags & 1);
            sst_.push_back(pool_.add(s));
            // Rich-text runs and the phonetic block follow the characters
            // as plain bytes; a continuation inside them has no flag byte.
            rd.skip(4ull * h.runs);
            rd.skip(h.ext);
        }
    }

    bool dateXf(std::uint16_t xf) const { return xf < xfDate_.size() && xfDate_[xf]; }

    // ---- a worksheet (BIFF5, BIFF8) -------------------------------------------

    void readSheet(const SheetEntry& e, BookData& book)
    {
        if (e.offset + 4ull > s_.size())
            throwCorrupt("工作表的位置超出文件末尾");
        rs_.seek(e.offset);
        auto bof = rs_.next();
        if (!bof || bof->type != rBOF || bof->data.size() < 4)
            throwCorrupt("工作表的位置不对");
        std::uint16_t dt = le16(bof->data, 2);
        if (dt == 0x0020) {
            book.firstSheetProblem_ = "工作簿的第一张表“" + e.name + "”是图表，不是工作表";
            return;
        }
        if (dt == 0x0040) {
            book.firstSheetProblem_ = "工作簿的第一张表“" + e.name + "”是宏表，不是工作表";
            return;
        }
        // The sheet shares the workbook's string table: move it over.
        book.sheet_.pool() = std::move(pool_);

        SheetCells cells(book.sheet_);
        int depth = 1;  // embedded charts bring their own BOF..EOF
        while (auto r = rs_.next()) {
            if (r->type == rBOF) {
                ++depth;
                continue;
            }
            if (r->type == rEOF) {
                if (--depth == 0)
                    break;
                continue;
            }
            if (depth == 1)
                sheetRecord(*r, cells);
        }
        cells.flush();
    }

    // One record of a BIFF5/BIFF8 worksheet.
    void sheetRecord(const Record& r, SheetCells& cells)
    {
        const auto& d = r.data;
        switch (r.type) {
        case rNUMBER:
            need(d, 14, "数值单元格记录不完整");
            cells.number(cellRow(d), cellCol(d), leDouble(d, 6), dateXf(le16(d, 4)));
            break;
        case rRK:
            need(d, 10, "数值单元格记录不完整");
            cells.number(cellRow(d), cellCol(d), rkValue(le32(d, 6)), dateXf(le16(d, 4)));
            break;
        case rMULRK: mulRk(d, cells); break;
        case rLABELSST: {
            need(d, 10, "文本单元格记录不完整");
            std::uint32_t idx = le32(d, 6);
            if (idx >= sst_.size())
                throwCorrupt("文本单元格引用了不存在的字符串");
            cells.pooled(cellRow(d), cellCol(d), sst_[idx]);
            break;
        }
        case rLABEL:
        case rRSTRING: {
            need(d, 8, "文本单元格记录不完整");
            Reader rd(d.subspan(6));
            cells.text(cellRow(d), cellCol(d), unicodeString(rd, 2));
            break;
        }
        case rBOOLERR:
            need(d, 8, "逻辑值单元格记录不完整");
            cells.boolOrError(cellRow(d), cellCol(d), d[6], d[7] != 0);
            break;
        case rFORMULA:
        case rFORMULA3:
        case rFORMULA4:
            // 0x0206 and 0x0406 are the formula records of Excel 3 and 4,
            // seen in public BIFF8 workbooks (writer not identified; fixture
            // formula0406.xls); the cached value sits at the same place.
            need(d, 14, "公式单元格记录不完整");
            cells.formula(cellRow(d), cellCol(d), d.subspan(6, 8), dateXf(le16(d, 4)));
            break;
        case rSTRING:
            if (cells.awaitsText()) {
                Reader rd(r.data, rs_);
                cells.formulaText(unicodeString(rd, 2));
                rd.finish();
            }
            break;
        case rBLANK:
        case rMULBLANK: cells.blank(); break;
        case rMERGEDCELLS: mergedCells(d, cells); break;
        default: break;
        }
    }

    void mulRk(std::span<const std::uint8_t> d, SheetCells& cells)
    {
        need(d, 6, "数值单元格记录不完整");
        std::size_t n = (d.size() - 6) / 6;
        std::uint32_t r0 = cellRow(d), c0 = cellCol(d);
        cells.blank();
        for (std::size_t i = 0; i < n; ++i)
            cells.number(r0, c0 + static_cast<std::uint32_t>(i), rkValue(le32(d, 4 + 6 * i + 2)),
                         dateXf(le16(d, 4 + 6 * i)));
    }

    static void mergedCells(std::span<const std::uint8_t> d, SheetCells& cells)
    {
        if (d.size() < 2)
            return;
        std::size_t n = le16(d, 0);
        if (2 + 8 * n > d.size())
            throwCorrupt("合并单元格记录不完整");
        for (std::size_t i = 0; i < n; ++i) {
            std::size_t o = 2 + 8 * i;
            cells.merge(Range{le16(d, o) + 1, le16(d, o + 4) + 1, le16(d, o + 2) + 1, le16(d, o + 6) + 1});
        }
    }

    // ---- Excel 2, 3 and 4 ---------------------------------------------------
    // A worksheet file of Excel 2-4 is one stream: BOF, the formats and
    // styles, the cells, EOF.  An Excel 4 workbook keeps its sheets after
    // its globals; the first worksheet there is read.  Formats are numbered
    // by their order in the file; the cell records are the few of those
    // versions (BLANK, INTEGER, NUMBER, LABEL, BOOLERR, FORMULA, RK, STRING).
    void readOldSheet(BookData& book)
    {
        auto bof = rs_.next();
        if (!bof || bof->data.size() < 4)
            throwCorrupt();
        OldStyles styles;
        styles.version = bof->type == rBOF2 ? 2 : bof->type == rBOF3 ? 3 : 4;
        std::uint16_t dt = le16(bof->data, 2);
        biff8_ = false;
        cp_.set(936);
        book.sheet_.setName("Sheet1");
        if (styles.version == 4 && dt == 0x0100) {
            const std::optional<std::uint16_t> first = passExcel4Globals(book);
            if (!first) {
                book.firstSheetProblem_ = "工作簿中没有工作表";
                return;
            }
            dt = *first;
        }
        if (dt == 0x0020) {
            book.firstSheetProblem_ = "工作簿的第一张表是图表，不是工作表";
            return;
        }
        if (dt == 0x0040) {
            book.firstSheetProblem_ = "工作簿的第一张表是宏表，不是工作表";
            return;
        }
        if (dt != 0x0010)
            throw RosterError("这是Excel 4.0或更早版本的文件，但不是工作表，不能读取（请在Excel中另存为.xls或.xlsx）");

        SheetCells cells(book.sheet_);
        while (auto r = rs_.next()) {
            if (r->type == rEOF)
                break;
            if (!oldStyleRecord(*r, book, styles))
                oldCellRecord(*r, styles, cells);
        }
        cells.flush();
    }

    // An Excel 4 workbook's globals, passed: the type of its first sheet's
    // BOF, or nothing when it has none.
    std::optional<std::uint16_t> passExcel4Globals(BookData& book)
    {
        int depth = 1;
        while (auto r = rs_.next()) {
            if (r->type == rFILEPASS && !decrypted_)
                throw RosterError("这是加密的Excel 4.0工作簿，不能读取（请在Excel中取消密码后另存为.xls或.xlsx）");
            if (r->type == rCODEPAGE && r->data.size() >= 2)
                cp_.set(le16(r->data, 0));
            if (r->type == rDATEMODE && r->data.size() >= 2)
                book.dates1904_ = le16(r->data, 0) == 1;
            if (r->type == rEOF && --depth == 0)
                break;
        }
        while (auto r = rs_.next())
            if (r->type == rBOF4 && r->data.size() >= 4)
                return le16(r->data, 2);
        return std::nullopt;
    }

    // The records of an Excel 2-4 sheet that are not cells; false for the others.
    bool oldStyleRecord(const Record& r, BookData& book, OldStyles& styles)
    {
        const auto& d = r.data;
        switch (r.type) {
        case rFILEPASS:
            if (decrypted_)
                return true;
            throw RosterError(
                "这是加密的Excel 4.0或更早版本的工作簿，不能读取（请在Excel中取消密码后另存为.xls或.xlsx）");
        case rCODEPAGE:
            if (d.size() >= 2)
                cp_.set(le16(d, 0));
            return true;
        case rDATEMODE:
            if (d.size() >= 2)
                book.dates1904_ = le16(d, 0) == 1;
            return true;
        case rFORMAT2:   // Excel 2 and 3: the code
        case rFORMAT: {  // Excel 4: two unused bytes, the code
            std::size_t at = r.type == rFORMAT ? 2 : 0;
            if (d.size() < at + 1) {
                styles.formatDate.push_back(false);
                return true;
            }
            std::size_t n = std::min<std::size_t>(d[at], d.size() - at - 1);
            styles.formatDate.push_back(isDateFormatCode(text8(d, at + 1, n)));
            return true;
        }
        case rXF2:  // Excel 2: font, unused, format in bits 0-5
            if (styles.version == 2 && d.size() >= 3)
                styles.xfFormat.push_back(d[2] & 0x3F);
            return true;
        case rXF3:
        case rXF4:
            if (d.size() >= 2)
                styles.xfFormat.push_back(d[1]);
            return true;
        case rIXFE2:
            if (d.size() >= 2)
                styles.ixfe = le16(d, 0);
            return true;
        default: return false;
        }
    }

    void oldCellRecord(const Record& r, OldStyles& styles, SheetCells& cells)
    {
        const auto& d = r.data;
        switch (r.type) {
        case rBLANK2:
        case rBLANK:
            cells.blank();
            styles.ixfe.reset();
            break;
        case rINTEGER2:
            need(d, 9, "数值单元格记录不完整");
            cells.number(cellRow(d), cellCol(d), le16(d, 7), styles.attrDate(d));
            break;
        case rNUMBER2:
            need(d, 15, "数值单元格记录不完整");
            cells.number(cellRow(d), cellCol(d), leDouble(d, 7), styles.attrDate(d));
            break;
        case rNUMBER:
            need(d, 14, "数值单元格记录不完整");
            cells.number(cellRow(d), cellCol(d), leDouble(d, 6), styles.xfDate(le16(d, 4)));
            break;
        case rRK:
            need(d, 10, "数值单元格记录不完整");
            cells.number(cellRow(d), cellCol(d), rkValue(le32(d, 6)), styles.xfDate(le16(d, 4)));
            break;
        case rLABEL2:
            need(d, 8, "文本单元格记录不完整");
            styles.ixfe.reset();
            cells.text(cellRow(d), cellCol(d), text8(d, 8, std::min<std::size_t>(d[7], d.size() - 8)));
            break;
        case rLABEL:
            need(d, 8, "文本单元格记录不完整");
            cells.text(cellRow(d), cellCol(d), text8(d, 8, std::min<std::size_t>(le16(d, 6), d.size() - 8)));
            break;
        case rBOOLERR2:
        case rBOOLERR: {
            std::size_t at = r.type == rBOOLERR2 ? 7 : 6;
            need(d, at + 2, "逻辑值单元格记录不完整");
            if (r.type == rBOOLERR2)
                styles.ixfe.reset();
            cells.boolOrError(cellRow(d), cellCol(d), d[at], d[at + 1] != 0);
            break;
        }
        case rFORMULA:  // Excel 2: attribute bytes, then the value
            need(d, 15, "公式单元格记录不完整");
            cells.formula(cellRow(d), cellCol(d), d.subspan(7, 8), styles.attrDate(d));
            break;
        case rFORMULA3:
        case rFORMULA4:
            need(d, 14, "公式单元格记录不完整");
            cells.formula(cellRow(d), cellCol(d), d.subspan(6, 8), styles.xfDate(le16(d, 4)));
            break;
        case rSTRING2:
        case rSTRING:
            if (cells.awaitsText())
                cells.formulaText(oldString(d, r.type == rSTRING2 ? 1 : 2));
            break;
        default: break;
        }
    }

    // The text of an Excel 2-4 STRING record: a length of `lenBytes`, the
    // bytes; what the record does not hold is cut off.
    std::string oldString(std::span<const std::uint8_t> d, std::size_t lenBytes)
    {
        std::size_t n = 0;
        if (d.size() >= lenBytes)
            n = lenBytes == 1 ? d[0] : le16(d, 0);
        n = std::min(n, d.size() >= lenBytes ? d.size() - lenBytes : 0);
        return text8(d, std::min(lenBytes, d.size()), n);
    }

    std::span<const std::uint8_t> s_;
    RecordStream rs_;
    bool decrypted_ = false;
    bool stopAfterSheet_ = false;
    bool biff8_ = true;
    Codepage cp_{936};
    std::vector<bool> xfDate_;
    StringPool pool_;
    std::vector<std::uint32_t> sst_;
    std::vector<SheetEntry> sheets_;
};

// ---- the compound file ---------------------------------------------------------

bool sameName(const char* a, const char* b) { return a && g_ascii_strcasecmp(a, b) == 0; }

}  // namespace

// Inside the reader (ReaderQuiet), what libgsf and GLib say about the file
// being read goes nowhere: the user gets the reader's own reason instead.
// Outside it, every message takes its usual way.
static thread_local int quietDepth = 0;

ReaderQuiet::ReaderQuiet() { ++quietDepth; }
ReaderQuiet::~ReaderQuiet() { --quietDepth; }

static GPrintFunc previousPrinterr = nullptr;

// libgsf writes some complaints straight with g_printerr ("Header is 0x…
// Expected 0x…" for a damaged zip entry), past every log handler.
static void quietPrinterr(const gchar* text)
{
    if (quietDepth > 0)
        return;
    if (previousPrinterr)
        previousPrinterr(text);
    else
        std::fputs(text, stderr);
}

static void quietLog(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer)
{
    if (quietDepth > 0)
        return;
    g_log_default_handler(domain, level, message, nullptr);
}

// The domains whose messages are about the files being read.
static bool readerDomain(const char* domain)
{
    return !domain || std::strncmp(domain, "libgsf", 6) == 0 || std::strncmp(domain, "GLib", 4) == 0 ||
           std::strcmp(domain, "GsfInput") == 0;
}

// Messages logged the structured way do not pass the handlers below.
static GLogWriterOutput quietWriter(GLogLevelFlags level, const GLogField* fields, gsize n, gpointer)
{
    const char* domain = nullptr;
    for (gsize i = 0; i < n; ++i)
        if (std::strcmp(fields[i].key, "GLIB_DOMAIN") == 0 && fields[i].length < 0)
            domain = static_cast<const char*>(fields[i].value);
    if (quietDepth > 0 && !(level & G_LOG_LEVEL_ERROR) && readerDomain(domain))
        return G_LOG_WRITER_HANDLED;
    return g_log_writer_default(level, fields, n, nullptr);
}

void initGsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // libgsf reports damaged containers on stderr as well as through
        // its return values, and GLib adds its criticals when libgsf is
        // handed what a damaged file makes of it; the user gets our reason
        // instead.  (Some of libgsf's messages carry no domain at all.)
        for (const char* domain : {static_cast<const char*>(nullptr), "libgsf", "libgsf:msole", "libgsf:zip",
                                   "libgsf:open_pkg", "libgsf:tar", "GLib", "GLib-GObject", "GLib-GIO", "GsfInput"})
            g_log_set_handler(domain,
                              static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL |
                                                          G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG |
                                                          G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                              quietLog, nullptr);
        g_log_set_writer_func(quietWriter, nullptr, nullptr);
        previousPrinterr = g_set_printerr_handler(quietPrinterr);
    });
}

namespace {

// Where the FILEPASS record of the workbook globals is, if any: from there
// on the stream is encrypted (the record headers stay readable).
struct FilePass {
    std::size_t offset = 0;
    bool found = false;
    bool biff8 = true;
};

FilePass findFilePass(std::span<const std::uint8_t> stream)
{
    FilePass fp;
    RecordStream rs(stream);
    auto bof = rs.next();
    if (!bof || bof->type != rBOF || bof->data.size() < 4)
        return fp;
    std::uint16_t vers = le16(bof->data, 0);
    fp.biff8 = vers == 0x0600 || (vers != 0x0500 && bof->data.size() >= 16);
    std::size_t at = rs.pos();
    while (auto r = rs.next()) {
        if (r->type == rEOF || r->type == rBOF)
            break;
        if (r->type == rFILEPASS) {
            fp.offset = at;
            fp.found = true;
            break;
        }
        at = rs.pos();
    }
    return fp;
}

}  // namespace

std::unique_ptr<Workbook> readBiff(std::span<const std::uint8_t> stream, const Password* password)
{
    FilePass fp;
    try {
        fp = findFilePass(stream);
    } catch (const RosterError&) {
        fp = FilePass{};  // a damaged stream: the reader says how
    }
    if (!fp.found)
        return BiffReader(stream, false).read();
    SecretBytes plain = decryptBiff(stream, fp.offset, fp.biff8, password);
    return BiffReader(std::span<const std::uint8_t>(plain.data(), plain.size()), true).read();
}

// libgsf reads the directory of a compound file recursively, one level of
// the C stack for each entry along a chain of siblings, and sorts each
// storage's entries by inserting them one at a time into a list: a
// directory of 200,000 entries in one chain ends the program, one of
// 200,000 in a balanced tree takes minutes.  Real workbooks have a few
// dozen entries in a tree a few levels deep.  So the directory is walked
// here first, the way libgsf will walk it, and refused when it is too
// deep or too large; what this walk cannot make sense of is left to
// libgsf, which says what is damaged.  `rootSiblingsCleared`: the root's
// siblings are not walked (see rootSiblingFields).
static void checkOleDirectory(const std::uint8_t* d, std::size_t size, bool rootSiblingsCleared)
{
    constexpr std::size_t kMaxEntries = 10000, kMaxDepth = 256;
    constexpr std::uint32_t kSpecial = 0xFFFFFFFA;  // ENDOFCHAIN, FREESECT and their kin
    if (size < 512)
        return;
    const std::span<const std::uint8_t> file(d, size);
    const unsigned shift = le16(file, 30);
    if (shift != 9 && shift != 12)
        return;
    const std::size_t sector = std::size_t(1) << shift, perSector = sector / 4;
    const std::size_t sectors = size / sector;  // at most; the header takes the first
    auto at = [&](std::uint32_t s) -> const std::uint8_t* {
        const std::uint64_t off = (static_cast<std::uint64_t>(s) + 1) * sector;
        return off + sector <= size ? d + off : nullptr;
    };
    std::vector<std::uint32_t> fat;  // the sectors of the allocation table
    for (std::size_t i = 0; i < 109; ++i) {
        const std::uint32_t v = le32(file, 76 + 4 * i);
        if (v < kSpecial)
            fat.push_back(v);
    }
    std::uint32_t difat = le32(file, 68);
    for (std::size_t guard = 0; difat < kSpecial && guard < sectors; ++guard) {
        const std::uint8_t* p = at(difat);
        if (!p)
            break;
        const std::span<const std::uint8_t> ps(p, sector);
        for (std::size_t k = 0; k + 1 < perSector; ++k)
            if (const std::uint32_t v = le32(ps, 4 * k); v < kSpecial)
                fat.push_back(v);
        difat = le32(ps, sector - 4);
    }
    auto next = [&](std::uint32_t s) -> std::uint32_t {
        const std::size_t idx = s / perSector;
        const std::uint8_t* p = idx < fat.size() ? at(fat[idx]) : nullptr;
        return p ? le32(std::span<const std::uint8_t>(p, sector), 4 * (s % perSector)) : 0xFFFFFFFE;
    };
    std::vector<const std::uint8_t*> dir;
    for (std::uint32_t s = le32(file, 48); s < kSpecial && dir.size() < sectors; s = next(s)) {
        const std::uint8_t* p = at(s);
        if (!p)
            break;
        dir.push_back(p);
    }
    const std::size_t entries = dir.size() * (sector / 128);
    if (entries == 0)
        return;
    std::vector<std::uint8_t> seen(entries, 0);
    struct Item {
        std::uint32_t entry;
        std::size_t depth;
    };
    std::vector<Item> todo{{0, 1}};
    std::size_t walked = 0;
    while (!todo.empty()) {
        const Item it = todo.back();
        todo.pop_back();
        if (it.entry >= entries || seen[it.entry])
            continue;
        seen[it.entry] = 1;
        if (++walked > kMaxEntries)
            throwCorrupt("复合文档的目录项太多");
        if (it.depth > kMaxDepth)
            throwCorrupt("复合文档的目录结构已损坏");
        const std::span<const std::uint8_t> e(dir[it.entry / (sector / 128)] + (it.entry % (sector / 128)) * 128, 128);
        const std::uint8_t type = e[66];
        // In libgsf's order: the left sibling's subtree, the right one's,
        // then a storage's children.
        if (type == 1 || type == 5)
            todo.push_back({le32(e, 76), it.depth + 1});
        if (it.entry != 0 || !rootSiblingsCleared) {
            todo.push_back({le32(e, 72), it.depth + 1});
            todo.push_back({le32(e, 68), it.depth + 1});
        }
    }
}

// The root entry has no siblings in a sound compound file.  libgsf reads
// the entries a damaged root names as its siblings all the same, links
// them into no storage and never frees them (about 200 bytes each); having
// read them, it leaves them out of the tree where they belong (a root
// naming its own "Workbook" as a sibling read as no workbook at all).
// Returns the offset of the root's two sibling fields when they name
// another entry (neither NOSTREAM nor 0, the root itself, which libgsf does
// not read twice), for readOle to clear in a copy.  The root is the first
// entry of the directory's first sector, found as libgsf finds it for
// every sector size it takes.
static std::optional<std::size_t> rootSiblingFields(const std::uint8_t* d, std::size_t size)
{
    constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
    if (size < 512)
        return std::nullopt;
    const std::span<const std::uint8_t> file(d, size);
    const unsigned shift = le16(file, 30);
    if (shift < 6 || shift > 30)
        return std::nullopt;
    const std::uint64_t sector = std::uint64_t(1) << shift;
    const std::uint64_t root = std::max<std::uint64_t>(512, sector) + (std::uint64_t(le32(file, 48)) << shift);
    if (root + 128 > size)
        return std::nullopt;
    const std::span<const std::uint8_t> e(d + root, 128);
    for (const std::uint32_t sibling : {le32(e, 68), le32(e, 72)})
        if (sibling != kNoStream && sibling != 0)
            return std::size_t(root) + 68;
    return std::nullopt;
}

std::unique_ptr<Workbook> readOle(const std::uint8_t* data, std::size_t size, const Password* password)
{
    initGsf();
    const std::optional<std::size_t> rootSiblings = rootSiblingFields(data, size);
    checkOleDirectory(data, size, rootSiblings.has_value());
    // A damaged root with siblings: libgsf reads a copy without them.
    std::vector<std::uint8_t> cleared;
    if (rootSiblings) {
        cleared.assign(data, data + size);
        std::memset(cleared.data() + *rootSiblings, 0xFF, 8);  // NOSTREAM, NOSTREAM
        data = cleared.data();
    }
    GPtr<GsfInput> input(gsf_input_memory_new(data, static_cast<gsf_off_t>(size), FALSE));
    if (!input)
        throwCorrupt();
    GError* err = nullptr;
    GPtr<GsfInfile> ole(gsf_infile_msole_new(input.get(), &err));
    if (err)
        g_error_free(err);
    if (!ole)
        throwCorrupt("复合文档结构已损坏");

    // Excel 5 named its stream "Book", later versions "Workbook"; a file
    // with both (Excel 97-2003's dual "97 & 5.0/95" format, or one re-saved
    // by a later version; fixture both-streams.xls) has its data in
    // "Workbook".
    int workbook = -1, book = -1, encInfo = -1, encPackage = -1;
    int n = gsf_infile_num_children(ole.get());
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(ole.get(), i);
        if (sameName(name, "Workbook") && workbook < 0)
            workbook = i;
        else if (sameName(name, "Book") && book < 0)
            book = i;
        else if (sameName(name, "EncryptionInfo") && encInfo < 0)
            encInfo = i;
        else if (sameName(name, "EncryptedPackage") && encPackage < 0)
            encPackage = i;
    }
    int which = workbook >= 0 ? workbook : book;
    if (which < 0) {
        if (encPackage >= 0 && encInfo >= 0) {
            // An encrypted .xlsx: the package, decrypted in memory.
            GPtr<GsfInput> info(gsf_infile_child_by_index(ole.get(), encInfo));
            GPtr<GsfInput> package(gsf_infile_child_by_index(ole.get(), encPackage));
            auto whole = [&](GsfInput* in) {
                gsf_off_t len = in ? gsf_input_size(in) : -1;
                if (len <= 0 || static_cast<std::uint64_t>(len) > size)
                    throwCorrupt("加密数据的长度不对");
                const guint8* b = gsf_input_read(in, static_cast<std::size_t>(len), nullptr);
                if (!b)
                    throwCorrupt("加密数据读不完整");
                return std::span<const std::uint8_t>(b, static_cast<std::size_t>(len));
            };
            std::span<const std::uint8_t> infoBytes = whole(info.get());
            std::span<const std::uint8_t> packageBytes = whole(package.get());
            SecretBytes plain = decryptPackage(infoBytes, packageBytes, password);
            if (plain.size() < 4 || std::memcmp(plain.data(), "PK\x03\x04", 4) != 0)
                throw RosterError("解密后的内容不是.xlsx工作簿（可能是.xlsb等其他格式，请在Excel中另存为.xlsx或.xls）");
            return readXlsx(plain.data(), plain.size());
        }
        if (encPackage >= 0)
            throw RosterError("工作簿已加密，但缺少加密信息，文件已损坏");
        throw RosterError("不是Excel工作簿（文件里没有表格数据，可能是其他程序的文档）");
    }
    GPtr<GsfInput> stream(gsf_infile_child_by_index(ole.get(), which));
    if (!stream)
        throwCorrupt("复合文档结构已损坏");
    gsf_off_t len = gsf_input_size(stream.get());
    // A stream cannot be longer than the file that holds it.
    if (len <= 0 || static_cast<std::uint64_t>(len) > size)
        throwCorrupt("工作簿数据的长度不对");
    // Without a buffer of ours libgsf hands out the stream in place when
    // its sectors lie in one run, and its own copy otherwise; either stays
    // valid while `stream` lives.
    const guint8* bytes = gsf_input_read(stream.get(), static_cast<std::size_t>(len), nullptr);
    if (!bytes)
        throwCorrupt("工作簿数据读不完整");
    return readBiff(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(len)), password);
}

}  // namespace vdmq::roster::detail
