#include "mainnetworkthread.h"

#include "base/logging.h"
#include "base/settings.h"
#include "deletedircommand.h"
#include "deletefilecommand.h"
#include "downloadfilecommand.h"
#include "downloadurlcommand.h"
#include "makedircommand.h"
#include "movedircommand.h"
#include "movefilecommand.h"
#include "refreshlistcommand.h"
#include "setparamscommand.h"
#include "uploadfilecommand.h"
#include "uploadurlcommand.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

// What a successful command tells the GUI.
enum class Announcement {
    ItemChange,     // remoteItemChanged, when the command changed its item
    RemoteList,     // newRemoteListReceived
    FileDownloaded, // fileDownloaded
    UrlDownloaded   // urlDownloaded
};

template<class Command>
BaseCommand *createForItem(qulonglong id, const RemoteItemRef &item)
{
    return new Command(id, item);
}

// Every kind of command the scheduler knows. A command on one remote item is queued
// through requestItemCommand() with its kind; the others, which need more than an
// item, have a request slot of their own and no `create`.
struct CommandKindEntry {
    BaseCommand::CommandType type;
    const char *word; // for diagnostics
    BaseCommand *(*create)(qulonglong id, const RemoteItemRef &item);
    Announcement announcement;
};

const CommandKindEntry commandKinds[] = {
    {BaseCommand::RefreshListCommand, "refresh", nullptr, Announcement::RemoteList},
    {BaseCommand::UploadFileCommand, "upload file", &createForItem<UploadFileCommand>,
     Announcement::ItemChange},
    {BaseCommand::DownloadFileCommand, "download file", nullptr, Announcement::FileDownloaded},
    {BaseCommand::CreateDirectoryCommand, "createdir", &createForItem<MakeDirCommand>,
     Announcement::ItemChange},
    {BaseCommand::MoveDirectoryCommand, "movedir", &createForItem<MoveDirCommand>,
     Announcement::ItemChange},
    {BaseCommand::MoveFileCommand, "movefile", &createForItem<MoveFileCommand>,
     Announcement::ItemChange},
    {BaseCommand::SetParamsCommand, "set params", &createForItem<SetParamsCommand>,
     Announcement::ItemChange},
    {BaseCommand::DeleteDirectoryCommand, "deldir", &createForItem<DeleteDirCommand>,
     Announcement::ItemChange},
    {BaseCommand::DeleteFileCommand, "delfile", &createForItem<DeleteFileCommand>,
     Announcement::ItemChange},
    {BaseCommand::UploadUrlCommand, "upload url", &createForItem<UploadUrlCommand>,
     Announcement::ItemChange},
    {BaseCommand::DownloadUrlCommand, "download url", nullptr, Announcement::UrlDownloaded},
};

const CommandKindEntry *commandKind(BaseCommand::CommandType type)
{
    for (const CommandKindEntry &entry : commandKinds) {
        if (entry.type == type)
            return &entry;
    }
    return nullptr;
}

} // namespace

MainNetworkThread *MainNetworkThread::getInstance()
{
    static MainNetworkThread instance;
    return &instance;
}

MainNetworkThread::MainNetworkThread(QObject *parent)
    : QThread(parent), clock([] { return QTime::currentTime(); })
{
    // Items travel through the request slots and the change signal across threads,
    // so their types must be known by name.
    qRegisterMetaType<RemoteItemRef>("RemoteItemRef");
    qRegisterMetaType<RemoteItemChange>("RemoteItemChange");
}

MainNetworkThread::~MainNetworkThread()
{
    if (isRunning() && QThread::currentThread() != this) {
        quit();
        wait();
    }
    stopAllCommands();
    for (BaseCommand *command : std::as_const(endingCommands)) {
        if (command->wait(ThreadEndWaitMs))
            delete command;
    }
}

void MainNetworkThread::setClock(std::function<QTime()> clockFunction)
{
    // The check timer reads it on the scheduler's thread, which may already run.
    QMutexLocker lock(&clockMutex);
    clock = std::move(clockFunction);
}

void MainNetworkThread::setCheckInterval(int ms) { checkInterval = ms; }

