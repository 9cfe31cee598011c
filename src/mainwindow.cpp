#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "base/logging.h"
#include "base/settingsfile.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/addurldialog.h"
#include "dialogs/preferencesdialog.h"
#include "dialogs/signindialog.h"
#include "dialogs/transferinfodialog.h"
#include "failurebox.h"
#include "gui/commandfeedback.h"
#include "gui/richtextguard.h"
#include "gui/themedicon.h"
#include "localtree/localfilestreemodel.h"
#include "localtree/localtreewidget.h"
#include "messagelogdock.h"
#include "network/basecommand.h"
#include "network/commandinfo.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remotetree.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QThreadPool>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// Lays a view into its frame, edge to edge.
void placeInFrame(QWidget *view, QWidget *frame)
{
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view);
}

// Fills a toolbar with a separator before the first action and after every action.
void fillToolBar(QToolBar *toolBar, const QList<QAction *> &actions)
{
    toolBar->addSeparator();
    for (QAction *action : actions) {
        toolBar->addAction(action);
        toolBar->addSeparator();
    }
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindowClass>())
{
    ui->setupUi(this);
    registerCustomTypes();
    // Before the toolbars (its toggle is one of their buttons) and before the layout
    // is restored (which shows it again if it was shown at the last close).
    messageLog = new MessageLogDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, messageLog);
    messageLog->hide();
    failureBox = new FailureBox(this);
    connect(failureBox, &FailureBox::showLogRequested, this, &MainWindow::showMessageLog);
    createActions();
    createToolBars();
    createTrayIcon();
    forceClose = false;

    progressStateStatusBarLabel = new QLabel(tr("Program started"), this);
    progressStateStatusBarLabel->setTextFormat(Qt::RichText);
    // A long message must not widen the window.
    progressStateStatusBarLabel->setMinimumWidth(1);
    progressStateStatusBarLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui->statusBar->addPermanentWidget(progressStateStatusBarLabel, 10);
    // A list of a million lines takes seconds to build: from its arrival until its
    // tree shows, the status line says so.
    listLoadingLabel = new QLabel(tr("Loading the file list…"), this);
    listLoadingLabel->setObjectName(QStringLiteral("listLoadingLabel"));
    ui->statusBar->addPermanentWidget(listLoadingLabel);
    listLoadingLabel->hide();

    aboutDialog = std::make_unique<AboutDialog>();
    prefsDialog = std::make_unique<PreferencesDialog>();
    transferInfoDialog = std::make_unique<TransferInfoDialog>();
    remoteTree = new RemoteTreeWidget(ui->remoteTreeFrame);
    localTree = new LocalTreeWidget(ui->localTreeFrame);
    createLocalPathField();

    Settings *settings = Settings::getInstance();
    MainNetworkThread *scheduler = MainNetworkThread::getInstance();
    connect(settings, &Settings::settingChange, this, &MainWindow::settingChanged);
    // The scheduler outlives every window: one connection, however many windows.
    connect(settings, &Settings::settingChange, scheduler, &MainNetworkThread::syncModeChange,
            Qt::UniqueConnection);
    if (!scheduler->isRunning()) {
        scheduler->moveToThread(scheduler);
        scheduler->start(QThread::InheritPriority);
    }
    readSettings();
    connectScheduler();
    BaseCommand::setMainThread(thread());

    // The panes and their models reach the program's scheduler only through the window.
    remoteTree->setScheduler(scheduler);
    localTree->setScheduler(scheduler);
    localTree->setRemoteTree(remoteTree);
    remoteTree->setLocalTree(localTree);
    placeInFrame(remoteTree, ui->remoteTreeFrame);
    placeInFrame(localTree, ui->localTreeFrame);
    createMenus();
    setShortcuts();
    setTabOrderAndNames();
    connect(remoteTree, &RemoteTreeWidget::commandsChanged, this, &MainWindow::updateActions);
    connect(remoteTree, &RemoteTreeWidget::downloadRequested, this, &MainWindow::downloadClicked);
    connect(localTree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::updateActions);
    remoteTree->installEventFilter(this);
    localTree->installEventFilter(this);
    updateActions();

    const QString defaultDirectory = settings->getDefaultDownloadDirectory();
    localTree->revealPath(defaultDirectory.isEmpty() ? QDir::homePath() : defaultDirectory);
}

MainWindow::~MainWindow()
{
    // Commands still queued or running hold shares of the remote trees; they end here,
    // and so does a list still being built.
    MainNetworkThread::getInstance()->stopAllCommands();
    for (QThread *builder : std::as_const(listBuilders))
        builder->wait();
    qDeleteAll(listBuilders);
}

QString MainWindow::getStatusText() const
{
    return progressStateStatusBarLabel->text();
}

