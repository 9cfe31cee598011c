#include "remote/remotefileinfo.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remoteitemref.h"
#include "remote/remotetree.h"
#include "remote/selfidindex.h"
#include "remotelistfixture.h"

#include <QHash>
#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>

using Item = RemoteFilesTreeItem;

namespace {

RemoteFileInfo fileInfo(const QString &name, quint64 id = 1, quint64 size = 0)
{
    return RemoteFileInfo(id, 0, false, name, size, quint32(0), true);
}

RemoteFileInfo dirInfo(const QString &name, quint64 id = 1)
{
    return RemoteFileInfo(id, 0, true, name, 0, quint32(0), true);
}

QStringList childNames(const Item &folder)
{
    QStringList names;
    for (const Item *child : folder.getChildItems())
        names.append(child->getItemInnerName());
    return names;
}

} // namespace

class TestRemoteTreeItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstItemOfTheProcessHasSelfIdOne();
    void eachTreeFindsOnlyItsOwnItems();
    void selfIdIndexAgreesWithAHash();
    void sizeText_data();
    void sizeText();
    void folderHasNoSize();
    void displayValues_data();
    void displayValues();
    void epochDateIsTheSameInstant();
    void appendRefusesTakenNames_data();
    void appendRefusesTakenNames();
    void appendSameItemTwiceAddsItOnce();
    void appendToFileGoesToItsFolder();
    void appendNeverMakesALoop();
    void removeChildNeedsThePointer();
    void renameKeepsLargeFolderIndexInStep();
    void parentIdComesFromTheParentLink();
    void ancestorFor();
    void operators();
    void concurrentWritesAndReads();
    void cleanup();
};

void TestRemoteTreeItem::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestRemoteTreeItem::firstItemOfTheProcessHasSelfIdOne()
{
    Item first;
    Item second(dirInfo(QStringLiteral("x")), &first);
    QCOMPARE(first.getItemSelfId(), quint64(1));
    QCOMPARE(second.getItemSelfId(), quint64(2));
    QCOMPARE(first.getItemInnerName(), QStringLiteral("root"));
    QVERIFY(first.isDir());
    QVERIFY(first.isRootRecord());
}

void TestRemoteTreeItem::eachTreeFindsOnlyItsOwnItems()
{
    const QString list = RemoteListFixture::line(1, true, QStringLiteral("d"), 0) + QLatin1Char('\n')
        + RemoteListFixture::line(2, false, QStringLiteral("f"), 1);
    const std::shared_ptr<RemoteTree> tree = RemoteTree::fromList(list, QStringLiteral("root"));
    const std::shared_ptr<RemoteTree> other = RemoteTree::fromList(list, QStringLiteral("root"));
    Item *folder = tree->folderById(1);
    QVERIFY(folder && folder->childCount() == 1);
    Item *file = folder->child(0);
    for (Item *item : {tree->top(), tree->userRoot(), folder, file})
        QCOMPARE(tree->itemBySelfId(item->getItemSelfId()), item);
    QCOMPARE(tree->itemCount(), 4);
    QCOMPARE(tree->itemBySelfId(0), nullptr);

    // The same list again: other items, found only in their own tree.
    Item *twin = other->folderById(1)->child(0);
    QVERIFY(twin->getItemSelfId() != file->getItemSelfId());
    QCOMPARE(tree->itemBySelfId(twin->getItemSelfId()), nullptr);
    QCOMPARE(other->itemBySelfId(file->getItemSelfId()), nullptr);

    // An item added later is found once registered.
    auto *added = new Item(fileInfo(QStringLiteral("g")), folder);
    QVERIFY(folder->appendChild(added));
    QCOMPARE(tree->itemBySelfId(added->getItemSelfId()), nullptr);
    tree->registerSubtree(added);
    QCOMPARE(tree->itemBySelfId(added->getItemSelfId()), added);

    // Taken out, an item is still found (commands may name it) until it is freed.
    const quint64 fileId = file->getItemSelfId();
    folder->removeChild(file);
    tree->keepTakenOut(file);
    QCOMPARE(tree->itemBySelfId(fileId), file);
    tree->freeTakenOut();
    QCOMPARE(tree->itemBySelfId(fileId), nullptr);
    QCOMPARE(tree->itemCount(), 4);
    // Ids are never reused.
    Item next;
    QVERIFY(next.getItemSelfId() > added->getItemSelfId());
}

