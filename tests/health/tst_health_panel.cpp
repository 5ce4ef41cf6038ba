// The health around the main window, wired as the program wires it: the
// tray's dot and tooltip follow real query cycles, its query entries act as
// the buttons do, the status boxes' context menus open the history window,
// and the alerts dialog's values reach the store and the monitor.

#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/WindowTimer.h"
#include "health/HealthMonitor.h"
#include "health/HealthPanel.h"
#include "health/HistoryWindow.h"
#include "health/Tray.h"
#include "poll/ChainPoll.h"
#include "tests/support/TestRig.h"

#include <QAction>
#include <QApplication>
#include <QLocale>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

using tw::health::HealthColour;

namespace {

const QString Folder = QStringLiteral("/node/");

QString colourName(HealthColour colour) {
    switch (colour) {
    case HealthColour::Grey:
        return QStringLiteral("grey");
    case HealthColour::Yellow:
        return QStringLiteral("yellow");
    case HealthColour::Green:
        return QStringLiteral("green");
    case HealthColour::Red:
        return QStringLiteral("red");
    }
    return QStringLiteral("?");
}

// A started rig whose queries read the fake client's log; its monitor and
// tray are the program's own, built by the rig's composition.
struct Panel {
    explicit Panel(const QString& client, const QString& failureCount = QStringLiteral("3"),
                   bool showWindow = false) {
        rig.store("HEALTH_FAILURE_COUNT", failureCount);
        rig.storeQueryPaths(Folder);
        rig.starter.onBatch = [this, client](const QString& path) {
            if (!client.isEmpty())
                rig.files.put(path.chopped(3) + "LOG", client.toUtf8());
        };
        rig.start(showWindow);
        rig.leaveQueryButtonsToThePolls();
        monitor = &rig.panel().monitor();
        panel = &rig.panel().health();
    }
    tw::test::TestRig rig;
    tw::health::HealthMonitor* monitor = nullptr;
    tw::health::HealthPanel* panel = nullptr;
};

} // namespace

class TestHealthPanel : public QObject {
    Q_OBJECT
private slots:
    // Numbers as a US English desktop writes them, whatever the machine's.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void trayFollowsQueries_data();
    void trayFollowsQueries();
    void trayEntriesActAsTheButtons();
    void trayQuitClosesAsTheCloseButton();
    void startAtLoginFailureInTheDiagnostics();
    void statusMenuOpensOneHistoryWindow();
    void alertSettingsReachStoreAndMonitor();
    void anAlertShowsTheDotItIsAbout();
    void trayComesUpByItself_data();
    void trayComesUpByItself();
};

void TestHealthPanel::trayFollowsQueries_data() {
    QTest::addColumn<QString>("client"); // what the client writes into the log; empty: nothing
    QTest::addColumn<QString>("during"); // the dot while the client runs
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("tip"); // a line the tooltip holds afterwards

    QTest::newRow("an answer") << "871234\r\n"
                               << "yellow"
                               << "green"
                               << "Block count: 871,234";
    QTest::newRow("no answer") << ""
                               << "yellow"
                               << "red"
                               << "Block-count query failed";
    QTest::newRow("not a number") << "error: couldn't connect\r\n"
                                  << "yellow"
                                  << "red"
                                  << "Block-count query failed";
}

void TestHealthPanel::trayFollowsQueries() {
    QFETCH(QString, client);
    QFETCH(QString, during);
    QFETCH(QString, after);
    QFETCH(QString, tip);
    Panel p(client);
    tw::health::Tray& tray = p.panel->tray();
    QCOMPARE(colourName(tray.state()), QStringLiteral("grey"));
    QVERIFY(tray.toolTip().startsWith(QStringLiteral("TW-CLI-UI\n")));
    QStringList seen;
    p.rig.clock.onWait = [&](qint64, int) { seen << colourName(tray.state()); };
    p.rig.button("GETBLOCKCOUNT_BUTTON")->click();
    p.rig.advance(10000);
    QVERIFY(!seen.isEmpty());
    // The cycle's last wait follows the read: the dot already tells its end.
    seen.removeDuplicates();
    QCOMPARE(seen, (QStringList{during, after}));
    QCOMPARE(colourName(tray.state()), after);
    QVERIFY2(tray.toolTip().contains(tip), qPrintable(tray.toolTip()));
}

