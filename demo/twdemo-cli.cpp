// twdemo-cli: the demo node's command-line client.
//
//   twdemo-cli -conf=FILE [-daemon=N] getblockcount|getconnectioncount|stop
//   twdemo-cli -conf=FILE freeze|thaw
//
// Answers on stdout (one number and a line end, or one line of message) with
// exit code 0; every error goes to stderr with exit code 1, stdout empty.
// freeze holds the block count where it is (to play a stalled node); thaw
// lets it rise again from the frozen height, one block every 10 s, without a
// jump for the time it was frozen.
// TWDEMO_CLI_DELAY_MS=N makes it wait N milliseconds before it answers, to
// play a slow client.

#include "DemoNode.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr std::int64_t MaxDelayMs = 10 * 60 * 1000;

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

int freeze(const twdemo::DataFolder& folder, std::optional<std::int64_t> frozen,
           std::int64_t height) {
    if (frozen) {
        voice.say(stdout, "TwDemo chain already frozen at height " + std::to_string(*frozen));
        return 0;
    }
    if (!folder.writeFrozenHeight(height))
        return voice.fail("error: cannot write " + folder.file(twdemo::FrozenName).string());
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
        return voice.fail("error: cannot write " + folder.file(twdemo::StateFileName).string());
    folder.clearFrozen();
    voice.say(stdout, "TwDemo chain moving again from height " + std::to_string(*frozen));
    return 0;
}

int run(int argc, char** argv) {
    const twdemo::Arguments args = twdemo::parseArguments(argc, argv, true);
    if (!args.error.empty())
        return voice.fail(args.error);
    if (args.commands.empty())
        return voice.fail("error: too few parameters (need at least command)");
    if (args.commands.size() > 1)
        return voice.fail("error: too many parameters: twdemo-cli takes exactly one command");
    const std::string& command = args.commands.front();
    if (command != "getblockcount" && command != "getconnectioncount" && command != "stop" &&
        command != "freeze" && command != "thaw")
        return voice.fail("error: unknown command \"" + command +
                          "\" (twdemo-cli knows getblockcount, getconnectioncount, stop, freeze "
                          "and thaw)");

    std::string error;
    const auto folderPath = twdemo::dataFolderOf(args.conf, error);
    if (!folderPath)
        return voice.fail(error);
    const twdemo::DataFolder folder(*folderPath);

    delayIfAsked();

    if (!folder.daemonAlive(twdemo::nowUnixMs()))
        return voice.fail(
            "error: Could not connect to the server 127.0.0.1:18443\n\n"
            "Make sure the twdemo-daemon server is running and that you are connecting "
            "to the correct RPC port.");

    if (command == "stop") {
        if (!folder.writeStopRequest())
            return voice.fail("error: could not pass the stop request to the server (" +
                              folder.file(twdemo::StopRequestName).string() + " not written)");
        voice.say(stdout, "TwDemo server stopping");
        return 0;
    }

    // The daemon records the genesis when it starts; a state file that went
    // missing or was garbled meanwhile reads as a chain that starts now.
    const std::int64_t now = twdemo::nowUnixSeconds();
    const std::int64_t genesis = folder.genesis().value_or(now);
    const auto frozen = folder.frozenHeight();
    if (command == "freeze")
        return freeze(folder, frozen, twdemo::heightAt(genesis, now));
    if (command == "thaw")
        return thaw(folder, frozen, now);
    if (command == "getblockcount")
        voice.say(stdout, std::to_string(frozen ? *frozen : twdemo::heightAt(genesis, now)));
    else
        voice.say(stdout, std::to_string(twdemo::connectionsAt(genesis, now)));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return twdemo::guardedMain(voice, [&] { return run(argc, argv); });
}
