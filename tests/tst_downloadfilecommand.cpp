#include "base/settings.h"
#include "commandrunner.h"
#include "fakeserver.h"
#include "network/downloadfilecommand.h"
#include "network/httpreceiver.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remotetree.h"
#include "remotelistfixture.h"
#include "scopednetworklimits.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

namespace {

constexpr quint64 FileId = 42;
// The pieces of a split reply arrive this far apart, well within the window the
// client gives the rest of a reply.
constexpr int PiecePauseMs = 30;
constexpr int CompletionMs = 300;
const QByteArray ControlRequest = "alice\nsecret\ndownloadfile\n42";

QByteArray expectedGet(qint64 offset)
{
    return "GET file HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Range: " + QByteArray::number(offset)
         + "-*\r\nContent-Length: 0\r\n\r\n";
}

// The data port's script: wait for the whole GET, answer, close.
FakeScript answer(const QByteArray &response)
{
    return FakeScript().awaitText("\r\n\r\n").send(response).close();
}

QByteArray partial(const QByteArray &body, qint64 first, qint64 total, const QByteArray &unit = "bytes ")
{
    return FakeScript::httpResponse(206, body,
                                    "Content-Range: " + unit + QByteArray::number(first) + '-'
                                        + QByteArray::number(first + body.size() - 1) + '/'
                                        + QByteArray::number(total) + "\r\n");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// 10,240 bytes that differ from their neighbours, so a misplaced byte shows.
QByteArray wholeFile()
{
    QByteArray bytes;
    for (int i = 0; i < 10240; ++i)
        bytes.append(char('a' + (i * 7 + i / 26) % 26));
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A server for one download: the control connection answers "ready" with a data port
// that plays `data`. The settings point at it.
std::unique_ptr<FakeServer> serveDownload(const FakeScript &data, quint16 &dataPort)
{
    auto server = std::make_unique<FakeServer>();
    server->useForSettings();
    dataPort = server->openDataPort(data);
    server->addScript(FakeScript().awaitBytes(ControlRequest.size()).sendReady(dataPort).awaitClose());
    return server;
}

} // namespace

class TestDownloadFileCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void downloadsBehindTheBytesPresent_data();
    void downloadsBehindTheBytesPresent();
    void refusedResponsesLeaveTheFileAlone_data();
    void refusedResponsesLeaveTheFileAlone();
    void serverIgnoringTheRangeStartsTheCopyOver();
    void bodyMustEndWhereAnnounced_data();
    void bodyMustEndWhereAnnounced();
    void cutDownloadKeepsItsBytesAndResumes();
    void controlReplies_data();
    void controlReplies();
    void readyPortForms_data();
    void readyPortForms();
    void dataPortClosed();
    void silentDataPort();
    void progressIsBoundedAndComplete();
    void resumeBeyond32Bits_data();
    void resumeBeyond32Bits();
    void commandText();

private:
    std::unique_ptr<QTemporaryDir> dir;
    // The file a.txt (server id 42) in the user's root folder.
    RemoteItemRef item;
    QString target;
};

void TestDownloadFileCommand::initTestCase()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    NetworkLimits limits;
    limits.connectMs = limits.writeMs = limits.replyMs = 2000;
    limits.replyCompletionMs = CompletionMs;
    NetworkLimits::set(limits);
}

void TestDownloadFileCommand::init()
{
    Settings::getInstance()->setLogin(QStringLiteral("alice"));
    Settings::getInstance()->setPass(QStringLiteral("secret"));
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    target = dir->filePath(QStringLiteral("a.txt"));
    const std::shared_ptr<RemoteTree> tree =
        RemoteTree::fromList(RemoteListFixture::line(FileId, false, QStringLiteral("a.txt"), 0, 10), QStringLiteral("root"));
    item = RemoteItemRef(tree, tree->userRoot()->child(0));
}

void TestDownloadFileCommand::cleanup()
{
    item = RemoteItemRef();
    dir.reset();
}

void TestDownloadFileCommand::downloadsBehindTheBytesPresent_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("present");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArray>("result");

    QTest::newRow("no file: created, 0-*") << false << QByteArray() << FakeScript::httpResponse(200, "0123456789")
                                           << QByteArray("0123456789");
    QTest::newRow("empty file, 206 from 0") << true << QByteArray() << partial("0123456789", 0, 10)
                                            << QByteArray("0123456789");
    QTest::newRow("3 bytes present") << true << QByteArray("012") << partial("3456789", 3, 10)
                                     << QByteArray("0123456789");
    QTest::newRow("range without unit") << true << QByteArray("012") << partial("3456789", 3, 10, "")
                                        << QByteArray("0123456789");
    QTest::newRow("empty remote file") << false << QByteArray() << FakeScript::httpResponse(200, "")
                                       << QByteArray();
    QTest::newRow("already whole: 416 with the size")
        << true << QByteArray("0123456789")
        << FakeScript::httpResponse(416, "416 Range Not Satisfiable\n", "Content-Range: bytes */10\r\n")
        << QByteArray("0123456789");
}

