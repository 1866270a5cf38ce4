#include "app/ui/VdRunReport.h"
#include "app/ui/VdMainUnit.h"
#include "platform/gbtext.h"

#include <QDir>
#include <QPointer>
#include <QTimer>

namespace vdmq {

QString ProgressLine(int form, int forms, int row)
{
    return QStringLiteral("第 %1 份/共 %2 份（第 %3 行）").arg(form).arg(forms).arg(row);
}

QString MsgNoFlaggedRow(int startRow, int endRow)
{
    return QStringLiteral("第 %1 至 %2 行中没有打印标志为 1 的人员").arg(startRow).arg(endRow);
}

QString MsgStartAfterEnd() { return QStringLiteral("开始行号大于结束行号"); }

QString MsgNoPrinter()
{
    return QStringLiteral("没有打印任何审批表：本机没有可用的打印机。\n\n"
                          "请先在系统设置的“打印机”中添加打印机（或启动打印服务），再按“打印”；"
                          "也可以按“导出PDF”把审批表存为 PDF 文件。");
}

std::string MsgPrinterGone(int row)
{
    return toGb(QStringLiteral("打印机已不可用，第 %1 行及以后的审批表没有打印。").arg(row));
}

namespace {

QString forms(int n) { return QStringLiteral("%1 份审批表").arg(n); }

// Where the forms went: "送往打印机“PDF”" or "导出到 PDF 文件 …".
QString whereTo(const TRunEnd& end)
{
    if (end.mode == TRunMode::Pdf)
        return QStringLiteral("导出到 PDF 文件：\n") + QDir::toNativeSeparators(end.target);
    return end.target.isEmpty() ? QStringLiteral("送往打印机") : QStringLiteral("送往打印机“%1”").arg(end.target);
}

void offerToGoOn(TVdMainForm& form, const TRunEnd& end)
{
    const TRunResult& r = end.result;
    const int next = (r.lastRow > 0 ? r.lastRow : end.startRow - 1) + 1;
    QString text = QStringLiteral("打印已停止。");
    if (r.forms > 0)
        text += QStringLiteral("已将 %1%2，最后一份是第 %3 行。")
                    .arg(forms(r.forms), whereTo(end), QString::number(r.lastFormRow));
    else
        text += QStringLiteral("没有打印任何审批表。");
    if (next > end.endRow) {
        form.Dialogs().Message(&form, TVdMainForm::ApplicationTitle(), text);
        return;
    }
    text += QStringLiteral("\n\n要从第 %1 行继续打印吗？").arg(next);
    const int choice =
        form.Dialogs().Ask(&form, TVdMainForm::ApplicationTitle(), text,
                           {QStringLiteral("继续打印"), QStringLiteral("填入开始行号"), QStringLiteral("关闭")}, 0);
    if (choice != 0 && choice != 1)
        return;
    form.edStart->setText(QString::number(next));
    if (choice == 0) {
        // After this run has unwound.
        QTimer::singleShot(0, &form, [f = QPointer<TVdMainForm>(&form)] {
            if (f)
                f->btnPrn->click();
        });
    }
}

}  // namespace

void ReportRunEnd(TVdMainForm& form, const TRunEnd& end)
{
    const TRunResult& r = end.result;
    const QString title = TVdMainForm::ApplicationTitle();
    const bool output = end.mode != TRunMode::Preview;
    switch (r.status) {
    case TRunStatus::Done:
        if (r.forms == 0) {
            form.Dialogs().Message(&form, title,
                                   end.startRow > end.endRow ? MsgStartAfterEnd()
                                                             : MsgNoFlaggedRow(end.startRow, end.endRow));
        } else if (output) {
            form.Dialogs().Message(&form, title, QStringLiteral("已将 %1%2。").arg(forms(r.forms), whereTo(end)));
        }
        break;
    case TRunStatus::Stopped:
        if (end.mode == TRunMode::Print) {
            offerToGoOn(form, end);
        } else if (end.mode == TRunMode::Pdf) {
            form.Dialogs().Message(&form, title,
                                   r.forms > 0 ? QStringLiteral("导出已停止。已将 %1（最后一份是第 %2 行）%3。")
                                                     .arg(forms(r.forms), QString::number(r.lastFormRow), whereTo(end))
                                               : QStringLiteral("导出已停止，没有导出任何审批表。"));
        }
        break;
    case TRunStatus::Failed:
        // The error box has said what went wrong; say what did go out.
        if (output && r.forms > 0 && r.errorRow > 0) {
            const QString verb = end.mode == TRunMode::Pdf ? QStringLiteral("导出") : QStringLiteral("打印");
            form.Dialogs().Message(
                &form, title,
                QStringLiteral("已将 %1%2，最后一份是第 %3 行。\n第 %4 行出错，从这一行起的审批表没有%5。"
                               "改正后，可把“开始打印行号”设为 %4 再%5。")
                    .arg(forms(r.forms), whereTo(end), QString::number(r.lastFormRow), QString::number(r.errorRow),
                         verb));
        }
        break;
    default: break;
    }
}

}  // namespace vdmq
