#include "commandfeedback.h"

#include <QRegularExpression>

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
        return name + tr(" started.");
    case CommandInfo::Processing:
        return QString();
    case CommandInfo::Finished:
        break;
    }
    if (info.getCommandResult() == BaseCommand::NoError)
        return name + tr(" finished.");
    return name + tr(" failed: ") + getFailureCause(info);
}
