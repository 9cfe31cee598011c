#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// Runs the development server (pelorin-devserver) as a child process on an
// ephemeral loopback port with a temporary data folder, for integration tests.
//
//   DevServerProcess server;
//   QVERIFY2(server.start({"--user", "alice:secret"}), qPrintable(server.errorText()));
//   Settings::getInstance()->setServerPort(server.port());
class DevServerProcess final
{
public:
    DevServerProcess();
    ~DevServerProcess();
    DevServerProcess(const DevServerProcess &) = delete;
    DevServerProcess &operator=(const DevServerProcess &) = delete;

    // Starts the server with the given extra arguments and waits for its
    // "listening on HOST:PORT" line. The data folder is kept across restarts.
    bool start(const QStringList &extraArguments = {}, int timeoutMs = 15000);
    // SIGTERM and wait; kill() for a hard stop that gives the server no chance to tidy up.
    void stop();
    void kill();
    // Same arguments and data folder; samePort keeps the address clients were given.
    bool restart(bool samePort = true);

    bool isRunning() const;
    QString host() const { return listenHost; }
    quint16 port() const { return listenPort; }
    QString dataDir() const { return data.path(); }
    QString errorText() const { return error; }
    QByteArray standardError() const;

    static QString executablePath();
    // Reads `process`'s standard output until a line "listening on HOST:PORT", which
    // local servers print once they accept connections.
    static bool waitForListeningLine(QProcess &process, int timeoutMs, QString &host, quint16 &port);
    // SIGTERM, and a hard kill if the process has not ended within five seconds.
    static void stopProcess(QProcess &process);

private:
    QTemporaryDir data;
    QProcess process;
    QStringList arguments;
    QString listenHost;
    quint16 listenPort = 0;
    QString error;
};
