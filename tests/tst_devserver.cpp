// The development server against raw sockets: every command's exchange and error
// code, transfers in ranges and at offsets, restarts, concurrent clients and the
// fault-injection options.

#include "devserverprocess.h"
#include "rawservicepeer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {
// Short time limits keep the suite fast; the defaults are for people.
const QStringList FastOptions = {
    QStringLiteral("--request-quiet-ms"), QStringLiteral("30"),
    QStringLiteral("--request-timeout-ms"), QStringLiteral("400"),
    QStringLiteral("--data-timeout-ms"), QStringLiteral("400"),
    QStringLiteral("--message-gap-ms"), QStringLiteral("20"),
    QStringLiteral("--progress-interval-ms"), QStringLiteral("20"),
};

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

QStringList fast(const QStringList &more = {})
{
    return QStringList{QStringLiteral("--user"), QStringLiteral("alice:secret"), QStringLiteral("--demo")}
           + FastOptions + more;
}

QList<QByteArray> itemLine(const RawServicePeer &peer, qint64 id)
{
    for (const auto &fields : peer.list()) {
        if (fields.value(0).toLongLong() == id)
            return fields;
    }
    return {};
}
}

class TestDevServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void frameErrors_data();
    void frameErrors();
    void refreshListsEveryItemAndCloses();
    void requestArrivingInPieces();
    void incompleteRequestIsRefused();
    void folderCommands();
    void fileCommands();
    void refusals_data();
    void refusals();
    void downloadAtOffset_data();
    void downloadAtOffset();
    void downloadRefusals();
    void dataPortClosesAfterTimeout();
    void uploadInSeveralRanges();
    void uploadWithWrongDigestLeavesNothing();
    void abandonedUploadLeavesNothing();
    void uploadUrl();
    void uploadUrlRefusals();
    void restartKeepsData();
    void fiftyConcurrentClients();
    void faultInjection();

private:
    DevServerProcess server;
};

void TestDevServer::initTestCase()
{
    QVERIFY2(server.start(fast()), qPrintable(server.errorText()));
}

void TestDevServer::frameErrors_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("unknown login") << QByteArray("mallory\nsecret\nrefresh\n") << QByteArray("error\n1");
    QTest::newRow("login checked before the word") << QByteArray("mallory\nx\nnosuch\n") << QByteArray("error\n1");
    QTest::newRow("wrong password") << QByteArray("alice\nSecret\nrefresh\n") << QByteArray("error\n2");
    QTest::newRow("empty password") << QByteArray("alice\n\nrefresh\n") << QByteArray("error\n2");
    QTest::newRow("unknown word") << QByteArray("alice\nsecret\nrename\n1\tx") << QByteArray("error\n3");
    QTest::newRow("word is case-sensitive") << QByteArray("alice\nsecret\nRefresh\n") << QByteArray("error\n3");
}

void TestDevServer::frameErrors()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QElapsedTimer timer;
    timer.start();
    // exchangeRaw returns when the server closes: the reply is whole and final.
    QCOMPARE(RawServicePeer(server.port(), "", "").exchangeRaw({request}), reply);
    QVERIFY(timer.elapsed() < 2000);
}

