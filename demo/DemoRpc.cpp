#include "DemoRpc.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace twdemo {

namespace {

// Transactions in the demo chain up to height h: about a billion at the
// base height, growing with the square of the height.
double transactionsUpTo(std::int64_t height) {
    const double share = static_cast<double>(height) / static_cast<double>(BaseHeight);
    return 1e9 * share * share;
}
// The rate the chain adds transactions (about 2,400 a block).
constexpr double TransactionsPerSecond = 240;
// The earliest block time the chain reports (Bitcoin's genesis block).
constexpr std::int64_t FirstBlockTime = 1231006505;
// Heights beyond this (only a hand-edited file holds one) count as this
// where a time is derived from them.
constexpr std::int64_t MaxSaneHeight = 1000000000000;
// A node keeps at most this many outbound peers; more are inbound.
constexpr int MaxOutbound = 10;

std::uint64_t mix(std::uint64_t value) {
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

std::string hex16(std::uint64_t value) {
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016" PRIx64, value);
    return buffer;
}

// A block hash of height h on `chain`: the same every time it is asked,
// with the leading zeros of a hash that met the target.
std::string blockHash(std::int64_t height, const std::string& chain) {
    std::uint64_t seed = static_cast<std::uint64_t>(height);
    for (const char c : chain)
        seed = mix(seed ^ static_cast<unsigned char>(c));
    std::string hash = "0000000000000000000";
    for (int part = 0; hash.size() < 64; ++part)
        hash += hex16(mix(seed + static_cast<std::uint64_t>(part)));
    return hash.substr(0, 64);
}

// The total work of the chain up to h, as a 256-bit hex number: a fixed
// amount of work per block (wrapping is harmless for absurd heights).
std::string chainWork(std::int64_t height) {
    const auto h = static_cast<std::uint64_t>(height);
    return std::string(32, '0') + hex16(h * 1200) + hex16(h * 0x9e3779b9ULL);
}

// Difficulty of the 2016-block period holding h, 2 % up per period around
// the base height.
double difficultyAt(std::int64_t height) {
    const double periods = static_cast<double>(height / 2016 - BaseHeight / 2016);
    return 86388558925171.02 * std::pow(1.02, std::clamp(periods, -2000.0, 2000.0));
}

std::int64_t saturatingMultiply(std::int64_t a, std::int64_t b) {
    if (a <= 0 || b <= 0)
        return 0;
    return a > INT64_MAX / b ? INT64_MAX : a * b;
}

// A JSON value as bitcoin-cli prints it: numbers and literals go out as
// they are given, objects and arrays pretty-printed with a 2-space indent,
// an empty one with its closing bracket on a line of its own.
class Json {
public:
    static Json raw(std::string text) {
        Json value;
        value.raw_ = std::move(text);
        return value;
    }
    static Json string(const std::string& text) { return raw(quoted(text)); }
    static Json number(std::int64_t n) { return raw(std::to_string(n)); }
    static Json number(double n) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.16g", n);
        return raw(buffer);
    }
    static Json boolean(bool b) { return raw(b ? "true" : "false"); }
    // Satoshis as coins, with the 8 decimals the client always prints.
    static Json amount(std::int64_t satoshis) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%" PRId64 ".%08" PRId64, satoshis / 100000000,
                      satoshis % 100000000);
        return raw(buffer);
    }
    static Json object() {
        Json value;
        value.kind_ = Kind::Object;
        return value;
    }
    static Json array() {
        Json value;
        value.kind_ = Kind::Array;
        return value;
    }

    Json& add(std::string key, Json value) {
        members_.emplace_back(std::move(key), std::move(value));
        return *this;
    }
    Json& add(Json value) { return add(std::string(), std::move(value)); }

    std::string write(int indent = 0) const {
        if (kind_ == Kind::Raw)
            return raw_;
        const std::string inner(static_cast<std::size_t>(indent + 2), ' ');
        std::string text = kind_ == Kind::Object ? "{\n" : "[\n";
        for (std::size_t i = 0; i < members_.size(); ++i) {
            text += inner;
            if (kind_ == Kind::Object)
                text += quoted(members_[i].first) + ": ";
            text += members_[i].second.write(indent + 2);
            text += i + 1 < members_.size() ? ",\n" : "\n";
        }
        return text + std::string(static_cast<std::size_t>(indent), ' ') +
               (kind_ == Kind::Object ? "}" : "]");
    }

