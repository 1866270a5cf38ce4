#include "form/PubFunc.h"

#include "platform/gbtext.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace vdmq {

EConvertError::EConvertError(const QString& text)
    : GbError(toGb(QStringLiteral("'%1' is not a valid integer value").arg(text))), text_(text)
{
}

QString Trim(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 0x20)
        ++b;
    while (e > b && s[e - 1].unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

QString UpperCase(const QString& s)
{
    QString out = s;
    for (QChar& c : out)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 0x20);
    return out;
}

bool TryStrToInt(QStringView s, int& value)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    unsigned base = 10;
    if (i < s.size() && s[i] == u'$') {
        base = 16;
        ++i;
    } else if (i < s.size() && (s[i] == u'x' || s[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size())
        return false;
    // Limit of the magnitude: 2^31 for a negative value, 2^31 - 1 otherwise.
    const std::uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        unsigned d;
        if (c >= u'0' && c <= u'9')
            d = unsigned(c - u'0');
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = unsigned(c - u'a' + 10);
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = unsigned(c - u'A' + 10);
        else
            return false;
        v = v * base + d;
        if (v > limit)
            return false;
    }
    value = negative ? static_cast<int>(-static_cast<std::int64_t>(v)) : static_cast<int>(v);
    return true;
}

int StrToInt(const QString& s)
{
    int v = 0;
    if (!TryStrToInt(s, v))
        throw EConvertError(s);
    return v;
}

namespace {

// The year-month display on GB18030 bytes (trimmed of bytes up to 0x20,
// which are the same blanks and controls in any encoding); nothing when
// the text is shown as it is.
std::optional<std::string> yearMonthBytes(std::string_view gb)
{
    std::size_t b = 0, e = gb.size();
    while (b < e && static_cast<unsigned char>(gb[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(gb[e - 1]) <= 0x20)
        --e;
    const std::string_view t = gb.substr(b, e - b);
    if (t.size() == 5 || t.size() == 6)
        return std::string(t.substr(0, 4)) + "." + std::string(t.substr(4));
    return std::nullopt;
}

// The bytes pos .. pos + len of `s` widened to whole characters, for a
// message: a piece cut by byte positions may hold half of a Chinese
// character ("2009年7月" has the second byte of 年 where the month is
// read), which would show as a replacement mark.
std::string wholeCharacters(std::string_view s, std::size_t pos, std::size_t len)
{
    pos = std::min(pos, s.size());
    const std::size_t end = std::min(s.size(), pos + len);
    std::size_t from = 0, to = s.size();
    for (std::size_t i = 0; i < s.size(); i += gbCharLength(s, i)) {
        if (i <= pos)
            from = i;
        if (i >= end) {
            to = i;
            break;
        }
    }
    return std::string(s.substr(from, to - from));
}

// The strict conversion of s[pos, pos + len); the error quotes the piece
// in whole characters.
int pieceToInt(std::string_view s, std::size_t pos, std::size_t len)
{
    const std::string_view piece = pos < s.size() ? s.substr(pos, len) : std::string_view();
    int v = 0;
    if (!TryStrToInt(fromGb(piece), v))
        throw EConvertError(piece.empty() ? QString() : fromGb(wholeCharacters(s, pos, piece.size())));
    return v;
}

// ShiftYearMonth on GB18030 bytes.
bool shiftYearMonthBytes(std::string_view s, int direction, TPny& result)
{
    const std::size_t monthPos = s.size() > 6 ? 5 : 4;
    // Both pieces are converted before any range test.
    int year = pieceToInt(s, 0, 4);
    int month = pieceToInt(s, monthPos, 2);
    if (year < 1901 || year > 2099 || month < 1 || month > 12)
        return false;
    // Months counted from year 0; a direction beyond +-1 shifts that many months.
    const long long total = static_cast<long long>(year) * 12 + (month - 1) + direction;
    long long newYear = total / 12;
    long long newMonth = total % 12;
    if (newMonth < 0) {
        newMonth += 12;
        --newYear;
    }
    ++newMonth;
    result.Year = QString::number(newYear);
    result.Month = QStringLiteral("%1").arg(newMonth, 2, 10, QLatin1Char('0'));
    return true;
}

}  // namespace

QString FormatYearMonth(const QString& s)
{
    const std::optional<std::string> shown = yearMonthBytes(toGb(s));
    return shown ? fromGb(*shown) : s;
}

bool ShiftYearMonth(const QString& s, int direction, TPny& result)
{
    return shiftYearMonthBytes(toGb(s), direction, result);
}

bool ShiftShownYearMonth(const QString& cell, int direction, TPny& result)
{
    const std::string gb = toGb(cell);
    return shiftYearMonthBytes(yearMonthBytes(gb).value_or(gb), direction, result);
}

QString ReplaceFirst(const QString& source, const QString& pattern, const QString& replacement)
{
    if (pattern.isEmpty())
        return source;
    // Upper-casing a-z keeps every position, and a match of whole
    // characters: a pattern never matches half of a character.
    const qsizetype p = UpperCase(source).indexOf(UpperCase(pattern));
    if (p < 0)
        return source;
    return source.left(p) + UpperCase(replacement) + source.mid(p + pattern.size());
}

QString CopyLeftDbcs(const QString& s, int& count)
{
    if (count <= 0)
        return {};
    const TGbPrefix whole = gbPrefix(s);
    // A text of one byte or none, or one the count reaches past: all of it.
    if (whole.bytes < 2 || count >= whole.bytes)
        return s;
    const TGbPrefix taken = gbPrefix(s, count);
    count = int(taken.bytes);
    return s.left(taken.chars);
}

std::string Trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20)
        --e;
    return s.substr(b, e - b);
}

int StrToInt(const std::string& s) { return StrToInt(fromGb(s)); }

}  // namespace vdmq
