#include "platform/posix/Posix.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#ifdef TW_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#endif

namespace tw::platform {

const QString LogindSessionEnd::What = QStringLiteral("shutdown");
const QString LogindSessionEnd::Who = QStringLiteral("TW-CLI-UI");
const QString LogindSessionEnd::Why = QStringLiteral("Stopping the node");
const QString LogindSessionEnd::Mode = QStringLiteral("delay");

namespace {

const QString Service = QStringLiteral("org.freedesktop.login1");
const QString Path = QStringLiteral("/org/freedesktop/login1");
const QString Manager = QStringLiteral("org.freedesktop.login1.Manager");
// The remarks: whether logind holds the end back, and for how long.
const QString HoldKey = QStringLiteral("session-end-logind");
const QString DelayKey = QStringLiteral("session-end-delay");

} // namespace

// The watch behind LogindSessionEnd: a QObject for the signal's slot.
class LogindWatch : public QObject {
    Q_OBJECT
public:
    using Work = SessionEnd::Work;
    SessionEnd::Work work;
    SessionEnd::Say say;
    bool held = false;
    bool running = false;

    void tell(const QString& key, const QString& line) const {
        if (say)
            say(key, line, false);
    }

#ifdef TW_HAVE_DBUS
    QDBusUnixFileDescriptor inhibitor; // valid while logind holds the end back for us
    bool asking = false;               // an Inhibit call is on its way
    bool watching = false;             // PrepareForShutdown is connected
    bool delayAsked = false;

    void hold() {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected()) {
            tell(HoldKey, QStringLiteral("no system bus (%1): the node is not stopped before the "
                                         "machine shuts down")
                              .arg(bus.lastError().message()));
            return;
        }
        if (!watching)
            watching = bus.connect(Service, Path, Manager, QStringLiteral("PrepareForShutdown"),
                                   this, SLOT(prepareForShutdown(bool)));
        take();
    }

    void take() {
        if (inhibitor.isValid() || asking)
            return;
        QDBusMessage call =
            QDBusMessage::createMethodCall(Service, Path, Manager, QStringLiteral("Inhibit"));
        call << LogindSessionEnd::What << LogindSessionEnd::Who << LogindSessionEnd::Why
             << LogindSessionEnd::Mode;
        asking = true;
        auto* pending =
            new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* answer) {
                    answer->deleteLater();
                    asking = false;
                    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *answer;
                    if (reply.isError()) {
                        tell(HoldKey, QStringLiteral("systemd-logind does not hold the machine's "
                                                     "shut down back (%1: %2): the node is not "
                                                     "stopped before it")
                                          .arg(reply.error().name(), reply.error().message()));
                        return;
                    }
                    // Let go of meanwhile: the descriptor closes with the
                    // answer.
                    if (!held)
                        return;
                    inhibitor = reply.value();
                    askDelay();
                });
    }

    // logind holds the end back for at most InhibitDelayMaxSec: said once.
    void askDelay() {
        if (delayAsked)
            return;
        delayAsked = true;
        QDBusMessage get = QDBusMessage::createMethodCall(
            Service, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << Manager << QStringLiteral("InhibitDelayMaxSec");
        auto* pending =
            new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(get), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* answer) {
                    answer->deleteLater();
                    const QDBusPendingReply<QDBusVariant> reply = *answer;
                    bool ok = false;
                    const qulonglong micro =
                        reply.isError() ? 0 : reply.value().variant().toULongLong(&ok);
                    const QString limit =
                        ok ? QStringLiteral("%1 s").arg(QString::number(micro / 1e6, 'g', 6))
                           : QStringLiteral("InhibitDelayMaxSec, 5 s unless set otherwise");
                    tell(DelayKey,
                         QStringLiteral("systemd-logind waits at most %1 for the node to stop "
                                        "before the machine shuts down (InhibitDelayMaxSec; an "
                                        "administrator can raise it, see the manual); a node run "
                                        "as a systemd service is stopped by systemd itself")
                             .arg(limit));
                });
    }

    void release() {
        inhibitor = QDBusUnixFileDescriptor();
    }
    bool holds() const {
        return inhibitor.isValid();
    }

public slots:
    void prepareForShutdown(bool start) {
        if (!start) {
            // The shut down was called off: hold the next one back again.
            if (held)
                take();
            return;
        }
        if (!held || !work || running)
            return;
        running = true;
        const Work stop = work;
        stop(QStringLiteral("the machine shuts down"));
        running = false;
        release();
    }
#else
    void hold() {
        tell(HoldKey, QStringLiteral("built without D-Bus: the node is not stopped before the "
                                     "machine shuts down"));
    }
    void release() {}
    bool holds() const {
        return false;
    }
#endif
};

LogindSessionEnd::LogindSessionEnd() : watch_(std::make_unique<LogindWatch>()) {}

LogindSessionEnd::~LogindSessionEnd() = default;

void LogindSessionEnd::setWork(QWidget*, Work work, Say say) {
    watch_->work = std::move(work);
    watch_->say = std::move(say);
}

void LogindSessionEnd::setHeld(bool held) {
    if (held == watch_->held)
        return;
    watch_->held = held;
    if (held)
        watch_->hold();
    else if (!watch_->running) // else let go once the work has returned
        watch_->release();
}

bool LogindSessionEnd::holdsInhibitor() const {
    return watch_->holds();
}

} // namespace tw::platform

#include "LogindSessionEnd.moc"
