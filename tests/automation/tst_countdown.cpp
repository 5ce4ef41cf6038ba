// START/STOP and the countdown: the refusal, arming and disarming, the
// display rule, the firing with its requests and the stop batch file, and
// the load's auto-start case, all on virtual time.

#include "automation/Automation.h"
#include "tests/automation/AutomationTesting.h"

#include <QSignalSpy>

#include <climits>

using namespace tw::test::automation;
using tw::automation::Automation;
using tw::test::TestRig;

namespace {

const QString StopBatch = QStringLiteral("/home/node/CLI-UI-STOP.BAT");

} // namespace

class TestCountdown : public QObject {
    Q_OBJECT

private slots:
    void displayRule_data();
    void displayRule();
    void startWithoutACycleTickBoxIsRefused_data();
    void startWithoutACycleTickBoxIsRefused();
    void startCountsDownAndFires_data();
    void startCountsDownAndFires();
    void stopBatchFileIsStartedWholeAndFailuresAreReported_data();
    void stopBatchFileIsStartedWholeAndFailuresAreReported();
    void closingDuringTheStopPauseEndsTheTick();
    void loadAutoStartLeavesTheStateOfStart_data();
    void loadAutoStartLeavesTheStateOfStart();
    void stopWhileCountingKeepsTheDigits_data();
    void stopWhileCountingKeepsTheDigits();
    void stopAfterFiringThenTheCycleEndRearms_data();
    void stopAfterFiringThenTheCycleEndRearms();
    void cycleEndDuringANewCountdownRestartsItsInterval();
    void laterCyclesCountSixtyTicks_data();
    void laterCyclesCountSixtyTicks();
    void blockingHandlersDelayTheCountdown_data();
    void blockingHandlersDelayTheCountdown();
    void watcherReEnablesThreeButtonsWhileCounting_data();
    void watcherReEnablesThreeButtonsWhileCounting();
};

void TestCountdown::displayRule_data() {
    QTest::addColumn<qint64>("remaining");
    QTest::addColumn<QString>("shown");
    QTest::newRow("10") << qint64(10) << "10";
    QTest::newRow("1") << qint64(1) << "01";
    QTest::newRow("0") << qint64(0) << "00";
    QTest::newRow("-1") << qint64(-1) << "01";
    QTest::newRow("-9") << qint64(-9) << "09";
    QTest::newRow("-59") << qint64(-59) << "59";
    QTest::newRow("-60") << qint64(-60) << "00";
    QTest::newRow("-61") << qint64(-61) << "01";
    QTest::newRow("-119") << qint64(-119) << "59";
    QTest::newRow("-120") << qint64(-120) << "00";
    QTest::newRow("59") << qint64(59) << "59";
    QTest::newRow("60") << qint64(60) << "00";
    QTest::newRow("61") << qint64(61) << "01";
    QTest::newRow("3599") << qint64(3599) << "59";
    // -2147483648 = -(35791394 * 60 + 8)
    QTest::newRow("most negative int") << qint64(INT_MIN) << "08";
}

void TestCountdown::displayRule() {
    QFETCH(qint64, remaining);
    QFETCH(QString, shown);
    QCOMPARE(Automation::countdownText(remaining), shown);
}

void TestCountdown::startWithoutACycleTickBoxIsRefused_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("autoStart");
    QTest::addColumn<bool>("autoClose");
    QTest::newRow("caption START, nothing ticked") << "START" << false << false;
    QTest::newRow("caption STOP, Auto Start and Auto Close ticked") << "STOP" << true << true;
    QTest::newRow("design caption, Auto Start ticked") << "START- STOP" << true << false;
}

