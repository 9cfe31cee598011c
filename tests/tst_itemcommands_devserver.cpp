// The item commands end to end: the remote tree changes an item, the scheduler runs
// the command against the development server, and a fresh list must show exactly the
// tree the client is left with.

#include "base/settings.h"
#include "crossthreadspy.h"
#include "devserverprocess.h"
#include "itemchangelog.h"
#include "network/basecommand.h"
#include "network/commandinfo.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>
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

// The items whose changes of one kind the log recorded, in order.
QList<RemoteFilesTreeItem *> targets(const ItemChangeLog &changes, RemoteItemChange::Kind kind)
{
    QList<RemoteFilesTreeItem *> items;
    for (const RemoteItemChange &change : changes.of(kind))
        items.append(change.target.item());
    return items;
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
    // Lets the queued commands run (manual policy) and waits until `count` changes of
    // that kind were applied.
    bool runQueued(ItemChangeLog &changes, RemoteItemChange::Kind kind, int count);
    // Asks the program's scheduler for a command on item of the running model.
    void request(const char *slot, RemoteFilesTreeItem *item);
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

    // The program's scheduler, as the window starts it; every model is given it.
    net = MainNetworkThread::getInstance();
    net->moveToThread(net);
    net->start();
    connect(net, &MainNetworkThread::refreshProgress, this, [this](CommandInfo *info) {
        if (info->getCommandState() == CommandInfo::Finished)
            finishedRecords.append({info->getCommandId(), info->getCommandResult(),
                                    info->getCommandType()});
        delete info;
    });
    // The model of the running client; refresh() attaches a tester to every model.
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
    // The spy records on the scheduler's thread: the list may be in before a wait()
    // would start counting.
    if (!QTest::qWaitFor([&] { return !lists.isEmpty(); }, WaitMs))
        return nullptr;
    lastList = lists.first().first().toString();
    auto *fresh = new RemoteFilesTreeModel(lastList, this);
    fresh->setScheduler(net);
    new QAbstractItemModelTester(fresh, QAbstractItemModelTester::FailureReportingMode::QtTest, fresh);
    return fresh;
}

