#pragma once

#include "network/networklimits.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

class QFile;

// One HTTP GET, run blocking with libcurl on the calling thread, whose body is written
// into a local file at a resume offset. It guards the user's file:
//  - only 200 (the whole file) and 206 (a part) write; any other status (3xx, 4xx, 5xx,
//    and the other 2xx: 204 No Content, 202 Accepted...) writes nothing and fails;
//  - a 206 answer must start exactly at the offset, or nothing is written;
//  - a 200 answer to a request with an offset carries the whole file: the copy then
//    starts again from byte 0 (the file is cut to the new bytes), so the file never
//    holds the front of one copy and the rest of another;
//  - a 416 answer stating the file's size as the offset means the copy is complete;
//  - the body must end exactly where the answer said it would: where the range of a 206
//    ends (or its complete size, for "N-*/size"), or after the Content-Length of a 200.
//    Bytes beyond that end are never written, and a body that stops short of it fails
//    and keeps what arrived. A 200 that announces no length is complete when the
//    server ends the body cleanly (a chunked body's last chunk, or closing the
//    connection), the only end such an answer has.
// Sizes and offsets are 64-bit.
class HttpReceiver final
{
    Q_DECLARE_TR_FUNCTIONS(HttpReceiver)

public:
    // libcurl's receive buffer: bigger pieces mean fewer write calls.
    static constexpr long ReceiveBufferSize = 512 * 1024;

    enum class Outcome {
        Complete,
        ConnectionFailed, // no connection, lost connection, stalled, malformed HTTP
        StatusRefused,    // the server answered with a status that is not a success
        RangeRefused,     // a partial answer that does not start at the offset
        BodyTooShort,     // the body ended before the announced end (what came is kept)
        BodyTooLong,      // more bytes came than announced (those beyond are not written)
        FileError         // the local file could not be written
    };

    // Bytes of this response's body received so far, and the length it announced (0 if none).
    using Progress = std::function<void(qint64 received, qint64 total)>;

    HttpReceiver() = default;
    HttpReceiver(const HttpReceiver &) = delete;
    HttpReceiver &operator=(const HttpReceiver &) = delete;

    // Seconds without a single byte after which the transfer counts as lost, and the
    // longest wait for the connection (NetworkLimits by default).
    void setStallTimeoutSeconds(long seconds) { stallTimeoutSeconds = seconds; }
    void setConnectTimeoutMs(long ms) { connectTimeoutMs = ms; }
    void setProgressHandler(Progress handler) { progress = std::move(handler); }

    // GETs `url`; `requestTarget`, if not empty, replaces the path in the request line
    // exactly as given. `headers` are sent as they are ("Name: value"; "Name:" removes a
    // default). `target` must be open for writing (unbuffered is fastest); the body is
    // written from `offset` on.
    Outcome fetch(const QByteArray &url, const QByteArray &requestTarget,
                  const QList<QByteArray> &headers, QFile &target, qint64 offset);

    long responseCode() const { return statusCode; }
    // A readable reason for a failed fetch, for diagnostics.
    QString errorString() const { return error; }

    // The start of a "Content-Range" value ("bytes 100-199/1000", "100-*/1000"), and
    // whether it is "*/N" with N the complete size; -1 where unreadable.
    static qint64 rangeStart(const QByteArray &contentRange);
    static qint64 unsatisfiedRangeSize(const QByteArray &contentRange);
    // Where a "Content-Range" value says the part ends, as a file offset one past its
    // last byte: "bytes 100-199/1000" 200, "100-*/1000" 1000; -1 where it says neither.
    static qint64 rangeEnd(const QByteArray &contentRange);

private:
    friend struct HttpReceiverCallbacks;
    // Decides, once the response's head is in, whether and where its body is written.
    bool startBody();
    QByteArray responseHeader(const char *name) const;
    // `start` plus the response's Content-Length, or -1 when it has none.
    qint64 contentLength(qint64 start) const;

    void *curl = nullptr;
    QFile *file = nullptr;
    qint64 resumeOffset = 0;
    // The file offset the next body byte goes to, and where the body must end (-1:
    // the answer announced no end).
    qint64 writeOffset = 0;
    qint64 bodyEnd = -1;
    // The complete file size a 206 announced ("/N"), -1 if none: its part must reach it.
    qint64 completeSize = -1;
    bool bodyStarted = false;
    bool discardBody = false;
    Outcome refusal = Outcome::Complete;
    long statusCode = 0;
    long stallTimeoutSeconds = NetworkLimits().transferStallSeconds;
    long connectTimeoutMs = NetworkLimits().connectMs;
    Progress progress;
    QString error;
};
