// The history file: real query cycles over the fakes on virtual time (from a
// fixed date) write real rows into a temporary folder; the node's state
// that completes a block-count row; what a file that cannot be written
// leaves; the rotation at the cap and of an earlier version's file.
//
// A script is a list of steps separated by ';'. A cycle is one query,
// clicked 10 s after the one before (its row is read 6 s after the click):
//   B=TEXT C=TEXT  the block-count (connection-count) client answers TEXT
//                  (\r and \n escaped)
//   B! C!          the client writes no log
//   B- C-          the batch file is missing
//   B~ C~          the log is left from an earlier run, not written again
// and a state is what the composition hands in once it read the node:
//   S=KEY:VALUE ...  b blocks, h headers, p progress, i initial download
//                    (0/1), t tip time, in/out peers, m mempool
//                    transactions; a value that is no number is NaN/-1

#include "app/Diagnostics.h"
#include "app/WindowTimer.h"
#include "health/History.h"
#include "poll/ChainPoll.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TestRig.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cmath>
#include <limits>
#include <memory>

using tw::health::History;
using tw::node::NodeState;
namespace history = tw::health::history;

namespace {

const QString Folder = "/node/";
constexpr int Bound = 10000; // ms: the most the writer may take for a few rows

qint64 startOfTest() {
    return QDateTime(QDate(2026, 12, 6), QTime(14, 25, 0, 123), QTimeZone::utc())
        .toMSecsSinceEpoch();
}

QString unescaped(QString text) {
    return text.replace("\\r", "\r").replace("\\n", "\n");
}

// A rig whose clock starts at the test's date, with the query paths set.
struct Rig : tw::test::TestRig {
    Rig() {
        clock.advance(startOfTest());
        storeQueryPaths(Folder);
        starter.onBatch = [this](const QString& path) {
            if (answer)
                files.put(path.chopped(3) + "LOG", *answer);
        };
        start();
        leaveQueryButtonsToThePolls();
    }

    // One cycle of the script.
    void cycle(const QString& step) {
        const QString query = step.startsWith('B') ? "GBC" : "GCC";
        const QString batch = Folder + query + ".BAT", log = Folder + query + ".LOG";
        starter.missing.clear();
        answer.reset();
        if (step.mid(1, 1) == "=")
            answer = unescaped(step.mid(2)).toUtf8();
        else if (step.mid(1) == "-")
            starter.missing.insert(batch);
        else if (step.mid(1) == "!")
            files.files.remove(log);
        else if (step.mid(1) == "~")
            files.files.insert(log, "7\n");
        button(query == "GBC" ? "GETBLOCKCOUNT_BUTTON" : "GETCONNECTIONCOUNT_BUTTON")->click();
        advance(10000);
    }

