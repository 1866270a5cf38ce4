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
    if (n <= 0) return;
    s.erase(0, std::min(s.size(), static_cast<std::size_t>(n)));
}

}  // namespace

void TVdPrnForm::qrVDMQNeedData(qr::TCustomQuickRep& sender, bool& /*MoreData*/)
{
    // Step 1: the margins, in the engine's preparation units (tenths of a mm).
    sender.Page.SetValue(qr::TQRPage::LeftMargin, 15);
    sender.Page.SetValue(qr::TQRPage::TopMargin, 18);

    if (!Source) throw std::logic_error("declaration form: no roster row to fill from");
    const Phrases& ph = phrases();
    const int row = Source->CurRow();
    const auto cell = [&](int col) { return Source->CellText(row, col); };

    // Step 2: cells to labels, in this order (a failing read leaves the later
    // labels untouched).
    l_xm->Caption = cell(2);
    l_xb->Caption = cell(3);
    l_whcd->Caption = cell(29);
    l_csny->Caption = FormatYearMonth(cell(4));
    l_gzny->Caption = FormatYearMonth(cell(5));
    l_tsny->Caption = FormatYearMonth(cell(6));
    lb_bdyy->Caption = FormatYearMonth(cell(30));
    {
        // The start year of the appraisal years: the first four bytes, but
        // never half of a character.
        int four = 4;
        lb_ndkh->Caption = CopyLeftDbcs(cell(8), four);
    }
    zw0->Caption = cell(7);
    zw1->Caption = cell(31);
    if (Trim(zw1->Caption).empty()) zw1->Caption = cell(10);
    zw2->Caption = cell(7);
    l_ny1->Caption = FormatYearMonth(cell(32));
    l_ny2->Caption = FormatYearMonth(cell(8));
    l_gw1->Caption = cell(10);
    l_gw2->Caption = cell(18);
    m_gw1->Caption = cell(11);
    m_gw2->Caption = cell(19);
    l_xj1->Caption = cell(12);
    l_xj2->Caption = cell(20);
    m_xj1->Caption = cell(13);
    m_xj2->Caption = cell(21);
    l_bt1->Caption = cell(14);
    l_bt2->Caption = cell(22);
    l_tmp1->Caption.clear();
    l_ph1->Caption = cell(9);
    l_ph2->Caption = cell(17);

    // Step 3: promotion or lowering follows the post grades.
    const bool lowered = lenient(l_gw2->Caption) < lenient(l_gw1->Caption);

    // Step 4: the template and the effective year-month (the month after the
    // present appointment); a bad year-month stops here in either branch.
    const std::string tmpl = Trim(cell(33));
    TPny effective;
    ShiftYearMonth(l_ny2->Caption, +1, effective);

    std::string opinion;
    if (!tmpl.empty()) {
        // Step 5a: the row's own wording.
        // Each placeholder in turn, on the text the earlier ones left.
        const std::pair<std::string_view, std::string> fills[] = {
            {"&zw1", zw1->Caption},     {"&zw2", zw2->Caption},
            {"&gw1", m_gw1->Caption},   {"&gw2", m_gw2->Caption},
            {"&gwdj1", l_gw1->Caption}, {"&gwdj2", l_gw2->Caption},
            {"&xjdj1", l_xj1->Caption}, {"&xjdj2", l_xj2->Caption},
            {"&xj1", m_xj1->Caption},   {"&xj2", m_xj2->Caption},
            {"&bf1", l_bt1->Caption},   {"&bf2", l_bt2->Caption},
            {"&zz", cell(25)},
            {"&ym", effective.Year + ph.nian + effective.Month + ph.yue},
        };
        opinion = tmpl;
        for (const auto& [placeholder, value] : fills)
            opinion = ReplaceFirst(opinion, placeholder, value);
    } else {
        // Step 5b: the fixed wording.  The 10% part and the monthly change
        // follow the post salaries, independently of the grades.
        const bool salaryLowered = lenient(m_gw2->Caption) < lenient(m_gw1->Caption);
        opinion.reserve(400);
        opinion += ph.genju;
        opinion += Source->DocNo();
        opinion += ph.wenjian;
        opinion += zw1->Caption;
        opinion += lowered ? ph.diren : ph.jinsheng;
        opinion += ph.wei;
        opinion += zw2->Caption;
        opinion += ph.nitongyi;
        opinion += ph.gangwei;
        opinion += l_gw1->Caption + " " + m_gw1->Caption + ph.yuan;
        opinion += lowered ? ph.jiangdiwei : ph.jinshengdao;
        opinion += l_gw2->Caption + " " + m_gw2->Caption;
        opinion += ph.yuanXinji;
        if (lenient(m_xj2->Caption) == lenient(m_xj1->Caption))
            opinion += ph.bubian;
        else
            opinion += ph.chongxin + m_xj2->Caption + ph.yuanComma;
        opinion += ph.tigao;
        if (!Trim(cell(14)).empty()) {
            opinion += l_bt1->Caption + ph.yuan;
            opinion += salaryLowered ? ph.jiangdiweiSp : ph.zengjiadaoSp;
            opinion += l_bt2->Caption;
        } else {
            opinion += ph.blankPart;
        }
        opinion += ph.yuanYue;
        opinion += salaryLowered ? ph.jian : ph.zeng;
        opinion += ph.zi;
        opinion += cell(25);
        opinion += ph.yuanCong;
        opinion += effective.Year + ph.nian + effective.Month;
        opinion += ph.yueQi;
    }

    // Step 6: four lines; the first is 4 bytes narrower, the fourth takes
    // whatever is left.  A cut never splits a character.
    const int width = StrToInt(Source->OpinionWidthText());
    int n = width > INT_MIN + 4 ? width - 4 : INT_MIN;
    y1->Caption = CopyLeftDbcs(opinion, n);
    dropLeft(opinion, n);
    n = width;
    y2->Caption = CopyLeftDbcs(opinion, n);
    dropLeft(opinion, n);
    if (static_cast<long long>(opinion.size()) > width) {
        n = width;
        y3->Caption = CopyLeftDbcs(opinion, n);
        dropLeft(opinion, n);
        y4->Caption = opinion;
    } else {
        y3->Caption = opinion;
        y4->Caption.clear();
    }

    // Step 7: the print date and the issuing body.
    const QDate date = Source->PrintDate();
    Lb_year->Caption = std::to_string(date.year()) + ph.nian + std::to_string(date.month()) +
                       ph.yueSp + std::to_string(date.day()) + ph.ri;
    lb_area->Caption = Source->IssuedBy();
}

}  // namespace vdmq
