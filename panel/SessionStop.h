#pragma once
// The node stopped before the desktop session or the machine ends, when the
// configuration asks for it ("Stop the node when I log off or shut down",
// in the Alerts and monitoring dialog and the tray's menu): the platform's
// watch of the session's end (platform::SessionEnd: logind's delay
// inhibitor on Linux, WM_QUERYENDSESSION on Windows) is held while the
// option is on and runs the flow when the end comes; the end waits until
// the flow has returned.
//
// The flow, in one place: the stop batch file (the one the SHUTDOWN button
// and an automation cycle's stop run), then the wait until the wallet and
// the daemon named in the settings have exited, at most WaitLimitMs, then
// the window's close by the close button's path (Ending::request: the
// close handler writes the store). The wait is the scheduler's: the
// windows repaint, no tick and no click is taken meanwhile, and an end
// request that comes meanwhile closes the window after the flow. Every
// failing step goes to the diagnostics and the flow goes on to its end;
// never a box.

#include "app/Services.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tw::app {
class MainWindow;
}
namespace tw::health {
class HealthMonitor;
}
namespace tw::platform {
class SessionEnd;
}

namespace tw::panel {

class SessionStop : public QObject {
    Q_OBJECT
public:
    // The longest wait for the wallet and the daemon.
    static constexpr int WaitLimitMs = 10 * 60 * 1000;
    // How often the process table is looked at during the wait.
    static constexpr int LookEveryMs = 250;
    // Diagnostics keys of the flow's failures.
    static const QString StopBatchFailure;
    static const QString WaitFailure;
    static const QString ProcessListFailure;

    // A child of the window, built by the composition; the option is the
    // monitor's settings' (stopNodeAtSessionEnd), followed as they change.
    SessionStop(app::MainWindow& window, const app::Services& services,
                health::HealthMonitor& monitor);
    ~SessionStop() override;
    SessionStop(const SessionStop&) = delete;
    SessionStop& operator=(const SessionStop&) = delete;

    // Hands the flow to the platform's watch of the session's end, held
    // while the option is on; `close` closes the window as its close
    // button does. detach() lets go of the watch (also at destruction).
    void attach(platform::SessionEnd& end, std::function<void(const QString& why)> close);
    void detach();

    // Whether the option is on.
    bool wanted() const;
    // The flow, for the end named by `why`; once at a time, and not after
    // the window has closed.
    void run(const QString& why);
    bool isRunning() const { return running_; }

private:
    // Starts the stop batch file; false when nothing was started.
    bool sendStop();
    // Waits until none of `names` runs, or the limit.
    void waitForExit(const QStringList& names);
    // The names of `names` that run now; a process list that cannot be
    // read counts as none running (and is reported once).
    QStringList running(const QStringList& names);

    app::MainWindow& window_;
    app::Services services_;
    health::HealthMonitor& monitor_;
    platform::SessionEnd* end_ = nullptr;
    std::function<void(const QString&)> close_;
    bool running_ = false;
};

} // namespace tw::panel
