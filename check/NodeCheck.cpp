#include "check/NodeCheck.h"

#include "app/Diagnostics.h"
#include "app/SettingsStore.h"
#include "health/AlertSettings.h"
#include "node/NodeQuery.h"
#include "platform/BatchLine.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>

namespace tw::check {

namespace {

QString statusWord(Status status) {
    switch (status) {
    case Ok:
        return QStringLiteral("OK");
    case Warning:
        return QStringLiteral("WARNING");
    case Critical:
        return QStringLiteral("CRITICAL");
    case Unknown:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

// Plugin output must stay on one line and keep '|' for the performance data.
QString oneLine(QString text) {
    text = text.simplified();
    text.replace(QLatin1Char('|'), QLatin1Char('/'));
    return text;
}

} // namespace

CheckResult unknown(const QString& why) {
    return {Unknown, QStringLiteral("UNKNOWN - ") + oneLine(why)};
}

CheckResult judge(const std::optional<qint64>& blockCount, const QString& failure,
                  const node::NodeState& state, qint64 nowSeconds, int stallMinutes) {
    if (!blockCount)
        return {Critical,
                QStringLiteral("CRITICAL - ") +
                    QCoreApplication::translate("NodeCheck", "no answer: %1")
                        .arg(oneLine(failure.isEmpty()
                                         ? QCoreApplication::translate(
                                               "NodeCheck", "the client wrote no block count")
                                         : failure))};
    const qint64 blocks = *blockCount;
    const std::optional<qint64> peers = state.peersIn && state.peersOut
                                            ? std::optional(*state.peersIn + *state.peersOut)
                                            : state.peersTotal;
    // The tip's age in seconds; -1 when the node did not tell its tip.
    // (A plain number: GCC's -O3 takes an optional here for uninitialised.)
    const qint64 tipAge = state.tipTime ? std::max<qint64>(0, nowSeconds - *state.tipTime) : -1;
    // Headers one block ahead are a block being checked, or one that came
    // between the two questions: every node has that moment, and a check
    // that warned of it would cry wolf.
    const bool behind = (state.headers && *state.headers > blocks + 1) ||
                        state.initialBlockDownload.value_or(false);

    QStringList problems;
    Status status = Ok;
    if (behind) {
        status = Warning;
        problems << (state.initialBlockDownload.value_or(false)
                         ? QCoreApplication::translate("NodeCheck", "initial download")
                         : QCoreApplication::translate("NodeCheck", "catching up"));
    } else if (tipAge >= 0 && tipAge >= qint64(stallMinutes) * 60) {
        // One look cannot see the count move: a tip older than the stall
        // time on a node that is not catching up is the stall.
        status = Critical;
        problems << QCoreApplication::translate("NodeCheck", "stalled");
    }
    if (peers && *peers == 0) {
        status = std::max(status, Warning);
        problems << QCoreApplication::translate("NodeCheck", "no peers");
    }

    QString text = state.headers && *state.headers != blocks
                       ? QCoreApplication::translate("NodeCheck", "block %1 of %2")
                             .arg(blocks)
                             .arg(*state.headers)
                       : QCoreApplication::translate("NodeCheck", "block %1").arg(blocks);
    if (peers)
        text += *peers == 1 ? QCoreApplication::translate("NodeCheck", ", 1 peer")
                            : QCoreApplication::translate("NodeCheck", ", %1 peers").arg(*peers);
    if (tipAge >= 0)
        text += QCoreApplication::translate("NodeCheck", ", tip %1")
                    .arg(node::text::tipAge(*state.tipTime, nowSeconds));
    if (!problems.isEmpty())
        text = problems.join(QStringLiteral(", ")) + QStringLiteral(": ") + text;

    QStringList perf{QStringLiteral("blocks=%1").arg(blocks)};
    if (state.headers)
        perf << QStringLiteral("headers=%1").arg(*state.headers);
    if (peers)
        perf << QStringLiteral("peers=%1").arg(*peers);
    if (tipAge >= 0)
        perf << QStringLiteral("tip_age=%1s").arg(tipAge);
    if (state.verificationProgress)
        perf << QStringLiteral("progress=%1").arg(*state.verificationProgress, 0, 'f', 6);
    return {status, statusWord(status) + QStringLiteral(" - ") + text + QStringLiteral(" | ") +
                        perf.join(' ')};
}

NodeCheck::NodeCheck(platform::ProcessStarter& starter, platform::FileSystem& files,
                     app::Diagnostics& diagnostics, int stallMinutes,
                     std::function<qint64()> nowSeconds, QObject* parent)
    : QObject(parent), starter_(starter), files_(files), stallMinutes_(stallMinutes),
      nowSeconds_(std::move(nowSeconds)),
      query_(new node::NodeQuery(starter, files, diagnostics, this)) {
    connect(query_, &node::NodeQuery::answered, this,
            [this](const node::NodeState& state, const QString&) {
                finish(judge(blockCount_, failure_, state, nowSeconds_(), stallMinutes_));
            });
}

NodeCheck::~NodeCheck() = default;

void NodeCheck::finish(const CheckResult& result) {
    if (finished_)
        return;
    finished_ = true;
    emit finished(result);
}

void NodeCheck::start(const QString& batchPath) {
    const auto later = [this](const CheckResult& result) {
        QTimer::singleShot(0, this, [this, result] { finish(result); });
    };
    if (batchPath.trimmed().isEmpty())
        return later(unknown(QCoreApplication::translate(
            "NodeCheck",
            "no block-count batch file is configured (Settings, Save To .BAT Files)")));
    const platform::FileRead read = files_.readFile(batchPath, node::NodeQuery::MaxBatchFileBytes);
    if (!read.result)
        return later(unknown(read.result.error));
    const platform::BatchCommand command =
        platform::batchFileCommand(files_.decodeLocal(read.bytes));
    if (!command.ok())
        return later(unknown(QStringLiteral("batch file %1: %2").arg(batchPath, command.error)));
    starter_.runProgram(
        command.arguments.first(), command.arguments.mid(1), CallTimeoutMs, 4096,
        [self = QPointer<NodeCheck>(this), batchPath](const platform::ProgramRun& run) {
            if (self)
                self->blockCountEnded(run, batchPath);
        });
}

void NodeCheck::blockCountEnded(const platform::ProgramRun& run, const QString& batchPath) {
    static const QRegularExpression count(QStringLiteral("^\\s*([0-9]{1,18})\\s*$"));
    const QString said = files_.decodeLocal(run.errorOutput).simplified();
    const QRegularExpressionMatch match = count.match(files_.decodeLocal(run.output));
    if (run.result && run.exitStatus.value_or(1) == 0 && match.hasMatch()) {
        blockCount_ = match.captured(1).toLongLong();
    } else {
        if (!run.result)
            failure_ = run.result.error;
        else if (run.exitStatus.value_or(0) != 0)
            failure_ = QStringLiteral("the client exited with status %1").arg(*run.exitStatus);
        else
            failure_ = QStringLiteral("the answer is not a number");
        if (!said.isEmpty())
            failure_ += QStringLiteral(" and said \"%1\"").arg(said.left(300));
        // No block count: the state would not change the verdict.
        return finish(judge(blockCount_, failure_, {}, nowSeconds_(), stallMinutes_));
    }
    if (!query_->ask(batchPath)) // a line without the word: the count alone
        finish(judge(blockCount_, failure_, {}, nowSeconds_(), stallMinutes_));
}

} // namespace tw::check

namespace tw::check {

int runCheckCommand(platform::Platform& platform, const QStringList& arguments) {
    CheckResult result;
    if (!arguments.isEmpty()) {
        result = unknown(
            QCoreApplication::translate("NodeCheck", "unknown argument %1 (usage: %2 --check)")
                .arg(arguments.first(), platform.executableName));
    } else {
        // Quiet: a monitoring plugin says one line; the panel's own log is
        // not the check's to write.
        app::Diagnostics diagnostics(QString(), false);
        app::SettingsStore store(platform.settings, platform.executableName, &diagnostics);
        const health::AlertSettings alerts = health::AlertSettings::load(store);
        NodeCheck check(platform.starter, platform.files, diagnostics, alerts.stallMinutes,
                        [] { return QDateTime::currentSecsSinceEpoch(); });
        QEventLoop loop;
        QObject::connect(&check, &NodeCheck::finished, &loop, [&](const CheckResult& done) {
            result = done;
            loop.quit();
        });
        check.start(
            store.GetSetting(QStringLiteral("CLI_GBC_FULL_BAT_LOCATION_TEXTBOX"), QString()));
        loop.exec();
    }
    std::fputs(qPrintable(result.line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
    return result.status;
}

} // namespace tw::check
