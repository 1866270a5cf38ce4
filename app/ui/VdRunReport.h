#pragma once
// What the main window tells the user about a print run: the progress line,
// the message when a run gives no form, the missing printer, and the
// summary at the end of a print or PDF run, with the offer to go on from
// the next row after a stop.
#include "app/core/printrun.h"
#include <QString>

namespace vdmq {

class TVdMainForm;

// "第 k 份/共 n 份（第 R 行）"
QString ProgressLine(int form, int forms, int row);
// "第 N 至 M 行中没有打印标志为 1 的人员"
QString MsgNoFlaggedRow(int startRow, int endRow);
// "开始行号大于结束行号"
QString MsgStartAfterEnd();
// Nothing printed because no printer is installed, and what to do.
QString MsgNoPrinter();
// A printer that went away in the middle of a run (GB18030, as run errors are).
std::string MsgPrinterGone(int row);

struct TRunEnd {
    TRunMode mode = TRunMode::Print;
    TRunResult result;
    int startRow = 0, endRow = 0;
    QString target;  // the printer, or the PDF file
};

// Tells the user how the run ended.  After a stopped print run it offers
// to go on from the row after the last one taken: 继续打印 puts that row in
// 开始打印行号 and prints on, 填入开始行号 only puts it there.
void ReportRunEnd(TVdMainForm& form, const TRunEnd& end);

}  // namespace vdmq
