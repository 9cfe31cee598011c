#include "network/uploadfilecommand.h"

#include "base/logging.h"
#include "base/settings.h"
#include "failurereason.h"
#include "network/uploaddigest.h"
#include "wire/replyframer.h"
#include "wire/wire.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTcpSocket>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool holdsFieldSeparator(const QString &text)
{
    return text.contains(QLatin1Char('\t')) || text.contains(QLatin1Char('\n'));
}

// Opens `path` for reading only if it is a regular file. The open itself must not
// block: opening a named pipe waits for a writer that may never come, and a device
// such as /dev/zero never ends. The path may have been swapped since the user chose
// it, so the check is made on what was opened.
bool openRegularFile(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return false;
    }
    // Regular files ignore O_NONBLOCK; cleared all the same, for plain blocking reads.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace

UploadFileCommand::UploadFileCommand(qulonglong commandId, const RemoteItemRef &fileItem,
                                     QObject *parent)
    : BaseCommand(commandId, BaseCommand::UploadFileCommand, NonExclusive, parent)
{
    setSubject(fileItem);
}

UploadFileCommand::~UploadFileCommand() = default;

QString UploadFileCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::UploadFileWord);
}

QString UploadFileCommand::getCommandTypeString() const
{
    // Read from the scheduler's thread while the digest is computed here.
    const QString label = phase == Phase::Digesting ? tr("Preparing file") : tr("Upload file");
    return typeStringFor(label, subjectName());
}

QByteArray UploadFileCommand::getFileHash(const QString &filePath)
{
    QFile file;
    if (!openRegularFile(file, filePath))
        return {};
    ProgressThrottle throttle;
    return UploadDigest::compute(file, [this, &throttle](qint64 done, qint64 total) {
        if (throttle.shouldReport(done, total))
            Q_EMIT processing(commandId, qulonglong(done), qulonglong(total), getElapsedMs());
    });
}

bool UploadFileCommand::buildRequest(QByteArray &request)
{
    const QString path = item.localPathForUpload;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const QString password = item.record.getPassword();
    // A tab or line feed would shift the server's fields.
    if (holdsFieldSeparator(name) || holdsFieldSeparator(password)) {
        qCDebug(lcNetwork) << "upload refused: a tab or line feed in the name or password of" << path;
        setFailureReason(tr("nothing was sent: the name or password holds a tab or line break"));
        return false;
    }
    if (!item.parentOnServer) {
        qCDebug(lcNetwork) << "upload refused: its folder is not on the server:" << path;
        setFailureReason(tr("nothing was sent: the folder it goes to is not on the server"));
        return false;
    }
    const qint64 size = info.size();
    const QByteArray digest = getFileHash(path);
    if (digest.size() != 16) {
        qCDebug(lcNetwork) << "upload refused: cannot read" << path << "as a regular file";
        setFailureReason(FailureReason::cannotRead(path));
        return false;
    }
    // Read through a file opened the same guarded way as for the digest.
    QByteArray format;
    QFile probe;
    if (openRegularFile(probe, path))
        format = QImageReader::imageFormat(&probe).toLower();
    if (format.isEmpty())
        format = "unknown";

    prepareByteArrayForRequest(request);
    Wire::appendUploadFields(request, {digest, name, format, item.record.getDescription(),
                                       item.record.isSearchable(), password, size, item.parentId});
    return true;
}

