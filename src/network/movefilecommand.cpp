#include "movefilecommand.h"

MoveFileCommand::MoveFileCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::MoveFileCommand, BaseCommand::Exclusive, parent)
{
    setSubject(item);
}

QString MoveFileCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::MoveFileWord);
}

QString MoveFileCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Move file"), subjectName());
}

bool MoveFileCommand::appendRequestFields(QByteArray &request,
                                         const RemoteItemRef::Snapshot &item) const
{
    return Wire::appendPlaceFields(request, placeOf(item));
}

BaseCommand::CommandResult MoveFileCommand::applySuccess(const QByteArray &)
{
    reportChange(RemoteItemChange::Moved);
    return NoError;
}
