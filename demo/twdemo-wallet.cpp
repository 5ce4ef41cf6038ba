// twdemo-wallet: the demo node's graphical wallet, without the graphics.
//
//   twdemo-wallet -conf=FILE
//
// Runs until a stop request reaches the data folder (one that was already
// there when it started does not count) or the folder disappears. Keeps a
// heartbeat of its own, written after each look for a stop request.

#include "DemoNode.h"

#include <cstdio>
#include <string>
#include <thread>

namespace {

const twdemo::Voice voice("twdemo-wallet: ");

int run(int argc, char** argv) {
    const auto folderPath = twdemo::serverDataFolder(argc, argv, voice);
    if (!folderPath)
        return 1;
    const twdemo::DataFolder folder(*folderPath);
    const twdemo::StopListener stop(folder);
    voice.say(stdout, "started in " + folder.path().string());

    using Clock = std::chrono::steady_clock;
    auto nextBeat = Clock::now();
    for (;;) {
        if (!folder.exists())
            return voice.fail("error: data folder " + folder.path().string() + " is gone");
        if (stop.requested()) {
            folder.removeHeartbeat(twdemo::WalletHeartbeatName);
            voice.say(stdout, "stopping");
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
    return twdemo::guardedMain(voice, [&] { return run(argc, argv); });
}
