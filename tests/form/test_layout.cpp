// The declaration form as the engine prepares it: the loaded layout, the
// page-fit figures on the prepared display list, how data texts sit in their
// boxes, and where rules land on a 300-dpi rendering.
#include "form/VdPrnUnit.h"
#include "platform/gbtext.h"
#include "report/core/qr.h"

#include "locale_helpers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPointer>

#include <cmath>
#include <set>

using namespace vdmq;

namespace {

constexpr double kPaperX = 15;  // tenths: where the bands start on the paper
constexpr double kTitleY = 18;
constexpr double kBandY = 153;  // 1.8 mm + 13.49375 mm rounded to a tenth

// A holder whose fill only sets the margins the filler sets, so the page
// keeps its design captions.
struct Form {
    TApprovalForm form;
    Form()
    {
        form.Report->OnNeedData = [](qr::TCustomQuickRep& report, bool&) {
            report.Page.SetValue(qr::TQRPage::LeftMargin, 15);
            report.Page.SetValue(qr::TQRPage::TopMargin, 18);
        };
    }
    qr::QRPageImage prepare()
    {
        auto store = form.Report->PrepareNew();
        EXPECT_EQ(store->PageCount(), 1);
        return store->Page(1);
    }
};

// Paper rectangle (tenths) of an element of BodyBand as stored.
QRectF boxOf(const qr::TQRPrintable& e)
{
    return QRectF(kPaperX + e.Left * 10, kBandY + e.Top * 10, e.Width * 10, e.Height * 10);
}

bool near(double a, double b, double tol = 0.05) { return std::fabs(a - b) <= tol; }

// The white box a label painted (its Fill item at the label's top left).
const qr::QRItem* fillAt(const qr::QRPageImage& page, QPointF topLeft, double minHeight = 0)
{
    for (const auto& item : page.items)
        if (item.kind == qr::QRItem::Fill && near(item.rect.left(), topLeft.x()) &&
            near(item.rect.top(), topLeft.y()) && item.rect.height() > minHeight && item.rect.height() < 1000)
            return &item;
    return nullptr;
}

// The text lines printed inside `area`.
std::vector<const qr::QRItem*> textsIn(const qr::QRPageImage& page, const QRectF& area)
{
    std::vector<const qr::QRItem*> out;
    for (const auto& item : page.items)
        if (item.kind == qr::QRItem::Text && area.contains(item.rect.center()))
            out.push_back(&item);
    return out;
}

QImage render(const qr::QRPageImage& page, double dpi)
{
    const double ppt = dpi / 254.0;
    QImage image(int(std::lround(page.width * ppt)), int(std::lround(page.length * ppt)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    qr::RenderPage(painter, page, ppt);
    painter.end();
    return image;
}

bool dark(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 128; }

// Columns [from, to] (inclusive) of row y with ink, as pixel numbers.
std::vector<int> inkInRow(const QImage& image, int y, int from, int to)
{
    std::vector<int> xs;
    for (int x = from; x <= to; ++x)
        if (dark(image, x, y))
            xs.push_back(x);
    return xs;
}

// Horizontal extent of the ink inside a paper rectangle (tenths), in tenths.
std::pair<double, double> inkSpan(const QImage& image, const QRectF& area, double dpi)
{
    const double ppt = dpi / 254.0;
    int lo = INT_MAX, hi = INT_MIN;
    for (int y = int(area.top() * ppt) + 1; y < int(area.bottom() * ppt); ++y)
        for (int x = int(area.left() * ppt) + 1; x < int(area.right() * ppt); ++x)
            if (dark(image, x, y)) {
                lo = std::min(lo, x);
                hi = std::max(hi, x + 1);
            }
    if (lo > hi)
        return {0, 0};
    return {lo / ppt, hi / ppt};
}

}  // namespace

TEST(FormLayout, HoldsEveryElementOnceAndTheDataLabels)
{
    TApprovalForm form;
    ASSERT_EQ(form.Report->Bands.size(), 2u);
    EXPECT_EQ(form.TitleBand->BandType, qr::rbPageHeader);
    EXPECT_EQ(form.TitleBand->LinkBand, form.BodyBand);
    EXPECT_EQ(form.BodyBand->BandType, qr::rbColumnHeader);
    EXPECT_EQ(form.TitleBand->Labels.size(), 1u);
    EXPECT_EQ(form.BodyBand->Labels.size(), 120u);
    EXPECT_EQ(form.BodyBand->Shapes.size(), 57u);
    // The maps are keyed by name, so their sizes prove the names unique.
    EXPECT_EQ(form.Labels().size(), 121u);
    EXPECT_EQ(form.Shapes().size(), 57u);

    // Rules paint first (1..57), then the labels (58..177), each order once.
    std::set<int> orders;
    for (auto* e : form.BodyBand->PaintOrder())
        orders.insert(e->Order);
    EXPECT_EQ(orders.size(), 177u);
    EXPECT_EQ(*orders.begin(), 1);
    EXPECT_EQ(*orders.rbegin(), 177);
    for (const auto& s : form.BodyBand->Shapes)
        EXPECT_LE(s->Order, 57) << s->Name;

    qr::TQRLabel* const members[] = {
        form.NameLabel,          form.SexLabel,         form.EducationLabel,    form.BornLabel,
        form.StartedWorkLabel,   form.ServiceFromLabel, form.ReasonLabel,       form.AppraisalFromLabel,
        form.PostLabel,          form.OldPostLabel,     form.OldAppointedLabel, form.OldGradeLabel,
        form.OldPostPayLabel,    form.OldScaleLabel,    form.OldScalePayLabel,  form.OldTenPercentLabel,
        form.ProbationPayLabel,  form.OldTotalLabel,    form.NewPostLabel,      form.NewAppointedLabel,
        form.NewGradeLabel,      form.NewPostPayLabel,  form.NewScaleLabel,     form.NewScalePayLabel,
        form.NewTenPercentLabel, form.NewTotalLabel,    form.OpinionLine1,      form.OpinionLine2,
        form.OpinionLine3,       form.OpinionLine4,     form.PrintDateLabel,    form.IssuedByLabel};
    ASSERT_EQ(DataLabelNames().size(), 32u);
    std::set<qr::TQRLabel*> distinct(std::begin(members), std::end(members));
    EXPECT_EQ(distinct.size(), 32u);
    for (std::size_t i = 0; i < 32; ++i) {
        ASSERT_NE(members[i], nullptr) << DataLabelNames()[i];
        EXPECT_EQ(members[i]->Name, DataLabelNames()[i]);
        EXPECT_EQ(form.Label(DataLabelNames()[i]), members[i]);
    }
}

TEST(FormLayout, LoadsPageSetUpAndPropertiesAsStored)
{
    TApprovalForm form;
    const qr::TQRPage& page = form.Report->Page;
    EXPECT_EQ(page.Tenths(qr::TQRPage::Width), 1820);
    EXPECT_EQ(page.Tenths(qr::TQRPage::Length), 2570);
    for (int m : {qr::TQRPage::TopMargin, qr::TQRPage::BottomMargin, qr::TQRPage::LeftMargin, qr::TQRPage::RightMargin})
        EXPECT_EQ(page.Tenths(m), 100);
    // Heights are whole 1/96-inch steps, not the 0.01-mm roundings.
    EXPECT_DOUBLE_EQ(form.TitleBand->Height, 51 * 25.4 / 96);
    EXPECT_DOUBLE_EQ(form.BodyBand->Height, 222.25);

    struct Case {
        const char* name;
        const char* caption;
        const char* family;
        double size;
        bool bold, underline, autoSize, stretch;
        qr::TAlignment align;
    } cases[] = {
        {"Lb1", "国家机关事业单位工作人员工资变动审批表", "Arial", 16, true, true, false, false, qr::taCenter},
        {"Lb2", "姓  名", "宋体", 10, false, false, true, true, qr::taLeftJustify},
        {"lb43", "合      计", "宋体", 10, false, false, true, false, qr::taLeftJustify},
        {"lb88", "年    月    日", "宋体", 10, false, false, true, false, qr::taLeftJustify},
        {"QRLabel5", "同 意", "黑体", 32, true, false, true, false, qr::taLeftJustify},
        {"lb_bdyy", "职务变动", "宋体", 10, true, false, true, false, qr::taLeftJustify},
        {"lb_area", "澜坪市人事局工资处制", "宋体", 9, false, false, true, false, qr::taLeftJustify},
        {"Lb_year", "&year 年 &month 月 &day 日", "宋体", 10, false, false, false, true, qr::taCenter},
        {"m_gw2", "m_gw2", "宋体", 10, false, false, false, false, qr::taRightJustify},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qr::TQRLabel* l = form.Label(c.name);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->Caption, QString::fromUtf8(c.caption));
        EXPECT_EQ(l->Font.Name, QString::fromUtf8(c.family));
        EXPECT_EQ(l->Font.Size, c.size);
        EXPECT_EQ(l->Font.Bold, c.bold);
        EXPECT_EQ(l->Font.Underline, c.underline);
        EXPECT_EQ(l->AutoSize, c.autoSize);
        EXPECT_EQ(l->AutoStretch, c.stretch);
        EXPECT_EQ(l->Alignment, c.align);
    }
}

TEST(FormLayout, PageFitsOneSheet)
{
    Form f;
    const qr::QRPageImage page = f.prepare();
    EXPECT_EQ(page.width, 1820);
    EXPECT_EQ(page.length, 2570);

    double frameBottom = 0;
    for (const auto& item : page.items) {
        if (item.kind == qr::QRItem::Rect)
            frameBottom = std::max(frameBottom, item.rect.bottom());
        // Nothing reaches the bottom margin at 247 mm.
        EXPECT_LE(item.rect.bottom(), 2470) << item.kind;
    }
    EXPECT_NEAR(frameBottom, 2277.6, 0.1);

    const qr::QRItem* area = fillAt(page, boxOf(*f.form.IssuedByLabel).topLeft());
    ASSERT_NE(area, nullptr);
    EXPECT_NEAR(area->rect.bottom(), 2338.5, 0.1);

    // The column header band's white ground, directly below the title band.
    const qr::QRItem* band = nullptr;
    for (const auto& item : page.items)
        if (item.kind == qr::QRItem::Fill && near(item.rect.top(), kBandY) && item.rect.height() > 2000)
            band = &item;
    ASSERT_NE(band, nullptr);
    EXPECT_NEAR(band->rect.left(), kPaperX, 0.05);
    EXPECT_NEAR(band->rect.bottom(), 2375.5, 0.1);

    // The title band starts at the filler's margins.
    const qr::TQRLabel* lb1 = f.form.Label("Lb1");
    EXPECT_NE(fillAt(page, {kPaperX + lb1->Left * 10, kTitleY + lb1->Top * 10}), nullptr);
}

TEST(FormLayout, AmountsEndAtTheRightEdgeOfTheirBox)
{
    const char* const amounts[] = {"l_gw1", "m_gw1", "l_xj1", "m_xj1", "l_bt1", "l_tmp1", "l_ph1",
                                   "l_gw2", "m_gw2", "l_xj2", "m_xj2", "l_bt2", "l_ph2"};
    Form f;
    for (const char* name : amounts)
        f.form.Label(name)->Caption = "1234";
    const qr::QRPageImage page = f.prepare();
    const QImage image = render(page, 300);
    for (const char* name : amounts) {
        SCOPED_TRACE(name);
        const QRectF box = boxOf(*f.form.Label(name));
        const auto lines = textsIn(page, box);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]->text, "1234");
        // The ink of the last digit stops at the box's right edge (a digit's
        // side bearing is well under 0.3 mm) and the text starts well inside.
        const auto [left, right] = inkSpan(image, box, 300);
        EXPECT_NEAR(right, box.right(), 3.0);
        EXPECT_LE(right, box.right() + 0.5);
        EXPECT_GT(left, box.left() + 10);
    }
}

