#include "app/core/paper.h"

#include "app/core/settings.h"
#include "platform/gbtext.h"
#include "platform/profile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

namespace vdmq {

namespace {

double ceil1(double mm) { return std::ceil(mm * 10 - 1e-6) / 10; }

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return QString::fromLatin1(a.data(), qsizetype(a.size()))
               .compare(QString::fromLatin1(b.data(), qsizetype(b.size())), Qt::CaseInsensitive) == 0;
}

std::string trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return std::string(s);
}

std::optional<double> storedOffset(const QString& path, std::string_view key)
{
    const auto text = ReadProfileString(path, kPaperSection, key);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const double v = QString::fromStdString(trimmed(text->toStdString())).toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return std::clamp(RoundMm(v), -kMaxOffsetMm, kMaxOffsetMm);
}

double offsetFor(const QString& path, std::string_view axis, const QString& printer)
{
    if (!printer.isEmpty())
        if (const auto own = storedOffset(path, OffsetKey(axis, printer)))
            return *own;
    return storedOffset(path, axis).value_or(0);
}

void writeKeys(const QString& path, std::initializer_list<std::pair<std::string, QString>> keys)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
    try {
        for (const auto& [key, value] : keys)
            WriteProfileString(path, kPaperSection, key, value);
    } catch (const EProfileWriteError&) {
        throw ESettingsWriteError(path);
    }
}

}  // namespace

// ---- the settings file ---------------------------------------------------------

std::string OffsetKey(std::string_view axis, const QString& printer)
{
    std::string key(axis);
    if (printer.isEmpty())
        return key;
    key += '.';
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : printer.toUtf8()) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '_' ||
            b == '.') {
            key += c;
        } else {
            key += '%';
            key += hex[b >> 4];
            key += hex[b & 15];
        }
    }
    return key;
}

TPaperSettings LoadPaperSettings(const QString& path, const QString& printer)
{
    TPaperSettings s;
    if (const auto paper = ReadProfileString(path, kPaperSection, "Paper"))
        s.Paper = ParsePaper(trimmed(paper->toStdString())).value_or(TPaper::B5);
    if (const auto pos = ReadProfileString(path, kPaperSection, "A4Position")) {
        const std::string p = trimmed(pos->toStdString());
        s.Centred = equalsNoCase(p, "Centre") || equalsNoCase(p, "Center");
    }
    s.OffsetXmm = offsetFor(path, "OffsetX", printer);
    s.OffsetYmm = offsetFor(path, "OffsetY", printer);
    s.OffsetsInPdf = trimmed(ReadProfileString(path, kPaperSection, "PdfOffsets", "0").toStdString()) == "1";
    return s;
}

namespace {

QString paperKeyValue(TPaper paper) { return paper == TPaper::A4 ? QStringLiteral("A4") : QStringLiteral("B5"); }

}  // namespace

void SavePaperChoice(const QString& path, TPaper paper) { writeKeys(path, {{"Paper", paperKeyValue(paper)}}); }

void SavePaperSettings(const QString& path, const TPaperSettings& s, const QString& printer)
{
    writeKeys(path, {
                        {"Paper", paperKeyValue(s.Paper)},
                        {"A4Position", s.Centred ? QStringLiteral("Centre") : QStringLiteral("TopLeft")},
                        {OffsetKey("OffsetX", printer), MmText(s.OffsetXmm)},
                        {OffsetKey("OffsetY", printer), MmText(s.OffsetYmm)},
                        {"PdfOffsets", s.OffsetsInPdf ? QStringLiteral("1") : QStringLiteral("0")},
                    });
}

void SavePrinterOffsets(const QString& path, const QString& printer, QPointF offsetMm)
{
    writeKeys(path, {
                        {OffsetKey("OffsetX", printer), MmText(offsetMm.x())},
                        {OffsetKey("OffsetY", printer), MmText(offsetMm.y())},
                    });
}

// ---- values ----------------------------------------------------------------------

std::optional<TPaper> ParsePaper(std::string_view text)
{
    if (equalsNoCase(text, "b5"))
        return TPaper::B5;
    if (equalsNoCase(text, "a4"))
        return TPaper::A4;
    return std::nullopt;
}

