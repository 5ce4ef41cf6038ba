// The demo node's three programs, run for real in a temporary data folder.

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

constexpr qint64 BaseHeight = 840000;
constexpr int Bound = 10000; // ms: the most any program may take to react
const QString ConnectError =
    QStringLiteral("error: Could not connect to the server 127.0.0.1:18443");

struct Reply {
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

qint64 nowSeconds() {
    return QDateTime::currentSecsSinceEpoch();
}

// The whole answer must be one decimal number and a line end.
bool isNumberLine(const QByteArray& out) {
    static const QRegularExpression pattern(QStringLiteral("\\A[0-9]+\\n\\z"));
    return pattern.match(QString::fromLatin1(out)).hasMatch();
}

} // namespace

class DemoNodeTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void clientWithoutDaemon_data();
    void clientWithoutDaemon();
    void badUsage_data();
    void badUsage();
    void queries_data();
    void queries();
    void heightFollowsGenesis_data();
    void heightFollowsGenesis();
    void heightRisesAndNeverDrops();
    void damagedState_data();
    void damagedState();
    void genesisRecordedOnlyOnce();
    void secondDaemonRefused();
    void stopEndsDaemonAndWallet_data();
    void stopEndsDaemonAndWallet();
    void leftOverStopRequestIgnored();
    void slowClient_data();
    void slowClient();

private:
    QString makeFolder(const QString& name);
    static QString conf(const QString& folder) { return folder + QStringLiteral("/twdemo.conf"); }
    static QString file(const QString& folder, const char* name) {
        return folder + QLatin1Char('/') + QLatin1String(name);
    }
    static bool replace(const QString& path, const QByteArray& bytes);
    static QByteArray contents(const QString& path);
    QProcess* start(const char* program, const QString& folder);
    Reply cli(const QStringList& args, const QString& delay = QString());
    Reply cli(const QString& folder, const QString& command) {
        return cli({QStringLiteral("-conf=") + conf(folder), command});
    }
    qint64 number(const Reply& reply);

    std::unique_ptr<QTemporaryDir> dir_;
    std::vector<std::unique_ptr<QProcess>> programs_;
};

void DemoNodeTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void DemoNodeTest::cleanup() {
    for (auto& program : programs_) {
        if (program->state() != QProcess::NotRunning) {
            program->kill();
            program->waitForFinished(Bound);
        }
    }
    programs_.clear();
    dir_.reset();
}

QString DemoNodeTest::makeFolder(const QString& name) {
    const QString folder = dir_->path() + QLatin1Char('/') + name;
    if (!QDir().mkpath(folder) || !replace(conf(folder), "# demo node\n"))
        return QString();
    return folder;
}

// Replaced whole, as the programs do, so the daemon never reads half a file.
bool DemoNodeTest::replace(const QString& path, const QByteArray& bytes) {
    QSaveFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
}

QByteArray DemoNodeTest::contents(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QProcess* DemoNodeTest::start(const char* program, const QString& folder) {
    auto process = std::make_unique<QProcess>();
    process->setProgram(QString::fromUtf8(program));
    process->setArguments({QStringLiteral("-conf=") + conf(folder)});
    process->start();
    programs_.push_back(std::move(process));
    return programs_.back().get();
}

Reply DemoNodeTest::cli(const QStringList& args, const QString& delay) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TWDEMO_CLI_DELAY_MS"));
    if (!delay.isNull())
        env.insert(QStringLiteral("TWDEMO_CLI_DELAY_MS"), delay);
    process.setProcessEnvironment(env);
    process.start(QString::fromUtf8(TWDEMO_CLI), args);
    Reply reply;
    reply.finished = process.waitForFinished(Bound);
    reply.status = process.exitStatus();
    reply.exitCode = process.exitCode();
    reply.out = process.readAllStandardOutput();
    reply.err = process.readAllStandardError();
    return reply;
}

qint64 DemoNodeTest::number(const Reply& reply) {
    return reply.finished && reply.exitCode == 0 && isNumberLine(reply.out)
               ? reply.out.trimmed().toLongLong()
               : -1;
}

// Starts the daemon in `folder` and waits until the client reaches it.
#define START_DAEMON(daemon, folder)                                                               \
    QProcess* daemon = start(TWDEMO_DAEMON, folder);                                               \
    QVERIFY(daemon->waitForStarted(Bound));                                                        \
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file(folder, "twdemo-daemon.alive")), Bound)

