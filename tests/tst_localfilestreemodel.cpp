#include "base/settings.h"
#include "localtree/localfilestreemodel.h"
#include "modalanswers.h"
#include "remote/remotefilestreeitem.h"
#include "remotelistfixture.h"
#include "remotetree/remotefilestreemodel.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QDirIterator>
#include <QIdentityProxyModel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every path below `root`, with each file's content, so a test can see that nothing
// outside a target folder was written.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        entries.insert(path.mid(root.size()),
                       it.fileInfo().isDir() || !file.open(QIODevice::ReadOnly) ? QByteArray("<dir>")
                                                                              : file.readAll());
    }
    return entries;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QMimeData *payload(const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl(path));
    data->setUrls(urls);
    return data;
}

// Clicks the message box button that carries `text`.
ModalAnswers::Answer clickText(const QString &text)
{
    return [text](QWidget *window) {
        auto *box = qobject_cast<QMessageBox *>(window);
        QVERIFY(box);
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == text) {
                button->click();
                return;
            }
        }
        QFAIL("no such button");
    };
}

// Remembers a message box's text, then confirms it.
ModalAnswers::Answer readAndConfirm(QString *text)
{
    return [text](QWidget *window) {
        auto *box = qobject_cast<QMessageBox *>(window);
        QVERIFY(box);
        *text = box->text();
        box->button(QMessageBox::Ok)->click();
    };
}

} // namespace

class TestLocalFilesTreeModel final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void modelIsConsistent();
    void columnsAndSyncState();
    void defaultDownloadFolderIcon();
    void dropRefusesWhatIsNoFolder_data();
    void dropRefusesWhatIsNoFolder();
    void dropFileCreatesEmptyPendingTarget();
    void existingFileQuestion_data();
    void existingFileQuestion();
    void dropFolderBuildsLocalTree();
    void dropFolderReusesExistingFolder();
    void questionsComeBeforeAnyTargetIsWritten();
    void bigFolderIsQueuedWholeAndInOrder();
    void collidingIdsDownloadTheDraggedItem_data();
    void collidingIdsDownloadTheDraggedItem();
    void hostileNamesStayInside_data();
    void hostileNamesStayInside();
    void urlTargetFailure();

private:
    QMap<QString, QByteArray> outside() const;
    QModelIndex waitForIndex(const QString &path);

    std::unique_ptr<QTemporaryDir> root;
    QString target;
    std::unique_ptr<LocalFilesTreeModel> model;
    std::unique_ptr<RemoteFilesTreeModel> remote;
};

void TestLocalFilesTreeModel::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    target = root->filePath(QStringLiteral("parent/dl"));
    QVERIFY(QDir().mkpath(target));
    writeFile(root->filePath(QStringLiteral("parent/keep.txt")), "keep");
    Settings::getInstance()->setLogin(QStringLiteral("alice"));
    Settings::getInstance()->setDefaultDownloadDirectory(QString());
    // Remote tree: docs{a.txt, notes{n.txt}, empty{}}, b.txt; ids as the server gives them.
    remote = std::make_unique<RemoteFilesTreeModel>(QStringList{
        RemoteListFixture::line(10, true, QStringLiteral("docs"), 0),
        RemoteListFixture::line(11, false, QStringLiteral("a.txt"), 10, 5),
        RemoteListFixture::line(12, true, QStringLiteral("notes"), 10),
        RemoteListFixture::line(13, false, QStringLiteral("n.txt"), 12, 3),
        RemoteListFixture::line(14, true, QStringLiteral("empty"), 10),
        RemoteListFixture::line(15, false, QStringLiteral("b.txt"), 0, 7),
    }.join(QLatin1Char('\n')));
    model = std::make_unique<LocalFilesTreeModel>();
    model->setRemoteModel(remote.get());
}

void TestLocalFilesTreeModel::cleanup()
{
    model.reset();
    remote.reset();
    root.reset();
}

QMap<QString, QByteArray> TestLocalFilesTreeModel::outside() const
{
    QMap<QString, QByteArray> entries = snapshot(root->path());
    for (auto it = entries.begin(); it != entries.end();) {
        if (it.key().startsWith(QStringLiteral("/parent/dl/")))
            it = entries.erase(it);
        else
            ++it;
    }
    return entries;
}