void TestCountdown::startWithoutACycleTickBoxIsRefused() {
    QFETCH(QString, caption);
    QFETCH(bool, autoStart);
    QFETCH(bool, autoClose);
    TestRig rig;
    MainWindow& w = rig.start();
    // Only code can get here: Auto Start and Auto Close ticked with no cycle.
    w.AUTOSTART_TICKBOX->setEnabled(true);
    w.AUTOSTART_TICKBOX->setChecked(autoStart);
    w.AUTOCLOSE_TIMER_TICKBOX->setChecked(autoClose);
    w.START_STOP_BUTTON->setText(caption);
    w.COUNTDOWN_REMAINING = 7;
    QCOMPARE(w.P4P_TICKBOX->isEnabled(), autoClose);

    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);

    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("START"));
    QVERIFY(!w.AUTOSTART_TICKBOX->isEnabled());
    QVERIFY(!w.AUTOCLOSE_TIMER_TICKBOX->isEnabled());
    QVERIFY(!w.AUTOSTART_TICKBOX->isChecked());
    QVERIFY(!w.AUTOCLOSE_TIMER_TICKBOX->isChecked());
    // The Auto Close interlock ran through the untick.
    QVERIFY(!w.P4P_TICKBOX->isEnabled());
    QCOMPARE(w.COUNTDOWN_REMAINING, 7);
    QCOMPARE(runningTimers(w), QStringList{"CLI_PROCESS_WATCHER_TIMER"});
    rig.advance(30000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
    QVERIFY(rig.starter.starts.isEmpty());
}

void TestCountdown::startCountsDownAndFires_data() {
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("blockCount");
    QTest::addColumn<bool>("connectionCount");
    QTest::addColumn<bool>("stopCommand");
    QTest::newRow("Auto G-B-C") << QStringList{"CLI_GBC_BAT_TICKBOX"} << true << false << false;
    QTest::newRow("Auto G-C-C") << QStringList{"CLI_GCC_BAT_TICKBOX"} << false << true << false;
    QTest::newRow("both queries") << QStringList{"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX"}
                                  << true << true << false;
    QTest::newRow("AutoSend STOP") << QStringList{"CLI_STOP_BAT_TICKBOX"} << false << false << true;
}

