#include "platform/windows/Win32.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace tw::platform::win {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle openHandle(const std::wstring& path, DWORD access, DWORD disposition, DWORD flags = 0) {
    HANDLE handle =
        CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

std::int64_t joined(DWORD high, DWORD low) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

FileStampW stampOfHandle(HANDLE handle) {
    FileStampW stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return stamp;
    stamp.exists = true;
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.index = static_cast<std::uint64_t>(joined(info.nFileIndexHigh, info.nFileIndexLow));
    stamp.size = joined(info.nFileSizeHigh, info.nFileSizeLow);
    stamp.written = joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        stamp.changed = basic.ChangeTime.QuadPart;
    return stamp;
}

std::wstring folderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// The owner of the link itself (not of what it points to) is the user.
bool ownedByUser(const std::wstring& path) {
    Handle link = openHandle(path, READ_CONTROL, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
    if (!link)
        return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(link.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool mine = false;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::unique_ptr<BYTE[]> buffer(new BYTE[size ? size : 1]);
        if (size && GetTokenInformation(token, TokenUser, buffer.get(), size, &size))
            mine = EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid) != 0;
        CloseHandle(token);
    }
    LocalFree(descriptor);
    return mine;
}

// All of `bytes` through the write step; 0 or the error.
DWORD writeAll(HANDLE file, const std::string& bytes, const WriteStep& step) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        std::uint32_t written = 0;
        DWORD error = 0;
        if (step) {
            error = step(file, bytes.data() + done, size, written);
        } else {
            DWORD n = 0;
            if (!WriteFile(file, bytes.data() + done, size, &n, nullptr))
                error = GetLastError();
            written = n;
        }
        if (error != 0)
            return error;
        if (written == 0)
            return ERROR_WRITE_FAULT;
        done += written;
    }
    return 0;
}

bool setLength(HANDLE file, std::int64_t length) {
    LARGE_INTEGER at{};
    at.QuadPart = length;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// The old content, to be put back if the new one cannot be written whole.
std::optional<std::string> oldContent(HANDLE file, std::int64_t size) {
    constexpr std::int64_t MostKept = 16 * 1024 * 1024;
    if (size > MostKept)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        DWORD n = 0;
        if (!ReadFile(file, bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n,
                      nullptr) ||
            n == 0)
            return std::nullopt;
        got += n;
    }
    return bytes;
}

// The file itself rewritten; its new length reserved first, so that a full
// disk is found before anything changes, and the old bytes put back if a
// write fails all the same.
Outcome writeInPlace(const std::wstring& path, const std::string& bytes, const WriteStep& step) {
    const auto failed = [&path](DWORD error) {
        return Outcome::failure(L"cannot write " + path + L": " + errorText(error));
    };
    Handle file = openHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    if (!file)
        return failed(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return failed(GetLastError());
    const std::int64_t oldSize = size.QuadPart;
    const std::optional<std::string> old = oldContent(file.get(), oldSize);
    if (static_cast<std::int64_t>(bytes.size()) > oldSize &&
        !setLength(file.get(), static_cast<std::int64_t>(bytes.size()))) {
        const DWORD error = GetLastError();
        setLength(file.get(), oldSize);
        return failed(error);
    }
    LARGE_INTEGER start{};
    DWORD error = SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) ? 0 : GetLastError();
    if (error == 0)
        error = writeAll(file.get(), bytes, step);
    if (error == 0 && !setLength(file.get(), static_cast<std::int64_t>(bytes.size())))
        error = GetLastError();
    if (error == 0 && !FlushFileBuffers(file.get()))
        error = GetLastError();
    if (error != 0) {
        if (old && SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) &&
            writeAll(file.get(), *old, {}) == 0 && setLength(file.get(), oldSize))
            FlushFileBuffers(file.get());
        return failed(error);
    }
    return {};
}

} // namespace

FileReadW readRegularFile(const std::wstring& path, std::size_t maxBytes) {
    FileReadW read;
    const DWORD attributes =
        path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        read.outcome = Outcome::failure(L"log file missing: " + path);
        return read;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        read.outcome = Outcome::failure(L"cannot read " + path + L": it is a folder");
        return read;
    }
    Handle file = openHandle(path, GENERIC_READ, OPEN_EXISTING);
    if (!file) {
        read.outcome = Outcome::failure(L"cannot read " + path + L": " + errorText(GetLastError()));
        return read;
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        read.outcome = Outcome::failure(L"cannot read " + path +
                                        L": it is a device or a pipe, not a log file");
        return read;
    }
    read.stamp = stampOfHandle(file.get());
    read.fullSize = read.stamp.size;
    read.bytes.resize(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        DWORD n = 0;
        if (!ReadFile(file.get(), read.bytes.data() + got, static_cast<DWORD>(maxBytes - got), &n,
                      nullptr)) {
            read.outcome =
                Outcome::failure(L"cannot read " + path + L": " + errorText(GetLastError()));
            read.bytes.clear();
            return read;
        }
        if (n == 0)
            break;
        got += n;
    }
    read.bytes.resize(got);
    return read;
}

