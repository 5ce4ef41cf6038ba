// The demo node's programs and its configure tool, run for real in a
// temporary folder (the configure tool with its own XDG_CONFIG_HOME).

#include "platform/posix/Posix.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using tw::platform::IniSettingsBackend;

constexpr int Bound = 10000; // ms: the most any program may take to react

// What bitcoin-cli writes when no server answers on the port (exit status 1).
QString unreachable(int port) {
    return QString("error: Could not connect to the server 127.0.0.1:%1\n\nMake sure the bitcoind "
                   "server is running and that you are connecting to the correct RPC port.\n")
        .arg(port);
}
// What bitcoin-cli writes for a method the server does not know; it exits
// with the code's absolute value, of which a POSIX parent sees the low byte.
const QString methodNotFound = "error code: -32601\nerror message:\nMethod not found\n";
constexpr int MethodNotFoundStatus = 32601 & 0xff;

// One run of the client: what it wrote and how it ended (status -1: it did not end).
struct Said {
    QByteArray out, err;
    int status = -1;
};
Said runClient(const QString& conf, const QStringList& arguments) {
    QProcess cli;
    cli.start(TWDEMO_CLI, QStringList{"-conf=" + conf} + arguments);
    Said said;
    if (cli.waitForFinished(Bound) && cli.exitStatus() == QProcess::NormalExit)
        said.status = cli.exitCode();
    said.out = cli.readAllStandardOutput();
    said.err = cli.readAllStandardError();
    return said;
}

