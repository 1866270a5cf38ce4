#include "app/ui/VdPaperPrint.h"

#include "app/core/settings.h"
#include "app/ui/VdMainUnit.h"
#include "form/VdCalibration.h"
#include "platform/gbtext.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QVBoxLayout>
#include <map>
#include <set>
#include <stdexcept>

namespace vdmq {

QString PaperSettingsFile() { return SettingsFilePath(Vdcs.AppDir); }

TPaperSupportProvider& PaperSupportProvider()
{
    // Asking CUPS takes some 20 ms; a print run asks before every form.  An
    // answer is kept for half a minute, so a driver changed meanwhile is
    // seen by the next run.
    static TPaperSupportProvider provider = [](const QString& printer, const QSizeF& sheet) {
        struct Entry {
            qr::TQRPaperSupport support;
            QElapsedTimer age;
        };
        static std::map<QString, Entry> cache;
        const QString key = QStringLiteral("%1|%2x%3").arg(printer).arg(sheet.width()).arg(sheet.height());
        auto it = cache.find(key);
        if (it == cache.end() || it->second.age.elapsed() > 30000) {
            Entry e{qr::PrinterPaperSupport(printer, sheet), {}};
            e.age.start();
            it = cache.insert_or_assign(key, e).first;
        }
        return it->second.support;
    };
    return provider;
}

TPaperPrompt& PaperPrompt()
{
    static TPaperPrompt prompt = [](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Warning, TMainWindow::ApplicationTitle(), text, QMessageBox::NoButton, parent);
        QPushButton* go = box.addButton(QStringLiteral("继续打印"), QMessageBox::AcceptRole);
        QPushButton* stop = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setDefaultButton(stop);
        box.exec();
        return box.clickedButton() == go;
    };
    return prompt;
}

TPaperNote& PaperNote()
{
    static TPaperNote note = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, TMainWindow::ApplicationTitle(), text);
    };
    return note;
}

namespace {

std::set<QString>& confirmed()
{
    static std::set<QString> keys;
    return keys;
}

}  // namespace

void ForgetPaperConfirmations() { confirmed().clear(); }

bool ConfirmPaper(QWidget* parent, const QString& printer)
{
    const QString name = printer.isEmpty() ? DefaultPrinterName() : printer;
    return ConfirmPaper(parent, printer, LoadPaperSettings(PaperSettingsFile(), name));
}

bool ConfirmPaper(QWidget* parent, const QString& printer, const TPaperSettings& s)
{
    const QString name = printer.isEmpty() ? DefaultPrinterName() : printer;
    if (name.isEmpty())
        return true;  // nothing will print; the print says so itself
    const qr::TQRPlacement placement = PlacementFor(s, true);
    const qr::TQRPaperSupport support = PaperSupportProvider()(name, placement.SheetMm);
    const QString text = PaperWarning(name, support, s, FormLayoutPage(), true);
    if (text.isEmpty())
        return true;
    const QMarginsF& m = support.borderMm;
    const QString key = QStringLiteral("%1|%2x%3|%4,%5|%6,%7,%8,%9|%10")
                            .arg(name)
                            .arg(placement.SheetMm.width())
                            .arg(placement.SheetMm.height())
                            .arg(placement.ShiftMm.x())
                            .arg(placement.ShiftMm.y())
                            .arg(m.left())
                            .arg(m.top())
                            .arg(m.right())
                            .arg(m.bottom())
                            .arg(support.hasPaper());
    if (confirmed().count(key))
        return true;
    if (!PaperPrompt()(parent, text + QStringLiteral("\n\n仍要这样打印吗？")))
        return false;
    confirmed().insert(key);
    return true;
}

TCheckSheet PrintCheckSheet(const QString& printer)
{
    const QString name = printer.isEmpty() ? DefaultPrinterName() : printer;
    const TPaperSettings s = LoadPaperSettings(PaperSettingsFile(), name);
    TCheckSheet sheet = CheckSheetFor(s, true);
    if (name.isEmpty())
        return sheet;
    const qr::TQRPaperSupport support = PaperSupportProvider()(name, sheet.placement.SheetMm);
    // Without the paper the border says nothing about where the form lands
    // (the question before printing says so).
    if (support.known && support.hasPaper())
        sheet.borderMm = support.borderMm;
    sheet.description += QStringLiteral("，打印机“%1”").arg(name);
    return sheet;
}

