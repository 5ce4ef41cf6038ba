#pragma once
#include "app/Services.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tw::app {

class WindowTimer;

// The main window, TW_CLI_UI_MAIN. Its controls are the program's state:
// handlers of every subsystem read and set them by these names at the moment
// they act. The window itself knows nothing of the subsystems; each of them
// connects its handlers to these controls and timers when it is built.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultLeft = 1000;
    static constexpr int DefaultTop = 1000;
    static constexpr int DefaultWidth = 5280;
    static constexpr int DefaultHeight = 4275;
    static constexpr int DesignClientWidth = 5190;
    static constexpr int DesignClientHeight = 11700;
    // Where the automation countdown starts, after the load and after START.
    static constexpr int CountdownStart = 11;
    // The captions of START_STOP_BUTTON, in the user's language.
    static QString startCaption();
    static QString stopCaption();

    // Builds the settings window, owned by the main window; opened modally.
    using SettingsWindowFactory = std::function<std::unique_ptr<QDialog>(MainWindow& owner)>;

    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up (load) handler: runs once, before the window is shown.
    void load();

    void setSettingsWindowFactory(SettingsWindowFactory factory);
    // The settings window while it is open (else null).
    QDialog* openSettingsWindow() const { return settingsWindow_; }

    const Services& services() const { return services_; }
    // The executable's name: the section of the store.
    QString executableName() const;
    bool hasClosed() const { return closed_; }
    // Whether the load found the store readable (and so holds the user's
    // values, which its close may write back).
    bool storeWasRead() const { return storeWasRead_; }

    // The window's outer left and top edges, in twips.
    double leftTwips() const;
    double topTwips() const;

    // Whether the state of a tick box is 1.
    static bool ticked(const QCheckBox* box);

    // Upper band.
    QLabel* TW_CLI_UI_TITLE;
    QLabel* APP_EXE_NAME_LABEL;
    QCheckBox* AUTOSTART_TICKBOX;
    QCheckBox* AlwaysOnTopTimer_TICKBOX;
    QCheckBox* CLI_STOP_BAT_TICKBOX;
    QCheckBox* AUTOCLOSE_TIMER_TICKBOX;
    QCheckBox* CLI_GBC_BAT_TICKBOX;
    QCheckBox* CLI_GCC_BAT_TICKBOX;
    QPushButton* GETBLOCKCOUNT_BUTTON;
    QLabel* CURRENT_BLOCK_LABEL;
    QLineEdit* CURRENT_BLOCK_TEXTBOX;
    QPushButton* GETCONNECTIONCOUNT_BUTTON;
    QLabel* Label1;
    QLineEdit* CONNECTIONS_TEXTBOX;
    QLabel* PROCESS_ACTIVE_LABEL;
    QPushButton* SETTINGS_BUTTON;
    QPushButton* SHUTDOWN_BUTTON;
    QLineEdit* AUTORUN_TIMER_TEXTBOX;
    QPushButton* START_STOP_BUTTON;
    QCheckBox* P4P_TICKBOX;
    QLineEdit* QT_EXE_TEXTBOX;
    QLineEdit* DAEMON_EXE_TEXTBOX;

    // Lower band: the mirror fields.
    QLineEdit* CLI_NAME_TEXTBOX;
    QCheckBox* UPDATE_EXTERNAL_FILE_TICKBOX;
    QLineEdit* UPDATE_EXTERNAL_FILE_TEXTBOX;
    QCheckBox* RUN_COMMAND_TICKBOX;
    QLineEdit* RUN_COMMAND_TEXTBOX;
    QLineEdit* CLI_STOP_BAT_FULL_LOCATION_TEXTBOX;
    QLineEdit* CLI_GBC_FULL_BAT_LOCATION_TEXTBOX;
    QLineEdit* CLI_GCC_FULL_BAT_LOCATION_TEXTBOX;
    QLineEdit* CLI_GBC_FULL_LOG_LOCATION_TEXTBOX;
    QLineEdit* CLI_GCC_FULL_LOG_LOCATION_TEXTBOX;

    // Timers, in the order they were created (ties tick in this order).
    WindowTimer* AlwaysOnTopTimer;
    WindowTimer* COUNTDOWN_TIMER;
    WindowTimer* CLI_PROCESS_WATCHER_TIMER;
    WindowTimer* GETBLOCKCOUNT_COMMAND_TIMER;
    WindowTimer* GETCONNECTIONCOUNT_COMMAND_TIMER;
    WindowTimer* UNLOAD_TIMER;
    WindowTimer* GET_LOOP_TIMER;
    WindowTimer* P4P_END_TIMER;

    // The automation countdown, in whole seconds; may go below zero.
    int COUNTDOWN_REMAINING = 0;

    // The automation controls' interlock states, shared by the load and by
    // START/STOP.
    // A cycle is counting down: the manual buttons and the automation tick
    // boxes greyed, the countdown timer on, the caption "STOP".
    void showCounting();
    // Ready to start by hand: all of them enabled, the countdown timer off,
    // the caption "START".
    void showIdle();
    // No cycle has anything to do (no query or stop tick box ticked): the
    // caption "START", Auto Start and Auto Close greyed and cleared.
    void showNothingToRun();

    // Handlers of this window.
    void AUTOSTART_TICKBOX_Click();
    void AUTOCLOSE_TIMER_TICKBOX_Click();
    void SETTINGS_BUTTON_Click();

signals:
    // The close handler has run: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void showFailure(const QString& control, const QString& message);
    void clearFailure(const QString& control);

    Services services_;
    SettingsWindowFactory settingsFactory_;
    QDialog* settingsWindow_ = nullptr;
    bool closed_ = false;
    // Whether the load read the user's values (else it ran on defaults).
    bool storeWasRead_ = true;
    // Where the load placed the window, so that a window that was not moved
    // writes back exactly the twips it was given (no rounding drift).
    QPoint loadedPixels_;
    double loadedLeftTwips_ = DefaultLeft;
    double loadedTopTwips_ = DefaultTop;
};

} // namespace tw::app