QModelIndex TestLocalFilesTreeModel::waitForIndex(const QString &path)
{
    QModelIndex index;
    if (!QTest::qWaitFor([&] { return (index = model->index(path)).isValid(); }, 5000))
        qWarning() << "not shown by the model:" << path;
    return index;
}

// The model as it is, except that folders outside the test's tree are not read: the
// tester reads every folder it meets, which would be the whole file system.
class TestTreeOnly final : public QIdentityProxyModel
{
public:
    TestTreeOnly(LocalFilesTreeModel *model, const QString &scope) : scope(scope + QLatin1Char('/'))
    {
        setSourceModel(model);
    }
    bool canFetchMore(const QModelIndex &parent) const override
    {
        const QString path = static_cast<LocalFilesTreeModel *>(sourceModel())->filePath(mapToSource(parent));
        const QString folder = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        return (scope.startsWith(folder) || folder.startsWith(scope))
            && QIdentityProxyModel::canFetchMore(parent);
    }
    void fetchMore(const QModelIndex &parent) override
    {
        if (canFetchMore(parent))
            QIdentityProxyModel::fetchMore(parent);
    }

private:
    QString scope;
};

void TestLocalFilesTreeModel::modelIsConsistent()
{
    TestTreeOnly scoped(model.get(), root->path());
    QAbstractItemModelTester tester(&scoped, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model->index(target);
    writeFile(target + QStringLiteral("/x.bin"), "12345");
    const QModelIndex file = waitForIndex(target + QStringLiteral("/x.bin"));
    QVERIFY(file.isValid());
    QCOMPARE(model->columnCount(file.parent()), 5);
}

void TestLocalFilesTreeModel::columnsAndSyncState()
{
    writeFile(target + QStringLiteral("/x.bin"), "12345");
    const QModelIndex file = waitForIndex(target + QStringLiteral("/x.bin"));
    QCOMPARE(model->headerData(LocalFilesTreeModel::SyncColumn, Qt::Horizontal).toString(),
             QStringLiteral("Sync"));
    QCOMPARE(model->headerData(LocalFilesTreeModel::DateColumn, Qt::Horizontal).toString(),
             QStringLiteral("Date Modified"));
    QCOMPARE(file.siblingAtColumn(LocalFilesTreeModel::DateColumn).data().toString(),
             QLocale::system().toString(QFileInfo(target + QStringLiteral("/x.bin")).lastModified(),
                                        QLocale::ShortFormat));
    QCOMPARE(file.siblingAtColumn(1).data().toString(), QLocale::system().formattedDataSize(5));

    const QModelIndex sync = file.siblingAtColumn(LocalFilesTreeModel::SyncColumn);
    QCOMPARE(sync.data().toString(), QStringLiteral("Yes"));
    Settings::getInstance()->addDownloadPath(target + QStringLiteral("/x.bin"));
    QCOMPARE(sync.data().toString(), QStringLiteral("No"));
    QCOMPARE(sync.data(Qt::EditRole).toString(), QStringLiteral("No"));
    Settings::getInstance()->removeDownloadPath(target + QStringLiteral("/x.bin"));
    QCOMPARE(sync.data().toString(), QStringLiteral("Yes"));

    // The file system's root has no parent and no sync state.
    const QModelIndex top = model->index(QDir::rootPath());
    QVERIFY(top.isValid());
    QVERIFY(!top.parent().isValid());
    QVERIFY(!top.siblingAtColumn(LocalFilesTreeModel::SyncColumn).data().isValid());

    QCOMPARE(model->flags(file) & Qt::ItemIsDropEnabled, Qt::ItemFlags());
    QVERIFY(model->flags(model->index(target)) & Qt::ItemIsDropEnabled);
    // Views skip the expander of an entry that never has children: a folder must not
    // say so, or it could never be opened.
    QVERIFY(model->flags(file) & Qt::ItemNeverHasChildren);
    QCOMPARE(model->flags(model->index(target)) & Qt::ItemNeverHasChildren, Qt::ItemFlags());
    QCOMPARE(model->supportedDropActions(), Qt::CopyAction);
    QCOMPARE(model->mimeTypes(), QStringList{QStringLiteral("text/uri-list")});
}

void TestLocalFilesTreeModel::defaultDownloadFolderIcon()
{
    const QModelIndex folder = waitForIndex(target);
    const auto image = [](const QVariant &icon) {
        return qvariant_cast<QIcon>(icon).pixmap(16, 16).toImage();
    };
    const QImage special = QIcon(QStringLiteral(":/icons/defaultDownloadDirectoryIcon"))
                               .pixmap(16, 16).toImage();
    QVERIFY(image(folder.data(Qt::DecorationRole)) != special);
    Settings::getInstance()->setDefaultDownloadDirectory(target);
    QCOMPARE(image(folder.data(Qt::DecorationRole)), special);
}

void TestLocalFilesTreeModel::dropRefusesWhatIsNoFolder_data()
{
    QTest::addColumn<bool>("onFile");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("format");
    QTest::newRow("file as target") << true << -1 << "text/uri-list";
    QTest::newRow("column 1") << false << 1 << "text/uri-list";
    QTest::newRow("plain text") << false << -1 << "text/plain";
}

void TestLocalFilesTreeModel::dropRefusesWhatIsNoFolder()
{
    QFETCH(bool, onFile);
    QFETCH(int, column);
    QFETCH(QString, format);
    writeFile(target + QStringLiteral("/x.bin"), "x");
    const QModelIndex parent = waitForIndex(onFile ? target + QStringLiteral("/x.bin") : target);
    std::unique_ptr<QMimeData> data(payload({QStringLiteral("/getfile/15/1")}));
    if (format != QLatin1String("text/uri-list")) {
        data = std::make_unique<QMimeData>();
        data->setText(QStringLiteral("/getfile/15/1"));
    }
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    const auto before = snapshot(root->path());
    QVERIFY(!model->dropMimeData(data.get(), Qt::CopyAction, -1, column, parent));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(snapshot(root->path()), before);
}

void TestLocalFilesTreeModel::dropFileCreatesEmptyPendingTarget()
{
    const QModelIndex folder = waitForIndex(target);
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    // A local file's URL, an item without a server id and an unknown id are skipped.
    std::unique_ptr<QMimeData> data(payload({QUrl::fromLocalFile(QStringLiteral("/etc/hosts")).toString(),
                                             QStringLiteral("/getfile/0/3"),
                                             QStringLiteral("/getfile/999/3"),
                                             QStringLiteral("/getfile/15/1")}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, -1, folder));
    const QString path = target + QStringLiteral("/b.txt");
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toString(), path);
    const RemoteItemRef queued = spy.at(0).at(0).value<RemoteItemRef>();
    QCOMPARE(queued.item(), remote->getItemByInnerId(15, false));
    QCOMPARE(queued.tree(), remote->getTree());
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(QFileInfo(path).size(), 0);
    QVERIFY(Settings::getInstance()->isPathDownloadable(path));
    const QModelIndex file = waitForIndex(path);
    QCOMPARE(file.siblingAtColumn(LocalFilesTreeModel::SyncColumn).data().toString(),
             QStringLiteral("No"));
    Settings::getInstance()->removeDownloadPath(path);
    QVERIFY(model->dropMimeData(data.get(), Qt::IgnoreAction, -1, -1, folder));
}

