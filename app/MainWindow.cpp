#include "app/MainWindow.h"

#include "app/Colours.h"
#include "app/Diagnostics.h"
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

namespace tw::app {

namespace {

QFont makeFont(const QString& family, double points, int weight) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

const QString DesignTooltip = QStringLiteral("twDesignTooltip");

// One row of the form: where a control stands, in twips.
struct Place {
    QWidget* widget;
    int left, top, width, height;
};

// The lower band holds the mirror fields, one under another from here down.
constexpr int LowerBandTop = 5640;
constexpr int LowerBandRow = 480;

// Default text of the status boxes before the first query.
const QString NoValue = QStringLiteral("-- -- -- -- -- -- --");

} // namespace

const QString MainWindow::StartCaption = QStringLiteral("START");
const QString MainWindow::StopCaption = QStringLiteral("STOP");

MainWindow::MainWindow(Services services, QWidget* parent) : QWidget(parent), services_(services) {
    setObjectName(QStringLiteral("TW_CLI_UI_MAIN"));
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

void MainWindow::buildControls() {
    // MS Sans Serif 8.25 point in the original forms; Arial (or its metric
    // twin Liberation Sans) keeps the captions inside their designed boxes.
    setFont(makeFont(QStringLiteral("Arial"), 8, QFont::Normal));
    const QFont arialBlack95 = makeFont(QStringLiteral("Arial Black"), 9.75, QFont::Black);
    const QFont arialBlack1425 = makeFont(QStringLiteral("Arial Black"), 14.25, QFont::Black);
    const QFont arialBold825 = makeFont(QStringLiteral("Arial"), 8.25, QFont::Bold);
    const QFont titleFont = makeFont(QStringLiteral("Arial"), 12, QFont::Bold);

    auto label = [this](const char* name, const QString& text) {
        auto* widget = new QLabel(text, this);
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    auto tick = [this](const char* name, const QString& caption, const QString& tip = {}) {
        QCheckBox* widget = new WrapCheckBox(caption, this);
        widget->setObjectName(QLatin1String(name));
        widget->setToolTip(tip);
        widget->setProperty(DesignTooltip.toLatin1().constData(), tip);
        return widget;
    };
    auto button = [this](const char* name, const QString& caption, const QString& tip = {}) {
        QPushButton* widget = new WrapButton(caption, this);
        widget->setObjectName(QLatin1String(name));
        widget->setToolTip(tip);
        widget->setProperty(DesignTooltip.toLatin1().constData(), tip);
        widget->setAutoDefault(false);
        return widget;
    };
    auto text = [this](const char* name, const QString& initial, bool readOnly) {
        auto* widget = new QLineEdit(initial, this);
        widget->setObjectName(QLatin1String(name));
        widget->setReadOnly(readOnly);
        widget->setProperty(DesignTooltip.toLatin1().constData(), QString());
        return widget;
    };

    TW_CLI_UI_TITLE = label("TW_CLI_UI_TITLE", QStringLiteral("TW-CLI-UI"));
    APP_EXE_NAME_LABEL = label("APP_EXE_NAME_LABEL", QString());
    for (QLabel* title : {TW_CLI_UI_TITLE, APP_EXE_NAME_LABEL}) {
        title->setFont(titleFont);
        setBackground(title, colour::Black);
        setForeground(title, colour::Green);
        title->setAlignment(Qt::AlignCenter);
    }
    AUTOSTART_TICKBOX = tick("AUTOSTART_TICKBOX", QStringLiteral("Auto Start"));
    AlwaysOnTopTimer_TICKBOX = tick("AlwaysOnTopTimer_TICKBOX", QStringLiteral("Always On Top"));
    CLI_STOP_BAT_TICKBOX = tick("CLI_STOP_BAT_TICKBOX", QStringLiteral("AutoSend STOP Command"));
    AUTOCLOSE_TIMER_TICKBOX = tick("AUTOCLOSE_TIMER_TICKBOX", QStringLiteral("Auto Close"));
    AUTOCLOSE_TIMER_TICKBOX->setEnabled(false);
    CLI_GBC_BAT_TICKBOX = tick("CLI_GBC_BAT_TICKBOX", QStringLiteral("Auto G-B-C"),
                               QStringLiteral("Auto GetBlockCount Every 60 Seconds"));
    CLI_GCC_BAT_TICKBOX = tick("CLI_GCC_BAT_TICKBOX", QStringLiteral("Auto G-C-C"),
                               QStringLiteral("Auto GetConnectionCount Every 60 Seconds"));
    GETBLOCKCOUNT_BUTTON =
        button("GETBLOCKCOUNT_BUTTON", QStringLiteral("G-B-C"), QStringLiteral("GetBlockCount"));
    CURRENT_BLOCK_LABEL = label("CURRENT_BLOCK_LABEL", QStringLiteral("Current Block:"));
    CURRENT_BLOCK_TEXTBOX = text("CURRENT_BLOCK_TEXTBOX", NoValue, true);
    GETCONNECTIONCOUNT_BUTTON = button("GETCONNECTIONCOUNT_BUTTON", QStringLiteral("G-C-C"),
                                       QStringLiteral("GetConnectionCount"));
    Label1 = label("Label1", QStringLiteral("Connections:"));
    CONNECTIONS_TEXTBOX = text("CONNECTIONS_TEXTBOX", NoValue, true);
    for (QLineEdit* status : {CURRENT_BLOCK_TEXTBOX, CONNECTIONS_TEXTBOX}) {
        status->setFont(arialBlack95);
        setBackground(status, colour::Black);
        setForeground(status, colour::Green);
        status->setAlignment(Qt::AlignCenter);
    }
    PROCESS_ACTIVE_LABEL = label("PROCESS_ACTIVE_LABEL", QStringLiteral("!!! NOT MONITORING !!!"));
    PROCESS_ACTIVE_LABEL->setFont(arialBold825);
    PROCESS_ACTIVE_LABEL->setAlignment(Qt::AlignCenter);
    setBackground(PROCESS_ACTIVE_LABEL, colour::Cyan);
    SETTINGS_BUTTON = button("SETTINGS_BUTTON", QStringLiteral("Settings"));
    SHUTDOWN_BUTTON = button("SHUTDOWN_BUTTON", QStringLiteral("SHUTDOWN DAEMON / QT"));
    AUTORUN_TIMER_TEXTBOX = text("AUTORUN_TIMER_TEXTBOX", QStringLiteral("-- --"), true);
    AUTORUN_TIMER_TEXTBOX->setFont(arialBlack1425);
    AUTORUN_TIMER_TEXTBOX->setAlignment(Qt::AlignCenter);
    setBackground(AUTORUN_TIMER_TEXTBOX, colour::Pink);
    START_STOP_BUTTON = button("START_STOP_BUTTON", QStringLiteral("START- STOP"));
    P4P_TICKBOX = tick("P4P_TICKBOX", QStringLiteral("\"P-4-P\" Before Exit"));
    P4P_TICKBOX->setEnabled(false);
    QT_EXE_TEXTBOX = text("QT_EXE_TEXTBOX", QString(), true);
    DAEMON_EXE_TEXTBOX = text("DAEMON_EXE_TEXTBOX", QString(), true);

    CLI_NAME_TEXTBOX = text("CLI_NAME_TEXTBOX", QString(), false);
    UPDATE_EXTERNAL_FILE_TICKBOX =
        tick("UPDATE_EXTERNAL_FILE_TICKBOX",
             QStringLiteral("Also Update External File When BlockCount Changes"));
    UPDATE_EXTERNAL_FILE_TEXTBOX = text("UPDATE_EXTERNAL_FILE_TEXTBOX", QString(), false);
    RUN_COMMAND_TICKBOX =
        tick("RUN_COMMAND_TICKBOX", QStringLiteral("Also Run Command When BlockCount Changes"));
    RUN_COMMAND_TEXTBOX = text("RUN_COMMAND_TEXTBOX", QString(), false);
    CLI_STOP_BAT_FULL_LOCATION_TEXTBOX =
        text("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", QString(), false);
    CLI_GBC_FULL_BAT_LOCATION_TEXTBOX = text("CLI_GBC_FULL_BAT_LOCATION_TEXTBOX", QString(), false);
    CLI_GCC_FULL_BAT_LOCATION_TEXTBOX = text("CLI_GCC_FULL_BAT_LOCATION_TEXTBOX", QString(), false);
    CLI_GBC_FULL_LOG_LOCATION_TEXTBOX = text("CLI_GBC_FULL_LOG_LOCATION_TEXTBOX", QString(), false);
    CLI_GCC_FULL_LOG_LOCATION_TEXTBOX = text("CLI_GCC_FULL_LOG_LOCATION_TEXTBOX", QString(), false);

    const Place upperBand[] = {
        {TW_CLI_UI_TITLE, 120, 120, 1455, 360},
        {APP_EXE_NAME_LABEL, 1680, 120, 3375, 360},
        {AUTOSTART_TICKBOX, 240, 600, 1095, 255},
        {AlwaysOnTopTimer_TICKBOX, 1560, 600, 855, 495},
        {CLI_STOP_BAT_TICKBOX, 2520, 600, 2295, 255},
        {AUTOCLOSE_TIMER_TICKBOX, 240, 960, 1095, 255},
        {CLI_GBC_BAT_TICKBOX, 2520, 960, 1215, 255},
        {CLI_GCC_BAT_TICKBOX, 3840, 960, 1215, 255},
        {GETBLOCKCOUNT_BUTTON, 240, 1320, 855, 375},
        {CURRENT_BLOCK_LABEL, 1200, 1440, 1335, 255},
        {CURRENT_BLOCK_TEXTBOX, 2400, 1320, 2655, 390},
        {GETCONNECTIONCOUNT_BUTTON, 240, 1800, 855, 375},
        {Label1, 1200, 1920, 1215, 255},
        {CONNECTIONS_TEXTBOX, 2400, 1800, 2655, 390},
        {PROCESS_ACTIVE_LABEL, 240, 2280, 4815, 255},
        {SETTINGS_BUTTON, 240, 2640, 855, 495},
        {SHUTDOWN_BUTTON, 1320, 2640, 1455, 495},
        {AUTORUN_TIMER_TEXTBOX, 3000, 2640, 735, 525},
        {START_STOP_BUTTON, 3960, 2640, 975, 495},
        {P4P_TICKBOX, 240, 3240, 1095, 495},
        {QT_EXE_TEXTBOX, 1440, 3360, 1575, 375},
        {DAEMON_EXE_TEXTBOX, 3120, 3360, 1695, 375},
    };
    for (const Place& place : upperBand)
        place.widget->setGeometry(twipsRect(place.left, place.top, place.width, place.height));

    QWidget* lowerBand[] = {
        CLI_NAME_TEXTBOX,
        UPDATE_EXTERNAL_FILE_TICKBOX,
        UPDATE_EXTERNAL_FILE_TEXTBOX,
        RUN_COMMAND_TICKBOX,
        RUN_COMMAND_TEXTBOX,
        CLI_STOP_BAT_FULL_LOCATION_TEXTBOX,
        CLI_GBC_FULL_BAT_LOCATION_TEXTBOX,
        CLI_GCC_FULL_BAT_LOCATION_TEXTBOX,
        CLI_GBC_FULL_LOG_LOCATION_TEXTBOX,
        CLI_GCC_FULL_LOG_LOCATION_TEXTBOX,
    };
    int top = LowerBandTop;
    for (QWidget* widget : lowerBand) {
        widget->setGeometry(twipsRect(120, top, 4950, 375));
        widget->setToolTip(widget->objectName());
        widget->setProperty(DesignTooltip.toLatin1().constData(), widget->objectName());
        top += LowerBandRow;
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
        store.saveGeometry(QStringLiteral("MainLeft"), leftTwips());
        store.saveGeometry(QStringLiteral("MainTop"), topTwips());
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
    return {w.AUTOSTART_TICKBOX,    w.AUTOCLOSE_TIMER_TICKBOX, w.CLI_GBC_BAT_TICKBOX,
            w.CLI_GCC_BAT_TICKBOX,  w.CLI_STOP_BAT_TICKBOX,    w.SETTINGS_BUTTON,
            w.GETBLOCKCOUNT_BUTTON, w.GETCONNECTIONCOUNT_BUTTON, w.SHUTDOWN_BUTTON};
}
} // namespace

void MainWindow::showCounting() {
    for (QWidget* control : automationControls(*this))
        control->setEnabled(false);
    COUNTDOWN_TIMER->setEnabled(true);
    START_STOP_BUTTON->setText(StopCaption);
}

void MainWindow::showIdle() {
    for (QWidget* control : automationControls(*this))
        control->setEnabled(true);
    COUNTDOWN_TIMER->setEnabled(false);
    START_STOP_BUTTON->setText(StartCaption);
}

void MainWindow::showNothingToRun() {
    START_STOP_BUTTON->setText(StartCaption);
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
                       QStringLiteral("Last failure: ") + message);
}

void MainWindow::clearFailure(const QString& control) {
    QWidget* widget = control.isEmpty() ? nullptr : findChild<QWidget*>(control);
    if (!widget)
        return;
    widget->setToolTip(widget->property(DesignTooltip.toLatin1().constData()).toString());
}

} // namespace tw::app
