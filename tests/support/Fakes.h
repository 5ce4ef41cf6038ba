#pragma once
// Fakes of the platform interfaces for behaviour tests: they record what the
// program asked for and answer as the test says.

#include "platform/Platform.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <functional>
#include <optional>

namespace tw::test {

// Virtual time: advance() runs every wake request that falls due, in order;
// a handler's wait simply moves time on (and is recorded).
class VirtualClock final : public platform::Clock {
public:
    qint64 now() const override { return now_; }
    void setWakeHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    void wakeAt(qint64 timeMs) override { wake_ = timeMs; }
    void cancelWake() override { wake_.reset(); }
    void wait(int ms) override;

    // Move time on by ms, delivering every tick that falls due meanwhile.
    void advance(qint64 ms);

    std::optional<qint64> pendingWake() const { return wake_; }
    // Called at the start of every wait, with the time and the length.
    std::function<void(qint64 at, int ms)> onWait;
    QList<QPair<qint64, int>> waits; // (start, length) of every wait

private:
    qint64 now_ = 0;
    std::optional<qint64> wake_;
    std::function<void()> handler_;
};

class FakeSettingsBackend final : public platform::SettingsBackend {
public:
    platform::SettingRead read(const QString& application, const QString& section,
                               const QString& key) override;
    platform::Result writeValues(const QString& application, const QString& section,
                                 const platform::SettingValues& values) override;
    QString location() const override { return QStringLiteral("memory"); }
    QStringList sections(const QString& application) override;

    // Non-empty: every read finds the store unreadable for this reason.
    QString unreadable;
    // Non-empty: reads work but name this problem (a damaged store).
    QString damaged;

    // Direct access for tests (application "TW-CLI-UI").
    void set(const QString& section, const QString& key, const QString& value);
    std::optional<QString> get(const QString& section, const QString& key) const;

    bool failWrites = false;
    QStringList writtenKeys; // every key written, in order
    int writeCalls = 0;      // how many times the store was written

private:
    QMap<QString, QString> values_; // "application\nsection\nkey" -> value
};

class FakeProcessStarter final : public platform::ProcessStarter {
public:
    struct Start {
        qint64 at;
        bool batch; // batch file (hidden) or user command (normal window)
        QString text;
        platform::BatchKind kind = platform::BatchKind::Query; // batch files only
        quint64 id = 0;                                        // batch files only
        QString purpose; // commands only: "user command", "alert command"
    };
    struct Finish {
        qint64 at;
        QString path; // of the batch file
        QString said; // what finishBatch answered (its `ended`)
    };
    // One runProgram call.
    struct Program {
        qint64 at;
        QString program;
        QStringList arguments;
        int timeoutMs;
        qint64 maxOutputBytes;
    };
    explicit FakeProcessStarter(platform::Clock& clock) : clock_(clock) {}
    platform::BatchStart startBatchFile(const QString& path, platform::BatchKind kind) override;
    platform::BatchEnd finishBatch(quint64 id) override;
    void endQueries() override;
    platform::Result startUserCommand(const QString& commandLine, const QString& purpose) override;
    void setOutputHandler(OutputHandler handler) override { outputHandler = std::move(handler); }
    void runProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                    qint64 maxOutputBytes, ProgramDone done) override;
    // Calls `done` of every run started so far that has not been answered,
    // in order, with what `onProgram` says (its answer is taken when the
    // run is delivered). Returns how many were delivered.
    int deliverPrograms();

    QList<Start> starts;
    QList<Finish> finishes; // every finishBatch call, in order
    int endQueriesCalls = 0;
    QSet<QString> missing;           // paths that fail to start
    QSet<QString> stillRunning;      // batch files whose client never ends by itself
    QHash<QString, QString> skipped; // batch file -> what its start says was not run
    std::function<void(const QString& path)> onBatch; // e.g. the client writing its log
    // How a batch file's client ends (exit status, error output), by path;
    // a path not listed ends with status 0 and says nothing.
    QHash<QString, platform::BatchEnd> outcomes;
    QList<Program> programs; // every runProgram call, in order
    // The answer of a run: by default "not started".
    std::function<platform::ProgramRun(const Program&)> onProgram;
    OutputHandler outputHandler; // as the composition set it

