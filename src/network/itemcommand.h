#pragma once

// The one exchange shared by the commands that change one remote item (create,
// delete, move or rename a folder or file, set a file's parameters):
//
//   client -> server   <login>\n<password>\n<word>\n<field>\t<field>...   (no terminator)
//   server -> client   done\n[<value>]        or   error\n<decimal code>
//
// The request is built when the command runs, not when it is queued, from a snapshot
// of the item taken then, so a folder created earlier in the same batch already
// carries its server id.

#include "basecommand.h"

#include "remote/remoteitemref.h"
#include "wire/wire.h"

#include <QByteArray>
#include <QString>

class ItemCommand : public BaseCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ItemCommand)

public:
    // Judges a complete reply: on "done\n" reports what changed (only the line after
    // the word counts as its value), otherwise decodes the error.
    BaseCommand::CommandResult judgeReply(const QByteArray &reply);

public Q_SLOTS:
    void execute() override;

protected:
    ItemCommand(qulonglong commandId, BaseCommand::CommandType type,
                BaseCommand::CommandExclusivity exclusivity, QObject *parent);

    // Appends the fields that follow the request prefix, from the item as it is now;
    // false when its data cannot travel safely, and then nothing is sent.
    virtual bool appendRequestFields(QByteArray &request,
                                     const RemoteItemRef::Snapshot &item) const = 0;
    // Whether the success reply carries a value after "done\n".
    virtual bool isValueExpected() const { return false; }
    // Reports what changed after "done\n" (reportChange()); `value` is the rest of
    // that line.
    virtual BaseCommand::CommandResult applySuccess(const QByteArray &value) = 0;

    // Why a request whose fields could not be appended was not sent.
    static QString itemNotSendableReason();
    // Where the item now hangs and under what name (the fields are built by Wire).
    static Wire::ItemPlace placeOf(const RemoteItemRef::Snapshot &item)
    {
        return {item.id, item.parentOnServer, item.parentId, item.record.getName()};
    }
};
