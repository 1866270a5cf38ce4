#include "support_preview.h"

#include "platform/gbtext.h"

#include <QCoreApplication>

namespace previewtest {

qr::QRPageImage MakePage(double width, double length, const QString& text)
{
    qr::QRPageImage page;
    page.width = width;
    page.length = length;
    qr::QRItem frame;
    frame.kind = qr::QRItem::Rect;
    frame.rect = QRectF(100, 100, width - 200, length - 200);
    page.items.push_back(frame);
    qr::QRItem line;
    line.kind = qr::QRItem::Text;
    line.rect = QRectF(200, 200, 800, 50);
    line.text = text;
    page.items.push_back(line);
    return page;
}

std::shared_ptr<qr::TQRPrinter> MakeStore(int pages, qr::TCustomQuickRep* report)
{
    auto store = std::make_shared<qr::TQRPrinter>(report);
    for (int i = 1; i <= pages; ++i)
        store->AddPage(MakePage(kA4Width, kA4Length, QStringLiteral("page %1").arg(i)));
    return store;
}

void Pump()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

bool FakeDialogs::GetSaveFileName(QWidget*, const QString&, const QString& filter, QString& fileName, int& filterIndex)
{
    ++saveDialogs;
    lastFilter = filter;
    offered = fileName;
    // A window that asks again and again would hang the test.
    if (!confirm || saveDialogs > maxDialogs)
        return false;
    if (!answer.isEmpty())
        fileName = answer;
    filterIndex = answerFilter;
    return true;
}

bool FakeDialogs::ConfirmReplace(QWidget*, const QString& fileName)
{
    replaceQuestions.push_back(fileName);
    if (replaceAnswers.empty())
        return false;
    const bool answer = replaceAnswers.front();
    replaceAnswers.erase(replaceAnswers.begin());
    return answer;
}

QString Label(const TPreviewWindow& form) { return form.PageLabel->text(); }

std::string Moves(const TPreviewWindow& form)
{
    std::string s;
    for (const QToolButton* b : {form.FirstPageButton, form.PriorPageButton, form.NextPageButton, form.LastPageButton})
        s += b->isEnabled() ? '1' : '0';
    return s;
}

}  // namespace previewtest
