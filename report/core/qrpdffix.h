#pragma once
// Internal: mends the text mapping of PDF files that Qt writes.
#include <QByteArray>
#include <QString>
#include <functional>

namespace qr::detail {

// Qt maps each glyph back to the lowest code point that shows it.  The CJK
// faces draw a Kangxi radical (U+2F2F "⼯") and the ideograph (U+5DE5 "工")
// with one glyph, likewise radicals of the supplement (U+2ED3 "⻓" and
// U+957F "长", "⻢" and "马"), and a tab with the space glyph, so a search
// for "工资" or "校长" would miss and copied text would carry radicals.  Rewrites those entries
// of every ToUnicode map in place (same length, so no offset moves).
// Returns false when the file cannot be read or written.
bool mendPdfTextMapping(const QString& fileName);

// The same mending on the bytes of a PDF as they are written: Write()
// takes the bytes in any pieces, and passes on to `sink` everything that
// can no longer belong to a map still to come; Finish() passes on the
// rest.  A map is held back only from its "begincmap" to its "endcmap".
// Both return false as soon as the sink has refused bytes.
class PdfTextMapFilter {
public:
    using Sink = std::function<bool(const char* data, qsizetype size)>;
    explicit PdfTextMapFilter(Sink sink) : sink_(std::move(sink)) {}
    bool Write(const char* data, qsizetype size);
    bool Finish();
private:
    bool pump(bool all);
    Sink sink_;
    QByteArray buf_;
    qsizetype scanned_ = 0;  // maps before this offset are mended
};

// Whether a PDF file as Qt writes it ends as a complete document: its
// last "startxref" names the offset of an "xref" table and "%%EOF"
// follows.  A file cut short by a full disk or a size limit does not.
bool pdfLooksComplete(const QString& fileName);

}  // namespace qr::detail
