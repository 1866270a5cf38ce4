// Makes the hostile workbooks of hostile_files.h.  Everything is built in
// memory from a few repeated pieces, so the set costs seconds to make even
// where a file inflates to gigabytes.
#include "hostile_files.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>

namespace hostile {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Make(name, scale): the counts of a case times `scale` (fuzzing seeds are
// the same shapes a hundred times smaller).
double g_scale = 1;
std::uint64_t scaled(std::uint64_t n) { return std::max<std::uint64_t>(1, std::uint64_t(double(n) * g_scale)); }

void put16(Bytes& b, unsigned v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void put32(Bytes& b, std::uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void put64(Bytes& b, std::uint64_t v)
{
    put32(b, std::uint32_t(v));
    put32(b, std::uint32_t(v >> 32));
}
void putBytes(Bytes& b, const void* p, std::size_t n)
{
    const auto* c = static_cast<const std::uint8_t*>(p);
    b.insert(b.end(), c, c + n);
}
void set32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}

// ---- BIFF8 ------------------------------------------------------------------

enum : unsigned {
    tBOF = 0x0809,
    tEOF = 0x000A,
    tBOUNDSHEET = 0x0085,
    tXF = 0x00E0,
    tFORMAT = 0x041E,
    tSST = 0x00FC,
    tCONTINUE = 0x003C,
    tLABELSST = 0x00FD,
    tMULRK = 0x00BD,
    tNUMBER = 0x0203,
    tMERGEDCELLS = 0x00E5,
};

void rec(Bytes& b, unsigned type, const Bytes& payload)
{
    put16(b, type);
    put16(b, unsigned(payload.size()));
    b.insert(b.end(), payload.begin(), payload.end());
}

Bytes bof(unsigned dt)
{
    Bytes p;
    put16(p, 0x0600);
    put16(p, dt);
    put16(p, 0x0DBB);
    put16(p, 0x07CC);
    put32(p, 0);
    put32(p, 0x06);
    return p;
}

Bytes number(unsigned row, unsigned col, double v, unsigned xf = 0)
{
    Bytes p;
    put16(p, row);
    put16(p, col);
    put16(p, xf);
    putBytes(p, &v, 8);
    return p;
}

// Globals (between BOF and the sheet directory) and the first sheet's cell
// records, put together with the directory pointing at the sheet.
Bytes workbook(const std::function<void(Bytes&)>& globals, const std::function<void(Bytes&)>& sheet)
{
    Bytes b;
    rec(b, tBOF, bof(0x0005));
    globals(b);
    const std::size_t boundsheet = b.size() + 4;
    rec(b, tBOUNDSHEET, Bytes{0, 0, 0, 0, 0, 0, 6, 0, 'S', 'h', 'e', 'e', 't', '1'});
    rec(b, tEOF, {});
    set32(b, boundsheet, std::uint32_t(b.size()));
    rec(b, tBOF, bof(0x0010));
    sheet(b);
    rec(b, tEOF, {});
    return b;
}

void someCells(Bytes& b)
{
    for (unsigned r = 6; r < 9; ++r)
        for (unsigned c = 0; c < 5; ++c)
            rec(b, tNUMBER, number(r, c, r * 100 + c, c));
}

// An SST of the given strings' records (already encoded), split into
// CONTINUE records at 8224 bytes the way Excel splits it: a string's
// characters continue with their option byte repeated.
void sst(Bytes& b, std::uint32_t count,
         const std::function<void(const std::function<void(const Bytes&, std::size_t, bool)>&)>& each)
{
    Bytes cur;
    put32(cur, count);
    put32(cur, count);
    bool first = true;
    auto flush = [&] {
        rec(b, first ? tSST : tCONTINUE, cur);
        first = false;
        cur.clear();
    };
    // header: cch and flags; chars: the characters; wide: UTF-16
    each([&](const Bytes& header, std::size_t headerLen, bool wide) {
        if (cur.size() + headerLen + (wide ? 2 : 1) > 8224)
            flush();
        cur.insert(cur.end(), header.begin(), header.begin() + std::ptrdiff_t(headerLen));
        std::size_t at = headerLen;
        while (at < header.size()) {
            std::size_t room = 8224 - cur.size();
            if (wide)
                room &= ~std::size_t(1);
            if (room == 0) {
                flush();
                cur.push_back(wide ? 1 : 0);
                continue;
            }
            const std::size_t n = std::min(room, header.size() - at);
            cur.insert(cur.end(), header.begin() + std::ptrdiff_t(at), header.begin() + std::ptrdiff_t(at + n));
            at += n;
        }
    });
    if (!cur.empty() || first)
        flush();
}

Bytes xlsXfFormat()
{
    // 300,000 number formats and as many styles, each style naming a
    // format far from its own place in the table.
    const unsigned n = unsigned(scaled(300000));
    return OleWrap(workbook(
        [&](Bytes& b) {
            for (unsigned i = 0; i < n; ++i) {
                const char* code = i % 2 ? "yyyy-mm" : "0.0";
                Bytes p;
                put16(p, 164 + i);
                put16(p, unsigned(std::strlen(code)));
                p.push_back(0);
                putBytes(p, code, std::strlen(code));
                rec(b, tFORMAT, p);
            }
            for (unsigned i = 0; i < n; ++i) {
                Bytes p(20, 0);
                const unsigned fmt = 164 + (i * 7919u) % n;
                p[2] = std::uint8_t(fmt);
                p[3] = std::uint8_t(fmt >> 8);  // a 16-bit format number: the rest wrap around
                rec(b, tXF, p);
            }
        },
        someCells));
}

Bytes xlsContinueFlood()
{
    // Ten million empty CONTINUE records after the string table.
    return OleWrap(workbook(
        [](Bytes& b) {
            rec(b, tSST, Bytes{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 'x'});
            b.reserve(b.size() + scaled(40000000) + 4096);
            for (std::uint64_t i = 0; i < scaled(10000000); ++i)
                rec(b, tCONTINUE, {});
        },
        [](Bytes& b) {
            Bytes p;
            put16(p, 6);
            put16(p, 1);
            put16(p, 0);
            put32(p, 0);
            rec(b, tLABELSST, p);
        }));
}

Bytes xlsCellFlood()
{
    // Ten million numbers in MULRK records of 1,360 cells each.
    return OleWrap(workbook([](Bytes&) {},
                            [](Bytes& b) {
                                constexpr unsigned perRecord = 1360;
                                b.reserve(b.size() + scaled(62000000));
                                for (unsigned r = 0; r < scaled(7400); ++r) {
                                    Bytes p;
                                    put16(p, r);
                                    put16(p, 0);
                                    for (unsigned i = 0; i < perRecord; ++i) {
                                        put16(p, 0);
                                        put32(p, (i << 2) | 2);
                                    }
                                    put16(p, perRecord - 1);
                                    rec(b, tMULRK, p);
                                }
                            }));
}

Bytes xlsLongStringRefs()
{
    // One string of 65,535 ideographs, the longest BIFF8 holds, referenced
    // by a million cells.
    return OleWrap(workbook(
        [](Bytes& b) {
            sst(b, 1, [](const auto& add) {
                Bytes s;
                put16(s, 65535);
                s.push_back(1);
                for (int i = 0; i < 65535; ++i)
                    put16(s, 0x5DE5);  // 工
                add(s, 3, true);
            });
        },
        [](Bytes& b) {
            b.reserve(b.size() + scaled(14000000));
            for (unsigned r = 0; r < scaled(1000000); ++r) {
                Bytes p;
                put16(p, r % 65536);
                put16(p, 1 + r / 65536);
                put16(p, 0);
                put32(p, 0);
                rec(b, tLABELSST, p);
            }
        }));
}

Bytes xlsStringFlood()
{
    // A string table of twenty million empty strings.
    const std::uint32_t n = std::uint32_t(scaled(20000000));
    return OleWrap(workbook(
        [&](Bytes& b) {
            b.reserve(scaled(64000000));
            sst(b, n, [&](const auto& add) {
                const Bytes s{0, 0, 0};
                for (std::uint32_t i = 0; i < n; ++i)
                    add(s, 3, false);
            });
        },
        someCells));
}

Bytes xlsMergeFlood()
{
    // Eight million merged ranges, 1,024 to a record.
    return OleWrap(workbook([](Bytes&) {},
                            [](Bytes& b) {
                                b.reserve(scaled(66000000));
                                for (unsigned k = 0; k < scaled(8000); ++k) {
                                    Bytes p;
                                    put16(p, 1024);
                                    for (unsigned i = 0; i < 1024; ++i) {
                                        const unsigned row = (k * 1024 + i) % 65000;
                                        put16(p, row);
                                        put16(p, row);
                                        put16(p, 0);
                                        put16(p, 1);
                                    }
                                    rec(b, tMERGEDCELLS, p);
                                }
                            }));
}

Bytes xlsSstClaim()
{
    // A string table that claims four billion strings and holds one.
    return OleWrap(workbook(
        [](Bytes& b) {
            rec(b, tSST, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 'x'});
        },
        someCells));
}

// ---- OLE compound file ---------------------------------------------------------

constexpr std::uint32_t kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSect = 0xFFFFFFFD;
constexpr std::size_t kSector = 4096;

Bytes dirEntry(const char* name, std::uint8_t type, std::uint32_t left, std::uint32_t right, std::uint32_t child,
               std::uint32_t start, std::uint64_t size)
{
    Bytes e;
    std::size_t n = 0;
    for (; name[n]; ++n)
        put16(e, std::uint8_t(name[n]));
    put16(e, 0);
    e.resize(64, 0);
    put16(e, name[0] ? unsigned((n + 1) * 2) : 0);
    e.push_back(type);
    e.push_back(1);  // black
    put32(e, left);
    put32(e, right);
    put32(e, child);
    e.resize(e.size() + 16 + 4 + 16, 0);  // CLSID, state, times
    put32(e, start);
    put64(e, size);
    return e;
}

// A version-4 compound file (4,096-byte sectors): the stream, its FAT, the
// directory.  `extraEntries` empty streams beside the workbook's, chained
// as right siblings (a degenerate tree) or, `balanced`, as a balanced
// tree; `cycle` makes the stream's chain loop.
Bytes oleFile(Bytes stream, std::size_t extraEntries = 0, bool cycle = false, bool balanced = false)
{
    if (stream.size() < kSector)
        stream.resize(kSector, 0);  // out of the mini stream
    const std::size_t dataSectors = (stream.size() + kSector - 1) / kSector;
    const std::size_t entries = 2 + extraEntries;
    const std::size_t dirSectors = (entries * 128 + kSector - 1) / kSector;
    std::size_t fatSectors = 1;
    while (fatSectors * (kSector / 4) < dataSectors + fatSectors + dirSectors)
        ++fatSectors;
    if (fatSectors > 109)
        throw std::runtime_error("stream too large for this writer");

    Bytes f;
    const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    putBytes(f, sig, 8);
    f.resize(24, 0);
    put16(f, 0x3E);
    put16(f, 4);
    put16(f, 0xFFFE);
    put16(f, 12);
    put16(f, 6);
    f.resize(40, 0);
    put32(f, std::uint32_t(dirSectors));
    put32(f, std::uint32_t(fatSectors));
    put32(f, std::uint32_t(dataSectors + fatSectors));  // first directory sector
    put32(f, 0);
    put32(f, 4096);
    put32(f, kEnd);
    put32(f, 0);
    put32(f, kEnd);
    put32(f, 0);
    for (std::size_t i = 0; i < 109; ++i)
        put32(f, i < fatSectors ? std::uint32_t(dataSectors + i) : kFree);
    f.resize(kSector, 0);

    stream.resize(dataSectors * kSector, 0);
    f.insert(f.end(), stream.begin(), stream.end());

    Bytes fat;
    for (std::size_t i = 0; i < dataSectors; ++i)
        put32(fat, i + 1 < dataSectors ? std::uint32_t(i + 1) : (cycle ? 0u : kEnd));
    for (std::size_t i = 0; i < fatSectors; ++i)
        put32(fat, kFatSect);
    for (std::size_t i = 0; i < dirSectors; ++i)
        put32(fat, i + 1 < dirSectors ? std::uint32_t(dataSectors + fatSectors + i + 1) : kEnd);
    fat.resize(fatSectors * kSector, 0xFF);
    f.insert(f.end(), fat.begin(), fat.end());

    Bytes dir = dirEntry("Root Entry", 5, kFree, kFree, 1, kEnd, 0);
    // A looping chain is followed for four times the sectors it has.
    const Bytes wb =
        dirEntry("Workbook", 2, kFree, extraEntries ? 2u : kFree, kFree, 0, cycle ? stream.size() * 4 : stream.size());
    dir.insert(dir.end(), wb.begin(), wb.end());
    for (std::size_t i = 0; i < extraEntries; ++i) {
        const std::string name = "x" + std::to_string(i);
        // Entry i + 2; in the balanced tree its children are 2i + 1 and 2i + 2.
        auto entry = [&](std::size_t k) { return k < extraEntries ? std::uint32_t(k + 2) : kFree; };
        const std::uint32_t left = balanced ? entry(2 * i + 1) : kFree;
        const std::uint32_t right = balanced ? entry(2 * i + 2) : entry(i + 1);
        const Bytes e = dirEntry(name.c_str(), 2, left, right, kFree, kEnd, 0);
        dir.insert(dir.end(), e.begin(), e.end());
    }
    while (dir.size() < dirSectors * kSector) {
        const Bytes e = dirEntry("", 0, kFree, kFree, kFree, 0, 0);
        dir.insert(dir.end(), e.begin(), e.end());
    }
    f.insert(f.end(), dir.begin(), dir.end());
    return f;
}

// ---- zip -------------------------------------------------------------------------

struct Deflated {
    std::string bytes;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
};

std::string deflateChunk(z_stream& zs, const std::string& in, int flush)
{
    std::string out;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = uInt(in.size());
    char buf[1 << 16];
    do {
        zs.next_out = reinterpret_cast<Bytef*>(buf);
        zs.avail_out = sizeof buf;
        deflate(&zs, flush);
        out.append(buf, sizeof buf - zs.avail_out);
    } while (zs.avail_out == 0 || zs.avail_in > 0);
    return out;
}

std::uint32_t crcOf(const std::string& s)
{
    return std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(s.data()), uInt(s.size())));
}

