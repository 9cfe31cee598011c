#include "dialogs/aboutdialog.h"
#include "dialogs/addurldialog.h"
#include "dialogs/descriptiondialog.h"
#include "dialogs/newremotefolderdialog.h"
#include "dialogs/passworddialog.h"
#include "dialogs/renameitemdialog.h"
#include "dialogs/warningonnoemptydirectorydeletedialog.h"
#include "modalanswers.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <functional>
#include <memory>

using DialogFactory = std::function<QDialog *()>;
Q_DECLARE_METATYPE(DialogFactory)

// The small one-question dialogs and the about box: their forms as the users see
// them, and the values they hand back when run modally.
class TestItemDialogs final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void forms_data();
    void forms();
    void lineEditsReturnTextAsTyped_data();
    void lineEditsReturnTextAsTyped();
    void descriptionKeepsSeveralLines();
    void warningFlagOnlyCountsWithYes_data();
    void warningFlagOnlyCountsWithYes();
    void aboutBoxClosesWithItsOnlyButton();
};

template<typename T>
static DialogFactory make()
{
    return [] { return new T; };
}

void TestItemDialogs::forms_data()
{
    QTest::addColumn<DialogFactory>("factory");
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("hasIcon");
    QTest::addColumn<QString>("labelText");
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QDialogButtonBox::StandardButtons>("buttons");

    using B = QDialogButtonBox;
    QTest::newRow("description") << make<DescriptionDialog>() << "DescriptionDialog" << "File description"
                                 << QSize(436, 217) << true << "File description:" << "DescriptionDialogEdit"
                                 << (B::Ok | B::Cancel);
    QTest::newRow("password") << make<PasswordDialog>() << "PasswordDialog" << "File password"
                              << QSize(371, 96) << true << "New password:" << "PasswordDialogEdit"
                              << (B::Ok | B::Cancel);
    QTest::newRow("rename") << make<RenameItemDialog>() << "RenameItemDialog" << "Rename" << QSize(371, 107)
                            << true << "New Name" << "itemNameEdit" << (B::Ok | B::Cancel);
    QTest::newRow("new folder") << make<NewRemoteFolderDialog>() << "NewRemoteFolderDialog" << "New Folder"
                                << QSize(309, 96) << true << "Folder name:" << "newFolderNameEdit"
                                << (B::Ok | B::Cancel);
    QTest::newRow("url") << make<AddUrlDialog>() << "AddUrlDialog" << "Add Url" << QSize(400, 77) << false
                         << QString() << "urlEdit" << (B::Ok | B::Cancel);
    QTest::newRow("warning") << make<WarningOnNoEmptyDirectoryDeleteDialog>()
                             << "WarningOnNoEmptyDirectoryDeleteDialog" << "Delete a folder that is not empty"
                             << QSize(161, 78) << false << "Are you sure?" << "checkBox" << (B::Yes | B::No);
    QTest::newRow("about") << make<AboutDialog>() << "AboutDialog" << "About Pelorin" << QSize(420, 295) << true
                           << QString() << QString() << QDialogButtonBox::StandardButtons(B::Close);
}

void TestItemDialogs::forms()
{
    QFETCH(DialogFactory, factory);
    QFETCH(QString, objectName);
    QFETCH(QString, title);
    QFETCH(QSize, size);
    QFETCH(bool, hasIcon);
    QFETCH(QString, labelText);
    QFETCH(QString, editor);
    QFETCH(QDialogButtonBox::StandardButtons, buttons);

    std::unique_ptr<QDialog> dialog(factory());
    QCOMPARE(dialog->objectName(), objectName);
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->size(), size);
    QCOMPARE(!dialog->windowIcon().isNull(), hasIcon);
    if (!labelText.isEmpty())
        QCOMPARE(dialog->findChild<QLabel *>("label")->text(), labelText);
    if (!editor.isEmpty())
        QVERIFY(dialog->findChild<QWidget *>(editor));
    auto *buttonBox = dialog->findChild<QDialogButtonBox *>("buttonBox");
    QVERIFY(buttonBox);
    QCOMPARE(buttonBox->standardButtons(), buttons);
}

void TestItemDialogs::lineEditsReturnTextAsTyped_data()
{
    QTest::addColumn<DialogFactory>("factory");
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("result");

    // Each dialog starts prepared the way its caller prepares it; then the user
    // types and answers. Getters neither trim nor check.
    const DialogFactory password = [] { auto *d = new PasswordDialog; d->cleanPassword(); return d; };
    const DialogFactory rename = [] { auto *d = new RenameItemDialog; d->setItemName("old name.txt"); return d; };
    const DialogFactory folder = [] { auto *d = new NewRemoteFolderDialog; d->cleanFolderName(); return d; };
    const DialogFactory url = [] { auto *d = new AddUrlDialog; d->clearUrl(); return d; };

    QTest::newRow("password") << password << "PasswordDialogEdit" << " s3cret " << int(QDialog::Accepted);
    QTest::newRow("rename") << rename << "itemNameEdit" << "  new name.txt" << int(QDialog::Accepted);
    QTest::newRow("rename cancelled") << rename << "itemNameEdit" << "other" << int(QDialog::Rejected);
    QTest::newRow("folder empty") << folder << "newFolderNameEdit" << "" << int(QDialog::Accepted);
    QTest::newRow("url empty") << url << "urlEdit" << "" << int(QDialog::Accepted);
    QTest::newRow("url") << url << "urlEdit" << "http://example.org/a b" << int(QDialog::Accepted);
}

