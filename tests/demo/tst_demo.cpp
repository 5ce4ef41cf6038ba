// The demo node's programs and its configure tool, run for real in a
// temporary folder (the configure tool with its own XDG_CONFIG_HOME).

#include "platform/Posix.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using tw::platform::IniSettingsBackend;

constexpr int Bound = 10000; // ms: the most any program may take to react

class TestDemo : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    const QString client_ = QFileInfo(TWDEMO_CLI).absolutePath();
    QString demo() const { return tmp_.filePath("demo"); }

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
        const QString actual =
            file.open(QIODevice::ReadOnly) ? file.readAll() : stored.value;
        QCOMPARE(actual, expected.replace("%D", demo()).replace("%C", client_));
    }
};

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
