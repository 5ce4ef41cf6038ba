#include "health/Tray.h"

#include "platform/Platform.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QWidget>

namespace tw::health {

namespace {
// The sizes a tray asks for, from a 16-pixel panel to a high-dpi one.
constexpr int IconSizes[] = {16, 22, 24, 32, 48, 64};
} // namespace

Tray::Tray(const QIcon& appIcon, QObject* parent)
    : QObject(parent), appIcon_(appIcon), menu_(new QMenu) {
    show_ = menu_->addAction(tr("Show TW-CLI-UI"));
    menu_->addSeparator();
    gbc_ = menu_->addAction(QStringLiteral("G-B-C"));
    gcc_ = menu_->addAction(QStringLiteral("G-C-C"));
    menu_->addSeparator();
    node_ = menu_->addAction(tr("Node…"));
    nodes_ = menu_->addAction(tr("Nodes…"));
    history_ = menu_->addAction(tr("History…"));
    alerts_ = menu_->addAction(tr("Alerts…"));
    menu_->addSeparator();
    autostart_ = menu_->addAction(tr("Start at login"));
    autostart_->setCheckable(true);
    autostart_->setEnabled(false);
    stopNode_ = menu_->addAction(tr("Stop the node when I log off or shut down"));
    stopNode_->setCheckable(true);
    menu_->addSeparator();
    quit_ = menu_->addAction(tr("Quit"));
    connect(show_, &QAction::triggered, this, &Tray::showRequested);
    connect(gbc_, &QAction::triggered, this, &Tray::gbcRequested);
    connect(gcc_, &QAction::triggered, this, &Tray::gccRequested);
    connect(node_, &QAction::triggered, this, &Tray::nodeRequested);
    connect(nodes_, &QAction::triggered, this, &Tray::nodesRequested);
    connect(history_, &QAction::triggered, this, &Tray::historyRequested);
    connect(alerts_, &QAction::triggered, this, &Tray::alertsRequested);
    connect(quit_, &QAction::triggered, this, &Tray::quitRequested);
    // Only a user's click changes the entry: setChecked from the system's
    // state does not trigger it.
    connect(autostart_, &QAction::triggered, this, &Tray::changeAutostart);
    connect(stopNode_, &QAction::triggered, this, &Tray::stopNodeSet);
    connect(menu_, &QMenu::aboutToShow, this, &Tray::readAutostart);
    setState(HealthColour::Grey, QStringLiteral("TW-CLI-UI"));
}

Tray::~Tray() {
    for (QObject* button : followed_.keys())
        button->removeEventFilter(this);
    delete tray_;
    delete menu_;
}

QColor Tray::dotColour(HealthColour colour) {
    switch (colour) {
    case HealthColour::Grey:
        return QColor(0x9a, 0x9a, 0x9a);
    case HealthColour::Yellow:
        return QColor(0xff, 0xcc, 0x00);
    case HealthColour::Green:
        return QColor(0x1e, 0xb4, 0x3c);
    case HealthColour::Red:
        return QColor(0xe5, 0x1c, 0x1c);
    }
    return Qt::black;
}

QPointF Tray::dotCentre(int size) {
    const qreal r = dotRadius(size);
    return {size - r - size / 32.0, size - r - size / 32.0};
}

qreal Tray::dotRadius(int size) {
    // Large enough to be told apart on a 16-pixel panel.
    return size * 0.22;
}

QPixmap Tray::renderIcon(const QIcon& appIcon, HealthColour colour, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    appIcon.paint(&p, QRect(0, 0, size, size));
    // A dark ring keeps the dot visible on a light icon or panel, a thin
    // light one on a dark panel.
    const QPointF centre = dotCentre(size);
    const qreal r = dotRadius(size);
    const qreal ring = std::max<qreal>(1.0, size / 16.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawEllipse(centre, r + ring, r + ring);
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawEllipse(centre, r + ring / 2, r + ring / 2);
    p.setBrush(dotColour(colour));
    p.drawEllipse(centre, r - ring / 2, r - ring / 2);
    return pixmap;
}

void Tray::setState(HealthColour colour, const QString& toolTip) {
    if (colour != state_)
        iconStale_ = true;
    state_ = colour;
    toolTip_ = toolTip;
    if (tray_) {
        tray_->setIcon(icon());
        tray_->setToolTip(toolTip_);
    }
}

QString Tray::toolTip() const {
    return toolTip_;
}

QIcon Tray::icon() const {
    if (iconStale_) {
        QIcon icon;
        for (const int size : IconSizes)
            icon.addPixmap(renderIcon(appIcon_, state_, size));
        icon_ = icon;
        iconStale_ = false;
    }
    return icon_;
}

bool Tray::show() {
    if (!tray_) {
        tray_ = new QSystemTrayIcon(icon(), this);
        tray_->setToolTip(toolTip_);
        tray_->setContextMenu(menu_);
        // A plain click on the icon brings the panel up, as the first entry
        // does.
        connect(tray_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason why) {
                    if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                        emit showRequested();
                });
    }
    // Shown even without a tray: the window system docks it when a tray
    // comes up later (a panel started after the program).
    tray_->show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool Tray::isShown() const {
    return tray_ && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool Tray::showMessage(const QString& title, const QString& text) {
    if (!isShown())
        return false;
    tray_->showMessage(title, text, icon());
    return true;
}

QRect Tray::geometry() const {
    return tray_ ? tray_->geometry() : QRect();
}

void Tray::setAutostart(platform::Autostart* autostart) {
    autostartEntry_ = autostart;
    autostart_->setEnabled(autostart != nullptr);
    readAutostart();
}

void Tray::readAutostart() {
    autostart_->setChecked(autostartEntry_ && autostartEntry_->enabled());
}

void Tray::changeAutostart(bool on) {
    if (!autostartEntry_)
        return;
    const platform::Result result = autostartEntry_->setEnabled(on);
    readAutostart();
    emit autostartSet(on, result.ok ? QString() : result.error);
}

void Tray::setStopNode(bool on) {
    stopNode_->setChecked(on);
}

void Tray::followEnabled(QAction* entry, QWidget* button) {
    entry->setEnabled(button->isEnabled());
    if (!followed_.contains(button)) {
        button->installEventFilter(this);
        connect(button, &QObject::destroyed, this,
                [this](QObject* gone) { followed_.remove(gone); });
    }
    followed_.insert(button, entry);
}

bool Tray::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (QAction* entry = followed_.value(watched))
            entry->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tw::health
