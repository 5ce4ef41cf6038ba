// What asking the node's state costs: the three state calls
// (getblockchaininfo, getnetworkinfo, getmempoolinfo) through the real
// starter and the demo client, as the panel asks them after each
// block-count answer. Two figures per round: the wall time from the ask to
// the state being read, and the longest the event loop went without
// running (a 1 ms timer measures it): the user-interface thread's stall
// during the round, which should be what an idle loop shows.
//
//   bench_node_state [rounds]        (default 30)
//
// Starts its own demo daemon in a temporary folder and stops it at the end.
// Not a test: it prints figures.

#include "app/Diagnostics.h"
#include "bench/DemoDaemon.h"
#include "node/NodeQuery.h"
#include "platform/posix/Posix.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

struct Figures {
    std::vector<double> values;
    void print(const char* what) {
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        std::printf("%s, %zu rounds\n  best   %8.2f ms\n  median %8.2f ms\n  p90    %8.2f ms\n  "
                    "worst  %8.2f ms\n",
                    what, n, values.front(), values[n / 2],
                    values[std::min(n - 1, (n * 9 + 9) / 10 - 1)], values.back());
    }
};

// The longest gap between two runs of a 1 ms timer while `running` holds.
double longestGapMs(const std::function<bool()>& running) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed(), longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (!running())
            loop.quit();
    });
    tick.start(1);
    loop.exec();
    return double(longest) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 30;

    QTemporaryDir tmp;
    if (!tmp.isValid() || !QDir(tmp.path()).mkpath("node")) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    tw::bench::DemoDaemon node(tmp.filePath("node"));
    const QString conf = node.conf();
    const QString bat = tmp.filePath("CLI-UI-GBC.BAT");
    {
        QFile batch(bat);
        batch.open(QIODevice::WriteOnly);
        batch.write(QStringLiteral("call \"%1\" -conf=%2 getblockcount > %3\r\n")
                        .arg(QStringLiteral(TWDEMO_CLI), conf, tmp.filePath("CLI-UI-GBC.LOG"))
                        .toUtf8());
    }
    if (!node.start()) {
        std::fprintf(stderr, "the demo daemon did not start or does not answer\n");
        return 1;
    }

    tw::platform::PosixProcessStarter starter;
    tw::platform::LocalFileSystem files;
    tw::app::Diagnostics diagnostics(QString(), true);
    tw::node::NodeQuery query(starter, files, diagnostics);
    Figures wall, stall, idle;
    int empty = 0;
    for (int round = 0; round < rounds; ++round) {
        // The loop's own gaps with nothing to do, for comparison.
        QElapsedTimer idleFor;
        idleFor.start();
        idle.values.push_back(longestGapMs([&] { return idleFor.elapsed() < 100; }));

        bool done = false;
        const auto connection = QObject::connect(
            &query, &tw::node::NodeQuery::answered, &app,
            [&](const tw::node::NodeState& state, const QString& failure) {
                done = true;
                if (state.empty()) {
                    ++empty;
                    std::fprintf(stderr, "round %d: %s\n", round, qPrintable(failure));
                }
            });
        QElapsedTimer clock;
        clock.start();
        if (!query.ask(bat)) {
            std::fprintf(stderr, "round %d: not asked\n", round);
            return 1;
        }
        stall.values.push_back(longestGapMs([&] { return !done; }));
        wall.values.push_back(double(clock.nsecsElapsed()) / 1e6);
        QObject::disconnect(connection);
    }

    node.stop();

    std::printf("machine: %u cores\n", std::thread::hardware_concurrency());
    wall.print("ask -> state read (three calls at once), demo client");
    stall.print("longest event-loop gap during a round");
    idle.print("longest event-loop gap, idle 100 ms (for comparison)");
    std::printf("rounds that read nothing: %d\n", empty);
    return empty ? 2 : 0;
}
