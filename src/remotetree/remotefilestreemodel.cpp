#include "remotefilestreemodel.h"

#include "base/logging.h"
#include "base/settings.h"
#include "gui/themedicon.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "wire/wire.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QColor>
#include <QIcon>
#include <QMessageBox>
#include <QMimeData>
#include <QThreadPool>
#include <QUrl>

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>

namespace {

const QString UriListType = QString::fromLatin1(Wire::DragPayloadType);

QIcon resourceIcon(const QString &name)
{
    return ThemedIcon::get(name);
}

RemoteFilesTreeItem *folderOf(RemoteFilesTreeItem *item)
{
    while (item && !item->isDir())
        item = item->parent();
    return item;
}

} // namespace

bool RemoteFilesTreeModel::sortKeyOf(int column, RemoteFilesTreeItem::SortKey &key)
{
    switch (column) {
    case 0: key = RemoteFilesTreeItem::SortKey::Name; return true;
    case 1: key = RemoteFilesTreeItem::SortKey::Size; return true;
    case 4: key = RemoteFilesTreeItem::SortKey::Date; return true;
    default: return false;
    }
}

QString RemoteFilesTreeModel::rootFolderName(const QString &login)
{
    return tr("%1's My Kelvarhold").arg(login);
}

RemoteFilesTreeModel::RemoteFilesTreeModel(QObject *parent)
    : RemoteFilesTreeModel(std::make_shared<RemoteTree>(), parent)
{
}

RemoteFilesTreeModel::RemoteFilesTreeModel(const QString &list, QObject *parent,
                                           int sortColumn, Qt::SortOrder order)
    : RemoteFilesTreeModel(
        RemoteTree::fromList(list, rootFolderName(Settings::getInstance()->getLogin())), parent)
{
    RemoteFilesTreeItem::SortKey key = RemoteFilesTreeItem::SortKey::Name;
    if (sortKeyOf(sortColumn, key)) {
        rowOrder = {sortColumn, order};
        builtOrder = rowOrder;
    }
}

RemoteFilesTreeModel::RemoteFilesTreeModel(std::shared_ptr<RemoteTree> builtTree, QObject *parent)
    : QAbstractItemModel(parent), tree(std::move(builtTree)), rootItem(tree->top()),
      realRootItem(tree->userRoot())
{
    if (tree->isSorted()) {
        const RemoteFilesTreeItem::SortKey key = tree->sortedKey();
        const int column = key == RemoteFilesTreeItem::SortKey::Name ? 0
            : key == RemoteFilesTreeItem::SortKey::Size              ? 1
                                                                     : 4;
        rowOrder = {column, tree->sortedOrder()};
        builtOrder = rowOrder;
        allOrdered = true;
    }
    freeTimer.setInterval(FreeRetryMs);
    freeTimer.setSingleShot(true);
    connect(&freeTimer, &QTimer::timeout, this, &RemoteFilesTreeModel::freeTakenOutWhenUnused);
}

void RemoteFilesTreeModel::setScheduler(MainNetworkThread *newScheduler)
{
    if (newScheduler == scheduler)
        return;
    if (scheduler) {
        disconnect(this, nullptr, scheduler, nullptr);
        disconnect(scheduler, nullptr, this, nullptr);
    }
    scheduler = newScheduler;
    if (!scheduler)
        return;
    if (realRootItem) {
        // Moves and folder creations from drops go to the scheduler's thread, queued.
        connect(this, &RemoteFilesTreeModel::moveDirClicked, scheduler, &MainNetworkThread::moveDir);
        connect(this, &RemoteFilesTreeModel::moveFileClicked, scheduler, &MainNetworkThread::moveFile);
        connect(this, &RemoteFilesTreeModel::createNewDir, scheduler, &MainNetworkThread::createDir);
    }
    // Queued: the scheduler lives on its own thread. Unique, so a second connection
    // made elsewhere cannot queue every upload twice.
    connect(this, &RemoteFilesTreeModel::uploadFile, scheduler, &MainNetworkThread::uploadFile,
            Qt::UniqueConnection);
    // What the scheduler's commands did comes back here, to the GUI thread.
    connect(scheduler, &MainNetworkThread::remoteItemChanged, this,
            &RemoteFilesTreeModel::applyChange, Qt::UniqueConnection);
}