private:
    enum class Kind { Raw, Object, Array };

    // Control characters escaped; other bytes, UTF-8 included, as they are.
    static std::string quoted(const std::string& text) {
        std::string out = "\"";
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7f) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", byte);
                    out += buffer;
                } else {
                    out += c;
                }
            }
        }
        return out + "\"";
    }

    Kind kind_ = Kind::Raw;
    std::string raw_;
    std::vector<std::pair<std::string, Json>> members_;
};

Json fee(std::int64_t satoshisPerKvB) {
    return Json::amount(satoshisPerKvB);
}

} // namespace

Network networkOf(const std::string& confText) {
    Network network;
    std::size_t lineStart = 0;
    while (lineStart < confText.size()) {
        std::size_t lineEnd = confText.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = confText.size();
        const std::string line = confText.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        const auto value = [&](const char* key) { return settingOf(line, key); };
        const auto on = [&](const char* key) {
            return value(key) == std::optional<std::string>("1");
        };
        if (const auto chain = value("chain"); chain && !chain->empty())
            network.chain = *chain;
        else if (on("testnet"))
            network.chain = "test";
        else if (on("testnet4"))
            network.chain = "testnet4";
        else if (on("signet"))
            network.chain = "signet";
        else if (on("regtest"))
            network.chain = "regtest";
    }
    if (network.chain == "test")
        network.rpcPort = 18332;
    else if (network.chain == "testnet4")
        network.rpcPort = 48332;
    else if (network.chain == "signet")
        network.rpcPort = 38332;
    else if (network.chain == "regtest")
        network.rpcPort = 18443;
    if (const auto port = settingOf(confText, "rpcport")) {
        const auto number = parseNumber(*port);
        if (number && *number > 0 && *number < 65536)
            network.rpcPort = static_cast<int>(*number);
    }
    return network;
}

Moment momentOf(std::int64_t genesisSeconds, std::optional<std::int64_t> frozenHeight,
                std::optional<DataFolder::Sync> sync, std::int64_t nowMs) {
    Moment moment;
    moment.nowSeconds = nowMs / 1000;
    const std::int64_t now = moment.nowSeconds;
    moment.headers = frozenHeight ? *frozenHeight : heightAt(genesisSeconds, now);
    moment.blocks = moment.headers;
    if (sync && !frozenHeight && sync->fromHeight < moment.headers) {
        const std::int64_t elapsedMs = std::max<std::int64_t>(nowMs - sync->startMs, 0);
        const double caughtUp =
            static_cast<double>(sync->blocksPerSecond) * static_cast<double>(elapsedMs) / 1000.0;
        const auto behind = static_cast<double>(moment.headers - sync->fromHeight);
        if (caughtUp < behind) {
            moment.blocks = sync->fromHeight + static_cast<std::int64_t>(caughtUp);
            moment.initialBlockDownload = true;
        }
    }
    // Block h was found at genesis + (h - base) * SecondsPerBlock: the tip of
    // a moving chain is at most one block interval old, a frozen one ages.
    const auto blockTime = [&](std::int64_t height) {
        const std::int64_t sane = std::clamp<std::int64_t>(height, 0, MaxSaneHeight);
        const std::int64_t at = genesisSeconds + (sane - BaseHeight) * SecondsPerBlock;
        return std::clamp(at, FirstBlockTime, std::max(now, FirstBlockTime));
    };
    moment.tipTime = blockTime(moment.blocks);
    moment.medianTime = blockTime(moment.blocks - 5);
    // As Core estimates it: the transactions up to the tip against those
    // the network has made since the tip's time as well.
    const double done = transactionsUpTo(moment.blocks);
    const double missing = static_cast<double>(now - moment.tipTime) * TransactionsPerSecond;
    moment.verificationProgress = done + missing > 0 ? done / (done + missing) : 1.0;
    const int connections = connectionsAt(genesisSeconds, now);
    moment.connectionsOut = std::min(connections, MaxOutbound);
    moment.connectionsIn = connections - moment.connectionsOut;
    return moment;
}

Moment momentAt(const DataFolder& folder, std::int64_t nowMs) {
    Moment moment = momentOf(folder.genesis().value_or(nowMs / 1000), folder.frozenHeight(),
                             folder.sync(), nowMs);
    moment.warnings = folder.warnings();
    return moment;
}

