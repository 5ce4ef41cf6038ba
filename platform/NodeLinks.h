#pragma once
// The program under a second name, one per extra node. The panel keeps one
// configuration per program name (the store's section is named after it),
// so a node's configuration is a program file named TW-CLI-UI-NAME that runs
// this program, and a menu entry to start it:
//
// - Linux: a symbolic link <bin>/TW-CLI-UI-NAME to the program (<bin> is
//   ~/.local/bin, or $TW_CLI_UI_BIN_DIR), and a desktop entry
//   $XDG_DATA_HOME/applications/io.github.tw_cli_ui.TWCLIUI.node-NAME.desktop
//   named "TW-CLI-UI – NAME";
// - Windows: a hard link TW-CLI-UI-NAME.exe beside the program (a copy where
//   the file system takes no hard link), and a shortcut "TW-CLI-UI –
//   NAME.lnk" in the TW-CLI-UI folder of the user's Start menu, where the
//   setup program puts the program's own.
//
// Taking a node away takes its program file, its menu entry and its start
// at login away; its settings stay where they are, for a later add of the
// same name. Names are checked by the caller (panel/NodeCommand.h).

#include "platform/Platform.h"

#include <memory>

namespace tw::platform {

struct NodeChange {
    enum class State {
        Done,
        NoSuchNode, // remove: neither program file, menu entry nor start at login
        Foreign,    // a file that is no link of the program stands in its place: left alone
        Failed,     // the system refused a step (error)
    };
    State state = State::Done;
    QString file;  // Foreign: that file
    QString error; // Failed: why, one line
    // add, Windows: the program file is a copy, since the file system takes
    // no hard link; an update of the program does not reach it.
    bool copied = false;
};

class NodeLinks {
public:
    virtual ~NodeLinks() = default;
    // The program file node `name` is started as, whether it is there or not.
    virtual QString programOf(const QString& name) const = 0;
    // Whether that program file is there (a link that leads to a program).
    virtual bool hasProgram(const QString& name) const = 0;
    // The menu entry's name as the menu shows it: "TW-CLI-UI – NAME".
    static QString entryName(const QString& name) {
        return QStringLiteral("TW-CLI-UI \u2013 ") + name;
    }
    // Makes (or renews) the program file and the menu entry.
    virtual NodeChange add(const QString& name) = 0;
    // Takes the program file, the menu entry and the start at login away.
    virtual NodeChange remove(const QString& name) = 0;
    // The nodes made so, sorted: the names of the menu entries (Linux), of
    // the program files and shortcuts (Windows).
    virtual QStringList names() const = 0;
    // Whether node `name`'s program starts at login, as the panel's own
    // "Start at login" of that configuration keeps it.
    virtual std::unique_ptr<Autostart> autostart(const QString& name) const = 0;
    // The folder of the program files when the system does not look there
    // for programs typed by name (not on PATH); empty otherwise.
    virtual QString folderOffPath() const = 0;
};

// The system's node links for this program (its own file as the link
// target). Needs a QCoreApplication, no display.
std::unique_ptr<NodeLinks> createNodeLinks();

} // namespace tw::platform
