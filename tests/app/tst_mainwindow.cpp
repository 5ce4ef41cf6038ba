// The main window: start-up cases, interlocks, close, title, Settings.

#include "app/Colours.h"
#include "app/Translations.h"
#include "app/WrapWidgets.h"
#include "health/AlertsDialog.h"
#include "health/HistoryWindow.h"
#include "health/NodeWindow.h"
#include "panel/NodesWindow.h"
#include "tests/support/TestRig.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

using tw::test::TestRig;

namespace {

const QStringList EnabledControls = {
    "AUTOSTART_TICKBOX",    "AUTOCLOSE_TIMER_TICKBOX",   "P4P_TICKBOX",     "SETTINGS_BUTTON",
    "GETBLOCKCOUNT_BUTTON", "GETCONNECTIONCOUNT_BUTTON", "SHUTDOWN_BUTTON", "CLI_GBC_BAT_TICKBOX",
    "CLI_GCC_BAT_TICKBOX",  "CLI_STOP_BAT_TICKBOX"};
const QStringList TickControls = {"CLI_GBC_BAT_TICKBOX",     "CLI_GCC_BAT_TICKBOX",
                                  "CLI_STOP_BAT_TICKBOX",    "AUTOSTART_TICKBOX",
                                  "AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX",
                                  "AlwaysOnTopTimer_TICKBOX"};
// The six tick boxes that the store holds for the main window, in that order.
const QStringList StoredTicks = {"CLI_GBC_BAT_TICKBOX",     "CLI_GCC_BAT_TICKBOX",
                                 "CLI_STOP_BAT_TICKBOX",    "AUTOSTART_TICKBOX",
                                 "AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX"};

QString enabledBits(const TestRig& rig) {
    QString bits;
    for (const QString& name : EnabledControls)
        bits += rig.window().findChild<QWidget*>(name)->isEnabled() ? '1' : '0';
    return bits;
}

QString tickBits(const TestRig& rig) {
    QString bits;
    for (const QString& name : TickControls)
        bits += rig.tick(name)->isChecked() ? '1' : '0';
    return bits;
}

// Shows the window and makes it the active one, as a user's window is.
void showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

// The controls that Tab reaches, in order, from the one that has the focus
// until the walk comes back to it. `unmarked` gets every control that looks
// the same with the focus as without it.
QStringList tabWalk(QWidget& window, QStringList& unmarked) {
    QStringList walk;
    QWidget* const first = QApplication::focusWidget();
    for (QWidget* at = first; at && walk.size() < 100;) {
        walk << at->objectName();
        const QImage focused = at->grab().toImage();
        QTest::keyClick(at, Qt::Key_Tab);
        QWidget* const next = QApplication::focusWidget();
        if (next == at || !next || next->window() != &window)
            break;
        if (at->grab().toImage() == focused)
            unmarked << at->objectName();
        at = next == first ? nullptr : next;
    }
    return walk;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void startUpCases_data();
    void startUpCases();
    void firstStartUsesEveryDefault();
    void autoStartAndAutoCloseInterlocks();
    void closeWritesPositionAndSixTicksOnce();
    void aMovedWindowReopensThere();
    void settingsWindowIsModalAndTimersTick();
    void captionsFitTheirControls_data();
    void captionsFitTheirControls();
    void tabWalksTheShowingControls_data();
    void tabWalksTheShowingControls();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void hiddenFieldsTakeNoTyping();
    void aGreyedButtonGetsTheFocusBack_data();
    void aGreyedButtonGetsTheFocusBack();
    void everyWindowNamesItsControls();
};

void TestMainWindow::captionsFitTheirControls_data() {
    QTest::addColumn<QString>("language"); // empty: the program's own English
    QTest::newRow("English") << QString();
    QTest::newRow("German") << QStringLiteral("de");
}

// Every caption of both windows shows whole in its control's designed box,
// at the font size the program asks for, in each language the program
// speaks: one-line tick boxes, labels and buttons on one line ("AutoSend
// STOP Command" lost its last letter), tall tick boxes, buttons and
// word-wrapped labels wrapped on words without shrinking their font; the
// captions the handlers set later too. All misfits are listed at once.
void TestMainWindow::captionsFitTheirControls() {
    QFETCH(QString, language);
    const auto english = qScopeGuard([] { tw::app::removeTranslations(*qApp); });
    if (!language.isEmpty())
        QCOMPARE(tw::app::installTranslations(*qApp, {language}), language);
    TestRig rig;
    rig.start(true);
    // The designed widths hold for Arial and its metric twin; with some other
    // face (a platform without either, such as offscreen under Wine) they
    // say nothing.
    const QString face = QFontInfo(rig.window().font()).family();
    if (face != QLatin1String("Arial") && face != QLatin1String("Liberation Sans"))
        QSKIP(qPrintable("neither Arial nor Liberation Sans here, only " + face));
    auto settings = tw::settings::settingsWindowFactory(rig.services)(rig.window());
    settings->show();
    QSet<const QWidget*> seen;
    QStringList checked;
    QStringList misfits;
    // On one line, or wrapped on words when the control wraps and its box is
    // two lines tall.
    const auto fits = [&](const QWidget* control, const QString& text, const QRect& area,
                          bool wraps) {
        if (text.isEmpty() || seen.contains(control))
            return;
        seen.insert(control);
        checked << control->objectName();
        const QFontMetrics metrics = control->fontMetrics();
        const bool tall = wraps && area.height() >= 2 * metrics.lineSpacing();
        const QRect needed =
            tall ? metrics.boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, text)
                 : QRect(0, 0, metrics.horizontalAdvance(text), metrics.height());
        if (needed.width() > area.width() || (tall && needed.height() > area.height()))
            misfits << QStringLiteral("%1: \"%2\" needs %3x%4 px, has %5x%6")
                           .arg(control->objectName(), text)
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(area.width())
                           .arg(area.height());
    };
    // Each control measured as it draws its caption.
    const auto check = [&](const QWidget* control) {
        if (const auto* label = qobject_cast<const QLabel*>(control)) {
            fits(label, label->text(), label->contentsRect(), label->wordWrap());
        } else if (const auto* box = qobject_cast<const QCheckBox*>(control)) {
            // The wrapping kinds have no meta-object of their own: each is
            // asked what it is.
            const auto* wrap = dynamic_cast<const tw::app::WrapCheckBox*>(box);
            QVERIFY2(wrap, qPrintable(box->objectName()));
            fits(box, box->text(), wrap->captionArea(), true);
        } else if (const auto* button = qobject_cast<const QPushButton*>(control)) {
            if (const auto* wrap = dynamic_cast<const tw::app::WrapButton*>(button)) {
                fits(button, button->text(), wrap->captionArea(), true);
            } else {
                // A plain button draws its caption on one line, inside the
                // style's frame.
                QStyleOptionButton option;
                option.initFrom(button);
                const QRect area =
                    button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
                fits(button, button->text(), area, false);
            }
        }
    };
    for (QWidget* window :
         {static_cast<QWidget*>(settings.get()), static_cast<QWidget*>(&rig.window())}) {
        for (const QWidget* control : window->findChildren<QWidget*>())
            check(control);
    }
    // What the handlers show later in the same controls.
    const auto later = [&](QWidget* control, const QStringList& texts) {
        for (const QString& text : texts) {
            if (auto* label = qobject_cast<QLabel*>(control))
                label->setText(text);
            else
                static_cast<QPushButton*>(control)->setText(text);
            seen.remove(control);
            check(control);
        }
    };
    later(rig.button("START_STOP_BUTTON"),
          {tw::app::MainWindow::startCaption(), tw::app::MainWindow::stopCaption()});
    later(rig.find<QLabel>("PROCESS_ACTIVE_LABEL"),
          {QCoreApplication::translate("MainWindow", "!!! CLI RUNNING !!!"),
           QCoreApplication::translate("MainWindow", "!!! CLI NOT RUNNING !!!"),
           QCoreApplication::translate("MainWindow", "!!! QT STILL RUNNING !!!"),
           QCoreApplication::translate("MainWindow", "!!! DAEMON STILL RUNNING !!!"),
           QCoreApplication::translate("MainWindow", "!!! FINISHED - AUTOCLOSING !!!")});
    later(settings->findChild<QPushButton*>(QStringLiteral("CLOSE_BUTTON")),
          {tw::settings::SettingsWindow::tr("Close")});
    QVERIFY2(misfits.isEmpty(), qPrintable(misfits.join(QStringLiteral("\n"))));
    for (const char* name :
         {"CLI_STOP_BAT_TICKBOX", "AUTOCLOSE_TIMER_TICKBOX", "SETTINGS_BUTTON", "SHUTDOWN_BUTTON",
          "SAVE_BATS_BUTTON", "CONF_LOCATION_LABEL", "CURRENT_BLOCK_LABEL", "P4P_TICKBOX",
          "EXE_FILENAME_HELP_LABEL", "Label2"})
        QVERIFY2(checked.contains(QLatin1String(name)), name);
}