void MainNetworkThread::run()
{
    qCDebug(lcNetwork) << "MainNetworkThread id=" << QThread::currentThreadId();
    checker = new QTimer;
    checker->setInterval(checkInterval);
    // Finished commands whose thread lagged behind are deleted on the next tick,
    // whatever the policy.
    connect(checker, &QTimer::timeout, this, &MainNetworkThread::deleteEndedCommands);
    applySyncPolicy();
    checker->start();
    exec();
    qCDebug(lcNetwork) << "Exec failed";
    delete checker;
    checker = nullptr;
}

qulonglong MainNetworkThread::queueCommand(
    const std::function<BaseCommand *(qulonglong id)> &create)
{
    QMutexLocker lock(&queueMutex);
    const qulonglong id = lastUsedCommandId++;
    BaseCommand *command = create(id);
    // The command's slots (socket and HTTP notifications) must run on its own thread.
    command->moveToThread(command);
    commandQueue.append(command);
    return id;
}

void MainNetworkThread::stopAllCommands()
{
    // Requests sent just before (queued calls of the request slots, e.g. a folder the
    // model asked for while the window closed) are still on their way and would queue
    // commands afterwards. Let them arrive first; a scheduler that does not run (or
    // that is the caller) would only take them in later, so they are dropped.
    if (isRunning() && QThread::currentThread() != this)
        QMetaObject::invokeMethod(this, [] {}, Qt::BlockingQueuedConnection);
    else
        QCoreApplication::removePostedEvents(this, QEvent::MetaCall);

    QList<BaseCommand *> queued;
    QList<BaseCommand *> running;
    {
        QMutexLocker lock(&queueMutex);
        queued.swap(commandQueue);
        running = runnedCommands.values();
        runnedCommands.clear();
        admission.clear();
    }
    qDeleteAll(queued);
    // Every wait of a command gives up within BaseCommand::StopCheckMs once asked (a
    // connection attempt within its own limit); a download keeps what it wrote, so it
    // can be resumed later. Their reports, still to be delivered, find no running
    // command and are dropped.
    for (BaseCommand *command : std::as_const(running)) {
        command->requestInterruption();
        Q_EMIT command->quitLocalEventLoop();
    }
    // One deadline for all of them: the window that is closing waits this long at most.
    const QDeadlineTimer deadline(StopAllWaitMs);
    for (BaseCommand *command : std::as_const(running)) {
        if (command->wait(deadline)) {
            qCDebug(lcNetwork) << "command" << command->getCommandId() << "stopped";
            delete command;
            continue;
        }
        // Caught in a wait that does not look at the request (a connection attempt
        // within its own limit): it ends on its own and is deleted then, never
        // terminated. The list belongs to the scheduler's thread.
        qCWarning(lcNetwork) << "command" << command->getCommandId() << "did not stop within"
                             << StopAllWaitMs << "ms; it is left to end by itself";
        if (isRunning() && QThread::currentThread() != this)
            QMetaObject::invokeMethod(this, [this, command] { endingCommands.append(command); });
        else
            endingCommands.append(command);
    }
}

QList<qulonglong> MainNetworkThread::getQueuedCommandIds() const
{
    QMutexLocker lock(&queueMutex);
    QList<qulonglong> ids;
    for (const BaseCommand *command : commandQueue)
        ids.append(command->getCommandId());
    return ids;
}

QList<qulonglong> MainNetworkThread::getRunningCommandIds() const
{
    QMutexLocker lock(&queueMutex);
    return runnedCommands.keys();
}

bool MainNetworkThread::isTimeSyncStarted() const
{
    QMutexLocker lock(&queueMutex);
    return timeSyncStarted;
}

void MainNetworkThread::refreshList()
{
    const Settings *settings = Settings::getInstance();
    qCDebug(lcNetwork) << "request for refresh number of streams=" << settings->getStreamsCount()
                       << "threadid=" << QThread::currentThreadId();
    QMutexLocker lock(&queueMutex);
    auto *command = new RefreshListCommand(lastUsedCommandId++);
    command->moveToThread(command);
    if (settings->getSyncType() == Settings::BackgroundSync)
        firstRefreshDone = true;
    if (firstRefreshDone) {
        commandQueue.append(command);
        return;
    }
    // The first refresh under the manual and timed policies runs at once, bypassing
    // the queue and the admission rule, so "Connect" shows the list straight away.
    admitCommand(command);
    firstRefreshDone = true;
}

