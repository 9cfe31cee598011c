#include "rowchanges.h"

#include <QModelIndex>
#include <QSignalSpy>

bool dataChangedCovers(const QSignalSpy &dataChanged, const QModelIndex &index)
{
    for (const QList<QVariant> &signal : dataChanged) {
        const QModelIndex from = signal.at(0).toModelIndex();
        const QModelIndex to = signal.at(1).toModelIndex();
        if (from.parent() == index.parent() && from.row() <= index.row() && index.row() <= to.row()
            && from.column() <= index.column() && index.column() <= to.column())
            return true;
    }
    return false;
}