void TestMainWindow::startUpCases_data() {
    QTest::addColumn<QString>("stored"); // gbc gcc stop autostart autoclose p4p
    QTest::addColumn<QString>("storedOnTop");
    QTest::addColumn<QString>("enabled"); // EnabledControls
    QTest::addColumn<QString>("ticks");   // TickControls
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("countdown");
    QTest::addColumn<bool>("loop");
    QTest::addColumn<bool>("keeper");

    QTest::newRow("A: empty store") << "000000"
                                    << ""
                                    << "0001001111"
                                    << "0000001"
                                    << "START" << false << false << true;
    QTest::newRow("A: keeper stored off") << "000000"
                                          << "0"
                                          << "0001001111"
                                          << "0000000"
                                          << "START" << false << false << false;
    QTest::newRow("A: Auto Start alone is cleared") << "000100"
                                                    << "1"
                                                    << "0001001111"
                                                    << "0000001"
                                                    << "START" << false << false << true;
    QTest::newRow("A: P-4-P greyed but keeps its tick") << "000111"
                                                        << ""
                                                        << "0001001111"
                                                        << "0000011"
                                                        << "START" << false << false << true;
    QTest::newRow("C: Auto G-B-C") << "100000"
                                   << ""
                                   << "1001111111"
                                   << "1000001"
                                   << "START" << false << true << true;
    QTest::newRow("C: Auto Close stored without Auto Start") << "100010"
                                                             << ""
                                                             << "1011111111"
                                                             << "1000101"
                                                             << "START" << false << true << true;
    QTest::newRow("B: Auto G-C-C, Auto Start, Auto Close") << "010110"
                                                           << ""
                                                           << "0010000000"
                                                           << "0101101"
                                                           << "STOP" << true << true << true;
    QTest::newRow("B: AutoSend STOP and Auto Start") << "001100"
                                                     << ""
                                                     << "0000000000"
                                                     << "0011001"
                                                     << "STOP" << true << false << true;
}

