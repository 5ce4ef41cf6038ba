// The composition root: reads the command line, builds the platform, hands
// a start of a configuration that runs already over to its panel, builds
// the main window and the subsystems, runs the window's load, then shows it.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/Translations.h"
#include "app/WindowTimer.h"
#include "check/NodeCheck.h"
#include "health/History.h"
#include "panel/CommandLine.h"
#include "panel/Ending.h"
#include "panel/Instance.h"
#include "panel/NodeCommand.h"
#include "panel/Panel.h"
#include "platform/NativePlatform.h"
#include "platform/NodeLinks.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <cstdio>
#include <vector>

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

// Prints `text` where a command-line run reads it and ends with `status`.
int say(std::FILE* stream, const QString& text, int status) {
    tw::platform::NativePlatform::useStartingConsole();
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
    return status;
}

// `--add-node NAME` and the other node options, with no display.
int nodes(int argc, char* argv[], const tw::panel::commandline::Reading& reading,
          const QString& program) {
    tw::platform::NativePlatform::useStartingConsole();
    QCoreApplication application(argc, argv);
    tw::app::installTranslations(application);
    const std::unique_ptr<tw::platform::NodeLinks> links = tw::platform::createNodeLinks();
    const tw::panel::CommandRun run = tw::panel::runNodeCommand(*links, reading, program);
    say(stdout, run.out, 0);
    return say(stderr, run.err, run.status);
}

} // namespace

int main(int argc, char* argv[]) {
    namespace commandline = tw::panel::commandline;
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString program =
        commandline::programName(argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString());
    const commandline::Reading reading = commandline::read(arguments);
    switch (reading.asked) {
    case commandline::Asked::Check:
        return check(argc, argv);
    case commandline::Asked::Help:
        return say(stdout, commandline::usage(program), 0);
    case commandline::Asked::Version:
        return say(stdout, commandline::version(), 0);
    case commandline::Asked::Wrong:
        return say(stderr,
                   QStringLiteral("%1: %2\nTry \"%1 --help\" for the options.\n")
                       .arg(program, reading.problem),
                   2);
    case commandline::Asked::AddNode:
    case commandline::Asked::RemoveNode:
    case commandline::Asked::ListNodes:
    case commandline::Asked::NodeAutostart:
        return nodes(argc, argv, reading, program);
    case commandline::Asked::Panel:
        break;
    }

    // On a Wayland session with XWayland the panel is an X11 client unless
    // the user named a platform: only there can it stay above other windows.
    std::vector<QByteArray> qtStrings;
    std::vector<char*> qtLine = commandline::qtCommandLine(
        argc, argv,
        commandline::chosenPlatform(arguments, QProcessEnvironment::systemEnvironment(),
                                    commandline::qtHasXcb()),
        qtStrings);
    int qtCount = static_cast<int>(qtLine.size()) - 1;
    QApplication application(qtCount, qtLine.data());
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

    // A configuration whose panel runs already: that panel comes to the
    // front and this start ends, before the store, the log or a batch file
    // is touched.
    const std::shared_ptr<tw::panel::Instance> instance =
        tw::panel::Instance::claim(executable, platform.windows);
    if (!instance)
        return 0;

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
                            native.programFile(), native.autostart(), instance});
    // A signal, the session's end or the process's exit close the window as
    // its close button does.
    tw::panel::Ending ending(window, services, native.endRequests());

    if (!platform.windows.limitation().isEmpty())
        diagnostics.note(QStringLiteral("window-system"), platform.windows.limitation());

    panel.load();
    window.show();
    QObject::connect(&window, &tw::app::MainWindow::closed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    return application.exec();
}
