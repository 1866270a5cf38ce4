#include "preview/TzPreview.h"

#include "platform/atomicfile.h"
#include "platform/gbtext.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QStandardPaths>
#include <QStringList>
#include <QVBoxLayout>
#include <exception>

static void initPreviewResources()
{
    // The icons live in a static library; its resource initialiser would be
    // dropped by the linker unless something refers to it.
    Q_INIT_RESOURCE(preview);
}

namespace {

// The window's own texts, written as UTF-8 in the source.
QString T(const char* utf8) { return QString::fromUtf8(utf8); }

QIcon icon(const char* name) { return QIcon(QStringLiteral(":/preview/icons/%1.svg").arg(QLatin1String(name))); }

// The design faces: 宋体 at a pixel size.
QFont songti(int pixels)
{
    qr::TQRFont design;
    design.Name = QStringLiteral("宋体");
    QFont font = qr::resolveFont(design);
    font.setPixelSize(pixels);
    return font;
}

QFrame* group(QWidget* parent, const char* name, int width)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(name));
    frame->setFrameShape(QFrame::NoFrame);
    frame->setFixedWidth(width);
    return frame;
}

QToolButton* pictureButton(QWidget* parent, const char* name, int left, int width, const char* hint,
                           const char* picture)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 1, width, 26);
    button->setToolTip(T(hint));
    button->setIcon(icon(picture));
    button->setIconSize(QSize(20, 20));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// A panel caption whose blanks are half-width cells, as in the form's own
// typeface: the blanks of the zoom caption keep the room for the zoom box,
// with the "%" after it, whatever width this face gives a blank.
class TCellCaptionPanel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        painter.setFont(font());
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        const QFontMetricsF metrics(font());
        const QRect area = contentsRect();
        const double baseline = area.top() + (area.height() + metrics.ascent() - metrics.descent()) / 2.0;
        const double blank = (font().pixelSize() > 0 ? font().pixelSize() : metrics.height()) / 2.0;
        double x = area.left() + indent();
        const QString caption = text();
        for (qsizetype i = 0; i < caption.size();) {
            if (caption[i] == QLatin1Char(' ')) {
                x += blank;
                ++i;
                continue;
            }
            qsizetype end = caption.indexOf(QLatin1Char(' '), i);
            if (end < 0)
                end = caption.size();
            const QString run = caption.mid(i, end - i);
            painter.drawText(QPointF(x, baseline), run);
            x += metrics.horizontalAdvance(run);
            i = end;
        }
    }
};

QLabel* raisedPanel(QWidget* parent, const char* name, int left, int width, const QString& caption,
                    Qt::Alignment alignment)
{
    auto* panel = new QLabel(caption, parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    panel->setAlignment(alignment | Qt::AlignVCenter);
    panel->setGeometry(left, 1, width, 26);
    return panel;
}

}  // namespace

// ---- dialogs ------------------------------------------------------------------

bool TQtPreviewDialogs::GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                        QString& fileName, int& filterIndex)
{
    const QStringList filters = filter.split(QStringLiteral(";;"));
    QString selected = filters.value(filterIndex - 1);
    const QString chosen =
        QFileDialog::getSaveFileName(parent, caption, fileName, filter, &selected, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return false;
    fileName = chosen;
    const int index = filters.indexOf(selected);
    filterIndex = index < 0 ? 1 : index + 1;
    return true;
}

void TQtPreviewDialogs::ShowError(QWidget* parent, const QString& message)
{
    QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), message);
}

void TQtPreviewDialogs::ShowMessage(QWidget* parent, const QString& message)
{
    QMessageBox::information(parent, QGuiApplication::applicationDisplayName(), message);
}

