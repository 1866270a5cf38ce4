#pragma once
// The question before paper: when the check of a run's flagged rows
// (form/VdPrnCheck) finds something, this dialog lists it, row, name and
// problem, in a table the user can scroll and copy, and asks whether to go
// on (继续打印 / 继续预览 / 继续导出) or go back and correct the roster (返回修改).
#include "app/core/printrun.h"
#include "form/VdPrnCheck.h"

#include <QDialog>
#include <QString>
#include <string>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vdmq {

class TDialogs;

// vdmq.ini, section "vdmq": CheckBeforePrint=0 turns the check and its
// question off (1, the default, keeps them).
inline constexpr const char* kProgramSection = "vdmq";
inline constexpr const char* kCheckBeforePrintKey = "CheckBeforePrint";
// Read afresh from the settings file of `appDirGb` at every run.
bool CheckBeforeRunEnabled(const std::string& appDirGb);

// Whether a run goes on after its check.  Nothing to report goes on without
// a word; so does a preview of a single form, which the user is about to
// see anyway.  Otherwise `dialogs` asks.
bool ConfirmCheckedRun(QWidget* parent, TDialogs& dialogs, TRunMode mode, const TCheckReport& report);

class TCheckDialog : public QDialog {
    Q_OBJECT
public:
    // Before the run of `mode`: its verb names the title and the button.
    TCheckDialog(const TCheckReport& report, TRunMode mode, QWidget* parent = nullptr);

    QLabel* lbSummary = nullptr;
    QTableWidget* tblProblems = nullptr;
    QPushButton* btnCopy = nullptr;      // 复制全部
    QPushButton* btnContinue = nullptr;  // 继续打印 / 继续预览 / 继续导出
    QPushButton* btnBack = nullptr;      // 返回修改 (the default)

    // The table as tab-separated lines under a heading line: the selected
    // rows, or every row.  What the copy commands put on the clipboard.
    QString TableText(bool selectedOnly) const;

    void btnCopyClick();   // every row to the clipboard
    void CopySelection();  // Ctrl+C: the selected rows

private:
    void buildTable(const TCheckReport& report);
};

}  // namespace vdmq
