#include "commandfeedback.h"

QString CommandFeedback::getStateSuffix(CommandInfo::CommandState state)
{
    switch (state) {
    case CommandInfo::Started:
        return tr(" started.");
    case CommandInfo::Processing:
        return tr(" in process.");
    case CommandInfo::Finished:
        return tr(" finished.");
    }
    return QString();
}

QString CommandFeedback::getTimeText(int remainingSeconds)
{
    // Integer arithmetic truncating toward zero: a negative time keeps its sign in
    // every non-zero part rather than wrapping round.
    const int h = remainingSeconds / 3600;
    const int m = (remainingSeconds / 60) % 60;
    const int s = remainingSeconds % 60;
    const auto number = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    QString time;
    if (h != 0) {
        time = QStringLiteral("%1%2 %3%4 %5%6")
                   .arg(number(h), tr("h"), number(m), tr("m"), number(s), tr("s"));
    } else if (m != 0) {
        time = QStringLiteral("%1%2 %3%4").arg(number(m), tr("m"), number(s), tr("s"));
    } else {
        time = QStringLiteral("%1%2").arg(number(s), tr("s"));
    }
    return tr("Time estimated") + QStringLiteral(": ") + time;
}

QString CommandFeedback::getSpeedText(double speed)
{
    return QStringLiteral(" %1").arg(speed, 0, 'f', 2) + tr("Kb/s");
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
                   "please write to ")
                    + QLatin1String(SupportAddress) + QLatin1Char('.')};
    }
}

QString CommandFeedback::getMessage(const CommandInfo &info)
{
    QString message = info.getCommandType() + getStateSuffix(info.getCommandState());
    if (info.getCommandState() == CommandInfo::Finished
        && info.getCommandResult() != BaseCommand::NoError) {
        message += QStringLiteral(": <b><font color=\"Red\">")
            + getErrorTexts(info.getCommandResult()).status + QStringLiteral("</font></b>");
    }
    return message;
}
