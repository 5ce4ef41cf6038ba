// The history window over a real history file: what the chart plots for each
// range, Refresh, the node's sync (its strip, the tip's age, the time-left
// estimate), and that the plot is really drawn.

#include "health/HistoryWindow.h"
#include "platform/posix/Posix.h"
#include "tests/health/HistorySample.h"
#include "tests/support/Fakes.h"
#include "tests/support/FileBytes.h"
#include "tests/support/Palettes.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using tw::health::HistoryChart;
using tw::health::HistoryRow;
using tw::health::HistoryWindow;
using tw::test::historyHeader;
using tw::test::historyLine;
using tw::test::stateColumns;
using Blocks = QList<qint64>;

namespace {

// 2026-12-06T12:00:00.000Z
constexpr qint64 Now = 1796558400000;
constexpr qint64 Minute = 60000;
constexpr qint64 Hour = 60 * Minute;

// Rows around "now": some in the last day, some only in the last week, some
// outside both (older than a week, or after now).
QByteArray mixedHistory() {
    const qint64 day = 24 * 60;
    QByteArray bytes = historyHeader();
    bytes += historyLine(Now, 8 * day, "blocks", "100");
    bytes += historyLine(Now, 3 * day, "blocks", "200");
    bytes += historyLine(Now, 3 * day - 1, "connections", "5");
    bytes += historyLine(Now, 3 * day - 2, "connections", "", "timed out");
    bytes += historyLine(Now, 30 * 60, "blocks", "", "log not updated by the query");
    bytes += historyLine(Now, 23 * 60, "blocks", "300");
    bytes += historyLine(Now, 22 * 60, "blocks", "300");
    bytes += historyLine(Now, 21 * 60, "blocks", "301");
    bytes += historyLine(Now, 20 * 60, "connections", "8");
    bytes += historyLine(Now, 2 * 60, "blocks", "305");
    bytes += historyLine(Now, 60, "blocks", "", "not a number: error");
    bytes += historyLine(Now, 59, "connections", "", "timed out");
    bytes += historyLine(Now, 10, "blocks", "306");
    bytes += historyLine(Now, -5, "blocks", "999");
    return bytes;
}

// How many pixels of the image are (nearly) the colour.
int pixelsOf(const QImage& image, const QColor& colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAbs(qRed(line[x]) - colour.red()) <= 8 &&
                qAbs(qGreen(line[x]) - colour.green()) <= 8 &&
                qAbs(qBlue(line[x]) - colour.blue()) <= 8)
                ++count;
        }
    }
    return count;
}

// The mean height (y) of the colour's pixels in the columns [from, to).
double meanY(const QImage& image, const QColor& colour, int from, int to) {
    double sum = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = from; x < to; ++x) {
            if (qAbs(qRed(line[x]) - colour.red()) <= 8 &&
                qAbs(qGreen(line[x]) - colour.green()) <= 8 &&
                qAbs(qBlue(line[x]) - colour.blue()) <= 8) {
                sum += y;
                ++count;
            }
        }
    }
    return count ? sum / count : -1;
}

// Readings "MINUTE:PROGRESS ..." (minutes from Now).
QList<tw::health::ProgressSample> samplesOf(const QString& text) {
    QList<tw::health::ProgressSample> samples;
    for (const QString& part : text.split(' ', Qt::SkipEmptyParts))
        samples.append({Now + qint64(part.section(':', 0, 0).toDouble() * Minute),
                        part.section(':', 1).toDouble()});
    return samples;
}

// Block-count rows every minute, the last `endsBefore` minutes before Now:
// the progress rising by `perMinute` from `start`, `behind` blocks behind
// the headers, in initial download unless said otherwise, the tip a year
// old.
QByteArray syncRows(int count, double endsBefore, double start, double perMinute, qint64 behind,
                    bool initialDownload = true) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const double before = endsBefore + count - 1 - i;
        const qint64 blocks = 700000 + i * 30;
        bytes += historyLine(Now, before, "blocks", QString::number(blocks), {},
                             stateColumns(blocks + behind, start + perMinute * i, initialDownload,
                                          Now / 1000 - 365 * 86400, 0, 8, 0));
    }
    return bytes;
}

} // namespace

