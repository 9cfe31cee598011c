#include "remotefilestreeitem.h"

#include "namecollationkey.h"

#include <QMutexLocker>

#include <algorithm>

using Locker = QMutexLocker<QRecursiveMutex>;

RemoteFilesTreeItem::RemoteFilesTreeItem(RemoteFilesTreeItem *parent)
    : itemData(0, 0, true, QStringLiteral("root"), 0, QDateTime::currentDateTime(), true),
      parentItem(parent)
{
    setItemSelfId();
}

RemoteFilesTreeItem::RemoteFilesTreeItem(RemoteFileInfo info, RemoteFilesTreeItem *parent)
    : itemData(std::move(info)), parentItem(parent)
{
    setItemSelfId();
}

RemoteFilesTreeItem::~RemoteFilesTreeItem()
{
    // Iterative, so that a hostile list with a chain of a million nested folders
    // cannot exhaust the stack.
    Locker locker(&treeMutex);
    QList<RemoteFilesTreeItem *> pending = std::move(childItems);
    childItems.clear();
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *item = pending.takeLast();
        pending.append(item->childItems);
        item->childItems.clear();
        delete item;
    }
    itemSelfIdMap.remove(selfId);
    delete childNameIndex;
}

void RemoteFilesTreeItem::setItemSelfId()
{
    Locker locker(&treeMutex);
    ++itemSelfIdCount;
    itemSelfIdMap.insert(itemSelfIdCount, this);
    selfId = itemSelfIdCount;
}

RemoteFilesTreeItem *RemoteFilesTreeItem::getItemBySelfId(quint64 selfId)
{
    Locker locker(&treeMutex);
    return itemSelfIdMap.value(selfId, nullptr);
}

void RemoteFilesTreeItem::reserveItems(qsizetype count)
{
    Locker locker(&treeMutex);
    itemSelfIdMap.reserve(itemSelfIdMap.size() + count);
}

RemoteFilesTreeItem *RemoteFilesTreeItem::containedTwin(const QString &name, size_t nameKey) const
{
    if (childNameIndex) {
        for (auto it = childNameIndex->constFind(nameKey);
             it != childNameIndex->cend() && it.key() == nameKey; ++it) {
            if (QString::localeAwareCompare(it.value()->itemData.getName(), name) == 0)
                return it.value();
        }
        return nullptr;
    }
    for (RemoteFilesTreeItem *item : childItems) {
        if (QString::localeAwareCompare(item->itemData.getName(), name) == 0)
            return item;
    }
    return nullptr;
}

