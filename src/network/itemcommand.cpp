#include "itemcommand.h"

#include "logging.h"
#include "remotetree/protocoltextcheck.h"
#include "remotetree/remotefilestreeitem.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <atomic>
#include <memory>

namespace {
std::atomic<int> replyCompletionMs{ItemCommand::DefaultReplyCompletionMs};
const QByteArray doneWord = QByteArrayLiteral("done\n");
const QByteArray errorWord = QByteArrayLiteral("error\n");
} // namespace

int ItemCommand::getReplyCompletionMs() { return replyCompletionMs; }
void ItemCommand::setReplyCompletionMs(int ms) { replyCompletionMs = ms; }

ItemCommand::ItemCommand(qulonglong commandId, BaseCommand::CommandType type,
                         BaseCommand::CommandExclusivity exclusivity, QObject *parent)
    : BaseCommand(commandId, type, exclusivity, parent)
{
}

bool ItemCommand::isReplyComplete(const QByteArray &reply, bool valueExpected)
{
    if (doneWord.startsWith(reply) || errorWord.startsWith(reply))
        return false;
    if (reply.startsWith(doneWord))
        return !valueExpected || reply.indexOf('\n', doneWord.size()) >= 0;
    if (reply.startsWith(errorWord))
        return reply.indexOf('\n', errorWord.size()) >= 0;
    return true;
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

bool ItemCommand::appendParentId(QByteArray &request, const RemoteFilesTreeItem *item)
{
    if (!item->isParentOnServer())
        return false;
    request += QByteArray::number(item->getItemInnerParentId());
    return true;
}

bool ItemCommand::appendPlaceFields(QByteArray &request, const RemoteFilesTreeItem *item)
{
    if (!appendItemId(request, item))
        return false;
    request += '\t';
    if (!appendParentId(request, item))
        return false;
    request += '\t';
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
    QByteArray reply;
    const bool withinLimit = readReply(socket.get(), reply);
    socket->disconnectFromHost();
    socket.reset();

    if (!withinLimit)
        qCDebug(lcNetwork) << getCommandName() << "reply longer than" << MaxReplyBytes << "bytes";
    Q_EMIT finished(commandId, withinLimit ? judgeReply(reply) : ReceivedDataFormatError);
}

BaseCommand::CommandResult ItemCommand::judgeReply(const QByteArray &reply)
{
    if (!reply.startsWith(doneWord))
        return getErrorType(reply);
    // Bytes behind the value's line are not part of the reply: whether they came in
    // the same read must not change the verdict.
    const qsizetype lineEnd = reply.indexOf('\n', doneWord.size());
    return applySuccess(reply.mid(doneWord.size(), lineEnd < 0 ? -1 : lineEnd - doneWord.size()));
}

// A reply may arrive in pieces. Judging the first piece alone would report a change
// the server has already made as failed (and a new folder would keep id 0, sending
// everything queued inside it to the root folder). So bytes are collected until the
// reply can be judged or the peer closes: within the reply time limit while the
// first line is incomplete, then within the shorter completion limit, counted from
// that line's end, so a server that trickles bytes cannot hold the command. The
// bytes kept are bounded by MaxReplyBytes.
bool ItemCommand::readReply(QTcpSocket *socket, QByteArray &reply) const
{
    const bool valueExpected = isValueExpected();
    const QDeadlineTimer firstLineDeadline(getTimeouts().replyMs);
    QDeadlineTimer completionDeadline;
    bool firstLineEnded = false;
    reply = socket->read(MaxReplyBytes + 1);
    for (;;) {
        if (!firstLineEnded && reply.contains('\n')) {
            firstLineEnded = true;
            completionDeadline.setRemainingTime(getReplyCompletionMs());
        }
        if (isReplyComplete(reply, valueExpected))
            return true;
        if (reply.size() > MaxReplyBytes)
            return false;
        const QDeadlineTimer &deadline = firstLineEnded ? completionDeadline : firstLineDeadline;
        if (!waitForReadyRead(socket, int(qMax<qint64>(0, deadline.remainingTime()))))
            return true;
        reply += socket->read(MaxReplyBytes + 1 - reply.size());
    }
}
