#include "settings/SettingsSaver.h"

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/Twips.h"
#include "settings/BatchComposer.h"
#include "settings/SettingsWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

namespace tw::settings {

const QString SettingsSaver::SaveFailure = QStringLiteral("settings-save");

SettingsSaver::SettingsSaver(SettingsWindow& window)
    : QObject(&window), window_(window), services_(window.services()) {
    connect(window_.SAVE_REGISTRY_BUTTON, &QPushButton::clicked, this,
            [this] { SAVE_REGISTRY_BUTTON_Click(); });
}

void SettingsSaver::SAVE_REGISTRY_BUTTON_Click() {
    SettingsWindow& w = window_;
    app::MainWindow& main = w.mainWindow();
    app::SettingsStore& store = services_.store;
    app::Diagnostics& diagnostics = services_.diagnostics;
    // One report of what was not saved, when the click is done; nothing at
    // all is written when the window's fields hold defaults because the
    // store could not be read when it opened.
    std::optional<app::SettingsStore::Batch> batch;
    batch.emplace(store, QStringLiteral("Save To Registry"), w.storeWasRead());
    const auto saveText = [&](const QLineEdit* field) {
        store.SaveSetting(field->objectName(), field->text());
    };
    const auto saveTick = [&](const QCheckBox* box) {
        store.saveTickState(box->objectName(), app::MainWindow::ticked(box));
    };

    // 1. Position.
    if (app::windowPositionsKnown()) {
        store.saveGeometry(QStringLiteral("SETTINGS-Left"), w.leftTwips());
        store.saveGeometry(QStringLiteral("SETTINGS-Top"), w.topTwips());
    }
    // 2.
    saveText(w.TW_CLI_UI_LOCATION_TEXTBOX);
    saveText(w.CONF_LOCATION_TEXTBOX);
    saveText(w.CLI_LOCATION_TEXTBOX);
    saveText(w.CLI_NAME_TEXTBOX);
    // 3.
    saveTick(w.DASH_DAEMON_TICKBOX);
    saveTick(w.DISABLE_DAEMON_TICKBOX);
    saveTick(w.UPDATE_EXTERNAL_FILE_TICKBOX);
    saveTick(w.RUN_COMMAND_TICKBOX);
    // 4.
    saveText(w.RUN_COMMAND_TEXTBOX);
    saveText(w.UPDATE_EXTERNAL_FILE_TEXTBOX);
    // 5, 6.
    saveTick(w.AlwaysOnTopTimer_TICKBOX);
    saveTick(w.P4P_TICKBOX);
    // 7.
    saveText(w.QT_EXE_TEXTBOX);
    saveText(w.DAEMON_EXE_TEXTBOX);

    // 8. The five full paths; each reads the folder, the separator and its
    // file name afresh.
    const auto compose = [&w](QLineEdit* target, const QLineEdit* fileName) {
        target->setText(fullPath(w.TW_CLI_UI_LOCATION_TEXTBOX->text(), w.BACKSLASH_TEXTBOX->text(),
                                 fileName->text()));
    };
    compose(w.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX, w.CLI_STOP_BAT_FILENAME_TEXTBOX);
    compose(w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX, w.CLI_GBC_BAT_FILENAME_TEXTBOX);
    compose(w.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX, w.CLI_GCC_BAT_FILENAME_TEXTBOX);
    compose(w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX, w.CLI_UI_GBC_LOG_TEXTBOX);
    compose(w.CLI_GCC_FULL_LOG_LOCATION_TEXTBOX, w.CLI_UI_GCC_LOG_TEXTBOX);
    w.markFullPathsComposed();

    // 9. Into the main window; its two tick boxes there have no click
    // behaviour.
    main.UPDATE_EXTERNAL_FILE_TICKBOX->setChecked(
        app::MainWindow::ticked(w.UPDATE_EXTERNAL_FILE_TICKBOX));
    main.UPDATE_EXTERNAL_FILE_TEXTBOX->setText(w.UPDATE_EXTERNAL_FILE_TEXTBOX->text());
    main.RUN_COMMAND_TICKBOX->setChecked(app::MainWindow::ticked(w.RUN_COMMAND_TICKBOX));
    main.RUN_COMMAND_TEXTBOX->setText(w.RUN_COMMAND_TEXTBOX->text());
    main.CLI_NAME_TEXTBOX->setText(w.CLI_NAME_TEXTBOX->text());
    main.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->setText(w.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->text());
    main.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->setText(w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX->text());
    main.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX->setText(w.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX->text());
    main.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->setText(w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX->text());
    main.CLI_GCC_FULL_LOG_LOCATION_TEXTBOX->setText(w.CLI_GCC_FULL_LOG_LOCATION_TEXTBOX->text());

    // 10.
    saveText(w.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX);
    saveText(w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX);
    saveText(w.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX);
    saveText(w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX);
    saveText(w.CLI_GCC_FULL_LOG_LOCATION_TEXTBOX);

    // 11.
    w.CLOSE_BUTTON->setText(SettingsWindow::tr("Close"));

    // 12.
    main.QT_EXE_TEXTBOX->setText(w.QT_EXE_TEXTBOX->text());
    main.DAEMON_EXE_TEXTBOX->setText(w.DAEMON_EXE_TEXTBOX->text());

    // The outcome of this click, on the button itself.
    const bool failed = !batch->commit();
    batch.reset();
    const QString control = w.SAVE_REGISTRY_BUTTON->objectName();
    if (failed) {
        const QString message =
            QStringLiteral("the settings were not all saved to the store (%1); the main window "
                           "uses them until it closes")
                .arg(services_.platform.settings.location());
        diagnostics.report(SaveFailure, control, message);
        w.SAVE_REGISTRY_BUTTON->setToolTip(message);
    } else {
        diagnostics.clear(SaveFailure);
        w.SAVE_REGISTRY_BUTTON->setToolTip(QString());
    }
}

} // namespace tw::settings