MainNetworkThread *RemoteFilesTreeModel::getScheduler() const
{
    return scheduler;
}

RemoteFilesTreeModel::~RemoteFilesTreeModel()
{
    // A million items take a while to free: not on the GUI thread, which goes on to
    // show the next list. Commands still using the tree keep it alive regardless.
    if (tree.use_count() == 1 && tree->itemCount() >= FreeAsideItems)
        QThreadPool::globalInstance()->start([doomed = std::move(tree)]() mutable { doomed.reset(); });
}

RemoteFilesTreeItem *RemoteFilesTreeModel::itemFromIndex(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<RemoteFilesTreeItem *>(index.internalPointer()) : nullptr;
}

QModelIndex RemoteFilesTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    RemoteFilesTreeItem *parentItem = parent.isValid() ? itemFromIndex(parent) : rootItem;
    ensureOrdered(parentItem);
    RemoteFilesTreeItem *child = parentItem->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex RemoteFilesTreeModel::parent(const QModelIndex &index) const
{
    RemoteFilesTreeItem *item = itemFromIndex(index);
    if (!item)
        return QModelIndex();
    RemoteFilesTreeItem *parentItem = item->parent();
    if (!parentItem || parentItem == rootItem)
        return QModelIndex();
    return createIndex(orderedRow(parentItem), 0, parentItem);
}

int RemoteFilesTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    RemoteFilesTreeItem *item = parent.isValid() ? itemFromIndex(parent) : rootItem;
    return item->childCount();
}

int RemoteFilesTreeModel::columnCount(const QModelIndex &) const
{
    return 5;
}

QVariant RemoteFilesTreeModel::data(const QModelIndex &index, int role) const
{
    RemoteFilesTreeItem *item = itemFromIndex(index);
    if (!item)
        return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return item->data(column);
    case Qt::DecorationRole:
        if (column == 0) {
            if (item == realRootItem)
                return resourceIcon(QStringLiteral("aboutIcon"));
            if (item->isDeleted())
                return resourceIcon(item->isDir() ? QStringLiteral("deletedDirIcon")
                                                  : QStringLiteral("deletedFileIcon"));
            return iconProvider.icon(item->isDir() ? QFileIconProvider::Folder
                                                   : QFileIconProvider::File);
        }
        if (column == 3 && item != realRootItem) {
            if (!item->isFileAvailable())
                return resourceIcon(QStringLiteral("notAvailableIcon"));
            return resourceIcon(item->isUploaded() ? QStringLiteral("uploadedIcon")
                                                   : QStringLiteral("notUploadedIcon"));
        }
        return QVariant();
    case Qt::ForegroundRole:
        if (!failedItems.isEmpty() && failedItems.contains(item->getItemSelfId()))
            return QColor(Qt::red).darker(120);
        return QVariant();
    case Qt::ToolTipRole:
        if (!failedItems.isEmpty() && column == 0) {
            const auto failure = failedItems.constFind(item->getItemSelfId());
            if (failure != failedItems.constEnd())
                return tr("Failed: %1").arg(*failure);
        }
        if (column == 3 && !item->isFileAvailable())
            return item->isDir() ? tr("Directory partially not available.")
                                 : tr("File not available.");
        return QVariant();
    case Qt::TextAlignmentRole:
        return column == 1 ? int(Qt::AlignRight) : int(Qt::AlignLeft);
    case Qt::AccessibleTextRole:
        return column == 0 ? item->data(0) : QVariant();
    case Qt::AccessibleDescriptionRole:
        // A screen reader announces a row by its first cell: what the eye reads from
        // the type, size and sync columns and the row's icons.
        return column == 0 ? accessibleDescription(item) : QVariant();
    default:
        return QVariant();
    }
}

