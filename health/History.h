#pragma once
// The history of every answer the query cycles read: one CSV row per cycle in
// <stateFolder>/<executable>.history.csv, written on a thread of its own so
// that a slow or hung disk never holds up a query cycle.
//
//   time,kind,value,failure
//   2026-12-06T14:25:37.123Z,blocks,871234,
//   2026-12-06T14:26:37.000Z,connections,,log not updated by the query
//
// time is UTC with milliseconds; kind is "blocks" or "connections"; value is
// the answer (a whole non-negative number) or empty; failure is empty or a
// short reason that never holds a comma, a double quote, CR or LF. An answer
// that is not a whole number is a failure "not a number: <its start>". When
// the file has grown past the cap it becomes <file>.1 (replacing an older
// one) and a new file with the header starts.

#include "platform/Platform.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace tw::app {
class Diagnostics;
}
namespace tw::poll {
class ChainPoll;
}

namespace tw::health {

// Milliseconds since the epoch (UTC), for the times the history and the
// tooltip show. The program's platform clock is monotonic and counts from
// the start, so the composition root hands in the system's wall clock
// (QDateTime::currentMSecsSinceEpoch); the tests hand in their virtual clock.
using WallClock = std::function<qint64()>;

namespace history {

inline constexpr qint64 CapBytes = 1048576;
inline const QByteArray Header = QByteArrayLiteral("time,kind,value,failure\n");
// The most of an answer that is not a number that a row keeps.
inline constexpr int MaxQuotedChars = 40;

// <stateFolder>/<executable>.history.csv
QString pathFor(const platform::Platform& platform);

// The answer as a count: trimmed, then as a row's value (HistoryFile.h).
std::optional<qint64> wholeNumber(const QString& text);

// The text with every character a row cannot hold (',', '"', CR, LF and the
// other control characters) replaced by a blank.
QString cleaned(QString text);

// One row, line end included. `text` is what the cycle read when `answered`,
// otherwise why it got no answer.
QByteArray row(qint64 timeMsSinceEpoch, bool blockCount, bool answered, const QString& text);

} // namespace history

class HistoryWorker;
struct HistoryQueue;

class History : public QObject {
    Q_OBJECT
public:
    // Diagnostics key of a history file that cannot be written (no control
    // shows it).
    static const QString FailureKey;
    // How long the destructor waits for queued rows (a file on a hung
    // network share must not hold up the program's end).
    static constexpr int FinishBoundMs = 3000;

    History(QString path, app::Diagnostics& diagnostics, qint64 capBytes = history::CapBytes,
            QObject* parent = nullptr);
    ~History() override;
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    const QString& path() const { return path_; }

    // Queue a row; returns at once.
    void recordAnswer(qint64 timeMs, bool blockCount, const QString& text);
    void recordFailure(qint64 timeMs, bool blockCount, const QString& reason);

    // Wait at most timeoutMs until every row queued so far is on disk (or
    // failed), then deliver the reports the writes queued for this thread.
    // True when the queue was empty in time.
    bool waitForWrites(int timeoutMs);

private:
    void enqueue(QByteArray row);
    void writeFailed(const QString& message);
    void writeWorked();

    QString path_;
    app::Diagnostics& diagnostics_;
    // Shared with the worker, which may outlive this object (see the
    // destructor).
    std::shared_ptr<HistoryQueue> queue_;
    QThread* thread_;
    HistoryWorker* worker_;
};

// Every answered or failed cycle of `poll` becomes a row of `history`, at the
// wall clock's time.
void connectHistory(poll::ChainPoll& poll, History& history, WallClock now);

} // namespace tw::health
