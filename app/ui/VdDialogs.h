#pragma once
// File dialogs and message boxes of the main window and the print run go
// through this interface, so that tests can answer them without a display.
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace vdmq {

struct TCheckReport;
enum class TRunMode;

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // An open-file dialog.  `nameFilters` are Qt filters ("text (*.ext)"),
    // the first is selected; `selected` preselects a file.  Returns the
    // chosen file, empty when the user cancelled.
    virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QStringList& nameFilters, const QString& selected) = 0;
    // A save-file dialog, same conventions.  It never asks about an existing
    // file itself: the caller does, with Ask.
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QStringList& nameFilters, const QString& selected) = 0;
    // A plain message box with an OK button (the print run's own messages).
    virtual void Message(QWidget* parent, const QString& title, const QString& text) = 0;
    // The application's standard error box: an error that ended a button
    // action, shown with the error's own message.
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // The question before paper (app/ui/VdCheckDialog): true goes on with
    // the run.  Without a dialog of its own an implementation goes on.
    virtual bool ConfirmCheck(QWidget* /*parent*/, const TCheckReport& /*report*/, TRunMode /*mode*/) { return true; }
    // A question with buttons of its own, `buttons[defaultButton]` focused.
    // Returns the index of the button pressed; Escape and the title bar's
    // close press the last button.  -1 when no button was pressed.
    virtual int Ask(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
                    int defaultButton) = 0;
};

// The real dialogs (QFileDialog, QMessageBox).
class TQtDialogs : public TDialogs {
public:
    QString OpenFileName(QWidget* parent, const QString& title, const QString& dir, const QStringList& nameFilters,
                         const QString& selected) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QString& dir, const QStringList& nameFilters,
                         const QString& selected) override;
    void Message(QWidget* parent, const QString& title, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
    bool ConfirmCheck(QWidget* parent, const TCheckReport& report, TRunMode mode) override;  // VdCheckDialog.cpp
    int Ask(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
            int defaultButton) override;
};

// Sets up a file dialog the way TQtDialogs runs it (filters, folder,
// preselected file); open dialogs want an existing file.
void ConfigureFileDialog(QFileDialog& dialog, bool open, const QString& dir, const QStringList& nameFilters,
                         const QString& selected);

// A Qt name filter whose patterns match in any letter case, also where the
// desktop's file dialog compares case-sensitively: "*.xls" becomes
// "*.[xX][lL][sS]".  The dialogs show only the description.
QString AnyCaseFilter(const QString& description, const QStringList& patterns);

// The question before a file is replaced: 替换 or 取消.
bool AskReplace(TDialogs& dialogs, QWidget* parent, const QString& file);

}  // namespace vdmq
