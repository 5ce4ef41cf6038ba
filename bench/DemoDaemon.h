#pragma once
// The demo node's daemon for a benchmark: started in a folder of the
// benchmark's, waited for until its client answers, stopped at the end.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>

#include <chrono>
#include <thread>

namespace tw::bench {

class DemoDaemon {
public:
    // `folder` exists; the node's configuration file is made in it.
    explicit DemoDaemon(const QString& folder) : conf_(folder + QStringLiteral("/twdemo.conf")) {
        QFile file(conf_);
        if (file.open(QIODevice::WriteOnly))
            file.write("# demo node\n");
    }
    ~DemoDaemon() { stop(); }
    DemoDaemon(const DemoDaemon&) = delete;
    DemoDaemon& operator=(const DemoDaemon&) = delete;

    const QString& conf() const { return conf_; }

    // Starts the daemon and waits (15 s at most) until the client answers.
    bool start() {
        daemon_.start(QStringLiteral(TWDEMO_DAEMON), {QStringLiteral("-conf=") + conf_});
        if (!daemon_.waitForStarted(10000))
            return false;
        QElapsedTimer ready;
        ready.start();
        while (ready.elapsed() < 15000) {
            if (answers())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    void stop() {
        if (daemon_.state() == QProcess::NotRunning)
            return;
        QProcess stop;
        stop.start(QStringLiteral(TWDEMO_CLI),
                   {QStringLiteral("-conf=") + conf_, QStringLiteral("stop")});
        stop.waitForFinished(10000);
        if (!daemon_.waitForFinished(10000))
            daemon_.kill();
    }

private:
    bool answers() const {
        QProcess cli;
        cli.start(QStringLiteral(TWDEMO_CLI),
                  {QStringLiteral("-conf=") + conf_, QStringLiteral("getblockcount")});
        return cli.waitForFinished(5000) && cli.exitCode() == 0;
    }

    QString conf_;
    QProcess daemon_;
};

} // namespace tw::bench
