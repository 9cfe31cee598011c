#pragma once

// Deletes a file on the server.
//
//   client -> server   <login>\n<password>\ndelfile\n<id>
//   server -> client   done\n   or   error\n<code>
//
// On success the item, marked deleted by the GUI, leaves the tree (a change the GUI
// applies);
// on failure it stays in the tree, marked, until the next list replaces it.

#include "itemcommand.h"

class DeleteFileCommand final : public ItemCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeleteFileCommand)

public:
    DeleteFileCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent = nullptr);

    QString getCommandTypeString() const override;

protected:
    QString getCommandName() const override;
    bool appendRequestFields(QByteArray &request, const RemoteItemRef::Snapshot &item) const override;
    BaseCommand::CommandResult applySuccess(const QByteArray &value) override;
};
