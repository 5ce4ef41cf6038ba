// The POSIX platform layer against the real system: the INI store in a
// temporary XDG_CONFIG_HOME (this binary, run with --read, is the second
// process on it), a fake and the real /proc, real files, the offscreen
// window system, and on X11 with a window manager the EWMH one (this
// binary, run with --other, is the other program).

#include "platform/posix/Posix.h"
#include "tests/support/FileBytes.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QWidget>

#include <csignal>
#include <cstdio>

#include <grp.h>
#include <unistd.h>

using tw::test::readAll;
using tw::test::writeAll;
using namespace tw::platform;

constexpr int Bound = 10000; // ms: the most a started process may take
// ms: the most the other program may take to show its window; a loaded
// machine (two cores, a build beside the tests) took more than 10 s once in 20.
constexpr int WindowStartBound = 60000;
const QString App = QStringLiteral("TW-CLI-UI");

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

    // A folder laid out like /proc. Links here are always readable (even a
    // dangling one, as the exe of a deleted program is), and a missing exe
    // is ENOENT: what root sees of a kernel thread or a zombie. A refused
    // exe (EACCES) cannot be made in a folder as root: the refused-process
    // test below reads the real /proc as another user for that.
    void processTableCountsFakeProc_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("expected");
        QVERIFY(writeAll(path("TwLinked"), "#!/bin/sh\n"));
        // entry, exe (none when empty; '=' a plain file), cmdline ('|' for NUL), stat
        const char* fake[][4] = {
            {"101", "/usr/bin/bitcoin-cli", "bitcoin-cli|-conf=x|", ""},
            {"102", "/opt/Bitcoin-Qt (deleted)", "", ""},
            {"103", "/nowhere/bitcoind", "bitcoind|", ""},
            {"104", "", "/usr/local/bin/bitcoind|-daemon|", "104 (bitcoind) S 1 104 104 0 -1 0"},
            {"105", "", "", ""}, // exe: the link to TwLinked, below
            {"106", "/opt/Knoten-Ä", "", ""},
            {"2", "", "", "2 (kthreadd) S 0 0 0 0 -1 2129984"},
            {"112", "", "", "112 (zz-true) Z 1 112 1 0 -1 4194316"},
            {"120", "=", "twplain|", "120 (twplain) S 1 120 120 0 -1 0"},
            {"12a", "/usr/bin/twnotaprocess", "twnotaprocess|", ""},
        };
        for (const auto& p : fake) {
            const QString dir = path(QString("proc/%1/").arg(p[0]));
            QVERIFY(QDir().mkpath(dir));
            if (QByteArray(p[1]) == "=")
                QVERIFY(writeAll(dir + "exe", "not a link"));
            else if (*p[1])
                QVERIFY(QFile::link(QString::fromUtf8(p[1]), dir + "exe"));
            QVERIFY(writeAll(dir + "cmdline", QByteArray(p[2]).replace('|', '\0')));
            QVERIFY(writeAll(dir + "stat", p[3]));
        }
        QVERIFY(QFile::link(path("TwLinked"), path("proc/105/exe")));
        QTest::newRow("exact") << "bitcoin-cli" << 1;
        QTest::newRow("other letter case") << "BITCOIN-CLI" << 1;
        QTest::newRow("prefix") << "bitcoin" << 0;
        QTest::newRow("longer") << "bitcoin-cli-x" << 0;
        QTest::newRow("deleted executable") << "bitcoin-qt" << 1;
        QTest::newRow("dangling link; no argv[0] without exe") << "BitcoinD" << 1;
        QTest::newRow("link to a present file") << "twlinked" << 1;
        QTest::newRow("non-ASCII, other letter case") << "KNOTEN-Ä" << 1;
        QTest::newRow("kernel thread") << "kthreadd" << 0;
        QTest::newRow("zombie") << "zz-true" << 0;
        QTest::newRow("exe not a link") << "twplain" << 0;
        QTest::newRow("not a process folder") << "twnotaprocess" << 0;
        QTest::newRow("empty name") << "" << 0;
    }
    void processTableCountsFakeProc() {
        QFETCH(QString, name);
        QFETCH(int, expected);
        QCOMPARE(ProcProcessTable(path("proc")).countByImageName(name).value_or(-1), expected);
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

    // Script clients, started for real. The kernel runs a #! file with its
    // interpreter, whose executable /proc/PID/exe names; the script's own
    // name is in the command line. Each script waits on its stdin, so that it
    // starts no child. %1 is the file's path, %2 the same from its folder.
    void processTableCountsScriptClients_data() {
        QTest::addColumn<QString>("name"); // of the file, and asked for
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("expected");
        const QByteArray sh = "#!/bin/sh\nread line\n";
        QTest::newRow("#!/bin/sh, run directly")
            << "TwShClient" << sh << true << QStringList{"%1"} << 1;
        QTest::newRow("#! line with an option")
            << "TwShOptionClient" << QByteArray("#!/bin/sh -e\nread line\n") << true
            << QStringList{"%1"} << 1;
        QTest::newRow("name over 15 characters")
            << "TwScriptClientWithALongName" << sh << true << QStringList{"%1"} << 1;
        QTest::newRow("#!/usr/bin/env sh, run from its folder")
            << "TwEnvShClient" << QByteArray("#!/usr/bin/env sh\nread line\n") << true
            << QStringList{"%2"} << 1;
        QTest::newRow("#!/usr/bin/env python3")
            << "TwPythonClient"
            << QByteArray("#!/usr/bin/env python3\nimport sys\nsys.stdin.read()\n") << true
            << QStringList{"%1"} << 1;
        QTest::newRow("another program's argument, not executable")
            << "TwReadClient" << sh << false << QStringList{"tail", "-f", "%1"} << 0;
    }
    void processTableCountsScriptClients() {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(bool, executable);
        QFETCH(QStringList, command);
        QFETCH(int, expected);
        if (text.contains("python3") && QStandardPaths::findExecutable("python3").isEmpty())
            QSKIP("needs python3");
        const QString file = path(name);
        QVERIFY(writeAll(file, text));
        if (executable)
            QVERIFY(QFile::setPermissions(file, QFile::permissions(file) | QFile::ExeOwner));
        command.replaceInStrings("%1", file).replaceInStrings("%2", "./" + name);
        QProcess client;
        client.setWorkingDirectory(tmp_.path());
        client.start(command.takeFirst(), command);
        QVERIFY(client.waitForStarted(Bound)); // it has been executed: its command line is set
        ProcProcessTable table;
        if (expected == 0)
            QCOMPARE(table.countByImageName(name).value_or(-1), 0);
        else
            QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName(name.toLower()).value_or(-1), expected,
                                      Bound);
        client.kill();
        QVERIFY(client.waitForFinished(Bound));
        QCOMPARE(table.countByImageName(name).value_or(-1), 0);
    }

    // Root's processes, counted by root (exe readable, or ENOENT) and by this
    // binary as another user (--count-as-nobody), to whom every exe and
    // working folder here is refused: a sleeper whose argv[0] differs from
    // its file name, one with an empty argv[0] (named by stat, which cuts a
    // name to 15 bytes), a zombie, a #! script run from its folder and, where
    // the kernel's threads are visible, kthreadd.
    void processTableNamesRefusedProcessesByArgv0ThenStat() {
        if (::geteuid() != 0)
            QSKIP("needs root, to start processes another user is refused");
        const QString bash = QStandardPaths::findExecutable("bash");
        if (bash.isEmpty())
            QSKIP("needs bash (exec -a)");
        for (const QString name : {"TwRefusedSleeper", "TwStatOnlyLongName", "TwZombieKid"}) {
            const QString copy = path(name);
            QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), copy));
            QVERIFY(QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner));
        }
        const QString kernelThread =
            readAll("/proc/2/stat").startsWith("2 (kthreadd) ") ? "kthreadd" : "";
        const QString script = path("TwRootScriptClient");
        QVERIFY(writeAll(script, "#!/bin/sh\nread line\n"));
        QVERIFY(QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner));
        QProcess sleepers[4];
        const QString scripts[] = {
            QString("exec -a TwArgvName '%1' 300").arg(path("TwRefusedSleeper")),
            QString("exec -a '' '%1' 300").arg(path("TwStatOnlyLongName")),
            QString("'%1' 300 & exec sleep 300").arg(path("TwZombieKid")),
            QString("cd '%1' && exec ./TwRootScriptClient").arg(tmp_.path()),
        };
        for (int i = 0; i < 4; ++i) {
            sleepers[i].start(bash, {"-c", scripts[i]});
            QVERIFY(sleepers[i].waitForStarted(Bound));
        }
        // The zombie: TwZombieKid killed once its parent is `sleep`, which
        // never reaps it.
        const QByteArray parent = QByteArray::number(sleepers[2].processId());
        QTRY_VERIFY_WITH_TIMEOUT(readAll("/proc/" + parent + "/stat").contains(" (sleep) "), Bound);
        auto kid = [&](const char* state) {
            for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
                const QList<QByteArray> fields = readAll("/proc/" + entry + "/stat").split(' ');
                if (fields.size() > 3 && fields[1] == "(TwZombieKid)" && fields[2] == state &&
                    fields[3] == parent)
                    return entry.toInt();
            }
            return 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(kid("S") > 0, Bound);
        QCOMPARE(::kill(kid("S"), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(kid("Z") > 0, Bound);
        auto counts = [&](bool asRoot) {
            const QStringList names{
                "TwRefusedSleeper",   "TwArgvName",
                "TwStatOnlyLongName", "TwZombieKid",
                "TwRootScriptClient", kernelThread.isEmpty() ? "TwNoKernelThread" : kernelThread};
            QString text;
            if (asRoot) {
                ProcProcessTable table;
                for (const QString& name : names)
                    text += QString::number(table.countByImageName(name).value_or(-1)) + " ";
            } else {
                QProcess other;
                other.start(QCoreApplication::applicationFilePath(),
                            QStringList{"--count-as-nobody"} + names);
                if (!other.waitForFinished(Bound) || other.exitCode() != 0)
                    return QString("helper failed: ") + other.readAllStandardError();
                text = QString::fromUtf8(other.readAllStandardOutput());
            }
            return text.trimmed();
        };
        // By exe and argv[0] for root (the zombie and the kernel thread have
        // neither), the script by its executable file...
        QTRY_COMPARE_WITH_TIMEOUT(counts(true), QString("1 1 1 0 1 0"), Bound);
        // ...and by argv[0], else stat, for the other user; the script by the
        // name the kernel gave it.
        QCOMPARE(counts(false), QString("0 1 1 0 1 0"));
        for (QProcess& sleeper : sleepers) {
            sleeper.kill();
            QVERIFY(sleeper.waitForFinished(Bound));
        }
        QTRY_COMPARE_WITH_TIMEOUT(counts(false), QString("0 0 0 0 0 0"), Bound);
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
        QVERIFY(other.waitForReadyRead(WindowStartBound));
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
    // The process table as an ordinary user (uid and gid 65534), for root's
    // test: one count per name on stdout.
    if (argc >= 2 && QByteArray(argv[1]) == "--count-as-nobody") {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 3;
        ProcProcessTable table;
        for (int i = 2; i < argc; ++i)
            std::printf("%d ",
                        table.countByImageName(QString::fromLocal8Bit(argv[i])).value_or(-1));
        return 0;
    }
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
