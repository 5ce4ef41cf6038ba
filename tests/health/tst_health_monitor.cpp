// The node's health as the tray and the alerts see it: the poll's query
// signals over real cycles, the alert settings as the store holds them, and
// the health monitor on virtual time.
//
// The monitor cases are scripts of blank-separated steps:
//   @M       move virtual time on to M minutes after the start
//   s S      a block-count (connection-count) query starts
//   bN cN    the block-count (connection-count) query answers N
//   t:TEXT   the block-count query answers TEXT, which is not a number
//   fb fc    the block-count (connection-count) query gets no answer ("log missing")
// After each step but @ the dot's colour is noted: - grey, Y yellow, G green,
// R red. The alerts, all-clears and alert commands are noted in order.

#include "health/AlertSettings.h"
#include "health/HealthMonitor.h"
#include "poll/ChainPoll.h"
#include "tests/support/TestRig.h"

#include <QTest>

using tw::health::AlertSettings;
using tw::health::HealthColour;
using tw::health::HealthMonitor;

namespace {

const QString Folder = "/node/";

QString escaped(QString text) {
    return text.replace('\r', "\\r").replace('\n', "\\n");
}

QChar letter(HealthColour colour) {
    switch (colour) {
    case HealthColour::Grey:
        return '-';
    case HealthColour::Yellow:
        return 'Y';
    case HealthColour::Green:
        return 'G';
    case HealthColour::Red:
        return 'R';
    }
    return '?';
}

// "KEY=value;KEY=value" into the rig's store.
void storeAll(tw::test::TestRig& rig, const QString& setup) {
    for (const QString& entry : setup.split(';', Qt::SkipEmptyParts))
        rig.store(entry.section('=', 0, 0), entry.section('=', 1));
}

// The wall clock runs ahead of the platform clock (which counts from the
// program's start): the summary shows the wall clock's time of day.
constexpr qint64 WallOffset = (14 * 3600 + 25 * 60 + 37) * 1000;

// A monitor on the rig's services, its signals and the commands it ran noted.
struct Watch {
    explicit Watch(tw::test::TestRig& rig)
        : rig(rig), monitor(rig.services, [&rig] { return rig.clock.now() + WallOffset; }) {
        QObject::connect(&monitor, &HealthMonitor::alertRaised, &monitor,
                         [this](const QString& title, const QString& text) {
                             events << "raise " + title + ": " + text;
                         });
        QObject::connect(&monitor, &HealthMonitor::alertCleared, &monitor,
                         [this](const QString& title, const QString& text) {
                             events << "clear " + title + ": " + text;
                         });
        QObject::connect(&monitor, &HealthMonitor::changed, &monitor, [this] { ++changes; });
    }

    // Runs the script; returns the colour after each step.
    QString run(const QString& script) {
        QString colours;
        for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
            const qsizetype startsBefore = rig.starter.starts.size();
            const QString rest = step.mid(1);
            if (step.startsWith('@')) {
                rig.advance(rest.toLongLong() * 60000 - rig.clock.now());
                continue;
            }
            if (step == "s" || step == "S")
                monitor.queryStarted(step == "s");
            else if (step.startsWith('b') || step.startsWith('c'))
                monitor.queryAnswered(step.startsWith('b'), rest + "\r\n");
            else if (step.startsWith("t:"))
                monitor.queryAnswered(true, step.mid(2));
            else if (step == "fb" || step == "fc")
                monitor.queryFailed(step == "fb", "log missing");
            else
                qFatal("unknown step %s", qPrintable(step));
            for (qsizetype i = startsBefore; i < rig.starter.starts.size(); ++i)
                events << "run " + rig.starter.starts[i].text;
            colours += letter(monitor.colour());
        }
        return colours;
    }

    tw::test::TestRig& rig;
    HealthMonitor monitor;
    QStringList events;
    int changes = 0;
};

} // namespace

class TestHealthMonitor : public QObject {
    Q_OBJECT

private slots:
    void querySignals_data();
    void querySignals();
    void loadSettings_data();
    void loadSettings();
    void saveSettings_data();
    void saveSettings();
    void alerts_data();
    void alerts();
    void summary_data();
    void summary();
    void settingsFromTheDialog();
    void alertCommandNotStarted();
};

