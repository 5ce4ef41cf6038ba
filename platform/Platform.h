#pragma once
// The program's only doorway to the operating system. Every subsystem talks
// to these small interfaces; the composition root hands in the real ones and
// the tests hand in fakes. Nothing here names a POSIX or Windows type, so a
// Windows implementation plugs in beside the POSIX one.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <utility>

class QWidget;

namespace tw::platform {

// Outcome of an operation that can fail: ok, or a one-line reason that the
// diagnostics show as it stands.
struct Result {
    bool ok = true;
    QString error;
    static Result success() { return {}; }
    static Result failure(QString why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

// Monotonic time in milliseconds and the blocking wait of a handler.
// The scheduler of window timers asks the clock to call it back at a time;
// the clock keeps one such request (a later request replaces it).
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 now() const = 0;
    virtual void setWakeHandler(std::function<void()> handler) = 0;
    virtual void wakeAt(qint64 timeMs) = 0;
    virtual void cancelWake() = 0;
    // Block the calling handler for ms milliseconds. The real clock keeps the
    // windows painting meanwhile but delivers no user input; the virtual
    // clock of the tests simply moves time on.
    virtual void wait(int ms) = 0;
};

// One value read from the store. "No such key" and "cannot read the
// store" are different answers: only the first may be taken as the default.
struct SettingRead {
    enum class State { Found, Missing, Unreadable };
    State state = State::Missing;
    QString value; // Found: the stored text
    // Unreadable: why. Otherwise empty, or why the store will not be
    // rewritten although what it holds could be read (a file that does not
    // parse whole).
    QString problem;

    static SettingRead found(QString text) { return {State::Found, std::move(text), {}}; }
    static SettingRead missing() { return {}; }
    static SettingRead unreadable(QString why) { return {State::Unreadable, {}, std::move(why)}; }
};

// Values of one section to be written together: (key, text), in order; a
// later value of the same key wins.
using SettingValues = QList<std::pair<QString, QString>>;

// Per-user store of text values addressed by application, section and key.
class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // Missing when the key (or its section or application) does not exist.
    virtual SettingRead read(const QString& application, const QString& section,
                             const QString& key) = 0;
    // Writes the values of one occasion together and syncs at once: a file
    // store takes its lock, reads and writes the file once for all of them.
    // A failed write or sync is reported; then none of them is saved where
    // the store can promise it (the INI file), otherwise those before the
    // failure are.
    virtual Result writeValues(const QString& application, const QString& section,
                               const SettingValues& values) = 0;
    // One value.
    Result write(const QString& application, const QString& section, const QString& key,
                 const QString& value) {
        return writeValues(application, section, {{key, value}});
    }
    // Where the values live, for the diagnostics and the README.
    virtual QString location() const = 0;
    // The sections of `application` that hold at least one value (each a
    // configuration), in the store's order; empty when there are none or
    // the store cannot be read.
    virtual QStringList sections(const QString& application) = 0;
};

// What a batch file is run for. A query's processes belong to its cycle,
// which ends whatever of them still runs once it has read the log; the stop
// command's are left to finish, as the node needs them to.
enum class BatchKind { Query, Stop };

struct BatchStart {
    Result result;   // failure: nothing was run
    quint64 id = 0;  // names the started batch for finishBatch; 0 when nothing was run
    QString skipped; // lines of the file that were not run, for the diagnostics; empty when none
};

// How a batch ended, for the query cycle's report. The client's own words
// are the best diagnosis: a failed query shows its exit status and the start
// of what it wrote on its error output.
struct BatchEnd {
    // What had to be ended (the client or what it started still ran), one
    // line for the diagnostics; empty when everything had finished by itself.
    QString ended;
    // The batch's exit status when it ended by itself (on Windows cmd.exe's,
    // which is the client's for a one-line batch file); nullopt when it had
    // to be ended, died of a signal, or is unknown.
    std::optional<int> exitStatus;
    // How it died when not by itself ("SIGKILL", "SIGXFSZ"); empty otherwise.
    QString signal;
    // The first MaxErrorBytes of what the client wrote on its error output,
    // as written (local 8-bit encoding).
    QByteArray errorOutput;
    static constexpr qint64 MaxErrorBytes = 4096;
};

// One run of a program started directly (no shell, no batch file, no
// window), its standard output read into memory.
struct ProgramRun {
    // failure: not started, or ended for running too long or writing too
    // much (why, in a few words). The fields below hold what was seen.
    Result result;
    std::optional<int> exitStatus; // nullopt: it did not end by itself
    QByteArray output;             // standard output, at most the maximum asked for
    QByteArray errorOutput;        // the first BatchEnd::MaxErrorBytes of its error output
    bool timedOut = false;         // ended after the time given
    bool outputCut = false;        // wrote more than the maximum: ended, output cut
};

// Starting batch files and the user's command.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Run the batch file at `path` (the whole text is one path, never split at
    // blanks) with no visible window, not waited for.
    virtual BatchStart startBatchFile(const QString& path, BatchKind kind) = 0;
    // Ends whatever query batch `id` started that still runs: asked to end,
    // then forced after a short grace (blocking a few hundred ms at most).
    // Says what had to be ended (`ended` empty when everything had finished
    // by itself, or `id` is not a running query batch), the batch's exit
    // status and the start of its error output. Asked once per batch.
    virtual BatchEnd finishBatch(quint64 id) = 0;
    // Ends everything that query batches started and that still runs (the
    // panel closes). Stop batches are left running.
    virtual void endQueries() = 0;
    // Run the user's command line in a normal window (on POSIX: /bin/sh -c),
    // not waited for: it is the user's own command and the starter never
    // ends it. `purpose` says what it is for ("user command", "alert
    // command") and names it in every message. A command of one purpose
    // runs once at a time: while the last one still runs, the start is
    // refused.
    virtual Result startUserCommand(const QString& commandLine, const QString& purpose) = 0;
    // What a command wrote (standard output and error), for the diagnostics:
    // one line per run, told once the run has ended, with its purpose. A
    // system that shows a command's output in a window of its own tells
    // nothing.
    // A stop batch that ended with a non-zero status or wrote on its error
    // output is told here too, with the purpose "stop command" (a stop batch
    // is never finished by its caller).
    using OutputHandler = std::function<void(const QString& purpose, const QString& line)>;
    virtual void setOutputHandler(OutputHandler handler) = 0;
    // Start `program` (a path, or a bare name looked up as the batch runner
    // looks it up) with `arguments` directly: no shell, no batch file, no
    // window, standard input empty. Never blocks: `done` is called once, on
    // the calling thread's event loop, when the program has ended, or after
    // `timeoutMs` or once it has written more than `maxOutputBytes` on its
    // standard output (then it and what it started are ended). `done` is
    // never called from inside runProgram, nor after the starter is gone.
    using ProgramDone = std::function<void(const ProgramRun&)>;
    virtual void runProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                            qint64 maxOutputBytes, ProgramDone done) = 0;
};

