// The answer history read back from its files: rows in file order, of this
// version (with the node's state) and of earlier ones (four columns), and
// everything that is not a row (header, blank lines, damage) passed over; a
// damaged state column is unknown, not the end of its row.

#include "health/HistoryFile.h"
#include "platform/posix/Posix.h"
#include "tests/support/FileBytes.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using tw::health::HistoryRow;

namespace {

// A row as one line of text: the time as Qt writes it in UTC, so the
// reader's own date arithmetic is checked against Qt's.
QString describe(const HistoryRow& row) {
    const QString time = QDateTime::fromMSecsSinceEpoch(row.timeMs, Qt::UTC)
                             .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    const QString kind = row.kind == HistoryRow::Kind::Blocks ? "blocks" : "connections";
    const QString what = row.value ? QString::number(*row.value) : "failed: " + row.failure;
    QStringList state;
    const auto add = [&state](const char* name, const std::optional<qint64>& value) {
        if (value)
            state << name + QString::number(*value);
    };
    add("h", row.headers);
    if (row.progress)
        state << "p" + QString::number(*row.progress, 'g', 10);
    if (row.initialDownload)
        state << (*row.initialDownload ? "ibd" : "synced");
    add("t", row.tipTime);
    add("in", row.peersIn);
    add("out", row.peersOut);
    add("m", row.mempoolTransactions);
    return time + " " + kind + " " + what + (state.isEmpty() ? "" : " [" + state.join(' ') + "]");
}

QStringList describe(const QList<HistoryRow>& rows) {
    QStringList lines;
    for (const HistoryRow& row : rows)
        lines << describe(row);
    return lines;
}

// Files of earlier versions: four columns.
const QByteArray Header = "time,kind,value,failure\n";
const QByteArray NewHeader =
    "time,kind,value,failure,headers,progress,ibd,tip_time,peers_in,peers_out,mempool_tx\n";

} // namespace

class TestHistoryFile : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parseState_data();
    void parseState();
    void readsRotatedCopyThenCurrent_data();
    void readsRotatedCopyThenCurrent();
    void unreadableFileIsNamed();
};

void TestHistoryFile::parse_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("header only") << Header << QStringList();
    QTest::newRow("header without newline") << Header.chopped(1) << QStringList();
    QTest::newRow("one answer each") << Header + "2026-12-06T14:25:37.123Z,blocks,871234,\n"
                                                 "2026-12-06T14:25:38.000Z,connections,8,\n"
                                     << QStringList{"2026-12-06T14:25:37.123 blocks 871234",
                                                    "2026-12-06T14:25:38.000 connections 8"};
    QTest::newRow("failure")
        << Header + "2026-12-06T14:26:37.000Z,connections,,log not updated by the query\n"
        << QStringList{"2026-12-06T14:26:37.000 connections failed: log not updated by the query"};
    QTest::newRow("not a number reason")
        << Header + "2026-12-06T14:26:37.000Z,blocks,,not a number: error code: -28\n"
        << QStringList{"2026-12-06T14:26:37.000 blocks failed: not a number: error code: -28"};
    QTest::newRow("CRLF line ends")
        << QByteArray("time,kind,value,failure\r\n2026-01-31T23:59:59.999Z,blocks,5,\r\n"
                      "2026-02-01T00:00:00.000Z,blocks,,timed out\r\n")
        << QStringList{"2026-01-31T23:59:59.999 blocks 5",
                       "2026-02-01T00:00:00.000 blocks failed: timed out"};
    QTest::newRow("blank lines and no final newline")
        << Header + "\n\n2024-02-29T12:00:00.000Z,blocks,1,\n\n2024-02-29T12:01:00.000Z,blocks,2,"
        << QStringList{"2024-02-29T12:00:00.000 blocks 1", "2024-02-29T12:01:00.000 blocks 2"};
    QTest::newRow("rows keep file order")
        << Header + "2026-12-06T10:00:00.000Z,blocks,9,\n2026-12-06T09:00:00.000Z,blocks,8,\n"
        << QStringList{"2026-12-06T10:00:00.000 blocks 9", "2026-12-06T09:00:00.000 blocks 8"};
    QTest::newRow("header again mid file")
        << Header + "2026-12-06T10:00:00.000Z,blocks,9,\n" + Header +
               "2026-12-06T10:01:00.000Z,blocks,10,\n"
        << QStringList{"2026-12-06T10:00:00.000 blocks 9", "2026-12-06T10:01:00.000 blocks 10"};
    QTest::newRow("malformed lines between good ones")
        << Header + "2026-12-06T10:00:00.000Z,blocks,9,\n"
                    "garbage\n"
                    "2026-12-06T10:00:01.000Z,blocks,9\n"            // three fields
                    "2026-12-06T10:00:02.000Z,blocks,9,,\n"          // five fields
                    "2026-12-06T10:00:03.000Z,peers,9,\n"            // unknown kind
                    "2026-12-06T10:00:04.000Z,Blocks,9,\n"           // kind is exact
                    "2026-12-06T10:00:05Z,blocks,9,\n"               // no milliseconds
                    "2026-12-06T10:00:06.000z,blocks,9,\n"           // lower-case z
                    "2026-12-06 10:00:07.000Z,blocks,9,\n"           // blank for T
                    "2026-02-30T10:00:08.000Z,blocks,9,\n"           // no such day
                    "2026-12-06T24:00:09.000Z,blocks,9,\n"           // no such hour
                    "2026-12-06T10:00:10.000Z,blocks,,\n"            // neither
                    "2026-12-06T10:00:11.000Z,blocks,9,but failed\n" // both
                    "\xff\xfe\x01,\x02\n"                            // binary
                    "2026-12-06T10:00:12.000Z,connections,3,\n"
        << QStringList{"2026-12-06T10:00:00.000 blocks 9", "2026-12-06T10:00:12.000 connections 3"};
    QTest::newRow("value that is not a whole number")
        << Header + "2026-12-06T10:00:00.000Z,blocks,abc,\n"
                    "2026-12-06T10:00:01.000Z,blocks,12.5,\n"
                    "2026-12-06T10:00:02.000Z,blocks,-4,\n"
                    "2026-12-06T10:00:03.000Z,blocks, 12,\n"
                    "2026-12-06T10:00:04.000Z,blocks,1234567890123456789012,\n"
                    "2026-12-06T10:00:05.000Z,blocks,0,\n"
        << QStringList{"2026-12-06T10:00:05.000 blocks 0"};
    QTest::newRow("reason in UTF-8")
        << Header + "2026-12-06T10:00:00.000Z,connections,,kein Zugriff \xc3\xa4\n"
        << QStringList{QString::fromUtf8("2026-12-06T10:00:00.000 connections failed: kein "
                                         "Zugriff \xc3\xa4")};
}

