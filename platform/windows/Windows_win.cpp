#include "platform/BatchLine.h"
#include "platform/windows/Win32.h"
#include "platform/windows/WindowsPlatform.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <algorithm>

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

// The batch file's line split as cmd.exe splits it: the log it names after
// " > " and its client; empty when the file cannot be read (cmd.exe then
// says what is wrong itself).
BatchCommand batchLine(const QString& path) {
    constexpr qint64 MostBatchBytes = 64 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return batchFileCommand(QString::fromLocal8Bit(file.read(MostBatchBytes)));
}

QByteArray bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// What a process wrote, as one line for the diagnostics: line ends as
// " | ", other control characters as blanks.
QString oneLine(const QByteArray& written) {
    QString line = QString::fromLocal8Bit(written).trimmed();
    line.replace(QLatin1String("\r\n"), QLatin1String(" | "));
    line.replace(QLatin1Char('\n'), QLatin1String(" | "));
    for (QChar& c : line)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return line;
}

FileStamp stampOf(const win::FileStampW& s) {
    if (!s.exists)
        return {};
    // Windows keeps no inode change time for every file system; the write
    // time, the metadata change time and the size together tell a rewrite.
    return FileStamp::of(s.volume, s.index, s.size, s.written, s.changed);
}

} // namespace

QStringList RegistrySettingsBackend::sections(const QString& application) {
    QStringList names;
    for (const std::wstring& name : win::settingSections(wide(application)))
        names << text(name);
    return names;
}

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

WinProcessStarter::WinProcessStarter() : context_(std::make_unique<QObject>()) {
    timer_ = new QTimer(context_.get());
    timer_->setInterval(PollMs);
    QObject::connect(timer_, &QTimer::timeout, context_.get(), [this] { look(); });
}

WinProcessStarter::~WinProcessStarter() {
    output_ = nullptr;
    context_.reset();  // no queued call of the starter's runs any more
    programs_.clear(); // each ends its job; nobody is called
    endQueries();
    // Stop batches go on; the commands are the user's own and go on.
    for (auto& [id, batch] : batches_)
        win::closeProcess(batch.process);
    for (void* process : std::as_const(commands_))
        win::closeProcess(process);
}

void WinProcessStarter::watch() {
    if (timer_ && !timer_->isActive())
        timer_->start();
}

void WinProcessStarter::look() {
    for (auto at = batches_.begin(); at != batches_.end();) {
        Batch& batch = at->second;
        batch.errors.drain();
        if (batch.query || win::processRuns(batch.process)) {
            ++at;
            continue;
        }
        // A stop batch has ended: told when it failed or said something.
        const std::optional<unsigned long> code = win::exitCodeOf(batch.process);
        batch.errors.drain();
        const QString said = oneLine(bytes(batch.errors.kept()));
        const std::uint64_t dropped = batch.errors.total() - batch.errors.kept().size();
        if (((code && *code != 0) || !said.isEmpty()) && output_) {
            QString line = QStringLiteral("stop command \"%1\" ").arg(batch.program);
            line +=
                code ? QStringLiteral("exited with status %1").arg(*code) : QStringLiteral("ended");
            if (!said.isEmpty())
                line += QStringLiteral(" and said \"%1\"").arg(said);
            if (dropped > 0)
                line += QStringLiteral(" (%1 more bytes not kept)").arg(dropped);
            output_(QStringLiteral("stop command"), line);
        }
        win::closeProcess(batch.process);
        at = batches_.erase(at);
    }
    for (Program& program : programs_) {
        if (program.over || !program.run->poll())
            continue;
        program.over = true;
        QTimer::singleShot(0, context_.get(), [this, id = program.id] { deliver(id); });
    }
    const bool open = !batches_.empty() || std::any_of(programs_.begin(), programs_.end(),
                                                       [](const Program& p) { return !p.over; });
    if (!open)
        timer_->stop();
}

void WinProcessStarter::deliver(quint64 id) {
    const auto found = std::find_if(programs_.begin(), programs_.end(),
                                    [id](const Program& program) { return program.id == id; });
    if (found == programs_.end())
        return;
    ProgramRun run;
    const win::ProgramRun& ran = *found->run;
    run.result = result(ran.outcome);
    if (ran.exitCode)
        run.exitStatus = static_cast<int>(*ran.exitCode);
    run.output = bytes(ran.output);
    run.errorOutput = bytes(ran.errors);
    run.timedOut = ran.timedOut;
    run.outputCut = ran.outputCut;
    // The run leaves the starter before its `done` is called, which may
    // end the starter.
    const ProgramDone done = std::move(found->done);
    programs_.erase(found);
    if (done)
        done(run);
}

