#pragma once
// The history window: a range choice, Refresh and the chart of the answer
// history. Not modal; the file is read when the window opens and on Refresh.

#include "health/HistoryChart.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace tw::platform {
class Clock;
class FileSystem;
} // namespace tw::platform

namespace tw::health {

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // historyPath: <stateFolder>/<executable>.history.csv; section names the
    // configuration in the title. clock.now() is the end of the range.
    HistoryWindow(platform::FileSystem& files, const platform::Clock& clock, QString historyPath,
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
    const platform::Clock& clock_;
    QString path_;
    QList<HistoryRow> rows_;
    QComboBox* range_;
    QPushButton* refresh_;
    QLabel* status_;
    HistoryChart* chart_;
};

} // namespace tw::health
