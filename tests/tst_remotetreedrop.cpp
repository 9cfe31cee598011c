#include "base/settings.h"
#include "modalanswers.h"
#include "remote/remotefilestreeitem.h"
#include "remotelistfixture.h"
#include "remotetree/remotefilestreemodel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

#include <sys/stat.h>

using Fx = RemoteListFixture;
using Item = RemoteFilesTreeItem;

Q_DECLARE_METATYPE(Qt::DropAction)

namespace {

// demo's My Kelvarhold{docs{old{deep{}},readme},music{readme},notes.txt,trash{}}, trash deleted
const QStringList Listing{
    Fx::line(10, true, "docs", 0),   Fx::line(11, true, "old", 10), Fx::line(12, true, "deep", 11),
    Fx::line(13, false, "readme", 10), Fx::line(20, true, "music", 0),
    Fx::line(21, false, "readme", 20), Fx::line(30, false, "notes.txt", 0),
    Fx::line(40, true, "trash", 0),
};

std::unique_ptr<RemoteFilesTreeModel> build()
{
    auto model = std::make_unique<RemoteFilesTreeModel>(Listing.join(QLatin1Char('\n')));
    new QAbstractItemModelTester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                 model.get());
    model->markDeleted(model->getItemByInnerId(40, true));
    return model;
}

// Notes "dir NAME" for every folder creation and "file NAME" for every upload the model
// asks for.
void logQueued(RemoteFilesTreeModel *model, QStringList &log)
{
    QObject::connect(model, &RemoteFilesTreeModel::createNewDir, model,
                     [&log](const RemoteItemRef &ref) { log << "dir " + ref.item()->getItemInnerName(); });
    QObject::connect(model, &RemoteFilesTreeModel::uploadFile, model,
                     [&log](const RemoteItemRef &ref) { log << "file " + ref.item()->getItemInnerName(); });
}

QMimeData *payload(const QStringList &urls)
{
    auto *data = new QMimeData();
    QList<QUrl> list;
    for (const QString &url : urls)
        list.append(QUrl(url));
    data->setUrls(list);
    return data;
}

QString remoteUrl(const Item *item)
{
    return QStringLiteral("/%1/%2/%3")
        .arg(item->isDir() ? "getdir" : "getfile")
        .arg(item->getItemInnerId())
        .arg(item->getItemSelfId());
}

bool makeFile(const QString &path, const QByteArray &bytes = "x")
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestRemoteTreeDrop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void payloadOfThreeRows();
    void payloadUrlForms();
    void remoteDrops_data();
    void remoteDrops();
    void foreignPayloadsAreSkipped_data();
    void foreignPayloadsAreSkipped();
    void refusedDrops_data();
    void refusedDrops();
    void persistentIndexFollowsAMovedItem();
    void nestedLocalFolderQueuesCreationsBeforeUploads();
    void symlinksAreNeverUploaded();
    void pipesAndDevicesAreRefusedWithAMessage();
    void localFileWithTakenNameIsStillUploaded();
    void uploadButtonAddsUnderTheRoot();
    void driveRootDoesNothing();
    void modelWithoutListRefusesDrops();
};

void TestRemoteTreeDrop::initTestCase()
{
    Settings::getInstance()->setLogin(QStringLiteral("demo"));
}

void TestRemoteTreeDrop::payloadOfThreeRows()
{
    auto model = build();
    const QModelIndex root = model->index(0, 0);
    QModelIndexList selection;
    for (int row : {0, 1, 3})
        for (int column = 0; column < 5; ++column)
            selection.append(model->index(row, column, root));
    QCOMPARE(model->mimeTypes(), QStringList{"text/uri-list"});
    std::unique_ptr<QMimeData> data(model->mimeData(selection));
    QCOMPARE(data->formats(), QStringList{"text/uri-list"});
    const auto item = [&](int row) { return static_cast<Item *>(model->index(row, 0, root).internalPointer()); };
    const QByteArray expected = QStringLiteral("/getdir/10/%1\r\n/getdir/20/%2\r\n/getdir/40/%3\r\n")
                                    .arg(item(0)->getItemSelfId())
                                    .arg(item(1)->getItemSelfId())
                                    .arg(item(3)->getItemSelfId())
                                    .toLatin1();
    QCOMPARE(data->data("text/uri-list"), expected);
    QCOMPARE(data->urls().size(), 3);
    QCOMPARE(model->supportedDragActions(), Qt::CopyAction | Qt::MoveAction);
    QCOMPARE(model->supportedDropActions(), Qt::CopyAction | Qt::MoveAction);
}

