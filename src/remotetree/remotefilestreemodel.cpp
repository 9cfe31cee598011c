#include "remotefilestreemodel.h"

#include "logging.h"
#include "network/mainnetworkthread.h"
#include "remotefilestreeitem.h"
#include "settings.h"
#include "themedicon.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QColor>
#include <QIcon>
#include <QMessageBox>
#include <QMimeData>
#include <QMutexLocker>
#include <QUrl>

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>

namespace {

const QString UriListType = QStringLiteral("text/uri-list");

QIcon resourceIcon(const QString &name)
{
    return ThemedIcon::get(name);
}

// The item order of a column that has one; false for Type, Sync and anything else.
bool sortKeyOf(int column, RemoteFilesTreeItem::SortKey &key)
{
    switch (column) {
    case 0: key = RemoteFilesTreeItem::SortKey::Name; return true;
    case 1: key = RemoteFilesTreeItem::SortKey::Size; return true;
    case 4: key = RemoteFilesTreeItem::SortKey::Date; return true;
    default: return false;
    }
}

// The list's numbers are plain decimal digits; read those directly, as the library's
// general conversion (signs, spaces, range checks through the C locale) costs several
// times the rest of a line. Anything else goes to that conversion, so every field reads
// as it always did (0 when unreadable or out of range). Up to 19 digits fit in 64 bits.
constexpr qsizetype PlainDigitsMax = 19;

// Reads field when it is plain digits, in one pass; answers false otherwise.
bool readPlainDigits(QStringView field, quint64 &value)
{
    if (field.isEmpty() || field.size() > PlainDigitsMax)
        return false;
    value = 0;
    for (QChar c : field) {
        const unsigned digit = unsigned(c.unicode()) - u'0';
        if (digit > 9)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

quint64 readULongLong(QStringView field)
{
    quint64 value;
    return readPlainDigits(field, value) ? value : field.toULongLong();
}

// A value beyond the type's range reads as 0, as with the library's conversion.
uint readUInt(QStringView field)
{
    quint64 value;
    if (!readPlainDigits(field, value))
        return field.toUInt();
    return value <= std::numeric_limits<uint>::max() ? uint(value) : 0;
}

int readInt(QStringView field)
{
    quint64 value;
    if (!readPlainDigits(field, value))
        return field.toInt();
    return value <= quint64(std::numeric_limits<int>::max()) ? int(value) : 0;
}

// The first fields of a line, split at tabs as QStringView::split would; answers how
// many there are, at most FieldCount.
int splitFields(QStringView line, QStringView (&fields)[RemoteFilesTreeModel::FieldCount])
{
    int count = 0;
    const char16_t *start = line.utf16();
    const char16_t *const end = start + line.size();
    for (;;) {
        // std::find over a plain array is unrolled: the search is most of the cost.
        const char16_t *tab = std::find(start, end, u'\t');
        fields[count++] = QStringView(start, tab);
        if (tab == end || count == RemoteFilesTreeModel::FieldCount)
            return count;
        start = tab + 1;
    }
}

RemoteFilesTreeItem *folderOf(RemoteFilesTreeItem *item)
{
    while (item && !item->isDir())
        item = item->parent();
    return item;
}

} // namespace

RemoteFilesTreeModel::RemoteFilesTreeModel(QObject *parent)
    : QAbstractItemModel(parent), rootItem(new RemoteFilesTreeItem())
{
    connectToScheduler();
}

RemoteFilesTreeModel::RemoteFilesTreeModel(const QString &list, QObject *parent,
                                           int sortColumn, Qt::SortOrder order)
    : QAbstractItemModel(parent), rootItem(new RemoteFilesTreeItem())
{
    const RemoteFileInfo rootInfo(0, 0, true,
                                  tr("%1's My Kelvarhold").arg(Settings::getInstance()->getLogin()),
                                  0, QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch()),
                                  true);
    realRootItem = new RemoteFilesTreeItem(rootInfo, rootItem);
    rootItem->appendChild(realRootItem);
    setupModelData(list, realRootItem);
    RemoteFilesTreeItem::SortKey key = RemoteFilesTreeItem::SortKey::Name;
    if (sortKeyOf(sortColumn, key)) {
        rowOrder = {sortColumn, order};
        builtOrder = rowOrder;
    }
    // Moves and folder creations from drops go to the scheduler's thread, queued.
    const MainNetworkThread *net = MainNetworkThread::getInstance();
    connect(this, &RemoteFilesTreeModel::moveDirClicked, net, &MainNetworkThread::moveDir);
    connect(this, &RemoteFilesTreeModel::moveFileClicked, net, &MainNetworkThread::moveFile);
    connect(this, &RemoteFilesTreeModel::createNewDir, net, &MainNetworkThread::createDir);
    connectToScheduler();
}

void RemoteFilesTreeModel::connectToScheduler()
{
    // Queued: the scheduler lives on its own thread. Unique, so a second connection
    // made elsewhere cannot queue every upload twice.
    MainNetworkThread *scheduler = MainNetworkThread::getInstance();
    connect(this, &RemoteFilesTreeModel::uploadFile, scheduler, &MainNetworkThread::uploadFile,
            Qt::UniqueConnection);
}

RemoteFilesTreeModel::~RemoteFilesTreeModel()
{
    // A refused item may have been moved into a tree since; then that tree owns it.
    QList<RemoteFilesTreeItem *> loose;
    for (RemoteFilesTreeItem *item : std::as_const(unlinkedItems)) {
        if (item->row() < 0)
            loose.append(item);
    }
    qDeleteAll(loose);
    delete rootItem;
}

QString RemoteFilesTreeModel::downloadAddress(QStringView segment, const QString &name)
{
    // Written straight into one string of the exact length (a million of them stay in
    // the tree): the name as Latin-1 bytes, a character beyond Latin-1 becoming '?', and
    // every byte but letters, digits and "-._~" as %XX.
    static constexpr char Hex[] = "0123456789ABCDEF";
    const auto latin1 = [](QChar c) {
        return c.unicode() > 0xff ? uchar('?') : uchar(c.unicode());
    };
    // A table: two passes over every file name of the list ask it.
    static constexpr auto Unreserved = [] {
        std::array<bool, 256> table{};
        for (int byte = 0; byte < 256; ++byte) {
            table[byte] = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z')
                || (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_'
                || byte == '~';
        }
        return table;
    }();
    const auto unreserved = [](uchar byte) { return Unreserved[byte]; };
    const QLatin1String start("http://");
    const QLatin1String host(DownloadHost);
    const QLatin1String path("/dl/");
    qsizetype length = start.size() + host.size() + path.size() + segment.size() + 1;
    for (QChar c : name)
        length += unreserved(latin1(c)) ? 1 : 3;

    QString address(length, Qt::Uninitialized);
    QChar *out = address.data();
    for (QLatin1String part : {start, host, path}) {
        for (char c : part)
            *out++ = QLatin1Char(c);
    }
    out = std::copy(segment.begin(), segment.end(), out);
    *out++ = u'/';
    for (QChar c : name) {
        const uchar byte = latin1(c);
        if (unreserved(byte)) {
            *out++ = QLatin1Char(char(byte));
        } else {
            *out++ = u'%';
            *out++ = QLatin1Char(Hex[byte >> 4]);
            *out++ = QLatin1Char(Hex[byte & 0xf]);
        }
    }
    return address;
}

// What building keeps of each listed line: small records (32 bytes) in list order,
// which the passes below run through instead of chasing items over the heap. Indices
// are 32-bit: a list of 2^31 lines would be tens of gigabytes of text.
struct RemoteFilesTreeModel::ListedItem
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

RemoteFilesTreeItem *makeListedItem(QStringView line, RemoteFilesTreeItem *top)
{
    QStringView fields[RemoteFilesTreeModel::FieldCount];
    splitFields(line, fields);
    const bool isDir = readInt(fields[1]) != 0;
    RemoteFileInfo info(readULongLong(fields[0]), readULongLong(fields[3]), isDir,
                        fields[2].toString(), readULongLong(fields[4]), readUInt(fields[5]), true);
    if (isDir) {
        info.setFileAvailable(true);
    } else {
        info.setExternalDownloadUrl(
            RemoteFilesTreeModel::downloadAddress(fields[9], info.getName()));
        info.setFileAvailable(readInt(fields[10]) != 0);
    }
    if (!fields[6].isEmpty())
        info.setDescription(QString::fromLatin1(QByteArray::fromBase64(fields[6].toLatin1())));
    info.setSearchable(readInt(fields[7]) != 0);
    qCDebug(lcRemoteTree) << "url1 setted as " << info.getExternalDownloadUrl();
    auto *item = new RemoteFilesTreeItem(std::move(info), top);
    qCDebug(lcRemoteTree) << "url2 setted as " << item->getItemExternalDownloadUrl();
    return item;
}

} // namespace

void RemoteFilesTreeModel::setupModelData(QStringView list, RemoteFilesTreeItem *top)
{
    // Building links every item: hold the tree's lock once for all of it (command
    // threads touching records wait for the build to finish).
    static_assert(sizeof(void *) != 8 || sizeof(ListedItem) == 32);
    QMutexLocker locker(&RemoteFilesTreeItem::treeLock());
    qsizetype lineCount = 1;
    for (qsizetype at = list.indexOf(u'\n'); at >= 0; at = list.indexOf(u'\n', at + 1))
        ++lineCount;
    RemoteFilesTreeItem::reserveItems(lineCount);

    // First the lines' places: which folder each one names as its parent.
    QList<ListedItem> listed;
    listed.reserve(lineCount);
    // Folder id to the folder's index in listed; a later folder with the same id
    // replaces the earlier one.
    QHash<quint64, qint32> folders;
    for (QStringView line : list.tokenize(u'\n')) {
        qCDebug(lcRemoteTree) << "Parsing item " << line;
        QStringView fields[FieldCount];
        // A line of 2^32 characters or more (8 GB) is beyond any real list: unreadable.
        if (line.size() > qsizetype(std::numeric_limits<quint32>::max())
            || splitFields(line, fields) < FieldCount)
            continue;
        if (listed.size() == ListedItem::MaxCount)
            break;
        const quint64 id = readULongLong(fields[0]);
        // Id 0 is what an unreadable id reads as; such a folder must not collect the
        // top level (and itself) and so hide the whole tree.
        if (readInt(fields[1]) != 0 && id != 0)
            folders.insert(id, qint32(listed.size()));
        listed.append({line.data(), readULongLong(fields[3]), nullptr, quint32(line.size()),
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
        if (!item->isFileAvailable())
            checkDirOnAvailable(listed, entry.parent, top);
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

void RemoteFilesTreeModel::checkDirOnAvailable(const QList<ListedItem> &listed, qint32 folder,
                                               RemoteFilesTreeItem *top)
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
        top->setFileAvailable(false);
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
    ensureOrdered(item);
}

void RemoteFilesTreeModel::ensureOrdered(RemoteFilesTreeItem *folder) const
{
    RemoteFilesTreeItem::SortKey key = RemoteFilesTreeItem::SortKey::Name;
    if (!folder || !sortKeyOf(rowOrder.first, key) || orderedFolders.contains(folder))
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

void RemoteFilesTreeModel::refreshModel()
{
    Q_EMIT layoutAboutToBeChanged();
    finishLayoutChange();
}

void RemoteFilesTreeModel::finishLayoutChange()
{
    // Rows may have moved or vanished behind the view's back (drops, sorting, command
    // threads unlinking deleted items): re-point persistent indexes at their items.
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

void RemoteFilesTreeModel::refreshModelData(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    Q_EMIT dataChanged(topLeft, bottomRight);
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
    return RemoteFilesTreeItem::getItemBySelfId(selfId);
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
    const QModelIndex index = indexForLinkedItem(item);
    if (!index.isValid() || item == realRootItem || item->getItemInnerId() != 0)
        return false;
    beginRemoveRows(index.parent(), index.row(), index.row());
    item->parent()->removeChild(item);
    endRemoveRows();
    failedItems.remove(item->getItemSelfId());
    removeFromExpandedItems(item);
    unlinkedItems.append(item);
    return true;
}

RemoteFilesTreeItem *RemoteFilesTreeModel::getItem(int row, const QModelIndex &parent) const
{
    RemoteFilesTreeItem *item = parent.isValid() ? itemFromIndex(parent) : realRootItem;
    ensureOrdered(item);
    return item ? item->child(row) : nullptr;
}

void RemoteFilesTreeModel::addItem(const QModelIndex &index, RemoteFilesTreeItem *item)
{
    if (RemoteFilesTreeItem *target = itemFromIndex(index))
        target->appendChild(item);
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
        urls.append(QUrl(QStringLiteral("/%1/%2/%3")
                             .arg(item->isDir() ? QLatin1String("getdir") : QLatin1String("getfile"))
                             .arg(item->getItemInnerId())
                             .arg(item->getItemSelfId())));
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

    Q_EMIT layoutAboutToBeChanged();
    for (const QUrl &url : data->urls()) {
        const QStringList parts = url.toString().split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (parts.size() < 2) {
            qCDebug(lcRemoteTree) << "drop: skipping" << url;
            continue;
        }
        if (parts[0] == QLatin1String("getfile") || parts[0] == QLatin1String("getdir")) {
            const quint64 selfId = parts.size() > 2 ? parts[2].toULongLong() : 0;
            RemoteFilesTreeItem *item = selfId ? getItemBySelfId(selfId) : nullptr;
            // The hidden top item and a user's root folder cannot be moved anywhere.
            if (!item || !item->parent() || !item->parent()->parent()) {
                qCDebug(lcRemoteTree) << "drop: no movable item for" << url;
                continue;
            }
            if (item != target && !target->containsChild(item) && !item->ancestorFor(target)) {
                RemoteFilesTreeItem *oldParent = item->parent();
                target->appendChild(item);
                oldParent->removeChild(item);
                item->setUploaded(false);
            }
            if (item->isDir())
                Q_EMIT moveDirClicked(item);
            else
                Q_EMIT moveFileClicked(item);
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
    finishLayoutChange();
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
    // A name already taken keeps the item out of the tree; its command still uses it.
    if (!parent->appendChild(item))
        unlinkedItems.append(item);
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
        Q_EMIT uploadFile(item);
        return;
    }
    Q_EMIT createNewDir(item);
    QList<RemoteFilesTreeItem *> folders;
    QList<RemoteFilesTreeItem *> files;
    addContentsOfDir(fileInfo.absoluteFilePath(), item, folders, files);
    for (RemoteFilesTreeItem *folder : std::as_const(folders))
        Q_EMIT createNewDir(folder);
    for (RemoteFilesTreeItem *file : std::as_const(files))
        Q_EMIT uploadFile(file);
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
