#include "fleet/Metrics.h"

#include "health/HealthMonitor.h"

#include <QList>
#include <QLocale>

#include <cmath>

namespace tw::fleet {

namespace {

using Alert = health::HealthMonitor::Alert;

struct Sample {
    QByteArray labels; // extra labels after `node`, already written: `query="blocks"`
    QByteArray value;
};

QByteArray integer(qint64 value) {
    return QByteArray::number(value);
}

QByteArray flag(bool value) {
    return value ? "1" : "0";
}

// Seconds since the epoch with the milliseconds, exactly ("1700000000.250").
QByteArray secondsOfMs(qint64 ms) {
    if (ms < 0)
        return QByteArray::number(double(ms) / 1000.0, 'f', 3);
    const qint64 rest = ms % 1000;
    QByteArray text = QByteArray::number(ms / 1000);
    if (rest != 0)
        text += '.' + QByteArray::number(rest).rightJustified(3, '0');
    return text;
}

QByteArray real(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    // The shortest text that reads back as the same double.
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

// One metric family: HELP, TYPE and its samples, or nothing without samples.
class Writer {
public:
    explicit Writer(const QString& node) : node_(escapeLabelValue(node)) {}

    void family(const char* name, const char* type, const char* help,
                const QList<Sample>& samples) {
        if (samples.isEmpty())
            return;
        out_ += QByteArray("# HELP ") + name + ' ' + help + '\n';
        out_ += QByteArray("# TYPE ") + name + ' ' + type + '\n';
        for (const Sample& sample : samples) {
            out_ += QByteArray(name) + "{node=\"" + node_ + '"';
            if (!sample.labels.isEmpty())
                out_ += ',' + sample.labels;
            out_ += "} " + sample.value + '\n';
        }
    }

    // A family of one sample without further labels, when `value` is known.
    void gauge(const char* name, const char* help, const std::optional<QByteArray>& value) {
        family(name, "gauge", help,
               value ? QList<Sample>{{QByteArray(), *value}} : QList<Sample>());
    }

    QByteArray text() const { return out_; }

private:
    QByteArray node_;
    QByteArray out_;
};

template <class T, class F>
std::optional<QByteArray> known(const std::optional<T>& value, F format) {
    return value ? std::optional(format(*value)) : std::nullopt;
}

} // namespace

QString panelVersion() {
    return QStringLiteral(TW_VERSION);
}

QByteArray escapeLabelValue(const QString& value) {
    QByteArray out;
    const QByteArray bytes = value.toUtf8();
    out.reserve(bytes.size());
    for (const char c : bytes) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

MetricsSnapshot snapshotOf(const health::HealthMonitor& monitor, const QString& node,
                           std::optional<bool> cliRunning) {
    MetricsSnapshot s;
    s.node = node;
    s.version = panelVersion();
    s.up = monitor.up();
    s.state = monitor.nodeState();
    s.blockCount = monitor.blockCount();
    if (!s.blockCount)
        s.blockCount = s.state.blocks;
    s.connections = monitor.connectionCount();
    if (!s.connections)
        s.connections = s.state.peersTotal;
    s.lastBlocksAnswerMs = monitor.lastAnswerMs(true);
    s.lastConnectionsAnswerMs = monitor.lastAnswerMs(false);
    s.lastBlockChangeMs = monitor.lastBlockChangeMs();
    s.blocksFailures = monitor.failuresTotal(true);
    s.connectionsFailures = monitor.failuresTotal(false);
    s.cliRunning = cliRunning;
    s.stalled = monitor.alertActive(Alert::Stalled);
    s.notAnswering = monitor.alertActive(Alert::NotAnswering);
    s.warning = monitor.alertActive(Alert::Warning);
    return s;
}

QByteArray exposition(const MetricsSnapshot& s) {
    Writer w(s.node);
    const node::NodeState& st = s.state;
    w.gauge("twcliui_up", "Whether the panel's last query of the node answered (1) or not (0).",
            flag(s.up));
    w.gauge("twcliui_block_count", "The node's block count.", known(s.blockCount, integer));
    w.gauge("twcliui_headers", "The headers the node knows of.", known(st.headers, integer));
    w.gauge("twcliui_verification_progress", "The node's verification progress, 0 to 1.",
            known(st.verificationProgress, real));
    w.gauge("twcliui_initial_block_download",
            "Whether the node is in its initial block download (1) or not (0).",
            known(st.initialBlockDownload, flag));
    w.gauge("twcliui_tip_timestamp_seconds",
            "The time of the node's tip block, seconds since the epoch.",
            known(st.tipTime, integer));
    w.gauge("twcliui_connections", "The node's peer connections.", known(s.connections, integer));
    w.gauge("twcliui_connections_in", "The node's inbound peer connections.",
            known(st.peersIn, integer));
    w.gauge("twcliui_connections_out", "The node's outbound peer connections.",
            known(st.peersOut, integer));
    w.gauge("twcliui_mempool_transactions", "Transactions in the node's mempool.",
            known(st.mempoolTransactions, integer));
    w.gauge("twcliui_mempool_bytes", "The size of the node's mempool in bytes.",
            known(st.mempoolBytes, integer));
    w.gauge("twcliui_size_on_disk_bytes", "The size of the node's block data on disk in bytes.",
            known(st.sizeOnDisk, integer));

    QList<Sample> answers;
    if (s.lastBlocksAnswerMs)
        answers.append({"query=\"blocks\"", secondsOfMs(*s.lastBlocksAnswerMs)});
    if (s.lastConnectionsAnswerMs)
        answers.append({"query=\"connections\"", secondsOfMs(*s.lastConnectionsAnswerMs)});
    w.family("twcliui_last_answer_timestamp_seconds", "gauge",
             "When the query last answered a number, seconds since the epoch.", answers);
    w.gauge("twcliui_last_block_change_timestamp_seconds",
            "When the panel last saw the block count rise (or its first answer), seconds since "
            "the epoch.",
            known(s.lastBlockChangeMs, secondsOfMs));
    w.gauge("twcliui_cli_running",
            "Whether the node's command-line client is running (1) or not (0), as the process "
            "check saw it.",
            known(s.cliRunning, flag));
    w.family("twcliui_query_failures_total", "counter",
             "Queries that got no usable answer since the panel started.",
             {{"query=\"blocks\"", integer(s.blocksFailures)},
              {"query=\"connections\"", integer(s.connectionsFailures)}});
    w.family("twcliui_alert_active", "gauge",
             "Whether an alert episode of that kind is going on (1) or not (0).",
             {{"alert=\"stalled\"", flag(s.stalled)},
              {"alert=\"not_answering\"", flag(s.notAnswering)},
              {"alert=\"warning\"", flag(s.warning)}});
    w.family("twcliui_build_info", "gauge", "The panel's version; always 1.",
             {{"version=\"" + escapeLabelValue(s.version) + '"', "1"}});
    return w.text();
}

} // namespace tw::fleet
