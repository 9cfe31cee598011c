// The six item commands byte for byte against the scripted fake server: what each
// request carries, how each reply is judged, and what the item looks like once the
// model has applied the command's result.

#include "base/settings.h"
#include "commandrunner.h"
#include "fakeserver.h"
#include "network/deletedircommand.h"
#include "network/deletefilecommand.h"
#include "network/makedircommand.h"
#include "network/movedircommand.h"
#include "network/movefilecommand.h"
#include "network/setparamscommand.h"
#include "remote/remotefilestreeitem.h"
#include "remotelistfixture.h"
#include "shownremotetree.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace {
constexpr int ReplyTimeoutMs = 300;
constexpr int CompletionMs = 200;
const QByteArray prefix = "alice\nx\n";

enum Kind { MakeDir, DeleteDir, DeleteFile, MoveDir, MoveFile, SetParams };

const char *wordOf(Kind kind)
{
    switch (kind) {
    case MakeDir: return "makedir";
    case DeleteDir: return "deldir";
    case DeleteFile: return "delfile";
    case MoveDir: return "movedir";
    case MoveFile: return "movefile";
    case SetParams: return "setparams";
    }
    return "";
}

BaseCommand *makeCommand(Kind kind, const RemoteItemRef &item)
{
    switch (kind) {
    case MakeDir: return new MakeDirCommand(1, item);
    case DeleteDir: return new DeleteDirCommand(2, item);
    case DeleteFile: return new DeleteFileCommand(3, item);
    case MoveDir: return new MoveDirCommand(4, item);
    case MoveFile: return new MoveFileCommand(5, item);
    case SetParams: return new SetParamsCommand(6, item);
    }
    return nullptr;
}

// The user's root folder (id 0) holding
//   docs (folder 40) / report.txt (file 17)
//   photos (folder 1099511627781, beyond 32 bits)
//   fresh (folder 0: made in the client, not yet on the server)
struct Tree {
    ShownRemoteTree shown{QStringList{RemoteListFixture::line(40, true, QStringLiteral("docs"), 0),
                                      RemoteListFixture::line(17, false, QStringLiteral("report.txt"), 40),
                                      RemoteListFixture::line(1099511627781ULL, true, QStringLiteral("photos"), 0)}
                              .join(QLatin1Char('\n'))};
    RemoteFilesTreeModel &model = shown.model();
    RemoteFilesTreeItem *root = shown.root();
    RemoteFilesTreeItem *docs = shown.find(QStringLiteral("docs"));
    RemoteFilesTreeItem *report = shown.find(QStringLiteral("report.txt"));
    RemoteFilesTreeItem *photos = shown.find(QStringLiteral("photos"));
    RemoteFilesTreeItem *fresh = model.addNewFolder(root, QStringLiteral("fresh"));

    RemoteFilesTreeItem *target(Kind kind) const
    {
        switch (kind) {
        case MakeDir: return fresh;
        case DeleteDir:
        case MoveDir: return docs;
        case DeleteFile:
        case MoveFile:
        case SetParams: return report;
        }
        return nullptr;
    }
};

struct Outcome {
    QList<BaseCommand::CommandResult> results;
    QByteArray request;
    int connections = 0;
    RemoteItemChange change;
};

Outcome run(BaseCommand *command, const FakeScript &script)
{
    FakeServer server;
    server.useForSettings();
    server.addScript(script);
    CommandRunner runner(command);
    Outcome outcome;
    if (!runner.run())
        return outcome;
    outcome.results = runner.finishedResults();
    outcome.request = server.received();
    outcome.connections = server.connectionCount();
    outcome.change = runner.command()->getItemChange();
    runner.command()->wait();
    return outcome;
}

FakeScript doneAfterRequest(Kind kind)
{
    return FakeScript().awaitText(wordOf(kind)).pause(20).send(kind == MakeDir ? "done\n5\n" : "done\n").close();
}
} // namespace

Q_DECLARE_METATYPE(Kind)

class TestItemCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void requestFields_data();
    void requestFields();
    void setParamsFields_data();
    void setParamsFields();
    void makeDirReplies_data();
    void makeDirReplies();
    void folderInsideANewFolderNamesItsNewId();
    void otherReplies_data();
    void otherReplies();
    void hostileRepliesEndInTime_data();
    void hostileRepliesEndInTime();
    void unsafeItemDataIsNeverSent_data();
    void unsafeItemDataIsNeverSent();
    void typeStrings_data();
    void typeStrings();
};

void TestItemCommands::initTestCase()
{
    NetworkLimits limits;
    limits.connectMs = limits.writeMs = 2000;
    limits.replyMs = ReplyTimeoutMs;
    limits.replyCompletionMs = CompletionMs;
    NetworkLimits::set(limits);
}

