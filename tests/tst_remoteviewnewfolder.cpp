#include "base/settings.h"
#include "crossthreadspy.h"
#include "devserverprocess.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "runningscheduler.h"

#include <QAbstractItemModelTester>
#include <QTest>

// A new folder made in the running remote pane, offscreen, through the view, the
// scheduler and the development server: it shows "No" while its command waits in the
// queue and "Yes" once the server has created it.
class TestRemoteViewNewFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void newFolderIsNoWhileQueuedThenYes();

private:
    DevServerProcess devServer;
    MainNetworkThread *scheduler = nullptr;
};

void TestRemoteViewNewFolder::initTestCase()
{
    QVERIFY2(devServer.start({QStringLiteral("--user"), QStringLiteral("alice:x")}),
             qPrintable(devServer.errorText()));
    // Manual synchronisation keeps the command in the queue until the user syncs.
    scheduler = startSchedulerFor(devServer, QStringLiteral("alice"), QStringLiteral("x"), Settings::ManualSync, 1);
}

void TestRemoteViewNewFolder::newFolderIsNoWhileQueuedThenYes()
{
    RemoteFilesTreeModel model{QString()};
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    RemoteTreeWidget view;
    view.setScheduler(scheduler);
    view.setModel(&model);
    view.resize(600, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QModelIndex root = model.index(0, 0);
    QVERIFY(root.isValid());
    view.selectionModel()->select(root, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    CrossThreadSpy created(scheduler, &MainNetworkThread::remoteItemChanged);
    view.addNewDir(QStringLiteral("Holiday plans"));
    QCOMPARE(model.rowCount(root), 1);
    QCOMPARE(model.index(0, 0, root).data().toString(), QStringLiteral("Holiday plans"));
    QCOMPARE(model.index(0, 3, root).data().toString(), QStringLiteral("No"));

    // Still queued: nothing starts under manual synchronisation until asked to.
    QTest::qWait(300);
    QCOMPARE(created.size(), 0);
    QCOMPARE(model.index(0, 3, root).data().toString(), QStringLiteral("No"));

    QMetaObject::invokeMethod(scheduler, "startManualSync", Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(created.size(), 1, 15000);
    const auto change = created.first().first().value<RemoteItemChange>();
    QCOMPARE(change.kind, RemoteItemChange::FolderCreated);
    QCOMPARE(change.target.item(), model.itemFromIndex(model.index(0, 0, root)));
    QVERIFY(change.id > 0);
    // The model hears of it on this thread and shows it without being asked.
    QTRY_COMPARE(model.index(0, 3, root).data().toString(), QStringLiteral("Yes"));
    QCOMPARE(change.target.item()->getItemInnerId(), change.id);
}

QTEST_MAIN(TestRemoteViewNewFolder)
#include "tst_remoteviewnewfolder.moc"