Deflated deflateMember(const ZipMember& m)
{
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Deflated d;
    d.bytes = deflateChunk(zs, m.data, Z_FULL_FLUSH);
    d.crc = crcOf(m.data);
    d.size = m.data.size();
    if (m.repeat > 0) {
        // After a full flush the compressor starts afresh: the same piece
        // comes out as the same bytes every time.
        const std::string block = deflateChunk(zs, m.repeated, Z_FULL_FLUSH);
        const std::string again = deflateChunk(zs, m.repeated, Z_FULL_FLUSH);
        if (block != again)
            throw std::runtime_error("deflate blocks differ");
        d.bytes.reserve(d.bytes.size() + block.size() * m.repeat);
        for (std::uint64_t i = 0; i < m.repeat; ++i)
            d.bytes += block;
        // The checksum of n copies by doubling.
        std::uint32_t one = crcOf(m.repeated), acc = 0;
        std::uint64_t len = m.repeated.size(), accLen = 0;
        for (std::uint64_t n = m.repeat; n; n >>= 1) {
            if (n & 1) {
                acc = std::uint32_t(crc32_combine(acc, one, z_off_t(len)));
                accLen += len;
            }
            one = std::uint32_t(crc32_combine(one, one, z_off_t(len)));
            len *= 2;
        }
        d.crc = std::uint32_t(crc32_combine(d.crc, acc, z_off_t(accLen)));
        d.size += accLen;
    }
    d.bytes += deflateChunk(zs, m.tail, Z_FINISH);
    d.crc = std::uint32_t(crc32_combine(d.crc, crcOf(m.tail), z_off_t(m.tail.size())));
    d.size += m.tail.size();
    deflateEnd(&zs);
    return d;
}

