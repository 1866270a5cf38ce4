// Preparation: need-data calls, units, band placement, paint order, the
// page store's notices and the painted page.
#include "report_helpers.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qrtest;

namespace {

struct NeedDataCase {
    const char* name;
    int records;  // how many times the handler answers "more"
    int expectedCalls;
    int expectedPages;
};

class NeedData : public ::testing::TestWithParam<NeedDataCase> {};

TEST_P(NeedData, CallsAndPages)
{
    const auto& c = GetParam();
    auto rep = oneBandReport();
    std::vector<bool> seen;
    rep->OnNeedData = [&](qr::TCustomQuickRep&, bool& more) {
        seen.push_back(more);
        if (c.records >= 0)
            more = int(seen.size()) <= c.records;
    };
    auto store = rep->PrepareNew();
    EXPECT_EQ(int(seen.size()), c.expectedCalls);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen[0]) << "MoreData is preset true for the first call";
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_FALSE(seen[i]) << "MoreData is preset false for call " << i + 1;
    EXPECT_EQ(store->PageCount(), c.expectedPages);
    EXPECT_EQ(store->Status(), qr::mpFinished);
}

INSTANTIATE_TEST_SUITE_P(Records, NeedData,
                         ::testing::Values(NeedDataCase{"HandlerNeverTouchesMoreData", -1, 2, 1},
                                           NeedDataCase{"NoRecords", 0, 1, 0}, NeedDataCase{"ThreeRecords", 3, 4, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Prepare, EmptyReportPrintsOnlyWhenAsked)
{
    auto rep = oneBandReport();
    rep->OnNeedData = [](qr::TCustomQuickRep&, bool& more) { more = false; };
    EXPECT_EQ(rep->PrepareNew()->PageCount(), 0);
    rep->PrintIfEmpty = true;
    EXPECT_EQ(rep->PrepareNew()->PageCount(), 1);
}

TEST(Prepare, NoHandlerGivesOnePage)
{
    auto rep = oneBandReport();
    EXPECT_EQ(rep->PrepareNew()->PageCount(), 1);
}

// The form's geometry: margins set from the need-data handler are tenths,
// the header band of 51 screen pixels (134.9375 tenths) advances y by 135.
TEST(Prepare, MarginsInTenthsAndBandPlacement)
{
    qr::TQuickRep rep;
    rep.Page.SetValue(qr::TQRPage::Width, 182);
    rep.Page.SetValue(qr::TQRPage::Length, 257);
    for (int i : {qr::TQRPage::LeftMargin, qr::TQRPage::TopMargin, qr::TQRPage::RightMargin, qr::TQRPage::BottomMargin})
        rep.Page.SetValue(i, 10);
    qr::TQRBand* title = rep.AddBand("TitleBand1", qr::rbPageHeader, 51 * 25.4 / 96);
    qr::TQRBand* body = rep.AddBand("ColumnHeaderBand1", qr::rbColumnHeader, 222.25);
    title->AddShape("t", 2.12, 4.23, 10, 0.26, 1);
    body->AddShape("s", 2.12, 0, 156.90, 0.26, 1);
    std::vector<double> unitsSeen;
    rep.OnNeedData = [&](qr::TCustomQuickRep& r, bool&) {
        unitsSeen.push_back(r.Page.Value(qr::TQRPage::LeftMargin));
        r.Page.SetValue(qr::TQRPage::LeftMargin, 15);
        r.Page.SetValue(qr::TQRPage::TopMargin, 18);
    };
    auto store = rep.PrepareNew();
    ASSERT_EQ(store->PageCount(), 1);
    const auto& page = store->Page(1);
    EXPECT_DOUBLE_EQ(page.width, 1820);
    EXPECT_DOUBLE_EQ(page.length, 2570);
    ASSERT_EQ(unitsSeen.size(), 2u);
    EXPECT_DOUBLE_EQ(unitsSeen[0], 100) << "the handler reads tenths";
    EXPECT_DOUBLE_EQ(rep.Page.Value(qr::TQRPage::LeftMargin), 1.5) << "back in millimetres";
    EXPECT_DOUBLE_EQ(rep.Page.Value(qr::TQRPage::TopMargin), 1.8);

    std::vector<qr::QRItem> fills, rects;
    for (const auto& it : page.items)
        (it.kind == qr::QRItem::Fill ? fills : rects).push_back(it);
    ASSERT_EQ(fills.size(), 2u);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(fills[0].rect, QRectF(15, 18, 1820 - 15 - 100, 134.9375));
    EXPECT_DOUBLE_EQ(fills[1].rect.top(), 153);  // 18 + round(134.9375)
    EXPECT_DOUBLE_EQ(rects[0].rect.left(), 15 + 21.2);
    EXPECT_DOUBLE_EQ(rects[0].rect.top(), 18 + 42.3);
    EXPECT_DOUBLE_EQ(rects[1].rect.top(), 153);
    EXPECT_DOUBLE_EQ(rects[1].rect.left(), 36.2);  // 3.62 mm from the paper's edge

    // Without FirstPageHeader the page header is left out of the first page.
    rep.FirstPageHeader = false;
    auto again = rep.PrepareNew();
    int bandFills = 0;
    for (const auto& it : again->Page(1).items)
        bandFills += it.kind == qr::QRItem::Fill;
    EXPECT_EQ(bandFills, 1);
}

TEST(Prepare, HandlerErrorPropagatesAndRestoresUnits)
{
    auto rep = oneBandReport();
    rep->OnNeedData = [](qr::TCustomQuickRep&, bool&) { throw std::runtime_error("'x' is not a valid integer value"); };
    qr::TQRPrinter store(rep.get());
    EXPECT_THROW(rep->Prepare(store), std::runtime_error);
    EXPECT_DOUBLE_EQ(rep->Page.unitsToTenths, 10);
    EXPECT_EQ(store.PageCount(), 0);
}

TEST(Prepare, PaintOrderFollowsOrderNotInsertion)
{
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    qr::TQRLabel* l = band->AddLabel("late", 0, 0, 10, 3.7, 3);
    l->Caption = "A";
    band->AddShape("middle", 0, 0, 10, 0.26, 2);
    band->AddShape("first", 0, 10, 10, 0.26, 1);
    auto store = rep->PrepareNew();
    std::vector<std::pair<qr::QRItem::Kind, double>> seq;
    for (const auto& it : store->Page(1).items)
        seq.emplace_back(it.kind, it.rect.top());
    const std::vector<std::pair<qr::QRItem::Kind, double>> want = {
        {qr::QRItem::Fill, 0},    // the band's white area
        {qr::QRItem::Rect, 100},  // order 1
        {qr::QRItem::Rect, 0},    // order 2
        {qr::QRItem::Fill, 0},    // the label's white box, then its text
        {qr::QRItem::Text, 0}};
    EXPECT_EQ(seq, want);
}

TEST(PageStore, NoticesAreQueuedAndReleaseCancels)
{
    qr::TQRPrinter store;
    std::vector<int> notices;
    QObject::connect(&store, &qr::TQRPrinter::PageAvailable, [&](int n) { notices.push_back(n); });
    store.AddPage({});
    store.AddPage({});
    EXPECT_TRUE(notices.empty()) << "a notice is delivered from the event loop";
    QCoreApplication::processEvents();
    EXPECT_EQ(notices, (std::vector<int>{1, 2}));
    EXPECT_THROW(store.Page(3), std::out_of_range);

    store.SetShown(true);
    store.SetStatus(qr::mpBusy);
    store.SetShown(false);
    EXPECT_TRUE(store.Cancelled());

    // A store released during preparation gets no more pages.
    auto rep = oneBandReport();
    qr::TQRPrinter live(rep.get());
    live.SetShown(true);
    rep->OnNeedData = [&](qr::TCustomQuickRep&, bool&) { live.SetShown(false); };
    rep->Prepare(live);
    EXPECT_EQ(live.PageCount(), 0);
}

// The hook gets the store before it is prepared (the preview shows it while
// the page is produced), and Preview returns once the store is prepared:
// the preview goes on showing it.
TEST(Preview, HandsTheStoreOverThenPreparesIt)
{
    auto rep = oneBandReport();
    qr::TQRPrinter* hooked = nullptr;
    int pagesWhenHooked = -1;
    rep->OnPreview = [&](qr::TQRPrinter& store) {
        hooked = &store;
        pagesWhenHooked = store.PageCount();
        store.SetShown(true);  // what the preview control does
    };
    rep->Preview();
    ASSERT_NE(hooked, nullptr);
    EXPECT_EQ(hooked, rep->QRPrinter().get());
    EXPECT_EQ(pagesWhenHooked, 0);
    EXPECT_EQ(hooked->PageCount(), 1);
    EXPECT_TRUE(hooked->Shown());
    EXPECT_FALSE(hooked->Cancelled());

    // Not shown at all: the same.
    rep->OnPreview = nullptr;
    rep->Preview();
    EXPECT_EQ(rep->QRPrinter()->PageCount(), 1);
}

TEST(Render, RulesAndTextLandOnTheirPixels)
{
    qr::TQRBand* band = nullptr;
    auto rep = oneBandReport(&band);
    band->AddShape("rule", 10, 10, 50, 0.26, 1);  // x 10..60 mm, y 10 mm
    qr::TQRLabel* l = band->AddLabel("l", 10, 20, 40, 3.7, 2);
    l->Caption = QString::fromUtf8("国家");
    l->Font.Size = 10;
    auto store = rep->PrepareNew();
    QImage img(800, 1200, QImage::Format_RGB32);
    img.fill(Qt::gray);
    QPainter p(&img);
    qr::RenderPage(p, store->Page(1), 96.0 / 254.0);
    p.end();
    auto px = [&](double xmm, double ymm) { return img.pixelColor(int(xmm / 25.4 * 96), int(ymm / 25.4 * 96)); };
    EXPECT_EQ(px(30, 10.1), QColor(Qt::black)) << "a 1-pixel rule";
    EXPECT_EQ(px(30, 11), QColor(Qt::white)) << "band area painted white";
    EXPECT_EQ(px(209, 199), QColor(Qt::white)) << "the band fills the paper's width, 200 mm down";
    EXPECT_EQ(px(209, 201), QColor(Qt::gray));
    int dark = 0;
    for (int y = int(20 / 25.4 * 96); y < int(23.7 / 25.4 * 96); ++y)
        for (int x = int(10 / 25.4 * 96); x < int(17.1 / 25.4 * 96); ++x)
            dark += qGray(img.pixel(x, y)) < 128;
    EXPECT_GT(dark, 20) << "the two ideographs are drawn inside their box";
    int outside = 0;
    for (int y = int(20 / 25.4 * 96); y < int(23.7 / 25.4 * 96); ++y)
        for (int x = int(17.5 / 25.4 * 96); x < int(50 / 25.4 * 96); ++x)
            outside += qGray(img.pixel(x, y)) < 128;
    EXPECT_EQ(outside, 0);
}

}  // namespace
