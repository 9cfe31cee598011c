#pragma once

#include "localfolderscanner.h"
#include "remote/remoteitemref.h"

#include <QAbstractItemModel>
#include <QCollator>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QThread>
#include <QTimer>

class LocalFileNode;
class MainNetworkThread;
class QSettings;
class RemoteFilesTreeItem;
class RemoteFilesTreeModel;

// The left pane's model: the local file system with a fifth column, "Sync", that marks
// files still waiting for their download, and the place where every download into the
// local file system begins. Before a download is queued it settles what happens to an
// existing file (overwrite or resume, asking the user), creates the empty target and
// marks it pending in the settings store.
//
// Columns: 0 name, 1 size, 2 type, 3 Sync, 4 date modified.
//
// Folders are read on a scanner thread when first shown (fetchMore) and handed to the
// views in slices, so that a folder of 200,000 files never holds the window for long;
// sizes and dates come from that reading, so sorting asks the file system nothing.
// Only folders that were read are watched (one watch each); files the program itself
// is downloading are read again on a short timer, so their size grows on screen.
//
// Names from the server or from a URL become file names here; a name that could
// reach outside the chosen folder (empty, ".", "..", a separator or a NUL) is refused
// and the user is told which item it was.
class LocalFilesTreeModel final : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalFilesTreeModel)

public:
    static constexpr int SyncColumn = 3;
    static constexpr int DateColumn = 4;
    // Rows handed to the views per turn of the event loop while a folder comes in. A
    // view lays the whole folder out again after each slice (40 ms at 200,000 rows
    // here), so the slices are few.
    static constexpr int RowsPerSlice = 50000;
    // How often the files being downloaded are read again.
    static constexpr int DownloadRefreshMs = 250;
    // Download targets are created in order after the questions about existing files,
    // at least this many per turn of the event loop and more while the turn is younger
    // than TargetSliceMs: creating a file costs a tenth of a millisecond or more, and a
    // folder of a thousand files would otherwise hold the window.
    static constexpr int TargetsPerSlice = 32;
    static constexpr int TargetSliceMs = 20;

    explicit LocalFilesTreeModel(QObject *parent = nullptr);
    ~LocalFilesTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    // The entry at `path`, once its folder has been read (reading it if need be).
    QModelIndex index(const QString &path, int column = 0) const;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
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

    void setRemoteModel(RemoteFilesTreeModel *model);
    // The scheduler that downloads what is dropped here. None until set: the local
    // pane passes on the program's scheduler (MainNetworkThread::getInstance()); a
    // model built alone stays apart from it unless given one.
    void setScheduler(MainNetworkThread *scheduler);

    QString filePath(const QModelIndex &index) const;
    QFileInfo fileInfo(const QModelIndex &index) const { return QFileInfo(filePath(index)); }
    bool isDir(const QModelIndex &index) const;
    // The folders being watched for entries that come and go.
    QStringList watchedFolders() const { return watcher.directories(); }

    // Prepares the local file `path` for the download of the remote file `item` and
    // queues the download. `settings` is handed down unchanged.
    void createFile(RemoteFilesTreeItem *item, const QString &path, QSettings &settings);
    // The same for a download from `url` into `path`.
    void createFileFromUrl(const QString &url, const QString &path);
    // Downloads the remote folder `item` with everything in it into the existing local
    // folder `path` (which ends in a separator).
    void addDirToModel(RemoteFilesTreeItem *item, const QString &path, QSettings &settings);

    // Reads the entry `path` again and asks the views to show it anew (its size, sync
    // state or icon changed); a download that ended calls it a last time.
    void refreshPath(const QString &path);

    // `folder` and `name` joined by exactly one "/".
    static QString joinPath(const QString &folder, const QString &name);

Q_SIGNALS:
    void downloadFile(RemoteItemRef fileItem, QString downloadFile);
    void downloadUrl(QString url, QString downloadFile);
    // A folder's entries have all been handed to the views.
    void directoryLoaded(const QString &path);
    // Internal: asks the scanner thread to read a folder.
    void scanRequested(const QString &path, quint64 ticket, int sortColumn, Qt::SortOrder order);

private:
    LocalFileNode *nodeOf(const QModelIndex &index) const;
    QModelIndex indexOf(LocalFileNode *node, int column = 0) const;
    LocalFileNode *findNode(const QString &path) const;
    void requestScan(LocalFileNode *folder) const;
    void takeListing(const LocalFolderListingPtr &listing);
    void mergeListing(LocalFileNode *folder, const LocalFolderListingPtr &listing);
    void insertSorted(LocalFileNode *folder, LocalFileNode *node);
    void removeRow(LocalFileNode *folder, int row);
    void showWaitingRows();
    void showAllWaiting(LocalFileNode *folder);
    void forgetWatches(LocalFileNode *node);
    void folderChanged(const QString &path);
    void refreshDownloads();
    // Reads `path` again on a timer until its download is reported finished.
    void trackDownload(const QString &path);
    QString typeText(const LocalFileNode *node) const;

    // Counts the public operations in progress: when the outermost one returns, its
    // questions have all been asked, and the targets it settled are written; the items
    // refused on the way are reported once, when the last target is written.
    class RefusalReport;

    enum class Target { Create, Overwrite, Resume, Cancelled, Failed };
    // What becomes of `path`, asking the user about an existing file; writes nothing.
    Target prepareTarget(const QString &path, const QString &itemLabel);
    // A settled download, waiting for its target to be written and its request sent.
    struct QueuedTarget
    {
        RemoteItemRef item; // null for a download from a URL
        QString url;
        QString path;
        QString itemLabel;
        Target target;
    };
    void queueTarget(QueuedTarget target);
    // Writes waiting targets (a slice, see TargetsPerSlice) and queues their downloads.
    void writeQueuedTargets();
    // Empties or creates the file and marks it pending; false (and refused) on failure.
    bool writeTarget(const QueuedTarget &target);
    void refuse(const QString &itemLabel, const QString &reason);
    void showRefusals();
    static QString getRemotePath(const RemoteFilesTreeItem *item);
    // The remote item a drag payload names by server id and self id.
    RemoteFilesTreeItem *draggedItem(quint64 id, bool isDir, quint64 selfId) const;

    LocalFileNode *rootNode;
    QThread scannerThread;
    LocalFolderScanner *scanner;
    QFileSystemWatcher watcher;
    mutable quint64 lastTicket = 0;
    mutable QCollator collator;
    int sortColumn = 0;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    // Folders whose entries wait to be shown, by path (a folder may vanish meanwhile).
    QStringList foldersShowing;
    QTimer showTimer;
    // Folders changed on disk, read again together a moment later.
    QSet<QString> changedFolders;
    QTimer changedTimer;
    // Files this model prepared for a download that has not been reported finished.
    QSet<QString> downloading;
    QTimer downloadTimer;
    mutable QHash<QString, QString> typeBySuffix;

    QList<QueuedTarget> queuedTargets;
    QTimer targetTimer;

    RemoteFilesTreeModel *remoteModel = nullptr;
    QPointer<MainNetworkThread> scheduler;
    int operationDepth = 0;
    QStringList refusedItems;
};
