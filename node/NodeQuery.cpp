#include "node/NodeQuery.h"

#include "app/Diagnostics.h"
#include "platform/BatchLine.h"
#include "platform/Platform.h"

#include <QPointer>

#include <iterator>

namespace tw::node {

const QString NodeQuery::LineKey = QStringLiteral("node-state-line");

QString NodeQuery::callKey(Call call) {
    return QStringLiteral("node-state-") + callName(call);
}

NodeQuery::NodeQuery(platform::ProcessStarter& starter, platform::FileSystem& files,
                     app::Diagnostics& diagnostics, QObject* parent)
    : QObject(parent), starter_(starter), files_(files), diagnostics_(diagnostics) {}

bool NodeQuery::ask(const QString& batchPath) {
    if (running())
        return false;
    const platform::FileRead read = files_.readFile(batchPath, MaxBatchFileBytes);
    // A batch file that cannot be read is the query cycles' to report (it
    // ran a moment ago); the state simply stays as it was.
    if (!read.result)
        return false;
    QString why;
    platform::BatchCommand command;
    if (read.truncated)
        why = QStringLiteral("batch file %1 is larger than %2 bytes")
                  .arg(batchPath)
                  .arg(MaxBatchFileBytes);
    else
        command = platform::batchFileCommand(files_.decodeLocal(read.bytes));
    if (why.isEmpty() && !command.ok())
        why = command.error;
    if (why.isEmpty() && !callArguments(command.arguments, Call::BlockchainInfo))
        why = QStringLiteral("its line has no word getblockcount to replace");
    if (!why.isEmpty()) {
        // Said once; the state stays unknown until the line can serve.
        diagnostics_.report(LineKey, {}, QStringLiteral("Node state not asked: ") + why);
        return false;
    }
    diagnostics_.clear(LineKey);

    state_ = {};
    failure_.clear();
    pending_ = int(std::size(Calls));
    for (const Call call : Calls) {
        const QStringList arguments = *callArguments(command.arguments, call);
        starter_.runProgram(
            arguments.first(), arguments.mid(1), CallTimeoutMs, MaxAnswerBytes,
            [self = QPointer<NodeQuery>(this), call](const platform::ProgramRun& run) {
                if (self) // gone with the panel: nothing to tell
                    self->callEnded(call, run);
            });
    }
    return true;
}

void NodeQuery::callEnded(Call call, const platform::ProgramRun& run) {
    const QString name = callName(call);
    // The start of what it said: enough for a line, not its whole 4 KiB.
    const QString said = files_.decodeLocal(run.errorOutput).simplified().left(300);
    QString failure;
    if (!run.result)
        failure = name + QStringLiteral(": ") + run.result.error;
    else if (run.exitStatus.value_or(0) != 0 && !run.errorOutput.contains("Method not found"))
        failure =
            QStringLiteral("%1: the client exited with status %2").arg(name).arg(*run.exitStatus);
    if (!failure.isEmpty() && !said.isEmpty())
        failure += QStringLiteral(" and said \"%1\"").arg(said);

    if (failure.isEmpty()) {
        const CallParse parsed = parseCall(call, run.output, run.errorOutput, state_);
        if (parsed.outcome == CallParse::Outcome::Read)
            diagnostics_.clear(callKey(call));
        else // an older coin: its fields stay unknown, said once
            diagnostics_.report(callKey(call), {},
                                QStringLiteral("Node state: ") + parsed.detail +
                                    QStringLiteral("; its fields stay unknown"));
    } else if (failure_.isEmpty()) {
        // A failing call (a stopped node) is the query cycles' to report;
        // the first one here explains an empty state.
        failure_ = failure;
    }
    if (--pending_ == 0)
        emit answered(state_, state_.empty() ? failure_ : QString());
}

} // namespace tw::node
