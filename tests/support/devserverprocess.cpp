#include "devserverprocess.h"

#include "testpaths.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>

DevServerProcess::DevServerProcess()
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
}

DevServerProcess::~DevServerProcess()
{
    stop();
}

QString DevServerProcess::executablePath()
{
    return QStringLiteral(PELORIN_DEVSERVER_PATH);
}

bool DevServerProcess::start(const QStringList &extraArguments, int timeoutMs)
{
    stop();
    error.clear();
    const QString program = executablePath();
    if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
        error = QStringLiteral("development server not built: '%1'").arg(program);
        return false;
    }
    if (!data.isValid()) {
        error = QStringLiteral("no temporary data folder");
        return false;
    }
    const QString listen = listenPort ? QStringLiteral("127.0.0.1:%1").arg(listenPort)
                                      : QStringLiteral("127.0.0.1:0");
    arguments = QStringList{QStringLiteral("--listen"), listen, QStringLiteral("--data"), data.path()};
    arguments += extraArguments;
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs)) {
        error = QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
        return false;
    }
    if (waitForListeningLine(process, timeoutMs, listenHost, listenPort))
        return true;
    error = QStringLiteral("server did not report its port; stderr: %1")
                .arg(QString::fromLocal8Bit(process.readAllStandardError()));
    stop();
    return false;
}

bool DevServerProcess::waitForListeningLine(QProcess &process, int timeoutMs, QString &host,
                                            quint16 &port)
{
    static const QRegularExpression line(QStringLiteral("^listening on (.+):(\\d+)\\s*$"));
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!process.canReadLine() && !process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (process.state() != QProcess::Running)
                break;
            continue;
        }
        while (process.canReadLine()) {
            const auto match = line.match(QString::fromUtf8(process.readLine()));
            if (match.hasMatch()) {
                host = match.captured(1);
                port = quint16(match.captured(2).toUInt());
                return true;
            }
        }
    }
    return false;
}

void DevServerProcess::stop()
{
    stopProcess(process);
}

void DevServerProcess::stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void DevServerProcess::kill()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(5000);
}

bool DevServerProcess::restart(bool samePort)
{
    const quint16 previous = listenPort;
    QStringList extra = arguments.mid(4);
    stop();
    listenPort = samePort ? previous : 0;
    return start(extra);
}

bool DevServerProcess::isRunning() const
{
    return process.state() == QProcess::Running;
}

QByteArray DevServerProcess::standardError() const
{
    return const_cast<QProcess &>(process).readAllStandardError();
}