void TVdPrintBackend::PrintPages(const qr::TQRPrinter& store, const qr::TQRPrinterSettings& settings)
{
    if (settings.Placement) {
        qr::TQRQtPrintBackend::PrintPages(store, settings);
        return;
    }
    const TPaperSettings s = PaperInUse(settings);
    const bool toFile = !settings.OutputFileName.isEmpty();
    qr::TQRPrinterSettings placed = settings;
    placed.Placement = PlacementFor(s, !toFile || s.OffsetsInPdf);
    if (!toFile && !ConfirmPaper(QApplication::activeWindow(), settings.PrinterName, s))
        return;
    qr::TQRQtPrintBackend::PrintPages(store, placed);
}

QWidget* TVdPrintBackend::PrintDialogExtra(QPrintDialog& dialog)
{
    auto* extra = new QWidget(&dialog);
    auto* lines = new QVBoxLayout(extra);
    lines->setContentsMargins(0, 4, 0, 4);
    auto* note = new QLabel(QStringLiteral("纸张：%1（表格按原大打印，从不缩放）。在“属性”中改选的 B5 或 A4 "
                                           "只用于这张审批表的打印。")
                                .arg(PaperText(dialogPaper_)),
                            extra);
    note->setObjectName(QStringLiteral("vdmqPaperNote"));
    note->setWordWrap(true);
    auto* keep = new QCheckBox(QStringLiteral("记住在“属性”中改选的纸张，以后的打印都用它"), extra);
    keep->setObjectName(QStringLiteral("vdmqRememberPaper"));
    keep->setToolTip(QStringLiteral("同主窗口“纸张”中的选择，写入设置文件"));
    QObject::connect(keep, &QCheckBox::toggled, extra, [this](bool on) { rememberPaper_ = on; });
    lines->addWidget(note);
    lines->addWidget(keep);
    return extra;
}

bool TVdPrintBackend::PrintSetup(qr::TQRPrinterSettings& settings, int pageCount)
{
    const TPaperSettings remembered = LoadPaperSettings(PaperSettingsFile());
    const TPaperSettings s = PaperInUse(settings);
    dialogPaper_ = s;
    rememberPaper_ = false;
    settings.Placement = PlacementFor(s, true);
    bool accepted = false;
    try {
        accepted = qr::TQRQtPrintBackend::PrintSetup(settings, pageCount);
    } catch (...) {
        settings.Placement.reset();
        throw;
    }
    const QSizeF sheet = settings.Placement ? settings.Placement->SheetMm : QSizeF();
    // Later prints take the paper from the settings file (or SheetMm) again.
    settings.Placement.reset();
    if (!accepted)
        return false;
    const std::optional<TPaper> paper = PaperForSheet(sheet);
    if (!paper) {
        PaperNote()(
            QApplication::activeWindow(),
            QStringLiteral("审批表只能印在 B5（182×257 mm）或 A4（210×297 mm）纸上，表格不缩放。"
                           "所选的 %1×%2 mm 纸张没有采用，仍用 %3。")
                .arg(QString::number(sheet.width(), 'f', 0), QString::number(sheet.height(), 'f', 0), PaperText(s)));
        return true;
    }
    if (rememberPaper_) {
        // The user said to keep it: "Paper" alone is written.
        if (*paper != remembered.Paper)
            SavePaperChoice(PaperSettingsFile(), *paper);
        settings.SheetMm.reset();
    } else if (*paper == remembered.Paper) {
        settings.SheetMm.reset();
    } else {
        settings.SheetMm = PaperSizeMm(*paper);  // this report's prints only
    }
    return true;
}

TPaperSettings TVdPrintBackend::PaperInUse(const qr::TQRPrinterSettings& settings)
{
    const QString printer = settings.PrinterName.isEmpty() ? DefaultPrinterName() : settings.PrinterName;
    TPaperSettings s = LoadPaperSettings(PaperSettingsFile(), printer);
    if (settings.SheetMm)
        if (const std::optional<TPaper> chosen = PaperForSheet(*settings.SheetMm))
            s.Paper = *chosen;
    return s;
}

void InstallVdPrintBackend()
{
    static TVdPrintBackend backend;
    qr::SetPrintBackend(&backend);
}

QString PrintCalibrationPage(const TPaperSettings& s, const QString& printer)
{
    qr::TQRPrintBackend* backend = qr::PrintBackend();
    if (!backend) {
        InstallVdPrintBackend();
        backend = qr::PrintBackend();
    }
    if (!backend->HasPrinter())
        throw std::runtime_error("没有可用的打印机，校准页无法打印。");
    qr::TQRPrinter store;
    store.AddPage(CalibrationPage(CalibrationSheetFor(s)));
    store.SetStatus(qr::mpFinished);
    store.Title = QStringLiteral("vdmq 校准页");
    qr::TQRPrinterSettings settings;
    settings.PrinterName = printer;
    settings.Placement = PlacementFor(s, true);
    backend->PrintPages(store, settings);
    return backend->PrinterFor(settings);
}

}  // namespace vdmq
