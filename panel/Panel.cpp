#include "panel/Panel.h"

#include "app/MainWindow.h"
#include "app/Services.h"
#include "app/SettingsStore.h"
#include "app/TopMostKeeper.h"
#include "automation/Automation.h"
#include "fleet/AlertDelivery.h"
#include "fleet/Metrics.h"
#include "fleet/MetricsFile.h"
#include "fleet/MetricsServer.h"
#include "health/HealthMonitor.h"
#include "health/HealthPanel.h"
#include "node/NodeQuery.h"
#include "panel/Instance.h"
#include "panel/NodesWindow.h"
#include "panel/SessionStop.h"

#include <QLineEdit>

#include "poll/ChainPoll.h"
#include "settings/SettingsWindow.h"
#include <QLineEdit>

namespace tw::panel {

Panel::Panel(app::MainWindow& window, const app::Services& services, PanelOptions options)
    : window_(window), keeper_(new app::TopMostKeeper(window, services)),
      poll_(new poll::ChainPoll(window, services)),
      automation_(new automation::Automation(window, services)), platform_(services.platform),
      program_(options.program), wallClock_(options.wallClock) {
    window.setSettingsWindowFactory(settings::settingsWindowFactory(services));

    // Beyond the two windows: every answer into the history file, the
    // node's health in the tray, and alerts.
    history_ = std::make_unique<health::History>(options.historyPath, services.diagnostics);
    health::connectHistory(*poll_, *history_, options.wallClock);
    monitor_ = std::make_unique<health::HealthMonitor>(services, options.wallClock);
    health::connectMonitor(*poll_, *monitor_);
    health_ =
        std::make_unique<health::HealthPanel>(window, services, *monitor_, history_->path(),
                                              options.wallClock, options.icon, options.autostart);
    // After each block-count answer, the node's whole state, asked with the
    // same client and arguments as the block-count batch line; what it says
    // goes to the monitor (tray, Node window, alerts) and the history.
    nodeQuery_ = std::make_unique<node::NodeQuery>(services.platform.starter,
                                                   services.platform.files, services.diagnostics);
    QObject::connect(poll_, &poll::ChainPoll::queryAnswered, nodeQuery_.get(),
                     [this, &window](bool blockCount, const QString&) {
                         if (blockCount)
                             nodeQuery_->ask(window.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->text());
                     });
    QObject::connect(nodeQuery_.get(), &node::NodeQuery::answered, monitor_.get(),
                     &health::HealthMonitor::nodeStateRead);
    QObject::connect(nodeQuery_.get(), &node::NodeQuery::answered, history_.get(),
                     [this](const node::NodeState& state) { history_->recordNodeState(state); });

    // For monitoring systems: the metrics served to Prometheus and written
    // for node_exporter after each answer, failure and state, as the
    // Alerts and monitoring settings say.
    const QString node = services.store.section();
    const auto metrics = [this, &window, node, &processes = services.platform.processes] {
        const std::optional<int> running =
            processes.countByImageName(window.CLI_NAME_TEXTBOX->text());
        return fleet::exposition(fleet::snapshotOf(
            *monitor_, node, running ? std::optional(*running > 0) : std::nullopt));
    };
    metricsServer_ = std::make_unique<fleet::MetricsServer>(services.diagnostics, metrics);
    metricsFile_ =
        std::make_unique<fleet::MetricsFile>(services.platform.files, services.diagnostics, node);
    // Alerts pushed to a webhook and to Alertmanager, as they are announced.
    delivery_ =
        std::make_unique<fleet::AlertDelivery>(services.diagnostics, node, options.wallClock);
    delivery_->setBlockCountSource([this] { return monitor_->blockCount(); });
    QObject::connect(monitor_.get(), &health::HealthMonitor::alertChanged, delivery_.get(),
                     &fleet::AlertDelivery::alertChanged);
    const auto apply = [this](const health::AlertSettings& settings) {
        metricsServer_->setListen(settings.metricsListen);
        metricsFile_->setFolder(settings.metricsFolder);
        delivery_->setWebhook(settings.webhook);
        delivery_->setAlertmanager(settings.alertmanagerUrl);
    };
    apply(monitor_->settings());
    QObject::connect(monitor_.get(), &health::HealthMonitor::settingsChanged, metricsServer_.get(),
                     apply);
    const auto writeFile = [this, metrics] {
        if (!metricsFile_->path().isEmpty()) // off: not even the metrics' process look
            metricsFile_->write(metrics());
    };
    QObject::connect(poll_, &poll::ChainPoll::queryAnswered, metricsServer_.get(), writeFile);
    QObject::connect(poll_, &poll::ChainPoll::queryFailed, metricsServer_.get(), writeFile);
    QObject::connect(nodeQuery_.get(), &node::NodeQuery::answered, metricsServer_.get(), writeFile);

    // The node stopped before the session or the machine ends, when the
    // settings ask for it; the end's watch is handed in by Ending.
    sessionStop_ = new SessionStop(window, services, *monitor_);

    // This configuration's panel answers others: the Nodes window of another
    // panel asks whether it runs and brings it to the front.
    instance_ = options.instance ? options.instance : std::make_shared<Instance>(node);
    QObject::connect(instance_.get(), &Instance::raiseRequested, health_.get(),
                     &health::HealthPanel::showPanel);
    QObject::connect(health_.get(), &health::HealthPanel::nodesRequested, health_.get(),
                     [this] { showNodes(); });
}

Panel::~Panel() {
    delete nodes_.data();
}

NodesWindow* Panel::showNodes() {
    if (!nodes_) {
        nodes_ =
            new NodesWindow(platform_, window_.services().store.section(), program_, wallClock_);
        nodes_->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(nodes_, &NodesWindow::showOwnPanel, health_.get(),
                         &health::HealthPanel::showPanel);
    }
    nodes_->show();
    nodes_->raise();
    nodes_->activateWindow();
    return nodes_;
}

void Panel::load() {
    window_.load();
}

} // namespace tw::panel
