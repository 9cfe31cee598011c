#pragma once

#include "remote/remoteitemchange.h"
#include "remote/remoteitemref.h"
#include "remote/remotetree.h"

#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QStringView>
#include <QTimer>

#include <memory>
#include <utility>

class MainNetworkThread;
class QFileInfo;
class RemoteFilesTreeItem;

// The remote pane's model over one RemoteTree (see there for the list format). The
// hidden top item is the model's invisible root; its only child, the user's root
// folder, is the single top-level row. Drags carry "text/uri-list" payloads naming
// items by server id and self id; drops move remote items or queue local files and
// folders for upload.
//
// The model is the tree's only writer once it is shown: views change items through its
// methods (rename, mark deleted, set parameters, new folder), commands hand their
// results back as RemoteItemChange values (applyChange), and every change is told to
// the views as Qt's model contract asks (rows inserted, removed, moved; data changed).
class RemoteFilesTreeModel final : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteFilesTreeModel)

public:
    // A tree of this many items or more is freed on a worker thread, not the GUI's.
    static constexpr qsizetype FreeAsideItems = 20000;
    // How often items taken out are looked at again while commands still hold the tree.
    static constexpr int FreeRetryMs = 1000;

    // A model without a list: only the hidden top item, no user's root folder.
    explicit RemoteFilesTreeModel(QObject *parent = nullptr);
    // Built from a list; with a sort column (Name, Size or Date) each folder's rows are
    // put in that order as the tree is built, and the view's first sort in that order,
    // as the model is set, then costs nothing. Without one rows come in list order.
    explicit RemoteFilesTreeModel(const QString &list, QObject *parent = nullptr,
                                  int sortColumn = -1, Qt::SortOrder order = Qt::AscendingOrder);
    // Over a tree built elsewhere (on a worker thread); a tree sorted by
    // RemoteTree::sortAllFolders() shows in that order without sorting again.
    explicit RemoteFilesTreeModel(std::shared_ptr<RemoteTree> tree, QObject *parent = nullptr);
    ~RemoteFilesTreeModel() override;

    // The scheduler that carries this model's moves, new folders and uploads to the
    // server and hands back what they changed. None until set: the remote pane passes
    // on the program's scheduler (MainNetworkThread::getInstance()); a model built
    // alone (tests, benchmarks, fuzz targets) stays apart from it unless given one.
    void setScheduler(MainNetworkThread *scheduler);
    MainNetworkThread *getScheduler() const;

    // The name of the user's root folder for a login.
    static QString rootFolderName(const QString &login);
    // The column a sort key belongs to, and back; false for a column without one.
    static bool sortKeyOf(int column, RemoteFilesTreeItem::SortKey &key);

    const std::shared_ptr<RemoteTree> &getTree() const { return tree; }
    // How requests name an item of this model.
    RemoteItemRef refFor(RemoteFilesTreeItem *item) const { return RemoteItemRef(tree, item); }

    // Brings the tree in line with what a command did on the server. A change to an item
    // of another tree (an older list) is ignored: the newer list already shows it.
    void applyChange(const RemoteItemChange &change);

    // Changes by the user, shown at once and then carried to the server by a command:
    // each marks the item not uploaded until that command succeeds.
    void renameItem(RemoteFilesTreeItem *item, const QString &name);
    void setItemSearchable(RemoteFilesTreeItem *item, bool searchable);
    void setItemDescription(RemoteFilesTreeItem *item, const QString &description);
    void setItemPassword(RemoteFilesTreeItem *item, const QString &password);
    // Marks item and everything below it as being deleted.
    void markDeleted(RemoteFilesTreeItem *item);
    // A new folder, or a file the service fetches from url, in folder; null when the
    // folder already holds that name.
    RemoteFilesTreeItem *addNewFolder(RemoteFilesTreeItem *folder, const QString &name);
    RemoteFilesTreeItem *addUrlFile(RemoteFilesTreeItem *folder, const QString &name,
                                    const QString &url);
    // Moves item into folder as a drop does; false when it cannot go there (itself,
    // below itself, a name taken there), and nothing changes then.
    bool moveItem(RemoteFilesTreeItem *item, RemoteFilesTreeItem *folder);
    // Whether item hangs in this model's tree (not taken out, not of another tree).
    bool isShown(RemoteFilesTreeItem *item) const { return indexForLinkedItem(item).isValid(); }

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    RemoteFilesTreeItem *getItemByInnerId(quint64 id, bool isDir,
                                          RemoteFilesTreeItem *start = nullptr) const;
    RemoteFilesTreeItem *getItemBySelfId(quint64 selfId) const;
    QModelIndex getIndexByItem(RemoteFilesTreeItem *item, const QModelIndex &rootIndex) const;
    // The item a valid index stands for; null for an invalid one.
    RemoteFilesTreeItem *itemFromIndex(const QModelIndex &index) const;
    RemoteFilesTreeItem *getItem(int row, const QModelIndex &parent) const;
    RemoteFilesTreeItem *getRootItem() const { return realRootItem; }

    // Queues the upload of a local file, or of a folder with everything in it. Only
    // regular files and folders are uploaded: a pipe, a device or a socket (which an
    // upload would wait on, or read for ever) is refused and noted for
    // showUploadRefusals().
    void addNewItemToModel(const QFileInfo &fileInfo, RemoteFilesTreeItem *parent);
    // One box listing what the uploads since the last call refused; nothing when none.
    void showUploadRefusals();

    // A failed command marks its item (red, the cause as tooltip) until a command on
    // it succeeds or a new list replaces this model; an empty cause clears the mark.
    // Items of other models are ignored.
    void setItemFailure(RemoteFilesTreeItem *item, const QString &cause);
    QString getItemFailure(const RemoteFilesTreeItem *item) const;
    // Takes an item that never reached the server (a new folder or an upload from an
    // address whose command failed) out of the tree, telling the view. It stays alive
    // while commands may still hold it. False if it is not shown here or is on the
    // server.
    bool discardUnsavedItem(RemoteFilesTreeItem *item);

    void addToExpandedItems(RemoteFilesTreeItem *item);
    void removeFromExpandedItems(RemoteFilesTreeItem *item);
    void syncExpandedItems();
    // The folders open in the view, as it reported them.
    const QList<RemoteFilesTreeItem *> &getExpandedItems() const { return expandedItems; }

