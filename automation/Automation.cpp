#include "automation/Automation.h"

#include "app/Accessibility.h"
#include "app/Colours.h"
#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/WindowTimer.h"
#include "poll/ChainPoll.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <climits>
#include <optional>

namespace tw::automation {

namespace {

using app::MainWindow;

const QString Fired = QStringLiteral("-- --");

// The stop command's pause: long enough for the client to pass it on.
constexpr int StopCommandPauseMs = 3000;

bool ticked(const QCheckBox* box) {
    return MainWindow::ticked(box);
}

} // namespace

const QString Automation::ProcessListFailure = QStringLiteral("process-list");
const QString Automation::CycleStopBatchFailure = QStringLiteral("stop-batch-cycle");
const QString Automation::ShutdownStopBatchFailure = QStringLiteral("stop-batch-shutdown");

Automation::Automation(app::MainWindow& window, const app::Services& services)
    : QObject(&window), window_(window), services_(services) {
    MainWindow& w = window_;
    connect(w.START_STOP_BUTTON, &QPushButton::clicked, this,
            [this] { START_STOP_BUTTON_Click(); });
    connect(w.SHUTDOWN_BUTTON, &QPushButton::clicked, this, [this] { SHUTDOWN_BUTTON_Click(); });
    // Tick boxes act on every real change of state, by the user or by code.
    connect(w.CLI_STOP_BAT_TICKBOX, &QCheckBox::toggled, this,
            [this] { CLI_STOP_BAT_TICKBOX_Click(); });
    w.COUNTDOWN_TIMER->setHandler([this] { COUNTDOWN_TIMER_Timer(); });
    w.CLI_PROCESS_WATCHER_TIMER->setHandler([this] { CLI_PROCESS_WATCHER_TIMER_Timer(); });
    w.UNLOAD_TIMER->setHandler([this] { UNLOAD_TIMER_Timer(); });
    w.P4P_END_TIMER->setHandler([this] { P4P_END_TIMER_Timer(); });
}

QString Automation::countdownText(qint64 remaining) {
    const qint64 magnitude = remaining < 0 ? -remaining : remaining;
    return QStringLiteral("%1").arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

// ---------------------------------------------------------------------------
// START / STOP and the countdown

void Automation::START_STOP_BUTTON_Click() {
    MainWindow& w = window_;
    // Nothing for a cycle to do: refuse, whatever the caption says.
    if (!ticked(w.CLI_GBC_BAT_TICKBOX) && !ticked(w.CLI_GCC_BAT_TICKBOX) &&
        !ticked(w.CLI_STOP_BAT_TICKBOX)) {
        w.showNothingToRun();
        return;
    }

    if (w.START_STOP_BUTTON->text() == MainWindow::startCaption()) {
        w.COUNTDOWN_REMAINING = MainWindow::CountdownStart;
        w.showCounting();
        return;
    }

    // STOP: the count and the display stay as they are; a pending cycle end
    // or wait goes on, the 60-second loop does not.
    w.showIdle();
    w.GET_LOOP_TIMER->setEnabled(false);
}

void Automation::COUNTDOWN_TIMER_Timer() {
    MainWindow& w = window_;
    if (w.COUNTDOWN_REMAINING > INT_MIN)
        --w.COUNTDOWN_REMAINING;
    w.AUTORUN_TIMER_TEXTBOX->setText(countdownText(w.COUNTDOWN_REMAINING));
    if (w.AUTORUN_TIMER_TEXTBOX->text() != QLatin1String("00"))
        return;

    // The cycle fires.
    app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Cyan);
    app::describeState(w.AUTORUN_TIMER_TEXTBOX, tr("cycle fired"));
    w.AUTORUN_TIMER_TEXTBOX->setText(Fired);
    w.COUNTDOWN_TIMER->setEnabled(false);

    if (ticked(w.CLI_GBC_BAT_TICKBOX)) {
        // A query request; its command timer runs the query a second later.
        poll::ChainPoll::requestBlockCount(w);
        w.UNLOAD_TIMER->setEnabled(true);
        w.COUNTDOWN_TIMER->setEnabled(false);
    }
    if (ticked(w.CLI_GCC_BAT_TICKBOX)) {
        poll::ChainPoll::requestConnectionCount(w);
        w.UNLOAD_TIMER->setEnabled(true);
        w.COUNTDOWN_TIMER->setEnabled(false);
    }
    if (ticked(w.CLI_STOP_BAT_TICKBOX)) {
        app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Red);
        app::describeState(w.AUTORUN_TIMER_TEXTBOX, tr("sending the stop command"));
        startStopBatchFile(CycleStopBatchFailure, w.AUTORUN_TIMER_TEXTBOX->objectName());
        services_.scheduler.sleep(StopCommandPauseMs);
        // The user closed the window meanwhile: nothing left to act on.
        if (w.hasClosed())
            return;
        app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Green);
        app::describeState(w.AUTORUN_TIMER_TEXTBOX, tr("stop command sent"));
        w.UNLOAD_TIMER->setEnabled(true);
        w.COUNTDOWN_TIMER->setEnabled(false);
    }
}

