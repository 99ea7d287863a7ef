// Plain translations between what the kernel (and wpa_supplicant) report about a real interface and
// the payloads of the request codes: scan entries, channels, regulatory domains, version words.
// No I/O here, so that each piece is tested on its own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "radio/Elements.h"

namespace wavory::kccl {

// A whole text of digits (base 10 or 16, no sign, no spaces) as a number of at most `max`; nothing
// for anything else. Numbers from outside (the supplicant's ids, sysfs, driver versions) go through
// it: a text that is too long or not a number is refused, never thrown at or wrapped around.
std::optional<uint64_t> ParseNumber(std::string_view text, int base = 10, uint64_t max = UINT32_MAX);
// A network entry id of wpa_supplicant (0..INT32_MAX); -1 for anything else.
int ParseEntryId(std::string_view text);

// "02:00:00:00:01:00", as wpa_supplicant and NetworkManager write a BSSID.
std::string BssidText(const uint8_t* bssid);

// One network heard by the interface, as a scan reports it.
struct SBss {
    uint8_t bssid[6] = {};
    std::string ssid;  // raw bytes, at most 32
    uint32_t freqMhz = 0;
    int32_t signalDbm = 0;
    uint16_t capability = 0;   // 802.11 capability field: bit 1 = IBSS, bit 4 = privacy
    std::vector<uint8_t> ies;  // information elements of the beacon or probe response
    bool associated = false;   // the interface is associated with it or has joined it
};

inline constexpr uint16_t kCapabilityIbss = 0x0002;
inline constexpr uint16_t kCapabilityPrivacy = 0x0010;

// Channel number of a frequency in MHz (2.4 GHz, 5 GHz, 4.9 GHz, 6 GHz); 0 when unknown. A 6 GHz
// channel's number repeats one of the other bands: the frequency goes with it.
int FrequencyToChannel(uint32_t mhz);
// Frequency in MHz of a 2.4 or 5 GHz channel number (the inverse for those bands); 0 when none.
uint32_t ChannelToFrequency(int channel);

// A signal a driver gives in its own units, scaled to 0..100 (NL80211_BSS_SIGNAL_UNSPEC), as dBm
// that show as that percentage where the utility turns dBm into percent (-91 dBm is 0 %, -61 dBm
// 100 %): neither the best possible signal nor the worst.
int32_t SignalFromUnspecified(uint8_t level);

// The SSID element of a list of information elements; empty when there is none.
std::string SsidFromIes(const std::vector<uint8_t>& ies);
// KCOM_SECURITY_KIND of a network, from every key-management suite of its RSN element (or of the
// older WPA element), WEP when only the privacy bit is set.
uint8_t SecurityKind(uint16_t capability, const std::vector<uint8_t>& ies);
// The KCOM_AKM bits of the same elements.
uint32_t SecurityAkm(const std::vector<uint8_t>& ies);
// What the rate and capability elements say of a network's radio (generation, width, fastest rate);
// a network that names no rate counts as 802.11g on 2.4 GHz and 802.11a on 5 GHz, one on 6 GHz as
// 802.11ax at least.
SNetworkRadio NetworkRadio(uint32_t freqMhz, const std::vector<uint8_t>& ies);
// KCOM_PHY_TYPE of a network (NetworkRadio's generation).
uint32_t PhyType(uint32_t freqMhz, const std::vector<uint8_t>& ies);

// One 384-byte scan entry.
void EncodeScanEntry(const SBss& bss, uint8_t* entry);
// The networks in the order of the list: access points first, then ad-hoc cells, each half by
// falling signal (so that the strongest twenty stand in the first page).
void OrderForList(std::vector<SBss>& networks, size_t& infraCount);
// Page `page` of the scan result list into a whole payload (page 0 is the list itself).
void EncodeScanPage(const std::vector<SBss>& ordered, size_t infraCount, bool scanning, int page,
                    uint8_t* payload);

// Regulatory domain code of a country ("US" 0x10, "CA" 0x20, the ETSI countries 0x30, "ES" 0x31,
// "FR" 0x32, "JP" 0x40); 0 for the world domain and countries of no listed group.
uint32_t RegDomainCode(const std::string& alpha2);

// Driver version words: the first four decimal numbers of the text ("6.1.0-18-amd64" 6, 1, 0, 18).
std::array<uint32_t, 4> DriverVersionWords(const std::string& text);
// Two 32-bit words, each two 16-bit halves, from the first four groups of (hexadecimal) digits of
// the text, each group kept as its last four digits, so that the hexadecimal rendering of the
// words shows the version's own digits ("1.2.33" -> 0x00010002, 0x00330000).
std::array<uint32_t, 2> FirmwareVersionWords(const std::string& text);
// The first two groups of (hexadecimal) digits, each kept as its last eight digits.
std::array<uint32_t, 2> NvmVersionWords(const std::string& text);

}  // namespace wavory::kccl
