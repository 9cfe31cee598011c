#pragma once

#include "basecommand.h"

#include <QString>

// What a command is doing, as the scheduler tells the GUI: that it started, how far it
// has come, or how it ended. Written completely before it is sent, never changed after.
class CommandInfo final
{
public:
    enum CommandState { Started = 0, Processing = 1, Finished = 2 };

    // What the record is about beyond its display name: the command's kind, the remote
    // item it works on (self id, 0 for none) and, for a failure, why in plain words.
    struct Subject {
        BaseCommand::CommandType kind = BaseCommand::RefreshListCommand;
        quint64 itemSelfId = 0;
        QString failureReason;
    };

    CommandInfo(qulonglong commandId, CommandState state, const QString &commandType,
                BaseCommand::CommandResult result, int progressState, int progressTime,
                double progressSpeed, const Subject &subject);
    CommandInfo(qulonglong commandId, CommandState state, const QString &commandType,
                BaseCommand::CommandResult result, int progressState, int progressTime,
                double progressSpeed);

    qulonglong getCommandId() const { return commandId; }
    CommandState getCommandState() const { return commandState; }
    QString getCommandType() const { return commandType; }
    BaseCommand::CommandResult getCommandResult() const { return commandResult; }
    // Percent done, 0 to 100.
    int getProgressState() const { return progressState; }
    // Estimated remaining time in whole seconds.
    int getProgressRemainTime() const { return progressTime; }
    // Units per millisecond (bytes per millisecond for transfers).
    double getProgressSpeed() const { return progressSpeed; }
    BaseCommand::CommandType getCommandKind() const { return subject.kind; }
    quint64 getItemSelfId() const { return subject.itemSelfId; }
    QString getFailureReason() const { return subject.failureReason; }

private:
    CommandState commandState;
    QString commandType;
    BaseCommand::CommandResult commandResult;
    int progressState;
    int progressTime;
    double progressSpeed;
    qulonglong commandId;
    Subject subject;
};
