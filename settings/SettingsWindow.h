#pragma once
#include "app/MainWindow.h"
#include "app/Services.h"

#include <QDialog>

namespace tw::settings {

// TW_CLI_UI_SETTINGS: created afresh at each opening, modal, owned by the
// main window.
class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    SettingsWindow(app::MainWindow& owner, const app::Services& services);

private:
    app::MainWindow& main_;
    app::Services services_;
};

// What the main window's Settings button opens.
app::MainWindow::SettingsWindowFactory settingsWindowFactory(const app::Services& services);

} // namespace tw::settings
