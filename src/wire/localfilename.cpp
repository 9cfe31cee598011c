#include "localfilename.h"

#include <QStringView>
#include <QUrl>

bool LocalFileName::isSafe(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    // Backslashes too: they separate folders on other systems the files may travel to.
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() == 0)
            return false;
    }
    return true;
}

bool LocalFileName::isSafeTargetPath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return false;
    const qsizetype lastSlash = path.lastIndexOf(QLatin1Char('/'));
    if (!isSafe(path.mid(lastSlash + 1)))
        return false;
    for (QStringView entry : QStringView(path).tokenize(u'/')) {
        if (entry == u"." || entry == u"..")
            return false;
    }
    return true;
}

QString LocalFileName::fromUrl(const QString &url)
{
    QString name = url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype question = name.lastIndexOf(QLatin1Char('?'));
    if (question >= 0)
        name.truncate(question);
    // UTF-8, not Latin-1: characters typed as they are (not escaped) keep their meaning.
    return QUrl::fromPercentEncoding(name.toUtf8()).trimmed();
}