// The machine's process table.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // Number of running processes whose image name equals `imageName`,
    // letter case ignored; 0 for an empty name; nullopt when the process
    // list cannot be read.
    virtual std::optional<int> countByImageName(const QString& imageName) = 0;
};

// One state of a file as the file system records it: which file it is
// (device and inode), its size, and when its content and its inode last
// changed (nanoseconds). Two stamps of one path are equal only when nothing
// wrote the file in between. The default stamp stands for "no such file".
// The program only compares stamps; what they hold is the file system's.
class FileStamp {
public:
    FileStamp() = default;
    static FileStamp of(quint64 device, quint64 inode, qint64 size, qint64 modifiedNs,
                        qint64 changedNs) {
        FileStamp stamp;
        stamp.exists_ = true;
        stamp.device_ = device;
        stamp.inode_ = inode;
        stamp.size_ = size;
        stamp.modifiedNs_ = modifiedNs;
        stamp.changedNs_ = changedNs;
        return stamp;
    }
    bool exists() const { return exists_; }
    friend bool operator==(const FileStamp&, const FileStamp&) = default;

private:
    bool exists_ = false;
    quint64 device_ = 0;
    quint64 inode_ = 0;
    qint64 size_ = 0;
    qint64 modifiedNs_ = 0;
    qint64 changedNs_ = 0;
};

struct FileRead {
    Result result;
    QByteArray bytes;       // at most the requested maximum
    qint64 fullSize = 0;    // the file's size on disk
    bool truncated = false; // fullSize was larger than the maximum
    FileStamp stamp;        // the file that was read, as it was when it was read
};

// Text files that the program reads or writes for others.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Read a whole file, at most maxBytes of it. Only a regular file is read;
    // anything else (FIFO, device, socket, folder) is refused with a reason,
    // and the call never blocks.
    virtual FileRead readFile(const QString& path, qint64 maxBytes) = 0;
    // The file at `path` as it is now (links followed); FileStamp() when
    // there is none.
    virtual FileStamp stamp(const QString& path) = 0;
    // Give the file `bytes` (already encoded). It is replaced whole where its
    // folder allows it (a reader sees the old file or the new one); a file
    // with other hard links, or in a folder that takes no new file, is
    // rewritten in place. A symbolic link is written through only when it
    // is the user's own (or root's in a folder that only root can write);
    // anything but a regular file is refused. Never blocks.
    virtual Result writeFile(const QString& path, const QByteArray& bytes) = 0;
    // Add `bytes` at the end of a log of the program's own (created when
    // missing). Only a regular file is appended to: a FIFO, device or folder
    // in its place is refused and never waited on. A write that fails (a
    // full disk) is taken back, so the file never ends in half a line.
    virtual Result appendFile(const QString& path, const QByteArray& bytes) = 0;
    // Text in the local 8-bit encoding and back.
    virtual QString decodeLocal(const QByteArray& bytes) const = 0;
    virtual QByteArray encodeLocal(const QString& text) const = 0;
};

