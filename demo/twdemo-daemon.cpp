// twdemo-daemon: the demo node's server.
//
//   twdemo-daemon -conf=FILE
//
// Keeps a heartbeat in the data folder, about once a second, for as long as
// it runs; the client answers only while that heartbeat is fresh. Records
// the chain's genesis on its first start and keeps it afterwards. Ends,
// removing its heartbeat, within a fraction of a second of a stop request,
// or when its data folder disappears.

#include "DemoNode.h"

#include <cstdio>
#include <string>
#include <thread>

namespace {

const twdemo::Voice voice("twdemo-daemon: ");

int run(int argc, char** argv) {
    const auto folderPath = twdemo::serverDataFolder(argc, argv, voice);
    if (!folderPath)
        return 1;
    const twdemo::DataFolder folder(*folderPath);

    if (folder.daemonAlive(twdemo::nowUnixMs()))
        return voice.fail("error: another twdemo-daemon is already running in " +
                          folder.path().string());

    // A request left over from the last run would end this one at once.
    folder.clearStopRequest();
    const twdemo::StopListener stop(folder);

    std::int64_t genesis = folder.genesis().value_or(0);
    if (genesis == 0) {
        genesis = twdemo::nowUnixSeconds();
        if (!folder.writeGenesis(genesis))
            return voice.fail("error: cannot write " + folder.file(twdemo::StateFileName).string());
    }
    if (!folder.writeHeartbeat(twdemo::DaemonHeartbeatName, twdemo::nowUnixMs()))
        return voice.fail("error: cannot write " +
                          folder.file(twdemo::DaemonHeartbeatName).string());
    voice.say(stdout, "started in " + folder.path().string() + " at height " +
                          std::to_string(twdemo::heightAt(genesis, twdemo::nowUnixSeconds())));

    using Clock = std::chrono::steady_clock;
    auto nextBeat = Clock::now() + std::chrono::milliseconds(twdemo::HeartbeatIntervalMs);
    for (;;) {
        std::this_thread::sleep_for(twdemo::PollInterval);
        if (!folder.exists())
            return voice.fail("error: data folder " + folder.path().string() + " is gone");
        if (stop.requested()) {
            folder.removeHeartbeat(twdemo::DaemonHeartbeatName);
            voice.say(stdout, "stopping");
            return 0;
        }
        // The state file may be edited while the node runs (the tests move
        // the genesis back to let time pass); a file that went missing or
        // was garbled is put back.
        if (const auto stored = folder.genesis())
            genesis = *stored;
        else
            folder.writeGenesis(genesis);
        if (Clock::now() >= nextBeat) {
            nextBeat = Clock::now() + std::chrono::milliseconds(twdemo::HeartbeatIntervalMs);
            folder.writeHeartbeat(twdemo::DaemonHeartbeatName, twdemo::nowUnixMs());
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    return twdemo::guardedMain(voice, [&] { return run(argc, argv); });
}
