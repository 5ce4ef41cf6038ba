#include "health/HealthPanel.h"

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "health/AlertsDialog.h"
#include "health/HealthMonitor.h"
#include "health/HistoryWindow.h"
#include "health/NodeWindow.h"
#include "health/Notifier.h"
#include "health/Tray.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace tw::health {

HealthPanel::HealthPanel(app::MainWindow& window, const app::Services& services,
                         HealthMonitor& monitor, QString historyPath, WallClock now,
                         const QIcon& appIcon, platform::Autostart& autostart)
    : window_(window), services_(services), monitor_(monitor), historyPath_(std::move(historyPath)),
      now_(std::move(now)), tray_(new Tray(appIcon, this)), notifier_(new Notifier(tray_, this)) {
    tray_->followEnabled(tray_->gbcAction(), window_.GETBLOCKCOUNT_BUTTON);
    tray_->followEnabled(tray_->gccAction(), window_.GETCONNECTIONCOUNT_BUTTON);
    // A greyed button ignores click(): the tray's entries do what the
    // buttons would, and nothing while the buttons wait.
    connect(tray_, &Tray::gbcRequested, &window_,
            [this] { window_.GETBLOCKCOUNT_BUTTON->click(); });
    connect(tray_, &Tray::gccRequested, &window_,
            [this] { window_.GETCONNECTIONCOUNT_BUTTON->click(); });
    connect(tray_, &Tray::showRequested, this, &HealthPanel::showPanel);
    connect(tray_, &Tray::nodeRequested, this, &HealthPanel::showNode);
    connect(tray_, &Tray::nodesRequested, this, &HealthPanel::nodesRequested);
    connect(tray_, &Tray::historyRequested, this, &HealthPanel::showHistory);
    connect(tray_, &Tray::alertsRequested, this, &HealthPanel::editAlerts);
    // Quit closes the panel as its close button does: the close writes the
    // store.
    connect(tray_, &Tray::quitRequested, &window_, [this] { window_.close(); });
    tray_->setAutostart(&autostart);
    connect(tray_, &Tray::autostartSet, this, [this](bool on, const QString& error) {
        app::Diagnostics& diagnostics = services_.diagnostics;
        if (error.isEmpty())
            diagnostics.clear(QStringLiteral("autostart"));
        else
            diagnostics.report(QStringLiteral("autostart"), QString(),
                               (on ? tr("Start at login not switched on: %1")
                                   : tr("Start at login not switched off: %1"))
                                   .arg(error));
    });
    // The tray's tick and the dialog's stay in step through the monitor's
    // settings.
    tray_->setStopNode(monitor_.settings().stopNodeAtSessionEnd);
    connect(&monitor_, &HealthMonitor::settingsChanged, tray_,
            [this](const AlertSettings& settings) {
                tray_->setStopNode(settings.stopNodeAtSessionEnd);
            });
    connect(tray_, &Tray::stopNodeSet, this, &HealthPanel::setStopNodeAtSessionEnd);
    connect(&monitor_, &HealthMonitor::changed, this, &HealthPanel::updateTray);
    connect(&monitor_, &HealthMonitor::alertRaised, this, &HealthPanel::announce);
    connect(&monitor_, &HealthMonitor::alertCleared, this, &HealthPanel::announce);
    for (QLineEdit* box : {window_.CURRENT_BLOCK_TEXTBOX, window_.CONNECTIONS_TEXTBOX})
        box->installEventFilter(this);
    updateTray();
    // The tray icon comes up after the main window's first paint (see the
    // event filter), at the latest TrayLatestMs into the event loop: making
    // it may ask the desktop over D-Bus (its StatusNotifierWatcher) and
    // draws the icon's pictures, none of which the window has to wait for.
    // The tray holds its state until then.
    window_.installEventFilter(this);
    QTimer::singleShot(TrayLatestMs, this, &HealthPanel::bringUpTray);
}

HealthPanel::~HealthPanel() {
    delete history_.data();
    delete node_.data();
}

