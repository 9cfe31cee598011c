// The item commands end to end: the remote tree changes an item, the scheduler runs
// the command against the development server, and a fresh list must show exactly the
// tree the client is left with.

#include "crossthreadspy.h"
#include "devserverprocess.h"
#include "network/basecommand.h"
#include "network/commandinfo.h"
#include "network/mainnetworkthread.h"
#include "remotetree/remotefileinfo.h"
#include "remotetree/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "settings.h"

#include <QDateTime>
#include <QMimeData>
#include <QTest>
#include <QUrl>

namespace {
constexpr int WaitMs = 15000;

struct FinishedRecord {
    qulonglong id;
    BaseCommand::CommandResult result;
    QString typeString;
};

// One line per item below `item`, children in name order, with everything the list
// carries that the client may change: path, kind, id, description, searchable flag.
void dumpTree(const RemoteFilesTreeItem *item, const QString &path, QStringList &lines)
{
    QList<RemoteFilesTreeItem *> children = item->getChildItems();
    std::sort(children.begin(), children.end(), [](auto *a, auto *b) {
        return a->getItemInnerName() < b->getItemInnerName();
    });
    for (const RemoteFilesTreeItem *child : children) {
        const QString childPath = path + QLatin1Char('/') + child->getItemInnerName();
        lines << QStringLiteral("%1 %2 id=%3 desc=%4 searchable=%5")
                         .arg(childPath, child->isDir() ? "D" : "F")
                         .arg(child->getItemInnerId())
                         .arg(child->isDir() ? QString() : child->getItemDescription())
                         .arg(child->isDir() ? 0 : int(child->isItemSearchable()));
        dumpTree(child, childPath, lines);
    }
}

QStringList dumpTree(const RemoteFilesTreeItem *root)
{
    QStringList lines;
    dumpTree(root, QString(), lines);
    return lines;
}

RemoteFilesTreeItem *childNamed(const RemoteFilesTreeItem *folder, const QString &name)
{
    for (RemoteFilesTreeItem *child : folder->getChildItems()) {
        if (child->getItemInnerName() == name)
            return child;
    }
    return nullptr;
}

RemoteFilesTreeItem *firstFile(const RemoteFilesTreeItem *folder)
{
    for (RemoteFilesTreeItem *child : folder->getChildItems()) {
        if (!child->isDir())
            return child;
        if (RemoteFilesTreeItem *found = firstFile(child))
            return found;
    }
    return nullptr;
}

// A folder made in the client as the remote view's "New Folder" makes it.
RemoteFilesTreeItem *newLocalFolder(RemoteFilesTreeItem *parent, const QString &name)
{
    const RemoteFileInfo info(0, parent->getItemInnerId(), true, name, 0,
                              QDateTime::currentDateTime(), false);
    auto *item = new RemoteFilesTreeItem(info, parent);
    parent->appendChild(item);
    return item;
}

void markDeleted(RemoteFilesTreeItem *item)
{
    item->setItemDeleted(true);
    item->setUploaded(false);
    for (RemoteFilesTreeItem *child : item->getChildItems())
        markDeleted(child);
}
} // namespace

class TestItemCommandsDevServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void newFoldersTakeTheirServerIds();
    void renameAndMoveReachTheServer();
    void fileParametersReachTheServer();
    void deletionsUnlinkItems();
    void failedCommandLeavesItemAsTheGuiLeftIt();

private:
    RemoteFilesTreeModel *refresh();
    // Lets the queued commands run (manual policy) and waits for `count` records.
    bool runQueued(CrossThreadSpy &spy, int count);
    FinishedRecord lastFinished() const { return finishedRecords.last(); }
    void expectTreeMatchesServer(const RemoteFilesTreeModel *running);

    // The fields of the line for `id` in the last list received.
    QStringList listedFields(quint64 id) const;

    DevServerProcess server;
    MainNetworkThread *net = nullptr;
    QString lastList;
    QList<FinishedRecord> finishedRecords;
    RemoteFilesTreeModel *model = nullptr;
};