void MainNetworkThread::requestItemCommand(BaseCommand::CommandType type, RemoteItemRef item)
{
    const CommandKindEntry *kind = commandKind(type);
    if (!kind || !kind->create) {
        qCWarning(lcNetwork) << "no command on an item of kind" << type;
        return;
    }
    qCDebug(lcNetwork) << "request for" << kind->word << "threadid=" << QThread::currentThreadId();
    queueCommand([kind, item](qulonglong id) { return kind->create(id, item); });
}

void MainNetworkThread::uploadFile(RemoteItemRef fileItem)
{
    requestItemCommand(BaseCommand::UploadFileCommand, fileItem);
}

void MainNetworkThread::downloadFile(RemoteItemRef fileItem, QString downloadPath)
{
    qCDebug(lcNetwork) << "request for download file threadid=" << QThread::currentThreadId();
    queueCommand([fileItem, downloadPath](qulonglong id) {
        return new DownloadFileCommand(id, fileItem, downloadPath);
    });
}

void MainNetworkThread::createDir(RemoteItemRef dirItem)
{
    requestItemCommand(BaseCommand::CreateDirectoryCommand, dirItem);
}

void MainNetworkThread::deleteDir(RemoteItemRef dirItem)
{
    requestItemCommand(BaseCommand::DeleteDirectoryCommand, dirItem);
}

void MainNetworkThread::deleteFile(RemoteItemRef fileItem)
{
    requestItemCommand(BaseCommand::DeleteFileCommand, fileItem);
}

void MainNetworkThread::moveDir(RemoteItemRef dirItem)
{
    requestItemCommand(BaseCommand::MoveDirectoryCommand, dirItem);
}

void MainNetworkThread::moveFile(RemoteItemRef fileItem)
{
    requestItemCommand(BaseCommand::MoveFileCommand, fileItem);
}

void MainNetworkThread::setParams(RemoteItemRef fileItem)
{
    requestItemCommand(BaseCommand::SetParamsCommand, fileItem);
}

void MainNetworkThread::downloadUrl(QString remotePath, QString downloadPath)
{
    qCDebug(lcNetwork) << "request for download url threadid=" << QThread::currentThreadId();
    queueCommand([&](qulonglong id) { return new DownloadUrlCommand(id, remotePath, downloadPath); });
}

void MainNetworkThread::uploadUrl(RemoteItemRef fileItem)
{
    requestItemCommand(BaseCommand::UploadUrlCommand, fileItem);
}

void MainNetworkThread::startManualSync() { checkQueueForNewCommands(); }

void MainNetworkThread::syncModeChange(Settings::SettingType setting)
{
    if (setting != Settings::SyncSetting)
        return;
    applySyncPolicy();
}

void MainNetworkThread::applySyncPolicy()
{
    disconnect(checkerQueueConnection);
    disconnect(checkerTimeConnection);
    if (!checker)
        return; // run() applies the policy once the timer exists
    switch (Settings::getInstance()->getSyncType()) {
    case Settings::BackgroundSync:
        checkerQueueConnection = connect(checker, &QTimer::timeout, this,
                                         &MainNetworkThread::checkQueueForNewCommands);
        break;
    case Settings::TimerSync:
        checkerTimeConnection =
            connect(checker, &QTimer::timeout, this, &MainNetworkThread::checkSyncTime);
        break;
    case Settings::ManualSync:
        break;
    }
}

void MainNetworkThread::checkSyncTime()
{
    QTime now;
    {
        QMutexLocker lock(&clockMutex);
        now = clock();
    }
    const QTime at = Settings::getInstance()->getSyncTime();
    if (!now.isValid() || !at.isValid())
        return;
    if (now.hour() * 60 + now.minute() != at.hour() * 60 + at.minute())
        return;
    {
        QMutexLocker lock(&queueMutex);
        if (timeSyncStarted)
            return;
        timeSyncStarted = true;
    }
    qCDebug(lcNetwork) << "Starting sync at:" << now.toString(QStringLiteral("hh:mm:ss.zzz"));
    checkQueueForNewCommands();
}

