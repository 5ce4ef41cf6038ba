// The settings window's controls: one table, in twips, with each control's
// kind, caption, tooltip, look and design state.

#include "settings/SettingsWindow.h"

#include "app/Accessibility.h"
#include "app/Colours.h"
#include "app/Twips.h"
#include "app/WrapWidgets.h"
#include "platform/Platform.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <type_traits>
#include <variant>

namespace tw::settings {

namespace {

enum class Look {
    Plain,       // the window's font
    Title,       // 12 pt bold, green on black
    FieldLabel,  // MS Sans Serif 8.25 pt bold
    Tick,        // Arial 9.75 pt bold
    TickSans,    // MS Sans Serif 9.75 pt bold
    Help,        // black on green, word-wrapped
    Warning,     // red text
    CommandLine, // multi-line, vertical scroll bar
    HLine,
    VLine,
};

// Design state.
enum Init : unsigned {
    Normal = 0,
    Disabled = 1,
    Locked = 2,     // read-only: shown, selectable, not editable
    Grey = 4,       // light grey background
    Ticked = 8,     // tick box ticked at design
    NameAsTip = 16, // lower band: the tooltip names the field
};

using Member = std::variant<QLabel * SettingsWindow::*, QLineEdit * SettingsWindow::*,
                            QPlainTextEdit * SettingsWindow::*, QCheckBox * SettingsWindow::*,
                            QPushButton * SettingsWindow::*, QFrame * SettingsWindow::*>;

struct Control {
    Member member;
    const char* name;
    Look look;
    QString text;
    QString tip;
    QRect twips; // left, top, width, height
    unsigned init;
};

#define TW_CONTROL(NAME) &SettingsWindow::NAME, #NAME

// The lower band: the warning on its first row, then the fields in three
// columns, row by row.
constexpr int LowerRowTop = SettingsWindow::LowerBandTop + 360;
constexpr int LowerRowPitch = 400;
constexpr int LowerColumnWidth = 3855;
constexpr int LowerColumnPitch = 3960;
QRect lowerBand(int slot) {
    return {120 + (slot % 3) * LowerColumnPitch, LowerRowTop + (slot / 3) * LowerRowPitch,
            LowerColumnWidth, 375};
}

QFont fontOf(const QStringList& families, double points, bool bold) {
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// MS Sans Serif and Arial, or the platform's nearest faces.
const QStringList SansSerif = {
    QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
    QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")};
const QStringList Arial = {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                           QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")};

} // namespace

void SettingsWindow::buildControls() {
    setFont(fontOf(SansSerif, 8.25, false));

    const QString none;
    // clang-format off
    const Control controls[] = {
        // Header.
        {TW_CONTROL(TARN_WICK_TITLE), Look::Title, QStringLiteral("TARN-WICK"), none, {120, 120, 5895, 360}, Normal},
        {TW_CONTROL(CLI_UI_TITLE), Look::Title, QStringLiteral("TW-CLI-UI"), none, {6120, 120, 5775, 360}, Normal},
        {TW_CONTROL(TW_QTD_VERSION), Look::Title, QStringLiteral("Version 1.1"), none, {120, 480, 3135, 345}, Normal},
        {TW_CONTROL(TW_CLI_UI_CREATOR), Look::Title, tr(CreditText.toUtf8().constData()), none, {3360, 480, 5415, 330}, Normal},
        {TW_CONTROL(TW_CLI_UI_LICENCE), Look::Title, tr(LicenceText.toUtf8().constData()), none, {8880, 480, 3015, 345}, Normal},

        // Folders.
        {TW_CONTROL(TW_CLI_UI_FOLDER_LABEL), Look::FieldLabel, tr("TW-CLI-UI  FOLDER - eg C:\\TARN-WICK\\TW-CLI-UI\\BTC"), none, {120, 960, 5775, 255}, Normal},
        {TW_CONTROL(CLI_LOCATION_LABEL), Look::FieldLabel, tr("CLI Folder- eg C:\\Program Files\\Bitcoin\\Daemon"), none, {6120, 960, 5775, 255}, Normal},
        {TW_CONTROL(TW_CLI_UI_LOCATION_TEXTBOX), Look::Plain, none, none, {120, 1200, 5775, 375}, Normal},
        {TW_CONTROL(CLI_LOCATION_TEXTBOX), Look::Plain, none, none, {6120, 1200, 5775, 375}, Normal},

        // Configuration file, client name, daemon option.
        {TW_CONTROL(CONF_LOCATION_LABEL), Look::FieldLabel, tr("WALLET.CONF - File Location - eg C:\\BC-CONF\\BTC\\bitcoin.conf"), none, {120, 1800, 5775, 255}, Normal},
        {TW_CONTROL(DAEMOND_NAME_LABEL), Look::FieldLabel, tr("CLI Filename - eg bitcoin-cli.exe"), none, {6120, 1800, 3375, 255}, Normal},
        {TW_CONTROL(DASH_DAEMON_TICKBOX), Look::Tick, tr("Daemon"), QStringLiteral("disablewallet="), {10560, 1920, 1215, 255}, Normal},
        {TW_CONTROL(CONF_LOCATION_TEXTBOX), Look::Plain, none, none, {120, 2040, 5775, 375}, Normal},
        {TW_CONTROL(CLI_NAME_TEXTBOX), Look::Plain, none, none, {6120, 2040, 4215, 375}, Normal},
        {TW_CONTROL(DISABLE_DAEMON_TICKBOX), Look::Tick, tr("Disabled"), tr("!!! DISABLES ALL WALLET FUNCTIONALITY !!!"), {10560, 2160, 1215, 255}, Disabled},

        // The actions after each block-count query.
        {TW_CONTROL(UPDATE_EXTERNAL_FILE_TICKBOX), Look::Tick, tr("Also Update External File When BlockCount Changes"), none, {240, 2640, 5415, 255}, Normal},
        {TW_CONTROL(RUN_COMMAND_TICKBOX), Look::Tick, tr("Also Run Command When BlockCount Changes"), none, {6240, 2640, 4815, 255}, Normal},
        {TW_CONTROL(UPDATE_EXTERNAL_FILE_TEXTBOX), Look::Plain, none, none, {120, 2880, 5775, 375}, Disabled | Locked | Grey},
        {TW_CONTROL(RUN_COMMAND_TEXTBOX), Look::Plain, none, none, {6120, 2880, 5775, 375}, Disabled | Locked | Grey},

        // Pause-4-Process and the executable names.
        {TW_CONTROL(P4P_TICKBOX), Look::TickSans, tr("\"Pause-4-Process\" - QT / DAEMON - Before Exit"), none, {480, 3480, 5415, 615}, Normal},
        {TW_CONTROL(QT_EXE_LABEL), Look::FieldLabel, tr("QT - \".exe\" FILENAME"), none, {6120, 3480, 2655, 375}, Normal},
        {TW_CONTROL(Label1), Look::FieldLabel, tr("DAEMON -  \".exe\" FILENAME"), none, {8880, 3480, 2655, 375}, Normal},
        {TW_CONTROL(QT_EXE_TEXTBOX), Look::Plain, none, none, {6120, 3720, 2055, 375}, Disabled | Locked},
        {TW_CONTROL(DAEMON_EXE_TEXTBOX), Look::Plain, none, none, {8880, 3720, 2655, 375}, Disabled | Locked},

        // The generated command lines.
        {TW_CONTROL(TWCLI_STOP_COMMAND_LABEL), Look::FieldLabel, tr("!!! GENERATED RUN COMMAND -  CLI-UI-STOP.BAT  !!!"), none, {240, 4320, 4935, 255}, Normal},
        {TW_CONTROL(TWCLI_STOP_COMMAND_TEXTBOX), Look::CommandLine, none, none, {120, 4560, 11775, 495}, Locked},
        {TW_CONTROL(TWCLI_GBC_COMMAND_LABEL), Look::FieldLabel, tr("!!! GENERATED RUN COMMAND -  CLI-UI-GBC.BAT !!!"), none, {240, 5160, 4815, 255}, Normal},
        {TW_CONTROL(TWCLI_GBC_COMMAND_TEXTBOX), Look::CommandLine, none, none, {120, 5400, 11775, 495}, Locked},
        {TW_CONTROL(TWCLI_GCC_COMMAND_LABEL), Look::FieldLabel, tr("!!! GENERATED RUN COMMAND - CLI-UI-GCC.BAT !!!"), none, {240, 6000, 4815, 255}, Normal},
        {TW_CONTROL(TWCLI_GCC_COMMAND_TEXTBOX), Look::CommandLine, none, none, {120, 6240, 11775, 495}, Locked},

        // Button row.
        {TW_CONTROL(EXE_FILENAME_HELP_LABEL), Look::Help, tr("FOR MULTIPLE CONFIGURATIONS, COPY TO A NEW FOLDER AND NEW FILENAME, RUN, AND CONFIGURE."), none, {240, 7080, 5655, 615}, Normal},
        {TW_CONTROL(SAVE_REGISTRY_BUTTON), Look::Plain, tr("Save To Registry"), none, {6120, 7080, 1455, 615}, Normal},
        {TW_CONTROL(SAVE_BATS_BUTTON), Look::Plain, tr("Save To .BAT Files"), none, {7800, 7080, 1455, 615}, Normal},
        {TW_CONTROL(AlwaysOnTopTimer_TICKBOX), Look::Tick, tr("Always On Top"), none, {9480, 7080, 1095, 495}, Ticked},
        {TW_CONTROL(CLOSE_BUTTON), Look::Plain, tr("Cancel"), none, {10680, 7080, 1095, 615}, Normal},

        // Separators: under the folders (left half), between the rows, above
        // the button row, and between the two columns.
        {TW_CONTROL(Line1), Look::HLine, none, none, {120, 1665, 5775, 30}, Normal},
        {TW_CONTROL(Line2), Look::HLine, none, none, {120, 2505, 11775, 30}, Normal},
        {TW_CONTROL(Line3), Look::HLine, none, none, {120, 3345, 11775, 30}, Normal},
        {TW_CONTROL(Line4), Look::HLine, none, none, {120, 4185, 11775, 30}, Normal},
        {TW_CONTROL(Line5), Look::HLine, none, none, {120, 6825, 11775, 30}, Normal},
        {TW_CONTROL(Line6), Look::VLine, none, none, {5985, 840, 30, 2520}, Normal},

        // Lower band.
        {TW_CONTROL(Label2), Look::Warning, tr("!!! ALWAYS TRY TO SAFELY SHUTDOWN DAEMON BEFORE CLOSING OUTPUT WINDOW OR YOUR BLOCKCHAIN MAY GET CORRUPTED !!!"), none, {120, LowerBandTop, 11775, 255}, Normal},
        {TW_CONTROL(BACKSLASH_TEXTBOX), Look::Plain, platform::pathSeparator(), none, lowerBand(0), NameAsTip},
        {TW_CONTROL(SPACEBAR_TEXTBOX), Look::Plain, QStringLiteral(" "), none, lowerBand(1), NameAsTip},
        {TW_CONTROL(SM_TB), Look::Plain, QStringLiteral("\""), none, lowerBand(2), NameAsTip},
        {TW_CONTROL(CALL_COMMAND_TEXTBOX), Look::Plain, QStringLiteral("call "), none, lowerBand(3), NameAsTip},
        {TW_CONTROL(DASH_CONF_TEXTBOX), Look::Plain, QStringLiteral("-conf="), none, lowerBand(4), NameAsTip},
        {TW_CONTROL(STOP_CMD_TEXTBOX), Look::Plain, QStringLiteral(" stop"), none, lowerBand(5), NameAsTip},
        {TW_CONTROL(GBC_ARROW_TEXTBOX), Look::Plain, QStringLiteral(" getblockcount > "), none, lowerBand(6), NameAsTip},
        {TW_CONTROL(GCC_ARROW_TEXTBOX), Look::Plain, QStringLiteral(" getconnectioncount > "), none, lowerBand(7), NameAsTip},
        {TW_CONTROL(DASH_DISABLE_DAEMON_EQUALS_TEXTBOX), Look::Plain, none, none, lowerBand(8), NameAsTip},
        {TW_CONTROL(CLI_STOP_BAT_FILENAME_TEXTBOX), Look::Plain, QStringLiteral("CLI-UI-STOP.BAT"), none, lowerBand(9), NameAsTip},
        {TW_CONTROL(CLI_GBC_BAT_FILENAME_TEXTBOX), Look::Plain, QStringLiteral("CLI-UI-GBC.BAT"), none, lowerBand(10), NameAsTip},
        {TW_CONTROL(CLI_GCC_BAT_FILENAME_TEXTBOX), Look::Plain, QStringLiteral("CLI-UI-GCC.BAT"), none, lowerBand(11), NameAsTip},
        {TW_CONTROL(CLI_UI_GBC_LOG_TEXTBOX), Look::Plain, QStringLiteral("CLI-UI-GBC.LOG"), none, lowerBand(12), NameAsTip},
        {TW_CONTROL(CLI_UI_GCC_LOG_TEXTBOX), Look::Plain, QStringLiteral("CLI-UI-GCC.LOG"), none, lowerBand(13), NameAsTip},
        // The full paths hold their own names until Save To Registry
        // composes them.
        {TW_CONTROL(CLI_STOP_BAT_FULL_LOCATION_TEXTBOX), Look::Plain, QStringLiteral("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX"), none, lowerBand(14), NameAsTip},
        {TW_CONTROL(CLI_GBC_FULL_BAT_LOCATION_TEXTBOX), Look::Plain, QStringLiteral("CLI_GBC_FULL_BAT_LOCATION_TEXTBOX"), none, lowerBand(15), NameAsTip},
        {TW_CONTROL(CLI_GCC_FULL_BAT_LOCATION_TEXTBOX), Look::Plain, QStringLiteral("CLI_GCC_FULL_BAT_LOCATION_TEXTBOX"), none, lowerBand(16), NameAsTip},
        {TW_CONTROL(CLI_GBC_FULL_LOG_LOCATION_TEXTBOX), Look::Plain, QStringLiteral("CLI_GBC_FULL_LOG_LOCATION_TEXTBOX"), none, lowerBand(17), NameAsTip},
        {TW_CONTROL(CLI_GCC_FULL_LOG_LOCATION_TEXTBOX), Look::Plain, QStringLiteral("CLI_GCC_FULL_LOG_LOCATION_TEXTBOX"), none, lowerBand(18), NameAsTip},
    };
    // clang-format on

    const QFont title = fontOf(Arial, 12, true);
    const QFont fieldLabel = fontOf(SansSerif, 8.25, true);
    const QFont tick = fontOf(Arial, 9.75, true);
    const QFont tickSans = fontOf(SansSerif, 9.75, true);

    for (const Control& control : controls) {
        QWidget* widget = std::visit(
            [&](auto member) -> QWidget* {
                using Widget =
                    std::remove_pointer_t<std::remove_reference_t<decltype(this->*member)>>;
                Widget* created = nullptr;
                if constexpr (std::is_same_v<Widget, QCheckBox>)
                    created = new app::WrapCheckBox(this);
                else
                    created = new Widget(this);
                this->*member = created;
                if constexpr (std::is_same_v<Widget, QPlainTextEdit>) {
                    created->setPlainText(control.text);
                } else if constexpr (std::is_same_v<Widget, QFrame>) {
                    created->setFrameShape(control.look == Look::VLine ? QFrame::VLine
                                                                       : QFrame::HLine);
                    created->setFrameShadow(QFrame::Sunken);
                } else {
                    created->setText(control.text);
                }
                if constexpr (std::is_same_v<Widget, QLineEdit> ||
                              std::is_same_v<Widget, QPlainTextEdit>) {
                    created->setReadOnly(control.init & Locked);
                }
                if constexpr (std::is_same_v<Widget, QCheckBox>) {
                    created->setChecked(control.init & Ticked);
                }
                if constexpr (std::is_same_v<Widget, QPushButton>) {
                    created->setAutoDefault(false);
                }
                return created;
            },
            control.member);

        widget->setObjectName(QLatin1String(control.name));
        widget->setGeometry(app::twipsRect(control.twips.x(), control.twips.y(),
                                           control.twips.width(), control.twips.height()));
        widget->setToolTip(control.init & NameAsTip ? QLatin1String(control.name) : control.tip);
        // The lower band's fields have no labels: an empty one shows its name.
        if (control.init & NameAsTip) {
            if (auto* field = qobject_cast<QLineEdit*>(widget))
                field->setPlaceholderText(QLatin1String(control.name));
        }
        // The lower band's fields are named and described for a person, not
        // by their identifiers.
        if (control.init & NameAsTip) {
            widget->setAccessibleName(app::fieldName(widget->objectName()));
            widget->setAccessibleDescription(app::fieldDescription(widget->objectName()));
        }
        widget->setEnabled(!(control.init & Disabled));
        if (control.init & Grey)
            app::setBackground(widget, app::colour::LightGrey);

        switch (control.look) {
        case Look::Title: {
            auto* label = static_cast<QLabel*>(widget);
            label->setFont(title);
            label->setAlignment(Qt::AlignCenter);
            app::setBackground(label, app::colour::Black);
            app::setForeground(label, app::colour::Green);
            break;
        }
        case Look::FieldLabel:
            // From the top left, so that a field placed over a label's lower
            // part leaves its text whole.
            widget->setFont(fieldLabel);
            static_cast<QLabel*>(widget)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            break;
        case Look::Tick:
            widget->setFont(tick);
            break;
        case Look::TickSans:
            widget->setFont(tickSans);
            break;
        case Look::Help: {
            auto* label = static_cast<QLabel*>(widget);
            label->setWordWrap(true);
            app::setBackground(label, app::colour::Green);
            app::setForeground(label, app::colour::Black);
            break;
        }
        case Look::Warning: {
            auto* label = static_cast<QLabel*>(widget);
            label->setWordWrap(true);
            app::setForeground(label, app::colour::Red);
            break;
        }
        case Look::CommandLine: {
            auto* box = static_cast<QPlainTextEdit*>(widget);
            box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            // Read-only: off the Tab chain, still selectable and copyable.
            box->setFocusPolicy(Qt::ClickFocus);
            break;
        }
        case Look::Plain:
        case Look::HLine:
        case Look::VLine:
            break;
        }
    }

    // Screen readers name each field by its label, or by what it holds.
    const std::pair<QLabel*, QWidget*> labelled[] = {
        {TW_CLI_UI_FOLDER_LABEL, TW_CLI_UI_LOCATION_TEXTBOX},
        {CLI_LOCATION_LABEL, CLI_LOCATION_TEXTBOX},
        {CONF_LOCATION_LABEL, CONF_LOCATION_TEXTBOX},
        {DAEMOND_NAME_LABEL, CLI_NAME_TEXTBOX},
        {QT_EXE_LABEL, QT_EXE_TEXTBOX},
        {Label1, DAEMON_EXE_TEXTBOX},
        {TWCLI_STOP_COMMAND_LABEL, TWCLI_STOP_COMMAND_TEXTBOX},
        {TWCLI_GBC_COMMAND_LABEL, TWCLI_GBC_COMMAND_TEXTBOX},
        {TWCLI_GCC_COMMAND_LABEL, TWCLI_GCC_COMMAND_TEXTBOX},
    };
    for (const auto& [label, field] : labelled)
        app::nameByLabel(label, field);
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control->accessibleName().isEmpty())
            control->setAccessibleName(app::fieldName(control->objectName()));
    }
}

#undef TW_CONTROL

} // namespace tw::settings
