#pragma once

#include "network/basecommand.h"
#include "network/commandinfo.h"

#include <QCoreApplication>
#include <QString>

// The words the user reads about a command: the state suffix of its status line, the
// remaining-time and speed texts of its transfer row, and what a failure is called.
class CommandFeedback final
{
    Q_DECLARE_TR_FUNCTIONS(CommandFeedback)

public:
    struct ErrorTexts {
        QString status;  // shown in bold red after the command's name
        QString title;   // the message box's title
        QString text;    // the message box's text
    };

    static constexpr char SupportAddress[] = "support@kelvarhold.net";

    // "<command> started.", "<command> in process." or "<command> finished.".
    static QString getStateText(const QString &commandType, CommandInfo::CommandState state);
    // "Time estimated: 01h 02m 05s"; negative times keep their sign ("-1s").
    static QString getTimeText(int remainingSeconds);
    // " 12.50Kb/s": the scheduler's bytes per millisecond are kilobytes per second.
    static QString getSpeedText(double speed);
    // Empty texts for NoError.
    static ErrorTexts getErrorTexts(BaseCommand::CommandResult result);
    // The status message of a report: name, state suffix and, for a failure, the
    // error text in bold red markup.
    static QString getMessage(const CommandInfo &info);

    // The command's display name (rich text, its item's name escaped) as plain text.
    static QString getPlainName(const QString &richName);
    // Why a finished command failed: the reason its command gave, else what its
    // result says. Empty for NoError.
    static QString getFailureCause(const CommandInfo &info);
    // A line of the message log, plain text: "Upload file a.txt started.", "... finished."
    // or "Upload file a.txt failed: the connection to 127.0.0.1:2939 was refused...".
    // Empty for progress reports, which the log leaves out.
    static QString getLogText(const CommandInfo &info);
};
