#include "health/HealthMonitor.h"

#include "app/Diagnostics.h"
#include "health/History.h"
#include "poll/ChainPoll.h"

#include <QDateTime>

namespace tw::health {

const QString HealthMonitor::CommandFailureKey = QStringLiteral("health-command");

HealthMonitor::HealthMonitor(const app::Services& services, WallClock wallClock, QObject* parent)
    : QObject(parent), services_(services), wallClock_(std::move(wallClock)),
      settings_(AlertSettings::load(services.store)) {}

void HealthMonitor::setSettings(const AlertSettings& settings) {
    settings_ = settings;
    emit settingsChanged(settings_);
}

HealthColour HealthMonitor::colour() const {
    if (runningBlock_ || runningConnections_)
        return HealthColour::Yellow;
    if (lastFailed_ || blockFailure_)
        return HealthColour::Red;
    if (!blocks_)
        return HealthColour::Grey;
    return stalled_ ? HealthColour::Red : HealthColour::Green;
}

QString HealthMonitor::timeText(qint64 wallMs) const {
    return QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("HH:mm:ss"));
}

QString HealthMonitor::minutesSince(qint64 at) const {
    const qint64 minutes = (services_.platform.clock.now() - at) / 60000;
    return minutes == 1 ? tr("1 minute") : tr("%L1 minutes").arg(minutes);
}

QString HealthMonitor::summary() const {
    QStringList lines;
    lines << (blocks_
                  ? tr("Block count: %L1 (%2)").arg(blocks_->value).arg(timeText(blocks_->shownAt))
                  : tr("Block count: \u2013 (no answer yet)"));
    if (connections_)
        lines << tr("Connections: %L1 (%2)")
                     .arg(connections_->value)
                     .arg(timeText(connections_->shownAt));
    if (blockFailure_)
        lines << tr("Block-count query failed: ") + poll::ChainPoll::reasonText(*blockFailure_);
    else if (lastFailed_ && connectionsFailure_)
        lines << tr("Connection-count query failed: ") +
                     poll::ChainPoll::reasonText(*connectionsFailure_);
    else if (stalled_)
        lines << tr("No new block since ") + timeText(lastRiseShown_);
    if (!warning_.isEmpty())
        lines << tr("Node warning: ") + warning_;
    return lines.join(QLatin1Char('\n'));
}

template <class F> void HealthMonitor::observe(F change) {
    const HealthColour colourBefore = colour();
    const QString summaryBefore = summary();
    const QString stateBefore = stateLine();
    const qint64 stateAtBefore = stateAt_;
    const QString stateFailureBefore = stateFailure_;
    change();
    if (colour() != colourBefore || summary() != summaryBefore || stateLine() != stateBefore ||
        stateAt_ != stateAtBefore || stateFailure_ != stateFailureBefore)
        emit changed();
}

void HealthMonitor::queryStarted(bool blockCount) {
    observe([&] { (blockCount ? runningBlock_ : runningConnections_) = true; });
}

void HealthMonitor::queryAnswered(bool blockCount, const QString& text) {
    const std::optional<qint64> number = history::wholeNumber(text);
    if (!number) {
        queryFailed(blockCount,
                    QStringLiteral(QT_TRANSLATE_NOOP("ChainPoll", "the answer was not a number")));
        return;
    }
    observe([&] {
        const qint64 now = services_.platform.clock.now();
        const qint64 shownNow = wallClock_ ? wallClock_() : now;
        (blockCount ? runningBlock_ : runningConnections_) = false;
        succeeded();
        if (!blockCount) {
            connectionsFailure_.reset();
            connections_ = Reading{*number, shownNow};
            return;
        }
        blockFailure_.reset();
        if (!blocks_ || *number > blocks_->value) {
            if (stalled_) {
                stalled_ = false;
                clear(Alert::Stalled, stallAnnounced_, tr("Node moving again"),
                      tr("The block count rose to %L1 after %2 at %L3.")
                          .arg(*number)
                          .arg(minutesSince(lastRise_))
                          .arg(blocks_->value));
            }
            if (blocks_)
                lastRealRise_ = now;
            lastRise_ = now;
            lastRiseShown_ = shownNow;
        }
        blocks_ = Reading{*number, shownNow};
        judgeStall(now, *number);
    });
}

