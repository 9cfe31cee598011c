#include "localfilenode.h"

#include <QCollator>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

qint64 modifiedMsOf(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

QStringView suffixOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QStringView() : QStringView(name).mid(dot + 1);
}

} // namespace

LocalFileNode::LocalFileNode(const QString &name, const QCollatorSortKey &nameKey)
    : name(name), nameKey(nameKey)
{
}

LocalFileNode::~LocalFileNode()
{
    qDeleteAll(children);
    qDeleteAll(waitingChildren);
}

void LocalFileNode::setStatus(bool dir, qint64 bytes, qint64 mtimeMs)
{
    isDir = dir;
    size = dir ? 0 : bytes;
    modifiedMs = mtimeMs;
}

bool LocalFileNode::readStatus(const QByteArray &localPath)
{
    struct stat st;
    if (::stat(localPath.constData(), &st) != 0 && ::lstat(localPath.constData(), &st) != 0)
        return false;
    setStatus(S_ISDIR(st.st_mode), st.st_size, modifiedMsOf(st));
    return true;
}

bool LocalFileNode::readStatusAt(int folderFd, const char *entryName)
{
    struct stat st;
    if (::fstatat(folderFd, entryName, &st, 0) != 0
        && ::fstatat(folderFd, entryName, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    setStatus(S_ISDIR(st.st_mode), st.st_size, modifiedMsOf(st));
    return true;
}

QString LocalFileNode::path() const
{
    if (!parent)
        return name;
    const QString above = parent->path();
    return above.endsWith(QLatin1Char('/')) ? above + name : above + QLatin1Char('/') + name;
}

void LocalFileNode::renumberChildren(int from)
{
    for (int i = from; i < children.size(); ++i) {
        children[i]->row = i;
        children[i]->parent = this;
    }
}

void LocalFileNode::adopt(LocalFileNode *child)
{
    child->parent = this;
    childByName.insert(child->name, child);
}

void LocalFileNode::adoptListed(std::vector<LocalFileNode *> &&entries,
                                QHash<QString, LocalFileNode *> &&byName)
{
    // Each child learns its parent when it is shown (renumberChildren), a slice at a time.
    waitingChildren = std::move(entries);
    childByName = std::move(byName);
}

void LocalFileNode::forget(LocalFileNode *child)
{
    childByName.remove(child->name);
}

void LocalFileNode::configureCollator(QCollator &collator)
{
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
}

LocalFileNode::LessThan LocalFileNode::lessThan(int column, Qt::SortOrder order)
{
    const bool ascending = order == Qt::AscendingOrder;
    // Equal keys fall back to the name, then to the exact characters, so that every
    // scan and every sort gives the same order.
    const auto byName = [](const LocalFileNode *a, const LocalFileNode *b) {
        const int c = a->nameKey.compare(b->nameKey);
        return c != 0 ? c < 0 : a->name < b->name;
    };
    return [column, ascending, byName](const LocalFileNode *a, const LocalFileNode *b) {
        // Folders first in both orders.
        if (a->isDir != b->isDir)
            return a->isDir;
        int c = 0;
        switch (column) {
        case 1:
            if (!a->isDir)
                c = a->size < b->size ? -1 : (a->size > b->size ? 1 : 0);
            break;
        case 2:
            c = suffixOf(a->name).compare(suffixOf(b->name), Qt::CaseInsensitive);
            break;
        case 4:
            c = a->modifiedMs < b->modifiedMs ? -1 : (a->modifiedMs > b->modifiedMs ? 1 : 0);
            break;
        default:
            break;
        }
        if (c == 0)
            return ascending ? byName(a, b) : byName(b, a);
        return ascending ? c < 0 : c > 0;
    };
}
