#include "platform/NativePlatform.h"

#include "platform/RealClock.h"
#include "platform/windows/WindowsPlatform.h"

namespace tw::platform {

struct NativePlatform::Parts {
    RealClock clock;
    RegistrySettingsBackend settings;
    WinProcessStarter starter;
    ToolhelpProcessTable processes;
    WinFileSystem files;
    Win32WindowSystem windows;
    QString program = windowsModulePath();
    std::unique_ptr<RunKeyAutostart> autostart;
    // A windowed program gets no console signals; the session's end reaches
    // it as WM_QUERYENDSESSION and WM_ENDSESSION, which Qt's session
    // management turns into commitDataRequest and the application's quit,
    // and the session end's watch sees WM_QUERYENDSESSION first.
    struct Requests : EndRequests {
        void setHandler(std::function<void(const QString&)>) override {}
        SessionEnd* sessionEnd() override { return &session; }
        WinSessionEnd session;
    } endRequests;
};

NativePlatform::NativePlatform(const char*) : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    platform_.reset(new Platform{p.clock, p.settings, p.starter, p.processes, p.files, p.windows,
                                 windowsExecutableName(), windowsStateFolder()});
    p.autostart = std::make_unique<RunKeyAutostart>(platform_->executableName, p.program);
}

QString NativePlatform::programFile() const {
    return parts_->program;
}

Autostart& NativePlatform::autostart() {
    return *parts_->autostart;
}

NativePlatform::~NativePlatform() = default;

EndRequests& NativePlatform::endRequests() {
    return parts_->endRequests;
}

void NativePlatform::useStartingConsole() {
    win::attachParentConsole();
}

} // namespace tw::platform
