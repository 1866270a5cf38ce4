// The check before paper.  Each flagged row is prepared in one holder the
// way a print prepares it (the engine calls the filler, lays out the page);
// then every data label is laid out again where its band stands, by the
// engine's own routine, and what shows is compared with the caption and
// with the rules around the label.
#include "form/VdPrnCheck.h"

#include "form/PubFunc.h"
#include "form/RosterColumns.h"
#include "platform/gbtext.h"
#include "report/core/qr.h"

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
    case TCheckKind::NoGlyph: return "no-glyph";
    }
    return "?";
}

int TCheckReport::RowsWithProblems() const
{
    std::set<int> rows;
    for (const TCheckProblem& p : problems)
        rows.insert(p.row);
    return int(rows.size());
}

namespace {

// Each data label in plain words and the roster column its text comes from.
struct FieldInfo {
    const char* label;
    const char* field;  // UTF-8
    int column;         // 0: not from one column
};

const FieldInfo kFields[] = {
    {"l_xm", "姓名", col::Name},
    {"l_xb", "性别", col::Sex},
    {"l_whcd", "学历", col::Education},
    {"l_csny", "出生年月", col::Born},
    {"l_gzny", "参加工作时间", col::StartedWork},
    {"l_tsny", "连续工龄推算时间", col::ServiceFrom},
    {"lb_bdyy", "变动原因", col::Reason},
    {"lb_ndkh", "考核年限起始时间", col::Appointed},
    {"zw0", "职务(岗位)", col::Post},
    {"zw1", "原单位及职务（岗位）", col::OldPost},
    {"l_ny1", "原职任职时间", col::OldAppointed},
    {"l_gw1", "原岗位等级", col::OldGrade},
    {"m_gw1", "原岗位工资", col::OldPostPay},
    {"l_xj1", "原薪级", col::OldScale},
    {"m_xj1", "原薪级工资", col::OldScalePay},
    {"l_bt1", "原10%工资(或补贴)", col::OldTenPercent},
    {"l_tmp1", "试用、见习初期工资", 0},
    {"l_ph1", "原工资合计", col::OldTotal},
    {"zw2", "现单位及职务（岗位）", col::Post},
    {"l_ny2", "现职任职时间", col::Appointed},
    {"l_gw2", "现岗位等级", col::NewGrade},
    {"m_gw2", "现岗位工资", col::NewPostPay},
    {"l_xj2", "现薪级", col::NewScale},
    {"m_xj2", "现薪级工资", col::NewScalePay},
    {"l_bt2", "现10%工资(或补贴)", col::NewTenPercent},
    {"l_ph2", "现工资合计", col::NewTotal},
    {"y1", "申报意见第1行", 0},
    {"y2", "申报意见第2行", 0},
    {"y3", "申报意见第3行", 0},
    {"y4", "申报意见第4行", 0},
    {"Lb_year", "打印日期", 0},
    {"lb_area", "制表机构", 0},
};

struct Required {
    int column;
    const char* field;
};
const Required kRequired[] = {{col::Name, "姓名"}, {col::Appointed, "现职任职时间"}};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEps = 1e-3;  // mm

// Where a data label may print: the rules nearest to it on each side, in
// band millimetres (infinite when there is none).
struct Bounds {
    double left = -kInf, right = kInf, bottom = kInf;
    bool rightIsFrame = false;  // the rule on the right is the table's outer one
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
            if (s->Left >= l.Left + kEps)
                b.right = std::min(b.right, s->Left);
            else if (s->Left + s->Width <= l.Left + kEps)
                b.left = std::max(b.left, s->Left + s->Width);
        } else {
            const bool across = s->Left < l.Left + l.Width - kEps && s->Left + s->Width > l.Left + kEps;
            if (across && s->Top >= l.Top + kEps)
                b.bottom = std::min(b.bottom, s->Top);
        }
    }
    b.rightIsFrame = std::isfinite(b.right) && b.right >= outermost - kEps;
    return b;
}

// Characters that print something: spaces and line breaks do not count.
int visibleChars(std::string_view s)
{
    int n = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = gbCharLength(s, i);
        if (!(len == 1 && (s[i] == ' ' || s[i] == '\r' || s[i] == '\n')))
            ++n;
        i += len;
    }
    return n;
}

