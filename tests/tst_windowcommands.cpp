#include "base/settings.h"
#include "base/settingsfile.h"
#include "gui/themedicon.h"
#include "localtree/localfilestreemodel.h"
#include "localtree/localtreewidget.h"
#include "mainwindow.h"
#include "modalanswers.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remoteitemref.h"
#include "remotelistfixture.h"
#include "remotelistshown.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "screenshot.h"
#include "startup.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

// The window's menus, keys and toolbar buttons: each acts on the selection of its
// pane, and is disabled (saying why) when it has nothing to act on.
class TestWindowCommands final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void menuBarCarriesEveryToolbarAction();
    void shortcutsTriggerTheirActions_data();
    void shortcutsTriggerTheirActions();
    void deleteKeyAsksAndRemovesOnlyInTheRemotePane();
    void enterOpensFoldersAndDownloadsFiles();
    void buttonsFollowTheSelection_data();
    void buttonsFollowTheSelection();
    void uploadGoesIntoTheSelectedRemoteFolder();
    void toolbarCommandsActOnTheSelection();
    void toolbarButtonsTakeKeyboardFocus();
    void iconsStayVisibleOnADarkPalette();
    void toolbarsFitASmallScreen_data();
    void toolbarsFitASmallScreen();

private:
    // A window with a loaded list: Docs{a.txt, b.txt}, Empty{}, top.txt.
    void loadList(MainWindow &window);
    QModelIndex remoteIndex(MainWindow &window, const QString &name);
    void selectRemote(MainWindow &window, const QStringList &names);
    void selectLocal(MainWindow &window, const QString &path);

    QTemporaryDir config;
    std::unique_ptr<QTemporaryDir> files;
};

