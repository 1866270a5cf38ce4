#include "app/ui/VdPaperDialog.h"

#include "app/ui/VdMainUnit.h"
#include "app/ui/VdPaperPrint.h"
#include "form/VdCalibration.h"
#include "platform/gbtext.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vdmq {

namespace {

QDoubleSpinBox* offsetBox(QWidget* parent, const QString& name, const QString& tip)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(-kMaxOffsetMm, kMaxOffsetMm);
    box->setDecimals(1);
    box->setSingleStep(0.1);
    box->setSuffix(QStringLiteral(" mm"));
    box->setAccelerated(true);
    box->setToolTip(tip);
    // The decimal mark is the point, as in the settings file.
    box->setLocale(QLocale::c());
    return box;
}

}  // namespace

// Two radio buttons of one choice, in a group of their own.
void TPaperDialog::radioPair(QWidget* box, QRadioButton*& a, const char* nameA, const QString& textA, QRadioButton*& b,
                             const char* nameB, const QString& textB)
{
    a = new QRadioButton(textA, box);
    b = new QRadioButton(textB, box);
    a->setObjectName(QLatin1String(nameA));
    b->setObjectName(QLatin1String(nameB));
    auto* group = new QButtonGroup(this);
    group->addButton(a);
    group->addButton(b);
}

TPaperDialog::TPaperDialog(const QString& iniPath, TDialogs& dialogs, QWidget* parent)
    : QDialog(parent), iniPath_(iniPath), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("PaperDialog"));
    setWindowTitle(QStringLiteral("纸张与位置"));
    auto* outer = new QVBoxLayout(this);

    auto* paper = new QGroupBox(QStringLiteral("纸张（表格总是原大，不缩放）"), this);
    auto* pl = new QVBoxLayout(paper);
    radioPair(paper, rbB5, "rbB5", QStringLiteral("B5（182×257 mm，审批表的原纸张）"), rbA4, "rbA4",
              QStringLiteral("A4（210×297 mm）"));
    auto* a4Row = new QHBoxLayout;
    a4Row->setContentsMargins(24, 0, 0, 0);
    radioPair(paper, rbTopLeft, "rbTopLeft", QStringLiteral("放在左上角（与 B5 相同）"), rbCentre, "rbCentre",
              QStringLiteral("居中"));
    a4Row->addWidget(rbTopLeft);
    a4Row->addWidget(rbCentre);
    a4Row->addStretch(1);
    pl->addWidget(rbB5);
    pl->addWidget(rbA4);
    pl->addLayout(a4Row);
    outer->addWidget(paper);

    auto* offsets = new QGroupBox(this);
    buildOffsets(offsets);
    outer->addWidget(offsets);

    lbPrinter = new QLabel(this);
    lbPrinter->setObjectName(QStringLiteral("lbPrinter"));
    lbCheck = new QLabel(this);
    lbCheck->setObjectName(QStringLiteral("lbCheck"));
    lbCheck->setWordWrap(true);
    lbCheck->setMinimumWidth(520);
    lbCheck->setTextInteractionFlags(Qt::TextSelectableByMouse);
    outer->addWidget(lbPrinter);
    outer->addWidget(lbCheck);

    // The calibration page on the left, apart from the buttons that close.
    auto* row = new QHBoxLayout;
    btnCalibrate = new QPushButton(QStringLiteral("打印校准页"), this);
    btnCalibrate->setObjectName(QStringLiteral("btnCalibrate"));
    btnCalibrate->setAutoDefault(false);
    btnCalibrate->setToolTip(QStringLiteral("按上面的纸张和偏移打印一张校准页：量出纸边的位置，改好偏移再打印核对。"));
    auto* buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    btnCancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnOk->setDefault(true);
    row->addWidget(btnCalibrate);
    row->addStretch(1);
    row->addWidget(buttons);
    outer->addLayout(row);
    connect(btnOk, &QPushButton::clicked, this, &TPaperDialog::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnCalibrate, &QPushButton::clicked, this, &TPaperDialog::btnCalibrateClick);

    printer_ = cbPrinter->currentData().toString();
    SetSettings(LoadPaperSettings(iniPath_, printer_));
    connect(cbPrinter, &QComboBox::currentIndexChanged, this, &TPaperDialog::printerChosen);
    for (QRadioButton* b : {rbB5, rbA4, rbTopLeft, rbCentre})
        connect(b, &QRadioButton::toggled, this, &TPaperDialog::Changed);
    for (QDoubleSpinBox* b : {spOffsetX, spOffsetY})
        connect(b, &QDoubleSpinBox::valueChanged, this, &TPaperDialog::Changed);
    Changed();
}

