// The settings of a hotspot (an access point of the adapter's own): the record OID_HOTSPOT_START
// takes, its checks, the words the user types for its security and band, and the choice of its
// channel among those the radio may start an access point on. Shared by the utility (which builds
// the record) and the adapters (which check it again and run it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wavory::kccl {

struct SHotspotRecord {
    std::string ssid;        // raw bytes, 1..32
    uint8_t security = 1;    // KCOM_HOTSPOT_SECURITY_VALUE
    uint8_t band = 0;        // KCOM_HOTSPOT_BAND_VALUE
    uint16_t channel = 0;    // in the band; 0 = any
    std::string passphrase;  // 8..63 printable ASCII; empty for an open hotspot

    ~SHotspotRecord();
};

// Writes the record into a payload of `size` bytes; the bytes used, 0 when it does not fit (a name
// or passphrase longer than the record holds).
std::size_t EncodeHotspotRecord(const SHotspotRecord& record, uint8_t* payload, std::size_t size);
// Reads a record; false when a length is beyond the record's fields.
bool DecodeHotspotRecord(const uint8_t* payload, std::size_t size, SHotspotRecord& out);
// The first problem of the record as a sentence naming the setting; empty when it is usable.
std::string CheckHotspotRecord(const SHotspotRecord& record);
// A passphrase WPA2 and WPA3 both take: 8..63 printable ASCII characters.
bool IsHotspotPassphrase(std::string_view text);

// "Open", "WPA2-Personal", "WPA3-Personal", "WPA2/WPA3-Personal", as people read it; "unknown"
// for an unknown value.
const char* HotspotSecurityText(int security);
// "open", "wpa2", "wpa3", "wpa2-wpa3"; empty for an unknown value.
const char* HotspotSecurityName(int security);
int HotspotSecurityByName(std::string_view name);  // -1 for none of them
// "best", "2.4", "5", "6"; empty for an unknown value.
const char* HotspotBandName(int band);
int HotspotBandByName(std::string_view name);  // -1 for none of them
// The band (KCOM_HOTSPOT_BAND_*) a frequency lies in; KCOM_HOTSPOT_BAND_BEST for none.
int HotspotBandOf(uint32_t freqMhz);

// One of the radio's channels: its frequency and KCOM_CHLIST_* flags.
struct SApChannel {
    uint32_t freqMhz = 0;
    uint32_t flags = 0;
};
// A channel an access point may start on: allowed in the domain, no "listen first" rule, no radar
// detection (which this utility does not run).
bool ApAllowed(const SApChannel& channel);
// Bit (1 << KCOM_HOTSPOT_BAND_*) per band with at least one such channel.
uint8_t HotspotBands(const std::vector<SApChannel>& channels);
// The frequency the record's hotspot runs on: its channel where one was given, else the band's
// usual first channel (6 on 2.4 GHz, 36 on 5 GHz) or the first the radio allows; "best" takes
// 5 GHz where the radio may run an access point there, else 2.4 GHz (6 GHz only when asked: few
// clients reach it). 0, with the reason in `why`, when the radio may not run it there.
uint32_t ChooseHotspotFrequency(const SHotspotRecord& record, const std::vector<SApChannel>& channels,
                                std::string& why);

}  // namespace wavory::kccl
