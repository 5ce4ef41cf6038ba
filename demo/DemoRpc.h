#pragma once
// What the demo node answers: its chain, peers and mempool at one moment,
// and its client's answers, worded and laid out as Bitcoin Core's client
// (bitcoin-cli 27) prints them.
//
// Everything is derived from the data folder's files and the clock, so two
// calls at the same moment agree, and a call made twice at the same moment
// answers the same.

#include "DemoNode.h"

#include <cstdint>
#include <optional>
#include <string>

namespace twdemo {

// The chain the -conf file names (chain=, or testnet=1, testnet4=1,
// signet=1, regtest=1; the last such line wins) and the RPC port a client
// connects to (the chain's own, or rpcport=).
struct Network {
    std::string chain = "main";
    int rpcPort = 8332;
};
Network networkOf(const std::string& confText);

// The demo chain's tip is the network's best chain: it rises one block
// every SecondsPerBlock from the genesis. The node's own blocks equal it,
// except while frozen (both stand still) or while a sync is catching up
// (the blocks trail the headers, rising at the sync's rate).
struct Moment {
    std::int64_t nowSeconds = 0;
    std::int64_t blocks = 0;
    std::int64_t headers = 0;
    std::int64_t tipTime = 0;    // the block time of the node's tip
    std::int64_t medianTime = 0; // of the last 11 blocks
    double verificationProgress = 1;
    bool initialBlockDownload = false;
    int connectionsIn = 0;
    int connectionsOut = 0;
    std::string warnings;

    int connections() const { return connectionsIn + connectionsOut; }
};
Moment momentOf(std::int64_t genesisSeconds, std::optional<std::int64_t> frozenHeight,
                std::optional<DataFolder::Sync> sync, std::int64_t nowMs);
// The data folder's node at nowMs. The daemon records the genesis when it
// starts; a state file that went missing or was garbled meanwhile reads as a
// chain that starts now.
Moment momentAt(const DataFolder& folder, std::int64_t nowMs);

// The calls' answers: pretty-printed JSON objects (2-space indent), no
// final line end.
std::string blockchainInfo(const Moment& moment, const Network& network);
std::string networkInfo(const Moment& moment);
std::string mempoolInfo(const Moment& moment);

// What the client writes on stderr (no final line end) when the server
// cannot be reached; its exit status is 1.
std::string connectionFailure(const Network& network);

// What the client writes on stderr (no final line end) for a method the
// server does not know, and its exit status: the error code's absolute
// value, as bitcoin-cli returns it (a POSIX parent sees its low 8 bits).
inline constexpr const char* MethodNotFound =
    "error code: -32601\nerror message:\nMethod not found";
inline constexpr int MethodNotFoundStatus = 32601;

} // namespace twdemo
