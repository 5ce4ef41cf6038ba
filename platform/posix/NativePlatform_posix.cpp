#include "platform/NativePlatform.h"

#include "platform/RealClock.h"
#include "platform/posix/Posix.h"

namespace tw::platform {

struct NativePlatform::Parts {
    RealClock clock;
    IniSettingsBackend settings;
    PosixProcessStarter starter;
    ProcProcessTable processes;
    LocalFileSystem files;
    std::unique_ptr<WindowSystem> windows = createWindowSystem();
    QString program;
    std::unique_ptr<XdgAutostart> autostart;
    PosixEndRequests endRequests;
};

NativePlatform::NativePlatform(const char* argv0) : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    platform_.reset(new Platform{p.clock, p.settings, p.starter, p.processes, p.files, *p.windows,
                                 executableNameFromArgv0(argv0), defaultStateFolder()});
    p.program = programFileFromArgv0(argv0 ? QString::fromLocal8Bit(argv0) : QString());
    p.autostart = std::make_unique<XdgAutostart>(platform_->executableName, p.program);
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

void NativePlatform::useStartingConsole() {}

} // namespace tw::platform
