#pragma once
// Small operations on texts and on year-month texts that the declaration
// filler uses.  Texts are Unicode; where the form counts, it counts the
// bytes a text takes in GB18030 (a Chinese character two), positions from 1.
#include "platform/gbtext.h"

#include <QString>
#include <QStringView>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vdmq {

// The run-time conversion error: what() is exactly
// "'<text>' is not a valid integer value".
class EConvertError : public GbError {
public:
    explicit EConvertError(const QString& text);
    // The text as GB18030 bytes, for the callers that still hold such.
    explicit EConvertError(const std::string& textGb) : EConvertError(fromGb(textGb)) {}
    const QString& text() const { return text_; }
private:
    QString text_;
};

// A year-month: the year in decimal without leading zeros, the month in two
// digits.  A fresh record holds two empty texts.
struct TPny {
    QString Year;
    QString Month;
};

// Removes leading and trailing characters up to U+0020 (blanks and
// controls).
QString Trim(const QString& s);

// Upper-cases the letters a-z only.
QString UpperCase(const QString& s);

// Lenient reading: optional leading spaces, optional sign, decimal digits,
// or '$' / 'x' / 'X' / '0x' / '0X' hexadecimal; must fit a signed 32-bit
// integer; nothing after the last digit.  Returns false when not a whole
// number.
bool TryStrToInt(QStringView s, int& value);
// Strict conversion: the same syntax; throws EConvertError otherwise.
int StrToInt(const QString& s);

// Year-month display: a text of 6 GB18030 bytes after trimming becomes its
// bytes 1-4, ".", bytes 5-6; one of 5 bytes its bytes 1-4, ".", byte 5;
// anything else is returned unchanged, untrimmed.  Only the length counts,
// so the point may fall inside a character: its two halves then print as
// U+FFFD each, as the form has always printed them.
QString FormatYearMonth(const QString& s);

// Reads YYYYMM or YYYY.MM (byte positions in GB18030) and moves it by
// `direction` months (-1, 0, +1).  Throws EConvertError for a piece that is
// not a whole number, naming it in whole characters; returns false (record
// untouched) for a year outside 1901..2099 or a month outside 1..12.
bool ShiftYearMonth(const QString& s, int direction, TPny& result);
// ShiftYearMonth of FormatYearMonth(cell), read on the bytes the display
// makes, halves of a character it cuts included (where the display's text
// holds U+FFFD for them): what the form reads the month of effect from.
bool ShiftShownYearMonth(const QString& cell, int direction, TPny& result);

// Case-insensitive (a-z) search for the first occurrence of `pattern`;
// replaces it with the upper-cased `replacement`.
QString ReplaceFirst(const QString& source, const QString& pattern, const QString& replacement);

// The left `count` bytes (GB18030) of `s`, never cutting a character; when
// the cut would split one, the result is shorter and `count` is reduced to
// the bytes taken.
QString CopyLeftDbcs(const QString& s, int& count);

// ---- byte strings, for the callers that still hold GB18030 ------------------
std::string Trim(const std::string& s);
int StrToInt(const std::string& s);

}  // namespace vdmq
