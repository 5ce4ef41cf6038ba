#include "panel/CommandLine.h"

#include <QFileInfo>
#include <QtGui/qtguiglobal.h>

#include <optional>

namespace tw::panel::commandline {

namespace {

// Qt's options as Qt 6 reads them (QGuiApplication, QApplication, the xcb
// platform), each with one dash or two.
const QStringList QtOptionsWithValue = {
    QStringLiteral("platform"),      QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"), QStringLiteral("qwindowgeometry"),
    QStringLiteral("geometry"),      QStringLiteral("qwindowtitle"),
    QStringLiteral("title"),         QStringLiteral("qwindowicon"),
    QStringLiteral("icon"),          QStringLiteral("plugin"),
    QStringLiteral("session"),       QStringLiteral("style"),
    QStringLiteral("stylesheet"),    QStringLiteral("display"),
    QStringLiteral("name"),          QStringLiteral("visual"),
    QStringLiteral("qmljsdebugger")};
const QStringList QtFlags = {QStringLiteral("reverse"),     QStringLiteral("testability"),
                             QStringLiteral("widgetcount"), QStringLiteral("nograb"),
                             QStringLiteral("dograb"),      QStringLiteral("qdevel"),
                             QStringLiteral("qdebug")};
// Those that also take their value after "=".
const QStringList QtOptionsWithEquals = {QStringLiteral("style"), QStringLiteral("stylesheet"),
                                         QStringLiteral("qmljsdebugger")};

Reading wrong(const QString& problem) {
    return {Asked::Wrong, problem, {}};
}

struct NodeOption {
    QLatin1String name;
    Asked asked;
    QLatin1String values; // as the usage names them
};
const NodeOption NodeOptions[] = {
    {QLatin1String("--add-node"), Asked::AddNode, QLatin1String("NAME")},
    {QLatin1String("--remove-node"), Asked::RemoveNode, QLatin1String("NAME")},
    {QLatin1String("--list-nodes"), Asked::ListNodes, QLatin1String("")},
    {QLatin1String("--node-autostart"), Asked::NodeAutostart, QLatin1String("NAME on|off")},
};

// A node option, which takes the whole command line: the option first, then
// exactly its values.
std::optional<Reading> readNodeOption(const QStringList& arguments) {
    for (const NodeOption& option : NodeOptions) {
        if (!arguments.contains(option.name))
            continue;
        const qsizetype wanted = option.values.isEmpty() ? 0 : option.values.count(u' ') + 1;
        const QStringList values = arguments.mid(1);
        if (arguments.first() != option.name || values.size() != wanted ||
            (option.asked == Asked::NodeAutostart && values.at(1) != QLatin1String("on") &&
             values.at(1) != QLatin1String("off"))) {
            const QString use = option.values.isEmpty()
                                    ? QString(option.name)
                                    : QStringLiteral("%1 %2").arg(option.name, option.values);
            return wrong(QStringLiteral("%1 is used as \"%2\", with no other argument")
                             .arg(option.name, use));
        }
        return Reading{option.asked, {}, values};
    }
    return std::nullopt;
}

// The option's name without its one or two dashes.
QString optionName(const QString& argument) {
    return argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
}

// "-platform=NAME" or "--platform=NAME": the position of NAME, else -1.
qsizetype platformValueAt(const QString& argument) {
    for (const QLatin1String form : {QLatin1String("-platform="), QLatin1String("--platform=")}) {
        if (argument.startsWith(form))
            return form.size();
    }
    return -1;
}

} // namespace

Reading read(const QStringList& arguments) {
    if (const std::optional<Reading> node = readNodeOption(arguments))
        return *node;
    if (arguments.contains(QStringLiteral("--check")))
        return {Asked::Check, {}, {}};
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return {Asked::Help, {}, {}};
        if (argument == QLatin1String("--version"))
            return {Asked::Version, {}, {}};
        if (!argument.startsWith(QLatin1Char('-')) || argument.size() < 2)
            return wrong(QStringLiteral("unexpected argument \"%1\"").arg(argument));
        const QString name = optionName(argument);
        if (QtFlags.contains(name))
            continue;
        if (QtOptionsWithValue.contains(name)) {
            if (++i == arguments.size())
                return wrong(QStringLiteral("option %1 needs a value").arg(argument));
            continue;
        }
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (equals > 0 && QtOptionsWithEquals.contains(name.left(equals)))
            continue;
        if (const qsizetype value = platformValueAt(argument); value > 0) {
            if (value == argument.size())
                return wrong(QStringLiteral("option %1 needs a value").arg(argument));
            continue;
        }
        return wrong(QStringLiteral("unknown option %1").arg(argument));
    }
    return {};
}

