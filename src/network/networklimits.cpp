#include "networklimits.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex limitsMutex;
NetworkLimits limitsInForce;
} // namespace

NetworkLimits NetworkLimits::current()
{
    QMutexLocker lock(&limitsMutex);
    return limitsInForce;
}

void NetworkLimits::set(const NetworkLimits &limits)
{
    QMutexLocker lock(&limitsMutex);
    limitsInForce = limits;
}
