// Layout elements, the page store and the preparation of a report.
#include "report/core/qr.h"
#include "report/core/qrtext.h"


#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace qr {

// ---- bands -------------------------------------------------------------------

namespace {
template <class T>
T* place(std::vector<std::unique_ptr<T>>& list, TQRBand* band, const std::string& name, double left, double top,
         double width, double height, int order)
{
    auto e = std::make_unique<T>();
    e->Name = name;
    e->Left = left;
    e->Top = top;
    e->Width = width;
    e->Height = height;
    e->Order = order;
    e->Parent = band;
    list.push_back(std::move(e));
    return list.back().get();
}
}  // namespace

TQRShape* TQRBand::AddShape(const std::string& name, double left, double top, double width, double height, int order,
                            int penWidth)
{
    TQRShape* s = place(Shapes, this, name, left, top, width, height, order);
    s->PenWidth = penWidth;
    return s;
}

TQRLabel* TQRBand::AddLabel(const std::string& name, double left, double top, double width, double height, int order)
{
    return place(Labels, this, name, left, top, width, height, order);
}

std::vector<TQRPrintable*> TQRBand::PaintOrder() const
{
    std::vector<TQRPrintable*> all;
    all.reserve(Shapes.size() + Labels.size());
    for (const auto& s : Shapes)
        all.push_back(s.get());
    for (const auto& l : Labels)
        all.push_back(l.get());
    std::stable_sort(all.begin(), all.end(),
                     [](const TQRPrintable* a, const TQRPrintable* b) { return a->Order < b->Order; });
    return all;
}

// ---- page set-up -------------------------------------------------------------

namespace {
void checkIndex(int index)
{
    if (index < 0 || index > TQRPage::ColumnSpace)
        throw std::out_of_range("page value index " + std::to_string(index) + " out of range");
}
}  // namespace

double TQRPage::Value(int index) const
{
    checkIndex(index);
    return tenths_[index] / unitsToTenths;
}

void TQRPage::SetValue(int index, double value)
{
    checkIndex(index);
    tenths_[index] = value * unitsToTenths;
}

// ---- print backend registry ----------------------------------------------------

namespace {
TQRPrintBackend* g_backend = nullptr;
}

void SetPrintBackend(TQRPrintBackend* backend) { g_backend = backend; }
TQRPrintBackend* PrintBackend() { return g_backend; }

// ---- the page store --------------------------------------------------------------

TQRPrinter::TQRPrinter(TCustomQuickRep* report) : report_(report) {}

TQRPrinter::~TQRPrinter() = default;

const QRPageImage& TQRPrinter::Page(int n) const
{
    if (n < 1 || n > PageCount())
        throw std::out_of_range("page " + std::to_string(n) + " not in the store (" + std::to_string(PageCount()) +
                                " pages)");
    return pages_[std::size_t(n - 1)];
}

void TQRPrinter::AddPage(QRPageImage page)
{
    pages_.push_back(std::move(page));
    const int count = PageCount();
    // Delivered from the event loop, so a preview sees the page only once the
    // preparation has returned control.
    QMetaObject::invokeMethod(
        this, [this, count] { emit PageAvailable(count); }, Qt::QueuedConnection);
}

void TQRPrinter::SetShown(bool shown)
{
    if (!shown && shown_ && status_ == mpBusy)
        cancelled_ = true;  // released while still being prepared
    shown_ = shown;
}

TCustomQuickRep* TQRPrinter::Report() const { return report_.data(); }

void TQRPrinter::Print()
{
    TQRPrintBackend* backend = PrintBackend();
    if (status_ != mpFinished || !backend || !backend->HasPrinter() || pages_.empty())
        return;
    TQRPrinterSettings settings = report_ ? report_->PrinterSettings : TQRPrinterSettings{};
    backend->PrintPages(*this, settings);
}

void TQRPrinter::PrintSetup()
{
    TQRPrintBackend* backend = PrintBackend();
    if (!backend || !backend->HasPrinter())
        return;
    if (report_) {
        backend->PrintSetup(report_->PrinterSettings, PageCount());
    } else {
        TQRPrinterSettings scratch;
        backend->PrintSetup(scratch, PageCount());
    }
}

void TQRPrinter::ExportToFilter(TQRExportFilter& filter)
{
    if (!report_)
        return;
    TCustomQuickRep* report = report_.data();
    auto run = [&] {
        TQRPrinter scratch(report);
        report->Prepare(scratch, &filter);
    };
    if (TQRPrintBackend* backend = PrintBackend(); backend && report->ShowProgress)
        backend->WithProgress(QStringLiteral("Exporting Progress"), run);
    else
        run();
}

// ---- export of a prepared page --------------------------------------------------

void ExportPage(TQRExportFilter& filter, const QRPageImage& page)
{
    filter.NewPage();
    for (const QRItem& item : page.items) {
        if (item.kind != QRItem::Text)
            continue;
        const double x = item.alignment == taRightJustify ? item.rect.right() : item.rect.left();
        filter.TextOut(x, item.rect.top(), item.font, QColor(Qt::white), item.alignment, item.text);
    }
    filter.EndPage();
}

// ---- the report ---------------------------------------------------------------------

TCustomQuickRep::TCustomQuickRep(QObject* parent) : QObject(parent) {}

TCustomQuickRep::~TCustomQuickRep()
{
    // A store outliving its report (held by a preview) must not call back.
    store_.reset();
}

TQRBand* TCustomQuickRep::AddBand(const std::string& name, TQRBandType type, double heightMm)
{
    auto b = std::make_unique<TQRBand>();
    b->Name = name;
    b->BandType = type;
    b->Height = heightMm;
    Bands.push_back(std::move(b));
    return Bands.back().get();
}

