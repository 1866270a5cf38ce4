#pragma once
// Scripted answers for the main window's dialogs, so tests run without a
// display: open and save dialogs return `answers` / `saveAnswers` in turn
// (none left = cancel), questions return `choices` in turn (none left = no
// button), and message and error boxes are recorded.
#include "app/ui/VdDialogs.h"

#include <QStringList>
#include <vector>

struct FakeDialogs : vdmq::TDialogs {
    struct Question {
        QString title, text;
        QStringList buttons;
        int defaultButton;
    };
    QStringList answers, saveAnswers;
    std::vector<int> choices;
    int opens = 0, saves = 0;
    QString title, dir, saveTitle, saveDir, saveSelected;
    QStringList filters, saveFilters, messages, errors;
    std::vector<Question> questions;
    QString OpenFileName(QWidget*, const QString& t, const QString& d, const QStringList& f, const QString&) override
    {
        ++opens;
        title = t, dir = d, filters = f;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QString SaveFileName(QWidget*, const QString& t, const QString& d, const QStringList& f,
                         const QString& selected) override
    {
        ++saves;
        saveTitle = t, saveDir = d, saveFilters = f, saveSelected = selected;
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    void Message(QWidget*, const QString&, const QString& text) override { messages << text; }
    void Error(QWidget*, const QString& text) override { errors << text; }
    int Ask(QWidget*, const QString& t, const QString& text, const QStringList& buttons, int defaultButton) override
    {
        questions.push_back({t, text, buttons, defaultButton});
        if (choices.empty())
            return -1;
        const int c = choices.front();
        choices.erase(choices.begin());
        return c;
    }
};
