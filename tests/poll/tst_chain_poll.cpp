// Block-count and connection-count polls on the virtual clock with the fake
// platform: the query cycles' timing and colours, the loop, the actions after
// a block-count query, the interlocks of Auto G-B-C and Auto G-C-C, and what
// a failing step leaves behind.

#include "app/Colours.h"
#include "poll/ChainPoll.h"
#include "tests/support/TestRig.h"

#include <QTest>

using tw::poll::ChainPoll;
using tw::test::TestRig;
namespace failure = tw::poll::failure;

namespace {

const QString GbcBat = QStringLiteral("/work dir/CLI-UI-GBC.BAT");
const QString GbcLog = QStringLiteral("/work dir/CLI-UI-GBC.LOG");
const QString GccBat = QStringLiteral("/work dir/CLI-UI-GCC.BAT");
const QString GccLog = QStringLiteral("/work dir/CLI-UI-GCC.LOG");
const QString External = QStringLiteral("/srv/www/height.txt");
const QString Command = QStringLiteral("notify-height --now");

// The controls and files of one query, by the name the tables use.
struct Names {
    QString box, button, tick, timer, bat, log, batchKey, logKey;
};

Names namesOf(const QString& query) {
    if (query == "gbc")
        return {"CURRENT_BLOCK_TEXTBOX",
                "GETBLOCKCOUNT_BUTTON",
                "CLI_GBC_BAT_TICKBOX",
                "GETBLOCKCOUNT_COMMAND_TIMER",
                GbcBat,
                GbcLog,
                failure::GbcBatch,
                failure::GbcLog};
    if (query == "gcc")
        return {"CONNECTIONS_TEXTBOX",
                "GETCONNECTIONCOUNT_BUTTON",
                "CLI_GCC_BAT_TICKBOX",
                "GETCONNECTIONCOUNT_COMMAND_TIMER",
                GccBat,
                GccLog,
                failure::GccBatch,
                failure::GccLog};
    qFatal("unknown query %s", qPrintable(query));
}

QString colourName(const QColor& colour) {
    using namespace tw::app;
    if (colour == colour::Pink)
        return "pink";
    if (colour == colour::Yellow)
        return "yellow";
    if (colour == colour::Black)
        return "black";
    if (colour == colour::windowBackground())
        return "window";
    if (colour == colour::Cyan)
        return "cyan";
    return colour.name();
}

tw::app::WindowTimer* timerOf(TestRig& rig, const QString& name) {
    auto* timer = rig.window().findChild<tw::app::WindowTimer*>(name);
    if (!timer)
        qFatal("no timer %s", qPrintable(name));
    return timer;
}

// The batch files that were started, as "at name".
QStringList batchStarts(const TestRig& rig) {
    QStringList list;
    for (const auto& start : rig.starter.starts)
        if (start.batch)
            list << QStringLiteral("%1 %2").arg(start.at).arg(start.text.section('/', -1));
    return list;
}

QStringList userCommands(const TestRig& rig) {
    QStringList list;
    for (const auto& start : rig.starter.starts)
        if (!start.batch)
            list << QStringLiteral("%1 %2").arg(start.at).arg(start.text);
    return list;
}

} // namespace

class TestChainPoll : public QObject {
    Q_OBJECT

private slots:
    void cycleTimeline_data();
    void cycleTimeline();
    void logShownUnchanged_data();
    void logShownUnchanged();
    void actionsAfterEveryCycle_data();
    void actionsAfterEveryCycle();
    void requestsNeverOverlap_data();
    void requestsNeverOverlap();
    void firstAutomaticQueryAfterTicking_data();
    void firstAutomaticQueryAfterTicking();
    void loopTick_data();
    void loopTick();
    void interlocks_data();
    void interlocks();
    void tickBoxClickedByTheUser();
    void restoredTickStartsTheLoop_data();
    void restoredTickStartsTheLoop();
    void failingSteps_data();
    void failingSteps();
    void failureReportedOnceAndClearedWhenItWorks_data();
    void failureReportedOnceAndClearedWhenItWorks();

private:
    // A started rig whose paths point at the fake working folder, whose
    // fake client answers `answer` into the log when a batch file starts, and
    // whose process watcher is off so that only this subsystem sets the
    // buttons.
    static void prepare(TestRig& rig, const QByteArray& gbcAnswer = "840123\r\n",
                        const QByteArray& gccAnswer = "8\r\n");
};