class TestHistoryChart : public QObject {
    Q_OBJECT

private slots:
    // Numbers as a US English desktop writes them, whatever the machine's.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init();
    void plotsTheRange_data();
    void plotsTheRange();
    void refreshReadsAgainWithRotatedCopy();
    void drawsInThePlotColours_data();
    void drawsInThePlotColours();
    void axisTextReadable_data();
    void axisTextReadable();
    void titleAndControls();
    void timeLeft_data();
    void timeLeft();
    void syncReadings_data();
    void syncReadings();
    void syncDrawnRisingAndFalling();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
    std::unique_ptr<tw::test::VirtualClock> clockPart_;
    tw::test::VirtualClock& clock() { return *clockPart_; }
    // The window's end of the range: the virtual clock's time.
    std::function<qint64()> now() {
        return [this] { return clockPart_->now(); };
    }
    tw::platform::LocalFileSystem files_;
};

void TestHistoryChart::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    path_ = dir_->filePath("TW-CLI-UI-BTC.history.csv");
    clockPart_ = std::make_unique<tw::test::VirtualClock>();
    clock().advance(Now);
    QCOMPARE(clock().now(), Now);
}

void TestHistoryChart::plotsTheRange_data() {
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("blockPoints");
    QTest::addColumn<int>("connectionPoints");
    QTest::addColumn<int>("blockFailures");
    QTest::addColumn<int>("connectionFailures");
    QTest::addColumn<Blocks>("intervals");
    QTest::addColumn<QStringList>("summary");

    QTest::newRow("last 24 hours")
        << 0 << 5 << 1 << 1 << 1 << Blocks{19 * Hour, 110 * Minute}
        << QStringList{"(10 min ago)", "median interval 10 h 25 min", "longest 19 h 00 min"};
    QTest::newRow("last 7 days") << 1 << 6 << 2 << 2 << 2
                                 << Blocks{2 * Hour, 19 * Hour, 110 * Minute}
                                 << QStringList{"(10 min ago)", "median interval 2 h 00 min",
                                                "longest 19 h 00 min"};
}

void TestHistoryChart::plotsTheRange() {
    QFETCH(int, range);
    QFETCH(int, blockPoints);
    QFETCH(int, connectionPoints);
    QFETCH(int, blockFailures);
    QFETCH(int, connectionFailures);
    QFETCH(Blocks, intervals);
    QFETCH(QStringList, summary);

    QVERIFY(tw::test::writeAll(path_, mixedHistory()));
    HistoryWindow window(files_, now(), path_, "TW-CLI-UI-BTC");
    window.show();
    auto* combo = window.findChild<QComboBox*>("HISTORY_RANGE_COMBO");
    QVERIFY(combo);
    combo->setCurrentIndex(range);

    const HistoryChart* chart = window.chart();
    QCOMPARE(chart->toMs(), Now);
    QCOMPARE(chart->pointCount(HistoryRow::Kind::Blocks), blockPoints);
    QCOMPARE(chart->pointCount(HistoryRow::Kind::Connections), connectionPoints);
    QCOMPARE(chart->failureCount(HistoryRow::Kind::Blocks), blockFailures);
    QCOMPARE(chart->failureCount(HistoryRow::Kind::Connections), connectionFailures);
    QCOMPARE(chart->changeIntervalsMs(), intervals);
    QCOMPARE(chart->lastChangeMs(), std::optional<qint64>(Now - 10 * Minute));
    for (const QString& part : summary)
        QVERIFY2(chart->summary().contains(part), qPrintable(chart->summary()));
}

