// twdemo-cli: the demo node's command-line client.
//
//   twdemo-cli -conf=FILE [-daemon=N] COMMAND
//
// The node's calls, answered as Bitcoin Core's client answers them:
//   getblockcount, getconnectioncount  one number and a line end
//   getblockchaininfo, getnetworkinfo, getmempoolinfo
//                                      a JSON object, 2-space indent
//   stop                               "TwDemo server stopping"
// on stdout with exit status 0. A call the node does not know writes
// "error code: -32601 / error message: / Method not found" on stderr and
// exits with 32601 (as bitcoin-cli does; a POSIX parent sees 89). While the
// daemon is not running, or the node plays unreachable, every call writes
// bitcoin-cli's "Could not connect to the server 127.0.0.1:<port>" text on
// stderr and exits 1. Nothing goes to stdout on any failure.
//
// The demo's own controls:
//   freeze | thaw         hold the block count where it is (a stalled node);
//                         let it rise again from there, one block every 10 s,
//                         without a jump for the time it was frozen
//   sync [BEHIND [RATE]]  the node falls BEHIND blocks behind the network
//                         (default 6000) and catches up at RATE blocks per
//                         second (default 25): headers ahead of blocks,
//                         initial block download, progress under 1, an old tip
//   fail | heal           every node call above fails as if the server were
//                         unreachable, until heal (the controls still work)
//   warn [TEXT...]        the node's warnings say TEXT; without one, none
// TWDEMO_CLI_DELAY_MS=N makes it wait N milliseconds before it answers, to
// play a slow client.

#include "DemoNode.h"
#include "DemoRpc.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t MaxDelayMs = 10 * 60 * 1000;
constexpr std::int64_t DefaultSyncBehind = 6000;
constexpr std::int64_t DefaultSyncRate = 25;
constexpr std::int64_t MaxSyncBehind = 10000000;
constexpr std::int64_t MaxSyncRate = 1000000;

const twdemo::Voice voice("");

void delayIfAsked() {
    const char* text = std::getenv("TWDEMO_CLI_DELAY_MS");
    if (!text)
        return;
    const auto delay = twdemo::parseNumber(text);
    if (!delay || *delay == 0)
        return;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(*delay < MaxDelayMs ? *delay : MaxDelayMs));
}

std::string cannotWrite(const twdemo::DataFolder& folder, const char* name) {
    return "error: cannot write " + folder.file(name).string();
}

// A freeze during a sync ends the sync where the node is: the network's
// chain becomes the node's (its genesis moves on), so the frozen tip is
// recent and ages from now, and a thaw goes on from there caught up.
int freeze(const twdemo::DataFolder& folder, std::optional<std::int64_t> frozen,
           const twdemo::Moment& moment) {
    if (frozen) {
        voice.say(stdout, "TwDemo chain already frozen at height " + std::to_string(*frozen));
        return 0;
    }
    const std::int64_t height = moment.blocks;
    if (!folder.writeFrozenHeight(height))
        return voice.fail(cannotWrite(folder, twdemo::FrozenName));
    if (moment.headers != moment.blocks &&
        !folder.writeGenesis(moment.nowSeconds -
                             (height - twdemo::BaseHeight) * twdemo::SecondsPerBlock))
        return voice.fail(cannotWrite(folder, twdemo::StateFileName));
    folder.clearSync();
    voice.say(stdout, "TwDemo chain frozen at height " + std::to_string(height));
    return 0;
}

// The chain's genesis moves forward by the time it was frozen: the height
// goes on from the frozen one. The genesis is written before the freeze is
// lifted, so a query in between still answers the frozen height.
int thaw(const twdemo::DataFolder& folder, std::optional<std::int64_t> frozen, std::int64_t now) {
    if (!frozen) {
        voice.say(stdout, "TwDemo chain is not frozen");
        return 0;
    }
    const std::int64_t blocks = *frozen > twdemo::BaseHeight ? *frozen - twdemo::BaseHeight : 0;
    if (!folder.writeGenesis(now - blocks * twdemo::SecondsPerBlock))
        return voice.fail(cannotWrite(folder, twdemo::StateFileName));
    folder.clearFrozen();
    voice.say(stdout, "TwDemo chain moving again from height " + std::to_string(*frozen));
    return 0;
}

// The network's chain moves `behind` blocks ahead of the node's (its
// genesis moves back), and the node catches up from where it is. The sync
// is written first: a query in between still answers the node's blocks.
int sync(const twdemo::DataFolder& folder, const std::vector<std::string>& words,
         std::int64_t nowMs) {
    std::int64_t setting[2] = {DefaultSyncBehind, DefaultSyncRate};
    const std::int64_t most[2] = {MaxSyncBehind, MaxSyncRate};
    for (std::size_t i = 1; i < words.size(); ++i) {
        const auto value = twdemo::parseNumber(words[i]);
        if (!value || *value == 0 || *value > most[i - 1])
            return voice.fail("error: sync takes [BLOCKS_BEHIND [BLOCKS_PER_SECOND]], whole "
                              "numbers from 1 to " +
                              std::to_string(MaxSyncBehind) + " and " +
                              std::to_string(MaxSyncRate));
    }
    for (std::size_t i = 1; i < words.size(); ++i)
        setting[i - 1] = *twdemo::parseNumber(words[i]);
    const std::int64_t behind = setting[0];
    const std::int64_t rate = setting[1];

    const twdemo::Moment moment = twdemo::momentAt(folder, nowMs);
    const std::int64_t headers = moment.blocks + behind;
    const std::int64_t genesis =
        moment.nowSeconds - (headers - twdemo::BaseHeight) * twdemo::SecondsPerBlock;
    if (headers < twdemo::BaseHeight || genesis <= 0)
        return voice.fail("error: the demo chain cannot sync from height " +
                          std::to_string(moment.blocks));
    if (!folder.writeSync({nowMs, moment.blocks, rate}))
        return voice.fail(cannotWrite(folder, twdemo::SyncName));
    if (!folder.writeGenesis(genesis))
        return voice.fail(cannotWrite(folder, twdemo::StateFileName));
    folder.clearFrozen();
    voice.say(stdout, "TwDemo node syncing from height " + std::to_string(moment.blocks) + " to " +
                          std::to_string(headers) + " (and on), " + std::to_string(rate) +
                          " blocks per second");
    return 0;
}

