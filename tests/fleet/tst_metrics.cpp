// The metrics' exposition text, whole, for snapshots that know everything,
// nothing and something in between; the snapshot taken from a health
// monitor fed as the poll feeds it; and every text read back by promtool
// (`promtool check metrics`), where it is installed, as Prometheus's own
// parser and linter.

#include "fleet/Metrics.h"
#include "health/HealthMonitor.h"
#include "tests/support/TestRig.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using tw::fleet::MetricsSnapshot;

Q_DECLARE_METATYPE(MetricsSnapshot)
Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {

MetricsSnapshot fullSnapshot() {
    MetricsSnapshot s;
    s.node = "BTC-A";
    s.version = "1.1";
    s.up = true;
    s.blockCount = 812345;
    s.connections = 9;
    s.state.chain = "main";
    s.state.blocks = 812345;
    s.state.headers = 812400;
    s.state.verificationProgress = 0.9993;
    s.state.initialBlockDownload = false;
    s.state.tipTime = 1700000000;
    s.state.sizeOnDisk = 600000000000;
    s.state.peersIn = 3;
    s.state.peersOut = 5;
    s.state.peersTotal = 8;
    s.state.mempoolTransactions = 4321;
    s.state.mempoolBytes = 2100000;
    s.lastBlocksAnswerMs = 1700000100250;
    s.lastConnectionsAnswerMs = 1700000101005;
    s.lastBlockChangeMs = 1700000040000;
    s.blocksFailures = 2;
    s.connectionsFailures = 17;
    s.cliRunning = false;
    s.stalled = true;
    s.notAnswering = false;
    s.warning = true;
    return s;
}

// The families every snapshot has, for `node` (already escaped), with the
// failure counts, the alerts' states and the version.
QByteArray alwaysThere(const QByteArray& node, qint64 blockFailures, qint64 connectionFailures,
                       const QByteArray& alerts, const QByteArray& version) {
    const QList<QByteArray> alert = alerts.split(',');
    return "# HELP twcliui_query_failures_total Queries that got no usable answer since the panel "
           "started.\n"
           "# TYPE twcliui_query_failures_total counter\n"
           "twcliui_query_failures_total{node=\"" +
           node + "\",query=\"blocks\"} " + QByteArray::number(blockFailures) +
           "\n"
           "twcliui_query_failures_total{node=\"" +
           node + "\",query=\"connections\"} " + QByteArray::number(connectionFailures) +
           "\n"
           "# HELP twcliui_alert_active Whether an alert episode of that kind is going on (1) or "
           "not (0).\n"
           "# TYPE twcliui_alert_active gauge\n"
           "twcliui_alert_active{node=\"" +
           node + "\",alert=\"stalled\"} " + alert[0] +
           "\n"
           "twcliui_alert_active{node=\"" +
           node + "\",alert=\"not_answering\"} " + alert[1] +
           "\n"
           "twcliui_alert_active{node=\"" +
           node + "\",alert=\"warning\"} " + alert[2] +
           "\n"
           "# HELP twcliui_build_info The panel's version; always 1.\n"
           "# TYPE twcliui_build_info gauge\n"
           "twcliui_build_info{node=\"" +
           node + "\",version=\"" + version + "\"} 1\n";
}

QByteArray upFamily(const QByteArray& node, const char* value) {
    return "# HELP twcliui_up Whether the panel's last query of the node answered (1) or not (0).\n"
           "# TYPE twcliui_up gauge\n"
           "twcliui_up{node=\"" +
           node + "\"} " + value + "\n";
}

// promtool's path, or empty when it is not installed.
QString promtool() {
    return QStandardPaths::findExecutable("promtool");
}

} // namespace

class TestMetrics : public QObject {
    Q_OBJECT
private slots:
    void exposition_data();
    void exposition();
    void labelValueEscaping_data();
    void labelValueEscaping();
    void snapshotOfMonitor_data();
    void snapshotOfMonitor();
};