// The printer and its offsets.
void TPaperDialog::buildOffsets(QWidget* box)
{
    auto* ol = new QFormLayout(box);
    cbPrinter = new QComboBox(box);
    cbPrinter->setObjectName(QStringLiteral("cbPrinter"));
    cbPrinter->setToolTip(QStringLiteral("每台打印机进纸的偏差不同，偏移按打印机分别记住"));
    const QStringList printers = PrinterNames()();
    for (const QString& name : printers)
        cbPrinter->addItem(name == printers.front() ? QStringLiteral("%1（默认打印机）").arg(name) : name, name);
    if (printers.isEmpty()) {
        cbPrinter->addItem(QStringLiteral("没有可用的打印机"), QString());
        cbPrinter->setEnabled(false);
    }
    spOffsetX = offsetBox(box, QStringLiteral("spOffsetX"), QStringLiteral("正数向右移，负数向左移"));
    spOffsetY = offsetBox(box, QStringLiteral("spOffsetY"), QStringLiteral("正数向下移，负数向上移"));
    ol->addRow(QStringLiteral("打印机"), cbPrinter);
    ol->addRow(QStringLiteral("水平（正数向右）"), spOffsetX);
    ol->addRow(QStringLiteral("垂直（正数向下）"), spOffsetY);
    cbPdfOffsets = new QCheckBox(QStringLiteral("在打印对话框中输出 PDF 文件时也按偏移移动"), box);
    cbPdfOffsets->setObjectName(QStringLiteral("cbPdfOffsets"));
    ol->addRow(cbPdfOffsets);
}

// Another printer: the boxes show its offsets, and keep the last one's for OK.
void TPaperDialog::printerChosen()
{
    offsets_[printer_] = QPointF(spOffsetX->value(), spOffsetY->value());
    printer_ = cbPrinter->currentData().toString();
    const auto it = offsets_.find(printer_);
    const TPaperSettings stored = LoadPaperSettings(iniPath_, printer_);
    const QPointF shown = it != offsets_.end() ? it->second : QPointF(stored.OffsetXmm, stored.OffsetYmm);
    const QSignalBlocker bx(spOffsetX), by(spOffsetY);
    spOffsetX->setValue(shown.x());
    spOffsetY->setValue(shown.y());
    Changed();
}

TPaperSettings TPaperDialog::Settings() const
{
    TPaperSettings s;
    s.Paper = rbA4->isChecked() ? TPaper::A4 : TPaper::B5;
    s.Centred = rbCentre->isChecked();
    s.OffsetXmm = spOffsetX->value();
    s.OffsetYmm = spOffsetY->value();
    s.OffsetsInPdf = cbPdfOffsets->isChecked();
    return s;
}

void TPaperDialog::SetSettings(const TPaperSettings& s)
{
    (s.Paper == TPaper::A4 ? rbA4 : rbB5)->setChecked(true);
    (s.Centred ? rbCentre : rbTopLeft)->setChecked(true);
    spOffsetX->setValue(s.OffsetXmm);
    spOffsetY->setValue(s.OffsetYmm);
    cbPdfOffsets->setChecked(s.OffsetsInPdf);
    Changed();
}

