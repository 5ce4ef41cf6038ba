#include "platform/posix/Posix.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tw::platform {

namespace {

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's two ends, made once per process and never closed: a signal may
// come at any moment until the process is gone.
int pipeEnds[2] = {-1, -1};
std::atomic<int> writeEnd{-1};

void onSignal(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    // Non-blocking: with the pipe full (nobody reads any more) the byte is
    // dropped, which is all a late signal deserves.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd.load(), &byte, 1);
    errno = saved;
}

QString nameOf(int number) {
    switch (number) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(number);
    }
}

} // namespace

PosixEndRequests::~PosixEndRequests() = default;

void PosixEndRequests::setHandler(std::function<void(const QString&)> handler) {
    handler_ = std::move(handler);
    if (notifier_)
        return;
    if (pipeEnds[0] < 0) {
        if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
            qWarning("SIGTERM, SIGINT and SIGHUP end the program at once: no pipe (%s)",
                     std::strerror(errno));
            return;
        }
        writeEnd.store(pipeEnds[1]);
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int number : Signals) {
            // One ignored at the start stays ignored: `nohup` keeps the
            // panel alive when its terminal goes, a shell's background job
            // is not its Ctrl+C's.
            struct sigaction before {};
            if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
                continue;
            ::sigaction(number, &action, nullptr);
        }
    }
    auto* notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read);
    notifier_.reset(notifier);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] {
        unsigned char bytes[16];
        ssize_t count;
        while ((count = ::read(pipeEnds[0], bytes, sizeof bytes)) > 0)
            for (ssize_t i = 0; i < count; ++i)
                if (handler_)
                    handler_(nameOf(bytes[i]));
    });
}

} // namespace tw::platform