TEST(FormLayout, LongFixedTextIsCutAtItsLastBreakThatFits)
{
    // zw1 is 43.39 mm wide; a 10-point ideograph is 3.53 mm, so twelve fit
    // and thirteen do not.
    struct Case {
        const char* text;
        const char* printed;
    } cases[] = {
        {"一二三四五 六七八九十甲乙丙丁", "一二三四五"},
        {"一二 三四 五六七八九十甲乙丙", "一二 三四"},
        {"一二三四五六-七八九十甲乙丙", "一二三四五六-"},
        {"一二三四五六七八九十甲乙丙丁戊", "一二三四五六七八九十甲乙"},
        {"一二三四", "一二三四"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Form f;
        f.form.OldPostLabel->Caption = QString::fromUtf8(c.text);
        const qr::QRPageImage page = f.prepare();
        const QRectF box = boxOf(*f.form.OldPostLabel);
        // Anything printed from zw1 lies in its row, left of the next cell.
        const auto lines = textsIn(page, QRectF(box.left(), box.top(), 400, box.height()));
        ASSERT_EQ(lines.size(), 1u);
        QString shown = lines[0]->text;
        while (shown.endsWith(u' '))
            shown.chop(1);
        EXPECT_EQ(shown, QString::fromUtf8(c.printed));
        // No ink in the 2 mm between the box and the next rule.
        const QImage image = render(page, 300);
        EXPECT_LE(inkSpan(image, box.adjusted(0, 0, 20, 0), 300).second, box.right() + 0.5);
    }
}

TEST(FormLayout, DateLineIsCentredOrStretches)
{
    const double centre = kPaperX + 1356.0;  // x 135.60 mm of the band
    {
        Form f;
        f.form.PrintDateLabel->Caption = QStringLiteral("2024 年 5 月 6 日");
        const qr::QRPageImage page = f.prepare();
        const QRectF box = boxOf(*f.form.PrintDateLabel);
        const auto lines = textsIn(page, box);
        ASSERT_EQ(lines.size(), 1u);
        const auto [left, right] = inkSpan(render(page, 300), box, 300);
        EXPECT_NEAR((left + right) / 2, centre, 2.0);
        const qr::QRItem* fill = fillAt(page, box.topLeft());
        ASSERT_NE(fill, nullptr);
        EXPECT_NEAR(fill->rect.height(), box.height(), 0.1);
    }
    {
        Form f;
        f.form.PrintDateLabel->Caption = QStringLiteral("二〇二四 年 十二 月 三十一 日 星期二 上午");
        const qr::QRPageImage page = f.prepare();
        const QRectF box = boxOf(*f.form.PrintDateLabel);
        const auto lines = textsIn(page, box.adjusted(0, 0, 0, 100));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_GT(lines[1]->rect.top(), lines[0]->rect.top() + 30);
        const qr::QRItem* fill = fillAt(page, box.topLeft());
        ASSERT_NE(fill, nullptr);
        EXPECT_GT(fill->rect.height(), box.height() + 30);  // grew downward
        EXPECT_NEAR(fill->rect.width(), box.width(), 0.1);  // kept its width
        for (const auto* line : lines)
            EXPECT_NEAR(line->rect.center().x(), centre, 0.1);
    }
}

TEST(FormLayout, RulesLandOnTheirPixelsAt300Dpi)
{
    Form f;
    const qr::QRPageImage page = f.prepare();
    const double dpi = 300, ppt = dpi / 254.0;
    const QImage image = render(page, dpi);
    ASSERT_EQ(image.width(), 2150);  // 182 mm
    // Where the paper form has them (band coordinates, mm), independent of
    // the loaded table.
    struct Rule {
        const char* name;
        double left, top, width, height;
    } rules[] = {
        {"sh19", 2.12, 0.00, 0.26, 212.46},        {"sh23", 158.75, 0.00, 0.26, 212.46},
        {"sh37", 61.38, 0.00, 0.26, 151.61},       {"sh33", 108.48, 13.76, 0.26, 137.85},
        {"sh1", 2.12, 0.00, 156.90, 0.26},         {"sh9", 2.12, 13.76, 156.90, 0.26},
        {"QRShape24", 2.12, 151.34, 156.90, 0.26}, {"sh124", 2.12, 212.20, 156.90, 0.26},
    };
    for (const Rule& rule : rules) {
        SCOPED_TRACE(rule.name);
        const QRectF r(kPaperX + rule.left * 10, kBandY + rule.top * 10, rule.width * 10, rule.height * 10);
        const bool vertical = r.width() < r.height();
        // Sample across the rule a little above (left of) its middle, clear of
        // crossing rules; both outline edges show within a pixel of where
        // they belong, and 1 mm either side is white.
        const double across0 = (vertical ? r.left() : r.top()) * ppt;
        const double across1 = (vertical ? r.right() : r.bottom()) * ppt;
        const int along = int((vertical ? r.top() + 0.37 * r.height() : r.left() + 0.37 * r.width()) * ppt);
        std::vector<int> ink;
        for (int p = int(across0) - 12; p <= int(across1) + 12; ++p)
            if (vertical ? dark(image, p, along) : dark(image, along, p))
                ink.push_back(p);
        ASSERT_FALSE(ink.empty());
        EXPECT_NEAR(ink.front(), across0, 1.5);
        EXPECT_NEAR(ink.back() + 1, across1, 1.5);
    }
    // Outside the frame the paper stays white.
    for (int y = 200; y < 2650; y += 50) {
        EXPECT_TRUE(inkInRow(image, y, 0, 35).empty()) << y;
        EXPECT_TRUE(inkInRow(image, y, 1900, 2149).empty()) << y;
    }
}

namespace {
struct RecordingTarget : TPreviewTarget {
    std::shared_ptr<qr::TQRPrinter> store;
    int pagesWhenShown = -1;
    void AttachAndShow(const std::shared_ptr<qr::TQRPrinter>& s) override
    {
        store = s;
        pagesWhenShown = s->PageCount();
    }
};
}  // namespace

TEST(FormLayout, PreviewHandsTheStoreOverBeforePreparing)
{
    Form f;
    RecordingTarget target;
    f.form.PreviewTarget = &target;
    f.form.Report->Preview();  // nothing shows the store, so it returns
    ASSERT_NE(target.store, nullptr);
    EXPECT_EQ(target.store, f.form.Report->QRPrinter());
    EXPECT_EQ(target.pagesWhenShown, 0);
    EXPECT_EQ(target.store->PageCount(), 1);

    Form without;  // no target: preview prepares and returns quietly
    without.form.Report->Preview();
    EXPECT_EQ(without.form.Report->QRPrinter()->PageCount(), 1);
}

TEST(FormLayout, ClosedHolderReleasesItself)
{
    QPointer<TApprovalForm> holder = new TApprovalForm;
    holder->FormClose();
    ASSERT_FALSE(holder.isNull());  // released from the event loop, not at once
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(holder.isNull());
}

// The table's lengths have a decimal point; a desktop whose numbers use a
// decimal comma loads the same form.  The table is read once per process,
// so the form is made here under the comma first (ctest runs each test in a
// process of its own).
TEST(FormLayout, LoadsTheSameUnderADecimalComma)
{
    testlocale::ScopedDecimalComma comma;
    if (!comma.ok())
        GTEST_SKIP() << "no locale with a decimal comma (scripts/setup generates de_DE.UTF-8)";
    const TApprovalForm form;
    EXPECT_DOUBLE_EQ(form.TitleBand->Height, 51 * 25.4 / 96);
    EXPECT_DOUBLE_EQ(form.BodyBand->Height, 222.25);
    EXPECT_EQ(form.Labels().size(), 121u);
}
