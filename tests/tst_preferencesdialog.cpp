#include "dialogs/preferencesdialog.h"
#include "screenshot.h"
#include "modalanswers.h"
#include "base/settings.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

// The preferences dialog as the main window uses it: filled once from the stored
// settings, edited by the user, read back when accepted.
class TestPreferencesDialog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void form();
    void loadedWithEachPolicy_data();
    void loadedWithEachPolicy();
    void choosingTheTimedPolicyByHandEnablesItsTime();
    void streamsStayWithinOneToFive();
    void folderChooser();
    void acceptRefusesAccountTextTheServerCannotTake_data();
    void acceptRefusesAccountTextTheServerCannotTake();
};

// "on", "off", or "mixed" when the label and its field disagree.
static QString timeField(const PreferencesDialog &dialog)
{
    const bool edit = dialog.findChild<QTimeEdit *>("timeEdit")->isEnabled();
    const bool label = dialog.findChild<QLabel *>("label_3")->isEnabled();
    return edit != label ? QStringLiteral("mixed") : edit ? QStringLiteral("on") : QStringLiteral("off");
}

void TestPreferencesDialog::form()
{
    PreferencesDialog dialog;
    QCOMPARE(dialog.objectName(), QString("PreferencesDialog"));
    QCOMPARE(dialog.windowTitle(), QString("Preferences"));
    // A 1366 x 768 screen at twice the scale leaves 683 x 384 (less a title bar): the
    // form's fixed-position group once needed 580.
    QVERIFY2(dialog.minimumSizeHint().width() <= 683 && dialog.minimumSizeHint().height() <= 344,
             qPrintable(QStringLiteral("%1 x %2").arg(dialog.minimumSizeHint().width())
                            .arg(dialog.minimumSizeHint().height())));
    QVERIFY(dialog.size().expandedTo(dialog.minimumSizeHint()) == dialog.size());
    dialog.show();
    saveScreenshot(&dialog, QStringLiteral("preferences.png"));
    QVERIFY(!dialog.windowIcon().isNull());
    // Fresh form: "Background" on, the time field off.
    QVERIFY(dialog.getDropSyncCheck());
    QVERIFY(!dialog.getManualSyncCheck() && !dialog.getTimerSyncCheck());
    QCOMPARE(timeField(dialog), QString("off"));
    QCOMPARE(dialog.findChild<QTimeEdit *>("timeEdit")->displayFormat(), QString("hh:mm"));
    QCOMPARE(dialog.findChild<QRadioButton *>("timerSync")->toolTip(),
             QString("Synchronize remote tree with server at the set time."));
    QCOMPARE(dialog.findChild<QToolButton *>("selectDefaultDirectoryButton")->text(), QString("..."));

    // The password field never shows its characters.
    dialog.setPassword("secret");
    auto *pass = dialog.findChild<QLineEdit *>("passEdit");
    QCOMPARE(pass->echoMode(), QLineEdit::Password);
    QVERIFY(!pass->displayText().contains("secret"));
    QCOMPARE(dialog.getPassword(), QString("secret"));
}

void TestPreferencesDialog::loadedWithEachPolicy_data()
{
    QTest::addColumn<int>("policy");
    QTest::addColumn<QString>("checked");
    QTest::addColumn<bool>("timeEditable");

    QTest::newRow("manual") << int(Settings::ManualSync) << "manualSync" << false;
    QTest::newRow("background") << int(Settings::BackgroundSync) << "dropSync" << false;
    QTest::newRow("timer") << int(Settings::TimerSync) << "timerSync" << true;
}

void TestPreferencesDialog::loadedWithEachPolicy()
{
    QFETCH(int, policy);
    QFETCH(QString, checked);
    QFETCH(bool, timeEditable);

    // The same dialog is loaded twice, the second time with the policy under test,
    // the way the main window fills it: the three check setters, then the values.
    PreferencesDialog dialog;
    for (int loaded : {int(Settings::TimerSync), policy}) {
        dialog.setManualSyncCheck(loaded == Settings::ManualSync);
        dialog.setDropSyncCheck(loaded == Settings::BackgroundSync);
        dialog.setTimerSyncCheck(loaded == Settings::TimerSync);
    }
    dialog.setLogin(" user ");
    dialog.setPassword("pw");
    dialog.setDefaultDownloadDirectory("/home/user/Downloads/");
    dialog.setSyncTime(QTime(21, 45));
    dialog.setStreamsCount(3);

    for (const char *name : {"manualSync", "dropSync", "timerSync"})
        QCOMPARE(dialog.findChild<QRadioButton *>(name)->isChecked(), checked == QLatin1String(name));
    QCOMPARE(dialog.getManualSyncCheck(), policy == Settings::ManualSync);
    QCOMPARE(dialog.getDropSyncCheck(), policy == Settings::BackgroundSync);
    QCOMPARE(dialog.getTimerSyncCheck(), policy == Settings::TimerSync);
    QCOMPARE(timeField(dialog), QString(timeEditable ? "on" : "off"));

    QCOMPARE(dialog.getLogin(), QString(" user "));
    QCOMPARE(dialog.getPassword(), QString("pw"));
    QCOMPARE(dialog.getDefaultDownloadDirectory(), QString("/home/user/Downloads/"));
    QCOMPARE(dialog.getSyncTime(), QTime(21, 45));
    QCOMPARE(dialog.getStreamsCount(), 3);
}

