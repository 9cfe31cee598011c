#include "remotetree.h"

#include "base/logging.h"
#include "wire/wire.h"

#include <QDateTime>

#include <algorithm>
#include <limits>
#include <numeric>

RemoteTree::RemoteTree() : topItem(new RemoteFilesTreeItem())
{
    bySelfId.insert(topItem->getItemSelfId(), topItem);
}

RemoteTree::~RemoteTree()
{
    // Taken-out items no longer hang in the tree: each is freed with what is below it.
    qDeleteAll(takenOut);
    delete topItem;
}

std::shared_ptr<RemoteTree> RemoteTree::fromList(QStringView list, const QString &rootName)
{
    auto tree = std::make_shared<RemoteTree>();
    const RemoteFileInfo rootInfo(0, 0, true, rootName, 0,
                                  QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch()),
                                  true);
    tree->rootItem = new RemoteFilesTreeItem(rootInfo, tree->topItem);
    tree->topItem->appendChild(tree->rootItem);
    tree->bySelfId.insert(tree->rootItem->getItemSelfId(), tree->rootItem);
    tree->build(list);
    return tree;
}

void RemoteTree::sortAllFolders(RemoteFilesTreeItem::SortKey key, Qt::SortOrder order)
{
    // A list of its own rather than a call per level: folders may nest a million deep.
    QList<RemoteFilesTreeItem *> pending{topItem};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *folder = pending.takeLast();
        folder->sortChildItems(key, order);
        for (RemoteFilesTreeItem *child : folder->getChildItems()) {
            if (child->isDir() && child->childCount() > 0)
                pending.append(child);
        }
    }
    sorted = true;
    sortKey = key;
    sortOrder = order;
}

void RemoteTree::registerSubtree(RemoteFilesTreeItem *item)
{
    QList<RemoteFilesTreeItem *> pending{item};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *next = pending.takeLast();
        bySelfId.insert(next->getItemSelfId(), next);
        pending.append(next->getChildItems());
    }
}

void RemoteTree::forgetSubtree(RemoteFilesTreeItem *item)
{
    QList<RemoteFilesTreeItem *> pending{item};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *next = pending.takeLast();
        bySelfId.remove(next->getItemSelfId());
        grantedIds.remove(next);
        pending.append(next->getChildItems());
    }
}

void RemoteTree::keepTakenOut(RemoteFilesTreeItem *item)
{
    if (item && !takenOut.contains(item))
        takenOut.append(item);
}

void RemoteTree::freeTakenOut()
{
    const QList<RemoteFilesTreeItem *> items = std::exchange(takenOut, {});
    for (RemoteFilesTreeItem *item : items)
        forgetSubtree(item);
    qDeleteAll(items);
}

void RemoteTree::noteGrantedId(const RemoteFilesTreeItem *item, quint64 id)
{
    grantedIds.insert(item, id);
}

quint64 RemoteTree::idOf(const RemoteFilesTreeItem *item) const
{
    return grantedIds.isEmpty() ? item->getItemInnerId()
                                : grantedIds.value(item, item->getItemInnerId());
}

// What building keeps of each listed line: small records (32 bytes) in list order,
// which the passes below run through instead of chasing items over the heap. Indices
// are 32-bit: a list of 2^31 lines would be tens of gigabytes of text.
struct RemoteTree::ListedItem
{
    // parent when the parent id names no folder of the list: the item goes to the top.
    static constexpr qint32 NoFolder = -1;
    static constexpr qsizetype MaxCount = std::numeric_limits<qint32>::max() - 1;

    const QChar *line;
    quint64 parentId;
    // Made and linked into the tree; null until then, and for lines never reached.
    RemoteFilesTreeItem *item;
    quint32 length;
    // Index of the folder that parentId names, or NoFolder.
    qint32 parent;

    QStringView text() const { return QStringView(line, qsizetype(length)); }
};


namespace {

// The line was read once to place it; its fields are read again here, as it is made,
// rather than kept for a million lines.
RemoteFilesTreeItem *makeListedItem(QStringView line, RemoteFilesTreeItem *top)
{
    Wire::ListLine listed;
    Wire::parseListLine(line, listed);
    RemoteFileInfo info(listed.id, listed.parentId, listed.isDir, listed.name.toString(),
                        listed.size, listed.date, true);
    if (listed.isDir) {
        info.setFileAvailable(true);
    } else {
        info.setExternalDownloadUrl(Wire::downloadAddress(listed.downloadSegment, info.getName()));
        info.setFileAvailable(listed.available);
    }
    if (!listed.description.isEmpty())
        info.setDescription(Wire::decodeDescription(listed.description));
    info.setSearchable(listed.searchable);
    qCDebug(lcRemoteTree) << "url1 setted as " << info.getExternalDownloadUrl();
    auto *item = new RemoteFilesTreeItem(std::move(info), top);
    qCDebug(lcRemoteTree) << "url2 setted as " << item->getItemExternalDownloadUrl();
    return item;
}

} // namespace

