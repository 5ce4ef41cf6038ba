#include "panel/SessionStop.h"

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/WindowTimer.h"
#include "health/HealthMonitor.h"
#include "platform/Platform.h"

#include <QLineEdit>

namespace tw::panel {

const QString SessionStop::StopBatchFailure = QStringLiteral("session-end-stop-batch");
const QString SessionStop::WaitFailure = QStringLiteral("session-end-wait");
const QString SessionStop::ProcessListFailure = QStringLiteral("session-end-process-list");

SessionStop::SessionStop(app::MainWindow& window, const app::Services& services,
                         health::HealthMonitor& monitor)
    : QObject(&window), window_(window), services_(services), monitor_(monitor) {
    connect(&monitor_, &health::HealthMonitor::settingsChanged, this,
            [this](const health::AlertSettings& settings) {
                if (end_)
                    end_->setHeld(settings.stopNodeAtSessionEnd);
            });
}

SessionStop::~SessionStop() {
    detach();
}

bool SessionStop::wanted() const {
    return monitor_.settings().stopNodeAtSessionEnd;
}

void SessionStop::attach(platform::SessionEnd& end, std::function<void(const QString&)> close) {
    detach();
    end_ = &end;
    close_ = std::move(close);
    app::Diagnostics& diagnostics = services_.diagnostics;
    end.setWork(
        &window_, [this](const QString& why) { run(why); },
        [&diagnostics](const QString& key, const QString& line, bool failure) {
            if (!failure)
                diagnostics.note(key, line);
            else if (line.isEmpty())
                diagnostics.clear(key);
            else
                diagnostics.report(key, QString(), line);
        });
    end.setHeld(wanted());
}

void SessionStop::detach() {
    if (!end_)
        return;
    platform::SessionEnd* end = end_;
    end_ = nullptr;
    end->setHeld(false);
    end->setWork(nullptr, {}, {});
}

void SessionStop::run(const QString& why) {
    if (running_ || window_.hasClosed())
        return;
    running_ = true;
    services_.diagnostics.logEvent(QStringLiteral("%1: stopping the node first").arg(why));
    if (sendStop()) {
        QStringList names;
        for (const QLineEdit* box : {window_.QT_EXE_TEXTBOX, window_.DAEMON_EXE_TEXTBOX})
            if (!box->text().trimmed().isEmpty())
                names << box->text();
        if (names.isEmpty())
            services_.diagnostics.logEvent(
                QStringLiteral("no wallet or daemon named in the settings: the stop is not "
                               "waited for"));
        else
            waitForExit(names);
    }
    running_ = false;
    // The close button's path: the close handler writes the store.
    if (close_)
        close_(why);
}

bool SessionStop::sendStop() {
    // The whole text is the path of one file, blanks and all.
    const QString path = window_.CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->text();
    if (path.isEmpty()) {
        services_.diagnostics.report(
            StopBatchFailure, QString(),
            QStringLiteral("no stop batch file in the settings: the node was not stopped"));
        return false;
    }
    // Left to finish: the node needs its stop command to run to the end.
    const platform::BatchStart started =
        services_.platform.starter.startBatchFile(path, platform::BatchKind::Stop);
    if (!started.result) {
        services_.diagnostics.report(
            StopBatchFailure, QString(),
            QStringLiteral("stop batch file %1 not started: %2; the node was not stopped")
                .arg(path, started.result.error));
        return false;
    }
    if (started.skipped.isEmpty())
        services_.diagnostics.clear(StopBatchFailure);
    else
        services_.diagnostics.report(
            StopBatchFailure, QString(),
            QStringLiteral("stop batch file %1: %2").arg(path, started.skipped));
    return true;
}

QStringList SessionStop::running(const QStringList& names) {
    QStringList found;
    for (const QString& name : names) {
        const std::optional<int> count = services_.platform.processes.countByImageName(name);
        if (!count) {
            services_.diagnostics.report(
                ProcessListFailure, QString(),
                QStringLiteral("the process list cannot be read; the node's stop is not waited "
                               "for"));
            return {};
        }
        if (*count > 0)
            found << name;
    }
    services_.diagnostics.clear(ProcessListFailure);
    return found;
}

void SessionStop::waitForExit(const QStringList& names) {
    const qint64 start = services_.scheduler.now();
    QStringList left = running(names);
    while (!left.isEmpty()) {
        if (services_.scheduler.now() - start >= WaitLimitMs) {
            services_.diagnostics.report(
                WaitFailure, QString(),
                QStringLiteral("%1 still running %2 minutes after the stop command; the end goes "
                               "on without it")
                    .arg(left.join(QStringLiteral(", ")))
                    .arg(WaitLimitMs / 60000));
            return;
        }
        services_.scheduler.sleep(LookEveryMs);
        left = running(names);
    }
    services_.diagnostics.clear(WaitFailure);
    services_.diagnostics.logEvent(
        QStringLiteral("the wallet and the daemon (%1) run no more, %2 s after the stop command")
            .arg(names.join(QStringLiteral(", ")))
            .arg(QString::number((services_.scheduler.now() - start) / 1000.0, 'f', 1)));
}

} // namespace tw::panel
