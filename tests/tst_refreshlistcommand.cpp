#include "base/settings.h"
#include "commandrunner.h"
#include "fakeserver.h"
#include "network/refreshlistcommand.h"
#include "scopednetworklimits.h"

#include <QTest>

namespace {
constexpr int ReplyTimeoutMs = 300;
constexpr int SilenceMs = 400;
const QByteArray aliceRefresh = "alice\nx\nrefresh\n";

void setAccount(const QString &login, const QString &pass)
{
    Settings::getInstance()->setLogin(login);
    Settings::getInstance()->setPass(pass);
}
} // namespace

class TestRefreshListCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void requestPrefix_data();
    void requestPrefix();
    void unsendableAccountSendsNothing_data();
    void unsendableAccountSendsNothing();
    void replies_data();
    void replies();
    void errorReplyKeepsPreviousList();
    void connectionRefused();
    void silentServer();
    void runawayServer_data();
    void runawayServer();
};

void TestRefreshListCommand::initTestCase()
{
    NetworkLimits limits;
    limits.connectMs = limits.writeMs = 2000;
    limits.replyMs = ReplyTimeoutMs;
    limits.listSilenceMs = SilenceMs;
    NetworkLimits::set(limits);
}

void TestRefreshListCommand::init()
{
    setAccount(QStringLiteral("alice"), QStringLiteral("x"));
}

void TestRefreshListCommand::requestPrefix_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("five and one characters") << "alice" << "x" << QByteArray("alice\nx\nrefresh\n");
    QTest::newRow("empty login") << "" << "x" << QByteArray("\nx\nrefresh\n");
    QTest::newRow("empty password") << "alice" << "" << QByteArray("alice\n\nrefresh\n");
    QTest::newRow("both empty") << "" << "" << QByteArray("\n\nrefresh\n");
    QTest::newRow("Latin-1 is one byte each")
        << QStringLiteral("Jos\u00e9") << QStringLiteral("\u00ff\u00a0")
        << QByteArray("Jos\xe9\n\xff\xa0\nrefresh\n");
}

void TestRefreshListCommand::unsendableAccountSendsNothing_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<BaseCommand::CommandResult>("result");

    // As a hand-edited settings file can hold them: a line feed would put a command of
    // its own in front of the refresh, and "?" would replace what Latin-1 lacks.
    QTest::newRow("login smuggling a command")
        << QStringLiteral("alice\nsecret\ndeldir\n5") << "secret" << BaseCommand::IncorrectLoginError;
    QTest::newRow("tab in the login") << QStringLiteral("al\tice") << "secret" << BaseCommand::IncorrectLoginError;
    QTest::newRow("line feed in the password")
        << "alice" << QStringLiteral("secret\ndelfile\n7") << BaseCommand::IncorrectPasswordError;
    QTest::newRow("password outside Latin-1")
        << "alice" << QStringLiteral("p\u20ac\U0001F600s") << BaseCommand::IncorrectPasswordError;
    QTest::newRow("login outside Latin-1")
        << QStringLiteral("\u0430lice") << "secret" << BaseCommand::IncorrectLoginError;
}

void TestRefreshListCommand::unsendableAccountSendsNothing()
{
    QFETCH(QString, login);
    QFETCH(QString, pass);
    QFETCH(BaseCommand::CommandResult, result);
    setAccount(login, pass);

    FakeServer server;
    server.useForSettings();
    CommandRunner runner(new RefreshListCommand(3));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{result});
    QCOMPARE(server.connectionCount(), 0);
}

void TestRefreshListCommand::requestPrefix()
{
    QFETCH(QString, login);
    QFETCH(QString, pass);
    QFETCH(QByteArray, request);
    setAccount(login, pass);

    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript().awaitBytes(request.size()).send("filelist\n").close());
    CommandRunner runner(new RefreshListCommand(3));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(), request);
    QCOMPARE(server.connectionCount(), 1);
}

