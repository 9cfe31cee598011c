#include "base/settings.h"
#include "fakecommand.h"
#include "fakeserver.h"
#include "network/commandadmission.h"
#include "network/commandinfo.h"
#include "network/downloadurlcommand.h"
#include "network/mainnetworkthread.h"
#include "network/refreshlistcommand.h"
#include "network/uploadfilecommand.h"
#include "remotelistfixture.h"
#include "shownremotetree.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <memory>

namespace {

struct Record {
    qulonglong id;
    CommandInfo::CommandState state;
    BaseCommand::CommandType kind;
    QString type;
    BaseCommand::CommandResult result;
    int percent;
    int remaining;
    double speed;
};

// A scheduler on its own thread with a 10 ms check timer, the GUI side's view of it
// (progress records, queueEmpty, lists), and the fake commands it was given.
class SchedulerFixture final
{
public:
    SchedulerFixture(Settings::SyncType policy, int streams, int checkIntervalMs = 10)
    {
        Settings *settings = Settings::getInstance();
        settings->setSyncType(policy);
        settings->setStreamsCount(streams);
        scheduler.setCheckInterval(checkIntervalMs);
        QObject::connect(settings, &Settings::settingChange, &scheduler,
                         &MainNetworkThread::syncModeChange);
        QObject::connect(&scheduler, &MainNetworkThread::refreshProgress, &gui,
                         [this](CommandInfo *info) {
                             records.append({info->getCommandId(), info->getCommandState(),
                                             info->getCommandKind(), info->getCommandType(),
                                             info->getCommandResult(),
                                             info->getProgressState(),
                                             info->getProgressRemainTime(),
                                             info->getProgressSpeed()});
                             delete info;
                         });
        QObject::connect(&scheduler, &MainNetworkThread::queueEmpty, &gui,
                         [this] { ++queueEmptyCount; });
        QObject::connect(&scheduler, &MainNetworkThread::newRemoteListReceived, &gui,
                         [this](const QString &list) { lists.append(list); });
        scheduler.moveToThread(&scheduler);
        scheduler.start();
    }

    ~SchedulerFixture()
    {
        for (const auto &entry : commands) {
            if (!entry.released)
                entry.command->release();
        }
        QTRY_VERIFY_WITH_TIMEOUT(scheduler.getRunningCommandIds().isEmpty(), 5000);
    }

    qulonglong queue(BaseCommand::CommandExclusivity exclusivity,
                     std::function<void(FakeCommand *)> prepare = {})
    {
        FakeCommand *command = nullptr;
        const qulonglong id = scheduler.queueCommand([&](qulonglong newId) {
            command = new FakeCommand(newId, exclusivity, typeOf(exclusivity));
            return command;
        });
        if (prepare)
            prepare(command);
        commands.insert(id, {command, false});
        return id;
    }

    void release(qulonglong id, BaseCommand::CommandResult result = BaseCommand::NoError)
    {
        Entry &entry = commands[id];
        QVERIFY(!entry.released);
        entry.released = true;
        entry.command->release(result);
    }

    void sync()
    {
        QMetaObject::invokeMethod(&scheduler, "startManualSync", Qt::BlockingQueuedConnection);
    }

    bool isRunning(qulonglong id) const { return scheduler.getRunningCommandIds().contains(id); }

    QList<Record> recordsOf(qulonglong id) const
    {
        QList<Record> result;
        for (const Record &record : records) {
            if (record.id == id)
                result.append(record);
        }
        return result;
    }

    bool hasFinished(qulonglong id) const
    {
        for (const Record &record : records) {
            if (record.id == id && record.state == CommandInfo::Finished)
                return true;
        }
        return false;
    }

    // A command kind of each class, as the program's commands use them.
    static BaseCommand::CommandType typeOf(BaseCommand::CommandExclusivity exclusivity)
    {
        switch (exclusivity) {
        case BaseCommand::NonServer: return BaseCommand::DownloadUrlCommand;
        case BaseCommand::NonExclusive: return BaseCommand::UploadFileCommand;
        case BaseCommand::Exclusive: return BaseCommand::CreateDirectoryCommand;
        case BaseCommand::DestroyingExclusive: break;
        }
        return BaseCommand::DeleteFileCommand;
    }

