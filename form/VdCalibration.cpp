// The form's place on its paper and the calibration page.
#include "form/VdCalibration.h"
#include "form/VdPrnUnit.h"
#include "platform/gbtext.h"
#include "report/core/qrtext.h"

#include <QString>
#include <algorithm>
#include <cmath>

namespace vdmq {

const qr::QRPageImage& FormLayoutPage()
{
    static const qr::QRPageImage page = [] {
        TApprovalForm holder;
        // The filler sets the margins every page is printed with first;
        // without a roster row it stops right after that, and the labels
        // keep their captions from the layout.
        holder.Report->OnNeedData = [&holder](qr::TCustomQuickRep& sender, bool& more) {
            try {
                holder.FillRow(sender, more);
            } catch (const std::exception&) {
            }
        };
        auto store = holder.Report->PrepareNew();
        return store->PageCount() > 0 ? store->Page(1) : qr::QRPageImage{};
    }();
    return page;
}

namespace {

QRectF unite(qr::QRItem::Kind a, qr::QRItem::Kind b)
{
    QRectF r;
    for (const qr::QRItem& item : FormLayoutPage().items)
        if ((item.kind == a || item.kind == b) && !(item.kind == qr::QRItem::Text && item.text.isEmpty()))
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
        qr::detail::MeasuredFont& mf = qr::detail::measured(font);
        const double w = mf.width(s) / 10.0, h = mf.lineHeight() / 10.0;
        if (align == qr::taRightJustify)
            x -= w;
        else if (align == qr::taCenter)
            x -= w / 2;
        qr::QRItem t;
        t.kind = qr::QRItem::Text;
        t.rect = QRectF((x - align_.x()) * 10, (y - align_.y()) * 10, w * 10, h * 10);
        t.text = s;
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
// The scales: their 0 this far from the paper's edge as designed, their
// marks this far either side of it, so the nearest mark is kScaleEdge in,
// beyond the widest unprintable border printers have.
constexpr double kScaleZero = 20;
constexpr double kScaleReach = 10;
constexpr double kScaleEdge = kScaleZero - kScaleReach;
// Texts keep this far from the edge too.
constexpr double kTextEdge = 5.5;

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
               .arg(sheet.PaperText, SignedMmText(sheet.OffsetMm.x()), SignedMmText(sheet.OffsetMm.y())),
           small, qr::taCenter);

