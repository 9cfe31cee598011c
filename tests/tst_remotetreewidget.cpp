#include "dialogs/descriptiondialog.h"
#include "dialogs/passworddialog.h"
#include "modalanswers.h"
#include "network/mainnetworkthread.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remoteitemref.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "rowchanges.h"
#include "screenshot.h"
#include "base/settings.h"
#include "syncicon.h"
#include "wire/wire.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <memory>
#include <time.h>

// The remote pane's context menu and what each of its commands does to the items
// and asks of the scheduler. Modal dialogs and the menu are answered by ModalAnswers.
class TestRemoteTreeWidget final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void construction();
    void requestsReachTheScheduler();
    void menuVisibility_data();
    void menuVisibility();
    void menuOnSeveralRowsOffersWhatActsOnEach();
    void noMenuWithoutSelectionOrForDeletedItems();
    void removeAsksOnceThenWarnsPerNonEmptyFolder();
    void removeCancelledChangesNothing();
    void removeLeavesTheRootFolderAlone();
    void removeOfAMillionNestedFolders();
    void rename_data();
    void rename();
    void renameByDoubleClick();
    void newFolder_data();
    void newFolder();
    void urlFileName_data();
    void urlFileName();
    void uploadFromUrl_data();
    void uploadFromUrl();
    void fileParameters();
    void fileParametersRefused();
    void properties_data();
    void properties();
    void expansionSurvivesSorting();
    void commandResultShowsWithoutAClick_data();
    void commandResultShowsWithoutAClick();
    void newRowsShowAfterFoldersOpenRecursively();

private:
    RemoteFilesTreeItem *item(const QString &name) const;
    QModelIndex indexOf(RemoteFilesTreeItem *item) const;
    void select(const QList<RemoteFilesTreeItem *> &items);
    // Opens the context menu on the first selected row and picks `entry`; the other
    // answers handle what the entry opens. Returns the windows met, in order.
    QStringList runMenu(const QString &entry, QList<ModalAnswers::Answer> then = {},
                        QStringList *shown = nullptr);
    int emittedCount() const;

    std::unique_ptr<RemoteTreeWidget> view;
    RemoteFilesTreeModel *model = nullptr;
    std::unique_ptr<QSignalSpy> deleteDir, deleteFile, makeDir, moveDir, moveFile, setParams, addUrl;
};

// The fixture tree (times are UTC):
//   tester's My Kelvarhold
//     Docs/                a.txt (searchable, "Summer"), b.txt, Full/ (inner.txt)
//     Empty/
static const char fixtureList[] =
    "10\t1\tDocs\t0\t0\t1262304000\t\t0\t\t\t1\n"
    "11\t0\ta.txt\t10\t100\t1262390400\tU3VtbWVy\t1\t\tseg1\t1\n"
    "12\t0\tb.txt\t10\t2000\t1262390400\t\t0\t\tseg2\t1\n"
    "13\t1\tFull\t10\t0\t1262304000\t\t0\t\t\t1\n"
    "14\t0\tinner.txt\t13\t5\t1262304000\t\t0\t\tseg3\t1\n"
    "15\t1\tEmpty\t0\t0\t1262304000\t\t0\t\t\t1\n";

void TestRemoteTreeWidget::initTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
    Settings::getInstance()->setLogin("tester");
}

void TestRemoteTreeWidget::init()
{
    Settings::getInstance()->setWarningOnNoEmptyDirectoryDelete(true);
    view = std::make_unique<RemoteTreeWidget>();
    model = new RemoteFilesTreeModel(QString::fromLatin1(fixtureList), view.get());
    new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest, model);
    view->setModel(model);
    // What the main window does for every model it sets.
    connect(model, &RemoteFilesTreeModel::expandItem, view.get(), &QTreeView::expand);
    connect(model, &RemoteFilesTreeModel::collapseAllItems, view.get(), &QTreeView::collapseAll);
    view->resize(600, 400);
    view->show();
    view->expandAll();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));

    deleteDir = std::make_unique<QSignalSpy>(view.get(), &RemoteTreeWidget::deleteDirClicked);
    deleteFile = std::make_unique<QSignalSpy>(view.get(), &RemoteTreeWidget::deleteFileClicked);
    makeDir = std::make_unique<QSignalSpy>(view.get(), &RemoteTreeWidget::makeDirClicked);
    moveDir = std::make_unique<QSignalSpy>(view.get(), &RemoteTreeWidget::moveDirClicked);
    moveFile = std::make_unique<QSignalSpy>(view.get(), &RemoteTreeWidget::moveFileClicked);
    setParams = std::make_unique<QSignalSpy>(view.get(), &RemoteTreeWidget::setParamsClicked);
    addUrl = std::make_unique<QSignalSpy>(view.get(), &RemoteTreeWidget::addUrlClicked);
}

