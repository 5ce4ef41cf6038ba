#pragma once
#include "app/Services.h"

#include <QObject>
#include <QSet>

class QWidget;

namespace tw::app {

class MainWindow;

// Keeps the main window above all other windows while AlwaysOnTopTimer runs:
// once a second, unless the main window is the foreground window, the
// foreground window leaves the always-on-top band and the main window enters
// it. The settings window's "Always On Top" tick box and the main window's
// own one switch the timer.
//
// The program's own windows count as the main window: one of them in front
// is never taken out of the band, and so that the main window does not
// cover it there, a window of the program's that the main window does not
// own (history, node, nodes) joins the band while the user works in it; it
// leaves the band again when another program's window comes to the front,
// and goes just below that window. (Windows the main window owns, the settings window and the
// alerts dialog, stay above it by the window system's own rule.) Where the window system can only
// give the program's own windows the stay-on-top hint, they are left as they are.
class TopMostKeeper : public QObject {
    Q_OBJECT
public:
    TopMostKeeper(MainWindow& window, const Services& services);

    void AlwaysOnTopTimer_Timer();
    // A click on the main window's own tick box.
    void AlwaysOnTopTimer_TICKBOX_Click();

private:
    // The program's shown top-level window of that handle, if it is one.
    QWidget* ownWindow(platform::WindowHandle handle) const;

    MainWindow& window_;
    Services services_;
    QSet<platform::WindowHandle> joined_; // own windows put into the band
};

} // namespace tw::app
