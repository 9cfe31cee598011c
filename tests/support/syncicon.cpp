#include "syncicon.h"

#include <QIcon>
#include <QImage>
#include <QModelIndex>

QString syncIconOf(const QModelIndex &index)
{
    const QVariant decoration = index.data(Qt::DecorationRole);
    if (decoration.isNull())
        return QStringLiteral("none");
    const QImage shown = decoration.value<QIcon>().pixmap(16, 16).toImage();
    for (const char *name : {"uploadedIcon", "notUploadedIcon", "notAvailableIcon"}) {
        const QString icon = QLatin1String(name);
        if (shown == QIcon(QStringLiteral(":/icons/") + icon).pixmap(16, 16).toImage())
            return icon;
    }
    return QStringLiteral("other");
}
