#pragma once
#include "app/MainWindow.h"
#include "app/Services.h"

#include <QDialog>
#include <QPoint>
#include <QSet>

#include <utility>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tw::app {
class WindowTimer;
}

namespace tw::settings {

class BatchComposer;
class SettingsSaver;

// TW_CLI_UI_SETTINGS: created afresh at each opening, modal, owned by the
// main window. Like the main window it is a form: every control is a public
// member named as the control, and the handlers read the controls at the
// moment they act. The constructor builds the controls in their design
// state, connects the handlers and runs the load sequence.
//
// The window can be enlarged: below the button row lies the lower band with
// the fixed pieces of the command lines, the daemon option and the five full
// paths, which the user may see and edit for the rest of the opening.
class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int DefaultLeft = 1000;
    static constexpr int DefaultTop = 1000;
    static constexpr int DefaultWidth = 12105;
    static constexpr int DefaultHeight = 8295;
    static constexpr int DesignClientWidth = 12015;
    static constexpr int DesignClientHeight = 12090;
    static constexpr int LowerBandTop = 8880;
    static constexpr int ComposerIntervalMs = 1000;

    static const QString Caption;
    static const QString CreditText;
    static const QString LicenceText;
    static const QString ContactAddress;

    SettingsWindow(app::MainWindow& owner, const app::Services& services);
    ~SettingsWindow() override;

    app::MainWindow& mainWindow() const { return main_; }
    const app::Services& services() const { return services_; }

    // The window's outer left and top edges, in twips.
    double leftTwips() const;
    double topTwips() const;

    // Whether a full-path field holds a path that the user typed or that
    // Save To Registry composed in this opening (rather than its initial
    // text, the field's own name).
    bool holdsFullPath(const QLineEdit* field) const;
    void markFullPathsComposed() { fullPathsComposed_ = true; }

    // Header.
    QLabel* TARN_WICK_TITLE;
    QLabel* CLI_UI_TITLE;
    QLabel* TW_QTD_VERSION;
    QLabel* TW_CLI_UI_CREATOR;
    QLabel* TW_CLI_UI_LICENCE;

    // Folders, names and options.
    QLabel* TW_CLI_UI_FOLDER_LABEL;
    QLineEdit* TW_CLI_UI_LOCATION_TEXTBOX;
    QLabel* CLI_LOCATION_LABEL;
    QLineEdit* CLI_LOCATION_TEXTBOX;
    QLabel* CONF_LOCATION_LABEL;
    QLineEdit* CONF_LOCATION_TEXTBOX;
    QLabel* DAEMOND_NAME_LABEL;
    QLineEdit* CLI_NAME_TEXTBOX;
    QCheckBox* DASH_DAEMON_TICKBOX;
    QCheckBox* DISABLE_DAEMON_TICKBOX;
    QCheckBox* UPDATE_EXTERNAL_FILE_TICKBOX;
    QLineEdit* UPDATE_EXTERNAL_FILE_TEXTBOX;
    QCheckBox* RUN_COMMAND_TICKBOX;
    QLineEdit* RUN_COMMAND_TEXTBOX;
    QCheckBox* P4P_TICKBOX;
    QLabel* QT_EXE_LABEL;
    QLineEdit* QT_EXE_TEXTBOX;
    QLabel* Label1;
    QLineEdit* DAEMON_EXE_TEXTBOX;

    // The generated command lines.
    QLabel* TWCLI_STOP_COMMAND_LABEL;
    QPlainTextEdit* TWCLI_STOP_COMMAND_TEXTBOX;
    QLabel* TWCLI_GBC_COMMAND_LABEL;
    QPlainTextEdit* TWCLI_GBC_COMMAND_TEXTBOX;
    QLabel* TWCLI_GCC_COMMAND_LABEL;
    QPlainTextEdit* TWCLI_GCC_COMMAND_TEXTBOX;

