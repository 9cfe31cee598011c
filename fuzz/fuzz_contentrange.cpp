// The "Content-Range" value of a download's HTTP response, which decides where the
// body goes into the user's file.
#include "network/httpreceiver.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray value(reinterpret_cast<const char *>(data), qsizetype(size));
    // A start is a real offset or "unreadable"; never a negative position to write at.
    if (HttpReceiver::rangeStart(value) < -1 || HttpReceiver::unsatisfiedRangeSize(value) < -1)
        __builtin_trap();
    return 0;
}
