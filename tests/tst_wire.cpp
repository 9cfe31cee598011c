#include "wire/replyframer.h"
#include "wire/wire.h"

#include <QTest>
#include <QThread>

#include <limits>

// The protocol's bytes without sockets, threads or an application object: what a
// request is, where a reply ends, what it says.
class TestWire final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestPrefix_data();
    void requestPrefix();
    void itemFields_data();
    void itemFields();
    void transferFields();
    void framerLength_data();
    void framerLength();
    void framerKeepsRepliesApart();
    void framerRefusesOverLongReplies();
    void framerDeadlines();
    void errorDecoding_data();
    void errorDecoding();
    void decimalVariants_data();
    void decimalVariants();
    void successReplies_data();
    void successReplies();
    void progressParsing_data();
    void progressParsing();
    void listLine_data();
    void listLine();
    void downloadAddress_data();
    void downloadAddress();
    void dragPayload_data();
    void dragPayload();
};

void TestWire::requestPrefix_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("plain") << "alice" << "x" << QByteArray("alice\nx\nrefresh\n");
    QTest::newRow("latin-1 one byte each") << QStringLiteral("Jos\u00e9") << QStringLiteral("\u00ff")
                                           << QByteArray("Jos\xe9\n\xff\nrefresh\n");
    // One "?" per character, also for one beyond the BMP (two UTF-16 units).
    QTest::newRow("outside latin-1") << QStringLiteral("\u20ac\U0001F600") << ""
                                     << QByteArray("??\n\nrefresh\n");
    QTest::newRow("empty") << "" << "" << QByteArray("\n\nrefresh\n");
}

void TestWire::requestPrefix()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QByteArray, bytes);
    QByteArray request;
    Wire::appendRequestPrefix(request, login, password, QString::fromLatin1(Wire::RefreshWord));
    QCOMPARE(request, bytes);
}

void TestWire::itemFields_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<quint64>("id");
    QTest::addColumn<bool>("parentOnServer");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QByteArray>("fields");

    QTest::newRow("move") << "move" << 40ull << true << QStringLiteral("r\u00e9sum\u00e9")
                          << true << QByteArray("40\t7\tr\xe9sum\xe9");
    QTest::newRow("move: item not on the server") << "move" << 0ull << true << "a" << false << QByteArray();
    QTest::newRow("move: folder not on the server") << "move" << 40ull << false << "a" << false << QByteArray();
    QTest::newRow("move: tab in the name") << "move" << 40ull << true << "a\tb" << false << QByteArray();
    QTest::newRow("move: name outside latin-1") << "move" << 40ull << true << QStringLiteral("\u20ac") << false
                                               << QByteArray();
    QTest::newRow("makedir") << "makedir" << 0ull << true << "fresh" << true << QByteArray("7\tfresh");
    QTest::newRow("makedir: line break") << "makedir" << 0ull << true << "a\rb" << false << QByteArray();
    QTest::newRow("delete") << "delete" << 18446744073709551615ull << true << "" << true
                            << QByteArray("18446744073709551615");
    QTest::newRow("delete: id 0") << "delete" << 0ull << true << "" << false << QByteArray();
    // The description travels Base64-encoded: TABs and line breaks are harmless.
    QTest::newRow("setparams") << "setparams" << 17ull << true << "a\tb\nc" << true
                               << QByteArray("17\tYQliCmM=\t1\tpw\t0");
    QTest::newRow("setparams: description outside latin-1") << "setparams" << 17ull << true
                                                            << QStringLiteral("\u03a9") << false << QByteArray();
}

void TestWire::itemFields()
{
    QFETCH(QString, command);
    QFETCH(quint64, id);
    QFETCH(bool, parentOnServer);
    QFETCH(QString, text);
    QFETCH(bool, sent);
    QFETCH(QByteArray, fields);

    QByteArray request;
    bool appended = false;
    if (command == QLatin1String("move"))
        appended = Wire::appendPlaceFields(request, {id, parentOnServer, 7, text});
    else if (command == QLatin1String("makedir"))
        appended = Wire::appendNewFolderFields(request, parentOnServer, 7, text);
    else if (command == QLatin1String("delete"))
        appended = Wire::appendItemId(request, id);
    else
        appended = Wire::appendParamsFields(request, {id, text, true, QStringLiteral("pw"), false});
    QCOMPARE(appended, sent);
    if (sent)
        QCOMPARE(request, fields);
}

