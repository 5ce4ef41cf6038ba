#include "node/NodeState.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <cmath>

namespace tw::node {

namespace {

// The most of an answer that is parsed: a node's state is a few KiB.
constexpr qsizetype MaxAnswerBytes = 1024 * 1024;
// The largest whole number a JSON double holds exactly.
constexpr double MaxExact = 9007199254740992.0;

std::optional<qint64> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d < 0 || d > MaxExact || std::floor(d) != d)
        return std::nullopt;
    return qint64(d);
}

std::optional<bool> boolean(const QJsonValue& value) {
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<QString> string(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// A warnings field: a text (older nodes) or a list of texts (newer ones).
std::optional<QStringList> warningTexts(const QJsonValue& value) {
    if (value.isString()) {
        const QString text = value.toString().trimmed();
        return text.isEmpty() ? QStringList() : QStringList{text};
    }
    if (!value.isArray())
        return std::nullopt;
    QStringList texts;
    for (const QJsonValue& item : value.toArray())
        if (item.isString() && !item.toString().trimmed().isEmpty())
            texts << item.toString().trimmed();
    return texts;
}

void addWarnings(const QJsonValue& value, NodeState& state) {
    const std::optional<QStringList> texts = warningTexts(value);
    if (!texts)
        return;
    QStringList all;
    if (state.warnings && !state.warnings->isEmpty())
        all = state.warnings->split(QStringLiteral("; "));
    for (const QString& text : *texts)
        if (!all.contains(text))
            all << text;
    state.warnings = all.join(QStringLiteral("; "));
}

// Sets `field` when `value` is of its type; leaves it alone otherwise.
template <typename T, typename Read>
void take(std::optional<T>& field, const QJsonValue& value, Read read) {
    if (auto v = read(value))
        field = *v;
}

void takeBlockchainInfo(const QJsonObject& o, NodeState& s) {
    take(s.chain, o[QLatin1String("chain")], string);
    take(s.blocks, o[QLatin1String("blocks")], wholeNumber);
    take(s.headers, o[QLatin1String("headers")], wholeNumber);
    const QJsonValue progress = o[QLatin1String("verificationprogress")];
    if (progress.isDouble() && std::isfinite(progress.toDouble()) && progress.toDouble() >= 0)
        s.verificationProgress = std::min(1.0, progress.toDouble());
    take(s.initialBlockDownload, o[QLatin1String("initialblockdownload")], boolean);
    take(s.tipTime, o[QLatin1String("mediantime")], wholeNumber);
    take(s.tipTime, o[QLatin1String("time")], wholeNumber); // the tip's own time wins
    take(s.sizeOnDisk, o[QLatin1String("size_on_disk")], wholeNumber);
    take(s.pruned, o[QLatin1String("pruned")], boolean);
    addWarnings(o[QLatin1String("warnings")], s);
}

void takeNetworkInfo(const QJsonObject& o, NodeState& s) {
    take(s.peersIn, o[QLatin1String("connections_in")], wholeNumber);
    take(s.peersOut, o[QLatin1String("connections_out")], wholeNumber);
    take(s.peersTotal, o[QLatin1String("connections")], wholeNumber);
    take(s.networkActive, o[QLatin1String("networkactive")], boolean);
    take(s.version, o[QLatin1String("version")], wholeNumber);
    take(s.subversion, o[QLatin1String("subversion")], string);
    addWarnings(o[QLatin1String("warnings")], s);
}

void takeMempoolInfo(const QJsonObject& o, NodeState& s) {
    take(s.mempoolTransactions, o[QLatin1String("size")], wholeNumber);
    take(s.mempoolBytes, o[QLatin1String("bytes")], wholeNumber);
}

// The start of a text, on one line, for a diagnostics message.
QString excerpt(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes.left(200)).simplified();
    if (text.size() > 60)
        text = text.left(60) + QStringLiteral("...");
    return text;
}

QString number(qint64 n) {
    return QLocale().toString(n);
}

QString percent(double progress) {
    // Down, so that a node short of the end never says 100 %.
    const double shown = std::floor(progress * 10000.0) / 100.0;
    return QLocale().toString(shown, 'f', 2) + QStringLiteral(" %");
}

QString yesNo(bool b) {
    return b ? QCoreApplication::translate("NodeText", "yes")
             : QCoreApplication::translate("NodeText", "no");
}

} // namespace

bool NodeState::empty() const {
    return *this == NodeState{};
}

QString callName(Call call) {
    switch (call) {
    case Call::BlockchainInfo:
        return QStringLiteral("getblockchaininfo");
    case Call::NetworkInfo:
        return QStringLiteral("getnetworkinfo");
    case Call::MempoolInfo:
        return QStringLiteral("getmempoolinfo");
    }
    return {};
}

