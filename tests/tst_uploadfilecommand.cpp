#include "base/settings.h"
#include "commandrunner.h"
#include "fakeserver.h"
#include "network/uploadfilecommand.h"
#include "remote/remotefilestreeitem.h"
#include "remotelistfixture.h"
#include "remotetree/remotefilestreemodel.h"
#include "scopednetworklimits.h"
#include "shownremotetree.h"
#include "wire/wire.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QByteArray Prefix = "alice\nsecret\nuploadfile\n";
// Long enough for the client to have asked for and served its data connection.
constexpr int ServeMs = 300;
// A reply cut in pieces: the pieces arrive this far apart, within the window the
// client gives the rest of a reply, itself well below ServeMs.
constexpr int PiecePauseMs = 20;
constexpr int CompletionMs = 100;

QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26 + (i / 26) % 3);
    return bytes;
}

QByteArray httpHead(qint64 length, const QByteArray &range)
{
    return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: application/octet-stream\r\nContent-Length: "
         + QByteArray::number(length) + "\r\nContent-Range: " + range + "\r\n\r\n";
}

// An upload's data port: the server asks once, then waits for the client to close.
FakeScript ask(const QByteArray &headers)
{
    return FakeScript().send("GET file HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n").awaitClose();
}

} // namespace

class TestUploadFileCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void announcement_data();
    void announcement();
    void servesTheRangeAsked_data();
    void servesTheRangeAsked();
    void severalRanges();
    void readyWhileDataConnectionOpenIsIgnored();
    void dataConnectionWithoutRequest();
    void repliesInPieces_data();
    void repliesInPieces();
    void finalReplies_data();
    void finalReplies();
    void controlConnectionClosedEarly();
    void silentServer();
    void dataPortClosed();
    void dataConnectionLostWhileSending();
    void alreadyUploaded();
    void refusedBeforeAnythingIsSent_data();
    void refusedBeforeAnythingIsSent();
    void progressCountsDigestThenTransfer();

private:
    // A local file in the folder, queued for upload as a drop queues it.
    RemoteFilesTreeItem *addFile(const QString &name, const QByteArray &content);
    UploadFileCommand *uploadOf(RemoteFilesTreeItem *item) const
    {
        return new UploadFileCommand(4, shown->ref(item));
    }
    void apply(const CommandRunner &runner) const { shown->applyResultOf(*runner.command()); }

    std::unique_ptr<QTemporaryDir> dir;
    // The user's root folder with the folder "docs" (server id 9).
    std::unique_ptr<ShownRemoteTree> shown;
    RemoteFilesTreeItem *folder = nullptr;
};

void TestUploadFileCommand::initTestCase()
{
    NetworkLimits limits;
    limits.connectMs = limits.writeMs = limits.replyMs = 2000;
    limits.replyCompletionMs = CompletionMs;
    NetworkLimits::set(limits);
}

void TestUploadFileCommand::init()
{
    Settings::getInstance()->setLogin(QStringLiteral("alice"));
    Settings::getInstance()->setPass(QStringLiteral("secret"));
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    shown = std::make_unique<ShownRemoteTree>(RemoteListFixture::line(9, true, QStringLiteral("docs"), 0));
    folder = shown->find(QStringLiteral("docs"));
    QVERIFY(folder);
}

void TestUploadFileCommand::cleanup()
{
    shown.reset();
    dir.reset();
}

RemoteFilesTreeItem *TestUploadFileCommand::addFile(const QString &name, const QByteArray &content)
{
    const QString path = dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return nullptr;
    file.close();
    return shown->addLocal(folder, path);
}

void TestUploadFileCommand::announcement_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("searchable");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("fields");

    QTest::newRow("abc, described, searchable")
        << "a b.txt" << QByteArray("abc") << "Summer" << true << "pw"
        << QByteArray("900150983cd24fb0d6963f7d28e17f72\ta b.txt\tunknown\tU3VtbWVy\t1\tpw\t3\t9\t");
    QTest::newRow("gt: digest bytes substituted, empty fields")
        << "gt" << QByteArray("gt") << "" << false << ""
        << QByteArray("1bfad22f0a25978f310e37440bfdff43\tgt\tunknown\t\t0\t\t2\t9\t");
    QTest::newRow("Latin-1 name and description")
        << QStringLiteral("caf\u00e9") << QByteArray("abc") << QStringLiteral("\u00e9t\u00e9") << true << ""
        << QByteArray("900150983cd24fb0d6963f7d28e17f72\tcaf\xe9\tunknown\t6XTp\t1\t\t3\t9\t");
}

