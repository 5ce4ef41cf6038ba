// The settings window over real processes (POSIX): batch files saved by the
// window and run by the POSIX runner against the demo node, and the top-most
// keeper on Xvfb with openbox (through run-under-xvfb.sh), waited for with a
// bound; the other program there is this binary, run with --other. The cases
// over the fake platform are in tst_settings.cpp.

#include "platform/posix/Posix.h"
#include "tests/support/TestRig.h"

#include <QApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <unistd.h>

using namespace tw;
using test::TestRig;

namespace {

// Whether the window manager lists _NET_WM_STATE_ABOVE in the window's state.
bool isAbove(platform::WindowHandle window) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(window), "_NET_WM_STATE"});
    return xprop.waitForFinished(5000) && xprop.readAll().contains("_NET_WM_STATE_ABOVE");
}

// Whether the window manager stacks window `upper` above window `lower`.
bool stacksAbove(platform::WindowHandle upper, platform::WindowHandle lower) {
    QProcess xprop;
    xprop.start("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    if (!xprop.waitForFinished(5000))
        return false;
    // "_NET_CLIENT_LIST_STACKING(WINDOW): window id # 0x200006, 0x600006", bottom first.
    const QList<QByteArray> ids = xprop.readAll().split('#').value(1).split(',');
    qsizetype up = -1, low = -1;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const platform::WindowHandle id = ids[i].trimmed().toULongLong(nullptr, 16);
        up = id == upper ? i : up;
        low = id == lower ? i : low;
    }
    return up >= 0 && low >= 0 && up > low;
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

    // Another program's top-most window in front leaves the band for the main
    // window; the program's own window in front joins the band above the
    // main window, and leaves it when another program's window comes to the
    // front again, which then stands above it.
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
        QProcess other; // another program's window; "activate" on its input brings it to the front
        other.start(QCoreApplication::applicationFilePath(), {"--other"});
        QVERIFY(other.waitForReadyRead(60000));
        const auto front = other.readLine().trimmed().toULongLong();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const auto own = windows->handleOf(&main);
        windows->setTopMost(front, true);
        other.write("activate\n");
        QTRY_COMPARE_WITH_TIMEOUT(windows->foregroundWindow(), front, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(front), 10000);
        QVERIFY(!isAbove(own));
        rig.advance(1000);
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(own), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!isAbove(front), 10000);

        QWidget history; // one of the program's own windows, in front
        history.show();
        QVERIFY(QTest::qWaitForWindowExposed(&history));
        const auto ours = windows->handleOf(&history);
        history.activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(windows->foregroundWindow(), ours, 10000);
        QVERIFY(stacksAbove(own, ours)); // covered by the main window
        rig.advance(1000);
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(ours) && stacksAbove(ours, own), 10000);
        QVERIFY(isAbove(own));

        other.write("activate\n");
        QTRY_COMPARE_WITH_TIMEOUT(windows->foregroundWindow(), front, 10000);
        rig.advance(1000);
        QTRY_VERIFY_WITH_TIMEOUT(!isAbove(ours), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(stacksAbove(front, ours), 10000);
        QVERIFY(isAbove(own) && !isAbove(front));
        other.kill();
        QVERIFY(other.waitForFinished(10000));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Another program's window: its id on stdout; each line on stdin brings
    // it to the front.
    if (argc == 2 && QByteArray(argv[1]) == "--other") {
        QWidget window;
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        std::printf("%llu\n", static_cast<unsigned long long>(window.winId()));
        std::fflush(stdout);
        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, &window, [&window] {
            char line[64];
            if (::read(STDIN_FILENO, line, sizeof line) <= 0)
                QApplication::quit();
            window.activateWindow();
        });
        return app.exec();
    }
    TestSettingsPosix test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_posix.moc"
