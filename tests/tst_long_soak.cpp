// A long run of many queued commands of every kind against the development server,
// with five streams, while the server is killed and restarted: afterwards every
// reported outcome must match what really happened.
#include "devserverprocess.h"
#include "ftpserverprocess.h"
#include "network/commandinfo.h"
#include "network/downloadurlcommand.h"
#include "network/mainnetworkthread.h"
#include "network/refreshlistcommand.h"
#include "network/uploadurlcommand.h"
#include "remotetree/remotefileinfo.h"
#include "remotetree/remotefilestreeitem.h"
#include "commandrunner.h"
#include "settings.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

namespace {

constexpr int CommandCount = 1000;
constexpr int Streams = 5;
// The server is killed once this many commands have finished, and comes back after
// a short outage.
constexpr int KillAfterFinished = CommandCount / 2;
constexpr int OutageMs = 500;
constexpr int RunLimitMs = 20 * 60 * 1000;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

// Threads of this process, from the kernel's own count.
int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

QByteArray randomBytes(QRandomGenerator &random, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// A plain web server (Python's) on a loopback port, serving one folder: the addresses
// the service fetches for URL uploads.
class WebServer final
{
public:
    ~WebServer()
    {
        process.kill();
        process.waitForFinished();
    }
    bool start(const QString &root)
    {
        // It announces its port on standard output and logs every request on
        // standard error, which nobody reads.
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral("python3"),
                      {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                       QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--directory"), root, QStringLiteral("0")});
        static const QRegularExpression serving(QStringLiteral("port (\\d+)"));
        QByteArray output;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000 && process.waitForReadyRead(15000)) {
            output += process.readAll();
            const QRegularExpressionMatch match = serving.match(QString::fromLatin1(output));
            if (match.hasMatch()) {
                port = quint16(match.captured(1).toUInt());
                return true;
            }
        }
        return false;
    }
    quint16 port = 0;

private:
    QProcess process;
};

// The server's list as id -> fields.
QHash<QString, QStringList> listById(const QString &list)
{
    QHash<QString, QStringList> items;
    for (const QString &line : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        items.insert(fields.value(0), fields);
    }
    return items;
}

// Everything the scheduler told the GUI about one command.
struct Reports {
    int started = 0;
    int finished = 0;
    BaseCommand::CommandResult result = BaseCommand::NoError;
};

// What one queued command was meant to do.
struct Plan {
    BaseCommand::CommandType type = BaseCommand::RefreshListCommand;
    QString target;      // a download's local file
    RemoteFilesTreeItem *item = nullptr; // a URL upload's new item
    QByteArray expected; // the bytes a successful download must leave there
    QByteArray before;   // what a failed download must leave there
    bool missing = false; // names something the server does not have
};

} // namespace

class TestLongSoak : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void manyCommandsThroughAServerRestart();

private:
    QTemporaryDir ftpRoot;
    QTemporaryDir downloads;
    DevServerProcess server;
    FtpServerProcess ftp;
    WebServer web;
};

void TestLongSoak::initTestCase()
{
    curl_global_init(CURL_GLOBAL_ALL);
    BaseCommand::registerMetaTypes();
    qRegisterMetaType<RemoteFilesTreeItem *>("RemoteFilesTreeItem*");
    BaseCommand::setTimeouts({5000, 5000, 5000});
    RefreshListCommand::setSilenceMs(300);
    DownloadUrlCommand::setStallTimeoutSeconds(5);
    UploadUrlCommand::setMessageWaitMs(10000);
    QVERIFY(ftpRoot.isValid());
    QVERIFY(downloads.isValid());
    QVERIFY2(server.start({QStringLiteral("--user"), QStringLiteral("alice:secret")}),
             qPrintable(server.errorText()));
    QVERIFY2(ftp.start(ftpRoot.path()), qPrintable(ftp.errorText()));
    QVERIFY(web.start(ftpRoot.path()));

    Settings *settings = Settings::getInstance();
    settings->setLogin(QStringLiteral("alice"));
    settings->setPass(QStringLiteral("secret"));
    settings->setServerHost(server.host());
    settings->setServerPort(server.port());
    settings->setStreamsCount(Streams);
    settings->setSyncType(Settings::BackgroundSync);
}