    std::optional<QByteArray> answer;
};

NodeState stateOf(const QString& fields) {
    NodeState state;
    for (const QString& field : fields.split(' ', Qt::SkipEmptyParts)) {
        const QString key = field.section(':', 0, 0), value = field.section(':', 1);
        bool ok = false;
        const qint64 number = value.toLongLong(&ok);
        const qint64 whole = ok ? number : -1;
        if (key == "b")
            state.blocks = whole;
        else if (key == "h")
            state.headers = whole;
        else if (key == "p")
            state.verificationProgress =
                value == "nan" ? std::numeric_limits<double>::quiet_NaN() : value.toDouble();
        else if (key == "i")
            state.initialBlockDownload = value == "1";
        else if (key == "t")
            state.tipTime = whole;
        else if (key == "in")
            state.peersIn = whole;
        else if (key == "out")
            state.peersOut = whole;
        else if (key == "m")
            state.mempoolTransactions = whole;
        else
            qFatal("unknown state key %s", qPrintable(key));
    }
    return state;
}

QByteArray rows(const QStringList& lines) {
    return history::Header + (lines.isEmpty() ? QString() : lines.join('\n') + '\n').toUtf8();
}

QByteArray filled(qint64 size, const QByteArray& header = history::Header) {
    return header + QByteArray(size - header.size() - 1, 'x') + '\n';
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    void scripts_data();
    void scripts();
    void rowText_data();
    void rowText();
    void stateColumns_data();
    void stateColumns();
    void stateWaitEnds_data();
    void stateWaitEnds();
    void path();
    void rotation_data();
    void rotation();
    void defaultCap_data();
    void defaultCap();
    void unwritable_data();
    void unwritable();
    void queuedRowsWrittenAtTheEnd();
};

void TestHistory::scripts_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("expected"); // the file's rows after the header
    const auto row = [](const char* name, const char* script, const QStringList& expected) {
        QTest::newRow(name) << script << expected;
    };
    const QString none = ",,,,,,,"; // the state columns of a row without state
    row("no cycle: no file", "", {});
    row("answers as the client wrote them", "B=871234\\r\\n;C=8\\n;B=  871235 \\r\\n;C=0",
        {"2026-12-06T14:25:06.123Z,blocks,871234," + none,
         "2026-12-06T14:25:16.123Z,connections,8," + none,
         "2026-12-06T14:25:26.123Z,blocks,871235," + none,
         "2026-12-06T14:25:36.123Z,connections,0," + none});
    row("cycles that got no answer", "B!;C-;B~;C=",
        {"2026-12-06T14:25:06.123Z,blocks,,log missing" + none,
         "2026-12-06T14:25:16.123Z,connections,,batch file not started" + none,
         "2026-12-06T14:25:26.123Z,blocks,,log not updated by the query" + none,
         "2026-12-06T14:25:36.123Z,connections,,log empty" + none});
    row("answers that are not numbers",
        "B=error: Could not connect to the server 127.0.0.1:18443\\r\\n\\r\\nMake sure;C=-5\\n;"
        "B=8,4;B=\"12\";B=84\\n12;B=1.5;C=99999999999999999999;B=\\r\\n",
        {"2026-12-06T14:25:06.123Z,blocks,,not a number: error: Could not connect to the server 1" +
             none,
         "2026-12-06T14:25:16.123Z,connections,,not a number: -5" + none,
         "2026-12-06T14:25:26.123Z,blocks,,not a number: 8 4" + none,
         "2026-12-06T14:25:36.123Z,blocks,,not a number:  12" + none,
         "2026-12-06T14:25:46.123Z,blocks,,not a number: 84 12" + none,
         "2026-12-06T14:25:56.123Z,blocks,,not a number: 1.5" + none,
         "2026-12-06T14:26:06.123Z,connections,,not a number: 99999999999999999999" + none,
         "2026-12-06T14:26:16.123Z,blocks,,not a number:" + none});

