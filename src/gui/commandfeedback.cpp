#include "commandfeedback.h"

#include <QRegularExpression>

QString CommandFeedback::getStateText(const QString &commandType, CommandInfo::CommandState state)
{
    switch (state) {
    case CommandInfo::Started:
        //: %1 is a command with its item, e.g. "Download file <b>a.txt</b>"
        return tr("%1 started.").arg(commandType);
    case CommandInfo::Processing:
        //: %1 is a command with its item, e.g. "Download file <b>a.txt</b>"
        return tr("%1 in process.").arg(commandType);
    case CommandInfo::Finished:
        //: %1 is a command with its item, e.g. "Download file <b>a.txt</b>"
        return tr("%1 finished.").arg(commandType);
    }
    return commandType;
}

QString CommandFeedback::getTimeText(int remainingSeconds)
{
    // Integer arithmetic truncating toward zero: a negative time keeps its sign in
    // every non-zero part rather than wrapping round.
    const int h = remainingSeconds / 3600;
    const int m = (remainingSeconds / 60) % 60;
    const int s = remainingSeconds % 60;
    const auto number = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    //: Remaining time of a transfer: hours, minutes, seconds, each two digits
    if (h != 0)
        return tr("Time estimated: %1h %2m %3s").arg(number(h), number(m), number(s));
    //: Remaining time of a transfer: minutes, seconds, each two digits
    if (m != 0)
        return tr("Time estimated: %1m %2s").arg(number(m), number(s));
    //: Remaining time of a transfer in seconds, two digits
    return tr("Time estimated: %1s").arg(number(s));
}

QString CommandFeedback::getSpeedText(double speed)
{
    //: Transfer speed in kilobytes per second; follows the remaining time after a space
    return tr(" %1Kb/s").arg(speed, 0, 'f', 2);
}

CommandFeedback::ErrorTexts CommandFeedback::getErrorTexts(BaseCommand::CommandResult result)
{
    switch (result) {
    case BaseCommand::NoError:
        return {};
    case BaseCommand::IncorrectLoginError:
        return {tr("Incorrect Login"), tr("Incorrect Login"),
                tr("Please, check your login in Options and retry.")};
    case BaseCommand::IncorrectPasswordError:
        return {tr("Incorrect Password"), tr("Incorrect Password"),
                tr("Please, check your password in Options and retry.")};
    case BaseCommand::IncorrectCommandError:
        return {tr("Old Client Used"), tr("Old Client Used"),
                tr("Please, download new version of this client.")};
    default:
        return {tr("Data synchronization error."), tr("Data synchronization error"),
                tr("Click Refresh button and retry your actions. If it will not help, "
                   "please write to %1.")
                    .arg(QLatin1String(SupportAddress))};
    }
}

QString CommandFeedback::getMessage(const CommandInfo &info)
{
    if (info.getCommandState() == CommandInfo::Finished
        && info.getCommandResult() != BaseCommand::NoError) {
        //: %1 is a command with its item, %2 why it failed, e.g. "Incorrect Password"
        return tr("%1 finished.: <b><font color=\"Red\">%2</font></b>")
            .arg(info.getCommandType(), getErrorTexts(info.getCommandResult()).status);
    }
    return getStateText(info.getCommandType(), info.getCommandState());
}

QString CommandFeedback::getPlainName(const QString &richName)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString plain = richName;
    plain.remove(tag);
    // The entities toHtmlEscaped() writes; "&amp;" last, so "&amp;lt;" stays "&lt;".
    plain.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&#39;"), QLatin1String("'"))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    return plain;
}

QString CommandFeedback::getFailureCause(const CommandInfo &info)
{
    const BaseCommand::CommandResult result = info.getCommandResult();
    if (result == BaseCommand::NoError)
        return QString();
    const QString reason = info.getFailureReason();
    if (!reason.isEmpty())
        return reason;
    switch (result) {
    case BaseCommand::IncorrectLoginError:
        return tr("the server did not accept the login");
    case BaseCommand::IncorrectPasswordError:
        return tr("the server did not accept the password");
    case BaseCommand::IncorrectCommandError:
        return tr("the server does not know this request: a newer client is needed");
    case BaseCommand::InitialConnectionError:
        return tr("could not connect to the server");
    case BaseCommand::ConnectionError:
        return tr("the connection to the server failed");
    case BaseCommand::ReceivedDataFormatError:
        return tr("the server's answer could not be understood");
    case BaseCommand::InitialDataFormatError:
        return tr("nothing was sent: the request could not be made");
    default:
        return tr("the command ended without a result");
    }
}

QString CommandFeedback::getLogText(const CommandInfo &info)
{
    const QString name = getPlainName(info.getCommandType());
    switch (info.getCommandState()) {
    case CommandInfo::Started:
        return getStateText(name, CommandInfo::Started);
    case CommandInfo::Processing:
        return QString();
    case CommandInfo::Finished:
        break;
    }
    if (info.getCommandResult() == BaseCommand::NoError)
        return getStateText(name, CommandInfo::Finished);
    //: %1 is a command with its item, %2 the cause, e.g. "could not connect to the server"
    return tr("%1 failed: %2").arg(name, getFailureCause(info));
}
