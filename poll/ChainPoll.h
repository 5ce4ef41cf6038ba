#pragma once
#include "app/Services.h"

#include <QObject>

namespace tw::app {
class MainWindow;
}

namespace tw::poll {

// Block-count and connection-count polls, the 60-second loop and the
// actions after each block-count query.
class ChainPoll : public QObject {
    Q_OBJECT
public:
    ChainPoll(app::MainWindow& window, const app::Services& services);

private:
    app::MainWindow& window_;
    app::Services services_;
};

} // namespace tw::poll
