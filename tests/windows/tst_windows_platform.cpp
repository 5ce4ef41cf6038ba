// The Windows platform through the program's own interfaces, against the
// real system (under Wine here): the store in the registry through
// GetSetting/SaveSetting with reg.exe on the other side, batch files run by
// cmd.exe and a query's processes ended, the process count, the files, and
// the top-most keeper's ticks on real windows.

#include "app/Diagnostics.h"
#include "app/SettingsStore.h"
#include "platform/windows/Win32.h"
#include "platform/windows/WindowsPlatform.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TestRig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <windows.h>

using tw::test::readAll;
using tw::test::writeAll;
using namespace tw::platform;

namespace {

const QString App = QStringLiteral("TW-CLI-UI");
constexpr int Bound = 15000;

// Another program's window as the keeper sees it: a window of the system's
// that is none of the program's Qt windows.
HWND otherProgramsWindow() {
    WNDCLASSW kind{};
    kind.lpfnWndProc = DefWindowProcW;
    kind.hInstance = GetModuleHandleW(nullptr);
    kind.lpszClassName = L"TwOtherProgram";
    RegisterClassW(&kind);
    return CreateWindowExW(0, kind.lpszClassName, L"another program",
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 200, 400, 300, nullptr, nullptr,
                           kind.hInstance, nullptr);
}

// Whether `upper` lies above `lower` in the system's order of windows.
bool stacksAbove(WindowHandle upper, WindowHandle lower) {
    for (HWND below = GetWindow(reinterpret_cast<HWND>(upper), GW_HWNDNEXT); below;
         below = GetWindow(below, GW_HWNDNEXT)) {
        if (below == reinterpret_cast<HWND>(lower))
            return true;
    }
    return false;
}

int reg(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(QStringLiteral("reg.exe"), arguments);
    if (!process.waitForFinished(Bound))
        return -1;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitCode();
}

} // namespace

class TestWindowsPlatform : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QString section_ = QStringLiteral("TW-WINDOWS-PLATFORM-TEST");
    QString key_ = QStringLiteral("HKCU\\Software\\VB and VBA Program Settings\\TW-CLI-UI\\") +
                   QStringLiteral("TW-WINDOWS-PLATFORM-TEST");

