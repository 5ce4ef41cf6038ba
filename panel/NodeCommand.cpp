#include "panel/NodeCommand.h"

#include "platform/NodeLinks.h"

#include <QCoreApplication>
#include <QDir>

namespace tw::panel {

namespace {

using commandline::Asked;
using platform::NodeChange;

// One run's output, each message a line of its own after the program's name.
class Output {
public:
    explicit Output(QString program) : program_(std::move(program)) {}
    void say(const QString& line) { run_.out += program_ + QStringLiteral(": ") + line + u'\n'; }
    void line(const QString& line) { run_.out += line + u'\n'; }
    CommandRun fail(const QString& line, int status = 1) {
        run_.err += program_ + QStringLiteral(": ") + line + u'\n';
        run_.status = status;
        return run_;
    }
    CommandRun done() { return run_; }

private:
    QString program_;
    CommandRun run_;
};

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

CommandRun refused(Output& output, const NodeChange& change, const QString& name) {
    switch (change.state) {
    case NodeChange::State::Foreign:
        return output.fail(
            QCoreApplication::translate("NodeCommand",
                                        "%1 is there and is no link to the program; left alone")
                .arg(native(change.file)));
    case NodeChange::State::NoSuchNode:
        return output.fail(
            QCoreApplication::translate(
                "NodeCommand", "there is no node \"%1\" (--list-nodes shows the names made)")
                .arg(name));
    case NodeChange::State::Failed:
    case NodeChange::State::Done:
        break;
    }
    return output.fail(change.error);
}

CommandRun add(platform::NodeLinks& links, Output& output, const QString& name) {
    const NodeChange change = links.add(name);
    if (change.state != NodeChange::State::Done)
        return refused(output, change, name);
    // The menu entry's name has a dash that a Windows console's code page
    // may lack: the message goes without it.
    output.say(
        QCoreApplication::translate("NodeCommand", "TW-CLI-UI-%1 is ready: %2 and its menu entry")
            .arg(name, native(links.programOf(name))));
    if (change.copied)
        output.say(QCoreApplication::translate(
                       "NodeCommand",
                       "note: %1 is a copy, as its drive takes no hard link: add the "
                       "node again after each update of the program")
                       .arg(native(links.programOf(name))));
    if (const QString folder = links.folderOffPath(); !folder.isEmpty())
        output.say(
            QCoreApplication::translate(
                "NodeCommand", "note: %1 is not on your PATH; the menu entry works all the same")
                .arg(native(folder)));
    return output.done();
}

CommandRun remove(platform::NodeLinks& links, Output& output, const QString& name) {
    const NodeChange change = links.remove(name);
    if (change.state != NodeChange::State::Done)
        return refused(output, change, name);
    output.say(
        QCoreApplication::translate(
            "NodeCommand", "TW-CLI-UI-%1 removed (its settings stay, under the name TW-CLI-UI-%1)")
            .arg(name));
    return output.done();
}

CommandRun list(platform::NodeLinks& links, Output& output) {
    for (const QString& name : links.names())
        output.line(
            links.autostart(name)->enabled()
                ? QCoreApplication::translate("NodeCommand", "%1 (starts at login)").arg(name)
                : name);
    return output.done();
}

CommandRun autostart(platform::NodeLinks& links, Output& output, const QString& name, bool on) {
    const std::unique_ptr<platform::Autostart> login = links.autostart(name);
    if (on && !links.hasProgram(name))
        return output.fail(
            QCoreApplication::translate("NodeCommand",
                                        "there is no TW-CLI-UI-%1 at %2 (--add-node %1 makes it)")
                .arg(name, native(links.programOf(name))));
    if (!on && !links.hasProgram(name) && !links.names().contains(name) && !login->enabled())
        return refused(output, {NodeChange::State::NoSuchNode, {}, {}}, name);
    if (const platform::Result result = login->setEnabled(on); !result)
        return output.fail(result.error);
    output.say(
        on ? QCoreApplication::translate("NodeCommand", "TW-CLI-UI-%1 starts at login").arg(name)
           : QCoreApplication::translate("NodeCommand", "TW-CLI-UI-%1 no longer starts at login")
                 .arg(name));
    return output.done();
}

} // namespace

bool usableNodeName(const QString& name) {
    if (name.isEmpty() || name.size() > MaxNodeName)
        return false;
    const auto letterOrDigit = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    };
    if (!letterOrDigit(name.front()))
        return false;
    for (const QChar c : name)
        if (!letterOrDigit(c) && c != u'.' && c != u'_' && c != u'-')
            return false;
    return true;
}

CommandRun runNodeCommand(platform::NodeLinks& links, const commandline::Reading& reading,
                          const QString& program) {
    Output output(program);
    if (reading.asked == Asked::ListNodes)
        return list(links, output);
    const QString name = reading.values.value(0);
    if (!usableNodeName(name))
        return output.fail(QCoreApplication::translate(
                               "NodeCommand", "\"%1\" is no usable name: letters, digits, \".\", "
                                              "\"_\" and \"-\" only, starting with a letter or "
                                              "digit, at most %2 characters")
                               .arg(name)
                               .arg(MaxNodeName),
                           2);
    switch (reading.asked) {
    case Asked::AddNode:
        return add(links, output, name);
    case Asked::RemoveNode:
        return remove(links, output, name);
    case Asked::NodeAutostart:
        return autostart(links, output, name, reading.values.value(1) == QLatin1String("on"));
    default:
        return output.fail(QStringLiteral("not a node option"), 2);
    }
}

} // namespace tw::panel