    // The node's state after a block-count answer.
    row("state in time: written with the answer",
        "B=871234;S=h:871240 p:0.99991234 i:1 "
        "t:1796559300 in:0 out:10 m:4321;C=8",
        {"2026-12-06T14:25:06.123Z,blocks,871234,,871240,0.99991234,1,1796559300,0,10,4321",
         "2026-12-06T14:25:16.123Z,connections,8," + none});
    row("state of the same block count", "B=871234;S=b:871234 h:871234 p:1 i:0",
        {"2026-12-06T14:25:06.123Z,blocks,871234,,871234,1.00000000,0,,,,"});
    row("state after blocks moved on", "B=800000;S=b:800123 h:871000 p:0.71",
        {"2026-12-06T14:25:06.123Z,blocks,800000,,871000,0.71000000,,,,,"});
    row("state never comes: the next query writes the row without it", "B=5;C=8;B=6;B=7",
        {"2026-12-06T14:25:06.123Z,blocks,5," + none,
         "2026-12-06T14:25:16.123Z,connections,8," + none,
         "2026-12-06T14:25:26.123Z,blocks,6," + none, "2026-12-06T14:25:36.123Z,blocks,7," + none});
    row("state after the next query started: dropped", "B=5;C=8;S=h:9 p:0.5",
        {"2026-12-06T14:25:06.123Z,blocks,5," + none,
         "2026-12-06T14:25:16.123Z,connections,8," + none});
    row("an earlier answer's late state is not the next answer's",
        "B=10;B=12;S=b:10 h:20;S=b:12 h:15",
        {"2026-12-06T14:25:06.123Z,blocks,10," + none,
         "2026-12-06T14:25:16.123Z,blocks,12,,15,,,,,,"});
    row("a second state changes nothing", "B=10;S=h:11;S=h:12;C=1",
        {"2026-12-06T14:25:06.123Z,blocks,10,,11,,,,,,",
         "2026-12-06T14:25:16.123Z,connections,1," + none});
    row("the history ends while a row waits: written without", "B=10",
        {"2026-12-06T14:25:06.123Z,blocks,10," + none});
    row("no state for a failed query", "B!;S=h:5 p:0.5;B=x;S=h:5",
        {"2026-12-06T14:25:06.123Z,blocks,,log missing" + none,
         "2026-12-06T14:25:16.123Z,blocks,,not a number: x" + none});
    row("a state of nothing known", "B=10;S=;C=1",
        {"2026-12-06T14:25:06.123Z,blocks,10," + none,
         "2026-12-06T14:25:16.123Z,connections,1," + none});
    row("values no column holds are left empty",
        "B=10;S=h:x p:nan t:-5 in:-1 out:y m:-2 i:0;B=11;S=p:-0.5;B=12;S=p:1.0000004",
        {"2026-12-06T14:25:06.123Z,blocks,10,,,,0,,,,",
         "2026-12-06T14:25:16.123Z,blocks,11," + none,
         "2026-12-06T14:25:26.123Z,blocks,12,,,1.00000000,,,,,"});
    row("rows keep their order around a late state", "B=10;C=3;B=11;S=h:12 p:0.25;C=4;B=12",
        {"2026-12-06T14:25:06.123Z,blocks,10," + none,
         "2026-12-06T14:25:16.123Z,connections,3," + none,
         "2026-12-06T14:25:26.123Z,blocks,11,,12,0.25000000,,,,,",
         "2026-12-06T14:25:36.123Z,connections,4," + none,
         "2026-12-06T14:25:46.123Z,blocks,12," + none});
}

void TestHistory::scripts() {
    QFETCH(QString, script);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    Rig rig;
    const QString path = dir.filePath("state/TW-CLI-UI.history.csv");
    {
        History history(path, rig.diagnostics);
        tw::health::connectHistory(rig.poll(), history, [&rig] { return rig.clock.now(); });
        for (const QString& step : script.split(';', Qt::SkipEmptyParts)) {
            if (step.startsWith("S="))
                history.recordNodeState(stateOf(step.mid(2)));
            else
                rig.cycle(step);
        }
        QVERIFY(history.waitForWrites(Bound));
        QVERIFY(!rig.diagnostics.isReported(History::FailureKey));
    }
    QCOMPARE(tw::test::readAll(path), expected.isEmpty() ? "<missing>" : rows(expected));
}

// Rows straight from the history's own calls: the reason and the answer as a
// row holds them.
void TestHistory::rowText_data() {
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // value and failure
    QTest::newRow("comma, quotes, CR LF in a reason") << false << "disk \"full\", see\r\nlog"
                                                      << ",disk  full   see  log";
    QTest::newRow("tab and NUL in a reason") << false << QString("a\tb") + QChar(0) + "c"
                                             << ",a b c";
    QTest::newRow("no reason") << false << ""
                               << ",no answer";
    QTest::newRow("non-ASCII reason kept") << false << "Datei fehlt: ü"
                                           << ",Datei fehlt: ü";
    QTest::newRow("number") << true << "007\r\n"
                            << "007,";
    QTest::newRow("the first 40 characters")
        << true << QString(50, 'a') << ",not a number: " + QString(40, 'a');
    QTest::newRow("a character outside the BMP is not cut in half")
        << true << QString(39, 'a') + QString::fromUtf8("\xF0\x9F\x98\x80") + "b"
        << ",not a number: " + QString(39, 'a');
}

