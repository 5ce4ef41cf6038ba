// The history window over a real history file: what the chart plots for each
// range, Refresh, and that the plot is really drawn.

#include "health/HistoryWindow.h"
#include "platform/posix/Posix.h"
#include "tests/health/HistorySample.h"
#include "tests/support/Fakes.h"
#include "tests/support/FileBytes.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using tw::health::HistoryChart;
using tw::health::HistoryRow;
using tw::health::HistoryWindow;
using tw::test::historyHeader;
using tw::test::historyLine;
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

} // namespace

class TestHistoryChart : public QObject {
    Q_OBJECT

private slots:
    void init();
    void plotsTheRange_data();
    void plotsTheRange();
    void refreshReadsAgainWithRotatedCopy();
    void drawsInThePlotColours_data();
    void drawsInThePlotColours();
    void titleAndControls();

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

void TestHistoryChart::drawsInThePlotColours_data() {
    QTest::addColumn<bool>("withHistory");
    QTest::newRow("sample history") << true;
    QTest::newRow("no history file") << false;
}

// The window as a user sees it at 800x500: with answers, each plot colour
// is there in quantity; without, none is (only the frames and texts).
void TestHistoryChart::drawsInThePlotColours() {
    QFETCH(bool, withHistory);
    if (withHistory)
        QVERIFY(tw::test::writeAll(path_, tw::test::sampleHistory(Now)));
    HistoryWindow window(files_, now(), path_, "S");
    window.resize(800, 500);
    window.show();
    const QImage image = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(image.width() >= 800 && image.height() >= 500);
    const QList<QPair<const char*, QColor>> colours{
        {"blocks", HistoryChart::BlocksColour},
        {"connections", HistoryChart::ConnectionsColour},
        {"intervals", HistoryChart::IntervalColour},
        {"failures", HistoryChart::FailureColour}};
    for (const auto& [name, colour] : colours) {
        const int pixels = pixelsOf(image, colour);
        if (withHistory)
            QVERIFY2(pixels >= 20, qPrintable(QString("%1: %2 pixels").arg(name).arg(pixels)));
        else
            QVERIFY2(pixels == 0, qPrintable(QString("%1: %2 pixels").arg(name).arg(pixels)));
    }
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