// Millimetres for a message: one decimal, never shown as 0.0.
std::string mm(double v)
{
    const double up = std::max(0.1, std::ceil(v * 10 - 1e-6) / 10);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", up);
    return buf;
}

std::string columnNote(int column) { return column > 0 ? gb("（") + col::Letters(column) + gb("列）") : std::string(); }

// A row whose own source gives the cells of the row being checked.
class RowSource : public TFillSource {
public:
    explicit RowSource(const TFillSource& inner) : inner_(inner) {}
    int row = 0;
    int CurRow() const override { return row; }
    std::string CellText(int r, int c) const override { return inner_.CellText(r, c); }
    std::string OpinionWidthText() const override { return inner_.OpinionWidthText(); }
    std::string DocNo() const override { return inner_.DocNo(); }
    QDate PrintDate() const override { return inner_.PrintDate(); }
    std::string IssuedBy() const override { return inner_.IssuedBy(); }
private:
    const TFillSource& inner_;
};

// A label's extent on paper (mm): the white box and every printed line
// (pointing into the items it was made from).
struct Extent {
    double left = kInf, right = -kInf, bottom = -kInf;
    std::vector<const std::string*> lines;
};

Extent extentOf(const std::vector<qr::QRItem>& items)
{
    Extent e;
    for (const qr::QRItem& it : items) {
        e.left = std::min(e.left, it.rect.left() / 10);
        e.right = std::max(e.right, it.rect.right() / 10);
        e.bottom = std::max(e.bottom, it.rect.bottom() / 10);
        if (it.kind == qr::QRItem::Text)
            e.lines.push_back(&it.text);
    }
    return e;
}

// " 超出表格右框线 2.5 毫米，其中 1.0 毫米在纸外印不出" and the like: the
// part of a message beyond the paper's edge.
void addOffPaper(TCheckProblem& p, double offPaper)
{
    if (offPaper > kEps) {
        p.offPaperMm = offPaper;
        p.message += gb("，其中 ") + mm(offPaper) + gb(" 毫米在纸外印不出");
    }
}

}  // namespace

struct TFormCheck::Impl {
    explicit Impl(const TFillSource& s) : source(s), rowSource(s)
    {
        form.Source = &rowSource;
        for (const FieldInfo& f : kFields) {
            qr::TQRLabel* l = form.Label(f.label);
            if (!l)
                throw std::logic_error(std::string("form check: no data label ") + f.label);
            labels.push_back({l, &f, boundsOf(*l), gb(f.field)});
        }
        if (labels.size() != DataLabelNames().size())
            throw std::logic_error("form check: the data labels differ from the form's");
        fillErrorLead = gb("这一行填表出错，打印到这里会中断：");
    }

    struct Watched {
        qr::TQRLabel* label;
        const FieldInfo* info;
        Bounds bounds;
        std::string field;  // GB18030
    };

    const TFillSource& source;
    RowSource rowSource;
    TVdPrnForm form;
    std::vector<Watched> labels;
    std::string fillErrorLead;

    void inspect(const Watched& w, const qr::TQRBandPlace& place, double paperWidth, int opinionWidth,
                 std::vector<TCheckProblem>& out);
    void textCut(const Watched& w, const Extent& e, std::vector<TCheckProblem>& out) const;
    void noGlyph(const Watched& w, const Extent& e, std::vector<TCheckProblem>& out) const;
    void pastRight(const Watched& w, const Extent& e, const qr::TQRBandPlace& place, double paperWidth,
                   int opinionWidth, std::vector<TCheckProblem>& out) const;
    TCheckProblem problemOf(const Watched& w, TCheckKind kind) const;
    std::string whereOf(const Watched& w) const;
};

TFormCheck::TFormCheck(const TFillSource& source) : d_(std::make_unique<Impl>(source)) {}
TFormCheck::~TFormCheck() = default;

const TVdPrnForm& TFormCheck::Form() const { return d_->form; }

TCheckProblem TFormCheck::Impl::problemOf(const Watched& w, TCheckKind kind) const
{
    TCheckProblem p;
    p.kind = kind;
    p.label = w.label->Name;
    p.field = w.field;
    p.column = w.info->column;
    return p;
}

std::string TFormCheck::Impl::whereOf(const Watched& w) const { return w.field + columnNote(w.info->column); }

