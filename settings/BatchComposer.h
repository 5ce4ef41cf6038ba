#pragma once
#include "app/Services.h"

#include <QObject>
#include <QString>

class QLineEdit;

namespace tw::settings {

class SettingsWindow;

// Path rule: folder, then the separator piece, then the file name; plain
// concatenation, nothing trimmed or checked.
QString fullPath(const QString& folder, const QString& separator, const QString& fileName);

// The three client command lines, kept up to date once a second by the
// settings window's composer timers, and the Save To .BAT Files button that
// writes them into the three batch files.
class BatchComposer : public QObject {
    Q_OBJECT
public:
    explicit BatchComposer(SettingsWindow& window);

    // The lines as the pieces in the window compose them right now.
    QString commandPrefix() const;
    QString stopLine() const;
    QString blockCountLine() const;
    QString connectionCountLine() const;

    // Where Save To .BAT Files writes a batch file, given the settings
    // window's full-path field of that file: the field's text once Save To
    // Registry composed it in this opening (or the user typed it); until
    // then the path that the main window runs (its field of the same name),
    // and where that is empty, the path composed from the folder field.
    // Empty when there is nothing to write to.
    QString batchFileTarget(const QLineEdit* settingsField, const QLineEdit* mainField,
                            const QLineEdit* fileName) const;

    void CLI_STOP_BAT_COMMAND_TIMER_Timer();
    void CLI_GBC_BAT_COMMAND_TIMER_Timer();
    void CLI_GCC_BAT_COMMAND_TIMER_Timer();
    void SAVE_BATS_BUTTON_Click();

    // Diagnostics keys of the three batch files.
    static const QString StopBatchFailure;
    static const QString BlockCountBatchFailure;
    static const QString ConnectionCountBatchFailure;

private:
    // The failure, or empty when the file was written.
    QString writeBatchFile(const QString& key, const QString& what, const QString& path,
                           const QString& line);
    // The click's outcome in the button row: what was not written, or the
    // help text again.
    void showOutcome(const QStringList& shown, const QStringList& failures);

    SettingsWindow& window_;
    app::Services services_;
    QString helpText_;
};

} // namespace tw::settings
