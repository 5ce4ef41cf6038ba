// The Windows cores against the real system calls (under Wine here): the
// registry store with reg.exe on the other side, batch files run by
// cmd.exe, a query's job ended, the process count, files on disk only, the
// replace and in-place writes. Plain C++: runs without Qt; prints
// "N passed, N failed" and returns the number of failures.

#include "platform/windows/Win32.h"

#include <windows.h>

#include <aclapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace tw::platform::win;

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char* what, const std::wstring& detail = {}) {
    if (ok) {
        ++passed;
        return;
    }
    ++failed;
    std::fprintf(stderr, "FAIL: %s %ls\n", what, detail.c_str());
}

// Runs a command line to its end; its exit code, and its output in `output`.
DWORD run(std::wstring commandLine, std::string* output = nullptr) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return 255;
    }
    CloseHandle(writeEnd);
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
        if (output)
            output->append(buffer, n);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 255;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

bool writeBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::string readBytes(const std::wstring& path) {
    return readRegularFile(path, 1 << 20).bytes;
}

// Waits up to ten seconds for `done`.
bool within(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i) {
        if (done())
            return true;
        Sleep(50);
    }
    return done();
}

std::wstring temporaryFolder() {
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, path);
    std::wstring folder = std::wstring(path) + L"tw-win32-core-" +
                          std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(GetTickCount64());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void registry() {
    const std::wstring app = L"TW-CLI-UI", section = L"TW-WIN32-CORE-TEST";
    const std::wstring values[] = {L"", L"C:\\Program Files\\x;y,\"z\"", L"  blanks  ",
                                   L"Gr\u00fc\u00dfe \u65e5\u672c", std::wstring(5000, L'x')};
    int n = 0;
    for (const std::wstring& value : values) {
        const std::wstring key = L"K" + std::to_wstring(n++);
        check(writeSetting(app, section, key, value).ok, "registry write", key);
        const RegistryRead read = readSetting(app, section, key);
        check(read.state == RegistryRead::State::Found && read.value == value, "registry read back",
              key);
    }
    check(readSetting(app, section, L"ABSENT").state == RegistryRead::State::Missing,
          "absent key is missing");
    check(readSetting(app, L"NO-SUCH-SECTION", L"K0").state == RegistryRead::State::Missing,
          "absent section is missing");

    // reg.exe on the other side, both ways.
    const std::wstring keyPath = L"HKCU\\" + settingsKeyPath(app, section);
    check(run(L"reg.exe add \"" + keyPath + L"\" /v BY_REG /t REG_SZ /d \"from reg\" /f") == 0,
          "reg add");
    const RegistryRead fromReg = readSetting(app, section, L"BY_REG");
    check(fromReg.state == RegistryRead::State::Found && fromReg.value == L"from reg",
          "a value reg.exe wrote is read", fromReg.value);
    check(writeSetting(app, section, L"FOR_REG", L"to reg").ok, "registry write for reg");
    std::string output;
    run(L"reg.exe query \"" + keyPath + L"\" /v FOR_REG", &output);
    check(output.find("to reg") != std::string::npos, "reg query sees the value");
    run(L"reg.exe delete \"" + keyPath + L"\" /f");
}

