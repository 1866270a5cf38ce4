#include "app/ui/VdRosterPane.h"
#include "platform/gbtext.h"
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

namespace vdmq {

namespace {

// The sheet's own text of a cell; an error cell shows its error text.
QString displayText(const roster::Cell& cell, bool dates1904, int row, int col)
{
    if (cell.type == roster::CellType::Empty)
        return QString();
    try {
        return QString::fromStdString(roster::cellText(cell, dates1904, row, col));
    } catch (const std::exception&) {
        return QString::fromStdString(cell.text);
    }
}

const QColor kFlagBackground(255, 236, 179);
const QColor kFlagHeader(178, 34, 34);

// Merged areas beyond this many are left unspanned: a sheet is readable
// without them, and a huge span list makes every repaint slow.
constexpr std::size_t kMaxSpans = 5000;

}  // namespace

// ---- model -----------------------------------------------------------------

TRosterModel::TRosterModel(QObject* parent) : QAbstractTableModel(parent) {}

void TRosterModel::SetRows(std::unique_ptr<TRosterRows> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    sheet_ = rows_ ? rows_->Sheet() : nullptr;
    dates1904_ = rows_ && rows_->Dates1904();
    flags_.assign(sheet_ ? std::max(0, sheet_->rowCount()) : 0, -1);
    endResetModel();
}

bool TRosterModel::Flagged(int row) const
{
    if (!sheet_ || row < 1 || row > static_cast<int>(flags_.size()))
        return false;
    signed char& f = flags_[row - 1];
    if (f < 0) {
        // The print run's rule, on the reader's UTF-8 text.
        const roster::Cell c = sheet_->cell(row, col::PrintFlag);
        bool flagged = false;
        if (c.type != roster::CellType::Empty && c.type != roster::CellType::Error) {
            try {
                flagged = col::IsPrintFlag(roster::cellText(c, dates1904_, row, col::PrintFlag));
            } catch (const std::exception&) {
                flagged = false;
            }
        }
        f = flagged ? 1 : 0;
    }
    return f == 1;
}

int TRosterModel::rowCount(const QModelIndex& parent) const
{
    return (parent.isValid() || !sheet_) ? 0 : std::max(0, sheet_->rowCount());
}

int TRosterModel::columnCount(const QModelIndex& parent) const
{
    return (parent.isValid() || !sheet_) ? 0 : std::max(0, sheet_->columnCount());
}

QVariant TRosterModel::data(const QModelIndex& index, int role) const
{
    if (!sheet_ || !index.isValid())
        return {};
    const int row = index.row() + 1, col = index.column() + 1;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        const QString text = displayText(sheet_->cell(row, col), dates1904_, row, col);
        if (role == Qt::ToolTipRole && text.size() < 8)
            return {};
        return text;
    }
    case Qt::TextAlignmentRole: {
        const roster::Cell c = sheet_->cell(row, col);
        if (c.type == roster::CellType::Number)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        if (c.type == roster::CellType::Boolean || c.type == roster::CellType::Error)
            return QVariant(Qt::AlignHCenter | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    case Qt::BackgroundRole:
        if (Flagged(row))
            return kFlagBackground;
        return {};
    default: return {};
    }
}

QVariant TRosterModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole)
            return QString::fromStdString(col::Letters(section + 1));
        if (role == Qt::ToolTipRole && section + 1 == col::PrintFlag)
            return QStringLiteral("打印标记列：为1的行将被打印");
        return {};
    }
    const bool flagged = Flagged(section + 1);
    switch (role) {
    case Qt::DisplayRole: return QString::number(section + 1);
    case Qt::ForegroundRole: return flagged ? QVariant(kFlagHeader) : QVariant();
    case Qt::BackgroundRole: return flagged ? QVariant(kFlagBackground) : QVariant();
    case Qt::FontRole:
        if (flagged) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::ToolTipRole: return flagged ? QVariant(QStringLiteral("此行打印标记为1，将打印")) : QVariant();
    default: return {};
    }
}

// ---- pane ------------------------------------------------------------------

TRosterPane::TRosterPane(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = bar_ = new QWidget(this);
    bar->setObjectName(QStringLiteral("RosterBar"));
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(4, 2, 4, 2);
    pathLabel_ = new QLabel(bar);
    pathLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnOpenExternal_ = new QPushButton(QStringLiteral("在表格程序中打开编辑"), bar);
    btnOpenExternal_->setObjectName(QStringLiteral("btnOpenExternal"));
    btnOpenExternal_->setToolTip(
        QStringLiteral("用系统的表格程序打开此花名册。在那里修改后按 Ctrl+S 保存，本窗格会自动刷新。"));
    btnOpenExternal_->setFocusPolicy(Qt::ClickFocus);
    barLayout->addWidget(pathLabel_, 1);
    barLayout->addWidget(btnOpenExternal_);
    layout->addWidget(bar);
    bar->hide();

    stack_ = new QStackedWidget(this);
    message_ = new QLabel(stack_);
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setAutoFillBackground(true);
    message_->setBackgroundRole(QPalette::Base);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    view_ = new QTableView(stack_);
    view_->setObjectName(QStringLiteral("RosterGrid"));
    model_ = new TRosterModel(this);
    view_->setModel(model_);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    view_->setFocusPolicy(Qt::ClickFocus);
    view_->setWordWrap(false);
    // Fixed section sizes: the header never measures 10,000 rows.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(22);
    view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view_->horizontalHeader()->setDefaultSectionSize(72);
    view_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    stack_->addWidget(message_);
    stack_->addWidget(view_);
    layout->addWidget(stack_, 1);

    watcher_ = new QFileSystemWatcher(this);
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    // Editors save in steps (temporary file, rename); read once they settle.
    settle_->setInterval(300);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TRosterPane::fileEvent);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TRosterPane::fileEvent);
    connect(settle_, &QTimer::timeout, this, &TRosterPane::checkChanged);
    connect(btnOpenExternal_, &QPushButton::clicked, this, &TRosterPane::openExternal);

    showMessage(QString());
}

