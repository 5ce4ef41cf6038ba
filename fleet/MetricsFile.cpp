#include "fleet/MetricsFile.h"

#include "app/Diagnostics.h"
#include "platform/Platform.h"

namespace tw::fleet {

const QString MetricsFile::FailureKey = QStringLiteral("metrics-file");

namespace {

QString safeName(const QString& name) {
    QString out;
    for (const QChar c : name) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'_';
        out += plain ? c : QChar(u'_');
    }
    // Neither hidden nor a folder's name of its own ("." or "..").
    if (out.isEmpty() || out.startsWith(u'.'))
        out.prepend(u'_');
    return out;
}

} // namespace

MetricsFile::MetricsFile(platform::FileSystem& files, app::Diagnostics& diagnostics, QString name)
    : files_(files), diagnostics_(diagnostics), fileName_(safeName(name) + ".prom") {}

void MetricsFile::setFolder(const QString& folder) {
    if (folder == folder_)
        return;
    folder_ = folder;
    // A failure in the old folder says nothing about the new one.
    diagnostics_.clear(FailureKey);
}

QString MetricsFile::path() const {
    if (folder_.isEmpty())
        return QString();
    const QString separator = platform::pathSeparator();
    if (folder_.endsWith(separator) || folder_.endsWith(u'/'))
        return folder_ + fileName_;
    return folder_ + separator + fileName_;
}

bool MetricsFile::write(const QByteArray& text) {
    const QString target = path();
    if (target.isEmpty())
        return true;
    const platform::Result result = files_.writeFile(target, text);
    if (!result) {
        diagnostics_.report(
            FailureKey, QString(),
            QStringLiteral("Could not write the metrics file %1: %2").arg(target, result.error));
        return false;
    }
    diagnostics_.clear(FailureKey);
    return true;
}

} // namespace tw::fleet