void DemoNodeTest::clientWithoutDaemon_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("writeHeartbeat");
    QTest::addColumn<QByteArray>("heartbeat");

    const QByteArray longAgo = QByteArray::number(QDateTime::currentMSecsSinceEpoch() - 60000);
    const QByteArray farAhead = QByteArray::number(QDateTime::currentMSecsSinceEpoch() + 60000);
    QTest::newRow("getblockcount, never started") << "getblockcount" << false << QByteArray();
    QTest::newRow("getconnectioncount, never started")
        << "getconnectioncount" << false << QByteArray();
    QTest::newRow("stop, never started") << "stop" << false << QByteArray();
    QTest::newRow("heartbeat a minute old") << "getblockcount" << true << longAgo;
    QTest::newRow("stop, heartbeat a minute old") << "stop" << true << longAgo;
    QTest::newRow("heartbeat a minute ahead") << "getconnectioncount" << true << farAhead;
    QTest::newRow("empty heartbeat") << "getblockcount" << true << QByteArray();
    QTest::newRow("garbled heartbeat")
        << "getblockcount" << true << QByteArray("\x01\xff 12x\n", 7);
}

void DemoNodeTest::clientWithoutDaemon() {
    QFETCH(QString, command);
    QFETCH(bool, writeHeartbeat);
    QFETCH(QByteArray, heartbeat);
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    if (writeHeartbeat)
        QVERIFY(replace(file(folder, "twdemo-daemon.alive"), heartbeat));

    const Reply reply = cli(folder, command);
    QVERIFY(reply.finished);
    QCOMPARE(reply.status, QProcess::NormalExit);
    QCOMPARE(reply.exitCode, 1);
    QCOMPARE(reply.out, QByteArray());
    const QStringList lines = QString::fromLocal8Bit(reply.err).split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), ConnectError);
    QVERIFY2(lines.size() >= 3 && lines.at(2).contains(QLatin1String("twdemo-daemon")),
             reply.err.constData());
    // Nothing reached a node, so nothing may be left for one to act on.
    QVERIFY(!QFile::exists(file(folder, "twdemo.stop")));
}

void DemoNodeTest::badUsage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    const QString c = QStringLiteral("-conf=%CONF");
    QTest::newRow("no command") << QStringList{c} << "too few parameters";
    QTest::newRow("unknown command") << QStringList{c, "getinfo"} << "unknown command \"getinfo\"";
    QTest::newRow("command in capitals")
        << QStringList{c, "GETBLOCKCOUNT"} << "unknown command \"GETBLOCKCOUNT\"";
    QTest::newRow("two commands") << QStringList{c, "getblockcount", "stop"}
                                  << "too many parameters";
    QTest::newRow("unknown option")
        << QStringList{c, "-rpcport=1", "getblockcount"} << "Invalid parameter -rpcport=1";
    QTest::newRow("no -conf") << QStringList{"getblockcount"} << "-conf=FILE is required";
    QTest::newRow("empty -conf") << QStringList{"-conf=", "getblockcount"}
                                 << "-conf=FILE is required";
    QTest::newRow("conf file missing")
        << QStringList{"-conf=%DIR/missing.conf", "getblockcount"} << "could not be opened";
    QTest::newRow("conf is a folder")
        << QStringList{"-conf=%DIR", "getblockcount"} << "could not be opened";
}

void DemoNodeTest::badUsage() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    // With the node up, a refusal can only come from the command line itself.
    START_DAEMON(daemon, folder);
    for (QString& arg : args)
        arg.replace(QLatin1String("%CONF"), conf(folder)).replace(QLatin1String("%DIR"), folder);

    const Reply reply = cli(args);
    QVERIFY(reply.finished);
    QCOMPARE(reply.status, QProcess::NormalExit);
    QCOMPARE(reply.exitCode, 1);
    QCOMPARE(reply.out, QByteArray());
    const QString err = QString::fromLocal8Bit(reply.err);
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY2(!err.contains(ConnectError), qPrintable(err));
    QCOMPARE(daemon->state(), QProcess::Running);
}

