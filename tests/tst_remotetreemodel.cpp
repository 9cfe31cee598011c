#include "base/settings.h"
#include "network/mainnetworkthread.h"
#include "remote/namecollationkey.h"
#include "remote/remotefilestreeitem.h"
#include "remotelistfixture.h"
#include "remotetree/remotefilestreemodel.h"
#include "rowchanges.h"
#include "syncicon.h"
#include "wire/wire.h"

#include <QAbstractItemModelTester>
#include <QDeadlineTimer>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using Fx = RemoteListFixture;
using Item = RemoteFilesTreeItem;

namespace {

std::unique_ptr<RemoteFilesTreeModel> build(const QString &list)
{
    auto model = std::make_unique<RemoteFilesTreeModel>(list);
    new QAbstractItemModelTester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                 model.get());
    return model;
}

QString lines(const QStringList &list)
{
    return list.join(QLatin1Char('\n'));
}

// The rows as the model presents them (not the items' own child lists), names only.
QString modelRows(const QAbstractItemModel &model, const QModelIndex &parent)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        QString text = index.data().toString();
        if (model.rowCount(index) > 0)
            text += QLatin1Char('{') + modelRows(model, index) + QLatin1Char('}');
        rows.append(text);
    }
    return rows.join(QLatin1Char(','));
}

Item *childNamed(Item *folder, const QString &name)
{
    for (Item *child : folder->getChildItems()) {
        if (child->getItemInnerName() == name)
            return child;
    }
    return nullptr;
}

QImage imageOf(const QVariant &icon)
{
    return icon.value<QIcon>().pixmap(16, 16).toImage();
}

QImage resourceImage(const QString &name)
{
    return QIcon(QStringLiteral(":/icons/") + name).pixmap(16, 16).toImage();
}

// docs{a.txt,sub{inner}},music{},notes.txt
const QStringList ChangeListing{
    Fx::line(10, true, "docs", 0), Fx::line(11, false, "a.txt", 10, 5), Fx::line(12, true, "sub", 10),
    Fx::line(13, false, "inner", 12), Fx::line(20, true, "music", 0), Fx::line(30, false, "notes.txt", 0),
};

// What the sync column shows for item: its text and its icon.
QString syncState(RemoteFilesTreeModel &model, Item *item)
{
    const QModelIndex sync = model.getIndexByItem(item, QModelIndex()).siblingAtColumn(3);
    return sync.data().toString() + ", " + syncIconOf(sync);
}

} // namespace

class TestRemoteTreeModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void workedExample();
    void treeShapes_data();
    void treeShapes();
    void malformedFields_data();
    void malformedFields();
    void availabilityMarksEveryFolderOnThePath();
    void deepChainBuildsAndDies();
    void lookups();
    void modelWithoutList();
    void headers();
    void displayRolesAndFlags();
    void icons();
    void sortOrders_data();
    void sortOrders();
    void sortKeepsExpandedFolders();
    void nameOrderAgreesWithLocaleAwareCompare_data();
    void nameOrderAgreesWithLocaleAwareCompare();
    void builtInViewOrder();
    void foldersNotShownAreOrderedWhenAskedFor();
    void userChangesAreToldAtOnce_data();
    void userChangesAreToldAtOnce();
    void commandResultsAreToldAtOnce_data();
    void commandResultsAreToldAtOnce();
    void deletedFolderLeavesTheTree();
    void changesOfAnotherTreeAreIgnored();
    void snapshotsStayWholeWhileTheModelWrites();
};

void TestRemoteTreeModel::initTestCase()
{
    Settings::getInstance()->setLogin(QStringLiteral("demo"));
}

void TestRemoteTreeModel::workedExample()
{
    qputenv("TZ", "UTC");
    const QString list = lines({
        "120\t1\tPhotos\t0\t0\t1262304000\t\t0\t\t\t1",
        "121\t0\tbeach.jpg\t120\t204800\t1262390400\tU3VtbWVy\t1\t\ta1b2c3\t1",
        "122\t0\tnotes.txt\t0\t1500\t1262476800\t\t0\t\td4e5f6\t0",
    });
    auto model = build(list);
    Item *root = model->getRootItem();
    QCOMPARE(root->getItemInnerName(), QStringLiteral("demo's My Kelvarhold"));
    QVERIFY(!root->isFileAvailable());
    QCOMPARE(Fx::render(root), QStringLiteral("demo's My Kelvarhold!{Photos{beach.jpg},notes.txt!}"));
    QCOMPARE(model->rowCount(), 1);

    Item *photos = childNamed(root, QStringLiteral("Photos"));
    QCOMPARE(photos->getItemInnerId(), quint64(120));
    QVERIFY(photos->isDir());
    QVERIFY(photos->isFileAvailable());
    QVERIFY(photos->getItemExternalDownloadUrl().isEmpty());

    Item *beach = childNamed(photos, QStringLiteral("beach.jpg"));
    QCOMPARE(beach->getItemInnerId(), quint64(121));
    QCOMPARE(beach->getItemInnerSize(), quint64(204800));
    QCOMPARE(beach->getItemInfo().size(), QStringLiteral("200 KB"));
    QCOMPARE(beach->getItemDate().toUTC(), QDateTime(QDate(2010, 1, 2), QTime(0, 0), Qt::UTC));
    QCOMPARE(beach->getItemDescription(), QStringLiteral("Summer"));
    QVERIFY(beach->isItemSearchable());
    QVERIFY(beach->isFileAvailable());
    QVERIFY(beach->isUploaded());
    QCOMPARE(beach->getItemExternalDownloadUrl(),
             QStringLiteral("http://dl.kelvarhold.net/dl/a1b2c3/beach.jpg"));

    Item *notes = childNamed(root, QStringLiteral("notes.txt"));
    QCOMPARE(notes->getItemInnerId(), quint64(122));
    QCOMPARE(notes->getItemInfo().size(), QStringLiteral("1 KB"));
    QVERIFY(!notes->isItemSearchable());
    QVERIFY(!notes->isFileAvailable());
    QVERIFY(notes->getItemDescription().isEmpty());
}