std::string blockchainInfo(const Moment& moment, const Network& network) {
    const std::int64_t blocks = moment.blocks;
    return Json::object()
        .add("chain", Json::string(network.chain))
        .add("blocks", Json::number(blocks))
        .add("headers", Json::number(moment.headers))
        .add("bestblockhash", Json::string(blockHash(blocks, network.chain)))
        .add("difficulty", Json::number(difficultyAt(blocks)))
        .add("time", Json::number(moment.tipTime))
        .add("mediantime", Json::number(moment.medianTime))
        .add("verificationprogress", Json::number(moment.verificationProgress))
        .add("initialblockdownload", Json::boolean(moment.initialBlockDownload))
        .add("chainwork", Json::string(chainWork(blocks)))
        .add("size_on_disk", Json::number(saturatingMultiply(blocks, 712345)))
        .add("pruned", Json::boolean(false))
        .add("warnings", Json::string(moment.warnings))
        .write();
}

std::string networkInfo(const Moment& moment) {
    Json services = Json::array();
    for (const char* name : {"NETWORK", "WITNESS", "NETWORK_LIMITED", "P2P_V2"})
        services.add(Json::string(name));
    Json networks = Json::array();
    for (const char* name : {"ipv4", "ipv6", "onion", "i2p", "cjdns"}) {
        const bool open = name[0] == 'i' && name[1] == 'p';
        networks.add(Json::object()
                         .add("name", Json::string(name))
                         .add("limited", Json::boolean(!open))
                         .add("reachable", Json::boolean(open))
                         .add("proxy", Json::string(""))
                         .add("proxy_randomize_credentials", Json::boolean(false)));
    }
    return Json::object()
        .add("version", Json::number(std::int64_t{270000}))
        .add("subversion", Json::string("/Satoshi:27.0.0(twdemo)/"))
        .add("protocolversion", Json::number(std::int64_t{70016}))
        .add("localservices", Json::string("0000000000000c09"))
        .add("localservicesnames", std::move(services))
        .add("localrelay", Json::boolean(true))
        .add("timeoffset", Json::number(std::int64_t{0}))
        .add("networkactive", Json::boolean(true))
        .add("connections", Json::number(std::int64_t{moment.connections()}))
        .add("connections_in", Json::number(std::int64_t{moment.connectionsIn}))
        .add("connections_out", Json::number(std::int64_t{moment.connectionsOut}))
        .add("networks", std::move(networks))
        .add("relayfee", fee(1000))
        .add("incrementalfee", fee(1000))
        .add("localaddresses", Json::array())
        .add("warnings", Json::string(moment.warnings))
        .write();
}

std::string mempoolInfo(const Moment& moment) {
    // A node in its initial download takes no transactions; otherwise the
    // pool fills between blocks (and keeps filling while the chain stalls).
    std::int64_t size = 0;
    std::int64_t bytes = 0;
    std::int64_t fees = 0;
    if (!moment.initialBlockDownload) {
        const std::uint64_t seed = mix(static_cast<std::uint64_t>(moment.blocks));
        const std::int64_t sinceTip =
            std::clamp<std::int64_t>(moment.nowSeconds - moment.tipTime, 0, 5000);
        size = 1800 + static_cast<std::int64_t>(seed % 900) + 24 * sinceTip;
        bytes = size * (300 + static_cast<std::int64_t>((seed >> 16) % 120));
        fees = size * (1500 + static_cast<std::int64_t>((seed >> 32) % 1500));
    }
    constexpr std::int64_t MaxMempool = 300000000;
    return Json::object()
        .add("loaded", Json::boolean(true))
        .add("size", Json::number(size))
        .add("bytes", Json::number(bytes))
        .add("usage", Json::number(std::min(MaxMempool, 1440 + bytes * 27 / 10)))
        .add("total_fee", Json::amount(fees))
        .add("maxmempool", Json::number(MaxMempool))
        .add("mempoolminfee", fee(1000))
        .add("minrelaytxfee", fee(1000))
        .add("incrementalrelayfee", fee(1000))
        .add("unbroadcastcount", Json::number(std::int64_t{0}))
        .add("fullrbf", Json::boolean(false))
        .write();
}

std::string connectionFailure(const Network& network) {
    return "error: Could not connect to the server 127.0.0.1:" + std::to_string(network.rpcPort) +
           "\n\nMake sure the bitcoind server is running and that you are connecting to the "
           "correct RPC port.";
}

} // namespace twdemo
