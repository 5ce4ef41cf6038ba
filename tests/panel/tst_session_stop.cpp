// The node's stop before the session's end over the program's composition,
// on the virtual clock: the option in the store, the dialog and the tray
// holds the platform's watch; the end runs the stop batch file, waits for
// the wallet and the daemon (at most 10 minutes) and then closes the window
// by its close handler, whatever failed on the way.

#include "app/Diagnostics.h"
#include "health/AlertSettings.h"
#include "health/HealthMonitor.h"
#include "health/HealthPanel.h"
#include "health/Tray.h"
#include "panel/Ending.h"
#include "panel/SessionStop.h"
#include "tests/support/TestRig.h"

#include <QAction>
#include <QTest>

#include <memory>

using tw::health::AlertSettings;
using tw::panel::SessionStop;

namespace {

const QString StopBatch = QStringLiteral("/node/STOP.BAT");
const QString Wallet = QStringLiteral("twdemo-wallet");
const QString Daemon = QStringLiteral("twdemo-daemon");

// The composition with its Ending, as main.cpp builds them.
struct Panel {
    explicit Panel(const QString& stopOption, const QString& stopBatch = StopBatch,
                   const QString& wallet = Wallet, const QString& daemon = Daemon) {
        if (!stopOption.isNull())
            rig.store(AlertSettings::StopNodeKey, stopOption);
        rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", stopBatch);
        rig.store("QT_EXE_TEXTBOX", wallet);
        rig.store("DAEMON_EXE_TEXTBOX", daemon);
        rig.start();
        ending = std::make_unique<tw::panel::Ending>(rig.window(), rig.services, requests);
    }
    tw::health::HealthPanel& health() const { return rig.panel().health(); }
    tw::test::FakeSessionEnd& session() { return requests.session; }

    tw::test::TestRig rig{QStringLiteral("TW-CLI-UI-STOP")};
    tw::test::FakeEndRequests requests;
    std::unique_ptr<tw::panel::Ending> ending;
};

} // namespace

class TestSessionStop : public QObject {
    Q_OBJECT

private slots:
    // The option in the store: a store of an earlier version has no key
    // and reads as off; whatever is held follows the option.
    void theStoreSaysWhetherTheEndIsHeld_data() {
        QTest::addColumn<QString>("stored"); // null: no such key
        QTest::addColumn<bool>("held");
        QTest::newRow("an earlier version's store") << QString() << false;
        QTest::newRow("off") << "0" << false;
        QTest::newRow("on") << "1" << true;
        QTest::newRow("not a tick state") << "yes" << false;
    }
    void theStoreSaysWhetherTheEndIsHeld() {
        QFETCH(QString, stored);
        QFETCH(bool, held);
        Panel p(stored);
        QCOMPARE(p.session().held, held);
        QCOMPARE(p.session().window, &p.rig.window());
        QCOMPARE(p.health().tray().stopNodeAction()->isChecked(), held);
        QCOMPARE(p.rig.panel().sessionStop().wanted(), held);
        // Ending's end lets go of the watch.
        p.ending.reset();
        QVERIFY(!p.session().held);
        QVERIFY(!p.session().watched());
    }

    // The tray's entry and the dialog's tick box change the same setting:
    // each reaches the store, the other one and the platform's hold.
    void trayAndDialogStayInStep() {
        Panel p{QString()};
        QAction* entry = p.health().tray().stopNodeAction();
        QVERIFY(entry->isCheckable());
        entry->trigger(); // a click on the unticked entry
        QVERIFY(entry->isChecked());
        QCOMPARE(p.rig.stored(AlertSettings::StopNodeKey), std::optional<QString>("1"));
        QVERIFY(p.rig.panel().monitor().settings().stopNodeAtSessionEnd);
        QCOMPARE(p.session().holds, (QList<bool>{false, true}));

        AlertSettings settings = p.rig.panel().monitor().settings();
        QVERIFY(AlertSettings::load(p.rig.settingsStore).stopNodeAtSessionEnd);
        settings.stopNodeAtSessionEnd = false;
        p.health().applyAlertSettings(settings); // the dialog's OK
        QVERIFY(!entry->isChecked());
        QCOMPARE(p.rig.stored(AlertSettings::StopNodeKey), std::optional<QString>("0"));
        QCOMPARE(p.session().holds, (QList<bool>{false, true, false}));
        // Other settings leave the hold as it is.
        settings.stallMinutes = 30;
        p.health().applyAlertSettings(settings);
        QVERIFY(!p.session().held);
    }

