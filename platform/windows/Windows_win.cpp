#include "platform/BatchLine.h"
#include "platform/windows/Win32.h"
#include "platform/windows/WindowsPlatform.h"

#include <QFile>
#include <QTimer>
#include <QWidget>

namespace tw::platform {

namespace {

std::wstring wide(const QString& text) {
    return text.toStdWString();
}

QString text(const std::wstring& wide) {
    return QString::fromStdWString(wide);
}

Result result(const win::Outcome& outcome) {
    return outcome.ok ? Result::success() : Result::failure(text(outcome.error));
}

// The log a batch file's line names after " > ", split as cmd.exe splits
// it; empty when the file cannot be read or names none (cmd.exe then says
// what is wrong itself).
QString batchLogPath(const QString& path) {
    constexpr qint64 MostBatchBytes = 64 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return batchFileCommand(QString::fromLocal8Bit(file.read(MostBatchBytes))).logPath;
}

FileStamp stampOf(const win::FileStampW& s) {
    if (!s.exists)
        return {};
    // Windows keeps no inode change time for every file system; the write
    // time, the metadata change time and the size together tell a rewrite.
    return FileStamp::of(s.volume, s.index, s.size, s.written, s.changed);
}

} // namespace

SettingRead RegistrySettingsBackend::read(const QString& application, const QString& section,
                                          const QString& key) {
    const win::RegistryRead read = win::readSetting(wide(application), wide(section), wide(key));
    switch (read.state) {
    case win::RegistryRead::State::Found:
        return SettingRead::found(text(read.value));
    case win::RegistryRead::State::Missing:
        return SettingRead::missing();
    case win::RegistryRead::State::Unreadable:
        break;
    }
    return SettingRead::unreadable(
        QStringLiteral("cannot read %1: %2").arg(location(), text(read.error)));
}

Result RegistrySettingsBackend::writeValues(const QString& application, const QString& section,
                                            const SettingValues& values) {
    // Each value is a registry value of its own, written whole by the
    // registry; the first that fails ends the occasion.
    for (const auto& [key, value] : values) {
        const win::Outcome written =
            win::writeSetting(wide(application), wide(section), wide(key), wide(value));
        if (!written.ok)
            return Result::failure(
                QStringLiteral("registry key HKEY_CURRENT_USER\\%1 not written: %2")
                    .arg(text(win::settingsKeyPath(wide(application), wide(section))),
                         text(written.error)));
    }
    return Result::success();
}

QString RegistrySettingsBackend::location() const {
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\TW-CLI-UI");
}

WinProcessStarter::~WinProcessStarter() {
    endQueries();
    // The commands are the user's own and go on.
    for (void* process : std::as_const(commands_))
        win::closeProcess(process);
}

BatchStart WinProcessStarter::startBatchFile(const QString& path, BatchKind kind) {
    // Another user's link in a shared folder must not get the answer
    // written into a file of that user's choice.
    const QString log = batchLogPath(path);
    if (!log.isEmpty()) {
        const win::Outcome checked = win::checkBatchLog(wide(log));
        if (!checked.ok) {
            BatchStart refused;
            refused.result = result(checked);
            return refused;
        }
    }
    const win::StartedBatch started = win::startBatchFile(wide(path), kind == BatchKind::Query);
    BatchStart start;
    start.result = result(started.outcome);
    if (started.outcome.ok && started.job) {
        start.id = next_++;
        jobs_.insert(start.id, started.job);
    }
    return start;
}

BatchEnd WinProcessStarter::finishBatch(quint64 id) {
    void* job = jobs_.take(id);
    const int running = win::finishBatch(job);
    BatchEnd end;
    if (running == 0)
        return end;
    end.ended = QStringLiteral("%1 process(es) of the batch file were still running after the read "
                               "and were ended")
                    .arg(running);
    return end;
}

void WinProcessStarter::runProgram(const QString& program, const QStringList&, int, qint64,
                                   ProgramDone done) {
    ProgramRun run;
    run.result = Result::failure(QStringLiteral("cannot start ") + program);
    QTimer::singleShot(0, [done = std::move(done), run] { done(run); });
}

void WinProcessStarter::endQueries() {
    for (void* job : std::as_const(jobs_))
        win::finishBatch(job);
    jobs_.clear();
}

Result WinProcessStarter::startUserCommand(const QString& commandLine, const QString& purpose) {
    // An empty command is said to be empty (by startCommand), whatever runs.
    void*& last = commands_[purpose];
    if (!commandLine.trimmed().isEmpty() && win::processRuns(last))
        return Result::failure(
            QStringLiteral("%1 \"%2\" is still running from the last time; not started again")
                .arg(purpose, commandLine));
    win::closeProcess(last);
    last = nullptr;
    const win::StartedCommand started = win::startCommand(wide(commandLine), wide(purpose));
    last = started.process;
    return result(started.outcome);
}

std::optional<int> ToolhelpProcessTable::countByImageName(const QString& imageName) {
    return win::countProcesses(wide(imageName));
}

FileRead WinFileSystem::readFile(const QString& path, qint64 maxBytes) {
    const win::FileReadW read =
        win::readRegularFile(wide(path), static_cast<std::size_t>(qMax<qint64>(0, maxBytes)));
    FileRead out;
    out.result = result(read.outcome);
    out.bytes = QByteArray(read.bytes.data(), static_cast<qsizetype>(read.bytes.size()));
    out.fullSize = read.fullSize;
    out.truncated = read.fullSize > out.bytes.size();
    out.stamp = stampOf(read.stamp);
    return out;
}

FileStamp WinFileSystem::stamp(const QString& path) {
    return stampOf(win::stampOf(wide(path)));
}

Result WinFileSystem::writeFile(const QString& path, const QByteArray& bytes) {
    return result(win::writeFileSafely(wide(path), bytes.toStdString()));
}

Result WinFileSystem::appendFile(const QString& path, const QByteArray& bytes) {
    return result(win::appendToFile(wide(path), bytes.toStdString()));
}

QString WinFileSystem::decodeLocal(const QByteArray& bytes) const {
    return QString::fromLocal8Bit(bytes); // the ANSI code page
}

QByteArray WinFileSystem::encodeLocal(const QString& text) const {
    return text.toLocal8Bit();
}

WindowHandle Win32WindowSystem::handleOf(QWidget* window) {
    return window ? static_cast<WindowHandle>(window->winId()) : 0;
}

WindowHandle Win32WindowSystem::foregroundWindow() {
    return win::foregroundWindow();
}

void Win32WindowSystem::setTopMost(WindowHandle window, bool topMost) {
    if (window)
        win::setTopMost(window, topMost);
}

QString windowsExecutableName() {
    return text(win::executableName());
}

QString windowsStateFolder() {
    return text(win::stateFolder());
}

} // namespace tw::platform
