// The cycle end, the wait before exit, the SHUTDOWN button, the AutoSend
// STOP interlock and closing the main window from a tick, on virtual time:
// every row of the automation's transition and state tables.

#include "automation/Automation.h"
#include "tests/automation/AutomationTesting.h"

#include <QApplication>
#include <QDialog>
#include <QSignalSpy>
#include <QTimer>

using namespace tw::test::automation;
using tw::automation::Automation;
using tw::test::TestRig;

namespace {

const QString StopBatch = QStringLiteral("/home/node/CLI-UI-STOP.BAT");
const QString Wallet = QStringLiteral("bitcoin-qt.exe");
const QString Daemon = QStringLiteral("bitcoind.exe");
const QString Client = QStringLiteral("bitcoin-cli.exe");

const QString Countdown = QStringLiteral("COUNTDOWN_TIMER");
const QString Watcher = QStringLiteral("CLI_PROCESS_WATCHER_TIMER");
const QString BlockQuery = QStringLiteral("GETBLOCKCOUNT_COMMAND_TIMER");
const QString ConnectionQuery = QStringLiteral("GETCONNECTIONCOUNT_COMMAND_TIMER");
const QString CycleEnd = QStringLiteral("UNLOAD_TIMER");
const QString Loop = QStringLiteral("GET_LOOP_TIMER");
const QString Wait = QStringLiteral("P4P_END_TIMER");

// A rig whose node names and stop batch file are set, with the wallet and
// the daemon running unless told otherwise.
void prepare(TestRig& rig, const QStringList& ticked, bool nodeRunning = true) {
    storeTicked(rig, ticked);
    rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", StopBatch);
    rig.store("CLI_NAME_TEXTBOX", Client);
    rig.store("QT_EXE_TEXTBOX", Wallet);
    rig.store("DAEMON_EXE_TEXTBOX", Daemon);
    if (nodeRunning) {
        rig.processes.setRunning(Wallet);
        rig.processes.setRunning(Daemon);
    }
}

// When the cycle end of an auto-started first cycle runs: ten seconds after
// the firing at 11 s, or after the stop command's three-second pause.
qint64 firstCycleEnd(const QStringList& ticked) {
    return ticked.contains("CLI_STOP_BAT_TICKBOX") ? 24000 : 21000;
}

int writes(const TestRig& rig, const QString& key) {
    return static_cast<int>(rig.settings.writtenKeys.count(key));
}

// The close handler ran exactly once and stored what the window showed.
void verifyClosedOnce(TestRig& rig) {
    MainWindow& w = rig.window();
    QVERIFY(w.hasClosed());
    QCOMPARE(writes(rig, "MainLeft"), 1);
    QCOMPARE(writes(rig, "MainTop"), 1);
    for (const QString& box : StoredBoxes) {
        QCOMPARE(writes(rig, box), 1);
        QCOMPARE(rig.stored(box), rig.tick(box)->isChecked() ? QString("1") : QString("0"));
    }
    // Nothing ticks after the close.
    QVERIFY(runningTimers(w).isEmpty());
    QVERIFY(!rig.clock.pendingWake().has_value());
}

} // namespace

class TestCycleEnd : public QObject {
    Q_OBJECT

private slots:
    void transitionsOutOfFired_data();
    void transitionsOutOfFired();
    void states_data();
    void states();
    void cycleEndWithoutAutoCloseRepeatsEveryTenSeconds();
    void waitTick_data();
    void waitTick();
    void stopWhileWaitingStillCloses();
    void watcherStaysOffUntilShutdown();
    void shutdownButton_data();
    void shutdownButton();
    void stopTickBoxInterlock_data();
    void stopTickBoxInterlock();
    void closingTickEndsWithTheClose_data();
    void closingTickEndsWithTheClose();
    void closingWithTheSettingsWindowOpen_data();
    void closingWithTheSettingsWindowOpen();
};

