#include "report/core/qrpdffix.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <algorithm>
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

bool mendPdfTextMapping(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError || data.size() != f.size())
        return false;
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

bool PdfTextMapFilter::Finish() { return pump(true); }

bool PdfTextMapFilter::pump(bool all)
{
    static const QByteArray begin("begincmap"), end("endcmap");
    qsizetype hold = buf_.size();  // bytes from here on stay
    for (;;) {
        const qsizetype b = buf_.indexOf(begin, scanned_);
        if (b < 0) {
            // A keyword may be cut at the end of what has come so far.
            hold = all ? buf_.size() : std::max(scanned_, buf_.size() - (begin.size() - 1));
            break;
        }
        const qsizetype e = buf_.indexOf(end, b);
        if (e < 0) {
            hold = all ? buf_.size() : b;  // the rest of this map is still to come
            break;
        }
        mendCMap(buf_, b, e);
        scanned_ = e + end.size();
    }
    if (hold <= 0)
        return true;
    if (!sink_(buf_.constData(), hold))
        return false;
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