QString RemoteFilesTreeModel::accessibleDescription(RemoteFilesTreeItem *item) const
{
    if (item == realRootItem)
        return tr("Your storage");
    QString state;
    const auto failure = failedItems.constFind(item->getItemSelfId());
    if (failure != failedItems.constEnd())
        state = tr("failed: %1").arg(*failure);
    else if (item->isDeleted())
        state = tr("being deleted");
    else if (!item->isFileAvailable())
        state = tr("not available");
    else
        state = item->isUploaded() ? tr("on the server") : tr("waiting to be sent");
    if (item->isDir())
        return tr("Folder, %1", "%1 is the sync state").arg(state);
    return tr("File of %1, %2", "%1 is the size, %2 the sync state").arg(item->data(1).toString(), state);
}

QVariant RemoteFilesTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QAbstractItemModel::headerData(section, orientation, role);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 0:
        return tr("Name");
    case 1:
        return tr("Size");
    case 2:
        return tr("Type", "All other platforms");
    case 3:
        return tr("Sync");
    case 4:
        return tr("Date Modified");
    default:
        return QVariant();
    }
}

Qt::ItemFlags RemoteFilesTreeModel::flags(const QModelIndex &index) const
{
    // The empty space below the rows drops into the user's root folder. An invalid index
    // is no item, so it takes only the drop flag (item views reject anything more); a
    // model without a list has nothing to drop into.
    if (!index.isValid())
        return realRootItem ? Qt::ItemIsDropEnabled : Qt::NoItemFlags;
    const Qt::ItemFlags common = Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled;
    return itemFromIndex(index)->isDir() ? common | Qt::ItemIsDropEnabled : common;
}

void RemoteFilesTreeModel::sort(int column, Qt::SortOrder order)
{
    // Type and Sync have no order of their own: no row moves, so neither a walk over
    // the tree nor a new layout (100 ms at a million items); the expansion is still
    // collapsed and restored. Nor does the first sort in the order the model was built
    // in (the view asks for it as the model is set).
    RemoteFilesTreeItem::SortKey key = RemoteFilesTreeItem::SortKey::Name;
    const bool alreadyInOrder = std::exchange(builtOrder, {-1, Qt::AscendingOrder})
        == std::pair<int, Qt::SortOrder>(column, order);
    if (!sortKeyOf(column, key) || alreadyInOrder) {
        syncExpandedItems();
        return;
    }
    Q_EMIT layoutAboutToBeChanged();
    sortByColumn(column, realRootItem, order);
    // What a view shows or remembers is put in order now; every other folder when its
    // rows are first asked for. A million items sorted at once held the window half a
    // second; the folders open at a click are a small part of them.
    const QModelIndexList remembered = persistentIndexList();
    for (const QModelIndex &index : remembered)
        orderPathTo(itemFromIndex(index));
    for (RemoteFilesTreeItem *folder : std::as_const(expandedItems)) {
        orderPathTo(folder);
        ensureOrdered(folder);
    }
    finishLayoutChange();
    // After the layout change, so the view expands indexes that are already valid.
    syncExpandedItems();
}

void RemoteFilesTreeModel::sortByColumn(int column, RemoteFilesTreeItem *item, Qt::SortOrder order)
{
    // The tree below item takes the new order, each folder when it is next asked for
    // (ensureOrdered); item's own rows at once.
    rowOrder = {column, order};
    orderedFolders.clear();
    allOrdered = false;
    ensureOrdered(item);
}

void RemoteFilesTreeModel::ensureOrdered(RemoteFilesTreeItem *folder) const
{
    RemoteFilesTreeItem::SortKey key = RemoteFilesTreeItem::SortKey::Name;
    if (allOrdered || !folder || !sortKeyOf(rowOrder.first, key) || orderedFolders.contains(folder))
        return;
    orderedFolders.insert(folder);
    folder->sortChildItems(key, rowOrder.second);
}

