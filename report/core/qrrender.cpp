// Replaying a page's display list on any paint device.
#include "report/core/qrrender.h"
#include "report/core/qr.h"
#include "report/core/qrpdffix.h"
#include "report/core/qrtext.h"

#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainter>
#include <QRawFont>
#include <cmath>
#include <vector>

namespace qr {

namespace detail {

namespace {

// One page on one painter: rules snapped to the device's pixels where the
// device has pixels, texts from the measured glyphs.
class PageRenderer {
public:
    PageRenderer(QPainter& painter, const RenderOptions& opt)
        : painter_(painter),
          s_(opt.pixelsPerTenth),
          off_(opt.offset),
          penPixel_(opt.penPixel),
          // Snapping works on the device's own pixels: a painter on a screen
          // of device pixel ratio 2 (or an image of one) scales by 2 first.
          toDevice_(painter.deviceTransform()),
          canSnap_(opt.snap && toDevice_.type() <= QTransform::TxScale),
          fromDevice_(canSnap_ ? toDevice_.inverted() : QTransform()),
          // Texts are drawn from the glyphs the layout measured, scaled from
          // the measuring device to this one.  A font asked for at this
          // device's size would be set in whole pixels (9.6 becomes 10 at
          // 72 %), and a line measured to fit its box would run over the
          // next rule.
          glyphScale_(s_ * kPxToTenths),
          glyphLog_(opt.glyphLog),
          // A painter on a PDF emulates fillRect by setting the pen and brush
          // and putting them back: each fill wrote the colour and graphics
          // state again.  There the renderer keeps no pen and the fill's
          // colour as brush, so a run of black rules states its colour once;
          // the fills themselves are the same rectangles in the same order.
          keepFillState_(painter.paintEngine() != nullptr && painter.paintEngine()->type() == QPaintEngine::Pdf)
    {
    }

    void Render(const QRPageImage& page)
    {
        painter_.save();
        painter_.setRenderHint(QPainter::Antialiasing, false);
        painter_.setRenderHint(QPainter::TextAntialiasing, true);
        painter_.setPen(Qt::black);
        base_ = painter_.transform();
        for (const QRItem& item : page.items) {
            switch (item.kind) {
            case QRItem::Fill: fill(devRect(item.rect), Qt::white); break;
            case QRItem::Rect: outline(item.rect, std::max(1, item.penWidth) * penPixel_); break;
            case QRItem::Text: text(item); break;
            }
        }
        painter_.restore();
    }

private:
    // Rounds a device rectangle to whole device pixels, at least one each
    // way, so a 0.26 mm rule stays visible at every zoom.
    static QRectF snapDevice(QRectF d)
    {
        const double x1 = std::round(d.left()), y1 = std::round(d.top());
        double x2 = std::round(d.right()), y2 = std::round(d.bottom());
        if (x2 <= x1)
            x2 = x1 + 1;
        if (y2 <= y1)
            y2 = y1 + 1;
        return QRectF(x1, y1, x2 - x1, y2 - y1);
    }

    QRectF devRect(const QRectF& r) const
    {
        const QRectF d(off_.x() + r.left() * s_, off_.y() + r.top() * s_, r.width() * s_, r.height() * s_);
        return canSnap_ ? fromDevice_.mapRect(snapDevice(toDevice_.mapRect(d))) : d;
    }

    // An outlined rectangle: black, then white inside the outline `pen`
    // (painter units) wide.
    void outline(const QRectF& r, double pen)
    {
        QRectF outer = devRect(r), inner;
        if (canSnap_) {
            const QRectF d = toDevice_.mapRect(outer);
            const double p = std::max(1.0, std::round(pen * std::abs(toDevice_.m11())));
            const double q = std::max(1.0, std::round(pen * std::abs(toDevice_.m22())));
            inner = d.adjusted(p, q, -p, -q);
            // (mapRect would turn an empty inside into a positive one)
            inner = inner.width() > 0 && inner.height() > 0 ? fromDevice_.mapRect(inner) : QRectF();
        } else {
            inner = outer.adjusted(pen, pen, -pen, -pen);
        }
        fill(outer, Qt::black);
        if (inner.width() > 0 && inner.height() > 0)
            fill(inner, Qt::white);
    }