void TestCycleEnd::transitionsOutOfFired_data() {
    QTest::addColumn<QStringList>("cycle");
    QTest::addColumn<bool>("autoClose");
    QTest::addColumn<bool>("pauseForProcess");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QStringList>("running");
    QTest::addColumn<QString>("display");

    const QStringList gbc{"CLI_GBC_BAT_TICKBOX"};
    const QStringList gcc{"CLI_GCC_BAT_TICKBOX"};
    const QStringList both{"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX"};
    const QStringList stop{"CLI_STOP_BAT_TICKBOX"};
    const QStringList none;

    // Auto Close, no P-4-P, any cycle: closed, nothing else runs.
    QTest::newRow("AC: G-B-C -> Closed") << gbc << true << false << true << none << "red";
    QTest::newRow("AC: both -> Closed") << both << true << false << true << none << "red";
    QTest::newRow("AC: STOP -> Closed") << stop << true << false << true << none << "red";
    // Auto Close and P-4-P, no query: Waiting.
    QTest::newRow("AC+P4P: STOP -> Waiting")
        << stop << true << true << false << QStringList{Wait} << "pink";
    // Auto Close and P-4-P with a query: Waiting and Counting side by side.
    QTest::newRow("AC+P4P: G-B-C -> Waiting+Counting")
        << gbc << true << true << false << QStringList{Countdown, Loop, Wait} << "pink";
    QTest::newRow("AC+P4P: G-C-C -> Waiting+Counting")
        << gcc << true << true << false << QStringList{Countdown, Loop, Wait} << "yellow";
    QTest::newRow("AC+P4P: both -> Waiting+Counting")
        << both << true << true << false << QStringList{Countdown, Loop, Wait} << "yellow";
    // No Auto Close with a query: the next cycle.
    QTest::newRow("G-B-C -> Counting")
        << gbc << false << false << false << QStringList{Countdown, Watcher, Loop} << "pink";
    QTest::newRow("P4P: G-C-C -> Counting")
        << gcc << false << true << false << QStringList{Countdown, Watcher, Loop} << "yellow";
    QTest::newRow("both -> Counting")
        << both << false << false << false << QStringList{Countdown, Watcher, Loop} << "yellow";
    // No Auto Close, no query: stays Fired, the cycle end repeats.
    QTest::newRow("STOP -> stays Fired")
        << stop << false << false << false << QStringList{Watcher, CycleEnd} << "pink";
    QTest::newRow("P4P: STOP -> stays Fired")
        << stop << false << true << false << QStringList{Watcher, CycleEnd} << "pink";
}

void TestCycleEnd::transitionsOutOfFired() {
    QFETCH(QStringList, cycle);
    QFETCH(bool, autoClose);
    QFETCH(bool, pauseForProcess);
    QFETCH(bool, closed);
    QFETCH(QStringList, running);
    QFETCH(QString, display);

    TestRig rig;
    QStringList ticked = cycle;
    ticked << "AUTOSTART_TICKBOX";
    if (autoClose)
        ticked << "AUTOCLOSE_TIMER_TICKBOX";
    if (pauseForProcess)
        ticked << "P4P_TICKBOX";
    prepare(rig, ticked);
    MainWindow& w = rig.start();
    QueryStandIn queries;
    answerQueriesAtOnce(rig, queries);
    const qint64 endAt = firstCycleEnd(ticked);

    advanceTo(rig, endAt - 1);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
    QVERIFY(w.UNLOAD_TIMER->isRunning());
    QVERIFY(!w.COUNTDOWN_TIMER->isRunning());
    advanceTo(rig, endAt);

    QCOMPARE(w.hasClosed(), closed);
    QCOMPARE(colourName(rig.colour("AUTORUN_TIMER_TEXTBOX")), display);
    if (closed) {
        verifyClosedOnce(rig);
        for (const QString& timer : {Countdown, BlockQuery, ConnectionQuery, Watcher, Loop, Wait})
            QVERIFY2(!enabledTimers(w).contains(timer), qPrintable(timer));
        return;
    }
    QCOMPARE(runningTimers(w), running);
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("STOP"));
    if (running.contains(Countdown)) {
        QCOMPARE(w.COUNTDOWN_TIMER->dueAt(), endAt + 1000);
        QCOMPARE(w.COUNTDOWN_REMAINING, 0);
    }
    if (running.contains(Wait))
        QCOMPARE(w.P4P_END_TIMER->dueAt(), endAt + 1000);
    if (running.contains(CycleEnd))
        QCOMPARE(w.UNLOAD_TIMER->dueAt(), endAt + 10000);
    // The node keeps running: a wait goes on, nothing closes.
    rig.advance(5000);
    QVERIFY(!w.hasClosed());
    if (running.contains(Wait))
        QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! DAEMON STILL RUNNING !!!"));
}

