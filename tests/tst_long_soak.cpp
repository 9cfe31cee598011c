// A long run of many queued commands of every kind against the development server,
// with five streams, while the server is killed and restarted and every download's
// data connection is cut after a fixed number of bytes (so larger files need a
// resume): afterwards every reported outcome must match what really happened, on the
// server, in its store and in the local files.
#include "devserverprocess.h"
#include "ftpserverprocess.h"
#include "itemchangelog.h"
#include "network/commandinfo.h"
#include "network/downloadfilecommand.h"
#include "network/downloadurlcommand.h"
#include "network/mainnetworkthread.h"
#include "network/refreshlistcommand.h"
#include "network/uploadfilecommand.h"
#include "network/uploadurlcommand.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "commandrunner.h"
#include "base/settings.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <numeric>

namespace {

constexpr int CommandCount = 1000;
constexpr int Streams = 5;
// The server cuts every download's data connection after this many bytes of the
// body: a file larger than that arrives only through a resume.
constexpr int CutDownloadAfter = 40000;
// Each round works on folders and a file of its own, in three batches queued one
// after the other: creation, changes, resume and deletion.
constexpr int Rounds = 60;
constexpr int FirstBatchPerRound = 6;
constexpr int SecondBatchPerRound = 7;
// The server is killed once this many commands have finished (inside the second
// batch) and comes back after a short outage.
constexpr int KillAfterFinished = CommandCount / 2;
constexpr int OutageMs = 500;
constexpr int RunLimitMs = 20 * 60 * 1000;
// Local files uploaded, chosen by round: empty to beyond two cuts' worth.
constexpr qsizetype UploadSizes[] = {0, 1, 1000, 30000, 2 * CutDownloadAfter - 10000};

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
    int batch = 0;
    int round = -1;      // item commands and file transfers: the round whose items they use
    QString target;      // an address download's local file
    RemoteItemRef item;  // a URL upload's new item
    QByteArray expected; // the bytes a successful address download must leave there
    QByteArray before;   // what a failed address download must leave there
    bool missing = false; // names something the server does not have
};

// One round's items and files: folder "soak-R" in the root with folder "sub" and the
// uploaded file "up-R.bin"; later "sub" is renamed, the file moved into it under a
// new name with new parameters, downloaded twice (the second time resumed), and the
// file or the whole folder deleted.
struct Round {
    RemoteItemRef dir;
    RemoteItemRef sub;
    RemoteItemRef file;
    QByteArray bytes;
    QString downloadPath;
    QHash<BaseCommand::CommandType, QList<qulonglong>> commands;
    qint64 sizeAfterFirstDownload = -1;
};

QString subName(bool renamed)
{
    return renamed ? QStringLiteral("sub-renamed") : QStringLiteral("sub");
}

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
    QTemporaryDir uploads;
    DevServerProcess server;
    FtpServerProcess ftp;
    WebServer web;
};