void TestMainWindow::startUpCases() {
    QFETCH(QString, stored);
    QFETCH(QString, storedOnTop);
    QFETCH(QString, enabled);
    QFETCH(QString, ticks);
    QFETCH(QString, caption);
    QFETCH(bool, countdown);
    QFETCH(bool, loop);
    QFETCH(bool, keeper);

    TestRig rig;
    for (int i = 0; i < StoredTicks.size(); ++i)
        rig.store(StoredTicks[i], QString(stored[i]));
    if (!storedOnTop.isEmpty())
        rig.store("AlwaysOnTopTimer_TICKBOX", storedOnTop);
    auto& window = rig.start();

    QCOMPARE(enabledBits(rig), enabled);
    QCOMPARE(tickBits(rig), ticks);
    QCOMPARE(rig.button("START_STOP_BUTTON")->text(), caption);
    QCOMPARE(window.COUNTDOWN_TIMER->isRunning(), countdown);
    QCOMPARE(window.GET_LOOP_TIMER->isRunning(), loop);
    QCOMPARE(window.AlwaysOnTopTimer->isRunning(), keeper);
    QCOMPARE(window.COUNTDOWN_REMAINING, 11);
    QVERIFY(window.CLI_PROCESS_WATCHER_TIMER->isRunning());
    for (auto* timer : {window.GETBLOCKCOUNT_COMMAND_TIMER, window.GETCONNECTIONCOUNT_COMMAND_TIMER,
                        window.UNLOAD_TIMER, window.P4P_END_TIMER})
        QVERIFY2(!timer->isRunning(), qPrintable(timer->name()));
    // Every timer has its interval from the load.
    QCOMPARE(window.UNLOAD_TIMER->interval(), 10000);
    QCOMPARE(window.GET_LOOP_TIMER->interval(), 60000);
    for (auto* timer : {window.AlwaysOnTopTimer, window.COUNTDOWN_TIMER,
                        window.CLI_PROCESS_WATCHER_TIMER, window.GETBLOCKCOUNT_COMMAND_TIMER,
                        window.GETCONNECTIONCOUNT_COMMAND_TIMER, window.P4P_END_TIMER})
        QCOMPARE(timer->interval(), 1000);
}

