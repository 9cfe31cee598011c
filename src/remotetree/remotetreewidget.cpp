#include "remotetreewidget.h"

#include "base/logging.h"
#include "base/settings.h"
#include "dialogs/addurldialog.h"
#include "dialogs/descriptiondialog.h"
#include "dialogs/newremotefolderdialog.h"
#include "dialogs/passworddialog.h"
#include "dialogs/renameitemdialog.h"
#include "dialogs/warningonnoemptydirectorydeletedialog.h"
#include "gui/themedicon.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefileinfo.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remoteitemref.h"
#include "remotetree/remotefilestreemodel.h"
#include "wire/localfilename.h"
#include "wire/protocoltextcheck.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QSet>
#include <QUrl>

#include <algorithm>

RemoteTreeWidget::RemoteTreeWidget(QWidget *parent)
    : QTreeView(parent)
{
    setDragEnabled(true);
    setAcceptDrops(true);
    // Names from A to Z until the user clicks a header (Qt's default is descending).
    header()->setSortIndicator(0, Qt::AscendingOrder);
    setSortingEnabled(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);

    // Until the first list arrives the view shows a model without items.
    auto *initialModel = new RemoteFilesTreeModel(this);
    setModel(initialModel);

    createActions();
    nameColumnResize.setSingleShot(true);
    nameColumnResize.setInterval(0);
    connect(&nameColumnResize, &QTimer::timeout, this, [this] { resizeColumnToContents(0); });
    connect(this, &QTreeView::doubleClicked, this, &RemoteTreeWidget::renameItemShowDialog);
    connect(this, &QTreeView::expanded, this, &RemoteTreeWidget::expandedItem);
    connect(this, &QTreeView::collapsed, this, &RemoteTreeWidget::collapsedItem);
    connect(initialModel, &RemoteFilesTreeModel::expandItem, this, &QTreeView::expand);
    connect(initialModel, &RemoteFilesTreeModel::collapseAllItems, this, &QTreeView::collapseAll);
}

RemoteTreeWidget::~RemoteTreeWidget() = default;

void RemoteTreeWidget::createActions()
{
    contextMenu = new QMenu(this);
    const auto makeAction = [this](const char *icon, const QString &text) {
        auto *action = new QAction(text, this);
        ThemedIcon::apply(action, QLatin1String(icon));
        return action;
    };
    downloadAction = makeAction("downloadIcon", tr("Download"));
    // The window downloads; however the entry is triggered, it hears of it.
    connect(downloadAction, &QAction::triggered, this, &RemoteTreeWidget::downloadRequested);
    searchableAction = makeAction("toogleSearchableIcon", tr("Searchable"));
    searchableAction->setCheckable(true);
    descriptionAction = makeAction("editDescriptionIcon", tr("Description"));
    passwordAction = makeAction("setPasswordIcon", tr("Password"));
    newFolderAction = makeAction("newFolderIcon", tr("New Folder"));
    removeAction = makeAction("removeIcon", tr("Remove"));
    renameAction = makeAction("renameIcon", tr("Rename"));
    addUrlAction = makeAction("externalUploadIcon", tr("Upload from URL"));
    viewPropertiesAction = makeAction("propertiesIcon", tr("Properties"));

    contextMenu->addAction(downloadAction);
    contextMenu->addSeparator();
    contextMenu->addAction(removeAction);
    contextMenu->addAction(renameAction);
    contextMenu->addAction(newFolderAction);
    contextMenu->addSeparator();
    contextMenu->addAction(searchableAction);
    contextMenu->addAction(descriptionAction);
    contextMenu->addAction(passwordAction);
    contextMenu->addAction(addUrlAction);
    contextMenu->addSeparator();
    contextMenu->addAction(viewPropertiesAction);
}

