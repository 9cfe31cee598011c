#pragma once

// Creates a folder on the server under the folder the item hangs in.
//
//   client -> server   <login>\n<password>\nmakedir\n<parent id>\t<name>
//   server -> client   done\n<new folder id>   or   error\n<code>
//
// On success the new id is noted in the tree at once (so folders and files queued
// inside carry it when their own requests are built) and handed back as a change that
// the GUI writes into the item, marking it uploaded.

#include "itemcommand.h"

class MakeDirCommand final : public ItemCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MakeDirCommand)

public:
    MakeDirCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent = nullptr);

    QString getCommandTypeString() const override;

protected:
    QString getCommandName() const override;
    bool appendRequestFields(QByteArray &request, const RemoteItemRef::Snapshot &item) const override;
    bool isValueExpected() const override { return true; }
    BaseCommand::CommandResult applySuccess(const QByteArray &value) override;
};
