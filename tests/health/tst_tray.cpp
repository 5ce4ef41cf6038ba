// The tray icon: its dot's colour per state, its tooltip, its menu, the
// query entries following the main window's buttons, the notifier's routes,
// and (on a private X server with a real tray) that the icon docks.

#include "health/Notifier.h"
#include "health/Tray.h"
#include "tests/support/Fakes.h"
#ifdef TW_XDG_AUTOSTART
#include "platform/posix/Posix.h"
#endif

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#if QT_CONFIG(dbus) && defined(TW_HEALTH_DBUS)
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QVariantMap>
#endif

using tw::health::HealthColour;
using tw::health::Notifier;
using tw::health::Tray;

Q_DECLARE_METATYPE(HealthColour)

namespace {

// The program's own icon, as the panel uses it.
QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64})
        icon.addFile(QStringLiteral(TW_ICON_DIR "/%1.png").arg(size));
    return icon;
}

// Opens the tray's menu as a click on the icon does, and closes it again.
void openMenu(const Tray& tray) {
    tray.menu()->popup(QPoint(0, 0));
    QVERIFY(tray.menu()->isVisible());
    tray.menu()->hide();
}

QStringList entryTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    return texts;
}

// `xwininfo -root -tree`: every window on the display, children indented
// under their parent.
QString windowTree() {
    QProcess xwininfo;
    xwininfo.start("xwininfo", {"-root", "-tree"});
    if (!xwininfo.waitForFinished(10000))
        return QString();
    return QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
}

int indentOf(const QString& line) {
    int n = 0;
    while (n < line.size() && line[n] == ' ')
        ++n;
    return n;
}

// Whether a window of this program sits below trayer's panel window.
bool dockedInPanel(const QString& tree) {
    const QString program = '"' + QCoreApplication::applicationName() + '"';
    const QStringList lines = tree.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains("(\"panel\" \"trayer\")"))
            continue;
        const int panelIndent = indentOf(lines[i]);
        for (int j = i + 1; j < lines.size(); ++j) {
            if (lines[j].trimmed().isEmpty() || lines[j].trimmed().endsWith("child:") ||
                lines[j].trimmed().endsWith("children:"))
                continue;
            if (indentOf(lines[j]) <= panelIndent)
                break;
            if (lines[j].contains(program))
                return true;
        }
    }
    return false;
}

} // namespace

#if QT_CONFIG(dbus) && defined(TW_HEALTH_DBUS)
// A stand-in for the desktop's notification service on a private bus.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received; // "app|summary|body"

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        received << app + "|" + summary + "|" + body;
        return uint(received.size());
    }
};
#endif

class TestTray : public QObject {
    Q_OBJECT

private slots:
    void dotShowsTheState_data();
    void dotShowsTheState();
    void toolTipAndState();
    void menuEntries_data();
    void menuEntries();
    void stopTheNodeEntry();
    void startAtLogin_data();
    void startAtLogin();
    void startAtLoginOverTheRealFile();
    void queryEntriesFollowButtons_data();
    void queryEntriesFollowButtons();
    void withoutTrayNothingShows();
    void notifierOverDBus();
    void dockedInRealTray();
    void dockedWhenTheTrayComesLate();
};

void TestTray::dotShowsTheState_data() {
    QTest::addColumn<HealthColour>("state");
    QTest::addColumn<int>("size");
    QTest::addColumn<QColor>("dot");

    const QList<QPair<const char*, HealthColour>> states{{"grey", HealthColour::Grey},
                                                         {"yellow", HealthColour::Yellow},
                                                         {"green", HealthColour::Green},
                                                         {"red", HealthColour::Red}};
    const QList<QColor> expected{QColor(0x9a, 0x9a, 0x9a), QColor(0xff, 0xcc, 0x00),
                                 QColor(0x1e, 0xb4, 0x3c), QColor(0xe5, 0x1c, 0x1c)};
    for (const int size : {16, 22, 32, 64}) {
        for (int i = 0; i < states.size(); ++i)
            QTest::addRow("%s at %d px", states[i].first, size)
                << states[i].second << size << expected[i];
    }
}

// The icon the tray shows: the program's icon with the dot in the state's
// colour in its lower right.
void TestTray::dotShowsTheState() {
    QFETCH(HealthColour, state);
    QFETCH(int, size);
    QFETCH(QColor, dot);

    const QIcon base = programIcon();
    Tray tray(base);
    tray.setState(state, "tip");
    const QImage image = tray.icon().pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(size, size));
    const QPointF centre = Tray::dotCentre(size);
    QCOMPARE(image.pixelColor(int(centre.x()), int(centre.y())), dot);
    // The dot stays in the lower right: the upper left is the program's icon.
    const QImage plain = base.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.pixelColor(size / 4, size / 4), plain.pixelColor(size / 4, size / 4));
    QVERIFY(image.pixelColor(size / 4, size / 4).alpha() > 0);
}

