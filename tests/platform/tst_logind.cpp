// The Linux watch of the machine's end (LogindSessionEnd) against a
// stand-in for systemd-logind (tw-test-logind) on a private system bus
// (run by tests/support/system-bus.sh): the inhibitor is taken with logind's
// arguments while held and let go at once when no more; PrepareForSleep
// runs nothing; PrepareForShutdown(true) runs the work with the inhibitor
// still held and lets it go once the work has returned; a shut down called
// off takes it again; an answer that comes after the hold was let go is not
// kept; InhibitDelayMaxSec is said once; without logind one remark.

#include "platform/posix/Posix.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

namespace {

const QString Arguments = QStringLiteral("shutdown|TW-CLI-UI|Stopping the node|delay");

// The stand-in as a child process: its lines, its cues.
class StandIn {
public:
    StandIn() {
        process_.start(QStringLiteral(TW_TEST_LOGIND), {"--delay-usec", "7500000"});
        process_.waitForStarted();
    }
    ~StandIn() {
        process_.kill();
        process_.waitForFinished();
    }
    // Its next line, waiting up to 20 s with the event loop running (the
    // watch's D-Bus answers come through it); "(nothing)" when none came.
    QString next(int ms = 20000) {
        QElapsedTimer waited;
        waited.start();
        while (!process_.canReadLine()) {
            if (waited.elapsed() > ms)
                return QStringLiteral("(nothing)");
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            process_.waitForReadyRead(10);
        }
        return QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    void cue(const QString& what) {
        process_.write((what + QLatin1Char('\n')).toLocal8Bit());
        process_.waitForBytesWritten();
    }
    void quit() {
        cue(QStringLiteral("quit"));
        process_.waitForFinished();
    }

private:
    QProcess process_;
};

} // namespace

class TestLogind : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (qEnvironmentVariableIsSet("TW_SYSTEM_BUS_MISSING"))
            QSKIP(qPrintable(qEnvironmentVariable("TW_SYSTEM_BUS_MISSING")));
        if (!qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS"))
            QSKIP("no private system bus: run under tests/support/system-bus.sh");
    }

    void holdStopReleaseAndCalledOff() {
        StandIn logind;
        QCOMPARE(logind.next(), QStringLiteral("ready"));
        tw::platform::LogindSessionEnd end;
        QStringList notes, failures, works;
        bool heldDuringWork = false;
        QString linesDuringWork;
        end.setWork(
            nullptr,
            [&](const QString& why) {
                works << why;
                heldDuringWork = end.holdsInhibitor();
                // Nothing is let go while the work runs.
                linesDuringWork = logind.next(300);
            },
            [&](const QString& key, const QString& line, bool failure) {
                (failure ? failures : notes) << key + QStringLiteral(": ") + line;
            });

        end.setHeld(true);
        QCOMPARE(logind.next(), "inhibit 1 " + Arguments);
        QTRY_VERIFY(end.holdsInhibitor());
        QTRY_COMPARE(notes.size(), 1);
        QVERIFY2(notes.first().contains("waits at most 7.5 s for the node to stop"),
                 qPrintable(notes.first()));

        // Let go: at once.
        end.setHeld(false);
        QVERIFY(!end.holdsInhibitor());
        QCOMPARE(logind.next(), QStringLiteral("released 1 -"));
        end.setHeld(true);
        QCOMPARE(logind.next(), "inhibit 2 " + Arguments);
        QTRY_VERIFY(end.holdsInhibitor());

        // A suspend runs nothing; the shut down runs the work, then lets go.
        logind.cue(QStringLiteral("sleep"));
        logind.cue(QStringLiteral("shutdown"));
        QCOMPARE(logind.next(), QStringLiteral("released 2 -"));
        QCOMPARE(works, QStringList{QStringLiteral("the machine shuts down")});
        QVERIFY(heldDuringWork);
        QCOMPARE(linesDuringWork, QStringLiteral("(nothing)"));
        QVERIFY(!end.holdsInhibitor());

        // Called off: held again for the next one.
        logind.cue(QStringLiteral("called-off"));
        QCOMPARE(logind.next(), "inhibit 3 " + Arguments);
        QTRY_VERIFY(end.holdsInhibitor());

        // Let go while the answer is on its way: it is not kept.
        end.setHeld(false);
        QCOMPARE(logind.next(), QStringLiteral("released 3 -"));
        end.setHeld(true);
        end.setHeld(false);
        QCOMPARE(logind.next(), "inhibit 4 " + Arguments);
        QCOMPARE(logind.next(), QStringLiteral("released 4 -"));
        QVERIFY(!end.holdsInhibitor());

        QCOMPARE(notes.size(), 1); // the delay, said once
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
        QCOMPARE(works.size(), 1);
    }

    // Without logind on the bus: one remark, no failure, nothing held.
    void noLogind() {
        tw::platform::LogindSessionEnd end;
        QStringList notes, failures;
        end.setWork(
            nullptr, [](const QString&) {},
            [&](const QString& key, const QString& line, bool failure) {
                (failure ? failures : notes) << key + QStringLiteral(": ") + line;
            });
        end.setHeld(true);
        QTRY_COMPARE(notes.size(), 1);
        QVERIFY2(
            notes.first().contains("systemd-logind does not hold the machine's shut down back"),
            qPrintable(notes.first()));
        QVERIFY(failures.isEmpty());
        QVERIFY(!end.holdsInhibitor());
    }
};

QTEST_GUILESS_MAIN(TestLogind)
#include "tst_logind.moc"
