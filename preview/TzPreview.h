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
#include <string>

class QCloseEvent;

// The dialogs the window runs, behind an interface so that tests can answer
// them without a display.
class TPreviewDialogs {
public:
    virtual ~TPreviewDialogs() = default;
    // A save dialog.  `filter` is in Qt's form ("Text (*.TXT);;All (*)"),
    // `filterIndex` 1-based in and out.  Returns false when cancelled; an
    // existing file is never questioned.
    virtual bool GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                 QString& fileName, int& filterIndex) = 0;
    // An error box with the error's own message.
    virtual void ShowError(QWidget* parent, const QString& message) = 0;
};

// Qt's file dialog and message box.
class TQtPreviewDialogs : public TPreviewDialogs {
public:
    bool GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                         QString& fileName, int& filterIndex) override;
    void ShowError(QWidget* parent, const QString& message) override;
};

// The save dialog component: a filter in "description|pattern|..." form,
// a default extension added to a name typed without one.
class TSaveDialog {
public:
    std::string Filter;        // GB18030, "文本文件(*.TXT)|*.TXT"
    std::string DefaultExt;    // without the dot
    std::string Title;
    QString FileName;          // the chosen file, after Execute
    int FilterIndex = 1;       // 1-based
    bool OverwritePrompt = false;

    // True when the user confirmed; FileName then carries the default
    // extension when the name had none.
    bool Execute(TPreviewDialogs& dialogs, QWidget* parent);

    // "desc|pat|desc|pat" -> Qt's "desc (pat);;desc (pat)".  A description
    // that already ends in its pattern in parentheses is kept as it is.
    static QString QtFilter(const std::string& filter);
    // `name` with ".ext" added when its last part has no extension.
    static QString WithDefaultExt(const QString& name, const QString& ext);
};

class TFormTzpreview : public QWidget {
    Q_OBJECT
public:
    // `dialogs`: not owned; nullptr uses Qt's dialogs.
    explicit TFormTzpreview(QWidget* parent = nullptr, TPreviewDialogs* dialogs = nullptr);
    ~TFormTzpreview() override;

    void setDialogs(TPreviewDialogs* dialogs);

    // Tool bar and its four groups.
    QFrame* PanelToolBar;
    QFrame* Panel2;
    QFrame* Panel1;
    QLabel* Panel3;
    QSpinBox* SpinEdit2;
    QFrame* PanelPageid;
    QLabel* PanelPage;
    QFrame* Panel5;
    QToolButton* SpeedButtonFit;
    QToolButton* SpeedButtonSame;
    QToolButton* SpeedButtonWidth;
    QToolButton* SpeedButtonFirst;
    QToolButton* SpeedButtonPrior;
    QToolButton* SpeedButtonNext;
    QToolButton* SpeedButtonLast;
    QToolButton* SpeedButtonPrint;
    QToolButton* SpeedButtonPrintSetup;
    QToolButton* SpeedButtonSave;
    QToolButton* SpeedButtonClose;
    qr::TQRPreview* QRPreview1;
    TSaveDialog SaveDialog1;

    // Event handlers, one per control event.
    void QRPreview1PageAvailable(int pageNum);
    void SpeedButtonFitClick();
    void SpeedButtonSameClick();
    void SpeedButtonWidthClick();
    void SpeedButtonFirstClick();
    void SpeedButtonPriorClick();
    void SpeedButtonNextClick();
    void SpeedButtonLastClick();
    void SpeedButtonPrintClick();
    void SpeedButtonPrintSetupClick();
    void SpeedButtonSaveClick();
    void SpeedButtonCloseClick();
    void SpinEdit2Change();

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
    void SetZoomBox(int zoom);
    // Runs a store action; a failure is shown in the error box and ends the
    // action, as every failure of a button does.
    template <class F> void Guarded(F&& action);

    TPreviewDialogs* dialogs_;
    QString caption_;     // the window's caption without the run position
    bool busy_ = false;   // a print, set-up or export is running
    std::unique_ptr<TQtPreviewDialogs> ownDialogs_;
};