void TestMetrics::exposition_data() {
    QTest::addColumn<MetricsSnapshot>("snapshot");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("everything known")
        << fullSnapshot()
        << upFamily("BTC-A", "1") +
               "# HELP twcliui_block_count The node's block count.\n"
               "# TYPE twcliui_block_count gauge\n"
               "twcliui_block_count{node=\"BTC-A\"} 812345\n"
               "# HELP twcliui_headers The headers the node knows of.\n"
               "# TYPE twcliui_headers gauge\n"
               "twcliui_headers{node=\"BTC-A\"} 812400\n"
               "# HELP twcliui_verification_progress The node's "
               "verification progress, 0 to 1.\n"
               "# TYPE twcliui_verification_progress gauge\n"
               "twcliui_verification_progress{node=\"BTC-A\"} 0.9993\n"
               "# HELP twcliui_initial_block_download Whether the "
               "node is in its initial block download (1) or not "
               "(0).\n"
               "# TYPE twcliui_initial_block_download gauge\n"
               "twcliui_initial_block_download{node=\"BTC-A\"} 0\n"
               "# HELP twcliui_tip_timestamp_seconds The time of the "
               "node's tip block, seconds since the epoch.\n"
               "# TYPE twcliui_tip_timestamp_seconds gauge\n"
               "twcliui_tip_timestamp_seconds{node=\"BTC-A\"} "
               "1700000000\n"
               "# HELP twcliui_connections The node's peer "
               "connections.\n"
               "# TYPE twcliui_connections gauge\n"
               "twcliui_connections{node=\"BTC-A\"} 9\n"
               "# HELP twcliui_connections_in The node's inbound "
               "peer connections.\n"
               "# TYPE twcliui_connections_in gauge\n"
               "twcliui_connections_in{node=\"BTC-A\"} 3\n"
               "# HELP twcliui_connections_out The node's outbound "
               "peer connections.\n"
               "# TYPE twcliui_connections_out gauge\n"
               "twcliui_connections_out{node=\"BTC-A\"} 5\n"
               "# HELP twcliui_mempool_transactions Transactions in "
               "the node's mempool.\n"
               "# TYPE twcliui_mempool_transactions gauge\n"
               "twcliui_mempool_transactions{node=\"BTC-A\"} 4321\n"
               "# HELP twcliui_mempool_bytes The size of the node's "
               "mempool in bytes.\n"
               "# TYPE twcliui_mempool_bytes gauge\n"
               "twcliui_mempool_bytes{node=\"BTC-A\"} 2100000\n"
               "# HELP twcliui_size_on_disk_bytes The size of the "
               "node's block data on disk in bytes.\n"
               "# TYPE twcliui_size_on_disk_bytes gauge\n"
               "twcliui_size_on_disk_bytes{node=\"BTC-A\"} "
               "600000000000\n"
               "# HELP twcliui_last_answer_timestamp_seconds When the "
               "query last answered a number, seconds since the "
               "epoch.\n"
               "# TYPE twcliui_last_answer_timestamp_seconds gauge\n"
               "twcliui_last_answer_timestamp_seconds{node=\"BTC-A\","
               "query=\"blocks\"} 1700000100.250\n"
               "twcliui_last_answer_timestamp_seconds{node=\"BTC-A\","
               "query=\"connections\"} 1700000101.005\n"
               "# HELP twcliui_last_block_change_timestamp_seconds "
               "When the panel last saw the block count rise (or its "
               "first answer), seconds since the epoch.\n"
               "# TYPE twcliui_last_block_change_timestamp_seconds "
               "gauge\n"
               "twcliui_last_block_change_timestamp_seconds{node="
               "\"BTC-A\"} 1700000040\n"
               "# HELP twcliui_cli_running Whether the node's "
               "command-line client is running (1) or not (0), as "
               "the process check saw it.\n"
               "# TYPE twcliui_cli_running gauge\n"
               "twcliui_cli_running{node=\"BTC-A\"} 0\n" +
               alwaysThere("BTC-A", 2, 17, "1,0,1", "1.1");

    // Nothing known: no zeros stand in for the unknown; the counters, the
    // alerts and the version are always there.
    MetricsSnapshot nothing;
    nothing.node = "fresh";
    nothing.version = "1.1";
    QTest::newRow("nothing known yet")
        << nothing << upFamily("fresh", "0") + alwaysThere("fresh", 0, 0, "0,0,0", "1.1");

    // A node that answers the counts but says nothing of its state, while
    // the client is running and the queries fail now.
    MetricsSnapshot counts;
    counts.node = "LTC";
    counts.version = "1.1";
    counts.blockCount = 5;
    counts.connections = 0;
    counts.lastBlocksAnswerMs = 1000;
    counts.lastBlockChangeMs = 999;
    counts.blocksFailures = 3;
    counts.cliRunning = true;
    counts.notAnswering = true;
    QTest::newRow("counts only, failing")
        << counts
        << upFamily("LTC", "0") +
               "# HELP twcliui_block_count The node's block count.\n"
               "# TYPE twcliui_block_count gauge\n"
               "twcliui_block_count{node=\"LTC\"} 5\n"
               "# HELP twcliui_connections The node's peer connections.\n"
               "# TYPE twcliui_connections gauge\n"
               "twcliui_connections{node=\"LTC\"} 0\n"
               "# HELP twcliui_last_answer_timestamp_seconds When the query last answered a "
               "number, seconds since the epoch.\n"
               "# TYPE twcliui_last_answer_timestamp_seconds gauge\n"
               "twcliui_last_answer_timestamp_seconds{node=\"LTC\",query=\"blocks\"} 1\n"
               "# HELP twcliui_last_block_change_timestamp_seconds When the panel last saw the "
               "block count rise (or its first answer), seconds since the epoch.\n"
               "# TYPE twcliui_last_block_change_timestamp_seconds gauge\n"
               "twcliui_last_block_change_timestamp_seconds{node=\"LTC\"} 0.999\n"
               "# HELP twcliui_cli_running Whether the node's command-line client is running (1) "
               "or not (0), as the process check saw it.\n"
               "# TYPE twcliui_cli_running gauge\n"
               "twcliui_cli_running{node=\"LTC\"} 1\n" +
               alwaysThere("LTC", 3, 0, "0,1,0", "1.1");

    // Names and versions that need escaping in label values; a progress
    // that is tiny (exponent form) and one that is whole.
    MetricsSnapshot odd;
    odd.node = "C:\\nodes\\\"main\"\nsecond line ü";
    odd.version = "1.1 \"beta\"";
    odd.state.verificationProgress = 1.5e-7;
    odd.state.initialBlockDownload = true;
    const QByteArray oddNode = "C:\\\\nodes\\\\\\\"main\\\"\\nsecond line \xc3\xbc";
    QTest::newRow("escaped labels, exponent")
        << odd
        << upFamily(oddNode, "0") +
               "# HELP twcliui_verification_progress The "
               "node's verification progress, 0 to 1.\n"
               "# TYPE twcliui_verification_progress gauge\n"
               "twcliui_verification_progress{node=\"" +
               oddNode +
               "\"} 1.5e-07\n"
               "# HELP twcliui_initial_block_download "
               "Whether the node is in its initial block "
               "download (1) or not (0).\n"
               "# TYPE twcliui_initial_block_download "
               "gauge\n"
               "twcliui_initial_block_download{node=\"" +
               oddNode + "\"} 1\n" + alwaysThere(oddNode, 0, 0, "0,0,0", "1.1 \\\"beta\\\"");
}

