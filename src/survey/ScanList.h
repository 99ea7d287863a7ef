// Layout of the driver's scan result list: two halves of twenty 384-byte entries, access points
// first, ad-hoc networks second.
#pragma once

#include <cstdint>
#include <string>

#include "kccl_oid.h"

namespace wavory {

inline constexpr int kScanEntrySize = KCOM_SCAN_ENTRY_SIZE;
inline constexpr int kScanHalfSlots = KCOM_SCAN_HALF_SLOTS;
inline constexpr int kScanStatusOffset = KCOM_SCAN_STATUS;
inline constexpr int kScanInfraCountOffset = KCOM_SCAN_INFRA_COUNT;
inline constexpr int kScanInfraEntriesOffset = KCOM_SCAN_INFRA_ENTRIES;
inline constexpr int kScanAdHocCountOffset = KCOM_SCAN_ADHOC_COUNT;
inline constexpr int kScanAdHocEntriesOffset = KCOM_SCAN_ADHOC_ENTRIES;

// The fields of one scan entry that the utility uses.
struct SScanEntry {
    uint8_t bssid[6] = {};
    std::string ssid;  // raw bytes, at most 32
    uint32_t phyType = 0;
    uint8_t channel = 0;
    bool privacy = false;
    int32_t rssi = 0;
    uint8_t security = 0;      // KCOM_SECURITY_KIND, 0 when the driver does not tell
    uint32_t freqMHz = 0;      // the channel's frequency: told, or the channel number's legacy reading
    uint32_t maxRate100k = 0;  // fastest rate the network offers, 100 kbit/s; 0 when not told
    uint16_t widthMHz = 0;     // 0 when not told
    uint32_t akm = 0;          // KCOM_AKM bits
};

// Decodes the entry starting at `entry` (384 bytes).
SScanEntry ParseScanEntry(const uint8_t* entry);

// "%.2X-%.2X-%.2X-%.2X-%.2X-%.2X" of a BSSID.
std::string FormatBssid(const uint8_t* bssid);
// A BSSID as FormatBssid writes it (either case, '-' or ':' between the bytes); false for
// anything else.
bool ParseBssid(const std::string& text, uint8_t* bssid);

}  // namespace wavory