// Real query cycles over the fakes: what the poll says it started, read and
// failed to read, with the virtual time of each signal.
void TestHealthMonitor::querySignals_data() {
    QTest::addColumn<QString>("client"); // what the client does; see querySignals()
    QTest::addColumn<QString>("clicks"); // B: G-B-C, C: G-C-C, one cycle each
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char* name, const char* client, const char* clicks,
                        const QStringList& expected) {
        QTest::newRow(name) << client << clicks << expected;
    };
    row("block count answered", "answer 840123\r\n", "B",
        {"1000 started blocks", "6000 answered blocks 840123\\r\\n"});
    row("connections answered", "answer 8\n", "C",
        {"1000 started connections", "6000 answered connections 8\\n"});
    row("an answer that is not a number is still an answer", "answer error: no server\n", "B",
        {"1000 started blocks", "6000 answered blocks error: no server\\n"});
    row("no log written", "nolog", "B", {"1000 started blocks", "6000 failed blocks log missing"});
    row("log empty", "answer ", "C",
        {"1000 started connections", "6000 failed connections log empty"});
    row("batch file missing", "missing", "B",
        {"1000 started blocks", "6000 failed blocks batch file not started"});
    row("log of an earlier run left as it was", "stale", "C",
        {"1000 started connections", "6000 failed connections log not updated by the query"});
    row("two cycles, one after the other", "answer 5\n", "BC",
        {"1000 started blocks", "6000 answered blocks 5\\n", "8000 started connections",
         "13000 answered connections 5\\n"});
}

void TestHealthMonitor::querySignals() {
    QFETCH(QString, client);
    QFETCH(QString, clicks);
    QFETCH(QStringList, expected);
    tw::test::TestRig rig;
    rig.storeQueryPaths(Folder);
    for (const QString query : {"GBC", "GCC"}) {
        if (client == "missing")
            rig.starter.missing.insert(Folder + query + ".BAT");
        if (client == "stale")
            rig.files.files.insert(Folder + query + ".LOG", "7\n");
    }
    rig.starter.onBatch = [&](const QString& path) {
        if (client.startsWith("answer "))
            rig.files.put(path.chopped(3) + "LOG", client.mid(7).toUtf8());
    };
    auto& window = rig.start();
    rig.leaveQueryButtonsToThePolls();
    auto* poll = window.findChild<tw::poll::ChainPoll*>();
    QVERIFY(poll);
    QStringList seen;
    const auto kind = [](bool blockCount) { return blockCount ? "blocks" : "connections"; };
    connect(poll, &tw::poll::ChainPoll::queryStarted, poll, [&](bool blockCount) {
        seen << QString("%1 started %2").arg(rig.clock.now()).arg(kind(blockCount));
    });
    connect(poll, &tw::poll::ChainPoll::queryAnswered, poll,
            [&](bool blockCount, const QString& text) {
                seen << QString("%1 answered %2 %3")
                            .arg(rig.clock.now())
                            .arg(kind(blockCount), escaped(text));
            });
    connect(
        poll, &tw::poll::ChainPoll::queryFailed, poll, [&](bool blockCount, const QString& reason) {
            seen << QString("%1 failed %2 %3").arg(rig.clock.now()).arg(kind(blockCount), reason);
        });
    for (const QChar click : clicks)
        rig.button(click == 'B' ? "GETBLOCKCOUNT_BUTTON" : "GETCONNECTIONCOUNT_BUTTON")->click();
    rig.advance(30000);
    QCOMPARE(seen, expected);
}

