// The settings window: its controls, the load sequence, the option
// interlocks, the credit label, Cancel/Close and the close sequence.

#include "app/Colours.h"
#include "app/Twips.h"
#include "app/WindowTimer.h"
#include "tests/settings/SettingsFixture.h"

#include <QFrame>
#include <QLabel>

using tw::settings::SettingsWindow;
using tw::test::TestRig;

namespace {

QString textOf(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* box = qobject_cast<const QCheckBox*>(widget))
        return box->text();
    if (auto* button = qobject_cast<const QPushButton*>(widget))
        return button->text();
    if (auto* field = qobject_cast<const QLineEdit*>(widget))
        return field->text();
    if (auto* display = qobject_cast<const QPlainTextEdit*>(widget))
        return display->toPlainText();
    return QString();
}

QColor foreground(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}

// The user's own fields of the window, in the store's order.
const QStringList UserTexts = {"TW_CLI_UI_LOCATION_TEXTBOX",
                               "CONF_LOCATION_TEXTBOX",
                               "CLI_LOCATION_TEXTBOX",
                               "CLI_NAME_TEXTBOX",
                               "RUN_COMMAND_TEXTBOX",
                               "UPDATE_EXTERNAL_FILE_TEXTBOX",
                               "QT_EXE_TEXTBOX",
                               "DAEMON_EXE_TEXTBOX"};

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT

private slots:
    void visibleControls_data();
    void visibleControls();
    void lowerBand_data();
    void lowerBand();
    void fonts_data();
    void fonts();
    void headerAndHelpColours();
    void emptyStore();
    void daemonOptionAtLoad_data();
    void daemonOptionAtLoad();
    void daemonOptionByClicks();
    void actionBoxesAtLoad_data();
    void actionBoxesAtLoad();
    void actionBoxKeepsItsText();
    void executableNamesFollowP4P_data();
    void executableNamesFollowP4P();
    void creditLabelShowsTheContactAddress();
    void closingWritesOnlyThePosition_data();
    void closingWritesOnlyThePosition();
    void aMovedWindowReopensThereAtTheStoredSize();
    void enlargedWindowShowsTheLowerBand();
    void reopenedAfterSaveShowsSavedValuesAndCancel();
};

