#include "basecommand.h"

#include "failurereason.h"
#include "logging.h"
#include "wire/protocoltextcheck.h"
#include "remotetree/remotetree.h"
#include "settings.h"

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

namespace {
// Base-10 integer as the server writes its error code: leading white space and a
// sign are allowed, nothing may follow the digits, the value must fit 32 bits.
bool parseErrorCode(const QByteArray &text, int &value)
{
    int i = 0;
    const int n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\v'
                     || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == n)
        return false;
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    const qint64 signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int>::max())
        return false;
    value = int(signedValue);
    return true;
}
} // namespace

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

QByteArray BaseCommand::toProtocolBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() <= 0xFF) {
            bytes.append(char(c.unicode()));
            continue;
        }
        // One "?" per character, also for a character beyond the BMP (two UTF-16 units).
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        bytes.append('?');
    }
    return bytes;
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
    request.append(toProtocolBytes(settings->getLogin())).append('\n');
    request.append(toProtocolBytes(settings->getPass())).append('\n');
    request.append(toProtocolBytes(getCommandName())).append('\n');
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

qsizetype BaseCommand::completeReplyLength(const QByteArray &buffer, bool valueExpected)
{
    static const QByteArray done = QByteArrayLiteral("done\n");
    static const QByteArray error = QByteArrayLiteral("error\n");
    static const QByteArray ready = QByteArrayLiteral("ready\n");
    for (const QByteArray *word : {&done, &error, &ready}) {
        if (buffer.size() < word->size() && word->startsWith(buffer))
            return 0;
    }
    if (buffer.startsWith(ready)) {
        // A port is digits with blanks around them; anything else ends it (the
        // next reply may follow it directly).
        for (qsizetype i = ready.size(); i < buffer.size(); ++i) {
            const char c = buffer.at(i);
            if (c == '\n')
                return i + 1;
            if (!(c >= '0' && c <= '9') && c != ' ' && c != '\t' && c != '\r')
                return i;
        }
        return 0;
    }
    const QByteArray *word = buffer.startsWith(error) ? &error
                           : buffer.startsWith(done) && valueExpected ? &done
                           : nullptr;
    if (!word)
        return buffer.size();
    const qsizetype end = buffer.indexOf('\n', word->size());
    return end < 0 ? 0 : end + 1;
}

// A reply may arrive in pieces. Judging the first piece alone would report a change
// the server has already made as failed, or dial a port cut short. So bytes are
// collected until the reply can be judged or the peer closes: within the reply time
// limit while the first line is incomplete, then within the shorter completion limit,
// counted from that line's end, so a server that trickles bytes cannot hold the
// command. The bytes kept are bounded by MaxReplyBytes.
bool BaseCommand::readReply(QTcpSocket *socket, bool valueExpected, QByteArray &reply) const
{
    const QDeadlineTimer firstLineDeadline(limits.replyMs);
    QDeadlineTimer completionDeadline;
    bool firstLineEnded = false;
    reply = socket->read(MaxReplyBytes + 1);
    for (;;) {
        if (!firstLineEnded && reply.contains('\n')) {
            firstLineEnded = true;
            completionDeadline.setRemainingTime(limits.replyCompletionMs);
        }
        if (isReplyComplete(reply, valueExpected))
            return true;
        if (reply.size() > MaxReplyBytes)
            return false;
        const QDeadlineTimer &deadline = firstLineEnded ? completionDeadline : firstLineDeadline;
        if (!waitForReadyRead(socket, int(qMax<qint64>(0, deadline.remainingTime()))))
            return true;
        reply += socket->read(MaxReplyBytes + 1 - reply.size());
    }
}

namespace {
// The code of an "error\n<code>" reply; false when the reply is not one.
bool readErrorCode(const QByteArray &reply, int &code)
{
    if (!reply.startsWith("error\n"))
        return false;
    const QList<QByteArray> pieces = reply.split('\n');
    return pieces.size() >= 2 && parseErrorCode(pieces.at(1), code);
}
} // namespace

BaseCommand::CommandResult BaseCommand::getErrorType(const QByteArray &reply)
{
    int code = 0;
    if (!readErrorCode(reply, code))
        return ReceivedDataFormatError;
    switch (code) {
    case 1: return IncorrectLoginError;
    case 2: return IncorrectPasswordError;
    case 3: return IncorrectCommandError;
    default: return UnknownError;
    }
}

QString BaseCommand::getErrorReason(const QByteArray &reply)
{
    int code = 0;
    return readErrorCode(reply, code) ? FailureReason::serverCode(code) : FailureReason::unreadableReply();
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
