// Printing through Qt Print Support.
#include "report/ui/printbackend.h"

#include "report/core/qrpdffix.h"
#include "report/core/qrrender.h"

#include "platform/atomicfile.h"

#include <QApplication>
#include <QBoxLayout>
#include <QChildEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace qr {

QPageSize PageSizeFor(const QRPageImage& page) { return PageSizeForMm(QSizeF(page.width / 10.0, page.length / 10.0)); }

QPageSize PageSizeForMm(const QSizeF& sheetMm)
{
    const QSizeF a4 = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
    if (std::abs(sheetMm.width() - a4.width()) < 0.5 && std::abs(sheetMm.height() - a4.height()) < 0.5)
        return QPageSize(QPageSize::A4);
    return QPageSize(sheetMm, QPageSize::Millimeter,
                     QStringLiteral("%1 x %2 mm").arg(sheetMm.width()).arg(sheetMm.height()), QPageSize::ExactMatch);
}

TQRPaperSupport PrinterPaperSupport(const QString& printerName, const QSizeF& sheetMm)
{
    TQRPaperSupport out;
    const QPrinterInfo info =
        printerName.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(printerName);
    if (info.isNull())
        return out;
    out.known = true;
    out.custom = info.supportsCustomPageSizes();
    for (const QPageSize& ps : info.supportedPageSizes()) {
        const QSizeF mm = ps.size(QPageSize::Millimeter);
        if (std::abs(mm.width() - sheetMm.width()) <= 1.0 && std::abs(mm.height() - sheetMm.height()) <= 1.0) {
            out.listed = true;
            out.paperName = ps.name();
            break;
        }
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(info.printerName());
    printer.setFullPage(true);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(PageSizeForMm(sheetMm));
    const QPageLayout layout = printer.pageLayout();
    // The driver's minimum margins, in the layout's units.
    const QPageLayout inMm(layout.pageSize(), layout.orientation(), layout.minimumMargins(), layout.units());
    out.borderMm = inMm.margins(QPageLayout::Millimeter);
    return out;
}

void ApplySettings(QPrinter& printer, const TQRPrinterSettings& settings)
{
    if (!settings.OutputFileName.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(settings.OutputFileName);
    } else {
        const QString name = TQRQtPrintBackend(false).PrinterFor(settings);
        if (!QPrinterInfo::availablePrinterNames().contains(name))
            throw std::runtime_error("打印机“" + name.toStdString() + "”没有安装");
        printer.setPrinterName(name);
    }
    printer.setCopyCount(std::max(1, settings.Copies));
    printer.setDuplex(settings.Duplex ? QPrinter::DuplexAuto : QPrinter::DuplexNone);
}

TQRQtPrintBackend::TQRQtPrintBackend(bool interactive) : interactive_(interactive) {}

TPrinterNames& PrinterNames()
{
    static TPrinterNames names = [] {
        QStringList all = QPrinterInfo::availablePrinterNames();
        const QString def = QPrinterInfo::defaultPrinterName();
        if (all.removeAll(def) > 0)
            all.prepend(def);
        return all;
    };
    return names;
}

QString DefaultPrinterName() { return PrinterNames()().value(0); }

bool TQRQtPrintBackend::HasPrinter() const { return !QPrinterInfo::availablePrinterNames().isEmpty(); }

QString TQRQtPrintBackend::PrinterFor(const TQRPrinterSettings& settings) const
{
    if (!settings.OutputFileName.isEmpty())
        return settings.OutputFileName;
    return settings.PrinterName.isEmpty() ? DefaultPrinterName() : settings.PrinterName;
}

void TQRQtPrintBackend::PrintPages(const TQRPrinter& store, const TQRPrinterSettings& settings)
{
    const int count = store.PageCount();
    if (count == 0)
        return;
    int first = 1, last = count;
    if (settings.FirstPage > 0 || settings.LastPage > 0) {
        first = std::clamp(settings.FirstPage > 0 ? settings.FirstPage : 1, 1, count);
        last = std::clamp(settings.LastPage > 0 ? settings.LastPage : count, first, count);
    }

    QPrinter printer(QPrinter::HighResolution);
    ApplySettings(printer, settings);
    // Printing to a file (the dialog's "print to file"): into a temporary
    // file beside it, which replaces it only once the document is
    // complete, as the PDF export does.
    std::unique_ptr<vdmq::TAtomicFile> toFile;
    auto fileFailed = [&](const QString& reason) {
        throw EInOutError(QStringLiteral("无法写入文件“%1”：%2").arg(settings.OutputFileName, reason).toStdString());
    };
    if (!settings.OutputFileName.isEmpty()) {
        toFile = std::make_unique<vdmq::TAtomicFile>(settings.OutputFileName);
        if (!toFile->Open())
            fileFailed(toFile->ErrorText());
        printer.setOutputFileName(toFile->WorkingPath());
    }
    printer.setFullPage(true);
    printer.setDocName(store.Title.isEmpty() ? QStringLiteral("vdmq") : store.Title);
    printer.setPageOrientation(QPageLayout::Portrait);

    QPainter painter;
    const TQRPlacement placement = settings.Placement.value_or(TQRPlacement{});
    // A PDF file's text maps are written from what the glyphs stand for.
    detail::PdfGlyphLog glyphs;
    for (int n = first; n <= last; ++n) {
        const QRPageImage& page = store.Page(n);
        printer.setPageSize(PageSizeForMm(SheetSizeMm(page, placement)));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        if (n == first) {
            if (!painter.begin(&printer))
                throw std::runtime_error("无法在打印机“" + printer.printerName().toStdString() + "”上开始打印");
        } else if (!printer.newPage()) {
            throw std::runtime_error("打印机“" + printer.printerName().toStdString() + "”打印第 " + std::to_string(n) +
                                     " 页时出错");
        }
        // The painter's origin, in device pixels, relative to the paper's
        // corner: nothing in full-page mode, the unprintable border otherwise.
        const QPointF origin = printer.paperRect(QPrinter::DevicePixel).topLeft();
        // Rules are outlined rectangles 0.26 mm thick.  A one-dot outline on a
        // 600- or 1200-dpi printer leaves two faint hairlines with white
        // between; drawing the outline one screen pixel (1/96 inch) wide
        // prints them solid, as the preview and the PDF show them.
        detail::RenderOptions opt;
        opt.pixelsPerTenth = printer.resolution() / 254.0;
        opt.offset = origin + placement.ShiftMm * (printer.resolution() / 25.4);
        opt.penPixel = std::max(1.0, printer.resolution() / 96.0);
        if (toFile)
            opt.glyphLog = &glyphs;
        detail::renderPage(painter, page, opt);
    }
    if (!painter.end())
        throw std::runtime_error("打印机“" + printer.printerName().toStdString() + "”上的打印没有完成");
    if (toFile) {
        const QString written = toFile->WorkingPath();
        if (QFileInfo(written).isFile()) {
            // Qt does not say when its writes fail: a document cut short
            // by a full disk has no complete cross-reference table.
            if (!detail::pdfLooksComplete(written))
                fileFailed(QStringLiteral("PDF 没有写完整（磁盘已满？）"));
            if (!detail::mendPdfTextMapping(written, &glyphs))
                fileFailed(QStringLiteral("无法写入文字对照表"));
        }
        if (!toFile->Commit())
            fileFailed(toFile->ErrorText());
    }
}

bool SelectPaperInBox(QWidget* pageSetup, const QSizeF& sheetMm)
{
    auto* box = pageSetup ? pageSetup->findChild<QComboBox*>(QStringLiteral("pageSizeCombo")) : nullptr;
    if (!box || sheetMm.isEmpty())
        return false;
    int custom = -1;
    for (int i = 0; i < box->count(); ++i) {
        const QVariant data = box->itemData(i);
        if (!data.canConvert<QPageSize>()) {
            custom = i;  // the one entry without a paper of its own
            continue;
        }
        const QSizeF mm = data.value<QPageSize>().size(QPageSize::Millimeter);
        if (std::abs(mm.width() - sheetMm.width()) <= 1.0 && std::abs(mm.height() - sheetMm.height()) <= 1.0) {
            box->setCurrentIndex(i);
            return true;
        }
    }
    auto* width = pageSetup->findChild<QDoubleSpinBox*>(QStringLiteral("pageWidth"));
    auto* height = pageSetup->findChild<QDoubleSpinBox*>(QStringLiteral("pageHeight"));
    auto* units = pageSetup->findChild<QComboBox*>(QStringLiteral("unitCombo"));
    if (custom < 0 || !width || !height || !units)
        return false;
    box->setCurrentIndex(custom);
    // The boxes count in the unit the page shows.
    const auto unit = units->currentData().value<QPageLayout::Unit>();
    const QSizeF size = QPageSize(sheetMm, QPageSize::Millimeter).size(static_cast<QPageSize::Unit>(unit));
    width->setValue(size.width());
    height->setValue(size.height());
    return true;
}

TPrintDialogPaper::TPrintDialogPaper(QPrintDialog& dialog, const QSizeF& sheetMm) : sheetMm_(sheetMm)
{
    dialog.installEventFilter(this);
}

bool TPrintDialogPaper::PaperConfirmed() const { return !confirmed_.isNull(); }

bool TPrintDialogPaper::eventFilter(QObject* watched, QEvent* event)
{
    // The 属性 page is a dialog of the print dialog's own, made when first
    // needed and again for each printer chosen; it is polished just before
    // it shows.
    if (event->type() == QEvent::ChildPolished) {
        auto* page = qobject_cast<QDialog*>(static_cast<QChildEvent*>(event)->child());
        if (page && page->findChild<QComboBox*>(QStringLiteral("pageSizeCombo")) &&
            !page->property("vdmqPaperSet").toBool()) {
            page->setProperty("vdmqPaperSet", true);
            SelectPaperInBox(page, sheetMm_);
            connect(page, &QDialog::accepted, this, [this, page] { confirmed_ = page; });
        }
    }
    return QObject::eventFilter(watched, event);
}

bool TQRQtPrintBackend::PrintSetup(TQRPrinterSettings& settings, int pageCount)
{
    if (!interactive_ || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    QPrinter printer(QPrinter::HighResolution);
    try {
        ApplySettings(printer, settings);
    } catch (const std::exception&) {
        // A printer chosen earlier has gone: the dialog starts from the default.
    }
    // The dialog starts on the paper in use; the paper chosen in it is
    // handed back as the sheet.
    const TQRPlacement placement = settings.Placement.value_or(TQRPlacement{});
    if (!placement.SheetMm.isEmpty())
        printer.setPageSize(PageSizeForMm(placement.SheetMm));
    if (pageCount > 0) {
        printer.setFromTo(settings.FirstPage > 0 ? settings.FirstPage : 0,
                          settings.LastPage > 0 ? settings.LastPage : 0);
    }
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    const TPrintDialogPaper paper(dialog, placement.SheetMm);
    if (pageCount > 0)
        dialog.setMinMax(1, pageCount);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, pageCount > 1);
    // The dialog only stores the choices; a button saying "Print" makes
    // users believe the form went out.
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("确定"));
    if (QWidget* extra = PrintDialogExtra(dialog))
        if (auto* rows = qobject_cast<QBoxLayout*>(dialog.layout()); rows && rows->count() > 0)
            rows->insertWidget(rows->count() - 1, extra);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        // An input of the program (the roster) is no file to print into.
        if (const QString conflict = vdmq::OutputConflict(printer.outputFileName()); !conflict.isEmpty())
            throw std::runtime_error(conflict.toStdString());
        settings.OutputFileName = printer.outputFileName();
    } else {
        settings.OutputFileName.clear();
        settings.PrinterName = printer.printerName();
    }
    settings.Copies = std::max(1, printer.copyCount());
    if (printer.printRange() == QPrinter::PageRange) {
        settings.FirstPage = printer.fromPage();
        settings.LastPage = printer.toPage();
    } else {
        settings.FirstPage = settings.LastPage = 0;
    }
    settings.Duplex = printer.duplex() != QPrinter::DuplexNone;
    // The paper the dialog gives back counts only when the user confirmed
    // the 属性 page that holds it; else the dialog's default paper would
    // replace the one in use.
    TQRPlacement chosen = placement;
    if (paper.PaperConfirmed() || placement.SheetMm.isEmpty()) {
        chosen.SheetMm = printer.pageLayout().pageSize().size(QPageSize::Millimeter);
        if (printer.pageLayout().orientation() == QPageLayout::Landscape)
            chosen.SheetMm.transpose();
    }
    settings.Placement = chosen;
    return true;
}

