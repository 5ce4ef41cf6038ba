#include "platform/BatchLine.h"
#include "platform/Posix.h"
#include "platform/PosixWriteTarget.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tw::platform {

namespace {

constexpr auto Shell = "/bin/sh";
constexpr auto NullDevice = "/dev/null";
constexpr int PollMs = 5; // how often an ending group is looked at

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

Result startDetached(QProcess& process, const QString& what) {
    if (process.startDetached())
        return Result::success();
    return Result::failure(QStringLiteral("cannot start %1: %2").arg(what, process.errorString()));
}

// A descriptor that is closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// The batch file's bytes: a regular file (opened non-blocking, so that a
// FIFO in its place cannot hang the panel) of at most MaxBatchFileBytes.
std::optional<QByteArray> readBatchFile(const QString& path, QString& why) {
    const QByteArray name = QFile::encodeName(path);
    const Descriptor file(
        path.isEmpty() ? -1
                       : ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        why = QStringLiteral("batch file missing: %1").arg(path);
        return std::nullopt;
    }
    constexpr qint64 Max = PosixProcessStarter::MaxBatchFileBytes;
    QByteArray bytes(Max + 1, Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(file.get(), bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = QStringLiteral("batch file %1 cannot be read: %2").arg(path, errnoText(errno));
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += n;
    }
    if (got > Max) {
        why = QStringLiteral("batch file %1 is larger than %2 KiB: not run")
                  .arg(path)
                  .arg(Max / 1024);
        return std::nullopt;
    }
    bytes.truncate(got);
    return bytes;
}

// The log a batch line sends its client's output to, opened as cmd.exe's
// " > " opens it (made, or cut to nothing), but by the rule of every file the
// program writes for others: relative to its folder's descriptor, a symbolic
// link followed only when writeFollowsLink allows it (another user's link in
// a shared folder could point the answer at that user's choice of file),
// anything but a regular file, a FIFO or a new file refused. O_NONBLOCK
// keeps a FIFO without a reader from hanging the panel (it cannot be opened
// then); the client writes blocking. -1 and `why` when it cannot be opened.
int openLog(const QString& logPath, QString& why) {
    const posix::WriteTarget target(logPath);
    const QString& path = target.path;
    const QString reached =
        path == logPath ? QString() : QStringLiteral(" (by its links: %1)").arg(path);
    using Problem = posix::WriteTarget::Problem;
    switch (target.problem) {
    case Problem::None:
        break;
    case Problem::NotAName:
        why = QStringLiteral("log file %1 cannot be opened: not a file name").arg(logPath);
        return -1;
    case Problem::Error:
        why = QStringLiteral("log file %1 cannot be opened%2: %3")
                  .arg(logPath, reached, errnoText(target.error));
        return -1;
    case Problem::ForeignLink:
        why = path == logPath
                  ? QStringLiteral("log file %1 is a symbolic link owned by another user; not run")
                        .arg(logPath)
                  : QStringLiteral("log file %1 leads to %2, a symbolic link owned by another "
                                   "user; not run")
                        .arg(logPath, path);
        return -1;
    case Problem::TooManyLinks:
        why = QStringLiteral("log file %1 cannot be opened: too many symbolic links").arg(logPath);
        return -1;
    case Problem::ChangedMeanwhile:
        why = QStringLiteral("log file %1 was changed by someone else while it was opened; not run")
                  .arg(logPath);
        return -1;
    }
    const auto acceptable = [](mode_t mode) { return S_ISREG(mode) || S_ISFIFO(mode); };
    if (target.exists && !acceptable(target.entry.st_mode)) {
        why = QStringLiteral("log file %1%2 is %3, not a file; not run")
                  .arg(logPath, reached, posix::kindOf(target.entry.st_mode));
        return -1;
    }
    // O_NOFOLLOW: a link planted since the look is not followed. Cut to
    // nothing only once the descriptor is known to be the file looked at.
    Descriptor file(::openat(target.folder.get(), target.name.constData(),
                             O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                             0666));
    if (file.get() < 0 && errno != ELOOP) {
        why = QStringLiteral("log file %1 cannot be opened%2: %3")
                  .arg(logPath, reached, errnoText(errno));
        return -1;
    }
    // ELOOP: a link where the look saw none.
    struct stat st {};
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !acceptable(st.st_mode) ||
        (target.exists && (st.st_dev != target.entry.st_dev || st.st_ino != target.entry.st_ino))) {
        why = QStringLiteral("log file %1 was changed by someone else while it was opened; not run")
                  .arg(logPath);
        return -1;
    }
    if (S_ISREG(st.st_mode) && ::ftruncate(file.get(), 0) != 0) {
        why = QStringLiteral("log file %1 cannot be emptied%2: %3")
                  .arg(logPath, reached, errnoText(errno));
        return -1;
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
    return file.release();
}

// The processes of process group `group` that have not ended (zombies have),
// from one pass over /proc; nullopt when /proc cannot be read.
std::optional<int> liveInGroup(qint64 group) {
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return std::nullopt;
    int live = 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        char path[300];
        std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        const Descriptor stat(::open(path, O_RDONLY | O_CLOEXEC));
        char text[512];
        const ssize_t n = stat.get() < 0 ? -1 : ::read(stat.get(), text, sizeof text - 1);
        if (n <= 0)
            continue;
        text[n] = '\0';
        // "pid (comm) state ppid pgrp ...": comm may hold blanks and parentheses.
        const char* afterName = std::strrchr(text, ')');
        char state = 0;
        long parent = 0, processGroup = 0;
        if (afterName &&
            std::sscanf(afterName + 1, " %c %ld %ld", &state, &parent, &processGroup) == 3 &&
            processGroup == group && state != 'Z' && state != 'X')
            ++live;
    }
    ::closedir(proc);
    return live;
}

// Whether our child `pid` still runs; it is not reaped, so that its process
// id, which names the group, cannot be taken by another process meanwhile.
bool childRuns(qint64 pid) {
    siginfo_t info{};
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false; // not our child any more
    return info.si_pid == 0;
}

// Reaps our child `pid` if it has ended; true when it is gone.
bool reaped(qint64 pid) {
    int status = 0;
    const pid_t got = ::waitpid(pid_t(pid), &status, WNOHANG);
    return got == pid_t(pid) || (got < 0 && errno == ECHILD);
}

QString processes(int count) {
    return count == 1 ? QStringLiteral("1 process") : QStringLiteral("%1 processes").arg(count);
}

int live(qint64 group, bool leaderRuns) {
    return liveInGroup(group).value_or(leaderRuns ? 1 : 0);
}

} // namespace

