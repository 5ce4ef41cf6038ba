#include "platform/posix/Posix.h"
#include "platform/posix/XdgFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tw::platform {

QString xdgFolder(const char* variable, const QString& fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + u'/' + fallbackUnderHome);
}

QString executableNameFromArgv0(const char* argv0) {
    QString name = argv0 ? QFileInfo(QString::fromLocal8Bit(argv0)).fileName() : QString();
    // A copy named BTC-A.exe has the section BTC-A, as it has on Windows.
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive) && name.size() > 4)
        name.chop(4);
    return name.isEmpty() ? QStringLiteral("TW-CLI-UI") : name;
}

QString programFileFromArgv0(const QString& argv0) {
    if (argv0.contains(u'/'))
        return QFileInfo(argv0).absoluteFilePath();
    const QString found = QStandardPaths::findExecutable(argv0);
    return found.isEmpty() ? QCoreApplication::applicationFilePath() : found;
}

QString defaultStateFolder() {
    return xdgFolder("XDG_STATE_HOME", QStringLiteral(".local/state")) +
           QStringLiteral("/TW-CLI-UI");
}

} // namespace tw::platform