void TestDevServer::refreshListsEveryItemAndCloses()
{
    DevServerProcess own;
    QVERIFY2(own.start(QStringList{QStringLiteral("--user"), QStringLiteral("carol:pw"), QStringLiteral("--demo")}
                       + FastOptions),
             qPrintable(own.errorText()));
    const RawServicePeer carol(own.port(), "carol", "pw");
    QCOMPARE(carol.exchange("refresh", QByteArray()), QByteArray("filelist\n"));

    const qint64 folder = carol.makeDir(0, "Photos");
    QVERIFY(folder > 0);
    const QByteArray content = "sunny";
    const auto upload = carol.upload(folder, "beach b&w.jpg", content);
    QVERIFY2(upload.id > 0, upload.finalReply.constData());
    QCOMPARE(carol.exchange("setparams", QByteArray::number(upload.id) + "\tU3VtbWVy\t1\tpw\t1"),
             QByteArray("done\n"));

    QElapsedTimer timer;
    timer.start();
    const QByteArray reply = carol.exchange("refresh", QByteArray());
    // The connection closes after the list, so a client need not wait for silence.
    QVERIFY(timer.elapsed() < 500);
    QVERIFY(reply.startsWith("filelist\n"));
    QVERIFY(reply.endsWith('\n'));
    const QList<QByteArray> lines = reply.mid(9, reply.size() - 10).split('\n');
    QCOMPARE(lines.size(), 2);
    const QList<QByteArray> dir = lines[0].split('\t');
    const QList<QByteArray> file = lines[1].split('\t');
    QCOMPARE(dir.size(), 11);
    QCOMPARE(file.size(), 11);
    QCOMPARE(dir[0].toLongLong(), folder);
    QCOMPARE(dir[1], QByteArray("1"));
    QCOMPARE(dir[2], QByteArray("Photos"));
    QCOMPARE(dir[3], QByteArray("0"));
    QCOMPARE(dir[10], QByteArray("1"));
    QCOMPARE(file[0].toLongLong(), upload.id);
    QCOMPARE(file[1], QByteArray("0"));
    QCOMPARE(file[2], QByteArray("beach b&w.jpg"));
    QCOMPARE(file[3].toLongLong(), folder);
    QCOMPARE(file[4], QByteArray("5"));
    const qint64 date = file[5].toLongLong();
    QVERIFY(qAbs(date - QDateTime::currentSecsSinceEpoch()) < 60);
    QCOMPARE(file[6], QByteArray("U3VtbWVy"));
    QCOMPARE(file[7], QByteArray("1"));
    QCOMPARE(file[8], QByteArray("1")); // a password is set
    QCOMPARE(file[9], upload.finalReply.mid(5).split('\t').value(1));
    QCOMPARE(file[10], QByteArray("1"));

    // Each account sees its own items only.
    QCOMPARE(RawServicePeer(own.port(), "demo", "demo").idOf("Photos"), qint64(-1));
}

void TestDevServer::requestArrivingInPieces()
{
    // Pauses shorter than the quiet time keep the request open; the name is whole.
    const RawServicePeer alice(server.port(), "alice", "secret");
    const QByteArray reply =
        alice.exchangeRaw({"ali", "ce\nsec", "ret\nmakedir\n0\tpie", "ces"}, 5);
    QVERIFY2(reply.startsWith("done\n"), reply.constData());
    QCOMPARE(alice.idOf("pieces", 0), reply.mid(5).toLongLong());
}

void TestDevServer::incompleteRequestIsRefused()
{
    const RawServicePeer alice(server.port(), "alice", "secret");
    QElapsedTimer timer;
    timer.start();
    // A move needs three fields; the client stops after two and waits.
    QCOMPARE(alice.exchange("movedir", "1\t0"), QByteArray("error\n4"));
    QVERIFY(timer.elapsed() >= 300);
}

void TestDevServer::folderCommands()
{
    const RawServicePeer alice(server.port(), "alice", "secret");
    const qint64 a = alice.makeDir(0, "A");
    const qint64 b = alice.makeDir(a, "B");
    const qint64 c = alice.makeDir(0, "C");
    QVERIFY(a > 0 && b > 0 && c > 0);
    QVERIFY(a != b && b != c);
    const auto inner = alice.upload(b, "inner.txt", "deep inside");
    QVERIFY(inner.id > 0);
    const QString innerContent = server.dataDir() + QStringLiteral("/files/")
                                 + QString::fromLatin1(inner.finalReply.mid(5).split('\t').value(1));
    QVERIFY(QFile::exists(innerContent));

    // Move B under C with a new name; its content travels with it.
    QCOMPARE(alice.exchange("movedir", QByteArray::number(b) + '\t' + QByteArray::number(c) + "\tB2"),
             QByteArray("done\n"));
    QCOMPARE(alice.idOf("B2", c), b);
    QCOMPARE(alice.idOf("inner.txt", b), inner.id);
    // Rename in place.
    QCOMPARE(alice.exchange("movedir", QByteArray::number(c) + "\t0\tC renamed"), QByteArray("done\n"));
    QCOMPARE(alice.idOf("C renamed", 0), c);

    // Deleting a folder deletes its subtree and the contents of its files.
    QCOMPARE(alice.exchange("deldir", QByteArray::number(c)), QByteArray("done\n"));
    QCOMPARE(alice.idOf("C renamed"), qint64(-1));
    QCOMPARE(alice.idOf("B2"), qint64(-1));
    QCOMPARE(alice.idOf("inner.txt"), qint64(-1));
    QVERIFY(!QFile::exists(innerContent));
    QCOMPARE(alice.idOf("A", 0), a);
    QCOMPARE(alice.exchange("deldir", QByteArray::number(a)), QByteArray("done\n"));
}

