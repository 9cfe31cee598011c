#include "fakeserver.h"

#include "base/settings.h"

#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

FakeScript &FakeScript::awaitBytes(qsizetype total)
{
    stepList.append({Step::AwaitBytes, {}, qint64(total)});
    return *this;
}

FakeScript &FakeScript::awaitText(const QByteArray &text)
{
    stepList.append({Step::AwaitText, text, 0});
    return *this;
}

FakeScript &FakeScript::awaitClose()
{
    stepList.append({Step::AwaitClose, {}, 0});
    return *this;
}

FakeScript &FakeScript::send(const QByteArray &bytes)
{
    stepList.append({Step::Send, bytes, 0});
    return *this;
}

FakeScript &FakeScript::sendError(int code) { return send("error\n" + QByteArray::number(code)); }

FakeScript &FakeScript::sendReady(quint16 port) { return send("ready\n" + QByteArray::number(port)); }

FakeScript &FakeScript::sendCut(const QByteArray &bytes, qsizetype count)
{
    return send(bytes.left(count)).close();
}

FakeScript &FakeScript::pause(int ms)
{
    stepList.append({Step::Pause, {}, ms});
    return *this;
}

FakeScript &FakeScript::close()
{
    stepList.append({Step::Close, {}, 0});
    return *this;
}

FakeScript &FakeScript::abort()
{
    stepList.append({Step::Abort, {}, 0});
    return *this;
}

QByteArray FakeScript::httpResponse(int status, const QByteArray &body,
                                    const QByteArray &extraHeaders)
{
    QByteArray reason = status == 200 ? "OK" : status == 206 ? "Partial Content"
                      : status == 404 ? "Not Found" : "Status";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

// Plays one script on one accepted socket, on the server's thread.
class FakeConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeConnection)

public:
    FakeConnection(FakeServer *server, quint16 port, int index, QTcpSocket *socket,
                   const FakeScript &script, QObject *parent)
        : QObject(parent), server(server), port(port), index(index), socket(socket),
          steps(script.steps())
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &FakeConnection::readIncoming);
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            readIncoming();
            if (!closedByServer) {
                QMutexLocker lock(&this->server->mutex);
                record().closedByClient = true;
                peerClosed = true;
            }
            advance();
        });
        // Bytes may have arrived before the connection was taken.
        QTimer::singleShot(0, this, [this] {
            readIncoming();
            advance();
        });
    }

private:
    FakeServer::ConnectionRecord &record()
    {
        return server->listeners[port].connections[index];
    }

    void readIncoming()
    {
        if (!socket->isOpen())
            return;
        const QByteArray bytes = socket->readAll();
        if (bytes.isEmpty())
            return;
        received += bytes;
        {
            QMutexLocker lock(&server->mutex);
            record().received += bytes;
        }
        advance();
    }

    void advance()
    {
        if (inAdvance)
            return; // a step's own signals re-enter; the outer loop goes on
        inAdvance = true;
        while (next < steps.size() && !pausing) {
            const FakeScript::Step &step = steps.at(next);
            bool satisfied = true;
            switch (step.kind) {
            case FakeScript::Step::AwaitBytes: satisfied = received.size() >= step.number; break;
            case FakeScript::Step::AwaitText: satisfied = received.contains(step.bytes); break;
            case FakeScript::Step::AwaitClose: satisfied = peerClosed; break;
            case FakeScript::Step::Send:
                if (socket->state() == QAbstractSocket::ConnectedState)
                    socket->write(step.bytes);
                break;
            case FakeScript::Step::Pause:
                pausing = true;
                QTimer::singleShot(int(step.number), this, [this] {
                    pausing = false;
                    ++next;
                    advance();
                });
                break;
            case FakeScript::Step::Close:
                closedByServer = true;
                socket->disconnectFromHost();
                break;
            case FakeScript::Step::Abort:
                closedByServer = true;
                socket->abort();
                break;
            }
            if (!satisfied || pausing)
                break;
            ++next;
        }
        if (next >= steps.size()) {
            QMutexLocker lock(&server->mutex);
            record().scriptDone = true;
        }
        inAdvance = false;
    }

    FakeServer *server;
    const quint16 port;
    const int index;
    QTcpSocket *socket;
    const QList<FakeScript::Step> steps;
    QByteArray received;
    qsizetype next = 0;
    bool pausing = false;
    bool inAdvance = false;
    bool peerClosed = false;
    bool closedByServer = false;
};

