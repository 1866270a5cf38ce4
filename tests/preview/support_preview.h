#pragma once
// Hand-built page stores and scripted dialogs for the preview tests.
#include "preview/TzPreview.h"
#include "report/core/qr.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace previewtest {

// Paper sizes in tenths of a millimetre.
constexpr double kA4Width = 2100, kA4Length = 2970;
constexpr double kB5Width = 1820, kB5Length = 2570;

// A page with a frame and one line of text.
qr::QRPageImage MakePage(double width, double length, const QString& text = QStringLiteral("page"));

// A store holding `pages` A4 pages; their notices are delivered by Pump().
std::shared_ptr<qr::TQRPrinter> MakeStore(int pages, qr::TCustomQuickRep* report = nullptr);

// Delivers the queued page notices.
void Pump();

// Answers the save dialog with a scripted name and records error boxes.
class FakeDialogs : public TPreviewDialogs {
public:
    bool confirm = true;
    QString answer;  // the name the "user" enters; empty keeps the one offered
    int answerFilter = 1;
    int saveDialogs = 0;
    QString lastFilter;
    QString offered;  // the folder and name the last dialog started with
    std::vector<QString> errors, messages;
    std::vector<bool> replaceAnswers;  // in turn; none left: do not replace
    std::vector<QString> replaceQuestions;
    int maxDialogs = 20;  // later dialogs are cancelled

    bool GetSaveFileName(QWidget*, const QString&, const QString& filter, QString& fileName, int& filterIndex) override;
    void ShowError(QWidget*, const QString& message) override { errors.push_back(message); }
    void ShowMessage(QWidget*, const QString& message) override { messages.push_back(message); }
    bool ConfirmReplace(QWidget*, const QString& fileName) override;
    QString folder;  // where the export dialogs start; empty: the window's default
    QString ExportFolder() override { return folder.isEmpty() ? TPreviewDialogs::ExportFolder() : folder; }
};

// The page label's text.
QString Label(const TPreviewWindow& form);
// First, Prior, Next, Last enabled, as "1101".
std::string Moves(const TPreviewWindow& form);

}  // namespace previewtest
