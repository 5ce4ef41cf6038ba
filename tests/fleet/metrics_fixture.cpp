// A panel-like process for Prometheus and node_exporter to read: a health
// monitor fed a node's block count and state as the poll feeds it, every
// cycle, its metrics served on an endpoint and written as a textfile. Runs
// until it is killed.
//
//   metrics_fixture --blocks N [--listen HOST:PORT] [--folder DIR]
//                   [--name NAME] [--cycle-ms MS] [--rise]
//
// --listen defaults to 127.0.0.1:0 (any free port); once listening it
// prints "port P" on a line of its own. --folder: where <NAME>.prom is
// written after each cycle. --rise: the block count rises by one each
// cycle. --cycle-ms: the time between query cycles (1000).

#include "app/Diagnostics.h"
#include "fleet/Metrics.h"
#include "fleet/MetricsFile.h"
#include "fleet/MetricsServer.h"
#include "health/HealthMonitor.h"
#include "platform/posix/Posix.h"
#include "tests/support/TestRig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"blocks", "The node's block count.", "N"},
                       {"listen", "The endpoint's address.", "HOST:PORT", "127.0.0.1:0"},
                       {"folder", "The textfile's folder.", "DIR"},
                       {"name", "The configuration's name.", "NAME", "fixture"},
                       {"cycle-ms", "Milliseconds between query cycles.", "MS", "1000"},
                       {"rise", "The block count rises each cycle."}});
    parser.process(app);
    bool ok = false;
    qint64 blocks = parser.value("blocks").toLongLong(&ok);
    if (!ok) {
        std::fprintf(stderr, "metrics_fixture: --blocks N is required\n");
        return 2;
    }
    const QString name = parser.value("name");

    tw::test::TestRig rig;
    tw::platform::LocalFileSystem files;
    tw::health::HealthMonitor monitor(rig.services,
                                      [] { return QDateTime::currentMSecsSinceEpoch(); });
    tw::app::Diagnostics diagnostics(QString(), true);
    auto text = [&] { return tw::fleet::exposition(tw::fleet::snapshotOf(monitor, name, true)); };
    tw::fleet::MetricsServer server(diagnostics, text);
    tw::fleet::MetricsFile file(files, diagnostics, name);
    file.setFolder(parser.value("folder"));

    const bool rise = parser.isSet("rise");
    auto cycle = [&] {
        rig.advance(parser.value("cycle-ms").toInt());
        monitor.queryStarted(true);
        monitor.queryAnswered(true, QString::number(blocks));
        tw::node::NodeState state;
        state.chain = "regtest";
        state.blocks = blocks;
        state.headers = blocks + 2;
        state.verificationProgress = 0.999;
        state.initialBlockDownload = false;
        state.tipTime = QDateTime::currentSecsSinceEpoch() - 60;
        state.peersIn = 2;
        state.peersOut = 8;
        state.peersTotal = 10;
        state.mempoolTransactions = 1234;
        state.mempoolBytes = 567890;
        state.sizeOnDisk = 1000000000;
        monitor.nodeStateRead(state, QString());
        monitor.queryStarted(false);
        monitor.queryAnswered(false, "10");
        file.write(text());
        if (rise)
            ++blocks;
    };
    cycle();

    QObject::connect(&server, &tw::fleet::MetricsServer::listeningChanged, [&](bool listening) {
        if (listening) {
            std::printf("port %u\n", unsigned(server.port()));
            std::fflush(stdout);
        }
    });
    server.setListen(parser.value("listen"));

    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, cycle);
    timer.start(parser.value("cycle-ms").toInt());
    return app.exec();
}