void TestDevServer::fileCommands()
{
    const RawServicePeer alice(server.port(), "alice", "secret");
    const qint64 folder = alice.makeDir(0, "files");
    const auto upload = alice.upload(0, "f.txt", "content");
    QVERIFY(upload.id > 0);
    const QByteArray id = QByteArray::number(upload.id);

    QCOMPARE(alice.exchange("movefile", id + '\t' + QByteArray::number(folder) + "\tg.txt"), QByteArray("done\n"));
    QCOMPARE(alice.idOf("g.txt", folder), upload.id);

    // Description in Base64, the searchable flag, and the password only when marked changed.
    QCOMPARE(alice.exchange("setparams", id + "\tYWJj\t1\tsecret word\t1"), QByteArray("done\n"));
    QList<QByteArray> line = itemLine(alice, upload.id);
    QCOMPARE(line.value(6), QByteArray("YWJj"));
    QCOMPARE(line.value(7), QByteArray("1"));
    QCOMPARE(line.value(8), QByteArray("1"));
    QCOMPARE(alice.exchange("setparams", id + "\t\t0\t\t0"), QByteArray("done\n"));
    line = itemLine(alice, upload.id);
    QCOMPARE(line.value(6), QByteArray(""));
    QCOMPARE(line.value(7), QByteArray("0"));
    QCOMPARE(line.value(8), QByteArray("1"));
    QCOMPARE(alice.exchange("setparams", id + "\t\t0\t\t1"), QByteArray("done\n"));
    QCOMPARE(itemLine(alice, upload.id).value(8), QByteArray("0"));

    QCOMPARE(alice.exchange("delfile", id), QByteArray("done\n"));
    QVERIFY(itemLine(alice, upload.id).isEmpty());
    QCOMPARE(alice.exchange("delfile", id), QByteArray("error\n5"));
    QCOMPARE(alice.exchange("deldir", QByteArray::number(folder)), QByteArray("done\n"));
}

void TestDevServer::refusals_data()
{
    // Against the demo account's tree; {Name} stands for that item's id.
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<int>("code");
    QTest::newRow("makedir: parent not a number") << QByteArray("makedir") << QByteArray("x\tNew") << 4;
    QTest::newRow("makedir: signed parent") << QByteArray("makedir") << QByteArray("+0\tNew") << 4;
    QTest::newRow("makedir: field missing") << QByteArray("makedir") << QByteArray("0") << 4;
    QTest::newRow("makedir: a field too many") << QByteArray("makedir") << QByteArray("0\tA\tB") << 4;
    QTest::newRow("makedir: no such folder") << QByteArray("makedir") << QByteArray("999999\tNew") << 5;
    QTest::newRow("makedir: parent is a file") << QByteArray("makedir") << QByteArray("{readme.txt}\tNew") << 5;
    QTest::newRow("makedir: name taken") << QByteArray("makedir") << QByteArray("0\tDocuments") << 6;
    QTest::newRow("makedir: name with slash") << QByteArray("makedir") << QByteArray("0\ta/b") << 7;
    QTest::newRow("makedir: dot dot") << QByteArray("makedir") << QByteArray("0\t..") << 7;
    QTest::newRow("makedir: empty name") << QByteArray("makedir") << QByteArray("0\t") << 7;
    QTest::newRow("deldir: a file's id") << QByteArray("deldir") << QByteArray("{readme.txt}") << 5;
    QTest::newRow("deldir: the root") << QByteArray("deldir") << QByteArray("0") << 5;
    QTest::newRow("delfile: a folder's id") << QByteArray("delfile") << QByteArray("{Music}") << 5;
    QTest::newRow("delfile: no id") << QByteArray("delfile") << QByteArray("") << 4;
    QTest::newRow("movedir: into itself") << QByteArray("movedir") << QByteArray("{Pictures}\t{Pictures}\tP") << 8;
    QTest::newRow("movedir: into own subtree") << QByteArray("movedir") << QByteArray("{Pictures}\t{Holidays}\tP")
                                               << 8;
    QTest::newRow("movedir: name taken") << QByteArray("movedir") << QByteArray("{Holidays}\t0\tMusic") << 6;
    QTest::newRow("movefile: no such folder") << QByteArray("movefile") << QByteArray("{todo.txt}\t999999\tt")
                                              << 5;
    QTest::newRow("movefile: name taken") << QByteArray("movefile") << QByteArray("{todo.txt}\t0\treadme.txt")
                                          << 6;
    QTest::newRow("setparams: bad Base64") << QByteArray("setparams") << QByteArray("{todo.txt}\t@@@\t1\t\t0") << 4;
    QTest::newRow("setparams: flag not 0 or 1") << QByteArray("setparams") << QByteArray("{todo.txt}\t\t2\t\t0")
                                                << 4;
    QTest::newRow("setparams: a folder") << QByteArray("setparams") << QByteArray("{Music}\t\t1\t\t0") << 5;
    QTest::newRow("downloadfile: not available") << QByteArray("downloadfile") << QByteArray("{lost recording.ogg}")
                                                 << 9;
    QTest::newRow("downloadfile: no such file") << QByteArray("downloadfile") << QByteArray("999999") << 5;
    QTest::newRow("uploadfile: digest not hex")
        << QByteArray("uploadfile") << QByteArray("zz0150983cd24fb0d6963f7d28e17f72\tx\tunknown\t\t0\t\t3\t0\t") << 4;
    QTest::newRow("uploadfile: size not a number")
        << QByteArray("uploadfile") << QByteArray("900150983cd24fb0d6963f7d28e17f72\tx\tunknown\t\t0\t\t-3\t0\t") << 4;
    QTest::newRow("uploadfile: name taken")
        << QByteArray("uploadfile") << QByteArray("900150983cd24fb0d6963f7d28e17f72\treadme.txt\tunknown\t\t0\t\t3\t0\t")
        << 6;
    QTest::newRow("uploadurl: not http") << QByteArray("uploadurl") << QByteArray("0\tx\tftp://127.0.0.1/x") << 11;
    QTest::newRow("uploadurl: name taken") << QByteArray("uploadurl")
                                           << QByteArray("0\treadme.txt\thttp://127.0.0.1:1/x") << 6;
}

