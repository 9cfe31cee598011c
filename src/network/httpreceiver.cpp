#include "httpreceiver.h"

#include "base/logging.h"
#include "curltransfer.h"
#include "wire/wire.h"

#include <QFile>

#include <curl/curl.h>

#include <limits>
#include <memory>

namespace {

struct SlistDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

// Drops an optional unit word ("bytes " or "bytes=") in front of a range.
QByteArray rangeSpec(const QByteArray &contentRange)
{
    QByteArray spec = contentRange.trimmed();
    if (spec.startsWith("bytes"))
        spec = spec.mid(5).trimmed();
    if (spec.startsWith('='))
        spec = spec.mid(1).trimmed();
    return spec;
}

} // namespace

// libcurl's C callback, with the types it calls it with.
struct HttpReceiverCallbacks {
    static size_t write(char *data, size_t size, size_t count, void *self);
};

qint64 HttpReceiver::rangeStart(const QByteArray &contentRange)
{
    const QByteArray spec = rangeSpec(contentRange);
    const qsizetype dash = spec.indexOf('-');
    return dash < 0 ? -1 : Wire::readRangeNumber(spec.left(dash));
}

qint64 HttpReceiver::unsatisfiedRangeSize(const QByteArray &contentRange)
{
    const QByteArray spec = rangeSpec(contentRange);
    return spec.startsWith("*/") ? Wire::readRangeNumber(spec.mid(2)) : -1;
}

qint64 HttpReceiver::rangeEnd(const QByteArray &contentRange)
{
    const QByteArray spec = rangeSpec(contentRange);
    const qsizetype dash = spec.indexOf('-');
    if (dash < 0)
        return -1;
    const qsizetype slash = spec.indexOf('/', dash);
    const qint64 last = Wire::readRangeNumber(spec.mid(dash + 1, slash < 0 ? -1 : slash - dash - 1));
    if (last >= 0 && last < std::numeric_limits<qint64>::max())
        return last + 1;
    return slash < 0 ? -1 : Wire::readRangeNumber(spec.mid(slash + 1));
}

QByteArray HttpReceiver::responseHeader(const char *name) const
{
    curl_header *header = nullptr;
    if (curl_easy_header(curl, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header)
        return {};
    return QByteArray(header->value);
}

HttpReceiver::Outcome HttpReceiver::fetch(const QByteArray &url, const QByteArray &requestTarget,
                                          const QList<QByteArray> &headers, QFile &target, qint64 offset)
{
    CurlTransfer transfer;
    if (!transfer.isValid()) {
        error = tr("cannot create an HTTP client");
        return Outcome::ConnectionFailed;
    }
    curl = transfer.curl();
    file = &target;
    resumeOffset = offset;
    writeOffset = offset;
    bodyEnd = -1;
    completeSize = -1;
    bodyStarted = false;
    discardBody = false;
    refusal = Outcome::Complete;
    statusCode = 0;
    error.clear();

    std::unique_ptr<curl_slist, SlistDeleter> headerList;
    for (const QByteArray &line : headers) {
        curl_slist *grown = curl_slist_append(headerList.get(), line.constData());
        if (!grown) {
            error = tr("out of memory");
            return Outcome::ConnectionFailed;
        }
        (void)headerList.release();
        headerList.reset(grown);
    }

    transfer.setCommonOptions(url, "http,https", connectTimeoutMs, stallTimeoutSeconds);
    if (!requestTarget.isEmpty())
        curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, requestTarget.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, ReceiveBufferSize);
    transfer.setWriteFunction(&HttpReceiverCallbacks::write, this);
    // A body that is thrown away (the copy was already whole) is no progress.
    transfer.setProgressHandler([this](qint64 received, qint64 total) {
        if (progress && !discardBody)
            progress(received, total);
    });

    const CURLcode code = transfer.perform();
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &statusCode);
    Outcome outcome = Outcome::Complete;
    if (refusal != Outcome::Complete) {
        outcome = refusal;
    } else if (code != CURLE_OK) {
        error = transfer.errorText(code);
        outcome = Outcome::ConnectionFailed;
    } else if (!bodyStarted && !startBody()) {
        // A response without a body is judged like one with.
        outcome = refusal;
    } else if (!discardBody && ((bodyEnd >= 0 && writeOffset != bodyEnd)
                                || (completeSize >= 0 && bodyEnd != completeSize))) {
        // The server ended cleanly, but before the end it announced (or its part does
        // not reach the end of the file): what arrived stays, for a later resume.
        error = tr("the body ended at byte %1 of %2").arg(writeOffset)
                    .arg(completeSize >= 0 ? completeSize : bodyEnd);
        outcome = Outcome::BodyTooShort;
    }
    qCDebug(lcNetwork) << "GET" << url << requestTarget << "status" << statusCode << "curl" << int(code)
                       << error;
    curl = nullptr;
    file = nullptr;
    return outcome;
}

