// The HTTP request a server sends over an upload's data connection, fed in pieces
// as it might arrive, then parsed and answered for a few file sizes.
#include "network/uploadhttprequest.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the piece length, so split requests are explored too.
    const size_t piece = size_t(data[0] % 16) + 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    UploadHttpRequest request;
    UploadHttpRequest::State state = UploadHttpRequest::State::Incomplete;
    for (qsizetype at = 0; at < bytes.size() && state == UploadHttpRequest::State::Incomplete;
         at += qsizetype(piece))
        state = request.feed(bytes.mid(at, qsizetype(piece)));
    if (state != UploadHttpRequest::State::Complete)
        return 0;
    quint64 first = 0;
    quint64 last = 0;
    if (!request.parseRequest(first, last))
        return 0;
    if (last != 0 && last < first)
        __builtin_trap();
    for (const qint64 fileSize : {qint64(0), qint64(1), qint64(1000), qint64(1) << 40}) {
        const UploadHttpRequest::Answer answer = UploadHttpRequest::answer(first, last, fileSize);
        // What is served always lies inside the file.
        if (answer.firstByte < 0 || answer.contentLength < 0 || answer.firstByte + answer.contentLength > fileSize)
            __builtin_trap();
        if (fileSize > 0 && answer.contentLength == 0)
            __builtin_trap();
    }
    return 0;
}
