#pragma once
// The panel in the system tray: the program's icon with a dot in the node's
// health colour, a tooltip, and a menu of the panel's main actions.

#include "health/HealthColour.h"

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPixmap>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace tw::platform {
class Autostart;
}

namespace tw::health {

class Tray : public QObject {
    Q_OBJECT
public:
    // appIcon: the program's own icon (the window icon).
    explicit Tray(const QIcon& appIcon, QObject* parent = nullptr);
    ~Tray() override;

    // The dot's colour and the tooltip, e.g. "TW-CLI-UI-BTC: block 871234".
    void setState(HealthColour colour, const QString& toolTip);
    HealthColour state() const { return state_; }
    QString toolTip() const;
    // The icon as the tray shows it now.
    QIcon icon() const;

    // Shows the icon when the desktop has a system tray, and as soon as one
    // comes up later; until then nothing shows and the answer is false. The
    // platform's tray icon is made at the first show: until then the state,
    // the tooltip and the menu are only kept (making it may ask the desktop
    // over D-Bus, and the icon's pictures are drawn with it), so a tray
    // shown after the main window costs that window's start-up nothing.
    bool show();
    bool isShown() const;
    // A balloon from the tray icon; false when the icon is not shown.
    bool showMessage(const QString& title, const QString& text);
    // Where the tray put the icon (empty when not docked or unknown).
    QRect geometry() const;

    QMenu* menu() const { return menu_; }
    QAction* showAction() const { return show_; }
    QAction* gbcAction() const { return gbc_; }
    QAction* gccAction() const { return gcc_; }
    QAction* nodeAction() const { return node_; }
    QAction* nodesAction() const { return nodes_; }
    QAction* historyAction() const { return history_; }
    QAction* alertsAction() const { return alerts_; }
    QAction* autostartAction() const { return autostart_; }
    QAction* stopNodeAction() const { return stopNode_; }
    QAction* quitAction() const { return quit_; }

    // The "Start at login" entry shows and changes whether `autostart`
    // starts this configuration at login: its tick is read afresh now and
    // each time the menu opens, and after a change it shows what the system
    // says. Greyed until one is given.
    void setAutostart(platform::Autostart* autostart);

    // Keeps `entry` enabled exactly when `button` is (the G-B-C and G-C-C
    // entries follow the main window's buttons): its state now, and every
    // change after.
    void followEnabled(QAction* entry, QWidget* button);

    // The tick of "Stop the node when I log off or shut down" as the
    // settings hold it; only a click on the entry tells stopNodeSet.
    void setStopNode(bool on);

    // The dot's colour for each state.
    static QColor dotColour(HealthColour colour);
    // The program's icon at `size` pixels with the dot in its lower right.
    static QPixmap renderIcon(const QIcon& appIcon, HealthColour colour, int size);
    // The dot's centre and radius at `size` pixels.
    static QPointF dotCentre(int size);
    static qreal dotRadius(int size);

signals:
    void showRequested();
    void gbcRequested();
    void gccRequested();
    void nodeRequested();
    void nodesRequested();
    void historyRequested();
    void alertsRequested();
    // The panel is to close as by its close button.
    void quitRequested();
    // Start at login was switched on or off (`on`) by the entry; error: why
    // it failed, empty when it worked.
    void autostartSet(bool on, const QString& error);
    // "Stop the node when I log off or shut down" was ticked (`on`) or
    // unticked by the entry.
    void stopNodeSet(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void readAutostart();
    void changeAutostart(bool on);

    QIcon appIcon_;
    HealthColour state_ = HealthColour::Grey;
    QString toolTip_;
    // The icon for state_, drawn when first asked for after a change.
    mutable QIcon icon_;
    mutable bool iconStale_ = true;
    // Null until the first show.
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* menu_;
    QAction* show_;
    QAction* gbc_;
    QAction* gcc_;
    QAction* node_;
    QAction* nodes_;
    QAction* history_;
    QAction* alerts_;
    QAction* autostart_;
    QAction* stopNode_;
    QAction* quit_;
    platform::Autostart* autostartEntry_ = nullptr;
    QHash<QObject*, QAction*> followed_; // button -> entry
};

} // namespace tw::health
