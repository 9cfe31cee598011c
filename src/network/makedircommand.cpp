#include "makedircommand.h"

#include "remotetree/remotefilestreeitem.h"

MakeDirCommand::MakeDirCommand(qulonglong commandId, RemoteFilesTreeItem *item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::CreateDirectoryCommand, BaseCommand::Exclusive, parent),
      dirItem(item)
{
    setSubject(item);
}

QString MakeDirCommand::getCommandName() const
{
    return QStringLiteral("makedir");
}

QString MakeDirCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Create directory"), dirItem->getItemInnerName());
}

bool MakeDirCommand::appendRequestFields(QByteArray &request) const
{
    if (!appendParentId(request, dirItem))
        return false;
    request += '\t';
    return appendTextField(request, dirItem->getItemInnerName());
}

BaseCommand::CommandResult MakeDirCommand::applySuccess(const QByteArray &value)
{
    bool ok = false;
    const int newId = value.trimmed().toInt(&ok, 10);
    // Ids 0 and below name no folder: 0 would leave the item looking local-only
    // and send everything queued inside it to the user's root folder.
    if (!ok || newId <= 0)
        return ReceivedDataFormatError;
    dirItem->setItemInnerId(qulonglong(newId));
    dirItem->setUploaded(true);
    return NoError;
}