void TestLongSoak::initTestCase()
{
    curl_global_init(CURL_GLOBAL_ALL);
    BaseCommand::registerMetaTypes();
    NetworkLimits limits;
    limits.connectMs = limits.writeMs = limits.replyMs = 5000;
    limits.listSilenceMs = 300;
    limits.transferStallSeconds = 5;
    limits.uploadSilenceMs = 10000;
    limits.urlUploadMessageWaitMs = 10000;
    NetworkLimits::set(limits);
    QVERIFY(ftpRoot.isValid());
    QVERIFY(downloads.isValid());
    QVERIFY(uploads.isValid());
    QVERIFY2(server.start({QStringLiteral("--user"), QStringLiteral("alice:secret"),
                           QStringLiteral("--cut-download-after"), QString::number(CutDownloadAfter)}),
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
    const QStringList names = sources.keys();
    const QString ftpBase = QStringLiteral("ftp://127.0.0.1:%1/").arg(ftp.port());
    const QString webBase = QStringLiteral("http://127.0.0.1:%1/").arg(web.port);
    // The remote pane's model: every item of the run hangs below its user's root
    // folder, every change a command hands back is applied to it, and every item
    // checked afterwards is read from it.
    RemoteFilesTreeModel model{QString()};
    new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest, &model);
    RemoteFilesTreeItem *top = model.getRootItem();
    // The run queues every upload itself, at its place in the batches.
    disconnect(&model, &RemoteFilesTreeModel::uploadFile, nullptr, nullptr);
    const auto addFolder = [&](const RemoteItemRef &parent, const QString &name) {
        return model.refFor(model.addNewFolder(parent.item(), name));
    };
    // A local file as a drop adds it.
    const auto addUpload = [&](const RemoteItemRef &folder, const QString &path) {
        RemoteItemRef added;
        const QMetaObject::Connection asked = connect(&model, &RemoteFilesTreeModel::uploadFile, this,
                                                      [&](const RemoteItemRef &item) { added = item; });
        model.addNewItemToModel(QFileInfo(path), folder.item());
        disconnect(asked);
        return added;
    };

    const int threadsBefore = threadCount();
    QHash<qulonglong, Plan> plans;
    QHash<qulonglong, Reports> reports;
    QList<Round> rounds(Rounds);
    QStringList lists;
    QStringList urlDownloads;
    QStringList fileDownloads;
    // The changes the item commands and file transfers handed back.
    QList<RemoteItemChange> itemChanges;
    int finishedCount = 0;
    bool killed = false;
    QElapsedTimer clock;
    clock.start();

    {
        MainNetworkThread scheduler;
        scheduler.setCheckInterval(10);
        // What the item commands and file transfers did comes back as changes: the
        // model applies them, then the log records them.
        connect(&scheduler, &MainNetworkThread::remoteItemChanged, &model, &RemoteFilesTreeModel::applyChange);
        ItemChangeLog changes(&scheduler);
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
        connect(&scheduler, &MainNetworkThread::fileDownloaded, this,
                [&](const QString &path) { fileDownloads.append(path); });
        scheduler.moveToThread(&scheduler);
        scheduler.start();

        qulonglong nextId = 0;
        int batch = 0;
        // Queues one command through `call` on the scheduler's thread, as the GUI's
        // queued signals do, and remembers what it was meant to do.
        const auto queue = [&](Plan plan, const std::function<void()> &call) {
            plan.batch = batch;
            QMetaObject::invokeMethod(&scheduler, call, Qt::BlockingQueuedConnection);
            if (plan.round >= 0)
                rounds[plan.round].commands[plan.type].append(nextId);
            plans.insert(nextId++, plan);
        };
        const auto queueRoundCommand = [&](BaseCommand::CommandType type, int round,
                                           const std::function<void()> &call) {
            Plan plan;
            plan.type = type;
            plan.round = round;
            queue(plan, call);
        };
        const auto queueRefresh = [&] {
            queue(Plan(), [&scheduler] { scheduler.refreshList(); });
        };
        const auto queueAddressDownload = [&](int i) {
            Plan plan;
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
            queue(plan, [&scheduler, url, target] { scheduler.downloadUrl(url, target); });
        };
        const auto queueAddressUpload = [&](int i) {
            Plan plan;
            plan.type = BaseCommand::UploadUrlCommand;
            plan.missing = i % 10 == 1;
            const QString name = plan.missing ? QStringLiteral("missing.bin")
                                              : names.at(random.bounded(int(names.size())));
            plan.expected = sources.value(name);
            plan.item = model.refFor(model.addUrlFile(top, QStringLiteral("upload-%1.bin").arg(i), webBase + name));
            QVERIFY(!plan.item.isNull());
            const RemoteItemRef item = plan.item;
            queue(plan, [&scheduler, item] { scheduler.uploadUrl(item); });
        };
        const auto waitForBatch = [&] {
            while (finishedCount < int(nextId) && clock.elapsed() < RunLimitMs) {
                QTest::qWait(20);
                if (!killed && finishedCount >= KillAfterFinished) {
                    killed = true;
                    server.kill();
                    QTest::qWait(OutageMs);
                    QVERIFY2(server.restart(true), qPrintable(server.errorText()));
                }
            }
            QCOMPARE(finishedCount, int(nextId));
        };

        // Creation: folders, a subfolder, an upload into the new folder.
        for (int r = 0; r < Rounds; ++r) {
            Round &round = rounds[r];
            round.dir = addFolder(model.refFor(top), QStringLiteral("soak-%1").arg(r));
            QVERIFY(!round.dir.isNull());
            round.sub = addFolder(round.dir, subName(false));
            QVERIFY(!round.sub.isNull());
            round.bytes = randomBytes(random, UploadSizes[r % std::size(UploadSizes)]);
            const QString local = uploads.filePath(QStringLiteral("up-%1.bin").arg(r));
            QVERIFY(writeAll(local, round.bytes));
            round.file = addUpload(round.dir, local);
            QVERIFY(!round.file.isNull());
            round.downloadPath = downloads.filePath(QStringLiteral("down-%1.bin").arg(r));
            const RemoteItemRef dir = round.dir;
            const RemoteItemRef sub = round.sub;
            const RemoteItemRef file = round.file;
            queueRoundCommand(BaseCommand::CreateDirectoryCommand, r, [&scheduler, dir] { scheduler.createDir(dir); });
            queueRoundCommand(BaseCommand::CreateDirectoryCommand, r, [&scheduler, sub] { scheduler.createDir(sub); });
            queueRoundCommand(BaseCommand::UploadFileCommand, r, [&scheduler, file] { scheduler.uploadFile(file); });
            queueRefresh();
            queueAddressDownload(int(nextId));
            queueAddressUpload(int(nextId));
        }
        QCOMPARE(int(nextId), Rounds * FirstBatchPerRound);
        waitForBatch();

        // Changes, as the remote view makes them before it asks for the command; the
        // server is killed in the middle of this batch.
        ++batch;
        for (int r = 0; r < Rounds; ++r) {
            Round &round = rounds[r];
            const RemoteItemRef sub = round.sub;
            const RemoteItemRef file = round.file;
            model.renameItem(sub.item(), subName(true));
            queueRoundCommand(BaseCommand::MoveDirectoryCommand, r, [&scheduler, sub] { scheduler.moveDir(sub); });
            QVERIFY(model.moveItem(file.item(), sub.item()));
            model.renameItem(file.item(), QStringLiteral("moved-%1.bin").arg(r));
            queueRoundCommand(BaseCommand::MoveFileCommand, r, [&scheduler, file] { scheduler.moveFile(file); });
            model.setItemDescription(file.item(), QStringLiteral("round %1 \u00e9").arg(r));
            model.setItemSearchable(file.item(), r % 2 == 0);
            queueRoundCommand(BaseCommand::SetParamsCommand, r, [&scheduler, file] { scheduler.setParams(file); });
            // The local view creates the empty target before it asks for the download.
            QVERIFY(writeAll(round.downloadPath, {}));
            const QString path = round.downloadPath;
            queueRoundCommand(BaseCommand::DownloadFileCommand, r,
                              [&scheduler, file, path] { scheduler.downloadFile(file, path); });
            queueRefresh();
            queueAddressDownload(int(nextId));
            queueAddressUpload(int(nextId));
        }
        QCOMPARE(int(nextId), Rounds * (FirstBatchPerRound + SecondBatchPerRound));
        waitForBatch();
        QVERIFY(killed);

        // Resume every download into its partial file, then delete: the file in one
        // round of three, the whole folder in another.
        ++batch;
        for (int r = 0; r < Rounds && int(nextId) < CommandCount; ++r) {
            Round &round = rounds[r];
            round.sizeAfterFirstDownload = QFileInfo(round.downloadPath).size();
            const RemoteItemRef file = round.file;
            const QString path = round.downloadPath;
            queueRoundCommand(BaseCommand::DownloadFileCommand, r,
                              [&scheduler, file, path] { scheduler.downloadFile(file, path); });
            if (r % 3 == 0) {
                model.markDeleted(file.item());
                queueRoundCommand(BaseCommand::DeleteFileCommand, r, [&scheduler, file] { scheduler.deleteFile(file); });
            } else if (r % 3 == 1) {
                const RemoteItemRef dir = round.dir;
                model.markDeleted(dir.item());
                queueRoundCommand(BaseCommand::DeleteDirectoryCommand, r, [&scheduler, dir] { scheduler.deleteDir(dir); });
            }
            queueRefresh();
            if (int(nextId) < CommandCount)
                queueAddressUpload(int(nextId));
        }
        while (int(nextId) < CommandCount)
            queueAddressDownload(int(nextId));
        waitForBatch();
        QTRY_VERIFY(scheduler.getRunningCommandIds().isEmpty());
        QVERIFY(scheduler.getQueuedCommandIds().isEmpty());
        // Each change came before its command's finish report.
        itemChanges = changes.all();
    }
    const qint64 runMs = clock.elapsed();

    // Every command was reported started and finished exactly once.
    QCOMPARE(reports.size(), CommandCount);
    for (auto it = reports.cbegin(); it != reports.cend(); ++it)
        QVERIFY2(it->started == 1 && it->finished == 1, QByteArray::number(it.key()).constData());
    const auto resultOf = [&](qulonglong id) { return reports.value(id).result; };
    const auto changeCount = [&](RemoteItemChange::Kind kind, bool folders) {
        return int(std::count_if(itemChanges.cbegin(), itemChanges.cend(), [&](const RemoteItemChange &change) {
            return change.kind == kind && change.target.item()->isDir() == folders;
        }));
    };
    const auto changesOf = [&](const RemoteItemRef &item) {
        return int(std::count_if(itemChanges.cbegin(), itemChanges.cend(),
                                 [&](const RemoteItemChange &change) { return change.target == item; }));
    };
    const auto succeeded = [&](qulonglong id) { return resultOf(id) == BaseCommand::NoError; };
    // A failure can only be the outage, the cut data connection, or what follows from
    // an earlier failure (an item the server never got is not sent at all).
    const auto failureExplained = [&](qulonglong id) {
        const BaseCommand::CommandResult result = resultOf(id);
        return result == BaseCommand::InitialConnectionError || result == BaseCommand::ConnectionError
            || result == BaseCommand::InitialDataFormatError;
    };

    // What the service holds after the run.
    CommandRunner finalRefresh(new RefreshListCommand(CommandCount));
    QVERIFY(finalRefresh.run());
    QCOMPARE(finalRefresh.finishedResults(), QList{BaseCommand::NoError});
    const QHash<QString, QStringList> stored = listById(
        static_cast<RefreshListCommand *>(finalRefresh.command())->getReceivedData());
    const auto storedBytes = [&](const QStringList &fields) {
        return readAll(QDir(server.dataDir()).filePath(QStringLiteral("files/") + fields.value(9)));
    };

    int refreshSuccesses = 0;
    int refreshFailures = 0;
    int downloadSuccesses = 0;
    int uploadSuccesses = 0;
    QHash<BaseCommand::CommandType, int> roundSuccesses;
    int roundFailures = 0;
    int resumedDownloads = 0;
    for (auto it = plans.cbegin(); it != plans.cend(); ++it) {
        const Plan &plan = it.value();
        const BaseCommand::CommandResult result = resultOf(it.key());
        const QByteArray id = QByteArray::number(it.key());
        if (plan.round >= 0) {
            if (result == BaseCommand::NoError) {
                ++roundSuccesses[plan.type];
            } else {
                ++roundFailures;
                QVERIFY2(failureExplained(it.key()), id.constData());
                // Outside the outage only a download can fail: at the cut.
                QVERIFY2(plan.batch == 1 || plan.type == BaseCommand::DownloadFileCommand, id.constData());
            }
            continue;
        }
        switch (plan.type) {
        case BaseCommand::RefreshListCommand:
            (result == BaseCommand::NoError ? refreshSuccesses : refreshFailures)++;
            // A failed refresh can only be the server's outage.
            if (result != BaseCommand::NoError)
                QVERIFY2(plan.batch == 1 && failureExplained(it.key()), id.constData());
            break;
        case BaseCommand::DownloadUrlCommand:
            if (result == BaseCommand::NoError) {
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
            if (result == BaseCommand::NoError) {
                // Reported uploaded: listed under its new id, and the stored bytes are
                // the address's bytes.
                ++uploadSuccesses;
                QCOMPARE(changesOf(plan.item), 1);
                const QStringList fields = stored.value(QString::number(plan.item.item()->getItemInnerId()));
                QVERIFY2(fields.size() == 11, id.constData());
                QCOMPARE(fields.at(2), plan.item.item()->getItemInnerName());
                QCOMPARE(fields.at(4), QString::number(plan.expected.size()));
                QVERIFY2(storedBytes(fields) == plan.expected, id.constData());
            } else {
                QCOMPARE(changesOf(plan.item), 0);
                // Outside the outage only the missing address fails, and it is never stored.
                if (plan.batch != 1)
                    QVERIFY2(plan.missing, id.constData());
                if (plan.missing) {
                    for (const QStringList &fields : stored)
                        QVERIFY2(fields.value(2) != plan.item.item()->getItemInnerName(), id.constData());
                }
            }
            break;
        default:
            QFAIL("a kind of command the run does not plan");
        }
    }

    // Each round against the server's list and store, and the local files.
    for (int r = 0; r < Rounds; ++r) {
        const Round &round = rounds[r];
        const QByteArray label = "round " + QByteArray::number(r);
        const auto ids = [&](BaseCommand::CommandType type) { return round.commands.value(type); };
        const auto anyOk = [&](BaseCommand::CommandType type) {
            const QList<qulonglong> list = ids(type);
            return std::any_of(list.cbegin(), list.cend(), succeeded);
        };
        // Creation ran before the outage: it all happened.
        for (qulonglong id : ids(BaseCommand::CreateDirectoryCommand) + ids(BaseCommand::UploadFileCommand))
            QVERIFY2(succeeded(id), label.constData());
        const bool dirGone = anyOk(BaseCommand::DeleteDirectoryCommand);
        const bool fileGone = dirGone || anyOk(BaseCommand::DeleteFileCommand);
        const QStringList dirFields = stored.value(QString::number(round.dir.item()->getItemInnerId()));
        const QStringList subFields = stored.value(QString::number(round.sub.item()->getItemInnerId()));
        const QStringList fileFields = stored.value(QString::number(round.file.item()->getItemInnerId()));
        QVERIFY2(dirFields.isEmpty() == dirGone, label.constData());
        QVERIFY2(subFields.isEmpty() == dirGone, label.constData());
        QVERIFY2(fileFields.isEmpty() == fileGone, label.constData());
        // The model took out what the server deleted, and only that.
        QVERIFY2(model.isShown(round.dir.item()) != dirGone, label.constData());
        QVERIFY2(model.isShown(round.file.item()) != fileGone, label.constData());
        if (!dirGone) {
            QCOMPARE(dirFields.value(2), QStringLiteral("soak-%1").arg(r));
            QCOMPARE(subFields.value(3), dirFields.value(0));
            // A rename reported done happened; one reported failed may have reached
            // the server just before it was killed.
            if (anyOk(BaseCommand::MoveDirectoryCommand))
                QCOMPARE(subFields.value(2), subName(true));
        }
        if (!fileGone) {
            if (anyOk(BaseCommand::MoveFileCommand)) {
                QCOMPARE(fileFields.value(3), subFields.value(0));
                QCOMPARE(fileFields.value(2), QStringLiteral("moved-%1.bin").arg(r));
            }
            if (anyOk(BaseCommand::SetParamsCommand)) {
                QCOMPARE(QString::fromLatin1(QByteArray::fromBase64(fileFields.value(6).toLatin1())),
                         QStringLiteral("round %1 \u00e9").arg(r));
                QCOMPARE(fileFields.value(7), QString::number(r % 2 == 0 ? 1 : 0));
            }
            // Every file reported uploaded is stored byte for byte.
            QCOMPARE(fileFields.value(4), QString::number(round.bytes.size()));
            QVERIFY2(storedBytes(fileFields) == round.bytes, label.constData());
        }
        // The local file only ever holds the front of the file; after a download
        // reported finished, all of it.
        const QByteArray local = readAll(round.downloadPath);
        QVERIFY2(round.bytes.startsWith(local), label.constData());
        const QList<qulonglong> downloadIds = ids(BaseCommand::DownloadFileCommand);
        QCOMPARE(downloadIds.size(), 2);
        QCOMPARE(fileDownloads.count(round.downloadPath),
                 int(std::count_if(downloadIds.cbegin(), downloadIds.cend(), succeeded)));
        if (succeeded(downloadIds.last()) || succeeded(downloadIds.first()))
            QVERIFY2(local == round.bytes, label.constData());
        // The first download stopped at the cut, the second completed behind it.
        if (round.sizeAfterFirstDownload > 0 && round.sizeAfterFirstDownload < round.bytes.size()
            && succeeded(downloadIds.last()))
            ++resumedDownloads;
        // A download outside the outage fails only at the cut.
        if (!succeeded(downloadIds.last()))
            QVERIFY2(round.bytes.size() - round.sizeAfterFirstDownload > CutDownloadAfter, label.constData());
    }

    // Nothing was announced that did not succeed, and every success was announced once.
    QCOMPARE(lists.size(), refreshSuccesses);
    QCOMPARE(urlDownloads.size(), downloadSuccesses);
    QCOMPARE(changeCount(RemoteItemChange::UrlUploaded, false), uploadSuccesses);
    QCOMPARE(changeCount(RemoteItemChange::FolderCreated, true),
             roundSuccesses.value(BaseCommand::CreateDirectoryCommand));
    QCOMPARE(changeCount(RemoteItemChange::FileUploaded, false),
             roundSuccesses.value(BaseCommand::UploadFileCommand));
    QCOMPARE(changeCount(RemoteItemChange::Moved, true),
             roundSuccesses.value(BaseCommand::MoveDirectoryCommand));
    QCOMPARE(changeCount(RemoteItemChange::Moved, false),
             roundSuccesses.value(BaseCommand::MoveFileCommand));
    QCOMPARE(changeCount(RemoteItemChange::ParamsSet, false),
             roundSuccesses.value(BaseCommand::SetParamsCommand));
    QCOMPARE(fileDownloads.size(), roundSuccesses.value(BaseCommand::DownloadFileCommand));
    QCOMPARE(changeCount(RemoteItemChange::Deleted, true),
             roundSuccesses.value(BaseCommand::DeleteDirectoryCommand));
    QCOMPARE(changeCount(RemoteItemChange::Deleted, false),
             roundSuccesses.value(BaseCommand::DeleteFileCommand));
    // Nothing but those changes came back.
    QCOMPARE(itemChanges.size(),
             uploadSuccesses + int(std::accumulate(roundSuccesses.cbegin(), roundSuccesses.cend(), 0))
                 - roundSuccesses.value(BaseCommand::DownloadFileCommand));
    QVERIFY(uploadSuccesses > 0);
    QVERIFY(refreshSuccesses > 0);
    QVERIFY(resumedDownloads > 0);
    // Every command's thread has ended and been deleted with the scheduler.
    QTRY_VERIFY_WITH_TIMEOUT(threadCount() <= threadsBefore, 10000);
    qInfo("%d commands in %lld ms; refreshes: %d ok, %d failed; address downloads: %d ok; URL uploads: %d ok; "
          "item commands and file transfers: %d ok, %d failed; downloads cut and resumed: %d",
          CommandCount, runMs, refreshSuccesses, refreshFailures, downloadSuccesses, uploadSuccesses,
          int(std::accumulate(roundSuccesses.cbegin(), roundSuccesses.cend(), 0)), roundFailures,
          resumedDownloads);
}

QTEST_MAIN(TestLongSoak)
#include "tst_long_soak.moc"
