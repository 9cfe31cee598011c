#include "refreshlistcommand.h"

#include "logging.h"

#include <QTcpSocket>

#include <atomic>
#include <memory>

namespace {
std::atomic<int> silenceMs{RefreshListCommand::DefaultSilenceMs};
const QByteArray listWord = QByteArrayLiteral("filelist\n");
} // namespace

int RefreshListCommand::getSilenceMs() { return silenceMs; }
void RefreshListCommand::setSilenceMs(int ms) { silenceMs = ms; }

RefreshListCommand::RefreshListCommand(qulonglong commandId, QObject *parent)
    : BaseCommand(commandId, BaseCommand::RefreshListCommand, Exclusive, parent)
{
}

QString RefreshListCommand::getReceivedData() const { return receivedData; }

QString RefreshListCommand::getCommandTypeString() const { return tr("Refresh list"); }

QString RefreshListCommand::getCommandName() const { return QStringLiteral("refresh"); }

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

    QByteArray reply = socket->readAll();
    const int silence = getSilenceMs();
    while (socket->waitForReadyRead(silence))
        reply += socket->readAll();
    reply += socket->readAll();
    socket->disconnectFromHost();
    socket.reset();
    qCDebug(lcNetwork) << "refresh received" << reply.size() << "bytes";

    if (!reply.startsWith(listWord)) {
        Q_EMIT finished(commandId, getErrorType(reply));
        return;
    }
    QByteArray list = reply.mid(listWord.size());
    const auto zero = list.indexOf('\0');
    if (zero >= 0)
        list.truncate(zero);
    receivedData = QString::fromLatin1(list);
    Q_EMIT finished(commandId, NoError);
}
