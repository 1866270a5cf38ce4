#include "report/ui/qrpreview.h"
#include "report/core/qrrender.h"
#include "report/core/qrtext.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace qr {

namespace {
// Shown (and used for fitting) while the store has no page yet.
constexpr double kA4Width = 2100, kA4Length = 2970;
constexpr double kTenthsPerInch = 254;
}  // namespace

// The page itself: exactly the page's size at the current zoom, painted
// from the store's display list on every expose, so that any zoom is sharp.
class TQRPreview::PageWidget : public QWidget {
public:
    explicit PageWidget(TQRPreview* owner) : QWidget(nullptr), owner_(owner) { setAttribute(Qt::WA_OpaquePaintEvent); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.fillRect(event->rect(), Qt::white);
        const QRPageImage* page = owner_->shownPage();
        if (!page)
            return;
        painter.setClipRect(event->rect());
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        // The PDF's picture, scaled: outlines are a 96th of an inch at any
        // zoom, as printed; rules snap to whole device pixels, so they stay
        // sharp and never vanish.
        detail::RenderOptions opt;
        opt.pixelsPerTenth = owner_->PixelsPerTenth();
        opt.penPixel = opt.pixelsPerTenth * detail::kScreenPixel;
        detail::renderPage(painter, *page, opt);
    }

private:
    TQRPreview* owner_;
};

TQRPreview::TQRPreview(QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Dark);
    setAlignment(Qt::AlignCenter);
    setWidgetResizable(false);
    // The page follows the thumb while it is dragged, not only on release.
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    pageWidget_ = new PageWidget(this);
    setWidget(pageWidget_);
    relayout();
}

TQRPreview::~TQRPreview() { release(); }

void TQRPreview::release()
{
    if (!store_)
        return;
    QObject::disconnect(noticeConnection_);
    std::shared_ptr<TQRPrinter> old = std::move(store_);
    store_.reset();
    // Nobody will look at the rest of the pages: stop a preparation that is
    // still running.
    if (old->Status() == mpBusy)
        old->Cancel();
    old->SetShown(false);
}

void TQRPreview::setQRPrinter(std::shared_ptr<TQRPrinter> store)
{
    if (store != store_) {
        release();
        store_ = std::move(store);
        if (store_) {
            noticeConnection_ =
                connect(store_.get(), &TQRPrinter::PageAvailable, this, &TQRPreview::onStorePageAvailable);
            store_->SetShown(true);
        }
    }
    page_ = 1;
    relayout();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    pageWidget_->update();
}

void TQRPreview::setPageNumber(int n)
{
    if (!store_ || n < 1 || n > store_->PageCount())
        return;
    page_ = n;
    relayout();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    pageWidget_->update();
}

void TQRPreview::setZoom(int z)
{
    if (z < MinZoom || z > MaxZoom)
        return;
    applyZoom(z, qrZoomOther);
}

void TQRPreview::ZoomToFit() { applyZoom(fitZoom(), qrZoomToFit); }

void TQRPreview::ZoomToWidth() { applyZoom(widthZoom(), qrZoomToWidth); }

const QRPageImage* TQRPreview::shownPage() const
{
    if (!store_ || page_ < 1 || page_ > store_->PageCount())
        return nullptr;
    return &store_->Page(page_);
}

QSizeF TQRPreview::PageSize100() const
{
    double w = kA4Width, h = kA4Length;
    if (const QRPageImage* page = shownPage(); page && page->width > 0 && page->length > 0) {
        w = page->width;
        h = page->length;
    }
    const double perTenthX = logicalDpiX() / kTenthsPerInch;
    const double perTenthY = logicalDpiY() / kTenthsPerInch;
    return {w * perTenthX, h * perTenthY};
}

double TQRPreview::PixelsPerTenth() const { return zoom_ / 100.0 * logicalDpiX() / kTenthsPerInch; }

int TQRPreview::fitZoom() const
{
    // A page fitted at 95 % needs no scroll bars, so the whole area counts.
    const QSize view = contentsRect().size();
    const QSizeF page = PageSize100();
    const long byWidth = std::lround(view.width() / page.width() * 95);
    const long byHeight = std::lround(view.height() / page.height() * 95);
    return int(std::clamp<long>(std::min(byWidth, byHeight), MinZoom, MaxZoom));
}

int TQRPreview::widthZoom() const
{
    const QSize view = contentsRect().size();
    const QSizeF page = PageSize100();
    auto zoomFor = [&](int width) {
        return int(std::clamp<long>(std::lround(width / page.width() * 90), MinZoom, MaxZoom));
    };
    int z = zoomFor(view.width());
    // A page that comes out taller than the view brings the vertical scroll
    // bar, which takes its width from the view: fit the width that is left,
    // or the page would run under the bar and need a horizontal one too.
    if (page.height() * z / 100.0 > view.height())
        z = zoomFor(view.width() - verticalScrollBar()->sizeHint().width());
    return z;
}

void TQRPreview::applyZoom(int z, TQRZoomState state)
{
    state_ = state;
    if (z == zoom_)
        return;
    // Keep the point at the centre of the view where it was.
    const double hRel =
        horizontalScrollBar()->maximum() > 0
            ? (horizontalScrollBar()->value() + viewport()->width() / 2.0) / std::max(1, pageWidget_->width())
            : 0.5;
    const double vRel =
        verticalScrollBar()->maximum() > 0
            ? (verticalScrollBar()->value() + viewport()->height() / 2.0) / std::max(1, pageWidget_->height())
            : 0.0;
    zoom_ = z;
    relayout();
    horizontalScrollBar()->setValue(int(hRel * pageWidget_->width() - viewport()->width() / 2.0));
    verticalScrollBar()->setValue(int(vRel * pageWidget_->height() - viewport()->height() / 2.0));
    pageWidget_->update();
}

void TQRPreview::relayout()
{
    const QSizeF page = PageSize100();
    const QSize pixels(std::max(1, int(std::lround(page.width() * zoom_ / 100.0))),
                       std::max(1, int(std::lround(page.height() * zoom_ / 100.0))));
    if (pageWidget_->size() != pixels)
        pageWidget_->resize(pixels);
    const QRPageImage* shown = shownPage();
    laidOutPage_ = shown ? QSizeF(shown->width, shown->length) : QSizeF();
}

void TQRPreview::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    if (state_ == qrZoomToFit)
        applyZoom(fitZoom(), qrZoomToFit);
    else if (state_ == qrZoomToWidth)
        applyZoom(widthZoom(), qrZoomToWidth);
}

void TQRPreview::onStorePageAvailable(int pageCount)
{
    if (store_) {
        const QRPageImage* shown = shownPage();
        const QSizeF now = shown ? QSizeF(shown->width, shown->length) : QSizeF();
        if (now != laidOutPage_) {
            // The page shown has just arrived (or was the A4 stand-in): fit
            // it again for its real size.
            if (state_ == qrZoomToFit)
                applyZoom(fitZoom(), qrZoomToFit);
            else if (state_ == qrZoomToWidth)
                applyZoom(widthZoom(), qrZoomToWidth);
            relayout();
            pageWidget_->update();
        } else if (page_ == pageCount) {
            pageWidget_->update();
        }
    }
    emit PageAvailable(pageCount);
}

}  // namespace qr