// The index finds exactly what a plain hash would, whatever order and spacing the ids
// come in: runs with holes, ids far behind or ahead of the run, removals, re-insertions.
void TestRemoteTreeItem::selfIdIndexAgreesWithAHash()
{
    QRandomGenerator random(20261210);
    for (int round = 0; round < 20; ++round) {
        SelfIdIndex index;
        QHash<quint64, Item *> expected;
        quint64 next = 1 + random.bounded(1000);
        for (int step = 0; step < 3000; ++step) {
            const int what = random.bounded(10);
            quint64 id;
            if (what < 6)
                id = next += 1 + (random.bounded(20) == 0 ? random.bounded(100) : 0);
            else if (what < 8)
                id = 1 + random.bounded(quint32(next + 500));
            else
                id = next + 10000 + random.bounded(100000);
            auto *item = reinterpret_cast<Item *>(quintptr(id * 16));
            if (what == 9 && !expected.isEmpty()) {
                const quint64 gone = expected.keys().at(random.bounded(int(expected.size())));
                index.remove(gone);
                expected.remove(gone);
            } else {
                index.insert(id, item);
                expected.insert(id, item);
            }
        }
        QCOMPARE(index.size(), expected.size());
        for (quint64 id = 0; id < next + 120000; ++id)
            QCOMPARE(index.value(id), expected.value(id));
    }
}

void TestRemoteTreeItem::sizeText_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<quint64>("number");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("zero") << Q_UINT64_C(0) << Q_UINT64_C(0) << " bytes";
    QTest::newRow("1023") << Q_UINT64_C(1023) << Q_UINT64_C(1023) << " bytes";
    QTest::newRow("1024") << Q_UINT64_C(1024) << Q_UINT64_C(1) << " KB";
    QTest::newRow("1536") << Q_UINT64_C(1536) << Q_UINT64_C(1) << " KB";
    QTest::newRow("1048575") << Q_UINT64_C(1048575) << Q_UINT64_C(1023) << " KB";
    QTest::newRow("1048576") << Q_UINT64_C(1048576) << Q_UINT64_C(1) << " MB";
    QTest::newRow("1073741824") << Q_UINT64_C(1073741824) << Q_UINT64_C(1) << " GB";
    QTest::newRow("4 GiB + 1") << Q_UINT64_C(4294967297) << Q_UINT64_C(4) << " GB";
    QTest::newRow("1099511627775") << Q_UINT64_C(1099511627775) << Q_UINT64_C(1023) << " GB";
    QTest::newRow("1099511627776") << Q_UINT64_C(1099511627776) << Q_UINT64_C(1) << " TB";
    QTest::newRow("max") << ~Q_UINT64_C(0) << Q_UINT64_C(16777215) << " TB";
}

void TestRemoteTreeItem::sizeText()
{
    QFETCH(quint64, bytes);
    QFETCH(quint64, number);
    QFETCH(QString, suffix);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // groups thousands
    const RemoteFileInfo info = fileInfo(QStringLiteral("f"), 1, bytes);
    QCOMPARE(info.size(), QLocale().toString(number) + suffix);
    QCOMPARE(info.value(1).toString(), info.size());
    QCOMPARE(info.getSize(), bytes);
}

void TestRemoteTreeItem::folderHasNoSize()
{
    RemoteFileInfo info = dirInfo(QStringLiteral("d"));
    info.setSize(4096);
    QCOMPARE(info.getSize(), quint64(0));
    QVERIFY(info.size().isEmpty());
    QVERIFY(info.value(1).isNull());
    QVERIFY(info.value(4).isNull());
}

