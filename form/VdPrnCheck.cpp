// The check before paper.  Each flagged row is prepared in one holder the
// way a print prepares it (the engine calls the filler, lays out the page);
// then every data label is laid out again where its band stands, by the
// engine's own routine, and what shows is compared with the caption and
// with the rules around the label.  What counts is ink: blanks (spaces, a
// tab, U+3000) print nothing, so they are neither lost when cut nor past a
// rule, unless the white ground of their box covers a rule.
#include "form/VdPrnCheck.h"

#include "form/PubFunc.h"
#include "form/RosterColumns.h"
#include "platform/gbtext.h"
#include "report/core/qr.h"
#include "report/core/qrsheet.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>

namespace vdmq {

const char* CheckKindName(TCheckKind kind)
{
    switch (kind) {
    case TCheckKind::FillError: return "fill-error";
    case TCheckKind::EmptyRequired: return "empty";
    case TCheckKind::TextCut: return "cut";
    case TCheckKind::PastLine: return "past-line";
    case TCheckKind::OpinionTooLong: return "opinion-too-long";
    case TCheckKind::BadYearMonth: return "year-month";
    case TCheckKind::NotANumber: return "number";
    case TCheckKind::EntryField: return "entry";
    case TCheckKind::NoGlyph: return "no-glyph";
    }
    return "?";
}

int TCheckReport::RowsWithProblems() const
{
    std::set<int> rows;
    for (const TCheckProblem& p : problems)
        if (p.row > 0)
            rows.insert(p.row);
    return int(rows.size());
}

int TCheckReport::EntryProblems() const
{
    return int(std::count_if(problems.begin(), problems.end(), [](const TCheckProblem& p) { return p.row == 0; }));
}

namespace {

// Labels whose text comes from the run's entries, the same on every form.
bool fromEntries(const std::string& label)
{
    const TLabelBinding* b = Binding(label);
    return b && b->text == TLabelText::Entry;
}

bool opinionLine(const std::string& label)
{
    const TLabelBinding* b = Binding(label);
    return b && b->text == TLabelText::Opinion;
}

// The cells the form cannot do without, by the label they print in.
const char* const kRequired[] = {"l_xm", "l_ny2"};

// The number columns: the label each prints in (none for the monthly
// change, which only the opinion shows), and whether the fixed opinion
// compares it as a whole number to choose its words.
struct NumberColumn {
    const char* label;  // empty: the monthly change
    bool compared;
    int column() const { return *label ? Binding(label)->column : col::MonthlyRise; }
};
const NumberColumn kNumbers[] = {
    {"l_ph1", false}, {"l_gw1", true},  {"m_gw1", true}, {"l_xj1", false}, {"m_xj1", true},
    {"l_bt1", false}, {"l_ph2", false}, {"l_gw2", true}, {"m_gw2", true},  {"l_xj2", false},
    {"m_xj2", true},  {"l_bt2", false}, {"", false},
};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEps = 1e-3;  // mm

// Where a data label may print: the rules nearest to it on each side, in
// band millimetres (infinite when there is none).
struct Bounds {
    double left = -kInf, right = kInf, bottom = kInf;
    double leftWidth = 0, rightWidth = 0, bottomWidth = 0;  // the rules' thickness
    bool rightIsFrame = false;                              // the rule on the right is the table's outer one
};

Bounds boundsOf(const qr::TQRLabel& l)
{
    Bounds b;
    double outermost = -kInf;
    for (const auto& s : l.Parent->Shapes) {
        const bool vertical = s->Width < s->Height;
        if (vertical) {
            outermost = std::max(outermost, s->Left);
            const bool besides = s->Top < l.Top + l.Height - kEps && s->Top + s->Height > l.Top + kEps;
            if (!besides)
                continue;
            if (s->Left >= l.Left + kEps && s->Left < b.right) {
                b.right = s->Left;
                b.rightWidth = s->Width;
            } else if (s->Left + s->Width <= l.Left + kEps && s->Left + s->Width > b.left) {
                b.left = s->Left + s->Width;
                b.leftWidth = s->Width;
            }
        } else {
            const bool across = s->Left < l.Left + l.Width - kEps && s->Left + s->Width > l.Left + kEps;
            if (across && s->Top >= l.Top + kEps && s->Top < b.bottom) {
                b.bottom = s->Top;
                b.bottomWidth = s->Height;
            }
        }
    }
    b.rightIsFrame = std::isfinite(b.right) && b.right >= outermost - kEps;
    return b;
}

// The characters of `s`, each a code point (a pair of surrogates one).
template <class Each>
void forEachCharacter(const QString& s, Each each)
{
    for (qsizetype i = 0; i < s.size();) {
        const qsizetype len = s[i].isHighSurrogate() && i + 1 < s.size() ? 2 : 1;
        each(QStringView(s).mid(i, len));
        i += len;
    }
}

// Characters other than spaces and line breaks: an upper bound of the
// characters that print something, cheap to count.
int nonBlankChars(const QString& s)
{
    int n = 0;
    forEachCharacter(s, [&](QStringView c) { n += !(c == u" " || c == u"\r" || c == u"\n"); });
    return n;
}

// Characters that put ink on the paper in `font`.
int inkedChars(const qr::TQRFont& font, const QString& s)
{
    int n = 0;
    forEachCharacter(s, [&](QStringView c) { n += qr::HasInk(font, c.toString()); });
    return n;
}

// Millimetres for a message, rounded to the nearest tenth.  Nothing under
// kVisibleOverlapMm is reported, so no message says 0.0.
QString mm(double v) { return QString::number(std::round(v * 10) / 10, 'f', 1); }

QString columnNote(int column)
{
    return column > 0 ? QStringLiteral("（%1列）").arg(QString::fromStdString(col::Letters(column))) : QString();
}
QString quoted(const QString& text) { return u'“' + text + u'”'; }

// A real year and month as a reader takes it: a year from 1901 to 2099
// (the years the opinion's month is worked out for) and a month from 1 to
// 12, as 2009.07, 2009-7, 2009/07 or 2009年7月, a day after them allowed.
bool isYearMonth(const QString& text)
{
    // The form's own way, YYYY.MM or YYYY.M, without asking the pattern.
    const qsizetype n = text.size();
    const auto digit = [&](qsizetype i) { return text[i] >= u'0' && text[i] <= u'9'; };
    if ((n == 6 || n == 7) && text[4] == u'.' && digit(0) && digit(1) && digit(2) && digit(3) && digit(5) &&
        (n == 6 || digit(6))) {
        const int year = text.left(4).toInt(), month = text.mid(5).toInt();
        return year >= 1901 && year <= 2099 && month >= 1 && month <= 12;
    }
    static const QRegularExpression re(QStringLiteral("^([0-9]{4})(?:[./-]([0-9]{1,2})(?:[./-]([0-9]{1,2}))?"
                                                      "|年([0-9]{1,2})月(?:([0-9]{1,2})日)?)$"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    const int year = m.captured(1).toInt();
    const int month = (m.captured(2).isEmpty() ? m.captured(4) : m.captured(2)).toInt();
    const QString dayText = m.captured(3).isEmpty() ? m.captured(5) : m.captured(3);
    const int day = dayText.isEmpty() ? 1 : dayText.toInt();
    return year >= 1901 && year <= 2099 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// A decimal number, blanks around it allowed: 590, -12, 59.5, 1,234.00.
bool isNumber(const QString& text)
{
    // Digits and points only: a number when at most one point stands
    // between digits.  No need to ask the pattern.
    if (!text.isEmpty() &&
        std::all_of(text.begin(), text.end(), [](QChar c) { return (c >= u'0' && c <= u'9') || c == u'.'; })) {
        const qsizetype point = text.indexOf(u'.');
        return point < 0 || (point > 0 && point + 1 < text.size() && text.indexOf(u'.', point + 1) < 0);
    }
    static const QRegularExpression re(QStringLiteral("^[+-]?(?:[0-9]+|[0-9]{1,3}(?:,[0-9]{3})+)(?:\\.[0-9]+)?$"));
    return re.match(text.trimmed()).hasMatch();
}

// The clauses of an opinion, as ranges: the pieces between "，", "。" and
// "；".
std::vector<std::pair<qsizetype, qsizetype>> clausesOf(const QString& opinion)
{
    std::vector<std::pair<qsizetype, qsizetype>> out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < opinion.size(); ++i) {
        const QChar c = opinion[i];
        if (c == u'，' || c == u'。' || c == u'；') {
            if (i > start)
                out.emplace_back(start, i);
            start = i + 1;
        }
    }
    if (start < opinion.size())
        out.emplace_back(start, opinion.size());
    return out;
}

// The words of the opinion that hold any of `anchors`: the first clause
// holding each, neighbours joined as printed, others by "……".
QString sentenceOf(const QString& opinion, const std::vector<QString>& anchors)
{
    const auto clauses = clausesOf(opinion);
    std::set<std::size_t> picked;
    for (const QString& a : anchors) {
        if (a.isEmpty())
            continue;
        for (std::size_t i = 0; i < clauses.size(); ++i) {
            const auto [from, to] = clauses[i];
            if (QStringView(opinion).mid(from, to - from).contains(a)) {
                picked.insert(i);
                break;
            }
        }
    }
    QString out;
    std::size_t groupStart = 0, last = 0;
    bool open = false;
    auto close = [&] {
        if (open)
            out += opinion.mid(clauses[groupStart].first, clauses[last].second - clauses[groupStart].first);
    };
    for (std::size_t i : picked) {
        if (open && i == last + 1) {
            last = i;
            continue;
        }
        close();
        if (open)
            out += u"……";
        groupStart = last = i;
        open = true;
    }
    close();
    return out;
}

// A row whose own source gives the cells of the row being checked, and
// remembers what the filler asked for last: a failing fill names its cell.
class RowSource : public TFillSource {
public:
    explicit RowSource(const TFillSource& inner) : inner_(inner) {}
    int row = 0;
    mutable int failedColumn = 0;  // the cell whose read threw
    mutable bool widthAsked = false;
    void Reset() const
    {
        failedColumn = 0;
        widthAsked = false;
    }
    int CurRow() const override { return row; }
    QString CellText(int r, int c) const override
    {
        try {
            return inner_.CellText(r, c);
        } catch (...) {
            failedColumn = c;
            throw;
        }
    }
    QString OpinionWidthText() const override
    {
        widthAsked = true;
        return inner_.OpinionWidthText();
    }
    QString DocNo() const override { return inner_.DocNo(); }
    QDate PrintDate() const override { return inner_.PrintDate(); }
    QString IssuedBy() const override { return inner_.IssuedBy(); }
private:
    const TFillSource& inner_;
};

// A label as printed (mm, on the page's own paper): where its glyphs put
// ink, its white ground, and its lines (pointing into the items).
struct Extent {
    QRectF ink, box;
    std::vector<const QString*> lines;
};

// Glyphs reach at most this far outside their line's box (mm): a text
// whose box keeps that far inside every limit needs no glyph looked at.
constexpr double kInkSlackMm = 0.5;

// `limits`: the rules and the printable area around the label, whose
// nearness makes the glyphs' own extent matter.
Extent extentOf(const std::vector<qr::QRItem>& items, const QRectF& limits)
{
    Extent e;
    const QRectF inner = limits.adjusted(kInkSlackMm, kInkSlackMm, -kInkSlackMm, -kInkSlackMm);
    for (const qr::QRItem& it : items) {
        const QRectF r(it.rect.topLeft() / 10, it.rect.size() / 10);
        if (it.kind == qr::QRItem::Fill) {
            e.box = e.box.isNull() ? r : e.box.united(r);
        } else if (it.kind == qr::QRItem::Text) {
            e.lines.push_back(&it.text);
            QRectF ink = r;  // far from every limit: its box stands for its ink
            if (!inner.contains(r)) {
                const QRectF glyphs = qr::TextInk(it);
                ink = QRectF(glyphs.topLeft() / 10, glyphs.size() / 10);
            }
            if (!ink.isNull())
                e.ink = e.ink.isNull() ? ink : e.ink.united(ink);
        }
    }
    return e;
}

// Where the forms' ink can land, in millimetres on the page's own paper.
struct Printable {
    QRectF area;
    bool border = false;  // the printer's border, not only the sheet's edge
    QString where() const { return border ? QStringLiteral("在打印机印不到的纸边里") : QStringLiteral("在纸外"); }
    QString edge() const { return border ? QStringLiteral("打印机能印到的范围") : QStringLiteral("纸边"); }
};

}  // namespace

struct TFormCheck::Impl {
    explicit Impl(const TFillSource& s) : source(s), rowSource(s)
    {
        form.Source = &rowSource;
        for (const std::string& name : DataLabelNames()) {
            const TLabelBinding* b = Binding(name);
            if (!b)
                throw std::logic_error("form check: no binding for the data label " + name);
            qr::TQRLabel* l = form.Label(name);
            labels.push_back({l, b, boundsOf(*l), QString::fromUtf8(b->field), b->column});
        }
        fillErrorLead = QStringLiteral("这一行填表出错，打印到这里会中断：");
    }

    struct Watched {
        qr::TQRLabel* label;
        const TLabelBinding* binding;
        Bounds bounds;
        QString field;
        int column;  // the column its text came from in the row checked; 0 for none
    };

    const TFillSource& source;
    RowSource rowSource;
    TApprovalForm form;
    std::vector<Watched> labels;
    QString fillErrorLead;
    TCheckSheet sheet;
    int stoppedAt = 0;  // the column whose text stopped the last fill; 0 for none

    const Watched* watched(const std::string& name) const
    {
        for (const Watched& w : labels)
            if (w.label->Name == name)
                return &w;
        return nullptr;
    }
    QString cell(int row, int column) const
    {
        try {
            return source.CellText(row, column);
        } catch (...) {
            return {};
        }
    }
    bool widthIsNumber() const
    {
        int w = 0;
        return TryStrToInt(source.OpinionWidthText(), w);
    }

    Printable printable(const qr::TCustomQuickRep& rep) const;
    void required(int row, std::vector<TCheckProblem>& out) const;
    bool fill(int row, std::vector<TCheckProblem>& out);
    void yearMonths(int row, bool filled, std::vector<TCheckProblem>& out) const;
    void numbers(int row, bool fixedWording, std::vector<TCheckProblem>& out) const;
    void inspect(const Watched& w, const qr::TQRBandPlace& place, const Printable& paper, int opinionWidth,
                 std::vector<TCheckProblem>& out) const;
    void textCut(const Watched& w, const Extent& e, std::vector<TCheckProblem>& out) const;
    void noGlyph(const Watched& w, const Extent& e, std::vector<TCheckProblem>& out) const;
    void pastRight(const Watched& w, const Extent& e, const qr::TQRBandPlace& place, const Printable& paper,
                   int opinionWidth, std::vector<TCheckProblem>& out) const;
    void pastOtherSides(const Watched& w, const Extent& e, const qr::TQRBandPlace& place, const Printable& paper,
                        std::vector<TCheckProblem>& out) const;
    TCheckProblem problemOf(const Watched& w, TCheckKind kind) const;
    QString whereOf(const Watched& w) const;
    QString opinion() const
    {
        return form.OpinionLine1->Caption + form.OpinionLine2->Caption + form.OpinionLine3->Caption +
               form.OpinionLine4->Caption;
    }
};

TFormCheck::TFormCheck(const TFillSource& source) : d_(std::make_unique<Impl>(source)) {}
TFormCheck::~TFormCheck() = default;

const TApprovalForm& TFormCheck::Form() const { return d_->form; }

void TFormCheck::SetSheet(const TCheckSheet& sheet) { d_->sheet = sheet; }

TCheckProblem TFormCheck::Impl::problemOf(const Watched& w, TCheckKind kind) const
{
    TCheckProblem p;
    p.kind = kind;
    p.label = w.label->Name;
    p.field = w.field;
    p.column = w.column;
    return p;
}

QString TFormCheck::Impl::whereOf(const Watched& w) const { return w.field + columnNote(w.column); }

Printable TFormCheck::Impl::printable(const qr::TCustomQuickRep& rep) const
{
    // The sheet, less the printer's border, seen from the page: a form
    // moved right by the offsets has that much less room on the right.
    const double w = rep.Page.Tenths(rep.Page.Portrait ? qr::TQRPage::Width : qr::TQRPage::Length) / 10;
    const double l = rep.Page.Tenths(rep.Page.Portrait ? qr::TQRPage::Length : qr::TQRPage::Width) / 10;
    const qr::TQRPlacement& place = sheet.placement;
    const QSizeF paper = place.SheetMm.isValid() && !place.SheetMm.isEmpty() ? place.SheetMm : QSizeF(w, l);
    const QMarginsF& m = sheet.borderMm;
    Printable p;
    p.area = QRectF(m.left(), m.top(), paper.width() - m.left() - m.right(), paper.height() - m.top() - m.bottom())
                 .translated(-place.ShiftMm);
    p.border = m.left() > 0 || m.top() > 0 || m.right() > 0 || m.bottom() > 0;
    return p;
}

// A required cell that prints nothing: empty, or blanks only (spaces, a
// tab, U+3000 full-width spaces).
void TFormCheck::Impl::required(int row, std::vector<TCheckProblem>& out) const
{
    for (const char* label : kRequired) {
        const Watched& w = *watched(label);
        const int column = w.binding->column;
        QString text;
        try {
            text = source.CellText(row, column);
        } catch (...) {
            continue;  // a cell that cannot be read stops the filler: reported there
        }
        if (qr::HasInk(w.label->Font, text))
            continue;
        TCheckProblem p;
        p.kind = TCheckKind::EmptyRequired;
        p.field = QString::fromUtf8(col::FieldName(column));
        p.column = column;
        p.cellText = text;
        p.message = p.field + columnNote(column) +
                    (Trim(text).isEmpty() ? QStringLiteral("为空") : QStringLiteral("只有空格，印出来是空白"));
        out.push_back(std::move(p));
    }
}

// Prepares the row as a print does.  False when the filler stopped: the
// problem names the cell (or nothing, when the opinion width stopped it:
// that is the entries' problem, said once).
bool TFormCheck::Impl::fill(int row, std::vector<TCheckProblem>& out)
{
    // A print gives every row a fresh holder whose filler sets all the data
    // labels; one holder serves here, so what a failing fill leaves unset
    // must not show the row before.
    for (const Watched& w : labels)
        w.label->Caption.clear();
    qr::TCustomQuickRep& rep = *form.Report;
    rowSource.Reset();
    stoppedAt = 0;
    try {
        qr::TQRPrinter scratch(&rep);
        rep.Prepare(scratch);
        return true;
    } catch (...) {
        const QString error = errorText(std::current_exception());
        TCheckProblem p;
        p.kind = TCheckKind::FillError;
        if (rowSource.failedColumn > 0) {
            // A cell that cannot be read (an error value): the reader's
            // message names it.
            p.column = rowSource.failedColumn;
            p.field = QString::fromUtf8(col::FieldName(p.column));
            p.message = fillErrorLead + p.field + columnNote(p.column) + QStringLiteral("：") + error;
        } else if (rowSource.widthAsked && !widthIsNumber()) {
            return false;
        } else {
            // The only other stop: the appointment year-month, whose pieces
            // the opinion's month is read from.
            p.column = col::Appointed;
            p.field = QString::fromUtf8(col::FieldName(p.column));
            p.cellText = cell(row, p.column);
            p.message =
                fillErrorLead + p.field + columnNote(p.column) + quoted(p.cellText) + QStringLiteral("：") + error;
        }
        stoppedAt = p.column;
        out.push_back(std::move(p));
        return false;
    }
}

// Year-months that print as no real year and month, and an opinion whose
// month of effect prints empty.
void TFormCheck::Impl::yearMonths(int row, bool filled, std::vector<TCheckProblem>& out) const
{
    const QString hint = QStringLiteral("，不是有效的年月（年月请写 6 位数字，如 200907）");
    for (const TLabelBinding& y : kLabelBindings) {
        if (y.text != TLabelText::YearMonth)
            continue;
        const Watched& w = *watched(y.label);
        const QString& printed = w.label->Caption;
        if (!qr::HasInk(w.label->Font, printed))
            continue;  // blank: a required one is reported as such
        if (!filled && y.column == stoppedAt)
            continue;  // it stops the row: said there
        if (isYearMonth(printed))
            continue;
        // Any reason of five or six bytes gets the point of a year-month;
        // other reasons print as typed.
        const QString text = cell(row, y.column);
        const qsizetype bytes = gbPrefix(Trim(text)).bytes;
        if (y.column == col::Reason && bytes != 5 && bytes != 6)
            continue;
        TCheckProblem p = problemOf(w, TCheckKind::BadYearMonth);
        p.cellText = text;
        p.printed = printed;
        p.message =
            whereOf(w) + quoted(text) + QStringLiteral("印作") + quoted(p.printed) +
            (y.column == col::Reason ? QStringLiteral("：五、六个字节长的文字会像年月一样在第 4 个字节后加点") : hint);
        out.push_back(std::move(p));
    }

    if (!filled)
        return;
    // The month of effect: the month after the appointment; when that is no
    // real month the opinion prints " 年  月" with nothing in it.
    TPny effective;
    try {
        if (ShiftYearMonth(form.NewAppointedLabel->Caption, +1, effective))
            return;
    } catch (...) {
        return;
    }
    const QString text = opinion();
    const QString emptyDate = QStringLiteral(" 年  月");
    if (!text.contains(emptyDate))
        return;  // a template without the month
    TCheckProblem p;
    p.kind = TCheckKind::BadYearMonth;
    p.field = QStringLiteral("申报意见的执行年月");
    p.column = col::Appointed;
    p.cellText = cell(row, col::Appointed);
    p.printed = sentenceOf(text, {emptyDate});
    p.message = QStringLiteral("申报意见的执行年月印不出：") + QString::fromUtf8(col::FieldName(col::Appointed)) +
                columnNote(col::Appointed) + quoted(p.cellText) + QStringLiteral("印作") +
                quoted(form.NewAppointedLabel->Caption) + QStringLiteral("，算不出下一个月，意见印作") +
                quoted(p.printed);
    out.push_back(std::move(p));
}

// Number columns whose text is no number: what the box shows, and the words
// of the opinion it makes (a text the fixed wording compares counts as 0).
void TFormCheck::Impl::numbers(int row, bool fixedWording, std::vector<TCheckProblem>& out) const
{
    const QString text = opinion();
    const qr::TQRFont& opinionFont = form.OpinionLine2->Font;
    for (const NumberColumn& n : kNumbers) {
        const Watched* w = *n.label ? watched(n.label) : nullptr;
        const int column = n.column();
        const QString value = w ? w->label->Caption : cell(row, column);
        if (!qr::HasInk(w ? w->label->Font : opinionFont, value))
            continue;  // blank
        int whole = 0;
        if (n.compared ? TryStrToInt(value, whole) : isNumber(value))
            continue;
        const bool comparedHere = n.compared && fixedWording;
        // The opinion holds the text itself (capitals in a template), and
        // in the fixed wording the clauses whose words the comparison picks.
        std::vector<QString> anchors = {fixedWording ? value : UpperCase(value)};
        if (comparedHere) {
            if (column == col::OldGrade || column == col::NewGrade)
                anchors.push_back(QStringLiteral("该同志职务由"));
            if (column == col::OldPostPay || column == col::NewPostPay) {
                anchors.push_back(QStringLiteral("提高工资10%部分由"));
                anchors.push_back(QStringLiteral("月增资"));
                anchors.push_back(QStringLiteral("月减资"));
            }
            if (column == col::OldScalePay || column == col::NewScalePay)
                anchors.push_back(QStringLiteral("薪级工资"));
        }
        TCheckProblem p;
        p.kind = TCheckKind::NotANumber;
        p.label = n.label;
        p.field = QString::fromUtf8(col::FieldName(column));
        p.column = column;
        p.cellText = value;
        const QString sentence = sentenceOf(text, anchors);
        if (!w && sentence.isEmpty())
            continue;  // the monthly change prints only where the opinion takes it
        p.printed = sentence.isEmpty() ? value : sentence;
        p.message = p.field + columnNote(column) + quoted(value) +
                    (n.compared ? QStringLiteral("不是整数") : QStringLiteral("不是数字")) +
                    (comparedHere ? QStringLiteral("，比较时当作 0") : "") +
                    (sentence.isEmpty() ? QStringLiteral("，表上印作") + quoted(value)
                                        : QStringLiteral("，意见印作") + quoted(sentence));
        out.push_back(std::move(p));
    }
}

void TFormCheck::Impl::inspect(const Watched& w, const qr::TQRBandPlace& place, const Printable& paper,
                               int opinionWidth, std::vector<TCheckProblem>& out) const
{
    const qr::TQRLabel& label = *w.label;
    if (label.Caption.isEmpty())
        return;
    const std::vector<qr::QRItem> items = qr::LayOutLabel(label, place.x, place.y);
    const double left = std::max(place.x / 10 + w.bounds.left, paper.area.left());
    const double right = std::min(place.x / 10 + w.bounds.right, paper.area.right());
    const double bottom = std::min(place.y / 10 + w.bounds.bottom, paper.area.bottom());
    const Extent e =
        extentOf(items, QRectF(QPointF(left, paper.area.top()), QPointF(right, bottom)));  // points into items
    textCut(w, e, out);
    noGlyph(w, e, out);
    pastRight(w, e, place, paper, opinionWidth, out);
    pastOtherSides(w, e, place, paper, out);
}

// Text the box does not show: characters with ink that do not print.
void TFormCheck::Impl::textCut(const Watched& w, const Extent& e, std::vector<TCheckProblem>& out) const
{
    const qr::TQRLabel& label = *w.label;
    int shown = 0;
    for (const QString* l : e.lines)
        shown += nonBlankChars(*l);
    if (nonBlankChars(label.Caption) <= shown)
        return;  // only spaces and line breaks left out
    int shownInk = 0;
    for (const QString* l : e.lines)
        shownInk += inkedChars(label.Font, *l);
    const int lost = inkedChars(label.Font, label.Caption) - shownInk;
    if (lost <= 0)
        return;  // blanks (a tab, U+3000) left out: nothing visible is lost
    TCheckProblem p = problemOf(w, TCheckKind::TextCut);
    p.cutChars = lost;
    if (e.lines.size() <= 1) {
        p.shownText = e.lines.empty() ? QString() : *e.lines.front();
        if (label.Caption.startsWith(p.shownText))
            p.cutText = Trim(label.Caption.mid(p.shownText.size()));
    }
    p.message = whereOf(w) + QStringLiteral("印不下：");
    p.message += p.shownText.isEmpty() ? QStringLiteral("一个字也印不出")
                                       : QStringLiteral("只印出“") + p.shownText + QStringLiteral("”");
    p.message += QStringLiteral("，少印 ") + QString::number(lost) + QStringLiteral(" 个字");
    if (!p.cutText.isEmpty())
        p.message += quoted(p.cutText);
    out.push_back(std::move(p));
}

namespace {

// " 超出表格右框线 2.5 毫米，其中 1.0 毫米在纸外印不出" and the like: the
// part of a message beyond what the printer reaches.
void addOffPaper(TCheckProblem& p, double offPaper, const Printable& paper)
{
    if (offPaper >= kVisibleOverlapMm) {
        p.offPaperMm = offPaper;
        p.message += QStringLiteral("，其中 ") + mm(offPaper) + QStringLiteral(" 毫米") + paper.where() +
                     QStringLiteral("印不出");
    }
}

}  // namespace

namespace {

// A private-use character is one an office made itself (造字) with a font of
// its own; the faces here may draw something at that place, but never that
// character.
bool isPrivateUse(char32_t c) { return (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000; }

}  // namespace

// Characters that do not print as themselves: no face on this machine has
// them (the fallback faces' packages are missing) and they print as an
// empty box, or they are made characters that print as whatever a face
// keeps at their place.  Each once.
void TFormCheck::Impl::noGlyph(const Watched& w, const Extent& e, std::vector<TCheckProblem>& out) const
{
    std::vector<char32_t> seen;
    const auto report = [&](char32_t c, bool boxed) {
        if (std::find(seen.begin(), seen.end(), c) != seen.end())
            return;
        seen.push_back(c);
        TCheckProblem p = problemOf(w, TCheckKind::NoGlyph);
        p.codePoint = c;
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
        p.message = whereOf(w) + QStringLiteral("的“") + QString::fromUcs4(&c, 1) + QStringLiteral("”（") + code;
        if (boxed)
            p.message +=
                QStringLiteral("）本机没有字体能印出，会印成空框（可安装 fonts-hanazono 和 fonts-babelstone-han）");
        else
            p.message += QStringLiteral("）是自造字（私用区字符），本机没有造这个字的字体，印出来的不是原来的字");
        out.push_back(std::move(p));
    };
    for (const QString* l : e.lines) {
        for (char32_t c : qr::MissingGlyphs(w.label->Font, *l))
            report(c, true);
        for (const char32_t c : l->toUcs4())
            if (isPrivateUse(c))
                report(c, false);
    }
}

// Past the rule on the right, or off the paper; for the opinion's fourth
// line, more than a line's width.  Ink counts; the white ground of
// trailing blanks counts where it covers the rule.
void TFormCheck::Impl::pastRight(const Watched& w, const Extent& e, const qr::TQRBandPlace& place,
                                 const Printable& paper, int opinionWidth, std::vector<TCheckProblem>& out) const
{
    const qr::TQRLabel& label = *w.label;
    const double ruleRight = place.x / 10 + w.bounds.right;
    const double inkRight = e.ink.isNull() ? -kInf : e.ink.right();
    const double offPaper = inkRight - paper.area.right();
    const double pastRule = inkRight - ruleRight;
    const double boxPast = e.box.isNull() ? -kInf : e.box.right() - ruleRight;
    const bool isOpinionLine = w.binding->text == TLabelText::Opinion;
    const int extra = label.Name == "y4" ? int(gbPrefix(label.Caption).bytes) - std::max(opinionWidth, 0) : 0;
    const QString rule = w.bounds.rightIsFrame ? QStringLiteral("表格右框线") : QStringLiteral("右边的表格线");

    if (extra > 0) {
        TCheckProblem p = problemOf(w, TCheckKind::OpinionTooLong);
        p.extraBytes = extra;
        p.message = QStringLiteral("申报意见超过四行：第4行比每行宽度（") + QString::number(opinionWidth) +
                    QStringLiteral(" 字节）多出 ") + QString::number(extra) + QStringLiteral(" 字节");
        if (pastRule >= kVisibleOverlapMm) {
            p.pastMm = pastRule;
            p.message += QStringLiteral("，超出") + rule + " " + mm(pastRule) + QStringLiteral(" 毫米");
        }
        addOffPaper(p, offPaper, paper);
        out.push_back(std::move(p));
        return;
    }
    TCheckProblem p = problemOf(w, TCheckKind::PastLine);
    if (std::isfinite(ruleRight) && pastRule >= kVisibleOverlapMm) {
        p.pastMm = pastRule;
        p.message = whereOf(w) + (isOpinionLine ? QString() : QStringLiteral("太长，")) +
                    (w.bounds.rightIsFrame ? QStringLiteral("超出") : QStringLiteral("越过")) + rule + " " +
                    mm(pastRule) + QStringLiteral(" 毫米");
        if (!w.bounds.rightIsFrame)
            p.message += QStringLiteral("，盖住相邻的栏目");
        addOffPaper(p, offPaper, paper);
    } else if (std::isfinite(ruleRight) && boxPast >= w.bounds.rightWidth + kVisibleOverlapMm) {
        // The text ends before the rule, but its box runs on over trailing
        // blanks, and the box is white: where it covers the rule's whole
        // width, the rule has a gap.
        p.pastMm = boxPast;
        p.blankOnly = true;
        p.message = whereOf(w) + QStringLiteral("末尾的空格太多，空白盖住") + rule + " " + mm(boxPast) +
                    QStringLiteral(" 毫米");
        if (!w.bounds.rightIsFrame)
            p.message += QStringLiteral("，相邻栏目的字也被盖住");
    } else if (offPaper >= kVisibleOverlapMm) {
        p.pastMm = p.offPaperMm = offPaper;
        p.message = std::isfinite(ruleRight) ? whereOf(w) + QStringLiteral("右端有 ") + mm(offPaper) +
                                                   QStringLiteral(" 毫米") + paper.where() + QStringLiteral("，印不出")
                                             : whereOf(w) + QStringLiteral("太长，超出") + paper.edge() + " " +
                                                   mm(offPaper) + QStringLiteral(" 毫米，超出部分印不出");
    } else {
        return;
    }
    out.push_back(std::move(p));
}

// Past the rule on the left or below, and off the printable area above,
// below or on the left (offsets and a printer's border can put it there).
void TFormCheck::Impl::pastOtherSides(const Watched& w, const Extent& e, const qr::TQRBandPlace& place,
                                      const Printable& paper, std::vector<TCheckProblem>& out) const
{
    const double ruleLeft = place.x / 10 + w.bounds.left;
    const double ruleBelow = place.y / 10 + w.bounds.bottom;
    struct Side {
        double pastRule, boxPast, offPaper;  // boxPast: past the rule's far edge
        const char* rule;                    // UTF-8
        const char* offSide;                 // UTF-8
    };
    const double inkLeft = e.ink.isNull() ? kInf : e.ink.left(), inkBottom = e.ink.isNull() ? -kInf : e.ink.bottom();
    const double inkTop = e.ink.isNull() ? kInf : e.ink.top();
    const Side sides[] = {
        {ruleLeft - inkLeft, e.box.isNull() ? -kInf : ruleLeft - w.bounds.leftWidth - e.box.left(),
         paper.area.left() - inkLeft, "越过左边的表格线", "左端"},
        {inkBottom - ruleBelow, e.box.isNull() ? -kInf : e.box.bottom() - ruleBelow - w.bounds.bottomWidth,
         inkBottom - paper.area.bottom(), "向下越过表格线", "下端"},
        {-kInf, -kInf, paper.area.top() - inkTop, "", "上端"},
    };
    for (const Side& s : sides) {
        TCheckProblem p = problemOf(w, TCheckKind::PastLine);
        if (s.pastRule >= kVisibleOverlapMm) {
            p.pastMm = s.pastRule;
            p.message = whereOf(w) + QStringLiteral("太长，") + QString::fromUtf8(s.rule) + " " + mm(s.pastRule) +
                        QStringLiteral(" 毫米");
            addOffPaper(p, s.offPaper, paper);
        } else if (s.boxPast >= kVisibleOverlapMm) {
            p.pastMm = s.boxPast;
            p.blankOnly = true;
            p.message =
                whereOf(w) + QStringLiteral("的空白") + QString::fromUtf8(s.rule) + QStringLiteral("，盖住了表格线");
        } else if (s.offPaper >= kVisibleOverlapMm) {
            p.pastMm = p.offPaperMm = s.offPaper;
            p.message = whereOf(w) + QString::fromUtf8(s.offSide) + QStringLiteral("有 ") + mm(s.offPaper) +
                        QStringLiteral(" 毫米") + paper.where() + QStringLiteral("，印不出");
        } else {
            continue;
        }
        out.push_back(std::move(p));
    }
}

std::vector<TCheckProblem> TFormCheck::CheckRow(int row)
{
    Impl& d = *d_;
    d.rowSource.row = row;
    std::vector<TCheckProblem> out;
    // The column each label's text comes from in this row, as the filler
    // takes it.
    for (Impl::Watched& w : d.labels)
        if (w.binding->column > 0)
            w.column = BoundCell(*w.binding, [&](int column) { return d.cell(row, column); }).column;

    QString name;
    try {
        name = d.source.CellText(row, col::Name);
    } catch (...) {
        // Reported below: the filler reads the name first.
    }

    // The row's own wording (a template), or the fixed one.
    const bool ownWording = !Trim(d.cell(row, col::OpinionTemplate)).isEmpty();
    d.required(row, out);
    const bool filled = d.fill(row, out);
    d.yearMonths(row, filled, out);
    d.numbers(row, !ownWording, out);

    // The width the filler cut the opinion by (it failed above when it is
    // not a whole number, leaving the opinion lines empty).
    int width = 0;
    TryStrToInt(d.rowSource.OpinionWidthText(), width);
    qr::TCustomQuickRep& rep = *d.form.Report;
    const Printable paper = d.printable(rep);
    const std::vector<qr::TQRBandPlace> bands = rep.FirstPageBands();
    for (const Impl::Watched& w : d.labels) {
        const auto place = std::find_if(bands.begin(), bands.end(),
                                        [&](const qr::TQRBandPlace& b) { return b.band == w.label->Parent; });
        if (place != bands.end())
            d.inspect(w, *place, paper, width, out);
    }

    // An opinion line of a row's own template comes from its column.
    for (TCheckProblem& p : out) {
        p.row = row;
        p.name = name;
        if (ownWording && p.column == 0 && opinionLine(p.label))
            p.column = col::OpinionTemplate;
    }
    return out;
}

std::vector<TCheckProblem> TFormCheck::CheckEntries()
{
    std::vector<TCheckProblem> out;
    const QString width = d_->source.OpinionWidthText();
    int w = 0;
    if (!TryStrToInt(width, w)) {
        TCheckProblem p;
        p.kind = TCheckKind::EntryField;
        p.field = QStringLiteral("申报意见栏每行宽度");
        p.cellText = width;
        p.message = p.field + quoted(width) + QStringLiteral("不是整数：") + errorText(EConvertError(width)) +
                    QStringLiteral("。每一份表都要按它折行，打印到第一份就会中断");
        out.push_back(std::move(p));
    }
    return out;
}

TCheckReport TFormCheck::CheckRows(int first, int last)
{
    TCheckReport report;
    report.sheet = d_->sheet.description;
    first = std::max(first, 1);  // rows below 1 hold nothing
    report.firstRow = first;
    report.lastRow = last;
    report.problems = CheckEntries();
    // Problems of the texts every form shares, said once before the rows.
    std::vector<TCheckProblem> shared, rows;
    std::set<std::pair<std::string, TCheckKind>> said;
    for (long long r = first; r <= last; ++r) {
        const int row = int(r);
        ++report.rowsRead;
        bool flagged = false;
        try {
            flagged = col::IsPrintFlag(d_->source.CellText(row, col::PrintFlag));
        } catch (...) {
            TCheckProblem p;
            p.row = row;
            try {
                p.name = d_->source.CellText(row, col::Name);
            } catch (...) {
            }
            p.kind = TCheckKind::FillError;
            p.column = col::PrintFlag;
            p.field = QString::fromUtf8(col::FieldName(col::PrintFlag));
            p.message = d_->fillErrorLead + p.field + columnNote(p.column) + QStringLiteral("：") +
                        errorText(std::current_exception());
            rows.push_back(std::move(p));
            ++report.flaggedRows;  // taken up by the run, which stops there
            continue;
        }
        if (!flagged)
            continue;
        ++report.flaggedRows;
        for (TCheckProblem& p : CheckRow(row)) {
            if (!fromEntries(p.label)) {
                rows.push_back(std::move(p));
            } else if (said.insert({p.label, p.kind}).second) {
                p.row = 0;
                p.name.clear();
                shared.push_back(std::move(p));
            }
        }
    }
    report.problems.insert(report.problems.end(), std::make_move_iterator(shared.begin()),
                           std::make_move_iterator(shared.end()));
    report.problems.insert(report.problems.end(), std::make_move_iterator(rows.begin()),
                           std::make_move_iterator(rows.end()));
    return report;
}

}  // namespace vdmq
