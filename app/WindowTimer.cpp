#include "app/WindowTimer.h"

#include <algorithm>

namespace tw::app {

WindowTimer::WindowTimer(Scheduler& scheduler, QString name, quint64 order, QObject* owner)
    : QObject(owner), scheduler_(&scheduler), name_(std::move(name)), order_(order) {
    setObjectName(name_);
}

WindowTimer::~WindowTimer() {
    if (scheduler_)
        scheduler_->remove(this);
}

void WindowTimer::restart() {
    due_ = isRunning() ? scheduler_->now() + interval_ : -1;
    scheduler_->changed();
}

void WindowTimer::setInterval(int ms) {
    interval_ = std::max(0, ms);
    restart();
}

void WindowTimer::setEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    restart();
}

Scheduler::Scheduler(platform::Clock& clock) : clock_(clock) {
    clock_.setWakeHandler([this] { dispatch(); });
}

Scheduler::~Scheduler() {
    clock_.setWakeHandler({});
    clock_.cancelWake();
    for (WindowTimer* timer : timers_)
        timer->scheduler_ = nullptr;
}

WindowTimer* Scheduler::createTimer(const QString& name, QObject* owner) {
    auto* timer = new WindowTimer(*this, name, nextOrder_++, owner);
    timer->stopped_ = stopped_;
    timers_.push_back(timer);
    return timer;
}

void Scheduler::remove(WindowTimer* timer) {
    timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
    rearm();
}

void Scheduler::changed() {
    if (!dispatching_)
        rearm();
}

WindowTimer* Scheduler::nextDue(qint64 now) const {
    WindowTimer* best = nullptr;
    for (WindowTimer* timer : timers_) {
        const qint64 due = timer->dueAt();
        if (due < 0 || due > now)
            continue;
        if (!best || due < best->due_ || (due == best->due_ && timer->order_ < best->order_))
            best = timer;
    }
    return best;
}

void Scheduler::rearm() {
    if (stopped_) {
        clock_.cancelWake();
        return;
    }
    qint64 earliest = -1;
    for (WindowTimer* timer : timers_) {
        const qint64 due = timer->dueAt();
        if (due >= 0 && (earliest < 0 || due < earliest))
            earliest = due;
    }
    if (earliest < 0)
        clock_.cancelWake();
    else
        clock_.wakeAt(earliest);
}

void Scheduler::dispatch() {
    if (waitDepth_ > 0 || dispatching_ || stopped_)
        return;
    dispatching_ = true;
    while (!stopped_) {
        const qint64 now = clock_.now();
        WindowTimer* timer = nextDue(now);
        if (!timer)
            break;
        // The next period counts from this delivery; ticks missed while the
        // thread was blocked are not made up.
        timer->due_ = now + timer->interval_;
        if (timer->handler_) {
            // Keep the handler alive even if it destroys its own window.
            const auto handler = timer->handler_;
            handler();
        }
    }
    dispatching_ = false;
    rearm();
}

void Scheduler::sleep(int ms) {
    ++waitDepth_;
    clock_.wait(ms);
    --waitDepth_;
    // Ticks that fell due meanwhile run once, after the waiting handler.
    if (!dispatching_)
        rearm();
}

void Scheduler::stopAll() {
    stopped_ = true;
    for (WindowTimer* timer : timers_)
        timer->stopped_ = true;
    clock_.cancelWake();
}

} // namespace tw::app
