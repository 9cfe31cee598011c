#pragma once

// Copies one remote file into a local file, behind the bytes the file already holds,
// so a partly downloaded file is resumed.
//
//   control  client -> server   <login>\n<password>\ndownloadfile\n<file id>
//            server -> client   ready\n<port>                 (or error\n<code>)
//   data     client -> server   GET file HTTP/1.1\r\n
//            (to <port>)        Host: <server host>\r\n
//                               Content-Range: <bytes already here>-*\r\n
//                               Content-Length: 0\r\n
//                               \r\n
//            server -> client   HTTP/1.1 206 ...\r\nContent-Range: <offset>-...\r\n\r\n<rest of the file>
//
// The control connection stays open while the file is fetched. A status that is not a
// success writes nothing into the file and ends with ConnectionError; so does a partial
// answer that does not start at the offset. A full answer (200) to a resumed request
// starts the copy over from byte 0 instead of being appended to the part we have.

#include "network/basecommand.h"
#include "network/progressthrottle.h"

#include <QString>

class DownloadFileCommand final : public BaseCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadFileCommand)

public:
    DownloadFileCommand(qulonglong commandId, const RemoteItemRef &fileItem, const QString &downloadPath,
                        QObject *parent = nullptr);

    QString getCommandTypeString() const override;
    QString getDownloadPath() const { return downloadPath; }

public Q_SLOTS:
    void execute() override;

protected:
    QString getCommandName() const override;

private:
    // The GET's completion and its progress reports pass through these two.
    void httpReceiverRequestFinished(bool error);
    void httpReadProgress(qint64 curr, qint64 total);

    QString downloadPath;
    ProgressThrottle progressThrottle;
};