void TPaperDialog::Changed()
{
    const TPaperSettings s = Settings();
    rbTopLeft->setEnabled(s.Paper == TPaper::A4);
    rbCentre->setEnabled(s.Paper == TPaper::A4);
    const QString& printer = printer_;
    auto* offsets = qobject_cast<QGroupBox*>(spOffsetX->parentWidget());
    if (printer.isEmpty()) {
        offsets->setTitle(QStringLiteral("位置偏移（只用于打印，预览不变）"));
        lbPrinter->setText(QStringLiteral("打印机：没有可用的打印机"));
        lbCheck->clear();
        btnCalibrate->setEnabled(false);
        return;
    }
    offsets->setTitle(QStringLiteral("位置偏移：打印机“%1”的（只用于打印，预览不变）").arg(printer));
    btnCalibrate->setEnabled(true);
    lbPrinter->setText(printer == cbPrinter->itemData(0).toString()
                           ? QStringLiteral("打印机：%1（系统的默认打印机，主窗口的“打印”送到这台）").arg(printer)
                           : QStringLiteral("打印机：%1（在预览窗口的“打印设置”中可选这台）").arg(printer));
    const qr::TQRPaperSupport support = PaperSupportProvider()(printer, PaperSizeMm(s.Paper));
    const QString warning = PaperWarning(printer, support, s, FormLayoutPage(), true);
    if (warning.isEmpty()) {
        const TFrameDistances d = ExpectedFrameDistances(CalibrationSheetFor(s));
        lbCheck->setText(QStringLiteral("这台打印机印得到整张表。框线到纸边应为：左 %1、上 %2、右 %3、下 %4 mm。")
                             .arg(d.left, 0, 'f', 1)
                             .arg(d.top, 0, 'f', 1)
                             .arg(d.right, 0, 'f', 1)
                             .arg(d.bottom, 0, 'f', 1));
        lbCheck->setStyleSheet(QString());
    } else {
        lbCheck->setText(warning);
        lbCheck->setStyleSheet(QStringLiteral("color: #a00000;"));
    }
    fitHeight();
}

// A warning that wraps to more lines makes the dialog taller: the layout
// alone would squeeze the boxes above it (the warning's height depends on
// its width, which a dialog's minimum size does not follow).  Before it is
// shown, the dialog takes the size its layout asks for anyway.
void TPaperDialog::fitHeight()
{
    QLayout* l = layout();
    if (!l || !isVisible())
        return;
    l->activate();
    const int needed = l->hasHeightForWidth() ? l->totalHeightForWidth(width()) : l->totalMinimumSize().height();
    if (height() < needed)
        resize(width(), needed);
}

void TPaperDialog::btnOkClick()
{
    try {
        SavePaperSettings(iniPath_, Settings(), printer_);
        for (const auto& [printer, offset] : offsets_)
            if (printer != printer_)
                SavePrinterOffsets(iniPath_, printer, offset);
    } catch (const std::exception& e) {
        dialogs_.Error(this, errorText(e));
        return;
    }
    accept();
}

void TPaperDialog::btnCalibrateClick()
{
    const TPaperSettings s = Settings();
    QString printer;
    try {
        printer = PrintCalibrationPage(s, printer_);
    } catch (const std::exception& e) {
        dialogs_.Error(this, errorText(e));
        return;
    }
    dialogs_.Message(this, TMainWindow::ApplicationTitle(),
                     QStringLiteral("校准页已送往打印机“%1”（纸张 %2，偏移%3）。\n"
                                    "取出后按页上的说明读出改正量，填进这里的偏移。")
                         .arg(printer.isEmpty() ? printer_ : printer, PaperText(s), OffsetText(s)));
}

// ---- the main window's button ----------------------------------------------------

void TMainWindow::PaperButtonClick()
{
    TPaperDialog dialog(PaperSettingsFile(), Dialogs(), this);
    dialog.exec();
}

}  // namespace vdmq