// ---------------------------------------------------------------------------
// Process watcher

bool Automation::isProcessRunning(const QString& name) {
    // An empty name matches no process; no need to look.
    if (name.isEmpty())
        return false;
    const std::optional<int> count = services_.platform.processes.countByImageName(name);
    if (!count) {
        // Said once until the list can be read again; the callers need a
        // plain yes or no, and "not running" lets a wait finish.
        services_.diagnostics.report(
            ProcessListFailure, window_.PROCESS_ACTIVE_LABEL->objectName(),
            QStringLiteral("the process list cannot be read; processes count as not running"));
        return false;
    }
    services_.diagnostics.clear(ProcessListFailure);
    return *count > 0;
}

void Automation::CLI_PROCESS_WATCHER_TIMER_Timer() {
    MainWindow& w = window_;
    const bool running = isProcessRunning(w.CLI_NAME_TEXTBOX->text());
    app::setBackground(w.PROCESS_ACTIVE_LABEL, running ? app::colour::Red : app::colour::Green);
    w.PROCESS_ACTIVE_LABEL->setText(
        running ? QCoreApplication::translate("MainWindow", "!!! CLI RUNNING !!!")
                : QCoreApplication::translate("MainWindow", "!!! CLI NOT RUNNING !!!"));
    // Greyed while the client runs, whatever else greyed or enabled them.
    for (QPushButton* button :
         {w.SHUTDOWN_BUTTON, w.GETBLOCKCOUNT_BUTTON, w.GETCONNECTIONCOUNT_BUTTON})
        button->setEnabled(!running);
}

// ---------------------------------------------------------------------------
// Shutdown, the AutoSend STOP interlock, the cycle end and the wait

void Automation::startStopBatchFile(const QString& key, const QString& control) {
    // The whole text is the path of one file, blanks and all.
    const QString path = window_.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->text();
    // Left to finish: the node needs its stop command to run to the end.
    const platform::BatchStart started =
        services_.platform.starter.startBatchFile(path, platform::BatchKind::Stop);
    if (started.result && started.skipped.isEmpty()) {
        services_.diagnostics.clear(key);
        return;
    }
    const QString shown = path.isEmpty() ? QStringLiteral("(no path)") : path;
    services_.diagnostics.report(
        key, control,
        started.result ? QStringLiteral("stop batch file %1: %2").arg(shown, started.skipped)
                       : QStringLiteral("stop batch file %1 not started: %2")
                             .arg(shown, started.result.error));
}

void Automation::SHUTDOWN_BUTTON_Click() {
    MainWindow& w = window_;
    startStopBatchFile(ShutdownStopBatchFailure, w.SHUTDOWN_BUTTON->objectName());
    services_.scheduler.sleep(StopCommandPauseMs);
    if (w.hasClosed())
        return;
    // The cycle end may have turned the watcher off.
    w.CLI_PROCESS_WATCHER_TIMER->setEnabled(true);
    app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Pink);
    app::describeState(w.AUTORUN_TIMER_TEXTBOX, tr("stop command sent"));
}

void Automation::CLI_STOP_BAT_TICKBOX_Click() {
    MainWindow& w = window_;
    // Each untick below runs that tick box's own handling before the next
    // step, and may come back here.
    if (ticked(w.CLI_STOP_BAT_TICKBOX)) {
        w.AUTOSTART_TICKBOX->setEnabled(true);
        w.CLI_GBC_BAT_TICKBOX->setEnabled(false);
        w.CLI_GCC_BAT_TICKBOX->setEnabled(false);
        w.CLI_GBC_BAT_TICKBOX->setChecked(false);
        w.CLI_GCC_BAT_TICKBOX->setChecked(false);
    } else {
        w.AUTOSTART_TICKBOX->setEnabled(false);
        w.AUTOCLOSE_TIMER_TICKBOX->setEnabled(false);
        w.AUTOSTART_TICKBOX->setChecked(false);
        w.AUTOCLOSE_TIMER_TICKBOX->setChecked(false);
        w.CLI_GBC_BAT_TICKBOX->setEnabled(true);
        w.CLI_GCC_BAT_TICKBOX->setEnabled(true);
    }
}

void Automation::stopCycleTimers() {
    MainWindow& w = window_;
    for (app::WindowTimer* timer :
         {w.COUNTDOWN_TIMER, w.GETBLOCKCOUNT_COMMAND_TIMER, w.GETCONNECTIONCOUNT_COMMAND_TIMER,
          w.CLI_PROCESS_WATCHER_TIMER, w.GET_LOOP_TIMER})
        timer->setEnabled(false);
}

