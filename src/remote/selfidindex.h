#pragma once

#include <QHash>

#include <vector>

class RemoteFilesTreeItem;

// Finds a tree's items by self id. The items of one list are made one after another,
// so their ids mostly follow each other (items made meanwhile by other threads, and
// lines refused, leave small holes): those live in a vector, a pointer each, indexed
// from the first id. Items that do not fit the run go in a hash. A million items cost
// 8 MB here rather than about 30 in a hash alone.
class SelfIdIndex
{
public:
    void reserve(qsizetype count) { run.reserve(run.size() + size_t(count)); }
    void insert(quint64 id, RemoteFilesTreeItem *item);
    void remove(quint64 id);
    RemoteFilesTreeItem *value(quint64 id) const;
    qsizetype size() const { return runCount + others.size(); }

private:
    bool inRun(quint64 id) const { return id >= runStart && id - runStart < run.size(); }

    quint64 runStart = 0;
    std::vector<RemoteFilesTreeItem *> run;
    qsizetype runCount = 0;
    QHash<quint64, RemoteFilesTreeItem *> others;
};
