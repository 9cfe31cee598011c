#include "commandinfo.h"

CommandInfo::CommandInfo(qulonglong commandId, CommandState state, const QString &commandType,
                         BaseCommand::CommandResult result, int progressState,
                         int progressTime, double progressSpeed, const Subject &subject)
    : commandState(state), commandType(commandType), commandResult(result),
      progressState(progressState), progressTime(progressTime), progressSpeed(progressSpeed),
      commandId(commandId), subject(subject)
{
}

CommandInfo::CommandInfo(qulonglong commandId, CommandState state, const QString &commandType,
                         BaseCommand::CommandResult result, int progressState,
                         int progressTime, double progressSpeed)
    : CommandInfo(commandId, state, commandType, result, progressState, progressTime,
                  progressSpeed, Subject{})
{
}
