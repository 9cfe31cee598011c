#include "base/settings.h"
#include "commandrunner.h"
#include "crossthreadspy.h"
#include "devserverprocess.h"
#include "fakeserver.h"
#include "network/commandinfo.h"
#include "network/mainnetworkthread.h"
#include "network/refreshlistcommand.h"
#include "network/uploadurlcommand.h"
#include "remote/remotefilestreeitem.h"
#include "remotelistfixture.h"
#include "shownremotetree.h"
#include "wire/wire.h"

#include <QLocale>
#include <QTest>

#include <memory>

namespace {

constexpr int MessageWaitMs = 400;
const QString address = QStringLiteral("http://example.org/files/My%20File.zip?x=1");
const QByteArray request = "alice\nx\nuploadurl\n42\tMy File.zip\t" + address.toLatin1();
const QString downloadBase = QStringLiteral("http://dl.kelvarhold.net/dl/");

// A folder with server id 42 and the new item for an address, as the remote view makes them.
struct UrlItem {
    explicit UrlItem(const QString &name = QStringLiteral("My File.zip"), const QString &url = address)
        : item(shown.model().addUrlFile(folder, name, url))
    {
        item->setFileAvailable(false);
    }
    RemoteItemRef ref() const { return shown.ref(item); }
    void apply(const CommandRunner &runner) const { shown.applyResultOf(*runner.command()); }

    ShownRemoteTree shown{RemoteListFixture::line(42, true, QStringLiteral("folder"), 0)};
    RemoteFilesTreeItem *folder = shown.find(QStringLiteral("folder"));
    RemoteFilesTreeItem *item;
};

} // namespace

class TestUploadUrlCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void messages_data();
    void messages();
    void unsafeFieldsAreNeverSent_data();
    void unsafeFieldsAreNeverSent();
    void unreachableServer();
    void endToEndWithTheDevelopmentServer();
};

void TestUploadUrlCommand::initTestCase()
{
    BaseCommand::registerMetaTypes();
    NetworkLimits limits;
    limits.connectMs = limits.writeMs = limits.replyMs = 2000;
    limits.urlUploadMessageWaitMs = MessageWaitMs;
    NetworkLimits::set(limits);
}

void TestUploadUrlCommand::init()
{
    Settings::getInstance()->setLogin(QStringLiteral("alice"));
    Settings::getInstance()->setPass(QStringLiteral("x"));
}

void TestUploadUrlCommand::messages_data()
{
    QTest::addColumn<FakeScript>("script");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<QList<qulonglong>>("progress"); // pairs of current and full state
    QTest::addColumn<bool>("updated");

    // Messages apart in time: the client takes each read as one message.
    const int gap = 60;
    auto script = [] { return FakeScript().awaitBytes(request.size()); };
    const QByteArray done = "done\n17\t4096\tab12cd";
    const QList<qulonglong> none;

    QTest::newRow("progress then done")
        << script().send("progress\n1024\t4096").pause(gap).send(done).awaitClose()
        << BaseCommand::NoError << QList<qulonglong>{1024, 4096} << true;
    QTest::newRow("several progress messages, trailing tab")
        << script().send("progress\n0\t0\t").pause(gap).send("progress\n2048\t4096\t").pause(gap)
               .send("progress\n4096\t4096\t").pause(gap).send(done).close()
        << BaseCommand::NoError << QList<qulonglong>{0, 0, 2048, 4096, 4096, 4096} << true;
    QTest::newRow("progress with a line end is ignored, waiting goes on")
        << script().send("progress\n1024\t4096\n").pause(gap).send(done).close()
        << BaseCommand::NoError << none << true;
    QTest::newRow("progress with a single number is ignored")
        << script().send("progress\n1024").pause(gap).send(done).close()
        << BaseCommand::NoError << none << true;
    QTest::newRow("done with fields padded")
        << script().send("done\n 17 \t4096 \t ab12cd \textra").close()
        << BaseCommand::NoError << none << true;
    QTest::newRow("progress and done in one read")
        << script().send("progress\n4096\t4096\t" + done).awaitClose()
        << BaseCommand::NoError << QList<qulonglong>{4096, 4096} << true;
    QTest::newRow("done with two fields")
        << script().send("done\n17\t4096").close()
        << BaseCommand::ReceivedDataFormatError << none << false;
    QTest::newRow("done with an id that is not a number")
        << script().send("done\nabc\t4096\tab12cd").close()
        << BaseCommand::ReceivedDataFormatError << none << false;
    QTest::newRow("done with a negative id")
        << script().send("done\n-17\t4096\tab12cd").close()
        << BaseCommand::ReceivedDataFormatError << none << false;
    QTest::newRow("wrong login") << script().sendError(1).close() << BaseCommand::IncorrectLoginError
                                 << none << false;
    QTest::newRow("fetch failed after progress")
        << script().send("progress\n10\t0\t").pause(gap).sendError(11).close()
        << BaseCommand::UnknownError << QList<qulonglong>{10, 0} << false;
    QTest::newRow("unknown word") << script().send("ready\n80").close()
                                  << BaseCommand::ReceivedDataFormatError << none << false;
    QTest::newRow("closed after progress")
        << script().send("progress\n10\t20").pause(gap).close()
        << BaseCommand::ConnectionError << QList<qulonglong>{10, 20} << false;
    FakeScript stuck = script();
    FakeScript garbage = script();
    for (int i = 0; i < 3 * MessageWaitMs / gap; ++i) {
        stuck.send("progress\n10\t20").pause(gap);
        garbage.send("progress\nnot a count").pause(gap);
    }
    QTest::newRow("progress that never advances ends like silence, reported once")
        << stuck.send(done).close() << BaseCommand::ConnectionError << QList<qulonglong>{10, 20}
        << false;
    QTest::newRow("endless unreadable progress ends like silence")
        << garbage.send(done).close() << BaseCommand::ConnectionError << none << false;
    QTest::newRow("silent longer than the message limit")
        << script().send("progress\n10\t20").pause(MessageWaitMs * 3).send(done).close()
        << BaseCommand::ConnectionError << QList<qulonglong>{10, 20} << false;
}