BatchStart WinProcessStarter::startBatchFile(const QString& path, BatchKind kind) {
    // Another user's link in a shared folder must not get the answer
    // written into a file of that user's choice.
    const BatchCommand line = batchLine(path);
    if (!line.logPath.isEmpty()) {
        const win::Outcome checked = win::checkBatchLog(wide(line.logPath));
        if (!checked.ok) {
            BatchStart refused;
            refused.result = result(checked);
            return refused;
        }
    }
    win::StartedBatch started = win::startBatchFile(wide(path), kind == BatchKind::Query);
    BatchStart start;
    start.result = result(started.outcome);
    if (!started.outcome.ok)
        return start;
    start.id = next_++;
    Batch& batch = batches_[start.id];
    batch.query = kind == BatchKind::Query;
    batch.program = line.arguments.isEmpty() ? path : line.arguments.first();
    batch.job = started.job;
    batch.process = started.process;
    batch.errors = std::move(started.errors);
    watch();
    return start;
}

BatchEnd WinProcessStarter::finishBatch(quint64 id) {
    BatchEnd end;
    const auto found = batches_.find(id);
    if (found == batches_.end() || !found->second.query)
        return end;
    Batch batch = std::move(found->second);
    batches_.erase(found);
    // cmd.exe's exit code (the client's, for a one-line batch file) when
    // it had ended by itself before the job is ended.
    const std::optional<unsigned long> code = win::exitCodeOf(batch.process);
    const int running = win::finishBatch(batch.job);
    batch.errors.drain();
    end.errorOutput = bytes(batch.errors.kept());
    if (code)
        end.exitStatus = static_cast<int>(*code);
    win::closeProcess(batch.process);
    if (running > 0)
        end.ended = QStringLiteral("%1 process(es) of the batch file were still running after "
                                   "the read and were ended")
                        .arg(running);
    return end;
}

void WinProcessStarter::runProgram(const QString& program, const QStringList& arguments,
                                   int timeoutMs, qint64 maxOutputBytes, ProgramDone done) {
    std::vector<std::wstring> list;
    for (const QString& argument : arguments)
        list.push_back(wide(argument));
    Program run;
    run.id = next_++;
    run.run = std::make_unique<win::ProgramRun>(
        wide(program), list, static_cast<std::uint64_t>(qMax(0, timeoutMs)),
        static_cast<std::uint64_t>(qMax<qint64>(0, maxOutputBytes)));
    run.done = std::move(done);
    programs_.push_back(std::move(run));
    // Even one that did not start is told from the event loop.
    watch();
}

void WinProcessStarter::endQueries() {
    for (auto at = batches_.begin(); at != batches_.end();) {
        if (!at->second.query) {
            ++at;
            continue;
        }
        win::finishBatch(at->second.job);
        win::closeProcess(at->second.process);
        at = batches_.erase(at);
    }
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

void Win32WindowSystem::placeBelow(WindowHandle window, WindowHandle sibling) {
    if (window && sibling)
        win::placeBelow(window, sibling);
}

void Win32WindowSystem::allowForegroundTo(qintptr localSocket) {
    // A QLocalSocket's descriptor on Windows is its pipe's handle.
    if (localSocket != -1)
        win::allowForegroundToPipeServer(reinterpret_cast<void*>(localSocket));
}

RunKeyAutostart::RunKeyAutostart(QString configuration, QString programFile)
    : configuration_(std::move(configuration)), program_(std::move(programFile)) {}

QString RunKeyAutostart::commandLine(const QString& programFile) {
    // A file name holds no double quote; the quotes keep a path with blanks
    // one program.
    return u'"' + QDir::toNativeSeparators(programFile) + u'"';
}

bool RunKeyAutostart::enabled() {
    return win::runAtLogon(wide(configuration_)).has_value() &&
           !win::turnedOffAtLogon(wide(configuration_));
}

Result RunKeyAutostart::setEnabled(bool on) {
    if (!on)
        return result(win::removeRunAtLogon(wide(configuration_)));
    if (program_.isEmpty())
        return Result::failure(QStringLiteral("the program's own file is not known"));
    return result(win::setRunAtLogon(wide(configuration_), wide(commandLine(program_))));
}

QString windowsModulePath() {
    return QDir::fromNativeSeparators(text(win::modulePath()));
}

QString windowsExecutableName() {
    return text(win::executableName());
}

QString windowsStateFolder() {
    return text(win::stateFolder());
}

} // namespace tw::platform
