// Frequencies, channel numbers and bands of Wi-Fi, and the names of its generations. Plain
// functions of the numbers alone, for the simulated adapter, the real ones and the utility.
#pragma once

#include <string>

namespace wavory::kccl {

enum class EBand { Unknown, Band2G4, Band5G, Band6G };

// The band a centre frequency in MHz lies in; Unknown outside the three.
EBand BandOfFrequency(int mhz);
// "2.4 GHz", "5 GHz", "6 GHz"; empty for Unknown.
const char* BandName(EBand band);

// Centre frequency of a channel number in a band; 0 when the band has no such channel. 2.4 GHz:
// 1..14; 5 GHz: 32..177 and the 4.9 GHz channels 182..196; 6 GHz: 1..233 (2 is 5935 MHz).
int ChannelToFrequency(int channel, EBand band);
// Channel number of a centre frequency; 0 when it is none of the three bands' channels.
int FrequencyToChannel(int mhz);
// A channel number told without its band, as an 8-bit channel field holds it: 14 is 2484 MHz, below
// 32 a 2.4 GHz channel, 32..199 a 5 GHz one, from 200 on 3900 + 5 * channel; 0 (no channel) is 0.
int LegacyChannelToFrequency(int channel);
// The frequency of a channel field that may carry its frequency beside it: the frequency when told
// (non-zero), else the legacy reading of the channel number.
inline int ChannelFrequency(int channel, int mhz) {
    return mhz > 0 ? mhz : LegacyChannelToFrequency(channel);
}

// PHY types as the driver library numbers them (KCOM_PHY_*): a, b, g, n, ac, ax, be.
inline constexpr int kPhyTypeCount = 7;
// "802.11a" … "802.11be"; empty for a value outside the table.
const char* PhyStandard(int phyType);
// "Wi-Fi 4" (n) … "Wi-Fi 7" (be); "Wi-Fi 6E" for 802.11ax on 6 GHz; empty for a, b, g (which
// have no generation name) and unknown values.
std::string PhyGeneration(int phyType, EBand band);

}  // namespace wavory::kccl
