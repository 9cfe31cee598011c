// The server's file list, turned into a tree: arbitrary text must give a finite,
// loop-free tree in which every link agrees with its parent's child list.
#include "remotetree/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"

#include <QSet>
#include <QString>

#include <cstddef>
#include <cstdint>

static void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

static void checkTree(const RemoteFilesTreeModel &model)
{
    RemoteFilesTreeItem *root = model.getRootItem();
    check(root && root->parent() && !root->parent()->parent());
    QSet<const RemoteFilesTreeItem *> seen;
    QList<RemoteFilesTreeItem *> pending{root};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *item = pending.takeLast();
        check(!seen.contains(item));
        seen.insert(item);
        check(model.getItemBySelfId(item->getItemSelfId()) == item);
        const QList<RemoteFilesTreeItem *> children = item->getChildItems();
        check(item->isDir() || children.isEmpty());
        for (int row = 0; row < children.size(); ++row) {
            RemoteFilesTreeItem *child = children[row];
            check(child->parent() == item && child->row() == row);
            // A folder that says it is complete has nothing missing below it.
            check(!item->isFileAvailable() || child->isFileAvailable());
            pending.append(child);
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    for (const QString &list : {QString::fromLatin1(bytes, qsizetype(size)),
                                QString::fromUtf8(bytes, qsizetype(size))}) {
        RemoteFilesTreeModel model(list);
        checkTree(model);
        model.sort(size ? data[0] % 6 : 0, size > 1 && (data[1] & 1) ? Qt::DescendingOrder
                                                                  : Qt::AscendingOrder);
        checkTree(model);
    }
    return 0;
}
