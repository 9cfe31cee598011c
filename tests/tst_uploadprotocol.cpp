#include "network/uploaddigest.h"
#include "network/uploadhttprequest.h"

#include <QBuffer>
#include <QTest>

// The pieces of an upload that are pure protocol: the announced digest, the server's
// range request on the data connection, and the head of the answer.
class TestUploadProtocol : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void digestSubstitutesLineFeedAndTab_data();
    void digestSubstitutesLineFeedAndTab();
    void digestReportsEveryBlock();
    void rangeRequests_data();
    void rangeRequests();
    void requestArrivingInPieces();
    void notARequest_data();
    void notARequest();
    void requestOtherThanFile_data();
    void requestOtherThanFile();
    void answerBeyondFourGiB();
};

void TestUploadProtocol::digestSubstitutesLineFeedAndTab_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("digest");
    // abc's MD5 holds neither 0x0a nor 0x09.
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("900150983cd24fb0d6963f7d28e17f72");
    // gt's MD5 1bfad22f0925978f310a37440bfdff43 holds both: 09 -> 0a, 0a -> 0e.
    QTest::newRow("gt") << QByteArray("gt") << QByteArray("1bfad22f0a25978f310e37440bfdff43");
    // The empty file's MD5 d41d8cd98f00b204e9800998ecf8427e holds a tab.
    QTest::newRow("empty") << QByteArray() << QByteArray("d41d8cd98f00b204e9800a98ecf8427e");
}

void TestUploadProtocol::digestSubstitutesLineFeedAndTab()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, digest);
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(UploadDigest::compute(buffer).toHex(), digest);
}

void TestUploadProtocol::digestReportsEveryBlock()
{
    QByteArray content(int(UploadDigest::ReadBlockSize * 2 + 5), 'x');
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QList<QPair<qint64, qint64>> reports;
    const QByteArray digest = UploadDigest::compute(buffer, [&](qint64 done, qint64 total) {
        reports.append({done, total});
    });
    QCOMPARE(digest.size(), 16);
    const qint64 total = content.size();
    const QList<QPair<qint64, qint64>> expected{
        {UploadDigest::ReadBlockSize, total}, {UploadDigest::ReadBlockSize * 2, total}, {total, total}};
    QCOMPARE(reports, expected);
}

void TestUploadProtocol::rangeRequests_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<qint64>("servedFirst");
    QTest::addColumn<qint64>("contentLength");
    QTest::addColumn<QByteArray>("contentRange");

    QTest::newRow("no header: whole file") << QByteArray() << 1000LL << 0LL << 1000LL << QByteArray("0-*/1000");
    QTest::newRow("100-*") << QByteArray("Content-Range: 100-*\r\n") << 1000LL << 100LL << 900LL
                           << QByteArray("100-*/1000");
    QTest::newRow("100-199") << QByteArray("Content-Range: 100-199\r\n") << 1000LL << 100LL << 100LL
                             << QByteArray("100-199/1000");
    QTest::newRow("0-99 serves the whole file") << QByteArray("Content-Range: 0-99\r\n") << 1000LL << 0LL
                                                << 1000LL << QByteArray("0-99/1000");
    QTest::newRow("first byte beyond the end: last byte only")
        << QByteArray("Content-Range: 5000-*\r\n") << 1000LL << 999LL << 1LL << QByteArray("999-*/1000");
    QTest::newRow("first byte at the end") << QByteArray("Content-Range: 1000-1200\r\n") << 1000LL << 999LL
                                           << 1LL << QByteArray("999-1200/1000");
    QTest::newRow("last below first: to the end") << QByteArray("Content-Range: 300-200\r\n") << 1000LL
                                                  << 300LL << 700LL << QByteArray("300-*/1000");
    QTest::newRow("last byte beyond the end") << QByteArray("Content-Range: 900-5000\r\n") << 1000LL << 900LL
                                              << 100LL << QByteArray("900-5000/1000");
    QTest::newRow("lower case name") << QByteArray("content-range: 100-199\r\n") << 1000LL << 100LL << 100LL
                                     << QByteArray("100-199/1000");
    QTest::newRow("bytes=100-199: first byte 0") << QByteArray("Content-Range: bytes=100-199\r\n") << 1000LL
                                                 << 0LL << 1000LL << QByteArray("0-199/1000");
    QTest::newRow("later header wins") << QByteArray("Content-Range: 1-2\r\nCONTENT-RANGE: 10-19\r\n")
                                       << 1000LL << 10LL << 10LL << QByteArray("10-19/1000");
    QTest::newRow("other headers ignored")
        << QByteArray("Host: x\r\nRange: bytes=5-9\r\nContent-Range:100-199\r\n") << 1000LL << 0LL << 1000LL
        << QByteArray("0-*/1000");
    QTest::newRow("three parts ignored") << QByteArray("Content-Range: 1-2-3\r\n") << 1000LL << 0LL << 1000LL
                                         << QByteArray("0-*/1000");
    QTest::newRow("empty file, offset") << QByteArray("Content-Range: 100-*\r\n") << 0LL << 0LL << 0LL
                                        << QByteArray("0-*/0");
    QTest::newRow("5 GiB file, range above 4 GiB")
        << QByteArray("Content-Range: 4294967396-4294967495\r\n") << 5368709120LL << 4294967396LL << 100LL
        << QByteArray("4294967396-4294967495/5368709120");
    QTest::newRow("5 GiB file, whole") << QByteArray() << 5368709120LL << 0LL << 5368709120LL
                                       << QByteArray("0-*/5368709120");
}

