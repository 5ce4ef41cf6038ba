#include "platform/posix/Posix.h"
#include "platform/posix/PosixFiles.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The process watcher asks once a second, so the scan goes straight to the
// system calls: one readdir pass over the proc folder, and per process one
// readlinkat of PID/exe relative to the folder's descriptor and, unless that
// already names the wanted program, one read of PID/cmdline, into buffers on
// the stack (no allocation per process).
//
// A process runs under the wanted name when one of these is that name:
// - the file name of its executable (PID/exe);
// - the file name of argv[0] (a program started through a link of another
//   name, or under a name its starter gave it);
// - the file name of the script an interpreter runs, when that word names an
//   executable file: a #! client is run by its interpreter, whose executable
//   PID/exe names. The kernel starts it with the interpreter, the #! line's
//   own option if it has one, then the script's path; `env` and an
//   interpreter started by hand put their options before it. So the script
//   is argv[1], or after words that begin with '-' the first that does not.
//   The file must be executable, so that a program given the client's file
//   as an argument (an editor, a pager) does not count; a path that is not
//   absolute is taken from the process's working folder (PID/cwd). Where
//   that folder or file is out of reach (another user's process), the
//   kernel's word decides: it names a process started from a #! file after
//   that file (the name in PID/stat), so that name must be the script's.
//
// Which processes open more than that:
// - exe fails with ENOENT: the process has no executable (a kernel thread as
//   seen by root, a zombie, or a process that ended since readdir), so it is
//   none of the node's programs. Nothing else is opened.
// - exe is refused (EACCES, EPERM: another user's process, or any kernel
//   thread as seen by an ordinary user): the command line as above, and when
//   argv[0] is empty, the name in PID/stat, unless stat says the process is
//   a zombie or a kernel thread.
// - any other failure: not a process that can be named.
// The name in PID/stat is cut to 15 bytes by the kernel: a longer wanted
// name matches a 15-byte one that it begins with.

namespace tw::platform {

namespace {

constexpr std::size_t PathCapacity = NAME_MAX + 16;    // "<entry>/cmdline" and its NUL
constexpr std::size_t TextCapacity = PATH_MAX;         // a link target, a command line, a stat line
constexpr std::size_t CommLength = 15;                 // the kernel's limit of the name in stat
constexpr unsigned long KernelThreadFlag = 0x00200000; // PF_KTHREAD in the flags of stat

// Scratch space of one scan, on the caller's stack; the names a lookup
// returns point into it.
struct Scratch {
    char path[PathCapacity];
    char text[TextCapacity];
    char file[PathCapacity + TextCapacity]; // "<entry>/cwd/<script>"
};

class DirHandle {
public:
    explicit DirHandle(DIR* dir) : dir_(dir) {}
    ~DirHandle() {
        if (dir_)
            ::closedir(dir_);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

// The length of a process entry's name (all digits), 0 for anything else.
std::size_t processEntryLength(const char* name) {
    std::size_t length = 0;
    for (; name[length]; ++length) {
        if (name[length] < '0' || name[length] > '9')
            return 0;
    }
    return length;
}

// "<entry>/<file>" into scratch.path.
const char* entryPath(Scratch& scratch, std::string_view entry, std::string_view file) {
    std::memcpy(scratch.path, entry.data(), entry.size());
    scratch.path[entry.size()] = '/';
    std::memcpy(scratch.path + entry.size() + 1, file.data(), file.size());
    scratch.path[entry.size() + 1 + file.size()] = '\0';
    return scratch.path;
}

std::string_view fileNameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool asciiEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

// Compares whole names with letter case ignored, as QString::compare with
// Qt::CaseInsensitive does. Plain ASCII on both sides (nearly every process)
// is compared byte by byte; anything else goes through QString.
class NameMatcher {
public:
    explicit NameMatcher(const QString& wanted)
        : wanted_(wanted), wantedLocal_(wanted.toLocal8Bit()), wantedAscii_(isAscii(local())) {}

    bool matches(std::string_view name) const {
        if (wantedAscii_ && isAscii(name))
            return asciiEqualIgnoringCase(name, local());
        const QString text =
            QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size()));
        return QString::compare(text, wanted_, Qt::CaseInsensitive) == 0;
    }

    // The name in PID/stat: the kernel keeps the first 15 bytes of a
    // longer one.
    bool matchesStatName(std::string_view name) const {
        if (matches(name))
            return true;
        if (name.size() != CommLength || local().size() <= CommLength)
            return false;
        const std::string_view start = local().substr(0, CommLength);
        if (isAscii(name) && isAscii(start))
            return asciiEqualIgnoringCase(name, start);
        return name == start;
    }

private:
    std::string_view local() const {
        return {wantedLocal_.constData(), static_cast<std::size_t>(wantedLocal_.size())};
    }

