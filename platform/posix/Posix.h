#pragma once
// POSIX (Linux first) implementations of the platform interfaces.

#include "platform/NodeLinks.h"
#include "platform/Platform.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tw::platform {

// The system calls by which a file's new bytes are put on disk. The real
// ones by default; the tests replace them to make a disk fill up at any
// byte offset, or its flush fail.
struct WriteSteps {
    std::function<ssize_t(int fd, const void* data, size_t size, off_t offset)> write; // pwrite(2)
    std::function<int(int fd)> sync;                                                   // fsync(2)
};

// The INI file, one section per executable name (format: IniFile.h). Every
// read picks up what other processes wrote (the parsed file is reused only
// while the file on disk is unchanged); every write takes the file's lock
// (the same "<file>.lock" that QSettings takes, so older copies of the
// program running beside this one are kept out), reads the file afresh,
// changes the lines of one occasion's values and replaces the file whole
// (writeFileWhole). A file that does not parse whole, or that the change
// would take past the size a read accepts, is never rewritten. Before the
// first write of a run the previous file is kept as "<file>.bak", with the
// file's permissions.
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
    Result writeValues(const QString& application, const QString& section,
                       const SettingValues& values) override;
    QString location() const override;
    QStringList sections(const QString& application) override;
    // The system calls of the writes (the tests fill the disk with them).
    void setWriteSteps(WriteSteps steps) { steps_ = std::move(steps); }

private:
    struct Cache;
    WriteSteps steps_;
    QString path_;
    QString application_;
    std::unique_ptr<Cache> cache_;
    bool backupKept_ = false;
};

// Batch files run without a shell: the file's command line is split as
// cmd.exe splits it (BatchLine.h) and its program is started directly, in a
// process group of its own, hidden (stdin on /dev/null, stdout into the log
// named after " > ", opened by the rule of the files the program writes,
// stderr into a pipe that the starter reads as it fills, keeping the first
// BatchEnd::MaxErrorBytes). A bare program name without '/' is looked up in
// PATH. A query's client may write at most MaxQueryOutputBytes into any file
// (RLIMIT_FSIZE); its environment carries a mark naming the query, which
// whatever it starts inherits. finishBatch tells a query's exit status (or
// the signal it died of) and what it wrote on stderr; a stop batch that
// failed or wrote on stderr is told to the output handler once it has ended
// (a pidfd says when; without one, the starter's next call).
//
// The starter makes the panel a child subreaper, so that a process that a
// batch's client leaves behind, even in a session of its own, stays among
// the panel's descendants instead of going to init. It keeps every batch's
// process as its child: a query's group, and the panel's descendants that
// carry a query's mark, are ended by finishBatch or endQueries; a stop
// command's are left to finish. Whatever has ended is reaped at the
// starter's next call, also what re-parented to the panel. The destructor
// ends what queries left.
//
// The user command (and the alert command) runs as `/bin/sh -c TEXT`, the
// starter's child in a process group of its own, stdin on /dev/null, stdout
// and stderr into a pipe that is read as it fills; the first
// MaxCommandOutputBytes of a run go to the output handler once it has ended.
// It is never ended by the starter.
//
// runProgram starts a program directly (fork and execve, a bare name looked
// up in PATH), in a process group of its own, marked like a query, stdin on
// /dev/null, stdout and stderr into pipes read as they fill. Once the
// program has ended (a pidfd says when; without one, a timer looks), or its
// time is up, or it wrote more than its maximum, whatever is left of its
// group and its marked processes gets SIGTERM, then SIGKILL after
// TermGraceMs, all without blocking; `done` follows on the event loop once
// the program has been reaped. The destructor ends running programs and
// calls nobody.
class PosixProcessStarter final : public ProcessStarter {
public:
    PosixProcessStarter();
    PosixProcessStarter(const PosixProcessStarter&) = delete;
    PosixProcessStarter& operator=(const PosixProcessStarter&) = delete;
    ~PosixProcessStarter() override;

    // The most of a batch file that is read; a longer file is not run.
    static constexpr qint64 MaxBatchFileBytes = 64 * 1024;
    // The most a query's client (and what it starts) may write into a file:
    // an answer is a few bytes.
    static constexpr qint64 MaxQueryOutputBytes = 1024 * 1024;
    // The most of a command's output that reaches the diagnostics per run.
    static constexpr qint64 MaxCommandOutputBytes = 4 * 1024;
    // How long a query's processes get to end after SIGTERM, and then after
    // SIGKILL, before finishBatch gives up waiting.
    static constexpr int TermGraceMs = 200;
    static constexpr int KillGraceMs = 100;