void TestUploadFileCommand::announcement()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, description);
    QFETCH(bool, searchable);
    QFETCH(QString, password);
    QFETCH(QByteArray, fields);
    RemoteFilesTreeItem *item = addFile(name, content);
    QVERIFY(item);
    shown->model().setItemDescription(item, description);
    shown->model().setItemSearchable(item, searchable);
    shown->model().setItemPassword(item, password);

    FakeServer server;
    server.useForSettings();
    const QByteArray request = Prefix + fields;
    server.addScript(FakeScript().awaitBytes(request.size()).send("error\n3").close());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(server.received(), request);
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::IncorrectCommandError});
    apply(runner);
    QVERIFY(!item->isUploaded());
}

void TestUploadFileCommand::servesTheRangeAsked_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QByteArray>("response");
    const QByteArray file = pattern(1000);

    QTest::newRow("no header") << QByteArray() << httpHead(1000, "0-*/1000") + file;
    QTest::newRow("100-*") << QByteArray("Content-Range: 100-*\r\n") << httpHead(900, "100-*/1000") + file.mid(100);
    QTest::newRow("100-199") << QByteArray("Content-Range: 100-199\r\n")
                             << httpHead(100, "100-199/1000") + file.mid(100, 100);
    QTest::newRow("0-99: whole file") << QByteArray("Content-Range: 0-99\r\n") << httpHead(1000, "0-99/1000") + file;
    QTest::newRow("lower case") << QByteArray("content-range: 100-199\r\n")
                                << httpHead(100, "100-199/1000") + file.mid(100, 100);
    QTest::newRow("bytes=100-199") << QByteArray("Content-Range: bytes=100-199\r\n")
                                   << httpHead(1000, "0-199/1000") + file;
    QTest::newRow("first byte beyond the end") << QByteArray("Content-Range: 1500-*\r\n")
                                               << httpHead(1, "999-*/1000") + file.right(1);
    QTest::newRow("last below first") << QByteArray("Content-Range: 500-10\r\n")
                                      << httpHead(500, "500-*/1000") + file.mid(500);
}

void TestUploadFileCommand::servesTheRangeAsked()
{
    QFETCH(QByteArray, headers);
    QFETCH(QByteArray, response);
    RemoteFilesTreeItem *item = addFile(QStringLiteral("a b.txt"), pattern(1000));
    QVERIFY(item);

    FakeServer server;
    server.useForSettings();
    const quint16 dataPort = server.openDataPort(ask(headers));
    server.addScript(FakeScript()
                         .awaitText("\t9\t")
                         .sendReady(dataPort)
                         .pause(ServeMs)
                         .send("done\n17\tf1s2\textra")
                         .awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, dataPort), response);
    QVERIFY(server.isClosedByClient(0, dataPort));
    QCOMPARE(runner.command()->getItemChange().kind, RemoteItemChange::FileUploaded);
    // Shown as not available until then, the file is available once it is stored.
    item->setFileAvailable(false);
    apply(runner);
    QCOMPARE(item->getItemInnerId(), 17u);
    QVERIFY(item->isUploaded());
    QVERIFY(item->isFileAvailable());
    QCOMPARE(item->getItemExternalDownloadUrl(), Wire::downloadAddress(u"f1s2", "a b.txt"));
    QVERIFY(item->getItemExternalDownloadUrl().endsWith(QStringLiteral("/dl/f1s2/a%20b.txt")));
}

void TestUploadFileCommand::severalRanges()
{
    const QByteArray file = pattern(1000);
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), file);
    QVERIFY(item);

    FakeServer server;
    server.useForSettings();
    const quint16 first = server.openDataPort(ask("Content-Range: 0-399\r\n"));
    const quint16 second = server.openDataPort(ask("Content-Range: 400-*\r\n"));
    // The same range asked again, as a server does after a broken transfer.
    const quint16 again = server.openDataPort(ask("Content-Range: 400-*\r\n"));
    server.addScript(FakeScript()
                         .awaitText("\t9\t")
                         .sendReady(first)
                         .pause(ServeMs)
                         .sendReady(second)
                         .pause(ServeMs)
                         .sendReady(again)
                         .pause(ServeMs)
                         .send("done\n18\tx")
                         .awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, first), httpHead(1000, "0-399/1000") + file);
    QCOMPARE(server.received(0, second), httpHead(600, "400-*/1000") + file.mid(400));
    QCOMPARE(server.received(0, again), server.received(0, second));
    apply(runner);
    QCOMPARE(item->getItemInnerId(), 18u);
}

