#pragma once
// Roster columns that more than the filler needs to know by number: the
// print run's flag and the cells the preflight check requires.  Columns
// count from 1 (A).  The filler reads its own columns in VdPrnFill.cpp.
#include "form/PubFunc.h"

#include <string>
#include <string_view>

namespace vdmq::col {

inline constexpr int Name = 2;        // B  姓名
inline constexpr int Appointed = 8;   // H  现职任职时间 (required: the opinion's month follows it)
inline constexpr int PrintFlag = 28;  // AB 打印标志

// A row is selected when its flag cell, trimmed, is exactly "1".
inline bool IsPrintFlag(std::string_view cellText) { return Trim(cellText) == "1"; }

// "AB" for 28: the letters a spreadsheet shows above a column.
inline std::string Letters(int column)
{
    std::string out;
    for (int n = column; n > 0; n = (n - 1) / 26)
        out.insert(out.begin(), char('A' + (n - 1) % 26));
    return out;
}

}  // namespace vdmq::col
