// twdemo-configure: points one configuration of the panel at the demo node.
//
//   twdemo-configure <section> <demo-folder> <client-folder>
//
// Writes the settings of <section> (the panel's executable name, for the demo
// TW-CLI-UI-DEMO) into the user's settings store and the three batch files
// into <demo-folder>, the folder that holds the demo node's twdemo.conf. The
// batch lines are the ones the settings window composes with "/" as the path
// separator and the Daemon tick box clear.

#include "app/Diagnostics.h"
#include "app/SettingsStore.h"
#include "platform/Posix.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QString>

#include <cstdio>
#include <utility>
#include <vector>

namespace {

const QString ClientName = QStringLiteral("twdemo-cli");

void say(std::FILE* stream, const QString& line) {
    std::fprintf(stream, "twdemo-configure: %s\n", line.toLocal8Bit().constData());
    std::fflush(stream);
}

bool writeBatchFile(const QString& path, const QString& line) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        say(stderr, QStringLiteral("cannot create %1: %2").arg(path, file.errorString()));
        return false;
    }
    file.write(line.toLocal8Bit() + "\r\n");
    if (!file.commit()) {
        say(stderr, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4 || args.at(1).isEmpty() || args.at(2).isEmpty() || args.at(3).isEmpty()) {
        say(stderr, QStringLiteral("usage: twdemo-configure <section> <demo-folder> "
                                   "<client-folder>"));
        return 2;
    }
    const QString section = args.at(1);
    const QString demo = args.at(2);
    const QString client = args.at(3);
    const QString sep = QStringLiteral("/");
    const auto inDemo = [&](const char* name) { return demo + sep + QLatin1String(name); };

    const QString conf = inDemo("twdemo.conf");
    const QString gbcBat = inDemo("CLI-UI-GBC.BAT");
    const QString gccBat = inDemo("CLI-UI-GCC.BAT");
    const QString stopBat = inDemo("CLI-UI-STOP.BAT");
    const QString gbcLog = inDemo("CLI-UI-GBC.LOG");
    const QString gccLog = inDemo("CLI-UI-GCC.LOG");

    const std::vector<std::pair<const char*, QString>> settings = {
        {"TW_CLI_UI_LOCATION_TEXTBOX", demo},
        {"CONF_LOCATION_TEXTBOX", conf},
        {"CLI_LOCATION_TEXTBOX", client},
        {"CLI_NAME_TEXTBOX", ClientName},
        {"QT_EXE_TEXTBOX", QStringLiteral("twdemo-wallet")},
        {"DAEMON_EXE_TEXTBOX", QStringLiteral("twdemo-daemon")},
        // The batch lines below carry no daemon option.
        {"DASH_DAEMON_TICKBOX", QStringLiteral("0")},
        {"DISABLE_DAEMON_TICKBOX", QStringLiteral("0")},
        {"CLI_GBC_BAT_TICKBOX", QStringLiteral("1")},
        {"CLI_GCC_BAT_TICKBOX", QStringLiteral("1")},
        {"CLI_STOP_BAT_TICKBOX", QStringLiteral("0")},
        {"AUTOSTART_TICKBOX", QStringLiteral("1")},
        {"AUTOCLOSE_TIMER_TICKBOX", QStringLiteral("0")},
        {"P4P_TICKBOX", QStringLiteral("0")},
        {"CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", stopBat},
        {"CLI_GBC_FULL_BAT_LOCATION_TEXTBOX", gbcBat},
        {"CLI_GCC_FULL_BAT_LOCATION_TEXTBOX", gccBat},
        {"CLI_GBC_FULL_LOG_LOCATION_TEXTBOX", gbcLog},
        {"CLI_GCC_FULL_LOG_LOCATION_TEXTBOX", gccLog},
    };

    tw::platform::IniSettingsBackend backend;
    tw::app::Diagnostics diagnostics; // failures go to stderr
    tw::app::SettingsStore store(backend, section, &diagnostics);
    for (const auto& [key, value] : settings)
        store.SaveSetting(QLatin1String(key), value);
    if (diagnostics.failureCount() > 0)
        return 1;

    const QString prefix =
        QStringLiteral("call \"") + client + sep + ClientName + QStringLiteral("\" -conf=") + conf;
    const bool written =
        writeBatchFile(stopBat, prefix + QStringLiteral(" stop")) &&
        writeBatchFile(gbcBat, prefix + QStringLiteral(" getblockcount > ") + gbcLog) &&
        writeBatchFile(gccBat, prefix + QStringLiteral(" getconnectioncount > ") + gccLog);
    if (!written)
        return 1;

    say(stdout, QStringLiteral("section %1 of %2 now runs the demo node in %3")
                    .arg(section, backend.location(), demo));
    return 0;
}