void Automation::armNextCycle() {
    MainWindow& w = window_;
    w.COUNTDOWN_TIMER->setEnabled(false);
    app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Yellow);
    w.GET_LOOP_TIMER->setEnabled(true);
    for (QPushButton* button : {w.SETTINGS_BUTTON, w.GETBLOCKCOUNT_BUTTON,
                                w.GETCONNECTIONCOUNT_BUTTON, w.SHUTDOWN_BUTTON})
        button->setEnabled(false);
    // Off and on again: a full interval from now. The count is not reset,
    // so this cycle fires on its 60th tick.
    w.COUNTDOWN_TIMER->setEnabled(true);
    w.START_STOP_BUTTON->setText(MainWindow::stopCaption());
    w.CLI_GBC_BAT_TICKBOX->setEnabled(false);
    w.CLI_GCC_BAT_TICKBOX->setEnabled(false);
    w.CLI_STOP_BAT_TICKBOX->setEnabled(false);
    w.UNLOAD_TIMER->setEnabled(false);
}

void Automation::closeMainWindow() {
    // The close handler writes the position and the tick states once, stops
    // every timer and closes an open settings window without saving it.
    window_.close();
}

void Automation::UNLOAD_TIMER_Timer() {
    MainWindow& w = window_;
    const bool autoClose = ticked(w.AUTOCLOSE_TIMER_TICKBOX);
    const bool pauseForProcess = ticked(w.P4P_TICKBOX);

    // A: close now.
    if (autoClose && !pauseForProcess) {
        stopCycleTimers();
        app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Red);
        app::describeState(w.AUTORUN_TIMER_TEXTBOX, tr("closing"));
        closeMainWindow();
        return;
    }

    // B: wait for the node's exit (and go on with C and D).
    if (ticked(w.AUTOCLOSE_TIMER_TICKBOX) && ticked(w.P4P_TICKBOX)) {
        stopCycleTimers();
        app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Yellow);
        w.P4P_END_TIMER->setEnabled(true);
        w.UNLOAD_TIMER->setEnabled(false);
    }

    // C and D, each on its own: with only Auto G-B-C ticked, D's pink
    // follows C's yellow.
    if (ticked(w.CLI_GBC_BAT_TICKBOX))
        armNextCycle();
    else
        app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Pink);

    if (ticked(w.CLI_GCC_BAT_TICKBOX))
        armNextCycle();
    else
        app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Pink);

    // Said as the cycle stands now, whichever colour C and D left.
    if (w.COUNTDOWN_TIMER->isRunning())
        app::describeState(w.AUTORUN_TIMER_TEXTBOX, tr("counting down"));
    else if (w.P4P_END_TIMER->isRunning())
        app::describeState(w.AUTORUN_TIMER_TEXTBOX,
                           tr("waiting for the wallet and the daemon to exit"));
    else
        app::describeState(w.AUTORUN_TIMER_TEXTBOX, tr("stopped"));
}

void Automation::P4P_END_TIMER_Timer() {
    MainWindow& w = window_;
    // A name's box green while it runs (and the label says so), else red;
    // the wallet first, so a running daemon has the label's last word.
    const auto look = [&](QLineEdit* box, const QString& stillRunning) {
        const bool running = isProcessRunning(box->text());
        if (running) {
            app::setBackground(w.PROCESS_ACTIVE_LABEL, app::colour::Red);
            w.PROCESS_ACTIVE_LABEL->setText(stillRunning);
        }
        app::setBackground(box, running ? app::colour::Green : app::colour::Red);
        app::describeState(box, running ? tr("running") : tr("not running"));
    };
    look(w.QT_EXE_TEXTBOX, QCoreApplication::translate("MainWindow", "!!! QT STILL RUNNING !!!"));
    look(w.DAEMON_EXE_TEXTBOX,
         QCoreApplication::translate("MainWindow", "!!! DAEMON STILL RUNNING !!!"));

    // Neither found in this tick (read back from the two boxes).
    if (app::background(w.QT_EXE_TEXTBOX) == app::colour::Red &&
        app::background(w.DAEMON_EXE_TEXTBOX) == app::colour::Red) {
        app::setBackground(w.PROCESS_ACTIVE_LABEL, app::colour::Green);
        w.PROCESS_ACTIVE_LABEL->setText(
            QCoreApplication::translate("MainWindow", "!!! FINISHED - AUTOCLOSING !!!"));
        app::setBackground(w.QT_EXE_TEXTBOX, app::colour::Pink);
        app::setBackground(w.DAEMON_EXE_TEXTBOX, app::colour::Pink);
        app::setBackground(w.AUTORUN_TIMER_TEXTBOX, app::colour::Green);
        app::describeState(w.AUTORUN_TIMER_TEXTBOX, tr("finished, closing"));
        closeMainWindow();
        return;
    }
}

} // namespace tw::automation
