#include "devserver.h"

#include "controlsession.h"
#include "demodata.h"

#include <QHostInfo>
#include <QTcpSocket>

DevServer::DevServer(const ServerOptions &options, QObject *parent)
    : QObject(parent)
    , options(options)
    , storage(options.dataDir)
{
    connect(&listener, &QTcpServer::newConnection, this, &DevServer::acceptConnections);
}

bool DevServer::start(QString *error)
{
    if (!storage.open(error))
        return false;
    for (const auto &[login, password] : options.users) {
        if (!storage.setAccount(login, password)) {
            *error = QStringLiteral("cannot store the account %1").arg(QString::fromLatin1(login));
            return false;
        }
    }
    if (options.demo && !storage.hasAccount(DemoData::Login) && !DemoData::create(storage)) {
        *error = QStringLiteral("cannot create the demo account");
        return false;
    }

    QHostAddress address(options.listenHost);
    if (address.isNull()) {
        const QHostInfo info = QHostInfo::fromName(options.listenHost);
        if (info.addresses().isEmpty()) {
            *error = QStringLiteral("cannot resolve %1").arg(options.listenHost);
            return false;
        }
        address = info.addresses().constFirst();
    }
    listener.setMaxPendingConnections(1000);
    listener.setListenBacklogSize(256);
    if (!listener.listen(address, options.listenPort)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(options.listenHost)
                     .arg(options.listenPort)
                     .arg(listener.errorString());
        return false;
    }
    return true;
}

void DevServer::acceptConnections()
{
    while (QTcpSocket *socket = listener.nextPendingConnection())
        new ControlSession(socket, storage, options, &network, this);
}