void TestHealthPanel::trayEntriesActAsTheButtons() {
    Panel p(QStringLiteral("5\r\n"));
    tw::health::Tray& tray = p.panel->tray();
    auto& window = p.rig.window();
    const QColor black = p.rig.colour("CONNECTIONS_TEXTBOX");

    window.GETCONNECTIONCOUNT_BUTTON->setEnabled(false);
    QVERIFY(!tray.gccAction()->isEnabled());
    tray.gccAction()->trigger();
    QCOMPARE(p.rig.colour("CONNECTIONS_TEXTBOX"), black);
    QVERIFY(!window.GETCONNECTIONCOUNT_COMMAND_TIMER->isEnabled());

    window.GETCONNECTIONCOUNT_BUTTON->setEnabled(true);
    QVERIFY(tray.gccAction()->isEnabled());
    tray.gccAction()->trigger();
    QVERIFY(window.GETCONNECTIONCOUNT_COMMAND_TIMER->isEnabled());
    p.rig.advance(10000);
    QCOMPARE(window.CONNECTIONS_TEXTBOX->text(), QStringLiteral("5\r\n"));

    tray.gbcAction()->trigger();
    QVERIFY(window.GETBLOCKCOUNT_COMMAND_TIMER->isEnabled());
}

// Quit takes the close button's path: the window's close handling runs and
// writes the tick boxes to the store.
void TestHealthPanel::trayQuitClosesAsTheCloseButton() {
    Panel p(QStringLiteral("5\r\n"));
    p.rig.tick("CLI_GBC_BAT_TICKBOX")->setChecked(true);
    QVERIFY(!p.rig.stored("CLI_GBC_BAT_TICKBOX").has_value());
    p.panel->tray().quitAction()->trigger();
    QVERIFY(p.rig.window().hasClosed());
    QCOMPARE(p.rig.stored("CLI_GBC_BAT_TICKBOX"), std::optional<QString>("1"));
}

// A change of Start at login that fails is in the diagnostics (the log and
// stderr, no box), once, and cleared by the next change that works.
void TestHealthPanel::startAtLoginFailureInTheDiagnostics() {
    Panel p(QStringLiteral("5\r\n"));
    QAction* entry = p.panel->tray().autostartAction();
    p.rig.autostart.refusal = QStringLiteral("cannot create folder /home/me/.config/autostart");
    entry->trigger();
    QCOMPARE(p.rig.diagnostics.lastFailure(),
             QStringLiteral("Start at login not switched on: cannot create folder "
                            "/home/me/.config/autostart"));
    QVERIFY(p.rig.diagnostics.isReported(QStringLiteral("autostart")));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    p.rig.autostart.refusal.clear();
    entry->trigger();
    QVERIFY(p.rig.autostart.on);
    QVERIFY(!p.rig.diagnostics.isReported(QStringLiteral("autostart")));
}

void TestHealthPanel::statusMenuOpensOneHistoryWindow() {
    Panel p(QStringLiteral("5\r\n"));
    auto& window = p.rig.window();
    for (QLineEdit* box : {window.CURRENT_BLOCK_TEXTBOX, window.CONNECTIONS_TEXTBOX}) {
        std::unique_ptr<QMenu> menu(p.panel->statusMenu(box));
        const QList<QAction*> actions = menu->actions();
        QVERIFY(actions.size() > 3); // the box's own entries come first
        QCOMPARE(actions.at(actions.size() - 2)->text(), QStringLiteral("History…"));
        QCOMPARE(actions.last()->text(), QStringLiteral("Alerts…"));
        actions.at(actions.size() - 2)->trigger();
    }
    int shown = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* history = qobject_cast<tw::health::HistoryWindow*>(top);
        if (history && history->isVisible()) {
            ++shown;
            QCOMPARE(history->windowTitle(), QStringLiteral("TW-CLI-UI – History – TW-CLI-UI"));
        }
    }
    QCOMPARE(shown, 1);
}