void RemoteFilesTreeItem::indexChild(RemoteFilesTreeItem *child, size_t nameKey)
{
    if (childNameIndex) {
        childNameIndex->insert(nameKey, child);
    } else if (childItems.size() > NameIndexThreshold) {
        childNameIndex = new QMultiHash<size_t, RemoteFilesTreeItem *>();
        childNameIndex->reserve(childItems.size() * 2);
        for (RemoteFilesTreeItem *item : std::as_const(childItems))
            childNameIndex->insert(NameCollationKey::hash(item->itemData.getName()), item);
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
    Locker locker(&treeMutex);
    RemoteFilesTreeItem *folder = this;
    while (folder && !folder->itemData.isDir())
        folder = folder->parentItem;
    if (!folder || !child || child == folder || (checkAncestry && child->ancestorFor(folder)))
        return false;
    // The collation key is the costly part of the check: made once, used twice.
    const QString name = child->itemData.getName();
    const size_t nameKey = folder->childNameIndex ? NameCollationKey::hash(name) : 0;
    if (folder->containedTwin(name, nameKey))
        return false;
    folder->childItems.append(child);
    folder->indexChild(child, nameKey);
    child->parentItem = folder;
    return true;
}

void RemoteFilesTreeItem::removeChild(RemoteFilesTreeItem *child)
{
    Locker locker(&treeMutex);
    if (!child || !containsChild(child))
        return;
    const qsizetype at = childItems.indexOf(child);
    if (at < 0)
        return;
    childItems.removeAt(at);
    if (childNameIndex)
        childNameIndex->remove(NameCollationKey::hash(child->itemData.getName()), child);
}

bool RemoteFilesTreeItem::containsChild(const RemoteFilesTreeItem *child) const
{
    Locker locker(&treeMutex);
    if (!child)
        return false;
    const QString name = child->itemData.getName();
    return containedTwin(name, childNameIndex ? NameCollationKey::hash(name) : 0) != nullptr;
}

bool RemoteFilesTreeItem::ancestorFor(const RemoteFilesTreeItem *item) const
{
    Locker locker(&treeMutex);
    for (const RemoteFilesTreeItem *up = item ? item->parentItem : nullptr; up; up = up->parentItem) {
        if (up == this)
            return true;
    }
    return false;
}

RemoteFilesTreeItem *RemoteFilesTreeItem::child(int row) const
{
    Locker locker(&treeMutex);
    return childItems.value(row, nullptr);
}

int RemoteFilesTreeItem::childCount() const
{
    Locker locker(&treeMutex);
    return int(childItems.size());
}

QList<RemoteFilesTreeItem *> RemoteFilesTreeItem::getChildItems() const
{
    Locker locker(&treeMutex);
    return childItems;
}

void RemoteFilesTreeItem::sortChildItems(LessThan lessThan)
{
    Locker locker(&treeMutex);
    std::sort(childItems.begin(), childItems.end(), lessThan);
}

int RemoteFilesTreeItem::row() const
{
    Locker locker(&treeMutex);
    if (!parentItem)
        return 0;
    return int(parentItem->childItems.indexOf(const_cast<RemoteFilesTreeItem *>(this)));
}

RemoteFilesTreeItem *RemoteFilesTreeItem::parent() const
{
    Locker locker(&treeMutex);
    return parentItem;
}

void RemoteFilesTreeItem::moveToParent(RemoteFilesTreeItem *item)
{
    Locker locker(&treeMutex);
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
    Locker locker(&treeMutex);
    return parentItem ? parentItem->itemData.getId() : 0;
}

bool RemoteFilesTreeItem::isParentOnServer() const
{
    Locker locker(&treeMutex);
    return !parentItem || parentItem->itemData.getId() != 0 || parentItem->itemData.isRootRecord();
}

void RemoteFilesTreeItem::setItemInnerName(const QString &value)
{
    Locker locker(&treeMutex);
    // Keep the folder's name index in step; the item may be listed there.
    if (parentItem && parentItem->childNameIndex
        && parentItem->childNameIndex->remove(NameCollationKey::hash(itemData.getName()), this)) {
        parentItem->childNameIndex->insert(NameCollationKey::hash(value), this);
    }
    itemData.setName(value);
}

#define RECORD_GETTER(type, method, recordMethod) \
    type RemoteFilesTreeItem::method() const \
    { \
        Locker locker(&treeMutex); \
        return itemData.recordMethod(); \
    }
#define RECORD_SETTER(type, method, recordMethod) \
    void RemoteFilesTreeItem::method(type value) \
    { \
        Locker locker(&treeMutex); \
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
    Locker locker(&treeMutex);
    itemData.setPasswordModify();
}

RemoteFileInfo RemoteFilesTreeItem::getItemInfo() const
{
    Locker locker(&treeMutex);
    return itemData;
}

QVariant RemoteFilesTreeItem::data(int column) const
{
    Locker locker(&treeMutex);
    return itemData.value(column);
}

QString RemoteFilesTreeItem::getLocalPathForUpload() const
{
    Locker locker(&treeMutex);
    return localPathForUpload;
}

void RemoteFilesTreeItem::setLocalPathForUpload(const QString &value)
{
    Locker locker(&treeMutex);
    localPathForUpload = value;
}
