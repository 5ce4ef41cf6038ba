#include "app/MainWindow.h"

#include "app/Accessibility.h"
#include "app/Colours.h"
#include "app/Diagnostics.h"
#include "app/KeyboardRules.h"
#include "app/SettingsStore.h"
#include "app/Twips.h"
#include "app/WindowTimer.h"
#include "app/WrapWidgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <type_traits>
#include <variant>

namespace tw::app {

namespace {

QFont makeFont(const QString& family, double points, int weight) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

const QString DesignTooltip = QStringLiteral("twDesignTooltip");

// The lower band holds the mirror fields, one under another from here down.
constexpr int LowerBandTop = 5640;
constexpr int LowerBandRow = 480;

// Default text of the status boxes before the first query.
const QString NoValue = QStringLiteral("-- -- -- -- -- -- --");

} // namespace

QString MainWindow::startCaption() {
    return tr("START");
}

QString MainWindow::stopCaption() {
    return tr("STOP");
}

MainWindow::MainWindow(Services services, QWidget* parent) : QWidget(parent), services_(services) {
    setObjectName(QStringLiteral("TW_CLI_UI_MAIN"));
    readPlainWindowsAsWindows();
    buildControls();

    Scheduler& scheduler = services_.scheduler;
    AlwaysOnTopTimer = scheduler.createTimer(QStringLiteral("AlwaysOnTopTimer"), this);
    COUNTDOWN_TIMER = scheduler.createTimer(QStringLiteral("COUNTDOWN_TIMER"), this);
    CLI_PROCESS_WATCHER_TIMER =
        scheduler.createTimer(QStringLiteral("CLI_PROCESS_WATCHER_TIMER"), this);
    GETBLOCKCOUNT_COMMAND_TIMER =
        scheduler.createTimer(QStringLiteral("GETBLOCKCOUNT_COMMAND_TIMER"), this);
    GETCONNECTIONCOUNT_COMMAND_TIMER =
        scheduler.createTimer(QStringLiteral("GETCONNECTIONCOUNT_COMMAND_TIMER"), this);
    UNLOAD_TIMER = scheduler.createTimer(QStringLiteral("UNLOAD_TIMER"), this);
    GET_LOOP_TIMER = scheduler.createTimer(QStringLiteral("GET_LOOP_TIMER"), this);
    P4P_END_TIMER = scheduler.createTimer(QStringLiteral("P4P_END_TIMER"), this);
    // Enabled at design; they start once the load gives them an interval.
    AlwaysOnTopTimer->setEnabled(true);
    CLI_PROCESS_WATCHER_TIMER->setEnabled(true);

    connect(AUTOSTART_TICKBOX, &QCheckBox::toggled, this, [this] { AUTOSTART_TICKBOX_Click(); });
    connect(AUTOCLOSE_TIMER_TICKBOX, &QCheckBox::toggled, this,
            [this] { AUTOCLOSE_TIMER_TICKBOX_Click(); });
    connect(SETTINGS_BUTTON, &QPushButton::clicked, this, [this] { SETTINGS_BUTTON_Click(); });

    connect(&services_.diagnostics, &Diagnostics::failureReported, this, &MainWindow::showFailure);
    connect(&services_.diagnostics, &Diagnostics::failureCleared, this, &MainWindow::clearFailure);
    KeyboardRules::install(this);

    // A placeholder until a settings window is provided.
    settingsFactory_ = [](MainWindow& owner) {
        auto dialog = std::make_unique<QDialog>(&owner);
        dialog->setWindowTitle(QStringLiteral("TARN-WICK - TW-CLI-UI - SETTINGS"));
        auto* layout = new QVBoxLayout(dialog.get());
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog.get());
        cancel->setObjectName(QStringLiteral("CLOSE_BUTTON"));
        layout->addWidget(cancel);
        QObject::connect(cancel, &QPushButton::clicked, dialog.get(), &QDialog::reject);
        return dialog;
    };
}

MainWindow::~MainWindow() = default;

