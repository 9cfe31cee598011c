#include "setparamscommand.h"


SetParamsCommand::SetParamsCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::SetParamsCommand, BaseCommand::Exclusive, parent)
{
    setSubject(item);
}

QString SetParamsCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::SetParamsWord);
}

QString SetParamsCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Set parameters for"), subjectName());
}

bool SetParamsCommand::appendRequestFields(QByteArray &request,
                                          const RemoteItemRef::Snapshot &item) const
{
    return Wire::appendParamsFields(request, {item.id, item.record.getDescription(),
                                              item.record.isSearchable(), item.record.getPassword(),
                                              item.record.isPasswordModify()});
}

BaseCommand::CommandResult SetParamsCommand::applySuccess(const QByteArray &)
{
    reportChange(RemoteItemChange::ParamsSet);
    return NoError;
}