bool TQtPreviewDialogs::ConfirmReplace(QWidget* parent, const QString& fileName)
{
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(),
                    T("这个文件已经存在：\n%1\n\n要替换它吗？替换后，原文件的内容将丢失。")
                        .arg(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath())),
                    QMessageBox::NoButton, parent);
    QPushButton* replace = box.addButton(T("替换"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(T("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == replace;
}

namespace {
// The folder of the last export of this run of the program.
QString& lastExportFolder()
{
    static QString folder;
    return folder;
}
}  // namespace

QString TPreviewDialogs::ExportFolder()
{
    if (!lastExportFolder().isEmpty() && QFileInfo(lastExportFolder()).isDir())
        return lastExportFolder();
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty() && QFileInfo(docs).isDir())
        return docs;
    return QDir::homePath();
}

void TPreviewDialogs::ExportFolderUsed(const QString& dir) { lastExportFolder() = dir; }

QString TSaveDialog::QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
            out << description;
        else
            out << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        out << parts.last();
    return out.join(QStringLiteral(";;"));
}

QString TSaveDialog::WithDefaultExt(const QString& name, const QString& ext)
{
    if (ext.isEmpty() || name.isEmpty())
        return name;
    const QString last = QFileInfo(name).fileName();
    if (last.isEmpty())
        return name;
    if (last.endsWith(QLatin1Char('.')))  // "name." asks for the default one
        return name + ext;
    if (last.contains(QLatin1Char('.')))
        return name;
    return name + QLatin1Char('.') + ext;
}

bool TSaveDialog::Execute(TPreviewDialogs& dialogs, QWidget* parent)
{
    QString name = FileName;
    int index = FilterIndex;
    if (!dialogs.GetSaveFileName(parent, Title, QtFilter(Filter), name, index))
        return false;
    FileName = WithDefaultExt(name, DefaultExt);
    FilterIndex = index;
    return true;
}

// ---- the window ---------------------------------------------------------------

TPreviewWindow::TPreviewWindow(QWidget* parent, TPreviewDialogs* dialogs)
    : QWidget(parent, Qt::Window), dialogs_(dialogs)
{
    initPreviewResources();
    if (!dialogs_) {
        ownDialogs_ = std::make_unique<TQtPreviewDialogs>();
        dialogs_ = ownDialogs_.get();
    }
    setObjectName(QStringLiteral("FormTzpreview"));
    setWindowTitle(T("打印预览..."));
    setWindowIcon(icon("preview"));
    // System menu and maximise only: a minimised preview would hide the
    // window whose closing takes the print run on.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(songti(13));
    resize(808, 597);
    setWindowState(Qt::WindowMaximized);

    buildToolBar();

    PageView = new qr::TQRPreview(this);
    PageView->setObjectName(QStringLiteral("QRPreview1"));
    PageView->setFont(songti(13));
    connect(PageView, &qr::TQRPreview::PageAvailable, this, &TPreviewWindow::PageViewPageAvailable);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar);
    layout->addWidget(PageView, 1);

    TextSaveDialog.Filter = T("文本文件(*.TXT)|*.TXT");
    TextSaveDialog.DefaultExt = "TXT";
    // The window asks before a file is replaced: overwriting another
    // person's saved form without a word loses it.
    TextSaveDialog.OverwritePrompt = true;
    PdfSaveDialog.Filter = T("PDF文件(*.pdf)|*.pdf");
    PdfSaveDialog.DefaultExt = "pdf";
    PdfSaveDialog.OverwritePrompt = true;

    buildShortcuts();
    buildRunControls();
}

TPreviewWindow::~TPreviewWindow() = default;

void TPreviewWindow::setDialogs(TPreviewDialogs* dialogs)
{
    if (!dialogs) {
        if (!ownDialogs_)
            ownDialogs_ = std::make_unique<TQtPreviewDialogs>();
        dialogs = ownDialogs_.get();
    }
    dialogs_ = dialogs;
}