void batchFiles(const std::wstring& folder) {
    const std::wstring log = folder + L"\\CLI-UI\\CLI-UI-GBC.LOG";
    CreateDirectoryW((folder + L"\\CLI-UI").c_str(), nullptr);
    const std::wstring batch = folder + L"\\CLI-UI\\CLI-UI-GBC.BAT";
    // The program's own one-line format, CR LF, a client path in quotes.
    std::string line = "call \"C:\\windows\\system32\\cmd.exe\" /c echo 812345 > ";
    for (const wchar_t c : log)
        line += static_cast<char>(c);
    check(writeBytes(batch, line + "\r\n"), "batch file written");
    const StartedBatch started = startBatchFile(batch, true);
    check(started.outcome.ok && started.job, "query batch started", started.outcome.error);
    check(within([&] { return readBytes(log).find("812345") == 0; }), "the batch wrote its log");
    check(finishBatch(nullptr) == 0, "nothing to end for no job");
    Sleep(200);
    check(finishBatch(started.job) == 0, "a finished query has nothing left to end");

    // A query whose client never ends is ended with everything it started.
    const std::wstring endless = folder + L"\\ENDLESS.BAT";
    check(writeBytes(endless, ":again\r\nping -n 2 127.0.0.1 > NUL\r\ngoto again\r\n"),
          "endless batch written");
    const StartedBatch hung = startBatchFile(endless, true);
    check(hung.outcome.ok, "endless batch started", hung.outcome.error);
    Sleep(500);
    check(finishBatch(hung.job) >= 1, "the hung query is ended");

    check(!startBatchFile(folder + L"\\MISSING.BAT", true).outcome.ok,
          "a missing batch file is reported");
    check(!startCommand(L"  ", L"user command").outcome.ok, "an empty user command is reported");
}

// A command's process is kept, so that the adapter can refuse a second
// start while it runs.
void commands() {
    const StartedCommand waits =
        startCommand(L"cmd.exe /d /c ping -n 3 127.0.0.1 > NUL", L"user command");
    check(waits.outcome.ok && waits.process, "a command started, its process kept",
          waits.outcome.error);
    check(processRuns(waits.process), "the command runs");
    WaitForSingleObject(static_cast<HANDLE>(waits.process), 30000);
    check(!processRuns(waits.process), "once it has ended it does not run");
    closeProcess(waits.process);
    check(!processRuns(nullptr), "nothing runs for no process");
    const StartedCommand empty = startCommand(L" \t", L"alert command");
    check(!empty.outcome.ok && !empty.process && empty.outcome.error == L"alert command is empty",
          "an empty alert command is reported", empty.outcome.error);
}

// The log a batch line names, before cmd.exe opens it: none yet, a file, or
// the user's own link are fine; a link that another owner holds is refused.
void batchLogs(const std::wstring& folder) {
    const std::wstring log = folder + L"\\CLI-UI-GBC.LOG";
    check(checkBatchLog(log).ok, "a log that is not there yet");
    check(writeBytes(log, "1\r\n") && checkBatchLog(log).ok, "a log that is a file");
    const std::wstring link = folder + L"\\LINKED.LOG";
    if (!CreateSymbolicLinkW(link.c_str(), log.c_str(), 0)) {
        std::printf("note: no symbolic link here (%lu): the link cases are not run\n",
                    GetLastError());
        return;
    }
    check(checkBatchLog(link).ok, "the user's own link", checkBatchLog(link).error);
    // The link given to the Administrators group, where the system lets the
    // test do that.
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    HANDLE handle = CreateFileW(link.c_str(), WRITE_OWNER | READ_CONTROL, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool given = handle != INVALID_HANDLE_VALUE &&
                       CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
                       SetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid,
                                       nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (!given) {
        std::printf("note: the link could not be given to another owner here\n");
        return;
    }
    const Outcome refused = checkBatchLog(link);
    check(!refused.ok && refused.error.find(L"not the user's own; not run") != std::wstring::npos,
          "another owner's link is refused", refused.error);
}

void processes() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = std::wstring(path).substr(std::wstring(path).find_last_of(L"\\/") + 1);
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(towupper(c));
    const auto count = countProcesses(name);
    check(count && *count >= 1, "this program counted by its name in other letter case", name);
    check(countProcesses(L"no-such-program.exe") == 0, "an absent program counts 0");
    check(countProcesses(L"") == 0, "an empty name counts 0");
    check(executableName() == L"test_win32_core", "executable name without .exe", executableName());
}

