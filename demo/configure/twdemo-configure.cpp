// twdemo-configure: points one configuration of the panel at the demo node.
//
//   twdemo-configure <section> <demo-folder> <client-folder>
//
// Configures <section> (the panel's executable name, for the demo
// TW-CLI-UI-DEMO) the way a user would, through the panel's own windows,
// built offscreen over the user's settings store: it fills in the settings
// window, presses Save To Registry and Save To .BAT Files (which write the
// store and the three batch files into <demo-folder>, the folder that holds
// the demo node's twdemo.conf), then ticks "Auto G-B-C", "Auto G-C-C" and
// "Auto Start" in the main window and closes it, which stores those ticks.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/WindowTimer.h"
#include "panel/Panel.h"
#include "platform/RealClock.h"
#include "platform/posix/Posix.h"
#include "settings/BatchComposer.h"
#include "settings/SettingsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include <cstdio>

namespace {

const QString ClientName = QStringLiteral("twdemo-cli");

void say(std::FILE* stream, const QString& line) {
    std::fprintf(stream, "twdemo-configure: %s\n", line.toLocal8Bit().constData());
    std::fflush(stream);
}

// The windows are never shown; Qt's own chatter about the offscreen
// platform (a missing runtime folder and the like) is not the tool's to say.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        say(stderr, message);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 || !*argv[1] || !*argv[2] || !*argv[3]) {
        say(stderr, QStringLiteral("usage: twdemo-configure <section> <demo-folder> "
                                   "<client-folder>"));
        return 2;
    }
    // Headless wherever it runs: nothing is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQt);
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString section = args.at(1);
    const QString demo = args.at(2);
    const QString client = args.at(3);

    tw::platform::RealClock clock;
    tw::platform::IniSettingsBackend backend;
    tw::platform::PosixProcessStarter starter;
    tw::platform::ProcProcessTable processes;
    tw::platform::LocalFileSystem files;
    const auto windows = tw::platform::createWindowSystem();
    // Never switched: nothing here shows the tray.
    tw::platform::XdgAutostart autostart(section, QString());
    tw::platform::Platform platform{clock, backend,  starter, processes,
                                    files, *windows, section, tw::platform::defaultStateFolder()};
    tw::app::Diagnostics diagnostics; // failures go to stderr
    tw::app::SettingsStore store(backend, section, &diagnostics);
    tw::app::Scheduler scheduler(clock);
    const tw::app::Services services{platform, scheduler, store, diagnostics};

    // The window with its subsystems, as the program builds it: the ticks
    // below run their click handling as a user's would.
    tw::app::MainWindow main(services);
    tw::panel::Panel panel(main, services,
                           {tw::health::history::pathFor(platform),
                            [] { return QDateTime::currentMSecsSinceEpoch(); }, QIcon(), QString(),
                            autostart});
    panel.load();
    {
        tw::settings::SettingsWindow settings(main, services);
        const QString sep = settings.BACKSLASH_TEXTBOX->text();
        settings.TW_CLI_UI_LOCATION_TEXTBOX->setText(demo);
        settings.CONF_LOCATION_TEXTBOX->setText(demo + sep + QStringLiteral("twdemo.conf"));
        settings.CLI_LOCATION_TEXTBOX->setText(client);
        settings.CLI_NAME_TEXTBOX->setText(ClientName);
        // The demo's lines carry no daemon option.
        settings.DISABLE_DAEMON_TICKBOX->setChecked(false);
        settings.DASH_DAEMON_TICKBOX->setChecked(false);
        settings.P4P_TICKBOX->setChecked(false);
        settings.QT_EXE_TEXTBOX->setText(QStringLiteral("twdemo-wallet"));
        settings.DAEMON_EXE_TEXTBOX->setText(QStringLiteral("twdemo-daemon"));

        settings.SAVE_REGISTRY_BUTTON->click();
        // The composer's tick, without waiting a second for it.
        settings.composer().CLI_STOP_BAT_COMMAND_TIMER_Timer();
        settings.composer().CLI_GBC_BAT_COMMAND_TIMER_Timer();
        settings.composer().CLI_GCC_BAT_COMMAND_TIMER_Timer();
        settings.SAVE_BATS_BUTTON->click();
        settings.CLOSE_BUTTON->click();
    }

    // The demo queries the node every minute from the start: the main
    // window's close stores its tick boxes.
    main.CLI_STOP_BAT_TICKBOX->setChecked(false);
    main.CLI_GBC_BAT_TICKBOX->setChecked(true);
    main.CLI_GCC_BAT_TICKBOX->setChecked(true);
    main.AUTOSTART_TICKBOX->setChecked(true);
    main.AUTOCLOSE_TIMER_TICKBOX->setChecked(false);
    main.P4P_TICKBOX->setChecked(false);
    main.close();

    if (diagnostics.failureCount() > 0)
        return 1;
    say(stdout, QStringLiteral("section %1 of %2 now runs the demo node in %3")
                    .arg(section, backend.location(), demo));
    return 0;
}