void TestWire::transferFields()
{
    QByteArray upload;
    Wire::appendUploadFields(upload, {QByteArray::fromHex("00ff10"), QStringLiteral("caf\u00e9.png"),
                                      "png", QStringLiteral("d"), false, QStringLiteral("pw"),
                                      5368709120, 1099511627781});
    QCOMPARE(upload, QByteArray("00ff10\tcaf\xe9.png\tpng\tZA==\t0\tpw\t5368709120\t1099511627781\t"));

    QByteArray url;
    Wire::appendUploadUrlFields(url, 0, QStringLiteral("a b.zip"), QStringLiteral("http://h/a?b=1"));
    QCOMPARE(url, QByteArray("0\ta b.zip\thttp://h/a?b=1"));
}

void TestWire::framerLength_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("length"); // 0: cannot be judged yet

    const int plain = int(ReplyFramer::Kind::Reply);
    const int valued = int(ReplyFramer::Kind::ReplyWithValue);
    const int url = int(ReplyFramer::Kind::UrlUploadMessage);
    QTest::newRow("prefix of done") << plain << QByteArray("do") << 0;
    QTest::newRow("prefix of error") << plain << QByteArray("error") << 0;
    QTest::newRow("prefix of ready") << valued << QByteArray("rea") << 0;
    QTest::newRow("done, no value expected") << plain << QByteArray("done\n") << 5;
    QTest::newRow("done value not ended") << valued << QByteArray("done\n12") << 0;
    QTest::newRow("done value ended") << valued << QByteArray("done\n12\nmore") << 8;
    QTest::newRow("error code not ended") << plain << QByteArray("error\n3") << 0;
    QTest::newRow("error code ended") << plain << QByteArray("error\n3\n") << 8;
    QTest::newRow("ready port not ended") << valued << QByteArray("ready\n 80") << 0;
    QTest::newRow("ready port ended by a line feed") << valued << QByteArray("ready\n80\r\n") << 10;
    QTest::newRow("ready port, next reply behind it") << valued << QByteArray("ready\n80done\n1\tf") << 8;
    QTest::newRow("other word judged whole") << plain << QByteArray("what\n") << 5;
    QTest::newRow("list judged whole") << plain << QByteArray("filelist\n1\t") << 11;
    QTest::newRow("empty") << plain << QByteArray() << 0;
    QTest::newRow("url: progress then done") << url << QByteArray("progress\n1\t2\tdone\n5\t2\tf") << 13;
    QTest::newRow("url: progress alone") << url << QByteArray("progress\n1\t2\t") << 13;
    QTest::newRow("url: done whole") << url << QByteArray("done\n5\t2\tf\nprogress\n") << 20;
    QTest::newRow("url: two progress") << url << QByteArray("progress\n1\t2progress\n2\t2") << 12;
}

void TestWire::framerLength()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(int, length);
    QCOMPARE(ReplyFramer::judgeableLength(bytes, ReplyFramer::Kind(kind)), qsizetype(length));

    // Fed one byte at a time, the framer judges at the same place.
    ReplyFramer framer(ReplyFramer::Kind(kind), {1000, 100});
    for (char c : bytes)
        framer.feed(QByteArray(1, c));
    QCOMPARE(framer.state(), length > 0 ? ReplyFramer::State::Complete : ReplyFramer::State::NeedMore);
    QCOMPARE(framer.length(), qsizetype(length));
}

