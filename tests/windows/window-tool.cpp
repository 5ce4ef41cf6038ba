// The tests' look at a program's windows from outside, as the desktop
// sees them (Win32, no Qt), under Wine or on Windows:
//
//   tw-test-window wait TITLE       waits up to 60 s for a shown window
//                                   titled TITLE
//   tw-test-window minimize TITLE   minimizes it, as its title bar's button
//                                   does, and waits until it is
//   tw-test-window restored TITLE   waits up to 60 s until it is shown and
//                                   not minimized
//   tw-test-window count TITLE      prints how many shown windows have that
//                                   title
//   tw-test-window topmost TITLE    prints 1 when it is in the always-on-top
//                                   band, else 0
//   tw-test-window click TITLE X Y  a real left click (SendInput) at X, Y
//                                   pixels of its client area
//   tw-test-window type TEXT        real key presses (SendInput) for each
//                                   letter and digit of TEXT, 150 ms apart,
//                                   into whatever has the keyboard
//   tw-test-window text TITLE       prints the text of its first edit
//                                   control (Notepad's page)
//   tw-test-window foreground -     prints the foreground window's title
//   tw-test-window close TITLE      closes it as its close button does
//                                   (WM_CLOSE) and waits until it is gone
//   tw-test-window icons FILE       prints how many icons the program FILE
//                                   carries, as Explorer finds them
//   tw-test-window shortcut FILE    prints the target and the working folder
//                                   of the shell link FILE (.lnk), as the
//                                   Start menu reads them, a line each
//
// Status 0 when the step came about, 1 otherwise, 2 for a wrong call.

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::vector<HWND> windowsTitled(const std::wstring& title) {
    struct Search {
        std::wstring title;
        std::vector<HWND> found;
    } search{title, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            wchar_t text[512] = L"";
            GetWindowTextW(window, text, 512);
            if (IsWindowVisible(window) && search->title == text)
                search->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Polls `done` every 100 ms for up to 60 s.
template <class Check> bool within60s(Check done) {
    for (int i = 0; i < 600; ++i) {
        if (done())
            return true;
        Sleep(100);
    }
    return false;
}

void key(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

void typeText(const std::wstring& text) {
    for (wchar_t c : text) {
        const SHORT scan = VkKeyScanW(c);
        const bool shift = (scan >> 8) & 1;
        if (shift)
            key(VK_SHIFT, false);
        key(LOBYTE(scan), false);
        key(LOBYTE(scan), true);
        if (shift)
            key(VK_SHIFT, true);
        Sleep(150);
    }
}

bool click(HWND window, int x, int y) {
    POINT point{x, y};
    if (!ClientToScreen(window, &point) || !SetCursorPos(point.x, point.y))
        return false;
    INPUT input[2]{};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    return SendInput(2, input, sizeof input[0]) == 2;
}

// The shell link's target and working folder through the shell's own
// reader; false when it cannot be read.
bool readShortcut(const std::wstring& file, std::wstring& target, std::wstring& folder) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return false;
    bool read = false;
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    wchar_t path[MAX_PATH] = L"";
    wchar_t working[MAX_PATH] = L"";
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
        SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
        SUCCEEDED(link->GetWorkingDirectory(working, MAX_PATH))) {
        target = path;
        folder = working;
        read = true;
    }
    if (persist)
        persist->Release();
    if (link)
        link->Release();
    CoUninitialize();
    return read;
}

// A line of text in UTF-8.
void printLine(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tw-test-window STEP TITLE|TEXT|FILE [X Y]\n");
        return 2;
    }
    const std::wstring step = argv[1];
    const std::wstring title = argv[2];
    if (step == L"foreground") {
        wchar_t text[512] = L"";
        GetWindowTextW(GetForegroundWindow(), text, 512);
        std::printf("%ls\n", text);
        return 0;
    }
    if (step == L"type") {
        typeText(title);
        return 0;
    }
    const std::vector<HWND> found = windowsTitled(title);
    if (step == L"click" && argc == 5)
        return found.size() == 1 && click(found.front(), _wtoi(argv[3]), _wtoi(argv[4])) ? 0 : 1;
    if (argc != 3)
        return 2;
    if (step == L"topmost") {
        if (found.size() != 1)
            return 1;
        std::printf("%d\n", (GetWindowLongW(found.front(), GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
        return 0;
    }
    if (step == L"text") {
        const HWND edit =
            found.size() == 1 ? FindWindowExW(found.front(), nullptr, L"Edit", nullptr) : nullptr;
        if (!edit)
            return 1;
        wchar_t text[4096] = L"";
        SendMessageW(edit, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
        std::printf("%ls\n", text);
        return 0;
    }
    if (step == L"wait")
        return within60s([&] { return !windowsTitled(title).empty(); }) ? 0 : 1;
    if (step == L"count") {
        std::printf("%u\n", static_cast<unsigned>(found.size()));
        return 0;
    }
    if (step == L"minimize") {
        if (found.size() != 1)
            return 1;
        PostMessageW(found.front(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return within60s([&] { return IsIconic(found.front()) != 0; }) ? 0 : 1;
    }
    if (step == L"close") {
        if (found.size() != 1)
            return 1;
        PostMessageW(found.front(), WM_CLOSE, 0, 0);
        return within60s([&] { return IsWindow(found.front()) == 0; }) ? 0 : 1;
    }
    if (step == L"icons") {
        std::printf("%u\n", ExtractIconExW(title.c_str(), -1, nullptr, nullptr, 0));
        return 0;
    }
    if (step == L"shortcut") {
        std::wstring target, folder;
        if (!readShortcut(title, target, folder))
            return 1;
        printLine(target);
        printLine(folder);
        return 0;
    }
    if (step == L"restored")
        return within60s([&] {
            const std::vector<HWND> now = windowsTitled(title);
            return now.size() == 1 && !IsIconic(now.front());
        })
                   ? 0
                   : 1;
    return 2;
}