void TFormCheck::Impl::inspect(const Watched& w, const qr::TQRBandPlace& place, double paperWidth, int opinionWidth,
                               std::vector<TCheckProblem>& out)
{
    const qr::TQRLabel& label = *w.label;
    if (label.Caption.empty())
        return;
    const std::vector<qr::QRItem> items = qr::LayOutLabel(label, place.x, place.y);
    const Extent e = extentOf(items);  // points into items
    textCut(w, e, out);
    noGlyph(w, e, out);
    pastRight(w, e, place, paperWidth, opinionWidth, out);

    const double ruleLeft = place.x / 10 + w.bounds.left;
    if (e.left < ruleLeft - kEps) {
        TCheckProblem p = problemOf(w, TCheckKind::PastLine);
        p.pastMm = ruleLeft - e.left;
        p.message = whereOf(w) + gb("太长，越过左边的表格线 ") + mm(p.pastMm) + gb(" 毫米");
        out.push_back(std::move(p));
    }
    const double ruleBelow = place.y / 10 + w.bounds.bottom;
    if (e.bottom > ruleBelow + kEps) {
        TCheckProblem p = problemOf(w, TCheckKind::PastLine);
        p.pastMm = e.bottom - ruleBelow;
        p.message = whereOf(w) + gb("太长，向下越过表格线 ") + mm(p.pastMm) + gb(" 毫米");
        out.push_back(std::move(p));
    }
}

// Text the box does not show.
void TFormCheck::Impl::textCut(const Watched& w, const Extent& e, std::vector<TCheckProblem>& out) const
{
    const qr::TQRLabel& label = *w.label;
    int shownChars = 0;
    for (const std::string* l : e.lines)
        shownChars += visibleChars(*l);
    const int lost = visibleChars(label.Caption) - shownChars;
    if (lost <= 0)
        return;
    TCheckProblem p = problemOf(w, TCheckKind::TextCut);
    p.cutChars = lost;
    if (e.lines.size() <= 1) {
        p.shownText = e.lines.empty() ? std::string() : *e.lines.front();
        if (label.Caption.compare(0, p.shownText.size(), p.shownText) == 0)
            p.cutText = Trim(std::string_view(label.Caption).substr(p.shownText.size()));
    }
    p.message = whereOf(w) + gb("印不下：");
    p.message += p.shownText.empty() ? gb("一个字也印不出") : gb("只印出“") + p.shownText + gb("”");
    p.message += gb("，少印 ") + std::to_string(lost) + gb(" 个字");
    if (!p.cutText.empty())
        p.message += gb("“") + p.cutText + gb("”");
    out.push_back(std::move(p));
}

// Characters that print as an empty box: no face on this machine has them
// (the fallback faces' packages are missing), each once.
void TFormCheck::Impl::noGlyph(const Watched& w, const Extent& e, std::vector<TCheckProblem>& out) const
{
    std::vector<char32_t> seen;
    for (const std::string* l : e.lines)
        for (char32_t c : qr::MissingGlyphs(w.label->Font, *l)) {
            if (std::find(seen.begin(), seen.end(), c) != seen.end())
                continue;
            seen.push_back(c);
            TCheckProblem p = problemOf(w, TCheckKind::NoGlyph);
            p.codePoint = c;
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
            p.message = whereOf(w) + gb("的“") + toGb(QString::fromUcs4(&c, 1)) + gb("”（") + code +
                        gb("）本机没有字体能印出，会印成空框（可安装 fonts-hanazono 和 fonts-babelstone-han）");
            out.push_back(std::move(p));
        }
}

