#include "deletefilecommand.h"

#include "remotetree/remotefilestreeitem.h"

DeleteFileCommand::DeleteFileCommand(qulonglong commandId, RemoteFilesTreeItem *item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::DeleteFileCommand, BaseCommand::DestroyingExclusive, parent),
      fileItem(item)
{
    setSubject(item);
}

QString DeleteFileCommand::getCommandName() const
{
    return QStringLiteral("delfile");
}

QString DeleteFileCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Delete file"), fileItem->getItemInnerName());
}

bool DeleteFileCommand::appendRequestFields(QByteArray &request) const
{
    return appendItemId(request, fileItem);
}

BaseCommand::CommandResult DeleteFileCommand::applySuccess(const QByteArray &)
{
    unlinkFromParent(fileItem);
    return NoError;
}
