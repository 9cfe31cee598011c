#include "basecommand.h"

#include "base/logging.h"
#include "base/settings.h"
#include "failurereason.h"
#include "remote/remotetree.h"
#include "wire/protocoltextcheck.h"
#include "wire/replyframer.h"
#include "wire/wire.h"

#include <QDeadlineTimer>
#include <QMetaType>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpSocket>

#include <algorithm>
#include <limits>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

std::atomic<QThread *> BaseCommand::mainThread{nullptr};

BaseCommand::BaseCommand(qulonglong commandId, CommandType type,
                         CommandExclusivity exclusivity, QObject *parent)
    : QThread(parent), commandType(type), commandExclusivity(exclusivity),
      commandId(commandId), limits(NetworkLimits::current())
{
    // Direct: the signal is emitted on the command's own thread, and the flag must be
    // set even when the loop is not running yet.
    connect(this, &BaseCommand::quitLocalEventLoop, this, &BaseCommand::onQuitLocalEventLoop,
            Qt::DirectConnection);
}

BaseCommand::~BaseCommand() = default;

QString BaseCommand::typeStringFor(const QString &action, const QString &itemName)
{
    return action + QLatin1String(" <b>") + itemName.toHtmlEscaped() + QLatin1String("</b>");
}

QString BaseCommand::getFailureReason() const
{
    QMutexLocker lock(&failureReasonMutex);
    return failureReason;
}

void BaseCommand::setFailureReason(const QString &reason)
{
    QMutexLocker lock(&failureReasonMutex);
    failureReason = reason;
}

void BaseCommand::noteFailureReason(const QString &reason)
{
    QMutexLocker lock(&failureReasonMutex);
    if (failureReason.isEmpty())
        failureReason = reason;
}

void BaseCommand::setSubject(const RemoteItemRef &item)
{
    subject = item;
}

QString BaseCommand::subjectName() const
{
    return subject.isNull() ? QString() : subject.snapshot().record.getName();
}

void BaseCommand::reportChange(RemoteItemChange::Kind kind, quint64 id, quint64 size,
                               const QString &downloadSegment)
{
    itemChange = {kind, subject, id, size, downloadSegment};
    if (id != 0 && !subject.isNull()) {
        const std::lock_guard<std::mutex> guard(subject.tree()->lock());
        subject.tree()->noteGrantedId(subject.item(), id);
    }
}

void BaseCommand::report(CommandResult result, const QString &reason)
{
    if (reported.exchange(true)) {
        qCDebug(lcNetwork) << "command" << commandId << "reported again, ignored:" << result;
        return;
    }
    if (result != NoError && !reason.isEmpty())
        noteFailureReason(reason);
    Q_EMIT finished(commandId, result);
}

void BaseCommand::setMainThread(QThread *thread) { mainThread = thread; }
QThread *BaseCommand::getMainThread() { return mainThread; }

void BaseCommand::registerMetaTypes()
{
    qRegisterMetaType<BaseCommand::CommandType>("BaseCommand::CommandType");
    qRegisterMetaType<BaseCommand::CommandResult>("BaseCommand::CommandResult");
    qRegisterMetaType<BaseCommand::CommandExclusivity>("BaseCommand::CommandExclusivity");
    qRegisterMetaType<Settings::SettingType>("Settings::SettingType");
    // Items travel between the GUI, the scheduler and the commands with a share of
    // their tree; what commands did comes back as a change.
    qRegisterMetaType<RemoteItemRef>("RemoteItemRef");
    qRegisterMetaType<RemoteItemChange>("RemoteItemChange");
}

void BaseCommand::run()
{
#ifdef Q_OS_LINUX
    // Transfers digest, copy and write for seconds on end; the window must stay
    // responsive meanwhile. A slightly lower priority for this thread alone (Linux
    // gives each thread its own nice value) lets the GUI thread in first.
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), CommandThreadNice);
#endif
    timer.start();
    limits = NetworkLimits::current();
    // One report per run (a test may run a command twice).
    reported = false;
    execute();
    // A command that ends without a word would hold its stream and leave the user
    // uninformed.
    if (!reported) {
        qCDebug(lcNetwork) << "command" << commandId << "ended without reporting its result";
        report(UnknownError);
    }
}

void BaseCommand::prepareByteArrayForRequest(QByteArray &request) const
{
    const Settings *settings = Settings::getInstance();
    Wire::appendRequestPrefix(request, settings->getLogin(), settings->getPass(), getCommandName());
}

BaseCommand::CommandResult BaseCommand::connectControlSocket(std::unique_ptr<QTcpSocket> &socket)
{
    socket.reset();
    const Settings *settings = Settings::getInstance();
    // Login and password may come from a hand-edited settings file: a line feed in
    // them would put a second command in front of ours, and characters outside
    // Latin-1 would arrive as "?". Nothing is sent until they are corrected.
    const QString login = settings->getLogin();
    const QString password = settings->getPass();
    switch (ProtocolTextCheck::accountProblemField(login, password)) {
    case ProtocolTextCheck::LoginProblem:
        qCDebug(lcNetwork) << "not connecting: the login cannot be sent";
        noteFailureReason(ProtocolTextCheck::accountProblem(login, password));
        return IncorrectLoginError;
    case ProtocolTextCheck::PasswordProblem:
        qCDebug(lcNetwork) << "not connecting: the password cannot be sent";
        noteFailureReason(ProtocolTextCheck::accountProblem(login, password));
        return IncorrectPasswordError;
    case ProtocolTextCheck::NoAccountProblem:
        break;
    }
    auto connection = std::make_unique<QTcpSocket>();
    const QString host = settings->getServerHost();
    const int port = settings->getServerPort();
    connection->connectToHost(host, quint16(port), QIODevice::ReadWrite);
    if (connection->waitForConnected(limits.connectMs)) {
        socket = std::move(connection);
        return NoError;
    }
    qCDebug(lcNetwork) << "cannot connect to" << host << port << connection->errorString();
    if (!isInterruptionRequested())
        noteFailureReason(FailureReason::connectFailed(connection->error(), host, port));
    return InitialConnectionError;
}

