#include "base/settingsfile.h"
#include "devserverprocess.h"
#include "dialogs/transferinfodialog.h"
#include "filedigest.h"
#include "localtree/localfilestreemodel.h"
#include "localtree/localtreewidget.h"
#include "mainwindow.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "screenshot.h"
#include "startup.h"
#include "windowactions.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Files moved between the panes of the running program, offscreen, through the
// scheduler and the development server: a local file dropped on the remote tree is
// uploaded, a remote file dropped on a local folder is downloaded, and the transfer
// window shows speed and time left while a large file travels.
// PELORIN_SCREENSHOT_DIR=/some/folder saves the main window and the transfer window
// during the upload there.
class TestDragTransfers final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void dragBothWays();

private:
    QTemporaryDir config;
    QTemporaryDir files;
    DevServerProcess server;
};

namespace {

// With the server's data rate, the file travels for about two and a half seconds each
// way: long enough for several progress reports with a time left above zero.
constexpr qint64 LargeSize = qint64(64) << 20;
constexpr qint64 DataRate = qint64(24) << 20;

bool writePattern(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += block.size()) {
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = char((written / block.size() * 31 + i * 7) & 0xff);
        if (file.write(block.constData(), qMin<qint64>(block.size(), size - written)) < 0)
            return false;
    }
    return true;
}

QModelIndex childNamed(const QAbstractItemModel *model, const QModelIndex &parent, const QString &name)
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (index.data().toString() == name)
            return index;
    }
    return {};
}

// A drop as the view receives it at the end of a drag.
void dropOn(QAbstractItemView *view, const QModelIndex &index, QMimeData *data)
{
    const QPoint at = view->visualRect(index).center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &move);
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &drop);
}

} // namespace

