#pragma once
// The program's command line, read before a window system is asked for, so
// that --help and --version answer with no display. Qt's own options (and
// their values) are left to Qt; anything else is refused.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <vector>

namespace tw::panel::commandline {

enum class Asked {
    Panel,   // nothing but Qt's options: the panel opens
    Check,   // --check anywhere: one look at the node (its own arguments)
    Help,    // --help, -h
    Version, // --version
    Wrong,   // an option nobody takes, a stray argument, a missing value
    // The nodes' program files (panel/NodeCommand.h); each option is the
    // whole command line, with its values after it.
    AddNode,       // --add-node NAME
    RemoveNode,    // --remove-node NAME
    ListNodes,     // --list-nodes
    NodeAutostart, // --node-autostart NAME on|off
};

struct Reading {
    Asked asked = Asked::Panel;
    QString problem;    // Wrong: what is wrong, one line
    QStringList values; // the node options' values: NAME, then on or off
};

// `arguments`: the command line after the program's own name.
Reading read(const QStringList& arguments);

// The program's name as the user called it (the file name of `argv0`
// without a trailing ".exe"), for the texts below.
QString programName(const QString& argv0);
// What --help prints.
QString usage(const QString& program);
// What --version prints.
QString version();

// The window system the panel asks Qt for. On a Wayland session no program
// may keep its window above others, so where the session also offers
// XWayland (WAYLAND_DISPLAY and DISPLAY both set) the panel runs as an X11
// client, which Always On Top can keep above: "xcb;wayland" (Qt takes the
// first of them that starts, so a DISPLAY that does not answer leaves the
// panel on Wayland). Empty where Qt's own choice stands: the user named a
// platform (a non-empty QT_QPA_PLATFORM, or -platform NAME or
// -platform=NAME among `arguments`), the session is no such one, or this Qt
// has no xcb platform (`hasXcb` false, as on Windows).
QString chosenPlatform(const QStringList& arguments, const QProcessEnvironment& environment,
                       bool hasXcb);
// Whether this Qt was built with its xcb platform.
bool qtHasXcb();

// The command line QApplication is given: `argv` as it is, "-platform=NAME"
// (either dash form) written "-platform NAME", the one form Qt reads, and
// "-platform PLATFORM" added when `platform` is not empty. The pointers
// are argv's own strings or `storage`'s, which must outlive QApplication;
// argc is the size, and one null pointer follows the last.
std::vector<char*> qtCommandLine(int argc, char* argv[], const QString& platform,
                                 std::vector<QByteArray>& storage);

} // namespace tw::panel::commandline