void TestRemoteTreeModel::treeShapes_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("tree");
    const QString r = QStringLiteral("demo's My Kelvarhold");
    QTest::newRow("empty list") << QStringList{""} << r + "{}";
    QTest::newRow("only line breaks") << QStringList{"", "", ""} << r + "{}";
    QTest::newRow("trailing line of 10 fields")
        << QStringList{Fx::line(1, true, "A", 0), "2\t0\tb\t1\t0\t0\t\t1\t\tseg"} << r + "{A{}}";
    QTest::newRow("child before its folder")
        << QStringList{Fx::line(2, false, "b", 1), Fx::line(1, true, "A", 0)} << r + "{A{b}}";
    QTest::newRow("same file name twice: earlier line wins")
        << QStringList{Fx::line(1, true, "A", 0), Fx::line(2, false, "x", 1, 5),
                       Fx::line(3, false, "x", 1, 6, 0, "", true, "seg", false)}
        << r + "{A{x}}";
    QTest::newRow("two folder lines with one id: later gets the children")
        << QStringList{Fx::line(1, true, "early", 0), Fx::line(1, true, "late", 0),
                       Fx::line(2, false, "c", 1)}
        << r + "{early{},late{c}}";
    QTest::newRow("orphan goes to the root")
        << QStringList{Fx::line(5, false, "lost", 999), Fx::line(1, true, "A", 0)} << r + "{A{},lost}";
    QTest::newRow("file parent is no folder")
        << QStringList{Fx::line(1, false, "f", 0), Fx::line(2, false, "g", 1)} << r + "{f,g}";
    QTest::newRow("two-folder loop is not shown")
        << QStringList{Fx::line(1, true, "A", 2), Fx::line(2, true, "B", 1),
                       Fx::line(3, false, "inside", 2), Fx::line(4, false, "ok", 0)}
        << r + "{ok}";
    QTest::newRow("folder that is its own parent")
        << QStringList{Fx::line(7, true, "self", 7), Fx::line(8, false, "kid", 7),
                       Fx::line(9, true, "fine", 0)}
        << r + "{fine{}}";
    QTest::newRow("three-folder loop hanging off nothing")
        << QStringList{Fx::line(1, true, "A", 3), Fx::line(2, true, "B", 1), Fx::line(3, true, "C", 2)}
        << r + "{}";
    QTest::newRow("ids above 32 bits are used whole")
        << QStringList{Fx::line(Q_UINT64_C(4294967297), true, "high", 0), Fx::line(1, true, "low", 0),
                       Fx::line(10, false, "toHigh", Q_UINT64_C(4294967297)),
                       Fx::line(11, false, "toLow", 1)}
        << r + "{high{toHigh},low{toLow}}";
    QTest::newRow("largest id")
        << QStringList{Fx::line(~Q_UINT64_C(0), true, "max", 0), Fx::line(1, false, "in", ~Q_UINT64_C(0))}
        << r + "{max{in}}";
    QTest::newRow("unreadable folder id does not swallow the top level")
        << QStringList{"x\t1\tbroken\t0\t0\t0\t\t1\t\t\t1", Fx::line(1, false, "top", 0)}
        << r + "{broken{},top}";
    QTest::newRow("extra fields are ignored")
        << QStringList{Fx::line(1, false, "f", 0) + "\textra\tmore"} << r + "{f}";
    QTest::newRow("folder ignores its availability field")
        << QStringList{"1\t1\tA\t0\t0\t0\t\t1\t\t\t0"} << r + "{A{}}";
}

void TestRemoteTreeModel::treeShapes()
{
    QFETCH(QStringList, list);
    QFETCH(QString, tree);
    auto model = build(lines(list));
    QCOMPARE(Fx::render(model->getRootItem()), tree);
}

void TestRemoteTreeModel::malformedFields_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<quint64>("id");
    QTest::addColumn<bool>("isDir");
    QTest::addColumn<quint64>("size");
    QTest::addColumn<qint64>("date");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("searchable");
    QTest::addColumn<bool>("available");
    QTest::newRow("plain")
        << "3\t0\tf\t0\t7\t60\tYWJj\t1\t\ts\t1" << Q_UINT64_C(3) << false << Q_UINT64_C(7)
        << qint64(60) << "abc" << true << true;
    QTest::newRow("words instead of numbers")
        << "id\tdir\tf\tp\tsize\tdate\t\tyes\t\ts\tno" << Q_UINT64_C(0) << false << Q_UINT64_C(0)
        << qint64(0) << "" << false << false;
    QTest::newRow("id beyond 64 bits reads as 0")
        << "18446744073709551616\t0\tf\t0\t0\t0\t\t1\t\ts\t1" << Q_UINT64_C(0) << false
        << Q_UINT64_C(0) << qint64(0) << "" << true << true;
    QTest::newRow("date beyond 32 bits reads as 0")
        << "3\t0\tf\t0\t0\t4294967296\t\t1\t\ts\t1" << Q_UINT64_C(3) << false << Q_UINT64_C(0)
        << qint64(0) << "" << true << true;
    QTest::newRow("largest date") << "3\t0\tf\t0\t0\t4294967295\t\t1\t\ts\t1" << Q_UINT64_C(3)
                                  << false << Q_UINT64_C(0) << qint64(4294967295) << ""
                                  << true << true;
    QTest::newRow("negative folder flag means folder")
        << "3\t-1\td\t0\t9\t0\t\t1\t\ts\t0" << Q_UINT64_C(3) << true << Q_UINT64_C(0) << qint64(0)
        << "" << true << true;
    QTest::newRow("invalid base64 is decoded leniently")
        << "3\t0\tf\t0\t0\t0\tY*W!J j\t1\t\ts\t1" << Q_UINT64_C(3) << false << Q_UINT64_C(0)
        << qint64(0) << "abc" << true << true;
    QTest::newRow("description bytes are Latin-1 characters")
        << "3\t0\tf\t0\t0\t0\t6WT/\t1\t\ts\t1" << Q_UINT64_C(3) << false << Q_UINT64_C(0)
        << qint64(0) << "\u00e9d\u00ff" << true << true;
    QTest::newRow("large size") << "3\t0\tf\t0\t18446744073709551615\t0\t\t1\t\ts\t1"
                                << Q_UINT64_C(3) << false << ~Q_UINT64_C(0) << qint64(0) << ""
                                << true << true;
}

