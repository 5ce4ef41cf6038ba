#pragma once
#include "platform/Platform.h"

#include <QElapsedTimer>
#include <QTimer>

namespace tw::platform {

// Wall-clock time for the window timers. Its wait runs a nested event loop
// that leaves user input queued, so the windows repaint (every status colour
// is really seen) while clicks and keys wait until the handler is done.
class RealClock final : public Clock {
public:
    RealClock();
    qint64 now() const override;
    void setWakeHandler(std::function<void()> handler) override;
    void wakeAt(qint64 timeMs) override;
    void cancelWake() override;
    void wait(int ms) override;

private:
    QElapsedTimer elapsed_;
    QTimer wake_;
    std::function<void()> handler_;
};

} // namespace tw::platform
