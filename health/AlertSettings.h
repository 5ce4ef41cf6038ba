#pragma once
#include <QString>

namespace tw::app {
class SettingsStore;
}

namespace tw::health {

// When the panel raises an alert about the node, kept in the
// configuration's own section of the store under keys of their own.
struct AlertSettings {
    static const QString EnabledKey;      // HEALTH_ALERTS_TICKBOX, "1" or "0"
    static const QString StallMinutesKey; // HEALTH_STALL_MINUTES
    static const QString FailureCountKey; // HEALTH_FAILURE_COUNT
    static const QString CommandKey;      // HEALTH_ALERT_COMMAND

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

    // A missing or unusable value (not a number, out of range) reads as its
    // default.
    static AlertSettings load(const app::SettingsStore& store);
    void save(app::SettingsStore& store) const;

    bool operator==(const AlertSettings&) const = default;
};

} // namespace tw::health