void TestRemoteTreeModel::malformedFields()
{
    QFETCH(QString, line);
    QFETCH(quint64, id);
    QFETCH(bool, isDir);
    QFETCH(quint64, size);
    QFETCH(qint64, date);
    QFETCH(QString, description);
    QFETCH(bool, searchable);
    QFETCH(bool, available);
    auto model = build(line);
    QCOMPARE(model->getRootItem()->childCount(), 1);
    Item *item = model->getRootItem()->child(0);
    QCOMPARE(item->getItemInnerId(), id);
    QCOMPARE(item->isDir(), isDir);
    QCOMPARE(item->getItemInnerSize(), size);
    QCOMPARE(item->getItemDate().toSecsSinceEpoch(), date);
    QCOMPARE(item->getItemDescription(), description);
    QCOMPARE(item->isItemSearchable(), searchable);
    QCOMPARE(item->isFileAvailable(), available);
    QVERIFY(item->isUploaded());
    QVERIFY(!item->isDeleted());
    QVERIFY(!item->isItemPasswordModify());
    QVERIFY(item->getItemPassword().isEmpty());
}

void TestRemoteTreeModel::availabilityMarksEveryFolderOnThePath()
{
    const QString list = lines({
        Fx::line(1, true, "a", 0), Fx::line(2, true, "b", 1), Fx::line(3, true, "c", 2),
        Fx::line(4, false, "gone", 3, 1, 0, "", true, "s", false),
        Fx::line(5, true, "beside", 1), Fx::line(6, false, "here", 5),
        Fx::line(7, true, "other", 0), Fx::line(8, false, "gone2", 7, 1, 0, "", true, "s", false),
        Fx::line(9, true, "clean", 0), Fx::line(10, false, "fine", 9),
    });
    const QString expected = QStringLiteral(
        "demo's My Kelvarhold!{a!{b!{c!{gone!}},beside{here}},other!{gone2!},clean{fine}}");
    for (int build = 0; build < 2; ++build) {
        auto model = ::build(list);
        QCOMPARE(Fx::render(model->getRootItem()), expected);
    }
}

void TestRemoteTreeModel::deepChainBuildsAndDies()
{
    // A hostile list: a chain of nested folders far deeper than any stack allows for
    // recursion, and a huge name.
    const int depth = 200000;
    QStringList list;
    list.reserve(depth + 2);
    for (int i = 1; i <= depth; ++i)
        list.append(Fx::line(quint64(i), true, QStringLiteral("d"), quint64(i - 1)));
    list.append(Fx::line(quint64(depth + 1), false, QStringLiteral("leaf"), quint64(depth), 1, 0,
                         "", true, "s", false));
    list.append(Fx::line(quint64(depth + 2), false, QString(1 << 20, QLatin1Char('n')), 0));
    RemoteFilesTreeModel model(lines(list));
    Item *deepest = model.getItemByInnerId(quint64(depth + 1), false);
    QVERIFY(deepest);
    QVERIFY(!model.getRootItem()->isFileAvailable());
    const QModelIndex index = model.getIndexByItem(deepest, QModelIndex());
    QCOMPARE(index.internalPointer(), deepest);
    model.sort(0, Qt::DescendingOrder);
    QCOMPARE(model.getRootItem()->childCount(), 2);
}

void TestRemoteTreeModel::lookups()
{
    auto model = build(lines({Fx::line(5, true, "dir", 0), Fx::line(5, false, "file", 5),
                              Fx::line(6, false, "other", 5)}));
    Item *dir = model->getItemByInnerId(5, true);
    Item *file = model->getItemByInnerId(5, false);
    QVERIFY(dir && file && dir != file);
    QCOMPARE(dir->getItemInnerName(), QStringLiteral("dir"));
    QCOMPARE(file->getItemInnerName(), QStringLiteral("file"));
    QCOMPARE(model->getItemByInnerId(6, true), nullptr);
    QCOMPARE(model->getItemByInnerId(6, false, dir)->getItemInnerName(), QStringLiteral("other"));
    QCOMPARE(model->getItemByInnerId(0, true), model->getRootItem());
    QCOMPARE(model->getItemBySelfId(file->getItemSelfId()), file);
    QCOMPARE(model->getItemBySelfId(0), nullptr);

    const QModelIndex fileIndex = model->getIndexByItem(file, QModelIndex());
    QCOMPARE(fileIndex.internalPointer(), file);
    QCOMPARE(fileIndex.parent().internalPointer(), dir);
    QCOMPARE(fileIndex.parent().parent().internalPointer(), model->getRootItem());
    QCOMPARE(model->getItem(0, QModelIndex()), dir);
    QCOMPARE(model->getItem(1, fileIndex.parent()), model->getItemByInnerId(6, false));
    QCOMPARE(model->getItem(2, fileIndex.parent()), nullptr);
    QCOMPARE(model->getItem(-1, QModelIndex()), nullptr);
}

void TestRemoteTreeModel::modelWithoutList()
{
    RemoteFilesTreeModel model;
    QAbstractItemModelTester tester(&model);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.getRootItem(), nullptr);
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QCOMPARE(model.getItem(0, QModelIndex()), nullptr);
    QCOMPARE(model.getItemByInnerId(0, true), nullptr);
    model.sort(0);
    // A change without an item (none of this model's) changes nothing.
    model.applyChange(RemoteItemChange{RemoteItemChange::Deleted, {}, 0, 0, {}});
    QCOMPARE(model.rowCount(), 0);
}