void TestRemoteTreeDrop::payloadUrlForms()
{
    auto model = build();
    Item *notes = model->getItemByInnerId(30, false);
    notes->setItemInnerId(0); // not yet on the server
    Item *docs = model->getItemByInnerId(10, true);
    Item *huge = model->getItemByInnerId(20, true);
    huge->setItemInnerId(~Q_UINT64_C(0));
    std::unique_ptr<QMimeData> data(model->mimeData(
        {model->getIndexByItem(docs, {}), model->getIndexByItem(notes, {}),
         model->getIndexByItem(huge, {})}));
    QCOMPARE(data->urls(),
             QList<QUrl>({QUrl(QStringLiteral("/getdir/10/%1").arg(docs->getItemSelfId())),
                          QUrl(QStringLiteral("/getfile/0/%1").arg(notes->getItemSelfId())),
                          QUrl(QStringLiteral("/getdir/18446744073709551615/%1").arg(huge->getItemSelfId()))}));
}

void TestRemoteTreeDrop::remoteDrops_data()
{
    // Items and targets by server id (folders) and name; the target row -1 drops onto
    // the parent index itself, "" is the empty area below the rows.
    QTest::addColumn<quint64>("draggedId");
    QTest::addColumn<bool>("draggedIsDir");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<bool>("uploaded");
    const QString r = QStringLiteral("demo's My Kelvarhold");
    const QString unchanged = r + "{docs{old{deep{}},readme},music{readme},notes.txt,trash{}}";
    QTest::newRow("file into folder") << Q_UINT64_C(30) << false << "music" << -1
                                      << r + "{docs{old{deep{}},readme},music{readme,notes.txt},trash{}}"
                                      << false;
    QTest::newRow("folder into folder") << Q_UINT64_C(11) << true << "music" << -1
                                        << r + "{docs{readme},music{readme,old{deep{}}},notes.txt,trash{}}"
                                        << false;
    QTest::newRow("folder onto itself") << Q_UINT64_C(11) << true << "old" << -1 << unchanged << true;
    QTest::newRow("folder into its sub-folder") << Q_UINT64_C(10) << true << "deep" << -1 << unchanged << true;
    QTest::newRow("into its own folder") << Q_UINT64_C(13) << false << "docs" << -1 << unchanged << true;
    QTest::newRow("name taken in target") << Q_UINT64_C(13) << false << "music" << -1 << unchanged << true;
    QTest::newRow("onto a file row goes to its folder")
        << Q_UINT64_C(12) << true << "readme@music" << -1
        << r + "{docs{old{},readme},music{readme,deep{}},notes.txt,trash{}}" << false;
    QTest::newRow("row names the target child") << Q_UINT64_C(30) << false << "root" << 0
                                                << r + "{docs{old{deep{}},readme,notes.txt},music{readme},trash{}}"
                                                << false;
    QTest::newRow("row past the end means the parent") << Q_UINT64_C(12) << true << "root" << 99
                                                       << r + "{docs{old{},readme},music{readme},notes.txt,trash{},deep{}}"
                                                       << false;
    QTest::newRow("empty area is the user's root folder")
        << Q_UINT64_C(12) << true << "" << -1
        << r + "{docs{old{},readme},music{readme},notes.txt,trash{},deep{}}" << false;
}

