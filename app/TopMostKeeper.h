#pragma once
#include "app/Services.h"

#include <QObject>

namespace tw::app {

class MainWindow;

// Keeps the main window above all other windows while AlwaysOnTopTimer runs:
// once a second, unless the main window is the foreground window, the
// foreground window leaves the always-on-top band and the main window enters
// it. The settings window's "Always On Top" tick box and the main window's
// own one switch the timer.
class TopMostKeeper : public QObject {
    Q_OBJECT
public:
    TopMostKeeper(MainWindow& window, const Services& services);

    void AlwaysOnTopTimer_Timer();
    // A click on the main window's own tick box.
    void AlwaysOnTopTimer_TICKBOX_Click();

private:
    MainWindow& window_;
    Services services_;
};

} // namespace tw::app
