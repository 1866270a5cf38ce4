#pragma once
// The main window: the roster pane above, the help pane below it, and the
// bottom panel with the usage notes, the values printed on every form, the
// row range and the buttons.
#include "app/core/settings.h"
#include "app/ui/VdDialogs.h"
#include "platform/rowsource.h"
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <functional>
#include <memory>

namespace vdmq {

class TRosterPane;
class TSplitterBar;
// Whatever a print run keeps between runs; defined by the print run.
struct TPrintRunState;
enum class TRunMode;

// The roster open dialog: its settings and the file it holds afterwards
// (the file chosen last in this run of the program, empty before).
struct TOpenDialog {
    QString Title;
    QStringList Filters;  // Qt name filters; the first is preselected
    QString InitialDir;
    QString FileName;
};

class TVdMainForm : public QMainWindow {
    Q_OBJECT
public:
    // `appDir` is the folder the settings file and the usage notes are
    // looked for in; empty means the folder of the program file.  Null
    // `dialogs` means the real dialogs.  Loads the settings (FormCreate).
    explicit TVdMainForm(const QString& appDir = QString(), std::shared_ptr<TDialogs> dialogs = nullptr,
                         QWidget* parent = nullptr);
    ~TVdMainForm() override;

    // Fixed texts.
    static QString WindowCaption();     // "工资变动审批表打印"
    static QString ApplicationTitle();  // "审批表打印"
    static QString NotesFileName();     // "使用说明.txt"
    static QString HelpPageUrl();       // the help page shipped with the program

    // ---- controls -------------------------------------------------------
    QWidget* Panel1 = nullptr;  // bottom, 118 high
    QWidget* Panel2 = nullptr;  // roster pane, splitter, help pane
    QWidget* Panel3 = nullptr;  // entry fields, 656 wide
    QLabel* Panel4 = nullptr;   // the notice bar
    TRosterPane* VdBrowser = nullptr;
    TSplitterBar* Splitter1 = nullptr;
    QTextBrowser* kqBrowser = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* btnHelp = nullptr;

    QLineEdit* edFile = nullptr;
    QLineEdit* edArea = nullptr;
    QLineEdit* edStart = nullptr;
    QDateEdit* dtPrint = nullptr;
    QLineEdit* edWidth = nullptr;
    QLineEdit* edEnd = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnRead = nullptr;
    QPushButton* btnPre = nullptr;
    QPushButton* btnPrn = nullptr;
    QPushButton* btnPaper = nullptr;  // paper, position and calibration (VdPaperDialog)
    QPushButton* btnExit = nullptr;
    QPushButton* btnPdf = nullptr;  // "导出PDF": the selected rows into one PDF file

    TOpenDialog DlgOpen;

    // ---- what a print run uses ------------------------------------------
    // The roster as the run reads it: open from the run's start to its end.
    TRosterRows Roster;
    // Asks for the password of an encrypted roster; shared by the roster
    // pane and the print run, so it is asked once per roster.
    std::unique_ptr<roster::PasswordPrompt> Passwords;
    int CurRow = 0;  // the roster row being prepared
    std::shared_ptr<TPrintRunState> PrintRunState;

    // Starts a run that goes on from the event loop: a preview window per
    // form, or a form per turn of the loop.  During a run only Preview does
    // something: it brings the form shown to the front.
    void PrintRun(TRunMode mode);
    // From the start of a run to its end.
    bool RunActive() const;

    TDialogs& Dialogs() const { return *dialogs_; }
    void SetDialogs(std::shared_ptr<TDialogs> dialogs);
    // Print, Paper, Read and Clear, which a running print run blocks.
    void SetRunButtonsEnabled(bool enabled);
    // Shows an error that ended a button action in the standard error box.
    // The error's own text, after a Chinese line that says where it came
    // from (which field, which row); the text itself is never replaced.
    void ShowError(const QString& context, const std::exception& e);
    void ShowError(const std::exception& e);
    void ShowError(const QString& message);

    // The entry fields as the settings see them (GB18030 texts), and back.
    TEntryFields EntryFields() const;
    void SetEntryFields(const TEntryFields& fields);

    QString AppDir() const { return appDir_; }

    // What "退出" does after a successful save; by default it ends the
    // application's message loop.  Tests replace it.
    std::function<void()> QuitApplication;
    // Saves the entries as "退出" does; false (and the error shown) when the
    // settings file refused them.
    bool SaveEntries();
    // Whether an entry differs from what was loaded (or last saved).
    bool EntriesChanged() const;

    // ---- the window's own operations --------------------------------------
    // Blank pane, dialog in AppDir, record the choice.  Returns false when
    // the dialog was cancelled (the roster path is kept as it was).  A
    // choice that cannot be recorded (read-only settings folder) is said in
    // the error box and taken for this run all the same.
    bool ChooseRoster();
    // Asks for a roster when the recorded one is missing, then shows it.
    void ShowRoster();

    // ---- events ---------------------------------------------------------
    void FormCreate();
    void FormShow();
    void btnReadClick();
    void btnClearClick();
    void btnPreClick();
    void btnPrnClick();
    void btnPaperClick();
    void btnExitClick();
    void btnPdfClick();
    void FormClose();
    // A request from the roster pane for a new window: opened in the pane.
    void VdBrowserNewWindow2(const QUrl& url);
    void btnHelpClick();
    // The shared digit filter of edStart, edEnd and edWidth: true when the
    // typed character passes (0-9 and Backspace).
    static bool edStartKeyPress(QChar key);

    // The help pane's height as the window sets it (0, or HelpPaneOpenHeight
    // when shown; the splitter bar can change it while shown).
    int HelpPaneHeight() const;
    // The height the help pane opens at: readable, from the window's size.
    int HelpPaneOpenHeight() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A close during a run: the run ends now (its window closed, the
    // roster let go, nothing said) and the window closes after it.
    void EndRunBeforeClose();
    void buildControls();
    void buildRosterPanel(QWidget* central, QVBoxLayout* outer);
    void buildBottomPanel(QWidget* central, QVBoxLayout* outer);
    void buildNoticeBar();
    void buildEntryPanel();
    void buildShortcuts();
    // Ctrl+V and Shift+Insert in a number field: the clipboard's text goes
    // in only when it is a whole number.
    void pasteDigits(QLineEdit* edit);
    void loadNotes();
    void setHelpPaneHeight(int height);
    void helpLinkClicked(const QUrl& url);
    template <class F>
    void guarded(F&& action);

    QString appDir_;
    std::shared_ptr<TDialogs> dialogs_;
    bool shown_ = false;
    TEntryFields loadedFields_;  // as loaded or last saved
};

}  // namespace vdmq
