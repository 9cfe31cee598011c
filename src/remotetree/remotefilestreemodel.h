#pragma once

#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringView>

#include <utility>

class QFileInfo;
class RemoteFilesTreeItem;

// The remote pane's model, built in one go from the server's file list. The hidden top
// item is the model's invisible root; its only child, the user's root folder, is the
// single top-level row. Drags carry "text/uri-list" payloads naming items by server id
// and self id; drops move remote items or queue local files and folders for upload.
//
// List format: one item per "\n"-separated line, at least 11 "\t"-separated fields:
//   id  isDir  name  parentId  size  date(s since epoch, UTC)  base64(description)
//   searchable  (unused)  downloadSegment  available
class RemoteFilesTreeModel final : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteFilesTreeModel)

public:
    // Host of the service's public download addresses.
    static constexpr char DownloadHost[] = "dl.kelvarhold.net";
    static constexpr int FieldCount = 11;

    // A model without a list: only the hidden top item, no user's root folder.
    explicit RemoteFilesTreeModel(QObject *parent = nullptr);
    // Built from a list; with a sort column (Name, Size or Date) each folder's rows are
    // put in that order as the tree is built, and the view's first sort in that order,
    // as the model is set, then costs nothing. Without one rows come in list order.
    explicit RemoteFilesTreeModel(const QString &list, QObject *parent = nullptr,
                                  int sortColumn = -1, Qt::SortOrder order = Qt::AscendingOrder);
    ~RemoteFilesTreeModel() override;

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
    void addItem(const QModelIndex &index, RemoteFilesTreeItem *item);
    void refreshModel();
    void refreshModelData(const QModelIndex &topLeft, const QModelIndex &bottomRight);

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
    // as long as the model, for commands that still hold it. False if it is not shown
    // here or is on the server.
    bool discardUnsavedItem(RemoteFilesTreeItem *item);

    void addToExpandedItems(RemoteFilesTreeItem *item);
    void removeFromExpandedItems(RemoteFilesTreeItem *item);
    void syncExpandedItems();

    // The public download address of a file: the segment from the server, then the
    // name, byte by byte in Latin-1, percent-encoded.
    static QString downloadAddress(QStringView segment, const QString &name);

Q_SIGNALS:
    void moveDirClicked(RemoteFilesTreeItem *item);
    void moveFileClicked(RemoteFilesTreeItem *item);
    void createNewDir(RemoteFilesTreeItem *item);
    void uploadFile(RemoteFilesTreeItem *item);
    void expandItem(const QModelIndex &index);
    void collapseAllItems();

private:
    // Type, size and sync state of a row, as a screen reader announces it.
    QString accessibleDescription(RemoteFilesTreeItem *item) const;
    void connectToScheduler();
    // What building keeps of each listed line (defined with the build).
    struct ListedItem;

    void setupModelData(QStringView list, RemoteFilesTreeItem *top);
    // Marks folder, an index into listed, and the folders above it not available.
    void checkDirOnAvailable(const QList<ListedItem> &listed, qint32 folder,
                             RemoteFilesTreeItem *top);
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
    RemoteFilesTreeItem *rootItem;
    RemoteFilesTreeItem *realRootItem = nullptr;
    QList<RemoteFilesTreeItem *> expandedItems;
    // The order the tree was built for, until the first sort; column -1 for none.
    std::pair<int, Qt::SortOrder> builtOrder{-1, Qt::AscendingOrder};
    // The rows' order (column -1: as listed and appended) and the folders already put
    // in it. Only the GUI thread reorders rows; views ask const functions for rows.
    std::pair<int, Qt::SortOrder> rowOrder{-1, Qt::AscendingOrder};
    mutable QSet<const RemoteFilesTreeItem *> orderedFolders;
    // Items this model made that were refused by their folder (a name already taken):
    // queued uploads may still use them, so they live as long as the model.
    QList<RemoteFilesTreeItem *> unlinkedItems;
    // "path: reason" of every local entry refused since the last showUploadRefusals().
    QStringList refusedUploads;
    // Self ids of the items whose last command failed, with the cause.
    QHash<quint64, QString> failedItems;
};
