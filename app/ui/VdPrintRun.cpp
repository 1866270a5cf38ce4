// The print run of the main window's Preview and Print buttons: the run
// logic of app/core/printrun over the window's roster, with
// the window's entry fields, message boxes and preview windows around it.
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
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>

namespace vdmq {

namespace {

// The holder's preview hook hands its store to the window made for that
// row; a window the user has closed is gone and is never touched again.
class TWindowTarget : public TPreviewTarget {
public:
    explicit TWindowTarget(TFormTzpreview* window) : window_(window) {}
    void AttachAndShow(const std::shared_ptr<qr::TQRPrinter>& store) override
    {
        if (!window_)
            return;
        window_->QRPreview1->setQRPrinter(store);
        window_->showMaximized();
        window_->raise();
        window_->activateWindow();
    }
private:
    QPointer<TFormTzpreview> window_;
};

}  // namespace

struct TPrintRunState : TPrintRunHost {
    explicit TPrintRunState(TVdMainForm* form) : form(form), run(Vdcs, form->Roster, *this) { closeGuard.state = this; }

    // Closing the main window while a run waits in Preview (or prints) would
    // destroy the components under it.  The close is held back: the run is
    // asked to stop, the window of the form being previewed is closed so
    // that its Preview returns, and the main window closes once the run is
    // over.
    struct CloseGuard : QObject {
        TPrintRunState* state = nullptr;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() != QEvent::Close || !state->run.Running())
                return QObject::eventFilter(watched, event);
            event->ignore();
            state->closeAfterRun = true;
            state->closedDuringRun = true;
            state->run.RequestStop();
            if (state->preview)
                state->preview->close();
            return true;
        }
    } closeGuard;

    TVdMainForm* form;
    TPrintRun run;
    TRunMode mode = TRunMode::Preview;
    QPointer<TFormTzpreview> preview;  // the window of the form now previewed
    TMainPreviewDialogs previewDialogs{form};
    std::unique_ptr<QProgressDialog> progress;
    QElapsedTimer lastEvents;
    int lastForms = -1;
    bool closeAfterRun = false;
    // Where a preview run stands, for the window's title; the zoom the last
    // window closed with, for the next one (0: none yet).
    int previewForm = 0, previewForms = 0;
    int carriedZoom = 0;
    bool closedDuringRun = false;  // no summary for a window that is closing
    std::unique_ptr<TRunPdf> pdf;  // the whole-run PDF

    // ---- host --------------------------------------------------------------
    TRunEntries ReadEntries() override
    {
        const TEntryFields f = form->EntryFields();
        return {f.start, f.end, f.docNo, f.issuedBy, f.printDate.toLocalTime().date()};
    }

    std::string OpinionWidthText() override { return toGb(form->edWidth->text()); }

    bool RaisePreviewWindow() override
    {
        QWidget* window = preview;
        if (!window) {
            // Any preview window of the main window that is still open.
            for (QObject* child : form->children()) {
                auto* w = qobject_cast<QWidget*>(child);
                if (w && w->isVisible() &&
                    w->objectName().compare(QLatin1String("FormTzPreview"), Qt::CaseInsensitive) == 0) {
                    window = w;
                    break;
                }
            }
        }
        if (!window)
            return false;
        window->show();
        window->raise();
        window->activateWindow();
        return true;
    }

    bool CountsForms() const override { return mode != TRunMode::Preview; }

    bool BeginOutput(int /*formsTotal*/) override
    {
        if (mode != TRunMode::Pdf)
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

    void OutputForm(TVdPrnForm& holder, TRunMode formMode, int row) override
    {
        if (formMode == TRunMode::Pdf) {
            pdf->Add(holder);
            return;
        }
        if (formMode == TRunMode::Print) {
            // The engine prints nothing, silently, without a printer.
            if (qr::TQRPrintBackend* backend = qr::PrintBackend(); !backend || !backend->HasPrinter())
                throw GbError(MsgPrinterGone(row));
            // One job per form; a run-wide progress window replaces the
            // engine's window of each single form.
            if (progress)
                holder.qrVDMQ->ShowProgress = false;
            holder.qrVDMQ->Print();
            return;
        }
        // A fresh window for every previewed form: the one before was
        // destroyed when the user closed it.
        auto* window = new TFormTzpreview(form, &previewDialogs);
        window->SetFormOrigin(row, cellText(row, 2));
        preview = window;
        showRunPosition(*window, row);
        TWindowTarget target(window);
        holder.PreviewTarget = &target;
        try {
            holder.qrVDMQ->Preview();
        } catch (...) {
            // The form failed while it was prepared: its window shows
            // nothing worth keeping.
            if (preview)
                preview->close();
            preview = nullptr;
            throw;
        }
        // Preview returns once the window has let go of the store.  A window
        // still showing it means the event loops were told to end (the
        // application is quitting): the run ends with it.
        if (preview && preview->isVisible()) {
            run.RequestStop();
            preview->close();
        }
        preview = nullptr;
    }

    // The preview window of a run: which person and row of how many forms,
    // the zoom the window before was left at, and the button that ends the
    // run (through the run's own stop, so the roster is released as at any
    // end and nothing more is reported).
    void showRunPosition(TFormTzpreview& window, int row)
    {
        if (++previewForm == 1)
            previewForms = countForms(row);
        window.SetRunPosition(cellText(row, 2), row, previewForm, previewForms);
        window.ShowStopRun(true);
        if (carriedZoom > 0)
            window.StartAtZoom(carriedZoom);
        QObject::connect(&window, &TFormTzpreview::Closing, form,
                         [this, w = &window] { carriedZoom = w->QRPreview1->Zoom(); });
        QObject::connect(&window, &TFormTzpreview::StopRunRequested, form, [this] { run.RequestStop(); });
    }

    QString cellText(int row, int col) const
    {
        try {
            return fromGb(Trim(form->Roster.CellText(row, col)));
        } catch (const std::exception&) {
            return {};
        }
    }

    // The flagged rows from `first` (the run's first form) to the run's end.
    int countForms(int first) const
    {
        const int last = std::min(Vdcs.EndRow, form->Roster.LastRow());
        int forms = 0;
        for (int r = first; r <= last; ++r) {
            try {
                forms += col::IsPrintFlag(form->Roster.CellText(r, col::PrintFlag));
            } catch (const std::exception&) {
                // The run stops at this row with its own message.
            }
        }
        return forms;
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
    bool checking = false;

    void MessageBox(const std::string& text, const std::string& detail) override
    {
        QString shown = fromGb(text);
        if (!detail.empty())
            shown += QStringLiteral("\n\n") + fromGb(detail);
        form->Dialogs().Message(form, TVdMainForm::ApplicationTitle(), shown);
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
        const auto notANumber = [&message](const QLineEdit* field) {
            return message == EConvertError(toGb(field->text())).what();
        };
        if (notANumber(form->edStart))
            return QStringLiteral("“开始打印行号”不是整数：");
        if (notANumber(form->edEnd))
            return QStringLiteral("“结束打印行号”不是整数：");
        return {};
    }

    void RunStateChanged(bool running) override
    {
        form->SetRunButtonsEnabled(!running);
        if (running) {
            closeAfterRun = false;
            previewForm = previewForms = carriedZoom = 0;
            form->installEventFilter(&closeGuard);
            return;
        }
        form->removeEventFilter(&closeGuard);
        endChecking();
        progress.reset();
        if (closeAfterRun) {
            closeAfterRun = false;
            QTimer::singleShot(0, form, [f = QPointer<TVdMainForm>(form)] {
                if (f)
                    f->close();
            });
        }
    }

    void Progress(const TRunProgress& p) override
    {
        if (mode == TRunMode::Preview)
            return;
        if (!progress && p.formsTotal > 1 && p.formsDone < p.formsTotal) {
            progress = std::make_unique<QProgressDialog>(form);
            progress->setWindowTitle(mode == TRunMode::Pdf ? QStringLiteral("导出PDF")
                                                           : QStringLiteral("Printing progress"));
            qr::FitWidthToCaption(progress.get());
            progress->setCancelButtonText(QStringLiteral("停止"));
            progress->setAutoClose(false);
            progress->setAutoReset(false);
            progress->setMinimumDuration(0);
            progress->setRange(0, p.formsTotal);
            QObject::connect(progress.get(), &QProgressDialog::canceled, form, [this] { run.RequestStop(); });
            progress->show();
            lastEvents.start();
            lastForms = -1;
        }
        if (!progress)
            return;
        if (progress->wasCanceled()) {
            run.RequestStop();
            return;
        }
        progress->setValue(p.formsDone);
        if (p.outputting)
            progress->setLabelText(ProgressLine(p.formsDone + 1, p.formsTotal, p.row));
        // Let the stop button and the window's repaint through before each
        // form, and now and then along a long range of unflagged rows.
        if (p.outputting || lastEvents.elapsed() >= 50 || p.formsDone != lastForms) {
            QCoreApplication::processEvents();
            lastEvents.restart();
            lastForms = p.formsDone;
        }
    }
};

void TVdMainForm::PrintRun(TRunMode mode)
{
    // Forms and their preview windows print through the desktop backend
    // (printer dialog, progress windows, paper and position) unless the
    // program chose another.
    if (!qr::PrintBackend())
        InstallVdPrintBackend();
    if (!PrintRunState)
        PrintRunState = std::make_shared<TPrintRunState>(this);
    // The state outlives this call even if something drops the window's
    // reference while the run dispatches events.
    std::shared_ptr<TPrintRunState> state = PrintRunState;
    if (state->run.Running()) {
        state->run.Run(mode);  // a Preview press raises the window; nothing else
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
    state->mode = mode;
    state->closedDuringRun = false;
    state->pdf.reset();
    const TRunResult result = state->run.Run(mode);

    bool written = true;
    const QString pdfFile = state->pdf ? state->pdf->FileName() : QString();
    if (state->pdf && state->pdf->Begun()) {
        try {
            state->pdf->Finish();
            RememberExportFolder(Vdcs, QFileInfo(pdfFile).absolutePath());
        } catch (const std::exception& e) {
            written = false;
            ShowError(e);
        }
    }
    state->pdf.reset();
    if (state->closedDuringRun || !written)
        return;
    TRunEnd end;
    end.mode = mode;
    end.result = result;
    end.startRow = Vdcs.StartRow;
    end.endRow = Vdcs.EndRow;
    if (mode == TRunMode::Pdf)
        end.target = pdfFile;
    else if (backend)
        end.target = backend->PrinterFor(qr::TQRPrinterSettings{});
    ReportRunEnd(*this, end);
}

}  // namespace vdmq
