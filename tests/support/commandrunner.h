#pragma once

#include "network/basecommand.h"

#include <QList>
#include <QMutex>

#include <memory>

// Runs one command on its own thread as the scheduler does, and records what it
// reports. The runner owns the command.
//
//   CommandRunner runner(new RefreshListCommand(7));
//   QVERIFY(runner.run());
//   QCOMPARE(runner.finishedResults(), {BaseCommand::NoError});
class CommandRunner final
{
public:
    struct Progress {
        qulonglong currentState;
        qulonglong fullState;
        int timestamp;
    };

    explicit CommandRunner(BaseCommand *command);
    ~CommandRunner();
    CommandRunner(const CommandRunner &) = delete;
    CommandRunner &operator=(const CommandRunner &) = delete;

    // Starts the command and waits (processing events) until its thread has ended.
    bool run(int timeoutMs = 10000);

    BaseCommand *command() const { return cmd.get(); }
    int startedCount() const;
    QList<BaseCommand::CommandResult> finishedResults() const;
    QList<Progress> progress() const;
    // Empty if the progress reports of a transfer of `total` bytes look as a throttled
    // transfer's should: about a hundred at most, each a step forward, the last one
    // complete; otherwise what is wrong.
    QString throttledProgressProblem(qulonglong total) const;
    // Milliseconds from start until the thread ended.
    qint64 elapsedMs() const { return elapsed; }

private:
    std::unique_ptr<BaseCommand> cmd;
    mutable QMutex mutex;
    int started = 0;
    QList<BaseCommand::CommandResult> results;
    QList<Progress> reports;
    qint64 elapsed = 0;
};