void TPreviewWindow::buildToolBar()
{
    ToolBar = new QFrame(this);
    ToolBar->setObjectName(QStringLiteral("PanelToolBar"));
    ToolBar->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ToolBar->setLineWidth(1);
    ToolBar->setFixedHeight(30);
    QFont barFont = songti(12);
    ToolBar->setFont(barFont);
    QPalette barPalette = ToolBar->palette();
    barPalette.setColor(QPalette::WindowText, Qt::black);
    barPalette.setColor(QPalette::ButtonText, Qt::black);
    ToolBar->setPalette(barPalette);

    ZoomButtons = group(ToolBar, "Panel2", 80);
    FitButton = pictureButton(ZoomButtons, "SpeedButtonFit", 2, 24, "满页", "fit");
    ActualSizeButton = pictureButton(ZoomButtons, "SpeedButtonSame", 26, 25, "100%", "same");
    // 页宽: page width.
    PageWidthButton = pictureButton(ZoomButtons, "SpeedButtonWidth", 51, 25, "页宽", "width");

    ZoomGroup = group(ToolBar, "Panel1", 116);
    ZoomCaption = new TCellCaptionPanel(ZoomGroup);
    ZoomCaption->setObjectName(QStringLiteral("Panel3"));
    ZoomCaption->setText(T("缩放比例        %"));
    ZoomCaption->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ZoomCaption->setLineWidth(1);
    ZoomCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ZoomCaption->setGeometry(2, 1, 115, 26);
    ZoomCaption->setIndent(5);  // the panel's border width
    ZoomBox = new QSpinBox(ZoomCaption);
    ZoomBox->setObjectName(QStringLiteral("SpinEdit2"));
    ZoomBox->setFont(barFont);
    ZoomBox->setGeometry(58, 2, 41, 21);
    ZoomBox->setRange(10, 300);
    ZoomBox->setSingleStep(10);
    ZoomBox->setValue(100);
    ZoomBox->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    ZoomBox->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // Typing is disabled; the arrows (and the wheel) still step.
    if (auto* edit = ZoomBox->findChild<QLineEdit*>())
        edit->setReadOnly(true);
    connect(ZoomBox, &QSpinBox::textChanged, this, [this] { ZoomBoxChange(); });

    PageGroup = group(ToolBar, "PanelPageid", 239);
    FirstPageButton = pictureButton(PageGroup, "SpeedButtonFirst", 9, 25, "第一页", "first");
    PriorPageButton = pictureButton(PageGroup, "SpeedButtonPrior", 33, 25, "上一页", "prior");
    PageLabel = raisedPanel(PageGroup, "PanelPage", 57, 129, T("第页（共页）"), Qt::AlignHCenter);
    PageLabel->setFont(barFont);
    NextPageButton = pictureButton(PageGroup, "SpeedButtonNext", 186, 25, "下一页", "next");
    LastPageButton = pictureButton(PageGroup, "SpeedButtonLast", 210, 25, "最后一页", "last");

    OutputButtons = group(ToolBar, "Panel5", 181);
    PrintButton = pictureButton(OutputButtons, "SpeedButtonPrint", 5, 30, "打印", "print");
    PrintSetupButton = pictureButton(OutputButtons, "SpeedButtonPrintSetup", 35, 30, "打印设置", "printsetup");
    SaveButton = pictureButton(OutputButtons, "SpeedButtonSave", 65, 30, "存盘", "save");
    CloseButton = pictureButton(OutputButtons, "SpeedButtonClose", 95, 30, "关闭", "close");
    PdfButton = pictureButton(OutputButtons, "SpeedButtonPdf", 125, 30, "导出PDF", "pdf");

    auto* bar = new QHBoxLayout(ToolBar);
    bar->setContentsMargins(1, 1, 1, 1);
    bar->setSpacing(0);
    for (QFrame* g : {ZoomButtons, ZoomGroup, PageGroup, OutputButtons})
        bar->addWidget(g);
    bar->addStretch(1);

    using Handler = void (TPreviewWindow::*)();
    const std::pair<QToolButton*, Handler> handlers[] = {
        {FitButton, &TPreviewWindow::FitButtonClick},
        {ActualSizeButton, &TPreviewWindow::ActualSizeButtonClick},
        {PageWidthButton, &TPreviewWindow::PageWidthButtonClick},
        {FirstPageButton, &TPreviewWindow::FirstPageButtonClick},
        {PriorPageButton, &TPreviewWindow::PriorPageButtonClick},
        {NextPageButton, &TPreviewWindow::NextPageButtonClick},
        {LastPageButton, &TPreviewWindow::LastPageButtonClick},
        {PrintButton, &TPreviewWindow::PrintButtonClick},
        {PrintSetupButton, &TPreviewWindow::PrintSetupButtonClick},
        {SaveButton, &TPreviewWindow::SaveButtonClick},
        {CloseButton, &TPreviewWindow::CloseButtonClick},
        {PdfButton, &TPreviewWindow::PdfButtonClick},
    };
    for (const auto& [button, handler] : handlers)
        connect(button, &QToolButton::clicked, this, [this, handler = handler] { (this->*handler)(); });
}