    void fill(const QRectF& r, Qt::GlobalColor colour)
    {
        if (!keepFillState_) {
            painter_.fillRect(r, colour);
            return;
        }
        if (penOn_) {
            painter_.setPen(Qt::NoPen);
            penOn_ = false;
        }
        if (brush_ != colour) {
            painter_.setBrush(colour);
            brush_ = colour;
        }
        painter_.drawRect(r);
    }

    // The few fonts of a page, looked up once per page.
    MeasuredFont& fontOf(const TQRFont& f)
    {
        for (const auto& pf : fonts_)
            if (pf.design->Size == f.Size && pf.design->Bold == f.Bold && pf.design->Italic == f.Italic &&
                pf.design->Underline == f.Underline && pf.design->Name == f.Name)
                return *pf.measured;
        fonts_.push_back({&f, &measured(f)});
        return *fonts_.back().measured;
    }

    void text(const QRItem& item)
    {
        MeasuredFont& mf = fontOf(item.font);
        const QList<QGlyphRun>& runs = mf.glyphRuns(item.text);
        if (runs.isEmpty())
            return;
        if (keepFillState_) {
            // Text is drawn with the pen; a brush would be written out
            // again with the text's transformation.
            if (!penOn_) {
                painter_.setPen(Qt::black);
                penOn_ = true;
            }
            if (brush_ != Qt::transparent) {
                painter_.setBrush(Qt::NoBrush);
                brush_ = Qt::transparent;
            }
        }
        const double baseline = item.rect.top() + mf.ascent();  // tenths
        QTransform t = base_;
        t.translate(off_.x() + item.rect.left() * s_, off_.y() + baseline * s_);
        t.scale(glyphScale_, glyphScale_);
        painter_.setTransform(t);
        if (glyphLog_)
            logAndDraw(mf, item.text, runs);
        else
            for (const QGlyphRun& run : runs)
                painter_.drawGlyphRun(QPointF(0, 0), run);
        painter_.setTransform(base_);
        if (item.font.Underline) {
            // A rule of its own: the face that draws the text gives its
            // place and thickness (for the title, the CJK face behind
            // "Arial"), the measured text its length.
            const QRawFont face = runs.front().rawFont();
            const double at = baseline + face.underlinePosition() * kPxToTenths;
            const double thickness = face.lineThickness() * kPxToTenths;
            fill(devRect(QRectF(item.rect.left(), at - thickness / 2, item.rect.width(), thickness)), Qt::black);
        }
    }

    // The runs of a PDF page, with what each glyph stands for.
    void logAndDraw(MeasuredFont& mf, const QString& text, const QList<QGlyphRun>& runs)
    {
        PdfGlyphLog::Text& logged = glyphLog_->TextOf(mf, text);
        if (logged.logged) {
            for (const QGlyphRun& run : runs)
                painter_.drawGlyphRun(QPointF(0, 0), run);
            return;
        }
        const std::vector<std::u32string>& texts = logged.glyphTexts;
        std::size_t k = 0;
        bool asMeasured = true;
        for (const QGlyphRun& run : runs) {
            const auto n = std::size_t(run.glyphIndexes().size());
            const std::u32string* own = k + n <= texts.size() ? texts.data() + k : nullptr;
            const QList<QGlyphRun> parts = glyphLog_->Draw(run, own);
            if (parts.isEmpty())
                painter_.drawGlyphRun(QPointF(0, 0), run);
            for (const QGlyphRun& part : parts)
                painter_.drawGlyphRun(QPointF(0, 0), part);
            asMeasured = asMeasured && parts.isEmpty();
            k += n;
        }
        logged.logged = asMeasured;
    }

    struct PageFont {
        const TQRFont* design;
        MeasuredFont* measured;
    };

    QPainter& painter_;
    const double s_;
    const QPointF off_;
    const double penPixel_;
    const QTransform toDevice_;
    const bool canSnap_;
    const QTransform fromDevice_;
    const double glyphScale_;
    PdfGlyphLog* const glyphLog_;
    const bool keepFillState_;
    bool penOn_ = true;                        // the painter's pen is black
    Qt::GlobalColor brush_ = Qt::transparent;  // no brush
    QTransform base_;
    std::vector<PageFont> fonts_;
};

}  // namespace

void renderPage(QPainter& painter, const QRPageImage& page, const RenderOptions& opt)
{
    PageRenderer(painter, opt).Render(page);
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
