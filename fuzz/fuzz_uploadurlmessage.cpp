// Messages of a URL upload: "progress\n" with two counts, "done\n" with id, size and
// file-system name.
#include "network/uploadurlmessage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray message(reinterpret_cast<const char *>(data), qsizetype(size));
    quint64 curr = 0;
    quint64 total = 0;
    if (UploadUrlMessage::parseProgress(message, curr, total) && !UploadUrlMessage::isProgress(message))
        __builtin_trap();
    quint64 id = 0;
    quint64 bytes = 0;
    QByteArray name;
    if (UploadUrlMessage::parseDone(message, id, bytes, name)
        && (!UploadUrlMessage::isDone(message) || name.contains('\t') || name != name.trimmed()))
        __builtin_trap();
    return 0;
}
