#pragma once
// What the node says about itself, beyond the two counts of the query
// cycles: the answers of `getblockchaininfo`, `getnetworkinfo` and
// `getmempoolinfo`, as a Bitcoin-family client prints them (JSON).
//
// Every field is optional: a field the node did not say (an older coin, a
// call it does not know, a value of the wrong type) stays unknown and is
// never shown or exported as 0.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace tw::node {

struct NodeState {
    // getblockchaininfo
    std::optional<QString> chain; // "main", "test", "signet", "regtest"
    std::optional<qint64> blocks;
    std::optional<qint64> headers;
    std::optional<double> verificationProgress; // 0 to 1
    std::optional<bool> initialBlockDownload;
    std::optional<qint64>
        tipTime; // the tip's block time, seconds since the epoch ("time", else "mediantime")
    std::optional<qint64> sizeOnDisk; // bytes
    std::optional<bool> pruned;
    // getnetworkinfo
    std::optional<qint64> peersIn;
    std::optional<qint64> peersOut;
    std::optional<qint64> peersTotal; // "connections"
    std::optional<bool> networkActive;
    std::optional<qint64> version;
    std::optional<QString> subversion;
    // getmempoolinfo
    std::optional<qint64> mempoolTransactions; // "size"
    std::optional<qint64> mempoolBytes;        // "bytes"
    // The node's own warnings (getblockchaininfo and getnetworkinfo joined,
    // each text once; a list of texts is joined with "; "). Empty when the
    // node has none; nullopt when it did not say.
    std::optional<QString> warnings;

    // Whether anything at all is known.
    bool empty() const;
    friend bool operator==(const NodeState&, const NodeState&) = default;
};

// The three calls the panel makes, in the order it makes them.
enum class Call { BlockchainInfo, NetworkInfo, MempoolInfo };
inline constexpr Call Calls[] = {Call::BlockchainInfo, Call::NetworkInfo, Call::MempoolInfo};
// The call's word on the client's command line ("getblockchaininfo", ...).
QString callName(Call call);

// How one call's answer was taken.
struct CallParse {
    enum class Outcome {
        Read,    // a JSON object: its fields are taken
        Unknown, // the client does not know the call ("Method not found", code -32601)
        NotJson, // the answer is not a JSON object
    };
    Outcome outcome = Outcome::Read;
    QString detail; // NotJson/Unknown: a few words for the diagnostics (never the whole answer)
};

// Takes the fields of `call`'s answer (the client's standard output) into
// `state`; fields of the wrong type are left as they were. `errorOutput`
// is what the client wrote on its error output (where a client says
// "Method not found").
CallParse parseCall(Call call, const QByteArray& output, const QByteArray& errorOutput,
                    NodeState& state);

// The arguments of a state call: the block-count batch line's program and
// arguments (as the runner splits it), the word `getblockcount` (any letter
// case; the last one when there are several) replaced by the call's word.
// nullopt when the line has no `getblockcount` word to replace.
std::optional<QStringList> callArguments(const QStringList& blockCountArguments, Call call);

// Texts for people, in the locale of the program (C locale in the tests).
namespace text {
// "812,345 of 812,400 (99.93 %, initial download, about 3 h left)": blocks
// against headers; `timeLeftSeconds` when an estimate is known.
QString syncLine(const NodeState& state, std::optional<qint64> timeLeftSeconds);
// "42 s", "5 min", "3 h", "12 days".
QString duration(qint64 seconds);
// "5 min old" from the tip's time and now (seconds since the epoch).
QString tipAge(qint64 tipTime, qint64 nowSeconds);
// "8 peers (3 in, 5 out)", or "8 peers" when in/out are unknown.
QString peersLine(const NodeState& state);
// "4,321 tx" (and the size when `withBytes`).
QString mempoolLine(const NodeState& state, bool withBytes);
// The tray's one line: "BTC-A · main · block 812,345 of 812,400 (99.93 %,
// initial download, about 3 h left) · tip 5 min old · 8 peers (3 in, 5 out)
// · mempool 4,321 tx"; unknown parts (and an empty node name) are left out.
QString trayLine(const QString& node, const NodeState& state, std::optional<qint64> timeLeftSeconds,
                 qint64 nowSeconds);
// Every field, one "Name: value" line each, for the Node window (unknown
// fields say "unknown").
QStringList fieldLines(const NodeState& state, qint64 nowSeconds);
} // namespace text

// One observation of the sync's progress, for the time-left estimate.
struct ProgressSample {
    qint64 timeMs;   // wall clock, milliseconds since the epoch
    double progress; // verification progress, 0 to 1
};

// Seconds until the verification progress reaches 1 at the rate of the
// samples (oldest first; the least-squares slope, so that one uneven
// reading does not swing it). nullopt unless there is enough to go on: at
// least three samples spanning at least two minutes, the progress rising
// (a positive slope, and the last above the first), and the result under a
// year. 0 once the last sample is at 1.
std::optional<qint64> estimateTimeLeft(const QList<ProgressSample>& samples);

} // namespace tw::node
