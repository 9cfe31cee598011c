#include "datapace.h"

#include <limits>

DataPace::DataPace(qint64 bytesPerSecond)
    : bytesPerSecond(bytesPerSecond)
{
}

qint64 DataPace::allowance()
{
    if (!limited())
        return std::numeric_limits<qint64>::max();
    if (!clock.isValid())
        clock.start();
    // In 128-bit: a high rate times a long transfer overflows 64 bits.
    const auto allowed = static_cast<__int128>(bytesPerSecond) * clock.nsecsElapsed() / 1000000000;
    return qMax<qint64>(0, qint64(qMin<__int128>(allowed - movedBytes, std::numeric_limits<qint64>::max())));
}
