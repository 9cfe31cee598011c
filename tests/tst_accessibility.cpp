#include "base/settingsfile.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/addurldialog.h"
#include "dialogs/descriptiondialog.h"
#include "dialogs/newremotefolderdialog.h"
#include "dialogs/passworddialog.h"
#include "dialogs/preferencesdialog.h"
#include "dialogs/renameitemdialog.h"
#include "dialogs/signindialog.h"
#include "dialogs/transferinfodialog.h"
#include "dialogs/warningonnoemptydirectorydeletedialog.h"
#include "localtree/localfilestreemodel.h"
#include "localtree/localtreewidget.h"
#include "mainwindow.h"
#include "messagelogdock.h"
#include "remote/remotefilestreeitem.h"
#include "remotelistfixture.h"
#include "remotelistshown.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "startup.h"

#include <QAccessible>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

// What a screen reader meets: every control the user can reach has a name of its own,
// every label names the field it stands before, and a row of a tree says what it is.
class TestAccessibility final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyControlIsNamed_data();
    void everyControlIsNamed();
    void treeRowsAnnounceTypeSizeAndState();

private:
    QTemporaryDir config;
};

namespace {

bool isInteractive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Tree:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::PageTab:
    case QAccessible::MenuItem:
        return true;
    default:
        return false;
    }
}

// Walks the accessible tree below `root` (not into the rows of item views, which the
// models name) and lists the problems found.
QStringList problemsBelow(QWidget *root)
{
    QStringList problems;
    QHash<QString, QString> fieldNames;
    std::function<void(QAccessibleInterface *, const QString &)> walk =
        [&](QAccessibleInterface *node, const QString &path) {
            if (!node || !node->isValid() || node->state().invisible)
                return;
            const QAccessible::Role role = node->role();
            const QString name = node->text(QAccessible::Name).trimmed();
            const QObject *object = node->object();
            const QString where = path + QLatin1Char('/')
                + (object && !object->objectName().isEmpty() ? object->objectName()
                                                             : QString::number(role, 16));
            if (isInteractive(role) && !node->state().disabled && name.isEmpty())
                problems.append(QStringLiteral("unnamed: ") + where);
            // Two fields with one name cannot be told apart by ear.
            if ((role == QAccessible::EditableText || role == QAccessible::SpinBox) && !name.isEmpty()) {
                if (fieldNames.contains(name))
                    problems.append(QStringLiteral("\"%1\" names both %2 and %3").arg(name, fieldNames.value(name), where));
                fieldNames.insert(name, where);
            }
            if (role == QAccessible::Tree || role == QAccessible::Table || role == QAccessible::List)
                return;
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i), where);
        };
    walk(QAccessible::queryAccessibleInterface(root), root->objectName());
    // A label before a field names it only through its buddy.
    const QList<QLabel *> labels = root->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->isVisibleTo(root) && label->text().trimmed().endsWith(QLatin1Char(':')) && !label->buddy())
            problems.append(QStringLiteral("label without a buddy: ") + label->text());
    }
    return problems;
}

} // namespace

