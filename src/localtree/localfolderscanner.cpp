#include "localfolderscanner.h"

#include "localfilenode.h"

#include <QCollator>
#include <QFile>
#include <QThread>

#include <algorithm>

#include <dirent.h>

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
    }
    Q_EMIT scanned(listing);
}
