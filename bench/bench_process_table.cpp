// Timing of the process check on the real /proc; not a test.
//
//   bench_process_table [--levels 100,2000] [--runs N] [--spawns N] [NAME]
//       For each level, brings the machine to about that many processes by
//       starting sleeping children of its own (fork + pause; at most 5000,
//       all killed and reaped at the end, also on an error or a signal),
//       then times, interleaved, N times each (default 300):
//         - a bare pass: opendir/readdir of /proc and one readlinkat of
//           PID/exe per process entry, nothing else;
//         - one ProcProcessTable::countByImageName(NAME);
//       and prints the median microseconds per pass and their ratio. Then it
//       times, as whole processes, `pgrep -x -i NAME` and this program with
//       `--once NAME` (--spawns times each, default 30, interleaved), and
//       prints the median milliseconds. NAME defaults to "bitcoin-cli".
//       Also says what kinds of entries /proc holds at each level.
//
//   bench_process_table --once NAME
//       One check; prints the count, exit code 0 when found, 1 when not, 2
//       when /proc cannot be read.

#include "platform/posix/Posix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// ---- The sleeping children ------------------------------------------------

constexpr int MaxChildren = 5000;
pid_t children[MaxChildren];
volatile sig_atomic_t childCount = 0;

void killChildren() {
    const int count = childCount;
    for (int i = 0; i < count; ++i)
        ::kill(children[i], SIGKILL);
    for (int i = 0; i < count; ++i) {
        while (::waitpid(children[i], nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    childCount = 0;
}

// Ctrl-C, a terminal closing, a kill: the children go first, then the
// signal does what it would have done.
void onSignal(int signal) {
    killChildren();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Kills and reaps the children when main returns, however it returns.
struct ChildrenGuard {
    ChildrenGuard() {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            ::sigaction(signal, &action, nullptr);
    }
    ~ChildrenGuard() { killChildren(); }
    ChildrenGuard(const ChildrenGuard&) = delete;
    ChildrenGuard& operator=(const ChildrenGuard&) = delete;
};

bool isProcessEntry(const char* name) {
    if (*name == '\0')
        return false;
    for (; *name; ++name) {
        if (*name < '0' || *name > '9')
            return false;
    }
    return true;
}

int processEntries() {
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
        count += isProcessEntry(entry->d_name) ? 1 : 0;
    ::closedir(dir);
    return count;
}

// One child that waits in pause() until it is killed; it dies with this
// program too (PR_SET_PDEATHSIG), should this program be killed outright.
bool startChild() {
    if (childCount >= MaxChildren)
        return false;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            ::signal(signal, SIG_DFL);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(0);
        for (;;)
            ::pause();
    }
    children[childCount] = pid;
    childCount = childCount + 1;
    return true;
}

char stateOf(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return '?';
    char line[512];
    const ssize_t n = ::read(fd, line, sizeof line - 1);
    ::close(fd);
    if (n <= 0)
        return '?';
    line[n] = '\0';
    const char* close = std::strrchr(line, ')');
    return close && close[1] == ' ' ? close[2] : '?';
}

// Starts children until /proc holds about `target` process entries (never
// fewer children than are already there). False when a fork fails.
bool bringTo(int target) {
    int entries = processEntries();
    while (entries < target) {
        for (int i = entries; i < target; ++i) {
            if (!startChild())
                return false;
        }
        entries = processEntries(); // others may have ended meanwhile
    }
    // Let every child reach pause() before anything is timed.
    const auto giveUp = Clock::now() + std::chrono::seconds(10);
    for (int i = 0; i < childCount && Clock::now() < giveUp; ++i) {
        while (stateOf(children[i]) == 'R' && Clock::now() < giveUp)
            ::usleep(1000);
    }
    return true;
}

// ---- What /proc holds -----------------------------------------------------

struct Census {
    int entries = 0, readable = 0, missing = 0, refused = 0, other = 0, kernelThreads = 0;
};

Census census() {
    Census c;
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return c;
    const int dirFd = ::dirfd(dir);
    char path[NAME_MAX + 16];
    char text[PATH_MAX];
    while (const dirent* entry = ::readdir(dir)) {
        if (!isProcessEntry(entry->d_name))
            continue;
        ++c.entries;
        std::snprintf(path, sizeof path, "%s/exe", entry->d_name);
        if (::readlinkat(dirFd, path, text, sizeof text) >= 0)
            ++c.readable;
        else if (errno == ENOENT)
            ++c.missing;
        else if (errno == EACCES || errno == EPERM)
            ++c.refused;
        else
            ++c.other;
        // flags, the 9th field of stat: PF_KTHREAD
        std::snprintf(path, sizeof path, "%s/stat", entry->d_name);
        const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (n <= 0)
            continue;
        text[n] = '\0';
        const char* at = std::strrchr(text, ')');
        for (int field = 0; at && field < 7; ++field)
            at = std::strchr(at + 1, ' ');
        if (at && (std::strtoul(at + 1, nullptr, 10) & 0x00200000UL))
            ++c.kernelThreads;
    }
    ::closedir(dir);
    return c;
}

// ---- The two passes -------------------------------------------------------

// What every check costs at the least: the folder and one readlinkat per
// process entry.
int barePass() {
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return -1;
    const int dirFd = ::dirfd(dir);
    char path[NAME_MAX + 16];
    char target[PATH_MAX];
    int read = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isProcessEntry(entry->d_name))
            continue;
        const std::size_t length = std::strlen(entry->d_name);
        std::memcpy(path, entry->d_name, length);
        std::memcpy(path + length, "/exe", 5);
        read += ::readlinkat(dirFd, path, target, sizeof target) > 0 ? 1 : 0;
    }
    ::closedir(dir);
    return read;
}

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// ---- Whole processes ------------------------------------------------------

// Wall time of one run of `argv` (stdout and stderr to /dev/null), in
// milliseconds; negative when it cannot be started.
double runOnce(const char* program, char* const* argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int failed = ::posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return microseconds(Clock::now() - start) / 1000.0;
}

std::string selfPath() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

bool onPath(const char* program) {
    char* const argv[] = {const_cast<char*>(program), const_cast<char*>("--version"), nullptr};
    return runOnce(program, argv) >= 0;
}

struct Row {
    int level = 0;
    Census census;
    double bare = 0, check = 0, pgrep = -1, once = -1;
    int count = 0;
};

int usage() {
    std::fprintf(stderr, "usage: bench_process_table [--levels N,N...] [--runs N] [--spawns N] "
                         "[NAME]\n       bench_process_table --once NAME\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    tw::platform::ProcProcessTable table;
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) {
        const auto count = table.countByImageName(QString::fromLocal8Bit(argv[2]));
        if (!count)
            return 2;
        std::printf("%d\n", *count);
        return *count > 0 ? 0 : 1;
    }

    std::vector<int> levels{100, 2000};
    int runs = 300;
    int spawns = 30;
    std::string name = "bitcoin-cli";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--levels" || arg == "--runs" || arg == "--spawns") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--runs")
                runs = std::max(1, std::atoi(value.c_str()));
            else if (arg == "--spawns")
                spawns = std::max(0, std::atoi(value.c_str()));
            else {
                levels.clear();
                for (std::size_t at = 0; at <= value.size();) {
                    const std::size_t comma = std::min(value.find(',', at), value.size());
                    levels.push_back(std::atoi(value.substr(at, comma - at).c_str()));
                    at = comma + 1;
                }
            }
        } else if (!arg.empty() && arg[0] != '-') {
            name = arg;
        } else {
            return usage();
        }
    }
    std::sort(levels.begin(), levels.end());
    if (levels.empty() || levels.front() < 1 || levels.back() > 20000)
        return usage();

    const ChildrenGuard guard;
    const QString wanted = QString::fromLocal8Bit(name.c_str());
    const std::string self = selfPath();
    const bool havePgrep = onPath("pgrep");
    char* const pgrepArgv[] = {const_cast<char*>("pgrep"), const_cast<char*>("-x"),
                               const_cast<char*>("-i"), name.data(), nullptr};
    char* const onceArgv[] = {const_cast<char*>("bench_process_table"), const_cast<char*>("--once"),
                              name.data(), nullptr};

    std::vector<Row> rows;
    for (const int level : levels) {
        if (!bringTo(level)) {
            std::fprintf(stderr, "could not start enough children for %d processes (%s)\n", level,
                         std::strerror(errno));
            return 1;
        }
        Row row;
        row.level = level;
        row.census = census();

        std::vector<double> bare, check;
        bare.reserve(static_cast<std::size_t>(runs));
        check.reserve(static_cast<std::size_t>(runs));
        for (int i = 0; i < 10; ++i) { // warm the caches
            barePass();
            table.countByImageName(wanted);
        }
        for (int i = 0; i < runs; ++i) {
            // Alternate which goes first, so neither always follows the other.
            for (int half = 0; half < 2; ++half) {
                const auto start = Clock::now();
                if ((i + half) % 2 == 0) {
                    barePass();
                    bare.push_back(microseconds(Clock::now() - start));
                } else {
                    row.count = table.countByImageName(wanted).value_or(-1);
                    check.push_back(microseconds(Clock::now() - start));
                }
            }
        }
        row.bare = median(bare);
        row.check = median(check);

        std::vector<double> pgrep, once;
        for (int i = 0; i < spawns; ++i) {
            if (havePgrep)
                pgrep.push_back(runOnce("pgrep", pgrepArgv));
            if (!self.empty())
                once.push_back(runOnce(self.c_str(), onceArgv));
        }
        row.pgrep = pgrep.empty() ? -1 : median(pgrep);
        row.once = once.empty() ? -1 : median(once);
        rows.push_back(row);
    }
    const int started = childCount;
    killChildren();

    std::printf("process check for \"%s\" (count %d); %d interleaved runs, medians; "
                "%d sleeping children started at most\n\n",
                name.c_str(), rows.empty() ? 0 : rows.back().count, runs, started);
    std::printf("%-9s %7s %6s %6s %6s %6s %6s\n", "processes", "entries", "exe", "ENOENT", "kthr",
                "EACCES", "other");
    for (const Row& r : rows)
        std::printf("%-9d %7d %6d %6d %6d %6d %6d\n", r.level, r.census.entries, r.census.readable,
                    r.census.missing, r.census.kernelThreads, r.census.refused, r.census.other);
    std::printf("\n%-9s %12s %12s %7s %12s %12s\n", "processes", "bare us", "check us", "ratio",
                "pgrep ms", "--once ms");
    for (const Row& r : rows) {
        std::printf("%-9d %12.1f %12.1f %7.2f ", r.level, r.bare, r.check,
                    r.bare > 0 ? r.check / r.bare : 0.0);
        if (r.pgrep >= 0)
            std::printf("%12.2f ", r.pgrep);
        else
            std::printf("%12s ", "(no pgrep)");
        std::printf("%12.2f\n", r.once);
    }
    std::printf("\nbare: opendir/readdir of /proc + one readlinkat of PID/exe per entry;\n"
                "check: ProcProcessTable::countByImageName; pgrep: `pgrep -x -i %s`;\n"
                "--once: this program, one check, as a whole process.\n"
                "exe/ENOENT/EACCES/other: how readlink of PID/exe ends; kthr: kernel threads "
                "(PF_KTHREAD in stat).\n",
                name.c_str());
    return 0;
}
