// The local pane at a folder of 200,000 files (the real view, offscreen), against
// `ls -l` of the same folder, with Qt's own file system model measured beside it.
//
//   local.load_200k_max_stall_ms      longest the GUI thread's event loop went unserved
//                                     while the folder was read and shown
//   local.load_200k_over_ls           time until every row is in the view / `ls -l`
//   local.sort_date_200k_over_ls      sorting the shown folder by date / `ls -l`
//   local.sort_date_200k_max_stall_ms
//   local.watches_200k                inotify watches the process holds, folder shown
//   local.qfsm_load_200k_max_stall_ms the same folder in QFileSystemModel (reference)
//   local.qfsm_load_200k_over_ls
//
//   bench_local [--files N] [--shot PNG] [--no-reference]
#include "base/settings.h"
#include "localtree/localfilestreemodel.h"
#include "localtree/localtreewidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "bench_local: %s\n", qPrintable(why));
    std::exit(1);
}

// Files with mixed names, sizes and dates, in no particular order on disk.
void makeFolder(const QString &folder, int count)
{
    QRandomGenerator random(count);
    const QByteArray base = QFile::encodeName(folder) + '/';
    for (int i = 0; i < count; ++i) {
        const QByteArray name = base + "IMG_" + QByteArray::number(random.bounded(100000000)) + '_'
            + QByteArray::number(i) + ".jpg";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            fail(QStringLiteral("cannot create files in %1").arg(folder));
        if (::ftruncate(fd, random.bounded(1 << 20)) != 0)
            fail(QStringLiteral("cannot size a file"));
        const timespec times[2] = {{time_t(1262304000 + random.bounded(300000000)), 0},
                                   {time_t(1262304000 + random.bounded(300000000)), 0}};
        ::futimens(fd, times);
        ::close(fd);
    }
}

qint64 timeLs(const QString &folder)
{
    QProcess ls;
    ls.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    ls.start(QStringLiteral("ls"), {QStringLiteral("-l"), folder});
    if (!ls.waitForFinished(-1) || ls.exitCode() != 0)
        fail(QStringLiteral("ls -l failed"));
    return clock.nsecsElapsed();
}

// The inotify watches this process holds, as the kernel counts them.
int inotifyWatches()
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) != QLatin1String("anon_inode:inotify")
            && !QFileInfo(fds.filePath(fd)).symLinkTarget().contains(QLatin1String("inotify")))
            continue;
        QFile info(QStringLiteral("/proc/self/fdinfo/") + fd);
        if (info.open(QIODevice::ReadOnly))
            count += int(info.readAll().count("inotify wd:"));
    }
    return count;
}

// How late a 1 ms timer on the GUI thread fires at worst while `until` is false.
struct StallRun
{
    qint64 maxStallNs = 0;
    qint64 elapsedNs = 0;
};

StallRun runUntil(const std::function<bool()> &until, qint64 limitMs)
{
    StallRun run;
    QElapsedTimer clock;
    QElapsedTimer tick;
    clock.start();
    tick.start();
    while (!until()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        run.maxStallNs = qMax(run.maxStallNs, tick.nsecsElapsed());
        tick.restart();
        if (clock.elapsed() > limitMs)
            fail(QStringLiteral("gave up after %1 ms").arg(limitMs));
    }
    run.elapsedNs = clock.nsecsElapsed();
    return run;
}

// Serves the event loop for `ms`, so that posted layouts and paints happen.
StallRun settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    return runUntil([&] { return clock.elapsed() >= ms; }, ms + 600000);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("files"), QStringLiteral("files in the folder"), QStringLiteral("N"),
                      QStringLiteral("200000")});
    parser.addOption({QStringLiteral("shot"), QStringLiteral("save the pane as PNG"), QStringLiteral("PNG")});
    parser.addOption({QStringLiteral("no-reference"), QStringLiteral("skip QFileSystemModel")});
    parser.process(app);
    const int files = parser.value(QStringLiteral("files")).toInt();

    QTemporaryDir temp;
    const QString folder = temp.filePath(QStringLiteral("photos"));
    QDir().mkpath(folder);
    makeFolder(folder, files);
    timeLs(folder); // into the cache
    const qint64 lsNs = qMin(timeLs(folder), timeLs(folder));
    Settings::getInstance()->setDefaultDownloadDirectory(QString());

    {
        LocalTreeWidget view;
        view.resize(900, 600);
        view.show();
        LocalFilesTreeModel *model = view.getLocalModel();
        bool loaded = false;
        QObject::connect(model, &LocalFilesTreeModel::directoryLoaded, &view,
                         [&](const QString &path) { loaded = loaded || path == folder; });
        view.revealPath(folder);
        const StallRun load = runUntil([&] { return loaded; }, 180000);
        // The view lays the last rows out after the folder was announced: that belongs
        // to the loading too.
        const StallRun after = settle(200);
        std::printf("local.load_200k_max_stall_ms: %.1f\n",
                    double(qMax(load.maxStallNs, after.maxStallNs)) / 1e6);
        std::printf("local.load_200k_over_ls: %.3f\n", double(load.elapsedNs) / double(lsNs));
        std::printf("local.watches_200k: %d\n", inotifyWatches());
        if (parser.isSet(QStringLiteral("shot"))) {
            view.scrollTo(model->index(folder));
            QCoreApplication::processEvents();
            view.grab().save(parser.value(QStringLiteral("shot")));
        }

        QElapsedTimer clock;
        clock.start();
        bool sorted = false;
        QTimer::singleShot(0, &view, [&] {
            view.sortByColumn(LocalFilesTreeModel::DateColumn, Qt::DescendingOrder);
            sorted = true;
        });
        const StallRun sort = runUntil([&] { return sorted; }, 180000);
        // Until the view has laid the new order out and painted it.
        const StallRun paint = settle(1);
        const qint64 sortNs = clock.nsecsElapsed();
        std::printf("local.sort_date_200k_over_ls: %.3f\n", double(sortNs) / double(lsNs));
        std::printf("local.sort_date_200k_max_stall_ms: %.1f\n",
                    double(qMax(sort.maxStallNs, paint.maxStallNs)) / 1e6);
        const QModelIndex newest = model->index(0, 0, model->index(folder));
        std::fprintf(stderr, "%d files: ls -l %.0f ms, shown after %.0f ms, date sort %.0f ms; newest %s\n",
                     files, double(lsNs) / 1e6, double(load.elapsedNs) / 1e6, double(sortNs) / 1e6,
                     qPrintable(newest.siblingAtColumn(LocalFilesTreeModel::DateColumn).data().toString()));
    }

    if (!parser.isSet(QStringLiteral("no-reference"))) {
        QFileSystemModel reference;
        QTreeView view;
        view.setModel(&reference);
        view.resize(900, 600);
        view.show();
        bool loaded = false;
        QObject::connect(&reference, &QFileSystemModel::directoryLoaded, &view,
                         [&](const QString &path) { loaded = loaded || path == folder; });
        reference.setRootPath(folder);
        view.setRootIndex(reference.index(folder));
        const StallRun load = runUntil([&] { return loaded; }, 600000);
        // Its sort follows the last batch on a zero timer.
        const StallRun after = settle(2000);
        std::printf("local.qfsm_load_200k_max_stall_ms: %.1f\n",
                    double(qMax(load.maxStallNs, after.maxStallNs)) / 1e6);
        std::printf("local.qfsm_load_200k_over_ls: %.3f\n",
                    double(load.elapsedNs) / double(lsNs));
    }
    return 0;
}
