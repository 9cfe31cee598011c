#pragma once

// Creates a folder on the server under the folder the item hangs in.
//
//   client -> server   <login>\n<password>\nmakedir\n<parent id>\t<name>
//   server -> client   done\n<new folder id>   or   error\n<code>
//
// On success the item takes over the new id and is marked uploaded, so folders
// and files queued inside it carry that id when their own requests are built.

#include "itemcommand.h"

class RemoteFilesTreeItem;

class MakeDirCommand final : public ItemCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MakeDirCommand)

public:
    MakeDirCommand(qulonglong commandId, RemoteFilesTreeItem *item, QObject *parent = nullptr);

    RemoteFilesTreeItem *getDirItem() const { return dirItem; }
    QString getCommandTypeString() const override;

protected:
    QString getCommandName() const override;
    bool appendRequestFields(QByteArray &request) const override;
    bool isValueExpected() const override { return true; }
    BaseCommand::CommandResult applySuccess(const QByteArray &value) override;

private:
    RemoteFilesTreeItem *dirItem;
};