void TestUploadUrlCommand::messages()
{
    QFETCH(FakeScript, script);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(QList<qulonglong>, progress);
    QFETCH(bool, updated);

    FakeServer server;
    server.useForSettings();
    server.addScript(script);
    UrlItem url;
    CommandRunner runner(new UploadUrlCommand(9, url.ref()));
    QVERIFY(runner.run());
    url.apply(runner);

    QCOMPARE(server.received(), request);
    QCOMPARE(runner.startedCount(), 1);
    QCOMPARE(runner.finishedResults(), QList{result});
    QList<qulonglong> reported;
    for (const CommandRunner::Progress &report : runner.progress())
        reported << report.currentState << report.fullState;
    QCOMPARE(reported, progress);
    QCOMPARE(url.item->isUploaded(), updated);
    QCOMPARE(url.item->getItemInnerId(), updated ? 17u : 0u);
    QCOMPARE(url.item->getItemInnerSize(), updated ? 4096u : 0u);
    QCOMPARE(url.item->isFileAvailable(), updated);
    QCOMPARE(url.item->getItemExternalDownloadUrl(),
             updated ? downloadBase + QStringLiteral("ab12cd/My%20File.zip") : QString());
    // Scripts that wait for the client's close end only when it closed.
    QVERIFY(server.waitForScriptsDone());
}

void TestUploadUrlCommand::unsafeFieldsAreNeverSent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");

    QTest::newRow("tab in the name") << "a\tb.zip" << address;
    QTest::newRow("line feed in the address") << "a.zip" << "http://h/a\n.zip";
    QTest::newRow("name outside Latin-1") << QStringLiteral("\u20ac.zip") << address;
    // Empty name: the folder's creation failed, so the item would land in the root folder.
    QTest::newRow("folder not on the server") << QString() << address;
}

void TestUploadUrlCommand::unsafeFieldsAreNeverSent()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    FakeServer server;
    server.useForSettings();
    UrlItem item(name.isEmpty() ? QStringLiteral("a.zip") : name, url);
    if (name.isEmpty()) {
        item.folder->setItemInnerId(0);
        item.folder->setUploaded(false);
    }
    CommandRunner runner(new UploadUrlCommand(10, item.ref()));
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::InitialDataFormatError});
    QTest::qWait(50);
    QCOMPARE(server.connectionCount(), 0);
    item.apply(runner);
    QVERIFY(!item.item->isUploaded());
}

void TestUploadUrlCommand::unreachableServer()
{
    Settings::getInstance()->setServerHost(QStringLiteral("127.0.0.1"));
    Settings::getInstance()->setServerPort(FakeServer::closedPort());
    UrlItem item;
    CommandRunner runner(new UploadUrlCommand(11, item.ref()));
    QVERIFY(runner.run());
    QCOMPARE(runner.startedCount(), 1);
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::InitialConnectionError});
    QVERIFY(runner.progress().isEmpty());
}

