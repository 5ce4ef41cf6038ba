#include "DemoNode.h"

#include <charconv>
#include <exception>
#include <fstream>
#include <random>
#include <system_error>

namespace twdemo {

namespace {

constexpr std::int64_t MaxSaneSeconds = std::int64_t{1} << 40;

std::string randomHex() {
    std::random_device device;
    std::uniform_int_distribution<unsigned long long> pick;
    const unsigned long long value = pick(device);
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    return std::string(buffer, result.ptr);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

void removeQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

constexpr std::int64_t MaxBlocksPerSecond = 1000000;

} // namespace

std::int64_t nowUnixMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t nowUnixSeconds() {
    return nowUnixMs() / 1000;
}

std::int64_t heightAt(std::int64_t genesisSeconds, std::int64_t nowSeconds) {
    const std::int64_t elapsed = nowSeconds > genesisSeconds ? nowSeconds - genesisSeconds : 0;
    return BaseHeight + elapsed / SecondsPerBlock;
}

int connectionsAt(std::int64_t genesisSeconds, std::int64_t nowSeconds) {
    const std::int64_t elapsed = nowSeconds > genesisSeconds ? nowSeconds - genesisSeconds : 0;
    return 8 + static_cast<int>((elapsed / 60) % 5);
}

std::optional<std::int64_t> parseNumber(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    if (begin == end)
        return std::nullopt;
    std::int64_t value = 0;
    const char* first = text.data() + begin;
    const char* last = text.data() + end;
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last || value < 0)
        return std::nullopt;
    return value;
}

std::optional<std::string> settingOf(const std::string& text, const std::string& key) {
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        const std::string line = trimmed(text.substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        const std::size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos)
            continue;
        if (trimmed(line.substr(0, equals)) == key)
            return trimmed(line.substr(equals + 1));
    }
    return std::nullopt;
}

std::optional<std::string> readSmallFile(const fs::path& path, std::size_t maxBytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string content(maxBytes + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > maxBytes || in.bad())
        return std::nullopt;
    content.resize(got);
    return content;
}

