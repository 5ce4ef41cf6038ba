// How long the demo client takes to answer through a batch file: the time
// from starting the block-count batch file with the real runner to its log
// holding the whole answer (digits and a line end). The query cycle opens
// the log four seconds after the start; the difference is its margin.
// Then the cost of the cycle's finishBatch once the client has answered (a
// pass over /proc, and a wait if the client still runs), and how many runs
// the client failed in (its exit status and error output, as finishBatch
// tells them).
//
//   bench_batch_latency [runs]        (default 50)
//
// Starts its own demo daemon in a temporary folder and stops it at the end.
// Not a test: it prints figures.

#include "bench/DemoDaemon.h"
#include "platform/posix/Posix.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr qint64 GiveUpNs = 10'000'000'000; // a run that takes longer counts as lost
constexpr qint64 CycleWaitMs = 4000;        // start of the batch file to the read of its log

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double ms(qint64 ns) {
    return double(ns) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 50;

    QTemporaryDir tmp;
    if (!tmp.isValid() || !QDir(tmp.path()).mkpath("node") || !QDir(tmp.path()).mkpath("panel")) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    tw::bench::DemoDaemon node(tmp.filePath("node"));
    const QString conf = node.conf();
    const QString bat = tmp.filePath("panel/CLI-UI-GBC.BAT");
    const QString log = tmp.filePath("panel/CLI-UI-GBC.LOG");
    {
        QFile batch(bat);
        batch.open(QIODevice::WriteOnly);
        batch.write(QStringLiteral("call \"%1\" -conf=%2 getblockcount > %3\r\n")
                        .arg(QStringLiteral(TWDEMO_CLI), conf, log)
                        .toUtf8());
    }

    if (!node.start()) {
        std::fprintf(stderr, "the demo daemon did not start or does not answer\n");
        return 1;
    }

    static const QRegularExpression complete(QStringLiteral("\\A[0-9]+\\n\\z"));
    tw::platform::PosixProcessStarter starter;
    std::vector<qint64> times, finishes;
    int lost = 0, ended = 0, failedRuns = 0;
    QString firstFailure;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(log);
        QElapsedTimer clock;
        clock.start();
        const tw::platform::BatchStart started =
            starter.startBatchFile(bat, tw::platform::BatchKind::Query);
        if (!started.result) {
            std::fprintf(stderr, "run %d: %s\n", run, qPrintable(started.result.error));
            ++lost;
            continue;
        }
        qint64 took = -1;
        while (clock.nsecsElapsed() < GiveUpNs) {
            if (complete.match(QString::fromLatin1(contents(log))).hasMatch()) {
                took = clock.nsecsElapsed();
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (took < 0)
            ++lost;
        else
            times.push_back(took);
        // As the cycle does after its read (here at once, so the client may
        // still be on its way out).
        QElapsedTimer finish;
        finish.start();
        const tw::platform::BatchEnd end = starter.finishBatch(started.id);
        finishes.push_back(finish.nsecsElapsed());
        if (!end.ended.isEmpty())
            ++ended;
        // The client's own words when it failed (it should not here).
        if ((end.exitStatus && *end.exitStatus != 0) || !end.errorOutput.isEmpty()) {
            ++failedRuns;
            if (firstFailure.isEmpty())
                firstFailure = QStringLiteral("status %1%2: %3")
                                   .arg(end.exitStatus ? QString::number(*end.exitStatus)
                                                       : QStringLiteral("none"),
                                        end.signal.isEmpty() ? QString() : " " + end.signal,
                                        QString::fromLocal8Bit(end.errorOutput).trimmed());
        }
    }

    node.stop();

    if (times.empty()) {
        std::printf("runs %d, none answered\n", runs);
        return 1;
    }
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    const qint64 median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    const qint64 p90 = times[std::min(n - 1, (n * 9 + 9) / 10 - 1)];
    double sum = 0;
    for (qint64 t : times)
        sum += ms(t);
    std::printf("batch file start -> log complete, demo client, %d runs (%d lost)\n", runs, lost);
    std::printf("  best   %8.1f ms\n", ms(times.front()));
    std::printf("  median %8.1f ms\n", ms(median));
    std::printf("  mean   %8.1f ms\n", sum / double(n));
    std::printf("  p90    %8.1f ms\n", ms(p90));
    std::printf("  worst  %8.1f ms\n", ms(times.back()));
    std::printf("  margin left by the %lld ms wait: %.1f ms at worst\n", CycleWaitMs,
                double(CycleWaitMs) - ms(times.back()));
    std::sort(finishes.begin(), finishes.end());
    std::printf("finishBatch right after the log was complete, %zu runs (%d found the client "
                "still running)\n",
                finishes.size(), ended);
    std::printf("  median %8.2f ms\n", ms(finishes[finishes.size() / 2]));
    std::printf("  worst  %8.2f ms\n", ms(finishes.back()));
    std::printf("client failed (exit status or stderr) in %d runs%s%s\n", failedRuns,
                firstFailure.isEmpty() ? "" : "; the first: ", qPrintable(firstFailure));
    return lost ? 2 : 0;
}