void RemoteFilesTreeModel::orderPathTo(RemoteFilesTreeItem *item) const
{
    for (RemoteFilesTreeItem *up = item ? item->parent() : nullptr; up; up = up->parent())
        ensureOrdered(up);
}

int RemoteFilesTreeModel::orderedRow(const RemoteFilesTreeItem *item) const
{
    ensureOrdered(item->parent());
    return item->row();
}

void RemoteFilesTreeModel::addToExpandedItems(RemoteFilesTreeItem *item)
{
    expandedItems.append(item);
}

void RemoteFilesTreeModel::removeFromExpandedItems(RemoteFilesTreeItem *item)
{
    expandedItems.removeOne(item);
}

void RemoteFilesTreeModel::syncExpandedItems()
{
    // Taken first: the view's collapseAll() reports every folder it closes as
    // collapsed, which would empty the list before it is read.
    const QList<RemoteFilesTreeItem *> expanded = std::exchange(expandedItems, {});
    Q_EMIT collapseAllItems();
    for (RemoteFilesTreeItem *item : expanded) {
        const int row = orderedRow(item);
        if (row >= 0)
            Q_EMIT expandItem(createIndex(row, 0, item));
    }
}

void RemoteFilesTreeModel::finishLayoutChange()
{
    // Sorting moved rows: re-point persistent indexes at their items.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from) {
        const QModelIndex now = indexForLinkedItem(itemFromIndex(index));
        to.append(now.isValid() ? createIndex(now.row(), index.column(), now.internalPointer())
                                : QModelIndex());
    }
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged();
}

RemoteFilesTreeItem *RemoteFilesTreeModel::getItemByInnerId(quint64 id, bool isDir,
                                                            RemoteFilesTreeItem *start) const
{
    if (!start)
        start = realRootItem;
    QList<RemoteFilesTreeItem *> pending;
    if (start)
        pending.append(start);
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *item = pending.takeLast();
        if (item->getItemInnerId() == id && item->isDir() == isDir)
            return item;
        const QList<RemoteFilesTreeItem *> children = item->getChildItems();
        for (auto it = children.crbegin(); it != children.crend(); ++it) {
            if (!isDir || (*it)->isDir())
                pending.append(*it);
        }
    }
    return nullptr;
}

RemoteFilesTreeItem *RemoteFilesTreeModel::getItemBySelfId(quint64 selfId) const
{
    return tree->itemBySelfId(selfId);
}

QModelIndex RemoteFilesTreeModel::getIndexByItem(RemoteFilesTreeItem *item,
                                                 const QModelIndex &rootIndex) const
{
    QList<RemoteFilesTreeItem *> chain;
    for (RemoteFilesTreeItem *up = item; up && up->parent(); up = up->parent())
        chain.append(up);
    QModelIndex result = rootIndex;
    for (auto it = chain.crbegin(); it != chain.crend(); ++it)
        result = index(orderedRow(*it), 0, result);
    return result;
}

QModelIndex RemoteFilesTreeModel::indexForLinkedItem(RemoteFilesTreeItem *item) const
{
    QList<RemoteFilesTreeItem *> chain;
    RemoteFilesTreeItem *up = item;
    for (; up && up != rootItem; up = up->parent()) {
        if (!up->parent() || orderedRow(up) < 0)
            return QModelIndex();
        chain.append(up);
    }
    if (up != rootItem)
        return QModelIndex();
    QModelIndex result;
    for (auto it = chain.crbegin(); it != chain.crend(); ++it)
        result = index(orderedRow(*it), 0, result);
    return result;
}

void RemoteFilesTreeModel::setItemFailure(RemoteFilesTreeItem *item, const QString &cause)
{
    const QModelIndex index = indexForLinkedItem(item);
    if (!index.isValid())
        return;
    if (cause.isEmpty()) {
        if (failedItems.remove(item->getItemSelfId()) == 0)
            return;
    } else {
        failedItems.insert(item->getItemSelfId(), cause);
    }
    Q_EMIT dataChanged(index, index.siblingAtColumn(columnCount() - 1));
}