void TestSettingsWindow::visibleControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QRect>("twips");

    const auto row = [](const char* name, const char* kind, const QString& text, const QRect& r,
                        const QString& tip = QString()) {
        QTest::newRow(name) << name << kind << text << tip << r;
    };
    row("TARN_WICK_TITLE", "QLabel", "TARN-WICK", {120, 120, 5895, 360});
    row("CLI_UI_TITLE", "QLabel", "TW-CLI-UI", {6120, 120, 5775, 360});
    row("TW_QTD_VERSION", "QLabel", "Version 1.1", {120, 480, 3135, 345});
    row("TW_CLI_UI_CREATOR", "QLabel", "By the TW-CLI-UI contributors", {3360, 480, 5415, 330});
    row("TW_CLI_UI_LICENCE", "QLabel", "MIT Licence", {8880, 480, 3015, 345});
    row("TW_CLI_UI_FOLDER_LABEL", "QLabel", "TW-CLI-UI  FOLDER - eg C:\\TARN-WICK\\TW-CLI-UI\\BTC",
        {120, 960, 5775, 255});
    row("CLI_LOCATION_LABEL", "QLabel", "CLI Folder- eg C:\\Program Files\\Bitcoin\\Daemon",
        {6120, 960, 5775, 255});
    row("TW_CLI_UI_LOCATION_TEXTBOX", "QLineEdit", "", {120, 1200, 5775, 375});
    row("CLI_LOCATION_TEXTBOX", "QLineEdit", "", {6120, 1200, 5775, 375});
    row("CONF_LOCATION_LABEL", "QLabel",
        "WALLET.CONF - File Location - eg C:\\BC-CONF\\BTC\\bitcoin.conf", {120, 1800, 5775, 255});
    row("DAEMOND_NAME_LABEL", "QLabel", "CLI Filename - eg bitcoin-cli.exe",
        {6120, 1800, 3375, 255});
    row("DASH_DAEMON_TICKBOX", "QCheckBox", "Daemon", {10560, 1920, 1215, 255}, "disablewallet=");
    row("CONF_LOCATION_TEXTBOX", "QLineEdit", "", {120, 2040, 5775, 375});
    row("CLI_NAME_TEXTBOX", "QLineEdit", "", {6120, 2040, 4215, 375});
    row("DISABLE_DAEMON_TICKBOX", "QCheckBox", "Disabled", {10560, 2160, 1215, 255},
        "!!! DISABLES ALL WALLET FUNCTIONALITY !!!");
    row("UPDATE_EXTERNAL_FILE_TICKBOX", "QCheckBox",
        "Also Update External File When BlockCount Changes", {240, 2640, 5415, 255});
    row("RUN_COMMAND_TICKBOX", "QCheckBox", "Also Run Command When BlockCount Changes",
        {6240, 2640, 4815, 255});
    row("UPDATE_EXTERNAL_FILE_TEXTBOX", "QLineEdit", "", {120, 2880, 5775, 375});
    row("RUN_COMMAND_TEXTBOX", "QLineEdit", "", {6120, 2880, 5775, 375});
    row("P4P_TICKBOX", "QCheckBox", "\"Pause-4-Process\" - QT / DAEMON - Before Exit",
        {480, 3480, 5415, 615});
    row("QT_EXE_LABEL", "QLabel", "QT - \".exe\" FILENAME", {6120, 3480, 2655, 375});
    row("Label1", "QLabel", "DAEMON -  \".exe\" FILENAME", {8880, 3480, 2655, 375});
    row("QT_EXE_TEXTBOX", "QLineEdit", "", {6120, 3720, 2055, 375});
    row("DAEMON_EXE_TEXTBOX", "QLineEdit", "", {8880, 3720, 2655, 375});
    row("TWCLI_STOP_COMMAND_LABEL", "QLabel", "!!! GENERATED RUN COMMAND -  CLI-UI-STOP.BAT  !!!",
        {240, 4320, 4935, 255});
    row("TWCLI_STOP_COMMAND_TEXTBOX", "QPlainTextEdit", "", {120, 4560, 11775, 495});
    row("TWCLI_GBC_COMMAND_LABEL", "QLabel", "!!! GENERATED RUN COMMAND -  CLI-UI-GBC.BAT !!!",
        {240, 5160, 4815, 255});
    row("TWCLI_GBC_COMMAND_TEXTBOX", "QPlainTextEdit", "", {120, 5400, 11775, 495});
    row("TWCLI_GCC_COMMAND_LABEL", "QLabel", "!!! GENERATED RUN COMMAND - CLI-UI-GCC.BAT !!!",
        {240, 6000, 4815, 255});
    row("TWCLI_GCC_COMMAND_TEXTBOX", "QPlainTextEdit", "", {120, 6240, 11775, 495});
    row("EXE_FILENAME_HELP_LABEL", "QLabel",
        "FOR MULTIPLE CONFIGURATIONS, COPY TO A NEW FOLDER AND NEW FILENAME, RUN, AND CONFIGURE.",
        {240, 7080, 5655, 615});
    row("SAVE_REGISTRY_BUTTON", "QPushButton", "Save To Registry", {6120, 7080, 1455, 615});
    row("SAVE_BATS_BUTTON", "QPushButton", "Save To .BAT Files", {7800, 7080, 1455, 615});
    row("AlwaysOnTopTimer_TICKBOX", "QCheckBox", "Always On Top", {9480, 7080, 1095, 495});
    row("CLOSE_BUTTON", "QPushButton", "Cancel", {10680, 7080, 1095, 615});
}

void TestSettingsWindow::visibleControls() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QFETCH(QRect, twips);

    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    const auto* widget = window->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QCOMPARE(textOf(widget), text);
    QCOMPARE(widget->toolTip(), tip);
    QCOMPARE(widget->geometry(),
             tw::app::twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    // Everything of the visible layout shows at the default size.
    QVERIFY(widget->geometry().bottom() < window->height());
}