namespace {

// The window's own action with this text: the remote pane's context menu has entries
// with the same texts.
QAction *windowAction(MainWindow &window, const QString &text)
{
    const QList<QAction *> actions = window.findChildren<QAction *>(Qt::FindDirectChildrenOnly);
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QList<QToolBar *> toolBars(MainWindow &window)
{
    return window.findChildren<QToolBar *>();
}

} // namespace

void TestWindowCommands::initTestCase()
{
    StartUp::configureApplication();
    QVERIFY(config.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
}

void TestWindowCommands::init()
{
    files = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(files->filePath(QStringLiteral("dl"))));
    QVERIFY(QDir().mkpath(files->filePath(QStringLiteral("local/sub"))));
    QFile file(files->filePath(QStringLiteral("local/up.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("up");
    file.close();
    QFile::remove(SettingsFile().fileName());
    QSettings ini(SettingsFile().fileName(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("UserOptions/Account/login"), QStringLiteral("demo"));
    ini.setValue(QStringLiteral("UserOptions/Account/pass"), QStringLiteral("demo"));
    ini.setValue(QStringLiteral("UserOptions/defaultdownloaddirectory"), files->filePath(QStringLiteral("dl")));
    // Nothing listens there: no command may reach a server in these tests.
    ini.setValue(QStringLiteral("Network/Server/serverhost"), QStringLiteral("127.0.0.1"));
    ini.setValue(QStringLiteral("Network/Server/serverport"), 1);
    ini.sync();
}

void TestWindowCommands::cleanup()
{
    files.reset();
}

void TestWindowCommands::loadList(MainWindow &window)
{
    QVERIFY(showRemoteList(window, QStringList{
        RemoteListFixture::line(10, true, QStringLiteral("Docs"), 0),
        RemoteListFixture::line(11, false, QStringLiteral("a.txt"), 10, 4),
        RemoteListFixture::line(12, false, QStringLiteral("b.txt"), 10, 4),
        RemoteListFixture::line(13, true, QStringLiteral("Empty"), 0),
        RemoteListFixture::line(14, false, QStringLiteral("top.txt"), 0, 4),
    }.join(QLatin1Char('\n'))));
    RemoteTreeWidget *remote = window.getRemoteTree();
    // What the commands emit stays here: the scheduler would try to reach a server.
    for (auto signal : {&RemoteTreeWidget::deleteDirClicked, &RemoteTreeWidget::deleteFileClicked,
                        &RemoteTreeWidget::makeDirClicked, &RemoteTreeWidget::moveDirClicked,
                        &RemoteTreeWidget::moveFileClicked, &RemoteTreeWidget::setParamsClicked,
                        &RemoteTreeWidget::addUrlClicked})
        disconnect(remote, signal, nullptr, nullptr);
    RemoteFilesTreeModel *model = remote->getModelAsRemoteFileTreeModel();
    new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest, model);
    disconnect(model, &RemoteFilesTreeModel::uploadFile, nullptr, nullptr);
    disconnect(model, &RemoteFilesTreeModel::createNewDir, nullptr, nullptr);
    disconnect(window.getLocalTree()->getLocalModel(), &LocalFilesTreeModel::downloadFile, nullptr, nullptr);
}

QModelIndex TestWindowCommands::remoteIndex(MainWindow &window, const QString &name)
{
    RemoteFilesTreeModel *model = window.getRemoteTree()->getModelAsRemoteFileTreeModel();
    const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole, name, 1,
                                               Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? QModelIndex() : found.first();
}

void TestWindowCommands::selectRemote(MainWindow &window, const QStringList &names)
{
    RemoteTreeWidget *remote = window.getRemoteTree();
    remote->selectionModel()->clearSelection();
    for (const QString &name : names) {
        const QModelIndex index = name == QLatin1String("root")
            ? remote->model()->index(0, 0)
            : remoteIndex(window, name);
        QVERIFY2(index.isValid(), qPrintable(name));
        remote->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        remote->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
}

void TestWindowCommands::selectLocal(MainWindow &window, const QString &path)
{
    LocalTreeWidget *local = window.getLocalTree();
    local->selectionModel()->clearSelection();
    if (path.isEmpty())
        return;
    QModelIndex index;
    QTRY_VERIFY((index = local->getLocalModel()->index(files->filePath(path))).isValid());
    local->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    local->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void TestWindowCommands::menuBarCarriesEveryToolbarAction()
{
    MainWindow window;
    QStringList menus;
    QList<QAction *> inMenus;
    const QList<QAction *> bar = window.menuBar()->actions();
    for (QAction *menu : bar) {
        menus.append(menu->text().remove(QLatin1Char('&')));
        inMenus += menu->menu()->actions();
    }
    QCOMPARE(menus, (QStringList{"File", "Edit", "View", "Transfers", "Help"}));
    for (QToolBar *toolBar : toolBars(window)) {
        const QList<QAction *> actions = toolBar->actions();
        for (QAction *action : actions) {
            if (!action->isSeparator())
                QVERIFY2(inMenus.contains(action), qPrintable(action->text()));
        }
    }
}

void TestWindowCommands::shortcutsTriggerTheirActions_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("focus");

    QTest::newRow("F5 refresh") << QKeySequence(Qt::Key_F5) << "Refresh My Kelvarhold" << "local";
    QTest::newRow("F2 rename") << QKeySequence(Qt::Key_F2) << "Rename" << "remote";
    QTest::newRow("Delete remove") << QKeySequence(Qt::Key_Delete) << "Remove" << "remote";
    QTest::newRow("Ctrl+N new folder") << QKeySequence(Qt::CTRL | Qt::Key_N) << "New Folder" << "remote";
    QTest::newRow("Ctrl+U upload") << QKeySequence(Qt::CTRL | Qt::Key_U) << "Upload" << "local";
    QTest::newRow("Ctrl+D download") << QKeySequence(Qt::CTRL | Qt::Key_D) << "Download" << "remote";
    QTest::newRow("Ctrl+, options") << QKeySequence(Qt::CTRL | Qt::Key_Comma) << "Options" << "local";
    QTest::newRow("Ctrl+Q quit") << QKeySequence(Qt::CTRL | Qt::Key_Q) << "Close client" << "remote";
    QTest::newRow("Ctrl+L local folder") << QKeySequence(Qt::CTRL | Qt::Key_L) << "Go to Local Folder" << "remote";
    QTest::newRow("Alt+Enter properties") << QKeySequence(Qt::ALT | Qt::Key_Return) << "Properties" << "remote";
}

void TestWindowCommands::shortcutsTriggerTheirActions()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, action);
    QFETCH(QString, focus);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    loadList(window);
    selectRemote(window, {QStringLiteral("a.txt")});
    selectLocal(window, QStringLiteral("local/up.txt"));

    QAction *target = windowAction(window, action);
    QVERIFY2(target, qPrintable(action));
    QVERIFY2(target->isEnabled(), qPrintable(target->toolTip()));
    // Only whether the key reaches the action counts here: what it does is tested
    // elsewhere, and some of it (quitting, modal dialogs) would end the test.
    disconnect(target, &QAction::triggered, nullptr, nullptr);
    QSignalSpy triggered(target, &QAction::triggered);
    QWidget *focused = focus == QLatin1String("remote") ? static_cast<QWidget *>(window.getRemoteTree())
                                                        : window.getLocalTree();
    focused->setFocus();
    QTRY_VERIFY(focused->hasFocus());
    QTest::keySequence(focused, keys);
    QCOMPARE(triggered.count(), 1);
}

void TestWindowCommands::deleteKeyAsksAndRemovesOnlyInTheRemotePane()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    loadList(window);
    selectRemote(window, {QStringLiteral("a.txt"), QStringLiteral("top.txt")});
    selectLocal(window, QStringLiteral("local/up.txt"));
    QSignalSpy deleted(window.getRemoteTree(), &RemoteTreeWidget::deleteFileClicked);

    // In the local pane the key removes nothing, remote or local.
    {
        ModalAnswers none({});
        window.getLocalTree()->setFocus();
        QTRY_VERIFY(window.getLocalTree()->hasFocus());
        QTest::keyClick(window.getLocalTree(), Qt::Key_Delete);
        QCOMPARE(none.seen(), QStringList());
    }
    QVERIFY(QFile::exists(files->filePath(QStringLiteral("local/up.txt"))));

    window.getRemoteTree()->setFocus();
    QTRY_VERIFY(window.getRemoteTree()->hasFocus());
    {
        ModalAnswers no({ModalAnswers::click(QDialogButtonBox::No)});
        QTest::keyClick(window.getRemoteTree(), Qt::Key_Delete);
        QVERIFY(no.allAnswered());
    }
    QCOMPARE(deleted.count(), 0);
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.getRemoteTree()->setFocus();
    QTRY_VERIFY(window.getRemoteTree()->hasFocus());
    {
        ModalAnswers yes({[](QWidget *box) {
            QVERIFY(qobject_cast<QMessageBox *>(box)->text().contains(QStringLiteral("sure")));
            ModalAnswers::click(QDialogButtonBox::Yes)(box);
        }});
        QTest::keyClick(window.getRemoteTree(), Qt::Key_Delete);
        QVERIFY(yes.allAnswered());
    }
    QCOMPARE(deleted.count(), 2);
}

void TestWindowCommands::enterOpensFoldersAndDownloadsFiles()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    loadList(window);
    RemoteTreeWidget *remote = window.getRemoteTree();
    QSignalSpy downloads(window.getLocalTree()->getLocalModel(), &LocalFilesTreeModel::downloadFile);
    remote->setFocus();
    QTRY_VERIFY(remote->hasFocus());

    const QModelIndex docs = remoteIndex(window, QStringLiteral("Docs"));
    selectRemote(window, {QStringLiteral("Docs")});
    QVERIFY(!remote->isExpanded(docs));
    QTest::keyClick(remote, Qt::Key_Return);
    QVERIFY(remote->isExpanded(docs));
    QTest::keyClick(remote, Qt::Key_Enter);
    QVERIFY(!remote->isExpanded(docs));
    QCOMPARE(downloads.count(), 0);

    selectRemote(window, {QStringLiteral("b.txt")});
    QTest::keyClick(remote, Qt::Key_Return);
    QCOMPARE(downloads.count(), 1);
    QCOMPARE(downloads.at(0).at(1).toString(), files->filePath(QStringLiteral("dl/b.txt")));
    Settings::getInstance()->removeDownloadPath(files->filePath(QStringLiteral("dl/b.txt")));

    // Ctrl+L puts the keyboard into the local folder field; Enter there shows the folder.
    QTest::keySequence(remote, QKeySequence(Qt::CTRL | Qt::Key_L));
    QTRY_VERIFY(window.getLocalPathEdit()->hasFocus());
    QTest::keyClicks(window.getLocalPathEdit(), files->filePath(QStringLiteral("local/sub")));
    QTest::keyClick(window.getLocalPathEdit(), Qt::Key_Return);
    LocalTreeWidget *local = window.getLocalTree();
    QTRY_COMPARE(local->getLocalModel()->filePath(local->currentIndex()),
                 files->filePath(QStringLiteral("local/sub")));
}

void TestWindowCommands::buttonsFollowTheSelection_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QStringList>("remote");
    QTest::addColumn<QString>("local");
    QTest::addColumn<QStringList>("enabled");

