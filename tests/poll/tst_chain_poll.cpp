// The block-count and connection-count polls: the query cycles' timing and
// colours, the 60-second loop, the actions after a block-count query, the
// interlocks of Auto G-B-C and Auto G-C-C and what a failing step leaves.
//
// Most cases run on virtual time over the fake platform as scripts, one row
// each (tests/support/ScriptRunner.h has the steps every script knows).
// Further steps, where Q is GBC or GCC (a query is named by its batch file):
//   answer TEXT      from now on the client answers TEXT into the log (\r, \n
//                    escaped); empty-log: an empty log; no-log: no log at all
//   old-log Q=TEXT   the log holds TEXT from an earlier run, as it was before
//                    the first cycle (escaped as above)
//   missing Q        that batch file goes missing
//   never-ends Q     that batch file's client never ends by itself
//   extra-line Q     that batch file holds a further line, which is not run
//   external-unwritable   the external file cannot be written
//   mend             all works again; the client answers 5
//   close-in-wait-at T    the panel closes during the wait that starts at T ms
//   grey NAME        grey that tick box
// The setup names the tick boxes stored ticked. The paths name a working
// folder with a blank; the client answers "840123\r\n".
//
// The cases over the real platform (real logs, a real external file, the
// demo node) are in tst_chain_poll_posix.cpp.

#include "poll/ChainPoll.h"
#include "tests/support/ScriptRunner.h"

#include <QTest>

namespace failure = tw::poll::failure;
using tw::test::ScriptRunner;