void TestMainWindow::firstStartUsesEveryDefault() {
    TestRig rig("BTC-A"); // a copy started as BTC-A: its own, empty section
    auto& window = rig.start(true);
    QCOMPARE(window.windowTitle(), QString("TARN-WICK - TW-CLI-UI - BTC-A"));
    QCOMPARE(window.findChild<QLabel*>("APP_EXE_NAME_LABEL")->text(), QString("BTC-A"));
    QCOMPARE(window.pos(), QPoint(67, 67)); // 1000 twips, rounded to pixels
    // Outer 5280 x 4275 twips less the frame.
    QCOMPARE(window.size(), QSize((5280 - 90) / 15, (4275 - 390) / 15));
    for (const char* name : {"CLI_NAME_TEXTBOX", "RUN_COMMAND_TEXTBOX", "QT_EXE_TEXTBOX",
                             "DAEMON_EXE_TEXTBOX", "CLI_GBC_FULL_BAT_LOCATION_TEXTBOX"})
        QCOMPARE(rig.text(name)->text(), QString());
    QCOMPARE(rig.text("CURRENT_BLOCK_TEXTBOX")->text(), QString("-- -- -- -- -- -- --"));
    QCOMPARE(rig.text("AUTORUN_TIMER_TEXTBOX")->text(), QString("-- --"));
    QCOMPARE(rig.colour("AUTORUN_TIMER_TEXTBOX"), tw::app::colour::Pink);
    QCOMPARE(rig.colour("PROCESS_ACTIVE_LABEL"), tw::app::colour::Cyan);
    // The upper band shows whole at the default size; the mirror fields lie below.
    QVERIFY(window.rect().contains(rig.text("DAEMON_EXE_TEXTBOX")->geometry()));
    QVERIFY(!window.rect().intersects(rig.text("CLI_NAME_TEXTBOX")->geometry()));
}

void TestMainWindow::autoStartAndAutoCloseInterlocks() {
    TestRig rig;
    rig.store("CLI_GBC_BAT_TICKBOX", "1");
    rig.start();
    // After each change: Auto Close enabled, ticked; P-4-P enabled, ticked.
    const auto state = [&rig] {
        QString bits;
        for (const char* name : {"AUTOCLOSE_TIMER_TICKBOX", "P4P_TICKBOX"})
            bits += QString::number(rig.tick(name)->isEnabled()) +
                    QString::number(rig.tick(name)->isChecked());
        return bits;
    };
    QCOMPARE(state(), QString("0000"));
    const QList<std::tuple<const char*, bool, const char*>> steps = {
        {"AUTOSTART_TICKBOX", true, "1000"},
        {"AUTOCLOSE_TIMER_TICKBOX", true, "1110"},
        {"P4P_TICKBOX", true, "1111"},
        {"AUTOCLOSE_TIMER_TICKBOX", false, "1001"},
        {"AUTOCLOSE_TIMER_TICKBOX", true, "1111"},
        // Unticking Auto Start greys and clears Auto Close, which greys P-4-P.
        {"AUTOSTART_TICKBOX", false, "0001"}};
    for (const auto& [box, on, expected] : steps) {
        rig.tick(box)->setChecked(on);
        QCOMPARE(state(), QString(expected));
    }
}

