// The settings window over real processes (POSIX): batch files saved by the
// window and run by the POSIX runner against the demo node, and the top-most
// keeper on Xvfb with openbox (through run-under-xvfb.sh), waited for with a
// bound. The cases over the fake platform are in tst_settings.cpp.

#include "platform/posix/Posix.h"
#include "tests/support/TestRig.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tw;
using test::TestRig;

namespace {

// Whether the window manager lists _NET_WM_STATE_ABOVE in the window's state.
bool isAbove(platform::WindowHandle window) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(window), "_NET_WM_STATE"});
    return xprop.waitForFinished(5000) && xprop.readAll().contains("_NET_WM_STATE_ABOVE");
}

} // namespace

class TestSettingsPosix : public QObject {
    Q_OBJECT

private slots:
    void batchFilesOnTheDemoNode() {
        const QString client = TWDEMO_CLI;
        QTemporaryDir dir(QDir::tempPath() + "/tw-demo-XXXXXX"); // no blank: paths stand bare
        const QString conf = dir.filePath("twdemo.conf");
        platform::LocalFileSystem files;
        QVERIFY(files.writeFile(conf, {}));
        QProcess daemon;
        daemon.start(TWDEMO_DAEMON, {"-conf=" + conf});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir.filePath("twdemo-daemon.alive")), 10000);

        TestRig rig; // the store, the clock and the fakes; files and processes are real
        platform::PosixProcessStarter starter;
        platform::Platform real{rig.clock, rig.settings, starter,     rig.processes,
                                files,     rig.windows,  rig.section, QString()};
        const app::Services services{real, rig.scheduler, rig.settingsStore, rig.diagnostics};
        app::MainWindow main(services);
        new poll::ChainPoll(main, services);
        main.load();
        settings::SettingsWindow w(main, services);
        w.TW_CLI_UI_LOCATION_TEXTBOX->setText(dir.path());
        w.CLI_LOCATION_TEXTBOX->setText(QFileInfo(client).absolutePath());
        w.CLI_NAME_TEXTBOX->setText(QFileInfo(client).fileName());
        w.CONF_LOCATION_TEXTBOX->setText(conf);
        w.SAVE_REGISTRY_BUTTON->click();
        w.SAVE_BATS_BUTTON->click();
        const QString log = dir.filePath("CLI-UI-GBC.LOG");
        // The poll's fixed 3-second wait after the start is where the client answers.
        rig.clock.onWait = [&](qint64, int ms) {
            if (ms == 3000)
                QTRY_VERIFY_WITH_TIMEOUT(files.readFile(log, 100).bytes.endsWith('\n'), 15000);
        };
        poll::ChainPoll::requestBlockCount(main);
        rig.advance(1000);
        QCOMPARE(main.CURRENT_BLOCK_TEXTBOX->text().toLocal8Bit(), files.readFile(log, 100).bytes);
        // The stop batch file ends the daemon.
        QVERIFY(starter
                    .startBatchFile(main.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->text(),
                                    platform::BatchKind::Stop)
                    .result);
        QTRY_COMPARE_WITH_TIMEOUT(daemon.state(), QProcess::NotRunning, 15000);
    }

    void keeperOnX11() {
        if (!qEnvironmentVariableIsSet("TW_UNDER_XVFB"))
            QSKIP("needs Xvfb, openbox and xprop: run through run-under-xvfb.sh");
        const auto windows = platform::createWindowSystem();
        TestRig rig; // the store, the clock and the fakes; the window system is real
        platform::Platform real{rig.clock, rig.settings, rig.starter, rig.processes,
                                rig.files, *windows,     rig.section, QString()};
        const app::Services services{real, rig.scheduler, rig.settingsStore, rig.diagnostics};
        app::MainWindow main(services);
        new app::TopMostKeeper(main, services);
        main.load();
        main.show();
        QWidget other; // another program's window, top-most, in front
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main) && QTest::qWaitForWindowExposed(&other));
        const auto own = windows->handleOf(&main), front = windows->handleOf(&other);
        windows->setTopMost(front, true);
        other.activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(windows->foregroundWindow(), front, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(front), 10000);
        QVERIFY(!isAbove(own));
        rig.advance(1000);
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(own), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!isAbove(front), 10000);
    }
};

QTEST_MAIN(TestSettingsPosix)
#include "tst_settings_posix.moc"
