// The form's place on its paper and the calibration page.
#include "form/VdCalibration.h"
#include "form/VdPrnUnit.h"
#include "platform/gbtext.h"
#include "report/core/qrtext.h"

#include <QString>
#include <cmath>

namespace vdmq {

const qr::QRPageImage& FormLayoutPage()
{
    static const qr::QRPageImage page = [] {
        TVdPrnForm holder;
        // The filler's first step sets the margins every page is printed
        // with; without a roster row it stops right after that, and the
        // labels keep their design captions.
        holder.qrVDMQ->OnNeedData = [&holder](qr::TCustomQuickRep& sender, bool& more) {
            try {
                holder.qrVDMQNeedData(sender, more);
            } catch (const std::exception&) {
            }
        };
        auto store = holder.qrVDMQ->PrepareNew();
        return store->PageCount() > 0 ? store->Page(1) : qr::QRPageImage{};
    }();
    return page;
}

namespace {

QRectF unite(qr::QRItem::Kind a, qr::QRItem::Kind b)
{
    QRectF r;
    for (const qr::QRItem& item : FormLayoutPage().items)
        if ((item.kind == a || item.kind == b) && !(item.kind == qr::QRItem::Text && item.text.empty()))
            r = r.isNull() ? item.rect : r.united(item.rect);
    return QRectF(r.topLeft() / 10.0, r.size() / 10.0);
}


// Builds the page in the sheet's coordinates (millimetres); items land in
// the form's paper coordinates (tenths), which is what the placement moves.
class PageBuilder {
public:
    PageBuilder(qr::QRPageImage& page, QPointF align) : page_(page), align_(align) {}

    void rule(double x, double y, double w, double h)
    {
        qr::QRItem r;
        r.kind = qr::QRItem::Rect;
        r.rect = QRectF((x - align_.x()) * 10, (y - align_.y()) * 10, w * 10, h * 10);
        page_.items.push_back(std::move(r));
    }