void TestCycleEnd::states_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("running");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Idle: opened without auto-start") << "open"
                                                     << "Idle" << QStringList{Watcher} << "START";
    QTest::newRow("Idle: STOP while counting") << "stop-counting"
                                               << "Idle" << QStringList{Watcher} << "START";
    QTest::newRow("Idle: STOP after firing, the cycle end still due")
        << "stop-fired"
        << "Idle" << QStringList{Watcher, CycleEnd} << "START";
    QTest::newRow("Counting: START") << "start"
                                     << "Counting" << QStringList{Countdown, Watcher} << "STOP";
    QTest::newRow("Counting: Auto Start at load")
        << "autostart"
        << "Counting" << QStringList{Countdown, Watcher} << "STOP";
    QTest::newRow("Counting: the cycle end arms the next")
        << "rearm"
        << "Counting" << QStringList{Countdown, Watcher, Loop} << "STOP";
    QTest::newRow("Fired: the 00 tick, queries")
        << "fired-queries"
        << "Fired" << QStringList{Watcher, BlockQuery, ConnectionQuery, CycleEnd} << "STOP";
    QTest::newRow("Fired: the 00 tick, stop command")
        << "fired-stop"
        << "Fired" << QStringList{Watcher, CycleEnd} << "STOP";
    QTest::newRow("Waiting: the cycle end's wait") << "waiting"
                                                   << "Waiting" << QStringList{Wait} << "STOP";
    QTest::newRow("Closed: the cycle end closes") << "close-a"
                                                  << "Closed" << QStringList{} << "STOP";
    QTest::newRow("Closed: the wait finds neither process") << "close-wait"
                                                            << "Closed" << QStringList{} << "STOP";
}

void TestCycleEnd::states() {
    QFETCH(QString, path);
    QFETCH(QString, state);
    QFETCH(QStringList, running);
    QFETCH(QString, caption);

    TestRig rig;
    const QStringList stopCycle{"CLI_STOP_BAT_TICKBOX"};
    const QStringList queryCycle{"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX"};
    const bool autoStart =
        path == "autostart" || path == "rearm" || path.startsWith("close") || path == "waiting";
    QStringList ticked = path == "rearm"           ? QStringList{"CLI_GCC_BAT_TICKBOX"}
                         : path == "fired-queries" ? queryCycle
                                                   : stopCycle;
    if (autoStart)
        ticked << "AUTOSTART_TICKBOX";
    if (path.startsWith("close") || path == "waiting")
        ticked << "AUTOCLOSE_TIMER_TICKBOX";
    if (path == "waiting" || path == "close-wait")
        ticked << "P4P_TICKBOX";
    prepare(rig, ticked, path != "close-wait");
    MainWindow& w = rig.start();
    QueryStandIn queries;
    answerQueriesAtOnce(rig, queries);
    // The 60-second loop's own schedule is the poll's; a cycle started by
    // hand begins without it.
    if (!autoStart)
        w.GET_LOOP_TIMER->setEnabled(false);
    // Every path without auto-start begins with a press of START, but one.
    if (!autoStart && path != "open")
        QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);

    if (path == "open") {
        rig.advance(500);
    } else if (path == "stop-counting") {
        rig.advance(3000);
        QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    } else if (path == "stop-fired") {
        advanceTo(rig, 15000);
        QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    } else if (path == "start" || path == "autostart") {
        rig.advance(500);
    } else if (path == "rearm") {
        advanceTo(rig, 21000);
    } else if (path == "fired-queries") {
        advanceTo(rig, 11000);
        QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
    } else if (path == "fired-stop") {
        advanceTo(rig, 11000);
        QCOMPARE(rig.starter.starts.size(), 1);
    } else if (path == "waiting" || path == "close-a") {
        advanceTo(rig, 24000);
    } else if (path == "close-wait") {
        advanceTo(rig, 25000);
    }

    QCOMPARE(w.hasClosed(), state == "Closed");
    QCOMPARE(runningTimers(w), running);
    QCOMPARE(w.START_STOP_BUTTON->text(), caption);
    if (state == "Closed")
        verifyClosedOnce(rig);
}

