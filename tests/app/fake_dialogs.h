#pragma once
// Scripted answers for the main window's dialogs, so tests run without a
// display: open dialogs return `answers` in turn (none left = cancel), and
// message and error boxes are recorded.
#include "app/ui/VdDialogs.h"

#include <QStringList>

struct FakeDialogs : vdmq::TDialogs {
    QStringList answers;
    int opens = 0;
    QString title, dir;
    QStringList filters, messages, errors;
    QString OpenFileName(QWidget*, const QString& t, const QString& d, const QStringList& f,
                         const QString&) override
    {
        ++opens;
        title = t, dir = d, filters = f;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QStringList&,
                         const QString&) override { return {}; }
    void Message(QWidget*, const QString&, const QString& text) override { messages << text; }
    void Error(QWidget*, const QString& text) override { errors << text; }
};