void TestItemCommandsDevServer::request(const char *slot, RemoteFilesTreeItem *item)
{
    QMetaObject::invokeMethod(net, slot, Q_ARG(RemoteItemRef, model->refFor(item)));
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

bool TestItemCommandsDevServer::runQueued(ItemChangeLog &changes, RemoteItemChange::Kind kind,
                                          int count)
{
    QMetaObject::invokeMethod(net, &MainNetworkThread::startManualSync);
    return changes.waitFor(kind, count, WaitMs);
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
    RemoteFilesTreeItem *top = model->addNewFolder(root, QStringLiteral("Top"));
    QVERIFY(top);
    RemoteFilesTreeItem *mid = model->addNewFolder(top, QStringLiteral("Mid"));
    QVERIFY(mid);
    RemoteFilesTreeItem *low = model->addNewFolder(mid, QStringLiteral("Low é"));
    QVERIFY(low);
    ItemChangeLog changes(net);

    // One batch: all three are queued before the first runs, so the inner requests
    // can only name their parents if they are built when they run.
    request("createDir", top);
    request("createDir", mid);
    request("createDir", low);
    QVERIFY(runQueued(changes, RemoteItemChange::FolderCreated, 3));

    QCOMPARE(targets(changes, RemoteItemChange::FolderCreated),
             (QList<RemoteFilesTreeItem *>{top, mid, low}));
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
    ItemChangeLog changes(net);
    model->renameItem(mid, QStringLiteral("Middle"));
    QVERIFY(!mid->isUploaded());
    request("moveDir", mid);
    QVERIFY(runQueued(changes, RemoteItemChange::Moved, 1));
    QVERIFY(mid->isUploaded());

    // A file dropped onto Top: the model moves the item and asks the scheduler.
    RemoteFilesTreeItem *file = firstFile(root);
    QVERIFY(file);
    const qulonglong fileId = file->getItemInnerId();
    auto *payload = new QMimeData;
    payload->setUrls({QUrl(QStringLiteral("/getfile/%1/%2").arg(fileId).arg(file->getItemSelfId()))});
    const QModelIndex topIndex = model->getIndexByItem(top, QModelIndex());
    QVERIFY(model->dropMimeData(payload, Qt::MoveAction, -1, 0, topIndex));
    delete payload;
    QCOMPARE(file->parent(), top);
    QVERIFY(!file->isUploaded());
    QVERIFY(runQueued(changes, RemoteItemChange::Moved, 2));
    QCOMPARE(targets(changes, RemoteItemChange::Moved), (QList<RemoteFilesTreeItem *>{mid, file}));
    QVERIFY(file->isUploaded());
    QCOMPARE(file->getItemInnerId(), fileId);

    expectTreeMatchesServer(model);
}

void TestItemCommandsDevServer::fileParametersReachTheServer()
{
    RemoteFilesTreeItem *file = firstFile(childNamed(model->getRootItem(), QStringLiteral("Top")));
    QVERIFY(file);
    ItemChangeLog changes(net);

    // TABs and line breaks are harmless in the description: it travels Base64-encoded.
    model->setItemDescription(file, QStringLiteral("Holiday\tnotes\nsecond line, caf\u00e9"));
    model->setItemSearchable(file, !file->isItemSearchable());
    model->setItemPassword(file, QStringLiteral("pa55"));
    QVERIFY(!file->isUploaded());
    request("setParams", file);
    QVERIFY(runQueued(changes, RemoteItemChange::ParamsSet, 1));
    QCOMPARE(targets(changes, RemoteItemChange::ParamsSet), QList<RemoteFilesTreeItem *>{file});
    QVERIFY(file->isUploaded());
    expectTreeMatchesServer(model);
    // The client does not read passwords back; this server lists whether one is set.
    QCOMPARE(listedFields(file->getItemInnerId()).value(8), QStringLiteral("1"));

    // Description and password cleared: empty fields, not stale ones.
    model->setItemDescription(file, QString());
    model->setItemPassword(file, QString());
    request("setParams", file);
    QVERIFY(runQueued(changes, RemoteItemChange::ParamsSet, 2));
    QVERIFY(file->isUploaded());
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

    ItemChangeLog changes(net);
    model->markDeleted(top);
    model->markDeleted(otherFile);
    request("deleteDir", top);
    request("deleteFile", otherFile);
    QVERIFY(runQueued(changes, RemoteItemChange::Deleted, 2));
    QCOMPARE(targets(changes, RemoteItemChange::Deleted), (QList<RemoteFilesTreeItem *>{top, otherFile}));

    QVERIFY(!childNamed(root, QStringLiteral("Top")));
    QVERIFY(!otherParent->getChildItems().contains(otherFile));
    QVERIFY(!model->isShown(top));
    QVERIFY(!model->isShown(otherFile));
    expectTreeMatchesServer(model);
}

void TestItemCommandsDevServer::failedCommandLeavesItemAsTheGuiLeftIt()
{
    RemoteFilesTreeItem *root = model->getRootItem();
    RemoteFilesTreeItem *a = model->addNewFolder(root, QStringLiteral("Alpha"));
    QVERIFY(a);
    RemoteFilesTreeItem *b = model->addNewFolder(root, QStringLiteral("Beta"));
    QVERIFY(b);
    ItemChangeLog changes(net);
    request("createDir", a);
    request("createDir", b);
    QVERIFY(runQueued(changes, RemoteItemChange::FolderCreated, 2));

    // Renaming Beta to Alpha: the server refuses the taken name.
    const int recordsBefore = finishedRecords.size();
    model->renameItem(b, QStringLiteral("Alpha"));
    request("moveDir", b);
    QMetaObject::invokeMethod(net, &MainNetworkThread::startManualSync);
    QTRY_COMPARE_WITH_TIMEOUT(finishedRecords.size(), recordsBefore + 1, WaitMs);
    QVERIFY(lastFinished().result != BaseCommand::NoError);
    QVERIFY(lastFinished().typeString.contains(QStringLiteral("Alpha")));
    QCOMPARE(changes.count(RemoteItemChange::Moved), 0);
    QCOMPARE(b->getItemInnerName(), QStringLiteral("Alpha"));
    QVERIFY(!b->isUploaded());

    // Deleting with a wrong account password: the folder stays, marked deleted.
    Settings::getInstance()->setPass(QStringLiteral("wrong"));
    model->markDeleted(a);
    request("deleteDir", a);
    QMetaObject::invokeMethod(net, &MainNetworkThread::startManualSync);
    QTRY_COMPARE_WITH_TIMEOUT(finishedRecords.size(), recordsBefore + 2, WaitMs);
    Settings::getInstance()->setPass(QStringLiteral("demo"));
    QCOMPARE(lastFinished().result, BaseCommand::IncorrectPasswordError);
    QCOMPARE(changes.count(RemoteItemChange::Deleted), 0);
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
