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
    void reset(HANDLE handle = nullptr) {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

// An anonymous pipe: the read end the program's own, the write end
// inheritable for a child. Its buffer is large enough that a child writes
// on between two looks of a timer.
bool makePipe(Handle& readEnd, Handle& writeEnd) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readHandle = nullptr, writeHandle = nullptr;
    if (!CreatePipe(&readHandle, &writeHandle, &inherit, 64 * 1024))
        return false;
    SetHandleInformation(readHandle, HANDLE_FLAG_INHERIT, 0);
    readEnd.reset(readHandle);
    writeEnd.reset(writeHandle);
    return true;
}

// The NUL device, inheritable: a child's empty stdin and its discarded stdout.
HANDLE openNul() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, OPEN_EXISTING, 0, nullptr);
}

// A job of its own for a child: whatever it still runs when its handle
// closes (the panel ends) ends with it.
HANDLE makeJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

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

    Handle job(query ? makeJob() : nullptr);
    if (query && !job.get()) {
        started.outcome = Outcome::failure(L"cannot create a job for " + path + L": " +
                                           errorText(GetLastError()));
        return started;
    }
    // The client's own words: cmd.exe's stderr, which the client inherits,
    // into a pipe the panel reads.
    Handle errorsRead, errorsWrite;
    Handle nul(openNul());
    if (!makePipe(errorsRead, errorsWrite) || nul.get() == INVALID_HANDLE_VALUE) {
        started.outcome = Outcome::failure(L"cannot start batch file " + path + L": " +
                                           errorText(GetLastError()));
        return started;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nul.get();
    startup.hStdOutput = nul.get();
    startup.hStdError = errorsWrite.get();
    PROCESS_INFORMATION process{};
    // Suspended until it is in its job, so that nothing it starts escapes.
    const DWORD flags = CREATE_NO_WINDOW | (query ? CREATE_SUSPENDED : 0);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup, &process)) {
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
    started.process = child.release();
    started.errors = OutputPipe(errorsRead.release(), MaxErrorBytes);
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

std::optional<unsigned long> exitCodeOf(void* process) {
    DWORD code = 0;
    if (!process || WaitForSingleObject(static_cast<HANDLE>(process), 0) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(static_cast<HANDLE>(process), &code))
        return std::nullopt;
    return code;
}

OutputPipe& OutputPipe::operator=(OutputPipe&& other) noexcept {
    if (this != &other) {
        close();
        pipe_ = other.pipe_;
        keep_ = other.keep_;
        kept_ = std::move(other.kept_);
        total_ = other.total_;
        other.pipe_ = nullptr;
    }
    return *this;
}

void OutputPipe::close() {
    if (pipe_)
        CloseHandle(static_cast<HANDLE>(pipe_));
    pipe_ = nullptr;
}

void OutputPipe::drain() {
    char buffer[16384];
    for (std::uint64_t budget = 1024 * 1024; pipe_ && budget > 0;) {
        DWORD available = 0;
        // Fails once the pipe is empty and every write end has closed.
        if (!PeekNamedPipe(static_cast<HANDLE>(pipe_), nullptr, 0, nullptr, &available, nullptr)) {
            close();
            return;
        }
        if (available == 0)
            return;
        DWORD n = 0;
        if (!ReadFile(static_cast<HANDLE>(pipe_), buffer,
                      available < sizeof buffer ? available : DWORD(sizeof buffer), &n, nullptr) ||
            n == 0) {
            close();
            return;
        }
        budget -= n < budget ? n : budget;
        total_ += n;
        const std::size_t room = kept_.size() < keep_ ? keep_ - kept_.size() : 0;
        kept_.append(buffer, n < room ? n : room);
    }
}

std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (auto at = argument.begin();; ++at) {
        std::size_t backslashes = 0;
        while (at != argument.end() && *at == L'\\') {
            ++at;
            ++backslashes;
        }
        if (at == argument.end()) {
            quoted.append(backslashes * 2, L'\\'); // before the closing quote
            break;
        }
        if (*at == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        quoted.push_back(*at);
    }
    quoted.push_back(L'"');
    return quoted;
}

ProgramRun::ProgramRun(const std::wstring& program, const std::vector<std::wstring>& arguments,
                       std::uint64_t timeoutMs, std::uint64_t maxOutput)
    : name_(L"\"" + program + L"\""), started_(GetTickCount64()), timeoutMs_(timeoutMs),
      maxOutput_(maxOutput) {
    const auto fail = [this](DWORD error) {
        outcome = Outcome::failure(L"cannot start " + name_ + L": " + errorText(error));
        over_ = true;
    };
    // A bare name is looked up as cmd.exe would find it: the folders of
    // the search path, ".exe" added when it has no extension.
    std::wstring path = program;
    if (program.empty()) {
        fail(ERROR_FILE_NOT_FOUND);
        return;
    }
    if (program.find_first_of(L"\\/") == std::wstring::npos) {
        wchar_t found[MAX_PATH];
        const DWORD length =
            SearchPathW(nullptr, program.c_str(), L".exe", MAX_PATH, found, nullptr);
        if (length == 0 || length >= MAX_PATH) {
            fail(length ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
            return;
        }
        path.assign(found, length);
    }
    // argv[0] in quotes (a path holds no double quote), then the arguments
    // by the MSVC rules.
    std::wstring commandLine = L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments)
        commandLine += L" " + quoteArgument(argument);

    Handle job(makeJob());
    Handle outputRead, outputWrite, errorsRead, errorsWrite;
    Handle nul(openNul());
    if (!job.get() || !makePipe(outputRead, outputWrite) || !makePipe(errorsRead, errorsWrite) ||
        nul.get() == INVALID_HANDLE_VALUE) {
        fail(GetLastError());
        return;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = outputWrite.get();
    startup.hStdError = errorsWrite.get();
    PROCESS_INFORMATION process{};
    // Suspended until it is in its job, so that nothing it starts escapes.
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &process)) {
        fail(GetLastError());
        return;
    }
    Handle thread(process.hThread);
    Handle child(process.hProcess);
    if (!AssignProcessToJobObject(job.get(), child.get())) {
        const DWORD error = GetLastError();
        TerminateProcess(child.get(), 1);
        fail(error);
        return;
    }
    ResumeThread(thread.get());
    process_ = child.release();
    job_ = job.release();
    stdout_ = OutputPipe(outputRead.release(), maxOutput);
    stderr_ = OutputPipe(errorsRead.release(), MaxErrorBytes);
}

