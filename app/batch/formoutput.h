#pragma once
// Where vdmq-print's forms go: one JSON line of captions each (--fields),
// one PDF (--pdf), the text export (--text) or a printer (--printer), and
// the calibration page.  The run's messages go to standard error.
#include "app/batch/messages.h"
#include "app/batch/options.h"
#include "app/core/paper.h"
#include "app/core/printrun.h"
#include "app/core/runpdf.h"
#include "report/core/qr.h"

#include <memory>
#include <string>

namespace vdmq {
class TBatchPasswordPrompt;
}

namespace vdmq::batch {

class FormOutput : public TPrintRunHost {
public:
    explicit FormOutput(const Options& options) : opt_(options) {}

    // Set before the run.
    TRunEntries entries;
    std::string width;        // the opinion width field's text (GB18030)
    std::string printerName;  // --printer: the queue found
    TPaperSettings paper;
    qr::TQRPlacement placement;
    QString rosterName;  // names the print jobs
    const TBatchPasswordPrompt* passwords = nullptr;
    TPrintRun* run = nullptr;

    TRunEntries ReadEntries() override { return entries; }
    // The check measures on the paper and offsets a --pdf run would use.
    TCheckSheet CheckSheet(TRunMode /*mode*/) override { return CheckSheetFor(paper, true); }
    QString OpinionWidthText() override { return fromGb(width); }
    void OutputForm(TApprovalForm& form, TRunMode mode, int row) override;
    void MessageBox(const std::string& textGb, const std::string& detailGb) override;
    void ShowError(const std::string& messageGb, int row) override;
    bool RowFailed(int row, const std::string& messageGb) override;
    void Progress(const TRunProgress& p) override { progress_.Show(p.row, p.rowsDone, p.rowsTotal, p.formsDone); }

    // The calibration page to the PDF file or the printer.
    void OutputCalibration();
    // Whether the run began an output file.
    bool HasFile() const { return pdf_ || text_; }
    // After the run: the output file put in place when `complete`, else
    // dropped (a file that was there before stays).  Throws what writing
    // it throws.
    void FinishFile(bool complete);

private:
    void outputForm(TApprovalForm& form, int row);
    void writeFields(const TApprovalForm& form, int row);
    void printForm(TApprovalForm& form, int row);
    void warnPaper();

    const Options& opt_;
    bool paperChecked_ = false;
    std::unique_ptr<TRunPdf> pdf_;
    std::unique_ptr<qr::TQRAsciiExportFilter> text_;
    ProgressLine progress_;
};

}  // namespace vdmq::batch