// ---- the xlsx parts ----------------------------------------------------------------

const char* kSheetHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
const char* kSheetTail = "</sheetData></worksheet>";

Bytes xlsxSheet(ZipMember sheet) { return Zip(XlsxParts(std::move(sheet))); }

Bytes xlsxBomb()
{
    // Four gigabytes of empty rows in a few megabytes.
    ZipMember m{"xl/worksheets/sheet1.xml", kSheetHead, std::string(1 << 20, ' '), scaled(3800), kSheetTail};
    for (std::size_t i = 0; i < m.repeated.size(); i += 64)
        m.repeated.replace(i, 6, "<row/>");
    return xlsxSheet(m);
}

Bytes xlsxCellFlood()
{
    // Rows of 20 numbers without references, repeated into billions of cells.
    std::string row = "<row>";
    for (int c = 0; c < 20; ++c)
        row += "<c><v>1</v></c>";
    row += "</row>";
    std::string block;
    while (block.size() < (1 << 20))
        block += row;
    return xlsxSheet({"xl/worksheets/sheet1.xml", kSheetHead, block, scaled(3000), kSheetTail});
}

Bytes xlsxAttributes()
{
    // One row element with 200,000 attributes.
    std::string s = std::string(kSheetHead) + "<row r=\"1\"";
    for (std::uint64_t i = 0; i < scaled(200000); ++i)
        s += " a" + std::to_string(i) + "=\"1\"";
    s += "><c r=\"A1\"><v>1</v></c></row>" + std::string(kSheetTail);
    return xlsxSheet({"xl/worksheets/sheet1.xml", s, {}, 0, {}});
}

