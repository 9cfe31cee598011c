#include "localfilestreemodel.h"

#include "base/logging.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "base/settings.h"
#include "network/mainnetworkthread.h"
#include "wire/localfilename.h"
#include "wire/wire.h"

#include "localfilenode.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

namespace {

const QString UriListType = QString::fromLatin1(Wire::DragPayloadType);

// At most this many refused items are listed in the box's text; all of them are in its
// details.
constexpr int RefusalsShown = 10;

// One provider for every model: its icons are made once.
QFileIconProvider *sharedIconProvider()
{
    static QFileIconProvider provider;
    return &provider;
}

// A name from the server shown in a box: control characters (a NUL, a line feed)
// would cut or break the line, so they are shown as "?".
QString printable(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return text;
}

} // namespace

class LocalFilesTreeModel::RefusalReport final
{
public:
    explicit RefusalReport(LocalFilesTreeModel *model) : model(model) { ++model->operationDepth; }
    ~RefusalReport()
    {
        // The questions of the whole operation have been asked: now the writing.
        if (--model->operationDepth == 0)
            model->writeQueuedTargets();
    }
    Q_DISABLE_COPY_MOVE(RefusalReport)

private:
    LocalFilesTreeModel *model;
};

LocalFilesTreeModel::LocalFilesTreeModel(QObject *parent)
    : QAbstractItemModel(parent), scanner(new LocalFolderScanner)
{
    // Items travel to the scheduler's thread by pointer.
    qRegisterMetaType<RemoteItemRef>("RemoteItemRef");
    LocalFileNode::configureCollator(collator);
    rootNode = new LocalFileNode(QDir::rootPath(), collator.sortKey(QDir::rootPath()));
    rootNode->readStatus(QFile::encodeName(QDir::rootPath()));
    rootNode->row = 0;

    scanner->moveToThread(&scannerThread);
    connect(&scannerThread, &QThread::finished, scanner, &QObject::deleteLater);
    connect(this, &LocalFilesTreeModel::scanRequested, scanner, &LocalFolderScanner::scan);
    connect(scanner, &LocalFolderScanner::scanned, this, &LocalFilesTreeModel::takeListing);
    scannerThread.start();

    showTimer.setSingleShot(true);
    showTimer.setInterval(0);
    connect(&showTimer, &QTimer::timeout, this, &LocalFilesTreeModel::showWaitingRows);
    // Several changes in a row (a copy of many files) are read once.
    changedTimer.setSingleShot(true);
    changedTimer.setInterval(200);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this,
            &LocalFilesTreeModel::folderChanged);
    connect(&changedTimer, &QTimer::timeout, this, [this] {
        for (const QString &path : std::exchange(changedFolders, {})) {
            if (LocalFileNode *folder = findNode(path))
                requestScan(folder);
        }
    });
    targetTimer.setSingleShot(true);
    targetTimer.setInterval(0);
    connect(&targetTimer, &QTimer::timeout, this, [this] {
        // Not in the middle of an operation (its question boxes run an event loop):
        // its end writes, after its questions.
        if (operationDepth == 0)
            writeQueuedTargets();
    });
    downloadTimer.setInterval(DownloadRefreshMs);
    connect(&downloadTimer, &QTimer::timeout, this, &LocalFilesTreeModel::refreshDownloads);
}

void LocalFilesTreeModel::setScheduler(MainNetworkThread *newScheduler)
{
    if (newScheduler == scheduler)
        return;
    if (scheduler)
        disconnect(this, nullptr, scheduler, nullptr);
    scheduler = newScheduler;
    if (!scheduler)
        return;
    connect(this, &LocalFilesTreeModel::downloadFile, scheduler, &MainNetworkThread::downloadFile);
    connect(this, &LocalFilesTreeModel::downloadUrl, scheduler, &MainNetworkThread::downloadUrl);
}

LocalFilesTreeModel::~LocalFilesTreeModel()
{
    scannerThread.requestInterruption();
    scannerThread.quit();
    scannerThread.wait();
    delete rootNode;
}

LocalFileNode *LocalFilesTreeModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<LocalFileNode *>(index.internalPointer()) : nullptr;
}

QModelIndex LocalFilesTreeModel::indexOf(LocalFileNode *node, int column) const
{
    if (!node || node->row < 0)
        return QModelIndex();
    return createIndex(node->row, column, node);
}

