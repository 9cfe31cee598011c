#include "deletedircommand.h"

DeleteDirCommand::DeleteDirCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::DeleteDirectoryCommand, BaseCommand::DestroyingExclusive, parent)
{
    setSubject(item);
}

QString DeleteDirCommand::getCommandName() const
{
    return QStringLiteral("deldir");
}

QString DeleteDirCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Delete directory"), subjectName());
}

bool DeleteDirCommand::appendRequestFields(QByteArray &request,
                                          const RemoteItemRef::Snapshot &item) const
{
    return appendItemId(request, item);
}

BaseCommand::CommandResult DeleteDirCommand::applySuccess(const QByteArray &)
{
    reportChange(RemoteItemChange::Deleted);
    return NoError;
}
