// The node's state as the client's JSON answers give it: what is taken,
// what stays unknown (never 0), what counts as an unknown call, and the
// texts built on it (the time-left estimate is tested with the history chart).

#include "node/NodeState.h"

#include <QLocale>
#include <QTest>

using tw::node::Call;
using tw::node::CallParse;
using tw::node::NodeState;

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(CallParse::Outcome)

namespace {

// A real node's answers, trimmed to what the panel reads plus a few fields
// it ignores.
const QByteArray BlockchainInfo = R"({
  "chain": "main",
  "blocks": 812345,
  "headers": 812400,
  "bestblockhash": "00000000000000000002a7c4c1e48d76c5a37902165a270156b7a8d72728a054",
  "difficulty": 57321508229258.04,
  "time": 1700000000,
  "mediantime": 1699998000,
  "verificationprogress": 0.9993456,
  "initialblockdownload": true,
  "size_on_disk": 590000000000,
  "pruned": false,
  "warnings": ""
})";
const QByteArray NetworkInfo = R"({
  "version": 270000,
  "subversion": "/Satoshi:27.0.0/",
  "connections": 8,
  "connections_in": 3,
  "connections_out": 5,
  "networkactive": true,
  "warnings": "This is a pre-release test build"
})";
const QByteArray MempoolInfo =
    R"({"loaded": true, "size": 4321, "bytes": 1800000, "usage": 9000000})";

// The fields of a state in a fixed order, "-" for unknown, for comparing
// rows at a glance.
QString fields(const NodeState& s) {
    const auto n = [](const std::optional<qint64>& v) {
        return v ? QString::number(*v) : QStringLiteral("-");
    };
    const auto d = [](const std::optional<double>& v) {
        return v ? QString::number(*v, 'g', 10) : QStringLiteral("-");
    };
    const auto b = [](const std::optional<bool>& v) {
        return v ? QString::number(int(*v)) : QStringLiteral("-");
    };
    return QStringList{s.chain.value_or("-"),
                       n(s.blocks),
                       n(s.headers),
                       d(s.verificationProgress),
                       b(s.initialBlockDownload),
                       n(s.tipTime),
                       n(s.sizeOnDisk),
                       b(s.pruned),
                       n(s.peersIn),
                       n(s.peersOut),
                       n(s.peersTotal),
                       b(s.networkActive),
                       n(s.version),
                       s.subversion.value_or("-"),
                       n(s.mempoolTransactions),
                       n(s.mempoolBytes),
                       s.warnings ? "[" + *s.warnings + "]" : "-"}
        .join(' ');
}

} // namespace