void TestChainPoll::prepare(TestRig& rig, const QByteArray& gbcAnswer,
                            const QByteArray& gccAnswer) {
    rig.store("CLI_GBC_FULL_BAT_LOCATION_TEXTBOX", GbcBat);
    rig.store("CLI_GBC_FULL_LOG_LOCATION_TEXTBOX", GbcLog);
    rig.store("CLI_GCC_FULL_BAT_LOCATION_TEXTBOX", GccBat);
    rig.store("CLI_GCC_FULL_LOG_LOCATION_TEXTBOX", GccLog);
    rig.store("UPDATE_EXTERNAL_FILE_TEXTBOX", External);
    rig.store("RUN_COMMAND_TEXTBOX", Command);
    rig.starter.onBatch = [&rig, gbcAnswer, gccAnswer](const QString& path) {
        if (path == GbcBat)
            rig.files.files.insert(GbcLog, gbcAnswer);
        else if (path == GccBat)
            rig.files.files.insert(GccLog, gccAnswer);
    };
    rig.start();
    rig.window().CLI_PROCESS_WATCHER_TIMER->setEnabled(false);
    rig.button("GETBLOCKCOUNT_BUTTON")->setEnabled(true);
    rig.button("GETCONNECTIONCOUNT_BUTTON")->setEnabled(true);
}

// One query cycle, told as the waits it makes: when each starts, how long
// it lasts, the box's colour and text at that moment.
void TestChainPoll::cycleTimeline_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("waits");
    QTest::addColumn<QString>("batchStart");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QString>("endText");

    const QString before = ChainPoll::NoValue;
    QTest::newRow("block count") << "gbc"
                                 << QStringList{"1000+1000 pink " + before,
                                                "2000+3000 pink " + before,
                                                "5000+1000 yellow " + before,
                                                "6000+1000 window 840123\r\n",
                                                "7000+1000 black 840123\r\n"}
                                 << "2000 CLI-UI-GBC.BAT" << qint64(8000) << "840123\r\n";
    QTest::newRow("connection count")
        << "gcc"
        << QStringList{"1000+1000 pink " + before, "2000+3000 pink " + before,
                       "5000+1000 yellow " + before, "6000+1000 black 8\r\n"}
        << "2000 CLI-UI-GCC.BAT" << qint64(7000) << "8\r\n";
}

void TestChainPoll::cycleTimeline() {
    QFETCH(QString, query);
    QFETCH(QStringList, waits);
    QFETCH(QString, batchStart);
    QFETCH(qint64, end);
    QFETCH(QString, endText);
    const Names names = namesOf(query);

    TestRig rig;
    prepare(rig);
    QStringList seen;
    rig.clock.onWait = [&](qint64 at, int ms) {
        seen << QStringLiteral("%1+%2 %3 %4")
                    .arg(at)
                    .arg(ms)
                    .arg(colourName(rig.colour(names.box)), rig.text(names.box)->text());
    };
    const qint64 start = rig.clock.now();
    QCOMPARE(start, qint64(0));

    rig.button(names.button)->click();
    QCOMPARE(colourName(rig.colour(names.box)), QString("pink"));
    QVERIFY(timerOf(rig, names.timer)->isEnabled());
    rig.advance(999);
    QVERIFY(seen.isEmpty());
    QVERIFY(rig.starter.starts.isEmpty());

    rig.advance(1);
    QCOMPARE(seen, waits);
    QCOMPARE(batchStarts(rig), QStringList{batchStart});
    QCOMPARE(rig.clock.now(), end);
    QVERIFY(!timerOf(rig, names.timer)->isEnabled());
    QCOMPARE(colourName(rig.colour(names.box)), QString("black"));
    QCOMPARE(rig.text(names.box)->text(), endText);

    // Nothing further happens on its own.
    rig.advance(120000);
    QCOMPARE(batchStarts(rig).size(), 1);
    QCOMPARE(seen.size(), waits.size());
}

// Whatever the client left in the log is shown as it stands, line end
// included: the box's text() keeps every character.
void TestChainPoll::logShownUnchanged_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QString>("shown");

    QTest::newRow("digits CR LF") << "gbc" << QByteArray("840123\r\n") << "840123\r\n";
    QTest::newRow("digits LF") << "gbc" << QByteArray("840123\n") << "840123\n";
    QTest::newRow("no line end") << "gbc" << QByteArray("840123") << "840123";
    QTest::newRow("blanks kept") << "gbc" << QByteArray("  42 \t\r\n") << "  42 \t\r\n";
    QTest::newRow("only a line end") << "gbc" << QByteArray("\r\n") << "\r\n";
    QTest::newRow("two lines") << "gbc" << QByteArray("1\r\n2\r\n") << "1\r\n2\r\n";
    QTest::newRow("not a number") << "gbc" << QByteArray("error: busy\n") << "error: busy\n";
    QTest::newRow("non-ASCII") << "gbc" << QByteArray("h\xc3\xb6he\n") << "h\u00f6he\n";
    QTest::newRow("zero connections") << "gcc" << QByteArray("0\r\n") << "0\r\n";
    QTest::newRow("connections LF") << "gcc" << QByteArray("12\n") << "12\n";
}