void RemoteTree::build(QStringView list)
{
    // No lock: nobody else sees the tree while it is built.
    static_assert(sizeof(void *) != 8 || sizeof(ListedItem) == 32);
    RemoteFilesTreeItem *const top = rootItem;
    qsizetype lineCount = 1;
    for (qsizetype at = list.indexOf(u'\n'); at >= 0; at = list.indexOf(u'\n', at + 1))
        ++lineCount;
    bySelfId.reserve(lineCount + 2);

    // First the lines' places: which folder each one names as its parent.
    QList<ListedItem> listed;
    listed.reserve(lineCount);
    // Folder id to the folder's index in listed; a later folder with the same id
    // replaces the earlier one.
    QHash<quint64, qint32> folders;
    for (QStringView line : list.tokenize(u'\n')) {
        qCDebug(lcRemoteTree) << "Parsing item " << line;
        Wire::ListPlace values;
        // A line of 2^32 characters or more (8 GB) is beyond any real list: unreadable.
        if (line.size() > qsizetype(std::numeric_limits<quint32>::max())
            || !Wire::parseListPlace(line, values))
            continue;
        if (listed.size() == ListedItem::MaxCount)
            break;
        // Id 0 is what an unreadable id reads as; such a folder must not collect the
        // top level (and itself) and so hide the whole tree.
        if (values.isDir && values.id != 0)
            folders.insert(values.id, qint32(listed.size()));
        listed.append({line.data(), values.parentId, nullptr, quint32(line.size()),
                       ListedItem::NoFolder});
    }

    // Each folder's children in list order, by counting: the children of the folder
    // at index f are grouped[groupStart[f]] up to grouped[groupStart[f + 1]].
    QList<qint32> underTop;
    QList<qint32> groupStart(listed.size() + 1, 0);
    for (qint32 at = 0; at < qint32(listed.size()); ++at) {
        ListedItem &entry = listed[at];
        entry.parent = folders.value(entry.parentId, ListedItem::NoFolder);
        if (entry.parent == ListedItem::NoFolder)
            underTop.append(at);
        else
            ++groupStart[entry.parent];
    }
    folders = {};
    std::partial_sum(groupStart.cbegin(), groupStart.cend(), groupStart.begin());
    QList<qint32> grouped(groupStart.last());
    for (qint32 at = qint32(listed.size()) - 1; at >= 0; --at) {
        if (listed[at].parent != ListedItem::NoFolder)
            grouped[--groupStart[listed[at].parent]] = at;
    }
    // The top level and the orphans, grouped by the parent id they name, ascending.
    std::stable_sort(underTop.begin(), underTop.end(), [&listed](qint32 a, qint32 b) {
        return listed[a].parentId < listed[b].parentId;
    });

    // Then the tree, from the top down, a folder's whole group at a time: items are
    // made just before their folder takes them, so siblings lie side by side in memory
    // and the name check against them stays cheap however long the list. Only what
    // hangs below the top is ever reached: folders on a loop of parent ids, what lies
    // below them and below a refused folder (a name already taken) make no items, and
    // no item can end up in its own child list.
    QList<qint32> pending;
    const auto take = [&](qint32 at, RemoteFilesTreeItem *folder) {
        ListedItem &entry = listed[at];
        RemoteFilesTreeItem *item = makeListedItem(entry.text(), top);
        qCDebug(lcRemoteTree) << "adding item " << item->getItemInnerName() << "to parent "
                              << folder->getItemInnerName();
        if (!folder->appendListedChild(item)) {
            delete item;
            return;
        }
        entry.item = item;
        bySelfId.insert(item->getItemSelfId(), item);
        if (item->isDir())
            listedFolders.insert(item->getItemInnerId(), item);
        if (!item->isFileAvailable())
            markUnavailable(listed, entry.parent);
        if (groupStart[at] < groupStart[at + 1])
            pending.append(at);
    };
    for (qint32 at : std::as_const(underTop))
        take(at, top);
    for (qsizetype done = 0; done < pending.size(); ++done) {
        const qint32 folder = pending[done];
        for (qint32 child = groupStart[folder]; child < groupStart[folder + 1]; ++child)
            take(grouped[child], listed[folder].item);
    }
}

void RemoteTree::markUnavailable(const QList<ListedItem> &listed, qint32 folder)
{
    // Something not available now lies in folder: it and every folder above it are not
    // available. Listed folders start available, so one already marked was marked by this
    // walk, as were the folders above it: it stops there, and each folder is marked once
    // however deep the tree.
    qint32 at = folder;
    for (; at != ListedItem::NoFolder && listed[at].item->isFileAvailable();
         at = listed[at].parent)
        listed[at].item->setFileAvailable(false);
    if (at == ListedItem::NoFolder)
        rootItem->setFileAvailable(false);
}

