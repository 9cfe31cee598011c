#pragma once

#include <QPointer>
#include <QTimer>
#include <QTreeView>

class LocalTreeWidget;
class MainNetworkThread;
class QAction;
class QMenu;
class RemoteFilesTreeItem;
class RemoteFilesTreeModel;
class RemoteItemRef;

// The right-hand pane: the user's storage on the service as a tree. Its context
// menu changes items (remove, rename, new folder, searchable flag, description,
// password, upload from an address, properties) through the item dialogs, applies
// the change through the model at once (which marks the item not uploaded), and asks
// the scheduler to carry it to the server with one signal per change. Drags and drops are the
// model's. The window's toolbar and menus run the same commands on the selection.
class RemoteTreeWidget final : public QTreeView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteTreeWidget)

public:
    // What the pane's commands can do; the context menu, the window's toolbar and its
    // menus share one rule for each.
    enum class Command {
        Download,
        NewFolder,
        Rename,
        Remove,
        ToggleSearchable,
        EditDescription,
        SetPassword,
        UploadFromUrl,
        Properties
    };

    explicit RemoteTreeWidget(QWidget *parent = nullptr);
    ~RemoteTreeWidget() override;

    // Why `command` has nothing to act on in the current selection; empty when it can run.
    QString unavailableReason(Command command) const;
    // Runs `command` on the current selection; does nothing when it is unavailable.
    // Download is the window's: it is asked for with downloadRequested().
    void runCommand(Command command);
    // The folder that new items and uploads go to: the selected folder (a selected
    // file's folder), the user's root folder when nothing is selected; null when several
    // rows are selected, the folder is deleted, or no list is loaded.
    RemoteFilesTreeItem *getTargetFolder() const;
    // Every item of the selected rows, each once, in selection order.
    QList<RemoteFilesTreeItem *> getSelectedItems() const;

    // A remote model set here gets this pane's scheduler, if it has one.
    void setModel(QAbstractItemModel *model) override;
    // The scheduler that carries this pane's requests (and its model's) to the server.
    // None until set: the window passes on the program's scheduler
    // (MainNetworkThread::getInstance()); a pane built alone stays apart from it.
    void setScheduler(MainNetworkThread *scheduler);
    MainNetworkThread *getScheduler() const;
    void setLocalTree(LocalTreeWidget *tree);
    RemoteFilesTreeModel *getModelAsRemoteFileTreeModel() const;
    // The user's root folder of the current model; null before the first list.
    RemoteFilesTreeItem *getRootItem() const;

    // Create a new folder, or a file the service fetches from `url`, under the
    // first selected item (the user's root folder when nothing is selected). Input the server cannot take is refused with a message.
    void addNewDir(const QString &name);
    void addNewUrl(const QString &url);

    // The file name an upload from `url` gets: the last path segment without its
    // query, percent-decoded as UTF-8, trimmed. Empty when there is none.
    static QString fileNameFromUrl(const QString &url);

Q_SIGNALS:
    void deleteDirClicked(RemoteItemRef item);
    void deleteFileClicked(RemoteItemRef item);
    void makeDirClicked(RemoteItemRef item);
    void moveDirClicked(RemoteItemRef item);
    void moveFileClicked(RemoteItemRef item);
    void setParamsClicked(RemoteItemRef item);
    void addUrlClicked(RemoteItemRef item);
    // The user asked to download the selection (context menu).
    void downloadRequested();
    // The selection or the model changed: what the commands can act on may have too.
    void commandsChanged();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void renameItemShowDialog(const QModelIndex &index);
    void expandedItem(const QModelIndex &index);
    void collapsedItem(const QModelIndex &index);

private:
    void createActions();
    QModelIndex firstSelectedIndex() const;
    // The first selected index, or the user's root folder's when nothing is selected.
    QModelIndex targetIndex() const;
    RemoteFilesTreeItem *itemAt(const QModelIndex &index) const;

    void toggleSearchable();
    void editDescription();
    void editPassword();
    void removeSelectedItems();
    void removeItem();
    void showNewFolderDialog();
    void showAddUrlDialog();
    void showProperties();

    // Shows `problem` to the user when there is one; true when the input is refused.
    bool refuse(const QString &problem);
    // Why `name` cannot become the name of an item in `folder` (`self` is the item
    // being renamed, or null); empty when it can.
    QString nameProblem(const QString &name, RemoteFilesTreeItem *folder, RemoteFilesTreeItem *self) const;
    // The folder a new item under `item` goes to: a file hands it to its folder.
    static RemoteFilesTreeItem *folderFor(RemoteFilesTreeItem *item);
    // How requests name an item of the current model.
    RemoteItemRef refFor(RemoteFilesTreeItem *item) const;

    LocalTreeWidget *localTree = nullptr;
    QPointer<MainNetworkThread> scheduler;
    QMenu *contextMenu = nullptr;
    QAction *searchableAction = nullptr;
    QAction *descriptionAction = nullptr;
    QAction *passwordAction = nullptr;
    QAction *newFolderAction = nullptr;
    QAction *removeAction = nullptr;
    QAction *renameAction = nullptr;
    QAction *addUrlAction = nullptr;
    QAction *viewPropertiesAction = nullptr;
    QAction *downloadAction = nullptr;
    RemoteFilesTreeItem *itemForAction = nullptr;
    // Fits the name column to the rows after folders open.
    QTimer nameColumnResize;
};
