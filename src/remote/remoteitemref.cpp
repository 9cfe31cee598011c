#include "remoteitemref.h"

#include "remotefilestreeitem.h"
#include "remotetree.h"

RemoteItemRef::RemoteItemRef(std::shared_ptr<RemoteTree> tree, RemoteFilesTreeItem *item)
    : owner(std::move(tree)), itemPointer(item), itemSelfId(item ? item->getItemSelfId() : 0)
{
}

RemoteItemRef::Snapshot RemoteItemRef::snapshot() const
{
    const std::lock_guard<std::mutex> guard(owner->lock());
    Snapshot copy{itemPointer->getItemInfo(), owner->idOf(itemPointer), 0, true,
                  itemPointer->getLocalPathForUpload()};
    copy.record.setId(copy.id);
    if (const RemoteFilesTreeItem *parent = itemPointer->parent()) {
        copy.parentId = owner->idOf(parent);
        copy.parentOnServer = copy.parentId != 0 || parent->isRootRecord();
    }
    return copy;
}
