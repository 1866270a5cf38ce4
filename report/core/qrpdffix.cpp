#include "report/core/qrpdffix.h"
#include "report/core/qrtext.h"

#include <QByteArray>
#include <QFile>
#include <QPainterPath>
#include <QRawFont>
#include <QString>
#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_map>
#include <vector>

namespace qr::detail {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The code point a reader should get for `cp`.
char16_t preferred(char16_t cp)
{
    if (cp == 0x0009)
        return 0x0020;
    // Radicals the form's faces draw with an ideograph's glyph (⼯ for 工,
    // ⻓ for 长, ⼾ for 户): read from the faces, since Unicode's
    // decompositions miss the supplement's radicals and send ⼾ to 戶.
    struct Radical {
        char16_t radical, ideograph;
    };
    static constexpr Radical kRadicals[] = {
#include "report/core/radicals.inc"
    };
    if (cp >= 0x2E80 && cp <= 0x2FDF) {
        const auto it = std::lower_bound(std::begin(kRadicals), std::end(kRadicals), cp,
                                         [](const Radical& r, char16_t c) { return r.radical < c; });
        if (it != std::end(kRadicals) && it->radical == cp)
            return it->ideograph;
    }
    return cp;
}

// Rewrites a 4-digit hex token <XXXX> starting at `at` (the '<').
void mendToken(QByteArray& data, qsizetype at)
{
    if (at + 5 >= data.size() || data[at] != '<' || data[at + 5] != '>')
        return;
    int v = 0;
    for (int i = 1; i <= 4; ++i) {
        const int h = hexValue(data[at + i]);
        if (h < 0)
            return;
        v = v * 16 + h;
    }
    char16_t p = preferred(char16_t(v));
    if (p == v)
        return;
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 4; i >= 1; --i) {
        data[at + i] = digits[p & 0xF];
        p = char16_t(p >> 4);
    }
}

// Positions of the '<' of each token on a line.
std::vector<qsizetype> tokens(const QByteArray& data, qsizetype from, qsizetype to)
{
    std::vector<qsizetype> out;
    for (qsizetype i = from; i < to; ++i)
        if (data[i] == '<')
            out.push_back(i);
    return out;
}

void mendCMap(QByteArray& data, qsizetype begin, qsizetype end)
{
    enum { None, Range, Char } mode = None;
    qsizetype line = begin;
    while (line < end) {
        qsizetype eol = data.indexOf('\n', line);
        if (eol < 0 || eol > end)
            eol = end;
        const QByteArray text = data.mid(line, eol - line).trimmed();
        if (text.endsWith("beginbfrange"))
            mode = Range;
        else if (text.endsWith("beginbfchar"))
            mode = Char;
        else if (text == "endbfrange" || text == "endbfchar")
            mode = None;
        else if (mode != None) {
            const auto t = tokens(data, line, eol);
            const qsizetype bracket = data.indexOf('[', line);
            if (mode == Char && t.size() == 2) {
                mendToken(data, t[1]);
            } else if (mode == Range && bracket >= 0 && bracket < eol) {
                for (std::size_t i = 2; i < t.size(); ++i)
                    mendToken(data, t[i]);
            } else if (mode == Range && t.size() == 3 && data.mid(t[0], 6) == data.mid(t[1], 6)) {
                mendToken(data, t[2]);  // a range of one
            }
        }
        line = eol + 1;
    }
}

}  // namespace

// ---- the glyph log ----------------------------------------------------------