void TestCycleEnd::cycleEndWithoutAutoCloseRepeatsEveryTenSeconds() {
    TestRig rig;
    prepare(rig, {"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX"});
    MainWindow& w = rig.start();
    advanceTo(rig, 14000);
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Green);
    for (qint64 at : {24000, 34000, 44000}) {
        tw::app::setBackground(w.AUTORUN_TIMER_TEXTBOX, tw::app::colour::Black);
        advanceTo(rig, at - 1);
        QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Black);
        advanceTo(rig, at);
        QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Pink);
        QCOMPARE(runningTimers(w), (QStringList{Watcher, CycleEnd}));
        QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("STOP"));
    }
    // One stop command only.
    QCOMPARE(rig.starter.starts.size(), 1);

    // STOP makes Auto Close available; ticked, the next cycle end closes.
    advanceTo(rig, 45000);
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    QVERIFY(w.AUTOCLOSE_TIMER_TICKBOX->isEnabled());
    QTest::mouseClick(w.AUTOCLOSE_TIMER_TICKBOX, Qt::LeftButton);
    QVERIFY(w.AUTOCLOSE_TIMER_TICKBOX->isChecked());
    advanceTo(rig, 53999);
    QVERIFY(!w.hasClosed());
    advanceTo(rig, 54000);
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Red);
    verifyClosedOnce(rig);
    QCOMPARE(rig.stored("AUTOCLOSE_TIMER_TICKBOX"), QString("1"));
}

void TestCycleEnd::waitTick_data() {
    QTest::addColumn<QString>("wallet"); // QT_EXE_TEXTBOX
    QTest::addColumn<QString>("daemon"); // DAEMON_EXE_TEXTBOX
    QTest::addColumn<QStringList>("runningNow");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("walletColour");
    QTest::addColumn<QString>("daemonColour");
    QTest::addColumn<bool>("closes");

    const QString daemonMsg = "!!! DAEMON STILL RUNNING !!!";
    const QString walletMsg = "!!! QT STILL RUNNING !!!";
    const QString finished = "!!! FINISHED - AUTOCLOSING !!!";
    QTest::newRow("both running: the daemon's message")
        << Wallet << Daemon << QStringList{Wallet, Daemon} << daemonMsg << "green"
        << "green" << false;
    QTest::newRow("wallet running")
        << Wallet << Daemon << QStringList{Wallet} << walletMsg << "green"
        << "red" << false;
    QTest::newRow("daemon running") << Wallet << Daemon << QStringList{Daemon} << daemonMsg << "red"
                                    << "green" << false;
    QTest::newRow("neither: closes") << Wallet << Daemon << QStringList{} << finished << "pink"
                                     << "pink" << true;
    QTest::newRow("names in other letter case")
        << "BITCOIN-QT.EXE"
        << "BitcoinD.exe" << QStringList{Wallet, Daemon} << daemonMsg << "green"
        << "green" << false;
    QTest::newRow("both names empty: closes at once")
        << ""
        << "" << QStringList{Wallet, Daemon} << finished << "pink"
        << "pink" << true;
    QTest::newRow("wallet name empty, daemon running")
        << "" << Daemon << QStringList{Wallet, Daemon} << daemonMsg << "red"
        << "green" << false;
    QTest::newRow("wrong daemon name: counts as ended")
        << ""
        << "bitcoind" << QStringList{Wallet, Daemon} << finished << "pink"
        << "pink" << true;
}

