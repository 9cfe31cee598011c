#include "itemcommand.h"

#include "base/logging.h"
#include "failurereason.h"
#include "wire/protocoltextcheck.h"
#include "wire/replyframer.h"
#include "wire/wire.h"

#include <QTcpSocket>

#include <memory>

ItemCommand::ItemCommand(qulonglong commandId, BaseCommand::CommandType type,
                         BaseCommand::CommandExclusivity exclusivity, QObject *parent)
    : BaseCommand(commandId, type, exclusivity, parent)
{
}

QString ItemCommand::itemNotSendableReason()
{
    return tr("nothing was sent: the item or its folder is not on the server yet, or its "
              "name holds characters the server cannot take");
}

void ItemCommand::execute()
{
    Q_EMIT started(commandId);

    QByteArray request;
    prepareByteArrayForRequest(request);
    if (!appendRequestFields(request, getSubject().snapshot())) {
        qCDebug(lcNetwork) << getCommandName() << "not sent: the item's data cannot travel safely";
        report(InitialDataFormatError, itemNotSendableReason());
        return;
    }
    std::unique_ptr<QTcpSocket> socket;
    if (const CommandResult failure = connectControlSocket(socket); failure != NoError) {
        report(failure);
        return;
    }
    if (const CommandResult failure = writeRequestAndWaitForReply(socket.get(), request);
        failure != NoError) {
        report(failure);
        return;
    }
    QByteArray reply;
    const bool withinLimit = readReply(socket.get(), isValueExpected(), reply);
    socket->disconnectFromHost();
    socket.reset();

    if (!withinLimit)
        qCDebug(lcNetwork) << getCommandName() << "reply longer than" << ReplyFramer::MaxReplyBytes << "bytes";
    if (!withinLimit)
        setFailureReason(FailureReason::unreadableReply());
    report(withinLimit ? judgeReply(reply) : ReceivedDataFormatError);
}

BaseCommand::CommandResult ItemCommand::judgeReply(const QByteArray &reply)
{
    if (!Wire::isDone(reply))
        return judgeErrorReply(reply);
    // Bytes behind the value's line are not part of the reply: whether they came in
    // the same read must not change the verdict.
    return applySuccess(Wire::doneValue(reply));
}
