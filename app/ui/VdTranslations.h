#pragma once
// Qt's own texts (the buttons of message boxes, the file and print dialogs,
// the context menus of the entry fields) in the desktop's language.
#include <QLocale>

namespace vdmq {

// Installs Qt's translations for `locale` into the application; returns
// whether any were found.  Called once, before the first window is made.
// Under the C locale (or a language Qt does not ship) Qt stays in English.
bool InstallQtTranslations(const QLocale& locale = QLocale::system());

}  // namespace vdmq
