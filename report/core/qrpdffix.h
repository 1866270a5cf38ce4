#pragma once
// Internal: mends the text mapping of PDF files that Qt writes.
#include <QByteArray>
#include <QGlyphRun>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qr::detail {

class MeasuredFont;

// What each glyph drawn into one PDF document stands for.  Qt's PDF writer
// numbers the glyphs of each embedded face in the order they are first
// drawn, and writes the face's text map by looking each glyph up in the
// face's character map: only up to U+FFFF (so 𠀀 U+20000 reads back as
// nothing or U+FFFD), never a glyph the face substitutes (Noto CJK sets
// the digits of "200a" with glyphs of their own), and for a glyph several
// characters share, the lowest (⻓ for 长, 不 U+4E0D for 不 U+F967).  The
// log numbers the glyphs the same way while the pages are drawn, from the
// texts the layout measured, and the text-map filter writes each face's
// map from it.
class PdfGlyphLog {
public:
    PdfGlyphLog();
    ~PdfGlyphLog();
    PdfGlyphLog(const PdfGlyphLog&) = delete;
    PdfGlyphLog& operator=(const PdfGlyphLog&) = delete;

    // Notes that the glyphs of `run` stand for `texts` (one per glyph; null
    // when unknown) and returns the runs to draw instead of `run`: none
    // (draw `run`), unless one of its glyphs already stands for another
    // text in this document (a glyph two characters share, both printed).
    // Such a glyph is drawn from a twin of its face, one of the same
    // collection with the same outlines under another name, so that each
    // keeps its own text.
    QList<QGlyphRun> Draw(const QGlyphRun& run, const std::u32string* texts);

    // A text of a font as the document has drawn it: glyphTexts(mf, text),
    // and whether the log has its glyphs already, each in its own face (the
    // text is drawn as measured, without a look at the log).
    struct Text {
        std::vector<std::u32string> glyphTexts;
        bool logged = false;
    };
    Text& TextOf(MeasuredFont& mf, const QString& text);

    // The whole text map (the stream's content) for the embedded face named
    // `baseFont` (its /BaseFont), in place of `qtMap`, Qt's own: empty when
    // the log does not know the face or its numbering differs from Qt's.
    QByteArray TextMap(const QByteArray& baseFont, const QByteArray& qtMap) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Qt maps each glyph back to the lowest code point that shows it.  The CJK
// faces draw a Kangxi radical (U+2F2F "⼯") and the ideograph (U+5DE5 "工")
// with one glyph, likewise radicals of the supplement (U+2ED3 "⻓" and
// U+957F "长", "⻢" and "马"), and a tab with the space glyph, so a search
// for "工资" or "校长" would miss and copied text would carry radicals.  Rewrites those entries
// of every ToUnicode map in place (same length, so no offset moves).
// Returns false when the file cannot be read or written.  With `log`
// (what the glyphs drawn into the file stand for), each map is written anew
// from the log as PdfTextMapFilter does, and the file rewritten whole.
bool mendPdfTextMapping(const QString& fileName, const PdfGlyphLog* log = nullptr);

// The same mending on the bytes of a PDF as they are written: Write()
// takes the bytes in any pieces, and passes on to `sink` everything that
// can no longer belong to a map still to come; Finish() passes on the
// rest.  A map is held back only from its "begincmap" to its "endcmap".
// Both return false as soon as the sink has refused bytes.
//
// With a glyph log, each map is written anew from the log instead (its
// length changes, so the stream's /Length and the cross-reference table
// are written to match); a map the log cannot give is mended as above.
class PdfTextMapFilter {
public:
    using Sink = std::function<bool(const char* data, qsizetype size)>;
    explicit PdfTextMapFilter(Sink sink, const PdfGlyphLog* log = nullptr) : sink_(std::move(sink)), log_(log) {}
    bool Write(const char* data, qsizetype size);
    bool Finish();
private:
    bool pump(bool all);
    bool rewriteMap(qsizetype mapBegin, qsizetype mapEnd);
    void noteBaseFont(qsizetype from, qsizetype to);
    void fixCrossReferences(qsizetype from);
    Sink sink_;
    const PdfGlyphLog* log_;
    QByteArray buf_;
    qsizetype scanned_ = 0;  // maps before this offset are mended
    // Rewriting maps: the face of the last CID font seen, the bytes passed
    // on so far, and for each rewritten map the original offset after it
    // with the change of length up to there.
    QByteArray baseFont_;
    qint64 written_ = 0;
    qint64 shift_ = 0;
    std::vector<std::pair<qint64, qint64>> shifts_;
    bool inTail_ = false;  // the cross-reference table has begun: held to the end
};

// Joins two documents that Qt wrote, drawn at the same time on two threads:
// to the first (at `firstPath`, `firstSize` bytes, complete), `sink`
// appends the objects of the second (renumbered after the first's) and a
// page list that takes the pages of both in the order `fromSecond` gives
// (for each page of the whole document, whether the second has it), as an
// update of the first with a cross-reference section of its own.  Each
// document keeps its own embedded fonts and their text maps, so the text
// of every page reads back as it was drawn.  False when a document is not
// as Qt writes it or the sink refused bytes.
using PdfSink = std::function<bool(const char* data, qsizetype size)>;
bool appendPdfPages(const QString& firstPath, const QString& secondPath, const std::vector<bool>& fromSecond,
                    const PdfSink& sink, qint64 firstSize);

// Which pages a PDF writer draws on its second thread: as the first keeps
// up (automatic), none, or every other page (for the tests).
enum class PdfSecondThread { Auto, Never, EveryOther };
void setPdfSecondThread(PdfSecondThread use);

// Whether a PDF file as Qt writes it ends as a complete document: its
// last "startxref" names the offset of an "xref" table and "%%EOF"
// follows.  A file cut short by a full disk or a size limit does not.
bool pdfLooksComplete(const QString& fileName);

}  // namespace qr::detail
