#include "uploadurlcommand.h"

#include "base/logging.h"
#include "failurereason.h"
#include "wire/protocoltextcheck.h"
#include "wire/replyframer.h"
#include "wire/wire.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <memory>

UploadUrlCommand::UploadUrlCommand(qulonglong commandId, const RemoteItemRef &fileItem,
                                   QObject *parent)
    : BaseCommand(commandId, BaseCommand::UploadUrlCommand, NonExclusive, parent)
{
    setSubject(fileItem);
}

QString UploadUrlCommand::getCommandTypeString() const
{
    return typeStringFor(tr("upload file"), subjectName());
}

QString UploadUrlCommand::getCommandName() const { return QString::fromLatin1(Wire::UploadUrlWord); }

void UploadUrlCommand::execute()
{
    Q_EMIT started(commandId);

    const RemoteItemRef::Snapshot item = getSubject().snapshot();
    const QString name = item.record.getName();
    const QString address = item.record.getUrl();
    // A tab or line break would shift the server's fields, and a character outside
    // Latin-1 would arrive as "?": such a request is never sent.
    const QString problem = ProtocolTextCheck::problem(name, tr("The name"));
    const QString addressProblem = ProtocolTextCheck::problem(address, tr("The address"));
    // A folder whose creation failed has no id: the file would land in the root folder.
    if (!problem.isEmpty() || !addressProblem.isEmpty() || !item.parentOnServer) {
        qCDebug(lcNetwork) << "upload url: not sent:" << problem << addressProblem;
        QString reason = !problem.isEmpty() ? problem : addressProblem;
        if (reason.isEmpty())
            reason = tr("nothing was sent: the folder it goes to is not on the server");
        report(InitialDataFormatError, reason);
        return;
    }

    QByteArray request;
    prepareByteArrayForRequest(request);
    Wire::appendUploadUrlFields(request, item.parentId, name, address);

    std::unique_ptr<QTcpSocket> socket;
    if (const CommandResult failure = connectControlSocket(socket); failure != NoError) {
        report(failure);
        return;
    }
    socket->write(request);
    CommandResult result = ConnectionError;
    if (waitForBytesWritten(socket.get(), limits.writeMs) || socket->bytesToWrite() == 0)
        result = readMessages(socket.get());
    else
        setFailureReason(FailureReason::requestNotSent(socket.get()));
    socket->disconnectFromHost();
    report(result);
}

BaseCommand::CommandResult UploadUrlCommand::readMessages(QTcpSocket *socket)
{
    // Each read is one message, but two messages sent close together can arrive in one
    // read: the framer splits them, so the final one is not lost behind a progress
    // report. The waits are counted here (urlUploadMessageWaitMs), not by the framer.
    ReplyFramer messages(ReplyFramer::Kind::UrlUploadMessage, {0, 0});
    // A server that keeps talking without its count moving on is as stuck as a silent
    // one; and a repeated count is not reported again, so such a server cannot flood
    // the transfer window either.
    QElapsedTimer sinceAdvance;
    sinceAdvance.start();
    bool reported = false;
    quint64 lastCurr = 0;
    quint64 lastTotal = 0;
    for (;;) {
        if (messages.isEmpty()) {
            if (socket->bytesAvailable() == 0
                && !waitForReadyRead(socket, limits.urlUploadMessageWaitMs)) {
                // Silence for too long, or the server hung up before a final message.
                qCDebug(lcNetwork) << "upload url: no message:" << socket->errorString();
                setFailureReason(FailureReason::noReply(socket));
                return ConnectionError;
            }
            messages.feed(socket->readAll());
        }
        const QByteArray message = messages.takeReply();
        if (Wire::isDone(message))
            return applyDone(message);
        if (!Wire::isProgress(message)) {
            qCDebug(lcNetwork) << "upload url: server refused:" << message.left(64);
            return judgeErrorReply(message);
        }
        quint64 curr = 0;
        quint64 total = 0;
        // A message that does not parse is ignored; the server goes on.
        if (!Wire::parseProgress(message, curr, total)) {
            qCDebug(lcNetwork) << "upload url: progress ignored:" << message;
        } else if (!reported || curr != lastCurr || total != lastTotal) {
            if (!reported || curr > lastCurr)
                sinceAdvance.restart();
            reported = true;
            lastCurr = curr;
            lastTotal = total;
            Q_EMIT processing(commandId, curr, total, getElapsedMs());
        }
        if (sinceAdvance.elapsed() > limits.urlUploadMessageWaitMs) {
            qCDebug(lcNetwork) << "upload url: no progress for" << limits.urlUploadMessageWaitMs
                               << "ms";
            setFailureReason(tr("the server made no progress fetching the address for %1 s")
                                 .arg(limits.urlUploadMessageWaitMs / 1000));
            return ConnectionError;
        }
    }
}

BaseCommand::CommandResult UploadUrlCommand::applyDone(const QByteArray &message)
{
    quint64 id = 0;
    quint64 size = 0;
    QByteArray filesystemName;
    if (!Wire::parseUrlUploadDone(message, id, size, filesystemName)) {
        qCDebug(lcNetwork) << "upload url: unreadable done:" << message.left(64);
        setFailureReason(FailureReason::unreadableReply());
        return ReceivedDataFormatError;
    }
    reportChange(RemoteItemChange::UrlUploaded, id, size, QString::fromLatin1(filesystemName));
    qCDebug(lcNetwork) << "upload url: done, id" << id << "size" << size;
    return NoError;
}
