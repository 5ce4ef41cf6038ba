#include "app/Translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace tw::app {

namespace {

// Where the build puts the compiled translations (translations/, the
// resource list of app/CMakeLists.txt).
const QString Folder = QStringLiteral(":/i18n");
const QString Marker = QStringLiteral("tw-translation");

// The program's own texts. lupdate (Qt 6.4) names the context of a class
// declared in `namespace tw::app {` without the namespace ("MainWindow"),
// and texts translated outside a class name their context the same way, so
// a text is looked up under the last part of the name tr() gives.
class ProgramTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        const char* name = context ? std::strrchr(context, ':') : nullptr;
        return QTranslator::translate(name ? name + 1 : context, sourceText, disambiguation, n);
    }
};

bool install(QCoreApplication& application, const QLocale& locale, const QString& file) {
    auto* translator = file == QLatin1String("qtbase") ? new QTranslator(&application)
                                                       : new ProgramTranslator(&application);
    translator->setObjectName(Marker);
    if (!translator->load(locale, file, QStringLiteral("_"), Folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace

QString installTranslations(QCoreApplication& application, const QStringList& languages) {
    for (const QString& language : languages) {
        // "de_DE.UTF-8@euro" names the language "de_DE".
        QString name = language.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
        // "C" and "POSIX" are the untranslated program, which speaks English.
        if (name == QLatin1String("C") || name == QLatin1String("POSIX"))
            return {};
        const QLocale locale(name.replace(QLatin1Char('-'), QLatin1Char('_')));
        if (locale.language() == QLocale::English)
            return {};
        if (locale.language() == QLocale::C) // a language Qt does not know
            continue;
        if (!install(application, locale, QStringLiteral("TW-CLI-UI")))
            continue;
        // Qt's own texts in the same language; the program's are enough
        // without them.
        install(application, locale, QStringLiteral("qtbase"));
        return QLocale::languageToCode(locale.language());
    }
    return {};
}

QString installTranslations(QCoreApplication& application) {
    return installTranslations(application, QLocale::system().uiLanguages());
}

void removeTranslations(QCoreApplication& application) {
    for (QTranslator* translator :
         application.findChildren<QTranslator*>(Marker, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

} // namespace tw::app