void TestWire::framerKeepsRepliesApart()
{
    ReplyFramer framer(ReplyFramer::Kind::ReplyWithValue, {1000, 100});
    framer.feed("ready\n4242\nready\n43");
    QCOMPARE(framer.takeReply(), QByteArray("ready\n4242\n"));
    // The second reply's port is not ended: it cannot be judged yet, and its own
    // completion limit runs.
    QCOMPARE(framer.state(), ReplyFramer::State::NeedMore);
    QVERIFY(framer.firstLineEnded());
    framer.feed("43\n");
    QCOMPARE(framer.takeReply(), QByteArray("ready\n4343\n"));
    QVERIFY(framer.isEmpty());
    framer.feed("done\n1");
    QCOMPARE(framer.takeReply(), QByteArray("done\n1"));
}

void TestWire::framerRefusesOverLongReplies()
{
    ReplyFramer framer(ReplyFramer::Kind::Reply, {1000, 100});
    framer.feed("error\n" + QByteArray(ReplyFramer::MaxReplyBytes - 6, '1'));
    QCOMPARE(framer.state(), ReplyFramer::State::NeedMore);
    QCOMPARE(framer.room(), qsizetype(1));
    framer.feed("1");
    QCOMPARE(framer.state(), ReplyFramer::State::TooLong);
    QCOMPARE(framer.room(), qsizetype(0));

    // A URL upload's messages are judged as they come, whatever their length.
    ReplyFramer messages(ReplyFramer::Kind::UrlUploadMessage, {0, 0});
    messages.feed("progress\n" + QByteArray(ReplyFramer::MaxReplyBytes, '1'));
    QCOMPARE(messages.state(), ReplyFramer::State::Complete);
}

void TestWire::framerDeadlines()
{
    // The reply's limit runs until the first line ends, then the completion limit.
    ReplyFramer framer(ReplyFramer::Kind::Reply, {600000, 50});
    framer.feed("err");
    QVERIFY(!framer.firstLineEnded());
    QVERIFY(framer.msLeft() > 50);
    framer.feed("or\n12");
    QVERIFY(framer.firstLineEnded());
    QVERIFY(framer.msLeft() <= 50);
    QThread::msleep(60);
    QCOMPARE(framer.msLeft(), 0);
    QCOMPARE(framer.state(), ReplyFramer::State::NeedMore);
}

void TestWire::errorDecoding_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("code");

    const int unreadable = int(Wire::ServerError::Unreadable);
    QTest::newRow("login") << QByteArray("error\n1") << int(Wire::ServerError::Login) << 1;
    QTest::newRow("password, line ended") << QByteArray("error\n2\n") << int(Wire::ServerError::Password) << 2;
    QTest::newRow("command") << QByteArray("error\n3") << int(Wire::ServerError::Command) << 3;
    QTest::newRow("other code") << QByteArray("error\n4") << int(Wire::ServerError::Other) << 4;
    QTest::newRow("blanks and sign before") << QByteArray("error\n \t+1") << int(Wire::ServerError::Login) << 1;
    QTest::newRow("lowest 32-bit") << QByteArray("error\n-2147483648") << int(Wire::ServerError::Other)
                                   << std::numeric_limits<int>::min();
    QTest::newRow("beyond 32 bits") << QByteArray("error\n2147483648") << unreadable << 0;
    QTest::newRow("blank after") << QByteArray("error\n1 ") << unreadable << 0;
    QTest::newRow("no code") << QByteArray("error\n") << unreadable << 0;
    QTest::newRow("sign only") << QByteArray("error\n-") << unreadable << 0;
    QTest::newRow("not an error") << QByteArray("done\n1") << unreadable << 0;
    QTest::newRow("word cut") << QByteArray("erro") << unreadable << 0;
}

void TestWire::errorDecoding()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, error);
    QFETCH(int, code);
    int decoded = 0;
    QCOMPARE(int(Wire::decodeError(reply, &decoded)), error);
    QCOMPARE(decoded, code);
}

