// The rates of the simulated adapter's links: what a network offers at best, and what a rate
// control settles on for the signal it is heard with.
#pragma once

#include <cstdint>

#include "SimState.h"

namespace wavory::kccl {

struct SimRate {
    uint32_t rate100k = 0;  // 100 kbit/s
    uint8_t kind = 0;       // KCOM_RATE_KIND
    uint8_t mcs = 0xFF;     // HT: the HT index 0..31; 0xFF for legacy rates
    uint8_t streams = 0;
    uint8_t guard = 0;  // KCOM_LINK_INFO guard interval code
};

// The fastest rate of the network's PHY at its width and streams.
SimRate BestRate(const SimNetwork& network);
// The fastest rate whose signal-to-noise need the link meets (each doubling of the width needs
// 3 dB more, more than one stream 15 dB at least); the slowest one when none does.
SimRate RateForSnr(const SimNetwork& network, int snrDb);

}  // namespace wavory::kccl
