// Save To Registry: the store, the five composed paths, the values pushed
// into the main window.

#include "app/Diagnostics.h"
#include "app/WindowTimer.h"
#include "settings/SettingsSaver.h"
#include "tests/settings/SettingsFixture.h"

using tw::settings::SettingsWindow;
using tw::test::TestRig;

namespace {

const QStringList FullPaths = {
    "CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", "CLI_GBC_FULL_BAT_LOCATION_TEXTBOX",
    "CLI_GCC_FULL_BAT_LOCATION_TEXTBOX", "CLI_GBC_FULL_LOG_LOCATION_TEXTBOX",
    "CLI_GCC_FULL_LOG_LOCATION_TEXTBOX"};

// What a save writes, in its order.
const QStringList SavedKeys = {"SETTINGS-Left",
                               "SETTINGS-Top",
                               "TW_CLI_UI_LOCATION_TEXTBOX",
                               "CONF_LOCATION_TEXTBOX",
                               "CLI_LOCATION_TEXTBOX",
                               "CLI_NAME_TEXTBOX",
                               "DASH_DAEMON_TICKBOX",
                               "DISABLE_DAEMON_TICKBOX",
                               "UPDATE_EXTERNAL_FILE_TICKBOX",
                               "RUN_COMMAND_TICKBOX",
                               "RUN_COMMAND_TEXTBOX",
                               "UPDATE_EXTERNAL_FILE_TEXTBOX",
                               "AlwaysOnTopTimer_TICKBOX",
                               "P4P_TICKBOX",
                               "QT_EXE_TEXTBOX",
                               "DAEMON_EXE_TEXTBOX",
                               "CLI_STOP_BAT_FULL_LOCATION_TEXTBOX",
                               "CLI_GBC_FULL_BAT_LOCATION_TEXTBOX",
                               "CLI_GCC_FULL_BAT_LOCATION_TEXTBOX",
                               "CLI_GBC_FULL_LOG_LOCATION_TEXTBOX",
                               "CLI_GCC_FULL_LOG_LOCATION_TEXTBOX"};

QLineEdit* mainField(TestRig& rig, const QString& name) {
    // The main window's own field, not the settings window's of that name.
    for (QLineEdit* field : rig.window().findChildren<QLineEdit*>(name, Qt::FindDirectChildrenOnly))
        return field;
    return nullptr;
}

// A store that refuses one key.
class RefusingBackend final : public tw::platform::SettingsBackend {
public:
    explicit RefusingBackend(QString refused) : refused_(std::move(refused)) {}
    std::optional<QString> read(const QString& a, const QString& s, const QString& k) override {
        return inner.read(a, s, k);
    }
    tw::platform::Result write(const QString& a, const QString& s, const QString& k,
                               const QString& v) override {
        if (k == refused_)
            return tw::platform::Result::failure(QStringLiteral("disk full"));
        return inner.write(a, s, k, v);
    }
    QString location() const override { return QStringLiteral("test store"); }
    tw::test::FakeSettingsBackend inner;

private:
    QString refused_;
};

} // namespace

class TestSaveSettings : public QObject {
    Q_OBJECT

private slots:
    void fivePathsAlikeInBothWindowsAndTheStore_data();
    void fivePathsAlikeInBothWindowsAndTheStore();
    void everyEntryIsStoredInOrder();
    void valuesPushedIntoTheMainWindow_data();
    void valuesPushedIntoTheMainWindow();
    void nothingElseHappens();
    void twoSavesInARow();
    void mainWindowsP4PIsWhatTheStoreKeeps_data();
    void mainWindowsP4PIsWhatTheStoreKeeps();
    void widthAndHeightAreNeverWritten();
    void aFailedStoreWriteIsReported();
    void aFailureInTheMiddleOfASaveIsReported();
    void theMainWindowUsesTheSavedValuesAtItsNextQueryAndWatch();
};

