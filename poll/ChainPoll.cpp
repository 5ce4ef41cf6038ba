#include "poll/ChainPoll.h"

#include "app/Accessibility.h"
#include "app/Colours.h"
#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/WindowTimer.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace tw::poll {

using app::MainWindow;

const QString ChainPoll::NoValue = QStringLiteral("-- -- -- -- -- -- --");

ChainPoll::ChainPoll(MainWindow& window, const app::Services& services)
    : QObject(&window), window_(window), services_(services) {
    MainWindow& w = window_;
    connect(w.GETBLOCKCOUNT_BUTTON, &QPushButton::clicked, this,
            [this] { GETBLOCKCOUNT_BUTTON_Click(); });
    connect(w.GETCONNECTIONCOUNT_BUTTON, &QPushButton::clicked, this,
            [this] { GETCONNECTIONCOUNT_BUTTON_Click(); });
    connect(w.CLI_GBC_BAT_TICKBOX, &QCheckBox::toggled, this,
            [this] { CLI_GBC_BAT_TICKBOX_Click(); });
    connect(w.CLI_GCC_BAT_TICKBOX, &QCheckBox::toggled, this,
            [this] { CLI_GCC_BAT_TICKBOX_Click(); });
    w.GETBLOCKCOUNT_COMMAND_TIMER->setHandler([this] { GETBLOCKCOUNT_COMMAND_TIMER_Timer(); });
    w.GETCONNECTIONCOUNT_COMMAND_TIMER->setHandler(
        [this] { GETCONNECTIONCOUNT_COMMAND_TIMER_Timer(); });
    w.GET_LOOP_TIMER->setHandler([this] { GET_LOOP_TIMER_Timer(); });
    // Nothing a query started outlives the panel.
    connect(&w, &MainWindow::closed, this, [this] { services_.platform.starter.endQueries(); });
}

void ChainPoll::requestBlockCount(MainWindow& window) {
    app::setBackground(window.CURRENT_BLOCK_TEXTBOX, app::colour::Pink);
    app::describeState(window.CURRENT_BLOCK_TEXTBOX, tr("query requested"));
    window.GETBLOCKCOUNT_COMMAND_TIMER->setEnabled(true);
}

void ChainPoll::requestConnectionCount(MainWindow& window) {
    app::setBackground(window.CONNECTIONS_TEXTBOX, app::colour::Pink);
    app::describeState(window.CONNECTIONS_TEXTBOX, tr("query requested"));
    window.GETCONNECTIONCOUNT_COMMAND_TIMER->setEnabled(true);
}

void ChainPoll::GETBLOCKCOUNT_BUTTON_Click() {
    requestBlockCount(window_);
}

void ChainPoll::GETCONNECTIONCOUNT_BUTTON_Click() {
    requestConnectionCount(window_);
}

QString ChainPoll::reasonText(const QString& reason) {
    return tr(reason.toUtf8().constData());
}

ChainPoll::Query ChainPoll::query(bool blockCount) const {
    const bool b = blockCount;
    const MainWindow& w = window_;
    return {b,
            b ? QStringLiteral("Block-count query") : QStringLiteral("Connection-count query"),
            b ? failure::GbcBatch : failure::GccBatch,
            b ? failure::GbcLog : failure::GccLog,
            b ? failure::GbcEnded : failure::GccEnded,
            b ? w.GETBLOCKCOUNT_BUTTON : w.GETCONNECTIONCOUNT_BUTTON,
            b ? w.CURRENT_BLOCK_TEXTBOX : w.CONNECTIONS_TEXTBOX,
            b ? w.CLI_GBC_FULL_BAT_LOCATION_TEXTBOX : w.CLI_GCC_FULL_BAT_LOCATION_TEXTBOX,
            b ? w.CLI_GBC_FULL_LOG_LOCATION_TEXTBOX : w.CLI_GCC_FULL_LOG_LOCATION_TEXTBOX};
}