void TestRemoteTreeDrop::remoteDrops()
{
    QFETCH(quint64, draggedId);
    QFETCH(bool, draggedIsDir);
    QFETCH(QString, target);
    QFETCH(int, row);
    QFETCH(QString, tree);
    QFETCH(bool, uploaded);
    auto model = build();
    Item *dragged = model->getItemByInnerId(draggedId, draggedIsDir);
    QModelIndex parent;
    if (target == "root")
        parent = model->index(0, 0);
    else if (target == "readme@music")
        parent = model->getIndexByItem(model->getItemByInnerId(21, false), {});
    else if (!target.isEmpty()) {
        const quint64 id = target == "music" ? 20 : target == "old" ? 11 : target == "deep" ? 12 : 10;
        parent = model->getIndexByItem(model->getItemByInnerId(id, true), {});
    }
    QSignalSpy movedDir(model.get(), &RemoteFilesTreeModel::moveDirClicked);
    QSignalSpy movedFile(model.get(), &RemoteFilesTreeModel::moveFileClicked);
    QSignalSpy layout(model.get(), &QAbstractItemModel::layoutChanged);
    QSignalSpy rowsMoved(model.get(), &QAbstractItemModel::rowsMoved);
    std::unique_ptr<QMimeData> data(payload({remoteUrl(dragged)}));
    QVERIFY(model->dropMimeData(data.get(), Qt::MoveAction, row, 0, parent));
    QCOMPARE(Fx::render(model->getRootItem()).remove(QLatin1Char('!')), tree);
    QCOMPARE(dragged->isUploaded(), uploaded);
    // Moved or not, the scheduler hears of it: the request names the item's place.
    QSignalSpy &spy = draggedIsDir ? movedDir : movedFile;
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).value<RemoteItemRef>().item(), dragged);
    QCOMPARE((draggedIsDir ? movedFile : movedDir).size(), 0);
    // A move is told as one row moved, nothing else: the views keep their places.
    QCOMPARE(rowsMoved.size(), uploaded ? 0 : 1);
    QCOMPARE(layout.size(), 0);
    if (!uploaded) {
        QCOMPARE(rowsMoved.at(0).at(3).toModelIndex().internalPointer(), dragged->parent());
        QCOMPARE(rowsMoved.at(0).at(4).toInt(), dragged->row());
    }
    QVERIFY(dragged->parent()->getChildItems().contains(dragged));
}

void TestRemoteTreeDrop::foreignPayloadsAreSkipped_data()
{
    QTest::addColumn<QStringList>("urls");
    QTest::newRow("web address") << QStringList{"http://example.com/getfile/1/2"};
    QTest::newRow("ftp address") << QStringList{"ftp://example.com/pub/file"};
    QTest::newRow("self id zero") << QStringList{"/getfile/30/0"};
    QTest::newRow("unknown self id") << QStringList{"/getfile/30/999999999"};
    QTest::newRow("self id beyond 64 bits") << QStringList{"/getfile/30/18446744073709551617"};
    QTest::newRow("no self id") << QStringList{"/getfile/30"};
    QTest::newRow("words for ids") << QStringList{"/getdir/docs/old"};
    QTest::newRow("one part") << QStringList{"/getfile"};
    QTest::newRow("missing local file") << QStringList{"file:///nonexistent/really/not/here.txt"};
}

void TestRemoteTreeDrop::foreignPayloadsAreSkipped()
{
    QFETCH(QStringList, urls);
    auto model = build();
    const QString before = Fx::render(model->getRootItem());
    Item *notes = model->getItemByInnerId(30, false);
    QSignalSpy movedFile(model.get(), &RemoteFilesTreeModel::moveFileClicked);
    QSignalSpy movedDir(model.get(), &RemoteFilesTreeModel::moveDirClicked);
    QSignalSpy uploads(model.get(), &RemoteFilesTreeModel::uploadFile);
    QSignalSpy creations(model.get(), &RemoteFilesTreeModel::createNewDir);
    // A good URL after the foreign one is still handled.
    std::unique_ptr<QMimeData> data(payload(urls + QStringList{remoteUrl(notes)}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, 0, model->index(0, 0)));
    QCOMPARE(Fx::render(model->getRootItem()), before);
    QCOMPARE(movedFile.size(), 1);
    QCOMPARE(movedDir.size() + uploads.size() + creations.size(), 0);
}

