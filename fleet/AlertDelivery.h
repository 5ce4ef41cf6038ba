#pragma once
#include "health/HealthMonitor.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace tw::app {
class Diagnostics;
}

namespace tw::fleet {

// Sends the health monitor's alerts and all-clears elsewhere: to a webhook
// (one JSON object per event, POSTed) and to Alertmanager (its v2 API, the
// alert re-sent while it lasts and ended at the all-clear).
//
// All network work is asynchronous; each request is bounded in time and in
// the response read. Each target keeps its own queue and sends one request
// at a time, oldest first, so an alert's all-clear is never delivered before
// the alert. A request that fails (no answer, an HTTP status of 300 or more)
// is retried with a growing delay until it is delivered; the first failure
// of a run is reported once to the diagnostics and cleared by the next
// delivery. The all-clear of a delivered alert stays queued until it is
// delivered, whatever comes after it (see MaxQueued for what may go).
// Turning a target off (an empty URL) drops what it had queued.
class AlertDelivery : public QObject {
    Q_OBJECT
public:
    using Alert = health::HealthMonitor::Alert;
    using WallClock = std::function<qint64()>;
    using BlockCountSource = std::function<std::optional<qint64>()>;

    enum class Target { Webhook, Alertmanager };
    Q_ENUM(Target)

    // Diagnostics keys of the two targets' failures (delivery and URL).
    static const QString WebhookFailureKey;
    static const QString AlertmanagerFailureKey;

    // How long things take; the defaults are the program's, tests shorten them.
    struct Timing {
        int resendMs = 60'000;         // Alertmanager: re-send an active alert
        int firstRetryMs = 5'000;      // the delay after the first failure
        int maxRetryMs = 5 * 60'000;   // doubled after each failure up to this
        int requestTimeoutMs = 10'000; // one request, start to end
    };
    // The part of a response body that is read; the rest is not.
    static constexpr qint64 MaxResponseBytes = 4096;
    // Events a target holds at most while it does not take them, as long as
    // some can go without changing what the receiver ends up knowing: an
    // episode begun and over while waiting (its alert and all-clear both),
    // an alert told again before the first went out (the older one). An
    // all-clear whose alert was delivered always stays.
    static constexpr int MaxQueued = 64;

    // `node` names the node in what is sent (the configuration's name);
    // `wallClock` gives ms since the epoch for the times sent. Without a
    // network access manager, one of its own.
    AlertDelivery(app::Diagnostics& diagnostics, QString node, WallClock wallClock,
                  QNetworkAccessManager* network = nullptr, QObject* parent = nullptr);
    ~AlertDelivery() override;

    // Where the webhook's block_count comes from (unset or nullopt: left out).
    void setBlockCountSource(BlockCountSource source);
    void setTiming(const Timing& timing);
    const Timing& timing() const { return timing_; }
    // TLS settings for https targets (e.g. a private CA); the default
    // configuration otherwise.
    void setSslConfiguration(const QSslConfiguration& configuration);

    // Events waiting for the target (including the one being sent).
    int pending(Target target) const;
    // Failed attempts since the target's last delivery.
    int failedAttempts(Target target) const;

public slots:
    // An http or https URL that receives the JSON object; empty: off.
    void setWebhook(const QString& url);
    // Alertmanager's base URL ("http://host:9093"); empty: off.
    void setAlertmanager(const QString& baseUrl);
    // From HealthMonitor::alertChanged.
    void alertChanged(tw::health::HealthMonitor::Alert alert, bool active, const QString& title,
                      const QString& text);

signals:
    // After each request to a target: delivered, or why not.
    void attempted(tw::fleet::AlertDelivery::Target target, bool delivered, const QString& error);

private:
    struct Event {
        Alert alert = Alert::Stalled;
        bool firing = true;
        bool resend = false; // an Alertmanager re-send of an active alert
        QByteArray body;
    };
    struct Channel {
        Target target = Target::Webhook;
        QString key;
        QString urlText; // as set
        QUrl url;        // empty: off
        std::deque<Event> queue;
        QNetworkReply* reply = nullptr;
        QTimer deadline;
        QTimer retry;
        qint64 bodyRead = 0;
        QByteArray head; // the start of the response body
        bool tooLong = false;
        bool timedOut = false;
        int failures = 0;
        bool reported = false;
        std::array<bool, 3> open{}; // per alert: the last delivered was its start
    };
    struct Fresh {
        Alert alert;
        bool firing;
        QString title;
        QString text;
        qint64 at;
    };
    struct Episode {
        bool active = false;
        qint64 startMs = 0;
        QString title;
        QString text;
    };

    Channel& channel(Target target) { return target == Target::Webhook ? webhook_ : alertmanager_; }
    const Channel& channel(Target target) const {
        return target == Target::Webhook ? webhook_ : alertmanager_;
    }
    void setUrl(Channel& channel, const QString& text, const QString& what);
    void drop(Channel& channel);
    void enqueue(Channel& channel, Event event);
    // Drops one or two events by the rule above; false when none can go.
    bool shrink(Channel& channel);
    void sendNext(Channel& channel);
    void readSome(Channel& channel);
    void finished(Channel& channel);
    // The webhook's events of the moment before, with the block count now.
    void takeFresh();
    void resendActive();
    QByteArray webhookBody(Alert alert, bool firing, const QString& title, const QString& text,
                           qint64 now, std::optional<qint64> blockCount) const;
    QByteArray alertmanagerBody(Alert alert, const Episode& episode,
                                std::optional<qint64> endsAt) const;
    QUrl requestUrl(const Channel& channel) const;

    app::Diagnostics& diagnostics_;
    QString node_;
    WallClock wallClock_;
    QNetworkAccessManager* network_;
    BlockCountSource blockCount_;
    Timing timing_;
    std::optional<QSslConfiguration> ssl_;
    Channel webhook_;
    Channel alertmanager_;
    std::array<Episode, 3> episodes_;
    QTimer resend_;
    std::vector<Fresh> freshEvents_;
    QTimer fresh_;
};

} // namespace tw::fleet
