#pragma once
// The composition of the program: the main window's subsystems, built around
// it and wired in the one order that works. The program (main.cpp), the
// tests' rig and the demo's configurer all build the panel through this, so
// that no test can pass on wiring the shipped program lacks.

#include "health/History.h"

#include <QIcon>
#include <QPointer>
#include <QString>

#include <memory>

namespace tw::platform {
struct Platform;
class Autostart;
} // namespace tw::platform
namespace tw::app {
class MainWindow;
class TopMostKeeper;
struct Services;
} // namespace tw::app
namespace tw::poll {
class ChainPoll;
}
namespace tw::automation {
class Automation;
}
namespace tw::health {
class HealthMonitor;
class HealthPanel;
} // namespace tw::health
namespace tw::node {
class NodeQuery;
}
namespace tw::fleet {
class AlertDelivery;
class MetricsServer;
class MetricsFile;
} // namespace tw::fleet
namespace tw::panel {
class Instance;
class NodesWindow;
class SessionStop;
} // namespace tw::panel

namespace tw::panel {

struct PanelOptions {
    // The history file (health::history::pathFor the platform, or a test's).
    QString historyPath;
    // Wall-clock time for the history and the tooltip (UTC ms since the
    // epoch); the tests give the virtual clock.
    health::WallClock wallClock;
    // The tray icon's picture.
    QIcon icon;
    // This panel's own program file, beside which the Nodes window looks
    // for the other configurations' programs.
    QString program;
    // Whether this configuration starts at login (the tray's entry).
    platform::Autostart& autostart;
    // The configuration's socket as the program's start claimed it
    // (Instance::claim); null: the panel listens on its own.
    std::shared_ptr<Instance> instance = {};
};

class Panel {
public:
    // Builds the top-most keeper, the polls, the automation, the settings
    // window's factory, the history, the health monitor and the tray around
    // `window`; each connects its handlers to the window's controls.
    Panel(app::MainWindow& window, const app::Services& services, PanelOptions options);
    ~Panel();
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // The window's load, run once, after every handler is connected:
    // restoring a ticked tick box runs its click handling.
    void load();

    app::MainWindow& window() const { return window_; }
    app::TopMostKeeper& keeper() const { return *keeper_; }
    poll::ChainPoll& poll() const { return *poll_; }
    automation::Automation& automation() const { return *automation_; }
    health::History& history() const { return *history_; }
    health::HealthMonitor& monitor() const { return *monitor_; }
    health::HealthPanel& health() const { return *health_; }
    node::NodeQuery& nodeQuery() const { return *nodeQuery_; }
    fleet::MetricsServer& metricsServer() const { return *metricsServer_; }
    fleet::MetricsFile& metricsFile() const { return *metricsFile_; }
    fleet::AlertDelivery& alertDelivery() const { return *delivery_; }
    Instance& instance() const { return *instance_; }
    // The node's stop before the session's end (Ending hands it the
    // platform's watch).
    SessionStop& sessionStop() const { return *sessionStop_; }
    // Opens (or raises) the Nodes window; the same window every time.
    NodesWindow* showNodes();

private:
    app::MainWindow& window_;
    // Owned by the window (QObject children): they live as long as it does.
    app::TopMostKeeper* keeper_;
    poll::ChainPoll* poll_;
    automation::Automation* automation_;
    std::unique_ptr<health::History> history_;
    std::unique_ptr<health::HealthMonitor> monitor_;
    std::unique_ptr<health::HealthPanel> health_;
    std::unique_ptr<node::NodeQuery> nodeQuery_;
    std::unique_ptr<fleet::MetricsServer> metricsServer_;
    std::unique_ptr<fleet::MetricsFile> metricsFile_;
    std::unique_ptr<fleet::AlertDelivery> delivery_;
    std::shared_ptr<Instance> instance_;
    SessionStop* sessionStop_; // the window's child
    QPointer<NodesWindow> nodes_;
    platform::Platform& platform_;
    QString program_;
    health::WallClock wallClock_;
};

} // namespace tw::panel
