#include "platform/windows/Win32.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace tw::platform::win {

namespace {

Outcome lastError(const std::wstring& what) {
    return Outcome::failure(what + L": " + errorText(GetLastError()));
}

Outcome comError(const std::wstring& what, HRESULT result) {
    return Outcome::failure(what + L": " + errorText(static_cast<unsigned long>(result)));
}

// The file's volume and index, when it can be opened at all.
bool identify(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool got = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return got;
}

// COM for the calling thread while it lives; a thread that has it already
// in the other model can use it all the same.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

template <typename T> struct Released {
    T* pointer = nullptr;
    ~Released() {
        if (pointer)
            pointer->Release();
    }
};

} // namespace

std::wstring programsFolder() {
    wchar_t* folder = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Programs, 0, nullptr, &folder)) && folder)
        result = folder;
    CoTaskMemFree(folder);
    return result;
}

bool sameFile(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identify(a, first) && identify(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

Outcome linkOrCopy(const std::wstring& existing, const std::wstring& link, bool& copied) {
    copied = false;
    if (CreateHardLinkW(link.c_str(), existing.c_str(), nullptr))
        return {};
    const DWORD linkError = GetLastError();
    if (linkError == ERROR_ALREADY_EXISTS || linkError == ERROR_FILE_NOT_FOUND ||
        linkError == ERROR_PATH_NOT_FOUND)
        return Outcome::failure(L"cannot make the link " + link + L": " + errorText(linkError));
    // FAT, exFAT and some network shares take no hard link.
    if (!CopyFileW(existing.c_str(), link.c_str(), TRUE))
        return lastError(L"cannot make the link " + link + L" (" + errorText(linkError) +
                         L") nor a copy");
    copied = true;
    return {};
}

Outcome deleteFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str()))
        return {};
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return {};
    return Outcome::failure(L"cannot remove " + path + L": " + errorText(error));
}

Outcome renameHidden(const std::wstring& from, const std::wstring& to) {
    if (!MoveFileExW(from.c_str(), to.c_str(), 0))
        return lastError(L"cannot rename " + from);
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(to.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    return {};
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Outcome writeShortcut(const std::wstring& shortcut, const std::wstring& target,
                      const std::wstring& workingFolder, const std::wstring& description) {
    const std::wstring what = L"cannot write the shortcut " + shortcut;
    const ComScope com;
    if (!com.usable())
        return comError(what, com.result());
    Released<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(&link.pointer));
    if (FAILED(result))
        return comError(what, result);
    if (FAILED(result = link.pointer->SetPath(target.c_str())) ||
        FAILED(result = link.pointer->SetWorkingDirectory(workingFolder.c_str())) ||
        FAILED(result = link.pointer->SetDescription(description.c_str())) ||
        FAILED(result = link.pointer->SetIconLocation(target.c_str(), 0)))
        return comError(what, result);
    Released<IPersistFile> file;
    result =
        link.pointer->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.pointer));
    if (FAILED(result))
        return comError(what, result);
    if (FAILED(result = file.pointer->Save(shortcut.c_str(), TRUE)))
        return comError(what, result);
    return {};
}

} // namespace tw::platform::win
