// The composition root: builds the platform, the main window and the
// subsystems, runs the window's load, then shows it.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/Translations.h"
#include "app/WindowTimer.h"
#include "check/NodeCheck.h"
#include "health/History.h"
#include "panel/Panel.h"
#include "platform/NativePlatform.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QStandardPaths>

#include <cstring>

namespace {

// `--check`: one look at the node for a monitoring plugin, with no display.
int check(int argc, char* argv[]) {
    tw::platform::NativePlatform::useStartingConsole();
    QCoreApplication application(argc, argv);
    tw::app::installTranslations(application);
    tw::platform::NativePlatform native(argc > 0 ? argv[0] : "");
    QStringList arguments = QCoreApplication::arguments().mid(1);
    arguments.removeOne(QStringLiteral("--check"));
    return tw::check::runCheckCommand(native.platform(), arguments);
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--check") == 0)
            return check(argc, argv);

    QApplication application(argc, argv);
    tw::app::installTranslations(application);
    QApplication::setStyle(QStringLiteral("Fusion"));
    // The window is matched to its menu entry by this id, and both windows
    // carry the program's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TW_APP_ID));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    tw::platform::NativePlatform native(argc > 0 ? argv[0] : "");
    tw::platform::Platform& platform = native.platform();
    const QString& executable = platform.executableName;

    tw::app::Diagnostics diagnostics(QDir(platform.stateFolder).filePath(executable + ".log"), true,
                                     &platform.files);
    tw::app::SettingsStore store(platform.settings, executable, &diagnostics);
    tw::app::Scheduler scheduler(platform.clock);
    const tw::app::Services services{platform, scheduler, store, diagnostics};
    // What the user and alert commands wrote, once each run has ended.
    platform.starter.setOutputHandler(
        [&diagnostics](const QString&, const QString& line) { diagnostics.logEvent(line); });

    // The window, its subsystems around it, then its load. The platform clock
    // counts from the start; the history's and the tooltip's times are
    // wall-clock times.
    tw::app::MainWindow window(services);
    tw::panel::Panel panel(window, services,
                           {tw::health::history::pathFor(platform),
                            [] { return QDateTime::currentMSecsSinceEpoch(); }, icon,
                            native.programFile(), native.autostart()});

    if (!platform.windows.limitation().isEmpty())
        diagnostics.note(QStringLiteral("window-system"), platform.windows.limitation());

    panel.load();
    window.show();
    QObject::connect(&window, &tw::app::MainWindow::closed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    return application.exec();
}
