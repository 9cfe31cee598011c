#include "remotefilestreeitem.h"

#include "namecollationkey.h"

#include <algorithm>
#include <atomic>

namespace {
// Self ids are unique in the process, whichever thread makes the item: a drag payload
// naming an item of an older list can then never find another item in a newer one.
std::atomic<quint64> lastSelfId{0};
} // namespace

RemoteFilesTreeItem::RemoteFilesTreeItem(RemoteFilesTreeItem *parent)
    : itemData(0, 0, true, QStringLiteral("root"), 0, QDateTime::currentDateTime(), true),
      parentItem(parent), selfId(++lastSelfId)
{
}

RemoteFilesTreeItem::RemoteFilesTreeItem(RemoteFileInfo info, RemoteFilesTreeItem *parent)
    : itemData(std::move(info)), parentItem(parent), selfId(++lastSelfId)
{
}

RemoteFilesTreeItem::~RemoteFilesTreeItem()
{
    // Iterative, so that a hostile list with a chain of a million nested folders
    // cannot exhaust the stack.
    QList<RemoteFilesTreeItem *> pending = std::move(childItems);
    childItems.clear();
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *item = pending.takeLast();
        pending.append(item->childItems);
        item->childItems.clear();
        delete item;
    }
    delete childNameIndex;
}

quint32 RemoteFilesTreeItem::nameKeyFor(quint32 generation) const
{
    if (nameKeyGeneration != generation) {
        const size_t hash = NameCollationKey::hash(itemData.getName());
        nameKey = quint32(hash ^ (quint64(hash) >> 32));
        nameOrder = NameCollationKey::orderPrefix(itemData.getName());
        nameKeyGeneration = generation;
    }
    return nameKey;
}

void RemoteFilesTreeItem::dropStaleNameIndex(quint32 generation) const
{
    if (childNameIndex && childNameIndex->generation != generation) {
        delete childNameIndex;
        childNameIndex = nullptr;
    }
}

RemoteFilesTreeItem *RemoteFilesTreeItem::containedTwin(const QString &name, quint32 nameKey,
                                                        quint32 generation) const
{
    // Names equal under the locale-aware comparison have equal keys, so only a child
    // with the same key needs the (costly) comparison.
    dropStaleNameIndex(generation);
    if (childNameIndex) {
        const auto &children = childNameIndex->children;
        for (auto it = children.constFind(nameKey); it != children.cend() && it.key() == nameKey;
             ++it) {
            if (QString::localeAwareCompare(it.value()->itemData.getName(), name) == 0)
                return it.value();
        }
        return nullptr;
    }
    for (RemoteFilesTreeItem *item : childItems) {
        if (item->nameKeyFor(generation) == nameKey
            && QString::localeAwareCompare(item->itemData.getName(), name) == 0)
            return item;
    }
    return nullptr;
}

void RemoteFilesTreeItem::indexChild(RemoteFilesTreeItem *child, quint32 nameKey,
                                     quint32 generation)
{
    if (childNameIndex) {
        childNameIndex->children.insert(nameKey, child);
    } else if (childItems.size() > NameIndexThreshold) {
        childNameIndex = new NameIndex{{}, generation};
        childNameIndex->children.reserve(childItems.size() * 2);
        for (RemoteFilesTreeItem *item : std::as_const(childItems))
            childNameIndex->children.insert(item->nameKeyFor(generation), item);
    }
}

bool RemoteFilesTreeItem::appendChild(RemoteFilesTreeItem *child)
{
    return appendChecked(child, true);
}

bool RemoteFilesTreeItem::appendListedChild(RemoteFilesTreeItem *child)
{
    return appendChecked(child, false);
}

bool RemoteFilesTreeItem::appendChecked(RemoteFilesTreeItem *child, bool checkAncestry)
{
    RemoteFilesTreeItem *folder = this;
    while (folder && !folder->itemData.isDir())
        folder = folder->parentItem;
    if (!folder || !child || child == folder || (checkAncestry && child->ancestorFor(folder)))
        return false;
    const quint32 generation = NameCollationKey::generation();
    const quint32 nameKey = child->nameKeyFor(generation);
    if (folder->containedTwin(child->itemData.getName(), nameKey, generation))
        return false;
    folder->childItems.append(child);
    folder->indexChild(child, nameKey, generation);
    child->parentItem = folder;
    return true;
}

