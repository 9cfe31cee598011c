#pragma once

// One control connection, one request. Every request is
//
//   client -> <login>\n<password>\n<command word>\n<fields, TAB-separated, no terminator>
//   server -> filelist\n<list> | done\n[values] | ready\n<port> | progress\n... | error\n<code>
//
// The request has no end mark: it is complete when its fields are all present and
// either their form ends it (refresh, uploadfile, setparams) or the client has been
// silent for a short moment. Simple commands get one reply and the connection closes.

#include "protocolerror.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

struct ServerOptions;
class Storage;
class QNetworkAccessManager;
class QTcpSocket;

class ControlSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlSession)

public:
    ControlSession(QTcpSocket *socket, Storage &storage, const ServerOptions &options,
                   QNetworkAccessManager *network, QObject *parent);

    struct Command;

private:
    void readRequest();
    void evaluate(bool silent);
    void handle(const QList<QByteArray> &fields);

    void refresh();
    void makeDir(const QList<QByteArray> &fields);
    void deleteItem(const QList<QByteArray> &fields, bool isDir);
    void moveItem(const QList<QByteArray> &fields, bool isDir);
    void setParams(const QList<QByteArray> &fields);
    void uploadFile(const QList<QByteArray> &fields);
    void downloadFile(const QList<QByteArray> &fields);
    void uploadUrl(const QList<QByteArray> &fields);

    // Looks up a file or folder of this account; replies with an error if there is none.
    bool findItem(const QByteArray &idField, bool isDir, qint64 *id);
    // Checks a destination folder and name; replies with an error if they will not do.
    bool checkPlace(const QByteArray &parentField, const QByteArray &name, qint64 exceptId, qint64 *parent);
    void sendList(const QByteArray &list);

    void sendMessage(const QByteArray &message);
    void sendFinal(const QByteArray &message);
    void sendError(ProtocolError error);
    void flushOutbox();

    QTcpSocket *socket;
    Storage &storage;
    const ServerOptions &options;
    QNetworkAccessManager *network;

    QByteArray buffer;
    QByteArray login;
    const Command *command = nullptr;
    int headerLength = 0;
    bool handled = false;
    QTimer quietTimer;
    QTimer requestTimer;

    QList<QByteArray> outbox;
    bool closeWhenSent = false;
    QElapsedTimer sinceLastMessage;
    QTimer gapTimer;
};
