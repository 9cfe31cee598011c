#include "base/settings.h"
#include "commandrunner.h"
#include "devserverprocess.h"
#include "fakeserver.h"
#include "gui/commandfeedback.h"
#include "network/downloadfilecommand.h"
#include "network/downloadurlcommand.h"
#include "network/makedircommand.h"
#include "network/refreshlistcommand.h"
#include "remote/remotefilestreeitem.h"
#include "remotelistfixture.h"
#include "shownremotetree.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <curl/curl.h>

#include <functional>

namespace {

// The failure line the message log and the failure box show for a finished command.
QString failureText(const CommandRunner &runner)
{
    const BaseCommand *command = runner.command();
    const QList<BaseCommand::CommandResult> results = runner.finishedResults();
    const CommandInfo info(command->getCommandId(), CommandInfo::Finished,
                           command->getCommandTypeString(),
                           results.isEmpty() ? BaseCommand::NoError : results.first(), 100, 0, 0.0,
                           {command->getCommandType(), command->getSubjectSelfId(),
                            command->getFailureReason()});
    return CommandFeedback::getLogText(info);
}

const QByteArray DownloadRequestEnd = "downloadfile\n42";

} // namespace

class TestFailureCauses final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void scriptedFailures_data();
    void scriptedFailures();
    void serverRefusals_data();
    void serverRefusals();

private:
    QString smallDiskFile() const { return dir.filePath(QStringLiteral("small/a.txt")); }

    static constexpr int SmallDiskBytes = 64 * 1024;
    bool smallDiskMounted = false;
    QTemporaryDir dir;
    DevServerProcess devServer;
};

void TestFailureCauses::initTestCase()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    NetworkLimits limits;
    limits.connectMs = limits.writeMs = 2000;
    limits.replyMs = 1500;
    limits.replyCompletionMs = 200;
    NetworkLimits::set(limits);
    QVERIFY(dir.isValid());
    // A disk that fills up: a small tmpfs, where mounting one is allowed.
    QDir().mkpath(dir.filePath(QStringLiteral("small")));
    smallDiskMounted = QProcess::execute(QStringLiteral("mount"),
                                         {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=%1").arg(SmallDiskBytes),
                                          QStringLiteral("tmpfs"), dir.filePath(QStringLiteral("small"))})
        == 0;
    QVERIFY2(devServer.start({QStringLiteral("--demo")}), qPrintable(devServer.errorText()));
}

void TestFailureCauses::cleanupTestCase()
{
    if (smallDiskMounted)
        QProcess::execute(QStringLiteral("umount"), {dir.filePath(QStringLiteral("small"))});
}

void TestFailureCauses::init()
{
    Settings::getInstance()->setLogin(QStringLiteral("demo"));
    Settings::getInstance()->setPass(QStringLiteral("demo"));
}

enum class Scripted { ServerNotRunning, Silent, Code1, Code2, Code3, Code12, KilledMidTransfer,
                      UnreachableUrl, DiskFull, PermissionDenied };

void TestFailureCauses::scriptedFailures_data()
{
    QTest::addColumn<Scripted>("scenario");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<QStringList>("shown"); // pieces the text must hold; "PORT": the port
    QTest::newRow("server not running") << Scripted::ServerNotRunning << BaseCommand::InitialConnectionError
        << QStringList{"Refresh list failed: the connection to 127.0.0.1:PORT was refused: is the server running?"};
    QTest::newRow("server silent") << Scripted::Silent << BaseCommand::ConnectionError
        << QStringList{"Refresh list failed: the server at 127.0.0.1:PORT did not answer in time"};
    QTest::newRow("code 1") << Scripted::Code1 << BaseCommand::IncorrectLoginError
        << QStringList{"Refresh list failed: the server did not accept the login (code 1)"};
    QTest::newRow("code 2") << Scripted::Code2 << BaseCommand::IncorrectPasswordError
        << QStringList{"Refresh list failed: the server did not accept the password (code 2)"};
    QTest::newRow("code 3") << Scripted::Code3 << BaseCommand::IncorrectCommandError
        << QStringList{"Refresh list failed: the server does not know this request: a newer client is needed (code 3)"};
    QTest::newRow("other code") << Scripted::Code12 << BaseCommand::UnknownError
        << QStringList{"Refresh list failed: the server refused the request (code 12)"};
    QTest::newRow("killed mid-transfer") << Scripted::KilledMidTransfer << BaseCommand::ConnectionError
        << QStringList{"Download file a.txt failed: the connection dropped after 3000 bytes"};
    QTest::newRow("unreachable address") << Scripted::UnreachableUrl << BaseCommand::ConnectionError
        << QStringList{"Download file ", " failed: ", "127.0.0.1", "PORT"};
    QTest::newRow("disk full") << Scripted::DiskFull << BaseCommand::ConnectionError
        << QStringList{"Download file a.txt failed: cannot write SMALLDISK: No space left on device"};
    QTest::newRow("permission denied") << Scripted::PermissionDenied << BaseCommand::InitialDataFormatError
        << QStringList{"Download file a.txt failed: cannot write /sys/kernel/notes: Permission denied"};
}

