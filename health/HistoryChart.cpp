#include "health/HistoryChart.h"

#include "app/Colours.h"

#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tw::health {

const QColor HistoryChart::BlocksColour(0x1f, 0x62, 0xc8);
const QColor HistoryChart::ConnectionsColour(0x16, 0x94, 0x3a);
const QColor HistoryChart::IntervalColour(0xe0, 0x84, 0x00);
const QColor HistoryChart::FailureColour(0xd8, 0x1e, 0x1e);
const QColor HistoryChart::ProgressColour(0x7b, 0x3f, 0xc4);
const QColor HistoryChart::GapColour(0x12, 0x9c, 0xb0);

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;
// Answers further apart than this are not joined by a line: the panel was
// not running, or its loop was off.
constexpr qint64 GapMs = 15 * Minute;

// A value scale: from lo to hi in steps of step, all whole numbers of the
// unit.
struct Scale {
    double lo = 0;
    double hi = 1;
    double step = 1;
};

double niceStep(double rough, double smallest) {
    if (rough <= smallest)
        return smallest;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= rough)
            return std::max(smallest, factor * power);
    }
    return 10 * power;
}

Scale scaleFor(double lo, double hi, bool fromZero, double smallestStep) {
    if (fromZero)
        lo = 0;
    Scale scale;
    scale.step = niceStep((hi - lo) / 4, smallestStep);
    scale.lo = std::floor(lo / scale.step) * scale.step;
    scale.hi = std::ceil(hi / scale.step) * scale.step;
    if (scale.hi <= scale.lo) {
        // One level only: keep it off the frame, in the middle.
        scale.hi = scale.lo + scale.step;
        if (scale.lo >= scale.step && !fromZero)
            scale.lo -= scale.step;
    }
    return scale;
}

// The progress scale in percent, never above 100.
Scale progressScale(double lo, double hi) {
    Scale scale = scaleFor(lo, hi, false, 0.01);
    if (scale.hi > 100 + scale.step / 2) {
        const double over = std::ceil((scale.hi - 100) / scale.step - 1e-9) * scale.step;
        scale.hi -= over;
        scale.lo = std::max(0.0, scale.lo - over);
    }
    return scale;
}

QString scaleLabel(double value, double step) {
    if (step >= 1)
        return QLocale().toString(static_cast<qint64>(std::llround(value)));
    return QLocale().toString(value, 'f', step >= 0.1 ? 1 : step >= 0.01 ? 2 : 3);
}

// A progress of 0 to 1 as a percentage with two decimals, cut rather than
// rounded: 100.00 % only once the node says 1.
QString percentText(double progress) {
    // (The nudge keeps 0.509, stored as a hair below, at 50.90.)
    return QLocale().toString(std::floor(progress * 10000 + 1e-6) / 100, 'f', 2);
}

QString clockTime(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm"));
}

// Where the time axis gets a label: every three hours of local time over a
// day, every local midnight over a week.
QList<qint64> timeTicks(qint64 from, qint64 to, HistoryRange range) {
    QList<qint64> ticks;
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(from);
    if (range == HistoryRange::Last24Hours) {
        QDateTime tick(start.date(), QTime(start.time().hour() / 3 * 3, 0));
        for (int i = 0; i < 20; ++i, tick = tick.addSecs(3 * 3600)) {
            const qint64 at = tick.toMSecsSinceEpoch();
            if (at > to)
                break;
            if (at >= from)
                ticks << at;
        }
    } else {
        for (QDate date = start.date();; date = date.addDays(1)) {
            const qint64 at = QDateTime(date, QTime(0, 0)).toMSecsSinceEpoch();
            if (at > to)
                break;
            if (at >= from)
                ticks << at;
        }
    }
    return ticks;
}

QString tickLabel(qint64 ms, HistoryRange range) {
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(ms);
    if (range == HistoryRange::Last24Hours)
        return time.toString(QStringLiteral("HH:mm"));
    // Day and month names in the user's language.
    return QLocale().toString(time, HistoryChart::tr("ddd d MMM", "date format of the axis"));
}

// One strip: its frame, title, value scale and time labels, and the
// mapping from (time, value) to pixels.
struct Strip {
    QRect plot;
    qint64 from;
    qint64 to;
    Scale scale;