    QObject gui;
    MainNetworkThread scheduler;
    QList<Record> records;
    int queueEmptyCount = 0;
    QStringList lists;

private:
    struct Entry {
        FakeCommand *command;
        bool released;
    };
    QMap<qulonglong, Entry> commands;
};

// The time of day the timed policy reads, set by the test; read on the scheduler's thread.
class FakeClock final
{
public:
    explicit FakeClock(QTime start) : state(std::make_shared<State>()) { state->now = start; }
    void set(QTime t)
    {
        QMutexLocker lock(&state->mutex);
        state->now = t;
    }
    std::function<QTime()> function() const
    {
        return [state = state] {
            QMutexLocker lock(&state->mutex);
            return state->now;
        };
    }

private:
    struct State {
        QMutex mutex;
        QTime now;
    };
    std::shared_ptr<State> state;
};

// A faulty command: its thread ends without reporting how it ended.
class SilentCommand final : public BaseCommand
{
public:
    explicit SilentCommand(qulonglong id) : BaseCommand(id, CreateDirectoryCommand, Exclusive) {}
    QString getCommandTypeString() const override { return QStringLiteral("Silent"); }
    void execute() override { Q_EMIT started(commandId); }

protected:
    QString getCommandName() const override { return QStringLiteral("silent"); }
};

// Lets the check timer tick several times.
constexpr int SeveralTicksMs = 120;

} // namespace

class TestMainNetworkThread : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void progressArithmetic_data();
    void progressArithmetic();
    void recordsOfACommand();

    void admissionTable_data();
    void admissionTable();
    void queueAdmission_data();
    void queueAdmission();
    void itemRequestMakesACommandOfItsKind_data();
    void itemRequestMakesACommandOfItsKind();
    void blockedFirstCommandBlocksTheQueue();
    void streamsLimitKeepsQueueOrder();
    void freedStreamAdmitsTheNextCommandAtOnce_data();
    void freedStreamAdmitsTheNextCommandAtOnce();

    void manualPolicyStartsOnSyncAndOnEachFinish();
    void switchingToManualStopsAutomaticStarts();
    void timedPolicyStartsOncePerEmptyQueue();
    void timedStartFlagOutlivesAnEmptyMinute();

    void firstRefreshBypassesTheQueue();
    void backgroundRefreshWaitsForTheTimer();
    void successfulRefreshAnnouncesTheList();
    void finishedCommandIsDeletedOnlyAfterItsThreadEnded();
    void commandEndingWithoutReportFailsOnce();
    void stopAllCommandsEndsWorkAtOnce();
    void stopAllCommandsWaitsALimitedTime();
};

void TestMainNetworkThread::init()
{
    BaseCommand::registerMetaTypes();
    Settings *settings = Settings::getInstance();
    settings->setServerHost(QStringLiteral("127.0.0.1"));
    settings->setServerPort(FakeServer::closedPort());
    settings->setLogin(QStringLiteral("alice"));
    settings->setPass(QStringLiteral("pw"));
}

void TestMainNetworkThread::progressArithmetic_data()
{
    QTest::addColumn<qulonglong>("current");
    QTest::addColumn<qulonglong>("full");
    QTest::addColumn<int>("time");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("remaining");
    QTest::addColumn<double>("speed");

    QTest::newRow("worked example") << 300ULL << 900ULL << 100 << 33 << 0 << 3.0;
    QTest::newRow("current above full") << 1000ULL << 900ULL << 100 << 100 << 0 << 9.0;
    QTest::newRow("time 0 counts as 1") << 50ULL << 100ULL << 0 << 50 << 0 << 50.0;
    QTest::newRow("nothing yet") << 0ULL << 100ULL << 10 << 0 << 1000 << 0.0001;
    QTest::newRow("slow") << 2000ULL << 1000000ULL << 1000 << 0 << 499 << 2.0;
    QTest::newRow("full 0") << 0ULL << 0ULL << 5 << 0 << 0 << 0.0001;
    QTest::newRow("full 0, bytes arrived") << 700ULL << 0ULL << 5 << 0 << 0 << 0.0001;
    QTest::newRow("6 GiB of 8 GiB") << 6442450944ULL << 8589934592ULL << 60000 << 75 << 20
                                    << 107374.0;
    QTest::newRow("remaining beyond int") << 0ULL << 1000000000000000ULL << 1 << 0 << INT_MAX
                                          << 0.0001;
}

