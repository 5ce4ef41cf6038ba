#pragma once
#include "app/Services.h"

#include <QObject>

namespace tw::app {

class MainWindow;

// Keeps the main window above all other windows while AlwaysOnTopTimer runs.
class TopMostKeeper : public QObject {
    Q_OBJECT
public:
    TopMostKeeper(MainWindow& window, const Services& services);

    void AlwaysOnTopTimer_Timer();

private:
    MainWindow& window_;
    Services services_;
};

} // namespace tw::app