void TestUploadFileCommand::readyWhileDataConnectionOpenIsIgnored()
{
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    // The server is slow to ask on the first connection; a second "ready" comes meanwhile.
    const quint16 slow = server.openDataPort(
        FakeScript().pause(2 * ServeMs).send("GET file HTTP/1.1\r\n\r\n").awaitClose());
    const quint16 ignored = server.openDataPort(ask({}));
    server.addScript(FakeScript()
                         .awaitText("\t9\t")
                         .sendReady(slow)
                         .pause(ServeMs)
                         .sendReady(ignored)
                         .pause(3 * ServeMs)
                         .send("done\n1\tx")
                         .awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, slow), httpHead(5, "0-*/5") + "hello");
    QCOMPARE(server.connectionCount(ignored), 0);
}

void TestUploadFileCommand::dataConnectionWithoutRequest()
{
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    const quint16 noise = server.openDataPort(FakeScript().send("PUT file HTTP/1.1\r\n\r\n").awaitClose());
    const quint16 notFound = server.openDataPort(FakeScript().send("GET /file HTTP/1.1\r\n\r\n").awaitClose());
    server.addScript(FakeScript()
                         .awaitText("\t9\t")
                         .sendReady(noise)
                         .pause(ServeMs)
                         .sendReady(notFound)
                         .pause(ServeMs)
                         .send("done\n1\tx")
                         .awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    // Neither ends the upload: the server may still ask properly.
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, noise), QByteArray());
    QVERIFY(server.isClosedByClient(0, noise));
    QCOMPARE(server.received(0, notFound), QByteArray("HTTP/1.1 404 Not Found\r\n\r\n"));
}

void TestUploadFileCommand::repliesInPieces_data()
{
    // Where "ready" and "done" are cut into two pieces; 0: sent whole.
    QTest::addColumn<int>("readyCut");
    QTest::addColumn<int>("doneCut");
    QTest::addColumn<QByteArray>("readyEnd");
    QTest::newRow("ready word") << 2 << 0 << QByteArray();
    QTest::newRow("ready port") << 8 << 0 << QByteArray();
    QTest::newRow("ready port, line end") << 8 << 0 << QByteArray("\n");
    QTest::newRow("done word") << 0 << 3 << QByteArray("\n");
    QTest::newRow("done id") << 0 << 6 << QByteArray();
    QTest::newRow("done name") << 0 << 10 << QByteArray();
}

void TestUploadFileCommand::repliesInPieces()
{
    QFETCH(int, readyCut);
    QFETCH(int, doneCut);
    QFETCH(QByteArray, readyEnd);
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    const quint16 dataPort = server.openDataPort(ask({}));
    const QByteArray ready = "ready\n" + QByteArray::number(dataPort) + readyEnd;
    const QByteArray done = "done\n1234\tfsname";
    server.addScript(FakeScript()
                         .awaitText("\t9\t")
                         .send(ready.left(readyCut))
                         .pause(PiecePauseMs)
                         .send(ready.mid(readyCut))
                         .pause(ServeMs)
                         .send(done.left(doneCut))
                         .pause(PiecePauseMs)
                         .send(done.mid(doneCut))
                         .awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, dataPort), httpHead(5, "0-*/5") + "hello");
    apply(runner);
    QCOMPARE(item->getItemInnerId(), 1234u);
    QCOMPARE(item->getItemExternalDownloadUrl(), Wire::downloadAddress(u"fsname", "f.bin"));
}

void TestUploadFileCommand::finalReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<quint64>("id");

    QTest::newRow("done with blanks") << QByteArray("done\n 17 \t name \n") << BaseCommand::NoError << quint64(17);
    QTest::newRow("done, id above 32 bits") << QByteArray("done\n8589934593\tn") << BaseCommand::NoError
                                            << quint64(8589934593);
    QTest::newRow("done, one field") << QByteArray("done\n17") << BaseCommand::ReceivedDataFormatError << quint64(0);
    QTest::newRow("done, id of letters") << QByteArray("done\nx\tn") << BaseCommand::ReceivedDataFormatError
                                         << quint64(0);
    QTest::newRow("done, negative id") << QByteArray("done\n-5\tn") << BaseCommand::ReceivedDataFormatError
                                       << quint64(0);
    QTest::newRow("ready, port of letters") << QByteArray("ready\nabc") << BaseCommand::ReceivedDataFormatError
                                            << quint64(0);
    QTest::newRow("error 1") << QByteArray("error\n1") << BaseCommand::IncorrectLoginError << quint64(0);
    QTest::newRow("error 7") << QByteArray("error\n7") << BaseCommand::UnknownError << quint64(0);
    QTest::newRow("other word") << QByteArray("filelist\n") << BaseCommand::ReceivedDataFormatError << quint64(0);
}

void TestUploadFileCommand::finalReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(quint64, id);
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript().awaitText("\t9\t").send(reply).awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{result});
    apply(runner);
    QCOMPARE(item->isUploaded(), result == BaseCommand::NoError);
    QCOMPARE(item->getItemInnerId(), id);
    QVERIFY(server.waitForClosedByClient());
}

