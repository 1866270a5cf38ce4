// The print run of the main window's Preview, Print and 导出PDF buttons: the
// run of app/core/printrun over the window's roster, driven from the
// application's event loop.  A preview run shows one form at a time in a
// window of its own and takes the next form when that window closes; a
// print or PDF run outputs one form per turn of the loop, so its progress
// window is drawn and its 停止 heard between forms.  No loop of its own runs
// anywhere: between forms the main window, the preview window and the
// progress window work as they always do.
#include "app/core/folders.h"
#include "app/core/printrun.h"
#include "app/core/runpdf.h"
#include "app/ui/VdCheckDialog.h"
#include "app/ui/VdMainUnit.h"
#include "app/ui/VdPaperPrint.h"
#include "app/ui/VdPreviewDialogs.h"
#include "app/ui/VdRunReport.h"
#include "form/PubFunc.h"
#include "platform/atomicfile.h"
#include "platform/gbtext.h"
#include "preview/TzPreview.h"
#include "report/ui/printbackend.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

namespace vdmq {

namespace {

// The holder's preview hook hands its store to the window made for that
// row and shows it, before the page is prepared into the store.
class TWindowTarget : public TPreviewTarget {
public:
    explicit TWindowTarget(TPreviewWindow* window) : window_(window) {}
    void AttachAndShow(const std::shared_ptr<qr::TQRPrinter>& store) override
    {
        if (!window_)
            return;
        window_->PageView->setQRPrinter(store);
        window_->showMaximized();
        window_->raise();
        window_->activateWindow();
    }
private:
    QPointer<TPreviewWindow> window_;
};

}  // namespace

struct TPrintRunState : TPrintRunHost {
    explicit TPrintRunState(TMainWindow* form) : form(form), run(Vdcs, form->Roster, *this)
    {
        // The application quitting ends a run at once: no turn of the loop
        // is left to take it further.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, form, [this] {
            if (active)
                EndNow();
        });
    }

    TMainWindow* form;
    TPrintRun run;
    TMainPreviewDialogs previewDialogs{form};
    QPointer<TPreviewWindow> preview;  // the window of the form shown
    std::unique_ptr<QProgressDialog> progress;
    std::unique_ptr<TRunPdf> pdf;  // the whole-run PDF
    bool active = false;           // from Begin to Finish
    bool quiet = false;            // no summary: the main window closes, or the application quits
    bool closeAfterRun = false;    // the main window asked to close during the run
    int carriedZoom = 0;           // the zoom the last window closed with (0: none yet)
    bool checking = false;

    // ---- the run, a form at a time ------------------------------------------

    void Begin(TRunMode mode)
    {
        active = true;
        quiet = closeAfterRun = false;
        carriedZoom = 0;
        pdf.reset();
        if (!run.Start(mode)) {
            Finish();
            return;
        }
        Advance();
    }

    // Takes the next form: shown at once in a preview window, or output on
    // the next turn of the loop, after the progress window has shown it.
    void Advance()
    {
        if (!active)
            return;
        // 停止, or the window's cancel by other means.
        if (progress && progress->wasCanceled())
            run.Stop();
        std::unique_ptr<TApprovalForm> holder = run.NextForm();
        if (!holder) {
            Finish();
            return;
        }
        if (run.Mode() == TRunMode::Preview) {
            Show(std::move(holder));
            return;
        }
        ShowProgress();
        QTimer::singleShot(0, form, [this, h = std::shared_ptr<TApprovalForm>(std::move(holder))] { Output(*h); });
    }

    void Output(TApprovalForm& holder)
    {
        if (!active)
            return;  // ended meanwhile: the form does not go out
        try {
            OutputForm(holder, run.Mode(), run.CurRow());
            run.FormDone();
        } catch (...) {
            run.FormFailed(std::current_exception());
        }
        if (progress)
            progress->setValue(run.Result().forms);
        QTimer::singleShot(0, form, [this] { Advance(); });
    }

    // A fresh window for every previewed form, which keeps the form's
    // holder while it shows its page (its 打印, 打印设置 and 存盘 go to the
    // holder's report) and asks for the next form when it closes.
    void Show(std::unique_ptr<TApprovalForm> holder)
    {
        const int row = run.CurRow();
        auto* window = new TPreviewWindow(form, &previewDialogs);
        const QString person = cellText(row, col::Name);
        window->SetFormOrigin(row, person);
        // Which person and row of how many forms, the zoom the window before
        // was left at, and the button that ends the run (through the run's
        // own stop, so the roster is let go as at any end and nothing more
        // is reported).
        window->SetRunPosition(person, row, run.Position(), run.Result().formsTotal);
        window->ShowStopRun(true);
        if (carriedZoom > 0)
            window->StartAtZoom(carriedZoom);
        QObject::connect(window, &TPreviewWindow::StopRunRequested, form, [this] { run.Stop(); });
        QObject::connect(window, &TPreviewWindow::Closing, form, [this, window] {
            carriedZoom = window->PageView->Zoom();
            if (preview == window)
                preview = nullptr;
            QTimer::singleShot(0, form, [this] { Advance(); });
        });
        TApprovalForm* shown = holder.release();
        shown->setParent(window);
        preview = window;
        TWindowTarget target(window);
        shown->PreviewTarget = &target;
        try {
            shown->Report->Preview();
        } catch (...) {
            // The form failed while it was prepared: its window shows
            // nothing worth keeping.
            shown->PreviewTarget = nullptr;
            const std::exception_ptr failure = std::current_exception();
            window->close();
            run.FormFailed(failure);
            return;
        }
        shown->PreviewTarget = nullptr;
        run.FormDone();
    }

    // The main window closes or the application quits: the run ends now,
    // its window closed and the roster let go, without a summary.
    void EndNow()
    {
        quiet = true;
        run.Stop();
        if (preview)
            preview->close();
        Advance();  // the stop ends it; a form waiting to go out stays in
    }

    // After the run: the PDF put in place, the window closed if it asked to
    // be, and the summary.
    void Finish()
    {
        active = false;
        progress.reset();
        preview = nullptr;
        bool written = true;
        const QString pdfFile = pdf ? pdf->FileName() : QString();
        if (pdf && pdf->Begun()) {
            try {
                pdf->Finish();
                RememberExportFolder(Vdcs, QFileInfo(pdfFile).absolutePath());
            } catch (const std::exception& e) {
                written = false;
                form->ShowError(e);
            }
        }
        pdf.reset();
        if (closeAfterRun) {
            closeAfterRun = false;
            QTimer::singleShot(0, form, [f = QPointer<TMainWindow>(form)] {
                if (f)
                    f->close();
            });
        }
        if (quiet || !written)
            return;
        TRunEnd end;
        end.mode = run.Mode();
        end.result = run.Result();
        end.startRow = Vdcs.StartRow;
        end.endRow = Vdcs.EndRow;
        if (end.mode == TRunMode::Pdf)
            end.target = pdfFile;
        else if (const qr::TQRPrintBackend* backend = qr::PrintBackend())
            end.target = backend->PrinterFor(qr::TQRPrinterSettings{});
        ReportRunEnd(*form, end);
    }

    void RaisePreview() const
    {
        if (!preview)
            return;
        preview->show();
        preview->raise();
        preview->activateWindow();
    }

    // The run-wide progress window of a print or PDF run of several forms,
    // with its 停止; a single form has the engine's own window.
    void ShowProgress()
    {
        const int total = run.Result().formsTotal;
        if (!progress && total > 1) {
            progress = std::make_unique<QProgressDialog>(form);
            progress->setWindowTitle(run.Mode() == TRunMode::Pdf ? QStringLiteral("导出PDF")
                                                                 : QStringLiteral("Printing progress"));
            qr::FitWidthToCaption(progress.get());
            progress->setCancelButtonText(QStringLiteral("停止"));
            progress->setAutoClose(false);
            progress->setAutoReset(false);
            progress->setMinimumDuration(0);
            progress->setRange(0, total);
            QObject::connect(progress.get(), &QProgressDialog::canceled, form, [this] { run.Stop(); });
            progress->show();
        }
        if (!progress)
            return;
        progress->setValue(run.Result().forms);
        progress->setLabelText(ProgressLine(run.Position(), total, run.CurRow()));
    }

    QString cellText(int row, int col) const
    {
        try {
            return Trim(form->Roster.CellText(row, col));
        } catch (const std::exception&) {
            return {};
        }
    }

    // ---- host ---------------------------------------------------------------
    TRunEntries ReadEntries() override
    {
        const TEntryFields f = form->EntryFields();
        return {f.start, f.end, f.docNo, f.issuedBy, f.printDate.toLocalTime().date()};
    }

    QString OpinionWidthText() override { return fromGb(form->EntryFields().width); }

    // The preview windows' place in the run and the progress window need it.
    bool CountsForms() const override { return true; }

    bool BeginOutput(int /*formsTotal*/) override
    {
        if (run.Mode() != TRunMode::Pdf)
            return true;
        // Asked once the range is known to give forms, so a bad range or a
        // roster without flagged rows never gets this far.
        QString selected = QDir(ExportFolder(Vdcs))
                               .filePath(QStringLiteral("审批表_第%1至%2行.pdf").arg(Vdcs.StartRow).arg(Vdcs.EndRow));
        for (;;) {
            QString file =
                form->Dialogs().SaveFileName(form, QStringLiteral("导出PDF"), QFileInfo(selected).absolutePath(),
                                             {QStringLiteral("PDF文件 (*.pdf)")}, selected);
            if (file.isEmpty())
                return false;
            file = TSaveDialog::WithDefaultExt(file, QStringLiteral("pdf"));
            if (const QString conflict = OutputConflict(file); !conflict.isEmpty()) {
                form->Dialogs().Error(form, conflict);
                selected = file;
                continue;
            }
            const QFileInfo info(file);
            if (!info.exists() || info.isDir() || AskReplace(form->Dialogs(), form, file)) {
                // On the remembered paper, as a PDF printed from the printer
                // dialog would be.
                pdf = std::make_unique<TRunPdf>(file, previewDialogs.ExportPlacement());
                return true;
            }
            selected = file;
        }
    }

    // A form of a print or PDF run (a preview run shows its forms instead).
    void OutputForm(TApprovalForm& holder, TRunMode mode, int row) override
    {
        if (mode == TRunMode::Pdf) {
            pdf->Add(holder);
            return;
        }
        // The engine prints nothing, silently, without a printer.
        if (qr::TQRPrintBackend* backend = qr::PrintBackend(); !backend || !backend->HasPrinter())
            throw GbError(MsgPrinterGone(row));
        // One job per form; the run-wide progress window replaces the
        // engine's window of each single form.
        if (progress)
            holder.Report->ShowProgress = false;
        holder.Report->Print();
    }

    void SetCurRow(int row) override { form->CurRow = row; }

    // The check before paper (VdCheckDialog): on unless vdmq.ini turns it
    // off; a busy cursor while the rows are prepared.
    bool WantsCheck(TRunMode) override
    {
        checking = CheckBeforeRunEnabled(Vdcs.AppDir);
        if (checking)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        return checking;
    }
    // Measured where the forms will go: the PDF's paper, or the printer's
    // (a preview is printed from its window on the same).
    TCheckSheet CheckSheet(TRunMode m) override
    {
        if (m == TRunMode::Pdf) {
            const TPaperSettings s = LoadPaperSettings(PaperSettingsFile());
            return CheckSheetFor(s, s.OffsetsInPdf);
        }
        return PrintCheckSheet(QString());
    }
    bool ConfirmCheck(TRunMode m, const TCheckReport& report) override
    {
        endChecking();
        return ConfirmCheckedRun(form, form->Dialogs(), m, report);
    }
    void endChecking()
    {
        if (checking)
            QApplication::restoreOverrideCursor();
        checking = false;
    }

    void MessageBox(const std::string& text, const std::string& detail) override
    {
        QString shown = fromGb(text);
        if (!detail.empty())
            shown += QStringLiteral("\n\n") + fromGb(detail);
        form->Dialogs().Message(form, TMainWindow::ApplicationTitle(), shown);
    }

    // The run's messages are GB18030, whatever layer the error came from.
    void ShowError(const std::string& message, int row) override
    {
        form->ShowError(errorContext(message, row), GbError(message));
    }

    // Which row failed; or, before any row, which of the two row fields
    // does not hold a whole number.
    QString errorContext(const std::string& message, int row) const
    {
        if (row > 0)
            return QStringLiteral("第 %1 行填表时出错：").arg(row);
        const auto notANumber = [&message](const std::string& text) { return message == EConvertError(text).what(); };
        const TEntryFields fields = form->EntryFields();
        if (notANumber(fields.start))
            return QStringLiteral("“开始打印行号”不是整数：");
        if (notANumber(fields.end))
            return QStringLiteral("“结束打印行号”不是整数：");
        return {};
    }

    // Print, 导出PDF and the roster's buttons are off while a run is open.
    void RunStateChanged(bool running) override
    {
        form->SetRunButtonsEnabled(!running);
        if (!running) {
            endChecking();
            progress.reset();
        }
    }
};