namespace {

const QString Folder = "/work dir/", External = "/srv/height.txt", Command = "notify --now";

QString batch(const QString& query) {
    return Folder + "CLI-UI-" + query + ".BAT";
}

struct Rig : tw::test::TestRig {
    QByteArray answer = "840123\r\n"; // what the client writes into the log
    bool writesLog = true;
    QStringList waits;   // "start+length colour" of each wait, the running query's box
    qint64 closeAt = -1; // the panel closes during the wait that starts then
};

// What the window shows and what the program did: the status boxes, the
// query timers and the loop, when the loop ticks next, runs "at name" of
// what was started, the external file and how often files were written, the
// failures reported and the controls whose tooltip shows one, the tick boxes,
// whether two waits overlapped, finished "at name" of each batch the cycles
// finished, the batch files whose client still runs, and how often the
// queries' clients were all ended.
void addFields(ScriptRunner& runner, Rig& rig) {
    const auto& w = rig.window();
    runner.addTextField("block", "CURRENT_BLOCK_TEXTBOX");
    runner.addColourField("block-colour", "CURRENT_BLOCK_TEXTBOX");
    runner.addTextField("connections", "CONNECTIONS_TEXTBOX");
    runner.addColourField("connections-colour", "CONNECTIONS_TEXTBOX");
    runner.addTimersField("timers", {"GBC", "GCC", "LOOP"});
    runner.addField("loop-due", [&w] {
        const qint64 due = w.GET_LOOP_TIMER->dueAt();
        return due < 0 ? QString("none") : QString::number(due);
    });
    runner.addListField("runs", [&rig] {
        QStringList runs;
        for (const auto& start : rig.starter.starts)
            runs << QString::number(start.at) + " " + start.text.section('/', -1);
        return runs;
    });
    runner.addField("external", [&rig] {
        return ScriptRunner::escaped(QString::fromLatin1(rig.files.files.value(External)));
    });
    runner.addField("writes", [&rig] { return QString::number(rig.files.writes.size()); });
    runner.addReportedField("reported",
                            {failure::GbcBatch, failure::GbcLog, failure::GbcExternalFile,
                             failure::GbcCommand, failure::GbcEnded, failure::GccBatch,
                             failure::GccLog, failure::GccEnded});
    runner.addListField("tips", [&w] {
        QStringList tips;
        for (const QWidget* widget : w.findChildren<QWidget*>())
            if (widget->toolTip().contains("Last failure"))
                tips << widget->objectName();
        return tips;
    });
    runner.addField("failures", [&rig] { return QString::number(rig.diagnostics.failureCount()); });
    const QStringList boxes{"AUTO-START", "AUTO-STOP", "AUTO-CLOSE",
                            "AUTO-GBC",   "AUTO-GCC",  "P-4-P"};
    runner.addEnabledField("boxes", boxes);
    runner.addTickedField("ticked", boxes);
    runner.addField("overlap", [&rig] {
        const auto& waits = rig.clock.waits;
        for (qsizetype i = 1; i < waits.size(); ++i)
            if (waits[i].first < waits[i - 1].first + waits[i - 1].second)
                return "yes";
        return "no";
    });
    runner.addField("waits", [&rig] { return rig.waits.join(','); });
    runner.addListField("finished", [&rig] {
        QStringList finished;
        for (const auto& finish : rig.starter.finishes)
            finished << QString::number(finish.at) + " " + finish.path.section('/', -1);
        return finished;
    });
    runner.addListField("still-running", [&rig] {
        QStringList live;
        for (const QString& path : rig.starter.running())
            live << path.section('/', -1);
        return live;
    });
    runner.addField("ended-all", [&rig] { return QString::number(rig.starter.endQueriesCalls); });
    // What a screen reader says of the boxes' state, besides their names and values.
    runner.addField("block-said",
                    [&w] { return w.CURRENT_BLOCK_TEXTBOX->accessibleDescription(); });
    runner.addField("connections-said",
                    [&w] { return w.CONNECTIONS_TEXTBOX->accessibleDescription(); });
}

void addSteps(ScriptRunner& runner, Rig& rig) {
    runner.addStep("answer", [&rig](const QString& text) {
        rig.answer = ScriptRunner::unescaped(text).toLatin1();
        rig.writesLog = true;
    });
    runner.addStep("empty-log", [&rig](const QString&) {
        rig.answer.clear();
        rig.writesLog = true;
    });
    runner.addStep("no-log", [&rig](const QString&) { rig.writesLog = false; });
    runner.addStep("old-log", [&rig](const QString& log) {
        rig.files.files.insert(Folder + "CLI-UI-" + log.section('=', 0, 0) + ".LOG",
                               ScriptRunner::unescaped(log.section('=', 1)).toLatin1());
    });
    runner.addStep("missing",
                   [&rig](const QString& query) { rig.starter.missing << batch(query); });
    runner.addStep("never-ends",
                   [&rig](const QString& query) { rig.starter.stillRunning << batch(query); });
    runner.addStep("extra-line", [&rig](const QString& query) {
        rig.starter.skipped.insert(batch(query), "1 further line not run");
    });
    runner.addStep("external-unwritable",
                   [&rig](const QString&) { rig.files.unwritable << External; });
    runner.addStep("close-in-wait-at",
                   [&rig](const QString& at) { rig.closeAt = at.toLongLong(); });
    runner.addStep("grey", [&rig](const QString& name) {
        rig.tick(ScriptRunner::objectName(name))->setEnabled(false);
    });
    runner.addStep("mend", [&rig](const QString&) {
        rig.starter.missing.clear();
        rig.starter.stillRunning.clear();
        rig.starter.skipped.clear();
        rig.files.unwritable.clear();
        rig.writesLog = true;
        rig.answer = "5\r\n";
        rig.text("RUN_COMMAND_TEXTBOX")->setText(Command);
    });
}

void start(Rig& rig, const QString& setup) {
    for (const QString path : {"GBC_FULL_BAT", "GBC_FULL_LOG", "GCC_FULL_BAT", "GCC_FULL_LOG"})
        rig.store("CLI_" + path + "_LOCATION_TEXTBOX",
                  Folder + "CLI-UI-" + path.left(3) + "." + path.right(3));
    rig.store("UPDATE_EXTERNAL_FILE_TEXTBOX", External);
    rig.store("RUN_COMMAND_TEXTBOX", Command);
    if (const QStringList others = ScriptRunner::storeTicked(rig, setup); !others.isEmpty())
        qFatal("no tick box %s", qPrintable(others.join(' ')));
    rig.starter.onBatch = [&rig](const QString& path) {
        if (rig.writesLog)
            rig.files.put(path.chopped(3) + "LOG", rig.answer);
    };
    auto& w = rig.start();
    rig.clock.onWait = [&rig, &w](qint64 at, int ms) { // the running query's box
        const bool gbc = w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled();
        const QColor colour = rig.colour(gbc ? "CURRENT_BLOCK_TEXTBOX" : "CONNECTIONS_TEXTBOX");
        rig.waits << QString("%1+%2 ").arg(at).arg(ms) + ScriptRunner::colourName(colour);
        if (at == rig.closeAt)
            w.close();
    };
    rig.leaveQueryButtonsToThePolls();
}

} // namespace

