// The settings window: its load, the command-line composer, Save To Registry,
// Save To .BAT Files and the top-most keeper's switches, over the fake platform
// and the virtual clock. The same over real processes (the demo node, and Xvfb
// with openbox) is in tst_settings_posix.cpp.

#include "app/Colours.h"
#include "health/HistoryWindow.h"
#include "settings/SettingsSaver.h"
#include "tests/support/TestRig.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

using namespace tw;
using settings::SettingsWindow;
using test::TestRig;

namespace {

template <typename... T> void row(const char* tag, const T&... values) {
    (QTest::newRow(tag) << ... << values);
}

std::unique_ptr<SettingsWindow> open(TestRig& rig, bool start = false) {
    if (start)
        rig.start();
    auto window = std::make_unique<SettingsWindow>(rig.window(), rig.services);
    window->show();
    return window;
}

// The three generated lines as shown: stop, block count, connection count.
QStringList lines(const SettingsWindow& w) {
    return {w.TWCLI_STOP_COMMAND_TEXTBOX->toPlainText(), w.TWCLI_GBC_COMMAND_TEXTBOX->toPlainText(),
            w.TWCLI_GCC_COMMAND_TEXTBOX->toPlainText()};
}

// "Daemon" and "Disabled" (1/0 ticked, e/g enabled or greyed), the daemon
// option, then the external-file, run-command and two executable-name boxes
// (e/g, w/r writable or locked, W/L window background or light grey).
QString state(const SettingsWindow& w) {
    QString s;
    for (const QCheckBox* box : {w.DASH_DAEMON_TICKBOX, w.DISABLE_DAEMON_TICKBOX})
        s += QString(box->isChecked() ? "1" : "0") + (box->isEnabled() ? "e " : "g ");
    s += '[' + w.DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->text() + ']';
    for (const QLineEdit* f : {w.UPDATE_EXTERNAL_FILE_TEXTBOX, w.RUN_COMMAND_TEXTBOX,
                               w.QT_EXE_TEXTBOX, w.DAEMON_EXE_TEXTBOX})
        s += QString(f->isEnabled() ? " e" : " g") + (f->isReadOnly() ? "r" : "w") +
             (app::background(f) == app::colour::LightGrey ? "L" : "W");
    return s;
}

const QStringList Ticks = {"DASH_DAEMON_TICKBOX", "DISABLE_DAEMON_TICKBOX",
                           "UPDATE_EXTERNAL_FILE_TICKBOX", "RUN_COMMAND_TICKBOX", "P4P_TICKBOX"};
const QStringList Texts = {
    "TW_CLI_UI_LOCATION", "CONF_LOCATION",        "CLI_LOCATION", "CLI_NAME",
    "RUN_COMMAND",        "UPDATE_EXTERNAL_FILE", "QT_EXE",       "DAEMON_EXE"};
// The five full paths (+ "_LOCATION_TEXTBOX") and their file names.
const QStringList Paths = {"CLI_STOP_BAT_FULL", "CLI_GBC_FULL_BAT", "CLI_GCC_FULL_BAT",
                           "CLI_GBC_FULL_LOG", "CLI_GCC_FULL_LOG"};
// The separator piece the window starts with, between a folder and a file
// name: the system's own ("/" here, "\\" on Windows).
const QString Separator = QDir::separator();
const QStringList Files = {"CLI-UI-STOP.BAT", "CLI-UI-GBC.BAT", "CLI-UI-GCC.BAT", "CLI-UI-GBC.LOG",
                           "CLI-UI-GCC.LOG"};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void load_data() {
        QTest::addColumn<QString>("stored"); // Ticks in order, '.' = absent
        QTest::addColumn<QString>("expected");
        row("empty store", ".....", "0e 0g [] grL grL grW grW");
        row("all 0", "00000", "0e 0g [] grL grL grW grW");
        row("Daemon", "10101", "1e 0e [ -daemon=1] ewW grL ewW ewW");
        row("Daemon, Disabled", "11010", "1g 1e [ -daemon=0] grL ewW grW grW");
        row("Disabled alone comes up clear", "01...", "0e 0g [] grL grL grW grW");
    }
    void load() {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        TestRig rig;
        for (int i = 0; i < Ticks.size(); ++i)
            if (stored[i] != '.')
                rig.store(Ticks[i], stored[i]);
        auto w = open(rig, true);
        QCOMPARE(state(*w), expected);
        // Cancel right away writes the position, nothing else.
        w->CLOSE_BUTTON->click();
        QCOMPARE(rig.settings.writtenKeys, QStringList({"SETTINGS-Left", "SETTINGS-Top"}));
        QCOMPARE(rig.stored("SETTINGS-Left"), "1000");
    }

