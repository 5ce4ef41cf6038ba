// The node's state asked after each block-count answer, through the
// program's own composition over the fakes: which program and arguments the
// three calls get from the block-count batch line, what reaches the
// monitor, the tray's tooltip and the Node window, and what is said when the
// line cannot serve or the client does not know a call.

#include "health/NodeWindow.h"
#include "health/Tray.h"
#include "node/NodeQuery.h"
#include "tests/support/TestRig.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using tw::node::NodeQuery;
using tw::platform::ProgramRun;

namespace {

const QString Folder = "/node/";

const QByteArray Blockchain =
    R"({"chain":"main","blocks":812345,"headers":812400,"verificationprogress":0.9993,)"
    R"("initialblockdownload":true,"time":1000,"warnings":""})";
const QByteArray Network =
    R"({"connections":8,"connections_in":3,"connections_out":5,"version":270000})";
const QByteArray Mempool = R"({"size":4321,"bytes":1800000})";

// The client answers each call as `answers` says: "ok" (the JSON above),
// "unknown" (Method not found), "refused" (cannot connect), "slow" (ended
// after the time given), "missing" (not started).
ProgramRun answer(const tw::test::FakeProcessStarter::Program& run, const QString& how) {
    ProgramRun result;
    const QString call =
        run.arguments.value(run.arguments.indexOf(QRegularExpression("get.*info")));
    if (how == "missing") {
        result.result =
            tw::platform::Result::failure("cannot start " + run.program + ": No such file");
    } else if (how == "refused") {
        result.exitStatus = 1;
        result.errorOutput = "error: Could not connect to the server 127.0.0.1:8332\n";
    } else if (how == "unknown") {
        result.exitStatus = 89;
        result.errorOutput = "error code: -32601\nerror message:\nMethod not found\n";
    } else if (how == "slow") {
        result.result = tw::platform::Result::failure("no answer within 10 s: ended");
        result.timedOut = true;
    } else {
        result.exitStatus = 0;
        result.output = call == "getblockchaininfo" ? Blockchain
                        : call == "getnetworkinfo"  ? Network
                                                    : Mempool;
    }
    return result;
}

struct Rig : tw::test::TestRig {
    QHash<QString, QString> how; // call -> how the client answers it; default "ok"
    Rig(const QByteArray& line) {
        storeQueryPaths(Folder);
        files.put(Folder + "GBC.BAT", line);
        starter.onBatch = [this](const QString& path) {
            files.put(path.chopped(3) + "LOG", "812345\r\n");
        };
        starter.onProgram = [this](const tw::test::FakeProcessStarter::Program& run) {
            for (auto it = how.cbegin(); it != how.cend(); ++it)
                if (run.arguments.contains(it.key()))
                    return answer(run, it.value());
            return answer(run, "ok");
        };
        start();
        leaveQueryButtonsToThePolls();
    }
    // One G-B-C cycle, then the node's answers.
    void blockCount() {
        QTest::mouseClick(button("GETBLOCKCOUNT_BUTTON"), Qt::LeftButton);
        advance(10000);
        starter.deliverPrograms();
    }
    tw::health::HealthMonitor& monitor() { return panel().monitor(); }
};

} // namespace