    QString wanted_;
    QByteArray wantedLocal_;
    bool wantedAscii_;
};

// The file name of an argv[0] that filled scratch.text without its end:
// reads on, keeping only what follows the last slash. Empty when no file
// name that long can exist.
std::string_view longArgv0NameOf(int fd, Scratch& scratch) {
    char* const text = scratch.text;
    std::size_t used = TextCapacity;
    const std::string_view start(text, used);
    const auto slash = start.rfind('/');
    std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    for (;;) {
        if (used == TextCapacity) {
            if (nameStart == 0)
                return {}; // a file name longer than any file system allows
            std::memmove(text, text + nameStart, used - nameStart);
            used -= nameStart;
            nameStart = 0;
        }
        const ssize_t n = posix::readRetrying(fd, text + used, TextCapacity - used);
        if (n <= 0) // end of the file (or a read error): argv[0] is what came
            return std::string_view(text + nameStart, used - nameStart);
        for (const std::size_t end = used + static_cast<std::size_t>(n); used < end; ++used) {
            if (text[used] == '\0')
                return std::string_view(text + nameStart, used - nameStart);
            if (text[used] == '/')
                nameStart = used + 1;
        }
    }
}

// What PID/cmdline says of the program (see the top of this file); both
// point into scratch.text.
struct CommandLine {
    std::string_view argv0Name; // empty when argv[0] is, or there is none
    std::string_view script;    // the whole word; empty when there is none
};

CommandLine commandLineOf(int dirFd, Scratch& scratch, std::string_view entry) {
    posix::Descriptor fd(
        ::openat(dirFd, entryPath(scratch, entry, "cmdline"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return {};
    const ssize_t n = posix::readRetrying(fd.get(), scratch.text, TextCapacity);
    if (n <= 0) // nothing (a kernel thread, a zombie) or a read error
        return {};
    // proc fills a read up to the end of the command line: a read that
    // leaves room holds all of it.
    const bool whole = static_cast<std::size_t>(n) < TextCapacity;
    const std::string_view all(scratch.text, static_cast<std::size_t>(n));
    const auto first = all.find('\0');
    if (first == std::string_view::npos) {
        // One word without its end: a command line the process rewrote, or
        // an argv[0] longer than the buffer.
        return {whole ? fileNameOf(all) : longArgv0NameOf(fd.get(), scratch), {}};
    }
    CommandLine line{fileNameOf(all.substr(0, first)), {}};
    for (std::size_t at = first + 1; at < all.size();) {
        const auto end = all.find('\0', at);
        if (end == std::string_view::npos && !whole)
            break; // a word cut by the buffer: longer than any path
        const std::string_view word =
            all.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        if (word.empty() || word.front() != '-') {
            line.script = word;
            break;
        }
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    return line;
}

// The name between the parentheses of PID/stat; empty when the file cannot
// be read, or when the process is a zombie (ended, not yet reaped: not
// running) or a kernel thread (no program at all).
std::string_view statNameOf(int dirFd, Scratch& scratch, std::string_view entry,
                            bool& kernelThread) {
    posix::Descriptor fd(
        ::openat(dirFd, entryPath(scratch, entry, "stat"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return {};
    std::size_t used = 0;
    while (used < TextCapacity - 1) {
        const ssize_t n =
            posix::readRetrying(fd.get(), scratch.text + used, TextCapacity - 1 - used);
        if (n <= 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    const std::string_view line(scratch.text, used);
    // "pid (name) state ppid pgrp session tty_nr tpgid flags ..."; the name
    // may hold blanks and parentheses itself, the fields after it do not.
    const auto open = line.find('(');
    const auto close = line.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return {};
    const std::string_view fields = line.substr(close + 1);
    if (fields.size() >= 2 && (fields[1] == 'Z' || fields[1] == 'X'))
        return {};
    std::size_t at = 0;
    for (int field = 0; field < 6 && at != std::string_view::npos; ++field)
        at = fields.find(' ', at + 1); // before ppid, pgrp, session, tty_nr, tpgid, flags
    if (at != std::string_view::npos) {
        unsigned long flags = 0;
        for (++at; at < fields.size() && fields[at] >= '0' && fields[at] <= '9'; ++at)
            flags = flags * 10 + static_cast<unsigned long>(fields[at] - '0');
        if (flags & KernelThreadFlag) {
            kernelThread = true;
            return {};
        }
    }
    return line.substr(open + 1, close - open - 1);
}

// Whether `script`, a word of the command line of the process of proc entry
// `entry`, is the path of an executable file (see the top of this file).
bool namesExecutableFile(int dirFd, Scratch& scratch, std::string_view entry,
                         std::string_view script, const NameMatcher& matcher) {
    struct stat info {};
    int result = -1;
    if (script.front() == '/') {
        if (script.size() >= sizeof scratch.file)
            return false;
        std::memcpy(scratch.file, script.data(), script.size());
        scratch.file[script.size()] = '\0';
        result = ::fstatat(AT_FDCWD, scratch.file, &info, 0);
    } else {
        constexpr std::string_view cwd = "/cwd/";
        if (entry.size() + cwd.size() + script.size() >= sizeof scratch.file)
            return false;
        char* at = scratch.file;
        at = std::copy(entry.begin(), entry.end(), at);
        at = std::copy(cwd.begin(), cwd.end(), at);
        at = std::copy(script.begin(), script.end(), at);
        *at = '\0';
        result = ::fstatat(dirFd, scratch.file, &info, 0);
    }
    if (result == 0)
        return S_ISREG(info.st_mode) && (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
    if (errno != EACCES && errno != EPERM)
        return false;
    bool kernelThread = false;
    return matcher.matchesStatName(statNameOf(dirFd, scratch, entry, kernelThread));
}

// Whether the process of proc entry `entry` runs under the wanted name (see
// the top of this file).
bool runsAs(int dirFd, Scratch& scratch, std::string_view entry, const NameMatcher& matcher,
            bool& kernelThread) {
    const ssize_t n =
        ::readlinkat(dirFd, entryPath(scratch, entry, "exe"), scratch.text, TextCapacity);
    bool refused = true; // also a target that filled the whole buffer: it was cut
    if (n > 0 && static_cast<std::size_t>(n) < TextCapacity) {
        constexpr std::string_view deleted = " (deleted)";
        std::string_view target(scratch.text, static_cast<std::size_t>(n));
        if (target.size() > deleted.size() && target.ends_with(deleted))
            target.remove_suffix(deleted.size());
        if (matcher.matches(fileNameOf(target)))
            return true;
        refused = false;
    } else if (n < 0 && errno != EACCES && errno != EPERM) {
        return false;
    }
    const CommandLine line = commandLineOf(dirFd, scratch, entry);
    if (!line.argv0Name.empty() && matcher.matches(line.argv0Name))
        return true;
    if (!line.script.empty() && matcher.matches(fileNameOf(line.script)) &&
        namesExecutableFile(dirFd, scratch, entry, line.script, matcher))
        return true;
    if (!refused || !line.argv0Name.empty())
        return false;
    return matcher.matchesStatName(statNameOf(dirFd, scratch, entry, kernelThread));
}

} // namespace

ProcProcessTable::ProcProcessTable(QString procRoot) : root_(QFile::encodeName(procRoot)) {}

std::optional<int> ProcProcessTable::countByImageName(const QString& imageName) {
    if (imageName.isEmpty())
        return 0;

    DirHandle dir(::opendir(root_.constData()));
    if (!dir.get())
        return std::nullopt;
    const int dirFd = ::dirfd(dir.get());

    const NameMatcher matcher(imageName);
    Scratch scratch;
    int count = 0;
    // Kernel threads met before are passed over without a look: a kernel
    // thread never becomes a program, and a process that reuses its number
    // is a new proc entry with a new inode number.
    std::vector<std::pair<quint64, quint64>> kernelThreads;
    kernelThreads.reserve(kernelThreads_.size() + 8);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::size_t length = processEntryLength(entry->d_name);
        if (length == 0)
            continue;
        const std::pair<quint64, quint64> key{std::strtoull(entry->d_name, nullptr, 10),
                                              entry->d_ino};
        if (std::binary_search(kernelThreads_.begin(), kernelThreads_.end(), key)) {
            kernelThreads.push_back(key);
            continue;
        }
        bool kernelThread = false;
        if (runsAs(dirFd, scratch, std::string_view(entry->d_name, length), matcher, kernelThread))
            ++count;
        else if (kernelThread)
            kernelThreads.push_back(key);
    }
    std::sort(kernelThreads.begin(), kernelThreads.end());
    kernelThreads_ = std::move(kernelThreads);
    return count;
}

} // namespace tw::platform
