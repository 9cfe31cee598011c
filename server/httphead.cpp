#include "httphead.h"

bool HttpHead::take(QByteArray &buffer, bool *tooLong)
{
    *tooLong = false;
    const int end = int(buffer.indexOf("\r\n\r\n"));
    if (end < 0) {
        *tooLong = buffer.size() > MaxSize;
        return false;
    }
    if (end > MaxSize) {
        *tooLong = true;
        return false;
    }
    lines = buffer.left(end).split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    buffer.remove(0, end + 4);
    return true;
}

QByteArray HttpHead::header(const QByteArray &name) const
{
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = int(lines[i].indexOf(':'));
        if (colon > 0 && lines[i].left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            return value.isNull() ? QByteArray("") : value;
        }
    }
    return QByteArray();
}
