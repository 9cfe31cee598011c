#include "deletefilecommand.h"

DeleteFileCommand::DeleteFileCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::DeleteFileCommand, BaseCommand::DestroyingExclusive, parent)
{
    setSubject(item);
}

QString DeleteFileCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::DeleteFileWord);
}

QString DeleteFileCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Delete file"), subjectName());
}

bool DeleteFileCommand::appendRequestFields(QByteArray &request,
                                           const RemoteItemRef::Snapshot &item) const
{
    return Wire::appendItemId(request, item.id);
}

BaseCommand::CommandResult DeleteFileCommand::applySuccess(const QByteArray &)
{
    reportChange(RemoteItemChange::Deleted);
    return NoError;
}