void TestRemoteTreeDrop::refusedDrops_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ontoTrash");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain text payload") << "text/plain" << 0 << false << int(Qt::MoveAction) << false;
    QTest::newRow("second column") << "text/uri-list" << 1 << false << int(Qt::MoveAction) << false;
    QTest::newRow("deleted folder") << "text/uri-list" << 0 << true << int(Qt::MoveAction) << false;
    QTest::newRow("ignore action") << "text/plain" << 3 << true << int(Qt::IgnoreAction) << true;
}

void TestRemoteTreeDrop::refusedDrops()
{
    QFETCH(QString, format);
    QFETCH(int, column);
    QFETCH(bool, ontoTrash);
    QFETCH(int, action);
    QFETCH(bool, accepted);
    auto model = build();
    const QString before = Fx::render(model->getRootItem());
    Item *notes = model->getItemByInnerId(30, false);
    QMimeData data;
    if (format == "text/uri-list")
        data.setUrls({QUrl(remoteUrl(notes))});
    else
        data.setText(remoteUrl(notes));
    const QModelIndex parent = ontoTrash ? model->getIndexByItem(model->getItemByInnerId(40, true), {})
                                         : model->index(0, 0);
    QSignalSpy moved(model.get(), &RemoteFilesTreeModel::moveFileClicked);
    QCOMPARE(model->dropMimeData(&data, Qt::DropAction(action), -1, column, parent), accepted);
    QCOMPARE(Fx::render(model->getRootItem()), before);
    QCOMPARE(moved.size(), 0);
}

void TestRemoteTreeDrop::persistentIndexFollowsAMovedItem()
{
    auto model = build();
    Item *notes = model->getItemByInnerId(30, false);
    Item *music = model->getItemByInnerId(20, true);
    const QPersistentModelIndex kept(model->getIndexByItem(notes, {}).siblingAtColumn(2));
    std::unique_ptr<QMimeData> data(payload({remoteUrl(notes)}));
    QVERIFY(model->dropMimeData(data.get(), Qt::MoveAction, -1, 0, model->getIndexByItem(music, {})));
    QVERIFY(kept.isValid());
    QCOMPARE(kept.internalPointer(), notes);
    QCOMPARE(kept.column(), 2);
    QCOMPARE(kept.row(), 1);
    QCOMPARE(kept.parent().internalPointer(), music);
}

void TestRemoteTreeDrop::nestedLocalFolderQueuesCreationsBeforeUploads()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString top = temp.filePath("top");
    QVERIFY(QDir().mkpath(top + "/mid/low"));
    QVERIFY(makeFile(top + "/mid/low/file.bin", QByteArray(1500, 'z')));

    auto model = build();
    Item *music = model->getItemByInnerId(20, true);
    QStringList log;
    QList<Item *> items;
    connect(model.get(), &RemoteFilesTreeModel::createNewDir, this, [&](const RemoteItemRef &ref) {
        log << "dir " + ref.item()->getItemInnerName();
        items << ref.item();
    });
    connect(model.get(), &RemoteFilesTreeModel::uploadFile, this, [&](const RemoteItemRef &ref) {
        log << "file " + ref.item()->getItemInnerName();
        items << ref.item();
    });
    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);
    std::unique_ptr<QMimeData> data(payload({QUrl::fromLocalFile(top).toString()}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, 0, model->getIndexByItem(music, {})));

    QCOMPARE(log, QStringList({"dir top", "dir mid", "dir low", "file file.bin"}));
    QCOMPARE(items[0]->parent(), music);
    // The folder joins the tree with its contents: one row told.
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(0).toModelIndex().internalPointer(), music);
    for (int i = 1; i < items.size(); ++i)
        QCOMPARE(items[i]->parent(), items[i - 1]);
    for (Item *item : std::as_const(items)) {
        QVERIFY(!item->isUploaded());
        QCOMPARE(item->getItemInnerId(), quint64(0));
        QVERIFY(item->getLocalPathForUpload().startsWith(temp.path()));
    }
    QCOMPARE(items[0]->getItemInfo().getParentId(), quint64(20));
    QCOMPARE(items[3]->getLocalPathForUpload(), QDir(top).absoluteFilePath("mid/low/file.bin"));
    QCOMPARE(items[3]->getItemInnerSize(), quint64(1500));
    QVERIFY(!items[3]->isDir());
    QCOMPARE(items[3]->data(3).toString(), QStringLiteral("No"));
}

