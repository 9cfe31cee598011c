#include "itemchangelog.h"

#include "network/basecommand.h"
#include "network/mainnetworkthread.h"

#include <QTest>

ItemChangeLog::ItemChangeLog(MainNetworkThread *scheduler, QObject *parent) : QObject(parent)
{
    BaseCommand::registerMetaTypes();
    // Queued, as the models' own connections are across threads: the log records in
    // the order of the GUI thread's events, behind the applyChange of earlier models.
    connect(scheduler, &MainNetworkThread::remoteItemChanged, this,
            [this](const RemoteItemChange &change) { changes.append(change); },
            Qt::QueuedConnection);
}

QList<RemoteItemChange> ItemChangeLog::of(RemoteItemChange::Kind kind) const
{
    QList<RemoteItemChange> matching;
    for (const RemoteItemChange &change : changes) {
        if (change.kind == kind)
            matching.append(change);
    }
    return matching;
}

bool ItemChangeLog::waitFor(RemoteItemChange::Kind kind, qsizetype count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return this->count(kind) >= count; }, timeoutMs);
}