void MainWindow::registerCustomTypes()
{
    BaseCommand::registerMetaTypes();
    // The scheduler's signals carry these pointers across threads.
    qRegisterMetaType<RemoteItemRef>("RemoteItemRef");
    qRegisterMetaType<RemoteItemChange>("RemoteItemChange");
    qRegisterMetaType<CommandInfo *>("CommandInfo*");
}

QAction *MainWindow::makeAction(const char *icon, const QString &text, void (MainWindow::*slot)())
{
    auto *action = new QAction(text, this);
    ThemedIcon::apply(action, QLatin1String(icon));
    connect(action, &QAction::triggered, this, slot);
    return action;
}

QAction *MainWindow::makeRemoteAction(const char *icon, const QString &text,
                                      RemoteTreeWidget::Command command)
{
    auto *action = new QAction(text, this);
    ThemedIcon::apply(action, QLatin1String(icon));
    connect(action, &QAction::triggered, this, [this, command] { remoteTree->runCommand(command); });
    remoteCommandActions.append({action, command});
    return action;
}

void MainWindow::createActions()
{
    refreshAction = makeAction("connectIcon", tr("Connect"), &MainWindow::refreshClicked);
    refreshLocalTreeAction = makeAction("refreshLocalFsIcon", tr("Refresh Local Files"),
                                        &MainWindow::refreshLocalTreeClicked);
    syncAction = makeAction("syncIcon", tr("Sync"), &MainWindow::syncClicked);
    settingChanged(Settings::SyncSetting);
    preferencesAction = makeAction("prefsIcon", tr("Options"), &MainWindow::prefsClicked);
    aboutAction = makeAction("aboutIcon", tr("About client"), &MainWindow::aboutClicked);
    exitAction = makeAction("exitIcon", tr("Close client"), &MainWindow::exitClicked);
    uploadAction = makeAction("uploadIcon", tr("Upload"), &MainWindow::uploadClicked);
    externalUploadAction = makeRemoteAction("externalUploadIcon", tr("Upload from URL"),
                                            RemoteTreeWidget::Command::UploadFromUrl);
    setDefaultDownloadDirectoryAction =
        makeAction("defaultDownloadDirectoryIcon", tr("Set as Default Download Folder"),
                   &MainWindow::setDefaultDownloadDirectoryClicked);
    // Two lines under the toolbar icon; one line in the menu.
    setDefaultDownloadDirectoryAction->setIconText(tr("Set as default\ndownload folder"));
    downloadAction = makeAction("downloadIcon", tr("Download"), &MainWindow::downloadClicked);
    externalDownloadAction = makeAction("externalDownloadIcon", tr("Download from URL"),
                                        &MainWindow::downloadFromUrlClicked);
    createNewFolderAction = makeRemoteAction("newFolderIcon", tr("New Folder"),
                                             RemoteTreeWidget::Command::NewFolder);
    renameAction = makeRemoteAction("renameIcon", tr("Rename"), RemoteTreeWidget::Command::Rename);
    removeAction = makeRemoteAction("removeIcon", tr("Remove"), RemoteTreeWidget::Command::Remove);
    toogleSearchableAction = makeRemoteAction("toogleSearchableIcon", tr("Toggle searchable"),
                                              RemoteTreeWidget::Command::ToggleSearchable);
    editDecriptionAction = makeRemoteAction("editDescriptionIcon", tr("Edit description"),
                                            RemoteTreeWidget::Command::EditDescription);
    setPasswordAction = makeRemoteAction("setPasswordIcon", tr("Set password"),
                                         RemoteTreeWidget::Command::SetPassword);
    propertiesAction = makeRemoteAction("propertiesIcon", tr("Properties"),
                                        RemoteTreeWidget::Command::Properties);
    focusLocalPathAction = new QAction(tr("Go to Local Folder"), this);
    connect(focusLocalPathAction, &QAction::triggered, this, &MainWindow::focusLocalPath);
}

void MainWindow::createToolBars()
{
    messageLogAction = messageLog->toggleViewAction();
    ThemedIcon::apply(messageLogAction, QStringLiteral("propertiesIcon"));
    messageLogAction->setText(tr("Message Log"));
    fillToolBar(ui->toolBar, {refreshAction, refreshLocalTreeAction, syncAction, messageLogAction,
                              preferencesAction, aboutAction, exitAction});
    fillToolBar(ui->localToolBar,
                {uploadAction, externalUploadAction, setDefaultDownloadDirectoryAction});
    fillToolBar(ui->remoteToolBar,
                {downloadAction, externalDownloadAction, createNewFolderAction, renameAction,
                 removeAction, toogleSearchableAction, editDecriptionAction, setPasswordAction,
                 propertiesAction});
    // Toolbar buttons take no focus by default: Tab would never reach them.
    for (QToolBar *toolBar : {ui->toolBar, ui->localToolBar, ui->remoteToolBar}) {
        const QList<QAction *> actions = toolBar->actions();
        for (QAction *action : actions) {
            if (QWidget *button = toolBar->widgetForAction(action); button && !action->isSeparator())
                button->setFocusPolicy(Qt::TabFocus);
        }
    }
}

