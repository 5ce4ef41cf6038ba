// The process check on this machine's real process table: the demo node's
// daemon and wallet started by the test, the watcher and the wait asking
// for them by name; and a real stop batch file, run by the real runner,
// that ends them while the wait looks on. The window's timers run on the
// virtual clock; the processes run for real, so their ends are awaited with
// a bounded QTRY.
//
// The demo programs are copied under names of this run's own, so that demo
// nodes of other test runs on the same machine cannot answer for them.

#include "app/Colours.h"
#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/WindowTimer.h"
#include "automation/Automation.h"
#include "platform/Posix.h"
#include "poll/ChainPoll.h"
#include "tests/support/Fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using tw::app::MainWindow;

namespace {

constexpr int ProcessBoundMs = 20000;

// The window and the automation over the real process table and the real
// batch-file starter; everything else is faked, time is virtual.
struct RealTableRig {
    explicit RealTableRig(const QString& section = QStringLiteral("TW-CLI-UI-proc"))
        : section(section) {}
    ~RealTableRig() {
        scheduler.stopAll();
        window.reset();
    }

    void store(const QString& key, const QString& value) { settings.set(section, key, value); }

    MainWindow& start() {
        window = std::make_unique<MainWindow>(services);
        new tw::poll::ChainPoll(*window, services);
        new tw::automation::Automation(*window, services);
        window->load();
        return *window;
    }

    // One watcher tick asking for `name`; whether it saw the client run.
    bool watcherSees(const QString& name) {
        window->CLI_NAME_TEXTBOX->setText(name);
        clock.advance(1000);
        const QString caption = window->PROCESS_ACTIVE_LABEL->text();
        if (caption != QLatin1String("!!! CLI RUNNING !!!") &&
            caption != QLatin1String("!!! CLI NOT RUNNING !!!"))
            qWarning("unexpected caption %s", qPrintable(caption));
        return caption == QLatin1String("!!! CLI RUNNING !!!");
    }

    QString section;
    tw::test::VirtualClock clock;
    tw::test::FakeSettingsBackend settings;
    tw::platform::PosixProcessStarter starter;
    tw::platform::ProcProcessTable processes;
    tw::test::FakeFileSystem files;
    tw::test::FakeWindowSystem windows;
    tw::platform::Platform platform{clock, settings, starter, processes,
                                    files, windows,  section, QString()};
    tw::app::Diagnostics diagnostics{QString(), false};
    tw::app::SettingsStore settingsStore{settings, section, &diagnostics};
    tw::app::Scheduler scheduler{clock};
    tw::app::Services services{platform, scheduler, settingsStore, diagnostics};
    std::unique_ptr<MainWindow> window;
};

// A demo program started by the test, ended (and reaped) when it goes.
struct Program {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    ~Program() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
};

} // namespace

class TestProcessCheckReal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void daemonIsFoundByItsWholeNameOnly_data();
    void daemonIsFoundByItsWholeNameOnly();
    void twoInstancesAreOneYes();
    void notFoundOnceItHasExited();
    void stopBatchFileEndsTheNodeAndTheWaitSeesItGo_data();
    void stopBatchFileEndsTheNodeAndTheWaitSeesItGo();

private:
    // A data folder with its (empty) configuration file.
    QString makeNode(const QString& name);
    void startProgram(Program& program, const QString& executable, const QString& conf);

    QTemporaryDir tmp_;
    QString daemonName_; // image name of this run's daemon
    QString walletName_;
    QString daemon_; // its path
    QString wallet_;
    Program firstDaemon_;
    Program secondDaemon_;
};

QString TestProcessCheckReal::makeNode(const QString& name) {
    const QString folder = tmp_.filePath(name);
    if (!QDir().mkpath(folder))
        return {};
    QFile conf(folder + QStringLiteral("/twdemo.conf"));
    if (!conf.open(QIODevice::WriteOnly))
        return {};
    conf.write("# demo node\n");
    return conf.fileName();
}

