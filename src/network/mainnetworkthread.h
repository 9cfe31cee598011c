#pragma once

#include "base/settings.h"
#include "basecommand.h"
#include "commandadmission.h"
#include "commandinfo.h"
#include "remote/remoteitemchange.h"
#include "remote/remoteitemref.h"

#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QMutex>
#include <QTime>

#include <functional>

class QTimer;

// The one scheduler of network work. The GUI asks for operations through the request
// slots; each creates a command with a fresh id and queues it. Queued commands start
// in order when the streams limit and the exclusivity rule allow, at the moments the
// synchronisation policy chooses (on "Sync", continuously, or at a time of day). The
// commands' reports become CommandInfo records for the GUI; what a successful command
// did to its remote item comes back as a RemoteItemChange (remoteItemChanged), which
// the GUI thread applies to the tree; finished commands are deleted once their thread
// has ended.
//
// The object lives on its own thread: move it there, then start it.
//
//   MainNetworkThread *net = MainNetworkThread::getInstance();
//   net->moveToThread(net);
//   net->start();
//
// Adding a command: one entry in the table of command kinds (mainnetworkthread.cpp)
// names how it is created and what its success announces; a command on one item is
// then requested through requestItemCommand(). A command that changes its item
// reports it with BaseCommand::reportChange().
class MainNetworkThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainNetworkThread)

public:
    static constexpr int DefaultCheckIntervalMs = 100;
    // How long a finished command's thread is waited for before its deletion is
    // deferred to the moment the thread really ends.
    static constexpr int ThreadEndWaitMs = 100;
    // How long a successful download's thread is waited for before it is announced.
    static constexpr int CommandThreadEndWaitMs = 1000;
    // How long stopAllCommands() waits for the running commands, all together.
    static constexpr int StopAllWaitMs = 2000;

    // Figures of one progress report.
    struct Progress {
        int percent = 0;
        int remainingSeconds = 0;
        double speed = 0.0;
    };
    static Progress computeProgress(qulonglong currentState, qulonglong fullState, int time);

    static MainNetworkThread *getInstance();

    // The program uses getInstance(); tests make schedulers of their own.
    explicit MainNetworkThread(QObject *parent = nullptr);
    ~MainNetworkThread() override;

    // Time of day read by the timed policy (QTime::currentTime unless replaced).
    void setClock(std::function<QTime()> clock);
    // The check timer's interval; takes effect when the thread starts.
    void setCheckInterval(int ms);

    // Creates a command with the next id (under the queue lock) and queues it. Returns
    // the id. Thread-safe; nothing starts until the policy admits it.
    qulonglong queueCommand(const std::function<BaseCommand *(qulonglong id)> &create);

    // Ends all work before the items the commands use go away (the main window is
    // closing): queued commands are dropped, running ones are asked to stop and waited
    // for, requests already sent included, StopAllWaitMs at most (one that has not
    // ended by then is deleted once it has). Nothing is reported for them.
    // Thread-safe; the destructor does the same.
    void stopAllCommands();

    // Snapshots for tests and diagnostics.
    QList<qulonglong> getQueuedCommandIds() const;
    QList<qulonglong> getRunningCommandIds() const;
    bool isTimeSyncStarted() const;

public Q_SLOTS:
    // Queues a command on one remote item, of a kind that needs nothing else (every
    // kind but the refresh and the two downloads).
    void requestItemCommand(BaseCommand::CommandType type, RemoteItemRef item);
    void refreshList();
    void uploadFile(RemoteItemRef fileItem);
    void downloadFile(RemoteItemRef fileItem, QString downloadPath);
    void createDir(RemoteItemRef dirItem);
    void deleteDir(RemoteItemRef dirItem);
    void deleteFile(RemoteItemRef fileItem);
    void moveDir(RemoteItemRef dirItem);
    void moveFile(RemoteItemRef fileItem);
    void setParams(RemoteItemRef fileItem);
    void startManualSync();
    void syncModeChange(Settings::SettingType setting);
    // `remotePath` is the http or ftp address to fetch, `downloadPath` the local file.
    void downloadUrl(QString remotePath, QString downloadPath);
    // The service fetches the item's address into the item's folder.
    void uploadUrl(RemoteItemRef fileItem);

Q_SIGNALS:
    void newRemoteListReceived(QString receivedData);
    // A command succeeded and changed its item on the server (a folder created, an
    // item moved, renamed or deleted, parameters set, a file uploaded or fetched from an
    // address): the GUI thread brings the tree in line.
    void remoteItemChanged(RemoteItemChange change);
    // A download of a remote file succeeded.
    void fileDownloaded(QString downloadPath);
    // The receiver owns the record and deletes it.
    void refreshProgress(CommandInfo *commandInfo);
    void queueEmpty();
    // A download from an address succeeded; the local view re-reads the folder.
    void urlDownloaded(QString downloadPath);

protected:
    void run() override;

private Q_SLOTS:
    void checkQueueForNewCommands();
    void checkSyncTime();
    void taskFinished(qulonglong commandId, BaseCommand::CommandResult result);
    void commandStarted(qulonglong commandId);
    void commandProcessing(qulonglong commandId, qulonglong currentState,
                           qulonglong fullState, int time);
    void deleteEndedCommands();

private:
    // Both called with queueMutex held.
    void admitCommand(BaseCommand *command);
    void startCommand(BaseCommand *command);
    void announceSuccess(BaseCommand *command);
    void applySyncPolicy();
    static CommandInfo::Subject subjectOf(const BaseCommand *command);
    // The display text of a running command; false if it is not running (any more).
    bool runningTypeString(qulonglong commandId, QString &typeString) const;

    mutable QMutex queueMutex;
    QList<BaseCommand *> commandQueue;
    QMap<qulonglong, BaseCommand *> runnedCommands;
    QTimer *checker = nullptr;
    qulonglong lastUsedCommandId = 0;
    // What runs, by exclusivity class: decides which queued commands may start.
    CommandAdmission admission;
    bool firstRefreshDone = false;
    bool timeSyncStarted = false;

    // Finished commands whose thread had not yet ended; deleted when it has.
    QList<BaseCommand *> endingCommands;
    QMetaObject::Connection checkerQueueConnection;
    QMetaObject::Connection checkerTimeConnection;
    QMutex clockMutex;
    std::function<QTime()> clock;
    int checkInterval = DefaultCheckIntervalMs;
};
