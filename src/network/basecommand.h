#pragma once

// Every request on the control connection starts with the same three lines:
//
//   client -> server   <login>\n<password>\n<command word>\n<command's own fields>
//   server -> client   <success word>\n...          (e.g. "filelist\n", "done\n", "ready\n")
//                  or  error\n<decimal code>        (1 login, 2 password, 3 command)
//
// One fresh TCP connection carries one request. Text becomes bytes one character per
// byte in Latin-1; a character outside Latin-1 is sent as "?".

#include "remotetree/remoteitemchange.h"
#include "remotetree/remoteitemref.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>

#include <atomic>

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

    // Time limits of the control connection, in milliseconds. Tests shorten them with
    // setTimeouts(); every command reads them when it waits.
    struct Timeouts {
        int connectMs = 10000;  // connection established
        int writeMs = 10000;    // request written
        int replyMs = 30000;    // first reply bytes arrived
    };
    static Timeouts getTimeouts();
    static void setTimeouts(const Timeouts &timeouts);
    // How often a waiting command looks whether it has been asked to stop.
    static constexpr int StopCheckMs = 50;
    // The nice value of a command's thread (where the system allows one per thread).
    static constexpr int CommandThreadNice = 5;

    // Once a reply's first line has arrived, how long to wait for the rest of a
    // value or error code that the server neither ended with a line feed nor
    // followed by closing the connection. Tests shorten it.
    static constexpr int DefaultReplyCompletionMs = 1000;
    static int getReplyCompletionMs();
    static void setReplyCompletionMs(int ms);

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

    // Reports the result, with the reason for a failure when one is given; a reason
    // already set (by a step that knew more) is kept.
    void finishWith(CommandResult result, const QString &reason = QString());
    void setFailureReason(const QString &reason);
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
    // A connected socket owned by the caller, or null after having reported
    // InitialConnectionError (or IncorrectLoginError / IncorrectPasswordError without
    // connecting, when the stored login or password cannot be sent).
    QTcpSocket *getControlSocket();
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

    // Writes the whole request and waits for the first reply bytes; on failure reports
    // ConnectionError and returns false. The socket stays the caller's.
    bool writeRequestAndWaitForReply(QTcpSocket *socket, const QByteArray &request);
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

private:
    void onQuitLocalEventLoop();

    std::atomic<bool> localLoopQuitRequested{false};
    RemoteItemRef subject;
    RemoteItemChange itemChange;
    mutable QMutex failureReasonMutex;
    QString failureReason;
    static std::atomic<QThread *> mainThread;
};