void TestSaveSettings::fivePathsAlikeInBothWindowsAndTheStore_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("paths");

    QTest::newRow("C:\\N") << "\\"
                           << "C:\\N"
                           << QStringList{"C:\\N\\CLI-UI-STOP.BAT", "C:\\N\\CLI-UI-GBC.BAT",
                                          "C:\\N\\CLI-UI-GCC.BAT", "C:\\N\\CLI-UI-GBC.LOG",
                                          "C:\\N\\CLI-UI-GCC.LOG"};
    QTest::newRow("/srv/n") << "/"
                            << "/srv/n"
                            << QStringList{"/srv/n/CLI-UI-STOP.BAT", "/srv/n/CLI-UI-GBC.BAT",
                                           "/srv/n/CLI-UI-GCC.BAT", "/srv/n/CLI-UI-GBC.LOG",
                                           "/srv/n/CLI-UI-GCC.LOG"};
    QTest::newRow("doubled separator")
        << "\\"
        << "C:\\N\\"
        << QStringList{"C:\\N\\\\CLI-UI-STOP.BAT", "C:\\N\\\\CLI-UI-GBC.BAT",
                       "C:\\N\\\\CLI-UI-GCC.BAT", "C:\\N\\\\CLI-UI-GBC.LOG",
                       "C:\\N\\\\CLI-UI-GCC.LOG"};
    QTest::newRow("empty folder") << "\\"
                                  << ""
                                  << QStringList{"\\CLI-UI-STOP.BAT", "\\CLI-UI-GBC.BAT",
                                                 "\\CLI-UI-GCC.BAT", "\\CLI-UI-GBC.LOG",
                                                 "\\CLI-UI-GCC.LOG"};
}

void TestSaveSettings::fivePathsAlikeInBothWindowsAndTheStore() {
    QFETCH(QString, separator);
    QFETCH(QString, folder);
    QFETCH(QStringList, paths);

    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    window->BACKSLASH_TEXTBOX->setText(separator);
    window->TW_CLI_UI_LOCATION_TEXTBOX->setText(folder);
    window->SAVE_REGISTRY_BUTTON->click();

    for (int i = 0; i < FullPaths.size(); ++i) {
        const QString& name = FullPaths.at(i);
        QCOMPARE(window->findChild<QLineEdit*>(name)->text(), paths.at(i));
        QCOMPARE(mainField(rig, name)->text(), paths.at(i));
        QCOMPARE(rig.stored(name), paths.at(i));
    }
    QCOMPARE(window->CLOSE_BUTTON->text(), QStringLiteral("Close"));
}

void TestSaveSettings::everyEntryIsStoredInOrder() {
    TestRig rig;
    rig.store("SETTINGS-Left", "3000");
    rig.store("SETTINGS-Top", "1500");
    rig.start();
    const auto window = tw::test::openSettings(rig);
    SettingsWindow& w = *window;
    w.TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/srv/n"));
    w.CONF_LOCATION_TEXTBOX->setText(QStringLiteral("/etc/b.conf"));
    w.CLI_LOCATION_TEXTBOX->setText(QStringLiteral("/usr/bin"));
    w.CLI_NAME_TEXTBOX->setText(QStringLiteral("bitcoin-cli"));
    QTest::mouseClick(w.DASH_DAEMON_TICKBOX, Qt::LeftButton);
    QTest::mouseClick(w.RUN_COMMAND_TICKBOX, Qt::LeftButton);
    w.RUN_COMMAND_TEXTBOX->setText(QStringLiteral("echo \"block\" >> /tmp/b"));
    w.UPDATE_EXTERNAL_FILE_TEXTBOX->setText(QStringLiteral("kept, though unticked"));
    QTest::mouseClick(w.AlwaysOnTopTimer_TICKBOX, Qt::LeftButton);
    QTest::mouseClick(w.P4P_TICKBOX, Qt::LeftButton);
    w.QT_EXE_TEXTBOX->setText(QStringLiteral("bitcoin-qt"));
    w.DAEMON_EXE_TEXTBOX->setText(QStringLiteral("bitcoind"));
    w.move(400, 200);
    rig.settings.writtenKeys.clear();

    w.SAVE_REGISTRY_BUTTON->click();

    QCOMPARE(rig.settings.writtenKeys, SavedKeys);
    const QStringList values = {"6000",
                                "3000",
                                "/srv/n",
                                "/etc/b.conf",
                                "/usr/bin",
                                "bitcoin-cli",
                                "1",
                                "0",
                                "0",
                                "1",
                                "echo \"block\" >> /tmp/b",
                                "kept, though unticked",
                                "0",
                                "1",
                                "bitcoin-qt",
                                "bitcoind",
                                "/srv/n/CLI-UI-STOP.BAT",
                                "/srv/n/CLI-UI-GBC.BAT",
                                "/srv/n/CLI-UI-GCC.BAT",
                                "/srv/n/CLI-UI-GBC.LOG",
                                "/srv/n/CLI-UI-GCC.LOG"};
    for (int i = 0; i < SavedKeys.size(); ++i)
        QCOMPARE(rig.stored(SavedKeys.at(i)), values.at(i));
}