void DemoNodeTest::queries_data() {
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<qint64>("lowest");
    QTest::addColumn<qint64>("highest");

    // A fresh node: genesis now, so the height is the base (one more if a
    // block falls due while the test runs) and the peers are 8.
    const qint64 b = BaseHeight;
    const qint64 p = 8;
    const QString c = QStringLiteral("-conf=%CONF");
    QTest::newRow("block count") << "node" << QStringList{c, "getblockcount"} << b << b + 1;
    QTest::newRow("connection count")
        << "node" << QStringList{c, "getconnectioncount"} << p << p + 1;
    QTest::newRow("-daemon=1 accepted")
        << "node" << QStringList{c, "-daemon=1", "getblockcount"} << b << b + 1;
    QTest::newRow("-daemon=0 accepted")
        << "node" << QStringList{c, "-daemon=0", "getconnectioncount"} << p << p + 1;
    QTest::newRow("options after the command")
        << "node" << QStringList{"getblockcount", "-daemon", c} << b << b + 1;
    QTest::newRow("blanks in the folder, block count")
        << "demo node (with blanks)" << QStringList{c, "getblockcount"} << b << b + 1;
    QTest::newRow("blanks in the folder, connection count")
        << "demo node (with blanks)" << QStringList{c, "getconnectioncount"} << p << p + 1;
}

void DemoNodeTest::queries() {
    QFETCH(QString, folderName);
    QFETCH(QStringList, args);
    QFETCH(qint64, lowest);
    QFETCH(qint64, highest);
    const QString folder = makeFolder(folderName);
    QVERIFY(!folder.isEmpty());
    START_DAEMON(daemon, folder);
    args.replaceInStrings(QStringLiteral("%CONF"), conf(folder));

    const Reply reply = cli(args);
    QVERIFY(reply.finished);
    QCOMPARE(reply.status, QProcess::NormalExit);
    QCOMPARE(reply.err, QByteArray());
    QCOMPARE(reply.exitCode, 0);
    QVERIFY2(isNumberLine(reply.out), reply.out.constData());
    const qint64 value = reply.out.trimmed().toLongLong();
    QVERIFY2(value >= lowest && value <= highest, reply.out.constData());
}

void DemoNodeTest::heightFollowsGenesis_data() {
    QTest::addColumn<qint64>("age");
    QTest::addColumn<qint64>("height");
    QTest::addColumn<qint64>("connections");

    // Ages keep a few seconds away from the next block and the next minute,
    // so the second or two the test takes cannot change the answer.
    QTest::newRow("genesis now") << qint64(0) << BaseHeight << qint64(8);
    QTest::newRow("52 seconds") << qint64(52) << BaseHeight + 5 << qint64(8);
    QTest::newRow("3 minutes 22") << qint64(202) << BaseHeight + 20 << qint64(11);
    QTest::newRow("4 minutes 40") << qint64(280) << BaseHeight + 28 << qint64(12);
    QTest::newRow("6 minutes 1") << qint64(361) << BaseHeight + 36 << qint64(9);
    QTest::newRow("one day") << qint64(86400) << BaseHeight + 8640 << qint64(8);
    QTest::newRow("a year") << qint64(365) * 86400 + 123 << BaseHeight + 3153612 << qint64(10);
    QTest::newRow("genesis in the future") << qint64(-3600) << BaseHeight << qint64(8);
}

void DemoNodeTest::heightFollowsGenesis() {
    QFETCH(qint64, age);
    QFETCH(qint64, height);
    QFETCH(qint64, connections);
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    const QByteArray state = "genesis=" + QByteArray::number(nowSeconds() - age) + "\n";
    QVERIFY(replace(file(folder, "twdemo.state"), state));
    START_DAEMON(daemon, folder);

    QCOMPARE(number(cli(folder, QStringLiteral("getblockcount"))), height);
    QCOMPARE(number(cli(folder, QStringLiteral("getconnectioncount"))), connections);
    // The daemon keeps a genesis that it found.
    QCOMPARE(contents(file(folder, "twdemo.state")), state);
}

void DemoNodeTest::heightRisesAndNeverDrops() {
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    START_DAEMON(daemon, folder);

    qint64 last = number(cli(folder, QStringLiteral("getblockcount")));
    QVERIFY(last >= BaseHeight);
    const qint64 first = last;
    // Let time pass by moving the genesis back, 25 seconds a step.
    for (int step = 1; step <= 6; ++step) {
        const QByteArray state = "genesis=" + QByteArray::number(nowSeconds() - 25 * step) + "\n";
        QVERIFY(replace(file(folder, "twdemo.state"), state));
        for (int ask = 0; ask < 2; ++ask) {
            const qint64 height = number(cli(folder, QStringLiteral("getblockcount")));
            QVERIFY2(
                height >= last,
                qPrintable(QStringLiteral("step %1: %2 after %3").arg(step).arg(height).arg(last)));
            last = height;
        }
    }
    QVERIFY2(last >= first + 15, qPrintable(QStringLiteral("%1 -> %2").arg(first).arg(last)));
}

