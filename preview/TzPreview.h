#pragma once
// The preview window: shows the pages of one page store at a time in the
// engine's preview control, pages and zooms through them, prints them,
// opens the printer dialog and exports them to a plain-text file.
//
// The window keeps no data of its own: the page number and the zoom live in
// the preview control, the page count in the attached store.
#include "report/ui/qrpreview.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QString>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

class QCloseEvent;

// The dialogs the window runs, behind an interface so that tests can answer
// them without a display.
class TPreviewDialogs {
public:
    virtual ~TPreviewDialogs() = default;
    // A save dialog.  `filter` is in Qt's form ("Text (*.TXT);;All (*)"),
    // `filterIndex` 1-based in and out; `fileName` comes in as the folder
    // and name to start with.  Returns false when cancelled.  The dialog
    // itself never questions an existing file: the window asks with
    // ConfirmReplace.
    virtual bool GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter, QString& fileName,
                                 int& filterIndex) = 0;
    // An error box with the error's own message.
    virtual void ShowError(QWidget* parent, const QString& message) = 0;
    // A message that needs only OK (a button that cannot do its work says
    // why).
    virtual void ShowMessage(QWidget* parent, const QString& message) = 0;
    // Asked before an export replaces an existing file; true replaces it.
    virtual bool ConfirmReplace(QWidget* parent, const QString& fileName) = 0;
    // Where the export dialogs start: the folder last exported to in this
    // run of the program, else the documents folder, else home.
    virtual QString ExportFolder();
    // An export into `dir` went through.
    virtual void ExportFolderUsed(const QString& dir);
    // The sheet a PDF export puts each page on; by default the page's own paper.
    virtual qr::TQRPlacement ExportPlacement() { return {}; }
};

// Qt's file dialog and message boxes, titled with the application's name.
class TQtPreviewDialogs : public TPreviewDialogs {
public:
    bool GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter, QString& fileName,
                         int& filterIndex) override;
    void ShowError(QWidget* parent, const QString& message) override;
    void ShowMessage(QWidget* parent, const QString& message) override;
    bool ConfirmReplace(QWidget* parent, const QString& fileName) override;
};

// The save dialog component: a filter in "description|pattern|..." form,
// a default extension added to a name typed without one.
class TSaveDialog {
public:
    QString Filter;      // "文本文件(*.TXT)|*.TXT"
    QString DefaultExt;  // without the dot
    QString Title;
    QString FileName;     // the chosen file, after Execute
    int FilterIndex = 1;  // 1-based
    bool OverwritePrompt = false;

    // True when the user confirmed; FileName then carries the default
    // extension when the name had none.
    bool Execute(TPreviewDialogs& dialogs, QWidget* parent);

    // "desc|pat|desc|pat" -> Qt's "desc (pat);;desc (pat)".  A description
    // that already ends in its pattern in parentheses is kept as it is.
    static QString QtFilter(const QString& filter);
    // `name` with ".ext" added when its last part has no extension.
    static QString WithDefaultExt(const QString& name, const QString& ext);
};

class TPreviewWindow : public QWidget {
    Q_OBJECT
public:
    // `dialogs`: not owned; nullptr uses Qt's dialogs.
    explicit TPreviewWindow(QWidget* parent = nullptr, TPreviewDialogs* dialogs = nullptr);
    ~TPreviewWindow() override;

    void setDialogs(TPreviewDialogs* dialogs);

    // Tool bar and its four groups.
    QFrame* ToolBar;
    QFrame* ZoomButtons;
    QFrame* ZoomGroup;
    QLabel* ZoomCaption;
    QSpinBox* ZoomBox;
    QFrame* PageGroup;
    QLabel* PageLabel;
    QFrame* OutputButtons;
    QToolButton* FitButton;
    QToolButton* ActualSizeButton;
    QToolButton* PageWidthButton;
    QToolButton* FirstPageButton;
    QToolButton* PriorPageButton;
    QToolButton* NextPageButton;
    QToolButton* LastPageButton;
    QToolButton* PrintButton;
    QToolButton* PrintSetupButton;
    QToolButton* SaveButton;
    QToolButton* CloseButton;
    QToolButton* PdfButton;  // hint "导出PDF"
    qr::TQRPreview* PageView;
    TSaveDialog TextSaveDialog;
    TSaveDialog PdfSaveDialog;  // "PDF文件(*.pdf)|*.pdf"

    // The roster row and the person the shown form is for; the export
    // dialogs suggest a file name made of them.
    void SetFormOrigin(int row, const QString& personName);
    // "第7行_李明远.TXT" for extension "TXT"; "审批表.TXT" while no row is
    // known.  Characters no file name may hold are left out of the name.
    QString SuggestedFileName(const QString& extension) const;

    // Event handlers, one per control event.
    void PageViewPageAvailable(int pageNum);
    void FitButtonClick();
    void ActualSizeButtonClick();
    void PageWidthButtonClick();
    void FirstPageButtonClick();
    void PriorPageButtonClick();
    void NextPageButtonClick();
    void LastPageButtonClick();
    void PrintButtonClick();
    void PrintSetupButtonClick();
    void SaveButtonClick();
    void CloseButtonClick();
    // Writes the shown pages to a PDF file with the writer vdmq-print --pdf uses.
    void PdfButtonClick();
    void ZoomBoxChange();

    // ---- within a preview run of the main window --------------------------
    // A lone window (no run) shows none of this.
    //
    // Names the form shown, in the title and at the right of the tool bar:
    // "李明远 — 第 7 行，第 2 张/共 7 张".  `person` may be empty; `forms` 0
    // leaves the count out.
    void SetRunPosition(const QString& person, int row, int form, int forms);
    QString RunPosition() const;
    // Shows the 结束预览 button (Shift+Esc): it asks the run to stop and
    // closes the window, so no further row is shown.
    void ShowStopRun(bool shown);
    // The zoom a run carries from one form's window to the next: applied as
    // if chosen in the zoom box.
    void StartAtZoom(int zoom);
    void ButtonStopRunClick();
    QFrame* PanelRun = nullptr;
    QLabel* LabelRunPosition = nullptr;
    QPushButton* ButtonStopRun = nullptr;

signals:
    // The user asked to end the preview run (before the window closes).
    void StopRunRequested();
    // The window is closing: its zoom is still there to read.
    void Closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolBar();
    void buildShortcuts();
    void buildRunControls();
    void UpdatePageLabel();
    bool HasPages() const;
    void SetPageButtons(std::optional<bool> back, std::optional<bool> forward);
    void SetZoomBox(int zoom);
    // Runs a store action; a failure is shown in the error box and ends the
    // action, as every failure of a button does.
    template <class F>
    void Guarded(F&& action);
    // Whether there is a printer to act on; when there is none the user is
    // told so, `what` naming the button.
    bool PrinterThere(const QString& what);
    // Runs `dialog` from the export folder with the suggested name until
    // the user picks a new file or agrees to replace one; false on cancel.
    // The roster and the settings file are refused with the reason.
    bool ChooseExportFile(TSaveDialog& dialog, QString& fileName);
    void ShowExportError(const std::exception& e, const QString& fileName);

    TPreviewDialogs* dialogs_;
    QString caption_;    // the window's caption without the run position
    bool busy_ = false;  // a print, set-up or export is running
    std::unique_ptr<TQtPreviewDialogs> ownDialogs_;
    int originRow_ = 0;
    QString originName_;
};
