#pragma once
// Windows implementations of the platform interfaces: thin Qt adapters over
// the plain Win32 cores of Win32.h.

#include "platform/NodeLinks.h"
#include "platform/Platform.h"
#include "platform/windows/Win32.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

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
    QStringList sections(const QString& application) override;
};

// Batch files through cmd.exe, hidden; a query's in a job of its own, ended
// after its cycle's read. A batch whose log (taken from its line as
// BatchLine.h splits it) is a reparse point not the user's own is not run.
// cmd.exe's stderr, which the client inherits, comes through a pipe: a
// query's first 4 KiB and cmd.exe's exit code go to finishBatch, a stop
// batch that failed or wrote on stderr is told to the output handler once
// it has ended. The user and alert commands in a normal window (their
// output is shown there: the output handler tells nothing of them), each
// once at a time. runProgram starts a program directly (win::ProgramRun).
// Pipes, stop batches and programs are looked at by one timer of the user-
// interface thread while any of them is open: nothing waits, no thread.
class WinProcessStarter final : public ProcessStarter {
public:
    WinProcessStarter();
    WinProcessStarter(const WinProcessStarter&) = delete;
    WinProcessStarter& operator=(const WinProcessStarter&) = delete;
    ~WinProcessStarter() override;
    BatchStart startBatchFile(const QString& path, BatchKind kind) override;
    BatchEnd finishBatch(quint64 id) override;
    void endQueries() override;
    Result startUserCommand(const QString& commandLine, const QString& purpose) override;
    void setOutputHandler(OutputHandler handler) override { output_ = std::move(handler); }
    void runProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                    qint64 maxOutputBytes, ProgramDone done) override;

    // How often the timer looks.
    static constexpr int PollMs = 20;

private:
    struct Batch {
        bool query = false;
        QString program; // the client, as the batch line names it
        void* job = nullptr;
        void* process = nullptr; // cmd.exe
        win::OutputPipe errors;
    };
    struct Program {
        quint64 id = 0;
        std::unique_ptr<win::ProgramRun> run;
        ProgramDone done;
        bool over = false;
    };
    // One look at everything open; the timer stops when nothing is.
    void look();
    void watch();
    void deliver(quint64 id);

    std::map<quint64, Batch> batches_;
    std::vector<Program> programs_;
    QHash<QString, void*> commands_; // the last process of each purpose (a HANDLE)
    OutputHandler output_;
    quint64 next_ = 1;
    // The receiver of the timer and of queued calls: they go with it.
    std::unique_ptr<QObject> context_;
    QTimer* timer_ = nullptr; // a child of context_
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
    void placeBelow(WindowHandle window, WindowHandle sibling) override;
    QString limitation() const override { return {}; }
    void allowForegroundTo(qintptr localSocket) override;
};

// Start at login through the user's Run key: the value named after the
// configuration holds the program file in double quotes. It counts as on
// while the value is there and Task Manager has not turned it off;
// switching it on also takes Task Manager's "off" away.
class RunKeyAutostart final : public Autostart {
public:
    RunKeyAutostart(QString configuration, QString programFile);
    bool enabled() override;
    Result setEnabled(bool on) override;
    // The Run value's text for a program file.
    static QString commandLine(const QString& programFile);

private:
    QString configuration_;
    QString program_;
};

// The nodes' program files and shortcuts (NodeLinks.h): TW-CLI-UI-NAME.exe
// beside the program, a hard link of it (a copy where the file system takes
// none), and "TW-CLI-UI – NAME.lnk" in the Start menu folder `shortcuts`
// (<Programs>\TW-CLI-UI, where the setup program puts the program's own);
// the start at login is the configuration's RunKeyAutostart value. The
// program's folder holds nothing else of that name, so an existing
// TW-CLI-UI-NAME.exe that is another file (an older copy) is replaced by
// the link. A name of the program file whose image runs cannot be deleted:
// remove hides it under TW-CLI-UI-NAME.exe.<pid>.removed, deleted by a
// later add or remove where it can be, and by the uninstaller. The names
// are those of the program files and shortcuts.
class WinNodeLinks final : public NodeLinks {
public:
    // program: the module's path; shortcuts: defaultShortcutFolder() unless
    // a test gives another.
    WinNodeLinks(QString program, QString shortcuts);
    static QString defaultShortcutFolder();
    QString shortcutOf(const QString& name) const;

    QString programOf(const QString& name) const override;
    bool hasProgram(const QString& name) const override;
    NodeChange add(const QString& name) override;
    NodeChange remove(const QString& name) override;
    QStringList names() const override;
    std::unique_ptr<Autostart> autostart(const QString& name) const override;
    QString folderOffPath() const override { return {}; }

private:
    // Deletes the names of the program file that a remove hid while the
    // program ran, where it can now.
    void sweep() const;

    QString program_;
    QString folder_; // the program's
    QString shortcuts_;
};

// The session's end as Windows tells it: WM_QUERYENDSESSION, taken by a
// native event filter before Qt's own handling of the message (which turns
// it into commitDataRequest). While held, the work runs before the message
// is answered, with a reason for the shut-down screen; the program is asked
// among the first, before the node's own programs.
class WinSessionEnd final : public SessionEnd, public QAbstractNativeEventFilter {
public:
    WinSessionEnd() = default;
    WinSessionEnd(const WinSessionEnd&) = delete;
    WinSessionEnd& operator=(const WinSessionEnd&) = delete;
    ~WinSessionEnd() override;
    void setWork(QWidget* window, Work work, Say say) override;
    void setHeld(bool held) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void say(const QString& key, const QString& line, bool failure) const;

    QPointer<QWidget> window_;
    Work work_;
    Say say_;
    bool held_ = false;
    bool installed_ = false;
    bool running_ = false;
};

// The module's full path.
QString windowsModulePath();
// The module's file name without its extension: the store's section.
QString windowsExecutableName();
// %LOCALAPPDATA%\TW-CLI-UI.
QString windowsStateFolder();

} // namespace tw::platform