void MainNetworkThread::checkQueueForNewCommands()
{
    QMutexLocker lock(&queueMutex);
    const int streamLimit = Settings::getInstance()->getStreamsCount();
    // Only as many commands as there are free streams can start.
    QList<BaseCommand::CommandExclusivity> queueFront;
    for (const BaseCommand *command : std::as_const(commandQueue)) {
        if (queueFront.size() >= admission.freeStreams(streamLimit))
            break;
        queueFront.append(command->getCommandExclusivity());
    }
    const int admitted = admission.admissibleCount(queueFront, streamLimit);
    if (admitted > 0)
        qCDebug(lcNetwork) << "checker found new commands! threadid=" << QThread::currentThreadId();
    for (int i = 0; i < admitted; ++i)
        admitCommand(commandQueue.takeFirst());
}

void MainNetworkThread::admitCommand(BaseCommand *command)
{
    runnedCommands.insert(command->getCommandId(), command);
    admission.add(command->getCommandExclusivity());
    startCommand(command);
}

void MainNetworkThread::startCommand(BaseCommand *command)
{
    connect(command, &BaseCommand::started, this, &MainNetworkThread::commandStarted);
    connect(command, &BaseCommand::processing, this, &MainNetworkThread::commandProcessing);
    connect(command, &BaseCommand::finished, this, &MainNetworkThread::taskFinished);
    connect(command, &QThread::finished, this, &MainNetworkThread::deleteEndedCommands);
    command->start(QThread::InheritPriority);
}

bool MainNetworkThread::runningTypeString(qulonglong commandId, QString &typeString) const
{
    // Under the lock: stopAllCommands() may delete the command as soon as it is released.
    QMutexLocker lock(&queueMutex);
    const BaseCommand *command = runnedCommands.value(commandId, nullptr);
    if (!command)
        return false;
    typeString = command->getCommandTypeString();
    return true;
}

void MainNetworkThread::commandStarted(qulonglong commandId)
{
    QString typeString;
    CommandInfo::Subject subject;
    {
        // Under the lock: stopAllCommands() may delete the command once it is released.
        QMutexLocker lock(&queueMutex);
        const BaseCommand *command = runnedCommands.value(commandId, nullptr);
        if (!command)
            return;
        typeString = command->getCommandTypeString();
        subject = subjectOf(command);
    }
    Q_EMIT refreshProgress(new CommandInfo(commandId, CommandInfo::Started, typeString,
                                           BaseCommand::NoError, 0, 0, 0.0, subject));
}

CommandInfo::Subject MainNetworkThread::subjectOf(const BaseCommand *command)
{
    return {command->getCommandType(), command->getSubjectSelfId(), command->getFailureReason()};
}

MainNetworkThread::Progress MainNetworkThread::computeProgress(qulonglong currentState,
                                                               qulonglong fullState, int time)
{
    Progress progress;
    currentState = std::min(currentState, fullState);
    // An unknown total (0) reports 0 percent rather than dividing by zero.
    if (fullState > 0)
        progress.percent = int(static_cast<unsigned __int128>(currentState) * 100 / fullState);
    const qulonglong elapsed = time <= 0 ? 1 : qulonglong(time);
    progress.speed = double(currentState / elapsed);
    if (progress.speed == 0.0)
        progress.speed = 0.0001;
    const double remaining = double(fullState - currentState) / (progress.speed * 1000.0);
    progress.remainingSeconds = remaining >= double(std::numeric_limits<int>::max())
        ? std::numeric_limits<int>::max()
        : int(remaining);
    return progress;
}

void MainNetworkThread::commandProcessing(qulonglong commandId, qulonglong currentState,
                                          qulonglong fullState, int time)
{
    QString typeString;
    if (!runningTypeString(commandId, typeString))
        return;
    const Progress progress = computeProgress(currentState, fullState, time);
    qCDebug(lcNetwork) << "currentState=" << currentState << " fullState=" << fullState
                       << " percent=" << progress.percent << " speed=" << progress.speed
                       << " remainTime=" << progress.remainingSeconds;
    Q_EMIT refreshProgress(new CommandInfo(commandId, CommandInfo::Processing, typeString,
                                           BaseCommand::NoError, progress.percent,
                                           progress.remainingSeconds, progress.speed));
}