void TestDragTransfers::initTestCase()
{
    StartUp::configureApplication();
    QVERIFY(config.isValid() && files.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    QVERIFY2(server.start({QStringLiteral("--demo"), QStringLiteral("--data-rate"), QString::number(DataRate)}),
             qPrintable(server.errorText()));

    QSettings ini(SettingsFile().fileName(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("UserOptions/Account/login"), QStringLiteral("demo"));
    ini.setValue(QStringLiteral("UserOptions/Account/pass"), QStringLiteral("demo"));
    ini.setValue(QStringLiteral("UserOptions/defaultdownloaddirectory"), files.filePath(QStringLiteral("dl")));
    ini.setValue(QStringLiteral("Sync/sync"), int(Settings::BackgroundSync));
    ini.setValue(QStringLiteral("Network/Server/serverhost"), server.host());
    ini.setValue(QStringLiteral("Network/Server/serverport"), server.port());
    ini.sync();
    QVERIFY(QDir().mkpath(files.filePath(QStringLiteral("dl/back"))));
}

void TestDragTransfers::dragBothWays()
{
    const QString source = files.filePath(QStringLiteral("dl/large.bin"));
    QVERIFY(writePattern(source, LargeSize));
    const QByteArray sourceMd5 = fileMd5Hex(source);

    MainWindow window;
    window.resize(1100, 640);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    findAction(window, QStringLiteral("Connect"))->trigger();
    RemoteTreeWidget *remoteTree = window.getRemoteTree();
    // Each list received brings a model of its own.
    QTRY_VERIFY2_WITH_TIMEOUT(remoteTree->getModelAsRemoteFileTreeModel()->getRootItem() && remoteTree->isEnabled(),
                              qPrintable(window.getStatusText()), 15000);
    RemoteFilesTreeModel *remoteModel = remoteTree->getModelAsRemoteFileTreeModel();
    new QAbstractItemModelTester(remoteModel, QAbstractItemModelTester::FailureReportingMode::QtTest, remoteModel);
    const QModelIndex remoteRoot = remoteModel->index(0, 0);
    QVERIFY(remoteRoot.isValid());

    // Upload: the local view's own drag data dropped on the user's root folder.
    LocalTreeWidget *localTree = window.getLocalTree();
    auto *localModel = qobject_cast<LocalFilesTreeModel *>(localTree->model());
    QVERIFY(localModel);
    QTRY_VERIFY_WITH_TIMEOUT(localModel->index(source).isValid(), 10000);
    std::unique_ptr<QMimeData> upData(localModel->mimeData({localModel->index(source)}));
    QVERIFY(upData->hasUrls());
    TransferInfoDialog *transfers = window.getTransferInfoDialog();
    transfers->show();
    dropOn(remoteTree, remoteRoot, upData.get());

    QModelIndex uploaded = childNamed(remoteModel, remoteRoot, QStringLiteral("large.bin"));
    QVERIFY(uploaded.isValid());
    QCOMPARE(uploaded.siblingAtColumn(3).data().toString(), QStringLiteral("No"));

    // While it travels, the transfer window gives its speed and a time left.
    QLabel *speed = nullptr;
    QLabel *timeLeft = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (QLabel *label : transfers->findChildren<QLabel *>(QStringLiteral("speedLabel"))) {
                auto *time = label->parentWidget()->findChild<QLabel *>(QStringLiteral("timeLabel"));
                auto *message = label->parentWidget()->findChild<QLabel *>(QStringLiteral("messageLabel"));
                // The digest comes first ("Preparing file"); the transfer itself is wanted.
                if (message && message->text().contains(QStringLiteral("Upload file"))
                    && label->text().endsWith(QStringLiteral("Kb/s")) && label->text() != QStringLiteral(" 0.00Kb/s")
                    && time && time->text().startsWith(QStringLiteral("Time estimated: "))
                    && time->text() != QStringLiteral("Time estimated: 00s")) {
                    speed = label;
                    timeLeft = time;
                    return true;
                }
            }
            return false;
        }(),
        60000);
    qInfo("during the upload: speed \"%s\", time left \"%s\"", qPrintable(speed->text()),
          qPrintable(timeLeft->text()));
    saveScreenshot(&window, QStringLiteral("dragtransfers-main.png"));
    saveScreenshot(transfers, QStringLiteral("dragtransfers-transfers.png"));

    QTRY_COMPARE_WITH_TIMEOUT(uploaded.siblingAtColumn(3).data().toString(), QStringLiteral("Yes"), 120000);
    auto *uploadedItem = static_cast<RemoteFilesTreeItem *>(uploaded.internalPointer());
    QVERIFY(uploadedItem->getItemInnerId() > 0);

    // Download: the remote view's drag data for that file dropped on a local folder.
    const QString back = files.filePath(QStringLiteral("dl/back"));
    QTRY_VERIFY_WITH_TIMEOUT(localModel->index(back).isValid(), 10000);
    std::unique_ptr<QMimeData> downData(remoteModel->mimeData({uploaded}));
    const QString target = back + QStringLiteral("/large.bin");
    QVERIFY(localModel->dropMimeData(downData.get(), Qt::CopyAction, -1, 0, localModel->index(back)));
    QVERIFY(Settings::getInstance()->isPathDownloadable(target));
    QTRY_VERIFY_WITH_TIMEOUT(localModel->index(target).isValid(), 30000);
    QCOMPARE(localModel->index(target).siblingAtColumn(LocalFilesTreeModel::SyncColumn).data().toString(),
             QStringLiteral("No"));
    // The pane shows the size growing while the bytes arrive, though it watches only
    // folders: at least two sizes beyond the empty file's, before the transfer ends.
    QVERIFY(qEnvironmentVariableIsEmpty("QT_FILESYSTEMMODEL_WATCH_FILES"));
    for (const QString &watched : localModel->watchedFolders())
        QVERIFY2(QFileInfo(watched).isDir(), qPrintable(watched));
    QStringList sizesSeen;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QModelIndex row = localModel->index(target);
            const QString size = row.siblingAtColumn(1).data().toString();
            if (row.siblingAtColumn(LocalFilesTreeModel::SyncColumn).data().toString() == QStringLiteral("No")
                && !sizesSeen.contains(size)) {
                sizesSeen.append(size);
            }
            return sizesSeen.size() >= 3;
        }(),
        60000);
    qInfo("sizes shown during the download: %s", qPrintable(sizesSeen.join(QStringLiteral(", "))));
    QTRY_VERIFY_WITH_TIMEOUT(!Settings::getInstance()->isPathDownloadable(target), 120000);
    QTRY_COMPARE_WITH_TIMEOUT(
        localModel->index(target).siblingAtColumn(LocalFilesTreeModel::SyncColumn).data().toString(),
        QStringLiteral("Yes"), 10000);
    // The pending mark ends on the scheduler's thread; the row's last reading follows
    // with the download's announcement.
    QTRY_COMPARE_WITH_TIMEOUT(localModel->index(target).siblingAtColumn(1).data().toString(),
                              QLocale::system().formattedDataSize(LargeSize), 10000);
    QCOMPARE(QFileInfo(target).size(), LargeSize);
    QCOMPARE(fileMd5Hex(target), sourceMd5);

    MainNetworkThread *scheduler = MainNetworkThread::getInstance();
    QTRY_VERIFY_WITH_TIMEOUT(scheduler->getQueuedCommandIds().isEmpty() && scheduler->getRunningCommandIds().isEmpty(),
                             20000);
}

QTEST_MAIN(TestDragTransfers)
#include "tst_dragtransfers.moc"
