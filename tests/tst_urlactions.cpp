#include "crossthreadspy.h"
#include "devserverprocess.h"
#include "ftpserverprocess.h"
#include "localtree/localtreewidget.h"
#include "fakeserver.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "rowchanges.h"
#include "runningscheduler.h"
#include "base/settings.h"
#include "syncicon.h"
#include "wire/wire.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <curl/curl.h>

// The two address actions of the running program, offscreen, through the views, the
// program's one scheduler and local servers: "Upload from URL" on a remote folder
// (the development server fetches from a local HTTP server) and "Download from URL"
// on a local folder.
class TestUrlActions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void uploadFromUrlOnARemoteFolder();
    void downloadFromUrlOnALocalFolder_data();
    void downloadFromUrlOnALocalFolder();

private:
    DevServerProcess devServer;
    MainNetworkThread *scheduler = nullptr;
};

void TestUrlActions::initTestCase()
{
    curl_global_init(CURL_GLOBAL_ALL);
    QVERIFY2(devServer.start({QStringLiteral("--user"), QStringLiteral("alice:x"),
                              QStringLiteral("--progress-interval-ms"), QStringLiteral("20"),
                              QStringLiteral("--message-gap-ms"), QStringLiteral("20")}),
             qPrintable(devServer.errorText()));
    scheduler = startSchedulerFor(devServer, QStringLiteral("alice"), QStringLiteral("x"), Settings::BackgroundSync, 3);
}

void TestUrlActions::uploadFromUrlOnARemoteFolder()
{
    const QByteArray body(70000, 'u');
    FakeServer web;
    const quint16 webPort = web.openDataPort(FakeScript()
                                                 .awaitText("\r\n\r\n")
                                                 .send("HTTP/1.1 200 OK\r\nContent-Length: "
                                                       + QByteArray::number(body.size()) + "\r\n\r\n" + body)
                                                 .close());
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

    CrossThreadSpy uploaded(scheduler, &MainNetworkThread::remoteItemChanged);
    view.addNewUrl(QStringLiteral("http://127.0.0.1:%1/pics/Holiday%20photo.jpg?size=big").arg(webPort));
    QCOMPARE(model.rowCount(root), 1);
    const QModelIndex row = model.index(0, 0, root);
    QCOMPARE(row.data().toString(), QStringLiteral("Holiday photo.jpg"));
    QCOMPARE(model.index(0, 3, root).data().toString(), QStringLiteral("No"));

    QSignalSpy rowChanged(&model, &QAbstractItemModel::dataChanged);
    QTRY_COMPARE_WITH_TIMEOUT(uploaded.size(), 1, 15000);
    const auto change = uploaded.first().first().value<RemoteItemChange>();
    QCOMPARE(change.kind, RemoteItemChange::UrlUploaded);
    QCOMPARE(change.size, quint64(body.size()));
    QVERIFY(change.id > 0);
    RemoteFilesTreeItem *item = change.target.item();
    QCOMPARE(item, model.itemFromIndex(row));
    // The row follows as the report reaches the GUI thread: no click, no new list.
    QTRY_VERIFY(dataChangedCovers(rowChanged, row.siblingAtColumn(3)));
    QCOMPARE(model.index(0, 3, root).data().toString(), QStringLiteral("Yes"));
    QCOMPARE(syncIconOf(model.index(0, 3, root)), QStringLiteral("uploadedIcon"));
    QCOMPARE(item->getItemInnerName(), QStringLiteral("Holiday photo.jpg"));
    QCOMPARE(item->getItemInnerSize(), quint64(body.size()));
    QCOMPARE(item->getItemInnerId(), change.id);
    QCOMPARE(item->getItemExternalDownloadUrl(),
             Wire::downloadAddress(change.downloadSegment, QStringLiteral("Holiday photo.jpg")));
    QCOMPARE(model.index(0, 1, root).data().toString(), QLocale().toString(body.size() / 1024) + " KB");
    QVERIFY(web.received(0, webPort).startsWith("GET /pics/Holiday%20photo.jpg?size=big HTTP/1.1\r\n"));
}

void TestUrlActions::downloadFromUrlOnALocalFolder_data()
{
    QTest::addColumn<bool>("ftp");
    QTest::newRow("http") << false;
    QTest::newRow("ftp") << true;
}

void TestUrlActions::downloadFromUrlOnALocalFolder()
{
    QFETCH(bool, ftp);
    const QByteArray body = "bytes from " + QByteArray(ftp ? "ftp" : "http");
    QTemporaryDir folder;
    QTemporaryDir ftpRoot;
    QVERIFY(folder.isValid() && ftpRoot.isValid());
    FakeServer web;
    FtpServerProcess ftpServer;
    QString url;
    if (ftp) {
        QVERIFY(QDir(ftpRoot.path()).mkpath(QStringLiteral("pub")));
        QFile file(ftpRoot.filePath(QStringLiteral("pub/Report 2026.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(body);
        file.close();
        QVERIFY2(ftpServer.start(ftpRoot.path()), qPrintable(ftpServer.errorText()));
        url = QStringLiteral("ftp://127.0.0.1:%1/pub/Report%202026.txt").arg(ftpServer.port());
    } else {
        const quint16 port = web.openDataPort(
            FakeScript().awaitText("\r\n\r\n").send(FakeScript::httpResponse(200, body)).close());
        url = QStringLiteral("http://127.0.0.1:%1/docs/Report%202026.txt?v=2").arg(port);
    }
    const QString target = folder.filePath(QStringLiteral("Report 2026.txt"));

    LocalTreeWidget view;
    view.setScheduler(scheduler);
    view.resize(600, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    CrossThreadSpy downloaded(scheduler, &MainNetworkThread::urlDownloaded);
    view.addNewUrl(url, folder.path());
    QVERIFY(QFile::exists(target));
    QTRY_COMPARE_WITH_TIMEOUT(downloaded.size(), 1, 15000);
    QCOMPARE(downloaded.first().first().toString(), target);
    QFile result(target);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), body);
    QVERIFY(!Settings::getInstance()->isPathDownloadable(target));
}

QTEST_MAIN(TestUrlActions)
#include "tst_urlactions.moc"
