// The real program against the demo node: a configuration that ticks Auto
// Start, AutoSend STOP, Auto Close and P-4-P and names the demo daemon and
// wallet. The program counts down, runs the stop batch file, waits until
// the daemon and the wallet have ended and closes itself with status 0;
// its store then holds its position and its tick states.
//
// The program runs under the offscreen platform with its configuration and
// state folders in a temporary folder, under a file name of this test's own
// (a link), so that it has a section of its own and touches no real
// configuration. The demo daemon and wallet run as copies named for this
// run, so that demo nodes of other runs on the machine cannot keep the wait
// going.

#include "app/SettingsStore.h"
#include "platform/Posix.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int StartBoundMs = 20000;
// 11 s countdown, 3 s pause, 10 s to the cycle end, then the wait.
constexpr int RunBoundMs = 60000;
constexpr qint64 CycleMs = 11000 + 3000 + 10000;

struct Program {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    qint64 endedAt = -1; // on the test's clock
    ~Program() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
};

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void stopsTheDemoNodeAndClosesItself_data();
    void stopsTheDemoNodeAndClosesItself();
};

void TestEndToEnd::stopsTheDemoNodeAndClosesItself_data() {
    QTest::addColumn<QString>("batchFolder");
    QTest::newRow("stop batch file in a folder with blanks") << "Stop Batch Files";
}

