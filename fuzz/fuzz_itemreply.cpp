// The control replies of the six commands that change one remote item: when a reply
// can be judged, and what the verdict does to the item. Every command gets the same
// bytes. Whatever they are:
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
#include "remotetree/remotefileinfo.h"
#include "remotetree/remotefilestreeitem.h"

#include <QByteArray>
#include <QDateTime>

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

// root / folder "docs" (40) / the item: a folder made in the client (id 0) for
// makedir, a folder or file with id 17 for the others, as the GUI leaves it.
struct Tree {
    std::unique_ptr<RemoteFilesTreeItem> root{new RemoteFilesTreeItem(nullptr)};
    RemoteFilesTreeItem *docs;
    RemoteFilesTreeItem *item;

    explicit Tree(Kind kind)
    {
        const QDateTime date = QDateTime::fromSecsSinceEpoch(1262304000);
        docs = new RemoteFilesTreeItem(RemoteFileInfo(40, 0, true, QStringLiteral("docs"), 0, date, true),
                                       root.get());
        root->appendChild(docs);
        const bool isDir = kind == MakeDir || kind == DeleteDir || kind == MoveDir;
        item = new RemoteFilesTreeItem(RemoteFileInfo(kind == MakeDir ? 0 : 17, 40, isDir,
                                                      QStringLiteral("item"), 0, date, false),
                                       docs);
        docs->appendChild(item);
        item->setItemDeleted(kind == DeleteDir || kind == DeleteFile);
    }
    ~Tree()
    {
        // An unlinked item belongs to nobody.
        if (!docs->containsChild(item))
            delete item;
    }
};

std::unique_ptr<ItemCommand> commandFor(Kind kind, RemoteFilesTreeItem *item)
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
    const auto command = commandFor(kind, tree.item);
    const BaseCommand::CommandResult result = command->judgeReply(reply);
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
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const Kind kind : kinds) {
        // An incomplete reply is judged too when the server closes or falls silent.
        const Verdict whole = judge(kind, reply);
        const bool valueExpected = kind == MakeDir;
        if (!ItemCommand::isReplyComplete(reply, valueExpected))
            continue;
        // The reader stops at the first prefix that can be judged when the bytes
        // arrive one at a time.
        qsizetype shortest = 1;
        while (!ItemCommand::isReplyComplete(reply.left(shortest), valueExpected))
            ++shortest;
        check(judge(kind, reply.left(shortest)) == whole);
    }
    return 0;
}
