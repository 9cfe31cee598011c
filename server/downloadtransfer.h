#pragma once

// One download's data connection. The control connection has answered
// "ready\n<port>"; the client dials that port and asks:
//
//   client -> GET file HTTP/1.1\r\n Host: h\r\n Content-Range: N-*\r\n ... \r\n
//   server <- HTTP/1.1 200 OK (N = 0) or 206 Partial Content with
//             Content-Range: bytes N-LAST/SIZE, Content-Length, then the bytes
//
// The listener takes one connection and closes; it gives up after the data timeout.

#include "datapace.h"

#include <QFile>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

struct ServerOptions;
class QTcpSocket;

class DownloadTransfer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadTransfer)

public:
    DownloadTransfer(const QString &contentPath, const ServerOptions &options, QObject *parent);

    // Opens the content and the listener; returns the port, or 0 on failure.
    quint16 start(const QHostAddress &address);

Q_SIGNALS:
    // The transfer is over, served or not; the control connection may close.
    void finished();

private:
    void acceptClient();
    void readRequest();
    void respond(int status, const QByteArray &reason, const QList<QByteArray> &headers, qint64 from, qint64 to);
    void sendMore();
    void end();

    const ServerOptions &options;
    QFile content;
    // One block reused for every read of the content (a fresh one per read costs page faults).
    QByteArray chunk;
    QTcpServer listener;
    QTcpSocket *client = nullptr;
    QTimer idleTimer;
    DataPace pace;
    // Sends again once the pace allows more.
    QTimer paceTimer;
    QByteArray requestBytes;
    qint64 bodyLeft = 0;
    qint64 bodySent = 0;
    bool responded = false;
    bool ended = false;
};
