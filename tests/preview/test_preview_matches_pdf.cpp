// The preview is the page: a filled declaration form painted through the
// preview control (inside its view, as in the window) at several zooms and
// device pixel ratios, against the PDF of the same page store rasterised by
// poppler at the same resolution.
//
// Threshold: ink (darker than mid-grey) in one picture with no visible mark
// in the other within one pixel stays under 0.5 % of all ink, and outside
// the form's frame the preview has no ink without a mark of the PDF within
// two pixels (the large title's glyph edges land a pixel apart at 576 dpi).  A failing case
// leaves its pictures in the temporary folder and names them.
#include "form/RosterColumns.h"
#include "form/VdPrnUnit.h"
#include "platform/gbtext.h"
#include "report/ui/qrpreview.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

constexpr double kMaxMismatch = 0.005;

// Row 7 of the sample roster, whose first opinion line fills its box, with
// a rare character in the name (𠀀 U+20000, from a fallback face).
class SampleRow : public vdmq::TFillSource {
public:
    int CurRow() const override { return 7; }
    QString CellText(int, int col) const override
    {
        using namespace vdmq::col;
        static const std::map<int, const char*> cells = {{Name, "李𠀀远"},
                                                         {Sex, "男"},
                                                         {Born, "197603"},
                                                         {StartedWork, "199808"},
                                                         {ServiceFrom, "199808"},
                                                         {Post, "一中中学高级教师"},
                                                         {Appointed, "200907"},
                                                         {OldTotal, "944"},
                                                         {OldGrade, "7"},
                                                         {OldPostPay, "590"},
                                                         {OldScale, "15"},
                                                         {OldScalePay, "295"},
                                                         {OldTenPercent, "59"},
                                                         {NewTotal, "1043"},
                                                         {NewGrade, "8"},
                                                         {NewPostPay, "680"},
                                                         {NewScale, "15"},
                                                         {NewScalePay, "295"},
                                                         {NewTenPercent, "68"},
                                                         {MonthlyRise, "99"},
                                                         {Education, "大学本科"},
                                                         {Reason, "职务晋升"},
                                                         {OldPost, "一中中学一级教师"},
                                                         {OldAppointed, "200309"}};
        const auto it = cells.find(col);
        return it == cells.end() ? QString() : QString::fromUtf8(it->second);
    }
    QString OpinionWidthText() const override { return QStringLiteral("78"); }
    QString DocNo() const override { return QStringLiteral("澜人发(2007)71号"); }
    QDate PrintDate() const override { return {2009, 8, 20}; }
    QString IssuedBy() const override { return QStringLiteral("澜坪市人事局工资处制"); }
};

// The page as the preview control paints it where the window has it: below
// a tool bar, centred in a view wider than the page.  The painter then
// carries the page's offset in the window, as on screen.
QImage previewImage(const std::shared_ptr<qr::TQRPrinter>& store, int zoom, double dpr)
{
    constexpr int kBar = 30, kSide = 300, kMargin = 8;
    QWidget window;
    auto* preview = new qr::TQRPreview(&window);
    preview->setQRPrinter(store);
    preview->setZoom(zoom);
    const QSize page = preview->widget()->size();
    const QSize view = page + QSize(2 * kSide, 2 * kMargin);
    preview->setGeometry(QRect(QPoint(0, kBar), view));
    window.resize(view + QSize(0, kBar));
    QImage img(window.size() * dpr, QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::gray);
    window.render(&img);
    const QPoint at = preview->widget()->mapTo(&window, QPoint(0, 0)) * dpr;
    img.setDevicePixelRatio(1);
    return img.copy(QRect(at, page * dpr)).convertToFormat(QImage::Format_Grayscale8);
}

QImage pdfImage(const QString& pdf, double dpi, const QString& dir)
{
    const QString base = dir + QStringLiteral("/page");
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi, 'f', 4), QStringLiteral("-gray"),
                                         QStringLiteral("-singlefile"), pdf, base});
    p.waitForFinished(120000);
    return QImage(base + QStringLiteral(".pgm")).convertToFormat(QImage::Format_Grayscale8);
}

// Ink is darker than mid-grey; a visible mark is darker than a quarter grey.
// Two renderers anti-alias one outline to different greys, and round a
// glyph's place differently by a pixel: only ink the other picture has no
// mark for, one pixel around, counts.
constexpr int kInk = 128, kMark = 192;

bool darker(const QImage& img, int x, int y, int level)
{
    return x >= 0 && y >= 0 && x < img.width() && y < img.height() && img.constScanLine(y)[x] < level;
}

bool markNear(const QImage& img, int x, int y, int reach = 1)
{
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (darker(img, x + dx, y + dy, kMark))
                return true;
    return false;
}

struct Diff {
    long ink = 0;  // both pictures
    long onlyPreview = 0, onlyPdf = 0;
    long strayOutsideFrame = 0;  // preview-only ink outside the frame, two pixels allowed
    QImage map;                  // red: preview only, blue: PDF only
    double ratio() const { return double(onlyPreview + onlyPdf) / std::max(1L, ink); }
};

