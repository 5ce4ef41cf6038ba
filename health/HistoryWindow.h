#pragma once
// The history window: a range choice, Refresh and the chart of the answer
// history (with the node's sync where the rows have it: see HistoryChart).
// Not modal; the file is read when the window opens and on Refresh.

#include "health/HistoryChart.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

#include <functional>

namespace tw::platform {
class FileSystem;
} // namespace tw::platform

namespace tw::health {

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // historyPath: <stateFolder>/<executable>.history.csv; section names the
    // configuration in the title. nowMs gives the end of the range in the
    // history's own time: UTC milliseconds since the epoch.
    HistoryWindow(platform::FileSystem& files, std::function<qint64()> nowMs, QString historyPath,
                  const QString& section, QWidget* parent = nullptr);

    HistoryChart* chart() const { return chart_; }
    HistoryRange range() const;

public slots:
    // Reads the history afresh and plots it up to now.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void plot();

    platform::FileSystem& files_;
    std::function<qint64()> now_;
    QString path_;
    QList<HistoryRow> rows_;
    QComboBox* range_;
    QPushButton* refresh_;
    QLabel* status_;
    HistoryChart* chart_;
};

} // namespace tw::health
