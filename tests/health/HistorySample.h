#pragma once
// History rows for tests and the chart's pictures, written as the panel
// writes them: times relative to a given "now".

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cmath>

namespace tw::test {

inline QByteArray historyHeader() {
    return "time,kind,value,failure,headers,progress,ibd,tip_time,peers_in,peers_out,mempool_tx\n";
}

// One row minutesBefore before nowMs (negative: after it). value empty and
// failure set for a failed query; state holds the seven state columns
// ("871240,0.99990000,1,1796559300,0,10,4321"), empty for none.
inline QByteArray historyLine(qint64 nowMs, double minutesBefore, const QString& kind,
                              const QString& value, const QString& failure = QString(),
                              const QString& state = QString()) {
    const qint64 at = nowMs - qint64(minutesBefore * 60000);
    const QString time = QDateTime::fromMSecsSinceEpoch(at, Qt::UTC)
                             .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    return (time + ',' + kind + ',' + value + ',' + failure + ',' +
            (state.isEmpty() ? QStringLiteral(",,,,,,") : state) + '\n')
        .toUtf8();
}

// The state columns of a block-count row.
inline QString stateColumns(qint64 headers, double progress, bool initialDownload, qint64 tipTime,
                            int peersIn, int peersOut, int mempool) {
    return QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
        .arg(headers)
        .arg(progress, 0, 'f', 8)
        .arg(initialDownload ? 1 : 0)
        .arg(tipTime)
        .arg(peersIn)
        .arg(peersOut)
        .arg(mempool);
}

// A day and a half of a synced node queried every minute: the block count
// rises about every ten minutes, stalls for three hours in the middle of
// the last day (while its connections drop, its tip ages and its
// verification progress sinks), then catches up with the headers; a few
// queries fail. withState: the block-count rows carry the node's state.
inline QByteArray sampleHistory(qint64 nowMs, bool withState = true) {
    QByteArray bytes = historyHeader();
    qint64 blocks = 871000;
    qint64 headers = blocks;
    qint64 tipTime = nowMs / 1000 - 36 * 3600 - 300;
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int minute = 36 * 60; minute >= 0; --minute) {
        const qint64 nowS = nowMs / 1000 - minute * 60;
        const bool stalled = minute <= 14 * 60 && minute > 11 * 60;
        if (next() % 10 == 0)
            ++headers; // the network goes on; a stalled node learns of it later
        if (!stalled && blocks < headers) {
            // Caught up in a few minutes after the stall, one block a query.
            blocks += std::min<qint64>(headers - blocks, minute > 10 * 60 ? 4 : 1);
            tipTime = nowS - 60 * qint64(headers - blocks) - 30;
        }
        // The progress estimate counts the time since the tip as unverified.
        const double progress = 1.0 - double(nowS - tipTime) * 4e-9;
        const int connections = stalled ? 1 + int(next() % 2) : 8 + int(next() % 4);
        const QString state =
            withState && !stalled
                ? stateColumns(headers, progress, false, tipTime, connections - 8 > 0 ? 1 : 0,
                               std::min(connections, 8), 3000 + int(next() % 2000))
            : withState ? stateColumns(blocks, progress, false, tipTime, 0, connections, 2000)
                        : QString();
        if (minute % 317 == 5)
            bytes += historyLine(nowMs, minute, "blocks", "", "log not updated by the query");
        else
            bytes += historyLine(nowMs, minute, "blocks", QString::number(blocks), {}, state);
        if (minute % 401 == 7)
            bytes += historyLine(nowMs, minute - 0.1, "connections", "",
                                 "not a number: error code: -28");
        else
            bytes += historyLine(nowMs, minute - 0.1, "connections", QString::number(connections));
    }
    return bytes;
}

// Ten hours of a node in its initial block download, queried every minute:
// some 120 blocks a minute, the verification progress from 55 % to
// 80 %, the tip's age falling from more than a year to some months, the
// headers ahead all the time.
inline QByteArray syncSampleHistory(qint64 nowMs) {
    QByteArray bytes = historyHeader();
    quint32 seed = 4242;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    const int minutes = 10 * 60;
    qint64 blocks = 690000;
    for (int minute = minutes; minute >= 0; --minute) {
        const double done = double(minutes - minute) / minutes;
        const qint64 nowS = nowMs / 1000 - minute * 60;
        blocks += 100 + int(next() % 41);
        const qint64 headers = 871400 + (minutes - minute) / 10;
        const double progress = 0.55 + 0.25 * done + double(next() % 100) * 1e-6;
        const qint64 tipTime = nowS - qint64((420 - 270 * done) * 86400);
        const int peers = 6 + int(next() % 5);
        bytes += historyLine(nowMs, minute, "blocks", QString::number(blocks), {},
                             stateColumns(headers, progress, true, tipTime, 0, peers, 0));
        bytes += historyLine(nowMs, minute - 0.1, "connections", QString::number(peers));
    }
    return bytes;
}

} // namespace tw::test
