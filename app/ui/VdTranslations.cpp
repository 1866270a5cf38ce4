#include "app/ui/VdTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace vdmq {

bool InstallQtTranslations(const QLocale& locale)
{
    if (locale.language() == QLocale::C)
        return false;
    // "qt" is the meta catalogue that pulls in qtbase and the other modules
    // Debian ships translations for; qtbase alone is the fallback.
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : {"qt", "qtbase"}) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(locale, QString::fromLatin1(catalogue), QStringLiteral("_"), dir) &&
            QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    return false;
}

}  // namespace vdmq