void TestRemoteTreeWidget::cleanup()
{
    deleteDir.reset();
    deleteFile.reset();
    makeDir.reset();
    moveDir.reset();
    moveFile.reset();
    setParams.reset();
    addUrl.reset();
    view.reset();
}

RemoteFilesTreeItem *TestRemoteTreeWidget::item(const QString &name) const
{
    QList<RemoteFilesTreeItem *> pending{view->getRootItem()};
    while (!pending.isEmpty()) {
        RemoteFilesTreeItem *candidate = pending.takeFirst();
        if (candidate->getItemInnerName() == name)
            return candidate;
        pending += candidate->getChildItems();
    }
    return nullptr;
}

QModelIndex TestRemoteTreeWidget::indexOf(RemoteFilesTreeItem *target) const
{
    return model->getIndexByItem(target, view->rootIndex());
}

void TestRemoteTreeWidget::select(const QList<RemoteFilesTreeItem *> &items)
{
    view->selectionModel()->clearSelection();
    for (RemoteFilesTreeItem *target : items)
        view->selectionModel()->select(indexOf(target), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (!items.isEmpty())
        view->selectionModel()->setCurrentIndex(indexOf(items.first()), QItemSelectionModel::NoUpdate);
}

QStringList TestRemoteTreeWidget::runMenu(const QString &entry, QList<ModalAnswers::Answer> then,
                                          QStringList *shown)
{
    then.prepend(ModalAnswers::chooseMenuEntry(entry, shown));
    ModalAnswers answers(then);
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    const QPoint pos = selected.isEmpty() ? QPoint(5, 5) : view->visualRect(selected.first()).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(view->viewport(), &event);
    return answers.seen();
}

int TestRemoteTreeWidget::emittedCount() const
{
    return deleteDir->count() + deleteFile->count() + makeDir->count() + moveDir->count() + moveFile->count()
        + setParams->count() + addUrl->count();
}

// A user's double click: a click, then the second press that the system reports
// as a double click.
static void doubleClick(QTreeView *view, const QModelIndex &index)
{
    const QPoint pos = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, pos);
}

// Counts the events of one type that reach a widget while it lives.
class EventCounter final : public QObject
{
public:
    EventCounter(QObject *watched, QEvent::Type type, int &count) : type(type), count(count)
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == type ? 1 : 0;
        return false;
    }

private:
    const QEvent::Type type;
    int &count;
};

static ModalAnswers::Answer typeInto(const char *editName, const QString &text,
                                     QDialogButtonBox::StandardButton button = QDialogButtonBox::Ok)
{
    return ModalAnswers::fillAndClick(
        [editName, text](QWidget *dialog) {
            if (auto *line = dialog->findChild<QLineEdit *>(editName))
                line->setText(text);
            else if (auto *plain = dialog->findChild<QPlainTextEdit *>(editName))
                plain->setPlainText(text);
        },
        button);
}

