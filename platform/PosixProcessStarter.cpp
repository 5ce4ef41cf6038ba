#include "platform/Posix.h"

#include <QFileInfo>
#include <QProcess>

namespace tw::platform {

namespace {

constexpr auto Shell = "/bin/sh";

Result startDetached(QProcess& process, const QString& what) {
    if (process.startDetached())
        return Result::success();
    return Result::failure(QStringLiteral("cannot start %1: %2").arg(what, process.errorString()));
}

} // namespace

// The batch file is read on its own descriptor (3), so a command on a line
// never eats the following lines from its standard input; the command runs
// with descriptor 3 closed. `read` without -r would eat backslashes, and a
// last line without line end is still run (`|| [ -n "$line" ]`). Exactly one
// trailing CR is dropped from each line.
// The log path after " > " is taken whole, to the end of the line, so that a
// working folder with blanks in its name still gets its log (the batch line
// carries that path bare); a path written in double quotes loses them.
QString PosixProcessStarter::runnerScript() {
    return QStringLiteral(
        "call() { \"$@\"; }\n"
        "tw_cr=$(printf '\\r')\n"
        "while IFS= read -r tw_line <&3 || [ -n \"$tw_line\" ]; do\n"
        "  tw_line=${tw_line%\"$tw_cr\"}\n"
        "  case $tw_line in\n"
        "  *' > '*)\n"
        "    tw_log=${tw_line##*' > '}\n"
        "    case $tw_log in \\\"*\\\") tw_log=${tw_log#?}; tw_log=${tw_log%?} ;; esac\n"
        "    eval \"${tw_line%' > '*}\" > \"$tw_log\" 3<&- ;;\n"
        "  *) eval \"$tw_line\" 3<&- ;;\n"
        "  esac\n"
        "done 3< \"$1\"\n");
}

Result PosixProcessStarter::startBatchFile(const QString& path) {
    // The runner is detached and its output goes nowhere, so this check is the
    // only place where a missing batch file can be noticed.
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists() || !file.isFile() || !file.isReadable())
        return Result::failure(QStringLiteral("batch file missing: %1").arg(path));

    QProcess process;
    process.setProgram(QString::fromLatin1(Shell));
    process.setArguments({QStringLiteral("-c"), runnerScript(), QStringLiteral("tw-batch"), path});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return startDetached(process, QStringLiteral("batch file %1").arg(path));
}

Result PosixProcessStarter::startUserCommand(const QString& commandLine) {
    if (commandLine.trimmed().isEmpty())
        return Result::failure(QStringLiteral("user command is empty"));

    QProcess process;
    process.setProgram(QString::fromLatin1(Shell));
    process.setArguments({QStringLiteral("-c"), commandLine});
    process.setStandardInputFile(QProcess::nullDevice());
    return startDetached(process, QStringLiteral("user command %1").arg(commandLine));
}

} // namespace tw::platform
