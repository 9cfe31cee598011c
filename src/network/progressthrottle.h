#pragma once

#include <QtGlobal>

// Picks the progress callbacks of a transfer worth a report. libcurl calls back far
// more often than anyone can read, and every report is a queued signal to the
// scheduler and on to the GUI thread: a fast transfer would flood both. About a
// hundred reports per transfer (one per MiB when the length is unknown), none
// without progress, and the last one always.
class ProgressThrottle final
{
public:
    static constexpr qint64 ReportsPerTransfer = 100;
    static constexpr qint64 UnknownLengthReportStep = 1048576;

    bool shouldReport(qint64 curr, qint64 total);

private:
    qint64 reportedBytes = -1;
};