void TestRemoteTreeWidget::construction()
{
    RemoteTreeWidget fresh;
    QCOMPARE(fresh.selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(fresh.selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(fresh.isSortingEnabled());
    QCOMPARE(fresh.header()->sortIndicatorOrder(), Qt::AscendingOrder);
    QVERIFY(fresh.dragEnabled());
    QVERIFY(fresh.acceptDrops());
    // An empty model until the first list arrives.
    QVERIFY(fresh.getModelAsRemoteFileTreeModel());
    QVERIFY(!fresh.getRootItem());
    QCOMPARE(fresh.model()->rowCount(), 0);

    QStringList entries;
    for (QAction *action : fresh.findChild<QMenu *>()->actions())
        entries.append(action->isSeparator() ? QStringLiteral("|") : action->text());
    QCOMPARE(entries, (QStringList{"Download", "|", "Remove", "Rename", "New Folder", "|", "Searchable", "Description",
                                   "Password", "Upload from URL", "|", "Properties"}));
}

void TestRemoteTreeWidget::requestsReachTheScheduler()
{
    // Every request goes to the slot of the same purpose of the scheduler the pane is
    // given, and to no scheduler before that.
    RemoteTreeWidget fresh;
    MainNetworkThread own;
    MainNetworkThread *scheduler = &own;
    using Request = void (RemoteTreeWidget::*)(RemoteItemRef);
    using Slot = void (MainNetworkThread::*)(RemoteItemRef);
    const QList<QPair<Request, Slot>> requests{
        {&RemoteTreeWidget::deleteDirClicked, &MainNetworkThread::deleteDir},
        {&RemoteTreeWidget::deleteFileClicked, &MainNetworkThread::deleteFile},
        {&RemoteTreeWidget::makeDirClicked, &MainNetworkThread::createDir},
        {&RemoteTreeWidget::moveDirClicked, &MainNetworkThread::moveDir},
        {&RemoteTreeWidget::moveFileClicked, &MainNetworkThread::moveFile},
        {&RemoteTreeWidget::setParamsClicked, &MainNetworkThread::setParams},
        {&RemoteTreeWidget::addUrlClicked, &MainNetworkThread::uploadUrl},
    };
    // Disconnecting succeeds only where a connection was made.
    const auto connected = [&](qsizetype i) {
        return QObject::disconnect(&fresh, requests[i].first, scheduler, requests[i].second);
    };
    for (qsizetype i = 0; i < requests.size(); ++i)
        QVERIFY2(!connected(i), qPrintable(QString::number(i)));
    QVERIFY(!fresh.getModelAsRemoteFileTreeModel()->getScheduler());

    fresh.setScheduler(scheduler);
    QCOMPARE(fresh.getModelAsRemoteFileTreeModel()->getScheduler(), scheduler);
    // A model set later is handed the same scheduler.
    auto *listed = new RemoteFilesTreeModel(QString::fromLatin1(fixtureList), &fresh);
    fresh.setModel(listed);
    QCOMPARE(listed->getScheduler(), scheduler);

    // Taken away, nothing reaches it.
    fresh.setScheduler(nullptr);
    QVERIFY(!listed->getScheduler());
    for (qsizetype i = 0; i < requests.size(); ++i)
        QVERIFY2(!connected(i), qPrintable(QString::number(i)));

    fresh.setScheduler(scheduler);
    for (qsizetype i = 0; i < requests.size(); ++i)
        QVERIFY2(connected(i), qPrintable(QString::number(i)));
}

void TestRemoteTreeWidget::menuOnSeveralRowsOffersWhatActsOnEach()
{
    // Rename, New Folder and Properties used to act on the first of the rows.
    select({item("a.txt"), item("Docs")});
    QStringList enabled;
    ModalAnswers answers({[&enabled](QWidget *window) {
        auto *menu = qobject_cast<QMenu *>(window);
        QVERIFY(menu);
        for (QAction *action : menu->actions()) {
            if (action->isVisible() && action->isEnabled() && !action->isSeparator())
                enabled.append(action->text());
        }
        QTest::keyClick(menu, Qt::Key_Escape);
    }});
    const QPoint pos = view->visualRect(view->selectionModel()->selectedIndexes().first()).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(view->viewport(), &event);
    QVERIFY(answers.allAnswered());
    QCOMPARE(enabled, (QStringList{"Download", "Remove"}));
    QCOMPARE(emittedCount(), 0);
}

void TestRemoteTreeWidget::menuVisibility_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("root folder") << "tester's My Kelvarhold"
                                 << QStringList{"Download", "New Folder", "Upload from URL"};
    QTest::newRow("folder") << "Docs"
                            << QStringList{"Download", "Remove", "Rename", "New Folder", "Upload from URL",
                                           "Properties"};
    QTest::newRow("file") << "a.txt"
                          << QStringList{"Download", "Remove", "Rename", "Searchable", "Description",
                                         "Password", "Properties"};
}

void TestRemoteTreeWidget::menuVisibility()
{
    QFETCH(QString, name);
    QFETCH(QStringList, entries);

    select({item(name)});
    QStringList shown;
    QCOMPARE(runMenu(QString(), {}, &shown), QStringList{"QMenu"});
    QCOMPARE(shown, entries);
    QCOMPARE(emittedCount(), 0);

    // The check mark follows the file's flag each time the menu opens.
    auto *searchable = view->findChild<QMenu *>()->actions().at(6);
    if (name == QLatin1String("a.txt")) {
        QVERIFY(searchable->isChecked());
        select({item("b.txt")});
        runMenu(QString());
        QVERIFY(!searchable->isChecked());
    }
}

void TestRemoteTreeWidget::noMenuWithoutSelectionOrForDeletedItems()
{
    select({});
    QCOMPARE(runMenu(QString()), QStringList());

    model->markDeleted(item("b.txt"));
    select({item("b.txt")});
    QCOMPARE(runMenu(QString()), QStringList());

    // No rename dialog for a deleted item either.
    ModalAnswers answers({});
    doubleClick(view.get(), indexOf(item("b.txt")));
    QCOMPARE(answers.seen(), QStringList());
}

void TestRemoteTreeWidget::removeAsksOnceThenWarnsPerNonEmptyFolder()
{
    RemoteFilesTreeItem *a = item("a.txt");
    RemoteFilesTreeItem *b = item("b.txt");
    RemoteFilesTreeItem *full = item("Full");
    RemoteFilesTreeItem *docs = item("Docs");

    // Two files and a non-empty folder: one confirmation, then the folder's warning,
    // refused. The files still go.
    select({a, full, b});
    QCOMPARE(runMenu("Remove", {ModalAnswers::click(QDialogButtonBox::Yes),
                                ModalAnswers::click(QDialogButtonBox::No)}),
             (QStringList{"QMenu", "QMessageBox", "WarningOnNoEmptyDirectoryDeleteDialog"}));
    QCOMPARE(deleteFile->count(), 2);
    QCOMPARE(deleteFile->at(0).at(0).value<RemoteItemRef>().item(), a);
    QCOMPARE(deleteFile->at(1).at(0).value<RemoteItemRef>().item(), b);
    QCOMPARE(deleteDir->count(), 0);
    QVERIFY(a->isDeleted() && !a->isUploaded());
    QVERIFY(b->isDeleted() && !b->isUploaded());
    QVERIFY(!full->isDeleted() && full->isUploaded());
    QVERIFY(!item("inner.txt")->isDeleted());
    QVERIFY(Settings::getInstance()->getWarningOnNoEmptyDirectoryDelete());

    // Accepted with "Don't ask this again.": the folder and all beneath it go, and
    // the setting is switched off.
    select({full});
    const auto dontAskAgain = ModalAnswers::fillAndClick(
        [](QWidget *dialog) { dialog->findChild<QCheckBox *>("checkBox")->setChecked(true); },
        QDialogButtonBox::Yes);
    QCOMPARE(runMenu("Remove", {ModalAnswers::click(QDialogButtonBox::Yes), dontAskAgain}),
             (QStringList{"QMenu", "QMessageBox", "WarningOnNoEmptyDirectoryDeleteDialog"}));
    QCOMPARE(deleteDir->count(), 1);
    QCOMPARE(deleteDir->at(0).at(0).value<RemoteItemRef>().item(), full);
    QVERIFY(full->isDeleted() && !full->isUploaded());
    QVERIFY(item("inner.txt")->isDeleted() && !item("inner.txt")->isUploaded());
    QVERIFY(!Settings::getInstance()->getWarningOnNoEmptyDirectoryDelete());

    // A later removal of a non-empty folder asks no more.
    select({docs});
    QCOMPARE(runMenu("Remove", {ModalAnswers::click(QDialogButtonBox::Yes)}),
             (QStringList{"QMenu", "QMessageBox"}));
    QCOMPARE(deleteDir->count(), 2);
    // Items removed before are not asked for again.
    QCOMPARE(deleteFile->count(), 2);
}

void TestRemoteTreeWidget::removeCancelledChangesNothing()
{
    select({item("a.txt"), item("Empty")});
    QCOMPARE(runMenu("Remove", {ModalAnswers::click(QDialogButtonBox::No)}),
             (QStringList{"QMenu", "QMessageBox"}));
    QCOMPARE(emittedCount(), 0);
    QVERIFY(!item("a.txt")->isDeleted() && !item("Empty")->isDeleted());
}

void TestRemoteTreeWidget::removeLeavesTheRootFolderAlone()
{
    RemoteFilesTreeItem *root = view->getRootItem();
    select({item("Empty"), root});
    runMenu("Remove", {ModalAnswers::click(QDialogButtonBox::Yes)});
    QCOMPARE(deleteDir->count(), 1);
    QCOMPARE(deleteDir->at(0).at(0).value<RemoteItemRef>().item(), item("Empty"));
    QVERIFY(!root->isDeleted() && root->isUploaded());
    QVERIFY(!item("Docs")->isDeleted());
}

void TestRemoteTreeWidget::removeOfAMillionNestedFolders()
{
    // A list may nest folders a million deep; removing the top one marks every level
    // without a call per level (which overflowed the stack).
    constexpr int Depth = 1000000;
    QString list;
    list.reserve(Depth * 24);
    for (int id = 1; id <= Depth; ++id)
        list += QStringLiteral("%1\t1\td\t%2\t0\t0\t\t0\t\t\t1\n").arg(id).arg(id - 1);
    auto *deep = new RemoteFilesTreeModel(list, view.get());
    new QAbstractItemModelTester(deep, QAbstractItemModelTester::FailureReportingMode::QtTest, deep);
    view->setModel(deep);
    const QModelIndex top = deep->index(0, 0, deep->index(0, 0));
    RemoteFilesTreeItem *first = static_cast<RemoteFilesTreeItem *>(top.internalPointer());
    RemoteFilesTreeItem *last = first;
    while (last->childCount() > 0)
        last = last->child(0);
    QVERIFY(!last->isDeleted());
    view->selectionModel()->select(top, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(top, QItemSelectionModel::NoUpdate);
    QCOMPARE(runMenu("Remove", {ModalAnswers::click(QDialogButtonBox::Yes), ModalAnswers::click(QDialogButtonBox::Yes)}),
             (QStringList{"QMenu", "QMessageBox", "WarningOnNoEmptyDirectoryDeleteDialog"}));
    QCOMPARE(deleteDir->count(), 1);
    QVERIFY(first->isDeleted() && last->isDeleted() && !last->isUploaded());
    view->setModel(model);
    delete deep;
}

void TestRemoteTreeWidget::rename_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("refused");

    QTest::newRow("file") << "a.txt" << "c.txt" << true << false;
    QTest::newRow("folder") << "Full" << "Fuller" << true << false;
    QTest::newRow("latin-1 accents") << "a.txt" << QString::fromUtf8("été.txt") << true << false;
    QTest::newRow("cancelled") << "a.txt" << "c.txt" << false << false;
    QTest::newRow("tab") << "a.txt" << "c\t.txt" << true << true;
    QTest::newRow("line feed") << "Full" << "two\nlines" << true << true;
    QTest::newRow("outside latin-1") << "a.txt" << QString::fromUtf8("отчёт.txt") << true << true;
    QTest::newRow("empty") << "a.txt" << "" << true << true;
    QTest::newRow("sibling's name") << "a.txt" << "b.txt" << true << true;
}

void TestRemoteTreeWidget::rename()
{
    QFETCH(QString, target);
    QFETCH(QString, newName);
    QFETCH(bool, accept);
    QFETCH(bool, refused);

    RemoteFilesTreeItem *renamed = item(target);
    select({renamed});
    QList<ModalAnswers::Answer> then{
        typeInto("itemNameEdit", newName, accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)};
    if (refused)
        then.append(ModalAnswers::click(QDialogButtonBox::Ok));
    const QStringList seen = runMenu("Rename", then);
    QCOMPARE(seen.size(), then.size() + 1);
    if (refused)
        QCOMPARE(seen.last(), QString("QMessageBox"));

    QSignalSpy *expected = renamed->isDir() ? moveDir.get() : moveFile.get();
    if (!accept || refused) {
        QCOMPARE(emittedCount(), 0);
        QCOMPARE(renamed->getItemInnerName(), target);
        QVERIFY(renamed->isUploaded());
        return;
    }
    QCOMPARE(emittedCount(), 1);
    QCOMPARE(expected->count(), 1);
    QCOMPARE(expected->at(0).at(0).value<RemoteItemRef>().item(), renamed);
    QCOMPARE(renamed->getItemInnerName(), newName);
    QVERIFY(!renamed->isUploaded());
    QCOMPARE(renamed->parent(), item("Docs"));
}

void TestRemoteTreeWidget::renameByDoubleClick()
{
    RemoteFilesTreeItem *b = item("b.txt");
    ModalAnswers answers({typeInto("itemNameEdit", "renamed.txt")});
    doubleClick(view.get(), indexOf(b));
    QCOMPARE(answers.seen(), QStringList{"RenameItemDialog"});
    QCOMPARE(moveFile->count(), 1);
    QCOMPARE(b->getItemInnerName(), QString("renamed.txt"));

    // The user's root folder cannot be renamed.
    ModalAnswers none({});
    doubleClick(view.get(), indexOf(view->getRootItem()));
    QCOMPARE(none.seen(), QStringList());
    QCOMPARE(moveDir->count(), 0);
}

void TestRemoteTreeWidget::newFolder_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expectedParent");

    // The menu offers "New Folder" on folders only; addNewDir itself also takes a
    // selected file, whose folder then gets the new folder.
    QTest::newRow("in a folder") << "Docs" << "New stuff" << "Docs";
    QTest::newRow("in the root folder") << "tester's My Kelvarhold" << "Top" << "tester's My Kelvarhold";
    QTest::newRow("a file hands it to its folder") << "a.txt" << "Beside" << "Docs";
    QTest::newRow("name taken") << "Docs" << "Full" << "";
    QTest::newRow("name taken in the file's folder") << "a.txt" << "b.txt" << "";
    QTest::newRow("line feed") << "Docs" << "a\nb" << "";
    QTest::newRow("outside latin-1") << "Docs" << QString::fromUtf8("新しい") << "";
    QTest::newRow("empty") << "Docs" << "" << "";
}

