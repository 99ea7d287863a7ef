// The channels a profile may use: the entries of the profile editor's channel list, which
// wavoryctl's --channel and --frequency check against too. Each entry shows the channel that an
// apply of the profile sends and carries the index and the frequency the profile stores, so the
// list and the applied channel stay in step also where a domain's list does not start at channel 1,
// and 6 GHz channels are not taken for the 2.4 GHz ones of the same number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/AirText.h"

namespace wavory {

struct SChannelEntry {
    int index;          // the profile's PhyChnl for this entry (the nearest one for channels beyond it)
    int channel;        // the channel an apply sends
    int freqMHz;        // the profile's PhyFreq: 0 where the index names the channel by itself
    int mhz;            // the channel's centre frequency, always told
    std::string label;  // "6 / 2.437 GHz", "5 / 5.975 GHz (6 GHz band) - join only"
};

// The adapter's regulatory domain (request 0x891); nothing when the read failed.
std::optional<uint32_t> ReadRegDomain();

// The channels for the PHY mode (0 = 802.11a: the 5 and 6 GHz channels, 1 and 2 = the 2.4 GHz
// modes): the adapter's channels of its regulatory domain where it lists them (request
// OID_CHANNEL_LIST; one where no own cell may start is marked "join only"), else the channels the
// domain code allows (an unknown domain or a failed read gets the widest list).
std::vector<SChannelEntry> ChannelEntries(int phyType, std::optional<uint32_t> domain,
                                          const std::optional<std::vector<SAdapterChannel>>& adapterChannels);

}  // namespace wavory