void TMainWindow::PrintRun(TRunMode mode)
{
    // Forms and their preview windows print through the desktop backend
    // (printer dialog, progress windows, paper and position) unless the
    // program chose another.
    if (!qr::PrintBackend())
        InstallVdPrintBackend();
    if (!PrintRunState)
        PrintRunState = std::make_shared<TPrintRunState>(this);
    TPrintRunState& state = *PrintRunState;
    if (state.active) {
        // Only Preview can be pressed during a run: it brings the form
        // shown to the front.
        if (mode == TRunMode::Preview)
            state.RaisePreview();
        return;
    }
    qr::TQRPrintBackend* backend = qr::PrintBackend();
    if (mode == TRunMode::Print && (!backend || !backend->HasPrinter())) {
        // Nothing would be prepared, and a run would seem to print.
        Dialogs().Message(this, ApplicationTitle(), MsgNoPrinter());
        return;
    }
    // What the printer will not reach of the form is said once, before the
    // first form goes out.
    if (mode == TRunMode::Print && dynamic_cast<TVdPrintBackend*>(backend) && !ConfirmPaper(this, QString()))
        return;
    state.Begin(mode);
}

bool TMainWindow::RunActive() const { return PrintRunState && PrintRunState->active; }

void TMainWindow::EndRunBeforeClose()
{
    if (!RunActive())
        return;
    PrintRunState->closeAfterRun = true;
    PrintRunState->EndNow();
}

}  // namespace vdmq
