#include "health/AlertSettings.h"

#include "app/SettingsStore.h"

namespace tw::health {

const QString AlertSettings::EnabledKey = QStringLiteral("HEALTH_ALERTS_TICKBOX");
const QString AlertSettings::StallMinutesKey = QStringLiteral("HEALTH_STALL_MINUTES");
const QString AlertSettings::FailureCountKey = QStringLiteral("HEALTH_FAILURE_COUNT");
const QString AlertSettings::CommandKey = QStringLiteral("HEALTH_ALERT_COMMAND");
const QString AlertSettings::MetricsListenKey = QStringLiteral("HEALTH_METRICS_LISTEN");
const QString AlertSettings::MetricsFolderKey = QStringLiteral("HEALTH_METRICS_FOLDER");
const QString AlertSettings::WebhookKey = QStringLiteral("HEALTH_ALERT_WEBHOOK");
const QString AlertSettings::AlertmanagerUrlKey = QStringLiteral("HEALTH_ALERTMANAGER_URL");
const QString AlertSettings::StopNodeKey = QStringLiteral("STOP_NODE_AT_SESSION_END_TICKBOX");

namespace {

// A whole decimal number within [min, max]; blanks around it are allowed (a
// hand-edited file), anything else reads as the default.
int boundedNumber(const app::SettingsStore& store, const QString& key, int defaultValue, int min,
                  int max) {
    const QString text = store.GetSetting(key, QString()).trimmed();
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < min || value > max)
        return defaultValue;
    return static_cast<int>(value);
}

} // namespace

AlertSettings AlertSettings::load(const app::SettingsStore& store) {
    AlertSettings settings;
    settings.enabled = store.tickState(EnabledKey, settings.enabled ? 1 : 0) == 1;
    settings.stallMinutes = boundedNumber(store, StallMinutesKey, DefaultStallMinutes,
                                          MinStallMinutes, MaxStallMinutes);
    settings.failureCount = boundedNumber(store, FailureCountKey, DefaultFailureCount,
                                          MinFailureCount, MaxFailureCount);
    settings.command = store.GetSetting(CommandKey, QString());
    // Blanks around a hand-edited value are no part of an address.
    settings.metricsListen = store.GetSetting(MetricsListenKey, QString()).trimmed();
    settings.metricsFolder = store.GetSetting(MetricsFolderKey, QString());
    settings.webhook = store.GetSetting(WebhookKey, QString()).trimmed();
    settings.alertmanagerUrl = store.GetSetting(AlertmanagerUrlKey, QString()).trimmed();
    settings.stopNodeAtSessionEnd = store.tickState(StopNodeKey, 0) == 1;
    return settings;
}

void AlertSettings::save(app::SettingsStore& store) const {
    store.saveTickState(EnabledKey, enabled);
    store.SaveSetting(StallMinutesKey, QString::number(stallMinutes));
    store.SaveSetting(FailureCountKey, QString::number(failureCount));
    store.SaveSetting(CommandKey, command);
    store.SaveSetting(MetricsListenKey, metricsListen);
    store.SaveSetting(MetricsFolderKey, metricsFolder);
    store.SaveSetting(WebhookKey, webhook);
    store.SaveSetting(AlertmanagerUrlKey, alertmanagerUrl);
    store.saveTickState(StopNodeKey, stopNodeAtSessionEnd);
}

} // namespace tw::health