void files(const std::wstring& folder) {
    const std::wstring file = folder + L"\\external.txt";
    check(writeFileSafely(file, "100\r\n").ok, "a new file is written");
    const FileStampW before = stampOf(file);
    check(before.exists && readBytes(file) == "100\r\n", "its content");
    Sleep(20);
    check(writeFileSafely(file, "101\r\n").ok, "replaced whole");
    check(readBytes(file) == "101\r\n" && !(stampOf(file) == before), "new content, new stamp");
    check(stampOf(file) == stampOf(file), "an unwritten file keeps its stamp");

    const std::wstring second = folder + L"\\second-name.txt";
    check(CreateHardLinkW(second.c_str(), file.c_str(), nullptr) != 0, "hard link made");
    check(writeFileSafely(file, "102\r\n").ok, "written with a second hard link");
    check(readBytes(second) == "102\r\n", "rewritten in place: both names see it");

    check(!readRegularFile(L"NUL", 100).outcome.ok, "the NUL device is no log");
    check(!readRegularFile(folder, 100).outcome.ok, "a folder is no log");
    check(!readRegularFile(folder + L"\\absent.log", 100).outcome.ok, "a missing log");
    const FileReadW capped = readRegularFile(file, 2);
    check(capped.outcome.ok && capped.bytes == "10" && capped.fullSize == 5, "read up to the cap");
    check(!writeFileSafely(folder, "x").ok, "a folder is not written");
}

// A write step that takes `room` bytes in all, then fails as a full disk does.
WriteStep diskFullAfter(std::uint32_t room) {
    auto left = std::make_shared<std::uint32_t>(room);
    return [left](void* file, const char* data, std::uint32_t size, std::uint32_t& written) {
        if (*left == 0)
            return std::uint32_t(ERROR_DISK_FULL);
        DWORD n = 0;
        if (!WriteFile(static_cast<HANDLE>(file), data, std::min(size, *left), &n, nullptr))
            return std::uint32_t(GetLastError());
        *left -= n;
        written = n;
        return std::uint32_t(0);
    };
}

// A disk that fills up at any byte leaves the old file as it was: replaced
// (a temporary file and ReplaceFileW) and rewritten in place (a second hard
// link) alike, and no temporary file behind.
void fullDisk(const std::wstring& folder) {
    std::string longer;
    for (int i = 0; longer.size() < 200; ++i)
        longer += "line " + std::to_string(i) + "\r\n";
    const std::string old = "839999\r\ntail\r\n";
    for (const bool hardLink : {false, true}) {
        const std::wstring file = folder + (hardLink ? L"\\linked.ini" : L"\\store.ini");
        const std::wstring second = folder + L"\\linked-second.ini";
        check(writeBytes(file, old), "old file made");
        if (hardLink)
            check(CreateHardLinkW(second.c_str(), file.c_str(), nullptr) != 0, "hard link made");
        bool kept = true, said = true;
        for (std::uint32_t room = 0; room < longer.size(); ++room) {
            const Outcome outcome = writeFileSafely(file, longer, diskFullAfter(room));
            said = said && !outcome.ok && !outcome.error.empty();
            kept = kept && readBytes(file) == old && (!hardLink || readBytes(second) == old);
        }
        check(said, hardLink ? "in place: every full-disk write reported"
                             : "every full-disk write reported");
        check(kept, hardLink ? "in place: the old file kept at every byte"
                             : "the old file kept at every byte");
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((folder + L"\\.tw-*").c_str(), &found);
        check(search == INVALID_HANDLE_VALUE, "no temporary file left behind");
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
        check(writeFileSafely(file, longer).ok && readBytes(file) == longer, "with room: written");
    }

    // Appends: to a file on disk, never to a device; a log that did not exist is made.
    const std::wstring log = folder + L"\\node.log";
    check(appendToFile(log, "one\r\n").ok && appendToFile(log, "two\r\n").ok &&
              readBytes(log) == "one\r\ntwo\r\n",
          "appended to the log");
    check(!appendToFile(L"NUL", "x").ok, "no appending to the NUL device");
    check(!appendToFile(folder, "x").ok, "no appending to a folder");
}

