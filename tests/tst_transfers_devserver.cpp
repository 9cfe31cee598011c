#include "base/settings.h"
#include "commandrunner.h"
#include "crossthreadspy.h"
#include "devserverprocess.h"
#include "filedigest.h"
#include "itemchangelog.h"
#include "network/downloadfilecommand.h"
#include "network/mainnetworkthread.h"
#include "network/refreshlistcommand.h"
#include "network/uploadfilecommand.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remotetree.h"
#include "remotelistfixture.h"
#include "remotetree/remotefilestreemodel.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

// Uploads and downloads end to end against the development server.
class TestTransfersDevServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void uploadThenDownload_data();
    void uploadThenDownload();
    void uploadFetchedInSeveralRanges();
    void cutDownloadResumesByteIdentical();
    void serverIgnoringRangeLeavesNoMixture();
    void downloadRefusedWritesNothing();
    void schedulerAnnouncesTransfers();

private:
    bool startServer(const QStringList &extra = {});
    QString makeFile(const QString &name, qint64 size);
    // The file as the remote pane adds it for upload (a drop into the user's root
    // folder); the test runs the upload itself.
    RemoteItemRef uploadItem(const QString &path);
    // Runs the upload and, when it succeeds, applies the change it hands back to the
    // model, as the GUI thread does.
    BaseCommand::CommandResult upload(const RemoteItemRef &item, QList<CommandRunner::Progress> *progress = nullptr);
    BaseCommand::CommandResult download(const RemoteItemRef &item, const QString &target);

    std::unique_ptr<DevServerProcess> server;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<RemoteFilesTreeModel> model;
};

void TestTransfersDevServer::initTestCase()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    BaseCommand::registerMetaTypes();
}

void TestTransfersDevServer::init()
{
    Settings::getInstance()->setLogin(QStringLiteral("alice"));
    Settings::getInstance()->setPass(QStringLiteral("secret"));
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    // An empty list: only the user's root folder.
    model = std::make_unique<RemoteFilesTreeModel>(QString());
    new QAbstractItemModelTester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                 model.get());
    // No scheduler is set: uploads go where each test sends them.
    server = std::make_unique<DevServerProcess>();
    QVERIFY2(startServer(), qPrintable(server->errorText()));
}

void TestTransfersDevServer::cleanup()
{
    server.reset();
    model.reset();
    dir.reset();
}

bool TestTransfersDevServer::startServer(const QStringList &extra)
{
    if (!server->start(QStringList{QStringLiteral("--user"), QStringLiteral("alice:secret")} + extra))
        return false;
    Settings::getInstance()->setServerHost(server->host());
    Settings::getInstance()->setServerPort(server->port());
    return true;
}

QString TestTransfersDevServer::makeFile(const QString &name, qint64 size)
{
    const QString path = dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QByteArray block(65536, Qt::Uninitialized);
    for (qint64 at = 0; at < size; at += block.size()) {
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((at + i) * 131 + (at + i) / 4099);
        file.write(block.constData(), qMin<qint64>(block.size(), size - at));
    }
    return path;
}

RemoteItemRef TestTransfersDevServer::uploadItem(const QString &path)
{
    RemoteItemRef queued;
    const QMetaObject::Connection asked = connect(
        model.get(), &RemoteFilesTreeModel::uploadFile, this, [&](const RemoteItemRef &item) { queued = item; });
    model->addNewItemToModel(QFileInfo(path), model->getRootItem());
    disconnect(asked);
    return queued;
}

BaseCommand::CommandResult TestTransfersDevServer::upload(const RemoteItemRef &item,
                                                          QList<CommandRunner::Progress> *progress)
{
    CommandRunner runner(new UploadFileCommand(1, item));
    if (!runner.run(60000) || runner.finishedResults().size() != 1)
        return BaseCommand::UnknownError;
    if (progress)
        *progress = runner.progress();
    const BaseCommand::CommandResult result = runner.finishedResults().first();
    if (result == BaseCommand::NoError) {
        if (runner.command()->getItemChange().kind != RemoteItemChange::FileUploaded)
            return BaseCommand::UnknownError;
        model->applyChange(runner.command()->getItemChange());
    }
    return result;
}