void TestEndToEnd::stopsTheDemoNodeAndClosesItself() {
    QFETCH(QString, batchFolder);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString run = QString::number(QCoreApplication::applicationPid());
    const QString executable = QStringLiteral("TW-CLI-UI-e2e-") + run;
    const QString daemonName = QStringLiteral("twdemo-daemon-e2e-") + run;
    const QString walletName = QStringLiteral("twdemo-wallet-e2e-") + run;
    const QString bin = tmp.filePath("bin");
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(QFile::link(QStringLiteral(TW_CLI_UI), bin + "/" + executable));
    QVERIFY(QFile::copy(QStringLiteral(TWDEMO_DAEMON), bin + "/" + daemonName));
    QVERIFY(QFile::copy(QStringLiteral(TWDEMO_WALLET), bin + "/" + walletName));

    // The node's data folder and configuration.
    QVERIFY(QDir().mkpath(tmp.filePath("node")));
    const QString conf = tmp.filePath("node/twdemo.conf");
    {
        QFile file(conf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# demo node\n");
    }
    // The stop batch file: one line ending CR LF.
    QVERIFY(QDir().mkpath(tmp.filePath(batchFolder)));
    const QString batch = tmp.filePath(batchFolder + "/CLI-UI-STOP.BAT");
    {
        QFile file(batch);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("call \"%1\" -conf=%2 stop\r\n")
                       .arg(QStringLiteral(TWDEMO_CLI), conf)
                       .toLocal8Bit());
    }

    // The program's configuration, in its own section of the store.
    const QString config = tmp.filePath("config");
    const QString state = tmp.filePath("state");
    const QString iniFile = config + QStringLiteral("/TW-CLI-UI/TW-CLI-UI.ini");
    {
        tw::platform::IniSettingsBackend backend(iniFile);
        tw::app::SettingsStore store(backend, executable);
        for (const char* box : {"AUTOSTART_TICKBOX", "CLI_STOP_BAT_TICKBOX",
                                "AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX"})
            store.SaveSetting(QLatin1String(box), QStringLiteral("1"));
        store.SaveSetting("AlwaysOnTopTimer_TICKBOX", "0");
        store.SaveSetting("CLI_NAME_TEXTBOX", "twdemo-cli");
        store.SaveSetting("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", batch);
        store.SaveSetting("QT_EXE_TEXTBOX", walletName);
        store.SaveSetting("DAEMON_EXE_TEXTBOX", daemonName);
        store.SaveSetting("MainLeft", "1500");
        store.SaveSetting("MainTop", "1200");
    }

    // The node runs.
    QElapsedTimer clock;
    clock.start();
    Program daemon, wallet;
    for (auto [program, name] : {std::pair{&daemon, daemonName}, std::pair{&wallet, walletName}}) {
        program->process->setProgram(bin + "/" + name);
        program->process->setArguments({QStringLiteral("-conf=") + conf});
        program->process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        connect(program->process.get(), &QProcess::finished, this,
                [program, &clock] { program->endedAt = clock.elapsed(); });
        program->process->start();
        QVERIFY2(program->process->waitForStarted(StartBoundMs),
                 qPrintable(program->process->errorString()));
    }
    tw::platform::ProcProcessTable table;
    QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(daemonName), 1, StartBoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(walletName), 1, StartBoundMs);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tmp.filePath("node/twdemo-daemon.alive")), StartBoundMs);

    // The program, on its own.
    Program panel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", config);
    environment.insert("XDG_STATE_HOME", state);
    panel.process->setProcessEnvironment(environment);
    panel.process->setProgram(bin + "/" + executable);
    panel.process->setProcessChannelMode(QProcess::MergedChannels);
    connect(panel.process.get(), &QProcess::finished, this,
            [&panel, &clock] { panel.endedAt = clock.elapsed(); });
    const qint64 startedAt = clock.elapsed();
    panel.process->start();
    QVERIFY2(panel.process->waitForStarted(StartBoundMs), qPrintable(panel.process->errorString()));

    // Events are served meanwhile, so each program's end is noted when it
    // happens (and the node's programs are reaped at once).
    QTRY_VERIFY_WITH_TIMEOUT(panel.endedAt >= 0, RunBoundMs);
    const QString output = QString::fromLocal8Bit(panel.process->readAll());
    QVERIFY2(panel.process->state() == QProcess::NotRunning, qPrintable(output));
    QVERIFY2(panel.process->exitStatus() == QProcess::NormalExit, qPrintable(output));
    QCOMPARE(panel.process->exitCode(), 0);

    // The stop batch file ended the node (the programs end with 0 only on a
    // stop request), and the program waited for that.
    for (Program* program : {&daemon, &wallet}) {
        QVERIFY(program->process->state() == QProcess::NotRunning ||
                program->process->waitForFinished(StartBoundMs));
        QCOMPARE(program->process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->process->exitCode(), 0);
        QVERIFY(program->endedAt >= 0);
        QVERIFY2(program->endedAt < panel.endedAt,
                 qPrintable(QStringLiteral("node program ended at %1 ms, the panel at %2 ms")
                                .arg(program->endedAt)
                                .arg(panel.endedAt)));
    }
    qInfo("panel started at %lld ms; daemon ended at %lld ms, wallet at %lld ms, panel at %lld ms",
          startedAt, daemon.endedAt, wallet.endedAt, panel.endedAt);
    QVERIFY2(
        panel.endedAt - startedAt >= CycleMs,
        qPrintable(QStringLiteral("the panel ended after %1 ms").arg(panel.endedAt - startedAt)));
    QVERIFY2(!output.contains("FAILED"), qPrintable(output));

    // The store holds the position and the tick states.
    tw::platform::IniSettingsBackend backend(iniFile);
    tw::app::SettingsStore store(backend, executable);
    QCOMPARE(store.GetSetting("MainLeft", "none"), QStringLiteral("1500"));
    QCOMPARE(store.GetSetting("MainTop", "none"), QStringLiteral("1200"));
    const QList<QPair<QString, QString>> ticks = {
        {"CLI_GBC_BAT_TICKBOX", "0"},     {"CLI_GCC_BAT_TICKBOX", "0"},
        {"CLI_STOP_BAT_TICKBOX", "1"},    {"AUTOSTART_TICKBOX", "1"},
        {"AUTOCLOSE_TIMER_TICKBOX", "1"}, {"P4P_TICKBOX", "1"}};
    for (const auto& [key, value] : ticks)
        QCOMPARE(store.GetSetting(key, "none"), value);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