class TestNodeState : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // One call's answer into an empty state.
    void parse_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("errorOutput");
        QTest::addColumn<CallParse::Outcome>("outcome");
        QTest::addColumn<QString>("state");
        const auto read = CallParse::Outcome::Read;
        const auto notJson = CallParse::Outcome::NotJson;
        const auto unknown = CallParse::Outcome::Unknown;
        const QString none = "- - - - - - - - - - - - - - - - -";
        QTest::newRow("blockchain info")
            << Call::BlockchainInfo << BlockchainInfo << QByteArray() << read
            << "main 812345 812400 0.9993456 1 1700000000 590000000000 0 - - - - - - - - []";
        QTest::newRow("network info") << Call::NetworkInfo << NetworkInfo << QByteArray() << read
                                      << "- - - - - - - - 3 5 8 1 270000 /Satoshi:27.0.0/ - - "
                                         "[This is a pre-release test build]";
        QTest::newRow("mempool info") << Call::MempoolInfo << MempoolInfo << QByteArray() << read
                                      << "- - - - - - - - - - - - - - 4321 1800000 -";
        QTest::newRow("older node: no time, median time stands in; no in/out")
            << Call::BlockchainInfo << QByteArray(R"({"blocks": 5, "mediantime": 1600000000})")
            << QByteArray() << read << "- 5 - - - 1600000000 - - - - - - - - - - -";
        QTest::newRow("wrong types stay unknown, never 0")
            << Call::BlockchainInfo
            << QByteArray(
                   R"({"chain": 1, "blocks": "812345", "headers": -3, "verificationprogress": "1",)"
                   R"( "initialblockdownload": "false", "time": 1.5, "pruned": 0, "size_on_disk": null})")
            << QByteArray() << read << none;
        QTest::newRow("progress past the end is the end")
            << Call::BlockchainInfo << QByteArray(R"({"verificationprogress": 1.0000002})")
            << QByteArray() << read << "- - - 1 - - - - - - - - - - - - -";
        QTest::newRow("a number too large to hold exactly stays unknown")
            << Call::MempoolInfo << QByteArray(R"({"size": 1e300, "bytes": 18014398509481984})")
            << QByteArray() << read << none;
        QTest::newRow("newer node: warnings as a list, each text once")
            << Call::BlockchainInfo
            << QByteArray(R"({"warnings": ["Disk space is low", "", "Disk space is low", 7]})")
            << QByteArray() << read << "- - - - - - - - - - - - - - - - [Disk space is low]";
        QTest::newRow("empty answer")
            << Call::NetworkInfo << QByteArray() << QByteArray() << notJson << none;
        QTest::newRow("a list, not an object")
            << Call::MempoolInfo << QByteArray("[1,2]") << QByteArray() << notJson << none;
        QTest::newRow("a bare number (an old client's getblockcount)")
            << Call::BlockchainInfo << QByteArray("812345\n") << QByteArray() << notJson << none;
        QTest::newRow("cut in the middle")
            << Call::BlockchainInfo << BlockchainInfo.left(60) << QByteArray() << notJson << none;
        QTest::newRow("binary") << Call::NetworkInfo << QByteArray("\x00\xff\xfe{", 4)
                                << QByteArray() << notJson << none;
        QTest::newRow("huge") << Call::NetworkInfo
                              << QByteArray("{\"version\": 1, \"x\": \"") +
                                     QByteArray(2 << 20, 'a') + "\"}"
                              << QByteArray() << notJson << none;
        QTest::newRow("method not found on the error output")
            << Call::MempoolInfo << QByteArray()
            << QByteArray("error code: -32601\nerror message:\nMethod not found\n") << unknown
            << none;
        QTest::newRow("method not found on the standard output (a wrapper)")
            << Call::NetworkInfo << QByteArray("error: Method not found\n") << QByteArray()
            << unknown << none;
    }
    void parse() {
        QFETCH(Call, call);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errorOutput);
        QFETCH(CallParse::Outcome, outcome);
        QFETCH(QString, state);
        NodeState s;
        const CallParse parsed = tw::node::parseCall(call, output, errorOutput, s);
        QCOMPARE(parsed.outcome, outcome);
        QCOMPARE(fields(s), state);
        if (outcome != CallParse::Outcome::Read) {
            QVERIFY(parsed.detail.startsWith(tw::node::callName(call)));
            QVERIFY2(parsed.detail.size() < 200,
                     qPrintable(parsed.detail)); // never the whole answer
        }
    }

    void warningsOfBothCallsJoin() {
        NodeState s;
        tw::node::parseCall(Call::BlockchainInfo, R"({"warnings": "Disk space is low"})", {}, s);
        tw::node::parseCall(Call::NetworkInfo,
                            R"({"warnings": ["Disk space is low", "Clock is off"]})", {}, s);
        QCOMPARE(s.warnings.value_or("?"), QString("Disk space is low; Clock is off"));
    }

    void callArguments_data() {
        QTest::addColumn<QStringList>("line");
        QTest::addColumn<QStringList>("expected"); // empty: none
        QTest::newRow("plain") << QStringList{"bitcoin-cli", "-conf=/x y/b.conf", "getblockcount"}
                               << QStringList{"bitcoin-cli", "-conf=/x y/b.conf",
                                              "getblockchaininfo"};
        QTest::newRow("a wrapper, the word in another case, arguments after it")
            << QStringList{"/usr/bin/ssh", "node1", "bitcoin-cli", "GetBlockCount", "-stdin"}
            << QStringList{"/usr/bin/ssh", "node1", "bitcoin-cli", "getblockchaininfo", "-stdin"};
        QTest::newRow("the last one")
            << QStringList{"getblockcount", "getblockcount", "getblockcount"}
            << QStringList{"getblockcount", "getblockcount", "getblockchaininfo"};
        QTest::newRow("the program itself is never the word")
            << QStringList{"getblockcount"} << QStringList();
        QTest::newRow("no such word")
            << QStringList{"bitcoin-cli", "getconnectioncount"} << QStringList();
        QTest::newRow("part of a word is not the word")
            << QStringList{"cli", "-rpcwallet=getblockcount1"} << QStringList();
    }
    void callArguments() {
        QFETCH(QStringList, line);
        QFETCH(QStringList, expected);
        const auto arguments = tw::node::callArguments(line, Call::BlockchainInfo);
        QCOMPARE(arguments.value_or(QStringList()), expected);
    }

    void texts_data() {
        QTest::addColumn<QByteArray>("blockchain");
        QTest::addColumn<QByteArray>("network");
        QTest::addColumn<qint64>("timeLeft"); // -1: no estimate
        QTest::addColumn<QString>("tray");
        const qint64 none = -1;
        QTest::newRow("syncing, everything known")
            << BlockchainInfo << NetworkInfo << qint64(3 * 3600 + 100)
            << "BTC-A \u00b7 main \u00b7 block 812,345 of 812,400 (99.93 %, initial download, "
               "about 3 h left) "
               "\u00b7 tip 5 min old \u00b7 8 peers (3 in, 5 out) \u00b7 mempool 4,321 tx";
        QTest::newRow("synced: no progress, no estimate even when one is given")
            << QByteArray(
                   R"({"chain":"main","blocks":900000,"headers":900000,"verificationprogress":0.99999991,)"
                   R"("initialblockdownload":false,"time":1700000290})")
            << QByteArray(R"({"connections":8})") << qint64(600)
            << "BTC-A \u00b7 main \u00b7 block 900,000 \u00b7 tip 10 s old \u00b7 8 peers \u00b7 "
               "mempool 4,321 tx";
        QTest::newRow("nothing but blocks")
            << QByteArray(R"({"blocks":12})") << QByteArray("{}") << none
            << "BTC-A \u00b7 block 12 \u00b7 mempool 4,321 tx";
        QTest::newRow("99.999 % is not rounded up to 100")
            << QByteArray(R"({"blocks":10,"headers":11,"verificationprogress":0.99999})")
            << QByteArray("{}") << none
            << "BTC-A \u00b7 block 10 of 11 (99.99 %) \u00b7 mempool 4,321 tx";
        QTest::newRow("a tip in the future (clock skew) is 0 s old")
            << QByteArray(R"({"blocks":10,"time":1700009999})") << QByteArray("{}") << none
            << "BTC-A \u00b7 block 10 \u00b7 tip 0 s old \u00b7 mempool 4,321 tx";
        QTest::newRow("days")
            << QByteArray(R"({"blocks":10,"time":1699000000,"initialblockdownload":true})")
            << QByteArray("{}") << qint64(9 * 86400)
            << "BTC-A \u00b7 block 10 (initial download, about 9 days left) \u00b7 tip 12 days old "
               "\u00b7 mempool 4,321 tx";
    }
    void texts() {
        QFETCH(QByteArray, blockchain);
        QFETCH(QByteArray, network);
        QFETCH(qint64, timeLeft);
        QFETCH(QString, tray);
        NodeState s;
        tw::node::parseCall(Call::BlockchainInfo, blockchain, {}, s);
        tw::node::parseCall(Call::NetworkInfo, network, {}, s);
        tw::node::parseCall(Call::MempoolInfo, MempoolInfo, {}, s);
        const qint64 now = 1700000300;
        QCOMPARE(tw::node::text::trayLine(
                     "BTC-A", s, timeLeft < 0 ? std::nullopt : std::optional(timeLeft), now),
                 tray);
    }

    // The Node window's lines: every field named, unknown said as such.
    void fieldLines() {
        NodeState s;
        tw::node::parseCall(Call::BlockchainInfo, BlockchainInfo, {}, s);
        const QStringList lines = tw::node::text::fieldLines(s, 1700000300);
        QCOMPARE(lines.size(), 13);
        QVERIFY(lines.contains("Tip time: 2023-11-14 22:13:20 UTC (5 min old)"));
        QVERIFY(lines.contains("Peers: unknown"));
        QVERIFY(lines.contains("Warnings: none"));
        QVERIFY(lines.contains("Version: unknown"));
        QCOMPARE(tw::node::text::fieldLines(NodeState{}, 0).filter(": unknown").size(), 13);
    }
};

QTEST_GUILESS_MAIN(TestNodeState)
#include "tst_node_state.moc"