void RemoteFilesTreeItem::removeChild(RemoteFilesTreeItem *child)
{
    if (!child || !containsChild(child))
        return;
    const qsizetype at = childItems.indexOf(child);
    if (at < 0)
        return;
    childItems.removeAt(at);
    if (childNameIndex)
        childNameIndex->children.remove(child->nameKeyFor(childNameIndex->generation), child);
}

bool RemoteFilesTreeItem::containsChild(const RemoteFilesTreeItem *child) const
{
    if (!child)
        return false;
    const quint32 generation = NameCollationKey::generation();
    return containedTwin(child->itemData.getName(), child->nameKeyFor(generation), generation)
        != nullptr;
}

bool RemoteFilesTreeItem::ancestorFor(const RemoteFilesTreeItem *item) const
{
    for (const RemoteFilesTreeItem *up = item ? item->parentItem : nullptr; up; up = up->parentItem) {
        if (up == this)
            return true;
    }
    return false;
}

RemoteFilesTreeItem *RemoteFilesTreeItem::child(int row) const
{
    return childItems.value(row, nullptr);
}

int RemoteFilesTreeItem::childCount() const
{
    return int(childItems.size());
}

QList<RemoteFilesTreeItem *> RemoteFilesTreeItem::getChildItems() const
{
    return childItems;
}

int RemoteFilesTreeItem::compareNames(const RemoteFilesTreeItem *a, const RemoteFilesTreeItem *b)
{
    if (a->nameOrder != b->nameOrder)
        return a->nameOrder < b->nameOrder ? -1 : 1;
    return QString::localeAwareCompare(a->itemData.getName(), b->itemData.getName());
}

void RemoteFilesTreeItem::sortChildItems(SortKey key, Qt::SortOrder order)
{
    // The records read directly: a getter per comparison (a copy each) cost most of a
    // sort of a million items.
    if (key == SortKey::Name) {
        const quint32 generation = NameCollationKey::generation();
        for (const RemoteFilesTreeItem *child : std::as_const(childItems))
            child->nameKeyFor(generation);
    }
    const bool ascending = order == Qt::AscendingOrder;
    std::sort(childItems.begin(), childItems.end(),
              [key, ascending](const RemoteFilesTreeItem *a, const RemoteFilesTreeItem *b) {
                  const bool aIsDir = a->itemData.isDir();
                  if (aIsDir != b->itemData.isDir())
                      return aIsDir;
                  int c = 0;
                  switch (key) {
                  case SortKey::Name:
                      c = compareNames(a, b);
                      break;
                  case SortKey::Size: {
                      const quint64 sa = a->itemData.getSize();
                      const quint64 sb = b->itemData.getSize();
                      c = sa < sb ? -1 : (sa > sb ? 1 : 0);
                      break;
                  }
                  case SortKey::Date: {
                      const qint64 da = a->itemData.getDateMSecs();
                      const qint64 db = b->itemData.getDateMSecs();
                      c = da < db ? -1 : (da > db ? 1 : 0);
                      break;
                  }
                  }
                  return ascending ? c < 0 : c > 0;
              });
}

int RemoteFilesTreeItem::row() const
{
    if (!parentItem)
        return 0;
    return int(parentItem->childItems.indexOf(const_cast<RemoteFilesTreeItem *>(this)));
}

RemoteFilesTreeItem *RemoteFilesTreeItem::parent() const
{
    return parentItem;
}

void RemoteFilesTreeItem::moveToParent(RemoteFilesTreeItem *item)
{
    parentItem = item;
}

bool RemoteFilesTreeItem::operator==(const RemoteFilesTreeItem &other) const
{
    return QString::localeAwareCompare(getItemInnerName(), other.getItemInnerName()) == 0;
}

