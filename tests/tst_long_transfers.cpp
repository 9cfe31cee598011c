#include "base/settings.h"
#include "commandrunner.h"
#include "devserverprocess.h"
#include "fakeserver.h"
#include "filedigest.h"
#include "network/downloadfilecommand.h"
#include "network/uploadfilecommand.h"
#include "remote/remotefileinfo.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remoteitemref.h"
#include "remote/remotetree.h"
#include "remotelistfixture.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

// Files beyond 4 GiB. The sources are sparse files with a few marked places, so they
// take no disk space on the client side; the server stores what it receives.
class TestLongTransfers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void uploadServesARangeBeyond4GiB();
    void uploadDownloadResumeBeyond4GiB();

private:
    QString makeSparse(const QString &name, qint64 size, const QList<qint64> &marks);
    std::unique_ptr<QTemporaryDir> dir;
};

namespace {

constexpr qint64 Size = (qint64(4) << 30) + 4097;

QByteArray mark(qint64 at)
{
    return "mark@" + QByteArray::number(at);
}

// A tree of its own holding one file to upload from path, in the listed folder with
// server id folderId (0: the user's root folder). No model shows it: nothing but the
// commands reads it.
RemoteItemRef fileToUpload(const QString &path, quint64 folderId)
{
    const std::shared_ptr<RemoteTree> tree = RemoteTree::fromList(
        folderId ? RemoteListFixture::line(folderId, true, QStringLiteral("f"), 0) : QString(),
        QStringLiteral("alice"));
    RemoteFilesTreeItem *folder = folderId ? tree->folderById(folderId) : tree->userRoot();
    const QFileInfo info(path);
    auto *item = new RemoteFilesTreeItem(
        RemoteFileInfo(0, folderId, false, info.fileName(), quint64(info.size()), QDateTime::currentDateTime(), false),
        folder);
    item->setLocalPathForUpload(path);
    if (!folder->appendChild(item)) {
        delete item;
        return {};
    }
    tree->registerSubtree(item);
    return RemoteItemRef(tree, item);
}

} // namespace

void TestLongTransfers::initTestCase()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    NetworkLimits limits;
    limits.connectMs = limits.writeMs = 5000;
    limits.replyMs = 30000;
    NetworkLimits::set(limits);
    Settings::getInstance()->setLogin(QStringLiteral("alice"));
    Settings::getInstance()->setPass(QStringLiteral("secret"));
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

QString TestLongTransfers::makeSparse(const QString &name, qint64 size, const QList<qint64> &marks)
{
    const QString path = dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
        return {};
    for (const qint64 at : marks) {
        if (!file.seek(at) || file.write(mark(at)) != mark(at).size())
            return {};
    }
    return path;
}

void TestLongTransfers::uploadServesARangeBeyond4GiB()
{
    const qint64 at = (qint64(1) << 32) + 100;
    const QString path = makeSparse(QStringLiteral("range.bin"), Size, {at});
    QVERIFY(!path.isEmpty());
    const RemoteItemRef item = fileToUpload(path, 9);
    QVERIFY(!item.isNull());

    FakeServer server;
    server.useForSettings();
    const QByteArray range = QByteArray::number(at - 1) + '-' + QByteArray::number(at + 8);
    const quint16 dataPort = server.openDataPort(
        FakeScript().send("GET file HTTP/1.1\r\nContent-Range: " + range + "\r\n\r\n").awaitClose());
    server.addScript(FakeScript()
                         .awaitText('\t' + QByteArray::number(Size) + "\t9\t")
                         .sendReady(dataPort)
                         .pause(500)
                         .send("done\n5\tx")
                         .awaitClose());
    CommandRunner runner(new UploadFileCommand(4, item));
    QVERIFY(runner.run(300000));
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    const QByteArray expected = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n"
                                "Content-Length: 10\r\nContent-Range: "
                              + range + '/' + QByteArray::number(Size) + "\r\n\r\n" + '\0' + mark(at).left(9);
    QCOMPARE(server.received(0, dataPort), expected);
}

void TestLongTransfers::uploadDownloadResumeBeyond4GiB()
{
    // The server keeps a full copy, and the client writes two more.
    const qint64 needed = 3 * Size + (qint64(1) << 30);
    if (QStorageInfo(dir->path()).bytesAvailable() < needed)
        QSKIP("not enough free disk space for three copies of a file above 4 GiB");

    const QList<qint64> marks{0, (qint64(1) << 31) - 3, (qint64(1) << 32) - 2, (qint64(1) << 32) + 1000, Size - 20};
    const QString source = makeSparse(QStringLiteral("big.bin"), Size, marks);
    QVERIFY(!source.isEmpty());
    const QByteArray sourceMd5 = fileMd5Hex(source);

    // Beyond 4 GiB and before the end, through the middle of a mark.
    const qint64 cutAt = (qint64(1) << 32) + 1003;
    QVERIFY(cutAt < Size);
    DevServerProcess server;
    QVERIFY2(server.start({QStringLiteral("--user"), QStringLiteral("alice:secret")}), qPrintable(server.errorText()));
    Settings::getInstance()->setServerHost(server.host());
    Settings::getInstance()->setServerPort(server.port());

    // The downloads find the file by the id the upload was given (noted in the tree).
    const RemoteItemRef item = fileToUpload(source, 0);
    QVERIFY(!item.isNull());
    {
        CommandRunner upload(new UploadFileCommand(1, item));
        QVERIFY(upload.run(600000));
        QCOMPARE(upload.finishedResults(), QList{BaseCommand::NoError});
        QCOMPARE(upload.command()->getItemChange().kind, RemoteItemChange::FileUploaded);
        QVERIFY(upload.command()->getItemChange().id != 0);
    }

    const QString whole = dir->filePath(QStringLiteral("whole.bin"));
    {
        CommandRunner download(new DownloadFileCommand(2, item, whole));
        QVERIFY(download.run(600000));
        QCOMPARE(download.finishedResults(), QList{BaseCommand::NoError});
        QCOMPARE(QFileInfo(whole).size(), Size);
        QCOMPARE(fileMd5Hex(whole), sourceMd5);
    }
    QFile::remove(whole);

    // Cut beyond 4 GiB, then resumed from there.
    QVERIFY2(server.start({QStringLiteral("--user"), QStringLiteral("alice:secret"),
                           QStringLiteral("--cut-download-after"), QString::number(cutAt)}),
             qPrintable(server.errorText()));
    const QString resumed = dir->filePath(QStringLiteral("resumed.bin"));
    {
        CommandRunner download(new DownloadFileCommand(3, item, resumed));
        QVERIFY(download.run(600000));
        QCOMPARE(download.finishedResults(), QList{BaseCommand::ConnectionError});
        QCOMPARE(QFileInfo(resumed).size(), cutAt);
    }
    QVERIFY2(server.start({QStringLiteral("--user"), QStringLiteral("alice:secret")}), qPrintable(server.errorText()));
    {
        CommandRunner download(new DownloadFileCommand(4, item, resumed));
        QVERIFY(download.run(600000));
        QCOMPARE(download.finishedResults(), QList{BaseCommand::NoError});
        QCOMPARE(QFileInfo(resumed).size(), Size);
        QCOMPARE(fileMd5Hex(resumed), sourceMd5);
    }
}

int main(int argc, char *argv[])
{
    // A transfer of more than 4 GiB, with its digests, outlasts QtTest's five minutes
    // per function on a busy machine; ctest's own limit for long tests still applies.
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "1700000");
    QCoreApplication app(argc, argv);
    TestLongTransfers test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_long_transfers.moc"