// Owns the listeners and connections; lives on the server's thread.
class FakeServerWorker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeServerWorker)

public:
    explicit FakeServerWorker(FakeServer *server) : server(server) {}

    quint16 listen(const QList<FakeScript> &scripts)
    {
        auto *listener = new QTcpServer(this);
        if (!listener->listen(QHostAddress::LocalHost)) {
            qWarning("fake server cannot listen: %s", qPrintable(listener->errorString()));
            return 0;
        }
        const quint16 port = listener->serverPort();
        {
            QMutexLocker lock(&server->mutex);
            server->listeners[port].scripts = scripts;
        }
        connect(listener, &QTcpServer::newConnection, this, [this, listener, port] {
            while (QTcpSocket *socket = listener->nextPendingConnection()) {
                FakeScript script;
                int index = 0;
                {
                    QMutexLocker lock(&server->mutex);
                    FakeServer::ListenerRecord &record = server->listeners[port];
                    index = int(record.connections.size());
                    FakeServer::ConnectionRecord connection;
                    connection.hasScript = index < record.scripts.size();
                    if (connection.hasScript)
                        script = record.scripts.at(index);
                    record.connections.append(connection);
                }
                new FakeConnection(server, port, index, socket, script, this);
            }
        });
        return port;
    }

private:
    FakeServer *server;
};

FakeServer::FakeServer()
{
    thread.setObjectName(QStringLiteral("FakeServer"));
    worker = new FakeServerWorker(this);
    worker->moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(
        worker, [this] { controlPort = worker->listen({}); }, Qt::BlockingQueuedConnection);
}

FakeServer::~FakeServer()
{
    QMetaObject::invokeMethod(
        worker, [this] { delete worker; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

void FakeServer::useForSettings() const
{
    Settings::getInstance()->setServerHost(host());
    Settings::getInstance()->setServerPort(port());
}

void FakeServer::addScript(const FakeScript &script)
{
    QMutexLocker lock(&mutex);
    listeners[controlPort].scripts.append(script);
}

quint16 FakeServer::openDataPort(const QList<FakeScript> &scripts)
{
    quint16 port = 0;
    QMetaObject::invokeMethod(
        worker, [&] { port = worker->listen(scripts); }, Qt::BlockingQueuedConnection);
    return port;
}

QByteArray FakeServer::received(int connection, quint16 port) const
{
    QMutexLocker lock(&mutex);
    const QList<ConnectionRecord> &connections = listeners.value(resolve(port)).connections;
    return connection < connections.size() ? connections.at(connection).received : QByteArray();
}

int FakeServer::connectionCount(quint16 port) const
{
    QMutexLocker lock(&mutex);
    return int(listeners.value(resolve(port)).connections.size());
}

bool FakeServer::isClosedByClient(int connection, quint16 port) const
{
    QMutexLocker lock(&mutex);
    const QList<ConnectionRecord> &connections = listeners.value(resolve(port)).connections;
    return connection < connections.size() && connections.at(connection).closedByClient;
}

bool FakeServer::waitForConnections(int count, quint16 port, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return connectionCount(port) >= count; }, timeoutMs);
}

bool FakeServer::waitForReceived(qsizetype bytes, int connection, quint16 port,
                                 int timeoutMs) const
{
    return QTest::qWaitFor([&] { return received(connection, port).size() >= bytes; },
                           timeoutMs);
}

bool FakeServer::waitForClosedByClient(int connection, quint16 port, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return isClosedByClient(connection, port); }, timeoutMs);
}

bool FakeServer::waitForScriptsDone(int timeoutMs) const
{
    return QTest::qWaitFor(
        [&] {
            QMutexLocker lock(&mutex);
            for (const ListenerRecord &listener : listeners) {
                if (listener.connections.size() < listener.scripts.size())
                    return false;
                for (const ConnectionRecord &connection : listener.connections) {
                    if (connection.hasScript && !connection.scriptDone)
                        return false;
                }
            }
            return true;
        },
        timeoutMs);
}

quint16 FakeServer::closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

#include "fakeserver.moc"
