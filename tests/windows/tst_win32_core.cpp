// The Windows cores against the real system calls (under Wine here): the
// registry store with reg.exe on the other side, batch files run by
// cmd.exe, a query's job ended, the process count, files on disk only, the
// replace and in-place writes. Plain C++: runs without Qt; prints
// "N passed, N failed" and returns the number of failures.

#include "platform/windows/Win32.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
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

} // namespace

int main() {
    const std::wstring folder = temporaryFolder();
    registry();
    batchFiles(folder);
    commands();
    batchLogs(folder);
    processes();
    files(folder);
    fullDisk(folder);
    run(L"cmd.exe /d /c rmdir /s /q \"" + folder + L"\"");
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed;
}
