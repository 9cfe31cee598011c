// The control replies of the six commands that change one remote item: when a reply
// can be judged, and what the verdict does to the item once the model has applied it.
// Every command gets the same bytes. Whatever they are:
//  - the command itself leaves the item alone: only the change it hands back does
//    anything, and only on success;
//  - only "done\n" is success; a new folder then has a positive 32-bit id, read from
//    the line after the word;
//  - a failure leaves the item as the user left it;
//  - the verdict does not depend on how the bytes were split into reads: judging the
//    shortest prefix that can be judged gives what judging all of them gives.
#include "network/deletedircommand.h"
#include "network/deletefilecommand.h"
#include "network/makedircommand.h"
#include "network/movedircommand.h"
#include "network/movefilecommand.h"
#include "network/setparamscommand.h"
#include "remote/remotefilestreeitem.h"
#include "remotetree/remotefilestreemodel.h"
#include "wire/replyframer.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

enum Kind { MakeDir, DeleteDir, DeleteFile, MoveDir, MoveFile, SetParams };
constexpr Kind kinds[] = {MakeDir, DeleteDir, DeleteFile, MoveDir, MoveFile, SetParams};

// The user's root folder / folder "docs" (40) / the item: a folder made in the client
// (id 0) for makedir, a listed folder or file with id 17 for the others, as the GUI
// leaves it before it asks for the command; shown by the model that applies the verdict.
struct Tree {
    RemoteFilesTreeModel model;
    RemoteFilesTreeItem *docs;
    RemoteFilesTreeItem *item;

    explicit Tree(Kind kind) : model(RemoteTree::fromList(listFor(kind), QStringLiteral("root")))
    {
        docs = model.getRootItem()->child(0);
        if (kind == MakeDir) {
            item = model.addNewFolder(docs, QStringLiteral("item"));
        } else {
            item = docs->child(0);
            item->setUploaded(false);
            if (kind == DeleteDir || kind == DeleteFile)
                model.markDeleted(item);
        }
    }

    static QString listFor(Kind kind)
    {
        const QString docs = QStringLiteral("40\t1\tdocs\t0\t0\t1262304000\t\t1\t\t\t1");
        if (kind == MakeDir)
            return docs;
        const bool isDir = kind == DeleteDir || kind == MoveDir;
        return docs + QStringLiteral("\n17\t%1\titem\t40\t0\t1262304000\t\t1\t\tseg\t1").arg(isDir ? 1 : 0);
    }
};

std::unique_ptr<ItemCommand> commandFor(Kind kind, const RemoteItemRef &item)
{
    switch (kind) {
    case MakeDir: return std::make_unique<MakeDirCommand>(1, item);
    case DeleteDir: return std::make_unique<DeleteDirCommand>(1, item);
    case DeleteFile: return std::make_unique<DeleteFileCommand>(1, item);
    case MoveDir: return std::make_unique<MoveDirCommand>(1, item);
    case MoveFile: return std::make_unique<MoveFileCommand>(1, item);
    case SetParams: return std::make_unique<SetParamsCommand>(1, item);
    }
    return nullptr;
}

struct Verdict {
    BaseCommand::CommandResult result;
    quint64 id;
    bool uploaded;
    bool linked;

    bool operator==(const Verdict &other) const
    {
        return result == other.result && id == other.id && uploaded == other.uploaded
            && linked == other.linked;
    }
};

Verdict judge(Kind kind, const QByteArray &reply)
{
    Tree tree(kind);
    const auto command = commandFor(kind, tree.model.refFor(tree.item));
    const quint64 idBefore = tree.item->getItemInnerId();
    const BaseCommand::CommandResult result = command->judgeReply(reply);
    check(tree.item->getItemInnerId() == idBefore && !tree.item->isUploaded());
    check((command->getItemChange().kind == RemoteItemChange::None) == (result != BaseCommand::NoError));
    tree.model.applyChange(command->getItemChange());
    const Verdict verdict{result, tree.item->getItemInnerId(), tree.item->isUploaded(),
                          tree.docs->containsChild(tree.item)};

    switch (result) {
    case BaseCommand::NoError:
        check(reply.startsWith("done\n"));
        break;
    case BaseCommand::IncorrectLoginError:
    case BaseCommand::IncorrectPasswordError:
    case BaseCommand::IncorrectCommandError:
    case BaseCommand::UnknownError:
        check(reply.startsWith("error\n"));
        break;
    case BaseCommand::ReceivedDataFormatError:
        break;
    default:
        check(false);
    }

    const bool success = result == BaseCommand::NoError;
    const bool deletion = kind == DeleteDir || kind == DeleteFile;
    if (kind == MakeDir) {
        check(success == (verdict.id != 0));
        check(verdict.id <= quint64(std::numeric_limits<int>::max()));
        if (success) {
            const qsizetype lineEnd = reply.indexOf('\n', 5);
            const QByteArray line = reply.mid(5, lineEnd < 0 ? -1 : lineEnd - 5).trimmed();
            check(line.toULongLong() == verdict.id);
        }
    } else {
        check(verdict.id == 17);
    }
    check(verdict.uploaded == (success && !deletion));
    check(verdict.linked == !(success && deletion));
    return verdict;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The model's timers need an event dispatcher on this thread.
    static int argc = 1;
    static char name[] = "fuzz_itemreply";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const Kind kind : kinds) {
        // An incomplete reply is judged too when the server closes or falls silent.
        const Verdict whole = judge(kind, reply);
        const ReplyFramer::Kind framing =
            kind == MakeDir ? ReplyFramer::Kind::ReplyWithValue : ReplyFramer::Kind::Reply;
        if (ReplyFramer::judgeableLength(reply, framing) == 0)
            continue;
        // The reader stops at the first prefix that can be judged when the bytes
        // arrive one at a time.
        qsizetype shortest = 1;
        while (ReplyFramer::judgeableLength(reply.left(shortest), framing) == 0)
            ++shortest;
        check(judge(kind, reply.left(shortest)) == whole);
    }
    return 0;
}
