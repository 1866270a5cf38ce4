#pragma once
// The report engine's preview control: a scroll box that shows one page of
// a page store at a zoom, centred while it is smaller than the view.
//
// The control holds its store while it shows it and marks it shown;
// releasing the store (a new store, nullptr, or destroying the control)
// clears the mark, and a store released while it is still being prepared
// is cancelled.
#include "report/core/qr.h"

#include <QScrollArea>
#include <memory>

namespace qr {

class TQRPreview : public QScrollArea {
    Q_OBJECT
public:
    explicit TQRPreview(QWidget* parent = nullptr);
    ~TQRPreview() override;

    // Releases the previous store, marks `store` shown and shows its page 1.
    void setQRPrinter(std::shared_ptr<TQRPrinter> store);
    std::shared_ptr<TQRPrinter> QRPrinter() const { return store_; }

    // From 1.  Ignored when n < 1, n > PageCount or no store is attached;
    // otherwise page n is shown scrolled to its top-left corner.
    int PageNumber() const { return page_; }
    void setPageNumber(int n);

    // Percent.  Taken only for 2 to 2000; leaves the control in qrZoomOther.
    int Zoom() const { return zoom_; }
    void setZoom(int z);
    // The whole page in the view (95 % of the tighter side).
    void ZoomToFit();
    // The page's width in 90 % of the view's width.
    void ZoomToWidth();
    TQRZoomState ZoomState() const { return state_; }

    // Page size in device-independent screen pixels at 100 %: the page's
    // physical size on this screen.  The size of the page shown, or of an A4
    // sheet while no page is there.
    QSizeF PageSize100() const;
    // Screen pixels per tenth of a millimetre at the current zoom.
    double PixelsPerTenth() const;

    static constexpr int MinZoom = 2;
    static constexpr int MaxZoom = 2000;

signals:
    // Raised after each page notice of the attached store, with the number
    // of pages available.
    void PageAvailable(int pageCount);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class PageWidget;
    void release();
    void onStorePageAvailable(int pageCount);
    const QRPageImage* shownPage() const;
    void applyZoom(int z, TQRZoomState state);
    void relayout();
    int fitZoom() const;
    int widthZoom() const;

    std::shared_ptr<TQRPrinter> store_;
    QMetaObject::Connection noticeConnection_;
    PageWidget* pageWidget_ = nullptr;
    int page_ = 1;
    int zoom_ = 100;
    TQRZoomState state_ = qrZoomOther;
    QSizeF laidOutPage_;  // page size (tenths) the current layout was made for
};

}  // namespace qr
