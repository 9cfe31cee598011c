// Replies on the transfers' control connection: "ready\n" with a port, "done\n" with
// an id and a file-system name.
#include "wire/wire.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    quint16 port = 0;
    if (Wire::parseReadyPort(reply, port) && !Wire::isReady(reply))
        __builtin_trap();
    quint64 id = 0;
    QByteArray name;
    if (Wire::parseUploadDone(reply, id, name) && (!Wire::isDone(reply) || name.contains('\t')))
        __builtin_trap();
    return 0;
}