QString programName(const QString& argv0) {
    QString name = QFileInfo(argv0).fileName();
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive) && name.size() > 4)
        name.chop(4);
    return name.isEmpty() ? QStringLiteral("TW-CLI-UI") : name;
}

QString usage(const QString& program) {
    return QStringLiteral(
               "Usage: %1 [QT-OPTION]...\n"
               "       %1 --check\n"
               "       %1 --add-node NAME | --remove-node NAME | --list-nodes\n"
               "       %1 --node-autostart NAME on|off\n"
               "       %1 --help | --version\n"
               "\n"
               "The control panel of one node of the Bitcoin family. The configuration is\n"
               "named after the program's file name (here \"%1\"): a copy or a link of the\n"
               "program under another name has a configuration of its own. A second start\n"
               "of a configuration brings its running panel to the front and ends.\n"
               "\n"
               "  --check     ask the node once, print one line for a monitoring system\n"
               "              and end, with no window: status 0 OK, 1 WARNING,\n"
               "              2 CRITICAL, 3 UNKNOWN\n"
               "  --add-node NAME\n"
               "              make the program TW-CLI-UI-NAME for one more node, with a\n"
               "              configuration of its own, and its menu entry \"TW-CLI-UI - NAME\":\n"
               "              on Linux a link in ~/.local/bin, on Windows a hard link\n"
               "              TW-CLI-UI-NAME.exe beside the program and a Start menu shortcut\n"
               "  --remove-node NAME\n"
               "              take them away again, and the node's start at login; its\n"
               "              settings stay for a later --add-node NAME\n"
               "  --list-nodes\n"
               "              the nodes' names, \"(starts at login)\" after those that do\n"
               "  --node-autostart NAME on|off\n"
               "              the node's program starts at login, or no longer does\n"
               "              NAME: letters, digits, \".\", \"_\" and \"-\", starting with a\n"
               "              letter or digit, at most 64 characters\n"
               "  --help      print this text and end\n"
               "  --version   print the version and end\n"
               "\n"
               "Qt's own options are taken as well, for example -platform NAME,\n"
               "-display DISPLAY, -style NAME, -geometry WxH+X+Y and -reverse.\n"
               "On a Wayland session that offers XWayland the panel runs as an X11\n"
               "client, so that Always On Top can keep it above other windows; -platform\n"
               "wayland (or QT_QPA_PLATFORM=wayland) keeps it on Wayland.\n"
               "SIGTERM, SIGINT and SIGHUP close the panel as its close button does.\n"
               "An unknown option ends the program with status 2.\n")
        .arg(program);
}

QString version() {
    return QStringLiteral("TW-CLI-UI " TW_VERSION "\n");
}

QString chosenPlatform(const QStringList& arguments, const QProcessEnvironment& environment,
                       bool hasXcb) {
    if (!hasXcb || !environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return {};
    // The options as read() walks them: a value is never an option.
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!argument.startsWith(QLatin1Char('-')))
            continue;
        const QString name = optionName(argument);
        if (name == QLatin1String("platform") || platformValueAt(argument) > 0)
            return {};
        if (QtOptionsWithValue.contains(name))
            ++i;
    }
    if (environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() ||
        environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return {};
    return QStringLiteral("xcb;wayland");
}

bool qtHasXcb() {
#if QT_CONFIG(xcb)
    return true;
#else
    return false;
#endif
}

std::vector<char*> qtCommandLine(int argc, char* argv[], const QString& platform,
                                 std::vector<QByteArray>& storage) {
    // Each entry: an argument of argv's, or (-1 - n) for storage's n-th.
    std::vector<qsizetype> entries;
    const auto store = [&](const QByteArray& bytes) {
        storage.push_back(bytes);
        entries.push_back(-static_cast<qsizetype>(storage.size()));
    };
    for (int i = 0; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        // The form's dashes and name are ASCII: NAME starts at the same
        // offset in the bytes.
        const qsizetype value = i > 0 ? platformValueAt(QString::fromLocal8Bit(argument)) : -1;
        if (value > 0) {
            store(QByteArrayLiteral("-platform"));
            // NAME's own bytes, as the user gave them.
            store(argument.mid(value));
        } else {
            entries.push_back(i);
        }
    }
    if (!platform.isEmpty()) {
        store(QByteArrayLiteral("-platform"));
        store(platform.toLocal8Bit());
    }
    // The pointers only now that storage holds all it will.
    std::vector<char*> line;
    for (const qsizetype entry : entries)
        line.push_back(entry >= 0 ? argv[entry] : storage[std::size_t(-entry - 1)].data());
    line.push_back(nullptr);
    return line;
}

} // namespace tw::panel::commandline
