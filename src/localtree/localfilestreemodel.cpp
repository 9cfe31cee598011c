#include "localfilestreemodel.h"

#include "logging.h"
#include "remotetree/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "settings.h"
#include "network/mainnetworkthread.h"

#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QIcon>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

namespace {

const QString UriListType = QStringLiteral("text/uri-list");

// At most this many refused items are listed in the box's text; all of them are in its
// details.
constexpr int RefusalsShown = 10;

// The file system model's gatherer thread may still ask for icons while the model is
// being destroyed, so the provider outlives every model.
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
        if (--model->operationDepth == 0)
            model->showRefusals();
    }
    Q_DISABLE_COPY_MOVE(RefusalReport)

private:
    LocalFilesTreeModel *model;
};

LocalFilesTreeModel::LocalFilesTreeModel(QObject *parent) : QFileSystemModel(parent)
{
    // Items travel to the scheduler's thread by pointer.
    qRegisterMetaType<RemoteFilesTreeItem *>("RemoteFilesTreeItem*");
    setIconProvider(sharedIconProvider());
    // Nothing is fetched before a root path is set.
    setRootPath(QDir::rootPath());
    MainNetworkThread *scheduler = MainNetworkThread::getInstance();
    connect(this, &LocalFilesTreeModel::downloadFile, scheduler, &MainNetworkThread::downloadFile);
    connect(this, &LocalFilesTreeModel::downloadUrl, scheduler, &MainNetworkThread::downloadUrl);
}

LocalFilesTreeModel::~LocalFilesTreeModel() = default;

int LocalFilesTreeModel::columnCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : DateColumn + 1;
}

QVariant LocalFilesTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (index.column() == SyncColumn) {
        const bool ownRole = role == Qt::DisplayRole || role == Qt::EditRole
            || role == Qt::DecorationRole;
        if (!ownRole)
            return QFileSystemModel::data(index, role);
        // Top-level entries (the file system's root) carry no sync state.
        if (!index.parent().isValid())
            return QVariant();
        const bool pending = Settings::getInstance()->isPathDownloadable(filePath(index));
        if (role == Qt::DecorationRole) {
            return QIcon(pending ? QStringLiteral(":/icons/notUploadedIcon")
                                 : QStringLiteral(":/icons/uploadedIcon"));
        }
        return pending ? tr("No") : tr("Yes");
    }
    if (index.column() == DateColumn)
        return QFileSystemModel::data(index.siblingAtColumn(SyncColumn), role);
    if (index.column() == 0 && role == Qt::DecorationRole
        && filePath(index) == Settings::getInstance()->getDefaultDownloadDirectory()) {
        return QIcon(QStringLiteral(":/icons/defaultDownloadDirectoryIcon"));
    }
    return QFileSystemModel::data(index, role);
}

QVariant LocalFilesTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section == SyncColumn && role == Qt::DisplayRole)
            return tr("Sync");
        if (section == DateColumn)
            return QFileSystemModel::headerData(SyncColumn, orientation, role);
    }
    return QFileSystemModel::headerData(section, orientation, role);
}

QStringList LocalFilesTreeModel::mimeTypes() const
{
    return {UriListType};
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
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
    if (isDir(index))
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

void LocalFilesTreeModel::sort(int column, Qt::SortOrder order)
{
    // The file system model knows its own four columns only.
    QFileSystemModel::sort(column == DateColumn ? SyncColumn : column, order);
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
        // "/getfile/<server id>/<self id>" or "/getdir/<server id>/<self id>".
        const QStringList pieces = url.toString().split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (pieces.size() < 2 || !remoteModel)
            continue;
        const quint64 id = pieces.at(1).toULongLong();
        // Items the server does not know yet (id 0) cannot be downloaded.
        if (id == 0)
            continue;
        const bool isDir = pieces.at(0) == QLatin1String("getdir");
        if (!isDir && pieces.at(0) != QLatin1String("getfile"))
            continue;
        RemoteFilesTreeItem *item = draggedItem(id, isDir, pieces.value(2).toULongLong());
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
    if (!item)
        return;
    RefusalReport report(this);
    if (!isSafeLocalName(item->getItemInnerName())) {
        refuse(getRemotePath(item), tr("its name cannot be used as a local file name"));
        return;
    }
    const Target target = prepareTarget(path, getRemotePath(item));
    if (target == Target::Ready || target == Target::Resume)
        Q_EMIT downloadFile(item, path);
}

void LocalFilesTreeModel::createFileFromUrl(const QString &url, const QString &path)
{
    qCDebug(lcLocalTree) << "path for url download: " << path;
    RefusalReport report(this);
    const Target target = prepareTarget(path, url);
    if (target == Target::Ready || target == Target::Resume)
        Q_EMIT downloadUrl(url, path);
}

void LocalFilesTreeModel::addDirToModel(RemoteFilesTreeItem *item, const QString &path,
                                        QSettings &settings)
{
    if (!item || !QFileInfo(path).isDir())
        return;
    RefusalReport report(this);
    const QString name = item->getItemInnerName();
    if (!isSafeLocalName(name)) {
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
    const QModelIndex found = index(path);
    if (found.isValid())
        Q_EMIT dataChanged(found.siblingAtColumn(0), found.siblingAtColumn(DateColumn));
}

bool LocalFilesTreeModel::isSafeLocalName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && !name.contains(QChar(0));
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
    QFile file(path);
    if (info.exists()) {
        QMessageBox box(QMessageBox::Question, tr("Download"),
                        tr("File '%1' already exists. Do you want to resume downloading?")
                            .arg(path),
                        QMessageBox::Cancel);
        box.setTextFormat(Qt::PlainText);
        QPushButton *overwrite = box.addButton(tr("Overwrite"), QMessageBox::ActionRole);
        QPushButton *resume = box.addButton(tr("Resume download"), QMessageBox::ActionRole);
        box.setDefaultButton(resume);
        box.exec();
        if (box.clickedButton() == resume)
            return Target::Resume;
        if (box.clickedButton() != overwrite)
            return Target::Cancelled;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            refuse(itemLabel, tr("the local file could not be written: %1").arg(file.errorString()));
            return Target::Failed;
        }
    } else if (!file.open(QIODevice::WriteOnly)) {
        refuse(itemLabel, tr("the local file could not be created: %1").arg(file.errorString()));
        return Target::Failed;
    }
    Settings::getInstance()->addDownloadPath(path);
    file.close();
    refreshPath(path);
    return Target::Ready;
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
