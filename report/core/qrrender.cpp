// Replaying a page's display list on any paint device.
#include "report/core/qr.h"
#include "report/core/qrrender.h"
#include "report/core/qrtext.h"

#include "platform/gbtext.h"

#include <QGlyphRun>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <unordered_map>
#include <cmath>
#include <vector>

namespace qr {

namespace detail {

namespace {

// Shaped texts for one device font.  A batch of forms repeats most of its
// texts on every page; shaping each once keeps PDF output fast.
struct ShapedFont {
    QFont font;
    const QPaintDevice* device = nullptr;   // shaping follows its resolution
    int dpiX = 0, dpiY = 0;
    std::unordered_map<std::string, QList<QGlyphRun>> runs;
};

ShapedFont& shapedFont(const QFont& font, const QPaintDevice* device)
{
    static std::vector<std::unique_ptr<ShapedFont>> fonts;
    const int dpiX = device ? device->logicalDpiX() : 0, dpiY = device ? device->logicalDpiY() : 0;
    for (auto& f : fonts)
        if (f->font == font && f->dpiX == dpiX && f->dpiY == dpiY) {
            f->device = device;
            return *f;
        }
    if (fonts.size() > 64)
        fonts.erase(fonts.begin());
    fonts.push_back(std::make_unique<ShapedFont>());
    fonts.back()->font = font;
    fonts.back()->device = device;
    fonts.back()->dpiX = dpiX;
    fonts.back()->dpiY = dpiY;
    return *fonts.back();
}

// Glyph runs of `text`, positioned with the baseline at y 0.
const QList<QGlyphRun>& shaped(ShapedFont& sf, const std::string& gbText)
{
    auto it = sf.runs.find(gbText);
    if (it != sf.runs.end())
        return it->second;
    if (sf.runs.size() > 5000)
        sf.runs.clear();
    QTextLayout layout(vdmq::fromGb(gbText), sf.font, const_cast<QPaintDevice*>(sf.device));
    QTextOption opt;
    opt.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(opt);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    QList<QGlyphRun> runs;
    if (line.isValid()) {
        runs = line.glyphRuns();
        const double ascent = line.ascent();
        for (QGlyphRun& r : runs) {
            QList<QPointF> pos = r.positions();
            for (QPointF& p : pos)
                p.ry() -= ascent;
            r.setPositions(pos);
        }
    }
    return sf.runs.emplace(gbText, std::move(runs)).first->second;
}

}  // namespace

void renderPage(QPainter& painter, const QRPageImage& page, const RenderOptions& opt)
{
    const double s = opt.pixelsPerTenth;
    const QPointF off = opt.offset;
    const QPaintDevice* dev = painter.device();
    const double dpiY = dev ? dev->logicalDpiY() : 96.0;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(Qt::black);

    auto devRect = [&](const QRectF& r) {
        QRectF d(off.x() + r.left() * s, off.y() + r.top() * s, r.width() * s, r.height() * s);
        if (!opt.snap)
            return d;
        // Whole device pixels, at least one: a 0.26 mm rule stays visible
        // at every zoom.
        const double x1 = std::round(d.left()), y1 = std::round(d.top());
        double x2 = std::round(d.right()), y2 = std::round(d.bottom());
        if (x2 <= x1)
            x2 = x1 + 1;
        if (y2 <= y1)
            y2 = y1 + 1;
        return QRectF(x1, y1, x2 - x1, y2 - y1);
    };

    // The few fonts of a page, scaled for this device once.
    struct DeviceFont {
        const TQRFont* design;
        QFont font;
        double ascent;
        ShapedFont* shaped;
    };
    std::vector<DeviceFont> fonts;
    auto deviceFont = [&](const TQRFont& f) -> const DeviceFont& {
        for (const auto& df : fonts)
            if (df.design->Size == f.Size && df.design->Bold == f.Bold
                && df.design->Italic == f.Italic && df.design->Underline == f.Underline
                && df.design->Name == f.Name)
                return df;
        MeasuredFont& mf = measured(f);
        QFont q = mf.font();
        // Points are physical: the font's size in device pixels follows the
        // scale asked for, whatever resolution the device claims.
        q.setPointSizeF(f.Size * 254.0 * s / dpiY);
        fonts.push_back({&f, q, mf.ascent(), &shapedFont(q, dev)});
        return fonts.back();
    };

    const QBrush white(Qt::white), black(Qt::black);
    for (const QRItem& item : page.items) {
        switch (item.kind) {
        case QRItem::Fill:
            painter.fillRect(devRect(item.rect), white);
            break;
        case QRItem::Rect: {
            const QRectF r = devRect(item.rect);
            const double pw = std::max(1, item.penWidth) * opt.penPixel;
            painter.fillRect(r, black);
            const QRectF inner = r.adjusted(pw, pw, -pw, -pw);
            if (inner.width() > 0 && inner.height() > 0)
                painter.fillRect(inner, white);
            break;
        }
        case QRItem::Text: {
            const DeviceFont& df = deviceFont(item.font);
            const QPointF at(off.x() + item.rect.left() * s,
                             off.y() + (item.rect.top() + df.ascent) * s);
            painter.translate(at);
            for (const QGlyphRun& run : shaped(*df.shaped, item.text))
                painter.drawGlyphRun(QPointF(0, 0), run);
            painter.translate(-at);
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
