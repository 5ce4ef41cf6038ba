// twdemo-configure, run for real against a settings file in a temporary
// XDG_CONFIG_HOME; its batch files are then run by the real runner against
// the demo node.

#include "platform/Posix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int Bound = 10000; // ms
const QString Application = QStringLiteral("TW-CLI-UI");
const QString Section = QStringLiteral("TW-CLI-UI-DEMO");

QByteArray contents(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

struct Run {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class DemoConfigureTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void settings_data();
    void settings();
    void otherSectionsUntouched();
    void batchFiles_data();
    void batchFiles();
    void queriesThroughBatchFiles_data();
    void queriesThroughBatchFiles();
    void stopThroughBatchFile();
    void badArguments_data();
    void badArguments();

private:
    Run configure(const QStringList& args, const QString& configHome);
    QString iniPath(const QString& configHome) const {
        return configHome + QStringLiteral("/TW-CLI-UI/TW-CLI-UI.ini");
    }
    QString demoFile(const char* name) const {
        return demo_ + QLatin1Char('/') + QLatin1String(name);
    }
    QString expand(QString text) const {
        return text.replace(QLatin1String("%DEMO"), demo_)
            .replace(QLatin1String("%CLIENT"), client_);
    }

    QTemporaryDir dir_;
    QString configHome_;
    QString demo_;
    QString client_;
    QProcess daemon_;
};

Run DemoConfigureTest::configure(const QStringList& args, const QString& configHome) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    process.setProcessEnvironment(env);
    process.start(QString::fromUtf8(TWDEMO_CONFIGURE), args);
    Run run;
    run.finished = process.waitForFinished(Bound);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void DemoConfigureTest::initTestCase() {
    QVERIFY(dir_.isValid());
    configHome_ = dir_.path() + QStringLiteral("/config");
    demo_ = dir_.path() + QStringLiteral("/demo");
    client_ = QFileInfo(QString::fromUtf8(TWDEMO_CLI)).absolutePath();
    QVERIFY(QDir().mkpath(demo_));
    QFile conf(demoFile("twdemo.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.close();

    // The user's own configuration, which the demo must leave alone.
    tw::platform::IniSettingsBackend store(iniPath(configHome_));
    QVERIFY(store
                .write(Application, Application, QStringLiteral("CLI_NAME_TEXTBOX"),
                       QStringLiteral("bitcoin-cli"))
                .ok);
    QVERIFY(store
                .write(Application, Application, QStringLiteral("AUTOSTART_TICKBOX"),
                       QStringLiteral("0"))
                .ok);

    const Run run = configure({Section, demo_, client_}, configHome_);
    QVERIFY(run.finished);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.err, QByteArray());
}

void DemoConfigureTest::cleanupTestCase() {
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.kill();
        daemon_.waitForFinished(Bound);
    }
}

void DemoConfigureTest::settings_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    const QList<std::pair<const char*, const char*>> expected = {
        {"TW_CLI_UI_LOCATION_TEXTBOX", "%DEMO"},
        {"CONF_LOCATION_TEXTBOX", "%DEMO/twdemo.conf"},
        {"CLI_LOCATION_TEXTBOX", "%CLIENT"},
        {"CLI_NAME_TEXTBOX", "twdemo-cli"},
        {"QT_EXE_TEXTBOX", "twdemo-wallet"},
        {"DAEMON_EXE_TEXTBOX", "twdemo-daemon"},
        {"DASH_DAEMON_TICKBOX", "0"},
        {"DISABLE_DAEMON_TICKBOX", "0"},
        {"CLI_GBC_BAT_TICKBOX", "1"},
        {"CLI_GCC_BAT_TICKBOX", "1"},
        {"CLI_STOP_BAT_TICKBOX", "0"},
        {"AUTOSTART_TICKBOX", "1"},
        {"AUTOCLOSE_TIMER_TICKBOX", "0"},
        {"P4P_TICKBOX", "0"},
        {"CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", "%DEMO/CLI-UI-STOP.BAT"},
        {"CLI_GBC_FULL_BAT_LOCATION_TEXTBOX", "%DEMO/CLI-UI-GBC.BAT"},
        {"CLI_GCC_FULL_BAT_LOCATION_TEXTBOX", "%DEMO/CLI-UI-GCC.BAT"},
        {"CLI_GBC_FULL_LOG_LOCATION_TEXTBOX", "%DEMO/CLI-UI-GBC.LOG"},
        {"CLI_GCC_FULL_LOG_LOCATION_TEXTBOX", "%DEMO/CLI-UI-GCC.LOG"},
    };
    for (const auto& [key, value] : expected)
        QTest::newRow(key) << QString::fromLatin1(key) << QString::fromLatin1(value);
}

void DemoConfigureTest::settings() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    tw::platform::IniSettingsBackend store(iniPath(configHome_));
    const auto stored = store.read(Application, Section, key);
    QVERIFY2(stored.has_value(), qPrintable(key));
    QCOMPARE(*stored, expand(value));
}

