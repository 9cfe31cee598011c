// A big folder downloaded through the program (the real main window, offscreen, five
// streams, background policy) against curl fetching the same files through the same
// protocol with five streams of its own; and how long the click that queues the
// folder holds the GUI thread. bench/queue.sh starts a development server.
//
//   queue.download_1005_small_over_curl   click to last file written / curl's time
//   queue.click_to_queued_max_stall_ms    longest the GUI thread's event loop went
//                                         unserved from the click until every
//                                         command was queued
//   queue.download_max_stall_ms           the same over the whole download
//
//   bench_queue --server HOST:PORT --user LOGIN:PASSWORD --work DIR
//               [--small N] [--big N] [--big-size BYTES]
// The folder holds N small files of 1 to 64 KiB (default 1005) and N big ones
// (default 5 of 200 MiB); the sizes used are printed.
#include "localtree/localfilestreemodel.h"
#include "localtree/localtreewidget.h"
#include "mainwindow.h"
#include "network/basecommand.h"
#include "network/makedircommand.h"
#include "network/mainnetworkthread.h"
#include "network/uploadfilecommand.h"
#include "remote/remotefileinfo.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "remote/remotetree.h"
#include "remotetree/remotetreewidget.h"
#include "base/settings.h"
#include "base/settingsfile.h"
#include "startup.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpSocket>
#include <QTimer>

#include <curl/curl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int Streams = 5;

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "bench_queue: %s\n", qPrintable(why));
    std::_Exit(1);
}

void writeFile(const QString &path, qint64 size, quint32 seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    QRandomGenerator random(seed);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size;) {
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        const qint64 n = qMin<qint64>(block.size(), size - written);
        if (file.write(block.constData(), n) != n)
            fail(QStringLiteral("cannot write %1").arg(path));
        written += n;
    }
}

// Runs commands on their own threads, at most Streams at once, until all have ended.
void runCommands(const QList<BaseCommand *> &commands)
{
    QEventLoop loop;
    qsizetype next = 0;
    int running = 0;
    std::function<void()> startMore = [&] {
        while (running < Streams && next < commands.size()) {
            BaseCommand *command = commands[next++];
            ++running;
            QObject::connect(command, &BaseCommand::finished, &loop,
                             [command](qulonglong, BaseCommand::CommandResult result) {
                                 if (result != BaseCommand::NoError)
                                     fail(QStringLiteral("%1 failed with result %2")
                                              .arg(command->getCommandTypeString())
                                              .arg(int(result)));
                             });
            QObject::connect(command, &QThread::finished, &loop, [&, command] {
                command->wait();
                delete command;
                --running;
                startMore();
                if (running == 0 && next == commands.size())
                    loop.quit();
            });
            command->moveToThread(command);
            command->start();
        }
    };
    startMore();
    if (running > 0)
        loop.exec();
}

size_t writeToFile(char *data, size_t size, size_t count, void *file)
{
    return std::fwrite(data, size, count, static_cast<FILE *>(file));
}

// One file as curl fetches it: the control dialogue that names a data port, then the
// transfer from that port while the control connection stays open. curl is the library,
// one handle per stream, so that starting a process per file (tens of milliseconds here)
// does not make the reference slow.
void curlOne(CURL *curl, const QString &host, quint16 port, const QString &login, const QString &pass,
             quint64 fileId, const QString &target)
{
    QTcpSocket control;
    control.connectToHost(host, port);
    if (!control.waitForConnected(10000))
        fail(QStringLiteral("no control connection"));
    control.write(login.toLatin1() + '\n' + pass.toLatin1() + "\ndownloadfile\n" + QByteArray::number(fileId));
    // "ready\n<port>": the port may come in a read of its own.
    QByteArray reply;
    while ((!reply.startsWith("ready\n") || reply.size() == 6) && !reply.startsWith("error")
           && control.waitForReadyRead(30000))
        reply += control.readAll();
    if (!reply.startsWith("ready\n"))
        fail(QStringLiteral("downloadfile refused: %1").arg(QString::fromLatin1(reply)));
    const quint16 dataPort = quint16(reply.mid(6).trimmed().toUInt());
    FILE *file = std::fopen(QFile::encodeName(target).constData(), "wb");
    if (!file)
        fail(QStringLiteral("cannot write %1").arg(target));
    const QByteArray url = QStringLiteral("http://%1:%2/").arg(host).arg(dataPort).toLatin1();
    curl_slist *headers = curl_slist_append(nullptr, "Content-Range: 0-*");
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, "file");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    std::fclose(file);
    if (result != CURLE_OK)
        fail(QStringLiteral("curl failed: %1").arg(QString::fromLatin1(curl_easy_strerror(result))));
}

