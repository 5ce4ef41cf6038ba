#pragma once
// Asks the node for its state after each block-count answer: the client and
// arguments of the block-count batch line (split as the batch runner splits
// it, the word `getblockcount` replaced, the redirection dropped), started
// directly for `getblockchaininfo`, `getnetworkinfo` and `getmempoolinfo`,
// all three at once, each bounded in time and output. Nothing here waits:
// the answers come back through the event loop, and the query cycles'
// waits and colours never depend on them.

#include "node/NodeState.h"

#include <QObject>
#include <QString>

namespace tw::app {
class Diagnostics;
}
namespace tw::platform {
class FileSystem;
class ProcessStarter;
struct ProgramRun;
} // namespace tw::platform

namespace tw::node {

class NodeQuery : public QObject {
    Q_OBJECT
public:
    // How long a call may take, and the most of its answer that is read.
    static constexpr int CallTimeoutMs = 10'000;
    static constexpr qint64 MaxAnswerBytes = 1024 * 1024;
    static constexpr qint64 MaxBatchFileBytes = 64 * 1024;
    // Diagnostics keys: the batch line cannot serve (no batch file, no
    // `getblockcount` word), and one per call the client does not answer.
    static const QString LineKey;
    static QString callKey(Call call);

    NodeQuery(platform::ProcessStarter& starter, platform::FileSystem& files,
              app::Diagnostics& diagnostics, QObject* parent = nullptr);

    // Starts the three calls with the line of the block-count batch file at
    // `batchPath`. While a round still runs, a new one is not started (the
    // running one answers for it); returns whether one was started.
    bool ask(const QString& batchPath);
    bool running() const { return pending_ > 0; }

signals:
    // Once per started round, when all three calls have ended: what the
    // node said (empty when it said nothing), and why it said nothing (the
    // first failure, in the client's words) when `state` is empty.
    void answered(const tw::node::NodeState& state, const QString& failure);

private:
    void callEnded(Call call, const platform::ProgramRun& run);

    platform::ProcessStarter& starter_;
    platform::FileSystem& files_;
    app::Diagnostics& diagnostics_;
    int pending_ = 0;
    NodeState state_;
    QString failure_;
};

} // namespace tw::node