void TestLocalFilesTreeModel::existingFileQuestion_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("queued");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("pending");
    QTest::newRow("overwrite") << "Overwrite" << true << QByteArray() << true;
    QTest::newRow("resume") << "Resume download" << true << QByteArray("part") << false;
    QTest::newRow("cancel") << "Cancel" << false << QByteArray("part") << false;
}

void TestLocalFilesTreeModel::existingFileQuestion()
{
    QFETCH(QString, answer);
    QFETCH(bool, queued);
    QFETCH(QByteArray, content);
    QFETCH(bool, pending);
    const QString path = target + QStringLiteral("/b.txt");
    writeFile(path, "part");
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    QString question;
    ModalAnswers answers({[&](QWidget *window) {
        auto *box = qobject_cast<QMessageBox *>(window);
        QVERIFY(box);
        question = box->text();
        QCOMPARE(box->defaultButton()->text(), QStringLiteral("Resume download"));
        clickText(answer)(window);
    }});
    std::unique_ptr<QMimeData> data(payload({QStringLiteral("/getfile/15/1")}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, -1, waitForIndex(target)));
    QVERIFY(answers.allAnswered());
    QCOMPARE(question, QStringLiteral("File '%1' already exists. Do you want to resume downloading?")
                           .arg(path));
    QCOMPARE(spy.count(), queued ? 1 : 0);
    QCOMPARE(readAll(path), content);
    QCOMPARE(Settings::getInstance()->isPathDownloadable(path), pending);
    Settings::getInstance()->removeDownloadPath(path);
}