void TestCycleEnd::waitTick() {
    QFETCH(QString, wallet);
    QFETCH(QString, daemon);
    QFETCH(QStringList, runningNow);
    QFETCH(QString, label);
    QFETCH(QString, walletColour);
    QFETCH(QString, daemonColour);
    QFETCH(bool, closes);

    TestRig rig;
    prepare(rig, {"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX",
                  "P4P_TICKBOX"});
    rig.store("QT_EXE_TEXTBOX", wallet);
    rig.store("DAEMON_EXE_TEXTBOX", daemon);
    MainWindow& w = rig.start();
    advanceTo(rig, 24000);
    QVERIFY(w.P4P_END_TIMER->isRunning());
    rig.processes.running.clear();
    for (const QString& name : runningNow)
        rig.processes.setRunning(name);

    advanceTo(rig, 25000); // the first wait tick
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), label);
    QCOMPARE(colourName(rig.colour("PROCESS_ACTIVE_LABEL")), closes ? "green" : "red");
    QCOMPARE(colourName(rig.colour("QT_EXE_TEXTBOX")), walletColour);
    QCOMPARE(colourName(rig.colour("DAEMON_EXE_TEXTBOX")), daemonColour);
    QCOMPARE(w.hasClosed(), closes);
    if (closes) {
        QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Green);
        verifyClosedOnce(rig);
        return;
    }
    // No time limit: still waiting a minute later, asking every second.
    const qsizetype asked = rig.processes.queries.size();
    rig.advance(60000);
    QVERIFY(!w.hasClosed());
    QCOMPARE(rig.processes.queries.size() - asked, 60 * (wallet.isEmpty() ? 1 : 2));
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), label);
}

void TestCycleEnd::stopWhileWaitingStillCloses() {
    TestRig rig;
    prepare(rig, {"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX",
                  "P4P_TICKBOX"});
    MainWindow& w = rig.start();
    advanceTo(rig, 26500);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! DAEMON STILL RUNNING !!!"));

    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("START"));
    for (const QString& name : CountdownButtons)
        QVERIFY2(rig.button(name)->isEnabled(), qPrintable(name));
    for (const QString& name : AutomationBoxes)
        QVERIFY2(rig.tick(name)->isEnabled(), qPrintable(name));
    QVERIFY(w.P4P_END_TIMER->isRunning());

    rig.advance(10000);
    QVERIFY(!w.hasClosed());
    rig.processes.running.remove(Wallet.toLower());
    rig.advance(1000);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! DAEMON STILL RUNNING !!!"));
    rig.processes.running.remove(Daemon.toLower());
    const qint64 due = w.P4P_END_TIMER->dueAt();
    advanceTo(rig, due - 1);
    QVERIFY(!w.hasClosed());
    advanceTo(rig, due);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! FINISHED - AUTOCLOSING !!!"));
    verifyClosedOnce(rig);
    // The tick states stored are those after STOP: all still ticked.
    QCOMPARE(rig.stored("P4P_TICKBOX"), QString("1"));
}