void FitWidthToCaption(QWidget* window)
{
    QFont font = window->font();
    font.setBold(true);
    // Title bars are often set a little larger than the window's text.
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 1.15);
    else
        font.setPixelSize(font.pixelSize() * 115 / 100);
    // The icon and three buttons (minimise, maximise, close), with room.
    constexpr int kTitleBarFurniture = 4 * 32 + 24;
    int width = QFontMetrics(font).horizontalAdvance(window->windowTitle()) + kTitleBarFurniture;
    if (const QScreen* screen = window->screen())
        width = std::min(width, screen->availableGeometry().width());
    window->setMinimumWidth(std::max(window->minimumWidth(), width));
    if (window->width() < width)
        window->resize(width, window->height());
}

void TQRQtPrintBackend::WithProgress(const QString& caption, const std::function<void()>& work)
{
    if (!interactive_ || !qobject_cast<QApplication*>(QCoreApplication::instance())) {
        work();
        return;
    }
    QProgressDialog progress(caption, QString(), 0, 0, QApplication::activeWindow());
    progress.setWindowTitle(caption);
    FitWidthToCaption(&progress);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.show();
    work();
}

void InstallWidgetPrintBackend()
{
    static TQRQtPrintBackend backend(true);
    SetPrintBackend(&backend);
}

void InstallQuietPrintBackend()
{
    static TQRQtPrintBackend backend(false);
    SetPrintBackend(&backend);
}

}  // namespace qr