void UploadFileCommand::execute()
{
    qCDebug(lcNetwork) << "UploadCommand: threadid" << QThread::currentThreadId();
    Q_EMIT started(commandId);
    item = getSubject().snapshot();
    if (item.record.isUploaded()) {
        enter(Phase::Reported, NoError);
        return;
    }

    enter(Phase::Digesting);
    QByteArray request;
    const bool requestBuilt = buildRequest(request);
    enter(Phase::Announcing);
    if (!requestBuilt) {
        enter(Phase::Reported, InitialDataFormatError);
        return;
    }

    if (const CommandResult failure = connectControlSocket(controlSocket); failure != NoError) {
        enter(Phase::Reported, failure);
        return;
    }
    controlSocket->write(request);
    if (!waitForBytesWritten(controlSocket.get(), limits.writeMs) && controlSocket->bytesToWrite() > 0) {
        enter(Phase::Reported, ConnectionError, FailureReason::requestNotSent(controlSocket.get()));
    } else {
        // Progress times of the transfer count from here, without the digest.
        restartInternalTimer();
        silenceTimer = std::make_unique<QTimer>();
        silenceTimer->setSingleShot(true);
        replyCompletionTimer = std::make_unique<QTimer>();
        replyCompletionTimer->setSingleShot(true);
        // Direct connections: the sockets and the timers live on this command's thread,
        // whichever thread the command object itself was given to.
        connect(replyCompletionTimer.get(), &QTimer::timeout, this,
                &UploadFileCommand::replyCompletionTimedOut, Qt::DirectConnection);
        connect(silenceTimer.get(), &QTimer::timeout, this, &UploadFileCommand::silenceTimedOut,
                Qt::DirectConnection);
        connect(controlSocket.get(), &QTcpSocket::readyRead, this,
                &UploadFileCommand::controlSocketReadyRead, Qt::DirectConnection);
        connect(controlSocket.get(), &QTcpSocket::disconnected, this,
                &UploadFileCommand::controlSocketDisconnected, Qt::DirectConnection);
        enter(Phase::AwaitingReady);
        // What happened while the request was written is not announced again.
        if (controlSocket->bytesAvailable() > 0)
            controlSocketReadyRead();
        if (controlSocket->state() != QAbstractSocket::ConnectedState)
            controlSocketDisconnected();
        startLocalEventLoop();
    }

    silenceTimer.reset();
    replyCompletionTimer.reset();
    if (httpSocket) {
        httpSocket->disconnect(this);
        httpSocket->abort();
        httpSocket.reset();
    }
    controlSocket->disconnect(this);
    controlSocket->abort();
    controlSocket.reset();
}

void UploadFileCommand::enter(Phase next, CommandResult result, const QString &reason)
{
    if (phase == Phase::Reported)
        return;
    qCDebug(lcNetwork) << "upload" << commandId << phase.load() << "->" << next;
    phase = next;
    switch (next) {
    case Phase::Queued:
    case Phase::Digesting:
    case Phase::Announcing:
    case Phase::Serving:
    case Phase::Sending:
        break;
    case Phase::AwaitingReady:
        // The server's silence counts from the request's end; a data connection that
        // ended without a request does not count as the server speaking.
        if (!silenceTimer->isActive())
            silenceTimer->start(limits.uploadSilenceMs);
        break;
    case Phase::AwaitingFinalReply:
        // The server usually answers on the control connection while a response is
        // sent: its silence counts from the response's end.
        silenceTimer->start(limits.uploadSilenceMs);
        break;
    case Phase::Reported:
        if (silenceTimer)
            silenceTimer->stop();
        if (replyCompletionTimer)
            replyCompletionTimer->stop();
        report(result, reason);
        Q_EMIT quitLocalEventLoop();
        break;
    }
}

void UploadFileCommand::controlSocketReadyRead()
{
    qCDebug(lcNetwork) << "UploadCommand: controlSocketReadyRead() threadid" << QThread::currentThreadId();
    if (phase == Phase::Reported)
        return;
    const QByteArray bytes = controlSocket->readAll();
    if (bytes.isEmpty())
        return;
    silenceTimer->start(limits.uploadSilenceMs);
    controlReply += bytes;
    handleControlReplies(false);
}

void UploadFileCommand::handleControlReplies(bool whole)
{
    while (phase != Phase::Reported && !controlReply.isEmpty()) {
        qsizetype length = ReplyFramer::judgeableLength(controlReply, ReplyFramer::Kind::ReplyWithValue);
        if (length == 0 && controlReply.size() > ReplyFramer::MaxReplyBytes) {
            qCDebug(lcNetwork) << "reply longer than" << ReplyFramer::MaxReplyBytes << "bytes";
            enter(Phase::Reported, ReceivedDataFormatError, FailureReason::unreadableReply());
            return;
        }
        if (length == 0 && !whole) {
            // The first line is here but its value is not ended: give the rest a
            // moment, then judge what came.
            if (controlReply.contains('\n') && !replyCompletionTimer->isActive())
                replyCompletionTimer->start(limits.replyCompletionMs);
            return;
        }
        if (length == 0)
            length = controlReply.size();
        replyCompletionTimer->stop();
        const QByteArray reply = controlReply.left(length);
        controlReply.remove(0, length);
        handleControlReply(reply);
    }
}