void TestRemoteTreeModel::headers()
{
    RemoteFilesTreeModel model(QString{});
    const QStringList expected{"Name", "Size", "Type", "Sync", "Date Modified"};
    for (int section = 0; section < 5; ++section)
        QCOMPARE(model.headerData(section, Qt::Horizontal).toString(), expected[section]);
    QVERIFY(model.headerData(5, Qt::Horizontal).isNull());
    QVERIFY(model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isNull());
    QCOMPARE(model.headerData(0, Qt::Vertical), model.QAbstractItemModel::headerData(0, Qt::Vertical));
    QCOMPARE(model.columnCount(), 5);
}

void TestRemoteTreeModel::displayRolesAndFlags()
{
    auto model = build(lines({Fx::line(1, true, "dir", 0),
                              Fx::line(2, false, "gone", 1, 2048, 0, "", true, "s", false),
                              Fx::line(3, false, "ok", 0, 10)}));
    const QModelIndex root = model->index(0, 0);
    const QModelIndex dir = model->index(0, 0, root);
    const QModelIndex gone = model->index(0, 0, dir);
    const QModelIndex ok = model->index(1, 0, root);
    auto at = [&](const QModelIndex &index, int column, int role) {
        return model->data(index.siblingAtColumn(column), role);
    };

    QCOMPARE(at(root, 0, Qt::DisplayRole).toString(), QStringLiteral("demo's My Kelvarhold"));
    for (int column = 1; column < 5; ++column) {
        QVERIFY(at(root, column, Qt::DisplayRole).isNull());
        QVERIFY(at(root, column, Qt::DecorationRole).isNull());
    }
    // The root has no sync icon, but still says that something below is missing.
    QCOMPARE(at(root, 3, Qt::ToolTipRole).toString(), QStringLiteral("Directory partially not available."));
    QVERIFY(at(root, 0, Qt::ToolTipRole).isNull());
    QCOMPARE(at(dir, 2, Qt::DisplayRole).toString(), QStringLiteral("Dir"));
    QCOMPARE(at(dir, 3, Qt::DisplayRole).toString(), QStringLiteral("Yes"));
    QCOMPARE(at(dir, 3, Qt::ToolTipRole).toString(), QStringLiteral("Directory partially not available."));
    QCOMPARE(at(gone, 3, Qt::ToolTipRole).toString(), QStringLiteral("File not available."));
    QVERIFY(at(ok, 3, Qt::ToolTipRole).isNull());
    QCOMPARE(at(gone, 1, Qt::DisplayRole).toString(), QStringLiteral("2 KB"));
    QCOMPARE(at(ok, 2, Qt::DisplayRole).toString(), QStringLiteral("File"));
    QVERIFY(!at(ok, 4, Qt::DisplayRole).toString().isEmpty());
    QVERIFY(at(dir, 4, Qt::DisplayRole).isNull());
    QVERIFY(at(ok, 0, Qt::ToolTipRole).isNull());
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(at(ok, column, Qt::TextAlignmentRole).toInt(),
                 int(column == 1 ? Qt::AlignRight : Qt::AlignLeft));
        QVERIFY(at(ok, column, Qt::EditRole).isNull());
    }
    QVERIFY(model->data(QModelIndex(), Qt::DisplayRole).isNull());

    const Qt::ItemFlags fileFlags = Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled;
    QCOMPARE(model->flags(ok), fileFlags);
    QCOMPARE(model->flags(dir), fileFlags | Qt::ItemIsDropEnabled);
    QCOMPARE(model->flags(QModelIndex()), Qt::ItemIsDropEnabled);

    // A file marked deleted: deleted icon, and pending in the sync column.
    model->markDeleted(static_cast<Item *>(ok.internalPointer()));
    QCOMPARE(at(ok, 3, Qt::DisplayRole).toString(), QStringLiteral("No"));
}

void TestRemoteTreeModel::icons()
{
    if (!QFile::exists(QStringLiteral(":/icons/uploadedIcon")))
        QSKIP("the icon set is not compiled into this build");
    auto model = build(lines({Fx::line(1, true, "dir", 0),
                              Fx::line(2, false, "gone", 1, 1, 0, "", true, "s", false),
                              Fx::line(3, false, "ok", 0), Fx::line(4, false, "del", 0),
                              Fx::line(5, true, "deldir", 0)}));
    Item *root = model->getRootItem();
    auto iconAt = [&](Item *item, int column) {
        return imageOf(model->data(model->getIndexByItem(item, QModelIndex()).siblingAtColumn(column),
                                   Qt::DecorationRole));
    };
    Item *dir = childNamed(root, "dir");
    Item *gone = childNamed(dir, "gone");
    Item *ok = childNamed(root, "ok");
    Item *del = childNamed(root, "del");
    Item *delDir = childNamed(root, "deldir");
    model->markDeleted(del);
    model->markDeleted(delDir);

    QCOMPARE(iconAt(root, 0), resourceImage("aboutIcon"));
    QVERIFY(model->data(model->index(0, 3), Qt::DecorationRole).isNull());
    QCOMPARE(iconAt(dir, 3), resourceImage("notAvailableIcon"));
    QCOMPARE(iconAt(gone, 3), resourceImage("notAvailableIcon"));
    QCOMPARE(iconAt(ok, 3), resourceImage("uploadedIcon"));
    QCOMPARE(iconAt(del, 3), resourceImage("notUploadedIcon"));
    QCOMPARE(iconAt(del, 0), resourceImage("deletedFileIcon"));
    QCOMPARE(iconAt(delDir, 0), resourceImage("deletedDirIcon"));
    QVERIFY(iconAt(ok, 0) != resourceImage("deletedFileIcon"));
    QVERIFY(!iconAt(ok, 0).isNull());
    QVERIFY(!iconAt(dir, 0).isNull());
    for (int column : {1, 2, 4})
        QVERIFY(model->data(model->getIndexByItem(ok, QModelIndex()).siblingAtColumn(column),
                            Qt::DecorationRole).isNull());
}