void RemoteTreeWidget::setScheduler(MainNetworkThread *newScheduler)
{
    if (newScheduler == scheduler)
        return;
    if (scheduler)
        disconnect(this, nullptr, scheduler, nullptr);
    scheduler = newScheduler;
    if (RemoteFilesTreeModel *remoteModel = getModelAsRemoteFileTreeModel())
        remoteModel->setScheduler(scheduler);
    if (!scheduler)
        return;
    connect(this, &RemoteTreeWidget::deleteDirClicked, scheduler, &MainNetworkThread::deleteDir);
    connect(this, &RemoteTreeWidget::deleteFileClicked, scheduler, &MainNetworkThread::deleteFile);
    connect(this, &RemoteTreeWidget::makeDirClicked, scheduler, &MainNetworkThread::createDir);
    connect(this, &RemoteTreeWidget::moveDirClicked, scheduler, &MainNetworkThread::moveDir);
    connect(this, &RemoteTreeWidget::moveFileClicked, scheduler, &MainNetworkThread::moveFile);
    connect(this, &RemoteTreeWidget::setParamsClicked, scheduler, &MainNetworkThread::setParams);
    connect(this, &RemoteTreeWidget::addUrlClicked, scheduler, &MainNetworkThread::uploadUrl);
}

MainNetworkThread *RemoteTreeWidget::getScheduler() const
{
    return scheduler;
}

void RemoteTreeWidget::setLocalTree(LocalTreeWidget *tree)
{
    localTree = tree;
}

RemoteFilesTreeModel *RemoteTreeWidget::getModelAsRemoteFileTreeModel() const
{
    return qobject_cast<RemoteFilesTreeModel *>(model());
}

void RemoteTreeWidget::setModel(QAbstractItemModel *newModel)
{
    QTreeView::setModel(newModel);
    if (RemoteFilesTreeModel *remoteModel = qobject_cast<RemoteFilesTreeModel *>(newModel); remoteModel && scheduler)
        remoteModel->setScheduler(scheduler);
    // Items removed, renamed, added or finished may change what the commands act on.
    if (newModel) {
        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(newModel, signal, this, &RemoteTreeWidget::commandsChanged);
        connect(newModel, &QAbstractItemModel::rowsMoved, this, &RemoteTreeWidget::commandsChanged);
        connect(newModel, &QAbstractItemModel::dataChanged, this, &RemoteTreeWidget::commandsChanged);
        connect(newModel, &QAbstractItemModel::layoutChanged, this, &RemoteTreeWidget::commandsChanged);
    }
    Q_EMIT commandsChanged();
}

void RemoteTreeWidget::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    Q_EMIT commandsChanged();
}

void RemoteTreeWidget::changeEvent(QEvent *event)
{
    QTreeView::changeEvent(event);
    // Disabled while a new list is fetched.
    if (event->type() == QEvent::EnabledChange)
        Q_EMIT commandsChanged();
}

RemoteFilesTreeItem *RemoteTreeWidget::getRootItem() const
{
    RemoteFilesTreeModel *remoteModel = getModelAsRemoteFileTreeModel();
    return remoteModel ? remoteModel->getRootItem() : nullptr;
}

RemoteItemRef RemoteTreeWidget::refFor(RemoteFilesTreeItem *item) const
{
    return getModelAsRemoteFileTreeModel()->refFor(item);
}

QModelIndex RemoteTreeWidget::firstSelectedIndex() const
{
    const QModelIndexList selected = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    return selected.isEmpty() ? QModelIndex() : selected.first();
}

QModelIndex RemoteTreeWidget::targetIndex() const
{
    const QModelIndex first = firstSelectedIndex();
    if (first.isValid() || !getRootItem())
        return first;
    return model()->index(0, 0);
}

QList<RemoteFilesTreeItem *> RemoteTreeWidget::getSelectedItems() const
{
    QList<RemoteFilesTreeItem *> items;
    if (!selectionModel())
        return items;
    // The selection holds one index per column of every selected row.
    QSet<RemoteFilesTreeItem *> seen;
    for (const QModelIndex &index : selectionModel()->selectedIndexes()) {
        RemoteFilesTreeItem *item = itemAt(index);
        if (item && !seen.contains(item)) {
            seen.insert(item);
            items.append(item);
        }
    }
    return items;
}

RemoteFilesTreeItem *RemoteTreeWidget::getTargetFolder() const
{
    if (!getRootItem() || getSelectedItems().size() > 1)
        return nullptr;
    RemoteFilesTreeItem *item = itemAt(targetIndex());
    RemoteFilesTreeItem *folder = item ? folderFor(item) : nullptr;
    return folder && !folder->isDeleted() ? folder : nullptr;
}

