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

void NativePlatform::useStartingConsole() {
    win::attachParentConsole();
}

} // namespace tw::platform
