#pragma once
// The program's command line, read before a window system is asked for, so
// that --help and --version answer with no display. Qt's own options (and
// their values) are left to Qt; anything else is refused.

#include <QString>
#include <QStringList>

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

} // namespace tw::panel::commandline