void TestRemoteTreeWidget::newFolder()
{
    QFETCH(QString, selected);
    QFETCH(QString, name);
    QFETCH(QString, expectedParent);

    select({item(selected)});
    const bool refused = expectedParent.isEmpty();
    QStringList seen;
    if (item(selected)->isDir()) {
        QList<ModalAnswers::Answer> then{typeInto("newFolderNameEdit", name)};
        if (refused)
            then.append(ModalAnswers::click(QDialogButtonBox::Ok));
        seen = runMenu("New Folder", then);
        QCOMPARE(seen.size(), then.size() + 1);
    } else {
        ModalAnswers answers({ModalAnswers::click(QDialogButtonBox::Ok)});
        view->addNewDir(name);
        seen = answers.seen();
        QCOMPARE(seen.size(), refused ? 1 : 0);
    }

    if (refused) {
        QCOMPARE(seen.last(), QString("QMessageBox"));
        QCOMPARE(emittedCount(), 0);
        return;
    }
    QCOMPARE(emittedCount(), 1);
    QCOMPARE(makeDir->count(), 1);
    auto *created = makeDir->at(0).at(0).value<RemoteItemRef>().item();
    QVERIFY(created->isDir());
    QCOMPARE(created->getItemInnerName(), name);
    QCOMPARE(created->getItemInnerId(), quint64(0));
    QVERIFY(!created->isUploaded());
    QCOMPARE(created->parent(), item(expectedParent));
    QVERIFY(item(expectedParent)->getChildItems().contains(created));
    QVERIFY(indexOf(created).isValid());
}

