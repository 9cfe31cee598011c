#include "movefilecommand.h"

#include "remotetree/remotefilestreeitem.h"

MoveFileCommand::MoveFileCommand(qulonglong commandId, RemoteFilesTreeItem *item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::MoveFileCommand, BaseCommand::Exclusive, parent),
      fileItem(item)
{
    setSubject(item);
}

QString MoveFileCommand::getCommandName() const
{
    return QStringLiteral("movefile");
}

QString MoveFileCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Move file"), fileItem->getItemInnerName());
}

bool MoveFileCommand::appendRequestFields(QByteArray &request) const
{
    return appendPlaceFields(request, fileItem);
}

BaseCommand::CommandResult MoveFileCommand::applySuccess(const QByteArray &)
{
    fileItem->setUploaded(true);
    return NoError;
}
