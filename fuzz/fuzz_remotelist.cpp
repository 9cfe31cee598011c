// The server's file list, turned into a tree: arbitrary text must give a finite,
// loop-free tree in which every link agrees with its parent's child list. Built as the
// list's building thread builds it, without a model.
#include "remote/remotetree.h"
#include "treecheck.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    for (const QString &list : {QString::fromLatin1(bytes, qsizetype(size)),
                                QString::fromUtf8(bytes, qsizetype(size))}) {
        const auto tree = RemoteTree::fromList(list, QStringLiteral("root"));
        checkTree(tree->userRoot(), *tree);
        // Every order the window can ask for: name, size or date, either way.
        const auto key = RemoteFilesTreeItem::SortKey(size ? data[0] % 3 : 0);
        tree->sortAllFolders(key, size > 1 && (data[1] & 1) ? Qt::DescendingOrder : Qt::AscendingOrder);
        checkTree(tree->userRoot(), *tree);
    }
    return 0;
}