void MainWindow::createMenus()
{
    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(refreshAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);

    QMenu *editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->addActions({createNewFolderAction, renameAction, removeAction});
    editMenu->addSeparator();
    editMenu->addActions({toogleSearchableAction, editDecriptionAction, setPasswordAction,
                          propertiesAction});
    editMenu->addSeparator();
    editMenu->addAction(setDefaultDownloadDirectoryAction);
    editMenu->addSeparator();
    editMenu->addAction(preferencesAction);

    QMenu *viewMenu = menuBar()->addMenu(tr("&View"));
    viewMenu->addActions({refreshLocalTreeAction, focusLocalPathAction});
    viewMenu->addSeparator();
    viewMenu->addAction(messageLogAction);

    QMenu *transfersMenu = menuBar()->addMenu(tr("&Transfers"));
    transfersMenu->addActions({uploadAction, externalUploadAction, downloadAction,
                               externalDownloadAction});
    transfersMenu->addSeparator();
    transfersMenu->addAction(syncAction);

    QMenu *helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(aboutAction);
}

void MainWindow::setShortcuts()
{
    refreshAction->setShortcut(QKeySequence(Qt::Key_F5));
    refreshLocalTreeAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    createNewFolderAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    uploadAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    downloadAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    preferencesAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    focusLocalPathAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    propertiesAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
    // F2 and Delete belong to the remote pane: Delete typed in the local pane or in a
    // text field must never remove remote files.
    renameAction->setShortcut(QKeySequence(Qt::Key_F2));
    removeAction->setShortcut(QKeySequence(QKeySequence::Delete));
    for (QAction *action : {renameAction, removeAction}) {
        action->setShortcutContext(Qt::WidgetShortcut);
        remoteTree->addAction(action);
    }
}

void MainWindow::createLocalPathField()
{
    localPathEdit = new QLineEdit(ui->frame);
    localPathEdit->setObjectName(QStringLiteral("localPathEdit"));
    localPathEdit->setPlaceholderText(tr("Type a folder and press Enter"));
    localPathEdit->setClearButtonEnabled(true);
    ui->verticalLayout->insertWidget(1, localPathEdit);
    connect(localPathEdit, &QLineEdit::returnPressed, this, [this] {
        const QString path = QDir::fromNativeSeparators(localPathEdit->text().trimmed());
        if (!QFileInfo(path).exists()) {
            progressStateStatusBarLabel->setText(
                tr("There is no folder %1.").arg(path).toHtmlEscaped());
            return;
        }
        localTree->revealPath(path);
        localTree->setFocus(Qt::ShortcutFocusReason);
    });
}

void MainWindow::setTabOrderAndNames()
{
    localTree->setAccessibleName(tr("Local files"));
    remoteTree->setAccessibleName(tr("Remote files"));
    localPathEdit->setAccessibleName(tr("Local folder"));
    ui->label->setBuddy(localTree);
    ui->label_2->setBuddy(remoteTree);
    ui->toolBar->setAccessibleName(ui->toolBar->windowTitle());
    ui->localToolBar->setAccessibleName(ui->localToolBar->windowTitle());
    ui->remoteToolBar->setAccessibleName(ui->remoteToolBar->windowTitle());

    // Each pane's buttons, then its field and tree; the window's own buttons last.
    QList<QWidget *> chain;
    const auto addButtons = [&chain](QToolBar *toolBar) {
        const QList<QAction *> actions = toolBar->actions();
        for (QAction *action : actions) {
            if (QWidget *button = toolBar->widgetForAction(action); button && !action->isSeparator())
                chain.append(button);
        }
    };
    addButtons(ui->localToolBar);
    chain << localPathEdit << localTree;
    addButtons(ui->remoteToolBar);
    chain << remoteTree;
    addButtons(ui->toolBar);
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
}

void MainWindow::focusLocalPath()
{
    localPathEdit->setFocus(Qt::ShortcutFocusReason);
    localPathEdit->selectAll();
}

QString MainWindow::localTargetFolder() const
{
    const QModelIndexList rows = localTree->selectionModel()->selectedRows();
    if (rows.size() > 1)
        return QString();
    if (rows.size() == 1) {
        const QFileInfo info = localTree->getLocalModel()->fileInfo(rows.first());
        return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    }
    const QString directory = Settings::getInstance()->getDefaultDownloadDirectory();
    return !directory.isEmpty() && QFileInfo(directory).isDir() ? directory : QString();
}