void TestItemCommands::init()
{
    Settings::getInstance()->setLogin(QStringLiteral("alice"));
    Settings::getInstance()->setPass(QStringLiteral("x"));
}

void TestItemCommands::requestFields_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("newName");    // empty: the name stays
    QTest::addColumn<QString>("newParent");  // empty: the item stays where it is
    QTest::addColumn<QByteArray>("fields");

    const QString keep;
    QTest::newRow("makedir under the root folder") << MakeDir << keep << keep << QByteArray("0\tfresh");
    QTest::newRow("makedir names the folder it now hangs in")
        << MakeDir << QStringLiteral("Caf\u00e9 & co") << "photos"
        << QByteArray("1099511627781\tCaf\xe9 & co");
    QTest::newRow("deldir") << DeleteDir << keep << keep << QByteArray("40");
    QTest::newRow("delfile") << DeleteFile << keep << keep << QByteArray("17");
    QTest::newRow("movedir into another folder")
        << MoveDir << keep << "photos" << QByteArray("40\t1099511627781\tdocs");
    QTest::newRow("movedir rename keeps the parent")
        << MoveDir << QStringLiteral("Documents") << keep << QByteArray("40\t0\tDocuments");
    QTest::newRow("movefile moved and renamed")
        << MoveFile << QStringLiteral("r\u00e9sum\u00e9.txt") << "root"
        << QByteArray("17\t0\tr\xe9sum\xe9.txt");
    QTest::newRow("movefile rename") << MoveFile << QStringLiteral("a b.txt") << keep
                                     << QByteArray("17\t40\ta b.txt");
}

void TestItemCommands::requestFields()
{
    QFETCH(Kind, kind);
    QFETCH(QString, newName);
    QFETCH(QString, newParent);
    QFETCH(QByteArray, fields);

    Tree tree;
    RemoteFilesTreeItem *item = tree.target(kind);
    if (!newName.isEmpty())
        tree.model.renameItem(item, newName);
    if (newParent == QLatin1String("photos"))
        QVERIFY(tree.model.moveItem(item, tree.photos));
    else if (newParent == QLatin1String("root"))
        QVERIFY(tree.model.moveItem(item, tree.root));

    const Outcome outcome = run(makeCommand(kind, tree.shown.ref(item)), doneAfterRequest(kind));
    QCOMPARE(outcome.results, QList{BaseCommand::NoError});
    QCOMPARE(outcome.request, prefix + wordOf(kind) + '\n' + fields);
    QCOMPARE(outcome.connections, 1);
}

void TestItemCommands::setParamsFields_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("searchable");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("passwordChanged");
    QTest::addColumn<QByteArray>("fields");

    QTest::newRow("abc, searchable, empty password changed")
        << "abc" << true << "" << true << QByteArray("17\tYWJj\t1\t\t1");
    // Base64 carries TABs and line breaks; Latin-1 characters are one byte each.
    QTest::newRow("multi-line description, password kept")
        << QStringLiteral("two\nlines\t\u00e9") << false << "pa55" << false
        << QByteArray("17\t" + QByteArray("two\nlines\t\xe9").toBase64() + "\t0\tpa55\t0");
    QTest::newRow("empty description gives an empty field")
        << "" << true << QStringLiteral("s\u00e9same") << true << QByteArray("17\t\t1\ts\xe9same\t1");
}

void TestItemCommands::setParamsFields()
{
    QFETCH(QString, description);
    QFETCH(bool, searchable);
    QFETCH(QString, password);
    QFETCH(bool, passwordChanged);
    QFETCH(QByteArray, fields);

    Tree tree;
    tree.model.setItemDescription(tree.report, description);
    tree.model.setItemSearchable(tree.report, searchable);
    if (passwordChanged)
        tree.model.setItemPassword(tree.report, password);
    else
        tree.report->setItemPassword(password); // as a password set and sent earlier

    const Outcome outcome = run(new SetParamsCommand(8, tree.shown.ref(tree.report)), doneAfterRequest(SetParams));
    QCOMPARE(outcome.results, QList{BaseCommand::NoError});
    QCOMPARE(outcome.request, prefix + "setparams\n" + fields);
    QCOMPARE(outcome.change.kind, RemoteItemChange::ParamsSet);
    QVERIFY(!tree.report->isUploaded());
    tree.model.applyChange(outcome.change);
    QVERIFY(tree.report->isUploaded());
}

