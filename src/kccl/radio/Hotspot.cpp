#include "Hotspot.h"

#include <algorithm>
#include <cstring>

#include "Bands.h"
#include "SecretMemory.h"
#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

constexpr size_t kSsidMax = 32;
constexpr size_t kPassMax = 63;

EBand BandOfValue(int band) {
    switch (band) {
        case KCOM_HOTSPOT_BAND_2G4:
            return EBand::Band2G4;
        case KCOM_HOTSPOT_BAND_5G:
            return EBand::Band5G;
        case KCOM_HOTSPOT_BAND_6G:
            return EBand::Band6G;
        default:
            return EBand::Unknown;
    }
}

// The band a channel number told without one stands for: 1..14 on 2.4 GHz, 32 and up on 5 GHz.
// 6 GHz channel numbers overlap both and are taken only with the band named.
int BandOfBareChannel(int channel) {
    if (channel >= 1 && channel <= 14) return KCOM_HOTSPOT_BAND_2G4;
    if (channel >= 32 && channel <= 177) return KCOM_HOTSPOT_BAND_5G;
    return KCOM_HOTSPOT_BAND_BEST;
}

}  // namespace

SHotspotRecord::~SHotspotRecord() { SecureClear(passphrase); }

std::size_t EncodeHotspotRecord(const SHotspotRecord& r, uint8_t* p, std::size_t size) {
    if (size < KCOM_HOTSPOT_RECORD_SIZE || r.ssid.size() > kSsidMax || r.passphrase.size() > kPassMax)
        return 0;
    std::memset(p, 0, KCOM_HOTSPOT_RECORD_SIZE);
    p[KCOM_HOTSPOT_SECURITY] = r.security;
    p[KCOM_HOTSPOT_BAND] = r.band;
    p[KCOM_HOTSPOT_CHANNEL] = static_cast<uint8_t>(r.channel);
    p[KCOM_HOTSPOT_CHANNEL + 1] = static_cast<uint8_t>(r.channel >> 8);
    p[KCOM_HOTSPOT_SSID_LEN] = static_cast<uint8_t>(r.ssid.size());
    std::memcpy(p + KCOM_HOTSPOT_SSID, r.ssid.data(), r.ssid.size());
    p[KCOM_HOTSPOT_PASS_LEN] = static_cast<uint8_t>(r.passphrase.size());
    std::memcpy(p + KCOM_HOTSPOT_PASS, r.passphrase.data(), r.passphrase.size());
    return KCOM_HOTSPOT_RECORD_SIZE;
}

bool DecodeHotspotRecord(const uint8_t* p, std::size_t size, SHotspotRecord& out) {
    if (size < KCOM_HOTSPOT_RECORD_SIZE) return false;
    const size_t ssidLen = p[KCOM_HOTSPOT_SSID_LEN];
    const size_t passLen = p[KCOM_HOTSPOT_PASS_LEN];
    if (ssidLen > kSsidMax || passLen > kPassMax) return false;
    out.security = p[KCOM_HOTSPOT_SECURITY];
    out.band = p[KCOM_HOTSPOT_BAND];
    out.channel = static_cast<uint16_t>(p[KCOM_HOTSPOT_CHANNEL] | p[KCOM_HOTSPOT_CHANNEL + 1] << 8);
    out.ssid.assign(reinterpret_cast<const char*>(p + KCOM_HOTSPOT_SSID), ssidLen);
    SecureClear(out.passphrase);
    out.passphrase.assign(reinterpret_cast<const char*>(p + KCOM_HOTSPOT_PASS), passLen);
    return true;
}

