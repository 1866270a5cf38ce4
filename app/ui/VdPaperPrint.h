#pragma once
// Printing with the remembered paper and position.  The desktop program's
// print backend puts every page on the paper chosen in "纸张" (or in the
// printer dialog) at its offsets, and says before a print what the printer
// will not reach of the form, once for each printer, paper and position in
// a session.
#include "app/core/paper.h"
#include "report/ui/printbackend.h"

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace vdmq {

// The settings file the paper keys live in (the main window's vdmq.ini).
QString PaperSettingsFile();

// How the program asks the printer about a sheet; tests replace it.
using TPaperSupportProvider = std::function<qr::TQRPaperSupport(const QString& printer, const QSizeF& sheetMm)>;
TPaperSupportProvider& PaperSupportProvider();

// The question before printing: `text` says what will be lost; true goes on
// printing.  Tests replace it; by default a warning box with 继续打印 and 取消.
using TPaperPrompt = std::function<bool(QWidget* parent, const QString& text)>;
TPaperPrompt& PaperPrompt();
// A note that needs no answer (a paper chosen in the printer dialog that
// the form cannot use).  By default an information box.
using TPaperNote = std::function<void(QWidget* parent, const QString& text)>;
TPaperNote& PaperNote();

// The printers and the default one: the print backend's, which tests replace.
using qr::DefaultPrinterName;
using qr::PrinterNames;
using qr::TPrinterNames;

// Before printing forms on `printer` (empty: the default printer) with the
// remembered settings and that printer's offsets: asks when the paper is missing or the form would
// lose rules in the printer's border.  True to go on; a confirmed (or
// harmless) combination is not asked about again in this session.
bool ConfirmPaper(QWidget* parent, const QString& printer);
// The same for `settings` (a paper chosen for one print).
bool ConfirmPaper(QWidget* parent, const QString& printer, const TPaperSettings& settings);
// The sheet the check before a print measures on: the remembered paper,
// position and offsets, and what `printer` (empty: the default printer)
// cannot print on, as the question above reckons it.
TCheckSheet PrintCheckSheet(const QString& printer);
// Forgets what was confirmed (tests).
void ForgetPaperConfirmations();

// The backend of the desktop program: the widget backend (printer dialog,
// progress windows) with the paper and position above.
class TVdPrintBackend : public qr::TQRQtPrintBackend {
public:
    TVdPrintBackend() : qr::TQRQtPrintBackend(true) {}
    // A page store printed without a placement of its own gets the
    // remembered one with the offsets of the printer it goes to (in a PDF
    // file only when PdfOffsets is on, those of the printer chosen in the
    // dialog), on the paper chosen for it in the printer dialog if any, and
    // the question above first; declining prints nothing.
    void PrintPages(const qr::TQRPrinter& store, const qr::TQRPrinterSettings& settings) override;
    // The dialog opens on the paper in use (the one chosen for this report
    // before, else the remembered one) and says so.  A B5 or A4 chosen in
    // its 属性 page serves this report's prints only, unless the user ticks
    // the box that keeps it (then "Paper" is written, nothing else); any
    // other paper is refused with a note.  Nothing else writes "Paper".
    bool PrintSetup(qr::TQRPrinterSettings& settings, int pageCount) override;

protected:
    // The paper in use and the box that keeps a paper chosen in 属性.
    QWidget* PrintDialogExtra(QPrintDialog& dialog) override;

private:
    // The remembered settings, on the paper chosen for this report if any.
    static TPaperSettings PaperInUse(const qr::TQRPrinterSettings& settings);
    TPaperSettings dialogPaper_;
    bool rememberPaper_ = false;
};
void InstallVdPrintBackend();

// Prints the calibration page for `settings` on `printer` (empty: the
// default printer).  Returns the printer it went to.
QString PrintCalibrationPage(const TPaperSettings& settings, const QString& printer = QString());

}  // namespace vdmq
