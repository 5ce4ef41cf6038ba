#pragma once
// History rows for tests and the chart's picture, written as the panel
// writes them: times relative to a given "now".

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tw::test {

inline QByteArray historyHeader() {
    return "time,kind,value,failure\n";
}

// One row minutesBefore before nowMs (negative: after it). value empty and
// failure set for a failed query.
inline QByteArray historyLine(qint64 nowMs, double minutesBefore, const QString& kind,
                              const QString& value, const QString& failure = QString()) {
    const qint64 at = nowMs - qint64(minutesBefore * 60000);
    const QString time = QDateTime::fromMSecsSinceEpoch(at, Qt::UTC)
                             .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    return (time + ',' + kind + ',' + value + ',' + failure + '\n').toUtf8();
}

// A day and a half of a node queried every minute: the block count rises
// about every ten minutes, stalls for three hours in the middle of the last
// day (while its connections drop), and a few queries fail.
inline QByteArray sampleHistory(qint64 nowMs) {
    QByteArray bytes = historyHeader();
    qint64 blocks = 871000;
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int minute = 36 * 60; minute >= 0; --minute) {
        const bool stalled = minute <= 14 * 60 && minute > 11 * 60;
        if (!stalled && next() % 10 == 0)
            ++blocks;
        if (minute % 317 == 5)
            bytes += historyLine(nowMs, minute, "blocks", "", "log not updated by the query");
        else
            bytes += historyLine(nowMs, minute, "blocks", QString::number(blocks));
        const int connections = stalled ? 1 + int(next() % 2) : 8 + int(next() % 4);
        if (minute % 401 == 7)
            bytes += historyLine(nowMs, minute - 0.1, "connections", "",
                                 "not a number: error code: -28");
        else
            bytes += historyLine(nowMs, minute - 0.1, "connections", QString::number(connections));
    }
    return bytes;
}

} // namespace tw::test
