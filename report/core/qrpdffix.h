#pragma once
// Internal: mends the text mapping of PDF files that Qt writes.
#include <QString>

namespace qr::detail {

// Qt maps each glyph back to the lowest code point that shows it.  The CJK
// faces draw a Kangxi radical (U+2F2F "⼯") and the ideograph (U+5DE5 "工")
// with one glyph, and a tab with the space glyph, so a search for "工资"
// would miss and copied text would carry radicals.  Rewrites those entries
// of every ToUnicode map in place (same length, so no offset moves).
// Returns false when the file cannot be read or written.
bool mendPdfTextMapping(const QString& fileName);

}  // namespace qr::detail