QString RemoteTreeWidget::unavailableReason(Command command) const
{
    if (!getRootItem())
        return tr("Connect first: the remote files are not loaded yet.");
    if (!isEnabled())
        return tr("Wait until the remote files are up to date.");
    const QList<RemoteFilesTreeItem *> items = getSelectedItems();
    RemoteFilesTreeItem *root = getRootItem();
    const auto live = [](RemoteFilesTreeItem *item) { return !item->isDeleted(); };
    const auto removable = [root](RemoteFilesTreeItem *item) {
        return item != root && !item->isDeleted();
    };
    switch (command) {
    case Command::Download:
        if (std::none_of(items.cbegin(), items.cend(), live))
            return tr("Select the remote files or folders to download.");
        return QString();
    case Command::Remove:
        if (std::none_of(items.cbegin(), items.cend(), removable))
            return tr("Select the remote files or folders to remove.");
        return QString();
    case Command::NewFolder:
    case Command::UploadFromUrl:
        if (!getTargetFolder())
            return tr("Select one remote folder, or none for the top folder.");
        return QString();
    case Command::Rename:
    case Command::Properties:
        if (items.size() != 1 || !removable(items.first()))
            return tr("Select one remote file or folder.");
        return QString();
    case Command::ToggleSearchable:
    case Command::EditDescription:
    case Command::SetPassword:
        if (items.size() != 1 || items.first()->isDir() || items.first()->isDeleted())
            return tr("Select one remote file.");
        return QString();
    }
    return QString();
}

void RemoteTreeWidget::runCommand(Command command)
{
    if (!unavailableReason(command).isEmpty())
        return;
    const QList<RemoteFilesTreeItem *> items = getSelectedItems();
    itemForAction = items.isEmpty() ? nullptr : items.first();
    switch (command) {
    case Command::Download:
        Q_EMIT downloadRequested();
        break;
    case Command::Remove:
        removeSelectedItems();
        break;
    case Command::NewFolder:
        showNewFolderDialog();
        break;
    case Command::UploadFromUrl:
        showAddUrlDialog();
        break;
    case Command::Rename:
        renameItemShowDialog(currentIndex());
        break;
    case Command::Properties:
        showProperties();
        break;
    case Command::ToggleSearchable:
        searchableAction->setChecked(!itemForAction->isItemSearchable());
        toggleSearchable();
        break;
    case Command::EditDescription:
        editDescription();
        break;
    case Command::SetPassword:
        editPassword();
        break;
    }
}

RemoteFilesTreeItem *RemoteTreeWidget::itemAt(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<RemoteFilesTreeItem *>(index.internalPointer()) : nullptr;
}

void RemoteTreeWidget::contextMenuEvent(QContextMenuEvent *event)
{
    RemoteFilesTreeItem *item = itemAt(firstSelectedIndex());
    if (!item || item->isDeleted())
        return;
    itemForAction = item;

    const bool isRoot = item == getRootItem();
    const bool isFile = !item->isDir();
    searchableAction->setChecked(item->isItemSearchable());
    removeAction->setVisible(!isRoot);
    renameAction->setVisible(!isRoot);
    newFolderAction->setVisible(!isFile);
    searchableAction->setVisible(isFile);
    descriptionAction->setVisible(isFile);
    passwordAction->setVisible(isFile);
    addUrlAction->setVisible(!isFile);
    viewPropertiesAction->setVisible(!isRoot);
    // With several rows selected, what acts on one item is not offered.
    const std::pair<QAction *, Command> rules[] = {
        {downloadAction, Command::Download},          {removeAction, Command::Remove},
        {renameAction, Command::Rename},              {newFolderAction, Command::NewFolder},
        {searchableAction, Command::ToggleSearchable}, {descriptionAction, Command::EditDescription},
        {passwordAction, Command::SetPassword},       {addUrlAction, Command::UploadFromUrl},
        {viewPropertiesAction, Command::Properties}};
    for (const auto &[action, command] : rules)
        action->setEnabled(unavailableReason(command).isEmpty());

    QAction *chosen = contextMenu->exec(event->globalPos());
    if (!chosen)
        return;
    if (!isRoot) {
        if (chosen == searchableAction)
            toggleSearchable();
        else if (chosen == descriptionAction)
            editDescription();
        else if (chosen == passwordAction)
            editPassword();
        else if (chosen == removeAction)
            removeSelectedItems();
        else if (chosen == renameAction)
            renameItemShowDialog(currentIndex());
        else if (chosen == viewPropertiesAction)
            showProperties();
    }
    if (chosen == newFolderAction)
        showNewFolderDialog();
    else if (chosen == addUrlAction)
        showAddUrlDialog();
}