void TestHealthMonitor::loadSettings_data() {
    QTest::addColumn<QString>("setup"); // the store's values, as a person may have edited them
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("stallMinutes");
    QTest::addColumn<int>("failureCount");
    QTest::addColumn<QString>("command");
    const auto row = [](const char* name, const char* setup, bool enabled, int stall, int failures,
                        const char* command) {
        QTest::newRow(name) << setup << enabled << stall << failures << command;
    };
    row("nothing stored: the defaults", "", true, 90, 3, "");
    row("all stored",
        "HEALTH_ALERTS_TICKBOX=0;HEALTH_STALL_MINUTES=30;HEALTH_FAILURE_COUNT=5;"
        "HEALTH_ALERT_COMMAND=notify-send \"node\"",
        false, 30, 5, "notify-send \"node\"");
    row("stall: not a number", "HEALTH_STALL_MINUTES=abc", true, 90, 3, "");
    row("stall: zero", "HEALTH_STALL_MINUTES=0", true, 90, 3, "");
    row("stall: negative", "HEALTH_STALL_MINUTES=-5", true, 90, 3, "");
    row("stall: too large", "HEALTH_STALL_MINUTES=99999999", true, 90, 3, "");
    row("stall: blanks around", "HEALTH_STALL_MINUTES= 45 ", true, 45, 3, "");
    row("stall: the largest", "HEALTH_STALL_MINUTES=10080", true, 10080, 3, "");
    row("stall: one past the largest", "HEALTH_STALL_MINUTES=10081", true, 90, 3, "");
    row("failures: not a number", "HEALTH_FAILURE_COUNT=abc", true, 90, 3, "");
    row("failures: zero", "HEALTH_FAILURE_COUNT=0", true, 90, 3, "");
    row("failures: negative", "HEALTH_FAILURE_COUNT=-5", true, 90, 3, "");
    row("failures: too large", "HEALTH_FAILURE_COUNT=99999999", true, 90, 3, "");
    row("failures: blanks around", "HEALTH_FAILURE_COUNT= 90 ", true, 90, 90, "");
    row("failures: one", "HEALTH_FAILURE_COUNT=1", true, 90, 1, "");
    row("failures: a fraction", "HEALTH_FAILURE_COUNT=2.5", true, 90, 3, "");
    row("alerts: neither 0 nor 1", "HEALTH_ALERTS_TICKBOX=yes", true, 90, 3, "");
    row("alerts: 0 with blanks", "HEALTH_ALERTS_TICKBOX= 0 ", false, 90, 3, "");
}

void TestHealthMonitor::loadSettings() {
    QFETCH(QString, setup);
    tw::test::TestRig rig;
    storeAll(rig, setup);
    const AlertSettings settings = AlertSettings::load(rig.settingsStore);
    QTEST(settings.enabled, "enabled");
    QTEST(settings.stallMinutes, "stallMinutes");
    QTEST(settings.failureCount, "failureCount");
    QTEST(settings.command, "command");
    // The monitor starts with what the store holds.
    QCOMPARE(HealthMonitor(rig.services, {}).settings(), settings);
}

void TestHealthMonitor::saveSettings_data() {
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("stallMinutes");
    QTest::addColumn<int>("failureCount");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("stored"); // tick box, stall, failures, command
    QTest::newRow("on") << true << 45 << 7 << "beep --loud"
                        << QStringList{"1", "45", "7", "beep --loud"};
    QTest::newRow("off, no command")
        << false << 10080 << 1 << "" << QStringList{"0", "10080", "1", ""};
}

void TestHealthMonitor::saveSettings() {
    QFETCH(bool, enabled);
    QFETCH(int, stallMinutes);
    QFETCH(int, failureCount);
    QFETCH(QString, command);
    QFETCH(QStringList, stored);
    tw::test::TestRig rig;
    const AlertSettings settings{enabled, stallMinutes, failureCount, command};
    settings.save(rig.settingsStore);
    QStringList inStore;
    for (const QString& key : {AlertSettings::EnabledKey, AlertSettings::StallMinutesKey,
                               AlertSettings::FailureCountKey, AlertSettings::CommandKey})
        inStore << rig.stored(key).value_or("<missing>");
    QCOMPARE(inStore, stored);
    QCOMPARE(AlertSettings::load(rig.settingsStore), settings);
}