qint64 HttpReceiver::contentLength(qint64 start) const
{
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0)
        return -1;
    return start + qint64(length);
}

bool HttpReceiver::startBody()
{
    bodyStarted = true;
    const QByteArray range = responseHeader("Content-Range");
    if (statusCode == 416 && resumeOffset > 0 && unsatisfiedRangeSize(range) == resumeOffset) {
        // Nothing lies beyond the offset: the local copy is already whole.
        discardBody = true;
        return true;
    }
    // Only these two carry file bytes: a 204 has no body, and a 202 or 203 carries
    // something other than the file.
    if (statusCode != 200 && statusCode != 206) {
        error = tr("the server answered with status %1").arg(statusCode);
        refusal = Outcome::StatusRefused;
        return false;
    }
    if (statusCode == 206) {
        if (rangeStart(range) != resumeOffset) {
            error = tr("the server sent the range \"%1\" for offset %2")
                        .arg(QString::fromLatin1(range)).arg(resumeOffset);
            refusal = Outcome::RangeRefused;
            return false;
        }
        bodyEnd = rangeEnd(range);
        const qsizetype slash = range.indexOf('/');
        completeSize = slash < 0 ? -1 : Wire::readRangeNumber(range.mid(slash + 1).trimmed());
        if (bodyEnd < 0)
            bodyEnd = contentLength(resumeOffset);
        if (bodyEnd >= 0 && bodyEnd < resumeOffset) {
            error = tr("the server sent the range \"%1\"").arg(QString::fromLatin1(range));
            refusal = Outcome::RangeRefused;
            return false;
        }
    } else if (resumeOffset > 0) {
        // The whole file again: start the copy over rather than append it to the part we have.
        qCDebug(lcNetwork) << "server ignored the range, copying from the start";
        if (!file->resize(0)) {
            error = file->errorString();
            refusal = Outcome::FileError;
            return false;
        }
        resumeOffset = 0;
    }
    if (statusCode == 200)
        bodyEnd = contentLength(0);
    writeOffset = resumeOffset;
    if (!file->seek(resumeOffset)) {
        error = file->errorString();
        refusal = Outcome::FileError;
        return false;
    }
    return true;
}

size_t HttpReceiverCallbacks::write(char *data, size_t size, size_t count, void *self)
{
    auto *receiver = static_cast<HttpReceiver *>(self);
    const size_t length = size * count;
    if (!receiver->bodyStarted) {
        curl_easy_getinfo(receiver->curl, CURLINFO_RESPONSE_CODE, &receiver->statusCode);
        if (!receiver->startBody())
            return 0; // refusing the body makes libcurl stop the transfer
    }
    if (receiver->discardBody)
        return length;
    // Never past the announced end: a body that goes on would otherwise fill the disk.
    qint64 allowed = qint64(length);
    if (receiver->bodyEnd >= 0)
        allowed = qMin(allowed, receiver->bodyEnd - receiver->writeOffset);
    // A write may be cut short (the disk fills up part way): the rest is written
    // again, so that a failure is one the system names ("No space left on device").
    for (qint64 written = 0; written < allowed;) {
        const qint64 step = receiver->file->write(data + written, allowed - written);
        if (step <= 0) {
            receiver->error = receiver->file->errorString();
            receiver->refusal = HttpReceiver::Outcome::FileError;
            return 0;
        }
        written += step;
    }
    receiver->writeOffset += qMax<qint64>(allowed, 0);
    if (allowed < qint64(length)) {
        receiver->error = HttpReceiver::tr("the server sent more than the %1 bytes it announced")
                              .arg(receiver->bodyEnd);
        receiver->refusal = HttpReceiver::Outcome::BodyTooLong;
        return 0;
    }
    return length;
}