std::wstring self() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::string utf8(const std::wstring& text) {
    std::string bytes(text.size() * 4 + 1, '\0');
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

void put(DWORD which, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

// This program as the child of the tests: "child MODE [arguments]".
int child(const std::vector<std::wstring>& args) {
    const std::wstring mode = args.size() > 2 ? args[2] : L"";
    if (mode == L"args") { // its arguments as it got them, in UTF-8, each followed by '|'
        for (std::size_t i = 3; i < args.size(); ++i)
            put(STD_OUTPUT_HANDLE, utf8(args[i]) + "|");
        return 0;
    }
    if (mode == L"fail") {
        put(STD_OUTPUT_HANDLE, "out\n");
        put(STD_ERROR_HANDLE, "error: no such wallet\n");
        return 3;
    }
    if (mode == L"stderr") { // 100 KiB on stderr, then its answer
        put(STD_ERROR_HANDLE, std::string(100 * 1024, 'e'));
        put(STD_OUTPUT_HANDLE, "done\n");
        return 0;
    }
    if (mode == L"sleep") {
        Sleep(60000);
        return 0;
    }
    if (mode == L"flood") {
        const std::string lines(4096, 'y');
        for (;;)
            put(STD_OUTPUT_HANDLE, lines);
    }
    if (mode == L"spawn" || mode == L"spawn-sleep") { // a sleeper that inherits its stdout
        std::wstring line = L"\"" + self() + L"\" child sleep";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process))
            return 9;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        put(STD_OUTPUT_HANDLE, "started\n");
        if (mode == L"spawn-sleep")
            Sleep(60000);
        return 0;
    }
    return 64;
}

int instancesOfSelf() {
    const std::wstring path = self();
    return countProcesses(path.substr(path.find_last_of(L"\\/") + 1)).value_or(-1);
}

// Polls a run as the adapter's timer does until it is over.
void pollToEnd(ProgramRun& run) {
    const ULONGLONG start = GetTickCount64();
    while (!run.poll() && GetTickCount64() - start < 30000)
        Sleep(10);
}

// One argument on a command line, read back by a C runtime exactly.
void quoting() {
    const std::pair<std::wstring, std::wstring> table[] = {
        {L"plain", L"plain"},
        {L"", L"\"\""},
        {L"a b", L"\"a b\""},
        {L"tab\there", L"\"tab\there\""},
        {L"q\"x", L"\"q\\\"x\""},
        {L"back\\\"q", L"\"back\\\\\\\"q\""},
        {L"trail\\", L"trail\\"},
        {L"trail sp\\", L"\"trail sp\\\\\""},
        {L"\\\\server\\share", L"\\\\server\\share"},
    };
    for (const auto& [argument, quoted] : table)
        check(quoteArgument(argument) == quoted, "argument quoted",
              argument + L" -> " + quoteArgument(argument));
}

