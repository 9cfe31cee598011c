#include "setparamscommand.h"

#include "remotetree/protocoltextcheck.h"
#include "remotetree/remotefilestreeitem.h"

SetParamsCommand::SetParamsCommand(qulonglong commandId, RemoteFilesTreeItem *item, QObject *parent)
    : ItemCommand(commandId, BaseCommand::SetParamsCommand, BaseCommand::Exclusive, parent),
      fileItem(item)
{
    setSubject(item);
}

QString SetParamsCommand::getCommandName() const
{
    return QStringLiteral("setparams");
}

QString SetParamsCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Set parameters for"), fileItem->getItemInnerName());
}

bool SetParamsCommand::appendRequestFields(QByteArray &request) const
{
    // The description travels Base64-encoded, so TABs and line breaks in it are
    // harmless; only characters that Latin-1 cannot carry are refused.
    const QString description = fileItem->getItemDescription();
    if (!ProtocolTextCheck::problem(description, QString(), ProtocolTextCheck::EncodedField).isEmpty()
            || !appendItemId(request, fileItem))
        return false;
    request += '\t' + toProtocolBytes(description).toBase64()
            + '\t' + (fileItem->isItemSearchable() ? '1' : '0') + '\t';
    if (!appendTextField(request, fileItem->getItemPassword()))
        return false;
    request += '\t';
    request += fileItem->isItemPasswordModify() ? '1' : '0';
    return true;
}

BaseCommand::CommandResult SetParamsCommand::applySuccess(const QByteArray &)
{
    fileItem->setUploaded(true);
    return NoError;
}