quint64 ChainPoll::startBatchFile(const Query& query) {
    // The log as it is before the client can write it (see readLog).
    logBefore_ = services_.platform.files.stamp(query.logPath->text());
    const QString path = query.batchPath->text();
    const platform::BatchStart started =
        services_.platform.starter.startBatchFile(path, platform::BatchKind::Query);
    // Shown on the button that asks for this query.
    const QString control = query.button->objectName();
    if (!started.result) {
        services_.diagnostics.report(query.batchKey, control,
                                     query.name + QStringLiteral(": ") + started.result.error);
        noAnswer_ = QStringLiteral(QT_TR_NOOP("batch file not started"));
        failure_ = started.result.error;
        return 0;
    }
    if (!started.skipped.isEmpty())
        services_.diagnostics.report(query.batchKey, control,
                                     query.name + QStringLiteral(": batch file %1: ").arg(path) +
                                         started.skipped);
    else
        services_.diagnostics.clear(query.batchKey);
    return started.id;
}

platform::BatchEnd ChainPoll::finishBatchFile(const Query& query, quint64 batch) {
    if (batch == 0)
        return {};
    platform::BatchEnd end = services_.platform.starter.finishBatch(batch);
    if (end.ended.isEmpty())
        services_.diagnostics.clear(query.endedKey);
    else
        services_.diagnostics.report(query.endedKey, query.box->objectName(),
                                     query.name + QStringLiteral(": after the log was read, ") +
                                         end.ended);
    return end;
}

QString ChainPoll::clientWords(const platform::BatchEnd& end) const {
    QString said = services_.platform.files.decodeLocal(end.errorOutput).simplified();
    if (said.size() > MaxWordsShown)
        said = said.left(MaxWordsShown) + QStringLiteral("...");
    QString words;
    if (end.exitStatus.value_or(0) != 0)
        words = QStringLiteral("the client exited with status %1").arg(*end.exitStatus);
    else if (!end.signal.isEmpty() && end.ended.isEmpty())
        words = QStringLiteral("the client died of %1").arg(end.signal);
    if (said.isEmpty())
        return words;
    return (words.isEmpty() ? QStringLiteral("the client said")
                            : words + QStringLiteral(" and said")) +
           QStringLiteral(" \"%1\"").arg(said);
}

std::optional<QString> ChainPoll::readLog(const Query& query) {
    const QString path = query.logPath->text();
    platform::FileSystem& files = services_.platform.files;
    const platform::FileRead read = files.readFile(path, MaxLogBytes);
    logProblem_.clear();
    if (!read.result) {
        logProblem_ = read.result.error;
        noAnswer_ = files.stamp(path).exists() ? QStringLiteral(QT_TR_NOOP("log unreadable"))
                                               : QStringLiteral(QT_TR_NOOP("log missing"));
        return std::nullopt;
    }
    // Whether the client wrote the log is decided on the file's own stamps,
    // not on its time against the clock: a log in a network folder carries
    // the server's clock, which may be off by minutes. Two cycles of a query
    // lie at least six seconds apart, so even a file system that keeps
    // coarse times records a new write as a new stamp.
    if (read.stamp == logBefore_) {
        logProblem_ = QStringLiteral("log file %1 not updated by the query (the client did not "
                                     "write it; it holds an earlier answer)")
                          .arg(path);
        noAnswer_ = QStringLiteral(QT_TR_NOOP("log not updated by the query"));
        return std::nullopt;
    }
    if (read.bytes.isEmpty()) {
        logProblem_ = QStringLiteral("log file %1 is empty (the client wrote no answer)").arg(path);
        noAnswer_ = QStringLiteral(QT_TR_NOOP("log empty"));
        return std::nullopt;
    }
    // Shown and passed on, cut to what a cycle handles.
    if (read.truncated)
        logProblem_ = QStringLiteral("log file %1 holds %2 bytes; only its first %3 are shown")
                          .arg(path)
                          .arg(read.fullSize)
                          .arg(MaxLogBytes);
    return files.decodeLocal(read.bytes);
}