void TestDownloadFileCommand::downloadsBehindTheBytesPresent()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, present);
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, result);
    if (exists)
        writeFile(target, present);

    quint16 dataPort = 0;
    const std::unique_ptr<FakeServer> serving = serveDownload(answer(response), dataPort);
    FakeServer &server = *serving;
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());

    QCOMPARE(runner.startedCount(), 1);
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(), ControlRequest);
    QCOMPARE(server.received(0, dataPort), expectedGet(present.size()));
    QCOMPARE(readFile(target), result);
    // The control connection is held while the file is fetched, then closed.
    QVERIFY(server.waitForClosedByClient());
}

void TestDownloadFileCommand::refusedResponsesLeaveTheFileAlone_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::newRow("404") << FakeScript::httpResponse(404, "404 Not Found\n");
    QTest::newRow("500") << FakeScript::httpResponse(500, "oops");
    QTest::newRow("redirect") << FakeScript::httpResponse(302, "elsewhere", "Location: http://127.0.0.1:1/\r\n");
    QTest::newRow("206 from another offset") << partial("0123456789", 0, 10);
    QTest::newRow("206 beyond the offset") << partial("56789", 5, 10);
    QTest::newRow("206 without a range") << FakeScript::httpResponse(206, "3456789");
    QTest::newRow("416 for another size")
        << FakeScript::httpResponse(416, "", "Content-Range: bytes */2\r\n");
    QTest::newRow("not HTTP") << QByteArray("hello there\r\n\r\n0123456789");
    // Only 200 and 206 carry file bytes: a 204 would have emptied the part, a 202
    // replaced it with its text, both reported as success.
    QTest::newRow("204 No Content") << FakeScript::httpResponse(204, "");
    QTest::newRow("202 Accepted") << FakeScript::httpResponse(202, "queued for later\n");
    QTest::newRow("203 with a body") << FakeScript::httpResponse(203, "0123456789");
}

void TestDownloadFileCommand::refusedResponsesLeaveTheFileAlone()
{
    QFETCH(QByteArray, response);
    writeFile(target, "012");

    quint16 dataPort = 0;
    const std::unique_ptr<FakeServer> serving = serveDownload(answer(response), dataPort);
    FakeServer &server = *serving;
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());

    QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
    QCOMPARE(server.received(0, dataPort), expectedGet(3));
    QCOMPARE(readFile(target), QByteArray("012"));
}

void TestDownloadFileCommand::serverIgnoringTheRangeStartsTheCopyOver()
{
    // The part present came from an older copy; the server sends the whole new one.
    writeFile(target, "abcdefghijklmnop");
    FakeServer server;
    server.useForSettings();
    const quint16 dataPort = server.openDataPort(answer(FakeScript::httpResponse(200, "0123456789")));
    server.addScript(FakeScript().awaitBytes(ControlRequest.size()).sendReady(dataPort).awaitClose());
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());

    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, dataPort), expectedGet(16));
    QCOMPARE(readFile(target), QByteArray("0123456789"));
}

static QByteArray chunked(const QList<QByteArray> &chunks)
{
    QByteArray body;
    for (const QByteArray &chunk : chunks)
        body += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    return body + "0\r\n\r\n";
}