Bytes xlsxSharedStringRefs()
{
    // A shared string of 9 MB referenced by every cell of 3,000 rows.
    std::string rows;
    for (int r = 7; r < 3007; ++r) {
        rows += "<row r=\"" + std::to_string(r) + "\">";
        for (const char* col : {"B", "G", "AD", "AE", "AG"})
            rows += std::string("<c r=\"") + col + std::to_string(r) + "\" t=\"s\"><v>0</v></c>";
        rows += "</row>";
    }
    const ZipMember sheet{"xl/worksheets/sheet1.xml", std::string(kSheetHead) + rows + kSheetTail, {}, 0, {}};
    const ZipMember strings{"xl/sharedStrings.xml",
                            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sst xmlns=\"http://schemas.openxmlformats."
                            "org/spreadsheetml/2006/main\" count=\"1\" uniqueCount=\"1\"><si><t>",
                            std::string(1 << 20, 'x'), scaled(9), "</t></si></sst>"};
    return Zip(XlsxParts(sheet, &strings));
}

Bytes xlsxDeep()
{
    // Elements nested a million deep.
    std::string open;
    while (open.size() < (1 << 20))
        open += "<a>";
    return xlsxSheet({"xl/worksheets/sheet1.xml", kSheetHead, open, 3, {}});
}

