// The node's health as the tray and the alerts see it: the poll's query
// signals over real cycles, the alert settings as the store holds them, and
// the health monitor on virtual time.
//
// The monitor cases are scripts (tests/support/ScriptRunner.h) whose steps
// feed the monitor as the poll does; @Nm moves on to N minutes after the
// start:
//   started blocks|connections   a block-count (connection-count) query starts
//   blocks N  connections N      that query answers N, as the client writes it
//   blocks-text TEXT             the block-count query answers TEXT, not a number
//   failed blocks|connections    that query gets no answer ("log missing")
//   state K=V,K=V                the node's state arrives: blocks, headers,
//                                ibd (0/1), progress, tip (its age in minutes
//                                now), warnings (the text; empty: none)
// The fields: colour, the dot's (grey, yellow, green, red), and colours, the
// dot's after each step so far; events, the alerts, all-clears and alert
// commands run, in order, separated by " | "; changes, how often changed()
// was emitted; summary, with \n between its lines; and the diagnostics'
// failures, reported keys and last failure.

#include "health/AlertSettings.h"
#include "health/HealthMonitor.h"
#include "poll/ChainPoll.h"
#include "tests/support/ScriptRunner.h"

#include <QLocale>
#include <QTest>

using tw::health::AlertSettings;
using tw::health::HealthColour;
using tw::health::HealthMonitor;
using tw::test::ScriptRunner;

namespace {

const QString Folder = "/node/";

QString colourName(HealthColour colour) {
    switch (colour) {
    case HealthColour::Grey:
        return "grey";
    case HealthColour::Yellow:
        return "yellow";
    case HealthColour::Green:
        return "green";
    case HealthColour::Red:
        return "red";
    }
    return "?";
}

// "KEY=value;KEY=value" into the rig's store.
void storeAll(tw::test::TestRig& rig, const QString& setup) {
    for (const QString& entry : setup.split(';', Qt::SkipEmptyParts))
        rig.store(entry.section('=', 0, 0), entry.section('=', 1));
}

// The wall clock runs ahead of the platform clock (which counts from the
// program's start): the summary shows the wall clock's time of day.
constexpr qint64 WallOffset = (14 * 3600 + 25 * 60 + 37) * 1000;

// A monitor on the rig's services and the runner of its scripts.
struct Watch {
    explicit Watch(tw::test::TestRig& rig)
        : rig(rig), monitor(rig.services, [&rig] { return rig.clock.now() + WallOffset; }),
          runner(rig) {
        const auto note = [this](const QString& what) {
            return [this, what](const QString& title, const QString& text) {
                events << what + " " + title + ": " + text;
            };
        };
        QObject::connect(&monitor, &HealthMonitor::alertRaised, &monitor, note("raise"));
        QObject::connect(&monitor, &HealthMonitor::alertCleared, &monitor, note("clear"));
        QObject::connect(&monitor, &HealthMonitor::changed, &monitor, [this] { ++changes; });
        runner.addStep("started",
                       [this](const QString& kind) { monitor.queryStarted(blockCount(kind)); });
        runner.addStep("blocks",
                       [this](const QString& n) { monitor.queryAnswered(true, n + "\r\n"); });
        runner.addStep("connections",
                       [this](const QString& n) { monitor.queryAnswered(false, n + "\r\n"); });
        runner.addStep("blocks-text",
                       [this](const QString& text) { monitor.queryAnswered(true, text); });
        runner.addStep("failed", [this](const QString& kind) {
            monitor.queryFailed(blockCount(kind), "log missing");
        });
        runner.addStep("state", [this](const QString& fields) {
            tw::node::NodeState state;
            for (const QString& field : fields.split(',', Qt::SkipEmptyParts)) {
                const QString key = field.section('=', 0, 0), value = field.section('=', 1);
                if (key == "blocks")
                    state.blocks = value.toLongLong();
                else if (key == "headers")
                    state.headers = value.toLongLong();
                else if (key == "ibd")
                    state.initialBlockDownload = value == "1";
                else if (key == "progress")
                    state.verificationProgress = value.toDouble();
                else if (key == "tip")
                    state.tipTime = monitor.wallSeconds() - value.toLongLong() * 60;
                else if (key == "warnings")
                    state.warnings = value;
                else
                    runner.fail("no state field " + key);
            }
            monitor.nodeStateRead(state, {});
        });
        runner.afterEachAction = [this, &rig] {
            for (; startsSeen < rig.starter.starts.size(); ++startsSeen)
                events << "run " + rig.starter.starts[startsSeen].text;
            colours << colourName(monitor.colour());
        };
        runner.addField("colour", [this] { return colourName(monitor.colour()); });
        runner.addListField("colours", [this] { return colours; });
        runner.addField("events", [this] { return events.join(" | "); });
        runner.addField("changes", [this] { return QString::number(changes); });
        runner.addField("summary", [this] { return ScriptRunner::escaped(monitor.summary()); });
        runner.addField("failures",
                        [&rig] { return QString::number(rig.diagnostics.failureCount()); });
        runner.addReportedField("reported", {HealthMonitor::CommandFailureKey});
        runner.addField("last-failure", [&rig] { return rig.diagnostics.lastFailure(); });
    }

