// tw-test-logind: a stand-in for systemd-logind on a private system bus
// (DBUS_SYSTEM_BUS_ADDRESS), for the tests of the node's stop before a shut
// down. It owns org.freedesktop.login1 and serves at /org/freedesktop/login1
// the parts of org.freedesktop.login1.Manager that the panel uses:
//
//   Inhibit(what, who, why, mode) -> h   hands out the write end of a pipe of
//                                        its own; the read end's EOF is the
//                                        inhibitor's release
//   InhibitDelayMaxSec (t)               the value given with --delay-usec
//   PrepareForShutdown(b), PrepareForSleep(b)   signals, sent on cue
//
// It says what happens on stdout, one line each, and takes its cues on
// stdin:
//
//   out: ready                               the name is owned
//        inhibit N WHAT|WHO|WHY|MODE         the Nth inhibitor was handed out
//        released N PROCESS                  its every descriptor is closed;
//                                            PROCESS: "gone" or "running", the
//                                            process given by "watch" then
//   in:  watch PID                           the process to look at on release
//        shutdown | sleep                    PrepareForShutdown(true) or
//                                            PrepareForSleep(true)
//        called-off                          PrepareForShutdown(false)
//        quit

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

void say(const QString& line) {
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

// Whether the process has ended: no such process, or one that has ended and
// waits for its parent to take its status (a zombie).
bool ended(pid_t pid) {
    if (::kill(pid, 0) != 0)
        return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype name = line.lastIndexOf(')');
    const char state = name >= 0 && name + 2 < line.size() ? line.at(name + 2) : '?';
    return state == 'Z' || state == 'X';
}

} // namespace

class Manager : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
    Q_PROPERTY(qulonglong InhibitDelayMaxSec READ inhibitDelayMaxSec)

public:
    Manager(QObject* object, qulonglong delayUsec)
        : QDBusAbstractAdaptor(object), delay_(delayUsec) {}
    qulonglong inhibitDelayMaxSec() const { return delay_; }
    pid_t watched = 0;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            say(QStringLiteral("error pipe: %1").arg(errno));
            return {};
        }
        const int number = ++handedOut_;
        say(QStringLiteral("inhibit %1 %2|%3|%4|%5").arg(number).arg(what, who, why, mode));
        // The answer carries a copy of the write end; ours goes now, so that
        // the read end sees EOF once the caller's copies are closed.
        const QDBusUnixFileDescriptor handed(ends[1]);
        ::close(ends[1]);
        auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, number] {
            char byte;
            const ssize_t read = ::read(static_cast<int>(notifier->socket()), &byte, 1);
            if (read > 0 || (read < 0 && errno == EINTR))
                return;
            const bool gone = watched > 0 && ended(watched);
            say(QStringLiteral("released %1 %2")
                    .arg(number)
                    .arg(QLatin1String(watched > 0 ? (gone ? "gone" : "running") : "-")));
            notifier->setEnabled(false);
            ::close(static_cast<int>(notifier->socket()));
            notifier->deleteLater();
        });
        return handed;
    }

signals:
    void PrepareForShutdown(bool start);
    void PrepareForSleep(bool start);

private:
    qulonglong delay_;
    int handedOut_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    qulonglong delay = 5000000;
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--delay-usec"));
    if (at > 0 && at + 1 < args.size())
        delay = args.at(at + 1).toULongLong();

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        say(QStringLiteral("error no system bus: %1").arg(bus.lastError().message()));
        return 1;
    }
    QObject root;
    auto* manager = new Manager(&root, delay);
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &root) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        say(QStringLiteral("error cannot serve: %1").arg(bus.lastError().message()));
        return 1;
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&] {
        char buffer[256];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, count);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QStringList words =
                QString::fromLocal8Bit(pending.left(end)).split(u' ', Qt::SkipEmptyParts);
            pending.remove(0, end + 1);
            const QString cue = words.value(0);
            if (cue == QLatin1String("watch"))
                manager->watched = static_cast<pid_t>(words.value(1).toLongLong());
            else if (cue == QLatin1String("shutdown"))
                emit manager->PrepareForShutdown(true);
            else if (cue == QLatin1String("called-off"))
                emit manager->PrepareForShutdown(false);
            else if (cue == QLatin1String("sleep"))
                emit manager->PrepareForSleep(true);
            else if (cue == QLatin1String("quit"))
                QCoreApplication::quit();
            else
                say(QStringLiteral("error unknown cue %1").arg(cue));
        }
    });
    say(QStringLiteral("ready"));
    return application.exec();
}

#include "logind-stand-in.moc"
