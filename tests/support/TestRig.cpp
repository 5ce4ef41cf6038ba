#include "tests/support/TestRig.h"

#include "app/Colours.h"

#include <QTest>

namespace tw::test {

TestRig::TestRig(QString sectionName, RealParts real)
    : section(std::move(sectionName)), platform{clock,
                                                real.settings ? *real.settings : settings,
                                                starter,
                                                processes,
                                                real.files ? *real.files : files,
                                                real.windows ? *real.windows : windows,
                                                section,
                                                QString()},
      settingsStore(platform.settings, section, &diagnostics), services{platform, scheduler,
                                                                        settingsStore,
                                                                        diagnostics} {}

TestRig::~TestRig() {
    if (window_)
        scheduler.stopAll();
    // The subsystems hold on to the window: they go first.
    panel_.reset();
    window_.reset();
}

app::MainWindow& TestRig::start(bool show) {
    window_ = std::make_unique<app::MainWindow>(services);
    panel_ = std::make_unique<panel::Panel>(
        *window_, services,
        panel::PanelOptions{historyFolder_.filePath(section + QStringLiteral(".history.csv")),
                            [this] { return clock.now(); }, QIcon(), QString(), autostart});
    panel_->load();
    if (show) {
        window_->show();
        (void)QTest::qWaitForWindowExposed(window_.get());
    }
    return *window_;
}

void TestRig::storeQueryPaths(const QString& folder) {
    for (const QString query : {"GBC", "GCC"}) {
        store("CLI_" + query + "_FULL_BAT_LOCATION_TEXTBOX", folder + query + ".BAT");
        store("CLI_" + query + "_FULL_LOG_LOCATION_TEXTBOX", folder + query + ".LOG");
    }
}

void TestRig::leaveQueryButtonsToThePolls() {
    window_->CLI_PROCESS_WATCHER_TIMER->setEnabled(false);
    window_->GETBLOCKCOUNT_BUTTON->setEnabled(true);
    window_->GETCONNECTIONCOUNT_BUTTON->setEnabled(true);
}

QColor TestRig::colour(const QString& name) const {
    return app::background(find(name));
}

} // namespace tw::test
