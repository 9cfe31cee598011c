// A storm of the user's changes in the remote pane of a real main window, against the
// development server. Rounds of random actions (new folders, uploads of files and
// folders, renames, moves and drops, deletions, parameters, opening folders, sorting)
// run while their commands finish on their threads and the GUI thread keeps walking
// the tree as the views' code does; each round ends with a refresh whose model
// replaces the shown one. QAbstractItemModelTester watches every model the pane
// shows. Whenever the scheduler has gone idle, the tree shown must be the server's
// list, item for item.
#include "base/settings.h"
#include "devserverprocess.h"
#include "failurebox.h"
#include "mainwindow.h"
#include "messagelogdock.h"
#include "network/basecommand.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remotetree.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "screenshot.h"
#include "startup.h"
#include "wire/wire.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

constexpr quint32 Seed = 20261211;
constexpr int Rounds = 40;
constexpr int ActionsPerRound = 30;
// No round begins after this; the run then settles and is checked once more.
constexpr qint64 RunLimitMs = 60000;
// Every third round refreshes while commands still run, as a user may; the others
// wait until the scheduler is idle, so that the shown tree can be compared first.
constexpr int RefreshInFlightEvery = 3;
// The longest a drain or a refresh may take on a slow (sanitizer) build.
constexpr int WaitMs = 120000;
constexpr int WalkIntervalMs = 2;
// Pause of the GUI thread's loop between two actions, as between a user's clicks.
constexpr int MaxActionGapMs = 12;

// What a line of the comparison says about an item: its place, kind and server id,
// and a file's parameters.
QString describe(const QString &path, bool isDir, quint64 id, const QString &description,
                 bool searchable)
{
    if (isDir)
        return QStringLiteral("D %1 #%2").arg(path).arg(id);
    return QStringLiteral("F %1 #%2 [%3] %4").arg(path).arg(id).arg(description).arg(searchable);
}

// The tree below the user's root folder as the model shows it to a view, one sorted
// line per item.
QStringList shownTree(const RemoteFilesTreeModel &model)
{
    QStringList lines;
    QList<std::pair<QModelIndex, QString>> pending{{model.index(0, 0), QString()}};
    while (!pending.isEmpty()) {
        const auto [folder, path] = pending.takeLast();
        for (int row = 0; row < model.rowCount(folder); ++row) {
            const QModelIndex index = model.index(row, 0, folder);
            const RemoteFilesTreeItem *item = model.itemFromIndex(index);
            const QString itemPath = path + QLatin1Char('/') + index.data().toString();
            lines.append(describe(itemPath, item->isDir(), item->getItemInnerId(),
                                  item->getItemDescription(), item->isItemSearchable()));
            if (item->isDir())
                pending.append({index, itemPath});
        }
    }
    lines.sort();
    return lines;
}

// The same lines for a list as the server sent it: an item whose parent is no listed
// folder hangs in the user's root folder.
QStringList listedTree(const QString &list)
{
    struct Listed {
        QString name;
        quint64 parent;
    };
    QHash<quint64, Listed> folders;
    QList<QStringList> lines;
    for (const QString &line : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < Wire::ListFieldCount)
            continue;
        lines.append(fields);
        if (fields.at(1) != QLatin1String("0"))
            folders.insert(fields.at(0).toULongLong(), {fields.at(2), fields.at(3).toULongLong()});
    }
    const auto pathOf = [&](quint64 parent, const QString &name) {
        QString path = QLatin1Char('/') + name;
        // A bound on the walk up, should the server ever list a loop.
        for (qsizetype depth = 0; folders.contains(parent) && depth <= folders.size(); ++depth) {
            const Listed &folder = folders[parent];
            path.prepend(QLatin1Char('/') + folder.name);
            parent = folder.parent;
        }
        return path;
    };
    QStringList described;
    for (const QStringList &fields : std::as_const(lines)) {
        const bool isDir = fields.at(1) != QLatin1String("0");
        described.append(describe(pathOf(fields.at(3).toULongLong(), fields.at(2)), isDir,
                                  fields.at(0).toULongLong(),
                                  isDir ? QString() : QString::fromLatin1(QByteArray::fromBase64(fields.at(6).toLatin1())),
                                  isDir ? true : fields.at(7) != QLatin1String("0")));
    }
    described.sort();
    return described;
}

