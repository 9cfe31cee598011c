#pragma once

// Puts one local file into the user's storage. The bytes do not travel on the control
// connection: the server asks for them over data connections that the client dials,
// and the client answers each as an HTTP server would.
//
//   control  client -> server   <login>\n<password>\nuploadfile\n
//                               <digest>\t<name>\t<image format>\t<base64 description>\t
//                               <searchable 1|0>\t<password>\t<size>\t<target folder id>\t
//            server -> client   ready\n<port>
//   data     client dials <port>
//            server -> client   GET file HTTP/1.1\r\nContent-Range: <first>-<last>\r\n\r\n
//            client -> server   HTTP/1.1 200 OK\r\n ... \r\n<the bytes asked for>, then closes
//            ... the server may send "ready" again for more ranges, each on a new connection ...
//   control  server -> client   done\n<new id>\t<file-system name>   (or error\n<code>)
//
// A control connection that closes before the final reply, or a server that stays
// silent for getSilenceTimeoutMs(), ends the command with ConnectionError.

#include "network/basecommand.h"
#include "network/uploadhttprequest.h"

#include <QByteArrayView>
#include <QString>

#include <atomic>

class QFile;
class QTcpSocket;
class QTimer;

class UploadFileCommand final : public BaseCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadFileCommand)

public:
    // Bytes of the file handed to the data connection at a time.
    static constexpr qint64 ResponseBlockSize = 102400;
    static constexpr int DefaultSilenceTimeoutMs = 600000;

    UploadFileCommand(qulonglong commandId, const RemoteItemRef &fileItem, QObject *parent = nullptr);
    ~UploadFileCommand() override;

    QString getCommandTypeString() const override;

    // The 16 digest bytes of a file; empty if it cannot be read. Reports progress.
    QByteArray getFileHash(const QString &filePath);

    // How long the server may stay silent, on the control connection and while it
    // takes a response, before the upload counts as lost.
    static int getSilenceTimeoutMs();
    static void setSilenceTimeoutMs(int ms);

public Q_SLOTS:
    void execute() override;

protected:
    QString getCommandName() const override;

private Q_SLOTS:
    void controlSocketReadyRead();
    void controlSocketDisconnected();
    void httpSocketReadyRead();
    void httpSocketDisconnected();
    void silenceTimedOut();
    void replyCompletionTimedOut();

private:
    bool buildRequest(QByteArray &request);
    // Judges every complete reply collected so far; with `whole`, also what is left
    // (the peer closed, or the rest of a reply did not come in time).
    void handleControlReplies(bool whole);
    void handleControlReply(const QByteArray &reply);
    void handleDone(const QByteArray &reply);
    void openDataConnection(const QByteArray &reply);
    // Answers one complete request; false if the data connection was lost meanwhile.
    bool sendResponse(quint64 firstByte, quint64 lastByte);
    bool writeAll(QByteArrayView bytes);
    void endDataConnection();
    // Reports the result once and ends the local event loop.
    void report(CommandResult result, const QString &reason = QString());

    std::atomic<bool> isInHashing{false};
    // The file as it was when the command started: what the request and the data
    // connection use, whatever the user changes meanwhile.
    RemoteItemRef::Snapshot item;
    QTcpSocket *httpSocket = nullptr;
    QTcpSocket *controlSocket = nullptr;
    UploadHttpRequest lastHttpRequest;
    QTimer *silenceTimer = nullptr;
    QTimer *replyCompletionTimer = nullptr;
    // Control bytes not yet judged: a reply may arrive in pieces.
    QByteArray controlReply;
    bool resultReported = false;
    bool isSending = false;
};
