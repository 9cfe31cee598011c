#pragma once

#include "network/basecommand.h"

#include <QSemaphore>

#include <atomic>
#include <memory>

// A command that talks to nobody: a stand-in of any kind and exclusivity class for
// scheduler tests. execute() emits `started`, any progress reports given beforehand,
// then holds until the test calls release() and ends with the result given there.
//
//   FakeCommand *upload = nullptr;
//   scheduler.queueCommand([&](qulonglong id) {
//       return upload = new FakeCommand(id, BaseCommand::NonExclusive);
//   });
//   ...
//   upload->release(BaseCommand::NoError);   // only while it has not been deleted
class FakeCommand final : public BaseCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeCommand)

public:
    // How long a command that is never released holds before ending on its own.
    static constexpr int HoldLimitMs = 20000;

    explicit FakeCommand(qulonglong commandId, CommandExclusivity exclusivity,
                         CommandType type = CreateDirectoryCommand);
    ~FakeCommand() override;

    // Lets execute() end with `result`. Thread-safe.
    void release(CommandResult result = NoError);
    // Reported with `processing` after `started`; call before the command starts.
    void addProgress(qulonglong currentState, qulonglong fullState, int timestamp);
    // Keeps the thread running this long after `finished` has been emitted.
    void setLingerMs(int ms) { lingerMs = ms; }

    // Set when execute() has returned / when the object is destroyed; both stay valid
    // after the command has been deleted.
    std::shared_ptr<std::atomic<bool>> executeReturned =
        std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> destroyed = std::make_shared<std::atomic<bool>>(false);

    QString getCommandTypeString() const override;

public Q_SLOTS:
    void execute() override;

protected:
    QString getCommandName() const override;

private:
    struct Report {
        qulonglong currentState;
        qulonglong fullState;
        int timestamp;
    };
    QList<Report> reports;
    QSemaphore gate;
    std::atomic<int> result{NoError};
    int lingerMs = 0;
};
