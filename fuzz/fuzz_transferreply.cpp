// Replies on the transfers' control connection: "ready\n" with a port, "done\n" with
// an id and a file-system name.
#include "network/transferreply.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    quint16 port = 0;
    if (TransferReply::parseReadyPort(reply, port) && !TransferReply::isReady(reply))
        __builtin_trap();
    quint64 id = 0;
    QByteArray name;
    if (TransferReply::parseDone(reply, id, name) && (!TransferReply::isDone(reply) || name.contains('\t')))
        __builtin_trap();
    return 0;
}
