#pragma once
// The history of every answer the query cycles read: one CSV row per cycle in
// <stateFolder>/<executable>.history.csv, written on a thread of its own so
// that a slow or hung disk never holds up a query cycle.
//
//   time,kind,value,failure,headers,progress,ibd,tip_time,peers_in,peers_out,mempool_tx
//   2026-12-06T14:25:37.123Z,blocks,871234,,871240,0.99991234,1,1796559300,0,10,4321
//   2026-12-06T14:25:41.000Z,connections,10,,,,,,,,
//   2026-12-06T14:26:37.000Z,blocks,,log not updated by the query,,,,,,,
//
// time is UTC with milliseconds; kind is "blocks" or "connections"; value is
// the answer (a whole non-negative number) or empty; failure is empty or a
// short reason that never holds a comma, a double quote, CR or LF. An answer
// that is not a whole number is a failure "not a number: <its start>".
//
// The last seven columns are the node's state read after a block-count
// answer (headers, verification progress 0 to 1 with 8 decimals, initial
// block download 0 or 1, the tip's time in seconds since the epoch, peers in
// and out, transactions in the mempool); each is empty when the node did not
// say, and all are empty on connection rows and failures. The state comes a
// few seconds after its answer (recordNodeState), so the answer's row waits
// for it; it is written without the state when the next query starts, when
// no state came within StateWaitMs, or when the history ends. No row is
// lost or written twice, and rows stay in the order of their times.
//
// When the file has grown past the cap it becomes <file>.1 (replacing an
// older one) and a new file with the header starts. A file that does not
// begin with this header (one of the four-column files of earlier versions)
// is rotated the same way before the first row of a run: every file holds
// one kind of row under its own header, so a spreadsheet reads its columns
// right. The reader takes rows of either width from either file.

#include "node/NodeState.h"
#include "platform/Platform.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QThread;
class QTimer;

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
inline const QByteArray Header = QByteArrayLiteral(
    "time,kind,value,failure,headers,progress,ibd,tip_time,peers_in,peers_out,mempool_tx\n");
// The header of the files of earlier versions (rows of the first four
// columns only).
inline const QByteArray FourColumnHeader = QByteArrayLiteral("time,kind,value,failure\n");
// How long a block-count row waits for its node state.
inline constexpr int StateWaitMs = 60000;
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
// otherwise why it got no answer. `state` fills the state columns of a
// block-count answer that is a number; every other row leaves them empty.
QByteArray row(qint64 timeMsSinceEpoch, bool blockCount, bool answered, const QString& text,
               const node::NodeState& state = {});

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
            int stateWaitMs = history::StateWaitMs, QObject* parent = nullptr);
    ~History() override;
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    const QString& path() const { return path_; }

    // Queue a row; returns at once. A block-count answer that is a number
    // waits for its node state (recordNodeState); any row recorded after it
    // writes it first, without the state.
    void recordAnswer(qint64 timeMs, bool blockCount, const QString& text);
    void recordFailure(qint64 timeMs, bool blockCount, const QString& reason);

    // The node's state read after the latest block-count answer: it
    // completes that answer's row, which is then queued. Nothing waits (no
    // answer yet, or its row was already written): the state is dropped. A
    // state whose block count is below the waiting answer was read before
    // that answer (a late one of an earlier answer) and is dropped too; the
    // row goes on waiting for its own.
    void recordNodeState(const node::NodeState& state);

    // Queues the row that waits for its state, without the state (a query
    // starts, the wait is over, the history ends). Nothing when none waits.
    void writeWaitingRow();
    bool rowWaiting() const { return waiting_.has_value(); }

    // Wait at most timeoutMs until every row queued so far is on disk (or
    // failed), then deliver the reports the writes queued for this thread.
    // True when the queue was empty in time. A row still waiting for its
    // state is not queued yet.
    bool waitForWrites(int timeoutMs);

private:
    void enqueue(QByteArray row);
    void writeFailed(const QString& message);
    void writeWorked();

    // A block-count answer whose row waits for the node's state.
    struct Waiting {
        qint64 timeMs;
        QString text;
        qint64 blocks;
    };

    QString path_;
    app::Diagnostics& diagnostics_;
    std::optional<Waiting> waiting_;
    // Ends the wait for the state (single shot).
    QTimer* stateWait_;
    // Shared with the worker, which may outlive this object (see the
    // destructor).
    std::shared_ptr<HistoryQueue> queue_;
    QThread* thread_;
    HistoryWorker* worker_;
    // The thread is started by the first row.
    bool writerStarted_ = false;
};

// Every answered or failed cycle of `poll` becomes a row of `history`, at the
// wall clock's time; the start of a query ends the wait of a block-count row
// for its node state.
void connectHistory(poll::ChainPoll& poll, History& history, WallClock now);

} // namespace tw::health