void TestSaveSettings::valuesPushedIntoTheMainWindow_data() {
    QTest::addColumn<bool>("update");
    QTest::addColumn<bool>("run");
    QTest::newRow("both actions ticked") << true << true;
    QTest::newRow("external file only") << true << false;
    QTest::newRow("neither: texts pushed all the same") << false << false;
}

void TestSaveSettings::valuesPushedIntoTheMainWindow() {
    QFETCH(bool, update);
    QFETCH(bool, run);

    TestRig rig;
    // The main window starts with other values, the settings window with
    // the opposite ticks.
    rig.store("UPDATE_EXTERNAL_FILE_TICKBOX", update ? "0" : "1");
    rig.store("RUN_COMMAND_TICKBOX", run ? "0" : "1");
    rig.store("UPDATE_EXTERNAL_FILE_TEXTBOX", "/old/file");
    rig.store("RUN_COMMAND_TEXTBOX", "old command");
    rig.store("CLI_NAME_TEXTBOX", "old-cli");
    rig.start();
    const auto window = tw::test::openSettings(rig);
    SettingsWindow& w = *window;
    if (w.UPDATE_EXTERNAL_FILE_TICKBOX->isChecked() != update)
        QTest::mouseClick(w.UPDATE_EXTERNAL_FILE_TICKBOX, Qt::LeftButton);
    if (w.RUN_COMMAND_TICKBOX->isChecked() != run)
        QTest::mouseClick(w.RUN_COMMAND_TICKBOX, Qt::LeftButton);
    w.UPDATE_EXTERNAL_FILE_TEXTBOX->setText(QStringLiteral("/var/www/block.txt"));
    w.RUN_COMMAND_TEXTBOX->setText(QStringLiteral("notify-send new block"));
    w.CLI_NAME_TEXTBOX->setText(QStringLiteral("new-cli"));
    w.QT_EXE_TEXTBOX->setText(QStringLiteral("wallet-qt"));
    w.DAEMON_EXE_TEXTBOX->setText(QStringLiteral("walletd"));
    w.TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/n"));

    w.SAVE_REGISTRY_BUTTON->click();

    tw::app::MainWindow& main = rig.window();
    QCOMPARE(main.UPDATE_EXTERNAL_FILE_TICKBOX->isChecked(), update);
    QCOMPARE(main.RUN_COMMAND_TICKBOX->isChecked(), run);
    QCOMPARE(main.UPDATE_EXTERNAL_FILE_TEXTBOX->text(), QStringLiteral("/var/www/block.txt"));
    QCOMPARE(main.RUN_COMMAND_TEXTBOX->text(), QStringLiteral("notify-send new block"));
    QCOMPARE(main.CLI_NAME_TEXTBOX->text(), QStringLiteral("new-cli"));
    QCOMPARE(main.QT_EXE_TEXTBOX->text(), QStringLiteral("wallet-qt"));
    QCOMPARE(main.DAEMON_EXE_TEXTBOX->text(), QStringLiteral("walletd"));
    QCOMPARE(main.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->text(), QStringLiteral("/n/CLI-UI-GBC.LOG"));
}

