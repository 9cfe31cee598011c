#pragma once

#include <QFileSystemModel>
#include <QStringList>

class QSettings;
class RemoteFilesTreeItem;
class RemoteFilesTreeModel;

// The left pane's model: the local file system with a fifth column, "Sync", that marks
// files still waiting for their download, and the place where every download into the
// local file system begins. Before a download is queued it settles what happens to an
// existing file (overwrite or resume, asking the user), creates the empty target and
// marks it pending in the settings store.
//
// Columns: 0 name, 1 size, 2 type, 3 Sync, 4 date modified (the file system model's
// own column 3, moved one to the right).
//
// Names from the server or from a URL become file names here; a name that could
// reach outside the chosen folder (empty, ".", "..", a separator or a NUL) is refused
// and the user is told which item it was.
class LocalFilesTreeModel final : public QFileSystemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalFilesTreeModel)

public:
    static constexpr int SyncColumn = 3;
    static constexpr int DateColumn = 4;

    explicit LocalFilesTreeModel(QObject *parent = nullptr);
    ~LocalFilesTreeModel() override;

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QStringList mimeTypes() const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void setRemoteModel(RemoteFilesTreeModel *model);

    // Prepares the local file `path` for the download of the remote file `item` and
    // queues the download. `settings` is handed down unchanged.
    void createFile(RemoteFilesTreeItem *item, const QString &path, QSettings &settings);
    // The same for a download from `url` into `path`.
    void createFileFromUrl(const QString &url, const QString &path);
    // Downloads the remote folder `item` with everything in it into the existing local
    // folder `path` (which ends in a separator).
    void addDirToModel(RemoteFilesTreeItem *item, const QString &path, QSettings &settings);

    // Asks the views to read the row of `path` again (its sync state or icon changed).
    void refreshPath(const QString &path);

    // Whether a name from the server or a URL can be used as one local file name
    // inside a chosen folder.
    static bool isSafeLocalName(const QString &name);
    // `folder` and `name` joined by exactly one "/".
    static QString joinPath(const QString &folder, const QString &name);

Q_SIGNALS:
    void downloadFile(RemoteFilesTreeItem *fileItem, QString downloadFile);
    void downloadUrl(QString url, QString downloadFile);

private:
    // Counts the public operations in progress so that the items refused on the way
    // are reported once, when the outermost one returns.
    class RefusalReport;

    enum class Target { Ready, Resume, Cancelled, Failed };
    // Empties or creates `path` (asking about an existing file) and marks it pending.
    Target prepareTarget(const QString &path, const QString &itemLabel);
    void refuse(const QString &itemLabel, const QString &reason);
    void showRefusals();
    static QString getRemotePath(const RemoteFilesTreeItem *item);
    // The remote item a drag payload names by server id and self id.
    RemoteFilesTreeItem *draggedItem(quint64 id, bool isDir, quint64 selfId) const;

    RemoteFilesTreeModel *remoteModel = nullptr;
    int operationDepth = 0;
    QStringList refusedItems;
};
