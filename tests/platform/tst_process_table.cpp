// The process table over a fake proc folder built in a temporary folder,
// and over the real /proc with a renamed copy of `sleep`.

#include "platform/Posix.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <vector>

using tw::platform::ProcProcessTable;

namespace {

// One process of the fake proc folder. An empty exe means no link at all; a
// target starting with '!' makes exe a plain file (readlink fails on it,
// as it does on another user's process).
struct FakeProcess {
    QString entry;
    QString exe;
    QByteArray cmdline;
    QByteArray comm;
};

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestProcProcessTable : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp_;
    QString fakeRoot_;
    std::vector<std::unique_ptr<QProcess>> sleepers_;

    bool addProcess(const FakeProcess& p) {
        QDir root(fakeRoot_);
        if (!root.mkpath(p.entry))
            return false;
        const QString dir = fakeRoot_ + u'/' + p.entry;
        if (p.exe.startsWith(u'!')) {
            if (!writeBytes(dir + QStringLiteral("/exe"), p.exe.mid(1).toUtf8()))
                return false;
        } else if (!p.exe.isEmpty() && !QFile::link(p.exe, dir + QStringLiteral("/exe"))) {
            return false;
        }
        if (!p.cmdline.isNull() && !writeBytes(dir + QStringLiteral("/cmdline"), p.cmdline))
            return false;
        if (!p.comm.isNull() && !writeBytes(dir + QStringLiteral("/comm"), p.comm))
            return false;
        return true;
    }

    QProcess* startSleeper(const QString& program) {
        auto process = std::make_unique<QProcess>();
        process->start(program, {QStringLiteral("300")});
        if (!process->waitForStarted(10000))
            return nullptr;
        sleepers_.push_back(std::move(process));
        return sleepers_.back().get();
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        fakeRoot_ = tmp_.filePath(QStringLiteral("proc"));
        QVERIFY(QDir().mkpath(fakeRoot_));
        const std::vector<FakeProcess> processes = {
            {"101", "/usr/bin/bitcoin-cli", QByteArray("bitcoin-cli\0-conf=x\0getblockcount\0", 34),
             "bitcoin-cli\n"},
            // The executable was replaced on disk after start.
            {"102", "/opt/node/bin/Bitcoin-Qt (deleted)", QByteArray("other\0", 6), "other\n"},
            // Not our process: no exe link to read, argv[0] with a path.
            {"103", "", QByteArray("/usr/local/bin/bitcoind\0-daemon\0", 32), "bitcoind\n"},
            // exe that cannot be read as a link.
            {"104", "!not a link", QByteArray("/usr/bin/bitcoind\0", 18), "bitcoind\n"},
            // A kernel thread: no exe, empty cmdline, only comm.
            {"2", "", QByteArray(""), "kworker/0:1-events\n"},
            // exe names the real file, argv[0] and comm the name it was run by.
            {"106", "/usr/bin/python3.11", QByteArray("python3\0script.py\0", 18), "python3\n"},
            {"107", "/usr/bin/Grüße-Knoten", QByteArray("x\0", 2), "Grüße-Knoten\n"},
            {"108", "/usr/bin/bitcoin-cli-extra", QByteArray("bitcoin-cli-extra\0", 18),
             "bitcoin-cli-ext\n"},
            {"109", "/usr/bin/bitcoin-cl", QByteArray(), QByteArray()},
            // argv[0] without NUL at all (a process that rewrote it).
            {"110", "", QByteArray("node-watcher: idle"), "node-watcher\n"},
            // A process that is gone: its folder is there, nothing in it.
            {"111", "", QByteArray(), QByteArray()},
            // Entries that are no processes.
            {"self", "/usr/bin/ghost-node", QByteArray("ghost-node\0", 11), "ghost-node\n"},
            {"12a", "/usr/bin/ghost-node", QByteArray("ghost-node\0", 11), "ghost-node\n"},
            {"sys", "/usr/bin/ghost-node", QByteArray("ghost-node\0", 11), "ghost-node\n"},
        };
        for (const auto& p : processes)
            QVERIFY2(addProcess(p), qPrintable(p.entry));
        QVERIFY(writeBytes(fakeRoot_ + QStringLiteral("/uptime"), "1.0 1.0\n"));
        // A zombie: ended but not reaped; only its short name is left.
        QVERIFY(addProcess({"112", "", QByteArray(""), "zz-true\n"}));
        QVERIFY(writeBytes(fakeRoot_ + QStringLiteral("/112/stat"),
                           "112 (zz-true) Z 1 112 112 0 -1 4227084 0 0 0 0\n"));
        // A sleeping kernel thread with a stat file is still counted.
        QVERIFY(addProcess({"113", "", QByteArray(""), "kthreadd\n"}));
        QVERIFY(writeBytes(fakeRoot_ + QStringLiteral("/113/stat"),
                           "113 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0\n"));
    }