// Opening reads the file; Refresh reads it again, rotated copy first, up to
// the clock's new now.
void TestHistoryChart::refreshReadsAgainWithRotatedCopy() {
    QVERIFY(tw::test::writeAll(path_, historyHeader() + historyLine(Now, 30, "blocks", "10")));
    HistoryWindow window(files_, now(), path_, "S");
    window.show();
    QCOMPARE(window.chart()->pointCount(HistoryRow::Kind::Blocks), 1);
    QCOMPARE(window.chart()->summary(), QString("The block count did not change in this range."));

    // The writer rotated: the old file is now .1 and a new one has begun.
    QVERIFY(QFile::rename(path_, path_ + ".1"));
    QVERIFY(tw::test::writeAll(path_, historyHeader() + historyLine(Now, 20, "blocks", "11") +
                                          historyLine(Now, -30, "blocks", "12") +
                                          historyLine(Now, -31, "connections", "", "timed out")));
    QCOMPARE(window.chart()->pointCount(HistoryRow::Kind::Blocks), 1); // not yet read
    clock().advance(40 * Minute);
    auto* refresh = window.findChild<QPushButton*>("HISTORY_REFRESH_BUTTON");
    QVERIFY(refresh);
    QTest::mouseClick(refresh, Qt::LeftButton);
    QCOMPARE(window.chart()->pointCount(HistoryRow::Kind::Blocks), 3);
    QCOMPARE(window.chart()->failureCount(HistoryRow::Kind::Connections), 1);
    QCOMPARE(window.chart()->changeIntervalsMs(), Blocks{50 * Minute});
    QVERIFY(window.findChild<QLabel*>("HISTORY_STATUS_LABEL")->text().contains(path_));
}

// The application's palette for one test: the desktop's dark one when asked
// for, the light default otherwise; the default again afterwards.
auto usePalette(bool dark) {
    if (dark)
        QApplication::setPalette(tw::test::darkPalette());
    return qScopeGuard([] { QApplication::setPalette(QPalette()); });
}

void TestHistoryChart::drawsInThePlotColours_data() {
    QTest::addColumn<QString>("history"); // "state", "no state", "sync", "none"
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("dark");
    QTest::newRow("sample history with the node's state") << "state" << 600 << false;
    QTest::newRow("initial download, no query failed") << "sync" << 600 << false;
    QTest::newRow("with the state in a small window") << "state" << 500 << false;
    QTest::newRow("sample history without state") << "no state" << 500 << false;
    QTest::newRow("no history file") << "none" << 500 << false;
    QTest::newRow("the node's state, dark palette") << "state" << 600 << true;
    QTest::newRow("initial download, dark palette") << "sync" << 600 << true;
}

// The window as a user sees it: with answers, each plot colour is there in
// quantity (the sync's only with the state); without, none is (only the
// frames and texts). Drawn on the palette's base colour, each stands out
// from it (3:1) and from the others, light or dark.
void TestHistoryChart::drawsInThePlotColours() {
    QFETCH(QString, history);
    QFETCH(int, height);
    QFETCH(bool, dark);
    const auto restore = usePalette(dark);
    if (history == "sync")
        QVERIFY(tw::test::writeAll(path_, tw::test::syncSampleHistory(Now)));
    else if (history != "none")
        QVERIFY(tw::test::writeAll(path_, tw::test::sampleHistory(Now, history == "state")));
    HistoryWindow window(files_, now(), path_, "S");
    window.resize(800, height);
    window.show();
    QCOMPARE(window.chart()->showsSync(), history == "state" || history == "sync");
    const QImage image = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(image.width() >= 800 && image.height() >= height);
    const QList<QPair<const char*, QColor>> colours{
        {"blocks", HistoryChart::BlocksColour},
        {"connections", HistoryChart::ConnectionsColour},
        {"intervals", HistoryChart::IntervalColour},
        {"failures", HistoryChart::FailureColour},
        {"progress", HistoryChart::ProgressColour},
        {"gap", HistoryChart::GapColour}};
    const QColor base = window.chart()->palette().color(QPalette::Base);
    QCOMPARE(base, dark ? tw::test::darkPalette().color(QPalette::Base) : QColor(Qt::white));
    QVERIFY(pixelsOf(image, base) > image.width() * image.height() / 4); // the plots
    QList<QColor> drawn;
    for (const auto& [name, colour] : colours) {
        const QColor shown = window.chart()->drawnColour(colour);
        QVERIFY2(tw::app::contrastRatio(shown, base) >= 3, name);
        for (const QColor& other : drawn) {
            // The "redmean" distance, an approximation of how far apart the
            // eye sees two colours (0 to 765); the default colours' nearest
            // two, blue and teal, are 124 apart.
            const double r = (shown.red() + other.red()) / 2.0;
            const int dr = shown.red() - other.red(), dg = shown.green() - other.green(),
                      db = shown.blue() - other.blue();
            const double apart =
                std::sqrt((2 + r / 256) * dr * dr + 4 * dg * dg + (2 + (255 - r) / 256) * db * db);
            QVERIFY2(apart >= 100, qPrintable(QString("%1: %2 near %3 (%4)")
                                                  .arg(name, shown.name(), other.name())
                                                  .arg(apart)));
        }
        drawn << shown;
        const int pixels = pixelsOf(image, shown);
        const bool sync =
            colour == HistoryChart::ProgressColour || colour == HistoryChart::GapColour;
        const bool failure = colour == HistoryChart::FailureColour;
        if (history == "state" || (history == "no state" && !sync) ||
            (history == "sync" && !failure))
            QVERIFY2(pixels >= 20, qPrintable(QString("%1: %2 pixels").arg(name).arg(pixels)));
        else
            QVERIFY2(pixels == 0, qPrintable(QString("%1: %2 pixels").arg(name).arg(pixels)));
    }
}