// Every item below (and with) folder, depth first.
QList<RemoteFilesTreeItem *> itemsBelow(RemoteFilesTreeItem *folder)
{
    QList<RemoteFilesTreeItem *> items;
    QList<RemoteFilesTreeItem *> pending{folder};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *next = pending.takeLast();
        items.append(next);
        for (int row = 0; row < next->childCount(); ++row)
            pending.append(next->child(row));
    }
    return items;
}

} // namespace

class TestLongTreeStress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void shownTreeFollowsTheServerThroughAStorm();

private:
    void signIn();
    RemoteFilesTreeModel *model() const { return view->getModelAsRemoteFileTreeModel(); }
    // Attaches a tester to the pane's model unless it has one.
    void watchShownModel();
    // Walks the shown tree as the views' code does: items by childCount()/child(row),
    // then the model as a view asks it, the selection, and now and then a paint.
    void walk();
    void walkModel(const QModelIndex &parent);
    void act();
    QString nextName(const char *stem);
    QString makeLocalFile();
    QString makeLocalFolder();
    template<class T>
    T pick(const QList<T> &from) { return from.at(random.bounded(int(from.size()))); }
    // Items on the server with no command of theirs pending, the user's root folder aside.
    QList<RemoteFilesTreeItem *> settledItems() const;
    // Folders that may take new items: not being deleted (the user's root included).
    QList<RemoteFilesTreeItem *> openFolders() const;
    // Asks the scheduler to carry a rename or a move to the server, as the pane does.
    void requestMove(RemoteFilesTreeItem *item);
    // Waits until every command asked for has ended and its change has been applied.
    bool drain();
    // Refreshes as the window's button does and waits for the new tree to be shown;
    // its model must show exactly the list.
    void refreshAndCheck();
    // After a drain: nothing left pending or failed in the shown tree, no failure box.
    void checkSettled();

    QTemporaryDir config;
    QTemporaryDir local;
    DevServerProcess server;
    MainNetworkThread *net = nullptr;
    MainWindow *window = nullptr;
    RemoteTreeWidget *view = nullptr;
    QRandomGenerator random{Seed};
    int nameCounter = 0;
    QString lastList;
    int listsReceived = 0;
    qint64 walks = 0;
    QHash<QString, int> actionCounts;
};

