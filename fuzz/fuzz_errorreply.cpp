// The decoding of a control reply that is not the expected success reply.
#include "wire/wire.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    int code = 0;
    switch (Wire::decodeError(reply, &code)) {
    case Wire::ServerError::Login:
    case Wire::ServerError::Password:
    case Wire::ServerError::Command:
        if (code < 1 || code > 3)
            std::abort();
        [[fallthrough]];
    case Wire::ServerError::Other:
        // Only a reply that starts with the error word decodes to a code.
        if (!reply.startsWith("error\n"))
            std::abort();
        break;
    case Wire::ServerError::Unreadable:
        if (code != 0)
            std::abort();
        break;
    }
    return 0;
}