int fail(const twdemo::DataFolder& folder) {
    if (folder.failing()) {
        voice.say(stdout, "TwDemo node already unreachable");
        return 0;
    }
    if (!folder.writeFailing())
        return voice.fail(cannotWrite(folder, twdemo::FailingName));
    voice.say(stdout, "TwDemo node unreachable: every call fails as if the server were down, "
                      "until heal");
    return 0;
}

int heal(const twdemo::DataFolder& folder) {
    if (!folder.failing()) {
        voice.say(stdout, "TwDemo node is not failing");
        return 0;
    }
    folder.clearFailing();
    if (folder.failing())
        return voice.fail("error: cannot remove " + folder.file(twdemo::FailingName).string());
    voice.say(stdout, "TwDemo node reachable again");
    return 0;
}

int warn(const twdemo::DataFolder& folder, const std::vector<std::string>& words) {
    std::string text;
    for (std::size_t i = 1; i < words.size(); ++i)
        text += (i > 1 ? " " : "") + words[i];
    if (text.empty()) {
        folder.clearWarnings();
        voice.say(stdout, "TwDemo node warnings cleared");
        return 0;
    }
    if (!folder.writeWarnings(text))
        return voice.fail(cannotWrite(folder, twdemo::WarningsName));
    voice.say(stdout, "TwDemo node warnings: " + folder.warnings());
    return 0;
}

bool isOneOf(const std::string& word, std::initializer_list<const char*> words) {
    for (const char* candidate : words)
        if (word == candidate)
            return true;
    return false;
}

int run(int argc, char** argv) {
    const twdemo::Arguments args = twdemo::parseArguments(argc, argv, true);
    if (!args.error.empty())
        return voice.fail(args.error);
    if (args.commands.empty())
        return voice.fail("error: too few parameters (need at least command)");
    const std::vector<std::string>& words = args.commands;
    const std::string& command = words.front();
    const bool known = isOneOf(command, {"getblockcount", "getconnectioncount", "getblockchaininfo",
                                         "getnetworkinfo", "getmempoolinfo", "stop", "freeze",
                                         "thaw", "fail", "heal"});
    if (known && words.size() > 1)
        return voice.fail("error: too many parameters: " + command + " takes none");
    if (command == "sync" && words.size() > 3)
        return voice.fail("error: too many parameters: sync takes at most two");

    std::string error;
    const auto folderPath = twdemo::dataFolderOf(args.conf, error);
    if (!folderPath)
        return voice.fail(error);
    const twdemo::DataFolder folder(*folderPath);

    delayIfAsked();

    if (command == "fail")
        return fail(folder);
    if (command == "heal")
        return heal(folder);
    if (command == "warn")
        return warn(folder, words);

    const bool control = isOneOf(command, {"freeze", "thaw", "sync"});
    if (!folder.daemonAlive(twdemo::nowUnixMs()) || (!control && folder.failing())) {
        const auto conf = twdemo::readSmallFile(args.conf, 1 << 20);
        return voice.fail(twdemo::connectionFailure(twdemo::networkOf(conf.value_or(""))));
    }

    if (command == "stop") {
        if (!folder.writeStopRequest())
            return voice.fail("error: could not pass the stop request to the server (" +
                              folder.file(twdemo::StopRequestName).string() + " not written)");
        voice.say(stdout, "TwDemo server stopping");
        return 0;
    }

    const std::int64_t nowMs = twdemo::nowUnixMs();
    if (command == "sync")
        return sync(folder, words, nowMs);
    const auto frozen = folder.frozenHeight();
    const twdemo::Moment moment = twdemo::momentAt(folder, nowMs);
    if (command == "freeze")
        return freeze(folder, frozen, moment);
    if (command == "thaw")
        return thaw(folder, frozen, moment.nowSeconds);

    const auto conf = twdemo::readSmallFile(args.conf, 1 << 20);
    const twdemo::Network network = twdemo::networkOf(conf.value_or(""));
    if (command == "getblockcount")
        voice.say(stdout, std::to_string(moment.blocks));
    else if (command == "getconnectioncount")
        voice.say(stdout, std::to_string(moment.connections()));
    else if (command == "getblockchaininfo")
        voice.say(stdout, twdemo::blockchainInfo(moment, network));
    else if (command == "getnetworkinfo")
        voice.say(stdout, twdemo::networkInfo(moment));
    else if (command == "getmempoolinfo")
        voice.say(stdout, twdemo::mempoolInfo(moment));
    else {
        voice.say(stderr, twdemo::MethodNotFound);
        return twdemo::MethodNotFoundStatus;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return twdemo::guardedMain(voice, [&] { return run(argc, argv); });
}
