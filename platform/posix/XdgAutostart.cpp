#include "platform/posix/Posix.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/XdgFolders.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tw::platform {

namespace {

// The id of the program's menu entry, which its autostart entries carry in
// their names, so that they never take the place of another program's.
const QString AppId = desktopAppId();
// An entry is a few hundred bytes.
constexpr qint64 MaxEntryBytes = 64 * 1024;

// A value of type string: backslash, line ends and tabs escaped, and a
// leading blank, which a reader would drop.
QString stringValue(const QString& text) {
    QString value;
    for (const QChar c : text) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'\r')
            value += QStringLiteral("\\r");
        else if (c == u' ' && value.isEmpty())
            value += QStringLiteral("\\s");
        else
            value += c;
    }
    return value;
}

} // namespace

QString desktopExecValue(const QString& program) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted += u'"';
    return stringValue(quoted);
}

XdgAutostart::XdgAutostart(QString configuration, QString programFile, QString folder)
    : configuration_(std::move(configuration)), program_(std::move(programFile)),
      folder_(std::move(folder)) {}

QString XdgAutostart::defaultFolder() {
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/autostart");
}

QString XdgAutostart::path() const {
    return folder_ + u'/' + AppId + u'-' + configuration_ + QStringLiteral(".desktop");
}

QByteArray XdgAutostart::entry(const QString& configuration, const QString& programFile) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=The TW-CLI-UI panel of this configuration, started at login\n"
                          "Exec=%2\n"
                          "Icon=%3\n"
                          "Terminal=false\n")
        .arg(stringValue(configuration), desktopExecValue(programFile), AppId)
        .toUtf8();
}

bool XdgAutostart::enabled() {
    const posix::RegularRead read =
        posix::readRegularFile(AT_FDCWD, QFile::encodeName(path()).constData(), MaxEntryBytes);
    if (read.error == ENOENT || read.error == ENOTDIR || read.notRegular)
        return false;
    // An entry this user may not read is still there for the session.
    if (!read.ok())
        return true;
    // Desktops turn an entry off in its group rather than take it away.
    bool inEntry = false;
    for (QByteArray line : read.bytes.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('['))
            inEntry = line == "[Desktop Entry]";
        const qsizetype equals = line.indexOf('=');
        if (!inEntry || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

Result XdgAutostart::setEnabled(bool on) {
    const QString file = path();
    if (!on) {
        const int error = ::unlink(QFile::encodeName(file).constData()) == 0 ? 0 : errno;
        if (error == 0 || error == ENOENT)
            return Result::success();
        return Result::failure(
            QStringLiteral("cannot remove %1: %2").arg(file, posix::errnoText(error)));
    }
    if (program_.isEmpty())
        return Result::failure(QStringLiteral("the program's own file is not known"));
    if (!QDir().mkpath(folder_))
        return Result::failure(QStringLiteral("cannot create folder %1").arg(folder_));
    return writeFileWhole(file, entry(configuration_, program_));
}

} // namespace tw::platform