void TestMainNetworkThread::progressArithmetic()
{
    QFETCH(qulonglong, current);
    QFETCH(qulonglong, full);
    QFETCH(int, time);
    const MainNetworkThread::Progress progress =
        MainNetworkThread::computeProgress(current, full, time);
    QTEST(progress.percent, "percent");
    QTEST(progress.remainingSeconds, "remaining");
    QTEST(progress.speed, "speed");
}

void TestMainNetworkThread::recordsOfACommand()
{
    SchedulerFixture f(Settings::ManualSync, 5);
    const qulonglong ok = f.queue(BaseCommand::NonExclusive, [](FakeCommand *c) {
        c->addProgress(300, 900, 100);
        c->addProgress(1000, 900, 0);
    });
    const qulonglong failing = f.queue(BaseCommand::NonExclusive);
    f.sync();
    QTRY_COMPARE(f.recordsOf(ok).size(), 3);
    f.release(ok);
    f.release(failing, BaseCommand::IncorrectPasswordError);
    QTRY_VERIFY(f.hasFinished(ok) && f.hasFinished(failing));

    const QList<Record> records = f.recordsOf(ok);
    QCOMPARE(records.size(), 4);
    const QString type = QStringLiteral("Fake %1").arg(ok);
    const QList<std::tuple<CommandInfo::CommandState, int, int, double>> expected{
        {CommandInfo::Started, 0, 0, 0.0},
        {CommandInfo::Processing, 33, 0, 3.0},
        {CommandInfo::Processing, 100, 0, 900.0},
        {CommandInfo::Finished, 100, 0, 0.0}};
    for (int i = 0; i < records.size(); ++i) {
        QCOMPARE(records[i].state, std::get<0>(expected[i]));
        QCOMPARE(records[i].percent, std::get<1>(expected[i]));
        QCOMPARE(records[i].remaining, std::get<2>(expected[i]));
        QCOMPARE(records[i].speed, std::get<3>(expected[i]));
        QCOMPARE(records[i].type, type);
        QCOMPARE(records[i].result, BaseCommand::NoError);
    }

    // A failure before any progress: Started, then Finished with the result.
    const QList<Record> failed = f.recordsOf(failing);
    QCOMPARE(failed.size(), 2);
    QCOMPARE(failed[0].state, CommandInfo::Started);
    QCOMPARE(failed[0].result, BaseCommand::NoError);
    QCOMPARE(failed[1].state, CommandInfo::Finished);
    QCOMPARE(failed[1].result, BaseCommand::IncorrectPasswordError);
    QCOMPARE(failed[1].percent, 100);
}

void TestMainNetworkThread::admissionTable_data()
{
    QTest::addColumn<int>("running");
    QTest::addColumn<int>("next");
    QTest::addColumn<bool>("starts");

    const char *names[] = {"NonServer", "NonExclusive", "Exclusive", "DestroyingExclusive"};
    // Rows: what runs; columns: what waits first in the queue.
    const bool table[4][4] = {
        {true, true, true, true},
        {true, true, true, false},
        {true, false, false, false},
        {true, false, false, false},
    };
    for (int cur = 0; cur < 4; ++cur) {
        for (int next = 0; next < 4; ++next) {
            QTest::addRow("%s running, %s next", names[cur], names[next])
                << cur << next << table[cur][next];
        }
    }
}

void TestMainNetworkThread::admissionTable()
{
    QFETCH(int, running);
    QFETCH(int, next);
    QFETCH(bool, starts);

    CommandAdmission admission;
    const QList<BaseCommand::CommandExclusivity> queue{BaseCommand::CommandExclusivity(next)};
    // Whatever waits starts when nothing runs, and when what ran has finished.
    QCOMPARE(admission.admissibleCount(queue, 5), 1);
    admission.add(BaseCommand::CommandExclusivity(running));
    QCOMPARE(admission.admissibleCount(queue, 5), starts ? 1 : 0);
    admission.remove(BaseCommand::CommandExclusivity(running));
    QCOMPARE(admission.admissibleCount(queue, 5), 1);
}

namespace {
// "NS" NonServer, "NE" NonExclusive, "E" Exclusive, "DE" DestroyingExclusive.
QList<BaseCommand::CommandExclusivity> classes(const QString &text)
{
    QList<BaseCommand::CommandExclusivity> result;
    for (const QString &name : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        result.append(name == QLatin1String("NS")   ? BaseCommand::NonServer
                      : name == QLatin1String("NE") ? BaseCommand::NonExclusive
                      : name == QLatin1String("E")  ? BaseCommand::Exclusive
                                                    : BaseCommand::DestroyingExclusive);
    }
    return result;
}
} // namespace