ProgramRun::~ProgramRun() {
    if (job_) {
        TerminateJobObject(static_cast<HANDLE>(job_), 1);
        CloseHandle(static_cast<HANDLE>(job_));
    }
    if (process_)
        CloseHandle(static_cast<HANDLE>(process_));
}

bool ProgramRun::poll() {
    if (over_)
        return true;
    stdout_.drain();
    stderr_.drain();
    const bool ended = WaitForSingleObject(static_cast<HANDLE>(process_), 0) == WAIT_OBJECT_0;
    if (!ending_ && stdout_.total() > maxOutput_) {
        outputCut = true;
        outcome = Outcome::failure(name_ + L" wrote more than " + std::to_wstring(maxOutput_) +
                                   L" bytes on its standard output: ended");
    } else if (!ending_ && !ended && GetTickCount64() - started_ >= timeoutMs_) {
        timedOut = true;
        outcome = Outcome::failure(name_ + L" was still running after " +
                                   std::to_wstring(timeoutMs_) + L" ms: ended");
    }
    if (!ending_ && (outputCut || timedOut)) {
        ending_ = true;
        TerminateJobObject(static_cast<HANDLE>(job_), 1);
        return false; // its end is seen by a later look
    }
    if (!ended)
        return false;
    if (!ending_) {
        DWORD code = 0;
        if (GetExitCodeProcess(static_cast<HANDLE>(process_), &code))
            exitCode = code;
    }
    finish();
    return true;
}

void ProgramRun::finish() {
    // What it left (holding the pipes open, or not) ends with it.
    TerminateJobObject(static_cast<HANDLE>(job_), 1);
    stdout_.drain();
    stderr_.drain();
    output = stdout_.kept();
    errors = stderr_.kept();
    stdout_.close();
    stderr_.close();
    over_ = true;
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