std::optional<double> ParseOffsetMm(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int whole = 0, digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
        whole = whole * 10 + (text[i++] - '0');
        ++digits;
    }
    if (digits == 0 || digits > 2)
        return std::nullopt;
    int tenths = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (i + 1 != text.size() || text[i] < '0' || text[i] > '9')
            return std::nullopt;
        tenths = text[i++] - '0';
    }
    if (i != text.size())
        return std::nullopt;
    const double v = (whole * 10 + tenths) / 10.0;
    if (v > kMaxOffsetMm)
        return std::nullopt;
    return negative ? -v : v;
}

std::optional<QPointF> ParseOffsetPair(std::string_view text)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const auto x = ParseOffsetMm(text.substr(0, comma));
    const auto y = ParseOffsetMm(text.substr(comma + 1));
    if (!x || !y)
        return std::nullopt;
    return QPointF(*x, *y);
}

QSizeF PaperSizeMm(TPaper paper) { return paper == TPaper::A4 ? QSizeF(210, 297) : QSizeF(182, 257); }

std::optional<TPaper> PaperForSheet(const QSizeF& mm)
{
    for (TPaper p : {TPaper::B5, TPaper::A4}) {
        const QSizeF size = PaperSizeMm(p);
        if (std::abs(mm.width() - size.width()) <= 1.0 && std::abs(mm.height() - size.height()) <= 1.0)
            return p;
    }
    return std::nullopt;
}

QPointF AlignMm(const TPaperSettings& s)
{
    if (s.Paper != TPaper::A4 || !s.Centred)
        return {};
    const QSizeF sheet = PaperSizeMm(s.Paper);
    const QRectF content = FormContentMm();
    return QPointF(RoundMm((sheet.width() - content.width()) / 2 - content.left()),
                   RoundMm((sheet.height() - content.height()) / 2 - content.top()));
}

qr::TQRPlacement PlacementFor(const TPaperSettings& s, bool withOffsets)
{
    qr::TQRPlacement p;
    p.SheetMm = PaperSizeMm(s.Paper);
    p.ShiftMm = AlignMm(s);
    if (withOffsets)
        p.ShiftMm += QPointF(s.OffsetXmm, s.OffsetYmm);
    return p;
}

QString PaperText(const TPaperSettings& s)
{
    if (s.Paper == TPaper::B5)
        return QStringLiteral("B5（182×257 mm）");
    return s.Centred ? QStringLiteral("A4（210×297 mm），居中") : QStringLiteral("A4（210×297 mm），左上角");
}


QString OffsetText(const TPaperSettings& s)
{
    return QStringLiteral("水平 %1 mm，垂直 %2 mm").arg(SignedMmText(s.OffsetXmm), SignedMmText(s.OffsetYmm));
}

TCalibrationSheet CalibrationSheetFor(const TPaperSettings& s)
{
    TCalibrationSheet c;
    c.SheetMm = PaperSizeMm(s.Paper);
    c.AlignMm = AlignMm(s);
    c.OffsetMm = QPointF(s.OffsetXmm, s.OffsetYmm);
    c.PaperText = PaperText(s);
    return c;
}

TCheckSheet CheckSheetFor(const TPaperSettings& s, bool withOffsets)
{
    TCheckSheet sheet;
    sheet.placement = PlacementFor(s, withOffsets);
    QString text = PaperText(s);
    if (withOffsets && (s.OffsetXmm != 0 || s.OffsetYmm != 0))
        text += QStringLiteral("，偏移") + OffsetText(s);
    sheet.description = text;
    return sheet;
}

// ---- the warning before printing -----------------------------------------------

