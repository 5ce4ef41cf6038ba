#pragma once
// The ends of the panel other than its close button: a request from outside
// (SIGTERM, SIGINT, SIGHUP), the desktop session's end, and the process's
// exit while the window is still open. Each closes the main window the way
// its close button does, so that its close handler writes the position and
// the tick states to the store. The platform's watch of the session's end
// goes to the window's SessionStop, which closes the window through here
// once the node has stopped.

#include "app/Services.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

namespace tw::platform {
class EndRequests;
}
namespace tw::app {
class MainWindow;
}

namespace tw::panel {

class SessionStop;

class Ending : public QObject {
public:
    // Takes `requests`' requests and the application's commitDataRequest
    // (the session manager's word that the session ends; on Windows
    // WM_QUERYENDSESSION), and hands `requests`' watch of the session's end
    // to the window's SessionStop (the composition's), if it has one.
    Ending(app::MainWindow& window, const app::Services& services, platform::EndRequests& requests);
    ~Ending() override;
    Ending(const Ending&) = delete;
    Ending& operator=(const Ending&) = delete;

    // Closes the window as its close button does: at once, or, while a
    // handler is inside a blocking wait (where no click is taken either),
    // as soon as it has come out of it. `why` goes to the diagnostics log.
    // Requests after the first are not logged again, and after the window
    // has closed change nothing; one that comes while the first still waits
    // for a blocking wait closes as soon as the wait is over.
    void request(const QString& why);

private:
    void closeWhenFree();
    static void atExit();

    app::MainWindow& window_;
    app::Services services_;
    platform::EndRequests& requests_;
    QPointer<SessionStop> sessionStop_;
    QTimer retry_;
    bool requested_ = false;
};

} // namespace tw::panel