void TestDevServer::refusals()
{
    QFETCH(QByteArray, word);
    QFETCH(QByteArray, fields);
    QFETCH(int, code);
    const RawServicePeer demo(server.port(), "demo", "demo");
    const QList<QList<QByteArray>> before = demo.list();
    QVERIFY(!before.isEmpty());
    for (const auto &line : before)
        fields.replace('{' + line[2] + '}', line[0]);
    QVERIFY2(!fields.contains('{'), fields.constData());
    QCOMPARE(demo.exchange(word, fields), "error\n" + QByteArray::number(code));
    QCOMPARE(demo.list(), before);
}

void TestDevServer::downloadAtOffset_data()
{
    QTest::addColumn<QByteArray>("rangeHeader");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to"); // one past the last byte
    const int size = 300000;
    QTest::newRow("new file") << QByteArray("Content-Range: 0-*") << 200 << 0 << size;
    QTest::newRow("no range header") << QByteArray() << 200 << 0 << size;
    QTest::newRow("resume at 1") << QByteArray("Content-Range: 1-*") << 206 << 1 << size;
    QTest::newRow("resume in the middle") << QByteArray("Content-Range: 123457-*") << 206 << 123457 << size;
    QTest::newRow("last byte only") << QByteArray("Content-Range: 299999-*") << 206 << 299999 << size;
    QTest::newRow("bounded range") << QByteArray("Content-Range: 100-199") << 206 << 100 << 200;
    QTest::newRow("header name in lower case") << QByteArray("content-range: 7-*") << 206 << 7 << size;
    QTest::newRow("beyond the end") << QByteArray("Content-Range: 300000-*") << 416 << 0 << 0;
    QTest::newRow("unreadable range") << QByteArray("Content-Range: bytes=5-") << 400 << 0 << 0;
}

void TestDevServer::downloadAtOffset()
{
    QFETCH(QByteArray, rangeHeader);
    QFETCH(int, status);
    QFETCH(int, from);
    QFETCH(int, to);
    const RawServicePeer alice(server.port(), "alice", "secret");
    const QByteArray content = randomBytes(300000, 7);
    qint64 id = alice.idOf("download.bin", 0);
    if (id < 0)
        id = alice.upload(0, "download.bin", content).id;
    QVERIFY(id > 0);

    const auto download = alice.download(id, rangeHeader);
    QVERIFY2(download.controlReply.startsWith("ready\n"), download.controlReply.constData());
    QCOMPARE(download.status, status);
    if (status >= 400)
        return;
    QCOMPARE(download.body.size(), to - from);
    QVERIFY(download.body == content.mid(from, to - from));
    QCOMPARE(RawServicePeer::httpHeader(download.head, "Content-Length").toInt(), to - from);
    const QByteArray range = RawServicePeer::httpHeader(download.head, "Content-Range");
    if (status == 206)
        QCOMPARE(range, "bytes " + QByteArray::number(from) + '-' + QByteArray::number(to - 1) + "/300000");
    else
        QVERIFY(range.isEmpty());
}

