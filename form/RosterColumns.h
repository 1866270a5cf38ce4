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
// characters, is exactly "1".  The same test in GB18030 and in UTF-8: the
// trimmed bytes are ASCII in both.
inline bool IsPrintFlag(std::string_view cellText) { return Trim(cellText) == "1"; }

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
