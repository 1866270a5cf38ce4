#pragma once
// File dialogs and message boxes of the main window and the print run go
// through this interface, so that tests can answer them without a display.
#include <QString>
#include <QStringList>

class QWidget;

namespace vdmq {

struct TCheckReport;

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // An open-file dialog.  `nameFilters` are Qt filters ("text (*.ext)"),
    // the first is selected; `selected` preselects a file.  Returns the
    // chosen file, empty when the user cancelled.
    virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QStringList& nameFilters, const QString& selected) = 0;
    // A save-file dialog, same conventions.
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QStringList& nameFilters, const QString& selected) = 0;
    // A plain message box with an OK button (the print run's own messages).
    virtual void Message(QWidget* parent, const QString& title, const QString& text) = 0;
    // The application's standard error box: an error that ended a button
    // action, shown with the error's own message.
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // The question before paper (app/ui/VdCheckDialog): true goes on with
    // the run.  Without a dialog of its own an implementation goes on.
    virtual bool ConfirmCheck(QWidget* /*parent*/, const TCheckReport& /*report*/, int /*mode*/) { return true; }
};

// The real dialogs (QFileDialog, QMessageBox).
class TQtDialogs : public TDialogs {
public:
    QString OpenFileName(QWidget* parent, const QString& title, const QString& dir,
                         const QStringList& nameFilters, const QString& selected) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QString& dir,
                         const QStringList& nameFilters, const QString& selected) override;
    void Message(QWidget* parent, const QString& title, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
    bool ConfirmCheck(QWidget* parent, const TCheckReport& report, int mode) override;   // VdCheckDialog.cpp
};

}  // namespace vdmq
