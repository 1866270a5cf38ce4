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

// A caption compared as a whole number: anything else counts as 0.
int lenient(const QString& text)
{
    int v = 0;
    return TryStrToInt(text, v) ? v : 0;
}

// The cells of the row being filled, by column.
struct RowCells {
    const TFillSource& source;
    int row;
    QString operator()(int column) const { return source.CellText(row, column); }
};

// The row's cells into the data labels, in the order of the binding table
// (a failing read leaves the later labels untouched).  Returns the cell the
// present appointment's year-month was shown from.
QString fillCells(TApprovalForm& f, const RowCells& cell)
{
    QString appointed;
    for (const TLabelBinding& b : kLabelBindings) {
        if (b.text == TLabelText::Opinion || b.text == TLabelText::Entry)
            continue;  // the opinion and the entries come later
        QString& caption = f.Label(b.label)->Caption;
        if (b.text == TLabelText::Blank) {
            caption.clear();
            continue;
        }
        const QString text = BoundCell(b, cell).text;
        if (b.text == TLabelText::YearMonth) {
            caption = FormatYearMonth(text);
            if (f.Label(b.label) == f.NewAppointedLabel)
                appointed = text;
        } else if (b.text == TLabelText::FirstFourBytes) {
            // The start year of the appraisal years: the first four bytes,
            // but never half of a character.
            int four = 4;
            caption = CopyLeftDbcs(text, four);
        } else {
            caption = text;
        }
    }
    return appointed;
}

// The opinion from the row's own template.  Each placeholder in turn, on the
// text the earlier ones left.
QString templateOpinion(const TApprovalForm& f, const QString& tmpl, const QString& rise, const TPny& effective)
{
    const std::pair<QString, QString> fills[] = {
        {"&zw1", f.OldPostLabel->Caption},
        {"&zw2", f.NewPostLabel->Caption},
        {"&gw1", f.OldPostPayLabel->Caption},
        {"&gw2", f.NewPostPayLabel->Caption},
        {"&gwdj1", f.OldGradeLabel->Caption},
        {"&gwdj2", f.NewGradeLabel->Caption},
        {"&xjdj1", f.OldScaleLabel->Caption},
        {"&xjdj2", f.NewScaleLabel->Caption},
        {"&xj1", f.OldScalePayLabel->Caption},
        {"&xj2", f.NewScalePayLabel->Caption},
        {"&bf1", f.OldTenPercentLabel->Caption},
        {"&bf2", f.NewTenPercentLabel->Caption},
        {"&zz", rise},
        {"&ym", effective.Year + " 年 " + effective.Month + " 月"},
    };
    QString opinion = tmpl;
    for (const auto& [placeholder, value] : fills)
        opinion = ReplaceFirst(opinion, placeholder, value);
    return opinion;
}

// The opinion in the fixed wording, for a row without a template.
// Promotion or lowering follows the post grades; the 10% part and the
// monthly change follow the post salaries, independently of the grades.
QString fixedOpinion(const TApprovalForm& f, const QString& docNo, bool oldTenPercentGiven, const QString& rise,
                     const TPny& effective)
{
    const bool lowered = lenient(f.NewGradeLabel->Caption) < lenient(f.OldGradeLabel->Caption);
    const bool salaryLowered = lenient(f.NewPostPayLabel->Caption) < lenient(f.OldPostPayLabel->Caption);
    QString opinion;
    opinion.reserve(200);
    opinion += "根据";
    opinion += docNo;
    opinion += "文件规定，该同志职务由";
    opinion += f.OldPostLabel->Caption;
    opinion += lowered ? "低任" : "晋升";
    opinion += "为";
    opinion += f.NewPostLabel->Caption;
    opinion += "，拟同意其";
    opinion += "岗位工资由";
    opinion += f.OldGradeLabel->Caption + u' ' + f.OldPostPayLabel->Caption + " 元";
    opinion += lowered ? "降低为" : "晋升到";
    opinion += f.NewGradeLabel->Caption + u' ' + f.NewPostPayLabel->Caption;
    opinion += " 元，薪级工资";
    if (lenient(f.NewScalePayLabel->Caption) == lenient(f.OldScalePayLabel->Caption))
        opinion += "不变，";
    else
        opinion += "重新确定为 " + f.NewScalePayLabel->Caption + " 元，";
    opinion += "（提高工资10%部分由 ";
    if (oldTenPercentGiven) {
        opinion += f.OldTenPercentLabel->Caption + " 元";
        opinion += salaryLowered ? "降低为 " : "增加到 ";
        opinion += f.NewTenPercentLabel->Caption;
    } else {
        opinion += " -- 增加到 --";
    }
    opinion += " 元），月";
    opinion += salaryLowered ? "减" : "增";
    opinion += "资 ";
    opinion += rise;
    opinion += " 元，从 ";
    opinion += effective.Year + " 年 " + effective.Month;
    opinion += " 月起执行。";
    return opinion;
}

// The opinion cut into four lines; the first is 4 bytes narrower, the
// fourth takes whatever is left.  Widths count GB18030 bytes; a cut never
// splits a character.
void wrapOpinion(TApprovalForm& f, QString opinion, int width)
{
    int n = width > INT_MIN + 4 ? width - 4 : INT_MIN;
    f.OpinionLine1->Caption = CopyLeftDbcs(opinion, n);
    opinion.remove(0, f.OpinionLine1->Caption.size());
    n = width;
    f.OpinionLine2->Caption = CopyLeftDbcs(opinion, n);
    opinion.remove(0, f.OpinionLine2->Caption.size());
    if (gbPrefix(opinion).bytes > width) {
        n = width;
        f.OpinionLine3->Caption = CopyLeftDbcs(opinion, n);
        opinion.remove(0, f.OpinionLine3->Caption.size());
        f.OpinionLine4->Caption = opinion;
    } else {
        f.OpinionLine3->Caption = opinion;
        f.OpinionLine4->Caption.clear();
    }
}

}  // namespace

void TApprovalForm::FillRow(qr::TCustomQuickRep& sender, bool& /*MoreData*/)
{
    // The page margins, in the engine's preparation units (tenths of a mm).
    sender.Page.SetValue(qr::TQRPage::LeftMargin, 15);
    sender.Page.SetValue(qr::TQRPage::TopMargin, 18);

    if (!Source)
        throw std::logic_error("declaration form: no roster row to fill from");
    const RowCells cell{*Source, Source->CurRow()};
    const QString appointed = fillCells(*this, cell);

    // The template and the effective year-month (the month after the
    // present appointment, read from the bytes its label shows); a bad
    // year-month stops here in either branch.
    const QString tmpl = Trim(cell(col::OpinionTemplate));
    TPny effective;
    ShiftShownYearMonth(appointed, +1, effective);

    // The opinion, its cells read in the order the wording takes them.
    QString opinion;
    if (!tmpl.isEmpty()) {
        opinion = templateOpinion(*this, tmpl, cell(col::MonthlyRise), effective);
    } else {
        const bool oldTenPercentGiven = !Trim(cell(col::OldTenPercent)).isEmpty();
        opinion = fixedOpinion(*this, Source->DocNo(), oldTenPercentGiven, cell(col::MonthlyRise), effective);
    }

    wrapOpinion(*this, std::move(opinion), StrToInt(Source->OpinionWidthText()));

    // The print date and the issuing body.
    const QDate date = Source->PrintDate();
    PrintDateLabel->Caption = QStringLiteral("%1 年 %2 月 %3 日").arg(date.year()).arg(date.month()).arg(date.day());
    IssuedByLabel->Caption = Source->IssuedBy();
}

}  // namespace vdmq
