#pragma once

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QTreeView>

class LocalFilesTreeModel;
class MainNetworkThread;
class QAction;
class QMenu;
class RemoteFilesTreeModel;

// The left pane: the local file system. Remote items dragged from the remote pane and
// dropped on a folder are downloaded into it; local files dragged to the remote pane
// are uploaded. A folder's context menu downloads a URL into it or makes it the default
// download folder.
class LocalTreeWidget final : public QTreeView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalTreeWidget)

public:
    // How long after revealPath() the view follows the folders being read.
    static constexpr int RevealSettleMs = 3000;
    static constexpr int RevealRetryMs = 50;

    explicit LocalTreeWidget(QWidget *parent = nullptr);
    ~LocalTreeWidget() override;

    // The remote pane: the only accepted source of drops. Known as a view only, so
    // the local pane does not depend on the remote pane's widget.
    void setRemoteTree(QAbstractItemView *tree);
    void setRemoteModel(RemoteFilesTreeModel *model);
    // The scheduler that downloads into this pane (see LocalFilesTreeModel::setScheduler).
    void setScheduler(MainNetworkThread *scheduler);
    LocalFilesTreeModel *getLocalModel() const { return localModel; }

    // Re-reads the entry of `path` (after its download, or after a change of the
    // default download folder).
    void refreshLocalModel(const QString &path);
    // Expands the folders down to `path`, selects it and scrolls it into view, also
    // once the folders on the way have been read.
    void revealPath(const QString &path);

    // Downloads `url` into `folder` under the name that ends the URL.
    void addNewUrl(const QString &url, const QString &folder);
    void setDefaultDownloadDirectory(const QFileInfo &folder);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private Q_SLOTS:
    void expandedItem(const QModelIndex &index);

private:
    void addUrlDialogShow(const QFileInfo &folder);
    void applyReveal();

    LocalFilesTreeModel *localModel;
    QAbstractItemView *remoteTree = nullptr;
    QAction *addUrlAction;
    QAction *setDefaultDownloadDirectoryAction;
    QMenu *contextMenu;
    // The entry revealPath() keeps in view while the folders on its way are read.
    QString pendingReveal;
    QElapsedTimer revealTimer;
    QTimer revealRetry;
};
