#include "platform/BatchLine.h"
#include "platform/posix/Posix.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixWriteTarget.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

extern char** environ;

namespace tw::platform {

using posix::Descriptor;
using posix::errnoText;
using posix::readRegularFile;
using posix::RegularRead;

namespace {

constexpr auto Shell = "/bin/sh";
constexpr auto NullDevice = "/dev/null";
constexpr int PollMs = 5; // how often an ending group is looked at
// How often a program's end is looked for without a pidfd, and twice how
// often its ending group is.
constexpr int ProgramPollMs = 20;
// The environment variable that marks a query's processes.
constexpr char MarkName[] = "TW_CLI_UI_QUERY=";

// The process ids that some starter of this program holds as its children
// and reaps itself: the reaping of what re-parented to the panel passes
// them over. The starters live on the user-interface thread.
// How many starters this program has made: the number in a query's mark
// that names its starter.
quint64 startersMade = 0;

QSet<qint64>& heldChildren() {
    static QSet<qint64> held;
    return held;
}

// The batch file's bytes: a regular file (by the one reading rule, so that a
// FIFO in its place cannot hang the panel) of at most MaxBatchFileBytes.
std::optional<QByteArray> readBatchFile(const QString& path, QString& why) {
    constexpr qint64 Max = PosixProcessStarter::MaxBatchFileBytes;
    RegularRead file;
    if (path.isEmpty())
        file.error = ENOENT;
    else
        file = readRegularFile(AT_FDCWD, QFile::encodeName(path).constData(), Max);
    if (file.notRegular || file.error == ENOENT || file.error == ENOTDIR) {
        why = QStringLiteral("batch file missing: %1").arg(path);
        return std::nullopt;
    }
    if (file.error != 0) {
        why = QStringLiteral("batch file %1 cannot be read: %2").arg(path, errnoText(file.error));
        return std::nullopt;
    }
    if (file.truncated) {
        why = QStringLiteral("batch file %1 is larger than %2 KiB: not run")
                  .arg(path)
                  .arg(Max / 1024);
        return std::nullopt;
    }
    return file.bytes;
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

// One process as /proc/PID/stat tells it.
struct ProcessEntry {
    qint64 pid = 0;
    qint64 parent = 0;
    qint64 group = 0;
    char state = 0; // 'Z' a zombie, 'X' dead
    QByteArray name;
    bool ended() const { return state == 'Z' || state == 'X'; }
};

// Every process, from one pass over /proc; nullopt when /proc cannot be read.
std::optional<std::vector<ProcessEntry>> processList() {
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return std::nullopt;
    std::vector<ProcessEntry> list;
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
        const char* nameStart = std::strchr(text, '(');
        const char* afterName = std::strrchr(text, ')');
        ProcessEntry process;
        long pid = 0, parent = 0, group = 0;
        if (!nameStart || !afterName || afterName < nameStart ||
            std::sscanf(text, "%ld", &pid) != 1 ||
            std::sscanf(afterName + 1, " %c %ld %ld", &process.state, &parent, &group) != 3)
            continue;
        process.pid = pid;
        process.parent = parent;
        process.group = group;
        process.name = QByteArray(nameStart + 1, afterName - nameStart - 1);
        list.push_back(std::move(process));
    }
    ::closedir(proc);
    return list;
}

// The processes of process group `group` that have not ended (zombies have);
// nullopt when /proc cannot be read.
std::optional<int> liveInGroup(qint64 group) {
    const auto list = processList();
    if (!list)
        return std::nullopt;
    return int(std::count_if(list->begin(), list->end(), [group](const ProcessEntry& process) {
        return process.group == group && !process.ended();
    }));
}

// The id after `mark` in the environment a process was started with: the
// query batch it comes from; 0 when it carries no mark of this starter's (or
// its environment cannot be read: another user's process).
quint64 markedQuery(qint64 pid, const QByteArray& mark) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%lld/environ", static_cast<long long>(pid));
    const Descriptor file(::open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return 0;
    constexpr qsizetype Most = 1024 * 1024; // far more than any environment
    QByteArray text;
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(file.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > Most)
            break;
        text.append(chunk, n);
    }
    for (const QByteArray& variable : text.split('\0'))
        if (variable.startsWith(mark))
            return variable.mid(mark.size()).toULongLong();
    return 0;
}

// The panel's descendants that carry a query's mark, outside the process
// groups that the starters hold (those are ended as groups), not yet ended,
// with the query each comes from. Being a child subreaper, the panel keeps
// as descendants what a client left behind in a session or group of its
// own; a process elsewhere with a mark of the same text (another copy of
// the panel) is not among them.
std::vector<std::pair<ProcessEntry, quint64>>
markedDescendants(const std::vector<ProcessEntry>& list, const QByteArray& mark) {
    std::unordered_multimap<qint64, const ProcessEntry*> childrenOf;
    for (const ProcessEntry& process : list)
        childrenOf.emplace(process.parent, &process);
    std::vector<std::pair<ProcessEntry, quint64>> found;
    std::vector<qint64> next{qint64(::getpid())};
    QSet<qint64> seen;
    while (!next.empty()) {
        const qint64 parent = next.back();
        next.pop_back();
        const auto [from, to] = childrenOf.equal_range(parent);
        for (auto it = from; it != to; ++it) {
            const ProcessEntry& process = *it->second;
            if (seen.contains(process.pid))
                continue;
            seen.insert(process.pid);
            next.push_back(process.pid);
            if (process.ended() || heldChildren().contains(process.group))
                continue;
            if (const quint64 query = markedQuery(process.pid, mark))
                found.emplace_back(process, query);
        }
    }
    return found;
}

// Reaps the zombies that re-parented to the panel: children it did not start
// itself (no starter holds them) whose process group is not the panel's.
// A zombie in the panel's own group may be a child that Qt's QProcess
// started and reaps itself, so it is left to it.
void reapOrphans(const std::vector<ProcessEntry>& list) {
    const qint64 self = ::getpid();
    const qint64 ownGroup = ::getpgrp();
    for (const ProcessEntry& process : list) {
        if (process.parent != self || process.state != 'Z' || process.group == ownGroup ||
            heldChildren().contains(process.pid))
            continue;
        int status = 0;
        ::waitpid(pid_t(process.pid), &status, WNOHANG);
    }
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
bool reaped(qint64 pid, int* status = nullptr) {
    int got = 0;
    const pid_t pidOrZero = ::waitpid(pid_t(pid), &got, WNOHANG);
    if (status)
        *status = got;
    return pidOrZero == pid_t(pid) || (pidOrZero < 0 && errno == ECHILD);
}

QString processes(int count) {
    return count == 1 ? QStringLiteral("1 process") : QStringLiteral("%1 processes").arg(count);
}

int live(qint64 group, bool leaderRuns) {
    return liveInGroup(group).value_or(leaderRuns ? 1 : 0);
}

// A program name without '/' looked up in PATH as execvp looks it up (PATH
// unset: the system's default; an empty element: the current folder).
QByteArray findInPath(const QByteArray& name, int& error) {
    QByteArray path = qgetenv("PATH");
    if (path.isNull()) {
        const size_t length = ::confstr(_CS_PATH, nullptr, 0);
        path = QByteArray(qsizetype(length), '\0');
        if (length > 0)
            ::confstr(_CS_PATH, path.data(), length);
        path = path.left(qsizetype(std::strlen(path.constData())));
    }
    error = ENOENT;
    for (const QByteArray& folder : path.split(':')) {
        const QByteArray candidate = (folder.isEmpty() ? QByteArray(".") : folder) + '/' + name;
        struct stat st {};
        if (::stat(candidate.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::access(candidate.constData(), X_OK) == 0)
            return candidate;
        error = EACCES;
    }
    return {};
}

// A child process, started with fork and execve, because posix_spawn cannot
// set a resource limit for the child alone (setting it in the panel around
// a spawn would hold for all its threads meanwhile, and prlimit after the
// spawn would let the client write first).
struct SpawnPlan {
    QByteArray program; // a path with '/'
    std::vector<QByteArray> arguments;
    std::vector<QByteArray> environment;
    int input = -1; // descriptors for stdin, stdout, stderr; -1: /dev/null
    int output = -1;
    int errors = -1;
    rlim_t maxFileBytes = RLIM_INFINITY; // RLIMIT_FSIZE of the child
};

// Closes every descriptor from 3 on except `keep` (which closes at the
// exec, or carries the exec's failure).
void closeOthers(int keep) {
#ifdef SYS_close_range
    if ((keep <= 3 || ::syscall(SYS_close_range, 3U, unsigned(keep - 1), 0U) == 0) &&
        ::syscall(SYS_close_range, unsigned(keep + 1), ~0U, 0U) == 0)
        return;
#endif
    rlimit files{};
    const int most = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 65536
                         ? int(files.rlim_cur)
                         : 65536;
    for (int fd = 3; fd < most; ++fd)
        if (fd != keep)
            ::close(fd);
}

// The child's side, between fork and exec: async-signal-safe calls only, as
// the panel has threads. Never returns.
[[noreturn]] void becomeChild(const char* program, char* const* argv, char* const* envp,
                              const int (&sources)[3], int report, rlim_t maxFileBytes) {
    const auto fail = [report]() {
        const int error = errno;
        [[maybe_unused]] const ssize_t told = ::write(report, &error, sizeof error);
        ::_exit(127);
    };
    // A process group of its own, so that what the client starts in turn
    // is ended with it.
    if (::setpgid(0, 0) != 0)
        fail();
    // Default handling of every signal (a signal the panel ignores would
    // stay ignored across the exec), none blocked once the exec is near.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &standard, nullptr); // SIGKILL, SIGSTOP and the like refuse: fine
    // stdin, stdout, stderr: sources below 3 are moved out of the way first,
    // so that no dup2 overwrites a source still to be used.
    int fds[3] = {sources[0], sources[1], sources[2]};
    for (int& fd : fds)
        if (fd < 3 && (fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0)
            fail();
    for (int target = 0; target < 3; ++target)
        if (::dup2(fds[target], target) < 0)
            fail();
    if (maxFileBytes != RLIM_INFINITY) {
        rlimit limit{};
        if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
            fail();
        limit.rlim_cur = limit.rlim_max = std::min(maxFileBytes, limit.rlim_max);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            fail();
    }
    // Nothing else of the panel's (its display connection, its files).
    closeOthers(report);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(program, argv, envp);
    fail();
    ::_exit(127);
}

// The started child's process id, or -1 and `error` (an errno: the fork's,
// or why the child could not become the program).
pid_t spawn(const SpawnPlan& plan, int& error) {
    // Everything the child needs is made before the fork.
    std::vector<char*> argv, envp;
    for (const QByteArray& argument : plan.arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);
    for (const QByteArray& variable : plan.environment)
        envp.push_back(const_cast<char*>(variable.constData()));
    envp.push_back(nullptr);
    const Descriptor null(::open(NullDevice, O_RDWR | O_CLOEXEC));
    int report[2];
    if (null.get() < 0 || ::pipe2(report, O_CLOEXEC) != 0) {
        error = errno;
        return -1;
    }
    const Descriptor readReport(report[0]);
    Descriptor writeReport(report[1]);
    const int sources[3] = {plan.input < 0 ? null.get() : plan.input,
                            plan.output < 0 ? null.get() : plan.output,
                            plan.errors < 0 ? null.get() : plan.errors};

    // No signal handler of the panel's may run in the child before it has
    // set every signal to its default.
    sigset_t all, before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t pid = ::fork();
    if (pid == 0)
        becomeChild(plan.program.constData(), argv.data(), envp.data(), sources, report[1],
                    plan.maxFileBytes);
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (pid < 0) {
        error = forkError;
        return -1;
    }
    // The report's write end closes in the child at the exec: nothing to
    // read means the program runs.
    writeReport.release();
    ::close(report[1]);
    int childError = 0;
    ssize_t n;
    do
        n = ::read(readReport.get(), &childError, sizeof childError);
    while (n < 0 && errno == EINTR);
    if (n != ssize_t(sizeof childError))
        return pid;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    error = childError;
    return -1;
}

// The panel's environment for a child: without any mark of a query, and
// with `mark` when it is given.
std::vector<QByteArray> childEnvironment(const QByteArray& mark) {
    std::vector<QByteArray> variables;
    for (char** variable = environ; variable && *variable; ++variable)
        if (std::strncmp(*variable, MarkName, sizeof MarkName - 1) != 0)
            variables.emplace_back(*variable);
    if (!mark.isEmpty())
        variables.push_back(mark);
    return variables;
}

// A command's output as one line for the diagnostics: line ends as " | ",
// other control characters as blanks.
QString oneLine(const QByteArray& bytes) {
    QString text = QString::fromLocal8Bit(bytes).trimmed();
    text.replace(QLatin1String("\r\n"), QLatin1String(" | "));
    text.replace(QLatin1Char('\n'), QLatin1String(" | "));
    for (QChar& c : text)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return text;
}

// "SIGKILL", "SIGXFSZ": a signal by the name the diagnostics use.
QString signalName(int signal) {
    static const std::pair<int, const char*> names[] = {
        {SIGHUP, "SIGHUP"},       {SIGINT, "SIGINT"},   {SIGQUIT, "SIGQUIT"},
        {SIGILL, "SIGILL"},       {SIGTRAP, "SIGTRAP"}, {SIGABRT, "SIGABRT"},
        {SIGBUS, "SIGBUS"},       {SIGFPE, "SIGFPE"},   {SIGKILL, "SIGKILL"},
        {SIGUSR1, "SIGUSR1"},     {SIGSEGV, "SIGSEGV"}, {SIGUSR2, "SIGUSR2"},
        {SIGPIPE, "SIGPIPE"},     {SIGALRM, "SIGALRM"}, {SIGTERM, "SIGTERM"},
        {SIGXCPU, "SIGXCPU"},     {SIGXFSZ, "SIGXFSZ"}, {SIGSYS, "SIGSYS"},
        {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"}, {SIGSTKFLT, "SIGSTKFLT"}};
    for (const auto& [number, name] : names)
        if (number == signal)
            return QString::fromLatin1(name);
    return QStringLiteral("signal %1").arg(signal);
}

// A pipe for a child's output: the read end non-blocking for the panel,
// the write end blocking for the child; both close-on-exec (the child gets
// the write end by dup2). False and errno when it cannot be made.
bool makePipe(Descriptor& readEnd, Descriptor& writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    readEnd.reset(ends[0]);
    writeEnd.reset(ends[1]);
    ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    return true;
}

// How a child's wait status reads in a line: "exited with status 1",
// "died of SIGKILL".
QString howItEnded(int status) {
    if (WIFEXITED(status))
        return QStringLiteral("exited with status %1").arg(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return QStringLiteral("died of %1").arg(signalName(WTERMSIG(status)));
    return QStringLiteral("ended");
}

} // namespace

// A child's output pipe, read as it fills (a QSocketNotifier) so that the
// child never waits on it, keeping the first `keep` bytes and counting the
// rest.
struct PosixProcessStarter::Pipe {
    int fd = -1; // the read end, non-blocking; -1 once closed
    qint64 keep = 0;
    QByteArray kept;
    qint64 dropped = 0;
    std::unique_ptr<QSocketNotifier> ready;

    Pipe(int readEnd, qint64 most) : fd(readEnd), keep(most) {}
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() { close(); }
    bool open() const { return fd >= 0; }
    // `then` runs after each read that the notifier starts.
    void watch(std::function<void()> then = {}) {
        if (fd < 0 || !QCoreApplication::instance())
            return;
        ready = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(ready.get(), &QSocketNotifier::activated, ready.get(),
                         [this, then = std::move(then)] {
                             drain();
                             if (then)
                                 then();
                         });
    }
    // The notifier is only disabled here (this may run inside its signal);
    // it goes with the pipe.
    void close() {
        if (ready)
            ready->setEnabled(false);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    // What the pipe holds now, up to a bound per call (so that a writer
    // faster than the reads cannot hold the event loop); at its end the
    // pipe is closed.
    void drain() {
        char chunk[16384];
        for (qint64 budget = 1024 * 1024; fd >= 0 && budget > 0;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (n <= 0) {
                close();
                return;
            }
            budget -= n;
            const qsizetype room = qsizetype(qMax<qint64>(0, keep - kept.size()));
            kept.append(chunk, qMin<qsizetype>(room, n));
            dropped += n - qMin<qsizetype>(room, n);
        }
    }
};

// A pidfd and its notifier: `then` runs (once) when the process has ended.
// Without pidfds (or without an application object) there is none, and
// the owner looks itself.
struct PosixProcessStarter::Watch {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;

    Watch(pid_t pid, std::function<void()> then) {
#ifdef SYS_pidfd_open
        if (!QCoreApplication::instance())
            return;
        fd = int(::syscall(SYS_pidfd_open, pid, 0U)); // close-on-exec, as every pidfd
        if (fd < 0)
            return;
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QSocketNotifier* raw = notifier.get();
        QObject::connect(raw, &QSocketNotifier::activated, raw, [raw, then = std::move(then)] {
            raw->setEnabled(false); // stays readable: once is enough
            then();
        });
#else
        Q_UNUSED(pid);
        Q_UNUSED(then);
#endif
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
    ~Watch() {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
    bool active() const {
        return fd >= 0;
    }
};

// A user or alert command: its shell while it runs, and the pipe its
// output comes through, read as it fills (so that the command never waits
// on a full pipe) and kept up to MaxCommandOutputBytes. A command whose
// shell has ended but whose pipe is still held by something it started in
// the background stays, drained and discarded, until the pipe closes.
struct PosixProcessStarter::Command {
    QString purpose;
    QString text;
    qint64 pid = 0; // the shell; 0 once it has been reaped
    std::unique_ptr<Pipe> output;
    std::unique_ptr<Watch> exited;
};

// A program that runProgram started, from its start to its `done`.
struct PosixProcessStarter::Program {
    enum class Stage {
        Running, // its time not up, its output within the maximum
        Terming, // what is left of it got SIGTERM at `stageAt`
        Killing, // ... and SIGKILL at `stageAt`
        Over,    // its run is complete: `done` is on its way
    };
    quint64 id = 0;
    qint64 pid = 0; // also its process group; 0 once reaped
    QString name;   // "\"program\"" for the messages
    int timeoutMs = 0;
    qint64 maxOutput = 0;
    ProgramDone done;
    ProgramRun run;
    std::unique_ptr<Pipe> output, errors;
    std::unique_ptr<Watch> exited;
    QTimer timer; // the next look: its time up, a grace over, or a poll without pidfd
    QElapsedTimer clock;
    Stage stage = Stage::Running;
    qint64 stageAt = 0;
    QString why;                 // set when it was ended: the run's failure
    bool gone = false;           // the program itself has ended (seen, not reaped yet)
    std::optional<int> exitCode; // ... by exit(): its status
    int signal = 0;              // ... by a signal: which
    bool endedByItself = false;  // it had ended before anything was done to it
};

PosixProcessStarter::PosixProcessStarter()
    : mark_(QByteArray(MarkName) + QByteArray::number(qint64(::getpid())) + ':' +
            QByteArray::number(++startersMade) + ':') {
    // What a batch's client leaves behind when it detaches (a double fork,
    // setsid) re-parents to the panel rather than to init: it stays one of
    // the panel's descendants, where the starter finds it by its mark, and
    // the panel reaps it once it has ended.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    context_ = std::make_unique<QObject>();
}

PosixProcessStarter::~PosixProcessStarter() {
    output_ = nullptr;
    context_.reset(); // no queued call of the starter's runs any more
    // A running program is ended like a query's client (its group and its
    // marked processes), and its `done` is never called.
    for (const auto& program : programs_)
        if (program->pid)
            children_.append(
                {program->id, program->pid, BatchKind::Query, program->name, false, -1, {}, {}});
    programs_.clear();
    endQueries();
    // Stop commands and the user's commands go on; the starter only lets go.
    for (const Child& child : std::as_const(children_))
        forget(child);
    for (const auto& command : commands_)
        heldChildren().remove(command->pid);
}

void PosixProcessStarter::setOutputHandler(OutputHandler handler) {
    output_ = std::move(handler);
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
    Descriptor log(command.logPath.isEmpty() ? -1 : openLog(command.logPath, why));
    if (!command.logPath.isEmpty() && log.get() < 0) {
        start.result = Result::failure(why);
        return start;
    }

    // A name with a '/' is started as it stands; a bare name is looked up
    // in PATH, as cmd.exe looks a bare name up in its PATH.
    const QString& program = command.arguments.first();
    const bool query = kind == BatchKind::Query;
    const quint64 id = nextId_;
    SpawnPlan plan;
    int error = 0;
    plan.program = QFile::encodeName(program);
    if (!program.contains(u'/'))
        plan.program = findInPath(plan.program, error);
    for (const QString& argument : command.arguments)
        plan.arguments.push_back(QFile::encodeName(argument));
    // A query's processes carry its mark, so that what they leave behind
    // outside their group is found; a stop command's are never ended.
    plan.environment = childEnvironment(query ? mark_ + QByteArray::number(id) : QByteArray());
    plan.output = log.get();
    if (query)
        plan.maxFileBytes = rlim_t(MaxQueryOutputBytes);
    // The client's own words: its stderr into a pipe the panel reads.
    Descriptor errorsRead, errorsWrite;
    if (!plan.program.isEmpty() && !makePipe(errorsRead, errorsWrite)) {
        error = errno;
        plan.program.clear();
    }
    plan.errors = errorsWrite.get();
    const pid_t pid = plan.program.isEmpty() ? -1 : spawn(plan, error);
    if (pid < 0) {
        start.result = Result::failure(QStringLiteral("batch file %1: cannot start %2: %3")
                                           .arg(path, program, errnoText(error)));
        return start;
    }
    start.id = nextId_++;
    start.skipped = command.skipped;
    heldChildren().insert(pid);
    auto errors = std::make_shared<Pipe>(errorsRead.release(), BatchEnd::MaxErrorBytes);
    errors->watch();
    // A stop batch is told once it has ended; a pidfd says when (a queued
    // call, so that the watch is not taken away inside its own signal).
    std::shared_ptr<Watch> exited;
    if (!query)
        exited = std::make_shared<Watch>(
            pid, [this] { QTimer::singleShot(0, context_.get(), [this] { reapEnded(); }); });
    children_.append(
        {start.id, qint64(pid), kind, program, false, query ? log.release() : -1, errors, exited});
    return start;
}

BatchEnd PosixProcessStarter::finishBatch(quint64 id) {
    reapEnded();
    std::shared_ptr<Pipe> errors;
    for (const Child& child : std::as_const(children_))
        if (child.id == id && child.kind == BatchKind::Query && !child.ended)
            errors = child.errors;
    QHash<quint64, LeaderEnd> leaders;
    BatchEnd end;
    end.ended = endQueryProcesses({id}, false, &leaders).join(QStringLiteral("; "));
    if (errors) {
        errors->drain(); // what it wrote up to its end
        end.errorOutput = errors->kept;
    }
    const LeaderEnd leader = leaders.value(id);
    if (leader.status) {
        const int status = *leader.status;
        if (!leader.ranOn && WIFEXITED(status))
            end.exitStatus = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            end.signal = signalName(WTERMSIG(status));
        else if (leader.ranOn) // it ended itself on the signal it got
            end.signal = signalName(leader.killed ? SIGKILL : SIGTERM);
    }
    return end;
}

void PosixProcessStarter::runProgram(const QString& program, const QStringList& arguments,
                                     int timeoutMs, qint64 maxOutputBytes, ProgramDone done) {
    reapEnded();
    auto owned = std::make_unique<Program>();
    Program* raw = owned.get();
    Program& run = *owned;
    run.id = nextId_++;
    run.name = QStringLiteral("\"%1\"").arg(program);
    run.timeoutMs = qMax(0, timeoutMs);
    run.maxOutput = qMax<qint64>(0, maxOutputBytes);
    run.done = std::move(done);
    run.clock.start();
    run.timer.setSingleShot(true);
    QObject::connect(&run.timer, &QTimer::timeout, context_.get(), [this, raw] { step(*raw); });
    programs_.push_back(std::move(owned));

    // As the batch runner starts a client: a bare name looked up in PATH,
    // a process group of its own, marked like a query (so that what it
    // leaves outside its group is found), stdin on /dev/null.
    SpawnPlan plan;
    int error = ENOENT;
    if (!program.isEmpty()) {
        plan.program = QFile::encodeName(program);
        if (!program.contains(u'/'))
            plan.program = findInPath(plan.program, error);
    }
    Descriptor outputRead, outputWrite, errorsRead, errorsWrite;
    if (!plan.program.isEmpty() &&
        (!makePipe(outputRead, outputWrite) || !makePipe(errorsRead, errorsWrite))) {
        error = errno;
        plan.program.clear();
    }
    plan.arguments.push_back(QFile::encodeName(program));
    for (const QString& argument : arguments)
        plan.arguments.push_back(QFile::encodeName(argument));
    plan.environment = childEnvironment(mark_ + QByteArray::number(run.id));
    plan.output = outputWrite.get();
    plan.errors = errorsWrite.get();
    const pid_t pid = plan.program.isEmpty() ? -1 : spawn(plan, error);
    run.output = std::make_unique<Pipe>(outputRead.release(), run.maxOutput);
    run.errors = std::make_unique<Pipe>(errorsRead.release(), BatchEnd::MaxErrorBytes);
    if (pid < 0) {
        // Told on the event loop, never from in here.
        run.run.result =
            Result::failure(QStringLiteral("cannot start %1: %2").arg(run.name, errnoText(error)));
        run.stage = Program::Stage::Over;
        QTimer::singleShot(0, context_.get(), [this, id = run.id] { deliver(id); });
        return;
    }
    run.pid = pid;
    heldChildren().insert(pid);
    run.output->watch([this, raw] { step(*raw); });
    run.errors->watch([this, raw] { step(*raw); });
    run.exited = std::make_unique<Watch>(pid, [this, raw] { step(*raw); });
    run.timer.start(run.exited->active() ? run.timeoutMs : qMin(run.timeoutMs, ProgramPollMs));
}

void PosixProcessStarter::step(Program& program) {
    using Stage = Program::Stage;
    if (program.stage == Stage::Over)
        return;
    program.output->drain();
    program.errors->drain();
    const qint64 now = program.clock.elapsed();
    // Its own end, seen without reaping it: its pid names its group, which
    // may still hold what it started.
    if (!program.gone) {
        siginfo_t info{};
        const int seen = ::waitid(P_PID, id_t(program.pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if (seen != 0 || info.si_pid != 0) {
            program.gone = true;
            program.endedByItself = program.stage == Stage::Running;
            if (seen == 0 && info.si_code == CLD_EXITED)
                program.exitCode = info.si_status;
            else if (seen == 0)
                program.signal = info.si_status;
        }
    }
    // What is left of it: its group's live processes, and its marked ones
    // outside the group.
    const auto marked = [this, &program] {
        std::vector<ProcessEntry> found;
        if (const auto list = processList())
            for (const auto& [process, from] : markedDescendants(*list, mark_))
                if (from == program.id)
                    found.push_back(process);
        return found;
    };
    const auto anythingLeft = [&] {
        return live(program.pid, !program.gone && childRuns(program.pid)) > 0 || !marked().empty();
    };
    const auto signalAll = [&](int signal) {
        ::kill(-pid_t(program.pid), signal);
        for (const ProcessEntry& process : marked())
            ::kill(pid_t(process.pid), signal);
    };

    bool over = false;
    if (program.stage == Stage::Running) {
        bool end = program.gone; // what it left is ended with it
        if (program.output->dropped > 0) {
            program.run.outputCut = true;
            program.why = QStringLiteral("%1 wrote more than %2 bytes on its standard output: "
                                         "ended")
                              .arg(program.name)
                              .arg(program.maxOutput);
            end = true;
        } else if (!program.gone && now >= program.timeoutMs) {
            program.run.timedOut = true;
            program.why = QStringLiteral("%1 was still running after %2 ms: ended")
                              .arg(program.name)
                              .arg(program.timeoutMs);
            end = true;
        }
        if (end && anythingLeft()) {
            signalAll(SIGTERM);
            program.stage = Stage::Terming;
            program.stageAt = now;
        } else {
            over = end;
        }
    } else if (program.stage == Stage::Terming) {
        if (!anythingLeft()) {
            over = true;
        } else if (now - program.stageAt >= TermGraceMs) {
            signalAll(SIGKILL);
            program.stage = Stage::Killing;
            program.stageAt = now;
        }
    } else if (program.stage == Stage::Killing) {
        over = !anythingLeft() || now - program.stageAt >= KillGraceMs;
    }

    if (!over) {
        int next = ProgramPollMs / 2; // an ending group is looked at often
        if (program.stage == Stage::Running) {
            next = int(qMax<qint64>(0, program.timeoutMs - now));
            if (!program.exited->active())
                next = qMin(next, ProgramPollMs);
        }
        program.timer.start(next);
        return;
    }

    // Its run is complete: what is still in the pipes, then the program
    // reaped (one that outlives even SIGKILL is reaped by a later call).
    program.timer.stop();
    program.output->drain();
    program.errors->drain();
    program.output->close();
    program.errors->close();
    int status = 0;
    if (reaped(program.pid, &status)) {
        heldChildren().remove(program.pid);
        if (!program.gone && WIFEXITED(status))
            program.exitCode = WEXITSTATUS(status);
    } else {
        children_.append(
            {program.id, program.pid, BatchKind::Query, program.name, true, -1, {}, {}});
    }
    program.pid = 0;
    ProgramRun& run = program.run;
    run.output = program.output->kept;
    run.errorOutput = program.errors->kept;
    if (program.endedByItself)
        run.exitStatus = program.exitCode;
    if (!program.why.isEmpty())
        run.result = Result::failure(program.why);
    else if (program.signal)
        run.result = Result::failure(
            QStringLiteral("%1 died of %2").arg(program.name, signalName(program.signal)));
    else if (!run.exitStatus)
        run.result = Result::failure(
            QStringLiteral("%1 ended; its exit status is unknown").arg(program.name));
    program.stage = Stage::Over;
    QTimer::singleShot(0, context_.get(), [this, id = program.id] { deliver(id); });
}

void PosixProcessStarter::deliver(quint64 id) {
    const auto found = std::find_if(programs_.begin(), programs_.end(),
                                    [id](const auto& program) { return program->id == id; });
    if (found == programs_.end())
        return;
    // The run leaves the starter before its `done` is called, which may
    // end the starter.
    const std::unique_ptr<Program> program = std::move(*found);
    programs_.erase(found);
    const ProgramDone done = std::move(program->done);
    const ProgramRun run = std::move(program->run);
    if (done)
        done(run);
}

bool PosixProcessStarter::programRuns(quint64 id) const {
    return std::any_of(programs_.begin(), programs_.end(), [id](const auto& program) {
        return program->id == id && program->stage != Program::Stage::Over;
    });
}

QList<qint64> PosixProcessStarter::programProcessIds() const {
    QList<qint64> pids;
    for (const auto& program : programs_)
        if (program->pid)
            pids.append(program->pid);
    return pids;
}

void PosixProcessStarter::endQueries() {
    reapEnded();
    QList<quint64> ids;
    for (const Child& child : children_)
        if (child.kind == BatchKind::Query && !child.ended)
            ids.append(child.id);
    endQueryProcesses(ids, true);
}

qint64 PosixProcessStarter::processId(quint64 id) const {
    for (const Child& child : children_)
        if (child.id == id)
            return child.pid;
    return 0;
}

qint64 PosixProcessStarter::commandProcessId(const QString& purpose) const {
    for (const auto& command : commands_)
        if (command->purpose == purpose && command->pid)
            return command->pid;
    return 0;
}

void PosixProcessStarter::forget(const Child& child) {
    heldChildren().remove(child.pid);
    if (child.log >= 0)
        ::close(child.log);
    if (child.errors && child.errors->open())
        draining_.push_back(child.errors);
}

bool PosixProcessStarter::reapStop(const Child& child, QString& told) {
    int status = 0;
    if (!reaped(child.pid, &status))
        return false;
    forget(child);
    QString said;
    qint64 dropped = 0;
    if (child.errors) {
        child.errors->drain();
        said = oneLine(child.errors->kept);
        dropped = child.errors->dropped;
    }
    const bool failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    if (!failed && said.isEmpty())
        return true;
    told = QStringLiteral("stop command \"%1\" %2").arg(child.program, howItEnded(status));
    if (!said.isEmpty())
        told += QStringLiteral(" and said \"%1\"").arg(said);
    if (dropped > 0)
        told += QStringLiteral(" (%1 more bytes not kept)").arg(dropped);
    return true;
}

void PosixProcessStarter::reapEnded() {
    QStringList told; // told once the list is settled
    children_.removeIf([this, &told](const Child& child) {
        QString line;
        if (child.kind == BatchKind::Stop) {
            const bool gone = reapStop(child, line);
            if (!line.isEmpty())
                told.append(line);
            return gone;
        }
        const bool gone = child.ended && reaped(child.pid);
        if (gone)
            forget(child);
        return gone;
    });
    std::erase_if(draining_, [](const std::shared_ptr<Pipe>& pipe) { return !pipe->open(); });
    for (const QString& line : std::as_const(told))
        if (output_)
            output_(QStringLiteral("stop command"), line);
    for (const auto& command : commands_)
        collect(*command);
    std::erase_if(commands_, [](const std::unique_ptr<Command>& command) {
        return command->pid == 0 && !command->output->open();
    });
    if (const auto list = processList())
        reapOrphans(*list);
}

QStringList PosixProcessStarter::endQueryProcesses(const QList<quint64>& ids, bool allLeftovers,
                                                   QHash<quint64, LeaderEnd>* leaders) {
    struct Ending {
        qint64 pid;
        QString said; // what was running
        bool killed = false;
        quint64 id = 0;
    };
    QStringList lines;
    std::vector<Ending> ending;
    QList<qint64> done; // leaders to reap
    for (Child& child : children_) {
        if (!ids.contains(child.id) || child.kind != BatchKind::Query || child.ended)
            continue;
        child.ended = true;
        done.append(child.pid);
        const QString client = QStringLiteral("\"%1\" (pid %2)").arg(child.program).arg(child.pid);
        // The file size limit cut the log (the client died of SIGXFSZ, or
        // got EFBIG): the answer, if any, is in its first bytes.
        struct stat log {};
        if (child.log >= 0 && ::fstat(child.log, &log) == 0 && S_ISREG(log.st_mode) &&
            log.st_size >= MaxQueryOutputBytes)
            lines.append(QStringLiteral("the output of %1 reached %2 MiB, the most a query may "
                                        "write, and was cut")
                             .arg(client)
                             .arg(MaxQueryOutputBytes / (1024 * 1024)));
        const bool runs = childRuns(child.pid);
        if (leaders)
            (*leaders)[child.id].ranOn = runs;
        const int members = live(child.pid, runs);
        if (members <= 0)
            continue;
        const int others = members - (runs ? 1 : 0);
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
        ending.push_back({child.pid, said, false, child.id});
    }

    // What queries left outside their groups: those of the batches being
    // ended, and of every query batch already dealt with (a straggler that
    // escaped its group late). The stop command's processes carry no mark:
    // the node may need them to finish, so they are left alone.
    const auto leftovers = [&]() {
        std::vector<ProcessEntry> found;
        const auto list = processList();
        if (!list)
            return found;
        for (const auto& [process, query] : markedDescendants(*list, mark_)) {
            bool pending = false; // a query batch not yet dealt with
            for (const Child& child : children_)
                pending = pending || (child.id == query && !child.ended);
            // A running program's are ended with its run.
            const bool program = programRuns(query);
            if (ids.contains(query) || (!program && (allLeftovers || !pending)))
                found.push_back(process);
        }
        return found;
    };
    std::vector<ProcessEntry> left = leftovers();
    for (const ProcessEntry& process : left)
        ::kill(pid_t(process.pid), SIGTERM);

    const auto waitFor = [&](int ms) {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            bool any = !leftovers().empty();
            for (const Ending& e : ending)
                any = any || live(e.pid, childRuns(e.pid)) > 0;
            if (!any || waited.elapsed() >= ms)
                return any;
            std::this_thread::sleep_for(std::chrono::milliseconds(PollMs));
        }
    };
    bool leftKilled = false;
    if ((!ending.empty() || !left.empty()) && waitFor(TermGraceMs)) {
        for (Ending& e : ending) {
            if (live(e.pid, childRuns(e.pid)) > 0) {
                ::kill(-pid_t(e.pid), SIGKILL);
                e.killed = true;
                if (leaders)
                    (*leaders)[e.id].killed = true;
            }
        }
        for (const ProcessEntry& process : leftovers()) {
            ::kill(pid_t(process.pid), SIGKILL);
            leftKilled = true;
            // One that left its group during the grace is named too.
            if (std::none_of(left.begin(), left.end(), [&process](const ProcessEntry& named) {
                    return named.pid == process.pid;
                }))
                left.push_back(process);
        }
        waitFor(KillGraceMs);
    }

    const auto outcome = [](bool killed) {
        return killed ? QStringLiteral(": killed (SIGTERM was not enough)")
                      : QStringLiteral(": ended");
    };
    for (const Ending& e : ending)
        lines.append(e.said + outcome(e.killed));
    if (!left.empty()) {
        QStringList named;
        for (const ProcessEntry& process : left)
            named.append(QStringLiteral("\"%1\" pid %2")
                             .arg(QString::fromLocal8Bit(process.name))
                             .arg(process.pid));
        lines.append(QStringLiteral("%1 left behind outside a query's process group (%2) %3 "
                                    "still running")
                         .arg(processes(int(left.size())), named.join(QStringLiteral(", ")),
                              left.size() == 1 ? QStringLiteral("was") : QStringLiteral("were")) +
                     outcome(leftKilled));
    }
    // A leader that has not ended even after SIGKILL stays for a later call.
    children_.removeIf([this, &done, leaders](const Child& child) {
        int status = 0;
        const bool gone = done.contains(child.pid) && reaped(child.pid, &status);
        if (gone && leaders)
            (*leaders)[child.id].status = status;
        if (gone)
            forget(child);
        return gone;
    });
    if (const auto list = processList())
        reapOrphans(*list);
    return lines;
}

void PosixProcessStarter::collect(Command& command) {
    command.output->drain();
    int status = 0;
    if (command.pid == 0 || !reaped(command.pid, &status))
        return;
    heldChildren().remove(command.pid);
    command.pid = 0;
    command.output->drain(); // all the shell wrote is in the pipe now

    QString how;
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        how = QStringLiteral(" with exit status %1").arg(WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        how = QStringLiteral(" by signal %1 (%2)")
                  .arg(WTERMSIG(status))
                  .arg(QString::fromLocal8Bit(::strsignal(WTERMSIG(status))));
    const QString wrote = oneLine(command.output->kept);
    if ((how.isEmpty() && wrote.isEmpty()) || !output_)
        return;
    QString line = QStringLiteral("%1 \"%2\" ended%3").arg(command.purpose, command.text, how);
    if (!wrote.isEmpty())
        line += QStringLiteral("; it wrote: ") + wrote;
    if (command.output->dropped > 0)
        line += QStringLiteral(" (%1 more bytes not kept)").arg(command.output->dropped);
    output_(command.purpose, line);
}

Result PosixProcessStarter::startUserCommand(const QString& commandLine, const QString& purpose) {
    reapEnded();
    if (commandLine.trimmed().isEmpty())
        return Result::failure(QStringLiteral("%1 is empty").arg(purpose));
    if (const qint64 running = commandProcessId(purpose))
        return Result::failure(
            QStringLiteral("%1 \"%2\" is still running from the last time (pid %3); not "
                           "started again")
                .arg(purpose, commandLine)
                .arg(running));

    // Its output through a pipe: the write end blocking for the command, the
    // read end non-blocking for the panel.
    Descriptor readEnd, writeEnd;
    if (!makePipe(readEnd, writeEnd))
        return Result::failure(QStringLiteral("cannot start %1 \"%2\": %3")
                                   .arg(purpose, commandLine, errnoText(errno)));
    auto command = std::make_unique<Command>();
    command->purpose = purpose;
    command->text = commandLine;
    command->output = std::make_unique<Pipe>(readEnd.release(), MaxCommandOutputBytes);

    SpawnPlan plan;
    plan.program = Shell;
    plan.arguments = {Shell, "-c", commandLine.toLocal8Bit()};
    plan.environment = childEnvironment({});
    plan.output = plan.errors = writeEnd.get();
    int error = 0;
    const pid_t pid = spawn(plan, error);
    if (pid < 0)
        return Result::failure(QStringLiteral("cannot start %1 \"%2\": %3")
                                   .arg(purpose, commandLine, errnoText(error)));
    command->pid = pid;
    heldChildren().insert(pid);

    // Read as it comes, and told once the shell has ended (a pidfd says
    // when; without one, the pipe's end or the starter's next call).
    Command* raw = command.get();
    command->output->watch([this, raw] { collect(*raw); });
    command->exited = std::make_unique<Watch>(pid, [this, raw] { collect(*raw); });
    // The last run of this purpose may still be draining what its
    // background processes write; it stays until its pipe closes.
    commands_.push_back(std::move(command));
    return Result::success();
}

} // namespace tw::platform
