#include "base/settingsfile.h"
#include "dialogs/transferinfodialog.h"
#include "gui/richtextguard.h"
#include "mainwindow.h"
#include "modalanswers.h"
#include "network/commandinfo.h"
#include "network/deletedircommand.h"
#include "network/deletefilecommand.h"
#include "network/downloadfilecommand.h"
#include "network/downloadurlcommand.h"
#include "network/makedircommand.h"
#include "network/movedircommand.h"
#include "network/movefilecommand.h"
#include "network/setparamscommand.h"
#include "network/uploadfilecommand.h"
#include "network/uploadurlcommand.h"
#include "remote/remotefilestreeitem.h"
#include "remote/remotetree.h"
#include "remotelistfixture.h"
#include "screenshot.h"
#include "startup.h"

#include <QImage>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// What the user reads of a rich text.
QString rendered(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

// The status line's label.
QLabel *statusLabelOf(const MainWindow &window)
{
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text() == window.getStatusText())
            return label;
    }
    return nullptr;
}

} // namespace

// File and folder names come from the server and from the local disk; every text that
// shows them as rich text must show them as they are, and no name may make a label
// read a file (a name `<img src="&#47;dev&#47;zero">` once made one read a device
// until memory ran out).
class TestHostileNames final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void commandTextsShowNamesAsText_data();
    void commandTextsShowNamesAsText();
    void windowShowsNamesAsText();
    void labelsTakeOnlyOwnMarkup_data();
    void labelsTakeOnlyOwnMarkup();
    void windowLabelsNeverReadPictures();

private:
    QTemporaryDir dir;
    QString bigImage; // a picture far larger than any line of text
};

void TestHostileNames::initTestCase()
{
    StartUp::configureApplication();
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    bigImage = dir.filePath(QStringLiteral("big.png"));
    QImage image(900, 900, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(bigImage));
}

void TestHostileNames::commandTextsShowNamesAsText_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("less than") << QStringLiteral("a<b");
    QTest::newRow("ampersand") << QStringLiteral("Tom & Jerry &amp; co");
    QTest::newRow("quotes") << QStringLiteral("say \"hi\" 'there'");
    QTest::newRow("markup") << QStringLiteral("<b>bold</b><font color=red>x</font>");
    QTest::newRow("image of a device") << QStringLiteral("<img src=\"&#47;dev&#47;zero\">");
}

void TestHostileNames::commandTextsShowNamesAsText()
{
    QFETCH(QString, name);
    // A folder and a file inside it, both of that name.
    const std::shared_ptr<RemoteTree> tree = RemoteTree::fromList(
        RemoteListFixture::line(7, true, name, 0) + QLatin1Char('\n') + RemoteListFixture::line(8, false, name, 7, 5),
        QStringLiteral("root"));
    const RemoteItemRef folder(tree, tree->folderById(7));
    QVERIFY(!folder.isNull());
    const RemoteItemRef file(tree, folder.item()->child(0));

    struct Case {
        const char *action;
        std::function<BaseCommand *()> make;
    };
    const QList<Case> cases{
        {"Download file", [&] { return new DownloadFileCommand(1, file, QStringLiteral("/tmp/x")); }},
        {"Upload file", [&] { return new UploadFileCommand(1, file); }},
        {"upload file", [&] { return new UploadUrlCommand(1, file); }},
        {"Download file", [&] { return new DownloadUrlCommand(1, QStringLiteral("http://127.0.0.1/x"), name); }},
        {"Create directory", [&] { return new MakeDirCommand(1, folder); }},
        {"Delete directory", [&] { return new DeleteDirCommand(1, folder); }},
        {"Delete file", [&] { return new DeleteFileCommand(1, file); }},
        {"Move directory", [&] { return new MoveDirCommand(1, folder); }},
        {"Move file", [&] { return new MoveFileCommand(1, file); }},
        {"Set parameters for", [&] { return new SetParamsCommand(1, file); }},
    };
    for (const Case &c : cases) {
        const std::unique_ptr<BaseCommand> command(c.make());
        QCOMPARE(rendered(command->getCommandTypeString()), QLatin1String(c.action) + QLatin1Char(' ') + name);
    }
}