CallParse parseCall(Call call, const QByteArray& output, const QByteArray& errorOutput,
                    NodeState& state) {
    const auto unknown = [](const QByteArray& text) {
        return text.contains("Method not found") || text.contains("-32601");
    };
    if (unknown(errorOutput) || (unknown(output) && !output.trimmed().startsWith('{')))
        return {CallParse::Outcome::Unknown,
                callName(call) + QStringLiteral(": the client does not know this call")};
    if (output.size() > MaxAnswerBytes)
        return {CallParse::Outcome::NotJson,
                callName(call) +
                    QStringLiteral(": the answer is larger than %1 bytes").arg(MaxAnswerBytes)};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(output, &error);
    if (!document.isObject()) {
        const QString why = error.error != QJsonParseError::NoError
                                ? error.errorString()
                                : QStringLiteral("not a JSON object");
        return {CallParse::Outcome::NotJson,
                callName(call) + QStringLiteral(": the answer is not JSON (%1): \"%2\"")
                                     .arg(why, excerpt(output.isEmpty() ? errorOutput : output))};
    }
    const QJsonObject object = document.object();
    switch (call) {
    case Call::BlockchainInfo:
        takeBlockchainInfo(object, state);
        break;
    case Call::NetworkInfo:
        takeNetworkInfo(object, state);
        break;
    case Call::MempoolInfo:
        takeMempoolInfo(object, state);
        break;
    }
    return {};
}

std::optional<QStringList> callArguments(const QStringList& blockCountArguments, Call call) {
    for (qsizetype i = blockCountArguments.size() - 1; i >= 1; --i) {
        if (blockCountArguments[i].compare(QLatin1String("getblockcount"), Qt::CaseInsensitive) ==
            0) {
            QStringList arguments = blockCountArguments;
            arguments[i] = callName(call);
            return arguments;
        }
    }
    return std::nullopt;
}

