#pragma once
// The program's node options (--add-node, --remove-node, --list-nodes,
// --node-autostart), run with no window and no display: one more program
// name per extra node, each with a configuration of its own (the store's
// section is named after the program), made and taken away through
// platform::NodeLinks on either system. packaging/tw-cli-ui-node is a front
// end to them on Linux. The settings are never read or written: a removed
// node's section waits for a later add of the same name.

#include "panel/CommandLine.h"

#include <QString>

namespace tw::platform {
class NodeLinks;
}

namespace tw::panel {

// What a command-line run prints, and its exit status: 0 done, 1 refused or
// failed (a file not the program's in the link's place, no such node, a
// step the system refused), 2 a wrong use (a name that is not usable).
struct CommandRun {
    int status = 0;
    QString out; // for standard output
    QString err; // for standard error
};

// Whether `name` may name a node: letters, digits, ".", "_" and "-" (ASCII),
// starting with a letter or a digit, at most MaxNodeName characters, so
// that TW-CLI-UI-NAME is a plain file name on every system.
bool usableNodeName(const QString& name);
constexpr qsizetype MaxNodeName = 64;

// Runs one node option of `reading` (asked AddNode, RemoveNode, ListNodes
// or NodeAutostart) against `links`. `program` names the program in the
// messages (commandline::programName).
CommandRun runNodeCommand(platform::NodeLinks& links, const commandline::Reading& reading,
                          const QString& program);

} // namespace tw::panel
