// The query cycles over the real platform: real batch files in a temporary
// folder, run by the real batch runner against the demo node, real logs, a
// real external file and user command, and the real clock (a cycle takes
// its seven seconds).

#include "app/Colours.h"
#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/WindowTimer.h"
#include "platform/Posix.h"
#include "platform/RealClock.h"
#include "poll/ChainPoll.h"
#include "tests/support/Fakes.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using tw::poll::ChainPoll;
namespace failure = tw::poll::failure;

namespace {

constexpr int CycleBound = 30000; // ms: a cycle ends within this, however busy the machine

// The main window and the polls, composed as the program does over the real
// POSIX platform and the real clock. The settings store is not under test
// here and stays in memory.
struct RealPanel {
    tw::platform::RealClock clock;
    tw::test::FakeSettingsBackend settings;
    tw::platform::PosixProcessStarter starter;
    tw::platform::ProcProcessTable processes;
    tw::platform::LocalFileSystem files;
    tw::test::FakeWindowSystem windows;
    tw::platform::Platform platform{clock, settings, starter,     processes,
                                    files, windows,  "TW-CLI-UI", QString()};
    tw::app::Diagnostics diagnostics{QString(), false};
    tw::app::SettingsStore store{settings, QStringLiteral("TW-CLI-UI"), &diagnostics};
    tw::app::Scheduler scheduler{clock};
    tw::app::Services services{platform, scheduler, store, diagnostics};
    tw::app::MainWindow window{services};
    ChainPoll poll{window, services};

    RealPanel() {
        window.load();
        window.AlwaysOnTopTimer->setEnabled(false);
    }
    ~RealPanel() { scheduler.stopAll(); }
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

class TestChainPollReal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void answerShownExactly_data();
    void answerShownExactly();
    void failuresEndCleanly_data();
    void failuresEndCleanly();

private:
    bool clientAnswers();
    // The batch line as the settings window composes it: the client's path
    // quoted, the configuration and log paths bare.
    QString batchLine(const QString& client, const QString& command, const QString& log) const;

