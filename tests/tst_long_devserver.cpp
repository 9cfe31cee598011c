// The development server with a file of more than 4 GiB: uploaded in ranges whose
// offsets pass 32 bits, then downloaded at an offset beyond 4 GiB, byte for byte.
// Needs about 4.1 GiB of free space in the temporary folder.

#include "devserverprocess.h"
#include "rawservicepeer.h"

#include <QCryptographicHash>
#include <QTcpSocket>
#include <QTest>

namespace {
constexpr qint64 BlockSize = 1 << 20;
constexpr qint64 FileSize = (qint64(4) << 30) + 3 * BlockSize + 12345;
constexpr int WaitMs = 30000;

// Content that needs no memory: each 1 MiB block is a fixed pattern mixed with the
// block's index, so a byte at any offset can be recomputed.
QByteArray contentAt(qint64 offset, qint64 length)
{
    QByteArray bytes(int(length), '\0');
    for (qint64 i = 0; i < length; ++i) {
        const quint64 position = quint64(offset + i);
        const quint64 block = position / BlockSize;
        bytes[int(i)] = char((position * 2654435761u >> 13) ^ (block * 31u));
    }
    return bytes;
}

QByteArray uploadDigestHex()
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    for (qint64 offset = 0; offset < FileSize; offset += BlockSize)
        md5.addData(contentAt(offset, qMin(BlockSize, FileSize - offset)));
    return RawServicePeer::uploadDigestHexFromMd5(md5.result());
}
}

class TestLongDevServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileLargerThanFourGiB();
};

void TestLongDevServer::fileLargerThanFourGiB()
{
    DevServerProcess server;
    // Ranges of 1.5 GiB: the third one starts beyond 2^32.
    QVERIFY2(server.start({QStringLiteral("--user"), QStringLiteral("alice:secret"), QStringLiteral("--upload-range-size"),
                           QString::number(qint64(3) << 29)}),
             qPrintable(server.errorText()));

    // The digest first: a client that connects and then falls silent is refused.
    const QByteArray digest = uploadDigestHex();
    QTcpSocket control;
    control.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(control.waitForConnected(WaitMs));
    control.write("alice\nsecret\nuploadfile\n" + digest + "\thuge.bin\tunknown\t\t0\t\t"
                  + QByteArray::number(FileSize) + "\t0\t");
    QList<QByteArray> ranges;
    QByteArray final;
    while (control.waitForReadyRead(120000)) {
        const QByteArray reply = control.readAll();
        if (!reply.startsWith("ready\n")) {
            final = reply;
            break;
        }
        QTcpSocket data;
        data.connectToHost(QStringLiteral("127.0.0.1"), quint16(reply.mid(6).trimmed().toUInt()));
        QVERIFY(data.waitForConnected(WaitMs));
        QByteArray head;
        while (!head.contains("\r\n\r\n") && data.waitForReadyRead(WaitMs))
            head += data.readAll();
        const QByteArray range = RawServicePeer::httpHeader(head, "Content-Range");
        ranges.append(range);
        const qint64 first = range.left(range.indexOf('-')).toLongLong();
        const qint64 last = range.mid(range.indexOf('-') + 1).toLongLong();
        QVERIFY(last >= first && last < FileSize);
        data.write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(last - first + 1)
                   + "\r\nContent-Range: " + range + '/' + QByteArray::number(FileSize) + "\r\n\r\n");
        for (qint64 offset = first; offset <= last; offset += BlockSize) {
            data.write(contentAt(offset, qMin(BlockSize, last + 1 - offset)));
            while (data.bytesToWrite() > 4 * BlockSize)
                QVERIFY(data.waitForBytesWritten(WaitMs));
        }
        while (data.bytesToWrite() > 0)
            QVERIFY(data.waitForBytesWritten(WaitMs));
        data.disconnectFromHost();
        if (data.state() != QAbstractSocket::UnconnectedState)
            data.waitForDisconnected(WaitMs);
    }
    QVERIFY2(final.startsWith("done\n"), final.constData());
    QCOMPARE(ranges.size(), 3);
    QCOMPARE(ranges[2], QByteArray::number(qint64(3) << 30) + '-' + QByteArray::number(FileSize - 1));
    const RawServicePeer alice(server.port(), "alice", "secret");
    const qint64 id = final.mid(5).split('\t').value(0).toLongLong();
    bool listed = false;
    for (const auto &fields : alice.list())
        listed |= fields.value(0).toLongLong() == id && fields.value(4).toLongLong() == FileSize;
    QVERIFY(listed);

    // Resume beyond 4 GiB: status 206, a 64-bit range and exactly the right bytes.
    const qint64 offset = (qint64(4) << 30) + 777;
    const auto download = alice.download(id, "Content-Range: " + QByteArray::number(offset) + "-*");
    QCOMPARE(download.status, 206);
    QCOMPARE(RawServicePeer::httpHeader(download.head, "Content-Range"),
             "bytes " + QByteArray::number(offset) + '-' + QByteArray::number(FileSize - 1) + '/'
                 + QByteArray::number(FileSize));
    QCOMPARE(download.body.size(), FileSize - offset);
    QVERIFY(download.body == contentAt(offset, FileSize - offset));
}

QTEST_GUILESS_MAIN(TestLongDevServer)
#include "tst_long_devserver.moc"