void TestLocalFilesTreeModel::dropFolderBuildsLocalTree()
{
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    const auto before = outside();
    std::unique_ptr<QMimeData> data(payload({QStringLiteral("/getdir/10/1")}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, -1, waitForIndex(target)));
    QStringList queued;
    for (const QList<QVariant> &call : spy)
        queued.append(call.at(1).toString().mid(target.size()));
    queued.sort();
    QCOMPARE(queued, (QStringList{QStringLiteral("/docs/a.txt"), QStringLiteral("/docs/notes/n.txt")}));
    QVERIFY(QFileInfo(target + QStringLiteral("/docs/empty")).isDir());
    QCOMPARE(QDir(target + QStringLiteral("/docs/empty")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
    QCOMPARE(outside(), before);
    for (const QString &path : queued)
        Settings::getInstance()->removeDownloadPath(target + path);
}

void TestLocalFilesTreeModel::dropFolderReusesExistingFolder()
{
    QVERIFY(QDir().mkpath(target + QStringLiteral("/docs/notes")));
    writeFile(target + QStringLiteral("/docs/notes/n.txt"), "old");
    writeFile(target + QStringLiteral("/docs/mine.txt"), "mine");
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    // One question, for the one file already present.
    ModalAnswers answers({clickText(QStringLiteral("Resume download"))});
    std::unique_ptr<QMimeData> data(payload({QStringLiteral("/getdir/10/1")}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, -1, waitForIndex(target)));
    QVERIFY(answers.allAnswered());
    QCOMPARE(answers.seen(), QStringList{QStringLiteral("QMessageBox")});
    QCOMPARE(spy.count(), 2);
    QCOMPARE(readAll(target + QStringLiteral("/docs/notes/n.txt")), QByteArray("old"));
    QCOMPARE(readAll(target + QStringLiteral("/docs/mine.txt")), QByteArray("mine"));
    Settings::getInstance()->removeDownloadPath(target + QStringLiteral("/docs/a.txt"));
}

void TestLocalFilesTreeModel::questionsComeBeforeAnyTargetIsWritten()
{
    // docs/a.txt comes before docs/notes/n.txt, which exists: when the user is asked
    // about n.txt, nothing of the folder has been written or queued yet, so that
    // cancelling cannot leave half a download behind.
    QVERIFY(QDir().mkpath(target + QStringLiteral("/docs/notes")));
    writeFile(target + QStringLiteral("/docs/notes/n.txt"), "old");
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    bool written = true;
    qsizetype queuedBefore = -1;
    ModalAnswers answers({[&](QWidget *window) {
        written = QFileInfo::exists(target + QStringLiteral("/docs/a.txt"));
        queuedBefore = spy.count();
        clickText(QStringLiteral("Overwrite"))(window);
    }});
    QSettings settings;
    model->addDirToModel(remote->getItemByInnerId(10, true), target + QLatin1Char('/'), settings);
    QVERIFY(answers.allAnswered());
    QVERIFY(!written);
    QCOMPARE(queuedBefore, 0);
    // Then both, in the folder's order.
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(1).toString(), target + QStringLiteral("/docs/a.txt"));
    QCOMPARE(spy.at(1).at(1).toString(), target + QStringLiteral("/docs/notes/n.txt"));
    QCOMPARE(readAll(target + QStringLiteral("/docs/notes/n.txt")), QByteArray());
    for (const QString &name : {QStringLiteral("/docs/a.txt"), QStringLiteral("/docs/notes/n.txt")})
        Settings::getInstance()->removeDownloadPath(target + name);
}

void TestLocalFilesTreeModel::bigFolderIsQueuedWholeAndInOrder()
{
    // More targets than one turn of the event loop writes: the rest follow in later
    // turns, each created, marked pending and queued once, in the folder's order.
    constexpr int Count = LocalFilesTreeModel::TargetsPerSlice * 12;
    QStringList lines{RemoteListFixture::line(100, true, QStringLiteral("camera"), 0)};
    for (int i = 0; i < Count; ++i)
        lines.append(RemoteListFixture::line(quint64(1000 + i), false, QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')), 100, 10));
    RemoteFilesTreeModel big(lines.join(QLatin1Char('\n')));
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    QSettings settings;
    model->addDirToModel(big.getItemByInnerId(100, true), target + QLatin1Char('/'), settings);
    QVERIFY(spy.count() >= LocalFilesTreeModel::TargetsPerSlice);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), Count, 20000);
    QTest::qWait(50);
    QCOMPARE(spy.count(), Count);
    for (int i = 0; i < Count; ++i) {
        const QString path = target + QStringLiteral("/camera/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        QCOMPARE(spy.at(i).at(1).toString(), path);
        QVERIFY(QFileInfo(path).isFile());
        QVERIFY(Settings::getInstance()->isPathDownloadable(path));
        Settings::getInstance()->removeDownloadPath(path);
    }
}

void TestLocalFilesTreeModel::collidingIdsDownloadTheDraggedItem_data()
{
    QTest::addColumn<bool>("isDir");
    QTest::addColumn<QString>("dragged");
    QTest::addColumn<QStringList>("queued");
    QTest::newRow("first of two files") << false << "first.txt" << QStringList{"/first.txt"};
    QTest::newRow("second of two files") << false << "second.txt" << QStringList{"/second.txt"};
    QTest::newRow("first of two folders") << true << "one" << QStringList{"/one/in-one.txt"};
    QTest::newRow("second of two folders") << true << "two" << QStringList{};
}

void TestLocalFilesTreeModel::collidingIdsDownloadTheDraggedItem()
{
    QFETCH(bool, isDir);
    QFETCH(QString, dragged);
    QFETCH(QStringList, queued);
    // A hostile list gives two files one id and two folders one id; the later folder
    // line gets the children.
    remote = std::make_unique<RemoteFilesTreeModel>(QStringList{
        RemoteListFixture::line(20, false, QStringLiteral("first.txt"), 0, 1),
        RemoteListFixture::line(20, false, QStringLiteral("second.txt"), 0, 2),
        RemoteListFixture::line(30, true, QStringLiteral("two"), 0),
        RemoteListFixture::line(30, true, QStringLiteral("one"), 0),
        RemoteListFixture::line(31, false, QStringLiteral("in-one.txt"), 30, 3),
    }.join(QLatin1Char('\n')));
    model->setRemoteModel(remote.get());
    QModelIndex index;
    for (int row = 0; row < remote->rowCount(remote->index(0, 0)); ++row) {
        const QModelIndex candidate = remote->index(row, 0, remote->index(0, 0));
        if (candidate.data().toString() == dragged)
            index = candidate;
    }
    QVERIFY(index.isValid());
    std::unique_ptr<QMimeData> data(remote->mimeData({index}));

    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, -1, waitForIndex(target)));
    QStringList paths;
    for (const QList<QVariant> &call : spy)
        paths.append(call.at(1).toString().mid(target.size()));
    QCOMPARE(paths, queued);
    QCOMPARE(QFileInfo(target + '/' + dragged).exists(), true);
    QCOMPARE(QDir(target).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{dragged});
    for (const QString &path : paths)
        Settings::getInstance()->removeDownloadPath(target + path);
}