void TestUploadFileCommand::controlConnectionClosedEarly()
{
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    const quint16 dataPort = server.openDataPort(ask({}));
    server.addScript(FakeScript().awaitText("\t9\t").sendReady(dataPort).pause(ServeMs).close());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
    QCOMPARE(server.received(0, dataPort), httpHead(5, "0-*/5") + "hello");
    apply(runner);
    QVERIFY(!item->isUploaded());
}

void TestUploadFileCommand::silentServer()
{
    NetworkLimits limits = NetworkLimits::current();
    limits.uploadSilenceMs = 400;
    const ScopedNetworkLimits shortSilence(limits);
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript().awaitText("\t9\t").awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
    // A coarse timer may fire a little early.
    QVERIFY2(runner.elapsedMs() >= 350 && runner.elapsedMs() < 3000, QByteArray::number(runner.elapsedMs()));
}

void TestUploadFileCommand::dataPortClosed()
{
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript().awaitText("\t9\t").sendReady(FakeServer::closedPort()).awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
}

void TestUploadFileCommand::dataConnectionLostWhileSending()
{
    RemoteFilesTreeItem *item = addFile(QStringLiteral("big.bin"), pattern(64 * 1024 * 1024));
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    const quint16 dataPort =
        server.openDataPort(FakeScript().send("GET file HTTP/1.1\r\n\r\n").awaitBytes(300000).abort());
    server.addScript(FakeScript().awaitText("\t9\t").sendReady(dataPort).awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run(20000));
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
    apply(runner);
    QVERIFY(!item->isUploaded());
}

void TestUploadFileCommand::alreadyUploaded()
{
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    item->setUploaded(true);
    FakeServer server;
    server.useForSettings();
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.startedCount(), 1);
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.connectionCount(), 0);
}

void TestUploadFileCommand::refusedBeforeAnythingIsSent_data()
{
    QTest::addColumn<QString>("replacedBy"); // what stands at the file's path when it runs
    QTest::addColumn<bool>("folderOnServer");
    QTest::newRow("unreadable file") << "nothing" << true;
    // The folder's creation failed: as parent id 0 the file would land in the root folder.
    QTest::newRow("its folder is not on the server") << "" << false;
    // Opening a pipe waits for a writer that never comes, and a device never ends:
    // either held the command (and the program's exit) for ever.
    QTest::newRow("a named pipe") << "pipe" << true;
    QTest::newRow("a device") << "/dev/zero" << true;
}

void TestUploadFileCommand::refusedBeforeAnythingIsSent()
{
    QFETCH(QString, replacedBy);
    QFETCH(bool, folderOnServer);
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), "hello");
    QVERIFY(item);
    if (!replacedBy.isEmpty() && replacedBy != QLatin1String("/dev/zero"))
        QVERIFY(QFile::remove(item->getLocalPathForUpload()));
    if (replacedBy == QLatin1String("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(item->getLocalPathForUpload()).constData(), 0600), 0);
    if (replacedBy == QLatin1String("/dev/zero"))
        item->setLocalPathForUpload(replacedBy);
    if (!folderOnServer) {
        folder->setItemInnerId(0);
        folder->setUploaded(false);
    }
    FakeServer server;
    server.useForSettings();
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run(5000));
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::InitialDataFormatError});
    QCOMPARE(server.connectionCount(), 0);
}

void TestUploadFileCommand::progressCountsDigestThenTransfer()
{
    const QByteArray file = pattern(3 * 1024 * 1024 + 5);
    RemoteFilesTreeItem *item = addFile(QStringLiteral("f.bin"), file);
    QVERIFY(item);
    FakeServer server;
    server.useForSettings();
    const quint16 dataPort = server.openDataPort(ask({}));
    server.addScript(
        FakeScript().awaitText("\t9\t").sendReady(dataPort).pause(2 * ServeMs).send("done\n1\tx").awaitClose());
    CommandRunner runner(uploadOf(item));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, dataPort).size(), httpHead(file.size(), "0-*/3145733").size() + file.size());

    // Four digest blocks of the file, then at most about a hundred reports while sending.
    const QList<CommandRunner::Progress> progress = runner.progress();
    QVERIFY(progress.size() > 4);
    const qulonglong size = qulonglong(file.size());
    QCOMPARE(progress.at(0).currentState, 1048576u);
    QCOMPARE(progress.at(3).currentState, size);
    QCOMPARE(progress.at(3).fullState, size);
    QVERIFY2(progress.size() - 4 <= 101, QByteArray::number(progress.size()));
    QCOMPARE(progress.last().currentState, size);
    QCOMPARE(progress.last().fullState, size);
}

QTEST_MAIN(TestUploadFileCommand)
#include "tst_uploadfilecommand.moc"
