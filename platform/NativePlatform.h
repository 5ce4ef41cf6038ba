#pragma once
// The platform of the system the program is built for, whole: Linux's parts
// (posix/) or Windows' (windows/); CMake builds the one factory that fits.
// main.cpp knows no operating system.

#include "platform/Platform.h"

#include <memory>

namespace tw::platform {

class NativePlatform {
public:
    // Built once QApplication exists (the window system asks Qt for its
    // display connection). argv0: the program's own path as it was started;
    // on Linux its file name names the store's section, on Windows the
    // module's name does.
    explicit NativePlatform(const char* argv0);
    ~NativePlatform();
    NativePlatform(const NativePlatform&) = delete;
    NativePlatform& operator=(const NativePlatform&) = delete;

    Platform& platform() { return *platform_; }
    // The program's own file as it was started: on Linux argv[0] made
    // absolute (a link's own path, not its target, so that a configuration's
    // link is named), on Windows the module's file.
    QString programFile() const;
    // Whether this configuration's programFile() starts at login.
    Autostart& autostart();
    // Signals that ask the program to end (POSIX); none on Windows, where
    // the session's end comes through Qt's session management.
    EndRequests& endRequests();

    // A command-line run of a windowed program (`--check`): its standard
    // output and error go to the console it was started from, where the
    // system gives a windowed program none (Windows); elsewhere nothing to
    // do. Output already redirected (a pipe, a file) is left as it is.
    static void useStartingConsole();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<Platform> platform_;
};

} // namespace tw::platform