private slots:
    void initTestCase() { QVERIFY(tmp_.isValid()); }
    void cleanupTestCase() { reg({"delete", key_, "/f"}); }

    // Values as typed come back exactly; "no such key" is not "cannot read".
    void storeKeepsValues_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << "";
        QTest::newRow("path") << "C:\\Program Files\\Bitcoin\\daemon\\bitcoin-cli.exe";
        QTest::newRow("signs") << "x;y,\"q\" = %APPDATA% ^&|<>";
        QTest::newRow("blanks") << "  both  ";
        QTest::newRow("non-ASCII") << "Gr\u00fc\u00dfe \u65e5\u672c";
    }
    void storeKeepsValues() {
        QFETCH(QString, value);
        RegistrySettingsBackend backend;
        tw::app::Diagnostics diagnostics(QString(), false);
        tw::app::SettingsStore store(backend, section_, &diagnostics);
        const QString key = QTest::currentDataTag();
        QCOMPARE(store.GetSetting(key, "default"), QString("default"));
        store.SaveSetting(key, value);
        QCOMPARE(store.GetSetting(key, "default"), value);
        QCOMPARE(diagnostics.failureCount(), 0);
        QCOMPARE(int(backend.read(App, "NO-SUCH-SECTION", key).state),
                 int(SettingRead::State::Missing));
    }

    // An existing configuration is found where GetSetting/SaveSetting-style
    // programs keep it, and reg.exe sees what the panel saved.
    void storeSharesTheRegistryKey() {
        QCOMPARE(reg({"add", key_, "/v", "CLI_NAME_TEXTBOX", "/t", "REG_SZ", "/d",
                      "bitcoin-cli.exe", "/f"}),
                 0);
        RegistrySettingsBackend backend;
        tw::app::SettingsStore store(backend, section_);
        QCOMPARE(store.GetSetting("CLI_NAME_TEXTBOX", ""), QString("bitcoin-cli.exe"));
        store.saveTickState("AUTOSTART_TICKBOX", true);
        QByteArray output;
        QCOMPARE(reg({"query", key_, "/v", "AUTOSTART_TICKBOX"}, &output), 0);
        QVERIFY2(output.contains("REG_SZ") && output.trimmed().endsWith("1"), output.constData());
    }

    // Start at login: the Run value that the user's logon runs, the
    // program's path in double quotes as reg.exe reads it; a value that Task
    // Manager's Startup page turned off reads as off until switched on again.
    void startAtLogin() {
        const QString name = QStringLiteral("TW-WINDOWS-PLATFORM-TEST");
        const QString run =
            QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
        const QString approved =
            QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                           "StartupApproved\\Run");
        QVERIFY(QFileInfo(windowsModulePath())
                    .fileName()
                    .startsWith(QStringLiteral("test_windows_platform"), Qt::CaseInsensitive));
        RunKeyAutostart autostart(name,
                                  QStringLiteral("C:/Program Files/TW CLI/TW-CLI-UI-BTC.exe"));
        QVERIFY(!autostart.enabled());
        QVERIFY(autostart.setEnabled(true).ok);
        QVERIFY(autostart.enabled());
        QByteArray output;
        QCOMPARE(reg({"query", run, "/v", name}, &output), 0);
        QVERIFY2(output.contains("REG_SZ") &&
                     output.contains("\"C:\\Program Files\\TW CLI\\TW-CLI-UI-BTC.exe\""),
                 output.constData());

        QCOMPARE(reg({"add", approved, "/v", name, "/t", "REG_BINARY", "/d",
                      "030000000000000000000000", "/f"}),
                 0);
        QVERIFY(!autostart.enabled());
        QVERIFY(autostart.setEnabled(true).ok);
        QVERIFY(autostart.enabled());
        QVERIFY(reg({"query", approved, "/v", name}) != 0);

        QVERIFY(autostart.setEnabled(false).ok);
        QVERIFY(!autostart.enabled());
        QVERIFY(reg({"query", run, "/v", name}) != 0);
        QVERIFY(autostart.setEnabled(false).ok); // nothing to take away
    }

    // A query's batch file, CR LF and all, run by cmd.exe; what it leaves
    // running is ended after its read.
    void batchFiles() {
        const QString folder = QDir::toNativeSeparators(tmp_.path());
        const QString log = folder + "\\CLI-UI-GBC.LOG";
        const QString batch = folder + "\\CLI-UI-GBC.BAT";
        QVERIFY(writeAll(
            batch, ("call \"C:\\windows\\system32\\cmd.exe\" /c echo 840123 > " + log + "\r\n")
                       .toLocal8Bit()));
        WinProcessStarter starter;
        const BatchStart started = starter.startBatchFile(batch, BatchKind::Query);
        QVERIFY2(started.result.ok, qPrintable(started.result.error));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(log).startsWith("840123"), Bound);
        QTest::qWait(300);
        QCOMPARE(starter.finishBatch(started.id).ended, QString());

        const QString endless = folder + "\\ENDLESS.BAT";
        QVERIFY(writeAll(endless, ":again\r\nping -n 2 127.0.0.1 > NUL\r\ngoto again\r\n"));
        const BatchStart hung = starter.startBatchFile(endless, BatchKind::Query);
        QVERIFY(hung.result.ok);
        QTest::qWait(500);
        QVERIFY(!starter.finishBatch(hung.id).ended.isEmpty());

        QVERIFY(!starter.startBatchFile(folder + "\\NONE.BAT", BatchKind::Stop).result.ok);
    }

    // cmd.exe's stderr, which the client inherits, and its exit code reach
    // finishBatch; the same batch as the stop command is told to the output
    // handler once it has ended.
    void batchErrorsAndExitCode() {
        const QString folder = QDir::toNativeSeparators(tmp_.path());
        const QString batch = folder + "\\ERR.BAT";
        QVERIFY(writeAll(batch, ("\"C:\\windows\\system32\\cmd.exe\" /d /c \"echo error: Could "
                                 "not connect to the server 127.0.0.1:8332 1>&2& exit 3\" > " +
                                 folder + "\\ERR.LOG\r\n")
                                    .toLocal8Bit()));
        WinProcessStarter starter;
        QStringList lines;
        starter.setOutputHandler(
            [&lines](const QString& from, const QString& line) { lines << from + ": " + line; });
        const BatchStart query = starter.startBatchFile(batch, BatchKind::Query);
        QVERIFY2(query.result.ok, qPrintable(query.result.error));
        QTest::qWait(3000); // it ends in well under a second
        const BatchEnd end = starter.finishBatch(query.id);
        QCOMPARE(end.ended, QString());
        QCOMPARE(end.exitStatus, std::optional<int>(3));
        QCOMPARE(end.errorOutput,
                 QByteArray("error: Could not connect to the server 127.0.0.1:8332 \r\n"));

        const BatchStart stop = starter.startBatchFile(batch, BatchKind::Stop);
        QVERIFY2(stop.result.ok, qPrintable(stop.result.error));
        const QStringList told{"stop command: stop command \"C:\\windows\\system32\\cmd.exe\" "
                               "exited with status 3 and said \"error: Could not connect to the "
                               "server 127.0.0.1:8332\""};
        QTRY_COMPARE_WITH_TIMEOUT(lines, told, Bound);
        QTest::qWait(200);
        QCOMPARE(lines, told); // once
    }

    // A program started directly: its output and exit code, ended after its
    // time, `done` once on the event loop.
    void runProgram_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QString>("error"); // part of the failure; empty: it succeeds
        QTest::addColumn<int>("status");    // -1: none
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("errors");
        QTest::addColumn<bool>("timedOut");
        QTest::newRow("output and exit code, a bare name")
            << "cmd" << QStringList{"/d", "/c", "echo hi"} << 10000 << "" << 0
            << QByteArray("hi\r\n") << QByteArray() << false;
        QTest::newRow("non-zero exit, words on stderr")
            << "cmd" << QStringList{"/d", "/c", "echo out& echo oops 1>&2& exit 3"} << 10000 << ""
            << 3 << QByteArray("out\r\n") << QByteArray("oops \r\n") << false;
        QTest::newRow("time up: ended") << "ping" << QStringList{"-n", "30", "127.0.0.1"} << 300
                                        << "was still running after 300 ms: ended" << -1
                                        << QByteArray() << QByteArray() << true;
        QTest::newRow("missing program")
            << "C:\\no-such-folder\\no-such.exe" << QStringList() << 10000 << "cannot start" << -1
            << QByteArray() << QByteArray() << false;
    }
    void runProgram() {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, timeoutMs);
        QFETCH(QString, error);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);
        QFETCH(bool, timedOut);
        WinProcessStarter starter;
        int calls = 0;
        ProgramRun run;
        starter.runProgram(program, arguments, timeoutMs, 1000, [&](const ProgramRun& ran) {
            ++calls;
            run = ran;
        });
        QCOMPARE(calls, 0); // never from inside runProgram
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, Bound);
        QVERIFY2(error.isEmpty() ? run.result.ok : run.result.error.contains(error),
                 qPrintable(run.result.error));
        QCOMPARE(run.exitStatus, status < 0 ? std::nullopt : std::optional<int>(status));
        if (!timedOut) // a ping ended early may or may not have said something
            QCOMPARE(run.output, output);
        QCOMPARE(run.errorOutput, errors);
        QCOMPARE(run.timedOut, timedOut);
        QTest::qWait(100);
        QCOMPARE(calls, 1);
    }

    // The starter goes while a program runs: it is ended, nobody is called.
    void programEndsWithTheStarter() {
        ToolhelpProcessTable table;
        const int before = table.countByImageName("ping.exe").value_or(-1);
        auto starter = std::make_unique<WinProcessStarter>();
        int calls = 0;
        starter->runProgram("ping", {"-n", "30", "127.0.0.1"}, 60000, 1000,
                            [&calls](const ProgramRun&) { ++calls; });
        QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName("ping.exe").value_or(-1), before + 1,
                                  Bound);
        starter.reset();
        QTRY_COMPARE_WITH_TIMEOUT(table.countByImageName("ping.exe").value_or(-1), before, Bound);
        QTest::qWait(200);
        QCOMPARE(calls, 0);
    }

    // A user or alert command runs once at a time: while the last one of a
    // purpose runs, the next start is refused; another purpose starts.
    void commandsOnceAtATime() {
        WinProcessStarter starter;
        const QString waits = "cmd.exe /d /c ping -n 4 127.0.0.1 > NUL";
        QVERIFY(starter.startUserCommand(waits, "user command").ok);
        QCOMPARE(starter.startUserCommand(waits, "user command").error,
                 "user command \"" + waits +
                     "\" is still running from the last time; not started again");
        QVERIFY(starter.startUserCommand(waits, "alert command").ok);
        QCOMPARE(starter.startUserCommand(" ", "alert command").error,
                 QString("alert command is empty"));
        // Once it has ended, it starts again (started once: QTRY asks more
        // than once).
        bool again = false;
        const auto startAgain = [&] {
            return again =
                       again || starter.startUserCommand("cmd.exe /d /c exit", "user command").ok;
        };
        QTRY_VERIFY_WITH_TIMEOUT(startAgain(), Bound);
    }

    void processTable() {
        ToolhelpProcessTable table;
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(table.countByImageName(self.toUpper()).value_or(0) >= 1);
        QCOMPARE(table.countByImageName("no-such-program.exe"), std::optional<int>(0));
        QCOMPARE(windowsExecutableName(), QString("test_windows_platform"));
    }

    void files() {
        WinFileSystem files;
        const QString path = QDir::toNativeSeparators(tmp_.filePath("external.txt"));
        QVERIFY(files.writeFile(path, "840123\r\n\r\n").ok);
        const FileRead read = files.readFile(path, 32767);
        QVERIFY(read.result.ok);
        QCOMPARE(read.bytes, QByteArray("840123\r\n\r\n"));
        QCOMPARE(files.stamp(path), read.stamp);
        QVERIFY(!files.readFile("NUL", 100).result.ok);
        QVERIFY(!files.readFile(QDir::toNativeSeparators(tmp_.path()), 100).result.ok);
    }

    // Ticks of the real top-most keeper over the real window system: the
    // other program's window, in front and top-most, leaves the band and the
    // main window enters it (WS_EX_TOPMOST on the main window only); one of
    // the program's own windows in front joins the band above the main
    // window, and leaves it before the other program's window, which ends
    // above it. The keeper never takes the foreground.
    void keeperPlacesTheMainWindowAfterATick() {
        if (QGuiApplication::platformName() != QLatin1String("windows"))
            QSKIP("needs real windows (the windows platform)");
        Win32WindowSystem windows;
        tw::test::TestRig rig(App, {.windows = &windows}); // "Always On Top" ticked by default
        tw::app::MainWindow& main = rig.start(true);
        const HWND other = otherProgramsWindow();
        QVERIFY(other);
        SetForegroundWindow(other);
        const WindowHandle own = windows.handleOf(&main);
        const WindowHandle theirs = reinterpret_cast<WindowHandle>(other);
        QTRY_COMPARE_WITH_TIMEOUT(windows.foregroundWindow(), theirs, Bound);
        windows.setTopMost(theirs, true); // the other program made itself top-most
        QVERIFY(win::isTopMost(theirs) && !win::isTopMost(own));
        rig.advance(1000);
        QVERIFY(win::isTopMost(own));
        QVERIFY(!win::isTopMost(theirs));
        QCOMPARE(windows.foregroundWindow(), theirs);

        QWidget history; // one of the program's own windows
        history.show();
        QVERIFY(QTest::qWaitForWindowExposed(&history));
        history.activateWindow();
        const WindowHandle ours = windows.handleOf(&history);
        QTRY_COMPARE_WITH_TIMEOUT(windows.foregroundWindow(), ours, Bound);
        rig.advance(1000);
        QVERIFY(win::isTopMost(ours) && win::isTopMost(own));
        QVERIFY(stacksAbove(ours, own));
        QCOMPARE(windows.foregroundWindow(), ours);

        SetForegroundWindow(other);
        QTRY_COMPARE_WITH_TIMEOUT(windows.foregroundWindow(), theirs, Bound);
        rig.advance(1000);
        QVERIFY(!win::isTopMost(ours) && !win::isTopMost(theirs) && win::isTopMost(own));
        QVERIFY(stacksAbove(theirs, ours));
        QCOMPARE(windows.foregroundWindow(), theirs);
        DestroyWindow(other);
    }
};

QTEST_MAIN(TestWindowsPlatform)
#include "tst_windows_platform.moc"
