#pragma once
// The program's texts in the user's language: its own translation and Qt's
// (the standard context menus and dialog buttons), both built into the
// program from translations/.

#include <QStringList>

class QCoreApplication;

namespace tw::app {

// Installs the translations for the first of `languages` (BCP 47 or POSIX
// names, most preferred first: "de-DE", "de_DE.UTF-8", "de") that the
// program has; English, the program's own language, ends the search, so a
// user who prefers English before German gets English. Returns the
// language installed ("de"), empty when none was. The translators belong to
// `application`; texts made before the call stay as they were made.
QString installTranslations(QCoreApplication& application, const QStringList& languages);
// The same for the system's languages (QLocale::system().uiLanguages():
// LANGUAGE, LC_ALL, LC_MESSAGES and LANG on Linux, the user's display
// languages on Windows).
QString installTranslations(QCoreApplication& application);
// Takes back what installTranslations installed.
void removeTranslations(QCoreApplication& application);

} // namespace tw::app
