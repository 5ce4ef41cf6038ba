#include "platform/windows/Win32.h"

#include <windows.h>

#include <shlobj.h>

namespace tw::platform::win {

std::uintptr_t foregroundWindow() {
    return reinterpret_cast<std::uintptr_t>(GetForegroundWindow());
}

// The keeper's two calls are these: the foreground window out of the
// top-most band, then the main window into it; neither moved nor resized,
// and neither activated, so that the keeper never takes the keyboard from
// the window the user works in.
void setTopMost(std::uintptr_t window, bool topMost) {
    SetWindowPos(reinterpret_cast<HWND>(window), topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0,
                 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void placeBelow(std::uintptr_t window, std::uintptr_t sibling) {
    SetWindowPos(reinterpret_cast<HWND>(window), reinterpret_cast<HWND>(sibling), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool isTopMost(std::uintptr_t window) {
    return (GetWindowLongPtrW(reinterpret_cast<HWND>(window), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void allowForegroundToPipeServer(void* pipe) {
    ULONG server = 0;
    if (GetNamedPipeServerProcessId(static_cast<HANDLE>(pipe), &server))
        AllowSetForegroundWindow(server);
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring executableName() {
    const std::wstring path = modulePath();
    if (path.empty())
        return L"TW-CLI-UI";
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.resize(dot);
    return name.empty() ? L"TW-CLI-UI" : name;
}

std::wstring stateFolder() {
    wchar_t* folder = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)) && folder)
        result = std::wstring(folder) + L"\\TW-CLI-UI";
    CoTaskMemFree(folder);
    return result;
}

void attachParentConsole() {
    // A handle that is already a pipe or a file (NRPE, a redirection) is
    // the caller's choice; only missing ones go to the console.
    const auto missing = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE ||
               GetFileType(handle) == FILE_TYPE_UNKNOWN;
    };
    const bool out = missing(STD_OUTPUT_HANDLE), err = missing(STD_ERROR_HANDLE);
    if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    FILE* ignored = nullptr;
    if (out)
        freopen_s(&ignored, "CONOUT$", "w", stdout);
    if (err)
        freopen_s(&ignored, "CONOUT$", "w", stderr);
}

} // namespace tw::platform::win