void TestChainPoll::logShownUnchanged() {
    QFETCH(QString, query);
    QFETCH(QByteArray, log);
    QFETCH(QString, shown);
    const Names names = namesOf(query);

    TestRig rig;
    prepare(rig, log, log);
    rig.button(names.button)->click();
    rig.advance(1000);
    QCOMPARE(rig.text(names.box)->text(), shown);
    QCOMPARE(rig.text(names.box)->text().size(), shown.size());
    QCOMPARE(rig.diagnostics.failureCount(), 0);
}

// The two actions after each block-count query: the external file (the
// box's text and CR LF) and the user command, each when ticked, after every
// cycle, whether or not the value changed.
void TestChainPoll::actionsAfterEveryCycle_data() {
    QTest::addColumn<bool>("external");
    QTest::addColumn<bool>("command");
    QTest::addColumn<QByteArrayList>("answers"); // one per cycle
    QTest::addColumn<QByteArray>("file");        // last content; empty: never written
    QTest::addColumn<int>("writes");
    QTest::addColumn<QStringList>("commands");

    const QByteArrayList same{"840123\r\n", "840123\r\n"};
    QTest::newRow("neither action") << false << false << same << QByteArray() << 0 << QStringList();
    QTest::newRow("external file, same value twice")
        << true << false << same << QByteArray("840123\r\n\r\n") << 2 << QStringList();
    QTest::newRow("command, same value twice")
        << false << true << same << QByteArray() << 0
        << QStringList{"7000 " + Command, "17000 " + Command};
    QTest::newRow("both, value changes")
        << true << true << QByteArrayList{"840123\r\n", "840124\r\n"}
        << QByteArray("840124\r\n\r\n") << 2 << QStringList{"7000 " + Command, "17000 " + Command};
    QTest::newRow("line end as the client wrote it")
        << true << false << QByteArrayList{"840123\n"} << QByteArray("840123\n\r\n") << 1
        << QStringList();
    QTest::newRow("not a number is passed on")
        << true << true << QByteArrayList{"error: x"} << QByteArray("error: x\r\n") << 1
        << QStringList{"7000 " + Command};
}

void TestChainPoll::actionsAfterEveryCycle() {
    QFETCH(bool, external);
    QFETCH(bool, command);
    QFETCH(QByteArrayList, answers);
    QFETCH(QByteArray, file);
    QFETCH(int, writes);
    QFETCH(QStringList, commands);

    TestRig rig;
    rig.store("UPDATE_EXTERNAL_FILE_TICKBOX", external ? "1" : "0");
    rig.store("RUN_COMMAND_TICKBOX", command ? "1" : "0");
    prepare(rig);
    int cycle = 0;
    rig.starter.onBatch = [&](const QString&) { rig.files.files.insert(GbcLog, answers[cycle]); };
    // The actions run in the second second after the read: the wait that
    // starts 6 s into a cycle's ten seconds sees none of this cycle's yet,
    // the one at 7 s sees them all.
    QList<int> doneBefore, doneAfter;
    rig.clock.onWait = [&](qint64 at, int) {
        const int done = int(rig.files.writes.size() + userCommands(rig).size());
        if (at % 10000 == 6000)
            doneBefore << done;
        if (at % 10000 == 7000)
            doneAfter << done;
    };

    for (cycle = 0; cycle < answers.size(); ++cycle) {
        rig.button("GETBLOCKCOUNT_BUTTON")->click();
        rig.advance(1000);
        QCOMPARE(rig.clock.now(), cycle * 10000 + 8000);
        rig.advance(2000); // the next cycle is asked for at a round 10 s
    }
    const int perCycle = (external ? 1 : 0) + (command ? 1 : 0);
    QCOMPARE(doneBefore.size(), answers.size());
    QCOMPARE(doneAfter.size(), answers.size());
    for (int k = 0; k < answers.size(); ++k) {
        QCOMPARE(doneBefore[k], k * perCycle);
        QCOMPARE(doneAfter[k], (k + 1) * perCycle);
    }
    QCOMPARE(rig.files.writes.size(), writes);
    QCOMPARE(rig.files.writes.count(External), writes);
    QCOMPARE(rig.files.files.value(External), file);
    QCOMPARE(userCommands(rig), commands);
    QCOMPARE(batchStarts(rig).size(), answers.size());
    QCOMPARE(rig.diagnostics.failureCount(), 0);
}