void TestPreferencesDialog::choosingTheTimedPolicyByHandEnablesItsTime()
{
    PreferencesDialog dialog;
    dialog.setManualSyncCheck(false);
    dialog.setDropSyncCheck(true);
    dialog.setTimerSyncCheck(false);
    dialog.show();

    dialog.findChild<QRadioButton *>("timerSync")->click();
    QVERIFY(dialog.getTimerSyncCheck());
    QCOMPARE(timeField(dialog), QString("on"));
    dialog.findChild<QRadioButton *>("manualSync")->click();
    QVERIFY(dialog.getManualSyncCheck());
    QCOMPARE(timeField(dialog), QString("off"));
}

void TestPreferencesDialog::streamsStayWithinOneToFive()
{
    PreferencesDialog dialog;
    dialog.setStreamsCount(9);
    QCOMPARE(dialog.getStreamsCount(), 5);
    dialog.setStreamsCount(0);
    QCOMPARE(dialog.getStreamsCount(), 1);
    dialog.setStreamsCount(-4);
    QCOMPARE(dialog.getStreamsCount(), 1);

    auto *spin = dialog.findChild<QSpinBox *>("streamsCountEdit");
    spin->selectAll();
    QTest::keyClicks(spin, "7");
    QVERIFY(spin->value() >= 1 && spin->value() <= 5);
    spin->selectAll();
    QTest::keyClicks(spin, "4");
    QCOMPARE(dialog.getStreamsCount(), 4);
}

void TestPreferencesDialog::folderChooser()
{
    QTemporaryDir start;
    QTemporaryDir picked;
    PreferencesDialog dialog;
    dialog.setDefaultDownloadDirectory(start.path());
    dialog.show();
    auto *button = dialog.findChild<QToolButton *>("selectDefaultDirectoryButton");

    QString caption;
    QString startedIn;
    {
        ModalAnswers answers({ModalAnswers::fillAndClick(
            [&](QWidget *window) {
                auto *chooser = qobject_cast<QFileDialog *>(window);
                QVERIFY(chooser);
                caption = chooser->windowTitle();
                startedIn = chooser->directory().absolutePath();
            },
            QDialogButtonBox::Cancel)});
        button->click();
        QVERIFY(answers.allAnswered());
    }
    QCOMPARE(caption, QString("Select default directory for downloads"));
    QCOMPARE(startedIn, QDir(start.path()).absolutePath());
    QCOMPARE(dialog.getDefaultDownloadDirectory(), start.path());

    ModalAnswers answers({[&](QWidget *window) {
        auto *chooser = qobject_cast<QFileDialog *>(window);
        chooser->selectFile(picked.path());
        QMetaObject::invokeMethod(chooser, "accept");
    }});
    button->click();
    QVERIFY(answers.allAnswered());
    QCOMPARE(QDir(dialog.getDefaultDownloadDirectory()).absolutePath(), QDir(picked.path()).absolutePath());
}

void TestPreferencesDialog::acceptRefusesAccountTextTheServerCannotTake_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("refused");

    QTest::newRow("plain") << "user" << "secret" << false;
    QTest::newRow("latin-1 letters") << "jürgen" << "pässwörd" << false;
    QTest::newRow("line feed in login") << "user\nfoo" << "secret" << true;
    QTest::newRow("tab in password") << "user" << "sec\tret" << true;
    QTest::newRow("carriage return in password") << "user" << "secret\r" << true;
    QTest::newRow("euro sign in password") << "user" << QString::fromUtf8("price€") << true;
    QTest::newRow("cyrillic login") << QString::fromUtf8("пользователь") << "secret" << true;
}

void TestPreferencesDialog::acceptRefusesAccountTextTheServerCannotTake()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(bool, refused);

    PreferencesDialog dialog;
    dialog.setLogin(login);
    dialog.setPassword(password);
    dialog.show();
    auto *ok = dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok);

    QString shownText;
    ModalAnswers answers({ModalAnswers::fillAndClick(
        [&](QWidget *box) { shownText = box->findChild<QLabel *>("qt_msgbox_label")->text(); },
        QDialogButtonBox::Ok)});
    ok->click();
    if (refused) {
        QVERIFY(answers.allAnswered());
        QCOMPARE(answers.seen(), QStringList{"QMessageBox"});
        QVERIFY(!shownText.isEmpty());
        // Still open, nothing accepted: the user can correct the text.
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        dialog.setLogin("user");
        dialog.setPassword("secret");
        ok->click();
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestPreferencesDialog)
#include "tst_preferencesdialog.moc"
