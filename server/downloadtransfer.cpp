#include "downloadtransfer.h"

#include "httphead.h"
#include "serveroptions.h"

#include <QTcpSocket>

namespace {
constexpr qint64 ChunkSize = 256 * 1024;
// Keep this much at most in the socket's buffer, so a file of any size streams.
constexpr qint64 SocketBufferLimit = 1024 * 1024;

bool parseOffset(const QByteArray &text, qint64 *value)
{
    bool ok = false;
    *value = text.toLongLong(&ok);
    return ok && *value >= 0 && !text.startsWith('+');
}
}

DownloadTransfer::DownloadTransfer(const QString &contentPath, const ServerOptions &options, QObject *parent)
    : QObject(parent)
    , options(options)
    , content(contentPath)
    , pace(options.dataRate)
{
    paceTimer.setSingleShot(true);
    paceTimer.setInterval(DataPace::RetryMs);
    connect(&paceTimer, &QTimer::timeout, this, &DownloadTransfer::sendMore);
    idleTimer.setSingleShot(true);
    idleTimer.setInterval(options.dataTimeoutMs);
    connect(&idleTimer, &QTimer::timeout, this, &DownloadTransfer::end);
    connect(&listener, &QTcpServer::newConnection, this, &DownloadTransfer::acceptClient);
}

quint16 DownloadTransfer::start(const QHostAddress &address)
{
    if (!content.open(QIODevice::ReadOnly) || !listener.listen(address, 0))
        return 0;
    idleTimer.start();
    return listener.serverPort();
}

void DownloadTransfer::acceptClient()
{
    if (client)
        return;
    client = listener.nextPendingConnection();
    listener.close();
    client->setParent(this);
    connect(client, &QTcpSocket::readyRead, this, &DownloadTransfer::readRequest);
    connect(client, &QTcpSocket::bytesWritten, this, &DownloadTransfer::sendMore);
    connect(client, &QTcpSocket::disconnected, this, &DownloadTransfer::end);
    idleTimer.start();
    readRequest();
}

void DownloadTransfer::readRequest()
{
    if (responded || ended)
        return;
    requestBytes += client->readAll();
    HttpHead head;
    bool tooLong = false;
    if (!head.take(requestBytes, &tooLong)) {
        if (tooLong)
            respond(400, "Bad Request", {}, 0, 0);
        return;
    }
    requestBytes.clear();
    idleTimer.start();

    const QList<QByteArray> words = head.firstLine().split(' ');
    if (words.size() != 3 || words[0] != "GET" || words[1] != "file" || !words[2].startsWith("HTTP/1.")) {
        respond(404, "Not Found", {}, 0, 0);
        return;
    }
    if (options.download404) {
        respond(404, "Not Found", {}, 0, 0);
        return;
    }

    // The client states its resume offset as "N-*" (or "N-M") in Content-Range.
    const qint64 size = content.size();
    qint64 first = 0;
    qint64 last = size - 1;
    const QByteArray range = head.header("Content-Range");
    if (!range.isNull()) {
        const int dash = int(range.indexOf('-'));
        const QByteArray end = dash < 0 ? QByteArray() : range.mid(dash + 1);
        if (dash < 0 || !parseOffset(range.left(dash), &first)) {
            respond(400, "Bad Request", {}, 0, 0);
            return;
        }
        if (end != "*" && !end.isEmpty()) {
            qint64 requestedLast = 0;
            if (!parseOffset(end, &requestedLast) || requestedLast < first) {
                respond(400, "Bad Request", {}, 0, 0);
                return;
            }
            last = qMin(last, requestedLast);
        }
    }
    if (options.ignoreRange)
        first = 0, last = size - 1;
    if (first == 0 && last == size - 1) {
        respond(200, "OK", {}, 0, size);
    } else if (first >= size) {
        respond(416, "Range Not Satisfiable", {"Content-Range: bytes */" + QByteArray::number(size)}, 0, 0);
    } else {
        respond(206, "Partial Content",
                {"Content-Range: bytes " + QByteArray::number(first) + '-' + QByteArray::number(last) + '/'
                 + QByteArray::number(size)},
                first, last + 1);
    }
}

void DownloadTransfer::respond(int status, const QByteArray &reason, const QList<QByteArray> &headers, qint64 from,
                               qint64 to)
{
    QByteArray body;
    if (status >= 400)
        body = QByteArray::number(status) + ' ' + reason + '\n';
    responded = true;
    bodyLeft = to - from;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    head += "Connection: close\r\n";
    head += status >= 400 ? "Content-Type: text/plain\r\n" : "Content-Type: application/octet-stream\r\n";
    head += "Content-Length: " + QByteArray::number(status >= 400 ? body.size() : bodyLeft) + "\r\n";
    for (const QByteArray &header : headers)
        head += header + "\r\n";
    head += "\r\n";
    client->write(head + body);
    if (bodyLeft > 0 && !content.seek(from)) {
        client->abort();
        return;
    }
    sendMore();
}

void DownloadTransfer::sendMore()
{
    if (ended || !client)
        return;
    idleTimer.start();
    while (bodyLeft > 0 && client->bytesToWrite() < SocketBufferLimit) {
        qint64 wanted = qMin(bodyLeft, ChunkSize);
        if (options.cutDownloadAfter >= 0)
            wanted = qMin(wanted, options.cutDownloadAfter - bodySent);
        if (wanted <= 0)
            break;
        const qint64 allowed = pace.allowance();
        if (allowed == 0) {
            paceTimer.start();
            break;
        }
        wanted = qMin(wanted, allowed);
        if (chunk.isEmpty())
            chunk.resize(ChunkSize);
        const qint64 count = content.read(chunk.data(), wanted);
        if (count <= 0) {
            // The content shrank under us: the promised length cannot be kept.
            client->abort();
            return;
        }
        client->write(chunk.constData(), count);
        pace.moved(count);
        bodyLeft -= count;
        bodySent += count;
    }
    if (bodyLeft > 0 && options.cutDownloadAfter >= 0 && bodySent >= options.cutDownloadAfter) {
        // Fault injection: the connection breaks mid-body.
        if (client->bytesToWrite() == 0)
            client->abort();
        return;
    }
    if (responded && bodyLeft == 0 && client->bytesToWrite() == 0
        && client->state() == QAbstractSocket::ConnectedState)
        client->disconnectFromHost();
}

void DownloadTransfer::end()
{
    if (ended)
        return;
    ended = true;
    idleTimer.stop();
    listener.close();
    if (client)
        client->abort();
    Q_EMIT finished();
}
