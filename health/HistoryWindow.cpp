#include "health/HistoryWindow.h"

#include "app/Colours.h"
#include "platform/Platform.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tw::health {

HistoryWindow::HistoryWindow(platform::FileSystem& files, std::function<qint64()> nowMs,
                             QString historyPath, const QString& section, QWidget* parent)
    : QWidget(parent, Qt::Window), files_(files), now_(std::move(nowMs)),
      path_(std::move(historyPath)) {
    setObjectName(QStringLiteral("HISTORY_WINDOW"));
    setWindowTitle(tr("TW-CLI-UI – History – %1").arg(section));

    range_ = new QComboBox(this);
    range_->setObjectName(QStringLiteral("HISTORY_RANGE_COMBO"));
    range_->addItem(tr("Last 24 hours"), int(HistoryRange::Last24Hours));
    range_->addItem(tr("Last 7 days"), int(HistoryRange::Last7Days));
    refresh_ = new QPushButton(tr("Refresh"), this);
    refresh_->setObjectName(QStringLiteral("HISTORY_REFRESH_BUTTON"));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("HISTORY_STATUS_LABEL"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path must not widen the window; the tooltip holds it whole.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    chart_ = new HistoryChart(this);
    range_->setAccessibleName(tr("Range"));
    chart_->setAccessibleName(tr("History chart"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(range_);
    bar->addWidget(refresh_);
    bar->addSpacing(12);
    bar->addWidget(status_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(bar);
    layout->addWidget(chart_, 1);
    resize(800, 600);

    connect(refresh_, &QPushButton::clicked, this, &HistoryWindow::refresh);
    connect(range_, &QComboBox::currentIndexChanged, this, [this] { plot(); });
}

HistoryRange HistoryWindow::range() const {
    return HistoryRange(range_->currentData().toInt());
}

void HistoryWindow::refresh() {
    const HistoryRead read = readHistory(files_, path_);
    rows_ = read.rows;
    const QString when =
        QDateTime::fromMSecsSinceEpoch(now_()).toString(QStringLiteral("HH:mm:ss"));
    if (read.problem.isEmpty()) {
        status_->setStyleSheet(QString());
        status_->setText(tr("%1, read at %2").arg(path_, when));
    } else {
        const QColor red =
            app::keepContrast(QColor(0xb0, 0x18, 0x18), palette().color(QPalette::Window));
        status_->setStyleSheet(QStringLiteral("color: %1").arg(red.name()));
        status_->setText(tr("Not read: %1").arg(read.problem));
    }
    status_->setToolTip(status_->text());
    plot();
}

void HistoryWindow::plot() {
    chart_->setHistory(rows_, now_(), range());
}

void HistoryWindow::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        refresh();
    QWidget::showEvent(event);
}

} // namespace tw::health
