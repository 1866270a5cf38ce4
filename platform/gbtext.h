#pragma once
// Every text of the system is a byte string in GB18030 (a superset of GBK
// that is byte-for-byte GBK for every GBK character).  Lengths, widths and
// positions count bytes.  Unicode appears only at the edges: Qt, files,
// JSON.  This is the one place that converts between the two.
#include <QString>
#include <string>
#include <string_view>

namespace vdmq {

// GB18030 bytes <-> Unicode.  GB18030 covers all of Unicode, so nothing is
// ever replaced; a malformed byte sequence on the way in becomes U+FFFD.
std::string toGb(const QString& text);
QString fromGb(std::string_view gb);

std::string gbFromUtf8(std::string_view utf8);
// Shorthand for system texts written as UTF-8 literals in the source.
inline std::string gb(std::string_view utf8) { return gbFromUtf8(utf8); }
std::string utf8FromGb(std::string_view gb);

// Other code pages (BIFF5 CODEPAGE records): bytes in that code page to
// UTF-8.  `codepage` is a Windows code page number (936, 1252, ...).
// Throws std::runtime_error for an unknown code page.
std::string utf8FromCodepage(std::string_view bytes, int codepage);

// Length in bytes of the character that starts at `s[i]` (1, 2 or 4),
// clipped to what is left of the string.
std::size_t gbCharLength(std::string_view s, std::size_t i);

}  // namespace vdmq