void TestRemoteTreeModel::sortOrders_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("tree");
    const QString r = QStringLiteral("demo's My Kelvarhold");
    QTest::newRow("name ascending") << 0 << int(Qt::AscendingOrder)
                                    << r + "{B{y,z},C{},a,b,c}";
    QTest::newRow("name descending: folders still first")
        << 0 << int(Qt::DescendingOrder) << r + "{C{},B{z,y},c,b,a}";
    QTest::newRow("size ascending") << 1 << int(Qt::AscendingOrder) << r + "{C{},B{z,y},b,c,a}";
    QTest::newRow("size descending") << 1 << int(Qt::DescendingOrder) << r + "{C{},B{y,z},a,c,b}";
    QTest::newRow("date ascending") << 4 << int(Qt::AscendingOrder) << r + "{C{},B{y,z},c,a,b}";
    QTest::newRow("date descending") << 4 << int(Qt::DescendingOrder) << r + "{C{},B{z,y},b,a,c}";
    QTest::newRow("type keeps order") << 2 << int(Qt::AscendingOrder) << r + "{C{},B{z,y},c,a,b}";
    QTest::newRow("sync keeps order") << 3 << int(Qt::DescendingOrder) << r + "{C{},B{z,y},c,a,b}";
}

void TestRemoteTreeModel::sortOrders()
{
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QString, tree);
    // Sizes and dates differ so that every comparator gives one order.
    auto model = build(lines({
        Fx::line(1, true, "C", 0), Fx::line(2, true, "B", 0),
        Fx::line(10, false, "c", 0, 200, 100), Fx::line(11, false, "a", 0, 300, 200),
        Fx::line(12, false, "b", 0, 100, 300),
        Fx::line(20, false, "z", 2, 1, 50), Fx::line(21, false, "y", 2, 2, 40),
    }));
    QCOMPARE(Fx::render(model->getRootItem()), QStringLiteral("demo's My Kelvarhold{C{},B{z,y},c,a,b}"));
    QSignalSpy layout(model.get(), &QAbstractItemModel::layoutChanged);
    QSignalSpy collapse(model.get(), &RemoteFilesTreeModel::collapseAllItems);
    model->sort(column, Qt::SortOrder(order));
    QCOMPARE(Fx::render(model->getRootItem()), tree);
    // Type and Sync move no row: no new layout is announced (a whole relayout of the
    // view at a million items).
    QCOMPARE(layout.size(), column == 2 || column == 3 ? 0 : 1);
    QCOMPARE(collapse.size(), 1);
}

void TestRemoteTreeModel::sortKeepsExpandedFolders()
{
    auto model = build(lines({Fx::line(1, true, "b", 0), Fx::line(2, true, "a", 0),
                              Fx::line(3, true, "inner", 1)}));
    Item *b = model->getItemByInnerId(1, true);
    Item *inner = model->getItemByInnerId(3, true);
    QCOMPARE(b->row(), 0);
    model->addToExpandedItems(model->getRootItem());
    model->addToExpandedItems(b);
    model->addToExpandedItems(inner);
    model->addToExpandedItems(inner);
    model->removeFromExpandedItems(inner);

    QStringList log;
    connect(model.get(), &RemoteFilesTreeModel::collapseAllItems, this, [&] { log << "collapse"; });
    connect(model.get(), &RemoteFilesTreeModel::expandItem, this, [&](const QModelIndex &index) {
        QCOMPARE(index.column(), 0);
        QCOMPARE(index.model(), model.get());
        const auto *item = static_cast<Item *>(index.internalPointer());
        QCOMPARE(model->index(index.row(), 0, index.parent()), index);
        log << QStringLiteral("%1@%2").arg(item->getItemInnerName()).arg(index.row());
    });
    model->sort(0, Qt::AscendingOrder);
    QCOMPARE(log, QStringList({"collapse", "demo's My Kelvarhold@0", "b@1", "inner@0"}));
    // The view adds them back as it expands them; a second sort without that has nothing.
    log.clear();
    model->sort(2, Qt::AscendingOrder);
    QCOMPARE(log, QStringList({"collapse"}));
}