void TestHealthMonitor::alerts_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("colours");
    QTest::addColumn<QStringList>("events");
    const QString cmd = "HEALTH_ALERT_COMMAND=alert-me";
    const QString stalled = "raise Node stalled: The block count has stayed at 100 for %1 minutes.";
    const QString failing = "raise Node not answering: The last %1 queries got no answer (the "
                            "last: %2).";
    const auto row = [](const char* name, const QString& setup, const char* script,
                        const char* colours, const QStringList& events) {
        QTest::newRow(name) << setup << script << colours << events;
    };
    // clang-format off
    row("nothing answered yet", cmd, "", "", {});
    row("a query runs before the first answer", cmd, "s", "Y", {});
    row("connections alone leave the dot grey", cmd, "S c8", "Y-", {});
    row("rises every minute", cmd, "s b100 @1 s b101 @2 s b102", "YGYGYG", {});
    row("a plateau shorter than the stall time", cmd, "b100 @89 b100 @100 b101", "GGG", {});
    row("a plateau as long as the stall time: one alert, one all-clear", cmd,
        "b100 @90 b100 @91 b100 @95 b100 @96 b101 @97 b101", "GRRRGG",
        {stalled.arg(90), "run alert-me",
         "clear Node moving again: The block count rose to 101 after 96 minutes at 100."});
    row("a stall time of one minute says so in the singular", "HEALTH_STALL_MINUTES=1",
        "b100 @1 b100 @2 b101", "GRG",
        {"raise Node stalled: The block count has stayed at 100 for 1 minute.",
         "clear Node moving again: The block count rose to 101 after 2 minutes at 100."});
    row("the first answer starts the watch", cmd, "fb @60 b100 @149 b100 @150 b100", "RGGR",
        {stalled.arg(90), "run alert-me"});
    row("a lower block count is no rise", cmd, "b100 @50 b90 @90 b90 @91 b91", "GGRG",
        {"raise Node stalled: The block count has stayed at 90 for 90 minutes.", "run alert-me",
         "clear Node moving again: The block count rose to 91 after 91 minutes at 90."});
    row("a stall ends with a rise, a new one needs the whole stall time again", cmd,
        "b100 @90 b100 @91 b101 @180 b101 @181 b101", "GRGGR",
        {stalled.arg(90), "run alert-me",
         "clear Node moving again: The block count rose to 101 after 91 minutes at 100.",
         "raise Node stalled: The block count has stayed at 101 for 90 minutes.", "run alert-me"});
    row("failures below the count", cmd, "b100 fb fc b101", "GRRG", {});
    row("failures at the count, then recovery", cmd, "b100 s fb S fc s fb S fc S c8 s b101",
        "GYRYRYRYRYRYG",
        {failing.arg(3).arg("log missing"), "run alert-me",
         "clear Node answering again: The node answered again after 4 failed queries."});
    row("answers that are not numbers count as failures", cmd, "b100 t:abc t:error t:-5 b101",
        "GRRRG",
        {failing.arg(3).arg("the answer was not a number"), "run alert-me",
         "clear Node answering again: The node answered again after 3 failed queries."});
    row("a connection answer ends a run of failures", cmd, "b100 fb fb c8 fb fb b101", "GRRRRRG", {});
    row("failure count from the store", "HEALTH_FAILURE_COUNT=1;" + cmd, "fc b5", "RG",
        {"raise Node not answering: The last query got no answer (log missing).", "run alert-me",
         "clear Node answering again: The node answered again after 1 failed query."});
    row("stall time from the store", "HEALTH_STALL_MINUTES=5;" + cmd, "b100 @4 b100 @5 b100",
        "GGR", {stalled.arg(5), "run alert-me"});
    row("stall and failures overlapping", cmd,
        "b100 @90 b100 fb fc fb @100 b100 @101 b101", "GRRRRRG",
        {stalled.arg(90), "run alert-me", failing.arg(3).arg("log missing"), "run alert-me",
         "clear Node answering again: The node answered again after 3 failed queries.",
         "clear Node moving again: The block count rose to 101 after 101 minutes at 100."});
    row("failures through the stall time: the stall shows at the next answer", cmd,
        "b100 fb fb @120 b100 b101", "GRRRG",
        {stalled.arg(120), "run alert-me",
         "clear Node moving again: The block count rose to 101 after 120 minutes at 100."});
    row("alerts off: colours only", "HEALTH_ALERTS_TICKBOX=0;" + cmd,
        "b100 @90 b100 fb fc fb @100 b100 @101 b101", "GRRRRRG", {});
    row("no alert command: the alerts alone", "",
        "b100 fb fc fb b101", "GRRRG",
        {failing.arg(3).arg("log missing"),
         "clear Node answering again: The node answered again after 3 failed queries."});
    // clang-format on
}

