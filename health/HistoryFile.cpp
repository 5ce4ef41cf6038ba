#include "health/HistoryFile.h"

#include "platform/Platform.h"

#include <QDate>

namespace tw::health {

namespace {

// Digits at [from, from + count) as a number; -1 when any is not a digit.
int digits(QByteArrayView text, int from, int count) {
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The columns of a row: the four of every version, then the node's state.
constexpr int BaseColumns = 4;
constexpr int StateColumns = 7;

std::optional<HistoryRow> parseLine(QByteArrayView line) {
    // Four fields (earlier versions) or eleven: the failure reason never
    // holds a comma. Fields past the eleventh are a later version's.
    constexpr int Kept = BaseColumns + StateColumns;
    QByteArrayView fields[Kept];
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ',') {
            if (count < Kept)
                fields[count] = line.sliced(start, i - start);
            ++count;
            start = i + 1;
        }
    }
    if (count != BaseColumns && count < Kept)
        return std::nullopt;

    HistoryRow row;
    const auto time = parseHistoryTime(fields[0]);
    if (!time)
        return std::nullopt;
    row.timeMs = *time;

    if (fields[1] == "blocks")
        row.kind = HistoryRow::Kind::Blocks;
    else if (fields[1] == "connections")
        row.kind = HistoryRow::Kind::Connections;
    else
        return std::nullopt;

    // A row is an answer or a failure, never both nor neither.
    const QByteArrayView value = fields[2];
    const QByteArrayView failure = fields[3];
    if (failure.isEmpty()) {
        row.value = history::wholeNumber(value);
        if (!row.value)
            return std::nullopt;
    } else {
        if (!value.isEmpty())
            return std::nullopt;
        row.failure = QString::fromUtf8(failure);
    }
    if (count >= Kept) {
        const QByteArrayView* state = fields + BaseColumns;
        row.headers = history::wholeNumber(state[0]);
        row.progress = history::fraction(state[1]);
        if (state[2] == "0" || state[2] == "1")
            row.initialDownload = state[2] == "1";
        row.tipTime = history::wholeNumber(state[3]);
        row.peersIn = history::wholeNumber(state[4]);
        row.peersOut = history::wholeNumber(state[5]);
        row.mempoolTransactions = history::wholeNumber(state[6]);
    }
    return row;
}

} // namespace

std::optional<qint64> parseHistoryTime(QByteArrayView text) {
    // yyyy-MM-ddTHH:mm:ss.zzzZ
    if (text.size() != 24 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != '.' || text[23] != 'Z')
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    const int ms = digits(text, 20, 3);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || ms < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    static const qint64 epochDay = QDate(1970, 1, 1).toJulianDay();
    const qint64 days = date.toJulianDay() - epochDay;
    return ((days * 24 + hour) * 60 + minute) * 60000LL + second * 1000LL + ms;
}

QList<HistoryRow> parseHistory(const QByteArray& bytes) {
    QList<HistoryRow> rows;
    const QByteArrayView all(bytes);
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        QByteArrayView line = all.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (auto row = parseLine(line))
            rows.append(*row);
        start = end + 1;
    }
    return rows;
}

HistoryRead readHistory(platform::FileSystem& files, const QString& path) {
    HistoryRead read;
    QStringList problems;
    for (const QString& file : {path + QStringLiteral(".1"), path}) {
        if (!files.stamp(file).exists())
            continue;
        platform::FileRead got = files.readFile(file, MaxHistoryFileBytes);
        if (!got.result) {
            problems << got.result.error;
            continue;
        }
        if (got.truncated) {
            // The last line read is cut short: a cut number would read as
            // another number, so it goes.
            got.bytes.truncate(got.bytes.lastIndexOf('\n') + 1);
            problems << QStringLiteral("%1: only the first %2 MiB read")
                            .arg(file)
                            .arg(MaxHistoryFileBytes / (1024 * 1024));
        }
        read.rows += parseHistory(got.bytes);
    }
    read.problem = problems.join(QStringLiteral("; "));
    return read;
}

std::optional<qint64> history::wholeNumber(QByteArrayView digits) {
    if (digits.isEmpty() || digits.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<double> history::fraction(QByteArrayView text) {
    if (text.isEmpty() || text.size() > 20 || text.front() == '.' || text.back() == '.')
        return std::nullopt;
    int dots = 0;
    for (const char c : text) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return std::nullopt;
    }
    if (dots > 1)
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value < 0 || value > 1)
        return std::nullopt;
    return value;
}

} // namespace tw::health
