#include "platform/Posix.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

// The process watcher asks once a second, so the scan goes straight to the
// system calls: one readdir pass over the proc folder, and per process a
// readlinkat of PID/exe relative to the folder's descriptor (no path
// building, no QString per process). Only the fallbacks open a file.

namespace tw::platform {

namespace {

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

class FdHandle {
public:
    explicit FdHandle(int fd) : fd_(fd) {}
    ~FdHandle() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdHandle(const FdHandle&) = delete;
    FdHandle& operator=(const FdHandle&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
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

std::string_view fileNameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Reads `relative` under the proc folder until EOF, until `stopAt` shows up
// (when stopAt >= 0) or until `limit` bytes. False when it cannot be opened
// or read at all (the process is gone, or not ours to look at).
bool readSmallFile(int dirFd, const std::string& relative, std::string& out, int stopAt,
                   std::size_t limit) {
    out.clear();
    FdHandle fd(::openat(dirFd, relative.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return false;
    char chunk[4096];
    while (out.size() < limit) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return !out.empty();
        }
        if (n == 0)
            break;
        out.append(chunk, static_cast<std::size_t>(n));
        if (stopAt >= 0 && std::memchr(chunk, stopAt, static_cast<std::size_t>(n)))
            break;
    }
    return true;
}

// The image name of process `pid`: file name of its executable, else of
// argv[0], else the kernel's short name. Empty when none can be read.
std::string_view imageNameOf(int dirFd, const char* pid, std::string& path, std::string& buffer) {
    path.assign(pid).append("/exe");
    buffer.resize(PATH_MAX + 1);
    const ssize_t n = ::readlinkat(dirFd, path.c_str(), buffer.data(), buffer.size());
    if (n > 0 && static_cast<std::size_t>(n) < buffer.size()) {
        buffer.resize(static_cast<std::size_t>(n));
        constexpr std::string_view deleted = " (deleted)";
        std::string_view target(buffer);
        if (target.size() > deleted.size() && target.ends_with(deleted))
            target.remove_suffix(deleted.size());
        const std::string_view name = fileNameOf(target);
        if (!name.empty())
            return name;
    }

    path.assign(pid).append("/cmdline");
    if (readSmallFile(dirFd, path, buffer, '\0', 1 << 16)) {
        const std::string_view argv0(buffer.c_str()); // up to the first NUL
        const std::string_view name = fileNameOf(argv0);
        if (!name.empty())
            return name;
    }

    // Nothing but the kernel's short name left: a zombie (ended, not yet
    // reaped by its parent) looks like this too, and it is not running.
    path.assign(pid).append("/stat");
    if (readSmallFile(dirFd, path, buffer, -1, 4096)) {
        const auto close = buffer.rfind(')');
        if (close != std::string::npos && close + 2 < buffer.size() &&
            (buffer[close + 2] == 'Z' || buffer[close + 2] == 'X'))
            return {};
    }

    path.assign(pid).append("/comm");
    if (readSmallFile(dirFd, path, buffer, -1, 4096)) {
        std::string_view comm(buffer);
        while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0'))
            comm.remove_suffix(1);
        return comm;
    }
    return {};
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

ProcProcessTable::ProcProcessTable(QString procRoot) : root_(std::move(procRoot)) {}

std::optional<int> ProcProcessTable::countByImageName(const QString& imageName) {
    if (imageName.isEmpty())
        return 0;

    const QByteArray root = QFile::encodeName(root_);
    DirHandle dir(::opendir(root.constData()));
    if (!dir.get())
        return std::nullopt;
    const int dirFd = ::dirfd(dir.get());

    const NameMatcher matcher(imageName);
    std::string path;
    std::string buffer;
    path.reserve(64);
    buffer.reserve(PATH_MAX + 1);
    int count = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!isProcessEntry(entry->d_name))
            continue;
        const std::string_view name = imageNameOf(dirFd, entry->d_name, path, buffer);
        if (!name.empty() && matcher.matches(name))
            ++count;
    }
    return count;
}

} // namespace tw::platform