namespace {

struct SideText {
    qr::TQRSide side;
    const char* where;      // 左边
    const char* frameLine;  // 左框线
    const char* across;     // the rules that run into this edge: 横线
    const char* end;        // their end at this edge: 左端
    const char* along;      // rules parallel to this edge: 竖线
};

const SideText kSides[] = {
    {qr::sdLeft, "左边", "左框线", "横线", "左端", "竖线"},
    {qr::sdTop, "上边", "上框线", "竖线", "上端", "横线"},
    {qr::sdRight, "右边", "右框线", "横线", "右端", "竖线"},
    {qr::sdBottom, "下边", "下框线", "竖线", "下端", "横线"},
};

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// How far `ink` reaches past the printable edge on `side`.
double reach(const QRectF& ink, const QRectF& printable, qr::TQRSide side)
{
    switch (side) {
    case qr::sdLeft: return printable.left() - ink.left();
    case qr::sdTop: return printable.top() - ink.top();
    case qr::sdRight: return ink.right() - printable.right();
    case qr::sdBottom: return ink.bottom() - printable.bottom();
    }
    return 0;
}

double edgeOf(const QRectF& r, qr::TQRSide side)
{
    switch (side) {
    case qr::sdLeft: return r.left();
    case qr::sdTop: return r.top();
    case qr::sdRight: return r.right();
    case qr::sdBottom: return r.bottom();
    }
    return 0;
}

QString quoted(const QString& text)
{
    QString t = text.trimmed();
    if (t.size() > 12)
        t = t.left(11) + QStringLiteral("…");
    return QStringLiteral("“%1”").arg(t);
}

// What the border cuts on one side of the sheet, as one line ("· 左边：…。"),
// or nothing when it cuts nothing there.
QString sideLine(const SideText& st, const std::vector<qr::TQRBorderLoss>& losses, const QRectF& printable,
                 const QRectF& frame, const QSizeF& sheet)
{
    QStringList frameWhole, frameThin, texts;
    int otherWhole = 0, otherThin = 0, across = 0;
    double acrossCut = 0;
    for (const qr::TQRBorderLoss& loss : losses) {
        if (!(loss.sides & st.side))
            continue;
        const QRectF& ink = loss.inkMm;
        if (loss.item->kind == qr::QRItem::Text) {
            texts << quoted(loss.item->text);
            continue;
        }
        const bool vertical = ink.height() > ink.width();
        const bool parallel = (st.side == qr::sdLeft || st.side == qr::sdRight) == vertical;
        if (!parallel) {
            ++across;
            acrossCut =
                std::max(acrossCut, std::min(reach(ink, printable, st.side), vertical ? ink.height() : ink.width()));
            continue;
        }
        if (std::abs(edgeOf(ink, st.side) - edgeOf(frame, st.side)) >= 0.3) {
            ++(loss.whole ? otherWhole : otherThin);
            continue;
        }
        const double dist = st.side == qr::sdLeft    ? ink.left()
                            : st.side == qr::sdTop   ? ink.top()
                            : st.side == qr::sdRight ? sheet.width() - ink.right()
                                                     : sheet.height() - ink.bottom();
        (loss.whole ? frameWhole : frameThin)
            << QStringLiteral("%1（离纸边 %2 mm）").arg(u(st.frameLine), MmText(dist));
    }
    QStringList parts;
    if (!frameWhole.isEmpty())
        parts << frameWhole.join(QStringLiteral("、")) + QStringLiteral("整条印不出");
    if (otherWhole > 0)
        parts << QStringLiteral("%1 条%2整条印不出").arg(otherWhole).arg(u(st.along));
    if (!frameThin.isEmpty())
        parts << frameThin.join(QStringLiteral("、")) + QStringLiteral("只印出一部分");
    if (otherThin > 0)
        parts << QStringLiteral("%1 条%2只印出一部分").arg(otherThin).arg(u(st.along));
    if (across > 0)
        parts << QStringLiteral("%1 条%2的%3缺一截（最多 %4 mm）")
                     .arg(across)
                     .arg(u(st.across), u(st.end), MmText(std::max(0.1, acrossCut)));
    if (!texts.isEmpty()) {
        texts.removeDuplicates();
        QString t = QStringLiteral("文字") + texts.mid(0, 2).join(QStringLiteral("、"));
        if (texts.size() > 2)
            t += QStringLiteral("等 %1 处").arg(texts.size());
        parts << t + QStringLiteral("被切掉");
    }
    if (parts.isEmpty())
        return {};
    return QStringLiteral("· %1：%2。").arg(u(st.where), parts.join(QStringLiteral("；")));
}

// A move that brings everything into the printable area, when there is one
// within the offsets' range; else the advice to take other paper.
QString moveAdvice(const qr::QRPageImage& page, const qr::TQRPlacement& placement, const QRectF& printable,
                   const TPaperSettings& s, bool withOffsets)
{
    QRectF ink;
    for (const qr::QRItem& item : page.items) {
        const QRectF r = qr::InkRectMm(item).translated(placement.ShiftMm);
        if (!r.isNull())
            ink = ink.isNull() ? r : ink.united(r);
    }
    auto move = [](double low, double high, double first, double last) -> std::optional<double> {
        // Shift d with first + d >= low and last + d <= high, as small as possible.
        if (last - first > high - low)
            return std::nullopt;
        if (first < low)
            return ceil1(low - first);
        if (last > high)
            return -ceil1(last - high);
        return 0.0;
    };
    const auto dx = move(printable.left(), printable.right(), ink.left(), ink.right());
    const auto dy = move(printable.top(), printable.bottom(), ink.top(), ink.bottom());
    const double nx = RoundMm(s.OffsetXmm + dx.value_or(0)), ny = RoundMm(s.OffsetYmm + dy.value_or(0));
    if (withOffsets && dx && dy && std::abs(nx) <= kMaxOffsetMm && std::abs(ny) <= kMaxOffsetMm) {
        TPaperSettings fixed = s;
        fixed.OffsetXmm = nx;
        fixed.OffsetYmm = ny;
        return QStringLiteral("把偏移改为%1（主窗口的“纸张”，或 vdmq-print --offset %2,%3），"
                              "整张表就都在打印机印得到的范围里%4。")
            .arg(OffsetText(fixed), QString::number(nx, 'f', 1), QString::number(ny, 'f', 1),
                 s.Paper == TPaper::A4 && !s.Centred ? QStringLiteral("；也可以改选 A4 居中") : QString());
    }
    return QStringLiteral("这台打印机在这种纸上印得到的范围放不下整张表%1。")
        .arg(s.Paper == TPaper::B5 ? QStringLiteral("，请改用 A4 纸") : QString());
}

}  // namespace

