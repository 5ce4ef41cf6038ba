#pragma once
// The Windows system calls the program makes, behind plain C++ (no Qt), so
// that they build and are tested on their own. Windows.h stays inside the
// *_win.cpp files; the adapters in Windows_win.cpp turn these into the
// platform interfaces.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tw::platform::win {

// ok, or the system's own message for what failed.
struct Outcome {
    bool ok = true;
    std::wstring error;
    static Outcome failure(std::wstring why) { return {false, std::move(why)}; }
};

// The system's message for a Win32 error code, on one line.
std::wstring errorText(unsigned long code);

// --- Settings: HKEY_CURRENT_USER\Software\VB and VBA Program Settings ---
// One key per application and section below that, one REG_SZ value per
// setting: where GetSetting/SaveSetting-style programs keep per-user values.
std::wstring settingsKeyPath(const std::wstring& application, const std::wstring& section);

struct RegistryRead {
    enum class State { Found, Missing, Unreadable } state = State::Missing;
    std::wstring value; // Found: the text
    std::wstring error; // Unreadable: why
};
// The subkeys (sections) of the application's key that hold at least one
// value; empty when there is no such key or it cannot be read.
std::vector<std::wstring> settingSections(const std::wstring& application);
RegistryRead readSetting(const std::wstring& application, const std::wstring& section,
                         const std::wstring& key);
Outcome writeSetting(const std::wstring& application, const std::wstring& section,
                     const std::wstring& key, const std::wstring& value);

// --- Start at login: the user's Run key (RunKeyPath below
// HKEY_CURRENT_USER), one REG_SZ value per program, its command line ---
extern const wchar_t* const RunKeyPath;
// Where Task Manager's Startup page keeps which Run values it turned off:
// a REG_BINARY per value name, its first byte odd when off.
extern const wchar_t* const StartupApprovedPath;
// The command line of the Run value `name`; nullopt when there is none.
std::optional<std::wstring> runAtLogon(const std::wstring& name);
// Whether Task Manager turned the Run value `name` off.
bool turnedOffAtLogon(const std::wstring& name);
// Sets the Run value `name` to `commandLine` and clears Task Manager's
// "off" for it.
Outcome setRunAtLogon(const std::wstring& name, const std::wstring& commandLine);
// Takes the Run value `name` (and Task Manager's mark for it) away; no such
// value is no failure.
Outcome removeRunAtLogon(const std::wstring& name);

// --- Processes ---
// Processes whose image name (file name with extension) equals `imageName`,
// letter case ignored; nullopt when the process list cannot be read.
std::optional<int> countProcesses(const std::wstring& imageName);

// The read end of a pipe whose write end a started process holds (and
// whatever it starts in turn). Read without ever waiting (PeekNamedPipe
// says how much is there), so that its owner can look at it from a timer:
// the first `keep` bytes are kept, all are counted. At its end (every
// write end closed) it closes.
class OutputPipe {
public:
    OutputPipe() = default;
    OutputPipe(void* readEnd, std::size_t keep) : pipe_(readEnd), keep_(keep) {}
    OutputPipe(OutputPipe&& other) noexcept { *this = std::move(other); }
    OutputPipe& operator=(OutputPipe&& other) noexcept;
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;
    ~OutputPipe() { close(); }
    // What the pipe holds now (up to a bound per call).
    void drain();
    void close();
    bool open() const { return pipe_ != nullptr; }
    const std::string& kept() const { return kept_; }
    std::uint64_t total() const { return total_; }

private:
    void* pipe_ = nullptr; // a HANDLE
    std::size_t keep_ = 0;
    std::string kept_;
    std::uint64_t total_ = 0;
};

// The most of a client's or a program's error output that is kept.
constexpr std::size_t MaxErrorBytes = 4096;

// A started batch file. A query's batch runs in a job of its own, so that
// everything it starts can be ended together.
struct StartedBatch {
    Outcome outcome;
    void* job = nullptr;     // the query's job (a HANDLE), null for a stop batch
    void* process = nullptr; // cmd.exe (a HANDLE; close with closeProcess), null when not run
    OutputPipe errors;       // cmd.exe's stderr, which the client inherits: its first 4 KiB
};
// cmd.exe /d /s /c ""path"": the file's own text is what cmd.exe runs;
// hidden (no console window), not waited for; stdin and stdout on NUL (the
// line sends the client's stdout to its log), stderr into `errors`.
StartedBatch startBatchFile(const std::wstring& path, bool query);
// Ends whatever the query's job still runs; returns how many processes
// were still running (0: all had finished). Closes the job.
int finishBatch(void* job);
// The exit code of a process that has ended; nullopt while it runs (or
// when it cannot be asked).
std::optional<unsigned long> exitCodeOf(void* process);

