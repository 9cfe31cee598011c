// Building the remote tree from the server's list, against merely splitting the same
// text into lines and fields, at 10^5 and 10^6 lines; and the heap taken per item.
//
//   tree.build_over_split      build time / split time, 10^6 lines
//   tree.growth_1e5_to_1e6     build time at 10^6 lines / build time at 10^5 lines
// Times are medians of interleaved rounds.
//   tree.bytes_per_item        heap growth while building 10^6 lines, per item
// Builds put each folder in name order, as the program does for its view.
//   remote.set_model_1e6_max_stall_ms   the longest the GUI thread's event loop goes
//                              unserved while a view is given the model of 10^6 lines
//   remote.sort_name_1e6_max_stall_ms   the same for a click on the Name header (the
//                              order turned round), the big folder and 100 others open
// Then the program's own window refreshes five times from a local server sending the
// 10^6-line list, through the scheduler, the refresh command and the window's build:
//   tree.refresh_max_stall_ms  the longest the GUI thread's event loop went unserved while
//                              a list was received, built and shown (all five refreshes)
//   tree.rss_refresh5_over_refresh1   resident memory after the fifth refresh over
//                              resident memory after the first
#include "base/settings.h"
#include "base/settingsfile.h"
#include "mainwindow.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QTreeView>
#include <QRandomGenerator>
#include <QStringList>

#include <unistd.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Mixed depth: folders nest up to seven levels, files are spread over them, one folder
// holds `bigFolderFiles` files, and a fifth of the lines come before their parent's.
QString makeList(int lines, int bigFolderFiles)
{
    QRandomGenerator random(lines);
    QStringList out;
    out.reserve(lines);
    QList<quint64> folders{0};
    QList<int> depth{0};
    quint64 nextId = 1;
    const int folderCount = lines / 12;
    const auto line = [&](quint64 id, bool isDir, const QString &name, quint64 parent) {
        const bool described = !isDir && random.bounded(10) == 0;
        return QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t1\t\t%8\t%9")
            .arg(id)
            .arg(isDir ? 1 : 0)
            .arg(name)
            .arg(parent)
            .arg(isDir ? 0 : random.bounded(1 << 30))
            .arg(1262304000u + random.bounded(300000000u))
            .arg(described ? QStringLiteral("SG9saWRheSBwaG90b3M=") : QString())
            .arg(isDir ? QString() : QString::number(random.generate64(), 16))
            .arg(random.bounded(50) ? 1 : 0);
    };
    for (int i = 0; i < folderCount; ++i) {
        int at = int(random.bounded(qsizetype(folders.size())));
        while (depth[at] >= 7)
            at = int(random.bounded(qsizetype(folders.size())));
        const quint64 id = nextId++;
        out.append(line(id, true, QStringLiteral("folder %1").arg(id), folders[at]));
        folders.append(id);
        depth.append(depth[at] + 1);
    }
    const quint64 big = nextId++;
    out.append(line(big, true, QStringLiteral("camera uploads"), 0));
    for (int i = 0; i < bigFolderFiles; ++i) {
        const quint64 id = nextId++;
        out.append(line(id, false, QStringLiteral("IMG_%1.jpg").arg(id), big));
    }
    while (out.size() < lines) {
        const quint64 id = nextId++;
        const quint64 parent = folders[int(random.bounded(qsizetype(folders.size())))];
        out.append(line(id, false, QStringLiteral("document %1.pdf").arg(id), parent));
    }
    for (int i = 0; i < lines / 5; ++i)
        out.swapItemsAt(int(random.bounded(qsizetype(lines))), int(random.bounded(qsizetype(lines))));
    return out.join(QLatin1Char('\n'));
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double secondsFor(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

// How late the event loop comes round at worst from `start` until `done` turns true,
// and `settleMs` after it.
double maxStallUntil(const std::function<void()> &start, const bool &done, int settleMs = 300)
{
    QTimer::singleShot(0, start);
    QElapsedTimer clock;
    QElapsedTimer tick;
    qint64 worstNs = 0;
    qint64 doneAtMs = -1;
    clock.start();
    tick.start();
    while (doneAtMs < 0 || clock.elapsed() - doneAtMs < settleMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        worstNs = qMax(worstNs, tick.nsecsElapsed());
        tick.restart();
        if (done && doneAtMs < 0)
            doneAtMs = clock.elapsed();
    }
    return double(worstNs) / 1e6;
}

// How late the GUI thread's event loop comes round at worst while `work` runs from a
// zero timer and the view then lays out and paints (`settleMs` after it).
double maxStallMs(const std::function<void()> &work, int settleMs = 300)
{
    bool done = false;
    return maxStallUntil([&] {
        work();
        done = true;
    }, done, settleMs);
}

size_t residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? size_t(fields[1].toULongLong()) * size_t(sysconf(_SC_PAGESIZE)) : 0;
}

// Answers every refresh request with the whole list, then closes; on its own thread.
class ListServer final : public QThread
{
public:
    explicit ListServer(const QString &list) : reply("filelist\n" + list.toLatin1()) {}
    quint16 waitForPort()
    {
        while (port == 0)
            QThread::msleep(5);
        return port;
    }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket *socket = server.nextPendingConnection();
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
                *received += socket->readAll();
                if (!received->contains("refresh\n"))
                    return;
                received->clear();
                socket->write(reply);
                QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
                    if (socket->bytesToWrite() == 0)
                        socket->disconnectFromHost();
                });
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
        port = server.serverPort();
        exec();
    }

