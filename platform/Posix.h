#pragma once
// POSIX (Linux first) implementations of the platform interfaces.

#include "platform/Platform.h"

#include <memory>

namespace tw::platform {

// The INI file, one section per executable name (format: IniFile.h). Every
// read picks up what other processes wrote (the parsed file is reused only
// while the file on disk is unchanged); every write takes the file's lock
// (the same "<file>.lock" that QSettings takes, so older copies of the
// program running beside this one are kept out), reads the file afresh,
// changes the one line and replaces the file whole. A file that does not
// parse whole is never rewritten. Before the first write of a run the
// previous file is kept as "<file>.bak".
class IniSettingsBackend final : public SettingsBackend {
public:
    // filePath: the INI file; by default $XDG_CONFIG_HOME/TW-CLI-UI/TW-CLI-UI.ini
    // (~/.config when XDG_CONFIG_HOME is unset or empty). The file is the
    // application level: it holds the sections of `application` only; any
    // other application reads as absent and cannot be written.
    explicit IniSettingsBackend(QString filePath = defaultPath(),
                                QString application = QStringLiteral("TW-CLI-UI"));
    ~IniSettingsBackend() override;
    static QString defaultPath();
    SettingRead read(const QString& application, const QString& section,
                     const QString& key) override;
    Result write(const QString& application, const QString& section, const QString& key,
                 const QString& value) override;
    QString location() const override;

private:
    struct Cache;
    QString path_;
    QString application_;
    std::unique_ptr<Cache> cache_;
    bool backupKept_ = false;
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

// One pass over /proc: the file name of /proc/PID/exe, else of argv[0]
// (/proc/PID/cmdline), else /proc/PID/comm; letter case ignored.
class ProcProcessTable final : public ProcessTable {
public:
    explicit ProcProcessTable(QString procRoot = QStringLiteral("/proc"));
    std::optional<int> countByImageName(const QString& imageName) override;

private:
    QString root_;
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