Bytes xlsxEntities()
{
    // Entities of ten times the one before, nine deep: a billion letters.
    std::string s = "<?xml version=\"1.0\"?>\n<!DOCTYPE w [<!ENTITY a \"aaaaaaaaaa\">";
    for (char e = 'b'; e <= 'j'; ++e) {
        s += std::string("<!ENTITY ") + e + " \"";
        for (int k = 0; k < 10; ++k)
            s += std::string("&") + char(e - 1) + ";";
        s += "\">";
    }
    s += "]><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData><row r=\"1\">"
         "<c r=\"A1\" t=\"inlineStr\"><is><t>&j;</t></is></c></row></sheetData></worksheet>";
    return xlsxSheet({"xl/worksheets/sheet1.xml", s, {}, 0, {}});
}

Bytes xlsxMemberFlood()
{
    // 65,000 parts besides the workbook's own.
    std::vector<ZipMember> parts =
        XlsxParts({"xl/worksheets/sheet1.xml",
                   std::string(kSheetHead) + "<row r=\"7\"><c r=\"A7\"><v>1</v></c></row>" + kSheetTail,
                   {},
                   0,
                   {}});
    for (std::uint64_t i = 0; i < scaled(65000); ++i)
        parts.push_back({"xl/media/x" + std::to_string(i) + ".bin", "x", {}, 0, {}});
    return Zip(parts);
}

