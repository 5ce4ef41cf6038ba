#pragma once
// The simulated node shared by twdemo-cli, twdemo-daemon and twdemo-wallet.
//
// All state lives in the data folder, the folder of the -conf file:
//   twdemo.state         "genesis=<unix seconds>": when the chain of this node began
//   twdemo-daemon.alive  "<unix ms>": the daemon's heartbeat, refreshed every second
//   twdemo-wallet.alive  "<unix ms>": the wallet's heartbeat, refreshed every second
//   twdemo.stop          a stop request: "stop <unix ms> <nonce>"
//   twdemo.frozen        "height=<n>": the chain is frozen at this height (twdemo-cli
//                        freeze); without the file it rises one block every 10 s
//   twdemo.sync          "start=<unix ms>", "from=<height>", "rate=<blocks per s>" lines:
//                        a sync began then at that height (twdemo-cli sync); the
//                        blocks catch up with the headers at that rate
//   twdemo.failing       the client fails every call as if the server were
//                        unreachable (twdemo-cli fail; heal removes it)
//   twdemo.warnings      the text the node reports as its warnings (twdemo-cli warn)
// Every file is replaced whole (written aside, then renamed), so a reader
// never sees half of one. Nothing here trusts what it reads: a missing,
// empty, huge or garbled file reads as absent.
//
// Standard library only, so the programs build wherever a C++20 compiler does.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace twdemo {

namespace fs = std::filesystem;

inline constexpr std::int64_t BaseHeight = 840000;
inline constexpr std::int64_t SecondsPerBlock = 10;
inline constexpr std::int64_t HeartbeatIntervalMs = 1000;
// A heartbeat older than this means the daemon is gone.
inline constexpr std::int64_t HeartbeatStaleMs = 5000;
inline constexpr std::chrono::milliseconds PollInterval{100};

inline constexpr const char* StateFileName = "twdemo.state";
inline constexpr const char* DaemonHeartbeatName = "twdemo-daemon.alive";
inline constexpr const char* WalletHeartbeatName = "twdemo-wallet.alive";
inline constexpr const char* StopRequestName = "twdemo.stop";
inline constexpr const char* FrozenName = "twdemo.frozen";
inline constexpr const char* SyncName = "twdemo.sync";
inline constexpr const char* FailingName = "twdemo.failing";
inline constexpr const char* WarningsName = "twdemo.warnings";
// The most of a warning text that is kept.
inline constexpr std::size_t MaxWarningsBytes = 1000;

// Wall-clock time; the genesis survives restarts of the programs.
std::int64_t nowUnixMs();
std::int64_t nowUnixSeconds();

// Height and peer count that the node reports at `nowSeconds`. A genesis in
// the future counts as "just now", so the height never drops below the base.
std::int64_t heightAt(std::int64_t genesisSeconds, std::int64_t nowSeconds);
int connectionsAt(std::int64_t genesisSeconds, std::int64_t nowSeconds);

// A whole non-negative decimal number (surrounding blanks and line ends
// allowed), nullopt for anything else, overflow included.
std::optional<std::int64_t> parseNumber(const std::string& text);

// The value of the first "key=value" line of `text` with that key (blanks
// around both trimmed, lines starting with '#' skipped); nullopt without one.
std::optional<std::string> settingOf(const std::string& text, const std::string& key);

// At most maxBytes of a regular file; nullopt when it is missing, not a
// regular file, unreadable or larger than maxBytes.
std::optional<std::string> readSmallFile(const fs::path& path, std::size_t maxBytes = 4096);

// Write the file aside and rename it over the old one.
bool replaceFile(const fs::path& path, const std::string& content);

// Command-line arguments shared by the three programs.
struct Arguments {
    fs::path conf;                     // as given with -conf=
    std::vector<std::string> commands; // the words that are not options
    std::string error;                 // non-empty: the line to print, then exit 1
};
// allowDaemonOption: accept (and ignore) -daemon and -daemon=N.
Arguments parseArguments(int argc, char** argv, bool allowDaemonOption);

// Check the -conf file and return the data folder (the file's folder, made
// absolute); on failure `error` holds the line to print.
std::optional<fs::path> dataFolderOf(const fs::path& conf, std::string& error);

// What one program prints: each line goes out whole, with the program's
// prefix, and at once.
class Voice {
public:
    explicit Voice(std::string prefix) : prefix_(std::move(prefix)) {}
    void say(std::FILE* stream, const std::string& line) const;
    // An error line on stderr; the program's exit code.
    int fail(const std::string& line) const {
        say(stderr, line);
        return 1;
    }

private:
    std::string prefix_;
};

// Runs a program's body; an exception becomes an error line and exit code 1.
int guardedMain(const Voice& voice, const std::function<int()>& body);

// The daemon's and the wallet's command line: -conf=FILE and nothing else.
// The data folder, or nullopt once the error line has been printed.
std::optional<fs::path> serverDataFolder(int argc, char** argv, const Voice& voice);

class DataFolder {
public:
    explicit DataFolder(fs::path folder) : folder_(std::move(folder)) {}

    const fs::path& path() const { return folder_; }
    bool exists() const;

    std::optional<std::int64_t> genesis() const;
    bool writeGenesis(std::int64_t genesisSeconds) const;

    // A heartbeat counts when it is at most HeartbeatStaleMs away from now
    // in either direction (a clock set back does not keep a dead daemon alive).
    bool daemonAlive(std::int64_t nowMs) const;
    bool writeHeartbeat(const char* name, std::int64_t nowMs) const;
    void removeHeartbeat(const char* name) const;

    // The height the chain is frozen at; nullopt while it moves.
    std::optional<std::int64_t> frozenHeight() const;
    bool writeFrozenHeight(std::int64_t height) const;
    void clearFrozen() const;

    // A sync in progress, or finished (its rate has brought the blocks up to
    // the headers); nullopt when none was asked for or the file is garbled.
    struct Sync {
        std::int64_t startMs = 0;
        std::int64_t fromHeight = 0;
        std::int64_t blocksPerSecond = 0;
    };
    std::optional<Sync> sync() const;
    bool writeSync(const Sync& sync) const;
    void clearSync() const;

    bool failing() const;
    bool writeFailing() const;
    void clearFailing() const;

    // The warning text; empty without one.
    std::string warnings() const;
    bool writeWarnings(const std::string& text) const;
    void clearWarnings() const;

    std::optional<std::string> stopRequest() const;
    bool writeStopRequest() const;
    void clearStopRequest() const;

    fs::path file(const char* name) const { return folder_ / name; }

private:
    fs::path folder_;
};

// Sees stop requests made after it was created: a request that was already
// in the folder (left over from an earlier run) does not count.
class StopListener {
public:
    explicit StopListener(const DataFolder& folder);
    bool requested() const;

private:
    const DataFolder& folder_;
    std::optional<std::string> leftOver_;
};

} // namespace twdemo