void TestItemCommands::makeDirReplies_data()
{
    QTest::addColumn<FakeScript>("reply");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<quint64>("id"); // 0: the item keeps id 0 and stays not uploaded

    auto reply = [] { return FakeScript().awaitText("\tfresh"); };
    const auto formatError = BaseCommand::ReceivedDataFormatError;
    QTest::newRow("id and line feed") << reply().send("done\n123\n").close() << BaseCommand::NoError << quint64(123);
    QTest::newRow("id, then the server closes") << reply().send("done\n123").close() << BaseCommand::NoError << quint64(123);
    QTest::newRow("id with blanks, server stays open")
        << reply().send("done\n 77 ") << BaseCommand::NoError << quint64(77);
    QTest::newRow("largest id") << reply().send("done\n2147483647\n").close() << BaseCommand::NoError
                                << quint64(2147483647);
    // A reply in pieces is one reply: the folder was made and has this id.
    QTest::newRow("split inside done and inside the id")
        << reply().send("do").pause(100).send("ne\n12").pause(100).send("3\n").close()
        << BaseCommand::NoError << quint64(123);
    // Only the line after the word is the value, however the reads fell.
    QTest::newRow("id line, then more bytes in the same read")
        << reply().send("done\n123\nabc").close() << BaseCommand::NoError << quint64(123);
    QTest::newRow("nothing after done") << reply().send("done\n").close() << formatError << quint64(0);
    QTest::newRow("letters after done") << reply().send("done\nabc\n").close() << formatError << quint64(0);
    QTest::newRow("above 2147483647") << reply().send("done\n2147483648\n").close() << formatError << quint64(0);
    QTest::newRow("negative id") << reply().send("done\n-5\n").close() << formatError << quint64(0);
    QTest::newRow("id 0") << reply().send("done\n0\n").close() << formatError << quint64(0);
    QTest::newRow("cut inside done") << reply().sendCut("done\n5\n", 3) << formatError << quint64(0);
    QTest::newRow("capital D") << reply().send("Done\n5\n").close() << formatError << quint64(0);
    QTest::newRow("error code in a second piece")
        << reply().send("error\n").pause(100).send("3\n") << BaseCommand::IncorrectCommandError << quint64(0);
    QTest::newRow("error 1") << reply().sendError(1).close() << BaseCommand::IncorrectLoginError << quint64(0);
    QTest::newRow("closed without a reply") << reply().close() << BaseCommand::ConnectionError << quint64(0);
    QTest::newRow("silent server") << reply() << BaseCommand::ConnectionError << quint64(0);
}

void TestItemCommands::makeDirReplies()
{
    QFETCH(FakeScript, reply);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(quint64, id);

    Tree tree;
    auto *command = new MakeDirCommand(11, tree.shown.ref(tree.fresh));
    QCOMPARE(command->getSubject().item(), tree.fresh);
    const Outcome outcome = run(command, reply);
    QCOMPARE(outcome.results, QList{result});
    QCOMPARE(outcome.change.kind, id ? RemoteItemChange::FolderCreated : RemoteItemChange::None);
    QCOMPARE(outcome.change.id, id);
    tree.model.applyChange(outcome.change);
    QCOMPARE(tree.fresh->getItemInnerId(), id);
    QCOMPARE(tree.fresh->isUploaded(), result == BaseCommand::NoError);
}

// A folder upload queues the folder, then what is inside: the inner request is built
// when the outer folder has its id from the server but the GUI thread has not yet
// written it into the item. It must name that id; without it the folder would be
// refused as not on the server.
void TestItemCommands::folderInsideANewFolderNamesItsNewId()
{
    Tree tree;
    RemoteFilesTreeItem *inner = tree.model.addNewFolder(tree.fresh, QStringLiteral("inner"));
    QVERIFY(inner);
    FakeServer server;
    server.useForSettings();
    server.addScript(FakeScript().awaitText("\tfresh").send("done\n123\n").close());
    server.addScript(FakeScript().awaitText("\tinner").send("done\n124\n").close());

    CommandRunner outer(new MakeDirCommand(1, tree.shown.ref(tree.fresh)));
    QVERIFY(outer.run());
    QCOMPARE(outer.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(tree.fresh->getItemInnerId(), 0u);
    CommandRunner innerRunner(new MakeDirCommand(2, tree.shown.ref(inner)));
    QVERIFY(innerRunner.run());
    QCOMPARE(innerRunner.finishedResults(), QList{BaseCommand::NoError});
    QCOMPARE(server.received(1), prefix + "makedir\n123\tinner");

    // The results, applied in the order they came, give the server's tree.
    tree.shown.applyResultOf(*outer.command());
    tree.shown.applyResultOf(*innerRunner.command());
    QCOMPARE(tree.fresh->getItemInnerId(), 123u);
    QCOMPARE(inner->getItemInnerId(), 124u);
    QVERIFY(tree.fresh->isUploaded() && inner->isUploaded());
}

void TestItemCommands::otherReplies_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<FakeScript>("reply");
    QTest::addColumn<BaseCommand::CommandResult>("result");

    const QList<std::tuple<const char *, QByteArray, QByteArray, BaseCommand::CommandResult>> replies{
        {"done", "done\n", {}, BaseCommand::NoError},
        {"letters after done", "done\nabc", {}, BaseCommand::NoError},
        {"split inside done", "don", "e\n", BaseCommand::NoError},
        {"error 2", "error\n2", {}, BaseCommand::IncorrectPasswordError},
        {"unknown word", "ok\n", {}, BaseCommand::ReceivedDataFormatError},
    };
    for (Kind kind : {DeleteDir, DeleteFile, MoveDir, MoveFile, SetParams}) {
        for (const auto &[name, first, second, result] : replies) {
            FakeScript script = FakeScript().awaitText(wordOf(kind)).pause(20).send(first);
            if (!second.isEmpty())
                script.pause(100).send(second);
            QTest::addRow("%s: %s", wordOf(kind), name) << kind << script.close() << result;
        }
    }
}