class TestChainPoll : public QObject {
    Q_OBJECT

private slots:
    void scripts_data();
    void scripts();
    void clientsOwnWords_data();
    void clientsOwnWords();
};

void TestChainPoll::scripts_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("script");
    const QString none = tw::poll::ChainPoll::NoValue,
                  ok = "; mend; !G-B-C; @20000; reported=; tips=; failures=1";
    // clang-format off
    const auto row = [](const char* name, const char* setup, const QString& script) { QTest::newRow(name) << setup << script; };
    row("block-count cycle: timing, colours, the log shown exactly", "",
        "!G-B-C; block-colour=pink; timers=GBC; @999; runs=; @1000; runs=2000 CLI-UI-GBC.BAT; block=840123\\r\\n; block-colour=black;"
        "timers=; waits=1000+1000 pink,2000+3000 pink,5000+1000 yellow,6000+1000 window,7000+1000 black;"
        "finished=6000 CLI-UI-GBC.BAT; reported=; ended-all=0");
    row("connection-count cycle", "",
        "answer 8\\n; !G-C-C; connections-colour=pink; timers=GCC; @999; runs=; @1000; runs=2000 CLI-UI-GCC.BAT; connections=8\\n;"
        "connections-colour=black; timers=; waits=1000+1000 pink,2000+3000 pink,5000+1000 yellow,6000+1000 black;"
        "finished=6000 CLI-UI-GCC.BAT");
    row("both actions after every cycle, also for the same value; a new value replaces the file", "RUN-COMMAND EXTERNAL-FILE",
        "!G-B-C; @10000; !G-B-C; @20000; external=840123\\r\\n\\r\\n; writes=2; failures=0; answer 8; !G-B-C; @30000; external=8\\r\\n;"
        "runs=2000 CLI-UI-GBC.BAT,7000 notify --now,12000 CLI-UI-GBC.BAT,17000 notify --now,22000 CLI-UI-GBC.BAT,27000 notify --now");
    row("neither action: no file, no command", "", "!G-B-C; @10000; writes=0; runs=2000 CLI-UI-GBC.BAT");
    row("one loop tick asks for both, one after the other", "AUTO-GBC AUTO-GCC",
        "@59999; block-colour=black; @60000; block-colour=pink; connections-colour=pink; @90000;"
        "runs=62000 CLI-UI-GBC.BAT,69000 CLI-UI-GCC.BAT; overlap=no");
    row("both clicked at once", "", "!G-C-C; !G-B-C; @20000; runs=2000 CLI-UI-GBC.BAT,9000 CLI-UI-GCC.BAT; overlap=no");
    row("G-B-C clicked again while requested: one cycle", "", "!G-B-C; @600; !G-B-C; @20000; runs=2000 CLI-UI-GBC.BAT");
    row("Auto G-B-C ticked, the loop stopped: the first query 61 s later", "",
        "@5000; timers=; tick AUTO-GBC; timers=LOOP; @64999; block-colour=black; @65000; block-colour=pink; @90000;"
        "runs=67000 CLI-UI-GBC.BAT");
    // The interlocks: what the loop does, which tick boxes are enabled and which ticked.
    const QString ticked = "tick AUTO-START; tick AUTO-CLOSE; tick P-4-P; ";
    row("tick G-B-C, G-C-C clear", "",
        "@10000; tick AUTO-GBC; loop-due=70000; boxes=AUTO-START,AUTO-GBC,AUTO-GCC; ticked=AUTO-GBC");
    row("tick G-B-C, G-C-C ticked", "", "tick AUTO-GCC; " + ticked + "@10000; tick AUTO-GBC; loop-due=60000;"
        "boxes=AUTO-START,AUTO-CLOSE,AUTO-GBC,AUTO-GCC,P-4-P; ticked=AUTO-START,AUTO-CLOSE,AUTO-GBC,AUTO-GCC,P-4-P");
    row("untick G-B-C, G-C-C clear", "", "tick AUTO-GBC; " + ticked + "grey AUTO-GCC; @10000; untick AUTO-GBC; loop-due=none;"
        "boxes=AUTO-STOP,AUTO-GBC,AUTO-GCC; ticked=P-4-P");
    row("untick G-B-C, G-C-C and Auto Start clear", "",
        "tick AUTO-GBC; @10000; untick AUTO-GBC; loop-due=none; boxes=AUTO-STOP,AUTO-GBC,AUTO-GCC; ticked=");
    row("untick G-B-C, G-C-C ticked", "", "tick AUTO-GBC; tick AUTO-GCC; " + ticked + "@10000; untick AUTO-GBC; loop-due=60000;"
        "boxes=AUTO-START,AUTO-GBC,AUTO-GCC; ticked=AUTO-GCC,P-4-P");
    row("tick G-C-C, G-B-C clear", "",
        "@10000; tick AUTO-GCC; loop-due=70000; boxes=AUTO-START,AUTO-GBC,AUTO-GCC; ticked=AUTO-GCC");
    row("tick G-C-C, G-B-C ticked", "", "tick AUTO-GBC; " + ticked + "@10000; tick AUTO-GCC; loop-due=60000;"
        "boxes=AUTO-START,AUTO-CLOSE,AUTO-GBC,AUTO-GCC,P-4-P; ticked=AUTO-START,AUTO-CLOSE,AUTO-GBC,AUTO-GCC,P-4-P");
    row("untick G-C-C, G-B-C clear: G-B-C offered", "", "tick AUTO-GCC; " + ticked + "grey AUTO-GBC; @10000; untick AUTO-GCC;"
        "loop-due=none; boxes=AUTO-STOP,AUTO-GBC,AUTO-GCC; ticked=P-4-P");
    row("untick G-C-C, G-B-C and Auto Start clear", "",
        "tick AUTO-GCC; @10000; untick AUTO-GCC; loop-due=none; boxes=AUTO-STOP,AUTO-GBC,AUTO-GCC; ticked=");
    row("untick G-C-C, G-B-C ticked", "", "tick AUTO-GBC; tick AUTO-GCC; " + ticked + "@10000; untick AUTO-GCC; loop-due=60000;"
        "boxes=AUTO-START,AUTO-GBC,AUTO-GCC; ticked=AUTO-GBC,P-4-P");
    row("what a screen reader hears of the boxes", "",
        "!G-B-C; block-said=query requested; @10000; block-said=; missing GBC; !G-B-C; @20000; block-said=failed: batch file missing: /work dir/CLI-UI-GBC.BAT;"
        "no-log; !G-C-C; connections-said=query requested; @30000;"
        "connections-said=failed: log file missing: /work dir/CLI-UI-GCC.LOG; mend; tick AUTO-GCC; @89500; !G-B-C;"
        "block-said=query requested; @90000; block-colour=black; block-said=; connections-said=query requested");
    // Failing steps: reported, the cycle ends as ever, the next one clears the report.
    const char* both = "RUN-COMMAND EXTERNAL-FILE";
    row("batch file missing", both, "missing GBC; !G-B-C; @10000; block=" + none + "; block-colour=black; timers=;"
        "reported=gbc-batch; tips=GETBLOCKCOUNT_BUTTON; writes=0; finished=" + ok);
    row("log missing", both, "no-log; !G-B-C; @10000; block=" + none + "; block-colour=black; timers=; reported=gbc-log;"
        "tips=CURRENT_BLOCK_TEXTBOX; writes=0" + ok);
    row("log empty", both, "empty-log; !G-B-C; @10000; block=" + none + "; block-colour=black; timers=; reported=gbc-log;"
        "writes=0" + ok);
    row("log of 40000 bytes: its first 32767 shown", both, "answer " + QString(40000, '7') + "; !G-B-C; @10000; block=" +
        QString(32767, '7') + "; block-colour=black; timers=; reported=gbc-log; writes=1" + ok);
    row("external file not writable", both, "external-unwritable; !G-B-C; @10000; block-colour=black; timers=;"
        "reported=gbc-external-file; tips=UPDATE_EXTERNAL_FILE_TEXTBOX; writes=0; runs=2000 CLI-UI-GBC.BAT,7000 notify --now" + ok);
    row("user command empty", both, "set RUN_COMMAND_TEXTBOX=; !G-B-C; @10000; block-colour=black; timers=; reported=gbc-command;"
        "tips=RUN_COMMAND_TEXTBOX; writes=1; runs=2000 CLI-UI-GBC.BAT" + ok);
    row("log of an earlier run, not written by the client", both, "old-log GBC=777; no-log; !G-B-C; @10000; block=" + none +
        "; block-colour=black; timers=; reported=gbc-log; tips=CURRENT_BLOCK_TEXTBOX; writes=0; runs=2000 CLI-UI-GBC.BAT" + ok);
    row("log of the last cycle, not written by the client", both, "!G-B-C; @10000; block=840123\\r\\n; writes=1; no-log; !G-B-C;"
        "@20000; block=" + none + "; reported=gbc-log; writes=1; runs=2000 CLI-UI-GBC.BAT,7000 notify --now,12000 CLI-UI-GBC.BAT;"
        "mend; !G-B-C; @30000; block=5\\r\\n; reported=; failures=1");
    row("log of an earlier run, the same answer written again", both, "old-log GBC=840123\\r\\n; !G-B-C; @10000;"
        "block=840123\\r\\n; reported=; writes=1; runs=2000 CLI-UI-GBC.BAT,7000 notify --now");
    row("G-C-C log of an earlier run, not written by the client", "", "old-log GCC=8; no-log; !G-C-C; @10000; connections=" +
        none + "; connections-colour=black; timers=; reported=gcc-log; tips=CONNECTIONS_TEXTBOX");
    row("G-C-C batch file missing", both, "missing GCC; !G-C-C; @10000; connections=" + none + "; connections-colour=black;"
        "timers=; reported=gcc-batch; tips=GETCONNECTIONCOUNT_BUTTON; mend; !G-C-C; @20000; reported=; failures=1");
    // A client still running when its log has been read: ended right after the read, said once
    // on the query's box; the cycle's timing, colours and answer as ever.
    row("block-count client still running at the read: ended, said once", both,
        "never-ends GBC; !G-B-C; @10000; finished=6000 CLI-UI-GBC.BAT; still-running=; reported=gbc-ended;"
        "tips=CURRENT_BLOCK_TEXTBOX; failures=1; block=840123\\r\\n; writes=1;"
        "waits=1000+1000 pink,2000+3000 pink,5000+1000 yellow,6000+1000 window,7000+1000 black; !G-B-C; @20000;"
        "finished=6000 CLI-UI-GBC.BAT,16000 CLI-UI-GBC.BAT; failures=1; reported=gbc-ended; mend; !G-B-C; @30000; reported=;"
        "tips=; failures=1");
    row("connection-count client still running at the read", both,
        "never-ends GCC; !G-C-C; @10000; finished=6000 CLI-UI-GCC.BAT; still-running=; reported=gcc-ended;"
        "tips=CONNECTIONS_TEXTBOX; connections=840123\\r\\n; mend; !G-C-C; @20000; reported=; failures=1");
    row("a further line in the batch file: reported, the first line's answer used", both,
        "extra-line GBC; !G-B-C; @10000; block=840123\\r\\n; reported=gbc-batch; tips=GETBLOCKCOUNT_BUTTON; writes=1" + ok);
    row("the panel closes during a cycle: the queries' clients are ended", "",
        "never-ends GBC; close-in-wait-at 2000; !G-B-C; @10000; ended-all=1; still-running=; finished=6000 CLI-UI-GBC.BAT;"
        "reported=; failures=0");
    row("G-C-C log empty", both, "empty-log; !G-C-C; @10000; connections=" + none + "; connections-colour=black; timers=;"
        "reported=gcc-log; tips=CONNECTIONS_TEXTBOX; mend; !G-C-C; @20000; reported=; failures=1");
    // clang-format on
}