QMenu* HealthPanel::statusMenu(QLineEdit* box) {
    QMenu* menu = box->createStandardContextMenu();
    menu->addSeparator();
    connect(menu->addAction(Tray::tr("Node…")), &QAction::triggered, this, &HealthPanel::showNode);
    connect(menu->addAction(Tray::tr("Nodes…")), &QAction::triggered, this,
            &HealthPanel::nodesRequested);
    connect(menu->addAction(Tray::tr("History…")), &QAction::triggered, this,
            &HealthPanel::showHistory);
    connect(menu->addAction(Tray::tr("Alerts…")), &QAction::triggered, this,
            &HealthPanel::editAlerts);
    return menu;
}

bool HealthPanel::eventFilter(QObject* watched, QEvent* event) {
    // Queued: the paint ends first.
    if (watched == &window_ && event->type() == QEvent::Paint && !trayUp_)
        QTimer::singleShot(0, this, &HealthPanel::bringUpTray);
    if (event->type() == QEvent::ContextMenu) {
        auto* box = qobject_cast<QLineEdit*>(watched);
        if (box) {
            QMenu* menu = statusMenu(box);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

HistoryWindow* HealthPanel::showHistory() {
    if (!history_) {
        // A window of its own, not the main window's child: it stays open
        // beside the panel and is not kept above others with it.
        history_ = new HistoryWindow(services_.platform.files, now_, historyPath_,
                                     services_.store.section());
        history_->setAttribute(Qt::WA_DeleteOnClose);
    }
    history_->show();
    history_->raise();
    history_->activateWindow();
    return history_;
}

NodeWindow* HealthPanel::showNode() {
    if (!node_) {
        // Like the history window: a window of its own beside the panel.
        node_ = new NodeWindow(monitor_, services_.store.section());
        node_->setAttribute(Qt::WA_DeleteOnClose);
    }
    node_->show();
    node_->raise();
    node_->activateWindow();
    return node_;
}

void HealthPanel::editAlerts() {
    const std::optional<AlertSettings> edited =
        AlertsDialog::edit(monitor_.settings(), services_.store.section(), &window_);
    if (edited)
        applyAlertSettings(*edited);
}

void HealthPanel::applyAlertSettings(const AlertSettings& settings) {
    app::SettingsStore::Batch batch(services_.store, QStringLiteral("Alerts OK"));
    settings.save(services_.store);
    monitor_.setSettings(settings);
}

void HealthPanel::setStopNodeAtSessionEnd(bool on) {
    AlertSettings settings = monitor_.settings();
    settings.stopNodeAtSessionEnd = on;
    {
        app::SettingsStore::Batch batch(services_.store, QStringLiteral("the tray's entry"));
        services_.store.saveTickState(AlertSettings::StopNodeKey, on);
    }
    monitor_.setSettings(settings);
}

void HealthPanel::showPanel() {
    if (window_.isMinimized())
        window_.showNormal();
    else
        window_.show();
    window_.raise();
    window_.activateWindow();
}

void HealthPanel::bringUpTray() {
    if (trayUp_)
        return;
    trayUp_ = true;
    window_.removeEventFilter(this);
    tray_->show();
}

void HealthPanel::updateTray() {
    // "BTC-A · main · block 812,345 of 812,400 (...) · tip 5 min old · ...",
    // then the answers and what went wrong.
    const QString state = monitor_.stateLine();
    tray_->setState(monitor_.colour(),
                    services_.store.section() +
                        (state.isEmpty() ? QString() : QStringLiteral(" \u00b7 ") + state) +
                        QLatin1Char('\n') + monitor_.summary());
}

void HealthPanel::announce(const QString& title, const QString& text) {
    // The monitor tells of an alert before it tells of the change that
    // caused it: the balloon carries the icon as it is now.
    updateTray();
    const QString heading = services_.store.section() + QStringLiteral(": ") + title;
    services_.diagnostics.logEvent(heading + QStringLiteral(". ") + text);
    notifier_->notify(heading, text);
}

} // namespace tw::health
