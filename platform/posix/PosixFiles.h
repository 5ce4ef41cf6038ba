#pragma once
// Inside the POSIX platform only: the descriptor that closes itself, and the
// one rule for reading a file that might not be a file (a FIFO, a device, a
// folder where a log, a batch file or the settings file should be). The
// runner, the file system, the settings file and the process table all use
// these, so that the rules that keep such a file from hanging the panel are
// written once.

#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

namespace tw::platform::posix {

// A descriptor that is closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Close now; false (errno set) when the close reports an error, which
    // for a written file can be the write's own failure.
    bool close();
    void reset(int fd = -1);
    // The descriptor, no longer closed by this object.
    int release();

private:
    int fd_;
};

// The system's text for an errno.
QString errnoText(int error);
// What a path is when it is not a regular file ("a FIFO", "a folder", ...),
// for the messages.
QString kindOf(mode_t mode);

// read(2), again after EINTR.
ssize_t readRetrying(int fd, void* into, size_t size);

// A whole regular file, read by the one rule: opened non-blocking (a FIFO
// without a writer opens at once instead of waiting), refused by fstat when
// it is anything but a regular file, read with EINTR retries up to `cap`
// bytes.
struct RegularRead {
    int error = 0;           // errno of the open, fstat or read; 0 otherwise
    bool notRegular = false; // it is something else: `info.st_mode` says what
    struct stat info {};     // the file as fstat saw it when it was opened
    QByteArray bytes;        // at most `cap` bytes
    bool truncated = false;  // the file holds more than `cap` bytes
    bool ok() const { return error == 0 && !notRegular; }
};
// `name` relative to the folder descriptor `folder` (AT_FDCWD: the working
// folder, or an absolute path).
RegularRead readRegularFile(int folder, const char* name, qint64 cap);

} // namespace tw::platform::posix
