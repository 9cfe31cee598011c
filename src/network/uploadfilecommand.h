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
// silent for NetworkLimits::uploadSilenceMs, ends the command with ConnectionError.
//
// Phases: Digesting -> Announcing -> AwaitingReady -> Serving -> Sending ->
// AwaitingFinalReply (-> Serving again on another "ready") -> Reported; any phase may
// end in Reported.

#include "network/basecommand.h"
#include "network/progressthrottle.h"
#include "network/uploadhttprequest.h"

#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

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

    // Where the upload stands. Every change goes through enter().
    enum class Phase {
        Queued,             // not started yet
        Digesting,          // reading the file for its digest, building the request
        Announcing,         // writing the request on the control connection
        AwaitingReady,      // waiting for "ready" (or a final reply); nothing served yet
        Serving,            // a data connection is open; its request is being read
        Sending,            // the response to that request is being written
        AwaitingFinalReply, // a response was served; waiting for "done" (or another "ready")
        Reported            // the result is out; nothing follows
    };
    Q_ENUM(Phase)

    UploadFileCommand(qulonglong commandId, const RemoteItemRef &fileItem, QObject *parent = nullptr);
    ~UploadFileCommand() override;

    QString getCommandTypeString() const override;

    // The 16 digest bytes of a file; empty if it cannot be read. Reports progress.
    QByteArray getFileHash(const QString &filePath);

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
    // The one transition of the upload's phase. Entering Reported reports `result` (with
    // `reason` for a failure) and ends the local event loop; after it, nothing changes.
    void enter(Phase next, CommandResult result = NoError, const QString &reason = QString());

    bool buildRequest(QByteArray &request);
    // Judges every complete reply collected so far; with `whole`, also what is left
    // (the peer closed, or the rest of a reply did not come in time).
    void handleControlReplies(bool whole);
    void handleControlReply(const QByteArray &reply);
    void handleDone(const QByteArray &reply);
    void openDataConnection(const QByteArray &reply);
    // Answers one complete request: nothing once it is served, otherwise the failure to
    // report, with its reason in `reason`.
    std::optional<CommandResult> sendResponse(quint64 firstByte, quint64 lastByte, QString &reason);
    bool writeAll(QByteArrayView bytes);
    void endDataConnection();

    std::atomic<Phase> phase{Phase::Queued};
    // The file as it was when the command started: what the request and the data
    // connection use, whatever the user changes meanwhile.
    RemoteItemRef::Snapshot item;
    std::unique_ptr<QTcpSocket> controlSocket;
    std::unique_ptr<QTcpSocket> httpSocket;
    std::unique_ptr<QTimer> silenceTimer;
    std::unique_ptr<QTimer> replyCompletionTimer;
    UploadHttpRequest lastHttpRequest;
    // Control bytes not yet judged: a reply may arrive in pieces.
    QByteArray controlReply;
};
