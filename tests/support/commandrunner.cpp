#include "commandrunner.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QTest>

CommandRunner::CommandRunner(BaseCommand *command) : cmd(command)
{
    BaseCommand::registerMetaTypes();
    // Direct: recorded on the command's thread, in the order emitted.
    QObject::connect(
        command, &BaseCommand::started, command,
        [this](qulonglong) {
            QMutexLocker lock(&mutex);
            ++started;
        },
        Qt::DirectConnection);
    QObject::connect(
        command, &BaseCommand::processing, command,
        [this](qulonglong, qulonglong current, qulonglong full, int timestamp) {
            QMutexLocker lock(&mutex);
            reports.append({current, full, timestamp});
        },
        Qt::DirectConnection);
    QObject::connect(
        command, &BaseCommand::finished, command,
        [this](qulonglong, BaseCommand::CommandResult result) {
            QMutexLocker lock(&mutex);
            results.append(result);
        },
        Qt::DirectConnection);
}

CommandRunner::~CommandRunner()
{
    if (cmd && cmd->isRunning())
        cmd->wait();
}

bool CommandRunner::run(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    cmd->moveToThread(cmd.get());
    cmd->start();
    const bool ended = QTest::qWaitFor([this] { return cmd->isFinished(); }, timeoutMs);
    elapsed = clock.elapsed();
    return ended && cmd->wait(timeoutMs);
}

int CommandRunner::startedCount() const
{
    QMutexLocker lock(&mutex);
    return started;
}

QList<BaseCommand::CommandResult> CommandRunner::finishedResults() const
{
    QMutexLocker lock(&mutex);
    return results;
}

QList<CommandRunner::Progress> CommandRunner::progress() const
{
    QMutexLocker lock(&mutex);
    return reports;
}

QString CommandRunner::throttledProgressProblem(qulonglong total) const
{
    const QList<Progress> reports = progress();
    if (reports.isEmpty())
        return QStringLiteral("no progress reported");
    if (reports.size() > 102)
        return QStringLiteral("%1 progress reports").arg(reports.size());
    if (reports.last().currentState != total || reports.last().fullState != total)
        return QStringLiteral("last report %1 of %2, expected %3")
            .arg(reports.last().currentState).arg(reports.last().fullState).arg(total);
    for (qsizetype i = 1; i < reports.size(); ++i) {
        if (reports.at(i).currentState <= reports.at(i - 1).currentState)
            return QStringLiteral("report %1 is no step forward").arg(i);
    }
    return {};
}