void TestCountdown::startCountsDownAndFires() {
    QFETCH(QStringList, boxes);
    QFETCH(bool, blockCount);
    QFETCH(bool, connectionCount);
    QFETCH(bool, stopCommand);
    TestRig rig;
    storeTicked(rig, boxes);
    rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", StopBatch);
    MainWindow& w = rig.start();
    QueryStandIn queries;
    answerQueriesAtOnce(rig, queries);
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("START"));
    const QMap<QString, bool> ticksBefore = [&] {
        QMap<QString, bool> ticks;
        for (const QString& name : AutomationBoxes)
            ticks[name] = rig.tick(name)->isChecked();
        return ticks;
    }();

    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);

    QCOMPARE(w.COUNTDOWN_REMAINING, 11);
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("STOP"));
    for (const QString& name : CountdownButtons)
        QVERIFY2(!rig.button(name)->isEnabled(), qPrintable(name));
    for (const QString& name : AutomationBoxes) {
        QVERIFY2(!rig.tick(name)->isEnabled(), qPrintable(name));
        QCOMPARE(rig.tick(name)->isChecked(), ticksBefore[name]);
    }
    QVERIFY(w.COUNTDOWN_TIMER->isRunning());
    QCOMPARE(w.COUNTDOWN_TIMER->dueAt(), 1000);

    // "10" one second after the press, then one less every second.
    for (int second = 1; second <= 10; ++second) {
        advanceTo(rig, second * 1000 - 1);
        QCOMPARE(w.COUNTDOWN_REMAINING, 12 - second);
        advanceTo(rig, second * 1000);
        QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), Automation::countdownText(11 - second));
        QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Pink);
    }
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("01"));

    // The eleventh tick fires; "00" is never left on screen.
    QColor colourDuringPause;
    rig.clock.onWait = [&](qint64, int) {
        colourDuringPause = rig.colour("AUTORUN_TIMER_TEXTBOX");
    };
    advanceTo(rig, 11000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
    QCOMPARE(w.COUNTDOWN_REMAINING, 0);
    QVERIFY(!w.COUNTDOWN_TIMER->isEnabled());
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"),
             stopCommand ? tw::app::colour::Green : tw::app::colour::Cyan);
    QCOMPARE(rig.colour("CURRENT_BLOCK_TEXTBOX") == tw::app::colour::Pink, blockCount);
    QCOMPARE(rig.colour("CONNECTIONS_TEXTBOX") == tw::app::colour::Pink, connectionCount);
    QCOMPARE(w.GETBLOCKCOUNT_COMMAND_TIMER->isRunning(), blockCount);
    QCOMPARE(w.GETCONNECTIONCOUNT_COMMAND_TIMER->isRunning(), connectionCount);
    QVERIFY(w.UNLOAD_TIMER->isRunning());
    if (stopCommand) {
        QCOMPARE(rig.clock.now(), 14000);
        QCOMPARE(rig.clock.waits, (QList<QPair<qint64, int>>{{11000, 3000}}));
        QCOMPARE(colourDuringPause, tw::app::colour::Red);
        QCOMPARE(rig.starter.starts.size(), 1);
        QCOMPARE(rig.starter.starts[0].at, 11000);
        QVERIFY(rig.starter.starts[0].batch);
        QCOMPARE(rig.starter.starts[0].text, StopBatch);
        // Ten seconds after the pause.
        QCOMPARE(w.UNLOAD_TIMER->dueAt(), 24000);
    } else {
        QVERIFY(rig.clock.waits.isEmpty());
        QVERIFY(rig.starter.starts.isEmpty());
        QCOMPARE(w.UNLOAD_TIMER->dueAt(), 21000);
        // The query request is served one second later.
        advanceTo(rig, 12000);
        QCOMPARE(queries.blockCountAt, blockCount ? QList<qint64>{12000} : QList<qint64>{});
        QCOMPARE(queries.connectionCountAt,
                 connectionCount ? QList<qint64>{12000} : QList<qint64>{});
    }
    QCOMPARE(rig.diagnostics.failureCount(), 0);
}

void TestCountdown::stopBatchFileIsStartedWholeAndFailuresAreReported_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("missing");
    QTest::newRow("path with blanks") << "/home/a user/My Node Files/CLI-UI-STOP.BAT" << false;
    QTest::newRow("blanks at both ends") << " /srv/node/CLI-UI-STOP.BAT " << false;
    QTest::newRow("file missing") << "/home/node/gone/CLI-UI-STOP.BAT" << true;
    QTest::newRow("empty path") << "" << true;
}

void TestCountdown::stopBatchFileIsStartedWholeAndFailuresAreReported() {
    QFETCH(QString, path);
    QFETCH(bool, missing);
    TestRig rig;
    storeTicked(rig, {"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX"});
    rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", path);
    if (missing && !path.isEmpty())
        rig.starter.missing.insert(path);
    MainWindow& w = rig.start();
    const QString designTip = w.AUTORUN_TIMER_TEXTBOX->toolTip();

    advanceTo(rig, 11000);

    // The remaining steps ran either way.
    QCOMPARE(rig.clock.now(), 14000);
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Green);
    QCOMPARE(w.UNLOAD_TIMER->dueAt(), 24000);
    QVERIFY(!w.COUNTDOWN_TIMER->isEnabled());
    if (missing) {
        QVERIFY(rig.starter.starts.isEmpty());
        QCOMPARE(rig.diagnostics.failureCount(), 1);
        QVERIFY(rig.diagnostics.isReported(Automation::CycleStopBatchFailure));
        QVERIFY2(w.AUTORUN_TIMER_TEXTBOX->toolTip().contains("stop batch file"),
                 qPrintable(w.AUTORUN_TIMER_TEXTBOX->toolTip()));
    } else {
        QCOMPARE(rig.starter.starts.size(), 1);
        QCOMPARE(rig.starter.starts[0].text, path);
        QCOMPARE(rig.diagnostics.failureCount(), 0);
        QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->toolTip(), designTip);
    }
}

