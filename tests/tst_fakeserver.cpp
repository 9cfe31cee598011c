#include "fakeserver.h"

#include <QTcpSocket>
#include <QTest>

// The fake server's own behaviour, as the protocol tests rely on it: scripts played
// per connection in order, every byte recorded, and data ports for both directions
// of the transfers' HTTP exchanges.
class TestFakeServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scriptsFollowTheConnectionOrder();
    void splitReplyWithPause();
    void downloadStyleDataPort();
    void uploadStyleDataPort();
};

namespace {
QByteArray readUntilClosed(QTcpSocket &socket, int timeoutMs = 3000)
{
    QByteArray bytes;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(timeoutMs))
        bytes += socket.readAll();
    return bytes + socket.readAll();
}
} // namespace

void TestFakeServer::scriptsFollowTheConnectionOrder()
{
    FakeServer server;
    server.addScript(FakeScript().awaitBytes(3).send("one").close());
    server.addScript(FakeScript().awaitText("\n").sendError(2).close());

    QTcpSocket first;
    first.connectToHost(server.host(), server.port());
    QVERIFY(first.waitForConnected(3000));
    QTcpSocket second;
    second.connectToHost(server.host(), server.port());
    QVERIFY(second.waitForConnected(3000));
    QVERIFY(server.waitForConnections(2));
    QTcpSocket third; // beyond the scripts: recorded, silent
    third.connectToHost(server.host(), server.port());
    QVERIFY(third.waitForConnected(3000));

    second.write("ab\ncd");
    first.write("xyz");
    third.write("hello");
    QCOMPARE(readUntilClosed(first), QByteArray("one"));
    QCOMPARE(readUntilClosed(second), QByteArray("error\n2"));
    QVERIFY(!third.waitForReadyRead(200));
    QVERIFY(server.waitForReceived(5, 2));
    QCOMPARE(server.received(0), QByteArray("xyz"));
    QCOMPARE(server.received(1), QByteArray("ab\ncd"));
    QCOMPARE(server.received(2), QByteArray("hello"));
    QVERIFY(server.waitForScriptsDone());
    third.close();
    QVERIFY(server.waitForClosedByClient(2));
    QVERIFY(!server.isClosedByClient(0)); // the server closed that one
}

void TestFakeServer::splitReplyWithPause()
{
    FakeServer server;
    server.addScript(FakeScript().send("first").pause(300).send("second"));
    QTcpSocket socket;
    socket.connectToHost(server.host(), server.port());
    QVERIFY(socket.waitForConnected(3000));
    QVERIFY(socket.waitForReadyRead(3000));
    QCOMPARE(socket.readAll(), QByteArray("first"));
    QVERIFY(!socket.waitForReadyRead(150)); // still inside the pause
    QVERIFY(socket.waitForReadyRead(3000));
    QCOMPARE(socket.readAll(), QByteArray("second"));
}

void TestFakeServer::downloadStyleDataPort()
{
    FakeServer server;
    const quint16 dataPort = server.openDataPort(
        FakeScript().awaitText("\r\n\r\n").send(FakeScript::httpResponse(200, "hello")).close());
    QVERIFY(dataPort != 0 && dataPort != server.port());

    QTcpSocket client;
    client.connectToHost(server.host(), dataPort);
    QVERIFY(client.waitForConnected(3000));
    const QByteArray get = "GET file HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Range: 5-*\r\n\r\n";
    client.write(get);
    QCOMPARE(readUntilClosed(client),
             QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"));
    QCOMPARE(server.received(0, dataPort), get);
    QCOMPARE(server.connectionCount(), 0); // nothing on the control port
}

void TestFakeServer::uploadStyleDataPort()
{
    FakeServer server;
    const QByteArray get = "GET file HTTP/1.1\r\nContent-Range: 0-*\r\n\r\n";
    const quint16 dataPort = server.openDataPort(FakeScript().send(get).awaitClose());

    QTcpSocket client;
    client.connectToHost(server.host(), dataPort);
    QVERIFY(client.waitForConnected(3000));
    QVERIFY(client.waitForReadyRead(3000));
    QCOMPARE(client.readAll(), get);
    client.write("HTTP/1.1 200 OK\r\n\r\nbody");
    client.disconnectFromHost();
    QVERIFY(server.waitForClosedByClient(0, dataPort));
    QCOMPARE(server.received(0, dataPort), QByteArray("HTTP/1.1 200 OK\r\n\r\nbody"));
    QVERIFY(server.waitForScriptsDone());
}

QTEST_GUILESS_MAIN(TestFakeServer)
#include "tst_fakeserver.moc"