QString RemoteFilesTreeModel::getItemFailure(const RemoteFilesTreeItem *item) const
{
    return item ? failedItems.value(item->getItemSelfId()) : QString();
}

bool RemoteFilesTreeModel::discardUnsavedItem(RemoteFilesTreeItem *item)
{
    if (!isShown(item) || item == realRootItem || item->getItemInnerId() != 0)
        return false;
    takeOut(item);
    return true;
}

RemoteFilesTreeItem *RemoteFilesTreeModel::getItem(int row, const QModelIndex &parent) const
{
    RemoteFilesTreeItem *item = parent.isValid() ? itemFromIndex(parent) : realRootItem;
    ensureOrdered(item);
    return item ? item->child(row) : nullptr;
}

bool RemoteFilesTreeModel::insertItem(RemoteFilesTreeItem *folder, RemoteFilesTreeItem *item)
{
    folder = folderOf(folder);
    const QModelIndex folderIndex = indexForLinkedItem(folder);
    // A name already taken keeps the item out of the tree; its command still uses it.
    if (!folder || (!folderIndex.isValid() && folder != rootItem) || folder->containsChild(item)) {
        tree->registerSubtree(item);
        tree->keepTakenOut(item);
        return false;
    }
    // New rows go last: put the folder in order first, so that no later sort of it
    // moves rows the views already know.
    ensureOrdered(folder);
    const int row = folder->childCount();
    beginInsertRows(folderIndex, row, row);
    {
        const std::lock_guard<std::mutex> guard(tree->lock());
        folder->appendChild(item);
    }
    tree->registerSubtree(item);
    endInsertRows();
    return true;
}

void RemoteFilesTreeModel::takeOut(RemoteFilesTreeItem *item)
{
    RemoteFilesTreeItem *parent = item->parent();
    const QModelIndex index = indexForLinkedItem(item);
    if (index.isValid())
        beginRemoveRows(index.parent(), index.row(), index.row());
    if (parent) {
        const std::lock_guard<std::mutex> guard(tree->lock());
        parent->removeChild(item);
    }
    if (index.isValid())
        endRemoveRows();
    tree->keepTakenOut(item);
    freeTakenOutWhenUnused();
}

void RemoteFilesTreeModel::freeTakenOutWhenUnused()
{
    if (tree->takenOutItems().isEmpty())
        return;
    // The model's own share is the only one: no command, queued request or change on
    // its way names an item of this tree, and only this (the GUI) thread makes new ones.
    if (tree.use_count() > 1) {
        freeTimer.start();
        return;
    }
    // What the model remembers of the items goes with them.
    for (RemoteFilesTreeItem *taken : tree->takenOutItems()) {
        QList<RemoteFilesTreeItem *> pending{taken};
        while (!pending.isEmpty()) {
            RemoteFilesTreeItem *next = pending.takeLast();
            expandedItems.removeAll(next);
            orderedFolders.remove(next);
            failedItems.remove(next->getItemSelfId());
            pending.append(next->getChildItems());
        }
    }
    tree->freeTakenOut();
}

void RemoteFilesTreeModel::emitRowChanged(RemoteFilesTreeItem *item)
{
    const QModelIndex index = indexForLinkedItem(item);
    if (index.isValid())
        Q_EMIT dataChanged(index, index.siblingAtColumn(columnCount() - 1));
}

