#pragma once

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QString>

class QFileDevice;
class QTcpSocket;

// Why a command failed, in the words the user reads in the failure box and the
// message log: what went wrong, with the host and port, the path or the server's code.
class FailureReason final
{
    Q_DECLARE_TR_FUNCTIONS(FailureReason)

public:
    // The control connection could not be made.
    static QString connectFailed(QAbstractSocket::SocketError error, const QString &host, int port);
    // The request could not be written / no answer came in time or the server hung up.
    static QString requestNotSent(const QTcpSocket *socket);
    static QString noReply(const QTcpSocket *socket);
    // The server answered "error" with this code (1 login, 2 password, 3 command).
    static QString serverCode(int code);
    // The server's answer is neither the expected one nor a readable error.
    static QString unreadableReply();
    // A data connection that broke after `bytes` bytes; `detail` says how, if known.
    static QString droppedAfter(qint64 bytes, const QString &detail = QString());
    // A local file that could not be read or written: `file`'s path and its error.
    static QString cannotRead(const QFileDevice &file);
    static QString cannotRead(const QString &path, const QString &systemText = QString());
    static QString cannotWrite(const QFileDevice &file);
    static QString cannotWrite(const QString &path, const QString &systemText);
    // A download that failed: writing `path` (when `fileError`), or on the way after
    // `received` bytes; `detail` is the transfer's own account.
    static QString fetchFailed(bool fileError, const QString &path, qint64 received,
                               const QString &detail);

private:
    static QString peer(const QTcpSocket *socket);
};