static QString lineEditValue(QDialog *dialog)
{
    if (auto *d = qobject_cast<PasswordDialog *>(dialog))
        return d->getNewPassword();
    if (auto *d = qobject_cast<RenameItemDialog *>(dialog))
        return d->getItemName();
    if (auto *d = qobject_cast<NewRemoteFolderDialog *>(dialog))
        return d->getNewFolderName();
    if (auto *d = qobject_cast<AddUrlDialog *>(dialog))
        return d->getUrl();
    return QStringLiteral("<no getter>");
}

void TestItemDialogs::lineEditsReturnTextAsTyped()
{
    QFETCH(DialogFactory, factory);
    QFETCH(QString, editor);
    QFETCH(QString, typed);
    QFETCH(int, result);

    std::unique_ptr<QDialog> dialog(factory());
    auto *edit = dialog->findChild<QLineEdit *>(editor);
    QVERIFY(edit);

    const auto button = result == QDialog::Accepted ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel;
    ModalAnswers answers({ModalAnswers::fillAndClick(
        [&](QWidget *) {
            edit->selectAll();
            edit->del();
            if (!typed.isEmpty())
                QTest::keyClicks(edit, typed);
        },
        button)});
    QCOMPARE(dialog->exec(), result);
    QVERIFY(answers.allAnswered());
    if (result == QDialog::Accepted)
        QCOMPARE(lineEditValue(dialog.get()), typed);
    // Every line edit of these dialogs shows its text in clear.
    QCOMPARE(edit->echoMode(), QLineEdit::Normal);
}

void TestItemDialogs::descriptionKeepsSeveralLines()
{
    DescriptionDialog dialog;
    dialog.setDescription("first line\nsecond\tline");
    QCOMPARE(dialog.findChild<QPlainTextEdit *>("DescriptionDialogEdit")->blockCount(), 2);
    QCOMPARE(dialog.getNewDescription(), QString("first line\nsecond\tline"));
    dialog.setDescription(QString());
    QCOMPARE(dialog.getNewDescription(), QString());
}

void TestItemDialogs::warningFlagOnlyCountsWithYes_data()
{
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QDialogButtonBox::StandardButton>("button");
    QTest::addColumn<int>("result");

    QTest::newRow("yes, ticked") << true << QDialogButtonBox::Yes << int(QDialog::Accepted);
    QTest::newRow("yes, not ticked") << false << QDialogButtonBox::Yes << int(QDialog::Accepted);
    QTest::newRow("no, ticked") << true << QDialogButtonBox::No << int(QDialog::Rejected);
}

void TestItemDialogs::warningFlagOnlyCountsWithYes()
{
    QFETCH(bool, tick);
    QFETCH(QDialogButtonBox::StandardButton, button);
    QFETCH(int, result);

    WarningOnNoEmptyDirectoryDeleteDialog dialog;
    QVERIFY(dialog.isModal());
    dialog.findChild<QCheckBox *>("checkBox")->setChecked(true);
    dialog.clearFlag();
    QVERIFY(!dialog.getFlag());

    ModalAnswers answers({ModalAnswers::fillAndClick(
        [tick](QWidget *w) { w->findChild<QCheckBox *>("checkBox")->setChecked(tick); }, button)});
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(answers.seen(), QStringList{"WarningOnNoEmptyDirectoryDeleteDialog"});
    QCOMPARE(dialog.getFlag(), tick);
}

void TestItemDialogs::aboutBoxClosesWithItsOnlyButton()
{
    AboutDialog dialog;
    const QString text = dialog.findChild<QLabel *>("label")->text();
    for (const char *line : {"<p>Pelorin Client Beta</p>", "<p>client version 0.87</p>",
                             "<p>server version 0.87</p>", "<p><i>Snapshot from 2009-05-26.</i></p>",
                             "<p><i>Revision 245.</i></p>"})
        QVERIFY2(text.contains(QLatin1String(line)), line);
    QVERIFY(dialog.minimumSize() == QSize(420, 280));

    ModalAnswers answers({ModalAnswers::click(QDialogButtonBox::Close)});
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(answers.allAnswered());
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestItemDialogs)
#include "tst_itemdialogs.moc"