namespace {

// The engine works in tenths of a millimetre while it prepares; the design
// units come back however the preparation ends.
class NativeUnits {
public:
    explicit NativeUnits(TQRPage& page) : page_(page), saved_(page.unitsToTenths) { page_.unitsToTenths = 1; }
    ~NativeUnits() { page_.unitsToTenths = saved_; }
private:
    TQRPage& page_;
    double saved_;
};

// Width and length of the paper, tenths of a millimetre.
std::pair<double, double> paperOf(const TQRPage& page)
{
    double w = 2100, l = 2970;  // A4 unless the paper is custom
    if (page.CustomPaper) {
        w = page.Tenths(TQRPage::Width);
        l = page.Tenths(TQRPage::Length);
    }
    if (!page.Portrait)
        std::swap(w, l);
    return {w, l};
}

void placeBand(const TQRBand& band, double x, double y, double width, std::vector<QRItem>& items)
{
    QRItem fill;
    fill.kind = QRItem::Fill;
    fill.rect = QRectF(x, y, width, band.Height * 10);
    items.push_back(std::move(fill));
    for (TQRPrintable* p : band.PaintOrder()) {
        if (auto* label = dynamic_cast<TQRLabel*>(p)) {
            detail::layoutLabel(*label, x, y, items);
        } else if (auto* shape = dynamic_cast<TQRShape*>(p)) {
            QRItem r;
            r.kind = QRItem::Rect;
            r.rect = QRectF(x + shape->Left * 10, y + shape->Top * 10, shape->Width * 10, shape->Height * 10);
            r.penWidth = shape->PenWidth;
            items.push_back(std::move(r));
        }
    }
}

}  // namespace

void TCustomQuickRep::Prepare(TQRPrinter& store, TQRExportFilter* filter)
{
    NativeUnits units(Page);
    store.SetStatus(mpBusy);

    bool started = false, filterStarted = false;
    QRPageImage page;
    auto paper = [&] { return paperOf(Page); };
    auto beginPage = [&] {
        started = true;
        auto [w, l] = paper();
        page.width = w;
        page.length = l;
        page.items.reserve(400);
        for (const TQRBandPlace& p : FirstPageBands())
            placeBand(*p.band, p.x, p.y, p.width, page.items);
    };
    auto startFilter = [&] {
        if (filter && !filterStarted) {
            auto [w, l] = paper();
            filter->Start(w, l, Font);
            filterStarted = true;
        }
    };

    try {
        bool more = true;
        if (OnNeedData)
            OnNeedData(*this, more);
        while (more && !store.Cancelled()) {
            if (!started)
                beginPage();
            // The layout has no detail band: a record only feeds the labels.
            more = false;
            if (OnNeedData)
                OnNeedData(*this, more);
        }
        if (!started && PrintIfEmpty && !store.Cancelled())
            beginPage();
        startFilter();
        if (started && !store.Cancelled()) {
            if (filter)
                ExportPage(*filter, page);
            store.AddPage(std::move(page));
        }
        if (filter)
            filter->Finish();
    } catch (...) {
        store.SetStatus(mpFinished);
        throw;
    }
    store.SetStatus(mpFinished);
}

std::vector<TQRBandPlace> TCustomQuickRep::FirstPageBands() const
{
    const double w = paperOf(Page).first;
    const double x = Page.Tenths(TQRPage::LeftMargin);
    double y = Page.Tenths(TQRPage::TopMargin);
    const double bandWidth = w - x - Page.Tenths(TQRPage::RightMargin);
    std::vector<TQRBandPlace> out;
    auto place = [&](TQRBandType type) {
        for (const auto& band : Bands) {
            if (band->BandType != type)
                continue;
            out.push_back({band.get(), x, y, bandWidth});
            y += std::round(band->Height * 10);
        }
    };
    if (FirstPageHeader)
        place(rbPageHeader);
    place(rbColumnHeader);
    return out;
}

std::vector<QRItem> LayOutLabel(const TQRLabel& label, double bandX, double bandY)
{
    std::vector<QRItem> items;
    detail::layoutLabel(label, bandX, bandY, items);
    return items;
}

std::shared_ptr<TQRPrinter> TCustomQuickRep::PrepareNew()
{
    auto store = std::make_shared<TQRPrinter>(this);
    store->Title = ReportTitle;
    store_ = store;
    Prepare(*store);
    return store;
}

void TCustomQuickRep::Print()
{
    TQRPrintBackend* backend = PrintBackend();
    if (!backend || !backend->HasPrinter())
        return;  // no printer: nothing prepared, nothing reported
    auto store = std::make_shared<TQRPrinter>(this);
    store->Title = ReportTitle;
    store_ = store;
    const TQRPrinterSettings settings = PrinterSettings;
    auto run = [&] {
        Prepare(*store);
        if (store->PageCount() > 0)
            backend->PrintPages(*store, settings);
    };
    if (ShowProgress)
        backend->WithProgress(QStringLiteral("Printing progress"), run);
    else
        run();
}

void TCustomQuickRep::Preview()
{
    auto store = std::make_shared<TQRPrinter>(this);
    store->Title = ReportTitle;
    store_ = store;
    QPointer<TCustomQuickRep> self(this);
    if (OnPreview)
        OnPreview(*store);
    if (!self)
        return;
    // The preview (shown by the hook) goes on showing the store; its pages
    // reach it from the event loop.
    Prepare(*store);
}

}  // namespace qr
