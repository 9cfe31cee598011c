#pragma once

// Moves or renames a folder on the server: the request names the folder the
// item now hangs under in the client's tree and its current name.
//
//   client -> server   <login>\n<password>\nmovedir\n<id>\t<parent id>\t<name>
//   server -> client   done\n   or   error\n<code>
//
// On success the GUI marks the item uploaded again.

#include "itemcommand.h"

class MoveDirCommand final : public ItemCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MoveDirCommand)

public:
    MoveDirCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent = nullptr);

    QString getCommandTypeString() const override;

protected:
    QString getCommandName() const override;
    bool appendRequestFields(QByteArray &request, const RemoteItemRef::Snapshot &item) const override;
    BaseCommand::CommandResult applySuccess(const QByteArray &value) override;
};