Diff compare(const QImage& preview, const QImage& pdf, const QRect& frame)
{
    Diff d;
    const int w = std::max(preview.width(), pdf.width());
    const int h = std::max(preview.height(), pdf.height());
    d.map = QImage(w, h, QImage::Format_RGB32);
    d.map.fill(Qt::white);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool a = darker(preview, x, y, kInk), b = darker(pdf, x, y, kInk);
            d.ink += a + b;
            const bool onlyA = a && !markNear(pdf, x, y), onlyB = b && !markNear(preview, x, y);
            d.onlyPreview += onlyA;
            d.onlyPdf += onlyB;
            d.strayOutsideFrame += onlyA && !frame.contains(x, y) && !markNear(pdf, x, y, 2);
            if (onlyA || onlyB || a || b)
                d.map.setPixel(x, y, onlyA ? qRgb(255, 0, 0) : onlyB ? qRgb(0, 0, 255) : qRgb(170, 170, 170));
        }
    return d;
}

class PreviewMatchesPdf : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite()
    {
        form_ = std::make_unique<vdmq::TApprovalForm>();
        form_->Source = &row_;
        store_ = form_->Report->PrepareNew();
        dir_ = std::make_unique<QTemporaryDir>();
        qr::TQRPdfWriter writer(dir_->filePath(QStringLiteral("form.pdf")));
        writer.AddPage(store_->Page(1));
        writer.Finish();
    }
    static void TearDownTestSuite()
    {
        store_.reset();
        form_.reset();
        dir_.reset();
    }

    // The frame: every rule of the page lies on it or inside, in device
    // pixels at `pixelsPerTenth`, one pixel wider all round.
    static QRect frame(double pixelsPerTenth)
    {
        QRectF r;
        for (const qr::QRItem& item : store_->Page(1).items)
            if (item.kind == qr::QRItem::Rect)
                r = r.isNull() ? item.rect : r.united(item.rect);
        const QRectF px(r.topLeft() * pixelsPerTenth, r.size() * pixelsPerTenth);
        return px.toAlignedRect().adjusted(-1, -1, 1, 1);
    }

    static inline SampleRow row_;
    static inline std::unique_ptr<vdmq::TApprovalForm> form_;
    static inline std::shared_ptr<qr::TQRPrinter> store_;
    static inline std::unique_ptr<QTemporaryDir> dir_;
};

TEST_P(PreviewMatchesPdf, PreviewIsTheRasterisedPdf)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        << "pdftoppm (poppler-utils) is missing: run scripts/setup";
    ASSERT_EQ(store_->PageCount(), 1);
    const int zoom = GetParam();
    double worst = 0;
    for (double dpr : {1.0, 2.0}) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom << " %, device pixel ratio " << dpr);
        const double dpi = 96.0 * zoom / 100 * dpr;
        const QImage shown = previewImage(store_, zoom, dpr);
        const QImage paper = pdfImage(dir_->filePath(QStringLiteral("form.pdf")), dpi, dir_->path());
        ASSERT_FALSE(paper.isNull());
        // The page's own size, to the screen pixel the control rounds to.
        const qr::QRPageImage& page = store_->Page(1);
        EXPECT_NEAR(shown.width(), page.width * dpi / 254, dpr);
        EXPECT_NEAR(shown.height(), page.length * dpi / 254, dpr);
        const Diff d = compare(shown, paper, frame(dpi / 254));
        worst = std::max(worst, d.ratio());
        EXPECT_LE(d.ratio(), kMaxMismatch)
            << d.onlyPreview << " ink pixels only in the preview, " << d.onlyPdf << " only in the PDF, of " << d.ink;
        EXPECT_EQ(d.strayOutsideFrame, 0) << "preview ink outside the frame that the PDF lacks";
        if (d.ratio() > kMaxMismatch || d.strayOutsideFrame > 0) {
            const QString base = QDir::temp().filePath(QStringLiteral("vdmq-preview-z%1-d%2").arg(zoom).arg(dpr));
            shown.save(base + QStringLiteral("-preview.png"));
            paper.save(base + QStringLiteral("-pdf.png"));
            d.map.save(base + QStringLiteral("-diff.png"));
            ADD_FAILURE() << "pictures: " << base.toStdString() << "-{preview,pdf,diff}.png";
        }
    }
    std::printf("zoom %d %%: worst mismatch %.4f %% of the ink (threshold %.1f %%)\n", zoom, 100 * worst,
                100 * kMaxMismatch);
    RecordProperty("worst_mismatch_percent", QString::number(100 * worst, 'f', 4).toStdString());
}

INSTANTIATE_TEST_SUITE_P(Zooms, PreviewMatchesPdf, ::testing::Values(50, 72, 100, 150, 300),
                         [](const testing::TestParamInfo<int>& info) { return "Zoom" + std::to_string(info.param); });

}  // namespace