void TestRemoteTreeWidget::urlFileName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");

    QTest::newRow("escape and query") << "http://example.com/files/My%20File.zip?x=1" << "My File.zip";
    QTest::newRow("trailing slash") << "http://example.com/files/" << "";
    QTest::newRow("query only") << "http://example.com/?id=5" << "";
    QTest::newRow("script with query") << "http://example.com/get.php?id=5" << "get.php";
    QTest::newRow("utf-8 escape") << "http://example.com/caf%C3%A9%20menu.pdf" << QString::fromUtf8("café menu.pdf");
    QTest::newRow("typed accents") << QString::fromUtf8("http://example.com/café.pdf") << QString::fromUtf8("café.pdf");
    QTest::newRow("no slash") << "file.bin" << "file.bin";
    QTest::newRow("blanks trimmed") << "ftp://example.com/%20spaced.txt%20" << "spaced.txt";
    QTest::newRow("last question mark") << "http://example.com/a?b?c" << "a?b";
}

void TestRemoteTreeWidget::urlFileName()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(RemoteTreeWidget::fileNameFromUrl(url), name);
}

void TestRemoteTreeWidget::uploadFromUrl_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expectedParent");
    QTest::addColumn<bool>("message");

    QTest::newRow("into a folder") << "Docs" << "http://example.com/files/My%20File.zip?x=1" << "My File.zip"
                                   << "Docs" << false;
    QTest::newRow("into the root folder") << "tester's My Kelvarhold" << "ftp://example.com/pub/x.iso" << "x.iso"
                                          << "tester's My Kelvarhold" << false;
    QTest::newRow("no file name") << "Docs" << "http://example.com/files/" << "" << "" << true;
    QTest::newRow("empty field") << "Docs" << "" << "" << "" << false;
    QTest::newRow("name taken") << "Docs" << "http://example.com/b.txt" << "" << "" << true;
    QTest::newRow("name outside latin-1") << "Docs" << "http://example.com/%E2%82%AC.txt" << "" << "" << true;
    QTest::newRow("address outside latin-1") << "Docs" << QString::fromUtf8("http://пример.рф/a.txt") << ""
                                             << "" << true;
}