void TestSettingsWindow::lowerBand_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("separator") << "BACKSLASH_TEXTBOX" << tw::platform::pathSeparator();
    QTest::newRow("space") << "SPACEBAR_TEXTBOX"
                           << " ";
    QTest::newRow("quote") << "SM_TB"
                           << "\"";
    QTest::newRow("call") << "CALL_COMMAND_TEXTBOX"
                          << "call ";
    QTest::newRow("conf") << "DASH_CONF_TEXTBOX"
                          << "-conf=";
    QTest::newRow("stop") << "STOP_CMD_TEXTBOX"
                          << " stop";
    QTest::newRow("gbc arrow") << "GBC_ARROW_TEXTBOX"
                               << " getblockcount > ";
    QTest::newRow("gcc arrow") << "GCC_ARROW_TEXTBOX"
                               << " getconnectioncount > ";
    QTest::newRow("stop bat") << "CLI_STOP_BAT_FILENAME_TEXTBOX"
                              << "CLI-UI-STOP.BAT";
    QTest::newRow("gbc bat") << "CLI_GBC_BAT_FILENAME_TEXTBOX"
                             << "CLI-UI-GBC.BAT";
    QTest::newRow("gcc bat") << "CLI_GCC_BAT_FILENAME_TEXTBOX"
                             << "CLI-UI-GCC.BAT";
    QTest::newRow("gbc log") << "CLI_UI_GBC_LOG_TEXTBOX"
                             << "CLI-UI-GBC.LOG";
    QTest::newRow("gcc log") << "CLI_UI_GCC_LOG_TEXTBOX"
                             << "CLI-UI-GCC.LOG";
    QTest::newRow("daemon option") << "DASH_DISABLE_DAEMON_EQUALS_TEXTBOX"
                                   << "";
    // Untouched by the load: the field's own name until a save.
    for (const char* path :
         {"CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", "CLI_GBC_FULL_BAT_LOCATION_TEXTBOX",
          "CLI_GCC_FULL_BAT_LOCATION_TEXTBOX", "CLI_GBC_FULL_LOG_LOCATION_TEXTBOX",
          "CLI_GCC_FULL_LOG_LOCATION_TEXTBOX"})
        QTest::newRow(path) << path << path;
    QTest::newRow("warning") << "Label2"
                             << "!!! ALWAYS TRY TO SAFELY SHUTDOWN DAEMON BEFORE CLOSING OUTPUT "
                                "WINDOW OR YOUR BLOCKCHAIN MAY GET CORRUPTED !!!";
}

void TestSettingsWindow::lowerBand() {
    QFETCH(QString, name);
    QFETCH(QString, text);

    TestRig rig;
    // Even stored values under these names are not read.
    rig.store(name, QStringLiteral("stored"));
    rig.start();
    const auto window = tw::test::openSettings(rig);
    const auto* widget = window->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(textOf(widget), text);
    // Out of view at the default size, inside the designed client area.
    QVERIFY(widget->geometry().top() >= tw::app::twipsToPixels(SettingsWindow::LowerBandTop));
    QVERIFY(widget->geometry().top() >= window->height());
    QVERIFY(widget->geometry().bottom() <
            tw::app::twipsToPixels(SettingsWindow::DesignClientHeight));
    if (auto* field = qobject_cast<const QLineEdit*>(widget)) {
        QVERIFY(field->isEnabled());
        QVERIFY(!field->isReadOnly());
        QCOMPARE(field->toolTip(), name);
        QCOMPARE(field->placeholderText(), name);
    }
}

void TestSettingsWindow::fonts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("bold");

    for (const char* title : {"TARN_WICK_TITLE", "CLI_UI_TITLE", "TW_QTD_VERSION",
                              "TW_CLI_UI_CREATOR", "TW_CLI_UI_LICENCE"})
        QTest::newRow(title) << title << "Arial" << 12.0 << true;
    for (const char* label :
         {"TW_CLI_UI_FOLDER_LABEL", "CLI_LOCATION_LABEL", "CONF_LOCATION_LABEL",
          "DAEMOND_NAME_LABEL", "QT_EXE_LABEL", "Label1", "TWCLI_STOP_COMMAND_LABEL",
          "TWCLI_GBC_COMMAND_LABEL", "TWCLI_GCC_COMMAND_LABEL"})
        QTest::newRow(label) << label << "MS Sans Serif" << 8.25 << true;
    for (const char* tick :
         {"DASH_DAEMON_TICKBOX", "DISABLE_DAEMON_TICKBOX", "UPDATE_EXTERNAL_FILE_TICKBOX",
          "RUN_COMMAND_TICKBOX", "AlwaysOnTopTimer_TICKBOX"})
        QTest::newRow(tick) << tick << "Arial" << 9.75 << true;
    QTest::newRow("P4P_TICKBOX") << "P4P_TICKBOX"
                                 << "MS Sans Serif" << 9.75 << true;
}

