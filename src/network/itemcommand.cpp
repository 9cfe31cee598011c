#include "itemcommand.h"

#include "failurereason.h"
#include "logging.h"
#include "wire/protocoltextcheck.h"

#include <QTcpSocket>

#include <memory>

namespace {
const QByteArray doneWord = QByteArrayLiteral("done\n");
} // namespace

ItemCommand::ItemCommand(qulonglong commandId, BaseCommand::CommandType type,
                         BaseCommand::CommandExclusivity exclusivity, QObject *parent)
    : BaseCommand(commandId, type, exclusivity, parent)
{
}

bool ItemCommand::appendTextField(QByteArray &request, const QString &text)
{
    if (!ProtocolTextCheck::problem(text, QString()).isEmpty())
        return false;
    request += toProtocolBytes(text);
    return true;
}

bool ItemCommand::appendItemId(QByteArray &request, const RemoteItemRef::Snapshot &item)
{
    const qulonglong id = item.id;
    if (id == 0)
        return false;
    request += QByteArray::number(id);
    return true;
}

bool ItemCommand::appendParentId(QByteArray &request, const RemoteItemRef::Snapshot &item)
{
    if (!item.parentOnServer)
        return false;
    request += QByteArray::number(item.parentId);
    return true;
}

bool ItemCommand::appendPlaceFields(QByteArray &request, const RemoteItemRef::Snapshot &item)
{
    if (!appendItemId(request, item))
        return false;
    request += '\t';
    if (!appendParentId(request, item))
        return false;
    request += '\t';
    return appendTextField(request, item.record.getName());
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
        qCDebug(lcNetwork) << getCommandName() << "reply longer than" << MaxReplyBytes << "bytes";
    if (!withinLimit)
        setFailureReason(FailureReason::unreadableReply());
    report(withinLimit ? judgeReply(reply) : ReceivedDataFormatError);
}

BaseCommand::CommandResult ItemCommand::judgeReply(const QByteArray &reply)
{
    if (!reply.startsWith(doneWord))
        return judgeErrorReply(reply);
    // Bytes behind the value's line are not part of the reply: whether they came in
    // the same read must not change the verdict.
    const qsizetype lineEnd = reply.indexOf('\n', doneWord.size());
    return applySuccess(reply.mid(doneWord.size(), lineEnd < 0 ? -1 : lineEnd - doneWord.size()));
}
