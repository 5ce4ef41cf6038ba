#include "platform/RealClock.h"

#include <QEventLoop>

#include <algorithm>
#include <limits>

namespace tw::platform {

RealClock::RealClock() {
    elapsed_.start();
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake_, &QTimer::timeout, [this] {
        if (handler_)
            handler_();
    });
}

qint64 RealClock::now() const {
    return elapsed_.elapsed();
}

void RealClock::setWakeHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
}

void RealClock::wakeAt(qint64 timeMs) {
    const qint64 delay = std::max<qint64>(0, timeMs - now());
    wake_.start(static_cast<int>(std::min<qint64>(delay, std::numeric_limits<int>::max())));
}

void RealClock::cancelWake() {
    wake_.stop();
}

void RealClock::wait(int ms) {
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer done;
    done.setSingleShot(true);
    done.setTimerType(Qt::PreciseTimer);
    QObject::connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
    const qint64 until = now() + ms;
    done.start(ms);
    // Repaints, deferred deletes and our own wake requests still run here;
    // the scheduler refuses to deliver ticks while a wait is in progress.
    while (now() < until) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (now() < until)
            done.start(static_cast<int>(until - now()));
    }
}

} // namespace tw::platform
