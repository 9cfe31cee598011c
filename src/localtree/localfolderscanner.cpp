#include "localfolderscanner.h"

#include "localfilenode.h"

#include <QCollator>
#include <QFile>
#include <QThread>

#include <algorithm>

#include <dirent.h>

namespace {

// Makes the nodes again, one after the other in row order, so that they lie side by
// side in memory. Laying a folder out, the view visits every row's node (its flags);
// nodes scattered over the heap as the folder was read made that a cache miss per row,
// most of the time the window stood still while a folder of 200,000 files came in.
void placeInRowOrder(std::vector<LocalFileNode *> &entries)
{
    std::vector<LocalFileNode *> placed;
    placed.reserve(entries.size());
    for (const LocalFileNode *node : entries) {
        auto *copy = new LocalFileNode(node->name, node->nameKey);
        copy->isDir = node->isDir;
        copy->size = node->size;
        copy->modifiedMs = node->modifiedMs;
        placed.push_back(copy);
    }
    // Freed only now: a slot freed early would be taken again out of order.
    qDeleteAll(entries);
    entries = std::move(placed);
}

} // namespace

LocalFolderListing::~LocalFolderListing()
{
    qDeleteAll(entries);
}

LocalFolderScanner::LocalFolderScanner(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<LocalFolderListingPtr>();
    qRegisterMetaType<Qt::SortOrder>();
}

LocalFolderScanner::~LocalFolderScanner() = default;

void LocalFolderScanner::scan(const QString &path, quint64 ticket, int sortColumn,
                              Qt::SortOrder order)
{
    auto listing = LocalFolderListingPtr::create();
    listing->path = path;
    listing->ticket = ticket;
    DIR *folder = ::opendir(QFile::encodeName(path).constData());
    if (folder) {
        listing->readable = true;
        // Collators are not shared between threads; this one lives on the scanner's.
        QCollator collator;
        LocalFileNode::configureCollator(collator);
        const int folderFd = ::dirfd(folder);
        QThread *thread = QThread::currentThread();
        while (const dirent *entry = ::readdir(folder)) {
            // Hidden entries, "." and ".." are not shown, as in a file manager.
            if (entry->d_name[0] == '.')
                continue;
            if ((listing->entries.size() & 1023) == 0 && thread->isInterruptionRequested())
                break;
            const QString name = QFile::decodeName(entry->d_name);
            auto *node = new LocalFileNode(name, collator.sortKey(name));
            if (!node->readStatusAt(folderFd, entry->d_name)) {
                delete node; // gone since it was listed
                continue;
            }
            listing->entries.push_back(node);
        }
        ::closedir(folder);
        std::sort(listing->entries.begin(), listing->entries.end(),
                  LocalFileNode::lessThan(sortColumn, order));
        placeInRowOrder(listing->entries);
        listing->byName.reserve(qsizetype(listing->entries.size()));
        for (LocalFileNode *node : listing->entries)
            listing->byName.insert(node->name, node);
    }
    Q_EMIT scanned(listing);
}
