// `--check`: the verdict over a table of node states, and the check over the
// fakes from the batch line to the one line it prints.

#include "app/Diagnostics.h"
#include "check/NodeCheck.h"
#include "tests/support/Fakes.h"

#include <QSignalSpy>
#include <QTest>

using tw::check::CheckResult;
using tw::node::NodeState;

namespace {

constexpr qint64 Now = 1'700'000'000;

NodeState stateOf(const QString& fields) {
    NodeState s;
    for (const QString& field : fields.split(',', Qt::SkipEmptyParts)) {
        const QString key = field.section('=', 0, 0);
        const qint64 value = field.section('=', 1).toLongLong();
        if (key == "headers")
            s.headers = value;
        else if (key == "ibd")
            s.initialBlockDownload = value != 0;
        else if (key == "tip") // minutes old
            s.tipTime = Now - value * 60;
        else if (key == "in")
            s.peersIn = value;
        else if (key == "out")
            s.peersOut = value;
        else if (key == "peers")
            s.peersTotal = value;
        else
            qFatal("no field %s", qPrintable(key));
    }
    return s;
}

} // namespace

class TestNodeCheck : public QObject {
    Q_OBJECT

private slots:
    void judge_data() {
        QTest::addColumn<qint64>("blocks"); // -1: no answer
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::newRow("healthy")
            << qint64(812400) << "headers=812400,ibd=0,tip=4,in=3,out=5" << 0
            << "OK - block 812400, 8 peers, tip 4 min old | blocks=812400 headers=812400 peers=8 "
               "tip_age=240s";
        QTest::newRow("catching up")
            << qint64(812345) << "headers=812400,ibd=0,tip=600,in=3,out=5" << 1
            << "WARNING - catching up: block 812345 of 812400, 8 peers, tip 10 h old | "
               "blocks=812345 headers=812400 peers=8 tip_age=36000s";
        QTest::newRow("one header ahead: a block being checked, no warning")
            << qint64(812399) << "headers=812400,ibd=0,tip=4,in=3,out=5" << 0
            << "OK - block 812399 of 812400, 8 peers, tip 4 min old | blocks=812399 "
               "headers=812400 peers=8 tip_age=240s";
        QTest::newRow("initial download, an old tip is no stall")
            << qint64(5000) << "headers=812400,ibd=1,tip=90000" << 1
            << "WARNING - initial download: block 5000 of "
               "812400, tip 63 days old | blocks=5000 "
               "headers=812400 tip_age=5400000s";
        QTest::newRow("no peers")
            << qint64(812400) << "headers=812400,tip=4,peers=0" << 1
            << "WARNING - no peers: block 812400, 0 peers, tip 4 min old | blocks=812400 "
               "headers=812400 peers=0 tip_age=240s";
        QTest::newRow("stalled: the tip older than the stall time")
            << qint64(812400) << "headers=812400,tip=90,peers=1" << 2
            << "CRITICAL - stalled: block 812400, 1 peer, tip 90 "
               "min old | blocks=812400 headers=812400 peers=1 "
               "tip_age=5400s";
        QTest::newRow("stalled and no peers: the worse wins")
            << qint64(7) << "tip=1000,peers=0" << 2
            << "CRITICAL - stalled, no peers: block 7, 0 peers, tip "
               "17 h old | blocks=7 peers=0 tip_age=60000s";
        QTest::newRow("an older coin: the count alone")
            << qint64(42) << "" << 0 << "OK - block 42 | blocks=42";
        QTest::newRow("no answer")
            << qint64(-1) << "" << 2
            << "CRITICAL - no answer: the client exited with status 1 and said \"error: Could "
               "not connect / retry\"";
    }
    void judge() {
        QFETCH(qint64, blocks);
        QFETCH(QString, state);
        QFETCH(int, status);
        QFETCH(QString, line);
        const CheckResult result = tw::check::judge(
            blocks < 0 ? std::nullopt : std::optional(blocks),
            "the client exited with status 1 and said \"error: Could not connect | retry\"",
            stateOf(state), Now, 90);
        QCOMPARE(result.line, line);
        QCOMPARE(int(result.status), status);
    }

    // From the batch line to the line: the block count asked with the line's
    // own client and arguments, then the state calls.
    void checkOverTheFakes_data() {
        QTest::addColumn<QByteArray>("batch"); // "-": no file
        QTest::addColumn<QString>(
            "count"); // the client's answer to getblockcount; "refused": exit 1
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("start"); // of the line
        QTest::newRow("answers") << QByteArray(
                                        "call \"/bin/cli\" -conf=/c getblockcount > /x.log\r\n")
                                 << "812400\n"
                                 << 0 << "OK - block 812400 | blocks=812400 headers=812400";
        QTest::newRow("refused")
            << QByteArray("/bin/cli getblockcount > /x.log\r\n") << "refused" << 2
            << "CRITICAL - no answer: the client exited with status 1 and said \"error: Could not "
               "connect\"";
        QTest::newRow("garbage") << QByteArray("/bin/cli getblockcount > /x.log\r\n")
                                 << "Usage: cli" << 2
                                 << "CRITICAL - no answer: the answer is not a number";
        QTest::newRow("no batch file") << QByteArray("-") << "" << 3 << "UNKNOWN - ";
        QTest::newRow("a line that cannot be split") << QByteArray("\"/bin/cli getblockcount\r\n")
                                                     << "" << 3 << "UNKNOWN - batch file /b.bat: ";
    }
    void checkOverTheFakes() {
        QFETCH(QByteArray, batch);
        QFETCH(QString, count);
        QFETCH(int, status);
        QFETCH(QString, start);
        tw::test::VirtualClock clock;
        tw::test::FakeProcessStarter starter(clock);
        tw::test::FakeFileSystem files;
        tw::app::Diagnostics diagnostics(QString(), false);
        if (batch != "-")
            files.put("/b.bat", batch);
        starter.onProgram = [&](const tw::test::FakeProcessStarter::Program& run) {
            tw::platform::ProgramRun answer;
            if (run.program != "/bin/cli")
                answer.result = tw::platform::Result::failure("no such program " + run.program);
            else if (count == "refused") {
                answer.exitStatus = 1;
                answer.errorOutput = "error: Could not connect\n";
            } else if (run.arguments.last() == "getblockcount") {
                answer.exitStatus = 0;
                answer.output = count.toLatin1();
            } else {
                answer.exitStatus = 0;
                answer.output =
                    run.arguments.last() == "getblockchaininfo" ? R"({"headers": 812400})" : "{}";
            }
            return answer;
        };
        tw::check::NodeCheck check(starter, files, diagnostics, 90, [] { return Now; });
        QSignalSpy finished(&check, &tw::check::NodeCheck::finished);
        check.start("/b.bat");
        for (int round = 0; round < 3 && finished.isEmpty(); ++round) {
            QCoreApplication::processEvents();
            starter.deliverPrograms();
        }
        QCOMPARE(finished.count(), 1);
        const auto result = finished.first().first().value<CheckResult>();
        QVERIFY2(result.line.startsWith(start), qPrintable(result.line));
        QCOMPARE(int(result.status), status);
        if (status == 0)
            QCOMPARE(starter.programs.first().arguments,
                     (QStringList{"-conf=/c", "getblockcount"}));
    }
};

QTEST_GUILESS_MAIN(TestNodeCheck)
#include "tst_node_check.moc"
