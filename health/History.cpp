#include "health/History.h"

#include "app/Diagnostics.h"
#include "health/HistoryFile.h"
#include "poll/ChainPoll.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimeZone>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace tw::health {

namespace history {

QString pathFor(const platform::Platform& platform) {
    return platform.stateFolder + QLatin1Char('/') + platform.executableName +
           QStringLiteral(".history.csv");
}

std::optional<qint64> wholeNumber(const QString& text) {
    // A character beyond Latin-1 becomes '?', which is no digit either.
    return wholeNumber(QByteArrayView(text.trimmed().toLatin1()));
}

QString cleaned(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c.unicode() < 0x20 ||
            c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    return text;
}

namespace {

// The first `count` characters, without cutting a surrogate pair in half.
QString firstChars(const QString& text, int count) {
    if (text.size() <= count)
        return text;
    return text.left(text.at(count - 1).isHighSurrogate() ? count - 1 : count);
}

QString count(const std::optional<qint64>& value) {
    return value && *value >= 0 ? QString::number(*value) : QString();
}

// The state columns, each with its comma in front.
QString stateColumns(const node::NodeState& state) {
    QString progress;
    if (state.verificationProgress && std::isfinite(*state.verificationProgress) &&
        *state.verificationProgress >= 0)
        progress = QString::number(std::min(*state.verificationProgress, 1.0), 'f', 8);
    QString ibd;
    if (state.initialBlockDownload)
        ibd = *state.initialBlockDownload ? QStringLiteral("1") : QStringLiteral("0");
    QString columns;
    for (const QString& column :
         {count(state.headers), progress, ibd, count(state.tipTime), count(state.peersIn),
          count(state.peersOut), count(state.mempoolTransactions)})
        columns += QLatin1Char(',') + column;
    return columns;
}

} // namespace

QByteArray row(qint64 timeMsSinceEpoch, bool blockCount, bool answered, const QString& text,
               const node::NodeState& state) {
    const QString time = QDateTime::fromMSecsSinceEpoch(timeMsSinceEpoch, QTimeZone::utc())
                             .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
    QString value, failure;
    if (!answered)
        failure = cleaned(text).trimmed();
    else if (wholeNumber(text))
        value = text.trimmed();
    else
        failure =
            (QStringLiteral("not a number: ") + cleaned(firstChars(text.trimmed(), MaxQuotedChars)))
                .trimmed();
    if (!answered && failure.isEmpty())
        failure = QStringLiteral("no answer");
    // Only a block-count answer carries the node's state.
    const QString columns =
        stateColumns(blockCount && !value.isEmpty() ? state : node::NodeState());
    const QString line =
        time + (blockCount ? QStringLiteral(",blocks,") : QStringLiteral(",connections,")) + value +
        QLatin1Char(',') + failure + columns + QLatin1Char('\n');
    return line.toUtf8();
}

} // namespace history

const QString History::FailureKey = QStringLiteral("history");

// The rows queued and not yet written, shared by the caller and the worker.
struct HistoryQueue {
    std::mutex mutex;
    std::condition_variable idle;
    qint64 count = 0;
};

// Lives on the history's own thread and does all of its file work.
class HistoryWorker : public QObject {
    Q_OBJECT
public:
    HistoryWorker(QString path, qint64 capBytes, std::shared_ptr<HistoryQueue> queue)
        : path_(std::move(path)), capBytes_(capBytes), queue_(std::move(queue)) {}

    void append(const QByteArray& row) {
        const QString error = write(row);
        // Said once when the file stops taking rows, and once when it takes
        // them again.
        if (!error.isEmpty() && !failing_) {
            failing_ = true;
            emit failed(error);
        } else if (error.isEmpty() && failing_) {
            failing_ = false;
            emit worked();
        }
        // After the signals: whoever waits for the queue finds their reports
        // already posted.
        std::lock_guard lock(queue_->mutex);
        --queue_->count;
        queue_->idle.notify_all();
    }

signals:
    void failed(const QString& message);
    void worked();

private:
    // Empty when the row was written, otherwise why not.
    QString write(const QByteArray& row) {
        const QFileInfo info(path_);
        const QString folder = info.absolutePath();
        if (!QDir().mkpath(folder))
            return QStringLiteral("folder %1 cannot be made").arg(folder);
        if (info.exists() && !info.isFile())
            return QStringLiteral("%1 is not a file").arg(path_);
        if (info.exists() && (info.size() > capBytes_ || (!formatChecked_ && olderFormat()))) {
            const QString older = path_ + QStringLiteral(".1");
            QFile::remove(older);
            if (!QFile::rename(path_, older))
                return QStringLiteral("%1 cannot be renamed to %2").arg(path_, older);
        }
        QFile file(path_);
        // Unbuffered: what a failed write leaves is taken back below, and
        // nothing is left in a buffer to be written after it at the close.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return QStringLiteral("cannot write %1: %2").arg(path_, file.errorString());
        const qint64 had = file.size();
        const QByteArray bytes = had == 0 ? history::Header + row : row;
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            const QString why =
                QStringLiteral("cannot write %1: %2").arg(path_, file.errorString());
            // A full disk leaves no half row for the reader to trip over.
            file.resize(had);
            return why;
        }
        formatChecked_ = true;
        return {};
    }

    // Whether the file begins with anything but this version's header (an
    // earlier version's four columns): it is then rotated like a full one.
    // A file that cannot be read is appended to as it is.
    bool olderFormat() const {
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray start = file.read(history::Header.size());
        return !start.isEmpty() && start != history::Header;
    }

    QString path_;
    qint64 capBytes_;
    std::shared_ptr<HistoryQueue> queue_;
    bool failing_ = false;
    // The file's header was looked at (once a run: after that the file is
    // one this worker began, or was rotated to).
    bool formatChecked_ = false;
};

