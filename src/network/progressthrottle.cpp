#include "progressthrottle.h"

bool ProgressThrottle::shouldReport(qint64 curr, qint64 total)
{
    if (curr == 0 && total == 0)
        return false;
    const qint64 step = total > 0 ? qMax<qint64>(1, total / ReportsPerTransfer) : UnknownLengthReportStep;
    if (reportedBytes >= 0 && curr - reportedBytes < step && curr != total)
        return false;
    if (curr == reportedBytes)
        return false;
    reportedBytes = curr;
    return true;
}
