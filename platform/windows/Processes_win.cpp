#include "platform/windows/Win32.h"

#include <windows.h>

#include <tlhelp32.h>

namespace tw::platform::win {

namespace {

class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle() {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    HANDLE handle_;
};

std::wstring systemFolder() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(folder, length) : L"C:\\Windows\\System32";
}

} // namespace

std::optional<int> countProcesses(const std::wstring& imageName) {
    if (imageName.empty())
        return 0;
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE)
        return std::nullopt;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snapshot.get(), &entry))
        return GetLastError() == ERROR_NO_MORE_FILES ? std::optional<int>(0) : std::nullopt;
    int count = 0;
    const int wantedLength = static_cast<int>(imageName.size());
    do {
        if (CompareStringOrdinal(entry.szExeFile, -1, imageName.c_str(), wantedLength, TRUE) ==
            CSTR_EQUAL)
            ++count;
    } while (Process32NextW(snapshot.get(), &entry));
    return count;
}

StartedBatch startBatchFile(const std::wstring& path, bool query) {
    StartedBatch started;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        started.outcome = Outcome::failure(L"batch file missing: " + path);
        return started;
    }
    // /d: no AutoRun commands of the registry; /s: cmd.exe drops only the
    // outer pair of quotes, so the path stays one quoted argument whatever
    // it holds.
    const std::wstring program = systemFolder() + L"\\cmd.exe";
    std::wstring commandLine = L"cmd.exe /d /s /c \"\"" + path + L"\"\"";

    Handle job(query ? CreateJobObjectW(nullptr, nullptr) : nullptr);
    if (query) {
        if (!job.get()) {
            started.outcome = Outcome::failure(L"cannot create a job for " + path + L": " +
                                               errorText(GetLastError()));
            return started;
        }
        // Whatever the job still runs when its handle closes (the panel
        // ends) ends with it.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                sizeof limits);
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    // Suspended until it is in its job, so that nothing it starts escapes.
    const DWORD flags = CREATE_NO_WINDOW | (query ? CREATE_SUSPENDED : 0);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags,
                        nullptr, nullptr, &startup, &process)) {
        started.outcome = Outcome::failure(L"cannot start batch file " + path + L": " +
                                           errorText(GetLastError()));
        return started;
    }
    Handle thread(process.hThread);
    Handle child(process.hProcess);
    if (query) {
        if (!AssignProcessToJobObject(job.get(), child.get())) {
            const DWORD error = GetLastError();
            TerminateProcess(child.get(), 1);
            started.outcome = Outcome::failure(L"cannot start batch file " + path +
                                               L" in a job of its own: " + errorText(error));
            return started;
        }
        ResumeThread(thread.get());
        started.job = job.release();
    }
    return started;
}

int finishBatch(void* job) {
    if (!job)
        return 0;
    Handle owned(static_cast<HANDLE>(job));
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    int running = 0;
    if (QueryInformationJobObject(owned.get(), JobObjectBasicAccountingInformation, &accounting,
                                  sizeof accounting, nullptr))
        running = static_cast<int>(accounting.ActiveProcesses);
    if (running > 0)
        TerminateJobObject(owned.get(), 1);
    return running;
}

StartedCommand startCommand(const std::wstring& commandLine, const std::wstring& purpose) {
    StartedCommand started;
    std::wstring line = commandLine;
    if (line.find_first_not_of(L" \t") == std::wstring::npos) {
        started.outcome = Outcome::failure(purpose + L" is empty");
        return started;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        started.outcome = Outcome::failure(L"cannot start " + purpose + L" \"" + commandLine +
                                           L"\": " + errorText(GetLastError()));
        return started;
    }
    CloseHandle(process.hThread);
    started.process = process.hProcess;
    return started;
}

bool processRuns(void* process) {
    return process && WaitForSingleObject(static_cast<HANDLE>(process), 0) == WAIT_TIMEOUT;
}

void closeProcess(void* process) {
    if (process)
        CloseHandle(static_cast<HANDLE>(process));
}

} // namespace tw::platform::win
