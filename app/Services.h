#pragma once
#include "platform/Platform.h"

namespace tw::app {

class Scheduler;
class SettingsStore;
class Diagnostics;

// What every window and subsystem is handed by the composition root.
struct Services {
    platform::Platform& platform;
    Scheduler& scheduler;
    SettingsStore& store;
    Diagnostics& diagnostics;
};

} // namespace tw::app