// Requests made close together run one cycle after another, never
// overlapping, and requests made before a cycle starts merge into one.
void TestChainPoll::requestsNeverOverlap_data() {
    QTest::addColumn<QStringList>("requests"); // "at who": who = gbc, gcc, loop
    QTest::addColumn<bool>("gbcTicked");
    QTest::addColumn<bool>("gccTicked");
    QTest::addColumn<QStringList>("starts");

    QTest::newRow("both from one loop tick, block count first")
        << QStringList{} << true << true
        << QStringList{"62000 CLI-UI-GBC.BAT", "69000 CLI-UI-GCC.BAT"};
    QTest::newRow("G-C-C clicked first runs first")
        << QStringList{"0 gcc", "500 gbc"} << false << false
        << QStringList{"2000 CLI-UI-GCC.BAT", "8000 CLI-UI-GBC.BAT"};
    QTest::newRow("both clicked at once")
        << QStringList{"0 gcc", "0 gbc"} << false << false
        << QStringList{"2000 CLI-UI-GBC.BAT", "9000 CLI-UI-GCC.BAT"};
    QTest::newRow("G-B-C clicked twice while requested")
        << QStringList{"0 gbc", "0 gbc"} << false << false << QStringList{"2000 CLI-UI-GBC.BAT"};
    QTest::newRow("second click later does not delay the cycle")
        << QStringList{"0 gbc", "600 gbc"} << false << false << QStringList{"2000 CLI-UI-GBC.BAT"};
    QTest::newRow("G-B-C clicked while the loop's request is pending")
        << QStringList{"60500 gbc"} << true << false << QStringList{"62000 CLI-UI-GBC.BAT"};
    QTest::newRow("G-C-C clicked twice while requested")
        << QStringList{"0 gcc", "900 gcc"} << false << false << QStringList{"2000 CLI-UI-GCC.BAT"};
}

void TestChainPoll::requestsNeverOverlap() {
    QFETCH(QStringList, requests);
    QFETCH(bool, gbcTicked);
    QFETCH(bool, gccTicked);
    QFETCH(QStringList, starts);

    TestRig rig;
    rig.store("CLI_GBC_BAT_TICKBOX", gbcTicked ? "1" : "0");
    rig.store("CLI_GCC_BAT_TICKBOX", gccTicked ? "1" : "0");
    prepare(rig);
    // Every wait of every cycle, to see that no two overlap.
    QList<QPair<qint64, int>> waits;
    rig.clock.onWait = [&](qint64 at, int ms) { waits.append({at, ms}); };

    for (const QString& request : requests) {
        const qint64 at = request.section(' ', 0, 0).toLongLong();
        rig.advance(at - rig.clock.now());
        QCOMPARE(rig.clock.now(), at);
        const QString who = request.section(' ', 1);
        rig.button(namesOf(who).button)->setEnabled(true);
        rig.button(namesOf(who).button)->click();
    }
    rig.advance(90000 - rig.clock.now());

    QCOMPARE(batchStarts(rig), starts);
    for (qsizetype i = 1; i < waits.size(); ++i)
        QVERIFY2(waits[i].first >= waits[i - 1].first + waits[i - 1].second,
                 qPrintable(QStringLiteral("wait at %1 overlaps").arg(waits[i].first)));
    QVERIFY(!rig.window().GETBLOCKCOUNT_COMMAND_TIMER->isEnabled());
    QVERIFY(!rig.window().GETCONNECTIONCOUNT_COMMAND_TIMER->isEnabled());
}

// Ticking an automatic query with the loop stopped asks nothing at once: the
// first request comes with the first loop tick, 60 s later, and its cycle
// starts one command-timer interval after that.
void TestChainPoll::firstAutomaticQueryAfterTicking_data() {
    QTest::addColumn<QString>("query");
    QTest::newRow("Auto G-B-C") << "gbc";
    QTest::newRow("Auto G-C-C") << "gcc";
}

void TestChainPoll::firstAutomaticQueryAfterTicking() {
    QFETCH(QString, query);
    const Names names = namesOf(query);

    TestRig rig;
    prepare(rig);
    rig.advance(5000);
    QVERIFY(!rig.window().GET_LOOP_TIMER->isEnabled());
    const qint64 ticked = rig.clock.now();
    rig.tick(names.tick)->setChecked(true);
    QVERIFY(rig.window().GET_LOOP_TIMER->isRunning());

    rig.advance(59999);
    QCOMPARE(colourName(rig.colour(names.box)), QString("black"));
    QVERIFY(!timerOf(rig, names.timer)->isEnabled());
    QVERIFY(rig.button(names.button)->isEnabled());

    rig.advance(1);
    QCOMPARE(colourName(rig.colour(names.box)), QString("pink"));
    QVERIFY(timerOf(rig, names.timer)->isEnabled());
    QVERIFY(!rig.button(names.button)->isEnabled());
    QVERIFY(rig.starter.starts.isEmpty());

    rig.advance(1000);
    QCOMPARE(
        batchStarts(rig),
        QStringList{QStringLiteral("%1 %2").arg(ticked + 62000).arg(names.bat.section('/', -1))});

    // And again every minute after the first loop tick.
    rig.advance(ticked + 182000 - rig.clock.now());
    QCOMPARE(batchStarts(rig).size(), 3);
    QCOMPARE(batchStarts(rig).last().section(' ', 0, 0).toLongLong(), ticked + 182000);
}

// Each half of the loop tick: a ticked query is requested and its button
// greyed; an unticked one is set idle (black, button enabled, a pending
// request dropped).
void TestChainPoll::loopTick_data() {
    QTest::addColumn<bool>("gbc");
    QTest::addColumn<bool>("gcc");
    QTest::newRow("only Auto G-B-C") << true << false;
    QTest::newRow("only Auto G-C-C") << false << true;
    QTest::newRow("both") << true << true;
}