void TestRemoteTreeWidget::uploadFromUrl()
{
    QFETCH(QString, selected);
    QFETCH(QString, url);
    QFETCH(QString, name);
    QFETCH(QString, expectedParent);
    QFETCH(bool, message);

    select({item(selected)});
    QList<ModalAnswers::Answer> then{typeInto("urlEdit", url)};
    if (message)
        then.append(ModalAnswers::click(QDialogButtonBox::Ok));
    const QStringList seen = runMenu("Upload from URL", then);
    QCOMPARE(seen.size(), then.size() + 1);

    if (expectedParent.isEmpty()) {
        QCOMPARE(emittedCount(), 0);
        return;
    }
    QCOMPARE(emittedCount(), 1);
    auto *created = addUrl->at(0).at(0).value<RemoteItemRef>().item();
    QCOMPARE(created->getItemInnerName(), name);
    QVERIFY(!created->isDir());
    QVERIFY(created->isUrl());
    QCOMPARE(created->getItemUrl(), url);
    QVERIFY(!created->isUploaded());
    QCOMPARE(created->parent(), item(expectedParent));
    QVERIFY(item(expectedParent)->getChildItems().contains(created));
}

void TestRemoteTreeWidget::fileParameters()
{
    RemoteFilesTreeItem *a = item("a.txt");
    select({a});

    runMenu("Searchable");
    QVERIFY(!a->isItemSearchable());
    QVERIFY(!a->isUploaded());
    QCOMPARE(setParams->count(), 1);
    runMenu("Searchable");
    QVERIFY(a->isItemSearchable());
    QCOMPARE(setParams->count(), 2);

    // The description dialog opens with the current text.
    QString shownDescription;
    runMenu("Description", {ModalAnswers::fillAndClick(
                               [&](QWidget *dialog) {
                                   shownDescription = qobject_cast<DescriptionDialog *>(dialog)->getNewDescription();
                                   dialog->findChild<QPlainTextEdit *>()->setPlainText("Winter\n\tand spring");
                               },
                               QDialogButtonBox::Ok)});
    QCOMPARE(shownDescription, QString("Summer"));
    QCOMPARE(a->getItemDescription(), QString("Winter\n\tand spring"));
    QCOMPARE(setParams->count(), 3);

    // The password dialog opens empty; the new password is marked as changed.
    QString shownPassword = "unset";
    runMenu("Password", {ModalAnswers::fillAndClick(
                            [&](QWidget *dialog) {
                                shownPassword = qobject_cast<PasswordDialog *>(dialog)->getNewPassword();
                                dialog->findChild<QLineEdit *>()->setText("open sesame");
                            },
                            QDialogButtonBox::Ok)});
    QCOMPARE(shownPassword, QString());
    QCOMPARE(a->getItemPassword(), QString("open sesame"));
    QVERIFY(a->isItemPasswordModify());
    QCOMPARE(setParams->count(), 4);
    for (const QList<QVariant> &call : *setParams)
        QCOMPARE(call.at(0).value<RemoteItemRef>().item(), a);

    // Cancelled dialogs change nothing.
    runMenu("Description", {typeInto("DescriptionDialogEdit", "other", QDialogButtonBox::Cancel)});
    runMenu("Password", {typeInto("PasswordDialogEdit", "other", QDialogButtonBox::Cancel)});
    QCOMPARE(a->getItemDescription(), QString("Winter\n\tand spring"));
    QCOMPARE(a->getItemPassword(), QString("open sesame"));
    QCOMPARE(setParams->count(), 4);
}

