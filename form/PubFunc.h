#pragma once
// Small operations on GB18030 byte strings and on year-month texts that the
// declaration filler uses.  Positions count bytes from 1.
#include "platform/gbtext.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace vdmq {

// The run-time conversion error: what() is exactly
// "'<text>' is not a valid integer value" (text as GB18030 bytes).
class EConvertError : public GbError {
public:
    explicit EConvertError(const std::string& text);
    const std::string& text() const { return text_; }
private:
    std::string text_;
};

// A year-month: the year in decimal without leading zeros, the month in two
// digits.  A fresh record holds two empty texts.
struct TPny {
    std::string Year;
    std::string Month;
};

// Removes leading and trailing bytes <= 0x20.
std::string Trim(std::string_view s);

// Upper-cases single-byte a-z only; bytes inside multi-byte characters stay.
std::string UpperCase(std::string_view s);

// Lenient reading: optional leading spaces, optional sign, decimal digits,
// or '$' / 'x' / 'X' / '0x' / '0X' hexadecimal; must fit a signed 32-bit
// integer; nothing after the last digit.  Returns false when not a whole
// number.
bool TryStrToInt(std::string_view s, int& value);
// Strict conversion: the same syntax; throws EConvertError otherwise.
int StrToInt(std::string_view s);

// Year-month display: 6 bytes -> "YYYY.MM", 5 bytes -> "YYYY.M" (after
// trimming); anything else is returned unchanged, untrimmed.
std::string FormatYearMonth(std::string_view s);

// Reads YYYYMM or YYYY.MM and moves it by `direction` months (-1, 0, +1).
// Throws EConvertError for a piece that is not a whole number; returns false
// (record untouched) for a year outside 1901..2099 or a month outside 1..12.
bool ShiftYearMonth(std::string_view s, int direction, TPny& result);

// Case-insensitive search for the first occurrence of `pattern`; replaces
// it with the upper-cased `replacement`.
std::string ReplaceFirst(std::string_view source, std::string_view pattern, std::string_view replacement);

// The left `count` bytes of `s`, never cutting a multi-byte character; when
// the cut would split one, the result is shorter and `count` is reduced to
// the length taken.
std::string CopyLeftDbcs(std::string_view s, int& count);

}  // namespace vdmq