void TestTray::toolTipAndState() {
    Tray tray(programIcon());
    tray.setState(HealthColour::Red, "TW-CLI-UI-BTC: log not updated by the query");
    QCOMPARE(tray.toolTip(), QString("TW-CLI-UI-BTC: log not updated by the query"));
    QCOMPARE(tray.state(), HealthColour::Red);
    tray.setState(HealthColour::Green, "TW-CLI-UI-BTC: block 871234");
    QCOMPARE(tray.toolTip(), QString("TW-CLI-UI-BTC: block 871234"));
    QCOMPARE(tray.state(), HealthColour::Green);
}

void TestTray::menuEntries_data() {
    QTest::addColumn<int>("entry"); // among the entries that are not separators
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("show") << 0 << "Show TW-CLI-UI" << QByteArray(SIGNAL(showRequested()));
    QTest::newRow("G-B-C") << 1 << "G-B-C" << QByteArray(SIGNAL(gbcRequested()));
    QTest::newRow("G-C-C") << 2 << "G-C-C" << QByteArray(SIGNAL(gccRequested()));
    QTest::newRow("node") << 3 << "Node…" << QByteArray(SIGNAL(nodeRequested()));
    QTest::newRow("nodes") << 4 << "Nodes…" << QByteArray(SIGNAL(nodesRequested()));
    QTest::newRow("history") << 5 << "History…" << QByteArray(SIGNAL(historyRequested()));
    QTest::newRow("alerts") << 6 << "Alerts…" << QByteArray(SIGNAL(alertsRequested()));
    QTest::newRow("stop the node") << 8 << "Stop the node when I log off or shut down"
                                   << QByteArray(SIGNAL(stopNodeSet(bool)));
    QTest::newRow("quit") << 9 << "Quit" << QByteArray(SIGNAL(quitRequested()));
}

// The menu's entries in order; each one raises its own signal and no other.
void TestTray::menuEntries() {
    QFETCH(int, entry);
    QFETCH(QString, text);
    QFETCH(QByteArray, signal);

    Tray tray(programIcon());
    QCOMPARE(
        entryTexts(tray.menu()),
        QStringList({"Show TW-CLI-UI", "G-B-C", "G-C-C", "Node…", "Nodes…", "History…", "Alerts…",
                     "Start at login", "Stop the node when I log off or shut down", "Quit"}));
    QList<QAction*> entries;
    for (QAction* action : tray.menu()->actions()) {
        if (!action->isSeparator())
            entries << action;
    }
    QCOMPARE(entries[entry]->text(), text);

    const QList<QByteArray> signalNames{
        SIGNAL(showRequested()),   SIGNAL(gbcRequested()),   SIGNAL(gccRequested()),
        SIGNAL(nodeRequested()),   SIGNAL(nodesRequested()), SIGNAL(historyRequested()),
        SIGNAL(alertsRequested()), SIGNAL(quitRequested()),  SIGNAL(stopNodeSet(bool))};
    QList<std::shared_ptr<QSignalSpy>> spies;
    for (const QByteArray& name : signalNames)
        spies << std::make_shared<QSignalSpy>(&tray, name.constData());
    entries[entry]->trigger();
    for (int i = 0; i < signalNames.size(); ++i)
        QCOMPARE(spies[i]->count(), signalNames[i] == signal ? 1 : 0);
}

// "Stop the node when I log off or shut down" shows the settings' tick; a
// click says the new one, the settings' own change says nothing.
void TestTray::stopTheNodeEntry() {
    Tray tray(programIcon());
    QAction* entry = tray.stopNodeAction();
    QVERIFY(entry->isCheckable() && entry->isEnabled() && !entry->isChecked());
    QSignalSpy told(&tray, &Tray::stopNodeSet);
    tray.setStopNode(true);
    QVERIFY(entry->isChecked());
    QCOMPARE(told.count(), 0);
    entry->trigger();
    QVERIFY(!entry->isChecked());
    QCOMPARE(told.count(), 1);
    QCOMPARE(told.first().first().toBool(), false);
}

void TestTray::startAtLogin_data() {
    QTest::addColumn<bool>("on");         // the system's state when the menu opens
    QTest::addColumn<QString>("refusal"); // why a change fails; empty: it works
    QTest::addColumn<bool>("after");      // the system's state after a click

    QTest::newRow("off, switched on") << false << "" << true;
    QTest::newRow("on, switched off") << true << "" << false;
    QTest::newRow("switching on refused")
        << false << "cannot create folder /home/me/.config/autostart" << false;
    QTest::newRow("switching off refused") << true << "cannot remove the entry" << true;
}