namespace {

quint16 u16(const QByteArray& t, qsizetype at) { return quint16((quint8(t[at]) << 8) | quint8(t[at + 1])); }

// The PostScript name of a face (name 6), as Qt's PDF writer names the
// face in /BaseFont (spaces as '_').
QByteArray postScriptName(const QRawFont& raw)
{
    const QByteArray t = raw.fontTable("name");
    if (t.size() < 6)
        return {};
    const int count = u16(t, 2), strings = u16(t, 4);
    QByteArray mac;
    for (int i = 0; i < count && 6 + 12 * (i + 1) <= t.size(); ++i) {
        const qsizetype rec = 6 + 12 * i;
        const int platform = u16(t, rec), encoding = u16(t, rec + 2), id = u16(t, rec + 6);
        const int len = u16(t, rec + 8), off = u16(t, rec + 10);
        if (id != 6 || strings + off + len > t.size())
            continue;
        const QByteArray bytes = t.mid(strings + off, len);
        if (platform == 3 && (encoding == 1 || encoding == 10 || encoding == 0)) {
            QByteArray name;
            for (qsizetype k = 0; k + 1 < bytes.size(); k += 2)
                name += char(u16(bytes, k) & 0x7F);
            return name.replace(' ', '_');
        }
        if (platform == 1 && mac.isEmpty())
            mac = bytes;
    }
    return mac.replace(' ', '_');
}

quint32 glyphOf(const QRawFont& raw, char32_t c)
{
    const QString s = QString::fromUcs4(&c, 1);
    quint32 g[2] = {0, 0};
    int n = 2;
    if (!raw.glyphIndexesForChars(s.constData(), int(s.size()), g, &n) || n < 1)
        return 0;
    return g[0];
}

// The entries of a text map as Qt writes them (ranges of 16-bit codes):
// code -> first character, from its first group of ranges only.  Qt 6.4
// writes each further group of a map of more than 100 ranges after bytes it
// never cleared: zero bytes on fresh memory, but on memory the heap used
// before, stale text that reads as ranges of another map, while the
// group's own first range is lost.  So only the first group can be trusted.
std::map<int, char32_t> readMap(const QByteArray& map)
{
    std::map<int, char32_t> out;
    auto hex = [](const QByteArray& tok) {
        bool ok = false;
        const uint v = tok.mid(1, tok.size() - 2).toUInt(&ok, 16);
        return ok ? int(v) : -1;
    };
    bool inRange = false;
    for (const QByteArray& raw : map.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.endsWith("beginbfrange") || line.endsWith("beginbfchar")) {
            inRange = true;
            continue;
        }
        if (line == "endbfrange" || line == "endbfchar")
            break;
        if (!inRange)
            continue;
        QList<QByteArray> toks;
        bool wellFormed = true;
        for (QByteArray t : line.split(' '))
            if (!(t = t.trimmed().replace('[', "").replace(']', "")).isEmpty()) {
                wellFormed = wellFormed && t.size() >= 3 && t.front() == '<' && t.back() == '>';
                toks.push_back(t);
            }
        if (!wellFormed)
            continue;
        if (toks.size() == 2) {  // bfchar
            if (hex(toks[0]) >= 0 && hex(toks[1]) >= 0)
                out[hex(toks[0])] = char32_t(hex(toks[1]));
        } else if (toks.size() == 3) {  // a range of consecutive characters
            const int from = hex(toks[0]), to = hex(toks[1]), first = hex(toks[2]);
            for (int c = from; c <= to && from >= 0 && first >= 0; ++c)
                out[c] = char32_t(first + (c - from));
        } else if (toks.size() > 3) {  // a range with one character each
            const int from = hex(toks[0]);
            for (qsizetype i = 2; i < toks.size() && from >= 0; ++i)
                if (hex(toks[i]) >= 0)
                    out[from + int(i - 2)] = char32_t(hex(toks[i]));
        }
    }
    return out;
}

void appendHex(QByteArray& out, quint32 v, int digits)
{
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i)
        out += kDigits[(v >> (4 * i)) & 0xF];
}

// The twin faces of a face: the other faces of its collection file, which
// draw each glyph index with the same outline (Noto CJK's SC, TC, JP, KR
// and HK faces share their outlines).
QStringList twinFamilies(const QString& family)
{
    static const QStringList regions = {QStringLiteral("SC"), QStringLiteral("TC"), QStringLiteral("JP"),
                                        QStringLiteral("KR"), QStringLiteral("HK")};
    QStringList out;
    if (!family.startsWith(QLatin1String("Noto ")) || !family.contains(QLatin1String(" CJK ")))
        return out;
    const QString stem = family.left(family.size() - 2);
    if (!regions.contains(family.right(2)))
        return out;
    for (const QString& r : regions)
        if (stem + r != family)
            out << stem + r;
    return out;
}

}  // namespace