void TestItemCommandsDevServer::initTestCase()
{
    BaseCommand::registerMetaTypes();
    QVERIFY2(server.start({QStringLiteral("--demo")}), qPrintable(server.errorText()));
    Settings *settings = Settings::getInstance();
    settings->setServerHost(server.host());
    settings->setServerPort(server.port());
    settings->setLogin(QStringLiteral("demo"));
    settings->setPass(QStringLiteral("demo"));
    settings->setStreamsCount(3);
    settings->setSyncType(Settings::ManualSync);

    // The program's scheduler: the remote model connects its signals to it.
    net = MainNetworkThread::getInstance();
    net->moveToThread(net);
    net->start();
    connect(net, &MainNetworkThread::refreshProgress, this, [this](CommandInfo *info) {
        if (info->getCommandState() == CommandInfo::Finished)
            finishedRecords.append({info->getCommandId(), info->getCommandResult(),
                                    info->getCommandType()});
        delete info;
    });
    model = refresh();
    QVERIFY(model);
    QVERIFY(firstFile(model->getRootItem()));
}

void TestItemCommandsDevServer::cleanupTestCase()
{
    net->quit();
    net->wait();
}

RemoteFilesTreeModel *TestItemCommandsDevServer::refresh()
{
    CrossThreadSpy lists(net, &MainNetworkThread::newRemoteListReceived);
    QMetaObject::invokeMethod(net, &MainNetworkThread::refreshList);
    QMetaObject::invokeMethod(net, &MainNetworkThread::startManualSync);
    // The spy records through this thread's event loop.
    if (!QTest::qWaitFor([&] { return !lists.isEmpty(); }, WaitMs))
        return nullptr;
    lastList = lists.first().first().toString();
    // Kept alive like the main window keeps every model: commands may hold its items.
    return new RemoteFilesTreeModel(lastList, this);
}

QStringList TestItemCommandsDevServer::listedFields(quint64 id) const
{
    for (const QString &line : lastList.split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() >= 11 && fields.first() == QString::number(id))
            return fields;
    }
    return {};
}

bool TestItemCommandsDevServer::runQueued(CrossThreadSpy &spy, int count)
{
    QMetaObject::invokeMethod(net, &MainNetworkThread::startManualSync);
    return QTest::qWaitFor([&] { return spy.count() >= count; }, WaitMs);
}

void TestItemCommandsDevServer::expectTreeMatchesServer(const RemoteFilesTreeModel *running)
{
    const RemoteFilesTreeModel *fresh = refresh();
    QVERIFY(fresh);
    QCOMPARE(dumpTree(running->getRootItem()), dumpTree(fresh->getRootItem()));
}

void TestItemCommandsDevServer::newFoldersTakeTheirServerIds()
{
    RemoteFilesTreeItem *root = model->getRootItem();
    RemoteFilesTreeItem *top = newLocalFolder(root, QStringLiteral("Top"));
    RemoteFilesTreeItem *mid = newLocalFolder(top, QStringLiteral("Mid"));
    RemoteFilesTreeItem *low = newLocalFolder(mid, QStringLiteral("Low é"));
    CrossThreadSpy created(net, &MainNetworkThread::newDirCreated);

    // One batch: all three are queued before the first runs, so the inner requests
    // can only name their parents if they are built when they run.
    QMetaObject::invokeMethod(net, "createDir", Q_ARG(RemoteFilesTreeItem *, top));
    QMetaObject::invokeMethod(net, "createDir", Q_ARG(RemoteFilesTreeItem *, mid));
    QMetaObject::invokeMethod(net, "createDir", Q_ARG(RemoteFilesTreeItem *, low));
    QVERIFY(runQueued(created, 3));

    QCOMPARE(created.at(0).first().value<RemoteFilesTreeItem *>(), top);
    QCOMPARE(created.at(2).first().value<RemoteFilesTreeItem *>(), low);
    for (const RemoteFilesTreeItem *item : {top, mid, low}) {
        QVERIFY(item->getItemInnerId() != 0);
        QVERIFY(item->isUploaded());
    }
    QVERIFY(top->getItemInnerId() != mid->getItemInnerId());
    expectTreeMatchesServer(model);
}