void TestItemCommands::otherReplies()
{
    QFETCH(Kind, kind);
    QFETCH(FakeScript, reply);
    QFETCH(BaseCommand::CommandResult, result);

    // The item as the GUI leaves it before asking for the command.
    Tree tree;
    RemoteFilesTreeItem *item = tree.target(kind);
    RemoteFilesTreeItem *parent = item->parent();
    const bool deletion = kind == DeleteDir || kind == DeleteFile;
    if (deletion)
        tree.model.markDeleted(item);
    else
        item->setUploaded(false);

    const Outcome outcome = run(makeCommand(kind, tree.shown.ref(item)), reply);
    QCOMPARE(outcome.results, QList{result});
    const bool success = result == BaseCommand::NoError;
    tree.model.applyChange(outcome.change);
    if (deletion) {
        // Unlinked on success only; on failure it stays visible, marked deleted.
        QCOMPARE(parent->getChildItems().contains(item), !success);
        QCOMPARE(tree.model.isShown(item), !success);
        QVERIFY(item->isDeleted());
    } else {
        QCOMPARE(item->isUploaded(), success);
        QCOMPARE(item->parent(), parent);
    }
}

void TestItemCommands::hostileRepliesEndInTime_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<FakeScript>("reply");
    QTest::addColumn<BaseCommand::CommandResult>("result");

    // Each server goes on for about 5 s: far beyond the reply and completion limits.
    constexpr int ServerTalksMs = 5000;
    auto endless = [](Kind kind, const QByteArray &word, const QByteArray &filler, int everyMs) {
        FakeScript script = FakeScript().awaitText(wordOf(kind)).send(word);
        for (int ms = 0; ms < ServerTalksMs; ms += everyMs)
            script.pause(everyMs).send(filler);
        return script.close();
    };
    const QByteArray digits(16 * 1024, '7');
    const auto formatError = BaseCommand::ReceivedDataFormatError;
    // More than a reply can hold, and still no line end: nothing of it is kept.
    QTest::newRow("makedir: endless digits") << MakeDir << endless(MakeDir, "done\n", digits, 20) << formatError;
    QTest::newRow("deldir: endless error code") << DeleteDir << endless(DeleteDir, "error\n", digits, 20)
                                                << formatError;
    // Trickling blanks behind the id: the folder was made, and the command ends
    // once the completion limit has passed, not when the server stops.
    QTest::newRow("makedir: a blank every 50 ms behind the id")
        << MakeDir << endless(MakeDir, "done\n5", " ", 50) << BaseCommand::NoError;
    QTest::newRow("setparams: a letter every 50 ms behind the error word")
        << SetParams << endless(SetParams, "error\n", "x", 50) << formatError;
}

void TestItemCommands::hostileRepliesEndInTime()
{
    QFETCH(Kind, kind);
    QFETCH(FakeScript, reply);
    QFETCH(BaseCommand::CommandResult, result);

    Tree tree;
    RemoteFilesTreeItem *item = tree.target(kind);
    item->setUploaded(false);
    QElapsedTimer elapsed;
    elapsed.start();
    const Outcome outcome = run(makeCommand(kind, tree.shown.ref(item)), reply);
    QCOMPARE(outcome.results, QList{result});
    QVERIFY2(elapsed.elapsed() < 2500, qPrintable(QString::number(elapsed.elapsed())));
    tree.model.applyChange(outcome.change);
    QCOMPARE(item->isUploaded(), result == BaseCommand::NoError);
    if (kind == MakeDir)
        QCOMPARE(item->getItemInnerId(), result == BaseCommand::NoError ? 5u : 0u);
}

