// Reading logs and replacing files on the real file system.

#include "platform/Posix.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using tw::platform::LocalFileSystem;

namespace {

QByteArray pattern(qint64 size) {
    QByteArray bytes;
    bytes.reserve(size);
    for (qint64 i = 0; i < size; ++i)
        bytes.append(static_cast<char>('0' + i % 10));
    return bytes;
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestLocalFileSystem : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp_;

private slots:
    void initTestCase() { QVERIFY(tmp_.isValid()); }

    void readIsCapped_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<qint64>("expectedBytes");
        QTest::addColumn<bool>("truncated");
        QTest::newRow("larger than the cap")
            << qint64(40000) << qint64(32767) << qint64(32767) << true;
        QTest::newRow("one byte over") << qint64(32768) << qint64(32767) << qint64(32767) << true;
        QTest::newRow("exactly the cap")
            << qint64(32767) << qint64(32767) << qint64(32767) << false;
        QTest::newRow("a block count") << qint64(7) << qint64(32767) << qint64(7) << false;
        QTest::newRow("empty") << qint64(0) << qint64(32767) << qint64(0) << false;
        QTest::newRow("cap of zero") << qint64(10) << qint64(0) << qint64(0) << true;
        QTest::newRow("negative cap") << qint64(10) << qint64(-1) << qint64(0) << true;
    }
    void readIsCapped() {
        QFETCH(qint64, size);
        QFETCH(qint64, maxBytes);
        QFETCH(qint64, expectedBytes);
        QFETCH(bool, truncated);
        const QString path = tmp_.filePath(QStringLiteral("CLI-UI-GBC.LOG"));
        const QByteArray content = pattern(size);
        QVERIFY(writeBytes(path, content));
        LocalFileSystem files;
        const auto read = files.readFile(path, maxBytes);
        QVERIFY2(read.result.ok, qPrintable(read.result.error));
        QCOMPARE(read.bytes.size(), expectedBytes);
        QCOMPARE(read.bytes, content.left(expectedBytes));
        QCOMPARE(read.fullSize, size);
        QCOMPARE(read.truncated, truncated);
    }

    void readKeepsBytesAsTheyAre() {
        const QString path = tmp_.filePath(QStringLiteral("raw.log"));
        const QByteArray content("812345\r\n\0\xff\xfe error: x\n", 22);
        QVERIFY(writeBytes(path, content));
        LocalFileSystem files;
        const auto read = files.readFile(path, 32767);
        QVERIFY(read.result.ok);
        QCOMPARE(read.bytes, content);
        QCOMPARE(read.fullSize, qint64(content.size()));
    }

    void readFailures_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expectedStart");
        const QString missing = tmp_.filePath(QStringLiteral("no such.LOG"));
        QTest::newRow("missing file") << missing << QStringLiteral("log file missing: ") + missing;
        const QString noFolder = tmp_.filePath(QStringLiteral("nowhere/CLI-UI-GCC.LOG"));
        QTest::newRow("missing folder")
            << noFolder << QStringLiteral("log file missing: ") + noFolder;
        QTest::newRow("empty path") << QString() << QStringLiteral("log file missing: ");
        QTest::newRow("a folder") << tmp_.path()
                                  << QStringLiteral("cannot read %1: ").arg(tmp_.path());
    }
    void readFailures() {
        QFETCH(QString, path);
        QFETCH(QString, expectedStart);
        LocalFileSystem files;
        const auto read = files.readFile(path, 32767);
        QVERIFY(!read.result.ok);
        QVERIFY2(read.result.error.startsWith(expectedStart), qPrintable(read.result.error));
        QVERIFY(read.bytes.isEmpty());
        QVERIFY(!read.truncated);
    }

    void replaceWritesExactlyTheBytes_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("new file") << QByteArray() << QByteArray("812345\r\n");
        QTest::newRow("shorter than before")
            << QByteArray("a much longer old content\r\n") << QByteArray("1\r\n");
        QTest::newRow("empty") << QByteArray("old") << QByteArray("");
        QTest::newRow("binary") << QByteArray() << QByteArray("\0\r\n\xff", 4);
        QTest::newRow("batch line")
            << QByteArray("old")
            << QByteArray("call \"/opt/b c/bitcoin-cli\" -conf=/x getblockcount > /y\r\n");
    }
    void replaceWritesExactlyTheBytes() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, bytes);
        const QString path =
            tmp_.filePath(QStringLiteral("external %1.txt").arg(QTest::currentDataTag()));
        if (!before.isEmpty())
            QVERIFY(writeBytes(path, before));
        LocalFileSystem files;
        const auto result = files.replaceFile(path, bytes);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(readBytes(path), bytes);
        // Nothing left behind beside it (no temporary file of the save).
        const auto others =
            QDir(tmp_.path())
                .entryList({QStringLiteral("external %1.txt*").arg(QTest::currentDataTag())},
                           QDir::Files);
        QCOMPARE(others.size(), 1);
    }

    void replaceFailures_data() {
        QTest::addColumn<QString>("path");
        QVERIFY(writeBytes(tmp_.filePath(QStringLiteral("plain")), "x"));
        QTest::newRow("missing folder") << tmp_.filePath(QStringLiteral("nowhere/out.txt"));
        QTest::newRow("parent is a file") << tmp_.filePath(QStringLiteral("plain/out.txt"));
        QTest::newRow("path is a folder") << tmp_.path();
        QTest::newRow("empty path") << QString();
    }
    void replaceFailures() {
        QFETCH(QString, path);
        LocalFileSystem files;
        const auto result = files.replaceFile(path, "812345\r\n");
        QVERIFY(!result.ok);
        QVERIFY2(result.error.startsWith(QStringLiteral("cannot write")), qPrintable(result.error));
        if (!path.isEmpty())
            QVERIFY2(result.error.contains(path), qPrintable(result.error));
        QVERIFY(!QFile::exists(tmp_.filePath(QStringLiteral("nowhere"))));
    }

    void localEncodingRoundTrips_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << QStringLiteral("call \"x\" -conf=y stop");
        QTest::newRow("non-ASCII") << QStringLiteral("C:/Knoten/Grüße/日本");
        QTest::newRow("empty") << QString();
    }
    void localEncodingRoundTrips() {
        QFETCH(QString, text);
        LocalFileSystem files;
        const QByteArray encoded = files.encodeLocal(text);
        QCOMPARE(encoded, text.toLocal8Bit());
        QCOMPARE(files.decodeLocal(encoded), text);
    }
};

QTEST_GUILESS_MAIN(TestLocalFileSystem)
#include "tst_file_system.moc"