void TestMainWindow::closeWritesPositionAndSixTicksOnce() {
    TestRig rig;
    rig.store("CLI_GCC_BAT_TICKBOX", "1");
    rig.store("MainTop", "1234");
    rig.store("RUN_COMMAND_TEXTBOX", "echo kept");
    auto& window = rig.start(true);
    QSignalSpy closed(&window, &tw::app::MainWindow::closed);
    rig.tick("AUTOSTART_TICKBOX")->setChecked(true);
    window.move(200, window.y()); // moved sideways only
    rig.settings.writtenKeys.clear();
    const int writes = rig.settings.writeCalls;
    window.close();
    QCOMPARE(rig.settings.writtenKeys, QStringList({"MainLeft", "MainTop"}) + StoredTicks);
    QCOMPARE(rig.settings.writeCalls, writes + 1); // the whole close in one write
    QCOMPARE(rig.stored("MainLeft").value_or("-"), QString("3000"));
    // An unmoved edge writes back exactly what it was given: no rounding drift.
    QCOMPARE(rig.stored("MainTop").value_or("-"), QString("1234"));
    QCOMPARE(rig.stored("CLI_GCC_BAT_TICKBOX").value_or("-"), QString("1"));
    QCOMPARE(rig.stored("AUTOSTART_TICKBOX").value_or("-"), QString("1"));
    QCOMPARE(rig.stored("CLI_GBC_BAT_TICKBOX").value_or("-"), QString("0"));
    QCOMPARE(rig.stored("RUN_COMMAND_TEXTBOX").value_or("-"), QString("echo kept"));
    // A second close runs nothing; nothing ticks after the first.
    rig.settings.writtenKeys.clear();
    window.close();
    QCOMPARE(closed.count(), 1);
    QVERIFY(rig.settings.writtenKeys.isEmpty());
    QVERIFY(rig.scheduler.isStopped());
}

void TestMainWindow::aMovedWindowReopensThere() {
    TestRig rig;
    rig.store("MainWidth", "6000");
    auto& first = rig.start(true);
    first.move(321, 123);
    first.close();
    tw::app::MainWindow second(rig.services);
    second.load();
    QCOMPARE(second.pos(), QPoint(321, 123));
    QCOMPARE(second.width(), (6000 - 90) / 15);
    QVERIFY(!rig.stored("MainHeight"));
}

void TestMainWindow::settingsWindowIsModalAndTimersTick() {
    TestRig rig;
    auto& window = rig.start(true);
    QString title;
    bool modal = false;
    QWidget* parent = nullptr;
    int keeperCalls = -1;
    QTimer::singleShot(0, [&] {
        QDialog* dialog = window.openSettingsWindow();
        title = dialog->windowTitle();
        modal = dialog->isModal();
        parent = dialog->parentWidget();
        rig.windows.calls.clear();
        rig.advance(3000); // the keeper ticks while the settings window is open
        keeperCalls = rig.windows.calls.size();
        dialog->findChild<QPushButton*>("CLOSE_BUTTON")->click();
    });
    rig.button("SETTINGS_BUTTON")->click();
    QCOMPARE(title, QString("TARN-WICK - TW-CLI-UI - SETTINGS"));
    QVERIFY(modal);
    QCOMPARE(parent, static_cast<QWidget*>(&window));
    QCOMPARE(keeperCalls, 6); // three ticks: out of the band, into the band
    QVERIFY(!window.openSettingsWindow());
}

// Tab walks the controls that show, in the window's order, from the one
// that has the focus when the window opens; each shows its focus. Nothing
// below the window's edge (the mirror fields, or a row that a short window
// cuts off) and no read-only box takes it.
void TestMainWindow::tabWalksTheShowingControls_data() {
    QTest::addColumn<QString>("stored"); // gbc gcc stop autostart autoclose p4p
    QTest::addColumn<QString>("height"); // MainHeight, empty for the default
    QTest::addColumn<QStringList>("walk");
    const QStringList buttonRow = {"SETTINGS_BUTTON", "SHUTDOWN_BUTTON", "START_STOP_BUTTON"};
    const QStringList ready = {"AUTOSTART_TICKBOX",        "AlwaysOnTopTimer_TICKBOX",
                               "CLI_STOP_BAT_TICKBOX",     "CLI_GBC_BAT_TICKBOX",
                               "CLI_GCC_BAT_TICKBOX",      "GETBLOCKCOUNT_BUTTON",
                               "GETCONNECTIONCOUNT_BUTTON"};
    QTest::newRow("A: nothing to run")
        << "000000"
        << ""
        << QStringList{"AlwaysOnTopTimer_TICKBOX", "CLI_STOP_BAT_TICKBOX", "CLI_GBC_BAT_TICKBOX",
                       "CLI_GCC_BAT_TICKBOX"} +
               buttonRow;
    QTest::newRow("C: ready") << "100000"
                              << "" << ready + buttonRow;
    QTest::newRow("C: window too short for the button row") << "100000"
                                                            << "2900" << ready;
    QTest::newRow("B: counting down")
        << "010110"
        << "" << QStringList{"AlwaysOnTopTimer_TICKBOX", "START_STOP_BUTTON", "P4P_TICKBOX"};
}