class TestNodeQuery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // The three calls get the block-count line's program and arguments, the
    // word replaced, the redirection and `call` dropped, quotes as cmd.exe
    // takes them.
    void callsFromTheLine_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments"); // of the first call
        QTest::newRow("as the settings window composes it")
            << QByteArray("call \"/opt/btc/bitcoin-cli\" -conf=/home/me/b.conf getblockcount > "
                          "/node/GBC.LOG\r\n")
            << "/opt/btc/bitcoin-cli" << QStringList{"-conf=/home/me/b.conf", "getblockchaininfo"};
        QTest::newRow("hand-edited: a wrapper, a quoted path with blanks")
            << QByteArray("/usr/bin/ssh node1 \"/srv/my coin/coin-cli\" -rpcport=9 GETBLOCKCOUNT > "
                          "\"/node/GBC.LOG\"\r\n")
            << "/usr/bin/ssh"
            << QStringList{"node1", "/srv/my coin/coin-cli", "-rpcport=9", "getblockchaininfo"};
    }
    void callsFromTheLine() {
        QFETCH(QByteArray, line);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        Rig rig(line);
        rig.blockCount();
        QCOMPARE(rig.starter.programs.size(), 3);
        QCOMPARE(rig.starter.programs[0].program, program);
        QCOMPARE(rig.starter.programs[0].arguments, arguments);
        QCOMPARE(rig.starter.programs[1].arguments.mid(arguments.size() - 1, 1),
                 QStringList{"getnetworkinfo"});
        QCOMPARE(rig.starter.programs[2].arguments.mid(arguments.size() - 1, 1),
                 QStringList{"getmempoolinfo"});
        QCOMPARE(rig.starter.programs[0].timeoutMs, NodeQuery::CallTimeoutMs);
    }

    // What the node said, where it shows; what is said when it says nothing.
    void whatShows_data() {
        QTest::addColumn<QString>("blockchain"); // how the client answers each call
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("mempool");
        QTest::addColumn<QString>("tray");     // the tooltip's first line
        QTest::addColumn<QStringList>("node"); // lines the Node window shows
        QTest::addColumn<QString>("said");     // the diagnostics' last failure, or empty
        const QString synced =
            "TW-CLI-UI \u00b7 main \u00b7 block 812,345 of 812,400 (99.93 %, initial download) "
            "\u00b7 tip ";
        QTest::newRow("all three answer")
            << "ok"
            << "ok"
            << "ok" << synced
            << QStringList{"Peers: 8 (3 in, 5 out)", "Mempool: 4,321 tx, 1.72 MiB",
                           "Last failure: none"}
            << "";
        QTest::newRow("an older coin without a mempool call: said once, its fields unknown")
            << "ok"
            << "ok"
            << "unknown" << synced << QStringList{"Mempool: unknown", "Peers: 8 (3 in, 5 out)"}
            << "Node state: getmempoolinfo: the client does not know this call; its fields stay "
               "unknown";
        QTest::newRow("the node refuses: the first failure in the client's words")
            << "refused"
            << "refused"
            << "refused"
            << "TW-CLI-UI"
            << QStringList{"Blocks: unknown", "State calls: getblockchaininfo: the client exited "
                                              "with status 1 and said \"error: Could "
                                              "not connect to the server 127.0.0.1:8332\""}
            << "";
        QTest::newRow("too slow, or no client")
            << "slow"
            << "missing"
            << "missing"
            << "TW-CLI-UI"
            << QStringList{"State calls: getblockchaininfo: no answer within 10 s: ended"} << "";
    }
    void whatShows() {
        QFETCH(QString, blockchain);
        QFETCH(QString, network);
        QFETCH(QString, mempool);
        QFETCH(QString, tray);
        QFETCH(QStringList, node);
        QFETCH(QString, said);
        Rig rig("bitcoin-cli getblockcount > /node/GBC.LOG\r\n");
        rig.how = {{"getblockchaininfo", blockchain},
                   {"getnetworkinfo", network},
                   {"getmempoolinfo", mempool}};
        rig.blockCount();
        const QString tip = rig.panel().health().tray().toolTip();
        QVERIFY2(tip.section('\n', 0, 0).startsWith(tray), qPrintable(tip));
        if (tray == "TW-CLI-UI")
            QCOMPARE(tip.section('\n', 0, 0), tray);
        tw::health::NodeWindow* window = rig.panel().health().showNode();
        for (const QString& line : node)
            QVERIFY2(window->text().split('\n').contains(line),
                     qPrintable(line + "\n---\n" + window->text()));
        QCOMPARE(rig.diagnostics.lastFailure().contains("Node state"), !said.isEmpty());
        if (!said.isEmpty())
            QVERIFY2(rig.diagnostics.lastFailure().endsWith(said),
                     qPrintable(rig.diagnostics.lastFailure()));
        // A second round says nothing new.
        const int failures = rig.diagnostics.failureCount();
        rig.advance(60000);
        rig.blockCount();
        QCOMPARE(rig.diagnostics.failureCount(), failures);
        window->close();
    }

    // A line that cannot serve is said once; nothing is started.
    void lineThatCannotServe_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("said");
        QTest::newRow("no getblockcount word")
            << QByteArray("my-block-script > /node/GBC.LOG\r\n")
            << "Node state not asked: its line has no word getblockcount to replace";
        QTest::newRow("an unclosed quote")
            << QByteArray("\"bitcoin-cli getblockcount > /node/GBC.LOG\r\n")
            << "Node state not asked: ";
    }
    void lineThatCannotServe() {
        QFETCH(QByteArray, line);
        QFETCH(QString, said);
        Rig rig(line);
        rig.blockCount();
        QCOMPARE(rig.starter.programs.size(), 0);
        QVERIFY(rig.diagnostics.isReported(NodeQuery::LineKey));
        QVERIFY2(rig.diagnostics.lastFailure().contains(said),
                 qPrintable(rig.diagnostics.lastFailure()));
    }

    // While a round runs, another answer starts none; the round's answer
    // comes once.
    void oneRoundAtATime() {
        Rig rig("bitcoin-cli getblockcount > /node/GBC.LOG\r\n");
        QSignalSpy answered(&rig.panel().nodeQuery(), &NodeQuery::answered);
        QTest::mouseClick(rig.button("GETBLOCKCOUNT_BUTTON"), Qt::LeftButton);
        rig.advance(10000);
        QTest::mouseClick(rig.button("GETBLOCKCOUNT_BUTTON"), Qt::LeftButton);
        rig.advance(10000);
        QCOMPARE(rig.starter.programs.size(), 3);
        QCOMPARE(rig.starter.deliverPrograms(), 3);
        QCOMPARE(answered.count(), 1);
        QCOMPARE(rig.monitor().nodeState().blocks.value_or(-1), 812345);
    }
};

QTEST_MAIN(TestNodeQuery)
#include "tst_node_query.moc"