    // The flow: the stop batch file, the wait, the close; each failing step
    // in the diagnostics, and the window closes at the end all the same.
    void theEndStopsTheNodeThenCloses_data() {
        QTest::addColumn<QString>("stopBatch");
        QTest::addColumn<QString>("daemon");
        QTest::addColumn<bool>("batchMissing");
        QTest::addColumn<bool>("listUnreadable");
        QTest::addColumn<qint64>("daemonExitsAt"); // -1: never
        QTest::addColumn<bool>("stopSent");
        QTest::addColumn<qint64>("closedAt");
        QTest::addColumn<QString>("failureKey"); // empty: none
        QTest::addColumn<QString>("failure");    // a part of what it says

        const qint64 limit = SessionStop::WaitLimitMs;
        QTest::newRow("the daemon exits after 4.1 s")
            << StopBatch << Daemon << false << false << qint64(4100) << true << qint64(4250)
            << QString() << QString();
        QTest::newRow("not running when the end comes")
            << StopBatch << Daemon << false << false << qint64(0) << true << qint64(0) << QString()
            << QString();
        QTest::newRow("the daemon never exits: 10 minutes")
            << StopBatch << Daemon << false << false << qint64(-1) << true << limit
            << SessionStop::WaitFailure << "twdemo-wallet, twdemo-daemon still running 10 minutes";
        QTest::newRow("it exits on the last look") << StopBatch << Daemon << false << false << limit
                                                   << true << limit << QString() << QString();
        QTest::newRow("no stop batch file in the settings")
            << QString() << Daemon << false << false << qint64(-1) << false << qint64(0)
            << SessionStop::StopBatchFailure << "no stop batch file in the settings";
        QTest::newRow("the stop batch file does not start")
            << StopBatch << Daemon << true << false << qint64(-1) << false << qint64(0)
            << SessionStop::StopBatchFailure << "stop batch file /node/STOP.BAT not started";
        QTest::newRow("the process list cannot be read")
            << StopBatch << Daemon << false << true << qint64(-1) << true << qint64(0)
            << SessionStop::ProcessListFailure << "the process list cannot be read";
        QTest::newRow("no daemon or wallet named")
            << StopBatch << QString() << false << false << qint64(-1) << true << qint64(0)
            << QString() << QString();
    }
    void theEndStopsTheNodeThenCloses() {
        QFETCH(QString, stopBatch);
        QFETCH(QString, daemon);
        QFETCH(bool, batchMissing);
        QFETCH(bool, listUnreadable);
        QFETCH(qint64, daemonExitsAt);
        QFETCH(bool, stopSent);
        QFETCH(qint64, closedAt);
        QFETCH(QString, failureKey);
        QFETCH(QString, failure);
        Panel p(QStringLiteral("1"), stopBatch, daemon.isEmpty() ? QString() : Wallet, daemon);
        p.rig.leaveQueryButtonsToThePolls();
        tw::test::TestRig& rig = p.rig;
        if (batchMissing)
            rig.starter.missing.insert(stopBatch);
        rig.processes.unreadable = listUnreadable;
        // Both run until the daemon's time; the wallet goes first.
        const auto runUntil = [&](qint64 now) {
            const bool never = daemonExitsAt < 0;
            rig.processes.setRunning(Daemon, never || now < daemonExitsAt ? 1 : 0);
            rig.processes.setRunning(Wallet, never || now < daemonExitsAt / 2 ? 1 : 0);
        };
        runUntil(0);
        qint64 closed = -1;
        QObject::connect(&rig.window(), &tw::app::MainWindow::closed, &rig.window(),
                         [&] { closed = rig.clock.now(); });
        rig.clock.onWait = [&](qint64 at, int ms) {
            QVERIFY(!rig.window().hasClosed());
            runUntil(at + ms);
        };

        QVERIFY(p.session().end(QStringLiteral("the machine shuts down")));
        QCOMPARE(closed, closedAt);
        QVERIFY(rig.window().hasClosed());
        QVERIFY(rig.stored("MainLeft")); // the close handler wrote the store
        QList<tw::test::FakeProcessStarter::Start> stops;
        for (const auto& start : rig.starter.starts)
            if (start.kind == tw::platform::BatchKind::Stop)
                stops << start;
        QCOMPARE(stops.size(), stopSent ? 1 : 0);
        if (!stops.isEmpty())
            QCOMPARE(stops.first().text, stopBatch);
        for (const QString& key : {SessionStop::StopBatchFailure, SessionStop::WaitFailure,
                                   SessionStop::ProcessListFailure})
            QCOMPARE(rig.diagnostics.isReported(key), key == failureKey);
        if (!failure.isEmpty())
            QVERIFY2(rig.diagnostics.lastFailure().contains(failure),
                     qPrintable(rig.diagnostics.lastFailure()));
        // Between two looks a quarter of a second, nothing else.
        for (const auto& [at, ms] : rig.clock.waits)
            QCOMPARE(ms, SessionStop::LookEveryMs);
        // A second end changes nothing.
        p.session().end(QStringLiteral("again"));
        QCOMPARE(rig.clock.now(), closedAt);
    }

    // An end request during the wait (SIGTERM) closes the window once the
    // node has stopped, not before: the store is written once.
    void aSignalDuringTheWaitClosesAfterIt() {
        Panel p(QStringLiteral("1"));
        tw::test::TestRig& rig = p.rig;
        rig.processes.setRunning(Daemon);
        std::optional<bool> closedAtSignal;
        rig.clock.onWait = [&](qint64 at, int) {
            if (at == 1000) {
                p.requests.send(QStringLiteral("SIGTERM"));
                closedAtSignal = rig.window().hasClosed();
            }
            if (at >= 2000)
                rig.processes.setRunning(Daemon, 0);
        };
        QVERIFY(p.session().end(QStringLiteral("the machine shuts down")));
        QCOMPARE(closedAtSignal, std::optional<bool>(false));
        QVERIFY(rig.window().hasClosed());
        QCOMPARE(rig.clock.now(), qint64(2250));
        QCOMPARE(rig.settings.writtenKeys.count(QStringLiteral("MainLeft")), 1);
    }
};

QTEST_MAIN(TestSessionStop)
#include "tst_session_stop.moc"