void MainWindow::updateActions()
{
    if (!remoteTree || !localTree)
        return;
    const auto allow = [](QAction *action, const QString &reason) {
        action->setEnabled(reason.isEmpty());
        // An empty tooltip shows the action's text.
        action->setToolTip(reason.isEmpty() ? QString() : action->text() + QStringLiteral(": ") + reason);
    };
    for (const auto &[action, command] : std::as_const(remoteCommandActions))
        allow(action, remoteTree->unavailableReason(command));
    allow(downloadAction, remoteTree->unavailableReason(RemoteTreeWidget::Command::Download));

    const QModelIndexList localRows = localTree->selectionModel()->selectedRows();
    QString uploadReason = remoteTree->unavailableReason(RemoteTreeWidget::Command::UploadFromUrl);
    if (localRows.isEmpty())
        uploadReason = tr("Select the local files or folders to upload.");
    allow(uploadAction, uploadReason);

    const bool oneLocalFolder = localRows.size() == 1
        && localTree->getLocalModel()->fileInfo(localRows.first()).isDir();
    allow(setDefaultDownloadDirectoryAction,
          oneLocalFolder ? QString() : tr("Select one local folder."));
    allow(externalDownloadAction, localTargetFolder().isEmpty()
              ? tr("Select one local folder, or set a default download folder.")
              : QString());
}

void MainWindow::createTrayIcon()
{
    systemTrayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/logoIcon")), this);
    systemTrayIcon->setToolTip(tr("Pelorin Client"));
    auto *trayMenu = new QMenu(this);
    trayMenu->addAction(exitAction);
    systemTrayIcon->setContextMenu(trayMenu);
    connect(systemTrayIcon, &QSystemTrayIcon::activated, this,
            &MainWindow::systemTrayIconActivated);
    // Without a system tray a shown icon would still count as visible, and closing the
    // window would hide it where nobody can bring it back.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        systemTrayIcon->show();
}

void MainWindow::connectScheduler()
{
    MainNetworkThread *scheduler = MainNetworkThread::getInstance();
    connect(scheduler, &MainNetworkThread::newRemoteListReceived, this,
            &MainWindow::updateRemoteTree);
    connect(this, &MainWindow::requestRefreshList, scheduler, &MainNetworkThread::refreshList);
    connect(this, &MainWindow::startManualSyncClicked, scheduler,
            &MainNetworkThread::startManualSync);
    // What commands did to remote items reaches the remote model directly (it listens
    // to the scheduler itself); downloads show in the local pane.
    connect(scheduler, &MainNetworkThread::fileDownloaded, this, &MainWindow::refreshLocalModel);
    connect(scheduler, &MainNetworkThread::urlDownloaded, this, &MainWindow::refreshLocalModel);
    connect(scheduler, &MainNetworkThread::refreshProgress, this,
            &MainWindow::refreshingProgress);
    connect(scheduler, &MainNetworkThread::queueEmpty, this, &MainWindow::manualTransferDone);
}

void MainWindow::readSettings()
{
    const SettingsFile::WindowLayout layout = SettingsFile().load();
    // The file may hold any size and place (edited by hand, or written on a larger
    // screen): the window opens inside the free area of the screen it was on, or of
    // the primary one. A 30000 x 30000 window alone would take gigabytes of buffer.
    const QScreen *target = QGuiApplication::screenAt(layout.pos);
    if (!target)
        target = QGuiApplication::primaryScreen();
    if (target) {
        const QRect available = target->availableGeometry();
        const QSize size = layout.size.boundedTo(available.size());
        resize(size);
        move(qBound(available.left(), layout.pos.x(), available.right() + 1 - size.width()),
             qBound(available.top(), layout.pos.y(), available.bottom() + 1 - size.height()));
    } else {
        resize(layout.size.boundedTo(QSize(SettingsFile::DefaultWidth, SettingsFile::DefaultHeight)));
        move(layout.pos);
    }
    restoreState(layout.state, 0);
    // The first run's default size is too small for the toolbars with their texts:
    // the window grows to show every button, as far as the screen allows.
    if (layout.size == QSize(SettingsFile::DefaultWidth, SettingsFile::DefaultHeight) && screen())
        resize(size().expandedTo(sizeHint()).boundedTo(screen()->availableGeometry().size()));
    loadPreferencesDialog();
}

void MainWindow::loadPreferencesDialog()
{
    const Settings *store = Settings::getInstance();
    const Settings::SyncType syncType = store->getSyncType();
    prefsDialog->setManualSyncCheck(syncType != Settings::BackgroundSync
                                    && syncType != Settings::TimerSync);
    prefsDialog->setDropSyncCheck(syncType == Settings::BackgroundSync);
    prefsDialog->setTimerSyncCheck(syncType == Settings::TimerSync);
    prefsDialog->setLogin(store->getLogin());
    prefsDialog->setPassword(store->getPass());
    prefsDialog->setDefaultDownloadDirectory(store->getDefaultDownloadDirectory());
    prefsDialog->setSyncTime(store->getSyncTime());
    prefsDialog->setStreamsCount(store->getStreamsCount());
    prefsDialog->setServerAddress(store->getServerHost(), store->getServerPort());
}