PosixProcessStarter::~PosixProcessStarter() {
    endQueries();
}

BatchStart PosixProcessStarter::startBatchFile(const QString& path, BatchKind kind) {
    reapEnded();
    BatchStart start;
    QString why;
    const std::optional<QByteArray> bytes = readBatchFile(path, why);
    if (!bytes) {
        start.result = Result::failure(why);
        return start;
    }
    const BatchCommand command = batchFileCommand(QString::fromLocal8Bit(*bytes));
    if (!command.ok()) {
        start.result =
            Result::failure(QStringLiteral("batch file %1 not run: %2").arg(path, command.error));
        return start;
    }

    // The log first, as cmd.exe does: a log that cannot be opened is a
    // failure and the client does not run.
    const Descriptor log(command.logPath.isEmpty() ? -1 : openLog(command.logPath, why));
    if (!command.logPath.isEmpty() && log.get() < 0) {
        start.result = Result::failure(why);
        return start;
    }

    std::vector<QByteArray> encoded;
    for (const QString& argument : command.arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, NullDevice, O_RDONLY, 0);
    if (log.get() >= 0)
        posix_spawn_file_actions_adddup2(&actions, log.get(), STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, NullDevice, O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, NullDevice, O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Nothing else of the panel's (its display connection, its files).
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    // A process group of its own, so that what the client starts in turn is
    // ended with it; default signal handling and no blocked signals.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal :
         {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, signal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    // A name with a '/' is started as it stands; a bare name is looked up
    // in PATH, as cmd.exe looks a bare name up in its PATH.
    const QString& program = command.arguments.first();
    pid_t pid = 0;
    const int error =
        program.contains(u'/')
            ? posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ)
            : posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        start.result = Result::failure(QStringLiteral("batch file %1: cannot start %2: %3")
                                           .arg(path, program, errnoText(error)));
        return start;
    }
    start.id = nextId_++;
    start.skipped = command.skipped;
    children_.append({start.id, qint64(pid), kind, program, false});
    return start;
}