// Past the rule on the right, or off the paper; for the opinion's fourth
// line, more than a line's width.
void TFormCheck::Impl::pastRight(const Watched& w, const Extent& e, const qr::TQRBandPlace& place, double paperWidth,
                                 int opinionWidth, std::vector<TCheckProblem>& out) const
{
    const qr::TQRLabel& label = *w.label;
    const double paperRight = paperWidth / 10;
    const double ruleRight = place.x / 10 + w.bounds.right;
    const double offPaper = e.right - paperRight;
    const double pastRule = e.right - ruleRight;
    const bool opinionLine = label.Name.size() == 2 && label.Name[0] == 'y';
    const int extra = label.Name == "y4" ? int(label.Caption.size()) - std::max(opinionWidth, 0) : 0;

    if (extra > 0) {
        TCheckProblem p = problemOf(w, TCheckKind::OpinionTooLong);
        p.extraBytes = extra;
        p.message = gb("申报意见超过四行：第4行比每行宽度（") + std::to_string(opinionWidth) + gb(" 字节）多出 ") +
                    std::to_string(extra) + gb(" 字节");
        if (pastRule > kEps) {
            p.pastMm = pastRule;
            p.message += gb("，超出表格右框线 ") + mm(pastRule) + gb(" 毫米");
        }
        addOffPaper(p, offPaper);
        out.push_back(std::move(p));
    } else if (pastRule > kEps || (!std::isfinite(ruleRight) && offPaper > kEps)) {
        TCheckProblem p = problemOf(w, TCheckKind::PastLine);
        if (std::isfinite(ruleRight)) {
            p.pastMm = pastRule;
            p.message = whereOf(w) + (opinionLine ? std::string() : gb("太长，")) +
                        (w.bounds.rightIsFrame ? gb("超出表格右框线 ") : gb("越过右边的表格线 ")) + mm(pastRule) +
                        gb(" 毫米");
            if (!w.bounds.rightIsFrame)
                p.message += gb("，盖住相邻的栏目");
            addOffPaper(p, offPaper);
        } else {
            p.pastMm = p.offPaperMm = offPaper;
            p.message = whereOf(w) + gb("太长，超出纸边 ") + mm(offPaper) + gb(" 毫米，超出部分印不出");
        }
        out.push_back(std::move(p));
    }
}

std::vector<TCheckProblem> TFormCheck::CheckRow(int row)
{
    Impl& d = *d_;
    d.rowSource.row = row;
    std::vector<TCheckProblem> out;

    std::string name;
    try {
        name = d.source.CellText(row, col::Name);
    } catch (...) {
        // Reported below: the filler reads the name first.
    }

    for (const Required& r : kRequired) {
        try {
            if (!Trim(d.source.CellText(row, r.column)).empty())
                continue;
        } catch (...) {
            continue;  // a cell that cannot be read stops the filler: reported below
        }
        TCheckProblem p;
        p.kind = TCheckKind::EmptyRequired;
        p.field = gb(r.field);
        p.column = r.column;
        p.message = p.field + columnNote(r.column) + gb("为空");
        out.push_back(std::move(p));
    }

    // A print gives every row a fresh holder whose filler sets all the data
    // labels; one holder serves here, so what a failing fill leaves unset
    // must not show the row before.
    for (const Impl::Watched& w : d.labels)
        w.label->Caption.clear();
    qr::TCustomQuickRep& rep = *d.form.qrVDMQ;
    try {
        qr::TQRPrinter scratch(&rep);
        rep.Prepare(scratch);
    } catch (...) {
        TCheckProblem p;
        p.kind = TCheckKind::FillError;
        p.message = d.fillErrorLead + errorTextGb(std::current_exception());
        out.push_back(std::move(p));
    }

    // The width the filler cut the opinion by (it failed above when it is
    // not a whole number, leaving the opinion lines empty).
    int width = 0;
    TryStrToInt(d.rowSource.OpinionWidthText(), width);
    const double paperWidth = rep.Page.Tenths(rep.Page.Portrait ? qr::TQRPage::Width : qr::TQRPage::Length);
    const std::vector<qr::TQRBandPlace> bands = rep.FirstPageBands();
    for (const Impl::Watched& w : d.labels) {
        const auto place = std::find_if(bands.begin(), bands.end(),
                                        [&](const qr::TQRBandPlace& b) { return b.band == w.label->Parent; });
        if (place != bands.end())
            d.inspect(w, *place, paperWidth, width, out);
    }

    for (TCheckProblem& p : out) {
        p.row = row;
        p.name = name;
    }
    return out;
}

TCheckReport TFormCheck::CheckRows(int first, int last)
{
    TCheckReport report;
    first = std::max(first, 1);  // rows below 1 hold nothing
    report.firstRow = first;
    report.lastRow = last;
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
            p.message = d_->fillErrorLead + errorTextGb(std::current_exception());
            report.problems.push_back(std::move(p));
            ++report.flaggedRows;  // taken up by the run, which stops there
            continue;
        }
        if (!flagged)
            continue;
        ++report.flaggedRows;
        std::vector<TCheckProblem> found = CheckRow(row);
        report.problems.insert(report.problems.end(), std::make_move_iterator(found.begin()),
                               std::make_move_iterator(found.end()));
    }
    return report;
}

}  // namespace vdmq
