#include "ftpserverprocess.h"

#include "devserverprocess.h"
#include "testpaths.h"

#include <QFileInfo>
#include <QStandardPaths>

FtpServerProcess::~FtpServerProcess() { stop(); }

QString FtpServerProcess::pythonPath()
{
    // The system's interpreter is the one Debian's pyftpdlib belongs to, whatever
    // other python3 comes first on PATH.
    const QString system = QStringLiteral("/usr/bin/python3");
    if (QFileInfo(system).isExecutable())
        return system;
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

bool FtpServerProcess::start(const QString &root, const QStringList &users, quint16 port,
                             int timeoutMs)
{
    stop();
    error.clear();
    log.clear();
    QStringList arguments{QStringLiteral(PELORIN_SOURCE_DIR "/tests/support/ftpserver.py"), root,
                          QStringLiteral("--port"), QString::number(port)};
    for (const QString &user : users)
        arguments << QStringLiteral("--user") << user;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(pythonPath(), arguments);
    if (!process.waitForStarted(timeoutMs)) {
        error = QStringLiteral("cannot start the FTP server: %1").arg(process.errorString());
        return false;
    }
    QString host;
    if (DevServerProcess::waitForListeningLine(process, timeoutMs, host, listenPort))
        return true;
    error = QStringLiteral("the FTP server did not start: %1")
                .arg(QString::fromLocal8Bit(process.readAllStandardError()));
    stop();
    return false;
}

void FtpServerProcess::stop()
{
    DevServerProcess::stopProcess(process);
}

QStringList FtpServerProcess::commands()
{
    log += process.readAllStandardError();
    QStringList sent;
    for (const QByteArray &line : log.split('\n')) {
        const qsizetype arrow = line.indexOf("] <- ");
        if (arrow >= 0)
            sent.append(QString::fromUtf8(line.mid(arrow + 5)).trimmed());
    }
    return sent;
}

void FtpServerProcess::clearLog()
{
    process.readAllStandardError();
    log.clear();
}
