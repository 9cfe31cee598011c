#pragma once

// One upload after its announcement was accepted. The server fetches the file from
// the client, range by range, each over a fresh data connection that the client dials:
//
//   control  server -> ready\n<port>
//   data     server -> GET file HTTP/1.1\r\n Host: h\r\n Content-Range: FIRST-LAST\r\n \r\n
//            client -> HTTP/1.1 200 OK\r\n ... Content-Range: FIRST-LAST/SIZE\r\n
//                      Content-Length: N\r\n \r\n <bytes>, then closes
//   ... "ready" again from the first missing byte until SIZE bytes are here ...
//   control  server -> done\n<id>\t<file-system name>   or   error\n<code>
//
// The bytes go to a temporary file and become an item only when all are here and
// their digest matches the announced one; otherwise the temporary file is removed.
// Writing and digesting run beside the event thread (UploadStore).

#include "datapace.h"
#include "protocolerror.h"
#include "uploadstore.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTimer>

#include <memory>

class HttpHead;
struct ServerOptions;
class Storage;
class QTcpSocket;

class UploadTransfer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadTransfer)

public:
    struct Announcement
    {
        QByteArray digest; // 32 hexadecimal digits
        QByteArray name;
        QByteArray description;
        bool searchable = false;
        QByteArray password;
        qint64 size = 0;
        qint64 parent = 0;
    };

    UploadTransfer(Storage &storage, const ServerOptions &options, const QByteArray &owner,
                   const Announcement &announcement, const QHostAddress &address, QObject *parent);

    void start();

    // The upload digest: the MD5 of the content with the byte 0x0A turned into 0x0E
    // and then 0x09 into 0x0A.
    static QByteArray uploadDigest(const QByteArray &md5);

Q_SIGNALS:
    void message(const QByteArray &reply);
    // The final reply; nothing follows it.
    void finished(const QByteArray &reply);

private:
    void requestNextRange();
    void acceptClient();
    void readResponse();
    // Checks the response's status and range; aborts the connection if unusable.
    bool acceptHead(const HttpHead &head);
    // Body bytes as they arrive: what lies in the range asked for goes to the file
    // and into the digest.
    void storeBody(const char *data, qint64 size);
    void connectionEnded();
    void giveUpWaiting();
    void complete();
    void fail(ProtocolError error);

    Storage &storage;
    const ServerOptions &options;
    QByteArray owner;
    Announcement announcement;
    QHostAddress address;

    QTemporaryFile file;
    QTcpServer listener;
    QTcpSocket *client = nullptr;
    QTimer idleTimer;
    DataPace pace;
    // Reads again once the pace allows more.
    QTimer paceTimer;
    // Declared after `file`: it writes into it until it is gone.
    std::unique_ptr<UploadStore> store;

    static constexpr qint64 ReadBlockSize = 1024 * 1024;
    static constexpr qint64 HeadPieceSize = 4096;
    QByteArray readBuffer;
    QByteArray headBytes;
    bool headRead = false;
    qint64 rangeEnd = 0;       // one past the last byte asked for on this connection
    qint64 bodyLeft = -1;      // -1: the response named no length, read until it closes
    qint64 bodyPosition = 0;   // file offset of the next body byte
    qint64 received = 0;       // bytes of the file in the temporary file, from 0 on
    qint64 receivedBefore = 0; // `received` when this connection began
    int fruitlessAttempts = 0;
    bool over = false;
};