FileStampW stampOf(const std::wstring& path) {
    Handle file = openHandle(path, 0, OPEN_EXISTING);
    return file ? stampOfHandle(file.get()) : FileStampW{};
}

Outcome checkBatchLog(const std::wstring& logPath) {
    const DWORD attributes = GetFileAttributesW(logPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY) && !ownedByUser(logPath))
        return Outcome::failure(L"log file " + logPath +
                                L" is a symbolic link that is not the user's own; not run");
    return {};
}

Outcome writeFileSafely(const std::wstring& given, const std::string& bytes,
                        const WriteStep& step) {
    if (given.empty())
        return Outcome::failure(L"cannot write file: empty path");
    std::wstring path = given;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!ownedByUser(path))
            return Outcome::failure(L"not written: " + path +
                                    L" is a symbolic link that is not the user's own");
        // The user's own link: the file it leads to is the one written.
        Handle target = openHandle(path, 0, OPEN_EXISTING);
        wchar_t resolved[32768];
        const DWORD length =
            target ? GetFinalPathNameByHandleW(target.get(), resolved, 32768, FILE_NAME_NORMALIZED)
                   : 0;
        if (length == 0 || length >= 32768)
            return Outcome::failure(L"cannot write " + path + L": its link leads nowhere");
        path.assign(resolved, length);
        attributes = GetFileAttributesW(path.c_str());
    }
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Outcome::failure(L"cannot write " + path + L": it is a folder");

    bool inPlace = false;
    if (exists) {
        Handle file = openHandle(path, 0, OPEN_EXISTING);
        if (!file)
            return Outcome::failure(L"cannot write " + path + L": " + errorText(GetLastError()));
        if (GetFileType(file.get()) != FILE_TYPE_DISK)
            return Outcome::failure(L"cannot write " + path + L": it is a device or a pipe");
        BY_HANDLE_FILE_INFORMATION info{};
        inPlace = GetFileInformationByHandle(file.get(), &info) && info.nNumberOfLinks > 1;
    }
    if (inPlace)
        return writeInPlace(path, bytes, step);

    // A new file beside the old one, then swapped in whole.
    const std::wstring temporary = folderOf(path) + L"\\.tw-" +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(GetTickCount64()) + L".tmp";
    {
        HANDLE raw = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE) {
            // The folder takes no new file: the file itself may still be
            // writable.
            const DWORD error = GetLastError();
            if (exists)
                return writeInPlace(path, bytes, step);
            return Outcome::failure(L"cannot write " + path + L": " + errorText(error));
        }
        Handle file(raw);
        DWORD error = writeAll(file.get(), bytes, step);
        if (error == 0 && !FlushFileBuffers(file.get()))
            error = GetLastError();
        if (error == 0 && !CloseHandle(file.release()))
            error = GetLastError();
        if (error != 0) {
            file.reset();
            DeleteFileW(temporary.c_str());
            return Outcome::failure(L"cannot write " + path + L": " + errorText(error));
        }
    }
    const bool swapped =
        exists ? ReplaceFileW(path.c_str(), temporary.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                              nullptr, nullptr) != 0
               : MoveFileExW(temporary.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (swapped)
        return {};
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    if (exists)
        return writeInPlace(path, bytes, step);
    return Outcome::failure(L"cannot write " + path + L": " + errorText(error));
}

Outcome appendToFile(const std::wstring& path, const std::string& bytes) {
    if (path.empty())
        return Outcome::failure(L"cannot write file: empty path");
    Handle file = openHandle(path, GENERIC_WRITE, OPEN_ALWAYS);
    if (!file)
        return Outcome::failure(L"cannot write " + path + L": " + errorText(GetLastError()));
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return Outcome::failure(L"cannot write " + path + L": it is a device or a pipe");
    LARGE_INTEGER end{};
    LARGE_INTEGER none{};
    if (!SetFilePointerEx(file.get(), none, &end, FILE_END))
        return Outcome::failure(L"cannot write " + path + L": " + errorText(GetLastError()));
    const DWORD error = writeAll(file.get(), bytes, {});
    if (error != 0) {
        setLength(file.get(), end.QuadPart); // half a line taken back
        return Outcome::failure(L"cannot write " + path + L": " + errorText(error));
    }
    return {};
}

} // namespace tw::platform::win
