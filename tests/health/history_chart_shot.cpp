// Pictures of the history window and the alerts dialog for the manual, drawn
// offscreen:
//
//   history_chart_shot HISTORY.csv OUT.png [day|week]
//       the history window over that file, the range ending at its newest row
//   history_chart_shot --sample HISTORY.csv
//       writes a day and a half of sample history ending now (a three-hour
//       stall in the middle of the last day, the catch-up after it, a few
//       failed queries)
//   history_chart_shot --sample-sync HISTORY.csv
//       writes ten hours of a node in its initial block download, ending now
//   history_chart_shot --alerts OUT.png
//       the alerts dialog with its default values

#include "health/AlertsDialog.h"
#include "health/HistoryWindow.h"
#include "platform/posix/Posix.h"
#include "tests/health/HistorySample.h"
#include "tests/support/FileBytes.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QPixmap>

#include <cstdio>

namespace {

int usage() {
    std::fprintf(stderr, "usage: history_chart_shot HISTORY.csv OUT.png [day|week]\n"
                         "       history_chart_shot --sample HISTORY.csv\n"
                         "       history_chart_shot --sample-sync HISTORY.csv\n"
                         "       history_chart_shot --alerts OUT.png\n");
    return 2;
}

bool save(QWidget& widget, const QString& path) {
    widget.show();
    QApplication::processEvents();
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s: %dx%d\n", qPrintable(path), widget.width(), widget.height());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == "--sample") {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        return tw::test::writeAll(args[1], tw::test::sampleHistory(now)) ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == "--sample-sync") {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        return tw::test::writeAll(args[1], tw::test::syncSampleHistory(now)) ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == "--alerts") {
        tw::health::AlertsDialog dialog(tw::health::AlertSettings(), "TW-CLI-UI");
        return save(dialog, args[1]) ? 0 : 1;
    }
    if (args.size() < 2 || args.size() > 3 ||
        (args.size() == 3 && args[2] != "day" && args[2] != "week"))
        return usage();

    tw::platform::LocalFileSystem files;
    const tw::health::HistoryRead read = tw::health::readHistory(files, args[0]);
    qint64 newest = QDateTime::currentMSecsSinceEpoch();
    if (!read.rows.isEmpty()) {
        newest = read.rows.first().timeMs;
        for (const auto& row : read.rows)
            newest = std::max(newest, row.timeMs);
    }
    tw::health::HistoryWindow window(
        files, [newest] { return newest + 60000; }, args[0], "TW-CLI-UI");
    window.resize(800, 600);
    if (args.size() == 3 && args[2] == "week")
        window.findChild<QComboBox*>("HISTORY_RANGE_COMBO")->setCurrentIndex(1);
    return save(window, args[1]) ? 0 : 1;
}
