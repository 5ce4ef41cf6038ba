#include "panel/NodesWindow.h"

#include "health/AlertSettings.h"
#include "node/NodeState.h"
#include "panel/Instance.h"
#include "platform/Platform.h"
#include "poll/ChainPoll.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tw::panel {

namespace {

const QString Application = QStringLiteral("TW-CLI-UI");
enum Column { Name, Blocks, Headers, Peers, TipAge, State, Panel, Columns };
constexpr int RefreshMs = 30'000;

QString number(const std::optional<qint64>& n) {
    return n ? QLocale().toString(*n) : QStringLiteral("\u2013");
}

QIcon dot(const QColor& colour) {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(colour.darker(140));
    painter.drawEllipse(1, 1, 10, 10);
    return QIcon(pixmap);
}

} // namespace

NodeLine summarize(const QString& section, const QList<health::HistoryRow>& rows, int stallMinutes,
                   qint64 nowMs) {
    NodeLine line;
    line.section = section;
    const health::HistoryRow* lastBlocks = nullptr; // the last block-count row, answered or not
    const health::HistoryRow* lastAnswer = nullptr; // the last answered block-count row
    for (const health::HistoryRow& row : rows) {
        if (row.kind != health::HistoryRow::Kind::Blocks)
            continue;
        lastBlocks = &row;
        if (!row.failed())
            lastAnswer = &row;
    }
    if (!lastBlocks) {
        line.stateText = NodesWindow::tr("no answers yet");
        return line;
    }
    // The time the count last changed, for a line without the node's tip.
    std::optional<qint64> changedAt;
    std::optional<qint64> previous;
    for (const health::HistoryRow& row : rows)
        if (row.kind == health::HistoryRow::Kind::Blocks && row.value) {
            if (!previous || *row.value != *previous)
                changedAt = row.timeMs;
            previous = row.value;
        }
    if (lastAnswer) {
        line.blocks = lastAnswer->value;
        line.headers = lastAnswer->headers;
        if (lastAnswer->peersIn && lastAnswer->peersOut)
            line.peers = *lastAnswer->peersIn + *lastAnswer->peersOut;
        if (lastAnswer->tipTime)
            line.tipAgeSeconds = std::max<qint64>(0, nowMs / 1000 - *lastAnswer->tipTime);
    }
    const qint64 stallSeconds = qint64(stallMinutes) * 60;
    if (lastBlocks->failed()) {
        line.state = NodeLine::State::Failing;
        line.stateText =
            NodesWindow::tr("failing: ") + poll::ChainPoll::reasonText(lastBlocks->failure);
        return line;
    }
    const bool behind = (line.headers && line.blocks && *line.headers > *line.blocks) ||
                        lastAnswer->initialDownload.value_or(false);
    const qint64 still =
        line.tipAgeSeconds ? *line.tipAgeSeconds : (nowMs - changedAt.value_or(nowMs)) / 1000;
    if (behind) {
        line.state = NodeLine::State::Syncing;
        line.stateText = NodesWindow::tr("syncing");
    } else if (still >= stallSeconds) {
        line.state = NodeLine::State::Stalled;
        line.stateText = NodesWindow::tr("stalled %1").arg(node::text::duration(still));
    } else {
        line.state = NodeLine::State::Answering;
        line.stateText = NodesWindow::tr("answering");
    }
    return line;
}

QColor stateColour(NodeLine::State state) {
    switch (state) {
    case NodeLine::State::NoAnswer:
        return QColor(0x9a, 0x9a, 0x9a);
    case NodeLine::State::Answering:
        return QColor(0x1e, 0xb4, 0x3c);
    case NodeLine::State::Syncing:
        return QColor(0xff, 0xcc, 0x00);
    case NodeLine::State::Stalled:
    case NodeLine::State::Failing:
        return QColor(0xe5, 0x1c, 0x1c);
    }
    return Qt::black;
}