void TestDevServer::downloadRefusals()
{
    const RawServicePeer demo(server.port(), "demo", "demo");
    const qint64 id = demo.idOf("todo.txt");
    // The path is exactly "file".
    QCOMPARE(demo.download(id, "Content-Range: 0-*", "/file").status, 404);
    QCOMPARE(demo.download(id, "Content-Range: 0-*", "other").status, 404);
    const auto good = demo.download(id, "Content-Range: 0-*");
    QCOMPARE(good.status, 200);
    QVERIFY(good.body.startsWith("- water the plants"));
}

void TestDevServer::dataPortClosesAfterTimeout()
{
    const RawServicePeer demo(server.port(), "demo", "demo");
    QTcpSocket control;
    control.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(control.waitForConnected(2000));
    control.write("demo\ndemo\ndownloadfile\n" + QByteArray::number(demo.idOf("todo.txt")));
    QVERIFY(control.waitForReadyRead(2000));
    const QByteArray reply = control.readAll();
    QVERIFY(reply.startsWith("ready\n"));
    // Nobody dials the port within the data timeout (400 ms here): the listener
    // closes and the control connection with it.
    QVERIFY(control.waitForDisconnected(3000));
    QTcpSocket data;
    data.connectToHost(QStringLiteral("127.0.0.1"), quint16(reply.mid(6).trimmed().toUInt()));
    QVERIFY(!data.waitForConnected(1000) || !data.waitForReadyRead(1000));
}

void TestDevServer::uploadInSeveralRanges()
{
    DevServerProcess ranged;
    QVERIFY2(ranged.start(fast({QStringLiteral("--upload-range-size"), QStringLiteral("1000")})),
             qPrintable(ranged.errorText()));
    const RawServicePeer alice(ranged.port(), "alice", "secret");
    const QByteArray content = randomBytes(3500, 11);
    const auto upload = alice.upload(0, "ranged.bin", content);
    QVERIFY2(upload.finalReply.startsWith("done\n"), upload.finalReply.constData());
    // The first answer brings the whole file (as the client serves a range from 0);
    // the server keeps its range and asks again from the first missing byte.
    QCOMPARE(upload.requestedRanges,
             (QList<QByteArray>{"0-999", "1000-1999", "2000-2999", "3000-3499"}));
    const QList<QByteArray> done = upload.finalReply.mid(5).split('\t');
    QCOMPARE(done.size(), 2);
    QCOMPARE(done[0].toLongLong(), alice.idOf("ranged.bin", 0));
    QCOMPARE(done[1].size(), 32);
    QVERIFY(alice.download(upload.id, "Content-Range: 0-*").body == content);

    // An empty file needs no data connection.
    const auto empty = alice.upload(0, "empty.txt", QByteArray());
    QVERIFY2(empty.finalReply.startsWith("done\n"), empty.finalReply.constData());
    QVERIFY(empty.requestedRanges.isEmpty());
    QCOMPARE(itemLine(alice, empty.id).value(4), QByteArray("0"));
}

void TestDevServer::uploadWithWrongDigestLeavesNothing()
{
    const RawServicePeer alice(server.port(), "alice", "secret");
    // The digest of "abc" announced for "abd".
    const auto upload = alice.upload(0, "forged.txt", "abd", "900150983cd24fb0d6963f7d28e17f72");
    QCOMPARE(upload.finalReply, QByteArray("error\n10"));
    QCOMPARE(alice.idOf("forged.txt"), qint64(-1));
    QVERIFY(QDir(server.dataDir() + QStringLiteral("/tmp")).isEmpty());
    // The substitution is part of the digest: "gt" has an MD5 with both bytes in it.
    QCOMPARE(RawServicePeer::uploadDigestHex("gt"), QByteArray("1bfad22f0a25978f310e37440bfdff43"));
    QVERIFY(alice.upload(0, "gt.txt", "gt").id > 0);
}