    void captions_data() { // the tag names the control
        QTest::addColumn<QString>("text");
        row("TWCLI_STOP_COMMAND_LABEL", "!!! GENERATED RUN COMMAND -  CLI-UI-STOP.BAT  !!!");
        row("TWCLI_GBC_COMMAND_LABEL", "!!! GENERATED RUN COMMAND -  CLI-UI-GBC.BAT !!!");
        row("TWCLI_GCC_COMMAND_LABEL", "!!! GENERATED RUN COMMAND - CLI-UI-GCC.BAT !!!");
        row("QT_EXE_LABEL", "QT - \".exe\" FILENAME");
        row("Label1", "DAEMON -  \".exe\" FILENAME");
        row("P4P_TICKBOX", "\"Pause-4-Process\" - QT / DAEMON - Before Exit");
        row("TW_CLI_UI_FOLDER_LABEL", "TW-CLI-UI  FOLDER - eg C:\\TARN-WICK\\TW-CLI-UI\\BTC");
    }
    void captions() {
        QFETCH(QString, text);
        TestRig rig;
        QCOMPARE(open(rig, true)->findChild<QWidget*>(QTest::currentDataTag())->property("text"),
                 text);
    }

    void composer_data() {
        // Clicks (D = Daemon, X = Disabled)|separator|client folder|name|conf|TW-CLI-UI folder
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QStringList>("expected");
        row("example, Daemon",
            R"(D|\|C:\Program Files\Bitcoin\Daemon|bitcoin-cli.exe|C:\BC-CONF\BTC\bitcoin.conf|C:\TARN-WICK\TW-CLI-UI\BTC)",
            QStringList{
                R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=1 stop)",
                R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=1 getblockcount > C:\TARN-WICK\TW-CLI-UI\BTC\CLI-UI-GBC.LOG)",
                R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=1 getconnectioncount > C:\TARN-WICK\TW-CLI-UI\BTC\CLI-UI-GCC.LOG)"});
        row("Daemon, Disabled; folders end in the separator", R"(DX|\|C:\b c\|cli|C:\b.conf|C:\n\)",
            QStringList{
                R"(call "C:\b c\\cli" -conf=C:\b.conf -daemon=0 stop)",
                R"(call "C:\b c\\cli" -conf=C:\b.conf -daemon=0 getblockcount > C:\n\\CLI-UI-GBC.LOG)",
                R"(call "C:\b c\\cli" -conf=C:\b.conf -daemon=0 getconnectioncount > C:\n\\CLI-UI-GCC.LOG)"});
        // A path with a blank is quoted, or cmd.exe would split it; the
        // Linux runner splits quotes the same way.
        row("blanks in the configuration and TW-CLI-UI folders",
            R"(|\|C:\Program Files\B|cli.exe|C:\My Conf\b.conf|C:\TW Work\BTC A)",
            QStringList{
                R"(call "C:\Program Files\B\cli.exe" -conf="C:\My Conf\b.conf" stop)",
                R"(call "C:\Program Files\B\cli.exe" -conf="C:\My Conf\b.conf" getblockcount > "C:\TW Work\BTC A\CLI-UI-GBC.LOG")",
                R"(call "C:\Program Files\B\cli.exe" -conf="C:\My Conf\b.conf" getconnectioncount > "C:\TW Work\BTC A\CLI-UI-GCC.LOG")"});
        row("all empty, /", "|/||||",
            QStringList{R"(call "/" -conf= stop)",
                        R"(call "/" -conf= getblockcount > /CLI-UI-GBC.LOG)",
                        R"(call "/" -conf= getconnectioncount > /CLI-UI-GCC.LOG)"});
        row("all empty, \\", "|\\||||",
            QStringList{R"(call "\" -conf= stop)",
                        R"(call "\" -conf= getblockcount > \CLI-UI-GBC.LOG)",
                        R"(call "\" -conf= getconnectioncount > \CLI-UI-GCC.LOG)"});
    }
    void composer() {
        QFETCH(QString, fields);
        QFETCH(QStringList, expected);
        TestRig rig;
        auto w = open(rig, true);
        const QStringList f = fields.split('|');
        int i = 1;
        for (QLineEdit* box : {w->BACKSLASH_TEXTBOX, w->CLI_LOCATION_TEXTBOX, w->CLI_NAME_TEXTBOX,
                               w->CONF_LOCATION_TEXTBOX, w->TW_CLI_UI_LOCATION_TEXTBOX})
            box->setText(f[i++]);
        for (const QChar c : f[0])
            (c == 'D' ? w->DASH_DAEMON_TICKBOX : w->DISABLE_DAEMON_TICKBOX)->click();
        rig.advance(1000);
        QCOMPARE(lines(*w), expected);
    }

    // One opening edits, writes the batch files, saves and writes them again;
    // the next opening shows what was saved.
    void editSaveAndReopen() {
        TestRig rig;                // the main window's P-4-P comes up unticked
        for (int i = 0; i < 3; ++i) // where the main window runs the batch files
            rig.store(Paths[i] + "_LOCATION_TEXTBOX", "/run/" + Files[i]);
        auto w = open(rig, true);
        for (const QString& name : Texts)
            w->findChild<QLineEdit*>(name + "_TEXTBOX")->setText("/" + name);
        for (QCheckBox* box : {w->DASH_DAEMON_TICKBOX, w->DISABLE_DAEMON_TICKBOX,
                               w->RUN_COMMAND_TICKBOX, w->P4P_TICKBOX})
            box->click();
        rig.advance(1500);
        w->CALL_COMMAND_TEXTBOX->setText("exec ");
        rig.advance(500); // an edit shows within one tick
        QCOMPARE(w->BACKSLASH_TEXTBOX->text(), Separator);
        QVERIFY2(lines(*w)[1].startsWith("exec \"/CLI_LOCATION" + Separator + "/CLI_NAME\""),
                 qPrintable(lines(*w)[1]));
        rig.files.unwritable.insert("/run/CLI-UI-GBC.BAT");
        w->SAVE_BATS_BUTTON->click();
        QCOMPARE(rig.files.writes, QStringList({"/run/CLI-UI-STOP.BAT", "/run/CLI-UI-GCC.BAT"}));
        QCOMPARE(rig.diagnostics.failureCount(), 1);
        const QString help = "FOR MULTIPLE CONFIGURATIONS, COPY TO A NEW FOLDER AND NEW FILENAME, "
                             "RUN, AND CONFIGURE.";
        QLabel* outcome = w->EXE_FILENAME_HELP_LABEL;
        QVERIFY2(outcome->text().startsWith("NOT ALL WRITTEN: block-count batch file "
                                            "/run/CLI-UI-GBC.BAT not written"),
                 qPrintable(outcome->text()));
        QCOMPARE(app::background(outcome), app::colour::Yellow);
        w->SAVE_REGISTRY_BUTTON->click();
        QCOMPARE(w->CLOSE_BUTTON->text(), "Close");
        QCOMPARE(rig.stored("P4P_TICKBOX"), "1");
        for (int i = 0; i < Paths.size(); ++i) { // alike in both windows and the store
            const QString name = Paths[i] + "_LOCATION_TEXTBOX",
                          path = "/TW_CLI_UI_LOCATION" + Separator + Files[i];
            QCOMPARE(w->findChild<QLineEdit*>(name)->text(), path);
            QCOMPARE(rig.window().findChild<QLineEdit*>(name, Qt::FindDirectChildrenOnly)->text(),
                     path);
            QCOMPARE(rig.stored(name), path);
        }
        w->SAVE_BATS_BUTTON
            ->click(); // after a save: the saved paths, each the line shown and CR LF
        for (int i = 0; i < 3; ++i)
            QCOMPARE(rig.files.files.value("/TW_CLI_UI_LOCATION" + Separator + Files[i]),
                     lines(*w)[i].toLocal8Bit() + "\r\n");
        QCOMPARE(outcome->text(), help); // all written: the help is back
        QCOMPARE(app::background(outcome), app::colour::Green);
        QVERIFY(outcome->toolTip().isEmpty());
        w->CLOSE_BUTTON->click();

        w = open(rig);
        QCOMPARE(state(*w), "1g 1e [ -daemon=0] grL ewW ewW ewW");
        for (const QString& name : Texts)
            QCOMPARE(w->findChild<QLineEdit*>(name + "_TEXTBOX")->text(), "/" + name);
        QCOMPARE(w->CLOSE_BUTTON->text(), "Cancel");
        rig.advance(1000); // the edited fixed piece is forgotten
        QVERIFY(lines(*w)[1].startsWith("call "));
        w->CLOSE_BUTTON->click();
        rig.window().close();
        // The main window's own P-4-P, left unticked, is what the store keeps.
        QCOMPARE(rig.stored("P4P_TICKBOX"), "0");
        for (const char* key : {"SETTINGS-Width", "SETTINGS-Height", "MainWidth", "MainHeight"})
            QVERIFY2(!rig.settings.writtenKeys.contains(key), key);
    }

    void failuresAreReported() {
        TestRig rig;
        auto w = open(rig, true);
        w->SAVE_BATS_BUTTON->click(); // no folder, nothing saved: no path to write to
        QCOMPARE(rig.diagnostics.failureCount(), 3);
        // Said in the window, not only in the diagnostics.
        QCOMPARE(w->EXE_FILENAME_HELP_LABEL->text(),
                 "NOTHING WRITTEN: FILL IN THE TW-CLI-UI FOLDER, THEN SAVE TO .BAT FILES AGAIN.");
        QCOMPARE(w->EXE_FILENAME_HELP_LABEL->toolTip().count("no path"), 3);
        // The store refuses the save (one write for all its values): nothing
        // is saved, the button says so, and the main window still uses the
        // values until it closes.
        w->CLI_NAME_TEXTBOX->setText("cli");
        rig.settings.failWrites = true;
        const int writes = rig.settings.writeCalls;
        w->SAVE_REGISTRY_BUTTON->click();
        QCOMPARE(rig.settings.writeCalls, writes + 1);
        QVERIFY(!rig.stored("CLI_NAME_TEXTBOX"));
        QCOMPARE(rig.window().CLI_NAME_TEXTBOX->text(), "cli");
        QCOMPARE(rig.window().CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->text(),
                 Separator + "CLI-UI-GBC.LOG");
        QVERIFY(rig.diagnostics.isReported(settings::SettingsSaver::SaveFailure));
        QVERIFY(w->SAVE_REGISTRY_BUTTON->toolTip().contains("not all saved"));
    }

    // Fields that show defaults because the store could not be read when the
    // window opened are never saved over the user's values.
    void unreadableStoreIsNotWrittenOver() {
        TestRig rig;
        rig.store("CLI_NAME_TEXTBOX", "bitcoin-cli");
        rig.start();
        rig.settings.unreadable = "permission denied";
        auto w = open(rig);
        QCOMPARE(w->CLI_NAME_TEXTBOX->text(), "");
        w->CLI_NAME_TEXTBOX->setText("other-cli");
        w->SAVE_REGISTRY_BUTTON->click();
        w->CLOSE_BUTTON->click();
        rig.settings.unreadable.clear();
        QCOMPARE(rig.settings.writtenKeys, QStringList());
        QCOMPARE(rig.stored("CLI_NAME_TEXTBOX"), "bitcoin-cli");
        QVERIFY(rig.diagnostics.isReported(settings::SettingsSaver::SaveFailure));
        QVERIFY2(rig.diagnostics.lastFailure().contains("SETTINGS-Left") &&
                     !rig.diagnostics.lastFailure().contains("other-cli"),
                 qPrintable(rig.diagnostics.lastFailure()));
        // Readable again: the next opening saves.
        w = open(rig);
        w->SAVE_REGISTRY_BUTTON->click();
        QVERIFY(rig.settings.writtenKeys.contains("CLI_NAME_TEXTBOX"));
        QVERIFY(!rig.diagnostics.isReported(settings::SettingsSaver::SaveFailure));
    }

    // Escape and Enter are no way to lose the edits: only Cancel/Close and
    // the window's own close command close the window.
    void keysDoNotCloseTheWindow() {
        TestRig rig;
        auto w = open(rig, true);
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->activateWindow();
        w->CLI_NAME_TEXTBOX->setFocus();
        QTest::keyClicks(w->CLI_NAME_TEXTBOX, "edited");
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(w->CLI_NAME_TEXTBOX, key);
            QTest::keyClick(w.get(), key);
        }
        QVERIFY(w->isVisible());
        QCOMPARE(w->CLI_NAME_TEXTBOX->text(), "edited");
        QCOMPARE(rig.settings.writtenKeys, QStringList());
        w->close(); // the window's own close command
        QVERIFY(!w->isVisible());
        QCOMPARE(rig.settings.writtenKeys, QStringList({"SETTINGS-Left", "SETTINGS-Top"}));
    }

    // Tab walks the window as it stands, from the top down and each row from
    // the left, from the first field, which has the focus when the window
    // opens; the generated command lines (read-only) and the lower band
    // (below the window's edge until it is enlarged) are not on the way.
    void tabWalksTheWindowInOrder_data() {
        QTest::addColumn<QString>("stored"); // Ticks in order, '.' = absent
        QTest::addColumn<bool>("enlarged");
        QTest::addColumn<QStringList>("walk");
        const QStringList top = {"TW_CLI_UI_LOCATION_TEXTBOX", "CLI_LOCATION_TEXTBOX",
                                 "DASH_DAEMON_TICKBOX", "CONF_LOCATION_TEXTBOX",
                                 "CLI_NAME_TEXTBOX"};
        const QStringList buttons = {"SAVE_REGISTRY_BUTTON", "SAVE_BATS_BUTTON",
                                     "AlwaysOnTopTimer_TICKBOX", "CLOSE_BUTTON"};
        const QStringList all =
            top + QStringList{"DISABLE_DAEMON_TICKBOX", "UPDATE_EXTERNAL_FILE_TICKBOX",
                              "RUN_COMMAND_TICKBOX",    "UPDATE_EXTERNAL_FILE_TEXTBOX",
                              "RUN_COMMAND_TEXTBOX",    "P4P_TICKBOX",
                              "QT_EXE_TEXTBOX",         "DAEMON_EXE_TEXTBOX"} +
            buttons;
        QStringList lower = {"BACKSLASH_TEXTBOX",
                             "SPACEBAR_TEXTBOX",
                             "SM_TB",
                             "CALL_COMMAND_TEXTBOX",
                             "DASH_CONF_TEXTBOX",
                             "STOP_CMD_TEXTBOX",
                             "GBC_ARROW_TEXTBOX",
                             "GCC_ARROW_TEXTBOX",
                             "DASH_DISABLE_DAEMON_EQUALS_TEXTBOX",
                             "CLI_STOP_BAT_FILENAME_TEXTBOX",
                             "CLI_GBC_BAT_FILENAME_TEXTBOX",
                             "CLI_GCC_BAT_FILENAME_TEXTBOX",
                             "CLI_UI_GBC_LOG_TEXTBOX",
                             "CLI_UI_GCC_LOG_TEXTBOX"};
        for (const QString& path : Paths)
            lower << path + "_LOCATION_TEXTBOX";
        row("empty store", ".....", false,
            top +
                QStringList{"UPDATE_EXTERNAL_FILE_TICKBOX", "RUN_COMMAND_TICKBOX", "P4P_TICKBOX"} +
                buttons);
        row("every field open", "10111", false, all);
        row("enlarged: the lower band too", "10111", true, all + lower);
    }
    void tabWalksTheWindowInOrder() {
        QFETCH(QString, stored);
        QFETCH(bool, enlarged);
        QFETCH(QStringList, walk);
        TestRig rig;
        for (int i = 0; i < Ticks.size(); ++i)
            if (stored[i] != '.')
                rig.store(Ticks[i], stored[i]);
        auto w = open(rig, true);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        if (enlarged)
            w->resize(w->maximumSize());
        QStringList walked;
        QWidget* const first = QApplication::focusWidget();
        for (QWidget* at = first; at && walked.size() < 100; at = QApplication::focusWidget()) {
            walked << at->objectName();
            QTest::keyClick(at, Qt::Key_Tab);
            if (QApplication::focusWidget() == first)
                break;
        }
        QCOMPARE(walked, walk);
    }

    // Enter and the keypad's Enter press the focused button; on anything
    // else they do nothing, and never close the window.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<bool>("stillOpen");
        row("Cancel, Return", "CLOSE_BUTTON", int(Qt::Key_Return), 1, false);
        row("Save To .BAT Files, Enter", "SAVE_BATS_BUTTON", int(Qt::Key_Enter), 1, true);
        row("a tick box, Return", "DASH_DAEMON_TICKBOX", int(Qt::Key_Return), 0, true);
        row("a tick box, Enter", "P4P_TICKBOX", int(Qt::Key_Enter), 0, true);
    }
    void enterPressesTheFocusedButton() {
        QFETCH(QString, control);
        QFETCH(int, key);
        QFETCH(int, clicks);
        QFETCH(bool, stillOpen);
        TestRig rig;
        auto w = open(rig, true);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        auto* focused = w->findChild<QAbstractButton*>(control);
        focused->setFocus();
        QCOMPARE(QApplication::focusWidget(), focused);
        const bool ticked = focused->isChecked();
        QSignalSpy spy(focused, &QAbstractButton::clicked);
        QTest::keyClick(focused, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(spy.count(), clicks);
        QCOMPARE(w->isVisible(), stillOpen);
        QCOMPARE(focused->isChecked(), ticked);
    }

    void keeper_data() {
        // Steps: main/other = the window in front, 1s = a second, store0 =
        // the store says off, open = (re)open the settings window and show its
        // tick, tickS/tickM = click the settings or the main window's tick
        // box, history/settings = the program's history window (shown) or
        // the settings window in front, closeH = close the history window.
        // Then the keeper's calls: the window and in (+) or out (-), then
        // the windows it placed below another (<).
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");
        row("another in front", "other 1s 1s main 1s 1s", "other- main+ other- main+");
        row("settings tick box", "other open tickS 1s 1s tickS 1s", "[x] other- main+");
        row("stored 0 at load", "other store0 open 1s 1s", "[ ]");
        row("reopened: ticked, still off", "other open tickS open 1s 1s", "[x] [x]");
        row("main window's tick box", "other tickM 1s 1s tickM 1s", "other- main+");
        // The program's own windows are never taken out of the band; one the
        // main window does not own joins it while in front, and leaves it,
        // to just below another program's window, when that comes to the
        // front.
        row("own window in front", "history 1s 1s other 1s 1s",
            "history+ history- other- main+ other- main+ history<other");
        row("own window, then the main window", "history 1s main 1s 1s other 1s",
            "history+ history- other- main+ history<other");
        row("own window closed", "history 1s closeH other 1s", "history+ other- main+");
        row("settings window (owned) in front", "open settings 1s 1s other 1s", "[x] other- main+");
    }
    void keeper() {
        QFETCH(QString, steps);
        QFETCH(QString, expected);
        TestRig rig;
        rig.start();
        const platform::WindowHandle own = rig.windows.handleOf(&rig.window());
        std::unique_ptr<SettingsWindow> w;
        QWidget* history = nullptr;
        platform::WindowHandle historyHandle = 0;
        QStringList seen;
        for (const QString& step : steps.split(' ')) {
            if (step == "main" || step == "other")
                rig.windows.foreground = step == "main" ? own : 0x4242;
            if (step == "history")
                rig.windows.foreground = historyHandle =
                    rig.windows.handleOf(history = rig.panel().health().showHistory());
            if (step == "settings")
                rig.windows.foreground = rig.windows.handleOf(w.get());
            if (step == "closeH")
                history->close();
            if (step == "1s")
                rig.advance(1000);
            if (step == "store0")
                rig.store("AlwaysOnTopTimer_TICKBOX", "0");
            if (step == "open")
                seen << ((w = open(rig))->AlwaysOnTopTimer_TICKBOX->isChecked() ? "[x]" : "[ ]");
            if (step.startsWith("tick"))
                (step == "tickS" ? w->AlwaysOnTopTimer_TICKBOX
                                 : rig.window().AlwaysOnTopTimer_TICKBOX)
                    ->click();
        }
        const auto name = [&](platform::WindowHandle window) {
            return window == own             ? "main"
                   : window == historyHandle ? "history"
                   : window == 0x4242        ? "other"
                                             : "?";
        };
        for (const auto& [window, on] : rig.windows.calls)
            seen << name(window) + QString(on ? "+" : "-");
        for (const auto& [window, sibling] : rig.windows.placedBelow)
            seen << name(window) + QString("<") + name(sibling);
        QCOMPARE(seen.join(' '), expected);
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