void TestRemoteTreeItem::displayValues_data()
{
    QTest::addColumn<quint64>("id");
    QTest::addColumn<bool>("isDir");
    QTest::addColumn<bool>("uploaded");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("sync");
    QTest::addColumn<bool>("hasDate");
    QTest::newRow("root record") << Q_UINT64_C(0) << true << true << "" << "" << false;
    QTest::newRow("new local folder") << Q_UINT64_C(0) << true << false << "Dir" << "No" << false;
    QTest::newRow("new local file") << Q_UINT64_C(0) << false << false << "File" << "No" << true;
    QTest::newRow("listed folder") << Q_UINT64_C(5) << true << true << "Dir" << "Yes" << false;
    QTest::newRow("listed file") << Q_UINT64_C(5) << false << true << "File" << "Yes" << true;
}

void TestRemoteTreeItem::displayValues()
{
    QFETCH(quint64, id);
    QFETCH(bool, isDir);
    QFETCH(bool, uploaded);
    QFETCH(QString, type);
    QFETCH(QString, sync);
    QFETCH(bool, hasDate);
    const RemoteFileInfo info(id, 0, isDir, QStringLiteral("n"), 10, quint32(1262304000), uploaded);
    QCOMPARE(info.value(0).toString(), QStringLiteral("n"));
    QCOMPARE(info.value(2).toString(), type);
    QCOMPARE(info.value(3).toString(), sync);
    QCOMPARE(info.value(4).isNull(), !hasDate);
    if (hasDate)
        QCOMPARE(info.value(4).toString(), info.getFormattedDate());
    QVERIFY(info.value(5).isNull());
    QVERIFY(info.value(-1).isNull());
}

void TestRemoteTreeItem::epochDateIsTheSameInstant()
{
    const RemoteFileInfo info(1, 0, false, QStringLiteral("f"), 0, quint32(1262390400), true);
    QCOMPARE(info.getDate().toUTC(), QDateTime(QDate(2010, 1, 2), QTime(0, 0), Qt::UTC));
    QCOMPARE(info.getDate().timeSpec(), Qt::LocalTime);
    const RemoteFileInfo last(1, 0, false, QStringLiteral("f"), 0, quint32(0xffffffffu), true);
    QCOMPARE(last.getDate().toSecsSinceEpoch(), qint64(0xffffffffu));
}

void TestRemoteTreeItem::appendRefusesTakenNames_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<bool>("refused");
    QTest::newRow("C: same") << "C" << "a.txt" << "a.txt" << true;
    QTest::newRow("C: case differs") << "C" << "a.txt" << "A.txt" << false;
    QTest::newRow("C: composed vs decomposed") << "C" << "\u00e9" << "e\u0301" << false;
    QTest::newRow("C: empty names") << "C" << "" << "" << true;
    QTest::newRow("de: composed vs decomposed") << "de_DE" << "\u00e9.txt" << "e\u0301.txt" << true;
    QTest::newRow("de: ignorable control") << "de_DE" << "a.txt" << "a\u0001.txt" << true;
    QTest::newRow("de: zero width space") << "de_DE" << "ab" << "a\u200bb" << true;
    QTest::newRow("de: case differs") << "de_DE" << "a.txt" << "A.txt" << false;
    QTest::newRow("de: accent differs") << "de_DE" << "e.txt" << "\u00e9.txt" << false;
    QTest::newRow("de: punctuation differs") << "de_DE" << "a-b" << "ab" << false;
    QTest::newRow("de: empty vs ignorable") << "de_DE" << "" << "\u0001" << false;
    QTest::newRow("sv: same") << "sv_SE" << "\u00e4" << "a\u0308" << true;
}

// Small folders scan their children, large ones use a name index: both must refuse
// exactly the names the locale-aware comparison finds equal.
void TestRemoteTreeItem::appendRefusesTakenNames()
{
    QFETCH(QString, locale);
    QFETCH(QString, existing);
    QFETCH(QString, candidate);
    QFETCH(bool, refused);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(QString::localeAwareCompare(existing, candidate) == 0, refused);

    for (int fill : {0, Item::NameIndexThreshold * 4}) {
        Item top;
        auto *folder = new Item(dirInfo(QStringLiteral("folder")), &top);
        QVERIFY(top.appendChild(folder));
        for (int i = 0; i < fill; ++i)
            QVERIFY(folder->appendChild(new Item(fileInfo(QStringLiteral("filler %1").arg(i)), folder)));
        auto *first = new Item(fileInfo(existing, 10), folder);
        QVERIFY(folder->appendChild(first));
        auto *second = new Item(fileInfo(candidate, 11), &top);
        const bool added = folder->appendChild(second);
        QCOMPARE(added, !refused);
        QCOMPARE(folder->childCount(), fill + (refused ? 1 : 2));
        QCOMPARE(folder->containsChild(second), true);
        if (refused) {
            QCOMPARE(second->parent(), &top); // left as it was
            delete second;
        } else {
            QCOMPARE(second->parent(), folder);
        }
    }
}