void TestHealthPanel::alertSettingsReachStoreAndMonitor() {
    Panel p(QStringLiteral("5\r\n"));
    tw::health::AlertSettings settings;
    settings.enabled = false;
    settings.stallMinutes = 30;
    settings.failureCount = 5;
    settings.command = QStringLiteral("notify-send \"node, stalled\"");
    p.panel->applyAlertSettings(settings);
    QCOMPARE(p.monitor->settings(), settings);
    QCOMPARE(p.rig.stored("HEALTH_ALERTS_TICKBOX"), std::optional<QString>("0"));
    QCOMPARE(p.rig.stored("HEALTH_STALL_MINUTES"), std::optional<QString>("30"));
    QCOMPARE(p.rig.stored("HEALTH_FAILURE_COUNT"), std::optional<QString>("5"));
    QCOMPARE(p.rig.stored("HEALTH_ALERT_COMMAND"),
             std::optional<QString>("notify-send \"node, stalled\""));
    QCOMPARE(tw::health::AlertSettings::load(p.rig.settingsStore), settings);
}

// The monitor tells of an alert before it tells of the change behind it;
// the tray must already show that change when the alert's balloon leaves.
void TestHealthPanel::anAlertShowsTheDotItIsAbout() {
    Panel p(QString(), QStringLiteral("1"));
    QStringList atAlert;
    connect(p.monitor, &tw::health::HealthMonitor::alertRaised, p.monitor,
            [&] { atAlert << colourName(p.panel->tray().state()); });
    p.rig.button("GETBLOCKCOUNT_BUTTON")->click();
    p.rig.advance(10000);
    QCOMPARE(atAlert, QStringList{QStringLiteral("red")});
}

// Under run-under-xvfb.sh --tray (a real tray, trayer): the panel's tray
// icon comes up by itself, nobody shows it, whether the main window is shown
// (the icon follows its first paint) or not, and docks there carrying the
// dot, the tooltip and the menu of the node's state, whether that state
// changed before the icon came up or after.
void TestHealthPanel::trayComesUpByItself_data() {
    QTest::addColumn<bool>("windowShown");
    QTest::addColumn<QString>("client");  // empty: no query at all
    QTest::addColumn<bool>("queryFirst"); // the query before the event loop runs
    QTest::addColumn<QString>("colour");

    QTest::newRow("window shown, no query") << true << QString() << true << "grey";
    QTest::newRow("window not shown, no query") << false << QString() << true << "grey";
    QTest::newRow("an answer before it comes up") << false << "871234\r\n" << true << "green";
    QTest::newRow("a failure before it comes up") << false << "error: couldn't connect\r\n"
                                                  << true << "red";
    QTest::newRow("an answer after it came up") << true << "871234\r\n" << false << "green";
}

void TestHealthPanel::trayComesUpByItself() {
    if (qEnvironmentVariableIsSet("TW_XVFB_MISSING"))
        QSKIP(qPrintable(qEnvironmentVariable("TW_XVFB_MISSING")));
    if (!qEnvironmentVariableIsSet("TW_UNDER_TRAYER"))
        QSKIP("runs on a private X server with trayer (test_health_panel_tray_docked)");
    QFETCH(bool, windowShown);
    QFETCH(QString, client);
    QFETCH(bool, queryFirst);
    QFETCH(QString, colour);
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);

    Panel p(client, QStringLiteral("3"), windowShown);
    tw::health::Tray& tray = p.panel->tray();
    const auto query = [&p] {
        p.rig.button("GETBLOCKCOUNT_BUTTON")->click();
        p.rig.advance(10000);
    };
    if (!client.isEmpty() && queryFirst)
        query();
    QTRY_VERIFY_WITH_TIMEOUT(tray.isShown(), 10000);
    if (!client.isEmpty() && !queryFirst)
        query();
    QCOMPARE(colourName(tray.state()), colour);
    QTRY_VERIFY_WITH_TIMEOUT(!tray.geometry().isEmpty(), 10000);

    // What the desktop was handed: the platform's icon, the Tray's child.
    const auto* icon = tray.findChild<QSystemTrayIcon*>();
    QVERIFY(icon);
    QVERIFY(icon->isVisible());
    QCOMPARE(icon->toolTip(), tray.toolTip());
    QVERIFY(icon->toolTip().startsWith(QStringLiteral("TW-CLI-UI")));
    QCOMPARE(icon->contextMenu(), tray.menu());
    const int size = 32;
    const QImage picture = icon->icon().pixmap(size).toImage();
    QCOMPARE(picture.pixelColor(tray.dotCentre(size).toPoint()),
             tw::health::Tray::dotColour(tray.state()));
}

QTEST_MAIN(TestHealthPanel)
#include "tst_health_panel.moc"
