#pragma once
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>

namespace tw::platform {
class FileSystem;
}

namespace tw::app {

// Failures of automatic work. A failing step is written once to a
// size-capped log file per configuration and to stderr, and shown without
// blocking on the main window (the affected control's tooltip). Repeats of
// the same failure are not written again until the step has succeeded
// (clear) in between. Never a modal box.
class Diagnostics : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 MaxLogBytes = 256 * 1024;

    // logFile empty or no file system: stderr only (tests). The log is
    // appended to through `files`, which never waits on a FIFO or device in
    // its place.
    explicit Diagnostics(QString logFile = QString(), bool toStderr = true,
                         platform::FileSystem* files = nullptr, QObject* parent = nullptr);

    // key names the failing step ("gbc-batch", "store", ...); control is the
    // objectName of the main-window control that shows it (may be empty).
    void report(const QString& key, const QString& control, const QString& message);
    // The step named key worked: a later failure is reported again.
    void clear(const QString& key);
    // A remark that is not a failure (said once per key, e.g. a platform limit).
    void note(const QString& key, const QString& message);
    // Something the user should find in the log each time it happens (an
    // alert about the node and its all-clear).
    void logEvent(const QString& message);

    QString lastFailure() const { return last_; }
    int failureCount() const { return count_; }
    bool isReported(const QString& key) const { return active_.contains(key); }
    QString logFile() const { return logFile_; }

signals:
    void failureReported(const QString& control, const QString& message);
    void failureCleared(const QString& control);

private:
    void write(const QString& line);

    QString logFile_;
    bool toStderr_;
    platform::FileSystem* files_;
    QString logProblem_;              // why the log file could not be written last time
    QHash<QString, QString> active_;  // key -> message currently reported
    QHash<QString, QString> control_; // key -> control that shows it
    QString last_;
    int count_ = 0;
};

} // namespace tw::app
