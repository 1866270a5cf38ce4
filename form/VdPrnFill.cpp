// The declaration filler: one roster row into the captions of the form's
// data labels and the four lines of the submitting unit's opinion.
//
// Every call starts from scratch: the engine calls it twice per preparation
// and once more for every later preparation (preview, print, export), each
// time reading the row the source points at then.  Errors (a cell that
// cannot be read, a year-month or a width that is not a whole number) leave
// the labels set so far with their new captions and the rest as they were;
// the print run decides what to do with them.
#include "form/PubFunc.h"
#include "form/RosterColumns.h"
#include "form/VdPrnUnit.h"
#include "platform/gbtext.h"

#include <climits>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace vdmq {
namespace {

// The fixed phrases of the opinion, as GB18030 bytes (converted once).
struct Phrases {
    std::string genju = gb("根据");
    std::string wenjian = gb("文件规定，该同志职务由");
    std::string diren = gb("低任");
    std::string jinsheng = gb("晋升");
    std::string wei = gb("为");
    std::string nitongyi = gb("，拟同意其");
    std::string gangwei = gb("岗位工资由");
    std::string yuan = gb(" 元");
    std::string jiangdiwei = gb("降低为");
    std::string jinshengdao = gb("晋升到");
    std::string yuanXinji = gb(" 元，薪级工资");
    std::string bubian = gb("不变，");
    std::string chongxin = gb("重新确定为 ");
    std::string yuanComma = gb(" 元，");
    std::string tigao = gb("（提高工资10%部分由 ");
    std::string jiangdiweiSp = gb("降低为 ");
    std::string zengjiadaoSp = gb("增加到 ");
    std::string blankPart = gb(" -- 增加到 --");
    std::string yuanYue = gb(" 元），月");
    std::string jian = gb("减");
    std::string zeng = gb("增");
    std::string zi = gb("资 ");
    std::string yuanCong = gb(" 元，从 ");
    std::string nian = gb(" 年 ");
    std::string yue = gb(" 月");
    std::string yueQi = gb(" 月起执行。");
    std::string yueSp = gb(" 月 ");
    std::string ri = gb(" 日");
};

const Phrases& phrases()
{
    static const Phrases p;
    return p;
}

// A caption compared as a whole number: anything else counts as 0.
int lenient(const std::string& text)
{
    int v = 0;
    return TryStrToInt(text, v) ? v : 0;
}

// Removes the first `n` bytes (nothing for n <= 0).
void dropLeft(std::string& s, int n)
{
    if (n <= 0)
        return;
    s.erase(0, std::min(s.size(), static_cast<std::size_t>(n)));
}

// The cells of the row being filled, by column.
struct RowCells {
    const TFillSource& source;
    int row;
    std::string operator()(int column) const { return source.CellText(row, column); }
};

// Step 2: cells to labels, in the order of the binding table (a failing
// read leaves the later labels untouched).
void fillCells(TVdPrnForm& f, const RowCells& cell)
{
    for (const TLabelBinding& b : kLabelBindings) {
        if (b.text == TLabelText::Opinion || b.text == TLabelText::Entry)
            continue;  // steps 6 and 7
        std::string& caption = f.Label(b.label)->Caption;
        if (b.text == TLabelText::Blank) {
            caption.clear();
            continue;
        }
        const std::string text = BoundCell(b, cell).text;
        if (b.text == TLabelText::YearMonth) {
            caption = FormatYearMonth(text);
        } else if (b.text == TLabelText::FirstFourBytes) {
            // The start year of the appraisal years: the first four bytes,
            // but never half of a character.
            int four = 4;
            caption = CopyLeftDbcs(text, four);
        } else {
            caption = text;
        }
    }
}

// Step 5a: the row's own wording.  Each placeholder in turn, on the text the
// earlier ones left.
std::string templateOpinion(const TVdPrnForm& f, const std::string& tmpl, const std::string& rise,
                            const TPny& effective)
{
    const Phrases& ph = phrases();
    const std::pair<std::string_view, std::string> fills[] = {
        {"&zw1", f.zw1->Caption},
        {"&zw2", f.zw2->Caption},
        {"&gw1", f.m_gw1->Caption},
        {"&gw2", f.m_gw2->Caption},
        {"&gwdj1", f.l_gw1->Caption},
        {"&gwdj2", f.l_gw2->Caption},
        {"&xjdj1", f.l_xj1->Caption},
        {"&xjdj2", f.l_xj2->Caption},
        {"&xj1", f.m_xj1->Caption},
        {"&xj2", f.m_xj2->Caption},
        {"&bf1", f.l_bt1->Caption},
        {"&bf2", f.l_bt2->Caption},
        {"&zz", rise},
        {"&ym", effective.Year + ph.nian + effective.Month + ph.yue},
    };
    std::string opinion = tmpl;
    for (const auto& [placeholder, value] : fills)
        opinion = ReplaceFirst(opinion, placeholder, value);
    return opinion;
}

// Steps 3 and 5b: the fixed wording.  Promotion or lowering follows the post
// grades; the 10% part and the monthly change follow the post salaries,
// independently of the grades.
std::string fixedOpinion(const TVdPrnForm& f, const std::string& docNo, bool oldTenPercentGiven,
                         const std::string& rise, const TPny& effective)
{
    const Phrases& ph = phrases();
    const bool lowered = lenient(f.l_gw2->Caption) < lenient(f.l_gw1->Caption);
    const bool salaryLowered = lenient(f.m_gw2->Caption) < lenient(f.m_gw1->Caption);
    std::string opinion;
    opinion.reserve(400);
    opinion += ph.genju;
    opinion += docNo;
    opinion += ph.wenjian;
    opinion += f.zw1->Caption;
    opinion += lowered ? ph.diren : ph.jinsheng;
    opinion += ph.wei;
    opinion += f.zw2->Caption;
    opinion += ph.nitongyi;
    opinion += ph.gangwei;
    opinion += f.l_gw1->Caption + " " + f.m_gw1->Caption + ph.yuan;
    opinion += lowered ? ph.jiangdiwei : ph.jinshengdao;
    opinion += f.l_gw2->Caption + " " + f.m_gw2->Caption;
    opinion += ph.yuanXinji;
    if (lenient(f.m_xj2->Caption) == lenient(f.m_xj1->Caption))
        opinion += ph.bubian;
    else
        opinion += ph.chongxin + f.m_xj2->Caption + ph.yuanComma;
    opinion += ph.tigao;
    if (oldTenPercentGiven) {
        opinion += f.l_bt1->Caption + ph.yuan;
        opinion += salaryLowered ? ph.jiangdiweiSp : ph.zengjiadaoSp;
        opinion += f.l_bt2->Caption;
    } else {
        opinion += ph.blankPart;
    }
    opinion += ph.yuanYue;
    opinion += salaryLowered ? ph.jian : ph.zeng;
    opinion += ph.zi;
    opinion += rise;
    opinion += ph.yuanCong;
    opinion += effective.Year + ph.nian + effective.Month;
    opinion += ph.yueQi;
    return opinion;
}

// Step 6: four lines; the first is 4 bytes narrower, the fourth takes
// whatever is left.  A cut never splits a character.
void wrapOpinion(TVdPrnForm& f, std::string opinion, int width)
{
    int n = width > INT_MIN + 4 ? width - 4 : INT_MIN;
    f.y1->Caption = CopyLeftDbcs(opinion, n);
    dropLeft(opinion, n);
    n = width;
    f.y2->Caption = CopyLeftDbcs(opinion, n);
    dropLeft(opinion, n);
    if (static_cast<long long>(opinion.size()) > width) {
        n = width;
        f.y3->Caption = CopyLeftDbcs(opinion, n);
        dropLeft(opinion, n);
        f.y4->Caption = opinion;
    } else {
        f.y3->Caption = opinion;
        f.y4->Caption.clear();
    }
}

}  // namespace