QModelIndex LocalFilesTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column > DateColumn || parent.column() > 0)
        return QModelIndex();
    if (!parent.isValid())
        return row == 0 ? createIndex(0, column, rootNode) : QModelIndex();
    const LocalFileNode *folder = nodeOf(parent);
    if (row >= folder->children.size())
        return QModelIndex();
    return createIndex(row, column, folder->children.at(row));
}

QModelIndex LocalFilesTreeModel::index(const QString &path, int column) const
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    LocalFileNode *node = rootNode;
    const QStringList names = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &name : names) {
        if (node->load == LocalFileNode::Load::NotRead)
            requestScan(node);
        node = node->child(name);
        if (!node)
            return QModelIndex();
    }
    return indexOf(node, column);
}

LocalFileNode *LocalFilesTreeModel::findNode(const QString &path) const
{
    LocalFileNode *node = rootNode;
    const QStringList names = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &name : names) {
        node = node->child(name);
        if (!node)
            return nullptr;
    }
    return node;
}

QModelIndex LocalFilesTreeModel::parent(const QModelIndex &child) const
{
    const LocalFileNode *node = nodeOf(child);
    return node ? indexOf(node->parent) : QModelIndex();
}

int LocalFilesTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return parent.isValid() ? int(nodeOf(parent)->children.size()) : 1;
}

bool LocalFilesTreeModel::hasChildren(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return false;
    const LocalFileNode *node = nodeOf(parent);
    if (!node)
        return true;
    // An unread folder offers its expander; reading it tells.
    return node->isDir
        && (node->load != LocalFileNode::Load::Read || !node->children.isEmpty()
            || !node->waitingChildren.empty());
}

bool LocalFilesTreeModel::canFetchMore(const QModelIndex &parent) const
{
    const LocalFileNode *node = nodeOf(parent);
    return node && node->isDir && node->load == LocalFileNode::Load::NotRead;
}

void LocalFilesTreeModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        requestScan(nodeOf(parent));
}

void LocalFilesTreeModel::requestScan(LocalFileNode *folder) const
{
    if (folder->load == LocalFileNode::Load::NotRead) {
        folder->load = LocalFileNode::Load::Reading;
        // Watched before it is read, not after: a file created while the scanner reads
        // would otherwise never be seen.
        const_cast<QFileSystemWatcher &>(watcher).addPath(folder->path());
    }
    folder->scanTicket = ++lastTicket;
    // A const function may start a reading (index(path) does): the signal is emitted
    // on a model that stays the same to its views until the answer arrives.
    Q_EMIT const_cast<LocalFilesTreeModel *>(this)->scanRequested(folder->path(), folder->scanTicket,
                                                                  sortColumn, sortOrder);
}

void LocalFilesTreeModel::takeListing(const LocalFolderListingPtr &listing)
{
    LocalFileNode *folder = findNode(listing->path);
    if (!folder || folder->scanTicket != listing->ticket)
        return; // gone, or read again since
    if (folder->load == LocalFileNode::Load::Read) {
        mergeListing(folder, listing);
        return;
    }
    folder->load = LocalFileNode::Load::Read;
    if (!listing->readable)
        watcher.removePath(listing->path);
    folder->adoptListed(std::exchange(listing->entries, {}), std::exchange(listing->byName, {}));
    foldersShowing.append(listing->path);
    showWaitingRows();
}

void LocalFilesTreeModel::showWaitingRows()
{
    // One slice per turn of the event loop: the views lay out and paint in between.
    int budget = RowsPerSlice;
    while (budget > 0 && !foldersShowing.isEmpty()) {
        const QString path = foldersShowing.first();
        LocalFileNode *folder = findNode(path);
        if (!folder) {
            foldersShowing.removeFirst();
            continue;
        }
        std::vector<LocalFileNode *> &waiting = folder->waitingChildren;
        const int count = int(std::min<size_t>(size_t(budget), waiting.size()));
        if (count > 0) {
            const int first = int(folder->children.size());
            beginInsertRows(indexOf(folder), first, first + count - 1);
            folder->children.append(QList<LocalFileNode *>(waiting.begin(), waiting.begin() + count));
            waiting.erase(waiting.begin(), waiting.begin() + count);
            folder->renumberChildren(first);
            endInsertRows();
            budget -= count;
        }
        if (waiting.empty()) {
            foldersShowing.removeFirst();
            Q_EMIT directoryLoaded(path);
        }
    }
    if (!foldersShowing.isEmpty())
        showTimer.start();
}

