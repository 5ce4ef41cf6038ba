// The automation: START/STOP and the countdown, the process watcher,
// SHUTDOWN, the cycle end, the wait before exit and closing from a tick.
//
// Most cases run on virtual time over the fake platform as scripts, one row
// each, read by run() below. A script is a list of steps separated by ';':
//   @T           move virtual time on to T ms after the start
//   !NAME        click that button or tick box
//   +name -name  that process starts / ends; +? -? the process list becomes
//                unreadable / readable again
//   set NAME=x   put text x into that text box
//   #N=SS        the countdown shows SS for a count of N
//   ~SETUP       the state equals that of a window opened with SETUP whose
//                Auto Start (and further tick boxes of SETUP) were clicked
//                and START pressed at the start
//   settings     open the settings window; the rest runs while it is open
//   key=value    expect that value now; the keys are those of state().
// The setup letters name the tick boxes stored ticked (G-B-C, G-C-C, STOP,
// Auto Start, auto-close X, P-4-P); R keeps the poll's own query cycles,
// otherwise a query answers at once. The client is "cli", the wallet "qt"
// and the daemon "d"; the wallet and the daemon run.
//
// The cases over real processes (the process check on this machine's /proc,
// the real program against the demo node) are in tst_automation_posix.cpp.

#include "app/Colours.h"
#include "automation/Automation.h"
#include "tests/support/TestRig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

using tw::automation::Automation;
using tw::test::TestRig;