void MainNetworkThread::taskFinished(qulonglong commandId, BaseCommand::CommandResult result)
{
    qCDebug(lcNetwork) << "task finished threadid=" << QThread::currentThreadId();
    BaseCommand *command = nullptr;
    {
        QMutexLocker lock(&queueMutex);
        command = runnedCommands.take(commandId);
        if (!command) {
            qCDebug(lcNetwork) << "no command found in runned";
            return;
        }
        admission.remove(command->getCommandExclusivity());
    }

    if (result == BaseCommand::NoError)
        announceSuccess(command);

    qCDebug(lcNetwork) << "emiting progress signal";
    Q_EMIT refreshProgress(new CommandInfo(commandId, CommandInfo::Finished,
                                           command->getCommandTypeString(), result, 100, 0,
                                           0.0, subjectOf(command)));

    bool queueIsEmpty = false;
    {
        QMutexLocker lock(&queueMutex);
        queueIsEmpty = commandQueue.isEmpty();
        if (queueIsEmpty)
            timeSyncStarted = false;
    }
    // The freed stream takes the next command at once, under every policy: waiting for
    // the background policy's next tick left streams idle for 50 ms on average after
    // each file, which halved the throughput of folders of small files. Admitted before
    // the wait for the old thread below, which would delay it too.
    if (!queueIsEmpty)
        checkQueueForNewCommands();

    // Never terminated: a command whose thread has not ended yet is deleted as soon
    // as it has.
    qCDebug(lcNetwork) << "deleting command";
    disconnect(command, &BaseCommand::started, this, nullptr);
    disconnect(command, &BaseCommand::processing, this, nullptr);
    disconnect(command, &BaseCommand::finished, this, nullptr);
    if (command->wait(ThreadEndWaitMs)) {
        delete command;
        qCDebug(lcNetwork) << "command deleted";
    } else {
        endingCommands.append(command);
    }

    if (queueIsEmpty)
        Q_EMIT queueEmpty();
}

void MainNetworkThread::deleteEndedCommands()
{
    for (auto it = endingCommands.begin(); it != endingCommands.end();) {
        if ((*it)->isFinished()) {
            (*it)->wait();
            delete *it;
            it = endingCommands.erase(it);
        } else {
            ++it;
        }
    }
}

void MainNetworkThread::announceSuccess(BaseCommand *command)
{
    const CommandKindEntry *kind = commandKind(command->getCommandType());
    switch (kind ? kind->announcement : Announcement::ItemChange) {
    case Announcement::RemoteList:
        if (const auto *refresh = qobject_cast<RefreshListCommand *>(command)) {
            qCDebug(lcNetwork) << "refresh command done without errors";
            Q_EMIT newRemoteListReceived(refresh->getReceivedData());
        }
        break;
    case Announcement::FileDownloaded: {
        auto *download = qobject_cast<DownloadFileCommand *>(command);
        if (!download)
            break;
        command->wait(CommandThreadEndWaitMs);
        Settings::getInstance()->removeDownloadPath(download->getDownloadPath());
        qCDebug(lcNetwork) << "download command done without errors";
        Q_EMIT fileDownloaded(download->getDownloadPath());
        break;
    }
    case Announcement::UrlDownloaded:
        if (const auto *urlCommand = qobject_cast<DownloadUrlCommand *>(command)) {
            const QString path = urlCommand->getDownloadPath();
            Settings::getInstance()->removeDownloadPath(path);
            qCDebug(lcNetwork) << "download url command done without errors";
            Q_EMIT urlDownloaded(path);
        }
        break;
    case Announcement::ItemChange:
        // Every command that changed its item says how.
        if (command->getItemChange().kind != RemoteItemChange::None) {
            qCDebug(lcNetwork) << command->getCommandType() << "done without errors";
            Q_EMIT remoteItemChanged(command->getItemChange());
        }
        break;
    }
}