void LocalFilesTreeModel::showAllWaiting(LocalFileNode *folder)
{
    std::vector<LocalFileNode *> &waiting = folder->waitingChildren;
    if (waiting.empty())
        return;
    const int first = int(folder->children.size());
    beginInsertRows(indexOf(folder), first, first + int(waiting.size()) - 1);
    folder->children.append(QList<LocalFileNode *>(waiting.begin(), waiting.end()));
    waiting.clear();
    folder->renumberChildren(first);
    endInsertRows();
}

void LocalFilesTreeModel::mergeListing(LocalFileNode *folder, const LocalFolderListingPtr &listing)
{
    // Rows still coming in are shown first: the comparison below covers them too.
    showAllWaiting(folder);
    QHash<QString, LocalFileNode *> found = std::exchange(listing->byName, {});
    for (int row = int(folder->children.size()) - 1; row >= 0; --row) {
        LocalFileNode *node = folder->children.at(row);
        const LocalFileNode *now = found.value(node->name);
        if (!now || now->isDir != node->isDir) {
            removeRow(folder, row);
            continue;
        }
        found.remove(node->name);
        if (now->size != node->size || now->modifiedMs != node->modifiedMs) {
            node->size = now->size;
            node->modifiedMs = now->modifiedMs;
            Q_EMIT dataChanged(indexOf(node), indexOf(node, DateColumn));
        }
    }
    // The listing keeps what it still owns; the new entries move over one by one.
    std::vector<LocalFileNode *> kept;
    for (LocalFileNode *entry : listing->entries) {
        if (found.contains(entry->name))
            insertSorted(folder, entry);
        else
            kept.push_back(entry);
    }
    listing->entries = std::move(kept);
}

void LocalFilesTreeModel::insertSorted(LocalFileNode *folder, LocalFileNode *node)
{
    const auto at = std::lower_bound(folder->children.begin(), folder->children.end(), node,
                                     LocalFileNode::lessThan(sortColumn, sortOrder));
    const int row = int(at - folder->children.begin());
    beginInsertRows(indexOf(folder), row, row);
    folder->adopt(node);
    folder->children.insert(row, node);
    folder->renumberChildren(row);
    endInsertRows();
}

void LocalFilesTreeModel::removeRow(LocalFileNode *folder, int row)
{
    LocalFileNode *node = folder->children.at(row);
    beginRemoveRows(indexOf(folder), row, row);
    folder->children.removeAt(row);
    folder->forget(node);
    folder->renumberChildren(row);
    endRemoveRows();
    forgetWatches(node);
    delete node;
}

void LocalFilesTreeModel::forgetWatches(LocalFileNode *node)
{
    if (node->load == LocalFileNode::Load::NotRead)
        return;
    watcher.removePath(node->path());
    for (LocalFileNode *child : node->children)
        forgetWatches(child);
}

void LocalFilesTreeModel::folderChanged(const QString &path)
{
    changedFolders.insert(path);
    changedTimer.start();
}

void LocalFilesTreeModel::refreshDownloads()
{
    // A file grows without its folder changing: read the few being downloaded.
    for (auto it = downloading.begin(); it != downloading.end();) {
        LocalFileNode *node = findNode(*it);
        if (!QFileInfo::exists(*it)) {
            it = downloading.erase(it);
            continue;
        }
        if (node && node->row >= 0) {
            const qint64 size = node->size;
            const qint64 modified = node->modifiedMs;
            node->readStatus(QFile::encodeName(*it));
            if (node->size != size || node->modifiedMs != modified)
                Q_EMIT dataChanged(indexOf(node), indexOf(node, DateColumn));
        }
        ++it;
    }
    if (downloading.isEmpty())
        downloadTimer.stop();
}

int LocalFilesTreeModel::columnCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : DateColumn + 1;
}

QString LocalFilesTreeModel::typeText(const LocalFileNode *node) const
{
    if (node->isDir)
        return tr("Folder");
    const QString suffix = QFileInfo(node->name).suffix().toLower();
    auto it = typeBySuffix.constFind(suffix);
    if (it == typeBySuffix.constEnd()) {
        // By the name only: reading each file's first bytes would cost a read per row.
        const QMimeType type = QMimeDatabase().mimeTypeForFile(node->name, QMimeDatabase::MatchExtension);
        it = typeBySuffix.insert(suffix, type.isDefault() || suffix.isEmpty()
                                             ? (suffix.isEmpty() ? tr("File") : tr("%1 File").arg(suffix))
                                             : type.comment());
    }
    return it.value();
}

