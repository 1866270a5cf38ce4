#include "app/ui/VdPasswordDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace vdmq {

TPasswordDialog::TPasswordDialog(QWidget* parent, const QString& file, bool wrong) : QDialog(parent)
{
    setObjectName(QStringLiteral("PasswordDialog"));
    setWindowTitle(QStringLiteral("花名册已加密"));
    auto* layout = new QVBoxLayout(this);
    auto* text =
        new QLabel(QStringLiteral("花名册“%1”设置了打开密码。\n请输入密码：").arg(QFileInfo(file).fileName()), this);
    text->setWordWrap(true);
    text->setToolTip(file);
    edPassword = new QLineEdit(this);
    edPassword->setObjectName(QStringLiteral("edPassword"));
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setMaxLength(255);
    lbWrong = new QLabel(QStringLiteral("密码不正确，请重新输入。"), this);
    lbWrong->setObjectName(QStringLiteral("lbWrong"));
    lbWrong->setStyleSheet(QStringLiteral("color: #b22222"));
    lbWrong->setVisible(wrong);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(text);
    layout->addWidget(edPassword);
    layout->addWidget(lbWrong);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    edPassword->setFocus();
}

roster::PasswordPrompt::Answer TPasswordDialogPrompt::Ask(const std::string& path, bool wrong, roster::Password& out)
{
    // The password that opened this roster before (the pane and the print
    // run open it again and again) is tried without a question.
    auto it = remembered_.find(path);
    if (!wrong && it != remembered_.end()) {
        out = it->second.clone();
        lastFromMemory_ = true;
        return Answer::Given;
    }
    if (it != remembered_.end())
        remembered_.erase(it);
    // A remembered password that no longer fits (the roster was saved with
    // a new one) is not the user's mistake.
    const bool showWrong = wrong && !lastFromMemory_;
    lastFromMemory_ = false;
    ++dialogs_;
    TPasswordDialog dialog(parent_, QString::fromStdString(path), showWrong);
    const bool ok = dialog.exec() == QDialog::Accepted;
    QByteArray typed = dialog.edPassword->text().toUtf8();
    dialog.edPassword->clear();
    if (!ok) {
        explicit_bzero(typed.data(), static_cast<std::size_t>(typed.size()));
        return Answer::Cancelled;
    }
    out.assign(std::string_view(typed.constData(), static_cast<std::size_t>(typed.size())));
    explicit_bzero(typed.data(), static_cast<std::size_t>(typed.size()));
    return Answer::Given;
}

void TPasswordDialogPrompt::Opened(const std::string& path, const roster::Password& password)
{
    remembered_[path] = password.clone();
    if (OnOpened)
        OnOpened(path);
}

}  // namespace vdmq