void TestRemoteTreeModel::nameOrderAgreesWithLocaleAwareCompare_data()
{
    QTest::addColumn<QString>("locale");
    // Code units under C; locales whose letters sort apart from their code points.
    for (const char *name : {"C", "en_US", "de_DE", "sv_SE", "fr_FR"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestRemoteTreeModel::nameOrderAgreesWithLocaleAwareCompare()
{
    QFETCH(QString, locale);
    const QLocale before;
    QLocale::setDefault(QLocale(locale));
    // Names that share long beginnings, differ in case, accents, punctuation, digits,
    // characters outside Latin-1 and surrogate pairs, and one empty name.
    const QStringList names{
        "", "a", "A", "ab", "a-b", "a b", "a_b", "aé", "ae", "æ", "å", "ä", "z", "Z", "ö", "o",
        "Ωmega", "omega", "file10", "file9", "file10.txt", "photo 2010-01-02 10.00.00.jpg",
        "photo 2010-01-02 10.00.01.jpg", "photo 2010-01-02 1.jpg", QString::fromUtf8("日本"),
        QString::fromUtf8("\xF0\x9F\x98\x80 smile"), QString::fromUtf8("\xEF\xBC\xA1 wide"),
        "IMG_0001.jpg", "IMG_0001.JPG", "img_0001.jpg", "IMG_00010.jpg", "x\u0301", "\u00e1",
    };
    NameCollationKey::generation();
    for (const QString &a : names) {
        for (const QString &b : names) {
            const quint64 ka = NameCollationKey::orderPrefix(a);
            const quint64 kb = NameCollationKey::orderPrefix(b);
            if (ka == kb)
                continue; // compared in full
            const int full = QString::localeAwareCompare(a, b);
            if ((ka < kb) != (full < 0) || full == 0)
                QFAIL(qPrintable(QStringLiteral("\"%1\" against \"%2\": prefix says %3, full comparison %4")
                                     .arg(a, b, ka < kb ? "before" : "after").arg(full)));
        }
    }
    // And a sort through the model gives localeAwareCompare's order.
    QStringList list;
    for (int i = 0; i < names.size(); ++i) {
        if (!names[i].isEmpty())
            list.append(Fx::line(quint64(i + 1), false, names[i], 0));
    }
    RemoteFilesTreeModel model(lines(list));
    model.sort(0, Qt::AscendingOrder);
    QStringList shown;
    const QModelIndex top = model.index(0, 0);
    for (int row = 0; row < model.rowCount(top); ++row)
        shown.append(model.index(row, 0, top).data().toString());
    for (int i = 1; i < shown.size(); ++i)
        QVERIFY2(QString::localeAwareCompare(shown[i - 1], shown[i]) <= 0,
                 qPrintable(shown[i - 1] + " before " + shown[i]));
    QLocale::setDefault(before);
}

void TestRemoteTreeModel::builtInViewOrder()
{
    const QString list = lines({Fx::line(1, true, "C", 0), Fx::line(2, true, "B", 0),
                                Fx::line(10, false, "c", 0, 200, 100), Fx::line(11, false, "a", 0, 300, 200),
                                Fx::line(20, false, "z", 2, 1, 50), Fx::line(21, false, "y", 2, 2, 40)});
    RemoteFilesTreeModel model(list, nullptr, 0, Qt::DescendingOrder);
    QCOMPARE(modelRows(model, QModelIndex()), QStringLiteral("demo's My Kelvarhold{C,B{z,y},c,a}"));
    // The view's own sort as the model is set moves nothing and announces nothing; a
    // later one does.
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    model.sort(0, Qt::DescendingOrder);
    QCOMPARE(layout.size(), 0);
    model.sort(0, Qt::AscendingOrder);
    QCOMPARE(layout.size(), 1);
    QCOMPARE(modelRows(model, QModelIndex()), QStringLiteral("demo's My Kelvarhold{B{y,z},C,a,c}"));
    model.sort(0, Qt::DescendingOrder);
    QCOMPARE(layout.size(), 2);
    QCOMPARE(modelRows(model, QModelIndex()), QStringLiteral("demo's My Kelvarhold{C,B{z,y},c,a}"));

    // Built without an order: the list's.
    RemoteFilesTreeModel listed(list);
    QCOMPARE(modelRows(listed, QModelIndex()), QStringLiteral("demo's My Kelvarhold{C,B{z,y},c,a}"));
}

void TestRemoteTreeModel::foldersNotShownAreOrderedWhenAskedFor()
{
    // No tester here: it would visit every row after each sort and so order everything.
    RemoteFilesTreeModel model(lines({Fx::line(1, true, "open", 0), Fx::line(2, true, "closed", 0),
                                      Fx::line(10, false, "b", 1), Fx::line(11, false, "a", 1),
                                      Fx::line(20, false, "y", 2), Fx::line(21, false, "x", 2),
                                      Fx::line(22, false, "z", 2)}));
    Item *open = model.getItemByInnerId(1, true);
    Item *x = model.getItemByInnerId(21, false);
    const QPersistentModelIndex remembered = model.getIndexByItem(model.getItemByInnerId(11, false),
                                                                  QModelIndex());
    QCOMPARE(remembered.row(), 1);
    model.addToExpandedItems(open);
    model.sort(0, Qt::AscendingOrder);
    // What was remembered follows its item.
    QCOMPARE(remembered.row(), 0);
    QCOMPARE(remembered.data().toString(), QStringLiteral("a"));
    // An item of a folder nobody showed gets the row the model then shows it at.
    const QModelIndex found = model.getIndexByItem(x, QModelIndex());
    QCOMPARE(found.row(), 0);
    QCOMPARE(model.index(found.row(), 0, found.parent()).internalPointer(), x);
    QCOMPARE(modelRows(model, QModelIndex()),
             QStringLiteral("demo's My Kelvarhold{closed{x,y,z},open{a,b}}"));
    model.sort(4, Qt::DescendingOrder);
    model.sort(0, Qt::DescendingOrder);
    QCOMPARE(model.getItem(0, model.getIndexByItem(model.getItemByInnerId(2, true), QModelIndex()))
                 ->getItemInnerName(),
             QStringLiteral("z"));
}

void TestRemoteTreeModel::userChangesAreToldAtOnce_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("told");
    QTest::newRow("rename") << "rename" << "dataChanged";
    QTest::newRow("searchable") << "searchable" << "dataChanged";
    QTest::newRow("description") << "description" << "dataChanged";
    QTest::newRow("password") << "password" << "dataChanged";
    QTest::newRow("delete a folder") << "delete" << "dataChanged";
    QTest::newRow("new folder") << "new folder" << "rowsInserted";
    QTest::newRow("upload from an address") << "address" << "rowsInserted";
    QTest::newRow("move") << "move" << "rowsMoved";
}

// Each change the user makes shows in its row at once, told to the views as the model
// contract asks, and marks the row not uploaded until its command succeeds.
void TestRemoteTreeModel::userChangesAreToldAtOnce()
{
    QFETCH(QString, change);
    QFETCH(QString, told);
    auto model = build(lines(ChangeListing));
    Item *docs = model->getItemByInnerId(10, true);
    Item *file = model->getItemByInnerId(11, false);
    Item *music = model->getItemByInnerId(20, true);
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy moved(model.get(), &QAbstractItemModel::rowsMoved);
    QSignalSpy layout(model.get(), &QAbstractItemModel::layoutChanged);
    Item *subject = file;
    if (change == "rename") {
        model->renameItem(file, "b.txt");
        QCOMPARE(file->getItemInnerName(), QStringLiteral("b.txt"));
    } else if (change == "searchable") {
        model->setItemSearchable(file, false);
        QVERIFY(!file->isItemSearchable());
    } else if (change == "description") {
        model->setItemDescription(file, "Winter");
        QCOMPARE(file->getItemDescription(), QStringLiteral("Winter"));
    } else if (change == "password") {
        model->setItemPassword(file, "sesame");
        QCOMPARE(file->getItemPassword(), QStringLiteral("sesame"));
        QVERIFY(file->isItemPasswordModify());
    } else if (change == "delete") {
        subject = docs;
        // Rows below show only in folders the view has open.
        model->addToExpandedItems(docs);
        model->addToExpandedItems(model->getItemByInnerId(12, true));
        model->markDeleted(docs);
    } else if (change == "new folder") {
        subject = model->addNewFolder(music, "fresh");
        QVERIFY(subject && subject->isDir());
        QVERIFY(!model->addNewFolder(music, "fresh"));
    } else if (change == "address") {
        subject = model->addUrlFile(file, "x.iso", "http://example.com/x.iso");
        QVERIFY(subject && !subject->isDir());
        QCOMPARE(subject->parent(), docs);
        QVERIFY(!model->addUrlFile(docs, "x.iso", "http://example.com/x.iso"));
    } else {
        QVERIFY(model->moveItem(file, music));
        QVERIFY(!model->moveItem(docs, model->getItemByInnerId(12, true)));
        QVERIFY(!model->moveItem(docs, docs));
    }
    const QModelIndex row = model->getIndexByItem(subject, QModelIndex());
    QCOMPARE(row.internalPointer(), subject);
    QCOMPARE(syncState(*model, subject), QStringLiteral("No, notUploadedIcon"));
    QCOMPARE(layout.size(), 0);
    if (told == "dataChanged") {
        QVERIFY(dataChangedCovers(changed, row.siblingAtColumn(3)));
        QCOMPARE(inserted.size() + moved.size(), 0);
    } else if (told == "rowsInserted") {
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(0).toModelIndex(), row.parent());
        QCOMPARE(inserted.at(0).at(1).toInt(), row.row());
    } else {
        QCOMPARE(moved.size(), 1);
        QCOMPARE(moved.at(0).at(3).toModelIndex(), row.parent());
        QCOMPARE(row.parent().internalPointer(), music);
    }
    if (change == "delete") {
        // Everything below a deleted open folder is told too.
        for (Item *below : {model->getItemByInnerId(11, false), model->getItemByInnerId(13, false)}) {
            const QModelIndex at = model->getIndexByItem(below, QModelIndex());
            QVERIFY(below->isDeleted());
            QCOMPARE(syncState(*model, below), QStringLiteral("No, notUploadedIcon"));
            QVERIFY(dataChangedCovers(changed, at.siblingAtColumn(3)));
        }
    }
}

void TestRemoteTreeModel::commandResultsAreToldAtOnce_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("folder created") << int(RemoteItemChange::FolderCreated);
    QTest::newRow("moved") << int(RemoteItemChange::Moved);
    QTest::newRow("parameters set") << int(RemoteItemChange::ParamsSet);
    QTest::newRow("file uploaded") << int(RemoteItemChange::FileUploaded);
    QTest::newRow("address uploaded") << int(RemoteItemChange::UrlUploaded);
}

