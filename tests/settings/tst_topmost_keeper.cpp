// The top-most keeper over a fake window stack, and its two switches: the
// settings window's "Always On Top" and the main window's own tick box.

#include "app/TopMostKeeper.h"
#include "app/WindowTimer.h"
#include "tests/settings/SettingsFixture.h"

#include <deque>

using tw::platform::WindowHandle;
using tw::settings::SettingsWindow;
using tw::test::TestRig;

namespace {

constexpr WindowHandle OtherWindow = 0x4242;

WindowHandle mainHandle(TestRig& rig) {
    return rig.windows.handleOf(&rig.window());
}

// A window system whose foreground answers come from a list, to play a
// foreground that changes between two questions of one tick.
class ScriptedWindowSystem final : public tw::platform::WindowSystem {
public:
    WindowHandle handleOf(QWidget* window) override {
        return reinterpret_cast<WindowHandle>(window);
    }
    WindowHandle foregroundWindow() override {
        const WindowHandle answer = answers.empty() ? 0 : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    void setTopMost(WindowHandle window, bool topMost) override { calls.append({window, topMost}); }
    QString limitation() const override { return {}; }

    std::deque<WindowHandle> answers;
    QList<QPair<WindowHandle, bool>> calls;
};

} // namespace

class TestTopMostKeeper : public QObject {
    Q_OBJECT

private slots:
    void noCallWhileTheMainWindowIsInFront();
    void anotherWindowInFrontLosesTheTopBand_data();
    void anotherWindowInFrontLosesTheTopBand();
    void theWindowThatLeavesIsTheSecondAnswer();
    void settingsTickBoxSwitchesTheKeeper();
    void storedZeroSwitchesItOffWhenTheSettingsWindowLoads();
    void reopenedWindowShowsTheTickWithoutSwitchingItOn();
    void mainWindowsOwnTickBoxSwitchesTheKeeper_data();
    void mainWindowsOwnTickBoxSwitchesTheKeeper();
    void keeperTicksWhileTheSettingsWindowIsModal();
};

void TestTopMostKeeper::noCallWhileTheMainWindowIsInFront() {
    TestRig rig;
    rig.start();
    rig.windows.foreground = mainHandle(rig);
    QVERIFY(rig.window().AlwaysOnTopTimer->isRunning());
    rig.advance(5000);
    QCOMPARE(rig.windows.calls.size(), 0);
}

void TestTopMostKeeper::anotherWindowInFrontLosesTheTopBand_data() {
    QTest::addColumn<bool>("otherWasTopMost");
    QTest::newRow("another top-most window") << true;
    QTest::newRow("an ordinary window") << false;
}

void TestTopMostKeeper::anotherWindowInFrontLosesTheTopBand() {
    QFETCH(bool, otherWasTopMost);

    TestRig rig;
    rig.start();
    if (otherWasTopMost)
        rig.windows.topMost.insert(OtherWindow);
    rig.windows.foreground = OtherWindow;
    rig.advance(999);
    QCOMPARE(rig.windows.calls.size(), 0);
    rig.advance(1);
    const QList<QPair<WindowHandle, bool>> once = {{OtherWindow, false}, {mainHandle(rig), true}};
    QCOMPARE(rig.windows.calls, once);
    QCOMPARE(rig.windows.topMost, QSet<WindowHandle>({mainHandle(rig)}));
    // Once a second, not once.
    rig.advance(1000);
    QCOMPARE(rig.windows.calls.size(), 4);
    // The main window comes to the front: the ticks change nothing more.
    rig.windows.foreground = mainHandle(rig);
    rig.advance(3000);
    QCOMPARE(rig.windows.calls.size(), 4);
}

void TestTopMostKeeper::theWindowThatLeavesIsTheSecondAnswer() {
    TestRig rig; // clock, scheduler, store and fakes; the window system is scripted
    ScriptedWindowSystem windows;
    tw::platform::Platform platform{rig.clock, rig.settings, rig.starter, rig.processes,
                                    rig.files, windows,      rig.section, QString()};
    const tw::app::Services services{platform, rig.scheduler, rig.settingsStore, rig.diagnostics};
    tw::app::MainWindow main(services);
    tw::app::TopMostKeeper keeper(main, services);
    const WindowHandle own = windows.handleOf(&main);

    windows.answers = {OtherWindow, OtherWindow + 1};
    keeper.AlwaysOnTopTimer_Timer();
    const QList<QPair<WindowHandle, bool>> expected = {{OtherWindow + 1, false}, {own, true}};
    QCOMPARE(windows.calls, expected);

    // The main window in front at the first question: no second one.
    windows.calls.clear();
    windows.answers = {own, OtherWindow};
    keeper.AlwaysOnTopTimer_Timer();
    QCOMPARE(windows.calls.size(), 0);
    QCOMPARE(windows.answers.size(), std::size_t(1));
    rig.scheduler.stopAll();
}

void TestTopMostKeeper::settingsTickBoxSwitchesTheKeeper() {
    TestRig rig;
    rig.start();
    rig.windows.foreground = OtherWindow;
    const auto window = tw::test::openSettings(rig);
    tw::app::MainWindow& main = rig.window();

    QTest::mouseClick(window->AlwaysOnTopTimer_TICKBOX, Qt::LeftButton);
    QVERIFY(!main.AlwaysOnTopTimer->isEnabled());
    QVERIFY(!main.AlwaysOnTopTimer_TICKBOX->isChecked());
    rig.advance(3000);
    QCOMPARE(rig.windows.calls.size(), 0);

    QTest::mouseClick(window->AlwaysOnTopTimer_TICKBOX, Qt::LeftButton);
    QVERIFY(main.AlwaysOnTopTimer->isRunning());
    QVERIFY(main.AlwaysOnTopTimer_TICKBOX->isChecked());
    rig.advance(1000);
    QCOMPARE(rig.windows.calls.size(), 2);
    // Not stored until a save.
    QVERIFY(!rig.stored("AlwaysOnTopTimer_TICKBOX"));
}

void TestTopMostKeeper::storedZeroSwitchesItOffWhenTheSettingsWindowLoads() {
    TestRig rig;
    rig.start();
    QVERIFY(rig.window().AlwaysOnTopTimer->isRunning());
    // Another copy under the same name saved "off" meanwhile.
    rig.store("AlwaysOnTopTimer_TICKBOX", "0");
    const auto window = tw::test::openSettings(rig);
    QVERIFY(!window->AlwaysOnTopTimer_TICKBOX->isChecked());
    QVERIFY(!rig.window().AlwaysOnTopTimer->isEnabled());
    QVERIFY(!rig.window().AlwaysOnTopTimer_TICKBOX->isChecked());
}

void TestTopMostKeeper::reopenedWindowShowsTheTickWithoutSwitchingItOn() {
    TestRig rig;
    rig.start();
    rig.windows.foreground = OtherWindow;
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        QTest::mouseClick(w.AlwaysOnTopTimer_TICKBOX, Qt::LeftButton);
        w.CLOSE_BUTTON->click();
    }));
    QVERIFY(!rig.window().AlwaysOnTopTimer->isEnabled());

    bool shownTicked = false;
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        shownTicked = w.AlwaysOnTopTimer_TICKBOX->isChecked();
        w.CLOSE_BUTTON->click();
    }));
    QVERIFY(shownTicked);
    QVERIFY(!rig.window().AlwaysOnTopTimer->isEnabled());
    QVERIFY(!rig.window().AlwaysOnTopTimer_TICKBOX->isChecked());
    rig.advance(3000);
    QCOMPARE(rig.windows.calls.size(), 0);

    // Unticked, saved, restarted: both windows show it clear, the keeper off.
    TestRig next;
    next.store("AlwaysOnTopTimer_TICKBOX", "1");
    next.start();
    const auto window = tw::test::openSettings(next);
    QTest::mouseClick(window->AlwaysOnTopTimer_TICKBOX, Qt::LeftButton);
    window->SAVE_REGISTRY_BUTTON->click();
    QCOMPARE(next.stored("AlwaysOnTopTimer_TICKBOX"), QStringLiteral("0"));
    TestRig restarted;
    restarted.store("AlwaysOnTopTimer_TICKBOX", *next.stored("AlwaysOnTopTimer_TICKBOX"));
    restarted.start();
    QVERIFY(!restarted.window().AlwaysOnTopTimer->isEnabled());
    QVERIFY(!restarted.window().AlwaysOnTopTimer_TICKBOX->isChecked());
    const auto reopened = tw::test::openSettings(restarted);
    QVERIFY(!reopened->AlwaysOnTopTimer_TICKBOX->isChecked());
}