    double x(qint64 ms) const {
        return plot.left() +
               double(ms - from) * plot.width() / double(std::max<qint64>(1, to - from));
    }
    double y(double value) const {
        return plot.bottom() - (value - scale.lo) * plot.height() / (scale.hi - scale.lo);
    }
};

// The chart's own colours, from the widget's palette: the plots on the
// base colour of a view, the labels around them in the window's text colour.
struct Look {
    QColor plot;
    QColor grid;
    QColor frame;
    QColor text;
    QColor faintText; // inside a plot
};

QColor between(const QColor& from, const QColor& to, double share) {
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * share),
                            float(from.greenF() + (to.greenF() - from.greenF()) * share),
                            float(from.blueF() + (to.blueF() - from.blueF()) * share));
}

Look lookOf(const QPalette& palette) {
    const QColor plot = palette.color(QPalette::Base);
    const QColor ink = palette.color(QPalette::Text);
    return {plot, between(plot, ink, 0.12), between(plot, ink, 0.4),
            app::readableText(palette.color(QPalette::Window), palette.color(QPalette::WindowText)),
            app::keepContrast(between(plot, ink, 0.55), plot)};
}

void drawFrame(QPainter& p, const Look& look, const Strip& strip, const QString& title,
               const QList<qint64>& ticks, HistoryRange range, bool empty,
               const QString& emptyText) {
    const QFontMetrics fm = p.fontMetrics();
    const QRect plot = strip.plot;
    p.fillRect(plot, look.plot);

    // Grid: value lines and time lines.
    p.setPen(QPen(look.grid, 1));
    for (double v = strip.scale.lo; v <= strip.scale.hi + strip.scale.step / 2;
         v += strip.scale.step) {
        const int y = qRound(strip.y(v));
        p.drawLine(plot.left(), y, plot.right(), y);
    }
    for (const qint64 tick : ticks) {
        const int x = qRound(strip.x(tick));
        p.drawLine(x, plot.top(), x, plot.bottom());
    }
    p.setPen(look.frame);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot.adjusted(0, 0, -1, -1));

    // Title above, value labels on the left, time labels below.
    p.setPen(look.text);
    QFont bold = p.font();
    bold.setBold(true);
    p.save();
    p.setFont(bold);
    p.drawText(QRect(plot.left(), plot.top() - fm.height() - 2, plot.width(), fm.height()),
               Qt::AlignLeft | Qt::AlignVCenter, title);
    p.restore();
    if (!empty) {
        for (double v = strip.scale.lo; v <= strip.scale.hi + strip.scale.step / 2;
             v += strip.scale.step) {
            const int y = qRound(strip.y(v));
            p.drawText(QRect(0, y - fm.height() / 2, plot.left() - 6, fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter, scaleLabel(v, strip.scale.step));
        }
    }
    int lastRight = -1;
    for (const qint64 tick : ticks) {
        const QString label = tickLabel(tick, range);
        const int width = fm.horizontalAdvance(label);
        const int x = qRound(strip.x(tick)) - width / 2;
        if (x <= lastRight + 6 || x + width > plot.right() + 20)
            continue;
        p.drawText(QRect(x, plot.bottom() + 3, width, fm.height()), Qt::AlignCenter, label);
        lastRight = x + width;
    }
    if (empty) {
        p.setPen(look.faintText);
        p.drawText(plot, Qt::AlignCenter, emptyText);
    }
}

void drawFailures(QPainter& p, const Strip& strip, const QList<qint64>& failures,
                  const QColor& colour) {
    QColor faint = colour;
    faint.setAlpha(70);
    const QRect plot = strip.plot;
    for (const qint64 at : failures) {
        const double x = strip.x(at);
        p.setPen(QPen(faint, 1));
        p.drawLine(QPointF(x, plot.top() + 1), QPointF(x, plot.bottom() - 1));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    for (const qint64 at : failures) {
        const double x = strip.x(at);
        const double base = plot.bottom() - 1;
        const QPointF mark[3] = {{x, base - 9}, {x - 5, base}, {x + 5, base}};
        p.drawPolygon(mark, 3);
    }
}

// A line through the points (a step for counts), broken where they are
// further apart than GapMs.
template <class P> QPainterPath seriesPath(const Strip& strip, const QList<P>& points, bool steps) {
    QPainterPath path;
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QPointF at(strip.x(points[i].timeMs), strip.y(double(points[i].value)));
        if (i == 0 || points[i].timeMs - points[i - 1].timeMs > GapMs) {
            path.moveTo(at);
        } else {
            if (steps)
                path.lineTo(at.x(), path.currentPosition().y());
            path.lineTo(at);
        }
    }
    return path;
}