void ChainPoll::reportOutcome(const Query& query, quint64 batch,
                              const std::optional<QString>& answer, const platform::BatchEnd& end) {
    if (batch == 0)
        return; // said where it failed to start
    const QString words = clientWords(end);
    const bool exitedBadly = end.exitStatus.value_or(0) != 0;
    static const QRegularExpression count(QStringLiteral("^\\s*[0-9]{1,18}\\s*$"));
    QString failure; // why the query failed, in the client's words where it said any
    if (!answer) {
        failure = words.isEmpty() ? logProblem_ : words + QStringLiteral("; ") + logProblem_;
        if (!words.isEmpty())
            noAnswer_ = words;
    } else if (exitedBadly) {
        failure = words;
    } else if (!count.match(*answer).hasMatch()) {
        failure =
            QStringLiteral("the answer is not a number: \"%1\"").arg(answer->simplified().left(40));
        if (!words.isEmpty())
            failure += QStringLiteral("; ") + words;
    }
    const QString control = query.box->objectName();
    failure_ = failure;
    if (!failure.isEmpty())
        services_.diagnostics.report(query.logKey, control,
                                     query.name + QStringLiteral(" failed: ") + failure);
    else if (!logProblem_.isEmpty()) // an answer, cut
        services_.diagnostics.report(query.logKey, control,
                                     query.name + QStringLiteral(": ") + logProblem_);
    else
        services_.diagnostics.clear(query.logKey);
}

void ChainPoll::announce(bool blockCount, const std::optional<QString>& answer) {
    if (answer)
        emit queryAnswered(blockCount, *answer);
    else
        emit queryFailed(blockCount,
                         noAnswer_.isEmpty() ? QStringLiteral(QT_TR_NOOP("no answer")) : noAnswer_);
}

void ChainPoll::updateExternalFile() {
    MainWindow& w = window_;
    if (!MainWindow::ticked(w.UPDATE_EXTERNAL_FILE_TICKBOX)) {
        services_.diagnostics.clear(failure::GbcExternalFile);
        return;
    }
    platform::FileSystem& files = services_.platform.files;
    const QString path = w.UPDATE_EXTERNAL_FILE_TEXTBOX->text();
    // The box's text exactly, then one line end.
    const QString line = w.CURRENT_BLOCK_TEXTBOX->text() + QStringLiteral("\r\n");
    const platform::Result written = files.writeFile(path, files.encodeLocal(line));
    if (!written) {
        services_.diagnostics.report(failure::GbcExternalFile,
                                     w.UPDATE_EXTERNAL_FILE_TEXTBOX->objectName(),
                                     QStringLiteral("External file not written: ") + written.error);
        return;
    }
    services_.diagnostics.clear(failure::GbcExternalFile);
}

void ChainPoll::runUserCommand() {
    MainWindow& w = window_;
    if (!MainWindow::ticked(w.RUN_COMMAND_TICKBOX)) {
        services_.diagnostics.clear(failure::GbcCommand);
        return;
    }
    const QString command = w.RUN_COMMAND_TEXTBOX->text();
    const QString control = w.RUN_COMMAND_TEXTBOX->objectName();
    if (command.trimmed().isEmpty()) {
        services_.diagnostics.report(
            failure::GbcCommand, control,
            QStringLiteral("User command not run: \"Also Run Command\" is ticked but the "
                           "command is empty"));
        return;
    }
    const platform::Result started =
        services_.platform.starter.startUserCommand(command, QStringLiteral("user command"));
    if (!started) {
        services_.diagnostics.report(failure::GbcCommand, control,
                                     QStringLiteral("User command not run: ") + started.error);
        return;
    }
    services_.diagnostics.clear(failure::GbcCommand);
}

std::optional<QString> ChainPoll::ask(const Query& query) {
    app::Scheduler& scheduler = services_.scheduler;
    noAnswer_.clear();
    failure_.clear();
    app::describeState(query.box, tr("query running"));
    emit queryStarted(query.blockCount);
    scheduler.sleep(1000);
    const quint64 batch = startBatchFile(query);
    scheduler.sleep(3000);
    app::setBackground(query.box, app::colour::Yellow);
    scheduler.sleep(1000);

    // Without a started batch file the log can only hold an old answer.
    const std::optional<QString> answer = batch ? readLog(query) : std::nullopt;
    reportOutcome(query, batch, answer, finishBatchFile(query, batch));
    query.box->setText(answer ? *answer : NoValue);
    app::describeState(query.box, failure_.isEmpty() ? QString() : tr("failed: %1").arg(failure_));
    announce(query.blockCount, answer);
    return answer;
}