void TestProcessCheckReal::startProgram(Program& program, const QString& executable,
                                        const QString& conf) {
    program.process->setProgram(executable);
    program.process->setArguments({QStringLiteral("-conf=") + conf});
    program.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.process->start();
    QVERIFY2(program.process->waitForStarted(5000), qPrintable(program.process->errorString()));
}

void TestProcessCheckReal::initTestCase() {
    QVERIFY(tmp_.isValid());
    const QString run = QString::number(QCoreApplication::applicationPid());
    // Mixed letter case, so that a lower- or upper-case query is a real test.
    daemonName_ = QStringLiteral("TwDemo-Daemon-") + run;
    walletName_ = QStringLiteral("TwDemo-Wallet-") + run;
    QVERIFY(QDir().mkpath(tmp_.filePath("bin")));
    daemon_ = tmp_.filePath("bin/" + daemonName_);
    wallet_ = tmp_.filePath("bin/" + walletName_);
    QVERIFY(QFile::copy(QStringLiteral(TWDEMO_DAEMON), daemon_));
    QVERIFY(QFile::copy(QStringLiteral(TWDEMO_WALLET), wallet_));

    tw::platform::ProcProcessTable table;
    QCOMPARE(table.countByImageName(daemonName_), 0);
    const QString conf = makeNode("node1");
    QVERIFY(!conf.isEmpty());
    startProgram(firstDaemon_, daemon_, conf);
    QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(daemonName_), 1, ProcessBoundMs);
}

void TestProcessCheckReal::daemonIsFoundByItsWholeNameOnly_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("found");
    QTest::newRow("as it is") << "same" << true;
    QTest::newRow("lower case") << "lower" << true;
    QTest::newRow("upper case") << "upper" << true;
    QTest::newRow("a prefix") << "prefix" << false;
    QTest::newRow("a longer name") << "longer" << false;
    QTest::newRow("with .exe") << "exe" << false;
    QTest::newRow("with a blank after it") << "blank" << false;
    QTest::newRow("its folder too") << "path" << false;
    QTest::newRow("empty") << "empty" << false;
}

void TestProcessCheckReal::daemonIsFoundByItsWholeNameOnly() {
    QFETCH(QString, how);
    QFETCH(bool, found);
    const QString name = how == "same"     ? daemonName_
                         : how == "lower"  ? daemonName_.toLower()
                         : how == "upper"  ? daemonName_.toUpper()
                         : how == "prefix" ? daemonName_.chopped(1)
                         : how == "longer" ? daemonName_ + "0"
                         : how == "exe"    ? daemonName_ + ".exe"
                         : how == "blank"  ? daemonName_ + " "
                         : how == "path"   ? daemon_
                                           : QString();
    RealTableRig rig;
    rig.start();
    QCOMPARE(rig.watcherSees(name), found);
    // The same answer from the wait before exit, for the daemon's name.
    rig.window->QT_EXE_TEXTBOX->setText(QString());
    rig.window->DAEMON_EXE_TEXTBOX->setText(name);
    rig.window->P4P_END_TIMER->setEnabled(true);
    rig.clock.advance(1000);
    QCOMPARE(rig.window->hasClosed(), !found);
    if (found)
        QCOMPARE(rig.window->PROCESS_ACTIVE_LABEL->text(),
                 QStringLiteral("!!! DAEMON STILL RUNNING !!!"));
    QCOMPARE(rig.diagnostics.failureCount(), 0);
}

void TestProcessCheckReal::twoInstancesAreOneYes() {
    const QString conf = makeNode("node2");
    QVERIFY(!conf.isEmpty());
    startProgram(secondDaemon_, daemon_, conf);
    tw::platform::ProcProcessTable table;
    QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(daemonName_), 2, ProcessBoundMs);

    RealTableRig rig;
    rig.start();
    QVERIFY(rig.watcherSees(daemonName_.toLower()));
    QCOMPARE(rig.window->PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! CLI RUNNING !!!"));
    QCOMPARE(tw::app::background(rig.window->PROCESS_ACTIVE_LABEL), tw::app::colour::Red);
}