void TestRefreshListCommand::replies_data()
{
    QTest::addColumn<FakeScript>("reply");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<QString>("list");

    const QString none;
    auto reply = [] { return FakeScript().awaitBytes(aliceRefresh.size()); };

    QTest::newRow("empty list") << reply().send("filelist\n").close() << BaseCommand::NoError
                                << QString();
    QTest::newRow("list and its final line feed kept")
        << reply().send("filelist\n1\t2\tname\n").close() << BaseCommand::NoError
        << QStringLiteral("1\t2\tname\n");
    QTest::newRow("pieces with short pauses, server stays open")
        << reply().send("file").pause(SilenceMs / 3).send("list\nab").pause(SilenceMs / 3)
               .send("cd").pause(SilenceMs / 3).send("ef")
        << BaseCommand::NoError << QStringLiteral("abcdef");
    QTest::newRow("pause longer than the silence window cuts the list")
        << reply().send("filelist\nabc").pause(SilenceMs * 3).send("def").close()
        << BaseCommand::NoError << QStringLiteral("abc");
    QTest::newRow("bytes above 0x7F are Latin-1")
        << reply().send("filelist\n\xe9\xff\x80").close() << BaseCommand::NoError
        << QStringLiteral("\u00e9\u00ff\u0080");
    QTest::newRow("zero byte ends the list")
        << reply().send(QByteArray("filelist\nab\0cd", 14)).close() << BaseCommand::NoError
        << QStringLiteral("ab");
    QTest::newRow("cut after the word") << reply().sendCut("filelist\nabcdef", 11)
                                        << BaseCommand::NoError << QStringLiteral("ab");
    QTest::newRow("cut inside the word") << reply().sendCut("filelist\nabcdef", 5)
                                         << BaseCommand::ReceivedDataFormatError << none;
    QTest::newRow("word without line feed")
        << reply().send("filelist").close() << BaseCommand::ReceivedDataFormatError << none;
    QTest::newRow("capital F") << reply().send("Filelist\nabc").close()
                               << BaseCommand::ReceivedDataFormatError << none;
    QTest::newRow("closed without a reply") << reply().close() << BaseCommand::ConnectionError
                                            << none;
    QTest::newRow("reset without a reply") << reply().abort() << BaseCommand::ConnectionError
                                           << none;

    // The error replies every command shares.
    const QList<std::tuple<const char *, QByteArray, BaseCommand::CommandResult>> errors{
        {"error 1", "error\n1", BaseCommand::IncorrectLoginError},
        {"error 2 and a line feed", "error\n2\n", BaseCommand::IncorrectPasswordError},
        {"error 3", "error\n3", BaseCommand::IncorrectCommandError},
        {"error 42", "error\n42", BaseCommand::UnknownError},
        {"error 0", "error\n0", BaseCommand::UnknownError},
        {"error with sign and leading blanks", "error\n  +2\nmore", BaseCommand::IncorrectPasswordError},
        {"error negative", "error\n-1", BaseCommand::UnknownError},
        {"error at the 32-bit limit", "error\n-2147483648", BaseCommand::UnknownError},
        {"error beyond 32 bits", "error\n2147483648", BaseCommand::ReceivedDataFormatError},
        {"error alone", "error\n", BaseCommand::ReceivedDataFormatError},
        {"error with a letter", "error\nx", BaseCommand::ReceivedDataFormatError},
        {"error with digits and a letter", "error\n1x", BaseCommand::ReceivedDataFormatError},
        {"error with a blank after", "error\n1 ", BaseCommand::ReceivedDataFormatError},
        {"error with a carriage return after", "error\n1\r\n", BaseCommand::ReceivedDataFormatError},
        {"error sign only", "error\n-", BaseCommand::ReceivedDataFormatError},
        {"error word without line feed", "error1", BaseCommand::ReceivedDataFormatError},
        {"error with capital E", "Error\n1", BaseCommand::ReceivedDataFormatError},
    };
    for (const auto &[name, bytes, result] : errors)
        QTest::newRow(name) << reply().send(bytes).close() << result << none;
}

void TestRefreshListCommand::replies()
{
    QFETCH(FakeScript, reply);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(QString, list);

    FakeServer server;
    server.useForSettings();
    server.addScript(reply);
    auto *command = new RefreshListCommand(5);
    CommandRunner runner(command);
    QVERIFY(runner.run());
    QCOMPARE(runner.startedCount(), 1);
    QCOMPARE(runner.finishedResults(), QList{result});
    QCOMPARE(command->getReceivedData(), list);
    QCOMPARE(server.received(), aliceRefresh);
    QVERIFY(server.waitForScriptsDone());
}