void TestMainWindow::tabWalksTheShowingControls() {
    QFETCH(QString, stored);
    QFETCH(QString, height);
    QFETCH(QStringList, walk);
    TestRig rig;
    for (int i = 0; i < StoredTicks.size(); ++i)
        rig.store(StoredTicks[i], QString(stored[i]));
    if (!height.isEmpty())
        rig.store("MainHeight", height);
    auto& window = rig.start();
    showActive(window);
    QStringList unmarked;
    QCOMPARE(tabWalk(window, unmarked), walk);
    QCOMPARE(unmarked, QStringList());
}

// Enter and the keypad's Enter press the focused button, once however long
// the key is held; with Shift or Ctrl it is no press.
void TestMainWindow::enterPressesTheFocusedButton_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("repeats"); // auto-repeated presses while held
    QTest::addColumn<int>("clicks");
    QTest::newRow("G-B-C, Return") << "GETBLOCKCOUNT_BUTTON" << int(Qt::Key_Return) << 0 << 0 << 1;
    QTest::newRow("G-C-C, keypad Enter")
        << "GETCONNECTIONCOUNT_BUTTON" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 0 << 1;
    QTest::newRow("START, Return held")
        << "START_STOP_BUTTON" << int(Qt::Key_Return) << 0 << 5 << 1;
    QTest::newRow("SHUTDOWN, Shift+Return")
        << "SHUTDOWN_BUTTON" << int(Qt::Key_Return) << int(Qt::ShiftModifier) << 0 << 0;
    QTest::newRow("SHUTDOWN, Ctrl+Enter")
        << "SHUTDOWN_BUTTON" << int(Qt::Key_Enter) << int(Qt::ControlModifier) << 0 << 0;
}

void TestMainWindow::enterPressesTheFocusedButton() {
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, repeats);
    QFETCH(int, clicks);
    TestRig rig;
    rig.store("CLI_GBC_BAT_TICKBOX", "1");
    auto& window = rig.start();
    showActive(window);
    QPushButton* pressed = rig.button(button);
    pressed->setFocus();
    QCOMPARE(QApplication::focusWidget(), pressed);
    QSignalSpy spy(pressed, &QPushButton::clicked);
    const auto mods = Qt::KeyboardModifiers(modifiers);
    for (int i = 0; i <= repeats; ++i) {
        QKeyEvent press(QEvent::KeyPress, key, mods, QString(), i > 0);
        QApplication::sendEvent(QApplication::focusWidget(), &press);
    }
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(QApplication::focusWidget(), &release);
    QCOMPARE(spy.count(), clicks);
}

// The mirror fields below the window's edge take no typing, even sent to
// them directly: a command typed there would run at the next G-B-C.
void TestMainWindow::hiddenFieldsTakeNoTyping() {
    TestRig rig;
    rig.store("RUN_COMMAND_TEXTBOX", "echo kept");
    auto& window = rig.start();
    showActive(window);
    int hidden = 0;
    for (QLineEdit* field : window.findChildren<QLineEdit*>()) {
        if (window.rect().intersects(field->geometry()))
            continue;
        ++hidden;
        const QString before = field->text();
        QTest::keyClicks(field, "rm -rf ~");
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(field->text(), before);
    }
    QCOMPARE(hidden, 8);
    QCOMPARE(rig.text("RUN_COMMAND_TEXTBOX")->text(), QString("echo kept"));
}

// A button greyed under the focus (G-C-C while the client runs): Qt moves
// the focus on, past the read-only Connections box, which is left
// unselected; once the button is enabled again the focus comes back, unless
// the user has moved it meanwhile.
void TestMainWindow::aGreyedButtonGetsTheFocusBack_data() {
    QTest::addColumn<bool>("userTabs");
    QTest::addColumn<QString>("focusAfter");
    QTest::newRow("left alone") << false << "GETCONNECTIONCOUNT_BUTTON";
    QTest::newRow("the user moved it") << true << "START_STOP_BUTTON";
}

