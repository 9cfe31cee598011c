#include "setparamscommand.h"

#include "wire/protocoltextcheck.h"

SetParamsCommand::SetParamsCommand(qulonglong commandId, const RemoteItemRef &item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::SetParamsCommand, BaseCommand::Exclusive, parent)
{
    setSubject(item);
}

QString SetParamsCommand::getCommandName() const
{
    return QStringLiteral("setparams");
}

QString SetParamsCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Set parameters for"), subjectName());
}

bool SetParamsCommand::appendRequestFields(QByteArray &request,
                                          const RemoteItemRef::Snapshot &item) const
{
    // The description travels Base64-encoded, so TABs and line breaks in it are
    // harmless; only characters that Latin-1 cannot carry are refused.
    const QString description = item.record.getDescription();
    if (!ProtocolTextCheck::problem(description, QString(), ProtocolTextCheck::EncodedField).isEmpty()
            || !appendItemId(request, item))
        return false;
    request += '\t' + toProtocolBytes(description).toBase64()
            + '\t' + (item.record.isSearchable() ? '1' : '0') + '\t';
    if (!appendTextField(request, item.record.getPassword()))
        return false;
    request += '\t';
    request += item.record.isPasswordModify() ? '1' : '0';
    return true;
}

BaseCommand::CommandResult SetParamsCommand::applySuccess(const QByteArray &)
{
    reportChange(RemoteItemChange::ParamsSet);
    return NoError;
}