struct PdfGlyphLog::Impl {
    struct Face {
        QRawFont raw;
        QByteArray name;
        std::vector<int> code;           // glyph -> its number in the document's copy of the face (0: none yet)
        std::vector<quint32> glyphs{0};  // number -> glyph (0: .notdef, always first)
        std::vector<std::u32string> texts{std::u32string()};
        std::vector<Face*> twins;
        bool twinsFound = false;
    };
    std::vector<std::pair<QRawFont, Face*>> engines;
    std::map<QByteArray, std::unique_ptr<Face>> faces;
    // What the glyphs of each text stand for, by font: the texts of a
    // batch of forms repeat (the captions, most cells).
    std::map<const MeasuredFont*, std::unordered_map<QString, Text>> texts;

    Face& faceOf(const QRawFont& raw)
    {
        for (const auto& [r, f] : engines)
            if (r == raw)
                return *f;
        const QByteArray name = postScriptName(raw);
        std::unique_ptr<Face>& f = faces[name];
        if (!f) {
            f = std::make_unique<Face>();
            f->raw = raw;
            f->name = name;
        }
        engines.emplace_back(raw, f.get());
        return *f;
    }

    const std::vector<Face*>& twinsOf(Face& f)
    {
        if (f.twinsFound)
            return f.twins;
        f.twinsFound = true;
        for (const QString& family : twinFamilies(f.raw.familyName())) {
            QFont font(family);
            font.setWeight(QFont::Weight(f.raw.weight()));
            font.setStyle(f.raw.style());
            font.setStyleStrategy(QFont::NoFontMerging);
            font.setHintingPreference(QFont::PreferNoHinting);
            font.setPixelSize(100);
            QRawFont raw = QRawFont::fromFont(font);
            if (!raw.isValid() || raw.familyName() != family)
                continue;
            raw.setPixelSize(f.raw.pixelSize());
            Face& twin = faceOf(raw);
            if (&twin != &f && twin.name != f.name)
                f.twins.push_back(&twin);
        }
        return f.twins;
    }

    // Gives glyph `g` the text `t` in `f`, unless it stands for another.
    static bool take(Face& f, quint32 g, const std::u32string& t)
    {
        if (g == 0)
            return true;  // .notdef stands for nothing
        if (g >= f.code.size())
            f.code.resize(std::max<std::size_t>(g + 1, 0x10000), 0);
        int& number = f.code[g];
        if (number == 0) {
            number = int(f.glyphs.size());
            f.glyphs.push_back(g);
            f.texts.push_back(t);
            return true;
        }
        std::u32string& have = f.texts[std::size_t(number)];
        if (t.empty() || have == t)
            return true;
        if (have.empty()) {
            have = t;
            return true;
        }
        return false;
    }
};

PdfGlyphLog::PdfGlyphLog() : d_(std::make_unique<Impl>()) {}
PdfGlyphLog::~PdfGlyphLog() = default;

PdfGlyphLog::Text& PdfGlyphLog::TextOf(MeasuredFont& mf, const QString& text)
{
    auto& byText = d_->texts[&mf];
    const auto it = byText.find(text);
    if (it != byText.end())
        return it->second;
    if (byText.size() > 20000)  // texts of many different forms: keep the cache bounded
        byText.clear();
    return byText.emplace(text, Text{glyphTexts(mf, text), false}).first->second;
}

