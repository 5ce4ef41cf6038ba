#include "tests/support/Fakes.h"

#include <utility>

namespace tw::test {

void VirtualClock::wait(int ms) {
    if (onWait)
        onWait(now_, ms);
    waits.append({now_, ms});
    now_ += std::max(0, ms);
}

void VirtualClock::advance(qint64 ms) {
    const qint64 target = now_ + std::max<qint64>(0, ms);
    while (wake_ && *wake_ <= std::max(target, now_)) {
        now_ = std::max(now_, *wake_);
        wake_.reset();
        if (handler_)
            handler_();
    }
    now_ = std::max(now_, target);
}

namespace {
QString address(const QString& application, const QString& section, const QString& key) {
    return application + QLatin1Char('\n') + section + QLatin1Char('\n') + key;
}
} // namespace

platform::SettingRead FakeSettingsBackend::read(const QString& application, const QString& section,
                                                const QString& key) {
    if (!unreadable.isEmpty())
        return platform::SettingRead::unreadable(unreadable);
    const auto it = values_.constFind(address(application, section, key));
    platform::SettingRead read =
        it == values_.cend() ? platform::SettingRead::missing() : platform::SettingRead::found(*it);
    read.problem = damaged;
    return read;
}

platform::Result FakeSettingsBackend::writeValues(const QString& application,
                                                  const QString& section,
                                                  const platform::SettingValues& values) {
    ++writeCalls;
    if (failWrites)
        return platform::Result::failure(QStringLiteral("store is read-only"));
    for (const auto& [key, value] : values) {
        values_.insert(address(application, section, key), value);
        writtenKeys.append(key);
    }
    return {};
}

QStringList FakeSettingsBackend::sections(const QString& application) {
    QStringList names; // QMap order: by name
    for (auto it = values_.cbegin(); it != values_.cend(); ++it) {
        const QStringList parts = it.key().split(QLatin1Char('\n'));
        if (parts.value(0) == application && !names.contains(parts.value(1)))
            names << parts.value(1);
    }
    return unreadable.isEmpty() ? names : QStringList();
}

void FakeSettingsBackend::set(const QString& section, const QString& key, const QString& value) {
    values_.insert(address(QStringLiteral("TW-CLI-UI"), section, key), value);
}

std::optional<QString> FakeSettingsBackend::get(const QString& section, const QString& key) const {
    const auto it = values_.constFind(address(QStringLiteral("TW-CLI-UI"), section, key));
    if (it == values_.cend())
        return std::nullopt;
    return *it;
}

platform::BatchStart FakeProcessStarter::startBatchFile(const QString& path,
                                                        platform::BatchKind kind) {
    platform::BatchStart start;
    if (path.isEmpty() || missing.contains(path)) {
        start.result = platform::Result::failure(QStringLiteral("batch file missing: ") + path);
        return start;
    }
    start.id = nextId_++;
    start.skipped = skipped.value(path);
    starts.append({clock_.now(), true, path, kind, start.id, {}});
    if (onBatch)
        onBatch(path);
    return start;
}

const FakeProcessStarter::Start* FakeProcessStarter::batch(quint64 id) const {
    for (const Start& start : starts)
        if (start.batch && start.id == id)
            return &start;
    return nullptr;
}

platform::BatchEnd FakeProcessStarter::finishBatch(quint64 id) {
    const Start* start = batch(id);
    const QString path = start ? start->text : QString();
    platform::BatchEnd end;
    if (start && start->kind == platform::BatchKind::Query && !ended_.contains(id)) {
        ended_.insert(id);
        if (stillRunning.contains(path)) {
            end.ended = QStringLiteral("the client of %1 was still running: ended").arg(path);
            end.signal = QStringLiteral("SIGTERM");
        } else {
            end = outcomes.value(path);
            if (!outcomes.contains(path))
                end.exitStatus = 0;
        }
    }
    finishes.append({clock_.now(), path, end.ended});
    return end;
}

void FakeProcessStarter::runProgram(const QString& program, const QStringList& arguments,
                                    int timeoutMs, qint64 maxOutputBytes, ProgramDone done) {
    const Program run{clock_.now(), program, arguments, timeoutMs, maxOutputBytes};
    programs.append(run);
    pendingPrograms_.append({run, std::move(done)});
}

int FakeProcessStarter::deliverPrograms() {
    const auto pending = std::exchange(pendingPrograms_, {});
    for (const auto& [run, done] : pending) {
        platform::ProgramRun answer;
        if (onProgram)
            answer = onProgram(run);
        else
            answer.result =
                platform::Result::failure(QStringLiteral("cannot start ") + run.program);
        done(answer);
    }
    return int(pending.size());
}

void FakeProcessStarter::endQueries() {
    ++endQueriesCalls;
    for (const Start& start : starts)
        if (start.batch && start.kind == platform::BatchKind::Query)
            ended_.insert(start.id);
}

QStringList FakeProcessStarter::running() const {
    QStringList paths;
    for (const Start& start : starts)
        if (start.batch && start.kind == platform::BatchKind::Query &&
            stillRunning.contains(start.text) && !ended_.contains(start.id))
            paths.append(start.text);
    return paths;
}

platform::Result FakeProcessStarter::startUserCommand(const QString& commandLine,
                                                      const QString& purpose) {
    if (commandLine.trimmed().isEmpty())
        return platform::Result::failure(purpose + QStringLiteral(" is empty"));
    if (missing.contains(commandLine))
        return platform::Result::failure(QStringLiteral("cannot start: ") + commandLine);
    starts.append({clock_.now(), false, commandLine, platform::BatchKind::Query, 0, purpose});
    return {};
}

std::optional<int> FakeProcessTable::countByImageName(const QString& imageName) {
    if (unreadable)
        return std::nullopt;
    if (imageName.isEmpty())
        return 0;
    return running.value(imageName.toLower(), 0);
}

platform::FileRead FakeFileSystem::readFile(const QString& path, qint64 maxBytes) {
    platform::FileRead read;
    const auto it = files.constFind(path);
    if (it == files.cend()) {
        read.result = platform::Result::failure(QStringLiteral("log file missing: ") + path);
        return read;
    }
    read.fullSize = it->size();
    read.truncated = read.fullSize > maxBytes;
    read.bytes = it->left(maxBytes);
    read.stamp = stamp(path);
    return read;
}

platform::FileStamp FakeFileSystem::stamp(const QString& path) {
    const auto it = files.constFind(path);
    if (it == files.cend())
        return {};
    // The path's hash stands in for the inode; the write count for the times.
    const qint64 written = generation_.value(path, 0);
    return platform::FileStamp::of(1, quint64(qHash(path)), it->size(), written, written);
}

platform::Result FakeFileSystem::writeFile(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty() || unwritable.contains(path))
        return platform::Result::failure(QStringLiteral("cannot write ") + path);
    put(path, bytes);
    writes.append(path);
    return {};
}

platform::Result FakeFileSystem::appendFile(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty() || unwritable.contains(path))
        return platform::Result::failure(QStringLiteral("cannot write ") + path);
    put(path, files.value(path) + bytes);
    return {};
}

void FakeFileSystem::put(const QString& path, const QByteArray& bytes) {
    files.insert(path, bytes);
    generation_.insert(path, ++writesSoFar_);
}

QString FakeFileSystem::decodeLocal(const QByteArray& bytes) const {
    return QString::fromLocal8Bit(bytes);
}

QByteArray FakeFileSystem::encodeLocal(const QString& text) const {
    return text.toLocal8Bit();
}

platform::WindowHandle FakeWindowSystem::handleOf(QWidget* window) {
    return reinterpret_cast<platform::WindowHandle>(window);
}

void FakeWindowSystem::setTopMost(platform::WindowHandle window, bool on) {
    calls.append({window, on});
    if (on)
        topMost.insert(window);
    else
        topMost.remove(window);
}

} // namespace tw::test