void TestCountdown::closingDuringTheStopPauseEndsTheTick() {
    TestRig rig;
    storeTicked(rig, {"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX"});
    rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", StopBatch);
    MainWindow& w = rig.start();
    // The user closes the window while the stop command's pause runs.
    rig.clock.onWait = [&](qint64, int) { w.close(); };
    advanceTo(rig, 11000);
    QVERIFY(w.hasClosed());
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Red);
    QVERIFY(!w.UNLOAD_TIMER->isEnabled());
}

void TestCountdown::loadAutoStartLeavesTheStateOfStart_data() {
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("autoClose");
    QTest::addColumn<bool>("pauseForProcess");
    QTest::newRow("G-B-C") << QStringList{"CLI_GBC_BAT_TICKBOX"} << false << false;
    QTest::newRow("G-C-C, Auto Close") << QStringList{"CLI_GCC_BAT_TICKBOX"} << true << false;
    QTest::newRow("both queries, Auto Close, P-4-P")
        << QStringList{"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX"} << true << true;
    QTest::newRow("STOP") << QStringList{"CLI_STOP_BAT_TICKBOX"} << false << false;
    QTest::newRow("STOP, Auto Close, P-4-P") << QStringList{"CLI_STOP_BAT_TICKBOX"} << true << true;
}

void TestCountdown::loadAutoStartLeavesTheStateOfStart() {
    QFETCH(QStringList, boxes);
    QFETCH(bool, autoClose);
    QFETCH(bool, pauseForProcess);

    // Auto-start at load.
    TestRig loaded;
    storeTicked(loaded, boxes);
    loaded.store("AUTOSTART_TICKBOX", "1");
    loaded.store("AUTOCLOSE_TIMER_TICKBOX", autoClose ? "1" : "0");
    loaded.store("P4P_TICKBOX", pauseForProcess ? "1" : "0");
    loaded.start();

    // The same tick boxes set by hand, then START.
    TestRig pressed;
    storeTicked(pressed, boxes);
    MainWindow& w = pressed.start();
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("START"));
    QTest::mouseClick(w.AUTOSTART_TICKBOX, Qt::LeftButton);
    QVERIFY(w.AUTOSTART_TICKBOX->isChecked());
    if (autoClose)
        QTest::mouseClick(w.AUTOCLOSE_TIMER_TICKBOX, Qt::LeftButton);
    if (pauseForProcess)
        QTest::mouseClick(w.P4P_TICKBOX, Qt::LeftButton);
    QCOMPARE(w.AUTOCLOSE_TIMER_TICKBOX->isChecked(), autoClose);
    QCOMPARE(w.P4P_TICKBOX->isChecked(), pauseForProcess);
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);

    QCOMPARE(describe(pressed), describe(loaded));
    QCOMPARE(w.P4P_TICKBOX->isEnabled(), loaded.window().P4P_TICKBOX->isEnabled());
    QVERIFY(loaded.window().COUNTDOWN_TIMER->isRunning());
    // And they go on alike: the watcher's first tick, then "10".
    pressed.advance(1000);
    loaded.advance(1000);
    QCOMPARE(describe(pressed), describe(loaded));
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("10"));
}

void TestCountdown::stopWhileCountingKeepsTheDigits_data() {
    QTest::addColumn<int>("ticks");
    QTest::newRow("after one tick") << 1;
    QTest::newRow("after five ticks") << 5;
    QTest::newRow("after ten ticks") << 10;
}