void TPreviewWindow::buildShortcuts()
{
    // What users of document viewers expect; each goes through its button,
    // so a disabled button also disables its key.  The tooltips name them.
    auto named = [](QWidget* w, const char* keys) {
        w->setToolTip(w->toolTip() + T("（") + QLatin1String(keys) + T("）"));
    };
    auto bind = [this, named](const QKeySequence& keys, QToolButton* button, const char* name) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
        named(button, name);
    };
    bind(QKeySequence(Qt::Key_PageUp), PriorPageButton, "PgUp");
    bind(QKeySequence(Qt::Key_PageDown), NextPageButton, "PgDn");
    bind(QKeySequence(Qt::Key_Home), FirstPageButton, "Home");
    bind(QKeySequence(Qt::Key_End), LastPageButton, "End");
    bind(QKeySequence(Qt::CTRL | Qt::Key_P), PrintButton, "Ctrl+P");
    bind(QKeySequence(Qt::Key_Escape), CloseButton, "Esc");
    bind(QKeySequence(Qt::CTRL | Qt::Key_0), ActualSizeButton, "Ctrl+0");

    auto step = [this](const QKeySequence& keys, int direction) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, direction] {
            if (direction > 0)
                ZoomBox->stepUp();
            else
                ZoomBox->stepDown();
        });
    };
    step(QKeySequence(Qt::CTRL | Qt::Key_Plus), +1);
    step(QKeySequence(Qt::CTRL | Qt::Key_Equal), +1);
    step(QKeySequence(Qt::CTRL | Qt::Key_Minus), -1);
    ZoomBox->setToolTip(T("缩放比例（Ctrl++ 放大，Ctrl+- 缩小，Ctrl+0 为 100%）"));
    ZoomCaption->setToolTip(ZoomBox->toolTip());
}

// ---- within a preview run -------------------------------------------------------

void TPreviewWindow::buildRunControls()
{
    caption_ = windowTitle();
    PanelRun = new QFrame(ToolBar);
    PanelRun->setObjectName(QStringLiteral("PanelRun"));
    PanelRun->setFrameShape(QFrame::NoFrame);
    auto* row = new QHBoxLayout(PanelRun);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(8);
    LabelRunPosition = new QLabel(PanelRun);
    LabelRunPosition->setObjectName(QStringLiteral("LabelRunPosition"));
    row->addWidget(LabelRunPosition);
    ButtonStopRun = new QPushButton(T("结束预览"), PanelRun);
    ButtonStopRun->setObjectName(QStringLiteral("ButtonStopRun"));
    ButtonStopRun->setToolTip(T("结束预览（Shift+Esc）：关闭本窗口，其余各行不再显示"));
    ButtonStopRun->setFocusPolicy(Qt::NoFocus);
    ButtonStopRun->setFixedHeight(24);
    ButtonStopRun->hide();
    row->addWidget(ButtonStopRun);
    PanelRun->hide();
    if (auto* bar = qobject_cast<QHBoxLayout*>(ToolBar->layout()))
        bar->addWidget(PanelRun);

    connect(ButtonStopRun, &QPushButton::clicked, this, [this] { ButtonStopRunClick(); });
    auto* stop = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Escape), this);
    stop->setContext(Qt::WindowShortcut);
    connect(stop, &QShortcut::activated, ButtonStopRun, [this] {
        if (ButtonStopRun->isVisible())
            ButtonStopRun->click();
    });
}

void TPreviewWindow::SetRunPosition(const QString& person, int row, int form, int forms)
{
    QString where = T("第 %1 行").arg(row);
    if (form > 0)
        where += forms > 0 ? T("，第 %1 张/共 %2 张").arg(form).arg(forms) : T("，第 %1 张").arg(form);
    const QString text = person.trimmed().isEmpty() ? where : person.trimmed() + T(" — ") + where;
    LabelRunPosition->setText(text);
    PanelRun->show();
    setWindowTitle(text + T(" — ") + caption_);
}

QString TPreviewWindow::RunPosition() const { return LabelRunPosition->text(); }

void TPreviewWindow::ShowStopRun(bool shown)
{
    ButtonStopRun->setVisible(shown);
    if (shown)
        PanelRun->show();
}

void TPreviewWindow::StartAtZoom(int zoom)
{
    PageView->setZoom(zoom);
    SetZoomBox(PageView->Zoom());
}

void TPreviewWindow::ButtonStopRunClick()
{
    emit StopRunRequested();
    close();
}

template <class F>
void TPreviewWindow::Guarded(F&& action)
{
    // A dialog of the store's (the printer dialog, a question) runs while the
    // store works; a second click must not start a second run over the same
    // report.
    if (busy_)
        return;
    QScopedValueRollback<bool> busy(busy_, true);
    try {
        action();
    } catch (const std::exception& e) {
        dialogs_->ShowError(this, vdmq::errorText(e));
    }
}

