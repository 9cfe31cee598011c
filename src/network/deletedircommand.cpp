#include "deletedircommand.h"

#include "remotetree/remotefilestreeitem.h"

DeleteDirCommand::DeleteDirCommand(qulonglong commandId, RemoteFilesTreeItem *item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::DeleteDirectoryCommand, BaseCommand::DestroyingExclusive, parent),
      dirItem(item)
{
    setSubject(item);
}

QString DeleteDirCommand::getCommandName() const
{
    return QStringLiteral("deldir");
}

QString DeleteDirCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Delete directory"), dirItem->getItemInnerName());
}

bool DeleteDirCommand::appendRequestFields(QByteArray &request) const
{
    return appendItemId(request, dirItem);
}

BaseCommand::CommandResult DeleteDirCommand::applySuccess(const QByteArray &)
{
    unlinkFromParent(dirItem);
    return NoError;
}
