#include "settings/BatchComposer.h"

#include "app/Colours.h"
#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/WindowTimer.h"
#include "settings/SettingsWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace tw::settings {

const QString BatchComposer::StopBatchFailure = QStringLiteral("stop-batch-write");
const QString BatchComposer::BlockCountBatchFailure = QStringLiteral("gbc-batch-write");
const QString BatchComposer::ConnectionCountBatchFailure = QStringLiteral("gcc-batch-write");

namespace {

// Only a changed line replaces the display, so that a selection in it
// survives the ticks.
void show(QPlainTextEdit* display, const QString& line) {
    if (display->toPlainText() != line)
        display->setPlainText(line);
}

// A path with a blank is one argument only in double quotes: cmd.exe would
// take an unquoted log folder "C:\TW Work" for the file "C:\TW" and pass the
// rest to the client. A path without blanks stays as it stands, so lines
// that worked before are written byte for byte as before.
QString quotedIfBlank(const QString& path) {
    if (!path.contains(QLatin1Char(' ')) && !path.contains(QLatin1Char('\t')))
        return path;
    return QLatin1Char('"') + path + QLatin1Char('"');
}

// Why a batch file had no path; the window's message knows it by this.
const QString NoPathMark = QStringLiteral("no path (fill in the TW-CLI-UI folder)");

} // namespace

QString fullPath(const QString& folder, const QString& separator, const QString& fileName) {
    return folder + separator + fileName;
}

BatchComposer::BatchComposer(SettingsWindow& window)
    : QObject(&window), window_(window), services_(window.services()) {
    window_.CLI_STOP_BAT_COMMAND_TIMER->setHandler([this] { CLI_STOP_BAT_COMMAND_TIMER_Timer(); });
    window_.CLI_GBC_BAT_COMMAND_TIMER->setHandler([this] { CLI_GBC_BAT_COMMAND_TIMER_Timer(); });
    window_.CLI_GCC_BAT_COMMAND_TIMER->setHandler([this] { CLI_GCC_BAT_COMMAND_TIMER_Timer(); });
    connect(window_.SAVE_BATS_BUTTON, &QPushButton::clicked, this,
            [this] { SAVE_BATS_BUTTON_Click(); });
}

QString BatchComposer::commandPrefix() const {
    const SettingsWindow& w = window_;
    return w.CALL_COMMAND_TEXTBOX->text() + w.SM_TB->text() + w.CLI_LOCATION_TEXTBOX->text() +
           w.BACKSLASH_TEXTBOX->text() + w.CLI_NAME_TEXTBOX->text() + w.SM_TB->text() +
           w.SPACEBAR_TEXTBOX->text() + w.DASH_CONF_TEXTBOX->text() +
           quotedIfBlank(w.CONF_LOCATION_TEXTBOX->text()) +
           w.DASH_DISABLE_DAEMON_EQUALS_TEXTBOX->text();
}

QString BatchComposer::stopLine() const {
    return commandPrefix() + window_.STOP_CMD_TEXTBOX->text();
}

QString BatchComposer::blockCountLine() const {
    const SettingsWindow& w = window_;
    return commandPrefix() + w.GBC_ARROW_TEXTBOX->text() +
           quotedIfBlank(fullPath(w.TW_CLI_UI_LOCATION_TEXTBOX->text(), w.BACKSLASH_TEXTBOX->text(),
                                  w.CLI_UI_GBC_LOG_TEXTBOX->text()));
}

QString BatchComposer::connectionCountLine() const {
    const SettingsWindow& w = window_;
    return commandPrefix() + w.GCC_ARROW_TEXTBOX->text() +
           quotedIfBlank(fullPath(w.TW_CLI_UI_LOCATION_TEXTBOX->text(), w.BACKSLASH_TEXTBOX->text(),
                                  w.CLI_UI_GCC_LOG_TEXTBOX->text()));
}

void BatchComposer::CLI_STOP_BAT_COMMAND_TIMER_Timer() {
    show(window_.TWCLI_STOP_COMMAND_TEXTBOX, stopLine());
}

void BatchComposer::CLI_GBC_BAT_COMMAND_TIMER_Timer() {
    show(window_.TWCLI_GBC_COMMAND_TEXTBOX, blockCountLine());
}

void BatchComposer::CLI_GCC_BAT_COMMAND_TIMER_Timer() {
    show(window_.TWCLI_GCC_COMMAND_TEXTBOX, connectionCountLine());
}

