#pragma once
#include "app/Services.h"

#include <QObject>

namespace tw::app {
class MainWindow;
}

namespace tw::automation {

// Countdown, process watcher, node shutdown, cycle end and the wait before
// the program closes itself.
class Automation : public QObject {
    Q_OBJECT
public:
    Automation(app::MainWindow& window, const app::Services& services);

private:
    app::MainWindow& window_;
    app::Services services_;
};

} // namespace tw::automation
