#include "fakecommand.h"

FakeCommand::FakeCommand(qulonglong commandId, CommandExclusivity exclusivity, CommandType type)
    : BaseCommand(commandId, type, exclusivity)
{
}

FakeCommand::~FakeCommand() { *destroyed = true; }

void FakeCommand::release(CommandResult commandResult)
{
    result = commandResult;
    gate.release();
}

void FakeCommand::addProgress(qulonglong currentState, qulonglong fullState, int timestamp)
{
    reports.append({currentState, fullState, timestamp});
}

QString FakeCommand::getCommandTypeString() const
{
    return QStringLiteral("Fake %1").arg(commandId);
}

QString FakeCommand::getCommandName() const { return QStringLiteral("fake"); }

void FakeCommand::execute()
{
    Q_EMIT started(commandId);
    for (const Report &report : std::as_const(reports))
        Q_EMIT processing(commandId, report.currentState, report.fullState, report.timestamp);
    const bool released = gate.tryAcquire(1, HoldLimitMs);
    report(released ? CommandResult(result.load()) : ConnectionError);
    if (lingerMs > 0)
        QThread::msleep(lingerMs);
    *executeReturned = true;
}