void TestLongSoak::manyCommandsThroughAServerRestart()
{
    QRandomGenerator random(20261210);
    // Files the address downloads fetch, from empty to a few hundred KiB.
    QHash<QString, QByteArray> sources;
    for (const qsizetype size : {0, 1, 1000, 65536, 300000}) {
        const QString name = QStringLiteral("file-%1.bin").arg(size);
        sources.insert(name, randomBytes(random, size));
        QVERIFY(writeAll(QDir(ftpRoot.path()).filePath(name), sources.value(name)));
    }
    const QString ftpBase = QStringLiteral("ftp://127.0.0.1:%1/").arg(ftp.port());
    const QString webBase = QStringLiteral("http://127.0.0.1:%1/").arg(web.port);
    // The account's top folder, holding the items of the URL uploads; it outlives the
    // scheduler and its commands.
    RemoteFilesTreeItem top(RemoteFileInfo(0, 0, true, QStringLiteral("alice's root"), 0,
                                           QDateTime::currentDateTime(), true),
                            nullptr);

    const int threadsBefore = threadCount();
    QHash<qulonglong, Plan> plans;
    QHash<qulonglong, Reports> reports;
    QStringList lists;
    QStringList urlDownloads;
    QList<RemoteFilesTreeItem *> urlUploads;
    int finishedCount = 0;
    bool killed = false;

    {
        MainNetworkThread scheduler;
        scheduler.setCheckInterval(10);
        connect(&scheduler, &MainNetworkThread::refreshProgress, this, [&](CommandInfo *info) {
            Reports &r = reports[info->getCommandId()];
            if (info->getCommandState() == CommandInfo::Started)
                ++r.started;
            if (info->getCommandState() == CommandInfo::Finished) {
                ++r.finished;
                r.result = info->getCommandResult();
                ++finishedCount;
            }
            delete info;
        });
        connect(&scheduler, &MainNetworkThread::newRemoteListReceived, this,
                [&](const QString &list) { lists.append(list); });
        connect(&scheduler, &MainNetworkThread::urlDownloaded, this,
                [&](const QString &path) { urlDownloads.append(path); });
        connect(&scheduler, &MainNetworkThread::urlUploaded, this,
                [&](RemoteFilesTreeItem *item) { urlUploads.append(item); });
        scheduler.moveToThread(&scheduler);
        scheduler.start();

        const QStringList names = sources.keys();
        for (int i = 0; i < CommandCount; ++i) {
            Plan plan;
            switch (random.bounded(4)) {
            case 0:
                plan.type = BaseCommand::RefreshListCommand;
                QMetaObject::invokeMethod(&scheduler, &MainNetworkThread::refreshList,
                                          Qt::BlockingQueuedConnection);
                break;
            case 1: {
                plan.type = BaseCommand::UploadUrlCommand;
                plan.missing = i % 10 == 1;
                const QString name = plan.missing ? QStringLiteral("missing.bin")
                                             : names.at(random.bounded(int(names.size())));
                plan.expected = sources.value(name);
                plan.item = new RemoteFilesTreeItem(
                    RemoteFileInfo(0, 0, false, QStringLiteral("upload-%1.bin").arg(i), 0,
                                   QDateTime::currentDateTime(), false),
                    &top);
                top.appendChild(plan.item);
                plan.item->setItemUrl(webBase + name);
                RemoteFilesTreeItem *item = plan.item;
                QMetaObject::invokeMethod(
                    &scheduler, [&scheduler, item] { scheduler.uploadUrl(item); },
                    Qt::BlockingQueuedConnection);
                break;
            }
            default: {
                plan.type = BaseCommand::DownloadUrlCommand;
                plan.target = downloads.filePath(QStringLiteral("url-%1.bin").arg(i));
                // Every tenth asks for a file the server does not have.
                plan.missing = i % 10 == 0;
                const QString name = plan.missing ? QStringLiteral("missing.bin")
                                             : names.at(random.bounded(int(names.size())));
                plan.expected = sources.value(name);
                plan.before = i % 4 == 0 ? QByteArray("stale bytes") : QByteArray();
                QVERIFY(writeAll(plan.target, plan.before));
                const QString url = ftpBase + name;
                const QString target = plan.target;
                QMetaObject::invokeMethod(
                    &scheduler, [&scheduler, url, target] { scheduler.downloadUrl(url, target); },
                    Qt::BlockingQueuedConnection);
                break;
            }
            }
            plans.insert(qulonglong(i), plan);
        }

        QElapsedTimer clock;
        clock.start();
        while (finishedCount < CommandCount && clock.elapsed() < RunLimitMs) {
            QTest::qWait(20);
            if (!killed && finishedCount >= KillAfterFinished) {
                killed = true;
                server.kill();
                QTest::qWait(OutageMs);
                QVERIFY2(server.restart(true), qPrintable(server.errorText()));
            }
        }
        QCOMPARE(finishedCount, CommandCount);
        QTRY_VERIFY(scheduler.getRunningCommandIds().isEmpty());
        QVERIFY(scheduler.getQueuedCommandIds().isEmpty());
    }
    QVERIFY(killed);

    // Every command was reported started and finished exactly once.
    QCOMPARE(reports.size(), CommandCount);
    int refreshSuccesses = 0;
    int refreshFailures = 0;
    int downloadSuccesses = 0;
    int uploadSuccesses = 0;
    // What the service holds after the run.
    CommandRunner finalRefresh(new RefreshListCommand(CommandCount));
    QVERIFY(finalRefresh.run());
    QCOMPARE(finalRefresh.finishedResults(), QList{BaseCommand::NoError});
    const QHash<QString, QStringList> stored = listById(
        static_cast<RefreshListCommand *>(finalRefresh.command())->getReceivedData());
    for (auto it = plans.cbegin(); it != plans.cend(); ++it) {
        const Reports r = reports.value(it.key());
        const QByteArray id = QByteArray::number(it.key());
        QVERIFY2(r.started == 1 && r.finished == 1, id.constData());
        const Plan &plan = it.value();
        switch (plan.type) {
        case BaseCommand::RefreshListCommand:
            (r.result == BaseCommand::NoError ? refreshSuccesses : refreshFailures)++;
            // A failed refresh can only be the server's outage.
            if (r.result != BaseCommand::NoError)
                QVERIFY2(r.result == BaseCommand::InitialConnectionError
                             || r.result == BaseCommand::ConnectionError,
                         id.constData());
            break;
        case BaseCommand::DownloadUrlCommand:
            if (r.result == BaseCommand::NoError) {
                ++downloadSuccesses;
                QVERIFY2(readAll(plan.target) == plan.expected, id.constData());
                QCOMPARE(urlDownloads.count(plan.target), 1);
            } else {
                // Only the missing file fails, and the user's file stays as it was.
                QVERIFY2(plan.missing, id.constData());
                QCOMPARE(urlDownloads.count(plan.target), 0);
                QVERIFY2(readAll(plan.target) == plan.before, id.constData());
            }
            break;
        case BaseCommand::UploadUrlCommand:
            if (r.result == BaseCommand::NoError) {
                // Reported uploaded: listed under its new id, and the stored bytes are
                // the address's bytes.
                ++uploadSuccesses;
                QCOMPARE(urlUploads.count(plan.item), 1);
                const QStringList fields = stored.value(QString::number(plan.item->getItemInnerId()));
                QVERIFY2(fields.size() == 11, id.constData());
                QCOMPARE(fields.at(2), plan.item->getItemInnerName());
                QCOMPARE(fields.at(4), QString::number(plan.expected.size()));
                const QString content = QDir(server.dataDir())
                                            .filePath(QStringLiteral("files/") + fields.at(9));
                QVERIFY2(readAll(content) == plan.expected, id.constData());
            } else {
                QCOMPARE(urlUploads.count(plan.item), 0);
                // An address that does not exist is never stored.
                if (plan.missing) {
                    for (const QStringList &fields : stored)
                        QVERIFY2(fields.value(2) != plan.item->getItemInnerName(), id.constData());
                }
            }
            break;
        default:
            QFAIL("a kind of command the run does not plan");
        }
    }
    // Nothing was announced that did not succeed.
    QCOMPARE(lists.size(), refreshSuccesses);
    QCOMPARE(urlDownloads.size(), downloadSuccesses);
    QCOMPARE(urlUploads.size(), uploadSuccesses);
    QVERIFY(uploadSuccesses > 0);
    QVERIFY(refreshSuccesses > 0);
    // Every command's thread has ended and been deleted with the scheduler.
    QTRY_VERIFY_WITH_TIMEOUT(threadCount() <= threadsBefore, 10000);
    qInfo("refreshes: %d ok, %d failed; address downloads: %d ok; URL uploads: %d ok",
          refreshSuccesses, refreshFailures, downloadSuccesses, uploadSuccesses);
}

QTEST_GUILESS_MAIN(TestLongSoak)
#include "tst_long_soak.moc"