void DemoNodeTest::damagedState_data() {
    QTest::addColumn<bool>("remove");
    QTest::addColumn<QByteArray>("damage");

    QTest::newRow("deleted") << true << QByteArray();
    QTest::newRow("empty") << false << QByteArray();
    QTest::newRow("binary") << false << QByteArray("\0\xff\xfe\x01genesis\0", 13);
    QTest::newRow("not a number") << false << QByteArray("genesis=soon\n");
    QTest::newRow("no value") << false << QByteArray("genesis=\n");
    QTest::newRow("negative") << false << QByteArray("genesis=-5\n");
    QTest::newRow("overflow") << false << QByteArray("genesis=99999999999999999999999999\n");
    QTest::newRow("one megabyte") << false << QByteArray("genesis=1\n").repeated(100000);
}

void DemoNodeTest::damagedState() {
    QFETCH(bool, remove);
    QFETCH(QByteArray, damage);
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    const QString stateFile = file(folder, "twdemo.state");
    const QByteArray state = "genesis=" + QByteArray::number(nowSeconds() - 1002) + "\n";
    QVERIFY(replace(stateFile, state));
    START_DAEMON(daemon, folder);

    if (remove)
        QVERIFY(QFile::remove(stateFile));
    else
        QVERIFY(replace(stateFile, damage));
    // Until the daemon notices, the client still answers with a sane height.
    const qint64 during = number(cli(folder, QStringLiteral("getblockcount")));
    QVERIFY2(during >= BaseHeight && during <= BaseHeight + 101,
             qPrintable(QString::number(during)));

    // The daemon puts its genesis back and the chain goes on where it was.
    QTRY_COMPARE_WITH_TIMEOUT(contents(stateFile), state, Bound);
    QCOMPARE(number(cli(folder, QStringLiteral("getblockcount"))), BaseHeight + 100);
    QCOMPARE(daemon->state(), QProcess::Running);
}

void DemoNodeTest::genesisRecordedOnlyOnce() {
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    const QString stateFile = file(folder, "twdemo.state");
    const qint64 before = nowSeconds();
    {
        START_DAEMON(daemon, folder);
        const QByteArray state = contents(stateFile);
        QVERIFY2(state.startsWith("genesis=") && state.endsWith("\n"), state.constData());
        const qint64 genesis = state.mid(8).trimmed().toLongLong();
        QVERIFY2(genesis >= before && genesis <= nowSeconds(), state.constData());
        QCOMPARE(cli(folder, QStringLiteral("stop")).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(daemon->state(), QProcess::NotRunning, Bound);
    }
    // An older genesis, as if the node had been made long ago.
    const QByteArray older = "genesis=" + QByteArray::number(before - 3005) + "\n";
    QVERIFY(replace(stateFile, older));

    // The stop request of the last run is still in the folder; the new
    // daemon must not take it for its own.
    QVERIFY(QFile::exists(file(folder, "twdemo.stop")));
    START_DAEMON(daemon, folder);
    const QByteArray firstBeat = contents(file(folder, "twdemo-daemon.alive"));
    QTRY_VERIFY_WITH_TIMEOUT(contents(file(folder, "twdemo-daemon.alive")) != firstBeat, Bound);
    QCOMPARE(daemon->state(), QProcess::Running);
    QCOMPARE(contents(stateFile), older);
    const qint64 height = number(cli(folder, QStringLiteral("getblockcount")));
    QVERIFY2(height >= BaseHeight + 300 && height <= BaseHeight + 301,
             qPrintable(QString::number(height)));
}

void DemoNodeTest::secondDaemonRefused() {
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    START_DAEMON(first, folder);

    QProcess* second = start(TWDEMO_DAEMON, folder);
    QVERIFY(second->waitForFinished(Bound));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 1);
    QVERIFY(second->readAllStandardError().contains("already running"));

    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(number(cli(folder, QStringLiteral("getblockcount"))) >= BaseHeight);
}