void TestCountdown::stopWhileCountingKeepsTheDigits() {
    QFETCH(int, ticks);
    TestRig rig;
    storeTicked(rig, {"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX"});
    MainWindow& w = rig.start();
    QueryStandIn queries;
    answerQueriesAtOnce(rig, queries);
    w.GET_LOOP_TIMER->setEnabled(true);
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    rig.advance(ticks * 1000);
    const QString shown = Automation::countdownText(11 - ticks);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), shown);

    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);

    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("START"));
    for (const QString& name : CountdownButtons)
        QVERIFY2(rig.button(name)->isEnabled(), qPrintable(name));
    for (const QString& name : AutomationBoxes)
        QVERIFY2(rig.tick(name)->isEnabled(), qPrintable(name));
    QVERIFY(!w.COUNTDOWN_TIMER->isEnabled());
    QVERIFY(!w.GET_LOOP_TIMER->isEnabled());
    QCOMPARE(w.COUNTDOWN_REMAINING, 11 - ticks);
    rig.advance(30000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), shown);
    QVERIFY(!w.UNLOAD_TIMER->isEnabled());

    // A new START counts from 11 again.
    const qint64 pressedAt = rig.clock.now();
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    QCOMPARE(w.COUNTDOWN_REMAINING, 11);
    advanceTo(rig, pressedAt + 1000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("10"));
    advanceTo(rig, pressedAt + 10999);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("01"));
    advanceTo(rig, pressedAt + 11000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
}

void TestCountdown::stopAfterFiringThenTheCycleEndRearms_data() {
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("endColour");
    QTest::newRow("G-B-C: yellow, then pink") << QStringList{"CLI_GBC_BAT_TICKBOX"} << "pink";
    QTest::newRow("G-C-C") << QStringList{"CLI_GCC_BAT_TICKBOX"} << "yellow";
    QTest::newRow("both") << QStringList{"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX"} << "yellow";
}

void TestCountdown::stopAfterFiringThenTheCycleEndRearms() {
    QFETCH(QStringList, boxes);
    QFETCH(QString, endColour);
    TestRig rig;
    storeTicked(rig, boxes);
    MainWindow& w = rig.start();
    QueryStandIn queries;
    answerQueriesAtOnce(rig, queries);
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    advanceTo(rig, 11000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
    advanceTo(rig, 13000);

    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("START"));
    QVERIFY(w.UNLOAD_TIMER->isRunning());
    QVERIFY(w.SETTINGS_BUTTON->isEnabled());

    advanceTo(rig, 20999);
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("START"));
    advanceTo(rig, 21000);
    QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("STOP"));
    QCOMPARE(colourName(rig.colour("AUTORUN_TIMER_TEXTBOX")), endColour);
    QCOMPARE(w.COUNTDOWN_TIMER->dueAt(), 22000);
    QVERIFY(!w.UNLOAD_TIMER->isEnabled());
    QVERIFY(w.GET_LOOP_TIMER->isRunning());
    for (const QString& name : CountdownButtons)
        QVERIFY2(!rig.button(name)->isEnabled(), qPrintable(name));
    for (const QString& name :
         QStringList{"CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX", "CLI_STOP_BAT_TICKBOX"})
        QVERIFY2(!rig.tick(name)->isEnabled(), qPrintable(name));
    // The count was not reset.
    QCOMPARE(w.COUNTDOWN_REMAINING, 0);
}

void TestCountdown::cycleEndDuringANewCountdownRestartsItsInterval() {
    TestRig rig;
    storeTicked(rig, {"CLI_GCC_BAT_TICKBOX"});
    MainWindow& w = rig.start();
    QueryStandIn queries;
    answerQueriesAtOnce(rig, queries);
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    advanceTo(rig, 13000); // fired at 11 s, cycle end due at 21 s
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    advanceTo(rig, 15500);
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton); // counts from 11 again
    advanceTo(rig, 20500);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("06"));
    QCOMPARE(w.COUNTDOWN_TIMER->dueAt(), 21500);

    // The pending cycle end arms "the next cycle" over the running one:
    // a full interval from now, the count kept.
    advanceTo(rig, 21000);
    QCOMPARE(w.COUNTDOWN_REMAINING, 6);
    QCOMPARE(w.COUNTDOWN_TIMER->dueAt(), 22000);
    advanceTo(rig, 21999);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("06"));
    advanceTo(rig, 22000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("05"));
    advanceTo(rig, 27000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
}

