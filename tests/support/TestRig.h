#pragma once
// The tests' composition root: the program's own composition (panel/Panel)
// over fakes and the virtual clock.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/TopMostKeeper.h"
#include "app/WindowTimer.h"
#include "automation/Automation.h"
#include "health/HealthMonitor.h"
#include "health/HealthPanel.h"
#include "panel/Panel.h"
#include "poll/ChainPoll.h"
#include "settings/SettingsWindow.h"
#include "tests/support/Fakes.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

namespace tw::test {

// Real platform parts (which must outlive the rig) in place of fakes, for
// tests over real files, a real store or real windows; the fake a part
// replaces then stays unused.
struct RealParts {
    platform::SettingsBackend* settings = nullptr;
    platform::FileSystem* files = nullptr;
    platform::WindowSystem* windows = nullptr;
};

class TestRig {
public:
    explicit TestRig(QString section = QStringLiteral("TW-CLI-UI"), RealParts real = {});
    ~TestRig();

    // Put values into the store before start().
    void store(const QString& key, const QString& value) { settings.set(section, key, value); }
    std::optional<QString> stored(const QString& key) const { return settings.get(section, key); }

    // Before start(): the batch files and logs of both queries as
    // <folder>GBC.BAT, <folder>GBC.LOG, <folder>GCC.BAT and <folder>GCC.LOG.
    void storeQueryPaths(const QString& folder);

    // Build the window and the subsystems as the program does (the history
    // in a temporary folder, wall-clock time from the virtual clock), run
    // the load (and show, offscreen).
    app::MainWindow& start(bool show = false);
    // After start(): the subsystems.
    panel::Panel& panel() const { return *panel_; }
    poll::ChainPoll& poll() const { return panel_->poll(); }

    // After start(): only the polls set the query buttons (the process
    // watcher stopped, both buttons enabled).
    void leaveQueryButtonsToThePolls();
    app::MainWindow& window() const { return *window_; }
    bool started() const { return window_ != nullptr; }

    // Widgets by objectName, as a user or a file would see them.
    template <class T = QWidget> T* find(const QString& name) const {
        auto* widget = window_->findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    QCheckBox* tick(const QString& name) const { return find<QCheckBox>(name); }
    QLineEdit* text(const QString& name) const { return find<QLineEdit>(name); }
    QPushButton* button(const QString& name) const { return find<QPushButton>(name); }
    QColor colour(const QString& name) const;

    void advance(qint64 ms) { clock.advance(ms); }

    QString section;
    VirtualClock clock;
    FakeSettingsBackend settings;
    FakeProcessStarter starter{clock};
    FakeProcessTable processes;
    FakeFileSystem files;
    FakeWindowSystem windows;
    FakeAutostart autostart;
    platform::Platform platform;
    app::Diagnostics diagnostics{QString(), false};
    app::SettingsStore settingsStore;
    app::Scheduler scheduler{clock};
    app::Services services;

private:
    QTemporaryDir historyFolder_;
    std::unique_ptr<app::MainWindow> window_;
    std::unique_ptr<panel::Panel> panel_;
};

} // namespace tw::test
