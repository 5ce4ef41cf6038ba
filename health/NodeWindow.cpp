#include "health/NodeWindow.h"

#include "health/HealthMonitor.h"
#include "node/NodeState.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tw::health {

NodeWindow::NodeWindow(HealthMonitor& monitor, QString section, QWidget* parent)
    : QWidget(parent, Qt::Window), monitor_(monitor), section_(std::move(section)),
      view_(new QPlainTextEdit(this)) {
    setWindowTitle(tr("TW-CLI-UI - %1 - Node").arg(section_));
    setObjectName(QStringLiteral("NODE_WINDOW"));
    view_->setObjectName(QStringLiteral("NODE_STATE_TEXT"));
    view_->setReadOnly(true); // selectable and copyable, not editable
    view_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view_->setAccessibleName(tr("Node state"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    resize(520, 380);
    connect(&monitor_, &HealthMonitor::changed, this, &NodeWindow::refresh);
    refresh();
}

QString NodeWindow::text() const {
    return view_->toPlainText();
}

QString NodeWindow::textFor(const HealthMonitor& monitor, const QString& section) {
    const auto when = [](qint64 wallMs) {
        return QDateTime::fromMSecsSinceEpoch(wallMs).toString(
            QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    QStringList lines{tr("Node: ") + section};
    if (monitor.nodeStateAt() > 0)
        lines << tr("State as of: ") + when(monitor.nodeStateAt());
    else
        lines << tr("State as of: the node has not said yet");
    lines << node::text::fieldLines(monitor.nodeState(), monitor.wallSeconds());
    if (const auto left = monitor.timeLeft(); left && !monitor.nodeState().empty())
        lines << tr("Sync: ") + node::text::syncLine(monitor.nodeState(), left);
    const QString failure = monitor.lastFailure();
    lines << tr("Last failure: ") + (failure.isEmpty() ? tr("none") : failure);
    if (!monitor.nodeStateFailure().isEmpty())
        lines << tr("State calls: ") + monitor.nodeStateFailure();
    return lines.join(QLatin1Char('\n'));
}

void NodeWindow::refresh() {
    const QString now = textFor(monitor_, section_);
    if (now != view_->toPlainText()) // a selection survives a refresh that changes nothing
        view_->setPlainText(now);
}

} // namespace tw::health