    // The query batches whose client still runs (never ended by itself, not
    // yet finished or ended), by batch file path.
    QStringList running() const;

private:
    QList<std::pair<Program, ProgramDone>> pendingPrograms_;
    const Start* batch(quint64 id) const;

    platform::Clock& clock_;
    quint64 nextId_ = 1;
    QSet<quint64> ended_; // ids of query batches finished or ended
};

class FakeProcessTable final : public platform::ProcessTable {
public:
    std::optional<int> countByImageName(const QString& imageName) override;
    void setRunning(const QString& name, int count = 1) { running[name.toLower()] = count; }
    QHash<QString, int> running; // lower-case name -> count
    bool unreadable = false;
};

// Files in memory. Each file has a stamp that changes whenever it is
// written (by writeFile or put); a file put into `files` directly keeps its
// stamp, so a test makes a log "not updated" by leaving it as it is.
class FakeFileSystem final : public platform::FileSystem {
public:
    platform::FileRead readFile(const QString& path, qint64 maxBytes) override;
    platform::FileStamp stamp(const QString& path) override;
    platform::Result writeFile(const QString& path, const QByteArray& bytes) override;
    platform::Result appendFile(const QString& path, const QByteArray& bytes) override;
    QString decodeLocal(const QByteArray& bytes) const override;
    QByteArray encodeLocal(const QString& text) const override;

    // Someone else (the client) writes the file: a new stamp.
    void put(const QString& path, const QByteArray& bytes);

    QHash<QString, QByteArray> files;
    QSet<QString> unwritable;
    QStringList writes; // paths the program wrote, in order

private:
    QHash<QString, qint64> generation_; // path -> how many writes ago (0: never written)
    qint64 writesSoFar_ = 0;
};

class FakeWindowSystem final : public platform::WindowSystem {
public:
    platform::WindowHandle handleOf(QWidget* window) override;
    platform::WindowHandle foregroundWindow() override { return foreground; }
    void setTopMost(platform::WindowHandle window, bool topMost) override;
    void placeBelow(platform::WindowHandle window, platform::WindowHandle sibling) override {
        placedBelow.append({window, sibling});
    }
    QString limitation() const override { return {}; }

    platform::WindowHandle foreground = 0;
    QSet<platform::WindowHandle> topMost;
    QList<QPair<platform::WindowHandle, bool>> calls;
    QList<QPair<platform::WindowHandle, platform::WindowHandle>> placedBelow; // window, sibling
};

// Start at login as a flag the test reads and sets, as the system's entry
// would be changed behind the program's back.
class FakeAutostart final : public platform::Autostart {
public:
    bool enabled() override { return on; }
    platform::Result setEnabled(bool enable) override {
        if (!refusal.isEmpty())
            return platform::Result::failure(refusal);
        on = enable;
        return platform::Result::success();
    }

    bool on = false;
    QString refusal; // non-empty: every change fails for this reason
};

// The platform's watch of the session's end, told by the test as logind or
// Windows would tell it: the work runs when the end comes while held.
class FakeSessionEnd final : public platform::SessionEnd {
public:
    void setWork(QWidget* owner, Work work, Say say) override {
        window = owner;
        work_ = std::move(work);
        say_ = std::move(say);
    }
    void setHeld(bool on) override {
        held = on;
        holds << on;
    }
    // The end comes: the work runs (and has returned) when it was held;
    // whether it ran.
    bool end(const QString& why) {
        if (!held || !work_)
            return false;
        const Work work = work_;
        work(why);
        return true;
    }
    // The platform says something.
    void say(const QString& key, const QString& line, bool failure) {
        if (say_)
            say_(key, line, failure);
    }
    bool watched() const { return static_cast<bool>(work_); }

    QWidget* window = nullptr;
    bool held = false;
    QList<bool> holds; // every setHeld, in order

private:
    Work work_;
    Say say_;
};

// Requests to end the program, sent by the test as a signal would come, and
// the session's end ahead.
class FakeEndRequests final : public platform::EndRequests {
public:
    void setHandler(std::function<void(const QString&)> handler) override {
        handler_ = std::move(handler);
    }
    platform::SessionEnd* sessionEnd() override { return &session; }
    void send(const QString& what) {
        if (handler_)
            handler_(what);
    }

    FakeSessionEnd session;

private:
    std::function<void(const QString&)> handler_;
};

} // namespace tw::test