void TestLongTreeStress::initTestCase()
{
    StartUp::configureApplication();
    QVERIFY(config.isValid());
    QVERIFY(local.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    QVERIFY2(server.start({QStringLiteral("--user"), QStringLiteral("alice:secret")}),
             qPrintable(server.errorText()));
    BaseCommand::registerMetaTypes();
    net = MainNetworkThread::getInstance();
}

void TestLongTreeStress::signIn()
{
    // As the sign-in dialog leaves them, once the window has read its settings file.
    Settings *settings = Settings::getInstance();
    settings->setLogin(QStringLiteral("alice"));
    settings->setPass(QStringLiteral("secret"));
    settings->setServerHost(server.host());
    settings->setServerPort(server.port());
    settings->setStreamsCount(4);
    settings->setSyncType(Settings::BackgroundSync);
}

QString TestLongTreeStress::nextName(const char *stem)
{
    return QStringLiteral("%1-%2").arg(QLatin1String(stem)).arg(++nameCounter);
}

QString TestLongTreeStress::makeLocalFile()
{
    const QString path = local.filePath(nextName("up") + QStringLiteral(".bin"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QByteArray bytes(random.bounded(4000), Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    file.write(bytes);
    return path;
}

QString TestLongTreeStress::makeLocalFolder()
{
    // Two files, and a folder with one more.
    const QString path = local.filePath(nextName("pack"));
    const QString inner = path + QLatin1Char('/') + nextName("inner");
    if (!QDir().mkpath(inner))
        return {};
    for (const QString &folder : {path, path, inner}) {
        const QString made = makeLocalFile();
        if (made.isEmpty() || !QFile::rename(made, folder + QLatin1Char('/') + QFileInfo(made).fileName()))
            return {};
    }
    return path;
}

void TestLongTreeStress::watchShownModel()
{
    QAbstractItemModel *shown = view->model();
    if (!shown->findChild<QAbstractItemModelTester *>(QString(), Qt::FindDirectChildrenOnly))
        new QAbstractItemModelTester(shown, QAbstractItemModelTester::FailureReportingMode::QtTest, shown);
}

void TestLongTreeStress::walk()
{
    // One report of a fault, not one per tick.
    if (QTest::currentTestFailed())
        return;
    ++walks;
    RemoteFilesTreeModel *shown = model();
    QList<RemoteFilesTreeItem *> pending{shown->getTree()->top()};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *folder = pending.takeLast();
        for (int row = 0; row < folder->childCount(); ++row) {
            RemoteFilesTreeItem *child = folder->child(row);
            QVERIFY(child);
            QCOMPARE(child->parent(), folder);
            QVERIFY(!child->getItemInnerName().isEmpty());
            if (child->isDir())
                pending.append(child);
        }
    }
    walkModel(QModelIndex());
    for (const RemoteFilesTreeItem *item : view->getSelectedItems())
        QVERIFY(shown->isShown(const_cast<RemoteFilesTreeItem *>(item)));
    // What the view remembers (the selection, the current row) still names its rows: a
    // change the model did not tell leaves a row number behind.
    QModelIndexList remembered{view->selectionModel()->currentIndex()};
    for (const QItemSelectionRange &range : view->selectionModel()->selection())
        remembered << range.topLeft() << range.bottomRight();
    for (const QModelIndex &index : std::as_const(remembered)) {
        if (index.isValid())
            QCOMPARE(shown->index(index.row(), index.column(), index.parent()), index);
    }
    if (walks % 16 == 0)
        view->viewport()->repaint();
}

void TestLongTreeStress::walkModel(const QModelIndex &parent)
{
    const RemoteFilesTreeModel *shown = model();
    for (int row = 0; row < shown->rowCount(parent); ++row) {
        const QModelIndex index = shown->index(row, 0, parent);
        QVERIFY(index.isValid());
        QCOMPARE(shown->parent(index), parent);
        for (const int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::ToolTipRole)})
            shown->data(index, role);
        shown->data(index.siblingAtColumn(3), Qt::DecorationRole);
        walkModel(index);
    }
}

QList<RemoteFilesTreeItem *> TestLongTreeStress::settledItems() const
{
    QList<RemoteFilesTreeItem *> settled;
    RemoteFilesTreeItem *root = model()->getRootItem();
    for (RemoteFilesTreeItem *item : itemsBelow(root)) {
        if (item != root && item->isUploaded() && !item->isDeleted() && item->getItemInnerId() != 0
            && item->isFileAvailable())
            settled.append(item);
    }
    return settled;
}

QList<RemoteFilesTreeItem *> TestLongTreeStress::openFolders() const
{
    QList<RemoteFilesTreeItem *> open;
    for (RemoteFilesTreeItem *item : itemsBelow(model()->getRootItem())) {
        if (item->isDir() && !item->isDeleted())
            open.append(item);
    }
    return open;
}

void TestLongTreeStress::requestMove(RemoteFilesTreeItem *item)
{
    if (item->isDir())
        Q_EMIT view->moveDirClicked(model()->refFor(item));
    else
        Q_EMIT view->moveFileClicked(model()->refFor(item));
}

void TestLongTreeStress::act()
{
    RemoteFilesTreeModel *shown = model();
    const QList<RemoteFilesTreeItem *> folders = openFolders();
    const QList<RemoteFilesTreeItem *> settled = settledItems();
    QList<RemoteFilesTreeItem *> settledFiles;
    for (RemoteFilesTreeItem *item : settled) {
        if (!item->isDir())
            settledFiles.append(item);
    }
    // A folder item may move to: not itself, not below itself, not where it is.
    const auto targetsFor = [&](RemoteFilesTreeItem *item) {
        QList<RemoteFilesTreeItem *> targets;
        for (RemoteFilesTreeItem *folder : folders) {
            if (folder != item && folder != item->parent() && !item->ancestorFor(folder))
                targets.append(folder);
        }
        return targets;
    };

    const int roll = int(random.bounded(100));
    if (roll < 14) {
        RemoteFilesTreeItem *folder = shown->addNewFolder(pick(folders), nextName("dir"));
        QVERIFY(folder);
        Q_EMIT view->makeDirClicked(shown->refFor(folder));
        ++actionCounts[QStringLiteral("new folder")];
    } else if (roll < 30) {
        const QString path = makeLocalFile();
        QVERIFY(!path.isEmpty());
        shown->addNewItemToModel(QFileInfo(path), pick(folders));
        ++actionCounts[QStringLiteral("upload file")];
    } else if (roll < 35) {
        const QString path = makeLocalFolder();
        QVERIFY(!path.isEmpty());
        shown->addNewItemToModel(QFileInfo(path), pick(folders));
        ++actionCounts[QStringLiteral("upload folder")];
    } else if (roll < 48 && !settled.isEmpty()) {
        RemoteFilesTreeItem *item = pick(settled);
        shown->renameItem(item, nextName(item->isDir() ? "renamed" : "renamed-file"));
        requestMove(item);
        ++actionCounts[QStringLiteral("rename")];
    } else if (roll < 58 && !settled.isEmpty()) {
        RemoteFilesTreeItem *item = pick(settled);
        const QList<RemoteFilesTreeItem *> targets = targetsFor(item);
        if (targets.isEmpty())
            return;
        QVERIFY(shown->moveItem(item, pick(targets)));
        requestMove(item);
        ++actionCounts[QStringLiteral("move")];
    } else if (roll < 66 && !settled.isEmpty()) {
        // A drag from the pane onto a folder of it.
        RemoteFilesTreeItem *item = pick(settled);
        const QList<RemoteFilesTreeItem *> targets = targetsFor(item);
        if (targets.isEmpty())
            return;
        RemoteFilesTreeItem *target = pick(targets);
        const std::unique_ptr<QMimeData> payload(
            shown->mimeData({shown->getIndexByItem(item, QModelIndex())}));
        QVERIFY(shown->dropMimeData(payload.get(), Qt::MoveAction, -1, 0,
                                    shown->getIndexByItem(target, QModelIndex())));
        QCOMPARE(item->parent(), target);
        ++actionCounts[QStringLiteral("drop")];
    } else if (roll < 74 && !settled.isEmpty()) {
        RemoteFilesTreeItem *item = pick(settled);
        shown->markDeleted(item);
        if (item->isDir())
            Q_EMIT view->deleteDirClicked(shown->refFor(item));
        else
            Q_EMIT view->deleteFileClicked(shown->refFor(item));
        ++actionCounts[QStringLiteral("delete")];
    } else if (roll < 84 && !settledFiles.isEmpty()) {
        RemoteFilesTreeItem *file = pick(settledFiles);
        shown->setItemDescription(file, QStringLiteral("note %1 \u00e9").arg(++nameCounter));
        shown->setItemSearchable(file, !file->isItemSearchable());
        Q_EMIT view->setParamsClicked(shown->refFor(file));
        ++actionCounts[QStringLiteral("parameters")];
    } else if (roll < 95) {
        // Opening or closing a folder, selecting rows and moving the current one.
        const QModelIndex folder = shown->getIndexByItem(pick(folders), QModelIndex());
        view->setExpanded(folder, !view->isExpanded(folder) || random.bounded(4) != 0);
        const QList<RemoteFilesTreeItem *> items = itemsBelow(shown->getRootItem());
        const QModelIndex row = shown->getIndexByItem(pick(items), QModelIndex());
        view->selectionModel()->setCurrentIndex(
            row, (random.bounded(4) == 0 ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Select)
                     | QItemSelectionModel::Rows);
        ++actionCounts[QStringLiteral("view")];
    } else {
        const int columns[] = {0, 1, 4};
        view->sortByColumn(columns[random.bounded(3)],
                           random.bounded(2) ? Qt::AscendingOrder : Qt::DescendingOrder);
        ++actionCounts[QStringLiteral("sort")];
    }
}

bool TestLongTreeStress::drain()
{
    // A call the scheduler's thread runs after everything posted to it before: the
    // pane's requests are all queued, and a command seen ended has been announced.
    const auto barrier = [this] { QMetaObject::invokeMethod(net, [] {}, Qt::BlockingQueuedConnection); };
    return QTest::qWaitFor([&] {
        barrier();
        if (!net->getQueuedCommandIds().isEmpty() || !net->getRunningCommandIds().isEmpty())
            return false;
        barrier();
        // The changes announced so far reach the models.
        QCoreApplication::sendPostedEvents();
        return true;
    }, WaitMs);
}

void TestLongTreeStress::checkSettled()
{
    const QMessageBox *failure = window->getFailureBox()->getBox();
    QVERIFY2(!failure, qPrintable(window->getMessageLog()->getShownLines().join(QLatin1Char('\n'))));
    // Nothing left to do: the pane takes changes again.
    QVERIFY(view->isEnabled());
    RemoteFilesTreeModel *shown = model();
    for (const RemoteFilesTreeItem *item : itemsBelow(shown->getRootItem())) {
        QVERIFY2(item->isUploaded() && !item->isDeleted(), qPrintable(item->getItemInnerName()));
        QVERIFY2(shown->getItemFailure(item).isEmpty(), qPrintable(item->getItemInnerName()));
    }
}

void TestLongTreeStress::refreshAndCheck()
{
    QSignalSpy shownSpy(window, &MainWindow::remoteTreeShown);
    const int listsBefore = listsReceived;
    // The pane takes no changes until the new tree shows: a change made on the old one
    // would vanish from view behind a list taken before it.
    const QAbstractItemModel *old = view->model();
    bool enabledEarly = false;
    const QMetaObject::Connection watch = connect(view, &RemoteTreeWidget::commandsChanged, this, [&] {
        enabledEarly = enabledEarly || (view->isEnabled() && view->model() == old);
    });
    window->refreshClicked();
    QVERIFY(!view->isEnabled());
    const bool shown = QTest::qWaitFor([&] { return !shownSpy.isEmpty(); }, WaitMs);
    disconnect(watch);
    QVERIFY(shown);
    QVERIFY(!enabledEarly);
    QCOMPARE(listsReceived, listsBefore + 1);
    QCOMPARE(shownTree(*model()), listedTree(lastList));
}

void TestLongTreeStress::shownTreeFollowsTheServerThroughAStorm()
{
    MainWindow mainWindow;
    window = &mainWindow;
    view = window->getRemoteTree();
    signIn();
    watchShownModel();
    connect(window, &MainWindow::remoteTreeShown, this, &TestLongTreeStress::watchShownModel);
    connect(net, &MainNetworkThread::newRemoteListReceived, this,
            [this](const QString &list) {
                lastList = list;
                ++listsReceived;
            });
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    refreshAndCheck();
    QVERIFY(model()->getRootItem());

    QTimer walker;
    walker.setInterval(WalkIntervalMs);
    connect(&walker, &QTimer::timeout, this, &TestLongTreeStress::walk);
    walker.start();

    QElapsedTimer clock;
    clock.start();
    int rounds = 0;
    int comparedWhileIdle = 0;
    qsizetype largestCompared = 0;
    // Whether the shown model holds everything the server has: it came from a list
    // taken while the scheduler was idle.
    bool shownIsWhole = true;
    const auto burst = [&] {
        ++rounds;
        for (int i = 0; i < ActionsPerRound && !QTest::currentTestFailed(); ++i) {
            act();
            QTest::qWait(int(random.bounded(MaxActionGapMs)));
        }
    };
    // Once the scheduler is idle, the shown tree (a whole list and every change since)
    // must be what the server lists next.
    const auto settleAndCompare = [&] {
        QVERIFY(drain());
        checkSettled();
        const QStringList before = shownTree(*model());
        refreshAndCheck();
        if (shownIsWhole) {
            QCOMPARE(before, listedTree(lastList));
            ++comparedWhileIdle;
            largestCompared = std::max(largestCompared, before.size());
        }
        shownIsWhole = true;
    };
    while (rounds < Rounds && clock.elapsed() < RunLimitMs && !QTest::currentTestFailed()) {
        burst();
        if (rounds % RefreshInFlightEvery == 0) {
            // A list taken while uploads still run may lack their files.
            refreshAndCheck();
            shownIsWhole = false;
        } else {
            settleAndCompare();
        }
    }
    QVERIFY(!QTest::currentTestFailed());

    // The storm is over: the last round's changes are compared too, against a model
    // that came whole.
    if (!shownIsWhole) {
        settleAndCompare();
        burst();
    }
    settleAndCompare();
    walker.stop();
    QVERIFY(!QTest::currentTestFailed());
    saveScreenshot(window, QStringLiteral("treestress-end.png"));
    checkSettled();
    // The comparisons were of trees with something in them.
    QVERIFY(largestCompared > 20);
    const QStringList finalTree = listedTree(lastList);

    QStringList counts;
    for (auto it = actionCounts.cbegin(); it != actionCounts.cend(); ++it)
        counts.append(QStringLiteral("%1: %2").arg(it.key()).arg(it.value()));
    counts.sort();
    qInfo("%d rounds in %lld ms, %lld walks, %d idle comparisons (up to %lld items), %lld items at "
          "the end; %s",
          rounds, clock.elapsed(), walks, comparedWhileIdle, qlonglong(largestCompared),
          qlonglong(finalTree.size()),
          qPrintable(counts.join(QStringLiteral(", "))));
    window = nullptr;
    view = nullptr;
}

QTEST_MAIN(TestLongTreeStress)
#include "tst_long_treestress.moc"