void TestHistory::rowText() {
    QFETCH(bool, answered);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    tw::app::Diagnostics diagnostics(QString(), false);
    const QString path = dir.filePath("h.csv");
    {
        History history(path, diagnostics);
        if (answered)
            history.recordAnswer(startOfTest(), false, text);
        else
            history.recordFailure(startOfTest(), true, text);
    }
    QCOMPARE(QString::fromUtf8(tw::test::readAll(path)),
             QString::fromUtf8(history::Header) + "2026-12-06T14:25:00.123Z," +
                 (answered ? "connections," : "blocks,") + expected + ",,,,,,,\n");
}

// The state columns as a row holds them: only a block-count answer that is
// a number has them.
void TestHistory::stateColumns_data() {
    QTest::addColumn<bool>("blockCount");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("expected"); // the row after its time
    const QString full = "h:871240 p:0.999912345678 i:1 t:1796559300 in:3 out:8 m:4321";
    QTest::newRow("block-count answer")
        << true << true << "871234\n"
        << full << "blocks,871234,,871240,0.99991235,1,1796559300,3,8,4321";
    QTest::newRow("progress 0 and none in") << true << true << "0"
                                            << "p:0 in:0 i:0"
                                            << "blocks,0,,,0.00000000,0,,0,,";
    QTest::newRow("tiny progress keeps its digits") << true << true << "1"
                                                    << "p:0.00000042"
                                                    << "blocks,1,,,0.00000042,,,,,";
    QTest::newRow("connection answer: no state")
        << false << true << "8" << full << "connections,8,,,,,,,,";
    QTest::newRow("failure: no state")
        << true << false << "log empty" << full << "blocks,,log empty,,,,,,,";
    QTest::newRow("not a number: no state")
        << true << true << "abc" << full << "blocks,,not a number: abc,,,,,,,";
}

void TestHistory::stateColumns() {
    QFETCH(bool, blockCount);
    QFETCH(bool, answered);
    QFETCH(QString, text);
    QFETCH(QString, state);
    QFETCH(QString, expected);
    QCOMPARE(
        QString::fromUtf8(history::row(startOfTest(), blockCount, answered, text, stateOf(state))),
        "2026-12-06T14:25:00.123Z," + expected + "\n");
}

// No state within the wait: the row is written without it, once; a state
// after that is dropped.
void TestHistory::stateWaitEnds_data() {
    QTest::addColumn<int>("waitMs");
    QTest::newRow("no wait") << 0;
    QTest::newRow("a short wait") << 200;
}

void TestHistory::stateWaitEnds() {
    QFETCH(int, waitMs);
    QTemporaryDir dir;
    tw::app::Diagnostics diagnostics(QString(), false);
    const QString path = dir.filePath("h.csv");
    const QByteArray expected = rows({"2026-12-06T14:25:00.123Z,blocks,5,,,,,,,,"});
    {
        History history(path, diagnostics, history::CapBytes, waitMs);
        history.recordAnswer(startOfTest(), true, "5");
        QVERIFY(history.rowWaiting());
        QTRY_VERIFY_WITH_TIMEOUT(!history.rowWaiting(), Bound);
        QVERIFY(history.waitForWrites(Bound));
        QCOMPARE(tw::test::readAll(path), expected);
        history.recordNodeState(stateOf("h:9 p:0.5"));
        QVERIFY(history.waitForWrites(Bound));
        QCOMPARE(tw::test::readAll(path), expected);
    }
    QCOMPARE(tw::test::readAll(path), expected);
}

void TestHistory::path() {
    tw::test::TestRig rig("TW-CLI-UI-BTC");
    rig.platform.stateFolder = "/home/me/.local/state/TW-CLI-UI";
    QCOMPARE(history::pathFor(rig.platform),
             "/home/me/.local/state/TW-CLI-UI/TW-CLI-UI-BTC.history.csv");
}

