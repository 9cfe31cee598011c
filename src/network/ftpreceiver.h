#pragma once

#include "network/networklimits.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <functional>

class QFile;

// One FTP retrieval, run blocking with libcurl on the calling thread:
//
//   USER / PASS          the given account, or anonymous
//   CWD <folder>         one step, the absolute folder as given
//   TYPE I, SIZE, RETR <file name>   over a passive data connection
//
// The file is written into `target` from its beginning. The target is cut to the
// retrieved bytes only when the retrieval delivers its first byte (or completes
// empty), so a refusal before it (login, folder, missing file) leaves the user's file
// as it was, and a longer existing file never keeps the tail of an older copy.
// Any refusal of the server, lost connection or stall is a failed fetch.
class FtpReceiver final
{
    Q_DECLARE_TR_FUNCTIONS(FtpReceiver)

public:

    enum class Outcome {
        Complete,
        ConnectionFailed, // no connection, refused login, folder or file, lost or stalled
        FileError         // the local file could not be written
    };

    // Bytes retrieved so far, and the size the server announced (0 if none).
    using Progress = std::function<void(qint64 received, qint64 total)>;

    FtpReceiver() = default;
    FtpReceiver(const FtpReceiver &) = delete;
    FtpReceiver &operator=(const FtpReceiver &) = delete;

    // Seconds without a single byte after which the transfer counts as lost, and the
    // longest wait for the connection (NetworkLimits by default).
    void setStallTimeoutSeconds(long seconds) { stallTimeoutSeconds = seconds; }
    void setConnectTimeoutMs(long ms) { connectTimeoutMs = ms; }
    void setProgressHandler(Progress handler) { progress = std::move(handler); }

    // `folder` is absolute ("/" for the root) and `fileName` not empty; both are the
    // bytes the server receives. An empty `user` logs in anonymously. `target` must be
    // open for writing.
    Outcome fetch(const QString &host, quint16 port, const QByteArray &user,
                  const QByteArray &password, const QByteArray &folder,
                  const QByteArray &fileName, QFile &target);

    // A readable reason for a failed fetch, for diagnostics (never holds the password).
    QString errorString() const { return error; }
    // The bytes written into the target by the last fetch.
    qint64 receivedBytes() const { return received; }

    // The libcurl address that makes it change to `folder` in one step and retrieve
    // `fileName` there: the folder's leading "/" is sent as "%2F", everything else
    // percent-encoded, because libcurl decodes the path once.
    static QByteArray curlUrl(const QString &host, quint16 port, const QByteArray &folder,
                              const QByteArray &fileName);

private:
    friend struct FtpReceiverCallbacks;
    bool startRetrieval();

    QFile *file = nullptr;
    bool retrievalStarted = false;
    bool fileFailed = false;
    qint64 received = 0;
    long stallTimeoutSeconds = NetworkLimits().transferStallSeconds;
    long connectTimeoutMs = NetworkLimits().connectMs;
    Progress progress;
    QString error;
};
