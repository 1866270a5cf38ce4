// .xlsx: the zip package through libgsf, its XML parts streamed through
// libxml2's reader.  The package's parts are found through its
// relationships, as the spreadsheet finds them, not by fixed names.
#include "platform/roster_gobject.h"
#include "platform/roster_internal.h"

#include <gsf/gsf.h>
#include <libxml/xmlreader.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

namespace vdmq::roster::detail {

namespace {

[[noreturn]] void tooLarge() { throw RosterError("工作簿解压后过大，不像人员名册（文件可能已损坏）"); }

// ---- XML streaming over a part of the package --------------------------------

// The most attributes an element may have.  Real parts have a dozen at
// most (the namespace declarations of a root element); libxml2 checks each
// new attribute against all before it, so 200,000 of them take minutes.
constexpr int kMaxAttributes = 512;

[[noreturn]] void tooManyAttributes()
{
    throw RosterError("表格数据中有元素的属性太多（超过 " + std::to_string(kMaxAttributes) +
                      " 个），不像人员名册（文件可能已损坏）");
}

// Counts the attributes of each start tag in the bytes on their way to
// the parser, so that an element with absurdly many is refused before the
// parser sees its end.  Comments, CDATA sections, processing instructions
// and declarations are passed over; quoted values may hold anything.
class AttributeCounter {
public:
    // False once an element has more than kMaxAttributes.
    bool feed(const char* p, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            if (state_ == Text || state_ == Quoted) {
                // Most bytes are text or values: jump to the next mark.
                const void* m = std::memchr(p + i, state_ == Text ? '<' : quote_, n - i);
                if (!m)
                    break;
                i = static_cast<std::size_t>(static_cast<const char*>(m) - p);
                state_ = state_ == Text ? Open : Tag;
                continue;
            }
            const char c = p[i];
            switch (state_) {
            case Text: break;
            case Open:
                if (c == '!') {
                    state_ = Bang;
                } else if (c == '?') {
                    state_ = Pi;
                    tail_ = 0;
                } else if (c == '/') {
                    state_ = Skip;
                } else {
                    state_ = Tag;
                    count_ = 0;
                }
                break;
            case Bang:  // "<!-" opens a comment, "<![" a CDATA section
                state_ = c == '-' ? Comment : c == '[' ? CData : Skip;
                tail_ = 0;
                break;
            case Tag:
                if (c == '"' || c == '\'') {
                    quote_ = c;
                    state_ = Quoted;
                } else if (c == '=') {
                    if (++count_ > kMaxAttributes)
                        return false;
                } else if (c == '>') {
                    state_ = Text;
                }
                break;
            case Quoted: break;
            case Skip:
                if (c == '>')
                    state_ = Text;
                break;
            case Comment:  // ends at "-->"
            case CData:    // ends at "]]>"
            case Pi: {     // ends at "?>"
                const char mark = state_ == Comment ? '-' : state_ == CData ? ']' : '?';
                const int need = state_ == Pi ? 1 : 2;
                if (c == '>' && tail_ >= need)
                    state_ = Text;
                tail_ = c == mark ? tail_ + 1 : 0;
                break;
            }
            }
        }
        return true;
    }

private:
    enum State { Text, Open, Bang, Tag, Quoted, Skip, Comment, CData, Pi };
    State state_ = Text;
    char quote_ = 0;
    int count_ = 0;
    int tail_ = 0;
};

struct Source {
    GsfInput* in;
    std::size_t* budget;  // decompressed bytes still allowed, over all parts
    bool over = false;
    bool failed = false;
    bool tooManyAttributes = false;
    AttributeCounter attributes;
};

int readCb(void* ctx, char* buf, int len)
{
    auto* s = static_cast<Source*>(ctx);
    gsf_off_t left = gsf_input_remaining(s->in);
    if (left <= 0 || len <= 0)
        return 0;
    std::size_t n = static_cast<std::size_t>(std::min<gsf_off_t>(left, len));
    // Counted as it is inflated: the reading stops at the limit, however
    // much the part claims or holds.
    if (*s->budget == 0) {
        s->over = true;
        return -1;
    }
    n = std::min(n, *s->budget);
    if (!gsf_input_read(s->in, n, reinterpret_cast<guint8*>(buf))) {
        s->failed = true;
        return -1;
    }
    *s->budget -= n;
    if (!s->attributes.feed(buf, n)) {
        s->tooManyAttributes = true;
        return -1;
    }
    return static_cast<int>(n);
}

int closeCb(void*) { return 0; }

void noXmlErrors(void*, const char*, xmlParserSeverities, xmlTextReaderLocatorPtr) {}

class Xml {
public:
    Xml(GsfInput* in, std::size_t* budget) : src_{in, budget, false, false, false, {}}
    {
        r_ = xmlReaderForIO(readCb, closeCb, &src_, nullptr, nullptr,
                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA);
        if (!r_)
            throwCorrupt("表格数据无法解析");
        xmlTextReaderSetErrorHandler(r_, noXmlErrors, nullptr);
    }
    ~Xml() { xmlFreeTextReader(r_); }
    Xml(const Xml&) = delete;
    Xml& operator=(const Xml&) = delete;