void TestCycleEnd::watcherStaysOffUntilShutdown() {
    TestRig rig;
    prepare(rig, {"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX",
                  "P4P_TICKBOX"});
    MainWindow& w = rig.start();
    advanceTo(rig, 24000);
    QVERIFY(!w.CLI_PROCESS_WATCHER_TIMER->isEnabled());
    const QString buttons = QStringLiteral("%1%2%3")
                                .arg(w.SHUTDOWN_BUTTON->isEnabled())
                                .arg(w.GETBLOCKCOUNT_BUTTON->isEnabled())
                                .arg(w.GETCONNECTIONCOUNT_BUTTON->isEnabled());
    QCOMPARE(buttons, QStringLiteral("111"));

    // The client runs now: nobody looks.
    rig.processes.setRunning(Client);
    rig.processes.queries.clear();
    rig.advance(10000);
    QVERIFY(!rig.processes.queries.contains(Client));
    QVERIFY(w.SHUTDOWN_BUTTON->isEnabled());
    QVERIFY(w.GETBLOCKCOUNT_BUTTON->isEnabled());
    QVERIFY(w.GETCONNECTIONCOUNT_BUTTON->isEnabled());

    // SHUTDOWN turns the watcher on again: it sees the client a second
    // after its pause.
    const qint64 pressedAt = rig.clock.now();
    QTest::mouseClick(w.SHUTDOWN_BUTTON, Qt::LeftButton);
    QCOMPARE(rig.clock.now(), pressedAt + 3000);
    QCOMPARE(w.CLI_PROCESS_WATCHER_TIMER->dueAt(), pressedAt + 4000);
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Pink);
    advanceTo(rig, pressedAt + 4000);
    QVERIFY(rig.processes.queries.contains(Client));
    QVERIFY(!w.SHUTDOWN_BUTTON->isEnabled());
    QVERIFY(!w.GETBLOCKCOUNT_BUTTON->isEnabled());
    QVERIFY(!w.GETCONNECTIONCOUNT_BUTTON->isEnabled());
    // The wait goes on beside it.
    QVERIFY(w.P4P_END_TIMER->isRunning());
}

void TestCycleEnd::shutdownButton_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("starts");

    QTest::newRow("Idle") << "idle" << StopBatch << true;
    QTest::newRow("Idle, path with blanks") << "idle"
                                            << "/home/a user/My Node/CLI-UI-STOP.BAT" << true;
    QTest::newRow("Idle, file missing") << "idle"
                                        << "/nowhere/CLI-UI-STOP.BAT" << false;
    QTest::newRow("Idle, empty path") << "idle"
                                      << "" << false;
    QTest::newRow("Counting") << "counting" << StopBatch << true;
    QTest::newRow("Waiting, file missing") << "waiting"
                                           << "/nowhere/CLI-UI-STOP.BAT" << false;
}

void TestCycleEnd::shutdownButton() {
    QFETCH(QString, state);
    QFETCH(QString, path);
    QFETCH(bool, starts);

    TestRig rig;
    QStringList ticked{"CLI_STOP_BAT_TICKBOX"};
    if (state == "waiting")
        ticked << "AUTOSTART_TICKBOX"
               << "AUTOCLOSE_TIMER_TICKBOX"
               << "P4P_TICKBOX";
    prepare(rig, ticked);
    rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", path);
    if (!starts && !path.isEmpty())
        rig.starter.missing.insert(path);
    MainWindow& w = rig.start();
    if (state == "counting")
        QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    advanceTo(rig, state == "waiting" ? 25000 : 2000);
    // What a cycle's own stop command started is not this button's.
    rig.starter.starts.clear();
    rig.clock.waits.clear();
    const QString designTip = w.SHUTDOWN_BUTTON->toolTip();
    QVERIFY(w.SHUTDOWN_BUTTON->isEnabled());
    const QString caption = w.START_STOP_BUTTON->text();
    const QString shown = w.AUTORUN_TIMER_TEXTBOX->text();
    QStringList expected;
    for (const tw::app::WindowTimer* timer : automationTimers(w)) {
        if (timer->isRunning() || timer->name() == Watcher)
            expected << timer->name();
    }
    const qint64 pressedAt = rig.clock.now();

    QTest::mouseClick(w.SHUTDOWN_BUTTON, Qt::LeftButton);

    QCOMPARE(rig.clock.waits, (QList<QPair<qint64, int>>{{pressedAt, 3000}}));
    QCOMPARE(rig.starter.starts.size(), starts ? 1 : 0);
    if (starts) {
        QCOMPARE(rig.starter.starts[0].text, path);
        QCOMPARE(rig.starter.starts[0].at, pressedAt);
        QVERIFY(rig.starter.starts[0].batch);
        QCOMPARE(w.SHUTDOWN_BUTTON->toolTip(), designTip);
    } else {
        QVERIFY(rig.diagnostics.isReported(Automation::ShutdownStopBatchFailure));
        QVERIFY2(w.SHUTDOWN_BUTTON->toolTip().contains("stop batch file"),
                 qPrintable(w.SHUTDOWN_BUTTON->toolTip()));
    }
    // Watcher on, display pink; no state changes.
    QCOMPARE(runningTimers(w), expected);
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Pink);
    QCOMPARE(w.START_STOP_BUTTON->text(), caption);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), shown);
    QVERIFY(!w.hasClosed());
}

