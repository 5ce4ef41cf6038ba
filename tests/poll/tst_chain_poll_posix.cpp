// The block-count polls over the real platform (POSIX): cycles on virtual
// time over real logs and a real external file, and real cycles, one against
// the demo node, one whose client never ends, one during which the panel
// closes. The scripted cases over the fake platform are in tst_chain_poll.cpp.

#include "app/Colours.h"
#include "platform/RealClock.h"
#include "platform/posix/Posix.h"
#include "poll/ChainPoll.h"
#include "tests/support/TestRig.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace failure = tw::poll::failure;

namespace {

const QString Command = "notify --now"; // the user command after a block-count query

// One block-count query by the G-B-C button over the rig's platform, both
// actions ticked, the watcher off; the cycle has ended when it returns.
tw::app::MainWindow& queryOnce(tw::test::TestRig& rig, const QString& batch, const QString& log,
                               const QString& external) {
    auto& w = rig.start();
    w.CLI_PROCESS_WATCHER_TIMER->setEnabled(false);
    w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->setText(batch);
    w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->setText(log);
    w.UPDATE_EXTERNAL_FILE_TICKBOX->setChecked(true);
    w.UPDATE_EXTERNAL_FILE_TEXTBOX->setText(external);
    w.RUN_COMMAND_TICKBOX->setChecked(true);
    w.RUN_COMMAND_TEXTBOX->setText(Command);
    w.GETBLOCKCOUNT_BUTTON->setEnabled(true);
    w.GETBLOCKCOUNT_BUTTON->click();
    rig.advance(8000);
    return w;
}

} // namespace

class TestChainPollPosix : public QObject {
    Q_OBJECT

private slots:
    void realLogs_data();
    void realLogs();
    void realExternalFile_data();
    void realExternalFile();
    void realCycle();
    void realClientEnded_data();
    void realClientEnded();
};

// A block-count cycle on virtual time over the real file system: the log is
// a FIFO that no one writes, a folder, a device, or a real file that the
// (fake) client leaves as it was or writes. Whatever is not a fresh log is
// reported and is no answer; the cycle ends as ever within its 8 seconds.
void TestChainPollPosix::realLogs_data() {
    QTest::addColumn<QString>("log");       // fifo, folder, old (a log of an hour ago) or a path
    QTest::addColumn<bool>("clientWrites"); // the client writes 840123 CR LF into the log
    QTest::addColumn<QString>("reason");    // what the report says; empty: the answer is shown
    QTest::newRow("FIFO with no writer") << "fifo" << false << "is a FIFO, not a log file";
    QTest::newRow("folder") << "folder" << false << "is a folder, not a log file";
    QTest::newRow("/dev/zero") << "/dev/zero" << false << "is a character device, not a log file";
    QTest::newRow("/dev/null") << "/dev/null" << false << "is a character device, not a log file";
    QTest::newRow("read-only log of an earlier run")
        << "old" << false << "not updated by the query";
    QTest::newRow("log of an earlier run, written again") << "old" << true << "";
    QTest::newRow("new log") << "new" << true << "";
}

void TestChainPollPosix::realLogs() {
    QFETCH(QString, log);
    QFETCH(bool, clientWrites);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = log.startsWith('/') ? log : dir.filePath("CLI-UI-GBC.LOG");
    const QByteArray answer = "840123\r\n";
    if (log == "fifo")
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
    if (log == "folder")
        QVERIFY(QDir().mkdir(path));
    if (log == "old") { // the same answer as the client's, an hour old, read-only
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(answer) == answer.size());
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(clientWrites ||
                file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ReadOther));
    }
    tw::platform::LocalFileSystem files;
    tw::test::TestRig rig(QStringLiteral("TW-CLI-UI"), {.files = &files});
    rig.starter.onBatch = [&](const QString&) {
        QFile file(path);
        if (clientWrites)
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(answer) == answer.size());
    };
    auto& w = queryOnce(rig, dir.filePath("CLI-UI-GBC.BAT"), path, dir.filePath("height.txt"));

    QVERIFY(!w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled());
    QCOMPARE(rig.colour("CURRENT_BLOCK_TEXTBOX"), tw::app::colour::Black);
    const bool answered = reason.isEmpty();
    QCOMPARE(w.CURRENT_BLOCK_TEXTBOX->text(),
             answered ? QString::fromLatin1(answer) : tw::poll::ChainPoll::NoValue);
    QCOMPARE(rig.diagnostics.isReported(failure::GbcLog), !answered);
    QCOMPARE(rig.diagnostics.failureCount(), answered ? 0 : 1);
    const QString said = rig.diagnostics.lastFailure();
    QVERIFY2(answered || (said.contains(path) && said.contains(reason)), qPrintable(said));
    QFile external(dir.filePath("height.txt"));
    QCOMPARE(external.exists(), answered);
    QVERIFY(!answered ||
            (external.open(QIODevice::ReadOnly) && external.readAll() == answer + "\r\n"));
    QCOMPARE(rig.starter.starts.size(), answered ? 2 : 1); // the batch file, the user command
    QCOMPARE(rig.starter.starts.last().text, answered ? Command : dir.filePath("CLI-UI-GBC.BAT"));
}

