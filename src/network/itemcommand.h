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
    // A name or password as one field; false when it holds a TAB or line break
    // (which would shift the server's fields) or a character outside Latin-1.
    static bool appendTextField(QByteArray &request, const QString &text);
    // The item's server id; false for an item the server does not know yet (id 0),
    // which no request may name.
    static bool appendItemId(QByteArray &request, const RemoteItemRef::Snapshot &item);
    // The server id of the folder the item hangs in; false while that folder is not
    // on the server (its creation failed or has not run).
    static bool appendParentId(QByteArray &request, const RemoteItemRef::Snapshot &item);
    // id TAB parent id TAB name: where the item now hangs and under what name.
    static bool appendPlaceFields(QByteArray &request, const RemoteItemRef::Snapshot &item);
};
