#include "movedircommand.h"

#include "remotetree/remotefilestreeitem.h"

MoveDirCommand::MoveDirCommand(qulonglong commandId, RemoteFilesTreeItem *item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::MoveDirectoryCommand, BaseCommand::Exclusive, parent),
      dirItem(item)
{
    setSubject(item);
}

QString MoveDirCommand::getCommandName() const
{
    return QStringLiteral("movedir");
}

QString MoveDirCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Move directory"), dirItem->getItemInnerName());
}

bool MoveDirCommand::appendRequestFields(QByteArray &request) const
{
    return appendPlaceFields(request, dirItem);
}

BaseCommand::CommandResult MoveDirCommand::applySuccess(const QByteArray &)
{
    dirItem->setUploaded(true);
    return NoError;
}
