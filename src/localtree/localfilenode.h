#pragma once

#include <QCollatorSortKey>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

class QCollator;

// One entry of the local pane with what a folder scan gathered of it (kind, size,
// date, a collation key of its name), so that painting and sorting never ask the
// file system again. A folder owns its children: those shown as rows, in row order,
// and those read but not yet handed to the views.
class LocalFileNode final
{
    Q_DISABLE_COPY_MOVE(LocalFileNode)

public:
    enum class Load { NotRead, Reading, Read };

    LocalFileNode(const QString &name, const QCollatorSortKey &nameKey);
    ~LocalFileNode();

    // Reads kind, size and date of the entry `path` (following a link; a dangling link
    // is a file of its own). False when there is nothing at `path`.
    bool readStatus(const QByteArray &localPath);
    // The status of the entry `name` in the open folder `folderFd`.
    bool readStatusAt(int folderFd, const char *name);

    QString path() const;
    // Gives the rows from `from` on their numbers again (and their parent: children
    // that wait to be shown have none yet).
    void renumberChildren(int from = 0);
    // The shown or waiting child of that name, or null.
    LocalFileNode *child(const QString &childName) const { return childByName.value(childName); }
    void adopt(LocalFileNode *child);
    // Takes a first reading's entries, to be shown later, with their table by name.
    void adoptListed(std::vector<LocalFileNode *> &&entries,
                     QHash<QString, LocalFileNode *> &&byName);
    void forget(LocalFileNode *child);

    // The order of the column: folders first, then by name (natural, case-insensitive),
    // size, type (the name's suffix) or date, ties broken by name.
    using LessThan = std::function<bool(const LocalFileNode *, const LocalFileNode *)>;
    static LessThan lessThan(int column, Qt::SortOrder order);
    // The collator whose keys the nodes carry: natural order of digits, case-insensitive.
    static void configureCollator(QCollator &collator);

    const QString name;
    const QCollatorSortKey nameKey;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    bool isDir = false;
    // Null while it waits to be shown.
    LocalFileNode *parent = nullptr;
    // Its row under its parent, or -1 while it waits to be shown.
    int row = -1;
    QList<LocalFileNode *> children;
    std::vector<LocalFileNode *> waitingChildren;
    Load load = Load::NotRead;
    // The newest scan asked for this folder; older answers are dropped.
    quint64 scanTicket = 0;

private:
    void setStatus(bool dir, qint64 bytes, qint64 mtimeMs);

    QHash<QString, LocalFileNode *> childByName;
};
