#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QMutex>
#include <QString>
#include <QThread>

#include <memory>

// What the fake server does on one accepted connection, step by step. Steps that
// wait (await..., pause) hold the script until they are satisfied; the others run at
// once. A script that ends without close() or abort() leaves the connection open
// and silent until the client closes it.
class FakeScript final
{
public:
    // Waits until the connection has received at least `total` bytes in all.
    FakeScript &awaitBytes(qsizetype total);
    // Waits until the bytes received on the connection contain `text`.
    FakeScript &awaitText(const QByteArray &text);
    // Waits until the client has closed the connection.
    FakeScript &awaitClose();
    FakeScript &send(const QByteArray &bytes);
    // "error\n" followed by the decimal code.
    FakeScript &sendError(int code);
    // "ready\n" followed by the decimal port.
    FakeScript &sendReady(quint16 port);
    // Sends the first `count` bytes of `bytes`, then closes: a reply cut short.
    FakeScript &sendCut(const QByteArray &bytes, qsizetype count);
    FakeScript &pause(int ms);
    // Flushes what was sent, then closes gracefully.
    FakeScript &close();
    // Resets the connection at once.
    FakeScript &abort();

    // A complete HTTP/1.1 response with Content-Length and the given extra header
    // lines (each ending in "\r\n").
    static QByteArray httpResponse(int status, const QByteArray &body,
                                   const QByteArray &extraHeaders = {});

    struct Step {
        enum Kind { AwaitBytes, AwaitText, AwaitClose, Send, Pause, Close, Abort };
        Kind kind;
        QByteArray bytes;
        qint64 number = 0;
    };
    const QList<Step> &steps() const { return stepList; }

private:
    QList<Step> stepList;
};

class FakeServerWorker;

// A scripted TCP server for protocol tests. It runs on its own thread, records every
// byte each connection receives, and plays one FakeScript per accepted connection,
// in the order the connections arrive. Besides the control port it opens data ports
// on request: listeners with scripts of their own, for the HTTP exchanges of the
// transfers (a GET the client sends, or one the server sends to a client that dials
// in).
//
//   FakeServer server;                 // listening on 127.0.0.1, ephemeral port
//   server.useForSettings();           // Settings' server host and port point here
//   const QByteArray request = "alice\nsecret\nrefresh\n";
//   server.addScript(FakeScript()
//                        .awaitBytes(request.size())
//                        .send("filelist\nfirst part")
//                        .pause(200)
//                        .send(" second part")
//                        .close());
//   ... run the command ...
//   QCOMPARE(server.received(), request);   // the first control connection
//
//   // A download's data port: it waits for the client's GET, answers and closes.
//   const quint16 dataPort = server.openDataPort(
//       FakeScript().awaitText("\r\n\r\n").send(FakeScript::httpResponse(200, "hello")).close());
//   server.addScript(FakeScript().awaitBytes(n).sendReady(dataPort));
//   ...
//   QCOMPARE(server.received(0, dataPort), expectedGet);
//
//   // An upload's data port: the client dials in, the server asks, the client answers.
//   const quint16 uploadPort = server.openDataPort(
//       FakeScript().send("GET file HTTP/1.1\r\nContent-Range: 0-*\r\n\r\n").awaitClose());
class FakeServer final
{
public:
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer &) = delete;
    FakeServer &operator=(const FakeServer &) = delete;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return controlPort; }
    // Points the settings store's server host and port at this server.
    void useForSettings() const;

    // The script for the next control connection; give it before the client connects
    // (a connection takes its script when accepted). Connections beyond the scripts
    // given are recorded and kept open in silence.
    void addScript(const FakeScript &script);
    // Opens another listener that plays `scripts` on its connections, in order.
    quint16 openDataPort(const QList<FakeScript> &scripts);
    quint16 openDataPort(const FakeScript &script) { return openDataPort(QList{script}); }

    // All bytes received so far on the n-th connection to `port` (0: the control port).
    QByteArray received(int connection = 0, quint16 port = 0) const;
    int connectionCount(quint16 port = 0) const;
    // Whether the client has closed the n-th connection to `port`.
    bool isClosedByClient(int connection = 0, quint16 port = 0) const;

    // These wait while processing the calling thread's events.
    bool waitForConnections(int count, quint16 port = 0, int timeoutMs = 5000) const;
    bool waitForReceived(qsizetype bytes, int connection = 0, quint16 port = 0,
                         int timeoutMs = 5000) const;
    bool waitForClosedByClient(int connection = 0, quint16 port = 0,
                               int timeoutMs = 5000) const;
    // Until every script given has been played to its end.
    bool waitForScriptsDone(int timeoutMs = 5000) const;

    // A loopback port on which nothing listens (connections to it are refused).
    static quint16 closedPort();

    // Shared with the worker thread; guarded by `mutex`.
    struct ConnectionRecord {
        QByteArray received;
        bool closedByClient = false;
        bool scriptDone = false;
        bool hasScript = false;
    };
    struct ListenerRecord {
        QList<FakeScript> scripts;
        QList<ConnectionRecord> connections;
    };

private:
    quint16 resolve(quint16 port) const { return port == 0 ? controlPort : port; }

    mutable QMutex mutex;
    QMap<quint16, ListenerRecord> listeners;
    QThread thread;
    FakeServerWorker *worker = nullptr;
    quint16 controlPort = 0;

    friend class FakeServerWorker;
    friend class FakeConnection;
};

// Scripts can be columns of data-driven tests.
Q_DECLARE_METATYPE(FakeScript)
