// A long run of many queued commands of every kind against the development server,
// with five streams, while the server is killed and restarted: afterwards every
// reported outcome must match what really happened.
#include "devserverprocess.h"
#include "ftpserverprocess.h"
#include "network/commandinfo.h"
#include "network/downloadurlcommand.h"
#include "network/mainnetworkthread.h"
#include "network/refreshlistcommand.h"
#include "settings.h"

#include <QDir>
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
    QByteArray expected; // the bytes a successful download must leave there
    QByteArray before;   // what a failed download must leave there
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
};

void TestLongSoak::initTestCase()
{
    curl_global_init(CURL_GLOBAL_ALL);
    BaseCommand::registerMetaTypes();
    BaseCommand::setTimeouts({5000, 5000, 5000});
    RefreshListCommand::setSilenceMs(300);
    DownloadUrlCommand::setStallTimeoutSeconds(5);
    QVERIFY(ftpRoot.isValid());
    QVERIFY(downloads.isValid());
    QVERIFY2(server.start({QStringLiteral("--user"), QStringLiteral("alice:secret")}),
             qPrintable(server.errorText()));
    QVERIFY2(ftp.start(ftpRoot.path()), qPrintable(ftp.errorText()));

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

    const int threadsBefore = threadCount();
    QHash<qulonglong, Plan> plans;
    QHash<qulonglong, Reports> reports;
    QStringList lists;
    QStringList urlDownloads;
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
        scheduler.moveToThread(&scheduler);
        scheduler.start();

        const QStringList names = sources.keys();
        for (int i = 0; i < CommandCount; ++i) {
            Plan plan;
            switch (random.bounded(3)) {
            case 0:
                plan.type = BaseCommand::RefreshListCommand;
                QMetaObject::invokeMethod(&scheduler, &MainNetworkThread::refreshList,
                                          Qt::BlockingQueuedConnection);
                break;
            default: {
                plan.type = BaseCommand::DownloadUrlCommand;
                plan.target = downloads.filePath(QStringLiteral("url-%1.bin").arg(i));
                // Every tenth asks for a file the server does not have.
                const bool missing = i % 10 == 0;
                const QString name = missing ? QStringLiteral("missing.bin")
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
                QVERIFY2(plan.expected.isNull(), id.constData());
                QCOMPARE(urlDownloads.count(plan.target), 0);
                QVERIFY2(readAll(plan.target) == plan.before, id.constData());
            }
            break;
        default:
            QFAIL("a kind of command the run does not plan");
        }
    }
    // Nothing was announced that did not succeed.
    QCOMPARE(lists.size(), refreshSuccesses);
    QCOMPARE(urlDownloads.size(), downloadSuccesses);
    QVERIFY(refreshSuccesses > 0);
    // Every command's thread has ended and been deleted with the scheduler.
    QTRY_VERIFY_WITH_TIMEOUT(threadCount() <= threadsBefore, 10000);
    qInfo("refreshes: %d ok, %d failed; address downloads: %d ok", refreshSuccesses,
          refreshFailures, downloadSuccesses);
}

QTEST_GUILESS_MAIN(TestLongSoak)
#include "tst_long_soak.moc"