void MainWindow::writeSettings()
{
    SettingsFile file;
    if (!file.save({size(), pos(), saveState(0)})) {
        QMessageBox::warning(this, tr("Settings not saved"),
                             tr("The settings could not be saved: %1").arg(file.errorString()));
    }
}

bool MainWindow::signIn()
{
    SignInDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (dialog.isServerChanged()) {
        SettingsFile file;
        if (!file.saveServer(dialog.getHost(), dialog.getPort())) {
            QMessageBox::warning(this, tr("Settings not saved"),
                                 tr("The server's address could not be saved: %1").arg(file.errorString()));
        }
    }
    refreshClicked();
    return true;
}

void MainWindow::refreshClicked()
{
    qCDebug(lcApp) << "refresh clicked threadid=" << QThread::currentThreadId();
    remoteTree->setEnabled(false);
    Q_EMIT requestRefreshList();
    if (Settings::getInstance()->getSyncType() == Settings::ManualSync)
        syncClicked();
}

void MainWindow::updateRemoteTree(QString receivedData)
{
    refreshAction->setText(tr("Refresh My Kelvarhold"));
    ThemedIcon::apply(refreshAction, QStringLiteral("refreshIcon"));
    qCDebug(lcApp) << "MainWindow: New Remote Tree Received threadid" << QThread::currentThreadId();
    // Built and put in the order the view shows on a worker thread: a list of a million
    // lines takes seconds, during which the window must go on painting.
    const int sortColumn = remoteTree->header()->sortIndicatorSection();
    const Qt::SortOrder order = remoteTree->header()->sortIndicatorOrder();
    const QString rootName = RemoteFilesTreeModel::rootFolderName(Settings::getInstance()->getLogin());
    const quint64 generation = ++remoteListGeneration;
    listLoadingLabel->show();
    // A thread of its own rather than the shared pool: its start and end order the
    // hand-over of the list and of the tree for every thread checker too.
    auto built = std::make_shared<std::shared_ptr<RemoteTree>>();
    QThread *builder = QThread::create([built, list = std::move(receivedData), rootName, sortColumn, order] {
        *built = RemoteTree::fromList(list, rootName);
        RemoteFilesTreeItem::SortKey key = RemoteFilesTreeItem::SortKey::Name;
        if (RemoteFilesTreeModel::sortKeyOf(sortColumn, key))
            (*built)->sortAllFolders(key, order);
    });
    listBuilders.append(builder);
    connect(builder, &QThread::finished, this, [this, builder, built, generation] {
        // Ended for good (finished comes just before), which also orders the hand-over
        // of the tree for thread checkers.
        builder->wait();
        listBuilders.removeOne(builder);
        builder->deleteLater();
        std::shared_ptr<RemoteTree> tree = std::exchange(*built, nullptr);
        if (generation == remoteListGeneration) {
            shownListGeneration = generation;
            listLoadingLabel->hide();
            showRemoteTree(std::move(tree));
        } else {
            QThreadPool::globalInstance()->start([doomed = std::move(tree)]() mutable { doomed.reset(); });
        }
    });
    builder->start(QThread::LowPriority);
}

void MainWindow::showRemoteTree(std::shared_ptr<RemoteTree> tree)
{
    // What the user had open and selected, by server id: items of the old list are not
    // those of the new one.
    RemoteFilesTreeModel *old = remoteTree->getModelAsRemoteFileTreeModel();
    QList<quint64> expandedFolders;
    QList<std::pair<quint64, quint64>> selectedRows; // folder id, item id (0: the folder)
    if (old) {
        for (const RemoteFilesTreeItem *folder : old->getExpandedItems())
            expandedFolders.append(folder->getItemInnerId());
        constexpr qsizetype MaxKeptSelection = 1000;
        for (RemoteFilesTreeItem *item : remoteTree->getSelectedItems().mid(0, MaxKeptSelection)) {
            // An item not on the server yet is in no list; id 0 would name the user's
            // root folder (or, for a file, its folder) instead.
            if (item->getItemInnerId() == 0 && item != old->getRootItem())
                continue;
            if (item->isDir())
                selectedRows.append({item->getItemInnerId(), 0});
            else if (item->parent())
                selectedRows.append({item->parent()->getItemInnerId(), item->getItemInnerId()});
        }
    }

    auto *model = new RemoteFilesTreeModel(std::move(tree), this);
    // The view makes a selection model for each new model and keeps the old one.
    QItemSelectionModel *oldSelection = remoteTree->selectionModel();
    remoteTree->setModel(model);
    delete oldSelection;
    connect(model, &RemoteFilesTreeModel::expandItem, remoteTree, &QTreeView::expand);
    connect(model, &RemoteFilesTreeModel::collapseAllItems, remoteTree, &QTreeView::collapseAll);
    localTree->setRemoteModel(model);
    // Queued commands keep the old tree as long as they need it.
    if (old)
        old->deleteLater();

    // The user's root folder opens, so that the tree is seen at once.
    const QModelIndex top = model->index(0, 0);
    remoteTree->expand(top);
    const RemoteTree &shown = *model->getTree();
    for (quint64 id : std::as_const(expandedFolders)) {
        if (RemoteFilesTreeItem *folder = id ? shown.folderById(id) : nullptr)
            remoteTree->expand(model->getIndexByItem(folder, QModelIndex()));
    }
    QItemSelection selection;
    for (const auto &[folderId, itemId] : std::as_const(selectedRows)) {
        RemoteFilesTreeItem *folder = folderId ? shown.folderById(folderId) : model->getRootItem();
        RemoteFilesTreeItem *item = folder;
        if (folder && itemId) {
            item = nullptr;
            for (RemoteFilesTreeItem *child : folder->getChildItems()) {
                if (!child->isDir() && child->getItemInnerId() == itemId) {
                    item = child;
                    break;
                }
            }
        }
        if (item) {
            const QModelIndex row = model->getIndexByItem(item, QModelIndex());
            selection.select(row, row.siblingAtColumn(model->columnCount() - 1));
        }
    }
    if (!selection.isEmpty())
        remoteTree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    remoteTree->resizeColumnToContents(0);
    remoteTree->resizeColumnToContents(model->columnCount() - 1);
    if (std::exchange(enableRemoteTreeWhenShown, false))
        remoteTree->setEnabled(true);
    Q_EMIT remoteTreeShown();
}