QList<QGlyphRun> PdfGlyphLog::Draw(const QGlyphRun& run, const std::u32string* texts)
{
    Impl::Face& face = d_->faceOf(run.rawFont());
    const QList<quint32> glyphs = run.glyphIndexes();
    std::vector<Impl::Face*> to;  // each glyph's face, once one goes to a twin
    static const std::u32string none;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        const std::u32string* t = texts ? &texts[i] : &none;
        std::u32string blank;
        if (t->find(U'\t') != std::u32string::npos) {
            blank = *t;  // a tab is drawn as a blank
            std::replace(blank.begin(), blank.end(), U'\t', U' ');
            t = &blank;
        }
        if (Impl::take(face, glyphs[i], *t))
            continue;
        // Another character with the same glyph is in the document already.
        for (Impl::Face* twin : d_->twinsOf(face)) {
            if (twin->raw.pathForGlyph(glyphs[i]) != face.raw.pathForGlyph(glyphs[i]))
                continue;
            if (Impl::take(*twin, glyphs[i], *t)) {
                if (to.empty())
                    to.assign(std::size_t(glyphs.size()), &face);
                to[std::size_t(i)] = twin;
                break;
            }
        }
    }
    if (to.empty())
        return {};
    // One run per face, each glyph where the layout put it.
    QList<QGlyphRun> out;
    const QList<QPointF> pos = run.positions();
    std::vector<Impl::Face*> order;
    for (Impl::Face* f : to)
        if (std::find(order.begin(), order.end(), f) == order.end())
            order.push_back(f);
    for (Impl::Face* f : order) {
        QList<quint32> g;
        QList<QPointF> p;
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            if (to[std::size_t(i)] == f) {
                g.push_back(glyphs[i]);
                p.push_back(pos[i]);
            }
        QGlyphRun part = run;
        if (f != &face)
            part.setRawFont(f->raw);
        part.setGlyphIndexes(g);
        part.setPositions(p);
        out.push_back(part);
    }
    return out;
}

QByteArray PdfGlyphLog::TextMap(const QByteArray& baseFont, const QByteArray& qtMap) const
{
    const auto found = d_->faces.find(baseFont);
    if (found == d_->faces.end())
        return {};
    const Impl::Face& f = *found->second;
    const std::map<int, char32_t> qt = readMap(qtMap);
    // Qt's numbering must be the log's: every character Qt found for a
    // glyph number shows that glyph in the face.
    for (const auto& [code, c] : qt) {
        if (code == 0)
            continue;
        if (code < 0 || std::size_t(code) >= f.glyphs.size())
            return {};
        const std::u32string& t = f.texts[std::size_t(code)];
        if (!(t.size() == 1 && t[0] == c) && glyphOf(f.raw, c) != f.glyphs[std::size_t(code)])
            return {};
    }
    QByteArray entries;
    int count = 0;
    QByteArray out = "/CIDInit /ProcSet findresource begin\n"
                     "12 dict begin\n"
                     "begincmap\n"
                     "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                     "/CMapName /Adobe-Identity-UCS def\n"
                     "/CMapType 2 def\n"
                     "1 begincodespacerange\n"
                     "<0000> <FFFF>\n"
                     "endcodespacerange\n";
    auto flush = [&] {
        if (count == 0)
            return;
        out += QByteArray::number(count) + " beginbfchar\n" + entries + "endbfchar\n";
        entries.clear();
        count = 0;
    };
    for (std::size_t code = 1; code < f.glyphs.size() && code <= 0xFFFF; ++code) {
        std::u32string t = f.texts[code];
        if (t.empty()) {
            const auto q = qt.find(int(code));
            if (q == qt.end())
                continue;
            t.assign(1, q->second);
        }
        entries += '<';
        appendHex(entries, quint32(code), 4);
        entries += "> <";
        for (char32_t c : t) {
            if (c >= 0x10000) {
                appendHex(entries, 0xD800 + ((c - 0x10000) >> 10), 4);
                appendHex(entries, 0xDC00 + ((c - 0x10000) & 0x3FF), 4);
            } else {
                appendHex(entries, c, 4);
            }
        }
        entries += ">\n";
        if (++count == 100)
            flush();
    }
    flush();
    out += "endcmap\n"
           "CMapName currentdict /CMap defineresource pop\n"
           "end\n"
           "end\n";
    return out;
}

bool mendPdfTextMapping(const QString& fileName, const PdfGlyphLog* log)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError || data.size() != f.size())
        return false;
    if (log) {
        QByteArray out;
        out.reserve(data.size() + (1 << 16));
        PdfTextMapFilter filter(
            [&out](const char* d, qsizetype n) {
                out.append(d, n);
                return true;
            },
            log);
        filter.Write(data.constData(), data.size());
        filter.Finish();
        if (out == data)
            return true;
        return f.seek(0) && f.write(out) == out.size() && f.resize(out.size()) && f.flush();
    }
    const QByteArray original = data;
    qsizetype pos = 0;
    while ((pos = data.indexOf("begincmap", pos)) >= 0) {
        const qsizetype end = data.indexOf("endcmap", pos);
        if (end < 0)
            break;
        mendCMap(data, pos, end);
        pos = end;
    }
    if (data == original)
        return true;
    // Same length: overwrite only the bytes that changed.
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] == original[i])
            continue;
        qsizetype j = i;
        while (j < data.size() && data[j] != original[j])
            ++j;
        if (!f.seek(i) || f.write(data.constData() + i, j - i) != j - i)
            return false;
        i = j;
    }
    return f.flush();
}