void TestChainPoll::loopTick() {
    QFETCH(bool, gbc);
    QFETCH(bool, gcc);

    TestRig rig;
    prepare(rig);
    rig.tick("CLI_GBC_BAT_TICKBOX")->setChecked(gbc);
    rig.tick("CLI_GCC_BAT_TICKBOX")->setChecked(gcc);
    QCOMPARE(rig.window().GET_LOOP_TIMER->dueAt(), qint64(60000));

    rig.advance(59500);
    for (const auto& [query, ticked] : {std::pair{QString("gbc"), gbc}, {QString("gcc"), gcc}}) {
        const Names names = namesOf(query);
        // The opposite of what the loop tick leaves.
        rig.button(names.button)->setEnabled(ticked);
        if (ticked) {
            tw::app::setBackground(rig.text(names.box), tw::app::colour::Cyan);
        } else {
            rig.button(names.button)->setEnabled(true);
            rig.button(names.button)->click();
            rig.button(names.button)->setEnabled(false);
        }
    }
    rig.advance(500);
    for (const auto& [query, ticked] : {std::pair{QString("gbc"), gbc}, {QString("gcc"), gcc}}) {
        const Names names = namesOf(query);
        QCOMPARE(colourName(rig.colour(names.box)), QString(ticked ? "pink" : "black"));
        QCOMPARE(rig.button(names.button)->isEnabled(), !ticked);
        QCOMPARE(timerOf(rig, names.timer)->isEnabled(), ticked);
    }
    QVERIFY(rig.starter.starts.isEmpty());

    rig.advance(30000);
    QStringList expected;
    if (gbc)
        expected << "62000 CLI-UI-GBC.BAT";
    if (gcc)
        expected << QStringLiteral("%1 CLI-UI-GCC.BAT").arg(gbc ? 69000 : 62000);
    QCOMPARE(batchStarts(rig), expected);
}

// Every branch of both interlocks. The window is brought into the starting
// state the way a user would get there (query tick boxes, then Auto Start,
// then Auto Close), ten seconds pass, and one query tick box changes.
void TestChainPoll::interlocks_data() {
    QTest::addColumn<bool>("gbc");
    QTest::addColumn<bool>("gcc");
    QTest::addColumn<bool>("autoStart");
    QTest::addColumn<bool>("autoClose");
    QTest::addColumn<bool>("otherGreyed"); // the other query tick box greyed first
    QTest::addColumn<QString>("change");   // the tick box that changes state
    // Expected afterwards, one letter per control; see below.
    QTest::addColumn<QString>("loop");    // "off", "new" (starts a full interval), "kept"
    QTest::addColumn<QString>("enabled"); // AutoStart AutoClose STOP G-B-C G-C-C P4P
    QTest::addColumn<QString>("ticks");   // AutoStart AutoClose STOP G-B-C G-C-C P4P

    // clang-format off
    QTest::newRow("tick G-B-C, G-C-C clear")
        << false << false << false << false << false << "gbc" << "new"  << "100110" << "000100";
    QTest::newRow("tick G-B-C, G-C-C ticked")
        << false << true  << true  << true  << false << "gbc" << "kept" << "110111" << "110111";
    QTest::newRow("untick G-B-C, G-C-C clear")
        << true  << false << true  << true  << true  << "gbc" << "off"  << "001110" << "000001";
    QTest::newRow("untick G-B-C, G-C-C clear, Auto Start clear")
        << true  << false << false << false << false << "gbc" << "off"  << "001110" << "000000";
    QTest::newRow("untick G-B-C, G-C-C ticked")
        << true  << true  << true  << true  << false << "gbc" << "kept" << "100110" << "000011";
    QTest::newRow("tick G-C-C, G-B-C clear")
        << false << false << false << false << false << "gcc" << "new"  << "100110" << "000010";
    QTest::newRow("tick G-C-C, G-B-C ticked")
        << true  << false << true  << true  << false << "gcc" << "kept" << "110111" << "110111";
    QTest::newRow("untick G-C-C, G-B-C clear: G-B-C offered again")
        << false << true  << true  << true  << true  << "gcc" << "off"  << "001110" << "000001";
    QTest::newRow("untick G-C-C, G-B-C clear, Auto Start clear")
        << false << true  << false << false << false << "gcc" << "off"  << "001110" << "000000";
    QTest::newRow("untick G-C-C, G-B-C ticked")
        << true  << true  << true  << true  << false << "gcc" << "kept" << "100110" << "000101";
    // clang-format on
}