void TestRemoteTreeItem::appendSameItemTwiceAddsItOnce()
{
    Item top;
    auto *file = new Item(fileInfo(QStringLiteral("f")), &top);
    QVERIFY(top.appendChild(file));
    QVERIFY(!top.appendChild(file));
    QCOMPARE(top.childCount(), 1);
    QCOMPARE(file->row(), 0);
    QVERIFY(!top.appendChild(nullptr));
}

void TestRemoteTreeItem::appendToFileGoesToItsFolder()
{
    Item top;
    auto *file = new Item(fileInfo(QStringLiteral("f")), &top);
    QVERIFY(top.appendChild(file));
    auto *other = new Item(fileInfo(QStringLiteral("g")), nullptr);
    QVERIFY(file->appendChild(other));
    QCOMPARE(childNames(top), QStringList({"f", "g"}));
    QCOMPARE(other->parent(), &top);
    QCOMPARE(file->childCount(), 0);

    Item lonelyFile(fileInfo(QStringLiteral("alone")), nullptr);
    Item orphan(fileInfo(QStringLiteral("o")), nullptr);
    QVERIFY(!lonelyFile.appendChild(&orphan));
    QCOMPARE(orphan.parent(), nullptr);
    QCOMPARE(lonelyFile.childCount(), 0);
}

void TestRemoteTreeItem::appendNeverMakesALoop()
{
    Item top;
    auto *a = new Item(dirInfo(QStringLiteral("a")), &top);
    QVERIFY(top.appendChild(a));
    auto *b = new Item(dirInfo(QStringLiteral("b")), a);
    QVERIFY(a->appendChild(b));
    QVERIFY(!a->appendChild(a));
    QVERIFY(!b->appendChild(a));
    QVERIFY(!b->appendChild(&top));
    QCOMPARE(a->parent(), &top);
    QCOMPARE(b->childCount(), 0);
    QCOMPARE(a->childCount(), 1);
}

void TestRemoteTreeItem::removeChildNeedsThePointer()
{
    Item top;
    auto *a = new Item(fileInfo(QStringLiteral("a")), &top);
    QVERIFY(top.appendChild(a));
    Item twin(fileInfo(QStringLiteral("a")), &top);
    top.removeChild(&twin);
    QCOMPARE(top.childCount(), 1);
    top.removeChild(a);
    QCOMPARE(top.childCount(), 0);
    QCOMPARE(a->parent(), &top); // not changed, not destroyed
    delete a;
}

void TestRemoteTreeItem::renameKeepsLargeFolderIndexInStep()
{
    Item top;
    QList<Item *> files;
    for (int i = 0; i < Item::NameIndexThreshold * 3; ++i) {
        files.append(new Item(fileInfo(QStringLiteral("f%1").arg(i)), &top));
        QVERIFY(top.appendChild(files.last()));
    }
    files[5]->setItemInnerName(QStringLiteral("renamed"));
    Item oldName(fileInfo(QStringLiteral("f5")), nullptr);
    Item newName(fileInfo(QStringLiteral("renamed")), nullptr);
    QVERIFY(top.containsChild(&newName));
    QVERIFY(!top.containsChild(&oldName));

    top.removeChild(files[7]);
    Item removedName(fileInfo(QStringLiteral("f7")), nullptr);
    QVERIFY(!top.containsChild(&removedName));
    delete files[7];
}