void TestCountdown::laterCyclesCountSixtyTicks_data() {
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("G-B-C") << QStringList{"CLI_GBC_BAT_TICKBOX"};
    QTest::newRow("G-C-C") << QStringList{"CLI_GCC_BAT_TICKBOX"};
}

void TestCountdown::laterCyclesCountSixtyTicks() {
    QFETCH(QStringList, boxes);
    TestRig rig;
    storeTicked(rig, boxes);
    rig.store("AUTOSTART_TICKBOX", "1");
    MainWindow& w = rig.start();
    QueryStandIn queries;
    answerQueriesAtOnce(rig, queries);

    // First cycle: fires at 11 s, ends at 21 s.
    advanceTo(rig, 21000);
    QVERIFY(w.COUNTDOWN_TIMER->isRunning());
    QList<qint64> fired{11000};
    for (int cycle = 0; cycle < 2; ++cycle) {
        const qint64 armedAt = rig.clock.now();
        for (int tick = 1; tick <= 59; ++tick) {
            advanceTo(rig, armedAt + tick * 1000);
            QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), Automation::countdownText(tick));
        }
        QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("59"));
        advanceTo(rig, armedAt + 60000);
        QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
        QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Cyan);
        QCOMPARE(w.COUNTDOWN_REMAINING, -60 * (cycle + 1));
        fired << rig.clock.now();
        // Its cycle end arms the next one ten seconds later.
        advanceTo(rig, armedAt + 70000);
        QCOMPARE(w.START_STOP_BUTTON->text(), QStringLiteral("STOP"));
        QVERIFY(w.COUNTDOWN_TIMER->isRunning());
    }
    QCOMPARE(fired, (QList<qint64>{11000, 81000, 151000}));
    const QList<qint64>& served =
        boxes.contains("CLI_GBC_BAT_TICKBOX") ? queries.blockCountAt : queries.connectionCountAt;
    // One query per firing (one second later); the 60-second loop may add its own.
    for (qint64 at : fired)
        QVERIFY2(served.contains(at + 1000), qPrintable(QString::number(at)));
}

void TestCountdown::blockingHandlersDelayTheCountdown_data() {
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<int>("blockMs"); // 0: as long as the poll's own cycle takes
    QTest::newRow("a block-count query cycle") << "query" << 6000;
    QTest::newRow("a longer query cycle") << "query" << 7000;
    QTest::newRow("the poll's own block-count cycle") << "query" << 0;
    QTest::newRow("the SHUTDOWN pause") << "shutdown" << 3000;
}

