#include "platform/windows/Win32.h"

#include <windows.h>

namespace tw::platform::win {

namespace {

// The application ranges of SetProcessShutdownParameters: 0x300-0x3FF are
// asked first, 0x280 is every process's level at its start.
constexpr DWORD FirstLevel = 0x3FF;
constexpr DWORD DefaultLevel = 0x280;

} // namespace

std::optional<EndSessionQuery> endSessionQuery(const void* message) {
    const auto* msg = static_cast<const MSG*>(message);
    if (!msg || msg->message != WM_QUERYENDSESSION)
        return std::nullopt;
    const auto flags = static_cast<std::uint32_t>(msg->lParam);
    return EndSessionQuery{(flags & ENDSESSION_LOGOFF) != 0,
                           (flags & ENDSESSION_CLOSEAPP) != 0 && (flags & ENDSESSION_LOGOFF) == 0};
}

Outcome blockSessionEnd(std::uintptr_t window, const std::wstring& reason) {
    if (!ShutdownBlockReasonCreate(reinterpret_cast<HWND>(window), reason.c_str()))
        return Outcome::failure(L"ShutdownBlockReasonCreate: " + errorText(GetLastError()));
    return {};
}

Outcome unblockSessionEnd(std::uintptr_t window) {
    if (!ShutdownBlockReasonDestroy(reinterpret_cast<HWND>(window)))
        return Outcome::failure(L"ShutdownBlockReasonDestroy: " + errorText(GetLastError()));
    return {};
}

Outcome askFirstAtSessionEnd(bool first) {
    if (!SetProcessShutdownParameters(first ? FirstLevel : DefaultLevel, 0))
        return Outcome::failure(L"SetProcessShutdownParameters: " + errorText(GetLastError()));
    return {};
}

unsigned long sessionEndLevel() {
    DWORD level = 0, flags = 0;
    return GetProcessShutdownParameters(&level, &flags) ? level : 0;
}

} // namespace tw::platform::win