BaseCommand::CommandResult TestTransfersDevServer::download(const RemoteItemRef &item, const QString &target)
{
    CommandRunner runner(new DownloadFileCommand(2, item, target));
    if (!runner.run(60000) || runner.finishedResults().size() != 1)
        return BaseCommand::UnknownError;
    return runner.finishedResults().first();
}

void TestTransfersDevServer::uploadThenDownload_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("0 bytes") << qint64(0);
    QTest::newRow("1 byte") << qint64(1);
    QTest::newRow("10 MB") << qint64(10 * 1000 * 1000 + 7);
}

void TestTransfersDevServer::uploadThenDownload()
{
    QFETCH(qint64, size);
    const QString source = makeFile(QStringLiteral("up load.bin"), size);
    const RemoteItemRef ref = uploadItem(source);
    QVERIFY(!ref.isNull());
    RemoteFilesTreeItem *item = ref.item();
    QVERIFY(!item->isUploaded());
    QCOMPARE(upload(ref), BaseCommand::NoError);
    QVERIFY(item->isUploaded());
    QVERIFY(item->getItemInnerId() != 0);
    QVERIFY(item->getItemExternalDownloadUrl().endsWith(QStringLiteral("/up%20load.bin")));

    // The server lists it with its size.
    CommandRunner refresh(new RefreshListCommand(3));
    QVERIFY(refresh.run());
    const QString list = static_cast<RefreshListCommand *>(refresh.command())->getReceivedData();
    const QString line = QString::number(item->getItemInnerId()) + QStringLiteral("\t0\tup load.bin\t0\t")
                       + QString::number(size) + QLatin1Char('\t');
    QVERIFY2(list.contains(line), qPrintable(list));

    const QString target = dir->filePath(QStringLiteral("down.bin"));
    QCOMPARE(download(ref, target), BaseCommand::NoError);
    QCOMPARE(QFileInfo(target).size(), size);
    QCOMPARE(fileMd5Hex(target), fileMd5Hex(source));
}

void TestTransfersDevServer::uploadFetchedInSeveralRanges()
{
    QVERIFY2(startServer({QStringLiteral("--upload-range-size"), QStringLiteral("1000000")}),
             qPrintable(server->errorText()));
    const QString source = makeFile(QStringLiteral("ranges.bin"), 3500000);
    const RemoteItemRef item = uploadItem(source);
    QList<CommandRunner::Progress> progress;
    QCOMPARE(upload(item, &progress), BaseCommand::NoError);
    // The digest, then one response per range, each reporting its own length. A range
    // starting at byte 0 is answered with the whole file.
    QList<qulonglong> completed;
    for (const CommandRunner::Progress &p : progress) {
        if (p.currentState == p.fullState)
            completed.append(p.fullState);
    }
    QCOMPARE(completed, (QList<qulonglong>{3500000, 3500000, 1000000, 1000000, 500000}));

    const QString target = dir->filePath(QStringLiteral("down.bin"));
    QCOMPARE(download(item, target), BaseCommand::NoError);
    QCOMPARE(fileMd5Hex(target), fileMd5Hex(source));
}

void TestTransfersDevServer::cutDownloadResumesByteIdentical()
{
    const QString source = makeFile(QStringLiteral("cut.bin"), 3000000);
    const RemoteItemRef item = uploadItem(source);
    QCOMPARE(upload(item), BaseCommand::NoError);

    QVERIFY2(startServer({QStringLiteral("--cut-download-after"), QStringLiteral("1234567")}),
             qPrintable(server->errorText()));
    const QString target = dir->filePath(QStringLiteral("down.bin"));
    QCOMPARE(download(item, target), BaseCommand::ConnectionError);
    QCOMPARE(QFileInfo(target).size(), 1234567);

    // "Resume download": the same file, a server that no longer cuts.
    QVERIFY2(startServer(), qPrintable(server->errorText()));
    QCOMPARE(download(item, target), BaseCommand::NoError);
    QCOMPARE(fileMd5Hex(target), fileMd5Hex(source));
}

