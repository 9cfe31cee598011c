#include "itemcommand.h"

#include "logging.h"
#include "remotetree/protocoltextcheck.h"
#include "remotetree/remotefilestreeitem.h"

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

QString ItemCommand::typeStringFor(const QString &action, const QString &itemName)
{
    // Shown as rich text: a name such as "a<b" must stay a name.
    return action + QLatin1String(" <b>") + itemName.toHtmlEscaped() + QLatin1String("</b>");
}

bool ItemCommand::appendTextField(QByteArray &request, const QString &text)
{
    if (!ProtocolTextCheck::problem(text, QString()).isEmpty())
        return false;
    request += toProtocolBytes(text);
    return true;
}

bool ItemCommand::appendItemId(QByteArray &request, const RemoteFilesTreeItem *item)
{
    const qulonglong id = item->getItemInnerId();
    if (id == 0)
        return false;
    request += QByteArray::number(id);
    return true;
}

bool ItemCommand::appendPlaceFields(QByteArray &request, const RemoteFilesTreeItem *item)
{
    if (!appendItemId(request, item))
        return false;
    request += '\t' + QByteArray::number(item->getItemInnerParentId()) + '\t';
    return appendTextField(request, item->getItemInnerName());
}

void ItemCommand::unlinkFromParent(RemoteFilesTreeItem *item)
{
    if (RemoteFilesTreeItem *parent = item->parent())
        parent->removeChild(item);
}

void ItemCommand::execute()
{
    Q_EMIT started(commandId);

    QByteArray request;
    prepareByteArrayForRequest(request);
    if (!appendRequestFields(request)) {
        qCDebug(lcNetwork) << getCommandName() << "not sent: the item's data cannot travel safely";
        Q_EMIT finished(commandId, InitialDataFormatError);
        return;
    }

    std::unique_ptr<QTcpSocket> socket(getControlSocket());
    if (!socket)
        return;
    if (!writeRequestAndWaitForReply(socket.get(), request))
        return;
    const QByteArray reply = readReply(socket.get(), isValueExpected());
    socket->disconnectFromHost();
    socket.reset();

    const CommandResult result = reply.startsWith(doneWord)
            ? applySuccess(reply.mid(doneWord.size()))
            : getErrorType(reply);
    Q_EMIT finished(commandId, result);
}
