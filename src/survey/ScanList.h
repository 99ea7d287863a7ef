// Layout of the driver's scan result list: two halves of twenty 384-byte entries, access points
// first, ad-hoc networks second.
#pragma once

#include <cstdint>
#include <string>

namespace wavory {

inline constexpr int kScanEntrySize = 384;
inline constexpr int kScanHalfSlots = 20;
inline constexpr int kScanStatusOffset = 0;
inline constexpr int kScanInfraCountOffset = 1;
inline constexpr int kScanInfraEntriesOffset = 4;
inline constexpr int kScanAdHocCountOffset = 7684;
inline constexpr int kScanAdHocEntriesOffset = 7688;

// The fields of one scan entry that the utility uses.
struct SScanEntry {
    uint8_t bssid[6] = {};
    std::string ssid;  // raw bytes, at most 32
    uint32_t phyType = 0;
    uint8_t channel = 0;
    bool privacy = false;
    int32_t rssi = 0;
};

// Decodes the entry starting at `entry` (384 bytes).
SScanEntry ParseScanEntry(const uint8_t* entry);

// "%.2X-%.2X-%.2X-%.2X-%.2X-%.2X" of a BSSID.
std::string FormatBssid(const uint8_t* bssid);

}  // namespace wavory
