#include "health/Notifier.h"

#include "health/Tray.h"

#include <QtGlobal>
// TW_HEALTH_DBUS: the build found Qt's D-Bus module (the Windows build has none).
#if QT_CONFIG(dbus) && defined(TW_HEALTH_DBUS)
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#endif

namespace tw::health {

const QString Notifier::AppName = QStringLiteral("TW-CLI-UI");

Notifier::Notifier(Tray* tray, QObject* parent) : QObject(parent), tray_(tray) {}

bool Notifier::notify(const QString& title, const QString& text) {
    if (tray_ && tray_->showMessage(title, text)) {
        lastRoute_ = Route::Tray;
        return true;
    }
    if (notifyOverDBus(title, text)) {
        lastRoute_ = Route::DBus;
        return true;
    }
    lastRoute_ = Route::None;
    return false;
}

bool Notifier::notifyOverDBus(const QString& title, const QString& text) {
#if QT_CONFIG(dbus) && defined(TW_HEALTH_DBUS)
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints,
    // expire_timeout (-1: the server's default).
    call << AppName << quint32(0) << QStringLiteral("io.github.tw_cli_ui.TWCLIUI") << title << text
         << QStringList() << QVariantMap() << qint32(-1);
    // Queued without waiting for the answer: the server may be slow or
    // missing, and the panel never blocks on it.
    return bus.send(call);
#else
    Q_UNUSED(title);
    Q_UNUSED(text);
    return false;
#endif
}

} // namespace tw::health