    const QStringList always{"Refresh My Kelvarhold", "Refresh Local Files", "View Progress",
                             "Message Log", "Options", "About client", "Close client"};
    const QStringList folderTarget{"Upload from URL", "New Folder"};
    const QStringList oneFile{"Download", "Rename", "Remove", "Toggle searchable",
                              "Edit description", "Set password", "Properties"};
    QTest::newRow("no list yet")
        << false << QStringList() << QString()
        << (QStringList{"Connect", "Refresh Local Files", "View Progress", "Message Log", "Options",
                        "About client", "Close client", "Download from URL"});
    QTest::newRow("nothing selected: the root is the target")
        << true << QStringList() << QString() << always + folderTarget + QStringList{"Download from URL"};
    QTest::newRow("one remote file, one local file")
        << true << QStringList{"a.txt"} << "local/up.txt"
        << always + folderTarget + oneFile + QStringList{"Upload", "Download from URL"};
    QTest::newRow("one remote folder, one local folder")
        << true << QStringList{"Docs"} << "local/sub"
        << always + folderTarget
            + QStringList{"Download", "Rename", "Remove", "Properties", "Upload",
                          "Set as Default Download Folder", "Download from URL"};
    QTest::newRow("the root folder")
        << true << QStringList{"root"} << QString()
        << always + folderTarget + QStringList{"Download", "Download from URL"};
    QTest::newRow("two remote rows: only what acts on each")
        << true << QStringList{"a.txt", "Empty"} << "local/up.txt"
        << always + QStringList{"Download", "Remove", "Download from URL"};
}