QVariant LocalFilesTreeModel::data(const QModelIndex &index, int role) const
{
    const LocalFileNode *node = nodeOf(index);
    if (!node)
        return QVariant();
    // A screen reader announces a row by its first cell: type, size and sync state.
    if (role == Qt::AccessibleDescriptionRole && index.column() == 0 && node->parent) {
        const bool pending = Settings::getInstance()->isPathDownloadable(node->path());
        if (node->isDir)
            return pending ? tr("Folder, being downloaded") : tr("Folder");
        const QString size = QLocale::system().formattedDataSize(node->size);
        return pending ? tr("File of %1, being downloaded").arg(size) : tr("File of %1").arg(size);
    }
    switch (index.column()) {
    case 0:
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return node->name;
        if (role == Qt::DecorationRole) {
            if (!node->parent)
                return sharedIconProvider()->icon(QFileIconProvider::Drive);
            if (node->isDir) {
                if (node->path() == Settings::getInstance()->getDefaultDownloadDirectory())
                    return QIcon(QStringLiteral(":/icons/defaultDownloadDirectoryIcon"));
                return sharedIconProvider()->icon(QFileIconProvider::Folder);
            }
            return sharedIconProvider()->icon(QFileIconProvider::File);
        }
        break;
    case 1:
        if (role == Qt::DisplayRole)
            return node->isDir ? QString() : QLocale::system().formattedDataSize(node->size);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case 2:
        if (role == Qt::DisplayRole)
            return typeText(node);
        break;
    case SyncColumn: {
        // Top-level entries (the file system's root) carry no sync state.
        if (!node->parent)
            return QVariant();
        const bool ownRole = role == Qt::DisplayRole || role == Qt::EditRole
            || role == Qt::DecorationRole;
        if (!ownRole)
            break;
        const bool pending = Settings::getInstance()->isPathDownloadable(node->path());
        if (role == Qt::DecorationRole) {
            return QIcon(pending ? QStringLiteral(":/icons/notUploadedIcon")
                                 : QStringLiteral(":/icons/uploadedIcon"));
        }
        return pending ? tr("No") : tr("Yes");
    }
    case DateColumn:
        if (role == Qt::DisplayRole) {
            return QLocale::system().toString(QDateTime::fromMSecsSinceEpoch(node->modifiedMs),
                                              QLocale::ShortFormat);
        }
        break;
    default:
        break;
    }
    return QVariant();
}

QVariant LocalFilesTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractItemModel::headerData(section, orientation, role);
    switch (section) {
    case 0: return tr("Name");
    case 1: return tr("Size");
    case 2: return tr("Type");
    case SyncColumn: return tr("Sync");
    case DateColumn: return tr("Date Modified");
    default: return QVariant();
    }
}

QStringList LocalFilesTreeModel::mimeTypes() const
{
    return {UriListType};
}

QMimeData *LocalFilesTreeModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex &index : indexes) {
        if (index.column() == 0)
            urls.append(QUrl::fromLocalFile(filePath(index)));
    }
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

Qt::DropActions LocalFilesTreeModel::supportedDropActions() const
{
    return Qt::CopyAction;
}

Qt::DropActions LocalFilesTreeModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

Qt::ItemFlags LocalFilesTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
    // A file never has rows: the view then skips its expanded-state lookup, which is
    // most of laying out a folder of 200,000 files.
    return isDir(index) ? flags | Qt::ItemIsDropEnabled : flags | Qt::ItemNeverHasChildren;
}

QString LocalFilesTreeModel::filePath(const QModelIndex &index) const
{
    const LocalFileNode *node = nodeOf(index);
    return node ? node->path() : QString();
}

bool LocalFilesTreeModel::isDir(const QModelIndex &index) const
{
    const LocalFileNode *node = nodeOf(index);
    return node && node->isDir;
}

