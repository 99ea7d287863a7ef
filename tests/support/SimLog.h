#pragma once
// What the simulated adapter was asked, read from its request log.
#include <string>
#include <vector>

#include "kccl.h"
#include "kccl_sim.h"

namespace wavory::test {

// The network names the adapter was told to join since its log was last cleared, in order.
inline std::vector<std::string> SimSsidsSet() {
    KCCL_SIM_LOG_ENTRY log[64];
    const int n = kccl_sim_get_log(log, 64);
    std::vector<std::string> ssids;
    for (int i = 0; i < n; ++i)
        if (log[i].code == OID_SSID_SET)
            ssids.emplace_back(reinterpret_cast<const char*>(log[i].head + 1), log[i].head[0]);
    return ssids;
}

}  // namespace wavory::test
