#include "remotelistfixture.h"

#include "remote/remotefilestreeitem.h"

QString RemoteListFixture::line(quint64 id, bool isDir, const QString &name, quint64 parentId,
                                quint64 size, quint32 date, const QString &description,
                                bool searchable, const QString &segment, bool available)
{
    return QStringList{QString::number(id),
                       isDir ? QStringLiteral("1") : QStringLiteral("0"),
                       name,
                       QString::number(parentId),
                       QString::number(size),
                       QString::number(date),
                       QString::fromLatin1(description.toLatin1().toBase64()),
                       searchable ? QStringLiteral("1") : QStringLiteral("0"),
                       QString(),
                       segment,
                       available ? QStringLiteral("1") : QStringLiteral("0")}
        .join(QLatin1Char('\t'));
}

QString RemoteListFixture::render(const RemoteFilesTreeItem *item)
{
    QString text = item->getItemInnerName();
    if (!item->isFileAvailable())
        text += QLatin1Char('!');
    if (!item->isDir())
        return text;
    QStringList children;
    for (const RemoteFilesTreeItem *child : item->getChildItems())
        children.append(render(child));
    return text + QLatin1Char('{') + children.join(QLatin1Char(',')) + QLatin1Char('}');
}
