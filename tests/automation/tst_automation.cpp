// The automation: START/STOP and the countdown, the process watcher,
// SHUTDOWN, the cycle end, the wait before exit and closing from a tick.
//
// Most cases run on virtual time over the fake platform as scripts, one row
// each (tests/support/ScriptRunner.h has the steps every script knows).
// Further steps:
//   process-list unreadable|readable   the process list cannot be read / can
//   countdown-text N=SS ...            the countdown shows SS for a count of N
//   like-by-hand       the state equals that of a window opened with the
//                      setup's query and STOP tick boxes, whose Auto Start
//                      (then Auto Close, P-4-P) was clicked and START pressed
//                      at the start
// The setup names the tick boxes stored ticked; real-queries keeps the poll's
// own query cycles, otherwise a query answers at once. The client is "cli",
// the wallet "qt" and the daemon "d"; the wallet and the daemon run.
//
// The cases over real processes (the process check on this machine's /proc,
// the real program against the demo node) are in tst_automation_posix.cpp.

#include "app/Colours.h"
#include "automation/Automation.h"
#include "tests/support/ScriptRunner.h"

#include <QLabel>
#include <QTest>

using tw::automation::Automation;
using tw::test::ScriptRunner;
using tw::test::TestRig;

namespace {

tw::app::MainWindow& start(TestRig& rig, const QString& setup) {
    const QStringList others = ScriptRunner::storeTicked(rig, setup);
    if (!others.isEmpty() && others != QStringList{"real-queries"})
        qFatal("not a tick box: %s", qPrintable(others.join(' ')));
    for (const QString name : {"CLI_STOP_BAT_FULL_LOCATION=/n/CLI-UI-STOP.BAT", "CLI_NAME=cli",
                               "QT_EXE=qt", "DAEMON_EXE=d"})
        rig.store(name.section('=', 0, 0) + "_TEXTBOX", name.section('=', 1));
    rig.processes.running = {{"qt", 1}, {"d", 1}};
    auto& w = rig.start();
    if (others.isEmpty())
        for (auto* timer : {w.GETBLOCKCOUNT_COMMAND_TIMER, w.GETCONNECTIONCOUNT_COMMAND_TIMER})
            timer->setHandler([timer] { timer->setEnabled(false); });
    return w;
}

// What the window shows and what the program did. The process label is
// read without its "!!! " and " !!!"; starts are the times batch files were
// started, last-start the last one's path, closed how often the close wrote
// the store, saved the text boxes it wrote.
void addFields(ScriptRunner& runner, TestRig& rig) {
    const auto& w = rig.window();
    runner.addTextField("caption", "START-STOP");
    runner.addTextField("countdown", "AUTORUN_TIMER_TEXTBOX");
    runner.addColourField("colour", "AUTORUN_TIMER_TEXTBOX");
    runner.addField("remaining", [&w] { return QString::number(w.COUNTDOWN_REMAINING); });
    runner.addField("label", [&w] { return w.PROCESS_ACTIVE_LABEL->text().mid(4).chopped(4); });
    runner.addColourField("label-colour", "PROCESS_ACTIVE_LABEL");
    runner.addTimersField("timers",
                          {"COUNTDOWN", "WATCHER", "GBC", "GCC", "UNLOAD", "LOOP", "P4P-END"});
    runner.addEnabledField("buttons", {"G-B-C", "G-C-C", "SETTINGS", "SHUTDOWN"});
    const QStringList boxes{"AUTO-START", "AUTO-STOP", "AUTO-CLOSE", "AUTO-GBC", "AUTO-GCC"};
    runner.addEnabledField("boxes", boxes);
    runner.addTickedField("ticked", boxes + QStringList{"P-4-P"});
    runner.addListField("starts", [&rig] {
        QStringList times;
        for (const auto& start : rig.starter.starts)
            times << QString::number(start.at);
        return times;
    });
    runner.addField("last-start", [&rig] {
        return rig.starter.starts.isEmpty() ? QString() : rig.starter.starts.last().text;
    });
    runner.addField("closed",
                    [&rig] { return QString::number(rig.settings.writtenKeys.count("MainLeft")); });
    runner.addField("saved",
                    [&rig] { return rig.settings.writtenKeys.filter("_TEXTBOX").join(','); });
    runner.addField("settings-window", [&w] {
        return w.openSettingsWindow() && w.openSettingsWindow()->isVisible() ? "open" : "closed";
    });
    runner.addReportedField("reported",
                            {Automation::ProcessListFailure, Automation::CycleStopBatchFailure,
                             Automation::ShutdownStopBatchFailure});
    runner.addField("failures", [&rig] { return QString::number(rig.diagnostics.failureCount()); });
    // What a screen reader says of the countdown's and the wallet's state.
    runner.addField("said", [&w] { return w.AUTORUN_TIMER_TEXTBOX->accessibleDescription(); });
    runner.addField("qt-said", [&w] { return w.QT_EXE_TEXTBOX->accessibleDescription(); });
}

void addSteps(ScriptRunner& runner, TestRig& rig, const QString& setup) {
    runner.addStep("process-list", [&runner, &rig](const QString& how) {
        if (how != "readable" && how != "unreadable")
            runner.fail("readable or unreadable?");
        rig.processes.unreadable = how == "unreadable";
    });
    runner.addStep("countdown-text", [&runner](const QString& pairs) {
        for (const QString& pair : pairs.split(' ', Qt::SkipEmptyParts))
            runner.expect("the countdown's text for " + pair.section('=', 0, 0),
                          pair.section('=', 1),
                          Automation::countdownText(pair.section('=', 0, 0).toLongLong()));
    });
    runner.addStep("like-by-hand", [&runner, &rig, setup](const QString&) {
        QStringList stored, clicked{"AUTO-START"};
        for (const QString& name : setup.split(' '))
            if (name == "AUTO-CLOSE" || name == "P-4-P")
                clicked << name;
            else if (name != "AUTO-START")
                stored << name;
        TestRig other;
        start(other, stored.join(' '));
        ScriptRunner byHand(other);
        addFields(byHand, other);
        for (const QString& name : clicked)
            other.tick(ScriptRunner::objectName(name))->click();
        other.window().START_STOP_BUTTON->click();
        other.advance(rig.clock.now());
        for (const QString& field : runner.fieldNames())
            runner.expect(field + " (against a window started by hand)", byHand.value(field),
                          runner.value(field));
    });
}

} // namespace