void TestTopMostKeeper::mainWindowsOwnTickBoxSwitchesTheKeeper_data() {
    QTest::addColumn<QString>("stored");
    QTest::newRow("on at start") << "1";
    QTest::newRow("off at start") << "0";
}

void TestTopMostKeeper::mainWindowsOwnTickBoxSwitchesTheKeeper() {
    QFETCH(QString, stored);

    TestRig rig;
    rig.store("AlwaysOnTopTimer_TICKBOX", stored);
    rig.start(true);
    tw::app::MainWindow& main = rig.window();
    const bool on = stored == "1";
    QCOMPARE(main.AlwaysOnTopTimer->isRunning(), on);

    QTest::mouseClick(main.AlwaysOnTopTimer_TICKBOX, Qt::LeftButton);
    QCOMPARE(main.AlwaysOnTopTimer_TICKBOX->isChecked(), !on);
    QCOMPARE(main.AlwaysOnTopTimer->isRunning(), !on);
    QTest::mouseClick(main.AlwaysOnTopTimer_TICKBOX, Qt::LeftButton);
    QCOMPARE(main.AlwaysOnTopTimer->isRunning(), on);
    // Only the settings window's save stores it.
    QVERIFY(!rig.settings.writtenKeys.contains("AlwaysOnTopTimer_TICKBOX"));
}

void TestTopMostKeeper::keeperTicksWhileTheSettingsWindowIsModal() {
    TestRig rig;
    rig.start();
    rig.windows.foreground = OtherWindow;
    int calls = -1;
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        rig.advance(2000);
        calls = rig.windows.calls.size();
        w.CLOSE_BUTTON->click();
    }));
    QCOMPARE(calls, 4);
}

QTEST_MAIN(TestTopMostKeeper)
#include "tst_topmost_keeper.moc"