void TestSettingsWindow::fonts() {
    QFETCH(QString, name);
    QFETCH(QString, family);
    QFETCH(double, points);
    QFETCH(bool, bold);

    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    const auto* widget = window->findChild<QWidget*>(name);
    QVERIFY(widget);
    // The face asked for first; the platform may substitute its nearest.
    QCOMPARE(widget->font().families().value(0), family);
    QCOMPARE(widget->font().pointSizeF(), points);
    QCOMPARE(widget->font().bold(), bold);
}

void TestSettingsWindow::headerAndHelpColours() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    for (QLabel* title : {window->TARN_WICK_TITLE, window->CLI_UI_TITLE, window->TW_QTD_VERSION,
                          window->TW_CLI_UI_CREATOR, window->TW_CLI_UI_LICENCE}) {
        QCOMPARE(tw::app::background(title), tw::app::colour::Black);
        QCOMPARE(foreground(title), tw::app::colour::Green);
    }
    QCOMPARE(tw::app::background(window->EXE_FILENAME_HELP_LABEL), tw::app::colour::Green);
    QCOMPARE(foreground(window->EXE_FILENAME_HELP_LABEL), tw::app::colour::Black);
    QVERIFY(window->EXE_FILENAME_HELP_LABEL->wordWrap());
    QCOMPARE(foreground(window->Label2), tw::app::colour::Red);
    // The command displays: several lines, locked, with a vertical scroll bar.
    for (QPlainTextEdit* display :
         {window->TWCLI_STOP_COMMAND_TEXTBOX, window->TWCLI_GBC_COMMAND_TEXTBOX,
          window->TWCLI_GCC_COMMAND_TEXTBOX}) {
        QVERIFY(display->isReadOnly());
        QCOMPARE(display->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    // Six separator lines: five across, one down between the columns.
    const auto lines = window->findChildren<QFrame*>(QRegularExpression("^Line[0-9]$"));
    int across = 0, down = 0;
    for (const QFrame* line : lines) {
        across += line->frameShape() == QFrame::HLine;
        down += line->frameShape() == QFrame::VLine;
    }
    QCOMPARE(across, 5);
    QCOMPARE(down, 1);
}

void TestSettingsWindow::emptyStore() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    SettingsWindow& w = *window;

    QCOMPARE(w.windowTitle(), QStringLiteral("TARN-WICK - TW-CLI-UI - SETTINGS"));
    QCOMPARE(w.pos(), QPoint(tw::app::twipsToPixels(1000), tw::app::twipsToPixels(1000)));
    // 1000 twips fall between two pixels; an unmoved window still says 1000.
    QCOMPARE(w.leftTwips(), 1000.0);
    QCOMPARE(w.topTwips(), 1000.0);
    QCOMPARE(w.size(), QSize(tw::app::twipsToPixels(12105 - tw::app::FrameWidthTwips),
                             tw::app::twipsToPixels(8295 - tw::app::FrameHeightTwips)));
    for (const QString& name : UserTexts)
        QCOMPARE(w.findChild<QLineEdit*>(name)->text(), QString());
    const QList<QCheckBox*> ticks = w.findChildren<QCheckBox*>();
    QCOMPARE(ticks.size(), 6);
    for (const QCheckBox* tick : ticks)
        QCOMPARE(tick->isChecked(), tick == w.AlwaysOnTopTimer_TICKBOX);
    QVERIFY(!w.DISABLE_DAEMON_TICKBOX->isEnabled());
    QCOMPARE(w.DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->text(), QString());
    for (QLineEdit* action : {w.UPDATE_EXTERNAL_FILE_TEXTBOX, w.RUN_COMMAND_TEXTBOX}) {
        QVERIFY(!action->isEnabled());
        QVERIFY(action->isReadOnly());
        QCOMPARE(tw::app::background(action), tw::app::colour::LightGrey);
    }
    for (QLineEdit* name : {w.QT_EXE_TEXTBOX, w.DAEMON_EXE_TEXTBOX}) {
        QVERIFY(!name->isEnabled());
        QVERIFY(name->isReadOnly());
    }
    // The keeper stays on: the stored default equals the design tick.
    QVERIFY(rig.window().AlwaysOnTopTimer->isRunning());
    QCOMPARE(w.CLOSE_BUTTON->text(), QStringLiteral("Cancel"));

    // The command displays fill one second after the opening, not before.
    for (auto* timer :
         {w.CLI_STOP_BAT_COMMAND_TIMER, w.CLI_GBC_BAT_COMMAND_TIMER, w.CLI_GCC_BAT_COMMAND_TIMER})
        QCOMPARE(timer->interval(), 1000);
    rig.advance(999);
    QCOMPARE(tw::test::blockCountLine(w), QString());
    rig.advance(1);
    QVERIFY(!tw::test::stopLine(w).isEmpty());
    QVERIFY(!tw::test::blockCountLine(w).isEmpty());
    QVERIFY(!tw::test::connectionCountLine(w).isEmpty());
    // Opening writes nothing.
    QCOMPARE(rig.settings.writtenKeys, QStringList());
}