void TestHistoryChart::timeLeft_data() {
    QTest::addColumn<QString>("samples"); // MINUTE:PROGRESS, oldest first
    QTest::addColumn<qint64>("seconds");  // -1: no estimate
    QTest::newRow("no readings") << "" << qint64(-1);
    QTest::newRow("two readings") << "0:0.5 5:0.55" << qint64(-1);
    QTest::newRow("three over two minutes") << "0:0.5 1:0.51 2:0.52" << qint64(48 * 60);
    QTest::newRow("three within less than two minutes") << "0:0.5 1:0.51 1.9:0.52" << qint64(-1);
    QTest::newRow("falling") << "0:0.52 1:0.51 2:0.5" << qint64(-1);
    QTest::newRow("flat") << "0:0.5 1:0.5 2:0.5" << qint64(-1);
    QTest::newRow("rising, then the last below the first")
        << "0:0.5 1:0.6 2:0.7 3:0.8 4:0.49" << qint64(-1);
    QTest::newRow("uneven readings: the least-squares rate")
        << "0:0.50 1:0.53 2:0.51 3:0.53" << qint64(4029); // 0.007 a minute, 0.47 to go
    QTest::newRow("ten hours") << "0:0.2 300:0.3 600:0.4" << qint64(108000);
    QTest::newRow("a year or more") << "0:0.5 1:0.5000001 2:0.5000002" << qint64(-1);
    QTest::newRow("just under a year")
        << "0:0.5 1000:0.50095 2000:0.5019" << qint64(31458947); // 0.4981 / (0.00095 / 1000 min)
    QTest::newRow("done") << "0:0.98 1:0.99 2:1" << qint64(0);
    QTest::newRow("not a number") << "0:nan 1:0.5 2:0.6" << qint64(-1);
}

void TestHistoryChart::timeLeft() {
    QFETCH(QString, samples);
    QFETCH(qint64, seconds);
    const std::optional<qint64> left = tw::node::estimateTimeLeft(samplesOf(samples));
    QCOMPARE(left.value_or(-1), seconds);
}

