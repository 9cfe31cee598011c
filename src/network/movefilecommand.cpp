#include "movefilecommand.h"

MoveFileCommand::MoveFileCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::MoveFileCommand, BaseCommand::Exclusive, parent)
{
    setSubject(item);
}

QString MoveFileCommand::getCommandName() const
{
    return QStringLiteral("movefile");
}

QString MoveFileCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Move file"), subjectName());
}

bool MoveFileCommand::appendRequestFields(QByteArray &request,
                                         const RemoteItemRef::Snapshot &item) const
{
    return appendPlaceFields(request, item);
}

BaseCommand::CommandResult MoveFileCommand::applySuccess(const QByteArray &)
{
    reportChange(RemoteItemChange::Moved);
    return NoError;
}