void DemoConfigureTest::otherSectionsUntouched() {
    tw::platform::IniSettingsBackend store(iniPath(configHome_));
    QCOMPARE(store.read(Application, Application, QStringLiteral("CLI_NAME_TEXTBOX")),
             std::optional<QString>(QStringLiteral("bitcoin-cli")));
    QCOMPARE(store.read(Application, Application, QStringLiteral("AUTOSTART_TICKBOX")),
             std::optional<QString>(QStringLiteral("0")));
    // Nothing of the demo leaked into the user's section.
    QCOMPARE(store.read(Application, Application, QStringLiteral("QT_EXE_TEXTBOX")),
             std::optional<QString>());
}

void DemoConfigureTest::batchFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");

    const QString call = QStringLiteral("call \"%CLIENT/twdemo-cli\" -conf=%DEMO/twdemo.conf");
    QTest::newRow("block count") << "CLI-UI-GBC.BAT"
                                 << call + " getblockcount > %DEMO/CLI-UI-GBC.LOG";
    QTest::newRow("connection count")
        << "CLI-UI-GCC.BAT" << call + " getconnectioncount > %DEMO/CLI-UI-GCC.LOG";
    QTest::newRow("stop") << "CLI-UI-STOP.BAT" << call + " stop";
}

void DemoConfigureTest::batchFiles() {
    QFETCH(QString, name);
    QFETCH(QString, line);
    QCOMPARE(contents(demo_ + QLatin1Char('/') + name), expand(line).toLocal8Bit() + "\r\n");
}

void DemoConfigureTest::queriesThroughBatchFiles_data() {
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("log");
    QTest::addColumn<qint64>("lowest");
    QTest::addColumn<qint64>("highest");

    QTest::newRow("block count") << "CLI-UI-GBC.BAT"
                                 << "CLI-UI-GBC.LOG" << qint64(840000) << qint64(840001);
    QTest::newRow("connection count") << "CLI-UI-GCC.BAT"
                                      << "CLI-UI-GCC.LOG" << qint64(8) << qint64(9);
}

void DemoConfigureTest::queriesThroughBatchFiles() {
    QFETCH(QString, batch);
    QFETCH(QString, log);
    QFETCH(qint64, lowest);
    QFETCH(qint64, highest);
    if (daemon_.state() == QProcess::NotRunning) {
        daemon_.start(QString::fromUtf8(TWDEMO_DAEMON),
                      {QStringLiteral("-conf=") + demoFile("twdemo.conf")});
        QVERIFY(daemon_.waitForStarted(Bound));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(demoFile("twdemo-daemon.alive")), Bound);
    }
    const QString logPath = demo_ + QLatin1Char('/') + log;
    QFile::remove(logPath);

    tw::platform::PosixProcessStarter starter;
    const auto started = starter.startBatchFile(demo_ + QLatin1Char('/') + batch);
    QVERIFY2(started.ok, qPrintable(started.error));
    static const QRegularExpression numberLine(QStringLiteral("\\A[0-9]+\\n\\z"));
    QTRY_VERIFY_WITH_TIMEOUT(numberLine.match(QString::fromLatin1(contents(logPath))).hasMatch(),
                             Bound);
    const qint64 value = contents(logPath).trimmed().toLongLong();
    QVERIFY2(value >= lowest && value <= highest, contents(logPath).constData());
}

void DemoConfigureTest::stopThroughBatchFile() {
    if (daemon_.state() == QProcess::NotRunning) {
        daemon_.start(QString::fromUtf8(TWDEMO_DAEMON),
                      {QStringLiteral("-conf=") + demoFile("twdemo.conf")});
        QVERIFY(daemon_.waitForStarted(Bound));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(demoFile("twdemo-daemon.alive")), Bound);
    }
    tw::platform::PosixProcessStarter starter;
    QVERIFY(starter.startBatchFile(demoFile("CLI-UI-STOP.BAT")).ok);
    QTRY_COMPARE_WITH_TIMEOUT(daemon_.state(), QProcess::NotRunning, Bound);
    QCOMPARE(daemon_.exitCode(), 0);
}

void DemoConfigureTest::badArguments_data() {
    QTest::addColumn<QStringList>("args");

    QTest::newRow("none") << QStringList();
    QTest::newRow("two") << QStringList{Section, "%DEMO"};
    QTest::newRow("four") << QStringList{Section, "%DEMO", "%CLIENT", "extra"};
    QTest::newRow("empty section") << QStringList{"", "%DEMO", "%CLIENT"};
    QTest::newRow("empty demo folder") << QStringList{Section, "", "%CLIENT"};
}

void DemoConfigureTest::badArguments() {
    QFETCH(QStringList, args);
    for (QString& arg : args)
        arg = expand(arg);
    QTemporaryDir home;
    QVERIFY(home.isValid());

    const Run run = configure(args, home.path());
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.contains("usage: twdemo-configure"), run.err.constData());
    QVERIFY(!QFile::exists(iniPath(home.path())));
}

QTEST_GUILESS_MAIN(DemoConfigureTest)
#include "tst_democonfigure.moc"