    void cleanupTestCase() {
        for (auto& p : sleepers_) {
            p->kill();
            p->waitForFinished(10000);
        }
    }

    void countsInFakeProcRoot_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("expected");
        QTest::newRow("exact exe name") << "bitcoin-cli" << 1;
        QTest::newRow("other letter case") << "BITCOIN-cli" << 1;
        QTest::newRow("prefix does not match") << "bitcoin" << 0;
        QTest::newRow("shorter name does not match") << "bitcoin-c" << 0;
        QTest::newRow("longer name does not match") << "bitcoin-cli.exe" << 0;
        QTest::newRow("longer process name is its own") << "bitcoin-cli-extra" << 1;
        QTest::newRow("shorter process name is its own") << "bitcoin-cl" << 1;
        QTest::newRow("deleted executable") << "bitcoin-qt" << 1;
        QTest::newRow("deleted suffix is no part of the name") << "Bitcoin-Qt (deleted)" << 0;
        QTest::newRow("exe wins over argv[0] and comm") << "other" << 0;
        QTest::newRow("argv[0] when exe unreadable, two instances") << "BitcoinD" << 2;
        QTest::newRow("argv[0] arguments are no names") << "-daemon" << 0;
        QTest::newRow("argv[0] folder is no name") << "bin" << 0;
        QTest::newRow("argv[0] without NUL") << "node-watcher: idle" << 1;
        QTest::newRow("comm for kernel threads") << "KWORKER/0:1-events" << 1;
        QTest::newRow("comm only without its line end") << "kworker/0:1-events\n" << 0;
        QTest::newRow("real file name, not the name run by") << "python3" << 0;
        QTest::newRow("real file name") << "python3.11" << 1;
        QTest::newRow("non-ASCII, other letter case") << "GRÜßE-KNOTEN" << 1;
        QTest::newRow("non-entries are ignored") << "ghost-node" << 0;
        QTest::newRow("a zombie is not running") << "zz-true" << 0;
        QTest::newRow("a sleeping kernel thread is") << "kthreadd" << 1;
        QTest::newRow("unknown") << "litecoin-cli" << 0;
        QTest::newRow("blank") << " " << 0;
        QTest::newRow("empty name") << "" << 0;
    }
    void countsInFakeProcRoot() {
        QFETCH(QString, name);
        QFETCH(int, expected);
        ProcProcessTable table(fakeRoot_);
        QCOMPARE(table.countByImageName(name), std::optional<int>(expected));
    }

    void missingRoot_data() {
        QTest::addColumn<QString>("root");
        QTest::newRow("no such folder") << tmp_.filePath(QStringLiteral("no-proc"));
        QTest::newRow("a file") << tmp_.filePath(QStringLiteral("proc/uptime"));
    }
    void missingRoot() {
        QFETCH(QString, root);
        ProcProcessTable table(root);
        QCOMPARE(table.countByImageName(QStringLiteral("bitcoin-cli")), std::nullopt);
        // An empty name is answered without looking.
        QCOMPARE(table.countByImageName(QString()), std::optional<int>(0));
    }

    void realProcFindsRenamedSleeper() {
        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        QVERIFY(!sleep.isEmpty());
        const QString copy = tmp_.filePath(QStringLiteral("TwProbeSleeper"));
        QVERIFY(QFile::copy(sleep, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner));

        ProcProcessTable table;
        const QString asked = QStringLiteral("twprobesleeper");
        QCOMPARE(table.countByImageName(asked), std::optional<int>(0));

        QProcess* first = startSleeper(copy);
        QVERIFY(first);
        QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(asked), std::optional<int>(1), 10000);
        QProcess* second = startSleeper(copy);
        QVERIFY(second);
        QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(asked), std::optional<int>(2), 10000);
        QCOMPARE(table.countByImageName(QStringLiteral("TwProbeSleeper")), std::optional<int>(2));
        QCOMPARE(table.countByImageName(QStringLiteral("TwProbeSleep")), std::optional<int>(0));

        first->kill();
        QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(asked), std::optional<int>(1), 10000);
        second->kill();
        QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(asked), std::optional<int>(0), 10000);
    }

    void realProcFindsItself() {
        ProcProcessTable table;
        const auto count = table.countByImageName(QStringLiteral("test_platform_process_table"));
        QVERIFY(count.has_value());
        QVERIFY(*count >= 1);
    }
};

QTEST_GUILESS_MAIN(TestProcProcessTable)
#include "tst_process_table.moc"