void MainWindow::refreshLocalModel(QString downloadPath)
{
    localTree->refreshLocalModel(downloadPath);
}

void MainWindow::refreshLocalTreeClicked()
{
    // The local model follows its folders by itself, and the files being downloaded;
    // what it cannot notice is a pending mark that ended or a new default folder, which
    // are read anew when every shown row is painted again.
    localTree->viewport()->update();
}

void MainWindow::syncClicked()
{
    if (!transferInfoDialog)
        return;
    if (Settings::getInstance()->getSyncType() == Settings::ManualSync) {
        Q_EMIT startManualSyncClicked();
        transferInfoDialog->setWindowModality(Qt::ApplicationModal);
        transferInfoDialog->show();
    } else {
        transferInfoDialog->setWindowModality(Qt::NonModal);
        transferInfoDialog->setVisible(!transferInfoDialog->isVisible());
    }
}

void MainWindow::updateConnectAction()
{
    const bool haveLogin = !Settings::getInstance()->getLogin().isEmpty();
    refreshAction->setEnabled(haveLogin);
    // An empty tooltip shows the action's text, whichever it is at the time.
    refreshAction->setToolTip(haveLogin ? QString() : tr("Enter your login in Options first."));
}

void MainWindow::settingChanged(Settings::SettingType settingType)
{
    if (settingType == Settings::LoginSetting && refreshAction)
        updateConnectAction();
    if (settingType != Settings::SyncSetting || !syncAction)
        return;
    syncAction->setText(Settings::getInstance()->getSyncType() != Settings::ManualSync
                            ? tr("View Progress")
                            : tr("Sync"));
}

void MainWindow::prefsClicked()
{
    if (!prefsDialog)
        return;
    // What the store holds now (a folder set as default in the local pane, say), not
    // what the dialog showed last time; a cancelled edit is forgotten.
    loadPreferencesDialog();
    if (prefsDialog->exec() != QDialog::Accepted)
        return;
    Settings *store = Settings::getInstance();
    const QString previousDirectory = store->getDefaultDownloadDirectory();
    store->setLogin(prefsDialog->getLogin());
    store->setPass(prefsDialog->getPassword());
    if (prefsDialog->getManualSyncCheck())
        store->setSyncType(Settings::ManualSync);
    if (prefsDialog->getDropSyncCheck())
        store->setSyncType(Settings::BackgroundSync);
    if (prefsDialog->getTimerSyncCheck())
        store->setSyncType(Settings::TimerSync);
    store->setSyncTime(prefsDialog->getSyncTime());
    store->setDefaultDownloadDirectory(prefsDialog->getDefaultDownloadDirectory());
    store->setStreamsCount(prefsDialog->getStreamsCount());
    // The default download folder has its own icon in the local pane.
    localTree->refreshLocalModel(previousDirectory);
    localTree->refreshLocalModel(store->getDefaultDownloadDirectory());
    // A download from an address goes to the default folder when none is selected.
    updateActions();
}

void MainWindow::aboutClicked()
{
    if (aboutDialog)
        aboutDialog->exec();
}