void TestHistoryFile::parseState_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("header only") << NewHeader << QStringList();
    QTest::newRow("every column")
        << NewHeader + "2026-12-06T14:25:37.123Z,blocks,871234,,871240,0.99991234,1,1796559300,0,"
                       "10,4321\n"
        << QStringList{"2026-12-06T14:25:37.123 blocks 871234 [h871240 p0.99991234 ibd "
                       "t1796559300 in0 out10 m4321]"};
    QTest::newRow("columns the node did not say")
        << NewHeader + "2026-12-06T14:25:37.123Z,blocks,871234,,,1.00000000,0,,,,\n"
                       "2026-12-06T14:25:38.000Z,connections,8,,,,,,,,\n"
                       "2026-12-06T14:25:39.000Z,blocks,,log empty,,,,,,,\n"
        << QStringList{"2026-12-06T14:25:37.123 blocks 871234 [p1 synced]",
                       "2026-12-06T14:25:38.000 connections 8",
                       "2026-12-06T14:25:39.000 blocks failed: log empty"};
    QTest::newRow("both widths under either header")
        << Header +
               "2026-12-06T10:00:00.000Z,blocks,9,\n"
               "2026-12-06T10:01:00.000Z,blocks,10,,12,0.5,1,,,,\n" +
               NewHeader +
               "2026-12-06T10:02:00.000Z,blocks,11,\n"
               "2026-12-06T10:03:00.000Z,connections,,timed out,,,,,,,\r\n"
        << QStringList{"2026-12-06T10:00:00.000 blocks 9",
                       "2026-12-06T10:01:00.000 blocks 10 [h12 p0.5 ibd]",
                       "2026-12-06T10:02:00.000 blocks 11",
                       "2026-12-06T10:03:00.000 connections failed: timed out"};
    QTest::newRow("a later version's extra columns are ignored")
        << NewHeader + "2026-12-06T10:00:00.000Z,blocks,9,,10,0.25,0,5,1,2,3,extra,more\n"
        << QStringList{"2026-12-06T10:00:00.000 blocks 9 [h10 p0.25 synced t5 in1 out2 m3]"};
    QTest::newRow("neither four nor eleven columns")
        << NewHeader + "2026-12-06T10:00:00.000Z,blocks,9,,10\n"
                       "2026-12-06T10:00:01.000Z,blocks,9,,10,0.5,1,5,1,2\n"
                       "2026-12-06T10:00:02.000Z,blocks,9,,,,,,,,\n"
        << QStringList{"2026-12-06T10:00:02.000 blocks 9"};
    QTest::newRow("damaged state values are unknown, the row is kept")
        << NewHeader + "2026-12-06T10:00:00.000Z,blocks,9,,-5,1.5,2,x,-1, 3,3 \n"
                       "2026-12-06T10:00:01.000Z,blocks,9,,1234567890123456789012,-0.1,true,,,,\n"
                       "2026-12-06T10:00:02.000Z,blocks,9,,,nan,yes,,,,\n"
                       "2026-12-06T10:00:03.000Z,blocks,9,,,1e-3,,,,,\n"
                       "2026-12-06T10:00:04.000Z,blocks,9,,,.5,,,,,\n"
                       "2026-12-06T10:00:05.000Z,blocks,9,,,0.5.5,,,,,\n"
                       "2026-12-06T10:00:06.000Z,blocks,9,,,0.,,,,,\n"
                       "2026-12-06T10:00:07.000Z,blocks,9,,,0.123456789012345678901,,,,,\n"
                       "2026-12-06T10:00:08.000Z,blocks,9,,\xff\xfe,\x01,\x02,,,,\n"
                       "2026-12-06T10:00:09.000Z,blocks,9,,,1,,,,,\n"
                       "2026-12-06T10:00:10.000Z,blocks,9,,,0,,,,,\n"
        << QStringList{
               "2026-12-06T10:00:00.000 blocks 9",     "2026-12-06T10:00:01.000 blocks 9",
               "2026-12-06T10:00:02.000 blocks 9",     "2026-12-06T10:00:03.000 blocks 9",
               "2026-12-06T10:00:04.000 blocks 9",     "2026-12-06T10:00:05.000 blocks 9",
               "2026-12-06T10:00:06.000 blocks 9",     "2026-12-06T10:00:07.000 blocks 9",
               "2026-12-06T10:00:08.000 blocks 9",     "2026-12-06T10:00:09.000 blocks 9 [p1]",
               "2026-12-06T10:00:10.000 blocks 9 [p0]"};
    QTest::newRow("a damaged row stays skipped whatever its state")
        << NewHeader + "2026-12-06T10:00:00.000Z,blocks,,,10,0.5,1,5,1,2,3\n"
                       "2026-12-06T10:00:01.000Z,peers,9,,10,0.5,1,5,1,2,3\n"
        << QStringList();
}

