#pragma once
// Printing of prepared pages through Qt Print Support (CUPS on this system).
//
// Pages are painted in full-page mode: every position is measured from the
// paper's top-left corner, and what falls in the printer's unprintable
// border is lost on that printer, as on paper.  Each page goes out with its
// own paper size as a custom size in millimetres (the form's 182 x 257 mm is
// not ISO B5).
#include "report/core/qr.h"
#include "report/core/qrsheet.h"

#include <QDialog>
#include <QMarginsF>
#include <QPageSize>
#include <QPointer>
#include <QStringList>
#include <functional>

class QPrintDialog;
class QPrinter;
class QWidget;

namespace qr {

// The backend for the desktop program: the printer dialog, the "Printing
// progress" and "Exporting Progress" windows.
void InstallWidgetPrintBackend();
// For tools without a desktop: no dialogs, no progress windows.
void InstallQuietPrintBackend();

// The printers known to the system, the default one first.  Tests replace it.
using TPrinterNames = std::function<QStringList()>;
TPrinterNames& PrinterNames();
// The printer a print without a chosen one goes to: the first of
// PrinterNames(), that is the system's default printer, else the first
// installed one; empty when there is none.
QString DefaultPrinterName();

class TQRQtPrintBackend : public TQRPrintBackend {
public:
    explicit TQRQtPrintBackend(bool interactive);
    bool HasPrinter() const override;
    // The chosen printer, else DefaultPrinterName().
    QString PrinterFor(const TQRPrinterSettings& settings) const override;
    void PrintPages(const TQRPrinter& store, const TQRPrinterSettings& settings) override;
    bool PrintSetup(TQRPrinterSettings& settings, int pageCount) override;
    void WithProgress(const QString& caption, const std::function<void()>& work) override;

protected:
    // Widgets of the program's own for the printer dialog, shown above its
    // buttons and owned by it; nullptr for none.
    virtual QWidget* PrintDialogExtra(QPrintDialog& /*dialog*/) { return nullptr; }

private:
    bool interactive_;
};

// Widens a window to what its caption needs in the title bar, where the
// desktop draws it in a bold face beside the window's icon and buttons and
// shortens a caption that does not fit ("Printin... gress").
void FitWidthToCaption(QWidget* window);

// Qt's print dialog makes its 属性 (printer properties) page from the
// printer's default paper, not from the paper the printer object was given:
// it opened on A4 for B5, and a dialog confirmed without a look at 属性 gave
// A4 back.  While the dialog runs, this sets the page's paper to `sheetMm`
// whenever the page is shown, and tells whether the user confirmed a page
// that is still the current printer's (PaperConfirmed): only then is the
// dialog's paper the user's choice.
class TPrintDialogPaper : public QObject {
public:
    TPrintDialogPaper(QPrintDialog& dialog, const QSizeF& sheetMm);
    bool PaperConfirmed() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSizeF sheetMm_;
    QPointer<QDialog> confirmed_;  // Qt deletes the page when another printer is chosen
};

// Sets a page-size box of Qt's page set-up to `sheetMm`: the listed paper
// of that size (within 1 mm), else the custom size when the box offers
// one.  False when neither is there (a printer without such paper).
bool SelectPaperInBox(QWidget* pageSetup, const QSizeF& sheetMm);

// The paper of a page as a custom size in millimetres.
QPageSize PageSizeFor(const QRPageImage& page);
// A sheet in millimetres as a page size: A4 by its name, any other size as
// a custom size (a printer that lists the same size under a name of its
// own, such as JIS B5, is given that).
QPageSize PageSizeForMm(const QSizeF& sheetMm);

// Asks the printer (by name; empty: the default printer) about a sheet.
TQRPaperSupport PrinterPaperSupport(const QString& printerName, const QSizeF& sheetMm);

// Applies the settings to a printer (name, output file, copies, duplex).
void ApplySettings(QPrinter& printer, const TQRPrinterSettings& settings);

}  // namespace qr