void TestSaveSettings::nothingElseHappens() {
    TestRig rig;
    rig.store("CLI_GBC_BAT_TICKBOX", "1"); // the 60-second loop runs
    rig.start();
    const auto window = tw::test::openSettings(rig);
    tw::app::MainWindow& main = rig.window();
    const QList<tw::app::WindowTimer*> timers = {main.AlwaysOnTopTimer,
                                                 main.COUNTDOWN_TIMER,
                                                 main.CLI_PROCESS_WATCHER_TIMER,
                                                 main.GETBLOCKCOUNT_COMMAND_TIMER,
                                                 main.GETCONNECTIONCOUNT_COMMAND_TIMER,
                                                 main.UNLOAD_TIMER,
                                                 main.GET_LOOP_TIMER,
                                                 main.P4P_END_TIMER};
    QList<bool> running;
    for (auto* timer : timers)
        running.append(timer->isRunning());
    const bool mainP4P = main.P4P_TICKBOX->isChecked();
    QTest::mouseClick(window->P4P_TICKBOX, Qt::LeftButton);
    window->TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/n"));

    window->SAVE_REGISTRY_BUTTON->click();

    for (int i = 0; i < timers.size(); ++i)
        QCOMPARE(timers.at(i)->isRunning(), running.at(i));
    QCOMPARE(main.P4P_TICKBOX->isChecked(), mainP4P);
    QVERIFY(window->isVisible());
    QVERIFY(window->CLI_GBC_BAT_COMMAND_TIMER->isRunning());
    QCOMPARE(rig.files.writes, QStringList());
    QCOMPARE(rig.starter.starts.size(), 0);
    // The main window's mirror of the folder does not exist: the folder
    // reaches it only through the paths.
    QVERIFY(!mainField(rig, QStringLiteral("TW_CLI_UI_LOCATION_TEXTBOX")));
}

void TestSaveSettings::twoSavesInARow() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    window->TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/n"));
    rig.settings.writtenKeys.clear();
    window->SAVE_REGISTRY_BUTTON->click();
    const QStringList first = rig.settings.writtenKeys;
    QStringList values;
    for (const QString& key : first)
        values.append(*rig.stored(key));
    rig.settings.writtenKeys.clear();
    window->SAVE_REGISTRY_BUTTON->click();
    QCOMPARE(rig.settings.writtenKeys, first);
    for (int i = 0; i < first.size(); ++i)
        QCOMPARE(*rig.stored(first.at(i)), values.at(i));
    QCOMPARE(window->CLOSE_BUTTON->text(), QStringLiteral("Close"));
}

void TestSaveSettings::mainWindowsP4PIsWhatTheStoreKeeps_data() {
    QTest::addColumn<bool>("mainTicked");
    QTest::addColumn<bool>("settingsTicked");
    QTest::newRow("saved ticked, main clear") << false << true;
    QTest::newRow("saved clear, main ticked") << true << false;
}

void TestSaveSettings::mainWindowsP4PIsWhatTheStoreKeeps() {
    QFETCH(bool, mainTicked);
    QFETCH(bool, settingsTicked);

    TestRig rig;
    rig.store("P4P_TICKBOX", mainTicked ? "1" : "0");
    rig.start();
    QCOMPARE(rig.window().P4P_TICKBOX->isChecked(), mainTicked);
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        QTest::mouseClick(w.P4P_TICKBOX, Qt::LeftButton);
        w.SAVE_REGISTRY_BUTTON->click();
        w.CLOSE_BUTTON->click();
    }));
    QCOMPARE(rig.stored("P4P_TICKBOX"), QString(settingsTicked ? "1" : "0"));
    rig.window().close();
    QCOMPARE(rig.stored("P4P_TICKBOX"), QString(mainTicked ? "1" : "0"));
}

void TestSaveSettings::widthAndHeightAreNeverWritten() {
    TestRig rig;
    rig.start();
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        w.resize(w.width() + 150, w.height() + 300);
        w.SAVE_REGISTRY_BUTTON->click();
        w.SAVE_BATS_BUTTON->click();
        w.close();
    }));
    rig.window().close();
    for (const char* key : {"SETTINGS-Width", "SETTINGS-Height", "MainWidth", "MainHeight"}) {
        QVERIFY2(!rig.settings.writtenKeys.contains(key), key);
        QVERIFY2(!rig.stored(key), key);
    }
    QVERIFY(rig.settings.writtenKeys.contains("SETTINGS-Left"));
}

