#include "uploadhttprequest.h"

#include "wire/wire.h"

#include <QList>

namespace {

const QByteArray RequestEnd = QByteArrayLiteral("\r\n\r\n");

} // namespace

UploadHttpRequest::State UploadHttpRequest::feed(const QByteArray &bytes)
{
    lastHttpRequest += bytes;
    if (!isInHttpRequest) {
        const qsizetype get = lastHttpRequest.indexOf("GET");
        if (get < 0) {
            // The request may still begin in the next piece if this one ends in "G" or "GE".
            const bool maybeStart = lastHttpRequest.endsWith('G') || lastHttpRequest.endsWith("GE");
            if (maybeStart && lastHttpRequest.size() < MaxRequestSize) {
                lastHttpRequest = lastHttpRequest.right(lastHttpRequest.endsWith('G') ? 1 : 2);
                return State::Incomplete;
            }
            clear();
            return State::NotARequest;
        }
        lastHttpRequest.remove(0, get);
        isInHttpRequest = true;
    }
    const qsizetype end = lastHttpRequest.indexOf(RequestEnd);
    if (end < 0)
        return lastHttpRequest.size() < MaxRequestSize ? State::Incomplete : State::NotARequest;
    // Anything behind the empty line is not part of this request.
    lastHttpRequest.truncate(end + RequestEnd.size());
    return State::Complete;
}

void UploadHttpRequest::clear()
{
    isInHttpRequest = false;
    lastHttpRequest.clear();
}

bool UploadHttpRequest::parseRequest(quint64 &firstByte, quint64 &lastByte) const
{
    firstByte = 0;
    lastByte = 0;
    bool first = true;
    for (qsizetype from = 0; from < lastHttpRequest.size();) {
        qsizetype to = lastHttpRequest.indexOf("\r\n", from);
        if (to < 0)
            to = lastHttpRequest.size();
        const QByteArray line = lastHttpRequest.mid(from, to - from);
        from = to + 2;
        if (line.isEmpty())
            continue;
        if (first) {
            if (!line.startsWith("GET file "))
                return false;
            first = false;
            continue;
        }
        const qsizetype colon = line.indexOf(": ");
        // Exactly one ": " separates name and value.
        if (colon < 0 || line.indexOf(": ", colon + 2) >= 0)
            continue;
        if (line.left(colon).compare("Content-Range", Qt::CaseInsensitive) != 0)
            continue;
        const QList<QByteArray> range = line.mid(colon + 2).split('-');
        if (range.size() != 2)
            continue;
        firstByte = Wire::readRequestedRangeNumber(range.at(0));
        lastByte = Wire::readRequestedRangeNumber(range.at(1));
        if (lastByte < firstByte)
            lastByte = 0;
    }
    return !first;
}

UploadHttpRequest::Answer UploadHttpRequest::answer(quint64 firstByte, quint64 lastByte, qint64 fileSize)
{
    const quint64 size = quint64(qMax<qint64>(fileSize, 0));
    Answer a;
    if (firstByte == 0 || size == 0) {
        // The whole file, whatever the last byte says; an empty file has no byte to start at.
        a.firstByte = 0;
        a.contentLength = qint64(size);
    } else {
        const quint64 start = firstByte >= size ? size - 1 : firstByte;
        a.firstByte = qint64(start);
        a.contentLength = (lastByte == 0 || lastByte >= size) ? qint64(size - start)
                                                              : qint64(lastByte - start + 1);
    }
    const QByteArray last = lastByte == 0 ? QByteArray("*") : QByteArray::number(lastByte);
    a.header = "HTTP/1.1 200 OK\r\n"
               "Connection: close\r\n"
               "Content-Type: application/octet-stream\r\n"
               "Content-Length: " + QByteArray::number(a.contentLength) + "\r\n"
               "Content-Range: " + QByteArray::number(a.firstByte) + '-' + last + '/'
             + QByteArray::number(fileSize) + "\r\n"
               "\r\n";
    return a;
}

QByteArray UploadHttpRequest::notFoundResponse()
{
    return QByteArrayLiteral("HTTP/1.1 404 Not Found\r\n\r\n");
}
