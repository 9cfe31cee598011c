#pragma once

#include "remotefilestreeitem.h"
#include "selfidindex.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <memory>
#include <mutex>

// The items of one file list: the hidden top item, the user's root folder below it,
// everything the list and the user added, and the items taken out since (deleted on
// the server, or never sent), which queued commands may still name.
//
// Owned jointly (std::shared_ptr) by the model that shows it and by every command and
// queued request that refers to one of its items (RemoteItemRef): a model replaced by
// a newer list goes away at once, its tree when the last command using it has ended.
//
// Threads: built on any thread before anyone else sees it; afterwards only the GUI
// thread changes it (through RemoteFilesTreeModel). Command threads read items only
// through RemoteItemRef::snapshot(), under lock(), which the GUI thread holds while it
// writes records or links. The GUI thread's own reads (painting, walks) take no lock.
//
// The list's lines are read by Wire::parseListLine().
class RemoteTree final
{
public:
    // Only the hidden top item, no user's root folder.
    RemoteTree();
    ~RemoteTree();
    Q_DISABLE_COPY_MOVE(RemoteTree)

    // Builds the tree of a list under a user's root folder named rootName. Runs on any
    // thread; the rows come in list order (see sortAllFolders()).
    static std::shared_ptr<RemoteTree> fromList(QStringView list, const QString &rootName);

    // Puts every folder's rows in the order of key, as a model sorted by that column
    // shows them; meant for the thread that builds, before the tree is shown.
    void sortAllFolders(RemoteFilesTreeItem::SortKey key, Qt::SortOrder order);
    // The order sortAllFolders() gave every folder, if it ran.
    bool isSorted() const { return sorted; }
    RemoteFilesTreeItem::SortKey sortedKey() const { return sortKey; }
    Qt::SortOrder sortedOrder() const { return sortOrder; }

    RemoteFilesTreeItem *top() const { return topItem; }
    // The user's root folder; null in a tree without a list.
    RemoteFilesTreeItem *userRoot() const { return rootItem; }

    // Held by the GUI thread while it changes records or links, and by command threads
    // while they copy what they need from an item.
    std::mutex &lock() const { return writeLock; }

    // The item of this tree with that self id (taken-out items included until they are
    // freed); null when there is none.
    RemoteFilesTreeItem *itemBySelfId(quint64 selfId) const { return bySelfId.value(selfId); }
    // Makes item and everything below it findable by self id.
    void registerSubtree(RemoteFilesTreeItem *item);
    qsizetype itemCount() const { return bySelfId.size(); }
    // A folder of the list with that server id (the last one listed, if several);
    // null when the list had none. Folders created later are not found here.
    RemoteFilesTreeItem *folderById(quint64 id) const { return listedFolders.value(id); }

    // Keeps an item taken out of the tree (with what hangs below it) until
    // freeTakenOut(); until then commands may still read it.
    void keepTakenOut(RemoteFilesTreeItem *item);
    const QList<RemoteFilesTreeItem *> &takenOutItems() const { return takenOut; }
    // Frees the taken-out items: only when no command or request can refer to them
    // any more (no RemoteItemRef of this tree is left but the model's own).
    void freeTakenOut();

    // A server id that a command was given for item (a folder created, a file
    // uploaded) and that the GUI thread has not written into it yet: requests built
    // in between (a file queued into the new folder) need it. Under lock().
    void noteGrantedId(const RemoteFilesTreeItem *item, quint64 id);
    // The item's id, or the one granted and not written yet. Under lock().
    quint64 idOf(const RemoteFilesTreeItem *item) const;
    // Forgets the granted id once it is written into the item. Under lock().
    void forgetGrantedId(const RemoteFilesTreeItem *item) { grantedIds.remove(item); }

private:
    // What building keeps of each listed line (defined with the build).
    struct ListedItem;
    void build(QStringView list);
    // Marks folder, an index into listed, and the folders above it not available.
    void markUnavailable(const QList<ListedItem> &listed, qint32 folder);
    void forgetSubtree(RemoteFilesTreeItem *item);

    RemoteFilesTreeItem *topItem;
    RemoteFilesTreeItem *rootItem = nullptr;
    SelfIdIndex bySelfId;
    QHash<quint64, RemoteFilesTreeItem *> listedFolders;
    QList<RemoteFilesTreeItem *> takenOut;
    QHash<const RemoteFilesTreeItem *, quint64> grantedIds;
    mutable std::mutex writeLock;
    bool sorted = false;
    RemoteFilesTreeItem::SortKey sortKey = RemoteFilesTreeItem::SortKey::Name;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
};