void TestSettingsWindow::daemonOptionAtLoad_data() {
    QTest::addColumn<QString>("storedDaemon"); // "" = absent
    QTest::addColumn<QString>("storedDisabled");
    QTest::addColumn<bool>("daemonTicked");
    QTest::addColumn<bool>("daemonEnabled");
    QTest::addColumn<bool>("disabledTicked");
    QTest::addColumn<bool>("disabledEnabled");
    QTest::addColumn<QString>("option");

    QTest::newRow("absent") << ""
                            << "" << false << true << false << false << "";
    QTest::newRow("0 0") << "0"
                         << "0" << false << true << false << false << "";
    QTest::newRow("1 0") << "1"
                         << "0" << true << true << false << true << " -daemon=1";
    QTest::newRow("1 1") << "1"
                         << "1" << true << false << true << true << " -daemon=0";
    // Only by editing the store: "Disabled" without "Daemon" comes up clear,
    // so that neither box is greyed for good.
    QTest::newRow("0 1") << "0"
                         << "1" << false << true << false << false << "";
}

void TestSettingsWindow::daemonOptionAtLoad() {
    QFETCH(QString, storedDaemon);
    QFETCH(QString, storedDisabled);
    QFETCH(bool, daemonTicked);
    QFETCH(bool, daemonEnabled);
    QFETCH(bool, disabledTicked);
    QFETCH(bool, disabledEnabled);
    QFETCH(QString, option);

    TestRig rig;
    if (!storedDaemon.isEmpty())
        rig.store("DASH_DAEMON_TICKBOX", storedDaemon);
    if (!storedDisabled.isEmpty())
        rig.store("DISABLE_DAEMON_TICKBOX", storedDisabled);
    rig.start();
    const auto window = tw::test::openSettings(rig);
    QCOMPARE(window->DASH_DAEMON_TICKBOX->isChecked(), daemonTicked);
    QCOMPARE(window->DASH_DAEMON_TICKBOX->isEnabled(), daemonEnabled);
    QCOMPARE(window->DISABLE_DAEMON_TICKBOX->isChecked(), disabledTicked);
    QCOMPARE(window->DISABLE_DAEMON_TICKBOX->isEnabled(), disabledEnabled);
    QCOMPARE(window->DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->text(), option);
    // The option stands in all three lines after the configuration path.
    rig.advance(1000);
    for (const QString& line : {tw::test::stopLine(*window), tw::test::blockCountLine(*window),
                                tw::test::connectionCountLine(*window)})
        QVERIFY2(line.contains(QStringLiteral("-conf=") + option +
                               (line.endsWith(QLatin1String("stop")) ? " stop" : " get")),
                 qPrintable(line));
}

void TestSettingsWindow::daemonOptionByClicks() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    QCheckBox* daemon = window->DASH_DAEMON_TICKBOX;
    QCheckBox* disabled = window->DISABLE_DAEMON_TICKBOX;
    QLineEdit* option = window->DASH_DISABLE_DAEMON_EQUALS_TEXTBOX;

    // A greyed "Disabled" takes no click.
    QTest::mouseClick(disabled, Qt::LeftButton);
    QVERIFY(!disabled->isChecked());

    QTest::mouseClick(daemon, Qt::LeftButton);
    QVERIFY(daemon->isChecked());
    QVERIFY(disabled->isEnabled());
    QCOMPARE(option->text(), QStringLiteral(" -daemon=1"));

    QTest::mouseClick(disabled, Qt::LeftButton);
    QVERIFY(disabled->isChecked());
    QVERIFY(!daemon->isEnabled());
    QCOMPARE(option->text(), QStringLiteral(" -daemon=0"));

    // While "Disabled" is ticked "Daemon" cannot be unticked.
    QTest::mouseClick(daemon, Qt::LeftButton);
    QVERIFY(daemon->isChecked());
    QCOMPARE(option->text(), QStringLiteral(" -daemon=0"));

    QTest::mouseClick(disabled, Qt::LeftButton);
    QVERIFY(!disabled->isChecked());
    QVERIFY(daemon->isEnabled());
    QCOMPARE(option->text(), QStringLiteral(" -daemon=1"));

    QTest::mouseClick(daemon, Qt::LeftButton);
    QVERIFY(!daemon->isChecked());
    QVERIFY(!disabled->isEnabled());
    QVERIFY(!disabled->isChecked());
    QCOMPARE(option->text(), QString());
    // The tooltips stay.
    QCOMPARE(daemon->toolTip(), QStringLiteral("disablewallet="));
    QCOMPARE(disabled->toolTip(), QStringLiteral("!!! DISABLES ALL WALLET FUNCTIONALITY !!!"));
}