void TestDevServer::abandonedUploadLeavesNothing()
{
    const RawServicePeer alice(server.port(), "alice", "secret");
    const auto upload = alice.upload(0, "half.bin", randomBytes(200000, 3), QByteArray(), 100000);
    QVERIFY(upload.finalReply.isEmpty());
    QTRY_VERIFY(QDir(server.dataDir() + QStringLiteral("/tmp")).isEmpty());
    QCOMPARE(alice.idOf("half.bin"), qint64(-1));
}

void TestDevServer::uploadUrl()
{
    // A small web server in this process sends 200000 bytes in pieces with pauses,
    // so the development server reports its progress along the way.
    const QByteArray content = randomBytes(200000, 5);
    QTcpServer web;
    QVERIFY(web.listen(QHostAddress::LocalHost));
    QList<QByteArray> webRequests;
    connect(&web, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *socket = web.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
            webRequests.append(socket->readAll());
            if (!webRequests.last().startsWith("GET /song.ogg ")) {
                socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
                return;
            }
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 200000\r\nConnection: close\r\n\r\n");
            for (int piece = 0; piece < 4; ++piece) {
                QTimer::singleShot(piece * 80, socket, [socket, piece, &content] {
                    socket->write(content.mid(piece * 50000, 50000));
                    if (piece == 3)
                        socket->disconnectFromHost();
                });
            }
        });
    });

    auto fetch = [&](const QByteArray &path, QList<QByteArray> *messages) {
        QTcpSocket control;
        control.connectToHost(QStringLiteral("127.0.0.1"), server.port());
        if (!control.waitForConnected(2000))
            return;
        connect(&control, &QTcpSocket::readyRead, &control, [&] { messages->append(control.readAll()); });
        control.write("alice\nsecret\nuploadurl\n0\t" + path.mid(1) + "\thttp://127.0.0.1:"
                      + QByteArray::number(web.serverPort()) + path);
        QTRY_VERIFY_WITH_TIMEOUT(!messages->isEmpty() && !messages->last().startsWith("progress\n"), 5000);
    };

    QList<QByteArray> messages;
    fetch("/song.ogg", &messages);
    QVERIFY(messages.size() >= 3);
    const QByteArray final = messages.takeLast();
    QVERIFY2(final.startsWith("done\n"), final.constData());
    qint64 previous = -1;
    for (const QByteArray &message : messages) {
        // Each read is one message: curr TAB total TAB.
        QVERIFY2(message.startsWith("progress\n") && message.count('\t') == 2, message.constData());
        const QList<QByteArray> numbers = message.mid(9).split('\t');
        QVERIFY(numbers[0].toLongLong() >= previous);
        QVERIFY(numbers[0].toLongLong() <= 200000);
        previous = numbers[0].toLongLong();
        QVERIFY(numbers[1] == "200000" || numbers[1] == "0");
    }
    QVERIFY(previous > 0);
    const QList<QByteArray> done = final.mid(5).split('\t');
    QCOMPARE(done.size(), 3);
    QCOMPARE(done[1], QByteArray("200000"));
    const RawServicePeer alice(server.port(), "alice", "secret");
    const qint64 id = done[0].toLongLong();
    QCOMPARE(alice.idOf("song.ogg", 0), id);
    QCOMPARE(itemLine(alice, id).value(9), done[2]);
    QVERIFY(alice.download(id, "Content-Range: 0-*").body == content);

    // An address that answers 404: an error, and nothing stored.
    QList<QByteArray> failed;
    fetch("/missing.ogg", &failed);
    QCOMPARE(failed.last(), QByteArray("error\n11"));
    QCOMPARE(alice.idOf("missing.ogg"), qint64(-1));
    QVERIFY(QDir(server.dataDir() + QStringLiteral("/tmp")).isEmpty());
}

void TestDevServer::uploadUrlRefusals()
{
    // Nothing listens on port 1: the fetch fails and nothing is stored.
    const RawServicePeer alice(server.port(), "alice", "secret");
    QCOMPARE(alice.exchange("uploadurl", "0\tnowhere.bin\thttp://127.0.0.1:1/x"), QByteArray("error\n11"));
    QCOMPARE(alice.idOf("nowhere.bin"), qint64(-1));
}

