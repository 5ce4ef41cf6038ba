#include "poll/ChainPoll.h"

#include "app/MainWindow.h"

namespace tw::poll {

ChainPoll::ChainPoll(app::MainWindow& window, const app::Services& services)
    : QObject(&window), window_(window), services_(services) {}

} // namespace tw::poll