void TestWire::decimalVariants_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("read");
    QTest::addColumn<qint64>("value"); // as the variant answers it

    QTest::newRow("digits") << "digits" << QByteArray("0042") << true << qint64(42);
    QTest::newRow("digits: many leading zeros") << "digits" << QByteArray("000000000000000000000001") << true
                                                << qint64(1);
    QTest::newRow("digits: blank") << "digits" << QByteArray(" 1") << false << qint64(0);
    QTest::newRow("digits: sign") << "digits" << QByteArray("+1") << false << qint64(0);
    QTest::newRow("digits: empty") << "digits" << QByteArray() << false << qint64(0);
    QTest::newRow("digits: beyond 64 bits") << "digits" << QByteArray("18446744073709551616") << false
                                            << qint64(0);
    QTest::newRow("digits: zero byte") << "digits" << QByteArray("1\0", 2) << false << qint64(0);
    QTest::newRow("range") << "range" << QByteArray("9223372036854775807") << true
                           << std::numeric_limits<qint64>::max();
    QTest::newRow("range: beyond 63 bits") << "range" << QByteArray("9223372036854775808") << true << qint64(-1);
    QTest::newRow("range: negative") << "range" << QByteArray("-5") << true << qint64(-1);
    QTest::newRow("requested range: blanks and plus") << "requested" << QByteArray(" +7 ") << true << qint64(7);
    QTest::newRow("requested range: letters") << "requested" << QByteArray("7a") << true << qint64(0);
    QTest::newRow("list: plain") << "list" << QByteArray("1099511627781") << true << qint64(1099511627781);
    QTest::newRow("list: sign as the library reads it") << "list" << QByteArray("+12") << true << qint64(12);
    QTest::newRow("list: unreadable reads 0") << "list" << QByteArray("x") << true << qint64(0);
    QTest::newRow("list int: beyond its range reads 0") << "listint" << QByteArray("2147483648") << true
                                                        << qint64(0);
    QTest::newRow("list int: negative") << "listint" << QByteArray("-3") << true << qint64(-3);
    QTest::newRow("list uint: 32 bits") << "listuint" << QByteArray("4294967295") << true << qint64(4294967295);
    QTest::newRow("list uint: beyond reads 0") << "listuint" << QByteArray("4294967296") << true << qint64(0);
}

void TestWire::decimalVariants()
{
    QFETCH(QString, variant);
    QFETCH(QByteArray, text);
    QFETCH(bool, read);
    QFETCH(qint64, value);

    const QString asText = QString::fromLatin1(text);
    if (variant == QLatin1String("digits")) {
        quint64 bytesValue = 0;
        quint64 textValue = 0;
        QCOMPARE(Wire::readDigits(text, bytesValue), read);
        QCOMPARE(Wire::readDigits(QStringView(asText), textValue), read);
        QCOMPARE(qint64(bytesValue), value);
        QCOMPARE(qint64(textValue), value);
    } else if (variant == QLatin1String("range")) {
        QCOMPARE(Wire::readRangeNumber(text), value);
    } else if (variant == QLatin1String("requested")) {
        QCOMPARE(qint64(Wire::readRequestedRangeNumber(text)), value);
    } else if (variant == QLatin1String("list")) {
        QCOMPARE(qint64(Wire::readListNumber(asText)), value);
    } else if (variant == QLatin1String("listint")) {
        QCOMPARE(qint64(Wire::readListInt(asText)), value);
    } else {
        QCOMPARE(qint64(Wire::readListUInt(asText)), value);
    }
}

void TestWire::successReplies_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<quint64>("number");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("port") << "port" << QByteArray("ready\n 8080 \n") << true << 8080ull << QByteArray();
    // Only the low 16 bits of the port count.
    QTest::newRow("port beyond 16 bits") << "port" << QByteArray("ready\n65537") << true << 1ull << QByteArray();
    QTest::newRow("port with letters") << "port" << QByteArray("ready\n80x") << false << 0ull << QByteArray();
    QTest::newRow("port of another word") << "port" << QByteArray("done\n80") << false << 0ull << QByteArray();
    QTest::newRow("upload done") << "upload" << QByteArray("done\n 42 \t fs1 \tmore") << true << 42ull
                                 << QByteArray("fs1");
    QTest::newRow("upload done, signed id") << "upload" << QByteArray("done\n+42\tfs1") << false << 0ull
                                            << QByteArray();
    QTest::newRow("upload done, one field") << "upload" << QByteArray("done\n42") << false << 0ull << QByteArray();
    QTest::newRow("url upload done") << "url" << QByteArray("done\n7\t 100\tname.bin\n") << true << 100ull
                                     << QByteArray("name.bin");
    QTest::newRow("url upload done, two fields") << "url" << QByteArray("done\n7\t100") << false << 0ull
                                                 << QByteArray();
    QTest::newRow("new folder") << "folder" << QByteArray("done\n 12\nrest") << true << 12ull << QByteArray("12");
    QTest::newRow("new folder 0") << "folder" << QByteArray("done\n0") << false << 0ull << QByteArray("0");
    QTest::newRow("new folder beyond 32 bits") << "folder" << QByteArray("done\n2147483648") << false << 0ull
                                               << QByteArray("2147483648");
    QTest::newRow("list up to a zero byte") << "list" << QByteArray("filelist\n1\t\xe9\0x", 14) << true << 0ull
                                            << QByteArray("1\t\xe9");
    QTest::newRow("not a list") << "list" << QByteArray("error\n1") << false << 0ull << QByteArray();
}