bool HealthMonitor::syncing(qint64 now) const {
    const bool behind = (state_.headers && state_.blocks && *state_.headers > *state_.blocks) ||
                        state_.initialBlockDownload.value_or(false);
    const qint64 window = qint64(settings_.stallMinutes) * 60000;
    const auto within = [&](const std::optional<qint64>& at) { return at && now - *at < window; };
    return behind && (within(lastRealRise_) || within(lastSyncStep_));
}

void HealthMonitor::judgeStall(qint64 now, qint64 count) {
    const qint64 window = qint64(settings_.stallMinutes) * 60000;
    bool still;
    if (state_.tipTime) // the node's own measure; a rise the panel saw still counts
        still = (wallSeconds() - *state_.tipTime) * 1000 >= window &&
                !(lastRealRise_ && now - *lastRealRise_ < window);
    else
        still = now - lastRise_ >= window;
    const bool stall = still && !syncing(now);
    if (stall && !stalled_) {
        stalled_ = true;
        raise(Alert::Stalled, stallAnnounced_, tr("Node stalled"),
              state_.tipTime ? tr("The block count has stayed at %L1 (the node's tip is %2).")
                                   .arg(count)
                                   .arg(node::text::tipAge(*state_.tipTime, wallSeconds()))
                             : tr("The block count has stayed at %L1 for %2.")
                                   .arg(count)
                                   .arg(minutesSince(lastRise_)));
    } else if (!stall && stalled_) {
        stalled_ = false;
        clear(Alert::Stalled, stallAnnounced_, tr("Node moving again"),
              syncing(now) ? tr("The node is catching up (block %L1).").arg(count)
                           : tr("The node's tip is recent again (block %L1).").arg(count));
    }
}

void HealthMonitor::nodeStateRead(const node::NodeState& state, const QString& failure) {
    observe([&] {
        stateFailure_ = failure;
        if (state.empty())
            return;
        const qint64 now = services_.platform.clock.now();
        const qint64 shownNow = wallClock_ ? wallClock_() : now;
        const bool headersRose =
            state.headers && state_.headers && *state.headers > *state_.headers;
        const bool progressRose = state.verificationProgress && state_.verificationProgress &&
                                  *state.verificationProgress > *state_.verificationProgress;
        const bool behind = (state.headers && state.blocks && *state.headers > *state.blocks) ||
                            state.initialBlockDownload.value_or(false);
        // The first state that shows the node behind starts the watch of its
        // sync, as the first answer starts the watch of the block count.
        if (headersRose || progressRose || (behind && !lastSyncStep_))
            lastSyncStep_ = now;
        state_ = state;
        stateAt_ = shownNow;
        if (state.verificationProgress) {
            progress_.append({shownNow, *state.verificationProgress});
            // The last half hour, at most 60 samples: the rate as it is now.
            while (progress_.size() > 60 || shownNow - progress_.front().timeMs > 30 * 60000)
                progress_.removeFirst();
        }
        if (blocks_)
            judgeStall(now, blocks_->value);
        if (state.warnings) {
            const QString text = *state.warnings;
            if (!text.isEmpty() && text != warning_) {
                warning_ = text;
                raise(Alert::Warning, warningAnnounced_, tr("Node warning"), text);
            } else if (text.isEmpty() && !warning_.isEmpty()) {
                warning_.clear();
                clear(Alert::Warning, warningAnnounced_, tr("Node warning gone"),
                      tr("The node no longer warns."));
            }
        }
    });
}

std::optional<qint64> HealthMonitor::blockCount() const {
    return blocks_ ? std::optional(blocks_->value) : std::nullopt;
}

std::optional<qint64> HealthMonitor::connectionCount() const {
    return connections_ ? std::optional(connections_->value) : std::nullopt;
}

std::optional<qint64> HealthMonitor::lastBlockChangeMs() const {
    return blocks_ ? std::optional(lastRiseShown_) : std::nullopt;
}

std::optional<qint64> HealthMonitor::lastAnswerMs(bool blockCount) const {
    const std::optional<Reading>& reading = blockCount ? blocks_ : connections_;
    return reading ? std::optional(reading->shownAt) : std::nullopt;
}