void RemoteFilesTreeModel::applyChange(const RemoteItemChange &change)
{
    RemoteFilesTreeItem *item = change.target.item();
    if (!item || change.target.tree() != tree)
        return;
    {
        const std::lock_guard<std::mutex> guard(tree->lock());
        switch (change.kind) {
        case RemoteItemChange::FolderCreated:
            item->setItemInnerId(change.id);
            break;
        case RemoteItemChange::FileUploaded:
        case RemoteItemChange::UrlUploaded:
            item->setItemInnerId(change.id);
            if (change.kind == RemoteItemChange::UrlUploaded)
                item->setItemInnerSize(change.size);
            item->setItemExternalDownloadUrl(
                Wire::downloadAddress(change.downloadSegment, item->getItemInnerName()));
            item->setFileAvailable(true);
            break;
        case RemoteItemChange::None:
        case RemoteItemChange::Moved:
        case RemoteItemChange::Deleted:
        case RemoteItemChange::ParamsSet:
            break;
        }
        tree->forgetGrantedId(item);
        if (change.kind != RemoteItemChange::None && change.kind != RemoteItemChange::Deleted)
            item->setUploaded(true);
    }
    if (change.kind == RemoteItemChange::Deleted)
        takeOut(item);
    else
        emitRowChanged(item);
    freeTakenOutWhenUnused();
}

void RemoteFilesTreeModel::renameItem(RemoteFilesTreeItem *item, const QString &name)
{
    {
        const std::lock_guard<std::mutex> guard(tree->lock());
        item->setItemInnerName(name);
        item->setUploaded(false);
    }
    emitRowChanged(item);
}

void RemoteFilesTreeModel::setItemSearchable(RemoteFilesTreeItem *item, bool searchable)
{
    {
        const std::lock_guard<std::mutex> guard(tree->lock());
        item->setItemSearchable(searchable);
        item->setUploaded(false);
    }
    emitRowChanged(item);
}

void RemoteFilesTreeModel::setItemDescription(RemoteFilesTreeItem *item, const QString &description)
{
    {
        const std::lock_guard<std::mutex> guard(tree->lock());
        item->setItemDescription(description);
        item->setUploaded(false);
    }
    emitRowChanged(item);
}

void RemoteFilesTreeModel::setItemPassword(RemoteFilesTreeItem *item, const QString &password)
{
    {
        const std::lock_guard<std::mutex> guard(tree->lock());
        item->setItemPassword(password);
        item->setItemPasswordModify();
        item->setUploaded(false);
    }
    emitRowChanged(item);
}

void RemoteFilesTreeModel::markDeleted(RemoteFilesTreeItem *item)
{
    // A list of its own, not a call per level: a list may nest folders a million deep.
    QList<RemoteFilesTreeItem *> pending{item};
    {
        const std::lock_guard<std::mutex> guard(tree->lock());
        while (!pending.isEmpty()) {
            RemoteFilesTreeItem *next = pending.takeLast();
            next->setItemDeleted(true);
            next->setUploaded(false);
            if (next->isDir())
                pending.append(next->getChildItems());
        }
    }
    // Rows below item show only inside folders the view has open: those are told, each
    // folder's rows as one range; the others are read afresh when opened.
    emitRowChanged(item);
    for (RemoteFilesTreeItem *folder : std::as_const(expandedItems)) {
        if (folder != item && !item->ancestorFor(folder))
            continue;
        const QModelIndex at = indexForLinkedItem(folder);
        if (at.isValid() && folder->childCount() > 0)
            Q_EMIT dataChanged(index(0, 0, at), index(folder->childCount() - 1, columnCount() - 1, at));
    }
}

RemoteFilesTreeItem *RemoteFilesTreeModel::addNewFolder(RemoteFilesTreeItem *folder,
                                                        const QString &name)
{
    return addUrlFile(folder, name, QString());
}

RemoteFilesTreeItem *RemoteFilesTreeModel::addUrlFile(RemoteFilesTreeItem *folder,
                                                      const QString &name, const QString &url)
{
    folder = folderOf(folder);
    if (!folder)
        return nullptr;
    const bool isDir = url.isEmpty();
    const RemoteFileInfo info(0, folder->getItemInnerId(), isDir, name, 0,
                              QDateTime::currentDateTime(), false);
    auto *item = new RemoteFilesTreeItem(info, folder);
    if (!isDir)
        item->setItemUrl(url);
    if (!insertItem(folder, item))
        return nullptr;
    return item;
}