void TestSettingsWindow::actionBoxesAtLoad_data() {
    QTest::addColumn<QString>("tick");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("editable");

    for (const auto& [tick, field] :
         {std::pair{"UPDATE_EXTERNAL_FILE_TICKBOX", "UPDATE_EXTERNAL_FILE_TEXTBOX"},
          std::pair{"RUN_COMMAND_TICKBOX", "RUN_COMMAND_TEXTBOX"}}) {
        QTest::newRow(qPrintable(QString(tick) + " 1")) << tick << field << "1" << true;
        QTest::newRow(qPrintable(QString(tick) + " 0")) << tick << field << "0" << false;
        QTest::newRow(qPrintable(QString(tick) + " absent")) << tick << field << "" << false;
    }
}

void TestSettingsWindow::actionBoxesAtLoad() {
    QFETCH(QString, tick);
    QFETCH(QString, field);
    QFETCH(QString, stored);
    QFETCH(bool, editable);

    TestRig rig;
    if (!stored.isEmpty())
        rig.store(tick, stored);
    rig.store(field, QStringLiteral("kept text"));
    rig.start();
    const auto window = tw::test::openSettings(rig);
    auto* box = window->findChild<QLineEdit*>(field);
    QCOMPARE(window->findChild<QCheckBox*>(tick)->isChecked(), editable);
    QCOMPARE(box->text(), QStringLiteral("kept text"));
    QCOMPARE(box->isEnabled(), editable);
    QCOMPARE(box->isReadOnly(), !editable);
    QCOMPARE(tw::app::background(box),
             editable ? tw::app::colour::windowBackground() : tw::app::colour::LightGrey);
}

void TestSettingsWindow::actionBoxKeepsItsText() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    for (const auto& [tick, field] :
         {std::pair{window->UPDATE_EXTERNAL_FILE_TICKBOX, window->UPDATE_EXTERNAL_FILE_TEXTBOX},
          std::pair{window->RUN_COMMAND_TICKBOX, window->RUN_COMMAND_TEXTBOX}}) {
        QTest::mouseClick(tick, Qt::LeftButton);
        QVERIFY(field->isEnabled());
        QVERIFY(!field->isReadOnly());
        QCOMPARE(tw::app::background(field), tw::app::colour::windowBackground());
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("typed"));
        QTest::mouseClick(tick, Qt::LeftButton);
        QVERIFY(!field->isEnabled());
        QVERIFY(field->isReadOnly());
        QCOMPARE(tw::app::background(field), tw::app::colour::LightGrey);
        QCOMPARE(field->text(), QStringLiteral("typed"));
        QTest::mouseClick(tick, Qt::LeftButton);
        QVERIFY(!field->isReadOnly());
        QCOMPARE(field->text(), QStringLiteral("typed"));
    }
}

void TestSettingsWindow::executableNamesFollowP4P_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("editable");
    QTest::newRow("stored 1") << "1" << true;
    QTest::newRow("stored 0") << "0" << false;
}

