#pragma once
// The panel's view of its node as Prometheus metrics: a plain snapshot of
// what the health monitor knows, and that snapshot in Prometheus's text
// exposition format (version 0.0.4), for the metrics endpoint and for
// node_exporter's textfile collector alike.

#include "node/NodeState.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace tw::health {
class HealthMonitor;
}

namespace tw::fleet {

struct MetricsSnapshot {
    QString node;    // the configuration's name: the `node` label of every sample
    QString version; // the panel's version, for twcliui_build_info
    bool up = false; // the last finished query answered
    std::optional<qint64> blockCount;
    // getconnectioncount's answer, else the peers the node's state counts
    std::optional<qint64> connections;
    node::NodeState state;
    // Wall-clock milliseconds since the epoch.
    std::optional<qint64> lastBlocksAnswerMs;
    std::optional<qint64> lastConnectionsAnswerMs;
    std::optional<qint64> lastBlockChangeMs;
    qint64 blocksFailures = 0;
    qint64 connectionsFailures = 0;
    std::optional<bool> cliRunning; // unknown: the process check is off
    bool stalled = false;
    bool notAnswering = false;
    bool warning = false;

    friend bool operator==(const MetricsSnapshot&, const MetricsSnapshot&) = default;
};

// The panel's version, as the build names it.
QString panelVersion();

// What `monitor` knows now, for the node named `node`; `cliRunning` is the
// process check's last word (nullopt when it is off or has not looked yet).
// The block count is the query's last number, else the node state's.
MetricsSnapshot snapshotOf(const health::HealthMonitor& monitor, const QString& node,
                           std::optional<bool> cliRunning);

// The snapshot in the text exposition format 0.0.4: UTF-8, LF line ends
// (the last line too), # HELP and # TYPE before each metric's samples, and
// the `node` label on every sample. What is unknown is left out, never
// written as 0; a metric without samples is left out whole, HELP and TYPE
// included.
QByteArray exposition(const MetricsSnapshot& snapshot);

// A label value as the format writes it between double quotes: backslash,
// double quote and line feed escaped.
QByteArray escapeLabelValue(const QString& value);

// The media type of the format, for the endpoint's Content-Type.
inline constexpr char ExpositionContentType[] = "text/plain; version=0.0.4; charset=utf-8";

} // namespace tw::fleet