void TestWire::successReplies()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, reply);
    QFETCH(bool, parsed);
    QFETCH(quint64, number);
    QFETCH(QByteArray, text);

    if (parser == QLatin1String("port")) {
        quint16 port = 0;
        QCOMPARE(Wire::parseReadyPort(reply, port), parsed);
        QCOMPARE(quint64(port), number);
    } else if (parser == QLatin1String("upload")) {
        quint64 id = 0;
        QByteArray name;
        QCOMPARE(Wire::parseUploadDone(reply, id, name), parsed);
        QCOMPARE(id, number);
        QCOMPARE(name, text);
    } else if (parser == QLatin1String("url")) {
        quint64 id = 0;
        quint64 size = 0;
        QByteArray name;
        QCOMPARE(Wire::parseUrlUploadDone(reply, id, size, name), parsed);
        QCOMPARE(size, number);
        QCOMPARE(name, text);
        QCOMPARE(id, parsed ? 7ull : 0ull);
    } else if (parser == QLatin1String("folder")) {
        // Only the line after the word is the value.
        QCOMPARE(Wire::doneValue(reply).trimmed(), text);
        quint64 id = 0;
        QCOMPARE(Wire::parseNewFolderId(Wire::doneValue(reply), id), parsed);
        QCOMPARE(id, number);
    } else {
        QString list = QStringLiteral("kept");
        QCOMPARE(Wire::parseList(reply, list), parsed);
        QCOMPARE(list, parsed ? QString::fromLatin1(text) : QStringLiteral("kept"));
    }
}

void TestWire::progressParsing_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<quint64>("curr");
    QTest::addColumn<quint64>("total");

    QTest::newRow("two numbers") << QByteArray("progress\n1024\t4096") << true << 1024ull << 4096ull;
    QTest::newRow("largest 64-bit")
        << QByteArray("progress\n18446744073709551615\t18446744073709551615\t") << true
        << 18446744073709551615ull << 18446744073709551615ull;
    QTest::newRow("beyond 64 bits") << QByteArray("progress\n18446744073709551616\t1") << false << 0ull << 0ull;
    QTest::newRow("blank before a number") << QByteArray("progress\n 1\t2") << false << 0ull << 0ull;
    QTest::newRow("sign") << QByteArray("progress\n+1\t2") << false << 0ull << 0ull;
    QTest::newRow("empty total") << QByteArray("progress\n1\t") << false << 0ull << 0ull;
    QTest::newRow("word only") << QByteArray("progress\n") << false << 0ull << 0ull;
}

void TestWire::progressParsing()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, parsed);
    QFETCH(quint64, curr);
    QFETCH(quint64, total);
    quint64 first = 0;
    quint64 second = 0;
    QCOMPARE(Wire::parseProgress(message, first, second), parsed);
    QCOMPARE(first, curr);
    QCOMPARE(second, total);
}