void TestSettingsWindow::executableNamesFollowP4P() {
    QFETCH(QString, stored);
    QFETCH(bool, editable);

    TestRig rig;
    rig.store("P4P_TICKBOX", stored);
    rig.store("QT_EXE_TEXTBOX", "bitcoin-qt.exe");
    rig.store("DAEMON_EXE_TEXTBOX", "bitcoind.exe");
    rig.start();
    const auto window = tw::test::openSettings(rig);
    QCOMPARE(window->P4P_TICKBOX->isChecked(), editable);
    for (QLineEdit* name : {window->QT_EXE_TEXTBOX, window->DAEMON_EXE_TEXTBOX}) {
        QCOMPARE(name->isEnabled(), editable);
        QCOMPARE(name->isReadOnly(), !editable);
    }
    QCOMPARE(window->QT_EXE_TEXTBOX->text(), QStringLiteral("bitcoin-qt.exe"));
    QCOMPARE(window->DAEMON_EXE_TEXTBOX->text(), QStringLiteral("bitcoind.exe"));

    // A click turns it round.
    const bool mainBefore = rig.window().P4P_TICKBOX->isChecked();
    QTest::mouseClick(window->P4P_TICKBOX, Qt::LeftButton);
    QCOMPARE(window->P4P_TICKBOX->isChecked(), !editable);
    for (QLineEdit* name : {window->QT_EXE_TEXTBOX, window->DAEMON_EXE_TEXTBOX}) {
        QCOMPARE(name->isEnabled(), !editable);
        QCOMPARE(name->isReadOnly(), editable);
    }
    // The main window's own P-4-P is another tick box, left alone.
    QCOMPARE(rig.window().P4P_TICKBOX->isChecked(), mainBefore);
}

void TestSettingsWindow::creditLabelShowsTheContactAddress() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    QCOMPARE(window->TW_CLI_UI_CREATOR->text(), SettingsWindow::CreditText);
    QTest::mouseClick(window->TW_CLI_UI_CREATOR, Qt::LeftButton);
    QCOMPARE(window->TW_CLI_UI_CREATOR->text(),
             QStringLiteral("tw-cli-ui@users.noreply.github.com"));
    // Nothing else.
    QVERIFY(window->isVisible());
    QCOMPARE(window->TW_CLI_UI_LICENCE->text(), QStringLiteral("MIT Licence"));
    QCOMPARE(rig.settings.writtenKeys, QStringList());
}

void TestSettingsWindow::closingWritesOnlyThePosition_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "button";
    QTest::newRow("window system's close") << "close";
    QTest::newRow("Escape") << "escape";
}

void TestSettingsWindow::closingWritesOnlyThePosition() {
    QFETCH(QString, how);

    TestRig rig;
    rig.store("SETTINGS-Left", "1500");
    rig.store("SETTINGS-Top", "3000");
    rig.store("TW_CLI_UI_LOCATION_TEXTBOX", "C:\\OLD");
    rig.start();
    auto window = tw::test::openSettings(rig);
    SettingsWindow& w = *window;
    w.TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("C:\\NEW"));
    QTest::mouseClick(w.RUN_COMMAND_TICKBOX, Qt::LeftButton);
    rig.settings.writtenKeys.clear();

    if (how == "button")
        w.CLOSE_BUTTON->click();
    else if (how == "close")
        w.close();
    else
        QTest::keyClick(&w, Qt::Key_Escape);

    QVERIFY(!w.isVisible());
    QCOMPARE(rig.settings.writtenKeys,
             QStringList({QStringLiteral("SETTINGS-Left"), QStringLiteral("SETTINGS-Top")}));
    QCOMPARE(rig.stored("SETTINGS-Left"), QStringLiteral("1500"));
    QCOMPARE(rig.stored("SETTINGS-Top"), QStringLiteral("3000"));
    QCOMPARE(rig.stored("TW_CLI_UI_LOCATION_TEXTBOX"), QStringLiteral("C:\\OLD"));
    for (auto* timer :
         {w.CLI_STOP_BAT_COMMAND_TIMER, w.CLI_GBC_BAT_COMMAND_TIMER, w.CLI_GCC_BAT_COMMAND_TIMER})
        QVERIFY(!timer->isEnabled());
    // Nothing composes after the close.
    rig.advance(5000);
    QCOMPARE(tw::test::blockCountLine(w), QString());

    // The next opening shows the stored folder again.
    window.reset();
    const auto again = tw::test::openSettings(rig);
    QCOMPARE(again->TW_CLI_UI_LOCATION_TEXTBOX->text(), QStringLiteral("C:\\OLD"));
    QVERIFY(!again->RUN_COMMAND_TICKBOX->isChecked());
}

