// The composition root: builds the platform, the main window and the
// subsystems, runs the window's load, then shows it.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/WindowTimer.h"
#include "health/History.h"
#include "panel/Panel.h"
#include "platform/RealClock.h"
#ifdef Q_OS_WIN
#include "platform/Windows.h"
#else
#include "platform/Posix.h"
#endif

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QIcon>

#include <memory>

int main(int argc, char* argv[]) {
#ifdef Q_OS_WIN
    const QString executable = tw::platform::windowsExecutableName();
#else
    const QString executable = tw::platform::executableNameFromArgv0(argc > 0 ? argv[0] : "");
#endif
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    // The window is matched to its menu entry by this id, and both windows
    // carry the program's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TW_APP_ID));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    tw::platform::RealClock clock;
#ifdef Q_OS_WIN
    tw::platform::RegistrySettingsBackend settings;
    tw::platform::WinProcessStarter starter;
    tw::platform::ToolhelpProcessTable processes;
    tw::platform::WinFileSystem files;
    const auto windows = std::make_unique<tw::platform::Win32WindowSystem>();
    const QString stateFolder = tw::platform::windowsStateFolder();
#else
    tw::platform::IniSettingsBackend settings;
    tw::platform::PosixProcessStarter starter;
    tw::platform::ProcProcessTable processes;
    tw::platform::LocalFileSystem files;
    const auto windows = tw::platform::createWindowSystem();
    const QString stateFolder = tw::platform::defaultStateFolder();
#endif
    tw::platform::Platform platform{clock, settings, starter,    processes,
                                    files, *windows, executable, stateFolder};

    tw::app::Diagnostics diagnostics(QDir(platform.stateFolder).filePath(executable + ".log"), true,
                                     &files);
    tw::app::SettingsStore store(settings, executable, &diagnostics);
    tw::app::Scheduler scheduler(clock);
    const tw::app::Services services{platform, scheduler, store, diagnostics};
    // What the user and alert commands wrote, once each run has ended.
    starter.setOutputHandler(
        [&diagnostics](const QString&, const QString& line) { diagnostics.logEvent(line); });

    // The window, its subsystems around it, then its load. The platform clock
    // counts from the start; the history's and the tooltip's times are
    // wall-clock times.
    tw::app::MainWindow window(services);
    tw::panel::Panel panel(window, services,
                           {tw::health::history::pathFor(platform),
                            [] { return QDateTime::currentMSecsSinceEpoch(); }, icon});

    if (!windows->limitation().isEmpty())
        diagnostics.note(QStringLiteral("window-system"), windows->limitation());

    panel.load();
    window.show();
    QObject::connect(&window, &tw::app::MainWindow::closed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    return application.exec();
}