    // Button row.
    QLabel* EXE_FILENAME_HELP_LABEL;
    QPushButton* SAVE_REGISTRY_BUTTON;
    QPushButton* SAVE_BATS_BUTTON;
    QCheckBox* AlwaysOnTopTimer_TICKBOX;
    QPushButton* CLOSE_BUTTON;

    // Separator lines.
    QFrame* Line1;
    QFrame* Line2;
    QFrame* Line3;
    QFrame* Line4;
    QFrame* Line5;
    QFrame* Line6;

    // Lower band: the warning, the fixed pieces, the derived fields.
    QLabel* Label2;
    QLineEdit* BACKSLASH_TEXTBOX;
    QLineEdit* SPACEBAR_TEXTBOX;
    QLineEdit* SM_TB;
    QLineEdit* CALL_COMMAND_TEXTBOX;
    QLineEdit* DASH_CONF_TEXTBOX;
    QLineEdit* STOP_CMD_TEXTBOX;
    QLineEdit* GBC_ARROW_TEXTBOX;
    QLineEdit* GCC_ARROW_TEXTBOX;
    QLineEdit* CLI_STOP_BAT_FILENAME_TEXTBOX;
    QLineEdit* CLI_GBC_BAT_FILENAME_TEXTBOX;
    QLineEdit* CLI_GCC_BAT_FILENAME_TEXTBOX;
    QLineEdit* CLI_UI_GBC_LOG_TEXTBOX;
    QLineEdit* CLI_UI_GCC_LOG_TEXTBOX;
    QLineEdit* DASH_DISABLE_DAEMON_EQUALS_TEXTBOX;
    QLineEdit* CLI_STOP_BAT_FULL_LOCATION_TEXTBOX;
    QLineEdit* CLI_GBC_FULL_BAT_LOCATION_TEXTBOX;
    QLineEdit* CLI_GCC_FULL_BAT_LOCATION_TEXTBOX;
    QLineEdit* CLI_GBC_FULL_LOG_LOCATION_TEXTBOX;
    QLineEdit* CLI_GCC_FULL_LOG_LOCATION_TEXTBOX;

    // The composer's timers; they die with the window.
    app::WindowTimer* CLI_STOP_BAT_COMMAND_TIMER;
    app::WindowTimer* CLI_GBC_BAT_COMMAND_TIMER;
    app::WindowTimer* CLI_GCC_BAT_COMMAND_TIMER;

    // Handlers of this window. The save buttons and the composer timers are
    // handled by the composer and the saver (see BatchComposer.h and
    // SettingsSaver.h), which connect themselves when the window is built.
    void Form_Load();
    void DASH_DAEMON_TICKBOX_Click();
    void DISABLE_DAEMON_TICKBOX_Click();
    void UPDATE_EXTERNAL_FILE_TICKBOX_Click();
    void RUN_COMMAND_TICKBOX_Click();
    void P4P_TICKBOX_Click();
    void AlwaysOnTopTimer_TICKBOX_Click();
    void TW_CLI_UI_CREATOR_Click();
    void CLOSE_BUTTON_Click();

    BatchComposer& composer() const { return *composer_; }
    SettingsSaver& saver() const { return *saver_; }

    // Every way the window closes ends here (the window system's close,
    // CLOSE_BUTTON); Escape does not close it.
    void done(int result) override;
    // Whether the load found the store readable: only then do Save To
    // Registry and the close write to it.
    bool storeWasRead() const { return storeWasRead_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void Form_Unload();

    app::MainWindow& main_;
    app::Services services_;
    BatchComposer* composer_ = nullptr;
    SettingsSaver* saver_ = nullptr;
    bool fullPathsComposed_ = false;
    QSet<const QLineEdit*> editedFullPaths_;
    bool unloaded_ = false;
    bool storeWasRead_ = true;
    QPoint placedAt_;
    std::pair<double, double> placedTwips_;
};

// What the main window's Settings button opens.
app::MainWindow::SettingsWindowFactory settingsWindowFactory(const app::Services& services);

} // namespace tw::settings
