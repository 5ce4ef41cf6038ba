#include "platform/posix/Posix.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/XdgFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform {

namespace {

const QString EntryPrefix = QStringLiteral(".node-");
const QString EntrySuffix = QStringLiteral(".desktop");

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

// lstat: whether something is at `path`, and whether it is a symbolic link.
struct Seen {
    bool there = false;
    bool link = false;
};
Seen look(const QString& path) {
    struct stat status {};
    if (::lstat(encoded(path).constData(), &status) != 0)
        return {};
    return {true, S_ISLNK(status.st_mode)};
}

NodeChange failed(const QString& why) {
    return {NodeChange::State::Failed, {}, why};
}

// Takes `path` away; no such file is no failure.
Result unlinkIfThere(const QString& path) {
    if (::unlink(encoded(path).constData()) == 0 || errno == ENOENT)
        return Result::success();
    return Result::failure(
        QStringLiteral("cannot remove %1: %2").arg(path, posix::errnoText(errno)));
}

} // namespace

PosixNodeLinks::PosixNodeLinks(QString program, QString bin, QString applications,
                               QString autostart)
    : program_(std::move(program)), bin_(std::move(bin)), applications_(std::move(applications)),
      autostart_(std::move(autostart)) {}

QString PosixNodeLinks::defaultBinFolder() {
    const QString chosen = qEnvironmentVariable("TW_CLI_UI_BIN_DIR");
    return chosen.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/bin") : chosen;
}

QString PosixNodeLinks::programOf(const QString& name) const {
    return bin_ + QStringLiteral("/TW-CLI-UI-") + name;
}

QString PosixNodeLinks::entryOf(const QString& name) const {
    return applications_ + u'/' + desktopAppId() + EntryPrefix + name + EntrySuffix;
}

QByteArray PosixNodeLinks::entry(const QString& name, const QString& link) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "GenericName=Full node control panel\n"
                          "Comment=The TW-CLI-UI panel with the configuration TW-CLI-UI-%2\n"
                          "Exec=%3\n"
                          "Icon=%4\n"
                          "Terminal=false\n"
                          "Categories=Network;Monitor;\n"
                          "StartupWMClass=TW-CLI-UI-%2\n")
        .arg(entryName(name), name, desktopExecValue(link), desktopAppId())
        .toUtf8();
}

bool PosixNodeLinks::hasProgram(const QString& name) const {
    return ::access(encoded(programOf(name)).constData(), X_OK) == 0;
}

NodeChange PosixNodeLinks::add(const QString& name) {
    const QString link = programOf(name);
    const Seen seen = look(link);
    if (seen.there && !seen.link)
        return {NodeChange::State::Foreign, link, {}};
    if (program_.isEmpty() || ::access(encoded(program_).constData(), X_OK) != 0)
        return failed(QStringLiteral("the program is not at %1").arg(program_));
    for (const QString& folder : {bin_, applications_})
        if (!QDir().mkpath(folder))
            return failed(QStringLiteral("cannot create folder %1").arg(folder));
    // A new link beside the old one, renamed over it: the name never
    // leads nowhere. The dot keeps it apart from every node's link.
    const QString fresh = QStringLiteral("%1/.TW-CLI-UI-%2.%3.new").arg(bin_, name).arg(::getpid());
    if (::symlink(encoded(program_).constData(), encoded(fresh).constData()) != 0)
        return failed(
            QStringLiteral("cannot make the link %1: %2").arg(link, posix::errnoText(errno)));
    if (::rename(encoded(fresh).constData(), encoded(link).constData()) != 0) {
        const int error = errno;
        ::unlink(encoded(fresh).constData());
        return failed(
            QStringLiteral("cannot make the link %1: %2").arg(link, posix::errnoText(error)));
    }
    if (const Result written = writeFileWhole(entryOf(name), entry(name, link)); !written)
        return failed(written.error);
    return {};
}

NodeChange PosixNodeLinks::remove(const QString& name) {
    const QString link = programOf(name);
    const Seen seen = look(link);
    if (seen.there && !seen.link)
        return {NodeChange::State::Foreign, link, {}};
    XdgAutostart login(QStringLiteral("TW-CLI-UI-") + name, link, autostart_);
    if (!seen.there && !look(entryOf(name)).there && !look(login.path()).there)
        return {NodeChange::State::NoSuchNode, {}, {}};
    for (const QString& file : {link, entryOf(name)})
        if (const Result removed = unlinkIfThere(file); !removed)
            return failed(removed.error);
    if (const Result off = login.setEnabled(false); !off)
        return failed(off.error);
    return {};
}

QStringList PosixNodeLinks::names() const {
    const QString prefix = desktopAppId() + EntryPrefix;
    QStringList found;
    // Files and links to files: a link that leads nowhere is no entry.
    const QStringList entries =
        QDir(applications_)
            .entryList({prefix + u'*' + EntrySuffix}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries) {
        const QString name =
            entry.mid(prefix.size(), entry.size() - prefix.size() - EntrySuffix.size());
        if (!name.isEmpty())
            found << name;
    }
    return found;
}

std::unique_ptr<Autostart> PosixNodeLinks::autostart(const QString& name) const {
    return std::make_unique<XdgAutostart>(QStringLiteral("TW-CLI-UI-") + name, programOf(name),
                                          autostart_);
}

QString PosixNodeLinks::folderOffPath() const {
    const QStringList path = qEnvironmentVariable("PATH").split(u':');
    return path.contains(bin_) ? QString() : bin_;
}

std::unique_ptr<NodeLinks> createNodeLinks() {
    // The program's own file, links resolved: a node's link always leads to
    // the program itself, whichever name added it.
    return std::make_unique<PosixNodeLinks>(
        QCoreApplication::applicationFilePath(), PosixNodeLinks::defaultBinFolder(),
        xdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) +
            QStringLiteral("/applications"),
        XdgAutostart::defaultFolder());
}

} // namespace tw::platform
