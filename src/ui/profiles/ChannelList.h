// The entries of the profile editor's channel list. Each entry shows the channel that an apply of
// the profile sends (ChannelIndexToNumber) and carries the index the profile stores, so the list
// and the applied channel stay in step also where a domain's list does not start at channel 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wavory {

struct SChannelEntry {
    int index;          // the profile's PhyChnl for this entry
    int channel;        // the channel an apply sends
    std::string label;  // "6 / 2.437 GHz"
};

// The adapter's regulatory domain (request 0x891); nothing when the read failed.
std::optional<uint32_t> ReadRegDomain();

// The channels the domain allows for the PHY mode (0 = 802.11a, 1 and 2 = the 2.4 GHz modes). An
// unknown domain or a failed read gets the widest list.
std::vector<SChannelEntry> ChannelEntries(int phyType, std::optional<uint32_t> domain);

}  // namespace wavory