void TestMainNetworkThread::queueAdmission_data()
{
    QTest::addColumn<QString>("running");
    QTest::addColumn<QString>("queue");
    QTest::addColumn<int>("streams");
    QTest::addColumn<int>("starting");

    QTest::newRow("nothing queued") << "NE" << "" << 5 << 0;
    QTest::newRow("uploads fill the free streams") << "" << "NE NE NE" << 2 << 2;
    QTest::newRow("no free stream") << "E" << "NE" << 1 << 0;
    QTest::newRow("a URL download takes a stream too") << "NS" << "NE NE" << 2 << 1;
    QTest::newRow("no streams at all") << "" << "NS" << 0 << 0;
    QTest::newRow("a blocked first command blocks those behind it")
        << "NE" << "DE E NS" << 3 << 0;
    QTest::newRow("a deletion starts alone") << "" << "DE E NS" << 3 << 1;
    QTest::newRow("a deletion keeps the folder creation and what follows waiting")
        << "DE" << "E NS" << 3 << 0;
    QTest::newRow("an exclusive command joins uploads, then holds the next upload")
        << "NE" << "E NE" << 5 << 1;
    QTest::newRow("URL downloads join a deletion") << "DE" << "NS NS" << 5 << 2;
    QTest::newRow("a deletion beside a URL download, then nothing")
        << "NS" << "DE NE" << 5 << 1;
    QTest::newRow("counted as they start: the second exclusive waits")
        << "" << "E E" << 5 << 1;
}

void TestMainNetworkThread::queueAdmission()
{
    QFETCH(QString, running);
    QFETCH(QString, queue);
    QFETCH(int, streams);

    CommandAdmission admission;
    for (const BaseCommand::CommandExclusivity exclusivity : classes(running))
        admission.add(exclusivity);
    QTEST(admission.admissibleCount(classes(queue), streams), "starting");
}

// The real scheduler obeys the admission rule (see queueAdmission for its cases). Under
// the manual policy a start happens only within sync() or a finish, so what waits
// after either has returned or been seen waits for good.
void TestMainNetworkThread::itemRequestMakesACommandOfItsKind_data()
{
    QTest::addColumn<BaseCommand::CommandType>("kind");
    QTest::newRow("upload") << BaseCommand::UploadFileCommand;
    QTest::newRow("create folder") << BaseCommand::CreateDirectoryCommand;
    QTest::newRow("move folder") << BaseCommand::MoveDirectoryCommand;
    QTest::newRow("move file") << BaseCommand::MoveFileCommand;
    QTest::newRow("set parameters") << BaseCommand::SetParamsCommand;
    QTest::newRow("delete folder") << BaseCommand::DeleteDirectoryCommand;
    QTest::newRow("delete file") << BaseCommand::DeleteFileCommand;
    QTest::newRow("upload from an address") << BaseCommand::UploadUrlCommand;
}

// Each kind's entry in the scheduler's table creates a command of that kind (it fails
// here: the server is unreachable, or the item cannot be sent).
void TestMainNetworkThread::itemRequestMakesACommandOfItsKind()
{
    QFETCH(BaseCommand::CommandType, kind);
    ShownRemoteTree shown(RemoteListFixture::line(9, true, QStringLiteral("docs"), 0));
    const RemoteItemRef folder = shown.ref(shown.find(QStringLiteral("docs")));
    SchedulerFixture f(Settings::ManualSync, 1);
    QMetaObject::invokeMethod(&f.scheduler, "requestItemCommand", Qt::BlockingQueuedConnection,
                              Q_ARG(BaseCommand::CommandType, kind), Q_ARG(RemoteItemRef, folder));
    QCOMPARE(f.scheduler.getQueuedCommandIds(), QList<qulonglong>{0});
    f.sync();
    QTRY_VERIFY(f.hasFinished(0));
    const QList<Record> records = f.recordsOf(0);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.first().kind, kind);

    // A kind that needs more than an item is not made from one.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no command on an item")));
    QMetaObject::invokeMethod(&f.scheduler, "requestItemCommand", Qt::BlockingQueuedConnection,
                              Q_ARG(BaseCommand::CommandType, BaseCommand::DownloadFileCommand),
                              Q_ARG(RemoteItemRef, folder));
    QVERIFY(f.scheduler.getQueuedCommandIds().isEmpty());
}

