#pragma once
#include "app/Services.h"

#include <QObject>
#include <QString>

namespace tw::settings {

class SettingsWindow;

// Save To Registry: writes the settings window's entries and the five
// composed paths to the store, and pushes the values that the main window
// works with into its fields of the same names. The window stays open.
class SettingsSaver : public QObject {
    Q_OBJECT
public:
    explicit SettingsSaver(SettingsWindow& window);

    void SAVE_REGISTRY_BUTTON_Click();

    // Diagnostics key of a save in which a store write failed.
    static const QString SaveFailure;

private:
    SettingsWindow& window_;
    app::Services services_;
};

} // namespace tw::settings