// A demo node of its own: a data folder with a twdemo.conf and, once
// started, a running daemon.
class Node {
public:
    explicit Node(const QByteArray& confText = QByteArray()) { writeConf(confText); }
    ~Node() { stop(); }
    QString conf() const { return dir_.filePath("twdemo.conf"); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    bool writeConf(const QByteArray& text) const {
        QFile file(conf());
        return dir_.isValid() && file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }
    // True once the daemon's heartbeat is there.
    bool start() {
        daemon_.start(TWDEMO_DAEMON, {"-conf=" + conf()});
        if (!daemon_.waitForStarted(Bound))
            return false;
        QDeadlineTimer deadline(Bound);
        while (!deadline.hasExpired() && daemon_.state() != QProcess::NotRunning) {
            if (QFile::exists(file("twdemo-daemon.alive")))
                return true;
            QTest::qWait(20);
        }
        return false;
    }
    bool running() const { return daemon_.state() == QProcess::Running; }
    void stop() {
        if (daemon_.state() == QProcess::NotRunning)
            return;
        daemon_.terminate();
        daemon_.waitForFinished(Bound);
    }
    Said says(const QStringList& arguments) const { return runClient(conf(), arguments); }
    // A call's answer as a JSON object; empty when the call failed or the
    // answer is not one object.
    QJsonObject ask(const QString& call) const {
        const Said said = says({call});
        if (said.status != 0)
            return QJsonObject();
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(said.out, &error);
        return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
    }
    qint64 count(const QString& call) const {
        bool ok = false;
        const qint64 n = says({call}).out.trimmed().toLongLong(&ok);
        return ok ? n : -1;
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
};

qint64 nowSeconds() {
    return QDateTime::currentSecsSinceEpoch();
}

class TestDemo : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    std::unique_ptr<Node> syncNode_, failNode_;
    qint64 syncBlocks_ = 0;
    double syncProgress_ = 0;
    const QString client_ = QFileInfo(TWDEMO_CLI).absolutePath();
    QString demo() const { return tmp_.filePath("demo"); }

    // The freeze rows' node.
    QTemporaryDir freezeDir_;
    QProcess freezeDaemon_;
    qint64 frozenAt_ = -1;
    QString freezeConf() const { return "-conf=" + freezeDir_.filePath("twdemo.conf"); }
    // The client's whole standard output; empty when it failed.
    QString cliSays(const QString& command) const {
        QProcess cli;
        cli.start(TWDEMO_CLI, {freezeConf(), command});
        if (!cli.waitForFinished(Bound) || cli.exitCode() != 0)
            return QString();
        return cli.readAllStandardOutput();
    }
    qint64 blockCount() const {
        bool ok = false;
        const qint64 count = cliSays("getblockcount").trimmed().toLongLong(&ok);
        return ok ? count : -1;
    }
    // Time passes for the node: its genesis moves back.
    bool passTime(int seconds) const {
        if (seconds == 0)
            return true;
        const QString state = freezeDir_.filePath("twdemo.state");
        QFile file(state);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const qint64 genesis = QString(file.readAll()).section('=', 1).trimmed().toLongLong();
        file.close();
        // Replaced whole: the daemon never finds the file missing.
        QSaveFile out(state);
        return genesis > seconds && out.open(QIODevice::WriteOnly) &&
               out.write("genesis=" + QByteArray::number(genesis - seconds) + "\n") > 0 &&
               out.commit();
    }

private slots:
    // The client alone, then against a running daemon and wallet; its stop ends both.
    void client_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("running"); // the daemon and the wallet
        QTest::addColumn<QString>("out");  // the whole standard output, a pattern
        QTest::addColumn<QString>("err");  // the whole error output
        QTest::addColumn<int>("status");
        const auto row = [](const char* name, const QStringList& arguments, bool running,
                            const QString& out, const QString& err, int status) {
            QTest::newRow(name) << arguments << running << out << err << status;
        };
        row("no daemon", {"getblockcount"}, false, "", unreachable(8332), 1);
        row("no daemon: a node-state call", {"getblockchaininfo"}, false, "", unreachable(8332), 1);
        row("no daemon: an unknown method", {"getblockhash"}, false, "", unreachable(8332), 1);
        row("no daemon: stop", {"stop"}, false, "", unreachable(8332), 1);
        row("block count", {"getblockcount"}, true, "[0-9]+\n", "", 0);
        row("connection count", {"getconnectioncount"}, true, "[0-9]+\n", "", 0);
        row("node state", {"getblockchaininfo"}, true, "\\{\n  \"chain\": \"main\",\n.*\n\\}\n", "",
            0);
        row("unknown method", {"getblockhash"}, true, "", methodNotFound, MethodNotFoundStatus);
        row("method names keep their case", {"GetBlockCount"}, true, "", methodNotFound,
            MethodNotFoundStatus);
        row("a call with a parameter", {"getblockcount", "1"}, true, "",
            "error: too many parameters: getblockcount takes none\n", 1);
        const QString syncUsage = "error: sync takes [BLOCKS_BEHIND [BLOCKS_PER_SECOND]], whole "
                                  "numbers from 1 to 10000000 and 1000000\n";
        row("sync: not a number", {"sync", "fast"}, true, "", syncUsage, 1);
        row("sync: none behind", {"sync", "0"}, true, "", syncUsage, 1);
        row("sync: too fast", {"sync", "10", "1000001"}, true, "", syncUsage, 1);
        row("sync: three numbers", {"sync", "1", "2", "3"}, true, "",
            "error: too many parameters: sync takes at most two\n", 1);
        row("stop", {"stop"}, true, "TwDemo server stopping\n", "", 0);
    }
    void client() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, running);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, status);
        QTemporaryDir dir;
        const QString conf = "-conf=" + dir.filePath("twdemo.conf");
        QVERIFY(QFile(dir.filePath("twdemo.conf")).open(QIODevice::WriteOnly));
        QProcess daemon, wallet;
        if (running) {
            daemon.start(TWDEMO_DAEMON, {conf});
            wallet.start(TWDEMO_WALLET, {conf});
            QTRY_COMPARE_WITH_TIMEOUT(QDir(dir.path()).entryList({"*.alive"}).size(), 2, Bound);
        }
        const Said said = runClient(dir.filePath("twdemo.conf"), arguments);
        QVERIFY2(QString(said.out).contains(QRegularExpression(
                     "\\A" + out + "\\z", QRegularExpression::DotMatchesEverythingOption)),
                 said.out.constData());
        QCOMPARE(QString(said.err), err);
        QCOMPARE(said.status, status);
        if (arguments == QStringList{"stop"} && running) {
            QTRY_COMPARE_WITH_TIMEOUT(daemon.state(), QProcess::NotRunning, Bound);
            QTRY_COMPARE_WITH_TIMEOUT(wallet.state(), QProcess::NotRunning, Bound);
        }
        daemon.close();
        wallet.close();
    }

    // The node-state calls answer JSON objects with every field of its
    // type, laid out as bitcoin-cli lays them out (2-space indent, amounts
    // with 8 decimals). Types: s string, i whole number, d number, a amount,
    // b true/false, [ array.
    void stateCalls_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QStringList>("fields"); // name:type, in the order printed
        QTest::newRow("getblockchaininfo") << "getblockchaininfo"
                                           << QStringList{"chain:s",
                                                          "blocks:i",
                                                          "headers:i",
                                                          "bestblockhash:s",
                                                          "difficulty:d",
                                                          "time:i",
                                                          "mediantime:i",
                                                          "verificationprogress:d",
                                                          "initialblockdownload:b",
                                                          "chainwork:s",
                                                          "size_on_disk:i",
                                                          "pruned:b",
                                                          "warnings:s"};
        QTest::newRow("getnetworkinfo")
            << "getnetworkinfo"
            << QStringList{"version:i",        "subversion:s",         "protocolversion:i",
                           "localservices:s",  "localservicesnames:[", "localrelay:b",
                           "timeoffset:i",     "networkactive:b",      "connections:i",
                           "connections_in:i", "connections_out:i",    "networks:[",
                           "relayfee:a",       "incrementalfee:a",     "localaddresses:[",
                           "warnings:s"};
        QTest::newRow("getmempoolinfo")
            << "getmempoolinfo"
            << QStringList{"loaded:b",          "size:i",          "bytes:i",
                           "usage:i",           "total_fee:a",     "maxmempool:i",
                           "mempoolminfee:a",   "minrelaytxfee:a", "incrementalrelayfee:a",
                           "unbroadcastcount:i"};
    }
    void stateCalls() {
        QFETCH(QString, call);
        QFETCH(QStringList, fields);
        Node node;
        QVERIFY(node.start());
        const Said said = node.says({call});
        QCOMPARE(said.status, 0);
        QVERIFY(said.err.isEmpty());
        QJsonParseError error;
        const QJsonObject answer = QJsonDocument::fromJson(said.out, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        const QString text = said.out;
        QVERIFY2(text.startsWith("{\n  \"") && text.endsWith("\n}\n"), qPrintable(text));
        qsizetype at = 0;
        for (const QString& field : fields) {
            const QString name = field.section(':', 0, 0), type = field.section(':', 1);
            const QJsonValue value = answer.value(name);
            // The top-level line of the field, after the one before it.
            const QRegularExpression line("\n  \"" + name + "\": ([^\n]*)\n");
            const QRegularExpressionMatch match = line.match(text, at);
            QVERIFY2(match.hasMatch(), qPrintable(name + " missing or out of order"));
            at = match.capturedStart();
            const QString literal = match.captured(1);
            bool typed = false;
            if (type == "s")
                typed = value.isString();
            else if (type == "b")
                typed = value.isBool();
            else if (type == "d")
                typed = value.isDouble();
            else if (type == "i")
                typed =
                    value.isDouble() && literal.contains(QRegularExpression("\\A-?[0-9]+,?\\z"));
            else if (type == "a")
                typed = value.isDouble() &&
                        literal.contains(QRegularExpression("\\A[0-9]+\\.[0-9]{8},?\\z"));
            else if (type == "[")
                typed = value.isArray();
            QVERIFY2(typed, qPrintable(name + ": " + literal));
        }
    }

    // The chain the conf names and the port the client says it could not
    // reach when no daemon runs.
    void chain_data() {
        QTest::addColumn<QByteArray>("conf");
        QTest::addColumn<QString>("chain");
        QTest::addColumn<int>("port");
        QTest::newRow("empty") << QByteArray() << "main" << 8332;
        QTest::newRow("testnet=1") << QByteArray("testnet=1\n") << "test" << 18332;
        QTest::newRow("testnet4=1") << QByteArray("testnet4=1\n") << "testnet4" << 48332;
        QTest::newRow("signet=1") << QByteArray("server=1\nsignet=1\n") << "signet" << 38332;
        QTest::newRow("regtest=1, CR LF") << QByteArray("regtest=1\r\n") << "regtest" << 18443;
        QTest::newRow("chain=regtest") << QByteArray("  chain = regtest\n") << "regtest" << 18443;
        QTest::newRow("commented out") << QByteArray("#regtest=1\n") << "main" << 8332;
        QTest::newRow("regtest=0") << QByteArray("regtest=0\n") << "main" << 8332;
        QTest::newRow("rpcport") << QByteArray("rpcport=9332\n") << "main" << 9332;
        QTest::newRow("rpcport out of range") << QByteArray("rpcport=70000\n") << "main" << 8332;
        QTest::newRow("chain and port")
            << QByteArray("chain=test\nrpcport=12345") << "test" << 12345;
    }
    void chain() {
        QFETCH(QByteArray, conf);
        QFETCH(QString, chain);
        QFETCH(int, port);
        Node running(conf), stopped(conf);
        QVERIFY(running.start());
        QCOMPARE(running.ask("getblockchaininfo").value("chain").toString(), chain);
        const Said said = stopped.says({"getblockchaininfo"});
        QCOMPARE(QString(said.err), unreachable(port));
        QVERIFY(said.out.isEmpty());
        QCOMPARE(said.status, 1);
    }

    // What the calls say agrees with the counts asked just before and just
    // after; a node that is not syncing is caught up with a recent tip.
    void consistency() {
        Node node;
        QVERIFY(node.start());
        const qint64 blocksBefore = node.count("getblockcount");
        const qint64 peersBefore = node.count("getconnectioncount");
        const QJsonObject chain = node.ask("getblockchaininfo");
        const QJsonObject network = node.ask("getnetworkinfo");
        const QJsonObject mempool = node.ask("getmempoolinfo");
        const qint64 blocksAfter = node.count("getblockcount");
        const qint64 peersAfter = node.count("getconnectioncount");
        const qint64 now = nowSeconds();
        QVERIFY(blocksBefore > 0 && peersBefore > 0);
        const qint64 blocks = chain.value("blocks").toInteger(-1);
        QVERIFY(blocks >= blocksBefore && blocks <= blocksAfter);
        QCOMPARE(chain.value("headers").toInteger(-1), blocks);
        QCOMPARE(chain.value("initialblockdownload").toBool(true), false);
        const double progress = chain.value("verificationprogress").toDouble(-1);
        QVERIFY2(progress > 0.9999 && progress <= 1, qPrintable(QString::number(progress)));
        const qint64 time = chain.value("time").toInteger(-1);
        QVERIFY2(time <= now && time > now - 30, qPrintable(QString::number(now - time)));
        QVERIFY(chain.value("mediantime").toInteger(-1) < time);
        QCOMPARE(chain.value("bestblockhash").toString().size(), 64);
        QCOMPARE(chain.value("pruned").toBool(true), false);
        const qint64 peers = network.value("connections").toInteger(-1);
        QVERIFY(peers == peersBefore || peers == peersAfter);
        QCOMPARE(network.value("connections_in").toInteger(-1) +
                     network.value("connections_out").toInteger(-1),
                 peers);
        QCOMPARE(network.value("networkactive").toBool(false), true);
        QVERIFY(mempool.value("size").toInteger(-1) > 0);
        QVERIFY(mempool.value("bytes").toInteger(-1) > mempool.value("size").toInteger(-1));
        QVERIFY(mempool.value("usage").toInteger(-1) <= mempool.value("maxmempool").toInteger(-1));
    }

    // `warn TEXT` sets the node's warnings in both calls that carry them,
    // whatever the text holds; `warn` alone clears them.
    void warnings_data() {
        QTest::addColumn<QStringList>("words"); // after warn
        QTest::addColumn<QString>("expected");
        QTest::newRow("one word") << QStringList{"Pre-release"} << "Pre-release";
        QTest::newRow("several words")
            << QStringList{"This", "is", "a", "test", "build"} << "This is a test build";
        QTest::newRow("quotes, backslash, tab")
            << QStringList{"say \"no\"\tC:\\node"} << "say \"no\"\tC:\\node";
        QTest::newRow("not ASCII") << QStringList{"Prüfung – ✓"} << "Prüfung – ✓";
        QTest::newRow("cleared") << QStringList{} << "";
    }
    void warnings() {
        QFETCH(QStringList, words);
        QFETCH(QString, expected);
        Node node;
        QVERIFY(node.start());
        QCOMPARE(node.says({"warn", "something earlier"}).status, 0);
        const Said said = node.says(QStringList{"warn"} + words);
        QCOMPARE(said.status, 0);
        QCOMPARE(QString::fromUtf8(said.out), expected.isEmpty()
                                                  ? QString("TwDemo node warnings cleared\n")
                                                  : "TwDemo node warnings: " + expected + "\n");
        QCOMPARE(node.ask("getblockchaininfo").value("warnings").toString("(none)"), expected);
        QCOMPARE(node.ask("getnetworkinfo").value("warnings").toString("(none)"), expected);
    }

    // A sync: the node falls behind, headers ahead of blocks, in its initial
    // download with an old tip; the blocks catch up fast and it is a normal
    // node again. A freeze ends a sync. Each row runs on the state the rows
    // before it left.
    void sync_data() {
        QTest::addColumn<QStringList>("command"); // empty: none
        QTest::addColumn<QString>("out");         // its output, a pattern
        QTest::addColumn<QString>("until");       // what to wait for: "", "rising", "caught up"
        QTest::addColumn<bool>("syncing");
        const auto row = [](const char* name, const QStringList& command, const char* out,
                            const char* until, bool syncing) {
            QTest::newRow(name) << command << QString(out) << QString(until) << syncing;
        };
        row("sync starts", {"sync", "3000", "500"},
            "TwDemo node syncing from height [0-9]+ to [0-9]+ \\(and on\\), 500 blocks per "
            "second\n",
            "", true);
        row("blocks rise, headers stay ahead", {}, "", "rising", true);
        row("caught up", {}, "", "caught up", false);
        row("another sync", {"sync", "100000", "1"}, "TwDemo node syncing from .*\n", "", true);
        row("a freeze ends it", {"freeze"}, "TwDemo chain frozen at height [0-9]+\n", "", false);
        row("thawed: still caught up", {"thaw"}, "TwDemo chain moving again .*\n", "", false);
    }
    void sync() {
        QFETCH(QStringList, command);
        QFETCH(QString, out);
        QFETCH(QString, until);
        QFETCH(bool, syncing);
        if (!syncNode_) {
            syncNode_ = std::make_unique<Node>();
            QVERIFY(syncNode_->start());
        }
        const Node& node = *syncNode_;
        if (!command.isEmpty()) {
            const Said said = node.says(command);
            QCOMPARE(said.status, 0);
            QVERIFY2(QString(said.out).contains(QRegularExpression("\\A" + out + "\\z")),
                     said.out.constData());
        }
        QJsonObject chain = node.ask("getblockchaininfo");
        if (until == "rising")
            QTRY_VERIFY_WITH_TIMEOUT(
                (chain = node.ask("getblockchaininfo")).value("blocks").toInteger() > syncBlocks_,
                Bound);
        if (until == "caught up")
            QTRY_VERIFY_WITH_TIMEOUT(
                !(chain = node.ask("getblockchaininfo")).value("initialblockdownload").toBool(true),
                Bound);
        const qint64 now = nowSeconds();
        const qint64 blocks = chain.value("blocks").toInteger(-1);
        const qint64 headers = chain.value("headers").toInteger(-1);
        const double progress = chain.value("verificationprogress").toDouble(-1);
        const qint64 tipAge = now - chain.value("time").toInteger(-1);
        const qint64 mempool = node.ask("getmempoolinfo").value("size").toInteger(-1);
        const QString seen = QString("blocks %1, headers %2, progress %3, tip %4 s old")
                                 .arg(blocks)
                                 .arg(headers)
                                 .arg(progress, 0, 'g', 16)
                                 .arg(tipAge);
        QCOMPARE(chain.value("initialblockdownload").toBool(!syncing), syncing);
        QVERIFY2(blocks > 0 && blocks >= syncBlocks_, qPrintable(seen));
        if (syncing) {
            QVERIFY2(headers > blocks && progress > 0 && progress < 0.9999, qPrintable(seen));
            // Ten seconds a block: the tip is as old as the blocks still missing.
            QVERIFY2(tipAge >= (headers - blocks - 1) * 10, qPrintable(seen));
            QVERIFY2(progress >= syncProgress_, qPrintable(seen));
            QCOMPARE(mempool, 0);
        } else {
            QVERIFY2(headers == blocks && progress > 0.9999 && progress <= 1, qPrintable(seen));
            QVERIFY2(tipAge >= 0 && tipAge < 30, qPrintable(seen));
            QVERIFY(mempool > 0);
        }
        syncBlocks_ = blocks;
        syncProgress_ = syncing ? progress : 0;
    }

    // fail: every call fails as bitcoin-cli fails against a server that is
    // down, stop included (the daemon stays up); heal ends it. Each row runs
    // on the state the rows before it left.
    void failure_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("out");
        QTest::addColumn<bool>("failing");
        QTest::newRow("answering") << "getblockcount"
                                   << "[0-9]+\n"
                                   << false;
        QTest::newRow("fail")
            << "fail"
            << "TwDemo node unreachable: every call fails as if the server were down, until heal\n"
            << true;
        QTest::newRow("fail again") << "fail"
                                    << "TwDemo node already unreachable\n"
                                    << true;
        QTest::newRow("heal") << "heal"
                              << "TwDemo node reachable again\n"
                              << false;
        QTest::newRow("heal again") << "heal"
                                    << "TwDemo node is not failing\n"
                                    << false;
    }
    void failure() {
        QFETCH(QString, command);
        QFETCH(QString, out);
        QFETCH(bool, failing);
        if (!failNode_) {
            failNode_ = std::make_unique<Node>();
            QVERIFY(failNode_->start());
        }
        const Node& node = *failNode_;
        const Said said = node.says({command});
        QVERIFY2(QString(said.out).contains(QRegularExpression("\\A" + out + "\\z")),
                 said.out.constData());
        QCOMPARE(said.status, 0);
        QStringList calls{"getblockcount",  "getconnectioncount", "getblockchaininfo",
                          "getnetworkinfo", "getmempoolinfo",     "getblockhash"};
        if (failing)
            calls << "stop";
        for (const QString& call : calls) {
            const Said answer = node.says({call});
            if (failing) {
                QCOMPARE(QString(answer.err), unreachable(8332));
                QVERIFY2(answer.out.isEmpty(), qPrintable(call));
                QCOMPARE(answer.status, 1);
            } else if (call == "getblockhash") {
                QCOMPARE(QString(answer.err), methodNotFound);
            } else {
                QVERIFY2(answer.status == 0 && !answer.out.isEmpty() && answer.err.isEmpty(),
                         qPrintable(call));
            }
        }
        QVERIFY(failNode_->running());
    }

    // freeze holds the block count while time passes (the genesis moved back
    // stands for time passing); thaw lets it rise again from there, without
    // a jump for the frozen time. Each row runs on the state the rows before
    // it left; the output's %H is the height frozen at.
    void freeze_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("passSeconds"); // moved back after the command
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("height"); // getblockcount afterwards, against %H: = + ~
        const auto row = [](const char* name, const char* command, int pass, const char* out,
                            const char* height) {
            QTest::newRow(name) << command << pass << out << height;
        };
        row("moving before", "getblockcount", 1000, "[0-9]+\n", "~");
        row("freeze", "freeze", 1000, "TwDemo chain frozen at height %H\n", "=");
        row("freeze again: still the first height", "freeze", 1000,
            "TwDemo chain already frozen at height %H\n", "=");
        row("thaw: from the frozen height, no jump", "thaw", 0,
            "TwDemo chain moving again from height %H\n", "+0");
        row("moving again", "getblockcount", 100, "[0-9]+\n", "+10");
        row("thaw while moving", "thaw", 0, "TwDemo chain is not frozen\n", "+10");
    }
    void freeze() {
        QFETCH(QString, command);
        QFETCH(int, passSeconds);
        QFETCH(QString, out);
        QFETCH(QString, height);
        if (QByteArray(QTest::currentDataTag()) == "moving before") {
            QVERIFY(freezeDir_.isValid());
            QVERIFY(QFile(freezeDir_.filePath("twdemo.conf")).open(QIODevice::WriteOnly));
            freezeDaemon_.start(TWDEMO_DAEMON, {freezeConf()});
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(freezeDir_.filePath("twdemo-daemon.alive")),
                                     Bound);
        }
        const qint64 before = blockCount();
        const QString said = cliSays(command);
        if (command == "freeze" && frozenAt_ < 0)
            frozenAt_ = before;
        QVERIFY2(said.contains(QRegularExpression(
                     "\\A" + out.replace("%H", QString::number(frozenAt_)) + "\\z")),
                 qPrintable(said));
        QVERIFY(passTime(passSeconds));
        const qint64 after = blockCount();
        if (height == "~") // moving: the time passed shows
            QVERIFY2(after >= before + passSeconds / 10, qPrintable(QString::number(after)));
        else if (height == "=")
            QCOMPARE(after, frozenAt_);
        else // risen by about the time passed since the thaw, never by the frozen time
            QVERIFY2(after >= frozenAt_ + height.toInt() && after < frozenAt_ + height.toInt() + 50,
                     qPrintable(QString::number(after)));
        if (QByteArray(QTest::currentDataTag()) == "thaw while moving") {
            QVERIFY(!QFile::exists(freezeDir_.filePath("twdemo.frozen")));
            freezeDaemon_.terminate();
            QVERIFY(freezeDaemon_.waitForFinished(Bound));
        }
    }

    // What the configure tool leaves: keys of its section (the row names), and the batch files.
    void configure_data() {
        QTest::addColumn<QString>("expected"); // %D: the demo folder, %C: the client's
        QVERIFY(tmp_.isValid());               // never the user's own settings
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp_.filePath("config")));
        QVERIFY(QDir().mkpath(demo()) && QFile(demo() + "/twdemo.conf").open(QIODevice::WriteOnly));
        QProcess tool;
        tool.start(TWDEMO_CONFIGURE, {"TW-CLI-UI-DEMO", demo(), client_});
        QVERIFY(tool.waitForFinished(Bound) && tool.exitCode() == 0);
        const QString call = "call \"%C/twdemo-cli\" -conf=%D/twdemo.conf ";
        QTest::newRow("CLI_NAME_TEXTBOX") << QString("twdemo-cli");
        QTest::newRow("CLI_LOCATION_TEXTBOX") << QString("%C");
        QTest::newRow("CONF_LOCATION_TEXTBOX") << QString("%D/twdemo.conf");
        QTest::newRow("QT_EXE_TEXTBOX") << QString("twdemo-wallet");
        QTest::newRow("AUTOSTART_TICKBOX") << QString("1");
        QTest::newRow("CLI_GBC_FULL_LOG_LOCATION_TEXTBOX") << QString("%D/CLI-UI-GBC.LOG");
        QTest::newRow("CLI-UI-GBC.BAT") << call + "getblockcount > %D/CLI-UI-GBC.LOG\r\n";
        QTest::newRow("CLI-UI-STOP.BAT") << call + "stop\r\n";
    }
    void configure() {
        QFETCH(QString, expected);
        const QString item = QTest::currentDataTag();
        QFile file(demo() + '/' + item);
        const auto stored = IniSettingsBackend().read("TW-CLI-UI", "TW-CLI-UI-DEMO", item);
        const QString actual = file.open(QIODevice::ReadOnly) ? file.readAll() : stored.value;
        QCOMPARE(actual, expected.replace("%D", demo()).replace("%C", client_));
    }
};

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