void TestMetrics::exposition() {
    QFETCH(MetricsSnapshot, snapshot);
    QFETCH(QByteArray, expected);
    const QByteArray text = tw::fleet::exposition(snapshot);
    // Line by line first, so that a difference shows where it is.
    QCOMPARE(text.split('\n'), expected.split('\n'));
    QCOMPARE(text, expected);
    QVERIFY(text.endsWith('\n'));
    QVERIFY(!text.contains('\r'));

    // Prometheus's own parser (and its linter) over the same text.
    const QString tool = promtool();
    if (tool.isEmpty())
        QSKIP("promtool is not installed (Debian: the prometheus package); the text was not "
              "read back");
    QProcess check;
    check.start(tool, {"check", "metrics"});
    QVERIFY(check.waitForStarted());
    check.write(text);
    check.closeWriteChannel();
    QVERIFY(check.waitForFinished(30000));
    const QByteArray said = check.readAllStandardOutput() + check.readAllStandardError();
    QVERIFY2(check.exitStatus() == QProcess::NormalExit, said.constData());
    // 0: clean; 1: the text does not parse; 3: it parses, with lint
    // findings. The one finding allowed is the block count's name, which
    // the linter takes for a histogram's _count.
    if (check.exitCode() == 3) {
        for (const QByteArray& line : said.trimmed().split('\n'))
            QVERIFY2(line == "twcliui_block_count non-histogram and non-summary metrics should not "
                             "have \"_count\" suffix",
                     said.constData());
    } else {
        QVERIFY2(check.exitCode() == 0, said.constData());
    }
}

void TestMetrics::labelValueEscaping_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("plain") << "BTC-A" << QByteArray("BTC-A");
    QTest::newRow("backslash") << "a\\b" << QByteArray("a\\\\b");
    QTest::newRow("double quote") << "say \"hi\"" << QByteArray("say \\\"hi\\\"");
    QTest::newRow("line feed") << "one\ntwo" << QByteArray("one\\ntwo");
    QTest::newRow("backslash before n stays two characters") << "\\n" << QByteArray("\\\\n");
    QTest::newRow("tab and carriage return as they are") << "a\tb\rc" << QByteArray("a\tb\rc");
    QTest::newRow("UTF-8") << QString::fromUtf8("Knoten ü €")
                           << QByteArray("Knoten \xc3\xbc \xe2\x82\xac");
}