void RemoteTreeWidget::dropEvent(QDropEvent *event)
{
    QAbstractItemView::dropEvent(event);
}

bool RemoteTreeWidget::refuse(const QString &problem)
{
    if (problem.isEmpty())
        return false;
    // Plain text: the message quotes names, which must not be read as markup.
    QMessageBox box(QMessageBox::Warning, tr("Cannot send"), problem, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return true;
}

void RemoteTreeWidget::toggleSearchable()
{
    getModelAsRemoteFileTreeModel()->setItemSearchable(itemForAction, searchableAction->isChecked());
    Q_EMIT setParamsClicked(refFor(itemForAction));
}

void RemoteTreeWidget::editDescription()
{
    DescriptionDialog dialog;
    dialog.setDescription(itemForAction->getItemDescription());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString description = dialog.getNewDescription();
    // The description travels Base64-encoded, so only its characters matter.
    if (refuse(ProtocolTextCheck::problem(description, tr("description"), ProtocolTextCheck::EncodedField)))
        return;
    getModelAsRemoteFileTreeModel()->setItemDescription(itemForAction, description);
    Q_EMIT setParamsClicked(refFor(itemForAction));
}

void RemoteTreeWidget::editPassword()
{
    PasswordDialog dialog;
    dialog.cleanPassword();
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString password = dialog.getNewPassword();
    if (refuse(ProtocolTextCheck::problem(password, tr("password"))))
        return;
    getModelAsRemoteFileTreeModel()->setItemPassword(itemForAction, password);
    Q_EMIT setParamsClicked(refFor(itemForAction));
}

void RemoteTreeWidget::removeSelectedItems()
{
    if (QMessageBox::warning(this, tr("Delete many files"), tr("Are you sure?"),
                             QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;

    // The selection holds one index per column of every selected row.
    QList<RemoteFilesTreeItem *> dirs;
    QList<RemoteFilesTreeItem *> files;
    for (const QModelIndex &index : selectionModel()->selectedIndexes()) {
        if (RemoteFilesTreeItem *item = itemAt(index))
            (item->isDir() ? dirs : files).append(item);
    }

    RemoteFilesTreeItem *root = getRootItem();
    QSet<RemoteFilesTreeItem *> handled;
    for (RemoteFilesTreeItem *item : files + dirs) {
        if (item == root || handled.contains(item))
            continue;
        handled.insert(item);
        // Already on its way out, perhaps inside a folder removed a moment ago in
        // this pass: a second request would only fail on the server.
        if (item->isDeleted())
            continue;
        itemForAction = item;
        removeItem();
    }
}

void RemoteTreeWidget::removeItem()
{
    RemoteFilesTreeItem *item = itemForAction;
    Settings *settings = Settings::getInstance();
    if (item->isDir() && item->childCount() > 0 && settings->getWarningOnNoEmptyDirectoryDelete()) {
        WarningOnNoEmptyDirectoryDeleteDialog dialog;
        dialog.clearFlag();
        if (dialog.exec() != QDialog::Accepted)
            return;
        if (dialog.getFlag())
            settings->setWarningOnNoEmptyDirectoryDelete(false);
    }
    getModelAsRemoteFileTreeModel()->markDeleted(item);
    if (item->isDir())
        Q_EMIT deleteDirClicked(refFor(item));
    else
        Q_EMIT deleteFileClicked(refFor(item));
}

void RemoteTreeWidget::renameItemShowDialog(const QModelIndex &)
{
    RemoteFilesTreeItem *item = itemAt(firstSelectedIndex());
    if (!item || item == getRootItem() || item->isDeleted())
        return;
    RenameItemDialog dialog;
    dialog.setItemName(item->getItemInnerName());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.getItemName();
    if (refuse(nameProblem(name, item->parent(), item)))
        return;
    getModelAsRemoteFileTreeModel()->renameItem(item, name);
    if (item->isDir())
        Q_EMIT moveDirClicked(refFor(item));
    else
        Q_EMIT moveFileClicked(refFor(item));
}

void RemoteTreeWidget::showNewFolderDialog()
{
    NewRemoteFolderDialog dialog;
    dialog.cleanFolderName();
    if (dialog.exec() == QDialog::Accepted)
        addNewDir(dialog.getNewFolderName());
}

void RemoteTreeWidget::showAddUrlDialog()
{
    AddUrlDialog dialog;
    dialog.clearUrl();
    if (dialog.exec() == QDialog::Accepted)
        addNewUrl(dialog.getUrl());
}

void RemoteTreeWidget::addNewDir(const QString &name)
{
    const QModelIndex index = targetIndex();
    RemoteFilesTreeItem *parent = itemAt(index);
    if (!parent)
        return;
    if (refuse(nameProblem(name, folderFor(parent), nullptr)))
        return;

    if (RemoteFilesTreeItem *item = getModelAsRemoteFileTreeModel()->addNewFolder(parent, name))
        Q_EMIT makeDirClicked(refFor(item));
}

void RemoteTreeWidget::addNewUrl(const QString &url)
{
    const QModelIndex index = targetIndex();
    RemoteFilesTreeItem *parent = itemAt(index);
    if (!parent)
        return;
    const QString name = fileNameFromUrl(url);
    if (name.isEmpty()) {
        if (!url.trimmed().isEmpty())
            refuse(tr("The address %1 does not end in a file name, so the new file could not be named.")
                       .arg(url));
        return;
    }
    if (refuse(ProtocolTextCheck::problem(url, tr("address"))) || refuse(nameProblem(name, folderFor(parent), nullptr)))
        return;

    if (RemoteFilesTreeItem *item = getModelAsRemoteFileTreeModel()->addUrlFile(parent, name, url))
        Q_EMIT addUrlClicked(refFor(item));
}

QString RemoteTreeWidget::fileNameFromUrl(const QString &url)
{
    // The same name a download of the address would be saved under.
    return LocalFileName::fromUrl(url);
}

QString RemoteTreeWidget::nameProblem(const QString &name, RemoteFilesTreeItem *folder,
                                      RemoteFilesTreeItem *self) const
{
    if (name.trimmed().isEmpty())
        return tr("A name cannot be empty.");
    const QString problem = ProtocolTextCheck::problem(name, tr("name"));
    if (!problem.isEmpty())
        return problem;
    // The tree keeps one item per name in a folder (compared as the user's locale
    // compares text); a second one would vanish from view yet still be sent.
    if (folder) {
        for (int row = 0; row < folder->childCount(); ++row) {
            RemoteFilesTreeItem *sibling = folder->child(row);
            if (sibling != self && QString::localeAwareCompare(sibling->getItemInnerName(), name) == 0)
                return tr("There is already an item named \"%1\" in \"%2\".")
                    .arg(sibling->getItemInnerName(), folder->getItemInnerName());
        }
    }
    return QString();
}

RemoteFilesTreeItem *RemoteTreeWidget::folderFor(RemoteFilesTreeItem *item)
{
    return item->isDir() ? item : item->parent();
}

void RemoteTreeWidget::showProperties()
{
    RemoteFilesTreeItem *item = itemForAction;
    const bool isDir = item->isDir();
    // Names come from the server and the user: escaped so they show as typed.
    QString text = isDir ? tr("<b>Type:</b>Directory<br>\n") : tr("<b>Type:</b>File<br>\n");
    //: %1 is the item's name
    text += tr("<b>Name:</b>%1<br>\n").arg(item->getItemInnerName().toHtmlEscaped());
    if (!isDir)
        //: %1 is the file's size in bytes
        text += tr("<b>Size:</b>%1 byte <br>\n").arg(item->getItemInnerSize());
    //: %1 is the item's date as yyyy-MM-dd hh:mm:ss
    text += tr("<b>Date:</b>%1<br>\n").arg(item->getItemDate().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    if (!isDir)
        //: %1 is the file's download address
        text += tr("<b>Download url:</b><br> <i>%1</i>").arg(item->getItemExternalDownloadUrl().toHtmlEscaped());

    QMessageBox box(QMessageBox::Information, tr("Properties"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

void RemoteTreeWidget::expandedItem(const QModelIndex &index)
{
    // Measured once the view is done: it reports folders opened recursively (the '*'
    // key) while it still lays out its rows, and measuring then leaves it blind to
    // rows inserted later.
    nameColumnResize.start();
    if (RemoteFilesTreeItem *item = itemAt(index))
        getModelAsRemoteFileTreeModel()->addToExpandedItems(item);
}

void RemoteTreeWidget::collapsedItem(const QModelIndex &index)
{
    if (RemoteFilesTreeItem *item = itemAt(index))
        getModelAsRemoteFileTreeModel()->removeFromExpandedItems(item);
}
