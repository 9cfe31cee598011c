#pragma once

#include "network/networklimits.h"

// Puts limits in force for one scope and restores the earlier ones when it ends.
//
//   NetworkLimits limits = NetworkLimits::current();
//   limits.uploadSilenceMs = 400;
//   const ScopedNetworkLimits shortSilence(limits);
class ScopedNetworkLimits final
{
public:
    explicit ScopedNetworkLimits(const NetworkLimits &limits) : earlier(NetworkLimits::current())
    {
        NetworkLimits::set(limits);
    }
    ~ScopedNetworkLimits() { NetworkLimits::set(earlier); }
    ScopedNetworkLimits(const ScopedNetworkLimits &) = delete;
    ScopedNetworkLimits &operator=(const ScopedNetworkLimits &) = delete;

private:
    const NetworkLimits earlier;
};