void MainWindow::uploadClicked()
{
    RemoteFilesTreeModel *model = remoteTree->getModelAsRemoteFileTreeModel();
    if (!model || !model->getRootItem()) {
        QMessageBox::information(this, tr("Upload"),
                                 tr("Press \"Connect\" first: the remote tree is not loaded yet."));
        return;
    }
    // Into the selected remote folder; the root when none is selected.
    RemoteFilesTreeItem *target = remoteTree->getTargetFolder();
    if (!target)
        return;
    LocalFilesTreeModel *localModel = localTree->getLocalModel();
    // The selection holds one index per column of each row.
    QSet<QString> handled;
    const QModelIndexList selected = localTree->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected) {
        const QFileInfo fileInfo = localModel->fileInfo(index);
        if (handled.contains(fileInfo.absoluteFilePath()))
            continue;
        handled.insert(fileInfo.absoluteFilePath());
        model->addNewItemToModel(fileInfo, target);
    }
    model->showUploadRefusals();
}

void MainWindow::downloadClicked()
{
    RemoteFilesTreeModel *model = remoteTree->getModelAsRemoteFileTreeModel();
    const QModelIndexList selected = remoteTree->selectionModel()->selectedIndexes();
    if (!model || selected.isEmpty())
        return;
    const QString directory = Settings::getInstance()->getDefaultDownloadDirectory();
    // Without a default folder the targets would land in the file system's root.
    if (directory.isEmpty() || !QFileInfo(directory).isDir()) {
        QMessageBox::warning(this, tr("Download"),
                             tr("Choose an existing default download folder first: in Options, "
                                "or with \"Set as default\" on a local folder."));
        return;
    }
    QList<RemoteFilesTreeItem *> done;
    for (const QModelIndex &index : selected) {
        // The row's own item: the user's root folder is a top-level row, and its
        // download fetches the whole storage.
        RemoteFilesTreeItem *item = model->itemFromIndex(index);
        if (item)
            downloadItem(item, done, QString());
    }
    localTree->refreshLocalModel(directory);
}

void MainWindow::downloadItem(RemoteFilesTreeItem *item, QList<RemoteFilesTreeItem *> &done,
                              const QString &path)
{
    if (done.contains(item))
        return;
    const QString directory = Settings::getInstance()->getDefaultDownloadDirectory();
    LocalFilesTreeModel *localModel = localTree->getLocalModel();
    QSettings settings;
    if (item->isDir()) {
        localModel->addDirToModel(item, LocalFilesTreeModel::joinPath(directory, path), settings);
    } else {
        localModel->createFile(item, LocalFilesTreeModel::joinPath(directory, item->getItemInnerName()),
                               settings);
    }
    done.append(item);
}

void MainWindow::manualTransferDone()
{
    if (Settings::getInstance()->getSyncType() == Settings::ManualSync && transferInfoDialog)
        transferInfoDialog->hide();
    // Not while a list builds: a change made on the tree it is about to replace would
    // vanish from view behind a list taken before the change.
    if (shownListGeneration != remoteListGeneration)
        enableRemoteTreeWhenShown = true;
    else
        remoteTree->setEnabled(true);
}

void MainWindow::refreshingProgress(CommandInfo *commandInfo)
{
    const std::unique_ptr<CommandInfo> info(commandInfo);
    if (!info)
        return;
    const QString message = CommandFeedback::getMessage(*info);
    const CommandInfo::CommandState state = info->getCommandState();
    const bool failed =
        state == CommandInfo::Finished && info->getCommandResult() != BaseCommand::NoError;
    if (state != CommandInfo::Processing)
        messageLog->addEntry(QDateTime::currentDateTime(), CommandFeedback::getLogText(*info), failed);
    if (state == CommandInfo::Finished)
        markRemoteItem(*info);
    if (failed) {
        remoteTree->setEnabled(false);
        const CommandFeedback::ErrorTexts texts =
            CommandFeedback::getErrorTexts(info->getCommandResult());
        // One box at a time: a failure while it is open is counted in it.
        failureBox->report(texts.title, texts.text, CommandFeedback::getLogText(*info));
    }
    if (transferInfoDialog) {
        switch (state) {
        case CommandInfo::Started:
            transferInfoDialog->createProgress(info->getCommandId(), info->getProgressState(),
                                               message);
            break;
        case CommandInfo::Processing:
            transferInfoDialog->setProgressValue(
                info->getCommandId(), info->getProgressState(), message,
                CommandFeedback::getTimeText(info->getProgressRemainTime()),
                CommandFeedback::getSpeedText(info->getProgressSpeed()));
            break;
        case CommandInfo::Finished:
            transferInfoDialog->deleteProgress(info->getCommandId(), info->getProgressState(),
                                               message);
            break;
        }
    }
    if (state == CommandInfo::Processing) {
        qCDebug(lcApp).noquote() << message + QStringLiteral(": %1%; time=%2")
                                                  .arg(info->getProgressState())
                                                  .arg(info->getProgressRemainTime());
    } else {
        qCDebug(lcApp).noquote() << message;
        progressStateStatusBarLabel->setText(RichTextGuard::ownMarkupOnly(message));
    }
}

