#pragma once

#include "remotefileinfo.h"

#include <QMetaType>
#include <QString>

#include <memory>

class RemoteFilesTreeItem;
class RemoteTree;

// How a request or a command names a remote item: the item together with a share of
// the tree that owns it, so the item outlives any model change for as long as the
// command needs it. Copied freely across threads.
//
// Only the GUI thread may follow item(); any thread may take a snapshot().
class RemoteItemRef final
{
public:
    // What a command needs of its item, copied consistently under the tree's lock.
    struct Snapshot
    {
        RemoteFileInfo record{0, 0, false, QString(), 0, quint32(0), false};
        // The server id (or the one granted and not written in yet), and the same for
        // the folder the item hangs in.
        quint64 id = 0;
        quint64 parentId = 0;
        // Whether that folder exists on the server: the user's root folder, or a folder
        // with a server id. Requests naming any other would land in the root folder.
        bool parentOnServer = false;
        QString localPathForUpload;
    };

    RemoteItemRef() = default;
    RemoteItemRef(std::shared_ptr<RemoteTree> tree, RemoteFilesTreeItem *item);

    bool isNull() const { return !itemPointer; }
    RemoteFilesTreeItem *item() const { return itemPointer; }
    const std::shared_ptr<RemoteTree> &tree() const { return owner; }
    // The item's process-unique self id (it never changes), 0 for a null reference.
    quint64 selfId() const { return itemSelfId; }

    Snapshot snapshot() const;

    bool operator==(const RemoteItemRef &other) const { return itemPointer == other.itemPointer; }

private:
    std::shared_ptr<RemoteTree> owner;
    RemoteFilesTreeItem *itemPointer = nullptr;
    quint64 itemSelfId = 0;
};

Q_DECLARE_METATYPE(RemoteItemRef)
