#pragma once

// Holds one data connection to a set number of bytes per second (`--data-rate`), so
// that a transfer over loopback lasts long enough to watch its progress, speed and
// time left. A rate of 0 lets everything through.

#include <QElapsedTimer>
#include <QtGlobal>

class DataPace final
{
public:
    // How long to wait before asking again when allowance() is 0.
    static constexpr int RetryMs = 10;

    explicit DataPace(qint64 bytesPerSecond);

    bool limited() const { return bytesPerSecond > 0; }
    // Bytes that may move now: what the rate allows since the first call, less what
    // moved already. Large when unlimited.
    qint64 allowance();
    void moved(qint64 bytes) { movedBytes += bytes; }

private:
    qint64 bytesPerSecond;
    qint64 movedBytes = 0;
    QElapsedTimer clock;
};
