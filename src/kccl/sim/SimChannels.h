// The channels of the simulated adapter's radio and what each regulatory domain allows of them.
#pragma once

#include <cstdint>
#include <vector>

namespace wavory::kccl {

struct SimChannel {
    uint32_t freqMHz;
    uint32_t flags;  // KCOM_CHLIST_* bits
};

// Every channel the radio has (2.4 GHz 1..14, 5 GHz 36..165, 6 GHz 1..233), in order of frequency,
// flagged for the domain: 2.4 GHz as the utility's channel lists have always had it; 5 GHz with
// radar detection on 52..144 and the upper band (149..165) only in the Americas; 6 GHz without own
// cells anywhere, the whole band in the Americas and its lower part (up to channel 93) elsewhere.
std::vector<SimChannel> DomainChannels(uint32_t domain);
// The flags of one frequency in the domain; KCOM_CHLIST_DISABLED for one the radio lacks.
uint32_t ChannelFlags(uint32_t domain, uint32_t freqMHz);

}  // namespace wavory::kccl