bool RemoteFilesTreeModel::moveItem(RemoteFilesTreeItem *item, RemoteFilesTreeItem *folder)
{
    RemoteFilesTreeItem *oldParent = item->parent();
    const QModelIndex from = indexForLinkedItem(item);
    const QModelIndex to = indexForLinkedItem(folder);
    if (!from.isValid() || !to.isValid() || item == folder || folder->containsChild(item)
        || item->ancestorFor(folder) || !oldParent)
        return false;
    ensureOrdered(folder);
    if (!beginMoveRows(from.parent(), from.row(), from.row(), to, folder->childCount()))
        return false;
    {
        const std::lock_guard<std::mutex> guard(tree->lock());
        folder->appendChild(item);
        oldParent->removeChild(item);
        item->setUploaded(false);
    }
    endMoveRows();
    return true;
}

QStringList RemoteFilesTreeModel::mimeTypes() const
{
    return {UriListType};
}

QMimeData *RemoteFilesTreeModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex &index : indexes) {
        RemoteFilesTreeItem *item = itemFromIndex(index);
        if (!item || index.column() != 0)
            continue;
        urls.append(QUrl(Wire::encodeDragEntry(item->isDir(), item->getItemInnerId(),
                                               item->getItemSelfId())));
    }
    auto *data = new QMimeData();
    data->setUrls(urls);
    return data;
}

Qt::DropActions RemoteFilesTreeModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions RemoteFilesTreeModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

bool RemoteFilesTreeModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row,
                                        int column, const QModelIndex &parent)
{
    if (action == Qt::IgnoreAction)
        return true;
    if (!data || !data->hasFormat(UriListType) || column > 0)
        return false;

    RemoteFilesTreeItem *target = parent.isValid() ? itemFromIndex(parent) : realRootItem;
    if (target && row >= 0 && row < target->childCount())
        target = target->child(row);
    target = folderOf(target);
    // No list yet (no user's root folder), or a folder waiting for deletion.
    if (!target || target->isDeleted())
        return false;

    for (const QUrl &url : data->urls()) {
        const Wire::DragEntry entry = Wire::decodeDragEntry(url.toString());
        if (entry.kind == Wire::DragEntry::Unreadable) {
            qCDebug(lcRemoteTree) << "drop: skipping" << url;
            continue;
        }
        if (entry.kind != Wire::DragEntry::Other) {
            const quint64 selfId = entry.selfId;
            RemoteFilesTreeItem *item = selfId ? getItemBySelfId(selfId) : nullptr;
            // The hidden top item and a user's root folder cannot be moved anywhere, nor
            // can an item already taken out of the tree.
            if (!item || !item->parent() || !item->parent()->parent() || !isShown(item)) {
                qCDebug(lcRemoteTree) << "drop: no movable item for" << url;
                continue;
            }
            moveItem(item, target);
            if (item->isDir())
                Q_EMIT moveDirClicked(refFor(item));
            else
                Q_EMIT moveFileClicked(refFor(item));
            continue;
        }
        // Anything else must name a local file; web addresses and the like are skipped.
        if (!url.isLocalFile()) {
            qCDebug(lcRemoteTree) << "drop: not a local file, skipping" << url;
            continue;
        }
        const QFileInfo fileInfo(url.toLocalFile());
        qCDebug(lcRemoteTree) << "first path" << fileInfo.filePath() << " path" << fileInfo.path()
                              << " isSymLink" << fileInfo.isSymLink();
        addNewItemToModel(fileInfo, target);
    }
    showUploadRefusals();
    return true;
}

RemoteFilesTreeItem *RemoteFilesTreeModel::makeLocalItem(const QFileInfo &fileInfo,
                                                         RemoteFilesTreeItem *parent,
                                                         const QDateTime &now)
{
    const RemoteFileInfo info(0, parent->getItemInnerId(), fileInfo.isDir(), fileInfo.fileName(),
                              fileInfo.isDir() ? 0 : quint64(fileInfo.size()), now, false);
    auto *item = new RemoteFilesTreeItem(info, parent);
    item->setLocalPathForUpload(fileInfo.absoluteFilePath());
    return item;
}

