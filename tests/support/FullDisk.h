#pragma once
// A disk that fills up at a chosen point, for the write rule's tests: the
// write steps take `room` bytes in all (a write that would pass it is cut
// short there, as a real full disk does), then every write fails with
// ENOSPC; or the flush fails with EIO.

#include "platform/posix/Posix.h"

#include <cerrno>
#include <memory>
#include <unistd.h>

namespace tw::test {

inline platform::WriteSteps diskFullAfter(qint64 room) {
    auto left = std::make_shared<qint64>(room);
    platform::WriteSteps steps;
    steps.write = [left](int fd, const void* data, size_t size, off_t offset) -> ssize_t {
        if (*left <= 0) {
            errno = ENOSPC;
            return -1;
        }
        const size_t take = size_t(qMin<qint64>(*left, qint64(size)));
        const ssize_t n = ::pwrite(fd, data, take, offset);
        if (n > 0)
            *left -= n;
        return n;
    };
    return steps;
}

inline platform::WriteSteps flushFails() {
    platform::WriteSteps steps;
    steps.sync = [](int) {
        errno = EIO;
        return -1;
    };
    return steps;
}

} // namespace tw::test