void LocalFilesTreeModel::sort(int column, Qt::SortOrder order)
{
    if (column == sortColumn && order == sortOrder)
        return;
    sortColumn = column;
    sortOrder = order;
    const LocalFileNode::LessThan lessThan = LocalFileNode::lessThan(column, order);
    // Folders still coming in are shown whole first, so that one order covers them.
    for (const QString &path : std::exchange(foldersShowing, {})) {
        if (LocalFileNode *folder = findNode(path)) {
            showAllWaiting(folder);
            Q_EMIT directoryLoaded(path);
        }
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<LocalFileNode *> folders{rootNode};
    while (!folders.isEmpty()) {
        LocalFileNode *folder = folders.takeLast();
        std::sort(folder->children.begin(), folder->children.end(), lessThan);
        folder->renumberChildren();
        for (LocalFileNode *child : folder->children) {
            if (child->load != LocalFileNode::Load::NotRead)
                folders.append(child);
        }
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(indexOf(nodeOf(index), index.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void LocalFilesTreeModel::setRemoteModel(RemoteFilesTreeModel *model)
{
    remoteModel = model;
}

bool LocalFilesTreeModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row,
                                       int column, const QModelIndex &parent)
{
    Q_UNUSED(row)
    if (action == Qt::IgnoreAction)
        return true;
    if (!data || !data->hasFormat(UriListType) || column > 0 || !parent.isValid()
        || !isDir(parent)) {
        return false;
    }
    RefusalReport report(this);
    const QString base = joinPath(filePath(parent), QString());
    QSettings settings;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        const Wire::DragEntry entry = Wire::decodeDragEntry(url.toString());
        // Items the server does not know yet (id 0) cannot be downloaded.
        if (!remoteModel || entry.id == 0
            || (entry.kind != Wire::DragEntry::File && entry.kind != Wire::DragEntry::Folder))
            continue;
        const bool isDir = entry.kind == Wire::DragEntry::Folder;
        RemoteFilesTreeItem *item = draggedItem(entry.id, isDir, entry.selfId);
        if (!item)
            continue;
        if (isDir)
            addDirToModel(item, base, settings);
        else
            createFile(item, joinPath(base, item->getItemInnerName()), settings);
    }
    return true;
}

RemoteFilesTreeItem *LocalFilesTreeModel::draggedItem(quint64 id, bool isDir, quint64 selfId) const
{
    // A list may give two items one server id; the self id names the one the user
    // dragged, as long as it is an item of the tree shown.
    RemoteFilesTreeItem *item = remoteModel->getItemBySelfId(selfId);
    RemoteFilesTreeItem *top = remoteModel->getRootItem();
    if (item && item->getItemInnerId() == id && item->isDir() == isDir && top
        && (item == top || top->ancestorFor(item)))
        return item;
    return remoteModel->getItemByInnerId(id, isDir, nullptr);
}

void LocalFilesTreeModel::createFile(RemoteFilesTreeItem *item, const QString &path,
                                     QSettings &settings)
{
    Q_UNUSED(settings)
    if (!item || !remoteModel)
        return;
    RefusalReport report(this);
    if (!LocalFileName::isSafe(item->getItemInnerName())) {
        refuse(getRemotePath(item), tr("its name cannot be used as a local file name"));
        return;
    }
    const QString label = getRemotePath(item);
    queueTarget({remoteModel->refFor(item), QString(), path, label, prepareTarget(path, label)});
}

void LocalFilesTreeModel::createFileFromUrl(const QString &url, const QString &path)
{
    qCDebug(lcLocalTree) << "path for url download: " << path;
    RefusalReport report(this);
    queueTarget({RemoteItemRef(), url, path, url, prepareTarget(path, url)});
}

void LocalFilesTreeModel::addDirToModel(RemoteFilesTreeItem *item, const QString &path,
                                        QSettings &settings)
{
    if (!item || !QFileInfo(path).isDir())
        return;
    RefusalReport report(this);
    const QString name = item->getItemInnerName();
    if (!LocalFileName::isSafe(name)) {
        refuse(getRemotePath(item),
               tr("its name cannot be used as a local folder name; nothing in it was downloaded"));
        return;
    }
    QDir(path).mkdir(name);
    const QString sub = joinPath(joinPath(path, name), QString());
    if (!QFileInfo(sub).isDir()) {
        refuse(getRemotePath(item), tr("the local folder could not be created"));
        return;
    }
    const QList<RemoteFilesTreeItem *> children = item->getChildItems();
    for (RemoteFilesTreeItem *child : children) {
        if (child->isDir())
            addDirToModel(child, sub, settings);
        else
            createFile(child, joinPath(sub, child->getItemInnerName()), settings);
    }
}

void LocalFilesTreeModel::refreshPath(const QString &path)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    downloading.remove(clean);
    const QFileInfo info(clean);
    LocalFileNode *folder = findNode(info.path());
    if (!folder || folder->load != LocalFileNode::Load::Read)
        return;
    LocalFileNode *node = findNode(clean);
    if (!node) {
        // Created by the program a moment ago: shown now, not when the folder's watch
        // has been heard.
        auto *created = new LocalFileNode(info.fileName(), collator.sortKey(info.fileName()));
        if (!created->readStatus(QFile::encodeName(clean))) {
            delete created;
            return;
        }
        showAllWaiting(folder);
        insertSorted(folder, created);
        return;
    }
    if (node->row < 0)
        return; // still waiting to be shown: it is read as it is
    node->readStatus(QFile::encodeName(clean));
    Q_EMIT dataChanged(indexOf(node), indexOf(node, DateColumn));
}

QString LocalFilesTreeModel::joinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

LocalFilesTreeModel::Target LocalFilesTreeModel::prepareTarget(const QString &path,
                                                               const QString &itemLabel)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        refuse(itemLabel, tr("a local folder of that name is in the way"));
        return Target::Failed;
    }
    if (!info.exists())
        return Target::Create;
    QMessageBox box(QMessageBox::Question, tr("Download"),
                    tr("File '%1' already exists. Do you want to resume downloading?").arg(path),
                    QMessageBox::Cancel);
    box.setTextFormat(Qt::PlainText);
    QPushButton *overwrite = box.addButton(tr("Overwrite"), QMessageBox::ActionRole);
    QPushButton *resume = box.addButton(tr("Resume download"), QMessageBox::ActionRole);
    box.setDefaultButton(resume);
    box.exec();
    if (box.clickedButton() == resume)
        return Target::Resume;
    return box.clickedButton() == overwrite ? Target::Overwrite : Target::Cancelled;
}