void TRosterPane::SetBlankHint(const QString& hint)
{
    blankHint_ = hint;
    if (IsBlank())
        showMessage(blankHint_);
}

QString TRosterPane::Message() const { return stack_->currentWidget() == message_ ? message_->text() : QString(); }

void TRosterPane::showMessage(const QString& text)
{
    message_->setText(text);
    stack_->setCurrentWidget(message_);
}

void TRosterPane::Navigate(const QString& location)
{
    settle_->stop();
    blankHint_.clear();
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    if (!watcher_->directories().isEmpty())
        watcher_->removePaths(watcher_->directories());

    QString path = location.trimmed();
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        path = QUrl(path).toLocalFile();
    if (path.isEmpty() || path.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0) {
        location_ = QStringLiteral("about:blank");
        path_.clear();
        model_->SetRows(nullptr);
        view_->clearSpans();
        bar_->hide();
        showMessage(blankHint_);
        return;
    }
    location_ = location;
    path_ = QFileInfo(path).absoluteFilePath();
    pathLabel_->setStyleSheet(QString());
    pathLabel_->setText(QDir::toNativeSeparators(path_));
    bar_->show();
    load(false);
    watch();
}

void TRosterPane::Reload()
{
    if (!path_.isEmpty()) {
        load(true);
        watch();
    }
}

void TRosterPane::load(bool keepPosition)
{
    const QFileInfo fi(path_);
    loadedTime_ = fi.lastModified();
    loadedSize_ = fi.exists() ? fi.size() : -1;
    btnOpenExternal_->setEnabled(fi.isFile());

    const int hpos = view_->horizontalScrollBar()->value();
    const int vpos = view_->verticalScrollBar()->value();

    QString reason;
    wantsPassword_ = false;
    auto rows = std::make_unique<TRosterRows>();
    rows->SetPasswordPrompt(prompt_);
    try {
        rows->Open(toGb(path_));
        rows->FirstSheet();  // a chart as the first sheet is a reason too
    } catch (const roster::OpenCancelled&) {
        rows.reset();
        reason = QStringLiteral("花名册设置了打开密码，没有输入密码。");
        wantsPassword_ = true;
    } catch (const std::exception& e) {
        rows.reset();
        reason = errorText(e);
        if (reason.isEmpty())
            reason = QStringLiteral("无法读取此文件");
    }
    ++loadCount_;
    view_->clearSpans();
    if (!rows) {
        model_->SetRows(nullptr);
        QString text = QStringLiteral("无法显示花名册：%1\n\n%2").arg(QDir::toNativeSeparators(path_), reason);
        text += QStringLiteral("\n\n请点击下方的“调阅”按钮重新选择花名册。");
        showMessage(text);
        emit RosterLoaded(path_);
        return;
    }
    model_->SetRows(std::move(rows));
    const roster::Sheet* sheet = model_->Sheet();
    std::size_t spans = 0;
    for (const roster::Range& r : sheet->merges()) {
        if (spans >= kMaxSpans)
            break;
        const int rows = r.lastRow - r.firstRow + 1, cols = r.lastCol - r.firstCol + 1;
        if (r.firstRow < 1 || r.firstCol < 1 || rows < 1 || cols < 1 || (rows == 1 && cols == 1))
            continue;
        if (r.firstRow > sheet->rowCount() || r.firstCol > sheet->columnCount())
            continue;
        view_->setSpan(r.firstRow - 1, r.firstCol - 1, rows, cols);
        ++spans;
    }
    stack_->setCurrentWidget(view_);
    if (keepPosition) {
        view_->horizontalScrollBar()->setValue(hpos);
        view_->verticalScrollBar()->setValue(vpos);
    }
    emit RosterLoaded(path_);
}

void TRosterPane::PasswordGiven(const QString& path)
{
    if (!wantsPassword_ || path_.isEmpty())
        return;
    const QFileInfo given(path), shown(path_);
    if (given.canonicalFilePath() != shown.canonicalFilePath() || shown.canonicalFilePath().isEmpty())
        return;
    // Not from inside the open that asked: once it has returned.
    QTimer::singleShot(0, this, [this] {
        if (wantsPassword_)
            Reload();
    });
}

void TRosterPane::watch()
{
    if (path_.isEmpty())
        return;
    const QFileInfo fi(path_);
    // The folder too: an editor that saves by writing a new file and
    // renaming it over the old one ends the watch on the file itself.
    const QString dir = fi.absolutePath();
    if (QFileInfo(dir).isDir() && !watcher_->directories().contains(dir))
        watcher_->addPath(dir);
    if (fi.exists() && !watcher_->files().contains(path_))
        watcher_->addPath(path_);
}

void TRosterPane::fileEvent() { settle_->start(); }

void TRosterPane::checkChanged()
{
    if (path_.isEmpty())
        return;
    const QFileInfo fi(path_);
    const qint64 size = fi.exists() ? fi.size() : -1;
    if (size != loadedSize_ || fi.lastModified() != loadedTime_)
        load(true);
    watch();
}

void TRosterPane::openExternal()
{
    if (path_.isEmpty())
        return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path_))) {
        pathLabel_->setStyleSheet(QStringLiteral("color: #b22222"));
        pathLabel_->setText(QStringLiteral("没有找到能打开此文件的表格程序：%1").arg(QDir::toNativeSeparators(path_)));
    }
}

}  // namespace vdmq