bool replaceFile(const fs::path& path, const std::string& content) {
    fs::path aside = path;
    aside += ".tmp-" + randomHex();
    {
        std::ofstream out(aside, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(aside, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(aside, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(aside, ignored);
        return false;
    }
    return true;
}

Arguments parseArguments(int argc, char** argv, bool allowDaemonOption) {
    Arguments args;
    bool haveConf = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (!arg.empty() && arg[0] == '-') {
            if (startsWith(arg, "-conf=")) {
                args.conf = fs::path(arg.substr(6));
                haveConf = true;
            } else if (allowDaemonOption && (arg == "-daemon" || startsWith(arg, "-daemon="))) {
                // Accepted for compatibility with the real clients' command lines.
            } else {
                args.error = "Error parsing command line arguments: Invalid parameter " + arg;
                return args;
            }
        } else {
            args.commands.push_back(arg);
        }
    }
    if (!haveConf || args.conf.empty())
        args.error = "error: -conf=FILE is required (the file's folder holds the demo node)";
    return args;
}

std::optional<fs::path> dataFolderOf(const fs::path& conf, std::string& error) {
    std::error_code ec;
    fs::path absolute = fs::absolute(conf, ec);
    if (ec)
        absolute = conf;
    if (!fs::is_regular_file(absolute, ec)) {
        error = "error: Error reading configuration file: specified config file \"" +
                absolute.string() + "\" could not be opened.";
        return std::nullopt;
    }
    fs::path folder = absolute.parent_path();
    if (folder.empty())
        folder = fs::path(".");
    return folder;
}

bool DataFolder::exists() const {
    std::error_code ec;
    return fs::is_directory(folder_, ec);
}

std::optional<std::int64_t> DataFolder::genesis() const {
    const auto content = readSmallFile(file(StateFileName));
    if (!content)
        return std::nullopt;
    std::size_t lineStart = 0;
    while (lineStart < content->size()) {
        std::size_t lineEnd = content->find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = content->size();
        const std::string line = content->substr(lineStart, lineEnd - lineStart);
        if (startsWith(line, "genesis=")) {
            const auto value = parseNumber(line.substr(8));
            if (value && *value > 0 && *value < MaxSaneSeconds)
                return value;
            return std::nullopt;
        }
        lineStart = lineEnd + 1;
    }
    return std::nullopt;
}

bool DataFolder::writeGenesis(std::int64_t genesisSeconds) const {
    return replaceFile(file(StateFileName), "genesis=" + std::to_string(genesisSeconds) + "\n");
}

bool DataFolder::daemonAlive(std::int64_t nowMs) const {
    const auto content = readSmallFile(file(DaemonHeartbeatName), 64);
    if (!content)
        return false;
    const auto beat = parseNumber(*content);
    if (!beat)
        return false;
    const std::int64_t age = nowMs - *beat;
    return age <= HeartbeatStaleMs && age >= -HeartbeatStaleMs;
}

bool DataFolder::writeHeartbeat(const char* name, std::int64_t nowMs) const {
    return replaceFile(file(name), std::to_string(nowMs) + "\n");
}

void DataFolder::removeHeartbeat(const char* name) const {
    std::error_code ignored;
    fs::remove(file(name), ignored);
}

std::optional<std::int64_t> DataFolder::frozenHeight() const {
    const auto content = readSmallFile(file(FrozenName), 64);
    if (!content || !startsWith(*content, "height="))
        return std::nullopt;
    return parseNumber(content->substr(7));
}

bool DataFolder::writeFrozenHeight(std::int64_t height) const {
    return replaceFile(file(FrozenName), "height=" + std::to_string(height) + "\n");
}

void DataFolder::clearFrozen() const {
    std::error_code ignored;
    fs::remove(file(FrozenName), ignored);
}

std::optional<DataFolder::Sync> DataFolder::sync() const {
    const auto content = readSmallFile(file(SyncName), 256);
    if (!content)
        return std::nullopt;
    const auto number = [&](const char* key) -> std::optional<std::int64_t> {
        const auto value = settingOf(*content, key);
        return value ? parseNumber(*value) : std::nullopt;
    };
    const auto start = number("start");
    const auto from = number("from");
    const auto rate = number("rate");
    if (!start || !from || !rate || *start <= 0 || *start >= MaxSaneSeconds * 1000 || *rate <= 0 ||
        *rate > MaxBlocksPerSecond)
        return std::nullopt;
    return Sync{*start, *from, *rate};
}

bool DataFolder::writeSync(const Sync& sync) const {
    return replaceFile(file(SyncName), "start=" + std::to_string(sync.startMs) +
                                           "\nfrom=" + std::to_string(sync.fromHeight) +
                                           "\nrate=" + std::to_string(sync.blocksPerSecond) + "\n");
}

void DataFolder::clearSync() const {
    removeQuietly(file(SyncName));
}

bool DataFolder::failing() const {
    std::error_code ec;
    return fs::exists(file(FailingName), ec);
}

bool DataFolder::writeFailing() const {
    return replaceFile(file(FailingName), "fail " + std::to_string(nowUnixMs()) + "\n");
}

void DataFolder::clearFailing() const {
    removeQuietly(file(FailingName));
}

std::string DataFolder::warnings() const {
    return readSmallFile(file(WarningsName), MaxWarningsBytes).value_or(std::string());
}

bool DataFolder::writeWarnings(const std::string& text) const {
    std::string kept = text.substr(0, MaxWarningsBytes);
    // A character cut in two goes whole.
    const auto continues = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    if (kept.size() < text.size() && continues(text[kept.size()])) {
        while (!kept.empty() && continues(kept.back()))
            kept.pop_back();
        if (!kept.empty() && static_cast<unsigned char>(kept.back()) >= 0xC0)
            kept.pop_back();
    }
    return replaceFile(file(WarningsName), kept);
}

void DataFolder::clearWarnings() const {
    removeQuietly(file(WarningsName));
}

std::optional<std::string> DataFolder::stopRequest() const {
    return readSmallFile(file(StopRequestName), 256);
}

bool DataFolder::writeStopRequest() const {
    return replaceFile(file(StopRequestName),
                       "stop " + std::to_string(nowUnixMs()) + " " + randomHex() + "\n");
}

void DataFolder::clearStopRequest() const {
    std::error_code ignored;
    fs::remove(file(StopRequestName), ignored);
}

StopListener::StopListener(const DataFolder& folder)
    : folder_(folder), leftOver_(folder.stopRequest()) {}

bool StopListener::requested() const {
    const auto request = folder_.stopRequest();
    return request && request != leftOver_;
}

void Voice::say(std::FILE* stream, const std::string& line) const {
    const std::string text = prefix_ + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

int guardedMain(const Voice& voice, const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::exception& e) {
        return voice.fail(std::string("error: ") + e.what());
    } catch (...) {
        return voice.fail("error: unexpected failure");
    }
}

std::optional<fs::path> serverDataFolder(int argc, char** argv, const Voice& voice) {
    const Arguments args = parseArguments(argc, argv, false);
    if (!args.error.empty()) {
        voice.fail(args.error);
        return std::nullopt;
    }
    if (!args.commands.empty()) {
        voice.fail("error: unexpected argument \"" + args.commands.front() + "\"");
        return std::nullopt;
    }
    std::string error;
    auto folder = dataFolderOf(args.conf, error);
    if (!folder)
        voice.fail(error);
    return folder;
}

} // namespace twdemo