void TestCycleEnd::stopTickBoxInterlock_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("clicks");
    // Tick states and enabled states, in StoredBoxes order.
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<bool>("loop");

    // StoredBoxes: GBC GCC STOP AutoStart AutoClose P4P
    QTest::newRow("tick with neither query ticked")
        << QStringList{} << QStringList{"CLI_STOP_BAT_TICKBOX"} << "001000"
        << "001100" << false;
    QTest::newRow("tick with only G-B-C ticked")
        << QStringList{"CLI_GBC_BAT_TICKBOX"} << QStringList{"CLI_STOP_BAT_TICKBOX"} << "001000"
        << "011000" << false;
    QTest::newRow("tick, untick, tick again: Auto Start available")
        << QStringList{"CLI_GBC_BAT_TICKBOX"}
        << QStringList{"CLI_STOP_BAT_TICKBOX", "CLI_STOP_BAT_TICKBOX", "CLI_STOP_BAT_TICKBOX"}
        << "001000"
        << "001100" << false;
    QTest::newRow("untick with Auto Start and Auto Close ticked")
        << QStringList{"CLI_STOP_BAT_TICKBOX"}
        << QStringList{"AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX",
                       "CLI_STOP_BAT_TICKBOX"}
        << "000001"
        << "111000" << false;
}

void TestCycleEnd::stopTickBoxInterlock() {
    QFETCH(QStringList, stored);
    QFETCH(QStringList, clicks);
    QFETCH(QString, ticks);
    QFETCH(QString, enabled);
    QFETCH(bool, loop);

    TestRig rig;
    storeTicked(rig, stored);
    MainWindow& w = rig.start();
    for (const QString& name : clicks) {
        QVERIFY2(rig.tick(name)->isEnabled(), qPrintable(name));
        QTest::mouseClick(rig.tick(name), Qt::LeftButton);
    }
    QString tickBits, enabledBits;
    for (const QString& name : StoredBoxes) {
        tickBits += rig.tick(name)->isChecked() ? '1' : '0';
        enabledBits += rig.tick(name)->isEnabled() ? '1' : '0';
    }
    QCOMPARE(tickBits, ticks);
    QCOMPARE(enabledBits, enabled);
    QCOMPARE(w.GET_LOOP_TIMER->isEnabled(), loop);
    // Ticking and unticking start nothing.
    QVERIFY(!w.COUNTDOWN_TIMER->isEnabled());
    QVERIFY(rig.starter.starts.isEmpty());
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("START"));
}

void TestCycleEnd::closingTickEndsWithTheClose_data() {
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<bool>("nodeRunning");
    QTest::addColumn<qint64>("closesAt");
    QTest::addColumn<QString>("display");
    QTest::addColumn<bool>("byCycleEnd");

    QTest::newRow("cycle end, both queries ticked")
        << QStringList{"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX", "AUTOSTART_TICKBOX",
                       "AUTOCLOSE_TIMER_TICKBOX"}
        << true << qint64(21000) << "red" << true;
    QTest::newRow("cycle end, stop command")
        << QStringList{"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX"}
        << true << qint64(24000) << "red" << true;
    QTest::newRow("the wait, after a query cycle")
        << QStringList{"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX", "AUTOSTART_TICKBOX",
                       "AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX"}
        << false << qint64(22000) << "green" << false;
}

