#pragma once

// A download from an address the user typed into a local file; the service's server
// takes no part.
//
//   http://[user[:password]@]host[:port, 80]/path[?query]
//     client -> GET /path?query HTTP/1.1          (path and query encoded as typed)
//               Host: host
//               Content-Range: <bytes already in the file>-*
//               Content-Length: 0
//               Authorization: Basic ...          (only with a user name)
//     server -> 206 from exactly that offset: appended behind the bytes present
//               200: the whole file, which replaces the partial copy
//               anything else: ConnectionError, the file stays as it was
//
//   ftp://[user[:password]@]host[:port, 21]/folder/name
//     client -> USER, PASS (anonymous without a user name), CWD /folder,
//               TYPE I, SIZE name, RETR name      (rewritten from its first byte)
//     a refusal of any of them: ConnectionError, the file stays as it was
//
// Other schemes, an address without a host or file name, and a target path that would
// leave its folder end the command with InitialDataFormatError before anything is sent.

#include "basecommand.h"
#include "progressthrottle.h"

#include <QString>

class QFile;
class QUrl;

class DownloadUrlCommand final : public BaseCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadUrlCommand)

public:

    DownloadUrlCommand(qulonglong commandId, const QString &remotePath,
                       const QString &downloadPath, QObject *parent = nullptr);

    QString getCommandTypeString() const override;
    QString getDownloadPath() const { return downloadPath; }
    QString getRemotePath() const { return remotePath; }

public Q_SLOTS:
    void execute() override;

protected:
    QString getCommandName() const override;

private:
    CommandResult downloadHttp(const QUrl &url, QFile &target);
    CommandResult downloadFtp(const QUrl &url, QFile &target);
    // The transfer's progress and its end go through these two.
    void receiverReadProgress(qint64 curr, qint64 total);
    void receiverRequestFinished(CommandResult result);

    const QString downloadPath;
    const QString remotePath;
    ProgressThrottle progressThrottle;
};
