#include "app/TopMostKeeper.h"

#include "app/MainWindow.h"
#include "app/WindowTimer.h"

#include <QApplication>
#include <QCheckBox>
#include <QList>

#include <utility>

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

QWidget* TopMostKeeper::ownWindow(platform::WindowHandle handle) const {
    if (handle == 0)
        return nullptr;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* widget : windows) {
        // Only shown ones: a handle is not made for a hidden window.
        if (widget->isVisible() && services_.platform.windows.handleOf(widget) == handle)
            return widget;
    }
    return nullptr;
}

void TopMostKeeper::AlwaysOnTopTimer_Timer() {
    platform::WindowSystem& windows = services_.platform.windows;
    const platform::WindowHandle own = windows.handleOf(&window_);
    const platform::WindowHandle front = windows.foregroundWindow();
    if (front == own)
        return;
    if (QWidget* ours = ownWindow(front)) {
        const Qt::WindowType type = ours->windowType();
        if (!ours->parentWidget() && (type == Qt::Window || type == Qt::Dialog) &&
            windows.limitation().isEmpty() && !joined_.contains(front)) {
            windows.setTopMost(front, true);
            joined_.insert(front);
        }
        return;
    }
    // Another program's window: the program's own windows leave the band,
    // and then go just below it, so that it stays above them.
    QList<platform::WindowHandle> left;
    for (const platform::WindowHandle joined : std::exchange(joined_, {})) {
        if (ownWindow(joined)) {
            windows.setTopMost(joined, false);
            left << joined;
        }
    }
    // The foreground may have changed since the question above: the window
    // that leaves the top band is the one named by this second answer.
    const platform::WindowHandle other = windows.foregroundWindow();
    windows.setTopMost(other, false);
    windows.setTopMost(own, true);
    for (const platform::WindowHandle joined : left)
        windows.placeBelow(joined, other);
}

} // namespace tw::app
