#pragma once
// Helpers shared by the automation tests: reading the window's automation
// state as one text (so that QCOMPARE shows what differs), absolute virtual
// times and a stand-in for the poll's query cycles.

#include "app/Colours.h"
#include "app/WindowTimer.h"
#include "tests/support/TestRig.h"

#include <QLabel>
#include <QStringList>
#include <QTest>

namespace tw::test::automation {

using app::MainWindow;

// The four buttons that START greys.
inline const QStringList CountdownButtons = {"SETTINGS_BUTTON", "GETBLOCKCOUNT_BUTTON",
                                             "GETCONNECTIONCOUNT_BUTTON", "SHUTDOWN_BUTTON"};
// The five automation tick boxes that START greys.
inline const QStringList AutomationBoxes = {"AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX",
                                            "CLI_GBC_BAT_TICKBOX", "CLI_GCC_BAT_TICKBOX",
                                            "CLI_STOP_BAT_TICKBOX"};
// The tick boxes that the store keeps for the main window.
inline const QStringList StoredBoxes = {"CLI_GBC_BAT_TICKBOX",     "CLI_GCC_BAT_TICKBOX",
                                        "CLI_STOP_BAT_TICKBOX",    "AUTOSTART_TICKBOX",
                                        "AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX"};

inline QList<app::WindowTimer*> automationTimers(const MainWindow& w) {
    return {w.COUNTDOWN_TIMER,
            w.CLI_PROCESS_WATCHER_TIMER,
            w.GETBLOCKCOUNT_COMMAND_TIMER,
            w.GETCONNECTIONCOUNT_COMMAND_TIMER,
            w.UNLOAD_TIMER,
            w.GET_LOOP_TIMER,
            w.P4P_END_TIMER};
}

// Names of the automation timers that have a tick pending, in creation order.
inline QStringList runningTimers(const MainWindow& w) {
    QStringList names;
    for (const app::WindowTimer* timer : automationTimers(w)) {
        if (timer->isRunning())
            names << timer->name();
    }
    return names;
}

// Names of the automation timers that are switched on (whether or not the
// program has ended and nothing ticks any more).
inline QStringList enabledTimers(const MainWindow& w) {
    QStringList names;
    for (const app::WindowTimer* timer : automationTimers(w)) {
        if (timer->isEnabled())
            names << timer->name();
    }
    return names;
}

inline QString colourName(const QColor& colour) {
    using namespace app::colour;
    if (colour == Pink)
        return QStringLiteral("pink");
    if (colour == Yellow)
        return QStringLiteral("yellow");
    if (colour == Cyan)
        return QStringLiteral("cyan");
    if (colour == Red)
        return QStringLiteral("red");
    if (colour == Green)
        return QStringLiteral("green");
    if (colour == Black)
        return QStringLiteral("black");
    return colour.name();
}

// Everything that the automation sets, as one line per concern. Two windows
// in the same state give the same text; a difference shows in QCOMPARE.
inline QString describe(const TestRig& rig) {
    const MainWindow& w = const_cast<TestRig&>(rig).window();
    QStringList lines;
    lines << QStringLiteral("caption=") + w.START_STOP_BUTTON->text();
    lines << QStringLiteral("remaining=%1").arg(w.COUNTDOWN_REMAINING);
    lines << QStringLiteral("display=%1 on %2")
                 .arg(w.AUTORUN_TIMER_TEXTBOX->text(),
                      colourName(rig.colour("AUTORUN_TIMER_TEXTBOX")));
    QStringList enabled, ticked;
    for (const QString& name : CountdownButtons)
        enabled << name + (rig.button(name)->isEnabled() ? "=on" : "=off");
    for (const QString& name : StoredBoxes) {
        enabled << name + (rig.tick(name)->isEnabled() ? "=on" : "=off");
        ticked << name + (rig.tick(name)->isChecked() ? "=1" : "=0");
    }
    lines << QStringLiteral("enabled: ") + enabled.join(' ');
    lines << QStringLiteral("ticked: ") + ticked.join(' ');
    QStringList timers;
    for (const app::WindowTimer* timer : automationTimers(w)) {
        if (timer->isRunning())
            timers << QStringLiteral("%1@%2").arg(timer->name()).arg(timer->dueAt());
    }
    lines << QStringLiteral("running: ") + timers.join(' ');
    return lines.join('\n');
}

// Store a "1" for each named tick box (before rig.start()).
inline void storeTicked(TestRig& rig, const QStringList& boxes) {
    for (const QString& box : boxes)
        rig.store(box, QStringLiteral("1"));
}

// Move virtual time on to `at` (milliseconds since the rig was built).
inline void advanceTo(TestRig& rig, qint64 at) {
    QVERIFY2(at >= rig.clock.now(), "time runs forward only");
    rig.advance(at - rig.clock.now());
}

// The query cycles belong to the poll and are tested there. In these tests a
// query answers at once (box black, command timer off again), so that the
// timing seen here is the automation's own; `blockMs` > 0 makes each cycle
// block the window like a real one (waits of 1000, 3000, 1000 and the rest).
struct QueryStandIn {
    QList<qint64> blockCountAt;
    QList<qint64> connectionCountAt;
};

inline void answerQueriesAtOnce(TestRig& rig, QueryStandIn& log, int blockMs = 0) {
    MainWindow& w = rig.window();
    auto cycle = [&rig, blockMs](QLineEdit* box, app::WindowTimer* timer, QList<qint64>& at) {
        at << rig.clock.now();
        if (blockMs > 0) {
            rig.scheduler.sleep(1000);
            rig.scheduler.sleep(3000);
            rig.scheduler.sleep(1000);
            rig.scheduler.sleep(blockMs - 5000);
        }
        app::setBackground(box, app::colour::Black);
        timer->setEnabled(false);
    };
    w.GETBLOCKCOUNT_COMMAND_TIMER->setHandler([&w, &log, cycle] {
        cycle(w.CURRENT_BLOCK_TEXTBOX, w.GETBLOCKCOUNT_COMMAND_TIMER, log.blockCountAt);
    });
    w.GETCONNECTIONCOUNT_COMMAND_TIMER->setHandler([&w, &log, cycle] {
        cycle(w.CONNECTIONS_TEXTBOX, w.GETCONNECTIONCOUNT_COMMAND_TIMER, log.connectionCountAt);
    });
}

} // namespace tw::test::automation