// A command's result brings its row up to date as it is applied: no click, no repaint
// asked for, no new list.
void TestRemoteTreeModel::commandResultsAreToldAtOnce()
{
    QFETCH(int, kind);
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    auto model = build(lines(ChangeListing));
    Item *docs = model->getItemByInnerId(10, true);
    Item *file = model->getItemByInnerId(11, false);
    Item *subject = file;
    QString expectedAddress = file->getItemExternalDownloadUrl();
    switch (RemoteItemChange::Kind(kind)) {
    case RemoteItemChange::FolderCreated:
        subject = model->addNewFolder(docs, "fresh");
        expectedAddress.clear();
        break;
    case RemoteItemChange::Moved:
        QVERIFY(model->moveItem(file, model->getItemByInnerId(20, true)));
        break;
    case RemoteItemChange::ParamsSet:
        model->setItemDescription(file, "Winter");
        break;
    case RemoteItemChange::FileUploaded: {
        QFile local(temp.filePath("up.bin"));
        QVERIFY(local.open(QIODevice::WriteOnly) && local.write("12345") == 5);
        local.close();
        QSignalSpy queued(model.get(), &RemoteFilesTreeModel::uploadFile);
        model->addNewItemToModel(QFileInfo(local.fileName()), docs);
        QCOMPARE(queued.size(), 1);
        subject = queued.at(0).at(0).value<RemoteItemRef>().item();
        expectedAddress = Wire::downloadAddress(u"segF", "up.bin");
        break;
    }
    default:
        subject = model->addUrlFile(docs, "x y.iso", "http://example.com/x%20y.iso");
        expectedAddress = Wire::downloadAddress(u"segU", "x y.iso");
        break;
    }
    QVERIFY(subject);
    QCOMPARE(syncState(*model, subject), QStringLiteral("No, notUploadedIcon"));
    const quint64 oldId = subject->getItemInnerId();
    const quint64 id = kind == RemoteItemChange::FolderCreated || kind == RemoteItemChange::FileUploaded
            || kind == RemoteItemChange::UrlUploaded
        ? 700
        : oldId;
    const QString segment = kind == RemoteItemChange::FileUploaded ? "segF" : "segU";

    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    model->applyChange({RemoteItemChange::Kind(kind), model->refFor(subject), id, 4096, segment});
    const QModelIndex row = model->getIndexByItem(subject, QModelIndex());
    QVERIFY(dataChangedCovers(changed, row.siblingAtColumn(3)));
    QVERIFY(dataChangedCovers(changed, row.siblingAtColumn(1)));
    QCOMPARE(syncState(*model, subject), QStringLiteral("Yes, uploadedIcon"));
    QCOMPARE(subject->getItemInnerId(), id);
    QCOMPARE(subject->getItemExternalDownloadUrl(), expectedAddress);
    QCOMPARE(model->getTree()->idOf(subject), id);
    if (kind == RemoteItemChange::UrlUploaded) {
        QCOMPARE(subject->getItemInnerSize(), quint64(4096));
        QCOMPARE(row.siblingAtColumn(1).data().toString(), QStringLiteral("4 KB"));
    } else {
        QCOMPARE(subject->getItemInnerSize(), quint64(kind == RemoteItemChange::FolderCreated ? 0 : 5));
    }
}