void TestUploadProtocol::rangeRequests()
{
    QFETCH(QByteArray, headers);
    QFETCH(qint64, fileSize);
    QFETCH(qint64, servedFirst);
    QFETCH(qint64, contentLength);
    QFETCH(QByteArray, contentRange);

    UploadHttpRequest request;
    QCOMPARE(request.feed("GET file HTTP/1.1\r\n" + headers + "\r\n"), UploadHttpRequest::State::Complete);
    quint64 first = 1;
    quint64 last = 1;
    QVERIFY(request.parseRequest(first, last));
    const UploadHttpRequest::Answer answer = UploadHttpRequest::answer(first, last, fileSize);
    QCOMPARE(answer.firstByte, servedFirst);
    QCOMPARE(answer.contentLength, contentLength);
    QCOMPARE(answer.header, "HTTP/1.1 200 OK\r\n"
                            "Connection: close\r\n"
                            "Content-Type: application/octet-stream\r\n"
                            "Content-Length: " + QByteArray::number(contentLength) + "\r\n"
                            "Content-Range: " + contentRange + "\r\n"
                            "\r\n");
}

void TestUploadProtocol::requestArrivingInPieces()
{
    const QByteArray whole = "noise GET file HTTP/1.1\r\nContent-Range: 7-8\r\n\r\ntrailing";
    UploadHttpRequest request;
    // Bytes before the request, a "GET" split across pieces, then the rest byte by byte.
    QCOMPARE(request.feed(whole.left(7)), UploadHttpRequest::State::Incomplete);
    for (int i = 7; i < whole.size(); ++i) {
        const UploadHttpRequest::State state = request.feed(whole.mid(i, 1));
        const bool complete = i >= whole.indexOf("\r\n\r\n") + 3;
        QCOMPARE(state, complete ? UploadHttpRequest::State::Complete : UploadHttpRequest::State::Incomplete);
        if (complete)
            break;
    }
    quint64 first = 0;
    quint64 last = 0;
    QVERIFY(request.parseRequest(first, last));
    QCOMPARE(first, 7u);
    QCOMPARE(last, 8u);

    request.clear();
    QCOMPARE(request.feed("GET file HTTP/1.1\r\n\r\n"), UploadHttpRequest::State::Complete);
    QVERIFY(request.parseRequest(first, last));
    QCOMPARE(first, 0u);
}

void TestUploadProtocol::notARequest_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("no GET") << QByteArray("POST file HTTP/1.1\r\n\r\n");
    QTest::newRow("lower case get") << QByteArray("get file HTTP/1.1\r\n\r\n");
    QTest::newRow("endless head") << "GET file HTTP/1.1\r\nX: " + QByteArray(UploadHttpRequest::MaxRequestSize, 'a');
}

void TestUploadProtocol::notARequest()
{
    QFETCH(QByteArray, bytes);
    UploadHttpRequest request;
    QCOMPARE(request.feed(bytes), UploadHttpRequest::State::NotARequest);
}

void TestUploadProtocol::requestOtherThanFile_data()
{
    QTest::addColumn<QByteArray>("requestLine");
    QTest::newRow("/file") << QByteArray("GET /file HTTP/1.1");
    QTest::newRow("file.txt") << QByteArray("GET file.txt HTTP/1.1");
    QTest::newRow("no version") << QByteArray("GET file");
    QTest::newRow("File") << QByteArray("GET File HTTP/1.1");
}

void TestUploadProtocol::requestOtherThanFile()
{
    QFETCH(QByteArray, requestLine);
    UploadHttpRequest request;
    QCOMPARE(request.feed(requestLine + "\r\nContent-Range: 1-2\r\n\r\n"), UploadHttpRequest::State::Complete);
    quint64 first = 0;
    quint64 last = 0;
    QVERIFY(!request.parseRequest(first, last));
    QCOMPARE(UploadHttpRequest::notFoundResponse(), QByteArray("HTTP/1.1 404 Not Found\r\n\r\n"));
}

void TestUploadProtocol::answerBeyondFourGiB()
{
    // Ranges whose numbers do not fit into 32 bits are neither wrapped nor cut.
    const qint64 size = (qint64(1) << 32) + 1000;
    const UploadHttpRequest::Answer tail = UploadHttpRequest::answer(quint64(1) << 32, 0, size);
    QCOMPARE(tail.firstByte, qint64(1) << 32);
    QCOMPARE(tail.contentLength, 1000);
    const UploadHttpRequest::Answer huge = UploadHttpRequest::answer(~quint64(0), ~quint64(0), size);
    QCOMPARE(huge.firstByte, size - 1);
    QCOMPARE(huge.contentLength, 1);
}

QTEST_APPLESS_MAIN(TestUploadProtocol)
#include "tst_uploadprotocol.moc"