namespace {

const QMap<QChar, QString> Boxes{{'G', "CLI_GBC_BAT_TICKBOX"},     {'C', "CLI_GCC_BAT_TICKBOX"},
                                 {'S', "CLI_STOP_BAT_TICKBOX"},    {'A', "AUTOSTART_TICKBOX"},
                                 {'X', "AUTOCLOSE_TIMER_TICKBOX"}, {'P', "P4P_TICKBOX"}};

QString colourName(const QColor& colour) {
    using namespace tw::app::colour;
    const auto i = QList<QColor>{Pink, Yellow, Cyan, Red, Green, Black}.indexOf(colour);
    return i < 0 ? colour.name() : QString("pink yellow cyan red green black").split(' ')[i];
}

// What the window shows and what the program did, as "key=value" entries:
// tm lists the letters of the timers that are on (in the order below), btn
// the enabled states of four buttons, box and ticks those of the tick boxes
// G C S A X (P), saved the text boxes written to the store, starts when
// batch files were started.
QStringList state(TestRig& rig) {
    auto& w = rig.window();
    QString on, letters = "CWBNULP", enabled, ticked, reported;
    for (auto* timer :
         {w.COUNTDOWN_TIMER, w.CLI_PROCESS_WATCHER_TIMER, w.GETBLOCKCOUNT_COMMAND_TIMER,
          w.GETCONNECTIONCOUNT_COMMAND_TIMER, w.UNLOAD_TIMER, w.GET_LOOP_TIMER, w.P4P_END_TIMER}) {
        on += timer->isEnabled() ? letters.left(1) : QString();
        letters.remove(0, 1);
    }
    for (const QAbstractButton* button : QList<QAbstractButton*>{
             w.SETTINGS_BUTTON, w.GETBLOCKCOUNT_BUTTON, w.GETCONNECTIONCOUNT_BUTTON,
             w.SHUTDOWN_BUTTON, w.CLI_GBC_BAT_TICKBOX, w.CLI_GCC_BAT_TICKBOX,
             w.CLI_STOP_BAT_TICKBOX, w.AUTOSTART_TICKBOX, w.AUTOCLOSE_TIMER_TICKBOX,
             w.P4P_TICKBOX}) {
        enabled += button->isEnabled() ? '1' : '0';
        ticked += button->isChecked() ? '1' : '0';
    }
    QStringList starts;
    for (const auto& start : rig.starter.starts)
        starts << QString::number(start.at);
    for (const QString& key : {Automation::ProcessListFailure, Automation::CycleStopBatchFailure,
                               Automation::ShutdownStopBatchFailure})
        reported += rig.diagnostics.isReported(key) ? key + ' ' : QString();
    return QString("cap=%1|disp=%2|col=%3|lbl=%4|lc=%5|tm=%6|btn=%7|box=%8|ticks=%9|rem=%10|"
                   "starts=%11|path=%12|closed=%13|saved=%14|dlg=%15|rep=%16|fails=%17")
        .arg(w.START_STOP_BUTTON->text(), w.AUTORUN_TIMER_TEXTBOX->text(),
             colourName(rig.colour("AUTORUN_TIMER_TEXTBOX")),
             w.PROCESS_ACTIVE_LABEL->text().mid(4).chopped(4) /* no "!!!"s */,
             colourName(rig.colour("PROCESS_ACTIVE_LABEL")), on, enabled.left(4), enabled.mid(4, 5),
             ticked.mid(4), QString::number(w.COUNTDOWN_REMAINING), starts.join(','),
             starts.isEmpty() ? "" : rig.starter.starts.last().text,
             QString::number(rig.settings.writtenKeys.count("MainLeft")),
             rig.settings.writtenKeys.filter("_TEXTBOX").join(','),
             QString::number(w.openSettingsWindow() && w.openSettingsWindow()->isVisible()),
             reported.trimmed(), QString::number(rig.diagnostics.failureCount()))
        .split('|');
}

tw::app::MainWindow& start(TestRig& rig, const QString& setup) {
    for (QChar letter : setup)
        if (Boxes.contains(letter))
            rig.store(Boxes[letter], "1");
    for (const QString name : {"CLI_STOP_BAT_FULL_LOCATION=/n/CLI-UI-STOP.BAT", "CLI_NAME=cli",
                               "QT_EXE=qt", "DAEMON_EXE=d"})
        rig.store(name.section('=', 0, 0) + "_TEXTBOX", name.section('=', 1));
    rig.processes.running = {{"qt", 1}, {"d", 1}};
    auto& w = rig.start();
    if (!setup.contains('R'))
        for (auto* timer : {w.GETBLOCKCOUNT_COMMAND_TIMER, w.GETCONNECTIONCOUNT_COMMAND_TIMER})
            timer->setHandler([timer] { timer->setEnabled(false); });
    return w;
}

void run(TestRig& rig, const QString& script) {
    const QStringList steps = script.split(';');
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QString step = steps[i].trimmed(), rest = step.mid(1);
        if (step.startsWith('@')) {
            rig.advance(rest.toLongLong() - rig.clock.now());
        } else if (step == "settings") {
            // The rest of the script runs while the modal settings window is
            // open; should it stay open, it is closed so that the test ends.
            QTimer::singleShot(0, &rig.window(), [&rig, rest = steps.mid(i + 1).join(';')] {
                run(rig, rest);
                if (QWidget* modal = QApplication::activeModalWidget())
                    modal->close();
            });
            rig.window().SETTINGS_BUTTON->click();
            return;
        } else if (step.startsWith('~')) {
            // The same tick boxes clicked by hand and START pressed at the
            // start leave the same state as the load's auto-start.
            TestRig other;
            start(other, QString(rest).remove('X').remove('P'));
            for (QChar letter : "A" + QString(rest).remove('G').remove('C').remove('S'))
                other.tick(Boxes[letter])->click();
            other.window().START_STOP_BUTTON->click();
            other.advance(rig.clock.now());
            QCOMPARE(state(other), state(rig));
        } else if (step.startsWith('!')) {
            QVERIFY2(rig.window().findChild<QAbstractButton*>(rest), qPrintable(step));
            rig.window().findChild<QAbstractButton*>(rest)->click();
        } else if (step.startsWith('+') || step.startsWith('-')) {
            if (rest == "?")
                rig.processes.unreadable = step.startsWith('+');
            else // a count of 0: not running
                rig.processes.running[rest] = step.startsWith('+');
        } else if (step.startsWith('#')) { // the display rule: #count=shown
            QCOMPARE(Automation::countdownText(step.section('=', 0, 0).mid(1).toLongLong()),
                     step.section('=', 1));
        } else if (step.startsWith("set ")) {
            rig.text(step.section('=', 0, 0).mid(4))->setText(step.section('=', 1));
        } else {
            const QStringList now = state(rig);
            QVERIFY2(now.contains(step),
                     qPrintable(step + " at " + QString::number(rig.clock.now()) +
                                " ms, not in: " + now.join("; ")));
        }
    }
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
    const auto row = [](const char* name, const char* setup, const QString& script) { QTest::newRow(name) << setup << script; };
    row("idle; START without a cycle tick box refuses", "",
        "@500; cap=START; tm=W; box=11100; !START_STOP_BUTTON; cap=START; tm=W; box=11100; @30000; disp=-- --; starts=");
    row("STOP while counting keeps the digits; START counts from 11", "G",
        "!START_STOP_BUTTON; cap=STOP; rem=11; btn=0000; box=00000; @5000; disp=06; !START_STOP_BUTTON; cap=START;"
        "btn=1111; box=11111; tm=W; @40000; disp=06; !START_STOP_BUTTON; @41000; disp=10; @51000; disp=-- --; tm=WBU");
    row("STOP after the firing; the cycle end re-arms and says STOP", "G",
        "!START_STOP_BUTTON; @13000; disp=-- --; !START_STOP_BUTTON; cap=START; tm=WU; @20999; cap=START; @21000;"
        "cap=STOP; col=pink; tm=CWL; btn=0000; box=00011; rem=0; @22000; disp=01; btn=0111");
    row("G, Auto Start: the next cycle shows 01 to 59 and fires on its 60th tick", "GA",
        "@11000; disp=-- --; col=cyan; tm=WBUL; @21000; tm=CWL; col=pink; @22000; disp=01; @50000; disp=29;"
        "@80000; disp=59; @81000; disp=-- --; rem=-60; @91000; tm=CWL; cap=STOP");
    row("a blocking query cycle delays the countdown", "CR",
        "!START_STOP_BUTTON; @3000; disp=08; !GETBLOCKCOUNT_BUTTON; @4000; disp=06; @16999; disp=01; @17000; disp=-- --");
    row("the watcher, also while counting", "G",
        "@500; lbl=NOT MONITORING; !START_STOP_BUTTON; btn=0000; @1000; lbl=CLI NOT RUNNING; lc=green; btn=0111;"
        "box=00000; +cli; @2000; lbl=CLI RUNNING; lc=red; btn=0000; -cli; @3000; btn=0111; tm=CWL");
    row("Auto Close, P-4-P, STOP: the wait; the watcher off until SHUTDOWN", "SAXP",
        "@11000; starts=11000; @24000; tm=P; col=pink; btn=0111; +cli; @34000; btn=0111; lbl=DAEMON STILL RUNNING;"
        "!SHUTDOWN_BUTTON; starts=11000,34000; tm=WP; col=pink; @38000; btn=0000");
    row("both image names empty: the first wait tick closes", "SAXP",
        "set QT_EXE_TEXTBOX=; set DAEMON_EXE_TEXTBOX=; @24999; closed=0; @25000; closed=1; lbl=FINISHED - AUTOCLOSING");
    row("STOP while waiting; closes once neither process runs", "SAXP",
        "@26500; lbl=DAEMON STILL RUNNING; !START_STOP_BUTTON; cap=START; btn=1111; box=11111; tm=P; -qt; @28000;"
        "closed=0; lbl=DAEMON STILL RUNNING; -d; @28999; closed=0; @29000; closed=1; ticks=001111");
    row("stop batch path with blanks; without Auto Close the cycle end repeats", "SA",
        "set CLI_STOP_BAT_FULL_LOCATION_TEXTBOX=/a user/My Node/CLI-UI-STOP.BAT; @11000; starts=11000; col=green;"
        "path=/a user/My Node/CLI-UI-STOP.BAT; tm=WU; @24000; col=pink; tm=WU; cap=STOP; @34000; tm=WU; starts=11000");
    row("stop batch file not started: reported, the other steps run", "SA",
        "set CLI_STOP_BAT_FULL_LOCATION_TEXTBOX=; @11000; starts=; rep=stop-batch-cycle; col=green; tm=WU;"
        "!SHUTDOWN_BUTTON; rep=stop-batch-cycle stop-batch-shutdown; tm=WU; col=pink; fails=2");
    row("process list unreadable: not running, said once", "SAXP",
        "+cli; +?; @5000; lbl=CLI NOT RUNNING; rep=process-list; fails=1; -?; @6000; lbl=CLI RUNNING; rep=; +?;"
        "@25000; closed=1; fails=2");
    row("Auto Close, G: closed", "GAX", "@20999; closed=0; tm=WUL; @21000; closed=1; col=red; rem=0; tm=U");
    row("Auto Close, STOP: closed", "SAX", "@23999; closed=0; @24000; closed=1; col=red; tm=U");
    row("Auto Close, P-4-P, G: waiting and counting", "GAXP",
        "@21000; tm=CLP; col=pink; cap=STOP; @26000; closed=0; lbl=DAEMON STILL RUNNING");
    row("P-4-P, C: counting", "CAP", "@21000; tm=CWL; col=yellow; cap=STOP");
    row("G and C: fired, then counting", "GCA", "@11000; tm=WBNUL; col=cyan; @21000; tm=CWL; col=yellow");
    for (const char* setup : {"G", "CX", "GCXP", "S", "SXP"})
        row(qPrintable(QString("auto-start is START: ") + setup), qPrintable(setup + QString("A")),
            QString("~%1; @1000; ~%1").arg(setup));
    for (const char* setup : {"SAX", "SAXP"}) // the cycle end closes; the wait closes
        row(qPrintable(QString("settings window open, closed from a tick: ") + setup), setup,
            QString("-qt; -d; @15000; !START_STOP_BUTTON; settings; dlg=1; @40000; closed=1; dlg=0; saved=; col=")
            + (QString(setup) == "SAX" ? "red" : "green"));
    row("the display rule", "", "#10=10; #1=01; #0=00; #-1=01; #-59=59; #-60=00; #-61=01; #61=01; #-2147483648=08");
    // clang-format on
}

void TestAutomation::scripts() {
    QFETCH(QString, setup);
    QFETCH(QString, script);
    TestRig rig;
    start(rig, setup);
    run(rig, script);
}

QTEST_MAIN(TestAutomation)
#include "tst_automation.moc"