// One argument on a command line, quoted so that a program's C runtime
// (the MSVC rules, which CommandLineToArgvW follows too) reads it back
// exactly: as it stands when it holds no blank, tab or double quote and is
// not empty; otherwise in double quotes, with the backslashes before a
// double quote, or before the closing one, doubled and the quote escaped.
std::wstring quoteArgument(const std::wstring& argument);

// A program started directly (CreateProcessW, no shell, no window), in a
// job of its own (kill-on-close), stdin on NUL, stdout and stderr into
// pipes. Its owner calls poll() from a timer: nothing ever waits.
class ProgramRun {
public:
    // A bare name (no '\\' or '/') is looked up with SearchPathW, ".exe"
    // added when it has no extension.
    ProgramRun(const std::wstring& program, const std::vector<std::wstring>& arguments,
               std::uint64_t timeoutMs, std::uint64_t maxOutput);
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;
    // Ends whatever of it still runs (its job).
    ~ProgramRun();
    // One look: reads what it wrote; ends it (its job) once it has written
    // more than the maximum on stdout or its time is up; once the program
    // itself has ended, ends what it left, reads the rest and closes the
    // pipes. True once the run is over: the fields below are then final.
    bool poll();

    Outcome outcome;                       // failure: not started, time up, too much output (why)
    std::optional<unsigned long> exitCode; // when it ended by itself
    std::string output;                    // stdout, at most the maximum
    std::string errors;                    // the first MaxErrorBytes of stderr
    bool timedOut = false;
    bool outputCut = false;

private:
    void finish();
    std::wstring name_; // "\"program\"" for the messages
    void* process_ = nullptr;
    void* job_ = nullptr;
    OutputPipe stdout_, stderr_;
    std::uint64_t started_ = 0, timeoutMs_ = 0, maxOutput_ = 0;
    bool ending_ = false, over_ = false;
};
// The user's command line, in a normal window with focus, not waited for;
// `purpose` ("user command", "alert command") names it in the messages.
// The process handle is kept, so that a second start can be refused while
// it runs: close it with closeProcess.
struct StartedCommand {
    Outcome outcome;
    void* process = nullptr; // a HANDLE, null when nothing was started
};
StartedCommand startCommand(const std::wstring& commandLine, const std::wstring& purpose);
// Whether the process behind a handle from startCommand still runs.
bool processRuns(void* process);
void closeProcess(void* process);

// --- Files the program reads and writes ---
// One state of a file: which file (volume and index), its size and when its
// content and its metadata last changed. Equal stamps: nothing wrote it.
struct FileStampW {
    bool exists = false;
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::int64_t size = 0;
    std::int64_t written = 0; // 100 ns units
    std::int64_t changed = 0;
    bool operator==(const FileStampW&) const = default;
};
struct FileReadW {
    Outcome outcome;
    std::string bytes; // at most the maximum asked for
    std::int64_t fullSize = 0;
    FileStampW stamp;
};
// Only a file on disk is read (a pipe, a device such as CON or NUL, or a
// folder is refused), never blocking.
FileReadW readRegularFile(const std::wstring& path, std::size_t maxBytes);
FileStampW stampOf(const std::wstring& path);
// The log a batch line names after " > ", before cmd.exe opens it: a
// symbolic link or other reparse point that is not the user's own is
// refused (by the rule of writeFileSafely), so that the batch does not run.
Outcome checkBatchLog(const std::wstring& logPath);
// The call that puts bytes into an open file: WriteFile by default; the
// tests replace it to make the disk fill up at any byte. Returns 0 or the
// Win32 error, and how many bytes it wrote.
using WriteStep = std::function<std::uint32_t(void* file, const char* data, std::uint32_t size,
                                              std::uint32_t& written)>;