namespace {

using Member = std::variant<QLabel * MainWindow::*, QLineEdit * MainWindow::*,
                            QCheckBox * MainWindow::*, QPushButton * MainWindow::*>;

enum class Look {
    Plain,     // the window's font
    Title,     // 12 pt bold, green on black, centred
    Status,    // Arial Black 9.75 pt, green on black, centred
    Watcher,   // Arial 8.25 pt bold on cyan, centred
    Countdown, // Arial Black 14.25 pt on pink, centred
};

// Design state.
enum Init : unsigned {
    Normal = 0,
    Disabled = 1,
    Locked = 2,    // a text box the user cannot edit
    NameAsTip = 4, // lower band: the tooltip names the field
};

struct Control {
    Member member;
    const char* name;
    QString text; // caption, or a text box's first text
    QString tip;
    QRect twips; // left, top, width, height
    Look look;
    unsigned init;
};

#define TW_CONTROL(NAME) &MainWindow::NAME, #NAME

// The lower band: the mirror fields, one under another.
QRect lowerBand(int row) {
    return {120, LowerBandTop + row * LowerBandRow, 4950, 375};
}

// One control a row.
// clang-format off
const Control Controls[] = {
    // Upper band.
    {TW_CONTROL(TW_CLI_UI_TITLE), "TW-CLI-UI", {}, {120, 120, 1455, 360}, Look::Title, Normal},
    {TW_CONTROL(APP_EXE_NAME_LABEL), {}, {}, {1680, 120, 3375, 360}, Look::Title, Normal},
    {TW_CONTROL(AUTOSTART_TICKBOX), QT_TRANSLATE_NOOP("MainWindow", "Auto Start"), {}, {240, 600, 1095, 255}, Look::Plain, Normal},
    {TW_CONTROL(AlwaysOnTopTimer_TICKBOX), QT_TRANSLATE_NOOP("MainWindow", "Always On Top"), {}, {1560, 600, 855, 495}, Look::Plain,
     Normal},
    {TW_CONTROL(CLI_STOP_BAT_TICKBOX), QT_TRANSLATE_NOOP("MainWindow", "AutoSend STOP Command"), {}, {2520, 600, 2295, 255},
     Look::Plain, Normal},
    {TW_CONTROL(AUTOCLOSE_TIMER_TICKBOX), QT_TRANSLATE_NOOP("MainWindow", "Auto Close"), {}, {240, 960, 1095, 255}, Look::Plain,
     Disabled},
    {TW_CONTROL(CLI_GBC_BAT_TICKBOX), "Auto G-B-C", QT_TRANSLATE_NOOP("MainWindow", "Auto GetBlockCount Every 60 Seconds"),
     {2520, 960, 1215, 255}, Look::Plain, Normal},
    {TW_CONTROL(CLI_GCC_BAT_TICKBOX), "Auto G-C-C", QT_TRANSLATE_NOOP("MainWindow", "Auto GetConnectionCount Every 60 Seconds"),
     {3840, 960, 1215, 255}, Look::Plain, Normal},
    {TW_CONTROL(GETBLOCKCOUNT_BUTTON), "G-B-C", "GetBlockCount", {240, 1320, 855, 375},
     Look::Plain, Normal},
    {TW_CONTROL(CURRENT_BLOCK_LABEL), QT_TRANSLATE_NOOP("MainWindow", "Current Block:"), {}, {1200, 1440, 1335, 255}, Look::Plain,
     Normal},
    {TW_CONTROL(CURRENT_BLOCK_TEXTBOX), NoValue, {}, {2400, 1320, 2655, 390}, Look::Status,
     Locked},
    {TW_CONTROL(GETCONNECTIONCOUNT_BUTTON), "G-C-C", "GetConnectionCount", {240, 1800, 855, 375},
     Look::Plain, Normal},
    {TW_CONTROL(Label1), QT_TRANSLATE_NOOP("MainWindow", "Connections:"), {}, {1200, 1920, 1215, 255}, Look::Plain, Normal},
    {TW_CONTROL(CONNECTIONS_TEXTBOX), NoValue, {}, {2400, 1800, 2655, 390}, Look::Status, Locked},
    {TW_CONTROL(PROCESS_ACTIVE_LABEL), QT_TRANSLATE_NOOP("MainWindow", "!!! NOT MONITORING !!!"), {}, {240, 2280, 4815, 255},
     Look::Watcher, Normal},
    {TW_CONTROL(SETTINGS_BUTTON), QT_TRANSLATE_NOOP("MainWindow", "Settings"), {}, {240, 2640, 855, 495}, Look::Plain, Normal},
    {TW_CONTROL(SHUTDOWN_BUTTON), QT_TRANSLATE_NOOP("MainWindow", "SHUTDOWN DAEMON / QT"), {}, {1320, 2640, 1455, 495}, Look::Plain,
     Normal},
    {TW_CONTROL(AUTORUN_TIMER_TEXTBOX), "-- --", {}, {3000, 2640, 735, 525}, Look::Countdown,
     Locked},
    {TW_CONTROL(START_STOP_BUTTON), QT_TRANSLATE_NOOP("MainWindow", "START- STOP"), {}, {3960, 2640, 975, 495}, Look::Plain, Normal},
    {TW_CONTROL(P4P_TICKBOX), QT_TRANSLATE_NOOP("MainWindow", "\"P-4-P\" Before Exit"), {}, {240, 3240, 1095, 495}, Look::Plain,
     Disabled},
    {TW_CONTROL(QT_EXE_TEXTBOX), {}, {}, {1440, 3360, 1575, 375}, Look::Plain, Locked},
    {TW_CONTROL(DAEMON_EXE_TEXTBOX), {}, {}, {3120, 3360, 1695, 375}, Look::Plain, Locked},

    // Lower band: the mirror fields.
    {TW_CONTROL(CLI_NAME_TEXTBOX), {}, {}, lowerBand(0), Look::Plain, NameAsTip},
    {TW_CONTROL(UPDATE_EXTERNAL_FILE_TICKBOX), QT_TRANSLATE_NOOP("MainWindow", "Also Update External File When BlockCount Changes"),
     {}, lowerBand(1), Look::Plain, NameAsTip},
    {TW_CONTROL(UPDATE_EXTERNAL_FILE_TEXTBOX), {}, {}, lowerBand(2), Look::Plain, NameAsTip},
    {TW_CONTROL(RUN_COMMAND_TICKBOX), QT_TRANSLATE_NOOP("MainWindow", "Also Run Command When BlockCount Changes"), {}, lowerBand(3),
     Look::Plain, NameAsTip},
    {TW_CONTROL(RUN_COMMAND_TEXTBOX), {}, {}, lowerBand(4), Look::Plain, NameAsTip},
    {TW_CONTROL(CLI_STOP_BAT_FULL_LOCATION_TEXTBOX), {}, {}, lowerBand(5), Look::Plain, NameAsTip},
    {TW_CONTROL(CLI_GBC_FULL_BAT_LOCATION_TEXTBOX), {}, {}, lowerBand(6), Look::Plain, NameAsTip},
    {TW_CONTROL(CLI_GCC_FULL_BAT_LOCATION_TEXTBOX), {}, {}, lowerBand(7), Look::Plain, NameAsTip},
    {TW_CONTROL(CLI_GBC_FULL_LOG_LOCATION_TEXTBOX), {}, {}, lowerBand(8), Look::Plain, NameAsTip},
    {TW_CONTROL(CLI_GCC_FULL_LOG_LOCATION_TEXTBOX), {}, {}, lowerBand(9), Look::Plain, NameAsTip},
};
// clang-format on

#undef TW_CONTROL

// A caption or tooltip of the table in the user's language; names and
// symbols (not marked for translation) stay as they are.
QString translated(const QString& text) {
    return text.isEmpty() ? text : MainWindow::tr(text.toUtf8().constData());
}

} // namespace

