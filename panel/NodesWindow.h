#pragma once
// All nodes in one view: every configuration of this user (the store's
// sections) with its last block count, headers, peers, tip age and state
// colour from its answer history, and whether its panel runs. A double
// click raises that configuration's panel, or starts it.

#include "health/HistoryFile.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QTableWidget;

namespace tw::platform {
struct Platform;
}

namespace tw::panel {

// One configuration's line, from the rows of its history.
struct NodeLine {
    QString section;
    std::optional<qint64> blocks;
    std::optional<qint64> headers;
    std::optional<qint64> peers;
    std::optional<qint64> tipAgeSeconds;
    enum class State { NoAnswer, Answering, Syncing, Stalled, Failing } state = State::NoAnswer;
    QString stateText; // "answering", "syncing", "stalled 3 h", "failing: log missing", "no answers
                       // yet"
};

NodeLine summarize(const QString& section, const QList<health::HistoryRow>& rows, int stallMinutes,
                   qint64 nowMs);
QColor stateColour(NodeLine::State state);

class NodesWindow : public QWidget {
    Q_OBJECT
public:
    // `ownSection`: this panel's configuration; `program`: this panel's own
    // program file (the others are looked for beside it, in
    // ~/.local/bin and on PATH); `nowMs`: the wall clock.
    NodesWindow(platform::Platform& platform, QString ownSection, QString program,
                std::function<qint64()> nowMs, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    // The line the window says under the table (what a double click did).
    QString status() const;
    // The program file of `section`'s panel; empty when there is none.
    QString programFor(const QString& section) const;

public slots:
    void refresh();
    // What a double click on `section`'s row does.
    void open(const QString& section);

signals:
    // The own configuration's row was opened: bring this panel up.
    void showOwnPanel();

protected:
    void showEvent(QShowEvent* event) override;

private:
    platform::Platform& platform_;
    QString ownSection_;
    QString program_;
    std::function<qint64()> nowMs_;
    QTableWidget* table_;
    QLabel* status_;
};

} // namespace tw::panel