    // A line of text; `x` is where it starts, centres or ends by `align`.
    // Returns its height in millimetres.
    double text(double x, double y, const QString& s, const qr::TQRFont& font, qr::TAlignment align = qr::taLeftJustify)
    {
        const std::string gbText = toGb(s);
        qr::detail::MeasuredFont& mf = qr::detail::measured(font);
        const double w = mf.width(gbText) / 10.0, h = mf.lineHeight() / 10.0;
        if (align == qr::taRightJustify)
            x -= w;
        else if (align == qr::taCenter)
            x -= w / 2;
        qr::QRItem t;
        t.kind = qr::QRItem::Text;
        t.rect = QRectF((x - align_.x()) * 10, (y - align_.y()) * 10, w * 10, h * 10);
        t.text = gbText;
        t.font = font;
        t.alignment = align;
        page_.items.push_back(std::move(t));
        return h;
    }

private:
    qr::QRPageImage& page_;
    QPointF align_;
};

qr::TQRFont font(const char* name, double size, bool bold = false)
{
    qr::TQRFont f;
    f.Name = QString::fromUtf8(name);
    f.Size = size;
    f.Bold = bold;
    return f;
}

constexpr double kRule = 0.26;  // the form's rules
constexpr double kTick = 0.2;
constexpr double kBeyond = 20;  // the largest offset: how far rulers run past the edge

}  // namespace

double RoundMm(double mm) { return std::round(mm * 10) / 10; }

QString MmText(double mm) { return QString::number(RoundMm(mm), 'f', 1); }

QString SignedMmText(double mm)
{
    const double v = RoundMm(mm);
    return (v > 0   ? QStringLiteral("+")
            : v < 0 ? QStringLiteral("−")
                    : QString()) +
           QString::number(std::abs(v), 'f', 1);
}

QRectF FormFrameMm()
{
    static const QRectF r = unite(qr::QRItem::Rect, qr::QRItem::Rect);
    return r;
}

QRectF FormContentMm()
{
    static const QRectF r = unite(qr::QRItem::Rect, qr::QRItem::Text);
    return r;
}

TFrameDistances ExpectedFrameDistances(const TCalibrationSheet& sheet)
{
    const QRectF f = FormFrameMm().translated(sheet.AlignMm);
    return {RoundMm(f.left()), RoundMm(f.top()), RoundMm(sheet.SheetMm.width() - f.right()),
            RoundMm(sheet.SheetMm.height() - f.bottom())};
}

namespace {

// The frame, the heading and the distance each frame line should have from
// its edge of the paper.
void drawFrame(PageBuilder& b, const QRectF& f, const TCalibrationSheet& sheet)
{
    const TFrameDistances d = ExpectedFrameDistances(sheet);
    const qr::TQRFont small = font("宋体", 9);
    // The frame, drawn as the form draws its outer rules.
    b.rule(f.left(), f.top(), kRule, f.height());
    b.rule(f.right() - kRule, f.top(), kRule, f.height());
    b.rule(f.left(), f.top(), f.width(), kRule);
    b.rule(f.left(), f.bottom() - kRule, f.width(), kRule);

    // Heading.
    const double cx = f.center().x();
    double y = f.top() + 7;
    y += b.text(cx, y, QStringLiteral("审批表打印位置校准页"), font("黑体", 16, true), qr::taCenter) + 2;
    b.text(cx, y,
           QStringLiteral("纸张：%1    本页所用偏移：水平 %2，垂直 %3 mm")
               .arg(fromGb(sheet.PaperText), SignedMmText(sheet.OffsetMm.x()), SignedMmText(sheet.OffsetMm.y())),
           small, qr::taCenter);

    // The distance each frame line should have from its edge of the paper.
    b.text(cx, f.top() + 1.2, QStringLiteral("↑ 上框线到纸上边应为 %1 mm").arg(MmText(d.top)), small, qr::taCenter);
    const double sideY = f.top() + 150;
    b.text(f.left() + 1.2, sideY, QStringLiteral("← 左框线到纸左边应为 %1 mm").arg(MmText(d.left)), small);
    b.text(f.right() - 1.2, sideY, QStringLiteral("右框线到纸右边应为 %1 mm →").arg(MmText(d.right)), small,
           qr::taRightJustify);
    const double lh = qr::detail::measured(small).lineHeight() / 10.0;
    b.text(cx, f.bottom() - 1.2 - lh, QStringLiteral("↓ 下框线到纸下边应为 %1 mm").arg(MmText(d.bottom)), small,
           qr::taCenter);
}

// The two rulers, across the paper's top and left edges: labels are
// distances from the paper's edge as designed.
void drawRulers(PageBuilder& b, const QRectF& f)
{
    const qr::TQRFont small = font("宋体", 9), digits = font("Arial", 6);
    const double lh = qr::detail::measured(small).lineHeight() / 10.0;
    // The vertical ruler, across the top edge: labels are distances from
    // the paper's top edge as designed.
    const double xr = f.left() + 142;
    const double vEnd = std::floor(f.top() + 30);
    b.rule(xr - kTick / 2, -kBeyond, kTick, vEnd + kBeyond);
    for (int k = int(-kBeyond); k <= int(vEnd); ++k) {
        const double len = k % 10 == 0 ? 4 : k % 5 == 0 ? 2.8 : 1.6;
        b.rule(xr, k - kTick / 2, len, kTick);
        if (k % 5 == 0) {
            const double h = qr::detail::measured(digits).lineHeight() / 10.0;
            b.text(xr + 4.6, k - h / 2, QString::number(k), digits);
        }
    }
    b.text(xr + 5, vEnd + 2, QStringLiteral("↑ 垂直刻度（mm）：纸上边缘对着的读数就是垂直偏移的改正量"), small,
           qr::taRightJustify);

    // The horizontal ruler, across the left edge.
    const double yr = f.top() + 48;
    const double hEnd = std::floor(f.left() + 30);
    b.rule(-kBeyond, yr - kTick / 2, hEnd + kBeyond, kTick);
    for (int k = int(-kBeyond); k <= int(hEnd); ++k) {
        const double len = k % 10 == 0 ? 4 : k % 5 == 0 ? 2.8 : 1.6;
        b.rule(k - kTick / 2, yr, kTick, len);
        if (k % 5 == 0)
            b.text(k, yr + 4.4, QString::number(k), digits, qr::taCenter);
    }
    b.text(hEnd + 3, yr - lh / 2, QStringLiteral("← 水平刻度（mm）：纸左边缘对着的读数就是水平偏移的改正量"), small);
}

void drawSteps(PageBuilder& b, const QRectF& f)
{
    const qr::TQRFont body = font("宋体", 10);
    // How to use it.
    const QString steps[] = {
        QStringLiteral("怎样校准："),
        QStringLiteral("1. 用平常打印审批表的打印机和纸张打印本页。"),
        QStringLiteral("2. 看左边的水平刻度：纸的左边缘对着哪个读数，水平偏移就要加上"),
        QStringLiteral("   这个数（正数向右移，负数向左移）；上边的垂直刻度同样读出垂直"),
        QStringLiteral("   偏移要加上的数（正数向下移，负数向上移）。"),
        QStringLiteral("3. 新的偏移 = 本页所用偏移 + 读数。在主窗口的“纸张”中填好，"),
        QStringLiteral("   再打印本页核对：纸边应对着刻度 0。"),
        QStringLiteral("4. 也可用直尺量四条框线到纸边的距离，与框线旁写的应有距离比较："),
        QStringLiteral("   改正量 = 应有距离 − 量得距离（左边对水平，上边对垂直）。"),
        QStringLiteral("5. 四条框线都应完整。缺了哪条，说明打印机印不到那里，请把表格"),
        QStringLiteral("   往里移，或改用 A4 纸居中打印。"),
    };
    double y = f.top() + 62;
    for (const QString& line : steps)
        y += b.text(f.left() + 10, y, line, body) + 1.6;
}

}  // namespace

qr::QRPageImage CalibrationPage(const TCalibrationSheet& sheet)
{
    qr::QRPageImage page;
    const qr::QRPageImage& form = FormLayoutPage();
    page.width = form.width;
    page.length = form.length;
    PageBuilder b(page, sheet.AlignMm);
    const QRectF f = FormFrameMm().translated(sheet.AlignMm);
    drawFrame(b, f, sheet);
    drawRulers(b, f);
    drawSteps(b, f);
    return page;
}

}  // namespace vdmq
