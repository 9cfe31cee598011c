#pragma once

#include "serveroptions.h"
#include "storage.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QTcpServer>

// The server: the storage, the control listener and one session per connection.
// Everything runs on one thread, driven by socket notifications, so no client
// waits for another.
class DevServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DevServer)

public:
    explicit DevServer(const ServerOptions &options, QObject *parent = nullptr);

    bool start(QString *error);
    QHostAddress address() const { return listener.serverAddress(); }
    quint16 port() const { return listener.serverPort(); }

private:
    void acceptConnections();

    ServerOptions options;
    Storage storage;
    QTcpServer listener;
    QNetworkAccessManager network;
};