void UploadFileCommand::replyCompletionTimedOut()
{
    handleControlReplies(true);
}

void UploadFileCommand::handleControlReply(const QByteArray &reply)
{
    // The result is settled before the connection is closed: closing announces itself.
    if (Wire::isDone(reply)) {
        handleDone(reply);
        controlSocket->disconnectFromHost();
    } else if (!Wire::isReady(reply)) {
        enter(Phase::Reported, judgeErrorReply(reply));
        controlSocket->disconnectFromHost();
    } else if (phase == Phase::AwaitingReady || phase == Phase::AwaitingFinalReply) {
        openDataConnection(reply);
    }
    // A "ready" while a data connection is open is ignored: the server asks once more
    // when it still needs bytes.
}

void UploadFileCommand::handleDone(const QByteArray &reply)
{
    quint64 id = 0;
    QByteArray filesystemName;
    if (!Wire::parseUploadDone(reply, id, filesystemName)) {
        enter(Phase::Reported, ReceivedDataFormatError, FailureReason::unreadableReply());
        return;
    }
    reportChange(RemoteItemChange::FileUploaded, id, 0, QString::fromLatin1(filesystemName));
    enter(Phase::Reported, NoError);
}

void UploadFileCommand::openDataConnection(const QByteArray &reply)
{
    quint16 port = 0;
    if (!Wire::parseReadyPort(reply, port)) {
        enter(Phase::Reported, ReceivedDataFormatError, FailureReason::unreadableReply());
        return;
    }
    const QString host = Settings::getInstance()->getServerHost();
    lastHttpRequest.clear();
    httpSocket = std::make_unique<QTcpSocket>();
    httpSocket->connectToHost(host, port);
    if (!httpSocket->waitForConnected(limits.connectMs)) {
        qCDebug(lcNetwork) << "Cannot connect to" << host << port;
        enter(Phase::Reported, ConnectionError,
              FailureReason::connectFailed(httpSocket->error(), host, port));
        return;
    }
    qCDebug(lcNetwork) << "connected to" << host << port;
    enter(Phase::Serving);
    connect(httpSocket.get(), &QTcpSocket::readyRead, this, &UploadFileCommand::httpSocketReadyRead,
            Qt::DirectConnection);
    connect(httpSocket.get(), &QTcpSocket::disconnected, this,
            &UploadFileCommand::httpSocketDisconnected, Qt::DirectConnection);
    if (httpSocket->bytesAvailable() > 0)
        httpSocketReadyRead();
}

void UploadFileCommand::httpSocketReadyRead()
{
    qCDebug(lcNetwork) << "UploadCommand: httpSocketReadyRead() threadid" << QThread::currentThreadId();
    // While a response is sent, the sending loop reads what else arrives.
    if (phase != Phase::Serving)
        return;
    silenceTimer->start(limits.uploadSilenceMs);
    switch (lastHttpRequest.feed(httpSocket->readAll())) {
    case UploadHttpRequest::State::Incomplete:
        return;
    case UploadHttpRequest::State::NotARequest:
        endDataConnection();
        return;
    case UploadHttpRequest::State::Complete:
        break;
    }
    quint64 firstByte = 0;
    quint64 lastByte = 0;
    if (!lastHttpRequest.parseRequest(firstByte, lastByte)) {
        writeAll(UploadHttpRequest::notFoundResponse());
        endDataConnection();
        return;
    }
    enter(Phase::Sending);
    QString reason;
    if (const std::optional<CommandResult> failure = sendResponse(firstByte, lastByte, reason)) {
        enter(Phase::Reported, *failure, reason);
        return;
    }
    endDataConnection();
}

