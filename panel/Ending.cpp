#include "panel/Ending.h"

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/Services.h"
#include "app/WindowTimer.h"
#include "panel/SessionStop.h"
#include "platform/Platform.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QThread>

#include <cstdlib>

namespace tw::panel {

namespace {

// The window that the process's exit still has to close, and whose it is:
// process-wide, as std::atexit takes a plain function.
Ending* current = nullptr;
app::MainWindow* currentWindow = nullptr;

constexpr int RetryMs = 50;

} // namespace

Ending::Ending(app::MainWindow& window, const app::Services& services,
               platform::EndRequests& requests)
    : window_(window), services_(services), requests_(requests) {
    retry_.setInterval(RetryMs);
    connect(&retry_, &QTimer::timeout, this, &Ending::closeWhenFree);
    requests.setHandler([this](const QString& what) { request(what); });
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(
            application, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { request(QStringLiteral("the desktop session ends")); },
            Qt::DirectConnection);

    // The node's stop before the session's end, when the settings ask for
    // it: it closes the window through here once the node has stopped.
    sessionStop_ = window.findChild<SessionStop*>(QString(), Qt::FindDirectChildrenOnly);
    if (sessionStop_ && requests.sessionEnd())
        sessionStop_->attach(*requests.sessionEnd(), [this](const QString& why) { request(why); });

    // Qt's X11 connection ends the process with exit() when the X server
    // goes away (or drops the program's connection): the window is closed
    // from the exit, without a window system, so that its values are kept.
    static const bool registered = std::atexit(&Ending::atExit) == 0;
    if (registered) {
        current = this;
        currentWindow = &window;
    }
}

Ending::~Ending() {
    requests_.setHandler({});
    if (sessionStop_)
        sessionStop_->detach();
    if (current == this) {
        current = nullptr;
        currentWindow = nullptr;
    }
}

void Ending::request(const QString& why) {
    if (window_.hasClosed())
        return;
    if (!requested_)
        services_.diagnostics.logEvent(QStringLiteral("%1: the panel closes").arg(why));
    requested_ = true;
    // Again for a later request: one that came while the node's stop ran
    // waits for the retry, the stop's own closes now that it is over.
    closeWhenFree();
}

void Ending::closeWhenFree() {
    if (services_.scheduler.isWaiting()) {
        retry_.start();
        return;
    }
    retry_.stop();
    window_.close();
}

void Ending::atExit() {
    app::MainWindow* window = currentWindow;
    current = nullptr;
    currentWindow = nullptr;
    if (!window || window->hasClosed() || QThread::currentThread() != window->thread())
        return;
    // The close handler alone: hiding the window would need the window
    // system that is gone.
    QCloseEvent close;
    QCoreApplication::sendEvent(window, &close);
}

} // namespace tw::panel