private:
    const QByteArray reply;
    std::atomic<quint16> port{0};
};

struct RefreshFigures {
    double maxStallMs = 0;
    double rssRatio = 0;
};

RefreshFigures measureRefreshes(const QString &list)
{
    ListServer server(list);
    server.start();
    const quint16 port = server.waitForPort();

    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    {
        QSettings ini(SettingsFile().fileName(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("UserOptions/Account/login"), QStringLiteral("bench"));
        ini.setValue(QStringLiteral("UserOptions/Account/pass"), QStringLiteral("bench"));
        ini.setValue(QStringLiteral("Sync/sync"), int(Settings::BackgroundSync));
        ini.setValue(QStringLiteral("Network/Server/serverhost"), QStringLiteral("127.0.0.1"));
        ini.setValue(QStringLiteral("Network/Server/serverport"), port);
    }

    RefreshFigures figures;
    size_t afterFirst = 0;
    size_t afterFifth = 0;
    {
        MainWindow window;
        window.resize(1100, 700);
        window.show();
        for (int round = 1; round <= 5; ++round) {
            bool shown = false;
            const QMetaObject::Connection connection =
                QObject::connect(&window, &MainWindow::remoteTreeShown, [&] { shown = true; });
            figures.maxStallMs = qMax(figures.maxStallMs,
                                      maxStallUntil([&] { window.refreshClicked(); }, shown));
            QObject::disconnect(connection);
            // The replaced model goes at the next turn of the loop, its tree on a worker.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QThreadPool::globalInstance()->waitForDone();
            malloc_trim(0);
            if (round == 1)
                afterFirst = residentBytes();
            if (round == 5)
                afterFifth = residentBytes();
        }
        MainNetworkThread::getInstance()->stopAllCommands();
    }
    server.quit();
    server.wait();
    figures.rssRatio = afterFirst ? double(afterFifth) / double(afterFirst) : 0;
    return figures;
}

qsizetype splitCount(const QString &list)
{
    qsizetype fields = 0;
    for (const QString &line : list.split(QLatin1Char('\n')))
        fields += line.split(QLatin1Char('\t')).size();
    return fields;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    StartUp::configureApplication();
    Settings::getInstance()->setLogin(QStringLiteral("bench"));

    // The same shape at both sizes: a tenth of the lines in one folder, which makes
    // the folder of 10^5 files in the list of 10^6 lines.
    const QString small = makeList(100000, 10000);
    const QString large = makeList(1000000, 100000);

    // The three measurements take turns, so that a change in the machine's load hits
    // all of them alike; each figure is the median of its rounds. Build times include
    // nothing but the constructor.
    constexpr int Rounds = 5;
    volatile qsizetype sink = 0;
    QList<double> splitTimes;
    QList<double> smallTimes;
    QList<double> largeTimes;
    for (int round = 0; round < Rounds; ++round) {
        splitTimes.append(secondsFor([&] { sink = sink + splitCount(large); }));
        std::unique_ptr<RemoteFilesTreeModel> model;
        smallTimes.append(secondsFor([&] { model = std::make_unique<RemoteFilesTreeModel>(small, nullptr, 0); }));
        // Trees of 20,000 items and more are freed on a worker thread: not while the
        // next figure is taken.
        model.reset();
        QThreadPool::globalInstance()->waitForDone();
        largeTimes.append(secondsFor([&] { model = std::make_unique<RemoteFilesTreeModel>(large, nullptr, 0); }));
        model.reset();
        QThreadPool::globalInstance()->waitForDone();
    }
    const double splitLarge = median(splitTimes);
    const double buildSmall = median(smallTimes);
    const double buildLarge = median(largeTimes);

    // Heap in use counts the large blocks malloc maps on their own (big child lists,
    // hash tables) as well as the small ones.
    const auto heapInUse = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    malloc_trim(0);
    const size_t before = heapInUse();
    auto model = std::make_unique<RemoteFilesTreeModel>(large, nullptr, 0);
    const size_t after = heapInUse();
    const double bytesPerItem = double(after - before) / (1000000 + 2);

    std::printf("tree.split_1e6_ms: %.1f\n", splitLarge * 1000);
    std::printf("tree.build_1e5_ms: %.1f\n", buildSmall * 1000);
    std::printf("tree.build_1e6_ms: %.1f\n", buildLarge * 1000);
    std::printf("tree.build_over_split: %.2f\n", buildLarge / splitLarge);
    std::printf("tree.growth_1e5_to_1e6: %.2f\n", buildLarge / buildSmall);
    std::printf("tree.bytes_per_item: %.0f\n", bytesPerItem);
    std::fflush(stdout);

    {
    // The view as the program sets it up: sorting on, Name ascending.
    QTreeView view;
    view.header()->setSortIndicator(0, Qt::AscendingOrder);
    view.setSortingEnabled(true);
    view.resize(900, 600);
    view.show();
    const double setStall = maxStallMs([&] {
        view.setModel(model.get());
        view.expand(model->index(0, 0));
    });
    maxStallMs([&] {
        const QModelIndex top = model->index(0, 0);
        // Open what the user would be looking at: the big folder and a hundred others.
        for (int row = 0; row < model->rowCount(top) && row < 101; ++row) {
            const QModelIndex folder = model->index(row, 0, top);
            RemoteFilesTreeItem *item = model->itemFromIndex(folder);
            if (item->isDir()) {
                view.expand(folder);
                model->addToExpandedItems(item);
            }
        }
    });
    QObject::connect(model.get(), &RemoteFilesTreeModel::expandItem, &view, &QTreeView::expand);
    QObject::connect(model.get(), &RemoteFilesTreeModel::collapseAllItems, &view, &QTreeView::collapseAll);
    const double sortStall = maxStallMs([&] { view.sortByColumn(0, Qt::DescendingOrder); });
    std::printf("remote.set_model_1e6_max_stall_ms: %.1f\n", setStall);
    std::printf("remote.sort_name_1e6_max_stall_ms: %.1f\n", sortStall);
    std::fflush(stdout);
    view.setModel(nullptr);
    model.reset();
    }

    const RefreshFigures refresh = measureRefreshes(large);
    std::printf("tree.refresh_max_stall_ms: %.1f\n", refresh.maxStallMs);
    std::printf("tree.rss_refresh5_over_refresh1: %.2f\n", refresh.rssRatio);
    return 0;
}
