#include "panel/Panel.h"

#include "app/MainWindow.h"
#include "app/TopMostKeeper.h"
#include "automation/Automation.h"
#include "health/HealthMonitor.h"
#include "health/HealthPanel.h"
#include "poll/ChainPoll.h"
#include "settings/SettingsWindow.h"

namespace tw::panel {

Panel::Panel(app::MainWindow& window, const app::Services& services, PanelOptions options)
    : window_(window), keeper_(new app::TopMostKeeper(window, services)),
      poll_(new poll::ChainPoll(window, services)),
      automation_(new automation::Automation(window, services)) {
    window.setSettingsWindowFactory(settings::settingsWindowFactory(services));

    // Beyond the two windows: every answer into the history file, the
    // node's health in the tray, and alerts.
    history_ = std::make_unique<health::History>(options.historyPath, services.diagnostics);
    health::connectHistory(*poll_, *history_, options.wallClock);
    monitor_ = std::make_unique<health::HealthMonitor>(services, options.wallClock);
    health::connectMonitor(*poll_, *monitor_);
    health_ = std::make_unique<health::HealthPanel>(window, services, *monitor_, history_->path(),
                                                    options.wallClock, options.icon);
}

Panel::~Panel() = default;

void Panel::load() {
    window_.load();
}

} // namespace tw::panel
