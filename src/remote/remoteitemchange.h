#pragma once

#include "remoteitemref.h"

#include <QMetaType>
#include <QString>

// What a command that succeeded did to its item on the server, handed back to the
// GUI thread, which brings the tree in line (RemoteFilesTreeModel::applyChange): the
// only way a command's result reaches the tree.
struct RemoteItemChange
{
    enum Kind {
        None,
        // A folder was created: id is its new server id.
        FolderCreated,
        // The item's new name and folder are on the server.
        Moved,
        // The item is gone from the server: it leaves the tree.
        Deleted,
        // Description, searchable flag and password are on the server.
        ParamsSet,
        // A file was uploaded: id and the download segment.
        FileUploaded,
        // The service fetched an address into a file: id, size and download segment.
        UrlUploaded
    };

    Kind kind = None;
    RemoteItemRef target;
    quint64 id = 0;
    quint64 size = 0;
    // Where the server keeps the file for public download (see Wire::downloadAddress).
    QString downloadSegment;
};

Q_DECLARE_METATYPE(RemoteItemChange)