void TestRemoteTreeDrop::symlinksAreNeverUploaded()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString top = temp.filePath("top");
    QVERIFY(QDir().mkpath(top + "/sub"));
    QVERIFY(makeFile(top + "/real.txt"));
    QVERIFY(makeFile(temp.filePath("outside.txt")));
    QVERIFY(QFile::link(temp.filePath("outside.txt"), top + "/link.txt"));
    QVERIFY(QFile::link(top, top + "/sub/loop")); // would recurse forever if followed
    QVERIFY(QFile::link(temp.filePath("outside.txt"), temp.filePath("dropped-link")));

    auto model = build();
    QStringList log;
    logQueued(model.get(), log);
    // With a trailing slash a path looks through the link; it must still count as one.
    std::unique_ptr<QMimeData> data(payload({QUrl::fromLocalFile(top).toString(),
                                             QUrl::fromLocalFile(temp.filePath("dropped-link")).toString(),
                                             QUrl::fromLocalFile(top + "/sub/loop/").toString()}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, 0, QModelIndex()));
    log.sort();
    QCOMPARE(log, QStringList({"dir sub", "dir top", "file real.txt"}));
}

void TestRemoteTreeDrop::pipesAndDevicesAreRefusedWithAMessage()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString top = temp.filePath("top");
    QVERIFY(QDir().mkpath(top));
    QVERIFY(makeFile(top + "/real.txt"));
    QCOMPARE(::mkfifo(QFile::encodeName(top + "/inner pipe").constData(), 0600), 0);
    QCOMPARE(::mkfifo(QFile::encodeName(temp.filePath("dropped pipe")).constData(), 0600), 0);

    auto model = build();
    QStringList log;
    logQueued(model.get(), log);
    QString told;
    ModalAnswers answers({[&](QWidget *widget) {
        told = qobject_cast<QMessageBox *>(widget)->text();
        ModalAnswers::click(QDialogButtonBox::Ok)(widget);
    }});
    std::unique_ptr<QMimeData> data(payload({QUrl::fromLocalFile(top).toString(),
                                             QUrl::fromLocalFile(temp.filePath("dropped pipe")).toString(),
                                             QUrl::fromLocalFile("/dev/zero").toString()}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, 0, QModelIndex()));
    QVERIFY(answers.allAnswered());
    QCOMPARE(answers.seen().size(), 1);
    log.sort();
    QCOMPARE(log, QStringList({"dir top", "file real.txt"}));
    for (const QString &named : {QStringLiteral("inner pipe"), QStringLiteral("dropped pipe"), QStringLiteral("/dev/zero")})
        QVERIFY2(told.contains(named), qPrintable(told));
}

