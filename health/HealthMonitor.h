#pragma once
#include "app/Services.h"
#include "health/AlertSettings.h"
#include "health/HealthColour.h"
#include "health/History.h"
#include "node/NodeState.h"

#include <QObject>
#include <QString>

#include <optional>

namespace tw::poll {
class ChainPoll;
}

namespace tw::health {

// Follows the query cycles and keeps the node's health: the last block count
// and connection count with the time of each, the colour of the tray's dot,
// a short summary, and the alerts.
//
// Two kinds of alert episode, each announced once when it begins
// (alertRaised, and the alert command) and once when it ends (alertCleared):
// - stall: the block count has not risen for at least the stall time while
//   the node is not catching up; it ends with the next rise. Where the node
//   says its tip's time, the tip's age is the measure (a panel started
//   beside a node stuck for hours says so at once); otherwise the time since
//   the panel saw the count rise, the first answer counting as a rise. A
//   node that is behind (headers ahead of blocks, or in initial block
//   download) and whose blocks, headers or progress rose within the stall
//   time is syncing, not stalled.
// - warning: the node's own warnings text became non-empty (once per
//   distinct text); it ends when the node has no warning.
// - failure: the given number of queries in a row (either kind) got no
//   usable answer; the next usable answer ends it.
// An answer that is not a whole number counts as a failed query. With alerts
// off, episodes are still followed for the colour but nothing is announced;
// an episode announced before alerts were turned off still gets its
// all-clear.
class HealthMonitor : public QObject {
    Q_OBJECT
public:
    // The kinds of alert episode, for those who deliver them elsewhere
    // (a webhook, Alertmanager) and for the metrics.
    enum class Alert { Stalled, NotAnswering, Warning };
    Q_ENUM(Alert)

    // Diagnostics key of an alert command that could not be started.
    static const QString CommandFailureKey;

    // Loads the alert settings from the store. Durations (the stall time)
    // are measured on the platform's clock; the times the summary shows come
    // from the wall clock (empty: the platform clock's, as for the tests'
    // virtual clock).
    HealthMonitor(const app::Services& services, WallClock wallClock, QObject* parent = nullptr);

    // New alert settings (the caller saves them); they count from the next
    // answer on.
    void setSettings(const AlertSettings& settings);
    const AlertSettings& settings() const { return settings_; }

    HealthColour colour() const;
    // One to three lines for the tray's tooltip.
    QString summary() const;
    bool stalled() const { return stalled_; }
    bool failing() const { return failing_; }

    // Fed by the poll (see connectMonitor).
    void queryStarted(bool blockCount);
    void queryAnswered(bool blockCount, const QString& text);
    void queryFailed(bool blockCount, const QString& reason);
    // What the node said about itself after a block-count answer (empty
    // when it said nothing; `failure` then says why).
    void nodeStateRead(const node::NodeState& state, const QString& failure);

    // The node's last state that said anything, and when it came (wall
    // clock ms; 0 before the first).
    const node::NodeState& nodeState() const { return state_; }
    qint64 nodeStateAt() const { return stateAt_; }
    // Why the last state call round got nothing; empty when it did.
    const QString& nodeStateFailure() const { return stateFailure_; }
    // The last query failure with its cause (the client's words), or empty.
    QString lastFailure() const;
    // Seconds to the end of the sync, from the recent progress; nullopt
    // when there is not enough to go on.
    std::optional<qint64> timeLeft() const;
    // The node's state in one line for the tray ("main · block 812,345 of
    // ..."); empty before the node said anything.
    QString stateLine() const;
    // The wall clock's time, seconds since the epoch.
    qint64 wallSeconds() const;

    // For the metrics: the last block count and connection count that were
    // numbers; when the block count last rose (wall clock ms; nullopt before
    // the first answer); how many queries of each kind got no usable answer
    // since the start; whether the last finished query answered; whether an
    // episode of `alert` is going on (followed with alerts off too).
    std::optional<qint64> blockCount() const;
    std::optional<qint64> connectionCount() const;
    std::optional<qint64> lastBlockChangeMs() const;
    // When the query of that kind last answered a number (wall clock ms).
    std::optional<qint64> lastAnswerMs(bool blockCount) const;
    qint64 failuresTotal(bool blockCount) const {
        return blockCount ? blockFailures_ : connectionFailures_;
    }
    bool up() const { return blocks_.has_value() && !lastFailed_; }
    bool alertActive(Alert alert) const;
signals:
    // The colour or the summary changed.
    void changed();
    // New settings from the dialog (the monitoring parts serve others).
    void settingsChanged(const tw::health::AlertSettings& settings);
    void alertRaised(const QString& title, const QString& text);
    void alertCleared(const QString& title, const QString& text);
    // The same announcements with their kind: `active` true when raised,
    // false at the all-clear; `title` and `text` as above. Emitted right
    // after alertRaised / alertCleared.
    void alertChanged(tw::health::HealthMonitor::Alert alert, bool active, const QString& title,
                      const QString& text);

private:
    struct Reading {
        qint64 value = 0;
        qint64 shownAt = 0; // wall-clock time of the answer
    };

    void failed(bool blockCount, const QString& reason);
    // The node is behind and something of its sync rose within the stall time.
    bool syncing(qint64 now) const;
    // Raises or ends the stall episode by the rule above; `count` is the
    // last block count.
    void judgeStall(qint64 now, qint64 count);
    void succeeded();
    void raise(Alert alert, bool& announced, const QString& title, const QString& text);
    void clear(Alert alert, bool& announced, const QString& title, const QString& text);
    void runAlertCommand();
    // The wall clock's time of day.
    QString timeText(qint64 wallMs) const;
    // "1 minute", "90 minutes" since `at` on the platform clock.
    QString minutesSince(qint64 at) const;

    // Runs `change` and emits changed() when it changed colour or summary.
    template <class F> void observe(F change);

    app::Services services_;
    WallClock wallClock_;
    AlertSettings settings_;

    bool runningBlock_ = false;
    bool runningConnections_ = false;
    std::optional<Reading> blocks_;      // the last block count that was a number
    std::optional<Reading> connections_; // the last connection count that was a number
    qint64 lastRise_ = 0;                // when the block count last rose (platform clock)
    qint64 lastRiseShown_ = 0;           // the same on the wall clock
    std::optional<qint64> lastRealRise_; // the count last rose between two answers
    std::optional<qint64> lastSyncStep_; // headers or progress last rose (platform clock)
    node::NodeState state_;
    qint64 stateAt_ = 0;
    QString stateFailure_;
    QList<node::ProgressSample> progress_; // the recent progress, oldest first
    QString warning_;                      // the warning text last announced
    bool warningAnnounced_ = false;
    bool lastFailed_ = false;                   // the last finished query got no usable answer
    std::optional<QString> blockFailure_;       // the last block-count query failed: why
    std::optional<QString> connectionsFailure_; // the same for the connection count
    int failuresInRow_ = 0;
    qint64 blockFailures_ = 0;
    qint64 connectionFailures_ = 0;

    bool stalled_ = false;
    bool stallAnnounced_ = false;
    bool failing_ = false;
    bool failureAnnounced_ = false;
};

// The poll's query signals into the monitor.
void connectMonitor(poll::ChainPoll& poll, HealthMonitor& monitor);

} // namespace tw::health