void TestCountdown::blockingHandlersDelayTheCountdown() {
    QFETCH(QString, blocker);
    QFETCH(int, blockMs);
    TestRig rig;
    storeTicked(rig, {"CLI_GCC_BAT_TICKBOX"});
    rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", StopBatch);
    MainWindow& w = rig.start();
    QueryStandIn queries;
    if (blockMs > 0)
        answerQueriesAtOnce(rig, queries, blockMs);
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    advanceTo(rig, 3000);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("08"));

    // What the display shows when the block begins.
    QString shownBefore;
    rig.clock.onWait = [&](qint64, int) {
        if (shownBefore.isEmpty())
            shownBefore = w.AUTORUN_TIMER_TEXTBOX->text();
    };
    qint64 blockEnds = 0;
    if (blocker == "query") {
        // A G-B-C request: its cycle starts at the next second, after that
        // second's countdown tick, and blocks the window.
        tw::app::setBackground(w.CURRENT_BLOCK_TEXTBOX, tw::app::colour::Pink);
        w.GETBLOCKCOUNT_COMMAND_TIMER->setEnabled(true);
        advanceTo(rig, 4000);
        QCOMPARE(shownBefore, QStringLiteral("07"));
        if (blockMs > 0) {
            QCOMPARE(queries.blockCountAt, QList<qint64>{4000});
        } else {
            // The poll's cycle: its waits, one after another from 4 s on.
            QVERIFY(!rig.clock.waits.isEmpty());
            QCOMPARE(rig.clock.waits.first().first, 4000);
            for (const auto& [at, ms] : rig.clock.waits)
                blockMs += ms;
            QVERIFY2(blockMs >= 6000, qPrintable(QString::number(blockMs)));
            QVERIFY(!w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled());
        }
        blockEnds = 4000 + blockMs;
    } else {
        // The watcher has given SHUTDOWN back; its pause blocks at once.
        QVERIFY(w.SHUTDOWN_BUTTON->isEnabled());
        QTest::mouseClick(w.SHUTDOWN_BUTTON, Qt::LeftButton);
        QCOMPARE(shownBefore, QStringLiteral("08"));
        blockEnds = 3000 + blockMs;
    }
    QCOMPARE(rig.clock.now(), blockEnds);
    // The ticks that fell due meanwhile collapse into one, delivered when
    // the block ends.
    rig.clock.settle();
    const int shownAfter = w.AUTORUN_TIMER_TEXTBOX->text().toInt();
    QCOMPARE(shownAfter, shownBefore.toInt() - 1);
    QCOMPARE(w.COUNTDOWN_TIMER->dueAt(), blockEnds + 1000);

    // So the cycle fires later than eleven seconds by the ticks lost.
    const qint64 firesAt = blockEnds + shownAfter * 1000;
    advanceTo(rig, firesAt - 1);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("01"));
    advanceTo(rig, firesAt);
    QCOMPARE(w.AUTORUN_TIMER_TEXTBOX->text(), QStringLiteral("-- --"));
    const int lostTicks = blockMs / 1000 - 1;
    QCOMPARE(firesAt, 11000 + lostTicks * 1000);
}

void TestCountdown::watcherReEnablesThreeButtonsWhileCounting_data() {
    QTest::addColumn<bool>("clientRunning");
    QTest::newRow("client not running") << false;
    QTest::newRow("client running") << true;
}

void TestCountdown::watcherReEnablesThreeButtonsWhileCounting() {
    QFETCH(bool, clientRunning);
    TestRig rig;
    storeTicked(rig, {"CLI_GBC_BAT_TICKBOX"});
    rig.store("CLI_NAME_TEXTBOX", "bitcoin-cli.exe");
    if (clientRunning)
        rig.processes.setRunning("bitcoin-cli.exe");
    MainWindow& w = rig.start();
    advanceTo(rig, 500);
    QTest::mouseClick(w.START_STOP_BUTTON, Qt::LeftButton);
    for (const QString& name : CountdownButtons)
        QVERIFY2(!rig.button(name)->isEnabled(), qPrintable(name));

    advanceTo(rig, 1000); // the watcher's tick, half a second later
    QVERIFY(w.COUNTDOWN_TIMER->isRunning());
    for (const QString& name :
         QStringList{"GETBLOCKCOUNT_BUTTON", "GETCONNECTIONCOUNT_BUTTON", "SHUTDOWN_BUTTON"})
        QCOMPARE(rig.button(name)->isEnabled(), !clientRunning);
    QVERIFY(!w.SETTINGS_BUTTON->isEnabled());
    for (const QString& name : AutomationBoxes)
        QVERIFY2(!rig.tick(name)->isEnabled(), qPrintable(name));
}

QTEST_MAIN(TestCountdown)
#include "tst_countdown.moc"