void TestHostileNames::windowShowsNamesAsText()
{
    QFile::remove(SettingsFile().fileName());
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString name = QStringLiteral("<img src=\"%1\">").arg(bigImage);
    const std::shared_ptr<RemoteTree> tree =
        RemoteTree::fromList(RemoteListFixture::line(8, false, name, 0, 5), QStringLiteral("root"));
    const RemoteItemRef file(tree, tree->userRoot()->child(0));
    const QString typeString = DownloadFileCommand(1, file, QStringLiteral("/tmp/x")).getCommandTypeString();

    ModalAnswers noBox({});
    window.refreshingProgress(
        new CommandInfo(77, CommandInfo::Started, typeString, BaseCommand::NoError, 0, 0, 0.0));
    window.refreshingProgress(
        new CommandInfo(77, CommandInfo::Processing, typeString, BaseCommand::NoError, 50, 3, 1.0));
    QVERIFY(noBox.seen().isEmpty());

    const auto checkLabel = [&](QLabel *label, const QString &suffix) {
        QVERIFY(label);
        QCOMPARE(rendered(label->text()), QStringLiteral("Download file ") + name + suffix);
        // A picture read from the disk would make the label 900 pixels tall.
        QVERIFY2(label->sizeHint().height() < 100, qPrintable(QString::number(label->sizeHint().height())));
    };
    QLabel *status = statusLabelOf(window);
    checkLabel(status, QStringLiteral(" started."));
    const QList<QLabel *> rows =
        window.getTransferInfoDialog()->findChildren<QLabel *>(QStringLiteral("messageLabel"));
    QCOMPARE(rows.size(), 1);
    checkLabel(rows.first(), QStringLiteral(" in process."));
    window.getTransferInfoDialog()->show();
    saveScreenshot(&window, QStringLiteral("hostile-name-window.png"));
    saveScreenshot(window.getTransferInfoDialog(), QStringLiteral("hostile-name-transfers.png"));
}

void TestHostileNames::labelsTakeOnlyOwnMarkup_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("kept");
    QTest::newRow("a message of the program's")
        << QStringLiteral("Download file <b>a&lt;b</b> finished.: <b><font color=\"Red\">Data synchronization error.</font></b>")
        << true;
    QTest::newRow("no markup at all") << QStringLiteral("Refresh list started.") << true;
    QTest::newRow("a picture") << QStringLiteral("Download file <b><img src=\"x.png\"></b>") << false;
    QTest::newRow("a tag left open") << QStringLiteral("Download file <img src=x.png") << false;
    QTest::newRow("a style sheet") << QStringLiteral("<link rel=stylesheet href=a.css>x") << false;
    QTest::newRow("a table with a background") << QStringLiteral("<table background=\"x.png\">") << false;
}

void TestHostileNames::labelsTakeOnlyOwnMarkup()
{
    QFETCH(QString, message);
    QFETCH(bool, kept);
    const QString shown = RichTextGuard::ownMarkupOnly(message);
    QCOMPARE(shown, kept ? message : message.toHtmlEscaped());
    // Refused markup shows as the characters it is made of.
    if (!kept)
        QCOMPARE(rendered(shown), message);
}

void TestHostileNames::windowLabelsNeverReadPictures()
{
    // A message as a command that forgot to escape its name would make it: the
    // labels must still not read the picture.
    QFile::remove(SettingsFile().fileName());
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString raw = QStringLiteral("Upload file <b><img src=\"%1\"></b>").arg(bigImage);
    ModalAnswers noBox({});
    window.refreshingProgress(new CommandInfo(78, CommandInfo::Started, raw, BaseCommand::NoError, 0, 0, 0.0));
    QVERIFY(noBox.seen().isEmpty());
    QLabel *status = statusLabelOf(window);
    const QList<QLabel *> rows =
        window.getTransferInfoDialog()->findChildren<QLabel *>(QStringLiteral("messageLabel"));
    QCOMPARE(rows.size(), 1);
    for (QLabel *label : {status, rows.first()}) {
        QVERIFY(label);
        QVERIFY2(label->sizeHint().height() < 100, qPrintable(QString::number(label->sizeHint().height())));
        QCOMPARE(rendered(label->text()), raw + QStringLiteral(" started."));
    }
}

QTEST_MAIN(TestHostileNames)
#include "tst_hostilenames.moc"
