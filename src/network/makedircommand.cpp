#include "makedircommand.h"

MakeDirCommand::MakeDirCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::CreateDirectoryCommand, BaseCommand::Exclusive, parent)
{
    setSubject(item);
}

QString MakeDirCommand::getCommandName() const
{
    return QStringLiteral("makedir");
}

QString MakeDirCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Create directory"), subjectName());
}

bool MakeDirCommand::appendRequestFields(QByteArray &request,
                                        const RemoteItemRef::Snapshot &item) const
{
    if (!appendParentId(request, item))
        return false;
    request += '\t';
    return appendTextField(request, item.record.getName());
}

BaseCommand::CommandResult MakeDirCommand::applySuccess(const QByteArray &value)
{
    bool ok = false;
    const int newId = value.trimmed().toInt(&ok, 10);
    // Ids 0 and below name no folder: 0 would leave the item looking local-only
    // and send everything queued inside it to the user's root folder.
    if (!ok || newId <= 0)
        return ReceivedDataFormatError;
    reportChange(RemoteItemChange::FolderCreated, qulonglong(newId));
    return NoError;
}
