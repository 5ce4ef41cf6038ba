#pragma once
// Opening the settings window in behaviour tests: either directly (shown,
// not modal) over a started test rig, or through the main window's Settings
// button, with the checks run inside the modal loop.

#include "app/MainWindow.h"
#include "settings/SettingsWindow.h"
#include "tests/support/TestRig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace tw::test {

// The settings window over the rig's started main window, shown (offscreen)
// but not modal. Declare it after the rig, so that it goes first.
inline std::unique_ptr<settings::SettingsWindow> openSettings(TestRig& rig) {
    auto window = std::make_unique<settings::SettingsWindow>(rig.window(), rig.services);
    window->show();
    return window;
}

// Click the main window's Settings button; `inside` runs in the modal loop
// with the open settings window and must close it. Returns whether a
// settings window was open at all.
inline bool throughSettingsButton(TestRig& rig,
                                  const std::function<void(settings::SettingsWindow&)>& inside) {
    bool opened = false;
    QTimer::singleShot(0, &rig.window(), [&] {
        auto* window = qobject_cast<settings::SettingsWindow*>(rig.window().openSettingsWindow());
        if (!window)
            return;
        opened = true;
        inside(*window);
        // A check that failed must not leave the loop running.
        if (window->isVisible())
            window->CLOSE_BUTTON->click();
    });
    rig.button(QStringLiteral("SETTINGS_BUTTON"))->click();
    return opened;
}

// The generated lines as shown.
inline QString stopLine(const settings::SettingsWindow& w) {
    return w.TWCLI_STOP_COMMAND_TEXTBOX->toPlainText();
}
inline QString blockCountLine(const settings::SettingsWindow& w) {
    return w.TWCLI_GBC_COMMAND_TEXTBOX->toPlainText();
}
inline QString connectionCountLine(const settings::SettingsWindow& w) {
    return w.TWCLI_GCC_COMMAND_TEXTBOX->toPlainText();
}

} // namespace tw::test
