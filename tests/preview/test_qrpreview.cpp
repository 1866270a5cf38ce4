// The preview control: holding and releasing stores, paging, zooming.
#include "support_preview.h"

#include <QScrollBar>
#include <gtest/gtest.h>

using namespace previewtest;

namespace {

TEST(QRPreview, HoldsOneStoreAtATimeAndReleasesItWhenDestroyed)
{
    auto first = MakeStore(2);
    auto second = MakeStore(1);
    {
        qr::TQRPreview preview;
        preview.setQRPrinter(first);
        EXPECT_TRUE(first->Shown());
        preview.setPageNumber(2);
        preview.setQRPrinter(second);
        EXPECT_FALSE(first->Shown());
        EXPECT_TRUE(second->Shown());
        EXPECT_EQ(preview.PageNumber(), 1);
        EXPECT_FALSE(first->Cancelled()) << "a store that was not being prepared is not cancelled";
    }
    EXPECT_FALSE(second->Shown());
}

TEST(QRPreview, ReleasingAStoreBeingPreparedCancelsIt)
{
    auto store = MakeStore(1);
    store->SetStatus(qr::mpBusy);
    qr::TQRPreview preview;
    preview.setQRPrinter(store);
    preview.setQRPrinter(nullptr);
    EXPECT_FALSE(store->Shown());
    EXPECT_TRUE(store->Cancelled());
}

TEST(QRPreview, NoticesOfAReleasedStoreAreNotPassedOn)
{
    auto old = MakeStore(0);
    qr::TQRPreview preview;
    preview.setQRPrinter(old);
    preview.setQRPrinter(MakeStore(0));
    int raised = 0;
    QObject::connect(&preview, &qr::TQRPreview::PageAvailable, [&](int) { ++raised; });
    old->AddPage(MakePage(kA4Width, kA4Length));
    Pump();
    EXPECT_EQ(raised, 0);
}

TEST(QRPreview, PageNumberIgnoresPagesThatAreNotThere)
{
    struct Case {
        int set;
        int expected;
    };
    const Case cases[] = {{0, 2}, {-1, 2}, {4, 2}, {3, 3}, {1, 1}};
    for (const Case& c : cases) {
        qr::TQRPreview preview;
        preview.setQRPrinter(MakeStore(3));
        preview.setPageNumber(2);
        preview.setPageNumber(c.set);
        EXPECT_EQ(preview.PageNumber(), c.expected) << "set " << c.set;
    }
    qr::TQRPreview empty;
    empty.setPageNumber(2);
    EXPECT_EQ(empty.PageNumber(), 1);
}

TEST(QRPreview, NewPageIsShownFromItsTopLeft)
{
    qr::TQRPreview preview;
    preview.resize(300, 300);
    preview.setQRPrinter(MakeStore(2));
    preview.setZoom(300);
    preview.show();
    Pump();
    preview.horizontalScrollBar()->setValue(500);
    preview.verticalScrollBar()->setValue(700);
    ASSERT_GT(preview.verticalScrollBar()->value(), 0);
    preview.setPageNumber(2);
    EXPECT_EQ(preview.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(preview.verticalScrollBar()->value(), 0);
}

TEST(QRPreview, PageAt100PercentHasItsPhysicalSize)
{
    qr::TQRPreview preview;
    auto store = std::make_shared<qr::TQRPrinter>();
    store->AddPage(MakePage(kB5Width, kB5Length));
    preview.setQRPrinter(store);
    const double dpi = preview.logicalDpiX();
    EXPECT_EQ(preview.widget()->width(), std::lround(kB5Width / 254 * dpi));
    EXPECT_EQ(preview.widget()->height(), std::lround(kB5Length / 254 * preview.logicalDpiY()));
    preview.setZoom(200);
    EXPECT_NEAR(preview.widget()->width(), 2 * kB5Width / 254 * dpi, 1);
}

// Fit and width against fixed views, at 96 pixels per inch (an A4 page is
// then 793.7 x 1122.5 pixels at 100 %).
TEST(QRPreview, FitAndWidthZoomsForAnA4Page)
{
    struct Case {
        int w, h;
        int fit;
        int width;
    };
    const int bar = qr::TQRPreview().verticalScrollBar()->sizeHint().width();
    const Case cases[] = {
        {800, 600, 51, int(std::lround((800 - bar) / 793.7 * 90))},  // the height decides
        {400, 2000, 48, 45},                                         // the width decides; at 45 % the page fits: no bar
        {794 + bar, 900, 76, 90},                                    // page width exactly at 90 % beside the bar
    };
    for (const Case& c : cases) {
        qr::TQRPreview preview;
        if (preview.logicalDpiX() != 96)
            GTEST_SKIP() << "screen is not 96 dpi";
        preview.setQRPrinter(MakeStore(1));
        preview.resize(c.w, c.h);
        preview.ZoomToFit();
        EXPECT_EQ(preview.Zoom(), c.fit) << c.w << "x" << c.h;
        EXPECT_EQ(preview.ZoomState(), qr::qrZoomToFit);
        preview.ZoomToWidth();
        EXPECT_EQ(preview.Zoom(), c.width) << c.w << "x" << c.h;
        EXPECT_EQ(preview.ZoomState(), qr::qrZoomToWidth);
    }
}

TEST(QRPreview, ResizeKeepsFitAndWidthButNotAChosenZoom)
{
    struct Case {
        void (qr::TQRPreview::*zoom)();
        bool follows;
    };
    const Case cases[] = {{&qr::TQRPreview::ZoomToFit, true}, {&qr::TQRPreview::ZoomToWidth, true}, {nullptr, false}};
    for (const Case& c : cases) {
        qr::TQRPreview preview;
        preview.setQRPrinter(MakeStore(1));
        preview.resize(400, 400);
        preview.show();
        Pump();
        if (c.zoom)
            (preview.*c.zoom)();
        else
            preview.setZoom(37);
        const int before = preview.Zoom();
        preview.resize(1200, 1200);
        Pump();
        EXPECT_EQ(preview.Zoom() != before, c.follows);
        if (c.follows) {
            qr::TQRPreview fresh;
            fresh.setQRPrinter(MakeStore(1));
            fresh.resize(1200, 1200);
            (fresh.*c.zoom)();
            EXPECT_EQ(preview.Zoom(), fresh.Zoom());
        }
    }
}

TEST(QRPreview, PageNoticeIsPassedOnWithTheCount)
{
    auto store = MakeStore(0);
    qr::TQRPreview preview;
    preview.setQRPrinter(store);
    std::vector<int> counts;
    QObject::connect(&preview, &qr::TQRPreview::PageAvailable, [&](int n) { counts.push_back(n); });
    store->AddPage(MakePage(kB5Width, kB5Length));
    store->AddPage(MakePage(kB5Width, kB5Length));
    Pump();
    EXPECT_EQ(counts, (std::vector<int>{1, 2}));
    // The B5 page replaced the A4 stand-in.
    EXPECT_EQ(preview.widget()->width(), std::lround(kB5Width / 254 * preview.logicalDpiX()));
}

}  // namespace
