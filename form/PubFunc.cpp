#include "form/PubFunc.h"

#include "platform/gbtext.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vdmq {

EConvertError::EConvertError(const std::string& text)
    : GbError("'" + text + "' is not a valid integer value"), text_(text)
{
}

std::string Trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20)
        --e;
    return std::string(s.substr(b, e - b));
}

std::string UpperCase(std::string_view s)
{
    std::string out(s);
    // Walk whole characters: a trail byte in the a-z range belongs to a
    // Chinese character and must not change.
    for (std::size_t i = 0; i < out.size();) {
        std::size_t n = gbCharLength(out, i);
        if (n == 1 && out[i] >= 'a' && out[i] <= 'z')
            out[i] = static_cast<char>(out[i] - 0x20);
        i += n;
    }
    return out;
}

bool TryStrToInt(std::string_view s, int& value)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size())
        return false;
    // Limit of the magnitude: 2^31 for a negative value, 2^31 - 1 otherwise.
    const std::uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        v = v * base + d;
        if (v > limit)
            return false;
    }
    value = negative ? static_cast<int>(-static_cast<std::int64_t>(v)) : static_cast<int>(v);
    return true;
}

int StrToInt(std::string_view s)
{
    int v = 0;
    if (!TryStrToInt(s, v))
        throw EConvertError(std::string(s));
    return v;
}

std::string FormatYearMonth(std::string_view s)
{
    const std::string t = Trim(s);
    if (t.size() == 6)
        return t.substr(0, 4) + "." + t.substr(4, 2);
    if (t.size() == 5)
        return t.substr(0, 4) + "." + t.substr(4, 1);
    return std::string(s);
}

namespace {

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
    if (!TryStrToInt(piece, v))
        throw EConvertError(piece.empty() ? std::string() : wholeCharacters(s, pos, piece.size()));
    return v;
}

}  // namespace

bool ShiftYearMonth(std::string_view s, int direction, TPny& result)
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
    result.Year = std::to_string(newYear);
    result.Month = (newMonth < 10 ? "0" : "") + std::to_string(newMonth);
    return true;
}

std::string ReplaceFirst(std::string_view source, std::string_view pattern, std::string_view replacement)
{
    if (pattern.empty() || pattern.size() > source.size())
        return std::string(source);
    const std::string src = UpperCase(source);
    const std::string pat = UpperCase(pattern);
    // Character boundaries of the source: a match must begin and end on one,
    // so a pattern never matches the trail bytes of one character and the
    // lead of the next.
    std::vector<bool> boundary(src.size() + 1, false);
    for (std::size_t i = 0; i < src.size(); i += gbCharLength(src, i))
        boundary[i] = true;
    boundary[src.size()] = true;
    for (std::size_t p = 0; p + pat.size() <= src.size(); ++p) {
        if (!boundary[p] || !boundary[p + pat.size()])
            continue;
        if (src.compare(p, pat.size(), pat) != 0)
            continue;
        std::string out(source.substr(0, p));
        out += UpperCase(replacement);
        out.append(source.substr(p + pat.size()));
        return out;
    }
    return std::string(source);
}

std::string CopyLeftDbcs(std::string_view s, int& count)
{
    if (count <= 0)
        return {};
    const std::size_t want = static_cast<std::size_t>(count);
    if (s.size() < 2)
        return std::string(s.substr(0, want));
    if (want >= s.size())
        return std::string(s);
    // Take whole characters (1, 2 or 4 bytes) while they fit in the count.
    std::size_t taken = 0;
    while (taken < want) {
        const std::size_t n = gbCharLength(s, taken);
        if (taken + n > want)
            break;
        taken += n;
    }
    count = static_cast<int>(taken);
    return std::string(s.substr(0, taken));
}

}  // namespace vdmq