    BatchStart startBatchFile(const QString& path, BatchKind kind) override;
    BatchEnd finishBatch(quint64 id) override;
    void endQueries() override;
    Result startUserCommand(const QString& commandLine, const QString& purpose) override;
    void setOutputHandler(OutputHandler handler) override;
    void runProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                    qint64 maxOutputBytes, ProgramDone done) override;

    // The process id of a batch's program (also its process group), while
    // the starter still holds it; 0 otherwise. For the tests.
    qint64 processId(quint64 id) const;
    // The shell of the command of `purpose` while it runs (until it is
    // reaped); 0 otherwise. For the tests.
    qint64 commandProcessId(const QString& purpose) const;
    // The process ids of the programs that runProgram started and whose
    // `done` is still to come. For the tests.
    QList<qint64> programProcessIds() const;

    // A pipe read as it fills, keeping its first bytes, and a pidfd that
    // says when a child has ended (PosixProcessStarter.cpp).
    struct Pipe;
    struct Watch;

private:
    struct Child {
        quint64 id;
        qint64 pid; // also the process group
        BatchKind kind;
        QString program;
        bool ended; // a query batch that finishBatch or endQueries has dealt with
        int log;    // a query's log, to see how much its client wrote; -1 for none
        std::shared_ptr<Pipe> errors;  // its stderr; null when there is none
        std::shared_ptr<Watch> exited; // a stop batch's pidfd, to tell its end promptly
    };
    // How the leader of a query batch that was being ended came to its end.
    struct LeaderEnd {
        bool ranOn = false;        // it still ran when it was to be ended
        bool killed = false;       // it got SIGKILL
        std::optional<int> status; // its wait status; nullopt: not reaped
    };
    struct Command;
    struct Program;
    // Reaps the stop batches, and the query batches already dealt with, that
    // have ended; what re-parented to the panel and has ended; the commands
    // that have ended (told to the output handler).
    void reapEnded();
    // Ends the groups of these query batches and their marked processes
    // outside them (with those of every query batch already dealt with, or
    // of all query batches), reaps them and forgets them; one line per
    // batch that had to be ended, one for the processes outside the groups.
    // How each leader came to its end goes into `leaders` when it is given.
    QStringList endQueryProcesses(const QList<quint64>& ids, bool allLeftovers,
                                  QHash<quint64, LeaderEnd>* leaders = nullptr);
    // Forgets a batch whose process has been reaped; a stderr pipe still
    // held by something it started is drained until it closes.
    void forget(const Child& child);
    // A stop batch that has ended: reaped, and `told` the line for the
    // output handler when it failed or said something. False while it runs.
    bool reapStop(const Child& child, QString& told);
    // Reads what the command wrote; once its shell has ended, reaps it and
    // tells the output handler.
    void collect(Command& command);
    // Reads what the program wrote, ends it when its time is up or it wrote
    // too much, and once it has been reaped hands its run to `done`.
    void step(Program& program);
    void deliver(quint64 id);
    // Whether `id` names a program whose run is not over.
    bool programRuns(quint64 id) const;

    QList<Child> children_;
    // The last command of each purpose, and ended ones still draining.
    std::vector<std::unique_ptr<Command>> commands_;
    std::vector<std::unique_ptr<Program>> programs_;
    // Pipes of reaped batches still held open by what they started.
    std::vector<std::shared_ptr<Pipe>> draining_;
    // The receiver of the starter's queued calls: they go with it.
    std::unique_ptr<QObject> context_;
    OutputHandler output_;
    quint64 nextId_ = 1;
    QByteArray mark_; // "TW_CLI_UI_QUERY=<panel pid>:<starter>:" before a query's id
};

// One pass over /proc, no child process; letter case ignored. A process
// counts when the file name of /proc/PID/exe, of its argv[0], or of the
// executable script its interpreter runs (a #! client) is the wanted name
// (/proc/PID/cmdline). When the exe link is missing (ENOENT: a kernel
// thread, a zombie) the process is none of the node's programs; when it is
// refused (EACCES, EPERM) and argv[0] is empty, the name comes from
// /proc/PID/stat, where a zombie or a kernel thread is not counted.
class ProcProcessTable final : public ProcessTable {
public:
    explicit ProcProcessTable(QString procRoot = QStringLiteral("/proc"));
    std::optional<int> countByImageName(const QString& imageName) override;

private:
    QByteArray root_; // in the file system's encoding
    // Kernel threads seen by the last scan, as (pid, inode of the proc
    // entry), sorted: an ordinary user may not read their exe, and they are
    // passed over without the fallback's opens (which made a user's check
    // several times dearer than root's).
    std::vector<std::pair<quint64, quint64>> kernelThreads_;
};

