#include "movedircommand.h"

MoveDirCommand::MoveDirCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::MoveDirectoryCommand, BaseCommand::Exclusive, parent)
{
    setSubject(item);
}

QString MoveDirCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::MoveDirWord);
}

QString MoveDirCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Move directory"), subjectName());
}

bool MoveDirCommand::appendRequestFields(QByteArray &request,
                                        const RemoteItemRef::Snapshot &item) const
{
    return Wire::appendPlaceFields(request, placeOf(item));
}

BaseCommand::CommandResult MoveDirCommand::applySuccess(const QByteArray &)
{
    reportChange(RemoteItemChange::Moved);
    return NoError;
}
