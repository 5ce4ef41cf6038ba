#include "platform/posix/Posix.h"
#include "platform/posix/XdgFolders.h"

#include <QDir>
#include <QFileInfo>

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

QString defaultStateFolder() {
    return xdgFolder("XDG_STATE_HOME", QStringLiteral(".local/state")) +
           QStringLiteral("/TW-CLI-UI");
}

} // namespace tw::platform
