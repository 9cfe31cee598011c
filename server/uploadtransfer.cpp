#include "uploadtransfer.h"

#include "httphead.h"
#include "serveroptions.h"
#include "storage.h"

#include <QDateTime>
#include <QTcpSocket>

UploadTransfer::UploadTransfer(Storage &storage, const ServerOptions &options, const QByteArray &owner,
                               const Announcement &announcement, const QHostAddress &address, QObject *parent)
    : QObject(parent)
    , storage(storage)
    , options(options)
    , owner(owner)
    , announcement(announcement)
    , address(address)
    , file(storage.tempDir() + QStringLiteral("/upload-XXXXXX"))
    , pace(options.dataRate)
{
    paceTimer.setSingleShot(true);
    paceTimer.setInterval(DataPace::RetryMs);
    // A connection the client has closed is ended once its last bytes are read
    // (connectionEnded() reads them first).
    connect(&paceTimer, &QTimer::timeout, this, [this] {
        if (client && client->state() != QAbstractSocket::ConnectedState)
            connectionEnded();
        else
            readResponse();
    });
    idleTimer.setSingleShot(true);
    idleTimer.setInterval(options.dataTimeoutMs);
    connect(&idleTimer, &QTimer::timeout, this, &UploadTransfer::giveUpWaiting);
    connect(&listener, &QTcpServer::newConnection, this, &UploadTransfer::acceptClient);
}

QByteArray UploadTransfer::uploadDigest(const QByteArray &md5)
{
    QByteArray digest = md5;
    for (char &byte : digest) {
        if (byte == 0x0A)
            byte = 0x0E;
        else if (byte == 0x09)
            byte = 0x0A;
    }
    return digest;
}

void UploadTransfer::start()
{
    if (!file.open()) {
        fail(ProtocolError::StorageFailure);
        return;
    }
    store = std::make_unique<UploadStore>(file);
    if (announcement.size == 0)
        complete();
    else
        requestNextRange();
}

void UploadTransfer::requestNextRange()
{
    if (!listener.isListening() && !listener.listen(address, 0)) {
        fail(ProtocolError::StorageFailure);
        return;
    }
    const qint64 rangeSize = options.uploadRangeSize > 0 ? options.uploadRangeSize : announcement.size;
    rangeEnd = qMin(announcement.size, received + rangeSize);
    receivedBefore = received;
    idleTimer.start();
    Q_EMIT message("ready\n" + QByteArray::number(listener.serverPort()) + '\n');
}

void UploadTransfer::acceptClient()
{
    QTcpSocket *socket = listener.nextPendingConnection();
    if (client || over) {
        // One data connection at a time; a second dial is a stray.
        socket->abort();
        socket->deleteLater();
        return;
    }
    client = socket;
    client->setParent(this);
    // Paced, the socket holds back what is not read yet, and the client waits.
    if (pace.limited())
        client->setReadBufferSize(ReadBlockSize);
    listener.close();
    headBytes.clear();
    headRead = false;
    bodyLeft = -1;
    connect(client, &QTcpSocket::readyRead, this, &UploadTransfer::readResponse);
    connect(client, &QTcpSocket::disconnected, this, &UploadTransfer::connectionEnded);
    idleTimer.start();
    client->write("GET file HTTP/1.1\r\nHost: " + address.toString().toLatin1() + "\r\nContent-Range: "
                  + QByteArray::number(received) + '-' + QByteArray::number(rangeEnd - 1) + "\r\n\r\n");
}

void UploadTransfer::readResponse()
{
    if (!client || over)
        return;
    idleTimer.start();
    if (!headRead) {
        HttpHead head;
        bool tooLong = false;
        bool complete = false;
        // In pieces: what follows the head is body, read at the pace below.
        while (!complete && !tooLong && client->bytesAvailable() > 0) {
            headBytes += client->read(HeadPieceSize);
            complete = head.take(headBytes, &tooLong);
        }
        if (!complete) {
            if (tooLong)
                client->abort();
            return;
        }
        headRead = true;
        const QByteArray bodyStart = headBytes;
        headBytes.clear();
        if (!acceptHead(head))
            return;
        pace.moved(bodyStart.size());
        storeBody(bodyStart.constData(), bodyStart.size());
    }
    // The body goes through one buffer that lives as long as the transfer: a fresh
    // block per read costs more in page faults than the copying itself.
    if (readBuffer.isEmpty())
        readBuffer.resize(ReadBlockSize);
    while (client && !over && client->bytesAvailable() > 0) {
        const qint64 allowed = pace.allowance();
        if (allowed == 0) {
            paceTimer.start();
            return;
        }
        const qint64 count = client->read(readBuffer.data(), qMin<qint64>(readBuffer.size(), allowed));
        if (count <= 0)
            break;
        pace.moved(count);
        storeBody(readBuffer.constData(), count);
    }
}