void MainWindow::markRemoteItem(const CommandInfo &info)
{
    RemoteFilesTreeModel *model = remoteTree->getModelAsRemoteFileTreeModel();
    RemoteFilesTreeItem *item =
        model && info.getItemSelfId() ? model->getItemBySelfId(info.getItemSelfId()) : nullptr;
    if (!item)
        return;
    if (info.getCommandResult() == BaseCommand::NoError) {
        model->setItemFailure(item, QString());
        return;
    }
    // A new folder or an upload from an address that the server never got would stay
    // as a ghost that nothing on the server stands behind.
    const BaseCommand::CommandType kind = info.getCommandKind();
    if ((kind == BaseCommand::CreateDirectoryCommand || kind == BaseCommand::UploadUrlCommand)
        && model->discardUnsavedItem(item))
        return;
    model->setItemFailure(item, CommandFeedback::getFailureCause(info));
}

void MainWindow::showMessageLog()
{
    messageLog->show();
    messageLog->raise();
}

void MainWindow::systemTrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        setVisible(!isVisible());
}

void MainWindow::nonImplementedButtonClicked()
{
    QMessageBox::information(this, tr("Not implemented"),
                             tr("Sorry, but this button is not implemented yet."));
}

void MainWindow::setDefaultDownloadDirectoryClicked()
{
    const QModelIndexList rows = localTree->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return;
    const QFileInfo folder = localTree->getLocalModel()->fileInfo(rows.first());
    if (folder.isDir())
        localTree->setDefaultDownloadDirectory(folder);
    updateActions();
}

void MainWindow::downloadFromUrlClicked()
{
    const QString folder = localTargetFolder();
    if (folder.isEmpty())
        return;
    AddUrlDialog dialog(this);
    dialog.clearUrl();
    if (dialog.exec() == QDialog::Accepted)
        localTree->addNewUrl(dialog.getUrl(), folder);
}

bool MainWindow::openOrDownload(QTreeView *view)
{
    const QModelIndex current = view->currentIndex();
    if (!current.isValid())
        return false;
    const QModelIndex row = current.siblingAtColumn(0);
    const bool isFolder = view == remoteTree
        ? remoteTree->getModelAsRemoteFileTreeModel()->itemFromIndex(row)
              && remoteTree->getModelAsRemoteFileTreeModel()->itemFromIndex(row)->isDir()
        : localTree->getLocalModel()->fileInfo(row).isDir();
    if (isFolder) {
        view->setExpanded(row, !view->isExpanded(row));
        return true;
    }
    if (view == remoteTree && downloadAction->isEnabled()) {
        downloadAction->trigger();
        return true;
    }
    return false;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == remoteTree || watched == localTree)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && key->modifiers() == Qt::NoModifier)
            return openOrDownload(static_cast<QTreeView *>(watched));
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // The desktop switched between light and dark: the icons follow.
    if (event->type() == QEvent::PaletteChange)
        ThemedIcon::refresh(this);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    fitToolBars();
}

void MainWindow::fitToolBars()
{
    // At twice the scale (or in a small window) the texts would push buttons behind the
    // toolbar's overflow chevron: a toolbar that does not fit shows smaller icons alone,
    // without separators, and its texts live in the tooltips.
    const auto setCompact = [](QToolBar *toolBar, bool compact) {
        toolBar->setToolButtonStyle(compact ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
        toolBar->setIconSize(compact ? QSize(24, 24) : QSize(32, 32));
        const QList<QAction *> actions = toolBar->actions();
        for (QAction *action : actions) {
            if (action->isSeparator())
                action->setVisible(!compact);
        }
    };
    const QList<QToolBar *> toolBars = findChildren<QToolBar *>();
    for (QToolBar *toolBar : toolBars)
        setCompact(toolBar, false);
    // The window puts a toolbar that does not fit beside another on a line of its own.
    bool fits = true;
    int across = 0;
    for (QToolBar *toolBar : toolBars) {
        if (toolBar->orientation() == Qt::Horizontal) {
            fits = fits && toolBar->sizeHint().width() <= width();
            across += toolBar->sizeHint().height();
        }
    }
    const int side = height() - menuBar()->sizeHint().height() - statusBar()->sizeHint().height() - across;
    for (QToolBar *toolBar : toolBars) {
        if (toolBar->orientation() == Qt::Vertical)
            fits = fits && toolBar->sizeHint().height() <= side;
    }
    // All alike: one toolbar with texts beside others without looks broken.
    if (!fits) {
        for (QToolBar *toolBar : toolBars)
            setCompact(toolBar, true);
    }
}

void MainWindow::exitClicked()
{
    forceClose = true;
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (systemTrayIcon->isVisible() && !forceClose) {
        hide();
        event->ignore();
        return;
    }
    writeSettings();
    event->accept();
    aboutDialog.reset();
    prefsDialog.reset();
    transferInfoDialog.reset();
    // The program does not end when its last window closes (the window may be hidden in
    // the tray while the transfer window is closed); it ends here.
    QCoreApplication::quit();
}
