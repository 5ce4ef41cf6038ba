#pragma once
// POSIX (Linux first) implementations of the platform interfaces.

#include "platform/Platform.h"

#include <memory>

namespace tw::platform {

// QSettings INI file, one group per section; every write is synced at once
// and every read first picks up what other processes wrote.
class IniSettingsBackend final : public SettingsBackend {
public:
    // filePath: the INI file; by default $XDG_CONFIG_HOME/TW-CLI-UI/TW-CLI-UI.ini
    // (~/.config when XDG_CONFIG_HOME is unset or empty). The file is the
    // application level: it holds the sections of `application` only; any
    // other application reads as absent and cannot be written.
    explicit IniSettingsBackend(QString filePath = defaultPath(),
                                QString application = QStringLiteral("TW-CLI-UI"));
    static QString defaultPath();
    std::optional<QString> read(const QString& application, const QString& section,
                                const QString& key) override;
    Result write(const QString& application, const QString& section, const QString& key,
                 const QString& value) override;
    QString location() const override;

private:
    QString path_;
    QString application_;
};

// Batch files run by /bin/sh through a small fixed runner that drops the CR
// of each line and defines `call` as "run this command"; hidden (no
// terminal), not waited for, stdin/stdout/stderr on /dev/null. The user
// command runs as `/bin/sh -c TEXT`, detached.
class PosixProcessStarter final : public ProcessStarter {
public:
    Result startBatchFile(const QString& path) override;
    Result startUserCommand(const QString& commandLine) override;
    // The runner's shell text, for the tests and the docs.
    static QString runnerScript();
};

// One pass over /proc, no child process; letter case ignored. A process is
// named by the file name of /proc/PID/exe. When that link is missing (ENOENT:
// a kernel thread, a zombie) the process is none of the node's programs;
// only when it is refused (EACCES, EPERM) does the name come from argv[0]
// (/proc/PID/cmdline), else from /proc/PID/stat, where a zombie or a kernel
// thread is not counted.
class ProcProcessTable final : public ProcessTable {
public:
    explicit ProcProcessTable(QString procRoot = QStringLiteral("/proc"));
    std::optional<int> countByImageName(const QString& imageName) override;

private:
    QByteArray root_; // in the file system's encoding
};

class LocalFileSystem final : public FileSystem {
public:
    FileRead readFile(const QString& path, qint64 maxBytes) override;
    Result replaceFile(const QString& path, const QByteArray& bytes) override;
    QString decodeLocal(const QByteArray& bytes) const override;
    QByteArray encodeLocal(const QString& text) const override;
};

// X11 with EWMH (_NET_ACTIVE_WINDOW, _NET_WM_STATE_ABOVE) when the
// application runs on xcb; otherwise a window system that can only give the
// program's own windows the stay-on-top hint.
std::unique_ptr<WindowSystem> createWindowSystem();

// File name of argv[0]: a copy or link under another name has its own section.
QString executableNameFromArgv0(const char* argv0);
// $XDG_STATE_HOME/TW-CLI-UI (~/.local/state/TW-CLI-UI by default).
QString defaultStateFolder();

} // namespace tw::platform