Bytes xlsxRowNumbers()
{
    // Rows numbered far beyond the sheet's end, a cell in each.
    std::string rows;
    for (std::uint64_t i = 0; i < scaled(20000); ++i) {
        const std::string r = std::to_string(1048577 + i * 1000);
        rows += "<row r=\"" + r + "\"><c r=\"A" + r + "\"><v>1</v></c></row>";
    }
    rows += "<row r=\"7\"><c r=\"B7\" t=\"inlineStr\"><is><t>ok</t></is></c></row>";
    return xlsxSheet({"xl/worksheets/sheet1.xml", std::string(kSheetHead) + rows + kSheetTail, {}, 0, {}});
}

}  // namespace

std::vector<std::uint8_t> OleWrap(const std::vector<std::uint8_t>& workbookStream) { return oleFile(workbookStream); }

std::vector<std::uint8_t> Zip(const std::vector<ZipMember>& members)
{
    Bytes z, central;
    std::uint16_t count = 0;
    for (const ZipMember& m : members) {
        const bool stored = m.repeat == 0 && m.tail.empty() && m.data.size() < 4096;
        Deflated d;
        if (stored) {
            d.bytes = m.data;
            d.crc = crcOf(m.data);
            d.size = m.data.size();
        } else {
            d = deflateMember(m);
        }
        if (d.size > 0xFFFFFFFEull)
            throw std::runtime_error("member too large for a plain zip");
        const std::uint32_t offset = std::uint32_t(z.size());
        auto header = [&](Bytes& b, bool isCentral) {
            put32(b, isCentral ? 0x02014b50 : 0x04034b50);
            if (isCentral)
                put16(b, 20);
            put16(b, 20);
            put16(b, 0);
            put16(b, stored ? 0 : 8);
            put16(b, 0);
            put16(b, 0x21);
            put32(b, d.crc);
            put32(b, std::uint32_t(d.bytes.size()));
            put32(b, std::uint32_t(d.size));
            put16(b, unsigned(m.name.size()));
            put16(b, 0);
            if (isCentral) {
                put16(b, 0);
                put16(b, 0);
                put16(b, 0);
                put32(b, 0);
                put32(b, offset);
            }
            putBytes(b, m.name.data(), m.name.size());
        };
        header(z, false);
        putBytes(z, d.bytes.data(), d.bytes.size());
        header(central, true);
        ++count;
    }
    const std::uint32_t cdAt = std::uint32_t(z.size());
    z.insert(z.end(), central.begin(), central.end());
    put32(z, 0x06054b50);
    put16(z, 0);
    put16(z, 0);
    put16(z, count);
    put16(z, count);
    put32(z, std::uint32_t(central.size()));
    put32(z, cdAt);
    put16(z, 0);
    return z;
}

std::vector<ZipMember> XlsxParts(ZipMember sheet, const ZipMember* sharedStrings)
{
    const std::string ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    std::vector<ZipMember> parts = {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
         "content-types\"><Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
         "relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>",
         {},
         0,
         {}},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
         "2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
             ns +
             "/officeDocument\" Target=\"xl/workbook.xml\"/>"
             "</Relationships>",
         {},
         0,
         {}},
        {"xl/workbook.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<workbook xmlns=\"http://schemas.openxmlformats.org/"
         "spreadsheetml/2006/main\" xmlns:r=\"" +
             ns +
             "\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>"
             "</sheets></workbook>",
         {},
         0,
         {}},
        {"xl/_rels/workbook.xml.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
         "2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
             ns + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>" +
             (sharedStrings
                  ? "<Relationship Id=\"rId2\" Type=\"" + ns + "/sharedStrings\" Target=\"sharedStrings.xml\"/>"
                  : "") +
             "</Relationships>",
         {},
         0,
         {}},
    };
    parts.push_back(std::move(sheet));
    if (sharedStrings)
        parts.push_back(*sharedStrings);
    return parts;
}