// Programs started directly: arguments as given, output and errors read
// while they run, ended after their time or too much output, with what
// they started; the child is this very program.
void programs() {
    const std::wstring me = self();
    struct Row {
        const char* name;
        std::wstring program;
        std::vector<std::wstring> arguments;
        std::uint64_t timeoutMs;
        std::uint64_t maxOutput;
        const wchar_t* error; // part of the failure; null: it succeeds
        std::optional<unsigned long> code;
        std::string output;
        std::string errors;
        bool timedOut;
        bool cut;
        DWORD mostMs;
    };
    const std::vector<std::wstring> odd = {
        L"a b",       L"",           L"tab\there",        L"q\"x",
        L"back\\\"q", L"trail sp\\", L"%PATH% & | < > ^", L"Gr\u00fc\u00dfe \u65e5\u672c"};
    std::vector<std::wstring> echo = {L"child", L"args"};
    echo.insert(echo.end(), odd.begin(), odd.end());
    std::string echoed;
    for (const std::wstring& argument : odd)
        echoed += utf8(argument) + "|";
    const Row rows[] = {
        {"arguments read back exactly", me, echo, 10000, 1000, nullptr, 0, echoed, "", false, false,
         10000},
        {"a bare name found on the search path",
         L"cmd",
         {L"/d", L"/c", L"echo hi"},
         10000,
         1000,
         nullptr,
         0,
         "hi\r\n",
         "",
         false,
         false,
         10000},
        {"non-zero exit, words on stderr",
         me,
         {L"child", L"fail"},
         10000,
         1000,
         nullptr,
         3,
         "out\n",
         "error: no such wallet\n",
         false,
         false,
         10000},
        {"100 KiB on stderr: never blocks, the first 4 KiB kept",
         me,
         {L"child", L"stderr"},
         10000,
         1000,
         nullptr,
         0,
         "done\n",
         std::string(4096, 'e'),
         false,
         false,
         10000},
        {"time up: ended",
         me,
         {L"child", L"sleep"},
         300,
         1000,
         L"was still running after 300 ms",
         std::nullopt,
         "",
         "",
         true,
         false,
         3000},
        {"output over the maximum: ended, cut",
         me,
         {L"child", L"flood"},
         10000,
         1000,
         L"wrote more than 1000 bytes",
         std::nullopt,
         std::string(1000, 'y'),
         "",
         false,
         true,
         5000},
        {"a sleeper it started keeps the pipe open: ended with it",
         me,
         {L"child", L"spawn"},
         10000,
         1000,
         nullptr,
         0,
         "started\n",
         "",
         false,
         false,
         5000},
        {"missing program",
         L"C:\\no-such-folder\\no-such.exe",
         {},
         10000,
         1000,
         L"cannot start",
         std::nullopt,
         "",
         "",
         false,
         false,
         1000},
        {"missing bare name",
         L"tw-no-such-program",
         {},
         10000,
         1000,
         L"cannot start",
         std::nullopt,
         "",
         "",
         false,
         false,
         1000},
    };
    for (const Row& row : rows) {
        const ULONGLONG start = GetTickCount64();
        ProgramRun run(row.program, row.arguments, row.timeoutMs, row.maxOutput);
        pollToEnd(run);
        const auto took = static_cast<DWORD>(GetTickCount64() - start);
        const std::wstring name(row.name, row.name + std::strlen(row.name));
        const bool failed = row.error != nullptr;
        check(run.outcome.ok != failed &&
                  (!failed || run.outcome.error.find(row.error) != std::wstring::npos),
              row.name, run.outcome.error);
        check(run.exitCode == row.code, row.name,
              L"exit code " + (run.exitCode ? std::to_wstring(*run.exitCode) : L"none"));
        check(run.output == row.output, row.name,
              L"output of " + std::to_wstring(run.output.size()) + L" bytes");
        check(run.errors == row.errors, row.name,
              L"errors of " + std::to_wstring(run.errors.size()) + L" bytes");
        check(run.timedOut == row.timedOut && run.outputCut == row.cut, row.name, L"flags");
        check(took <= row.mostMs && (!row.timedOut || took >= row.timeoutMs), row.name,
              L"took " + std::to_wstring(took) + L" ms");
        check(within([] { return instancesOfSelf() == 1; }), row.name, L"something left running");
    }

    // A run given up while it runs ends with what it started.
    {
        ProgramRun run(me, {L"child", L"spawn-sleep"}, 60000, 1000);
        check(within([] { return instancesOfSelf() == 3; }), "a run and its sleeper run");
    }
    check(within([] { return instancesOfSelf() == 1; }), "a run given up is ended");
}