void TestChainPoll::interlocks() {
    QFETCH(bool, gbc);
    QFETCH(bool, gcc);
    QFETCH(bool, autoStart);
    QFETCH(bool, autoClose);
    QFETCH(bool, otherGreyed);
    QFETCH(QString, change);
    QFETCH(QString, loop);
    QFETCH(QString, enabled);
    QFETCH(QString, ticks);

    TestRig rig;
    prepare(rig);
    auto& w = rig.window();
    w.CLI_GBC_BAT_TICKBOX->setChecked(gbc);
    w.CLI_GCC_BAT_TICKBOX->setChecked(gcc);
    w.AUTOSTART_TICKBOX->setChecked(autoStart);
    w.AUTOCLOSE_TIMER_TICKBOX->setChecked(autoClose);
    w.P4P_TICKBOX->setChecked(autoClose);
    QCOMPARE(w.AUTOCLOSE_TIMER_TICKBOX->isChecked(), autoClose);
    QCOMPARE(w.P4P_TICKBOX->isEnabled(), autoClose);
    QCOMPARE(w.GET_LOOP_TIMER->isRunning(), gbc || gcc);
    QCOMPARE(w.CLI_STOP_BAT_TICKBOX->isEnabled(), !(gbc || gcc));
    QCheckBox* changing = change == "gbc" ? w.CLI_GBC_BAT_TICKBOX : w.CLI_GCC_BAT_TICKBOX;
    QCheckBox* other = change == "gbc" ? w.CLI_GCC_BAT_TICKBOX : w.CLI_GBC_BAT_TICKBOX;
    if (otherGreyed)
        other->setEnabled(false);

    rig.advance(10000);
    const qint64 dueBefore = w.GET_LOOP_TIMER->dueAt();
    changing->setChecked(!changing->isChecked());

    if (loop == "off") {
        QVERIFY(!w.GET_LOOP_TIMER->isEnabled());
    } else {
        QVERIFY(w.GET_LOOP_TIMER->isRunning());
        QCOMPARE(w.GET_LOOP_TIMER->dueAt(), loop == "new" ? rig.clock.now() + 60000 : dueBefore);
    }
    const QList<QCheckBox*> boxes{w.AUTOSTART_TICKBOX,    w.AUTOCLOSE_TIMER_TICKBOX,
                                  w.CLI_STOP_BAT_TICKBOX, w.CLI_GBC_BAT_TICKBOX,
                                  w.CLI_GCC_BAT_TICKBOX,  w.P4P_TICKBOX};
    QString enabledNow, ticksNow;
    for (QCheckBox* box : boxes) {
        enabledNow += box->isEnabled() ? '1' : '0';
        ticksNow += box->isChecked() ? '1' : '0';
    }
    QCOMPARE(enabledNow, enabled);
    QCOMPARE(ticksNow, ticks);
}

// A real mouse click on the tick box runs the same interlock.
void TestChainPoll::tickBoxClickedByTheUser() {
    TestRig rig;
    prepare(rig);
    rig.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window()));
    QCheckBox* box = rig.tick("CLI_GCC_BAT_TICKBOX");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QVERIFY(box->isChecked());
    QVERIFY(rig.window().GET_LOOP_TIMER->isRunning());
    QVERIFY(!rig.tick("CLI_STOP_BAT_TICKBOX")->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QVERIFY(!box->isChecked());
    QVERIFY(!rig.window().GET_LOOP_TIMER->isEnabled());
}

// A tick restored at start-up runs the interlock, so the loop already runs
// when the window opens.
void TestChainPoll::restoredTickStartsTheLoop_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("running");
    QTest::newRow("nothing") << "" << false;
    QTest::newRow("Auto G-B-C") << "CLI_GBC_BAT_TICKBOX" << true;
    QTest::newRow("Auto G-C-C") << "CLI_GCC_BAT_TICKBOX" << true;
}

void TestChainPoll::restoredTickStartsTheLoop() {
    QFETCH(QString, stored);
    QFETCH(bool, running);
    TestRig rig;
    if (!stored.isEmpty())
        rig.store(stored, "1");
    prepare(rig);
    QCOMPARE(rig.window().GET_LOOP_TIMER->isRunning(), running);
    rig.advance(70000);
    QCOMPARE(rig.starter.starts.size(), running ? 1 : 0);
}

