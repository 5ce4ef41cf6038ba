// The automation over real processes (POSIX): the process check on this
// machine's /proc, and the real program against the demo node. The scripted
// cases over the fake platform are in tst_automation.cpp.

#include "automation/Automation.h"
#include "platform/posix/Posix.h"
#include "tests/support/TestRig.h"

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using tw::automation::Automation;
using tw::test::TestRig;

namespace {

constexpr int Bound = 20000; // ms for a real process to start or end

// Copies a demo program into the node's data folder under a name of this
// run's own and starts it there; returns the node's configuration file.
QString startDemo(QProcess& process, const char* program, const QString& name,
                  const QTemporaryDir& node) {
    const QString path = node.filePath(name + QString::number(QCoreApplication::applicationPid()));
    QFile conf(node.filePath("twdemo.conf"));
    if (!QFile::copy(program, path) || !conf.open(QIODevice::WriteOnly))
        return {};
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(path, {"-conf=" + conf.fileName()});
    return process.waitForStarted(Bound) ? conf.fileName() : QString();
}

} // namespace

class TestAutomationPosix : public QObject {
    Q_OBJECT

private slots:
    // Real processes; the demo programs run as copies named for this run, so
    // that demo nodes of other runs on the machine cannot answer for them.
    void processCheckOnProc();
    void realProgramStopsTheNodeAndClosesItself();
};

// The watcher over the real process table finds the daemon by its whole
// name in any letter case; two instances are one yes; gone once it exited.
void TestAutomationPosix::processCheckOnProc() {
    QTemporaryDir nodes[2];
    QProcess daemons[2];
    for (int i = 0; i < 2; ++i)
        QVERIFY(!startDemo(daemons[i], TWDEMO_DAEMON, "TwDemo-Daemon-", nodes[i]).isEmpty());
    const QString name = QFileInfo(daemons[0].program()).fileName();
    tw::platform::ProcProcessTable table;
    QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(name), 2, Bound);

    TestRig rig; // its fakes, but the real process table
    tw::platform::Platform platform{rig.clock, rig.settings, rig.starter, table,
                                    rig.files, rig.windows,  rig.section, QString()};
    tw::app::Services services{platform, rig.scheduler, rig.settingsStore, rig.diagnostics};
    tw::app::MainWindow w(services);
    new Automation(w, services);
    w.load();
    auto sees = [&](const QString& client) {
        w.CLI_NAME_TEXTBOX->setText(client);
        rig.advance(1000);
        return w.PROCESS_ACTIVE_LABEL->text() == "!!! CLI RUNNING !!!" ? "1" : "0";
    };
    // Other letter case twice, then a prefix and a longer name.
    QCOMPARE(QString(sees(name.toLower())) + sees(name.toUpper()) + sees(name.chopped(1)) +
                 sees(name + "0"),
             "1100");
    for (QProcess& daemon : daemons) {
        daemon.terminate();
        QVERIFY(daemon.waitForFinished(Bound));
    }
    QCOMPARE(sees(name), "0");
    QCOMPARE(rig.diagnostics.failureCount(), 0);
}

// Auto Start, AutoSend STOP, Auto Close and P-4-P ticked: the program counts
// down, runs the stop batch file (in a folder with blanks), waits until the
// daemon and the wallet have ended and exits with 0; its store then holds
// its position and its tick states.
void TestAutomationPosix::realProgramStopsTheNodeAndClosesItself() {
    QTemporaryDir node, home, batchFolder(QDir::tempPath() + "/Stop Batch Files XXXXXX");
    QProcess daemon, wallet, panel;
    const QString conf = startDemo(daemon, TWDEMO_DAEMON, "twdemo-daemon-e2e-", node);
    QVERIFY(!conf.isEmpty() &&
            !startDemo(wallet, TWDEMO_WALLET, "twdemo-wallet-e2e-", node).isEmpty());
    QFile batch(batchFolder.filePath("CLI-UI-STOP.BAT"));
    QVERIFY(
        batch.open(QIODevice::WriteOnly) &&
        batch.write(QString("call \"%1\" -conf=%2 stop\r\n").arg(TWDEMO_CLI, conf).toLocal8Bit()) &&
        batch.flush());
    // Under a file name of its own (a link) the program has its own section.
    QVERIFY(QFile::link(TW_CLI_UI, node.filePath("TW-CLI-UI-e2e")));
    tw::platform::IniSettingsBackend backend(home.filePath("config/TW-CLI-UI/TW-CLI-UI.ini"));
    tw::app::SettingsStore store(backend, "TW-CLI-UI-e2e");
    for (const QString& setting :
         QStringList{"AlwaysOnTopTimer_TICKBOX=0", "CLI_NAME_TEXTBOX=twdemo-cli", "MainLeft=1500",
                     "MainTop=1200", "CLI_STOP_BAT_TICKBOX=1", "AUTOSTART_TICKBOX=1",
                     "AUTOCLOSE_TIMER_TICKBOX=1", "P4P_TICKBOX=1",
                     "CLI_STOP_BAT_FULL_LOCATION_TEXTBOX=" + batch.fileName(),
                     "QT_EXE_TEXTBOX=" + QFileInfo(wallet.program()).fileName(),
                     "DAEMON_EXE_TEXTBOX=" + QFileInfo(daemon.program()).fileName()})
        store.SaveSetting(setting.section('=', 0, 0), setting.section('=', 1));
    // The client answers only once the daemon's heartbeat is there.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(node.filePath("twdemo-daemon.alive")), Bound);
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_STATE_HOME", home.filePath("state").toLocal8Bit());
    panel.start(node.filePath("TW-CLI-UI-e2e"), {});
    // 11 s countdown, 3 s pause, 10 s to the cycle end, then the wait.
    QTRY_COMPARE_WITH_TIMEOUT(panel.state(), QProcess::NotRunning, 60000);
    QVERIFY2(panel.exitStatus() == QProcess::NormalExit && panel.exitCode() == 0,
             panel.readAllStandardError().constData());
    // The node had gone when the program closed, ended by its stop request.
    tw::platform::ProcProcessTable table;
    for (QProcess* process : {&daemon, &wallet}) {
        QCOMPARE(table.countByImageName(QFileInfo(process->program()).fileName()), 0);
        QTRY_COMPARE_WITH_TIMEOUT(process->state(), QProcess::NotRunning, Bound);
        QCOMPARE(process->exitCode(), 0);
    }
    QString read; // the position and the six tick states
    for (const QString& key :
         QString("MainLeft MainTop CLI_GBC_BAT_TICKBOX CLI_GCC_BAT_TICKBOX "
                 "CLI_STOP_BAT_TICKBOX AUTOSTART_TICKBOX AUTOCLOSE_TIMER_TICKBOX P4P_TICKBOX")
             .split(' '))
        read += store.GetSetting(key, "-") + " ";
    QCOMPARE(read, "1500 1200 0 0 1 1 1 1 ");
}

QTEST_MAIN(TestAutomationPosix)
#include "tst_automation_posix.moc"