// A batch's cmd.exe gets a stderr the client inherits: its first 4 KiB and
// the exit code are there once it has ended, and the client never waits.
void batchErrors(const std::wstring& folder) {
    // Without "call": Wine's cmd.exe sets the errorlevel of a program run
    // by "call" to 1 whatever its exit code.
    std::string client = "\"";
    client += utf8(self());
    client += "\" child ";
    const std::wstring log = folder + L"\\ERR.LOG";
    const std::string logName = utf8(log);
    struct Row {
        const char* mode;
        unsigned long code;
        std::string errors;
        std::uint64_t total;
    };
    const Row rows[] = {{"fail", 3, "error: no such wallet\n", 22},
                        {"stderr", 0, std::string(4096, 'e'), 100 * 1024}};
    for (const Row& row : rows) {
        const std::wstring batch = folder + L"\\ERR.BAT";
        check(writeBytes(batch, client + row.mode + " > " + logName + "\r\n"), "batch written");
        StartedBatch started = startBatchFile(batch, true);
        check(started.outcome.ok && started.process, row.mode, started.outcome.error);
        // Drained while it runs, as the adapter's timer does.
        check(within([&] {
                  started.errors.drain();
                  return !processRuns(started.process);
              }),
              row.mode, L"the batch ended");
        started.errors.drain();
        const auto code = exitCodeOf(started.process);
        check(code && *code == row.code, row.mode,
              L"exit code " + (code ? std::to_wstring(*code) : L"none"));
        check(started.errors.kept() == row.errors && started.errors.total() == row.total, row.mode,
              L"errors of " + std::to_wstring(started.errors.total()) + L" bytes");
        check(finishBatch(started.job) == 0, row.mode, L"nothing left");
        closeProcess(started.process);
    }
}

// The session's end: which WM_QUERYENDSESSION asks for what, and the
// level at which the program is asked.
void sessionEnd() {
    struct Row {
        const char* what;
        UINT message;
        LPARAM flags;
        bool query, logOff, programOnly;
    };
    const Row rows[] = {
        {"a shut down", WM_QUERYENDSESSION, 0, true, false, false},
        {"a log off", WM_QUERYENDSESSION, static_cast<LPARAM>(ENDSESSION_LOGOFF), true, true,
         false},
        {"an installer's close", WM_QUERYENDSESSION, ENDSESSION_CLOSEAPP, true, false, true},
        {"a log off that closes the program too", WM_QUERYENDSESSION,
         static_cast<LPARAM>(ENDSESSION_LOGOFF | ENDSESSION_CLOSEAPP), true, true, false},
        {"a forced shut down", WM_QUERYENDSESSION, ENDSESSION_CRITICAL, true, false, false},
        {"the end itself", WM_ENDSESSION, 0, false, false, false},
    };
    for (const Row& row : rows) {
        MSG msg{};
        msg.message = row.message;
        msg.lParam = row.flags;
        const std::optional<EndSessionQuery> query = endSessionQuery(&msg);
        check(query.has_value() == row.query && (!query || (query->logOff == row.logOff &&
                                                            query->programOnly == row.programOnly)),
              row.what);
    }
    check(!endSessionQuery(nullptr), "no message");
    check(askFirstAtSessionEnd(true).ok && sessionEndLevel() == 0x3FF, "asked among the first",
          std::to_wstring(sessionEndLevel()));
    check(askFirstAtSessionEnd(false).ok && sessionEndLevel() == 0x280,
          "asked at the default level", std::to_wstring(sessionEndLevel()));
}

} // namespace

int main() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> args(argv, argv + count);
    LocalFree(argv);
    if (args.size() > 1 && args[1] == L"child")
        return child(args);
    const std::wstring folder = temporaryFolder();
    quoting();
    programs();
    batchErrors(folder);
    registry();
    batchFiles(folder);
    commands();
    batchLogs(folder);
    processes();
    files(folder);
    fullDisk(folder);
    sessionEnd();
    run(L"cmd.exe /d /c rmdir /s /q \"" + folder + L"\"");
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed;
}
