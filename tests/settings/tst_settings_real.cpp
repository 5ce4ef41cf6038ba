// The settings window's work over real processes: the batch files that Save
// To .BAT Files writes, run by the POSIX runner against the demo node and read
// by the main window's poll; and the keeper on a real X server with an EWMH
// window manager (ctest runs keeperOnX11 through run-under-xvfb.sh). The
// panel's clock stays virtual; the test waits for real processes with a bound.

#include "platform/Posix.h"
#include "tests/support/TestRig.h"

#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tw;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether the window manager lists _NET_WM_STATE_ABOVE in the window's state.
bool isAbove(platform::WindowHandle window) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(window), "_NET_WM_STATE"});
    return xprop.waitForFinished(5000) && xprop.readAll().contains("_NET_WM_STATE_ABOVE");
}

} // namespace

class TestSettingsReal : public QObject {
    Q_OBJECT

private slots:
    void batchFilesOnTheDemoNode() {
        const QString client = TWDEMO_CLI;
        QTemporaryDir dir(QDir::tempPath() + "/tw-demo-XXXXXX"); // no blank: paths stand bare
        const QString conf = dir.filePath("twdemo.conf");
        QFile file(conf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QProcess daemon;
        daemon.start(TWDEMO_DAEMON, {"-conf=" + conf});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir.filePath("twdemo-daemon.alive")), 10000);

        test::TestRig rig; // the store, the clock and the fakes; files and processes are real
        platform::PosixProcessStarter starter;
        platform::LocalFileSystem files;
        platform::Platform real{rig.clock, rig.settings, starter,     rig.processes,
                                files,     rig.windows,  rig.section, QString()};
        const app::Services services{real, rig.scheduler, rig.settingsStore, rig.diagnostics};
        app::MainWindow main(services);
        new poll::ChainPoll(main, services);
        main.load();
        {
            settings::SettingsWindow w(main, services);
            w.TW_CLI_UI_LOCATION_TEXTBOX->setText(dir.path());
            w.CLI_LOCATION_TEXTBOX->setText(QFileInfo(client).absolutePath());
            w.CLI_NAME_TEXTBOX->setText(QFileInfo(client).fileName());
            w.CONF_LOCATION_TEXTBOX->setText(conf);
            w.SAVE_REGISTRY_BUTTON->click();
            rig.advance(1000);
            w.SAVE_BATS_BUTTON->click();
        }
        const QString log = dir.filePath("CLI-UI-GBC.LOG");
        QCOMPARE(contentOf(dir.filePath("CLI-UI-GBC.BAT")),
                 ("call \"" + client + "\" -conf=" + conf + " getblockcount > " + log + "\r\n")
                     .toLocal8Bit());
        // The poll's fixed 3-second wait after the start is where the client answers.
        rig.clock.onWait = [&](qint64, int ms) {
            if (ms == 3000)
                QTRY_VERIFY_WITH_TIMEOUT(contentOf(log).endsWith('\n'), 15000);
        };
        poll::ChainPoll::requestBlockCount(main);
        rig.advance(1000);
        QVERIFY2(contentOf(log).trimmed().toLongLong() > 0, contentOf(log).constData());
        QCOMPARE(main.CURRENT_BLOCK_TEXTBOX->text().toLocal8Bit(), contentOf(log));
        QCOMPARE(rig.diagnostics.failureCount(), 0);
        // The stop batch file ends the daemon.
        QVERIFY(starter.startBatchFile(main.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->text()));
        QTRY_COMPARE_WITH_TIMEOUT(daemon.state(), QProcess::NotRunning, 15000);
    }

    void keeperOnX11() {
        if (!qEnvironmentVariableIsSet("TW_UNDER_XVFB"))
            QSKIP("needs Xvfb, openbox and xprop: run through run-under-xvfb.sh");
        const auto windows = platform::createWindowSystem();
        QCOMPARE(windows->limitation(), QString());
        test::TestRig rig; // the store, the clock and the fakes; the window system is real
        platform::Platform real{rig.clock, rig.settings, rig.starter, rig.processes,
                                rig.files, *windows,     rig.section, QString()};
        const app::Services services{real, rig.scheduler, rig.settingsStore, rig.diagnostics};
        app::MainWindow main(services);
        new app::TopMostKeeper(main, services);
        main.load();
        main.show();
        QWidget other; // another program's window, top-most, in front
        other.setGeometry(200, 200, 300, 200);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main) && QTest::qWaitForWindowExposed(&other));
        const platform::WindowHandle own = windows->handleOf(&main);
        const platform::WindowHandle front = windows->handleOf(&other);
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

QTEST_MAIN(TestSettingsReal)
#include "tst_settings_real.moc"