QString BatchComposer::batchFileTarget(const QLineEdit* settingsField, const QLineEdit* mainField,
                                       const QLineEdit* fileName) const {
    if (window_.holdsFullPath(settingsField))
        return settingsField->text();
    // Not saved yet in this opening: the batch file goes where the main
    // window will run it.
    if (!mainField->text().isEmpty())
        return mainField->text();
    // Nothing saved ever: where the next Save To Registry will point the
    // main window. Without a folder there is no such place (the path rule
    // would name a file in the root folder).
    const QString folder = window_.TW_CLI_UI_LOCATION_TEXTBOX->text();
    if (folder.isEmpty())
        return {};
    return fullPath(folder, window_.BACKSLASH_TEXTBOX->text(), fileName->text());
}

QString BatchComposer::writeBatchFile(const QString& key, const QString& what, const QString& path,
                                      const QString& line) {
    platform::FileSystem& files = services_.platform.files;
    const QString control = window_.SAVE_BATS_BUTTON->objectName();
    QString failure;
    if (path.isEmpty()) {
        failure = QStringLiteral("%1 batch file not written: %2").arg(what, NoPathMark);
    } else {
        // One line, CR LF, in the local 8-bit encoding, written by the same
        // rules as the external file (a symbolic link only when it is the
        // user's own).
        const platform::Result written =
            files.writeFile(path, files.encodeLocal(line + QStringLiteral("\r\n")));
        if (written) {
            services_.diagnostics.clear(key);
            return {};
        }
        failure = QStringLiteral("%1 batch file %2 not written: %3").arg(what, path, written.error);
    }
    services_.diagnostics.report(key, control, failure);
    return failure;
}

void BatchComposer::showOutcome(const QStringList& shown, const QStringList& failures) {
    // In the window itself, beside the button, where the user looks after
    // the click: the help label in the button row gives way to what was not
    // written and why (the whole text in its tip), on yellow; a click that
    // writes every file brings the help back.
    QLabel* label = window_.EXE_FILENAME_HELP_LABEL;
    if (helpText_.isEmpty())
        helpText_ = label->text();
    if (shown.isEmpty()) {
        label->setText(helpText_);
        label->setToolTip({});
        app::setBackground(label, app::colour::Green);
        return;
    }
    QString text;
    if (shown.size() < failures.size())
        text = SettingsWindow::tr("NOT ALL WRITTEN: %1").arg(shown.join(QStringLiteral("; ")));
    else if (std::all_of(failures.begin(), failures.end(),
                         [](const QString& f) { return f.contains(NoPathMark); }))
        text =
            SettingsWindow::tr("NOTHING WRITTEN: FILL IN THE TW-CLI-UI FOLDER, THEN SAVE TO .BAT "
                               "FILES AGAIN.");
    else
        text = SettingsWindow::tr("NOTHING WRITTEN: %1").arg(shown.join(QStringLiteral("; ")));
    label->setText(text);
    label->setToolTip(shown.join(QLatin1Char('\n')));
    app::setBackground(label, app::colour::Yellow);
}

void BatchComposer::SAVE_BATS_BUTTON_Click() {
    SettingsWindow& w = window_;
    app::MainWindow& main = w.mainWindow();
    // Compose first: clicked within a second of opening, the displays would
    // still be empty and the files would lose their command lines.
    CLI_STOP_BAT_COMMAND_TIMER_Timer();
    CLI_GBC_BAT_COMMAND_TIMER_Timer();
    CLI_GCC_BAT_COMMAND_TIMER_Timer();
    // Each file on its own: one that cannot be written does not keep the
    // others from being written.
    const QStringList failures = {
        writeBatchFile(StopBatchFailure, QStringLiteral("stop"),
                       batchFileTarget(w.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX,
                                       main.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX,
                                       w.CLI_STOP_BAT_FILENAME_TEXTBOX),
                       w.TWCLI_STOP_COMMAND_TEXTBOX->toPlainText()),
        writeBatchFile(BlockCountBatchFailure, QStringLiteral("block-count"),
                       batchFileTarget(w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX,
                                       main.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX,
                                       w.CLI_GBC_BAT_FILENAME_TEXTBOX),
                       w.TWCLI_GBC_COMMAND_TEXTBOX->toPlainText()),
        writeBatchFile(ConnectionCountBatchFailure, QStringLiteral("connection-count"),
                       batchFileTarget(w.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX,
                                       main.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX,
                                       w.CLI_GCC_BAT_FILENAME_TEXTBOX),
                       w.TWCLI_GCC_COMMAND_TEXTBOX->toPlainText()),
    };
    // The outcome of this click, on the button itself (the diagnostics say a
    // repeated failure only once).
    QStringList shown;
    for (const QString& failure : failures) {
        if (!failure.isEmpty())
            shown.append(failure);
    }
    w.SAVE_BATS_BUTTON->setToolTip(shown.join(QLatin1Char('\n')));
    showOutcome(shown, failures);
    w.CLOSE_BUTTON->setText(SettingsWindow::tr("Close"));
}

} // namespace tw::settings
