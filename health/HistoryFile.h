#pragma once
// Reading the answer history (<executable>.history.csv and its rotated copy
// <same>.1): one row per answer a query cycle read or failed to read, with
// the node's state after a block-count answer where it was known.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace tw::platform {
class FileSystem;
}

namespace tw::health {

namespace history {
// A whole non-negative number of 1 to 18 digits 0-9 and nothing else (so it
// fits): the only value a row holds.
std::optional<qint64> wholeNumber(QByteArrayView digits);
// A fraction from 0 to 1 written as digits with at most one '.' (at most 20
// characters), as the progress column holds it.
std::optional<double> fraction(QByteArrayView text);
} // namespace history

struct HistoryRow {
    enum class Kind { Blocks, Connections };

    qint64 timeMs = 0; // UTC, milliseconds since the epoch
    Kind kind = Kind::Blocks;
    std::optional<qint64> value; // the answer; none when the query failed
    QString failure;             // why it failed; empty on success
    // The node's state read after a block-count answer; each unknown when
    // the row does not say (older rows, the node did not say, a damaged
    // value).
    std::optional<qint64> headers;
    std::optional<double> progress; // verification progress, 0 to 1
    std::optional<bool> initialDownload;
    std::optional<qint64> tipTime; // seconds since the epoch
    std::optional<qint64> peersIn;
    std::optional<qint64> peersOut;
    std::optional<qint64> mempoolTransactions;

    bool failed() const { return !value.has_value(); }
    bool operator==(const HistoryRow&) const = default;
};

// The rows of one file's bytes in file order. The header, blank lines and
// any line that is not a well-formed row are skipped: a damaged or
// hand-edited file never stops the reading. A row has the four columns of
// earlier versions or the eleven of this one (more are a later version's,
// and ignored), whatever the header says; a state column that does not hold
// a value of its kind is read as unknown and the row kept.
QList<HistoryRow> parseHistory(const QByteArray& bytes);

// One row's time as the file writes it ("2026-12-06T14:25:37.123Z");
// nullopt when the text is not exactly that form or not a real date.
std::optional<qint64> parseHistoryTime(QByteArrayView text);

struct HistoryRead {
    QList<HistoryRow> rows; // the rotated copy's rows, then the current file's
    QString problem;        // empty, or what could not be read (shown to the user)
};

// Reads `<path>.1` then `<path>`. A file that does not exist is simply no
// rows (no history yet); one that cannot be read is named in `problem`.
HistoryRead readHistory(platform::FileSystem& files, const QString& path);

// The most bytes read of one file: the writer starts a new file past 1 MiB,
// so only a file made by something else comes near this.
constexpr qint64 MaxHistoryFileBytes = 16 * 1024 * 1024;

} // namespace tw::health
