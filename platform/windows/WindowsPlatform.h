#pragma once
// Windows implementations of the platform interfaces: thin Qt adapters over
// the plain Win32 cores of Win32.h.

#include "platform/Platform.h"

#include <QHash>

#include <memory>

namespace tw::platform {

// One registry key per section, below HKEY_CURRENT_USER, "Software", "VB
// and VBA Program Settings" and the application; one REG_SZ value per
// setting. A registry write touches its one value only, so no other
// section's values can be lost.
class RegistrySettingsBackend final : public SettingsBackend {
public:
    SettingRead read(const QString& application, const QString& section,
                     const QString& key) override;
    Result writeValues(const QString& application, const QString& section,
                       const SettingValues& values) override;
    QString location() const override;
};

// Batch files through cmd.exe, hidden; a query's in a job of its own, ended
// after its cycle's read. A batch whose log (taken from its line as
// BatchLine.h splits it) is a reparse point not the user's own is not run.
// The user and alert commands in a normal window (their output is shown
// there: the output handler is never called), each once at a time.
class WinProcessStarter final : public ProcessStarter {
public:
    ~WinProcessStarter() override;
    BatchStart startBatchFile(const QString& path, BatchKind kind) override;
    BatchEnd finishBatch(quint64 id) override;
    void endQueries() override;
    Result startUserCommand(const QString& commandLine, const QString& purpose) override;
    void setOutputHandler(OutputHandler) override {}
    void runProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                    qint64 maxOutputBytes, ProgramDone done) override;

private:
    QHash<quint64, void*> jobs_;
    QHash<QString, void*> commands_; // the last process of each purpose (a HANDLE)
    quint64 next_ = 1;
};

// A Toolhelp32 snapshot per question.
class ToolhelpProcessTable final : public ProcessTable {
public:
    std::optional<int> countByImageName(const QString& imageName) override;
};

// Files in the ANSI code page; only files on disk are read.
class WinFileSystem final : public FileSystem {
public:
    FileRead readFile(const QString& path, qint64 maxBytes) override;
    FileStamp stamp(const QString& path) override;
    Result writeFile(const QString& path, const QByteArray& bytes) override;
    Result appendFile(const QString& path, const QByteArray& bytes) override;
    QString decodeLocal(const QByteArray& bytes) const override;
    QByteArray encodeLocal(const QString& text) const override;
};

// GetForegroundWindow and SetWindowPos.
class Win32WindowSystem final : public WindowSystem {
public:
    WindowHandle handleOf(QWidget* window) override;
    WindowHandle foregroundWindow() override;
    void setTopMost(WindowHandle window, bool topMost) override;
    QString limitation() const override { return {}; }
};

// The module's file name without its extension: the store's section.
QString windowsExecutableName();
// %LOCALAPPDATA%\TW-CLI-UI.
QString windowsStateFolder();

} // namespace tw::platform