void TestRemoteTreeItem::parentIdComesFromTheParentLink()
{
    Item top;
    auto *folder = new Item(dirInfo(QStringLiteral("nine"), 9), &top);
    QVERIFY(top.appendChild(folder));
    auto *file = new Item(RemoteFileInfo(3, 7, false, QStringLiteral("f"), 0, quint32(0), true), &top);
    QVERIFY(folder->appendChild(file));
    QCOMPARE(file->getItemInfo().getParentId(), quint64(7));
    QCOMPARE(file->getItemInnerParentId(), quint64(9));
    QCOMPARE(top.getItemInnerParentId(), quint64(0));
}

void TestRemoteTreeItem::ancestorFor()
{
    Item top;
    auto *a = new Item(dirInfo(QStringLiteral("a")), &top);
    auto *b = new Item(dirInfo(QStringLiteral("b")), a);
    auto *c = new Item(dirInfo(QStringLiteral("c")), &top);
    QVERIFY(top.appendChild(a) && a->appendChild(b) && top.appendChild(c));
    QVERIFY(top.ancestorFor(b));
    QVERIFY(a->ancestorFor(b));
    QVERIFY(!b->ancestorFor(b));
    QVERIFY(!b->ancestorFor(a));
    QVERIFY(!c->ancestorFor(b));
    QVERIFY(!a->ancestorFor(nullptr));
}

void TestRemoteTreeItem::operators()
{
    Item dir(dirInfo(QStringLiteral("zzz")), nullptr);
    Item file(fileInfo(QStringLiteral("aaa")), nullptr);
    Item sameName(dirInfo(QStringLiteral("aaa")), nullptr);
    QVERIFY(dir < file);
    QVERIFY(!(file < dir));
    QVERIFY(sameName == file); // names only
    QVERIFY(!(dir == file));
    Item b(fileInfo(QStringLiteral("bbb")), nullptr);
    QVERIFY(file < b);
    QVERIFY(!(b < file));
}

// A command thread copies its item while the GUI thread writes records and links under
// the tree's lock, as the model does: every copy is whole (one of the values written,
// never a torn string), and names the folder the item hung in at that moment.
void TestRemoteTreeItem::concurrentWritesAndReads()
{
    auto tree = std::make_shared<RemoteTree>();
    Item *top = tree->top();
    auto *left = new Item(RemoteFileInfo(7, 0, true, QStringLiteral("left"), 0, QDateTime(), true), top);
    auto *right = new Item(RemoteFileInfo(8, 0, true, QStringLiteral("right"), 0, QDateTime(), true), top);
    QVERIFY(top->appendChild(left));
    QVERIFY(top->appendChild(right));
    auto *file = new Item(fileInfo(QStringLiteral("f")), left);
    QVERIFY(left->appendChild(file));
    const RemoteItemRef ref(tree, file);
    const QString shortUrl = QStringLiteral("http://h/dl/a/f");
    const QString longUrl = QStringLiteral("http://h/dl/") + QString(300, QLatin1Char('x'));
    file->setItemExternalDownloadUrl(shortUrl);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> copies{0};
    QThread *command = QThread::create([&] {
        while (!done || copies == 0) {
            const RemoteItemRef::Snapshot copy = ref.snapshot();
            const QString url = copy.record.getExternalDownloadUrl();
            if ((url != shortUrl && url != longUrl) || (copy.parentId != 7 && copy.parentId != 8))
                ++torn;
            ++copies;
        }
    });
    command->start();
    for (int i = 0; i < 200000; ++i) {
        const std::lock_guard<std::mutex> guard(tree->lock());
        // A fresh buffer each time, so the previous one is freed at once.
        const QString &url = i % 2 ? shortUrl : longUrl;
        file->setItemExternalDownloadUrl(QString(url.constData(), url.size()));
        file->setItemInnerSize(quint64(i));
        Item *from = file->parent();
        Item *to = from == left ? right : left;
        QVERIFY(to->appendChild(file));
        from->removeChild(file);
    }
    done = true;
    QVERIFY(command->wait(10000));
    delete command;
    QCOMPARE(torn.load(), 0);
    QVERIFY(copies > 0);
}

QTEST_GUILESS_MAIN(TestRemoteTreeItem)
#include "tst_remotetreeitem.moc"
