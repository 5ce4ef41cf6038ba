// The POSIX platform layer against the real system: the INI store in a
// temporary XDG_CONFIG_HOME (this binary, run with --read, is the second
// process on it), a fake and the real /proc, real files, the offscreen
// window system, and on X11 with a window manager the EWMH one (this
// binary, run with --other, is the other program).

#include "platform/Posix.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QWidget>

using namespace tw::platform;

constexpr int Bound = 10000; // ms: the most a started process may take
const QString App = QStringLiteral("TW-CLI-UI");

static bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Whether the window manager keeps the X window in the top-most band.
static bool isAbove(quintptr window) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(window), "_NET_WM_STATE"});
    return xprop.waitForFinished(Bound) && xprop.readAll().contains("_NET_WM_STATE_ABOVE");
}

class TestPosix : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QString path(const QString& name) const { return tmp_.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp_.path()));
    }

    // A value goes into section a, which b must not see; a second process reads it.
    void storeKeepsValuesAndSectionsApart_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("value");
        const char* rows[][4] = {
            {"empty text", "TW-CLI-UI", "TW-CLI-UI-LTC", ""},
            {"commas, blanks", "my node", "my  node", "a, b,c ,"},
            {"quotes", "\"node\"", "node", "say \"hi\" \""},
            {"variant marker, brackets", "a]\n[b", "b", "@Variant(\\0\\0\\0\\x7f)"},
            {"newlines, slashes", "a//b", "a/b", "line 1\nline 2\r\n"},
            {"non-ASCII", "Knoten-Ä", "Knoten-ä", "Grüße, 日本語, 🙂"},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString(r[1]) << QString(r[2]) << QString(r[3]);
        QTest::newRow("long, letter case") << App << QString("tw-cli-ui") << QString(100000, u'x');
    }
    void storeKeepsValuesAndSectionsApart() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QString, value);
        const QString key = QTest::currentDataTag();
        IniSettingsBackend store;
        QVERIFY(store.write(App, a, key, value).ok);
        QVERIFY(QFile::exists(path("TW-CLI-UI/TW-CLI-UI.ini")));
        QVERIFY(store.read(App, b, key).state == SettingRead::State::Missing);
        QVERIFY(store.write(App, b, key, "of b").ok);
        const SettingRead read = store.read(App, a, key);
        QVERIFY(read.state == SettingRead::State::Found);
        QCOMPARE(read.value, value);
        QProcess other;
        other.start(QCoreApplication::applicationFilePath(), {"--read", a, key});
        QVERIFY(other.waitForFinished(Bound));
        QCOMPARE(other.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(other.readAllStandardOutput()), value);
    }

    void storeReportsWriteFailure() {
        QVERIFY(writeAll(path("plain"), "x"));
        const Result result = IniSettingsBackend(path("plain/x.ini")).write(App, App, "K", "v");
        QVERIFY2(!result.ok && result.error.contains("plain/x.ini"), qPrintable(result.error));
    }

    void processTableCountsFakeProc_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("expected");
        // pid, exe link target (none when empty), cmdline ('|' for NUL), comm, stat
        const char* fake[][5] = {
            {"101", "/usr/bin/bitcoin-cli", "bitcoin-cli|-conf=x|", "", ""},
            {"102", "/opt/Bitcoin-Qt (deleted)", "", "", ""},
            {"103", "/usr/bin/bitcoind", "", "", ""},
            {"104", "", "/usr/local/bin/bitcoind|-daemon|", "bd-main\n", ""},
            {"2", "", "", "kworker/0:1\n", "2 (kworker/0:1) I 0 0"},
            {"112", "", "", "zz-true\n", "112 (zz-true) Z 1 112"},
        };
        for (const auto& p : fake) {
            const QString dir = path(QString("proc/%1/").arg(p[0]));
            QVERIFY(QDir().mkpath(dir) && (!*p[1] || QFile::link(p[1], dir + "exe")));
            QVERIFY(writeAll(dir + "cmdline", QByteArray(p[2]).replace('|', '\0')));
            QVERIFY(writeAll(dir + "comm", p[3]) && writeAll(dir + "stat", p[4]));
        }
        QTest::newRow("exact") << "bitcoin-cli" << 1;
        QTest::newRow("other letter case") << "BITCOIN-CLI" << 1;
        QTest::newRow("prefix") << "bitcoin" << 0;
        QTest::newRow("longer") << "bitcoin-cli-x" << 0;
        QTest::newRow("two instances, one by argv[0]") << "BitcoinD" << 2;
        QTest::newRow("deleted executable") << "bitcoin-qt" << 1;
        QTest::newRow("comm") << "kworker/0:1" << 1;
        QTest::newRow("zombie") << "zz-true" << 0;
        QTest::newRow("empty name") << "" << 0;
    }
    void processTableCountsFakeProc() {
        QFETCH(QString, name);
        QFETCH(int, expected);
        QCOMPARE(ProcProcessTable(path("proc")).countByImageName(name), expected);
    }

    void processTableFindsRenamedCopyInRealProc() {
        const QString copy = path("TwProbeSleeper");
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), copy));
        QVERIFY(QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner));
        ProcProcessTable table;
        QProcess sleeper;
        sleeper.start(copy, {"300"});
        QVERIFY(sleeper.waitForStarted(Bound));
        QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName("twprobesleeper"), 1, Bound);
        sleeper.kill();
        QVERIFY(sleeper.waitForFinished(Bound));
        QCOMPARE(table.countByImageName("twprobesleeper"), 0);
        QCOMPARE(ProcProcessTable(path("no-proc")).countByImageName("sleep"), std::nullopt);
    }

    // Each row replaces the longer file of the row before, then reads it back.
    void fileReplacedAndReadCapped_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("got"); // -1: replacing and reading both fail
        QTest::addColumn<bool>("truncated");
        QTest::newRow("over the cap") << "CLI-UI-GBC.LOG" << 40000 << 32767 << true;
        QTest::newRow("at the cap") << "CLI-UI-GBC.LOG" << 32767 << 32767 << false;
        QTest::newRow("a block count") << "CLI-UI-GBC.LOG" << 7 << 7 << false;
        QTest::newRow("missing folder") << "nowhere/CLI-UI-GBC.LOG" << 7 << -1 << false;
    }
    void fileReplacedAndReadCapped() {
        QFETCH(QString, file);
        QFETCH(int, size);
        QFETCH(int, got);
        QFETCH(bool, truncated);
        QByteArray bytes("\r\n\0\xff", 4);
        while (bytes.size() < size)
            bytes += char('0' + bytes.size() % 10);
        LocalFileSystem files;
        QCOMPARE(files.writeFile(path(file), bytes).ok, got >= 0);
        const FileRead read = files.readFile(path(file), 32767);
        QCOMPARE(read.result.ok, got >= 0);
        QCOMPARE(read.bytes, bytes.left(qMax(got, 0)));
        QCOMPARE(read.fullSize, got < 0 ? 0 : qint64(size));
        QCOMPARE(read.truncated, truncated);
    }

    void offscreenGivesOwnWindowTheHintOnly() {
        const auto windows = createWindowSystem();
        QVERIFY2(windows->limitation().contains("offscreen"), qPrintable(windows->limitation()));
        QWidget main, other;
        main.show();
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const QRect before = main.geometry();
        for (const bool topMost : {true, false}) {
            windows->setTopMost(windows->handleOf(&main), topMost);
            QCOMPARE(main.windowFlags().testFlag(Qt::WindowStaysOnTopHint), topMost);
            QVERIFY(!other.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            QVERIFY(main.isVisible() && main.geometry() == before);
        }
    }

    // Run by ctest on Xvfb with openbox; the other program is this binary.
    void x11TopMostMovesFromOurWindowToAnotherProgramsWindow() {
        const auto windows = createWindowSystem();
        if (QGuiApplication::platformName() != "xcb" || !windows->limitation().isEmpty())
            QSKIP("needs an X display with an EWMH window manager");
        QProcess other;
        other.start(QCoreApplication::applicationFilePath(), {"--other"});
        QVERIFY(other.waitForReadyRead(Bound));
        const quintptr theirs = other.readLine().trimmed().toULongLong();
        QWidget main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const quintptr mine = windows->handleOf(&main);
        windows->setTopMost(mine, true);
        QTRY_VERIFY_WITH_TIMEOUT(isAbove(mine) && !isAbove(theirs), Bound);
        windows->setTopMost(mine, false);
        windows->setTopMost(theirs, true);
        QTRY_VERIFY_WITH_TIMEOUT(!isAbove(mine) && isAbove(theirs), Bound);
        other.close();
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--read") { // the second process on the store
        const SettingRead read = IniSettingsBackend().read(App, argv[2], argv[3]);
        QTextStream(stdout) << read.value;
        return read.state == SettingRead::State::Found ? 0 : 3;
    }
    // Another program's window; its id on stdout.
    if (argc == 2 && QByteArray(argv[1]) == "--other") {
        QWidget window;
        window.show();
        if (QTest::qWaitForWindowExposed(&window))
            QTextStream(stdout) << window.winId() << Qt::endl;
        return app.exec();
    }
    TestPosix test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_posix.moc"