void TestCycleEnd::closingTickEndsWithTheClose() {
    QFETCH(QStringList, ticked);
    QFETCH(bool, nodeRunning);
    QFETCH(qint64, closesAt);
    QFETCH(QString, display);
    QFETCH(bool, byCycleEnd);

    TestRig rig;
    prepare(rig, ticked, nodeRunning);
    MainWindow& w = rig.start();
    QueryStandIn queries;
    answerQueriesAtOnce(rig, queries);
    QSignalSpy closed(&w, &MainWindow::closed);
    advanceTo(rig, closesAt - 1);
    QVERIFY(!w.hasClosed());
    const int remaining = w.COUNTDOWN_REMAINING;
    advanceTo(rig, closesAt);

    QCOMPARE(closed.size(), 1);
    verifyClosedOnce(rig);
    QCOMPARE(colourName(rig.colour("AUTORUN_TIMER_TEXTBOX")), display);
    if (byCycleEnd) {
        // The close was the last step: the steps that arm a next cycle for
        // a ticked query did not run after it.
        QVERIFY(!w.COUNTDOWN_TIMER->isEnabled());
        QVERIFY(!w.GET_LOOP_TIMER->isEnabled());
        QVERIFY(!w.CLI_PROCESS_WATCHER_TIMER->isEnabled());
        QCOMPARE(w.COUNTDOWN_REMAINING, remaining);
    }

    // Time goes on; nothing of the window moves, nothing is started.
    const QString label = w.PROCESS_ACTIVE_LABEL->text();
    const qsizetype starts = rig.starter.starts.size();
    const qsizetype asked = rig.processes.queries.size();
    rig.advance(120000);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), label);
    QCOMPARE(rig.starter.starts.size(), starts);
    QCOMPARE(rig.processes.queries.size(), asked);
    QCOMPARE(colourName(rig.colour("AUTORUN_TIMER_TEXTBOX")), display);
    QCOMPARE(closed.size(), 1);
    // A second close does not run the handler again.
    w.close();
    QCOMPARE(writes(rig, "MainLeft"), 1);
}

void TestCycleEnd::closingWithTheSettingsWindowOpen_data() {
    QTest::addColumn<bool>("pauseForProcess");
    QTest::newRow("the cycle end closes") << false;
    QTest::newRow("the wait closes") << true;
}

void TestCycleEnd::closingWithTheSettingsWindowOpen() {
    QFETCH(bool, pauseForProcess);
    TestRig rig;
    QStringList ticked{"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX"};
    if (pauseForProcess)
        ticked << "P4P_TICKBOX";
    prepare(rig, ticked, false);
    MainWindow& w = rig.start(true);
    advanceTo(rig, 15000);
    // STOP after the firing makes Settings available; the cycle end is due.
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    QVERIFY(w.SETTINGS_BUTTON->isEnabled());
    QVERIFY(w.UNLOAD_TIMER->isRunning());
    const QStringList writtenBefore = rig.settings.writtenKeys;

    // Time moves on while the modal settings window is open; a guard ends
    // the modal loop should the program fail to.
    bool sawSettings = false;
    QTimer::singleShot(0, &w, [&] {
        sawSettings = w.openSettingsWindow() && w.openSettingsWindow()->isVisible();
        rig.advance(20000);
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(20000);
    QTest::mouseClick(w.SETTINGS_BUTTON, Qt::LeftButton);
    QVERIFY(guard.isActive());
    guard.stop();

    QVERIFY(sawSettings);
    QVERIFY(w.openSettingsWindow() == nullptr);
    verifyClosedOnce(rig);
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"),
             pauseForProcess ? tw::app::colour::Green : tw::app::colour::Red);
    // Nothing of the settings window was saved: besides the close handler's
    // keys only the settings window's own position may have been written.
    const QStringList closeKeys = QStringList{"MainLeft", "MainTop"} + StoredBoxes;
    for (const QString& key : rig.settings.writtenKeys.mid(writtenBefore.size()))
        QVERIFY2(closeKeys.contains(key) || key.startsWith("SETTINGS-"), qPrintable(key));
    QCOMPARE(w.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->text(), StopBatch);
}

QTEST_MAIN(TestCycleEnd)
#include "tst_cycle_end.moc"