void LocalFilesTreeModel::queueTarget(QueuedTarget target)
{
    if (target.target == Target::Create || target.target == Target::Overwrite
        || target.target == Target::Resume) {
        queuedTargets.append(std::move(target));
    }
    // Written when the outermost operation ends (RefusalReport).
}

void LocalFilesTreeModel::writeQueuedTargets()
{
    QElapsedTimer slice;
    slice.start();
    int written = 0;
    while (!queuedTargets.isEmpty()
           && (written < TargetsPerSlice || slice.elapsed() < TargetSliceMs)) {
        const QueuedTarget target = queuedTargets.takeFirst();
        ++written;
        // Resuming leaves the file as it is and does not mark it pending.
        if (target.target == Target::Resume)
            trackDownload(target.path);
        else if (!writeTarget(target))
            continue;
        if (!target.item.isNull())
            Q_EMIT downloadFile(target.item, target.path);
        else
            Q_EMIT downloadUrl(target.url, target.path);
    }
    if (!queuedTargets.isEmpty())
        targetTimer.start();
    else
        showRefusals();
}

bool LocalFilesTreeModel::writeTarget(const QueuedTarget &target)
{
    QFile file(target.path);
    const bool overwrite = target.target == Target::Overwrite;
    if (!file.open(overwrite ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::WriteOnly)) {
        refuse(target.itemLabel, overwrite
                   ? tr("the local file could not be written: %1").arg(file.errorString())
                   : tr("the local file could not be created: %1").arg(file.errorString()));
        return false;
    }
    Settings::getInstance()->addDownloadPath(target.path);
    file.close();
    refreshPath(target.path);
    trackDownload(target.path);
    return true;
}

void LocalFilesTreeModel::refuse(const QString &itemLabel, const QString &reason)
{
    qCDebug(lcLocalTree) << "download refused:" << itemLabel << reason;
    refusedItems.append(QStringLiteral("\"%1\": %2").arg(printable(itemLabel), reason));
}

void LocalFilesTreeModel::showRefusals()
{
    if (refusedItems.isEmpty())
        return;
    const QStringList refused = std::exchange(refusedItems, {});
    QStringList shown = refused.mid(0, RefusalsShown);
    if (refused.size() > RefusalsShown)
        shown.append(tr("... and %n more.", nullptr, int(refused.size() - RefusalsShown)));
    QMessageBox box(QMessageBox::Warning, tr("Download refused"),
                    tr("These items were not downloaded:") + QLatin1Char('\n')
                        + shown.join(QLatin1Char('\n')),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    if (refused.size() > RefusalsShown)
        box.setDetailedText(refused.join(QLatin1Char('\n')));
    box.exec();
}

QString LocalFilesTreeModel::getRemotePath(const RemoteFilesTreeItem *item)
{
    QStringList names;
    // The hidden top item has no parent and no name of the user's.
    for (const RemoteFilesTreeItem *it = item; it && it->parent(); it = it->parent())
        names.prepend(it->getItemInnerName());
    return names.join(QLatin1Char('/'));
}

void LocalFilesTreeModel::trackDownload(const QString &path)
{
    downloading.insert(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (!downloadTimer.isActive())
        downloadTimer.start();
}
