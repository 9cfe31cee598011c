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
    //: File size; %1 is a whole number in the user's locale
    if (fileSize >= (Q_UINT64_C(1) << 40))
        return tr("%1 TB").arg(locale.toString(fileSize / (Q_UINT64_C(1) << 40)));
    if (fileSize >= (Q_UINT64_C(1) << 30))
        return tr("%1 GB").arg(locale.toString(fileSize >> 30));
    if (fileSize >= (Q_UINT64_C(1) << 20))
        return tr("%1 MB").arg(locale.toString(fileSize >> 20));
    if (fileSize >= 1024)
        return tr("%1 KB").arg(locale.toString(fileSize >> 10));
    //: File size below one kilobyte; %1 is the number of bytes in the user's locale
    return tr("%1 bytes").arg(locale.toString(fileSize));
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
        //: Type column of the remote tree: a folder
        return itemIsDir ? tr("Dir")
                         //: Type column of the remote tree: a file
                         : tr("File");
    case 3:
        //: Uploaded column of the remote tree: the file is complete on the server
        return itemIsUploaded ? tr("Yes")
                              //: Uploaded column of the remote tree: the file is not complete yet
                              : tr("No");
    default:
        return itemIsDir ? QVariant() : QVariant(getFormattedDate());
    }
}
