// The composition root: builds the platform, the main window and the
// subsystems, runs the window's load, then shows it.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/TopMostKeeper.h"
#include "app/WindowTimer.h"
#include "automation/Automation.h"
#include "platform/Posix.h"
#include "platform/RealClock.h"
#include "poll/ChainPoll.h"
#include "settings/SettingsWindow.h"

#include <QApplication>
#include <QDir>

int main(int argc, char* argv[]) {
    const QString executable = tw::platform::executableNameFromArgv0(argc > 0 ? argv[0] : "");
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));

    tw::platform::RealClock clock;
    tw::platform::IniSettingsBackend settings;
    tw::platform::PosixProcessStarter starter;
    tw::platform::ProcProcessTable processes;
    tw::platform::LocalFileSystem files;
    const auto windows = tw::platform::createWindowSystem();
    tw::platform::Platform platform{clock,     settings, starter,   processes,
                                    files,     *windows, executable, tw::platform::defaultStateFolder()};

    tw::app::Diagnostics diagnostics(QDir(platform.stateFolder).filePath(executable + ".log"));
    tw::app::SettingsStore store(settings, executable, &diagnostics);
    tw::app::Scheduler scheduler(clock);
    const tw::app::Services services{platform, scheduler, store, diagnostics};

    tw::app::MainWindow window(services);
    tw::app::TopMostKeeper keeper(window, services);
    tw::poll::ChainPoll poll(window, services);
    tw::automation::Automation automation(window, services);
    window.setSettingsWindowFactory(tw::settings::settingsWindowFactory(services));

    if (!windows->limitation().isEmpty())
        diagnostics.note(QStringLiteral("window-system"), windows->limitation());

    window.load();
    window.show();
    QObject::connect(&window, &tw::app::MainWindow::closed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    return application.exec();
}