// The development server fetches an address that a local HTTP server answers, slowly
// enough for progress messages; the scheduler runs the command and announces the item.
void TestUploadUrlCommand::endToEndWithTheDevelopmentServer()
{
    DevServerProcess devServer;
    QVERIFY2(devServer.start({QStringLiteral("--user"), QStringLiteral("alice:x"),
                              QStringLiteral("--progress-interval-ms"), QStringLiteral("20"),
                              QStringLiteral("--message-gap-ms"), QStringLiteral("20")}),
             qPrintable(devServer.errorText()));
    Settings *settings = Settings::getInstance();
    settings->setServerHost(devServer.host());
    settings->setServerPort(devServer.port());
    settings->setSyncType(Settings::BackgroundSync);
    settings->setStreamsCount(2);

    const QByteArray body = QByteArray(150000, 'a') + QByteArray(150000, 'b');
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nContent-Type: application/octet-stream\r\n\r\n";
    FakeServer web;
    const quint16 webPort = web.openDataPort(FakeScript()
                                                 .awaitText("\r\n\r\n")
                                                 .send(head + body.left(150000))
                                                 .pause(300)
                                                 .send(body.mid(150000))
                                                 .close());
    const QString source = QStringLiteral("http://127.0.0.1:%1/files/big%20file.bin").arg(webPort);
    ShownRemoteTree shown{QString()};
    RemoteFilesTreeItem *item = shown.model().addUrlFile(shown.root(), QStringLiteral("big file.bin"), source);
    QVERIFY(item);
    item->setFileAvailable(false);
    QCOMPARE(item->data(3).toString(), QStringLiteral("No"));

    MainNetworkThread scheduler;
    scheduler.setCheckInterval(10);
    connect(&scheduler, &MainNetworkThread::remoteItemChanged, &shown.model(),
            &RemoteFilesTreeModel::applyChange);
    QList<CommandInfo::CommandState> states;
    QList<int> percents;
    BaseCommand::CommandResult result = BaseCommand::UnknownError;
    connect(&scheduler, &MainNetworkThread::refreshProgress, this, [&](CommandInfo *info) {
        states.append(info->getCommandState());
        percents.append(info->getProgressState());
        result = info->getCommandResult();
        delete info;
    });
    CrossThreadSpy uploaded(&scheduler, &MainNetworkThread::remoteItemChanged);
    scheduler.moveToThread(&scheduler);
    scheduler.start();
    QMetaObject::invokeMethod(&scheduler, "uploadUrl", Q_ARG(RemoteItemRef, shown.ref(item)));
    QTRY_COMPARE_WITH_TIMEOUT(uploaded.size(), 1, 15000);
    QTRY_VERIFY(states.contains(CommandInfo::Finished));
    scheduler.quit();
    scheduler.wait();

    QCOMPARE(result, BaseCommand::NoError);
    const auto change = uploaded.first().first().value<RemoteItemChange>();
    QCOMPARE(change.kind, RemoteItemChange::UrlUploaded);
    QCOMPARE(change.target.item(), item);
    QCOMPARE(states.first(), CommandInfo::Started);
    QVERIFY2(states.count(CommandInfo::Processing) >= 2, "no progress shown while the server fetched");
    QVERIFY(percents.contains(100));
    QCOMPARE(web.received(0, webPort).left(26), QByteArray("GET /files/big%20file.bin "));
    QVERIFY(item->getItemInnerId() > 0);
    QCOMPARE(item->getItemInnerSize(), quint64(body.size()));
    QCOMPARE(item->data(1).toString(), QLocale().toString(body.size() / 1024) + QLatin1String(" KB"));
    QCOMPARE(item->data(3).toString(), QStringLiteral("Yes"));
    QVERIFY(item->isFileAvailable());
    QVERIFY(item->getItemExternalDownloadUrl().startsWith(downloadBase));
    QVERIFY(item->getItemExternalDownloadUrl().endsWith(QLatin1String("/big%20file.bin")));

    // The service lists the new file with the same id, size and file-system name.
    CommandRunner refresh(new RefreshListCommand(12));
    QVERIFY(refresh.run());
    QCOMPARE(refresh.finishedResults(), QList{BaseCommand::NoError});
    const QString list = static_cast<RefreshListCommand *>(refresh.command())->getReceivedData();
    const QStringList fields = list.split(QLatin1Char('\n')).first().split(QLatin1Char('\t'));
    QCOMPARE(fields.value(0), QString::number(item->getItemInnerId()));
    QCOMPARE(fields.value(2), QStringLiteral("big file.bin"));
    QCOMPARE(fields.value(4), QString::number(body.size()));
    QVERIFY(item->getItemExternalDownloadUrl().contains(QLatin1String("/dl/") + fields.value(9) + '/'));
}

QTEST_GUILESS_MAIN(TestUploadUrlCommand)
#include "tst_uploadurlcommand.moc"