void TPreviewWindow::UpdatePageLabel()
{
    const auto store = PageView->QRPrinter();
    if (!store)
        return;
    PageLabel->setText(T("第 %1 页(共 %2 页)").arg(PageView->PageNumber()).arg(store->PageCount()));
}

void TPreviewWindow::SetZoomBox(int zoom)
{
    // The box holds its value to its range; a changed text applies it
    // through ZoomBoxChange, an unchanged one leaves the preview's zoom.
    ZoomBox->setValue(zoom);
}

void TPreviewWindow::PageViewPageAvailable(int /*pageNum*/)
{
    const auto store = PageView->QRPrinter();
    if (!store)
        return;
    PageView->setPageNumber(1);
    FirstPageButton->setEnabled(false);
    PriorPageButton->setEnabled(false);
    const bool more = store->PageCount() != 1;
    NextPageButton->setEnabled(more);
    LastPageButton->setEnabled(more);
    UpdatePageLabel();
    SetZoomBox(PageView->Zoom());
}

bool TPreviewWindow::HasPages() const
{
    const auto store = PageView->QRPrinter();
    return store && store->PageCount() >= 1;
}

// The first and prior buttons (`back`) and the next and last ones
// (`forward`) on or off; an empty one stays as it is.  Buttons are turned
// off before others are turned on.
void TPreviewWindow::SetPageButtons(std::optional<bool> back, std::optional<bool> forward)
{
    const auto set = [](QWidget* a, QWidget* b, bool on) {
        a->setEnabled(on);
        b->setEnabled(on);
    };
    if (back == false)
        set(FirstPageButton, PriorPageButton, false);
    if (forward == false)
        set(NextPageButton, LastPageButton, false);
    if (back == true)
        set(FirstPageButton, PriorPageButton, true);
    if (forward == true)
        set(NextPageButton, LastPageButton, true);
    UpdatePageLabel();
}

void TPreviewWindow::FirstPageButtonClick()
{
    if (!HasPages())
        return;
    PageView->setPageNumber(1);
    SetPageButtons(false, true);
}

void TPreviewWindow::LastPageButtonClick()
{
    if (!HasPages())
        return;
    PageView->setPageNumber(PageView->QRPrinter()->PageCount());
    SetPageButtons(true, false);
}

void TPreviewWindow::PriorPageButtonClick()
{
    if (!HasPages())
        return;
    PageView->setPageNumber(PageView->PageNumber() - 1);
    SetPageButtons(PageView->PageNumber() == 1 ? std::optional<bool>(false) : std::nullopt, true);
}

void TPreviewWindow::NextPageButtonClick()
{
    if (!HasPages())
        return;
    PageView->setPageNumber(PageView->PageNumber() + 1);
    const bool atEnd = PageView->PageNumber() == PageView->QRPrinter()->PageCount();
    SetPageButtons(true, atEnd ? std::optional<bool>(false) : std::nullopt);
}

void TPreviewWindow::FitButtonClick()
{
    PageView->ZoomToFit();
    SetZoomBox(PageView->Zoom());
}

void TPreviewWindow::ActualSizeButtonClick()
{
    PageView->setZoom(100);
    SetZoomBox(PageView->Zoom());
}

void TPreviewWindow::PageWidthButtonClick()
{
    PageView->ZoomToWidth();
    SetZoomBox(PageView->Zoom());
}

void TPreviewWindow::ZoomBoxChange()
{
    bool ok = false;
    int value = ZoomBox->cleanText().trimmed().toInt(&ok);
    if (!ok)
        value = ZoomBox->minimum();
    PageView->setZoom(value);
}

bool TPreviewWindow::PrinterThere(const QString& what)
{
    const qr::TQRPrintBackend* backend = qr::PrintBackend();
    if (backend && backend->HasPrinter())
        return true;
    dialogs_->ShowMessage(this, T("%1：本机没有可用的打印机。\n\n"
                                  "请先在系统设置的“打印机”中添加打印机（或启动打印服务），再按“%2”；"
                                  "也可以按“导出PDF”把审批表存为 PDF 文件。")
                                    .arg(what == T("打印") ? T("没有打印") : T("无法设置打印机"), what));
    return false;
}

void TPreviewWindow::PrintButtonClick()
{
    const auto store = PageView->QRPrinter();
    if (!store || busy_ || !PrinterThere(T("打印")))
        return;
    Guarded([&] { store->Print(); });
}