void TestRefreshListCommand::errorReplyKeepsPreviousList()
{
    // The scheduler makes a new command per refresh; a command run twice still keeps
    // the list of its last success when the server refuses.
    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript().awaitBytes(aliceRefresh.size()).send("filelist\nold").close());
    server.addScript(FakeScript().awaitBytes(aliceRefresh.size()).sendError(2).close());
    auto *command = new RefreshListCommand(1);
    CommandRunner runner(command);
    QVERIFY(runner.run());
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(),
             (QList{BaseCommand::NoError, BaseCommand::IncorrectPasswordError}));
    QCOMPARE(command->getReceivedData(), QStringLiteral("old"));
}

void TestRefreshListCommand::connectionRefused()
{
    Settings::getInstance()->setServerHost(QStringLiteral("127.0.0.1"));
    Settings::getInstance()->setServerPort(FakeServer::closedPort());
    CommandRunner runner(new RefreshListCommand(9));
    QVERIFY(runner.run());
    QCOMPARE(runner.startedCount(), 1);
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::InitialConnectionError});
    QVERIFY(runner.progress().isEmpty());
    // Refused at once, not after the connect limit.
    QVERIFY(runner.elapsedMs() < NetworkLimits::current().connectMs);
}

void TestRefreshListCommand::silentServer()
{
    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript()); // accepts, reads, never answers
    CommandRunner runner(new RefreshListCommand(4));
    QVERIFY(runner.run());
    QCOMPARE(runner.startedCount(), 1);
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::ConnectionError});
    QVERIFY(runner.elapsedMs() >= ReplyTimeoutMs);
    QCOMPARE(server.received(), aliceRefresh);
    QVERIFY(server.waitForClosedByClient());
}

void TestRefreshListCommand::runawayServer_data()
{
    QTest::addColumn<FakeScript>("reply");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<QString>("list");

    constexpr qsizetype MaxBytes = 4096;
    const QByteArray chunk(1024, 'a');
    auto reply = [] { return FakeScript().awaitBytes(aliceRefresh.size()).send("filelist\n"); };

    // Far more than the limit, fast, from a server that never stops on its own.
    FakeScript flood = reply();
    for (int i = 0; i < 400; ++i)
        flood.send(chunk);
    QTest::newRow("list beyond the size limit")
        << flood << BaseCommand::ReceivedDataFormatError << QString();
    QTest::newRow("list exactly at the size limit")
        << reply().send(QByteArray(MaxBytes, 'b')).close() << BaseCommand::NoError
        << QString(MaxBytes, u'b');
    QTest::newRow("one byte beyond the size limit in one piece")
        << reply().send(QByteArray(MaxBytes + 1, 'b')).close()
        << BaseCommand::ReceivedDataFormatError << QString();

    // A byte now and then, never silent long enough to end the list.
    FakeScript trickle = reply();
    for (int i = 0; i < 200; ++i)
        trickle.send("c").pause(SilenceMs / 4);
    QTest::newRow("list that never falls silent")
        << trickle << BaseCommand::ReceivedDataFormatError << QString();
}

void TestRefreshListCommand::runawayServer()
{
    QFETCH(FakeScript, reply);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(QString, list);
    constexpr int MaxMs = 1500;
    NetworkLimits limits = NetworkLimits::current();
    limits.maxListBytes = 4096;
    limits.maxListMs = MaxMs;
    const ScopedNetworkLimits smallLists(limits);

    FakeServer server;
    server.useForSettings();
    server.addScript(reply);
    auto *command = new RefreshListCommand(6);
    CommandRunner runner(command);
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{result});
    QCOMPARE(command->getReceivedData(), list);
    // Cut off by the limits, long before the server would have stopped.
    QVERIFY2(runner.elapsedMs() < MaxMs + 4 * SilenceMs,
             QByteArray::number(runner.elapsedMs()).constData());
}

QTEST_GUILESS_MAIN(TestRefreshListCommand)
#include "tst_refreshlistcommand.moc"