// The external file over the real file system, named by a symbolic link in
// a sticky shared folder: the user's own link is written through; another
// user's link is reported and its target left as it was, and the user
// command still runs.
void TestChainPollPosix::realExternalFile_data() {
    QTest::addColumn<bool>("foreign"); // the link belongs to another user
    QTest::newRow("the user's own link") << false;
    QTest::newRow("another user's link") << true;
}

void TestChainPollPosix::realExternalFile() {
    QFETCH(bool, foreign);
    QTemporaryDir dir;
    const QString shared = dir.filePath("shared"), link = shared + "/height.txt",
                  target = dir.filePath("mine.txt"), log = dir.filePath("CLI-UI-GBC.LOG");
    QVERIFY(QDir().mkdir(shared) && ::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("839999\r\n") == 8);
    old.close();
    QVERIFY(QFile::link(target, link));
    const uid_t other = ::geteuid() == 65534 ? 65533 : 65534; // nobody, for root
    if (foreign && ::lchown(QFile::encodeName(link).constData(), other, other) != 0)
        QSKIP("giving a link to another user needs root");
    tw::platform::LocalFileSystem files;
    tw::test::TestRig rig(QStringLiteral("TW-CLI-UI"), {.files = &files});
    rig.starter.onBatch = [&](const QString&) {
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("840123\r\n") == 8);
    };
    auto& w = queryOnce(rig, dir.filePath("CLI-UI-GBC.BAT"), log, link);

    QVERIFY(!w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled());
    QCOMPARE(w.CURRENT_BLOCK_TEXTBOX->text(), "840123\r\n");
    QVERIFY(QFileInfo(link).isSymLink());
    QFile external(target);
    QVERIFY(external.open(QIODevice::ReadOnly));
    QCOMPARE(external.readAll(), foreign ? "839999\r\n" : "840123\r\n\r\n");
    QCOMPARE(rig.diagnostics.isReported(failure::GbcExternalFile), foreign);
    QVERIFY2(!foreign || rig.diagnostics.lastFailure().contains("owned by another user"),
             qPrintable(rig.diagnostics.lastFailure()));
    QCOMPARE(rig.find("UPDATE_EXTERNAL_FILE_TEXTBOX")->toolTip().contains("Last failure"), foreign);
    QCOMPARE(rig.starter.starts.last().text, Command);
}

// A block-count cycle over the real platform and the real clock: a real
// batch file, in a folder with blanks, runs a copy of the demo client in
// another such folder; the real log is shown exactly and the external file
// holds it and CR LF. Then, the batch file gone, the next cycle reports it
// and ends as ever.
void TestChainPollPosix::realCycle() {
    QTemporaryDir node, clients(QDir::tempPath() + "/client folder XXXXXX"),
        panel(QDir::tempPath() + "/panel folder XXXXXX");
    QFile conf(node.filePath("twdemo.conf")), batch(panel.filePath("CLI-UI-GBC.BAT"));
    const QString client = clients.filePath("twdemo-cli"), log = panel.filePath("CLI-UI-GBC.LOG");
    QProcess daemon;
    QVERIFY(conf.open(QIODevice::WriteOnly) && QFile::copy(TWDEMO_CLI, client));
    daemon.start(TWDEMO_DAEMON, {"-conf=" + conf.fileName()});
    // The line as the settings window composes it: the client quoted.
    const QString line = "call \"%1\" -conf=%2 getblockcount > %3\r\n";
    QVERIFY(batch.open(QIODevice::WriteOnly) &&
            batch.write(line.arg(client, conf.fileName(), log).toLocal8Bit()) && batch.flush());
    // The client answers only once the daemon's heartbeat is there.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(node.filePath("twdemo-daemon.alive")), 20000);

    tw::test::TestRig rig; // its fakes, but the real clock, batch runner and files
    tw::platform::RealClock clock;
    tw::platform::PosixProcessStarter starter;
    tw::platform::LocalFileSystem files;
    tw::platform::Platform platform{clock, rig.settings, starter,     rig.processes,
                                    files, rig.windows,  rig.section, QString()};
    tw::app::Scheduler scheduler{clock};
    tw::app::Services services{platform, scheduler, rig.settingsStore, rig.diagnostics};
    tw::app::MainWindow w(services);
    new tw::poll::ChainPoll(w, services);
    w.load();
    w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->setText(batch.fileName());
    w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->setText(log);
    w.UPDATE_EXTERNAL_FILE_TICKBOX->setChecked(true);
    w.UPDATE_EXTERNAL_FILE_TEXTBOX->setText(panel.filePath("height.txt"));
    for (int cycle = 0; cycle < 2; ++cycle) {
        w.GETBLOCKCOUNT_BUTTON->setEnabled(true);
        w.GETBLOCKCOUNT_BUTTON->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled(), 30000);
        QCOMPARE(tw::app::background(w.CURRENT_BLOCK_TEXTBOX), tw::app::colour::Black);
        QCOMPARE(rig.diagnostics.isReported(failure::GbcBatch), cycle == 1);
        QVERIFY(!rig.diagnostics.isReported(failure::GbcEnded)); // the client had ended
        QFile answer(log), external(panel.filePath("height.txt"));
        QVERIFY(answer.open(QIODevice::ReadOnly) && external.open(QIODevice::ReadOnly));
        const QByteArray shown = w.CURRENT_BLOCK_TEXTBOX->text().toLatin1();
        QCOMPARE(shown, cycle == 0 ? answer.readAll() : tw::poll::ChainPoll::NoValue.toLatin1());
        QCOMPARE(external.readAll(), cycle == 0 ? shown + "\r\n" : answer.readAll() + "\r\n");
        QVERIFY(cycle == 1 || (shown.endsWith('\n') && shown.chopped(1).toLongLong() >= 840000));
        batch.remove();
    }
    daemon.terminate();
    QVERIFY(daemon.waitForFinished(20000));
}

