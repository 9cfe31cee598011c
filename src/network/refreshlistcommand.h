#pragma once

// Fetches the complete list of the user's files and folders.
//
//   client -> server   <login>\n<password>\nrefresh\n
//   server -> client   filelist\n<list text ...>     (in as many pieces as it likes)
//                  or  error\n<code>
//
// The list has no terminator and no length: it ends when the server closes the
// connection or stays silent for one silence window (1 s). A server that keeps
// sending beyond the size or time limit is cut off: the command ends with
// ReceivedDataFormatError and keeps nothing of what it received.

#include "basecommand.h"

#include <QString>

class RefreshListCommand final : public BaseCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RefreshListCommand)

public:
    // Judges a complete reply: NoError with the list text (Latin-1, up to the first
    // zero byte) for "filelist\n"; otherwise the decoded error, `list` untouched.
    static CommandResult parseReply(const QByteArray &reply, QString &list);

    explicit RefreshListCommand(qulonglong commandId, QObject *parent = nullptr);

    QString getReceivedData() const;
    QString getCommandTypeString() const override;

public Q_SLOTS:
    void execute() override;

protected:
    QString getCommandName() const override;

private:
    // Written on the command's thread, read by the scheduler after `finished`.
    QString receivedData;
};
