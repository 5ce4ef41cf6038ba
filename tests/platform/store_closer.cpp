// One panel's close, again and again, for the store's concurrency test: for
// each line "N" on stdin it writes its section's eight close values (the
// window's position and six tick states, as the main window's close does),
// through the real store, as one occasion, and answers "saved N" or
// "failed N: why" on stdout.
//
//   store_closer <settings file> <section>

#include "app/Diagnostics.h"
#include "app/SettingsStore.h"
#include "platform/Posix.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: store_closer FILE SECTION\n");
        return 2;
    }
    tw::platform::IniSettingsBackend backend(QString::fromLocal8Bit(argv[1]));
    tw::app::Diagnostics diagnostics(QString(), false);
    tw::app::SettingsStore store(backend, QString::fromLocal8Bit(argv[2]), &diagnostics);
    std::string line;
    while (std::getline(std::cin, line)) {
        const QString round = QString::fromStdString(line);
        {
            const tw::app::SettingsStore::Batch close(store, QStringLiteral("the close"));
            store.SaveSetting(QStringLiteral("MainLeft"), round);
            store.SaveSetting(QStringLiteral("MainTop"), round);
            for (const char* key : {"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX", "CLI_STOP_BAT_TICKBOX",
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