// "Start at login" is ticked as the system has it when the menu opens,
// even when that changed behind the panel's back; a click switches it and
// says how that went; after a refusal the tick is the system's again.
void TestTray::startAtLogin() {
    QFETCH(bool, on);
    QFETCH(QString, refusal);
    QFETCH(bool, after);

    tw::test::FakeAutostart autostart;
    Tray tray(programIcon());
    QAction* entry = tray.autostartAction();
    QVERIFY(!entry->isEnabled());
    tray.setAutostart(&autostart);
    QVERIFY(entry->isEnabled());
    QVERIFY(entry->isCheckable());
    QVERIFY(!entry->isChecked());

    autostart.on = on;
    openMenu(tray);
    QCOMPARE(entry->isChecked(), on);

    autostart.refusal = refusal;
    QSignalSpy told(&tray, &Tray::autostartSet);
    entry->trigger();
    QCOMPARE(autostart.on, after);
    QCOMPARE(entry->isChecked(), after);
    QCOMPARE(told.count(), 1);
    QCOMPARE(told.at(0).at(0).toBool(), !on);
    QCOMPARE(told.at(0).at(1).toString(), refusal);
}

// The same entry over the real autostart file: a click writes the file the
// desktop reads, and the file taken away by hand shows unticked the next
// time the menu opens.
void TestTray::startAtLoginOverTheRealFile() {
#ifdef TW_XDG_AUTOSTART
    QTemporaryDir config;
    QVERIFY(config.isValid());
    tw::platform::XdgAutostart autostart(QStringLiteral("TW-CLI-UI-BTC"),
                                         QStringLiteral("/opt/TW CLI/TW-CLI-UI-BTC"),
                                         config.filePath(QStringLiteral("autostart")));
    Tray tray(programIcon());
    tray.setAutostart(&autostart);
    QAction* entry = tray.autostartAction();
    QVERIFY(!entry->isChecked());
    entry->trigger();
    QVERIFY(entry->isChecked());
    QFile file(autostart.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\nExec=\"/opt/TW CLI/TW-CLI-UI-BTC\"\n"));
    QVERIFY(file.remove());
    QVERIFY(entry->isChecked());
    openMenu(tray);
    QVERIFY(!entry->isChecked());
#else
    QSKIP("the autostart file is the XDG platform's");
#endif
}

void TestTray::queryEntriesFollowButtons_data() {
    QTest::addColumn<bool>("enabledAtFirst");
    QTest::addColumn<QString>("changes");     // b: button, p: parent; + enable, - disable
    QTest::addColumn<QString>("entryStates"); // after each change: 1 enabled, 0 greyed

    QTest::newRow("enabled, then off and on") << true << "b- b+ b- b-"
                                              << "0 1 0 0";
    QTest::newRow("greyed at first, then on") << false << "b+ b-"
                                              << "1 0";
    QTest::newRow("the window greys its buttons") << true << "p- p+"
                                                  << "0 1";
    QTest::newRow("button off inside a greyed window") << true << "p- b- p+ b+"
                                                       << "0 0 0 1";
}

// G-B-C and G-C-C are greyed exactly when the main window's buttons are:
// the state they had when followed, and every change after, both ways.
void TestTray::queryEntriesFollowButtons() {
    QFETCH(bool, enabledAtFirst);
    QFETCH(QString, changes);
    QFETCH(QString, entryStates);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* gbcButton = new QPushButton("G-B-C", &window);
    auto* gccButton = new QPushButton("G-C-C", &window);
    layout->addWidget(gbcButton);
    layout->addWidget(gccButton);
    gbcButton->setEnabled(enabledAtFirst);
    gccButton->setEnabled(true);

    Tray tray(programIcon());
    tray.followEnabled(tray.gbcAction(), gbcButton);
    tray.followEnabled(tray.gccAction(), gccButton);
    QCOMPARE(tray.gbcAction()->isEnabled(), enabledAtFirst);
    QVERIFY(tray.gccAction()->isEnabled());

    const QStringList steps = changes.split(' ');
    const QStringList states = entryStates.split(' ');
    QCOMPARE(steps.size(), states.size());
    for (int i = 0; i < steps.size(); ++i) {
        QWidget* target = steps[i][0] == 'b' ? static_cast<QWidget*>(gbcButton) : &window;
        target->setEnabled(steps[i][1] == '+');
        QVERIFY2(tray.gbcAction()->isEnabled() == (states[i] == "1"),
                 qPrintable(QString("after %1").arg(steps[i])));
        // The other entry follows its own button only.
        QCOMPARE(tray.gccAction()->isEnabled(), gccButton->isEnabled());
    }
    // History and Alerts never follow anything.
    QVERIFY(tray.historyAction()->isEnabled());
    QVERIFY(tray.alertsAction()->isEnabled());
}

