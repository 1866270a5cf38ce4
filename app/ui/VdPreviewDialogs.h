#pragma once
// The preview windows of the main window's runs ask through the main
// window's dialogs: the same error box (titled with the application's
// title), the same file dialogs and replace question, and the export folder
// kept in the settings file, and the paper chosen in 纸张 for PDF files.
#include "preview/TzPreview.h"

namespace vdmq {

class TMainWindow;

class TMainPreviewDialogs : public TPreviewDialogs {
public:
    explicit TMainPreviewDialogs(TMainWindow* form) : form_(form) {}
    bool GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter, QString& fileName,
                         int& filterIndex) override;
    void ShowError(QWidget* parent, const QString& message) override;
    void ShowMessage(QWidget* parent, const QString& message) override;
    bool ConfirmReplace(QWidget* parent, const QString& fileName) override;
    QString ExportFolder() override;
    void ExportFolderUsed(const QString& dir) override;
    // The remembered paper, as 导出PDF and the printer dialog's PDF use it.
    qr::TQRPlacement ExportPlacement() override;

private:
    TMainWindow* form_;
};

}  // namespace vdmq
