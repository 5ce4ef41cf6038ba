// Real batch files run by the real runner, and real user commands, in a
// temporary folder whose name has blanks in it.

#include "platform/Posix.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using tw::platform::PosixProcessStarter;

namespace {

constexpr int Bound = 10000; // ms; a started shell normally answers within a few

bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    file.close();
    if (executable)
        return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return true;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestPosixProcessStarter : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp_;
    QString folder_; // holds the batch files and the client; has blanks
    QString logs_;   // where the logs go (a bare path, as the batch line has it)
    QString client_; // the fake command-line client
    QString reader_; // a client that reads its standard input
    int run_ = 0;

    // One fresh subfolder of logs_ per run, so a run never sees an older one.
    QString freshLogFolder(bool blanks = false) {
        const QString path =
            logs_ +
            (blanks ? QStringLiteral("/log folder %1") : QStringLiteral("/run%1")).arg(++run_);
        QDir().mkpath(path);
        return path;
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        folder_ = tmp_.filePath(QStringLiteral("TW CLI UI folder"));
        logs_ = tmp_.filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(folder_));
        QVERIFY(QDir().mkpath(logs_));
        // Records its arguments one per line next to the log folder it is
        // told about through ARGS_FILE, prints a block count to stdout and a
        // complaint to stderr.
        client_ = folder_ + QStringLiteral("/fake cli.sh");
        QVERIFY(writeFile(client_,
                          "#!/bin/sh\n"
                          "for a in \"$@\"; do printf '%s|' \"$a\"; done > \"$ARGS_FILE\"\n"
                          "echo 'error: this goes to stderr' >&2\n"
                          "echo 812345\n",
                          true));
        reader_ = folder_ + QStringLiteral("/reader.sh");
        QVERIFY(writeFile(reader_, "#!/bin/sh\ncat > \"$STDIN_FILE\"\n", true));
    }

    void batchLineRunsClientIntoLog_data() {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("blanks");
        QTest::addColumn<QString>("quote");
        QTest::newRow("CR LF") << QByteArray("\r\n") << QString() << false << QString();
        QTest::newRow("LF only") << QByteArray("\n") << QString() << false << QString();
        QTest::newRow("no line end") << QByteArray() << QString() << false << QString();
        QTest::newRow("CR LF, -daemon=1")
            << QByteArray("\r\n") << QStringLiteral(" -daemon=1") << false << QString();
        QTest::newRow("CR LF, -daemon=0")
            << QByteArray("\r\n") << QStringLiteral(" -daemon=0") << false << QString();
        QTest::newRow("log folder with blanks")
            << QByteArray("\r\n") << QString() << true << QString();
        QTest::newRow("quoted log path with blanks")
            << QByteArray("\r\n") << QString() << true << QStringLiteral("\"");
    }
    void batchLineRunsClientIntoLog() {
        QFETCH(QByteArray, lineEnd);
        QFETCH(QString, options);
        QFETCH(bool, blanks);
        QFETCH(QString, quote);
        const QString logFolder = freshLogFolder(blanks);
        const QString log = logFolder + QStringLiteral("/CLI-UI-GBC.LOG");
        const QString args = logFolder + QStringLiteral("/args");
        qputenv("ARGS_FILE", QFile::encodeName(args));
        const QString batch = folder_ + QStringLiteral("/CLI-UI-GBC.BAT");
        const QString line = QStringLiteral("call \"%1\" -conf=x%2 getblockcount > %3%4%3")
                                 .arg(client_, options, quote, log);
        QVERIFY(writeFile(batch, line.toLocal8Bit() + lineEnd));

        PosixProcessStarter starter;
        const auto result = starter.startBatchFile(batch);
        QVERIFY2(result.ok, qPrintable(result.error));

        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("812345\n"), Bound);
        // The client saw its arguments without the CR, and nothing else.
        QTRY_COMPARE_WITH_TIMEOUT(readFile(args),
                                  QStringLiteral("-conf=x|%1getblockcount|")
                                      .arg(options.isEmpty() ? QString() : options.mid(1) + u'|')
                                      .toLocal8Bit(),
                                  Bound);
        // Exactly the log and the argument record: no "CLI-UI-GBC.LOG\r".
        QCOMPARE(QDir(logFolder).entryList(QDir::Files, QDir::Name),
                 QStringList({QStringLiteral("CLI-UI-GBC.LOG"), QStringLiteral("args")}));
        QVERIFY(!readFile(log).contains("stderr"));
    }

    void stopLineRunsClientWithoutLog() {
        const QString logFolder = freshLogFolder();
        const QString args = logFolder + QStringLiteral("/args");
        qputenv("ARGS_FILE", QFile::encodeName(args));
        const QString batch = folder_ + QStringLiteral("/CLI-UI-STOP.BAT");
        QVERIFY(writeFile(
            batch, QStringLiteral("call \"%1\" -conf=x stop\r\n").arg(client_).toLocal8Bit()));
        PosixProcessStarter starter;
        QVERIFY(starter.startBatchFile(batch).ok);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(args), QByteArray("-conf=x|stop|"), Bound);
    }

    void commandDoesNotEatFollowingLines() {
        // A command that reads its standard input must get nothing from the
        // batch file; the line after it still runs.
        const QString logFolder = freshLogFolder();
        const QString stdinCopy = logFolder + QStringLiteral("/stdin");
        const QString log = logFolder + QStringLiteral("/CLI-UI-GCC.LOG");
        qputenv("STDIN_FILE", QFile::encodeName(stdinCopy));
        qputenv("ARGS_FILE", QFile::encodeName(logFolder + QStringLiteral("/args")));
        const QString batch = folder_ + QStringLiteral("/two lines.BAT");
        QVERIFY(writeFile(batch, QStringLiteral("call \"%1\"\r\n"
                                                "call \"%2\" -conf=y getconnectioncount > %3\r\n")
                                     .arg(reader_, client_, log)
                                     .toLocal8Bit()));
        PosixProcessStarter starter;
        QVERIFY(starter.startBatchFile(batch).ok);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("812345\n"), Bound);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(stdinCopy), QByteArray(), Bound);
    }

    void missingBatchFileFails_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("no such file") << tmp_.filePath(QStringLiteral("TW CLI UI folder/none.BAT"));
        QTest::newRow("no such folder") << tmp_.filePath(QStringLiteral("nowhere/CLI-UI-GBC.BAT"));
        QTest::newRow("a folder") << tmp_.filePath(QStringLiteral("TW CLI UI folder"));
        QTest::newRow("empty path") << QString();
    }
    void missingBatchFileFails() {
        QFETCH(QString, path);
        PosixProcessStarter starter;
        const auto result = starter.startBatchFile(path);
        QVERIFY(!result.ok);
        QCOMPARE(result.error, QStringLiteral("batch file missing: ") + path);
    }

    void emptyUserCommandFails_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks") << QStringLiteral("   ");
        QTest::newRow("tabs and line ends") << QStringLiteral("\t\r\n ");
    }
    void emptyUserCommandFails() {
        QFETCH(QString, command);
        PosixProcessStarter starter;
        const auto result = starter.startUserCommand(command);
        QVERIFY(!result.ok);
        QCOMPARE(result.error, QStringLiteral("user command is empty"));
    }

    void userCommandRunsInShell_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        const QString marker = folder_ + QStringLiteral("/marker file");
        QTest::newRow("touch a marker")
            << QStringLiteral("touch \"%1\"").arg(marker) << marker << QByteArray();
        const QString answer = folder_ + QStringLiteral("/answer");
        QTest::newRow("shell arithmetic and redirection")
            << QStringLiteral("printf '%s' \"$((6*7))\" > '%1'").arg(answer) << answer
            << QByteArray("42");
        const QString both = folder_ + QStringLiteral("/both");
        QTest::newRow("two commands")
            << QStringLiteral("printf a > '%1'; printf b >> '%1'").arg(both) << both
            << QByteArray("ab");
    }
    void userCommandRunsInShell() {
        QFETCH(QString, command);
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFile::remove(file);
        PosixProcessStarter starter;
        const auto result = starter.startUserCommand(command);
        QVERIFY2(result.ok, qPrintable(result.error));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), Bound);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(file), content, Bound);
    }
};

QTEST_GUILESS_MAIN(TestPosixProcessStarter)
#include "tst_process_starter.moc"