void TestHistoryChart::syncReadings_data() {
    QTest::addColumn<QByteArray>("rows"); // after the header
    QTest::addColumn<int>("progressPoints");
    QTest::addColumn<int>("gapPoints");
    QTest::addColumn<qint64>("tipAgeMs"); // -1: unknown
    QTest::addColumn<qint64>("timeLeft"); // seconds, -1: no estimate
    QTest::addColumn<QString>("summary");

    const qint64 nowS = Now / 1000;
    QTest::newRow("rows without state")
        << mixedHistory().mid(historyHeader().size()) << 0 << 0 << qint64(-1) << qint64(-1) << "";
    QTest::newRow("synced node")
        << historyLine(Now, 3, "blocks", "871240", {},
                       stateColumns(871240, 0.99999912, false, nowS - 300, 2, 8, 4000)) +
               historyLine(Now, 2.9, "connections", "10")
        << 1 << 1 << 5 * Minute << qint64(-1)
        << "Verification 99.99 % · level with the headers · tip 5 min 0 s old";
    QTest::newRow("one block behind: no estimate")
        << syncRows(10, 0, 0.5, 0.001, 1, false) << 10 << 10 << 365 * 24 * Hour << qint64(-1)
        << "Verification 50.90 % · 1 block behind the headers · tip 365 d 0 h old";
    QTest::newRow("two blocks behind: the estimate")
        << syncRows(10, 0, 0.5, 0.001, 2, false) << 10 << 10 << 365 * 24 * Hour << qint64(29460)
        << "Verification 50.90 % · 2 blocks behind the headers · tip 365 d 0 h old · about 8 h 11 "
           "min left";
    QTest::newRow("initial download: the estimate")
        << syncRows(10, 0, 0.5, 0.001, 1000) << 10 << 10 << 365 * 24 * Hour << qint64(29460)
        << "Verification 50.90 % · 1,000 blocks behind the headers · initial download · tip 365 d "
           "0 h old · about 8 h 11 min left";
    QTest::newRow("only the last hour counts")
        << syncRows(60, 61, 0.1, 0.01, 1000) + syncRows(10, 0, 0.5, 0.001, 1000) << 70 << 70
        << 365 * 24 * Hour << qint64(29460)
        << "Verification 50.90 % · 1,000 blocks behind the headers · initial download · tip 365 d "
           "0 h old · about 8 h 11 min left";
    QTest::newRow("readings older than a quarter of an hour: no estimate")
        << syncRows(10, 20, 0.5, 0.001, 1000) << 10 << 10 << 365 * 24 * Hour << qint64(-1)
        << "Verification 50.90 % · 1,000 blocks behind the headers · initial download · tip 365 d "
           "0 h old";
    QTest::newRow("two readings: no estimate")
        << syncRows(2, 0, 0.5, 0.001, 1000) << 2 << 2 << 365 * 24 * Hour << qint64(-1)
        << "Verification 50.10 % · 1,000 blocks behind the headers · initial download · tip 365 d "
           "0 h old";
    QTest::newRow("the tip of the latest row that has one")
        << historyLine(Now, 30, "blocks", "10", {},
                       stateColumns(10, 1, false, nowS - 3600, 0, 8, 0)) +
               historyLine(Now, 20, "blocks", "11", {}, "11,,,,,,") +
               historyLine(Now, 10, "blocks", "", "log empty") +
               historyLine(Now, -5, "blocks", "12", {},
                           stateColumns(12, 1, false, nowS - 60, 0, 8, 0))
        << 1 << 2 << Hour << qint64(-1) << "Level with the headers · tip 1 h 00 min old";
    QTest::newRow("a tip after now is no age")
        << historyLine(Now, 1, "blocks", "10", {}, ",,,99999999999999999,,,") << 0 << 0 << qint64(0)
        << qint64(-1) << "Tip 0 s old";
    QTest::newRow("readings before the range: no strip, the line still says them")
        << historyLine(Now, 2 * 24 * 60, "blocks", "10", {},
                       stateColumns(12, 0.25, true, nowS - 2 * 86400 - 600, 0, 8, 0))
        << 0 << 0 << 2 * 24 * Hour + 10 * Minute << qint64(-1)
        << "Verification 25.00 % · 2 blocks behind the headers · initial download · tip 2 d 0 h "
           "old";
}

