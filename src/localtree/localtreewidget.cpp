#include "localtreewidget.h"

#include "base/settings.h"
#include "dialogs/addurldialog.h"
#include "localtree/localfilestreemodel.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "wire/localfilename.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>

LocalTreeWidget::LocalTreeWidget(QWidget *parent)
    : QTreeView(parent),
      localModel(new LocalFilesTreeModel(this)),
      addUrlAction(new QAction(tr("Download from URL"), this)),
      setDefaultDownloadDirectoryAction(new QAction(tr("Set as default"), this)),
      contextMenu(new QMenu(this))
{
    setModel(localModel);
    // Rows of one height: the view need not ask a folder of 200,000 rows for each one's.
    setUniformRowHeights(true);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    // The sync state is the model's; the pane does not show it.
    setColumnHidden(LocalFilesTreeModel::SyncColumn, true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    contextMenu->addAction(addUrlAction);
    contextMenu->addSeparator();
    contextMenu->addAction(setDefaultDownloadDirectoryAction);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(this, &QTreeView::expanded, this, &LocalTreeWidget::expandedItem);
    // The model reads folders in the background: a folder's names arrive
    // after it was expanded.
    connect(localModel, &LocalFilesTreeModel::directoryLoaded, this,
            [this] { resizeColumnToContents(0); });
    // Folders are read and sorted in the background: while the folders on the way to a
    // revealed entry come in, rows above it move, so it is scrolled to again.
    revealRetry.setSingleShot(true);
    revealRetry.setInterval(RevealRetryMs);
    connect(&revealRetry, &QTimer::timeout, this, &LocalTreeWidget::applyReveal);
    const auto followReveal = [this] {
        if (!pendingReveal.isEmpty() && revealTimer.isValid()
            && revealTimer.elapsed() < RevealSettleMs) {
            revealRetry.start();
        }
    };
    connect(localModel, &LocalFilesTreeModel::directoryLoaded, this, followReveal);
    connect(localModel, &QAbstractItemModel::rowsInserted, this, followReveal);
    connect(localModel, &QAbstractItemModel::layoutChanged, this, followReveal);
}

LocalTreeWidget::~LocalTreeWidget() = default;

void LocalTreeWidget::setRemoteTree(QAbstractItemView *tree)
{
    remoteTree = tree;
    setRemoteModel(tree ? qobject_cast<RemoteFilesTreeModel *>(tree->model()) : nullptr);
}

void LocalTreeWidget::setRemoteModel(RemoteFilesTreeModel *model)
{
    localModel->setRemoteModel(model);
}

void LocalTreeWidget::setScheduler(MainNetworkThread *scheduler)
{
    localModel->setScheduler(scheduler);
}

void LocalTreeWidget::refreshLocalModel(const QString &path)
{
    localModel->refreshPath(path);
}

void LocalTreeWidget::revealPath(const QString &path)
{
    // The model names folders by their clean absolute path.
    pendingReveal = path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    revealTimer.start();
    applyReveal();
}

void LocalTreeWidget::applyReveal()
{
    if (pendingReveal.isEmpty())
        return;
    const QModelIndex target = localModel->index(pendingReveal);
    if (!target.isValid())
        return;
    for (QModelIndex folder = target.parent(); folder.isValid(); folder = folder.parent())
        expand(folder);
    expand(target);
    setCurrentIndex(target);
    scrollTo(target, QAbstractItemView::PositionAtCenter);
}

void LocalTreeWidget::expandedItem(const QModelIndex &index)
{
    resizeColumnToContents(index.column());
}

void LocalTreeWidget::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndexList selected = selectedIndexes();
    if (selected.isEmpty())
        return;
    const QFileInfo folder = localModel->fileInfo(selected.first());
    if (!folder.isDir())
        return;
    QAction *chosen = contextMenu->exec(event->globalPos());
    if (chosen == addUrlAction)
        addUrlDialogShow(folder);
    else if (chosen == setDefaultDownloadDirectoryAction)
        setDefaultDownloadDirectory(folder);
}

void LocalTreeWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void LocalTreeWidget::dropEvent(QDropEvent *event)
{
    // Only remote items are downloaded here; local files dropped from this pane or
    // from other programs would otherwise be taken for downloads.
    if (remoteTree && event->source() == remoteTree)
        QTreeView::dropEvent(event);
    else
        event->ignore();
}

void LocalTreeWidget::addUrlDialogShow(const QFileInfo &folder)
{
    AddUrlDialog dialog;
    dialog.clearUrl();
    if (dialog.exec() == QDialog::Accepted)
        addNewUrl(dialog.getUrl(), folder.absoluteFilePath());
}

void LocalTreeWidget::addNewUrl(const QString &url, const QString &folder)
{
    // The same name the remote pane gives an address (RemoteTreeWidget::fileNameFromUrl).
    const QString name = LocalFileName::fromUrl(url);
    if (!LocalFileName::isSafe(name)) {
        QMessageBox box(QMessageBox::Warning, tr("Download from URL"),
                        tr("The address \"%1\" does not end in a file name that can be saved "
                           "in a folder; nothing was downloaded.")
                            .arg(url),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    localModel->createFileFromUrl(url, LocalFilesTreeModel::joinPath(folder, name));
    refreshLocalModel(folder);
}

void LocalTreeWidget::setDefaultDownloadDirectory(const QFileInfo &folder)
{
    Settings *settings = Settings::getInstance();
    const QString previous = settings->getDefaultDownloadDirectory();
    settings->setDefaultDownloadDirectory(folder.filePath());
    // The default folder has an icon of its own: both folders are painted anew.
    refreshLocalModel(previous);
    refreshLocalModel(folder.filePath());
}
