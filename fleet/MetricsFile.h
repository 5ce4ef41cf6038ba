#pragma once
// The metrics as a file for node_exporter's textfile collector: the
// exposition text written whole to <folder>/<name>.prom, where node_exporter
// (--collector.textfile.directory=<folder>) picks it up.

#include <QByteArray>
#include <QString>

namespace tw::app {
class Diagnostics;
}
namespace tw::platform {
class FileSystem;
}

namespace tw::fleet {

class MetricsFile {
public:
    // Diagnostics key of a write that failed.
    static const QString FailureKey;

    // `name` is the configuration's name; characters other than letters,
    // digits, '.', '-' and '_' become '_' in the file's name. Off until
    // setFolder.
    MetricsFile(platform::FileSystem& files, app::Diagnostics& diagnostics, QString name);

    // The folder to write into; empty turns the file off (a file written
    // before stays where it is).
    void setFolder(const QString& folder);
    const QString& folder() const { return folder_; }
    // <folder>/<name>.prom; empty while off.
    QString path() const;

    // Replaces the file with `text` (a reader sees the old file or the new
    // one, never half of it). A failure is reported once until a write
    // works again. False when it failed; true when written or off.
    bool write(const QByteArray& text);

private:
    platform::FileSystem& files_;
    app::Diagnostics& diagnostics_;
    QString fileName_;
    QString folder_;
};

} // namespace tw::fleet
