// The history file: real query cycles over the fakes on virtual time (from a
// fixed date) write real rows into a temporary folder; what a file that
// cannot be written leaves; the rotation at the cap.
//
// A script is a list of cycles separated by ';', each one query, clicked
// 10 s after the one before (its row is read 6 s after the click):
//   B=TEXT C=TEXT  the block-count (connection-count) client answers TEXT
//                  (\r and \n escaped)
//   B! C!          the client writes no log
//   B- C-          the batch file is missing
//   B~ C~          the log is left from an earlier run, not written again

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

#include <memory>

using tw::health::History;
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

QByteArray rows(const QStringList& lines) {
    return history::Header + (lines.isEmpty() ? QString() : lines.join('\n') + '\n').toUtf8();
}

QByteArray filled(qint64 size) {
    return history::Header + QByteArray(size - history::Header.size() - 1, 'x') + '\n';
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    void scripts_data();
    void scripts();
    void rowText_data();
    void rowText();
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
    row("no cycle: no file", "", {});
    row("answers as the client wrote them", "B=871234\\r\\n;C=8\\n;B=  871235 \\r\\n;C=0",
        {"2026-12-06T14:25:06.123Z,blocks,871234,", "2026-12-06T14:25:16.123Z,connections,8,",
         "2026-12-06T14:25:26.123Z,blocks,871235,", "2026-12-06T14:25:36.123Z,connections,0,"});
    row("cycles that got no answer", "B!;C-;B~;C=",
        {"2026-12-06T14:25:06.123Z,blocks,,log missing",
         "2026-12-06T14:25:16.123Z,connections,,batch file not started",
         "2026-12-06T14:25:26.123Z,blocks,,log not updated by the query",
         "2026-12-06T14:25:36.123Z,connections,,log empty"});
    row("answers that are not numbers",
        "B=error: Could not connect to the server 127.0.0.1:18443\\r\\n\\r\\nMake sure;C=-5\\n;"
        "B=8,4;B=\"12\";B=84\\n12;B=1.5;C=99999999999999999999;B=\\r\\n",
        {"2026-12-06T14:25:06.123Z,blocks,,not a number: error: Could not connect to the server 1",
         "2026-12-06T14:25:16.123Z,connections,,not a number: -5",
         "2026-12-06T14:25:26.123Z,blocks,,not a number: 8 4",
         "2026-12-06T14:25:36.123Z,blocks,,not a number:  12",
         "2026-12-06T14:25:46.123Z,blocks,,not a number: 84 12",
         "2026-12-06T14:25:56.123Z,blocks,,not a number: 1.5",
         "2026-12-06T14:26:06.123Z,connections,,not a number: 99999999999999999999",
         "2026-12-06T14:26:16.123Z,blocks,,not a number:"});
}

void TestHistory::scripts() {
    QFETCH(QString, script);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    Rig rig;
    const QString path = dir.filePath("state/TW-CLI-UI.history.csv");
    History history(path, rig.diagnostics);
    tw::health::connectHistory(rig.poll(), history, [&rig] { return rig.clock.now(); });
    for (const QString& step : script.split(';', Qt::SkipEmptyParts))
        rig.cycle(step);
    QVERIFY(history.waitForWrites(Bound));
    QCOMPARE(tw::test::readAll(path), expected.isEmpty() ? "<missing>" : rows(expected));
    QVERIFY(!rig.diagnostics.isReported(History::FailureKey));
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
                 (answered ? "connections," : "blocks,") + expected + "\n");
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
    QTest::addColumn<qint64>("size"); // of the file before the append
    QTest::addColumn<bool>("olderCopy");
    QTest::addColumn<bool>("rotated");
    QTest::newRow("at 1 MiB: kept") << qint64(1048576) << false << false;
    QTest::newRow("one byte past 1 MiB: rotated") << qint64(1048577) << false << true;
    QTest::newRow("past 1 MiB, an older copy replaced") << qint64(1048600) << true << true;
    QTest::newRow("an empty file gets its header") << qint64(0) << false << false;
}

void TestHistory::defaultCap() {
    QFETCH(qint64, size);
    QFETCH(bool, olderCopy);
    QFETCH(bool, rotated);
    QTemporaryDir dir;
    tw::app::Diagnostics diagnostics(QString(), false);
    const QString path = dir.filePath("h.csv");
    const QByteArray before = size ? filled(size) : QByteArray();
    QVERIFY(tw::test::writeAll(path, before));
    if (olderCopy)
        QVERIFY(tw::test::writeAll(path + ".1", "old\n"));
    {
        History history(path, diagnostics);
        history.recordFailure(startOfTest(), true, "log empty");
    }
    const QByteArray row = "2026-12-06T14:25:00.123Z,blocks,,log empty\n";
    if (rotated) {
        QCOMPARE(tw::test::readAll(path + ".1"), before);
        QCOMPARE(tw::test::readAll(path), history::Header + row);
    } else {
        QCOMPARE(tw::test::readAll(path + ".1"), olderCopy ? "old\n" : "<missing>");
        QCOMPARE(tw::test::readAll(path), (size ? before : history::Header) + row);
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

    QVERIFY(unblock());
    rig.cycle("B=8\\n");
    QVERIFY(history.waitForWrites(Bound));
    QVERIFY(!rig.diagnostics.isReported(History::FailureKey));
    QCOMPARE(tw::test::readAll(path), rows({"2026-12-06T14:25:36.123Z,blocks,8,"}));

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
            expected << QString("2026-12-06T14:25:00.%1Z,%2,%3,")
                            .arg(123 + i, 3, 10, QChar('0'))
                            .arg(i % 2 ? "blocks" : "connections")
                            .arg(i);
        }
    }
    QCOMPARE(tw::test::readAll(path), rows(expected));
}

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
