#include "settings/SettingsWindow.h"

namespace tw::settings {

SettingsWindow::SettingsWindow(app::MainWindow& owner, const app::Services& services)
    : QDialog(&owner), main_(owner), services_(services) {
    setObjectName(QStringLiteral("TW_CLI_UI_SETTINGS"));
    setWindowTitle(QStringLiteral("TARN-WICK - TW-CLI-UI - SETTINGS"));
}

app::MainWindow::SettingsWindowFactory settingsWindowFactory(const app::Services& services) {
    return [services](app::MainWindow& owner) -> std::unique_ptr<QDialog> {
        return std::make_unique<SettingsWindow>(owner, services);
    };
}

} // namespace tw::settings
