// The block-count and connection-count polls: the query cycles' timing and
// colours, the 60-second loop, the actions after a block-count query, the
// interlocks of Auto G-B-C and Auto G-C-C and what a failing step leaves.
//
// Most cases run on virtual time over the fake platform as scripts, one row
// each, read by run() below. A script is a list of steps separated by ';':
//   @T           move virtual time on to T ms after the start
//   !GBC !GCC    click G-B-C / G-C-C (a query is named by its batch file)
//   ^L ~L        tick or untick / grey the tick box of letter L (Boxes)
//   >TEXT        from now on the client answers TEXT into the log (\r, \n
//                escaped); nolog: it writes no log
//   <GBC=TEXT    the G-B-C (G-C-C) log holds TEXT from an earlier run, as
//                it was before the first cycle (escaped as above)
//   -GBC -GCC    that batch file goes missing; -ext: the external file
//                cannot be written; mend: all works again
//   +GBC +GCC    that batch file's client never ends by itself
//   *GBC         that batch file holds a further line, which is not run
//   close@T      the panel closes during the wait that starts at T ms
//   set NAME=x   put text x into that text box
//   key=value    expect that value now; the keys are those of state().
// The setup lists the letters of the tick boxes stored ticked. The paths
// name a working folder with a blank; the client answers "840123\r\n".
//
//
// The cases over the real platform (real logs, a real external file, the
// demo node) are in tst_chain_poll_posix.cpp.

#include "app/Colours.h"
#include "poll/ChainPoll.h"
#include "tests/support/TestRig.h"

#include <QTest>

namespace failure = tw::poll::failure;