void TestMainNetworkThread::blockedFirstCommandBlocksTheQueue()
{
    SchedulerFixture f(Settings::ManualSync, 3);
    const qulonglong upload = f.queue(BaseCommand::NonExclusive);
    f.sync();
    QVERIFY(f.isRunning(upload));

    // A deletion waits for the upload, and the folder creation and the URL download
    // behind it wait too, though either could run beside the upload.
    const qulonglong deletion = f.queue(BaseCommand::DestroyingExclusive);
    const qulonglong makeDir = f.queue(BaseCommand::Exclusive);
    const qulonglong urlDownload = f.queue(BaseCommand::NonServer);
    f.sync();
    QCOMPARE(f.scheduler.getQueuedCommandIds(), (QList<qulonglong>{deletion, makeDir, urlDownload}));

    f.release(upload);
    QTRY_VERIFY(f.isRunning(deletion));
    QCOMPARE(f.scheduler.getQueuedCommandIds(), (QList<qulonglong>{makeDir, urlDownload}));

    // While the deletion runs, nothing but a NonServer command may join it; the
    // folder creation is first in line, so both wait.
    f.release(deletion);
    QTRY_VERIFY(f.isRunning(makeDir));
    // NonServer always starts, whatever runs.
    QTRY_VERIFY(f.isRunning(urlDownload));
}

void TestMainNetworkThread::streamsLimitKeepsQueueOrder()
{
    SchedulerFixture f(Settings::ManualSync, 1);
    const qulonglong refresh = f.queue(BaseCommand::Exclusive);
    const qulonglong upload = f.queue(BaseCommand::NonExclusive);
    f.sync();
    QVERIFY(f.isRunning(refresh));
    QVERIFY(!f.isRunning(upload));
    f.release(refresh);
    QTRY_VERIFY(f.isRunning(upload));
    QTRY_VERIFY(f.hasFinished(refresh)); // its record reaches this thread after the admission
}

void TestMainNetworkThread::freedStreamAdmitsTheNextCommandAtOnce_data()
{
    QTest::addColumn<int>("policy");
    QTest::newRow("background") << int(Settings::BackgroundSync);
    QTest::newRow("manual") << int(Settings::ManualSync);
    QTest::newRow("timed, outside its minute") << int(Settings::TimerSync);
}

void TestMainNetworkThread::freedStreamAdmitsTheNextCommandAtOnce()
{
    QFETCH(int, policy);
    Settings::getInstance()->setSyncTime(QTime(3, 0));
    // The check timer never ticks during the test: only the finish can admit.
    SchedulerFixture f(Settings::SyncType(policy), 1, 3600 * 1000);
    f.scheduler.setClock(FakeClock(QTime(12, 0)).function());
    std::shared_ptr<std::atomic<bool>> firstReturned;
    const qulonglong first = f.queue(BaseCommand::NonExclusive, [&](FakeCommand *c) {
        // Its thread outlives its report: the next command must not wait for it.
        c->setLingerMs(15 * MainNetworkThread::ThreadEndWaitMs);
        firstReturned = c->executeReturned;
    });
    const qulonglong second = f.queue(BaseCommand::NonExclusive);
    f.sync();
    QVERIFY(f.isRunning(first));
    QVERIFY(!f.isRunning(second));
    f.release(first);
    QTRY_VERIFY_WITH_TIMEOUT(f.isRunning(second), 10 * MainNetworkThread::ThreadEndWaitMs);
    QVERIFY(!*firstReturned);
}

void TestMainNetworkThread::manualPolicyStartsOnSyncAndOnEachFinish()
{
    SchedulerFixture f(Settings::ManualSync, 2);
    const qulonglong a = f.queue(BaseCommand::NonExclusive);
    const qulonglong b = f.queue(BaseCommand::NonExclusive);
    const qulonglong c = f.queue(BaseCommand::NonExclusive);
    QTest::qWait(SeveralTicksMs);
    QVERIFY(f.scheduler.getRunningCommandIds().isEmpty());

    f.sync();
    QCOMPARE(f.scheduler.getRunningCommandIds(), (QList<qulonglong>{a, b}));

    // A finishing command lets the next one out; no queueEmpty while c waited.
    f.release(a);
    QTRY_VERIFY(f.isRunning(c));
    QCOMPARE(f.queueEmptyCount, 0);

    // Nothing waits any more: queueEmpty after each finish, even with c running.
    f.release(b);
    QTRY_COMPARE(f.queueEmptyCount, 1);
    QVERIFY(f.isRunning(c));
    f.release(c);
    QTRY_COMPARE(f.queueEmptyCount, 2);
}