// A step that fails is reported on the control that shows it, and the cycle
// still ends with its timer disabled and its box black. Without an answer the
// box shows the no-value text and the actions are skipped.
void TestChainPoll::failingSteps_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("batchMissing");
    QTest::addColumn<QByteArray>("log"); // null: no log file
    QTest::addColumn<bool>("externalUnwritable");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("reported"); // "key control"
    QTest::addColumn<int>("externalWrites");
    QTest::addColumn<int>("commandStarts");

    const QByteArray big(40000, '7');
    const QByteArray limit(32767, '5');
    const QString no = ChainPoll::NoValue;
    const QString gbcBatch = failure::GbcBatch + " GETBLOCKCOUNT_BUTTON";
    const QString gbcLog = failure::GbcLog + " CURRENT_BLOCK_TEXTBOX";
    const QString gccBatch = failure::GccBatch + " GETCONNECTIONCOUNT_BUTTON";
    const QString gccLog = failure::GccLog + " CONNECTIONS_TEXTBOX";
    const QString external = failure::GbcExternalFile + " UPDATE_EXTERNAL_FILE_TEXTBOX";
    const QString command = failure::GbcCommand + " RUN_COMMAND_TEXTBOX";

    // clang-format off
    QTest::newRow("all steps work")
        << "gbc" << false << QByteArray("840123\r\n") << false << Command << "840123\r\n"
        << QStringList{} << 1 << 1;
    QTest::newRow("batch file missing, old log not shown")
        << "gbc" << true << QByteArray("1\r\n") << false << Command << no
        << QStringList{gbcBatch} << 0 << 0;
    QTest::newRow("batch file missing and no log")
        << "gbc" << true << QByteArray() << false << Command << no
        << QStringList{gbcBatch} << 0 << 0;
    QTest::newRow("log missing")
        << "gbc" << false << QByteArray() << false << Command << no
        << QStringList{gbcLog} << 0 << 0;
    QTest::newRow("log empty")
        << "gbc" << false << QByteArray("") << false << Command << no
        << QStringList{gbcLog} << 0 << 0;
    QTest::newRow("log of 40000 bytes: first 32767 shown and passed on")
        << "gbc" << false << big << false << Command << QString(32767, '7')
        << QStringList{gbcLog} << 1 << 1;
    QTest::newRow("log of 32767 bytes is whole")
        << "gbc" << false << limit << false << Command << QString(32767, '5')
        << QStringList{} << 1 << 1;
    QTest::newRow("external file not writable, command still runs")
        << "gbc" << false << QByteArray("840123\r\n") << true << Command << "840123\r\n"
        << QStringList{external} << 0 << 1;
    QTest::newRow("user command empty")
        << "gbc" << false << QByteArray("840123\r\n") << false << "" << "840123\r\n"
        << QStringList{command} << 1 << 0;
    QTest::newRow("user command blank")
        << "gbc" << false << QByteArray("840123\r\n") << false << "   " << "840123\r\n"
        << QStringList{command} << 1 << 0;
    QTest::newRow("user command not started")
        << "gbc" << false << QByteArray("840123\r\n") << false << "no-such-program" << "840123\r\n"
        << QStringList{command} << 1 << 0;
    QTest::newRow("G-C-C batch file missing")
        << "gcc" << true << QByteArray("3\r\n") << false << Command << no
        << QStringList{gccBatch} << 0 << 0;
    QTest::newRow("G-C-C log missing")
        << "gcc" << false << QByteArray() << false << Command << no
        << QStringList{gccLog} << 0 << 0;
    QTest::newRow("G-C-C log empty")
        << "gcc" << false << QByteArray("") << false << Command << no
        << QStringList{gccLog} << 0 << 0;
    QTest::newRow("G-C-C log of 40000 bytes")
        << "gcc" << false << big << false << Command << QString(32767, '7')
        << QStringList{gccLog} << 0 << 0;
    // clang-format on
}

void TestChainPoll::failingSteps() {
    QFETCH(QString, query);
    QFETCH(bool, batchMissing);
    QFETCH(QByteArray, log);
    QFETCH(bool, externalUnwritable);
    QFETCH(QString, command);
    QFETCH(QString, shown);
    QFETCH(QStringList, reported);
    QFETCH(int, externalWrites);
    QFETCH(int, commandStarts);
    const Names names = namesOf(query);

    TestRig rig;
    rig.store("UPDATE_EXTERNAL_FILE_TICKBOX", "1");
    rig.store("RUN_COMMAND_TICKBOX", "1");
    prepare(rig);
    rig.text("RUN_COMMAND_TEXTBOX")->setText(command);
    rig.starter.onBatch = {};
    if (!log.isNull())
        rig.files.files.insert(names.log, log);
    if (batchMissing)
        rig.starter.missing.insert(names.bat);
    if (externalUnwritable)
        rig.files.unwritable.insert(External);
    rig.starter.missing.insert("no-such-program");

    rig.button(names.button)->click();
    rig.advance(1000);

    QCOMPARE(rig.clock.now(), qint64(query == "gbc" ? 8000 : 7000));
    QVERIFY(!timerOf(rig, names.timer)->isEnabled());
    QCOMPARE(colourName(rig.colour(names.box)), QString("black"));
    QCOMPARE(rig.text(names.box)->text(), shown);
    QCOMPARE(rig.files.writes.count(External), externalWrites);
    if (externalWrites)
        QCOMPARE(rig.files.files.value(External),
                 rig.text(names.box)->text().toLocal8Bit() + "\r\n");
    QCOMPARE(userCommands(rig).size(), commandStarts);

    const QStringList keys{failure::GbcBatch, failure::GbcLog,          failure::GccBatch,
                           failure::GccLog,   failure::GbcExternalFile, failure::GbcCommand};
    QStringList reportedNow, reportedKeys;
    for (const QString& key : keys)
        if (rig.diagnostics.isReported(key))
            reportedNow << key;
    for (const QString& entry : reported)
        reportedKeys << entry.section(' ', 0, 0);
    reportedNow.sort();
    reportedKeys.sort();
    QCOMPARE(reportedNow, reportedKeys);
    QCOMPARE(rig.diagnostics.failureCount(), reported.size());
    for (const QString& entry : reported) {
        const QString control = entry.section(' ', 1);
        const QString tip = rig.window().findChild<QWidget*>(control)->toolTip();
        QVERIFY2(tip.contains("Last failure: "), qPrintable(control + ": " + tip));
    }

    // The next request still gets its own full cycle.
    rig.button(names.button)->setEnabled(true);
    rig.button(names.button)->click();
    QVERIFY(timerOf(rig, names.timer)->isEnabled());
    QCOMPARE(colourName(rig.colour(names.box)), QString("pink"));
    rig.advance(1000);
    QVERIFY(!timerOf(rig, names.timer)->isEnabled());
    QCOMPARE(colourName(rig.colour(names.box)), QString("black"));
}