void TestWire::listLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("values"); // id,isDir,name,parent,size,date,description,searchable,segment,available

    QTest::newRow("file") << "121\t0\tbeach.jpg\t120\t204800\t1262390400\tU3VtbWVy\t1\t\ta1b2c3\t1"
                          << true << "121,0,beach.jpg,120,204800,1262390400,Summer,1,a1b2c3,1";
    QTest::newRow("folder, extra fields ignored") << "7\t1\tdocs\t0\t0\t0\t\t0\t\t\t0\textra\tmore"
                                                  << true << "7,1,docs,0,0,0,,0,,0";
    QTest::newRow("unreadable numbers read 0") << "x\t2\tn\t-1\t1e3\t4294967296\t\tyes\t\ts\t" << true
                                               << "0,1,n,0,0,0,,0,s,0";
    QTest::newRow("ten fields list nothing") << "1\t0\tn\t0\t0\t0\t\t0\t\ts" << false << "";
    QTest::newRow("empty line") << "" << false << "";
}

void TestWire::listLine()
{
    QFETCH(QString, line);
    QFETCH(bool, listed);
    QFETCH(QString, values);
    Wire::ListLine read;
    QCOMPARE(Wire::parseListLine(line, read), listed);
    Wire::ListPlace place;
    QCOMPARE(Wire::parseListPlace(line, place), listed);
    if (!listed)
        return;
    QCOMPARE(place.id, read.id);
    QCOMPARE(place.isDir, read.isDir);
    QCOMPARE(place.parentId, read.parentId);
    const QStringList shown{QString::number(read.id), QString::number(read.isDir), read.name.toString(),
                            QString::number(read.parentId), QString::number(read.size),
                            QString::number(read.date), Wire::decodeDescription(read.description),
                            QString::number(read.searchable), read.downloadSegment.toString(),
                            QString::number(read.available)};
    QCOMPARE(shown.join(QLatin1Char(',')), values);
}

void TestWire::downloadAddress_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("space and ampersand") << "a b&c.txt" << "a%20b%26c.txt";
    QTest::newRow("unreserved kept") << "A-z_0.9~" << "A-z_0.9~";
    QTest::newRow("latin-1 byte") << "\u00e9" << "%E9";
    QTest::newRow("beyond latin-1 becomes ?") << "\u20ac" << "%3F";
    QTest::newRow("slash and percent") << "a/b%" << "a%2Fb%25";
}

void TestWire::downloadAddress()
{
    QFETCH(QString, name);
    QFETCH(QString, encoded);
    QCOMPARE(Wire::downloadAddress(u"fs9", name), "http://dl.kelvarhold.net/dl/fs9/" + encoded);
}

void TestWire::dragPayload_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint64>("id");
    QTest::addColumn<quint64>("selfId");

    QTest::newRow("file") << Wire::encodeDragEntry(false, 17, 5) << int(Wire::DragEntry::File) << 17ull << 5ull;
    QTest::newRow("folder, 64-bit ids") << Wire::encodeDragEntry(true, 18446744073709551615ull, 1099511627781ull)
                                        << int(Wire::DragEntry::Folder) << 18446744073709551615ull
                                        << 1099511627781ull;
    QTest::newRow("no self id") << "/getdir/40" << int(Wire::DragEntry::Folder) << 40ull << 0ull;
    QTest::newRow("doubled slashes") << "//getfile//3//4" << int(Wire::DragEntry::File) << 3ull << 4ull;
    QTest::newRow("unreadable ids") << "/getfile/x/y" << int(Wire::DragEntry::File) << 0ull << 0ull;
    QTest::newRow("word only") << "/getfile" << int(Wire::DragEntry::Unreadable) << 0ull << 0ull;
    QTest::newRow("local file") << "file:///home/u/a.txt" << int(Wire::DragEntry::Other) << 0ull << 0ull;
}

void TestWire::dragPayload()
{
    QFETCH(QString, url);
    QFETCH(int, kind);
    QFETCH(quint64, id);
    QFETCH(quint64, selfId);
    const Wire::DragEntry entry = Wire::decodeDragEntry(url);
    QCOMPARE(int(entry.kind), kind);
    QCOMPARE(entry.id, id);
    QCOMPARE(entry.selfId, selfId);
}

QTEST_APPLESS_MAIN(TestWire)
#include "tst_wire.moc"