void TestLocalFilesTreeModel::hostileNamesStayInside_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isDir");
    QTest::newRow("folder ..") << ".." << true;
    QTest::newRow("folder .") << "." << true;
    QTest::newRow("folder empty") << "" << true;
    QTest::newRow("folder with slash") << "../escape" << true;
    QTest::newRow("folder with backslash") << "..\\escape" << true;
    QTest::newRow("folder with NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << true;
    QTest::newRow("file ..") << ".." << false;
    QTest::newRow("file with slash") << "../keep.txt" << false;
    QTest::newRow("file absolute") << "/tmp/x" << false;
    QTest::newRow("file empty") << "" << false;
}

void TestLocalFilesTreeModel::hostileNamesStayInside()
{
    QFETCH(QString, name);
    QFETCH(bool, isDir);
    // A hostile item inside a harmless folder: the harmless parts still download.
    RemoteFilesTreeItem top;
    RemoteFilesTreeItem *folder = new RemoteFilesTreeItem(
        RemoteFileInfo(20, 0, true, QStringLiteral("box"), 0, quint32(0), true), &top);
    QVERIFY(top.appendChild(folder));
    RemoteFilesTreeItem *hostile = new RemoteFilesTreeItem(
        RemoteFileInfo(21, 20, isDir, name, 4, quint32(0), true), folder);
    QVERIFY(folder->appendChild(hostile));
    RemoteFilesTreeItem *inner = new RemoteFilesTreeItem(
        RemoteFileInfo(22, 21, false, QStringLiteral("keep.txt"), 4, quint32(0), true),
        isDir ? hostile : folder);
    QVERIFY((isDir ? hostile : folder)->appendChild(inner));
    RemoteFilesTreeItem *fine = new RemoteFilesTreeItem(
        RemoteFileInfo(23, 20, false, QStringLiteral("fine.txt"), 4, quint32(0), true), folder);
    QVERIFY(folder->appendChild(fine));

    const auto before = outside();
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadFile);
    QString told;
    ModalAnswers answers({readAndConfirm(&told)});
    QSettings settings;
    model->addDirToModel(folder, target + QLatin1Char('/'), settings);
    QVERIFY(answers.allAnswered());
    QCOMPARE(answers.seen(), QStringList{QStringLiteral("QMessageBox")});
    QVERIFY2(told.contains(QStringLiteral("box/")), qPrintable(told));
    QCOMPARE(outside(), before);
    QStringList queued;
    for (const QList<QVariant> &call : spy)
        queued.append(call.at(1).toString());
    // Only what lies safely inside the target was queued; the hostile item was not.
    for (const QString &path : queued) {
        QVERIFY2(path.startsWith(target + QStringLiteral("/box/")), qPrintable(path));
        QVERIFY(QFileInfo(path).isFile());
        Settings::getInstance()->removeDownloadPath(path);
    }
    QVERIFY(queued.contains(target + QStringLiteral("/box/fine.txt")));
    QCOMPARE(queued.size(), isDir ? 1 : 2);
    QCOMPARE(QDir(target).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("box")});
}

void TestLocalFilesTreeModel::urlTargetFailure()
{
    // A folder standing where the file should go: told, nothing queued.
    QVERIFY(QDir().mkpath(target + QStringLiteral("/taken")));
    QSignalSpy spy(model.get(), &LocalFilesTreeModel::downloadUrl);
    QString told;
    ModalAnswers answers({readAndConfirm(&told)});
    model->createFileFromUrl(QStringLiteral("http://example.org/taken"),
                             target + QStringLiteral("/taken"));
    QVERIFY(answers.allAnswered());
    QVERIFY(told.contains(QStringLiteral("http://example.org/taken")));
    QCOMPARE(spy.count(), 0);

    model->createFileFromUrl(QStringLiteral("http://example.org/new.bin"),
                             target + QStringLiteral("/new.bin"));
    QCOMPARE(spy.count(), 1);
    QVERIFY(QFileInfo(target + QStringLiteral("/new.bin")).isFile());
    QVERIFY(Settings::getInstance()->isPathDownloadable(target + QStringLiteral("/new.bin")));
    Settings::getInstance()->removeDownloadPath(target + QStringLiteral("/new.bin"));
}

QTEST_MAIN(TestLocalFilesTreeModel)
#include "tst_localfilestreemodel.moc"