    // Next node; false at the end.  A malformed part is a damaged file.
    bool next()
    {
        int ret = xmlTextReaderRead(r_);
        if (ret == 1) {
            type_ = xmlTextReaderNodeType(r_);
            // No document type declarations: real packages have none, and
            // entity definitions are how XML is made to blow up.
            if (type_ == XML_READER_TYPE_DOCUMENT_TYPE)
                throwCorrupt("表格数据含有不允许的文档类型声明");
            return true;
        }
        if (src_.over)
            tooLarge();
        if (src_.tooManyAttributes)
            tooManyAttributes();
        if (ret < 0 || src_.failed)
            throwCorrupt("表格数据无法解析");
        return false;
    }
    bool isStart() const { return type_ == XML_READER_TYPE_ELEMENT; }
    bool isEnd() const { return type_ == XML_READER_TYPE_END_ELEMENT; }
    bool isEmpty() const { return xmlTextReaderIsEmptyElement(r_) == 1; }
    bool isText() const
    {
        return type_ == XML_READER_TYPE_TEXT || type_ == XML_READER_TYPE_SIGNIFICANT_WHITESPACE ||
               type_ == XML_READER_TYPE_CDATA || type_ == XML_READER_TYPE_WHITESPACE;
    }
    bool is(const char* local) const
    {
        const xmlChar* n = xmlTextReaderConstLocalName(r_);
        return n && std::strcmp(reinterpret_cast<const char*>(n), local) == 0;
    }
    std::string_view value() const
    {
        const xmlChar* v = xmlTextReaderConstValue(r_);
        return v ? std::string_view(reinterpret_cast<const char*>(v)) : std::string_view();
    }
    // Attribute by local name, whatever its namespace prefix.
    bool attr(const char* local, std::string& out)
    {
        bool found = false;
        if (xmlTextReaderMoveToFirstAttribute(r_) == 1) {
            do {
                const xmlChar* n = xmlTextReaderConstLocalName(r_);
                if (n && std::strcmp(reinterpret_cast<const char*>(n), local) == 0) {
                    const xmlChar* v = xmlTextReaderConstValue(r_);
                    out = v ? reinterpret_cast<const char*>(v) : "";
                    found = true;
                    break;
                }
            } while (xmlTextReaderMoveToNextAttribute(r_) == 1);
            xmlTextReaderMoveToElement(r_);
        }
        return found;
    }

private:
    Source src_;
    xmlTextReaderPtr r_ = nullptr;
    int type_ = 0;
};

// OOXML escapes characters XML cannot hold as _xHHHH_.
std::string unescapeOoxml(std::string s)
{
    if (s.find("_x") == std::string::npos)
        return s;
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '_' && i + 6 < s.size() && s[i + 1] == 'x' && s[i + 6] == '_') {
            unsigned v = 0;
            auto [p, ec] = std::from_chars(s.data() + i + 2, s.data() + i + 6, v, 16);
            if (ec == std::errc() && p == s.data() + i + 6) {
                appendUtf8(out, v);
                i += 6;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// ---- references ------------------------------------------------------------

constexpr std::uint32_t maxRows = 1048576, maxCols = 16384;

// "AB12" -> row 12, col 28.  False when it is not a cell reference.
bool parseRef(std::string_view s, std::uint32_t& row, std::uint32_t& col)
{
    std::size_t i = 0;
    std::uint32_t c = 0, r = 0;
    while (i < s.size() && s[i] == '$')
        ++i;
    std::size_t letters = 0;
    for (; i < s.size() && std::isalpha(static_cast<unsigned char>(s[i])); ++i, ++letters) {
        if (letters >= 3)
            return false;
        c = c * 26 + static_cast<std::uint32_t>(std::toupper(static_cast<unsigned char>(s[i])) - 'A' + 1);
    }
    if (i < s.size() && s[i] == '$')
        ++i;
    std::size_t digits = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i, ++digits) {
        if (digits >= 8)
            return false;
        r = r * 10 + static_cast<std::uint32_t>(s[i] - '0');
    }
    if (i != s.size() || letters == 0 || digits == 0 || c == 0 || r == 0 || c > maxCols || r > maxRows)
        return false;
    row = r;
    col = c;
    return true;
}

bool parseUint(std::string_view s, std::uint32_t& v)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

bool parseDouble(const std::string& s, double& v)
{
    const char* b = s.c_str();
    while (*b == ' ' || *b == '\t' || *b == '\n' || *b == '\r')
        ++b;
    if (!*b)
        return false;
    // from_chars, not strtod: a cell's value is written with a decimal point
    // whatever the desktop's locale (the C library's, which Qt sets from the
    // environment) says.  A leading '+' is allowed, as strtod allowed it.
    if (*b == '+' && b[1] != '-' && b[1] != '+')
        ++b;
    const char* end = b + std::strlen(b);
    const auto [e, ec] = std::from_chars(b, end, v);
    if (ec != std::errc())
        return false;
    const char* rest = e;
    while (*rest == ' ' || *rest == '\t' || *rest == '\n' || *rest == '\r')
        ++rest;
    return *rest == '\0' && std::isfinite(v);
}

// ISO 8601 (t="d" cells): a date, a date and time, or a time of day alone,
// as a serial number of the workbook's date system.  A zone suffix (Z,
// +08:00) is left out: the sheet shows the time as written.
bool parseIsoDate(std::string_view s, bool dates1904, double& serial)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    std::size_t i = 0;
    auto digits = [&](int n, int& out) {
        if (s.size() - i < static_cast<std::size_t>(n))
            return false;
        out = 0;
        for (int k = 0; k < n; ++k, ++i) {
            if (!std::isdigit(static_cast<unsigned char>(s[i])))
                return false;
            out = out * 10 + (s[i] - '0');
        }
        return true;
    };
    auto take = [&](char c) {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    double frac = 0;
    bool haveDate = false;
    if (s.size() >= 10 && s[4] == '-') {
        if (!digits(4, y) || !take('-') || !digits(2, mo) || !take('-') || !digits(2, d))
            return false;
        if (mo < 1 || mo > 12 || d < 1 || d > 31 || y < 1)
            return false;
        haveDate = true;
        if (i < s.size() && !take('T') && !take(' '))
            return false;
    } else if (!s.empty() && s[0] == 'T') {
        ++i;
    }
    if (i < s.size()) {
        if (!digits(2, h) || !take(':') || !digits(2, mi))
            return false;
        if (take(':')) {
            if (!digits(2, sec))
                return false;
            if (take('.') || take(',')) {
                double scale = 0.1;
                while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
                    frac += (s[i++] - '0') * scale;
                    scale /= 10;
                }
            }
        }
        if (take('Z')) {
        } else if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
            int zh = 0, zm = 0;
            if (!digits(2, zh))
                return false;
            take(':');
            if (i < s.size() && !digits(2, zm))
                return false;
        }
        if (i != s.size() || h > 24 || mi > 59 || sec > 60)
            return false;
    } else if (!haveDate) {
        return false;
    }
    double days = 0;
    if (haveDate) {
        // days from civil
        int yy = y - (mo <= 2);
        long era = (yy >= 0 ? yy : yy - 399) / 400;
        long yoe = yy - era * 400;
        long doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        long unixDays = era * 146097 + doe - 719468;  // since 1970-01-01
        days = dates1904 ? unixDays + 24107.0 : unixDays + 25569.0;
        if (!dates1904 && days < 61)
            days -= 1;  // before the phantom 1900-02-29
        if (days < 0)
            return false;
    }
    serial = days + (h * 3600 + mi * 60 + sec + frac) / 86400.0;
    return true;
}