bool PdfTextMapFilter::Write(const char* data, qsizetype size)
{
    buf_.append(data, size);
    return buf_.size() < (1 << 16) || pump(false);
}

bool PdfTextMapFilter::Finish()
{
    if (inTail_)
        fixCrossReferences(0);
    return pump(true);
}

// The /BaseFont of the last font dictionary in buf_[from, to).
void PdfTextMapFilter::noteBaseFont(qsizetype from, qsizetype to)
{
    static const QByteArray key("/BaseFont /");
    qsizetype at = -1;
    for (qsizetype next = buf_.indexOf(key, from); next >= 0 && next + key.size() <= to;
         next = buf_.indexOf(key, next + 1))
        at = next;
    if (at < 0)
        return;
    qsizetype end = at + key.size();
    while (end < to && !std::isspace(static_cast<unsigned char>(buf_[end])) && buf_[end] != '/' && buf_[end] != '>')
        ++end;
    baseFont_ = buf_.mid(at + key.size(), end - at - key.size());
}

// The map buf_[mapBegin, mapEnd) (from "begincmap" to "endcmap") written
// anew from the log, with its stream's /Length; false when it cannot be.
bool PdfTextMapFilter::rewriteMap(qsizetype mapBegin, qsizetype mapEnd)
{
    static const QByteArray lengthKey("<< /Length "), streamKey("stream\n"), endKey("endstream");
    const qsizetype dict = buf_.lastIndexOf(lengthKey, mapBegin);
    const qsizetype stream = dict < 0 ? -1 : buf_.indexOf(streamKey, dict);
    const qsizetype endStream = buf_.indexOf(endKey, mapEnd);
    if (dict < 0 || stream < 0 || stream > mapBegin || endStream < 0)
        return false;
    const qsizetype digits = dict + lengthKey.size();
    qsizetype digitsEnd = digits;
    while (digitsEnd < stream && std::isdigit(static_cast<unsigned char>(buf_[digitsEnd])))
        ++digitsEnd;
    bool ok = false;
    const qint64 length = buf_.mid(digits, digitsEnd - digits).toLongLong(&ok);
    if (!ok)
        return false;
    noteBaseFont(0, dict);
    const QByteArray map = log_->TextMap(baseFont_, buf_.mid(mapBegin, mapEnd - mapBegin));
    if (map.isEmpty())
        return false;
    const qsizetype dataBegin = stream + streamKey.size();
    // What follows the map's last line in Qt's stream (a line break) stays.
    const qsizetype oldData = endStream - dataBegin;
    const QByteArray data = map + "\n";
    const qint64 newLength = length + (data.size() - oldData);
    QByteArray replacement = QByteArray::number(newLength);
    replacement += buf_.mid(digitsEnd, dataBegin - digitsEnd);
    replacement += data;
    // Offsets in Qt's cross-reference table count the bytes as Qt wrote
    // them: past this stream, each moves by the change.
    const qint64 originalEnd = written_ + endStream - shift_;
    shift_ += replacement.size() - (endStream - digits);
    shifts_.emplace_back(originalEnd, shift_);
    buf_.replace(digits, endStream - digits, replacement);
    scanned_ = digits + replacement.size();
    return true;
}