void TestDevServer::restartKeepsData()
{
    DevServerProcess own;
    QVERIFY2(own.start(fast()), qPrintable(own.errorText()));
    RawServicePeer alice(own.port(), "alice", "secret");
    const qint64 folder = alice.makeDir(0, "kept");
    const QByteArray content = randomBytes(50000, 9);
    const auto upload = alice.upload(folder, "kept.bin", content);
    QVERIFY(upload.id > 0);
    QCOMPARE(alice.exchange("setparams", QByteArray::number(upload.id) + "\tZGVzYw==\t1\tpw\t1"),
             QByteArray("done\n"));
    const auto before = alice.list();

    QVERIFY2(own.restart(), qPrintable(own.errorText()));
    alice = RawServicePeer(own.port(), "alice", "secret");
    QCOMPARE(alice.list(), before);
    QVERIFY(alice.download(upload.id, "Content-Range: 0-*").body == content);
    // The demo tree is made once, not again on every start.
    const RawServicePeer demo(own.port(), "demo", "demo");
    QCOMPARE(demo.exchange("delfile", QByteArray::number(demo.idOf("todo.txt"))), QByteArray("done\n"));
    QVERIFY2(own.restart(), qPrintable(own.errorText()));
    QCOMPARE(RawServicePeer(own.port(), "demo", "demo").idOf("todo.txt"), qint64(-1));

    // A server killed in the middle of an upload: after the restart nothing half-written
    // is left and nothing is listed.
    QTcpSocket control;
    control.connectToHost(QStringLiteral("127.0.0.1"), own.port());
    QVERIFY(control.waitForConnected(2000));
    control.write("alice\nsecret\nuploadfile\n" + RawServicePeer::uploadDigestHex("xy")
                  + "\tkilled.bin\tunknown\t\t0\t\t2\t0\t");
    QVERIFY(control.waitForReadyRead(2000));
    QVERIFY(control.readAll().startsWith("ready\n"));
    QTcpSocket data;
    data.connectToHost(QStringLiteral("127.0.0.1"), own.port());
    own.kill();
    QVERIFY2(own.restart(), qPrintable(own.errorText()));
    QVERIFY(QDir(own.dataDir() + QStringLiteral("/tmp")).isEmpty());
    QCOMPARE(RawServicePeer(own.port(), "alice", "secret").idOf("killed.bin"), qint64(-1));
}

void TestDevServer::fiftyConcurrentClients()
{
    // Fifty clients connect at once, each making a folder; then fifty refreshes and
    // fifty downloads run side by side with a slow client that never completes.
    constexpr int Clients = 50;
    QTcpSocket slow;
    slow.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(slow.waitForConnected(2000));
    slow.write("alice\nsecret\n");

    QList<QTcpSocket *> sockets;
    QList<QByteArray> replies(Clients);
    for (int i = 0; i < Clients; ++i) {
        auto *socket = new QTcpSocket(this);
        sockets.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [&replies, socket, i] { replies[i] += socket->readAll(); });
        connect(socket, &QTcpSocket::connected, this, [socket, i] {
            socket->write("alice\nsecret\nmakedir\n0\tconcurrent " + QByteArray::number(i));
        });
        socket->connectToHost(QStringLiteral("127.0.0.1"), server.port());
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(sockets.cbegin(), sockets.cend(),
                                         [](QTcpSocket *s) { return s->state() == QAbstractSocket::UnconnectedState; }),
                             10000);
    QSet<qint64> ids;
    for (const QByteArray &reply : replies) {
        QVERIFY2(reply.startsWith("done\n"), reply.constData());
        ids.insert(reply.mid(5).toLongLong());
    }
    QCOMPARE(ids.size(), Clients);
    qDeleteAll(sockets);
    sockets.clear();

    const RawServicePeer alice(server.port(), "alice", "secret");
    const QList<QList<QByteArray>> expected = alice.list();
    for (int i = 0; i < Clients; ++i)
        QVERIFY(ids.contains(alice.idOf("concurrent " + QByteArray::number(i), 0)));

    QList<QByteArray> lists(Clients);
    for (int i = 0; i < Clients; ++i) {
        auto *socket = new QTcpSocket(this);
        sockets.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [&lists, socket, i] { lists[i] += socket->readAll(); });
        connect(socket, &QTcpSocket::connected, this, [socket] { socket->write("alice\nsecret\nrefresh\n"); });
        socket->connectToHost(QStringLiteral("127.0.0.1"), server.port());
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(sockets.cbegin(), sockets.cend(),
                                         [](QTcpSocket *s) { return s->state() == QAbstractSocket::UnconnectedState; }),
                             10000);
    const QByteArray whole = alice.exchange("refresh", QByteArray());
    for (const QByteArray &list : lists)
        QCOMPARE(list, whole);
    qDeleteAll(sockets);
    // The slow client was refused on its own time, blocking nobody.
    QTRY_COMPARE(slow.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(slow.readAll(), QByteArray("error\n4"));
}