    // The distance each frame line should have from its edge of the paper.
    b.text(cx, f.top() + 1.2, QStringLiteral("↑ 上框线到纸上边应为 %1 mm").arg(MmText(d.top)), small, qr::taCenter);
    const double sideY = f.top() + 150;
    b.text(std::max(f.left() + 1.2, kTextEdge), sideY, QStringLiteral("← 左框线到纸左边应为 %1 mm").arg(MmText(d.left)),
           small);
    b.text(f.right() - 1.2, sideY, QStringLiteral("右框线到纸右边应为 %1 mm →").arg(MmText(d.right)), small,
           qr::taRightJustify);
    const double lh = qr::detail::measured(small).lineHeight() / 10.0;
    b.text(cx, f.bottom() - 1.2 - lh, QStringLiteral("↓ 下框线到纸下边应为 %1 mm").arg(MmText(d.bottom)), small,
           qr::taCenter);
}

// The two scales.  A printer prints nothing in a border of up to about
// 5 mm round the sheet (4.2 mm on a generic PostScript driver), so no scale
// can meet the paper's edge.  Each scale is read with a ruler instead: laid
// with its 0 on the paper's edge, the ruler's kScaleZero mark points at the
// correction on the scale.  The scale's 0 stands kScaleZero from the edge as
// designed, its marks kScaleReach either side of it, all inside the
// printable area; labels carry their sign, and the captions say which way
// minus moves.  They stand outside the frame, so no frame rule crosses them:
// the horizontal one below it, the vertical one to its right.
void drawScale(PageBuilder& b, bool horizontal, double base)
{
    const qr::TQRFont digits = font("Arial", 6), bold = font("Arial", 6, true);
    const double h = qr::detail::measured(digits).lineHeight() / 10.0;
    // The scale's line, then a tick every half millimetre: long every 5,
    // middling every 1, short between.
    if (horizontal)
        b.rule(kScaleEdge, base - kTick / 2, 2 * kScaleReach, kTick);
    else
        b.rule(base - kTick / 2, kScaleEdge, kTick, 2 * kScaleReach);
    const int halves = int(2 * kScaleReach);
    for (int half = -halves; half <= halves; ++half) {
        const double at = kScaleZero + half / 2.0;
        const double len = half % 10 == 0 ? 4 : half % 2 == 0 ? 2.6 : 1.4;
        if (horizontal)
            b.rule(at - kTick / 2, base, kTick, len);
        else
            b.rule(base, at - kTick / 2, len, kTick);
        if (half % 10 != 0)
            continue;
        const int value = half / 2;
        const QString label = value > 0   ? QStringLiteral("+%1").arg(value)
                              : value < 0 ? QStringLiteral("−%1").arg(-value)
                                          : QStringLiteral("0");
        if (horizontal)
            b.text(at, base + 4.4, label, value == 0 ? bold : digits, qr::taCenter);
        else
            b.text(base + 4.6, at - h / 2, label, value == 0 ? bold : digits);
    }
}

void drawRulers(PageBuilder& b, const QRectF& f, const QSizeF& sheet)
{
    const qr::TQRFont small = font("宋体", 8);
    const QString zero = QString::number(kScaleZero);

    // The horizontal scale, below the frame, measured from the left edge.
    const double yr = f.bottom() + 4;
    drawScale(b, true, yr);
    double y = yr - 0.4;
    for (const QString& line :
         {QStringLiteral("← 水平刻度：直尺的 0 对准纸的左边缘，沿刻度放平，直尺上 %1 mm 处对着的读数").arg(zero),
          QStringLiteral("    就是水平偏移要加上的数。负数：向左移；正数：向右移。")})
        y += b.text(kScaleZero + kScaleReach + 3, y, line, small) + 0.4;

    // The vertical scale, right of the frame, measured from the top edge
    // (kept clear of the sheet's right edge); its caption inside the frame.
    drawScale(b, false, std::min(f.right() + 2.5, sheet.width() - kTextEdge - 10));
    const QString lines[] = {
        QStringLiteral("垂直刻度在右上方框线外 ↗"), QStringLiteral("直尺的 0 对准纸的上边缘竖放，"),
        QStringLiteral("直尺上 %1 mm 处对着的读数").arg(zero), QStringLiteral("就是垂直偏移要加上的数。"),
        QStringLiteral("负数：向上移；正数：向下移。")};
    double widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, qr::detail::measured(small).width(line) / 10.0);
    y = f.top() + 20;
    for (const QString& line : lines)
        y += b.text(f.right() - 1.2 - widest, y, line, small) + 0.3;
}

void drawSteps(PageBuilder& b, const QRectF& f)
{
    const qr::TQRFont body = font("宋体", 10);
    const QString zero = QString::number(kScaleZero);
    // How to use it.
    const QString steps[] = {
        QStringLiteral("怎样校准："),
        QStringLiteral("1. 用平常打印审批表的打印机和纸张打印本页。"),
        QStringLiteral("2. 把直尺的 0 刻度对准纸的左边缘，沿框线下方的水平刻度放平：直尺上"),
        QStringLiteral("   %1 mm 处对着的读数，就是水平偏移要加上的数（负数向左移，正数向右移）。").arg(zero),
        QStringLiteral("3. 同样把直尺的 0 对准纸的上边缘，沿右上方的垂直刻度竖放，读出垂直"),
        QStringLiteral("   偏移要加上的数（负数向上移，正数向下移）。"),
        QStringLiteral("4. 新的偏移 = 本页所用偏移 + 读数。在主窗口的“纸张”中为这台打印机"),
        QStringLiteral("   填好，再打印本页核对：直尺上 %1 mm 处应对着刻度 0。").arg(zero),
        QStringLiteral("5. 也可用直尺量四条框线到纸边的距离，与框线旁写的应有距离比较："),
        QStringLiteral("   改正量 = 应有距离 − 量得距离（左边对水平，上边对垂直）。"),
        QStringLiteral("6. 四条框线都应完整。缺了哪条，说明打印机印不到那里，请把表格"),
        QStringLiteral("   往里移，或改用 A4 纸居中打印。"),
        QStringLiteral("打印机印不到纸边的一圈，所以刻度离纸边 %1 mm 以上，用直尺读数。")
            .arg(QString::number(kScaleEdge)),
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
    drawRulers(b, f, sheet.SheetMm);
    drawSteps(b, f);
    return page;
}

}  // namespace vdmq
