// The server's file list, turned into a tree: arbitrary text must give a finite,
// loop-free tree in which every link agrees with its parent's child list.
#include "remotetree/remotefilestreemodel.h"
#include "treecheck.h"

#include <QString>

#include <cstddef>
#include <cstdint>

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