void TestDownloadFileCommand::bodyMustEndWhereAnnounced_data()
{
    QTest::addColumn<int>("present");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<int>("kept"); // bytes of the whole file that the target holds after

    const QByteArray whole = wholeFile();
    const QByteArray range3000 = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 3000-10239/10240\r\n";
    QTest::newRow("206 without a length, closed after 100 bytes")
        << 3000 << QByteArray(range3000 + "\r\n" + whole.mid(3000, 100)) << BaseCommand::ConnectionError << 3100;
    QTest::newRow("206 with an endless chunked body")
        << 0
        << QByteArray("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-10239/10240\r\n"
                      "Transfer-Encoding: chunked\r\n\r\n"
                      + chunked({whole, QByteArray(256 * 1024, 'z'), QByteArray(256 * 1024, 'z')}))
        << BaseCommand::ConnectionError << 10240;
    QTest::newRow("206 whose part ends before the file does")
        << 3000 << QByteArray(range3000.left(range3000.indexOf("10239")) + "5000/10240\r\nContent-Length: 2001\r\n\r\n"
                              + whole.mid(3000, 2001))
        << BaseCommand::ConnectionError << 5001;
    QTest::newRow("206 without a length, complete") << 3000 << QByteArray(range3000 + "\r\n" + whole.mid(3000))
                                                    << BaseCommand::NoError << 10240;
    // A 200 that announces no length ends when the server ends it cleanly.
    QTest::newRow("200 chunked") << 0
                                 << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                               + chunked({whole.left(4000), whole.mid(4000)}))
                                 << BaseCommand::NoError << 10240;
    QTest::newRow("200 closed without a length")
        << 3000 << QByteArray("HTTP/1.1 200 OK\r\n\r\n" + whole) << BaseCommand::NoError << 10240;
}

void TestDownloadFileCommand::bodyMustEndWhereAnnounced()
{
    QFETCH(int, present);
    QFETCH(QByteArray, response);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(int, kept);
    const QByteArray whole = wholeFile();
    writeFile(target, whole.left(present));

    quint16 dataPort = 0;
    const std::unique_ptr<FakeServer> serving = serveDownload(answer(response), dataPort);
    FakeServer &server = *serving;
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());

    QCOMPARE(runner.finishedResults(), QList{result});
    QCOMPARE(server.received(0, dataPort), expectedGet(present));
    const QByteArray after = readFile(target);
    QCOMPARE(after.size(), kept);
    QVERIFY(after == whole.left(kept));
}

void TestDownloadFileCommand::cutDownloadKeepsItsBytesAndResumes()
{
    writeFile(target, "012");
    const QByteArray whole = "0123456789abcdefghij";
    {
        FakeServer server;
        server.useForSettings();
        const QByteArray response = partial(whole.mid(3), 3, whole.size());
        // Six body bytes, then the connection ends short of the announced length.
        const quint16 dataPort = server.openDataPort(
            FakeScript().awaitText("\r\n\r\n").sendCut(response, response.size() - whole.size() + 3 + 6));
        server.addScript(FakeScript().awaitBytes(ControlRequest.size()).sendReady(dataPort).awaitClose());
        CommandRunner runner(new DownloadFileCommand(5, item, target));
        QVERIFY(runner.run());
        QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
        QCOMPARE(readFile(target), whole.left(9));
    }
    FakeServer server;
    server.useForSettings();
    const quint16 dataPort = server.openDataPort(answer(partial(whole.mid(9), 9, whole.size())));
    server.addScript(FakeScript().awaitBytes(ControlRequest.size()).sendReady(dataPort).awaitClose());
    CommandRunner runner(new DownloadFileCommand(6, item, target));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, dataPort), expectedGet(9));
    QCOMPARE(readFile(target), whole);
}

void TestDownloadFileCommand::controlReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::newRow("port of letters") << QByteArray("ready\nabc") << BaseCommand::ReceivedDataFormatError;
    QTest::newRow("no port") << QByteArray("ready\n") << BaseCommand::ReceivedDataFormatError;
    QTest::newRow("error 2") << QByteArray("error\n2") << BaseCommand::IncorrectPasswordError;
    QTest::newRow("error 1") << QByteArray("error\n1") << BaseCommand::IncorrectLoginError;
    QTest::newRow("error 99") << QByteArray("error\n99") << BaseCommand::UnknownError;
    QTest::newRow("done") << QByteArray("done\n") << BaseCommand::ReceivedDataFormatError;
    QTest::newRow("ready cut short") << QByteArray("read") << BaseCommand::ReceivedDataFormatError;
}

void TestDownloadFileCommand::controlReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(BaseCommand::CommandResult, result);
    writeFile(target, "012");
    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript().awaitBytes(ControlRequest.size()).send(reply).awaitClose());
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{result});
    QCOMPARE(server.received(), ControlRequest);
    QCOMPARE(readFile(target), QByteArray("012"));
}

void TestDownloadFileCommand::readyPortForms_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("add");
    // Where the reply is cut into two pieces sent apart in time; 0: in one piece.
    QTest::addColumn<int>("cut");
    QTest::newRow("blanks") << QByteArray("  ") << QByteArray(" ") << 0 << 0;
    QTest::newRow("line end") << QByteArray() << QByteArray("\r\n") << 0 << 0;
    QTest::newRow("above 65535: low 16 bits") << QByteArray() << QByteArray() << 65536 << 0;
    QTest::newRow("word in pieces") << QByteArray() << QByteArray() << 0 << 3;
    QTest::newRow("port in pieces") << QByteArray() << QByteArray() << 0 << 8;
    QTest::newRow("port in pieces, line end") << QByteArray(" ") << QByteArray("\n") << 0 << 9;
}

