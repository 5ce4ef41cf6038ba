#include "settings/SettingsWindow.h"

#include "app/Colours.h"
#include "app/KeyboardRules.h"
#include "app/SettingsStore.h"
#include "app/Twips.h"
#include "app/WindowTimer.h"
#include "settings/BatchComposer.h"
#include "settings/SettingsSaver.h"

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace tw::settings {

const QString SettingsWindow::Caption =
    QStringLiteral(QT_TRANSLATE_NOOP("SettingsWindow", "TARN-WICK - TW-CLI-UI - SETTINGS"));
const QString SettingsWindow::CreditText =
    QStringLiteral(QT_TRANSLATE_NOOP("SettingsWindow", "By the TW-CLI-UI contributors"));
const QString SettingsWindow::LicenceText =
    QStringLiteral(QT_TRANSLATE_NOOP("SettingsWindow", "MIT Licence"));
const QString SettingsWindow::ContactAddress = QStringLiteral("tw-cli-ui@users.noreply.github.com");

namespace {

bool ticked(const QCheckBox* box) {
    return app::MainWindow::ticked(box);
}

const QString NoDaemonOption;
const QString DaemonOn = QStringLiteral(" -daemon=1");
const QString DaemonWalletOff = QStringLiteral(" -daemon=0");

} // namespace

SettingsWindow::SettingsWindow(app::MainWindow& owner, const app::Services& services)
    : QDialog(&owner), main_(owner), services_(services) {
    setObjectName(QStringLiteral("TW_CLI_UI_SETTINGS"));
    setWindowTitle(tr(Caption.toUtf8().constData()));
    buildControls();
    // The lower band lies below the button row: enlarging the window shows it.
    setSizeGripEnabled(true);
    setMaximumSize(app::twipsToPixels(DesignClientWidth), app::twipsToPixels(DesignClientHeight));
    app::KeyboardRules::install(this);

    app::Scheduler& scheduler = services_.scheduler;
    CLI_STOP_BAT_COMMAND_TIMER =
        scheduler.createTimer(QStringLiteral("CLI_STOP_BAT_COMMAND_TIMER"), this);
    CLI_GBC_BAT_COMMAND_TIMER =
        scheduler.createTimer(QStringLiteral("CLI_GBC_BAT_COMMAND_TIMER"), this);
    CLI_GCC_BAT_COMMAND_TIMER =
        scheduler.createTimer(QStringLiteral("CLI_GCC_BAT_COMMAND_TIMER"), this);

    // Tick boxes act on every real change of state, by the user or by code.
    connect(DASH_DAEMON_TICKBOX, &QCheckBox::toggled, this,
            [this] { DASH_DAEMON_TICKBOX_Click(); });
    connect(DISABLE_DAEMON_TICKBOX, &QCheckBox::toggled, this,
            [this] { DISABLE_DAEMON_TICKBOX_Click(); });
    connect(UPDATE_EXTERNAL_FILE_TICKBOX, &QCheckBox::toggled, this,
            [this] { UPDATE_EXTERNAL_FILE_TICKBOX_Click(); });
    connect(RUN_COMMAND_TICKBOX, &QCheckBox::toggled, this,
            [this] { RUN_COMMAND_TICKBOX_Click(); });
    connect(P4P_TICKBOX, &QCheckBox::toggled, this, [this] { P4P_TICKBOX_Click(); });
    connect(AlwaysOnTopTimer_TICKBOX, &QCheckBox::toggled, this,
            [this] { AlwaysOnTopTimer_TICKBOX_Click(); });
    connect(CLOSE_BUTTON, &QPushButton::clicked, this, [this] { CLOSE_BUTTON_Click(); });
    TW_CLI_UI_CREATOR->installEventFilter(this);
    // A full path typed by the user is used as typed.
    for (QLineEdit* field : {CLI_STOP_BAT_FULL_LOCATION_TEXTBOX, CLI_GBC_FULL_BAT_LOCATION_TEXTBOX,
                             CLI_GCC_FULL_BAT_LOCATION_TEXTBOX, CLI_GBC_FULL_LOG_LOCATION_TEXTBOX,
                             CLI_GCC_FULL_LOG_LOCATION_TEXTBOX}) {
        connect(field, &QLineEdit::textEdited, this,
                [this, field] { editedFullPaths_.insert(field); });
    }
    composer_ = new BatchComposer(*this);
    saver_ = new SettingsSaver(*this);

    Form_Load();
}

SettingsWindow::~SettingsWindow() = default;

// A position in twips falls between two pixels: while the window stands
// where the load placed it, its position is the one it was given.
double SettingsWindow::leftTwips() const {
    const int pixels = frameGeometry().left();
    return pixels == placedAt_.x() ? placedTwips_.first : app::pixelsToTwips(pixels);
}

double SettingsWindow::topTwips() const {
    const int pixels = frameGeometry().top();
    return pixels == placedAt_.y() ? placedTwips_.second : app::pixelsToTwips(pixels);
}

bool SettingsWindow::holdsFullPath(const QLineEdit* field) const {
    return fullPathsComposed_ || editedFullPaths_.contains(field);
}

void SettingsWindow::Form_Load() {
    app::SettingsStore& store = services_.store;
    const quint64 unreadableBefore = store.unreadableReads();

    // 1. Place the window; the stored sizes are outer sizes.
    const double left = store.geometry(QStringLiteral("SETTINGS-Left"), DefaultLeft);
    const double top = store.geometry(QStringLiteral("SETTINGS-Top"), DefaultTop);
    const double width = store.geometry(QStringLiteral("SETTINGS-Width"), DefaultWidth);
    const double height = store.geometry(QStringLiteral("SETTINGS-Height"), DefaultHeight);
    placedAt_ = QPoint(app::twipsToPixels(left), app::twipsToPixels(top));
    placedTwips_ = {left, top};
    move(placedAt_);
    resize(std::max(1, app::twipsToPixels(width - app::FrameWidthTwips)),
           std::max(1, app::twipsToPixels(height - app::FrameHeightTwips)));

    const auto restoreText = [&store](QLineEdit* field) {
        field->setText(store.GetSetting(field->objectName(), QString()));
    };
    // A restored tick runs its click behaviour here, before the next step.
    const auto restoreTick = [&store](QCheckBox* box, int defaultState = 0) {
        box->setChecked(store.tickState(box->objectName(), defaultState) == 1);
    };

    // 2.
    DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->setText(NoDaemonOption);
    // 3.
    restoreText(TW_CLI_UI_LOCATION_TEXTBOX);
    restoreText(CONF_LOCATION_TEXTBOX);
    restoreText(CLI_LOCATION_TEXTBOX);
    restoreText(CLI_NAME_TEXTBOX);
    // 4. "Disabled" only ever comes ticked with "Daemon": a stored "Disabled"
    // without "Daemon" (only by editing the store) would grey both boxes for
    // good, so it is left clear.
    restoreTick(DASH_DAEMON_TICKBOX);
    if (ticked(DASH_DAEMON_TICKBOX))
        restoreTick(DISABLE_DAEMON_TICKBOX);
    restoreTick(UPDATE_EXTERNAL_FILE_TICKBOX);
    restoreTick(RUN_COMMAND_TICKBOX);
    // 5.
    restoreText(RUN_COMMAND_TEXTBOX);
    restoreText(UPDATE_EXTERNAL_FILE_TEXTBOX);
    // 6. Ticked at design: only a stored 0 runs its click behaviour.
    restoreTick(AlwaysOnTopTimer_TICKBOX, 1);
    // 7.
    restoreTick(P4P_TICKBOX);
    // 8.
    restoreText(QT_EXE_TEXTBOX);
    restoreText(DAEMON_EXE_TEXTBOX);
    // Fields that show defaults because the store could not be read are
    // never saved over the user's values.
    storeWasRead_ = store.unreadableReads() == unreadableBefore;

    // 9. The composer; its first tick comes one interval after the load.
    for (app::WindowTimer* timer :
         {CLI_STOP_BAT_COMMAND_TIMER, CLI_GBC_BAT_COMMAND_TIMER, CLI_GCC_BAT_COMMAND_TIMER}) {
        timer->setInterval(ComposerIntervalMs);
        timer->setEnabled(true);
    }

    // 10, 11. Editability of the action boxes; their colour is left alone.
    for (const auto& [box, field] :
         {std::pair{UPDATE_EXTERNAL_FILE_TICKBOX, UPDATE_EXTERNAL_FILE_TEXTBOX},
          std::pair{RUN_COMMAND_TICKBOX, RUN_COMMAND_TEXTBOX}}) {
        const bool on = ticked(box);
        field->setEnabled(on);
        field->setReadOnly(!on);
    }

    // 12.
    const bool names = ticked(P4P_TICKBOX);
    QT_EXE_TEXTBOX->setReadOnly(!names);
    DAEMON_EXE_TEXTBOX->setReadOnly(!names);
    QT_EXE_TEXTBOX->setEnabled(names);
    DAEMON_EXE_TEXTBOX->setEnabled(names);
}

void SettingsWindow::DASH_DAEMON_TICKBOX_Click() {
    if (ticked(DASH_DAEMON_TICKBOX)) {
        DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->setText(DaemonOn);
        DISABLE_DAEMON_TICKBOX->setEnabled(true);
    } else {
        DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->setText(NoDaemonOption);
        DISABLE_DAEMON_TICKBOX->setEnabled(false);
        DISABLE_DAEMON_TICKBOX->setChecked(false);
    }
}

void SettingsWindow::DISABLE_DAEMON_TICKBOX_Click() {
    if (ticked(DISABLE_DAEMON_TICKBOX)) {
        DASH_DAEMON_TICKBOX->setEnabled(false);
        DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->setText(DaemonWalletOff);
    } else {
        DASH_DAEMON_TICKBOX->setEnabled(true);
        DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->setText(DaemonOn);
    }
}

namespace {

// An action's text box: editable on the window's background while its tick
// box is ticked, else greyed, locked and light grey. Its text stays.
void unlockAction(QLineEdit* field, bool on) {
    field->setEnabled(on);
    field->setReadOnly(!on);
    app::setBackground(field, on ? app::colour::windowBackground() : app::colour::LightGrey);
}

} // namespace

void SettingsWindow::UPDATE_EXTERNAL_FILE_TICKBOX_Click() {
    unlockAction(UPDATE_EXTERNAL_FILE_TEXTBOX, ticked(UPDATE_EXTERNAL_FILE_TICKBOX));
}

void SettingsWindow::RUN_COMMAND_TICKBOX_Click() {
    unlockAction(RUN_COMMAND_TEXTBOX, ticked(RUN_COMMAND_TICKBOX));
}

void SettingsWindow::P4P_TICKBOX_Click() {
    const bool on = ticked(P4P_TICKBOX);
    QT_EXE_TEXTBOX->setReadOnly(!on);
    DAEMON_EXE_TEXTBOX->setReadOnly(!on);
    QT_EXE_TEXTBOX->setEnabled(on);
    DAEMON_EXE_TEXTBOX->setEnabled(on);
}

void SettingsWindow::AlwaysOnTopTimer_TICKBOX_Click() {
    // The keeper is the main window's timer; its tick box there shows it.
    if (ticked(AlwaysOnTopTimer_TICKBOX)) {
        main_.AlwaysOnTopTimer->setEnabled(true);
        main_.AlwaysOnTopTimer_TICKBOX->setChecked(true);
    } else {
        main_.AlwaysOnTopTimer->setEnabled(false);
        main_.AlwaysOnTopTimer_TICKBOX->setChecked(false);
    }
}

void SettingsWindow::TW_CLI_UI_CREATOR_Click() {
    TW_CLI_UI_CREATOR->setText(ContactAddress);
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == TW_CLI_UI_CREATOR && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        TW_CLI_UI_CREATOR_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void SettingsWindow::CLOSE_BUTTON_Click() {
    CLI_STOP_BAT_COMMAND_TIMER->setEnabled(false);
    CLI_GBC_BAT_COMMAND_TIMER->setEnabled(false);
    CLI_GCC_BAT_COMMAND_TIMER->setEnabled(false);
    close();
}

void SettingsWindow::keyPressEvent(QKeyEvent* event) {
    // Escape would drop every unsaved edit at one stray key: only
    // Cancel/Close and the window's own close command close the window.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SettingsWindow::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void SettingsWindow::Form_Unload() {
    // Once per opening, however the window closes; it cannot refuse.
    if (unloaded_)
        return;
    unloaded_ = true;
    // A closed window composes nothing more.
    CLI_STOP_BAT_COMMAND_TIMER->setEnabled(false);
    CLI_GBC_BAT_COMMAND_TIMER->setEnabled(false);
    CLI_GCC_BAT_COMMAND_TIMER->setEnabled(false);
    app::SettingsStore& store = services_.store;
    const app::SettingsStore::Batch batch(store, QStringLiteral("the settings window's close"),
                                          storeWasRead_);
    if (app::windowPositionsKnown()) {
        store.saveGeometry(QStringLiteral("SETTINGS-Left"), leftTwips());
        store.saveGeometry(QStringLiteral("SETTINGS-Top"), topTwips());
    }
}

app::MainWindow::SettingsWindowFactory settingsWindowFactory(const app::Services& services) {
    return [services](app::MainWindow& owner) -> std::unique_ptr<QDialog> {
        return std::make_unique<SettingsWindow>(owner, services);
    };
}

} // namespace tw::settings