class TestAutomation : public QObject {
    Q_OBJECT

private slots:
    void scripts_data();
    void scripts();
};

void TestAutomation::scripts_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("script");
    // clang-format off
    const auto row = [](const QString& name, const QString& setup, const QString& script) { QTest::newRow(qPrintable(name)) << setup << script; };
    row("idle; START without a cycle tick box refuses", "",
        "@500; caption=START; timers=WATCHER; boxes=AUTO-STOP,AUTO-GBC,AUTO-GCC; !START-STOP; caption=START; timers=WATCHER;"
        "boxes=AUTO-STOP,AUTO-GBC,AUTO-GCC; @30000; countdown=-- --; starts=");
    row("STOP while counting keeps the digits; START counts from 11", "AUTO-GBC",
        "!START-STOP; caption=STOP; remaining=11; buttons=; boxes=; @5000; countdown=06; !START-STOP; caption=START;"
        "buttons=G-B-C,G-C-C,SETTINGS,SHUTDOWN; boxes=AUTO-START,AUTO-STOP,AUTO-CLOSE,AUTO-GBC,AUTO-GCC; timers=WATCHER;"
        "@40000; countdown=06; !START-STOP; @41000; countdown=10; @51000; countdown=-- --; timers=WATCHER,GBC,UNLOAD");
    row("STOP after the firing; the cycle end re-arms and says STOP", "AUTO-GBC",
        "!START-STOP; @13000; countdown=-- --; !START-STOP; caption=START; timers=WATCHER,UNLOAD; @20999; caption=START;"
        "@21000; caption=STOP; colour=pink; timers=COUNTDOWN,WATCHER,LOOP; buttons=; boxes=AUTO-START,AUTO-CLOSE; remaining=0;"
        "@22000; countdown=01; buttons=G-B-C,G-C-C,SHUTDOWN");
    row("G, Auto Start: the next cycle shows 01 to 59 and fires on its 60th tick", "AUTO-GBC AUTO-START",
        "@11000; countdown=-- --; colour=cyan; timers=WATCHER,GBC,UNLOAD,LOOP; @21000; timers=COUNTDOWN,WATCHER,LOOP; colour=pink;"
        "@22000; countdown=01; @50000; countdown=29; @80000; countdown=59; @81000; countdown=-- --; remaining=-60; @91000;"
        "timers=COUNTDOWN,WATCHER,LOOP; caption=STOP");
    row("a blocking query cycle delays the countdown", "AUTO-GCC real-queries",
        "!START-STOP; @3000; countdown=08; !G-B-C; @4000; countdown=06; @16999; countdown=01; @17000; countdown=-- --");
    row("the watcher, also while counting", "AUTO-GBC",
        "@500; label=NOT MONITORING; !START-STOP; buttons=; @1000; label=CLI NOT RUNNING; label-colour=green;"
        "buttons=G-B-C,G-C-C,SHUTDOWN; boxes=; +cli; @2000; label=CLI RUNNING; label-colour=red; buttons=; -cli; @3000;"
        "buttons=G-B-C,G-C-C,SHUTDOWN; timers=COUNTDOWN,WATCHER,LOOP");
    row("Auto Close, P-4-P, STOP: the wait; the watcher off until SHUTDOWN", "AUTO-STOP AUTO-START AUTO-CLOSE P-4-P",
        "@11000; starts=11000; @24000; timers=P4P-END; colour=pink; buttons=G-B-C,G-C-C,SHUTDOWN; +cli; @34000;"
        "buttons=G-B-C,G-C-C,SHUTDOWN; label=DAEMON STILL RUNNING; !SHUTDOWN; starts=11000,34000; timers=WATCHER,P4P-END;"
        "colour=pink; @38000; buttons=");
    row("both image names empty: the first wait tick closes", "AUTO-STOP AUTO-START AUTO-CLOSE P-4-P",
        "set QT_EXE_TEXTBOX=; set DAEMON_EXE_TEXTBOX=; @24999; closed=0; @25000; closed=1; label=FINISHED - AUTOCLOSING");
    row("STOP while waiting; closes once neither process runs", "AUTO-STOP AUTO-START AUTO-CLOSE P-4-P",
        "@26500; label=DAEMON STILL RUNNING; !START-STOP; caption=START; buttons=G-B-C,G-C-C,SETTINGS,SHUTDOWN;"
        "boxes=AUTO-START,AUTO-STOP,AUTO-CLOSE,AUTO-GBC,AUTO-GCC; timers=P4P-END; -qt; @28000; closed=0;"
        "label=DAEMON STILL RUNNING; -d; @28999; closed=0; @29000; closed=1; ticked=AUTO-START,AUTO-STOP,AUTO-CLOSE,P-4-P");
    row("stop batch path with blanks; without Auto Close the cycle end repeats", "AUTO-STOP AUTO-START",
        "set CLI_STOP_BAT_FULL_LOCATION_TEXTBOX=/a user/My Node/CLI-UI-STOP.BAT; @11000; starts=11000; colour=green;"
        "last-start=/a user/My Node/CLI-UI-STOP.BAT; timers=WATCHER,UNLOAD; @24000; colour=pink; timers=WATCHER,UNLOAD;"
        "caption=STOP; @34000; timers=WATCHER,UNLOAD; starts=11000");
    row("stop batch file not started: reported, the other steps run", "AUTO-STOP AUTO-START",
        "set CLI_STOP_BAT_FULL_LOCATION_TEXTBOX=; @11000; starts=; reported=stop-batch-cycle; colour=green;"
        "timers=WATCHER,UNLOAD; !SHUTDOWN; reported=stop-batch-cycle,stop-batch-shutdown; timers=WATCHER,UNLOAD;"
        "colour=pink; failures=2");
    row("process list unreadable: not running, said once", "AUTO-STOP AUTO-START AUTO-CLOSE P-4-P",
        "+cli; process-list unreadable; @5000; label=CLI NOT RUNNING; reported=process-list; failures=1;"
        "process-list readable; @6000; label=CLI RUNNING; reported=; process-list unreadable; @25000; closed=1; failures=2");
    row("Auto Close, G: closed", "AUTO-GBC AUTO-START AUTO-CLOSE",
        "@20999; closed=0; timers=WATCHER,UNLOAD,LOOP; @21000; closed=1; colour=red; remaining=0; timers=UNLOAD");
    row("Auto Close, STOP: closed", "AUTO-STOP AUTO-START AUTO-CLOSE",
        "@23999; closed=0; @24000; closed=1; colour=red; timers=UNLOAD");
    row("Auto Close, P-4-P, G: waiting and counting", "AUTO-GBC AUTO-START AUTO-CLOSE P-4-P",
        "@21000; timers=COUNTDOWN,LOOP,P4P-END; colour=pink; caption=STOP; @26000; closed=0; label=DAEMON STILL RUNNING");
    row("P-4-P, C: counting", "AUTO-GCC AUTO-START P-4-P",
        "@21000; timers=COUNTDOWN,WATCHER,LOOP; colour=yellow; caption=STOP");
    row("G and C: fired, then counting", "AUTO-GBC AUTO-GCC AUTO-START",
        "@11000; timers=WATCHER,GBC,GCC,UNLOAD,LOOP; colour=cyan; @21000; timers=COUNTDOWN,WATCHER,LOOP; colour=yellow");
    for (const QString setup : {"AUTO-GBC", "AUTO-GCC AUTO-CLOSE", "AUTO-GBC AUTO-GCC AUTO-CLOSE P-4-P", "AUTO-STOP",
                                "AUTO-STOP AUTO-CLOSE P-4-P"})
        row("auto-start is START: " + setup, setup + " AUTO-START", "like-by-hand; @1000; like-by-hand");
    for (const QString setup : {"AUTO-STOP AUTO-START AUTO-CLOSE", "AUTO-STOP AUTO-START AUTO-CLOSE P-4-P"}) // the cycle end closes; the wait closes
        row("settings window open, closed from a tick: " + setup, setup,
            "-qt; -d; @15000; !START-STOP; open SETTINGS; settings-window=open; @40000; closed=1; settings-window=closed; saved=;"
            "colour=" + QString(setup.contains("P-4-P") ? "green" : "red"));
    row("what a screen reader hears of the cycle", "AUTO-STOP AUTO-START AUTO-CLOSE P-4-P",
        "said=counting down; @11000; said=stop command sent; @24000; said=waiting for the wallet and the daemon to exit;"
        "@25000; qt-said=running; -qt; @26000; qt-said=not running; -d; @27000; said=finished, closing; closed=1");
    row("what a screen reader hears: START, STOP, the next cycle", "AUTO-GBC",
        "said=stopped; !START-STOP; said=counting down; !START-STOP; said=stopped; !START-STOP; @11000; said=cycle fired;"
        "@21000; said=counting down");
    row("what a screen reader hears: closing", "AUTO-GBC AUTO-START AUTO-CLOSE", "@21000; said=closing; closed=1");
    row("the display rule", "", "countdown-text 10=10 1=01 0=00 -1=01 -59=59 -60=00 -61=01 61=01 -2147483648=08");
    // clang-format on
}

void TestAutomation::scripts() {
    QFETCH(QString, setup);
    QFETCH(QString, script);
    TestRig rig;
    start(rig, setup);
    ScriptRunner runner(rig);
    addFields(runner, rig);
    addSteps(runner, rig, setup);
    TW_RUN_SCRIPT(runner, script);
}

QTEST_MAIN(TestAutomation)
#include "tst_automation.moc"
