#include "rawservicepeer.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

namespace {
constexpr int WaitMs = 5000;

// Reads until the peer closes or the deadline passes.
QByteArray readToEnd(QTcpSocket &socket, int timeoutMs)
{
    QByteArray bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        bytes += socket.readAll();
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
        socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    bytes += socket.readAll();
    return bytes;
}

QByteArray readHttpHead(QTcpSocket &socket, QByteArray *rest)
{
    QByteArray bytes;
    QDeadlineTimer deadline(WaitMs);
    while (!bytes.contains("\r\n\r\n") && !deadline.hasExpired()) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        bytes += socket.readAll();
    }
    const int end = int(bytes.indexOf("\r\n\r\n"));
    if (end < 0)
        return QByteArray();
    *rest = bytes.mid(end + 4);
    return bytes.left(end + 4);
}
}

RawServicePeer::RawServicePeer(quint16 port, const QByteArray &login, const QByteArray &password)
    : port(port)
    , login(login)
    , password(password)
{
}

QByteArray RawServicePeer::uploadDigestHex(const QByteArray &content)
{
    return uploadDigestHexFromMd5(QCryptographicHash::hash(content, QCryptographicHash::Md5));
}

QByteArray RawServicePeer::uploadDigestHexFromMd5(const QByteArray &md5)
{
    QByteArray digest = md5;
    for (char &byte : digest) {
        if (byte == 0x0A)
            byte = 0x0E;
        else if (byte == 0x09)
            byte = 0x0A;
    }
    return digest.toHex();
}

QByteArray RawServicePeer::prefix(const QByteArray &word) const
{
    return login + '\n' + password + '\n' + word + '\n';
}

QByteArray RawServicePeer::exchange(const QByteArray &word, const QByteArray &fields, int timeoutMs) const
{
    return exchangeRaw({prefix(word) + fields}, 0, timeoutMs);
}

QByteArray RawServicePeer::exchangeRaw(const QList<QByteArray> &pieces, int pauseMs, int timeoutMs) const
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(WaitMs))
        return QByteArray("<no connection>");
    for (int i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            QThread::msleep(pauseMs);
        socket.write(pieces[i]);
        socket.waitForBytesWritten(WaitMs);
    }
    return readToEnd(socket, timeoutMs);
}

QList<QList<QByteArray>> RawServicePeer::list() const
{
    const QByteArray reply = exchange("refresh", QByteArray());
    QList<QList<QByteArray>> lines;
    if (!reply.startsWith("filelist\n"))
        return lines;
    for (const QByteArray &line : reply.mid(9).split('\n')) {
        if (!line.isEmpty())
            lines.append(line.split('\t'));
    }
    return lines;
}

qint64 RawServicePeer::idOf(const QByteArray &name, qint64 parent) const
{
    for (const auto &fields : list()) {
        if (fields.size() >= 4 && fields[2] == name && (parent < 0 || fields[3].toLongLong() == parent))
            return fields[0].toLongLong();
    }
    return -1;
}

qint64 RawServicePeer::makeDir(qint64 parent, const QByteArray &name) const
{
    const QByteArray reply = exchange("makedir", QByteArray::number(parent) + '\t' + name);
    return reply.startsWith("done\n") ? reply.mid(5).toLongLong() : -1;
}

RawServicePeer::Upload RawServicePeer::upload(qint64 parent, const QByteArray &name, const QByteArray &content,
                                              const QByteArray &digestHex, qint64 abandonAfter) const
{
    Upload result;
    QTcpSocket control;
    control.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!control.waitForConnected(WaitMs))
        return result;
    const QByteArray digest = digestHex.isNull() ? uploadDigestHex(content) : digestHex;
    control.write(prefix("uploadfile") + digest + '\t' + name + "\tunknown\t\t0\t\t"
                  + QByteArray::number(content.size()) + '\t' + QByteArray::number(parent) + '\t');
    qint64 served = 0;
    while (control.waitForReadyRead(WaitMs)) {
        const QByteArray reply = control.readAll();
        if (!reply.startsWith("ready\n")) {
            result.finalReply = reply;
            if (reply.startsWith("done\n"))
                result.id = reply.mid(5).split('\t').value(0).toLongLong();
            return result;
        }
        QTcpSocket data;
        data.connectToHost(QStringLiteral("127.0.0.1"), quint16(reply.mid(6).trimmed().toUInt()));
        if (!data.waitForConnected(WaitMs))
            return result;
        QByteArray rest;
        const QByteArray head = readHttpHead(data, &rest);
        const QByteArray range = httpHeader(head, "Content-Range");
        result.requestedRanges.append(range);
        const qint64 first = range.left(range.indexOf('-')).toLongLong();
        qint64 last = range.mid(range.indexOf('-') + 1).toLongLong();
        if (first == 0 || last == 0 || last >= content.size())
            last = content.size() - 1;
        const QByteArray body = content.mid(first, last - first + 1);
        QByteArray response = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n"
                              "Content-Length: " + QByteArray::number(body.size()) + "\r\nContent-Range: "
                              + QByteArray::number(first) + '-' + QByteArray::number(last) + '/'
                              + QByteArray::number(content.size()) + "\r\n\r\n";
        if (abandonAfter >= 0 && served + body.size() > abandonAfter) {
            data.write(response + body.left(abandonAfter - served));
            data.waitForBytesWritten(WaitMs);
            data.abort();
            control.abort();
            return result;
        }
        data.write(response + body);
        served += body.size();
        while (data.bytesToWrite() > 0 && data.waitForBytesWritten(WaitMs)) {
        }
        data.disconnectFromHost();
        if (data.state() != QAbstractSocket::UnconnectedState)
            data.waitForDisconnected(WaitMs);
    }
    result.finalReply = "<silence>";
    return result;
}

RawServicePeer::Download RawServicePeer::download(qint64 id, const QByteArray &rangeHeader,
                                                  const QByteArray &target) const
{
    Download result;
    QTcpSocket control;
    control.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!control.waitForConnected(WaitMs))
        return result;
    control.write(prefix("downloadfile") + QByteArray::number(id));
    if (!control.waitForReadyRead(WaitMs))
        return result;
    result.controlReply = control.readAll();
    if (!result.controlReply.startsWith("ready\n"))
        return result;
    QTcpSocket data;
    data.connectToHost(QStringLiteral("127.0.0.1"), quint16(result.controlReply.mid(6).trimmed().toUInt()));
    if (!data.waitForConnected(WaitMs))
        return result;
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!rangeHeader.isEmpty())
        request += rangeHeader + "\r\n";
    data.write(request + "Content-Length: 0\r\n\r\n");
    const QByteArray response = readToEnd(data, WaitMs);
    const int end = int(response.indexOf("\r\n\r\n"));
    if (end < 0)
        return result;
    result.head = response.left(end + 2);
    result.body = response.mid(end + 4);
    result.status = response.split(' ').value(1).toInt();
    return result;
}

QByteArray RawServicePeer::httpHeader(const QByteArray &head, const QByteArray &name)
{
    for (const QByteArray &line : head.split('\n')) {
        const int colon = int(line.indexOf(':'));
        if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}
