#include "app/ui/VdPreviewDialogs.h"
#include "app/core/folders.h"
#include "app/ui/VdMainUnit.h"
#include "app/ui/VdPaperPrint.h"

#include <QFileInfo>

namespace vdmq {

bool TMainPreviewDialogs::GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                          QString& fileName, int& filterIndex)
{
    const QStringList filters = filter.split(QStringLiteral(";;"));
    const QString chosen =
        form_->Dialogs().SaveFileName(parent, caption, QFileInfo(fileName).absolutePath(), filters, fileName);
    if (chosen.isEmpty())
        return false;
    fileName = chosen;
    filterIndex = 1;
    return true;
}

void TMainPreviewDialogs::ShowError(QWidget* parent, const QString& message)
{
    form_->Dialogs().Error(parent, message);
}

void TMainPreviewDialogs::ShowMessage(QWidget* parent, const QString& message)
{
    form_->Dialogs().Message(parent, TMainWindow::ApplicationTitle(), message);
}

bool TMainPreviewDialogs::ConfirmReplace(QWidget* parent, const QString& fileName)
{
    return AskReplace(form_->Dialogs(), parent, fileName);
}

QString TMainPreviewDialogs::ExportFolder() { return vdmq::ExportFolder(Vdcs); }

void TMainPreviewDialogs::ExportFolderUsed(const QString& dir) { RememberExportFolder(Vdcs, dir); }

qr::TQRPlacement TMainPreviewDialogs::ExportPlacement()
{
    // Offsets in a PDF file (PdfOffsets) are those of the default printer,
    // which the file stands in for.
    const TPaperSettings paper = LoadPaperSettings(PaperSettingsFile(), DefaultPrinterName());
    return PlacementFor(paper, paper.OffsetsInPdf);
}

}  // namespace vdmq
