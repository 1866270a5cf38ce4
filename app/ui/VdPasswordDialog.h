#pragma once
// The password of an encrypted roster: a small dialog that asks for it
// (masked, "密码不正确" after a wrong one, cancel ends the open quietly), and
// the prompt the roster pane and the print run share.  The prompt keeps the
// password that opened each roster for this run of the program only, in
// locked memory that is left out of core dumps; it is never written
// anywhere.
#include "platform/roster.h"
#include <QDialog>
#include <QPointer>
#include <functional>
#include <map>
#include <string>

class QLabel;
class QLineEdit;

namespace vdmq {

class TPasswordDialog : public QDialog {
    Q_OBJECT
public:
    TPasswordDialog(QWidget* parent, const QString& file, bool wrong);
    QLineEdit* edPassword = nullptr;
    QLabel* lbWrong = nullptr;
};

class TPasswordDialogPrompt : public roster::PasswordPrompt {
public:
    explicit TPasswordDialogPrompt(QWidget* parent) : parent_(parent) {}
    Answer Ask(const std::string& path, bool wrong, roster::Password& out) override;
    void Opened(const std::string& path, const roster::Password& password) override;
    // Forgets every remembered password.
    void Forget() { remembered_.clear(); }
    // Told of every roster (UTF-8 path) opened with a password, wherever it
    // was asked for.
    std::function<void(const std::string& path)> OnOpened;
    int DialogsShown() const { return dialogs_; }

private:
    QPointer<QWidget> parent_;
    std::map<std::string, roster::Password> remembered_;
    bool lastFromMemory_ = false;
    int dialogs_ = 0;
};

}  // namespace vdmq