bool UploadFileCommand::writeAll(QByteArrayView bytes)
{
    httpSocket->write(bytes.constData(), bytes.size());
    QDeadlineTimer silence(limits.uploadSilenceMs);
    qint64 waiting = httpSocket->bytesToWrite();
    while (waiting > 0 && httpSocket->state() == QAbstractSocket::ConnectedState) {
        if (isInterruptionRequested())
            return false;
        httpSocket->waitForBytesWritten(StopCheckMs);
        const qint64 left = httpSocket->bytesToWrite();
        if (left < waiting)
            silence.setRemainingTime(limits.uploadSilenceMs);
        else if (silence.hasExpired())
            return false;
        waiting = left;
    }
    return httpSocket->state() == QAbstractSocket::ConnectedState;
}

std::optional<BaseCommand::CommandResult> UploadFileCommand::sendResponse(quint64 firstByte, quint64 lastByte,
                                                                          QString &reason)
{
    QFile fileToSend;
    if (!openRegularFile(fileToSend, item.localPathForUpload)) {
        qCDebug(lcNetwork) << "cannot read" << item.localPathForUpload << "as a regular file";
        reason = FailureReason::cannotRead(item.localPathForUpload);
        return InitialDataFormatError;
    }
    const UploadHttpRequest::Answer answer = UploadHttpRequest::answer(firstByte, lastByte, fileToSend.size());
    if (!fileToSend.seek(answer.firstByte)) {
        reason = FailureReason::cannotRead(fileToSend);
        return InitialDataFormatError;
    }
    const qint64 contentLength = answer.contentLength;
    ProgressThrottle throttle;
    qint64 sentTotal = 0;
    QByteArray portion(int(ResponseBlockSize), Qt::Uninitialized);
    bool headerSent = false;
    while (!headerSent || sentTotal < contentLength) {
        const qint64 readed = fileToSend.read(portion.data(), qMin(ResponseBlockSize, contentLength - sentTotal));
        if (readed < 0) {
            reason = FailureReason::cannotRead(fileToSend);
            return InitialDataFormatError;
        }
        // The header goes out with the first portion; later portions leave straight
        // from the one block buffer.
        const QByteArrayView bytes(portion.constData(), readed);
        const bool written = headerSent ? writeAll(bytes) : writeAll(QByteArray(answer.header).append(bytes));
        if (!written) {
            qCDebug(lcNetwork) << "data connection lost while sending";
            reason = FailureReason::droppedAfter(sentTotal);
            return ConnectionError;
        }
        headerSent = true;
        if (readed == 0)
            break; // the file ended before the announced length: the server sees a short body
        sentTotal += readed;
        if (throttle.shouldReport(sentTotal, contentLength))
            Q_EMIT processing(commandId, qulonglong(sentTotal), qulonglong(contentLength), getElapsedMs());
    }
    return std::nullopt;
}

void UploadFileCommand::endDataConnection()
{
    lastHttpRequest.clear();
    QTcpSocket *socket = httpSocket.release();
    socket->disconnect(this);
    socket->disconnectFromHost();
    // We may be inside one of its signals.
    socket->deleteLater();
    enter(phase == Phase::Sending ? Phase::AwaitingFinalReply : Phase::AwaitingReady);
}

void UploadFileCommand::httpSocketDisconnected()
{
    // The server gave up this connection before its request was complete; it may
    // ask again with a new "ready". While sending, the sending loop notices it.
    if (phase == Phase::Serving)
        endDataConnection();
}

void UploadFileCommand::controlSocketDisconnected()
{
    if (controlSocket->bytesAvailable() > 0)
        controlSocketReadyRead();
    handleControlReplies(true);
    if (phase != Phase::Reported) {
        qCDebug(lcNetwork) << "control connection closed before the final reply";
        enter(Phase::Reported, ConnectionError,
              tr("the server closed the connection before confirming the upload"));
    }
}

void UploadFileCommand::silenceTimedOut()
{
    qCDebug(lcNetwork) << "server silent for" << limits.uploadSilenceMs << "ms";
    enter(Phase::Reported, ConnectionError,
          tr("the server was silent for %1 s").arg(limits.uploadSilenceMs / 1000));
}
