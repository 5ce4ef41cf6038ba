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
//
// Status 0 when the step came about, 1 otherwise, 2 for a wrong call.

#include <windows.h>

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

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tw-test-window wait|minimize|restored|count TITLE\n");
        return 2;
    }
    const std::wstring step = argv[1];
    const std::wstring title = argv[2];
    if (step == L"wait")
        return within60s([&] { return !windowsTitled(title).empty(); }) ? 0 : 1;
    if (step == L"count") {
        std::printf("%u\n", static_cast<unsigned>(windowsTitled(title).size()));
        return 0;
    }
    if (step == L"minimize") {
        const std::vector<HWND> found = windowsTitled(title);
        if (found.size() != 1)
            return 1;
        PostMessageW(found.front(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return within60s([&] { return IsIconic(found.front()) != 0; }) ? 0 : 1;
    }
    if (step == L"restored")
        return within60s([&] {
            const std::vector<HWND> found = windowsTitled(title);
            return found.size() == 1 && !IsIconic(found.front());
        })
                   ? 0
                   : 1;
    return 2;
}