void TestHistory::rotation_data() {
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<int>("count");
    QTest::newRow("cap 1000, 100 rows") << qint64(1000) << 100;
    QTest::newRow("cap 4096, 300 rows") << qint64(4096) << 300;
    QTest::newRow("cap 4096, 50 rows: no rotation yet") << qint64(4096) << 50;
}

// The file never grows past the cap by more than one row; the rotated copy
// and the file read one after the other end with the last rows, in order.
void TestHistory::rotation() {
    QFETCH(qint64, cap);
    QFETCH(int, count);
    QTemporaryDir dir;
    tw::app::Diagnostics diagnostics(QString(), false);
    const QString path = dir.filePath("h.csv");
    History history(path, diagnostics, cap);
    const qint64 rowSize = history::row(0, true, true, "840000").size();
    for (int i = 0; i < count; ++i)
        history.recordAnswer(startOfTest() + i * 60000, true, QString::number(840000 + i));
    history.writeWaitingRow();
    QVERIFY(history.waitForWrites(Bound));
    const QByteArray current = tw::test::readAll(path), older = tw::test::readAll(path + ".1");
    QVERIFY(current.startsWith(history::Header));
    QVERIFY2(current.size() <= cap + rowSize, qPrintable(QString::number(current.size())));
    const bool rotated = (count * rowSize + history::Header.size()) > cap + rowSize;
    QCOMPARE(older != "<missing>", rotated);
    QStringList values;
    for (const QByteArray& file : {rotated ? older : QByteArray(), current}) {
        QVERIFY(file.isEmpty() || file.startsWith(history::Header));
        QVERIFY(file.size() <= cap + rowSize);
        for (const QByteArray& line : file.mid(history::Header.size()).split('\n'))
            if (!line.isEmpty())
                values << QString::fromUtf8(line).section(',', 2, 2);
    }
    QVERIFY(values.size() >= (rotated ? int(cap / rowSize) : count));
    for (qsizetype i = 0; i < values.size(); ++i)
        QCOMPARE(values[i], QString::number(840000 + count - values.size() + i));
}

void TestHistory::defaultCap_data() {
    QTest::addColumn<QByteArray>("header"); // of the file before the appends
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("olderCopy");
    QTest::addColumn<int>("count"); // rows appended in one run
    QTest::addColumn<bool>("rotated");
    const QByteArray four = history::FourColumnHeader, now = history::Header;
    QTest::newRow("at 1 MiB: kept") << now << qint64(1048576) << false << 1 << false;
    QTest::newRow("one byte past 1 MiB: rotated") << now << qint64(1048577) << false << 1 << true;
    QTest::newRow("past 1 MiB, an older copy replaced")
        << now << qint64(1048600) << true << 1 << true;
    QTest::newRow("an empty file gets its header") << now << qint64(0) << false << 3 << false;
    QTest::newRow("an earlier version's file: rotated once")
        << four << qint64(300) << false << 3 << true;
    QTest::newRow("an earlier version's file, an older copy replaced")
        << four << qint64(300) << true << 1 << true;
    QTest::newRow("a file that is no history: rotated")
        << QByteArray("x\n") << qint64(300) << false << 1 << true;
    QTest::newRow("this version's header below the cap: kept")
        << now << qint64(300) << true << 3 << false;
}

void TestHistory::defaultCap() {
    QFETCH(QByteArray, header);
    QFETCH(qint64, size);
    QFETCH(bool, olderCopy);
    QFETCH(int, count);
    QFETCH(bool, rotated);
    QTemporaryDir dir;
    tw::app::Diagnostics diagnostics(QString(), false);
    const QString path = dir.filePath("h.csv");
    const QByteArray before = size ? filled(size, header) : QByteArray();
    QVERIFY(tw::test::writeAll(path, before));
    if (olderCopy)
        QVERIFY(tw::test::writeAll(path + ".1", "old\n"));
    QByteArray rows;
    {
        History history(path, diagnostics);
        for (int i = 0; i < count; ++i) {
            history.recordFailure(startOfTest() + i * 1000, true, "log empty");
            rows += QString("2026-12-06T14:25:0%1.123Z,blocks,,log empty,,,,,,,\n").arg(i).toUtf8();
        }
    }
    if (rotated) {
        QCOMPARE(tw::test::readAll(path + ".1"), before);
        QCOMPARE(tw::test::readAll(path), history::Header + rows);
    } else {
        QCOMPARE(tw::test::readAll(path + ".1"), olderCopy ? "old\n" : "<missing>");
        QCOMPARE(tw::test::readAll(path), (size ? before : history::Header) + rows);
    }
}

