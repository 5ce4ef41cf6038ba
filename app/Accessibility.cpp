#include "app/Accessibility.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QLabel>
#include <QWidget>

namespace tw::app {

namespace {

constexpr char Context[] = "Accessibility";

enum class Holds { Other, Piece, FileName, FullPath };

struct Field {
    const char* objectName;
    const char* name;
    Holds holds;
};

// clang-format off
const Field Fields[] = {
    {"AUTORUN_TIMER_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Countdown"), Holds::Other},
    {"QT_EXE_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Wallet program"), Holds::Other},
    {"DAEMON_EXE_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Daemon program"), Holds::Other},
    {"CLI_NAME_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Client program"), Holds::Other},
    {"UPDATE_EXTERNAL_FILE_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "External file"), Holds::Other},
    {"RUN_COMMAND_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Command to run"), Holds::Other},
    {"BACKSLASH_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Path separator"), Holds::Piece},
    {"SPACEBAR_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Blank"), Holds::Piece},
    {"SM_TB", QT_TRANSLATE_NOOP("Accessibility", "Quote"), Holds::Piece},
    {"CALL_COMMAND_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Call"), Holds::Piece},
    {"DASH_CONF_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Configuration option"), Holds::Piece},
    {"STOP_CMD_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Stop command"), Holds::Piece},
    {"GBC_ARROW_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Block-count command and log redirection"), Holds::Piece},
    {"GCC_ARROW_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Connection-count command and log redirection"), Holds::Piece},
    {"DASH_DISABLE_DAEMON_EQUALS_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Daemon option"), Holds::Piece},
    {"CLI_STOP_BAT_FILENAME_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Stop batch file name"), Holds::FileName},
    {"CLI_GBC_BAT_FILENAME_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Block-count batch file name"), Holds::FileName},
    {"CLI_GCC_BAT_FILENAME_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Connection-count batch file name"), Holds::FileName},
    {"CLI_UI_GBC_LOG_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Block-count log file name"), Holds::FileName},
    {"CLI_UI_GCC_LOG_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Connection-count log file name"), Holds::FileName},
    {"CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Stop batch file path"), Holds::FullPath},
    {"CLI_GBC_FULL_BAT_LOCATION_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Block-count batch file path"), Holds::FullPath},
    {"CLI_GCC_FULL_BAT_LOCATION_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Connection-count batch file path"), Holds::FullPath},
    {"CLI_GBC_FULL_LOG_LOCATION_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Block-count log file path"), Holds::FullPath},
    {"CLI_GCC_FULL_LOG_LOCATION_TEXTBOX", QT_TRANSLATE_NOOP("Accessibility", "Connection-count log file path"), Holds::FullPath},
};
// clang-format on

const Field* find(const QString& objectName) {
    for (const Field& field : Fields)
        if (objectName == QLatin1String(field.objectName))
            return &field;
    return nullptr;
}

QAccessibleInterface* plainWindow(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    // Asked class by class from the object's own up: a widget of a kind Qt
    // knows better (a dialog, a label) was answered before it got here.
    if (className != QLatin1String("QWidget") || !widget || !widget->isWindow())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

} // namespace

void readPlainWindowsAsWindows() {
    static const bool installed = [] {
        QAccessible::installFactory(plainWindow);
        return true;
    }();
    Q_UNUSED(installed);
}

void nameByLabel(QLabel* label, QWidget* field) {
    label->setBuddy(field);
    QString name = label->text().trimmed();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    field->setAccessibleName(name.trimmed());
}

QString fieldName(const QString& objectName) {
    const Field* field = find(objectName);
    return field ? QCoreApplication::translate(Context, field->name) : QString();
}

QString fieldDescription(const QString& objectName) {
    const Field* field = find(objectName);
    switch (field ? field->holds : Holds::Other) {
    case Holds::Piece:
        return QCoreApplication::translate(Context, "Fixed piece of the generated command lines");
    case Holds::FileName:
        return QCoreApplication::translate(Context, "File name in the TW-CLI-UI folder");
    case Holds::FullPath:
        return QCoreApplication::translate(
            Context, "Full path, composed by Save To Registry from the TW-CLI-UI folder and "
                     "the file name");
    case Holds::Other:
        break;
    }
    return {};
}

void describeState(QWidget* control, const QString& state) {
    if (control && control->accessibleDescription() != state)
        control->setAccessibleDescription(state);
}

} // namespace tw::app