History::History(QString path, app::Diagnostics& diagnostics, qint64 capBytes, int stateWaitMs,
                 QObject* parent)
    : QObject(parent), path_(std::move(path)), diagnostics_(diagnostics),
      stateWait_(new QTimer(this)), queue_(std::make_shared<HistoryQueue>()), thread_(new QThread),
      worker_(new HistoryWorker(path_, capBytes, queue_)) {
    stateWait_->setSingleShot(true);
    stateWait_->setInterval(stateWaitMs);
    connect(stateWait_, &QTimer::timeout, this, &History::writeWaitingRow);
    thread_->setObjectName(QStringLiteral("history"));
    worker_->moveToThread(thread_);
    connect(worker_, &HistoryWorker::failed, this, &History::writeFailed, Qt::QueuedConnection);
    connect(worker_, &HistoryWorker::worked, this, &History::writeWorked, Qt::QueuedConnection);
    // The thread starts with the first row (enqueue): the program's start
    // does not wait for it, and a history that gets no row has none.
}

History::~History() {
    writeWaitingRow();
    if (!writerStarted_) {
        // No row came: no thread ran, nothing is queued.
        delete worker_;
        delete thread_;
        return;
    }
    // The thread ends after the rows queued before this request.
    QMetaObject::invokeMethod(
        worker_, [] { QThread::currentThread()->quit(); }, Qt::QueuedConnection);
    if (thread_->wait(FinishBoundMs)) {
        delete worker_;
        delete thread_;
        return;
    }
    // Past the bound a write is stuck in the file system (a network share
    // that no longer answers). The rows still queued are lost; the thread
    // and its worker are left to the end of the process (deleting a running
    // thread would abort the program), with the queue they share kept alive
    // by the worker. Their reports reach nobody: the connections to this
    // object end with it.
    disconnect(worker_, nullptr, this, nullptr);
}

void History::recordAnswer(qint64 timeMs, bool blockCount, const QString& text) {
    writeWaitingRow();
    const std::optional<qint64> blocks = blockCount ? history::wholeNumber(text) : std::nullopt;
    if (!blocks) {
        enqueue(history::row(timeMs, blockCount, true, text));
        return;
    }
    waiting_ = Waiting{timeMs, text, *blocks};
    stateWait_->start();
}

void History::recordFailure(qint64 timeMs, bool blockCount, const QString& reason) {
    writeWaitingRow();
    enqueue(history::row(timeMs, blockCount, false, reason));
}

void History::recordNodeState(const node::NodeState& state) {
    if (!waiting_ || (state.blocks && *state.blocks < waiting_->blocks))
        return;
    stateWait_->stop();
    const Waiting answer = *std::exchange(waiting_, std::nullopt);
    enqueue(history::row(answer.timeMs, true, true, answer.text, state));
}

void History::writeWaitingRow() {
    if (!waiting_)
        return;
    stateWait_->stop();
    const Waiting answer = *std::exchange(waiting_, std::nullopt);
    enqueue(history::row(answer.timeMs, true, true, answer.text));
}

void History::enqueue(QByteArray row) {
    {
        std::lock_guard lock(queue_->mutex);
        ++queue_->count;
    }
    // Posted to the worker before its thread runs, the row waits in the
    // thread's queue and is its first.
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, row = std::move(row)] { worker->append(row); },
        Qt::QueuedConnection);
    if (!writerStarted_) {
        writerStarted_ = true;
        thread_->start();
    }
}

bool History::waitForWrites(int timeoutMs) {
    bool empty = false;
    {
        std::unique_lock lock(queue_->mutex);
        empty = queue_->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [this] { return queue_->count == 0; });
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return empty;
}

void History::writeFailed(const QString& message) {
    diagnostics_.report(FailureKey, QString(),
                        QStringLiteral("History not written: ") + message +
                            QStringLiteral(" (the queries go on)"));
}

void History::writeWorked() {
    diagnostics_.clear(FailureKey);
}

void connectHistory(poll::ChainPoll& poll, History& history, WallClock now) {
    QObject::connect(&poll, &poll::ChainPoll::queryStarted, &history,
                     [&history](bool) { history.writeWaitingRow(); });
    QObject::connect(&poll, &poll::ChainPoll::queryAnswered, &history,
                     [&history, now](bool blockCount, const QString& text) {
                         history.recordAnswer(now(), blockCount, text);
                     });
    QObject::connect(&poll, &poll::ChainPoll::queryFailed, &history,
                     [&history, now](bool blockCount, const QString& reason) {
                         history.recordFailure(now(), blockCount, reason);
                     });
}

} // namespace tw::health

#include "History.moc"