void MainWindow::buildControls() {
    // MS Sans Serif 8.25 point in the original forms; Arial (or its metric
    // twin Liberation Sans) keeps the captions inside their designed boxes.
    setFont(makeFont(QStringLiteral("Arial"), 8, QFont::Normal));
    const auto lookOf = [](QWidget* widget, Look look) {
        switch (look) {
        case Look::Plain:
            return;
        case Look::Title:
            widget->setFont(makeFont(QStringLiteral("Arial"), 12, QFont::Bold));
            setBackground(widget, colour::Black);
            setForeground(widget, colour::Green);
            break;
        case Look::Status:
            widget->setFont(makeFont(QStringLiteral("Arial Black"), 9.75, QFont::Black));
            setBackground(widget, colour::Black);
            setForeground(widget, colour::Green);
            break;
        case Look::Watcher:
            widget->setFont(makeFont(QStringLiteral("Arial"), 8.25, QFont::Bold));
            setBackground(widget, colour::Cyan);
            break;
        case Look::Countdown:
            widget->setFont(makeFont(QStringLiteral("Arial Black"), 14.25, QFont::Black));
            setBackground(widget, colour::Pink);
            break;
        }
        if (auto* label = qobject_cast<QLabel*>(widget))
            label->setAlignment(Qt::AlignCenter);
        if (auto* box = qobject_cast<QLineEdit*>(widget))
            box->setAlignment(Qt::AlignCenter);
    };

    for (const Control& control : Controls) {
        QWidget* widget = std::visit(
            [this, &control](auto member) -> QWidget* {
                using Kind =
                    std::remove_pointer_t<std::remove_reference_t<decltype(this->*member)>>;
                Kind* made = nullptr;
                if constexpr (std::is_same_v<Kind, QCheckBox>) {
                    made = new WrapCheckBox(translated(control.text), this);
                } else if constexpr (std::is_same_v<Kind, QPushButton>) {
                    made = new WrapButton(translated(control.text), this);
                    made->setAutoDefault(false);
                } else if constexpr (std::is_same_v<Kind, QLineEdit>) {
                    made = new QLineEdit(control.text, this);
                    made->setReadOnly((control.init & Locked) != 0);
                } else {
                    made = new QLabel(translated(control.text), this);
                }
                this->*member = made;
                return made;
            },
            control.member);
        widget->setObjectName(QLatin1String(control.name));
        const QString tip =
            (control.init & NameAsTip) != 0 ? QLatin1String(control.name) : translated(control.tip);
        widget->setToolTip(tip);
        widget->setProperty(DesignTooltip.toLatin1().constData(), tip);
        widget->setEnabled((control.init & Disabled) == 0);
        widget->setGeometry(twipsRect(control.twips.left(), control.twips.top(),
                                      control.twips.width(), control.twips.height()));
        lookOf(widget, control.look);
        // Read-only boxes take no focus; nobody works with the mirror fields,
        // which lie below the window's edge: no focus, no typing.
        if ((control.init & (Locked | NameAsTip)) != 0)
            widget->setFocusPolicy(Qt::NoFocus);
        if ((control.init & NameAsTip) != 0) {
            if (auto* box = qobject_cast<QLineEdit*>(widget))
                box->setReadOnly(true);
            widget->setAccessibleDescription(
                tr("Saved setting, copied here from the settings window by Save To Registry"));
        }
    }
    // Screen readers name each box by its label, or by what it holds.
    nameByLabel(CURRENT_BLOCK_LABEL, CURRENT_BLOCK_TEXTBOX);
    nameByLabel(Label1, CONNECTIONS_TEXTBOX);
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control->accessibleName().isEmpty())
            control->setAccessibleName(fieldName(control->objectName()));
    }
    resize(twipsToPixels(DesignClientWidth), twipsToPixels(DesignClientHeight));
}

