#include "app/ui/VdDialogs.h"
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

namespace vdmq {

namespace {

QString runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& title,
                      const QString& dir, const QStringList& nameFilters, const QString& selected)
{
    QFileDialog dlg(parent, title, dir);
    dlg.setAcceptMode(mode);
    dlg.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dlg.selectNameFilter(nameFilters.first());
    dlg.setSizeGripEnabled(true);
    if (!selected.isEmpty())
        dlg.selectFile(selected);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().first();
}

}  // namespace

QString TQtDialogs::OpenFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QStringList& nameFilters, const QString& selected)
{
    return runFileDialog(parent, QFileDialog::AcceptOpen, title, dir, nameFilters, selected);
}

QString TQtDialogs::SaveFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QStringList& nameFilters, const QString& selected)
{
    return runFileDialog(parent, QFileDialog::AcceptSave, title, dir, nameFilters, selected);
}

void TQtDialogs::Message(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::information(parent, title, text);
}

void TQtDialogs::Error(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), text);
}

}  // namespace vdmq
