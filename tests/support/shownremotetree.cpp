#include "shownremotetree.h"

#include "network/basecommand.h"
#include "remote/remotefilestreeitem.h"

#include <QAbstractItemModelTester>
#include <QFileInfo>

ShownRemoteTree::ShownRemoteTree(const QString &list)
    : shownBy(std::make_unique<RemoteFilesTreeModel>(list))
{
    // No scheduler is set: the test runs each command itself and applies its result.
    new QAbstractItemModelTester(shownBy.get(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                 shownBy.get());
}

ShownRemoteTree::~ShownRemoteTree() = default;

RemoteFilesTreeItem *ShownRemoteTree::find(const QString &name) const
{
    QList<RemoteFilesTreeItem *> pending{tree()->top()};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *item = pending.takeLast();
        if (item != tree()->top() && item->getItemInnerName() == name)
            return item;
        pending += item->getChildItems();
    }
    return nullptr;
}

RemoteFilesTreeItem *ShownRemoteTree::addLocal(RemoteFilesTreeItem *folder, const QString &path)
{
    const int before = folder->childCount();
    shownBy->addNewItemToModel(QFileInfo(path), folder);
    // New rows go last.
    return folder->childCount() > before ? folder->child(before) : nullptr;
}

void ShownRemoteTree::applyResultOf(const BaseCommand &command) const
{
    shownBy->applyChange(command.getItemChange());
}