void TestHistoryFile::parseState() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, rows);
    QCOMPARE(describe(tw::health::parseHistory(bytes)), rows);
}

void TestHistoryFile::parse() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, rows);
    QCOMPARE(describe(tw::health::parseHistory(bytes)), rows);
}

void TestHistoryFile::readsRotatedCopyThenCurrent_data() {
    QTest::addColumn<QByteArray>("rotated"); // "<none>": no such file
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QStringList>("rows");

    const QByteArray none = "<none>";
    const QByteArray older = Header + "2026-12-05T08:00:00.000Z,blocks,100,\n"
                                      "2026-12-05T08:01:00.000Z,connections,,timed out\n";
    const QByteArray newer = Header + "2026-12-06T08:00:00.000Z,blocks,200,\n";
    const QStringList olderRows{"2026-12-05T08:00:00.000 blocks 100",
                                "2026-12-05T08:01:00.000 connections failed: timed out"};
    const QStringList newerRows{"2026-12-06T08:00:00.000 blocks 200"};

    QTest::newRow("neither file") << none << none << QStringList();
    QTest::newRow("current only") << none << newer << newerRows;
    QTest::newRow("rotated only") << older << none << olderRows;
    QTest::newRow("both, older first") << older << newer << olderRows + newerRows;
    QTest::newRow("fresh current with header only") << older << Header << olderRows;
    QTest::newRow("rotated copy cut mid line")
        << older + "2026-12-05T08:02:00.000Z,blo" << newer << olderRows + newerRows;
    // An earlier version's file was rotated when this version began its own.
    QTest::newRow("rotated four-column copy, then this version's file")
        << older
        << NewHeader + "2026-12-06T08:00:00.000Z,blocks,200,,210,0.75000000,1,1796500000,0,8,"
                       "\n2026-12-06T08:00:04.000Z,connections,8,,,,,,,,\n"
        << olderRows + QStringList{"2026-12-06T08:00:00.000 blocks 200 [h210 p0.75 ibd t1796500000 "
                                   "in0 out8]",
                                   "2026-12-06T08:00:04.000 connections 8"};
}

void TestHistoryFile::readsRotatedCopyThenCurrent() {
    QFETCH(QByteArray, rotated);
    QFETCH(QByteArray, current);
    QFETCH(QStringList, rows);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("TW-CLI-UI.history.csv");
    if (rotated != "<none>")
        QVERIFY(tw::test::writeAll(path + ".1", rotated));
    if (current != "<none>")
        QVERIFY(tw::test::writeAll(path, current));

    tw::platform::LocalFileSystem files;
    const tw::health::HistoryRead read = tw::health::readHistory(files, path);
    QCOMPARE(describe(read.rows), rows);
    QCOMPARE(read.problem, QString());
}

// A folder where the file should be is reported, and the other file is
// still read.
void TestHistoryFile::unreadableFileIsNamed() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("TW-CLI-UI.history.csv");
    QVERIFY(QDir().mkdir(path + ".1"));
    QVERIFY(tw::test::writeAll(path, Header + "2026-12-06T08:00:00.000Z,blocks,200,\n"));

    tw::platform::LocalFileSystem files;
    const tw::health::HistoryRead read = tw::health::readHistory(files, path);
    QCOMPARE(describe(read.rows), QStringList{"2026-12-06T08:00:00.000 blocks 200"});
    QVERIFY2(read.problem.contains(path + ".1"), qPrintable(read.problem));
}

QTEST_GUILESS_MAIN(TestHistoryFile)
#include "tst_history_file.moc"