bool UploadTransfer::acceptHead(const HttpHead &head)
{
    const QList<QByteArray> status = head.firstLine().split(' ');
    if (status.size() < 2 || !status[0].startsWith("HTTP/1.") || (status[1] != "200" && status[1] != "206")) {
        client->abort();
        return false;
    }
    const QByteArray length = head.header("Content-Length");
    bool ok = true;
    if (!length.isNull()) {
        bodyLeft = length.toLongLong(&ok);
        if (!ok || bodyLeft < 0) {
            client->abort();
            return false;
        }
    }
    // The response says where its bytes start; anything but the first missing
    // byte would put them at the wrong place.
    bodyPosition = 0;
    const QByteArray range = head.header("Content-Range");
    if (!range.isNull()) {
        QByteArray first = range.left(range.indexOf('-'));
        if (first.startsWith("bytes "))
            first = first.mid(6);
        bodyPosition = first.trimmed().toLongLong(&ok);
        if (!ok) {
            client->abort();
            return false;
        }
    }
    if (bodyPosition != received) {
        client->abort();
        return false;
    }
    return true;
}

void UploadTransfer::storeBody(const char *data, qint64 size)
{
    if (bodyLeft >= 0) {
        size = qMin(size, bodyLeft);
        bodyLeft -= size;
    }
    // Keep only what lies in the range asked for; a client may send more.
    const qint64 dataStart = bodyPosition;
    bodyPosition += size;
    if (dataStart > received || bodyPosition <= received)
        return;
    const qint64 keep = qMin(bodyPosition, rangeEnd) - received;
    if (keep <= 0)
        return;
    if (!store->append(data + (received - dataStart), keep)) {
        fail(ProtocolError::StorageFailure);
        return;
    }
    received += keep;
}

void UploadTransfer::connectionEnded()
{
    if (!client || over)
        return;
    readResponse();
    // Paced, what the client sent before it closed is still read at the pace; the
    // pace timer comes back here.
    if (!client || over || paceTimer.isActive())
        return;
    client->disconnect(this);
    client->deleteLater();
    client = nullptr;
    idleTimer.stop();
    fruitlessAttempts = received > receivedBefore ? 0 : fruitlessAttempts + 1;
    if (received == announcement.size)
        complete();
    else if (fruitlessAttempts >= options.uploadAttempts)
        fail(ProtocolError::UploadFailed);
    else
        requestNextRange();
}

void UploadTransfer::giveUpWaiting()
{
    if (client) {
        paceTimer.stop();
        client->abort();
        connectionEnded();
        return;
    }
    // Nobody dialled the port in time.
    fruitlessAttempts += 1;
    if (fruitlessAttempts >= options.uploadAttempts)
        fail(ProtocolError::UploadFailed);
    else
        requestNextRange();
}

void UploadTransfer::complete()
{
    listener.close();
    const QByteArray md5 = store->finish();
    store.reset();
    if (md5.isEmpty() || !file.flush()) {
        fail(ProtocolError::StorageFailure);
        return;
    }
    if (uploadDigest(md5).toHex() != announcement.digest.toLower()) {
        fail(ProtocolError::UploadFailed);
        return;
    }
    // The folder may have gone or the name been taken while the bytes travelled.
    if (!storage.isFolder(owner, announcement.parent)) {
        fail(ProtocolError::NoSuchItem);
        return;
    }
    if (storage.nameTaken(owner, announcement.parent, announcement.name)) {
        fail(ProtocolError::NameTaken);
        return;
    }
    Storage::Item item;
    item.name = announcement.name;
    item.parent = announcement.parent;
    item.size = announcement.size;
    item.date = QDateTime::currentSecsSinceEpoch();
    item.description = announcement.description;
    item.searchable = announcement.searchable;
    item.password = announcement.password;
    const qint64 id = storage.insertFile(owner, item, file);
    if (id == 0) {
        fail(ProtocolError::StorageFailure);
        return;
    }
    over = true;
    Q_EMIT finished("done\n" + QByteArray::number(id) + '\t' + item.fsName);
}

void UploadTransfer::fail(ProtocolError error)
{
    if (over)
        return;
    over = true;
    idleTimer.stop();
    listener.close();
    if (client)
        client->abort();
    store.reset();
    file.remove();
    Q_EMIT finished("error\n" + QByteArray::number(int(error)));
}