void TestWindowCommands::buttonsFollowTheSelection()
{
    QFETCH(bool, loaded);
    QFETCH(QStringList, remote);
    QFETCH(QString, local);
    QFETCH(QStringList, enabled);

    MainWindow window;
    window.show();
    if (loaded)
        loadList(window);
    selectRemote(window, remote);
    selectLocal(window, local);

    // The local pane lists its folder in the background; a listing that lands after
    // the selection was made may clear it, and then it is made again.
    const auto enabledButtons = [&] {
        if (!local.isEmpty() && window.getLocalTree()->selectionModel()->selectedRows().isEmpty())
            selectLocal(window, local);
        QStringList names;
        for (QToolBar *toolBar : toolBars(window)) {
            const QList<QAction *> actions = toolBar->actions();
            for (QAction *action : actions) {
                if (!action->isSeparator() && toolBar->widgetForAction(action)->isEnabled())
                    names.append(action->text());
            }
        }
        names.sort();
        return names;
    };
    enabled.sort();
    QTRY_COMPARE(enabledButtons(), enabled);
    // A disabled button says why.
    for (QToolBar *toolBar : toolBars(window)) {
        const QList<QAction *> actions = toolBar->actions();
        for (QAction *action : actions) {
            if (!action->isSeparator() && !toolBar->widgetForAction(action)->isEnabled())
                QVERIFY2(action->toolTip() != action->text(), qPrintable(action->text()));
        }
    }
}

void TestWindowCommands::uploadGoesIntoTheSelectedRemoteFolder()
{
    MainWindow window;
    window.show();
    loadList(window);
    RemoteFilesTreeModel *model = window.getRemoteTree()->getModelAsRemoteFileTreeModel();
    QSignalSpy uploads(model, &RemoteFilesTreeModel::uploadFile);
    selectLocal(window, QStringLiteral("local/up.txt"));

    selectRemote(window, {QStringLiteral("b.txt")});
    windowAction(window, QStringLiteral("Upload"))->trigger();
    QCOMPARE(uploads.count(), 1);
    QCOMPARE(uploads.at(0).at(0).value<RemoteItemRef>().item()->parent()->getItemInnerName(),
             QStringLiteral("Docs"));

    window.getRemoteTree()->selectionModel()->clearSelection();
    windowAction(window, QStringLiteral("Upload"))->trigger();
    QCOMPARE(uploads.count(), 2);
    QCOMPARE(uploads.at(1).at(0).value<RemoteItemRef>().item()->parent(), model->getRootItem());
}