void TestChainPoll::scripts() {
    QFETCH(QString, setup);
    QFETCH(QString, script);
    Rig rig;
    start(rig, setup);
    ScriptRunner runner(rig);
    addFields(runner, rig);
    addSteps(runner, rig);
    TW_RUN_SCRIPT(runner, script);
}

// A failing query says why in the client's own words: its exit status and
// the start of its error output, on the box's tooltip, in the diagnostics
// and in the reason the cycle gives its followers (the tray, the history).
void TestChainPoll::clientsOwnWords_data() {
    QTest::addColumn<QByteArray>("log");  // what the client writes into the log; "-": nothing
    QTest::addColumn<int>("status");      // its exit status; -1: ended by a signal
    QTest::addColumn<QByteArray>("said"); // on its error output
    QTest::addColumn<QString>("shown");   // the box's tooltip after "Last failure: "; empty: none
    QTest::addColumn<QString>("reason");  // what queryFailed says; empty: answered
    const QString log = Folder + "CLI-UI-GBC.LOG";
    const QByteArray refused =
        "error: Could not connect to the server 127.0.0.1:8332\n\n"
        "Make sure the bitcoind server is running and that you are connecting to the "
        "correct RPC port.\n";
    const QString refusedOneLine =
        "error: Could not connect to the server 127.0.0.1:8332 Make sure the bitcoind "
        "server is running and that you are connecting to the correct RPC port.";
    QTest::newRow("cannot connect")
        << QByteArray("-") << 1 << refused
        << "Block-count query failed: the client exited with status 1 and said \"" +
               refusedOneLine + "\"; log file " + log +
               " not updated by the query (the client did not write it; it holds an earlier answer)"
        << "the client exited with status 1 and said \"" + refusedOneLine + "\"";
    QTest::newRow("wrong password: status, no words")
        << QByteArray("") << 1 << QByteArray()
        << "Block-count query failed: the client exited with status 1; log file " + log +
               " is empty (the client wrote no answer)"
        << "the client exited with status 1";
    QTest::newRow("warming up: the node's code -28")
        << QByteArray("") << 28
        << QByteArray("error code: -28\nerror message:\nLoading block index...\n")
        << "Block-count query failed: the client exited with status 28 and said \"error code: -28 "
           "error "
           "message: Loading block index...\"; log file " +
               log + " is empty (the client wrote no answer)"
        << "the client exited with status 28 and said \"error code: -28 error message: Loading "
           "block index...\"";
    QTest::newRow("an answer, but a non-zero exit: shown, and reported")
        << QByteArray("840123\r\n") << 3 << QByteArray("warning: deprecated option\n")
        << "Block-count query failed: the client exited with status 3 and said \"warning: "
           "deprecated option\""
        << "";
    QTest::newRow("not a number, with the client's words")
        << QByteArray("Usage: bitcoin-cli [options] <command>\n") << 0
        << QByteArray("error: too few parameters\n")
        << "Block-count query failed: the answer is not a number: \"Usage: bitcoin-cli [options] "
           "<command>\"; the "
           "client said \"error: too few parameters\""
        << "";
    QTest::newRow("a long error output is cut for the message")
        << QByteArray("") << 1 << QByteArray(3000, 'x')
        << "Block-count query failed: the client exited with status 1 and said \"" +
               QString(400, 'x') + "...\"; log file " + log +
               " is empty (the client wrote no answer)"
        << "the client exited with status 1 and said \"" + QString(400, 'x') + "...\"";
    QTest::newRow("a good answer, nothing said: no report")
        << QByteArray("5\n") << 0 << QByteArray() << ""
        << "";
    QTest::newRow("killed by a signal (not by the panel)")
        << QByteArray("") << -1 << QByteArray()
        << "Block-count query failed: the client died of SIGSEGV; log file " + log +
               " is empty (the client wrote no answer)"
        << "the client died of SIGSEGV";
}

