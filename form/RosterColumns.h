#pragma once
// The roster's columns, one name for each column the program reads (the
// README's table "哪一列填到表上哪一栏" lists the same), and the flag rule.
// Columns count from 1 (A); rows 1-6 are the sheet's headings.  Every reader
// of a roster cell -- the filler, the print run, the roster pane, the check
// before paper, the benchmarks and the tests -- names its column here.
#include "form/PubFunc.h"

#include <string>
#include <string_view>

namespace vdmq::col {

inline constexpr int Name = 2;              // B  姓名 (required)
inline constexpr int Sex = 3;               // C  性别
inline constexpr int Born = 4;              // D  出生年月
inline constexpr int StartedWork = 5;       // E  参加工作时间
inline constexpr int ServiceFrom = 6;       // F  连续工龄推算时间
inline constexpr int Post = 7;              // G  职务(岗位), also 现单位及职务（岗位）
inline constexpr int Appointed = 8;         // H  现职任职时间 (required: the opinion's month follows it)
inline constexpr int OldTotal = 9;          // I  原工资合计
inline constexpr int OldGrade = 10;         // J  原岗位等级 (原单位及职务 when AE is empty)
inline constexpr int OldPostPay = 11;       // K  原岗位工资
inline constexpr int OldScale = 12;         // L  原薪级
inline constexpr int OldScalePay = 13;      // M  原薪级工资
inline constexpr int OldTenPercent = 14;    // N  原10%工资(或补贴)
inline constexpr int NewTotal = 17;         // Q  现工资合计
inline constexpr int NewGrade = 18;         // R  现岗位等级
inline constexpr int NewPostPay = 19;       // S  现岗位工资
inline constexpr int NewScale = 20;         // T  现薪级
inline constexpr int NewScalePay = 21;      // U  现薪级工资
inline constexpr int NewTenPercent = 22;    // V  现10%工资(或补贴)
inline constexpr int MonthlyRise = 25;      // Y  月增资
inline constexpr int PrintFlag = 28;        // AB 打印标志 (not printed)
inline constexpr int Education = 29;        // AC 学历
inline constexpr int Reason = 30;           // AD 变动原因
inline constexpr int OldPost = 31;          // AE 原单位及职务（岗位）
inline constexpr int OldAppointed = 32;     // AF 原职任职时间
inline constexpr int OpinionTemplate = 33;  // AG 呈报单位或主管部门意见 (a template; empty: the fixed wording)
inline constexpr int LastRead = OpinionTemplate;  // no column after this one is read

// The first row of data by convention (the default start and end row).
inline constexpr int FirstDataRow = 7;

// A row is selected when its flag cell, trimmed of blanks and control
// characters, is exactly "1".
inline bool IsPrintFlag(const QString& cellText) { return Trim(cellText) == u"1"; }
// The same test on bytes, GB18030 or UTF-8: the trimmed bytes are ASCII in
// both.
inline bool IsPrintFlag(std::string_view cellText)
{
    while (!cellText.empty() && static_cast<unsigned char>(cellText.front()) <= 0x20)
        cellText.remove_prefix(1);
    while (!cellText.empty() && static_cast<unsigned char>(cellText.back()) <= 0x20)
        cellText.remove_suffix(1);
    return cellText == "1";
}

// The field a column fills, in the words of the form and the user guide
// (UTF-8): "现职任职时间" for H; empty for a column the program does not read.
inline const char* FieldName(int column)
{
    switch (column) {
    case Name: return "姓名";
    case Sex: return "性别";
    case Born: return "出生年月";
    case StartedWork: return "参加工作时间";
    case ServiceFrom: return "连续工龄推算时间";
    case Post: return "职务(岗位)";
    case Appointed: return "现职任职时间";
    case OldTotal: return "原工资合计";
    case OldGrade: return "原岗位等级";
    case OldPostPay: return "原岗位工资";
    case OldScale: return "原薪级";
    case OldScalePay: return "原薪级工资";
    case OldTenPercent: return "原10%工资(或补贴)";
    case NewTotal: return "现工资合计";
    case NewGrade: return "现岗位等级";
    case NewPostPay: return "现岗位工资";
    case NewScale: return "现薪级";
    case NewScalePay: return "现薪级工资";
    case NewTenPercent: return "现10%工资(或补贴)";
    case MonthlyRise: return "月增资";
    case PrintFlag: return "打印标志";
    case Education: return "学历";
    case Reason: return "变动原因";
    case OldPost: return "原单位及职务（岗位）";
    case OldAppointed: return "原职任职时间";
    case OpinionTemplate: return "呈报单位或主管部门意见";
    default: return "";
    }
}

// "AB" for 28: the letters a spreadsheet shows above a column.
inline std::string Letters(int column)
{
    std::string out;
    for (int n = column; n > 0; n = (n - 1) / 26)
        out.insert(out.begin(), char('A' + (n - 1) % 26));
    return out;
}

}  // namespace vdmq::col

