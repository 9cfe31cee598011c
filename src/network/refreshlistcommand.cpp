#include "refreshlistcommand.h"

#include "base/logging.h"
#include "failurereason.h"
#include "wire/wire.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <memory>

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
    std::unique_ptr<QTcpSocket> socket;
    if (const CommandResult failure = connectControlSocket(socket); failure != NoError) {
        report(failure);
        return;
    }
    if (const CommandResult failure = writeRequestAndWaitForReply(socket.get(), request);
        failure != NoError) {
        report(failure);
        return;
    }

    const qsizetype maxReply = Wire::ListReply.size() + limits.maxListBytes;
    QElapsedTimer listTimer;
    listTimer.start();
    QByteArray reply = socket->readAll();
    const int silence = limits.listSilenceMs;
    bool overLimit = false;
    while (!overLimit && waitForReadyRead(socket.get(), silence)) {
        reply += socket->readAll();
        overLimit = reply.size() > maxReply || listTimer.elapsed() > limits.maxListMs;
    }
    // The list has no end mark: only silence ends it. A wait given up because the
    // command was asked to stop says nothing about the list's end.
    if (isInterruptionRequested()) {
        report(ConnectionError);
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
        qCDebug(lcNetwork) << "refresh list beyond" << limits.maxListBytes << "bytes or"
                           << limits.maxListMs << "ms; dropped";
        report(ReceivedDataFormatError,
               tr("the list was longer than %1 bytes or took longer than %2 s")
                   .arg(limits.maxListBytes).arg(limits.maxListMs / 1000));
        return;
    }

    const CommandResult result = parseReply(reply, receivedData);
    report(result, result == NoError ? QString() : getErrorReason(reply));
}
