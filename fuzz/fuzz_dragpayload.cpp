// A "text/uri-list" payload dropped onto the remote tree: "/getfile/" and "/getdir/"
// paths that move items, and anything else a drag may carry. Whatever it names, the
// tree stays finite, loop-free and consistent.
//
// Item numbers in the payload count from the model's own first number, so a seed
// keeps naming the same items although every model numbers its items afresh. Local
// files are left out: dropping them reads the disk, which is not what is fuzzed here.
#include "remotetree/remotefilestreemodel.h"
#include "treecheck.h"
#include "wire/wire.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include <cstddef>
#include <cstdint>

namespace {
const QString list = QStringLiteral(
    "120\t1\tPhotos\t0\t0\t1262304000\t\t0\t\t\t1\n"
    "121\t0\tbeach.jpg\t120\t204800\t1262390400\tU3VtbWVy\t1\t\ta1b2c3\t1\n"
    "122\t0\tnotes.txt\t0\t1500\t1262476800\t\t0\t\td4e5f6\t0\n"
    "123\t1\tTrips\t120\t0\t1262304000\t\t0\t\t\t1\n"
    "124\t0\tmap.png\t123\t10\t1262304000\t\t0\t\tf00f00\t1\n");
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_dragpayload";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size == 0)
        return 0;

    RemoteFilesTreeModel model(list);
    const quint64 base = model.getRootItem()->parent()->getItemSelfId();
    QString payload = QString::fromLatin1(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    static const QRegularExpression selfId(QStringLiteral("(get(?:file|dir)/[^/\\s]*/)(\\d{1,4})"));
    QString rebased;
    qsizetype from = 0;
    for (auto it = selfId.globalMatch(payload); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        rebased += payload.mid(from, match.capturedStart() - from) + match.captured(1)
            + QString::number(base + match.captured(2).toULongLong());
        from = match.capturedEnd();
    }
    rebased += payload.mid(from);

    QMimeData probe;
    probe.setData(QStringLiteral("text/uri-list"), rebased.toLatin1());
    QList<QUrl> urls;
    for (const QUrl &url : probe.urls()) {
        if (!url.isLocalFile())
            urls.append(url);
    }
    QMimeData mime;
    mime.setUrls(urls);

    // The first byte picks where it lands: the user's folder, or one of its rows.
    const QModelIndex top = model.index(0, 0);
    const int row = int(data[0] % 4) - 1;
    const Qt::DropAction action = data[0] & 0x80 ? Qt::CopyAction : Qt::MoveAction;
    model.dropMimeData(&mime, action, row, 0, top);
    struct ModelLookup {
        const RemoteFilesTreeModel &model;
        RemoteFilesTreeItem *itemBySelfId(quint64 selfId) const { return model.getItemBySelfId(selfId); }
    };
    checkTree(model.getRootItem(), ModelLookup{model}, false);

    // What a drag payload names survives being written again.
    for (const QUrl &url : std::as_const(urls)) {
        const Wire::DragEntry entry = Wire::decodeDragEntry(url.toString());
        if (entry.kind != Wire::DragEntry::File && entry.kind != Wire::DragEntry::Folder)
            continue;
        const Wire::DragEntry again = Wire::decodeDragEntry(
            Wire::encodeDragEntry(entry.kind == Wire::DragEntry::Folder, entry.id, entry.selfId));
        check(again.kind == entry.kind && again.id == entry.id && again.selfId == entry.selfId);
    }
    return 0;
}
