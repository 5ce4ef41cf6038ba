#pragma once
#include <QString>

namespace tw::app {
class SettingsStore;
}

namespace tw::health {

// When the panel raises an alert about the node, kept in the
// configuration's own section of the store under keys of their own.
struct AlertSettings {
    static const QString EnabledKey;         // HEALTH_ALERTS_TICKBOX, "1" or "0"
    static const QString StallMinutesKey;    // HEALTH_STALL_MINUTES
    static const QString FailureCountKey;    // HEALTH_FAILURE_COUNT
    static const QString CommandKey;         // HEALTH_ALERT_COMMAND
    static const QString MetricsListenKey;   // HEALTH_METRICS_LISTEN
    static const QString MetricsFolderKey;   // HEALTH_METRICS_FOLDER
    static const QString WebhookKey;         // HEALTH_ALERT_WEBHOOK
    static const QString AlertmanagerUrlKey; // HEALTH_ALERTMANAGER_URL
    static const QString StopNodeKey;        // STOP_NODE_AT_SESSION_END_TICKBOX, "1" or "0"

    static constexpr int DefaultStallMinutes = 90;
    static constexpr int DefaultFailureCount = 3;
    static constexpr int MinStallMinutes = 1;
    static constexpr int MaxStallMinutes = 7 * 24 * 60;
    static constexpr int MinFailureCount = 1;
    static constexpr int MaxFailureCount = 100;

    bool enabled = true;
    // The block count has not risen for this long while queries answer.
    int stallMinutes = DefaultStallMinutes;
    // This many queries in a row failed.
    int failureCount = DefaultFailureCount;
    // Run like the user command when an alert is raised; empty: none.
    QString command;
    // Monitoring; empty means off. The metrics endpoint's host:port, the
    // folder of the metrics textfile, the URL each alert and all-clear is
    // posted to, Alertmanager's base URL. The metrics do not depend on
    // `enabled`; the webhook and Alertmanager get what is announced.
    QString metricsListen;
    QString metricsFolder;
    QString webhook;
    QString alertmanagerUrl;
    // Stop the node (the stop batch file, then the wait for the wallet and
    // the daemon) before the desktop session or the machine ends. Off in a
    // store that has no such key.
    bool stopNodeAtSessionEnd = false;

    // A missing or unusable value (not a number, out of range) reads as its
    // default.
    static AlertSettings load(const app::SettingsStore& store);
    void save(app::SettingsStore& store) const;

    bool operator==(const AlertSettings&) const = default;
};

} // namespace tw::health
