#include "app/batch/formoutput.h"

#include "app/batch/jsonline.h"
#include "app/core/batchpassword.h"
#include "form/VdCalibration.h"
#include "form/VdPrnUnit.h"
#include "platform/gbtext.h"
#include "report/ui/printbackend.h"

namespace vdmq::batch {

void FormOutput::OutputForm(TApprovalForm& form, TRunMode /*mode*/, int row)
{
    try {
        outputForm(form, row);
    } catch (const qr::EInOutError&) {
        // The output file cannot be written (a full disk, a size
        // limit): no later row can do better, --keep-going or not.
        if (run)
            run->Stop();
        throw;
    }
}

void FormOutput::outputForm(TApprovalForm& form, int row)
{
    switch (opt_.output) {
    case Output::Fields: {
        // The captions as the filler sets them; a preparation would
        // call it twice for the same texts.
        bool more = true;
        form.FillRow(*form.Report, more);
        writeFields(form, row);
        break;
    }
    case Output::Pdf:
        if (!pdf_)
            pdf_ = std::make_unique<TRunPdf>(opt_.target, placement);
        pdf_->Add(form);
        break;
    case Output::Text: {
        // The preview window's export: a preparation through the filter,
        // each one adding its page to the file.
        if (!text_) {
            text_ = std::make_unique<qr::TQRAsciiExportFilter>(opt_.target);
            text_->HoldUntilCommit();  // one file for the whole run, put in place at its end
        }
        qr::TQRPrinter scratch(form.Report);
        form.Report->Prepare(scratch, text_.get());
        break;
    }
    case Output::Printer: printForm(form, row); break;
    case Output::None:
    case Output::Check:  // checked rows are never output
        break;
    }
}

// {"row": 7, "captions": {"l_xm": "...", ...}}: every data label, in the
// form's order, as it would print.
void FormOutput::writeFields(const TApprovalForm& form, int row)
{
    JsonLine captions;
    for (const std::string& name : DataLabelNames()) {
        const qr::TQRLabel* label = form.Label(name);
        captions.Add(QString::fromStdString(name), label ? label->Caption : QString());
    }
    const QByteArray line = JsonLine().Add(QStringLiteral("row"), row).Add(QStringLiteral("captions"), captions).Text();
    if (!Out().Put(line + '\n') && run)
        run->Stop();  // nothing more can reach the reader
}

void FormOutput::printForm(TApprovalForm& form, int row)
{
    if (!paperChecked_) {
        paperChecked_ = true;
        warnPaper();
    }
    form.Report->ShowProgress = false;
    form.Report->PrinterSettings.PrinterName = QString::fromStdString(printerName);
    form.Report->PrinterSettings.Placement = placement;
    // The job is named after the roster row, as the queue shows it.
    form.Report->ReportTitle = QStringLiteral("%1 第%2行").arg(rosterName).arg(row);
    form.Report->Print();
}

// Before the first page goes to the printer: what of the form it will
// not print.
void FormOutput::warnPaper()
{
    const QString printer = QString::fromStdString(printerName);
    const QString text =
        PaperWarning(printer, qr::PrinterPaperSupport(printer, placement.SheetMm), paper, FormLayoutPage(), true);
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
        Say("警告：" + line);
}

void FormOutput::OutputCalibration()
{
    const qr::QRPageImage page = CalibrationPage(CalibrationSheetFor(paper));
    if (opt_.output == Output::Pdf) {
        qr::TQRPdfWriter writer(opt_.target, QStringLiteral("审批表打印位置校准页"));
        writer.AddPage(page, placement);
        writer.Finish();
        return;
    }
    warnPaper();
    qr::TQRPrinter store;
    store.AddPage(page);
    store.SetStatus(qr::mpFinished);
    store.Title = QStringLiteral("vdmq 校准页");
    qr::TQRPrinterSettings settings;
    settings.PrinterName = QString::fromStdString(printerName);
    settings.Placement = placement;
    qr::PrintBackend()->PrintPages(store, settings);
}

void FormOutput::FinishFile(bool complete)
{
    if (pdf_ && complete)
        pdf_->Finish();
    else if (pdf_)
        pdf_->Discard();
    if (text_ && complete)
        text_->Commit();
    else if (text_)
        text_->Discard();
    text_.reset();
}

void FormOutput::MessageBox(const std::string& textGb, const std::string& detailGb)
{
    // A roster that no password opened: that is what the user must
    // hear, not the run's "choose a roster".
    if (passwords && !passwords->Failure().empty() && textGb == MsgChooseRoster()) {
        Say(QString::fromStdString(passwords->Failure()));
        return;
    }
    QString text = fromGb(textGb);
    if (!detailGb.empty())
        text += u' ' + fromGb(detailGb);
    Say(text);
}

void FormOutput::ShowError(const std::string& messageGb, int row)
{
    Say(row > 0 ? QStringLiteral("第 %1 行：").arg(row) + fromGb(messageGb) : fromGb(messageGb));
}

bool FormOutput::RowFailed(int row, const std::string& messageGb)
{
    if (!opt_.keepGoing)
        return false;
    ShowError(messageGb, row);
    return true;
}

}  // namespace vdmq::batch
