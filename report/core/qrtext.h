#pragma once
// Text measurement for the engine.  Everything is measured in tenths of a
// millimetre against a high-resolution image, so the layout of a page never
// depends on the screen it happens to be prepared on.
#include "report/core/qr.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QList>
#include <QRawFont>
#include <QString>
#include <string>
#include <unordered_map>
#include <vector>

namespace qr::detail {

// One resolved font with its metrics and a cache of measured texts.
class MeasuredFont {
public:
    explicit MeasuredFont(const TQRFont& font);
    const QFont& font() const { return font_; }
    double lineHeight() const { return height_; }  // height of "W", tenths
    double ascent() const { return ascent_; }      // tenths
    double width(const QString& text);             // tenths

    // The glyphs of `text` as the measuring device shapes them: positions
    // in its pixels (kPxToTenths tenths each), the baseline at y 0, no
    // decorations.  Every device draws these same glyphs at these same
    // places, scaled, so a text is exactly as wide everywhere as the layout
    // measured it.  The reference stays valid until the next call of
    // glyphRuns() or width().
    const QList<QGlyphRun>& glyphRuns(const QString& text);

    // The same two answers straight from Qt's text layout at the measuring
    // size, bypassing the glyph cache below: what width() and glyphRuns()
    // must equal (for the tests).
    double widthByLayout(const QString& text) const;  // pixels
    QList<QGlyphRun> glyphRunsByLayout(const QString& text) const;
private:
    // A text shaped once: its glyph runs (when asked for) and its width in
    // pixels of the measuring device.
    struct Shaped {
        QList<QGlyphRun> runs;
        double width = 0;
    };
    // One face that drew a text: as the shaping size has it, and at the
    // measuring size with the advances of its glyphs there.
    struct Face {
        QRawFont shaping, measuring;
        std::unordered_map<quint32, double> advances;
    };
    bool shapeFast(const QString& text, bool wantRuns, Shaped& out);
    void learnFaces(const QString& text);
    Face* faceOf(const QRawFont& shapingFace);
    double advance(Face& face, quint32 glyph);
    const QList<QGlyphRun>& keepRuns(const QString& text, QList<QGlyphRun> runs);

    QFont font_;
    // The font resolved once for each device, so that a layout finds its
    // faces without looking them up again.
    QFont measuringFont_, shapingFont_;
    QFontMetricsF fm_;
    double height_ = 0, ascent_ = 0;
    std::unordered_map<QString, double> widths_;
    std::unordered_map<QString, QList<QGlyphRun>> runs_;
    std::vector<Face> faces_;
    static constexpr int kMaxLearnFailures = 16;
    int learnFailures_ = 0;
};

// What each glyph of mf.glyphRuns(text) stands for, run after run and
// glyph after glyph: the characters it draws (several for a ligature;
// none for the second glyph of a character drawn with two).
std::vector<std::u32string> glyphTexts(MeasuredFont& mf, const QString& text);

// The shared measured font for a design font (created on first use).
MeasuredFont& measured(const TQRFont& font);

// A stable key for a design font (name, size, style).
std::string fontKey(const TQRFont& font);

// Pixels per inch of the measuring device: one pixel is a hundredth of a
// tenth of a millimetre.
constexpr double kMeasureDpi = 25400.0;

// Tenths of a millimetre per pixel of the measuring device.
constexpr double kPxToTenths = 254.0 / kMeasureDpi;

// One pixel at 96 dpi, in tenths of a millimetre.
constexpr double kScreenPixel = 254.0 / 96.0;

// Lays a label out at (x, y) (tenths, paper coordinates) into `items`: its
// white box, then one Text item per printed line.
void layoutLabel(const TQRLabel& label, double x, double y, std::vector<QRItem>& items);

// The lines of `caption` as `label` shows them, before the height rule
// (exposed for the layout code and its tests).
std::vector<QString> splitLines(const QString& caption);
std::vector<QString> wrapLine(MeasuredFont& mf, const QString& line, double boxWidth);

}  // namespace qr::detail
