// The batch files that Save To .BAT Files writes, run for real: the POSIX
// runner starts them against the demo node's client, with the demo daemon
// running in a temporary folder, and the main window's poll reads the log
// they leave. Time is virtual for the panel; only the demo programs run in
// real time, and the test waits for them with a bound.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/WindowTimer.h"
#include "platform/Posix.h"
#include "poll/ChainPoll.h"
#include "settings/SettingsWindow.h"
#include "tests/support/Fakes.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

const QString Client = QStringLiteral(TWDEMO_CLI);
const QString Daemon = QStringLiteral(TWDEMO_DAEMON);

// The client's whole answer: a number and a line end.
const QRegularExpression Answer(QStringLiteral("^[0-9]+\\n$"));

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Wait, at most `ms`, until the client's answer stands whole in the log.
bool waitForAnswer(const QString& log, int ms) {
    QDeadlineTimer deadline(ms);
    while (!Answer.match(QString::fromLocal8Bit(contentOf(log))).hasMatch()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The panel's composition over the real runner and real files; the store,
// the process table and the window system are fakes, the clock is virtual.
struct Panel {
    tw::test::VirtualClock clock;
    tw::test::FakeSettingsBackend settings;
    tw::platform::PosixProcessStarter starter;
    tw::test::FakeProcessTable processes;
    tw::platform::LocalFileSystem files;
    tw::test::FakeWindowSystem windows;
    tw::platform::Platform platform{clock,
                                    settings,
                                    starter,
                                    processes,
                                    files,
                                    windows,
                                    QStringLiteral("TW-CLI-UI-DEMO-TEST"),
                                    QString()};
    tw::app::Diagnostics diagnostics{QString(), false};
    tw::app::SettingsStore store{settings, platform.executableName, &diagnostics};
    tw::app::Scheduler scheduler{clock};
    tw::app::Services services{platform, scheduler, store, diagnostics};
    std::unique_ptr<tw::app::MainWindow> main;

    Panel() {
        main = std::make_unique<tw::app::MainWindow>(services);
        new tw::poll::ChainPoll(*main, services);
        main->load();
    }
    ~Panel() {
        scheduler.stopAll();
        main.reset();
    }
};

} // namespace

class TestBatchFilesOnTheDemoNode : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void writtenBatchFilesRunAgainstTheDemoClient();

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<QProcess> daemon_;
};

void TestBatchFilesOnTheDemoNode::init() {
    QVERIFY2(QFileInfo(Client).isExecutable(), qPrintable(Client));
    QVERIFY2(QFileInfo(Daemon).isExecutable(), qPrintable(Daemon));
    // No blank in the folder's name: the configuration and log paths stand
    // bare in the lines.
    folder_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tw-demo-XXXXXX"));
    QVERIFY(folder_->isValid());
    QFile conf(folder_->filePath(QStringLiteral("twdemo.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("# the demo node's configuration\n");
    conf.close();

    daemon_ = std::make_unique<QProcess>();
    daemon_->setProgram(Daemon);
    daemon_->setArguments({QStringLiteral("-conf=") + conf.fileName()});
    daemon_->setProcessChannelMode(QProcess::ForwardedChannels);
    daemon_->start();
    QVERIFY(daemon_->waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo::exists(folder_->filePath(QStringLiteral("twdemo-daemon.alive"))), 10000);
}

void TestBatchFilesOnTheDemoNode::cleanup() {
    if (daemon_ && daemon_->state() != QProcess::NotRunning) {
        daemon_->terminate();
        if (!daemon_->waitForFinished(5000))
            daemon_->kill();
        daemon_->waitForFinished(5000);
    }
    daemon_.reset();
    folder_.reset();
}

void TestBatchFilesOnTheDemoNode::writtenBatchFilesRunAgainstTheDemoClient() {
    Panel panel;
    tw::app::MainWindow& main = *panel.main;
    const QString dir = folder_->path();

    {
        tw::settings::SettingsWindow settings(main, panel.services);
        settings.TW_CLI_UI_LOCATION_TEXTBOX->setText(dir);
        settings.CLI_LOCATION_TEXTBOX->setText(QFileInfo(Client).absolutePath());
        settings.CLI_NAME_TEXTBOX->setText(QFileInfo(Client).fileName());
        settings.CONF_LOCATION_TEXTBOX->setText(dir + QStringLiteral("/twdemo.conf"));
        settings.SAVE_REGISTRY_BUTTON->click();
        panel.clock.advance(1000);
        settings.SAVE_BATS_BUTTON->click();
        QCOMPARE(panel.diagnostics.failureCount(), 0);

        // Each file: the displayed line and CR LF, nothing else.
        for (const auto& [path, display] :
             {std::pair{main.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->text(),
                        settings.TWCLI_STOP_COMMAND_TEXTBOX},
              std::pair{main.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->text(),
                        settings.TWCLI_GBC_COMMAND_TEXTBOX},
              std::pair{main.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX->text(),
                        settings.TWCLI_GCC_COMMAND_TEXTBOX}}) {
            QVERIFY2(path.startsWith(dir + QStringLiteral("/CLI-UI-")), qPrintable(path));
            QCOMPARE(contentOf(path), display->toPlainText().toLocal8Bit() + "\r\n");
        }
        QCOMPARE(contentOf(dir + QStringLiteral("/CLI-UI-GBC.BAT")),
                 QByteArray("call \"") + Client.toLocal8Bit() + "\" -conf=" + dir.toLocal8Bit() +
                     "/twdemo.conf getblockcount > " + dir.toLocal8Bit() + "/CLI-UI-GBC.LOG\r\n");
        settings.CLOSE_BUTTON->click();
    }

    // The poll, as the main window runs it: the log path is the one the
    // save pushed into the main window. Its fixed 3-second wait after the
    // start is where the real client answers.
    const QString gbcLog = main.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->text();
    const QString gccLog = main.CLI_GCC_FULL_LOG_LOCATION_TEXTBOX->text();
    QCOMPARE(gbcLog, dir + QStringLiteral("/CLI-UI-GBC.LOG"));
    bool answered = true;
    panel.clock.onWait = [&](qint64, int ms) {
        if (ms != 3000)
            return;
        const QString log = main.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled() ? gbcLog : gccLog;
        answered = answered && waitForAnswer(log, 15000);
    };

    tw::poll::ChainPoll::requestBlockCount(main);
    panel.clock.advance(1000);
    QVERIFY(answered);
    QVERIFY(!main.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled());
    const QString blocks = main.CURRENT_BLOCK_TEXTBOX->text();
    QCOMPARE(blocks.toLocal8Bit(), contentOf(gbcLog));
    QVERIFY2(blocks.trimmed().toLongLong() >= 840000, qPrintable(blocks));

    tw::poll::ChainPoll::requestConnectionCount(main);
    panel.clock.advance(1000);
    QVERIFY(answered);
    QCOMPARE(main.CONNECTIONS_TEXTBOX->text().toLocal8Bit(), contentOf(gccLog));
    QVERIFY(Answer.match(main.CONNECTIONS_TEXTBOX->text()).hasMatch());
    QCOMPARE(panel.diagnostics.failureCount(), 0);

    // The stop batch file stops the demo daemon.
    QVERIFY(panel.starter.startBatchFile(main.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->text()));
    QTRY_COMPARE_WITH_TIMEOUT(daemon_->state(), QProcess::NotRunning, 15000);
}

QTEST_MAIN(TestBatchFilesOnTheDemoNode)
#include "tst_batch_files_demo.moc"