bool IsHotspotPassphrase(std::string_view text) {
    return text.size() >= 8 && text.size() <= kPassMax &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string CheckHotspotRecord(const SHotspotRecord& r) {
    if (r.ssid.empty()) return "the hotspot's name is empty";
    if (r.ssid.size() > kSsidMax)
        return "the hotspot's name is " + std::to_string(r.ssid.size()) + " bytes long; at most 32 fit";
    if (r.security > KCOM_HOTSPOT_WPA2_WPA3) return "unknown security " + std::to_string(r.security);
    if (r.band > KCOM_HOTSPOT_BAND_6G) return "unknown band " + std::to_string(r.band);
    if (r.security == KCOM_HOTSPOT_OPEN) {
        if (!r.passphrase.empty()) return "an open hotspot takes no passphrase";
    } else if (r.passphrase.size() < 8 || r.passphrase.size() > kPassMax) {
        return "the passphrase has " + std::to_string(r.passphrase.size()) + " characters; WPA takes 8 to 63";
    } else if (!IsHotspotPassphrase(r.passphrase)) {
        return "the passphrase holds a character that is not printable ASCII";
    }
    // 6 GHz admits WPA3 alone: neither open networks nor WPA2 may run there.
    if (r.band == KCOM_HOTSPOT_BAND_6G && r.security != KCOM_HOTSPOT_WPA3)
        return "a hotspot on 6 GHz needs wpa3 security";
    if (r.channel != 0) {
        const int band = r.band != KCOM_HOTSPOT_BAND_BEST ? r.band : BandOfBareChannel(r.channel);
        if (band == KCOM_HOTSPOT_BAND_BEST)
            return "channel " + std::to_string(r.channel) +
                   " is no 2.4 or 5 GHz channel (name the band for 6 GHz)";
        if (ChannelToFrequency(r.channel, BandOfValue(band)) == 0)
            return "channel " + std::to_string(r.channel) + " is not a channel of the " +
                   BandName(BandOfValue(band)) + " band";
    }
    return {};
}

const char* HotspotSecurityName(int security) {
    switch (security) {
        case KCOM_HOTSPOT_OPEN:
            return "open";
        case KCOM_HOTSPOT_WPA2:
            return "wpa2";
        case KCOM_HOTSPOT_WPA3:
            return "wpa3";
        case KCOM_HOTSPOT_WPA2_WPA3:
            return "wpa2-wpa3";
        default:
            return "";
    }
}

int HotspotSecurityByName(std::string_view name) {
    for (int i = KCOM_HOTSPOT_OPEN; i <= KCOM_HOTSPOT_WPA2_WPA3; ++i)
        if (name == HotspotSecurityName(i)) return i;
    return -1;
}

const char* HotspotBandName(int band) {
    switch (band) {
        case KCOM_HOTSPOT_BAND_BEST:
            return "best";
        case KCOM_HOTSPOT_BAND_2G4:
            return "2.4";
        case KCOM_HOTSPOT_BAND_5G:
            return "5";
        case KCOM_HOTSPOT_BAND_6G:
            return "6";
        default:
            return "";
    }
}

int HotspotBandByName(std::string_view name) {
    for (int i = KCOM_HOTSPOT_BAND_BEST; i <= KCOM_HOTSPOT_BAND_6G; ++i)
        if (name == HotspotBandName(i)) return i;
    return -1;
}

int HotspotBandOf(uint32_t freqMhz) {
    switch (BandOfFrequency(static_cast<int>(freqMhz))) {
        case EBand::Band2G4:
            return KCOM_HOTSPOT_BAND_2G4;
        case EBand::Band5G:
            return KCOM_HOTSPOT_BAND_5G;
        case EBand::Band6G:
            return KCOM_HOTSPOT_BAND_6G;
        default:
            return KCOM_HOTSPOT_BAND_BEST;
    }
}

bool ApAllowed(const SApChannel& c) {
    return (c.flags & (KCOM_CHLIST_DISABLED | KCOM_CHLIST_NO_IR | KCOM_CHLIST_RADAR)) == 0;
}

uint8_t HotspotBands(const std::vector<SApChannel>& channels) {
    uint8_t bands = 0;
    for (const SApChannel& c : channels) {
        const int band = HotspotBandOf(c.freqMhz);
        if (band != KCOM_HOTSPOT_BAND_BEST && ApAllowed(c)) bands |= static_cast<uint8_t>(1u << band);
    }
    return bands;
}

uint32_t ChooseHotspotFrequency(const SHotspotRecord& r, const std::vector<SApChannel>& channels,
                                std::string& why) {
    const uint8_t bands = HotspotBands(channels);
    int band = r.band;
    if (band == KCOM_HOTSPOT_BAND_BEST && r.channel != 0) band = BandOfBareChannel(r.channel);
    if (band == KCOM_HOTSPOT_BAND_BEST) {
        if (bands & (1u << KCOM_HOTSPOT_BAND_5G))
            band = KCOM_HOTSPOT_BAND_5G;
        else if (bands & (1u << KCOM_HOTSPOT_BAND_2G4))
            band = KCOM_HOTSPOT_BAND_2G4;
        else {
            why = "the radio may start an access point on none of its channels here";
            return 0;
        }
    }
    const EBand eband = BandOfValue(band);
    if (!(bands & (1u << band))) {
        why = std::string("the radio may not start an access point on ") + BandName(eband) + " here";
        return 0;
    }
    const auto allowed = [&](uint32_t freq) {
        return std::any_of(channels.begin(), channels.end(),
                           [&](const SApChannel& c) { return c.freqMhz == freq && ApAllowed(c); });
    };
    if (r.channel != 0) {
        const uint32_t freq = static_cast<uint32_t>(ChannelToFrequency(r.channel, eband));
        if (freq == 0 || !allowed(freq)) {
            why = "the radio may not start an access point on channel " + std::to_string(r.channel) + " (" +
                  BandName(eband) + ") here";
            return 0;
        }
        return freq;
    }
    // The channels every client of the band has.
    const int usual = band == KCOM_HOTSPOT_BAND_2G4 ? 6 : band == KCOM_HOTSPOT_BAND_5G ? 36 : 5;
    const uint32_t preferred = static_cast<uint32_t>(ChannelToFrequency(usual, eband));
    if (allowed(preferred)) return preferred;
    for (const SApChannel& c : channels)
        if (HotspotBandOf(c.freqMhz) == band && ApAllowed(c)) return c.freqMhz;
    why = std::string("no channel of ") + BandName(eband) + " is free for an access point";
    return 0;
}

const char* HotspotSecurityText(int security) {
    switch (security) {
        case KCOM_HOTSPOT_OPEN:
            return "Open";
        case KCOM_HOTSPOT_WPA2:
            return "WPA2-Personal";
        case KCOM_HOTSPOT_WPA3:
            return "WPA3-Personal";
        case KCOM_HOTSPOT_WPA2_WPA3:
            return "WPA2/WPA3-Personal";
        default:
            return "unknown";
    }
}

}  // namespace wavory::kccl
