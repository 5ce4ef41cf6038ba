// twdemo-wallet: the demo node's graphical wallet, without the graphics.
//
//   twdemo-wallet -conf=FILE
//
// Runs until a stop request reaches the data folder (one that was already
// there when it started does not count) or the folder disappears. Keeps a
// heartbeat of its own, written after each look for a stop request.

#include "DemoNode.h"

#include <cstdio>
#include <exception>
#include <string>
#include <thread>

namespace {

void say(std::FILE* stream, const std::string& line) {
    const std::string text = "twdemo-wallet: " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

int fail(const std::string& line) {
    say(stderr, line);
    return 1;
}

int run(int argc, char** argv) {
    const twdemo::Arguments args = twdemo::parseArguments(argc, argv, false);
    if (!args.error.empty())
        return fail(args.error);
    if (!args.commands.empty())
        return fail("error: unexpected argument \"" + args.commands.front() + "\"");
    std::string error;
    const auto folderPath = twdemo::dataFolderOf(args.conf, error);
    if (!folderPath)
        return fail(error);
    const twdemo::DataFolder folder(*folderPath);
    const twdemo::StopListener stop(folder);
    say(stdout, "started in " + folder.path().string());

    using Clock = std::chrono::steady_clock;
    auto nextBeat = Clock::now();
    for (;;) {
        if (!folder.exists())
            return fail("error: data folder " + folder.path().string() + " is gone");
        if (stop.requested()) {
            folder.removeHeartbeat(twdemo::WalletHeartbeatName);
            say(stdout, "stopping");
            return 0;
        }
        if (Clock::now() >= nextBeat) {
            nextBeat = Clock::now() + std::chrono::milliseconds(twdemo::HeartbeatIntervalMs);
            folder.writeHeartbeat(twdemo::WalletHeartbeatName, twdemo::nowUnixMs());
        }
        std::this_thread::sleep_for(twdemo::PollInterval);
    }
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        return fail(std::string("error: ") + e.what());
    } catch (...) {
        return fail("error: unexpected failure");
    }
}