bool HealthMonitor::alertActive(Alert alert) const {
    switch (alert) {
    case Alert::Stalled:
        return stalled_;
    case Alert::NotAnswering:
        return failing_;
    case Alert::Warning:
        return !warning_.isEmpty();
    }
    return false;
}

qint64 HealthMonitor::wallSeconds() const {
    return (wallClock_ ? wallClock_() : services_.platform.clock.now()) / 1000;
}

std::optional<qint64> HealthMonitor::timeLeft() const {
    return node::estimateTimeLeft(progress_);
}

QString HealthMonitor::stateLine() const {
    if (state_.empty())
        return {};
    return node::text::trayLine(QString(), state_, timeLeft(), wallSeconds());
}

QString HealthMonitor::lastFailure() const {
    if (blockFailure_)
        return tr("Block-count query failed: ") + poll::ChainPoll::reasonText(*blockFailure_);
    if (connectionsFailure_)
        return tr("Connection-count query failed: ") +
               poll::ChainPoll::reasonText(*connectionsFailure_);
    return {};
}

void HealthMonitor::queryFailed(bool blockCount, const QString& reason) {
    observe([&] {
        (blockCount ? runningBlock_ : runningConnections_) = false;
        (blockCount ? blockFailure_ : connectionsFailure_) = reason;
        ++(blockCount ? blockFailures_ : connectionFailures_);
        lastFailed_ = true;
        ++failuresInRow_;
        if (!failing_ && failuresInRow_ >= settings_.failureCount) {
            failing_ = true;
            raise(Alert::NotAnswering, failureAnnounced_, tr("Node not answering"),
                  failuresInRow_ == 1 ? tr("The last query got no answer (%1).")
                                            .arg(poll::ChainPoll::reasonText(reason))
                                      : tr("The last %L1 queries got no answer (the last: %2).")
                                            .arg(failuresInRow_)
                                            .arg(poll::ChainPoll::reasonText(reason)));
        }
    });
}

void HealthMonitor::succeeded() {
    lastFailed_ = false;
    const int failures = failuresInRow_;
    failuresInRow_ = 0;
    if (!failing_)
        return;
    failing_ = false;
    clear(Alert::NotAnswering, failureAnnounced_, tr("Node answering again"),
          failures == 1 ? tr("The node answered again after 1 failed query.")
                        : tr("The node answered again after %L1 failed queries.").arg(failures));
}

void HealthMonitor::raise(Alert alert, bool& announced, const QString& title, const QString& text) {
    if (!settings_.enabled)
        return;
    announced = true;
    emit alertRaised(title, text);
    emit alertChanged(alert, true, title, text);
    runAlertCommand();
}

void HealthMonitor::clear(Alert alert, bool& announced, const QString& title, const QString& text) {
    if (!announced)
        return;
    announced = false;
    emit alertCleared(title, text);
    emit alertChanged(alert, false, title, text);
}

void HealthMonitor::runAlertCommand() {
    // Like the user command after a block-count query: started, not waited
    // for, a failure to start (or one still running from the last alert)
    // said once in the diagnostics. No command: nothing to run.
    const QString command = settings_.command;
    if (command.trimmed().isEmpty()) {
        services_.diagnostics.clear(CommandFailureKey);
        return;
    }
    const platform::Result started =
        services_.platform.starter.startUserCommand(command, QStringLiteral("alert command"));
    if (!started) {
        services_.diagnostics.report(CommandFailureKey, QString(),
                                     QStringLiteral("Alert command not run: ") + started.error);
        return;
    }
    services_.diagnostics.clear(CommandFailureKey);
}

void connectMonitor(poll::ChainPoll& poll, HealthMonitor& monitor) {
    QObject::connect(&poll, &poll::ChainPoll::queryStarted, &monitor, &HealthMonitor::queryStarted);
    QObject::connect(&poll, &poll::ChainPoll::queryAnswered, &monitor,
                     &HealthMonitor::queryAnswered);
    QObject::connect(&poll, &poll::ChainPoll::queryFailed, &monitor, &HealthMonitor::queryFailed);
}

} // namespace tw::health