void TestMainWindow::aGreyedButtonGetsTheFocusBack() {
    QFETCH(bool, userTabs);
    QFETCH(QString, focusAfter);
    TestRig rig;
    rig.store("CLI_GCC_BAT_TICKBOX", "1");
    rig.store("CLI_NAME_TEXTBOX", "bitcoin-cli");
    auto& window = rig.start();
    showActive(window);
    QPushButton* gcc = rig.button("GETCONNECTIONCOUNT_BUTTON");
    gcc->setFocus();
    QTest::keyClick(gcc, Qt::Key_Return);
    rig.processes.setRunning("bitcoin-cli");
    rig.advance(1000); // the watcher greys the buttons while the client runs
    QVERIFY(!gcc->isEnabled());
    QCOMPARE(QApplication::focusWidget(), rig.button("SETTINGS_BUTTON"));
    QVERIFY(!rig.text("CONNECTIONS_TEXTBOX")->hasSelectedText());
    if (userTabs)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    rig.processes.setRunning("bitcoin-cli", 0);
    rig.advance(1000);
    QVERIFY(gcc->isEnabled());
    QCOMPARE(QApplication::focusWidget()->objectName(), focusAfter);
}

// Screen readers: every control a user works with or reads, in every window
// of the program, has a name, and none says an internal identifier (an
// objectName such as CLI_STOP_BAT_FULL_LOCATION_TEXTBOX) as its name or its
// description. The status boxes are named by their labels, the labels being
// their buddies.
void TestMainWindow::everyWindowNamesItsControls() {
    TestRig rig;
    auto& main = rig.start(true);
    auto settings = tw::settings::settingsWindowFactory(rig.services)(main);
    tw::health::AlertsDialog alerts(tw::health::AlertSettings{}, "S", &main);
    const QList<QWidget*> windows = {&main,
                                     settings.get(),
                                     &alerts,
                                     rig.panel().health().showHistory(),
                                     rig.panel().health().showNode(),
                                     rig.panel().showNodes()};
    const QRegularExpression identifier("^[A-Za-z0-9]+(_[A-Za-z0-9]+)+$");
    // What a user works with or reads; the parts of such a control (a spin
    // box's line edit, a table's headers) are read through the control.
    const auto isControl = [](const QWidget* widget) {
        return qobject_cast<const QAbstractButton*>(widget) ||
               qobject_cast<const QLineEdit*>(widget) ||
               qobject_cast<const QPlainTextEdit*>(widget) ||
               qobject_cast<const QComboBox*>(widget) ||
               qobject_cast<const QAbstractSpinBox*>(widget) ||
               qobject_cast<const QAbstractItemView*>(widget);
    };
    QStringList problems;
    int checked = 0;
    for (QWidget* window : windows) {
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            bool part = false;
            for (QWidget* up = widget->parentWidget(); up && up != window; up = up->parentWidget())
                part = part || isControl(up);
            QAccessibleInterface* read = QAccessible::queryAccessibleInterface(widget);
            if (!isControl(widget) || part || !read)
                continue;
            ++checked;
            const QString where = window->objectName() + "/" + widget->objectName() + ": ";
            const QString name = read->text(QAccessible::Name);
            if (name.trimmed().isEmpty())
                problems << where + "no name";
            for (const QString& said : {name, read->text(QAccessible::Description)})
                if (identifier.match(said).hasMatch())
                    problems << where + "says " + said;
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QVERIFY2(checked > 100, qPrintable(QString::number(checked)));
    for (const auto& [box, label] : {std::pair{"CURRENT_BLOCK_TEXTBOX", "CURRENT_BLOCK_LABEL"},
                                     std::pair{"CONNECTIONS_TEXTBOX", "Label1"}}) {
        QCOMPARE(rig.find<QLabel>(label)->buddy(), rig.find(box));
        QCOMPARE(QAccessible::queryAccessibleInterface(rig.find(box))->text(QAccessible::Name),
                 rig.find<QLabel>(label)->text().chopped(1));
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