void TestTransfersDevServer::serverIgnoringRangeLeavesNoMixture()
{
    const QString source = makeFile(QStringLiteral("whole.bin"), 2000000);
    const RemoteItemRef item = uploadItem(source);
    QCOMPARE(upload(item), BaseCommand::NoError);

    QVERIFY2(startServer({QStringLiteral("--ignore-range")}), qPrintable(server->errorText()));
    const QString target = dir->filePath(QStringLiteral("down.bin"));
    {
        QFile partial(target);
        QVERIFY(partial.open(QIODevice::WriteOnly));
        partial.write(QByteArray(700000, 'x'));
    }
    QCOMPARE(download(item, target), BaseCommand::NoError);
    QCOMPARE(QFileInfo(target).size(), 2000000);
    QCOMPARE(fileMd5Hex(target), fileMd5Hex(source));
}

void TestTransfersDevServer::downloadRefusedWritesNothing()
{
    const QString source = makeFile(QStringLiteral("refused.bin"), 5000);
    const RemoteItemRef item = uploadItem(source);
    QCOMPARE(upload(item), BaseCommand::NoError);

    QVERIFY2(startServer({QStringLiteral("--download-404")}), qPrintable(server->errorText()));
    const QString target = dir->filePath(QStringLiteral("down.bin"));
    {
        QFile partial(target);
        QVERIFY(partial.open(QIODevice::WriteOnly));
        partial.write("kept");
    }
    QCOMPARE(download(item, target), BaseCommand::ConnectionError);
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept"));

    // An id the server does not know is refused on the control connection.
    const std::shared_ptr<RemoteTree> listed = RemoteTree::fromList(
        RemoteListFixture::line(987654, false, QStringLiteral("gone"), 0, 1), QStringLiteral("alice"));
    const RemoteItemRef unknown(listed, listed->userRoot()->child(0));
    QVERIFY(!unknown.isNull());
    QVERIFY2(startServer(), qPrintable(server->errorText()));
    // Code 5, "no such item", is none of the three the client names.
    QCOMPARE(download(unknown, dir->filePath(QStringLiteral("gone"))), BaseCommand::UnknownError);
}

void TestTransfersDevServer::schedulerAnnouncesTransfers()
{
    Settings *settings = Settings::getInstance();
    settings->setSyncType(Settings::BackgroundSync);
    settings->setStreamsCount(2);
    MainNetworkThread scheduler;
    scheduler.setCheckInterval(10);
    scheduler.moveToThread(&scheduler);
    scheduler.start();
    QMetaObject::invokeMethod(&scheduler, "syncModeChange", Q_ARG(Settings::SettingType, Settings::SyncSetting));
    // What the scheduler's commands did reaches the model as it reaches the program's.
    connect(&scheduler, &MainNetworkThread::remoteItemChanged, model.get(), &RemoteFilesTreeModel::applyChange);
    ItemChangeLog changes(&scheduler);
    CrossThreadSpy downloaded(&scheduler, &MainNetworkThread::fileDownloaded);
    QObject::connect(&scheduler, &MainNetworkThread::refreshProgress, this, [](CommandInfo *info) { delete info; });

    const QString source = makeFile(QStringLiteral("sched.bin"), 300000);
    const RemoteItemRef item = uploadItem(source);
    QVERIFY(!item.item()->isUploaded());
    QMetaObject::invokeMethod(&scheduler, "uploadFile", Q_ARG(RemoteItemRef, item));
    QVERIFY(changes.waitFor(RemoteItemChange::FileUploaded, 1, 20000));
    QCOMPARE(changes.all().size(), 1);
    QCOMPARE(changes.all().first().target, item);
    QVERIFY(item.item()->isUploaded());
    QVERIFY(item.item()->getItemInnerId() != 0);

    const QString target = dir->filePath(QStringLiteral("sched-down.bin"));
    settings->addDownloadPath(target);
    QVERIFY(QFile(target).open(QIODevice::WriteOnly));
    QMetaObject::invokeMethod(&scheduler, "downloadFile", Q_ARG(RemoteItemRef, item), Q_ARG(QString, target));
    QTRY_COMPARE_WITH_TIMEOUT(downloaded.size(), 1, 20000);
    QCOMPARE(downloaded.at(0).at(0).toString(), target);
    QVERIFY(!settings->isPathDownloadable(target));
    QCOMPARE(fileMd5Hex(target), fileMd5Hex(source));

    scheduler.quit();
    scheduler.wait();
    settings->setSyncType(Settings::ManualSync);
}

QTEST_MAIN(TestTransfersDevServer)
#include "tst_transfers_devserver.moc"
