#pragma once
// A desktop notification: a balloon from the tray icon while it is shown,
// otherwise the freedesktop notification service over D-Bus where the
// program has D-Bus, otherwise nothing.

#include <QObject>
#include <QString>

namespace tw::health {

class Tray;

class Notifier : public QObject {
    Q_OBJECT
public:
    enum class Route { None, Tray, DBus };

    // tray may be null (no tray at all).
    explicit Notifier(Tray* tray, QObject* parent = nullptr);

    // Sends it on the first route that is there; false when none is. The
    // D-Bus call is sent without waiting for the answer.
    bool notify(const QString& title, const QString& text);
    // The route the last notification took.
    Route lastRoute() const { return lastRoute_; }

    static const QString AppName; // "TW-CLI-UI"

private:
    bool notifyOverDBus(const QString& title, const QString& text);

    Tray* tray_;
    Route lastRoute_ = Route::None;
};

} // namespace tw::health
