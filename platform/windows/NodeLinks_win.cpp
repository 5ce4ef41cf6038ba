#include "platform/windows/Win32.h"
#include "platform/windows/WindowsPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tw::platform {

namespace {

const QString ProgramPrefix = QStringLiteral("TW-CLI-UI-");
const QString ProgramSuffix = QStringLiteral(".exe");
const QString ShortcutSuffix = QStringLiteral(".lnk");

std::wstring native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

NodeChange failed(const win::Outcome& outcome) {
    return {NodeChange::State::Failed, {}, QString::fromStdWString(outcome.error)};
}

// The names between `prefix` and `suffix` of the files in `folder` that
// match, letter case of the suffix ignored as Windows does.
QStringList namesIn(const QString& folder, const QString& prefix, const QString& suffix) {
    QStringList names;
    for (const QString& file : QDir(folder).entryList({prefix + u'*' + suffix}, QDir::Files)) {
        const QString name = file.mid(prefix.size(), file.size() - prefix.size() - suffix.size());
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

} // namespace

WinNodeLinks::WinNodeLinks(QString program, QString shortcuts)
    : program_(QDir::fromNativeSeparators(program)), folder_(QFileInfo(program_).path()),
      shortcuts_(QDir::fromNativeSeparators(shortcuts)) {}

QString WinNodeLinks::defaultShortcutFolder() {
    const std::wstring programs = win::programsFolder();
    return programs.empty() ? QString()
                            : QDir::fromNativeSeparators(QString::fromStdWString(programs)) +
                                  QStringLiteral("/TW-CLI-UI");
}

QString WinNodeLinks::programOf(const QString& name) const {
    return folder_ + u'/' + ProgramPrefix + name + ProgramSuffix;
}

QString WinNodeLinks::shortcutOf(const QString& name) const {
    return shortcuts_ + u'/' + entryName(name) + ShortcutSuffix;
}

bool WinNodeLinks::hasProgram(const QString& name) const {
    return QFileInfo(programOf(name)).isFile();
}

void WinNodeLinks::sweep() const {
    for (const QString& file :
         QDir(folder_).entryList({ProgramPrefix + QStringLiteral("*.removed")},
                                 QDir::Files | QDir::Hidden | QDir::System))
        win::deleteFile(native(folder_ + u'/' + file));
}

NodeChange WinNodeLinks::add(const QString& name) {
    sweep();
    const std::wstring program = native(program_);
    const std::wstring node = native(programOf(name));
    if (!win::exists(program))
        return {NodeChange::State::Failed,
                {},
                QStringLiteral("the program is not at %1").arg(QDir::toNativeSeparators(program_))};
    if (shortcuts_.isEmpty())
        return {
            NodeChange::State::Failed, {}, QStringLiteral("the Start menu's folder is not known")};
    NodeChange change;
    if (!win::sameFile(program, node)) {
        if (const win::Outcome removed = win::deleteFile(node); !removed.ok)
            return failed(removed);
        if (const win::Outcome made = win::linkOrCopy(program, node, change.copied); !made.ok)
            return failed(made);
    }
    if (!QDir().mkpath(shortcuts_))
        return {
            NodeChange::State::Failed,
            {},
            QStringLiteral("cannot create folder %1").arg(QDir::toNativeSeparators(shortcuts_))};
    const QString description =
        QStringLiteral("The TW-CLI-UI panel with the configuration TW-CLI-UI-%1").arg(name);
    if (const win::Outcome written = win::writeShortcut(
            native(shortcutOf(name)), node, native(folder_), description.toStdWString());
        !written.ok)
        return failed(written);
    return change;
}

NodeChange WinNodeLinks::remove(const QString& name) {
    sweep();
    const std::wstring node = native(programOf(name));
    const std::wstring shortcut = native(shortcutOf(name));
    const std::wstring configuration = (ProgramPrefix + name).toStdWString();
    if (!win::exists(node) && (shortcuts_.isEmpty() || !win::exists(shortcut)) &&
        !win::runAtLogon(configuration))
        return {NodeChange::State::NoSuchNode, {}, {}};
    if (const win::Outcome removed = win::deleteFile(node); !removed.ok) {
        // A name of the program file while the program runs (this command
        // is one of its runs): Windows deletes no name of a running image,
        // but renames one. The hidden name goes when the program is not
        // running (the uninstaller deletes it).
        if (!win::sameFile(node, native(program_)))
            return failed(removed);
        const QString hidden = QStringLiteral("%1.%2.removed")
                                   .arg(programOf(name))
                                   .arg(QCoreApplication::applicationPid());
        if (const win::Outcome renamed = win::renameHidden(node, native(hidden)); !renamed.ok)
            return failed(removed);
        win::deleteFile(native(hidden));
    }
    if (!shortcuts_.isEmpty()) {
        if (const win::Outcome removed = win::deleteFile(shortcut); !removed.ok)
            return failed(removed);
        // The folder goes with its last shortcut (the program's own keeps it).
        QDir().rmdir(shortcuts_);
    }
    if (const win::Outcome off = win::removeRunAtLogon(configuration); !off.ok)
        return failed(off);
    return {};
}

QStringList WinNodeLinks::names() const {
    QStringList names = namesIn(folder_, ProgramPrefix, ProgramSuffix);
    if (!shortcuts_.isEmpty())
        names << namesIn(shortcuts_, entryName(QString()), ShortcutSuffix);
    names.sort(Qt::CaseInsensitive);
    // One name per node, however its files' names differ in letter case.
    QStringList unique;
    for (const QString& name : names)
        if (unique.isEmpty() || unique.constLast().compare(name, Qt::CaseInsensitive) != 0)
            unique << name;
    return unique;
}

std::unique_ptr<Autostart> WinNodeLinks::autostart(const QString& name) const {
    return std::make_unique<RunKeyAutostart>(ProgramPrefix + name, programOf(name));
}

std::unique_ptr<NodeLinks> createNodeLinks() {
    return std::make_unique<WinNodeLinks>(windowsModulePath(),
                                          WinNodeLinks::defaultShortcutFolder());
}

} // namespace tw::platform