// The cross-reference table and "startxref" (held in buf_) moved by the
// changes of length of the maps written anew.
void PdfTextMapFilter::fixCrossReferences(qsizetype from)
{
    auto moved = [this](qint64 original) {
        qint64 by = 0;
        for (const auto& [after, shift] : shifts_)
            if (original >= after)
                by = shift;
        return original + by;
    };
    const qsizetype pos = buf_.indexOf("xref\n", from);
    if (pos != from)
        return;
    // "xref", then sections of "first count" and 20-byte entries.
    qsizetype line = pos + 5;
    for (;;) {
        const qsizetype eol = buf_.indexOf('\n', line);
        if (eol < 0)
            return;
        const QList<QByteArray> head = buf_.mid(line, eol - line).trimmed().split(' ');
        bool okFirst = false, okCount = false;
        const int count = head.size() == 2 ? head[1].toInt(&okCount) : 0;
        if (head.size() != 2 || !(head[0].toInt(&okFirst), okFirst) || !okCount)
            break;
        line = eol + 1;
        for (int i = 0; i < count && line + 20 <= buf_.size(); ++i, line += 20) {
            if (buf_[line + 17] != 'n')
                continue;
            bool ok = false;
            const qint64 offset = buf_.mid(line, 10).toLongLong(&ok);
            if (ok)
                buf_.replace(line, 10, QByteArray::number(moved(offset)).rightJustified(10, '0'));
        }
    }
    static const QByteArray startKey("startxref\n");
    const qsizetype start = buf_.indexOf(startKey, line);
    if (start < 0)
        return;
    const qsizetype digits = start + startKey.size();
    qsizetype end = digits;
    while (end < buf_.size() && std::isdigit(static_cast<unsigned char>(buf_[end])))
        ++end;
    bool ok = false;
    const qint64 offset = buf_.mid(digits, end - digits).toLongLong(&ok);
    if (ok)
        buf_.replace(digits, end - digits, QByteArray::number(moved(offset)));
}

bool PdfTextMapFilter::pump(bool all)
{
    static const QByteArray begin("begincmap"), end("endcmap"), endStream("endstream"), xref("\nxref\n");
    // With a log, the dictionary of a map's stream, just before its
    // "begincmap", stays back too (its /Length changes).
    const qsizetype margin = log_ ? 512 : begin.size() - 1;
    qsizetype hold = buf_.size();  // bytes before this are passed on
    for (;;) {
        if (inTail_) {
            hold = all ? buf_.size() : 0;
            break;
        }
        const qsizetype b = buf_.indexOf(begin, scanned_);
        if (!shifts_.empty()) {
            // The fonts come last: from the cross-reference table on,
            // everything stays to the end.
            const qsizetype x = buf_.indexOf(xref, scanned_);
            if (x >= 0 && (b < 0 || x < b)) {
                inTail_ = true;
                hold = x + 1;
                if (all)
                    fixCrossReferences(x + 1);
                break;
            }
        }
        if (b < 0) {
            // A keyword may be cut at the end of what has come so far.
            hold = all ? buf_.size() : std::max(scanned_, buf_.size() - margin);
            break;
        }
        const qsizetype e = buf_.indexOf(end, b);
        const qsizetype es = e < 0 ? -1 : buf_.indexOf(endStream, e);
        if (e < 0 || (log_ && es < 0 && !all)) {
            hold = all ? buf_.size() : std::max<qsizetype>(0, b - margin);  // the rest is to come
            break;
        }
        if (!log_ || !rewriteMap(b, e)) {
            mendCMap(buf_, b, e);
            scanned_ = e + end.size();
        }
    }
    if (inTail_ && all)
        hold = buf_.size();
    if (hold <= 0)
        return true;
    noteBaseFont(0, hold);
    if (!sink_(buf_.constData(), hold))
        return false;
    written_ += hold;
    buf_.remove(0, hold);
    scanned_ = std::max<qsizetype>(0, scanned_ - hold);
    return true;
}

bool pdfLooksComplete(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = f.size();
    const qint64 tailAt = std::max<qint64>(0, size - 1024);
    if (!f.seek(tailAt))
        return false;
    const QByteArray tail = f.read(size - tailAt);
    const qsizetype sx = tail.lastIndexOf("startxref");
    if (sx < 0 || tail.indexOf("%%EOF", sx) < 0)
        return false;
    bool ok = false;
    const qint64 xref = tail.mid(sx + 9, tail.indexOf("%%EOF", sx) - sx - 9).trimmed().toLongLong(&ok);
    if (!ok || xref < 0 || xref >= size || !f.seek(xref))
        return false;
    return f.read(4) == "xref";
}

}  // namespace qr::detail
