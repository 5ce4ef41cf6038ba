#pragma once
#include "app/Services.h"

#include <QObject>
#include <QString>

#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tw::app {
class MainWindow;
class WindowTimer;
} // namespace tw::app

namespace tw::poll {

// Keys under which the query cycles report a failing step to the
// diagnostics; each is cleared again when its step works.
namespace failure {
inline const QString GbcBatch = QStringLiteral("gbc-batch");
inline const QString GbcLog = QStringLiteral("gbc-log");
inline const QString GbcExternalFile = QStringLiteral("gbc-external-file");
inline const QString GbcCommand = QStringLiteral("gbc-command");
inline const QString GccBatch = QStringLiteral("gcc-batch");
inline const QString GccLog = QStringLiteral("gcc-log");
// The client (or what it started) was still running when the cycle had read
// its log, and was ended.
inline const QString GbcEnded = QStringLiteral("gbc-ended");
inline const QString GccEnded = QStringLiteral("gcc-ended");
} // namespace failure

// Block-count and connection-count polls, the 60-second loop and the
// actions after each block-count query.
//
// A query is requested by turning the status box pink and enabling the
// one-shot command timer; the timer's tick runs the whole blocking query
// cycle (start the batch file hidden, wait, read the log whole, end what the
// batch file started if it still runs, show the log) and disables the timer
// again, so requests made before the cycle starts are
// absorbed into one cycle.
//
// When a step fails it is reported once through the diagnostics and the
// cycle still runs its waits and colours to the end (command timer disabled,
// box black). When the cycle has no answer (batch file not started, log
// missing, unreadable, not a regular file, not updated by the query, or
// empty) the box shows the no-value text and the block-count actions are
// skipped, so that the external file never receives a stale or empty value.
class ChainPoll : public QObject {
    Q_OBJECT
public:
    // The most of a log that a cycle reads and shows.
    static constexpr qint64 MaxLogBytes = 32767;
    // What a status box shows when a cycle got no answer; the window's own
    // text before the first query.
    static const QString NoValue;

    ChainPoll(app::MainWindow& window, const app::Services& services);

    // A reason of queryFailed in the user's language. The reasons are
    // plain English words (as the history file keeps them); the client's
    // own words stay as they are.
    static QString reasonText(const QString& reason);

    // Query requests, also made by the end of the automation countdown.
    static void requestBlockCount(app::MainWindow& window);
    static void requestConnectionCount(app::MainWindow& window);

    void GETBLOCKCOUNT_BUTTON_Click();
    void GETCONNECTIONCOUNT_BUTTON_Click();
    void CLI_GBC_BAT_TICKBOX_Click();
    void CLI_GCC_BAT_TICKBOX_Click();
    void GETBLOCKCOUNT_COMMAND_TIMER_Timer();
    void GETCONNECTIONCOUNT_COMMAND_TIMER_Timer();
    // Block-count half first, then the connection-count half.
    void GET_LOOP_TIMER_Timer();

signals:
    // Each query cycle emits queryStarted before its batch file starts, then
    // exactly one of queryAnswered (the text the status box shows) or
    // queryFailed (why it got no answer, in a few plain words). blockCount
    // tells the block-count cycle from the connection-count cycle.
    void queryStarted(bool blockCount);
    void queryAnswered(bool blockCount, const QString& text);
    void queryFailed(bool blockCount, const QString& reason);

private:
    // The controls of one of the two queries.
    struct Query {
        bool blockCount; // else the connection count
        QString name;    // for messages
        QString batchKey;
        QString logKey;
        QString endedKey;
        QPushButton* button;
        QLineEdit* box;
        QLineEdit* batchPath;
        QLineEdit* logPath;
    };

    Query query(bool blockCount) const;
    // Steps 2 and 3 of a cycle: start the batch file hidden, not waited for.
    // The started batch, 0 when nothing was started.
    quint64 startBatchFile(const Query& query);
    // Right after the read: whatever the batch file started and still runs
    // is ended, and reported. How the batch ended (empty when none ran).
    platform::BatchEnd finishBatchFile(const Query& query, quint64 batch);
    // The log's text, or nullopt when there is none to show (the reason is
    // then in noAnswer_ and logProblem_). Reports nothing itself: the
    // report waits for the client's exit status and words.
    std::optional<QString> readLog(const Query& query);
    // "the client exited with status 1 and said "..."", empty when the
    // client ended well and said nothing on its error output.
    QString clientWords(const platform::BatchEnd& end) const;
    // One report per cycle on the query's box: why it failed (no answer, a
    // non-zero exit, not a number), in the client's own words where it said
    // any; cleared when the query worked.
    void reportOutcome(const Query& query, quint64 batch, const std::optional<QString>& answer,
                       const platform::BatchEnd& end);
    // The end of a cycle for whoever follows the answers.
    void announce(bool blockCount, const std::optional<QString>& answer);
    // The part both cycles share: start the batch file, wait, turn the box
    // yellow, read the answer into the box and announce it. The answer, or
    // nullopt (the box then shows NoValue).
    std::optional<QString> ask(const Query& query);
    void updateExternalFile();
    void runUserCommand();

    app::MainWindow& window_;
    app::Services services_;
    // The running cycle's log as it was right before its batch file was
    // started: a log with the same stamp afterwards was not written by the
    // query. Cycles never overlap (a cycle's waits deliver no tick), so one
    // stamp serves both queries.
    platform::FileStamp logBefore_;
    // Why the running cycle has no answer, in a few plain words (the
    // client's own where it said any).
    QString noAnswer_;
    // What was wrong with the running cycle's log, for its report.
    QString logProblem_;
    // Why the running cycle failed, as its report says it (empty while it
    // has not failed); a screen reader says it with the query's box.
    QString failure_;
    // The most of the client's error output that a message quotes.
    static constexpr int MaxWordsShown = 400;
};

} // namespace tw::poll