QString PaperWarning(const QString& printer, const qr::TQRPaperSupport& support, const TPaperSettings& s,
                     const qr::QRPageImage& page, bool withOffsets)
{
    if (!support.known)
        return {};
    QStringList out;
    const QString paperName =
        s.Paper == TPaper::A4 ? QStringLiteral("A4（210×297 mm）") : QStringLiteral("B5（182×257 mm）");
    if (!support.hasPaper()) {
        out << QStringLiteral("打印机“%1”没有%2这种纸，它的驱动也不收自定义大小的纸：表格会被印到别的纸上、"
                              "位置不对，或者打印机停下来等人放纸。请在“纸张”中改选这台打印机有的纸%3。")
                   .arg(printer, paperName, s.Paper == TPaper::B5 ? QStringLiteral("（如 A4）") : QString());
    }

    // Without the paper, the printer's border says nothing about where the
    // form will land.
    if (!support.hasPaper())
        return out.join(QLatin1Char('\n'));
    const qr::TQRPlacement placement = PlacementFor(s, withOffsets);
    const auto losses = qr::BorderLosses(page, placement, support.borderMm);
    if (losses.empty())
        return out.join(QLatin1Char('\n'));

    const QSizeF sheet = qr::SheetSizeMm(page, placement);
    const QMarginsF& m = support.borderMm;
    const QRectF printable(m.left(), m.top(), sheet.width() - m.left() - m.right(),
                           sheet.height() - m.top() - m.bottom());
    const QRectF frame = FormFrameMm().translated(placement.ShiftMm);

    out << QStringLiteral("打印机“%1”在这种纸上印不到四边各一圈：左 %2、上 %3、右 %4、下 %5 mm。"
                          "按现在的纸张“%6”和偏移“%7”，下面这些会印不出：")
               .arg(printer, MmText(m.left()), MmText(m.top()), MmText(m.right()), MmText(m.bottom()), PaperText(s),
                    withOffsets ? OffsetText(s) : QStringLiteral("不用"));
    for (const SideText& st : kSides)
        if (const QString line = sideLine(st, losses, printable, frame, sheet); !line.isEmpty())
            out << line;
    out << moveAdvice(page, placement, printable, s, withOffsets);
    return out.join(QLatin1Char('\n'));
}

}  // namespace vdmq