NodesWindow::NodesWindow(platform::Platform& platform, QString ownSection, QString program,
                         std::function<qint64()> nowMs, QWidget* parent)
    : QWidget(parent, Qt::Window), platform_(platform), ownSection_(std::move(ownSection)),
      program_(std::move(program)), nowMs_(std::move(nowMs)),
      table_(new QTableWidget(0, Columns, this)), status_(new QLabel(this)) {
    setObjectName(QStringLiteral("NODES_WINDOW"));
    setWindowTitle(tr("TW-CLI-UI - Nodes"));
    table_->setObjectName(QStringLiteral("NODES_TABLE"));
    table_->setHorizontalHeaderLabels({tr("Configuration"), tr("Block"), tr("Headers"), tr("Peers"),
                                       tr("Tip age"), tr("State"), tr("Panel")});
    table_->setAccessibleName(tr("Nodes"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    connect(table_, &QTableWidget::cellActivated, this, [this](int row, int) {
        if (const QTableWidgetItem* item = table_->item(row, Name))
            open(item->text());
    });
    auto* refreshButton = new QPushButton(tr("Refresh"), this);
    connect(refreshButton, &QPushButton::clicked, this, &NodesWindow::refresh);
    status_->setWordWrap(true);
    status_->setText(tr("Double-click a node (or press Enter) to bring its panel up or start it."));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(status_);
    layout->addWidget(refreshButton, 0, Qt::AlignRight);
    resize(720, 300);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
    });
    timer->start(RefreshMs);
}

QString NodesWindow::status() const {
    return status_->text();
}

void NodesWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void NodesWindow::refresh() {
    QStringList sections = platform_.settings.sections(Application);
    if (!sections.contains(ownSection_))
        sections.prepend(ownSection_);
    table_->setRowCount(int(sections.size()));
    for (int row = 0; row < sections.size(); ++row) {
        const QString& section = sections[row];
        const platform::SettingRead stall =
            platform_.settings.read(Application, section, health::AlertSettings::StallMinutesKey);
        bool ok = false;
        const int minutes = stall.value.trimmed().toInt(&ok);
        const int stallMinutes = ok && minutes >= health::AlertSettings::MinStallMinutes &&
                                         minutes <= health::AlertSettings::MaxStallMinutes
                                     ? minutes
                                     : health::AlertSettings::DefaultStallMinutes;
        const health::HistoryRead history =
            health::readHistory(platform_.files, platform_.stateFolder + QLatin1Char('/') +
                                                     section + QStringLiteral(".history.csv"));
        const NodeLine line = summarize(section, history.rows, stallMinutes, nowMs_());
        const auto put = [&](int column, const QString& text) {
            auto* item = new QTableWidgetItem(text);
            if (column != Name && column != State && column != Panel)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(row, column, item);
            return item;
        };
        put(Name, section);
        put(Blocks, number(line.blocks));
        put(Headers, number(line.headers));
        put(Peers, number(line.peers));
        put(TipAge, line.tipAgeSeconds ? node::text::duration(*line.tipAgeSeconds)
                                       : QStringLiteral("\u2013"));
        put(State, history.problem.isEmpty() ? line.stateText : history.problem)
            ->setIcon(dot(stateColour(line.state)));
        if (section == ownSection_) {
            put(Panel, tr("this panel"));
            continue;
        }
        put(Panel, tr("asking…"));
        Instance::probe(section, table_, [this, row, section](bool running) {
            const QTableWidgetItem* name = table_->item(row, Name);
            if (name && name->text() == section) // the table was not refilled meanwhile
                table_->item(row, Panel)->setText(running ? tr("running") : tr("not running"));
        });
    }
}

QString NodesWindow::programFor(const QString& section) const {
    const QString file = platform::programFileName(section);
    const QStringList beside{QFileInfo(program_).absolutePath(),
                             QDir::homePath() + QStringLiteral("/.local/bin")};
    for (const QString& folder : beside) {
        const QFileInfo candidate(QDir(folder).filePath(file));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.absoluteFilePath();
    }
    return QStandardPaths::findExecutable(file);
}

void NodesWindow::open(const QString& section) {
    if (section == ownSection_) {
        emit showOwnPanel();
        return;
    }
    Instance::raise(section, this, [this, section](bool raised) {
        if (raised) {
            status_->setText(tr("%1 is running: brought to the front.").arg(section));
            return;
        }
        const QString program = programFor(section);
        if (program.isEmpty()) {
            status_->setText(
                tr("No program named %1 was found beside this one, in ~/.local/bin or on PATH "
                   "(tw-cli-ui-node add NAME makes one).")
                    .arg(section));
            return;
        }
        const bool started = QProcess::startDetached(program, {});
        status_->setText(started ? tr("%1 started.").arg(section)
                                 : tr("%1 could not be started.").arg(program));
        QTimer::singleShot(2000, this, &NodesWindow::refresh);
    });
}

} // namespace tw::panel