// An opaque window handle; 0 is no window.
using WindowHandle = quintptr;

// Foreground window and the always-on-top band.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    virtual WindowHandle handleOf(QWidget* window) = 0;
    virtual WindowHandle foregroundWindow() = 0;
    // Put the window into the always-on-top band (true) or take it out (false)
    // without moving or resizing it.
    virtual void setTopMost(WindowHandle window, bool topMost) = 0;
    // Place the window just below `sibling`, both out of the band, without
    // moving, resizing or activating it; nothing where the window system
    // cannot.
    virtual void placeBelow(WindowHandle window, WindowHandle sibling) = 0;
    // One line for the diagnostics when this window system has no way to
    // place other programs' windows (empty when it has).
    virtual QString limitation() const = 0;
    // Lets the process at the far end of a local connection (`localSocket`,
    // a QLocalSocket's descriptor) bring its window to the front, where the
    // system keeps that for the program the user started last; nothing to
    // do where any program may.
    virtual void allowForegroundTo(qintptr localSocket) { Q_UNUSED(localSocket); }
};

// The end of the desktop session or of the machine, told ahead to a program
// that has work to finish first (the node's stop), with the end held back
// while that work runs:
// - Linux: systemd-logind's delay inhibitor for shutdown, held while the
//   program asks for it; its signal PrepareForShutdown(true) runs the work,
//   and the inhibitor is let go once the work has returned. logind holds
//   the end back for at most its InhibitDelayMaxSec.
// - Windows: WM_QUERYENDSESSION (a log off or a shut down; not an
//   installer's request to close the program) runs the work before the
//   message is answered, with a reason for the system's shut-down screen.
// The work runs on the user-interface thread and may wait in nested event
// loops; it runs once at a time.
class SessionEnd {
public:
    virtual ~SessionEnd() = default;
    // `why` names the end ("the machine shuts down").
    using Work = std::function<void(const QString& why)>;
    // What the platform has to say for the diagnostics: `key` names the
    // matter, `failure` false for a remark (said once per key), true for a
    // failure; an empty line clears the failure of `key`.
    using Say = std::function<void(const QString& key, const QString& line, bool failure)>;
    // `window`: the program's main window (on Windows the owner of the
    // reason shown). A null `work` stops the watch.
    virtual void setWork(QWidget* window, Work work, Say say) = 0;
    // Asks for the end to be told and held back (true), or no more (false:
    // on Linux the inhibitor is let go at once).
    virtual void setHeld(bool held) = 0;
};

// Requests from outside the program to end it as its close button does: on
// POSIX the signals SIGTERM, SIGINT and SIGHUP. Each request is told to the
// handler on the user-interface thread's event loop, never from inside a
// signal handler, once per signal received (a second one too). Nothing is
// watched before the handler is set; a signal ignored since the program's
// start (nohup) is left ignored.
class EndRequests {
public:
    virtual ~EndRequests() = default;
    // `what` names the request ("SIGTERM").
    virtual void setHandler(std::function<void(const QString& what)> handler) = 0;
    // The end of the session or of the machine told ahead, where the system
    // tells it; null where it does not.
    virtual SessionEnd* sessionEnd() { return nullptr; }
};

// Whether one configuration's program starts when the user logs in to the
// desktop: on Linux an XDG autostart entry of the user's, on Windows a value
// under the user's Run key. tw-cli-ui-node reads and writes the same entry.
class Autostart {
public:
    virtual ~Autostart() = default;
    // Whether the desktop starts it at login: the entry is there and the
    // desktop's own settings have not turned it off.
    virtual bool enabled() = 0;
    // Makes the entry, running this configuration's program file (true), or
    // takes it away (false). On failure nothing has changed, and why.
    virtual Result setEnabled(bool on) = 0;
};

// The path separator piece of composed paths: "/" on POSIX, "\\" on Windows.
inline QString pathSeparator() {
#ifdef Q_OS_WIN
    return QStringLiteral("\\");
#else
    return QStringLiteral("/");
#endif
}

// The file name of a program called `name`: "name.exe" on Windows, the
// name itself on POSIX.
inline QString programFileName(const QString& name) {
#ifdef Q_OS_WIN
    return name + QStringLiteral(".exe");
#else
    return name;
#endif
}

// Everything above, handed around as one bundle by the composition root.
struct Platform {
    Clock& clock;
    SettingsBackend& settings;
    ProcessStarter& starter;
    ProcessTable& processes;
    FileSystem& files;
    WindowSystem& windows;
    QString executableName; // the section of the store: the program's own file name
    QString stateFolder;    // per-user folder for the diagnostics log
};

} // namespace tw::platform
