#include "network/downloadfilecommand.h"

#include "base/logging.h"
#include "base/settings.h"
#include "network/failurereason.h"
#include "network/httpreceiver.h"
#include "wire/wire.h"

#include <QFile>
#include <QTcpSocket>

#include <memory>

DownloadFileCommand::DownloadFileCommand(qulonglong commandId, const RemoteItemRef &fileItem,
                                         const QString &downloadPath, QObject *parent)
    : BaseCommand(commandId, BaseCommand::DownloadFileCommand, NonExclusive, parent),
      downloadPath(downloadPath)
{
    setSubject(fileItem);
}

QString DownloadFileCommand::getCommandName() const
{
    return QString::fromLatin1(Wire::DownloadFileWord);
}

QString DownloadFileCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Download file"), subjectName());
}

void DownloadFileCommand::execute()
{
    Q_EMIT started(commandId);

    // Opened without truncation: the bytes already here are the resume offset.
    QFile target(downloadPath);
    if (!target.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        qCDebug(lcNetwork) << "cannot open download target" << downloadPath << target.errorString();
        report(InitialDataFormatError, FailureReason::cannotWrite(target));
        return;
    }

    QByteArray request;
    prepareByteArrayForRequest(request);
    request += QByteArray::number(getSubject().snapshot().id);

    std::unique_ptr<QTcpSocket> controlSocket;
    if (const CommandResult failure = connectControlSocket(controlSocket); failure != NoError) {
        report(failure);
        return;
    }
    if (const CommandResult failure = writeRequestAndWaitForReply(controlSocket.get(), request);
        failure != NoError) {
        report(failure);
        return;
    }
    QByteArray reply;
    if (!readReply(controlSocket.get(), true, reply)) {
        controlSocket->disconnectFromHost();
        report(ReceivedDataFormatError, FailureReason::unreadableReply());
        return;
    }
    if (!Wire::isReady(reply)) {
        controlSocket->disconnectFromHost();
        report(judgeErrorReply(reply));
        return;
    }
    quint16 httpPort = 0;
    if (!Wire::parseReadyPort(reply, httpPort)) {
        controlSocket->disconnectFromHost();
        report(ReceivedDataFormatError, FailureReason::unreadableReply());
        return;
    }
    const QString host = Settings::getInstance()->getServerHost();
    const QString urlHost = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    const QByteArray url = QStringLiteral("http://%1:%2/").arg(urlHost).arg(httpPort).toLatin1();
    const qint64 start = target.size();
    // Our own Host (libcurl would add the port) and no Accept; the empty body is
    // declared rather than sent.
    const QList<QByteArray> headers{"Host: " + host.toLatin1(), "Accept:",
                                    "Content-Range: " + QByteArray::number(start) + "-*", "Content-Length: 0"};
    qCDebug(lcNetwork) << "GET file Content-Range:" << start << "-* into" << downloadPath << "port" << httpPort;

    HttpReceiver receiver;
    receiver.setConnectTimeoutMs(limits.connectMs);
    receiver.setStallTimeoutSeconds(limits.transferStallSeconds);
    receiver.setProgressHandler([this](qint64 curr, qint64 total) { httpReadProgress(curr, total); });
    const HttpReceiver::Outcome outcome = receiver.fetch(url, "file", headers, target, start);
    if (outcome != HttpReceiver::Outcome::Complete) {
        qCDebug(lcNetwork) << "download failed:" << receiver.errorString();
        setFailureReason(FailureReason::fetchFailed(outcome == HttpReceiver::Outcome::FileError,
                                                    downloadPath, target.size() - start,
                                                    receiver.errorString()));
    }
    controlSocket->disconnectFromHost();
    httpReceiverRequestFinished(outcome != HttpReceiver::Outcome::Complete);
}

void DownloadFileCommand::httpReceiverRequestFinished(bool error)
{
    report(error ? ConnectionError : NoError);
}

void DownloadFileCommand::httpReadProgress(qint64 curr, qint64 total)
{
    if (progressThrottle.shouldReport(curr, total))
        Q_EMIT processing(commandId, qulonglong(curr), qulonglong(total), getElapsedMs());
}
