#pragma once
// `TW-CLI-UI --check`: one look at the node in the monitoring-plugin
// convention (Nagios, Icinga, NRPE), with no window and no display. It asks
// the node itself through the block-count batch line's client and
// arguments (the block count, then the three state calls), judges what it
// hears by the configuration's alert settings, and prints one line:
//
//   OK - block 812345 of 812400, 8 peers, tip 4 min old | blocks=812345 headers=812400 peers=8
//   tip_age=240s
//
// Exit status: 0 OK, 1 WARNING (initial download or catching up, no peers),
// 2 CRITICAL (no answer, stalled), 3 UNKNOWN (no block-count batch file
// configured or readable, a line that cannot be asked, bad arguments).

#include "node/NodeState.h"

#include <QObject>
#include <QString>

#include <optional>

namespace tw::app {
class Diagnostics;
}
namespace tw::platform {
class FileSystem;
class ProcessStarter;
struct ProgramRun;
} // namespace tw::platform
namespace tw::node {
class NodeQuery;
}

namespace tw::check {

enum Status { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

struct CheckResult {
    Status status = Unknown;
    QString line; // the plugin's one line, without its line end
};

// What the check heard, judged. `blockCount` is the client's answer when it
// was a number; `failure` why there is none (the client's words);
// `stallMinutes` the configuration's stall time; `nowSeconds` the wall
// clock.
CheckResult judge(const std::optional<qint64>& blockCount, const QString& failure,
                  const node::NodeState& state, qint64 nowSeconds, int stallMinutes);

// An UNKNOWN result saying why.
CheckResult unknown(const QString& why);

class NodeCheck : public QObject {
    Q_OBJECT
public:
    static constexpr int CallTimeoutMs = 10'000;

    NodeCheck(platform::ProcessStarter& starter, platform::FileSystem& files,
              app::Diagnostics& diagnostics, int stallMinutes, std::function<qint64()> nowSeconds,
              QObject* parent = nullptr);
    ~NodeCheck() override;

    // Starts the check with the block-count batch file at `batchPath`;
    // finished() comes once, from the event loop (at once, through it,
    // when the file cannot serve).
    void start(const QString& batchPath);

signals:
    void finished(const tw::check::CheckResult& result);

private:
    void blockCountEnded(const platform::ProgramRun& run, const QString& batchPath);
    void finish(const CheckResult& result);

    platform::ProcessStarter& starter_;
    platform::FileSystem& files_;
    int stallMinutes_;
    std::function<qint64()> nowSeconds_;
    node::NodeQuery* query_;
    std::optional<qint64> blockCount_;
    QString failure_;
    bool finished_ = false;
};

} // namespace tw::check

namespace tw::platform {
struct Platform;
}

namespace tw::check {

// The whole `--check` run for the program's configuration (the store's
// section of `platform.executableName`): its block-count batch path and
// alert settings from the store, the check, the line on standard output.
// `arguments` are the program's arguments besides `--check`: any is a bad
// argument. Runs the event loop of the QCoreApplication that must exist;
// returns the exit status.
int runCheckCommand(platform::Platform& platform, const QStringList& arguments);

} // namespace tw::check
