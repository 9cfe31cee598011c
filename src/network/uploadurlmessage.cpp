#include "uploadurlmessage.h"

#include <QList>

#include <limits>

namespace {

// Digits only, at least one, and the value fits 64 bits.
bool parseDecimal(const QByteArray &text, quint64 &value)
{
    if (text.isEmpty())
        return false;
    quint64 result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        const quint64 digit = quint64(c - '0');
        if (result > (std::numeric_limits<quint64>::max() - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

} // namespace

bool UploadUrlMessage::parseProgress(const QByteArray &message, quint64 &curr, quint64 &total)
{
    if (!isProgress(message))
        return false;
    const QList<QByteArray> parts = message.mid(9).split('\t');
    quint64 first = 0;
    quint64 second = 0;
    if (parts.size() < 2 || !parseDecimal(parts.at(0), first) || !parseDecimal(parts.at(1), second))
        return false;
    curr = first;
    total = second;
    return true;
}

bool UploadUrlMessage::parseDone(const QByteArray &message, quint64 &id, quint64 &size,
                                 QByteArray &filesystemName)
{
    if (!isDone(message))
        return false;
    const QList<QByteArray> parts = message.mid(5).split('\t');
    quint64 newId = 0;
    quint64 newSize = 0;
    if (parts.size() < 3 || !parseDecimal(parts.at(0).trimmed(), newId)
        || !parseDecimal(parts.at(1).trimmed(), newSize))
        return false;
    id = newId;
    size = newSize;
    filesystemName = parts.at(2).trimmed();
    return true;
}
