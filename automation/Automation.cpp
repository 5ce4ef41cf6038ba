#include "automation/Automation.h"

#include "app/MainWindow.h"

namespace tw::automation {

Automation::Automation(app::MainWindow& window, const app::Services& services)
    : QObject(&window), window_(window), services_(services) {}

} // namespace tw::automation
