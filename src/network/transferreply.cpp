#include "transferreply.h"

#include <QList>

bool TransferReply::parseReadyPort(const QByteArray &reply, quint16 &port)
{
    if (!isReady(reply))
        return false;
    bool ok = false;
    const int number = reply.mid(6).trimmed().toInt(&ok, 10);
    if (!ok)
        return false;
    port = quint16(number & 0xffff);
    return true;
}

bool TransferReply::parseDone(const QByteArray &reply, quint64 &id, QByteArray &filesystemName)
{
    if (!isDone(reply))
        return false;
    const QList<QByteArray> fields = reply.mid(5).split('\t');
    if (fields.size() < 2)
        return false;
    const QByteArray number = fields.at(0).trimmed();
    // Server ids are unsigned 64-bit; a sign is not part of one.
    if (number.startsWith('-') || number.startsWith('+'))
        return false;
    bool ok = false;
    const quint64 value = number.toULongLong(&ok, 10);
    if (!ok)
        return false;
    id = value;
    filesystemName = fields.at(1).trimmed();
    return true;
}