void TestHistory::unwritable_data() {
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("a folder where the file should be") << "folder";
    QTest::newRow("a file where its folder should be") << "file";
}

// Said once while the polls go on, cleared when a row is written again, and
// said again when the file fails anew.
void TestHistory::unwritable() {
    QFETCH(QString, obstacle);
    QTemporaryDir dir;
    const QString folder = dir.filePath("state"), path = folder + "/h.csv";
    const auto block = [&] {
        if (obstacle == "folder")
            return QDir().mkpath(path);
        return tw::test::writeAll(folder, "not a folder");
    };
    const auto unblock = [&] {
        return obstacle == "folder" ? QDir(path).removeRecursively() : QFile::remove(folder);
    };
    Rig rig;
    History history(path, rig.diagnostics);
    tw::health::connectHistory(rig.poll(), history, [&rig] { return rig.clock.now(); });
    QVERIFY(block());
    for (const QString answer : {"5", "6", "7"}) {
        rig.cycle("B=" + answer + "\\n");
        QCOMPARE(rig.text("CURRENT_BLOCK_TEXTBOX")->text(), answer + "\n");
    }
    QCOMPARE(rig.starter.starts.size(), 3);
    QVERIFY(history.waitForWrites(Bound));
    QCOMPARE(rig.diagnostics.failureCount(), 1);
    QVERIFY(rig.diagnostics.isReported(History::FailureKey));
    QVERIFY2(rig.diagnostics.lastFailure().startsWith("History not written: ") &&
                 rig.diagnostics.lastFailure().contains(obstacle == "folder" ? path : folder),
             qPrintable(rig.diagnostics.lastFailure()));

    // The last answer still waits for its state; it is written once the
    // file takes rows again, before the next query's.
    QVERIFY(unblock());
    rig.cycle("C=8\\n");
    QVERIFY(history.waitForWrites(Bound));
    QVERIFY(!rig.diagnostics.isReported(History::FailureKey));
    QCOMPARE(tw::test::readAll(path), rows({"2026-12-06T14:25:26.123Z,blocks,7,,,,,,,,",
                                            "2026-12-06T14:25:36.123Z,connections,8,,,,,,,,"}));

    QVERIFY(QDir(folder).removeRecursively() && block());
    rig.cycle("B=9\\n");
    rig.cycle("B=10\\n");
    QVERIFY(history.waitForWrites(Bound));
    QCOMPARE(rig.diagnostics.failureCount(), 2);
    QVERIFY(rig.diagnostics.isReported(History::FailureKey));
    QCOMPARE(rig.starter.starts.size(), 6);
}

// The rows queued when the history ends are still written.
void TestHistory::queuedRowsWrittenAtTheEnd() {
    QTemporaryDir dir;
    tw::app::Diagnostics diagnostics(QString(), false);
    const QString path = dir.filePath("h.csv");
    QStringList expected;
    {
        History history(path, diagnostics);
        for (int i = 0; i < 500; ++i) {
            history.recordAnswer(startOfTest() + i, i % 2, QString::number(i));
            expected << QString("2026-12-06T14:25:00.%1Z,%2,%3,,,,,,,,")
                            .arg(123 + i, 3, 10, QChar('0'))
                            .arg(i % 2 ? "blocks" : "connections")
                            .arg(i);
        }
    }
    QCOMPARE(tw::test::readAll(path), rows(expected));
}

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