void TestMainNetworkThread::switchingToManualStopsAutomaticStarts()
{
    SchedulerFixture f(Settings::BackgroundSync, 5);
    const qulonglong running = f.queue(BaseCommand::NonExclusive);
    QTRY_VERIFY(f.isRunning(running));

    Settings::getInstance()->setSyncType(Settings::ManualSync);
    const qulonglong waiting = f.queue(BaseCommand::NonExclusive);
    QTest::qWait(SeveralTicksMs);
    QVERIFY(!f.isRunning(waiting));

    // Back to background: the check timer lets it out again, and only one
    // connection exists however often the policy is set.
    Settings::getInstance()->setSyncType(Settings::BackgroundSync);
    Settings::getInstance()->setSyncType(Settings::BackgroundSync);
    QTRY_VERIFY(f.isRunning(waiting));
    f.release(running);
    QTRY_VERIFY(f.hasFinished(running));
}

void TestMainNetworkThread::timedPolicyStartsOncePerEmptyQueue()
{
    Settings::getInstance()->setSyncTime(QTime(14, 30));
    FakeClock clock(QTime(14, 29, 59, 900));
    SchedulerFixture f(Settings::TimerSync, 5);
    f.scheduler.setClock(clock.function());
    auto setNow = [&](QTime t) { clock.set(t); };

    const qulonglong a = f.queue(BaseCommand::NonExclusive);
    QTest::qWait(SeveralTicksMs);
    QVERIFY(!f.isRunning(a));

    setNow(QTime(14, 30, 0, 50));
    QTRY_VERIFY(f.isRunning(a));
    QVERIFY(f.scheduler.isTimeSyncStarted());

    // Within the same minute no second timed start.
    const qulonglong b = f.queue(BaseCommand::NonExclusive);
    QTest::qWait(SeveralTicksMs);
    QVERIFY(!f.isRunning(b));

    // A finishing command lets the next one out under this policy too.
    f.release(a);
    QTRY_VERIFY(f.isRunning(b));
    QVERIFY(f.scheduler.isTimeSyncStarted());

    // The queue runs empty: the flag is cleared.
    setNow(QTime(14, 31));
    f.release(b);
    QTRY_COMPARE(f.queueEmptyCount, 1);
    QVERIFY(!f.scheduler.isTimeSyncStarted());
}

void TestMainNetworkThread::timedStartFlagOutlivesAnEmptyMinute()
{
    Settings::getInstance()->setSyncTime(QTime(14, 30, 45)); // seconds are ignored
    FakeClock clock(QTime(14, 30, 1));
    SchedulerFixture f(Settings::TimerSync, 5);
    f.scheduler.setClock(clock.function());
    auto setNow = [&](QTime t) { clock.set(t); };

    // Nothing queued at the sync minute: the flag is set and stays set.
    QTRY_VERIFY(f.scheduler.isTimeSyncStarted());
    setNow(QTime(15, 0));
    const qulonglong a = f.queue(BaseCommand::NonExclusive);
    setNow(QTime(14, 30, 30)); // the next day
    QTest::qWait(SeveralTicksMs);
    QVERIFY(!f.isRunning(a));

    // "Sync" starts it; its finish empties the queue and clears the flag, so the
    // next sync minute starts what waits.
    f.sync();
    QVERIFY(f.isRunning(a));
    setNow(QTime(9, 0));
    f.release(a);
    QTRY_VERIFY(!f.scheduler.isTimeSyncStarted());
    const qulonglong b = f.queue(BaseCommand::NonExclusive);
    QTest::qWait(SeveralTicksMs);
    QVERIFY(!f.isRunning(b));
    setNow(QTime(14, 30));
    QTRY_VERIFY(f.isRunning(b));
}

