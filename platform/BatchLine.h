#pragma once
// How a batch file's one command line is taken apart on systems without
// cmd.exe: the line is split the way cmd.exe splits this one-line format,
// and nothing in it is ever expanded or run by a shell.
//
//   call "/usr/local/bin/bitcoin-cli" -conf=/home/me/.bitcoin/bitcoin.conf getblockcount >
//   /home/me/tw/CLI-UI-GBC.LOG
//
// - blanks (space, tab) before the command and an optional leading `call`
//   (any letter case) followed by blanks are dropped;
// - double quotes group and are removed, blanks separate arguments,
//   backslashes are literal, `""` is an empty argument;
// - the last " > " that stands outside double quotes takes the log path:
//   everything after it to the end of the line, blanks included; a path
//   written in double quotes loses them;
// - every other character ($, `, ;, &, |, *, ~, %, <, >, ^ ...) is literal.
//
// Qt Core only, no system calls: the starter reads and runs, this splits.

#include <QString>
#include <QStringList>

namespace tw::platform {

struct BatchCommand {
    QStringList arguments; // the program first, then its arguments
    QString logPath;       // where standard output goes; empty: no " > " on the line
    QString error;         // why the text cannot be run; empty when it can
    // A batch file's further non-empty lines, which are never run: one line
    // for the diagnostics, empty when the file held one command line only.
    QString skipped;
    bool ok() const { return error.isEmpty(); }
};

// One line (without its line end) taken apart.
BatchCommand splitBatchLine(const QString& line);

// A whole batch file's text: lines end with LF, one CR before it (or at the
// end of the text) is dropped; blank lines are ignored; the first non-empty
// line is the command; further non-empty lines are named in `skipped`.
BatchCommand batchFileCommand(const QString& text);

} // namespace tw::platform
