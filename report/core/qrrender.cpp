// Replaying a page's display list on any paint device.
#include "report/core/qr.h"
#include "report/core/qrrender.h"
#include "report/core/qrtext.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <cmath>
#include <vector>

namespace qr {

namespace detail {

void renderPage(QPainter& painter, const QRPageImage& page, const RenderOptions& opt)
{
    const double s = opt.pixelsPerTenth;
    const QPointF off = opt.offset;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(Qt::black);

    // Snapping works on the device's own pixels: a painter on a screen of
    // device pixel ratio 2 (or an image of one) scales by 2 first.
    const QTransform toDevice = painter.deviceTransform();
    const bool canSnap = opt.snap && toDevice.type() <= QTransform::TxScale;
    const QTransform fromDevice = canSnap ? toDevice.inverted() : QTransform();
    // Rounds a device rectangle to whole device pixels, at least one each
    // way, so a 0.26 mm rule stays visible at every zoom.
    auto snapDevice = [](QRectF d) {
        const double x1 = std::round(d.left()), y1 = std::round(d.top());
        double x2 = std::round(d.right()), y2 = std::round(d.bottom());
        if (x2 <= x1)
            x2 = x1 + 1;
        if (y2 <= y1)
            y2 = y1 + 1;
        return QRectF(x1, y1, x2 - x1, y2 - y1);
    };
    auto devRect = [&](const QRectF& r) {
        const QRectF d(off.x() + r.left() * s, off.y() + r.top() * s, r.width() * s, r.height() * s);
        return canSnap ? fromDevice.mapRect(snapDevice(toDevice.mapRect(d))) : d;
    };
    // An outlined rectangle: black, then white inside the outline `pen`
    // (painter units) wide.
    auto outline = [&](const QRectF& r, double pen) {
        QRectF outer = devRect(r), inner;
        if (canSnap) {
            const QRectF d = toDevice.mapRect(outer);
            const double p = std::max(1.0, std::round(pen * std::abs(toDevice.m11())));
            const double q = std::max(1.0, std::round(pen * std::abs(toDevice.m22())));
            inner = d.adjusted(p, q, -p, -q);
            // (mapRect would turn an empty inside into a positive one)
            inner = inner.width() > 0 && inner.height() > 0 ? fromDevice.mapRect(inner) : QRectF();
        } else {
            inner = outer.adjusted(pen, pen, -pen, -pen);
        }
        painter.fillRect(outer, Qt::black);
        if (inner.width() > 0 && inner.height() > 0)
            painter.fillRect(inner, Qt::white);
    };

    // The few fonts of a page, looked up once per page.
    struct PageFont {
        const TQRFont* design;
        MeasuredFont* measured;
    };
    std::vector<PageFont> fonts;
    auto fontOf = [&](const TQRFont& f) -> MeasuredFont& {
        for (const auto& pf : fonts)
            if (pf.design->Size == f.Size && pf.design->Bold == f.Bold
                && pf.design->Italic == f.Italic && pf.design->Underline == f.Underline
                && pf.design->Name == f.Name)
                return *pf.measured;
        fonts.push_back({&f, &measured(f)});
        return *fonts.back().measured;
    };

    // Texts are drawn from the glyphs the layout measured, scaled from the
    // measuring device to this one.  A font asked for at this device's size
    // would be set in whole pixels (9.6 becomes 10 at 72 %), and a line
    // measured to fit its box would run over the next rule.
    const double glyphScale = s * kPxToTenths;
    const QTransform base = painter.transform();

    const QBrush white(Qt::white), black(Qt::black);
    for (const QRItem& item : page.items) {
        switch (item.kind) {
        case QRItem::Fill:
            painter.fillRect(devRect(item.rect), white);
            break;
        case QRItem::Rect:
            outline(item.rect, std::max(1, item.penWidth) * opt.penPixel);
            break;
        case QRItem::Text: {
            MeasuredFont& mf = fontOf(item.font);
            const QList<QGlyphRun>& runs = mf.glyphRuns(item.text);
            if (runs.isEmpty())
                break;
            const double baseline = item.rect.top() + mf.ascent();   // tenths
            QTransform t = base;
            t.translate(off.x() + item.rect.left() * s, off.y() + baseline * s);
            t.scale(glyphScale, glyphScale);
            painter.setTransform(t);
            for (const QGlyphRun& run : runs)
                painter.drawGlyphRun(QPointF(0, 0), run);
            painter.setTransform(base);
            if (item.font.Underline) {
                // A rule of its own: the face that draws the text gives its
                // place and thickness (for the title, the CJK face behind
                // "Arial"), the measured text its length.
                const QRawFont face = runs.front().rawFont();
                const double at = baseline + face.underlinePosition() * kPxToTenths;
                const double thickness = face.lineThickness() * kPxToTenths;
                painter.fillRect(devRect(QRectF(item.rect.left(), at - thickness / 2,
                                                item.rect.width(), thickness)),
                                 black);
            }
            break;
        }
        }
    }
    painter.restore();
}

}  // namespace detail

void RenderPage(QPainter& painter, const QRPageImage& page, double pixelsPerTenth, QPointF offset)
{
    detail::RenderOptions opt;
    opt.pixelsPerTenth = pixelsPerTenth;
    opt.offset = offset;
    detail::renderPage(painter, page, opt);
}

}  // namespace qr
