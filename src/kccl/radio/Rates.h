// Bitrates of the 802.11 PHYs from how a frame was sent: kind, MCS index, spatial streams, channel
// width and guard interval, as nl80211 reports them for a station and iw prints them.
#pragma once

#include <cstdint>
#include <string>

namespace wavory::kccl {

// As KCOM_RATE_KIND numbers them.
enum class ERateKind : int { Legacy = 0, HT = 1, VHT = 2, HE = 3, EHT = 4 };

// Guard intervals as KCOM_LINK_INFO codes them.
enum EGuard : int { GI_800NS = 0, GI_400NS = 1, GI_1600NS = 2, GI_3200NS = 3 };

// The rate in units of 100 kbit/s; 0 when the combination does not exist. HT takes its MCS index
// 0..31 (the streams follow from it; `nss` counts only for 0..7) at 20 or 40 MHz with 800 or
// 400 ns; VHT MCS 0..9 up to 160 MHz with 800 or 400 ns; HE MCS 0..11 up to 160 MHz and EHT MCS
// 0..13 up to 320 MHz, both with 800, 1600 or 3200 ns. Streams 1..8. Legacy has no MCS: use the
// rate itself.
uint32_t Bitrate100k(ERateKind kind, int mcs, int nss, int widthMHz, int guard);

// Highest MCS index a kind has per stream (7, 9, 11, 13; HT counts per stream too).
int MaxMcs(ERateKind kind);

// "1201 Mbps", "866.7 Mbps", "5.5 Mbps" for a rate in units of 100 kbit/s; whole numbers without a
// decimal. Empty for 0.
std::string FormatRate100k(uint32_t rate100k);

// The signal-to-noise ratio in dB an MCS needs at 20 MHz (each doubling of the width needs 3 dB
// more): what a rate control settles on for a given link.
int RequiredSnrDb(int mcs);

}  // namespace wavory::kccl
