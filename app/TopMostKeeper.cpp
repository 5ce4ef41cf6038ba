#include "app/TopMostKeeper.h"

#include "app/MainWindow.h"
#include "app/WindowTimer.h"

#include <QCheckBox>

namespace tw::app {

TopMostKeeper::TopMostKeeper(MainWindow& window, const Services& services)
    : QObject(&window), window_(window), services_(services) {
    window_.AlwaysOnTopTimer->setHandler([this] { AlwaysOnTopTimer_Timer(); });
    // The main window's own "Always On Top" tick box switches the keeper as
    // the settings window's does. The load restores it before it gives the
    // timer its interval and switches the timer by it again.
    connect(window_.AlwaysOnTopTimer_TICKBOX, &QCheckBox::toggled, this,
            [this] { AlwaysOnTopTimer_TICKBOX_Click(); });
}

void TopMostKeeper::AlwaysOnTopTimer_TICKBOX_Click() {
    window_.AlwaysOnTopTimer->setEnabled(MainWindow::ticked(window_.AlwaysOnTopTimer_TICKBOX));
}

void TopMostKeeper::AlwaysOnTopTimer_Timer() {
    platform::WindowSystem& windows = services_.platform.windows;
    const platform::WindowHandle own = windows.handleOf(&window_);
    if (windows.foregroundWindow() == own)
        return;
    // The foreground may have changed since the question above: the window
    // that leaves the top band is the one named by this second answer.
    windows.setTopMost(windows.foregroundWindow(), false);
    windows.setTopMost(own, true);
}

} // namespace tw::app
