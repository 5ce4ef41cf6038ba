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
#include <unistd.h>

// The process watcher asks once a second, so the scan goes straight to the
// system calls: one readdir pass over the proc folder, and per process one
// readlinkat of PID/exe relative to the folder's descriptor, into buffers on
// the stack (no allocation per process).
//
// Which processes open more than that:
// - exe is read: its file name is the image name. Nothing else is opened.
// - exe fails with ENOENT: the process has no executable (a kernel thread as
//   seen by root, a zombie, or a process that ended since readdir), so it is
//   none of the node's programs. Nothing else is opened.
// - exe is refused (EACCES, EPERM: another user's process, or any kernel
//   thread as seen by an ordinary user): argv[0] from PID/cmdline, and when
//   that is empty, the name in PID/stat, unless stat says the process is a
//   zombie or a kernel thread.
// - any other failure: not a process that can be named.

namespace tw::platform {

namespace {

constexpr std::size_t PathCapacity = NAME_MAX + 16;    // "<entry>/cmdline" and its NUL
constexpr std::size_t TextCapacity = PATH_MAX;         // a link target, argv[0], a stat line
constexpr unsigned long KernelThreadFlag = 0x00200000; // PF_KTHREAD in the flags of stat

// Scratch space of one scan, on the caller's stack; the name a lookup returns
// points into it.
struct Scratch {
    char path[PathCapacity];
    char text[TextCapacity];
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

// The file name of argv[0]: PID/cmdline up to its first NUL (or its end, for
// a process that rewrote its command line). An argv[0] longer than the
// buffer keeps only what follows its last slash. Empty when the file cannot
// be read or holds nothing (a kernel thread, a zombie).
std::string_view argv0NameOf(int dirFd, Scratch& scratch, std::string_view entry) {
    posix::Descriptor fd(
        ::openat(dirFd, entryPath(scratch, entry, "cmdline"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return {};
    char* const text = scratch.text;
    std::size_t used = 0;      // bytes in text
    std::size_t nameStart = 0; // after the last slash seen
    for (;;) {
        if (used == TextCapacity) {
            if (nameStart == 0)
                return {}; // a file name longer than any file system allows
            std::memmove(text, text + nameStart, used - nameStart);
            used -= nameStart;
            nameStart = 0;
        }
        const ssize_t n = posix::readRetrying(fd.get(), text + used, TextCapacity - used);
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

// The image name of the process of proc entry `entry`; empty when it is none
// of the programs this check can name (see the top of this file).
std::string_view imageNameOf(int dirFd, Scratch& scratch, std::string_view entry,
                             bool& kernelThread) {
    const ssize_t n =
        ::readlinkat(dirFd, entryPath(scratch, entry, "exe"), scratch.text, TextCapacity);
    if (n > 0 && static_cast<std::size_t>(n) < TextCapacity) {
        constexpr std::string_view deleted = " (deleted)";
        std::string_view target(scratch.text, static_cast<std::size_t>(n));
        if (target.size() > deleted.size() && target.ends_with(deleted))
            target.remove_suffix(deleted.size());
        return fileNameOf(target);
    }
    // A target that filled the whole buffer was cut: named as a refused one.
    if (n < 0 && errno != EACCES && errno != EPERM)
        return {};
    const std::string_view argv0 = argv0NameOf(dirFd, scratch, entry);
    return argv0.empty() ? statNameOf(dirFd, scratch, entry, kernelThread) : argv0;
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

// Compares whole names with letter case ignored, as QString::compare with
// Qt::CaseInsensitive does. Plain ASCII on both sides (nearly every process)
// is compared byte by byte; anything else goes through QString.
class NameMatcher {
public:
    explicit NameMatcher(const QString& wanted)
        : wanted_(wanted), wantedLocal_(wanted.toLocal8Bit()),
          wantedAscii_(isAscii(std::string_view(wantedLocal_.constData(),
                                                static_cast<std::size_t>(wantedLocal_.size())))) {}

    bool matches(std::string_view name) const {
        if (wantedAscii_ && isAscii(name)) {
            if (name.size() != static_cast<std::size_t>(wantedLocal_.size()))
                return false;
            for (std::size_t i = 0; i < name.size(); ++i) {
                if (asciiLower(name[i]) != asciiLower(wantedLocal_[static_cast<qsizetype>(i)]))
                    return false;
            }
            return true;
        }
        const QString text =
            QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size()));
        return QString::compare(text, wanted_, Qt::CaseInsensitive) == 0;
    }

private:
    QString wanted_;
    QByteArray wantedLocal_;
    bool wantedAscii_;
};

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
        const std::string_view name =
            imageNameOf(dirFd, scratch, std::string_view(entry->d_name, length), kernelThread);
        if (kernelThread)
            kernelThreads.push_back(key);
        else if (!name.empty() && matcher.matches(name))
            ++count;
    }
    std::sort(kernelThreads.begin(), kernelThreads.end());
    kernelThreads_ = std::move(kernelThreads);
    return count;
}

} // namespace tw::platform
