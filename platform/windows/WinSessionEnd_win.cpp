#include "platform/windows/Win32.h"
#include "platform/windows/WindowsPlatform.h"

#include <QCoreApplication>

namespace tw::platform {

// Why the work runs inside WM_QUERYENDSESSION, before the message is
// answered:
// - While that message waits for its answer the end is still a question.
//   Windows waits: after 5 s it shows its full-screen list of the programs
//   that hold the end back, each with the reason given by
//   ShutdownBlockReasonCreate, where the user may end them anyway; once the
//   answer is TRUE the end goes on by itself. The programs asked after the
//   panel hear of the end only then: a console program such as a node's
//   daemon gets CTRL_LOGOFF_EVENT or CTRL_SHUTDOWN_EVENT and is ended a few
//   seconds later, whatever it was doing.
// - Answering FALSE cancels the end (the program is listed as the one that
//   stopped it): the node would be stopped, but the user would have to log
//   off or shut down again.
// - WM_ENDSESSION comes after the end is decided: the programs asked before
//   the panel may be ended already, the node's among them, and Qt quits the
//   application there.
// Windows asks the processes level by level, the highest first: while the
// option is on the panel takes the first application level (0x3FF), so
// that it is asked before the node's programs (at the default 0x280) hear
// of the end. Qt's own handling of the message (commitDataRequest, which
// closes the window as its close button does) comes after the work, and
// the message is answered TRUE.

namespace {

QString text(const std::wstring& wide) {
    return QString::fromStdWString(wide);
}

const QString BlockKey = QStringLiteral("session-end-block");
const QString LevelKey = QStringLiteral("session-end-level");

} // namespace

WinSessionEnd::~WinSessionEnd() {
    if (installed_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void WinSessionEnd::setWork(QWidget* window, Work work, Say say) {
    window_ = window;
    work_ = std::move(work);
    say_ = std::move(say);
    if (!installed_ && work_ && QCoreApplication::instance()) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        installed_ = true;
    }
}

void WinSessionEnd::setHeld(bool held) {
    if (held == held_)
        return;
    held_ = held;
    const win::Outcome asked = win::askFirstAtSessionEnd(held);
    say(LevelKey, asked.ok ? QString() : text(asked.error), true);
}

void WinSessionEnd::say(const QString& key, const QString& line, bool failure) const {
    if (say_)
        say_(key, line, failure);
}

bool WinSessionEnd::nativeEventFilter(const QByteArray&, void* message, qintptr*) {
    const std::optional<win::EndSessionQuery> query = win::endSessionQuery(message);
    // Each of the program's windows is asked; the first one runs the work,
    // the others are Qt's to answer meanwhile.
    if (!query || query->programOnly || !held_ || !work_ || running_)
        return false;
    running_ = true;
    const std::uintptr_t window = window_ ? static_cast<std::uintptr_t>(window_->winId()) : 0;
    const QString reason = QCoreApplication::translate("SessionEnd", "Stopping the node…");
    const win::Outcome blocked = win::blockSessionEnd(window, reason.toStdWString());
    say(BlockKey,
        blocked.ok ? QString()
                   : QStringLiteral("the shut-down screen shows no reason for the wait: %1")
                         .arg(text(blocked.error)),
        true);
    const Work work = work_;
    work(query->logOff ? QStringLiteral("the session ends (log off)")
                       : QStringLiteral("the system shuts down"));
    if (blocked.ok) {
        const win::Outcome unblocked = win::unblockSessionEnd(window);
        if (!unblocked.ok)
            say(BlockKey, text(unblocked.error), true);
    }
    running_ = false;
    // Qt answers it: commitDataRequest, then TRUE.
    return false;
}

} // namespace tw::platform