void TestProcessCheckReal::notFoundOnceItHasExited() {
    RealTableRig rig;
    rig.start();
    QVERIFY(rig.watcherSees(daemonName_));
    for (Program* program : {&firstDaemon_, &secondDaemon_}) {
        program->process->terminate();
        QVERIFY(program->process->state() == QProcess::NotRunning ||
                program->process->waitForFinished(ProcessBoundMs));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!rig.watcherSees(daemonName_), ProcessBoundMs);
    QCOMPARE(rig.window->PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! CLI NOT RUNNING !!!"));
    QVERIFY(rig.window->SHUTDOWN_BUTTON->isEnabled());
}

void TestProcessCheckReal::stopBatchFileEndsTheNodeAndTheWaitSeesItGo_data() {
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain folder") << "batch";
    QTest::newRow("folder with blanks") << "My Batch Files";
}

void TestProcessCheckReal::stopBatchFileEndsTheNodeAndTheWaitSeesItGo() {
    QFETCH(QString, folder);
    const QString nodeName = QStringLiteral("node-") + QString::number(qHash(folder), 16);
    const QString conf = makeNode(nodeName);
    QVERIFY(!conf.isEmpty());
    Program daemon, wallet;
    startProgram(daemon, daemon_, conf);
    startProgram(wallet, wallet_, conf);
    tw::platform::ProcProcessTable table;
    QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(daemonName_), 1, ProcessBoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(walletName_), 1, ProcessBoundMs);
    // The client answers only once the daemon's heartbeat is there.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tmp_.filePath(nodeName + "/twdemo-daemon.alive")),
                             ProcessBoundMs);

    // The stop batch file as the settings window writes it: one line, CR LF.
    QVERIFY(QDir().mkpath(tmp_.filePath(folder)));
    const QString batch = tmp_.filePath(folder + "/CLI-UI-STOP.BAT");
    QFile file(batch);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("call \"%1\" -conf=%2 stop\r\n")
                   .arg(QStringLiteral(TWDEMO_CLI), conf)
                   .toLocal8Bit());
    file.close();

    RealTableRig rig;
    for (const char* box :
         {"CLI_STOP_BAT_TICKBOX", "AUTOSTART_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX"})
        rig.store(QLatin1String(box), QStringLiteral("1"));
    rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", batch);
    rig.store("QT_EXE_TEXTBOX", walletName_.toLower());
    rig.store("DAEMON_EXE_TEXTBOX", daemonName_.toUpper());
    MainWindow& w = rig.start();

    // Fires at 11 s, the cycle end at 24 s starts the wait.
    rig.clock.advance(24000);
    QVERIFY(w.P4P_END_TIMER->isRunning());
    QCOMPARE(rig.diagnostics.failureCount(), 0);
    // The wait ticks once a virtual second until it sees neither.
    QTRY_VERIFY_WITH_TIMEOUT((rig.clock.advance(1000), w.hasClosed()), ProcessBoundMs);
    QCOMPARE(w.PROCESS_ACTIVE_LABEL->text(), QStringLiteral("!!! FINISHED - AUTOCLOSING !!!"));

    // They ended by the stop request, not otherwise.
    for (Program* program : {&daemon, &wallet}) {
        QVERIFY(program->process->state() == QProcess::NotRunning ||
                program->process->waitForFinished(ProcessBoundMs));
        QCOMPARE(program->process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->process->exitCode(), 0);
    }
    QCOMPARE(rig.settings.get(rig.section, "P4P_TICKBOX"), QString("1"));
}

QTEST_MAIN(TestProcessCheckReal)
#include "tst_process_real.moc"