    QTemporaryDir tmp_;
    QString conf_;
    QProcess daemon_;
};

void TestChainPollReal::initTestCase() {
    QVERIFY(tmp_.isValid());
    QVERIFY(QDir(tmp_.path()).mkpath("node"));
    conf_ = tmp_.filePath("node/twdemo.conf");
    QVERIFY(writeFile(conf_, "# demo node\n"));
    daemon_.setProgram(QStringLiteral(TWDEMO_DAEMON));
    daemon_.setArguments({"-conf=" + conf_});
    daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon_.start();
    QVERIFY(daemon_.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(clientAnswers(), 15000);
}

void TestChainPollReal::cleanupTestCase() {
    if (daemon_.state() == QProcess::NotRunning)
        return;
    QProcess stop;
    stop.start(QStringLiteral(TWDEMO_CLI), {"-conf=" + conf_, "stop"});
    stop.waitForFinished(10000);
    if (!daemon_.waitForFinished(10000)) {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
}

bool TestChainPollReal::clientAnswers() {
    QProcess cli;
    cli.start(QStringLiteral(TWDEMO_CLI), {"-conf=" + conf_, "getblockcount"});
    return cli.waitForFinished(5000) && cli.exitStatus() == QProcess::NormalExit &&
           cli.exitCode() == 0;
}

QString TestChainPollReal::batchLine(const QString& client, const QString& command,
                                     const QString& log) const {
    return "call \"" + client + "\" -conf=" + conf_ + " " + command + " > " + log;
}

// A real block-count cycle: the log that the demo client wrote is shown
// exactly, the external file holds that text and CR LF, and the user command
// runs after the file was written.
void TestChainPollReal::answerShownExactly_data() {
    QTest::addColumn<QString>("clientFolder"); // "" for the build's own bin folder
    QTest::addColumn<QString>("batchFolder");

    QTest::newRow("plain folders") << ""
                                   << "panel";
    // The batch file's own path is started whole, and the runner takes the
    // bare log path of its line whole.
    QTest::newRow("spaces in the client and batch folders") << "node client folder"
                                                            << "panel folder with spaces";
}

void TestChainPollReal::answerShownExactly() {
    QFETCH(QString, clientFolder);
    QFETCH(QString, batchFolder);

    QString client = QStringLiteral(TWDEMO_CLI);
    if (!clientFolder.isEmpty()) {
        QVERIFY(QDir(tmp_.path()).mkpath(clientFolder));
        const QString copy = tmp_.filePath(clientFolder + "/twdemo-cli");
        QFile::remove(copy);
        QVERIFY(QFile::copy(client, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::permissions(client)));
        client = copy;
    }
    QVERIFY(QDir(tmp_.path()).mkpath(batchFolder));
    const QString folder = tmp_.filePath(batchFolder);
    const QString bat = folder + "/CLI-UI-GBC.BAT";
    const QString log = folder + "/CLI-UI-GBC.LOG";
    const QString external = folder + "/height.txt";
    const QString copied = folder + "/copied by the command.txt";
    QVERIFY(writeFile(bat, (batchLine(client, "getblockcount", log) + "\r\n").toUtf8()));
    for (const QString& stale : {log, external, copied})
        QFile::remove(stale);

    RealPanel panel;
    auto& w = panel.window;
    w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->setText(bat);
    w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->setText(log);
    w.UPDATE_EXTERNAL_FILE_TICKBOX->setChecked(true);
    w.UPDATE_EXTERNAL_FILE_TEXTBOX->setText(external);
    w.RUN_COMMAND_TICKBOX->setChecked(true);
    w.RUN_COMMAND_TEXTBOX->setText("cp \"" + external + "\" \"" + copied + "\"");
    w.GETBLOCKCOUNT_BUTTON->setEnabled(true);

    QElapsedTimer elapsed;
    elapsed.start();
    w.GETBLOCKCOUNT_BUTTON->click();
    QCOMPARE(tw::app::background(w.CURRENT_BLOCK_TEXTBOX), tw::app::colour::Pink);
    QTRY_VERIFY_WITH_TIMEOUT(!w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled(), CycleBound);
    // One command-timer interval, then the cycle's seven seconds.
    QVERIFY2(elapsed.elapsed() >= 7990, qPrintable(QString::number(elapsed.elapsed())));

    const QByteArray answer = contents(log);
    static const QRegularExpression number(QStringLiteral("\\A([0-9]+)\\n\\z"));
    const auto match = number.match(QString::fromLatin1(answer));
    QVERIFY2(match.hasMatch(), answer.constData());
    QVERIFY(match.captured(1).toLongLong() >= 840000);
    QCOMPARE(w.CURRENT_BLOCK_TEXTBOX->text(), QString::fromLatin1(answer));
    QCOMPARE(tw::app::background(w.CURRENT_BLOCK_TEXTBOX), tw::app::colour::Black);
    QCOMPARE(contents(external), answer + "\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(contents(copied), answer + "\r\n", 10000);
    QCOMPARE(panel.diagnostics.failureCount(), 0);
}

// Failing steps with the real platform are reported and the cycle still
// reaches its end state; nothing is passed on without an answer.
void TestChainPollReal::failuresEndCleanly_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("batchFolder");
    QTest::addColumn<QString>("batchLog"); // the log its line names; "" for no batch file
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("control");

    QTest::newRow("batch file missing") << "gcc"
                                        << "no batch here"
                                        << "" << failure::GccBatch << "GETCONNECTIONCOUNT_BUTTON";
    // The batch file was saved for another log name than the one the panel
    // reads (settings saved since, batch files not): the panel's log never
    // appears.
    QTest::newRow("log missing: the batch file names another log")
        << "gbc"
        << "panel folder two"
        << "OLD-GBC.LOG" << failure::GbcLog << "CURRENT_BLOCK_TEXTBOX";
}

void TestChainPollReal::failuresEndCleanly() {
    QFETCH(QString, query);
    QFETCH(QString, batchFolder);
    QFETCH(QString, batchLog);
    QFETCH(QString, key);
    QFETCH(QString, control);
    const bool gbc = query == "gbc";

    const QString folder = tmp_.filePath(batchFolder);
    const QString stem = gbc ? "CLI-UI-GBC" : "CLI-UI-GCC";
    const QString bat = folder + "/" + stem + ".BAT";
    const QString log = folder + "/" + stem + ".LOG";
    const QString external = folder + "/height.txt";
    if (!batchLog.isEmpty()) {
        QVERIFY(QDir(tmp_.path()).mkpath(batchFolder));
        const QString line =
            batchLine(QStringLiteral(TWDEMO_CLI), gbc ? "getblockcount" : "getconnectioncount",
                      folder + "/" + batchLog);
        QVERIFY(writeFile(bat, (line + "\r\n").toUtf8()));
    }
    QVERIFY(!QFile::exists(log));

    RealPanel panel;
    auto& w = panel.window;
    (gbc ? w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX : w.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX)->setText(bat);
    (gbc ? w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX : w.CLI_GCC_FULL_LOG_LOCATION_TEXTBOX)->setText(log);
    w.UPDATE_EXTERNAL_FILE_TICKBOX->setChecked(true);
    w.UPDATE_EXTERNAL_FILE_TEXTBOX->setText(external);
    QPushButton* button = gbc ? w.GETBLOCKCOUNT_BUTTON : w.GETCONNECTIONCOUNT_BUTTON;
    QLineEdit* box = gbc ? w.CURRENT_BLOCK_TEXTBOX : w.CONNECTIONS_TEXTBOX;
    tw::app::WindowTimer* timer =
        gbc ? w.GETBLOCKCOUNT_COMMAND_TIMER : w.GETCONNECTIONCOUNT_COMMAND_TIMER;
    box->setText("stale");
    button->setEnabled(true);
    button->click();
    QTRY_VERIFY_WITH_TIMEOUT(!timer->isEnabled(), CycleBound);

    QCOMPARE(tw::app::background(box), tw::app::colour::Black);
    QCOMPARE(box->text(), ChainPoll::NoValue);
    QVERIFY(panel.diagnostics.isReported(key));
    QCOMPARE(panel.diagnostics.failureCount(), 1);
    QVERIFY(w.findChild<QWidget*>(control)->toolTip().contains("Last failure: "));
    QVERIFY(!QFile::exists(external));
}

QTEST_MAIN(TestChainPollReal)
#include "tst_chain_poll_real.moc"
