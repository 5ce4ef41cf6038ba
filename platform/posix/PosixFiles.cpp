#include "platform/posix/PosixFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tw::platform::posix {

bool Descriptor::close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
}

void Descriptor::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

int Descriptor::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString kindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    return QStringLiteral("a special file");
}

ssize_t readRetrying(int fd, void* into, size_t size) {
    ssize_t n;
    do {
        n = ::read(fd, into, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

RegularRead readRegularFile(int folder, const char* name, qint64 cap) {
    RegularRead read;
    // A look first, so that a device is not even opened; the descriptor's
    // own fstat below is what counts.
    if (::fstatat(folder, name, &read.info, 0) != 0) {
        read.error = errno;
        return read;
    }
    if (!S_ISREG(read.info.st_mode)) {
        read.notRegular = true;
        return read;
    }
    // O_NONBLOCK: a FIFO swapped in after the look opens at once instead of
    // waiting for a writer, and is refused below.
    const Descriptor file(::openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file) {
        read.error = errno;
        return read;
    }
    if (::fstat(file.get(), &read.info) != 0) {
        read.error = errno;
        return read;
    }
    if (!S_ISREG(read.info.st_mode)) {
        read.notRegular = true;
        return read;
    }
    const qint64 most = qMax<qint64>(0, cap);
    constexpr qint64 Chunk = 64 * 1024;
    // One byte more than the cap tells whether there is more.
    while (read.bytes.size() <= most) {
        const qsizetype had = read.bytes.size();
        const qint64 want = qMin(Chunk, most + 1 - had);
        read.bytes.resize(had + qsizetype(want));
        const ssize_t n = readRetrying(file.get(), read.bytes.data() + had, size_t(want));
        if (n < 0) {
            read.error = errno;
            read.bytes.clear();
            return read;
        }
        read.bytes.resize(had + n);
        if (n == 0)
            break;
    }
    read.truncated = read.bytes.size() > most || qint64(read.info.st_size) > most;
    if (read.bytes.size() > most)
        read.bytes.truncate(qsizetype(most));
    return read;
}

} // namespace tw::platform::posix