namespace text {

QString duration(qint64 seconds) {
    if (seconds < 60)
        return QCoreApplication::translate("NodeText", "%1 s").arg(seconds);
    if (seconds < 120 * 60)
        return QCoreApplication::translate("NodeText", "%1 min").arg((seconds + 30) / 60);
    if (seconds < 48 * 3600)
        return QCoreApplication::translate("NodeText", "%1 h").arg((seconds + 1800) / 3600);
    return QCoreApplication::translate("NodeText", "%1 days")
        .arg(number((seconds + 43200) / 86400));
}

QString syncLine(const NodeState& state, std::optional<qint64> timeLeftSeconds) {
    if (!state.blocks)
        return {};
    QString line = number(*state.blocks);
    const bool behind = state.headers && *state.headers > *state.blocks;
    if (behind)
        line =
            QCoreApplication::translate("NodeText", "%1 of %2").arg(line, number(*state.headers));
    QStringList notes;
    const bool syncing = behind || state.initialBlockDownload.value_or(false);
    if (state.verificationProgress && (syncing || *state.verificationProgress < 0.9999))
        notes << percent(*state.verificationProgress);
    if (state.initialBlockDownload.value_or(false))
        notes << QCoreApplication::translate("NodeText", "initial download");
    if (timeLeftSeconds && syncing)
        notes << QCoreApplication::translate("NodeText", "about %1 left")
                     .arg(duration(*timeLeftSeconds));
    if (!notes.isEmpty())
        line += QStringLiteral(" (") + notes.join(QStringLiteral(", ")) + QLatin1Char(')');
    return line;
}

QString tipAge(qint64 tipTime, qint64 nowSeconds) {
    return QCoreApplication::translate("NodeText", "%1 old")
        .arg(duration(std::max<qint64>(0, nowSeconds - tipTime)));
}

QString peersLine(const NodeState& state) {
    if (state.peersIn && state.peersOut)
        return QCoreApplication::translate("NodeText", "%1 peers (%2 in, %3 out)")
            .arg(number(*state.peersIn + *state.peersOut), number(*state.peersIn),
                 number(*state.peersOut));
    if (state.peersTotal)
        return QCoreApplication::translate("NodeText", "%1 peers").arg(number(*state.peersTotal));
    return {};
}

QString mempoolLine(const NodeState& state, bool withBytes) {
    if (!state.mempoolTransactions)
        return {};
    QString line =
        QCoreApplication::translate("NodeText", "%1 tx").arg(number(*state.mempoolTransactions));
    if (withBytes && state.mempoolBytes)
        line += QStringLiteral(", ") + QLocale().formattedDataSize(*state.mempoolBytes);
    return line;
}

QString trayLine(const QString& node, const NodeState& state, std::optional<qint64> timeLeftSeconds,
                 qint64 nowSeconds) {
    QStringList parts;
    if (!node.isEmpty())
        parts << node;
    if (state.chain)
        parts << *state.chain;
    if (const QString sync = syncLine(state, timeLeftSeconds); !sync.isEmpty())
        parts << QCoreApplication::translate("NodeText", "block %1").arg(sync);
    if (state.tipTime)
        parts << QCoreApplication::translate("NodeText", "tip %1")
                     .arg(tipAge(*state.tipTime, nowSeconds));
    if (const QString peers = peersLine(state); !peers.isEmpty())
        parts << peers;
    if (const QString mempool = mempoolLine(state, false); !mempool.isEmpty())
        parts << QCoreApplication::translate("NodeText", "mempool %1").arg(mempool);
    return parts.join(QStringLiteral(" \u00b7 "));
}

QStringList fieldLines(const NodeState& s, qint64 nowSeconds) {
    const QString unknown = QCoreApplication::translate("NodeText", "unknown");
    const auto num = [&](const std::optional<qint64>& n) { return n ? number(*n) : unknown; };
    const auto yes = [&](const std::optional<bool>& b) { return b ? yesNo(*b) : unknown; };
    QString tip = unknown;
    if (s.tipTime)
        tip = QDateTime::fromSecsSinceEpoch(*s.tipTime, Qt::UTC)
                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")) +
              QStringLiteral(" (") + tipAge(*s.tipTime, nowSeconds) + QLatin1Char(')');
    // "8 (3 in, 5 out)": the name says "peers".
    QString peers;
    if (s.peersIn && s.peersOut)
        peers = QCoreApplication::translate("NodeText", "%1 (%2 in, %3 out)")
                    .arg(number(*s.peersIn + *s.peersOut), number(*s.peersIn), number(*s.peersOut));
    else if (s.peersTotal)
        peers = number(*s.peersTotal);
    QString version = s.version ? QString::number(*s.version) : unknown;
    if (s.subversion)
        version += QLatin1Char(' ') + *s.subversion;
    QString mempool = mempoolLine(s, true);
    return {
        QCoreApplication::translate("NodeText", "Chain: ") + s.chain.value_or(unknown),
        QCoreApplication::translate("NodeText", "Blocks: ") + num(s.blocks),
        QCoreApplication::translate("NodeText", "Headers: ") + num(s.headers),
        QCoreApplication::translate("NodeText", "Verification progress: ") +
            (s.verificationProgress ? percent(*s.verificationProgress) : unknown),
        QCoreApplication::translate("NodeText", "Initial block download: ") +
            yes(s.initialBlockDownload),
        QCoreApplication::translate("NodeText", "Tip time: ") + tip,
        QCoreApplication::translate("NodeText", "Size on disk: ") +
            (s.sizeOnDisk ? QLocale().formattedDataSize(*s.sizeOnDisk) : unknown),
        QCoreApplication::translate("NodeText", "Pruned: ") + yes(s.pruned),
        QCoreApplication::translate("NodeText", "Peers: ") + (peers.isEmpty() ? unknown : peers),
        QCoreApplication::translate("NodeText", "Network active: ") + yes(s.networkActive),
        QCoreApplication::translate("NodeText", "Version: ") + version,
        QCoreApplication::translate("NodeText", "Mempool: ") +
            (mempool.isEmpty() ? unknown : mempool),
        QCoreApplication::translate("NodeText", "Warnings: ") +
            (s.warnings ? (s.warnings->isEmpty() ? QCoreApplication::translate("NodeText", "none")
                                                 : *s.warnings)
                        : unknown),
    };
}

} // namespace text

std::optional<qint64> estimateTimeLeft(const QList<ProgressSample>& samples) {
    if (samples.size() < 3)
        return std::nullopt;
    const qint64 start = samples.first().timeMs;
    if (samples.last().timeMs - start < 2 * 60 * 1000)
        return std::nullopt;
    const double n = double(samples.size());
    double meanTime = 0, meanProgress = 0;
    for (const ProgressSample& sample : samples) {
        meanTime += double(sample.timeMs - start) / n;
        meanProgress += sample.progress / n;
    }
    double covariance = 0, variance = 0;
    for (const ProgressSample& sample : samples) {
        const double dt = double(sample.timeMs - start) - meanTime;
        covariance += dt * (sample.progress - meanProgress);
        variance += dt * dt;
    }
    const double perMs = variance > 0 ? covariance / variance : 0;
    if (!(perMs > 0) || !(samples.last().progress > samples.first().progress))
        return std::nullopt;
    const double seconds = std::max(0.0, 1.0 - samples.last().progress) / perMs / 1000;
    if (!std::isfinite(seconds) || seconds >= 365.0 * 24 * 3600)
        return std::nullopt;
    return std::llround(seconds);
}

} // namespace tw::node
