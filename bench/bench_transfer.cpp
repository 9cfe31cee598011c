// Transfer benchmarks against a running development server (bench/transfer.sh starts
// one): the upload digest against md5sum, a download against curl fetching the same
// bytes, an upload against that download, the client's peak memory, and how long the
// GUI thread's event loop goes unserved while five transfers run at once.
//
//   bench_transfer --server 127.0.0.1:PORT --user LOGIN:PASSWORD --work DIR [--size BYTES]
#include "base/settings.h"
#include "network/basecommand.h"
#include "network/downloadfilecommand.h"
#include "network/mainnetworkthread.h"
#include "network/uploaddigest.h"
#include "network/uploadfilecommand.h"
#include "remote/remotefileinfo.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remotetree.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <curl/curl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>

namespace {

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "bench_transfer: %s\n", qPrintable(why));
    std::exit(1);
}

void makeFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint64 state = 0x9e3779b97f4a7c15ULL;
    for (qint64 written = 0; written < size;) {
        auto *words = reinterpret_cast<quint64 *>(block.data());
        for (qsizetype i = 0; i < block.size() / 8; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            words[i] = state;
        }
        const qint64 n = qMin<qint64>(block.size(), size - written);
        if (file.write(block.constData(), n) != n)
            fail(QStringLiteral("cannot write %1").arg(path));
        written += n;
    }
}

qint64 timeProcess(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        fail(QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAllStandardError())));
    return clock.nsecsElapsed();
}

bool sameContent(const QString &a, const QString &b)
{
    QProcess cmp;
    cmp.start(QStringLiteral("cmp"), {QStringLiteral("-s"), a, b});
    return cmp.waitForFinished(-1) && cmp.exitStatus() == QProcess::NormalExit && cmp.exitCode() == 0;
}

// Runs one command on its own thread, as the scheduler does, until it has finished.
BaseCommand::CommandResult runCommand(BaseCommand *command,
                                      const std::function<void(qulonglong, qulonglong)> &progress = {})
{
    BaseCommand::CommandResult result = BaseCommand::UnknownError;
    QEventLoop loop;
    QObject::connect(command, &BaseCommand::finished, &loop,
                     [&](qulonglong, BaseCommand::CommandResult r) { result = r; });
    if (progress) {
        QObject::connect(
            command, &BaseCommand::processing, command,
            [progress](qulonglong, qulonglong current, qulonglong full, int) { progress(current, full); },
            Qt::DirectConnection);
    }
    QObject::connect(command, &QThread::finished, &loop, &QEventLoop::quit);
    command->moveToThread(command);
    command->start();
    loop.exec();
    command->wait();
    return result;
}

// The control dialogue of a download, for curl to fetch from the port it names. The
// server keeps the port only while the control connection stays open.
quint16 askDownloadPort(QTcpSocket &socket, const QString &host, quint16 port, quint64 fileId)
{
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(10000))
        fail(QStringLiteral("no control connection"));
    const Settings *settings = Settings::getInstance();
    socket.write(settings->getLogin().toLatin1() + '\n' + settings->getPass().toLatin1() + "\ndownloadfile\n"
                 + QByteArray::number(fileId));
    if (!socket.waitForReadyRead(30000))
        fail(QStringLiteral("no reply to downloadfile"));
    const QByteArray reply = socket.readAll();
    if (!reply.startsWith("ready\n"))
        fail(QStringLiteral("downloadfile refused: %1").arg(QString::fromLatin1(reply)));
    return quint16(reply.mid(6).trimmed().toUInt());
}

// A peer that plays the server's side of one upload as fast as it can: it announces a
// data port, asks for the whole file and discards it. Timing the client against it
// shows the client's own serving speed, apart from the server's storing and digest.
class UploadSink final
{
public:
    UploadSink()
    {
        control.listen(QHostAddress::LocalHost);
        data.listen(QHostAddress::LocalHost);
        control.moveToThread(&thread);
        data.moveToThread(&thread);
        // The thread's event loop is not needed: it ends as soon as the one upload has been played.
        QObject::connect(
            &thread, &QThread::started, &control,
            [this] {
                serve();
                thread.quit();
            },
            Qt::DirectConnection);
    }
    quint16 port() const { return control.serverPort(); }
    void start() { thread.start(); }
    void wait() { thread.wait(); }

private:
    void serve()
    {
        if (!control.waitForNewConnection(30000))
            return;
        std::unique_ptr<QTcpSocket> request(control.nextPendingConnection());
        QByteArray announcement;
        while (announcement.count('\t') < 8 && request->waitForReadyRead(30000))
            announcement += request->readAll();
        // Messages framed as the development server frames them, so the client never
        // waits for the rest of one.
        request->write("ready\n" + QByteArray::number(data.serverPort()) + '\n');
        request->waitForBytesWritten(10000);
        if (!data.waitForNewConnection(30000))
            return;
        std::unique_ptr<QTcpSocket> body(data.nextPendingConnection());
        body->write("GET file HTTP/1.1\r\n\r\n");
        body->waitForBytesWritten(10000);
        QByteArray discard(1 << 20, Qt::Uninitialized);
        while (body->state() == QAbstractSocket::ConnectedState || body->bytesAvailable() > 0) {
            if (body->bytesAvailable() == 0 && !body->waitForReadyRead(30000))
                break;
            while (body->read(discard.data(), discard.size()) > 0) {
            }
        }
        request->write("done\n1\tsink");
        request->disconnectFromHost();
        if (request->state() != QAbstractSocket::UnconnectedState)
            request->waitForDisconnected(10000);
    }