void TestMainNetworkThread::firstRefreshBypassesTheQueue()
{
    SchedulerFixture f(Settings::ManualSync, 1);
    // A running upload fills the one stream; the first refresh runs nonetheless.
    const qulonglong upload = f.queue(BaseCommand::NonExclusive);
    f.sync();
    QVERIFY(f.isRunning(upload));

    QMetaObject::invokeMethod(&f.scheduler, "refreshList", Qt::BlockingQueuedConnection);
    const qulonglong refresh = upload + 1;
    // The server is unreachable: the refresh fails and emits no list.
    QTRY_VERIFY(f.hasFinished(refresh));
    const QList<Record> records = f.recordsOf(refresh);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0].state, CommandInfo::Started);
    QCOMPARE(records[0].type, QStringLiteral("Refresh list"));
    QCOMPARE(records[1].result, BaseCommand::InitialConnectionError);
    QCOMPARE(records[1].percent, 100);
    QVERIFY(f.lists.isEmpty());

    // Every later refresh only queues.
    QMetaObject::invokeMethod(&f.scheduler, "refreshList", Qt::BlockingQueuedConnection);
    QTest::qWait(SeveralTicksMs);
    QCOMPARE(f.scheduler.getQueuedCommandIds(), QList<qulonglong>{refresh + 1});
    f.release(upload);
    QTRY_VERIFY(f.hasFinished(refresh + 1));
}

void TestMainNetworkThread::backgroundRefreshWaitsForTheTimer()
{
    SchedulerFixture f(Settings::BackgroundSync, 1);
    const qulonglong upload = f.queue(BaseCommand::NonExclusive);
    QTRY_VERIFY(f.isRunning(upload));
    QMetaObject::invokeMethod(&f.scheduler, "refreshList", Qt::BlockingQueuedConnection);
    QTest::qWait(SeveralTicksMs);
    QCOMPARE(f.scheduler.getQueuedCommandIds(), QList<qulonglong>{upload + 1});
    f.release(upload);
    QTRY_VERIFY(f.hasFinished(upload + 1));
}

void TestMainNetworkThread::successfulRefreshAnnouncesTheList()
{
    FakeServer server;
    server.useForSettings();
    const QByteArray request = "alice\npw\nrefresh\n";
    server.addScript(FakeScript().awaitBytes(request.size()).send("filelist\n1\tx\n").close());
    SchedulerFixture f(Settings::ManualSync, 1);
    QMetaObject::invokeMethod(&f.scheduler, "refreshList", Qt::BlockingQueuedConnection);
    QTRY_COMPARE(f.lists, QStringList{QStringLiteral("1\tx\n")});
    QTRY_VERIFY(f.hasFinished(0));
    QCOMPARE(f.recordsOf(0).size(), 2);
    QCOMPARE(f.recordsOf(0).last().result, BaseCommand::NoError);
    QCOMPARE(server.received(), request);
    QCOMPARE(f.queueEmptyCount, 1);
}

void TestMainNetworkThread::finishedCommandIsDeletedOnlyAfterItsThreadEnded()
{
    SchedulerFixture f(Settings::ManualSync, 5);
    std::shared_ptr<std::atomic<bool>> returned;
    std::shared_ptr<std::atomic<bool>> destroyed;
    const qulonglong id = f.queue(BaseCommand::NonExclusive, [&](FakeCommand *c) {
        c->setLingerMs(15 * MainNetworkThread::ThreadEndWaitMs);
        returned = c->executeReturned;
        destroyed = c->destroyed;
    });
    f.sync();
    f.release(id);
    QTRY_VERIFY(f.hasFinished(id));
    // Its thread still runs past the scheduler's short wait: it is not cut short...
    QVERIFY(!*destroyed);
    // ...but ends on its own and is deleted then.
    QTRY_VERIFY(*returned);
    QTRY_VERIFY(*destroyed);
}

void TestMainNetworkThread::commandEndingWithoutReportFailsOnce()
{
    SchedulerFixture f(Settings::BackgroundSync, 1);
    const qulonglong silent =
        f.scheduler.queueCommand([](qulonglong id) { return new SilentCommand(id); });
    const qulonglong next = f.queue(BaseCommand::NonExclusive);
    // The user learns of the failure, and the stream is free for the next command.
    QTRY_VERIFY(f.hasFinished(silent));
    QTRY_VERIFY(f.isRunning(next));
    f.release(next);
    QTRY_VERIFY(f.hasFinished(next));
    QTest::qWait(SeveralTicksMs);
    const QList<Record> records = f.recordsOf(silent);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.last().state, CommandInfo::Finished);
    QCOMPARE(records.last().result, BaseCommand::UnknownError);
    QCOMPARE(f.recordsOf(next).last().result, BaseCommand::NoError);
    QVERIFY(f.scheduler.getRunningCommandIds().isEmpty());
}

