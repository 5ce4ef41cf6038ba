#include "platform/Posix.h"
#include "platform/XdgFolders.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace tw::platform {

namespace {

// The file holds one application, so an INI group is a section and its
// entries are the keys. QSettings joins groups and keys with '/' and folds
// runs of separators and empty levels away, while a section is an arbitrary
// executable file name and a key arbitrary text. So both are escaped here
// first: '%' '/' '\' become %25 %2F %5C, and an empty name becomes a lone
// "%", which no escaped non-empty name can be. Everything else is left to
// QSettings' own escaping in the file, which round-trips any text.
QString escapeLevel(const QString& text) {
    if (text.isEmpty())
        return QStringLiteral("%");
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'%')
            out += QLatin1String("%25");
        else if (c == u'/')
            out += QLatin1String("%2F");
        else if (c == u'\\')
            out += QLatin1String("%5C");
        else
            out += c;
    }
    return out;
}

QString settingsKey(const QString& section, const QString& key) {
    return escapeLevel(section) + u'/' + escapeLevel(key);
}

QString statusText(QSettings::Status status) {
    switch (status) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return QStringLiteral("access error");
    case QSettings::FormatError:
        return QStringLiteral("format error");
    }
    return QStringLiteral("unknown error");
}

// Our own values are always written as QString. A value that someone typed
// into the file by hand may parse as something else; give it back as text.
QString valueText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        return value.toStringList().join(QLatin1String(", "));
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

} // namespace

IniSettingsBackend::IniSettingsBackend(QString filePath, QString application)
    : path_(std::move(filePath)), application_(std::move(application)) {}

QString IniSettingsBackend::defaultPath() {
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) +
           QStringLiteral("/TW-CLI-UI/TW-CLI-UI.ini");
}

std::optional<QString> IniSettingsBackend::read(const QString& application, const QString& section,
                                                const QString& key) {
    if (application != application_)
        return std::nullopt;
    QSettings settings(path_, QSettings::IniFormat);
    settings.sync(); // pick up what another process wrote meanwhile
    const QString fullKey = settingsKey(section, key);
    if (!settings.contains(fullKey))
        return std::nullopt;
    return valueText(settings.value(fullKey));
}

Result IniSettingsBackend::write(const QString& application, const QString& section,
                                 const QString& key, const QString& value) {
    if (path_.isEmpty())
        return Result::failure(QStringLiteral("cannot write settings: no settings file"));
    if (application != application_)
        return Result::failure(QStringLiteral("cannot write settings of %1: %2 holds %3 only")
                                   .arg(application, path_, application_));
    QSettings settings(path_, QSettings::IniFormat);
    settings.setValue(settingsKey(section, key), value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return Result::failure(QStringLiteral("cannot write settings file %1: %2")
                                   .arg(path_, statusText(settings.status())));
    // QSettings reports a file it could not replace as an access error; make
    // sure the value really is on disk in a file we can write.
    const QFileInfo file(path_);
    if (!file.exists())
        return Result::failure(
            QStringLiteral("cannot write settings file %1: file was not created").arg(path_));
    if (!file.isWritable())
        return Result::failure(
            QStringLiteral("cannot write settings file %1: file is read-only").arg(path_));
    return Result::success();
}

QString IniSettingsBackend::location() const {
    return path_;
}

} // namespace tw::platform