void TestSettingsWindow::aMovedWindowReopensThereAtTheStoredSize() {
    TestRig rig;
    rig.store("SETTINGS-Height", "9000");
    rig.start();
    auto window = tw::test::openSettings(rig);
    window->move(300, 150);
    window->resize(window->width() + 100, window->height() + 200);
    window->CLOSE_BUTTON->click();
    QCOMPARE(rig.stored("SETTINGS-Left"), QStringLiteral("4500"));
    QCOMPARE(rig.stored("SETTINGS-Top"), QStringLiteral("2250"));
    QVERIFY(!rig.stored("SETTINGS-Width"));
    QCOMPARE(rig.stored("SETTINGS-Height"), QStringLiteral("9000"));
    window.reset();

    const auto again = tw::test::openSettings(rig);
    QCOMPARE(again->pos(), QPoint(300, 150));
    QCOMPARE(again->size(), QSize(tw::app::twipsToPixels(12105 - tw::app::FrameWidthTwips),
                                  tw::app::twipsToPixels(9000 - tw::app::FrameHeightTwips)));
}

void TestSettingsWindow::enlargedWindowShowsTheLowerBand() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    const QRect band = window->CLI_GCC_FULL_LOG_LOCATION_TEXTBOX->geometry();
    QVERIFY(!window->rect().contains(band));
    // The user may enlarge the window to the designed client area.
    QVERIFY(window->isSizeGripEnabled());
    window->resize(tw::app::twipsToPixels(SettingsWindow::DesignClientWidth),
                   tw::app::twipsToPixels(SettingsWindow::DesignClientHeight));
    QCOMPARE(window->height(), tw::app::twipsToPixels(SettingsWindow::DesignClientHeight));
    for (QWidget* lower :
         {static_cast<QWidget*>(window->Label2), static_cast<QWidget*>(window->BACKSLASH_TEXTBOX),
          static_cast<QWidget*>(window->CLI_GCC_FULL_LOG_LOCATION_TEXTBOX)})
        QVERIFY2(window->rect().contains(lower->geometry()), qPrintable(lower->objectName()));
    // ... and edit a fixed piece there: it takes the keys.
    window->CALL_COMMAND_TEXTBOX->setFocus();
    window->CALL_COMMAND_TEXTBOX->selectAll();
    QTest::keyClicks(window->CALL_COMMAND_TEXTBOX, QStringLiteral("exec "));
    QCOMPARE(window->CALL_COMMAND_TEXTBOX->text(), QStringLiteral("exec "));
}

void TestSettingsWindow::reopenedAfterSaveShowsSavedValuesAndCancel() {
    TestRig rig;
    rig.start();
    QString captionAfterSave;
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        // Modal, owned by the main window.
        QVERIFY(w.isModal());
        QCOMPARE(w.parentWidget(), &rig.window());
        w.TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/srv/tw"));
        w.CLI_NAME_TEXTBOX->setText(QStringLiteral("bitcoin-cli"));
        QTest::mouseClick(w.DASH_DAEMON_TICKBOX, Qt::LeftButton);
        QTest::mouseClick(w.RUN_COMMAND_TICKBOX, Qt::LeftButton);
        w.RUN_COMMAND_TEXTBOX->setText(QStringLiteral("notify-send block"));
        w.SAVE_REGISTRY_BUTTON->click();
        captionAfterSave = w.CLOSE_BUTTON->text();
        w.CLOSE_BUTTON->click();
    }));
    QCOMPARE(captionAfterSave, QStringLiteral("Close"));
    QVERIFY(!rig.window().openSettingsWindow());

    QString folder, name, caption, option;
    bool daemon = false, run = false, runEditable = false;
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        folder = w.TW_CLI_UI_LOCATION_TEXTBOX->text();
        name = w.CLI_NAME_TEXTBOX->text();
        daemon = w.DASH_DAEMON_TICKBOX->isChecked();
        option = w.DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->text();
        run = w.RUN_COMMAND_TICKBOX->isChecked();
        runEditable = !w.RUN_COMMAND_TEXTBOX->isReadOnly();
        caption = w.CLOSE_BUTTON->text();
        w.CLOSE_BUTTON->click();
    }));
    QCOMPARE(folder, QStringLiteral("/srv/tw"));
    QCOMPARE(name, QStringLiteral("bitcoin-cli"));
    QVERIFY(daemon);
    QCOMPARE(option, QStringLiteral(" -daemon=1"));
    QVERIFY(run);
    QVERIFY(runEditable);
    QCOMPARE(caption, QStringLiteral("Cancel"));
}

QTEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
