#include "app/Diagnostics.h"

#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace tw::app {

Diagnostics::Diagnostics(QString logFile, bool toStderr, platform::FileSystem* files,
                         QObject* parent)
    : QObject(parent), logFile_(std::move(logFile)), toStderr_(toStderr), files_(files) {}

void Diagnostics::report(const QString& key, const QString& control, const QString& message) {
    if (active_.value(key) == message && active_.contains(key))
        return;
    active_.insert(key, message);
    control_.insert(key, control);
    last_ = message;
    ++count_;
    write(QStringLiteral("FAILED %1").arg(message));
    emit failureReported(control, message);
}

void Diagnostics::clear(const QString& key) {
    if (!active_.remove(key))
        return;
    const QString control = control_.take(key);
    emit failureCleared(control);
}

void Diagnostics::note(const QString& key, const QString& message) {
    const QString noteKey = QStringLiteral("note:") + key;
    if (active_.contains(noteKey))
        return;
    active_.insert(noteKey, message);
    write(QStringLiteral("NOTE %1").arg(message));
}

void Diagnostics::logEvent(const QString& message) {
    write(QStringLiteral("EVENT %1").arg(message));
}

void Diagnostics::write(const QString& text) {
    const QString line =
        QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char(' ') + text;
    if (toStderr_) {
        std::fprintf(stderr, "TW-CLI-UI: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    if (logFile_.isEmpty() || !files_)
        return;
    QFileInfo info(logFile_);
    QDir().mkpath(info.absolutePath());
    // Keep the log small: once it passes the cap, the old half moves aside.
    if (info.isFile() && info.size() > MaxLogBytes) {
        const QString old = logFile_ + QStringLiteral(".1");
        QFile::remove(old);
        QFile::rename(logFile_, old);
    }
    const platform::Result appended = files_->appendFile(logFile_, (line + u'\n').toUtf8());
    // A log that cannot be written is said once on stderr, not on every line.
    if (!appended.ok && appended.error != logProblem_ && toStderr_)
        std::fprintf(stderr, "TW-CLI-UI: diagnostics log not written: %s\n",
                     appended.error.toLocal8Bit().constData());
    logProblem_ = appended.ok ? QString() : appended.error;
}

} // namespace tw::app
