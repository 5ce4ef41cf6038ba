#pragma once
#include "node/NodeState.h"
// The answer history as strips over one time axis: the block count, the
// node's sync (verification progress and the blocks behind the headers,
// only when the range has rows that say them), the peer connections (each
// with its failed queries marked in red), and the time between block-count
// changes; above them a line on the block count and one on the sync (the
// tip's age, and the time left while the node is behind). Drawn with
// QPainter.

#include "health/HistoryFile.h"

#include <QColor>
#include <QList>
#include <QWidget>

#include <optional>

namespace tw::health {

enum class HistoryRange { Last24Hours, Last7Days };

qint64 rangeLengthMs(HistoryRange range);

// "42 s", "9 min 48 s", "47 min", "3 h 05 min", "2 d 3 h".
QString formatDuration(qint64 ms);

// One reading of the verification progress (0 to 1) at a time (UTC ms);
// node::estimateTimeLeft turns the recent ones into a time left.
using ProgressSample = node::ProgressSample;

class HistoryChart : public QWidget {
    Q_OBJECT
public:
    static const QColor BlocksColour;
    static const QColor ConnectionsColour;
    static const QColor IntervalColour;
    static const QColor FailureColour;
    static const QColor ProgressColour;
    static const QColor GapColour;
    // The estimate takes the samples of this long before the newest one,
    // and is shown only while the newest is this recent.
    static constexpr qint64 EstimateWindowMs = 60 * 60 * 1000;
    static constexpr qint64 EstimateFreshMs = 15 * 60 * 1000;

    explicit HistoryChart(QWidget* parent = nullptr);

    // Plots the rows that fall in the range ending at nowMs (UTC ms since
    // the epoch); rows outside it are not drawn.
    void setHistory(const QList<HistoryRow>& rows, qint64 nowMs, HistoryRange range);

    qint64 fromMs() const { return from_; }
    qint64 toMs() const { return to_; }
    // What is drawn: answers plotted and failed queries marked, per kind.
    int pointCount(HistoryRow::Kind kind) const;
    int failureCount(HistoryRow::Kind kind) const;
    // Each block-count change after the first one in the range: the time
    // since the change before it, in time order.
    QList<qint64> changeIntervalsMs() const;
    std::optional<qint64> lastChangeMs() const { return lastChange_; }
    // The line of text above the strips.
    QString summary() const { return summary_; }

    // The sync strip's readings in the range: the verification progress
    // and the blocks behind the headers. The strip is drawn when there is
    // either.
    int progressPointCount() const { return int(progress_.size()); }
    int gapPointCount() const { return int(gap_.size()); }
    bool showsSync() const { return !progress_.isEmpty() || !gap_.isEmpty(); }
    // Now less the tip time of the latest row (up to now) that has one.
    std::optional<qint64> tipAgeMs() const;
    // The time left of the sync, from the verification progress of the last
    // hour of block-count rows, while the latest state says the node is
    // behind (initial download, or more than one block behind the headers)
    // and its newest reading is recent.
    std::optional<qint64> timeLeftSeconds() const { return timeLeft_; }
    // The second line above the strips: "Verification 99.12 % · 12 blocks
    // behind the headers · initial download · tip 5 min old · about 3 h 05
    // min left"; the parts that are unknown are left out, empty when none
    // is known.
    QString syncSummary() const { return syncSummary_; }

    // A series' colour as drawn: lighter or darker where the palette's base
    // colour, the plots' background, needs it to stand out (3:1).
    QColor drawnColour(const QColor& series) const;

    QSize sizeHint() const override { return {800, 560}; }
    QSize minimumSizeHint() const override { return {420, 300}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Point {
        qint64 timeMs;
        qint64 value;
    };
    struct Change {
        qint64 timeMs;
        qint64 intervalMs;
    };
    struct Series {
        QList<Point> points; // in time order
        QList<qint64> failures;
    };
    struct Sample {
        qint64 timeMs;
        double value;
    };
    // The newest block-count row's state (up to now), for the sync line.
    struct Latest {
        std::optional<double> progress;
        std::optional<qint64> gap;
        std::optional<bool> initialDownload;
    };

    const Series& series(HistoryRow::Kind kind) const;
    QString makeSummary() const;
    void takeSync(const QList<HistoryRow>& rows);
    QString makeSyncSummary() const;

    HistoryRange range_ = HistoryRange::Last24Hours;
    qint64 from_ = 0;
    qint64 to_ = 0;
    Series blocks_;
    Series connections_;
    QList<Change> changes_;
    std::optional<qint64> lastChange_;
    QString summary_;
    QList<Sample> progress_; // percent, in time order
    QList<Sample> gap_;      // blocks behind the headers, in time order
    Latest latest_;
    std::optional<qint64> tipTime_; // seconds since the epoch
    std::optional<qint64> timeLeft_;
    QString syncSummary_;
};

} // namespace tw::health