QString PosixProcessStarter::finishBatch(quint64 id) {
    reapEnded();
    return endGroups({id}).join(QStringLiteral("; "));
}

void PosixProcessStarter::endQueries() {
    reapEnded();
    QList<quint64> ids;
    for (const Child& child : children_)
        if (child.kind == BatchKind::Query && !child.ended)
            ids.append(child.id);
    endGroups(ids);
}

qint64 PosixProcessStarter::processId(quint64 id) const {
    for (const Child& child : children_)
        if (child.id == id)
            return child.pid;
    return 0;
}

void PosixProcessStarter::reapEnded() {
    children_.removeIf([](const Child& child) {
        return (child.kind == BatchKind::Stop || child.ended) && reaped(child.pid);
    });
}

QStringList PosixProcessStarter::endGroups(const QList<quint64>& ids) {
    struct Ending {
        qint64 pid;
        QString said; // what was running
        bool killed = false;
    };
    std::vector<Ending> ending;
    QList<qint64> done; // leaders to reap
    for (Child& child : children_) {
        if (!ids.contains(child.id) || child.kind != BatchKind::Query || child.ended)
            continue;
        child.ended = true;
        done.append(child.pid);
        const bool runs = childRuns(child.pid);
        const int members = live(child.pid, runs);
        if (members <= 0)
            continue;
        const int others = members - (runs ? 1 : 0);
        const QString client = QStringLiteral("\"%1\" (pid %2)").arg(child.program).arg(child.pid);
        QString said;
        if (runs && others == 0)
            said = client + QStringLiteral(" was still running");
        else if (runs)
            said = client +
                   QStringLiteral(" and %1 it started were still running").arg(processes(others));
        else
            said = QStringLiteral("%1 that %2 started %3 still running")
                       .arg(processes(others), client,
                            others == 1 ? QStringLiteral("was") : QStringLiteral("were"));
        ::kill(-pid_t(child.pid), SIGTERM);
        ending.push_back({child.pid, said});
    }

    const auto waitFor = [&ending](int ms) {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            bool any = false;
            for (const Ending& e : ending)
                any = any || live(e.pid, childRuns(e.pid)) > 0;
            if (!any || waited.elapsed() >= ms)
                return any;
            std::this_thread::sleep_for(std::chrono::milliseconds(PollMs));
        }
    };
    if (!ending.empty() && waitFor(TermGraceMs)) {
        for (Ending& e : ending) {
            if (live(e.pid, childRuns(e.pid)) > 0) {
                ::kill(-pid_t(e.pid), SIGKILL);
                e.killed = true;
            }
        }
        waitFor(KillGraceMs);
    }

    QStringList lines;
    for (const Ending& e : ending)
        lines.append(e.said + (e.killed ? QStringLiteral(": killed (SIGTERM was not enough)")
                                        : QStringLiteral(": ended")));
    // A leader that has not ended even after SIGKILL stays for a later call.
    children_.removeIf(
        [&done](const Child& child) { return done.contains(child.pid) && reaped(child.pid); });
    return lines;
}

Result PosixProcessStarter::startUserCommand(const QString& commandLine) {
    reapEnded();
    if (commandLine.trimmed().isEmpty())
        return Result::failure(QStringLiteral("user command is empty"));

    QProcess process;
    process.setProgram(QString::fromLatin1(Shell));
    process.setArguments({QStringLiteral("-c"), commandLine});
    process.setStandardInputFile(QProcess::nullDevice());
    return startDetached(process, QStringLiteral("user command %1").arg(commandLine));
}

} // namespace tw::platform
