#include "RealFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <climits>
#include <cstring>

#include "kccl.h"
#include "kccl_oid.h"
#include "radio/Bands.h"
#include "radio/Elements.h"
#include "radio/Security.h"

namespace wavory::kccl {

namespace {

constexpr uint8_t kIeSsid = 0;

void PutU32(uint8_t* p, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Calls visit(id, data, len) for each well-formed element; stops at the first truncated one.
template <typename Visit>
void ForEachIe(const std::vector<uint8_t>& ies, Visit&& visit) {
    size_t pos = 0;
    while (pos + 2 <= ies.size()) {
        const uint8_t id = ies[pos];
        const size_t len = ies[pos + 1];
        if (pos + 2 + len > ies.size()) return;
        visit(id, ies.data() + pos + 2, len);
        pos += 2 + len;
    }
}

// Groups of decimal (or hexadecimal) digits of a text, in order. A hexadecimal group needs a
// decimal digit among its letters, so that words such as "N/A" or "beta" give no number.
std::vector<std::string> DigitGroups(const std::string& text, bool hex) {
    std::vector<std::string> groups;
    std::string current;
    auto flush = [&] {
        const bool hasDigit = std::any_of(current.begin(), current.end(),
                                          [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
        if (hasDigit) groups.push_back(current);
        current.clear();
    };
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (hex && (c == 'x' || c == 'X') && current == "0")
            current.clear();  // a "0x" prefix
        else if (hex ? std::isxdigit(u) : std::isdigit(u))
            current += c;
        else
            flush();
    }
    flush();
    return groups;
}

uint32_t LastHexDigits(const std::string& group, size_t digits) {
    const std::string tail = group.size() > digits ? group.substr(group.size() - digits) : group;
    return static_cast<uint32_t>(ParseNumber(tail, 16).value_or(0));
}

}  // namespace

std::optional<uint64_t> ParseNumber(std::string_view text, int base, uint64_t max) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (err != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

std::string BssidText(const uint8_t* b) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
    return text;
}

int ParseEntryId(std::string_view text) {
    const auto id = ParseNumber(text, 10, INT32_MAX);
    return id ? static_cast<int>(*id) : -1;
}

int FrequencyToChannel(uint32_t mhz) { return mhz > 7125 ? 0 : FrequencyToChannel(static_cast<int>(mhz)); }

uint32_t ChannelToFrequency(int channel) {
    if (channel == 14) return 2484;
    if (channel >= 1 && channel < 14) return 2407 + 5 * static_cast<uint32_t>(channel);
    if (channel >= 32 && channel <= 196) return 5000 + 5 * static_cast<uint32_t>(channel);
    return 0;
}

int32_t SignalFromUnspecified(uint8_t level) {
    const int clamped = level > 100 ? 100 : level;
    return -91 + (clamped * 30 + 50) / 100;
}

std::string SsidFromIes(const std::vector<uint8_t>& ies) {
    std::string ssid;
    bool found = false;
    ForEachIe(ies, [&](uint8_t id, const uint8_t* data, size_t len) {
        if (id != kIeSsid || found) return;
        found = true;
        ssid.assign(reinterpret_cast<const char*>(data), std::min<size_t>(len, 32));
    });
    return ssid;
}

uint8_t SecurityKind(uint16_t capability, const std::vector<uint8_t>& ies) {
    return static_cast<uint8_t>(ParseSecurity(ies.data(), ies.size(), capability & kCapabilityPrivacy).kind);
}

uint32_t SecurityAkm(const std::vector<uint8_t>& ies) {
    return ParseSecurity(ies.data(), ies.size(), false).akm;
}

SNetworkRadio NetworkRadio(uint32_t freqMhz, const std::vector<uint8_t>& ies) {
    SNetworkRadio radio = ParseNetworkRadio(ies.data(), ies.size(), static_cast<int>(freqMhz));
    const EBand band = BandOfFrequency(static_cast<int>(freqMhz));
    // A network that names no rate at all: what its band implies at least.
    if (radio.phyType < 0) radio.phyType = band == EBand::Band2G4 ? KCOM_PHY_G : KCOM_PHY_A;
    // Nothing slower than 802.11ax is allowed on 6 GHz.
    if (band == EBand::Band6G && radio.phyType < KCOM_PHY_AX) radio.phyType = KCOM_PHY_AX;
    return radio;
}

uint32_t PhyType(uint32_t freqMhz, const std::vector<uint8_t>& ies) {
    return static_cast<uint32_t>(NetworkRadio(freqMhz, ies).phyType);
}

void EncodeScanEntry(const SBss& bss, uint8_t* entry) {
    std::memset(entry, 0, KCOM_SCAN_ENTRY_SIZE);
    std::memcpy(entry + KCOM_ENTRY_BSSID, bss.bssid, 6);
    const size_t len = std::min<size_t>(bss.ssid.size(), 32);
    entry[KCOM_ENTRY_SSID_LEN] = static_cast<uint8_t>(len);
    std::memcpy(entry + KCOM_ENTRY_SSID, bss.ssid.data(), len);
    const SNetworkRadio radio = NetworkRadio(bss.freqMhz, bss.ies);
    PutU32(entry, KCOM_ENTRY_PHY, static_cast<uint32_t>(radio.phyType));
    const int channel = FrequencyToChannel(bss.freqMhz);
    entry[KCOM_ENTRY_CHANNEL] = static_cast<uint8_t>(channel > 255 ? 0 : channel);
    const SSecurity security =
        ParseSecurity(bss.ies.data(), bss.ies.size(), bss.capability & kCapabilityPrivacy);
    entry[KCOM_ENTRY_PRIVACY] = security.kind != KCOM_SECURITY_OPEN ? 1 : 0;
    entry[KCOM_ENTRY_SECURITY] = static_cast<uint8_t>(security.kind);
    PutU32(entry, KCOM_ENTRY_SIGNAL, static_cast<uint32_t>(bss.signalDbm));
    PutU32(entry, KCOM_ENTRY_FREQ, bss.freqMhz);
    PutU32(entry, KCOM_ENTRY_MAX_RATE, radio.maxRate100k);
    entry[KCOM_ENTRY_WIDTH] = static_cast<uint8_t>(radio.widthMHz);
    entry[KCOM_ENTRY_WIDTH + 1] = static_cast<uint8_t>(radio.widthMHz >> 8);
    PutU32(entry, KCOM_ENTRY_AKM, security.akm);
}

void OrderForList(std::vector<SBss>& networks, size_t& infraCount) {
    std::stable_sort(networks.begin(), networks.end(), [](const SBss& a, const SBss& b) {
        const bool aIbss = (a.capability & kCapabilityIbss) != 0;
        const bool bIbss = (b.capability & kCapabilityIbss) != 0;
        if (aIbss != bIbss) return !aIbss;
        return a.signalDbm > b.signalDbm;
    });
    infraCount = static_cast<size_t>(std::count_if(networks.begin(), networks.end(), [](const SBss& bss) {
        return (bss.capability & kCapabilityIbss) == 0;
    }));
}

void EncodeScanPage(const std::vector<SBss>& ordered, size_t infraCount, bool scanning, int page,
                    uint8_t* payload) {
    std::memset(payload, 0, KCOM_PAYLOAD_SIZE);
    payload[KCOM_SCAN_STATUS] = scanning ? 1 : 0;
    if (page < 0) return;
    const size_t first = static_cast<size_t>(page) * KCOM_SCAN_HALF_SLOTS;
    const size_t halves[2][2] = {{0, infraCount}, {infraCount, ordered.size()}};
    const size_t offsets[2][2] = {{KCOM_SCAN_INFRA_COUNT, KCOM_SCAN_INFRA_ENTRIES},
                                  {KCOM_SCAN_ADHOC_COUNT, KCOM_SCAN_ADHOC_ENTRIES}};
    for (int half = 0; half < 2; ++half) {
        const size_t begin = halves[half][0] + first;
        const size_t end = halves[half][1];
        uint8_t count = 0;
        for (size_t i = begin; i < end && count < KCOM_SCAN_HALF_SLOTS; ++i, ++count) {
            EncodeScanEntry(ordered[i], payload + offsets[half][1] + KCOM_SCAN_ENTRY_SIZE * count);
        }
        payload[offsets[half][0]] = count;
    }
}

uint32_t RegDomainCode(const std::string& alpha2) {
    static const char* const kEtsi[] = {"AT", "BE", "BG", "CH", "CY", "CZ", "DE", "DK", "EE", "FI",
                                        "GB", "GR", "HR", "HU", "IE", "IS", "IT", "LI", "LT", "LU",
                                        "LV", "MT", "NL", "NO", "PL", "PT", "RO", "SE", "SI", "SK"};
    if (alpha2 == "US") return 0x10;
    if (alpha2 == "CA") return 0x20;
    if (alpha2 == "ES") return 0x31;
    if (alpha2 == "FR") return 0x32;
    if (alpha2 == "JP") return 0x40;
    for (const char* country : kEtsi)
        if (alpha2 == country) return 0x30;
    return 0;
}

std::array<uint32_t, 4> DriverVersionWords(const std::string& text) {
    std::array<uint32_t, 4> words{};
    const auto groups = DigitGroups(text, false);
    for (size_t i = 0; i < words.size() && i < groups.size(); ++i) {
        // The words are shown as signed numbers: keep them below 2^31.
        const std::string& g = groups[i];
        words[i] = static_cast<uint32_t>(ParseNumber(g, 10, 999999999u).value_or(999999999u));
    }
    return words;
}

std::array<uint32_t, 2> FirmwareVersionWords(const std::string& text) {
    const auto groups = DigitGroups(text, true);
    uint32_t halves[4] = {};
    for (size_t i = 0; i < 4 && i < groups.size(); ++i) halves[i] = LastHexDigits(groups[i], 4);
    return {halves[0] << 16 | halves[1], halves[2] << 16 | halves[3]};
}

std::array<uint32_t, 2> NvmVersionWords(const std::string& text) {
    const auto groups = DigitGroups(text, true);
    std::array<uint32_t, 2> words{};
    for (size_t i = 0; i < 2 && i < groups.size(); ++i) words[i] = LastHexDigits(groups[i], 8);
    return words;
}

}  // namespace wavory::kccl