void TestRemoteTreeModel::deletedFolderLeavesTheTree()
{
    auto model = build(lines(ChangeListing));
    Item *docs = model->getItemByInnerId(10, true);
    Item *inner = model->getItemByInnerId(13, false);
    const quint64 docsSelfId = docs->getItemSelfId();
    const QModelIndex root = model->index(0, 0);
    const int docsRow = model->getIndexByItem(docs, QModelIndex()).row();
    const int rowsBefore = model->rowCount(root);
    model->markDeleted(docs);
    QSignalSpy removing(model.get(), &QAbstractItemModel::rowsAboutToBeRemoved);
    QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
    {
        const RemoteItemChange deleted{RemoteItemChange::Deleted, model->refFor(docs), 0, 0, {}};
        model->applyChange(deleted);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removing.at(0).at(0).toModelIndex(), root);
        QCOMPARE(removing.at(0).at(1).toInt(), docsRow);
        QCOMPARE(removing.at(0).at(2).toInt(), docsRow);
        QCOMPARE(model->rowCount(root), rowsBefore - 1);
        QVERIFY(!model->isShown(docs));
        QVERIFY(!model->isShown(inner));
        QVERIFY(!model->getItemByInnerId(10, true));
        // A command still naming it can read it.
        QCOMPARE(deleted.target.snapshot().record.getName(), QStringLiteral("docs"));
        QCOMPARE(model->getItemBySelfId(docsSelfId), docs);
        // The same change once more (a stale copy) removes nothing else.
        model->applyChange(deleted);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(model->rowCount(root), rowsBefore - 1);
    }
    // Once no command names the tree's items, the folder is freed.
    QTRY_VERIFY(model->getTree()->takenOutItems().isEmpty());
    QCOMPARE(model->getItemBySelfId(docsSelfId), nullptr);
    QCOMPARE(Fx::render(model->getRootItem()), QStringLiteral("demo's My Kelvarhold{music{},notes.txt}"));
}

void TestRemoteTreeModel::changesOfAnotherTreeAreIgnored()
{
    // The list shown before a refresh and the one shown after; both models hear the
    // scheduler, as the window's old model does until it is gone.
    auto older = build(lines(ChangeListing));
    auto newer = build(lines(ChangeListing));
    Item *oldDocs = older->getItemByInnerId(10, true);
    Item *oldFile = older->getItemByInnerId(11, false);
    Item *newFile = newer->getItemByInnerId(11, false);
    older->markDeleted(oldDocs);
    const QString shown = Fx::render(newer->getRootItem());
    QSignalSpy newerChanged(newer.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy newerRemoved(newer.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy olderRemoved(older.get(), &QAbstractItemModel::rowsRemoved);
    MainNetworkThread scheduler;
    older->setScheduler(&scheduler);
    newer->setScheduler(&scheduler);

    newer->applyChange({RemoteItemChange::UrlUploaded, older->refFor(oldFile), 900, 1, "seg"});
    newer->applyChange({RemoteItemChange::Deleted, older->refFor(oldDocs), 0, 0, {}});
    QCOMPARE(newerChanged.size() + newerRemoved.size(), 0);
    QCOMPARE(newFile->getItemInnerId(), quint64(11));
    QCOMPARE(oldFile->getItemInnerId(), quint64(11));
    QCOMPARE(Fx::render(newer->getRootItem()), shown);

    Q_EMIT scheduler.remoteItemChanged(
        {RemoteItemChange::Deleted, older->refFor(oldDocs), 0, 0, {}});
    QTRY_COMPARE(olderRemoved.size(), 1);
    QCOMPARE(newerRemoved.size(), 0);
    QCOMPARE(Fx::render(newer->getRootItem()), shown);
}

// Commands copy what they need from their item on their own threads while the GUI
// thread goes on writing the tree through the model.
void TestRemoteTreeModel::snapshotsStayWholeWhileTheModelWrites()
{
    auto model = build(lines(ChangeListing));
    Item *file = model->getItemByInnerId(11, false);
    Item *docs = model->getItemByInnerId(10, true);
    Item *music = model->getItemByInnerId(20, true);
    const RemoteItemRef ref = model->refFor(file);
    const QString longSegment(300, QLatin1Char('s'));
    const auto segmentFor = [&](quint64 id) { return id % 2 ? QStringLiteral("short") : longSegment; };
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    QThread *reader = QThread::create([&] {
        while (!done) {
            const RemoteItemRef::Snapshot copy = ref.snapshot();
            const quint64 id = copy.record.getId();
            // Size, id and download address are written together: a copy has all three
            // of one change, or the list's.
            const bool whole = id == 11
                ? copy.record.getSize() == 5
                : copy.record.getSize() == id
                    && copy.record.getExternalDownloadUrl()
                        == Wire::downloadAddress(segmentFor(id), QStringLiteral("a.txt"));
            if (!whole || copy.id != id || (copy.parentId != 10 && copy.parentId != 20)
                || !copy.parentOnServer)
                ++torn;
            ++reads;
        }
    });
    reader->start();
    // Odd ids go with a move into music, even ones back into docs.
    const QDeadlineTimer deadline(10000);
    for (quint64 i = 101; (i < 20101 || reads < 100) && !deadline.hasExpired(); ++i) {
        model->applyChange({RemoteItemChange::UrlUploaded, model->refFor(file), i, i, segmentFor(i)});
        QVERIFY(model->moveItem(file, i % 2 ? music : docs));
    }
    done = true;
    QVERIFY(reader->wait(10000));
    delete reader;
    QCOMPARE(torn.load(), 0);
    QVERIFY(reads >= 100);
}

QTEST_MAIN(TestRemoteTreeModel)
#include "tst_remotetreemodel.moc"
