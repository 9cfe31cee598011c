#include "refreshlistcommand.h"

#include "failurereason.h"
#include "logging.h"
#include "wire/wire.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <atomic>
#include <memory>

namespace {
std::atomic<int> silenceMs{RefreshListCommand::DefaultSilenceMs};
std::atomic<qsizetype> maxListBytes{RefreshListCommand::DefaultMaxListBytes};
std::atomic<int> maxListMs{RefreshListCommand::DefaultMaxListMs};
} // namespace

int RefreshListCommand::getSilenceMs() { return silenceMs; }
void RefreshListCommand::setSilenceMs(int ms) { silenceMs = ms; }

RefreshListCommand::ListLimits RefreshListCommand::getListLimits()
{
    return {maxListBytes, maxListMs};
}

void RefreshListCommand::setListLimits(const ListLimits &limits)
{
    maxListBytes = limits.maxBytes;
    maxListMs = limits.maxMs;
}

BaseCommand::CommandResult RefreshListCommand::parseReply(const QByteArray &reply, QString &list)
{
    return Wire::parseList(reply, list) ? NoError : getErrorType(reply);
}

RefreshListCommand::RefreshListCommand(qulonglong commandId, QObject *parent)
    : BaseCommand(commandId, BaseCommand::RefreshListCommand, Exclusive, parent)
{
}

QString RefreshListCommand::getReceivedData() const { return receivedData; }

QString RefreshListCommand::getCommandTypeString() const { return tr("Refresh list"); }

QString RefreshListCommand::getCommandName() const { return QString::fromLatin1(Wire::RefreshWord); }

void RefreshListCommand::execute()
{
    Q_EMIT started(commandId);

    QByteArray request;
    prepareByteArrayForRequest(request);
    std::unique_ptr<QTcpSocket> socket(getControlSocket());
    if (!socket)
        return;
    if (!writeRequestAndWaitForReply(socket.get(), request))
        return;

    const ListLimits limits = getListLimits();
    const qsizetype maxReply = Wire::ListReply.size() + limits.maxBytes;
    QElapsedTimer listTimer;
    listTimer.start();
    QByteArray reply = socket->readAll();
    const int silence = getSilenceMs();
    bool overLimit = false;
    while (!overLimit && waitForReadyRead(socket.get(), silence)) {
        reply += socket->readAll();
        overLimit = reply.size() > maxReply || listTimer.elapsed() > limits.maxMs;
    }
    // The list has no end mark: only silence ends it. A wait given up because the
    // command was asked to stop says nothing about the list's end.
    if (isInterruptionRequested()) {
        Q_EMIT finished(commandId, ConnectionError);
        return;
    }
    if (!overLimit) {
        reply += socket->readAll();
        overLimit = reply.size() > maxReply;
    }
    if (overLimit)
        socket->abort(); // whatever else it sends is not read
    else
        socket->disconnectFromHost();
    socket.reset();
    qCDebug(lcNetwork) << "refresh received" << reply.size() << "bytes";
    if (overLimit) {
        qCDebug(lcNetwork) << "refresh list beyond" << limits.maxBytes << "bytes or"
                           << limits.maxMs << "ms; dropped";
        finishWith(ReceivedDataFormatError,
                   tr("the list was longer than %1 bytes or took longer than %2 s")
                       .arg(limits.maxBytes).arg(limits.maxMs / 1000));
        return;
    }

    const CommandResult result = parseReply(reply, receivedData);
    finishWith(result, result == NoError ? QString() : getErrorReason(reply));
}