// The range is the last 24 hours.
void TestHistoryChart::syncReadings() {
    QFETCH(QByteArray, rows);
    QFETCH(int, progressPoints);
    QFETCH(int, gapPoints);
    QFETCH(qint64, tipAgeMs);
    QFETCH(qint64, timeLeft);
    QFETCH(QString, summary);
    QVERIFY(tw::test::writeAll(path_, historyHeader() + rows));
    HistoryWindow window(files_, now(), path_, "S");
    window.show();
    const HistoryChart* chart = window.chart();
    QCOMPARE(chart->progressPointCount(), progressPoints);
    QCOMPARE(chart->gapPointCount(), gapPoints);
    QCOMPARE(chart->showsSync(), progressPoints + gapPoints > 0);
    QCOMPARE(chart->tipAgeMs().value_or(-1), tipAgeMs);
    QCOMPARE(chart->timeLeftSeconds().value_or(-1), timeLeft);
    QCOMPARE(chart->syncSummary(), summary);
}

// Ten hours of initial download: the progress line rises from left to
// right, the blocks behind the headers fall (each on its own scale).
void TestHistoryChart::syncDrawnRisingAndFalling() {
    QVERIFY(tw::test::writeAll(path_, tw::test::syncSampleHistory(Now)));
    HistoryWindow window(files_, now(), path_, "S");
    window.resize(800, 600);
    window.show();
    QVERIFY(window.chart()->timeLeftSeconds().has_value());
    const QImage image = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The ten hours are the right part of the day's axis.
    const int w = image.width();
    const double progressEarly = meanY(image, HistoryChart::ProgressColour, w / 2, w * 2 / 3);
    const double progressLate = meanY(image, HistoryChart::ProgressColour, w * 5 / 6, w - 20);
    const double gapEarly = meanY(image, HistoryChart::GapColour, w / 2, w * 2 / 3);
    const double gapLate = meanY(image, HistoryChart::GapColour, w * 5 / 6, w - 40);
    QVERIFY2(progressEarly > 0 && progressLate > 0 && progressLate < progressEarly - 20,
             qPrintable(QString("%1 %2").arg(progressEarly).arg(progressLate)));
    QVERIFY2(gapEarly > 0 && gapLate > 0 && gapLate > gapEarly + 20,
             qPrintable(QString("%1 %2").arg(gapEarly).arg(gapLate)));
    // Nothing of either left of the readings.
    QCOMPARE(meanY(image, HistoryChart::ProgressColour, 0, w / 3), -1.0);
}

// The texts around the plots (the summary, the value scales) against the
// window's colour, by their pixels: the left margin of the chart.
void TestHistoryChart::axisTextReadable_data() {
    QTest::addColumn<bool>("dark");
    QTest::newRow("light palette") << false;
    QTest::newRow("dark palette") << true;
}

void TestHistoryChart::axisTextReadable() {
    QFETCH(bool, dark);
    const auto restore = usePalette(dark);
    QVERIFY(tw::test::writeAll(path_, tw::test::sampleHistory(Now, true)));
    HistoryWindow window(files_, now(), path_, "S");
    window.resize(800, 600);
    window.show();
    const QImage image = window.chart()->grab().toImage();
    const tw::test::TextPixels margin =
        tw::test::textPixels(image, QRect(0, 0, 28, image.height()));
    QCOMPARE(margin.background, QApplication::palette().color(QPalette::Window));
    QVERIFY2(margin.readable >= 40, qPrintable(QString("%1 readable pixels, best contrast %2")
                                                   .arg(margin.readable)
                                                   .arg(margin.highest)));
}

void TestHistoryChart::titleAndControls() {
    HistoryWindow window(files_, now(), path_, "TW-CLI-UI-LTC");
    QCOMPARE(window.windowTitle(), QString("TW-CLI-UI – History – TW-CLI-UI-LTC"));
    QVERIFY(window.isWindow());
    auto* combo = window.findChild<QComboBox*>("HISTORY_RANGE_COMBO");
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QString("Last 24 hours"));
    QCOMPARE(combo->itemText(1), QString("Last 7 days"));
    QCOMPARE(window.findChild<QPushButton*>("HISTORY_REFRESH_BUTTON")->text(), QString("Refresh"));
}

QTEST_MAIN(TestHistoryChart)
#include "tst_history_chart.moc"
