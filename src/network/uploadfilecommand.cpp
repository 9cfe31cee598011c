#include "network/uploadfilecommand.h"

#include "failurereason.h"
#include "logging.h"
#include "network/uploaddigest.h"
#include "settings.h"
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

std::atomic<int> silenceTimeoutMs{UploadFileCommand::DefaultSilenceTimeoutMs};

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

int UploadFileCommand::getSilenceTimeoutMs()
{
    return silenceTimeoutMs;
}

void UploadFileCommand::setSilenceTimeoutMs(int ms)
{
    silenceTimeoutMs = ms;
}

QString UploadFileCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::UploadFileWord);
}

QString UploadFileCommand::getCommandTypeString() const
{
    // Read from the scheduler's thread while the digest is computed here.
    const QString label = isInHashing ? tr("Preparing file") : tr("Upload file");
    return typeStringFor(label, subjectName());
}

QByteArray UploadFileCommand::getFileHash(const QString &filePath)
{
    QFile file;
    if (!openRegularFile(file, filePath))
        return {};
    return UploadDigest::compute(file, [this](qint64 done, qint64 total) {
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
        Q_EMIT finished(commandId, NoError);
        return;
    }

    QByteArray request;
    isInHashing = true;
    const bool requestBuilt = buildRequest(request);
    isInHashing = false;
    if (!requestBuilt) {
        finishWith(InitialDataFormatError);
        return;
    }

    controlSocket = getControlSocket();
    if (!controlSocket)
        return;
    controlSocket->write(request);
    if (!waitForBytesWritten(controlSocket, getTimeouts().writeMs) && controlSocket->bytesToWrite() > 0) {
        finishWith(ConnectionError, FailureReason::requestNotSent(controlSocket));
    } else {
        // Progress times of the transfer count from here, without the digest.
        restartInternalTimer();
        silenceTimer = new QTimer;
        silenceTimer->setSingleShot(true);
        replyCompletionTimer = new QTimer;
        replyCompletionTimer->setSingleShot(true);
        connect(replyCompletionTimer, &QTimer::timeout, this, &UploadFileCommand::replyCompletionTimedOut,
                Qt::DirectConnection);
        // Direct connections: the sockets and the timer live on this command's thread,
        // whichever thread the command object itself was given to.
        connect(silenceTimer, &QTimer::timeout, this, &UploadFileCommand::silenceTimedOut, Qt::DirectConnection);
        connect(controlSocket, &QTcpSocket::readyRead, this, &UploadFileCommand::controlSocketReadyRead,
                Qt::DirectConnection);
        connect(controlSocket, &QTcpSocket::disconnected, this, &UploadFileCommand::controlSocketDisconnected,
                Qt::DirectConnection);
        silenceTimer->start(silenceTimeoutMs);
        // What happened while the request was written is not announced again.
        if (controlSocket->bytesAvailable() > 0)
            controlSocketReadyRead();
        if (controlSocket->state() != QAbstractSocket::ConnectedState)
            controlSocketDisconnected();
        startLocalEventLoop();
    }

    delete silenceTimer;
    silenceTimer = nullptr;
    delete replyCompletionTimer;
    replyCompletionTimer = nullptr;
    if (httpSocket) {
        httpSocket->disconnect(this);
        httpSocket->abort();
        delete httpSocket;
        httpSocket = nullptr;
    }
    controlSocket->disconnect(this);
    controlSocket->abort();
    delete controlSocket;
    controlSocket = nullptr;
}

void UploadFileCommand::report(CommandResult result, const QString &reason)
{
    if (resultReported)
        return;
    resultReported = true;
    if (silenceTimer)
        silenceTimer->stop();
    if (replyCompletionTimer)
        replyCompletionTimer->stop();
    finishWith(result, reason);
    Q_EMIT quitLocalEventLoop();
}

void UploadFileCommand::controlSocketReadyRead()
{
    qCDebug(lcNetwork) << "UploadCommand: controlSocketReadyRead() threadid" << QThread::currentThreadId();
    if (resultReported)
        return;
    const QByteArray bytes = controlSocket->readAll();
    if (bytes.isEmpty())
        return;
    silenceTimer->start(silenceTimeoutMs);
    controlReply += bytes;
    handleControlReplies(false);
}

void UploadFileCommand::handleControlReplies(bool whole)
{
    while (!resultReported && !controlReply.isEmpty()) {
        qsizetype length = ReplyFramer::judgeableLength(controlReply, ReplyFramer::Kind::ReplyWithValue);
        if (length == 0 && controlReply.size() > ReplyFramer::MaxReplyBytes) {
            qCDebug(lcNetwork) << "reply longer than" << ReplyFramer::MaxReplyBytes << "bytes";
            report(ReceivedDataFormatError, FailureReason::unreadableReply());
            return;
        }
        if (length == 0 && !whole) {
            // The first line is here but its value is not ended: give the rest a
            // moment, then judge what came.
            if (controlReply.contains('\n') && !replyCompletionTimer->isActive())
                replyCompletionTimer->start(getReplyCompletionMs());
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
        report(judgeErrorReply(reply));
        controlSocket->disconnectFromHost();
    } else if (!httpSocket) {
        openDataConnection(reply);
    }
}

void UploadFileCommand::handleDone(const QByteArray &reply)
{
    quint64 id = 0;
    QByteArray filesystemName;
    if (!Wire::parseUploadDone(reply, id, filesystemName)) {
        report(ReceivedDataFormatError, FailureReason::unreadableReply());
        return;
    }
    reportChange(RemoteItemChange::FileUploaded, id, 0, QString::fromLatin1(filesystemName));
    report(NoError);
}

void UploadFileCommand::openDataConnection(const QByteArray &reply)
{
    quint16 port = 0;
    if (!Wire::parseReadyPort(reply, port)) {
        report(ReceivedDataFormatError, FailureReason::unreadableReply());
        return;
    }
    const QString host = Settings::getInstance()->getServerHost();
    lastHttpRequest.clear();
    httpSocket = new QTcpSocket;
    httpSocket->connectToHost(host, port);
    if (!httpSocket->waitForConnected(getTimeouts().connectMs)) {
        qCDebug(lcNetwork) << "Cannot connect to" << host << port;
        report(ConnectionError, FailureReason::connectFailed(httpSocket->error(), host, port));
        return;
    }
    qCDebug(lcNetwork) << "connected to" << host << port;
    connect(httpSocket, &QTcpSocket::readyRead, this, &UploadFileCommand::httpSocketReadyRead,
            Qt::DirectConnection);
    connect(httpSocket, &QTcpSocket::disconnected, this, &UploadFileCommand::httpSocketDisconnected,
            Qt::DirectConnection);
    if (httpSocket->bytesAvailable() > 0)
        httpSocketReadyRead();
}

void UploadFileCommand::httpSocketReadyRead()
{
    qCDebug(lcNetwork) << "UploadCommand: httpSocketReadyRead() threadid" << QThread::currentThreadId();
    // While a response is sent, the sending loop reads what else arrives.
    if (!httpSocket || resultReported || isSending)
        return;
    silenceTimer->start(silenceTimeoutMs);
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
    } else {
        isSending = true;
        const bool sent = sendResponse(firstByte, lastByte);
        isSending = false;
        if (!sent)
            return;
    }
    endDataConnection();
    // The server usually answers on the control connection while we were sending.
    silenceTimer->start(silenceTimeoutMs);
}

bool UploadFileCommand::writeAll(QByteArrayView bytes)
{
    httpSocket->write(bytes.constData(), bytes.size());
    QDeadlineTimer silence(silenceTimeoutMs);
    qint64 waiting = httpSocket->bytesToWrite();
    while (waiting > 0 && httpSocket->state() == QAbstractSocket::ConnectedState) {
        if (isInterruptionRequested())
            return false;
        httpSocket->waitForBytesWritten(StopCheckMs);
        const qint64 left = httpSocket->bytesToWrite();
        if (left < waiting)
            silence.setRemainingTime(silenceTimeoutMs);
        else if (silence.hasExpired())
            return false;
        waiting = left;
    }
    return httpSocket->state() == QAbstractSocket::ConnectedState;
}

bool UploadFileCommand::sendResponse(quint64 firstByte, quint64 lastByte)
{
    QFile fileToSend;
    if (!openRegularFile(fileToSend, item.localPathForUpload)) {
        qCDebug(lcNetwork) << "cannot read" << item.localPathForUpload << "as a regular file";
        report(InitialDataFormatError, FailureReason::cannotRead(item.localPathForUpload));
        return false;
    }
    const UploadHttpRequest::Answer answer = UploadHttpRequest::answer(firstByte, lastByte, fileToSend.size());
    if (!fileToSend.seek(answer.firstByte)) {
        report(InitialDataFormatError, FailureReason::cannotRead(fileToSend));
        return false;
    }
    const qint64 contentLength = answer.contentLength;
    const qint64 onePercent = contentLength / 100;
    qint64 sentTotal = 0;
    qint64 previousSent = 0;
    QByteArray portion(int(ResponseBlockSize), Qt::Uninitialized);
    bool headerSent = false;
    while (!headerSent || sentTotal < contentLength) {
        const qint64 readed = fileToSend.read(portion.data(), qMin(ResponseBlockSize, contentLength - sentTotal));
        if (readed < 0) {
            report(InitialDataFormatError, FailureReason::cannotRead(fileToSend));
            return false;
        }
        // The header goes out with the first portion; later portions leave straight
        // from the one block buffer.
        const QByteArrayView bytes(portion.constData(), readed);
        const bool written = headerSent ? writeAll(bytes) : writeAll(QByteArray(answer.header).append(bytes));
        if (!written) {
            qCDebug(lcNetwork) << "data connection lost while sending";
            report(ConnectionError, FailureReason::droppedAfter(sentTotal));
            return false;
        }
        headerSent = true;
        if (readed == 0)
            break; // the file ended before the announced length: the server sees a short body
        sentTotal += readed;
        // About a hundred reports per response, and always its last.
        if (sentTotal - previousSent > onePercent || sentTotal == contentLength) {
            Q_EMIT processing(commandId, qulonglong(sentTotal), qulonglong(contentLength), getElapsedMs());
            previousSent = sentTotal;
        }
    }
    return true;
}

void UploadFileCommand::endDataConnection()
{
    lastHttpRequest.clear();
    QTcpSocket *socket = httpSocket;
    httpSocket = nullptr;
    socket->disconnect(this);
    socket->disconnectFromHost();
    // We may be inside one of its signals.
    socket->deleteLater();
}

void UploadFileCommand::httpSocketDisconnected()
{
    // The server gave up this connection before its request was complete; it may
    // ask again with a new "ready". While sending, the sending loop notices it.
    if (httpSocket && !isSending)
        endDataConnection();
}

void UploadFileCommand::controlSocketDisconnected()
{
    if (controlSocket->bytesAvailable() > 0)
        controlSocketReadyRead();
    handleControlReplies(true);
    if (!resultReported) {
        qCDebug(lcNetwork) << "control connection closed before the final reply";
        report(ConnectionError, tr("the server closed the connection before confirming the upload"));
    }
}

void UploadFileCommand::silenceTimedOut()
{
    qCDebug(lcNetwork) << "server silent for" << silenceTimeoutMs << "ms";
    report(ConnectionError, tr("the server was silent for %1 s").arg(silenceTimeoutMs / 1000));
}
