#pragma once
// The answer history as three strips over one time axis: the block count,
// the peer connections (each with its failed queries marked in red), and
// the time between block-count changes. Drawn with QPainter.

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

class HistoryChart : public QWidget {
    Q_OBJECT
public:
    static const QColor BlocksColour;
    static const QColor ConnectionsColour;
    static const QColor IntervalColour;
    static const QColor FailureColour;

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

    QSize sizeHint() const override { return {800, 460}; }
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

    const Series& series(HistoryRow::Kind kind) const;
    QString makeSummary() const;

    HistoryRange range_ = HistoryRange::Last24Hours;
    qint64 from_ = 0;
    qint64 to_ = 0;
    Series blocks_;
    Series connections_;
    QList<Change> changes_;
    std::optional<qint64> lastChange_;
    QString summary_;
};

} // namespace tw::health
