// One panel's close, again and again, for the store's concurrency test: for
// each line "N" on stdin it writes its section's eight close values (the
// window's position and six tick states, as the main window's close does),
// through the real store, as one occasion, and answers "saved N" or
// "failed N: why" on stdout. With a third argument each fsync of the store
// takes that many milliseconds longer, as on a slow disk, so that the
// panels hold the store's lock as long as they would there.
//
//   store_closer <settings file> <section> [fsync ms]

#include "app/Diagnostics.h"
#include "app/SettingsStore.h"
#include "platform/posix/Posix.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: store_closer FILE SECTION [FSYNC-MS]\n");
        return 2;
    }
    tw::platform::IniSettingsBackend backend(QString::fromLocal8Bit(argv[1]));
    if (argc == 4) {
        const unsigned long slow = std::strtoul(argv[3], nullptr, 10);
        tw::platform::WriteSteps steps;
        steps.sync = [slow](int fd) {
            std::this_thread::sleep_for(std::chrono::milliseconds(slow));
            return ::fsync(fd);
        };
        backend.setWriteSteps(steps);
    }
    tw::app::Diagnostics diagnostics(QString(), false);
    tw::app::SettingsStore store(backend, QString::fromLocal8Bit(argv[2]), &diagnostics);
    std::string line;
    while (std::getline(std::cin, line)) {
        const QString round = QString::fromStdString(line);
        {
            const tw::app::SettingsStore::Batch close(store, QStringLiteral("the close"));
            store.SaveSetting(QStringLiteral("MainLeft"), round);
            store.SaveSetting(QStringLiteral("MainTop"), round);
            for (const char* key :
                 {"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX", "CLI_STOP_BAT_TICKBOX",
                  "AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX"})
                store.SaveSetting(QString::fromLatin1(key), round);
        }
        if (diagnostics.isReported(tw::app::SettingsStore::WriteFailure))
            std::printf("failed %s: %s\n", line.c_str(),
                        diagnostics.lastFailure().toLocal8Bit().constData());
        else
            std::printf("saved %s\n", line.c_str());
        std::fflush(stdout);
    }
    return 0;
}