void TestRemoteTreeWidget::fileParametersRefused()
{
    RemoteFilesTreeItem *b = item("b.txt");
    select({b});
    const auto ok = ModalAnswers::click(QDialogButtonBox::Ok);

    QCOMPARE(runMenu("Password", {typeInto("PasswordDialogEdit", "pass\nword"), ok}),
             (QStringList{"QMenu", "PasswordDialog", "QMessageBox"}));
    QCOMPARE(runMenu("Password", {typeInto("PasswordDialogEdit", QString::fromUtf8("пароль")), ok}),
             (QStringList{"QMenu", "PasswordDialog", "QMessageBox"}));
    QCOMPARE(runMenu("Description", {typeInto("DescriptionDialogEdit", QString::fromUtf8("price: 5€")), ok}),
             (QStringList{"QMenu", "DescriptionDialog", "QMessageBox"}));
    QCOMPARE(setParams->count(), 0);
    QCOMPARE(b->getItemPassword(), QString());
    QVERIFY(!b->isItemPasswordModify());
    QCOMPARE(b->getItemDescription(), QString());
    QVERIFY(b->isUploaded());
}

void TestRemoteTreeWidget::properties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("file") << "b.txt"
                          << "<b>Type:</b>File<br>\n<b>Name:</b>b.txt<br>\n<b>Size:</b>2000 byte <br>\n"
                             "<b>Date:</b>2010-01-02 00:00:00<br>\n<b>Download url:</b><br> "
                             "<i>http://dl.kelvarhold.net/dl/seg2/b.txt</i>";
    QTest::newRow("folder") << "Full"
                            << "<b>Type:</b>Directory<br>\n<b>Name:</b>Full<br>\n"
                               "<b>Date:</b>2010-01-01 00:00:00<br>\n";
    // Names are shown as they are, never read as markup.
    QTest::newRow("a name that is markup")
        << "<img src=\"&#47;dev&#47;zero\">"
        << "<b>Type:</b>Directory<br>\n<b>Name:</b>&lt;img src=&quot;&amp;#47;dev&amp;#47;zero&quot;&gt;<br>\n"
           "<b>Date:</b>2010-01-01 00:00:00<br>\n";
}

void TestRemoteTreeWidget::properties()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    if (!item(name))
        model->renameItem(item("Full"), name);

    select({item(name)});
    QString shown;
    QString title;
    runMenu("Properties", {ModalAnswers::fillAndClick(
                              [&](QWidget *window) {
                                  auto *box = qobject_cast<QMessageBox *>(window);
                                  shown = box->text();
                                  title = box->windowTitle();
                                  QCOMPARE(box->standardButtons(), QMessageBox::Ok);
                              },
                              QDialogButtonBox::Ok)});
    QCOMPARE(title, QString("Properties"));
    // The download host is the model's; the rest is fixed text.
    QCOMPARE(shown, QString(text).replace("dl.kelvarhold.net", Wire::DownloadHost));
    QCOMPARE(emittedCount(), 0);
}