namespace vdmq {

// What a data label of the form shows.
enum class TLabelText {
    Cell,            // its cell as read
    YearMonth,       // its cell in the year-month display (FormatYearMonth)
    FirstFourBytes,  // the first four bytes of its cell, never half a character
    Blank,           // nothing: its design caption never prints
    Opinion,         // a line of the submitting unit's opinion
    Entry,           // an entry of the run, the same on every form
};

// Where a data label's text comes from.  The filler fills the labels by
// this table and the check names each label's column by it, so the two
// cannot tell different stories about a form.
struct TLabelBinding {
    const char* label;  // the data label
    const char* field;  // the label's field in the words of the form (UTF-8)
    TLabelText text;
    int column;    // the roster column read; 0: not from a cell
    int fallback;  // read instead when `column` is blank; 0: none
};

// Every data label, in the order the filler sets them and reads their
// cells (a cell that cannot be read leaves the labels after it as they
// were).
inline constexpr TLabelBinding kLabelBindings[] = {
    {"l_xm", "姓名", TLabelText::Cell, col::Name, 0},
    {"l_xb", "性别", TLabelText::Cell, col::Sex, 0},
    {"l_whcd", "学历", TLabelText::Cell, col::Education, 0},
    {"l_csny", "出生年月", TLabelText::YearMonth, col::Born, 0},
    {"l_gzny", "参加工作时间", TLabelText::YearMonth, col::StartedWork, 0},
    {"l_tsny", "连续工龄推算时间", TLabelText::YearMonth, col::ServiceFrom, 0},
    {"lb_bdyy", "变动原因", TLabelText::YearMonth, col::Reason, 0},
    {"lb_ndkh", "考核年限起始时间", TLabelText::FirstFourBytes, col::Appointed, 0},
    {"zw0", "职务(岗位)", TLabelText::Cell, col::Post, 0},
    // A blank former unit and post (empty or blanks only): the former
    // grade stands there, and in the opinion.
    {"zw1", "原单位及职务（岗位）", TLabelText::Cell, col::OldPost, col::OldGrade},
    {"zw2", "现单位及职务（岗位）", TLabelText::Cell, col::Post, 0},
    {"l_ny1", "原职任职时间", TLabelText::YearMonth, col::OldAppointed, 0},
    {"l_ny2", "现职任职时间", TLabelText::YearMonth, col::Appointed, 0},
    {"l_gw1", "原岗位等级", TLabelText::Cell, col::OldGrade, 0},
    {"l_gw2", "现岗位等级", TLabelText::Cell, col::NewGrade, 0},
    {"m_gw1", "原岗位工资", TLabelText::Cell, col::OldPostPay, 0},
    {"m_gw2", "现岗位工资", TLabelText::Cell, col::NewPostPay, 0},
    {"l_xj1", "原薪级", TLabelText::Cell, col::OldScale, 0},
    {"l_xj2", "现薪级", TLabelText::Cell, col::NewScale, 0},
    {"m_xj1", "原薪级工资", TLabelText::Cell, col::OldScalePay, 0},
    {"m_xj2", "现薪级工资", TLabelText::Cell, col::NewScalePay, 0},
    {"l_bt1", "原10%工资(或补贴)", TLabelText::Cell, col::OldTenPercent, 0},
    {"l_bt2", "现10%工资(或补贴)", TLabelText::Cell, col::NewTenPercent, 0},
    {"l_tmp1", "试用、见习初期工资", TLabelText::Blank, 0, 0},
    {"l_ph1", "原工资合计", TLabelText::Cell, col::OldTotal, 0},
    {"l_ph2", "现工资合计", TLabelText::Cell, col::NewTotal, 0},
    {"y1", "申报意见第1行", TLabelText::Opinion, 0, 0},
    {"y2", "申报意见第2行", TLabelText::Opinion, 0, 0},
    {"y3", "申报意见第3行", TLabelText::Opinion, 0, 0},
    {"y4", "申报意见第4行", TLabelText::Opinion, 0, 0},
    {"Lb_year", "打印日期", TLabelText::Entry, 0, 0},
    {"lb_area", "制表机构", TLabelText::Entry, 0, 0},
};

// The binding of a data label; nullptr for any other name.
inline const TLabelBinding* Binding(std::string_view label)
{
    for (const TLabelBinding& b : kLabelBindings)
        if (label == b.label)
            return &b;
    return nullptr;
}

// The cell a label's text comes from in a row whose cells `cellText`
// (column -> text) gives: its own column, or the fallback when that one is
// blank; the column and the text read.
template <class CellText>
auto BoundCell(const TLabelBinding& b, const CellText& cellText)
{
    struct Read {
        int column;
        decltype(cellText(0)) text;
    };
    auto text = cellText(b.column);
    if (b.fallback > 0 && Trim(text).isEmpty())
        return Read{b.fallback, cellText(b.fallback)};
    return Read{b.column, std::move(text)};
}

}  // namespace vdmq
