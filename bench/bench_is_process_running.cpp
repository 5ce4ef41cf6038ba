// Timing of the automation's process check on the real process table; not a
// test.
//
//   bench_is_process_running [NAME] [CALLS]
//
// Builds the main window and the automation over the real /proc (time is
// virtual) and delivers CALLS watcher ticks (default 1000) asking for NAME
// (default "twdemo-cli"); each tick is one isProcessRunning plus the
// label and the three buttons. Then CALLS wait ticks, each asking for two
// names. Prints milliseconds per call and the process count of the table.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/WindowTimer.h"
#include "automation/Automation.h"
#include "platform/posix/Posix.h"
#include "tests/support/Fakes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString name = args.size() > 1 ? args[1] : QStringLiteral("twdemo-cli");
    const int calls = args.size() > 2 ? std::max(1, args[2].toInt()) : 1000;

    tw::test::VirtualClock clock;
    tw::test::FakeSettingsBackend settings;
    tw::test::FakeProcessStarter starter(clock);
    tw::platform::ProcProcessTable processes;
    tw::test::FakeFileSystem files;
    tw::test::FakeWindowSystem windows;
    const QString section = QStringLiteral("bench");
    tw::platform::Platform platform{clock, settings, starter, processes,
                                    files, windows,  section, QString()};
    tw::app::Diagnostics diagnostics(QString(), false);
    tw::app::SettingsStore store(settings, section, &diagnostics);
    tw::app::Scheduler scheduler(clock);
    const tw::app::Services services{platform, scheduler, store, diagnostics};
    auto window = std::make_unique<tw::app::MainWindow>(services);
    new tw::automation::Automation(*window, services);
    window->load();
    window->CLI_NAME_TEXTBOX->setText(name);

    int processCount = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        entry.toInt(&numeric);
        processCount += numeric ? 1 : 0;
    }

    clock.advance(1000); // warm up
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < calls; ++i)
        clock.advance(1000);
    const double watcherMs = static_cast<double>(timer.nsecsElapsed()) / 1e6 / calls;
    const QString caption = window->PROCESS_ACTIVE_LABEL->text();

    // The wait: two names a tick; a name nobody runs, so that it never closes.
    window->CLI_PROCESS_WATCHER_TIMER->setEnabled(false);
    window->QT_EXE_TEXTBOX->setText(name);
    window->DAEMON_EXE_TEXTBOX->setText(name);
    window->P4P_END_TIMER->setEnabled(true);
    timer.restart();
    int ticks = 0;
    while (ticks < calls && !window->hasClosed()) {
        clock.advance(1000);
        ++ticks;
    }
    const double waitMs = static_cast<double>(timer.nsecsElapsed()) / 1e6 / (2.0 * ticks);

    std::printf("processes in /proc: %d\n", processCount);
    std::printf("watcher ticks: %d asking for \"%s\": %.3f ms per isProcessRunning (%s)\n", calls,
                qPrintable(name), watcherMs, qPrintable(caption));
    std::printf("wait ticks: %d, two questions each: %.3f ms per isProcessRunning%s\n", ticks,
                waitMs, window->hasClosed() ? " (closed: the name is not running)" : "");
    scheduler.stopAll();
    window.reset();
    return 0;
}
