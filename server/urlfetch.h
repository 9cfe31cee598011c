#pragma once

// A URL upload: the server fetches an http address into the account.
//
//   client -> login\n password\n uploadurl\n <folder id>\t<name>\t<address>
//   server -> progress\n<bytes so far>\t<total or 0>\t     (repeated while fetching)
//   server -> done\n<id>\t<size>\t<file-system name>     or   error\n<code>
//
// The bytes go to a temporary file that becomes an item only when the fetch succeeded.

#include "protocolerror.h"

#include <QObject>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

struct ServerOptions;
class Storage;
class QNetworkAccessManager;
class QNetworkReply;

class UrlFetch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UrlFetch)

public:
    UrlFetch(Storage &storage, const ServerOptions &options, QNetworkAccessManager *network,
             const QByteArray &owner, qint64 folder, const QByteArray &name, const QUrl &url, QObject *parent);
    ~UrlFetch() override;

    void start();

Q_SIGNALS:
    void message(const QByteArray &reply);
    void finished(const QByteArray &reply);

private:
    void writeReceived();
    void sendProgress();
    void fetchFinished();
    void fail(ProtocolError error);

    Storage &storage;
    const ServerOptions &options;
    QNetworkAccessManager *network;
    QByteArray owner;
    qint64 folder;
    QByteArray name;
    QUrl url;

    QTemporaryFile file;
    QNetworkReply *reply = nullptr;
    QTimer progressTimer;
    qint64 fetched = 0;
    qint64 total = 0;
    qint64 reported = 0;
    bool over = false;
};
