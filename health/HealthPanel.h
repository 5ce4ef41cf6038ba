#pragma once
// The node's health around the main window: the tray icon with its dot,
// tooltip and menu; the notifications of the monitor's alerts; the history
// window and the alerts dialog, opened from the tray's menu and from the
// context menu of the main window's two status boxes. The main window gets
// no new visible control.

#include "app/Services.h"
#include "health/AlertSettings.h"
#include "health/History.h"

#include <QObject>
#include <QPointer>

class QIcon;
class QLineEdit;
class QMenu;

namespace tw::app {
class MainWindow;
}

namespace tw::health {

class AlertsDialog;
class HealthMonitor;
class HistoryWindow;
class NodeWindow;
class Notifier;
class Tray;

class HealthPanel : public QObject {
    Q_OBJECT
public:
    // The tray shows only where the desktop has one. Its icon comes up by
    // itself once the main window has been painted for the first time, or
    // TrayLatestMs after the event loop starts if the window has not been
    // by then (not shown, minimised): the window's start never waits for it.
    static constexpr int TrayLatestMs = 1000;
    // autostart: whether this configuration starts at login, for the tray's
    // "Start at login" entry.
    HealthPanel(app::MainWindow& window, const app::Services& services, HealthMonitor& monitor,
                QString historyPath, WallClock now, const QIcon& appIcon,
                platform::Autostart& autostart);
    ~HealthPanel() override;

    Tray& tray() const { return *tray_; }
    Notifier& notifier() const { return *notifier_; }
    // The context menu of a status box: its own entries, then Node…, Nodes…,
    // History… and Alerts…. The caller owns it.
    QMenu* statusMenu(QLineEdit* box);
    // Opens (or raises) the history window; the same window every time.
    HistoryWindow* showHistory();
    // Opens (or raises) the Node window; the same window every time.
    NodeWindow* showNode();
    // Opens the alerts dialog (modal); OK applies and saves.
    void editAlerts();
    // The alert settings from the dialog: into the store and the monitor.
    void applyAlertSettings(const AlertSettings& settings);
    // The tray's "Stop the node when I log off or shut down": its one key
    // into the store, the settings into the monitor (whose settingsChanged
    // the session's end follows).
    void setStopNodeAtSessionEnd(bool on);
    // Shows the main window and brings it to the front (the tray's first
    // entry, or another program asking for this configuration's panel).
    void showPanel();

signals:
    // The tray's Nodes… entry: every configuration in one window (built by
    // the composition, which knows them all).
    void nodesRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bringUpTray();
    void updateTray();
    void announce(const QString& title, const QString& text);

    app::MainWindow& window_;
    app::Services services_;
    HealthMonitor& monitor_;
    QString historyPath_;
    WallClock now_;
    Tray* tray_;
    Notifier* notifier_;
    bool trayUp_ = false;
    QPointer<HistoryWindow> history_;
    QPointer<NodeWindow> node_;
};

} // namespace tw::health