// The one rule by which the program writes a file whole (the settings
// file and its .bak, the batch files, the external file): relative to the
// folder's descriptor; a symbolic link followed only by the rule of
// writeFollowsLink; anything but a regular file refused; every write, the
// fsync and the close checked, and on any failure the old file left exactly
// as it was and the failure returned. The file is replaced (a temporary file
// in the same folder, renamed over it) or, by the rule of chooseWriteWay,
// rewritten in place, with its new length reserved first and the old bytes
// put back when a write fails. `mode` gives the written file these
// permission bits; by default a replaced file keeps its own, a new file gets
// 0666 less the umask.
Result writeFileWhole(const QString& path, const QByteArray& bytes, const WriteSteps& steps = {},
                      std::optional<unsigned> mode = std::nullopt);

// Files on the local file system through POSIX descriptors: logs are
// opened non-blocking and read only when fstat says they are regular files;
// writes follow writeFileWhole; appends open non-blocking, regular files only.
class LocalFileSystem final : public FileSystem {
public:
    explicit LocalFileSystem(WriteSteps steps = {}) : steps_(std::move(steps)) {}
    FileRead readFile(const QString& path, qint64 maxBytes) override;
    FileStamp stamp(const QString& path) override;
    Result writeFile(const QString& path, const QByteArray& bytes) override;
    Result appendFile(const QString& path, const QByteArray& bytes) override;
    QString decodeLocal(const QByteArray& bytes) const override;
    QByteArray encodeLocal(const QString& text) const override;

private:
    WriteSteps steps_;
};

// A symbolic link met by a write: whose it is, who writes, and the folder
// it stands in.
struct LinkSeen {
    unsigned linkOwner;
    unsigned user;
    unsigned folderOwner;
    unsigned folderMode;
};
// Whether a write goes through a symbolic link: only when the link is the
// user's own, or root's in a folder that only root can write (owned by root,
// no group or other write bit). Anyone else's link in a shared folder could
// point the write at a file the user never meant to change.
bool writeFollowsLink(const LinkSeen& link);

enum class WriteWay {
    Replace, // a temporary file in the same folder, renamed over the name
    InPlace, // the file itself: its whole content at offset 0, then cut to length
    Refuse,  // no way to write: the folder takes no new file and there is none
};
// How a file is written: exists and links describe the file at the path (a
// regular file, links its hard-link count); folderRefusesNewFile says that a
// temporary file could not be created in its folder for lack of permission
// (only asked when the answer matters). A file with other names is rewritten
// in place, so that every name sees the new content.
WriteWay chooseWriteWay(bool exists, unsigned links, bool folderRefusesNewFile);

// X11 with EWMH (_NET_ACTIVE_WINDOW, _NET_WM_STATE_ABOVE) when the
// application runs on xcb; otherwise a window system that can only give the
// program's own windows the stay-on-top hint.
std::unique_ptr<WindowSystem> createWindowSystem();

// The id of the program's menu entry, which its other desktop entries (the
// nodes', the autostart entries) carry in their names, so that they never
// take the place of another program's.
inline QString desktopAppId() {
    return QStringLiteral("io.github.tw_cli_ui.TWCLIUI");
}
// A desktop entry's Exec value that runs `program` with no arguments: in
// double quotes, with '"', '`', '$' and '\' escaped by a backslash and '%'
// doubled, as field codes take it; then the whole value escaped as a string
// (a backslash of the path ends as four, one of the quoting as two).
QString desktopExecValue(const QString& program);

// Start at login through an XDG autostart entry, the file
// <folder>/io.github.tw_cli_ui.TWCLIUI-<configuration>.desktop, whose Exec
// runs the configuration's program file (quoted by the desktop entry rules).
// packaging/tw-cli-ui-node writes the same file with the same text. The
// entry counts as on unless its [Desktop Entry] group says Hidden=true or
// X-GNOME-Autostart-enabled=false, as desktops' settings turn one off;
// switching it on writes it whole again, switching it off removes it.
class XdgAutostart final : public Autostart {
public:
    // folder: defaultFolder() unless a test gives another.
    XdgAutostart(QString configuration, QString programFile, QString folder = defaultFolder());
    // $XDG_CONFIG_HOME/autostart (~/.config/autostart by default).
    static QString defaultFolder();
    QString path() const;
    // The entry's text.
    static QByteArray entry(const QString& configuration, const QString& programFile);
    bool enabled() override;
    Result setEnabled(bool on) override;

private:
    QString configuration_;
    QString program_;
    QString folder_;
};