void ChainPoll::GETBLOCKCOUNT_COMMAND_TIMER_Timer() {
    MainWindow& w = window_;
    app::Scheduler& scheduler = services_.scheduler;
    const std::optional<QString> answer = ask(query(true));
    app::setBackground(w.CURRENT_BLOCK_TEXTBOX, app::colour::windowBackground());
    scheduler.sleep(1000);

    // The actions follow every cycle that got an answer, whatever it is.
    if (answer) {
        updateExternalFile();
        runUserCommand();
    }
    app::setBackground(w.CURRENT_BLOCK_TEXTBOX, app::colour::Black);
    scheduler.sleep(1000);
    w.GETBLOCKCOUNT_COMMAND_TIMER->setEnabled(false);
}

void ChainPoll::GETCONNECTIONCOUNT_COMMAND_TIMER_Timer() {
    MainWindow& w = window_;
    ask(query(false));
    app::setBackground(w.CONNECTIONS_TEXTBOX, app::colour::Black);
    services_.scheduler.sleep(1000);
    w.GETCONNECTIONCOUNT_COMMAND_TIMER->setEnabled(false);
}

namespace {

// One half of a loop tick: a query request while the query is ticked,
// otherwise the query's controls back at rest.
void loopHalf(bool ticked, QLineEdit* box, QPushButton* button, app::WindowTimer* command) {
    app::setBackground(box, ticked ? app::colour::Pink : app::colour::Black);
    if (ticked)
        app::describeState(box, ChainPoll::tr("query requested"));
    else if (command->isRunning()) // a request dropped
        app::describeState(box, QString());
    button->setEnabled(!ticked);
    command->setEnabled(ticked);
}

// The interlock of an automatic-query tick box with its twin. Each tick or
// untick below that changes a tick box's state runs that tick box's own
// click handling at once (toggled), before the next step.
void queryTickBoxClick(MainWindow& w, QCheckBox* own, QCheckBox* twin) {
    if (MainWindow::ticked(own)) {
        w.AUTOSTART_TICKBOX->setEnabled(true);
        w.CLI_STOP_BAT_TICKBOX->setEnabled(false);
        w.CLI_STOP_BAT_TICKBOX->setChecked(false);
        w.GET_LOOP_TIMER->setEnabled(true);
        return;
    }
    w.AUTOSTART_TICKBOX->setEnabled(false);
    w.AUTOCLOSE_TIMER_TICKBOX->setEnabled(false);
    w.AUTOSTART_TICKBOX->setChecked(false);
    w.AUTOCLOSE_TIMER_TICKBOX->setChecked(false);
    w.CLI_STOP_BAT_TICKBOX->setEnabled(true);
    if (MainWindow::ticked(twin)) {
        w.GET_LOOP_TIMER->setEnabled(true);
        w.CLI_STOP_BAT_TICKBOX->setEnabled(false);
        w.CLI_STOP_BAT_TICKBOX->setChecked(false);
        w.AUTOSTART_TICKBOX->setEnabled(true);
    } else {
        // With neither query ticked both are offered again (for Auto G-C-C
        // as well: AutoSend STOP's handler expects Auto G-B-C available
        // whenever it is unticked).
        twin->setEnabled(true);
        w.GET_LOOP_TIMER->setEnabled(false);
    }
}

} // namespace

void ChainPoll::GET_LOOP_TIMER_Timer() {
    MainWindow& w = window_;
    // Block-count half first; each half reads its tick box at that moment.
    loopHalf(MainWindow::ticked(w.CLI_GBC_BAT_TICKBOX), w.CURRENT_BLOCK_TEXTBOX,
             w.GETBLOCKCOUNT_BUTTON, w.GETBLOCKCOUNT_COMMAND_TIMER);
    loopHalf(MainWindow::ticked(w.CLI_GCC_BAT_TICKBOX), w.CONNECTIONS_TEXTBOX,
             w.GETCONNECTIONCOUNT_BUTTON, w.GETCONNECTIONCOUNT_COMMAND_TIMER);
}

void ChainPoll::CLI_GBC_BAT_TICKBOX_Click() {
    queryTickBoxClick(window_, window_.CLI_GBC_BAT_TICKBOX, window_.CLI_GCC_BAT_TICKBOX);
}

void ChainPoll::CLI_GCC_BAT_TICKBOX_Click() {
    queryTickBoxClick(window_, window_.CLI_GCC_BAT_TICKBOX, window_.CLI_GBC_BAT_TICKBOX);
}

} // namespace tw::poll
