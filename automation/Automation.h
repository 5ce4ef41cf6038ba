#pragma once
#include "app/Services.h"

#include <QObject>
#include <QString>

namespace tw::app {
class MainWindow;
}

namespace tw::automation {

// Countdown, process watcher, node shutdown, cycle end and the wait before
// the program closes itself.
//
// The handlers keep the names of the main window's controls and timers they
// serve; the constructor connects them. They read the window's controls at
// the moment they act and keep no state of their own.
class Automation : public QObject {
    Q_OBJECT
public:
    Automation(app::MainWindow& window, const app::Services& services);

    // Countdown text for a count of whole seconds: the magnitude modulo 60,
    // two digits with a leading zero ("10", "01", "00", and -1 -> "01").
    static QString countdownText(qint64 remaining);

    // The START/STOP button and the countdown tick.
    void START_STOP_BUTTON_Click();
    void COUNTDOWN_TIMER_Timer();

    // The once-a-second watcher of the command-line client.
    void CLI_PROCESS_WATCHER_TIMER_Timer();

    // Stop command by hand, the AutoSend STOP interlock, the cycle-end step
    // and the wait for the node's exit.
    void SHUTDOWN_BUTTON_Click();
    void CLI_STOP_BAT_TICKBOX_Click();
    void UNLOAD_TIMER_Timer();
    void P4P_END_TIMER_Timer();

    // Keys under which failures of these handlers are reported.
    static const QString ProcessListFailure;
    static const QString CycleStopBatchFailure;
    static const QString ShutdownStopBatchFailure;

private:
    // True when at least one running process has exactly this image name,
    // letter case ignored. A process list that cannot be read counts as
    // "not running" and is reported once.
    bool isProcessRunning(const QString& name);

    // Starts the stop batch file hidden, its full path taken whole from the
    // mirror field; a failure is reported under `key` and shown on `control`.
    void startStopBatchFile(const QString& key, const QString& control);
    // The steps C and D of the cycle end share this: arm the next cycle.
    void armNextCycle();
    // Turns off the five timers that the closing branches of the cycle end
    // stop, in their order.
    void stopCycleTimers();
    // Closes the main window; the close handler runs once and stops every
    // timer. The caller returns at once.
    void closeMainWindow();

    app::MainWindow& window_;
    app::Services services_;
};

} // namespace tw::automation
