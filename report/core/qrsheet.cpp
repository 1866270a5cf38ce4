// Pages on sheets: the sheet's size and what falls into a printer's border.
#include "report/core/qrsheet.h"

#include "report/core/qrtext.h"

#include <QGlyphRun>
#include <QRawFont>
#include <algorithm>

namespace qr {

QSizeF SheetSizeMm(const QRPageImage& page, const TQRPlacement& placement)
{
    if (placement.SheetMm.isValid() && !placement.SheetMm.isEmpty())
        return placement.SheetMm;
    return QSizeF(page.width / 10.0, page.length / 10.0);
}

QRectF InkRectMm(const QRItem& item)
{
    // A text item's box is its line: as wide as its text, placed by its
    // alignment already.
    if (item.kind == QRItem::Fill || (item.kind == QRItem::Text && item.text.isEmpty()))
        return {};
    return QRectF(item.rect.topLeft() / 10.0, item.rect.size() / 10.0);
}

namespace {

// The ink of `text` in `mf` relative to the start of its line on the
// baseline, in tenths of a millimetre.
QRectF inkOf(detail::MeasuredFont& mf, const QString& text)
{
    QRectF ink;
    for (const QGlyphRun& run : mf.glyphRuns(text)) {
        const QRawFont face = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> at = run.positions();
        for (qsizetype i = 0; i < glyphs.size() && i < at.size(); ++i) {
            const QRectF box = face.boundingRect(glyphs[i]);
            if (box.width() <= 0 || box.height() <= 0)
                continue;  // a blank: nothing drawn
            const QRectF r = box.translated(at[i]);
            const QRectF tenths(r.left() * detail::kPxToTenths, r.top() * detail::kPxToTenths,
                                r.width() * detail::kPxToTenths, r.height() * detail::kPxToTenths);
            ink = ink.isNull() ? tenths : ink.united(tenths);
        }
    }
    return ink;
}

}  // namespace

QRectF TextInk(const QRItem& item)
{
    if (item.kind != QRItem::Text || item.text.isEmpty())
        return {};
    detail::MeasuredFont& mf = detail::measured(item.font);
    const QRectF ink = inkOf(mf, item.text);
    if (ink.isNull())
        return {};
    return ink.translated(item.rect.left(), item.rect.top() + mf.ascent());
}

bool HasInk(const TQRFont& font, const QString& text)
{
    // A letter, digit, mark or symbol draws something (a character the
    // faces lack draws a box); only blanks and invisible controls need the
    // glyphs asked.
    for (const QChar c : text) {
        const QChar::Category cat = c.category();
        if (!c.isSpace() && cat != QChar::Other_Control && cat != QChar::Other_Format)
            return true;
    }
    return !text.isEmpty() && !inkOf(detail::measured(font), text).isNull();
}

std::vector<TQRBorderLoss> BorderLosses(const QRPageImage& page, const TQRPlacement& placement,
                                        const QMarginsF& borderMm)
{
    const QSizeF sheet = SheetSizeMm(page, placement);
    const QRectF printable(borderMm.left(), borderMm.top(), sheet.width() - borderMm.left() - borderMm.right(),
                           sheet.height() - borderMm.top() - borderMm.bottom());
    // Rules are measured to a hundredth of a millimetre; nothing finer is
    // a loss anyone could see.  A text's line box is its characters'
    // advance, and their ink sits a little inside it.
    constexpr double ruleEps = 0.005, textEps = 0.25;
    std::vector<TQRBorderLoss> out;
    for (const QRItem& item : page.items) {
        const QRectF ink = InkRectMm(item).translated(placement.ShiftMm);
        if (ink.isNull())
            continue;
        const double eps = item.kind == QRItem::Text ? textEps : ruleEps;
        TQRBorderLoss loss;
        const double cuts[4] = {printable.left() - ink.left(), printable.top() - ink.top(),
                                ink.right() - printable.right(), ink.bottom() - printable.bottom()};
        const int bits[4] = {sdLeft, sdTop, sdRight, sdBottom};
        for (int i = 0; i < 4; ++i) {
            if (cuts[i] > eps) {
                loss.sides |= bits[i];
                loss.cutMm = std::max(loss.cutMm, std::min(cuts[i], i % 2 ? ink.height() : ink.width()));
            }
        }
        if (!loss.sides)
            continue;
        loss.item = &item;
        loss.inkMm = ink;
        const QRectF kept = ink.intersected(printable);
        loss.whole = kept.width() <= eps || kept.height() <= eps;
        out.push_back(loss);
    }
    return out;
}

}  // namespace qr
