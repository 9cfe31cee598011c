#pragma once

#include <QString>
#include <QStringList>

class RemoteFilesTreeItem;

// Builds lines of the server's list format and renders trees as compact text, so tree
// tests can state a whole expected tree in one table cell.
class RemoteListFixture final
{
public:
    // One line with all eleven fields.
    static QString line(quint64 id, bool isDir, const QString &name, quint64 parentId,
                        quint64 size = 0, quint32 date = 0, const QString &description = QString(),
                        bool searchable = true, const QString &segment = QStringLiteral("seg"),
                        bool available = true);
    // "name{child,child}" depth-first in display order; a folder's braces show even
    // when empty, files have none. Unavailable items end in "!".
    static QString render(const RemoteFilesTreeItem *item);

private:
    RemoteListFixture() = delete;
};