Q_SIGNALS:
    void moveDirClicked(RemoteItemRef item);
    void moveFileClicked(RemoteItemRef item);
    void createNewDir(RemoteItemRef item);
    void uploadFile(RemoteItemRef item);
    void expandItem(const QModelIndex &index);
    void collapseAllItems();

private:
    // Type, size and sync state of a row, as a screen reader announces it.
    QString accessibleDescription(RemoteFilesTreeItem *item) const;
    // Links item (with what hangs below it) into folder, telling the views; an item the
    // folder refuses (a name taken) is kept aside for the commands that use it.
    bool insertItem(RemoteFilesTreeItem *folder, RemoteFilesTreeItem *item);
    // Unlinks item from its folder, telling the views if it was shown, and keeps it
    // aside until no command can refer to it.
    void takeOut(RemoteFilesTreeItem *item);
    // Frees the items taken out once no command or request refers to the tree; tries
    // again later while some still do.
    void freeTakenOutWhenUnused();
    // Row change of a shown item's whole row.
    void emitRowChanged(RemoteFilesTreeItem *item);
    void sortByColumn(int column, RemoteFilesTreeItem *item, Qt::SortOrder order);
    // Puts folder's rows in the model's order unless they already are: folders are
    // sorted when first asked for after a sort, not all at once.
    void ensureOrdered(RemoteFilesTreeItem *folder) const;
    // The same for every folder above item.
    void orderPathTo(RemoteFilesTreeItem *item) const;
    // item's row in its ordered folder.
    int orderedRow(const RemoteFilesTreeItem *item) const;
    void addContentsOfDir(const QString &path, RemoteFilesTreeItem *parent,
                          QList<RemoteFilesTreeItem *> &folders,
                          QList<RemoteFilesTreeItem *> &files);
    void refuseUpload(const QString &path);
    RemoteFilesTreeItem *makeLocalItem(const QFileInfo &fileInfo, RemoteFilesTreeItem *parent,
                                       const QDateTime &now);
    // The index of an item that is still linked into this model's tree; else invalid.
    QModelIndex indexForLinkedItem(RemoteFilesTreeItem *item) const;
    // Second half of a layout change whose layoutAboutToBeChanged() was emitted.
    void finishLayoutChange();

    QFileIconProvider iconProvider;
    std::shared_ptr<RemoteTree> tree;
    RemoteFilesTreeItem *rootItem;
    RemoteFilesTreeItem *realRootItem = nullptr;
    QList<RemoteFilesTreeItem *> expandedItems;
    // The order the tree was built for, until the first sort; column -1 for none.
    std::pair<int, Qt::SortOrder> builtOrder{-1, Qt::AscendingOrder};
    // The rows' order (column -1: as listed and appended) and the folders already put
    // in it. Only the GUI thread reorders rows; views ask const functions for rows.
    std::pair<int, Qt::SortOrder> rowOrder{-1, Qt::AscendingOrder};
    mutable QSet<const RemoteFilesTreeItem *> orderedFolders;
    // Every folder is in rowOrder already (the tree was sorted where it was built).
    bool allOrdered = false;
    QTimer freeTimer;
    QPointer<MainNetworkThread> scheduler;
    // "path: reason" of every local entry refused since the last showUploadRefusals().
    QStringList refusedUploads;
    // Self ids of the items whose last command failed, with the cause.
    QHash<quint64, QString> failedItems;
};