void TestItemCommands::unsafeItemDataIsNeverSent_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("onServer"); // false: the item has server id 0
    QTest::addColumn<bool>("inFresh");  // the item hangs in a folder not yet on the server

    const QString none;
    QTest::newRow("makedir name with a TAB") << MakeDir << "a\tb" << none << none << false << false;
    QTest::newRow("makedir name with a line feed") << MakeDir << "a\nb" << none << none << false << false;
    QTest::newRow("makedir name with a carriage return") << MakeDir << "a\rb" << none << none << false << false;
    QTest::newRow("movefile name outside Latin-1")
        << MoveFile << QStringLiteral("\u65e5\u672c.txt") << none << none << true << false;
    QTest::newRow("movedir name with a TAB") << MoveDir << "x\ty" << none << none << true << false;
    QTest::newRow("setparams password with a line feed") << SetParams << none << "a\nb" << none << true << false;
    QTest::newRow("setparams description outside Latin-1")
        << SetParams << none << none << QStringLiteral("5 \u20ac") << true << false;
    QTest::newRow("deldir of a folder the server does not know") << DeleteDir << none << none << none << false << false;
    QTest::newRow("movefile of a file the server does not know") << MoveFile << none << none << none << false << false;
    QTest::newRow("setparams of a file the server does not know") << SetParams << none << none << none << false << false;
    // Its folder's creation failed: the request would name parent id 0, the root folder.
    QTest::newRow("makedir inside a folder not on the server") << MakeDir << none << none << none << false << true;
    QTest::newRow("movefile into a folder not on the server") << MoveFile << none << none << none << true << true;
}

void TestItemCommands::unsafeItemDataIsNeverSent()
{
    QFETCH(Kind, kind);
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, description);
    QFETCH(bool, onServer);
    QFETCH(bool, inFresh);

    Tree tree;
    RemoteFilesTreeItem *item = tree.target(kind);
    if (inFresh && kind == MakeDir)
        item = tree.model.addNewFolder(tree.fresh, QStringLiteral("inner"));
    else if (inFresh)
        QVERIFY(tree.model.moveItem(item, tree.fresh));
    QVERIFY(item);
    if (!name.isEmpty())
        tree.model.renameItem(item, name);
    if (!password.isEmpty())
        tree.model.setItemPassword(item, password);
    if (!description.isEmpty())
        tree.model.setItemDescription(item, description);
    if (!onServer)
        item->setItemInnerId(0);
    item->setUploaded(false);

    const Outcome outcome = run(makeCommand(kind, tree.shown.ref(item)), doneAfterRequest(kind));
    QCOMPARE(outcome.results, QList{BaseCommand::InitialDataFormatError});
    QCOMPARE(outcome.connections, 0);
    QCOMPARE(outcome.change.kind, RemoteItemChange::None);
    tree.model.applyChange(outcome.change);
    QVERIFY(!item->isUploaded());
    QVERIFY(item->parent()->getChildItems().contains(item));
}

void TestItemCommands::typeStrings_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("text");

    // The name <i>a&b</i> is shown as rich text and must stay a name.
    const QString name = QStringLiteral("&lt;i&gt;a&amp;b&lt;/i&gt;");
    QTest::newRow("makedir") << MakeDir << "Create directory <b>" + name + "</b>";
    QTest::newRow("deldir") << DeleteDir << "Delete directory <b>" + name + "</b>";
    QTest::newRow("delfile") << DeleteFile << "Delete file <b>" + name + "</b>";
    QTest::newRow("movedir") << MoveDir << "Move directory <b>" + name + "</b>";
    QTest::newRow("movefile") << MoveFile << "Move file <b>" + name + "</b>";
    QTest::newRow("setparams") << SetParams << "Set parameters for <b>" + name + "</b>";
}

void TestItemCommands::typeStrings()
{
    QFETCH(Kind, kind);
    QFETCH(QString, text);

    Tree tree;
    RemoteFilesTreeItem *item = tree.target(kind);
    tree.model.renameItem(item, QStringLiteral("<i>a&b</i>"));
    std::unique_ptr<BaseCommand> command(makeCommand(kind, tree.shown.ref(item)));
    QCOMPARE(command->getCommandTypeString(), text);
}

QTEST_GUILESS_MAIN(TestItemCommands)
#include "tst_itemcommands.moc"
