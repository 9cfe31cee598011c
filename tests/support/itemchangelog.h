#pragma once

#include "remote/remoteitemchange.h"

#include <QList>
#include <QObject>

class MainNetworkThread;

// Records what a scheduler's successful commands did to remote items
// (MainNetworkThread::remoteItemChanged) on the thread the log lives on, the GUI
// thread. A model connected to the scheduler before the log was made has applied a
// change by the time the log records it, so a test that sees the change here sees the
// item afterwards too. The changes hold their items' trees: items taken out of a
// tree stay readable while the log lives.
//
//   RemoteFilesTreeModel model(list);
//   model.setScheduler(scheduler);
//   ItemChangeLog changes(scheduler);
//   ...
//   QVERIFY(changes.waitFor(RemoteItemChange::FolderCreated, 3));
class ItemChangeLog final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ItemChangeLog)

public:
    explicit ItemChangeLog(MainNetworkThread *scheduler, QObject *parent = nullptr);

    const QList<RemoteItemChange> &all() const { return changes; }
    // The changes of one kind, in the order they arrived.
    QList<RemoteItemChange> of(RemoteItemChange::Kind kind) const;
    qsizetype count(RemoteItemChange::Kind kind) const { return of(kind).size(); }
    // Processes events until at least `count` changes of that kind were recorded.
    bool waitFor(RemoteItemChange::Kind kind, qsizetype count, int timeoutMs = 15000);

private:
    QList<RemoteItemChange> changes;
};