BaseCommand::CommandResult BaseCommand::writeRequestAndWaitForReply(QTcpSocket *socket,
                                                                   const QByteArray &request)
{
    socket->write(request);
    if (!waitForBytesWritten(socket, limits.writeMs) && socket->bytesToWrite() > 0) {
        noteFailureReason(FailureReason::requestNotSent(socket));
        return ConnectionError;
    }
    if (socket->bytesAvailable() == 0 && !waitForReadyRead(socket, limits.replyMs)) {
        noteFailureReason(FailureReason::noReply(socket));
        return ConnectionError;
    }
    return NoError;
}

namespace {
// Runs one of the socket's blocking waits in slices of StopCheckMs, looking between
// slices whether the thread was asked to stop. A slice that timed out (and used up its
// time: an earlier slice's timeout error stays set) lets the wait go on; any other
// failure (peer closed, error, nothing left to write) ends it at once.
template<class Wait>
bool waitInSlices(const QThread *thread, const QTcpSocket *socket, int ms, Wait wait)
{
    const QDeadlineTimer deadline(ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                         : QDeadlineTimer(ms));
    for (;;) {
        if (thread->isInterruptionRequested())
            return false;
        const qint64 left = deadline.remainingTime();
        const int slice = left < 0 ? BaseCommand::StopCheckMs
                                   : int(std::min<qint64>(left, BaseCommand::StopCheckMs));
        QElapsedTimer sliceTimer;
        sliceTimer.start();
        if (wait(slice))
            return true;
        const bool timedOut = socket->error() == QAbstractSocket::SocketTimeoutError
            && sliceTimer.elapsed() >= slice / 2;
        if (!timedOut || socket->state() != QAbstractSocket::ConnectedState
            || deadline.hasExpired())
            return false;
    }
}
} // namespace

bool BaseCommand::waitForReadyRead(QTcpSocket *socket, int ms) const
{
    return waitInSlices(this, socket, ms,
                        [socket](int slice) { return socket->waitForReadyRead(slice); });
}

bool BaseCommand::waitForBytesWritten(QTcpSocket *socket, int ms) const
{
    return waitInSlices(this, socket, ms,
                        [socket](int slice) { return socket->waitForBytesWritten(slice); });
}

// A reply may arrive in pieces: bytes are collected until it can be judged, the peer
// closes, or the framer's limits expire (the reply's limit for the first line, then
// the shorter completion limit).
bool BaseCommand::readReply(QTcpSocket *socket, bool valueExpected, QByteArray &reply) const
{
    ReplyFramer framer(valueExpected ? ReplyFramer::Kind::ReplyWithValue : ReplyFramer::Kind::Reply,
                       {limits.replyMs, limits.replyCompletionMs});
    framer.feed(socket->read(framer.room()));
    for (;;) {
        const ReplyFramer::State state = framer.state();
        if (state != ReplyFramer::State::NeedMore || !waitForReadyRead(socket, framer.msLeft())) {
            reply = framer.bytes();
            return state != ReplyFramer::State::TooLong;
        }
        framer.feed(socket->read(framer.room()));
    }
}

BaseCommand::CommandResult BaseCommand::getErrorType(const QByteArray &reply)
{
    switch (Wire::decodeError(reply)) {
    case Wire::ServerError::Unreadable: return ReceivedDataFormatError;
    case Wire::ServerError::Login: return IncorrectLoginError;
    case Wire::ServerError::Password: return IncorrectPasswordError;
    case Wire::ServerError::Command: return IncorrectCommandError;
    case Wire::ServerError::Other: break;
    }
    return UnknownError;
}

QString BaseCommand::getErrorReason(const QByteArray &reply)
{
    int code = 0;
    return Wire::decodeError(reply, &code) != Wire::ServerError::Unreadable
        ? FailureReason::serverCode(code) : FailureReason::unreadableReply();
}

BaseCommand::CommandResult BaseCommand::judgeErrorReply(const QByteArray &reply)
{
    setFailureReason(getErrorReason(reply));
    return getErrorType(reply);
}

void BaseCommand::startLocalEventLoop()
{
    if (!localLoopQuitRequested.exchange(false))
        exec();
    localLoopQuitRequested = false;
}

void BaseCommand::onQuitLocalEventLoop()
{
    localLoopQuitRequested = true;
    quit();
}

int BaseCommand::getElapsedMs() const
{
    if (!timer.isValid())
        return 0;
    const qint64 ms = timer.elapsed();
    return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(ms);
}