void TestAccessibility::initTestCase()
{
    StartUp::configureApplication();
    QVERIFY(config.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    QSettings ini(SettingsFile().fileName(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("UserOptions/Account/login"), QStringLiteral("demo"));
    ini.setValue(QStringLiteral("Network/Server/serverhost"), QStringLiteral("127.0.0.1"));
    ini.setValue(QStringLiteral("Network/Server/serverport"), 1);
}

void TestAccessibility::everyControlIsNamed_data()
{
    QTest::addColumn<QString>("window");
    for (const char *name : {"MainWindow", "AboutDialog", "AddUrlDialog", "DescriptionDialog",
                             "NewRemoteFolderDialog", "PasswordDialog", "PreferencesDialog",
                             "RenameItemDialog", "SignInDialog", "TransferInfoDialog",
                             "WarningOnNoEmptyDirectoryDeleteDialog"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestAccessibility::everyControlIsNamed()
{
    QFETCH(QString, window);
    const QHash<QString, std::function<QWidget *()>> makers{
        {"MainWindow", [] { return new MainWindow; }},
        {"AboutDialog", [] { return new AboutDialog; }},
        {"AddUrlDialog", [] { return new AddUrlDialog; }},
        {"DescriptionDialog", [] { return new DescriptionDialog; }},
        {"NewRemoteFolderDialog", [] { return new NewRemoteFolderDialog; }},
        {"PasswordDialog", [] { return new PasswordDialog; }},
        {"PreferencesDialog", [] { return new PreferencesDialog; }},
        {"RenameItemDialog", [] { return new RenameItemDialog; }},
        {"SignInDialog", [] { return new SignInDialog; }},
        {"TransferInfoDialog", [] {
             auto *dialog = new TransferInfoDialog;
             dialog->createProgress(1, 40, QStringLiteral("Uploading a.txt"));
             return dialog;
         }},
        {"WarningOnNoEmptyDirectoryDeleteDialog", [] { return new WarningOnNoEmptyDirectoryDeleteDialog; }},
    };
    std::unique_ptr<QWidget> widget(makers.value(window)());
    if (auto *main = qobject_cast<MainWindow *>(widget.get())) {
        QVERIFY(showRemoteList(*main, RemoteListFixture::line(5, false, QStringLiteral("a.txt"), 0, 3)));
        main->getMessageLog()->show();
    }
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
    const QStringList problems = problemsBelow(widget.get());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestAccessibility::treeRowsAnnounceTypeSizeAndState()
{
    MainWindow window;
    window.show();
    QVERIFY(showRemoteList(window, QStringList{
        RemoteListFixture::line(7, true, QStringLiteral("Docs"), 0),
        RemoteListFixture::line(8, false, QStringLiteral("a.txt"), 0, 2048),
    }.join(QLatin1Char('\n'))));
    RemoteTreeWidget *remote = window.getRemoteTree();
    RemoteFilesTreeModel *model = remote->getModelAsRemoteFileTreeModel();
    const QModelIndex root = model->index(0, 0);
    const QModelIndex docs = model->index(0, 0, root);
    const QModelIndex file = model->index(1, 0, root);
    QCOMPARE(file.data(Qt::AccessibleTextRole).toString(), QStringLiteral("a.txt"));
    const QString fileSays = file.data(Qt::AccessibleDescriptionRole).toString();
    QVERIFY2(fileSays.startsWith(QStringLiteral("File")) && fileSays.contains(file.siblingAtColumn(1).data().toString())
                 && fileSays.contains(QStringLiteral("on the server")),
             qPrintable(fileSays));
    QVERIFY2(docs.data(Qt::AccessibleDescriptionRole).toString().startsWith(QStringLiteral("Folder")),
             qPrintable(docs.data(Qt::AccessibleDescriptionRole).toString()));

    // The tree's own cell tells a screen reader the same.
    QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(remote);
    QVERIFY(tree && tree->tableInterface());
    QString announced;
    for (int i = 0; i < tree->childCount(); ++i) {
        QAccessibleInterface *cell = tree->child(i);
        if (cell && cell->text(QAccessible::Name) == QLatin1String("a.txt"))
            announced = cell->text(QAccessible::Description);
    }
    QCOMPARE(announced, fileSays);

    // A file whose change has not reached the server yet says so.
    model->setItemDescription(model->itemFromIndex(file), QStringLiteral("changed"));
    QVERIFY(file.data(Qt::AccessibleDescriptionRole).toString().contains(QStringLiteral("waiting")));

    // The local pane: a file's row names its type and size.
    LocalTreeWidget *local = window.getLocalTree();
    const QString path = QFINDTESTDATA("tst_accessibility.cpp");
    QModelIndex localFile;
    QTRY_VERIFY((localFile = local->getLocalModel()->index(path)).isValid());
    const QString localSays = localFile.data(Qt::AccessibleDescriptionRole).toString();
    QVERIFY2(localSays.startsWith(QStringLiteral("File of ")), qPrintable(localSays));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
