#include "app/TopMostKeeper.h"

#include "app/MainWindow.h"
#include "app/WindowTimer.h"

namespace tw::app {

TopMostKeeper::TopMostKeeper(MainWindow& window, const Services& services)
    : QObject(&window), window_(window), services_(services) {
    window_.AlwaysOnTopTimer->setHandler([this] { AlwaysOnTopTimer_Timer(); });
}

void TopMostKeeper::AlwaysOnTopTimer_Timer() {
    platform::WindowSystem& windows = services_.platform.windows;
    const platform::WindowHandle own = windows.handleOf(&window_);
    if (windows.foregroundWindow() == own)
        return;
    windows.setTopMost(windows.foregroundWindow(), false);
    windows.setTopMost(own, true);
}

} // namespace tw::app