    QThread thread;
    QTcpServer control;
    QTcpServer data;
};

double peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    BaseCommand::registerMetaTypes();

    QCommandLineParser parser;
    parser.addOption({QStringLiteral("server"), QStringLiteral("HOST:PORT of the development server"),
                      QStringLiteral("HOST:PORT")});
    parser.addOption({QStringLiteral("user"), QStringLiteral("LOGIN:PASSWORD"), QStringLiteral("LOGIN:PASSWORD")});
    parser.addOption({QStringLiteral("work"), QStringLiteral("folder for the files"), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("size"), QStringLiteral("file size in bytes"), QStringLiteral("BYTES"),
                      QString::number(qint64(1) << 30)});
    parser.process(app);
    const QString server = parser.value(QStringLiteral("server"));
    const QString user = parser.value(QStringLiteral("user"));
    const QString work = parser.value(QStringLiteral("work"));
    const qint64 size = parser.value(QStringLiteral("size")).toLongLong();
    if (server.lastIndexOf(QLatin1Char(':')) <= 0 || !user.contains(QLatin1Char(':')) || work.isEmpty() || size <= 0)
        fail(QStringLiteral("usage: --server HOST:PORT --user LOGIN:PASSWORD --work DIR [--size BYTES]"));
    const QString host = server.left(server.lastIndexOf(QLatin1Char(':')));
    const quint16 port = quint16(server.mid(server.lastIndexOf(QLatin1Char(':')) + 1).toUInt());

    Settings *settings = Settings::getInstance();
    settings->setServerHost(host);
    settings->setServerPort(port);
    settings->setLogin(user.section(QLatin1Char(':'), 0, 0));
    settings->setPass(user.section(QLatin1Char(':'), 1));
    settings->setStreamsCount(5);

    const QString source = work + QStringLiteral("/source.bin");
    makeFile(source, size);
    // The uploads hang in the user's root folder of a tree that no model shows: this
    // thread is its only writer.
    const std::shared_ptr<RemoteTree> tree = RemoteTree::fromList(QString(), QStringLiteral("root"));
    // Each upload needs a name of its own (the server refuses a name twice in a folder):
    // hard links to the source give that without copying it.
    const auto newUpload = [&](const QString &name) {
        const QString path = work + QLatin1Char('/') + name;
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) != 0)
            fail(QStringLiteral("cannot link %1").arg(path));
        auto *item = new RemoteFilesTreeItem(
            RemoteFileInfo(0, 0, false, name, quint64(size), QDateTime::currentDateTime(), false), tree->userRoot());
        item->setLocalPathForUpload(path);
        {
            const std::lock_guard<std::mutex> guard(tree->lock());
            tree->userRoot()->appendChild(item);
        }
        return RemoteItemRef(tree, item);
    };

    // Digest against md5sum, both from the page cache (the first md5sum reads it in).
    timeProcess(QStringLiteral("md5sum"), {source});
    qint64 md5sumNs = std::numeric_limits<qint64>::max();
    qint64 digestNs = std::numeric_limits<qint64>::max();
    for (int round = 0; round < 2; ++round) {
        md5sumNs = qMin(md5sumNs, timeProcess(QStringLiteral("md5sum"), {source}));
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read %1").arg(source));
        QElapsedTimer clock;
        clock.start();
        if (UploadDigest::compute(file).size() != 16)
            fail(QStringLiteral("digest failed"));
        digestNs = qMin(digestNs, clock.nsecsElapsed());
    }

    // One upload of `item`, timed from the end of its digest to its result.
    const auto timeUpload = [&](const RemoteItemRef &item, qulonglong commandId) {
        QElapsedTimer clock;
        qint64 digestEndNs = -1;
        clock.start();
        auto *upload = new UploadFileCommand(commandId, item);
        if (runCommand(upload, [&](qulonglong current, qulonglong full) {
                if (digestEndNs < 0 && current == full && upload->getCommandTypeString().startsWith(QLatin1String("Preparing")))
                    digestEndNs = clock.nsecsElapsed();
            }) != BaseCommand::NoError)
            fail(QStringLiteral("upload of %1 failed").arg(item.snapshot().record.getName()));
        const qint64 ns = clock.nsecsElapsed() - qMax<qint64>(digestEndNs, 0);
        delete upload;
        return ns;
    };

    // Upload, best of two as the download below. Each round stores a file of its own;
    // the first is downloaded.
    const RemoteItemRef uploaded = newUpload(QStringLiteral("bench0.bin"));
    const qint64 uploadNs = qMin(timeUpload(uploaded, 1), timeUpload(newUpload(QStringLiteral("bench1.bin")), 1));

    // The same upload into a peer that only discards the bytes.
    qint64 sinkNs = 0;
    {
        UploadSink sink;
        settings->setServerPort(sink.port());
        sink.start();
        sinkNs = timeUpload(newUpload(QStringLiteral("sink.bin")), 3);
        sink.wait();
        settings->setServerPort(port);
    }

    // Download with the client and with curl, alternately, best of two each.
    qint64 downloadNs = std::numeric_limits<qint64>::max();
    qint64 curlNs = std::numeric_limits<qint64>::max();
    const QString downloaded = work + QStringLiteral("/download.bin");
    const QString curled = work + QStringLiteral("/curl.bin");
    for (int round = 0; round < 2; ++round) {
        QFile::remove(downloaded);
        QElapsedTimer clock;
        clock.start();
        auto *download = new DownloadFileCommand(2, uploaded, downloaded);
        if (runCommand(download) != BaseCommand::NoError)
            fail(QStringLiteral("download failed"));
        downloadNs = qMin(downloadNs, clock.nsecsElapsed());
        delete download;

        QFile::remove(curled);
        clock.restart();
        QTcpSocket control;
        const quint16 dataPort = askDownloadPort(control, host, port, uploaded.snapshot().id);
        timeProcess(QStringLiteral("curl"),
                    {QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("--noproxy"), QStringLiteral("*"),
                     QStringLiteral("--request-target"), QStringLiteral("file"), QStringLiteral("-H"),
                     QStringLiteral("Content-Range: 0-*"), QStringLiteral("-o"), curled,
                     QStringLiteral("http://%1:%2/").arg(host).arg(dataPort)});
        curlNs = qMin(curlNs, clock.nsecsElapsed());
    }
    if (!sameContent(source, downloaded) || !sameContent(source, curled))
        fail(QStringLiteral("downloaded bytes differ from the source"));
    QFile::remove(curled);

    // Five transfers at once through the scheduler, while a timer on the GUI thread
    // measures how late its ticks come.
    MainNetworkThread *scheduler = MainNetworkThread::getInstance();
    scheduler->moveToThread(scheduler);
    scheduler->start();
    settings->setSyncType(Settings::BackgroundSync);
    QMetaObject::invokeMethod(scheduler, "syncModeChange", Q_ARG(Settings::SettingType, Settings::SyncSetting));
    int finishedCount = 0;
    QEventLoop allDone;
    QObject::connect(scheduler, &MainNetworkThread::refreshProgress, &app, [&](CommandInfo *info) {
        if (info->getCommandState() == CommandInfo::Finished) {
            if (info->getCommandResult() != BaseCommand::NoError)
                fail(QStringLiteral("%1 failed with result %2")
                         .arg(info->getCommandType())
                         .arg(int(info->getCommandResult())));
            if (++finishedCount == 5)
                allDone.quit();
        }
        delete info;
    });
    QElapsedTimer tick;
    qint64 maxStallNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &app, [&] {
        maxStallNs = qMax(maxStallNs, tick.nsecsElapsed());
        tick.restart();
    });
    tick.start();
    ticker.start();
    for (int i = 0; i < 3; ++i) {
        const QString path = work + QStringLiteral("/parallel%1.bin").arg(i);
        QMetaObject::invokeMethod(scheduler, "downloadFile", Q_ARG(RemoteItemRef, uploaded),
                                  Q_ARG(QString, path));
    }
    for (int i = 0; i < 2; ++i)
        QMetaObject::invokeMethod(scheduler, "uploadFile",
                                  Q_ARG(RemoteItemRef, newUpload(QStringLiteral("parallel-up%1.bin").arg(i))));
    allDone.exec();
    ticker.stop();
    for (int i = 0; i < 3; ++i)
        QFile::remove(work + QStringLiteral("/parallel%1.bin").arg(i));

    std::printf("digest.over_md5sum: %.3f\n", double(digestNs) / double(md5sumNs));
    std::printf("download.over_curl: %.3f\n", double(downloadNs) / double(curlNs));
    std::printf("upload.over_download: %.3f\n", double(uploadNs) / double(downloadNs));
    std::printf("upload_to_sink.over_download: %.3f\n", double(sinkNs) / double(downloadNs));
    std::printf("transfer.peak_rss_mib: %.1f\n", peakRssMiB());
    std::printf("gui.max_stall_ms: %.1f\n", double(maxStallNs) / 1e6);
    std::fflush(stdout);
    std::fprintf(stderr,
                 "size %lld bytes: digest %.0f ms, md5sum %.0f ms, upload %.0f ms, upload to a sink %.0f ms, "
                 "download %.0f ms, curl %.0f ms\n",
                 size, digestNs / 1e6, md5sumNs / 1e6, uploadNs / 1e6, sinkNs / 1e6, downloadNs / 1e6, curlNs / 1e6);
    scheduler->quit();
    scheduler->wait();
    std::_Exit(0);
}