// With no system tray (the offscreen platform has none) the icon does not
// show and a notification has only the desktop's service, if any.
void TestTray::withoutTrayNothingShows() {
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this display has a system tray");
    Tray tray(programIcon());
    QVERIFY(!tray.show());
    QVERIFY(!tray.isShown());
    QVERIFY(!tray.showMessage("t", "x"));
    if (qEnvironmentVariableIsSet("TW_PRIVATE_SESSION_BUS"))
        return; // the D-Bus route is checked by notifierOverDBus
    // No session bus either: an address where none listens.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(dir.filePath("no-bus")));
    Notifier notifier(&tray);
    QVERIFY(!notifier.notify("Node stalled", "no new block for 90 min"));
    QCOMPARE(notifier.lastRoute(), Notifier::Route::None);
}

// On a private session bus (dbus-run-session) with a notification service
// of the test's own: the notification arrives with the program's name.
void TestTray::notifierOverDBus() {
#if QT_CONFIG(dbus) && defined(TW_HEALTH_DBUS)
    if (!qEnvironmentVariableIsSet("TW_PRIVATE_SESSION_BUS"))
        QSKIP("runs on a private session bus (test_health_notifier_dbus)");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.isConnected());
    NotificationServer server;
    QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &server,
                               QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerService("org.freedesktop.Notifications"));

    Notifier notifier(nullptr);
    QVERIFY(notifier.notify("TW-CLI-UI-BTC: node stalled", "no new block for 90 min"));
    QCOMPARE(notifier.lastRoute(), Notifier::Route::DBus);
    QTRY_COMPARE_WITH_TIMEOUT(
        server.received,
        QStringList{"TW-CLI-UI|TW-CLI-UI-BTC: node stalled|no new block for 90 min"}, 10000);
    bus.unregisterService("org.freedesktop.Notifications");
#else
    QSKIP("built without D-Bus");
#endif
}

// Under run-under-xvfb.sh --tray: a real tray (trayer) on a private X
// server takes the icon in.
void TestTray::dockedInRealTray() {
    if (qEnvironmentVariableIsSet("TW_XVFB_MISSING"))
        QSKIP(qPrintable(qEnvironmentVariable("TW_XVFB_MISSING")));
    if (!qEnvironmentVariableIsSet("TW_UNDER_TRAYER"))
        QSKIP("runs on a private X server with trayer (test_health_tray_docked)");
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    Tray tray(programIcon());
    tray.setState(HealthColour::Green, "TW-CLI-UI: block 871234");
    QVERIFY(tray.show());
    QVERIFY(tray.isShown());
    QTRY_VERIFY_WITH_TIMEOUT(!tray.geometry().isEmpty(), 10000);
    // The X server's own view: the icon's window is inside trayer's panel.
    QString tree;
    QTRY_VERIFY2_WITH_TIMEOUT(dockedInPanel(tree = windowTree()), qPrintable(tree), 10000);
}

// A tray that comes up after the program (a desktop panel started later)
// still gets the icon; until then nothing shows and no balloon is tried.
void TestTray::dockedWhenTheTrayComesLate() {
    if (!qEnvironmentVariableIsSet("TW_LATE_TRAY"))
        QSKIP("runs on a private X server without a tray (test_health_tray_late)");
    if (qEnvironmentVariableIsSet("TW_XVFB_MISSING"))
        QSKIP(qPrintable(qEnvironmentVariable("TW_XVFB_MISSING")));
    const QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (trayer.isEmpty())
        QSKIP("trayer is not installed");
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    Tray tray(programIcon());
    tray.setState(HealthColour::Green, "TW-CLI-UI: block 871234");
    QVERIFY(!tray.show());
    QVERIFY(!tray.isShown());
    QVERIFY(!tray.showMessage("Node stalled", "no new block for 90 min"));

    QProcess host;
    host.start(trayer, {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width",
                        "160", "--height", "32", "--transparent", "false"});
    QVERIFY(host.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(tray.isShown(), 10000);
    QString tree;
    QTRY_VERIFY2_WITH_TIMEOUT(dockedInPanel(tree = windowTree()), qPrintable(tree), 10000);
    host.kill();
    host.waitForFinished();
}

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