void TestSaveSettings::aFailedStoreWriteIsReported() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    window->TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/n"));
    rig.settings.failWrites = true;
    window->SAVE_REGISTRY_BUTTON->click();

    QVERIFY(rig.diagnostics.isReported(QStringLiteral("store")));
    QVERIFY(rig.diagnostics.isReported(tw::settings::SettingsSaver::SaveFailure));
    QVERIFY(!window->SAVE_REGISTRY_BUTTON->toolTip().isEmpty());
    // The save goes on to its end: the main window works with the values.
    QCOMPARE(rig.window().CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->text(),
             QStringLiteral("/n/CLI-UI-GBC.BAT"));
    QCOMPARE(window->CLOSE_BUTTON->text(), QStringLiteral("Close"));
    QVERIFY(!rig.stored("TW_CLI_UI_LOCATION_TEXTBOX"));

    // Once the store takes the writes again, the report is cleared.
    rig.settings.failWrites = false;
    window->SAVE_REGISTRY_BUTTON->click();
    QVERIFY(!rig.diagnostics.isReported(tw::settings::SettingsSaver::SaveFailure));
    QCOMPARE(window->SAVE_REGISTRY_BUTTON->toolTip(), QString());
    QCOMPARE(rig.stored("TW_CLI_UI_LOCATION_TEXTBOX"), QStringLiteral("/n"));
}

void TestSaveSettings::aFailureInTheMiddleOfASaveIsReported() {
    TestRig rig; // clock, fakes and diagnostics; the store is this test's own
    RefusingBackend backend(QStringLiteral("RUN_COMMAND_TEXTBOX"));
    tw::platform::Platform platform{rig.clock, backend,     rig.starter, rig.processes,
                                    rig.files, rig.windows, rig.section, QString()};
    tw::app::SettingsStore store(backend, rig.section, &rig.diagnostics);
    const tw::app::Services services{platform, rig.scheduler, store, rig.diagnostics};
    tw::app::MainWindow main(services);
    main.load();
    {
        SettingsWindow window(main, services);
        window.TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/n"));
        window.SAVE_REGISTRY_BUTTON->click();
        // The writes after the refused one worked, and the store's own
        // report is cleared by them; the save still says it failed.
        QVERIFY(!rig.diagnostics.isReported(QStringLiteral("store")));
        QVERIFY(rig.diagnostics.isReported(tw::settings::SettingsSaver::SaveFailure));
        QVERIFY(rig.diagnostics.lastFailure().contains(QStringLiteral("test store")));
        QCOMPARE(
            backend.inner.get(rig.section, QStringLiteral("CLI_GCC_FULL_LOG_LOCATION_TEXTBOX")),
            QStringLiteral("/n/CLI-UI-GCC.LOG"));
        QVERIFY(!backend.inner.get(rig.section, QStringLiteral("RUN_COMMAND_TEXTBOX")));
    }
    rig.scheduler.stopAll();
}

void TestSaveSettings::theMainWindowUsesTheSavedValuesAtItsNextQueryAndWatch() {
    TestRig rig;
    rig.store("CLI_GBC_FULL_BAT_LOCATION_TEXTBOX", "/old/CLI-UI-GBC.BAT");
    rig.store("CLI_GBC_FULL_LOG_LOCATION_TEXTBOX", "/old/CLI-UI-GBC.LOG");
    rig.store("CLI_NAME_TEXTBOX", "old-cli");
    rig.start();
    rig.files.files.insert("/old/CLI-UI-GBC.LOG", "111\r\n");
    rig.files.files.insert("/new/CLI-UI-GBC.LOG", "840123\r\n");
    rig.processes.setRunning("new-cli");
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        w.TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/new"));
        w.CLI_NAME_TEXTBOX->setText(QStringLiteral("new-cli"));
        w.SAVE_REGISTRY_BUTTON->click();
        w.CLOSE_BUTTON->click();
    }));

    // The watcher's next tick looks for the new client.
    rig.advance(1000);
    QCOMPARE(rig.processes.queries.last(), QStringLiteral("new-cli"));
    // The next block-count query runs the new batch file and reads the new
    // log, whether or not the batch file was written there.
    rig.processes.setRunning("new-cli", 0);
    rig.advance(1000);
    QVERIFY(rig.button("GETBLOCKCOUNT_BUTTON")->isEnabled());
    rig.button("GETBLOCKCOUNT_BUTTON")->click();
    rig.advance(10000);
    QVERIFY(!rig.starter.starts.isEmpty());
    QCOMPARE(rig.starter.starts.last().text, QStringLiteral("/new/CLI-UI-GBC.BAT"));
    QVERIFY2(rig.window().CURRENT_BLOCK_TEXTBOX->text().contains(QStringLiteral("840123")),
             qPrintable(rig.window().CURRENT_BLOCK_TEXTBOX->text()));
}

QTEST_MAIN(TestSaveSettings)
#include "tst_save_settings.moc"
