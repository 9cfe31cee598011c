// Messages of a URL upload: "progress\n" with two counts, "done\n" with id, size and
// file-system name.
#include "wire/wire.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray message(reinterpret_cast<const char *>(data), qsizetype(size));
    quint64 curr = 0;
    quint64 total = 0;
    if (Wire::parseProgress(message, curr, total) && !Wire::isProgress(message))
        __builtin_trap();
    quint64 id = 0;
    quint64 bytes = 0;
    QByteArray name;
    if (Wire::parseUrlUploadDone(message, id, bytes, name)
        && (!Wire::isDone(message) || name.contains('\t') || name != name.trimmed()))
        __builtin_trap();
    return 0;
}