// Gives the file `bytes`: replaced whole (ReplaceFileW keeps its attributes
// and permissions) where the folder takes a new file, else rewritten in
// place (also when the file has other hard links). A symbolic link or other
// reparse point is written through only when it is the user's own; anything
// but a file on disk is refused. Every write and the flush are checked
// before the swap; in place, the new length is reserved first and the old
// bytes are put back when a write fails: on any failure the old file is
// left as it was.
Outcome writeFileSafely(const std::wstring& path, const std::string& bytes,
                        const WriteStep& step = {});
// Adds `bytes` at the end of a file on disk (created when missing); a pipe
// or device is refused, a write that fails is taken back.
Outcome appendToFile(const std::wstring& path, const std::string& bytes);

// --- Windows ---
std::uintptr_t foregroundWindow();
// SetWindowPos into (HWND_TOPMOST) or out of (HWND_NOTOPMOST) the top-most
// band, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE.
void setTopMost(std::uintptr_t window, bool topMost);
// SetWindowPos just below `sibling`, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE.
void placeBelow(std::uintptr_t window, std::uintptr_t sibling);
bool isTopMost(std::uintptr_t window);
// AllowSetForegroundWindow for the process that serves the named pipe whose
// client end is `pipe`: the user started this process, which may hand its
// right to the foreground on to the panel it asks to come to the front.
void allowForegroundToPipeServer(void* pipe);

// --- The session's end ---
// What a WM_QUERYENDSESSION asks (its lParam): a log off (ENDSESSION_LOGOFF,
// else a shut down or restart), or only the program's close while the
// session goes on (ENDSESSION_CLOSEAPP alone: an installer or the restart
// manager wants its files).
struct EndSessionQuery {
    bool logOff = false;
    bool programOnly = false;
};
// The question of `message` (a MSG*); nullopt for any other message.
std::optional<EndSessionQuery> endSessionQuery(const void* message);
// ShutdownBlockReasonCreate: the reason the shut-down screen shows for
// `window` while the program holds the end back.
Outcome blockSessionEnd(std::uintptr_t window, const std::wstring& reason);
// ShutdownBlockReasonDestroy.
Outcome unblockSessionEnd(std::uintptr_t window);
// SetProcessShutdownParameters: the program is asked among the first at
// the session's end (true, level 0x3FF) or at the default level 0x280.
Outcome askFirstAtSessionEnd(bool first);
// GetProcessShutdownParameters' level; 0 when it cannot be had.
unsigned long sessionEndLevel();

// --- The program itself ---
// The module's full path (empty when it cannot be had).
std::wstring modulePath();
// The module's file name without its extension ("BTC-A.exe" -> "BTC-A").
std::wstring executableName();
// %LOCALAPPDATA%\TW-CLI-UI (the diagnostics log's folder).
std::wstring stateFolder();
// A windowed program started from a console writes there: standard output
// and error that are not redirected already go to the parent's console.
void attachParentConsole();

// --- A node's program file and Start-menu shortcut ---
// The user's Start menu Programs folder (FOLDERID_Programs); empty when it
// cannot be had.
std::wstring programsFolder();
// Whether the two paths name one file (the same volume and file index: a
// hard link of it, or the same name); false when either cannot be opened.
bool sameFile(const std::wstring& a, const std::wstring& b);
// `link` as a second name of the file `existing` (CreateHardLinkW), or, on
// a file system without hard links, a copy of it. `copied` says which.
// Fails when `link` exists.
Outcome linkOrCopy(const std::wstring& existing, const std::wstring& link, bool& copied);
// Deletes a file; no such file is no failure.
Outcome deleteFile(const std::wstring& path);
// Gives a file another name in the same folder (MoveFileExW, no copy) and
// hides it; for a name of a program file whose image runs, which Windows
// keeps from being deleted but not from being renamed.
Outcome renameHidden(const std::wstring& from, const std::wstring& to);
// Whether a file or folder is at `path`.
bool exists(const std::wstring& path);
// Writes the shell link (.lnk) `shortcut` that starts `target` in
// `workingFolder` with its first icon, `description` as its tooltip
// (IShellLinkW saved through IPersistFile).
Outcome writeShortcut(const std::wstring& shortcut, const std::wstring& target,
                      const std::wstring& workingFolder, const std::wstring& description);

} // namespace tw::platform::win
