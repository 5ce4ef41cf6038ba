// The process watcher over the fake process table: its caption, colour and
// the three buttons at every tick; a process list that cannot be read.

#include "automation/Automation.h"
#include "tests/automation/AutomationTesting.h"

using namespace tw::test::automation;
using tw::automation::Automation;
using tw::test::TestRig;

namespace {

const QStringList WatchedButtons = {"SHUTDOWN_BUTTON", "GETBLOCKCOUNT_BUTTON",
                                    "GETCONNECTIONCOUNT_BUTTON"};

QString buttonsEnabled(const TestRig& rig) {
    QString bits;
    for (const QString& name : WatchedButtons)
        bits += rig.button(name)->isEnabled() ? '1' : '0';
    return bits;
}

} // namespace

class TestWatcher : public QObject {
    Q_OBJECT

private slots:
    void everyTickShowsTheClientsState_data();
    void everyTickShowsTheClientsState();
    void notMonitoringUntilTheFirstTick();
    void oneQueryPerTickNothingCached();
    void unreadableListIsReportedOnce();
};

void TestWatcher::everyTickShowsTheClientsState_data() {
    QTest::addColumn<QString>("client");  // text of CLI_NAME_TEXTBOX
    QTest::addColumn<QString>("running"); // name in the process table
    QTest::addColumn<int>("instances");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<bool>("found");

    QTest::newRow("empty name") << ""
                                << "" << 0 << false << false;
    QTest::newRow("client not running") << "bitcoin-cli.exe"
                                        << "bitcoind.exe" << 1 << false << false;
    QTest::newRow("client running") << "bitcoin-cli.exe"
                                    << "bitcoin-cli.exe" << 1 << false << true;
    QTest::newRow("two instances") << "bitcoin-cli.exe"
                                   << "bitcoin-cli.exe" << 2 << false << true;
    QTest::newRow("other letter case") << "BitCoin-CLI.EXE"
                                       << "bitcoin-cli.exe" << 1 << false << true;
    QTest::newRow("without extension") << "bitcoin-cli"
                                       << "bitcoin-cli.exe" << 1 << false << false;
    QTest::newRow("list unreadable") << "bitcoin-cli.exe"
                                     << "bitcoin-cli.exe" << 1 << true << false;
}

void TestWatcher::everyTickShowsTheClientsState() {
    QFETCH(QString, client);
    QFETCH(QString, running);
    QFETCH(int, instances);
    QFETCH(bool, unreadable);
    QFETCH(bool, found);
    TestRig rig;
    rig.store("CLI_NAME_TEXTBOX", client);
    if (!running.isEmpty())
        rig.processes.setRunning(running, instances);
    rig.processes.unreadable = unreadable;
    MainWindow& w = rig.start();
    const QString caption = found ? "!!! CLI RUNNING !!!" : "!!! CLI NOT RUNNING !!!";
    const QColor colour = found ? tw::app::colour::Red : tw::app::colour::Green;
    const QString buttons = found ? "000" : "111";

    // The watcher sets everything at every tick, whatever others did.
    for (int tick = 1; tick <= 3; ++tick) {
        for (const QString& name : WatchedButtons)
            rig.button(name)->setEnabled(found);
        tw::app::setBackground(w.PROCESS_ACTIVE_LABEL, tw::app::colour::Cyan);
        w.PROCESS_ACTIVE_LABEL->setText(QStringLiteral("somebody else"));
        rig.advance(1000);
        QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), caption);
        QCOMPARE(rig.colour("PROCESS_ACTIVE_LABEL"), colour);
        QCOMPARE(buttonsEnabled(rig), buttons);
    }
    QCOMPARE(rig.diagnostics.isReported(Automation::ProcessListFailure), unreadable);
    // An empty name is never asked for.
    QCOMPARE(rig.processes.queries.contains(QString()), false);
}

void TestWatcher::notMonitoringUntilTheFirstTick() {
    TestRig rig;
    rig.store("CLI_NAME_TEXTBOX", "bitcoin-cli.exe");
    MainWindow& w = rig.start();
    rig.advance(999);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! NOT MONITORING !!!"));
    QCOMPARE(rig.colour("PROCESS_ACTIVE_LABEL"), tw::app::colour::Cyan);
    QVERIFY(rig.processes.queries.isEmpty());
    rig.advance(1);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! CLI NOT RUNNING !!!"));
}

void TestWatcher::oneQueryPerTickNothingCached() {
    TestRig rig;
    rig.store("CLI_NAME_TEXTBOX", "bitcoin-cli.exe");
    MainWindow& w = rig.start();
    rig.advance(5000);
    QCOMPARE(rig.processes.queries, QStringList(5, "bitcoin-cli.exe"));
    // The client starts and the name is replaced between ticks; both are
    // seen at the next tick.
    rig.processes.setRunning("bitcoin-cli.exe");
    rig.advance(1000);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! CLI RUNNING !!!"));
    w.CLI_NAME_TEXTBOX->setText(QStringLiteral("litecoin-cli.exe"));
    rig.advance(1000);
    QCOMPARE(rig.processes.queries.last(), QStringLiteral("litecoin-cli.exe"));
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! CLI NOT RUNNING !!!"));
    QCOMPARE(rig.processes.queries.size(), 7);
}

void TestWatcher::unreadableListIsReportedOnce() {
    TestRig rig;
    storeTicked(rig, {"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX",
                      "P4P_TICKBOX"});
    rig.store("CLI_NAME_TEXTBOX", "bitcoin-cli.exe");
    rig.store("QT_EXE_TEXTBOX", "bitcoin-qt.exe");
    rig.store("DAEMON_EXE_TEXTBOX", "bitcoind.exe");
    rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", "/n/CLI-UI-STOP.BAT");
    rig.processes.setRunning("bitcoin-cli.exe");
    rig.processes.unreadable = true;
    MainWindow& w = rig.start();
    const QString designTip = w.PROCESS_ACTIVE_LABEL->toolTip();

    // Ten watcher ticks: said once, shown on the label, the client counts
    // as not running.
    rig.advance(10000);
    QCOMPARE(rig.diagnostics.failureCount(), 1);
    QVERIFY(rig.diagnostics.isReported(Automation::ProcessListFailure));
    QVERIFY2(w.PROCESS_ACTIVE_LABEL->toolTip().contains("process list"),
             qPrintable(w.PROCESS_ACTIVE_LABEL->toolTip()));
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! CLI NOT RUNNING !!!"));

    // Readable again: cleared; unreadable once more: said again.
    rig.processes.unreadable = false;
    rig.advance(1000);
    QVERIFY(!rig.diagnostics.isReported(Automation::ProcessListFailure));
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->toolTip(), designTip);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! CLI RUNNING !!!"));
    rig.processes.unreadable = true;
    rig.advance(1000);
    QCOMPARE(rig.diagnostics.failureCount(), 2);

    // The wait asks for two names a second; still said only once, and
    // neither counts as running, so the program closes.
    rig.processes.setRunning("bitcoind.exe");
    rig.processes.setRunning("bitcoin-qt.exe");
    advanceTo(rig, 24000); // fired at 11 s, 3 s pause, cycle end 10 s later
    QVERIFY(w.P4P_END_TIMER->isRunning());
    QVERIFY(!w.hasClosed());
    advanceTo(rig, 25000);
    QVERIFY(w.hasClosed());
    QCOMPARE(rig.diagnostics.failureCount(), 2);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! FINISHED - AUTOCLOSING !!!"));
}

QTEST_MAIN(TestWatcher)
#include "tst_watcher.moc"