// The nodes' links (NodeLinks.h): <bin>/TW-CLI-UI-NAME, a symbolic link to
// the program, and <applications>/io.github.tw_cli_ui.TWCLIUI.node-NAME.desktop,
// the text packaging/tw-cli-ui-node wrote before the program took the work
// over, byte for byte, so entries made by either are the same; the start at
// login is the configuration's XdgAutostart entry in <autostart>. A link's
// place taken by anything but a symbolic link is left alone. The names are
// those of the menu entries.
class PosixNodeLinks final : public NodeLinks {
public:
    // The folders as defaultBinFolder(), xdgFolder("XDG_DATA_HOME", ...)
    // + "/applications" and XdgAutostart::defaultFolder() give them, unless
    // a test gives others.
    PosixNodeLinks(QString program, QString bin, QString applications, QString autostart);
    // $TW_CLI_UI_BIN_DIR when set and not empty, else ~/.local/bin.
    static QString defaultBinFolder();
    // The menu entry of node `name`.
    QString entryOf(const QString& name) const;
    static QByteArray entry(const QString& name, const QString& link);

    QString programOf(const QString& name) const override;
    bool hasProgram(const QString& name) const override;
    NodeChange add(const QString& name) override;
    NodeChange remove(const QString& name) override;
    QStringList names() const override;
    std::unique_ptr<Autostart> autostart(const QString& name) const override;
    QString folderOffPath() const override;

private:
    QString program_;
    QString bin_;
    QString applications_;
    QString autostart_;
};

// The program file as it was started: argv[0] made absolute (a link's own
// path, not its target), or, for a bare name, where PATH finds it.
QString programFileFromArgv0(const QString& argv0);

// SIGTERM, SIGINT and SIGHUP through a pipe to the event loop: the signal
// handler writes the signal's number into the pipe (all it may do there), a
// socket notifier reads it on the user-interface thread. The handlers and
// the pipe stay for the rest of the process once the handler is set, so a
// signal that comes while the program ends finds them (and is dropped).
// A signal that the program was started with ignored (nohup) stays ignored.
// The machine's shut down as systemd-logind tells it, on the system bus
// (org.freedesktop.login1, its Manager at /org/freedesktop/login1). While
// held, a delay inhibitor is taken (Inhibit: what "shutdown", who
// "TW-CLI-UI", why "Stopping the node", mode "delay") and its descriptor
// kept open; PrepareForShutdown(true) runs the work, and the descriptor is
// closed once the work has returned, which lets logind go on. Letting go of
// the hold closes it at once; PrepareForShutdown(false) (the shut down was
// called off) takes it again. logind's InhibitDelayMaxSec, read once, is
// said in the diagnostics. Without a system bus or logind (or D-Bus in the
// build) one remark says so and nothing else happens. The system bus is
// not opened before the first hold.
//
// Not sleep: a delay inhibitor for sleep would hold back every suspend, and
// a node that is suspended with the machine comes back with it; stopping
// it at each suspend would cost a restart (and its catching up) for
// nothing. A node survives a suspend as it survives a lost connection.
class LogindSessionEnd final : public SessionEnd {
public:
    // The arguments of Inhibit.
    static const QString What, Who, Why, Mode;
    LogindSessionEnd();
    ~LogindSessionEnd() override;
    LogindSessionEnd(const LogindSessionEnd&) = delete;
    LogindSessionEnd& operator=(const LogindSessionEnd&) = delete;
    void setWork(QWidget* window, Work work, Say say) override;
    void setHeld(bool held) override;
    // Whether the inhibitor's descriptor is open now.
    bool holdsInhibitor() const;

private:
    std::unique_ptr<class LogindWatch> watch_;
};

class PosixEndRequests final : public EndRequests {
public:
    PosixEndRequests() = default;
    ~PosixEndRequests() override;
    void setHandler(std::function<void(const QString& what)> handler) override;
    SessionEnd* sessionEnd() override { return &logind_; }

private:
    std::function<void(const QString&)> handler_;
    std::unique_ptr<QObject> notifier_;
    LogindSessionEnd logind_;
};

// File name of argv[0] less a trailing ".exe" (any letter case): a copy or
// link under another name has its own section.
QString executableNameFromArgv0(const char* argv0);
// $XDG_STATE_HOME/TW-CLI-UI (~/.local/state/TW-CLI-UI by default).
QString defaultStateFolder();

} // namespace tw::platform