// The same as an area down to the strip's foot, one closed piece for each
// run of points.
template <class P> QPainterPath seriesArea(const Strip& strip, const QList<P>& points) {
    QPainterPath area;
    const double foot = strip.plot.bottom();
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QPointF at(strip.x(points[i].timeMs), strip.y(double(points[i].value)));
        const bool first = i == 0 || points[i].timeMs - points[i - 1].timeMs > GapMs;
        if (first) {
            if (i > 0)
                area.lineTo(area.currentPosition().x(), foot);
            area.moveTo(at.x(), foot);
        } else {
            area.lineTo(at.x(), area.currentPosition().y());
        }
        area.lineTo(at);
    }
    if (!points.isEmpty()) {
        area.lineTo(area.currentPosition().x(), foot);
        area.closeSubpath();
    }
    return area;
}

} // namespace

qint64 rangeLengthMs(HistoryRange range) {
    return range == HistoryRange::Last24Hours ? Day : 7 * Day;
}

QString formatDuration(qint64 ms) {
    const qint64 s = ms / 1000;
    if (s < 60)
        return HistoryChart::tr("%1 s").arg(s);
    if (s < 10 * 60)
        return HistoryChart::tr("%1 min %2 s").arg(s / 60).arg(s % 60);
    if (s < 3600)
        return HistoryChart::tr("%1 min").arg(s / 60);
    if (s < 24 * 3600)
        return HistoryChart::tr("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar('0'));
    return HistoryChart::tr("%1 d %2 h").arg(s / 86400).arg(s / 3600 % 24);
}

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("HISTORY_CHART"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    summary_ = makeSummary();
}

void HistoryChart::setHistory(const QList<HistoryRow>& rows, qint64 nowMs, HistoryRange range) {
    range_ = range;
    to_ = nowMs;
    from_ = nowMs - rangeLengthMs(range);
    blocks_ = {};
    connections_ = {};
    for (const HistoryRow& row : rows) {
        if (row.timeMs < from_ || row.timeMs > to_)
            continue;
        Series& into = row.kind == HistoryRow::Kind::Blocks ? blocks_ : connections_;
        if (row.value)
            into.points.append({row.timeMs, *row.value});
        else
            into.failures.append(row.timeMs);
    }
    // File order is time order unless the clock was set back; plot by time.
    for (Series* s : {&blocks_, &connections_}) {
        std::stable_sort(s->points.begin(), s->points.end(),
                         [](const Point& a, const Point& b) { return a.timeMs < b.timeMs; });
        std::sort(s->failures.begin(), s->failures.end());
    }

    changes_.clear();
    lastChange_.reset();
    for (qsizetype i = 1; i < blocks_.points.size(); ++i) {
        if (blocks_.points[i].value == blocks_.points[i - 1].value)
            continue;
        const qint64 at = blocks_.points[i].timeMs;
        if (lastChange_)
            changes_.append({at, at - *lastChange_});
        lastChange_ = at;
    }
    summary_ = makeSummary();
    takeSync(rows);
    update();
}

void HistoryChart::takeSync(const QList<HistoryRow>& rows) {
    progress_.clear();
    gap_.clear();
    latest_ = {};
    tipTime_.reset();
    timeLeft_.reset();
    qint64 latestAt = std::numeric_limits<qint64>::min();
    qint64 tipAt = std::numeric_limits<qint64>::min();
    QList<ProgressSample> readings;
    for (const HistoryRow& row : rows) {
        if (row.timeMs > to_)
            continue;
        if (row.tipTime && row.timeMs >= tipAt) {
            tipAt = row.timeMs;
            tipTime_ = row.tipTime;
        }
        if (row.kind != HistoryRow::Kind::Blocks || !row.value)
            continue;
        std::optional<qint64> gap;
        if (row.headers)
            gap = std::max<qint64>(0, *row.headers - *row.value);
        if ((row.progress || gap || row.initialDownload) && row.timeMs >= latestAt) {
            latestAt = row.timeMs;
            latest_ = {row.progress, gap, row.initialDownload};
        }
        if (row.progress)
            readings.append({row.timeMs, *row.progress});
        if (row.timeMs < from_)
            continue;
        if (row.progress)
            progress_.append({row.timeMs, *row.progress * 100});
        if (gap)
            gap_.append({row.timeMs, double(*gap)});
    }
    const auto byTime = [](const auto& a, const auto& b) { return a.timeMs < b.timeMs; };
    std::stable_sort(progress_.begin(), progress_.end(), byTime);
    std::stable_sort(gap_.begin(), gap_.end(), byTime);
    std::stable_sort(readings.begin(), readings.end(), byTime);

    const bool behind = latest_.initialDownload.value_or(false) || latest_.gap.value_or(0) > 1;
    if (behind && !readings.isEmpty() && to_ - readings.last().timeMs <= EstimateFreshMs) {
        const qint64 newest = readings.last().timeMs;
        QList<ProgressSample> recent;
        for (const ProgressSample& reading : readings)
            if (reading.timeMs >= newest - EstimateWindowMs)
                recent.append(reading);
        timeLeft_ = node::estimateTimeLeft(recent);
    }
    syncSummary_ = makeSyncSummary();
}

std::optional<qint64> HistoryChart::tipAgeMs() const {
    if (!tipTime_)
        return std::nullopt;
    // A tip time after now (a node's clock ahead, a damaged row) is no age.
    if (*tipTime_ >= to_ / 1000)
        return 0;
    return to_ - *tipTime_ * 1000;
}

QString HistoryChart::makeSyncSummary() const {
    QStringList parts;
    if (latest_.progress)
        parts << tr("Verification %1 %").arg(percentText(*latest_.progress));
    if (latest_.gap) {
        if (*latest_.gap == 0)
            parts << tr("level with the headers");
        else if (*latest_.gap == 1)
            parts << tr("1 block behind the headers");
        else
            parts << tr("%L1 blocks behind the headers").arg(*latest_.gap);
    }
    if (latest_.initialDownload.value_or(false))
        parts << tr("initial download");
    if (const auto age = tipAgeMs())
        parts << tr("tip %1 old").arg(formatDuration(*age));
    if (timeLeft_)
        parts << tr("about %1 left").arg(formatDuration(*timeLeft_ * 1000));
    QString text = parts.join(QStringLiteral(" · "));
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

const HistoryChart::Series& HistoryChart::series(HistoryRow::Kind kind) const {
    return kind == HistoryRow::Kind::Blocks ? blocks_ : connections_;
}

int HistoryChart::pointCount(HistoryRow::Kind kind) const {
    return int(series(kind).points.size());
}

int HistoryChart::failureCount(HistoryRow::Kind kind) const {
    return int(series(kind).failures.size());
}

QList<qint64> HistoryChart::changeIntervalsMs() const {
    QList<qint64> intervals;
    for (const Change& change : changes_)
        intervals << change.intervalMs;
    return intervals;
}

QString HistoryChart::makeSummary() const {
    if (!lastChange_) {
        if (blocks_.points.isEmpty())
            return tr("No block count in this range.");
        return tr("The block count did not change in this range.");
    }
    QString text = tr("Last change %1 (%2 ago)")
                       .arg(clockTime(*lastChange_), formatDuration(to_ - *lastChange_));
    if (changes_.isEmpty())
        return text + tr("; one change, no interval yet.");
    QList<qint64> sorted = changeIntervalsMs();
    std::sort(sorted.begin(), sorted.end());
    const qsizetype n = sorted.size();
    const qint64 median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    const auto longest =
        std::max_element(changes_.begin(), changes_.end(), [](const Change& a, const Change& b) {
            return a.intervalMs < b.intervalMs;
        });
    return text + tr(" · median interval %1 · longest %2 (ended %3)")
                      .arg(formatDuration(median), formatDuration(longest->intervalMs),
                           clockTime(longest->timeMs));
}

QColor HistoryChart::drawnColour(const QColor& series) const {
    return app::keepContrast(series, palette().color(QPalette::Base), app::GraphicsContrast);
}

void HistoryChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = p.fontMetrics();
    const int line = fm.height();

    // Value scales first: the margins fit the widest labels.
    auto valueRange = [](const auto& points) {
        double lo = points.isEmpty() ? 0 : double(points.first().value);
        double hi = lo;
        for (const auto& point : points) {
            lo = std::min(lo, double(point.value));
            hi = std::max(hi, double(point.value));
        }
        return std::pair<double, double>(lo, hi);
    };
    const auto [blo, bhi] = valueRange(blocks_.points);
    const auto [clo, chi] = valueRange(connections_.points);
    const auto [plo, phi] = valueRange(progress_);
    const auto [glo, ghi] = valueRange(gap_);
    const Scale blockScale = scaleFor(blo, bhi, false, 1);
    const Scale connectionScale = scaleFor(clo, chi, true, 1);
    const Scale syncScale = progressScale(plo, phi);
    const Scale gapScale = scaleFor(glo, ghi, true, 1);
    qint64 longest = 0;
    for (const Change& change : changes_)
        longest = std::max(longest, change.intervalMs);
    // The wait since the last change, still going on, is drawn too (as an
    // outline) when a change before it gives the strip a scale.
    const qint64 ongoing = lastChange_ && !changes_.isEmpty() ? to_ - *lastChange_ : 0;
    longest = std::max(longest, ongoing);
    const bool inHours = longest >= 3 * Hour;
    const double unit = inHours ? double(Hour) : double(Minute);
    const Scale intervalScale = scaleFor(0, double(longest) / unit, true, inHours ? 0.5 : 1);

    const bool sync = showsSync();
    int labelWidth = fm.horizontalAdvance(scaleLabel(blockScale.hi, blockScale.step));
    labelWidth = std::max(labelWidth, fm.horizontalAdvance(scaleLabel(blockScale.lo, 1)));
    labelWidth = std::max(labelWidth, fm.horizontalAdvance(QStringLiteral("0000")));
    if (sync)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(scaleLabel(99.99, syncScale.step)));
    const int left = labelWidth + 12;
    // The blocks behind the headers have their scale on the right.
    const int right =
        width() - (sync ? std::max(16, fm.horizontalAdvance(scaleLabel(gapScale.hi, 1)) + 12) : 16);

    // The summary lines, then the strips: each a title line, its plot and a
    // line of time labels.
    const Look look = lookOf(palette());
    p.setPen(look.text);
    p.drawText(QRect(8, 4, width() - 16, line), Qt::AlignLeft | Qt::AlignVCenter, summary_);
    int top = 4 + line + 6;
    if (!syncSummary_.isEmpty()) {
        p.drawText(QRect(8, top - 4, width() - 16, line), Qt::AlignLeft | Qt::AlignVCenter,
                   syncSummary_);
        top += line + 2;
    }
    // Blocks, sync, connections, intervals; the sync strip only when the
    // range has readings for it.
    const int count = sync ? 4 : 3;
    const int perStrip = line + 2 + line + 8; // title, time labels, gaps
    const int plots = std::max(20 * count, height() - top - count * perStrip);
    QList<int> heights = sync ? QList<int>{plots * 3 / 10, plots * 3 / 10, plots * 2 / 10}
                              : QList<int>{plots * 2 / 5, plots * 3 / 10};
    int used = 0;
    for (const int h : heights)
        used += h;
    heights << plots - used;
    QList<Strip> strips;
    QList<Scale> scales{blockScale, connectionScale, intervalScale};
    if (sync)
        scales.insert(1, syncScale);
    int y = top;
    for (int i = 0; i < count; ++i) {
        y += line + 2;
        strips << Strip{QRect(left, y, std::max(10, right - left), heights[i]), from_, to_,
                        scales[i]};
        y += heights[i] + line + 8;
    }
    const Strip& blockStrip = strips[0];
    const Strip& connectionStrip = strips[sync ? 2 : 1];
    const Strip& bars = strips[sync ? 3 : 2];
    const QList<qint64> ticks = timeTicks(from_, to_, range_);

    drawFrame(p, look, blockStrip, tr("Block count"), ticks, range_,
              blocks_.points.isEmpty() && blocks_.failures.isEmpty(),
              tr("No block-count answers in this range"));
    drawFrame(p, look, connectionStrip, tr("Connections"), ticks, range_,
              connections_.points.isEmpty() && connections_.failures.isEmpty(),
              tr("No connection answers in this range"));
    drawFrame(p, look, bars,
              inHours ? tr("Time between block-count changes (hours)")
                      : tr("Time between block-count changes (minutes)"),
              ticks, range_, changes_.isEmpty(), tr("Fewer than two block-count changes"));

    // The answers: a line (a step for the connections), broken over gaps,
    // with dots while they are few enough to tell apart.
    auto drawLine = [&p](const Strip& strip, const auto& points, const QColor& colour, bool steps) {
        p.save();
        p.setClipRect(strip.plot.adjusted(0, -3, 0, 3));
        // Denser than the pixels, a thinner line keeps the shape readable.
        const qreal width = points.size() > strip.plot.width() ? 1.2 : 2.0;
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(seriesPath(strip, points, steps));
        if (points.size() * 6 < strip.plot.width()) {
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            for (const auto& point : points)
                p.drawEllipse(QPointF(strip.x(point.timeMs), strip.y(double(point.value))), 3, 3);
        }
        p.restore();
    };
    drawLine(blockStrip, blocks_.points, drawnColour(BlocksColour), false);
    drawFailures(p, blockStrip, blocks_.failures, drawnColour(FailureColour));
    drawLine(connectionStrip, connections_.points, drawnColour(ConnectionsColour), true);
    drawFailures(p, connectionStrip, connections_.failures, drawnColour(FailureColour));

    if (sync) {
        const Strip& progress = strips[1];
        drawFrame(p, look, progress, QString(), ticks, range_,
                  progress_.isEmpty() && gap_.isEmpty(), QString());
        // The title in the colours of its two lines.
        QFont bold = p.font();
        bold.setBold(true);
        p.save();
        p.setFont(bold);
        const QRect title(progress.plot.left(), progress.plot.top() - line - 2,
                          progress.plot.width(), line);
        const QString first = tr("Verification progress (%)");
        const QColor window = palette().color(QPalette::Window);
        p.setPen(app::keepContrast(ProgressColour.darker(120), window));
        p.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, first);
        const QColor gapText = app::keepContrast(GapColour.darker(130), window);
        p.setPen(gapText);
        p.drawText(
            title.adjusted(QFontMetrics(bold).horizontalAdvance(first + QStringLiteral("  ·  ")), 0,
                           0, 0),
            Qt::AlignLeft | Qt::AlignVCenter, tr("·  blocks behind the headers (right)"));
        p.restore();
        // The blocks behind the headers: an area on its own scale, labelled
        // on the right.
        const Strip gap{progress.plot, from_, to_, gapScale};
        if (!gap_.isEmpty()) {
            p.setPen(gapText);
            for (double v = gapScale.lo; v <= gapScale.hi + gapScale.step / 2; v += gapScale.step) {
                const int at = qRound(gap.y(v));
                p.drawText(QRect(progress.plot.right() + 6, at - line / 2, width(), line),
                           Qt::AlignLeft | Qt::AlignVCenter, scaleLabel(v, 1));
            }
            p.save();
            p.setClipRect(progress.plot.adjusted(0, -3, 0, 3));
            QColor fill = GapColour;
            fill.setAlpha(45);
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawPath(seriesArea(gap, gap_));
            p.restore();
            drawLine(gap, gap_, drawnColour(GapColour), true);
        }
        drawLine(progress, progress_, drawnColour(ProgressColour), false);
    }

    // One bar per change, as tall as the wait before it; narrower when
    // there are many.
    p.setPen(Qt::NoPen);
    const QColor interval = drawnColour(IntervalColour);
    p.setBrush(interval);
    const double barWidth =
        std::clamp(bars.plot.width() / (2.0 * std::max<qsizetype>(1, changes_.size())), 1.5, 4.0);
    for (const Change& change : changes_) {
        const double x = bars.x(change.timeMs);
        const double top = bars.y(double(change.intervalMs) / unit);
        p.drawRect(QRectF(x - barWidth / 2, top, barWidth, bars.plot.bottom() - top));
    }
    if (ongoing > 0) {
        const double top = bars.y(double(ongoing) / unit);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(interval, 1, Qt::DashLine));
        p.drawRect(QRectF(bars.plot.right() - 6, top, 5, bars.plot.bottom() - top));
    }
}

} // namespace tw::health