void TestItemCommandsDevServer::renameAndMoveReachTheServer()
{
    RemoteFilesTreeItem *root = model->getRootItem();
    RemoteFilesTreeItem *top = childNamed(root, QStringLiteral("Top"));
    QVERIFY(top);
    RemoteFilesTreeItem *mid = childNamed(top, QStringLiteral("Mid"));
    QVERIFY(mid);

    // Rename as the view does it: a move to the same parent under the new name.
    CrossThreadSpy dirsMoved(net, &MainNetworkThread::dirMoved);
    mid->setItemInnerName(QStringLiteral("Middle"));
    mid->setUploaded(false);
    QMetaObject::invokeMethod(net, "moveDir", Q_ARG(RemoteFilesTreeItem *, mid));
    QVERIFY(runQueued(dirsMoved, 1));
    QVERIFY(mid->isUploaded());

    // A file dropped onto Top: the model moves the item and asks the scheduler.
    RemoteFilesTreeItem *file = firstFile(root);
    QVERIFY(file);
    const qulonglong fileId = file->getItemInnerId();
    CrossThreadSpy filesMoved(net, &MainNetworkThread::fileMoved);
    auto *payload = new QMimeData;
    payload->setUrls({QUrl(QStringLiteral("/getfile/%1/%2").arg(fileId).arg(file->getItemSelfId()))});
    const QModelIndex topIndex = model->getIndexByItem(top, QModelIndex());
    QVERIFY(model->dropMimeData(payload, Qt::MoveAction, -1, 0, topIndex));
    delete payload;
    QCOMPARE(file->parent(), top);
    QVERIFY(!file->isUploaded());
    QVERIFY(runQueued(filesMoved, 1));
    QCOMPARE(filesMoved.first().first().value<RemoteFilesTreeItem *>(), file);
    QVERIFY(file->isUploaded());
    QCOMPARE(file->getItemInnerId(), fileId);

    expectTreeMatchesServer(model);
}

void TestItemCommandsDevServer::fileParametersReachTheServer()
{
    RemoteFilesTreeItem *file = firstFile(childNamed(model->getRootItem(), QStringLiteral("Top")));
    QVERIFY(file);
    CrossThreadSpy done(net, &MainNetworkThread::setParamsDone);

    // TABs and line breaks are harmless in the description: it travels Base64-encoded.
    file->setItemDescription(QStringLiteral("Holiday\tnotes\nsecond line, caf\u00e9"));
    file->setItemSearchable(!file->isItemSearchable());
    file->setItemPassword(QStringLiteral("pa55"));
    file->setItemPasswordModify();
    file->setUploaded(false);
    QMetaObject::invokeMethod(net, "setParams", Q_ARG(RemoteFilesTreeItem *, file));
    QVERIFY(runQueued(done, 1));
    QVERIFY(file->isUploaded());
    expectTreeMatchesServer(model);
    // The client does not read passwords back; this server lists whether one is set.
    QCOMPARE(listedFields(file->getItemInnerId()).value(8), QStringLiteral("1"));

    // Description and password cleared: empty fields, not stale ones.
    file->setItemDescription(QString());
    file->setItemPassword(QString());
    file->setUploaded(false);
    QMetaObject::invokeMethod(net, "setParams", Q_ARG(RemoteFilesTreeItem *, file));
    QVERIFY(runQueued(done, 2));
    expectTreeMatchesServer(model);
    QCOMPARE(listedFields(file->getItemInnerId()).value(8), QStringLiteral("0"));
}