void TestDevServer::faultInjection()
{
    const QByteArray content = randomBytes(10000, 13);
    auto serverWith = [&](DevServerProcess &process, const QStringList &fault) {
        if (!process.start(fast(fault)))
            return qint64(-1);
        return RawServicePeer(process.port(), "alice", "secret").upload(0, "f.bin", content).id;
    };

    {
        DevServerProcess cut;
        const qint64 id = serverWith(cut, {QStringLiteral("--cut-download-after"), QStringLiteral("1000")});
        QVERIFY(id > 0);
        const auto download = RawServicePeer(cut.port(), "alice", "secret").download(id, "Content-Range: 0-*");
        QCOMPARE(download.status, 200);
        QCOMPARE(RawServicePeer::httpHeader(download.head, "Content-Length"), QByteArray("10000"));
        QVERIFY(download.body == content.left(1000));
    }
    {
        DevServerProcess ignoring;
        const qint64 id = serverWith(ignoring, {QStringLiteral("--ignore-range")});
        QVERIFY(id > 0);
        const auto download = RawServicePeer(ignoring.port(), "alice", "secret").download(id, "Content-Range: 500-*");
        QCOMPARE(download.status, 200);
        QVERIFY(download.body == content);
    }
    {
        DevServerProcess missing;
        const qint64 id = serverWith(missing, {QStringLiteral("--download-404")});
        QVERIFY(id > 0);
        const auto download = RawServicePeer(missing.port(), "alice", "secret").download(id, "Content-Range: 0-*");
        QCOMPARE(download.status, 404);
        QVERIFY(!download.body.contains(content.left(16)));
    }
    {
        // 200000 bytes at 400000 bytes per second: at least half a second each way,
        // and every byte arrives.
        DevServerProcess paced;
        const QByteArray large = randomBytes(200000, 14);
        QVERIFY(paced.start(fast({QStringLiteral("--data-rate"), QStringLiteral("400000")})));
        const RawServicePeer alice(paced.port(), "alice", "secret");
        QElapsedTimer timer;
        timer.start();
        const qint64 id = alice.upload(0, "paced.bin", large).id;
        QVERIFY(id > 0);
        QVERIFY2(timer.elapsed() >= 450, qPrintable(QString::number(timer.elapsed())));
        timer.restart();
        const auto download = alice.download(id, "Content-Range: 0-*");
        QVERIFY2(timer.elapsed() >= 450, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(download.status, 200);
        QVERIFY(download.body == large);
    }
    {
        DevServerProcess pieces;
        QVERIFY(pieces.start(fast({QStringLiteral("--list-piece-size"), QStringLiteral("100"),
                                   QStringLiteral("--list-pause-ms"), QStringLiteral("150")})));
        const RawServicePeer demo(pieces.port(), "demo", "demo");
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), pieces.port());
        QVERIFY(socket.waitForConnected(2000));
        socket.write("demo\ndemo\nrefresh\n");
        QList<QByteArray> reads;
        QElapsedTimer timer;
        timer.start();
        while (socket.waitForReadyRead(2000))
            reads.append(socket.readAll());
        QVERIFY(reads.size() > 3);
        QVERIFY(timer.elapsed() >= 150 * (reads.size() - 1));
        QCOMPARE(reads.first().size(), 100);
        QVERIFY(reads.join().startsWith("filelist\n"));
        QCOMPARE(reads.join().count('\n'), 1 + 10);
    }
    {
        DevServerProcess silent;
        QVERIFY(silent.start(fast({QStringLiteral("--never-answer")})));
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), silent.port());
        QVERIFY(socket.waitForConnected(2000));
        socket.write("alice\nsecret\nrefresh\n");
        // Longer than the request timeout (400 ms): still open, still silent.
        QVERIFY(!socket.waitForReadyRead(800));
        QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    }
}

QTEST_GUILESS_MAIN(TestDevServer)
#include "tst_devserver.moc"