bool RemoteFilesTreeItem::operator<(const RemoteFilesTreeItem &other) const
{
    const bool dir = isDir();
    if (dir != other.isDir())
        return dir;
    return QString::localeAwareCompare(getItemInnerName(), other.getItemInnerName()) < 0;
}

quint64 RemoteFilesTreeItem::getItemInnerParentId() const
{
    return parentItem ? parentItem->itemData.getId() : 0;
}

bool RemoteFilesTreeItem::isParentOnServer() const
{
    return !parentItem || parentItem->itemData.getId() != 0 || parentItem->itemData.isRootRecord();
}

void RemoteFilesTreeItem::setItemInnerName(const QString &value)
{
    // Keep the folder's name index in step; the item may be listed there.
    const quint32 generation = NameCollationKey::generation();
    if (parentItem)
        parentItem->dropStaleNameIndex(generation);
    const bool indexed = parentItem && parentItem->childNameIndex
        && parentItem->childNameIndex->children.remove(nameKeyFor(generation), this);
    itemData.setName(value);
    nameKeyGeneration = 0;
    if (indexed)
        parentItem->childNameIndex->children.insert(nameKeyFor(generation), this);
}

#define RECORD_GETTER(type, method, recordMethod) \
    type RemoteFilesTreeItem::method() const \
    { \
        return itemData.recordMethod(); \
    }
#define RECORD_SETTER(type, method, recordMethod) \
    void RemoteFilesTreeItem::method(type value) \
    { \
        itemData.recordMethod(value); \
    }

RECORD_GETTER(quint64, getItemInnerId, getId)
RECORD_SETTER(quint64, setItemInnerId, setId)
RECORD_GETTER(QString, getItemInnerName, getName)
RECORD_GETTER(quint64, getItemInnerSize, getSize)
RECORD_SETTER(quint64, setItemInnerSize, setSize)
RECORD_GETTER(QDateTime, getItemDate, getDate)
RECORD_GETTER(qint64, getItemDateMSecs, getDateMSecs)
RECORD_GETTER(bool, isDir, isDir)
RECORD_GETTER(bool, isUploaded, isUploaded)
RECORD_SETTER(bool, setUploaded, setUploaded)
RECORD_GETTER(bool, isDeleted, isDeleted)
RECORD_SETTER(bool, setItemDeleted, setDeleted)
RECORD_GETTER(bool, isFileAvailable, isFileAvailable)
RECORD_SETTER(bool, setFileAvailable, setFileAvailable)
RECORD_GETTER(bool, isUrl, isUrl)
RECORD_GETTER(QString, getItemUrl, getUrl)
RECORD_SETTER(const QString &, setItemUrl, setUrl)
RECORD_GETTER(QString, getItemExternalDownloadUrl, getExternalDownloadUrl)
RECORD_SETTER(const QString &, setItemExternalDownloadUrl, setExternalDownloadUrl)
RECORD_GETTER(QString, getItemDescription, getDescription)
RECORD_SETTER(const QString &, setItemDescription, setDescription)
RECORD_GETTER(bool, isItemSearchable, isSearchable)
RECORD_SETTER(bool, setItemSearchable, setSearchable)
RECORD_GETTER(QString, getItemPassword, getPassword)
RECORD_SETTER(const QString &, setItemPassword, setPassword)
RECORD_GETTER(bool, isItemPasswordModify, isPasswordModify)
RECORD_GETTER(bool, isRootRecord, isRootRecord)

#undef RECORD_GETTER
#undef RECORD_SETTER

void RemoteFilesTreeItem::setItemPasswordModify()
{
    itemData.setPasswordModify();
}

RemoteFileInfo RemoteFilesTreeItem::getItemInfo() const
{
    return itemData;
}

QVariant RemoteFilesTreeItem::data(int column) const
{
    return itemData.value(column);
}

QString RemoteFilesTreeItem::getLocalPathForUpload() const
{
    return localPathForUpload;
}

void RemoteFilesTreeItem::setLocalPathForUpload(const QString &value)
{
    localPathForUpload = value;
}
