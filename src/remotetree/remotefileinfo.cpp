#include "remotefileinfo.h"

#include <QLocale>

RemoteFileInfo::RemoteFileInfo(quint64 id, quint64 parentId, bool isDir, const QString &name,
                               quint64 size, const QDateTime &date, bool uploaded)
{
    initItem(id, parentId, isDir, name, size, date, uploaded);
}

RemoteFileInfo::RemoteFileInfo(quint64 id, quint64 parentId, bool isDir, const QString &name,
                               quint64 size, quint32 date, bool uploaded)
{
    // Kept in UTC: converting a million list dates to local time up front costs more
    // than building the rest of the tree; getDate() converts on demand.
    initItem(id, parentId, isDir, name, size, QDateTime::fromSecsSinceEpoch(date, Qt::UTC),
             uploaded);
}

void RemoteFileInfo::initItem(quint64 id, quint64 parentId, bool isDir, const QString &name,
                              quint64 size, const QDateTime &date, bool uploaded)
{
    this->id = id;
    this->parentId = parentId;
    itemIsDir = isDir;
    this->name = name;
    fileSize = size;
    fileDate = date;
    itemIsUploaded = uploaded;
    itemIsDeleted = false;
    itemPasswordModify = false;
    itemIsUrl = false;
    itemIsSearchable = true;
    itemIsAvailable = true;
}

void RemoteFileInfo::setUrl(const QString &value)
{
    url = value;
    itemIsUrl = true;
}

QString RemoteFileInfo::size() const
{
    if (itemIsDir)
        return QString();
    const QLocale locale;
    if (fileSize >= (Q_UINT64_C(1) << 40))
        return locale.toString(fileSize / (Q_UINT64_C(1) << 40)) + QLatin1String(" TB");
    if (fileSize >= (Q_UINT64_C(1) << 30))
        return locale.toString(fileSize >> 30) + QLatin1String(" GB");
    if (fileSize >= (Q_UINT64_C(1) << 20))
        return locale.toString(fileSize >> 20) + QLatin1String(" MB");
    if (fileSize >= 1024)
        return locale.toString(fileSize >> 10) + QLatin1String(" KB");
    return locale.toString(fileSize) + QLatin1String(" bytes");
}

QString RemoteFileInfo::getFormattedDate() const
{
    return QLocale::system().toString(getDate(), QLocale::LongFormat);
}

QVariant RemoteFileInfo::value(int column) const
{
    if (column == 0)
        return name;
    if (column < 0 || column > 4 || isRootRecord())
        return QVariant();
    switch (column) {
    case 1:
        return itemIsDir ? QVariant() : QVariant(size());
    case 2:
        return itemIsDir ? QStringLiteral("Dir") : QStringLiteral("File");
    case 3:
        return itemIsUploaded ? QStringLiteral("Yes") : QStringLiteral("No");
    default:
        return itemIsDir ? QVariant() : QVariant(getFormattedDate());
    }
}
