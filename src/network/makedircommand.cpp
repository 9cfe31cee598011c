#include "makedircommand.h"

MakeDirCommand::MakeDirCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::CreateDirectoryCommand, BaseCommand::Exclusive, parent)
{
    setSubject(item);
}

QString MakeDirCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::MakeDirWord);
}

QString MakeDirCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Create directory"), subjectName());
}

bool MakeDirCommand::appendRequestFields(QByteArray &request,
                                        const RemoteItemRef::Snapshot &item) const
{
    return Wire::appendNewFolderFields(request, item.parentOnServer, item.parentId,
                                       item.record.getName());
}

BaseCommand::CommandResult MakeDirCommand::applySuccess(const QByteArray &value)
{
    quint64 newId = 0;
    // Ids 0 and below name no folder: 0 would leave the item looking local-only
    // and send everything queued inside it to the user's root folder.
    if (!Wire::parseNewFolderId(value, newId))
        return ReceivedDataFormatError;
    reportChange(RemoteItemChange::FolderCreated, newId);
    return NoError;
}