void TestDownloadFileCommand::readyPortForms()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(int, add);
    QFETCH(int, cut);
    FakeServer server;
    server.useForSettings();
    const quint16 dataPort = server.openDataPort(answer(FakeScript::httpResponse(200, "xyz")));
    const QByteArray reply = "ready\n" + before + QByteArray::number(dataPort + add) + after;
    server.addScript(FakeScript()
                         .awaitBytes(ControlRequest.size())
                         .send(reply.left(cut))
                         .pause(PiecePauseMs)
                         .send(reply.mid(cut))
                         .awaitClose());
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(readFile(target), QByteArray("xyz"));
}

void TestDownloadFileCommand::dataPortClosed()
{
    writeFile(target, "012");
    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript().awaitBytes(ControlRequest.size()).sendReady(FakeServer::closedPort()).awaitClose());
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
    QCOMPARE(readFile(target), QByteArray("012"));
}

void TestDownloadFileCommand::silentDataPort()
{
    NetworkLimits limits = NetworkLimits::current();
    limits.transferStallSeconds = 1;
    const ScopedNetworkLimits shortStall(limits);
    FakeServer server;
    server.useForSettings();
    // Head and two body bytes, then nothing.
    const QByteArray response = FakeScript::httpResponse(200, "0123456789");
    const quint16 dataPort =
        server.openDataPort(FakeScript().awaitText("\r\n\r\n").send(response.left(response.size() - 8)).awaitClose());
    server.addScript(FakeScript().awaitBytes(ControlRequest.size()).sendReady(dataPort).awaitClose());
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run(10000));
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
    QCOMPARE(readFile(target), QByteArray("01"));
    QVERIFY2(runner.elapsedMs() < 5000, QByteArray::number(runner.elapsedMs()));
}

void TestDownloadFileCommand::progressIsBoundedAndComplete()
{
    QByteArray body(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (int i = 0; i < body.size(); ++i)
        body[i] = char(i * 7 + i / 251);
    FakeServer server;
    server.useForSettings();
    const QByteArray response = FakeScript::httpResponse(200, body);
    // Sent in many pieces, so the client sees many reads.
    FakeScript script = FakeScript().awaitText("\r\n\r\n");
    for (qsizetype at = 0; at < response.size(); at += 16384)
        script.send(response.mid(at, 16384));
    const quint16 dataPort = server.openDataPort(script.close());
    server.addScript(FakeScript().awaitBytes(ControlRequest.size()).sendReady(dataPort).awaitClose());
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(readFile(target), body);

    // About a hundred reports, each a step forward, the last one complete.
    const QString problem = runner.throttledProgressProblem(qulonglong(body.size()));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestDownloadFileCommand::resumeBeyond32Bits_data()
{
    QTest::addColumn<qint64>("present");
    QTest::newRow("2 GiB") << (qint64(1) << 31);
    QTest::newRow("4 GiB + 5") << (qint64(1) << 32) + 5;
}

void TestDownloadFileCommand::resumeBeyond32Bits()
{
    QFETCH(qint64, present);
    // A sparse file: its size is what counts, no disk space is taken.
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(present));
    }
    FakeServer server;
    server.useForSettings();
    const quint16 dataPort = server.openDataPort(answer(partial("hello", present, present + 5)));
    server.addScript(FakeScript().awaitBytes(ControlRequest.size()).sendReady(dataPort).awaitClose());
    CommandRunner runner(new DownloadFileCommand(5, item, target));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(0, dataPort), expectedGet(present));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.size(), present + 5);
    QVERIFY(file.seek(present - 1));
    QCOMPARE(file.read(6), QByteArray("\0hello", 6));
}

void TestDownloadFileCommand::commandText()
{
    DownloadFileCommand command(3, item, target);
    QCOMPARE(command.getCommandTypeString(), QStringLiteral("Download file <b>a.txt</b>"));
    QCOMPARE(command.getCommandType(), BaseCommand::DownloadFileCommand);
    QCOMPARE(command.getCommandExclusivity(), BaseCommand::NonExclusive);
    QCOMPARE(command.getDownloadPath(), target);
    QCOMPARE(command.getSubject().item(), item.item());
}

QTEST_GUILESS_MAIN(TestDownloadFileCommand)
#include "tst_downloadfilecommand.moc"
