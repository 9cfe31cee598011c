#include "remotetree.h"

#include "base/logging.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>

namespace {

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
int splitFields(QStringView line, QStringView (&fields)[RemoteTree::FieldCount])
{
    int count = 0;
    const char16_t *start = line.utf16();
    const char16_t *const end = start + line.size();
    for (;;) {
        // std::find over a plain array is unrolled: the search is most of the cost.
        const char16_t *tab = std::find(start, end, u'\t');
        fields[count++] = QStringView(start, tab);
        if (tab == end || count == RemoteTree::FieldCount)
            return count;
        start = tab + 1;
    }
}

} // namespace

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

QString RemoteTree::downloadAddress(QStringView segment, const QString &name)
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

RemoteFilesTreeItem *makeListedItem(QStringView line, RemoteFilesTreeItem *top)
{
    QStringView fields[RemoteTree::FieldCount];
    splitFields(line, fields);
    const bool isDir = readInt(fields[1]) != 0;
    RemoteFileInfo info(readULongLong(fields[0]), readULongLong(fields[3]), isDir,
                        fields[2].toString(), readULongLong(fields[4]), readUInt(fields[5]), true);
    if (isDir) {
        info.setFileAvailable(true);
    } else {
        info.setExternalDownloadUrl(
            RemoteTree::downloadAddress(fields[9], info.getName()));
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

