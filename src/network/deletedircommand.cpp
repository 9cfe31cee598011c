#include "deletedircommand.h"

DeleteDirCommand::DeleteDirCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::DeleteDirectoryCommand, BaseCommand::DestroyingExclusive, parent)
{
    setSubject(item);
}

QString DeleteDirCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::DeleteDirWord);
}

QString DeleteDirCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Delete directory"), subjectName());
}

bool DeleteDirCommand::appendRequestFields(QByteArray &request,
                                          const RemoteItemRef::Snapshot &item) const
{
    return Wire::appendItemId(request, item.id);
}

BaseCommand::CommandResult DeleteDirCommand::applySuccess(const QByteArray &)
{
    reportChange(RemoteItemChange::Deleted);
    return NoError;
}