const std::vector<Case>& Cases()
{
    static const std::vector<Case> cases = {
        {"xls-xf-format", "300,000 FORMAT and 300,000 XF records", true, ""},
        {"xls-continue-flood", "10 million empty CONTINUE records", true, ""},
        {"xls-sst-claim", "a string table claiming 4 billion strings", true, ""},
        {"xls-cell-flood", "10 million cells in MULRK records", false, "单元格太多"},
        {"xls-long-string-refs", "a 65,535-character string in a million cells", false, "文字太多"},
        {"xls-string-flood", "a string table of 20 million strings", false, "字符串太多"},
        {"xls-merge-flood", "8 million merged ranges", false, "合并单元格太多"},
        {"ole-dirent-chain", "200,000 directory entries in one chain", false, "复合文档的目录"},
        {"ole-dirent-tree", "200,000 directory entries in a balanced tree", false, "复合文档的目录项太多"},
        {"ole-fat-cycle", "a stream whose sector chain loops", false, "不是Excel工作簿"},
        {"xlsx-bomb", "4 GB of empty rows in a few MB", false, "解压后过大"},
        {"xlsx-cell-flood", "3 GB of rows of numbers", false, "单元格太多"},
        {"xlsx-attributes", "a row with 200,000 attributes", false, "属性太多"},
        {"xlsx-shared-string-refs", "a 9 MB shared string in 15,000 cells", false, "文字太多"},
        {"xlsx-deep", "a million nested elements", false, "不是Excel工作簿"},
        {"xlsx-entities", "nested entity definitions", false, "不是Excel工作簿"},
        {"xlsx-member-flood", "65,000 extra parts", true, ""},
        {"xlsx-row-numbers", "20,000 rows numbered past the sheet's end", true, ""},
    };
    return cases;
}

std::vector<std::uint8_t> Make(const std::string& name, double scale)
{
    struct Scale {
        explicit Scale(double s) { g_scale = s; }
        ~Scale() { g_scale = 1; }
    } scope(scale);
    static const std::map<std::string, std::function<Bytes()>> makers = {
        {"xls-xf-format", xlsXfFormat},
        {"xls-continue-flood", xlsContinueFlood},
        {"xls-sst-claim", xlsSstClaim},
        {"xls-cell-flood", xlsCellFlood},
        {"xls-long-string-refs", xlsLongStringRefs},
        {"xls-string-flood", xlsStringFlood},
        {"xls-merge-flood", xlsMergeFlood},
        {"ole-dirent-chain", [] { return oleFile(workbook([](Bytes&) {}, someCells), scaled(200000)); }},
        {"ole-dirent-tree", [] { return oleFile(workbook([](Bytes&) {}, someCells), scaled(200000), false, true); }},
        {"ole-fat-cycle", [] { return oleFile(workbook([](Bytes&) {}, someCells), 0, true); }},
        {"xlsx-bomb", xlsxBomb},
        {"xlsx-cell-flood", xlsxCellFlood},
        {"xlsx-attributes", xlsxAttributes},
        {"xlsx-shared-string-refs", xlsxSharedStringRefs},
        {"xlsx-deep", xlsxDeep},
        {"xlsx-entities", xlsxEntities},
        {"xlsx-member-flood", xlsxMemberFlood},
        {"xlsx-row-numbers", xlsxRowNumbers},
    };
    auto it = makers.find(name);
    if (it == makers.end())
        throw std::runtime_error("no hostile case " + name);
    return it->second();
}

}  // namespace hostile
