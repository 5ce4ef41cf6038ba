// The demo node's programs and its configure tool, run for real in a
// temporary folder (the configure tool with its own XDG_CONFIG_HOME).

#include "platform/posix/Posix.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

using tw::platform::IniSettingsBackend;

constexpr int Bound = 10000; // ms: the most any program may take to react

class TestDemo : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
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
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("out"); // the whole standard output; empty: no node running
        QTest::newRow("no daemon") << QString("getblockcount") << QString();
        QTest::newRow("block count") << QString("getblockcount") << QString("[0-9]+\n");
        QTest::newRow("connection count") << QString("getconnectioncount") << QString("[0-9]+\n");
        QTest::newRow("stop") << QString("stop") << QString("TwDemo server stopping\n");
    }
    void client() {
        QFETCH(QString, command);
        QFETCH(QString, out);
        QTemporaryDir dir;
        const QString conf = "-conf=" + dir.filePath("twdemo.conf");
        QVERIFY(QFile(dir.filePath("twdemo.conf")).open(QIODevice::WriteOnly));
        QProcess daemon, wallet, cli;
        if (!out.isEmpty()) {
            daemon.start(TWDEMO_DAEMON, {conf});
            wallet.start(TWDEMO_WALLET, {conf});
            QTRY_COMPARE_WITH_TIMEOUT(QDir(dir.path()).entryList({"*.alive"}).size(), 2, Bound);
        }
        cli.start(TWDEMO_CLI, {conf, command});
        QVERIFY(cli.waitForFinished(Bound));
        const QString stdOut = cli.readAllStandardOutput(), stdErr = cli.readAllStandardError();
        QVERIFY2(stdOut.contains(QRegularExpression("\\A" + out + "\\z")), qPrintable(stdOut));
        QCOMPARE(cli.exitCode() == 0, !out.isEmpty());
        QCOMPARE(stdErr.isEmpty(), !out.isEmpty());
        if (command == "stop") {
            QTRY_COMPARE_WITH_TIMEOUT(daemon.state(), QProcess::NotRunning, Bound);
            QTRY_COMPARE_WITH_TIMEOUT(wallet.state(), QProcess::NotRunning, Bound);
        }
        daemon.close();
        wallet.close();
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