void TestWindowCommands::toolbarCommandsActOnTheSelection()
{
    MainWindow window;
    window.show();
    loadList(window);
    RemoteTreeWidget *remote = window.getRemoteTree();
    QSignalSpy params(remote, &RemoteTreeWidget::setParamsClicked);
    QSignalSpy made(remote, &RemoteTreeWidget::makeDirClicked);

    selectRemote(window, {QStringLiteral("b.txt")});
    RemoteFilesTreeItem *b = remote->getSelectedItems().first();
    const bool searchable = b->isItemSearchable();
    windowAction(window, QStringLiteral("Toggle searchable"))->trigger();
    QCOMPARE(b->isItemSearchable(), !searchable);
    QCOMPARE(params.count(), 1);
    QCOMPARE(params.at(0).at(0).value<RemoteItemRef>().item(), b);

    // A new folder with nothing selected goes under the user's root folder.
    remote->selectionModel()->clearSelection();
    ModalAnswers answers({ModalAnswers::fillAndClick(
        [](QWidget *dialog) {
            dialog->findChild<QLineEdit *>(QStringLiteral("newFolderNameEdit"))->setText(QStringLiteral("Fresh"));
        },
        QDialogButtonBox::Ok)});
    windowAction(window, QStringLiteral("New Folder"))->trigger();
    QVERIFY(answers.allAnswered());
    QCOMPARE(made.count(), 1);
    auto *fresh = made.at(0).at(0).value<RemoteItemRef>().item();
    QCOMPARE(fresh->getItemInnerName(), QStringLiteral("Fresh"));
    QCOMPARE(fresh->parent(), remote->getRootItem());
}

void TestWindowCommands::toolbarButtonsTakeKeyboardFocus()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // Tab from the remote tree reaches the window's own buttons, Connect first.
    window.getRemoteTree()->setFocus();
    QTRY_VERIFY(window.getRemoteTree()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto *button = qobject_cast<QToolButton *>(QApplication::focusWidget());
    QVERIFY(button);
    QCOMPARE(button->defaultAction()->text(), QStringLiteral("Connect"));
    QTest::keyClick(button, Qt::Key_Tab);
    button = qobject_cast<QToolButton *>(QApplication::focusWidget());
    QVERIFY(button);
    QCOMPARE(button->defaultAction()->text(), QStringLiteral("Refresh Local Files"));
}

void TestWindowCommands::iconsStayVisibleOnADarkPalette()
{
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x18, 0x18, 0x18));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(0x70, 0x70, 0x70));

    MainWindow window;
    window.resize(1100, 600);
    window.show();
    loadList(window);
    QTest::qWait(50);
    saveScreenshot(&window, QStringLiteral("window-light.png"));

    // Bright pixels of an icon's drawing on the window's background.
    const auto brightPixels = [](const QIcon &icon) {
        const QImage image = icon.pixmap(32, 32).toImage();
        int bright = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                bright += qAlpha(image.pixel(x, y)) > 128 && qGray(image.pixel(x, y)) > 160 ? 1 : 0;
        return bright;
    };
    QAction *rename = windowAction(window, QStringLiteral("Rename"));
    const int onLight = brightPixels(rename->icon());

    QApplication::setPalette(dark);
    QVERIFY(ThemedIcon::isDark(QApplication::palette()));
    // The window hears of the new palette and draws its icons anew.
    QTRY_VERIFY(brightPixels(rename->icon()) > onLight + 20);
    QTest::qWait(50);
    saveScreenshot(&window, QStringLiteral("window-dark.png"));
    QApplication::setPalette(light);
    QTRY_COMPARE(brightPixels(rename->icon()), onLight);
}

void TestWindowCommands::toolbarsFitASmallScreen_data()
{
    QTest::addColumn<QSize>("size");
    // 1366 x 768 at twice the scale, less the desktop's panel; and a roomy window.
    QTest::newRow("683 x 360") << QSize(683, 360);
    QTest::newRow("1300 x 700") << QSize(1300, 700);
}

void TestWindowCommands::toolbarsFitASmallScreen()
{
    QFETCH(QSize, size);
    MainWindow window;
    window.resize(size);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    loadList(window);
    QTest::qWait(50);
    saveScreenshot(&window, QStringLiteral("window-%1x%2.png").arg(size.width()).arg(size.height()));
    // Every button is on show, none behind a toolbar's overflow chevron.
    for (QToolBar *toolBar : toolBars(window)) {
        const QList<QAction *> actions = toolBar->actions();
        for (QAction *action : actions) {
            if (!action->isSeparator())
                QTRY_VERIFY2(toolBar->widgetForAction(action)->isVisible(), qPrintable(action->text()));
        }
    }
}

QTEST_MAIN(TestWindowCommands)
#include "tst_windowcommands.moc"