void TPreviewWindow::PrintSetupButtonClick()
{
    const auto store = PageView->QRPrinter();
    if (!store || busy_ || !PrinterThere(T("打印设置")))
        return;
    Guarded([&] { store->PrintSetup(); });
}

void TPreviewWindow::SetFormOrigin(int row, const QString& personName)
{
    originRow_ = row;
    originName_ = personName;
}

QString TPreviewWindow::SuggestedFileName(const QString& extension) const
{
    // Left out: what no file system or office share takes in a name.
    QString name;
    for (QChar c : originName_.trimmed()) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("/\\:*?\"<>|").contains(c))
            continue;
        name += c.isSpace() ? QLatin1Char('_') : c;
    }
    QString base = originRow_ > 0 ? T("第") + QString::number(originRow_) + T("行") : T("审批表");
    if (originRow_ > 0 && !name.isEmpty())
        base += QLatin1Char('_') + name;
    return extension.isEmpty() ? base : base + QLatin1Char('.') + extension;
}

bool TPreviewWindow::ChooseExportFile(TSaveDialog& dialog, QString& fileName)
{
    dialog.FileName = QDir(dialogs_->ExportFolder()).filePath(SuggestedFileName(dialog.DefaultExt));
    dialog.FilterIndex = 1;
    for (;;) {
        if (!dialog.Execute(*dialogs_, this) || dialog.FilterIndex != 1)
            return false;
        if (const QString conflict = vdmq::OutputConflict(dialog.FileName); !conflict.isEmpty()) {
            dialogs_->ShowError(this, conflict);
            continue;
        }
        // A folder of that name is no file to replace: the write reports it.
        const QFileInfo target(dialog.FileName);
        if (!dialog.OverwritePrompt || !target.exists() || target.isDir() ||
            dialogs_->ConfirmReplace(this, dialog.FileName))
            break;
        // Not replaced: the dialog comes back with the name chosen.
    }
    fileName = dialog.FileName;
    return true;
}

void TPreviewWindow::ShowExportError(const std::exception& e, const QString& fileName)
{
    // The message must say which file and why; add the file when the
    // error's own text does not carry it.
    QString message = vdmq::errorText(e);
    const QString shown = QDir::toNativeSeparators(fileName);
    if (dynamic_cast<const qr::EInOutError*>(&e) && !message.contains(fileName) && !message.contains(shown))
        message = T("无法写入文件 ") + shown + T("：") + message;
    dialogs_->ShowError(this, message);
}

void TPreviewWindow::SaveButtonClick()
{
    // Held here: closing the window while the export runs must not free the
    // store under it.
    const auto store = PageView->QRPrinter();
    if (!store || busy_)
        return;
    QString fileName;
    if (!ChooseExportFile(TextSaveDialog, fileName))
        return;
    if (busy_)
        return;
    QScopedValueRollback<bool> busy(busy_, true);
    try {
        qr::TQRAsciiExportFilter filter(fileName);
        store->ExportToFilter(filter);
        dialogs_->ExportFolderUsed(QFileInfo(fileName).absolutePath());
    } catch (const std::exception& e) {
        ShowExportError(e, fileName);
    }
}

void TPreviewWindow::PdfButtonClick()
{
    const auto store = PageView->QRPrinter();
    if (!store || busy_ || store->Status() != qr::mpFinished || store->PageCount() == 0)
        return;
    QString fileName;
    if (!ChooseExportFile(PdfSaveDialog, fileName) || busy_)
        return;
    QScopedValueRollback<bool> busy(busy_, true);
    try {
        // The document title vdmq-print gives its PDF files.
        qr::TQRPdfWriter pdf(fileName,
                             store->Title.isEmpty() ? T("国家机关事业单位工作人员工资变动审批表") : store->Title);
        const qr::TQRPlacement placement = dialogs_->ExportPlacement();
        for (int page = 1; page <= store->PageCount(); ++page)
            pdf.AddPage(store->Page(page), placement);
        pdf.Finish();
        dialogs_->ExportFolderUsed(QFileInfo(fileName).absolutePath());
    } catch (const std::exception& e) {
        ShowExportError(e, fileName);
    }
}

void TPreviewWindow::CloseButtonClick() { close(); }

void TPreviewWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        emit Closing();
        // The store is let go at once, not when the deferred delete comes
        // round: the run's next form may be shown before that.
        PageView->setQRPrinter(nullptr);
    }
}