    bool blockCount(const QString& kind) {
        if (kind != "blocks" && kind != "connections")
            runner.fail("blocks or connections?");
        return kind == "blocks";
    }

    tw::test::TestRig& rig;
    HealthMonitor monitor;
    ScriptRunner runner;
    QStringList events;
    QStringList colours;
    qsizetype startsSeen = 0;
    int changes = 0;
};

} // namespace

class TestHealthMonitor : public QObject {
    Q_OBJECT

private slots:
    // Numbers as a US English desktop writes them, whatever the machine's.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
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
    rig.start();
    rig.leaveQueryButtonsToThePolls();
    auto* poll = &rig.poll();
    QStringList seen;
    const auto kind = [](bool blockCount) { return blockCount ? "blocks" : "connections"; };
    connect(poll, &tw::poll::ChainPoll::queryStarted, poll, [&](bool blockCount) {
        seen << QString("%1 started %2").arg(rig.clock.now()).arg(kind(blockCount));
    });
    connect(poll, &tw::poll::ChainPoll::queryAnswered, poll,
            [&](bool blockCount, const QString& text) {
                seen << QString("%1 answered %2 %3")
                            .arg(rig.clock.now())
                            .arg(kind(blockCount), ScriptRunner::escaped(text));
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
    QTest::addColumn<QStringList>("monitoring"); // endpoint, metrics folder, webhook, Alertmanager
    QTest::addColumn<QStringList>(
        "stored"); // tick box, stall, failures, command, the monitoring four
    const QStringList monitoring{"127.0.0.1:9333", "/var/lib/prometheus/node-exporter",
                                 "https://ntfy.sh/t", "http://127.0.0.1:9093"};
    QTest::newRow("on") << true << 45 << 7 << "beep --loud" << monitoring
                        << QStringList{"1", "45", "7", "beep --loud"} + monitoring;
    QTest::newRow("off, no command, monitoring off")
        << false << 10080 << 1 << "" << QStringList{"", "", "", ""}
        << QStringList{"0", "10080", "1", "", "", "", "", ""};
}

void TestHealthMonitor::saveSettings() {
    QFETCH(bool, enabled);
    QFETCH(int, stallMinutes);
    QFETCH(int, failureCount);
    QFETCH(QString, command);
    QFETCH(QStringList, monitoring);
    QFETCH(QStringList, stored);
    tw::test::TestRig rig;
    const AlertSettings settings{enabled,       stallMinutes,  failureCount,  command,
                                 monitoring[0], monitoring[1], monitoring[2], monitoring[3]};
    settings.save(rig.settingsStore);
    QStringList inStore;
    for (const QString& key : {AlertSettings::EnabledKey, AlertSettings::StallMinutesKey,
                               AlertSettings::FailureCountKey, AlertSettings::CommandKey,
                               AlertSettings::MetricsListenKey, AlertSettings::MetricsFolderKey,
                               AlertSettings::WebhookKey, AlertSettings::AlertmanagerUrlKey})
        inStore << rig.stored(key).value_or("<missing>");
    QCOMPARE(inStore, stored);
    QCOMPARE(AlertSettings::load(rig.settingsStore), settings);
}

void TestHealthMonitor::alerts_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("events");
    const QString cmd = "HEALTH_ALERT_COMMAND=alert-me";
    const QString stalled = "raise Node stalled: The block count has stayed at 100 for %1 minutes.";
    const QString failing = "raise Node not answering: The last %1 queries got no answer (the "
                            "last: %2).";
    const auto row = [](const char* name, const QString& setup, const char* script,
                        const QStringList& events) {
        QTest::newRow(name) << setup << script << events;
    };
    // clang-format off
    row("nothing answered yet", cmd, "colours=", {});
    row("a query runs before the first answer", cmd, "started blocks; colours=yellow", {});
    row("connections alone leave the dot grey", cmd, "started connections; connections 8; colours=yellow,grey", {});
    row("rises every minute", cmd,
        "started blocks; blocks 100; @1m; started blocks; blocks 101; @2m; started blocks; blocks 102;"
        "colours=yellow,green,yellow,green,yellow,green", {});
    row("a plateau shorter than the stall time", cmd,
        "blocks 100; @89m; blocks 100; @100m; blocks 101; colours=green,green,green", {});
    row("a plateau as long as the stall time: one alert, one all-clear", cmd,
        "blocks 100; @90m; blocks 100; @91m; blocks 100; @95m; blocks 100; @96m; blocks 101; @97m; blocks 101;"
        "colours=green,red,red,red,green,green",
        {stalled.arg(90), "run alert-me",
         "clear Node moving again: The block count rose to 101 after 96 minutes at 100."});
    row("a stall time of one minute says so in the singular", "HEALTH_STALL_MINUTES=1",
        "blocks 100; @1m; blocks 100; @2m; blocks 101; colours=green,red,green",
        {"raise Node stalled: The block count has stayed at 100 for 1 minute.",
         "clear Node moving again: The block count rose to 101 after 2 minutes at 100."});
    row("the first answer starts the watch", cmd,
        "failed blocks; @60m; blocks 100; @149m; blocks 100; @150m; blocks 100; colours=red,green,green,red",
        {stalled.arg(90), "run alert-me"});
    row("a lower block count is no rise", cmd,
        "blocks 100; @50m; blocks 90; @90m; blocks 90; @91m; blocks 91; colours=green,green,red,green",
        {"raise Node stalled: The block count has stayed at 90 for 90 minutes.", "run alert-me",
         "clear Node moving again: The block count rose to 91 after 91 minutes at 90."});
    row("a stall ends with a rise, a new one needs the whole stall time again", cmd,
        "blocks 100; @90m; blocks 100; @91m; blocks 101; @180m; blocks 101; @181m; blocks 101;"
        "colours=green,red,green,green,red",
        {stalled.arg(90), "run alert-me",
         "clear Node moving again: The block count rose to 101 after 91 minutes at 100.",
         "raise Node stalled: The block count has stayed at 101 for 90 minutes.", "run alert-me"});
    row("failures below the count", cmd,
        "blocks 100; failed blocks; failed connections; blocks 101; colours=green,red,red,green", {});
    row("failures at the count, then recovery", cmd,
        "blocks 100; started blocks; failed blocks; started connections; failed connections; started blocks; failed blocks;"
        "started connections; failed connections; started connections; connections 8; started blocks; blocks 101;"
        "colours=green,yellow,red,yellow,red,yellow,red,yellow,red,yellow,red,yellow,green",
        {failing.arg(3).arg("log missing"), "run alert-me",
         "clear Node answering again: The node answered again after 4 failed queries."});
    row("answers that are not numbers count as failures", cmd,
        "blocks 100; blocks-text abc; blocks-text error; blocks-text -5; blocks 101; colours=green,red,red,red,green",
        {failing.arg(3).arg("the answer was not a number"), "run alert-me",
         "clear Node answering again: The node answered again after 3 failed queries."});
    row("a connection answer ends a run of failures", cmd,
        "blocks 100; failed blocks; failed blocks; connections 8; failed blocks; failed blocks; blocks 101;"
        "colours=green,red,red,red,red,red,green", {});
    row("failure count from the store", "HEALTH_FAILURE_COUNT=1;" + cmd, "failed connections; blocks 5; colours=red,green",
        {"raise Node not answering: The last query got no answer (log missing).", "run alert-me",
         "clear Node answering again: The node answered again after 1 failed query."});
    row("stall time from the store", "HEALTH_STALL_MINUTES=5;" + cmd,
        "blocks 100; @4m; blocks 100; @5m; blocks 100; colours=green,green,red", {stalled.arg(5), "run alert-me"});
    row("stall and failures overlapping", cmd,
        "blocks 100; @90m; blocks 100; failed blocks; failed connections; failed blocks; @100m; blocks 100; @101m; blocks 101;"
        "colours=green,red,red,red,red,red,green",
        {stalled.arg(90), "run alert-me", failing.arg(3).arg("log missing"), "run alert-me",
         "clear Node answering again: The node answered again after 3 failed queries.",
         "clear Node moving again: The block count rose to 101 after 101 minutes at 100."});
    row("failures through the stall time: the stall shows at the next answer", cmd,
        "blocks 100; failed blocks; failed blocks; @120m; blocks 100; blocks 101; colours=green,red,red,red,green",
        {stalled.arg(120), "run alert-me",
         "clear Node moving again: The block count rose to 101 after 120 minutes at 100."});
    row("alerts off: colours only", "HEALTH_ALERTS_TICKBOX=0;" + cmd,
        "blocks 100; @90m; blocks 100; failed blocks; failed connections; failed blocks; @100m; blocks 100; @101m; blocks 101;"
        "colours=green,red,red,red,red,red,green", {});
    // With the node's own state: syncing is no stall, the tip's age is the measure.
    row("headers syncing while blocks stand still: no stall", "",
        "blocks 0; state blocks=0,headers=1000,ibd=1,tip=90000; @60m; blocks 0; state blocks=0,headers=300000,ibd=1,tip=90000;"
        "@120m; blocks 0; state blocks=0,headers=600000,ibd=1,tip=90000; @200m; blocks 0;"
        "state blocks=0,headers=800000,ibd=1,tip=90000; colours=green,green,green,green,green,green,green,green", {});
    row("blocks catching up under an old tip: no stall", "",
        "blocks 100; state blocks=100,headers=9000,ibd=1,tip=6000,progress=0.1; @60m; blocks 3000;"
        "state blocks=3000,headers=9000,ibd=1,tip=4000,progress=0.4; @120m; blocks 6000;"
        "state blocks=6000,headers=9000,ibd=1,tip=2000,progress=0.7; colours=green,green,green,green,green,green", {});
    row("a sync that froze is a stall, once the stall time has passed", "",
        "blocks 100; state blocks=100,headers=9000,ibd=1,tip=6000,progress=0.1; @89m; blocks 100;"
        "state blocks=100,headers=9000,ibd=1,tip=6089,progress=0.1; @90m; blocks 100;"
        "state blocks=100,headers=9000,ibd=1,tip=6090,progress=0.1; colours=green,green,green,green,red,red",
        {"raise Node stalled: The block count has stayed at 100 (the node's tip is 4 days old)."});
    row("beside a node stuck for hours: said at the first state", "",
        "blocks 100; state blocks=100,headers=100,ibd=0,tip=300; colours=green,red; @1m; blocks 101; state blocks=101,tip=1;"
        "colours=green,red,green,green",
        {"raise Node stalled: The block count has stayed at 100 (the node's tip is 5 h old).",
         "clear Node moving again: The block count rose to 101 after 1 minute at 100."});
    row("a new block with an old time (a miner's clock) is no stall", "",
        "blocks 100; state blocks=100,tip=5; @10m; blocks 101; state blocks=101,tip=100; @99m; blocks 101;"
        "state blocks=101,tip=189; @100m; blocks 101; state blocks=101,tip=190;"
        "colours=green,green,green,green,green,green,red,red",
        {"raise Node stalled: The block count has stayed at 101 (the node's tip is 3 h old)."});
    row("the node's warnings: once per text, and the all-clear", "",
        "blocks 100; state blocks=100,tip=1,warnings=Disk space is low; state blocks=100,tip=1,warnings=Disk space is low;"
        "summary=Block count: 100 (14:25:37)\\nNode warning: Disk space is low;"
        "state blocks=100,tip=1,warnings=Clock is off; state blocks=100,tip=1,warnings=; state blocks=100,tip=1",
        {"raise Node warning: Disk space is low", "raise Node warning: Clock is off",
         "clear Node warning gone: The node no longer warns."});
    row("no alert command: the alerts alone", "",
        "blocks 100; failed blocks; failed connections; failed blocks; blocks 101; colours=green,red,red,red,green",
        {failing.arg(3).arg("log missing"),
         "clear Node answering again: The node answered again after 3 failed queries."});
    // clang-format on
}

void TestHealthMonitor::alerts() {
    QFETCH(QString, setup);
    QFETCH(QString, script);
    QFETCH(QStringList, events);
    tw::test::TestRig rig;
    storeAll(rig, setup);
    Watch watch(rig);
    TW_RUN_SCRIPT(watch.runner,
                  "colour=grey; " + script + "; events=" + events.join(" | ") + "; failures=0");
}

void TestHealthMonitor::summary_data() {
    QTest::addColumn<QString>("script");
    // clang-format off
    const auto row = [](const char* name, const char* script) { QTest::newRow(name) << script; };
    row("nothing yet", "summary=Block count: \u2013 (no answer yet); changes=0");
    row("block count", "@14m; blocks 871234; summary=Block count: 871,234 (14:39:37); changes=1");
    row("both", "@14m; blocks 871234; @15m; connections 8; summary=Block count: 871,234 (14:39:37)\\nConnections: 8 (14:40:37);"
        "changes=2");
    row("connections first", "@3m; connections 8; summary=Block count: \u2013 (no answer yet)\\nConnections: 8 (14:28:37); changes=1");
    row("the same answer at the same time changes nothing", "blocks 5; blocks 5; summary=Block count: 5 (14:25:37); changes=1");
    row("the same answer later: a new time", "blocks 5; @1m; blocks 5; summary=Block count: 5 (14:26:37); changes=2");
    row("a running query changes the colour only", "blocks 5; started blocks; summary=Block count: 5 (14:25:37); changes=2");
    row("a block-count failure keeps the last count",
        "blocks 5; @2m; failed blocks; summary=Block count: 5 (14:25:37)\\nBlock-count query failed: log missing; changes=2");
    row("a connection failure", "blocks 5; connections 8; @1m; failed connections;"
        "summary=Block count: 5 (14:25:37)\\nConnections: 8 (14:25:37)\\nConnection-count query failed: log missing; changes=3");
    row("stalled", "@10m; blocks 5; @100m; blocks 5; summary=Block count: 5 (16:05:37)\\nNo new block since 14:35:37; changes=2");
    // clang-format on
}

void TestHealthMonitor::summary() {
    QFETCH(QString, script);
    tw::test::TestRig rig;
    Watch watch(rig);
    TW_RUN_SCRIPT(watch.runner, script);
}

// The alerts dialog hands in new settings: they count from the next answer.
void TestHealthMonitor::settingsFromTheDialog() {
    tw::test::TestRig rig;
    Watch watch(rig);
    TW_RUN_SCRIPT(watch.runner, "blocks 100; failed blocks; failed blocks; colours=green,red,red");
    AlertSettings settings = watch.monitor.settings();
    settings.failureCount = 2;
    settings.command = "beep";
    watch.monitor.setSettings(settings);
    TW_RUN_SCRIPT(watch.runner, "failed blocks; blocks 101; colours=green,red,red,red,green");
    settings.enabled = false;
    watch.monitor.setSettings(settings);
    TW_RUN_SCRIPT(
        watch.runner,
        "failed blocks; failed blocks; blocks 102; colours=green,red,red,red,green,red,red,green;"
        "events=raise Node not answering: The last 3 queries got no answer (the last: log "
        "missing). | run beep | clear Node answering again: The node answered again after 3 "
        "failed queries.");
}

// An alert command that cannot be started is said once in the diagnostics;
// the alerts go on.
void TestHealthMonitor::alertCommandNotStarted() {
    tw::test::TestRig rig;
    rig.store(AlertSettings::CommandKey, "no-such-command");
    rig.store(AlertSettings::FailureCountKey, "1");
    rig.starter.missing.insert("no-such-command");
    Watch watch(rig);
    const QString raised = "raise Node not answering: The last query got no answer (log missing).",
                  cleared =
                      "clear Node answering again: The node answered again after 1 failed query.";
    TW_RUN_SCRIPT(
        watch.runner,
        "failed blocks; blocks 1; failed blocks; blocks 2; colours=red,green,red,green; events=" +
            QStringList{raised, cleared, raised, cleared}.join(" | ") +
            "; failures=1; reported=health-command;"
            "last-failure=Alert command not run: cannot start: no-such-command");
    rig.starter.missing.clear();
    TW_RUN_SCRIPT(
        watch.runner,
        "failed blocks; blocks 3; colours=red,green,red,green,red,green; reported=; events=" +
            QStringList{raised, cleared, raised, cleared, raised, "run no-such-command", cleared}
                .join(" | "));
}

QTEST_MAIN(TestHealthMonitor)
#include "tst_health_monitor.moc"