namespace {

const QString Folder = "/work dir/", External = "/srv/height.txt", Command = "notify --now";
const QMap<QString, QString> Boxes{
    {"G", "CLI_GBC_BAT_TICKBOX"},     {"C", "CLI_GCC_BAT_TICKBOX"},
    {"S", "CLI_STOP_BAT_TICKBOX"},    {"A", "AUTOSTART_TICKBOX"},
    {"X", "AUTOCLOSE_TIMER_TICKBOX"}, {"P", "P4P_TICKBOX"},
    {"E", "RUN_COMMAND_TICKBOX"},     {"F", "UPDATE_EXTERNAL_FILE_TICKBOX"}};

QString escaped(QString text) {
    return text.replace('\r', "\\r").replace('\n', "\\n");
}

QString colourName(const QColor& colour) {
    using namespace tw::app::colour;
    const auto i = QList<QColor>{Pink, Yellow, Black, windowBackground()}.indexOf(colour);
    return i < 0 ? colour.name() : QString("pink yellow black window").split(' ')[i];
}

struct Rig : tw::test::TestRig {
    QByteArray answer = "840123\r\n"; // what the client writes into the log
    bool writesLog = true;
    QStringList waits;   // "start+length colour" of each wait, the running query's box
    qint64 closeAt = -1; // the panel closes during the wait that starts then
};

// What the window shows and what the program did, as "key=value" entries:
// bc bt cc ct the block-count and connection boxes' colours and texts, tm
// the query timers that are on (B, N) and the loop (L), due the loop's next
// tick, runs "at name" of what was started, ext the external file and
// writes how often it was written, rep the failures reported and tip the
// controls that show one, en and ticks the tick boxes' states (Auto Start,
// Auto Close, STOP, G-B-C, G-C-C, P-4-P), overlap 1 when two waits overlap,
// fin "at name" of each batch the cycles finished, live the batch files whose
// client still runs, ends how often the queries' clients were all ended.
QStringList state(Rig& rig) {
    auto& w = rig.window();
    QStringList runs, reported, tips, finished, live;
    for (const auto& start : rig.starter.starts)
        runs << QString::number(start.at) + " " + start.text.section('/', -1);
    for (const auto& finish : rig.starter.finishes)
        finished << QString::number(finish.at) + " " + finish.path.section('/', -1);
    for (const QString& path : rig.starter.running())
        live << path.section('/', -1);
    for (const QString& key :
         {failure::GbcBatch, failure::GbcLog, failure::GbcExternalFile, failure::GbcCommand,
          failure::GbcEnded, failure::GccBatch, failure::GccLog, failure::GccEnded})
        reported << (rig.diagnostics.isReported(key) ? key : QString());
    for (const QWidget* widget : w.findChildren<QWidget*>())
        tips << (widget->toolTip().contains("Last failure") ? widget->objectName() : QString());
    QString timers, enabled, ticked, overlap = "0";
    timers += QString(w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled() ? "B" : "") +
              (w.GETCONNECTIONCOUNT_COMMAND_TIMER->isEnabled() ? "N" : "") +
              (w.GET_LOOP_TIMER->isEnabled() ? "L" : "");
    for (const QCheckBox* box :
         {w.AUTOSTART_TICKBOX, w.AUTOCLOSE_TIMER_TICKBOX, w.CLI_STOP_BAT_TICKBOX,
          w.CLI_GBC_BAT_TICKBOX, w.CLI_GCC_BAT_TICKBOX, w.P4P_TICKBOX}) {
        enabled += box->isEnabled() ? '1' : '0';
        ticked += box->isChecked() ? '1' : '0';
    }
    const auto& waits = rig.clock.waits;
    for (qsizetype i = 1; i < waits.size(); ++i)
        overlap = waits[i].first < waits[i - 1].first + waits[i - 1].second ? "1" : overlap;
    return QString("bc=%1|bt=%2|cc=%3|ct=%4|tm=%5|due=%6|runs=%7|ext=%8|writes=%9|rep=%10|tip=%11|"
                   "fails=%12|en=%13|ticks=%14|overlap=%15|waits=%16|fin=%17|live=%18|ends=%19")
        .arg(colourName(rig.colour("CURRENT_BLOCK_TEXTBOX")),
             escaped(w.CURRENT_BLOCK_TEXTBOX->text()),
             colourName(rig.colour("CONNECTIONS_TEXTBOX")), escaped(w.CONNECTIONS_TEXTBOX->text()),
             timers, QString::number(w.GET_LOOP_TIMER->dueAt()), runs.join(','),
             escaped(QString::fromLatin1(rig.files.files.value(External))),
             QString::number(rig.files.writes.size()), reported.join(' ').simplified(),
             tips.join(' ').simplified(), QString::number(rig.diagnostics.failureCount()), enabled,
             ticked, overlap, rig.waits.join(','), finished.join(','), live.join(','),
             QString::number(rig.starter.endQueriesCalls))
        .split('|');
}

void start(Rig& rig, const QString& setup) {
    for (const QString path : {"GBC_FULL_BAT", "GBC_FULL_LOG", "GCC_FULL_BAT", "GCC_FULL_LOG"})
        rig.store("CLI_" + path + "_LOCATION_TEXTBOX",
                  Folder + "CLI-UI-" + path.left(3) + "." + path.right(3));
    rig.store("UPDATE_EXTERNAL_FILE_TEXTBOX", External);
    rig.store("RUN_COMMAND_TEXTBOX", Command);
    for (QChar letter : setup)
        rig.store(Boxes[letter], "1");
    rig.starter.onBatch = [&rig](const QString& path) {
        if (rig.writesLog)
            rig.files.put(path.chopped(3) + "LOG", rig.answer);
    };
    auto& w = rig.start();
    rig.clock.onWait = [&rig, &w](qint64 at, int ms) { // the running query's box
        const bool gbc = w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled();
        const QColor colour = rig.colour(gbc ? "CURRENT_BLOCK_TEXTBOX" : "CONNECTIONS_TEXTBOX");
        rig.waits << QString("%1+%2 ").arg(at).arg(ms) + colourName(colour);
        if (at == rig.closeAt)
            w.close();
    };
    rig.leaveQueryButtonsToThePolls();
}

void run(Rig& rig, const QString& script) {
    for (const QString& text : script.split(';')) {
        const QString step = text.trimmed(), rest = step.mid(1);
        if (step.startsWith('@')) {
            rig.advance(rest.toLongLong() - rig.clock.now());
        } else if (step.startsWith('!')) {
            rig.button(rest == "GBC" ? "GETBLOCKCOUNT_BUTTON" : "GETCONNECTIONCOUNT_BUTTON")
                ->click();
        } else if (step.startsWith('^')) {
            rig.tick(Boxes[rest])->setChecked(!rig.tick(Boxes[rest])->isChecked());
        } else if (step.startsWith('~')) {
            rig.tick(Boxes[rest])->setEnabled(false);
        } else if (step.startsWith('>') || step == "nolog") {
            rig.answer = QString(rest).replace("\\r", "\r").replace("\\n", "\n").toLatin1();
            rig.writesLog = step != "nolog";
        } else if (step.startsWith('<')) { // a log left from an earlier run, e.g. <GBC=777
            rig.files.files.insert(
                Folder + "CLI-UI-" + rest.section('=', 0, 0) + ".LOG",
                rest.section('=', 1).replace("\\r", "\r").replace("\\n", "\n").toLatin1());
        } else if (step == "-GBC" || step == "-GCC") {
            rig.starter.missing.insert(Folder + "CLI-UI-" + rest + ".BAT");
        } else if (step == "+GBC" || step == "+GCC") {
            rig.starter.stillRunning.insert(Folder + "CLI-UI-" + rest + ".BAT");
        } else if (step == "*GBC") {
            rig.starter.skipped.insert(Folder + "CLI-UI-GBC.BAT", "1 further line not run");
        } else if (step.startsWith("close@")) {
            rig.closeAt = step.mid(6).toLongLong();
        } else if (step == "-ext") {
            rig.files.unwritable.insert(External);
        } else if (step == "mend") {
            rig.starter.missing.clear();
            rig.starter.stillRunning.clear();
            rig.starter.skipped.clear();
            rig.files.unwritable.clear();
            rig.writesLog = true;
            rig.answer = "5\r\n";
            rig.text("RUN_COMMAND_TEXTBOX")->setText(Command);
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

class TestChainPoll : public QObject {
    Q_OBJECT

private slots:
    void scripts_data();
    void scripts();
};

void TestChainPoll::scripts_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("script");
    const QString none = tw::poll::ChainPoll::NoValue,
                  ok = "; mend; !GBC; @20000; rep=; tip=; fails=1";
    // clang-format off
    const auto row = [](const char* name, const char* setup, const QString& script) { QTest::newRow(name) << setup << script; };
    row("block-count cycle: timing, colours, the log shown exactly", "",
        "!GBC; bc=pink; tm=B; @999; runs=; @1000; runs=2000 CLI-UI-GBC.BAT; bt=840123\\r\\n; bc=black; tm=;"
        "waits=1000+1000 pink,2000+3000 pink,5000+1000 yellow,6000+1000 window,7000+1000 black;"
        "fin=6000 CLI-UI-GBC.BAT; rep=; ends=0");
    row("connection-count cycle", "",
        ">8\\n; !GCC; cc=pink; tm=N; @999; runs=; @1000; runs=2000 CLI-UI-GCC.BAT; ct=8\\n; cc=black; tm=;"
        "waits=1000+1000 pink,2000+3000 pink,5000+1000 yellow,6000+1000 black; fin=6000 CLI-UI-GCC.BAT");
    row("both actions after every cycle, also for the same value; a new value replaces the file", "EF",
        "!GBC; @10000; !GBC; @20000; ext=840123\\r\\n\\r\\n; writes=2; fails=0; >8; !GBC; @30000; ext=8\\r\\n; runs="
        "2000 CLI-UI-GBC.BAT,7000 notify --now,12000 CLI-UI-GBC.BAT,17000 notify --now,22000 CLI-UI-GBC.BAT,27000 notify --now");
    row("neither action: no file, no command", "", "!GBC; @10000; writes=0; runs=2000 CLI-UI-GBC.BAT");
    row("one loop tick asks for both, one after the other", "GC",
        "@59999; bc=black; @60000; bc=pink; cc=pink; @90000; runs=62000 CLI-UI-GBC.BAT,69000 CLI-UI-GCC.BAT; overlap=0");
    row("both clicked at once", "", "!GCC; !GBC; @20000; runs=2000 CLI-UI-GBC.BAT,9000 CLI-UI-GCC.BAT; overlap=0");
    row("G-B-C clicked again while requested: one cycle", "", "!GBC; @600; !GBC; @20000; runs=2000 CLI-UI-GBC.BAT");
    row("Auto G-B-C ticked, the loop stopped: the first query 61 s later", "",
        "@5000; tm=; ^G; tm=L; @64999; bc=black; @65000; bc=pink; @90000; runs=67000 CLI-UI-GBC.BAT");
    // The interlocks; en and ticks in the order Auto Start, Auto Close, STOP, G-B-C, G-C-C, P-4-P.
    row("tick G-B-C, G-C-C clear", "", "@10000; ^G; due=70000; en=100110; ticks=000100");
    row("tick G-B-C, G-C-C ticked", "", "^C; ^A; ^X; ^P; @10000; ^G; due=60000; en=110111; ticks=110111");
    row("untick G-B-C, G-C-C clear", "", "^G; ^A; ^X; ^P; ~C; @10000; ^G; due=-1; en=001110; ticks=000001");
    row("untick G-B-C, G-C-C and Auto Start clear", "", "^G; @10000; ^G; due=-1; en=001110; ticks=000000");
    row("untick G-B-C, G-C-C ticked", "", "^G; ^C; ^A; ^X; ^P; @10000; ^G; due=60000; en=100110; ticks=000011");
    row("tick G-C-C, G-B-C clear", "", "@10000; ^C; due=70000; en=100110; ticks=000010");
    row("tick G-C-C, G-B-C ticked", "", "^G; ^A; ^X; ^P; @10000; ^C; due=60000; en=110111; ticks=110111");
    row("untick G-C-C, G-B-C clear: G-B-C offered", "", "^C; ^A; ^X; ^P; ~G; @10000; ^C; due=-1; en=001110; ticks=000001");
    row("untick G-C-C, G-B-C and Auto Start clear", "", "^C; @10000; ^C; due=-1; en=001110; ticks=000000");
    row("untick G-C-C, G-B-C ticked", "", "^G; ^C; ^A; ^X; ^P; @10000; ^C; due=60000; en=100110; ticks=000101");
    // Failing steps: reported, the cycle ends as ever, the next one clears the report.
    row("batch file missing", "EF", "-GBC; !GBC; @10000; bt=" + none + "; bc=black; tm=; rep=gbc-batch;"
        "tip=GETBLOCKCOUNT_BUTTON; writes=0; fin=" + ok);
    row("log missing", "EF", "nolog; !GBC; @10000; bt=" + none + "; bc=black; tm=; rep=gbc-log; tip=CURRENT_BLOCK_TEXTBOX;"
        "writes=0" + ok);
    row("log empty", "EF", ">; !GBC; @10000; bt=" + none + "; bc=black; tm=; rep=gbc-log; writes=0" + ok);
    row("log of 40000 bytes: its first 32767 shown", "EF", ">" + QString(40000, '7') + "; !GBC; @10000; bt=" +
        QString(32767, '7') + "; bc=black; tm=; rep=gbc-log; writes=1" + ok);
    row("external file not writable", "EF", "-ext; !GBC; @10000; bc=black; tm=; rep=gbc-external-file;"
        "tip=UPDATE_EXTERNAL_FILE_TEXTBOX; writes=0; runs=2000 CLI-UI-GBC.BAT,7000 notify --now" + ok);
    row("user command empty", "EF", "set RUN_COMMAND_TEXTBOX=; !GBC; @10000; bc=black; tm=; rep=gbc-command;"
        "tip=RUN_COMMAND_TEXTBOX; writes=1; runs=2000 CLI-UI-GBC.BAT" + ok);
    row("log of an earlier run, not written by the client", "EF", "<GBC=777; nolog; !GBC; @10000; bt=" + none +
        "; bc=black; tm=; rep=gbc-log; tip=CURRENT_BLOCK_TEXTBOX; writes=0; runs=2000 CLI-UI-GBC.BAT" + ok);
    row("log of the last cycle, not written by the client", "EF", "!GBC; @10000; bt=840123\\r\\n; writes=1; nolog; !GBC;"
        "@20000; bt=" + none + "; rep=gbc-log; writes=1; runs=2000 CLI-UI-GBC.BAT,7000 notify --now,12000 CLI-UI-GBC.BAT;"
        "mend; !GBC; @30000; bt=5\\r\\n; rep=; fails=1");
    row("log of an earlier run, the same answer written again", "EF", "<GBC=840123\\r\\n; !GBC; @10000; bt=840123\\r\\n;"
        "rep=; writes=1; runs=2000 CLI-UI-GBC.BAT,7000 notify --now");
    row("G-C-C log of an earlier run, not written by the client", "", "<GCC=8; nolog; !GCC; @10000; ct=" + none +
        "; cc=black; tm=; rep=gcc-log; tip=CONNECTIONS_TEXTBOX");
    row("G-C-C batch file missing", "EF", "-GCC; !GCC; @10000; ct=" + none + "; cc=black; tm=; rep=gcc-batch;"
        "tip=GETCONNECTIONCOUNT_BUTTON; mend; !GCC; @20000; rep=; fails=1");
    // A client still running when its log has been read: ended right after the read, said once
    // on the query's box; the cycle's timing, colours and answer as ever.
    row("block-count client still running at the read: ended, said once", "EF",
        "+GBC; !GBC; @10000; fin=6000 CLI-UI-GBC.BAT; live=; rep=gbc-ended; tip=CURRENT_BLOCK_TEXTBOX; fails=1;"
        "bt=840123\\r\\n; writes=1; waits=1000+1000 pink,2000+3000 pink,5000+1000 yellow,6000+1000 window,"
        "7000+1000 black; !GBC; @20000; fin=6000 CLI-UI-GBC.BAT,16000 CLI-UI-GBC.BAT; fails=1; rep=gbc-ended;"
        "mend; !GBC; @30000; rep=; tip=; fails=1");
    row("connection-count client still running at the read", "EF",
        "+GCC; !GCC; @10000; fin=6000 CLI-UI-GCC.BAT; live=; rep=gcc-ended; tip=CONNECTIONS_TEXTBOX; ct=840123\\r\\n;"
        "mend; !GCC; @20000; rep=; fails=1");
    row("a further line in the batch file: reported, the first line's answer used", "EF",
        "*GBC; !GBC; @10000; bt=840123\\r\\n; rep=gbc-batch; tip=GETBLOCKCOUNT_BUTTON; writes=1" + ok);
    row("the panel closes during a cycle: the queries' clients are ended", "",
        "+GBC; close@2000; !GBC; @10000; ends=1; live=; fin=6000 CLI-UI-GBC.BAT; rep=; fails=0");
    row("G-C-C log empty", "EF", ">; !GCC; @10000; ct=" + none + "; cc=black; tm=; rep=gcc-log; tip=CONNECTIONS_TEXTBOX;"
        "mend; !GCC; @20000; rep=; fails=1");
    // clang-format on
}

void TestChainPoll::scripts() {
    QFETCH(QString, setup);
    QFETCH(QString, script);
    Rig rig;
    start(rig, setup);
    run(rig, script);
}

QTEST_MAIN(TestChainPoll)
#include "tst_chain_poll.moc"
