// The script runner itself: the steps every script has, the checks of named
// fields and what a failing step says.

#include "tests/support/ScriptRunner.h"

#include <QApplication>
#include <QTest>

using tw::test::ScriptRunner;
using tw::test::TestRig;

class TestScriptRunner : public QObject {
    Q_OBJECT

private slots:
    void scripts_data();
    void scripts();
    void stateInTheMessage();
};

namespace {

// A few fields over the rig and the window, a step of the test's own, and
// a count of the steps that acted.
struct Runner {
    explicit Runner(TestRig& rig) : runner(rig) {
        runner.addField("now", [&rig] { return QString::number(rig.clock.now()); });
        runner.addTextField("name", "CLI_NAME_TEXTBOX");
        runner.addTickedField("ticked", {"AUTO-GBC", "AUTO-GCC"});
        runner.addEnabledField("enabled", {"AUTO-START", "AUTO-STOP"});
        runner.addTimersField("timers", {"GBC", "LOOP"});
        runner.addField("cli",
                        [&rig] { return QString::number(rig.processes.running.value("cli")); });
        runner.addField("modal", [] {
            const QWidget* modal = QApplication::activeModalWidget();
            return modal ? modal->objectName() : QString();
        });
        runner.addField("actions", [this] { return QString::number(actions); });
        runner.addListField("noted", [this] { return noted; });
        runner.addStep("note", [this](const QString& text) { noted << text; });
        runner.afterEachAction = [this] { ++actions; };
    }
    ScriptRunner runner;
    int actions = 0;
    QStringList noted;
};

} // namespace

void TestScriptRunner::scripts_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("failure"); // its first line; empty: the script passes
    // clang-format off
    const auto row = [](const char* name, const char* script, const char* failure) { QTest::newRow(name) << script << failure; };
    row("checks that hold", "now=0; name=; ticked=; timers=; cli=0; modal=; noted=", "");
    row("a field that differs", "now=5", "step 1 of 1 \"now=5\" at 0 ms: now was \"0\", expected \"5\"");
    row("the first failing step ends the script", "@1000; now=999; @2000; now=2000",
        "step 2 of 4 \"now=999\" at 1000 ms: now was \"1000\", expected \"999\"");
    row("time in ms, seconds and minutes", "@1500; now=1500; @2s; now=2000; @3m; now=180000", "");
    row("minutes in the message", "@90m; now=0", "step 2 of 2 \"now=0\" at 5400000 ms (90 min): now was \"5400000\", expected \"0\"");
    row("time does not go back", "@2000; @1999", "step 2 of 2 \"@1999\" at 2000 ms: not a time to move on to");
    row("a time that is not a number", "@soon", "step 1 of 1 \"@soon\" at 0 ms: not a time to move on to");
    row("a step no one knows", "frobnicate", "step 1 of 1 \"frobnicate\" at 0 ms: no such step or field");
    row("a field no one knows", "colour=red", "step 1 of 1 \"colour=red\" at 0 ms: no such step or field");
    row("empty steps are skipped; blanks around steps too", " ; now=0 ;; ", "");
    row("a check's value may hold '=' and blanks", "set CLI_NAME_TEXTBOX=a = b; name=a = b", "");
    row("set text", "set CLI_NAME_TEXTBOX=cli; name=cli", "");
    row("set a text box that is not there", "set NO_SUCH_TEXTBOX=x", "step 1 of 1 \"set NO_SUCH_TEXTBOX=x\" at 0 ms: no text box NO_SUCH_TEXTBOX");
    row("tick and untick by short name; their click behaviour runs", "tick AUTO-GBC; ticked=AUTO-GBC; timers=LOOP; tick AUTO-GCC; untick AUTO-GBC;"
        "ticked=AUTO-GCC", "");
    row("tick a greyed box", "tick AUTO-GBC; tick AUTO-STOP", "");
    row("click by short name or by objectName", "!G-B-C; timers=GBC; @10000; timers=; !GETBLOCKCOUNT_BUTTON; timers=GBC", "");
    row("click a control that is not there", "!NO-SUCH", "step 1 of 1 \"!NO-SUCH\" at 0 ms: no button or tick box NO-SUCH");
    row("a program starts and ends", "+cli; cli=1; -cli; cli=0", "");
    row("the test's own steps, and what acted", "note a b; @100; noted=a b; note c; noted=a b,c; actions=2", "");
    row("open: the rest runs in the modal window", "open SETTINGS; modal=TW_CLI_UI_SETTINGS; note inside; noted=inside", "");
    row("open: a failing step inside", "open SETTINGS; modal=nothing",
        "step 2 of 2 \"modal=nothing\" at 0 ms: modal was \"TW_CLI_UI_SETTINGS\", expected \"nothing\"");
    row("open a button that opens no window", "open G-B-C; note after",
        "step 1 of 2 \"open G-B-C\" at 0 ms: G-B-C opened no modal window");
    // clang-format on
}

void TestScriptRunner::scripts() {
    QFETCH(QString, script);
    QFETCH(QString, failure);
    TestRig rig;
    rig.start();
    rig.leaveQueryButtonsToThePolls();
    Runner runner(rig);
    const bool passed = runner.runner.run(script);
    QCOMPARE(runner.runner.failure().section('\n', 0, 0), failure);
    QCOMPARE(passed, failure.isEmpty());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

// A failing step shows every field as it was then, one a line.
void TestScriptRunner::stateInTheMessage() {
    TestRig rig;
    rig.start();
    Runner runner(rig);
    QVERIFY(!runner.runner.run("set CLI_NAME_TEXTBOX=x\r\ny; +cli; @250; note z; now=1"));
    QCOMPARE(runner.runner.failure().section('\n', 1),
             "the state then:\n  now=250\n  name=x\\r\\ny\n  ticked=\n  enabled=AUTO-STOP\n"
             "  timers=\n  cli=1\n  modal=\n  actions=3\n  noted=z");
}

QTEST_MAIN(TestScriptRunner)
#include "tst_script_runner.moc"
