#pragma once
#include "platform/Platform.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace tw::app {

class Scheduler;

// A window timer: an interval in milliseconds and an enabled flag, like the
// timer control of a classic form. It ticks only while it is enabled and has
// an interval. Owned by its window (QObject parent); dies with it.
class WindowTimer : public QObject {
    Q_OBJECT
public:
    ~WindowTimer() override;

    const QString& name() const { return name_; }
    int interval() const { return interval_; }
    bool isEnabled() const { return enabled_; }
    // Enabled and given an interval: a tick is pending.
    bool isRunning() const { return enabled_ && interval_ > 0 && !stopped_; }

    // A running timer whose interval is set starts a full new interval.
    void setInterval(int ms);
    // Stopped -> enabled starts a full interval; disabling drops a pending
    // tick; enabling an enabled timer changes nothing.
    void setEnabled(bool enabled);
    void start() { setEnabled(true); }
    void stop() { setEnabled(false); }

    // The tick handler (the form's NAME_Timer).
    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

    // When the next tick falls due on the scheduler's clock; -1 when none.
    qint64 dueAt() const { return isRunning() ? due_ : -1; }

private:
    friend class Scheduler;
    WindowTimer(Scheduler& scheduler, QString name, quint64 order, QObject* owner);
    void restart();

    Scheduler* scheduler_;
    QString name_;
    quint64 order_;
    int interval_ = 0;
    bool enabled_ = false;
    bool stopped_ = false;
    qint64 due_ = -1;
    std::function<void()> handler_;
};

// Delivers the ticks of every window timer on the one user-interface
// thread: one handler at a time, in order of due time, ties in the order the
// timers were created. A handler may wait (sleep); while any wait is in
// progress no tick is delivered, and each timer that fell due meanwhile
// ticks once afterwards. A modal window's own event loop is not a wait:
// ticks go on there.
class Scheduler {
public:
    explicit Scheduler(platform::Clock& clock);
    ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    WindowTimer* createTimer(const QString& name, QObject* owner);

    // The blocking wait of a handler.
    void sleep(int ms);
    bool isWaiting() const { return waitDepth_ > 0; }

    // The program is ending: no tick is delivered from now on.
    void stopAll();
    bool isStopped() const { return stopped_; }

    qint64 now() const { return clock_.now(); }
    platform::Clock& clock() { return clock_; }

    // Deliver every tick that is due now (the clock's wake handler).
    void dispatch();

private:
    friend class WindowTimer;
    void changed();
    void remove(WindowTimer* timer);
    void rearm();
    WindowTimer* nextDue(qint64 now) const;

    platform::Clock& clock_;
    std::vector<WindowTimer*> timers_;
    quint64 nextOrder_ = 0;
    int waitDepth_ = 0;
    bool dispatching_ = false;
    bool stopped_ = false;
};

} // namespace tw::app
