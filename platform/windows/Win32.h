#pragma once
// The Windows system calls the program makes, behind plain C++ (no Qt), so
// that they build and are tested on their own. Windows.h stays inside the
// *_win.cpp files; the adapters in Windows_win.cpp turn these into the
// platform interfaces.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
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
RegistryRead readSetting(const std::wstring& application, const std::wstring& section,
                         const std::wstring& key);
Outcome writeSetting(const std::wstring& application, const std::wstring& section,
                     const std::wstring& key, const std::wstring& value);

// --- Processes ---
// Processes whose image name (file name with extension) equals `imageName`,
// letter case ignored; nullopt when the process list cannot be read.
std::optional<int> countProcesses(const std::wstring& imageName);

// A started batch file. A query's batch runs in a job of its own, so that
// everything it starts can be ended together.
struct StartedBatch {
    Outcome outcome;
    void* job = nullptr; // the query's job (a HANDLE), null for a stop batch
};
// cmd.exe /d /s /c ""path"": the file's own text is what cmd.exe runs;
// hidden (no console window), not waited for.
StartedBatch startBatchFile(const std::wstring& path, bool query);
// Ends whatever the query's job still runs; returns how many processes
// were still running (0: all had finished). Closes the job.
int finishBatch(void* job);
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
// band, SWP_NOMOVE | SWP_NOSIZE.
void setTopMost(std::uintptr_t window, bool topMost);
bool isTopMost(std::uintptr_t window);

// --- The program itself ---
// The module's file name without its extension ("BTC-A.exe" -> "BTC-A").
std::wstring executableName();
// %LOCALAPPDATA%\TW-CLI-UI (the diagnostics log's folder).
std::wstring stateFolder();

} // namespace tw::platform::win