// A failure that repeats is reported once; when the step works again it is
// cleared (the tooltip returns to its design text) and a later failure is
// reported anew.
void TestChainPoll::failureReportedOnceAndClearedWhenItWorks_data() {
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("designTip");
    QTest::newRow("block-count batch file")
        << "gbc-batch" << failure::GbcBatch << "GETBLOCKCOUNT_BUTTON"
        << "GetBlockCount";
    QTest::newRow("block-count log") << "gbc-log" << failure::GbcLog << "CURRENT_BLOCK_TEXTBOX"
                                     << "";
    QTest::newRow("connection-count batch file")
        << "gcc-batch" << failure::GccBatch << "GETCONNECTIONCOUNT_BUTTON"
        << "GetConnectionCount";
    QTest::newRow("connection-count log") << "gcc-log" << failure::GccLog << "CONNECTIONS_TEXTBOX"
                                          << "";
    QTest::newRow("external file")
        << "external" << failure::GbcExternalFile << "UPDATE_EXTERNAL_FILE_TEXTBOX"
        << "UPDATE_EXTERNAL_FILE_TEXTBOX";
    QTest::newRow("user command") << "command" << failure::GbcCommand << "RUN_COMMAND_TEXTBOX"
                                  << "RUN_COMMAND_TEXTBOX";
}

void TestChainPoll::failureReportedOnceAndClearedWhenItWorks() {
    QFETCH(QString, step);
    QFETCH(QString, key);
    QFETCH(QString, control);
    QFETCH(QString, designTip);
    const QString query = step.startsWith("gcc") ? "gcc" : "gbc";
    const Names names = namesOf(query);

    TestRig rig;
    rig.store("UPDATE_EXTERNAL_FILE_TICKBOX", "1");
    rig.store("RUN_COMMAND_TICKBOX", "1");
    prepare(rig);
    QWidget* shownOn = rig.window().findChild<QWidget*>(control);
    QVERIFY(shownOn);
    QCOMPARE(shownOn->toolTip(), designTip);

    auto breakStep = [&](bool broken) {
        if (step.endsWith("batch")) {
            if (broken)
                rig.starter.missing.insert(names.bat);
            else
                rig.starter.missing.remove(names.bat);
        } else if (step.endsWith("log")) {
            rig.starter.onBatch = [&rig, broken, names](const QString&) {
                if (broken)
                    rig.files.files.remove(names.log);
                else
                    rig.files.files.insert(names.log, "5\r\n");
            };
        } else if (step == "external") {
            if (broken)
                rig.files.unwritable.insert(External);
            else
                rig.files.unwritable.remove(External);
        } else {
            if (broken)
                rig.starter.missing.insert(Command);
            else
                rig.starter.missing.remove(Command);
        }
    };
    auto cycle = [&] {
        rig.button(names.button)->setEnabled(true);
        rig.button(names.button)->click();
        rig.advance(1000);
        QVERIFY(!timerOf(rig, names.timer)->isEnabled());
        QCOMPARE(colourName(rig.colour(names.box)), QString("black"));
    };

    // broken, broken, fixed, broken: two reports in all.
    const QList<bool> brokenInCycle{true, true, false, true};
    const QList<int> countAfter{1, 1, 1, 2};
    for (qsizetype i = 0; i < brokenInCycle.size(); ++i) {
        breakStep(brokenInCycle[i]);
        cycle();
        QCOMPARE(rig.diagnostics.failureCount(), countAfter[i]);
        QCOMPARE(rig.diagnostics.isReported(key), brokenInCycle[i]);
        if (brokenInCycle[i])
            QVERIFY(shownOn->toolTip().contains("Last failure: "));
        else
            QCOMPARE(shownOn->toolTip(), designTip);
    }
}

QTEST_MAIN(TestChainPoll)
#include "tst_chain_poll.moc"
