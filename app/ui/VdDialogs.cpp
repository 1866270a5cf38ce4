#include "app/ui/VdDialogs.h"
#include "app/ui/VdMainUnit.h"
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace vdmq {

void ConfigureFileDialog(QFileDialog& dlg, bool open, const QString& dir, const QStringList& nameFilters,
                         const QString& selected)
{
    dlg.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The any-case patterns are long; the description says the same.
    dlg.setOption(QFileDialog::HideNameFilterDetails, true);
    // Replacing a file is asked about by the caller, in its own words.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!dir.isEmpty())
        dlg.setDirectory(dir);
    dlg.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dlg.selectNameFilter(nameFilters.first());
    dlg.setSizeGripEnabled(true);
    if (!selected.isEmpty())
        dlg.selectFile(selected);
}

namespace {

QString runFileDialog(QWidget* parent, bool open, const QString& title, const QString& dir,
                      const QStringList& nameFilters, const QString& selected)
{
    QFileDialog dlg(parent, title, dir);
    ConfigureFileDialog(dlg, open, dir, nameFilters, selected);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().first();
}

}  // namespace

QString AnyCaseFilter(const QString& description, const QStringList& patterns)
{
    QStringList out;
    for (const QString& pattern : patterns) {
        QString p;
        for (QChar c : pattern) {
            if (c.isLetter() && c.toLower() != c.toUpper())
                p += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
            else
                p += c;
        }
        out << p;
    }
    return description + QStringLiteral(" (") + out.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString TQtDialogs::OpenFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QStringList& nameFilters, const QString& selected)
{
    return runFileDialog(parent, true, title, dir, nameFilters, selected);
}

QString TQtDialogs::SaveFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QStringList& nameFilters, const QString& selected)
{
    return runFileDialog(parent, false, title, dir, nameFilters, selected);
}

void TQtDialogs::Message(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::information(parent, title, text);
}

void TQtDialogs::Error(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, TMainWindow::ApplicationTitle(), text);
}

int TQtDialogs::Ask(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
                    int defaultButton)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QList<QPushButton*> pushed;
    for (int i = 0; i < buttons.size(); ++i) {
        // The last button is the one Escape and the title bar's close press.
        const auto role = i == 0                    ? QMessageBox::AcceptRole
                          : i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                    : QMessageBox::ActionRole;
        pushed << box.addButton(buttons[i], role);
    }
    if (defaultButton >= 0 && defaultButton < pushed.size())
        box.setDefaultButton(pushed[defaultButton]);
    if (!pushed.isEmpty())
        box.setEscapeButton(pushed.last());
    box.exec();
    return int(pushed.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
}

bool AskReplace(TDialogs& dialogs, QWidget* parent, const QString& file)
{
    const QString text = QStringLiteral("这个文件已经存在：\n%1\n\n要替换它吗？替换后，原文件的内容将丢失。")
                             .arg(QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()));
    return dialogs.Ask(parent, TMainWindow::ApplicationTitle(), text, {QStringLiteral("替换"), QStringLiteral("取消")},
                       1) == 0;
}

}  // namespace vdmq
