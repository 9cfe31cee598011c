#pragma once

// Checks shared by the fuzz targets that build or change a remote tree: the tree is
// finite and loop-free, and every link agrees with its parent's child list.
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"

#include <QList>
#include <QSet>

inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// `tree` is what holds the items (a RemoteTree or a model): it must find each by its
// self id. `availability`: also check that a folder marked complete holds nothing
// unavailable.
template<class Tree>
void checkTree(RemoteFilesTreeItem *root, const Tree &tree, bool availability = true)
{
    check(root && root->parent() && !root->parent()->parent());
    QSet<const RemoteFilesTreeItem *> seen;
    QList<RemoteFilesTreeItem *> pending{root};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *item = pending.takeLast();
        check(!seen.contains(item));
        seen.insert(item);
        check(tree.itemBySelfId(item->getItemSelfId()) == item);
        const QList<RemoteFilesTreeItem *> children = item->getChildItems();
        check(item->isDir() || children.isEmpty());
        for (int row = 0; row < children.size(); ++row) {
            RemoteFilesTreeItem *child = children[row];
            check(child->parent() == item && child->row() == row);
            // A folder that says it is complete has nothing missing below it.
            check(!availability || !item->isFileAvailable() || child->isFileAvailable());
            pending.append(child);
        }
    }
}