void TestChainPoll::clientsOwnWords() {
    QFETCH(QByteArray, log);
    QFETCH(int, status);
    QFETCH(QByteArray, said);
    QFETCH(QString, shown);
    QFETCH(QString, reason);
    Rig rig;
    rig.writesLog = log != "-";
    rig.answer = log;
    // The cannot-connect row's log holds an old answer the client never replaced.
    if (!rig.writesLog)
        rig.files.put(Folder + "CLI-UI-GBC.LOG", "1\r\n");
    tw::platform::BatchEnd end;
    if (status >= 0)
        end.exitStatus = status;
    else
        end.signal = "SIGSEGV";
    end.errorOutput = said;
    rig.starter.outcomes.insert(batch("GBC"), end);
    start(rig, "");
    QStringList failed;
    QObject::connect(&rig.poll(), &tw::poll::ChainPoll::queryFailed, &rig.poll(),
                     [&failed](bool, const QString& why) { failed << why; });
    QTest::mouseClick(rig.button("GETBLOCKCOUNT_BUTTON"), Qt::LeftButton);
    rig.clock.advance(10000);
    const QString tip = rig.text("CURRENT_BLOCK_TEXTBOX")->toolTip();
    if (shown.isEmpty())
        QVERIFY2(!tip.contains("Last failure"), qPrintable(tip));
    else
        QVERIFY2(tip.contains("Last failure: " + shown), qPrintable(tip));
    QCOMPARE(failed, reason.isEmpty() ? QStringList() : QStringList{reason});
}

QTEST_MAIN(TestChainPoll)
#include "tst_chain_poll.moc"
