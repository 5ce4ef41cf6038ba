#include "platform/BatchLine.h"

#include <utility>

namespace tw::platform {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool isBlankLine(QStringView line) {
    for (QChar c : line)
        if (!isBlank(c))
            return false;
    return true;
}

BatchCommand failed(QString why) {
    BatchCommand command;
    command.error = std::move(why);
    return command;
}

// Where the last " > " outside double quotes starts (its first blank), or -1.
qsizetype redirectAt(QStringView line) {
    qsizetype found = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && c == u'>' && i > 0 && line[i - 1] == u' ' && i + 1 < line.size() &&
                 line[i + 1] == u' ')
            found = i - 1;
    }
    return found;
}

// The command part without its blanks in front and an optional `call`.
QStringView withoutCall(QStringView part) {
    qsizetype i = 0;
    while (i < part.size() && isBlank(part[i]))
        ++i;
    part = part.mid(i);
    const QStringView word = part.left(4);
    if (word.size() == 4 && word.compare(QLatin1StringView("call"), Qt::CaseInsensitive) == 0 &&
        (part.size() == 4 || isBlank(part[4])))
        part = part.mid(4);
    return part;
}

} // namespace

BatchCommand splitBatchLine(const QString& line) {
    const qsizetype redirect = redirectAt(line);
    BatchCommand command;

    if (redirect >= 0) {
        QString log = line.mid(redirect + 3);
        if (log.startsWith(u'"')) {
            if (log.size() < 2 || !log.endsWith(u'"'))
                return failed(QStringLiteral("the log path after \" > \" has no closing quote"));
            log = log.mid(1, log.size() - 2);
        }
        if (log.isEmpty())
            return failed(QStringLiteral("no log path after \" > \""));
        command.logPath = log;
    }

    const QStringView part = withoutCall(QStringView(line).left(redirect >= 0 ? redirect : -1));
    QString current;
    bool inArgument = false, quoted = false;
    for (QChar c : part) {
        if (c == u'"') {
            quoted = !quoted;
            inArgument = true; // "" is an argument of its own, empty
        } else if (!quoted && isBlank(c)) {
            if (inArgument)
                command.arguments.append(std::exchange(current, QString()));
            inArgument = false;
        } else {
            current.append(c);
            inArgument = true;
        }
    }
    if (quoted)
        return failed(QStringLiteral("a double quote is not closed"));
    if (inArgument)
        command.arguments.append(current);
    if (command.arguments.isEmpty())
        return failed(QStringLiteral("no command on the line"));
    if (command.arguments.first().isEmpty())
        return failed(QStringLiteral("the program's name is empty"));
    return command;
}

BatchCommand batchFileCommand(const QString& text) {
    const QStringList lines = text.split(u'\n');
    BatchCommand command;
    qsizetype first = -1, further = 0, firstFurther = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (isBlankLine(line))
            continue;
        if (first < 0) {
            first = i;
            command = splitBatchLine(line.toString());
            if (!command.ok())
                command.error = QStringLiteral("line %1: %2").arg(i + 1).arg(command.error);
        } else if (further++ == 0) {
            firstFurther = i;
        }
    }
    if (first < 0)
        return failed(QStringLiteral("no command line in the file"));
    if (further > 0)
        command.skipped = QStringLiteral("%1 further %2 not run (the first is line %3): a batch "
                                         "file holds one command line")
                              .arg(further)
                              .arg(further == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                              .arg(firstFurther + 1);
    return command;
}

} // namespace tw::platform
