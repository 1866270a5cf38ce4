#include "app/ui/VdCheckDialog.h"

#include "app/core/settings.h"
#include "app/ui/VdDialogs.h"
#include "app/ui/VdRunReport.h"
#include "platform/gbtext.h"
#include "platform/profile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <set>

namespace vdmq {

bool CheckBeforeRunEnabled(const std::string& appDirGb)
{
    const QString v =
        ReadProfileString(SettingsFilePath(appDirGb), kProgramSection, kCheckBeforePrintKey, "1").trimmed().toLower();
    return !(v == QLatin1String("0") || v == QLatin1String("no") || v == QLatin1String("false") ||
             v == QLatin1String("off") || v == QStringLiteral("否"));
}

bool ConfirmCheckedRun(QWidget* parent, TDialogs& dialogs, TRunMode mode, const TCheckReport& report)
{
    if (report.problems.empty())
        return true;
    if (mode == TRunMode::Preview && report.flaggedRows <= 1)
        return true;
    return dialogs.ConfirmCheck(parent, report, mode);
}

bool TQtDialogs::ConfirmCheck(QWidget* parent, const TCheckReport& report, TRunMode mode)
{
    TCheckDialog dialog(report, mode, parent);
    return dialog.exec() == QDialog::Accepted;
}

namespace {

QString rangeText(const TCheckReport& r)
{
    return r.firstRow == r.lastRow ? QStringLiteral("第 %1 行").arg(r.firstRow)
                                   : QStringLiteral("第 %1 行到第 %2 行").arg(r.firstRow).arg(r.lastRow);
}

}  // namespace

TCheckDialog::TCheckDialog(const TCheckReport& report, TRunMode mode, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CheckDialog"));
    // The run's own verb: 预览, 导出 (导出PDF) or 打印.
    const QString going = mode == TRunMode::Preview ? QStringLiteral("预览")
                          : mode == TRunMode::Pdf   ? QStringLiteral("导出")
                                                    : QStringLiteral("打印");
    setWindowTitle(going + QStringLiteral("前检查"));
    setSizeGripEnabled(true);

    lbSummary = new QLabel(this);
    lbSummary->setWordWrap(true);
    const int entries = report.EntryProblems();
    QString summary = QStringLiteral("%1标记打印的 %2 人中，有 %3 人的审批表印出来会有问题（共 %4 处），列在下面。")
                          .arg(rangeText(report))
                          .arg(report.flaggedRows)
                          .arg(report.RowsWithProblems())
                          .arg(report.problems.size() - std::size_t(entries));
    if (entries > 0)
        summary +=
            QStringLiteral("\n另有 %1 处是主窗口输入项的问题，每一份表都受影响，列在最前面（没有行号）。").arg(entries);
    if (!report.sheet.isEmpty())
        summary += QStringLiteral("\n按%1排版检查。").arg(report.sheet);
    summary += entries > 0 ? QStringLiteral("\n可以返回修改花名册或输入项，保存后再%1；也可以照样%1。").arg(going)
                           : QStringLiteral("\n可以返回修改花名册，保存后再%1；也可以照样%1。").arg(going);
    lbSummary->setText(summary);

    buildTable(report);

    btnCopy = new QPushButton(QStringLiteral("复制全部"), this);
    btnCopy->setToolTip(QStringLiteral("把整张表复制到剪贴板，可以粘贴到表格程序或消息里"));
    btnCopy->setAutoDefault(false);
    btnContinue = new QPushButton(QStringLiteral("继续") + going, this);
    btnContinue->setAutoDefault(false);
    btnBack = new QPushButton(QStringLiteral("返回修改"), this);
    btnBack->setDefault(true);
    connect(btnCopy, &QPushButton::clicked, this, &TCheckDialog::btnCopyClick);
    connect(btnContinue, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnBack, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnCopy);
    buttons->addStretch(1);
    buttons->addWidget(btnContinue);
    buttons->addWidget(btnBack);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbSummary);
    layout->addWidget(tblProblems, 1);
    layout->addLayout(buttons);
    resize(820, 440);
    btnBack->setFocus();
}

// The problems, one a row, wrapped to the width the dialog gives them;
// copied with Ctrl+C or the context menu.
void TCheckDialog::buildTable(const TCheckReport& report)
{
    tblProblems = new QTableWidget(int(report.problems.size()), 3, this);
    tblProblems->setObjectName(QStringLiteral("tblProblems"));
    tblProblems->setHorizontalHeaderLabels({QStringLiteral("行号"), QStringLiteral("姓名"), QStringLiteral("问题")});
    tblProblems->verticalHeader()->hide();
    tblProblems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblProblems->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblProblems->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tblProblems->setWordWrap(true);
    tblProblems->setAlternatingRowColors(true);
    int i = 0;
    for (const TCheckProblem& p : report.problems) {
        // The run's entries have no row: they come first, row left blank.
        auto* row = new QTableWidgetItem(p.row > 0 ? QString::number(p.row) : QString());
        row->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        tblProblems->setItem(i, 0, row);
        tblProblems->setItem(i, 1, new QTableWidgetItem(p.name));
        tblProblems->setItem(i, 2, new QTableWidgetItem(p.message));
        ++i;
    }
    QHeaderView* header = tblProblems->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    // Long problems wrap: the rows follow the width the problem column gets,
    // once a resize has settled (thousands of rows take a moment).
    auto* rowHeights = new QTimer(this);
    rowHeights->setSingleShot(true);
    rowHeights->setInterval(60);
    connect(rowHeights, &QTimer::timeout, tblProblems, &QTableView::resizeRowsToContents);
    connect(header, &QHeaderView::sectionResized, rowHeights, [rowHeights](int section) {
        if (section == 2)
            rowHeights->start();
    });
    tblProblems->resizeRowsToContents();

    // Ctrl+C and the context menu copy; the table is read-only otherwise.
    auto* copy = new QAction(QStringLiteral("复制"), tblProblems);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &TCheckDialog::CopySelection);
    auto* copyAll = new QAction(QStringLiteral("复制全部"), tblProblems);
    connect(copyAll, &QAction::triggered, this, &TCheckDialog::btnCopyClick);
    tblProblems->addAction(copy);
    tblProblems->addAction(copyAll);
    tblProblems->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString TCheckDialog::TableText(bool selectedOnly) const
{
    std::set<int> rows;
    if (selectedOnly) {
        for (const QModelIndex& index : tblProblems->selectionModel()->selectedIndexes())
            rows.insert(index.row());
    } else {
        for (int r = 0; r < tblProblems->rowCount(); ++r)
            rows.insert(r);
    }
    QString text = QStringLiteral("行号\t姓名\t问题\n");
    for (int r : rows) {
        QStringList cells;
        for (int c = 0; c < tblProblems->columnCount(); ++c) {
            const QTableWidgetItem* item = tblProblems->item(r, c);
            // One line per problem, whatever a cell's text holds.
            QString t = item ? item->text() : QString();
            t.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
            cells << t;
        }
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}

void TCheckDialog::btnCopyClick() { QApplication::clipboard()->setText(TableText(false)); }

void TCheckDialog::CopySelection()
{
    const bool any = tblProblems->selectionModel()->hasSelection();
    QApplication::clipboard()->setText(TableText(any));
}

}  // namespace vdmq
