#pragma once

#include "remotefileinfo.h"

#include <QList>
#include <QMultiHash>
#include <QString>
#include <QVariant>

// One node of the remote tree: a record, its children (owned) and a process-unique
// self id by which drag payloads name it.
//
// Threads: an item is built on whatever thread builds its tree (a tree nobody else
// sees yet) and, once shown, changed only by the GUI thread, through the model. Its
// methods take no lock. Command threads never call them directly: they copy the
// fields they need through RemoteItemRef::snapshot(), under the tree's lock, which
// the model holds while it writes.
class RemoteFilesTreeItem final
{
public:
    // The orders of the model's columns: folders first in both directions, then by
    // name (locale-aware), size or date; equal keys end up in no particular order.
    enum class SortKey { Name, Size, Date };

    // A hidden top item: a folder record named "root".
    explicit RemoteFilesTreeItem(RemoteFilesTreeItem *parent = nullptr);
    // parent is recorded but not told; the caller appends the item.
    RemoteFilesTreeItem(RemoteFileInfo info, RemoteFilesTreeItem *parent);
    ~RemoteFilesTreeItem();
    Q_DISABLE_COPY_MOVE(RemoteFilesTreeItem)

    // Refuses a child whose name a child of this folder already has (locale-aware),
    // and a child that is this folder or one of its ancestors. A file hands the child
    // to its folder. Answers whether the child was added.
    bool appendChild(RemoteFilesTreeItem *child);
    // The same without the ancestry check, which costs the depth of the tree: only for
    // building from a list whose parent links are known to be free of loops.
    bool appendListedChild(RemoteFilesTreeItem *child);
    void removeChild(RemoteFilesTreeItem *child);
    bool containsChild(const RemoteFilesTreeItem *child) const;
    bool ancestorFor(const RemoteFilesTreeItem *item) const;

    RemoteFilesTreeItem *child(int row) const;
    int childCount() const;
    // A snapshot of the children, in display order.
    QList<RemoteFilesTreeItem *> getChildItems() const;
    void sortChildItems(SortKey key, Qt::SortOrder order);
    int row() const;
    int columnCount() const { return 5; }
    RemoteFilesTreeItem *parent() const;
    void moveToParent(RemoteFilesTreeItem *item);

    bool operator==(const RemoteFilesTreeItem &other) const;
    bool operator<(const RemoteFilesTreeItem &other) const;

    quint64 getItemInnerId() const;
    void setItemInnerId(quint64 value);
    quint64 getItemInnerParentId() const;
    // Whether the folder this item hangs in exists on the server: the account's root
    // folder or a folder with a server id (an item without a parent counts as in the
    // root). A folder whose own creation failed has id 0, and a request naming it
    // would put the item into the root folder instead.
    bool isParentOnServer() const;
    QString getItemInnerName() const;
    void setItemInnerName(const QString &value);
    quint64 getItemInnerSize() const;
    void setItemInnerSize(quint64 value);
    QDateTime getItemDate() const;
    qint64 getItemDateMSecs() const;
    bool isDir() const;
    bool isUploaded() const;
    void setUploaded(bool value);
    bool isDeleted() const;
    void setItemDeleted(bool value);
    bool isFileAvailable() const;
    void setFileAvailable(bool value);
    bool isUrl() const;
    QString getItemUrl() const;
    void setItemUrl(const QString &value);
    QString getItemExternalDownloadUrl() const;
    void setItemExternalDownloadUrl(const QString &value);
    QString getItemDescription() const;
    void setItemDescription(const QString &value);
    bool isItemSearchable() const;
    void setItemSearchable(bool value);
    QString getItemPassword() const;
    void setItemPassword(const QString &value);
    bool isItemPasswordModify() const;
    void setItemPasswordModify();
    bool isRootRecord() const;
    // A consistent copy of the whole record.
    RemoteFileInfo getItemInfo() const;
    QVariant data(int column) const;

    QString getLocalPathForUpload() const;
    void setLocalPathForUpload(const QString &value);
    quint64 getItemSelfId() const { return selfId; }

    // Folders with more children than this keep a name index for the duplicate check.
    static constexpr int NameIndexThreshold = 8;

private:
    bool appendChecked(RemoteFilesTreeItem *child, bool checkAncestry);
    // This item's NameCollationKey under the given locale generation, made once per
    // generation, together with its name's order prefix.
    quint32 nameKeyFor(quint32 generation) const;
    // Compares the names of two items whose keys are current.
    static int compareNames(const RemoteFilesTreeItem *a, const RemoteFilesTreeItem *b);
    // Forgets a name index made under another locale generation: its keys may disagree
    // with the names' keys now. Small folders scan instead until the next append.
    void dropStaleNameIndex(quint32 generation) const;
    RemoteFilesTreeItem *containedTwin(const QString &name, quint32 nameKey,
                                       quint32 generation) const;
    void indexChild(RemoteFilesTreeItem *child, quint32 nameKey, quint32 generation);

    QList<RemoteFilesTreeItem *> childItems;
    // Held by value: one allocation less per item in lists of a million lines.
    RemoteFileInfo itemData;
    QString localPathForUpload;
    RemoteFilesTreeItem *parentItem;
    const quint64 selfId;
    // Each child's name key to the child, made under one locale generation; only for
    // large folders.
    struct NameIndex
    {
        QMultiHash<quint32, RemoteFilesTreeItem *> children;
        quint32 generation;
    };
    // Caches, filled on first use: hence mutable.
    mutable NameIndex *childNameIndex = nullptr;
    // This item's name key (NameCollationKey, cut to 32 bits: a clash only costs a
    // comparison) and its locale generation, 0 before it is made.
    mutable quint32 nameKey = 0;
    mutable quint32 nameKeyGeneration = 0;
    // NameCollationKey::orderPrefix of the name, made with nameKey: sorting by name
    // compares two numbers, and two names only when those are equal.
    mutable quint64 nameOrder = 0;
};