void TestMetrics::labelValueEscaping() {
    QFETCH(QString, value);
    QFETCH(QByteArray, escaped);
    QCOMPARE(tw::fleet::escapeLabelValue(value), escaped);
}

// Steps as the poll feeds the monitor: "blocks N", "connections N",
// "failed blocks|connections", "peers N" (the node's state says N peers and
// the block count 7), separated by ';'.
void TestMetrics::snapshotOfMonitor_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("up");
    QTest::addColumn<std::optional<qint64>>("blockCount");
    QTest::addColumn<std::optional<qint64>>("connections");
    QTest::addColumn<qint64>("blockFailures");
    QTest::addColumn<qint64>("connectionFailures");
    QTest::addColumn<bool>("notAnswering");

    using O = std::optional<qint64>;
    QTest::newRow("nothing yet") << "" << false << O() << O() << 0LL << 0LL << false;
    QTest::newRow("both answered")
        << "blocks 812345;connections 8" << true << O(812345) << O(8) << 0LL << 0LL << false;
    QTest::newRow("connections from the node's state")
        << "blocks 812345;peers 11" << true << O(812345) << O(11) << 0LL << 0LL << false;
    QTest::newRow("the query's count before the state's")
        << "blocks 9;peers 11;connections 4" << true << O(9) << O(4) << 0LL << 0LL << false;
    QTest::newRow("block count from the state alone")
        << "peers 3" << false << O(7) << O(3) << 0LL << 0LL << false;
    QTest::newRow("last query failed: down, counted")
        << "blocks 5;connections 2;failed connections" << false << O(5) << O(2) << 0LL << 1LL
        << false;
    QTest::newRow("failing in a row: not answering")
        << "blocks 5;failed blocks;failed connections;failed blocks;failed blocks" << false << O(5)
        << O() << 3LL << 1LL << true;
}

void TestMetrics::snapshotOfMonitor() {
    QFETCH(QString, steps);
    QFETCH(bool, up);
    QFETCH(std::optional<qint64>, blockCount);
    QFETCH(std::optional<qint64>, connections);
    QFETCH(qint64, blockFailures);
    QFETCH(qint64, connectionFailures);
    QFETCH(bool, notAnswering);

    tw::test::TestRig rig;
    constexpr qint64 Wall = 1700000000000;
    tw::health::HealthMonitor monitor(rig.services, [&rig] { return Wall + rig.clock.now(); });
    for (const QString& step : steps.split(';', Qt::SkipEmptyParts)) {
        rig.advance(1000);
        const QString word = step.section(' ', 0, 0);
        const QString arg = step.section(' ', 1);
        if (word == "blocks" || word == "connections") {
            monitor.queryStarted(word == "blocks");
            monitor.queryAnswered(word == "blocks", arg);
        } else if (word == "failed") {
            monitor.queryStarted(arg == "blocks");
            monitor.queryFailed(arg == "blocks", "log missing");
        } else if (word == "peers") {
            tw::node::NodeState state;
            state.blocks = 7;
            state.peersTotal = arg.toLongLong();
            monitor.nodeStateRead(state, QString());
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }

    const MetricsSnapshot s = tw::fleet::snapshotOf(monitor, "BTC-A", true);
    QCOMPARE(s.node, QString("BTC-A"));
    QCOMPARE(s.version, tw::fleet::panelVersion());
    QVERIFY(!s.version.isEmpty());
    QCOMPARE(s.up, up);
    QCOMPARE(s.blockCount, blockCount);
    QCOMPARE(s.connections, connections);
    QCOMPARE(s.blocksFailures, blockFailures);
    QCOMPARE(s.connectionsFailures, connectionFailures);
    QCOMPARE(s.notAnswering, notAnswering);
    QCOMPARE(s.cliRunning, std::optional<bool>(true));
    QCOMPARE(s.state, monitor.nodeState());
    QCOMPARE(s.lastBlocksAnswerMs, monitor.lastAnswerMs(true));
    QCOMPARE(s.lastConnectionsAnswerMs, monitor.lastAnswerMs(false));
    QCOMPARE(s.lastBlockChangeMs, monitor.lastBlockChangeMs());
    // The answer times are wall-clock times.
    if (s.lastBlocksAnswerMs)
        QVERIFY(*s.lastBlocksAnswerMs > Wall);
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