void TestHealthMonitor::alerts() {
    QFETCH(QString, setup);
    QFETCH(QString, script);
    tw::test::TestRig rig;
    storeAll(rig, setup);
    Watch watch(rig);
    QCOMPARE(letter(watch.monitor.colour()), '-');
    QTEST(watch.run(script), "colours");
    QTEST(watch.events, "events");
    QCOMPARE(rig.diagnostics.failureCount(), 0);
}

void TestHealthMonitor::summary_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<int>("changes"); // how often changed() was emitted
    const auto row = [](const char* name, const char* script, const char* summary, int changes) {
        QTest::newRow(name) << script << summary << changes;
    };
    row("nothing yet", "", "Block count: \u2013 (no answer yet)", 0);
    row("block count", "@14 b871234", "Block count: 871234 (14:39:37)", 1);
    row("both", "@14 b871234 @15 c8", "Block count: 871234 (14:39:37)\nConnections: 8 (14:40:37)",
        2);
    row("connections first", "@3 c8",
        "Block count: \u2013 (no answer yet)\nConnections: 8 (14:28:37)", 1);
    row("the same answer at the same time changes nothing", "b5 b5", "Block count: 5 (14:25:37)",
        1);
    row("the same answer later: a new time", "b5 @1 b5", "Block count: 5 (14:26:37)", 2);
    row("a running query changes the colour only", "b5 s", "Block count: 5 (14:25:37)", 2);
    row("a block-count failure keeps the last count", "b5 @2 fb",
        "Block count: 5 (14:25:37)\nBlock-count query failed: log missing", 2);
    row("a connection failure", "b5 c8 @1 fc",
        "Block count: 5 (14:25:37)\nConnections: 8 (14:25:37)\nConnection-count query failed: "
        "log missing",
        3);
    row("stalled", "@10 b5 @100 b5", "Block count: 5 (16:05:37)\nNo new block since 14:35:37", 2);
}

void TestHealthMonitor::summary() {
    QFETCH(QString, script);
    tw::test::TestRig rig;
    Watch watch(rig);
    watch.run(script);
    QTEST(watch.monitor.summary(), "summary");
    QTEST(watch.changes, "changes");
}

// The alerts dialog hands in new settings: they count from the next answer.
void TestHealthMonitor::settingsFromTheDialog() {
    tw::test::TestRig rig;
    Watch watch(rig);
    QCOMPARE(watch.run("b100 fb fb"), "GRR");
    AlertSettings settings = watch.monitor.settings();
    settings.failureCount = 2;
    settings.command = "beep";
    watch.monitor.setSettings(settings);
    QCOMPARE(watch.run("fb b101"), "RG");
    settings.enabled = false;
    watch.monitor.setSettings(settings);
    QCOMPARE(watch.run("fb fb b102"), "RRG");
    QCOMPARE(watch.events,
             (QStringList{"raise Node not answering: The last 3 queries got no answer (the last: "
                          "log missing).",
                          "run beep",
                          "clear Node answering again: The node answered again after 3 failed "
                          "queries."}));
}

// An alert command that cannot be started is said once in the diagnostics;
// the alerts go on.
void TestHealthMonitor::alertCommandNotStarted() {
    tw::test::TestRig rig;
    rig.store(AlertSettings::CommandKey, "no-such-command");
    rig.store(AlertSettings::FailureCountKey, "1");
    rig.starter.missing.insert("no-such-command");
    Watch watch(rig);
    QCOMPARE(watch.run("fb b1 fb b2"), "RGRG");
    QCOMPARE(watch.events.size(), 4);
    QCOMPARE(rig.diagnostics.failureCount(), 1);
    QVERIFY(rig.diagnostics.isReported(HealthMonitor::CommandFailureKey));
    QCOMPARE(rig.diagnostics.lastFailure(), "Alert command not run: cannot start: no-such-command");
    rig.starter.missing.clear();
    QCOMPARE(watch.run("fb b3"), "RG");
    QVERIFY(!rig.diagnostics.isReported(HealthMonitor::CommandFailureKey));
    QCOMPARE(watch.events.mid(4),
             (QStringList{"raise Node not answering: The last query got no answer (log missing).",
                          "run no-such-command",
                          "clear Node answering again: The node answered again after 1 failed "
                          "query."}));
}

QTEST_MAIN(TestHealthMonitor)
#include "tst_health_monitor.moc"