void TestRemoteTreeWidget::expansionSurvivesSorting()
{
    view->collapseAll();
    const auto docs = [this] { return indexOf(item("Docs")); };
    view->expand(indexOf(view->getRootItem()));
    view->expand(docs());
    model->sort(0, Qt::DescendingOrder);
    QVERIFY(view->isExpanded(docs()));
    QVERIFY(!view->isExpanded(indexOf(item("Full"))));

    view->collapse(docs());
    model->sort(0, Qt::AscendingOrder);
    QVERIFY(!view->isExpanded(docs()));
}

void TestRemoteTreeWidget::commandResultShowsWithoutAClick_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("typed");
    QTest::newRow("searchable") << "Searchable" << "";
    QTest::newRow("description") << "Description" << "Winter";
    QTest::newRow("password") << "Password" << "sesame";
    QTest::newRow("upload from an address") << "Upload from URL" << "http://example.com/pics/big.iso";
}

// A command's success shows in its row as soon as the scheduler reports it: the user
// neither clicks nor waits for a new list.
void TestRemoteTreeWidget::commandResultShowsWithoutAClick()
{
    QFETCH(QString, entry);
    QFETCH(QString, typed);
    const bool fromAddress = entry == QLatin1String("Upload from URL");
    select({item(fromAddress ? "Docs" : "a.txt")});
    const char *edit = fromAddress ? "urlEdit" : entry == "Password" ? "PasswordDialogEdit" : "DescriptionDialogEdit";
    runMenu(entry, typed.isEmpty() ? QList<ModalAnswers::Answer>{} : QList<ModalAnswers::Answer>{typeInto(edit, typed)});
    QSignalSpy &request = fromAddress ? *addUrl : *setParams;
    QCOMPARE(request.count(), 1);
    const RemoteItemRef subject = request.at(0).at(0).value<RemoteItemRef>();
    const QPersistentModelIndex sync = indexOf(subject.item()).siblingAtColumn(3);
    QCOMPARE(sync.data().toString(), QStringLiteral("No"));
    QCOMPARE(syncIconOf(sync), QStringLiteral("notUploadedIcon"));
    if (entry == QLatin1String("Description"))
        saveScreenshot(view.get(), QStringLiteral("description-set-waiting.png"));

    // Paints are counted once the dialog's have passed: from here on only the report
    // can cause one.
    QTest::qWait(50);
    int paints = 0;
    EventCounter counter(view->viewport(), QEvent::Paint, paints);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    // The scheduler reports from its own thread.
    MainNetworkThread reporter;
    model->setScheduler(&reporter);
    const RemoteItemChange change{fromAddress ? RemoteItemChange::UrlUploaded : RemoteItemChange::ParamsSet,
                                  subject, fromAddress ? 321u : 0u, fromAddress ? 3u << 20 : 0u,
                                  fromAddress ? QStringLiteral("segZ") : QString()};
    std::unique_ptr<QThread> scheduler(
        QThread::create([change, &reporter] { Q_EMIT reporter.remoteItemChanged(change); }));
    scheduler->start();
    QVERIFY(scheduler->wait(5000));
    QTRY_VERIFY(dataChangedCovers(changed, sync));
    QCOMPARE(sync.data().toString(), QStringLiteral("Yes"));
    QCOMPARE(syncIconOf(sync), QStringLiteral("uploadedIcon"));
    QTRY_VERIFY(paints > 0);
    if (fromAddress) {
        QCOMPARE(subject.item()->getItemInnerId(), quint64(321));
        QCOMPARE(sync.sibling(sync.row(), 1).data().toString(), QStringLiteral("3 MB"));
        QCOMPARE(subject.item()->getItemExternalDownloadUrl(),
                 Wire::downloadAddress(u"segZ", QStringLiteral("big.iso")));
    }
    if (entry == QLatin1String("Description"))
        saveScreenshot(view.get(), QStringLiteral("description-set-uploaded.png"));
}

void TestRemoteTreeWidget::newRowsShowAfterFoldersOpenRecursively()
{
    // '*' opens every folder below the current row.
    view->collapseAll();
    view->setCurrentIndex(indexOf(view->getRootItem()));
    QTest::keyClick(view.get(), Qt::Key_Asterisk);
    QVERIFY(view->isExpanded(indexOf(item("Full"))));
    select({item("Docs")});
    view->addNewDir(QStringLiteral("Fresh"));
    select({item("Full")});
    view->addNewUrl(QStringLiteral("http://example.com/x.iso"));
    QStringList shown;
    for (QModelIndex row = view->indexAt(QPoint(5, 5)); row.isValid(); row = view->indexBelow(row))
        shown.append(row.data().toString());
    QCOMPARE(shown, (QStringList{"tester's My Kelvarhold", "Docs", "Full", "inner.txt", "x.iso", "a.txt",
                                 "b.txt", "Fresh", "Empty"}));
}

QTEST_MAIN(TestRemoteTreeWidget)
#include "tst_remotetreewidget.moc"
