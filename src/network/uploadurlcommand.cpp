#include "uploadurlcommand.h"

#include "failurereason.h"
#include "logging.h"
#include "wire/protocoltextcheck.h"
#include "uploadurlmessage.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <initializer_list>
#include <memory>


namespace {

// Where the next message starts inside a read that began with a progress message: two
// messages sent close together can arrive in one read, and the final one must not be
// lost behind a progress report. -1 when the read holds one message only.
qsizetype nextMessageStart(const QByteArray &read)
{
    qsizetype next = -1;
    for (const char *word : {"progress\n", "done\n", "error\n"}) {
        const qsizetype at = read.indexOf(word, 9);
        if (at >= 0 && (next < 0 || at < next))
            next = at;
    }
    return next;
}

} // namespace


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

QString UploadUrlCommand::getCommandName() const { return QStringLiteral("uploadurl"); }

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
    request += QByteArray::number(item.parentId) + '\t' + toProtocolBytes(name)
        + '\t' + toProtocolBytes(address);

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
    QByteArray read;
    // A server that keeps talking without its count moving on is as stuck as a silent
    // one; and a repeated count is not reported again, so such a server cannot flood
    // the transfer window either.
    QElapsedTimer sinceAdvance;
    sinceAdvance.start();
    bool reported = false;
    quint64 lastCurr = 0;
    quint64 lastTotal = 0;
    for (;;) {
        if (read.isEmpty()) {
            if (socket->bytesAvailable() == 0
                && !waitForReadyRead(socket, limits.urlUploadMessageWaitMs)) {
                // Silence for too long, or the server hung up before a final message.
                qCDebug(lcNetwork) << "upload url: no message:" << socket->errorString();
                setFailureReason(FailureReason::noReply(socket));
                return ConnectionError;
            }
            read = socket->readAll();
        }
        if (UploadUrlMessage::isDone(read))
            return applyDone(read);
        if (!UploadUrlMessage::isProgress(read)) {
            qCDebug(lcNetwork) << "upload url: server refused:" << read.left(64);
            return judgeErrorReply(read);
        }
        const qsizetype next = nextMessageStart(read);
        const QByteArray message = next < 0 ? read : read.left(next);
        read = next < 0 ? QByteArray() : read.mid(next);
        quint64 curr = 0;
        quint64 total = 0;
        // A message that does not parse is ignored; the server goes on.
        if (!UploadUrlMessage::parseProgress(message, curr, total)) {
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
    if (!UploadUrlMessage::parseDone(message, id, size, filesystemName)) {
        qCDebug(lcNetwork) << "upload url: unreadable done:" << message.left(64);
        setFailureReason(FailureReason::unreadableReply());
        return ReceivedDataFormatError;
    }
    reportChange(RemoteItemChange::UrlUploaded, id, size, QString::fromLatin1(filesystemName));
    qCDebug(lcNetwork) << "upload url: done, id" << id << "size" << size;
    return NoError;
}
