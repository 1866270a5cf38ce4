#pragma once
// Every text of the system is a byte string in GB18030 (a superset of GBK
// that is byte-for-byte GBK for every GBK character).  Lengths, widths and
// positions count bytes.  Unicode appears only at the edges: Qt, files,
// JSON.  This is the one place that converts between the two.
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <exception>
#include <limits>
#include <stdexcept>
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

// Where the form counts bytes (the opinion's line width, the left part of a
// text, the year-month display's five or six bytes, the first four bytes of
// the appointment), it counts the bytes a text takes in GB18030: one for
// ASCII, two for a character of GBK, four for any other.  This is that one
// measure: the whole characters of `text`, from its start, that take at most
// `maxBytes` bytes, and the bytes they take.  gbPrefix(text).bytes is the
// width of the whole text.
struct TGbPrefix {
    qsizetype chars = 0;  // UTF-16 code units of `text`
    qsizetype bytes = 0;
};
TGbPrefix gbPrefix(QStringView text, qsizetype maxBytes = std::numeric_limits<qsizetype>::max());

// Other code pages (BIFF5 CODEPAGE records): bytes in that code page to
// UTF-8.  `codepage` is a Windows code page number (936, 1252, ...).
// Throws std::runtime_error for an unknown code page.
std::string utf8FromCodepage(std::string_view bytes, int codepage);

// Length in bytes of the character that starts at `s[i]` (1, 2 or 4),
// clipped to what is left of the string.
std::size_t gbCharLength(std::string_view s, std::size_t i);

// A plain-text file from outside the program (the usage notes), by its own
// marks: UTF-16 with a byte-order mark, UTF-8 with or without one, else
// GB18030 (what Notepad on a Chinese system saves by default).
QString decodeTextFile(const QByteArray& bytes);

// ---- errors: the encoding of what() follows the type ----------------------
// An exception whose type carries the GbEncoded mark has a GB18030 what():
// the system's own messages ("'%s' is not a valid integer value", "Unable to
// write to %s", the settings file's, the print run's).  Every other
// exception's what() is UTF-8: the roster reader's reasons, the report
// engine's file and printer errors, the standard library's ASCII.  Text
// leaves an exception only through errorText (for Qt and the terminal) or
// errorTextGb (into the system's GB18030 texts), never by guessing.
class GbEncoded {
protected:
    GbEncoded() = default;
    GbEncoded(const GbEncoded&) = default;
    GbEncoded& operator=(const GbEncoded&) = default;
    ~GbEncoded() = default;
};

// A run-time error with a GB18030 message.
class GbError : public std::runtime_error, public GbEncoded {
public:
    explicit GbError(const std::string& messageGb) : std::runtime_error(messageGb) {}
};

// An error type of a UTF-8 layer thrown with a GB18030 message (the
// spreadsheet adapter's roster errors): caught as E, read as GB18030.
template <class E>
class GbEncodedError final : public E, public GbEncoded {
public:
    using E::E;
};

bool isGbEncoded(const std::exception& e);
QString errorText(const std::exception& e);
std::string errorTextGb(const std::exception& e);
// The same for an error caught as `catch (...)`; "未知错误" for one that
// is not a std::exception.
QString errorText(const std::exception_ptr& e);
// The same for an error caught as `catch (...)`; "未知错误" for one that
// is not a std::exception.
std::string errorTextGb(const std::exception_ptr& e);

}  // namespace vdmq
