#pragma once

// The service fetches an address into the user's storage; no file bytes pass through
// the client, which keeps the control connection open while the server works.
//
//   client -> <login>\n<password>\nuploadurl\n<folder id>\t<name>\t<address>
//   server -> progress\n<bytes so far>\t<total>[\t]     any number, at most ten
//                                                      minutes apart; a count that
//                                                      does not grow for as long
//                                                      counts as silence
//   server -> done\n<id>\t<size>\t<filesystemName>      a change for the GUI: the item
//                                                      gets its id, size, download
//                                                      address, "uploaded"
//          or error\n<code>

#include "basecommand.h"

#include <QByteArray>

class QTcpSocket;

class UploadUrlCommand final : public BaseCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadUrlCommand)

public:
    UploadUrlCommand(qulonglong commandId, const RemoteItemRef &fileItem,
                     QObject *parent = nullptr);

    QString getCommandTypeString() const override;

public Q_SLOTS:
    void execute() override;

protected:
    QString getCommandName() const override;

private:
    // Reads messages until the final one; the result to report.
    CommandResult readMessages(QTcpSocket *socket);
    CommandResult applyDone(const QByteArray &message);
};