void DemoNodeTest::stopEndsDaemonAndWallet_data() {
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<bool>("walletFirst");

    QTest::newRow("daemon first") << "node" << false;
    QTest::newRow("wallet first") << "node" << true;
    QTest::newRow("blanks in the folder") << "my demo node" << false;
}

void DemoNodeTest::stopEndsDaemonAndWallet() {
    QFETCH(QString, folderName);
    QFETCH(bool, walletFirst);
    const QString folder = makeFolder(folderName);
    QVERIFY(!folder.isEmpty());
    QProcess* wallet = walletFirst ? start(TWDEMO_WALLET, folder) : nullptr;
    START_DAEMON(daemon, folder);
    if (!wallet)
        wallet = start(TWDEMO_WALLET, folder);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file(folder, "twdemo-wallet.alive")), Bound);

    const Reply reply = cli(folder, QStringLiteral("stop"));
    QVERIFY(reply.finished);
    QCOMPARE(reply.exitCode, 0);
    QCOMPARE(reply.out, QByteArray("TwDemo server stopping\n"));
    QCOMPARE(reply.err, QByteArray());

    QTRY_COMPARE_WITH_TIMEOUT(daemon->state(), QProcess::NotRunning, Bound);
    QTRY_COMPARE_WITH_TIMEOUT(wallet->state(), QProcess::NotRunning, Bound);
    QCOMPARE(daemon->exitStatus(), QProcess::NormalExit);
    QCOMPARE(daemon->exitCode(), 0);
    QCOMPARE(wallet->exitStatus(), QProcess::NormalExit);
    QCOMPARE(wallet->exitCode(), 0);
    QVERIFY(!QFile::exists(file(folder, "twdemo-daemon.alive")));

    const Reply after = cli(folder, QStringLiteral("getblockcount"));
    QCOMPARE(after.exitCode, 1);
    QCOMPARE(after.out, QByteArray());
    QVERIFY(after.err.startsWith(ConnectError.toLatin1()));
}

void DemoNodeTest::leftOverStopRequestIgnored() {
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    const QString walletBeat = file(folder, "twdemo-wallet.alive");
    QVERIFY(replace(file(folder, "twdemo.stop"), "stop 1 left-over\n"));

    // The wallet starts before the daemon has cleared the old request.
    QProcess* wallet = start(TWDEMO_WALLET, folder);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(walletBeat), Bound);
    START_DAEMON(daemon, folder);
    const QByteArray beat = contents(walletBeat);
    // Each heartbeat follows a look for a stop request.
    QTRY_VERIFY_WITH_TIMEOUT(contents(walletBeat) != beat, Bound);
    QCOMPARE(wallet->state(), QProcess::Running);
    QCOMPARE(daemon->state(), QProcess::Running);

    QCOMPARE(cli(folder, QStringLiteral("stop")).exitCode, 0);
    QTRY_COMPARE_WITH_TIMEOUT(wallet->state(), QProcess::NotRunning, Bound);
    QTRY_COMPARE_WITH_TIMEOUT(daemon->state(), QProcess::NotRunning, Bound);
}

void DemoNodeTest::slowClient_data() {
    QTest::addColumn<QString>("delay");
    QTest::addColumn<qint64>("atLeastMs");

    QTest::newRow("400 ms") << "400" << qint64(400);
    QTest::newRow("1200 ms") << "1200" << qint64(1200);
    QTest::newRow("not a number") << "soon" << qint64(0);
    QTest::newRow("negative") << "-300" << qint64(0);
    QTest::newRow("empty") << "" << qint64(0);
}

void DemoNodeTest::slowClient() {
    QFETCH(QString, delay);
    QFETCH(qint64, atLeastMs);
    const QString folder = makeFolder(QStringLiteral("node"));
    QVERIFY(!folder.isEmpty());
    START_DAEMON(daemon, folder);

    QElapsedTimer timer;
    timer.start();
    const Reply reply = cli({QStringLiteral("-conf=") + conf(folder), "getblockcount"}, delay);
    const qint64 took = timer.elapsed();
    QCOMPARE(reply.exitCode, 0);
    QVERIFY2(isNumberLine(reply.out), reply.out.constData());
    QVERIFY2(took >= atLeastMs, qPrintable(QStringLiteral("answered after %1 ms").arg(took)));
}

QTEST_GUILESS_MAIN(DemoNodeTest)
#include "tst_demonode.moc"