void TestItemCommandsDevServer::deletionsUnlinkItems()
{
    RemoteFilesTreeItem *root = model->getRootItem();
    RemoteFilesTreeItem *top = childNamed(root, QStringLiteral("Top"));
    QVERIFY(top && top->childCount() >= 2); // Middle and the moved file
    // A file outside Top, so that both deletions are seen.
    RemoteFilesTreeItem *otherFile = nullptr;
    for (RemoteFilesTreeItem *child : root->getChildItems()) {
        if (child != top && (otherFile = child->isDir() ? firstFile(child) : child))
            break;
    }
    QVERIFY(otherFile);
    RemoteFilesTreeItem *otherParent = otherFile->parent();

    CrossThreadSpy dirsDeleted(net, &MainNetworkThread::dirDeleted);
    CrossThreadSpy filesDeleted(net, &MainNetworkThread::fileDeleted);
    markDeleted(top);
    markDeleted(otherFile);
    QMetaObject::invokeMethod(net, "deleteDir", Q_ARG(RemoteFilesTreeItem *, top));
    QMetaObject::invokeMethod(net, "deleteFile", Q_ARG(RemoteFilesTreeItem *, otherFile));
    QMetaObject::invokeMethod(net, &MainNetworkThread::startManualSync);
    QVERIFY(QTest::qWaitFor([&] { return dirsDeleted.count() == 1 && filesDeleted.count() == 1; },
                            WaitMs));

    QVERIFY(!childNamed(root, QStringLiteral("Top")));
    QVERIFY(!otherParent->getChildItems().contains(otherFile));
    expectTreeMatchesServer(model);
}

void TestItemCommandsDevServer::failedCommandLeavesItemAsTheGuiLeftIt()
{
    RemoteFilesTreeItem *root = model->getRootItem();
    RemoteFilesTreeItem *a = newLocalFolder(root, QStringLiteral("Alpha"));
    RemoteFilesTreeItem *b = newLocalFolder(root, QStringLiteral("Beta"));
    CrossThreadSpy created(net, &MainNetworkThread::newDirCreated);
    QMetaObject::invokeMethod(net, "createDir", Q_ARG(RemoteFilesTreeItem *, a));
    QMetaObject::invokeMethod(net, "createDir", Q_ARG(RemoteFilesTreeItem *, b));
    QVERIFY(runQueued(created, 2));

    // Renaming Beta to Alpha: the server refuses the taken name.
    CrossThreadSpy moved(net, &MainNetworkThread::dirMoved);
    const int recordsBefore = finishedRecords.size();
    b->setItemInnerName(QStringLiteral("Alpha"));
    b->setUploaded(false);
    QMetaObject::invokeMethod(net, "moveDir", Q_ARG(RemoteFilesTreeItem *, b));
    QMetaObject::invokeMethod(net, &MainNetworkThread::startManualSync);
    QTRY_COMPARE_WITH_TIMEOUT(finishedRecords.size(), recordsBefore + 1, WaitMs);
    QVERIFY(lastFinished().result != BaseCommand::NoError);
    QVERIFY(lastFinished().typeString.contains(QStringLiteral("Alpha")));
    QCOMPARE(moved.count(), 0);
    QCOMPARE(b->getItemInnerName(), QStringLiteral("Alpha"));
    QVERIFY(!b->isUploaded());

    // Deleting with a wrong account password: the folder stays, marked deleted.
    CrossThreadSpy deleted(net, &MainNetworkThread::dirDeleted);
    Settings::getInstance()->setPass(QStringLiteral("wrong"));
    markDeleted(a);
    QMetaObject::invokeMethod(net, "deleteDir", Q_ARG(RemoteFilesTreeItem *, a));
    QMetaObject::invokeMethod(net, &MainNetworkThread::startManualSync);
    QTRY_COMPARE_WITH_TIMEOUT(finishedRecords.size(), recordsBefore + 2, WaitMs);
    Settings::getInstance()->setPass(QStringLiteral("demo"));
    QCOMPARE(lastFinished().result, BaseCommand::IncorrectPasswordError);
    QCOMPARE(deleted.count(), 0);
    QVERIFY(root->getChildItems().contains(a));
    QVERIFY(a->isDeleted());
    QVERIFY(!a->isUploaded());

    // The server still has both folders under their old names.
    const RemoteFilesTreeModel *fresh = refresh();
    QVERIFY(fresh);
    QVERIFY(childNamed(fresh->getRootItem(), QStringLiteral("Alpha")));
    QVERIFY(childNamed(fresh->getRootItem(), QStringLiteral("Beta")));
}

QTEST_MAIN(TestItemCommandsDevServer)
#include "tst_itemcommands_devserver.moc"