// Part names as the package format compares them: no leading '/', ASCII
// letters in any case (fixture partcase.xlsx).  '\\' between segments is a
// tolerance: zip files made by .NET Framework's ZipFile before 4.6.1 have
// it, and Excel opens such packages (fixture backslash.xlsx).
std::string partKey(std::string_view name)
{
    std::string k;
    k.reserve(name.size());
    for (char c : name) {
        if (c == '\\')
            c = '/';
        k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::size_t b = 0;
    while (b < k.size() && k[b] == '/')
        ++b;
    return k.substr(b);
}

// %XX escapes of a relationship target (a URI).
std::string percentDecoded(const std::string& t)
{
    if (t.find('%') == std::string::npos)
        return t;
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        unsigned v = 0;
        if (t[i] == '%' && i + 2 < t.size() &&
            std::from_chars(t.data() + i + 1, t.data() + i + 3, v, 16).ptr == t.data() + i + 3) {
            out += static_cast<char>(v);
            i += 2;
        } else {
            out += t[i];
        }
    }
    return out;
}

std::string dirOf(const std::string& p)
{
    auto i = p.rfind('/');
    return i == std::string::npos ? std::string() : p.substr(0, i);
}

// A relationship target against the folder of the part that names it.
std::string resolve(const std::string& base, const std::string& target)
{
    std::string t = percentDecoded(target);
    std::replace(t.begin(), t.end(), '\\', '/');
    std::vector<std::string> parts;
    if (t.empty())
        return {};
    std::string joined = t[0] == '/' ? t.substr(1) : (base.empty() ? t : base + "/" + t);
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t e = joined.find('/', start);
        if (e == std::string::npos)
            e = joined.size();
        std::string seg = joined.substr(start, e - start);
        if (seg == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = e + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

bool endsWith(const std::string& s, const char* suffix)
{
    std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

struct Rel {
    std::string type, target;
};

class XlsxReader {
public:
    XlsxReader(const std::uint8_t* data, std::size_t size)
    {
        initGsf();
        // What the parts may decompress to, all together.  Real rosters
        // compress their XML some ten times; a package that inflates far
        // beyond that is not one.  No more than a second or two of XML.
        limits_ = Limits::forInput(size);
        budget_ = limits_.xmlBytes;
        input_.reset(gsf_input_memory_new(data, static_cast<gsf_off_t>(size), FALSE));
        if (!input_)
            throwCorrupt();
        GError* err = nullptr;
        zip_.reset(gsf_infile_zip_new(input_.get(), &err));
        if (err)
            g_error_free(err);
        if (!zip_)
            throwCorrupt("压缩包结构已损坏");
    }

    std::unique_ptr<Workbook> read()
    {
        auto book = std::make_unique<BookData>();
        book->sheet_.setLimits(limits_);
        std::string wbPath = "xl/workbook.xml";
        for (const auto& [id, rel] : readRels("_rels/.rels", ""))
            if (endsWith(rel.type, "/officeDocument"))
                wbPath = rel.target;
        auto wbRels =
            readRels(dirOf(wbPath) + "/_rels/" + wbPath.substr(wbPath.rfind('/') + 1) + ".rels", dirOf(wbPath));

        std::string firstName, firstId;
        bool haveSheet = false;
        {
            GPtr<GsfInput> part = open(wbPath);
            if (!part)
                throwCorrupt("缺少工作簿部件（不是Excel工作簿）");
            Xml x(part.get(), &budget_);
            while (x.next()) {
                if (!x.isStart())
                    continue;
                std::string v;
                if (x.is("workbookPr") && x.attr("date1904", v))
                    book->dates1904_ = v == "1" || v == "true";
                if (x.is("sheet") && !haveSheet) {
                    haveSheet = true;
                    x.attr("name", firstName);
                    x.attr("id", firstId);
                }
            }
        }
        book->sheet_.setName(firstName);
        std::string sstPath, stylesPath;
        for (const auto& [id, rel] : wbRels) {
            if (endsWith(rel.type, "/sharedStrings"))
                sstPath = rel.target;
            if (endsWith(rel.type, "/styles"))
                stylesPath = rel.target;
        }
        if (!haveSheet) {
            book->firstSheetProblem_ = "工作簿中没有工作表";
            return book;
        }
        auto it = wbRels.find(firstId);
        if (it == wbRels.end())
            throwCorrupt("找不到第一张工作表");
        const Rel& rel = it->second;
        if (endsWith(rel.type, "/chartsheet")) {
            book->firstSheetProblem_ = "工作簿的第一张表“" + firstName + "”是图表，不是工作表";
            return book;
        }
        if (endsWith(rel.type, "acrosheet")) {
            book->firstSheetProblem_ = "工作簿的第一张表“" + firstName + "”是宏表，不是工作表";
            return book;
        }
        if (!endsWith(rel.type, "/worksheet")) {
            book->firstSheetProblem_ = "工作簿的第一张表“" + firstName + "”不是工作表";
            return book;
        }
        if (!stylesPath.empty())
            readStyles(stylesPath);
        if (!sstPath.empty())
            readSharedStrings(sstPath, book->sheet_.pool());
        readSheet(rel.target, *book);
        book->sheet_.finish();
        return book;
    }

private:
    // Every member of the package by its part key, with the names to open
    // it by (a name with backslashes is one member at the top).
    void indexParts(GsfInfile* dir, std::vector<std::string>& names, int depth)
    {
        if (depth > 16)
            return;
        int n = gsf_infile_num_children(dir);
        for (int i = 0; i < n; ++i) {
            const char* name = gsf_infile_name_by_index(dir, i);
            if (!name)
                continue;
            names.emplace_back(name);
            GPtr<GsfInput> child(gsf_infile_child_by_index(dir, i));
            if (child && GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
                indexParts(GSF_INFILE(child.get()), names, depth + 1);
            } else {
                std::string joined;
                for (const auto& part : names)
                    joined += (joined.empty() ? "" : "/") + part;
                parts_.emplace(partKey(joined), names);  // the first of equal keys stays
            }
            names.pop_back();
        }
    }

    GPtr<GsfInput> open(const std::string& path)
    {
        if (!indexed_) {
            std::vector<std::string> names;
            indexParts(zip_.get(), names, 0);
            indexed_ = true;
        }
        auto it = parts_.find(partKey(path));
        if (it == parts_.end())
            return nullptr;
        std::vector<const char*> argv;
        for (const auto& n : it->second)
            argv.push_back(n.c_str());
        argv.push_back(nullptr);
        return GPtr<GsfInput>(gsf_infile_child_by_aname(zip_.get(), argv.data()));
    }

    std::map<std::string, Rel> readRels(const std::string& path, const std::string& base)
    {
        std::map<std::string, Rel> out;
        GPtr<GsfInput> part = open(path);
        if (!part)
            return out;
        Xml x(part.get(), &budget_);
        while (x.next()) {
            if (!x.isStart() || !x.is("Relationship"))
                continue;
            std::string id, type, target, mode;
            x.attr("Id", id);
            x.attr("Type", type);
            x.attr("Target", target);
            if (x.attr("TargetMode", mode) && mode == "External")
                continue;
            out[id] = Rel{type, resolve(base, target)};
        }
        return out;
    }

    void readStyles(const std::string& path)
    {
        GPtr<GsfInput> part = open(path);
        if (!part)
            return;
        Xml x(part.get(), &budget_);
        std::map<std::uint32_t, bool> custom;
        std::vector<std::uint32_t> xfFmt;
        bool inCellXfs = false, inNumFmts = false;
        while (x.next()) {
            if (x.isStart()) {
                std::string v, code;
                // Only <numFmts> defines the formats of cells; a <numFmt>
                // of a differential format (<dxfs>, conditional formatting)
                // may reuse a number for something else, as Excel's own
                // files do (fixture dxfs.xlsx).
                if (x.is("numFmts")) {
                    inNumFmts = !x.isEmpty();
                } else if (x.is("numFmt") && inNumFmts && x.attr("numFmtId", v) && x.attr("formatCode", code)) {
                    std::uint32_t id;
                    if (parseUint(v, id))
                        custom[id] = isDateFormatCode(code);
                } else if (x.is("cellXfs")) {
                    inCellXfs = !x.isEmpty();
                } else if (x.is("xf") && inCellXfs) {
                    std::uint32_t id = 0;
                    if (x.attr("numFmtId", v) && !parseUint(v, id))
                        id = 0;
                    xfFmt.push_back(id);
                }
            } else if (x.isEnd() && x.is("cellXfs")) {
                inCellXfs = false;
            } else if (x.isEnd() && x.is("numFmts")) {
                inNumFmts = false;
            }
        }
        xfFmtId_ = xfFmt;
        xfDate_.resize(xfFmt.size());
        for (std::size_t i = 0; i < xfFmt.size(); ++i) {
            auto c = custom.find(xfFmt[i]);
            xfDate_[i] = c != custom.end() ? c->second : isBuiltinDateFormat(static_cast<int>(xfFmt[i]));
        }
    }

    // Text of a string item (<si> or <is>): its <t> elements, rich-text runs
    // included, the phonetic guide (<rPh>) left out.  Called on the start
    // of the item; returns after its end.
    std::string itemText(Xml& x, const char* item)
    {
        std::string s;
        if (x.isEmpty())
            return s;
        int inT = 0, inPh = 0;
        while (x.next()) {
            if (x.isStart()) {
                if (x.is("t") && !x.isEmpty())
                    ++inT;
                else if (x.is("rPh") && !x.isEmpty())
                    ++inPh;
            } else if (x.isEnd()) {
                if (x.is(item))
                    break;
                if (x.is("t") && inT)
                    --inT;
                else if (x.is("rPh") && inPh)
                    --inPh;
            } else if (x.isText() && inT && !inPh) {
                s.append(x.value());
            }
        }
        return unescapeOoxml(std::move(s));
    }

    void readSharedStrings(const std::string& path, StringPool& pool)
    {
        GPtr<GsfInput> part = open(path);
        if (!part)
            return;
        Xml x(part.get(), &budget_);
        while (x.next())
            if (x.isStart() && x.is("si"))
                sst_.push_back(pool.add(itemText(x, "si")));
    }

    bool dateStyle(std::uint32_t s) const { return s < xfDate_.size() && xfDate_[s]; }

    void readSheet(const std::string& path, BookData& book)
    {
        SheetData& sh = book.sheet_;
        GPtr<GsfInput> part = open(path);
        if (!part)
            throwCorrupt("缺少工作表部件");
        Xml x(part.get(), &budget_);
        std::uint32_t row = 0, col = 0;
        std::string ref, t, s, v;
        while (x.next()) {
            if (!x.isStart())
                continue;
            if (x.is("row")) {
                // A row numbered past the sheet's end (or not a number)
                // holds nothing the sheet can show: its cells, and those
                // of rows after it without a number, are passed over, not
                // put into the rows before.
                std::uint32_t r;
                if (!x.attr("r", v))
                    row = row > maxRows ? row : row + 1;
                else if (parseUint(v, r) && r >= 1 && r <= maxRows)
                    row = r;
                else
                    row = maxRows + 1;
                col = 0;
            } else if (x.is("c")) {
                std::uint32_t r = 0, c = 0;
                if (!x.attr("r", ref)) {
                    col = col > maxCols ? col : col + 1;
                } else if (parseRef(ref, r, c)) {
                    row = r;
                    col = c;
                } else {
                    col = maxCols + 1;  // a reference outside the sheet
                }
                if (!x.attr("t", t))
                    t.clear();
                std::uint32_t style = 0;
                if (!x.attr("s", s) || !parseUint(s, style))
                    style = 0;
                bool haveV = false;
                std::string value, inl;
                bool haveInline = false;
                if (!x.isEmpty()) {
                    while (x.next()) {
                        if (x.isEnd() && x.is("c"))
                            break;
                        if (!x.isStart())
                            continue;
                        if (x.is("v")) {
                            haveV = true;
                            value = x.isEmpty() ? std::string() : textUntilEnd(x, "v");
                        } else if (x.is("is")) {
                            haveInline = true;
                            inl = itemText(x, "is");
                        }
                    }
                }
                if (row < 1 || row > maxRows || col < 1 || col > maxCols)
                    continue;
                store(sh, book.dates1904_, row, col, t, style, haveV, value, haveInline, inl);
            } else if (x.is("mergeCell")) {
                if (!x.attr("ref", ref))
                    continue;
                auto colon = ref.find(':');
                if (colon == std::string::npos)
                    continue;
                std::uint32_t r1, c1, r2, c2;
                if (parseRef(ref.substr(0, colon), r1, c1) && parseRef(ref.substr(colon + 1), r2, c2))
                    sh.addMerge(Range{static_cast<int>(std::min(r1, r2)), static_cast<int>(std::min(c1, c2)),
                                      static_cast<int>(std::max(r1, r2)), static_cast<int>(std::max(c1, c2))});
            }
        }
    }

    std::string textUntilEnd(Xml& x, const char* elem)
    {
        std::string out;
        while (x.next()) {
            if (x.isEnd() && x.is(elem))
                break;
            if (x.isText())
                out.append(x.value());
        }
        return out;
    }

    void store(SheetData& sh, bool dates1904, std::uint32_t row, std::uint32_t col, const std::string& t,
               std::uint32_t style, bool haveV, const std::string& value, bool haveInline, const std::string& inl)
    {
        if (t == "inlineStr") {
            // The text in <v> instead of <is> is a tolerance (writer not
            // identified; fixture inline-v.xlsx).
            if (haveInline)
                sh.addString(row, col, inl);
            else if (haveV)
                sh.addString(row, col, unescapeOoxml(value));
            return;
        }
        if (!haveV)
            return;  // a styled empty cell
        if (t == "s") {
            std::uint32_t i;
            // <v/>: an empty cell, seen in public workbooks (writer not
            // identified; fixture sst-emptyv.xlsx).
            if (value.find_first_not_of(" \t\r\n") == std::string::npos)
                return;
            if (!parseUint(value, i) || i >= sst_.size())
                throwCorrupt("文本单元格引用了不存在的字符串");
            sh.addPooledString(row, col, sst_[i]);
        } else if (t == "str") {
            sh.addString(row, col, unescapeOoxml(value));
        } else if (t == "b") {
            sh.addBoolean(row, col, value == "1" || value == "true");
        } else if (t == "e") {
            sh.addError(row, col, value);
        } else if (t == "d") {
            // The serial number shown with the cell's format, as any other
            // date; one without a number format (General) still shows as
            // the date it was written as.
            double serial;
            if (parseIsoDate(value, dates1904, serial))
                sh.addNumber(row, col, serial, style >= xfFmtId_.size() || xfFmtId_[style] == 0 || dateStyle(style));
            else
                sh.addString(row, col, value);
        } else {
            double d;
            if (value.empty())
                return;
            if (!parseDouble(value, d))
                throwCorrupt("数值单元格的内容不是数字");
            sh.addNumber(row, col, d, dateStyle(style));
        }
    }

    GPtr<GsfInput> input_;
    GPtr<GsfInfile> zip_;
    std::map<std::string, std::vector<std::string>> parts_;
    bool indexed_ = false;
    Limits limits_ = Limits::forInput(0);
    std::size_t budget_ = 0;
    std::vector<bool> xfDate_;
    std::vector<std::uint32_t> xfFmtId_;
    std::vector<std::uint32_t> sst_;
};

}  // namespace

std::unique_ptr<Workbook> readXlsx(const std::uint8_t* data, std::size_t size) { return XlsxReader(data, size).read(); }

}  // namespace vdmq::roster::detail
