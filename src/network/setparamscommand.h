#pragma once

// Sends a file's description, searchable flag and password to the server.
//
//   client -> server   <login>\n<password>\nsetparams\n
//                      <id>\t<Base64 description>\t<searchable>\t<password>\t<password changed>
//   server -> client   done\n   or   error\n<code>
//
// the two flags are "1" or "0"; the file's password goes in
// clear, as the protocol has it. On success the GUI marks the item uploaded again.

#include "itemcommand.h"

class SetParamsCommand final : public ItemCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SetParamsCommand)

public:
    SetParamsCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent = nullptr);

    QString getCommandTypeString() const override;

protected:
    QString getCommandName() const override;
    bool appendRequestFields(QByteArray &request, const RemoteItemRef::Snapshot &item) const override;
    BaseCommand::CommandResult applySuccess(const QByteArray &value) override;
};