void TestRemoteTreeDrop::localFileWithTakenNameIsStillUploaded()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QVERIFY(makeFile(temp.filePath("notes.txt")));
    auto model = build();
    const QString before = Fx::render(model->getRootItem());
    // The request stays here: a queued command would hold the tree.
    disconnect(model.get(), &RemoteFilesTreeModel::uploadFile, nullptr, nullptr);
    QSignalSpy uploads(model.get(), &RemoteFilesTreeModel::uploadFile);
    std::unique_ptr<QMimeData> data(payload({QUrl::fromLocalFile(temp.filePath("notes.txt")).toString()}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, 0, QModelIndex()));
    QCOMPARE(uploads.size(), 1);
    RemoteItemRef ref = uploads.at(0).at(0).value<RemoteItemRef>();
    Item *item = ref.item();
    QCOMPARE(item->getItemInnerName(), QStringLiteral("notes.txt"));
    QCOMPARE(ref.snapshot().localPathForUpload, temp.filePath("notes.txt"));
    QCOMPARE(Fx::render(model->getRootItem()), before);
    QVERIFY(!model->isShown(item));
    QCOMPARE(model->getItemBySelfId(item->getItemSelfId()), item); // alive for its command

    // Named by a payload, the item kept aside is not moved anywhere: it is not shown,
    // and its upload still names the folder it was dropped on.
    Item *music = model->getItemByInnerId(20, true);
    QSignalSpy moves(model.get(), &RemoteFilesTreeModel::moveFileClicked);
    std::unique_ptr<QMimeData> move(payload({remoteUrl(item)}));
    QVERIFY(model->dropMimeData(move.get(), Qt::MoveAction, -1, 0, model->getIndexByItem(music, {})));
    QCOMPARE(moves.size(), 0);
    QCOMPARE(Fx::render(model->getRootItem()), before);
    QVERIFY(!model->isShown(item));
    QCOMPARE(item->parent(), model->getRootItem());

    // The tree, with the item kept aside, goes when neither the model nor a command
    // holds it any more.
    const std::weak_ptr<RemoteTree> tree = model->getTree();
    model.reset();
    QVERIFY(!tree.expired());
    uploads.clear();
    QVERIFY(!tree.expired());
    QCOMPARE(ref.snapshot().record.getName(), QStringLiteral("notes.txt"));
    ref = RemoteItemRef();
    QVERIFY(tree.expired());
    QCOMPARE(moves.size(), 0);
}

void TestRemoteTreeDrop::uploadButtonAddsUnderTheRoot()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QVERIFY(QDir().mkpath(temp.filePath("folder")));
    auto model = build();
    QSignalSpy creations(model.get(), &RemoteFilesTreeModel::createNewDir);
    model->addNewItemToModel(QFileInfo(temp.filePath("folder") + "/"), nullptr);
    QCOMPARE(creations.size(), 1);
    Item *item = creations.at(0).at(0).value<RemoteItemRef>().item();
    QCOMPARE(item->getItemInnerName(), QStringLiteral("folder"));
    QCOMPARE(item->parent(), model->getRootItem());
}

void TestRemoteTreeDrop::driveRootDoesNothing()
{
    auto model = build();
    const QString before = Fx::render(model->getRootItem());
    QSignalSpy creations(model.get(), &RemoteFilesTreeModel::createNewDir);
    QSignalSpy uploads(model.get(), &RemoteFilesTreeModel::uploadFile);
    std::unique_ptr<QMimeData> data(payload({QUrl::fromLocalFile(QDir::rootPath()).toString()}));
    QVERIFY(model->dropMimeData(data.get(), Qt::CopyAction, -1, 0, QModelIndex()));
    model->addNewItemToModel(QFileInfo(QDir::rootPath()), nullptr);
    QCOMPARE(creations.size() + uploads.size(), 0);
    QCOMPARE(Fx::render(model->getRootItem()), before);
}

void TestRemoteTreeDrop::modelWithoutListRefusesDrops()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QVERIFY(makeFile(temp.filePath("a.txt")));
    RemoteFilesTreeModel model;
    QAbstractItemModelTester tester(&model);
    QSignalSpy uploads(&model, &RemoteFilesTreeModel::uploadFile);
    std::unique_ptr<QMimeData> data(payload({QUrl::fromLocalFile(temp.filePath("a.txt")).toString()}));
    QVERIFY(!model.dropMimeData(data.get(), Qt::CopyAction, -1, 0, QModelIndex()));
    QVERIFY(!model.dropMimeData(data.get(), Qt::CopyAction, 0, 0, QModelIndex()));
    model.addNewItemToModel(QFileInfo(temp.filePath("a.txt")), nullptr);
    QCOMPARE(uploads.size(), 0);
    QCOMPARE(model.rowCount(), 0);
}

QTEST_MAIN(TestRemoteTreeDrop)
#include "tst_remotetreedrop.moc"
