#include "failurereason.h"

#include <QFileDevice>
#include <QTcpSocket>

QString FailureReason::connectFailed(QAbstractSocket::SocketError error, const QString &host, int port)
{
    const QString address = QStringLiteral("%1:%2").arg(host).arg(port);
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return tr("the connection to %1 was refused: is the server running?").arg(address);
    case QAbstractSocket::HostNotFoundError:
        return tr("the host %1 was not found").arg(host);
    case QAbstractSocket::SocketTimeoutError:
        return tr("the connection to %1 timed out").arg(address);
    case QAbstractSocket::NetworkError:
        return tr("the network to %1 is unreachable").arg(address);
    default:
        return tr("could not connect to %1").arg(address);
    }
}

QString FailureReason::peer(const QTcpSocket *socket)
{
    return QStringLiteral("%1:%2").arg(socket->peerName()).arg(socket->peerPort());
}

QString FailureReason::requestNotSent(const QTcpSocket *socket)
{
    return tr("the request could not be sent to %1").arg(peer(socket));
}

QString FailureReason::noReply(const QTcpSocket *socket)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return tr("the server at %1 closed the connection without answering").arg(peer(socket));
    return tr("the server at %1 did not answer in time").arg(peer(socket));
}

QString FailureReason::serverCode(int code)
{
    switch (code) {
    case 1:
        return tr("the server did not accept the login (code 1)");
    case 2:
        return tr("the server did not accept the password (code 2)");
    case 3:
        return tr("the server does not know this request: a newer client is needed (code 3)");
    default:
        return tr("the server refused the request (code %1)").arg(code);
    }
}

QString FailureReason::unreadableReply()
{
    return tr("the server's answer could not be understood");
}

QString FailureReason::droppedAfter(qint64 bytes, const QString &detail)
{
    const QString dropped = tr("the connection dropped after %1 bytes").arg(bytes);
    return detail.isEmpty() ? dropped : dropped + QStringLiteral(" (") + detail + QLatin1Char(')');
}

QString FailureReason::cannotRead(const QFileDevice &file)
{
    return cannotRead(file.fileName(), file.errorString());
}

QString FailureReason::cannotRead(const QString &path, const QString &systemText)
{
    if (systemText.isEmpty())
        return tr("cannot read %1").arg(path);
    return tr("cannot read %1: %2").arg(path, systemText);
}

QString FailureReason::cannotWrite(const QFileDevice &file)
{
    return cannotWrite(file.fileName(), file.errorString());
}

QString FailureReason::fetchFailed(bool fileError, const QString &path, qint64 received,
                                   const QString &detail)
{
    if (fileError)
        return cannotWrite(path, detail);
    if (received > 0)
        return droppedAfter(received, detail);
    return detail;
}

QString FailureReason::cannotWrite(const QString &path, const QString &systemText)
{
    return tr("cannot write %1: %2").arg(path, systemText);
}
