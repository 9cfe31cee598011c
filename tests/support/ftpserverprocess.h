#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// A real FTP server (pyftpdlib, from tests/support/ftpserver.py) as a child process on
// loopback, serving a folder read-only to anonymous users and to named accounts. Its
// log shows every command the client sent, in order.
//
//   FtpServerProcess ftp;
//   QVERIFY2(ftp.start(root.path(), {"alice:secret"}), qPrintable(ftp.errorText()));
//   ... fetch ftp://127.0.0.1:<ftp.port()>/pub/file.bin ...
//   QVERIFY(ftp.commands().contains("RETR file.bin"));
class FtpServerProcess final
{
public:
    FtpServerProcess() = default;
    ~FtpServerProcess();
    FtpServerProcess(const FtpServerProcess &) = delete;
    FtpServerProcess &operator=(const FtpServerProcess &) = delete;

    // `users` as "name:password"; `port` 0 for an ephemeral one.
    bool start(const QString &root, const QStringList &users = {}, quint16 port = 0,
               int timeoutMs = 15000);
    void stop();

    quint16 port() const { return listenPort; }
    QString errorText() const { return error; }
    // The commands received so far on all sessions, e.g. "USER anonymous", "CWD /pub".
    QStringList commands();
    // Forgets the commands logged so far.
    void clearLog();

    static QString pythonPath();

private:
    QProcess process;
    QByteArray log;
    quint16 listenPort = 0;
    QString error;
};