void TVdPrnForm::qrVDMQNeedData(qr::TCustomQuickRep& sender, bool& /*MoreData*/)
{
    // Step 1: the margins, in the engine's preparation units (tenths of a mm).
    sender.Page.SetValue(qr::TQRPage::LeftMargin, 15);
    sender.Page.SetValue(qr::TQRPage::TopMargin, 18);

    if (!Source)
        throw std::logic_error("declaration form: no roster row to fill from");
    const RowCells cell{*Source, Source->CurRow()};
    fillCells(*this, cell);

    // Step 4: the template and the effective year-month (the month after the
    // present appointment); a bad year-month stops here in either branch.
    const std::string tmpl = Trim(cell(col::OpinionTemplate));
    TPny effective;
    ShiftYearMonth(l_ny2->Caption, +1, effective);

    // Step 5, the cells read in the order the wording takes them.
    std::string opinion;
    if (!tmpl.empty()) {
        opinion = templateOpinion(*this, tmpl, cell(col::MonthlyRise), effective);
    } else {
        const bool oldTenPercentGiven = !Trim(cell(col::OldTenPercent)).empty();
        opinion = fixedOpinion(*this, Source->DocNo(), oldTenPercentGiven, cell(col::MonthlyRise), effective);
    }

    wrapOpinion(*this, std::move(opinion), StrToInt(Source->OpinionWidthText()));

    // Step 7: the print date and the issuing body.
    const Phrases& ph = phrases();
    const QDate date = Source->PrintDate();
    Lb_year->Caption = std::to_string(date.year()) + ph.nian + std::to_string(date.month()) + ph.yueSp +
                       std::to_string(date.day()) + ph.ri;
    lb_area->Caption = Source->IssuedBy();
}

}  // namespace vdmq