QString MainWindow::executableName() const {
    return services_.platform.executableName;
}

bool MainWindow::ticked(const QCheckBox* box) {
    return box->isChecked();
}

double MainWindow::leftTwips() const {
    const int left = frameGeometry().left();
    return left == loadedPixels_.x() ? loadedLeftTwips_ : pixelsToTwips(left);
}

double MainWindow::topTwips() const {
    const int top = frameGeometry().top();
    return top == loadedPixels_.y() ? loadedTopTwips_ : pixelsToTwips(top);
}

void MainWindow::load() {
    SettingsStore& store = services_.store;
    const quint64 unreadableBefore = store.unreadableReads();

    // 1. Place the window; stored sizes are outer sizes.
    const double left = store.geometry(QStringLiteral("MainLeft"), DefaultLeft);
    const double top = store.geometry(QStringLiteral("MainTop"), DefaultTop);
    const double width = store.geometry(QStringLiteral("MainWidth"), DefaultWidth);
    const double height = store.geometry(QStringLiteral("MainHeight"), DefaultHeight);
    loadedLeftTwips_ = left;
    loadedTopTwips_ = top;
    loadedPixels_ = QPoint(twipsToPixels(left), twipsToPixels(top));
    move(loadedPixels_);
    resize(std::max(1, twipsToPixels(width - FrameWidthTwips)),
           std::max(1, twipsToPixels(height - FrameHeightTwips)));

    // 2. Restore, in this order; a restored tick runs its click handling here.
    auto restoreTick = [&store](QCheckBox* box, int defaultState = 0) {
        box->setChecked(store.tickState(box->objectName(), defaultState) == 1);
    };
    auto restoreText = [&store](QLineEdit* box) {
        box->setText(store.GetSetting(box->objectName(), QString()));
    };
    restoreTick(CLI_GBC_BAT_TICKBOX);
    restoreTick(CLI_GCC_BAT_TICKBOX);
    restoreTick(CLI_STOP_BAT_TICKBOX);
    restoreTick(AUTOSTART_TICKBOX);
    restoreTick(AUTOCLOSE_TIMER_TICKBOX);
    restoreText(CLI_NAME_TEXTBOX);
    restoreTick(UPDATE_EXTERNAL_FILE_TICKBOX);
    restoreTick(RUN_COMMAND_TICKBOX);
    restoreText(RUN_COMMAND_TEXTBOX);
    restoreText(UPDATE_EXTERNAL_FILE_TEXTBOX);
    restoreText(CLI_STOP_BAT_FULL_LOCATION_TEXTBOX);
    restoreText(CLI_GBC_FULL_BAT_LOCATION_TEXTBOX);
    restoreText(CLI_GCC_FULL_BAT_LOCATION_TEXTBOX);
    restoreText(CLI_GBC_FULL_LOG_LOCATION_TEXTBOX);
    restoreText(CLI_GCC_FULL_LOG_LOCATION_TEXTBOX);
    restoreTick(P4P_TICKBOX);
    restoreText(QT_EXE_TEXTBOX);
    restoreText(DAEMON_EXE_TEXTBOX);

    // 3.
    restoreTick(AlwaysOnTopTimer_TICKBOX, 1);
    // Defaults standing in for values that could not be read must not be
    // written over them at the close.
    storeWasRead_ = store.unreadableReads() == unreadableBefore;

    // 4, 5.
    APP_EXE_NAME_LABEL->setText(executableName());
    setWindowTitle(QStringLiteral("TARN-WICK - TW-CLI-UI - ") + executableName());

    // The countdown's start, shown as "00:00:11".
    COUNTDOWN_REMAINING = CountdownStart;

    // 7.
    AlwaysOnTopTimer->setInterval(1000);
    COUNTDOWN_TIMER->setInterval(1000);
    CLI_PROCESS_WATCHER_TIMER->setInterval(1000);
    CLI_PROCESS_WATCHER_TIMER->setEnabled(true);
    GETBLOCKCOUNT_COMMAND_TIMER->setInterval(1000);
    GETCONNECTIONCOUNT_COMMAND_TIMER->setInterval(1000);
    UNLOAD_TIMER->setInterval(10000);
    GET_LOOP_TIMER->setInterval(60000);
    P4P_END_TIMER->setInterval(1000);

    // 8.
    AlwaysOnTopTimer->setEnabled(ticked(AlwaysOnTopTimer_TICKBOX));

    // 9.
    P4P_TICKBOX->setEnabled(ticked(AUTOCLOSE_TIMER_TICKBOX));

    // Settle by one of three cases.
    const bool anyCycle =
        ticked(CLI_GBC_BAT_TICKBOX) || ticked(CLI_GCC_BAT_TICKBOX) || ticked(CLI_STOP_BAT_TICKBOX);
    if (!anyCycle) {
        // Nothing for the node to be asked or told: not by hand either.
        showNothingToRun();
        GETBLOCKCOUNT_BUTTON->setEnabled(false);
        GETCONNECTIONCOUNT_BUTTON->setEnabled(false);
    } else if (ticked(AUTOSTART_TICKBOX)) {
        // Auto Start: the state START leaves.
        showCounting();
    } else {
        // Ready to start by hand; Auto Close waits for Auto Start.
        showIdle();
        AUTOCLOSE_TIMER_TICKBOX->setEnabled(false);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close cannot be refused and its handling runs once.
    event->accept();
    if (closed_)
        return;
    closed_ = true;
    SettingsStore& store = services_.store;
    {
        const SettingsStore::Batch batch(store, QStringLiteral("the main window's close"),
                                         storeWasRead_);
        if (windowPositionsKnown()) {
            store.saveGeometry(QStringLiteral("MainLeft"), leftTwips());
            store.saveGeometry(QStringLiteral("MainTop"), topTwips());
        }
        for (QCheckBox* box : {CLI_GBC_BAT_TICKBOX, CLI_GCC_BAT_TICKBOX, CLI_STOP_BAT_TICKBOX,
                               AUTOSTART_TICKBOX, AUTOCLOSE_TIMER_TICKBOX, P4P_TICKBOX})
            store.saveTickState(box->objectName(), ticked(box));
    }
    // Nothing ticks after the close, and an open settings window goes
    // without saving its fields.
    services_.scheduler.stopAll();
    if (settingsWindow_)
        settingsWindow_->close();
    emit closed();
}

void MainWindow::AUTOSTART_TICKBOX_Click() {
    if (ticked(AUTOSTART_TICKBOX)) {
        AUTOCLOSE_TIMER_TICKBOX->setEnabled(true);
    } else {
        AUTOCLOSE_TIMER_TICKBOX->setEnabled(false);
        AUTOCLOSE_TIMER_TICKBOX->setChecked(false);
    }
}

// The automation tick boxes that START greys and STOP gives back.
namespace {
QList<QWidget*> automationControls(MainWindow& w) {
    return {w.AUTOSTART_TICKBOX,    w.AUTOCLOSE_TIMER_TICKBOX,   w.CLI_GBC_BAT_TICKBOX,
            w.CLI_GCC_BAT_TICKBOX,  w.CLI_STOP_BAT_TICKBOX,      w.SETTINGS_BUTTON,
            w.GETBLOCKCOUNT_BUTTON, w.GETCONNECTIONCOUNT_BUTTON, w.SHUTDOWN_BUTTON};
}
} // namespace

void MainWindow::showCounting() {
    for (QWidget* control : automationControls(*this))
        control->setEnabled(false);
    COUNTDOWN_TIMER->setEnabled(true);
    START_STOP_BUTTON->setText(stopCaption());
    describeState(AUTORUN_TIMER_TEXTBOX, tr("counting down"));
}

void MainWindow::showIdle() {
    for (QWidget* control : automationControls(*this))
        control->setEnabled(true);
    COUNTDOWN_TIMER->setEnabled(false);
    START_STOP_BUTTON->setText(startCaption());
    describeState(AUTORUN_TIMER_TEXTBOX, tr("stopped"));
}

void MainWindow::showNothingToRun() {
    START_STOP_BUTTON->setText(startCaption());
    AUTOSTART_TICKBOX->setEnabled(false);
    AUTOCLOSE_TIMER_TICKBOX->setEnabled(false);
    // Clearing a tick runs its click handling.
    AUTOSTART_TICKBOX->setChecked(false);
    AUTOCLOSE_TIMER_TICKBOX->setChecked(false);
}

void MainWindow::AUTOCLOSE_TIMER_TICKBOX_Click() {
    P4P_TICKBOX->setEnabled(ticked(AUTOCLOSE_TIMER_TICKBOX));
}

void MainWindow::setSettingsWindowFactory(SettingsWindowFactory factory) {
    settingsFactory_ = std::move(factory);
}

void MainWindow::SETTINGS_BUTTON_Click() {
    if (!settingsFactory_ || settingsWindow_ || closed_)
        return;
    std::unique_ptr<QDialog> window = settingsFactory_(*this);
    if (!window)
        return;
    window->setWindowModality(Qt::WindowModal);
    settingsWindow_ = window.get();
    window->exec();
    settingsWindow_ = nullptr;
}

void MainWindow::showFailure(const QString& control, const QString& message) {
    QWidget* widget = control.isEmpty() ? nullptr : findChild<QWidget*>(control);
    if (!widget)
        return;
    const QString design = widget->property(DesignTooltip.toLatin1().constData()).toString();
    widget->setToolTip((design.isEmpty() ? QString() : design + QStringLiteral("\n\n")) +
                       tr("Last failure: ") + message);
}

void MainWindow::clearFailure(const QString& control) {
    QWidget* widget = control.isEmpty() ? nullptr : findChild<QWidget*>(control);
    if (!widget)
        return;
    widget->setToolTip(widget->property(DesignTooltip.toLatin1().constData()).toString());
}

} // namespace tw::app