void TestFailureCauses::scriptedFailures()
{
    QFETCH(Scripted, scenario);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(QStringList, shown);

    FakeServer server;
    server.useForSettings();
    quint16 port = server.port();
    const std::shared_ptr<RemoteTree> tree = RemoteTree::fromList(
        RemoteListFixture::line(42, false, QStringLiteral("a.txt"), 0, 10000), QStringLiteral("root"));
    const RemoteItemRef item(tree, tree->userRoot()->child(0));
    const QString target = dir.filePath(QStringLiteral("a.txt"));
    QFile::remove(target);
    // A download whose data connection answers with `response`.
    const auto scriptDownload = [&server](const QByteArray &response, bool cut, qsizetype bytes) {
        const quint16 dataPort = server.openDataPort(
            cut ? FakeScript().awaitText("\r\n\r\n").sendCut(response, bytes)
                : FakeScript().awaitText("\r\n\r\n").send(response).close());
        server.addScript(FakeScript().awaitText(DownloadRequestEnd).sendReady(dataPort).awaitClose());
    };
    std::unique_ptr<BaseCommand> command;
    switch (scenario) {
    case Scripted::ServerNotRunning:
        port = FakeServer::closedPort();
        Settings::getInstance()->setServerPort(port);
        command = std::make_unique<RefreshListCommand>(1);
        break;
    case Scripted::Silent:
        server.addScript(FakeScript().awaitClose());
        command = std::make_unique<RefreshListCommand>(1);
        break;
    case Scripted::Code1:
    case Scripted::Code2:
    case Scripted::Code3:
    case Scripted::Code12: {
        const int code = scenario == Scripted::Code1 ? 1 : scenario == Scripted::Code2 ? 2
                       : scenario == Scripted::Code3 ? 3 : 12;
        server.addScript(FakeScript().awaitText("refresh\n").sendError(code).close());
        command = std::make_unique<RefreshListCommand>(1);
        break;
    }
    case Scripted::KilledMidTransfer: {
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n";
        scriptDownload(head + QByteArray(10000, 'x'), true, head.size() + 3000);
        command = std::make_unique<DownloadFileCommand>(1, item, target);
        break;
    }
    case Scripted::UnreachableUrl:
        port = FakeServer::closedPort();
        command = std::make_unique<DownloadUrlCommand>(
            1, QStringLiteral("http://127.0.0.1:%1/file.bin").arg(port), target);
        break;
    case Scripted::DiskFull:
        if (!smallDiskMounted)
            QSKIP("a small tmpfs could not be mounted here (needs the right to mount)");
        QFile::remove(smallDiskFile());
        scriptDownload(FakeScript::httpResponse(200, QByteArray(SmallDiskBytes * 2, 'x')), false, 0);
        command = std::make_unique<DownloadFileCommand>(1, item, smallDiskFile());
        break;
    case Scripted::PermissionDenied: {
        // A file nobody may write, not even the superuser the tests may run as.
        QFile probe(QStringLiteral("/sys/kernel/notes"));
        if (!probe.exists() || probe.open(QIODevice::ReadWrite))
            QSKIP("no file here that refuses writing to everyone");
        command = std::make_unique<DownloadFileCommand>(1, item, QStringLiteral("/sys/kernel/notes"));
        break;
    }
    }
    CommandRunner runner(command.release());
    QVERIFY(runner.run(15000));
    QCOMPARE(runner.finishedResults(), QList{result});
    const QString text = failureText(runner);
    for (QString piece : shown) {
        piece.replace(QLatin1String("PORT"), QString::number(port));
        piece.replace(QLatin1String("SMALLDISK"), smallDiskFile());
        QVERIFY2(text.contains(piece), qPrintable(text + QStringLiteral("\n  lacks: ") + piece));
    }
}

void TestFailureCauses::serverRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("taken name") << "Documents"
        << "Create directory Documents failed: the server refused the request (code 6)";
    QTest::newRow("unavailable file") << "lost recording.ogg"
        << "Download file lost recording.ogg failed: the server refused the request (code 9)";
}

void TestFailureCauses::serverRefusals()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    Settings::getInstance()->setServerHost(devServer.host());
    Settings::getInstance()->setServerPort(devServer.port());
    CommandRunner refresh(new RefreshListCommand(1));
    QVERIFY(refresh.run());
    QCOMPARE(refresh.finishedResults(), QList{BaseCommand::NoError});
    ShownRemoteTree listed(static_cast<RefreshListCommand *>(refresh.command())->getReceivedData());
    RemoteFilesTreeItem *existing = listed.find(name);
    QVERIFY(existing);

    std::unique_ptr<BaseCommand> command;
    if (existing->isDir()) {
        // A second folder of the same name, as the user would create it where the list
        // was out of date: its parent is recorded, but the folder keeps it aside.
        QVERIFY(!listed.model().addNewFolder(existing->parent(), name));
        const QList<RemoteFilesTreeItem *> &aside = listed.tree()->takenOutItems();
        QCOMPARE(aside.size(), 1);
        QCOMPARE(aside.first()->parent(), existing->parent());
        command = std::make_unique<MakeDirCommand>(2, listed.ref(aside.first()));
    } else {
        command = std::make_unique<DownloadFileCommand>(2, listed.ref(existing),
                                                        dir.filePath(QStringLiteral("lost.ogg")));
    }
    CommandRunner runner(command.release());
    QVERIFY(runner.run());
    QCOMPARE(runner.finishedResults(), QList{BaseCommand::UnknownError});
    QCOMPARE(failureText(runner), shown);
}

QTEST_MAIN(TestFailureCauses)
#include "tst_failurecauses.moc"