void RemoteFilesTreeModel::addNewItemToModel(const QFileInfo &givenInfo, RemoteFilesTreeItem *parent)
{
    // "dir/" would have no name, and would look through a symbolic link named dir.
    const QFileInfo fileInfo(QDir::cleanPath(givenInfo.absoluteFilePath()));
    if (fileInfo.isRoot() || fileInfo.isSymLink())
        return;
    if (!fileInfo.exists()) {
        qCDebug(lcRemoteTree) << "no such local file, skipping" << fileInfo.filePath();
        return;
    }
    if (!fileInfo.isDir() && !fileInfo.isFile()) {
        refuseUpload(fileInfo.filePath());
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    parent = folderOf(parent ? parent : realRootItem);
    if (!parent)
        return;

    RemoteFilesTreeItem *item = makeLocalItem(fileInfo, parent, now);
    if (!fileInfo.isDir()) {
        insertItem(parent, item);
        Q_EMIT uploadFile(refFor(item));
        return;
    }
    // The folder's contents are linked below it before it joins the tree: the views are
    // told of one new row.
    QList<RemoteFilesTreeItem *> folders;
    QList<RemoteFilesTreeItem *> files;
    addContentsOfDir(fileInfo.absoluteFilePath(), item, folders, files);
    insertItem(parent, item);
    Q_EMIT createNewDir(refFor(item));
    for (RemoteFilesTreeItem *folder : std::as_const(folders))
        Q_EMIT createNewDir(refFor(folder));
    for (RemoteFilesTreeItem *file : std::as_const(files))
        Q_EMIT uploadFile(refFor(file));
}

void RemoteFilesTreeModel::addContentsOfDir(const QString &path, RemoteFilesTreeItem *parent,
                                            QList<RemoteFilesTreeItem *> &folders,
                                            QList<RemoteFilesTreeItem *> &files)
{
    // System entries too, so that a pipe or device inside is named to the user rather
    // than left out silently.
    const QFileInfoList entries = QDir(path).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    const QDateTime now = QDateTime::currentDateTime();
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink()) {
            qCDebug(lcRemoteTree) << "Symlink detected! Skipping it." << entry.filePath();
            continue;
        }
        const QFileInfo full(path + QDir::separator() + entry.fileName());
        if (!full.isDir() && !full.isFile()) {
            refuseUpload(full.filePath());
            continue;
        }
        RemoteFilesTreeItem *item = makeLocalItem(full, parent, now);
        // A name already taken keeps the item out of the tree; its command still uses it.
        if (!parent->appendChild(item)) {
            tree->registerSubtree(item);
            tree->keepTakenOut(item);
        }
        if (full.isDir()) {
            folders.append(item);
            addContentsOfDir(full.absoluteFilePath(), item, folders, files);
        } else {
            files.append(item);
        }
    }
}

void RemoteFilesTreeModel::refuseUpload(const QString &path)
{
    qCDebug(lcRemoteTree) << "not a regular file, not uploaded:" << path;
    refusedUploads.append(path);
}

void RemoteFilesTreeModel::showUploadRefusals()
{
    if (refusedUploads.isEmpty())
        return;
    const QStringList refused = std::exchange(refusedUploads, {});
    constexpr int Shown = 10;
    QStringList shown = refused.mid(0, Shown);
    if (refused.size() > Shown)
        shown.append(tr("... and %n more.", nullptr, int(refused.size() - Shown)));
    QMessageBox box(QMessageBox::Warning, tr("Upload refused"),
                    tr("Only regular files and folders can be uploaded. These are pipes, devices "
                       "or sockets and were not uploaded:")
                        + QLatin1Char('\n') + shown.join(QLatin1Char('\n')),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    if (refused.size() > Shown)
        box.setDetailedText(refused.join(QLatin1Char('\n')));
    box.exec();
}