// What the main window does before its remote items go: commands waiting on a silent
// control connection, in a stalled download body and in an upload's wait for the
// server are all stopped well within their own limits (30 s and more), the queue is
// dropped, nothing is reported for them, and the partial download stays on disk.
void TestMainNetworkThread::stopAllCommandsEndsWorkAtOnce()
{
    SchedulerFixture f(Settings::ManualSync, 3);
    FakeServer server;
    server.useForSettings(); // control connections beyond the scripts stay silent
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
    const quint16 httpPort =
        server.openDataPort(FakeScript().awaitText("\r\n\r\n").send(head + QByteArray(1000, 'x')));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("part.bin"));
    const QString source = dir.filePath(QStringLiteral("up.bin"));
    QFile sourceFile(source);
    QVERIFY(sourceFile.open(QIODevice::WriteOnly) && sourceFile.write("hello") == 5);
    sourceFile.close();
    ShownRemoteTree shown(RemoteListFixture::line(9, true, QStringLiteral("docs"), 0));
    const RemoteItemRef upItem = shown.ref(shown.addLocal(shown.find(QStringLiteral("docs")), source));
    QVERIFY(!upItem.isNull());

    // In an order the admission rule lets run side by side.
    const QList<qulonglong> ids = {
        f.scheduler.queueCommand([&](qulonglong id) {
            return new DownloadUrlCommand(
                id, QStringLiteral("http://127.0.0.1:%1/f.bin").arg(httpPort), target);
        }),
        f.scheduler.queueCommand([&](qulonglong id) { return new UploadFileCommand(id, upItem); }),
        f.scheduler.queueCommand([](qulonglong id) { return new RefreshListCommand(id); }),
    };
    std::shared_ptr<std::atomic<bool>> queuedDestroyed;
    f.scheduler.queueCommand([&](qulonglong id) {
        auto *command = new FakeCommand(id, BaseCommand::NonExclusive);
        queuedDestroyed = command->destroyed;
        return command;
    });
    f.sync();
    QVERIFY(server.waitForConnections(2)); // the refresh and the upload
    QTRY_COMPARE(QFileInfo(target).size(), 1000);
    QCOMPARE(f.scheduler.getRunningCommandIds().size(), 3);

    QElapsedTimer stopping;
    stopping.start();
    f.scheduler.stopAllCommands();
    QVERIFY2(stopping.elapsed() < 5000, qPrintable(QString::number(stopping.elapsed())));

    QVERIFY(*queuedDestroyed);
    QVERIFY(f.scheduler.getRunningCommandIds().isEmpty());
    QVERIFY(f.scheduler.getQueuedCommandIds().isEmpty());
    QCOMPARE(QFileInfo(target).size(), 1000);
    QTest::qWait(SeveralTicksMs);
    for (const qulonglong id : ids)
        QVERIFY(!f.hasFinished(id));
}

void TestMainNetworkThread::stopAllCommandsWaitsALimitedTime()
{
    SchedulerFixture f(Settings::ManualSync, 1);
    // A command caught in a wait that does not look at the stop request: it holds
    // until released (or for FakeCommand::HoldLimitMs).
    FakeCommand *stuck = nullptr;
    const qulonglong id = f.scheduler.queueCommand([&](qulonglong newId) {
        return stuck = new FakeCommand(newId, BaseCommand::NonExclusive);
    });
    const std::shared_ptr<std::atomic<bool>> destroyed = stuck->destroyed;
    f.sync();
    QTRY_VERIFY(f.isRunning(id));

    QElapsedTimer stopping;
    stopping.start();
    f.scheduler.stopAllCommands();
    QVERIFY2(stopping.elapsed() < MainNetworkThread::StopAllWaitMs + 1000,
             qPrintable(QString::number(stopping.elapsed())));
    QVERIFY(f.scheduler.getRunningCommandIds().isEmpty());
    // Never deleted (nor terminated) while its thread runs; deleted once it has ended.
    QVERIFY(!*destroyed);
    stuck->release();
    QTRY_VERIFY(*destroyed);
    QVERIFY(!f.hasFinished(id));
}

QTEST_GUILESS_MAIN(TestMainNetworkThread)
#include "tst_mainnetworkthread.moc"