struct Stalls
{
    qint64 worstNs = 0;
    qint64 elapsedNs = 0;
};

// Runs the event loop until `until` (asked every 10 ms), noting how late a 1 ms timer
// on the GUI thread fires at worst. The loop sleeps between events: the transfers
// need the machine's cores.
Stalls serveUntil(const std::function<bool()> &until, qint64 limitMs)
{
    Stalls stalls;
    QElapsedTimer clock;
    QElapsedTimer tick;
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        stalls.worstNs = qMax(stalls.worstNs, tick.nsecsElapsed());
        tick.restart();
    });
    QTimer check;
    check.setInterval(10);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (until())
            loop.quit();
        else if (clock.elapsed() > limitMs)
            fail(QStringLiteral("gave up after %1 ms").arg(limitMs));
    });
    clock.start();
    tick.start();
    ticker.start();
    check.start();
    if (!until())
        loop.exec();
    stalls.elapsedNs = clock.nsecsElapsed();
    return stalls;
}

QAction *actionNamed(const QWidget &window, const QString &text)
{
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == text)
            return action;
    }
    fail(QStringLiteral("no action %1").arg(text));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    StartUp::configureApplication();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    BaseCommand::registerMetaTypes();

    QCommandLineParser parser;
    parser.addOption({QStringLiteral("server"), QStringLiteral("HOST:PORT"), QStringLiteral("HOST:PORT")});
    parser.addOption({QStringLiteral("user"), QStringLiteral("LOGIN:PASSWORD"), QStringLiteral("LOGIN:PASSWORD")});
    parser.addOption({QStringLiteral("work"), QStringLiteral("folder for the files"), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("small"), QStringLiteral("small files"), QStringLiteral("N"),
                      QStringLiteral("1005")});
    parser.addOption({QStringLiteral("big"), QStringLiteral("big files"), QStringLiteral("N"), QStringLiteral("5")});
    parser.addOption({QStringLiteral("big-size"), QStringLiteral("bytes of each big file"), QStringLiteral("BYTES"),
                      QString::number(200 << 20)});
    parser.process(app);
    const QString server = parser.value(QStringLiteral("server"));
    const QString user = parser.value(QStringLiteral("user"));
    const QString work = parser.value(QStringLiteral("work"));
    const int smallCount = parser.value(QStringLiteral("small")).toInt();
    const int bigCount = parser.value(QStringLiteral("big")).toInt();
    const qint64 bigSize = parser.value(QStringLiteral("big-size")).toLongLong();
    if (server.lastIndexOf(QLatin1Char(':')) <= 0 || !user.contains(QLatin1Char(':')) || work.isEmpty())
        fail(QStringLiteral("usage: --server HOST:PORT --user LOGIN:PASSWORD --work DIR"));
    const QString host = server.left(server.lastIndexOf(QLatin1Char(':')));
    const quint16 port = quint16(server.mid(server.lastIndexOf(QLatin1Char(':')) + 1).toUInt());
    const QString login = user.section(QLatin1Char(':'), 0, 0);
    const QString pass = user.section(QLatin1Char(':'), 1);

    // The program's settings file, in the work folder.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, work + QStringLiteral("/config"));
    const QString programTarget = work + QStringLiteral("/program");
    const QString curlTarget = work + QStringLiteral("/curl");
    QDir().mkpath(programTarget);
    QDir().mkpath(curlTarget);
    {
        QSettings ini(SettingsFile().fileName(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("UserOptions/Account/login"), login);
        ini.setValue(QStringLiteral("UserOptions/Account/pass"), pass);
        ini.setValue(QStringLiteral("UserOptions/defaultdownloaddirectory"), programTarget);
        ini.setValue(QStringLiteral("Sync/sync"), int(Settings::BackgroundSync));
        ini.setValue(QStringLiteral("Network/Server/serverhost"), host);
        ini.setValue(QStringLiteral("Network/Server/serverport"), port);
    }
    Settings *settings = Settings::getInstance();
    settings->setServerHost(host);
    settings->setServerPort(port);
    settings->setLogin(login);
    settings->setPass(pass);

    // The folder on the server, uploaded five at a time, from a tree that no model
    // shows; no command runs while this thread adds to it.
    const QString source = work + QStringLiteral("/source");
    QDir().mkpath(source);
    const std::shared_ptr<RemoteTree> tree = RemoteTree::fromList(QString(), QStringLiteral("root"));
    auto *folder = new RemoteFilesTreeItem(
        RemoteFileInfo(0, 0, true, QStringLiteral("camera"), 0, QDateTime::currentDateTime(), false),
        tree->userRoot());
    tree->userRoot()->appendChild(folder);
    const RemoteItemRef camera(tree, folder);
    runCommands({new MakeDirCommand(0, camera)});
    QList<BaseCommand *> uploads;
    QStringList names;
    QRandomGenerator sizes(1005);
    qint64 smallBytes = 0;
    const QString bigSource = source + QStringLiteral("/big.bin");
    if (bigCount > 0)
        writeFile(bigSource, bigSize, 7);
    for (int i = 0; i < smallCount + bigCount; ++i) {
        const bool big = i >= smallCount;
        const QString name = big ? QStringLiteral("VID_%1.mp4").arg(i) : QStringLiteral("IMG_%1.jpg").arg(i);
        const QString path = source + QLatin1Char('/') + name;
        qint64 size = bigSize;
        if (big) {
            if (::link(QFile::encodeName(bigSource).constData(), QFile::encodeName(path).constData()) != 0)
                fail(QStringLiteral("cannot link %1").arg(path));
        } else {
            size = 1024 + sizes.bounded(63 * 1024 + 1);
            smallBytes += size;
            writeFile(path, size, quint32(i));
        }
        auto *item = new RemoteFilesTreeItem(
            RemoteFileInfo(0, 0, false, name, quint64(size), QDateTime::currentDateTime(), false), folder);
        item->setLocalPathForUpload(path);
        folder->appendChild(item);
        uploads.append(new UploadFileCommand(quint64(i + 1), RemoteItemRef(tree, item)));
        names.append(name);
    }
    runCommands(uploads);
    std::fprintf(stderr, "folder: %d files of 1-64 KiB (%lld bytes) and %d of %lld bytes, %d streams\n",
                 smallCount, smallBytes, bigCount, bigSize, Streams);

    // Through the program: connect, select the folder, click Download.
    MainWindow window;
    window.resize(1000, 700);
    window.show();
    settings->setStreamsCount(Streams);
    settings->setSyncType(Settings::BackgroundSync);
    RemoteTreeWidget *remoteTree = window.getRemoteTree();
    actionNamed(window, QStringLiteral("Connect"))->trigger();
    serveUntil([&] { return remoteTree->getModelAsRemoteFileTreeModel()->getRootItem() && remoteTree->isEnabled(); },
               60000);
    RemoteFilesTreeModel *model = remoteTree->getModelAsRemoteFileTreeModel();
    // The folder's id from the server, as its creation noted it in the tree.
    RemoteFilesTreeItem *listed = model->getItemByInnerId(camera.snapshot().id, true);
    if (!listed || listed->childCount() != smallCount + bigCount)
        fail(QStringLiteral("the folder is not listed whole"));
    const QModelIndex folderIndex = model->getIndexByItem(listed, remoteTree->rootIndex());
    remoteTree->selectionModel()->select(folderIndex,
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    MainNetworkThread *scheduler = MainNetworkThread::getInstance();
    const QString written = programTarget + QStringLiteral("/camera/");
    // The local folder exists and is open in the local pane: every target appears in
    // it as it is made, the heavier case for the GUI thread.
    QDir().mkpath(written);
    window.getLocalTree()->revealPath(written);
    LocalFilesTreeModel *localModel = window.getLocalTree()->getLocalModel();
    serveUntil([&] { return localModel->index(written).isValid()
                            && window.getLocalTree()->isExpanded(localModel->index(written)); },
               60000);
    const auto allWritten = [&] {
        if (!scheduler->getQueuedCommandIds().isEmpty() || !scheduler->getRunningCommandIds().isEmpty())
            return false;
        for (const QString &name : std::as_const(names)) {
            if (QFileInfo(written + name).size() != QFileInfo(source + QLatin1Char('/') + name).size())
                return false;
        }
        return true;
    };
    QElapsedTimer programClock;
    bool clicked = false;
    QTimer::singleShot(0, &window, [&] {
        programClock.start();
        actionNamed(window, QStringLiteral("Download"))->trigger();
        clicked = true;
    });
    // Queued: the click has returned (its requests go to the scheduler's thread as
    // queued calls), and the 200 ms after it.
    QElapsedTimer sinceClick;
    const Stalls click = serveUntil(
        [&] {
            if (clicked && !sinceClick.isValid())
                sinceClick.start();
            return clicked && sinceClick.elapsed() >= 200;
        },
        600000);
    const Stalls rest = serveUntil(allWritten, 3600000);
    const qint64 programNs = programClock.nsecsElapsed();

    // Through curl, with as many streams.
    std::atomic<int> nextFile{0};
    QList<quint64> ids;
    for (const QString &name : std::as_const(names)) {
        for (RemoteFilesTreeItem *child : listed->getChildItems()) {
            if (child->getItemInnerName() == name)
                ids.append(child->getItemInnerId());
        }
    }
    QElapsedTimer curlClock;
    curlClock.start();
    std::vector<std::thread> workers;
    for (int stream = 0; stream < Streams; ++stream) {
        workers.emplace_back([&] {
            CURL *curl = curl_easy_init();
            for (int i = nextFile++; i < ids.size(); i = nextFile++)
                curlOne(curl, host, port, login, pass, ids[i], curlTarget + QLatin1Char('/') + names[i]);
            curl_easy_cleanup(curl);
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    const qint64 curlNs = curlClock.nsecsElapsed();
    for (const QString &name : std::as_const(names)) {
        if (QFileInfo(curlTarget + QLatin1Char('/') + name).size() != QFileInfo(source + QLatin1Char('/') + name).size())
            fail(QStringLiteral("curl did not fetch %1 whole").arg(name));
    }

    std::printf("queue.download_1005_small_over_curl: %.3f\n", double(programNs) / double(curlNs));
    std::printf("queue.click_to_queued_max_stall_ms: %.1f\n", double(click.worstNs) / 1e6);
    std::printf("queue.download_max_stall_ms: %.1f\n", double(qMax(click.worstNs, rest.worstNs)) / 1e6);
    std::fflush(stdout);
    std::fprintf(stderr, "program %.0f ms (queued after %.0f ms), curl %.0f ms\n", programNs / 1e6,
                 click.elapsedNs / 1e6, curlNs / 1e6);
    std::_Exit(0);
}
