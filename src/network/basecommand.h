#pragma once

// Every request on the control connection starts with the same three lines:
//
//   client -> server   <login>\n<password>\n<command word>\n<command's own fields>
//   server -> client   <success word>\n...          (e.g. "filelist\n", "done\n", "ready\n")
//                  or  error\n<decimal code>        (1 login, 2 password, 3 command)
//
// One fresh TCP connection carries one request. Text becomes bytes one character per
// byte in Latin-1; a character outside Latin-1 is sent as "?".

#include "remote/remoteitemchange.h"
#include "remote/remoteitemref.h"
#include "network/networklimits.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>

#include <atomic>
#include <memory>

class QTcpSocket;

class BaseCommand : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BaseCommand)

public:
    enum CommandType {
        RefreshListCommand = 0,
        UploadFileCommand = 1,
        DownloadFileCommand = 2,
        CreateDirectoryCommand = 3,
        MoveDirectoryCommand = 4,
        MoveFileCommand = 5,
        SetParamsCommand = 6,
        CopyDirectoryCommand = 7,
        CopyFileCommand = 8,
        DeleteDirectoryCommand = 9,
        DeleteFileCommand = 10,
        ChangeFileInfoCommand = 11,
        UploadUrlCommand = 12,
        DownloadUrlCommand = 13
    };
    Q_ENUM(CommandType)

    enum CommandResult {
        NoError = 0,
        ConnectionError = 1,
        IncorrectLoginError = 2,
        IncorrectPasswordError = 3,
        IncorrectCommandError = 4,
        InitialConnectionError = 5,
        ReceivedDataFormatError = 6,
        InitialDataFormatError = 7,
        UnknownError = 8
    };
    Q_ENUM(CommandResult)

    // How a command may share the scheduler with running commands.
    enum CommandExclusivity {
        NonServer = 0,
        NonExclusive = 1,
        Exclusive = 2,
        DestroyingExclusive = 3
    };
    Q_ENUM(CommandExclusivity)

    // How often a waiting command looks whether it has been asked to stop.
    static constexpr int StopCheckMs = 50;
    // The nice value of a command's thread (where the system allows one per thread).
    static constexpr int CommandThreadNice = 5;

    BaseCommand(qulonglong commandId, CommandType type, CommandExclusivity exclusivity,
                QObject *parent = nullptr);
    ~BaseCommand() override;

    CommandType getCommandType() const { return commandType; }
    CommandExclusivity getCommandExclusivity() const { return commandExclusivity; }
    qulonglong getCommandId() const { return commandId; }

    // Display text for progress records and the transfer window: rich text, built
    // with typeStringFor().
    virtual QString getCommandTypeString() const = 0;
    // The remote item the command works on; null when it has none.
    const RemoteItemRef &getSubject() const { return subject; }
    // Its self id; 0 when it has none.
    quint64 getSubjectSelfId() const { return subject.selfId(); }
    // What the command did to its item on the server, once it has succeeded (kind None
    // before, and for commands that change no item). Read after the report.
    const RemoteItemChange &getItemChange() const { return itemChange; }

    // Why the command failed, in the user's words ("the connection to host:port was
    // refused"); empty when nothing more is known than its result. Written on the
    // command's thread before it reports, read by the scheduler after the report.
    QString getFailureReason() const;

    // The action text followed by the item's name in bold. Every display text that
    // names a file or folder goes through here: it is shown as rich text, so a name
    // such as "a<b" or "<img src=...>" must stay a name.
    static QString typeStringFor(const QString &action, const QString &itemName);

    static void setMainThread(QThread *thread);
    static QThread *getMainThread();

    // Registers the enumerations that travel through queued signals.
    static void registerMetaTypes();

public Q_SLOTS:
    virtual void execute() = 0;

Q_SIGNALS:
    void started(qulonglong commandId);
    void processing(qulonglong commandId, qulonglong currentState, qulonglong fullState,
                    int timestamp);
    void finished(qulonglong commandId, BaseCommand::CommandResult result);
    void quitLocalEventLoop();

protected:
    void run() override;

    // The command word sent to the server, e.g. "refresh".
    virtual QString getCommandName() const = 0;

    // The one way a command ends: emits `finished` with the result, and the reason for
    // a failure when one is given (a reason already set by a step that knew more is
    // kept). Only the first report of a run counts; a second one is a fault of the
    // command and is ignored. A command whose execute() returns without a report is
    // reported as UnknownError by run().
    void report(CommandResult result, const QString &reason = QString());
    void setFailureReason(const QString &reason);
    // Sets the reason unless one is already set.
    void noteFailureReason(const QString &reason);
    // Names the remote item the command works on, for the request and the reports.
    void setSubject(const RemoteItemRef &item);
    // The subject's name as it is now (a snapshot under the tree's lock).
    QString subjectName() const;
    // Records what the command did to its subject on the server. A server id given to
    // the item is noted in its tree at once, for requests built before the GUI thread
    // has written it into the item.
    void reportChange(RemoteItemChange::Kind kind, quint64 id = 0, quint64 size = 0,
                      const QString &downloadSegment = QString());

    void prepareByteArrayForRequest(QByteArray &request) const;
    // Connects `socket` to the server: NoError, or InitialConnectionError (or
    // IncorrectLoginError / IncorrectPasswordError without connecting, when the stored
    // login or password cannot be sent) with the reason noted and `socket` null.
    CommandResult connectControlSocket(std::unique_ptr<QTcpSocket> &socket);
    // Decodes a reply that is not the expected success reply.
    static CommandResult getErrorType(const QByteArray &reply);
    // The same reply in the user's words: the server's code, or that it was unreadable.
    static QString getErrorReason(const QByteArray &reply);
    // getErrorType(), with getErrorReason() kept as the failure reason.
    CommandResult judgeErrorReply(const QByteArray &reply);

    // Runs this thread's event loop until quitLocalEventLoop() is emitted. A quit
    // requested before the loop runs is not lost: the loop then returns at once.
    void startLocalEventLoop();
    void restartInternalTimer() { timer.restart(); }
    // Milliseconds since the thread began (or since restartInternalTimer()).
    int getElapsedMs() const;

    // Writes the whole request and waits for the first reply bytes: NoError, or
    // ConnectionError with the reason noted. The socket stays the caller's.
    CommandResult writeRequestAndWaitForReply(QTcpSocket *socket, const QByteArray &request);
    // What has arrived and what follows of the reply, until it can be judged, the
    // peer closes, or the limits expire (see ReplyFramer). False when the server sent
    // more than ReplyFramer::MaxReplyBytes without completing a reply.
    bool readReply(QTcpSocket *socket, bool valueExpected, QByteArray &reply) const;

    // QTcpSocket's waits, given up early when the scheduler asks this command to stop
    // (QThread::requestInterruption: the window whose items the command uses is
    // closing). They return false then, as on a timeout.
    bool waitForReadyRead(QTcpSocket *socket, int ms) const;
    bool waitForBytesWritten(QTcpSocket *socket, int ms) const;

    const CommandType commandType;
    const CommandExclusivity commandExclusivity;
    const qulonglong commandId;
    QElapsedTimer timer;
    // The limits in force when the command started.
    NetworkLimits limits;

private:
    void onQuitLocalEventLoop();

    std::atomic<bool> localLoopQuitRequested{false};
    std::atomic<bool> reported{false};
    RemoteItemRef subject;
    RemoteItemChange itemChange;
    mutable QMutex failureReasonMutex;
    QString failureReason;
    static std::atomic<QThread *> mainThread;
};