// A block-count cycle over the real batch runner and real files, on virtual
// time: the client answers, then runs on with a child of its own (copies of
// sleep under a name of their own, counted in the real /proc). Right after
// the read both are ended and the box says so; or the panel closes during
// the cycle, which ends them at once and leaves nothing to report.
void TestChainPollPosix::realClientEnded_data() {
    QTest::addColumn<bool>("closes");
    QTest::newRow("the client never ends: ended after the read, said on its box") << false;
    QTest::newRow("the panel closes during the cycle: nothing left running") << true;
}

void TestChainPollPosix::realClientEnded() {
    QFETCH(bool, closes);
    QTemporaryDir panel(QDir::tempPath() + "/panel folder XXXXXX");
    const QString sleeper =
        panel.filePath(QString("tw-poll-sleeper-%1").arg(QCoreApplication::applicationPid()));
    QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), sleeper));
    QVERIFY(QFile::setPermissions(sleeper, QFile::permissions(sleeper) | QFile::ExeOwner));
    const QString log = panel.filePath("CLI-UI-GBC.LOG");
    QFile batch(panel.filePath("CLI-UI-GBC.BAT"));
    const QString line = "call \"/bin/sh\" -c \"echo 5; '%1' 1000 & '%1' 1000\" > %2\r\n";
    QVERIFY(batch.open(QIODevice::WriteOnly) && batch.write(line.arg(sleeper, log).toLocal8Bit()) &&
            batch.flush());

    tw::test::TestRig rig; // the virtual clock; the runner, files and /proc are real
    tw::platform::PosixProcessStarter starter;
    tw::platform::LocalFileSystem files;
    tw::platform::ProcProcessTable table;
    tw::platform::Platform platform{rig.clock, rig.settings, starter,     rig.processes,
                                    files,     rig.windows,  rig.section, QString()};
    tw::app::Services services{platform, rig.scheduler, rig.settingsStore, rig.diagnostics};
    tw::app::MainWindow w(services);
    new tw::poll::ChainPoll(w, services);
    w.load();
    w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->setText(batch.fileName());
    w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->setText(log);
    const QString name = QFileInfo(sleeper).fileName();
    const auto sleepers = [&] { return table.countByImageName(name).value_or(-1); };
    int leftAtClose = -1;
    // The wait after the start is where the client answers and runs on.
    rig.clock.onWait = [&](qint64, int ms) {
        if (ms != 3000)
            return;
        QTRY_VERIFY_WITH_TIMEOUT(files.readFile(log, 100).bytes == "5\n" && sleepers() == 2, 10000);
        if (closes) {
            w.close();
            leftAtClose = sleepers();
        }
    };
    w.GETBLOCKCOUNT_BUTTON->setEnabled(true);
    w.GETBLOCKCOUNT_BUTTON->click();
    rig.advance(1000); // the whole cycle, on virtual time

    QCOMPARE(w.CURRENT_BLOCK_TEXTBOX->text(), QString("5\n"));
    QCOMPARE(tw::app::background(w.CURRENT_BLOCK_TEXTBOX), tw::app::colour::Black);
    QVERIFY(!w.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled());
    QCOMPARE(leftAtClose, closes ? 0 : -1);
    QCOMPARE(sleepers(), 0);
    QCOMPARE(rig.diagnostics.isReported(failure::GbcEnded), !closes);
    const QString tip = w.CURRENT_BLOCK_TEXTBOX->toolTip();
    QVERIFY2(closes ? !tip.contains("Last failure")
                    : tip.contains("\"/bin/sh\" (pid ") &&
                          tip.contains("and 2 processes it started were still running: ended"),
             qPrintable(tip));
}

QTEST_MAIN(TestChainPollPosix)
#include "tst_chain_poll_posix.moc"
